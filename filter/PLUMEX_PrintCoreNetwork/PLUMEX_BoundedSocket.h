// Blocking socket work with a bound on every wait: a connect within a time limit, a send that
// gives up when the peer stops taking bytes, and the deadline of a reply by its length. A lab
// that holds a connection open and goes quiet must never hold the job longer than these.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

#include <netinet/in.h>

#include "UniqueFd.h"

namespace tessaron::network {

using Clock = std::chrono::steady_clock;

// How long one connect attempt, one stalled send, and the quiet end of a reply may take.
inline constexpr std::chrono::milliseconds kConnectAttemptLimit{5000};
inline constexpr std::chrono::milliseconds kSendStallLimit{20000};
// A reply's bytes, once they begin, must all be in within this floor plus one second for
// every kReplyBytesPerSecond bytes it announces.
inline constexpr std::chrono::milliseconds kReplyDeadlineFloor{5000};
inline constexpr std::size_t kReplyBytesPerSecond = 8192;

// The IPv4 socket address held in a stored address (the sockaddr_in byte layout: port at
// offset 2, address at 4, both in network order); none when it is too short.
std::optional<sockaddr_in> socketAddressFromData(std::span<const std::uint8_t> data);

// A connected IPv4 TCP socket (close-on-exec), or an empty one when no connection came within
// `limit`. Blocking unless the caller asks for it non-blocking, as a run-loop source is.
enum class Blocking { Yes, No };
tessaron::UniqueFd connectWithin(const sockaddr_in& address, std::chrono::milliseconds limit,
                                 Blocking mode = Blocking::Yes);

enum class SendResult { Sent, Failed, Stalled };
// The one send loop of the client: sends every byte, whether the socket blocks or not;
// Stalled when no byte could be sent for `stallLimit` or the overall `deadline` passed,
// Failed on a connection error (errno tells which). Interrupted and would-block sends are
// taken up again.
SendResult sendWithin(int fd, std::span<const std::uint8_t> bytes, std::chrono::milliseconds stallLimit,
                      Clock::time_point deadline = Clock::time_point::max());

// Receives into `buffer` until it is full, the peer closes or `deadline` passes; answers the
// number of bytes received.
std::size_t receiveWithin(int fd, std::span<std::uint8_t> buffer, Clock::time_point deadline);

// The time a reply announcing `dataLength` bytes after its header may take from its first byte.
std::chrono::milliseconds replyDeadline(std::size_t dataLength);

}  // namespace tessaron::network

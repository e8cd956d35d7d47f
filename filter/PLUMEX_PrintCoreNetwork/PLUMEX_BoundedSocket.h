// Blocking socket work with a bound on every wait: a connect within a time limit, a send that
// gives up when the peer stops taking bytes, and the deadline of a reply by its length. A lab
// that holds a connection open and goes quiet must never hold the job longer than these.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <span>

#include <netinet/in.h>

namespace tessaron::network {

using Clock = std::chrono::steady_clock;

// How long one connect attempt, one stalled send, and the quiet end of a reply may take.
inline constexpr std::chrono::milliseconds kConnectAttemptLimit{5000};
inline constexpr std::chrono::milliseconds kSendStallLimit{20000};
// A reply's bytes, once they begin, must all be in within this floor plus one second for
// every kReplyBytesPerSecond bytes it announces.
inline constexpr std::chrono::milliseconds kReplyDeadlineFloor{5000};
inline constexpr std::size_t kReplyBytesPerSecond = 8192;

// A connected IPv4 TCP socket (blocking, close-on-exec), or -1 when no connection came
// within `limit`.
int connectWithin(const sockaddr_in& address, std::chrono::milliseconds limit);

enum class SendResult { Sent, Failed, Stalled };
// Sends every byte; Stalled when no byte could be sent for `stallLimit` or the overall
// `deadline` passed, Failed on a connection error.
SendResult sendWithin(int fd, std::span<const std::uint8_t> bytes, std::chrono::milliseconds stallLimit,
                      Clock::time_point deadline = Clock::time_point::max());

// Receives into `buffer` until it is full, the peer closes or `deadline` passes; answers the
// number of bytes received.
std::size_t receiveWithin(int fd, std::span<std::uint8_t> buffer, Clock::time_point deadline);

// The time a reply announcing `dataLength` bytes after its header may take from its first byte.
std::chrono::milliseconds replyDeadline(std::size_t dataLength);

}  // namespace tessaron::network

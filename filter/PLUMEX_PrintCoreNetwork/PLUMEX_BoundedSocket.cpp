#include "PLUMEX_BoundedSocket.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace tessaron::network {

namespace {

int millisecondsUntil(Clock::time_point end) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - Clock::now()).count();
    return static_cast<int>(std::clamp<long long>(left, 0, 60000));
}

}  // namespace

std::optional<sockaddr_in> socketAddressFromData(std::span<const std::uint8_t> data) {
    if (data.size() < 8) return std::nullopt;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    std::memcpy(&address.sin_port, &data[2], 2);
    std::memcpy(&address.sin_addr, &data[4], 4);
    return address;
}

tessaron::UniqueFd connectWithin(const sockaddr_in& address, std::chrono::milliseconds limit, Blocking mode) {
    tessaron::UniqueFd socket(::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, IPPROTO_TCP));
    if (!socket) return socket;
    const int fd = socket.get();
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        if (errno != EINPROGRESS && errno != EINTR) return {};
        const Clock::time_point end = Clock::now() + limit;
        pollfd p{fd, POLLOUT, 0};
        int ready;
        do ready = ::poll(&p, 1, millisecondsUntil(end));
        while (ready < 0 && errno == EINTR);
        int error = 0;
        socklen_t len = sizeof error;
        if (ready <= 0 || ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &len) != 0 || error != 0) return {};
    }
    if (mode == Blocking::Yes) ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    return socket;
}

SendResult sendWithin(int fd, std::span<const std::uint8_t> bytes, std::chrono::milliseconds stallLimit,
                      Clock::time_point deadline) {
    std::size_t done = 0;
    Clock::time_point stallEnd = Clock::now() + stallLimit;
    while (done < bytes.size()) {
        const Clock::time_point end = std::min(stallEnd, deadline);
        pollfd p{fd, POLLOUT, 0};
        const int ready = ::poll(&p, 1, millisecondsUntil(end));
        if (ready < 0 && errno == EINTR) continue;
        if (ready < 0) return SendResult::Failed;
        if (ready == 0) {
            if (Clock::now() >= end) return SendResult::Stalled;
            continue;
        }
        const ssize_t n = ::send(fd, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n > 0) {
            done += static_cast<std::size_t>(n);
            stallEnd = Clock::now() + stallLimit;
            continue;
        }
        if (n < 0 && (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK)) continue;
        return SendResult::Failed;
    }
    return SendResult::Sent;
}

std::size_t receiveWithin(int fd, std::span<std::uint8_t> buffer, Clock::time_point deadline) {
    std::size_t have = 0;
    while (have < buffer.size() && Clock::now() < deadline) {
        pollfd p{fd, POLLIN, 0};
        const int ready = ::poll(&p, 1, millisecondsUntil(deadline));
        if (ready < 0 && errno == EINTR) continue;
        if (ready <= 0) break;
        const ssize_t n = ::recv(fd, buffer.data() + have, buffer.size() - have, MSG_DONTWAIT);
        if (n > 0) have += static_cast<std::size_t>(n);
        else if (n == 0 || (errno != EINTR && errno != EAGAIN && errno != EWOULDBLOCK)) break;
    }
    return have;
}

std::chrono::milliseconds replyDeadline(std::size_t dataLength) {
    return kReplyDeadlineFloor + std::chrono::milliseconds(dataLength * 1000 / kReplyBytesPerSecond);
}

}  // namespace tessaron::network

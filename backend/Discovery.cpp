#include "Discovery.h"

#include "DiscoveryDatagram.h"
#include "PLUMEX_CUPSMessageLine.h"
#include "UniqueFd.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <optional>
#include <string>

namespace tessaron::backend {
namespace {

constexpr int kReceiveRetries = 100;
constexpr int kRetryWaitMs = 30;
constexpr time_t kWindowSeconds = 3;
constexpr time_t kLateStartSeconds = 2;

void writeOut(const std::string& text) {
    std::fputs(text.c_str(), stdout);
    std::fflush(stdout);
}

void writeErr(const std::string& text) { std::fputs(text.c_str(), stderr); }

std::string errorLine(const char* what, int error) {
    char line[256];
    std::snprintf(line, sizeof line, "DEBUG: %s %d (%s)\n", what, error, std::strerror(error));
    return line;
}

void setOption(int fd, int option, bool onStdErr) {
    const int one = 1;
    if (::setsockopt(fd, SOL_SOCKET, option, &one, sizeof one) == 0) return;
    if (onStdErr) {
        const int error = errno;
        char line[256];
        std::snprintf(line, sizeof line, "DEBUG: setsockopt(%d) failed with error %d (%s)\n", option, error,
                      std::strerror(error));
        writeErr(line);
    } else {
        writeOut("set socket option failed\n");
    }
}

// One pass of receive attempts: answers the datagram's length, 0 when the pass ran out
// quietly, or -1 when the loop must end. The wait between attempts is a poll for the socket,
// so a datagram is read as soon as it arrives rather than at the end of a fixed sleep.
ssize_t receiveWithRetries(int fd, uint8_t* buffer, sockaddr_in& sender) {
    for (int attempt = 0;; ++attempt) {
        socklen_t senderLength = sizeof sender;
        std::memset(buffer, 0, kDatagramSize);
        const ssize_t received =
            ::recvfrom(fd, buffer, kDatagramSize, 0, reinterpret_cast<sockaddr*>(&sender), &senderLength);
        if (received >= 0) return received;
        const int error = errno;
        if (attempt == kReceiveRetries) {
            if (error != EAGAIN && error != EWOULDBLOCK) writeErr(errorLine("Received error", error));
            return 0;
        }
        if (error == EAGAIN || error == EWOULDBLOCK) {
            pollfd waiting{fd, POLLIN, 0};
            ::poll(&waiting, 1, kRetryWaitMs);
        } else if (error == ETIMEDOUT) {
            writeErr(errorLine("Received error", error));
        } else {
            writeErr(errorLine("Received fatal error", error));
            return -1;
        }
    }
}

bool clockStopped(time_t start, time_t limit) {
    const time_t now = std::time(nullptr);
    return now <= 0 || now - start >= limit;
}

}  // namespace

std::optional<in_addr> discoveryDestination() {
    in_addr destination{};
    const char* configured = std::getenv("VANTRELPS_DISCOVERY_ADDRESS");
    if (!configured) {
        ::inet_pton(AF_INET, kDefaultDiscoveryAddress, &destination);
        return destination;
    }
    // A mistyped address must never turn into the host network's broadcast.
    if (::inet_pton(AF_INET, configured, &destination) != 1) return std::nullopt;
    return destination;
}

UniqueFd CreateUdpSocket() {
    UniqueFd socket(::socket(AF_INET, SOCK_DGRAM, 0));
    if (!socket) {
        writeErr(errorLine("socket failed with error", errno));
        return socket;
    }
    const int fd = socket.get();
    setOption(fd, SO_REUSEADDR, true);
    setOption(fd, SO_REUSEPORT, true);
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_addr.s_addr = htonl(INADDR_ANY);
    local.sin_port = htons(kDiscoveryPort);
    if (::bind(fd, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0) {
        writeErr("failed to bind\n");
        return UniqueFd();
    }
    return socket;
}

UniqueFd SendLookup() {
    const std::optional<in_addr> address = discoveryDestination();
    if (!address) return UniqueFd();
    UniqueFd socket(::socket(AF_INET, SOCK_DGRAM, 0));
    if (!socket) {
        writeOut("socket failed\n");
        return socket;
    }
    const int fd = socket.get();
    setOption(fd, SO_BROADCAST, false);
    setOption(fd, SO_REUSEADDR, false);
    setOption(fd, SO_REUSEPORT, false);
    sockaddr_in destination{};
    destination.sin_family = AF_INET;
    destination.sin_addr = *address;
    destination.sin_port = htons(kDiscoveryPort);
    const auto query = queryDatagram();
    // A failed send only means that no reply will come; discovery goes on regardless.
    (void)::sendto(fd, query.data(), query.size(), 0, reinterpret_cast<sockaddr*>(&destination), sizeof destination);
    return socket;
}

void threadless(int receivingSocket, bool debug) {
    writeOut(genericDeviceLine());
    const time_t start = std::time(nullptr);
    ::fcntl(receivingSocket, F_SETFL, ::fcntl(receivingSocket, F_GETFL) | O_NONBLOCK);
    if (clockStopped(start, kLateStartSeconds + 1)) return;

    uint8_t buffer[kDatagramSize];
    do {
        sockaddr_in sender{};
        const ssize_t received = receiveWithRetries(receivingSocket, buffer, sender);
        if (received < 0) return;
        if (received > 0) {
            char address[INET_ADDRSTRLEN] = "";
            ::inet_ntop(AF_INET, &sender.sin_addr, address, sizeof address);
            const auto length = static_cast<size_t>(received);
            if (isDiscoveryReply(buffer, length)) {
                writeOut(deviceLineForReply(buffer, length, address));
            } else if (debug) {
                writeErr(strayDatagramLine(buffer, length, address));
            }
        }
    } while (!clockStopped(start, kWindowSeconds));
}

int runDiscovery(bool debug) {
    if (!discoveryDestination()) {
        tessaron::printjob::writeMessageLine(
            "ERROR", std::string("VANTRELPS_DISCOVERY_ADDRESS \"") + std::getenv("VANTRELPS_DISCOVERY_ADDRESS") +
                         "\" is not a dotted IPv4 address; nothing was sent");
        return 1;
    }
    const UniqueFd receiving = CreateUdpSocket();
    if (!receiving) return 1;
    const UniqueFd sending = SendLookup();
    if (!sending) return 1;
    threadless(receiving.get(), debug);
    return 0;
}

}  // namespace tessaron::backend

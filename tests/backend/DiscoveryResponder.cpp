// A loopback stand-in for minilabs answering discovery: it hears the query on
// 127.255.255.255:5002 and sends, in the order given, one datagram per item from that item's
// own address and port 5002 to the querier's port 5002.
//   --reply ADDRESS=NAME   a reply carrying NAME
//   --raw ADDRESS=HEX      any datagram, given as hex digits
//   --listen ADDRESS       where the query is heard (default 127.255.255.255)
//   --exclusive ADDRESS    only hold ADDRESS:5002 without allowing anyone to share it
// Prints "ready" once listening; runs until stopped.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <vector>

namespace {

constexpr uint16_t kPort = 5002;

struct Item {
    std::string address;
    std::vector<uint8_t> payload;
};

bool parseHex(const std::string& hex, std::vector<uint8_t>& out) {
    if (hex.size() % 2 != 0) return false;
    for (size_t i = 0; i < hex.size(); i += 2) {
        unsigned value = 0;
        if (std::sscanf(hex.c_str() + i, "%2x", &value) != 1) return false;
        out.push_back(static_cast<uint8_t>(value));
    }
    return true;
}

std::vector<uint8_t> replyPayload(const std::string& name) {
    std::vector<uint8_t> reply(44, 0);
    reply[1] = 0x0F;
    reply[3] = 0x02;
    std::memcpy(reply.data() + 4, name.data(), std::min<size_t>(name.size(), 40));
    return reply;
}

int boundSocket(const std::string& address, bool shared = true) {
    const int fd = ::socket(AF_INET, SOCK_DGRAM, 0);
    if (fd < 0) return -1;
    const int one = 1;
    if (shared) {
        ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
        ::setsockopt(fd, SOL_SOCKET, SO_REUSEPORT, &one, sizeof one);
    }
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_port = htons(kPort);
    if (::inet_pton(AF_INET, address.c_str(), &local.sin_addr) != 1 ||
        ::bind(fd, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0) {
        std::fprintf(stderr, "cannot bind %s:%u: %s\n", address.c_str(), kPort, std::strerror(errno));
        ::close(fd);
        return -1;
    }
    return fd;
}

bool isQuery(const uint8_t* bytes, ssize_t length) {
    return length >= 4 && bytes[0] == 0 && bytes[1] == 0x0F && bytes[2] == 0 && bytes[3] == 0x01;
}

}  // namespace

int main(int argc, char* argv[]) {
    std::string listenAddress = "127.255.255.255";
    std::vector<Item> items;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string option = argv[i];
        const std::string value = argv[i + 1];
        const size_t equals = value.find('=');
        if (option == "--listen") {
            listenAddress = value;
        } else if (option == "--exclusive") {
            if (boundSocket(value, false) < 0) return 1;
            std::printf("ready\n");
            std::fflush(stdout);
            for (;;) ::pause();
        } else if ((option == "--reply" || option == "--raw") && equals != std::string::npos) {
            Item item{value.substr(0, equals), {}};
            const std::string rest = value.substr(equals + 1);
            if (option == "--reply") {
                item.payload = replyPayload(rest);
            } else if (!parseHex(rest, item.payload)) {
                std::fprintf(stderr, "bad hex: %s\n", rest.c_str());
                return 2;
            }
            items.push_back(item);
        } else {
            std::fprintf(stderr, "usage: %s [--listen ADDRESS] (--reply ADDRESS=NAME | --raw ADDRESS=HEX)...\n", argv[0]);
            return 2;
        }
    }

    const int listener = boundSocket(listenAddress);
    if (listener < 0) return 1;
    std::map<std::string, int> senders;
    for (const Item& item : items) {
        if (senders.count(item.address)) continue;
        const int fd = boundSocket(item.address);
        if (fd < 0) return 1;
        senders[item.address] = fd;
    }
    std::printf("ready\n");
    std::fflush(stdout);

    for (;;) {
        uint8_t buffer[64];
        sockaddr_in querier{};
        socklen_t length = sizeof querier;
        const ssize_t received =
            ::recvfrom(listener, buffer, sizeof buffer, 0, reinterpret_cast<sockaddr*>(&querier), &length);
        if (received < 0 && errno == EINTR) continue;
        if (received < 0) return 1;
        if (!isQuery(buffer, received)) continue;
        querier.sin_port = htons(kPort);
        for (const Item& item : items) {
            ::sendto(senders[item.address], item.payload.data(), item.payload.size(), 0,
                     reinterpret_cast<sockaddr*>(&querier), sizeof querier);
        }
        char from[INET_ADDRSTRLEN] = "";
        ::inet_ntop(AF_INET, &querier.sin_addr, from, sizeof from);
        std::printf("answered %s\n", from);
        std::fflush(stdout);
    }
}

#include "RawLab.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace tessaron::minilabtest {

void put16(Bytes& b, size_t o, uint16_t v) {
    b[o] = uint8_t(v >> 8);
    b[o + 1] = uint8_t(v);
}

void put32(Bytes& b, size_t o, uint32_t v) {
    for (size_t i = 0; i < 4; ++i) b[o + i] = uint8_t(v >> (24 - 8 * i));
}

void put64(Bytes& b, size_t o, uint64_t v) {
    put32(b, o, uint32_t(v >> 32));
    put32(b, o + 4, uint32_t(v));
}

uint16_t get16(const Bytes& b, size_t o) { return uint16_t((b[o] << 8) | b[o + 1]); }

uint32_t get32(const Bytes& b, size_t o) {
    return (uint32_t(b[o]) << 24) | (uint32_t(b[o + 1]) << 16) | (uint32_t(b[o + 2]) << 8) | b[o + 3];
}

uint64_t get64(const Bytes& b, size_t o) { return (uint64_t(get32(b, o)) << 32) | get32(b, o + 4); }

void putText(Bytes& b, size_t o, const std::string& text) { memcpy(b.data() + o, text.data(), text.size()); }

Bytes header(uint8_t command, uint32_t dataLength, uint32_t version) {
    Bytes h(16, 0);
    h[0] = 'J';
    h[1] = 'T';
    put32(h, 2, version);
    h[6] = command;
    put32(h, 8, dataLength);
    return h;
}

Bytes request(uint8_t command, std::initializer_list<Bytes> parts, uint32_t version) {
    Bytes data;
    for (const auto& p : parts) data.insert(data.end(), p.begin(), p.end());
    Bytes r = header(command, uint32_t(data.size()), version);
    r.insert(r.end(), data.begin(), data.end());
    return r;
}

Bytes clientInfo(uint32_t version) {
    Bytes c(96, 0);
    putText(c, 0, "alice");
    putText(c, 20, "host1");
    const uint8_t mac[6] = {0x02, 0x00, 0x5E, 0x10, 0x20, 0x30};
    memcpy(c.data() + 40, mac, 6);
    put32(c, 46, 0x7F000001);
    put16(c, 50, 5002);
    put32(c, 52, version);
    return c;
}

Bytes bmp(uint32_t width, uint32_t height) {
    const uint32_t stride = (width * 3 + 3) / 4 * 4;
    const uint32_t size = 54 + stride * height;
    Bytes b(size, 0);
    auto le32 = [&](size_t o, uint32_t v) {
        for (size_t i = 0; i < 4; ++i) b[o + i] = uint8_t(v >> (8 * i));
    };
    b[0] = 'B';
    b[1] = 'M';
    le32(2, size);
    le32(10, 54);
    le32(14, 40);
    le32(18, width);
    le32(22, height);
    b[26] = 1;
    b[28] = 24;
    le32(34, stride * height);
    for (uint32_t y = 0; y < height; ++y) {
        const uint32_t row = height - 1 - y;   // bottom-up
        for (uint32_t x = 0; x < width; ++x) {
            uint8_t* px = &b[54 + row * stride + x * 3];
            px[0] = 200;                   // blue
            px[1] = uint8_t(y * 60);       // green
            px[2] = uint8_t(x * 40);       // red
        }
    }
    return b;
}

uint32_t resultOf(const Bytes& reply) { return reply.size() >= 20 ? get32(reply, 16) : 0xFFFFFFFF; }

Connection::Connection(const std::string& address) {
    fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_port = htons(5001);
    inet_pton(AF_INET, address.c_str(), &sa.sin_addr);
    if (fd_ >= 0 && ::connect(fd_, reinterpret_cast<sockaddr*>(&sa), sizeof sa) != 0) {
        lastErrno_ = errno;
        ::close(fd_);
        fd_ = -1;
    }
}

Connection::~Connection() {
    if (fd_ >= 0) ::close(fd_);
}

bool Connection::send(const Bytes& bytes) {
    size_t off = 0;
    while (fd_ >= 0 && off < bytes.size()) {
        ssize_t n = ::send(fd_, bytes.data() + off, bytes.size() - off, MSG_NOSIGNAL);
        if (n <= 0) {
            lastErrno_ = errno;
            return false;
        }
        off += size_t(n);
    }
    return fd_ >= 0;
}

Bytes Connection::readSome(std::chrono::milliseconds timeout) {
    Bytes out;
    if (fd_ < 0) return out;
    pollfd p{fd_, POLLIN, 0};
    if (::poll(&p, 1, int(timeout.count())) <= 0) return out;
    uint8_t buf[65536];
    ssize_t n = ::recv(fd_, buf, sizeof buf, 0);
    if (n < 0) lastErrno_ = errno;
    if (n > 0) out.assign(buf, buf + n);
    return out;
}

Bytes Connection::read(size_t n, std::chrono::milliseconds timeout) {
    Bytes out;
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (fd_ >= 0 && out.size() < n) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) break;
        pollfd p{fd_, POLLIN, 0};
        if (::poll(&p, 1, int(left.count())) <= 0) break;
        uint8_t buf[65536];
        ssize_t got = ::recv(fd_, buf, std::min(sizeof buf, n - out.size()), 0);
        if (got <= 0) {
            lastErrno_ = got < 0 ? errno : 0;
            break;
        }
        out.insert(out.end(), buf, buf + got);
    }
    return out;
}

Bytes Connection::reply(std::chrono::milliseconds timeout) {
    Bytes out = read(16, timeout);
    if (out.size() < 16) return out;
    Bytes payload = read(get32(out, 8), timeout);
    out.insert(out.end(), payload.begin(), payload.end());
    return out;
}

bool Connection::closedByPeer(std::chrono::milliseconds timeout, bool* reset) {
    pollfd p{fd_, POLLIN, 0};
    if (fd_ < 0 || ::poll(&p, 1, int(timeout.count())) <= 0) return false;
    uint8_t b;
    ssize_t n = ::recv(fd_, &b, 1, 0);
    if (reset) *reset = n < 0 && errno == ECONNRESET;
    return n == 0 || (n < 0 && errno == ECONNRESET);
}

Bytes transact(const Bytes& request, const std::string& address) {
    Connection c(address);
    if (!c.send(request)) return {};
    return c.reply();
}

}  // namespace tessaron::minilabtest

// A raw Tessaron client for the emulator's tests: requests are assembled byte by byte from
// the protocol's tables (not with the emulator's own encoder), replies read as they arrive.
#pragma once

#include <chrono>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

namespace tessaron::minilabtest {

using Bytes = std::vector<uint8_t>;

void put16(Bytes& b, size_t o, uint16_t v);
void put32(Bytes& b, size_t o, uint32_t v);
void put64(Bytes& b, size_t o, uint64_t v);
uint16_t get16(const Bytes& b, size_t o);
uint32_t get32(const Bytes& b, size_t o);
uint64_t get64(const Bytes& b, size_t o);
void putText(Bytes& b, size_t o, const std::string& text);

constexpr uint32_t kV3 = 0x03000000;
constexpr uint32_t kV22 = 0x02020000;
constexpr uint32_t kV21 = 0x02010000;

// 16-byte request header.
Bytes header(uint8_t command, uint32_t dataLength, uint32_t version = kV3);
// Header (dataLength counting every part) followed by the parts.
Bytes request(uint8_t command, std::initializer_list<Bytes> parts, uint32_t version = kV3);
// 96-byte client information: user "alice", host "host1", port 5002, the version.
Bytes clientInfo(uint32_t version = kV3);
// A 24-bit bottom-up BMP whose pixels are (x*40, y*60, 200) in R, G, B.
Bytes bmp(uint32_t width, uint32_t height);
// The result code of a reply (header + payload), or 0xFFFFFFFF when there is none.
uint32_t resultOf(const Bytes& reply);

// One TCP connection to a lab's port 5001.
class Connection {
public:
    explicit Connection(const std::string& address = "127.0.0.2");
    ~Connection();
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    bool open() const { return fd_ >= 0; }
    int fd() const { return fd_; }
    bool send(const Bytes& bytes);
    // Up to `n` bytes: stops early when the peer closes or nothing arrives within `timeout`.
    Bytes read(size_t n, std::chrono::milliseconds timeout = std::chrono::milliseconds(10000));
    // One reply: header and the payload its dataLength announces.
    Bytes reply(std::chrono::milliseconds timeout = std::chrono::milliseconds(10000));
    // One recv call (what one segment or more brought); empty on close or time-out.
    Bytes readSome(std::chrono::milliseconds timeout);
    // Whether the peer has closed (recv answers 0) within the time-out; `reset` tells ECONNRESET.
    bool closedByPeer(std::chrono::milliseconds timeout, bool* reset = nullptr);
    int lastError() const { return lastErrno_; }

private:
    int fd_ = -1;
    int lastErrno_ = 0;
};

// Connects, sends the request, answers the first reply (empty when none came).
Bytes transact(const Bytes& request, const std::string& address = "127.0.0.2");

}  // namespace tessaron::minilabtest

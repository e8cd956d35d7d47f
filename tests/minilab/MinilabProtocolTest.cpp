// Talks to the running emulator with byte strings built by hand from the protocol's tables.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "Codes.h"
#include "MinilabProcess.h"
#include "NetLock.h"
#include "TempDir.h"

using namespace tessaron::test;
using Bytes = std::vector<uint8_t>;

namespace {

void put16(Bytes& b, size_t o, uint16_t v) { b[o] = uint8_t(v >> 8); b[o + 1] = uint8_t(v); }
void put32(Bytes& b, size_t o, uint32_t v) { for (int i = 0; i < 4; ++i) b[o + i] = uint8_t(v >> (24 - 8 * i)); }
void put64(Bytes& b, size_t o, uint64_t v) { put32(b, o, uint32_t(v >> 32)); put32(b, o + 4, uint32_t(v)); }
uint32_t get32(const Bytes& b, size_t o) { return (uint32_t(b[o]) << 24) | (b[o + 1] << 16) | (b[o + 2] << 8) | b[o + 3]; }

Bytes header(uint8_t cmd, uint32_t len, uint32_t version = 0x03000000) {
    Bytes h(16, 0);
    h[0] = 'J'; h[1] = 'T';
    put32(h, 2, version);
    h[6] = cmd;
    put32(h, 8, len);
    return h;
}

int connectLab() {
    int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_port = htons(5001);
    inet_pton(AF_INET, "127.0.0.2", &sa.sin_addr);
    if (connect(fd, reinterpret_cast<sockaddr*>(&sa), sizeof sa) != 0) { close(fd); return -1; }
    timeval tv{5, 0};
    setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
    return fd;
}

// Reads `n` bytes or until the peer closes; answers what arrived.
Bytes readN(int fd, size_t n) {
    Bytes out;
    uint8_t buf[65536];
    while (out.size() < n) {
        ssize_t got = recv(fd, buf, std::min(sizeof buf, n - out.size()), 0);
        if (got <= 0) break;
        out.insert(out.end(), buf, buf + got);
    }
    return out;
}

// One request; answers the first reply (header + payload), empty when none.
Bytes transact(const Bytes& request, int* errorOut = nullptr) {
    int fd = connectLab();
    EXPECT_GE(fd, 0);
    send(fd, request.data(), request.size(), MSG_NOSIGNAL);
    Bytes h = readN(fd, 16);
    if (errorOut) *errorOut = errno;
    Bytes out = h;
    if (h.size() == 16) {
        Bytes p = readN(fd, get32(h, 8));
        out.insert(out.end(), p.begin(), p.end());
    }
    close(fd);
    return out;
}

Bytes clientInfo(uint32_t version = 0x03000000) {
    Bytes c(96, 0);
    memcpy(c.data(), "alice", 5);
    memcpy(c.data() + 20, "host1", 5);
    put16(c, 50, 5002);
    put32(c, 52, version);
    return c;
}

constexpr uint64_t kRef = 2026120812000012345ull;

Bytes orderAd(uint16_t frames) {
    Bytes o(240, 0);
    put16(o, 0, 0xFFFF); put16(o, 2, frames); put16(o, 4, 1020);
    put16(o, 6, 1520); put16(o, 8, 1520); put16(o, 10, 1520); put16(o, 12, 1);
    put16(o, 22, 2); put16(o, 28, 1); put64(o, 32, kRef);
    put16(o, 76, 2); put16(o, 80, 1); put16(o, 82, 3000);
    put16(o, 86, 890); put16(o, 88, 3050);
    return o;
}

// A 2x2 24-bit bottom-up BMP.
Bytes bmp() {
    Bytes b(70, 0);
    b[0] = 'B'; b[1] = 'M'; b[2] = 70; b[10] = 54; b[14] = 40; b[18] = 2; b[22] = 2; b[26] = 1; b[28] = 24; b[34] = 16;
    for (size_t i = 54; i < 70; ++i) b[i] = uint8_t(i);
    return b;
}

Bytes frameAd(uint16_t no, uint16_t frames, size_t imageSize) {
    Bytes f(480, 0);
    put16(f, 0, 0xFFFF); put16(f, 2, frames); put16(f, 4, no);
    memcpy(f.data() + 6, "Cat_1", 5);
    put32(f, 24, uint32_t(imageSize)); put32(f, 28, 2); put16(f, 34, 2); put16(f, 36, 255);
    const uint8_t cvp[] = {0x0E, 0xC1, 0x0F, ' ', '2', '0', '2', '6'};
    memcpy(f.data() + 38, cvp, sizeof cvp);
    put16(f, 280, 1020); put16(f, 282, 1520); put16(f, 284, 1); put16(f, 288, 2);
    put64(f, 296, kRef); put16(f, 352, 3000);
    return f;
}

Bytes request(uint8_t cmd, std::initializer_list<Bytes> parts) {
    Bytes data;
    for (const auto& p : parts) data.insert(data.end(), p.begin(), p.end());
    Bytes r = header(cmd, uint32_t(data.size()));
    r.insert(r.end(), data.begin(), data.end());
    return r;
}

uint32_t resultOf(const Bytes& reply) { return reply.size() >= 20 ? get32(reply, 16) : 0xFFFFFFFF; }

class Minilab : public ::testing::Test {
protected:
    void start(const std::string& config) {
        MinilabOptions o;
        o.program = TESSARON_MINILAB_PATH;
        o.configJson = config;
        o.storeDir = store.path();
        lab = std::make_unique<MinilabProcess>(o);
        ASSERT_TRUE(lab->ready()) << lab->log();
    }
    NetLock lock;
    TempDir store;
    std::unique_ptr<MinilabProcess> lab;
};

const char* kLab = R"({"name": "Lab 1", "apiVersion": "3.0.0.0", "extraFeatures": true, "duplex": false,
  "papers": [{"width": 1020, "surface": 1, "resolution": 3000, "lmin": 890, "lmax": 3050}],
  "errors": [{"mainError": 5000, "subError": 7, "level": 2, "message": "Jam"}]})";

TEST_F(Minilab, InformationReplyIsByteExact) {
    start(kLab);
    Bytes reply = transact(header(0x01, 0, 0x01000501));
    Bytes expected = header(0x01, 96);
    expected[7] = 0x10;
    expected.resize(16 + 32 + 64, 0);
    memcpy(expected.data() + 48, "Lab 1", 5);
    put32(expected, 48 + 20, 0x03000000);
    put32(expected, 48 + 24, 0x7F000002);
    put16(expected, 48 + 30, 1);
    EXPECT_EQ(reply, expected);
}

TEST_F(Minilab, QueriesAndTheirMalformedForms) {
    start(kLab);
    Bytes status = transact(request(0x09, {Bytes(34, 0)}));
    ASSERT_EQ(status.size(), 16u + 32 + 192);
    EXPECT_EQ(status[7], 0x10);
    EXPECT_EQ(get32(status, 48 + 134), 3u);   // JPEG | BMP
    Bytes papers = transact(request(0x21, {Bytes{0, 1}}));
    ASSERT_EQ(papers.size(), 16u + 32 + 108);
    EXPECT_EQ(papers[7], 0x01);
    Bytes errors = transact(request(0x07, {Bytes{0, 2}}));
    ASSERT_EQ(errors.size(), 16u + 32 + 552);
    EXPECT_EQ(get32(errors, 48), 1u);
    EXPECT_EQ(errors[48 + 14 + 1], 'J');     // UTF-16 big-endian
    // The error was reported; the list is empty now.
    EXPECT_EQ(get32(transact(request(0x07, {Bytes{0, 2}})), 48), 0u);

    Bytes notZero(34, 0);
    notZero[5] = 1;
    EXPECT_EQ(resultOf(transact(request(0x09, {notZero}))), tessaron::minilab::kInvalidParameter);
    EXPECT_EQ(resultOf(transact(request(0x09, {Bytes(33, 0)}))), tessaron::minilab::kInvalidSize);
    EXPECT_EQ(resultOf(transact(request(0x06, {Bytes{0, 2}}))), tessaron::minilab::kInvalidParameter);
    Bytes badDirection = request(0x09, {Bytes(34, 0)});
    badDirection[7] = 0x10;
    EXPECT_EQ(resultOf(transact(badDirection)), tessaron::minilab::kInvalidParameter);
    EXPECT_EQ(resultOf(transact(header(0x44, 0))), tessaron::minilab::kNoSupport);
    EXPECT_EQ(resultOf(transact(header(0x01, 0, 0x03010000))), tessaron::minilab::kNoSupport);
    Bytes noMarker = header(0x01, 0);
    noMarker[0] = 'X';
    EXPECT_EQ(resultOf(transact(noMarker)), tessaron::minilab::kFail);
    EXPECT_TRUE(lab->waitForLog("at byte 21 of the request"));   // the status data's offending byte
}

TEST_F(Minilab, OlderVersionLacksExtendedAndFastPrintCommands) {
    start(R"({"apiVersion": "2.1.0.0", "extraFeatures": true})");
    auto at21 = [](Bytes r) { put32(r, 2, 0x02010000); return r; };
    EXPECT_EQ(resultOf(transact(at21(request(0x21, {Bytes{0, 1}})))), tessaron::minilab::kNoSupport);
    EXPECT_EQ(resultOf(transact(at21(request(0x13, {clientInfo(0x02010000), Bytes(256, 0)})))), tessaron::minilab::kNoSupport);
    EXPECT_EQ(transact(at21(request(0x06, {Bytes{0, 1}}))).size(), 0u + 16 + 32 + 72);
    // A client speaking a newer version than the lab's is refused.
    EXPECT_EQ(resultOf(transact(request(0x06, {Bytes{0, 1}}))), tessaron::minilab::kNoSupport);
}

TEST_F(Minilab, FastPrintOrderLandsInTheStore) {
    start(kLab);
    Bytes image = bmp();
    EXPECT_EQ(transact(request(0x23, {clientInfo(), orderAd(2)})).size(), 48u);
    EXPECT_EQ(resultOf(transact(request(0x22, {clientInfo(), frameAd(1, 2, image.size()), image}))), 0u);
    // Nothing incomplete is presented as spooled.
    EXPECT_FALSE(std::filesystem::exists(store.file("order-1")));
    EXPECT_EQ(resultOf(transact(request(0x22, {clientInfo(), frameAd(1, 2, image.size()), image}))),
              tessaron::minilab::kInvalidFrameNo);
    EXPECT_EQ(resultOf(transact(request(0x22, {clientInfo(), frameAd(2, 2, image.size()), image}))), 0u);
    ASSERT_TRUE(std::filesystem::exists(store.file("order-1/order.json"))) << lab->log();
    EXPECT_EQ(readFile(store.file("order-1/frame-2.bmp")), std::string(image.begin(), image.end()));
    std::string frameJson = readFile(store.file("order-1/frame-1.json"));
    EXPECT_NE(frameJson.find("\xC2\xA9 2026"), std::string::npos) << frameJson;
    // The store makes no previews itself; asked for, they come from the stored frames.
    EXPECT_FALSE(std::filesystem::exists(store.file("order-1/frame-1.png")));
    std::string message;
    ASSERT_TRUE(lab->makePreviews(store.file("order-1"), &message)) << message;
    EXPECT_EQ(readFile(store.file("order-1/frame-1.png")).substr(1, 3), "PNG");
    EXPECT_EQ(readFile(store.file("order-1/frame-2.png")).substr(1, 3), "PNG");
    EXPECT_NE(readFile(store.file("order-1/order.json")).find("\"RefId\": 2026120812000012345"), std::string::npos);
}

TEST_F(Minilab, MalformedOrdersAndFramesAreRefused) {
    start(kLab);
    Bytes o = orderAd(1);
    put16(o, 22, 0);
    EXPECT_EQ(resultOf(transact(request(0x23, {clientInfo(), o}))), tessaron::minilab::kInvalidPaperFitting);
    o = orderAd(1);
    put16(o, 4, 1270);
    EXPECT_EQ(resultOf(transact(request(0x23, {clientInfo(), o}))), tessaron::minilab::kInvalidPaper);
    o = orderAd(1);
    put16(o, 6, 3100); put16(o, 8, 3100); put16(o, 10, 3100);
    EXPECT_EQ(resultOf(transact(request(0x23, {clientInfo(), o}))), tessaron::minilab::kInvalidPaperLength);
    Bytes c = clientInfo();
    c[10] = 'x';   // after the user name's terminator
    EXPECT_EQ(resultOf(transact(request(0x23, {c, orderAd(1)}))), tessaron::minilab::kInvalidUser);
    c = clientInfo();
    put32(c, 52, 0x01000501);
    EXPECT_EQ(resultOf(transact(request(0x23, {c, orderAd(1)}))), tessaron::minilab::kInvalidParameter);

    ASSERT_EQ(resultOf(transact(request(0x23, {clientInfo(), orderAd(1)}))), 0u);
    Bytes topDown = bmp();
    topDown[22] = 0xFE; topDown[23] = 0xFF; topDown[24] = 0xFF; topDown[25] = 0xFF;   // height -2
    EXPECT_EQ(resultOf(transact(request(0x22, {clientInfo(), frameAd(1, 1, topDown.size()), topDown}))),
              tessaron::minilab::kIllegalImageData);
    Bytes image = bmp();
    EXPECT_EQ(resultOf(transact(request(0x22, {clientInfo(), frameAd(1, 1, image.size() + 1), image}))),
              tessaron::minilab::kInvalidImageSize);
    EXPECT_TRUE(lab->waitForLog("BMP: height must be positive"));
}

TEST_F(Minilab, CancelMarksTheOrder) {
    start(kLab);
    ASSERT_EQ(resultOf(transact(request(0x23, {clientInfo(), orderAd(3)}))), 0u);
    Bytes ref(8, 0);
    put64(ref, 0, kRef);
    EXPECT_EQ(transact(request(0x0D, {clientInfo(), ref})).size(), 48u);
    EXPECT_TRUE(std::filesystem::exists(store.file("order-1/cancelled.json")));
    EXPECT_EQ(resultOf(transact(request(0x0D, {clientInfo(), ref}))), tessaron::minilab::kNoSuchOrder);
}

TEST_F(Minilab, FaultSwitches) {
    start(R"({"apiVersion": "3.0.0.0", "papers": [{"width": 1020, "surface": 1, "resolution": 3000, "lmin": 890, "lmax": 3050}],
      "faults": {"spoolRefused": {"code": 17, "at": 1}, "closeWithoutReply": {"command": 1, "at": 2},
                 "noiseBeforeReply": {"bytes": "00 13 7E", "command": 9},
                 "wrongLength": {"delta": 4, "command": 6}, "oversizedDataLength": {"value": 4294967280, "command": "0x21"},
                 "splitReply": {"segment": 5, "command": 1}, "resetAtFrame": 1}})");
    EXPECT_EQ(resultOf(transact(request(0x23, {clientInfo(), orderAd(1)}))), 17u);
    EXPECT_EQ(resultOf(transact(request(0x23, {clientInfo(), orderAd(1)}))), 0u);

    // Split into segments of 5 bytes, yet the same bytes.
    int fd = connectLab();
    Bytes h = header(0x01, 0);
    send(fd, h.data(), h.size(), 0);
    uint8_t buf[256];
    ssize_t first = recv(fd, buf, sizeof buf, 0);
    EXPECT_LE(first, 5);
    close(fd);
    EXPECT_TRUE(transact(header(0x01, 0)).empty());   // second info request: closed, no reply

    fd = connectLab();
    Bytes s = request(0x09, {Bytes(34, 0)});
    send(fd, s.data(), s.size(), 0);
    Bytes noisy = readN(fd, 3 + 16 + 32 + 192);
    close(fd);
    ASSERT_EQ(noisy.size(), 3u + 16 + 32 + 192);
    EXPECT_EQ(noisy[0], 0x00); EXPECT_EQ(noisy[1], 0x13); EXPECT_EQ(noisy[2], 0x7E); EXPECT_EQ(noisy[3], 'J');

    fd = connectLab();
    Bytes p = request(0x06, {Bytes{0, 1}});
    send(fd, p.data(), p.size(), 0);
    Bytes ph = readN(fd, 16);
    close(fd);
    EXPECT_EQ(get32(ph, 8), 32u + 72 + 4);
    fd = connectLab();
    Bytes q = request(0x21, {Bytes{0, 1}});
    send(fd, q.data(), q.size(), 0);
    Bytes big = readN(fd, 16);
    close(fd);
    EXPECT_EQ(get32(big, 8), 4294967280u);

    int err = 0;
    Bytes image = bmp();
    Bytes reset = transact(request(0x22, {clientInfo(), frameAd(1, 1, image.size()), image}), &err);
    EXPECT_TRUE(reset.empty());
    EXPECT_TRUE(lab->waitForLog("fault: connection reset"));
}

TEST_F(Minilab, DiscoveryAnswersToThePort5002OfTheQuerier) {
    start(kLab);
    int rx = socket(AF_INET, SOCK_DGRAM, 0);
    int one = 1;
    setsockopt(rx, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in me{};
    me.sin_family = AF_INET;
    me.sin_port = htons(5002);
    inet_pton(AF_INET, "127.0.0.1", &me.sin_addr);
    ASSERT_EQ(bind(rx, reinterpret_cast<sockaddr*>(&me), sizeof me), 0);
    timeval tv{3, 0};
    setsockopt(rx, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
    int tx = socket(AF_INET, SOCK_DGRAM, 0);
    setsockopt(tx, SOL_SOCKET, SO_BROADCAST, &one, sizeof one);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(5002);
    inet_pton(AF_INET, "127.255.255.255", &to.sin_addr);
    Bytes bad(44, 0);
    bad[1] = 0x0F; bad[3] = 0x02;   // a reply is no query
    sendto(tx, bad.data(), bad.size(), 0, reinterpret_cast<sockaddr*>(&to), sizeof to);
    Bytes query(44, 0);
    query[1] = 0x0F; query[3] = 0x01;
    sendto(tx, query.data(), query.size(), 0, reinterpret_cast<sockaddr*>(&to), sizeof to);
    uint8_t buf[100];
    sockaddr_in from{};
    socklen_t len = sizeof from;
    ssize_t n;
    do {
        n = recvfrom(rx, buf, sizeof buf, 0, reinterpret_cast<sockaddr*>(&from), &len);
    } while (n == 44 && buf[3] != 0x02);   // our own broadcast query comes back too
    ASSERT_EQ(n, 44);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(buf + 4)), "Lab 1");
    EXPECT_EQ(ntohl(from.sin_addr.s_addr), 0x7F000002u);
    EXPECT_EQ(ntohs(from.sin_port), 5002);
    EXPECT_TRUE(lab->waitForLog("discovery: ignored 44-byte datagram"));
    close(rx);
    close(tx);
}

TEST_F(Minilab, StopsWithStatusZeroOnSigterm) {
    start(kLab);
    EXPECT_EQ(lab->stop().exitStatus, 0);
}

}  // namespace

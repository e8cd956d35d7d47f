// The running emulator against clients that misbehave (cut requests, garbage, lengths far
// beyond any record, a connection held half-sent) and the reply-delay switch as a raw
// client sees it.
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <thread>
#include <string>

#include "Codes.h"
#include "LabFixture.h"
#include "Process.h"
#include "RawLab.h"

using namespace tessaron::minilabtest;
using namespace std::chrono_literals;

namespace {

const char* kLab = R"({"name": "Lab 1", "apiVersion": "3.0.0.0", "maxImageBytes": 4096,
  "papers": [{"width": 1020, "surface": 1, "resolution": 3000, "lmin": 890, "lmax": 3050}]})";

class Robustness : public LabTest {
protected:
    // The lab still answers a well-formed request on a fresh connection.
    void expectStillServing() {
        Bytes info = transact(header(0x01, 0));
        ASSERT_EQ(info.size(), 16u + 32 + 64) << lab->log();
        EXPECT_EQ(resultOf(info), 0u);
    }
};

TEST_F(Robustness, CutRequestsLeaveTheLabServing) {
    start(kLab);
    {
        Connection c;
        Bytes h = header(0x09, 34);
        ASSERT_TRUE(c.send(Bytes(h.begin(), h.begin() + 10)));   // 10 of 16 header bytes
    }
    EXPECT_TRUE(lab->waitForLog("connection closed inside a request header (10 bytes)")) << lab->log();
    {
        Connection c;
        Bytes r = request(0x09, {Bytes(20, 0)});                  // 20 of 34 data bytes
        put32(r, 8, 34);
        ASSERT_TRUE(c.send(r));
    }
    EXPECT_TRUE(lab->waitForLog("connection closed after 20 of 34 data bytes")) << lab->log();
    {
        // An image transfer cut inside the image: nothing reaches the store.
        Connection c;
        Bytes r = header(0x22, 96 + 480 + 1000);
        Bytes info = clientInfo();
        r.insert(r.end(), info.begin(), info.end());
        r.resize(r.size() + 480 + 100, 0);
        ASSERT_TRUE(c.send(r));
    }
    EXPECT_TRUE(lab->waitForLog("data bytes")) << lab->log();
    expectStillServing();
    EXPECT_TRUE(std::filesystem::is_empty(store.path()));
}

TEST_F(Robustness, GarbageIsRefusedAndTheConnectionClosed) {
    start(kLab);
    Connection c;
    Bytes garbage(64);
    for (size_t i = 0; i < garbage.size(); ++i) garbage[i] = uint8_t(i * 37 + 11);
    ASSERT_TRUE(c.send(garbage));
    Bytes reply = c.reply();
    ASSERT_EQ(reply.size(), 16u + 32);
    EXPECT_EQ(reply[0], 'J');
    EXPECT_EQ(resultOf(reply), tessaron::minilab::kFail);
    // Without a marker the stream cannot be framed: the lab closes instead of guessing.
    EXPECT_TRUE(c.closedByPeer(5000ms));
    EXPECT_TRUE(lab->waitForLog("at byte 0 of the request")) << lab->log();
    expectStillServing();
}

TEST_F(Robustness, LengthsBeyondAnyRecordAreNotAwaited) {
    start(kLab);
    struct Case { const char* what; uint8_t command; uint32_t length; uint32_t code; };
    const Case cases[] = {
        {"status query of almost 4 GiB", 0x09, 0xFFFFFFF0u, tessaron::minilab::kInvalidSize},
        {"spool record of 1 MiB", 0x23, 1u << 20, tessaron::minilab::kInvalidSize},
        {"image above the lab's limit", 0x22, 96 + 480 + 4097, tessaron::minilab::kInvalidImageSize},
        {"image of almost 4 GiB", 0x02, 0xFFFFFFFFu, tessaron::minilab::kInvalidImageSize},
    };
    for (const Case& c : cases) {
        Connection conn;
        ASSERT_TRUE(conn.send(header(c.command, c.length))) << c.what;
        // Answered at once from the header alone, then closed: the lab does not wait for
        // (nor make room for) data it will refuse anyway.
        Bytes reply = conn.reply(5000ms);
        EXPECT_EQ(resultOf(reply), c.code) << c.what;
        EXPECT_TRUE(conn.closedByPeer(5000ms)) << c.what;
    }
    expectStillServing();
}

TEST_F(Robustness, AHalfSentRequestDoesNotHoldUpOthers) {
    start(kLab);
    Connection slow;
    Bytes h = header(0x01, 0);
    ASSERT_TRUE(slow.send(Bytes(h.begin(), h.begin() + 5)));
    expectStillServing();
    // The slow client may finish later and gets its reply.
    ASSERT_TRUE(slow.send(Bytes(h.begin() + 5, h.end())));
    EXPECT_EQ(slow.reply().size(), 16u + 32 + 64);
}

// Every connection may come to hold an image of up to the limit; their number is bounded
// so that the memory is too.
TEST_F(Robustness, ConnectionsBeyondTheLimitAreClosed) {
    start(kLab);
    std::vector<std::unique_ptr<Connection>> held;
    const Bytes h = header(0x01, 0);
    for (int i = 0; i < 32; ++i) {
        held.push_back(std::make_unique<Connection>());
        ASSERT_TRUE(held.back()->send(Bytes(h.begin(), h.begin() + 4)));
    }
    Connection extra;
    EXPECT_TRUE(extra.closedByPeer(5000ms));
    EXPECT_TRUE(lab->waitForLog("refused: already 32 connections open")) << lab->log();
    // The held ones are still served.
    ASSERT_TRUE(held.front()->send(Bytes(h.begin() + 4, h.end())));
    EXPECT_EQ(held.front()->reply().size(), 16u + 32 + 64);
    held.clear();
    // Once they are gone the lab takes new connections again (closing is noticed soon).
    Bytes info;
    const auto deadline = std::chrono::steady_clock::now() + 5s;
    while (info.empty() && std::chrono::steady_clock::now() < deadline) {
        info = transact(header(0x01, 0));
        if (info.empty()) std::this_thread::sleep_for(20ms);   // poll until the lab has noticed
    }
    EXPECT_EQ(info.size(), 16u + 32 + 64);
}

TEST_F(Robustness, ReplyDelayHoldsBackOnlyTheChosenRequest) {
    start(R"({"apiVersion": "3.0.0.0", "faults": {"replyDelay": {"ms": 1500, "command": 9, "at": 2}}})");
    EXPECT_EQ(transact(request(0x09, {Bytes(34, 0)})).size(), 16u + 32 + 192);   // the first: at once
    Connection c;
    ASSERT_TRUE(c.send(request(0x09, {Bytes(34, 0)})));
    // Nothing for a good while, yet the connection stays open ...
    EXPECT_TRUE(c.readSome(700ms).empty());
    EXPECT_EQ(c.lastError(), 0);
    // ... and then the whole reply.
    Bytes reply = c.reply(10000ms);
    EXPECT_EQ(reply.size(), 16u + 32 + 192);
    EXPECT_EQ(resultOf(reply), 0u);
    EXPECT_TRUE(lab->waitForLog("fault: reply shaped (delay 1500 ms")) << lab->log();
}

TEST_F(Robustness, ResetAtFrameResetsTheConnection) {
    start(R"({"apiVersion": "3.0.0.0", "faults": {"resetAtFrame": 1},
      "papers": [{"width": 1020, "surface": 1, "resolution": 3000, "lmin": 890, "lmax": 3050}]})");
    Connection c;
    Bytes r = header(0x22, 96 + 480 + 70);
    Bytes info = clientInfo();
    r.insert(r.end(), info.begin(), info.end());
    r.resize(r.size() + 480, 0);
    Bytes image = bmp(2, 2);
    r.insert(r.end(), image.begin(), image.end());
    c.send(r);
    bool reset = false;
    EXPECT_TRUE(c.closedByPeer(5000ms, &reset));
    EXPECT_TRUE(reset);
    EXPECT_TRUE(lab->waitForLog("fault: connection reset")) << lab->log();
}

// The configured status sequence: busy for the first three requests, then idle for good;
// the print count grows with completed orders only.
TEST_F(Robustness, StatusFollowsTheConfiguredSequence) {
    start(R"({"apiVersion": "3.0.0.0", "printCount": 41, "spoolerSpace": 8589934593,
      "status": [{"state": 1, "receive": 1, "repeat": 3}, {"state": 3, "receive": 0, "printingUnit": 1}]})");
    const uint16_t expected[][3] = {{1, 1, 0}, {1, 1, 0}, {1, 1, 0}, {3, 0, 1}, {3, 0, 1}};
    for (const auto& e : expected) {
        Bytes r = transact(request(0x09, {Bytes(34, 0)}));
        ASSERT_EQ(r.size(), 16u + 32 + 192);
        const size_t at = 48;
        EXPECT_EQ(get16(r, at), e[0]);
        EXPECT_EQ(get16(r, at + 2), e[1]);
        EXPECT_EQ(get16(r, at + 4), e[2]);
        EXPECT_EQ(get64(r, at + 138), 41u);
        EXPECT_EQ(get64(r, at + 158), 8589934593u);   // both halves, high first
    }
}

// Outside loopback the lab does not start at all (unless told it runs in a real lab), and a
// broadcast address is never one of its own.
TEST(MinilabCommandLine, RefusesAddressesOutsideLoopback) {
    for (const char* address : {"192.0.2.10", "127.255.255.255", "0.0.0.0"}) {
        tessaron::test::ProcessSpec spec;
        spec.program = TESSARON_MINILAB_PATH;
        spec.args = {"--address", address};
        spec.timeout = 20000ms;
        const auto r = tessaron::test::runProcess(spec);
        EXPECT_NE(r.exitStatus, 0) << address;
        EXPECT_FALSE(r.timedOut) << address;
        EXPECT_NE((r.out + r.err).find("refusing to bind"), std::string::npos) << address << ": " << r.err;
    }
    tessaron::test::ProcessSpec bad;
    bad.program = TESSARON_MINILAB_PATH;
    bad.args = {"--config", "/nonexistent/lab.json"};
    bad.timeout = 20000ms;
    EXPECT_NE(tessaron::test::runProcess(bad).exitStatus, 0);
}

}  // namespace

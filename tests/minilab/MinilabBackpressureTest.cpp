// The emulator against clients that do not take what it sends: one that writes requests and
// never reads its replies, and the switches that make the lab itself slow to take or give.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>

#include <chrono>
#include <fstream>
#include <string>

#include "LabFixture.h"
#include "RawLab.h"

using namespace tessaron::minilabtest;
using namespace std::chrono_literals;

namespace {

const char* kLab = R"({"name": "Lab 1", "apiVersion": "3.0.0.0",
  "papers": [{"width": 1020, "surface": 1, "resolution": 3000, "lmin": 890, "lmax": 3050}]})";

// How much the lab may grow while it holds back a flood. Under AddressSanitizer freed memory
// waits in quarantine and still counts as resident, so the bound there is looser; a lab that
// kept reading would still grow by hundreds of MiB.
#if defined(__SANITIZE_ADDRESS__)
constexpr long kGrowthBoundKiB = 128 * 1024;
#else
constexpr long kGrowthBoundKiB = 16 * 1024;
#endif

long residentKiB(pid_t pid) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmRSS:", 0) == 0) return std::stol(line.substr(6));
    return -1;
}

// Writes `request` again and again without reading until the peer takes nothing for `quiet`
// or `limit` bytes went out; answers the count of whole requests sent.
size_t floodWithoutReading(int fd, const Bytes& request, size_t limit, std::chrono::milliseconds quiet) {
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
    Bytes batch;
    for (int i = 0; i < 256; ++i) batch.insert(batch.end(), request.begin(), request.end());
    size_t sent = 0;
    size_t offset = 0;
    while (sent < limit) {
        const ssize_t n = ::send(fd, batch.data() + offset, batch.size() - offset, MSG_NOSIGNAL);
        if (n > 0) {
            sent += static_cast<size_t>(n);
            offset = (offset + static_cast<size_t>(n)) % batch.size();
            continue;
        }
        pollfd p{fd, POLLOUT, 0};
        if (::poll(&p, 1, static_cast<int>(quiet.count())) == 0) break;
    }
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    return sent / request.size();
}

class Backpressure : public LabTest {};

TEST_F(Backpressure, AClientThatNeverReadsCannotGrowTheLabAndIsServedWhenItDoes) {
    start(kLab);
    const long before = residentKiB(lab->pid());
    ASSERT_GT(before, 0);
    Connection c;
    ASSERT_TRUE(c.open());
    const Bytes status = request(0x09, {Bytes(34, 0)});  // 50 bytes in, 240 bytes of reply out
    // 8 MiB of requests would be 38 MiB of replies: the lab must stop reading long before.
    const size_t requests = floodWithoutReading(c.fd(), status, 8u << 20, 1500ms);
    EXPECT_LT(requests * status.size(), 8u << 20) << "the lab kept reading requests whose replies were not taken";
    const long during = residentKiB(lab->pid());
    EXPECT_LT(during - before, kGrowthBoundKiB) << "resident KiB grew from " << before << " to " << during;
    // Reading resumes as the replies are taken: every request sent gets its reply.
    for (size_t i = 0; i < requests; ++i) {
        const Bytes reply = c.reply(5000ms);
        ASSERT_EQ(reply.size(), 16u + 32 + 192) << "reply " << i << " of " << requests << "\n" << lab->log().substr(0, 2000);
        ASSERT_EQ(resultOf(reply), 0u);
    }
}

TEST_F(Backpressure, TrickleAndStopReadingSwitches) {
    start(std::string(kLab).insert(std::string(kLab).size() - 1,
                                   R"(, "faults": {"trickle": {"ms": 40, "command": 1}, "stopReading": {"command": 9}})"));
    {
        // One byte per segment, each after the pause.
        Connection c;
        ASSERT_TRUE(c.send(header(0x01, 0)));
        const auto begin = std::chrono::steady_clock::now();
        const Bytes first = c.readSome(5000ms);
        EXPECT_EQ(first.size(), 1u);
        const Bytes rest = c.read(16 + 32 + 64 - 1, 20000ms);
        EXPECT_EQ(rest.size(), 16u + 32 + 64 - 1);
        EXPECT_GE(std::chrono::steady_clock::now() - begin, 40ms * 100);
    }
    {
        // After the header of the switched request nothing more is read, nor answered.
        Connection c;
        const size_t requests = floodWithoutReading(c.fd(), request(0x09, {Bytes(34, 0)}), 16u << 20, 1500ms);
        EXPECT_LT(requests * 50, 16u << 20);
        EXPECT_TRUE(c.readSome(500ms).empty());
        EXPECT_NE(lab->log().find("no longer reading this connection"), std::string::npos) << lab->log();
    }
}

}  // namespace

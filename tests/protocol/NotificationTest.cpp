// The refresh's notifications as D-Bus signals, received on a private bus daemon started by
// the test; without a bus the job goes on.
#include <systemd/sd-bus.h>

#include <poll.h>

#include "Notify.h"
#include "Process.h"
#include "ProtocolTestSupport.h"
#include "TempDir.h"

using namespace tessaron::protocoltest;

namespace {

constexpr const char* kAddress = "127.0.0.15";

struct Signal {
    std::string member, object;
};

// A private bus daemon and a client listening to the suite's signals on it.
class PrivateBus {
public:
    PrivateBus() {
        address_ = "unix:path=" + dir_.file("bus");
        tessaron::test::ProcessSpec spec;
        spec.program = "/usr/bin/dbus-daemon";
        spec.args = {"--session", "--nofork", "--nopidfile", "--address=" + address_, "--print-address=1"};
        daemon_ = std::make_unique<tessaron::test::BackgroundProcess>(spec);
        if (!daemon_->waitForOutput("unix:path=", std::chrono::milliseconds(20000))) return;
        sd_bus* raw = nullptr;
        if (sd_bus_new(&raw) < 0) return;
        bus_ = raw;
        if (sd_bus_set_address(bus_, address_.c_str()) < 0 || sd_bus_set_bus_client(bus_, 1) < 0 || sd_bus_start(bus_) < 0) return;
        const std::string match = std::string("type='signal',interface='") + tessaron::notify::kInterface + "'";
        ready_ = sd_bus_add_match(bus_, nullptr, match.c_str(), nullptr, nullptr) >= 0;
    }
    ~PrivateBus() {
        if (bus_) sd_bus_flush_close_unref(bus_);
        if (daemon_) {
            daemon_->signal(SIGTERM);
            daemon_->wait(std::chrono::milliseconds(10000));
        }
    }
    bool ready() const { return ready_; }
    const std::string& address() const { return address_; }

    // The suite's signals that arrive until `count` have come or the deadline passes.
    std::vector<Signal> receive(std::size_t count, std::chrono::milliseconds limit) {
        std::vector<Signal> got;
        const auto deadline = std::chrono::steady_clock::now() + limit;
        while (got.size() < count && std::chrono::steady_clock::now() < deadline) {
            sd_bus_message* m = nullptr;
            const int r = sd_bus_process(bus_, &m);
            if (r < 0) break;
            if (m) {
                const char* text = nullptr;
                if (sd_bus_message_is_signal(m, tessaron::notify::kInterface, nullptr) > 0 &&
                    std::string(sd_bus_message_get_path(m)) == tessaron::notify::kObjectPath &&
                    sd_bus_message_read(m, "s", &text) >= 0)
                    got.push_back({sd_bus_message_get_member(m), text});
                sd_bus_message_unref(m);
            }
            if (r == 0) sd_bus_wait(bus_, 100000);
        }
        return got;
    }

private:
    tessaron::test::TempDir dir_;
    std::string address_;
    std::unique_ptr<tessaron::test::BackgroundProcess> daemon_;
    sd_bus* bus_ = nullptr;
    bool ready_ = false;
};

class NotificationTest : public ProtocolTest {};

TEST_F(NotificationTest, RefreshPostsBothSignalsWithTheDeviceURI) {
    PrivateBus bus;
    ASSERT_TRUE(bus.ready());
    ::setenv("DBUS_SYSTEM_BUS_ADDRESS", bus.address().c_str(), 1);
    auto lab = startLab(kAddress, "{\"apiVersion\": \"3.0.0.0\", \"extraFeatures\": true, \"papers\": [" +
                                      rollPaper(1270, 1, 3000, 890, 2540) + "]}");
    ::setenv("DEVICE_URI", "vantrelps://127.0.0.15", 1);
    auto job = VantrelTessaronJob::init();
    ASSERT_TRUE(job);
    job->setShouldStartRunLoop(true);
    LogCapture log;
    ASSERT_TRUE(job->getInfoAsync());
    ASSERT_TRUE(job->getRegisteredPapersAsync());
    log.text();
    const auto signals = bus.receive(2, std::chrono::milliseconds(20000));
    ASSERT_EQ(signals.size(), 2u) << log.text();
    EXPECT_EQ(signals[0].member, "JRXPrinterInfoDidUpdateNotification");
    EXPECT_EQ(signals[1].member, "JRXPrinterPaperDidUpdateNotification");
    for (const auto& s : signals) EXPECT_EQ(s.object, "vantrelps://127.0.0.15");
    ::unsetenv("DEVICE_URI");
}

TEST_F(NotificationTest, NoBusIsReportedAndTheJobGoesOn) {
    std::string error;
    EXPECT_FALSE(tessaron::notify::postDistributedNotification("JRXPrinterInfoDidUpdateNotification", "x", &error));
    EXPECT_FALSE(error.empty());
    auto job = clientOfLab(kAddress, "{\"apiVersion\": \"3.0.0.0\"}");
    ASSERT_TRUE(job);
    LogCapture log;
    EXPECT_TRUE(job->getInfoAsync());
    EXPECT_EQ(linesStartingWith(log.text(), "PPD:").size(), 1u) << log.text();
    EXPECT_NE(log.text().find("could not post JRXPrinterInfoDidUpdateNotification"), std::string::npos) << log.text();
}

}  // namespace

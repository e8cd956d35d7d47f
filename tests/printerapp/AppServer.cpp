#include "AppServer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <csignal>

#include "UniqueFd.h"

namespace tessaron::printerapptest {
namespace {

constexpr std::chrono::seconds kStartLimit{20};

sockaddr_in loopback(int port) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<uint16_t>(port));
    return address;
}

int freePort() {
    UniqueFd socket(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    sockaddr_in address = loopback(0);
    socklen_t length = sizeof address;
    if (::bind(socket.get(), reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::getsockname(socket.get(), reinterpret_cast<sockaddr*>(&address), &length) != 0)
        return 0;
    return ntohs(address.sin_port);
}

bool accepts(int port) {
    UniqueFd socket(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    const sockaddr_in address = loopback(port);
    return ::connect(socket.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
}

}  // namespace

std::map<std::string, std::string> testEnvironment(const std::string& tmpdir) {
    return {{"VANTRELPS_DISCOVERY_ADDRESS", "127.255.255.255"},
            {"TESSARON_VANTRELPS", VANTRELPS_PATH},
            {"DBUS_SYSTEM_BUS_ADDRESS", "unix:path=/nonexistent"},
            {"TMPDIR", tmpdir},
            {"HOME", tmpdir},
            {"XDG_CONFIG_HOME", tmpdir},
            // Only read by the sanitizer tree.
            {"LSAN_OPTIONS", "suppressions=" LSAN_SUPPRESSIONS}};
}

AppServer::AppServer(const std::string& tmpdir) : dir_(tmpdir), port_(freePort()) {
    test::ProcessSpec spec;
    spec.program = PRINTER_APP_PATH;
    spec.args = {"server", "-o", "listen-hostname=127.0.0.1", "-o", "server-port=" + std::to_string(port_),
                 "-o", "log-level=debug", "-o", "log-file=" + dir_ + "/app.log", "-o", "state-file=" + dir_ + "/app.state",
                 "-o", "spool-directory=" + dir_ + "/spool"};
    spec.env = testEnvironment(dir_);
    spec.timeout = std::chrono::minutes(10);
    process_ = std::make_unique<test::BackgroundProcess>(spec);
    const auto end = std::chrono::steady_clock::now() + kStartLimit;
    while (port_ > 0 && std::chrono::steady_clock::now() < end && process_->running()) {
        if (accepts(port_)) {
            ready_ = true;
            break;
        }
        pollfd none{-1, 0, 0};
        ::poll(&none, 0, 50);
    }
}

AppServer::~AppServer() {
    if (!process_) return;
    process_->signal(SIGTERM);
    process_->wait(std::chrono::seconds(20));
}

std::string AppServer::printerURI(const std::string& name) const {
    return "ipp://127.0.0.1:" + std::to_string(port_) + "/ipp/print/" + name;
}

std::string AppServer::log() const { return test::readFile(dir_ + "/app.log"); }

std::string AppServer::addPrinter(const std::string& name, const std::string& deviceURI) const {
    const test::ProcessResult result =
        ipptool("ipp://127.0.0.1:" + std::to_string(port_) + "/ipp/system", IPP_TEST_DIR "/create-printer.test",
                {"-d", "name=" + name, "-d", "device-uri=" + deviceURI});
    return result.exitStatus == 0 ? std::string() : result.out + result.err;
}

test::ProcessResult AppServer::ipptool(const std::string& uri, const std::string& testFile,
                                       const std::vector<std::string>& extraArgs) const {
    test::ProcessSpec spec;
    spec.program = "/usr/bin/ipptool";
    spec.args = {"-t"};
    spec.args.insert(spec.args.end(), extraArgs.begin(), extraArgs.end());
    spec.args.push_back(uri);
    spec.args.push_back(testFile);
    spec.env = testEnvironment(dir_);
    spec.timeout = std::chrono::minutes(3);
    return test::runProcess(spec);
}

}  // namespace tessaron::printerapptest

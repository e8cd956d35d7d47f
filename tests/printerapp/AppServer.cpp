#include "AppServer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cctype>
#include <chrono>
#include <csignal>
#include <regex>

#include "UniqueFd.h"

namespace tessaron::printerapptest {
namespace {

constexpr std::chrono::seconds kStartLimit{20};
constexpr int kWebLimitMs = 20000;
constexpr std::size_t kMaxPage = 4 << 20;

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

bool sendAll(int fd, const std::string& bytes) {
    std::size_t sent = 0;
    while (sent < bytes.size()) {
        const ssize_t n = ::send(fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
        if (n <= 0) return false;
        sent += static_cast<std::size_t>(n);
    }
    return true;
}

// Whether `answer` holds a whole response: PAPPL keeps even an HTTP/1.0 connection open, so
// the end is read from the framing, not from the connection closing.
bool complete(const std::string& answer) {
    const std::size_t headerEnd = answer.find("\r\n\r\n");
    if (headerEnd == std::string::npos) return false;
    const std::string headers = answer.substr(0, headerEnd);
    if (headers.find("Transfer-Encoding: chunked") != std::string::npos) return answer.ends_with("\r\n0\r\n\r\n");
    std::smatch match;
    if (std::regex_search(headers, match, std::regex("Content-Length: ([0-9]+)")))
        return answer.size() - headerEnd - 4 >= std::stoul(match[1]);
    return false;
}

// Until the response is whole or the server closes the connection, within the limit.
std::string receiveAll(int fd) {
    std::string answer;
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(kWebLimitMs);
    char buffer[16384];
    while (answer.size() < kMaxPage && !complete(answer)) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now());
        pollfd readable{fd, POLLIN, 0};
        if (left.count() <= 0 || ::poll(&readable, 1, static_cast<int>(left.count())) <= 0) return {};
        const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
        if (n < 0) return {};
        if (n == 0) break;
        answer.append(buffer, static_cast<std::size_t>(n));
    }
    return answer;
}

// The answer with a chunked body joined up (PAPPL chunks its pages whatever the version).
std::string dechunked(const std::string& answer) {
    const std::size_t headerEnd = answer.find("\r\n\r\n");
    if (headerEnd == std::string::npos || answer.find("Transfer-Encoding: chunked") > headerEnd) return answer;
    std::string out = answer.substr(0, headerEnd + 4);
    std::size_t at = headerEnd + 4;
    while (at < answer.size()) {
        const std::size_t lineEnd = answer.find("\r\n", at);
        if (lineEnd == std::string::npos) break;
        const std::size_t size = std::stoul(answer.substr(at, lineEnd - at), nullptr, 16);
        if (size == 0 || lineEnd + 2 + size > answer.size()) break;
        out += answer.substr(lineEnd + 2, size);
        at = lineEnd + 2 + size + 2;
    }
    return out;
}

}  // namespace

std::string formField(const std::string& name, const std::string& value) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string out = name + "=";
    for (const unsigned char c : value) {
        if (std::isalnum(c) || c == '-' || c == '_' || c == '.') {
            out += static_cast<char>(c);
        } else {
            out += '%';
            out += kHex[c >> 4];
            out += kHex[c & 15];
        }
    }
    return out;
}

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

AppServer::AppServer(const std::string& tmpdir, StateFile stateFile) : dir_(tmpdir), port_(freePort()) {
    test::ProcessSpec spec;
    spec.program = PRINTER_APP_PATH;
    spec.args = {"server", "-o", "listen-hostname=127.0.0.1", "-o", "server-port=" + std::to_string(port_),
                 "-o", "log-level=debug", "-o", "log-file=" + dir_ + "/app.log", "-o", "spool-directory=" + dir_ + "/spool"};
    if (stateFile == StateFile::Private) spec.args.insert(spec.args.end(), {"-o", "state-file=" + dir_ + "/app.state"});
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

std::string AppServer::web(const std::string& method, const std::string& path, const std::string& language,
                           const std::string& form) const {
    UniqueFd socket(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    const sockaddr_in address = loopback(port_);
    if (::connect(socket.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) return {};
    std::string request = method + " " + path + " HTTP/1.0\r\nHost: 127.0.0.1:" + std::to_string(port_) +
                          "\r\nAccept-Language: " + language + "\r\n";
    if (method == "POST")
        request += "Content-Type: application/x-www-form-urlencoded\r\nContent-Length: " + std::to_string(form.size()) + "\r\n";
    request += "\r\n" + form;
    if (!sendAll(socket.get(), request)) return {};
    return dechunked(receiveAll(socket.get()));
}

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

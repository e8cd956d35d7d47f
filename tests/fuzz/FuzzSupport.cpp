#include "FuzzSupport.h"

#include <fcntl.h>
#include <stdlib.h>
#include <sys/mman.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "PLUMEX_CUPSLog.h"

// Sanitizer builds route their reports here; weak so that plain builds link too.
extern "C" void __sanitizer_set_report_fd(void* fd) __attribute__((weak));

namespace tessaron::fuzz {

namespace {

int gCaptureFd = -1;  // standard error of the code under test
int gRealStdErr = -1;

void throwJobEnded(const std::string&) { throw JobEnded{}; }

void writeAll(int fd, std::string_view text) {
    while (!text.empty()) {
        const ssize_t n = ::write(fd, text.data(), text.size());
        if (n <= 0) return;
        text.remove_prefix(static_cast<size_t>(n));
    }
}

// The length of the UTF-8 sequence at `s`, 0 when it is not a valid one.
size_t utf8SequenceLength(std::string_view s) {
    const auto b = [&](size_t i) { return static_cast<unsigned char>(s[i]); };
    const unsigned char c = b(0);
    if (c < 0x80) return 1;
    size_t n = 0;
    uint32_t cp = 0;
    if ((c & 0xE0) == 0xC0) n = 2, cp = c & 0x1F;
    else if ((c & 0xF0) == 0xE0) n = 3, cp = c & 0x0F;
    else if ((c & 0xF8) == 0xF0) n = 4, cp = c & 0x07;
    else return 0;
    if (s.size() < n) return 0;
    for (size_t i = 1; i < n; ++i) {
        if ((b(i) & 0xC0) != 0x80) return 0;
        cp = (cp << 6) | (b(i) & 0x3F);
    }
    static constexpr uint32_t kSmallest[] = {0, 0, 0x80, 0x800, 0x10000};
    if (cp < kSmallest[n] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return 0;
    return n;
}

}  // namespace

void setUpHarness() {
    static bool done = false;
    if (done) return;
    done = true;
    PLUMEX_CUPSLog::setShouldLogToStdErr(true);
    PLUMEX_CUPSLog::setShouldLogToSyslog(false);
    PLUMEX_CUPSLog::setErrorPause(std::chrono::milliseconds(0));
    PLUMEX_CUPSLog::setFatalHandler(throwJobEnded);
    setenv("LANG", "C", 1);
    // Notifications go to a bus that is not there: a harness never reaches the system bus.
    setenv("DBUS_SYSTEM_BUS_ADDRESS", ("unix:path=" + scratchFolder() + "/no-bus").c_str(), 1);
    unsetenv("DBUS_SESSION_BUS_ADDRESS");
    unsetenv("LC_ALL");

    gRealStdErr = ::dup(STDERR_FILENO);
    gCaptureFd = ::memfd_create("fuzz-stderr", MFD_CLOEXEC);
    if (gCaptureFd < 0 || gRealStdErr < 0) {
        std::perror("fuzz harness: capturing standard error");
        std::abort();
    }
#ifndef TESSARON_LIBFUZZER
    // libFuzzer (run with -close_fd_mask=2) already sends reports to its own descriptor.
    if (__sanitizer_set_report_fd) __sanitizer_set_report_fd(reinterpret_cast<void*>(static_cast<intptr_t>(gRealStdErr)));
#endif
    ::dup2(gCaptureFd, STDERR_FILENO);
}

void finding(const std::string& what) {
    const std::string line = "FUZZ FINDING: " + what + "\n";
    writeAll(gRealStdErr >= 0 ? gRealStdErr : STDERR_FILENO, line);
#ifdef TESSARON_LIBFUZZER
    writeAll(STDOUT_FILENO, line);  // standard error may be closed by -close_fd_mask
#endif
    std::abort();
}

std::string takeStandardError() {
    if (gCaptureFd < 0) return {};
    const off_t end = ::lseek(gCaptureFd, 0, SEEK_CUR);
    std::string out(end > 0 ? static_cast<size_t>(end) : 0, '\0');
    size_t got = 0;
    while (got < out.size()) {
        const ssize_t n = ::pread(gCaptureFd, out.data() + got, out.size() - got, static_cast<off_t>(got));
        if (n <= 0) break;
        got += static_cast<size_t>(n);
    }
    out.resize(got);
    if (::ftruncate(gCaptureFd, 0) != 0 || ::lseek(gCaptureFd, 0, SEEK_SET) != 0) finding("cannot reset the capture");
    return out;
}

std::string cupsLineProblem(std::string_view line) {
    static constexpr std::string_view kLevels[] = {"DEBUG:", "DEBUG2:", "INFO:", "ERROR:", "WARN:", "WARNING:",
                                                   "PPD:",   "STATE:",  "ATTR:", "PAGE:",  "CRIT:", "NOTICE:"};
    bool known = false;
    for (std::string_view level : kLevels) known = known || line.starts_with(level);
    if (!known) return "line without a CUPS level word";
    bool inQuotes = false;
    for (size_t i = 0; i < line.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(line[i]);
        if ((c < 0x20 && c != '\t') || c == 0x7F) return "control character in a line";
        // A backslash escapes only the quote or backslash after it; a byte of a multi-byte
        // character after a plain backslash still has to be checked.
        if (c == '\\' && i + 1 < line.size() && (line[i + 1] == '"' || line[i + 1] == '\\')) {
            ++i;
            continue;
        }
        if (c == '"') inQuotes = !inQuotes;
        if (c >= 0x80) {
            const size_t n = utf8SequenceLength(line.substr(i));
            if (n == 0) return "invalid UTF-8 in a line";
            i += n - 1;
        }
    }
    // Quotes carry meaning in the key="value" lines the scheduler parses.
    if (inQuotes && (line.starts_with("PPD:") || line.starts_with("ATTR:"))) return "unbalanced double quote in a line";
    return {};
}

void requireCupsLines() {
    const std::string out = takeStandardError();
    size_t start = 0;
    while (start < out.size()) {
        const size_t end = out.find('\n', start);
        if (end == std::string::npos) finding("standard error ends inside a line: " + out.substr(start, 200));
        const std::string_view line(out.data() + start, end - start);
        const std::string problem = cupsLineProblem(line);
        if (!problem.empty()) finding(problem + ": " + std::string(line.substr(0, 200)));
        start = end + 1;
    }
}

std::string deviceLineProblem(std::string_view line) {
    if (line.empty() || line.back() != '\n') return "device line without its line end";
    line.remove_suffix(1);
    if (line.find('\n') != std::string_view::npos) return "more than one device line";
    if (!line.starts_with("network vantrelps://")) return "device line of another class or scheme";
    // The device line shares the message lines' rules for texts from outside.
    const std::string problem = cupsLineProblem(std::string("INFO: ") + std::string(line));
    if (!problem.empty()) return problem;
    size_t quoted = 0;
    for (size_t i = 0; i < line.size(); ++i) {
        if (line[i] == '\\') ++i;
        else if (line[i] == '"') ++quoted;
    }
    if (quoted < 4) return "device line without its make-and-model and info fields";
    return {};
}

int socketHolding(std::span<const uint8_t> bytes) {
    int pair[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pair) != 0) finding("socketpair failed");
    const int size = 4 << 20;
    ::setsockopt(pair[1], SOL_SOCKET, SO_SNDBUF, &size, sizeof size);
    ::setsockopt(pair[0], SOL_SOCKET, SO_RCVBUF, &size, sizeof size);
    ::fcntl(pair[1], F_SETFL, O_NONBLOCK);
    size_t sent = 0;
    while (sent < bytes.size()) {
        const ssize_t n = ::send(pair[1], bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
        if (n <= 0) break;
        sent += static_cast<size_t>(n);
    }
    ::close(pair[1]);
    if (sent < bytes.size()) {
        ::close(pair[0]);
        return -1;
    }
    return pair[0];
}

const std::string& scratchFolder() {
    static const std::string folder = [] {
        const char* tmp = std::getenv("TMPDIR");
        std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/tessaron-fuzz-XXXXXX";
        if (!::mkdtemp(pattern.data())) finding("cannot make a scratch folder");
        return pattern;
    }();
    return folder;
}

std::string writeScratchFile(const std::string& name, std::span<const uint8_t> bytes) {
    const std::string path = scratchFolder() + "/" + name;
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0) finding("cannot write " + path);
    writeAll(fd, std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
    ::close(fd);
    return path;
}

uint8_t InputReader::byte() { return at_ < bytes_.size() ? bytes_[at_++] : 0; }
uint16_t InputReader::u16() { return static_cast<uint16_t>((byte() << 8) | byte()); }
uint32_t InputReader::u32() { return (uint32_t{u16()} << 16) | u16(); }

std::span<const uint8_t> InputReader::take(size_t count) {
    const size_t start = at_ < bytes_.size() ? at_ : bytes_.size();
    const size_t n = std::min(count, bytes_.size() - start);
    at_ = start + n;
    return bytes_.subspan(start, n);
}

std::span<const uint8_t> InputReader::until(uint8_t separator) {
    const size_t start = at_ < bytes_.size() ? at_ : bytes_.size();
    size_t end = start;
    while (end < bytes_.size() && bytes_[end] != separator) ++end;
    at_ = end + 1;
    return bytes_.subspan(start, end - start);
}

std::span<const uint8_t> InputReader::rest() { return take(bytes_.size()); }

std::string text(std::span<const uint8_t> bytes) { return std::string(bytes.begin(), bytes.end()); }
std::vector<uint8_t> bytesOf(std::string_view s) { return std::vector<uint8_t>(s.begin(), s.end()); }

}  // namespace tessaron::fuzz

// Opening and rolling the log file. Log locations include world-writable directories, so
// nothing here follows a symbolic link or opens anything but a regular file.
#include "PLUMEX_CUPSLog.h"
#include "PLUMEX_CUPSLogState.h"
#include "FileIO.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace tessaron::printjob {
namespace {

constexpr off_t kRollSize = 0x100000;          // 1 MiB
constexpr size_t kArchiveLimit = 0xA00000;     // 10 MiB
constexpr mode_t kLogMode = 0664;

off_t fileSize(int fd) {
    struct stat info {};
    return ::fstat(fd, &info) == 0 ? info.st_size : -1;
}

// Reads from `offset` to the end of the file.
bool readFrom(int fd, off_t offset, std::string& out) {
    const off_t size = fileSize(fd);
    if (size < 0) return false;
    if (offset >= size) return true;
    const size_t start = out.size();
    out.resize(start + static_cast<size_t>(size - offset));
    size_t done = 0;
    while (start + done < out.size()) {
        ssize_t n = ::pread(fd, out.data() + start + done, out.size() - start - done, offset + static_cast<off_t>(done));
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return false;
        if (n == 0) break;
        done += static_cast<size_t>(n);
    }
    out.resize(start + done);
    return true;
}

// The archive followed by the current file, keeping at most the last 10 MiB from a line
// start. Only the part that can survive the cut is read, so a huge file costs no more memory.
std::optional<std::string> combinedArchive(int currentFd, const std::string& archivePath) {
    UniqueFd archive(openRegularFile(archivePath, O_RDONLY));
    const off_t archiveSize = archive ? fileSize(archive.get()) : 0;
    const off_t currentSize = fileSize(currentFd);
    if (archiveSize < 0 || currentSize < 0) return std::nullopt;
    const uint64_t total = static_cast<uint64_t>(archiveSize) + static_cast<uint64_t>(currentSize);
    // The cut searches for a line feed from index total - 10,485,761 on.
    const uint64_t searchFrom = total > kArchiveLimit ? total - kArchiveLimit - 1 : 0;

    std::string content;
    if (archive && searchFrom < static_cast<uint64_t>(archiveSize)) {
        if (!readFrom(archive.get(), static_cast<off_t>(searchFrom), content)) return std::nullopt;
    }
    const uint64_t currentFrom = searchFrom > static_cast<uint64_t>(archiveSize) ? searchFrom - archiveSize : 0;
    if (!readFrom(currentFd, static_cast<off_t>(currentFrom), content)) return std::nullopt;
    if (total > kArchiveLimit) {
        const size_t lineFeed = content.find('\n');
        content.erase(0, lineFeed == std::string::npos ? content.size() : lineFeed + 1);
    }
    return content;
}

bool writeArchive(const std::string& archivePath, const std::string& content) {
    UniqueFd archive(openRegularFile(archivePath, O_WRONLY | O_CREAT | O_TRUNC, kLogMode));
    if (archive.get() < 0) return false;
    if (tessaron::writeAll(archive.get(), content.data(), content.size()) != 0) return false;
    ::fchmod(archive.get(), kLogMode);
    return true;
}

}  // namespace

std::string standardizedPath(const std::string& path) {
    std::string expanded = path;
    if (!expanded.empty() && expanded[0] == '~' && (expanded.size() == 1 || expanded[1] == '/')) {
        const char* home = std::getenv("HOME");
        if (home && *home) expanded = std::string(home) + expanded.substr(1);
    }
    const bool absolute = !expanded.empty() && expanded[0] == '/';
    std::vector<std::string> parts;
    size_t start = 0;
    while (start <= expanded.size()) {
        size_t end = expanded.find('/', start);
        if (end == std::string::npos) end = expanded.size();
        std::string part = expanded.substr(start, end - start);
        if (part == "..") {
            if (!parts.empty() && parts.back() != "..") {
                parts.pop_back();
            } else if (!absolute) {
                parts.push_back(part);
            }
        } else if (!part.empty() && part != ".") {
            parts.push_back(part);
        }
        start = end + 1;
    }
    std::string out = absolute ? "/" : "";
    for (size_t i = 0; i < parts.size(); ++i) {
        if (i > 0) out += '/';
        out += parts[i];
    }
    return out;
}

std::string archivePathFor(const std::string& path) {
    const size_t slash = path.rfind('/');
    const size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
    const size_t dot = path.rfind('.');
    if (dot == std::string::npos || dot <= nameStart || dot + 1 == path.size()) return path + "_old.log";
    return path.substr(0, dot) + "_old." + path.substr(dot + 1);
}

void rollLogFile(const std::string& path) {
    if (path.empty()) return;
    UniqueFd current(openRegularFile(path, O_RDONLY));
    if (!current || fileSize(current.get()) < kRollSize) return;

    PLUMEX_CUPSLog::debug("Rolling log file.");
    const std::string archivePath = archivePathFor(path);
    const std::optional<std::string> content = combinedArchive(current.get(), archivePath);
    if (!content || !writeArchive(archivePath, *content)) {
        // Keep the current file: truncating it now would lose everything it holds.
        PLUMEX_CUPSLog::debug("Error writing old log file to %s", archivePath.c_str());
        return;
    }
    PLUMEX_CUPSLog::debug("Rolled previous log file into %s", archivePath.c_str());
    UniqueFd truncated(openRegularFile(path, O_WRONLY | O_TRUNC));
    if (truncated) PLUMEX_CUPSLog::debug("Starting new log file at %s", path.c_str());
}

bool openLogFile(const std::string& givenPath) {
    StateLock lock;
    const std::string path = standardizedPath(givenPath);
    rollLogFile(path);
    if (lock.state().logFile || path.empty()) return false;
    UniqueFd fd(openRegularFile(path, O_WRONLY | O_APPEND | O_CREAT, kLogMode));
    if (!fd) {
        const int error = errno;
        PLUMEX_CUPSLog::debug("Failed to open log file at %s; error %d \"%s\"", path.c_str(), error, std::strerror(error));
        return false;
    }
    ::fchmod(fd.get(), kLogMode);
    FILE* file = ::fdopen(fd.get(), "a");
    if (!file) return false;
    fd.release();

    LogState& state = lock.state();
    if (state.preFileBuffer && !state.preFileBuffer->empty()) {
        std::fwrite(state.preFileBuffer->data(), 1, state.preFileBuffer->size(), file);
        std::fflush(file);
    }
    state.preFileBuffer.reset();
    std::setvbuf(file, nullptr, _IONBF, 0);
    state.logFile = file;
    return true;
}

}  // namespace tessaron::printjob

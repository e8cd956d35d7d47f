#include "DebugImages.h"

#include <cerrno>
#include <cstring>
#include <memory>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "FileIO.h"
#include "UniqueFd.h"

namespace tessaron {

namespace {

UniqueFd openFolder(const std::string& folder) {
    return UniqueFd(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
}

bool isRegularEntry(int dirFd, const char* name) {
    struct stat st {};
    return ::fstatat(dirFd, name, &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(st.st_mode);
}

std::string errnoText(int e) { return std::strerror(e); }

bool copyBytes(int from, int to) {
    char buffer[64 * 1024];
    for (;;) {
        ssize_t n = ::read(from, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return false;
        if (n == 0) return true;
        if (const int e = writeAll(to, buffer, static_cast<size_t>(n)); e != 0) {
            errno = e;
            return false;
        }
    }
}

}  // namespace

std::string debugImageName(int64_t page, const std::string& extension) {
    return kDebugImagePrefix + std::to_string(page) + "." + extension;
}

int removeDebugImages(const std::string& folder) {
    UniqueFd folderFd = openFolder(folder);
    if (!folderFd) return 0;
    const int dirFd = folderFd.get();
    DIR* dir = ::fdopendir(dirFd);
    if (!dir) return 0;
    folderFd.release();  // closedir closes it
    const size_t prefixLength = std::strlen(kDebugImagePrefix);
    int removed = 0;
    while (const dirent* entry = ::readdir(dir)) {
        if (std::strncmp(entry->d_name, kDebugImagePrefix, prefixLength) != 0) continue;
        if (!isRegularEntry(dirFd, entry->d_name)) continue;
        if (::unlinkat(dirFd, entry->d_name, 0) == 0) ++removed;
    }
    ::closedir(dir);
    return removed;
}

std::optional<std::string> copyDebugImage(const std::string& source, const std::string& folder, const std::string& name) {
    if (name.empty() || name.find('/') != std::string::npos) return "not a file name";
    const UniqueFd dir = openFolder(folder);
    if (!dir) return errnoText(errno);
    const UniqueFd from(::open(source.c_str(), O_RDONLY | O_CLOEXEC));
    if (!from) return errnoText(errno);
    if (isRegularEntry(dir.get(), name.c_str())) ::unlinkat(dir.get(), name.c_str(), 0);
    const UniqueFd to(::openat(dir.get(), name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0664));
    if (!to) return errnoText(errno);
    if (!copyBytes(from.get(), to.get())) {
        const int e = errno;
        ::unlinkat(dir.get(), name.c_str(), 0);
        return errnoText(e);
    }
    if (::fchmod(to.get(), 0664) != 0) return errnoText(errno);
    return std::nullopt;
}

}  // namespace tessaron

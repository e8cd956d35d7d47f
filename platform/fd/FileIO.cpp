#include "FileIO.h"

#include <cerrno>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tessaron {

int writeAll(int fd, const void* bytes, std::size_t length) {
    const auto* next = static_cast<const std::uint8_t*>(bytes);
    while (length > 0) {
        const ssize_t n = ::write(fd, next, length);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return errno;
        if (n == 0) return EIO;
        next += n;
        length -= static_cast<std::size_t>(n);
    }
    return 0;
}

UniqueFd openRegularFile(const std::string& path, int flags, mode_t mode) {
    UniqueFd file(::open(path.c_str(), flags | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, mode));
    if (!file) return file;
    struct stat info {};
    if (::fstat(file.get(), &info) != 0 || !S_ISREG(info.st_mode)) {
        file.reset();
        errno = EINVAL;
        return file;
    }
    if ((flags & O_NONBLOCK) == 0) ::fcntl(file.get(), F_SETFL, ::fcntl(file.get(), F_GETFL) & ~O_NONBLOCK);
    return file;
}

std::optional<std::vector<std::uint8_t>> readWholeFile(const std::string& path, off_t limit) {
    const UniqueFd file = openRegularFile(path, O_RDONLY);
    if (!file) return std::nullopt;
    const int fd = file.get();
    struct stat st {};
    std::optional<std::vector<std::uint8_t>> bytes;
    if (::fstat(fd, &st) == 0 && st.st_size <= limit) {
        std::vector<std::uint8_t> data(static_cast<std::size_t>(st.st_size));
        std::size_t got = 0;
        while (got < data.size()) {
            const ssize_t n = ::read(fd, data.data() + got, data.size() - got);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) break;
            got += static_cast<std::size_t>(n);
        }
        if (got == data.size()) bytes = std::move(data);
    }
    return bytes;
}

}  // namespace tessaron

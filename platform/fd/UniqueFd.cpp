#include "UniqueFd.h"

#include <cerrno>

#include <unistd.h>

namespace tessaron {

UniqueFd& UniqueFd::operator=(UniqueFd&& other) noexcept {
    if (this != &other) reset(other.release());
    return *this;
}

int UniqueFd::release() noexcept {
    const int fd = fd_;
    fd_ = -1;
    return fd;
}

void UniqueFd::reset(int fd) noexcept {
    if (fd == fd_) return;  // taking over what we hold already must not close it
    const int saved = errno;
    close();
    fd_ = fd < 0 ? -1 : fd;
    errno = saved;
}

bool UniqueFd::close() noexcept {
    const int fd = release();
    // On Linux the descriptor is released even when closing is interrupted, so a retry could
    // close a descriptor another thread has just been given.
    return fd < 0 || ::close(fd) == 0;
}

}  // namespace tessaron

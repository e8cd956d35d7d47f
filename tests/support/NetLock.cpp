#include "NetLock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace tessaron::test {

NetLock::NetLock() {
    fd_ = open("/tmp/tessaron-loopback-ports.lock", O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0666);
    if (fd_ >= 0) {
        while (flock(fd_, LOCK_EX) != 0) {
        }
    }
}

NetLock::~NetLock() {
    if (fd_ >= 0) {
        flock(fd_, LOCK_UN);
        close(fd_);
    }
}

}  // namespace tessaron::test

// Serialises tests that bind the minilab's fixed ports (UDP 5002, TCP 5001) across
// processes: ctest runs, sanitizer runs and developers' runs share one loopback.
#pragma once

namespace tessaron::test {

class NetLock {
public:
    NetLock();   // blocks until the lock is held
    ~NetLock();
    NetLock(const NetLock&) = delete;
    NetLock& operator=(const NetLock&) = delete;

private:
    int fd_ = -1;
};

}  // namespace tessaron::test

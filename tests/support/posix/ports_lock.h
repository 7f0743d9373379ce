// The machine's trap ports are shared by every build tree's tests: a test that
// binds them holds the lock file the end-to-end tests take with flock(1).
#pragma once

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

class PortsLock {
public:
    PortsLock() : fd_(open("/tmp/tarnow-e2e-ports.lock", O_RDWR | O_CREAT | O_CLOEXEC, 0666))
    {
        if (fd_ >= 0) flock(fd_, LOCK_EX);
    }
    ~PortsLock()
    {
        if (fd_ >= 0) close(fd_);
    }
    PortsLock(const PortsLock&) = delete;
    PortsLock& operator=(const PortsLock&) = delete;

private:
    int fd_;
};

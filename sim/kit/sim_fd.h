// A real descriptor of the simulator's own (the root, the board's files, a
// directory on the way to a file), closed when its owner goes.
#ifndef QUORBIX_SIM_KIT_SIM_FD_H
#define QUORBIX_SIM_KIT_SIM_FD_H

#include <unistd.h>
#include <utility>

struct SimFd {
    int fd = -1;
    SimFd() = default;
    explicit SimFd(int f) : fd(f) {}
    SimFd(SimFd &&o) noexcept : fd(o.release()) {}
    SimFd &operator=(SimFd &&o) noexcept
    {
        if (this != &o)
            reset(o.release());
        return *this;
    }
    SimFd(const SimFd &) = delete;
    SimFd &operator=(const SimFd &) = delete;
    ~SimFd() { reset(); }
    // Closes the descriptor held and holds `f`.
    void reset(int f = -1)
    {
        if (fd >= 0)
            ::close(fd);
        fd = f;
    }
    int release() { return std::exchange(fd, -1); }
};

#endif

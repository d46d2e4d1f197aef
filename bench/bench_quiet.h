// Standard output sent to /dev/null while a BenchQuiet lives: the layers a
// benchmark times print console lines that would drown its table.
#ifndef QUORBIX_BENCH_BENCH_QUIET_H
#define QUORBIX_BENCH_BENCH_QUIET_H

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>

struct BenchQuiet {
    int saved = -1;
    BenchQuiet()
    {
        std::fflush(stdout);
        saved = ::dup(1);
        const int null = ::open("/dev/null", O_WRONLY);
        if (null >= 0 && ::dup2(null, 1) < 0) {
            ::close(saved);
            saved = -1;
        }
        if (null >= 0)
            ::close(null);
    }
    ~BenchQuiet()
    {
        std::fflush(stdout);
        if (saved >= 0 && ::dup2(saved, 1) >= 0)
            ::close(saved);
    }
    BenchQuiet(const BenchQuiet &) = delete;
    BenchQuiet &operator=(const BenchQuiet &) = delete;
};

#endif

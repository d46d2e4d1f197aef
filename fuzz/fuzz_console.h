// The product's console lines are of no use to a fuzz run and would fill the
// disk over a long budget: targets that reach printing code send standard
// output to /dev/null once, before the first input.
#ifndef QUORBIX_FUZZ_FUZZ_CONSOLE_H
#define QUORBIX_FUZZ_FUZZ_CONSOLE_H

#include <cstdio>
#include <cstdlib>

inline void fuzz_console_off()
{
    if (std::freopen("/dev/null", "w", stdout) == nullptr)
        std::abort();
}

#endif

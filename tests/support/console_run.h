// Runs a handler or dispatcher and keeps what it printed and returned.
#ifndef QUORBIX_TESTS_SUPPORT_CONSOLE_RUN_H
#define QUORBIX_TESTS_SUPPORT_CONSOLE_RUN_H

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "sim/sim_host.h"
#include "tool/quorbix.h"

struct ConsoleRun {
    int status;
    std::string out;
};

template <typename F> ConsoleRun console_run(F fn)
{
    testing::internal::CaptureStdout();
    int status = fn();
    std::fflush(stdout);
    return {status, testing::internal::GetCapturedStdout()};
}

// `quorbix -m path`, as the command line runs it; the process's status.
inline int quorbix_mfc(const std::string &path)
{
    std::string prog = "quorbix", opt = "-m", arg = path;
    char *argv[] = {prog.data(), opt.data(), arg.data(), nullptr};
    return quorbix_run(3, argv);
}

// How often `what` stands in `text`, overlaps counted.
inline size_t count_of(const std::string &text, const std::string &what)
{
    size_t n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
        n++;
    return n;
}

inline bool contains(const std::string &text, const std::string &what) { return text.find(what) != std::string::npos; }

// Requests of that number in the journal.
inline size_t requests_seen(unsigned long request) { return sim_journal_of(SimEvent::request, {}, request).size(); }

#endif

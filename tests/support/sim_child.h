// The quorbix-sim binary in a child process the test signals: its stdout
// (with its stderr, when asked) on a pipe the test reads or closes, its
// stderr otherwise in a file. The child gets a time limit (SIGALRM, which
// outlives exec), so a run that would hang ends its case, not the tests.
#ifndef QUORBIX_TESTS_SUPPORT_SIM_CHILD_H
#define QUORBIX_TESTS_SUPPORT_SIM_CHILD_H

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <fstream>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include "support/sim_binary.h"

struct SimChild {
    pid_t pid = -1;
    int out = -1;         // read end of the child's stdout
    std::string errPath;  // the child's stderr, unless merged into out
    int status = -1;      // wait status, once waited for

    // Starts QUORBIX_SIM_BIN with `args` after its name, with the default
    // action for SIGPIPE and the stop signals (but `ignored`, when given, as
    // nohup leaves SIGHUP) and none blocked, whatever the test process has.
    explicit SimChild(const std::vector<std::string> &args, bool mergeErr = false, int ignored = 0,
                      unsigned seconds = kSimLimitSeconds)
    {
        char tmpl[] = "/tmp/quorbix-err-XXXXXX";
        const int err = mergeErr ? -1 : ::mkstemp(tmpl);
        if (err >= 0)
            errPath = tmpl;
        int pipefd[2];
        if ((!mergeErr && err < 0) || ::pipe2(pipefd, O_CLOEXEC) != 0)
            return;
        std::vector<std::string> all{QUORBIX_SIM_BIN};
        all.insert(all.end(), args.begin(), args.end());
        std::vector<char *> argv;
        for (std::string &a : all)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        pid = ::fork();
        if (pid == 0) {
            for (int sig : {SIGPIPE, SIGINT, SIGTERM, SIGHUP, SIGALRM})
                std::signal(sig, sig == ignored ? SIG_IGN : SIG_DFL);
            sigset_t none;
            sigemptyset(&none);
            ::sigprocmask(SIG_SETMASK, &none, nullptr);
            if (::dup2(pipefd[1], 1) < 0 || ::dup2(mergeErr ? pipefd[1] : err, 2) < 0)
                ::_exit(127);
            ::alarm(seconds);
            ::execv(argv[0], argv.data());
            ::_exit(127);
        }
        ::close(pipefd[1]);
        out = pipefd[0];
        if (err >= 0)
            ::close(err);
    }

    // At least `bytes` of its stdout, fewer only at its end.
    std::string read(size_t bytes)
    {
        std::string got;
        char buf[4096];
        while (got.size() < bytes) {
            const ssize_t n = ::read(out, buf, std::min(sizeof buf, bytes - got.size()));
            if (n <= 0)
                break;
            got.append(buf, static_cast<size_t>(n));
        }
        return got;
    }

    // Its stdout up to its end.
    std::string rest() { return read(static_cast<size_t>(-1)); }

    // The test reads no more: the child's next write meets a closed pipe.
    void close_out()
    {
        if (out >= 0)
            ::close(out);
        out = -1;
    }

    // Waits for it (within its time limit): its wait status.
    int wait()
    {
        if (pid > 0 && ::waitpid(pid, &status, 0) == pid)
            pid = -1;
        return status;
    }

    std::string err() const
    {
        std::stringstream ss;
        ss << std::ifstream(errPath).rdbuf();
        return ss.str();
    }

    ~SimChild()
    {
        if (pid > 0) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, nullptr, 0);
        }
        close_out();
        if (!errPath.empty())
            std::remove(errPath.c_str());
    }

    SimChild(const SimChild &) = delete;
    SimChild &operator=(const SimChild &) = delete;
};

// "exit N", "signal NAME" or "signal N": how a wait status ended.
inline std::string sim_ended(int ws)
{
    if (WIFEXITED(ws))
        return "exit " + std::to_string(WEXITSTATUS(ws));
    if (!WIFSIGNALED(ws))
        return "not ended";
    const int sig = WTERMSIG(ws);
    const char *name = sig == SIGINT ? "SIGINT" : sig == SIGTERM ? "SIGTERM" : sig == SIGHUP ? "SIGHUP"
                     : sig == SIGPIPE ? "SIGPIPE" : sig == SIGALRM ? "SIGALRM (time limit)" : nullptr;
    return "signal " + (name ? std::string(name) : std::to_string(sig));
}

#endif

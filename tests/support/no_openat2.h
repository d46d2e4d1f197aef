// A process without openat2: a seccomp filter answers the call with an
// errno, as a kernel before 5.6 or a memory checker that does not know the
// call does (ENOSYS), or a sandbox that forbids it (EPERM). The filter holds
// for every program the process starts, quorbix-sim among them.
#ifndef QUORBIX_TESTS_SUPPORT_NO_OPENAT2_H
#define QUORBIX_TESTS_SUPPORT_NO_OPENAT2_H

#include <gtest/gtest.h>

#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <iterator>
#include <linux/filter.h>
#include <linux/openat2.h>
#include <linux/seccomp.h>
#include <sstream>
#include <string>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

// Status of a child that could not filter its own calls.
inline constexpr int kNoSeccompStatus = 77;

// Filters this process's openat2 so it answers `err`. Whether it could, and
// whether the call now answers so.
inline bool refuse_openat2(int err)
{
    sock_filter filter[] = {
        BPF_STMT(BPF_LD | BPF_W | BPF_ABS, static_cast<uint32_t>(offsetof(seccomp_data, nr))),
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, SYS_openat2, 0, 1),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ERRNO | (static_cast<uint32_t>(err) & SECCOMP_RET_DATA)),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW),
    };
    sock_fprog prog{static_cast<unsigned short>(std::size(filter)), filter};
    if (::prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) != 0 || ::prctl(PR_SET_SECCOMP, SECCOMP_MODE_FILTER, &prog) != 0)
        return false;
    return ::syscall(SYS_openat2, AT_FDCWD, ".", nullptr, 0) < 0 && errno == err;
}

// Whether openat2 answers in this process (a kernel of 5.6 or later, no
// filter refusing it).
inline bool openat2_answers()
{
    struct open_how how {};
    how.flags = O_PATH | O_CLOEXEC;
    const long fd = ::syscall(SYS_openat2, AT_FDCWD, ".", &how, sizeof how);
    if (fd >= 0)
        ::close(static_cast<int>(fd));
    return fd >= 0 || (errno != ENOSYS && errno != EPERM);
}

struct NoOpenat2Run {
    int status = -1;  // the exit status; kNoSeccompStatus: no filter possible
    int passed = -1;  // the tests that passed, as the program counts them
    std::string output;
};

// Runs this test program again, with only the tests `filter` names, in a
// child whose openat2 answers `err`; killed after `seconds`.
inline NoOpenat2Run rerun_without_openat2(int err, const std::string &filter, unsigned seconds)
{
    char out[] = "/tmp/quorbix-rerun-XXXXXX";
    const int fd = ::mkstemp(out);
    NoOpenat2Run r;
    if (fd < 0)
        return r;
    const pid_t pid = ::fork();
    if (pid == 0) {
        if (!refuse_openat2(err))
            ::_exit(kNoSeccompStatus);
        ::dup2(fd, STDOUT_FILENO);
        ::dup2(fd, STDERR_FILENO);
        ::alarm(seconds);  // kept across exec
        const std::string only = "--gtest_filter=" + filter;
        ::execl("/proc/self/exe", "rerun", only.c_str(), "--gtest_brief=0", "--gtest_repeat=1", nullptr);
        ::_exit(127);
    }
    ::close(fd);
    int ws = 0;
    if (pid > 0 && ::waitpid(pid, &ws, 0) == pid)
        r.status = WIFEXITED(ws) ? WEXITSTATUS(ws) : -1;
    std::stringstream ss;
    ss << std::ifstream(out).rdbuf();
    r.output = ss.str();
    std::remove(out);
    const std::string::size_type at = r.output.rfind("[  PASSED  ] ");
    if (at != std::string::npos)
        r.passed = std::atoi(r.output.c_str() + at + 13);
    return r;
}

// The number of tests in the suite `name` of this program, whatever the
// filter of this run.
inline int suite_test_count(const std::string &name)
{
    const ::testing::UnitTest &all = *::testing::UnitTest::GetInstance();
    for (int i = 0; i < all.total_test_suite_count(); i++)
        if (all.GetTestSuite(i)->name() == name)
            return all.GetTestSuite(i)->total_test_count();
    return 0;
}

#endif

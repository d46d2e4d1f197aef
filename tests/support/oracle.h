// The outside programs and locales the oracle tests compare with. A missing
// one fails the test with one line naming the package that provides it
// (scripts/setup installs them all); only conditions no package provides
// (root, a readable /dev/mem, the host's own tables) skip, with a reason.
#ifndef QUORBIX_TESTS_SUPPORT_ORACLE_H
#define QUORBIX_TESTS_SUPPORT_ORACLE_H

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <unistd.h>

// Whether `tool` is a command the shell finds.
inline bool oracle_have(const std::string &tool)
{
    return std::system(("command -v " + tool + " >/dev/null 2>&1").c_str()) == 0;
}

// "TOOL not found: install PACKAGE", the line a missing oracle fails with.
inline std::string oracle_missing(const std::string &what, const std::string &package)
{
    return what + " not found: install " + package;
}

// Fails (and returns from) the current test or SetUp when `tool` is missing.
#define QUORBIX_NEED_TOOL(tool, package)                                      \
    do {                                                                      \
        if (!oracle_have(tool))                                               \
            GTEST_FAIL() << oracle_missing(tool, package);                    \
    } while (0)

// The same for a file a package installs.
#define QUORBIX_NEED_FILE(path, package)                                      \
    do {                                                                      \
        if (::access(path, R_OK) != 0)                                        \
            GTEST_FAIL() << oracle_missing(path, package);                    \
    } while (0)

// Runs a real-host test in a temporary directory of its own, so that files
// the tool writes relative to the current directory (its logs) land there
// and go with it.
class InTempDir {
public:
    InTempDir()
    {
        char tmpl[] = "/tmp/quorbix-cwd-XXXXXX";
        if (::mkdtemp(tmpl) == nullptr)
            return;
        dir_ = tmpl;
        was_ = std::filesystem::current_path();
        std::filesystem::current_path(dir_);
    }
    ~InTempDir()
    {
        if (dir_.empty())
            return;
        std::error_code ec;
        std::filesystem::current_path(was_, ec);
        std::filesystem::remove_all(dir_, ec);
    }
    InTempDir(const InTempDir &) = delete;
    InTempDir &operator=(const InTempDir &) = delete;

private:
    std::string dir_;
    std::filesystem::path was_;
};

#endif

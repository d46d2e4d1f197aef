// Runs the quorbix-sim binary and captures what it prints.
#ifndef QUORBIX_TESTS_SUPPORT_SIM_BINARY_H
#define QUORBIX_TESTS_SUPPORT_SIM_BINARY_H

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

struct SimRun {
    int status = -1;
    std::string out;
    std::string err;
};

// A run of the binary that could wait forever on the old code gets this long.
inline constexpr unsigned kSimLimitSeconds = 20;

// `args` is the shell text after the program name. With `seconds`, the run
// is killed after that long (status 124), so a run that would hang fails
// its case instead of the test program.
inline SimRun run_sim_binary(const std::string &args, unsigned seconds = 0)
{
    char tmpl[] = "/tmp/quorbix-err-XXXXXX";
    int fd = mkstemp(tmpl);
    SimRun r;
    if (fd < 0)
        return r;
    ::close(fd);
    const std::string limit = seconds ? "timeout " + std::to_string(seconds) + " " : "";
    std::string cmd = limit + QUORBIX_SIM_BIN + " " + args + " 2>" + tmpl;
    if (FILE *p = popen(cmd.c_str(), "r")) {
        char buf[512];
        for (size_t n; (n = std::fread(buf, 1, sizeof buf, p)) > 0;)
            r.out.append(buf, n);
        int ws = pclose(p);
        r.status = WIFEXITED(ws) ? WEXITSTATUS(ws) : -1;
    }
    std::stringstream ss;
    ss << std::ifstream(tmpl).rdbuf();
    r.err = ss.str();
    std::remove(tmpl);
    return r;
}

// A temporary directory removed at the end of the scope.
struct TempDir {
    std::string path;
    TempDir()
    {
        char tmpl[] = "/tmp/quorbix-dir-XXXXXX";
        path = mkdtemp(tmpl) ? tmpl : "";
    }
    ~TempDir() { std::filesystem::remove_all(path); }
    std::string write(const std::string &name, const std::string &text) const
    {
        std::ofstream(path + "/" + name) << text;
        return path + "/" + name;
    }
};

#endif

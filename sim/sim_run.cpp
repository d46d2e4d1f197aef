#include "sim/sim_run.h"

#include <cstdio>
#include <cstring>
#include <string>
#include <unistd.h>
#include <vector>

#include "sim/fixture_file.h"
#include "sim/sim_board.h"
#include "sim/sim_sched.h"
#include "tool/quorbix.h"

namespace {

constexpr const char *kSimUsage =
    "usage: quorbix-sim [--board MODEL] [--root DIR] [--reset] [--fixture FILE] -- OPTIONS...\n";

struct SimArgs {
    SimBoardStart start;
    std::vector<std::string> fixtures;
    int tool = 0;  // argv position of "--"
};

int sim_fail(const std::string &message)
{
    std::fprintf(stderr, "quorbix-sim: %s\n", message.c_str());
    return 1;
}

// The simulator's own options, up to "--".
bool parse_args(int argc, char **argv, SimArgs &a)
{
    a.start.root = "/tmp/quorbix-sim-" + std::to_string(getuid());
    for (int i = 1; i < argc; i++) {
        const char *arg = argv[i];
        const char *value = i + 1 < argc ? argv[i + 1] : nullptr;
        if (std::strcmp(arg, "--") == 0) {
            a.tool = i;
            return true;
        }
        if (std::strcmp(arg, "--reset") == 0)
            a.start.reset = true;
        else if (value && std::strcmp(arg, "--board") == 0)
            a.start.board = argv[++i];
        else if (value && std::strcmp(arg, "--root") == 0)
            a.start.root = argv[++i];
        else if (value && std::strcmp(arg, "--fixture") == 0)
            a.fixtures.push_back(argv[++i]);
        else
            return false;
    }
    return false;
}

} // namespace

constexpr uint64_t kSimClockTickNs = 100;

int quorbix_sim_run(int argc, char **argv)
{
    SimArgs a;
    if (!parse_args(argc, argv, a) || a.start.root.empty()) {
        std::fputs(kSimUsage, stderr);
        return 1;
    }
    std::string error;
    if (sim_board_open(a.start, error))
        return sim_fail(error);
    // Every clock read moves the clock a little, so busy waits on it end.
    sched_set_tick_ns(kSimClockTickNs);
    for (const std::string &file : a.fixtures)
        if (!sim_fixture_load(file, error)) {
            sim_board_close();
            return sim_fail(error);
        }
    // The tool sees the program name followed by the options after "--".
    std::vector<char *> args{argv[0]};
    args.insert(args.end(), argv + a.tool + 1, argv + argc);
    args.push_back(nullptr);
    int status = quorbix_run(static_cast<int>(args.size() - 1), args.data());
    std::fflush(stdout);
    sched_end_run();  // threads the run left behind end at their waits
    if (sim_board_close())
        return 1;
    return status;
}

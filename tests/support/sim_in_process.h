// quorbix-sim run inside the test process, and what a run leaves in a root.
#ifndef QUORBIX_TESTS_SUPPORT_SIM_IN_PROCESS_H
#define QUORBIX_TESTS_SUPPORT_SIM_IN_PROCESS_H

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "sim/sim_run.h"
#include "support/sim_binary.h"

// quorbix-sim in-process with `args` after the program name; its status and
// what it printed on stdout and stderr.
inline SimRun sim_run_in_process(std::vector<std::string> args)
{
    args.insert(args.begin(), "quorbix-sim");
    std::vector<char *> argv;
    for (std::string &a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    SimRun r;
    r.status = quorbix_sim_run(static_cast<int>(args.size()), argv.data());
    r.out = testing::internal::GetCapturedStdout();
    r.err = testing::internal::GetCapturedStderr();
    return r;
}

// Everything under `dir`: relative path -> kind and bytes (a link's
// target). The lock and its directory's own entry are left out (every run
// makes them), and so is all below an entry named in `skip`.
inline std::map<std::string, std::string> sim_tree_image(const std::string &dir, const std::set<std::string> &skip = {})
{
    namespace fs = std::filesystem;
    std::map<std::string, std::string> out;
    for (auto it = fs::recursive_directory_iterator(dir); it != fs::recursive_directory_iterator(); ++it) {
        const std::string rel = it->path().lexically_relative(dir).string();
        if (skip.contains(rel)) {
            it.disable_recursion_pending();
            continue;
        }
        if (rel == ".sim" || rel == ".sim/lock")
            continue;
        if (it->is_symlink())
            out[rel] = "link " + fs::read_symlink(it->path()).string();
        else if (it->is_regular_file()) {
            std::stringstream ss;
            ss << std::ifstream(it->path(), std::ios::binary).rdbuf();
            out[rel] = "file " + ss.str();
        } else
            out[rel] = "dir";
    }
    return out;
}

#endif

// The device list with full names (built, printed and freed by the PCI
// library on the simulated board) against "lspci -mm", both over one copy of
// this machine's /proc/bus/pci and the same ID file. Each iteration runs
// both, so one run gives both times and their ratio (list over lspci; below
// 1: the list is faster). Skipped with a message when /proc/bus/pci cannot
// be read, or when the ID file or lspci is missing.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "bases/pci/tvk_dev.h"
#include "bases/pci/tvk_name.h"
#include "bench/bench_quiet.h"
#include "sim/pci_bus.h"
#include "sim/sim_board.h"
#include "sim/sim_host.h"
#include "tests/bases/pci/pci_boards.h"

namespace {

namespace fs = std::filesystem;

constexpr const char *kPackagedIds = "/usr/share/misc/pci.ids";

// A fresh board whose PCI bus is the copied tree: the simulated functions
// and the modelled devices file are gone, so the files under the root stand.
struct Board {
    std::string root;
    std::string lspci;  // the command, reading the same copy
    std::string why;    // set: the benchmark is skipped with it
    bool open = false;
    Board()
    {
        char tmpl[] = "/tmp/quorbix-bench-XXXXXX";
        if (mkdtemp(tmpl) == nullptr) {
            why = "cannot make a directory under /tmp";
            return;
        }
        root = tmpl;
        open = sim_board_open(root, "ZK17DORN") == 0;
        if (!open) {
            why = "cannot open a simulated board under " + root;
            return;
        }
        sim_journal_enable(false);
        pci_bus_reset();
        sim_remove_node(std::string(TVK_PROC_PCI_DIR) + "/devices");
        if (!copy_proc_pci(root, why))
            return;
        const std::string ids = read_file(kPackagedIds);
        if (ids.empty())
            why = std::string("no ID file ") + kPackagedIds;
        fs::create_directories(fs::path(root + TVK_PCI_IDS_PATH).parent_path());
        if (why.empty() && !(std::ofstream(root + TVK_PCI_IDS_PATH, std::ios::binary) << ids))
            why = "cannot write the ID file under " + root;
        lspci = "lspci -A linux-proc -O proc.path=" + root + TVK_PROC_PCI_DIR + " -i " + kPackagedIds +
                " -mm 2>/dev/null";
        const std::string listed = why.empty() ? run_shell(lspci) : "";
        if (why.empty() && listed.empty())
            why = "lspci is missing or prints nothing for the copy";
        // Both must list the same functions, or the times compare nothing.
        tvk_dev_list head{};
        if (why.empty() && (tvk_build_dev_list(&head) != 0 ||
                            head.count != static_cast<uint32_t>(std::count(listed.begin(), listed.end(), '\n'))))
            why = "the device list and lspci disagree on the copy";
        tvk_destroy_dev_list(&head);
    }
    ~Board()
    {
        if (open)
            sim_board_close();
        std::error_code ec;
        if (!root.empty())
            fs::remove_all(root, ec);
    }
};

Board &board()
{
    static Board b;
    return b;
}

void BM_ListAgainstLspci(benchmark::State &state)
{
    const Board &b = board();
    if (!b.why.empty()) {
        state.SkipWithError(("skipped: " + b.why).c_str());
        return;
    }
    using Clock = std::chrono::steady_clock;
    Clock::duration ours{}, theirs{};
    bool ok = true;
    {
        BenchQuiet quiet;
        for (auto _ : state) {
            const auto t0 = Clock::now();
            tvk_dev_list head{};
            ok &= tvk_build_dev_list(&head) == 0;
            tvk_show_dev_list(&head);
            tvk_destroy_dev_list(&head);
            const auto t1 = Clock::now();
            ok &= !run_shell(b.lspci).empty();
            const auto t2 = Clock::now();
            ours += t1 - t0;
            theirs += t2 - t1;
        }
    }
    if (!ok) {
        state.SkipWithError("the device list or lspci failed");
        return;
    }
    const double n = static_cast<double>(state.iterations());
    const double list = std::chrono::duration<double, std::milli>(ours).count() / n;
    const double lspci = std::chrono::duration<double, std::milli>(theirs).count() / n;
    state.counters["list_ms"] = list;
    state.counters["lspci_ms"] = lspci;
    state.counters["ratio"] = list / lspci;
}

BENCHMARK(BM_ListAgainstLspci)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();

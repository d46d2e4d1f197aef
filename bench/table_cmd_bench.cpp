// The table test from a command file against the same records sent straight
// through the table API, each with one "a+" open, append and close of a
// result file (what the command file does per line), on the simulated
// board with the journal off. The command file's cost per record should
// stay within 1.5x of the direct cost: parsing and formatting must not
// dominate.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "bases/host/host.h"
#include "boardlib/plov_table_intf.h"
#include "sim/sim_board.h"
#include "sim/sim_host.h"
#include "tool/trans/table_test.h"

namespace {

constexpr int kPairs = 50000;   // 100,000 lines: a write and a get per record
constexpr uint32_t kEntries = 5120;

struct Board {
    std::string root;
    Board()
    {
        char tmpl[] = "/tmp/quorbix-bench-XXXXXX";
        root = mkdtemp(tmpl);
        sim_board_open(root, "ZK17DORN");
        sim_journal_enable(false);
        std::filesystem::create_directories(root + "/home");
        std::ofstream(root + "/home/res.txt");
        std::ofstream cmd(root + "/home/cmd.txt");
        cmd << "/home/res.txt\n";
        const std::string rec = "K" + std::string(80, '1') + ";M" + std::string(80, 'f') + ";T00000000000000aa;";
        for (int i = 0; i < kPairs; i++)
            cmd << "w\tx\tW\t4\t" << i % kEntries << "\t" << rec << "\ng\tx\tG\n";
    }
    ~Board()
    {
        sim_board_close();
        std::filesystem::remove_all(root);
    }
};

Board &board()
{
    static Board b;
    return b;
}

void truncate_result() { std::ofstream(board().root + "/home/res.txt", std::ios::trunc); }

void BM_CommandFile(benchmark::State &state)
{
    board();
    for (auto _ : state) {
        truncate_result();
        if (parse_config_file("/home/cmd.txt") != 0)
            state.SkipWithError("command file failed");
    }
    state.counters["time_per_record"] =
        benchmark::Counter(2.0 * kPairs, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

void append(const char *line)
{
    FILE *f = host().fopen("/home/res.txt", "a+");
    std::fputs(line, f);
    std::fclose(f);
}

void BM_TableApi(benchmark::State &state)
{
    board();
    uint64_t key[5], mask[5], act[1] = {0xAA};
    std::fill(std::begin(key), std::end(key), 0x1111111111111111ull);
    std::fill(std::begin(mask), std::end(mask), ~0ull);
    for (auto _ : state) {
        truncate_result();
        for (int i = 0; i < kPairs; i++) {
            uint64_t k[5], m[5], a[1];
            PlovAddRecordByIndex(4, static_cast<uint32_t>(i) % kEntries, key, mask, act);
            append("w\tSUCCESS\n");
            PlovGetRecordByIndex(4, static_cast<uint32_t>(i) % kEntries, k, m, a);
            append("g\tSUCCESS\tK\n");
            benchmark::DoNotOptimize(a);
        }
    }
    state.counters["time_per_record"] =
        benchmark::Counter(2.0 * kPairs, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

BENCHMARK(BM_CommandFile)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_TableApi)->Unit(benchmark::kMillisecond)->Iterations(3);

} // namespace

BENCHMARK_MAIN();

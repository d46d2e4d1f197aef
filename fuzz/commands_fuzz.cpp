// Random parameter text into every row of the real command table, on a fresh
// simulated DORN or KESP board per input: the rows of "read" and "mfc" (the
// command line's blocks) and of the verb blocks "write", "dump", "Set",
// "test", "load" and "clear", each row of a sub-block reached through the
// verb's row, as the command path "verb-row/sub-row/TEXT" goes to the top
// block's dispatcher. An input must not crash, must end within a virtual-time
// budget (the simulated clock stops the run when it passes it; a command that
// runs until interrupted gets a SIGINT there first), and must leave no
// descriptor, stream or directory open.
//
// Input: byte 0 picks the board (bit 0: KESP), bytes 1-2 (little-endian) the
// row, modulo the number of rows; the rest, up to a zero byte, is the
// parameter text. `fuzz_commands --rows` lists the rows with their numbers.
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "asmf/adapter/asmf_res.h"
#include "asmf/interface/asmf_interface.h"
#include "asmf/memory/asmf_mem.h"
#include "bases/globals/globals.h"
#include "fuzz/fuzz_console.h"
#include "hwmanage/hpi/plugins/hardware/ipmi_command.h"
#include "sim/sim_board.h"
#include "sim/sim_host.h"
#include "sim/sim_sched.h"
#include "tool/ddr/ddr_cmd.h"
#include "tool/quorbix.h"
#include "tool/trans/table_test.h"
#include "tests/support/dispatchers.h"
#include "tool/trans_op.h"

namespace {

// What one command may spend in virtual time. The longest legitimate waits
// (self tests, DSP loads, flash programming) stay well under it.
constexpr uint64_t kBudgetNs = 3600ULL * 1000000000ULL;
// Every clock read moves the clock a little, as in a quorbix-sim run, so
// the busy waits on the clock end.
constexpr uint64_t kTickNs = 100;
// After the command, what the threads it started may spend to finish.
constexpr int64_t kSettleNs = 600LL * 1000000000LL;

// A row as a command path reaches it: the top block's dispatcher and the
// words in front of the parameter text ("port/k" of "mfc").
struct Row {
    const DispatcherBlock *top;
    std::string path;
};

// Rows whose every run is a bulk walk, minutes on the fuzz build whatever
// the text: the table speed test (its text ignored: half a million table
// operations) and the card DDR health test (any text but a mode number is
// mode 0: both walks over the whole 64 MiB). Their suite tests cover them.
constexpr TransOpHandler kBulkRows[] = {test_table_func, test_ddr_health};

bool left_out(TransOpHandler handler)
{
    for (TransOpHandler h : kBulkRows)
        if (h == handler)
            return true;
    return false;
}

void add_rows(std::vector<Row> &rows, const DispatcherBlock &top, const TransOpBlock &block, const std::string &prefix)
{
    for (const TransOpEntry &e : block.rows) {
        if (e.target == nullptr)
            break;
        if (e.handler == nullptr || left_out(e.handler))
            continue;
        std::string path = prefix + e.target;
        bool seen = false;   // a second row of the same word is never reached
        for (const Row &r : rows)
            seen = seen || (r.top == &top && r.path == path);
        if (seen)
            continue;
        rows.push_back({&top, path});
        if (const TransOpBlock *sub = dispatched_block(e.handler))
            add_rows(rows, top, *sub, path + "/");
    }
}

const std::vector<Row> &all_rows()
{
    static const std::vector<Row> rows = [] {
        std::vector<Row> out;
        for (size_t i = 0; i < kTopDispatchers; i++)
            add_rows(out, kDispatcherBlocks[i], g_TransOpTab[kDispatcherBlocks[i].block], "");
        return out;
    }();
    return rows;
}

// ---- one input: a new process on a new board ------------------------------------------------------

std::string g_root;
std::string g_fresh[2];   // a fresh DORN and KESP board, saved once, copied for each input
std::string g_command;   // the input's board and command, for the failure line
bool g_inCommand = false;

[[noreturn]] void fail(const char *what)
{
    std::fprintf(stderr, "fuzz_commands: %s: %s\n", g_command.c_str(), what);
    std::abort();
}

const char *model(bool kesp) { return kesp ? "ZK17KESP" : "ZK17DORN"; }

void fresh_board(bool kesp)
{
    globals_reset_all();
    std::error_code ec;
    std::filesystem::remove_all(g_root, ec);
    std::filesystem::copy(g_fresh[kesp], g_root, std::filesystem::copy_options::recursive, ec);
    if (ec || sim_board_open(g_root, model(kesp)) != 0)
        fail("the board does not open");
    sim_journal_enable(false);   // nothing reads it; the bulk table tests would fill it
    sched_set_tick_ns(kTickNs);
    (void)GetBoardName();   // as the process does before its first command
}

// The process's SIGINT handler when the command started.
struct sigaction g_startInt {};
bool g_interrupted = false;

// A command past its budget. One that put its own SIGINT handler in place
// runs until interrupted by design (a sender without end): it gets the
// user's Ctrl-C and a second budget to end on. Any other has hung.
void over_budget()
{
    if (!g_inCommand)
        return;
    struct sigaction now {};
    sigaction(SIGINT, nullptr, &now);
    if (!g_interrupted && now.sa_handler != g_startInt.sa_handler) {
        g_interrupted = true;
        raise(SIGINT);
        sched_at(sim_clock_ns() + kBudgetNs, over_budget);
        return;
    }
    fail("the command passed its virtual-time budget");
}

void run(const Row &row, const std::string &text)
{
    sigaction(SIGINT, nullptr, &g_startInt);
    g_interrupted = false;
    g_inCommand = true;
    sched_at(sim_clock_ns() + kBudgetNs, over_budget);
    std::string command = row.path + "/" + text;
    (void)row.top->handler(command.c_str());
    g_inCommand = false;
    std::fflush(stdout);
}

// What stays up by design until the process ends, ended as the end of the
// process would: the IPMI device, and the accelerator framework (its worker
// threads) with the card library's driver nodes.
void end_of_process()
{
    if (g_iIpmiFd != -1)
        close_ipmi(&g_iIpmiFd);
    oxcompFinalize();
    asmf_exit_mem();
    asmf_res_exit();
}

// Threads the command left running get their time to end; a command whose
// threads ended leaves nothing open. Threads that run on (a health poll) are
// ended with the run.
void settle()
{
    end_of_process();
    bool ended = sched_block([] { return sched_live_threads() <= 1; }, kSettleNs);
    if (ended && sim_open_count() != 0)
        fail("descriptors left open");
    sched_end_run();
    if (sim_board_close() != 0)
        fail("the board could not be saved");
}

void list_rows()
{
    const std::vector<Row> &rows = all_rows();
    for (size_t i = 0; i < rows.size(); i++)
        std::printf("%zu %s %s\n", i, g_TransOpTab[rows[i].top->block].name, rows[i].path.c_str());
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    for (int i = 1; i < *argc; i++)
        if (std::strcmp((*argv)[i], "--rows") == 0) {
            list_rows();
            std::exit(0);
        }
    char dir[] = "/tmp/fuzz-commands-XXXXXX";
    if (mkdtemp(dir) == nullptr)
        std::abort();
    g_root = std::string(dir) + "/run";
    for (bool kesp : {false, true}) {
        g_fresh[kesp] = std::string(dir) + "/" + model(kesp);
        if (sim_board_open(g_fresh[kesp], model(kesp)) != 0 || sim_board_close() != 0)
            std::abort();
        std::filesystem::remove(g_fresh[kesp] + kSimBoardLockPath);
    }
    static const std::string top = dir;
    std::atexit([] {
        sim_board_close();
        std::error_code ec;
        std::filesystem::remove_all(top, ec);
    });
    fuzz_console_off();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 3)
        return 0;
    const std::vector<Row> &rows = all_rows();
    const Row &row = rows[(data[1] | data[2] << 8) % rows.size()];
    const bool kesp = (data[0] & 1) != 0;
    const char *text = reinterpret_cast<const char *>(data + 3);
    const std::string params(text, strnlen(text, size - 3));
    g_command = std::string(kesp ? "ZK17KESP " : "ZK17DORN ") + g_TransOpTab[row.top->block].name + " " + row.path +
                "/" + params;
    fresh_board(kesp);
    run(row, params);
    settle();
    return 0;
}

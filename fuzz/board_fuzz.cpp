// A saved board from outside: the input is the root's .sim/board, loaded as
// a run loads it, then a few commands that reach every device model run on
// it (through the tool's entry for -m and -r, through their handlers for
// the verbs), and the board is saved. Whatever the bytes, loading refuses
// with the reset hint or succeeds, and nothing crashes, aborts or throws.
//
// Each input starts from a fresh root of the model its text names (a
// DORN one when it names none), made once per process, so the commands
// find the files a booted board has. A mutator of its own changes one
// entry's value or key to values at the edges of the models' fields.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>
#include <vector>

#include "asmf/adapter/asmf_res.h"
#include "asmf/interface/asmf_interface.h"
#include "asmf/memory/asmf_mem.h"
#include "bases/globals/globals.h"
#include "fuzz/fuzz_console.h"
#include "hwmanage/hpi/plugins/hardware/ipmi_command.h"
#include "sim/kit/sim_doc.h"
#include "sim/sim_board.h"
#include "sim/sim_host.h"
#include "sim/sim_sched.h"
#include "tool/ddr/i2c_agent.h"
#include "tool/ddr/rtc.h"
#include "tool/media/media.h"
#include "tool/quorbix.h"
#include "tool/ruga/ruga_cmd.h"
#include "tool/tavk/pci_inspect.h"

namespace {

namespace fs = std::filesystem;

constexpr std::string_view kResetHint = "(give --reset to start a fresh board)";
constexpr uint64_t kTickNs = 100;   // every clock read moves the clock, as in a quorbix-sim run
constexpr int64_t kSettleNs = 600LL * 1000000000LL;

// -m and -r commands through the tool's entry: the FPGAs and their SFP
// pages, records and tables, the flash, the PCI bus and chipset, the SAS
// controller and disks, the accelerator card and the IPMI device.
const char *const kToolArgs[] = {
    "-m", "sfp/s/1", "-m", "sfp/i/1", "-m", "sfp/t/1:0xA0:0:16", "-m", "sfp/r/0:0xa0:0:256",
    "-m", "sfp/w/1:0xA0:200:4:0x1:0x2:0x3:0x4", "-m", "sfp/h/0", "-m", "fpga/i/0", "-m", "fpga/r/0",
    "-m", "fpga/s", "-m", "fpga/b", "-m", "fpga/v/1", "-m", "port/k/0:1", "-m", "port/m/0:1:0",
    "-m", "queue/w/0:0:0", "-m", "trans/v", "-m", "sbuf/v", "-m", "disks", "-m", "disk_phy",
    "-m", "pxe", "-m", "crypto", "-m", "pcie/0/t1:f0:u0:c0", "-r", "mchbar/0",
};

// Handlers of the verb blocks for the models the entry's two options do not
// reach: the card's RTC, the I2C agent, the media sub-boards, the RUDA card
// and the processors' uncore (with the PCI functions behind test pci).
struct Verb {
    TransOpStatus (*handler)(const char *params);
    const char *params;
};
constexpr Verb kVerbs[] = {
    {rtc_read_time, ""},          {rtc_read_hw_version, ""},   {rtc_test_chip, ""},
    {I2C_AgentDumpOpt, "0xb2"},   {media_get_board_info, "0"}, {media_get_subrd_health_state, "0"},
    {media_three_step_test, "0"}, {ruda_get_flash_boot_logic_ver, ""}, {pci_test, "P"},
    {pci_dump, "e"},
};

std::string g_dir;
std::string g_root;

std::string fresh_root(std::string_view model) { return g_dir + "/fresh-" + std::string(model); }

// The model the input's text names, when it names one.
std::string_view model_of(std::string_view text)
{
    for (const SimBoardProfile &p : sim_board_profiles())
        if (text.find(std::string("\"") + p.model + "\"") != std::string_view::npos)
            return p.model;
    return kSimDefaultBoard;
}

void put_board(const uint8_t *data, size_t size)
{
    const std::string_view text(reinterpret_cast<const char *>(data), size);
    std::error_code ec;
    fs::remove_all(g_root, ec);
    fs::copy(fresh_root(model_of(text)), g_root, fs::copy_options::recursive, ec);
    std::ofstream out(g_root + kSimBoardDocPath, std::ios::binary | std::ios::trunc);
    out.write(text.data(), static_cast<std::streamsize>(text.size()));
    if (ec || !out.flush())
        std::abort();
}

void run_commands()
{
    sim_journal_enable(false);
    sched_set_tick_ns(kTickNs);
    std::vector<char *> argv{const_cast<char *>("quorbix")};
    for (const char *arg : kToolArgs)
        argv.push_back(const_cast<char *>(arg));
    argv.push_back(nullptr);
    (void)quorbix_run(static_cast<int>(argv.size() - 1), argv.data());
    for (const Verb &v : kVerbs)
        (void)v.handler(v.params);
    std::fflush(stdout);
}

// What stays up until the process ends, ended as its end would; then the
// threads the commands started get their time.
void end_of_run()
{
    if (g_iIpmiFd != -1)
        close_ipmi(&g_iIpmiFd);
    oxcompFinalize();
    asmf_exit_mem();
    asmf_res_exit();
    (void)sched_block([] { return sched_live_threads() <= 1; }, kSettleNs);
    sched_end_run();
}

// ---- mutations that keep the document's shape -------------------------------------------------

// Values at the edges of the fields the models hold.
constexpr const char *kEdges[] = {
    "0x0", "0x1", "0x2", "0x7", "0x8", "0xff", "0x100", "0xfff", "0x1000", "0xffff", "0x10000", "0xfffff",
    "0x100000", "0x7fffffff", "0x80000000", "0xffffffff", "0x100000000", "0x3fffffffffff", "0x400000000000",
    "0x7fffffffffffffff", "0x8000000000000000", "0xffffffffffffffff", "\"\"", "\"x\"",
};

struct Rng {
    unsigned state;
    unsigned next(unsigned n)
    {
        state = state * 1103515245u + 12345u;
        return n == 0 ? 0 : (state >> 8) % n;
    }
};

// The quoted value of `line` cut short or made longer, or one of its
// blank-separated words (the key's numbers included) set to an edge value.
std::string mutate_line(const std::string &line, Rng &rng)
{
    const size_t eq = line.find(" = ");
    std::string bytes;
    if (eq != std::string::npos && rng.next(2) == 0 && sim_doc_unquote(line.substr(eq + 3), bytes)) {
        if (rng.next(2) == 0)
            bytes.resize(rng.next(static_cast<unsigned>(bytes.size() + 1)));
        else
            bytes.append(rng.next(300), static_cast<char>(rng.next(256)));
        return line.substr(0, eq + 3) + sim_doc_quote(bytes);
    }
    std::vector<size_t> starts;
    for (size_t i = 0; i < line.size(); i++)
        if ((i == 0 || line[i - 1] == ' ') && line[i] != ' ' && line[i] != '=')
            starts.push_back(i);
    if (starts.empty())
        return line;
    const size_t at = starts[rng.next(static_cast<unsigned>(starts.size()))];
    const size_t end = std::min(line.find(' ', at), line.size());
    return line.substr(0, at) + kEdges[rng.next(std::size(kEdges))] + line.substr(end);
}

} // namespace

// A quarter of the mutations are the fuzzer's own; the rest change one
// entry of the document, so the loaders see well-formed boards with values
// at their bounds rather than mostly documents that do not parse.
extern "C" size_t LLVMFuzzerMutate(uint8_t *data, size_t size, size_t maxSize);
extern "C" size_t LLVMFuzzerCustomMutator(uint8_t *data, size_t size, size_t maxSize, unsigned seed)
{
    Rng rng{seed};
    if (rng.next(4) == 0 || size == 0)
        return LLVMFuzzerMutate(data, size, maxSize);
    const std::string text(reinterpret_cast<const char *>(data), size);
    std::vector<size_t> lines;
    for (size_t i = 0; i < text.size(); i = text.find('\n', i) + 1) {
        if (text.find(" = ", i) < text.find('\n', i))
            lines.push_back(i);
        if (text.find('\n', i) == std::string::npos)
            break;
    }
    if (lines.empty())
        return LLVMFuzzerMutate(data, size, maxSize);
    const size_t start = lines[rng.next(static_cast<unsigned>(lines.size()))];
    const size_t end = std::min(text.find('\n', start), text.size());
    const std::string out =
        text.substr(0, start) + mutate_line(text.substr(start, end - start), rng) + text.substr(end);
    if (out.size() > maxSize)
        return LLVMFuzzerMutate(data, size, maxSize);
    std::memcpy(data, out.data(), out.size());
    return out.size();
}

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    char dir[] = "/tmp/fuzz-board-XXXXXX";
    if (mkdtemp(dir) == nullptr)
        std::abort();
    g_dir = dir;
    g_root = g_dir + "/run";
    for (const SimBoardProfile &p : sim_board_profiles()) {
        const std::string root = fresh_root(p.model);
        if (sim_board_open(root, p.model) != 0 || sim_board_close() != 0)
            std::abort();
        fs::remove(root + kSimBoardLockPath);
    }
    std::atexit([] {
        sim_board_close();
        std::error_code ec;
        fs::remove_all(g_dir, ec);
    });
    fuzz_console_off();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    globals_reset_all();
    put_board(data, size);
    std::string error;
    if (sim_board_open(SimBoardStart{g_root, "", false}, error) != 0) {
        if (!error.ends_with(kResetHint)) {
            std::fprintf(stderr, "fuzz_board: a refusal without the reset hint: %s\n", error.c_str());
            std::abort();
        }
        return 0;
    }
    run_commands();
    end_of_run();
    if (sim_board_close() != 0)
        std::abort();
    return 0;
}

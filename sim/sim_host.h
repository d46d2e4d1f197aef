// The simulated board behind the host interface.
//
// One state, g_sim, holds everything: a root directory that stands for "/",
// device models by node path, the request journal, captured syslog lines, a
// virtual clock, scripted shell commands and the faults to inject. Tests and
// quorbix-sim select g_simHost with host_select() after sim_reset().
#ifndef QUORBIX_SIM_SIM_HOST_H
#define QUORBIX_SIM_SIM_HOST_H

#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "bases/host/host.h"

extern const HostOps g_simHost;

// ---- device models --------------------------------------------------------

// One request as the model sees it.
struct SimCall {
    const std::string &node;  // node path the descriptor was opened on
    void *ctx;                // the model's state, as registered
    unsigned long request;
    void *arg;                // the caller's memory
};

// A journal line: node, request number and the record as it was passed in.
// Models may append decoded data (for example the words an embedded pointer
// refers to) to `extra`.
struct SimJournalEntry {
    std::string node;
    unsigned long request = 0;
    std::vector<uint8_t> record;
    std::vector<uint64_t> extra;
    int result = 0;
};

// One row of a model's request table. `recordSize` bytes at arg are copied
// into the journal; a non-zero size with a null arg fails with EFAULT before
// the handler runs. The handler returns the ioctl result (>= 0) or -errno.
struct SimRequest {
    unsigned long number;
    size_t recordSize;
    int (*handle)(const SimCall &call, SimJournalEntry &entry);
};

// An open descriptor on a modelled node.
struct SimOpen {
    std::string node;
    void *ctx = nullptr;
    int flags = 0;
    off_t pos = 0;
};

struct SimModel {
    const char *name;
    const SimRequest *requests;
    size_t requestCount;
    // Optional byte-stream access; the model advances `open.pos` itself.
    ssize_t (*read)(SimOpen &open, void *buf, size_t count);
    ssize_t (*write)(SimOpen &open, const void *buf, size_t count);
    // Optional mapping of the node (for example physical memory).
    void *(*mmap)(SimOpen &open, size_t length, off_t offset);
};

// Register `model` at `node` (an absolute path such as "/dev/trans_pci").
void sim_register_node(const std::string &node, const SimModel *model, void *ctx);
void sim_remove_node(const std::string &node);
bool sim_node_present(const std::string &node);

// ---- fault injection --------------------------------------------------------

// A fault matches a node (empty: any), a request number (0: any) and, when
// given, a predicate on the caller's record. nth == 0 matches every call;
// nth == k matches only the k-th matching call after the fault was set.
struct SimFault {
    std::string node;
    unsigned long request = 0;
    int err = 0;            // fail with -1 and this errno
    int result = 0;         // or, when err is 0, return this positive value after the model ran
    unsigned nth = 0;
    std::function<bool(const void *arg)> match;
    unsigned seen = 0;      // matching calls so far
};

void sim_fail_open(const std::string &path, int err);
void sim_fail_request(const std::string &node, unsigned long request, int err, unsigned nth = 0);
void sim_request_result(const std::string &node, unsigned long request, int result, unsigned nth = 0);
void sim_add_fault(SimFault fault);
void sim_clear_faults();

// ---- shell commands ---------------------------------------------------------

struct SimShellScript {
    std::string output;                            // what popen's stream reads
    int status = 0;                                // wait status of pclose / system
    std::map<std::string, std::string> creates;    // files (under the root) written when it runs
};

void sim_script_command(const std::string &command, SimShellScript script);
const std::vector<std::string> &sim_commands_run();

// ---- clock -----------------------------------------------------------------

// Stepped (default): sleeps return at once and advance virtual time by the
// requested amount. Scaled: virtual time runs `factor` times faster than real.
void sim_clock_stepped();
void sim_clock_scaled(unsigned factor);
uint64_t sim_clock_ns();   // virtual nanoseconds since sim_reset

// ---- register windows and ports ----------------------------------------------

struct SimMmioRegion {
    uintptr_t base = 0;
    size_t size = 0;
    void *ctx = nullptr;
    uint64_t (*read)(void *ctx, size_t offset, int width);
    void (*write)(void *ctx, size_t offset, uint64_t value, int width);
};
void sim_add_mmio_region(const SimMmioRegion &region);

struct SimPorts {
    void *ctx = nullptr;
    uint32_t (*in)(void *ctx, uint16_t port, int width);
    void (*out)(void *ctx, uint16_t port, uint32_t value, int width);
};
void sim_set_ports(const SimPorts &ports);

// ---- observation -------------------------------------------------------------

struct SimLogLine {
    int priority;
    std::string text;
};

const std::vector<SimJournalEntry> &sim_journal();
void sim_clear_journal();
const std::vector<SimLogLine> &sim_syslog();
void sim_clear_syslog();

// Descriptors, streams and directories opened through the simulated host
// and not yet closed.
int sim_open_count();

// ---- the root -------------------------------------------------------------------

// Forget all state and take `root` (an existing directory) as "/".
void sim_reset(const std::string &root);
const std::string &sim_root();
// Absolute path under the root for a path the tool uses.
std::string sim_path(const std::string &path);
// Write a file under the root, creating its directories.
void sim_write_file(const std::string &path, const std::string &content);
// Read a file under the root; empty when missing.
std::string sim_read_file(const std::string &path);

#endif

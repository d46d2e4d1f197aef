// The simulated board behind the host interface: a small kernel.
//
// Kernel rules
// ------------
// - Files. "/" is a root directory on this machine; every path is
//   canonicalised under it (repeated "/", ".", "..", symbolic links, never
//   leaving the root). Relative paths resolve against "/". A plain file under
//   /proc returns at most one page (4096 bytes) per read, as procfs does.
// - The real tree is reached only beneath the root's open descriptor: a
//   path is resolved once (links read through the descriptor), then opened
//   (or its directory, for the calls on a name) with no link followed, so
//   a link that appears meanwhile fails with ELOOP. Only plain files and
//   directories are opened: a FIFO, socket or device fails with ENXIO and
//   nothing waits. A write refuses a file with a second name (EMLINK) and
//   truncates only once the file is open.
// - Modelled files. A model is a table of file operations (SimFileOps)
//   registered by canonical path, by path pattern (a glob, "*" stopping at
//   "/") or, for sockets, by family and protocol. A registered path wins over
//   a file under the root of the same name. Registered paths are seen by
//   stat, lstat, access, realpath and opendir/readdir (their directories
//   exist even when nothing on disk holds them); fopen reaches them through a
//   stream over the same operations.
// - Descriptors. Every open of a modelled file or socket holds a real
//   descriptor (an eventfd) for its whole life, so numbers are the small,
//   reused numbers the process would see and fit in an fd_set. A modelled
//   descriptor's poll readiness comes from its ops' poll (none: always
//   readable and writable). poll and select mix real and modelled
//   descriptors; their time-outs run in virtual time.
// - Operations return a count or 0 on success and -errno on failure; the
//   kernel turns that into -1 and errno for the caller. A missing operation
//   fails the call (EINVAL for read/write, ENOTTY for ioctl, ENODEV for mmap,
//   EOPNOTSUPP for socket calls).
// - The kernel lock. One lock serialises the kernel and every model: each
//   operation runs with it held. A model must never wait while holding it:
//   to block (a receive, a read on an empty queue) call sim_kernel_wait,
//   which releases the lock, waits in virtual time and takes it back. When
//   something a waiter may look at changes (a queue filled, a bit set), call
//   sim_file_notify so blocked threads look again.
// - Physical memory. /dev/mem is one sparse memory: pages are allocated on
//   first touch and every mapping of a range sees the same bytes. Windows of
//   physical addresses with register behaviour (sim_add_phys_window) answer
//   the MMIO accessors on any mapped address that falls in them. Every
//   mapping is recorded until munmap releases it; mprotect is recorded and
//   refuses an address that is not page aligned (EINVAL).
// - Port I/O is claimed by range; a port nobody claimed reads all ones and
//   ignores writes.
// - Journal. Requests, named byte attachments, mappings, port and window
//   accesses, socket sends and shell commands are journalled in order. The
//   journal can keep only the last N entries or be switched off.
// - Faults. A fault matches a node (path), an operation, a request number
//   and a record predicate; see SimFault for how calls are counted.
#ifndef QUORBIX_SIM_SIM_HOST_H
#define QUORBIX_SIM_SIM_HOST_H

#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "bases/host/host.h"

extern const HostOps g_simHost;

// ---- the journal --------------------------------------------------------------

enum class SimEvent : uint8_t {
    request,   // an ioctl: node, request, record, extra, result
    map,       // node, address = offset, length, value = prot, flags
    unmap,     // address = mapped address, length
    protect,   // address = mapped address, length, value = prot, result
    port_in,   // address = port, length = width, value read
    port_out,  // address = port, length = width, value written
    mmio_read, // address = physical (or registered virtual) address, length = width, value
    mmio_write,
    send,      // node = socket, attachments "payload" and (when given) "address"
    shell,     // node = command text, result = wait status
    read,      // a read of a modelled file: node, address = offset, length = bytes moved,
    write,     //   value = bytes asked, result; attachment "data" holds the bytes moved
};

// Named bytes a model attaches to a journal entry (command blocks, data
// buffers, netlink payloads).
struct SimAttachment {
    std::string name;
    std::vector<uint8_t> bytes;
};

// A journal line: node, request number and the record as it was passed in.
// Models may append decoded data (for example the words an embedded pointer
// refers to) to `extra`, or named bytes with sim_attach.
struct SimJournalEntry {
    std::string node;
    unsigned long request = 0;
    std::vector<uint8_t> record;
    std::vector<uint64_t> extra;
    int result = 0;
    SimEvent kind = SimEvent::request;
    uint64_t address = 0;
    uint64_t length = 0;
    uint64_t value = 0;
    int flags = 0;
    std::vector<SimAttachment> attachments;
};

void sim_attach(SimJournalEntry &entry, const std::string &name, const void *data, size_t size);
// Attach to the entry being built by the current request (or the last entry).
void sim_journal_attach(const std::string &name, const void *data, size_t size);
// The named attachment of an entry; null when absent.
const SimAttachment *sim_attachment(const SimJournalEntry &entry, const std::string &name);

const std::vector<SimJournalEntry> &sim_journal();
// The entries of one kind, on `node` (empty: any node) and of `request` (0:
// any request), in order; copies, so the journal may grow meanwhile.
std::vector<SimJournalEntry> sim_journal_of(SimEvent kind, std::string_view node = {}, unsigned long request = 0);
void sim_clear_journal();
// Keep only the last `entries` entries (0: keep all).
void sim_journal_limit(size_t entries);
// Switch journalling on or off (on after sim_reset).
void sim_journal_enable(bool on);
// Virtual time every driver request takes (0 after sim_reset), so timed
// request loops see known durations.
void sim_request_cost_ns(uint64_t ns);

// ---- modelled files ---------------------------------------------------------------

struct SimFile;
struct SimFileOps;

// One request as the model sees it.
struct SimCall {
    const std::string &node;  // node path the descriptor was opened on
    void *ctx;                // the model's state, as registered
    unsigned long request;
    void *arg;                // the caller's memory
    SimFile *file = nullptr;  // the open file (per-open state in file->priv)
};

// One row of a model's request table. `recordSize` bytes at arg are copied
// into the journal; a non-zero size with a null arg fails with EFAULT before
// the handler runs. The handler returns the ioctl result (>= 0) or -errno.
struct SimRequest {
    unsigned long number;
    size_t recordSize;
    int (*handle)(const SimCall &call, SimJournalEntry &entry);
};

// One open of a modelled file or socket.
struct SimFile {
    std::string path;              // canonical path; sockets: "socket:<ops name>"
    const SimFileOps *ops = nullptr;
    void *ctx = nullptr;           // as registered
    void *priv = nullptr;          // the open's own state, set by ops->open
    int flags = 0;                 // open flags (sockets: O_NONBLOCK from the type)
    off_t pos = 0;
    int fd = -1;                   // the descriptor number the caller holds
    int family = 0;                // sockets only
    int type = 0;                  //   without SOCK_NONBLOCK / SOCK_CLOEXEC
    int protocol = 0;
};

// A mapping request handed to a model's mmap. The model sets `addr` to the
// memory it maps (it keeps owning that memory) and returns 0 or -errno.
struct SimMapRequest {
    size_t length;
    int prot;
    int flags;
    off_t offset;
    void *addr = nullptr;
    bool physical = false;  // set by sim_phys_map: the kernel unmaps it
};

// Every entry is optional. Returns: >= 0 on success, -errno on failure.
struct SimFileOps {
    const char *name;
    mode_t mode;  // st_mode for stat (0: S_IFCHR|0600 under /dev, else S_IFREG|0644)
    int (*open)(SimFile &file);
    void (*release)(SimFile &file);
    ssize_t (*read)(SimFile &file, void *buf, size_t count);          // advances file.pos
    ssize_t (*write)(SimFile &file, const void *buf, size_t count);   // advances file.pos
    const SimRequest *requests;
    size_t requestCount;
    int (*mmap)(SimFile &file, SimMapRequest &map);
    void (*munmap)(void *ctx, void *addr, size_t length);             // the model's mapping ends
    short (*poll)(SimFile &file);                                     // ready events now
    // sockets
    int (*bind)(SimFile &file, const struct sockaddr *addr, socklen_t len);
    int (*setsockopt)(SimFile &file, int level, int name, const void *value, socklen_t len);
    ssize_t (*sendmsg)(SimFile &file, const struct msghdr *msg, int flags);
    ssize_t (*recvmsg)(SimFile &file, struct msghdr *msg, int flags);
};

// Register `ops` at an absolute path (canonicalised), at every path matching
// a glob pattern, or for sockets of `family` and `protocol`
// (kSimAnyProtocol: every protocol of the family). A later registration of
// the same key replaces the earlier one.
inline constexpr int kSimAnyProtocol = -1;
void sim_register_file(const std::string &path, const SimFileOps *ops, void *ctx);
void sim_register_pattern(const std::string &pattern, const SimFileOps *ops, void *ctx);
void sim_register_socket(int family, int protocol, const SimFileOps *ops, void *ctx);
void sim_unregister_socket(int family, int protocol);

// A model's readiness or waited-for state changed: blocked threads look again.
void sim_file_notify();
// Wait in virtual time, with the kernel lock released, until ready() (called
// without the kernel lock) or the time-out (< 0: none). Returns ready().
bool sim_kernel_wait(const std::function<bool()> &ready, int64_t timeout_ns);
// Take the kernel lock from outside an operation (for example in ready()).
void sim_kernel_lock();
void sim_kernel_unlock();

// The open file behind a descriptor; null for real files and closed numbers.
SimFile *sim_file(int fd);
// Canonical path under the root ("/a//b/../c" -> "/a/c", links followed).
std::string sim_canonical(const std::string &path);

// ---- the older model form, kept for existing models -----------------------------

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
// Remove a registration by path or pattern.
void sim_remove_node(const std::string &node);
bool sim_node_present(const std::string &node);

// ---- fault injection --------------------------------------------------------

// The operation a fault applies to.
// A read or write fault with err 0 cuts the transfer short to `result`
// bytes; an iopl fault (node empty) refuses port access.
// An open fault (with nth) refuses the n-th open of a path; a write fault
// also applies to plain files under the root (result and dump files).
enum class SimFaultOp : uint8_t { request, mmap, read, write, send, recv, bind, setsockopt, iopl, open };

// A fault matches a node (empty: any), an operation, a request number (0:
// any) and, when given, a predicate on the caller's record.
//
// A call is offered to the faults in the order they were set. Each fault
// that matches it counts it (`seen`), and the first whose nth is 0 or equals
// its count answers the call; the faults after that one neither see nor
// count it. So with two faults on one request, "every call fails with EIO"
// set first and "the 2nd call fails with EBUSY" set second, the second never
// counts a call and never answers; set the other way round, the 2nd call
// fails with EBUSY and every other call with EIO. A fault whose nth has gone
// by keeps counting and never answers again.
struct SimFault {
    std::string node;
    unsigned long request = 0;
    int err = 0;            // fail with -1 and this errno
    int result = 0;         // or, when err is 0, return this positive value after the model ran
    unsigned nth = 0;
    std::function<bool(const void *arg)> match;
    unsigned seen = 0;      // matching calls so far
    SimFaultOp op = SimFaultOp::request;
};

void sim_fail_open(const std::string &path, int err);
void sim_fail_request(const std::string &node, unsigned long request, int err, unsigned nth = 0);
void sim_request_result(const std::string &node, unsigned long request, int result, unsigned nth = 0);
// Fail an operation other than a request (a mapping, a send) on `node`.
void sim_fail_op(SimFaultOp op, const std::string &node, int err, unsigned nth = 0);
void sim_add_fault(SimFault fault);
void sim_clear_faults();

// ---- shell commands ---------------------------------------------------------

struct SimShellScript {
    std::string output;                            // what popen's stream reads; through system, what is
                                                   // written to descriptor 1 (after stdout is flushed)
    int status = 0;                                // wait status of pclose / system
    std::map<std::string, std::string> creates;    // files (under the root) written when it runs
};

void sim_script_command(const std::string &command, SimShellScript script);
const std::vector<std::string> &sim_commands_run();

// The name a thread gave itself (PR_SET_NAME, 15 characters kept); empty when none.
std::string sim_thread_name(pid_t tid);

// ---- clock -----------------------------------------------------------------

// Stepped (default): sleeps return at once and advance virtual time by the
// requested amount. Scaled: virtual time runs `factor` times faster than real.
void sim_clock_stepped();
void sim_clock_scaled(unsigned factor);
uint64_t sim_clock_ns();   // virtual nanoseconds since sim_reset

// ---- physical memory, register windows and ports ----------------------------------

// A window with register behaviour. sim_add_mmio_region claims process
// addresses [base, base + size); sim_add_phys_window claims physical
// addresses, reached through any /dev/mem mapping that covers them.
struct SimMmioRegion {
    uintptr_t base = 0;
    size_t size = 0;
    void *ctx = nullptr;
    uint64_t (*read)(void *ctx, size_t offset, int width);
    void (*write)(void *ctx, size_t offset, uint64_t value, int width);
};
void sim_add_mmio_region(const SimMmioRegion &region);
void sim_add_phys_window(const SimMmioRegion &window);

// A live mapping made through the simulated host.
struct SimMapping {
    std::string node;
    void *addr = nullptr;
    size_t length = 0;
    int prot = 0;
    int flags = 0;
    off_t offset = 0;
};
std::vector<SimMapping> sim_mappings();
// The size of physical memory behind /dev/mem: addresses from 0 up to, not
// including, kSimPhysSize (sparse: pages exist once touched).
inline constexpr uint64_t kSimPhysSize = uint64_t{1} << 46;
// Bytes of physical memory as /dev/mem holds them (zero where untouched).
void sim_phys_read(uint64_t address, void *buf, size_t size);
void sim_phys_write(uint64_t address, const void *buf, size_t size);
// For a model's mmap: map physical memory at `phys` (page aligned) for the
// request's length and protection, so the model's window and /dev/mem see
// the same bytes. Returns 0 or -errno; call with the kernel lock held.
int sim_phys_map(SimMapRequest &map, uint64_t phys);

// Ports [first, last] answered by one model. Returns false (and claims
// nothing) when the range overlaps a claimed one.
struct SimPortRange {
    uint16_t first = 0;
    uint16_t last = 0;
    void *ctx = nullptr;
    uint32_t (*in)(void *ctx, uint16_t port, int width);
    void (*out)(void *ctx, uint16_t port, uint32_t value, int width);
};
bool sim_add_ports(const SimPortRange &range);

// ---- observation -------------------------------------------------------------

struct SimLogLine {
    int priority;
    std::string text;
};

const std::vector<SimLogLine> &sim_syslog();
void sim_clear_syslog();

// Descriptors, streams and directories opened through the simulated host
// and not yet closed.
int sim_open_count();

// ---- the root -------------------------------------------------------------------

// Forget all state and take the directory open at `rootFd` as "/" (the
// kernel keeps a duplicate of the descriptor until the next reset); `root`
// names it in messages.
void sim_reset(int rootFd, const std::string &root);
// Test shorthand: opens `root` (an existing directory) and takes it so.
void sim_reset(const std::string &root);
const std::string &sim_root();
// Opens `path` beneath the directory `dirfd`, resolved inside it and
// following no link at all: a link anywhere on the way fails with ELOOP.
// `mode` is passed only with O_CREAT; O_CLOEXEC is always added. The way
// is decided once per process, on the first call: openat2(2) with
// RESOLVE_IN_ROOT | RESOLVE_NO_SYMLINKS (EAGAIN retried a few times), or,
// where openat2 is missing (ENOSYS: before Linux 5.6, or under a memory
// checker that does not know it) or forbidden (EPERM: a sandbox),
// sim_walk_beneath. A descriptor, or -1 with errno.
int sim_open_beneath(int dirfd, const std::string &path, int flags, mode_t mode = 0);
// The walk: one name at a time from `dirfd`, each opened with O_PATH |
// O_NOFOLLOW and looked at (a link is ELOOP, anything but a directory before
// the last name ENOTDIR); the last name opened with `flags` plus O_NOFOLLOW,
// and with O_PATH looked at the same way. "" or "." is the directory itself;
// ".." is refused (EINVAL), never walked. For the paths the simulator passes
// (canonical, relative to `dirfd`) it answers as openat2 does.
int sim_walk_beneath(int dirfd, const std::string &path, int flags, mode_t mode = 0);
enum class SimBeneathWay { Undecided, Openat2, Walk };
// The way sim_open_beneath took in this process (Undecided before its
// first call).
SimBeneathWay sim_beneath_way();
// Forgets the way taken, so that the next call decides again: for a test
// child that filters its own system calls after its parent's first call.
void sim_beneath_decide_again();
// The canonical path under the root of a path the tool uses ("" stands
// for "/"), resolved as the tool's own calls resolve it (sim_canonical):
// links inside the root never lead out of it. The last component's link is
// followed only when followLast. 0, or -errno when it cannot be resolved:
// ELOOP for a link loop, EINVAL for a NUL byte in the path, ENAMETOOLONG
// for a path of PATH_MAX bytes or more, EACCES for a path that reaches the
// board's own directory "/.sim" (the tool's own calls fail so too).
int sim_resolve(const std::string &path, bool followLast, std::string &canonical);
// Host path under the root of a path the tool uses, resolved as
// sim_resolve does, for tests that look at the tree from outside (the
// simulator itself reaches its files only through the root's descriptor).
// The last component is left as it is unless followLast. Empty when the
// path cannot be resolved.
std::string sim_path(const std::string &path, bool followLast = false);
// Write a plain file under the root (resolved as sim_resolve does, the
// last link followed), creating its directories. Nothing on the way is
// followed once resolved: a link that appears there since fails with
// ELOOP. A special file (FIFO, socket, device) is refused with ENXIO
// without being opened, a file with more than one link with EMLINK.
// Throws std::filesystem::filesystem_error (the path and the reason) when
// the path cannot be resolved or the file cannot be written.
void sim_write_file(const std::string &path, const std::string &content);
// Read a plain file under the root (resolved so); empty when missing or
// not a plain file.
std::string sim_read_file(const std::string &path);

// Directory and link calls for the device models, on paths resolved as
// sim_resolve does and acted on beneath the root's descriptor, never
// through a link that appears on the way since (ELOOP). What they change
// is kept for the undo of a run that fails. 0, or -errno.
//
// The directory at `path` and its missing parents, links followed.
int sim_make_dirs(const std::string &path);
// One directory at the last name itself (EEXIST when anything is there).
int sim_make_dir(const std::string &path);
// A link at the last name of `path`, aimed at `target` (its text as
// given), replacing a file, a link or an empty directory there; the
// directory that holds it must exist.
int sim_make_link(const std::string &target, const std::string &path);
// Removes the last name itself: a file, a link or an empty directory.
int sim_remove(const std::string &path);
// Whether `path`, its last link followed, is a directory; is anything.
bool sim_is_dir(const std::string &path);
bool sim_exists(const std::string &path);

#endif

// The simulated kernel's own state, shared by the files of sim/ that make it
// up (paths, descriptors, memory, sockets). Not for models: they use
// sim_host.h.
#ifndef QUORBIX_SIM_KERNEL_H
#define QUORBIX_SIM_KERNEL_H

#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <unordered_map>
#include <utility>
#include <vector>

#include "sim/kit/sim_fd.h"
#include "sim/sim_host.h"

namespace simk {

// A recursive lock that can be let go of entirely while a thread waits.
struct KernelLock {
    std::mutex mutex;
    std::atomic<std::thread::id> owner{};
    int depth = 0;
};

struct Registration {
    const SimFileOps *ops = nullptr;
    void *ctx = nullptr;
};

// An older SimModel seen through file operations; `ops` comes first so an
// open file's ops pointer leads back to its model.
struct ModelAdapter {
    SimFileOps ops;
    const SimModel *model;
};

enum class DescKind : uint8_t { none, real, modelled };

struct Desc {
    DescKind kind = DescKind::none;
    std::string path;                 // canonical path (real files), for the /proc rule
    std::unique_ptr<SimFile> file;    // modelled files and sockets
};

struct MapRecord {
    SimMapping map;
    bool real = false;                // made with the OS's mmap: released with munmap
    const SimFileOps *ops = nullptr;  // model mappings: told when they end
    void *ctx = nullptr;
};

struct PortClaim {
    SimPortRange range;
};

struct Kernel {
    KernelLock lock;
    std::string root;                    // the root's name, for messages only
    int rootFd = -1;                     // the root directory, open for the run
    std::vector<std::pair<std::string, Registration>> files;     // canonical path
    std::vector<std::pair<std::string, Registration>> patterns;  // glob
    std::vector<std::pair<std::pair<int, int>, Registration>> sockets;
    std::vector<std::unique_ptr<ModelAdapter>> adapters;
    std::vector<std::pair<std::string, int>> openFaults;         // canonical path, errno
    std::vector<Desc> fds;                                       // by descriptor number
    std::vector<void *> dirs;
    std::vector<SimFault> faults;
    std::vector<SimJournalEntry> journal;
    size_t journalLimit = 0;
    bool journalOn = true;
    uint64_t requestCostNs = 0;          // virtual time charged per request
    // Paths opened before that named a registered node, and its canonical
    // path; forgotten whenever a registration changes.
    std::unordered_map<std::string, std::string> nodePaths;
    SimJournalEntry *current = nullptr;  // the entry a request handler is building
    std::vector<MapRecord> maps;
    std::vector<SimMmioRegion> mmio;
    std::vector<SimMmioRegion> physWindows;
    std::vector<SimPortRange> ports;
    int physFd = -1;                     // the memory behind /dev/mem
};

Kernel &kernel();

void lock();
void unlock();
struct Guard {
    Guard() { lock(); }
    ~Guard() { unlock(); }
    Guard(const Guard &) = delete;
    Guard &operator=(const Guard &) = delete;
};

// The real tree, reached only beneath the root's descriptor: a canonical
// path ("/a/b") is opened with sim_open_beneath, so a link that appeared
// on the way since it was resolved fails with ELOOP instead of being
// followed.
//
// The directory holding a canonical path (O_PATH) and its last name ("."
// for the root itself). 0 or -errno.
struct Parent {
    SimFd dir;
    std::string name;
};
int open_parent(const std::string &canonical, Parent &out);
// The entry at a canonical path itself (its links were followed, or not,
// by canonicalise). 0 or -errno.
int real_stat(const std::string &canonical, struct stat *st);
// A real file at a canonical path, opened with the caller's flags: only a
// plain file or a directory is ever opened (anything else fails with
// ENXIO, looked at before it is opened, so nothing is waited on); a write
// refuses a file with more than one link (EMLINK) and truncates only once
// the file is open. What the open may change is noted for the undo first
// (EACCES when the undo cannot keep the file there). The descriptor or
// -errno.
int open_real(const std::string &canonical, int flags, mode_t mode);
// Makes the directory at a canonical path and its missing parents, none
// of them through a link, noting each one made for the undo. A path longer
// than PATH_MAX, or with a name longer than NAME_MAX, makes none
// (ENAMETOOLONG). 0 or -errno.
int make_dirs(const std::string &canonical);
// Canonicalise `path`; follow a link in the last component when followLast.
// A path that reaches the board's own "/.sim" on the way or at its end
// gives EACCES, one longer than PATH_MAX ENAMETOOLONG. Returns 0 or -errno.
int canonicalise(const char *path, bool followLast, std::string &out);
// The registration that answers a canonical path, or null.
const Registration *lookup(const std::string &canonical);

// Journal: keep `entry` (respecting the limit and the switch).
void journal_push(SimJournalEntry &&entry);
bool journal_on();
// The first fault matching the call (counts it), or null.
SimFault *matching_fault(SimFaultOp op, const std::string &node, unsigned long request, const void *arg);
// -err of a matching errno fault, or 0.
int op_fault(SimFaultOp op, const std::string &node);

// Descriptors.
Desc *desc(int fd);
int add_real_fd(int fd, const std::string &path);
// Open `reg` as a modelled file or socket on a fresh descriptor; -errno on failure.
int open_modelled(std::unique_ptr<SimFile> file);
void release_all();
void close_dirs();
void builtin_register();

// Errno convention: negative results become -1 with errno.
inline long fail(long result)
{
    if (result < 0) {
        errno = static_cast<int>(-result);
        return -1;
    }
    return result;
}

// The host calls of the kernel, with the C library's signatures.
int sim_open(const char *path, int flags, mode_t mode);
FILE *sim_fopen(const char *path, const char *mode);
FILE *stream_on_fd(int fd, const char *mode);
int sim_stat(const char *path, struct stat *st);
int sim_lstat(const char *path, struct stat *st);
int sim_access(const char *path, int amode);
ssize_t sim_readlink(const char *path, char *buf, size_t size);
char *sim_realpath(const char *path, char *resolved);
DIR *sim_opendir(const char *path);
struct dirent *sim_readdir(DIR *dir);
int sim_closedir(DIR *dir);
int sim_mkdir(const char *path, mode_t mode);
int sim_rename(const char *from, const char *to);
int sim_unlink(const char *path);
ssize_t sim_read(int fd, void *buf, size_t count);
ssize_t sim_write(int fd, const void *buf, size_t count);
ssize_t sim_pread(int fd, void *buf, size_t count, off_t offset);
ssize_t sim_pwrite(int fd, const void *buf, size_t count, off_t offset);
off_t sim_lseek(int fd, off_t offset, int whence);
int sim_fstat(int fd, struct stat *st);
int sim_ftruncate(int fd, off_t length);
int sim_close(int fd);
int sim_select(int nfds, fd_set *rd, fd_set *wr, fd_set *ex, struct timeval *timeout);
int sim_poll(struct pollfd *fds, nfds_t nfds, int timeout_ms);
int sim_ioctl(int fd, unsigned long request, void *arg);
void *sim_mmap(void *addr, size_t length, int prot, int flags, int fd, off_t offset);
int sim_munmap(void *addr, size_t length);
int sim_mprotect(void *addr, size_t length, int prot);
long sim_pagesize();
uint8_t sim_mmio_read8(const volatile void *addr);
uint16_t sim_mmio_read16(const volatile void *addr);
uint32_t sim_mmio_read32(const volatile void *addr);
uint64_t sim_mmio_read64(const volatile void *addr);
void sim_mmio_write8(volatile void *addr, uint8_t value);
void sim_mmio_write16(volatile void *addr, uint16_t value);
void sim_mmio_write32(volatile void *addr, uint32_t value);
void sim_mmio_write64(volatile void *addr, uint64_t value);
int sim_iopl(int level);
uint8_t sim_inb(uint16_t port);
uint16_t sim_inw(uint16_t port);
uint32_t sim_inl(uint16_t port);
void sim_outb(uint8_t value, uint16_t port);
void sim_outw(uint16_t value, uint16_t port);
void sim_outl(uint32_t value, uint16_t port);
int sim_socket(int domain, int type, int protocol);
int sim_bind(int fd, const struct sockaddr *addr, socklen_t len);
int sim_setsockopt(int fd, int level, int name, const void *value, socklen_t len);
ssize_t sim_sendto(int fd, const void *buf, size_t len, int flags, const struct sockaddr *addr, socklen_t addrlen);
ssize_t sim_sendmsg(int fd, const struct msghdr *msg, int flags);
ssize_t sim_recvfrom(int fd, void *buf, size_t len, int flags, struct sockaddr *addr, socklen_t *addrlen);
ssize_t sim_recvmsg(int fd, struct msghdr *msg, int flags);

// Memory reset: unmap what the kernel mapped and drop the physical memory.
void memory_reset();

} // namespace simk

#endif

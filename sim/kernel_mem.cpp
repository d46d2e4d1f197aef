// Memory: /dev/mem as one sparse physical memory, recorded mappings, register
// windows behind the MMIO accessors, and ports claimed by range.
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include "sim/kernel.h"

namespace simk {

namespace {

constexpr long kPage = 4096;
constexpr off_t kPhysSize = static_cast<off_t>(kSimPhysSize);
constexpr const char *kDevMem = "/dev/mem";

bool aligned(const void *addr) { return reinterpret_cast<uintptr_t>(addr) % kPage == 0; }

int phys_fd()
{
    Kernel &k = kernel();
    if (k.physFd >= 0)
        return k.physFd;
    int fd = ::memfd_create("quorbix-sim-physmem", MFD_CLOEXEC);
    if (fd < 0)
        return -errno;
    if (::ftruncate(fd, kPhysSize) < 0) {
        int err = errno;
        ::close(fd);
        return -err;
    }
    k.physFd = fd;
    return fd;
}

// /dev/mem: reads and writes at the physical address in file.pos, mappings
// of the one memory.
ssize_t mem_read(SimFile &file, void *buf, size_t count)
{
    int fd = phys_fd();
    if (fd < 0)
        return fd;
    ssize_t r = ::pread(fd, buf, count, file.pos);
    if (r < 0)
        return -errno;
    file.pos += r;
    return r;
}

ssize_t mem_write(SimFile &file, const void *buf, size_t count)
{
    int fd = phys_fd();
    if (fd < 0)
        return fd;
    ssize_t r = ::pwrite(fd, buf, count, file.pos);
    if (r < 0)
        return -errno;
    file.pos += r;
    return r;
}

int mem_mmap(SimFile &file, SimMapRequest &map)
{
    if (map.offset < 0 || map.offset >= kPhysSize)
        return -EINVAL;
    if ((file.flags & O_ACCMODE) == O_RDONLY && (map.prot & PROT_WRITE) && (map.flags & MAP_SHARED))
        return -EACCES;
    return sim_phys_map(map, static_cast<uint64_t>(map.offset));
}

constexpr SimFileOps kDevMemOps = {
    .name = "mem", .mode = S_IFCHR | 0640, .open = nullptr, .release = nullptr,
    .read = mem_read, .write = mem_write, .requests = nullptr, .requestCount = 0,
    .mmap = mem_mmap, .munmap = nullptr, .poll = nullptr, .bind = nullptr,
    .setsockopt = nullptr, .sendmsg = nullptr, .recvmsg = nullptr,
};

void journal_event(SimEvent kind, const std::string &node, uint64_t address, uint64_t length, uint64_t value, int flags, int result)
{
    if (!journal_on())
        return;
    SimJournalEntry e;
    e.kind = kind;
    e.node = node;
    e.address = address;
    e.length = length;
    e.value = value;
    e.flags = flags;
    e.result = result;
    journal_push(std::move(e));
}

void end_mapping(const MapRecord &m, void *addr, size_t length)
{
    if (m.real)
        ::munmap(addr, length);
}

// Releases [lo, hi) from every recorded mapping; returns whether any overlapped.
bool unmap_range(uintptr_t lo, uintptr_t hi)
{
    std::vector<MapRecord> keep;
    bool any = false;
    for (MapRecord &m : kernel().maps) {
        auto a = reinterpret_cast<uintptr_t>(m.map.addr);
        uintptr_t b = a + m.map.length;
        if (b <= lo || a >= hi) {
            keep.push_back(std::move(m));
            continue;
        }
        any = true;
        uintptr_t cutLo = std::max(a, lo), cutHi = std::min(b, hi);
        end_mapping(m, reinterpret_cast<void *>(cutLo), cutHi - cutLo);
        if (a < cutLo) {
            MapRecord front = m;
            front.map.length = cutLo - a;
            keep.push_back(std::move(front));
        }
        if (cutHi < b) {
            MapRecord back = m;
            back.map.addr = reinterpret_cast<void *>(cutHi);
            back.map.length = b - cutHi;
            back.map.offset += static_cast<off_t>(cutHi - a);
            keep.push_back(std::move(back));
        }
        if (a >= lo && b <= hi && !m.real && m.ops && m.ops->munmap)
            m.ops->munmap(m.ctx, m.map.addr, m.map.length);
    }
    kernel().maps = std::move(keep);
    return any;
}

// ---- register windows -------------------------------------------------------------

struct WindowHit {
    const SimMmioRegion *region = nullptr;
    size_t offset = 0;
    uint64_t address = 0;  // as journalled: physical for /dev/mem windows
};

WindowHit window_of(const volatile void *addr, size_t width)
{
    auto a = reinterpret_cast<uintptr_t>(addr);
    for (const SimMmioRegion &r : kernel().mmio)
        if (a >= r.base && a - r.base + width <= r.size)
            return {&r, a - r.base, a};
    for (const MapRecord &m : kernel().maps) {
        auto base = reinterpret_cast<uintptr_t>(m.map.addr);
        if (m.map.node != kDevMem || a < base || a - base >= m.map.length)
            continue;
        uint64_t phys = static_cast<uint64_t>(m.map.offset) + (a - base);
        for (const SimMmioRegion &w : kernel().physWindows)
            if (phys >= w.base && phys - w.base + width <= w.size)
                return {&w, static_cast<size_t>(phys - w.base), phys};
    }
    return {};
}

template <typename T> T mmio_read(const volatile void *addr)
{
    Guard g;
    WindowHit hit = window_of(addr, sizeof(T));
    if (hit.region == nullptr || hit.region->read == nullptr)
        return *static_cast<const volatile T *>(addr);
    T value = static_cast<T>(hit.region->read(hit.region->ctx, hit.offset, sizeof(T)));
    journal_event(SimEvent::mmio_read, "", hit.address, sizeof(T), value, 0, 0);
    return value;
}

template <typename T> void mmio_write(volatile void *addr, T value)
{
    Guard g;
    WindowHit hit = window_of(addr, sizeof(T));
    if (hit.region == nullptr || hit.region->write == nullptr) {
        *static_cast<volatile T *>(addr) = value;
        return;
    }
    journal_event(SimEvent::mmio_write, "", hit.address, sizeof(T), value, 0, 0);
    hit.region->write(hit.region->ctx, hit.offset, value, sizeof(T));
}

// ---- ports ----------------------------------------------------------------------------

const SimPortRange *port_owner(uint16_t port)
{
    for (const SimPortRange &r : kernel().ports)
        if (port >= r.first && port <= r.last)
            return &r;
    return nullptr;
}

template <typename T> T port_in(uint16_t port)
{
    Guard g;
    const SimPortRange *r = port_owner(port);
    T value = r && r->in ? static_cast<T>(r->in(r->ctx, port, sizeof(T))) : static_cast<T>(~T{0});
    journal_event(SimEvent::port_in, "", port, sizeof(T), value, 0, 0);
    return value;
}

template <typename T> void port_out(T value, uint16_t port)
{
    Guard g;
    journal_event(SimEvent::port_out, "", port, sizeof(T), value, 0, 0);
    if (const SimPortRange *r = port_owner(port); r && r->out)
        r->out(r->ctx, port, value, sizeof(T));
}

} // namespace

void builtin_register()
{
    kernel().files.emplace_back(kDevMem, Registration{&kDevMemOps, nullptr});
}

void memory_reset()
{
    Kernel &k = kernel();
    for (const MapRecord &m : k.maps)
        end_mapping(m, m.map.addr, m.map.length);
    k.maps.clear();
    if (k.physFd >= 0)
        ::close(k.physFd);
    k.physFd = -1;
    k.mmio.clear();
    k.physWindows.clear();
    k.ports.clear();
}

void *sim_mmap(void *addr, size_t length, int prot, int flags, int fd, off_t offset)
{
    Guard g;
    Desc *d = fd < 0 ? nullptr : desc(fd);
    if (fd >= 0 && d == nullptr && !(flags & MAP_ANONYMOUS)) {
        errno = EBADF;
        return MAP_FAILED;
    }
    std::string node = d ? d->path : "";
    MapRecord rec{SimMapping{node, nullptr, length, prot, flags, offset}, false, nullptr, nullptr};
    int result = 0;
    if (length == 0 || offset % kPage != 0) {
        result = -EINVAL;
    } else if (int err = op_fault(SimFaultOp::mmap, node)) {
        result = err;
    } else if (d && d->kind == DescKind::modelled) {
        SimFile &f = *d->file;
        SimMapRequest req{length, prot, flags, offset};
        result = f.ops->mmap ? f.ops->mmap(f, req) : -ENODEV;
        rec.map.addr = req.addr;
        rec.real = f.ops == &kDevMemOps || req.physical;
        rec.ops = f.ops;
        rec.ctx = f.ctx;
    } else {
        rec.map.addr = ::mmap(addr, length, prot, flags, fd, offset);
        result = rec.map.addr == MAP_FAILED ? -errno : 0;
        rec.real = true;
    }
    journal_event(SimEvent::map, node, static_cast<uint64_t>(offset), length, static_cast<uint64_t>(prot), flags, result);
    if (result < 0) {
        fail(result);
        return MAP_FAILED;
    }
    void *p = rec.map.addr;
    kernel().maps.push_back(std::move(rec));
    return p;
}

int sim_munmap(void *addr, size_t length)
{
    Guard g;
    if (!aligned(addr) || length == 0)
        return static_cast<int>(fail(-EINVAL));
    journal_event(SimEvent::unmap, "", reinterpret_cast<uintptr_t>(addr), length, 0, 0, 0);
    auto lo = reinterpret_cast<uintptr_t>(addr);
    if (unmap_range(lo, lo + length))
        return 0;
    for (const SimMmioRegion &r : kernel().mmio)
        if (lo == r.base)
            return 0;  // the model owns the window
    return ::munmap(addr, length);
}

int sim_mprotect(void *addr, size_t length, int prot)
{
    Guard g;
    int result = 0;
    bool real = true;
    auto lo = reinterpret_cast<uintptr_t>(addr);
    if (!aligned(addr)) {
        result = -EINVAL;
    } else {
        for (MapRecord &m : kernel().maps) {
            auto a = reinterpret_cast<uintptr_t>(m.map.addr);
            if (lo >= a && lo < a + m.map.length) {
                m.map.prot = prot;
                real = m.real;
            }
        }
        if (real && ::mprotect(addr, length, prot) < 0)
            result = -errno;
    }
    journal_event(SimEvent::protect, "", lo, length, static_cast<uint64_t>(prot), 0, result);
    return static_cast<int>(fail(result));
}

long sim_pagesize() { return kPage; }

uint8_t sim_mmio_read8(const volatile void *addr) { return mmio_read<uint8_t>(addr); }
uint16_t sim_mmio_read16(const volatile void *addr) { return mmio_read<uint16_t>(addr); }
uint32_t sim_mmio_read32(const volatile void *addr) { return mmio_read<uint32_t>(addr); }
uint64_t sim_mmio_read64(const volatile void *addr) { return mmio_read<uint64_t>(addr); }
void sim_mmio_write8(volatile void *addr, uint8_t value) { mmio_write(addr, value); }
void sim_mmio_write16(volatile void *addr, uint16_t value) { mmio_write(addr, value); }
void sim_mmio_write32(volatile void *addr, uint32_t value) { mmio_write(addr, value); }
void sim_mmio_write64(volatile void *addr, uint64_t value) { mmio_write(addr, value); }

int sim_iopl(int level)
{
    Guard g;
    if (level < 0 || level > 3)
        return static_cast<int>(fail(-EINVAL));
    return static_cast<int>(fail(op_fault(SimFaultOp::iopl, "")));
}
uint8_t sim_inb(uint16_t port) { return port_in<uint8_t>(port); }
uint16_t sim_inw(uint16_t port) { return port_in<uint16_t>(port); }
uint32_t sim_inl(uint16_t port) { return port_in<uint32_t>(port); }
void sim_outb(uint8_t value, uint16_t port) { port_out(value, port); }
void sim_outw(uint16_t value, uint16_t port) { port_out(value, port); }
void sim_outl(uint32_t value, uint16_t port) { port_out(value, port); }

} // namespace simk

using namespace simk;

void sim_add_mmio_region(const SimMmioRegion &region)
{
    Guard g;
    kernel().mmio.push_back(region);
}

void sim_add_phys_window(const SimMmioRegion &window)
{
    Guard g;
    kernel().physWindows.push_back(window);
}

std::vector<SimMapping> sim_mappings()
{
    Guard g;
    std::vector<SimMapping> out;
    for (const MapRecord &m : kernel().maps)
        out.push_back(m.map);
    return out;
}

int sim_phys_map(SimMapRequest &map, uint64_t phys)
{
    int fd = phys_fd();
    if (fd < 0)
        return fd;
    if (phys % kPage != 0 || phys >= static_cast<uint64_t>(kPhysSize))
        return -EINVAL;
    void *p = ::mmap(nullptr, map.length, map.prot, map.flags, fd, static_cast<off_t>(phys));
    if (p == MAP_FAILED)
        return -errno;
    map.addr = p;
    map.physical = true;
    return 0;
}

void sim_phys_read(uint64_t address, void *buf, size_t size)
{
    Guard g;
    std::memset(buf, 0, size);
    int fd = phys_fd();
    if (fd >= 0 && ::pread(fd, buf, size, static_cast<off_t>(address)) < 0)
        std::memset(buf, 0, size);
}

void sim_phys_write(uint64_t address, const void *buf, size_t size)
{
    Guard g;
    int fd = phys_fd();
    if (fd >= 0 && ::pwrite(fd, buf, size, static_cast<off_t>(address)) != static_cast<ssize_t>(size))
        std::abort();  // the test's own set-up failed: nothing sensible to continue with
}

bool sim_add_ports(const SimPortRange &range)
{
    Guard g;
    if (range.first > range.last)
        return false;
    for (const SimPortRange &r : kernel().ports)
        if (range.first <= r.last && r.first <= range.last)
            return false;
    kernel().ports.push_back(range);
    return true;
}

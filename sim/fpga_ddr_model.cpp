#include "sim/fpga_ddr_model.h"

#include <cerrno>
#include <cstdio>
#include <algorithm>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <sys/mman.h>

#include "sim/pci_bus.h"
#include "sim/pci_sysfs.h"
#include "sim/sim_host.h"
#include "sim/sim_sched.h"

namespace {

struct DdrFunction {
    uint16_t vendor;
    uint16_t device;
    uint8_t bus;
    uint64_t barStart;
};

// One FPGA, listed under either BAR map mode's filter.
constexpr DdrFunction kFunctions[] = {
    {0x19aa, 0xe004, kDdrModelBus[0], 0xC0000000},
    {0x1ff0, 0x1710, kDdrModelBus[1], 0xC4000000},
};

constexpr uint64_t kMemFlags = 0x40200;

struct DdrModel {
    uint8_t *mem = nullptr;  // kDdrModelSize bytes, pages on first touch
    uint32_t zeros = 0;
    uint32_t ones = 0;
    int aliasBit = -1;
    int64_t wrongAt = -1;
    uint32_t wrongValue = 0;
    uint64_t costNs = 0;
};

DdrModel &model()
{
    static DdrModel *m = new DdrModel;  // outlives static destructors
    return *m;
}

size_t cell(size_t offset)
{
    const DdrModel &m = model();
    if (m.aliasBit >= 0)
        offset &= ~(size_t{1} << m.aliasBit);
    return offset & (kDdrModelSize - 4);
}

uint64_t window_read(void *, size_t offset, int)
{
    DdrModel &m = model();
    sched_charge_ns(m.costNs);
    if (static_cast<int64_t>(offset) == m.wrongAt)
        return m.wrongValue;
    uint32_t v = 0;
    std::memcpy(&v, m.mem + cell(offset), 4);
    return (v & ~m.zeros) | m.ones;
}

void window_write(void *, size_t offset, uint64_t value, int)
{
    DdrModel &m = model();
    sched_charge_ns(m.costNs);
    auto v = static_cast<uint32_t>(value);
    std::memcpy(m.mem + cell(offset), &v, 4);
}

int bar_mmap(SimFile &, SimMapRequest &map)
{
    if (map.offset != 0 || map.length > kDdrModelSize)
        return -EINVAL;
    map.addr = model().mem;
    return 0;
}

void bar_munmap(void *, void *, size_t) {}

constexpr SimFileOps kBarOps = {
    .name = "fpga0-bar0", .mode = S_IFREG | 0600, .open = nullptr, .release = nullptr,
    .read = nullptr, .write = nullptr, .requests = nullptr, .requestCount = 0,
    .mmap = bar_mmap, .munmap = bar_munmap, .poll = nullptr, .bind = nullptr,
    .setsockopt = nullptr, .sendmsg = nullptr, .recvmsg = nullptr,
};

// The function's resource lines, in the kernel's text.
ssize_t resource_read(SimFile &file, void *buf, size_t count)
{
    const auto *f = static_cast<const DdrFunction *>(file.ctx);
    PciFunction fn;
    fn.resources = {PciResource{f->barStart, f->barStart + kDdrModelSize - 1, kMemFlags}};
    std::string text = pci_sysfs_resource_text(fn);
    if (file.pos >= static_cast<off_t>(text.size()))
        return 0;
    size_t n = std::min(count, text.size() - static_cast<size_t>(file.pos));
    std::memcpy(buf, text.data() + file.pos, n);
    file.pos += static_cast<off_t>(n);
    return static_cast<ssize_t>(n);
}

constexpr SimFileOps kResourceOps = {
    .name = "fpga0-resource", .mode = S_IFREG | 0444, .open = nullptr, .release = nullptr,
    .read = resource_read, .write = nullptr, .requests = nullptr, .requestCount = 0,
    .mmap = nullptr, .munmap = nullptr, .poll = nullptr, .bind = nullptr,
    .setsockopt = nullptr, .sendmsg = nullptr, .recvmsg = nullptr,
};

// The FPGA's sysfs files only: its configuration space stays out of the
// board's bus, whose listing the other commands compare with lspci.
void add_function(const DdrFunction &f)
{
    std::string dir = pci_sysfs_dir(f.bus, 0);
    sim_register_file(dir + "/resource", &kResourceOps, const_cast<DdrFunction *>(&f));
    sim_register_file(dir + "/resource0", &kBarOps, nullptr);
    char cmd[64], line[96];
    std::snprintf(cmd, sizeof cmd, "lspci -d %04x:%04x > /home/dbf.txt", f.vendor, f.device);
    std::snprintf(line, sizeof line, "%02x:00.0 Memory controller: Device %04x:%04x (rev 01)\n", f.bus, f.vendor,
                  f.device);
    sim_script_command(cmd, SimShellScript{"", 0, {{"/home/dbf.txt", line}}});
}

} // namespace

bool fpga_ddr_model_attach(SimDoc &)
{
    DdrModel &m = model();
    if (m.mem == nullptr) {
        void *p = ::mmap(nullptr, kDdrModelSize, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE,
                         -1, 0);
        if (p == MAP_FAILED)
            return false;
        m.mem = static_cast<uint8_t *>(p);
    } else {
        ::madvise(m.mem, kDdrModelSize, MADV_DONTNEED);  // back to zeros
    }
    uint8_t *mem = m.mem;
    m = DdrModel{};
    m.mem = mem;
    for (const DdrFunction &f : kFunctions)
        add_function(f);
    sim_add_mmio_region(SimMmioRegion{reinterpret_cast<uintptr_t>(m.mem), kDdrModelSize, nullptr, window_read,
                                      window_write});
    return true;
}

void fpga_ddr_model_save(SimDoc &) {}

void fpga_ddr_model_stuck(uint32_t zeros, uint32_t ones)
{
    model().zeros = zeros;
    model().ones = ones;
}
void fpga_ddr_model_alias(int addressBit) { model().aliasBit = addressBit; }
void fpga_ddr_model_wrong_word(int64_t offset, uint32_t value)
{
    model().wrongAt = offset;
    model().wrongValue = value;
}
void fpga_ddr_model_cost_ns(uint64_t ns) { model().costNs = ns; }

uint32_t fpga_ddr_model_peek(uint64_t offset)
{
    uint32_t v = 0;
    std::memcpy(&v, model().mem + (offset & (kDdrModelSize - 4)), 4);
    return v;
}

void fpga_ddr_model_poke(uint64_t offset, uint32_t value)
{
    std::memcpy(model().mem + (offset & (kDdrModelSize - 4)), &value, 4);
}

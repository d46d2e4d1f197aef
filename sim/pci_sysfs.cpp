#include "sim/pci_sysfs.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <map>
#include <sys/mman.h>

#include "sim/sim_host.h"

namespace {

constexpr uint64_t kPage = 4096;
constexpr size_t kBars = 6;
constexpr size_t kResourceLines = 7;

std::map<uint16_t, uint8_t> g_ioBytes;

void *key_of(const PciFunction &fn) { return reinterpret_cast<void *>(static_cast<uintptr_t>(fn.bus << 8 | fn.devfn)); }

PciFunction *function_of(void *ctx)
{
    auto key = reinterpret_cast<uintptr_t>(ctx);
    return pci_bus_find(static_cast<uint8_t>(key >> 8), static_cast<uint8_t>(key));
}

PciResource resource(const PciFunction &fn, size_t i) { return i < fn.resources.size() ? fn.resources[i] : PciResource{}; }

bool is_memory_bar(const PciResource &r) { return (r.flags & 1) == 0 && r.end > r.start; }

// The BAR index of a "resourceN" path.
size_t bar_of(const std::string &path) { return static_cast<size_t>(path.back() - '0'); }

ssize_t resource_read(SimFile &file, void *buf, size_t count)
{
    PciFunction *fn = function_of(file.ctx);
    if (fn == nullptr)
        return -ENODEV;
    std::string text = pci_sysfs_resource_text(*fn);
    if (file.pos >= static_cast<off_t>(text.size()))
        return 0;
    size_t n = std::min(count, text.size() - static_cast<size_t>(file.pos));
    std::memcpy(buf, text.data() + file.pos, n);
    file.pos += static_cast<off_t>(n);
    return static_cast<ssize_t>(n);
}

int bar_mmap(SimFile &file, SimMapRequest &map)
{
    PciFunction *fn = function_of(file.ctx);
    if (fn == nullptr)
        return -ENODEV;
    PciResource r = resource(*fn, bar_of(file.path));
    if (!is_memory_bar(r))
        return -ENODEV;
    if ((file.flags & O_ACCMODE) == O_RDONLY && (map.prot & PROT_WRITE))
        return -EACCES;
    uint64_t first = r.start & ~(kPage - 1);
    uint64_t pages = ((r.end | (kPage - 1)) + 1) - first;
    auto off = static_cast<uint64_t>(map.offset);
    if (map.offset < 0 || off >= pages || map.length > pages - off)
        return -EINVAL;
    return sim_phys_map(map, first + off);
}

constexpr SimFileOps kResourceOps = {
    .name = "pci-resource", .mode = S_IFREG | 0444, .open = nullptr, .release = nullptr,
    .read = resource_read, .write = nullptr, .requests = nullptr, .requestCount = 0,
    .mmap = nullptr, .munmap = nullptr, .poll = nullptr, .bind = nullptr,
    .setsockopt = nullptr, .sendmsg = nullptr, .recvmsg = nullptr,
};

constexpr SimFileOps kBarOps = {
    .name = "pci-bar", .mode = S_IFREG | 0600, .open = nullptr, .release = nullptr,
    .read = nullptr, .write = nullptr, .requests = nullptr, .requestCount = 0,
    .mmap = bar_mmap, .munmap = nullptr, .poll = nullptr, .bind = nullptr,
    .setsockopt = nullptr, .sendmsg = nullptr, .recvmsg = nullptr,
};

uint32_t io_in(void *, uint16_t port, int width)
{
    uint32_t v = 0;
    for (int i = 0; i < width; i++) {
        auto it = g_ioBytes.find(static_cast<uint16_t>(port + i));
        v |= static_cast<uint32_t>(it == g_ioBytes.end() ? 0 : it->second) << (8 * i);
    }
    return v;
}

void io_out(void *, uint16_t port, uint32_t value, int width)
{
    for (int i = 0; i < width; i++)
        g_ioBytes[static_cast<uint16_t>(port + i)] = static_cast<uint8_t>(value >> (8 * i));
}

} // namespace

std::string pci_sysfs_dir(uint8_t bus, uint8_t devfn)
{
    char text[64];
    std::snprintf(text, sizeof text, "/sys/bus/pci/devices/0000:%02x:%02x.%x", bus, devfn >> 3, devfn & 7);
    return text;
}

std::string pci_sysfs_resource_text(const PciFunction &fn)
{
    std::string out;
    for (size_t i = 0; i < kResourceLines; i++) {
        PciResource r = resource(fn, i);
        char line[80];
        std::snprintf(line, sizeof line, "0x%016llx 0x%016llx 0x%016llx\n", static_cast<unsigned long long>(r.start),
                      static_cast<unsigned long long>(r.end), static_cast<unsigned long long>(r.flags));
        out += line;
    }
    return out;
}

void pci_sysfs_add(const PciFunction &fn)
{
    std::string dir = pci_sysfs_dir(fn.bus, fn.devfn);
    sim_register_file(dir + "/resource", &kResourceOps, key_of(fn));
    for (size_t i = 0; i < kBars; i++) {
        PciResource r = resource(fn, i);
        std::string path = dir + "/resource" + std::to_string(i);
        if (is_memory_bar(r))
            sim_register_file(path, &kBarOps, key_of(fn));
        else if (sim_node_present(path))
            sim_remove_node(path);
        if ((r.flags & 1) && r.end >= r.start && r.end <= 0xFFFF)
            sim_add_ports(SimPortRange{static_cast<uint16_t>(r.start), static_cast<uint16_t>(r.end), nullptr, io_in,
                                       io_out});
    }
}

void pci_sysfs_remove(const PciFunction &fn)
{
    std::string dir = pci_sysfs_dir(fn.bus, fn.devfn);
    sim_remove_node(dir + "/resource");
    for (size_t i = 0; i < kBars; i++)
        if (sim_node_present(dir + "/resource" + std::to_string(i)))
            sim_remove_node(dir + "/resource" + std::to_string(i));
}

void pci_sysfs_reset() { g_ioBytes.clear(); }

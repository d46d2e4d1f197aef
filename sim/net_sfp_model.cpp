#include "sim/net_sfp_model.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <map>
#include <span>
#include <string_view>

#include "sim/board_profile.h"
#include "sim/sim_host.h"

namespace {

constexpr size_t kPage = 256;

struct PageState {
    uint32_t offset = 0;
    uint32_t length = 0;
    std::vector<uint8_t> bytes = std::vector<uint8_t>(kPage, 0);
};

struct Module {
    bool absent = false;
    PageState a0;
    PageState a2;
};

struct NetSfpState {
    std::map<std::string, Module> modules;
    std::vector<std::string> writes;
};

NetSfpState &state()
{
    static NetSfpState *s = new NetSfpState;
    return *s;
}

void put_text(std::vector<uint8_t> &page, size_t offset, std::string_view text)
{
    std::copy(text.begin(), text.end(), page.begin() + static_cast<std::ptrdiff_t>(offset));
}

// A short-reach optical module, its serial number ending in the name.
Module fresh_module(const std::string &name)
{
    Module m;
    std::vector<uint8_t> &a0 = m.a0.bytes;
    a0[0] = 0x03;  // SFP
    a0[1] = 0x04;
    a0[2] = 0x07;  // LC
    a0[3] = 0x10;  // 10GBASE-SR
    a0[16] = 0x08;
    a0[60] = 0x03;  // 850 nm
    a0[61] = 0x52;
    put_text(a0, 20, "QUORBIX OPTICS  ");
    put_text(a0, 40, "QX-SFP10G-SR    ");
    std::string sn = "QXNET" + name;
    sn.resize(16, ' ');
    put_text(a0, 68, sn);
    put_text(a0, 84, "260101  ");
    return m;
}

Module &module(const std::string &name)
{
    auto it = state().modules.find(name);
    if (it == state().modules.end())
        it = state().modules.emplace(name, fresh_module(name)).first;
    return it->second;
}

// "/sys/class/net/NAME/private/FILE" -> NAME and FILE.
void split(const std::string &path, std::string &name, std::string &file)
{
    constexpr std::string_view kDir = "/sys/class/net/";
    std::string rest = path.substr(kDir.size());
    name = rest.substr(0, rest.find('/'));
    file = rest.substr(rest.rfind('/') + 1);
}

PageState &page_of(Module &m, const std::string &file) { return file.find("a0") != std::string::npos ? m.a0 : m.a2; }

ssize_t attr_write(SimFile &f, const void *buf, size_t count)
{
    std::string name, file;
    split(f.path, name, file);
    std::string text(static_cast<const char *>(buf), strnlen(static_cast<const char *>(buf), count));
    state().writes.push_back(file + "=" + text);
    PageState &p = page_of(module(name), file);
    auto value = static_cast<uint32_t>(std::strtoul(text.c_str(), nullptr, 10));
    (file.ends_with("offset") ? p.offset : p.length) = value;
    f.pos += static_cast<off_t>(count);
    return static_cast<ssize_t>(count);
}

ssize_t dump_read(SimFile &f, void *buf, size_t count)
{
    std::string name, file;
    split(f.path, name, file);
    Module &m = module(name);
    if (m.absent)
        return -EPERM;
    PageState &p = page_of(m, file);
    auto pos = static_cast<size_t>(f.pos);
    size_t end = std::min<size_t>(p.length, kPage - std::min<size_t>(p.offset, kPage));
    size_t n = pos >= end ? 0 : std::min(count, end - pos);
    if (n > 0)
        std::memcpy(buf, p.bytes.data() + p.offset + pos, n);
    f.pos += static_cast<off_t>(n);
    return static_cast<ssize_t>(n);
}

constexpr SimFileOps kAttrOps = {.name = "net-sfp-attr", .mode = 0, .open = nullptr, .release = nullptr,
                                 .read = nullptr, .write = attr_write, .requests = nullptr,
                                 .requestCount = 0, .mmap = nullptr, .munmap = nullptr, .poll = nullptr,
                                 .bind = nullptr, .setsockopt = nullptr, .sendmsg = nullptr, .recvmsg = nullptr};
constexpr SimFileOps kDumpOps = {.name = "net-sfp-dump", .mode = 0, .open = nullptr, .release = nullptr,
                                 .read = dump_read, .write = nullptr, .requests = nullptr,
                                 .requestCount = 0, .mmap = nullptr, .munmap = nullptr, .poll = nullptr,
                                 .bind = nullptr, .setsockopt = nullptr, .sendmsg = nullptr, .recvmsg = nullptr};

constexpr const char *kAttrFiles[] = {"a0_offset", "a0_readlen", "a2_offset", "a2_readlen"};
constexpr const char *kDumpFiles[] = {"dumpa0", "dumpa2"};

// ---- each board's interfaces --------------------------------------------------------------

struct NetRow {
    const char *board;
    const char *name;
    const char *pciPath;
    const char *devId;
};
constexpr NetRow kNetRows[] = {
    {"ZK17WENA", "eth0", "pci0000:00/0000:00:01.0/0000:01:00.0", "0x0"},
    {"ZK17WENA", "eth1", "pci0000:00/0000:00:01.0/0000:01:00.0", "0x1"},
    {"ZK17FOLRA", "enp4s0f2", "pci0000:00/0000:00:02.1/0000:04:00.2", "0x0"},
    {"ZK17FOLRA", "enp4s0f3", "pci0000:00/0000:00:02.1/0000:04:00.3", "0x0"},
    {"ZK17FOLRA", "enp7s0", "pci0000:00/0000:00:02.2/0000:07:00.0", "0x0"},
    {"ZK17FOLRA", "enp7s0d1", "pci0000:00/0000:00:02.2/0000:07:00.0", "0x1"},
    {"ZK17FOLRB", "enp9s0", "pci0000:00/0000:00:03.0/0000:09:00.0", "0x0"},
    {"ZK17FOLRB", "enp9s0d1", "pci0000:00/0000:00:03.0/0000:09:00.0", "0x1"},
    {"ZK17FOLRB", "enp131s0", "pci0000:80/0000:80:03.0/0000:83:00.0", "0x0"},
    {"ZK17FOLRB", "enp131s0d1", "pci0000:80/0000:80:03.0/0000:83:00.0", "0x1"},
    {"ZK17WENB", "eth0", "pci0000:00/0000:00:03.0/0000:08:00.0", "0x0"},
    {"ZK17WENB", "eth1", "pci0000:00/0000:00:03.0/0000:08:00.0", "0x1"},
};

// The interfaces of a board that carries this model: its rows, then the
// loopback and a virtual one (neither has a PCI path).
template <typename Each> void each_interface(std::string_view model, Each each)
{
    for (const NetRow &r : kNetRows)
        if (model == r.board)
            each(r.name, r.pciPath, r.devId);
    each("lo", "", "");
    each("dummy0", "", "0x0");
}

bool carries_model(const SimBoardProfile &board)
{
    return std::ranges::any_of(board.devices, [](const SimBoardDevice &d) { return d.attach == net_sfp_model_attach; });
}

// Where an interface's entries go under the root: its status file, and
// with a PCI path the device's directory and the link to it, with an id
// its id file (empty where there is none).
struct InterfacePaths {
    std::string status, devices, device, devId;
};

InterfacePaths interface_paths(const std::string &name, const std::string &pciPath, const std::string &devId)
{
    const std::string dir = "/sys/class/net/" + name;
    InterfacePaths p{dir + "/private/sfp_status", "", "", ""};
    if (!pciPath.empty()) {
        p.devices = "/sys/devices/" + pciPath;
        p.device = dir + "/device";
    }
    if (!devId.empty())
        p.devId = dir + "/dev_id";
    return p;
}

} // namespace

void net_sfp_add_interface(const std::string &name, const std::string &pciPath, const std::string &devId,
                           uint8_t sfpStatus)
{
    const InterfacePaths p = interface_paths(name, pciPath, devId);
    sim_make_dirs("/sys/class/net/" + name + "/private");
    if (!p.devices.empty()) {
        sim_make_dirs(p.devices);
        sim_make_link("../../../devices/" + pciPath, p.device);
    }
    if (!p.devId.empty())
        sim_write_file(p.devId, devId + "\n");
    sim_write_file(p.status, std::string(1, static_cast<char>(sfpStatus)));
}

bool net_sfp_model_attach(const SimBoardProfile &board, SimDoc &saved)
{
    state() = NetSfpState{};
    for (const char *f : kAttrFiles)
        sim_register_pattern(std::string("/sys/class/net/*/private/") + f, &kAttrOps, nullptr);
    for (const char *f : kDumpFiles)
        sim_register_pattern(std::string("/sys/class/net/*/private/") + f, &kDumpOps, nullptr);
    if (sim_board_fresh(saved))
        each_interface(board.model, [](const char *name, const char *pciPath, const char *devId) {
            net_sfp_add_interface(name, pciPath, devId, 1);
        });
    return true;
}

std::vector<SimMade> net_sfp_made(const SimBoardProfile &board)
{
    std::vector<SimMade> made;
    if (!carries_model(board))
        return made;
    each_interface(board.model, [&made](const std::string &name, const std::string &pciPath, const std::string &devId) {
        const InterfacePaths p = interface_paths(name, pciPath, devId);
        made.push_back({p.status, SimMadeKind::File});
        if (!p.devices.empty()) {
            made.push_back({p.devices, SimMadeKind::Dir});
            made.push_back({p.device, SimMadeKind::Link});
        }
        if (!p.devId.empty())
            made.push_back({p.devId, SimMadeKind::File});
    });
    return made;
}

void net_sfp_model_save(SimDoc &) {}

void net_sfp_set_bytes(const std::string &name, uint32_t dev, uint8_t offset, const std::vector<uint8_t> &bytes)
{
    sim_kernel_lock();
    Module &m = module(name);
    std::vector<uint8_t> &page = (dev == 0xA0 ? m.a0 : m.a2).bytes;
    for (size_t i = 0; i < bytes.size() && offset + i < kPage; i++)
        page[offset + i] = bytes[i];
    sim_kernel_unlock();
}

void net_sfp_set_absent(const std::string &name, bool absent)
{
    sim_kernel_lock();
    module(name).absent = absent;
    sim_kernel_unlock();
}

std::vector<std::string> net_sfp_writes()
{
    sim_kernel_lock();
    std::vector<std::string> w = state().writes;
    sim_kernel_unlock();
    return w;
}

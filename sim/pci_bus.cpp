#include "sim/pci_bus.h"
#include "sim/pci_sysfs.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <map>
#include <set>

#include "bases/drv/mch_esb_drv.h"
#include "sim/sim_host.h"

namespace {

struct PciBus {
    std::map<uint16_t, PciFunction> functions;   // bus << 8 | devfn
    std::map<std::string, uint16_t> paths;       // procfs path -> key
    bool domains = false;
    uint32_t address = 0;                        // the 0xCF8 latch
};

PciBus g_bus;

uint16_t key_of(uint8_t bus, uint8_t devfn) { return static_cast<uint16_t>(bus << 8 | devfn); }

uint32_t ones(int width) { return width >= 4 ? 0xFFFFFFFFu : (1u << (8 * width)) - 1; }

// ---- register rules from the function's own lists -----------------------------------------

struct Rules {
    std::map<uint32_t, RegRule> dwords;

    // `bits` of the field `width` bytes at `offset` get rule `kind`.
    void mark(uint32_t offset, int width, uint32_t bits, bool w1c)
    {
        uint32_t shift = 8 * (offset & 3);
        uint64_t mask = static_cast<uint64_t>(bits & ones(width)) << shift;
        RegRule &r = dwords.try_emplace(offset & ~3u, RegRule{offset & ~3u}).first->second;
        (w1c ? r.w1cMask : r.roMask) |= mask & 0xFFFFFFFFu;
    }
    void ro(uint32_t offset, int width) { mark(offset, width, 0xFFFFFFFFu, false); }
};

// Status-like register: error bits 15:11 and 8 write-one-to-clear, the rest read-only.
void status_rules(Rules &r, uint32_t offset)
{
    r.mark(offset, 2, 0xF900, true);
    r.mark(offset, 2, 0x06FF, false);
}

void conventional_rules(const PciBytes &b, Rules &r, int &pcieType)
{
    bool bridge = (b[0x0E] & 0x7F) == 1;
    r.ro(0x00, 4);
    r.ro(0x08, 4);
    r.ro(0x0E, 1);
    status_rules(r, 0x06);
    if (bridge)
        status_rules(r, 0x1E);
    else
        r.ro(0x2C, 4);
    r.ro(0x34, 1);
    if ((pci_get(b, 0x06, 2) & 0x10) == 0)
        return;
    std::set<uint32_t> seen;
    for (uint32_t at = b[0x34] & 0xFCu; at >= 0x40 && at < 0x100 && seen.insert(at).second; at = b[at + 1] & 0xFCu) {
        r.ro(at, 2);
        if (b[at] != 0x10 || at + 0x14 > 0x100)
            continue;
        pcieType = (b[at + 2] >> 4) & 0xF;
        r.mark(at + 0x0A, 2, 0x000F, true);
        r.mark(at + 0x0A, 2, 0xFFF0, false);
        r.mark(at + 0x12, 2, 0xC000, true);
        r.mark(at + 0x12, 2, 0x3FFF, false);
    }
}

void extended_rules(const PciBytes &b, Rules &r, int pcieType)
{
    std::set<uint32_t> seen;
    for (uint32_t at = 0x100; at >= 0x100 && at + 4 <= b.size() && seen.insert(at).second;) {
        uint32_t header = pci_get(b, at, 4);
        if (header == 0 || header == 0xFFFFFFFFu)
            return;
        r.ro(at, 4);
        if ((header & 0xFFFF) == 1 && at + 0x34 <= b.size()) {
            r.mark(at + 0x04, 4, 0xFFFFFFFFu, true);
            r.mark(at + 0x10, 4, 0xFFFFFFFFu, true);
            if (pcieType == 4 || pcieType == 10)
                r.mark(at + 0x30, 4, 0xFFFFFFFFu, true);
        }
        at = (header >> 20) & 0xFFC;
    }
}

// The RAS devices whose global error pair is write-one-to-clear.
constexpr uint16_t kRasIds[] = {0x3423, 0x3C2A, 0x0E2A, 0x2F2A, 0x6F2A};

void ras_rules(const PciBytes &b, Rules &r, size_t size)
{
    if (pci_get(b, 0x00, 2) != 0x8086 || size <= 0x1C8)
        return;
    const uint32_t device = pci_get(b, 0x02, 2);
    if (std::find(std::begin(kRasIds), std::end(kRasIds), device) == std::end(kRasIds))
        return;
    r.mark(0x1C0, 4, 0xFFFFFFFFu, true);
    r.mark(0x1C4, 4, 0xFFFFFFFFu, true);
}

void apply_rules(PciFunction &fn)
{
    fn.rulesStale = false;
    PciBytes b = pci_conf_bytes(fn);
    for (auto &[addr, cell] : fn.regs.cells)
        cell.rule = RegRule{addr};
    Rules r;
    int pcieType = -1;
    conventional_rules(b, r, pcieType);
    if (fn.size > 0x100)
        extended_rules(b, r, pcieType);
    ras_rules(b, r, fn.size);
    for (const auto &[offset, mask] : fn.w1cExtra)
        r.mark(offset, 4, mask, true);
    for (const auto &[addr, rule] : r.dwords)
        reg_set_rule(fn.regs, rule);
}

PciFunction *by_path(const std::string &path)
{
    auto it = g_bus.paths.find(path);
    return it == g_bus.paths.end() ? nullptr : pci_bus_find(static_cast<uint8_t>(it->second >> 8),
                                                            static_cast<uint8_t>(it->second));
}

// ---- the per-function files -----------------------------------------------------------------

ssize_t fn_read(SimFile &file, void *buf, size_t count)
{
    PciFunction *fn = by_path(file.path);
    if (fn == nullptr)
        return -ENODEV;
    if (file.pos < 0 || static_cast<size_t>(file.pos) >= fn->size)
        return 0;
    size_t n = std::min(count, fn->size - static_cast<size_t>(file.pos));
    auto *out = static_cast<uint8_t *>(buf);
    for (size_t i = 0; i < n; i++)
        out[i] = static_cast<uint8_t>(pci_conf_read(*fn, static_cast<uint32_t>(file.pos) + static_cast<uint32_t>(i), 1));
    file.pos += static_cast<off_t>(n);
    return static_cast<ssize_t>(n);
}

ssize_t fn_write(SimFile &file, const void *buf, size_t count)
{
    PciFunction *fn = by_path(file.path);
    if (fn == nullptr)
        return -ENODEV;
    if (file.pos < 0 || static_cast<size_t>(file.pos) >= fn->size)
        return 0;
    size_t n = std::min(count, fn->size - static_cast<size_t>(file.pos));
    const auto *in = static_cast<const uint8_t *>(buf);
    // Whole dwords where the write covers them, so a register is written once.
    for (size_t i = 0; i < n;) {
        uint32_t at = static_cast<uint32_t>(file.pos) + static_cast<uint32_t>(i);
        int width = (at & 3) == 0 && n - i >= 4 ? 4 : (at & 1) == 0 && n - i >= 2 && (at & 3) != 3 ? 2 : 1;
        uint32_t v = 0;
        for (int k = 0; k < width; k++)
            v |= static_cast<uint32_t>(in[i + static_cast<size_t>(k)]) << (8 * k);
        pci_conf_write(*fn, at, v, width);
        i += static_cast<size_t>(width);
    }
    file.pos += static_cast<off_t>(n);
    return static_cast<ssize_t>(n);
}

constexpr SimFileOps kFunctionOps = {
    .name = "pci-function", .mode = 0, .open = nullptr, .release = nullptr, .read = fn_read, .write = fn_write,
    .requests = nullptr, .requestCount = 0, .mmap = nullptr, .munmap = nullptr, .poll = nullptr,
    .bind = nullptr, .setsockopt = nullptr, .sendmsg = nullptr, .recvmsg = nullptr,
};

// ---- the devices file -------------------------------------------------------------------------

ssize_t devices_read(SimFile &file, void *buf, size_t count)
{
    std::string text = pci_devices_text();
    if (file.pos < 0 || static_cast<size_t>(file.pos) >= text.size())
        return 0;
    size_t n = std::min(count, text.size() - static_cast<size_t>(file.pos));
    std::memcpy(buf, text.data() + file.pos, n);
    file.pos += static_cast<off_t>(n);
    return static_cast<ssize_t>(n);
}

constexpr SimFileOps kDevicesOps = {
    .name = "pci-devices", .mode = 0, .open = nullptr, .release = nullptr, .read = devices_read, .write = nullptr,
    .requests = nullptr, .requestCount = 0, .mmap = nullptr, .munmap = nullptr, .poll = nullptr,
    .bind = nullptr, .setsockopt = nullptr, .sendmsg = nullptr, .recvmsg = nullptr,
};

// ---- ports 0xCF8-0xCFF ------------------------------------------------------------------------

PciFunction *selected(uint32_t &offset)
{
    uint32_t a = g_bus.address;
    offset = a & 0xFC;
    if ((a & 0x80000000u) == 0)
        return nullptr;
    return pci_bus_find(static_cast<uint8_t>(a >> 16), static_cast<uint8_t>(a >> 8));
}

uint32_t port_in(void *, uint16_t port, int width)
{
    if (port == 0xCF8 && width == 4)
        return g_bus.address;
    uint32_t offset = 0;
    PciFunction *fn = port >= 0xCFC ? selected(offset) : nullptr;
    return fn ? pci_conf_read(*fn, offset + (port - 0xCFCu), width) : ones(width);
}

void port_out(void *, uint16_t port, uint32_t value, int width)
{
    if (port == 0xCF8 && width == 4) {
        g_bus.address = value;
        return;
    }
    uint32_t offset = 0;
    if (PciFunction *fn = port >= 0xCFC ? selected(offset) : nullptr)
        pci_conf_write(*fn, offset + (port - 0xCFCu), value, width);
}

// ---- the chipset driver node -------------------------------------------------------------------

ssize_t drv_write(SimFile &, const void *buf, size_t count)
{
    if (count != sizeof(tvk_drv_request))
        return -EINVAL;
    tvk_drv_request rq;
    std::memcpy(&rq, buf, sizeof rq);
    int width = rq.ucWidth;
    bool read = rq.usOperation == TVK_DRV_OP_READ;
    if ((width != 1 && width != 2 && width != 4) || (!read && rq.usOperation != TVK_DRV_OP_WRITE))
        return -EINVAL;
    if (rq.usDevice > 31 || rq.usFunction > 7 || rq.usBus > 255 || rq.ulRegister + static_cast<uint64_t>(width) > 0x1000)
        return -EINVAL;
    PciFunction *fn = pci_bus_find(static_cast<uint8_t>(rq.usBus), static_cast<uint8_t>(rq.usDevice << 3 | rq.usFunction));
    if (read) {
        rq.ulValue = fn && rq.ulRegister < fn->size ? pci_conf_read(*fn, rq.ulRegister, width) : ones(width);
        // The driver answers in the caller's record.
        std::memcpy(const_cast<void *>(buf), &rq, sizeof rq);
    } else if (fn && rq.ulRegister < fn->size) {
        pci_conf_write(*fn, rq.ulRegister, rq.ulValue & ones(width), width);
    }
    return static_cast<ssize_t>(count);
}

constexpr SimFileOps kDriverOps = {
    .name = "mch_esb_dev", .mode = 0, .open = nullptr, .release = nullptr, .read = nullptr, .write = drv_write,
    .requests = nullptr, .requestCount = 0, .mmap = nullptr, .munmap = nullptr, .poll = nullptr,
    .bind = nullptr, .setsockopt = nullptr, .sendmsg = nullptr, .recvmsg = nullptr,
};

void register_function(PciFunction &fn)
{
    std::string path = pci_bus_path(fn.bus, fn.devfn);
    g_bus.paths[path] = key_of(fn.bus, fn.devfn);
    sim_register_file(path, &kFunctionOps, nullptr);
    pci_sysfs_add(fn);
}

void unregister_functions()
{
    for (const auto &[path, key] : g_bus.paths)
        sim_remove_node(path);
    for (auto &[key, fn] : g_bus.functions)
        pci_sysfs_remove(fn);
    g_bus.paths.clear();
}

std::string slot_text(uint8_t bus, uint8_t devfn)
{
    char text[16];
    std::snprintf(text, sizeof text, "%02x:%02x.%x", bus, devfn >> 3, devfn & 7);
    return text;
}

} // namespace

// ---- the store ---------------------------------------------------------------------------------

void pci_bus_reset()
{
    unregister_functions();
    g_bus = PciBus{};
    pci_sysfs_reset();
}

void pci_bus_attach_nodes()
{
    sim_register_file("/proc/bus/pci/devices", &kDevicesOps, nullptr);
    sim_register_file(TVK_DRV_NODE, &kDriverOps, nullptr);
    sim_add_ports(SimPortRange{0xCF8, 0xCFF, nullptr, port_in, port_out});
}

void pci_bus_set_domains(bool on)
{
    unregister_functions();
    g_bus.domains = on;
    for (auto &[key, fn] : g_bus.functions)
        register_function(fn);
}

std::string pci_bus_path(uint8_t bus, uint8_t devfn)
{
    char text[48];
    std::snprintf(text, sizeof text, "/proc/bus/pci/%s%02x/%02x.%x", g_bus.domains ? "0000:" : "", bus, devfn >> 3,
                  devfn & 7);
    return text;
}

PciFunction &pci_bus_add(uint8_t bus, uint8_t devfn, const PciBytes &bytes)
{
    PciFunction &fn = g_bus.functions[key_of(bus, devfn)];
    fn = PciFunction{};
    fn.bus = bus;
    fn.devfn = devfn;
    fn.size = bytes.size() > 0x100 ? 0x1000 : 0x100;
    reg_file_reset(fn.regs, {});
    PciBytes padded = bytes;
    padded.resize(fn.size, 0);
    pci_conf_poke(fn, 0, padded);
    register_function(fn);
    return fn;
}

PciFunction *pci_bus_find(uint8_t bus, uint8_t devfn)
{
    auto it = g_bus.functions.find(key_of(bus, devfn));
    return it == g_bus.functions.end() ? nullptr : &it->second;
}

std::vector<PciFunction *> pci_bus_functions()
{
    std::vector<PciFunction *> out;
    for (auto &[key, fn] : g_bus.functions)
        out.push_back(&fn);
    return out;
}

uint32_t pci_conf_read(PciFunction &fn, uint32_t offset, int width)
{
    if (fn.rulesStale)
        apply_rules(fn);
    uint32_t v = 0;
    for (int k = 0; k < width; k++) {
        uint32_t at = offset + static_cast<uint32_t>(k);
        uint64_t dword = at < fn.size ? reg_read(fn.regs, at & ~3u) : 0xFFFFFFFFu;
        v |= static_cast<uint32_t>((dword >> (8 * (at & 3))) & 0xFF) << (8 * k);
    }
    return v;
}

void pci_conf_write(PciFunction &fn, uint32_t offset, uint32_t value, int width)
{
    if (fn.rulesStale)
        apply_rules(fn);
    // One register write per dword touched; bytes not written keep their
    // value and clear no status bit.
    for (int k = 0; k < width;) {
        uint32_t at = offset + static_cast<uint32_t>(k);
        uint32_t base = at & ~3u;
        if (at >= fn.size)
            return;
        uint32_t mask = 0, bits = 0;
        for (; k < width && ((offset + static_cast<uint32_t>(k)) & ~3u) == base; k++) {
            uint32_t shift = 8 * ((offset + static_cast<uint32_t>(k)) & 3);
            mask |= 0xFFu << shift;
            bits |= ((value >> (8 * k)) & 0xFF) << shift;
        }
        const RegRule *rule = reg_rule(fn.regs, base);
        uint32_t w1c = rule ? static_cast<uint32_t>(rule->w1cMask) : 0;
        uint32_t current = static_cast<uint32_t>(reg_peek(fn.regs, base));
        reg_write(fn.regs, base, (current & ~mask & ~w1c) | (bits & mask));
        if (fn.written != nullptr)
            fn.written(fn, base);
    }
}

PciBytes pci_conf_bytes(const PciFunction &fn)
{
    PciBytes b(fn.size);
    for (size_t at = 0; at < fn.size; at += 4)
        pci_put(b, at, static_cast<uint32_t>(reg_peek(fn.regs, at)), 4);
    return b;
}

void pci_conf_poke(PciFunction &fn, uint32_t offset, const PciBytes &bytes)
{
    for (size_t i = 0; i < bytes.size() && offset + i < fn.size; i++) {
        uint64_t at = offset + i;
        uint64_t base = at & ~uint64_t{3};
        uint64_t shift = 8 * (at & 3);
        uint64_t v = reg_peek(fn.regs, base);
        reg_set(fn.regs, base, (v & ~(uint64_t{0xFF} << shift)) | uint64_t{bytes[i]} << shift);
    }
    fn.rulesStale = true;
}

std::string pci_devices_text()
{
    std::string out;
    char field[64];
    for (auto &[key, fn] : g_bus.functions) {
        PciBytes b = pci_conf_bytes(fn);
        int irq = fn.irq >= 0 ? fn.irq : b[0x3C];
        std::snprintf(field, sizeof field, "%02x%02x\t%04x%04x\t%x", fn.bus, fn.devfn, pci_get(b, 0, 2), pci_get(b, 2, 2),
                      static_cast<unsigned>(irq));
        out += field;
        for (size_t i = 0; i < 7; i++) {
            PciResource r = i < fn.resources.size() ? fn.resources[i] : PciResource{};
            std::snprintf(field, sizeof field, "\t%16llx", static_cast<unsigned long long>(r.start | (r.flags & 0xF)));
            out += field;
        }
        for (size_t i = 0; i < 7; i++) {
            PciResource r = i < fn.resources.size() ? fn.resources[i] : PciResource{};
            uint64_t size = r.start < r.end ? r.end - r.start + 1 : 0;
            std::snprintf(field, sizeof field, "\t%16llx", static_cast<unsigned long long>(size));
            out += field;
        }
        out += "\t" + fn.driver + "\n";
    }
    return out;
}

// ---- saved board -------------------------------------------------------------------------------

// A memory BAR lies inside the simulated memory, whose pages its mappings
// reach.
bool pci_resource_ok(const PciResource &r)
{
    return (r.flags & 1) != 0 || r.end <= r.start || r.end < kSimPhysSize;
}

bool pci_driver_name_ok(std::string_view name)
{
    return name.size() <= kPciMaxDriverName &&
           std::all_of(name.begin(), name.end(), [](char c) { return c > ' ' && c < 0x7F; });
}

namespace {


bool load_function_item(SimDoc &saved, const SimDocEntry &e, std::string_view what, PciFunction &fn)
{
    if (what == "irq") {
        uint64_t irq = 0;
        if (!saved.get(e, irq, INT32_MAX))
            return false;
        fn.irq = static_cast<int>(irq);
        return true;
    }
    if (what == "driver") {
        if (!saved.get_text(e, fn.driver, kPciMaxDriverName))
            return false;
        return pci_driver_name_ok(fn.driver) || saved.fail(e.line, "'" + e.key + "' is not a driver name");
    }
    std::vector<uint64_t> list;
    if (what != "resources")
        return saved.fail(e.line, "pci: entry '" + e.key + "' not understood");
    if (!saved.get(e, list, 3 * kPciResourceSlots, UINT64_MAX) || list.size() % 3 != 0)
        return saved.fail(e.line, "resources are START END FLAGS triples");
    for (size_t i = 0; i < list.size(); i += 3) {
        const PciResource r{list[i], list[i + 1], list[i + 2]};
        if (!pci_resource_ok(r))
            return saved.fail(e.line, "'" + e.key + "': resource " + sim_doc_hex(r.start) + "-" + sim_doc_hex(r.end) +
                                          " is not a range of the simulated memory");
        fn.resources.push_back(r);
    }
    pci_sysfs_add(fn);
    return true;
}

bool load_entry(SimDoc &saved, const SimDocEntry &e)
{
    auto words = sim_doc_words(e.key);
    unsigned bus = 0, dev = 0, func = 0;
    char end = 0;
    if (words.size() != 2 ||
        std::sscanf(std::string(words[1]).c_str(), "%2x:%2x.%1x%c", &bus, &dev, &func, &end) != 3 || dev > 0x1F ||
        func > 7)
        return saved.fail(e.line, "pci: entry '" + e.key + "' not understood");
    const auto devfn = static_cast<uint8_t>(dev << 3 | func);
    if (words[0] == "function") {
        PciBytes bytes;
        if (!saved.get_bytes(e, bytes, 0x100, 0x1000))
            return false;
        if (bytes.size() != 0x100 && bytes.size() != 0x1000)
            return saved.fail(e.line, "'" + e.key + "' holds " + std::to_string(bytes.size()) +
                                          " bytes, 256 or 4096 expected");
        pci_bus_add(static_cast<uint8_t>(bus), devfn, bytes);
        return true;
    }
    PciFunction *fn = pci_bus_find(static_cast<uint8_t>(bus), devfn);
    if (fn == nullptr)
        return saved.fail(e.line, "pci: '" + e.key + "' names no saved function");
    return load_function_item(saved, e, words[0], *fn);
}

} // namespace

bool pci_bus_attach(SimDoc &saved)
{
    pci_bus_reset();
    pci_bus_attach_nodes();
    const SimDocSection *section = saved.find("pci");
    if (section == nullptr)
        return true;
    for (const SimDocEntry &e : section->entries) {
        uint64_t domains = 0;
        if (e.key == "domains") {
            if (!saved.get(e, domains, 1))
                return false;
            g_bus.domains = domains != 0;
        } else if (!load_entry(saved, e)) {
            return false;
        }
    }
    return true;
}

void pci_bus_save(SimDoc &doc)
{
    if (g_bus.functions.empty())
        return;
    SimDocSection &s = doc.section("pci");
    if (g_bus.domains)
        s.put("domains", 1);
    for (auto &[key, fn] : g_bus.functions) {
        std::string slot = slot_text(fn.bus, fn.devfn);
        s.put_bytes("function " + slot, pci_conf_bytes(fn));
        if (fn.irq >= 0)
            s.put("irq " + slot, static_cast<uint64_t>(fn.irq));
        if (!fn.driver.empty())
            s.put_text("driver " + slot, fn.driver);
        std::vector<uint64_t> list;
        for (const PciResource &r : fn.resources)
            list.insert(list.end(), {r.start, r.end, r.flags});
        if (!list.empty())
            s.put("resources " + slot, list);
    }
}

void pci_bus_w1c(PciFunction &fn, uint32_t offset, uint32_t mask)
{
    fn.w1cExtra[offset & ~3u] |= mask << (8 * (offset & 3));
    fn.rulesStale = true;
}

void pci_bus_event(PciFunction &fn, uint32_t offset, uint32_t bits, uint64_t delayNs)
{
    fn.regs.pending[offset & ~3u].push_back(
        RegPending{uint64_t{bits} << (8 * (offset & 3)), 0, std::nullopt, sim_clock_ns() + delayNs});
}

// The PCI bus's fixture lines (a configuration dump), its builders and the
// default board's tree.
#include <cctype>
#include <cstdio>
#include <stdexcept>

#include "sim/pci_bus.h"
#include "sim/pci_sysfs.h"
#include "sim/sim_host.h"

namespace {

constexpr char kDefaultTree[] =
#include "sim/pci_default_tree.inc"
    ;

bool hex_word(std::string_view w, size_t maxDigits)
{
    if (w.empty() || w.size() > maxDigits)
        return false;
    for (char c : w)
        if (!std::isxdigit(static_cast<unsigned char>(c)))
            return false;
    return true;
}

// "BB:DD.F" or "DDDD:BB:DD.F".
bool parse_slot(std::string_view w, unsigned &domain, unsigned &bus, unsigned &devfn, std::string &error)
{
    unsigned dev = 0, fn = 0;
    std::string s(w);
    int n = 0;
    bool ok = (std::sscanf(s.c_str(), "%4x:%2x:%2x.%1x%n", &domain, &bus, &dev, &fn, &n) == 4 ||
               (domain = 0, std::sscanf(s.c_str(), "%2x:%2x.%1x%n", &bus, &dev, &fn, &n) == 3)) &&
              static_cast<size_t>(n) == s.size();
    if (!ok || dev > 31 || fn > 7) {
        error = "'" + s + "' is not a function address";
        return false;
    }
    devfn = dev << 3 | fn;
    return true;
}

bool is_slot(std::string_view w)
{
    std::string error;
    unsigned domain = 0, bus = 0, devfn = 0;
    return w.find('.') != std::string_view::npos && parse_slot(w, domain, bus, devfn, error);
}

bool is_row(std::string_view w) { return w.size() >= 2 && w.back() == ':' && hex_word(w.substr(0, w.size() - 1), 3); }

struct FixtureState {
    bool have = false;
    uint8_t bus = 0;
    uint8_t devfn = 0;
};

FixtureState g_fixture;

PciFunction *current(std::string &error)
{
    PciFunction *fn = g_fixture.have ? pci_bus_find(g_fixture.bus, g_fixture.devfn) : nullptr;
    if (fn == nullptr)
        error = "no function line before this one";
    return fn;
}

bool number(std::string_view w, uint64_t &out, std::string &error)
{
    if (sim_doc_number(w, out))
        return true;
    error = "'" + std::string(w) + "' is not a number";
    return false;
}

bool row_line(const std::vector<std::string> &w, std::string &error)
{
    PciFunction *fn = current(error);
    if (fn == nullptr)
        return false;
    uint32_t offset = static_cast<uint32_t>(std::stoul(w[0].substr(0, w[0].size() - 1), nullptr, 16));
    PciBytes bytes;
    for (size_t i = 1; i < w.size(); i++) {
        if (!hex_word(w[i], 2)) {
            error = "'" + w[i] + "' is not a byte";
            return false;
        }
        bytes.push_back(static_cast<uint8_t>(std::stoul(w[i], nullptr, 16)));
    }
    if (bytes.size() > 16 || offset + bytes.size() > 0x1000) {
        error = "a row holds at most 16 bytes within 4096";
        return false;
    }
    if (offset + bytes.size() > fn->size) {
        PciBytes all = pci_conf_bytes(*fn);
        all.resize(0x1000, 0);
        PciFunction keep = *fn;
        fn = &pci_bus_add(keep.bus, keep.devfn, all);
        fn->irq = keep.irq;
        fn->driver = keep.driver;
        fn->resources = keep.resources;
    }
    pci_conf_poke(*fn, offset, bytes);
    return true;
}

bool words_of(std::string_view line, std::vector<std::string> &w, std::string &error)
{
    return sim_doc_tokens(line, w, error);
}

// "pci-w1c OFFSET MASK" and "pci-event OFFSET BITS MS" of the current function.
bool register_line(const std::vector<std::string> &w, std::string &error)
{
    const bool event = w[0] == "pci-event";
    const char *usage = event ? "usage: pci-event OFFSET BITS MS" : "usage: pci-w1c OFFSET MASK";
    PciFunction *fn = current(error);
    if (fn == nullptr)
        return false;
    uint64_t v[3] = {};
    if (w.size() != (event ? 4u : 3u))
        return error = usage, false;
    for (size_t i = 1; i < w.size(); i++)
        if (!number(w[i], v[i - 1], error))
            return false;
    if (v[0] + 4 > fn->size || v[1] > 0xFFFFFFFFu || (v[1] << (8 * (v[0] & 3))) > 0xFFFFFFFFu)
        return error = "register outside the function's space", false;
    const auto offset = static_cast<uint32_t>(v[0]), bits = static_cast<uint32_t>(v[1]);
    if (event)
        pci_bus_event(*fn, offset, bits, v[2] * 1000000u);
    else
        pci_bus_w1c(*fn, offset, bits);
    return true;
}

} // namespace

bool pci_fixture_owns(std::string_view word)
{
    return word == "irq" || word == "driver" || word == "resource" || word == "pci-domains" || word == "pci-w1c" ||
           word == "pci-event" || is_row(word) ||
           is_slot(word);
}

bool pci_fixture_line(std::string_view line, std::string &error)
{
    std::vector<std::string> w;
    if (!words_of(line, w, error))
        return false;
    if (w.empty())
        return true;
    if (is_row(w[0]))
        return row_line(w, error);
    if (w[0] == "pci-domains") {
        pci_bus_set_domains(true);
        return true;
    }
    if (w[0] == "pci-w1c" || w[0] == "pci-event")
        return register_line(w, error);
    if (w[0] != "irq" && w[0] != "driver" && w[0] != "resource") {
        unsigned domain = 0, bus = 0, devfn = 0;
        if (!parse_slot(w[0], domain, bus, devfn, error))
            return false;
        if (domain != 0)
            return error = "'" + w[0] + "': only domain 0 is simulated", false;
        pci_bus_add(static_cast<uint8_t>(bus), static_cast<uint8_t>(devfn), {});
        g_fixture = FixtureState{true, static_cast<uint8_t>(bus), static_cast<uint8_t>(devfn)};
        return true;
    }
    PciFunction *fn = current(error);
    if (fn == nullptr)
        return false;
    if (w[0] == "driver") {
        if (w.size() != 2)
            return error = "usage: driver NAME", false;
        if (!pci_driver_name_ok(w[1]))
            return error = "a driver name is one word of printable ASCII, at most " +
                           std::to_string(kPciMaxDriverName) + " bytes",
                   false;
        fn->driver = w[1];
        return true;
    }
    uint64_t v[3] = {};
    size_t want = w[0] == "irq" ? 1 : 3;
    if (w.size() != want + 1)
        return error = w[0] == "irq" ? "usage: irq N" : "usage: resource START END FLAGS", false;
    for (size_t i = 0; i < want; i++)
        if (!number(w[i + 1], v[i], error))
            return false;
    if (w[0] == "irq")
        fn->irq = static_cast<int>(v[0] & 0x7FFFFFFF);
    else if (fn->resources.size() >= kPciResourceSlots)
        return error = "a function has at most " + std::to_string(kPciResourceSlots) + " resources", false;
    else if (!pci_resource_ok(PciResource{v[0], v[1], v[2]}))
        return error = "a memory resource ends below " + sim_doc_hex(kSimPhysSize) + ", the end of physical memory",
               false;
    else
        fn->resources.push_back(PciResource{v[0], v[1], v[2]});
    pci_sysfs_add(*fn);
    return true;
}

// Null-terminated: data() serves as a C text.
std::string_view pci_default_tree() { return kDefaultTree; }

// ---- builders ----------------------------------------------------------------------------------

void pci_put(PciBytes &b, size_t offset, uint32_t value, int width)
{
    for (int k = 0; k < width && offset + static_cast<size_t>(k) < b.size(); k++)
        b[offset + static_cast<size_t>(k)] = static_cast<uint8_t>(value >> (8 * k));
}

uint32_t pci_get(const PciBytes &b, size_t offset, int width)
{
    uint32_t v = 0;
    for (int k = 0; k < width && offset + static_cast<size_t>(k) < b.size(); k++)
        v |= static_cast<uint32_t>(b[offset + static_cast<size_t>(k)]) << (8 * k);
    return v;
}

PciBytes pci_build_endpoint(uint16_t vendor, uint16_t device, uint32_t classCode, uint8_t rev, size_t size)
{
    PciBytes b(size > 0x100 ? 0x1000 : 0x100, 0);
    pci_put(b, 0x00, vendor, 2);
    pci_put(b, 0x02, device, 2);
    pci_put(b, 0x04, 0x0007, 2);
    pci_put(b, 0x08, classCode << 8 | rev, 4);
    return b;
}

PciBytes pci_build_bridge(uint16_t vendor, uint16_t device, uint8_t primary, uint8_t secondary, uint8_t subordinate,
                          size_t size)
{
    PciBytes b = pci_build_endpoint(vendor, device, 0x060400, 0, size);
    b[0x0E] = 1;
    b[0x18] = primary;
    b[0x19] = secondary;
    b[0x1A] = subordinate;
    return b;
}

void pci_build_cap(PciBytes &b, uint8_t at, uint8_t id)
{
    b[0x06] |= 0x10;
    if (b[0x34] == 0) {
        b[0x34] = at;
    } else {
        uint8_t p = b[0x34];
        for (int guard = 0; b[p + 1u] != 0 && guard < 48; guard++)
            p = b[p + 1u];
        b[p + 1u] = at;
    }
    b[at] = id;
    b[at + 1u] = 0;
}

void pci_build_ext_cap(PciBytes &b, uint16_t at, uint16_t id, uint8_t version)
{
    if (b.size() < 0x1000 || at < 0x100 || at > 0xFFC)
        throw std::invalid_argument("an extended capability needs a 4096-byte function and 0x100-0xFFC");
    if (at != 0x100) {
        uint32_t p = 0x100;
        for (int guard = 0; ((pci_get(b, p, 4) >> 20) & 0xFFC) != 0 && guard < 960; guard++)
            p = (pci_get(b, p, 4) >> 20) & 0xFFC;
        pci_put(b, p, pci_get(b, p, 4) | static_cast<uint32_t>(at) << 20, 4);
    }
    pci_put(b, at, id | static_cast<uint32_t>(version & 0xF) << 16, 4);
}

void pci_build_pcie(PciBytes &b, uint8_t at, uint8_t portType)
{
    pci_build_cap(b, at, 0x10);
    pci_put(b, at + 2u, 2u | static_cast<uint32_t>(portType & 0xF) << 4, 2);
}

void pci_build_aer(PciBytes &b, uint16_t at) { pci_build_ext_cap(b, at, 0x0001, 1); }

std::string pci_dump_text(const std::vector<PciDumpFunction> &functions)
{
    std::string out;
    char text[80];
    for (const PciDumpFunction &f : functions) {
        std::snprintf(text, sizeof text, "%02x:%02x.%x ", f.bus, f.devfn >> 3, f.devfn & 7);
        out += text + f.title + "\n";
        for (size_t at = 0; at < f.bytes.size(); at += 16) {
            std::snprintf(text, sizeof text, at < 0x100 ? "%02zx:" : "%03zx:", at);
            out += text;
            for (size_t k = at; k < at + 16 && k < f.bytes.size(); k++) {
                std::snprintf(text, sizeof text, " %02x", f.bytes[k]);
                out += text;
            }
            out += "\n";
        }
        out += "\n";
    }
    return out;
}

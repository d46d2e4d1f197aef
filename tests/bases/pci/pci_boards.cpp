#include "pci_boards.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>

namespace {

bool hex_word(const std::string &s, size_t at, uint16_t &out)
{
    if (s.size() < at + 4)
        return false;
    unsigned v = 0;
    for (size_t i = at; i < at + 4; i++) {
        char c = s[i];
        int d = c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
        if (d < 0)
            return false;
        v = v << 4 | static_cast<unsigned>(d);
    }
    out = static_cast<uint16_t>(v);
    return true;
}

unsigned hex_byte(const std::string &s, size_t at) { return static_cast<unsigned>(std::stoul(s.substr(at, 2), nullptr, 16)); }

using Rng = std::mt19937;

template <class T> const T &pick(Rng &rng, const std::vector<T> &v)
{
    return v[std::uniform_int_distribution<size_t>(0, v.size() - 1)(rng)];
}
bool coin(Rng &rng, int percent) { return std::uniform_int_distribution<int>(0, 99)(rng) < percent; }
uint16_t any_id(Rng &rng) { return static_cast<uint16_t>(std::uniform_int_distribution<unsigned>(1, 0xFFFE)(rng)); }

// AER status bits that the reader names.
constexpr uint32_t kUncorBits = 0x3FF030;  // 4, 5, 12..21
constexpr uint32_t kCorBits = 0xF1C1;      // 0, 6, 7, 8, 12..15

struct Gen {
    Rng rng;
    const GenIds &ids;
    GenBoard board;
    unsigned nextBus = 1;

    // Vendor and device: mostly named, some with an unknown device, some
    // with an unknown vendor; the named device when there is one.
    const GenIds::Device *pick_ids(uint16_t &vendor, uint16_t &device)
    {
        const GenIds::Vendor *v = nullptr;
        do
            v = &pick(rng, ids.vendors);
        while (v->devices.empty());
        int roll = std::uniform_int_distribution<int>(0, 99)(rng);
        if (roll < 15) {  // unknown vendor
            do
                vendor = any_id(rng);
            while (std::any_of(ids.vendors.begin(), ids.vendors.end(), [&](const auto &x) { return x.id == vendor; }));
            device = any_id(rng);
            return nullptr;
        }
        vendor = v->id;
        if (roll < 30) {  // unknown device
            do
                device = any_id(rng);
            while (std::any_of(v->devices.begin(), v->devices.end(), [&](const auto &x) { return x.id == device; }));
            return nullptr;
        }
        const GenIds::Device &d = pick(rng, v->devices);
        device = d.id;
        return &d;
    }

    uint32_t pick_class()
    {
        uint16_t cls = 0;
        do
            cls = pick(rng, ids.classes);
        while ((cls >> 8) == 0 || (cls >> 8) == 6);
        if (coin(rng, 20)) {  // a sub-class the file does not name
            uint16_t base = cls & 0xFF00;
            do
                cls = static_cast<uint16_t>(base | std::uniform_int_distribution<unsigned>(0, 0xFF)(rng));
            while (std::find(ids.classes.begin(), ids.classes.end(), cls) != ids.classes.end());
        }
        return static_cast<uint32_t>(cls) << 8;
    }

    // A chain of standard capabilities (the PCI Express one among them for
    // `express`) at shuffled offsets, in shuffled order.
    void add_caps(GenFunction &f, bool express, uint8_t portType)
    {
        std::vector<uint8_t> offsets = {0x40, 0x50, 0x60, 0x70, 0x80, 0x90, 0xA0, 0xB0};
        std::shuffle(offsets.begin(), offsets.end(), rng);
        std::vector<uint8_t> idsWanted;
        for (uint8_t id : {uint8_t{0x01}, uint8_t{0x05}, uint8_t{0x11}})
            if (coin(rng, 60))
                idsWanted.push_back(id);
        if (express)
            idsWanted.push_back(0x10);
        std::shuffle(idsWanted.begin(), idsWanted.end(), rng);
        size_t k = 0;
        for (uint8_t id : idsWanted) {
            uint8_t at = id == 0x10 ? 0xC0 : offsets[k++];
            if (id == 0x10)
                pci_build_pcie(f.bytes, at, portType);
            else
                pci_build_cap(f.bytes, at, id);
            f.caps.emplace_back(at, id);
        }
    }

    void add_ext(GenFunction &f)
    {
        std::vector<uint16_t> list = {0x0001};
        if (coin(rng, 50))
            list.push_back(0x0003);  // device serial number
        if (coin(rng, 50))
            list.push_back(0x000E);  // alternative routing id
        std::shuffle(list.begin(), list.end(), rng);
        uint16_t at = 0x100;
        for (uint16_t id : list) {
            pci_build_ext_cap(f.bytes, at, id, 1);
            f.ext.emplace_back(at, id);
            if (id == 1) {
                f.aer = at;
                pci_put(f.bytes, at + 4u, static_cast<uint32_t>(rng()) & kUncorBits, 4);
                pci_put(f.bytes, at + 0x10u, static_cast<uint32_t>(rng()) & kCorBits, 4);
            }
            at = static_cast<uint16_t>(at + 0x40);
        }
    }

    void endpoint(uint8_t bus, uint8_t devfn, bool multi)
    {
        GenFunction f;
        f.bus = bus;
        f.devfn = devfn;
        uint16_t vendor = 0, device = 0;
        const GenIds::Device *named = pick_ids(vendor, device);
        bool express = coin(rng, 60);
        f.bytes = pci_build_endpoint(vendor, device, pick_class(), static_cast<uint8_t>(rng()), express ? 4096 : 256);
        if (multi)
            f.bytes[0x0E] |= 0x80;
        uint16_t sv = 0, sd = 0;
        if (named && !named->subsystems.empty() && coin(rng, 60)) {
            std::tie(sv, sd) = pick(rng, named->subsystems);
            f.namedSubsystem = true;
        } else {
            do {
                sv = any_id(rng);
                sd = any_id(rng);
            } while (named && std::find(named->subsystems.begin(), named->subsystems.end(), std::make_pair(sv, sd)) !=
                                  named->subsystems.end());
        }
        pci_put(f.bytes, 0x2C, sv, 2);
        pci_put(f.bytes, 0x2E, sd, 2);
        add_caps(f, express, 0);
        if (express)
            add_ext(f);
        board.functions.push_back(std::move(f));
    }

    // A bridge at (bus, devfn) and the tree behind it; `level` 1 for a root port.
    void bridge(uint8_t bus, uint8_t devfn, int level, int maxLevel)
    {
        const auto secondary = static_cast<uint8_t>(nextBus++);
        size_t self = board.functions.size();
        GenFunction f;
        f.bus = bus;
        f.devfn = devfn;
        f.bridge = true;
        uint16_t vendor = 0, device = 0;
        (void)pick_ids(vendor, device);
        bool express = level == 1 || coin(rng, 70);
        f.bytes = pci_build_bridge(vendor, device, bus, secondary, secondary, express ? 4096 : 256);
        f.bytes[0x08] = static_cast<uint8_t>(rng());
        add_caps(f, express, level == 1 ? 4 : 6);
        if (express)
            add_ext(f);
        board.functions.push_back(std::move(f));
        int children = std::uniform_int_distribution<int>(1, 3)(rng);
        for (int dev = 0; dev < children; dev++) {
            auto child = static_cast<uint8_t>(dev << 3);
            if (level < maxLevel && coin(rng, 50)) {
                bridge(secondary, child, level + 1, maxLevel);
            } else {
                bool multi = coin(rng, 30);
                endpoint(secondary, child, multi);
                if (multi)
                    endpoint(secondary, static_cast<uint8_t>(child | 1), false);
            }
        }
        board.functions[self].bytes[0x1A] = static_cast<uint8_t>(nextBus - 1);
    }
};

} // namespace

GenIds gen_parse_ids(const std::string &text)
{
    GenIds ids;
    std::istringstream in(text);
    std::string line;
    bool classes = false;
    uint8_t base = 0;
    while (std::getline(in, line)) {
        if (line.empty() || line[0] == '#')
            continue;
        uint16_t a = 0, b = 0;
        if (line.rfind("C ", 0) == 0) {
            classes = true;
            base = static_cast<uint8_t>(hex_byte(line, 2));
            ids.bases.push_back(base);
        } else if (classes) {
            if (line[0] == '\t' && line[1] != '\t')
                ids.classes.push_back(static_cast<uint16_t>(base << 8 | hex_byte(line, 1)));
        } else if (line[0] != '\t' && hex_word(line, 0, a)) {
            if (a != 0 && a != 0xFFFF)
                ids.vendors.push_back({a, {}});
        } else if (line[0] == '\t' && line[1] != '\t' && hex_word(line, 1, a) && !ids.vendors.empty()) {
            if (a != 0 && a != 0xFFFF)
                ids.vendors.back().devices.push_back({a, {}});
        } else if (line.rfind("\t\t", 0) == 0 && hex_word(line, 2, a) && hex_word(line, 7, b) && !ids.vendors.empty() &&
                   !ids.vendors.back().devices.empty()) {
            if (a != 0)
                ids.vendors.back().devices.back().subsystems.emplace_back(a, b);
        }
    }
    return ids;
}

GenBoard gen_board(unsigned seed, const GenIds &ids)
{
    Gen g{Rng(seed), ids, {}, 1};
    GenFunction host;
    host.bytes = pci_build_endpoint(0x8086, 0x0C00, 0x060000, 6);
    pci_put(host.bytes, 0x2C, 0x8086, 2);
    pci_put(host.bytes, 0x2E, 0x0C00, 2);
    g.board.functions.push_back(host);
    int ports = std::uniform_int_distribution<int>(1, 3)(g.rng);
    for (int p = 1; p <= ports; p++)
        g.bridge(0, static_cast<uint8_t>(p << 3), 1, std::uniform_int_distribution<int>(2, 3)(g.rng));
    g.endpoint(0, 0x1F << 3, false);
    return g.board;
}

std::string GenBoard::dump() const
{
    std::vector<PciDumpFunction> out;
    for (const GenFunction &f : functions)
        out.push_back({f.bus, f.devfn, f.bytes, "Device"});
    return pci_dump_text(out);
}

bool copy_proc_pci(const std::string &root, std::string &why)
{
    namespace fs = std::filesystem;
    const fs::path from = "/proc/bus/pci";
    std::error_code ec;
    if (!fs::exists(from / "devices", ec)) {
        why = "no /proc/bus/pci/devices";
        return false;
    }
    const std::string devices = read_file("/proc/bus/pci/devices");
    if (devices.empty()) {
        why = "cannot read /proc/bus/pci/devices";
        return false;
    }
    for (const fs::directory_entry &dir : fs::directory_iterator(from, ec)) {
        if (!dir.is_directory())
            continue;
        fs::create_directories(root + "/proc/bus/pci/" + dir.path().filename().string(), ec);
        for (const fs::directory_entry &file : fs::directory_iterator(dir.path(), ec)) {
            std::string bytes = read_file(file.path().string());
            std::ofstream(root + "/proc/bus/pci/" + dir.path().filename().string() + "/" +
                              file.path().filename().string(),
                          std::ios::binary)
                << bytes;
        }
    }
    std::ofstream(root + "/proc/bus/pci/devices") << devices;
    return true;
}

std::string read_file(const std::string &path)
{
    std::string out;
    FILE *f = std::fopen(path.c_str(), "rb");
    if (f == nullptr)
        return out;
    char buf[65536];
    size_t n = 0;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0)
        out.append(buf, n);
    std::fclose(f);
    return out;
}

std::string run_shell(const std::string &command)
{
    std::string out;
    FILE *p = ::popen(command.c_str(), "r");
    if (p == nullptr)
        return out;
    char buf[4096];
    size_t n = 0;
    while ((n = std::fread(buf, 1, sizeof buf, p)) > 0)
        out.append(buf, n);
    ::pclose(p);
    return out;
}

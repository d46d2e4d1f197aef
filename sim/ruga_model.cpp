#include "sim/ruga_model.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <iterator>
#include <vector>

#include "bases/drv/ruga_boot_drv.h"
#include "sim/pci_bus.h"
#include "sim/pci_sysfs.h"
#include "sim/sim_host.h"
#include "sim/sim_sched.h"

namespace {

int answer(const SimCall &call, SimJournalEntry &) { return call.arg == nullptr ? 0 : -EINVAL; }

constexpr SimRequest kRequests[] = {
    {RUGA_APP_LOGIC_ON, 0, answer},
    {RUGA_APP_LOGIC_OFF, 0, answer},
    {RUGA_BOOT_DRV_ON, 0, answer},
    {RUGA_BOOT_DRV_OFF, 0, answer},
};

constexpr SimFileOps kBootOps = {
    .name = "ruga_boot", .mode = 0, .open = nullptr, .release = nullptr, .read = nullptr, .write = nullptr,
    .requests = kRequests, .requestCount = std::size(kRequests), .mmap = nullptr, .munmap = nullptr,
    .poll = nullptr, .bind = nullptr, .setsockopt = nullptr, .sendmsg = nullptr, .recvmsg = nullptr,
};

struct PortRow {
    const char *name;
    uint8_t bus, devfn, secondary;
    uint64_t bar;  // BAR 0 of function 0 below the port; 0: a plain endpoint
};
constexpr PortRow kPorts[3] = {{"0000:80:02.1", 0x80, 0x11, 0x81, kRugaBootBar},
                               {"0000:00:03.0", 0x00, 0x18, 0x02, kRugaAppBar},
                               {"0000:00:03.2", 0x00, 0x1A, 0x03, 0}};
constexpr uint32_t kLinkDword = 0xA0;
constexpr uint32_t kLinkDisable = 0x10;
constexpr uint32_t kLinkUp = 0x0083;  // x8, speed 3
constexpr uint32_t kResetDwords[] = {0x04, 0x10, 0x14, 0x18, 0x1C, 0x20, 0x24, 0x3C};
constexpr unsigned kMaxChildren = 9;
// Where the bit-stream capability may sit: a dword of extended space past
// the first capability, with room for its header.
constexpr uint64_t kMinCapAt = 0x100, kMaxCapAt = 0xFDC;
constexpr uint16_t kMaxLinkReads = 0xFFFF;  // reads before the link comes up, "never" aside
constexpr const char *kSection = "ruga";

struct RugaModel {
    bool present = false;
    RugaCard card;
    bool down[3] = {};
    uint8_t ports[256] = {};  // the I/O BAR of a card with a stuck scratch word
};

RugaModel &model()
{
    static RugaModel *m = new RugaModel;  // outlives static destructors
    return *m;
}

std::string port_dir(const PortRow &p)
{
    return std::string("/sys/devices/pci0000:") + (p.bus != 0 ? "80/" : "00/") + p.name;
}

void reset_children(size_t port)
{
    for (unsigned i = 0; i < model().card.children[port]; i++)
        if (PciFunction *fn = pci_bus_find(kPorts[port].secondary, ruga_card_child_devfn(i)))
            for (uint32_t at : kResetDwords)
                reg_set(fn->regs, at, 0);
}

// Link Disable set: the link drops and the functions below lose their
// configuration; cleared: the link trains after the set number of reads.
void link_written(PciFunction &fn, uint32_t dword)
{
    size_t port = 0;
    while (port < 3 && (kPorts[port].bus != fn.bus || kPorts[port].devfn != fn.devfn))
        port++;
    if (dword != kLinkDword || port == 3)
        return;
    RugaModel &m = model();
    const auto control = static_cast<uint32_t>(reg_peek(fn.regs, kLinkDword) & 0xFFFF);
    const bool disable = (control & kLinkDisable) != 0;
    if (disable && !m.down[port]) {
        m.down[port] = true;
        reg_set(fn.regs, kLinkDword, control);
        reset_children(port);
    } else if (!disable && m.down[port]) {
        m.down[port] = false;
        if (m.card.linkReads == 0)
            reg_set(fn.regs, kLinkDword, control | kLinkUp << 16);
        else if (m.card.linkReads > 0)
            reg_after_reads(fn.regs, kLinkDword, control | kLinkUp << 16, static_cast<unsigned>(m.card.linkReads));
    }
}

constexpr uint32_t kHbReg = 0x40;

uint32_t io_in(void *, uint16_t port, int width)
{
    uint32_t v = 0;
    for (int k = 0; k < width; k++)
        v |= uint32_t{model().ports[(port + k) & 0xFF]} << (8 * k);
    return v;
}

void io_out(void *, uint16_t port, uint32_t value, int width)
{
    RugaModel &m = model();
    for (int k = 0; k < width; k++) {
        const unsigned at = (port + static_cast<unsigned>(k)) & 0xFF;
        auto byte = static_cast<uint8_t>(value >> (8 * k));
        if (at >= kHbReg && at < kHbReg + 4)
            byte = static_cast<uint8_t>(byte & ~(m.card.hbStuck >> (8 * (at - kHbReg))));
        m.ports[at] = byte;
    }
}

void add_fpga(const PortRow &p, PciFunction &fn, uint32_t word)
{
    if (p.bar == kRugaAppBar && model().card.hbStuck != 0) {
        std::memcpy(model().ports + 8, &word, 4);
        sim_add_ports(SimPortRange{kRugaAppPorts, kRugaAppPorts + 0xFF, nullptr, io_in, io_out});
        fn.resources = {{kRugaAppPorts, kRugaAppPorts + 0xFF, 0x40101}};
        pci_sysfs_add(fn);
        return;
    }
    fn.resources = {{p.bar, p.bar + kRugaBarSize - 1, 0x40200}};
    pci_sysfs_add(fn);
    sim_phys_write(p.bar + 8, &word, 4);
}

PciBytes child_bytes(size_t port, unsigned index)
{
    const RugaCard &c = model().card;
    PciBytes b = pci_build_endpoint(0x19E5, static_cast<uint16_t>(0xD100 + index), 0x120000, 1, 4096);
    pci_put(b, 0x04, 0x0006, 2);
    pci_put(b, 0x10, static_cast<uint32_t>(kPorts[port].bar != 0 ? kPorts[port].bar : 0xD0800000u + (index << 20)), 4);
    pci_put(b, 0x3C, 0x0B, 1);
    if (index == 0 && port == 0 && c.capAt != 0) {
        pci_build_ext_cap(b, 0x100, 0x0001, 2);
        pci_build_ext_cap(b, static_cast<uint16_t>(c.capAt), 0x000B, 1);
    }
    if (index == 0 && port == 1)
        pci_put(b, 0x2E, c.appKind, 2);
    return b;
}

// What lives outside the saved bus: hooks, BAR words, the boot node.
void install(bool fresh)
{
    const RugaCard &c = model().card;
    for (size_t i = 0; i < 3; i++) {
        const PortRow &p = kPorts[i];
        if (PciFunction *port = pci_bus_find(p.bus, p.devfn))
            port->written = link_written;
        PciFunction *fpga = pci_bus_find(p.secondary, 0);
        if (p.bar != 0 && fpga != nullptr && c.children[i] > 0) {
            if (fresh)
                add_fpga(p, *fpga, i == 0 ? c.bootWord : c.appWord);
            else
                sim_phys_write(p.bar + 8, i == 0 ? &c.bootWord : &c.appWord, 4);
        }
    }
    if (c.bootNode)
        ruga_boot_node_add();
}

void add_port(size_t i)
{
    const PortRow &p = kPorts[i];
    PciBytes b = pci_build_bridge(0x8086, 0x2F04, p.bus, p.secondary, p.secondary, 4096);
    pci_put(b, kLinkDword, 0x0040 | kLinkUp << 16, 4);  // a control bit the firmware set
    pci_bus_add(p.bus, p.devfn, b);
    const std::string dir = port_dir(p);
    sim_make_dirs(dir);
    sim_make_dirs("/sys/bus/pci/devices");
    sim_make_link("../../.." + dir.substr(4), std::string("/sys/bus/pci/devices/") + p.name);
    for (unsigned f = 0; f < model().card.children[i]; f++) {
        const uint8_t devfn = ruga_card_child_devfn(f);
        pci_bus_add(p.secondary, devfn, child_bytes(i, f));
        char name[16];
        std::snprintf(name, sizeof name, "0000:%02x:%02x.%x", p.secondary, devfn >> 3, devfn & 7);
        sim_make_dirs(dir + "/" + name);
    }
}

// "never" reads as this number; only link-reads takes it.
constexpr uint64_t kNever = ~0ull;

struct Word {
    const char *key;
    bool number;  // false: a flag with no value
    bool (*set)(RugaCard &, uint64_t);
};
constexpr Word kWords[] = {
    {"link-reads", true, [](RugaCard &c, uint64_t v) {
         c.linkReads = v == kNever ? kRugaLinkNever : static_cast<int>(v);
         return v == kNever || v <= kMaxLinkReads;
     }},
    {"cap-at", true, [](RugaCard &c, uint64_t v) {
         c.capAt = static_cast<uint32_t>(v);
         return v >= kMinCapAt && v <= kMaxCapAt && v % 4 == 0;
     }},
    {"boot-word", true, [](RugaCard &c, uint64_t v) { c.bootWord = static_cast<uint32_t>(v); return v <= 0xFFFFFFFF; }},
    {"app-word", true, [](RugaCard &c, uint64_t v) { c.appWord = static_cast<uint32_t>(v); return v <= 0xFFFFFFFF; }},
    {"app-kind", true, [](RugaCard &c, uint64_t v) { c.appKind = static_cast<uint16_t>(v); return v <= 0xFFFF; }},
    {"no-node", false, [](RugaCard &c, uint64_t) { c.bootNode = false; return true; }},
    {"hb-stuck", true, [](RugaCard &c, uint64_t v) { c.hbStuck = static_cast<uint32_t>(v); return v <= 0xFFFFFFFF; }},
};

// One option and its value (if it takes one) from w[i]; i moves past them.
bool card_option(const std::vector<std::string> &w, size_t &i, RugaCard &c)
{
    const Word *row = nullptr;
    for (const Word &r : kWords)
        if (w[i] == r.key)
            row = &r;
    uint64_t v = 0;
    if (row != nullptr && row->number) {
        if (++i >= w.size())
            return false;
        if (w[i] == "never")
            v = kNever;
        else if (!sim_doc_number(w[i], v))
            return false;
    }
    return row != nullptr && row->set(c, v);
}

bool card_words(const std::vector<std::string> &w, RugaCard &c, std::string &error)
{
    for (size_t i = 1; i < 4; i++) {
        uint64_t n = 0;
        if (i >= w.size() || !sim_doc_number(w[i], n) || n > kMaxChildren) {
            error = "usage: ruga-card C0 C1 C2 (0 to 9 functions below each port) [options]";
            return false;
        }
        c.children[i - 1] = static_cast<unsigned>(n);
    }
    for (size_t i = 4; i < w.size(); i++) {
        const std::string option = w[i];
        if (!card_option(w, i, c)) {
            error = "bad ruga-card option '" + option + "'";
            return false;
        }
    }
    return true;
}

}

void ruga_boot_node_add() { sim_register_file(RUGA_BOOT_NODE, &kBootOps, nullptr); }

uint8_t ruga_card_child_bus(unsigned port) { return kPorts[port % 3].secondary; }
uint8_t ruga_card_child_devfn(unsigned index) { return static_cast<uint8_t>(index < 8 ? index : (index - 7) << 3); }

void ruga_card_add(const RugaCard &card)
{
    RugaModel &m = model();
    m = RugaModel{};
    m.present = true;
    m.card = card;
    for (size_t i = 0; i < 3; i++)
        add_port(i);
    install(true);
}

void ruga_card_serdes_done(uint32_t reg, unsigned ms)
{
    // Half a millisecond early, so the poll that far in sees it.
    sched_at(sched_now_ns() + ms * 1'000'000ull - 500'000, [reg] {
        uint32_t word = 0;
        sim_phys_read(kRugaAppBar + reg, &word, 4);
        word |= 2;
        sim_phys_write(kRugaAppBar + reg, &word, 4);
    });
}

bool ruga_model_attach(SimDoc &saved)
{
    model() = RugaModel{};
    const SimDocSection *s = saved.find(kSection);
    if (s == nullptr)
        return true;
    RugaCard &c = model().card;
    std::vector<uint64_t> children;
    int64_t link = 0;
    uint64_t cap = 0, boot = 0, app = 0, kind = 0, node = 0;
    if (!saved.get(*s, "children", children, 3, kMaxChildren) ||
        !saved.get_signed(*s, "link-reads", link, kRugaLinkNever, kMaxLinkReads) ||
        !saved.get(*s, "cap-at", cap, kMaxCapAt) || !saved.get(*s, "boot-word", boot, UINT32_MAX) ||
        !saved.get(*s, "app-word", app, UINT32_MAX) || !saved.get(*s, "app-kind", kind, UINT16_MAX) ||
        !saved.get(*s, "boot-node", node, 1)) {
        saved.fail(s->line, "[ruga] section incomplete");
        return false;
    }
    if (children.size() != 3)
        return saved.fail(s->find("children")->line, "'children' wants 3 counts");
    if (cap != 0 && (cap < kMinCapAt || cap % 4 != 0))
        return saved.fail(s->find("cap-at")->line,
                          "'cap-at' is " + sim_doc_hex(cap) + ", not a dword of extended space");
    for (size_t i = 0; i < 3; i++)
        c.children[i] = static_cast<unsigned>(children[i]);
    c.linkReads = static_cast<int>(link);
    c.capAt = static_cast<uint32_t>(cap);
    c.bootWord = static_cast<uint32_t>(boot);
    c.appWord = static_cast<uint32_t>(app);
    c.appKind = static_cast<uint16_t>(kind);
    c.bootNode = node != 0;
    model().present = true;
    install(false);
    return true;
}

void ruga_model_save(SimDoc &doc)
{
    const RugaModel &m = model();
    if (!m.present)
        return;
    SimDocSection &s = doc.section(kSection);
    s.put("children", std::vector<uint64_t>{m.card.children[0], m.card.children[1], m.card.children[2]});
    s.put("link-reads", static_cast<uint64_t>(static_cast<int64_t>(m.card.linkReads)));
    s.put("cap-at", m.card.capAt);
    s.put("boot-word", m.card.bootWord);
    s.put("app-word", m.card.appWord);
    s.put("app-kind", m.card.appKind);
    s.put("boot-node", m.card.bootNode ? 1 : 0);
}

bool ruga_fixture_line(std::string_view line, std::string &error)
{
    std::vector<std::string> w;
    if (!sim_doc_tokens(line, w, error) || w.empty())
        return false;
    RugaCard card;
    if (w[0] != "ruga-card") {
        error = "unknown ruga fact '" + w[0] + "'";
        return false;
    }
    if (!card_words(w, card, error))
        return false;
    ruga_card_add(card);
    return true;
}

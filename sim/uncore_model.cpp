// The LPC register at port 0xC90 and the second processor's uncore facts.
#include "sim/uncore_model.h"

#include <cstdint>
#include <cstdio>
#include <vector>

#include "sim/pci_bus.h"
#include "sim/sim_host.h"

namespace {

constexpr uint16_t kPort = 0xC90;
constexpr const char *kSection = "uncore";
constexpr uint64_t kMaxValue = 0xFF;  // the register's byte, as saved and as a fixture sets it

struct UncoreState {
    uint8_t value = 0x55;   // what a read gives
    bool stuck = false;
};

UncoreState g_uncore;

uint32_t port_in(void *, uint16_t, int) { return g_uncore.value; }

void port_out(void *, uint16_t, uint32_t value, int)
{
    if (!g_uncore.stuck)
        g_uncore.value = static_cast<uint8_t>(~value);
}

// One function of the second processor: its dump and its write-one-to-clear lines.
struct SocketFn {
    uint8_t bus;
    uint8_t devfn;
    uint16_t device;
    uint32_t classCode;
    std::vector<std::pair<uint32_t, uint32_t>> w1c;
    std::vector<std::pair<uint32_t, uint32_t>> values;
};

} // namespace

bool uncore_model_attach(SimDoc &saved)
{
    g_uncore = {};
    if (const SimDocSection *s = saved.find(kSection)) {
        uint64_t v = 0, stuck = 0;
        if (!saved.get(*s, "value", v, kMaxValue) || !saved.get(*s, "stuck", stuck, 1))
            return saved.fail(s->line, "[uncore] section incomplete");
        g_uncore.value = static_cast<uint8_t>(v);
        g_uncore.stuck = stuck != 0;
    }
    sim_add_ports(SimPortRange{kPort, kPort, nullptr, port_in, port_out});
    return true;
}

void uncore_model_save(SimDoc &doc)
{
    SimDocSection &s = doc.section(kSection);
    s.put("value", g_uncore.value);
    s.put("stuck", g_uncore.stuck ? 1u : 0u);
}

bool uncore_fixture_line(std::string_view line, std::string &error)
{
    std::vector<std::string> w;
    if (!sim_doc_tokens(line, w, error))
        return false;
    uint64_t v = 0;
    if (w[0] == "uncore-c90-stuck" && w.size() == 2 && sim_doc_number(w[1], v) && v <= kMaxValue) {
        g_uncore = {static_cast<uint8_t>(v), true};
        return true;
    }
    if (w[0] == "uncore-c90-free" && w.size() == 1) {
        g_uncore.stuck = false;
        return true;
    }
    error = "usage: uncore-c90-stuck VALUE | uncore-c90-free";
    return false;
}

std::string uncore_second_socket_facts()
{
    const std::vector<std::pair<uint32_t, uint32_t>> rasW1c = {{0x1C0, 0x3D0FFE3}, {0x1C4, 0x2D0FFE3},
                                                               {0x230, 0x641E},    {0x2B0, 0x641E},
                                                               {0x300, 0x70},      {0x380, 0x1F}};
    const std::vector<std::pair<uint32_t, uint32_t>> xpW1c = {{0x200, 0xFFFFFFFF}, {0x208, 0xFFFFFFFF},
                                                              {0x230, 0xFFFF}};
    const SocketFn fns[] = {
        {0x80, 0x00, 0x3C01, 0x060000, xpW1c, {}},
        {0x80, 0x28, 0x3C28, 0x088000, {}, {{0x108, 0xFF00}}},
        {0x80, 0x2A, 0x3C2A, 0x088000, rasW1c, {}},
        {0xFF, 0x40, 0x3C80, 0x088000, {}, {{0xD4, 5}}},
        {0xFF, 0x48, 0x3C90, 0x088000, {}, {{0xD4, 5}}},
    };
    std::string text;
    for (const SocketFn &f : fns) {
        PciDumpFunction d{f.bus, f.devfn, pci_build_endpoint(0x8086, f.device, f.classCode, 7, 4096), "Device"};
        for (const auto &[at, v] : f.values)
            pci_put(d.bytes, at, v, 4);
        text += pci_dump_text({d});
        char line[64];
        for (const auto &[at, mask] : f.w1c) {
            std::snprintf(line, sizeof line, "pci-w1c 0x%x 0x%x\n", at, mask);
            text += line;
        }
    }
    return text;
}

// The PCI Express entity monitor and the RAS device on the simulated bus:
// list rules, checks with their log lines, clears and printers.
#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <regex>
#include <string>
#include <vector>

#include "bases/pci/tvk_cap.h"
#include "bases/pci/tvk_dev.h"
#include "bases/pci/tvk_log.h"
#include "hwmanage/hpi/plugins/hardware/tvk_monitor.h"
#include "sim/pci_bus.h"
#include "sim/smbios_image.h"
#include "support/console_run.h"
#include "support/sim_fixture.h"

namespace {

class TvkMonitor : public SimTest {
protected:
    std::string log()
    {
        return std::regex_replace(sim_read_file("/tavik.log"), std::regex("(^|\n)\\S+\\.cpp \\d+ "), "$1F N ");
    }
    bool logged(const std::string &text) { return log().find(text) != std::string::npos; }
    TVK_ENT_LIST_HEAD *build(int expect = 0)
    {
        auto *head = static_cast<TVK_ENT_LIST_HEAD *>(std::calloc(1, sizeof(TVK_ENT_LIST_HEAD)));
        EXPECT_EQ(tvk_build_entity_list(head), expect);
        return head;
    }
    std::vector<std::string> names(const TVK_ENT_LIST_HEAD *head)
    {
        std::vector<std::string> out;
        char buf[16];
        for (const tvk_entity_node *n = head->first; n != nullptr; n = n->next) {
            std::snprintf(buf, sizeof buf, "%02x:%02x.%x", n->ent.bus, n->ent.devfn >> 3, n->ent.devfn & 7);
            out.push_back(buf);
        }
        return out;
    }
    PciFunction &fn(uint8_t bus, uint8_t devfn) { return *pci_bus_find(bus, devfn); }
    uint32_t cap(uint8_t bus, uint8_t devfn) { return static_cast<uint32_t>(tvk_tell_cap(bus, devfn, 0x10)); }
};

const std::vector<std::string> kDefault = {"04:00.0", "03:00.0", "02:00.0", "01:00.0", "00:03.0", "00:02.0", "00:01.0"};

// A PCI Express endpoint or bridge at bus:devfn.
void add_express(uint8_t bus, uint8_t devfn, uint16_t device, bool bridge = false)
{
    PciBytes b = bridge ? pci_build_bridge(0x8086, device, bus, static_cast<uint8_t>(bus + 1),
                                           static_cast<uint8_t>(bus + 1))
                        : pci_build_endpoint(0x8086, device, 0x020000, 1);
    pci_build_pcie(b, 0x40, bridge ? 4 : 0);
    pci_bus_add(bus, devfn, b);
}

TEST_F(TvkMonitor, ListRulesByPlatformAndBus)
{
    add_express(0x7F, 0x08, 0x1111);          // uncore bus of processor 0
    add_express(0xFF, 0x08, 0x2222);          // uncore bus of processor 1
    add_express(0x80, 0x10, 0x3333);          // endpoint on a root bus
    add_express(0x80, 0x18, 0x4444, true);    // bridge on a root bus
    struct {
        uint8_t platform;
        std::vector<std::string> extra;   // listed ahead of the default board's
    } rows[] = {
        {TVK_PLATFORM_3C, {"80:03.0"}},
        {TVK_PLATFORM_2F, {"80:03.0"}},
        {TVK_PLATFORM_OTHER, {"ff:01.0", "80:03.0", "7f:01.0"}},
    };
    for (const auto &r : rows) {
        g_ucPlatform = r.platform;
        TVK_ENT_LIST_HEAD *head = build();
        std::vector<std::string> want = r.extra;
        want.insert(want.end(), kDefault.begin(), kDefault.end());
        EXPECT_EQ(names(head), want) << int(r.platform);
        EXPECT_EQ(head->count, want.size());
        tvk_destroy_entity_list(head);
    }
    EXPECT_TRUE(logged("F N [LOG] [80:02.0], vid[0x8086], did[0x3333] hrd_type[0] need not add in pcie list\n"));
}

TEST_F(TvkMonitor, EntityFields)
{
    TVK_ENT_LIST_HEAD *head = build();
    tvk_entity_node *n = tvk_tell_entity_node(0x01, 0x00, head);
    ASSERT_NE(n, nullptr);
    EXPECT_EQ(n->ent.vendor, 0x10EE);
    EXPECT_EQ(n->ent.device, 0x7021);
    EXPECT_EQ(n->ent.cap, cap(1, 0));
    EXPECT_EQ(n->ent.seen, 0);
    ASSERT_NE(n->ent.data, nullptr);
    EXPECT_EQ(n->ent.data->lnksta, pci_conf_read(fn(1, 0), cap(1, 0) + 0x12, 2));
    EXPECT_EQ(n->ent.route.depth, 2u);   // 00:01.0, then itself
    EXPECT_EQ(tvk_tell_entity_node(0x09, 0x00, head), nullptr);
    tvk_destroy_entity_list(head);
}

TEST_F(TvkMonitor, VirtualFunctionsAndKespIds)
{
    // A VF board: ids read as all ones while the command register is not.
    PciBytes vf = pci_build_endpoint(0xFFFF, 0xFFFF, 0x020000, 1);
    pci_put(vf, 0x04, 0x0006, 2);
    pci_build_pcie(vf, 0x40, 0);
    pci_bus_add(0x06, 0x08, vf);
    add_express(0x06, 0x10, 0xB005);
    struct {
        const char *board;
        bool vfListed, b005Listed;
    } rows[] = {{"ZK17WENA", false, true}, {"ZK17KESP", true, false}, {"ZK17DORN", true, true}};
    for (const auto &r : rows) {
        smbios_place({smbios_baseboard("Quorbix", r.board, "QB0000000001", "Slot 0"), smbios_end(1)}, SmbiosLayout{});
        TVK_ENT_LIST_HEAD *head = build();
        EXPECT_EQ(tvk_tell_entity_node(0x06, 0x08, head) != nullptr, r.vfListed) << r.board;
        EXPECT_EQ(tvk_tell_entity_node(0x06, 0x10, head) != nullptr, r.b005Listed) << r.board;
        tvk_destroy_entity_list(head);
    }
    EXPECT_TRUE(logged("F N [LOG] [06:01.0] vendor ffff, device ffff is VF\n"));
}

TEST_F(TvkMonitor, BuildFailuresReleaseTheNodes)
{
    sim_fail_open("/proc/bus/pci/devices", ENOENT);
    TVK_ENT_LIST_HEAD *head = build(-908);
    EXPECT_EQ(head->count, 0u);
    tvk_destroy_entity_list(head);
    sim_clear_faults();
    // The first line is cut short: nothing listed, the head left empty.
    SimFault f;
    f.node = "/proc/bus/pci/devices";
    f.op = SimFaultOp::read;
    f.result = 6;
    f.nth = 1;
    sim_add_fault(f);
    f.result = 0;
    sim_add_fault(f);
    head = build(-909);
    EXPECT_EQ(head->first, nullptr);
    EXPECT_EQ(head->count, 0u);
    tvk_destroy_entity_list(head);   // the caller's one release
}

TEST_F(TvkMonitor, KeepingTheListInStep)
{
    TVK_ENT_LIST_HEAD *head = build();
    // 02:00.0 loses its capability list; a new function appears.
    PciFunction &sw = fn(0x02, 0x00);
    pci_conf_poke(sw, 0x06, {0x00, 0x00});
    pci_conf_poke(sw, 0x34, {0x00});
    add_express(0x05, 0x00, 0x5555);
    add_express(0x7F, 0x10, 0x6666);   // uncore bus: never added
    EXPECT_EQ(tvk_update_entity_list(head), 0);
    EXPECT_EQ(tvk_tell_entity_node(0x02, 0x00, head), nullptr);
    ASSERT_NE(tvk_tell_entity_node(0x05, 0x00, head), nullptr);
    EXPECT_EQ(tvk_tell_entity_node(0x05, 0x00, head)->ent.hdrtype, 0);
    EXPECT_EQ(tvk_tell_entity_node(0x7F, 0x10, head), nullptr);
    EXPECT_NE(tvk_tell_entity_node(0x00, 0x2A, head), nullptr) << "type 0 on a root bus: added by the finder";
    EXPECT_EQ(head->count, kDefault.size() + 1);
    EXPECT_TRUE(logged("F N [LOG] PCIe device[02:00.0] disappear[ret=0], remove it from the list\n"));
    EXPECT_TRUE(logged("F N [LOG] Add entity for device[05:00.0] succeed\n"));
    // A failed find leaves the list as it is.
    sim_fail_open("/proc/bus/pci/devices", ENOENT);
    EXPECT_EQ(tvk_update_entity_list(head), -908);
    EXPECT_EQ(head->count, kDefault.size() + 1);
    EXPECT_EQ(tvk_delete_entity_node(nullptr, head), 0);
    EXPECT_EQ(tvk_delete_entity_node(nullptr, nullptr), -904);
    tvk_destroy_entity_list(head);
}

TEST_F(TvkMonitor, VirginAndChangeChecks)
{
    // 01:00.0's Link Status (0x72 behind its express capability at 0x60):
    // x16 at 8 GT/s when the list is built.
    pci_conf_poke(fn(1, 0), 0x72, {0x03, 0x11});
    TVK_ENT_LIST_HEAD *head = build();
    tvk_entity &e = tvk_tell_entity_node(0x01, 0x00, head)->ent;
    const uint32_t c = e.cap;
    tvk_entity_state out{};
    pci_bus_event(fn(1, 0), c + 0x0A, 0x0003, 0);
    ASSERT_EQ(tvk_check_entity_error(&e, &out), 0);
    EXPECT_EQ(out.devsta & 0xF, 3);
    EXPECT_EQ(pci_conf_read(fn(1, 0), c + 0x0A, 2) & 0xF, 0u) << "cleared after the check";
    EXPECT_TRUE(logged("<TVK-ERR>Device[01:00.0] detect virgin CorrErr, DEVSTA=0x"));
    EXPECT_TRUE(logged("<TVK-ERR>Device[01:00.0] detect virgin UncorrErr, DEVSTA=0x"));
    // Seen: the link drops to width 0 and a fatal error comes.
    e.seen = 1;
    pci_conf_poke(fn(1, 0), 0x72, {0x03, 0x10});
    pci_bus_event(fn(1, 0), c + 0x0A, 0x0004, 0);
    ASSERT_EQ(tvk_check_entity_error(&e, &out), 0);
    EXPECT_TRUE(e.flags & TVK_ENT_WIDTH_ZERO);
    EXPECT_TRUE(logged("<TVK-ERR>Device[01:00.0] FatalErr status change[0 -> 1]\n"));
    EXPECT_TRUE(logged("[LOG] Device[01:00.0] link width change[X16 -> X0]\n"));
    EXPECT_TRUE(logged("[LOG] <COMM>--------  00 01 02 03"));
    // Vendor and device read as all ones: a configuration fault, logged once.
    pci_conf_poke(fn(1, 0), 0, {0xFF, 0xFF, 0xFF, 0xFF});
    std::filesystem::remove(sim_path("/tavik.log"));
    ASSERT_EQ(tvk_check_entity_error(&e, &out), 0);
    ASSERT_EQ(tvk_check_entity_error(&e, &out), 0);
    EXPECT_TRUE(e.flags & TVK_ENT_CONF_FAULT);
    EXPECT_EQ(log(), "F N <TVK-ERR>Device[01:00.0] PCI config space register fault, vendor[ffff], device[ffff]\n");
    tvk_destroy_entity_list(head);
}

// Only an error bit that came up since the snapshot is a change: one that
// went away is not logged.
TEST_F(TvkMonitor, ClearedDevstaBitIsNoChange)
{
    // UncorrErr stands in DEVSTA when the list is built, so the snapshot holds it.
    const uint32_t c = cap(1, 0);
    pci_bus_event(fn(1, 0), c + 0x0A, 0x0002, 0);
    TVK_ENT_LIST_HEAD *head = build();
    tvk_entity &e = tvk_tell_entity_node(0x01, 0x00, head)->ent;
    ASSERT_EQ(e.data->devsta & 0xF, 2);
    // Now UncorrErr is clear and FatalErr is set.
    pci_conf_poke(fn(1, 0), c + 0x0A, {0x00, 0x00});
    pci_bus_event(fn(1, 0), c + 0x0A, 0x0004, 0);
    e.seen = 1;
    std::filesystem::remove(sim_path("/tavik.log"));
    tvk_entity_state out{};
    ASSERT_EQ(tvk_check_entity_error(&e, &out), 0);
    EXPECT_EQ(out.devsta & 0xF, 4);
    EXPECT_TRUE(logged("<TVK-ERR>Device[01:00.0] FatalErr status change[0 -> 1]\n"));
    EXPECT_FALSE(logged("UncorrErr status change")) << log();
    EXPECT_FALSE(logged("[1 -> 0]")) << log();
    tvk_destroy_entity_list(head);
}

TEST_F(TvkMonitor, BridgeCheckClearsWatchedBits)
{
    tvk_bus_entry br{TVK_BRIDGE_PCIE, 0x00, 0x08, 1, 0, 0, 0};
    pci_conf_poke(fn(0, 0x08), 0x06, {0x10, 0x81});   // parity error detected + cap list
    uint16_t out[2] = {};
    EXPECT_EQ(tvk_check_pci_bridge_error(1, &br, out), 0);
    EXPECT_EQ(out[0], 0x8110);
    EXPECT_EQ(pci_conf_read(fn(0, 0x08), 0x06, 2), 0x0010u);
    EXPECT_TRUE(logged("F N [LOG] Bus[1] bridge[00:01.0] status changes[0x0000 -> 0x8110]\n"));
    sim_fail_op(SimFaultOp::read, pci_bus_path(0, 0x08), EIO);
    EXPECT_EQ(tvk_check_pci_bridge_error(1, &br, out), -909);
}

// Each status is cleared through its own register: the primary at 0x06, the
// secondary at 0x1E, each with its own watched bits (0xC100) written back,
// and no write for a status without them.
TEST_F(TvkMonitor, BridgeCheckClearsEachStatusInItsOwnRegister)
{
    struct Write {
        uint64_t offset;
        uint16_t value;
        bool operator==(const Write &) const = default;
    };
    struct Case {
        uint16_t primary, secondary;
        std::vector<Write> writes;
        uint16_t primaryAfter, secondaryAfter;
    } cases[] = {
        {0x0010, 0x6100, {{0x1E, 0x4100}}, 0x0010, 0x2000},
        {0x8110, 0x2000, {{0x06, 0x8100}}, 0x0010, 0x2000},
        {0x4010, 0x8000, {{0x06, 0x4000}, {0x1E, 0x8000}}, 0x0010, 0x0000},
        {0x2010, 0x1000, {}, 0x2010, 0x1000},
    };
    const std::string node = pci_bus_path(0, 0x08);
    for (const Case &c : cases) {
        PciFunction &bridge = fn(0, 0x08);
        pci_conf_poke(bridge, 0x06, {static_cast<uint8_t>(c.primary), static_cast<uint8_t>(c.primary >> 8)});
        pci_conf_poke(bridge, 0x1E, {static_cast<uint8_t>(c.secondary), static_cast<uint8_t>(c.secondary >> 8)});
        tvk_bus_entry br{TVK_BRIDGE_PCIE, 0x00, 0x08, 1, 0x0010, 0x0000, 0};
        uint16_t out[2] = {};
        sim_clear_journal();
        std::filesystem::remove(sim_path("/tavik.log"));
        ASSERT_EQ(tvk_check_pci_bridge_error(1, &br, out), 0);
        EXPECT_EQ(out[0], c.primary);
        EXPECT_EQ(out[1], c.secondary);
        std::vector<Write> writes;
        for (const SimJournalEntry &e : sim_journal()) {
            if (e.kind != SimEvent::write || e.node != node)
                continue;
            const SimAttachment *data = sim_attachment(e, "data");
            ASSERT_TRUE(data != nullptr && data->bytes.size() == 2) << "a word write";
            writes.push_back({e.address, static_cast<uint16_t>(data->bytes[0] | data->bytes[1] << 8)});
        }
        EXPECT_EQ(writes, c.writes) << std::hex << c.primary << " " << c.secondary;
        EXPECT_EQ(pci_conf_read(bridge, 0x06, 2), c.primaryAfter);
        EXPECT_EQ(pci_conf_read(bridge, 0x1E, 2), c.secondaryAfter);
        char line[96];
        std::snprintf(line, sizeof line, "secondary status changes[0x0000 -> 0x%04x]", c.secondary);
        EXPECT_EQ(logged(line), (c.secondary & 0xC100) != 0) << line;
    }
}

TEST_F(TvkMonitor, ConfDumpsCutAt256)
{
    std::filesystem::remove(sim_path("/tavik.log"));
    EXPECT_EQ(tvk_log_conf_space(0, 0x2A, 0x1C4, 8), 0);
    EXPECT_EQ(log(), "F N [LOG] Dumping configuration space of device[00:05.2]\n"
                     "F N [LOG] <COMM>--------  00 01 02 03 04 05 06 07 08 09 0a 0b 0c 0d 0e 0f\n"
                     "F N [LOG] <COMM>000001c0:             00 00 00 00 00 00 00 00\n");
    ConsoleRun shown = console_run([] { return tvk_show_conf_space(0x04, 0x00, 0, 4096); });
    EXPECT_EQ(shown.status, 0);
    EXPECT_EQ(std::count(shown.out.begin(), shown.out.end(), '\n'), 2 + 16) << "a length above 256 is cut";
    EXPECT_EQ(shown.out.substr(0, 54), "[SHOW] Dumping configuration space of device[04:00.0]\n");
}

TEST_F(TvkMonitor, Buckets)
{
    tvk_bucket b{};
    ASSERT_EQ(tvk_bucket_init(&b, 3, 2), 0);
    struct {
        uint32_t amount;
        int result;
        uint32_t count, alarm;
    } steps[] = {{1, 1, 1, 0}, {1, 1, 1, 0}, {1, 1, 2, 0}, {3, 2, 4, 1}, {0, 2, 4, 1}};
    for (const auto &s : steps) {
        EXPECT_EQ(tvk_bucket_account(&b, s.amount), s.result);
        EXPECT_EQ(b.count, s.count);
        EXPECT_EQ(b.alarm, s.alarm);
    }
    // After a renew (900 ticks) a period of 2 still leaks.
    ASSERT_EQ(tvk_bucket_renew(&b), 0);
    EXPECT_EQ(tvk_bucket_account(&b, 1), 0);
    EXPECT_EQ(b.ticks, 0u);
    EXPECT_EQ(tvk_bucket_account(nullptr, 1), -904);
    EXPECT_EQ(tvk_bucket_init(nullptr, 1, 1), -904);
    EXPECT_EQ(tvk_bucket_renew(nullptr), -904);
}

TEST_F(TvkMonitor, IdentifyRas)
{
    EXPECT_EQ(tvk_identify_ras(), 0);
    EXPECT_EQ(g_ucRasDevfn, 0x2A);
    EXPECT_EQ(g_ucPlatform, TVK_PLATFORM_3C);
    sim_fail_op(SimFaultOp::read, pci_bus_path(0, 0), EIO);
    EXPECT_EQ(tvk_identify_ras(), 0) << "no read once identified";
    sim_clear_faults();
    g_ucRasDevfn = 0;
    pci_conf_poke(fn(0, 0), 0x00, {0x86, 0x80, 0x99, 0x99});
    EXPECT_EQ(tvk_identify_ras(), -907);
    EXPECT_EQ(g_ucRasDevfn, 0);
    pci_conf_poke(fn(0, 0), 0x00, {0x86, 0x80, 0x00, 0x2F});
    EXPECT_EQ(tvk_identify_ras(), -919);
    pci_conf_poke(fn(0, 0x2A), 0x00, {0x86, 0x80, 0x2A, 0x2F});
    EXPECT_EQ(tvk_identify_ras(), 0);
    EXPECT_EQ(g_ucPlatform, TVK_PLATFORM_2F);
}

TEST_F(TvkMonitor, GlobalPairClears)
{
    g_ucRasDevfn = 0x2A;
    PciFunction &ras = fn(0, 0x2A);
    auto set_pair = [&](uint32_t n, uint32_t f) {
        pci_conf_poke(ras, 0x1C0, {uint8_t(n), uint8_t(n >> 8), uint8_t(n >> 16), uint8_t(n >> 24), uint8_t(f),
                                   uint8_t(f >> 8), uint8_t(f >> 16), uint8_t(f >> 24)});
    };
    auto pair = [&] { return std::pair{pci_conf_read(ras, 0x1C0, 4), pci_conf_read(ras, 0x1C4, 4)}; };
    struct {
        void (*op)();
        uint32_t n, f;
    } rows[] = {
        {[] { tvk_clear_qpi_gnerr(); }, 0x00100FF0u, 0x00100FFFu},
        {[] { tvk_clear_qpi_gferr(); }, 0x00100FFFu, 0x00100FF0u},
        {[] { tvk_clear_pcie_gnerr(); }, 0x0010003Fu, 0x00100FFFu},
        {[] { tvk_clear_esi_gferr(); }, 0x00100FFFu, 0x00000FFFu},
    };
    for (const auto &r : rows) {
        set_pair(0x00100FFF, 0x00100FFF);
        r.op();
        EXPECT_EQ(pair(), (std::pair{r.n, r.f}));
    }
    set_pair(0x00100041, 0);
    uint32_t p[2] = {0x00100041, 0};
    sim_clear_journal();
    tvk_clear_pcie_gerr(p);
    EXPECT_EQ(pair(), (std::pair{0x00100001u, 0u}));
    tvk_clear_qpi_gerr(p);
    tvk_clear_esi_gerr(p);
    EXPECT_EQ(pair(), (std::pair{0u, 0u}));
    tvk_clear_esi_gerr(nullptr);
    uint8_t block[60] = {};
    set_pair(0x40, 0x80);
    ASSERT_EQ(tvk_get_ras_state(p, block), 0);
    EXPECT_EQ(p[0], 0x40u);
    EXPECT_EQ(p[1], 0x80u);
}

TEST_F(TvkMonitor, LocalClearsAndDumps)
{
    g_ucRasDevfn = 0x2A;
    EXPECT_EQ(tvk_clear_qpi_lerr(2), 2);
    EXPECT_EQ(tvk_clear_qpip_lerr(-1), -1);
    EXPECT_EQ(tvk_log_qpi_lerr(2), -906);
    EXPECT_EQ(tvk_log_qpip_lerr(1), 0);
    pci_conf_poke(fn(0, 0x2A), 0x200, {0xFF, 0x1F});
    EXPECT_EQ(tvk_clear_qpi_lerr(0), 0);
    // Status of 00:00.0 after 0xFFFF: the capability-list bit survives.
    PciFunction &hb = fn(0, 0);
    pci_conf_poke(hb, 0x06, {0x10, 0xF9});
    EXPECT_EQ(tvk_clear_esi_lerr(), 0);
    EXPECT_EQ(pci_conf_read(hb, 0x06, 2), 0x0010u);
    // A root port with a corrected error: Link Status 0xC000 keeps speed and width.
    PciFunction &rp = fn(0, 0x08);
    const uint32_t c = cap(0, 0x08);
    const uint32_t lnk = pci_conf_read(rp, c + 0x12, 2);
    pci_conf_poke(rp, c + 0x12, {uint8_t(lnk), uint8_t((lnk >> 8) | 0xC0)});
    pci_conf_poke(rp, 0x200, {0x01});
    EXPECT_EQ(tvk_clear_pcie_lerr(1), 0);
    EXPECT_EQ(pci_conf_read(rp, c + 0x12, 2), lnk & 0x3FFF);
    sim_fail_op(SimFaultOp::read, pci_bus_path(0, 0x08), EIO);
    EXPECT_LT(tvk_clear_pcie_lerr(1), 0);
    sim_clear_faults();
    EXPECT_EQ(tvk_log_pcie_lerr(1), 0);
}

TEST_F(TvkMonitor, Printers)
{
    ConsoleRun health = console_run([] {
        uint32_t p[2] = {0x00000041, 0x00100004};
        tvk_show_ras_health(p);
        return 0;
    });
    EXPECT_NE(health.out.find("[SHOW] GNERRSTA=0x00000041, GFERRSTA=0x00100004\n"
                              "[SHOW] QPI0 port is NG, NERR=0x00000041, FERR=0x00100004\n"
                              "[SHOW] QPI0 protocal is NG, NERR=0x00000041, FERR=0x00100004\n"
                              "[SHOW] QPI1 port is OK\n[SHOW] QPI1 protocal is OK\n"
                              "[SHOW] PCIE port[1] is NG, NERR=0x00000041, FERR=0x00100004\n"
                              "[SHOW] PCIE port[2] is OK\n"),
              std::string::npos)
        << health.out;
    EXPECT_NE(health.out.find("[SHOW] ESI port is NG, NERR=0x00000041, FERR=0x00100004\n"), std::string::npos);
    const char *speeds[] = {"UNKNOWN", "2.5GT/s", "5.0GT/s", "8.0GT/s", "UNKNOWN"};
    for (uint8_t i = 0; i < 5; i++)
        EXPECT_STREQ(tvk_speed_str(i), speeds[i]);
    TVK_ENT_LIST_HEAD *head = build();
    tvk_show_entity_list(head);
    EXPECT_TRUE(logged("F N [LOG] 7 PCIE devices found in total\n"));
    EXPECT_TRUE(logged("BOARD[0]-->04:00.0 "));
    tvk_entity &e = tvk_tell_entity_node(0x01, 0x00, head)->ent;
    ConsoleRun ok = console_run([&] { tvk_show_entity_health(&e); return 0; });
    EXPECT_EQ(ok.out.substr(0, 31), "[SHOW] [01:00.0] DEVSTA OK, spe");
    // The width is Link Status bits 9:4 and the speed bits 3:0; bit 10 up
    // (training, link active) belong to neither.
    struct Width {
        uint16_t lnksta;
        const char *line;
    };
    const Width widths[] = {
        {0x0201, "[SHOW] [01:00.0] DEVSTA OK, speed=2.5GT/s, width=X32\n"},
        {0x23F3, "[SHOW] [01:00.0] DEVSTA OK, speed=8.0GT/s, width=X63\n"},
        {0xFC02, "[SHOW] [01:00.0] DEVSTA OK, speed=5.0GT/s, width=X0\n"},
        {0x0084, "[SHOW] [01:00.0] DEVSTA OK, speed=UNKNOWN, width=X8\n"},
    };
    for (const Width &w : widths) {
        pci_conf_poke(fn(1, 0), e.cap + 0x12, {static_cast<uint8_t>(w.lnksta), static_cast<uint8_t>(w.lnksta >> 8)});
        EXPECT_EQ(console_run([&] { tvk_show_entity_health(&e); return 0; }).out, w.line);
    }
    pci_bus_event(fn(1, 0), e.cap + 0x0Au, 0x0002, 0);
    ConsoleRun ng = console_run([&] { tvk_show_entity_health(&e); return 0; });
    EXPECT_EQ(ng.out.substr(0, 82),
              "[SHOW] [01:00.0] DEVSTA NG, CorrErr=0, UncorrErr=1, FatalErr=0, UnsuppReq=0, speed");
    EXPECT_NE(ng.out.find("[SHOW] Dumping configuration space of device[01:00.0]\n"), std::string::npos);
    tvk_destroy_entity_list(head);
}

} // namespace

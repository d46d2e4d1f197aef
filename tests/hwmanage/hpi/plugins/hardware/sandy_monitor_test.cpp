// The uncore monitor on the simulated board: snapshots against the
// configuration store (and lspci), tables, printers, clears and masks, the
// monitoring pass and the LPC check.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <regex>
#include <string>
#include <vector>

#include "bases/pci/tvk_log.h"
#include "hwmanage/hpi/plugins/hardware/sandy_monitor.h"
#include "sim/fixture_file.h"
#include "sim/pci_bus.h"
#include "sim/uncore_model.h"
#include "support/console_run.h"
#include "support/sim_fixture.h"
#include "support/oracle.h"

namespace {

constexpr uint8_t kRas = 0x2A;

struct Write {
    std::string node;
    uint64_t offset;
    uint64_t width;
    uint32_t value;
    bool operator==(const Write &) const = default;
};

std::ostream &operator<<(std::ostream &os, const Write &w)
{
    return os << w.node << " @0x" << std::hex << w.offset << " w" << w.width << " =0x" << w.value << std::dec;
}

class SandyMonitor : public SimTest {
protected:
    void SetUp() override
    {
        SimTest::SetUp();
        g_ucRasDevfn = kRas;
    }
    std::string log()
    {
        return std::regex_replace(sim_read_file("/tavik.log"), std::regex("(^|\n)\\S+\\.cpp \\d+ "), "$1F N ");
    }
    bool logged(const std::string &text) { return log().find(text) != std::string::npos; }
    size_t count(const std::string &text)
    {
        std::string l = log();
        size_t n = 0;
        for (size_t at = l.find(text); at != std::string::npos; at = l.find(text, at + 1))
            n++;
        return n;
    }
    static PciFunction &fn(uint8_t bus, uint8_t devfn) { return *pci_bus_find(bus, devfn); }
    static uint32_t reg(uint8_t bus, uint8_t devfn, uint32_t at, int width = 4)
    {
        return pci_get(pci_conf_bytes(fn(bus, devfn)), at, width);
    }
    static void poke(uint8_t bus, uint8_t devfn, uint32_t at, uint32_t value, int width = 4)
    {
        PciBytes b(static_cast<size_t>(width));
        pci_put(b, 0, value, width);
        pci_conf_poke(fn(bus, devfn), at, b);
    }
    // Configuration writes in the journal.
    static std::vector<Write> writes()
    {
        std::vector<Write> out;
        for (const SimJournalEntry &e : sim_journal_of(SimEvent::write)) {
            if (e.node.rfind("/proc/bus/pci/", 0) != 0)
                continue;
            const SimAttachment *a = sim_attachment(e, "data");
            uint32_t v = 0;
            if (a != nullptr)
                std::memcpy(&v, a->bytes.data(), std::min<size_t>(a->bytes.size(), 4));
            out.push_back({e.node, e.address, e.length, v});
        }
        return out;
    }
    static size_t port_events()
    {
        size_t n = 0;
        for (const SimJournalEntry &e : sim_journal())
            n += (e.kind == SimEvent::port_in || e.kind == SimEvent::port_out) && e.address == SANDY_LPC_PORT;
        return n;
    }
    static void second_socket()
    {
        std::string error;
        ASSERT_TRUE(sim_fixture_apply(uncore_second_socket_facts(), "socket1", error)) << error;
    }
};

// ---- tables -------------------------------------------------------------------------------

TEST_F(SandyMonitor, PortTypesByVendorAndDevice)
{
    struct {
        uint16_t vendor, device;
        int type;
    } rows[] = {
        {0x8086, 0x3C00, 1}, {0x8086, 0x3C01, 0}, {0x8086, 0x3C0B, 0}, {0x8086, 0x3C0C, 3},
        {0x8086, 0x3C0D, 2}, {0x8086, 0x3C0F, 2}, {0x8086, 0x3C10, 3}, {0x10EE, 0x3C02, 3},
    };
    for (const auto &r : rows) {
        poke(0, 0x08, 0, static_cast<uint32_t>(r.device) << 16 | r.vendor);
        EXPECT_EQ(sandy_tell_port_type(0, 0x08), r.type) << std::hex << r.vendor << ":" << r.device;
    }
    sim_fail_op(SimFaultOp::read, "/proc/bus/pci/00/01.0", EIO);
    EXPECT_LT(sandy_tell_port_type(0, 0x08), 0);
    EXPECT_TRUE(logged("<TVK-ERR>Cannot read PCI_VENDOR_ID, ret="));
}

TEST_F(SandyMonitor, QpiLinkRates)
{
    const char *want[] = {"UNKNOWN", "UNKNOWN", "5.6GT/s", "6.4GT/s", "7.2GT/s", "8.0GT/s", "8.8GT/s", "9.6GT/s"};
    for (uint32_t code = 0; code < 8; code++)
        EXPECT_STREQ(sandy_qpispeed_str(code), want[code]);
    EXPECT_STREQ(sandy_qpispeed_str(8), "UNKNOWN");
}

TEST_F(SandyMonitor, SummaryMasksTheGlobalWords)
{
    struct {
        uint32_t gn, gf, sn, sf;
    } rows[] = {{0xFFFFFFFF, 0xFFFFFFFF, 0x90FFE3, 0x90FFE3}, {0x4, 0x00100000, 0, 0x00100000}, {0, 0, 0, 0}};
    for (const auto &r : rows) {
        poke(0, kRas, 0x1C0, r.gn);
        poke(0, kRas, 0x1C4, r.gf);
        sandy_gerr_state block{};
        sandy_summary sum{};
        ASSERT_EQ(sandy_get_global_error(&block, &sum), 0);
        EXPECT_EQ(sum.ulNonFatal, r.sn);
        EXPECT_EQ(sum.ulFatal, r.sf);
        EXPECT_EQ(block.aulReg[0], r.gn);
    }
}

// ---- snapshots ----------------------------------------------------------------------------

// Bytes of lspci's "-xxxx" rows of a dump file, by offset.
std::vector<uint8_t> lspci_bytes(const std::string &file)
{
    std::vector<uint8_t> out(4096);
    FILE *p = popen(("lspci -F " + file + " -xxxx 2>/dev/null").c_str(), "r");
    if (p == nullptr)
        return {};
    char line[256];
    bool any = false;
    while (std::fgets(line, sizeof line, p) != nullptr) {
        unsigned at = 0;
        int n = 0;
        if (std::sscanf(line, "%x:%n", &at, &n) != 1 || line[n] != ' ' || at >= 4096)
            continue;
        const char *s = line + n;
        for (unsigned k = 0; k < 16; k++) {
            unsigned byte = 0;
            int used = 0;
            if (std::sscanf(s, " %2x%n", &byte, &used) != 1)
                break;
            out[at + k] = static_cast<uint8_t>(byte);
            s += used;
            any = true;
        }
    }
    pclose(p);
    return any ? out : std::vector<uint8_t>{};
}

TEST_F(SandyMonitor, BlocksMatchTheFixtureAtTheirOffsets)
{
    PciBytes bytes = pci_conf_bytes(fn(0, kRas));
    for (size_t i = 0x80; i < 0x400; i++)
        bytes[i] = static_cast<uint8_t>(i * 7 + 3);
    pci_conf_poke(fn(0, kRas), 0, bytes);
    // lspci reads the same dump; its rows are the oracle.
    QUORBIX_NEED_TOOL("lspci", "pciutils");
    const std::string file = root_ + "/ras.dump";
    std::ofstream(file) << pci_dump_text({{0, kRas, bytes, "System peripheral"}});
    std::vector<uint8_t> oracle = lspci_bytes(file);
    ASSERT_FALSE(oracle.empty()) << "lspci printed no rows of " << file;
    sandy_gerr_state g{};
    sandy_sysevt_state s{};
    sandy_irp_state irp{};
    sandy_iio_state iio{};
    sandy_misc_state misc{};
    sandy_summary sum{};
    ASSERT_EQ(sandy_get_global_error(&g, &sum), 0);
    ASSERT_EQ(sandy_get_sysevt_state(&s), 0);
    ASSERT_EQ(sandy_get_irp_state(&irp), 0);
    ASSERT_EQ(sandy_get_iio_state(&iio), 0);
    ASSERT_EQ(sandy_read_misc_state(&misc), 0);
    struct {
        const void *snap;
        size_t at, len;
    } rows[] = {{&g, 0x1C0, 60},       {&s, 0x80, 48},      {irp.aulIrp0, 0x230, 64},
                {irp.aulIrp1, 0x2B0, 64}, {&iio, 0x300, 80}, {&misc, 0x380, 68}};
    for (const auto &r : rows)
        EXPECT_EQ(std::memcmp(r.snap, oracle.data() + r.at, r.len), 0) << std::hex << r.at;
}

TEST_F(SandyMonitor, AFailedReadPerBlock)
{
    struct {
        int (*read)();
        const char *line;
    } rows[] = {
        {[] { sandy_gerr_state g; sandy_summary s; return sandy_get_global_error(&g, &s); },
         "<TVK-ERR>Cannot get global error reg, ret="},
        {[] { sandy_gerr_state g; sandy_summary s; return sandy_get_global_error_all(&g, &s, 0); },
         "<TVK-ERR>busNo 0 Cannot get global error reg, ret="},
        {[] { sandy_sysevt_state s; return sandy_get_sysevt_state(&s); }, "<TVK-ERR>Cannot get STS state, ret="},
        {[] { sandy_irp_state s; return sandy_get_irp_state(&s); }, "<TVK-ERR>Cannot get irp state, ret="},
        {[] { sandy_iio_state s; return sandy_get_iio_state(&s); }, "<TVK-ERR>Cannot get iio state, ret="},
        {[] { sandy_misc_state s; return sandy_read_misc_state(&s); }, nullptr},
    };
    sim_fail_op(SimFaultOp::read, "/proc/bus/pci/00/05.2", EIO);
    for (const auto &r : rows) {
        EXPECT_LT(r.read(), 0);
        if (r.line != nullptr) {
            EXPECT_TRUE(logged(r.line)) << r.line;
        }
    }
}

TEST_F(SandyMonitor, QpiReadsPerProcessorCount)
{
    second_socket();
    poke(0x7F, 0x40, 0x78, 0x11);
    poke(0x7F, 0x48, 0xD4, 0x6);
    poke(0xFF, 0x40, 0x7C, 0x22);
    poke(0xFF, 0x48, 0x74, 0x33);
    for (int n = 0; n <= 3; n++) {
        sandy_qpi_state q[2] = {};
        const int r = sandy_get_qpi_error(q, n);
        if (n == 3) {
            EXPECT_EQ(r, -906);
            EXPECT_TRUE(logged("<TVK-ERR>Cannot get QPI State reg, ret=-906"));
            continue;
        }
        ASSERT_EQ(r, 0);
        EXPECT_EQ(q[0].astPort[0].ulErrCnt0, n >= 1 ? 0x11u : 0u);
        EXPECT_EQ(q[0].astPort[1].ulMiscSts, n >= 1 ? 0x6u : 0u);
        EXPECT_EQ(q[1].astPort[0].ulErrCnt1, n >= 2 ? 0x22u : 0u);
        EXPECT_EQ(q[1].astPort[1].ulErrDis, n >= 2 ? 0x33u : 0u);
    }
}

TEST_F(SandyMonitor, UncoreBusRefresh)
{
    second_socket();
    poke(0, 0x28, 0x108, 0x3E00);
    g_ucCpu1Bus1 = 0xAA;
    sandy_get_cpu_bus1(1);
    EXPECT_EQ(g_ucCpu0Bus1, 0x3E);
    EXPECT_EQ(g_ucCpu1Bus0, 0x80);
    EXPECT_EQ(g_ucCpu1Bus1, 0xAA);   // one processor: the second is left alone
    sandy_get_cpu_bus1(2);
    EXPECT_EQ(g_ucCpu1Bus1, 0xFF);
    sim_fail_op(SimFaultOp::read, "/proc/bus/pci/00/05.0", EIO);
    poke(0, 0x28, 0x108, 0x1100);
    sandy_get_cpu_bus1(1);
    EXPECT_EQ(g_ucCpu0Bus1, 0x3E);
    EXPECT_TRUE(logged("<TVK-ERR>Cannot read CPU0 BUSNO, iRet="));
}

TEST_F(SandyMonitor, ExpressErrorRecordOfRootPortAndDmi)
{
    sandy_express_error rec{};
    rec.ucBus = 0;
    rec.ucDevfn = 0x08;
    poke(0, 0x08, 0x200, 0x1);
    poke(0, 0x08, 0x258, 0xABCD);
    ASSERT_EQ(sandy_get_express_error(&rec), 0);
    EXPECT_EQ(rec.ucBridge, 1);
    EXPECT_EQ(rec.ucPcie, 1);
    EXPECT_EQ(rec.ulPcieCap, 0x90u);
    EXPECT_EQ(rec.stPcie.aucReg[0], 0x10);
    EXPECT_EQ(rec.ucAer, 1);
    EXPECT_EQ(rec.ulAerCap, 0x100u);
    EXPECT_EQ(rec.ucXp, 1);
    EXPECT_EQ(rec.stXp.aulReg[0], 1u);
    EXPECT_EQ(rec.stXp.ulLaneErr, 0xABCDu);
    // The DMI port: no capability, the XP block.
    sandy_express_error dmi{};
    ASSERT_EQ(sandy_get_express_error(&dmi), 0);
    EXPECT_EQ(dmi.ucBridge + dmi.ucPcie + dmi.ucAer, 0);
    EXPECT_EQ(dmi.ucXp, 1);
    EXPECT_EQ(sandy_get_express_error(nullptr), -904);
    EXPECT_TRUE(logged("<TVK-ERR>NULL Pointer Detected!"));
}

// ---- printers -----------------------------------------------------------------------------

TEST_F(SandyMonitor, HealthPrintersNgAndOk)
{
    sandy_misc_state misc{};
    sandy_iio_state iio{};
    sandy_irp_state irp{};
    struct {
        uint32_t value;
        bool ng;
    } rows[] = {{0, false}, {0x20, false}, {0x1, true}};
    for (const auto &r : rows) {
        misc.aulReg[0] = r.value;
        iio.aulReg[0] = r.value << 4;
        irp.aulIrp0[0] = r.value << 1;
        irp.aulIrp1[0] = r.value == 0x20 ? 0x1u : r.value << 2;
        char v[16];
        std::snprintf(v, sizeof v, "0x%08x", r.value);
        const std::string ok = r.ng ? "NG!" : "OK!";
        EXPECT_EQ(console_run([&] { return sandy_show_misc_health(&misc); }).out,
                  "[SHOW] MISC Error State = " + std::string(v) + "\n[SHOW] MISC Error state " + ok + "\n");
        EXPECT_NE(console_run([&] { return sandy_show_iio_health(&iio); }).out.find("IIO Core Error state " + ok),
                  std::string::npos);
        std::string out = console_run([&] { return sandy_show_irp_health(&irp); }).out;
        EXPECT_NE(out.find("[SHOW] Coherent Interface IRP0 Error state " + ok + "\n"), std::string::npos) << out;
        EXPECT_NE(out.find("[SHOW] Coherent Interface IRP1 Error state " + ok + "\n"), std::string::npos) << out;
    }
}

TEST_F(SandyMonitor, GlobalHealthNamesEachBit)
{
    struct {
        uint32_t nonFatal, fatal;
        std::string want;
    } rows[] = {
        {0x00100000, 0, "[SHOW] Global NoFatal Error  = 0x00100000\n[SHOW] Global Fatal Error = 0x00000000\n"
                        "[SHOW] Global NoFatal Error state NG! IIO DMI port 0.\n[SHOW] Global Fatal Error state OK!\n"},
        {0x4, 0x2, "[SHOW] Global NoFatal Error  = 0x00000004\n[SHOW] Global Fatal Error = 0x00000002\n"
                   "[SHOW] Global NoFatal Error state OK!\n[SHOW] Global Fatal Error state NG! IRP1 Coherent Interface\n"},
        {0x1000020, 0x800000, "[SHOW] Global NoFatal Error  = 0x01000020\n[SHOW] Global Fatal Error = 0x00800000\n"
                              "[SHOW] Global NoFatal Error state NG! PCIe logical port 0.\n"
                              "[SHOW] Global NoFatal Error state NG! Miscellaneous.\n"
                              "[SHOW] Global Fatal Error state NG! IIO core.\n"},
        // A reserved bit beside a watched one is named too.
        {0x8000, 0x02000004, "[SHOW] Global NoFatal Error  = 0x00008000\n[SHOW] Global Fatal Error = 0x02000004\n"
                             "[SHOW] Global NoFatal Error state NG! PCIe logical port 3d.\n"
                             "[SHOW] Global Fatal Error state NG! Reserved\n"
                             "[SHOW] Global Fatal Error state NG! VTd.\n"},
        // Miscellaneous (bit 24) is not a fatal bit.
        {0, 0x01000000, "[SHOW] Global NoFatal Error  = 0x00000000\n[SHOW] Global Fatal Error = 0x01000000\n"
                        "[SHOW] Global NoFatal Error state OK!\n[SHOW] Global Fatal Error state OK!\n"},
    };
    for (const auto &r : rows) {
        sandy_summary s{};
        s.ulNonFatal = r.nonFatal;
        s.ulFatal = r.fatal;
        EXPECT_EQ(console_run([&] { return sandy_show_global_health(&s); }).out, r.want);
    }
}

TEST_F(SandyMonitor, DumpRowsByteForByte)
{
    sandy_iio_state iio{};
    for (int i = 0; i < 20; i++)
        iio.aulReg[i] = 0x300u + 4u * static_cast<uint32_t>(i);
    std::string out = console_run([&] { return sandy_dump_iio_state(&iio); }).out;
    EXPECT_NE(out.find("value:0x00000300:\tIIO Core Error Status, addr: 0x300\n"), std::string::npos);
    // The counter rows print the registers their labels name.
    EXPECT_NE(out.find("value:0x0000033c:\tIIO Core Error Counter Selection, addr: 0x33c\n"
                       "value:0x00000340:\tIIO Core Error Counter, addr: 0x340\n"),
              std::string::npos)
        << out;
    sandy_sysevt_state s{};
    s.aulReg[0] = 0x11223344;
    s.aulReg[1] = 0x55667788;
    s.aulReg[11] = 0xAC;
    out = console_run([&] { return sandy_dump_sysevt_state(&s); }).out;
    EXPECT_EQ(out.substr(0, out.find('\n') + 1), "value:0x5566778811223344:\tIRP Protocol Error Severity, addr: 0x80\n");
    EXPECT_NE(out.find("value:0x000000ac:\tError Pin Data, addr: 0xAC\n"), std::string::npos);
    sandy_pcie_state p{};
    p.aucReg[0] = 0x10;
    p.aucReg[1] = 0xE0;
    p.aucReg[0x12] = 0x41;
    p.aucReg[0x13] = 0x10;
    out = console_run([&] { return sandy_dump_pcie_state(&p); }).out;
    EXPECT_EQ(out.substr(0, out.find("\n", out.find('\n') + 1) + 1),
              "value:0x10:\t\tPCI Express Capability Identity, offset: 0x00\n"
              "value:0xe0:\t\tPCI Express Next Pointer, offset: 0x01\n");
    EXPECT_NE(out.find("value:0x1041:\t\tPCI Express Link Status, offset: 0x12\n"), std::string::npos);
    EXPECT_NE(out.find("value:0x00000000:\tPCI Express Link Capabilities 2, offset: 0x2c\n"), std::string::npos);
    sandy_aer_state a{};
    a.aulReg[14] = 1;
    a.aulReg[17] = 2;
    out = console_run([&] { return sandy_dump_aer_state(&a); }).out;
    EXPECT_NE(out.find("value:0x0000000000000001:\tPerformance Control and Status, offset: 0x38\n"
                       "value:0x0000000200000000:\tMisc. Control and Status, offset: 0x40\n"),
              std::string::npos);
    sandy_xp_state x{};
    x.aulReg[12] = 0xBBBBAAAA;
    x.ulLaneErr = 7;
    out = console_run([&] { return sandy_dump_xp_state(&x); }).out;
    EXPECT_NE(out.find("value:0xaaaa:\t\tXP Global Error Status, addr: 0x230\nvalue:0xbbbb:\t\tXP Global Error Pointer, "
                       "addr: 0x232\nvalue:0x00000007:\tLane Error Status Register, addr:0x258\n"),
              std::string::npos);
    // Line counts of every dump: one per label.
    sandy_gerr_state g{};
    sandy_irp_state irp{};
    sandy_misc_state m{};
    sandy_bridge_state b{};
    struct {
        std::string out;
        size_t lines;
    } counts[] = {
        {console_run([&] { return sandy_dump_global_error(&g); }).out, 9},
        {console_run([&] { return sandy_dump_irp_state(&irp); }).out, 32},
        {console_run([&] { return sandy_dump_misc_state(&m); }).out, 16},
        {console_run([&] { return sandy_dump_bridge_state(&b); }).out, 2},
        {console_run([&] { return sandy_dump_pcie_state(&p); }).out, 20},
        {console_run([&] { return sandy_dump_aer_state(&a); }).out, 16},
        {console_run([&] { return sandy_dump_xp_state(&x); }).out, 14},
    };
    for (const auto &c : counts)
        EXPECT_EQ(static_cast<size_t>(std::count(c.out.begin(), c.out.end(), '\n')), c.lines) << c.out;
}

TEST_F(SandyMonitor, ExpressDumpPerFlagCombination)
{
    for (int flags = 0; flags < 16; flags++) {
        sandy_express_error rec{};
        rec.ucBridge = flags & 1;
        rec.ucPcie = (flags >> 1) & 1;
        rec.ucAer = (flags >> 2) & 1;
        rec.ucXp = (flags >> 3) & 1;
        rec.ulPcieCap = 0x90;
        rec.ulAerCap = 0x100;
        std::string out = console_run([&] { return sandy_dump_express_error(&rec); }).out;
        const size_t want = (flags & 1 ? 3 : 0) + (flags & 2 ? 21 : 0) + (flags & 4 ? 17 : 0) + (flags & 8 ? 15 : 0);
        EXPECT_EQ(static_cast<size_t>(std::count(out.begin(), out.end(), '\n')), want) << flags;
        EXPECT_EQ(out.find("PCI Express Registers, start addr 0x0090") != std::string::npos, (flags & 2) != 0);
        EXPECT_EQ(out.find("AER Registers, start addr 0x0100") != std::string::npos, (flags & 4) != 0);
    }
}

TEST_F(SandyMonitor, QpiDumpByProcessorCount)
{
    sandy_qpi_state q[2] = {};
    q[1].astPort[1].ulMiscSts = 0x5;
    for (uint8_t n = 0; n <= 3; n++) {
        g_sandy_cpuno = n;
        std::string out = console_run([&] { return sandy_dump_qpi_state(q); }).out;
        const size_t want = n == 1 || n == 2 ? 10u * n : 0u;
        EXPECT_EQ(static_cast<size_t>(std::count(out.begin(), out.end(), '\n')), want) << int(n);
        if (n == 2) {
            EXPECT_NE(out.find("[SHOW] ================CPU1 QPI Port1, Device[ff:09.0]=============\r\n"
                               "CPU1 QPI Port1 Register value:0x00000000:\tIntel QPI Error Disable, addr: 0x74\n"),
                      std::string::npos)
                << out;
        }
    }
}

TEST_F(SandyMonitor, NullSnapshotsOnlyLog)
{
    int (*printers[])() = {
        [] { return sandy_show_misc_health(nullptr); },   [] { return sandy_show_iio_health(nullptr); },
        [] { return sandy_show_irp_health(nullptr); },    [] { return sandy_show_global_health(nullptr); },
        [] { return sandy_dump_global_error(nullptr); },  [] { return sandy_dump_sysevt_state(nullptr); },
        [] { return sandy_dump_irp_state(nullptr); },     [] { return sandy_dump_misc_state(nullptr); },
        [] { return sandy_dump_iio_state(nullptr); },     [] { return sandy_dump_qpi_state(nullptr); },
        [] { return sandy_dump_bridge_state(nullptr); },  [] { return sandy_dump_pcie_state(nullptr); },
        [] { return sandy_dump_aer_state(nullptr); },     [] { return sandy_dump_xp_state(nullptr); },
        [] { return sandy_dump_express_error(nullptr); },
    };
    for (auto p : printers) {
        ConsoleRun r = console_run(p);
        EXPECT_EQ(r.status, -904);
        EXPECT_EQ(r.out, "");
    }
    EXPECT_EQ(count("<TVK-ERR>Null pointer detected\n"), std::size(printers));
}

// ---- clears and masks ---------------------------------------------------------------------

TEST_F(SandyMonitor, ClearsAndMasksWriteTheirRegisters)
{
    second_socket();
    struct {
        void (*op)();
        std::vector<Write> want;
    } rows[] = {
        {[] { sandy_clear_global_state(0x80); },
         {{"/proc/bus/pci/80/05.2", 0x1C0, 4, 0x3D0FFE3}, {"/proc/bus/pci/80/05.2", 0x1C4, 4, 0x2D0FFE3}}},
        {[] { sandy_clear_irp_state(1, 0); }, {{"/proc/bus/pci/00/05.2", 0x2B0, 4, 0x641E}}},
        {[] { sandy_clear_irp_state(2, 0); }, {}},
        {[] { sandy_clear_iio_state(0); }, {{"/proc/bus/pci/00/05.2", 0x300, 4, 0x70}}},
        {[] { sandy_clear_misc_state(); }, {{"/proc/bus/pci/00/05.2", 0x380, 4, 0x1F}}},
        {[] { sandy_clear_xp_state(0, 0x10); },
         {{"/proc/bus/pci/00/02.0", 0x200, 4, 1}, {"/proc/bus/pci/00/02.0", 0x208, 4, 0x37A}}},
        {[] { (void)sandy_setmisc_mask(0); }, {{"/proc/bus/pci/00/05.2", 0x384, 4, 0x1F}}},
        {[] { (void)sandy_setirp_mask(0x80); }, {{"/proc/bus/pci/80/05.2", 0x234, 4, 0x641E}}},
        {[] { (void)sandy_setiio_mask(0); }, {{"/proc/bus/pci/00/05.2", 0x304, 4, 0x70}}},
        {[] { sandy_clear_qpi_state(1); },
         {{"/proc/bus/pci/7f/08.0", 0x78, 2, 0}, {"/proc/bus/pci/7f/08.0", 0x7C, 2, 0},
          {"/proc/bus/pci/7f/09.0", 0x78, 2, 0}, {"/proc/bus/pci/7f/09.0", 0x7C, 2, 0}}},
        {[] { sandy_clear_qpi_state(3); }, {}},
    };
    for (const auto &r : rows) {
        sim_clear_journal();
        r.op();
        EXPECT_EQ(writes(), r.want);
    }
}

TEST_F(SandyMonitor, ClearsTakeTheWriteOneToClearBits)
{
    poke(0, kRas, 0x1C0, 0x90FFE3);
    poke(0, kRas, 0x1C4, 0x800000);
    poke(0, kRas, 0x300, 0x70);
    poke(0, kRas, 0x380, 0x1F);
    poke(0, kRas, 0x2B0, 0x641E);
    sandy_clear_global_state(0);
    sandy_clear_iio_state(0);
    sandy_clear_misc_state();
    sandy_clear_irp_state(1, 0);
    sandy_gerr_state g{};
    sandy_summary sum{};
    sandy_iio_state iio{};
    sandy_misc_state misc{};
    sandy_irp_state irp{};
    ASSERT_EQ(sandy_get_global_error(&g, &sum), 0);
    ASSERT_EQ(sandy_get_iio_state(&iio), 0);
    ASSERT_EQ(sandy_read_misc_state(&misc), 0);
    ASSERT_EQ(sandy_get_irp_state(&irp), 0);
    EXPECT_EQ(sum.ulNonFatal | sum.ulFatal | iio.aulReg[0] | misc.aulReg[0] | irp.aulIrp1[0], 0u);
    sim_fail_op(SimFaultOp::write, "/proc/bus/pci/00/05.2", EIO);
    sandy_clear_global_state(0);
    EXPECT_TRUE(logged("<TVK-ERR>Cannot set [00:05.2] GNERRST, ret="));
    EXPECT_TRUE(logged("<TVK-ERR>Cannot set [00:05.2] _GFERRST, ret="));
    EXPECT_LT(sandy_setiio_mask(0), 0);
}

TEST_F(SandyMonitor, QpiMaskKeepsTheCounts)
{
    poke(0x7F, 0x40, 0x78, 0x00C00012);
    poke(0x7F, 0x48, 0x7C, 0x0000FFFF);
    ASSERT_EQ(sandy_set_qpi_mask(1), 0);
    EXPECT_EQ(reg(0x7F, 0x40, 0x74), 0x40000u);
    EXPECT_EQ(reg(0x7F, 0x40, 0x78), 0x3B0012u);
    EXPECT_EQ(reg(0x7F, 0x48, 0x7C), 0xFFC0FFFFu);
    EXPECT_EQ(sandy_set_qpi_mask(3), -906);
    // A failed read of a counter skips its write.
    SimFault f;
    f.node = "/proc/bus/pci/7f/09.0";
    f.op = SimFaultOp::read;
    f.err = EIO;
    sim_add_fault(f);
    sim_clear_journal();
    ASSERT_EQ(sandy_set_qpi_mask(1), 0);
    size_t port1 = 0;
    for (const Write &w : writes())
        port1 += w.node == "/proc/bus/pci/7f/09.0";
    EXPECT_EQ(port1, 1u);   // the error disable only
    EXPECT_TRUE(logged("<TVK-ERR>Cannot set [7f:09.0] QPIERRCNT0, ret="));
}

TEST_F(SandyMonitor, PortClearsByGlobalXpStatus)
{
    struct {
        uint8_t devfn;
        bool dmi;
        uint16_t glb;
    } rows[] = {{0x08, false, 0}, {0x08, false, 0x5}, {0x00, true, 0}, {0x00, true, 0x2}};
    for (const auto &r : rows) {
        poke(0, r.devfn, 0x200, 0x3);
        poke(0, r.devfn, 0x208, 0x10);
        poke(0, r.devfn, 0x230, r.glb, 2);
        if (!r.dmi) {
            poke(0, 0x08, 0x104, 0x4);
            poke(0, 0x08, 0x110, 0x1);
            poke(0, 0x08, 0x130, 0x2);
        }
        sim_clear_journal();
        if (r.dmi)
            sandy_clear_dmi_lerr(0);
        else
            sandy_clear_pcie_lerr(1, 0);
        EXPECT_EQ(reg(0, r.devfn, 0x200), 0u);
        EXPECT_EQ(reg(0, r.devfn, 0x208), 0u);
        EXPECT_EQ(reg(0, r.devfn, 0x230, 2), 0u);
        std::vector<uint64_t> offsets;
        for (const Write &w : writes())
            offsets.push_back(w.offset);
        std::vector<uint64_t> want;
        if (r.dmi)
            want = r.glb ? std::vector<uint64_t>{0x200, 0x208, 0x230, 0x06} : std::vector<uint64_t>{0x200, 0x208, 0x06};
        else
            want = r.glb ? std::vector<uint64_t>{0xA2, 0x200, 0x208, 0x104, 0x110, 0x130, 0x230}
                         : std::vector<uint64_t>{0xA2, 0x200, 0x208};
        EXPECT_EQ(offsets, want) << int(r.devfn) << " " << r.glb;
        if (!r.dmi) {
            EXPECT_EQ(reg(0, 0x08, 0x104) == 0, r.glb != 0);   // AER untouched unless XPGLBERRSTS is set
        }
    }
    sim_fail_op(SimFaultOp::read, "/proc/bus/pci/00/00.0", EIO);
    sim_clear_journal();
    sandy_clear_dmi_lerr(0);
    EXPECT_TRUE(writes().empty());
    EXPECT_TRUE(logged("<TVK-ERR>Cannot read DMI XPCORERRSTS, iRet="));
}

// ---- the monitoring pass ------------------------------------------------------------------

class SandyPass : public SandyMonitor {
protected:
    sandy_monitor_state state{};
    sandy_summary out[2] = {};
    int pass()
    {
        int r = sandy_check_global_error(&state, out);
        state.ucInit = 1;
        std::memcpy(state.astSum, out, sizeof out);
        return r;
    }
    std::vector<std::string> log_lines()
    {
        std::vector<std::string> lines;
        std::string l = log(), line;
        for (char c : l) {
            if (c != '\n') {
                line += c;
                continue;
            }
            if (line.find("[LOG] ") != std::string::npos && line.find("<COMM>") == std::string::npos &&
                line.find("Dumping configuration") == std::string::npos)
                lines.push_back(line.substr(line.find("[LOG] ") + 6));
            line.clear();
        }
        return lines;
    }
    void truncate_log() { std::ofstream(root_ + "/tavik.log", std::ios::trunc); }
};

TEST_F(SandyPass, VirginPassWithNoErrors)
{
    state.ucCpuNum = 1;
    ASSERT_EQ(pass(), 0);
    std::vector<std::string> want = {"CPU0 detect QPI link rate is 8.0GT/s", "CPUNo 0 IIO Core virgin state is OK",
                                     "CPUNo 0 DMI global virgin state is OK"};
    for (int p = 0; p < 11; p++)
        want.push_back(std::string("CPUNo 0 ") + sandy_gerror_desc[5 + p] + " virgin state is OK");
    want.insert(want.end(), {"CPUNo 0 IRP0 virgin state is OK", "CPUNo 0 IRP1 virgin state is OK",
                             "Lucky, RAS is virgin...", "CPUNo 0 No error detect in global error registers."});
    EXPECT_EQ(log_lines(), want);
    // Masks, then only the global clear.
    std::vector<Write> w = writes();
    ASSERT_GE(w.size(), 2u);
    EXPECT_EQ(w[w.size() - 2], (Write{"/proc/bus/pci/00/05.2", 0x1C0, 4, 0x3D0FFE3}));
    EXPECT_EQ(reg(0x7F, 0x40, 0x74), 0x40000u);
    EXPECT_EQ(reg(0, kRas, 0x304), 0x70u);
    EXPECT_EQ(reg(0, kRas, 0x234), 0x641Eu);
    // A later pass with nothing new: no unit line, only the global clear.
    truncate_log();
    sim_clear_journal();
    ASSERT_EQ(pass(), 0);
    EXPECT_TRUE(log_lines().empty());
    EXPECT_EQ(writes(), (std::vector<Write>{{"/proc/bus/pci/00/05.2", 0x1C0, 4, 0x3D0FFE3},
                                            {"/proc/bus/pci/00/05.2", 0x1C4, 4, 0x2D0FFE3}}));
}

TEST_F(SandyPass, VirginPassWithErrorsInEachUnit)
{
    state.ucCpuNum = 1;
    poke(0, kRas, 0x1C0, 0x00800041);   // IIO, PCIe port 1a, IRP0 non-fatal
    poke(0, kRas, 0x1C4, 0x00100002);   // DMI, IRP1 fatal
    poke(0, kRas, 0x300, 0x70);
    poke(0x7F, 0x40, 0x78, 0x5);
    ASSERT_EQ(pass(), 0);
    for (const char *line : {"CPU0 QPI Port0 detect correctable error[0x003b0005]",
                             "CPUNo 0 IIO Core detect non-fatal error[0x00800041]",
                             "CPUNo 0 DMI detect glboal fatal error[0x00100002]", "CPUNo 0 Log DMI Port config space",
                             "CPUNo 0 PCIe logical port 1a. detect non-fatal error [0x00800041]",
                             "CPUNo 0 Log PCIe logical port 1a. config space",
                             "CPUNo 0 IRP0 detect non-fatal error[0x00800041]",
                             "CPUNo 0 IRP1 detect fatal error[0x00100002]",
                             "CPUNo 0 Detect non-fatal error, global error registers :",
                             "CPUNo 0 Detect fatal error, global error registers :"})
        EXPECT_TRUE(logged(std::string("[LOG] ") + line + "\n")) << line;
    EXPECT_TRUE(logged("[LOG] <COMM>000001c0: 41 00 80 00 02 00 10 00"));
    EXPECT_EQ(out[0].ulNonFatal, 0x00800041u);
    EXPECT_EQ(out[0].ulFatal, 0x00100002u);
    EXPECT_EQ(reg(0, kRas, 0x300), 0u);   // IIO cleared
    EXPECT_EQ(reg(0, kRas, 0x1C0), 0u);   // global cleared
}

TEST_F(SandyPass, LaterPassReportsChanges)
{
    state.ucCpuNum = 1;
    ASSERT_EQ(pass(), 0);
    truncate_log();
    poke(0, kRas, 0x1C0, 0x00800000);
    poke(0x7F, 0x40, 0x7C, 0x3);
    poke(0x7F, 0x40, 0xD4, 0x7);
    sim_clear_journal();
    ASSERT_EQ(pass(), 0);
    EXPECT_EQ(log_lines(), (std::vector<std::string>{
                               "CPU0 QPI Port0 uncorr error status change[0->3]",
                               "CPU0 detect QPI link rate change[8.0GT/s->9.6GT/s]",
                               "CPUNo 0 IIO Core non-fatal error status change[0->1]",
                               "CPUNo 0 Detect RAS non-fatal error reg change[0x00000000 -> 0x00800000]"}));
    bool iioCleared = false;
    for (const Write &w : writes())
        iioCleared |= w == Write{"/proc/bus/pci/00/05.2", 0x300, 4, 0x70};
    EXPECT_TRUE(iioCleared);
    // Going back to zero is a change too.
    truncate_log();
    ASSERT_EQ(pass(), 0);
    EXPECT_TRUE(logged("[LOG] CPUNo 0 IIO Core non-fatal error status change[1->0]\n"));
    EXPECT_TRUE(logged("[LOG] CPUNo 0 Detect RAS non-fatal error reg change[0x00800000 -> 0x00000000]\n"));
}

// The link rate is port 0's: a new rate code on port 1 is not logged.
TEST_F(SandyPass, LinkRateChangeOfPortZeroOnly)
{
    state.ucCpuNum = 1;
    ASSERT_EQ(pass(), 0);
    truncate_log();
    ASSERT_EQ(reg(0x7F, 0x48, 0xD4) & 7, 5u);   // 8.0GT/s, as port 0
    poke(0x7F, 0x48, 0xD4, 0x7);
    ASSERT_EQ(pass(), 0);
    EXPECT_FALSE(logged("link rate change")) << log();
    EXPECT_TRUE(log_lines().empty());
    truncate_log();
    poke(0x7F, 0x40, 0xD4, 0x3);
    ASSERT_EQ(pass(), 0);
    EXPECT_EQ(log_lines(), std::vector<std::string>{"CPU0 detect QPI link rate change[8.0GT/s->6.4GT/s]"});
}

TEST_F(SandyPass, ProcessorCounts)
{
    second_socket();
    state.ucCpuNum = 3;
    EXPECT_EQ(sandy_check_global_error(&state, out), -906);
    EXPECT_EQ(sandy_check_global_error(nullptr, out), -904);
    state.ucCpuNum = 0;
    out[0].ulFatal = 7;
    ASSERT_EQ(sandy_check_global_error(&state, out), 0);
    EXPECT_EQ(out[0].ulFatal, 0u);
    EXPECT_EQ(log_lines(), std::vector<std::string>{"Lucky, RAS is virgin..."});
    truncate_log();
    state = {};
    state.ucCpuNum = 2;
    poke(0x80, kRas, 0x1C4, 0x00800000);
    ASSERT_EQ(pass(), 0);
    EXPECT_TRUE(logged("[LOG] CPUNo 1 IIO Core detect fatal error[0x00800000]\n"));
    EXPECT_TRUE(logged("[LOG] CPU1 detect QPI link rate is 8.0GT/s\n"));
    EXPECT_EQ(reg(0x80, kRas, 0x1C4), 0u);
    // A failed clear names the processor's own bus.
    sim_fail_op(SimFaultOp::write, "/proc/bus/pci/80/05.2", EIO);
    sandy_clear_global_state(0x80);
    EXPECT_TRUE(logged("<TVK-ERR>Cannot set [80:05.2] GNERRST, ret="));
    sim_fail_op(SimFaultOp::read, "/proc/bus/pci/80/05.2", EIO);
    EXPECT_LT(pass(), 0);
    EXPECT_TRUE(logged("<TVK-ERR>CPU 1 Cannot get sandy bridge RAS state, ret="));
}

// ---- the LPC check ------------------------------------------------------------------------

TEST_F(SandyMonitor, LpcCheck)
{
    struct {
        const char *fact;       // fixture line or null
        uint32_t ids;           // device << 16 | vendor
        uint16_t status;
        bool noIopl;
        uint32_t state, failures;
        const char *text;
        size_t ports;
    } rows[] = {
        {nullptr, 0x1D418086, 0, false, 1, 0, "STATE OK", 3},
        {nullptr, 0x1D408086, 0x4100, false, 1, 0, "STATE OK", 3},
        {nullptr, 0x1D428086, 0, false, 1, 1, "STATE OK", 3},
        {nullptr, 0x1D4110EE, 0, false, 1, 1, "STATE OK", 3},
        {"uncore-c90-stuck 0x55", 0x1D418086, 0, false, 8, 0, "LPC Register test fail", 3},
        {"uncore-c90-stuck 0x12", 0x1D418086, 0, false, 8, 0, "LPC Register test fail", 3},
        {"uncore-c90-free", 0x1D418086, 0, true, 8, 0, "LPC Register test fail", 0},
    };
    for (const auto &r : rows) {
        std::string error;
        if (r.fact != nullptr) {
            ASSERT_TRUE(sim_fixture_apply(r.fact, "lpc", error)) << error;
        }
        sim_clear_faults();
        if (r.noIopl)
            sim_fail_op(SimFaultOp::iopl, "", EPERM);
        poke(0, SANDY_LPC_DEVFN, 0, r.ids);
        poke(0, SANDY_LPC_DEVFN, 0x06, r.status, 2);
        sim_clear_journal();
        uint32_t failures = 9, st = 0;
        char text[SANDY_LPC_TEXT] = {};
        ASSERT_EQ(sandy_check_lpc_error(&failures, &st, text), 0);
        EXPECT_EQ(st, r.state) << r.ids;
        EXPECT_EQ(failures, r.failures) << r.ids;
        EXPECT_STREQ(text, r.text);
        EXPECT_EQ(port_events(), r.ports);
        EXPECT_EQ(reg(0, SANDY_LPC_DEVFN, 0x06, 2), 0u);   // status bits written back
    }
    EXPECT_TRUE(logged("[LOG] LPC PCI Device [00:1f:0] Vender id[10ee], Device id[1d41]\n"));
    EXPECT_TRUE(logged("[LOG] LPC PCI Device [00:1f:0] PCI Status[4100]\n"));
    EXPECT_TRUE(logged("<TVK-ERR>Cannot enable io R/W\n"));
    sim_fail_op(SimFaultOp::read, "/proc/bus/pci/00/1f.0", EIO);
    uint32_t failures = 0, st = 0;
    char text[SANDY_LPC_TEXT] = {};
    EXPECT_LT(sandy_check_lpc_error(&failures, &st, text), 0);
    EXPECT_TRUE(logged("<TVK-ERR>Cannot read [00:1f.0] VenderID, iRet="));
}

// The register inverts what is written: 0x55 is written 0x55 and reads 0xAA.
TEST_F(SandyMonitor, LpcPortWritesByFirstRead)
{
    uint32_t failures = 0, st = 0;
    char text[SANDY_LPC_TEXT] = {};
    ASSERT_EQ(sandy_check_lpc_error(&failures, &st, text), 0);
    std::vector<uint64_t> seen;
    for (const SimJournalEntry &e : sim_journal())
        if (e.address == SANDY_LPC_PORT && (e.kind == SimEvent::port_in || e.kind == SimEvent::port_out))
            seen.push_back(e.value);
    EXPECT_EQ(seen, (std::vector<uint64_t>{0x55, 0x55, 0xAA}));
    sim_clear_journal();
    ASSERT_EQ(sandy_check_lpc_error(&failures, &st, text), 0);   // now reads 0xAA: writes 0xAA, expects 0x55
    seen.clear();
    for (const SimJournalEntry &e : sim_journal())
        if (e.address == SANDY_LPC_PORT)
            seen.push_back(e.value);
    EXPECT_EQ(seen, (std::vector<uint64_t>{0xAA, 0xAA, 0x55}));
    EXPECT_EQ(st, SANDY_LPC_OK);
}

} // namespace

namespace {

TEST_F(SandyMonitor, UnitLogsAndHexRows)
{
    struct {
        int (*op)();
        int result;
    } rows[] = {
        {[] { return sandy_log_irp_lerr(2, 0); }, -906}, {[] { return sandy_log_pcie_lerr(11, 0); }, -906},
        {[] { return sandy_log_irp_lerr(1, 0); }, 0},    {[] { return sandy_log_pcie_lerr(0, 0); }, 0},
        {[] { return sandy_log_pcie_lerr(10, 0); }, -901},   // 00:03.3 is not on this board
        {[] { return sandy_log_iio_lerr(0); }, 0},       {[] { return sandy_log_misc_lerr(); }, 0},
        {[] { return sandy_log_dmi_lerr(0); }, 0},
    };
    for (const auto &r : rows)
        EXPECT_EQ(r.op(), r.result) << &r - rows;
    std::ofstream(root_ + "/tavik.log", std::ios::trunc);
    const uint8_t bytes[20] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 20};
    tvk_log_hex(bytes, 20, 0x1C4, 14, "<COMM>");
    EXPECT_EQ(log(), "F N [LOG] <COMM>--------  00 01 02 03 04 05 06 07 08 09 0a 0b 0c 0d 0e 0f\n"
                     "F N [LOG] <COMM>000001c0:             01 02 03 04 05 06 07 08 09 0a 0b 0c\n"
                     "F N [LOG] <COMM>000001d0: 0d 0e\n");
}

} // namespace

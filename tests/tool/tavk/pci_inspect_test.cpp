// test pci and dump pci through their dispatchers on the simulated DORN
// board: every letter's console lines, the clears and what the shows see
// after them, the preparation failures, and lspci reading the same
// configuration space as the oracle of the status lines.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <fstream>
#include <map>
#include <regex>
#include <string>
#include <vector>

#include "bases/pci/tvk_cap.h"
#include "hwmanage/hpi/plugins/hardware/tvk_ras_regs.h"
#include "sim/pci_bus.h"
#include "support/console_run.h"
#include "support/sim_fixture.h"
#include "tool/tavk/pci_inspect.h"
#include "tool/tavk/pci_reg.h"
#include "support/oracle.h"

namespace {

// The PCI Express functions of the default board in list order; the three
// on bus 0 are processor root ports.
const std::vector<std::string> kListed = {"04:00.0", "03:00.0", "02:00.0", "01:00.0", "00:03.0", "00:02.0", "00:01.0"};

std::string health(const std::string &at, bool rootPort)
{
    std::string p = "[SHOW] [" + at + "] ";
    std::string out = p + "DEVSTA OK, speed=5.0GT/s, width=X4\n" + p + "AER Uncorrectable Error Status OK!\n" + p +
                      "AER Correctable Error Status OK!\n" + p + "AER Root Port Error Status OK!\n";
    if (rootPort)
        out += p + "XP Correctable Error Status OK!\n" + p + "XP Uncorrectable Error Status OK!\n" + p +
               "XPGLBERRSTS PCIe AER Fatal error OK!\n" + p + "XPGLBERRSTSPCIe AER Non-fatal error OK!\n" + p +
               "XPGLBERRSTS PCIe AER Correctable error OK!\n";
    return out;
}

std::string all_healthy(size_t first = 0)
{
    std::string out;
    for (size_t i = first; i < kListed.size(); i++)
        out += health(kListed[i], kListed[i].starts_with("00:"));
    return out;
}

const std::string kBridgesOk = "[SHOW] <--- Begin to inspect PCI Bridge state... --->\n"
                               "[SHOW] PCI bridge[00:01.0] state OK!\n[SHOW] PCI bridge[00:02.0] state OK!\n"
                               "[SHOW] PCI bridge[00:03.0] state OK!\n";

const std::string kClearAll = "[SHOW] <--- Clear pcie state... --->\n[SHOW] <--- Clear bridge state... --->\n"
                              "[SHOW] <--- Clear iio state... --->\n[SHOW] <--- Clear coherent interface state... --->\n"
                              "[SHOW] <--- Clear global error state... --->\n[SHOW] <--- Clear QPI state... --->\n";

std::string qpi_port(int p)
{
    std::string c = "CPU0 QPI Port" + std::to_string(p);
    std::string out = "[SHOW] ================" + c + ", Device[7f:0" + std::to_string(8 + p) + ".0]=============\r\n" +
                      c + " Register value:0x00040000:\tIntel QPI Error Disable, addr: 0x74\n" + c +
                      " Register value:0x003b0000:\tIntel QPI Error Counter 0, addr: 0x78\n" + c +
                      " Register value:0xffc00000:\tIntel QPI Error Counter 1, addr: 0x7C\n" + c +
                      " Register value:0x00000005:\tIntel QPI Misc Status, addr: 0xD4\n";
    return out;
}

class PciInspect : public SimTest {
protected:
    void TearDown() override
    {
        EXPECT_TRUE(sim_mappings().empty()) << "mappings left";
        SimTest::TearDown();
    }
    static ConsoleRun test(const std::string &letter)
    {
        return console_run([&] { return op_test(("pci/" + letter).c_str()); });
    }
    static ConsoleRun dump(const std::string &text)
    {
        return console_run([&] { return op_dump(("pci/" + text).c_str()); });
    }
    std::string log()
    {
        return std::regex_replace(sim_read_file("/tavik.log"), std::regex("(^|\n)\\S+\\.cpp \\d+ "), "$1F N ");
    }
    static PciFunction &fn(uint8_t bus, uint8_t devfn)
    {
        PciFunction *f = pci_bus_find(bus, devfn);
        EXPECT_NE(f, nullptr);
        return *f;
    }
    static void poke(uint8_t bus, uint8_t devfn, uint32_t at, uint32_t value, int width)
    {
        PciBytes b(static_cast<size_t>(width));
        pci_put(b, 0, value, width);
        pci_conf_poke(fn(bus, devfn), at, b);
    }
    static uint32_t peek(uint8_t bus, uint8_t devfn, uint32_t at, int width)
    {
        return pci_get(pci_conf_bytes(fn(bus, devfn)), at, width);
    }
    static uint32_t devsta_at(uint8_t bus, uint8_t devfn)
    {
        return static_cast<uint32_t>(tvk_tell_cap(bus, devfn, TVK_CAP_ID_EXP)) + 0x0A;
    }
    // Bridge bits, a Device Status error, AER and XP errors.
    void break_things()
    {
        poke(0, 0x10, 0x06, 0x0110, 2);                       // 00:02.0 Status: parity error
        poke(0, 0x18, 0x1E, 0x8000, 2);                       // 00:03.0 Secondary Status: parity detected
        poke(1, 0, devsta_at(1, 0), 0x0004, 2);               // 01:00.0 DevSta: fatal
        poke(0, 0x08, 0x104, 0x10, 4);                        // 00:01.0 UESta
        poke(0, 0x08, 0x110, 0x01, 4);                        // 00:01.0 CESta
        poke(0, 0x08, 0x130, 0x01, 4);                        // 00:01.0 RootSta
        poke(0, 0x10, 0x200, 0x01, 4);                        // 00:02.0 XP correctable
        poke(0, 0x10, 0x230, 0x02, 2);                        // 00:02.0 XPGLBERRSTS non-fatal
    }
    // lspci's verbose text of one function, reading a dump of the board's
    // present configuration space; empty when lspci cannot run.
    std::string lspci(const char *bdf)
    {
        std::vector<PciDumpFunction> fns;
        for (PciFunction *f : pci_bus_functions())
            fns.push_back({f->bus, f->devfn, pci_conf_bytes(*f), "Device"});
        const std::string file = root_ + "/oracle.dump";
        std::ofstream(file) << pci_dump_text(fns);
        std::string cmd = "lspci -F " + file + " -vvv -s " + bdf + " 2>/dev/null";
        std::string out;
        if (FILE *p = ::popen(cmd.c_str(), "r")) {
            char buf[512];
            while (std::fgets(buf, sizeof buf, p))
                out += buf;
            ::pclose(p);
        }
        return out;
    }
    // lspci's "-xxx" rows of one function as "OO: xx ..." lines.
    std::vector<std::string> lspci_rows(const char *bdf)
    {
        std::string text = lspci((std::string(bdf) + " -xxx").c_str());
        std::vector<std::string> rows;
        std::regex row("\n([0-9a-f]{2}: [^\n]*)");
        for (auto it = std::sregex_iterator(text.begin(), text.end(), row); it != std::sregex_iterator(); ++it)
            rows.push_back((*it)[1]);
        return rows;
    }
    // The "[SHOW] 000000OO: xx ..." rows of a console dump in lspci's form.
    static std::vector<std::string> shown_rows(const std::string &out)
    {
        std::vector<std::string> rows;
        std::regex row("\\[SHOW\\] 000000([0-9a-f]{2}):([^\n]*)");
        for (auto it = std::sregex_iterator(out.begin(), out.end(), row); it != std::sregex_iterator(); ++it)
            rows.push_back((*it)[1].str() + ":" + (*it)[2].str());
        return rows;
    }
    // Whether lspci marks one of the flags the tool judges on line `label`.
    static bool flagged(const std::string &text, const std::string &label)
    {
        static const std::map<std::string, std::string> judged = {
            {"Status", "(ParErr|SERR|PERR)\\+"},        {"Secondary status", "(ParErr|SERR|PERR)\\+"},
            {"DevSta", "(NonFatalErr|FatalErr|UnsupReq)\\+"}, {"UESta", "\\+"},
            {"CESta", "\\+"},                             {"RootSta", "CERcvd.*\\+"},
        };
        return std::regex_search(text, std::regex("\n\\s*" + label + ":[^\n]*" + judged.at(label)));
    }
};

TEST_F(PciInspect, LettersOnAHealthyBoard)
{
    struct {
        const char *letter;
        std::string out;
    } rows[] = {
        {"A", all_healthy()},
        {"a", all_healthy()},
        {"B", kBridgesOk},
        {"D", "[SHOW] <--- Begin to show Dmi state... --->\nDmi link width: X4, speed: 5.0GT/s, status: 0x2042\n"},
        {"G", "[SHOW] <--- Begin to inspect global error state, Device[00:05.2]... --->\n"
              "[SHOW] Global NoFatal Error  = 0x00000000\n[SHOW] Global Fatal Error = 0x00000000\n"
              "[SHOW] Global NoFatal Error state OK!\n[SHOW] Global Fatal Error state OK!\n"},
        {"i", "[SHOW] <--- Begin to inspect iio state, Device[00:05.2]... --->\n"
              "[SHOW] IIO Error State = 0x00000000\n[SHOW] IIO Core Error state OK!\n"},
        {"M", "[SHOW] <--- Begin to inspect misc state, Device[00:05.2]... --->\n"
              "[SHOW] MISC Error State = 0x00000000\n[SHOW] MISC Error state OK!\n"},
        {"m", ""},
        {"P", "[SHOW] <--- Begin to inspect coherent interface state, Device[00:05.2]... --->\n"
              "[SHOW] IRP0 Error State = 0x00000000\n[SHOW] IRP1 Error State = 0x00000000\n"
              "[SHOW] Coherent Interface IRP0 Error state OK!\n[SHOW] Coherent Interface IRP1 Error state OK!\n"},
        {"Q", "[SHOW] <--- Begin to inspect QPI state... --->\n" + qpi_port(0) +
                  "CPU0 QPI Port0 CorrERR MASK=0x0000003b, ERRCNT=0\nCPU0 QPI Port0 UNCorrERR MASK=0x00000000, ERRCNT=0\n"
                  "CPU0 detect QPI link rate is 8.0GT/s\n" +
                  qpi_port(1) +
                  "CPU0 QPI Port1 CorrERR MASK=0x0000003b, ERRCNT=0\nCPU0 QPI Port1 UNCorrERR MASK=0x00000000, ERRCNT=0\n"},
        {"C", kClearAll},
        {"z", ""},
        {"Bxyz", kBridgesOk},
    };
    for (const auto &r : rows) {
        SCOPED_TRACE(r.letter);
        ConsoleRun run = test(r.letter);
        EXPECT_EQ(run.status, 0);
        EXPECT_EQ(run.out, r.out);
    }
}

// Each coherent interface's verdict comes from its own error state
// (0x230 for IRP0, 0x2B0 for IRP1, bits 0x641E), whatever the other's is.
TEST_F(PciInspect, PJudgesEachCoherentInterfaceByItsOwnState)
{
    const std::string head = "[SHOW] <--- Begin to inspect coherent interface state, Device[00:05.2]... --->\n";
    struct {
        uint32_t irp0, irp1;
        std::string out;
    } rows[] = {
        {0, 0x00000002,
         "[SHOW] IRP0 Error State = 0x00000000\n[SHOW] IRP1 Error State = 0x00000002\n"
         "[SHOW] Coherent Interface IRP0 Error state OK!\n[SHOW] Coherent Interface IRP1 Error state NG!\n"},
        {0x00004000, 0,
         "[SHOW] IRP0 Error State = 0x00004000\n[SHOW] IRP1 Error State = 0x00000000\n"
         "[SHOW] Coherent Interface IRP0 Error state NG!\n[SHOW] Coherent Interface IRP1 Error state OK!\n"},
        {0x000009e1, 0x00000400,   // IRP0: every bit outside the mask
         "[SHOW] IRP0 Error State = 0x000009e1\n[SHOW] IRP1 Error State = 0x00000400\n"
         "[SHOW] Coherent Interface IRP0 Error state OK!\n[SHOW] Coherent Interface IRP1 Error state NG!\n"},
    };
    for (const auto &r : rows) {
        SCOPED_TRACE(r.out);
        poke(0, 0x2A, 0x230, r.irp0, 4);
        poke(0, 0x2A, 0x2B0, r.irp1, 4);
        ConsoleRun run = test("P");
        EXPECT_EQ(run.status, 0);
        EXPECT_EQ(run.out, head + r.out);
    }
}

TEST_F(PciInspect, ELimitsToTheFirstProcessorsBuses)
{
    // An endpoint behind the second processor's root bus.
    PciBytes b = pci_build_endpoint(0x10EE, 0x7021, 0x058000, 1);
    pci_build_pcie(b, 0x40, 0);
    pci_bus_add(0x81, 0x08, b);
    EXPECT_EQ(test("E").out, all_healthy());
    std::string a = test("A").out;
    EXPECT_EQ(a.rfind("[SHOW] [81:01.0] DEVSTA ", 0), 0u) << a;
    EXPECT_EQ(a.substr(a.find("[SHOW] [04:00.0]")), all_healthy());
}

TEST_F(PciInspect, ErrorsShownThenClearedAgainstLspci)
{
    QUORBIX_NEED_TOOL("lspci", "pciutils");
    break_things();
    ConsoleRun run = test("B");
    EXPECT_EQ(run.out, "[SHOW] <--- Begin to inspect PCI Bridge state... --->\n"
                       "[SHOW] PCI bridge[00:01.0] state OK!\n"
                       "[SHOW] PCI bridge[00:02.0] state NG!, PCI Status = 0x00000110, Secondary Status = 0x00000000\n"
                       "[SHOW] PCI bridge[00:03.0] state NG!, PCI Status = 0x00000010, Secondary Status = 0x00008000\n");
    run = test("A");
    const std::vector<std::string> ng = {
        "[SHOW] [01:00.0] DEVSTA NG, CorrErr=0, UncorrErr=0, FatalErr=1, UnsuppReq=0, speed=5.0GT/s, width=X4\n",
        "[SHOW] [00:01.0] AER Uncorrectable Error Status NG!\n",
        "[SHOW] [00:01.0] AER Correctable Error Status NG!\n",
        "[SHOW] [00:01.0] AER Root Port Error Status NG!\n",
        "[SHOW] [00:02.0] XP Correctable Error Status NG!\n",
        "[SHOW] [00:02.0] XPGLBERRSTS PCIe AER Non-fatal error NG!\n",
    };
    for (const std::string &line : ng)
        EXPECT_NE(run.out.find(line), std::string::npos) << line;
    EXPECT_EQ(run.out.find("[SHOW] [00:02.0] XPGLBERRSTSPCIe AER Non-fatal error OK!"), std::string::npos);
    // A non-zero global XP word shows the port's AER lines a second time.
    size_t aer = run.out.find("[SHOW] [00:02.0] AER Uncorrectable Error Status OK!");
    EXPECT_NE(run.out.find("[SHOW] [00:02.0] AER Uncorrectable Error Status OK!", aer + 1), std::string::npos);

    {
        std::string l = lspci("00:02.0");
        ASSERT_FALSE(l.empty()) << "lspci printed nothing for 00:02.0";
        EXPECT_TRUE(flagged(l, "Status")) << l;
        EXPECT_FALSE(flagged(lspci("00:01.0"), "Status"));
        EXPECT_TRUE(flagged(lspci("00:03.0"), "Secondary status"));
        EXPECT_TRUE(flagged(lspci("01:00.0"), "DevSta"));
        std::string rp = lspci("00:01.0");
        EXPECT_TRUE(flagged(rp, "UESta"));
        EXPECT_TRUE(flagged(rp, "CESta"));
        EXPECT_TRUE(flagged(rp, "RootSta"));
        EXPECT_NE(rp.find("LnkSta:\tSpeed 5GT/s"), std::string::npos) << rp;
    }

    run = test("C");
    EXPECT_EQ(run.out, kClearAll);
    EXPECT_EQ(peek(0, 0x10, 0x06, 2), 0x0010u);
    EXPECT_EQ(peek(0, 0x18, 0x1E, 2), 0u);
    EXPECT_EQ(peek(1, 0, devsta_at(1, 0), 2), 0u);
    EXPECT_EQ(peek(0, 0x08, 0x104, 4), 0u);
    EXPECT_EQ(peek(0, 0x08, 0x110, 4), 0u);
    EXPECT_EQ(peek(0, 0x08, 0x130, 4), 0u);
    EXPECT_EQ(peek(0, 0x10, 0x200, 4), 0u);
    EXPECT_EQ(peek(0, 0x10, 0x230, 2), 0u);
    EXPECT_EQ(test("B").out, kBridgesOk);
    std::string after = test("A").out;
    EXPECT_EQ(after.find("NG"), std::string::npos) << after;
    ASSERT_FALSE(lspci("00:01.0").empty()) << "lspci printed nothing for 00:01.0";
    for (const char *bdf : {"00:01.0", "00:02.0", "00:03.0", "01:00.0"})
        for (const char *label : {"Status", "Secondary status", "DevSta", "UESta", "CESta", "RootSta"})
            EXPECT_FALSE(flagged(lspci(bdf), label)) << bdf << " " << label;
}

TEST_F(PciInspect, DumpRowsMatchLspci)
{
    QUORBIX_NEED_TOOL("lspci", "pciutils");
    poke(1, 0, devsta_at(1, 0), 0x0002, 2);   // NG: A dumps the function
    std::vector<std::string> want = lspci_rows("01:00.0");
    ASSERT_EQ(want.size(), 16u);
    EXPECT_EQ(shown_rows(test("A").out), want);
    EXPECT_EQ(shown_rows(console_run([] { return pci_fs_read(1, 0, 0, 256); }).out), want);
    EXPECT_EQ(shown_rows(console_run([] { return pci_drv_read(0, 0x08, 0, 256); }).out), lspci_rows("00:01.0"));
}

TEST_F(PciInspect, DmiLink)
{
    poke(0, 0, PCI_DMI_LNKSTA, 0x0042, 2);
    ConsoleRun run = test("D");
    EXPECT_EQ(run.out, "[SHOW] <--- Begin to show Dmi state... --->\nDmi link status: 0x42 error\n");
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(console_run([] { return sandy_show_dmi_state(); }).status, PCI_NO_MAP);
    sim_fail_open("/proc/bus/pci/00/00.0", EACCES);
    run = console_run([] { return sandy_show_dmi_state(); });
    EXPECT_EQ(run.status, -901);
    EXPECT_EQ(run.out, "[SHOW] <--- Begin to show Dmi state... --->\nCannot read device[00:00.0] reg, ret=-901\n");
}

TEST_F(PciInspect, PreparationFailures)
{
    struct {
        const char *what;
        TransOpHandler handler;
        const char *text;
        void (*fault)();
        int status;
        const char *logged;
    } rows[] = {
        {"test null", pci_test, nullptr, [] {}, -904, "Null pointer detected"},
        {"dump null", pci_dump, nullptr, [] {}, -904, "Null pointer detected"},
        {"test empty", pci_test, "", [] {}, -906, "Invalid input, please check"},
        {"test map", pci_test, "A", [] { sim_fail_open("/proc/bus/pci/devices", EACCES); }, -901,
         "Cannot build bus map, ret="},
        {"dump map", pci_dump, "M", [] { sim_fail_open("/proc/bus/pci/devices", EACCES); }, -901,
         "Cannot build bus map, ret="},
        {"dump list", pci_dump, "M",
         [] {
             SimFault f;
             f.node = "/proc/bus/pci/devices";
             f.op = SimFaultOp::open;
             f.err = EACCES;
             f.nth = 2;
             sim_add_fault(f);
         },
         -908, "Cannot build entity list, ret=-908"},
        {"test list", pci_test, "A",
         [] {
             SimFault f;
             f.node = "/proc/bus/pci/devices";
             f.op = SimFaultOp::open;
             f.err = EACCES;
             f.nth = 2;
             sim_add_fault(f);
         },
         0, "Cannot build entity list, ret=-908"},
    };
    for (const auto &r : rows) {
        SCOPED_TRACE(r.what);
        sim_clear_faults();
        std::remove(sim_path("/tavik.log").c_str());
        r.fault();
        ConsoleRun run = console_run([&] { return r.handler(r.text); });
        EXPECT_EQ(run.status, r.status);
        EXPECT_NE(log().find(r.logged), std::string::npos) << log();
    }
}

TEST_F(PciInspect, InspectionFailuresAreLogged)
{
    struct {
        const char *what;
        int (*inspect)(int);
        const char *node;
        const char *logged;
    } rows[] = {
        {"iio", sandy_inspect_iio, "/proc/bus/pci/00/05.2", "Cannot get iio state, ret=-901"},
        {"irp", sandy_inspect_irp, "/proc/bus/pci/00/05.2", "Cannot get irp state, ret=-901"},
        {"misc", sandy_inspect_misc, "/proc/bus/pci/00/05.2", "Cannot get misc state, ret=-901"},
        {"global", sandy_inspect_global_error, "/proc/bus/pci/00/05.2", "Cannot get global error state, ret=-901"},
    };
    g_ucRasDevfn = 0x2A;
    g_sandy_cpuno = 1;
    for (const auto &r : rows) {
        SCOPED_TRACE(r.what);
        sim_clear_faults();
        sim_fail_open(r.node, EACCES);
        EXPECT_NE(console_run([&] { return r.inspect(0); }).status, 0);
        EXPECT_NE(log().find(r.logged), std::string::npos) << log();
    }
    // The handler's result stays 0 after a failed inspection.
    poke(0, 0, PCI_DMI_LNKSTA, 0, 2);
    sim_clear_faults();
    EXPECT_EQ(test("D").status, 0);
}

TEST_F(PciInspect, QpiHealthGuards)
{
    EXPECT_EQ(sandy_show_qpi_health(nullptr), -904);
    sandy_qpi_state s[2] = {};
    g_sandy_cpuno = 3;
    EXPECT_EQ(console_run([&] { return sandy_show_qpi_health(s); }).out, "");
    EXPECT_EQ(sandy_show_qpi_health(s), -907);
    g_sandy_cpuno = 2;
    s[1].astPort[1] = {0x40000, 0x00310007, 0xFFC00003, 2};
    ConsoleRun run = console_run([&] { return sandy_show_qpi_health(s); });
    EXPECT_EQ(run.status, 0);
    EXPECT_NE(run.out.find("[SHOW] ================CPU1 QPI Port1, Device[ff:09.0]=============\r\n"), std::string::npos);
    EXPECT_NE(run.out.find("CPU1 QPI Port1 CorrERR MASK=0x00000031, ERRCNT=7\n"), std::string::npos);
    EXPECT_NE(run.out.find("CPU1 QPI Port1 UNCorrERR MASK=0x00000000, ERRCNT=3\n"), std::string::npos);
    EXPECT_NE(run.out.find("CPU1 detect QPI link rate is"), std::string::npos);
}

TEST_F(PciInspect, DumpLetters)
{
    struct {
        const char *text;
        int status;
        const char *first;   // the console's first line
        size_t lines;
    } rows[] = {
        {"E0:1.0", 0, "[SHOW] ================PCI Express and AER error, Device[00:01.0]============\r", 57},
        {"e0:1c.0", 0, "[SHOW] ================PCI Express and AER error, Device[00:1c.0]============\r", 1},
        {"E", -901, "No valid BDF Input, please check!", 1},
        {"E0:1", -901, "No valid BDF Input, please check!", 1},
        {"E100:0.0", -901, "No valid BDF Input, please check!", 1},
        {"E0:20.0", -901, "No valid BDF Input, please check!", 1},
        {"E0:1.8", -901, "No valid BDF Input, please check!", 1},
        {"G", 0, "[SHOW] ================Global error, Device[00:05.2]=========================\r", 10},
        {"I", 0, "[SHOW] ================IIO core interface error, Device[00:05.2]=============\r", 17},
        {"p", 0, "[SHOW] ================coherent interface error, Device[00:05.2]=============\r", 33},
        {"Q", 0, "[SHOW] =====================QPI Port State==================\r", 11},
        {"S", 0, "[SHOW] ================System Event report ctrl, Device[00:05.2]=============\r", 10},
        {"M", 0, "[SHOW] ================PCI Bus Map==========================\r", 1},
        {"x", 0, "", 0},
    };
    for (const auto &r : rows) {
        SCOPED_TRACE(r.text);
        ConsoleRun run = dump(r.text);
        EXPECT_EQ(run.status, r.status);
        EXPECT_EQ(run.out.substr(0, run.out.find('\n')), r.first);
        EXPECT_EQ(static_cast<size_t>(std::count(run.out.begin(), run.out.end(), '\n')), r.lines) << run.out;
    }
    EXPECT_NE(log().find("No valid BDF Input, please check!"), std::string::npos);
    std::string l = log();
    EXPECT_NE(l.find("F N [LOG] 5 buses found in total :"), std::string::npos) << l;
    EXPECT_NE(l.find("F N [LOG] BOARD[0]-->BUS[03] == BRIDGE[02:00.0] --> SUBBUS[04] Flag[1]"), std::string::npos);
    EXPECT_NE(l.find("F N [LOG] 7 PCIE devices found in total"), std::string::npos);
}

TEST_F(PciInspect, DumpRunsLspci)
{
    struct {
        int wait;
        bool logged;
    } rows[] = {{0, false}, {0x100, false}, {127, true}, {0x7F00, true}};
    for (const auto &r : rows) {
        SCOPED_TRACE(r.wait);
        std::remove(sim_path("/tavik.log").c_str());
        sim_script_command(PCI_LSPCI_COMMAND, {"00:00.0 Host bridge\n", r.wait, {}});
        size_t before = sim_commands_run().size();
        ConsoleRun run = dump("A");
        EXPECT_EQ(run.status, 0);
        ASSERT_EQ(sim_commands_run().size(), before + 1);
        EXPECT_EQ(sim_commands_run().back(), PCI_LSPCI_COMMAND);
        std::string want = "system (lspci -xxxx -vvvv) fail, error=" + std::to_string(r.wait);
        EXPECT_EQ(log().find(want) != std::string::npos, r.logged) << log();
    }
}

} // namespace

// The PCI register commands on the simulated board: -r mchbar as whole
// command lines, write pci and Set pci through their dispatchers, and the
// register-range reads; console text, status and what reached the board.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>
#include <vector>

#include "hwmanage/hpi/plugins/hardware/tvk_ras_regs.h"
#include "sim/fixture_file.h"
#include "sim/pci_bus.h"
#include "sim/pci_sysfs.h"
#include "sim/smbios_image.h"
#include "bases/pci/smbios.h"
#include "support/console_run.h"
#include "support/sim_fixture.h"
#include "tool/tavk/pci_reg.h"

namespace {

int quorbix_read(const std::string &path)
{
    std::string prog = "quorbix", opt = "-r", arg = path;
    char *argv[] = {prog.data(), opt.data(), arg.data(), nullptr};
    return quorbix_run(3, argv);
}

// Mappings of BAR files (the SMBIOS tables are read through "/dev/mem").
size_t bar_maps()
{
    size_t n = 0;
    for (const SimJournalEntry &e : sim_journal_of(SimEvent::map))
        n += e.node != "/dev/mem";
    return n;
}

// Writes that reached configuration space by any way, or a BAR.
size_t accesses()
{
    size_t n = sim_journal_of(SimEvent::port_out).size();
    for (const SimJournalEntry &e : sim_journal_of(SimEvent::write))
        n += e.node.starts_with("/proc/bus/pci/") || e.node == "/dev/mch_esb_dev";
    return n + bar_maps();
}

std::string group(const char *a, const char *b, const char *c)
{
    return std::string("base_addr = 0xfed10000\n\n") + a + b + c;
}

const std::string kGroup0 = group("offset_bar[0x40b4] = 0x      1f\n\n", "offset_bar[0x40b8] = 0x80000000\n\n",
                                  "offset_bar[0x4294] = 0x     abc\n\n");
const std::string kGroup1 = group("offset_bar[0x44b4] = 0x       2\n\n", "offset_bar[0x44b8] = 0x  c0ffee\n\n",
                                  "offset_bar[0x4694] = 0x       0\n\n");

// Function 40:00.0: memory BAR 0 (4 KiB), memory BAR 1 starting inside a
// page, I/O BAR 2 at 0xE000.
class PciReg : public SimTest {
protected:
    void SetUp() override
    {
        SimTest::SetUp();
        PciFunction &fn = pci_bus_add(0x40, 0, pci_build_endpoint(0x10EE, 0x7021, 0x058000, 2));
        fn.resources = {{0xD0000000, 0xD0000FFF, 0x40200}, {0xFEB00800, 0xFEB00FFF, 0x40200}, {0xE000, 0xE01F, 0x40101}};
        pci_sysfs_add(fn);
        sim_clear_journal();
    }
    void TearDown() override
    {
        EXPECT_TRUE(sim_mappings().empty()) << "mappings left";
        SimTest::TearDown();
    }
    static uint32_t conf(uint8_t bus, uint8_t devfn, uint32_t reg, int width)
    {
        PciFunction *fn = pci_bus_find(bus, devfn);
        return fn ? pci_conf_read(*fn, reg, width) : 0xFFFFFFFFu;
    }
};

ConsoleRun write_pci(const std::string &text)
{
    return console_run([&] { return op_write(("pci/" + text).c_str()); });
}

TEST_F(PciReg, MchbarGroupsAndBadSelectors)
{
    struct {
        const char *sel;
        std::string out;
        int exit;
        int status;
    } rows[] = {
        {"1", kGroup1, 0, 0},
        {"0", kGroup0, 0, 0},
        {"7", kGroup0, 0, 0},
        {"zz", "Invalid input, please check, status = 0\n\n", 2, PCI_BAD_VALUE},
        {"", "Invalid input, please check, status = -1\n\n", 2, -1},
    };
    for (const auto &r : rows) {
        SCOPED_TRACE(r.sel);
        ConsoleRun run = console_run([&] { return quorbix_read(std::string("mchbar/") + r.sel); });
        EXPECT_EQ(run.out, r.out);
        EXPECT_EQ(run.status, r.exit);
        EXPECT_EQ(console_run([&] { return mchbar_read(r.sel); }).status, r.status);
    }
}

TEST_F(PciReg, MchbarFailures)
{
    struct {
        const char *what;
        void (*fault)();
        std::string out;
    } rows[] = {
        {"low dword", [] { sim_fail_open("/proc/bus/pci/00/00.0", EACCES); },
         "call tvk_read_conf_dword fail!  offset=72, error=-908\n"},
        {"high dword",
         [] {
             SimFault f;
             f.node = "/proc/bus/pci/00/00.0";
             f.op = SimFaultOp::open;
             f.err = EACCES;
             f.nth = 2;
             sim_add_fault(f);
         },
         "call tvk_read_conf_dword fail! c offset=76, error=-908\n"},
        {"mapping", [] { sim_fail_op(SimFaultOp::mmap, "/dev/mem", EPERM); },
         "base_addr = 0xfed10000\n\nmmap read failed, status=-921\n\n"},
    };
    for (const auto &r : rows) {
        SCOPED_TRACE(r.what);
        sim_clear_faults();
        r.fault();
        ConsoleRun run = console_run([] { return quorbix_read("mchbar/0"); });
        EXPECT_EQ(run.out, r.out);
        EXPECT_EQ(run.status, 2);
    }
}

TEST_F(PciReg, WritesByMethodAndWidth)
{
    struct {
        const char *text;
        const char *title;
        uint32_t reg;       // dword checked afterwards
        uint32_t dword;
        const char *node;   // the write's route: file written, or "" for the ports
    } rows[] = {
        {"F0:1f.0-0x40.b=0x1a5", "Writing a 0x1a5[b] to device[00:1f.0] reg 0x0040\n", 0x40, 0xA5,
         "/proc/bus/pci/00/1f.0"},
        {"f0:1f.0-0x40.W=0x12345", "Writing a 0x12345[W] to device[00:1f.0] reg 0x0040\n", 0x40, 0x2345,
         "/proc/bus/pci/00/1f.0"},
        {"F0:1f.0-0x44.D=0x12345678", "Writing a 0x12345678[D] to device[00:1f.0] reg 0x0044\n", 0x44, 0x12345678,
         "/proc/bus/pci/00/1f.0"},
        {"D0:1f.0-0x49.b=0x177", "Writing a 0x177[b] to device[00:1f.0] reg 0x0049\n", 0x48, 0x7700,
         "/dev/mch_esb_dev"},
        {"d0:1f.0-0x4c.d=0xcafef00d", "Writing a 0xcafef00d[d] to device[00:1f.0] reg 0x004c\n", 0x4C, 0xCAFEF00D,
         "/dev/mch_esb_dev"},
        {"I0:1f.0-0x52.w=0x1beef", "Writing a 0x1beef[w] to device[00:1f.0] reg 0x0052\n", 0x50, 0xBEEF0000, ""},
        {"i0:1f.0-0x54.B=0x3c", "Writing a 0x3c[B] to device[00:1f.0] reg 0x0054\n", 0x54, 0x3C, ""},
    };
    for (const auto &r : rows) {
        SCOPED_TRACE(r.text);
        sim_clear_journal();
        ConsoleRun run = write_pci(r.text);
        EXPECT_EQ(run.out, r.title);
        EXPECT_EQ(run.status, 0);
        EXPECT_EQ(conf(0, 0xF8, r.reg, 4), r.dword);
        if (*r.node) {
            std::vector<SimJournalEntry> w = sim_journal_of(SimEvent::write);
            ASSERT_EQ(w.size(), 1u);
            EXPECT_EQ(w[0].node, r.node);
            EXPECT_TRUE(sim_journal_of(SimEvent::port_out).empty());
        } else {
            std::vector<SimJournalEntry> outs = sim_journal_of(SimEvent::port_out);
            ASSERT_EQ(outs.size(), 2u);
            EXPECT_EQ(outs[0].address, 0xCF8u);
            EXPECT_EQ(outs[0].value, 0x8000F800u | (r.reg & 0xFC));
            EXPECT_EQ(outs[1].address, 0xCFCu + (std::string(r.text).find("w=") != std::string::npos ? 2 : 0));
        }
    }
}

TEST_F(PciReg, WriteRefusalsTouchNothing)
{
    struct {
        const char *text;
        int status;
        std::string out;
    } rows[] = {
        {"F3:00.0", PCI_BAD_TEXT, ""},
        {"F0:1f.0-0x40", PCI_BAD_TEXT, ""},
        {"F0:1f.0-0x40.b", PCI_BAD_TEXT, ""},
        {"F0:1f.0-0x40.b=", PCI_BAD_TEXT, ""},
        {"F100:1f.0-0x40.b=0x1", PCI_BAD_TEXT, ""},
        {"F0:20.0-0x40.b=0x1", PCI_BAD_TEXT, ""},
        {"F0:1f.8-0x40.b=0x1", PCI_BAD_TEXT, ""},
        {"", PCI_BAD_TEXT, ""},
        {"B3:00.0-0x10.d=0x1", PCI_BAD_TEXT,
         "Writing a 0x1[d] to device[03:00.0] reg 0x0010\nInvalid bar number[-1], please check\n"},
        {"B3:00.0-0x10.d=0x1-b6", PCI_BAD_TEXT,
         "Writing a 0x1[d] to device[03:00.0] reg 0x0010\nInvalid bar number[6], please check\n"},
        {"X3:00.0-0x10.d=0x1", PCI_BAD_VALUE, "Writing a 0x1[d] to device[03:00.0] reg 0x0010\nInvalid write method X\n"},
        {"F0:1f.0-0x40.q=0x1", PCI_BAD_VALUE, "Writing a 0x1[q] to device[00:1f.0] reg 0x0040\nInvalid value type q\n"},
        {"I0:1f.0-0x40.q=0x1", PCI_BAD_VALUE, "Writing a 0x1[q] to device[00:1f.0] reg 0x0040\nInvalid value type q\n"},
        {"I0:1f.0-0x100.b=0x1", -906,
         "Writing a 0x1[b] to device[00:1f.0] reg 0x0100\n"
         "Fail to write 0x1[b] to device[00:1f.0] reg[0x100], ret=-906\n"},
    };
    for (const auto &r : rows) {
        SCOPED_TRACE(r.text);
        sim_clear_journal();
        ConsoleRun run = write_pci(r.text);
        EXPECT_EQ(run.status, r.status);
        EXPECT_EQ(run.out, r.out.empty() ? "Invalid input, please check\n" : r.out);
        EXPECT_EQ(accesses(), 0u);
    }
}

TEST_F(PciReg, WriteFailuresReturnTheirStatus)
{
    sim_fail_op(SimFaultOp::iopl, "", EPERM);
    ConsoleRun run = write_pci("I0:1f.0-0x40.b=0x1");
    EXPECT_EQ(run.status, -1);
    EXPECT_EQ(run.out, "Writing a 0x1[b] to device[00:1f.0] reg 0x0040\n[SHOW] Cannot enable IO R/W\n");
    EXPECT_TRUE(sim_journal_of(SimEvent::port_out).empty());
    sim_clear_faults();
    sim_fail_open("/dev/mch_esb_dev", ENOENT);
    run = write_pci("D0:1f.0-0x40.b=0x1");
    EXPECT_EQ(run.out, "Writing a 0x1[b] to device[00:1f.0] reg 0x0040\n"
                       "[SHOW] Cannot open mch drv, No such file or directory\n"
                       "[SHOW] Cannot open mch drv, No such file or directory\n"
                       "Fail to write 0x1[b] to device[00:1f.0] reg[0x40], ret=-908\n");
    EXPECT_EQ(run.status, -908);
}

TEST_F(PciReg, BarWrites)
{
    const std::string bar0 = "BAR0 [0xd0000000 --> 0xd0000fff] - 0x00040200\n";
    struct {
        const char *text;
        int status;
        std::string out;     // after the title line
        uint64_t phys;       // where the bytes land (0: nowhere in memory)
        std::vector<uint8_t> bytes;
        uint16_t port;       // first port written (0: none)
    } rows[] = {
        {"B40:00.0-0x10.d=0xdeadbeef-b0", 0, bar0, 0xD0000010, {0xEF, 0xBE, 0xAD, 0xDE}, 0},
        {"b40:00.0-0x8.w=0x12345-b1", 0, "BAR1 [0xfeb00800 --> 0xfeb00fff] - 0x00040200\n", 0xFEB00808, {0x45, 0x23}, 0},
        {"B40:00.0-0x4.b=0x1ab-b2", 0, "BAR2 [0x0000e000 --> 0x0000e01f] - 0x00040101\n", 0, {0xAB}, 0xE004},
        {"B40:00.0-0x1c.d=0x11223344-b2", 0, "BAR2 [0x0000e000 --> 0x0000e01f] - 0x00040101\n", 0,
         {0x44, 0x33, 0x22, 0x11}, 0xE01C},
        {"B40:00.0-0xffd.d=0x1-b0", PCI_OUT_OF_RANGE, bar0 + "Write 4 Bytes offset 0xffd is too long for BAR0\n", 0, {}, 0},
        {"B40:00.0-0x1000.b=0x1-b0", PCI_OUT_OF_RANGE, bar0 + "Offset[4096] out of range[0 ~ 0x00000fff]\n", 0, {}, 0},
        {"B40:00.0-0x0.q=0x1-b0", PCI_BAD_VALUE, bar0 + "Invalid value type q\n", 0, {}, 0},
        {"B40:00.0-0x0.b=0x1-b5", -920,
         "BAR5 [0x00000000 --> 0x00000000] - 0x00000000\nFail to write 0x1[b] to device[40:00.0] reg[0x0], ret=-920\n", 0,
         {}, 0},
        {"B41:00.0-0x0.b=0x1-b0", -908, "Cannot get bar0 res path, ret=-908\n", 0, {}, 0},
    };
    for (const auto &r : rows) {
        SCOPED_TRACE(r.text);
        sim_clear_journal();
        ConsoleRun run = write_pci(r.text);
        EXPECT_EQ(run.status, r.status);
        EXPECT_EQ(run.out.substr(run.out.find('\n') + 1), r.out);
        std::vector<SimJournalEntry> outs = sim_journal_of(SimEvent::port_out);
        if (r.phys) {
            std::vector<uint8_t> seen(r.bytes.size());
            sim_phys_read(r.phys, seen.data(), seen.size());
            EXPECT_EQ(seen, r.bytes);
        }
        if (r.port) {
            ASSERT_EQ(outs.size(), r.bytes.size());
            for (size_t i = 0; i < outs.size(); i++) {
                EXPECT_EQ(outs[i].address, r.port + i);
                EXPECT_EQ(outs[i].value, r.bytes[i]);
                EXPECT_EQ(outs[i].length, 1u);
            }
        } else {
            EXPECT_TRUE(outs.empty());
        }
        if (r.status != 0) {
            EXPECT_EQ(bar_maps(), 0u);
        }
    }
    sim_fail_op(SimFaultOp::iopl, "", EPERM);
    ConsoleRun run = write_pci("B40:00.0-0x4.b=0x1-b2");
    EXPECT_EQ(run.status, -1);
    EXPECT_NE(run.out.find("[SHOW] Cannot enable IO R/W\n"), std::string::npos);
}

TEST_F(PciReg, RegisterReads)
{
    const std::string head = "[SHOW] --------  00 01 02 03 04 05 06 07 08 09 0a 0b 0c 0d 0e 0f\n";
    struct {
        const char *what;
        int (*read)(uint8_t, uint8_t, uint32_t, int);
        uint32_t reg;
        int length;
        int status;
        std::string out;
    } rows[] = {
        {"procfs", pci_fs_read, 0, 7, 0,
         "Dumping device[00:1f.0] regs[0x0 ~ 0x7]:\n" + head + "[SHOW] 00000000: 86 80 41 1d 07 00 00\n"},
        {"driver", pci_drv_read, 2, 3, 0,
         "Dumping device[00:1f.0] regs[0x2 ~ 0x5]:\n" + head + "[SHOW] 00000000:       41 1d 07\n"},
        {"ports", pci_io_read, 0, 6, 0,
         "Dumping device[00:1f.0] regs[0x0 ~ 0x6]:\n" + head + "[SHOW] 00000000: 86 80 41 1d 07 00\n"},
        {"empty", pci_fs_read, 0, 0, -906, "Cannot read device[00:1f.0] reg, ret=-906\n"},
        {"negative", pci_io_read, 0, -4, -906, "Cannot read device[00:1f.0] reg, ret=-906\n"},
        {"ports past 0xff", pci_io_read, 0, 600, -906,
         "Not enough buffer, handle only 512 bytes\nCannot read device[00:1f.0] reg, ret=-906\n"},
    };
    for (const auto &r : rows) {
        SCOPED_TRACE(r.what);
        ConsoleRun run = console_run([&] { return r.read(0, 0xF8, r.reg, r.length); });
        EXPECT_EQ(run.status, r.status);
        EXPECT_EQ(run.out, r.out);
    }
    // Cut to the buffer: 512 bytes of a 4096-byte function in 32 rows.
    for (auto read : {pci_fs_read, pci_drv_read}) {
        ConsoleRun run = console_run([&] { return read(0, 0, 0, 4096); });
        EXPECT_EQ(run.status, 0);
        EXPECT_EQ(run.out.rfind("Not enough buffer, handle only 512 bytes\nDumping device[00:00.0] regs[0x0 ~ 0x200]:\n", 0),
                  0u);
        EXPECT_NE(run.out.find("[SHOW] 000001f0:"), std::string::npos);
        EXPECT_EQ(run.out.find("[SHOW] 00000200:"), std::string::npos);
    }
    sim_fail_op(SimFaultOp::iopl, "", EPERM);
    sim_clear_journal();
    ConsoleRun run = console_run([] { return pci_io_read(0, 0xF8, 0, 4); });
    EXPECT_EQ(run.status, -1);
    EXPECT_EQ(run.out, "[SHOW] Cannot enable IO R/W\n");
    EXPECT_TRUE(sim_journal_of(SimEvent::port_out).empty());
}

TEST_F(PciReg, BarReads)
{
    const uint8_t tail[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    sim_phys_write(0xD0000FF8, tail, sizeof tail);
    const std::string bar0 = "BAR0 [0xd0000000 --> 0xd0000fff] - 0x00040200\n";
    const std::string head = "[SHOW] --------  00 01 02 03 04 05 06 07 08 09 0a 0b 0c 0d 0e 0f\n";
    ConsoleRun run = console_run([] { return pci_bar_read(0x40, 0, 0, 0xFF8, 16); });
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out, bar0 + "Read 16 Bytes from 0xff8 is too long for BAR0\n" +
                           "Dumping device[40:00.0] regs[0xff8 ~ 0x1000]:\n" + head + "[SHOW] 00000ff0:" +
                           std::string(24, ' ') + " 01 02 03 04 05 06 07 08\n");
    run = console_run([] { return pci_bar_read(0x40, 0, 0, 0x1001, 4); });
    EXPECT_EQ(run.status, PCI_OUT_OF_RANGE);
    EXPECT_EQ(run.out, bar0 + "Offset[4097] out of range[0 ~ 0x00000fff]\n");
    sim_clear_journal();
    run = console_run([] { return pci_bar_read(0x40, 0, 2, 0x1E, 4); });
    EXPECT_EQ(run.status, 0);
    std::vector<SimJournalEntry> ins = sim_journal_of(SimEvent::port_in);
    ASSERT_EQ(ins.size(), 2u);
    EXPECT_EQ(ins[0].address, 0xE01Eu);
    EXPECT_EQ(ins[1].address, 0xE01Fu);
    sim_fail_op(SimFaultOp::mmap, "", EPERM);
    run = console_run([] { return pci_bar_read(0x40, 0, 0, 0, 4); });
    EXPECT_EQ(run.status, -921);
    EXPECT_EQ(run.out, bar0 + "mmap read failed, ret=-921\n");
}

TEST_F(PciReg, SetPciReadsTheSocketCount)
{
    for (bool second : {false, true}) {
        SCOPED_TRACE(second);
        if (second) {
            std::vector<uint8_t> zeros(SMBIOS_SEG_LEN, 0);
            sim_phys_write(SMBIOS_SEG_BASE, zeros.data(), zeros.size());
            smbios_place({smbios_baseboard("Quorbix", "ZK17DORN", "SN-7", "Slot 3"),
                          smbios_processor("CPU0", 0x206D7, 4), smbios_processor("CPU1", 0x206D7, 5), smbios_end(6)},
                         {});
        }
        g_sandy_cpuno = 0;
        g_ucRasDevfn = 0;
        ConsoleRun run = console_run([] { return op_set("pci"); });
        EXPECT_EQ(run.status, 0);
        EXPECT_EQ(run.out, "");
        EXPECT_EQ(g_sandy_cpuno, second ? 2 : 1);
        EXPECT_EQ(g_ucRasDevfn, 0x2A);
    }
}

} // namespace

// On the machine itself, as root where "/dev/mem" is absent: the base is read
// from the real host bridge, then the mapping fails and the run exits 2.
TEST(MchbarRealHost, BaseLineThenMappingFailure)
{
    if (geteuid() != 0 || access("/dev/mem", F_OK) == 0 || access("/proc/bus/pci/00/00.0", R_OK) != 0)
        GTEST_SKIP() << "needs root, no /dev/mem and a readable host bridge";
    ConsoleRun run = console_run([] { return quorbix_read("mchbar/0"); });
    const size_t base = run.out.find("base_addr = 0x"), fail = run.out.find("mmap read failed, status=-920\n");
    EXPECT_NE(base, std::string::npos) << run.out;
    EXPECT_NE(fail, std::string::npos) << run.out;
    EXPECT_LT(base, fail);
    EXPECT_EQ(run.status, 2);
}

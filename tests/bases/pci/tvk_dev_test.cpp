// PCI configuration access through the simulated bus: procfs files, ports
// 0xCF8/0xCFC and the chipset driver node, all on one store.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>
#include <filesystem>
#include <regex>

#include "bases/drv/mch_esb_drv.h"
#include "bases/pci/tvk_dev.h"
#include "bases/pci/tvk_log.h"
#include "sim/pci_bus.h"
#include "support/sim_fixture.h"
#include "support/oracle.h"

namespace {

// Root port 00:1c.0 (4096 bytes, PCI Express root port with AER) and a
// conventional endpoint 03:00.1 (256 bytes).
class TvkDevTest : public SimTest {
protected:
    void SetUp() override
    {
        SimTest::SetUp();
        pci_bus_reset();
        pci_bus_attach_nodes();
        PciBytes rp = pci_build_bridge(0x8086, 0x3C04, 0, 3, 3, 4096);
        pci_build_pcie(rp, 0x90, 4);
        pci_build_aer(rp, 0x100);
        pci_bus_add(0, 0xE0, rp);
        pci_bus_add(3, 0x01, pci_build_endpoint(0x10EE, 0x7021, 0x058000, 2));
        std::filesystem::remove(sim_path("/tavik.log"));
        sim_clear_journal();
    }
    std::string log()
    {
        return std::regex_replace(sim_read_file("/tavik.log"), std::regex("(^|\n)\\S+\\.cpp \\d+ "), "$1F N ");
    }
};

TEST_F(TvkDevTest, BlockAndWidthChecks)
{
    uint8_t buf[16] = {};
    uint16_t w = 0;
    uint32_t d = 0;
    struct Case {
        const char *what;
        int result;
        int expected;
        bool touches;  // the file was opened
    } cases[] = {
        {"dword at 0x42", tvk_read_conf_dword(0, 0xE0, 0x42, &d), TVK_E_INVAL, false},
        {"word at 0x43", tvk_read_conf_word(0, 0xE0, 0x43, &w), TVK_E_INVAL, false},
        {"word null", tvk_read_conf_word(0, 0xE0, 0x42, nullptr), TVK_E_NULL, false},
        {"dword null", tvk_read_conf_dword(0, 0xE0, 0x40, nullptr), TVK_E_NULL, false},
        {"8 at 0xFC", tvk_read_conf_block(0, 0xE0, buf, 8, 0xFC), TVK_E_INVAL, false},
        {"8 at 0xFFC", tvk_read_conf_block(0, 0xE0, buf, 8, 0xFFC), TVK_E_INVAL, false},
        {"negative length", tvk_read_conf_block(0, 0xE0, buf, -1, 0), TVK_E_INVAL, false},
        {"negative offset", tvk_read_conf_block(0, 0xE0, buf, 4, -4), TVK_E_INVAL, false},
        {"huge end", tvk_read_conf_block(0, 0xE0, buf, 0x7FFFFFFF, 0x100), TVK_E_INVAL, false},
        {"dev read negative length", tvk_dev_read(0, 0xE0, buf, -5, 0), TVK_E_INVAL, false},
        {"dev write negative offset", tvk_dev_write(0, 0xE0, buf, 1, -1), TVK_E_INVAL, false},
        {"dev read null", tvk_dev_read(0, 0xE0, nullptr, 4, 0), TVK_E_NULL, false},
        {"byte offset past int", tvk_read_conf_byte(0, 0xE0, 0x80000000u, buf), TVK_E_INVAL, false},
        {"4 at 0xFFC", tvk_read_conf_block(0, 0xE0, buf, 4, 0xFFC), TVK_OK, true},
    };
    for (const Case &c : cases)
        EXPECT_EQ(c.result, c.expected) << c.what;
    EXPECT_EQ(sim_journal_of(SimEvent::read).size(), 1u) << "only the last case opened the file";
    EXPECT_EQ(sim_open_count(), 0);
}

TEST_F(TvkDevTest, ReadsAndWritesThroughTheFunctionFile)
{
    uint32_t d = 0;
    uint16_t w = 0;
    uint8_t b = 0;
    ASSERT_EQ(tvk_read_conf_dword(0, 0xE0, 0, &d), 0);
    EXPECT_EQ(d, 0x3C048086u);
    ASSERT_EQ(tvk_read_conf_word(3, 0x01, 0x0A, &w), 0);
    EXPECT_EQ(w, 0x0580);
    ASSERT_EQ(tvk_read_conf_byte(0, 0xE0, 0x19, &b), 0);
    EXPECT_EQ(b, 3);
    ASSERT_EQ(tvk_write_conf_dword(3, 0x01, 0x10, 0xFB000000u), 0);
    ASSERT_EQ(tvk_read_conf_dword(3, 0x01, 0x10, &d), 0);
    EXPECT_EQ(d, 0xFB000000u);
    ASSERT_EQ(tvk_write_conf_word(3, 0x01, 0x00, 0x1234), 0);
    ASSERT_EQ(tvk_read_conf_word(3, 0x01, 0x00, &w), 0);
    EXPECT_EQ(w, 0x10EE) << "identity is read-only";
    EXPECT_EQ(tvk_write_conf_word(3, 0x01, 0x01, 1), TVK_E_INVAL);
    EXPECT_EQ(tvk_write_conf_dword(3, 0x01, 0x02, 1), TVK_E_INVAL);

    std::vector<SimJournalEntry> reads = sim_journal_of(SimEvent::read);
    ASSERT_FALSE(reads.empty());
    EXPECT_EQ(reads[0].node, "/proc/bus/pci/00/1c.0");
    EXPECT_EQ(reads[0].address, 0u);
    EXPECT_EQ(sim_attachment(reads[0], "data")->bytes, (std::vector<uint8_t>{0x86, 0x80, 0x04, 0x3C}));
    EXPECT_EQ(log(), "") << "debug lines stay out at the initial level";
    EXPECT_EQ(sim_open_count(), 0);
}

TEST_F(TvkDevTest, ShortAndFailedTransfers)
{
    uint8_t buf[8] = {};
    // A 256-byte function has no extended space: the read is short.
    EXPECT_EQ(tvk_dev_read(3, 0x01, buf, 4, 0x100), TVK_E_SHORT);
    EXPECT_EQ(tvk_read_conf_block(3, 0x01, buf, 4, 0x100), TVK_E_EXT_READ);
    EXPECT_EQ(log(), "F N <TVK-WARN>tried to read[03:00.1] at 256 for 4B, but only 0B succeed\n"
                     "F N <TVK-WARN>tried to read[03:00.1] at 256 for 4B, but only 0B succeed\n");
    std::filesystem::remove(sim_path("/tavik.log"));

    sim_fail_op(SimFaultOp::read, "/proc/bus/pci/00/1c.0", EIO, 1);
    EXPECT_EQ(tvk_dev_read(0, 0xE0, buf, 4, 8), TVK_E_IO);
    sim_fail_op(SimFaultOp::write, "/proc/bus/pci/00/1c.0", EACCES, 1);
    EXPECT_EQ(tvk_write_conf_dword(0, 0xE0, 0x20, 5), TVK_E_IO);
    SimFault cut;
    cut.node = "/proc/bus/pci/00/1c.0";
    cut.op = SimFaultOp::write;
    cut.result = 2;
    cut.nth = 1;
    sim_add_fault(cut);
    EXPECT_EQ(tvk_write_conf_dword(0, 0xE0, 0x20, 5), TVK_E_SHORT);
    EXPECT_EQ(log(), "F N <TVK-ERR>pread[00:1c.0] at 8 for 4B failed, ret=-1, errno=5, Input/output error\n"
                     "F N <TVK-ERR>write[00:1c.0] at 32 for 4B failed, ret=-1, errno=13, Permission denied\n"
                     "F N <TVK-ERR>tried to write[00:1c.0] at 32 for 4B, but only 2 succeed\n");
    EXPECT_EQ(sim_open_count(), 0);
}

TEST_F(TvkDevTest, PathForms)
{
    uint32_t d = 0;
    g_iLogLevel = 0;
    pci_bus_set_domains(true);
    EXPECT_EQ(tvk_read_conf_dword(0, 0xE0, 0, &d), 0);
    EXPECT_EQ(d, 0x3C048086u);
    EXPECT_EQ(log(), "F N <TVK-DBG>Opening pci dev /proc/bus/pci/00/1c.0\nF N <TVK-DBG>Close pci dev file\n")
        << "the domain form needs no error line";
    std::filesystem::remove(sim_path("/tavik.log"));
    EXPECT_EQ(tvk_read_conf_dword(9, 0, 0, &d), TVK_E_OPEN);
    EXPECT_EQ(tvk_dev_open(nullptr, 0, 0, 0), TVK_E_NULL);
    g_iLogLevel = 3;
    EXPECT_EQ(log(), "F N <TVK-DBG>Opening pci dev /proc/bus/pci/09/00.0\n"
                     "F N <TVK-ERR>Cannot open pci dev /proc/bus/pci/0000:09/00.0, errno=2, No such file or directory\n"
                     "F N <TVK-ERR>Null pointer detected\n");
    std::string longDir(300, 'd');
    EXPECT_EQ(tvk_dev_open(longDir.c_str(), 0, 0, 0), TVK_E_PATH);
    EXPECT_EQ(sim_open_count(), 0);
}

TEST_F(TvkDevTest, PortAccess)
{
    ASSERT_EQ(tvk_io_enable(), 0);
    uint8_t b = 0;
    uint16_t w = 0;
    uint32_t d = 0;
    sim_clear_journal();
    ASSERT_EQ(tvk_io_read_byte(0, 0xE0, 0x3E, &b), 0);
    std::vector<SimJournalEntry> outs = sim_journal_of(SimEvent::port_out), ins = sim_journal_of(SimEvent::port_in);
    ASSERT_EQ(outs.size(), 1u);
    EXPECT_EQ(outs[0].address, 0xCF8u);
    EXPECT_EQ(outs[0].value, 0x8000003Cu | 0xE0u << 8);
    ASSERT_EQ(ins.size(), 1u);
    EXPECT_EQ(ins[0].address, 0xCFEu);
    EXPECT_EQ(ins[0].length, 1u);

    ASSERT_EQ(tvk_io_read_word(0, 0xE0, 0x02, &w), 0);
    EXPECT_EQ(w, 0x3C04);
    ASSERT_EQ(tvk_io_read_dword(3, 0x01, 0x08, &d), 0);
    EXPECT_EQ(d, 0x05800002u);
    ASSERT_EQ(tvk_io_read_dword(7, 0x00, 0x00, &d), 0);
    EXPECT_EQ(d, 0xFFFFFFFFu) << "absent function";
    ASSERT_EQ(tvk_io_write_dword(3, 0x01, 0x14, 0xFB100000u), 0);
    ASSERT_EQ(tvk_io_write_byte(3, 0x01, 0x3C, 0x0B), 0);
    uint8_t irq = 0;
    ASSERT_EQ(tvk_read_conf_byte(3, 0x01, 0x3C, &irq), 0);
    EXPECT_EQ(irq, 0x0B) << "one store";

    sim_clear_journal();
    struct Mend {
        int result, expected;
    } mends[] = {
        {tvk_io_read_byte(0, 0xE0, 0x100, &b), TVK_E_INVAL},
        {tvk_io_write_byte(0, 0xE0, 0x1FF, 1), TVK_E_INVAL},
        {tvk_io_read_word(0, 0xE0, 0x03, &w), TVK_E_INVAL},
        {tvk_io_write_word(0, 0xE0, 0x07, 1), TVK_E_INVAL},
        {tvk_io_read_dword(0, 0xE0, 0x02, &d), TVK_E_INVAL},
        {tvk_io_write_dword(0, 0xE0, 0x41, 1), TVK_E_INVAL},
        {tvk_io_read_byte(0, 0xE0, 0, nullptr), TVK_E_NULL},
        {tvk_io_read_word(0, 0xE0, 0, nullptr), TVK_E_NULL},
        {tvk_io_read_dword(0, 0xE0, 0, nullptr), TVK_E_NULL},
    };
    for (const Mend &m : mends)
        EXPECT_EQ(m.result, m.expected);
    EXPECT_TRUE(sim_journal().empty()) << "no port touched";

    SimFault f;
    f.op = SimFaultOp::iopl;
    f.err = EPERM;
    sim_add_fault(f);
    EXPECT_EQ(tvk_io_enable(), -1);
    EXPECT_EQ(errno, EPERM);
}

TEST_F(TvkDevTest, DriverRequests)
{
    uint8_t b = 0;
    uint16_t w = 0;
    uint32_t d = 0;
    ASSERT_EQ(tvk_drv_write_byte(3, 0x01, 0x3C, 0x1FF), 0);
    std::vector<SimJournalEntry> writes = sim_journal_of(SimEvent::write);
    ASSERT_EQ(writes.size(), 1u);
    EXPECT_EQ(writes[0].node, "/dev/mch_esb_dev");
    const std::vector<uint8_t> record = {3, 0, 0, 0, 1, 0, 0, 1, 0x3C, 0, 0, 0, 0xFF, 0, 0, 0,
                                         0, 0, 0, 0, 0, 0, 0, 0, 2, 0, 0, 0, 0, 0, 0, 0};
    EXPECT_EQ(sim_attachment(writes[0], "data")->bytes, record);
    ASSERT_EQ(tvk_drv_read_byte(3, 0x01, 0x3C, &b), 0);
    EXPECT_EQ(b, 0xFF);
    ASSERT_EQ(tvk_drv_read_word(0, 0xE0, 0x02, &w), 0);
    EXPECT_EQ(w, 0x3C04);
    ASSERT_EQ(tvk_drv_read_dword(0, 0xE0, 0x18, &d), 0);
    EXPECT_EQ(d & 0xFFFFFF, 0x030300u);
    ASSERT_EQ(tvk_drv_write_word(3, 0x01, 0x04, 0xABCD0006), 0);
    ASSERT_EQ(tvk_drv_read_word(3, 0x01, 0x04, &w), 0);
    EXPECT_EQ(w, 0x0006);
    EXPECT_EQ(tvk_drv_read_byte(0, 0, 0, nullptr), TVK_E_NULL);
    EXPECT_EQ(tvk_drv_read_word(0, 0, 0, nullptr), TVK_E_NULL);
    EXPECT_EQ(tvk_drv_read_dword(0, 0, 0, nullptr), TVK_E_NULL);

    // The driver refuses another length, width or operation.
    int fd = host_open(TVK_DRV_NODE, O_RDWR);
    ASSERT_GE(fd, 0);
    tvk_drv_request rq{};
    rq.ucWidth = 3;
    rq.usOperation = 1;
    EXPECT_EQ(host().write(fd, &rq, sizeof rq), -1);
    EXPECT_EQ(errno, EINVAL);
    rq.ucWidth = 4;
    rq.usOperation = 3;
    EXPECT_EQ(host().write(fd, &rq, sizeof rq), -1);
    EXPECT_EQ(host().write(fd, &rq, 16), -1);
    host().close(fd);

    testing::internal::CaptureStdout();
    sim_fail_op(SimFaultOp::write, TVK_DRV_NODE, EIO, 1);
    EXPECT_EQ(tvk_drv_write_dword(0, 0, 0, 1), TVK_E_IO);
    sim_remove_node(TVK_DRV_NODE);
    EXPECT_EQ(tvk_drv_read_dword(0, 0, 0, &d), TVK_E_OPEN);
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "[SHOW] Cannot write to mch driver, ret=-1, Input/output error\n"
              "[SHOW] Cannot open mch drv, No such file or directory\n"
              "[SHOW] Cannot open mch drv, No such file or directory\n");
    EXPECT_EQ(sim_open_count(), 0);
}

TEST_F(TvkDevTest, ThreeRoutesOneStoreWithWriteOneToClear)
{
    PciFunction *rp = pci_bus_find(0, 0xE0);
    // Status: a master abort and a parity error; Device Status: two errors;
    // AER uncorrectable status bits.
    pci_conf_poke(*rp, 0x06, {0x10, 0xA1});
    pci_conf_poke(*rp, 0x9A, {0x05, 0x00});
    pci_conf_poke(*rp, 0x104, {0x20, 0x10, 0x00, 0x00});
    uint16_t w = 0;
    uint32_t d = 0;
    ASSERT_EQ(tvk_io_write_word(0, 0xE0, 0x06, 0x2000), 0);          // clear master abort by ports
    ASSERT_EQ(tvk_read_conf_word(0, 0xE0, 0x06, &w), 0);
    EXPECT_EQ(w, 0x8110) << "bit 13 cleared, cap bit kept";
    ASSERT_EQ(tvk_drv_write_word(0, 0xE0, 0x06, 0xFFFF), 0);          // clear the rest by the driver
    ASSERT_EQ(tvk_io_read_word(0, 0xE0, 0x06, &w), 0);
    EXPECT_EQ(w, 0x0010);
    ASSERT_EQ(tvk_write_conf_word(0, 0xE0, 0x9A, 0x0001), 0);         // Device Status through procfs
    ASSERT_EQ(tvk_drv_read_word(0, 0xE0, 0x9A, &w), 0);
    EXPECT_EQ(w, 0x0004);
    ASSERT_EQ(tvk_write_conf_dword(0, 0xE0, 0x104, 0x1000), 0);
    ASSERT_EQ(tvk_read_conf_dword(0, 0xE0, 0x104, &d), 0);
    EXPECT_EQ(d, 0x20u);
    ASSERT_EQ(tvk_write_conf_byte(0, 0xE0, 0x04, 0x00), 0);           // Command byte leaves Status alone
    ASSERT_EQ(tvk_read_conf_dword(0, 0xE0, 0x04, &d), 0);
    EXPECT_EQ(d, 0x00100000u);
    ASSERT_EQ(tvk_write_conf_dword(0, 0xE0, 0x100, 0), 0);           // an extended header is read-only
    ASSERT_EQ(tvk_read_conf_dword(0, 0xE0, 0x100, &d), 0);
    EXPECT_EQ(d, 0x00010001u);
    EXPECT_EQ(sim_open_count(), 0);
}

} // namespace

namespace {

// This machine's functions, read-only: the first 256 bytes through the
// procfs route on the real host equal lspci's dump.
TEST(TvkDevRealHost, ConventionalSpaceEqualsLspci)
{
    QUORBIX_NEED_TOOL("lspci", "pciutils");
    if (geteuid() != 0)
        GTEST_SKIP() << "reading every function's 256 bytes needs root";
    FILE *devices = std::fopen("/proc/bus/pci/devices", "r");
    if (devices == nullptr)
        GTEST_SKIP() << "no /proc/bus/pci/devices";
    InTempDir cwd;   // the real host's log goes to the current directory
    host_select(nullptr);
    char line[512];
    int checked = 0;
    while (std::fgets(line, sizeof line, devices)) {
        unsigned slot = 0;
        if (std::sscanf(line, "%x", &slot) != 1)
            continue;
        unsigned bus = slot >> 8, devfn = slot & 0xFF;
        uint8_t mine[256] = {};
        ASSERT_EQ(tvk_read_conf_block(bus, devfn, mine, 256, 0), 0);
        char cmd[96];
        std::snprintf(cmd, sizeof cmd, "lspci -xxx -s %02x:%02x.%x 2>/dev/null", bus, devfn >> 3, devfn & 7);
        FILE *p = ::popen(cmd, "r");
        ASSERT_NE(p, nullptr);
        uint8_t theirs[256] = {};
        char row[256];
        while (std::fgets(row, sizeof row, p)) {
            unsigned off = 0, b[16];
            if (std::sscanf(row, "%x: %x %x %x %x %x %x %x %x %x %x %x %x %x %x %x %x", &off, &b[0], &b[1], &b[2],
                            &b[3], &b[4], &b[5], &b[6], &b[7], &b[8], &b[9], &b[10], &b[11], &b[12], &b[13], &b[14],
                            &b[15]) == 17 && off < 256)
                for (unsigned k = 0; k < 16; k++)
                    theirs[off + k] = static_cast<uint8_t>(b[k]);
        }
        ::pclose(p);
        EXPECT_EQ(std::memcmp(mine, theirs, sizeof mine), 0) << line;
        checked++;
    }
    std::fclose(devices);
    EXPECT_GT(checked, 0);
}

} // namespace

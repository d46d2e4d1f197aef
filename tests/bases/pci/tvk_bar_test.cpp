// BAR and physical-memory access through the simulated sysfs resource
// files, /dev/mem and the port router.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <regex>
#include <sys/mman.h>

#include "bases/host/host.h"
#include "bases/pci/tvk_bar.h"
#include "bases/pci/tvk_log.h"
#include "sim/pci_bus.h"
#include "sim/pci_sysfs.h"
#include "support/sim_fixture.h"

namespace {

constexpr unsigned kBus = 3, kDevfn = 0x00;
const char *const kResPath = "/sys/bus/pci/devices//0000:03:00.0/resource";

// Function 03:00.0 with memory BAR 2 at 0xD0000000 (4 KiB), I/O BAR 3 at
// 0xE000 and memory BAR 4 starting inside a page at 0xFEB00800.
class TvkBarTest : public SimTest {
protected:
    void SetUp() override
    {
        SimTest::SetUp();
        PciFunction &fn = pci_bus_add(kBus, kDevfn, pci_build_endpoint(0x10EE, 0x7021, 0x058000, 2));
        fn.resources = {{}, {}, {0xD0000000, 0xD0000FFF, 0x40200}, {0xE000, 0xE01F, 0x40101},
                        {0xFEB00800, 0xFEB00FFF, 0x40200}};
        pci_sysfs_add(fn);
        std::filesystem::remove(sim_path("/tavik.log"));
        sim_clear_journal();
    }
    void TearDown() override
    {
        EXPECT_TRUE(sim_mappings().empty()) << "mappings left";
        SimTest::TearDown();
    }
    std::string log()
    {
        return std::regex_replace(sim_read_file("/tavik.log"), std::regex("(^|\n)\\S+\\.cpp \\d+ "), "$1F N ");
    }
};

TEST_F(TvkBarTest, ResourcePath)
{
    char buf[256];
    EXPECT_EQ(tvk_get_res_path(kBus, kDevfn, buf, sizeof buf), 0);
    EXPECT_STREQ(buf, kResPath);  // no short form in sysfs: the domain form
    struct Case {
        unsigned bus, devfn;
        char *out;
        int len, expected;
    } cases[] = {
        {0x40, 0, buf, 256, TVK_E_OPEN}, {kBus, kDevfn, nullptr, 256, TVK_E_NULL},
        {kBus, kDevfn, buf, 0, TVK_E_INVAL}, {kBus, kDevfn, buf, 20, TVK_E_PATH},
        {kBus, kDevfn, buf, 43, TVK_E_PATH},  // exactly the path's length: no room for the NUL
    };
    for (const Case &c : cases)
        EXPECT_EQ(tvk_get_res_path(c.bus, c.devfn, c.out, c.len), c.expected) << c.len;
    EXPECT_EQ(tvk_get_res_path(kBus, kDevfn, buf, 44), 0);
    EXPECT_NE(log().find("Invalid buffer len[0]"), std::string::npos);
}

TEST_F(TvkBarTest, BarInfo)
{
    sim_write_file("/six", std::string(6, '\n'));
    sim_write_file("/bad", "0x1 0x2\n");
    uint64_t s = 1, e = 1, f = 1;
    struct Case {
        const char *path;
        uint8_t bar;
        int expected;
        uint64_t start, end, flags;
    } cases[] = {
        {kResPath, 2, 0, 0xD0000000, 0xD0000FFF, 0x40200},
        {kResPath, 3, 0, 0xE000, 0xE01F, 0x40101},
        {kResPath, 6, 0, 0, 0, 0},
        {kResPath, 7, TVK_E_INVAL, 0, 0, 0},
        {"/six", 6, TVK_E_RANGE, 0, 0, 0},
        {"/bad", 0, TVK_E_SHORT, 0, 0, 0},
        {"/missing", 0, TVK_E_OPEN, 0, 0, 0},
    };
    for (const Case &c : cases) {
        s = e = f = 1;
        EXPECT_EQ(tvk_get_bar_info(c.path, c.bar, &s, &e, &f), c.expected) << c.path << " " << int(c.bar);
        if (c.expected == 0) {
            EXPECT_EQ(std::vector<uint64_t>({s, e, f}), std::vector<uint64_t>({c.start, c.end, c.flags}));
        }
    }
    EXPECT_EQ(tvk_get_bar_info(nullptr, 0, &s, &e, &f), TVK_E_NULL);
    EXPECT_EQ(tvk_get_bar_info(kResPath, 0, &s, nullptr, &f), TVK_E_NULL);
    EXPECT_NE(log().find("Cannot sscanf_s resource[0] info, iRet=2"), std::string::npos);
}

TEST_F(TvkBarTest, MemoryBarReadCutsAndRefuses)
{
    uint8_t bytes[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    sim_phys_write(0xD0000FF8, bytes, sizeof bytes);
    uint8_t buf[16];
    std::memset(buf, 0xAA, sizeof buf);
    ASSERT_EQ(tvk_bar_read(kBus, kDevfn, 2, buf, 16, 0xFF8), 0);
    EXPECT_EQ(std::memcmp(buf, bytes, 8), 0);
    EXPECT_EQ(buf[8], 0xAA) << "the cut read wrote past its 8 bytes";
    EXPECT_NE(log().find("Read 16 Bytes from 0xff8 is too long for BAR2"), std::string::npos);
    std::vector<SimJournalEntry> maps = sim_journal_of(SimEvent::map);
    ASSERT_EQ(maps.size(), 1u);
    EXPECT_EQ(maps[0].node, "/sys/bus/pci/devices/0000:03:00.0/resource2");
    EXPECT_EQ(maps[0].address, 0u);
    EXPECT_EQ(maps[0].length, 4096u);

    struct Case {
        uint32_t len;
        int offset;
        int expected;
        const char *line;
    } cases[] = {
        {4, 0x1000, TVK_E_RANGE, "Offset[4096] out of range[0 ~ 0x0fff]"},
        {4, -4, TVK_E_RANGE, "Offset[-4] out of range[0 ~ 0x0fff]"},
        {0, 0, TVK_E_INVAL, nullptr},
    };
    for (const Case &c : cases) {
        std::memset(buf, 0xAA, sizeof buf);
        EXPECT_EQ(tvk_bar_read(kBus, kDevfn, 2, buf, c.len, c.offset), c.expected) << c.offset;
        EXPECT_EQ(tvk_bar_write(kBus, kDevfn, 2, buf, c.len, c.offset), c.expected) << c.offset;
        EXPECT_EQ(buf[0], 0xAA);
        if (c.line) {
            EXPECT_NE(log().find(c.line), std::string::npos) << c.line;
        }
    }
    EXPECT_EQ(tvk_bar_write(kBus, kDevfn, 2, buf, 16, 0xFF8), TVK_E_RANGE);
    EXPECT_NE(log().find("Write 16 Bytes offset 0xff8 is too long for BAR2"), std::string::npos);
    EXPECT_EQ(tvk_bar_read(kBus, kDevfn, 1, buf, 4, 0), TVK_E_IO);  // an empty BAR has no file to map
    EXPECT_EQ(tvk_bar_read(0x40, 0, 2, buf, 4, 0), TVK_E_OPEN);
    EXPECT_NE(log().find("Cannot get bar2 res path, ret=-908"), std::string::npos);
}

// A write that ends exactly on the BAR's last byte is whole and accepted; one
// byte more is refused and touches nothing.
TEST_F(TvkBarTest, WriteEndingOnTheLastByteIsAccepted)
{
    const uint8_t data[9] = {0x91, 0x82, 0x73, 0x64, 0x55, 0x46, 0x37, 0x28, 0x19};
    struct Case {
        uint8_t bar;
        uint32_t len;
        int offset;
        int expected;
    } cases[] = {
        {2, 8, 0xFF8, 0},            // 0xD0000FF8-0xD0000FFF
        {2, 1, 0xFFF, 0},            // the last byte alone
        {2, 9, 0xFF7, 0},
        {2, 9, 0xFF8, TVK_E_RANGE},  // one byte past the end
        {4, 4, 0x7FC, 0},            // 0xFEB00FFC-0xFEB00FFF
        {4, 5, 0x7FC, TVK_E_RANGE},
        {3, 4, 0x1C, 0},             // ports 0xE01C-0xE01F
        {3, 5, 0x1C, TVK_E_RANGE},
    };
    const uint64_t mem_start[5] = {0, 0, 0xD0000000, 0, 0xFEB00800};
    for (const Case &c : cases) {
        sim_clear_journal();
        std::vector<uint8_t> before(c.len, 0xC3);
        if (c.bar != 3)
            sim_phys_write(mem_start[c.bar] + static_cast<uint64_t>(c.offset), before.data(), c.len);
        EXPECT_EQ(tvk_bar_write(kBus, kDevfn, c.bar, data, c.len, c.offset), c.expected)
            << "BAR" << int(c.bar) << " offset " << c.offset << " len " << c.len;
        std::vector<uint8_t> want = c.expected == 0 ? std::vector<uint8_t>(data, data + c.len) : before;
        if (c.bar == 3) {
            std::vector<SimJournalEntry> outs = sim_journal_of(SimEvent::port_out);
            ASSERT_EQ(outs.size(), c.expected == 0 ? c.len : 0u) << c.len;
            for (size_t i = 0; i < outs.size(); i++) {
                EXPECT_EQ(outs[i].address, 0xE000u + static_cast<unsigned>(c.offset) + i);
                EXPECT_EQ(outs[i].value, data[i]);
            }
        } else {
            std::vector<uint8_t> got(c.len);
            sim_phys_read(mem_start[c.bar] + static_cast<uint64_t>(c.offset), got.data(), c.len);
            EXPECT_EQ(got, want) << "BAR" << int(c.bar) << " offset " << c.offset << " len " << c.len;
        }
    }
}

TEST_F(TvkBarTest, UnalignedBarAndDevMemSeeTheSameBytes)
{
    const uint8_t pattern[4] = {0xDE, 0xAD, 0xBE, 0xEF};
    ASSERT_EQ(tvk_bar_write(kBus, kDevfn, 4, pattern, 4, 0), 0);
    uint8_t phys[4] = {};
    sim_phys_read(0xFEB00800, phys, 4);
    EXPECT_EQ(std::memcmp(phys, pattern, 4), 0);
    uint8_t back[4] = {};
    ASSERT_EQ(tvk_mmap_read("/dev/mem", 0xFEB00800, 4, back), 0);
    EXPECT_EQ(std::memcmp(back, pattern, 4), 0);
    std::vector<SimJournalEntry> maps = sim_journal_of(SimEvent::map);
    ASSERT_EQ(maps.size(), 2u);
    EXPECT_EQ(maps[0].address, 0u);  // file offset 0: the page holding the start
    EXPECT_EQ(maps[0].value, static_cast<uint64_t>(PROT_READ | PROT_WRITE));
    EXPECT_EQ(maps[0].flags, MAP_SHARED);
    EXPECT_EQ(maps[1].address, 0xFEB00000u);
    EXPECT_EQ(maps[1].flags, MAP_PRIVATE);
}

TEST_F(TvkBarTest, IoBarMovesBytesThroughPorts)
{
    const uint8_t out[4] = {0x11, 0x22, 0x33, 0x44};
    ASSERT_EQ(tvk_bar_write(kBus, kDevfn, 3, out, 4, 0x10), 0);
    uint8_t in[4] = {};
    ASSERT_EQ(tvk_bar_read(kBus, kDevfn, 3, in, 4, 0x10), 0);
    EXPECT_EQ(std::memcmp(in, out, 4), 0);
    std::vector<SimJournalEntry> ins = sim_journal_of(SimEvent::port_in);
    ASSERT_EQ(ins.size(), 4u);
    for (size_t i = 0; i < 4; i++) {
        EXPECT_EQ(ins[i].address, 0xE010 + i);
        EXPECT_EQ(ins[i].length, 1u);
    }
    EXPECT_EQ(sim_journal_of(SimEvent::port_out).size(), 4u);
}

TEST_F(TvkBarTest, IoBarWithoutPrivilegeTouchesNoPort)
{
    sim_fail_op(SimFaultOp::iopl, "", EPERM);
    uint8_t buf[4] = {};
    EXPECT_EQ(tvk_bar_read(kBus, kDevfn, 3, buf, 4, 0), TVK_E_IO);
    EXPECT_EQ(tvk_bar_write(kBus, kDevfn, 3, buf, 4, 0), TVK_E_IO);
    EXPECT_TRUE(sim_journal_of(SimEvent::port_in).empty());
    EXPECT_TRUE(sim_journal_of(SimEvent::port_out).empty());
    EXPECT_NE(log().find("io read failed, ret=-1"), std::string::npos);
}

TEST_F(TvkBarTest, MmapReadAndWriteFailures)
{
    uint8_t buf[8] = {};
    EXPECT_EQ(tvk_mmap_read("/dev/mem", 0xF0FFE, 4, buf), 0);
    std::vector<SimJournalEntry> maps = sim_journal_of(SimEvent::map);
    ASSERT_EQ(maps.size(), 1u);
    EXPECT_EQ(maps[0].address, 0xF0000u);
    EXPECT_EQ(maps[0].length, 8192u);

    EXPECT_EQ(tvk_mmap_read("/dev/mem", 0, 0, buf), TVK_E_NULL);
    EXPECT_EQ(tvk_mmap_read(nullptr, 0, 4, buf), TVK_E_NULL);
    EXPECT_EQ(tvk_mmap_write("/dev/mem", 0, 4, nullptr), TVK_E_NULL);
    EXPECT_EQ(tvk_mmap_read("/nothing", 0, 4, buf), TVK_E_MAP_OPEN);
    EXPECT_EQ(tvk_mmap_read("/dev/mem", -1, 4, buf), TVK_E_MAP);
    // Past BAR 2's page, the resource file refuses the mapping.
    EXPECT_EQ(tvk_mmap_read("/sys/bus/pci/devices/0000:03:00.0/resource2", 0xFFE, 4, buf), TVK_E_MAP);
    sim_fail_op(SimFaultOp::mmap, "/dev/mem", ENOMEM);
    std::memset(buf, 0xAA, sizeof buf);
    EXPECT_EQ(tvk_mmap_read("/dev/mem", 0x1000, 4, buf), TVK_E_MAP);
    EXPECT_EQ(buf[0], 0);  // cleared before the attempt
    EXPECT_EQ(tvk_mmap_write("/dev/mem", 0x1000, 4, buf), TVK_E_MAP);
    EXPECT_NE(log().find("Fail to mmap /dev/mem at 0x1000 for 0x4 bytes, errno=12"), std::string::npos);
    sim_clear_faults();
    sim_fail_op(SimFaultOp::mmap, "", ENOMEM);
    EXPECT_EQ(tvk_bar_write(kBus, kDevfn, 2, buf, 4, 0), TVK_E_MAP);
    EXPECT_NE(log().find("Fail to write buf to device[03:00.0] BAR reg[0x0], ret=-921"), std::string::npos);
    EXPECT_EQ(tvk_bar_read(kBus, kDevfn, 2, buf, 4, 0), TVK_E_IO);
    EXPECT_NE(log().find("mmap read failed, ret=-921"), std::string::npos);
}

TEST_F(TvkBarTest, KernelMappingRefusals)
{
    struct Case {
        const char *path;
        int flags, prot;
        off_t offset;
        size_t length;
        int err;
    } cases[] = {
        {"/dev/mem", O_RDONLY, PROT_READ | PROT_WRITE, 0, 4096, EACCES},
        {"/dev/mem", O_RDWR, PROT_READ, 0x800, 4096, EINVAL},
        {"/sys/bus/pci/devices/0000:03:00.0/resource2", O_RDONLY, PROT_READ | PROT_WRITE, 0, 4096, EACCES},
        {"/sys/bus/pci/devices/0000:03:00.0/resource2", O_RDONLY, PROT_READ, 0, 8192, EINVAL},
        {"/sys/bus/pci/devices/0000:03:00.0/resource2", O_RDONLY, PROT_READ, 4096, 4096, EINVAL},
    };
    for (const Case &c : cases) {
        int fd = host_open(c.path, c.flags);
        ASSERT_GE(fd, 0) << c.path;
        errno = 0;
        EXPECT_EQ(host().mmap(nullptr, c.length, c.prot, MAP_SHARED, fd, c.offset), MAP_FAILED) << c.path;
        EXPECT_EQ(errno, c.err) << c.path;
        host().close(fd);
    }
    EXPECT_FALSE(sim_node_present("/sys/bus/pci/devices/0000:03:00.0/resource3"));  // an I/O BAR has no file
}

TEST_F(TvkBarTest, PortBytes)
{
    uint8_t buf[2] = {0x5A, 0xA5};
    EXPECT_EQ(tvk_io_byte_rw(-1, buf, 1, 0), TVK_E_RANGE);
    EXPECT_EQ(tvk_io_byte_rw(0x10000, buf, 1, 0), TVK_E_RANGE);
    EXPECT_EQ(tvk_io_byte_rw(0x80, buf, 1, 2), TVK_E_INVAL);
    EXPECT_EQ(tvk_io_byte_rw(0x80, buf, 0, 0), TVK_E_INVAL);
    EXPECT_EQ(tvk_io_byte_rw(0x80, nullptr, 1, 0), TVK_E_INVAL);
    EXPECT_TRUE(sim_journal_of(SimEvent::port_in).empty());
    ASSERT_EQ(tvk_io_byte_rw(0xFFFF, buf, 2, 1), 0);
    std::vector<SimJournalEntry> outs = sim_journal_of(SimEvent::port_out);
    ASSERT_EQ(outs.size(), 2u);
    EXPECT_EQ(outs[0].address, 0xFFFFu);
    EXPECT_EQ(outs[1].address, 0u);  // wraps within 16 bits
    EXPECT_EQ(outs[1].value, 0xA5u);
}

} // namespace

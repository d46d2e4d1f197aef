// The RUGA rows of the load block through the simulated flash: MAC set and
// get (both copies' bytes and CRC), the flash version, the boot-logic file
// and the boot-logic dump.
#include "tool/ruga/ruga_cmd.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "sim/spi_flash_model.h"
#include "support/console_run.h"
#include "support/flash_image.h"
#include "support/sim_fixture.h"
#include "tool/load/spi_flash.h"
#include "tool/ruga/ruga_loader.h"
#include "tool/ruga/ruga_mac.h"
#include "tool/trans_op.h"

namespace {

constexpr uint32_t kCap = 0x2000000;
constexpr uint32_t kCopy[2] = {kCap - 0x100000, kCap - 0x200000};

class RugaCommands : public SimTest {
protected:
    void TearDown() override
    {
        EXPECT_FALSE(spi_flash_state(0).open) << "flash 0 left between begin and end";
        SimTest::TearDown();
    }
    static ConsoleRun ruga(const std::string &path) { return console_run([&] { return op_l_ruga(path.c_str()); }); }
    static std::vector<uint8_t> area(int copy) { return spi_flash_peek(0, kCopy[copy], 124); }
    static uint32_t word(const std::vector<uint8_t> &a, size_t at)
    {
        uint32_t v = 0;
        std::memcpy(&v, a.data() + at, 4);
        return v;
    }
    static std::vector<uint8_t> entry(const std::vector<uint8_t> &a, uint32_t index)
    {
        return {a.begin() + 8 + 6 * index, a.begin() + 14 + 6 * index};
    }
};

const std::vector<uint8_t> kStored = {0x60, 0x50, 0x40, 0x30, 0x20, 0x10};

TEST_F(RugaCommands, SetWritesBothCopiesWithFlagAndCrc)
{
    struct Row {
        const char *param;
        uint32_t index;
    } rows[] = {{"2:10:20:30:40:50:60", 2}, {"14:102030405060", 14}, {"3:10:20:30:40:50:60:70", 3}, {":10:20:30:40:50:60", 0}};
    for (const Row &r : rows) {
        SCOPED_TRACE(r.param);
        spi_flash_erase_all(0);
        ConsoleRun run = ruga(std::string("s/") + r.param);
        EXPECT_EQ(run.status, 0) << run.out;
        EXPECT_NE(run.out.find("[quorbix-INFO]RUGA:SUCCESS\n"), std::string::npos);
        for (int copy = 0; copy < 2; copy++) {
            std::vector<uint8_t> a = area(copy);
            EXPECT_EQ(word(a, 0), RUGA_MAC_FLAG);
            EXPECT_EQ(word(a, 4), test_crc16(a.data() + 8, 116));
            for (uint32_t i = 0; i < RUGA_MAC_COUNT; i++)
                EXPECT_EQ(entry(a, i), i == r.index ? kStored : std::vector<uint8_t>(6, 0xFF)) << "entry " << i;
        }
        ConsoleRun got = ruga("g/" + std::to_string(r.index));
        EXPECT_EQ(got.status, 0);
        EXPECT_NE(got.out.find("FLASH 0 MAC ADDRESS: mac index(" + std::to_string(r.index) +
                               "), MAC(0x10:0x20:0x30:0x40:0x50:0x60)\n"),
                  std::string::npos)
            << got.out;
    }
}

TEST_F(RugaCommands, RefusedSetsLeaveTheFlashAlone)
{
    struct Row {
        const char *param;
        int status;
        const char *line;
    } rows[] = {
        {"15:10:20:30:40:50:60", -1200, "please input mac index, it must be less then 15\n"},
        {"-1:10:20:30:40:50:60", -1200, "please input mac index, it must be less then 15\n"},
        {"1:10:20:30:40:50", -1200, "parse mac address error, check your input mac address again\n"},
        {"1:10203040506", -1200, "parse mac address error, check your input mac address again\n"},
        {"1:100:20:30:40:50:60", -1, "call strncpy_s error!\n"},
        {"123:10:20:30:40:50:60", -1, "call strncpy_s error!\n"},
        {"102030405060", -1200, "RUGA:input mac address error!\n"},
    };
    spi_flash_erase_all(0);
    for (const Row &r : rows) {
        SCOPED_TRACE(r.param);
        sim_clear_journal();
        ConsoleRun run = ruga(std::string("s/") + r.param);
        if (r.status == -1)
            EXPECT_NE(run.status, 0);
        else
            EXPECT_EQ(run.status, r.status);
        EXPECT_NE(run.out.find(r.line), std::string::npos) << run.out;
        // The index copy fails before the verdict lines.
        EXPECT_EQ(run.out.find("[quorbix-ERR]RUGA:FAIL\n") != std::string::npos, std::strncmp(r.param, "123", 3) != 0);
        EXPECT_EQ(area(0), std::vector<uint8_t>(124, 0xFF));
    }
}

TEST_F(RugaCommands, GetFallsBackToCopyTwoAndFailsWhenBothAreBad)
{
    spi_flash_erase_all(0);
    ConsoleRun fresh = ruga("g/4");
    EXPECT_EQ(fresh.status, 0);
    EXPECT_NE(fresh.out.find("FLASH 0 MAC ADDRESS: mac index(4), MAC(0xff:0xff:0xff:0xff:0xff:0xff)\n"),
              std::string::npos);
    ASSERT_EQ(ruga("s/4:0a:0b:0c:0d:0e:0f").status, 0);
    spi_flash_poke(0, kCopy[0] + 8 + 24, {0x00});  // copy 1 corrupt
    ConsoleRun one = ruga("g/4");
    EXPECT_EQ(one.status, 0);
    EXPECT_NE(one.out.find("check mac head crc error, flash("), std::string::npos);
    EXPECT_NE(one.out.find("FLASH 1 MAC ADDRESS: mac index(4), MAC(0x0a:0x0b:0x0c:0x0d:0x0e:0x0f)\n"),
              std::string::npos)
        << one.out;
    ConsoleRun both = console_run([] { return ruga_get_mac(4, 1); });
    EXPECT_EQ(both.status, -1200);
    // Setting again starts from copy 2 and repairs copy 1.
    ASSERT_EQ(ruga("s/5:1:2:3:4:5:6").status, 0);
    EXPECT_EQ(area(0), area(1));
    EXPECT_EQ(entry(area(0), 4), (std::vector<uint8_t>{0x0f, 0x0e, 0x0d, 0x0c, 0x0b, 0x0a}));
    spi_flash_poke(0, kCopy[1] + 8, {0x00});
    spi_flash_poke(0, kCopy[0] + 8, {0x00});
    ConsoleRun none = ruga("g/4");
    EXPECT_EQ(none.status, -1200);
    EXPECT_NE(none.out.find("read mac address from flash error\n"), std::string::npos);
    EXPECT_NE(none.out.find("RUGA:get mac(4) address fail!\n"), std::string::npos);
    EXPECT_EQ(ruga("g/15").status, -1200);
}

TEST_F(RugaCommands, FlashFailuresReachTheCommand)
{
    spi_flash_erase_all(0);
    spi_flash_fail_transfer(0, -1, kCopy[0], EIO);
    ConsoleRun run = ruga("s/1:1:2:3:4:5:6");
    EXPECT_NE(run.status, 0);
    EXPECT_NE(run.out.find("read mac1 from flash error\n"), std::string::npos);
    EXPECT_NE(run.out.find("write mac1 to flash error\n"), std::string::npos) << run.out;
    EXPECT_EQ(area(1), std::vector<uint8_t>(124, 0xFF)) << "copy 2 untouched after copy 1 failed";
}

TEST_F(RugaCommands, FlashVersionRow)
{
    ConsoleRun run = ruga("v");
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out.rfind("call ruda_get_flash_boot_logic_ver\n", 0), 0u);
    EXPECT_NE(run.out.find("RUGA flash boot logic version: " + std::to_string(kSimFlashFreshVersion[0]) + "\n"),
              std::string::npos);
    spi_flash_erase_all(0);
    run = ruga("v");
    EXPECT_EQ(run.status, -1200);
    EXPECT_NE(run.out.find("RUGA:get flash boot logic version fail!\n"), std::string::npos);
}

TEST_F(RugaCommands, BootFileRowAndDump)
{
    std::vector<uint8_t> img = flash_image({.dataLen = 3000, .version = 0x321});
    sim_write_file("/logic.bin", as_text(img));
    ConsoleRun load = console_run([] { return op_l_ruga_bt("f//logic.bin trailing"); });
    EXPECT_EQ(load.status, 0) << load.out;
    EXPECT_NE(load.out.find("RUGA: load fpga boot logic file success!\n"), std::string::npos);
    ConsoleRun dump = ruga("d");
    EXPECT_EQ(dump.status, 0) << dump.out;
    EXPECT_EQ(sim_read_file(std::string("/") + RUGA_DUMP_FILE), as_text(img));

    std::string longName(127, 'a');
    ConsoleRun tooLong = console_run([&] { return op_l_ruga_bt(("f/" + longName).c_str()); });
    EXPECT_EQ(tooLong.status, -1202);
    EXPECT_NE(tooLong.out.find("RUGA: sscanf file name fail!\n"), std::string::npos);
}

// Both file rows scan one word and take the scan's count as the status:
// -1 for an empty or blank-only name; a word too long for the buffer
// converts nothing (count 0, which would read as success) and gives -1202.
// A word that fits goes on to the load.
TEST_F(RugaCommands, FileRowsTakeTheScanCountAsStatus)
{
    const std::string fail = "RUGA: sscanf file name fail!\n";
    struct Cmd {
        const char *what;
        TransOpStatus (*op)(const char *);
    } cmds[] = {{"l_ruga_bt", op_l_ruga_bt}, {"l_ruga_ap", op_l_ruga_ap}};
    const struct {
        std::string name;
        int scan;  // the scan's status; 0: the load runs (its line, its status)
    } rows[] = {
        {"", -1},
        {"   ", -1},
        {" \t\n ", -1},
        {std::string(127, 'a'), -1202},
        {"  " + std::string(200, 'a'), -1202},
        {"/" + std::string(125, 'a'), 0},  // 126 characters: the most the buffer takes
        {" /logic.bin ", 0},
    };
    sim_write_file("/logic.bin", "x");
    for (const Cmd &c : cmds)
        for (const auto &r : rows) {
            SCOPED_TRACE(std::string(c.what) + " f/'" + r.name + "'");
            ConsoleRun run = console_run([&] { return c.op(("f/" + r.name).c_str()); });
            if (r.scan == 0) {
                EXPECT_EQ(run.out.find(fail), std::string::npos) << run.out;
                EXPECT_NE(run.out.find("RUGA: load fpga"), std::string::npos) << run.out;
            } else {
                EXPECT_EQ(run.status, r.scan) << run.out;
                EXPECT_NE(run.out.find(fail), std::string::npos) << run.out;
                EXPECT_EQ(run.out.find("RUGA: load fpga"), std::string::npos) << run.out;
            }
        }
}

TEST_F(RugaCommands, DumpWithoutAValidHeadWritesNoFile)
{
    spi_flash_erase_all(0);
    ConsoleRun run = ruga("d");
    EXPECT_EQ(run.status, -1312);
    EXPECT_NE(run.out.find("RUGA:dump boot logic fail\n"), std::string::npos);
    EXPECT_EQ(sim_read_file(std::string("/") + RUGA_DUMP_FILE), "");
}

TEST_F(RugaCommands, DumpRefusesAStretchPastTheFlash)
{
    // A head that passes verification but claims more than the flash holds.
    std::vector<uint8_t> img = flash_image({.dataLen = 1000});
    sim_write_file("/logic.bin", as_text(img));
    ASSERT_EQ(console_run([] { return op_l_ruga_bt("f//logic.bin"); }).status, 0);
    std::vector<uint8_t> head = spi_flash_peek(0, kCap - 104, 104);
    uint32_t offset = 0xFFFFFF00u;
    std::memcpy(head.data() + 72, &offset, 4);
    uint32_t crc = test_crc16(head.data(), 100);
    std::memcpy(head.data() + 100, &crc, 4);
    spi_flash_poke(0, kCap - 104, head);
    spi_flash_poke(0, FLASH_HEAD_ADDR, head);
    ConsoleRun run = ruga("d");
    EXPECT_NE(run.status, 0);
    EXPECT_EQ(sim_read_file(std::string("/") + RUGA_DUMP_FILE), "");
}

}

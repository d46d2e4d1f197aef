// Logic file and logic version commands: -m trans/v and -m sbuf/v as whole
// command lines, the load and clear blocks through their dispatchers, on
// the simulated SMBIOS table and flashes of DORN, KESP and other boards,
// and with a table whose product name disagrees with the DMI board name.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <regex>
#include <set>
#include <string>
#include <vector>

#include "bases/drv/spi_flash_drv.h"
#include "bases/pci/smbios.h"
#include "sim/smbios_image.h"
#include "sim/spi_flash_model.h"
#include "support/console_run.h"
#include "support/flash_image.h"
#include "support/sim_fixture.h"
#include "tool/load/spi_flash.h"
#include "tool/quorbix.h"
#include "tool/trans/logic_file.h"

namespace {

using testing::internal::CaptureStdout;
using testing::internal::GetCapturedStdout;

struct CmdRun {
    std::string out;
    int status;
};

// Source places as "F:L" (the version line of trans names "trans/trans").
std::string normal(const std::string &out)
{
    return std::regex_replace(out, std::regex("([a-z_/]+\\.cpp|trans/trans):[0-9]+"), "F:L");
}

// "m" runs `-m path` through quorbix_run (its status is the process's);
// "l" and "c" call the load and clear dispatchers.
CmdRun run(const std::string &block, const std::string &path)
{
    CaptureStdout();
    int status = 0;
    if (block == "m") {
        status = quorbix_mfc(path);
    } else {
        status = (block == "l" ? op_load : op_clear)(path.c_str());
    }
    std::fflush(stdout);
    return {normal(GetCapturedStdout()), status};
}

// The flash ids that requests of that number named.
std::set<uint64_t> flashes_of(unsigned long request)
{
    std::set<uint64_t> out;
    for (const SimJournalEntry &e : sim_journal_of(SimEvent::request, {}, request))
        if (!e.extra.empty())
            out.insert(e.extra[0]);
    return out;
}

void set_product(const std::string &product)
{
    smbios_place({smbios_baseboard("Quorbix", product, "QB0000000001", "Slot 0"), smbios_end(0x0006)},
                 SmbiosLayout{});
}

void drop_smbios()
{
    std::vector<uint8_t> zeros(SMBIOS_SEG_LEN, 0);
    sim_phys_write(SMBIOS_SEG_BASE, zeros.data(), zeros.size());
}

std::string info(const std::string &text) { return "F:L [quorbix-INFO]" + text; }
std::string err(const std::string &text) { return "F:L [quorbix-ERR]" + text; }

std::string version_lines(int flash, unsigned version)
{
    const std::string v = std::to_string(version);
    return info("FPGA Flash Base version: " + v + " \n") + info("Get flash [" + std::to_string(flash) + "] version [" +
                                                                v + "] successful! Finish operation\n");
}

const std::string kTransV257 = "Inquery Trans Logic Version Infomation SUCCESS\ntrans =(UXX)V257\n";
const std::string kSbufV257 = "Inquery Sbuf Logic Version Infomation SUCCESS\nsbuf =(UXX)V257\n";
const std::string kSbufV514 = "Inquery Sbuf Logic Version Infomation SUCCESS\nsbuf =(UXX)V514\n";
// Flash 0 read as type 1 on a DORN board (stored as type 0): no head.
const std::string kNoHead =
    err("Input file ValidateFlag [0xaa55aa55],[0xaa55aa55] error,right file ValidateFlag [0x55aa55aa]\n") +
    err("Flash file head error\n") + err("Get flash version failed, ret = -1312\n");

struct Case {
    const char *block;
    const char *path;
    int status;
    std::string out;
    std::set<uint64_t> begun;   // flashes that begin requests named
};

class LogicFileCommands : public SimTest {
protected:
    void TearDown() override
    {
        for (uint32_t id = 0; id < 2; id++)
            EXPECT_FALSE(spi_flash_state(id).open) << "flash " << id << " left between begin and end";
        SimTest::TearDown();
    }

    void expect_cases(const std::vector<Case> &cases)
    {
        for (const Case &c : cases) {
            sim_clear_journal();
            CmdRun r = run(c.block, c.path);
            EXPECT_EQ(r.out, c.out) << c.block << " " << c.path;
            EXPECT_EQ(r.status, c.status) << c.block << " " << c.path;
            EXPECT_EQ(flashes_of(SPI_FLASH_BEGIN), c.begun) << c.block << " " << c.path;
            ASSERT_EQ(sim_open_count(), 0) << c.path;
        }
    }
};

class LogicFileCommandsKesp : public LogicFileCommands {
protected:
    std::string board() const override { return "ZK17KESP"; }
};

class LogicFileCommandsOther : public LogicFileCommands {
protected:
    std::string board() const override { return "ZK17TRVA"; }
};

TEST_F(LogicFileCommands, VersionsOnDorn)
{
    expect_cases({
        {"m", "trans/v", 0, version_lines(0, 257) + kTransV257, {0}},
        {"m", "trans/V/ignored", 0, version_lines(0, 257) + kTransV257, {0}},
        {"m", "sbuf/V", 0, version_lines(1, 514) + kSbufV514, {1}},
    });
    // A product name other than DORN's: flash 0 read as type 1 holds no head.
    set_product("ZK17KESP");
    expect_cases({
        {"m", "trans/v", 2,
         kNoHead + "ruda_get_spi_flash_ver exe FAILED, iRet = -1312 [get_trans_logic_version] F:L\n", {0}},
        {"m", "sbuf/v", 2,
         kNoHead + "ruda_get_spi_flash_ver exe Infomation FAILED, iRet = -1312 [get_sbuf_logic_version] F:L\n",
         {0}},
    });
}

TEST_F(LogicFileCommandsKesp, VersionsFollowTheProductName)
{
    expect_cases({
        {"m", "trans/v", 0, version_lines(0, 257) + kTransV257, {0}},
        {"m", "sbuf/V", 0, version_lines(0, 257) + kSbufV257, {0}},
    });
    // The DMI name says KESP, the table says DORN: the sbuf flash with type 0.
    set_product("ZK17DORN-X");
    expect_cases({{"m", "sbuf/v", 0, version_lines(1, 514) + kSbufV514, {1}}});
}

TEST_F(LogicFileCommandsOther, VersionsOnAnotherBoard)
{
    expect_cases({
        {"m", "trans/v", 0, version_lines(0, 257) + kTransV257, {0}},
        {"m", "sbuf/v", 0, version_lines(0, 257) + kSbufV257, {0}},
    });
}

TEST_F(LogicFileCommands, VersionFailures)
{
    // An erased flash holds no head: the store's status, not a version.
    spi_flash_erase_all(1);
    expect_cases({{"m", "sbuf/v", 2,
                   err("Input file ValidateFlag [0xffffffff],[0xffffffff] error,right file ValidateFlag "
                       "[0x55aa55aa]\n") +
                       err("Flash file head error\n") + err("Get flash version failed, ret = -1312\n") +
                       "ruda_get_spi_flash_ver exe Infomation FAILED, iRet = -1312 [get_sbuf_logic_version] F:L\n",
                   {1}}});
    sim_fail_request(SPI_FLASH_NODE, SPI_FLASH_BEGIN, EIO);
    CaptureStdout();
    const int st = op_m_trans("v");
    const std::string out = normal(GetCapturedStdout());
    EXPECT_EQ(st, -1237);
    const std::string tail = err("Flash begin set error, ret = -1\n") +
                             "ruda_get_spi_flash_ver exe FAILED, iRet = -1237 [get_trans_logic_version] F:L\n";
    ASSERT_GE(out.size(), tail.size()) << out;
    EXPECT_EQ(out.substr(out.size() - tail.size()), tail);
}

TEST_F(LogicFileCommands, SmbiosFailureComesFirst)
{
    drop_smbios();
    CaptureStdout();
    const int status = op_m_sbuf("v");
    EXPECT_EQ(GetCapturedStdout(), "call smbios_get_board_info fail! iRet=-954\n");
    EXPECT_EQ(status, -954);
    expect_cases({
        {"m", "trans/v", 2, "call smbios_get_board_info fail! iRet=-954\n", {}},
        // Before the missing parameter is noticed.
        {"l", "trans/f", -954, "call smbios_get_board_info fail! iRet=-954\n", {}},
        {"l", "sbuf/F/", -954, "call smbios_get_board_info fail! iRet=-954\n", {}},
        {"c", "sbuf/f", -954, "call smbios_get_board_info fail! iRet=-954\n", {}},
        // The trans erase and the loads from flash do not depend on the board.
        {"c", "trans/f", 0, info("Erase bulk finish [0] successful! Finish operation\n") + "SUCCESS\n", {0}},
        {"l", "sbuf/n", 0, info("Load fpga [1] successful! Finish operation\n") + "SUCCESS\n", {}},
    });
}

// ---- file loads ----------------------------------------------------------------------------------

class LogicFileLoads : public LogicFileCommands {
protected:
    void SetUp() override
    {
        LogicFileCommands::SetUp();
        image_ = flash_image(FlashImageSpec{.dataLen = 1000, .version = 9});
        sim_write_file("/logic.bin", as_text(image_));
    }
    // The flash holds the image from address 0, bit-reversed for type 1.
    void expect_flash(uint32_t flash, bool reversed)
    {
        std::vector<uint8_t> want = image_;
        if (reversed)
            for (uint8_t &b : want)
                b = test_reverse(b);
        EXPECT_EQ(spi_flash_peek(flash, 0, uint32_t(want.size())), want) << "flash " << flash;
    }
    // The handler's lines after the store's own.
    void expect_load(const char *path, int status, const std::string &head, const std::string &tail,
                     std::set<uint64_t> begun)
    {
        sim_clear_journal();
        CmdRun r = run("l", path);
        EXPECT_EQ(r.status, status) << path;
        EXPECT_EQ(r.out.substr(0, head.size()), head) << path;
        ASSERT_GE(r.out.size(), tail.size()) << path << r.out;
        EXPECT_EQ(r.out.substr(r.out.size() - tail.size()), tail) << path << r.out;
        EXPECT_EQ(flashes_of(SPI_FLASH_BEGIN), begun) << path;
        ASSERT_EQ(sim_open_count(), 0) << path;
    }
    std::vector<uint8_t> image_;
};

class LogicFileLoadsKesp : public LogicFileLoads {
protected:
    std::string board() const override { return "ZK17KESP"; }
};

const std::string kUpdated0 = info("Updata flash [0] successful! Finish operation\n") + "SUCCESS\n";
const std::string kUpdated1 = info("Updata flash [1] successful! Finish operation\n") + "SUCCESS\n";

TEST_F(LogicFileLoads, LoadsOnDorn)
{
    expect_load("trans/f//logic.bin", 0, "Trans FPGA Load File\n" + info("Begin to write logic to flash\n"),
                kUpdated0, {0});
    expect_flash(0, false);
    expect_load("sbuf/F//logic.bin", 0, info("Begin to write logic to flash\n"), kUpdated1, {1});
    expect_flash(1, false);
    // The load type of a file load is 1.
    EXPECT_EQ(spi_flash_state(1).loadType, 1u);
}

TEST_F(LogicFileLoads, LoadFailuresAndBadInput)
{
    expect_cases({
        {"l", "trans/f/", -1202,
         "FAILED\nInvalid input, please check [load_trans_logic_file] F:L, iRet = -1\n", {}},
        {"l", "sbuf/f", -1202, "FAILED\nInvalid input, please check [load_sbuf_logic_file] F:L, iRet = -1\n", {}},
    });
    // A path beyond 255 characters is refused, not cut to another file's name.
    const std::string longPath = "trans/f//" + std::string(300, 'a');
    expect_cases({{"l", longPath.c_str(), -1202,
                   "FAILED\nInvalid input, please check [load_trans_logic_file] F:L, iRet = 0\n", {}}});
    expect_load("trans/f//missing.bin", -1221, "Trans FPGA Load File\n",
                err("Open /missing.bin failed\n") +
                    "FAILED\nFunction ruda_fpga_load_file exe error, iRet = -1221 [load_trans_logic_file] F:L\n",
                {0});
    sim_fail_request(SPI_FLASH_NODE, SPI_FLASH_BEGIN, EIO);
    // A refused request leaves no journal entry.
    expect_load("sbuf/f//logic.bin", -1237, err("ioctl error, errno = 5(Input/output error)\n"),
                err("Flash begin set error, ret = -1\n") +
                    "FAILED\nFunction ruda_fpga_load_file exe error, iRet = -1237 [load_sbuf_logic_file] F:L\n",
                {});
}

TEST_F(LogicFileLoads, ProductNameOverDmiName)
{
    // A DORN board whose table names another product: type 1, and the sbuf
    // load goes to flash 0.
    set_product("QX-OTHER");
    expect_load("sbuf/f//logic.bin", 0, info("Begin to write logic to flash\n"), kUpdated0, {0});
    expect_flash(0, true);
}

TEST_F(LogicFileLoadsKesp, LoadsOnKesp)
{
    expect_load("trans/f//logic.bin", 0, "Trans FPGA Load File\n", kUpdated0, {0});
    expect_flash(0, true);
    spi_flash_erase_all(0);
    expect_load("sbuf/f//logic.bin", 0, info("Begin to write logic to flash\n"), kUpdated0, {0});
    expect_flash(0, true);
}

// ---- loads from flash and erases ------------------------------------------------------------------------

TEST_F(LogicFileCommands, LoadsFromFlash)
{
    expect_cases({
        {"l", "trans/n", 0, info("Load fpga [0] successful! Finish operation\n") + "SUCCESS\n", {}},
        {"l", "sbuf/N", 0, info("Load fpga [1] successful! Finish operation\n") + "SUCCESS\n", {}},
    });
    EXPECT_EQ(flashes_of(SPI_FLASH_LOAD_FPGA), std::set<uint64_t>{1});
    EXPECT_EQ(spi_flash_state(0).loads, 1u);
    sim_fail_request(SPI_FLASH_NODE, SPI_FLASH_LOAD_FPGA, EIO);
    expect_cases({
        {"l", "trans/n", -1,
         err("ioctl error, errno = 5(Input/output error)\n") + err("Load fpga [0] file failed, ret = -1\n") +
             "FAILED\nFunction ruda_load_fpga exe error, iRet = -1, [load_trans_logic_now] F:L\n",
         {}},
        {"l", "sbuf/n", -1,
         err("ioctl error, errno = 5(Input/output error)\n") + err("Load fpga [1] file failed, ret = -1\n") +
             "FAILED\nFunction ruda_load_fpga exe error, iRet = -1, [load_sbuf_logic_now] F:L\n",
         {}},
    });
}

const std::string kErased0 = info("Erase bulk finish [0] successful! Finish operation\n") + "SUCCESS\n";
const std::string kErased1 = info("Erase bulk finish [1] successful! Finish operation\n") + "SUCCESS\n";

TEST_F(LogicFileCommands, ErasesOnDorn)
{
    expect_cases({
        {"c", "trans/f", 0, kErased0, {0}},
        {"c", "sbuf/F", 0, kErased1, {1}},
    });
    EXPECT_EQ(spi_flash_peek(1, 0, 4), std::vector<uint8_t>(4, 0xFF));
    // Only a KESP product name moves the sbuf erase to flash 0.
    set_product("QX-OTHER");
    expect_cases({{"c", "sbuf/f", 0, kErased1, {1}}});
    set_product("ZK17KESP");
    expect_cases({{"c", "sbuf/f", 0, kErased0, {0}}});
    sim_fail_request(SPI_FLASH_NODE, SPI_FLASH_BULK_ERASE, EIO);
    expect_cases({
        {"c", "sbuf/f", -1,
         err("ioctl error, errno = 5(Input/output error)\n") + err("erase flash0 fail! ret=-1") +
             "FAILED\nFunction ruda_fpga_erase_file exe error, iRet = -1 [clear_sbuf_logic_file] F:L\n",
         {0}},
        {"c", "trans/f", -1,
         err("ioctl error, errno = 5(Input/output error)\n") + err("erase flash0 fail! ret=-1") +
             "FAILED\nFunction ruda_fpga_erase_file exe error, iRet = -1, [clear_trans_logic_file] F:L\n",
         {0}},
    });
}

TEST_F(LogicFileCommandsKesp, SbufEraseOnKespErasesTheFirstFlash)
{
    expect_cases({{"c", "sbuf/f", 0, kErased0, {0}}});
    EXPECT_EQ(spi_flash_peek(0, 0, 4), std::vector<uint8_t>(4, 0xFF));
    EXPECT_NE(spi_flash_peek(1, 0, 4), std::vector<uint8_t>(4, 0xFF));
}

}  // namespace

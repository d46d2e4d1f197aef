// The logic store's entry points through the simulated flash driver:
// requests, flash contents, messages, virtual time, and that no flash is
// left between begin and end and no descriptor open afterwards.
#include "tool/load/spi_flash.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>

#include "bases/drv/spi_flash_drv.h"
#include "sim/spi_flash_model.h"
#include "support/flash_image.h"
#include "support/sim_fixture.h"
#include "tool/load/fpga_head.h"
#include "tool/load/lpc_window.h"

namespace {

constexpr uint32_t kCap = 0x2000000;
constexpr uint32_t kSector = 0x10000;
constexpr uint64_t kPauseNs = 10'000'000;

class SpiFlashTest : public SimTest {
protected:
    void SetUp() override
    {
        SimTest::SetUp();
        testing::internal::CaptureStdout();
    }
    void TearDown() override
    {
        std::string rest = testing::internal::GetCapturedStdout();
        if (HasFailure())
            std::fprintf(stderr, "%s", rest.c_str());  // failures printed while captured
        for (uint32_t id = 0; id < 2; id++)
            EXPECT_FALSE(spi_flash_state(id).open) << "flash " << id << " left between begin and end";
        SimTest::TearDown();
    }
    std::string output()
    {
        std::string out = testing::internal::GetCapturedStdout();
        testing::internal::CaptureStdout();
        return out;
    }
    // Request numbers the driver saw, in order.
    static std::vector<unsigned long> requests()
    {
        std::vector<unsigned long> out;
        for (const SimJournalEntry &e : sim_journal_of(SimEvent::request))
            out.push_back(e.request);
        return out;
    }
    // Transfers of one operation: {address, length} pairs.
    static std::vector<std::pair<uint64_t, uint64_t>> transfers(uint32_t op)
    {
        std::vector<std::pair<uint64_t, uint64_t>> out;
        for (const SimJournalEntry &e : sim_journal_of(SimEvent::request, {}, SPI_FLASH_TRANSFER))
            if (e.extra.size() == 4 && e.extra[1] == op)
                out.emplace_back(e.extra[2], e.extra[3]);
        return out;
    }
    void put_file(const std::vector<uint8_t> &img) { sim_write_file("/logic.bin", as_text(img)); }
};

TEST_F(SpiFlashTest, FreshBoardVersions)
{
    uint32_t v = 0;
    EXPECT_EQ(ruda_get_spi_flash_ver(0, &v, 0), 0);
    EXPECT_EQ(v, kSimFlashFreshVersion[0]);
    EXPECT_EQ(ruda_get_spi_flash_ver(1, &v, 0), 0);
    EXPECT_EQ(v, kSimFlashFreshVersion[1]);
    EXPECT_EQ(ruda_flash_test(0, 0), 0);
    EXPECT_EQ(ruda_flash_test(1, 0), 0);
    std::string out = output();
    EXPECT_NE(out.find("[quorbix-INFO]Get flash [1] version [514] successful! Finish operation\n"), std::string::npos);
    EXPECT_NE(out.find("[quorbix-INFO]Flash test OK\n"), std::string::npos);
}

TEST_F(SpiFlashTest, VersionReadRequests)
{
    uint32_t v = 0;
    ASSERT_EQ(ruda_get_spi_flash_ver(1, &v, 0), 0);
    const std::vector<unsigned long> want = {SPI_FLASH_BEGIN,    SPI_FLASH_CHIP_INFO, SPI_FLASH_CAPACITY,
                                             SPI_FLASH_TRANSFER, SPI_FLASH_TRANSFER,  SPI_FLASH_END};
    EXPECT_EQ(requests(), want);
    const std::vector<std::pair<uint64_t, uint64_t>> reads = {{FLASH_HEAD_ADDR, 104}, {kCap - 104, 104}};
    EXPECT_EQ(transfers(SPI_FLASH_OP_READ), reads);
    EXPECT_EQ(output().find("[quorbix-ERR]"), std::string::npos);  // an erased first location is no error
}

TEST_F(SpiFlashTest, EntryPointArgumentChecks)
{
    uint32_t v = 5;
    struct Case {
        const char *what;
        int status;
        int want;
    };
    const Case cases[] = {
        {"load fpga flash 2", ruda_load_fpga(2), -1331},
        {"erase flash -1", ruda_fpga_erase_file(-1), -1331},
        {"load null path", ruda_fpga_load_file(0, nullptr, 0, 0), -1201},
        {"load type 3", ruda_fpga_load_file(0, "/x", 0, 3), -1202},
        {"load flash 2", ruda_fpga_load_file(2, "/x", 0, 0), -1331},
        {"load fpga type 2", ruda_fpga_load_file(0, "/x", 2, 0), -1202},
        {"version flash before type", ruda_get_spi_flash_ver(2, nullptr, 2), -1331},
        {"version type before null", ruda_get_spi_flash_ver(0, nullptr, 2), -1202},
        {"version null", ruda_get_spi_flash_ver(0, nullptr, 0), -1201},
        {"test flash before type", ruda_flash_test(3, 5), -1331},
        {"test type", ruda_flash_test(0, 2), -1202},
    };
    for (const Case &c : cases)
        EXPECT_EQ(c.status, c.want) << c.what;
    EXPECT_EQ(v, 5u);
    EXPECT_TRUE(requests().empty());
}

// Images of k sectors and one byte more: plan line, contents, head copy,
// and the pacing of both CRC runs.
TEST_F(SpiFlashTest, LoadFileWritesSectorsAndHeadCopy)
{
    struct Case {
        uint32_t length;
        const char *plan;
        size_t sectors;
    };
    const Case cases[] = {
        {2 * kSector, "write_flash_times is 2 size_last_write is 0\n", 2},
        {2 * kSector + 1, "write_flash_times is 3 size_last_write is 1\n", 3},
    };
    for (const Case &c : cases) {
        sim_clear_journal();
        auto img = flash_image({.dataLen = c.length - 104, .version = c.length});
        put_file(img);
        const uint64_t before = sim_clock_ns();
        ASSERT_EQ(ruda_fpga_load_file(0, "/logic.bin", 0, 1), 0) << c.length;
        // The head's CRC, then the data's before writing and after reading back.
        const uint64_t crcPauses = (c.length - 104 - 1) / kSector + 1;
        EXPECT_EQ(sim_clock_ns() - before, (1 + 2 * crcPauses) * kPauseNs) << c.length;
        std::string out = output();
        EXPECT_NE(out.find(c.plan), std::string::npos) << out;
        EXPECT_NE(out.find("[quorbix-INFO]Updata flash [0] successful! Finish operation\n"), std::string::npos);
        EXPECT_EQ(spi_flash_peek(0, 0, c.length), img);
        EXPECT_EQ(spi_flash_peek(0, kCap - 104, 104), std::vector<uint8_t>(img.end() - 104, img.end()));
        EXPECT_EQ(transfers(SPI_FLASH_OP_ERASE).size(), c.sectors + 1);
        EXPECT_EQ(transfers(SPI_FLASH_OP_ERASE).back().first, kCap - 0x10000);
        EXPECT_EQ(spi_flash_state(0).loadType, 1u);
        uint32_t v = 0;
        const uint64_t asked = sim_clock_ns();
        EXPECT_EQ(ruda_get_spi_flash_ver(0, &v, 0), 0);
        EXPECT_EQ(sim_clock_ns() - asked, kPauseNs);   // the head's CRC
        EXPECT_EQ(v, c.length);
        EXPECT_EQ(ruda_flash_test(0, 0), 0);
    }
}

TEST_F(SpiFlashTest, FlashTestReadsChunksWithPauses)
{
    auto img = flash_image({.dataLen = 1000});
    put_file(img);
    ASSERT_EQ(ruda_fpga_load_file(1, "/logic.bin", 0, 0), 0);
    sim_clear_journal();
    const uint64_t before = sim_clock_ns();
    ASSERT_EQ(ruda_flash_test(1, 0), 0);
    // The stored head's CRC; 1104 bytes: four chunks of 256 with a pause
    // each, then 80 bytes; the image check's head CRC and one data CRC pause.
    EXPECT_EQ(sim_clock_ns() - before, (1 + 4 + 1 + 1) * kPauseNs);
    auto reads = transfers(SPI_FLASH_OP_READ);
    ASSERT_EQ(reads.size(), 2u + 5u);
    EXPECT_EQ(reads.back(), std::make_pair(uint64_t{1024}, uint64_t{80}));
}

TEST_F(SpiFlashTest, TypeOneImagesAreReversedInFlash)
{
    auto img = flash_image({.dataLen = 3000, .version = 42});
    put_file(img);
    ASSERT_EQ(ruda_fpga_load_file(0, "/logic.bin", 1, 0), 0);
    auto stored = spi_flash_peek(0, 0, static_cast<uint32_t>(img.size()));
    EXPECT_EQ(stored, flash_image({.dataLen = 3000, .version = 42, .reversed = true}));
    EXPECT_EQ(stored[3000], 0x55);  // 0x55AA55AA reversed byte by byte
    EXPECT_EQ(stored[3001], 0xAA);
    uint32_t v = 0;
    EXPECT_EQ(ruda_get_spi_flash_ver(0, &v, 1), 0);
    EXPECT_EQ(v, 42u);
    EXPECT_EQ(ruda_flash_test(0, 1), 0);
    output();
    EXPECT_EQ(ruda_flash_test(0, 0), -1312);
    EXPECT_EQ(ruda_get_spi_flash_ver(0, &v, 0), -1312);
    EXPECT_NE(output().find("[quorbix-ERR]Flash file head error\n"), std::string::npos);
}

TEST_F(SpiFlashTest, RecognisedChipSetsLargeSectorsForBothFlashes)
{
    spi_flash_set_chip(0, {0x01, 0x02, 0x20, 0x4D, 0x00, 0x80});
    uint32_t v = 0;
    ASSERT_EQ(ruda_get_spi_flash_ver(0, &v, 0), 0);
    EXPECT_EQ(g_spiGeometry.guiSpiSectorSize, 0x40000u);
    EXPECT_EQ(g_spiGeometry.guiSpiWriteBufSize, 0x200u);
    sim_clear_journal();
    auto img = flash_image({.dataLen = 0x40000});
    put_file(img);
    ASSERT_EQ(ruda_fpga_load_file(1, "/logic.bin", 0, 0), 0);
    const std::vector<std::pair<uint64_t, uint64_t>> writes = {
        {0, 0x40000}, {0x40000, 104}, {kCap - 104, 104}};
    EXPECT_EQ(transfers(SPI_FLASH_OP_WRITE), writes);
}

TEST_F(SpiFlashTest, CapacityNotAnsweredMeans32MiB)
{
    spi_flash_notty(0, true, true);
    uint32_t cap = 0;
    EXPECT_EQ(flash_get_cap(0, &cap), 0);
    EXPECT_EQ(cap, kCap);
    fhead h{};
    auto img = flash_image({.dataLen = 100, .size = 30u << 20});
    std::memcpy(&h, img.data() + 100, sizeof h);
    EXPECT_EQ(flash_file_head_verify(&h, cap, 0x10000), 0);
    uint32_t v = 0;
    EXPECT_EQ(ruda_get_spi_flash_ver(0, &v, 0), 0);  // chip information not answered: defaults
    EXPECT_EQ(g_spiGeometry.guiSpiSectorSize, kSector);
}

TEST_F(SpiFlashTest, ImageFileSizeLimits)
{
    struct Case {
        uint32_t capacity;
        uint32_t fileLength;
        const char *line;
    };
    const Case cases[] = {
        {0x300000, 0x100001, "fl_size is 1048577, file size is too long!\n"},
        {0x200000, 200, "fl_size is 200, file size is too long!\n"},
        {0x100000, 200, "fl_size is 200, file size is too long!\n"},
        {kCap, 103, "fl_size is 103, file size is too short!\n"},
    };
    for (const Case &c : cases) {
        spi_flash_set_capacity(0, c.capacity);
        sim_write_file("/logic.bin", std::string(c.fileLength, 'x'));
        EXPECT_EQ(ruda_fpga_load_file(0, "/logic.bin", 0, 0), -1338) << c.fileLength;
        EXPECT_NE(output().find(c.line), std::string::npos) << c.line;
        EXPECT_TRUE(transfers(SPI_FLASH_OP_ERASE).empty());
    }
    EXPECT_EQ(ruda_fpga_load_file(0, "/missing.bin", 0, 0), -1221);
}

// Every request of a load failing: its status, and end still sent when
// begin succeeded.
TEST_F(SpiFlashTest, LoadFailurePaths)
{
    struct Case {
        const char *what;
        unsigned long request;
        int op;  // transfer operation, -1 for the request itself
        unsigned nth;
        int status;
        bool endSent;
    };
    const Case cases[] = {
        {"begin", SPI_FLASH_BEGIN, -1, 0, -1237, false},
        {"chip information", SPI_FLASH_CHIP_INFO, -1, 0, -1237, true},
        {"capacity", SPI_FLASH_CAPACITY, -1, 0, -1, true},
        {"load type (goes on)", SPI_FLASH_LOAD_TYPE, -1, 0, 0, true},
        {"first erase", SPI_FLASH_TRANSFER, 2, 1, -1303, true},
        {"partial-sector erase", SPI_FLASH_TRANSFER, 2, 2, -1303, true},
        {"head-copy erase", SPI_FLASH_TRANSFER, 2, 3, -1303, true},
        {"whole-sector write", SPI_FLASH_TRANSFER, 1, 1, -1, true},
        {"partial-sector write", SPI_FLASH_TRANSFER, 1, 2, -1301, true},
        {"head-copy write", SPI_FLASH_TRANSFER, 1, 3, -1, true},
        {"read-back", SPI_FLASH_TRANSFER, 0, 2, -1, true},
        {"end", SPI_FLASH_END, -1, 0, -1220, true},
    };
    auto img = flash_image({.dataLen = kSector});  // one sector and 104 bytes
    put_file(img);
    for (const Case &c : cases) {
        sim_clear_faults();
        sim_clear_journal();
        if (c.op < 0)
            sim_fail_request(SPI_FLASH_NODE, c.request, EIO);
        else
            sim_add_fault(SimFault{.node = SPI_FLASH_NODE, .request = c.request, .err = EIO, .nth = c.nth,
                                   .match = [op = static_cast<uint32_t>(c.op)](const void *arg) {
                                       return static_cast<const SpiFlashReq *>(arg)->operation == op;
                                   }});
        EXPECT_EQ(ruda_fpga_load_file(0, "/logic.bin", 0, 0), c.status) << c.what;
        auto r = requests();
        EXPECT_EQ(!r.empty() && r.back() == SPI_FLASH_END, c.endSent) << c.what;
        EXPECT_EQ(spi_flash_state(0).open, c.request == SPI_FLASH_END) << c.what;
        EXPECT_NE(output().find("ioctl error, "), std::string::npos) << c.what;
    }
    sim_clear_faults();
    EXPECT_EQ(flash_end(0), 0);
}

TEST_F(SpiFlashTest, OtherEntryPointFailures)
{
    uint32_t v = 9;
    sim_fail_request(SPI_FLASH_NODE, SPI_FLASH_BULK_ERASE, EIO);
    EXPECT_EQ(ruda_fpga_erase_file(1), -1);
    EXPECT_EQ(requests().back(), SPI_FLASH_END);
    sim_clear_faults();
    sim_fail_request(SPI_FLASH_NODE, SPI_FLASH_TRANSFER, EIO);
    EXPECT_EQ(ruda_get_spi_flash_ver(1, &v, 0), -1);
    EXPECT_EQ(v, 9u);
    EXPECT_EQ(ruda_flash_test(1, 0), -1);
    EXPECT_NE(output().find("Read flash addr = 0x135591c size = 0x68 error\n"), std::string::npos);
    sim_clear_faults();
    sim_fail_request(SPI_FLASH_NODE, SPI_FLASH_LOAD_FPGA, EIO);
    EXPECT_EQ(ruda_load_fpga(0), -1);
    sim_clear_faults();
    EXPECT_EQ(ruda_load_fpga(0), 0);
    EXPECT_EQ(spi_flash_state(0).loads, 1u);
    EXPECT_EQ(ruda_fpga_erase_file(1), 0);
    EXPECT_EQ(ruda_flash_test(1, 0), -1312);
    sim_fail_open(SPI_FLASH_NODE, ENOENT);
    EXPECT_EQ(ruda_fpga_erase_file(0), -1237);
    EXPECT_NE(output().find("open flash device file fail!\n"), std::string::npos);
}

TEST_F(SpiFlashTest, UnprogrammedBitsCaughtAtReadBack)
{
    auto img = flash_image({.dataLen = 500});
    uint32_t at = 0;
    while (img[at] & 1u)
        at++;
    spi_flash_stuck_bits(0, at, 0x01);  // that byte's bit 0 stays 1
    put_file(img);
    EXPECT_EQ(ruda_fpga_load_file(0, "/logic.bin", 0, 0), -1313);
    EXPECT_NE(output().find("crc_new: 0x"), std::string::npos);
}

// Heads in flash that pass verification but describe reads outside the image.
TEST_F(SpiFlashTest, CorruptHeadsInFlash)
{
    struct Case {
        const char *what;
        FlashImageSpec spec;
        int status;
    };
    const Case cases[] = {
        {"offset below the head size", {.dataLen = 500, .offset = 50}, -1338},
        {"offset wraps 32 bits", {.dataLen = 500, .offset = 0xFFFFFFF0u}, -1205},
        {"size beyond the flash", {.dataLen = 500, .size = kCap}, -1312},
        {"file CRC wrong", {.dataLen = 500, .fileCrc = 3}, -1313},
    };
    for (const Case &c : cases) {
        spi_flash_erase_all(0);
        auto img = flash_image(c.spec);
        spi_flash_poke(0, 0, img);
        spi_flash_poke(0, kCap - 104, std::vector<uint8_t>(img.end() - 104, img.end()));
        EXPECT_EQ(ruda_flash_test(0, 0), c.status) << c.what;
    }
}

TEST_F(SpiFlashTest, HeadAtFixedAddressOnlyInsideTheFlash)
{
    auto img = flash_image({.dataLen = 200, .version = 3});
    spi_flash_poke(0, FLASH_HEAD_ADDR, std::vector<uint8_t>(img.end() - 104, img.end()));
    uint32_t v = 0;
    ASSERT_EQ(ruda_get_spi_flash_ver(0, &v, 0), 0);
    EXPECT_EQ(v, 3u);
    spi_flash_set_capacity(0, 0x1000000);  // 16 MiB: the fixed address is outside
    sim_clear_journal();
    EXPECT_EQ(ruda_get_spi_flash_ver(0, &v, 0), -1312);
    EXPECT_EQ(transfers(SPI_FLASH_OP_READ).size(), 1u);
}

TEST_F(SpiFlashTest, FlagRequests)
{
    uint32_t flag = 7;
    spi_flash_set_flags(1, 0, 1);
    EXPECT_EQ(ruda_get_fpga_flag(2, &flag), 0);
    EXPECT_EQ(flag, 0u);
    EXPECT_EQ(ruda_get_app_fpga_flag(1, &flag), 0);
    EXPECT_EQ(flag, 1u);
    EXPECT_EQ(ruda_clear_app_done_flag(1), 0);
    EXPECT_EQ(spi_flash_state(1).app, 0u);
    EXPECT_EQ(ruda_get_fpga_flag(3, &flag), -1331);
    EXPECT_EQ(ruda_get_app_fpga_flag(2, &flag), -1331);
    EXPECT_EQ(flash_get_fpga_flag(0, nullptr), -1201);
    EXPECT_EQ(flash_load_type(2, 0), -1202);
    EXPECT_EQ(flash_load_type(0, 3), -1202);
    sim_fail_request(SPI_FLASH_NODE, SPI_FLASH_LOAD_TYPE, EIO);
    EXPECT_EQ(flash_load_type(0, 1), -1);
    EXPECT_NE(output().find("ioctl error, iret=-1\n"), std::string::npos);
}

TEST_F(SpiFlashTest, FlashFileName)
{
    char name[32] = {};
    ASSERT_EQ(ruda_get_flash_filename(1, name, 0), 0);
    EXPECT_STREQ(name, "quorbix-sim logic");
}

TEST_F(SpiFlashTest, LpcWindow)
{
    EXPECT_EQ(lpc_addr_write(0x1ABCD, 0x1FE), 0);
    EXPECT_EQ(spi_flash_lpc(0xABCD), 0xFE);
    EXPECT_EQ(sim_journal().back().extra[0], 0xABCDu);
    uint8_t v = 0;
    EXPECT_EQ(lpc_addr_read(0x2ABCD, &v), 0);
    EXPECT_EQ(v, 0xFE);
    sim_fail_request(SPI_FLASH_NODE, SPI_FLASH_LPC_READ, EIO);
    v = 0x11;
    EXPECT_EQ(lpc_addr_read(0xABCD, &v), -1);
    EXPECT_EQ(v, 0x11);
    sim_clear_faults();
    sim_fail_open(SPI_FLASH_NODE, ENOENT);
    EXPECT_EQ(lpc_addr_write(1, 1), -1221);
}

class SpiFlashKespTest : public SpiFlashTest {
    std::string board() const override { return "ZK17KESP"; }
};

TEST_F(SpiFlashKespTest, FreshFlashZeroHoldsTypeOne)
{
    uint32_t v = 0;
    EXPECT_EQ(ruda_get_spi_flash_ver(0, &v, 1), 0);
    EXPECT_EQ(v, kSimFlashFreshVersion[0]);
    EXPECT_EQ(ruda_get_spi_flash_ver(0, &v, 0), -1312);
    EXPECT_EQ(ruda_flash_test(1, 0), 0);
}

}  // namespace

// The simulated SPI-flash driver: record checks, write and erase rules,
// faults, saved state and fixture lines.
#include "sim/spi_flash_model.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <fcntl.h>

#include "bases/drv/spi_flash_drv.h"
#include "sim/fixture_file.h"
#include "support/saved_board.h"
#include "support/sim_fixture.h"

namespace {

uint64_t ptr(const void *p) { return reinterpret_cast<uintptr_t>(p); }

class SpiFlashModelTest : public SimTest {
protected:
    // One request on a fresh open; the ioctl result, or -errno.
    static int req(unsigned long request, SpiFlashReq rec)
    {
        int fd = host_open(SPI_FLASH_NODE, O_RDWR);
        EXPECT_GE(fd, 0);
        int ret = host_ioctl(fd, request, &rec);
        int err = errno;
        host().close(fd);
        return ret < 0 ? -err : ret;
    }
    static int transfer(uint32_t flash, uint32_t op, uint32_t at, uint32_t len, void *buf)
    {
        SpiFlashParam p{at, len, ptr(buf)};
        return req(SPI_FLASH_TRANSFER, {flash, op, ptr(&p), 0});
    }
};

TEST_F(SpiFlashModelTest, RecordChecks)
{
    uint8_t buf[16] = {};
    uint32_t word = 0;
    SpiFlashParam noBuf{0, 16, 0};
    SpiFlashParam big{0, 3, ptr(&word)};
    struct Case {
        const char *what;
        unsigned long request;
        SpiFlashReq rec;
        int want;
    };
    const Case cases[] = {
        {"begin flash 2", SPI_FLASH_BEGIN, {2, 0, 0, 0}, -EINVAL},
        {"transfer outside begin", SPI_FLASH_TRANSFER, {0, 0, ptr(&big), 0}, -EPERM},
        {"bulk erase outside begin", SPI_FLASH_BULK_ERASE, {0, 0, 0, 0}, -EPERM},
        {"transfer without block", SPI_FLASH_TRANSFER, {0, 0, 0, 0}, -EFAULT},
        {"operation 3", SPI_FLASH_TRANSFER, {0, 3, ptr(&big), 0}, -EINVAL},
        {"done flag without block", SPI_FLASH_DONE_FLAG, {0, 0, 0, 0}, -EFAULT},
        {"done flag without result", SPI_FLASH_DONE_FLAG, {0, 0, ptr(&noBuf), 0}, -EFAULT},
        {"capacity without result", SPI_FLASH_CAPACITY, {0, 0, 0, 0}, -EFAULT},
        {"chip info without buffer", SPI_FLASH_CHIP_INFO, {0, 0, ptr(&noBuf), 0}, -EFAULT},
        {"load type without block", SPI_FLASH_LOAD_TYPE, {1, 0, 0, 0}, -EFAULT},
        {"LPC address", SPI_FLASH_LPC_WRITE, {0x10000, 1, 0, 0}, -EINVAL},
        {"LPC data", SPI_FLASH_LPC_WRITE, {0x10, 0x100, 0, 0}, -EINVAL},
    };
    for (const Case &c : cases)
        EXPECT_EQ(req(c.request, c.rec), c.want) << c.what;
    SpiFlashParam type3{3, 0, 0};
    EXPECT_EQ(req(SPI_FLASH_LOAD_TYPE, {0, 0, ptr(&type3), 0}), -EINVAL);
    ASSERT_EQ(req(SPI_FLASH_BEGIN, {0, 0, 0, 0}), 0);
    EXPECT_EQ(transfer(0, SPI_FLASH_OP_READ, 0, 0, buf), -EINVAL);
    EXPECT_EQ(transfer(0, SPI_FLASH_OP_READ, 0x2000000 - 8, 16, buf), -EINVAL);
    EXPECT_EQ(transfer(0, SPI_FLASH_OP_WRITE, 0, 16, nullptr), -EFAULT);
    EXPECT_EQ(transfer(0, SPI_FLASH_OP_READ, 0x2000000 - 16, 16, buf), 0);
    EXPECT_EQ(req(SPI_FLASH_END, {0, 0, 0, 0}), 0);
    EXPECT_EQ(sim_journal().back().extra.size(), 4u);
}

TEST_F(SpiFlashModelTest, WriteClearsBitsEraseSetsUnit)
{
    ASSERT_EQ(req(SPI_FLASH_BEGIN, {1, 0, 0, 0}), 0);
    spi_flash_erase_all(1);
    uint8_t a[2] = {0xF0, 0x3C}, b[2] = {0x0F, 0xFF}, got[2] = {};
    ASSERT_EQ(transfer(1, SPI_FLASH_OP_WRITE, 0x10FFFF, 2, a), 0);
    ASSERT_EQ(transfer(1, SPI_FLASH_OP_WRITE, 0x10FFFF, 2, b), 0);
    ASSERT_EQ(transfer(1, SPI_FLASH_OP_READ, 0x10FFFF, 2, got), 0);
    EXPECT_EQ(got[0], 0x00);
    EXPECT_EQ(got[1], 0x3C);
    ASSERT_EQ(transfer(1, SPI_FLASH_OP_ERASE, 0x100010, 0, nullptr), 0);  // 64 KiB unit
    EXPECT_EQ(spi_flash_peek(1, 0x10FFFF, 2), (std::vector<uint8_t>{0xFF, 0x3C}));
    spi_flash_set_chip(1, {1, 2, 0x20, 0x4D, 0, 0x80});
    ASSERT_EQ(transfer(1, SPI_FLASH_OP_ERASE, 0x13FFFF, 0, nullptr), 0);  // 256 KiB unit
    EXPECT_EQ(spi_flash_peek(1, 0x110000, 1), (std::vector<uint8_t>{0xFF}));
    spi_flash_fail_transfer(1, SPI_FLASH_OP_READ, 0x40, EIO, 2);
    EXPECT_EQ(transfer(1, SPI_FLASH_OP_READ, 0x40, 2, got), 0);
    EXPECT_EQ(transfer(1, SPI_FLASH_OP_READ, 0x40, 2, got), -EIO);
    EXPECT_EQ(transfer(1, SPI_FLASH_OP_READ, 0x40, 2, got), 0);
    ASSERT_EQ(req(SPI_FLASH_END, {1, 0, 0, 0}), 0);
}

TEST_F(SpiFlashModelTest, StateSurvivesTheSavedBoard)
{
    spi_flash_poke(1, 0x123456, {1, 2, 3});
    spi_flash_set_capacity(0, 0x1000000);
    spi_flash_set_lpc(0x20, 0x77);
    ASSERT_EQ(req(SPI_FLASH_BEGIN, {0, 0, 0, 0}), 0);
    ASSERT_EQ(sim_board_close(), 0);
    ASSERT_EQ(sim_board_open(root_, ""), 0);
    EXPECT_EQ(spi_flash_peek(1, 0x123456, 4), (std::vector<uint8_t>{1, 2, 3, 0xFF}));
    EXPECT_EQ(spi_flash_state(0).capacity, 0x1000000u);
    EXPECT_TRUE(spi_flash_state(0).open);
    EXPECT_EQ(spi_flash_lpc(0x20), 0x77);
    SimDoc saved;
    spi_flash_model_save(saved);
    size_t bytes = 0;
    for (const SimDocSection &section : saved.sections)
        for (const SimDocEntry &e : section.entries)
            bytes += e.key.size() + e.value.size();
    EXPECT_LT(bytes, 64u * 1024);  // erased pages are not stored
    EXPECT_EQ(req(SPI_FLASH_END, {0, 0, 0, 0}), 0);
}

TEST_F(SpiFlashModelTest, FixtureLines)
{
    std::string err;
    const char *facts = "flash-cap 0 0x400000\n"
                        "flash-chip 1 1 2 0x20 0x4d 0 0x80 0 0\n"
                        "flash-cap 1 enotty\n"
                        "flash-flags 0 0 1\n"
                        "flash-bytes 0 0x10 \"\\x01ab\"\n"
                        "flash-lpc 0x30 0x5\n";
    ASSERT_TRUE(sim_fixture_apply(facts, "(test)", err)) << err;
    EXPECT_EQ(spi_flash_state(0).capacity, 0x400000u);
    EXPECT_EQ(spi_flash_state(1).chipId[3], 0x4D);
    EXPECT_TRUE(spi_flash_state(1).capNotty);
    EXPECT_EQ(spi_flash_state(0).done, 0u);
    EXPECT_EQ(spi_flash_peek(0, 0x10, 3), (std::vector<uint8_t>{1, 'a', 'b'}));
    EXPECT_EQ(spi_flash_lpc(0x30), 5);
    for (const char *bad : {"flash-cap 2 0x10\n", "flash-fault 0 x - EIO\n", "flash-nothing 0\n"})
        EXPECT_FALSE(sim_fixture_apply(bad, "(test)", err)) << bad;
}

// The saved flashes hold what the driver does: 32-bit words, flags of 0 or
// 1, an 8-byte chip id, whole pages below the capacity and stuck bits of a
// byte. One past each bound is refused at its line; the bound loads.
TEST(SpiFlashSavedBoard, ValuesPastTheirBoundsAreRefusedAtTheirLine)
{
    const SavedBoard b("ZK17DORN");
    const std::string flash = "spi_flash";
    const struct {
        SavedEntry entry;
        std::string message;  // empty: loads
    } cases[] = {
        {{flash, "flash 0 loads", "0xffffffff"}, ""},
        {{flash, "flash 0 loads", "0x100000000"}, "'flash 0 loads' is 0x100000000, above its largest value 0xffffffff"},
        {{flash, "flash 1 capacity", "0x100000000"},
         "'flash 1 capacity' is 0x100000000, above its largest value 0xffffffff"},
        {{flash, "flash 0 open", "0x1"}, ""},
        {{flash, "flash 0 open", "0x2"}, "'flash 0 open' is 0x2, above its largest value 0x1"},
        {{flash, "flash 0 chip", saved_bytes(8)}, ""},
        {{flash, "flash 0 chip", saved_bytes(7)}, "'flash 0 chip' holds 7 bytes, 8 expected"},
        {{flash, "flash 0 chip", saved_bytes(9)}, "'flash 0 chip' holds 9 bytes, 8 expected"},
        {{flash, "flash 0 page 0x1fffe00", saved_bytes(512)}, ""},
        {{flash, "flash 0 page 0x1fffe00", saved_bytes(511)}, "'flash 0 page 0x1fffe00' holds 511 bytes, 512 expected"},
        {{flash, "flash 0 page 0x1fffe00", saved_bytes(513)}, "'flash 0 page 0x1fffe00' holds 513 bytes, 512 expected"},
        {{flash, "flash 0 page 0x2000000", saved_bytes(512)},
         "flash page 'flash 0 page 0x2000000' is not a page below the capacity 0x2000000"},
        {{flash, "flash 0 page 0x100", saved_bytes(512)},
         "flash page 'flash 0 page 0x100' is not a page below the capacity 0x2000000"},
        {{flash, "flash 0 page 0x100000000", saved_bytes(512)}, "bad flash address in 'flash 0 page 0x100000000'"},
        {{flash, "flash 1 stuck 0xffffffff", "0xff"}, ""},
        {{flash, "flash 1 stuck 0x10", "0x100"}, "'flash 1 stuck 0x10' is 0x100, above its largest value 0xff"},
        {{flash, "flash 1 stuck 0x100000000", "0x1"}, "bad flash address in 'flash 1 stuck 0x100000000'"},
    };
    for (const auto &c : cases)
        b.expect(c.entry, c.message);
}

}  // namespace

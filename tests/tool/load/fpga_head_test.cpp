// Image head rules, the image check and the CRC's pacing in virtual time.
#include "tool/load/fpga_head.h"

#include <gtest/gtest.h>

#include <cstdio>

#include "support/sim_fixture.h"
#include "support/flash_image.h"
#include "tool/load/spi_flash.h"

namespace {

constexpr uint32_t kCap = 0x2000000;
constexpr uint64_t kPauseNs = 10'000'000;

class FpgaHeadTest : public SimTest {
protected:
    void SetUp() override
    {
        SimTest::SetUp();
        testing::internal::CaptureStdout();
    }
    void TearDown() override
    {
        out_ = testing::internal::GetCapturedStdout();
        if (HasFailure())
            std::fprintf(stderr, "%s", out_.c_str());
        SimTest::TearDown();
    }
    std::string out_;
};

fhead head_of(const std::vector<uint8_t> &img, uint32_t dataLen)
{
    fhead h{};
    std::memcpy(&h, img.data() + dataLen, sizeof h);
    return h;
}

TEST_F(FpgaHeadTest, HeadRules)
{
    // The head CRC is the paced routine's: one pause over its 100 bytes.
    struct Case {
        const char *what;
        FlashImageSpec spec;
        int status;
        uint64_t pauses;
    };
    const Case cases[] = {
        {"valid", {}, 0, 1},
        {"wrong flag", {.flag = 0x12345678}, -1317, 0},
        {"wrong type", {.type = 0x91}, -1315, 0},
        {"size at the limit", {.size = kCap - 0x200000}, 0, 1},
        {"size one above", {.size = kCap - 0x200000 + 1}, -1205, 0},
        {"no head CRC, any value", {.headCrcFlag = 0, .headCrc = 0xDEAD}, 0, 0},
        {"bad head CRC", {.headCrc = 0x1234}, -1313, 1},
    };
    for (const Case &c : cases) {
        auto img = flash_image(c.spec);
        fhead h = head_of(img, c.spec.dataLen);
        const uint64_t before = sim_clock_ns();
        EXPECT_EQ(flash_file_head_verify(&h, kCap, 0x10000), c.status) << c.what;
        EXPECT_EQ(sim_clock_ns() - before, c.pauses * kPauseNs) << c.what;
    }
    EXPECT_EQ(flash_file_head_verify(nullptr, kCap, 0x10000), -1201);
    // A flash of 2 MiB or less takes no image: the limit does not wrap.
    fhead h = head_of(flash_image({}), 1000);
    EXPECT_EQ(flash_file_head_verify(&h, 0x200000, 0x10000), -1205);
    EXPECT_EQ(flash_file_head_verify(&h, 0x1000, 0x10000), -1205);
}

TEST_F(FpgaHeadTest, ImageCheck)
{
    // Pauses: one for the head CRC, one for the 1000 data bytes.
    struct Case {
        const char *what;
        FlashImageSpec spec;
        int status;
        uint64_t pauses;
    };
    const Case cases[] = {
        {"valid", {}, 0, 2},
        {"offset equal to the data length", {.offset = 1000}, -1338, 1},
        {"offset one less", {.offset = 999, .headCrcFlag = 0}, 0, 1},
        {"file CRC differs", {.fileCrc = 1}, -1313, 2},
        {"head fails", {.type = 0}, -1315, 0},
    };
    for (const Case &c : cases) {
        auto img = flash_image(c.spec);
        const uint64_t before = sim_clock_ns();
        EXPECT_EQ(fpga_file_check(img.data(), c.spec.dataLen, kCap, 0x10000), c.status) << c.what;
        EXPECT_EQ(sim_clock_ns() - before, c.pauses * kPauseNs) << c.what;
    }
    EXPECT_EQ(fpga_file_check(nullptr, 0, kCap, 0x10000), -1201);
}

TEST_F(FpgaHeadTest, RugaHead)
{
    std::vector<uint8_t> h(172, 0);
    auto put = [&](size_t at, uint32_t v) { std::memcpy(h.data() + at, &v, 4); };
    put(0, 0x55AA55AA);
    put(120, 0x90);
    put(164, 0x55AA55AA);
    put(168, test_crc16(h.data(), 168));
    const uint64_t before = sim_clock_ns();
    EXPECT_EQ(ruga_file_head_verify(h.data(), 0x10000), 0);
    EXPECT_EQ(sim_clock_ns() - before, kPauseNs);
    put(168, 0);
    EXPECT_EQ(ruga_file_head_verify(h.data(), 0x10000), -1313);
    put(120, 0x1);
    EXPECT_EQ(ruga_file_head_verify(h.data(), 0x10000), -1315);
    EXPECT_EQ(ruga_file_head_verify(nullptr, 0x10000), -1201);
}

TEST_F(FpgaHeadTest, CrcArgumentsAndKnownAnswer)
{
    uint32_t out = 77;
    const uint8_t abc[] = {'a', 'b', 'c'};
    EXPECT_EQ(flash_calculate_crc(abc, 0, 0x10000, &out), -1201);
    EXPECT_EQ(flash_calculate_crc(nullptr, 3, 0x10000, &out), -1201);
    EXPECT_EQ(flash_calculate_crc(abc, 3, 0x10000, nullptr), -1201);
    EXPECT_EQ(out, 77u);
    EXPECT_EQ(flash_calculate_crc(abc, 3, 0x10000, &out), 0);
    EXPECT_EQ(out, 0x9DD6u);
}

TEST_F(FpgaHeadTest, CrcPausesOncePerSectorStretch)
{
    const uint32_t s = 0x10000;
    std::vector<uint8_t> data(3 * s + 1, 0x5A);
    const uint16_t whole = test_crc16(data.data(), data.size());
    for (uint32_t n : {1u, s, s + 1, 3 * s, 3 * s + 1}) {
        uint64_t before = sim_clock_ns();
        uint32_t crc = 0;
        ASSERT_EQ(flash_calculate_crc(data.data(), n, s, &crc), 0);
        EXPECT_EQ(crc, test_crc16(data.data(), n)) << n;
        EXPECT_EQ(sim_clock_ns() - before, ((n - 1) / s + 1) * 10'000'000ull) << n;
    }
    uint32_t crc = 0;
    uint64_t before = sim_clock_ns();
    ASSERT_EQ(flash_calculate_crc(data.data(), static_cast<uint32_t>(data.size()), 0x40000, &crc), 0);
    EXPECT_EQ(crc, whole);
    EXPECT_EQ(sim_clock_ns() - before, 10'000'000ull);
}

TEST_F(FpgaHeadTest, BitOrder)
{
    EXPECT_EQ(bit_change_order(0x01), 0x80);
    EXPECT_EQ(bit_change_order(0x55), 0xAA);
    auto img = flash_image({});
    auto twice = img;
    data_change_order(twice.data(), twice.size());
    EXPECT_NE(twice, img);
    data_change_order(twice.data(), twice.size());
    EXPECT_EQ(twice, img);
    EXPECT_EQ(data_change_order(nullptr, 4), nullptr);
}

}  // namespace

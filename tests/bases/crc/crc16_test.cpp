// CRC-16 core: known answers, running value over pieces, and an outside
// oracle (python3's binascii.crc_hqx with initial value 0) over buffers
// larger than one 64 KiB stretch.
#include "bases/crc/crc16.h"
#include "support/oracle.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include <unistd.h>

namespace {

uint16_t crc_of(std::string_view text) {
    return crc16_update(0, reinterpret_cast<const uint8_t *>(text.data()), text.size());
}

// Bit by bit, as the format describes it; independent of the tables.
uint16_t crc_bitwise(const std::vector<uint8_t> &data) {
    uint16_t crc = 0;
    for (uint8_t b : data) {
        crc = static_cast<uint16_t>(crc ^ (b << 8));
        for (int i = 0; i < 8; ++i)
            crc = static_cast<uint16_t>((crc & 0x8000u) ? (crc << 1) ^ 0x1021 : crc << 1);
    }
    return crc;
}

std::vector<uint8_t> noise(size_t len, uint32_t seed) {
    std::vector<uint8_t> v(len);
    for (auto &b : v) {
        seed = seed * 1664525u + 1013904223u;
        b = static_cast<uint8_t>(seed >> 24);
    }
    return v;
}

// Runs python3 over the bytes; -1 when it cannot be run.
long crc_from_python(const std::vector<uint8_t> &data) {
    char path[] = "/tmp/quorbix_crc_XXXXXX";
    const int fd = mkstemp(path);
    if (fd < 0) return -1;
    const bool written =
        write(fd, data.data(), data.size()) == static_cast<ssize_t>(data.size());
    close(fd);
    long result = -1;
    if (written) {
        const std::string cmd = std::string("python3 -c \"import binascii,sys;"
                                            "print(binascii.crc_hqx(open(sys.argv[1],'rb').read(),0))\" ") +
                                path;
        if (FILE *p = popen(cmd.c_str(), "r")) {
            if (fscanf(p, "%ld", &result) != 1) result = -1;
            if (pclose(p) != 0) result = -1;
        }
    }
    unlink(path);
    return result;
}

TEST(Crc16, KnownAnswers) {
    struct Case { std::string_view text; uint16_t crc; };
    constexpr Case kCases[] = {
        {"123456789", 0x31C3}, {"abc", 0x9DD6}, {"", 0x0000}, {"A", 0x58E5},
    };
    for (const auto &c : kCases) EXPECT_EQ(crc_of(c.text), c.crc) << c.text;
}

TEST(Crc16, EmptyRangeKeepsRunningValue) {
    EXPECT_EQ(crc16_update(0xBEEF, nullptr, 0), 0xBEEF);
}

TEST(Crc16, MatchesBitwiseAtEveryShortLength) {
    const auto data = noise(70, 7);
    for (size_t n = 0; n <= data.size(); ++n) {
        const std::vector<uint8_t> head(data.begin(), data.begin() + static_cast<long>(n));
        EXPECT_EQ(crc16_update(0, head.data(), n), crc_bitwise(head)) << n;
    }
}

TEST(Crc16, RunningValueOverPiecesEqualsOneRun) {
    const auto data = noise(1000, 3);
    const uint16_t whole = crc16_update(0, data.data(), data.size());
    for (size_t cut : {1u, 2u, 7u, 8u, 9u, 63u, 500u, 999u}) {
        uint16_t crc = crc16_update(0, data.data(), cut);
        crc = crc16_update(crc, data.data() + cut, data.size() - cut);
        EXPECT_EQ(crc, whole) << cut;
    }
}

TEST(Crc16, LargeBuffersAgreeWithOutsideOracle) {
    QUORBIX_NEED_TOOL("python3", "python3");
    for (size_t len : {size_t{65536}, size_t{65537}, size_t{200003}, size_t{1} << 20}) {
        const auto data = noise(len, static_cast<uint32_t>(len));
        const long expected = crc_from_python(data);
        ASSERT_GE(expected, 0) << "python3 failed on " << len << " bytes";
        EXPECT_EQ(crc16_update(0, data.data(), data.size()), expected) << len;
        EXPECT_EQ(crc_bitwise(data), expected) << len;
    }
}

}  // namespace

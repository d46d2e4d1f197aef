// Small-size variants agree with memcpy_s / memset_s; byte move, zero
// writer and version query.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "kelvo/kelvo.h"

namespace {

using CopyFn = KelvoErr (*)(void *, size_t, const void *, size_t);
using FillFn = KelvoErr (*)(void *, size_t, int, size_t);

// Every combination of count, alignment and capacity (enough, exact, one
// short, out of range), separate and overlapping: same code, same bytes.
TEST(KelvoSmall, CopyVariantsMatchMemcpyS)
{
    alignas(8) unsigned char src[160];
    for (size_t i = 0; i < sizeof src; ++i)
        src[i] = static_cast<unsigned char>(i * 7 + 1);
    // The source in a buffer of its own at src + at, or inside the
    // destination's buffer at dest + at (overlap, or the same address).
    struct Src { bool inside; size_t at; };
    for (const CopyFn fn : {memcpy_sOptAsm, memcpy_sOptTc}) {
        for (size_t count : {0, 1, 6, 8, 63, 64, 65}) {
            for (size_t off : {0, 3}) {
                for (size_t destMax : {size_t{80}, count, count == 0 ? 0 : count - 1, size_t{0x80000000}}) {
                    for (const Src sc : {Src{false, 0}, Src{false, 5}, Src{true, 0}, Src{true, 1}}) {
                        alignas(8) unsigned char want[160];
                        alignas(8) unsigned char got[160];
                        std::memset(want, 0xEE, sizeof want);
                        std::memset(got, 0xEE, sizeof got);
                        const void *s1 = sc.inside ? want + off + sc.at : src + sc.at;
                        const void *s2 = sc.inside ? got + off + sc.at : src + sc.at;
                        EXPECT_EQ(fn(got + off, destMax, s2, count), memcpy_s(want + off, destMax, s1, count))
                            << count << " " << off << " " << destMax << " " << sc.inside << sc.at;
                        EXPECT_EQ(std::memcmp(want, got, sizeof want), 0) << count << " " << destMax << " " << sc.at;
                    }
                }
            }
        }
        unsigned char d[8];
        EXPECT_EQ(fn(nullptr, 8, src, 1), KelvoInvalid);
        EXPECT_EQ(fn(d, 8, nullptr, 1), KelvoInvalidReset);
    }
}

TEST(KelvoSmall, FillVariantsMatchMemsetS)
{
    for (const FillFn fn : {memset_sOptAsm, memset_sOptTc}) {
        for (size_t count : {0, 1, 31, 32, 33}) {
            for (int value : {0, 0xFF, 0x5A, 0x1FF}) {
                for (size_t off : {0, 1}) {
                    for (size_t destMax : {size_t{40}, count, count == 0 ? 0 : count - 1}) {
                        alignas(8) unsigned char want[48];
                        alignas(8) unsigned char got[48];
                        std::memset(want, 0xEE, sizeof want);
                        std::memset(got, 0xEE, sizeof got);
                        EXPECT_EQ(fn(got + off, destMax, value, count), memset_s(want + off, destMax, value, count))
                            << count << " " << value << " " << off << " " << destMax;
                        EXPECT_EQ(std::memcmp(want, got, sizeof want), 0)
                            << count << " " << value << " " << off << " " << destMax;
                    }
                }
            }
        }
        unsigned char d[4] = {1, 2, 3, 4};
        EXPECT_EQ(fn(d, size_t{0x80000000}, 0, 1), KelvoRange);
        EXPECT_EQ(d[0], 1);
        EXPECT_EQ(fn(d, 0, 0, 0), KelvoOk);
        EXPECT_EQ(fn(nullptr, 4, 0, 1), KelvoInvalid);
    }
}

TEST(KelvoSmall, MoveZeroWriterAndVersion)
{
    char buf[12] = "abcdefgh";
    util_memmove(buf + 2, buf, 4);
    EXPECT_STREQ(buf, "ababcdgh");
    util_memmove(buf, buf + 2, 4);
    EXPECT_STREQ(buf, "abcdcdgh");
    util_memmove(buf, "xy", 0);
    EXPECT_STREQ(buf, "abcdcdgh");

    char out[4] = {'a', 'b', 'c', 'd'};
    KelvoOutStream s{2, out};
    EXPECT_EQ(putWcharStrEndingZero(&s, 3), 0);
    EXPECT_EQ(std::string(out, 4), std::string("\0\0cd", 4));
    KelvoOutStream t{4, out};
    EXPECT_EQ(putWcharStrEndingZero(&t, 0), 1);
    EXPECT_EQ(putWcharStrEndingZero(&t, -1), 0);
    EXPECT_EQ(t.count, 4);
    EXPECT_EQ(putWcharStrEndingZero(&t, 4), 1);
    EXPECT_EQ(t.cur, out + 4);

    uint16_t version = 0;
    getZdKelvoVersion(nullptr, 0, &version);
    EXPECT_EQ(version, 0x0602);
    char text[64] = "ZZ";
    getZdKelvoVersion(text, sizeof text, nullptr);
    EXPECT_NE(std::string(text).find("6.2"), std::string::npos);
    getZdKelvoVersion(text, 4, nullptr);
    EXPECT_STREQ(text, "");
    std::strcpy(text, "ZZ");
    getZdKelvoVersion(text, 0, nullptr);
    EXPECT_STREQ(text, "ZZ");
}

} // namespace

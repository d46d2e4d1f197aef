// Small-size variants agree with memcpy_s / memset_s; byte move, zero
// writer and version query.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "kelvo/kelvo.h"

namespace {

using CopyFn = KelvoErr (*)(void *, size_t, const void *, size_t);
using FillFn = KelvoErr (*)(void *, size_t, int, size_t);

TEST(KelvoSmall, CopyVariantsMatchMemcpyS)
{
    const CopyFn variants[] = {memcpy_sOptAsm, memcpy_sOptTc};
    alignas(8) unsigned char src[160];
    for (size_t i = 0; i < sizeof src; ++i)
        src[i] = static_cast<unsigned char>(i * 7 + 1);
    struct Args {
        size_t destOff, srcOff, destMax, count;
        bool overlap;
    };
    for (const CopyFn fn : variants) {
        for (size_t count : {size_t{0}, size_t{1}, size_t{8}, size_t{63}, size_t{64}, size_t{65}}) {
            for (size_t off : {size_t{0}, size_t{3}}) {
                const Args cases[] = {
                    {off, off, 80, count, false},
                    {off, 0, count, count, false},
                    {off, off, count == 0 ? 0 : count - 1, count, false},
                    {off, 0, size_t{0x80000000}, count, false},
                    {off, off + 1, 80, count, true},
                    {off, off, 80, count, true},
                };
                for (const Args &a : cases) {
                    alignas(8) unsigned char want[160];
                    alignas(8) unsigned char got[160];
                    std::memset(want, 0xEE, sizeof want);
                    std::memset(got, 0xEE, sizeof got);
                    const void *s1 = a.overlap ? static_cast<const void *>(want + a.srcOff) : src + a.srcOff;
                    const void *s2 = a.overlap ? static_cast<const void *>(got + a.srcOff) : src + a.srcOff;
                    EXPECT_EQ(fn(got + a.destOff, a.destMax, s2, a.count),
                              memcpy_s(want + a.destOff, a.destMax, s1, a.count))
                        << count << " " << a.destOff << " " << a.destMax;
                    EXPECT_EQ(std::memcmp(want, got, sizeof want), 0) << count << " " << a.destMax;
                }
            }
        }
        EXPECT_EQ(fn(nullptr, 8, src, 1), KelvoInvalid);
        unsigned char d[8];
        EXPECT_EQ(fn(d, 8, nullptr, 1), KelvoInvalidReset);
    }
}

TEST(KelvoSmall, FillVariantsMatchMemsetS)
{
    const FillFn variants[] = {memset_sOptAsm, memset_sOptTc};
    for (const FillFn fn : variants) {
        for (size_t count : {size_t{0}, size_t{1}, size_t{31}, size_t{32}, size_t{33}}) {
            for (int value : {0, 0xFF, 0x5A, 0x1FF}) {
                for (size_t off : {size_t{0}, size_t{1}}) {
                    for (size_t destMax : {size_t{40}, count, count == 0 ? 0 : count - 1}) {
                        alignas(8) unsigned char want[48];
                        alignas(8) unsigned char got[48];
                        std::memset(want, 0xEE, sizeof want);
                        std::memset(got, 0xEE, sizeof got);
                        EXPECT_EQ(fn(got + off, destMax, value, count),
                                  memset_s(want + off, destMax, value, count))
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

TEST(KelvoSmall, UtilMemmove)
{
    char buf[12] = "abcdefgh";
    util_memmove(buf + 2, buf, 4);
    EXPECT_STREQ(buf, "ababcdgh");
    util_memmove(buf, buf + 2, 4);
    EXPECT_STREQ(buf, "abcdcdgh");
    util_memmove(buf, "xy", 0);
    EXPECT_STREQ(buf, "abcdcdgh");
}

TEST(KelvoSmall, PutZeroBytes)
{
    char buf[4] = {'a', 'b', 'c', 'd'};
    KelvoOutStream s{2, buf};
    EXPECT_EQ(putWcharStrEndingZero(&s, 3), 0);
    EXPECT_EQ(std::string(buf, 4), std::string("\0\0cd", 4));
    KelvoOutStream t{4, buf};
    EXPECT_EQ(putWcharStrEndingZero(&t, 0), 1);
    EXPECT_EQ(putWcharStrEndingZero(&t, -1), 0);
    EXPECT_EQ(t.count, 4);
    EXPECT_EQ(putWcharStrEndingZero(&t, 4), 1);
    EXPECT_EQ(t.cur, buf + 4);
}

TEST(KelvoSmall, Version)
{
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

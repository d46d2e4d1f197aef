// Copy, fill and concatenation: codes, check order and destination resets.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "kelvo/kelvo.h"

namespace {

constexpr size_t kHuge = size_t{0x80000000};

std::string bytes(const char *p, size_t n) { return std::string(p, n); }

TEST(KelvoMemcpy, CodesAndResets)
{
    struct Case {
        const char *name;
        size_t destMax;
        bool nullDest, nullSrc;
        int srcOffset;  // source at buf + srcOffset (overlap cases), else separate
        size_t count;
        KelvoErr want;
        const char *after;  // expected first 8 bytes of dest, nullptr: untouched
    };
    const Case cases[] = {
        {"plain", 8, false, false, 99, 3, KelvoOk, "abcXXXXX"},
        {"full", 8, false, false, 99, 8, KelvoOk, "abcdefgh"},
        {"count 0", 8, false, false, 99, 0, KelvoOk, "XXXXXXXX"},
        {"destMax 0", 0, false, false, 99, 0, KelvoRange, "XXXXXXXX"},
        {"destMax huge", kHuge, false, false, 99, 1, KelvoRange, "XXXXXXXX"},
        {"dest null", 8, true, false, 99, 1, KelvoInvalid, "XXXXXXXX"},
        {"src null", 8, false, true, 99, 1, KelvoInvalidReset, nullptr},
        {"too long", 8, false, false, 99, 9, KelvoRangeReset, nullptr},
        {"same", 8, false, false, 0, 4, KelvoOk, "XXXXXXXX"},
        {"overlap by one", 8, false, false, 3, 4, KelvoOverlapReset, nullptr},
        {"dest above src", 8, false, false, -3, 4, KelvoOverlapReset, nullptr},
        {"adjacent", 4, false, false, 4, 4, KelvoOk, "XXXX"},
        // Check order: each row fails two tests, the first one decides.
        {"range before null dest", 0, true, true, 99, 1, KelvoRange, "XXXXXXXX"},
        {"null dest before null src", 8, true, true, 99, 1, KelvoInvalid, "XXXXXXXX"},
        {"null src before too long", 8, false, true, 99, 9, KelvoInvalidReset, nullptr},
        {"too long before same", 8, false, false, 0, 9, KelvoRangeReset, nullptr},
        {"too long before overlap", 8, false, false, 3, 9, KelvoRangeReset, nullptr},
    };
    for (const Case &c : cases) {
        char buf[16];
        std::memset(buf, 'X', sizeof buf);
        char other[16];
        std::memcpy(other, "abcdefghijklmnop", 16);
        char *dest = c.nullDest ? nullptr : buf + 4;
        const char *src = c.nullSrc ? nullptr : c.srcOffset == 99 ? other : buf + 4 + c.srcOffset;
        EXPECT_EQ(memcpy_s(dest, c.destMax, src, c.count), c.want) << c.name;
        if (c.want == KelvoRangeReset || c.want == KelvoOverlapReset || c.want == KelvoInvalidReset) {
            EXPECT_EQ(bytes(buf + 4, c.destMax), std::string(c.destMax, '\0')) << c.name;
        } else if (c.after != nullptr && c.srcOffset == 99) {
            EXPECT_EQ(bytes(buf + 4, std::strlen(c.after)), c.after) << c.name;
        }
        EXPECT_EQ(bytes(buf, 4), "XXXX") << c.name;  // nothing below dest
    }
}

TEST(KelvoMemmove, OverlapMovesAndErrors)
{
    char buf[12] = "abcdefghij";
    EXPECT_EQ(memmove_s(buf + 2, 8, buf, 6), KelvoOk);
    EXPECT_STREQ(buf, "ababcdefij");
    EXPECT_EQ(memmove_s(buf, 10, buf + 2, 6), KelvoOk);
    EXPECT_STREQ(buf, "abcdefefij");
    EXPECT_EQ(memmove_s(buf, 0, buf, 1), KelvoRange);
    EXPECT_EQ(memmove_s(nullptr, 4, buf, 1), KelvoInvalid);
    EXPECT_EQ(memmove_s(buf, 4, buf + 4, 0), KelvoOk);
    EXPECT_EQ(memmove_s(buf, 4, buf + 4, 5), KelvoRangeReset);
    EXPECT_EQ(bytes(buf, 5), std::string(4, '\0') + "e");
    EXPECT_EQ(memmove_s(buf, 4, nullptr, 1), KelvoInvalidReset);
}

TEST(KelvoMemset, FastPathAndErrors)
{
    char buf[10];
    std::memset(buf, 'X', sizeof buf);
    EXPECT_EQ(memset_s(buf, 0, 'A', 0), KelvoOk);
    EXPECT_EQ(memset_s(buf, 8, 0x141, 9), KelvoRangeReset);  // low 8 bits stored
    EXPECT_EQ(bytes(buf, 10), "AAAAAAAAXX");
    EXPECT_EQ(memset_s(nullptr, 8, 0, 4), KelvoInvalid);
    EXPECT_EQ(memset_s(buf, 0, 0, 1), KelvoRange);
    EXPECT_EQ(memset_s(buf, kHuge, 0, 1), KelvoRange);
    EXPECT_EQ(memset_s(buf, 8, 'b', 3), KelvoOk);
    EXPECT_EQ(bytes(buf, 10), "bbbAAAAAXX");
}

TEST(KelvoStrcpy, Table)
{
    struct Case {
        size_t destMax;
        const char *src;
        KelvoErr want;
        const char *after;
    };
    const std::string longText(100, 'q');
    const Case cases[] = {
        {4, "abc", KelvoOk, "abc"},
        {3, "abc", KelvoRangeReset, ""},
        {1, "", KelvoOk, ""},
        {0, "a", KelvoRange, "ZZZ"},
        {kHuge, "a", KelvoRange, "ZZZ"},
        {8, nullptr, KelvoInvalidReset, ""},
        {0, nullptr, KelvoRange, "ZZZ"},
        {101, longText.c_str(), KelvoOk, longText.c_str()},
        {100, longText.c_str(), KelvoRangeReset, ""},
        {40, "0123456789012345678901234567890", KelvoOk, "0123456789012345678901234567890"},
    };
    for (const Case &c : cases) {
        char buf[128];
        std::strcpy(buf, "ZZZ");
        EXPECT_EQ(strcpy_s(buf, c.destMax, c.src), c.want) << c.destMax;
        EXPECT_STREQ(buf, c.after) << c.destMax;
    }
    EXPECT_EQ(strcpy_s(nullptr, 4, "a"), KelvoInvalid);
}

TEST(KelvoStrcpy, SelfAndOverlap)
{
    char buf[16] = "hello";
    EXPECT_EQ(strcpy_s(buf, 16, buf), KelvoOk);
    EXPECT_STREQ(buf, "hello");
    EXPECT_EQ(strcpy_s(buf, 3, buf), KelvoRangeReset);
    std::strcpy(buf, "hello");
    EXPECT_EQ(strcpy_s(buf + 2, 8, buf), KelvoOverlapReset);
    EXPECT_EQ(buf[2], '\0');
    std::strcpy(buf, "hello");
    EXPECT_EQ(strcpy_s(buf, 8, buf + 2), KelvoOverlapReset);
    EXPECT_EQ(buf[0], '\0');
}

TEST(KelvoStrncpy, Table)
{
    struct Case {
        size_t destMax;
        const char *src;
        size_t count;
        KelvoErr want;
        const char *after;
    };
    const Case cases[] = {
        {5, "abcdef", 4, KelvoOk, "abcd"},
        {4, "abcdef", 4, KelvoRangeReset, ""},
        {8, "abc", 0, KelvoOk, ""},
        {8, "abc", 10, KelvoOk, "abc"},
        {4, "abc", 10, KelvoOk, "abc"},
        {3, "abc", 10, KelvoRangeReset, ""},
        {8, "abc", kHuge, KelvoRangeReset, ""},
        {8, nullptr, 2, KelvoInvalidReset, ""},
        {0, "abc", 2, KelvoRange, "ZZZ"},
        {0, "abc", 0, KelvoRange, "ZZZ"},
        {8, nullptr, kHuge, KelvoInvalidReset, ""},
    };
    for (const Case &c : cases) {
        char buf[16];
        std::strcpy(buf, "ZZZ");
        EXPECT_EQ(strncpy_s(buf, c.destMax, c.src, c.count), c.want) << c.destMax << " " << c.count;
        EXPECT_STREQ(buf, c.after) << c.destMax << " " << c.count;
    }
    // The source is read no further than the count: no terminator needed.
    const char raw[3] = {'x', 'y', 'z'};
    char buf[8];
    EXPECT_EQ(strncpy_s(buf, 8, raw, 2), KelvoOk);
    EXPECT_STREQ(buf, "xy");
    char same[8] = "abcdef";
    EXPECT_EQ(strncpy_s(same, 8, same, 3), KelvoOk);
    EXPECT_STREQ(same, "abc");
    std::strcpy(same, "abcdef");
    EXPECT_EQ(strncpy_s(same + 1, 7, same, 3), KelvoOverlapReset);
}

TEST(KelvoErrorRoutines, MatchTheirCallers)
{
    char buf[8] = "abc";
    EXPECT_EQ(strcpy_error(buf, 0, "a"), KelvoRange);
    EXPECT_EQ(strcpy_error(nullptr, 4, "a"), KelvoInvalid);
    EXPECT_EQ(strcpy_error(buf, 8, buf), KelvoOk);
    EXPECT_STREQ(buf, "abc");
    EXPECT_EQ(strcpy_error(buf, 3, buf), KelvoRangeReset);
    EXPECT_EQ(strncpy_error(buf, 8, "abc", kHuge), KelvoRangeReset);
    std::strcpy(buf, "abc");
    EXPECT_EQ(strncpy_error(buf, 8, "abc", 0), KelvoOk);
    EXPECT_STREQ(buf, "");
    EXPECT_EQ(strncpy_error(buf, 3, "abcdef", 2), KelvoOk);
    EXPECT_EQ(strncpy_error(buf, 2, "abcdef", 2), KelvoRangeReset);
}

TEST(KelvoStrcat, Table)
{
    struct Case {
        const char *start;
        size_t destMax;
        const char *src;
        size_t count;  // (size_t)-2: strcat_s
        KelvoErr want;
        const char *after;
    };
    constexpr size_t kCat = size_t(-2);
    const Case cases[] = {
        {"ab", 4, "c", kCat, KelvoOk, "abc"},
        {"ab", 4, "cd", kCat, KelvoRangeReset, ""},
        {"", 1, "", kCat, KelvoOk, ""},
        {"ab", 4, nullptr, kCat, KelvoInvalidReset, ""},
        {"ab", 0, "c", kCat, KelvoRange, "ab"},
        {"ab", 8, "xyz", 2, KelvoOk, "abxy"},
        {"ab", 8, "xyz", 0, KelvoOk, "ab"},
        {"ab", 8, "xyz", 9, KelvoOk, "abxyz"},
        {"ab", 4, "xyz", 1, KelvoOk, "abx"},
        {"ab", 4, "xyz", 2, KelvoRangeReset, ""},
        {"ab", 8, "xyz", kHuge, KelvoRangeReset, ""},
        {"ab", 8, nullptr, 1, KelvoInvalidReset, ""},
        {"ab", kHuge, "x", 1, KelvoRange, "ab"},
        {"ab", 0, nullptr, kCat, KelvoRange, "ab"},
        {"ab", 8, nullptr, kHuge, KelvoInvalidReset, ""},
    };
    for (const Case &c : cases) {
        char buf[16];
        std::strcpy(buf, c.start);
        const KelvoErr rc = c.count == kCat ? strcat_s(buf, c.destMax, c.src)
                                            : strncat_s(buf, c.destMax, c.src, c.count);
        EXPECT_EQ(rc, c.want) << c.start << "+" << (c.src ? c.src : "(null)") << " " << c.count;
        EXPECT_STREQ(buf, c.after) << c.start << "+" << (c.src ? c.src : "(null)");
    }
}

TEST(KelvoStrcat, UnterminatedAndOverlappingDestinations)
{
    char buf[8];
    std::memset(buf, 'x', sizeof buf);
    EXPECT_EQ(strcat_s(buf, 4, "a"), KelvoInvalidReset);
    EXPECT_EQ(buf[0], '\0');
    std::memset(buf, 'x', sizeof buf);
    EXPECT_EQ(strncat_s(buf, 4, "a", 1), KelvoInvalidReset);
    EXPECT_EQ(buf[0], '\0');
    std::memset(buf, 'x', sizeof buf);  // a count out of range is seen first
    EXPECT_EQ(strncat_s(buf, 4, "a", kHuge), KelvoRangeReset);
    EXPECT_EQ(buf[0], '\0');
    // Source inside the destination's string.
    std::strcpy(buf, "abcd");
    EXPECT_EQ(strcat_s(buf, 8, buf + 2), KelvoOverlapReset);
    EXPECT_EQ(buf[0], '\0');
    // Source just above the destination's string: the write would reach it.
    char two[12] = "ab";
    std::strcpy(two + 3, "xyz");
    EXPECT_EQ(strcat_s(two, 12, two + 3), KelvoOverlapReset);
    EXPECT_EQ(two[0], '\0');
    // Source below the destination whose string runs into it.
    std::strcpy(buf, "abcd");
    EXPECT_EQ(strcat_s(buf + 1, 7, buf), KelvoOverlapReset);
    // Self-append reads its own output until the room runs out.
    std::strcpy(buf, "ab");
    EXPECT_EQ(strcat_s(buf, 8, buf), KelvoRangeReset);
    EXPECT_EQ(buf[0], '\0');
    std::strcpy(buf, "ab");
    EXPECT_EQ(strncat_s(buf, 8, buf, 3), KelvoOk);
    EXPECT_STREQ(buf, "ababa");
}

} // namespace

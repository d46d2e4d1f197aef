// Copy, fill and concatenation: codes, check order and destination resets.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "kelvo/kelvo.h"

namespace {

constexpr size_t kHuge = size_t{0x80000000};
constexpr int kText = -1;  // srcAt: the source is the case's own text

std::string bytes(const char *p, size_t n) { return std::string(p, n); }

bool resets(KelvoErr rc) { return rc == KelvoInvalidReset || rc == KelvoRangeReset || rc == KelvoOverlapReset; }

TEST(KelvoMemcpy, CodesAndResets)
{
    // srcOffset: the source at dest + srcOffset, or (99) in a buffer of its
    // own; after: dest's first bytes when not reset.
    struct Case {
        const char *name; size_t destMax; bool nullDest, nullSrc; int srcOffset; size_t count;
        KelvoErr want; const char *after;
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
        if (resets(c.want)) {
            EXPECT_EQ(bytes(buf + 4, c.destMax), std::string(c.destMax, '\0')) << c.name;
        } else if (c.srcOffset == 99) {
            EXPECT_EQ(bytes(buf + 4, std::strlen(c.after)), c.after) << c.name;
        }
        EXPECT_EQ(bytes(buf, 4), "XXXX") << c.name;  // nothing below dest
    }
}

TEST(KelvoMemmoveAndMemset, CodesAndResets)
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
    std::memset(buf, 'X', sizeof buf);
    EXPECT_EQ(memmove_s(buf, 4, nullptr, 1), KelvoInvalidReset);
    EXPECT_EQ(bytes(buf, 5), std::string(4, '\0') + "X");

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

// strcpy_s and strncpy_s (count (size_t)-2: strcpy_s). The buffer starts
// as "hello"; srcAt >= 0 puts the source inside it.
TEST(KelvoStrcpy, CodesResetsAndOverlap)
{
    constexpr size_t kCpy = size_t(-2);
    struct Case {
        int destAt; size_t destMax; const char *src; int srcAt; size_t count; KelvoErr want; const char *after;
    };
    const std::string longText(100, 'q');
    const char *const inline32 = "0123456789012345678901234567890";  // 32 bytes with its terminator
    const Case cases[] = {
        {0, 4, "abc", kText, kCpy, KelvoOk, "abc"},
        {0, 3, "abc", kText, kCpy, KelvoRangeReset, ""},
        {0, 1, "", kText, kCpy, KelvoOk, ""},
        {0, 0, "a", kText, kCpy, KelvoRange, "hello"},
        {0, kHuge, "a", kText, kCpy, KelvoRange, "hello"},
        {0, 8, nullptr, kText, kCpy, KelvoInvalidReset, ""},
        {0, 0, nullptr, kText, kCpy, KelvoRange, "hello"},
        {0, 101, longText.c_str(), kText, kCpy, KelvoOk, longText.c_str()},
        {0, 100, longText.c_str(), kText, kCpy, KelvoRangeReset, ""},
        {0, 40, inline32, kText, kCpy, KelvoOk, inline32},
        {0, 16, nullptr, 0, kCpy, KelvoOk, "hello"},  // itself, fitting
        {0, 3, nullptr, 0, kCpy, KelvoRangeReset, ""},
        {2, 8, nullptr, 0, kCpy, KelvoOverlapReset, ""},
        {0, 8, nullptr, 2, kCpy, KelvoOverlapReset, ""},

        {0, 5, "abcdef", kText, 4, KelvoOk, "abcd"},
        {0, 4, "abcdef", kText, 4, KelvoRangeReset, ""},
        {0, 8, "abc", kText, 0, KelvoOk, ""},
        {0, 8, "abc", kText, 10, KelvoOk, "abc"},
        {0, 4, "abc", kText, 10, KelvoOk, "abc"},
        {0, 3, "abc", kText, 10, KelvoRangeReset, ""},
        {0, 8, "abc", kText, kHuge, KelvoRangeReset, ""},
        {0, 8, nullptr, kText, 2, KelvoInvalidReset, ""},
        {0, 0, "abc", kText, 2, KelvoRange, "hello"},
        {0, 0, "abc", kText, 0, KelvoRange, "hello"},
        {0, 8, nullptr, kText, kHuge, KelvoInvalidReset, ""},
        {0, 8, nullptr, 0, 3, KelvoOk, "hel"},  // itself: no overlap
        {1, 7, nullptr, 0, 3, KelvoOverlapReset, ""},
        {3, 8, nullptr, 0, 3, KelvoOverlapReset, ""},  // the terminator's byte counts
    };
    for (const Case &c : cases) {
        char buf[128] = "hello";
        const char *src = c.srcAt == kText ? c.src : buf + c.srcAt;
        char *dest = buf + c.destAt;
        const KelvoErr rc =
            c.count == kCpy ? strcpy_s(dest, c.destMax, src) : strncpy_s(dest, c.destMax, src, c.count);
        EXPECT_EQ(rc, c.want) << c.destMax << " " << (src ? src : "(null)") << " " << c.count;
        EXPECT_STREQ(dest, c.after) << c.destMax << " " << c.count;
    }
    EXPECT_EQ(strcpy_s(nullptr, 4, "a"), KelvoInvalid);
    EXPECT_EQ(strncpy_s(nullptr, 4, "a", 1), KelvoInvalid);
    // The source is read no further than the count: no terminator needed.
    const char raw[3] = {'x', 'y', 'z'};
    char buf[8];
    EXPECT_EQ(strncpy_s(buf, 8, raw, 2), KelvoOk);
    EXPECT_STREQ(buf, "xy");
    // The error routine's own last test, which strncpy_s never reaches.
    EXPECT_EQ(strncpy_error(buf, 3, "abcdef", 2), KelvoOk);
    EXPECT_STREQ(buf, "xy");
    EXPECT_EQ(strncpy_error(buf, 2, "abcdef", 2), KelvoRangeReset);
    EXPECT_STREQ(buf, "");
}

// strcat_s and strncat_s (count (size_t)-2: strcat_s). start is the
// buffer's text, "|" standing for a terminator inside it, and nullptr for
// 15 bytes without one; srcAt >= 0 puts the source inside the buffer.
TEST(KelvoStrcat, CodesResetsAndOverlap)
{
    constexpr size_t kCat = size_t(-2);
    struct Case {
        const char *start; int destAt; size_t destMax; const char *src; int srcAt; size_t count;
        KelvoErr want; const char *after;
    };
    const Case cases[] = {
        {"ab", 0, 4, "c", kText, kCat, KelvoOk, "abc"},
        {"ab", 0, 4, "cd", kText, kCat, KelvoRangeReset, ""},
        {"", 0, 1, "", kText, kCat, KelvoOk, ""},
        {"ab", 0, 4, nullptr, kText, kCat, KelvoInvalidReset, ""},
        {"ab", 0, 0, "c", kText, kCat, KelvoRange, "ab"},
        {"ab", 0, 0, nullptr, kText, kCat, KelvoRange, "ab"},
        {"ab", 0, 8, "xyz", kText, 2, KelvoOk, "abxy"},
        {"ab", 0, 8, "xyz", kText, 0, KelvoOk, "ab"},
        {"ab", 0, 8, "xyz", kText, 9, KelvoOk, "abxyz"},
        {"ab", 0, 4, "xyz", kText, 1, KelvoOk, "abx"},
        {"ab", 0, 4, "xyz", kText, 2, KelvoRangeReset, ""},
        {"ab", 0, 8, "xyz", kText, kHuge, KelvoRangeReset, ""},
        {"ab", 0, 8, nullptr, kText, 1, KelvoInvalidReset, ""},
        {"ab", 0, kHuge, "x", kText, 1, KelvoRange, "ab"},
        {"ab", 0, 8, nullptr, kText, kHuge, KelvoInvalidReset, ""},
        // No terminator within destMax; a count out of range is seen first.
        {nullptr, 0, 4, "a", kText, kCat, KelvoInvalidReset, ""},
        {nullptr, 0, 4, "a", kText, 1, KelvoInvalidReset, ""},
        {nullptr, 0, 4, "a", kText, kHuge, KelvoRangeReset, ""},
        // Source inside the destination's string, just above it (the write
        // would reach it), and below a destination whose string runs into it.
        {"abcd", 0, 8, nullptr, 2, kCat, KelvoOverlapReset, ""},
        {"ab|xyz", 0, 12, nullptr, 3, kCat, KelvoOverlapReset, ""},
        {"abcd", 1, 7, nullptr, 0, kCat, KelvoOverlapReset, ""},
        // Appending to itself reads its own output until the room runs out.
        {"ab", 0, 8, nullptr, 0, kCat, KelvoRangeReset, ""},
        {"ab", 0, 8, nullptr, 0, 3, KelvoOk, "ababa"},
    };
    for (const Case &c : cases) {
        char buf[16] = {};
        if (c.start == nullptr)
            std::memset(buf, 'x', sizeof buf - 1);
        else
            std::strcpy(buf, c.start);
        if (char *bar = std::strchr(buf, '|'))
            *bar = '\0';
        const char *src = c.srcAt == kText ? c.src : buf + c.srcAt;
        char *dest = buf + c.destAt;
        const KelvoErr rc =
            c.count == kCat ? strcat_s(dest, c.destMax, src) : strncat_s(dest, c.destMax, src, c.count);
        EXPECT_EQ(rc, c.want) << (c.start ? c.start : "(none)") << " + " << (src ? src : "(null)") << " " << c.count;
        EXPECT_STREQ(dest, c.after) << (c.start ? c.start : "(none)") << " + " << (src ? src : "(null)");
    }
}

} // namespace

// Formatted output: entry-point results, the format parser, conversions,
// the float path, and a randomized comparison with the C library.
#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <cstring>
#include <cstdarg>
#include <cstdio>
#include <random>
#include <string>

#include "kelvo/kelvo.h"

namespace {

// The helpers below take formats of any language on purpose.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"

// Goes through the va_list form so that formats outside printf's own
// language (I64, %5-d, ...) can be written without the compiler's check.
std::string F(const char *format, ...)
{
    static char buf[20100];
    va_list ap;
    va_start(ap, format);
    const int r = vsprintf_s(buf, sizeof buf, format, ap);
    va_end(ap);
    if (r < 0)
        return "<-1>";
    EXPECT_EQ(static_cast<size_t>(r), std::string(buf).size()) << format;
    return std::string(buf, static_cast<size_t>(r));
}

// The C library's text for the same arguments, or "<-1>".
std::string C(const char *format, ...)
{
    char buf[2048];
    va_list ap;
    va_start(ap, format);
    const int r = std::vsnprintf(buf, sizeof buf, format, ap);
    va_end(ap);
    return r < 0 ? "<-1>" : std::string(buf, static_cast<size_t>(r));
}

// vsprintf_s into a caller's buffer, unchecked by the compiler.
int VS(char *buf, size_t destMax, const char *format, ...)
{
    va_list ap;
    va_start(ap, format);
    const int r = vsprintf_s(buf, destMax, format, ap);
    va_end(ap);
    return r;
}
#pragma GCC diagnostic pop

// Where the engine has rules of its own: formats outside the C library's
// language, size letters, caps and refusals. What the C library does the
// same way is left to the comparisons below.
TEST(KelvoPrint, ParserSizesAndCaps)
{
    EXPECT_EQ(F("%%"), "%");
    EXPECT_EQ(F("abc%"), "<-1>");
    EXPECT_EQ(F("%5"), "<-1>");
    EXPECT_EQ(F("%n", nullptr), "<-1>");
    EXPECT_EQ(F("%a", 1.0), "<-1>");
    EXPECT_EQ(F("%5%"), "<-1>");
    EXPECT_EQ(F("%5-d|", 3), "3    |");
    EXPECT_EQ(F("%Iz"), "Iz");
    EXPECT_EQ(F("a%5Iq"), "aIq");
    EXPECT_EQ(F("%hZNd", 70000), "4464");
    EXPECT_EQ(F("%2147483648d", 1), "<-1>");
    EXPECT_EQ(F("%.214748369d", 1), std::string(511, '0') + "1");  // the largest precision, capped
    EXPECT_EQ(F("%.214748370d", 1), "<-1>");
    EXPECT_EQ(F("%214748369d|", 1), "<-1>");  // largest width: the room runs out
    EXPECT_EQ(F("%*d", INT_MIN, 1), "<-1>");
    EXPECT_EQ(F("%.*5d", -1, 7), "7");  // digits after a negative "*" precision
    EXPECT_EQ(F("%.*000000000000d", -1, 7), "<-1>");
    EXPECT_EQ(F("%d", INT_MIN), "-2147483648");
    EXPECT_EQ(F("%I64d|%I64x|%I32d|%Id|%qd", LLONG_MIN, 0x123456789ULL, -5, 1LL << 40, 1LL << 33),
              "-9223372036854775808|123456789|-5|1099511627776|8589934592");
    // "l", "ll" and "I64" outrank "hh" and "h", which outrank "t", "z" and "j".
    EXPECT_EQ(F("%hzd|%jhhd|%lhd", 70000, 0x1FF, 1LL << 40), "4464|-1|1099511627776");
    EXPECT_EQ(F("%#.600o", 1), std::string(511, '0') + "1");
}

// The compile-time checks and the engine walk one grammar: a format the
// checks find faulty is refused by the engine, and a well-formed one takes
// as many arguments as the checks count. Every argument is the address of
// one block, good for any conversion (the engine's "%n" is refused).
TEST(KelvoPrint, TheChecksAndTheEngineWalkOneGrammar)
{
    alignas(16) static char block[64] = "block";
    void *p = block;
    auto verdict = [](const char *format) {
        kelvo_detail::FmtVerdict v;
        kelvo_detail::walk_print(format, v);
        return v;
    };
    char out[4096];
    std::mt19937_64 rng(20261207);
    const char alphabet[] = "%%%%-+ #0369.*hlLqjztwINZ64d32iouxXpsaycn";
    for (int iter = 0; iter < 50000 && !HasFatalFailure(); ++iter) {
        std::string format;
        for (int n = static_cast<int>(rng() % 8); n >= 0; --n)
            format += alphabet[rng() % (sizeof alphabet - 1)];
        if (verdict(format.c_str()).faulty) {
            ASSERT_EQ(VS(out, sizeof out, format.c_str(), p, p, p, p, p, p, p, p, p, p), -1) << format;
        }
    }
    struct Row {
        const char *format;
        size_t taken;  // -1: faulty
    };
    const Row rows[] = {
        {"plain", 0},        {"%%", 0},           {"%5-d|%s", 2},  {"%-.*x|%.*s", 4},       {"%Iz", 0},
        {"a%5Iq", 0},        {"%I64d%I32u", 2},   {"%hZNd", 1},    {"%-#08.3llX", 1},  {"%p%c", 2},
        {"%5", SIZE_MAX},    {"%5%", SIZE_MAX},   {"%a", SIZE_MAX}, {"%n", SIZE_MAX},  {"%l", SIZE_MAX},
        {"%.-d", SIZE_MAX},  {"%**d", SIZE_MAX},  {"%I", 0},
    };
    for (const Row &row : rows) {
        const kelvo_detail::FmtVerdict v = verdict(row.format);
        EXPECT_EQ(v.faulty ? SIZE_MAX : v.taken, row.taken) << row.format;
        EXPECT_EQ(VS(out, sizeof out, row.format, p, p, p, p) < 0, row.taken == SIZE_MAX) << row.format;
    }
}

TEST(KelvoPrint, PointersCharactersStrings)
{
    int x = 0;
    char expect[40];
    std::snprintf(expect, sizeof expect, "%p|", static_cast<void *>(&x));
    const wchar_t wide[] = L"wide";
    EXPECT_EQ(F("%p|%8p|%08p|", nullptr, nullptr, nullptr), "(nil)|   (nil)|   (nil)|");
    EXPECT_EQ(F("%p|", &x), expect);
    EXPECT_EQ(F("%p", reinterpret_cast<void *>(0xABC)), "0xabc");
    EXPECT_EQ(F("%s|%.3s", nullptr, nullptr), "(null)|(nu");
    EXPECT_EQ(F("%05s|%05c", "ab", 'z'), "   ab|    z");
    EXPECT_EQ(F("%c%c", 'a', 0x162), "ab");
    EXPECT_EQ(F("%lc%C%hC", L'A', L'B', 'c'), "ABc");
    EXPECT_EQ(F("%ls|%S|%.2ls|%6ls|%hs", wide, wide, wide, wide, "narrow"), "wide|wide|wi|  wide|narrow");
    EXPECT_EQ(F("%ls", static_cast<const wchar_t *>(nullptr)), "(null)");
    EXPECT_EQ(F("[%3lc]", static_cast<wint_t>(0x20AC)), "[]");  // no form in the C locale: nothing at all
    EXPECT_EQ(F("%ls", L"a\x20AC"), "<-1>");
}

// The float text never outgrows its buffer, whatever the size letters and
// precision; "*" widths and precisions are taken in order.
TEST(KelvoPrint, Floats)
{
    EXPECT_EQ(F("%*.*f|%*d%.*f", -8, 2, 1.5, 2, 1, 3, 2.0), "1.50    | 12.000");
    EXPECT_EQ(F("%qf|%llf|%I64f|%lf|%hf", 2.5L, 2.5, 2.5, 2.5, 2.5), "2.500000|2.500000|2.500000|2.500000|2.500000");
    EXPECT_EQ(F("%.2147483647f", 1.0), "<-1>");  // does not fit: room runs out
    EXPECT_EQ(F("%.*f|", INT_MAX, 1.0), "|");    // precision refused: no output
    EXPECT_EQ(F("%.300000g", 0.5), "0.5");
    EXPECT_EQ(F("%600.1f|", 1.0), std::string(597, ' ') + "1.0|");
    // Precisions beyond the digits the C library is asked for end in zeros;
    // texts about the work buffer's size, "#" adding its point last.
    const std::string zeros(20000, '0');
    EXPECT_EQ(F("%.20000f", 1.0), "1." + zeros);
    EXPECT_EQ(F("%.20000e", 1.0), "1." + zeros + "e+00");
    EXPECT_EQ(F("%#.20000g", 0.25), "0.25" + zeros.substr(2));
    for (const char *format : {"%.0Lf", "%#.0Lf"})
        for (const long double v : {1e510L, -1e510L, 1e511L})  // 511 to 513 characters
            EXPECT_EQ(F(format, v), C(format, v)) << format;
    // A huge precision is cut to the room without formatting it in full.
    char buf[16];
    EXPECT_EQ(snprintf_s(buf, sizeof buf, 8, "%.100000000e", 1.0), -1);
    EXPECT_STREQ(buf, "1.000000");
}

TEST(KelvoPrint, EntryPoints)
{
    char buf[10];
    // count (size_t)-2: sprintf_s.
    struct Case { size_t destMax; size_t count; const char *text; int want; const char *after; };
    constexpr size_t kSprintf = size_t(-2);
    const Case cases[] = {
        {10, 9, "abcdefghij", -1, "abcdefghi"},
        {10, 5, "abcdefghij", -1, "abcde"},
        {4, size_t(-1), "12345", -1, ""},
        {4, 3, "123", 3, "123"},
        {4, 4, "123", 3, "123"},
        {4, 4, "1234", -1, ""},
        {4, 0, "", 0, ""},
        {4, 0, "a", -1, ""},
        {4, kSprintf, "abcd", -1, ""},
        {5, kSprintf, "abcd", 4, "abcd"},
        {4, size_t{0x7FFFFFFF}, "a", -1, ""},
        {size_t{0x80000000}, kSprintf, "a", -1, ""},
    };
    for (const Case &c : cases) {
        std::fill(std::begin(buf), std::end(buf), 'X');
        const int r = c.count == kSprintf ? sprintf_s(buf, c.destMax, "%s", c.text)
                                          : snprintf_s(buf, c.destMax, c.count, "%s", c.text);
        EXPECT_EQ(r, c.want) << c.text << " " << c.destMax << " " << c.count;
        EXPECT_STREQ(buf, c.after) << c.text << " " << c.destMax << " " << c.count;
    }
    std::fill(std::begin(buf), std::end(buf), 'X');
    EXPECT_EQ(sprintf_s(buf, 0, "a"), -1);
    EXPECT_EQ(buf[0], 'X');
    EXPECT_EQ(sprintf_s(nullptr, 4, "a"), -1);
    EXPECT_EQ(VS(buf, 4, nullptr), -1);
    EXPECT_EQ(buf[0], '\0');
    // A format error empties the destination even when text was written.
    EXPECT_EQ(VS(buf, sizeof buf, "ab%"), -1);
    EXPECT_EQ(buf[0], '\0');
}

// The C library is the reference where both define the same result:
// integer, character and string conversions, flags written before the
// width, width and precision up to 512.
TEST(KelvoPrint, MatchesTheCLibraryOnItsCommonSubset)
{
    std::mt19937_64 rng(20260101);
    auto pick = [&](int n) { return static_cast<int>(rng() % static_cast<uint64_t>(n)); };
    const char *lengths[] = {"", "hh", "h", "l", "ll", "z", "j", "t"};
    for (int iter = 0; iter < 20000 && !HasFatalFailure(); ++iter) {
        const char conv = "diuoxXcs"[pick(8)];
        const bool integer = conv != 'c' && conv != 's';
        std::string field = "%";
        for (const char flag : {'-', '+', ' ', '0', '#'})
            if (pick(4) == 0 && (integer || flag == '-') && (flag != '#' || std::strchr("diu", conv) == nullptr))
                field += flag;
        if (pick(2) != 0)
            field += std::to_string(pick(513));
        if (conv != 'c' && pick(2) != 0)
            field += "." + std::to_string(pick(513));
        if (integer)
            field += lengths[pick(8)];
        field += conv;
        std::string format = pick(2) != 0 ? "<" + std::to_string(pick(100)) + ">" : "";
        format += field;
        if (pick(2) != 0)
            format += " tail";

        const uint64_t value = rng() >> pick(64);
        std::string text;
        for (int n = pick(40); n > 0; --n)
            text += static_cast<char>(' ' + pick(95));
        const char *f = format.c_str();
        auto both = [&](auto arg) { ASSERT_EQ(F(f, arg), C(f, arg)) << f; };
        if (conv == 's')
            both(text.c_str());
        else if (conv == 'c')
            both(static_cast<int>(value & 0xFF) | 1);
        else if (field.find_first_of("lzjt") != std::string::npos)
            both(static_cast<long long>(value));
        else
            both(static_cast<int>(value));
    }
}

// Floating conversions: the C library makes the digits, the engine the
// sign, width, padding and justification, which must come out as the C
// library's own, "*" arguments (negative ones too) and long double
// included, texts longer than the work buffer too.
TEST(KelvoPrint, FloatsMatchTheCLibrary)
{
    std::mt19937_64 rng(20260102);
    auto pick = [&](int n) { return static_cast<int>(rng() % static_cast<uint64_t>(n)); };
    const double specials[] = {0.0, -0.0, 1.0 / 0.0, -1.0 / 0.0, __builtin_nan(""), -__builtin_nan(""),
                               1e308, 4.9e-324, 0.5, 9.9999995, 123456789.0};
    for (int iter = 0; iter < 20000 && !HasFatalFailure(); ++iter) {
        std::string format = "%";
        for (const char flag : {'-', '+', ' ', '0', '#'})
            if (pick(4) == 0)
                format += flag;
        const bool starWidth = pick(4) == 0;
        const bool starPrecision = pick(4) == 0;
        if (starWidth)
            format += '*';
        else if (pick(2) != 0)
            format += std::to_string(pick(60));
        if (starPrecision)
            format += ".*";
        else if (pick(2) != 0)
            format += "." + std::to_string(pick(40));
        const bool longDouble = pick(4) == 0;
        if (longDouble)
            format += 'L';
        format += "eEfFgG"[pick(6)];
        format += '|';

        double value = 0;
        if (pick(3) == 0) {
            value = specials[pick(static_cast<int>(std::size(specials)))];
        } else {
            const uint64_t bits = rng();
            std::memcpy(&value, &bits, sizeof value);
            if (pick(2) != 0)
                value = std::ldexp(static_cast<double>(static_cast<int64_t>(bits >> 11)) / 0x1p52, pick(80) - 40);
        }
        const int width = pick(121) - 60;
        const int precision = pick(46) - 5;
        const char *f = format.c_str();
        SCOPED_TRACE(format + " width " + std::to_string(width) + " precision " + std::to_string(precision));
        auto withValue = [&](auto v) {
            if (starWidth && starPrecision)
                ASSERT_EQ(F(f, width, precision, v), C(f, width, precision, v));
            else if (starWidth)
                ASSERT_EQ(F(f, width, v), C(f, width, v));
            else if (starPrecision)
                ASSERT_EQ(F(f, precision, v), C(f, precision, v));
            else
                ASSERT_EQ(F(f, v), C(f, v));
        };
        if (longDouble)
            withValue(static_cast<long double>(value) * (pick(2) != 0 ? 1e300L : 1.0L));
        else
            withValue(value);
    }
}

} // namespace

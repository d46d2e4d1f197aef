// Formatted input: fields, widths and capacities, the integer overflow
// table, floats, results, the capacity wrapper, and a randomized
// comparison with the C library on integer fields.
#include <gtest/gtest.h>

#include <climits>
#include <clocale>
#include <cstdio>
#include <cstring>
#include <random>
#include <string>

#include "kelvo/kelvo.h"
#include "support/oracle.h"

namespace {

// Results by how the scan ended (two int destinations).
TEST(KelvoScan, Results)
{
    // 256 completed conversions when the input ends: the count does not
    // wrap to "none completed"; nor does the count of characters read.
    std::string skip256;
    for (int i = 0; i < 256; ++i)
        skip256 += "%*c";
    const std::string as256(256, 'a'), skipMore = skip256 + "%*c", countAll = skip256 + "%n";
    struct Case { const char *input, *format; int want, a, b; };  // a, b: afterwards
    const Case cases[] = {
        {"3:7", "%u:%u", 2, 3, 7},
        {"3", "%u:%u", 1, 3, 222},
        {"x", "%u:%u", 0, 111, 222},
        {"", "%u", -1, 111, 222},
        {"   ", "%u", -1, 111, 222},
        {"1", "", 0, 111, 222},
        {"%", "%%", 0, 111, 222},
        {"x", "%%", -1, 111, 222},
        {"5 x", "%u %%", -1, 5, 222},
        {"5", "%u%", 1, 5, 222},  // the input ended before the lone "%"
        {"5 6", "%u%", -1, 5, 222},
        {"1 2", "%*d %d", 1, 2, 222},
        {"ab", "a%*cx", 0, 111, 222},
        {"ab", "a%*c", 0, 111, 222},
        {"99999999999999999999 5", "%d %d", 2, -1, 5},
        {"12", "%0d", 0, 111, 222},
        {"-", "%d", -1, 111, 222},
        {"-x", "%d", 0, 111, 222},
        {"0x", "%x", -1, 111, 222},
        // A lead byte that ends the format matches its one input byte and
        // the scan stops at the format's terminator.
        {"\xC3", "\xC3", 0, 111, 222},
        {"5\xC3", "%d\xC3", 1, 5, 222},
        {"5\xC3\xA9" "6", "%d\xC3\xA9%d", 2, 5, 6},
        {"5\xC3\xA8" "6", "%d\xC3\xA9%d", 1, 5, 222},
        {"  12 ab", "%d %n", 1, 12, 5},
        {as256.c_str(), skipMore.c_str(), 0, 111, 222},
        {as256.c_str(), countAll.c_str(), 0, 256, 222},
    };
    for (const Case &c : cases) {
        int a = 111;
        int b = 222;
        EXPECT_EQ(sscanf_s(c.input, kelvo_runtime_fmt(c.format), &a, &b), c.want) << c.input << " " << c.format;
        EXPECT_EQ(a, c.a) << c.input << " " << c.format;
        EXPECT_EQ(b, c.b) << c.input << " " << c.format;
    }
    int a = 0;
    int *none = nullptr;
    EXPECT_EQ(sscanf_s(nullptr, "%u", &a), -1);
    EXPECT_EQ(sscanf_s("1", nullptr, &a), -1);
    EXPECT_EQ(sscanf_s("1 2", "%d %d", &a, none), -1);
}

TEST(KelvoScan, StringsCharactersAndSets)
{
    struct Case { const char *input, *format; unsigned size; int want; const char *stored; };  // nullptr: untouched
    const Case cases[] = {
        {"abc def", "%s", 4, 1, "abc"},
        {"abc def", "%s", 3, 0, ""},
        {"abc def", "%s", 0, 0, nullptr},
        {"", "%s", 8, -1, ""},
        {"", "%c", 8, -1, ""},
        {"  abc", "%2s", 8, 1, "ab"},
        {" xy", "%c", 8, 1, " ZZZ"},  // no white-space skip, no terminator
        {"abcd", "%3c", 8, 1, "abcZ"},
        {"abcd", "%3c", 3, 1, "abcZ"},  // no room kept for a terminator
        {"abcd", "%3c", 2, 0, ""},
        {"abcd", "%[a-c]", 8, 1, "abc"},
        {"ab:c", "%[^:]", 8, 1, "ab"},
        {"]a]b", "%[]a]", 8, 1, "]a]"},
        {"a-b-", "%[-ab]", 8, 1, "a-b-"},
        {"ca-b", "%[c-a]", 8, 1, "ca-"},  // a falling range adds its end and "-"
        {"zz", "%[a-c]", 8, 0, nullptr},
        {"abc", "%[abc", 8, 0, ""},
        {"abc", "%0s", 8, 0, nullptr},
        {"abcdef", "%s", 0x80000000u, 0, nullptr},
        // Empty input clears the first string destination of the format.
        {"", "x %5s", 8, -1, ""},
        {"", "%[a-z]", 8, -1, ""},
        {"", "%[a-z", 8, -1, nullptr},
        {"", "%*s %s", 0, -1, nullptr},
    };
    for (const Case &c : cases) {
        char buf[16];
        std::strcpy(buf, "ZZZZ");
        EXPECT_EQ(sscanf_s(c.input, kelvo_runtime_fmt(c.format), buf, c.size), c.want) << c.input << " " << c.format;
        EXPECT_STREQ(buf, c.stored != nullptr ? c.stored : "ZZZZ") << c.input << " " << c.format;
    }
    // Wide destinations: sizes count 4-byte characters, emptied by clearing
    // the whole first character.
    struct WideCase { const char *input, *format; unsigned size; int want; const wchar_t *stored; };
    const WideCase wideCases[] = {
        {"hi there", "%ls", 8, 1, L"hi"},
        {"q", "%C", 8, 1, L"qZZ"},
        {"\xE9", "%S", 8, 1, L"?"},  // no conversion in the C locale
        {"abc", "%S", 0x20000000u, 0, L"\x2200ZZ"},
        {"", "%ls", 4, -1, L""},
        {"", "%ls", 1, -1, L""},
        {"x", "%l[x", 1, 0, L""},
    };
    for (const WideCase &c : wideCases) {
        wchar_t wide[8] = L"\x2200ZZ";  // a partial clear of the first character shows
        EXPECT_EQ(sscanf_s(c.input, kelvo_runtime_fmt(c.format), wide, c.size), c.want) << c.input << " " << c.format;
        EXPECT_EQ(std::wstring(wide), c.stored) << c.input << " " << c.format;
    }
}

// The integer reader's own rules: the overflow table beyond 64 bits, the
// 2^32 edge of a negative unsigned int, size letters, prefixes within a
// width. Values within 64 bits are left to the comparison below.
TEST(KelvoScan, Integers)
{
    struct Case { const char *input, *format; int width; int64_t want; };  // width: the destination's bytes
    const Case cases[] = {
        {"99999999999999999999", "%d", 4, -1},
        {"-99999999999999999999", "%d", 4, 0},
        {"-4294967296", "%u", 4, 0},
        {"-4294967297", "%u", 4, 0xFFFFFFFF},
        {"2000000000000000000000", "%o", 4, 0xFFFFFFFF},  // 2^64: octal overflow
        {"99999999999999999999", "%lld", 8, INT64_MAX},
        {"-99999999999999999999", "%lld", 8, INT64_MIN},
        {"18446744073709551615", "%llu", 8, -1},
        {"18446744073709551616", "%llu", 8, -1},
        {"123456789abcdef01", "%llx", 8, -1},
        {"0X1a", "%X", 4, 26},
        {"0x7", "%1x", 4, 0},
        {"abc", "%p", 8, 0xABC},
        {"5", "%I64d", 8, 5},
        {"5", "%I32d", 4, 5},
        {"5", "%jd", 8, 5},
    };
    for (const Case &c : cases) {
        unsigned char buf[8];
        std::memset(buf, 0x5A, sizeof buf);
        EXPECT_EQ(sscanf_s(c.input, kelvo_runtime_fmt(c.format), buf), 1) << c.input << " " << c.format;
        int64_t got = 0;
        if (c.width == 4) {
            int32_t v;
            std::memcpy(&v, buf, 4);
            got = c.format[1] == 'd' ? int64_t{v} : int64_t{static_cast<uint32_t>(v)};
            EXPECT_EQ(buf[4], 0x5A) << c.input << " " << c.format;
        } else {
            std::memcpy(&got, buf, 8);
        }
        EXPECT_EQ(got, c.want) << c.input << " " << c.format;
    }
    int a = 0;
    char rest[8];
    EXPECT_EQ(sscanf_s("19", "%o%s", &a, rest, 8u), 2);  // octal stops at "9"
    EXPECT_EQ(a, 1);
    EXPECT_STREQ(rest, "9");
    int64_t wide = -1;
    EXPECT_EQ(sscanf_s("7u", "%Iu", &wide), 1);  // "I" alone: 64 bits, then a literal "u"
    EXPECT_EQ(wide, 7);
    EXPECT_EQ(sscanf_s("7x", "%Iu", &wide), 1);
}

TEST(KelvoScan, CharacterCountsAndFloats)
{
    // At the end of the input the scan goes on into a "%n" of any size.
    int v = 0;
    long long n64 = -1;
    EXPECT_EQ(sscanf_s("123", "%d%lln", &v, &n64), 1);
    EXPECT_EQ(n64, 3);
    EXPECT_EQ(sscanf_s("1234", "%d%I64n", &v, &n64), 1);
    EXPECT_EQ(n64, 4);

    // The destination by size letter: L long double, l double, else float.
    const std::string longNumber = "1" + std::string(2000, '0') + "e-2000";  // beyond the stack buffer
    struct Case { const char *input, *format; int want; long double value; };  // value: when want is 1
    const Case cases[] = {
        {"1.5e3", "%f", 1, 1500}, {"-2.25", "%lf", 1, -2.25}, {"+.5E-1", "%Lf", 1, 0.05L},
        {"3e", "%lf", 1, 3},      {"1.25x", "%3lf", 1, 1.2},  {"1 2.5", "%*f %lf", 1, 2.5},
        {".", "%f", -1, 0},       {".x", "%f", 0, 0},         {longNumber.c_str(), "%lf", 1, 1},
    };
    for (const Case &c : cases) {
        alignas(16) unsigned char buf[16] = {};
        EXPECT_EQ(sscanf_s(c.input, kelvo_runtime_fmt(c.format), buf), c.want) << c.format;
        long double got = 0;
        if (std::strchr(c.format, 'L') != nullptr) {
            std::memcpy(&got, buf, sizeof got);
        } else if (std::strchr(c.format, 'l') != nullptr) {
            double d;
            std::memcpy(&d, buf, sizeof d);
            got = d;
        } else {
            float f;
            std::memcpy(&f, buf, sizeof f);
            got = f;
        }
        EXPECT_EQ(got, c.want == 1 ? c.value : 0) << c.input << " " << c.format;
    }
    double d = 0;
    char rest[8];
    EXPECT_EQ(sscanf_s("7.5,1", "%lf,%s", &d, rest, 8u), 2);
    EXPECT_STREQ(rest, "1");
}

// Floats print and scan with "." whatever the caller's locale.
TEST(KelvoScan, FloatsUseThePointInEveryLocale)
{
    locale_t comma = locale_t{};
    for (const char *name : {"de_DE.UTF-8", "de_DE.utf8", "fr_FR.UTF-8", "fr_FR.utf8", "de_DE", "fr_FR"})
        if ((comma = newlocale(LC_ALL_MASK, name, locale_t{})) != locale_t{})
            break;
    if (comma == locale_t{})
        GTEST_FAIL() << oracle_missing("de_DE.UTF-8 locale", "locales and generate de_DE.UTF-8 (scripts/setup does)");
    const locale_t old = uselocale(comma);
    double d = 0;
    const int scanned = sscanf_s("2.5", "%lf", &d);
    char out[32];
    const int printed = sprintf_s(out, sizeof out, "%.1f|%#.0e|%g", 2.5, 3.0, 0.25);
    uselocale(old);
    freelocale(comma);
    EXPECT_EQ(scanned, 1);
    EXPECT_EQ(d, 2.5);
    EXPECT_EQ(printed, 15);
    EXPECT_STREQ(out, "2.5|3.e+00|0.25");
}

// Multibyte paths under a UTF-8 locale of this thread.
TEST(KelvoScan, Utf8LocaleMultibyteText)
{
    const locale_t utf8 = newlocale(LC_ALL_MASK, "C.UTF-8", locale_t{});
    if (utf8 == locale_t{})
        GTEST_FAIL() << oracle_missing("C.UTF-8 locale", "libc-bin");
    const locale_t old = uselocale(utf8);
    int a = 0;
    int b = 0;
    int n = 0;
    // A three-byte character in the format matches as one character.
    EXPECT_EQ(sscanf_s("5\xE2\x82\xAC" "6", "%d\xE2\x82\xAC%d%n", &a, &b, &n), 2);
    EXPECT_EQ(b, 6);
    EXPECT_EQ(n, 3);
    EXPECT_EQ(sscanf_s("5\xE2\x82\xAD" "6", "%d\xE2\x82\xAC%d", &a, &b), 1);
    wchar_t wide[4] = {};
    EXPECT_EQ(sscanf_s("\xC3\xA9t\xC3", "%ls", wide, 4u), 1);
    EXPECT_EQ(std::wstring(wide), L"\u00E9t?");
    EXPECT_EQ(sscanf_s("\xE2\x82\xAC" "ab", "%ls", wide, 2u), 0);  // too long: emptied whole
    EXPECT_EQ(wide[0], L'\0');
    char out[16];
    EXPECT_EQ(sprintf_s(out, sizeof out, "%ls|%lc", L"\u00E9", static_cast<wint_t>(0x20AC)), 6);
    EXPECT_STREQ(out, "\xC3\xA9|\xE2\x82\xAC");
    uselocale(old);
    freelocale(utf8);
}

// The compile-time checks and the engine walk one grammar: given exactly
// the destinations the checks count, then a null one, an input that every
// conversion matches fills them all and never reaches the null one.
TEST(KelvoScan, TheChecksAndTheEngineWalkOneGrammar)
{
    auto taken = [](const char *format) {
        kelvo_detail::FmtVerdict v;
        kelvo_detail::walk_scan(format, v);
        return v.faulty ? SIZE_MAX : v.taken;
    };
    struct Row {
        const char *format;
        const char *input;
        size_t taken;  // arguments, capacities included; -1: faulty
        int fields;
    };
    uint64_t a = 0, b = 0;  // room for the widest integer
    char text[8] = {};
    const Row rows[] = {
        {"%u:%x", "1:2", 2, 2},
        {"%*u %I64x", "1 2", 1, 1},
        {"%s", "ab", 2, 1},
        {"%3c|%%%Iu", "abc|%5", 3, 2},
        {"%[a-c]%hhu", "ab7", 3, 2},
        {"%[]x]%n", "]x", 3, 1},  // "%n" is no field
        {"%5F%N", "%N", 0, 0},    // "%" and "N" to match
        {"%[ab", "a", SIZE_MAX, 0},
    };
    for (const Row &row : rows) {
        EXPECT_EQ(taken(row.format), row.taken) << row.format;
        if (row.taken == SIZE_MAX)
            continue;
        // Integer destinations get `a` and `b`, character ones `text` with
        // its capacity; the first argument past the count is null.
        const char *f = row.format;
        int r = 0;
        switch (row.taken) {
        case 0: r = sscanf_s(row.input, kelvo_runtime_fmt(f), nullptr); break;
        case 1: r = sscanf_s(row.input, kelvo_runtime_fmt(f), &a, nullptr); break;
        case 2:
            r = row.format[1] == 's' ? sscanf_s(row.input, kelvo_runtime_fmt(f), text, 8u, nullptr)
                                     : sscanf_s(row.input, kelvo_runtime_fmt(f), &a, &b, nullptr);
            break;
        default:
            r = sscanf_s(row.input, kelvo_runtime_fmt(f), text, 8u, &a, nullptr);
            break;
        }
        EXPECT_EQ(r, row.fields) << row.format;
    }
}

// Capacities of any integer type reach the engine unharmed; other
// argument types do not compile.
TEST(KelvoScan, CapacityArgumentsOfAnyIntegerType)
{
    static_assert(!kelvo_detail::scan_arg_ok<double>);
    static_assert(!kelvo_detail::scan_arg_ok<bool>);
    static_assert(!kelvo_detail::scan_arg_ok<std::string>);
    static_assert(!kelvo_detail::scan_arg_ok<const char *>);  // a literal as destination
    static_assert(!kelvo_detail::scan_arg_ok<void (*)()>);
    static_assert(kelvo_detail::scan_capacity(-1) == 0u);
    static_assert(kelvo_detail::scan_capacity(size_t{1} << 32) == UINT_MAX);

    char buf[6];
    char second[4];
    EXPECT_EQ(sscanf_s("abc de", "%s %s", buf, sizeof buf, second, sizeof second), 2);
    EXPECT_STREQ(buf, "abc");
    EXPECT_STREQ(second, "de");
    // A size_t that a plain cut to 32 bits would turn into 4 is refused.
    std::strcpy(buf, "ZZ");
    EXPECT_EQ(sscanf_s("abcdefgh", "%s", buf, (size_t{1} << 32) + 4), 0);
    EXPECT_STREQ(buf, "ZZ");
    EXPECT_EQ(sscanf_s("abc", "%s", buf, -3), 0);
    EXPECT_EQ(sscanf_s("abc", "%s", buf, 4LL), 1);
    EXPECT_EQ(sscanf_s("ab", "%s", nullptr, 4), -1);
}

// Integer fields against the C library, where both give the same result:
// values within 64 bits, widths of at least 1, and a "0x" prefix only
// where a digit follows it within the width (otherwise the C library takes
// the lone "0").
TEST(KelvoScan, IntegersMatchTheCLibrary)
{
    std::mt19937_64 rng(7);
    auto pick = [&](int n) { return static_cast<int>(rng() % static_cast<uint64_t>(n)); };
    const char *sizes[] = {"hh", "h", "", "l", "ll"};
    for (int iter = 0; iter < 20000; ++iter) {
        const int fields = 1 + pick(3);
        char letters[3];
        int sizeIndex[3];
        bool unsignedInt = false;
        // A width may hand a field's text to another field: with "0x"
        // prefixes in the input, every width leaves room for sign, prefix
        // and a digit.
        const bool prefixes = pick(2) != 0;
        for (int i = 0; i < fields; ++i) {
            letters[i] = "diuox"[pick(5)];
            sizeIndex[i] = pick(5);
            unsignedInt |= sizeIndex[i] == 2 && letters[i] != 'd' && letters[i] != 'i';
        }
        std::string format;
        std::string input;
        for (int i = 0; i < fields; ++i) {
            const char letter = letters[i];
            input += std::string(static_cast<size_t>(pick(3)), ' ');
            const std::string sign = pick(4) != 0 ? "" : pick(2) != 0 ? "-" : "+";
            // "i" reads decimal, octal after "0" or hexadecimal after "0x";
            // "x" takes an optional "0x".
            const int kind = letter == 'i' ? pick(prefixes ? 3 : 2) : letter == 'x' && prefixes ? 2 * pick(2) : 0;
            const std::string prefix = kind == 1 ? "0" : kind == 2 ? (pick(2) != 0 ? "0x" : "0X") : "";
            const bool hex = letter == 'x' || kind == 2;
            const bool octal = letter == 'o' || kind == 1;
            const int width = pick(2) == 0 ? 0 : prefixes ? 4 + pick(22) : 1 + pick(25);
            format += "%" + (width != 0 ? std::to_string(width) : "") + sizes[sizeIndex[i]] + letter;
            format += i + 1 < fields ? (pick(2) != 0 ? ":" : " ") : "";

            const char *digitSet = octal ? "01234567" : hex ? "0123456789abcdefABCDEF" : "0123456789";
            // Below zero, an unsigned int keeps -V only while V fits 32 bits
            // (beyond, it stores all ones where the C library keeps low bits);
            // a width may hand this text to another field, of another base.
            const int maxDigits = sign == "-" && unsignedInt ? 8 : octal ? 21 : hex ? 16 : 19;
            const int count = 1 + pick(maxDigits);
            input += sign + prefix;
            for (int k = 0; k < count; ++k) {
                char ch = digitSet[pick(static_cast<int>(std::strlen(digitSet)))];
                // No leading "0" where it would start a prefix, and no
                // octal value beyond 64 bits.
                if (k == 0 && ((letter == 'i' && kind == 0) || (letter == 'x' && kind == 0 && ch == '0') ||
                               (octal && count == 21)))
                    ch = '1';
                input += ch;
            }
            input += pick(2) != 0 ? ":" : " ";
        }
        if (pick(3) == 0)
            input += "tail";
        unsigned char mine[3][8];
        unsigned char ref[3][8];
        std::memset(mine, 0x5A, sizeof mine);
        std::memset(ref, 0x5A, sizeof ref);
        const int r1 = sscanf_s(input.c_str(), kelvo_runtime_fmt(format.c_str()), mine[0], mine[1], mine[2]);
        // The reference reading of the same random format.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
        const int r2 = std::sscanf(input.c_str(), format.c_str(), ref[0], ref[1], ref[2]);
#pragma GCC diagnostic pop
        ASSERT_EQ(r1, r2) << "input '" << input << "' format '" << format << "'";
        ASSERT_EQ(std::memcmp(mine, ref, sizeof mine), 0) << "input '" << input << "' format '" << format << "'";
    }
}

} // namespace

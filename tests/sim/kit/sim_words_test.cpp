// The word readers every device model's fixture lines share.
#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "sim/kit/sim_words.h"

namespace {

template <typename T> std::optional<T> read_as(const char *text)
{
    T v{};
    return sim_number(text, v) ? std::optional<T>(v) : std::nullopt;
}

// Each word read as a byte, a signed 16-bit and an unsigned 32-bit number.
TEST(SimWords, NumbersFitTheirType)
{
    struct Case {
        const char *word;
        std::optional<uint8_t> u8;
        std::optional<int16_t> s16;
        std::optional<uint32_t> u32;
    } cases[] = {
        {"0", 0, 0, 0u},
        {"255", 255, 255, 255u},
        {"0xff", 255, 255, 255u},
        {"0X1F", 0x1F, 0x1F, 0x1Fu},
        {"256", std::nullopt, 256, 256u},
        {"-1", std::nullopt, -1, std::nullopt},
        {"-0x8000", std::nullopt, INT16_MIN, std::nullopt},
        {"-32769", std::nullopt, std::nullopt, std::nullopt},
        {"32768", std::nullopt, std::nullopt, 32768u},
        {"0x100000000", std::nullopt, std::nullopt, std::nullopt},
        {"", std::nullopt, std::nullopt, std::nullopt},
        {"-", std::nullopt, std::nullopt, std::nullopt},
        {"0x", std::nullopt, std::nullopt, std::nullopt},
        {"12z", std::nullopt, std::nullopt, std::nullopt},
        {"+5", std::nullopt, std::nullopt, std::nullopt},
        {" 5", std::nullopt, std::nullopt, std::nullopt},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.word);
        EXPECT_EQ(read_as<uint8_t>(c.word), c.u8);
        EXPECT_EQ(read_as<int16_t>(c.word), c.s16);
        EXPECT_EQ(read_as<uint32_t>(c.word), c.u32);
    }
    EXPECT_EQ(read_as<int64_t>("-0x8000000000000000"), INT64_MIN);
    EXPECT_EQ(read_as<uint64_t>("0xffffffffffffffff"), UINT64_MAX);
}

TEST(SimWords, NumberListsNameTheFirstBadWord)
{
    const std::vector<std::string> w = {"verb", "1", "0x20", "300", "zz", "7"};
    std::vector<uint64_t> n;
    size_t bad = 0;
    EXPECT_TRUE(sim_numbers(w, 1, 4, n, &bad));
    EXPECT_EQ(n, (std::vector<uint64_t>{1, 0x20, 300}));
    n.clear();
    EXPECT_FALSE(sim_numbers(w, 1, 6, n, &bad));
    EXPECT_EQ(bad, 4u);
    n.clear();
    EXPECT_FALSE(sim_numbers(w, 1, 4, n, &bad, 0xFF));  // 300 is no byte
    EXPECT_EQ(bad, 3u);
    EXPECT_TRUE(sim_numbers(w, 2, 2, n, &bad));
}

TEST(SimWords, ByteListsAreDigitPairs)
{
    struct Case {
        const char *word;
        bool ok;
        std::vector<uint8_t> bytes;
    } cases[] = {
        {"", true, {}},
        {"00ff10", true, {0x00, 0xFF, 0x10}},
        {"A5", true, {0xA5}},
        {"abc", false, {}},
        {"0g", false, {}},
        {"+f", false, {}},
        {"-1", false, {}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.word);
        std::vector<uint8_t> out = {0x77};  // appended to
        EXPECT_EQ(sim_hex_bytes(c.word, out), c.ok);
        if (c.ok) {
            EXPECT_EQ(std::vector<uint8_t>(out.begin() + 1, out.end()), c.bytes);
        }
    }
}

TEST(SimWords, TextsAndErrorLines)
{
    std::string text;
    EXPECT_TRUE(sim_text("\"a\\tb\\x41\"", text));
    EXPECT_EQ(text, "a\tbA");
    EXPECT_FALSE(sim_text("bare", text));
    EXPECT_FALSE(sim_text("\"open", text));
    EXPECT_EQ(sim_line_error("board.fix", 12, "no node /dev/x"), "board.fix:12: no node /dev/x");
    // The file's name is escaped whole: the error stays one line.
    EXPECT_EQ(sim_line_error("a\nb\x1b'\\.fix", 1, "m"), "a\\x0ab\\x1b\\x27\\\\.fix:1: m");
}

} // namespace

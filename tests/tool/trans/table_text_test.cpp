// The record text form both ways and the status word of a read.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "support/console_run.h"
#include "tool/trans/table_text.h"

namespace {

std::vector<uint8_t> seq(size_t n, uint8_t first)
{
    std::vector<uint8_t> v(n);
    for (size_t i = 0; i < n; i++)
        v[i] = static_cast<uint8_t>(first + i);
    return v;
}

TEST(TableText, WritesEachWholeGroupMostSignificantByteFirst)
{
    std::vector<uint8_t> key16 = seq(16, 1), key40 = seq(40, 0), act = seq(8, 0xA0), info = seq(8, 0xF0);
    struct Case {
        TableAscRecord rec;
        std::string text;
    };
    std::string k40 = "K0706050403020100" "0f0e0d0c0b0a0908" "1716151413121110" "1f1e1d1c1b1a1918"
                      "2726252423222120;";
    const Case cases[] = {
        {{key16.data(), nullptr, nullptr, nullptr, 16, 0, 0}, "K0807060504030201100f0e0d0c0b0a09;"},
        {{key40.data(), nullptr, nullptr, nullptr, 40, 0, 0}, k40},
        {{key16.data(), key16.data(), act.data(), info.data(), 12, 8, 8},   // bytes past the last group dropped
         "K0807060504030201;M0807060504030201;Ta7a6a5a4a3a2a1a0;If7f6f5f4f3f2f1f0;"},
        {{key16.data(), nullptr, act.data(), nullptr, 7, 8, 0}, "K;Ta7a6a5a4a3a2a1a0;"},   // below 8: letter only
        {{nullptr, nullptr, nullptr, info.data(), 0, 0, 8}, "If7f6f5f4f3f2f1f0;"},
    };
    for (const Case &c : cases) {
        char text[200];
        ASSERT_EQ(convert_data_to_ascstr(&c.rec, text, sizeof text), 0);
        EXPECT_EQ(std::string(text), c.text);
    }
    char small[10];
    TableAscRecord rec{key16.data(), nullptr, nullptr, nullptr, 16, 0, 0};
    EXPECT_EQ(convert_data_to_ascstr(&rec, small, sizeof small), -1202);
    EXPECT_STREQ(small, "");
}

// The text and its ending zero fit a buffer of the text's length plus one;
// a buffer one byte shorter is refused, and nothing lands past its end.
TEST(TableText, WriterBufferOfTheTextLengthPlusOneAndOfTheLength)
{
    std::vector<uint8_t> key16 = seq(16, 0x31), act = seq(8, 0xA0), info = seq(8, 0xC8);
    struct Case {
        TableAscRecord rec;
        std::string text;
    };
    const Case cases[] = {
        {{key16.data(), nullptr, nullptr, nullptr, 16, 0, 0}, "K3837363534333231403f3e3d3c3b3a39;"},
        {{key16.data(), key16.data(), act.data(), info.data(), 8, 8, 8},
         "K3837363534333231;M3837363534333231;Ta7a6a5a4a3a2a1a0;Icfcecdcccbcac9c8;"},
        {{nullptr, nullptr, act.data(), nullptr, 0, 8, 0}, "Ta7a6a5a4a3a2a1a0;"},
        {{key16.data(), nullptr, nullptr, nullptr, 4, 0, 0}, "K;"},
    };
    for (const Case &c : cases) {
        const size_t len = c.text.size();
        std::vector<char> buf(len + 8, 'Z');
        ASSERT_EQ(convert_data_to_ascstr(&c.rec, buf.data(), len + 1), 0) << c.text;
        EXPECT_EQ(std::string(buf.data()), c.text);
        EXPECT_EQ(buf[len + 1], 'Z') << c.text;

        std::fill(buf.begin(), buf.end(), 'Z');
        EXPECT_EQ(convert_data_to_ascstr(&c.rec, buf.data(), len), -1202) << c.text;
        EXPECT_EQ(buf[0], '\0') << c.text;
        EXPECT_EQ(std::string(buf.begin() + static_cast<long>(len), buf.end()), std::string(8, 'Z')) << c.text;
    }
}

TEST(TableText, ReadsFieldsInTextOrderAndRefusesBadText)
{
    struct Case {
        const char *text;
        uint32_t keyMax, actMax;   // 0: that buffer absent
        int32_t ret;
        std::vector<uint8_t> key, act;   // bytes expected at the front
        const char *printed;
    };
    const Case cases[] = {
        {"K;M;T0102;I;", 40, 8, 0, {}, {1, 2}, ""},
        {"K0102030405060708090a0b0c0d0e0f10;", 16, 8, 0, seq(16, 1), {}, ""},
        {"T0AfF;", 0, 8, 0, {}, {0x0A, 0xFF}, ""},
        {"", 40, 8, 0, {}, {}, ""},
        {"K0102", 2, 8, -1202, {1, 2}, {}, "param too long\nparse_asc_by_byte parse key failed"},
        {"K01;", 0, 8, -1202, {}, {}, "point is null!\nparse_asc_by_byte parse key failed"},
        {"T0102;", 40, 0, -1202, {}, {}, "point is null!\nparse_asc_by_byte parse act failed"},
        {"I1;", 40, 8, -1202, {}, {}, "param error, iRet = 0\n\nparse_asc_by_byte parse info failed"},
        {"K0g;", 40, 8, -1202, {}, {}, "param error"},
        {"K01", 40, 8, -1202, {1}, {}, "param error"},   // no ";" before the end
        {"K0", 40, 8, -1202, {}, {}, "param error"},
        {"X01;", 40, 8, -1202, {}, {}, "Unknown field X"},
        {"K01;;", 40, 8, -1202, {1}, {}, "Unknown field ;"},
    };
    for (const Case &c : cases) {
        uint8_t key[40] = {}, mask[40] = {}, act[8] = {}, info[8] = {};
        ConsoleRun r = console_run([&] {
            return parse_ascii(c.text, c.keyMax ? key : nullptr, mask, c.actMax ? act : nullptr, info, c.keyMax, 40,
                               c.actMax, 8);
        });
        EXPECT_EQ(r.status, c.ret) << c.text;
        EXPECT_NE(r.out.find(c.printed), std::string::npos) << c.text << "\n" << r.out;
        EXPECT_EQ(std::vector<uint8_t>(key, key + c.key.size()), c.key) << c.text;
        EXPECT_EQ(std::vector<uint8_t>(act, act + c.act.size()), c.act) << c.text;
    }
}

TEST(TableText, TextWrittenFromSwappedWordsReadsBackTheSame)
{
    const char *text = "K00000000000000010102030405060708;T8000000000000000;";
    uint8_t key[16] = {}, act[8] = {};
    ASSERT_EQ(parse_ascii(text, key, nullptr, act, nullptr, 16, 0, 8, 0), 0);
    table_swap_groups(key, sizeof key);
    table_swap_groups(act, sizeof act);
    uint64_t word;
    std::memcpy(&word, key, 8);
    EXPECT_EQ(word, 1u);   // an 8-byte key of value 1
    TableAscRecord rec{key, nullptr, act, nullptr, 16, 8, 0};
    char out[200];
    ASSERT_EQ(convert_data_to_ascstr(&rec, out, sizeof out), 0);
    EXPECT_STREQ(out, text);
}

TEST(TableText, ResultWordOfARead)
{
    struct Case {
        int32_t status;
        const char *word;
        const char *printed;
        bool kept;
    };
    const Case cases[] = {
        {0, "SUCCESS", "", true},
        {-1341, "INVREC", "The record inquried not exist, iRet = -1341, errno[", false},
        {-1, "FAILED", "Get Record function exe failed, iRet = -1, errno[", false},
    };
    for (const Case &c : cases) {
        void *buf = std::malloc(16);
        char word[kTableWordSize] = "";
        ConsoleRun r = console_run([&] {
            judge_lsinvalid_rec(c.status, &buf, word);
            return 0;
        });
        EXPECT_STREQ(word, c.word);
        EXPECT_EQ(r.out.rfind(c.printed, 0), 0u) << r.out;
        EXPECT_EQ(buf != nullptr, c.kept);
        std::free(buf);
    }
}

} // namespace

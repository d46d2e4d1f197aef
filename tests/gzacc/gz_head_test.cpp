// Gzip heads: the writer's heads accepted by gzip -t (which checks the head
// CRC), its refusals when a field does not fit, and the reader on heads
// made by gzip, gzip -n, pigz --comment and built FEXTRA/FHCRC heads.
#include <gtest/gtest.h>

#include <zlib.h>

#include <cstring>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "gzacc/gz_head.h"
#include "gz_test_util.h"

namespace {

using gztest::Bytes;
using gzacc::gz_head_info;

struct TmpDir {
    std::string path;
    TmpDir()
    {
        char tmpl[] = "/tmp/quorbix-gzhead-XXXXXX";
        path = mkdtemp(tmpl);
    }
    ~TmpDir() { gztest::shell("rm -rf '" + path + "'"); }
};

// A member: the given head, raw deflate of data, then CRC-32 and length.
Bytes member(const Bytes &head, const Bytes &data)
{
    Bytes out = head;
    z_stream z{};
    deflateInit2(&z, 6, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY);
    Bytes buf(deflateBound(&z, static_cast<uLong>(data.size())));
    z.next_in = const_cast<Bytef *>(data.data());
    z.avail_in = static_cast<uInt>(data.size());
    z.next_out = buf.data();
    z.avail_out = static_cast<uInt>(buf.size());
    deflate(&z, Z_FINISH);
    out.insert(out.end(), buf.begin(), buf.begin() + static_cast<long>(z.total_out));
    deflateEnd(&z);
    const auto crc = static_cast<uint32_t>(::crc32(0, data.data(), static_cast<uInt>(data.size())));
    for (uint32_t v : {crc, static_cast<uint32_t>(data.size())})
        for (int i = 0; i < 4; i++)
            out.push_back(static_cast<uint8_t>(v >> (8 * i)));
    return out;
}

uint8_t kExtra[] = {'Q', 'X', 4, 0, 1, 2, 3, 4};
uint8_t kName[] = "board.log";
uint8_t kComment[] = "written by a test";

gz_head_info full_head()
{
    gz_head_info h{};
    h.text = 1;
    h.time = 0x5F5E100;
    h.os = 3;
    h.extra = kExtra;
    h.extra_len = sizeof kExtra;
    h.name = kName;
    h.name_max = sizeof kName;
    h.comment = kComment;
    h.comm_max = sizeof kComment;
    h.hcrc = 1;
    return h;
}

TEST(GzHead, WrittenHeadsPassGzipAndReadBack)
{
    GZ_NEED_ORACLES();
    TmpDir dir;
    const Bytes data = gztest::text_input(5000);
    gz_head_info h = full_head();
    uint8_t buf[256] = {};
    const int len = gzacc::gz_head_write(&h, buf, sizeof buf);
    ASSERT_EQ(len, static_cast<int>(10 + 2 + sizeof kExtra + sizeof kName + sizeof kComment + 2));
    EXPECT_EQ(buf[3], 0x1F);
    Bytes file = member(Bytes(buf, buf + len), data);
    gztest::put_file(dir.path + "/h.gz", file);
    EXPECT_TRUE(gztest::gzip_accepts(dir.path + "/h.gz"));
    gztest::put_file(dir.path + "/want", data);
    EXPECT_TRUE(gztest::oracles_agree(dir.path + "/h.gz", dir.path + "/want"));

    gz_head_info r{};
    ASSERT_EQ(gzacc::gz_head_read(file.data(), file.size(), &r), 0);
    EXPECT_EQ(r.head_len, static_cast<uint32_t>(len));
    EXPECT_EQ(r.text, 1);
    EXPECT_EQ(r.time, 0x5F5E100u);
    EXPECT_EQ(r.extra_len, sizeof kExtra);
    EXPECT_EQ(std::memcmp(r.extra, kExtra, sizeof kExtra), 0);
    EXPECT_STREQ(reinterpret_cast<char *>(r.name), "board.log");
    EXPECT_STREQ(reinterpret_cast<char *>(r.comment), "written by a test");
    EXPECT_EQ(r.hcrc, 1);
    EXPECT_EQ(r.crc, buf[len - 2] | buf[len - 1] << 8);
    EXPECT_EQ(r.done, 1);

    file[static_cast<size_t>(len) - 1] ^= 0x40;   // a wrong head CRC is caught by gzip
    gztest::put_file(dir.path + "/bad.gz", file);
    EXPECT_FALSE(gztest::gzip_accepts(dir.path + "/bad.gz"));
}

TEST(GzHead, WriterRefusesFieldsThatDoNotFit)
{
    gz_head_info h = full_head();
    const size_t extraEnd = 12 + sizeof kExtra, nameEnd = extraEnd + sizeof kName,
                 commentEnd = nameEnd + sizeof kComment;
    const std::pair<size_t, int> cases[] = {
        {0, -2}, {9, -2}, {10, -3}, {extraEnd - 1, -3}, {extraEnd, -4}, {nameEnd - 1, -4},
        {nameEnd, -5}, {commentEnd - 1, -5}, {commentEnd, -6}, {commentEnd + 1, -6},
        {commentEnd + 2, static_cast<int>(commentEnd + 2)},
    };
    for (const auto &[cap, want] : cases) {
        std::vector<uint8_t> buf(cap + 1, 0xEE);
        EXPECT_EQ(gzacc::gz_head_write(&h, buf.data(), cap), want) << cap;
        EXPECT_EQ(buf[cap], 0xEE) << "written past the capacity " << cap;
    }
}

TEST(GzHead, ReaderOnHeadsOfOtherWriters)
{
    GZ_NEED_ORACLES();
    QUORBIX_NEED_TOOL("pigz", "pigz");
    TmpDir dir;
    gztest::put_file(dir.path + "/in.txt", gztest::text_input(3000));
    struct Case {
        const char *cmd;
        const char *name;
        const char *comment;
    } cases[] = {
        {"gzip -c in.txt > out.gz", "in.txt", nullptr},
        {"gzip -n -c in.txt > out.gz", nullptr, nullptr},
        {"pigz -c --comment 'from pigz' in.txt > out.gz", "in.txt", "from pigz"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.cmd);
        ASSERT_EQ(gztest::shell("cd '" + dir.path + "' && " + c.cmd), 0);
        const Bytes file = gztest::file_bytes(dir.path + "/out.gz");
        gz_head_info r{};
        ASSERT_EQ(gzacc::gz_head_read(file.data(), file.size(), &r), 0);
        EXPECT_EQ(r.name == nullptr, c.name == nullptr);
        if (c.name != nullptr) {
            EXPECT_STREQ(reinterpret_cast<char *>(r.name), c.name);
        }
        EXPECT_EQ(r.comment == nullptr, c.comment == nullptr);
        if (c.comment != nullptr) {
            EXPECT_STREQ(reinterpret_cast<char *>(r.comment), c.comment);
        }
        size_t expect = 10 + (c.name ? std::strlen(c.name) + 1 : 0) + (c.comment ? std::strlen(c.comment) + 1 : 0);
        EXPECT_EQ(r.head_len, expect);
        EXPECT_EQ(r.os, 3);
        Bytes got;
        EXPECT_TRUE(gztest::gunzip(file, got));
    }
}

TEST(GzHead, ReaderRefusesBytesThatEndTooSoon)
{
    const Bytes base = {31, 139, 8, 0, 1, 2, 3, 4, 0, 3};
    auto with = [&](uint8_t flg, const Bytes &tail) {
        Bytes b = base;
        b[3] = flg;
        b.insert(b.end(), tail.begin(), tail.end());
        return b;
    };
    const std::pair<Bytes, int> cases[] = {
        {Bytes{31, 139, 8}, -101},
        {Bytes(base.begin(), base.begin() + 9), -101},
        {with(0, {}), 0},
        {Bytes{31, 139, 9, 0, 0, 0, 0, 0, 0, 3}, -2},
        {Bytes{0x50, 0x4B, 3, 4, 0, 0, 0, 0, 0, 0}, -2},
        {with(gzacc::GZ_FLG_EXTRA, {}), -101},
        {with(gzacc::GZ_FLG_EXTRA, {5}), -101},
        {with(gzacc::GZ_FLG_EXTRA, {5, 0, 'a', 'b', 'c', 'd'}), -101},
        {with(gzacc::GZ_FLG_EXTRA, {0xFF, 0xFF, 'a'}), -101},
        {with(gzacc::GZ_FLG_EXTRA, {4, 0, 'a', 'b', 'c', 'd'}), 0},
        {with(gzacc::GZ_FLG_NAME, {}), -4},
        {with(gzacc::GZ_FLG_NAME, {'a', 'b'}), -101},
        {with(gzacc::GZ_FLG_NAME | gzacc::GZ_FLG_COMMENT, {'a', 0}), -4},
        {with(gzacc::GZ_FLG_COMMENT, {'c', 'c'}), -101},
        {with(gzacc::GZ_FLG_HCRC, {1}), -101},
        {with(gzacc::GZ_FLG_HCRC, {1, 2}), 0},
        {with(gzacc::GZ_FLG_EXTRA | gzacc::GZ_FLG_HCRC, {1, 0, 'x', 7}), -101},
    };
    for (size_t i = 0; i < std::size(cases); i++) {
        const auto &[bytes, want] = cases[i];
        // Copied so the sanitizers see any read past the bytes given.
        std::unique_ptr<uint8_t[]> exact(new uint8_t[bytes.size() + 1]);
        std::memcpy(exact.get(), bytes.data(), bytes.size());
        gz_head_info r{};
        testing::internal::CaptureStdout();
        EXPECT_EQ(gzacc::gz_head_read(exact.get(), bytes.size(), &r), want) << "case " << i;
        testing::internal::GetCapturedStdout();
        if (want == 0) {
            EXPECT_EQ(r.head_len, bytes.size()) << "case " << i;
        }
    }
    gz_head_info r{};
    EXPECT_EQ(gzacc::gz_head_read(nullptr, 10, &r), -101);
}

TEST(GzHead, ReaderPrintsEveryFieldAndOnlyTheExtraBytes)
{
    const Bytes head = {31, 139, 8, gzacc::GZ_FLG_EXTRA | gzacc::GZ_FLG_NAME, 0x78, 0x56, 0x34, 0x12, 2, 3,
                        3, 0, 'a', 'b', 'c', 'n', 'm', 0};
    gz_head_info r{};
    testing::internal::CaptureStdout();
    ASSERT_EQ(gzacc::gz_head_read(head.data(), head.size(), &r), 0);
    const std::string out = testing::internal::GetCapturedStdout();
    for (const char *line : {":head_print [ZLIB-INFO]gzhead->text      = 0\n",
                             "[ZLIB-INFO]gzhead->time      = 0x12345678\n", "[ZLIB-INFO]gzhead->xflags    = 0x2\n",
                             "[ZLIB-INFO] extra str: abc\n", "[ZLIB-INFO]gzhead->extra_len = 0x3\n",
                             "[ZLIB-INFO] name str: nm\n", "[ZLIB-INFO]gzhead->name_max  = 0x3\n",
                             "[ZLIB-INFO]gzhead->head_len  = 0x12\n\n", "[ZLIB-INFO]gzhead->isize     = 0x0\n\n"})
        EXPECT_NE(out.find(line), std::string::npos) << line << out;
    EXPECT_EQ(out.find("gzacc/gz_head.cpp:"), 0u);
}

}  // namespace

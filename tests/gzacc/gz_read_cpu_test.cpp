// CPU-mode reading as a black box against the linked zlib's own readers:
// the same bytes, results, end-of-file state and error codes for gzread in
// several chunkings, gzgets, gzgetc/gzungetc, gzseek and gzdirect, over
// members, garbage, plain data and broken files.
#include <gtest/gtest.h>

#include <zlib.h>

#include <string>
#include <vector>

#include "gzacc/gz_file.h"
#include "gz_test_util.h"
#include "support/sim_fixture.h"

namespace {

using gztest::Bytes;

Bytes deflate_member(const Bytes &data, int level = 6) { return gztest::zlib_deflate(data, level, 15 + 16); }

Bytes cat(std::initializer_list<Bytes> parts)
{
    Bytes b;
    for (const Bytes &p : parts)
        b.insert(b.end(), p.begin(), p.end());
    return b;
}

struct FileCase {
    const char *what;
    Bytes bytes;
};

std::vector<FileCase> file_cases()
{
    const Bytes text = gztest::text_input(50000), mixed = gztest::mixed_input(40000);
    Bytes truncated = deflate_member(mixed);
    truncated.resize(truncated.size() / 2);
    Bytes corrupt = deflate_member(mixed);
    corrupt[corrupt.size() / 2] ^= 0xFF;
    return {
        {"one member", deflate_member(text)},
        {"two members", cat({deflate_member(text), deflate_member(mixed, 1)})},
        {"trailing garbage", cat({deflate_member(text), Bytes{'j', 'u', 'n', 'k', '!'}})},
        {"trailing zeros", cat({deflate_member(text), Bytes(100, 0)})},
        {"empty member", deflate_member({})},
        {"plain text", gztest::text_input(30000)},
        {"one byte", Bytes{31}},
        {"empty file", {}},
        {"truncated", truncated},
        {"corrupt", corrupt},
    };
}

class GzReadCpuTest : public SimTest {
protected:
    void SetUp() override
    {
        SimTest::SetUp();
        testing::internal::CaptureStdout();   // the reader's trace lines
    }
    void TearDown() override
    {
        out_ = testing::internal::GetCapturedStdout();
        SimTest::TearDown();
    }
    gzacc::gz_file_state *ours(const FileCase &c, const char *mode = "rc")
    {
        gztest::put_file(root_ + "/f.gz", c.bytes);
        return gzacc::gzopen("/f.gz", mode);
    }
    gzFile theirs() { return ::gzopen((root_ + "/f.gz").c_str(), "r"); }
    std::string out_;
};

TEST_F(GzReadCpuTest, ReadsWhatZlibReadsInEveryChunking)
{
    const unsigned chunks[] = {1, 100, 8192, 16384, 200000};
    const unsigned buffers[] = {8192, 64};
    for (const FileCase &c : file_cases())
        for (unsigned chunk : chunks)
            for (unsigned bufsize : buffers) {
                if (chunk == 1 && c.bytes.size() > 60000)
                    continue;
                SCOPED_TRACE(std::string(c.what) + " chunk " + std::to_string(chunk) + " buffer " +
                             std::to_string(bufsize));
                gzacc::gz_file_state *f = ours(c);
                gzFile z = theirs();
                ASSERT_NE(f, nullptr);
                ASSERT_NE(z, nullptr);
                ASSERT_EQ(gzacc::gzbuffer(f, bufsize), ::gzbuffer(z, bufsize));
                std::vector<uint8_t> a(chunk), b(chunk);
                for (int guard = 0; guard < 200000; guard++) {
                    const int ra = gzacc::gzread(f, a.data(), chunk), rb = ::gzread(z, b.data(), chunk);
                    int ea = 0, eb = 0;
                    gzacc::gzerror(f, &ea);
                    ::gzerror(z, &eb);
                    ASSERT_EQ(ea, eb);
                    if (ea == Z_OK || ea == Z_BUF_ERROR) {   // newer zlib keeps bytes read before an error
                        ASSERT_EQ(ra, rb);
                        ASSERT_TRUE(ra <= 0 || std::equal(a.begin(), a.begin() + ra, b.begin()));
                        ASSERT_EQ(gzacc::gzeof(f), ::gzeof(z));
                    }
                    ASSERT_EQ(gzacc::gztell(f), ::gztell(z));
                    if (ra <= 0 || ea != Z_OK)
                        break;
                }
                EXPECT_EQ(gzacc::gzdirect(f), ::gzdirect(z));
                EXPECT_EQ(gzacc::gzclose(f), ::gzclose(z));
            }
}

TEST_F(GzReadCpuTest, LinesCharactersAndPushBackAsZlib)
{
    for (const FileCase &c : file_cases()) {
        SCOPED_TRACE(c.what);
        gzacc::gz_file_state *f = ours(c);
        gzFile z = theirs();
        ASSERT_NE(f, nullptr);
        for (int i = 0; i < 5; i++)
            EXPECT_EQ(gzacc::gzgetc(f), ::gzgetc(z));
        EXPECT_EQ(gzacc::gzungetc('x', f), ::gzungetc('x', z));
        EXPECT_EQ(gzacc::gzungetc('y', f), ::gzungetc('y', z));
        EXPECT_EQ(gzacc::gzungetc(-1, f), ::gzungetc(-1, z));
        const int sizes[] = {2, 10, 80, 1000};
        for (int round = 0; round < 400; round++) {
            char a[1000] = {}, b[1000] = {};
            const int n = sizes[round % 4];
            const char *ra = gzacc::gzgets(f, a, n), *rb = ::gzgets(z, b, n);
            ASSERT_EQ(ra == nullptr, rb == nullptr) << round;
            if (ra == nullptr)
                break;
            ASSERT_STREQ(a, b);
            ASSERT_EQ(gzacc::gzeof(f), ::gzeof(z));
        }
        EXPECT_EQ(gzacc::gzgetc(f), ::gzgetc(z));
        EXPECT_EQ(gzacc::gzclose(f), ::gzclose(z));
    }
}

// A push-back before anything was read has no buffer to go into yet: the
// buffers are made for it instead of writing before a null pointer.
TEST_F(GzReadCpuTest, PushBackBeforeTheFirstRead)
{
    const FileCase c{"text", deflate_member(gztest::text_input(1000))};
    gzacc::gz_file_state *f = ours(c);
    EXPECT_EQ(gzacc::gzungetc('Q', f), 'Q');
    EXPECT_EQ(gzacc::gztell(f), -1);
    EXPECT_EQ(gzacc::gzgetc(f), 'Q');
    char buf[10] = {};
    EXPECT_EQ(gzacc::gzread(f, buf, 9), 9);
    const Bytes want = gztest::text_input(9);
    EXPECT_EQ(std::string(buf), std::string(want.begin(), want.end()));
    EXPECT_EQ(gzacc::gzclose(f), Z_OK);
}

TEST_F(GzReadCpuTest, PushBackRunsOutOfRoomAsZlib)
{
    const FileCase c{"text", deflate_member(gztest::text_input(1000))};
    gzacc::gz_file_state *f = ours(c);
    gzFile z = theirs();
    gzacc::gzbuffer(f, 16);
    ::gzbuffer(z, 16);
    EXPECT_EQ(gzacc::gzgetc(f), ::gzgetc(z));
    for (int i = 0; i < 40; i++)
        ASSERT_EQ(gzacc::gzungetc('a' + i % 26, f), ::gzungetc('a' + i % 26, z)) << i;
    int ea = 0, eb = 0;
    EXPECT_STREQ(gzacc::gzerror(f, &ea), ("/f.gz: out of room to push characters"));
    ::gzerror(z, &eb);
    EXPECT_EQ(ea, eb);
    gzacc::gzclose(f);
    ::gzclose(z);
}

TEST_F(GzReadCpuTest, SeeksAsZlib)
{
    struct SeekStep {
        z_off_t offset;
        int whence;
    };
    const SeekStep steps[] = {{100, SEEK_SET}, {50, SEEK_CUR}, {10, SEEK_SET}, {-5, SEEK_CUR},
                              {70000, SEEK_SET}, {-1, SEEK_SET}, {3, SEEK_END}, {0, SEEK_SET}};
    for (const FileCase &c : file_cases()) {
        SCOPED_TRACE(c.what);
        gzacc::gz_file_state *f = ours(c);
        gzFile z = theirs();
        for (const SeekStep &s : steps) {
            EXPECT_EQ(gzacc::gzseek(f, s.offset, s.whence), ::gzseek(z, s.offset, s.whence));
            char a[64] = {}, b[64] = {};
            const int ra = gzacc::gzread(f, a, sizeof a), rb = ::gzread(z, b, sizeof b);
            int ea = 0, eb = 0;
            gzacc::gzerror(f, &ea);
            ::gzerror(z, &eb);
            EXPECT_EQ(ea, eb);
            if (ea != Z_OK)
                break;
            EXPECT_EQ(ra, rb);
            EXPECT_EQ(std::string(a, sizeof a), std::string(b, sizeof b));
        }
        EXPECT_EQ(gzacc::gzrewind(f), ::gzrewind(z));
        EXPECT_EQ(gzacc::gzgetc(f), ::gzgetc(z));
        gzacc::gzclose(f);
        ::gzclose(z);
    }
}

TEST_F(GzReadCpuTest, RefusalsAndTraceLines)
{
    const FileCase c{"text", deflate_member(gztest::text_input(100))};
    gzacc::gz_file_state *f = ours(c);
    char buf[8];
    EXPECT_EQ(gzacc::gzread(f, buf, 0x80000000u), -1);
    int err = 0;
    EXPECT_STREQ(gzacc::gzerror(f, &err), "/f.gz: requested length does not fit in int");
    EXPECT_EQ(err, Z_DATA_ERROR);
    EXPECT_EQ(gzacc::gzread(f, buf, 1), -1) << "an error sticks until cleared";
    gzacc::gzclearerr(f);
    EXPECT_EQ(gzacc::gzread(f, buf, 0), 0);
    EXPECT_EQ(gzacc::gzread(f, buf, 8), 8);
    EXPECT_EQ(gzacc::gzgets(f, nullptr, 4), nullptr);
    EXPECT_EQ(gzacc::gzgets(f, buf, 0), nullptr);
    EXPECT_EQ(gzacc::gzread(nullptr, buf, 1), -1);
    EXPECT_EQ(gzacc::gzgetc(nullptr), -1);
    EXPECT_EQ(gzacc::gzungetc('a', nullptr), -1);
    EXPECT_EQ(gzacc::gzclose(f), Z_OK);
    gzacc::gz_file_state *w = gzacc::gzopen("/w.gz", "wc");
    EXPECT_EQ(gzacc::gzread(w, buf, 1), -1) << "a writer does not read";
    EXPECT_EQ(gzacc::gzgetc(w), -1);
    gzacc::gzclose(w);
    out_ = testing::internal::GetCapturedStdout();
    for (const char *line : {"line ", ":LOOK", ":GZIP", "state->x.have = ", "n = 8  len = 8",
                             "[ZLIB-INFO]malloc state->in = ", "[ZLIB-INFO]strm->avail_in = 0x", " enter \n\n"})
        EXPECT_NE(out_.find(line), std::string::npos) << line;
    testing::internal::CaptureStdout();
}

}  // namespace

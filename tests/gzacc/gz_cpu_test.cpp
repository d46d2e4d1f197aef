// CPU mode ('c') as a black box against the linked zlib's own gz*
// functions: the same file bytes for the same mode, data and chunking, the
// same results and error texts for the refusals.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <zlib.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "gzacc/gz_file.h"
#include "gz_test_util.h"
#include "support/sim_fixture.h"

namespace {

using gztest::Bytes;

class GzCpuTest : public SimTest {
protected:
    std::string real(const std::string &p) const { return root_ + p; }

    // Our file at /ours.gz and zlib's at /theirs.gz, written the same way.
    void write_both(const char *ourMode, const char *zMode, const Bytes &data, size_t chunk)
    {
        gzacc::gz_file_state *f = gzacc::gzopen("/ours.gz", ourMode);
        gzFile z = ::gzopen(real("/theirs.gz").c_str(), zMode);
        ASSERT_NE(f, nullptr);
        ASSERT_NE(z, nullptr);
        for (size_t off = 0; off < data.size(); off += chunk) {
            const auto n = static_cast<unsigned>(std::min(chunk, data.size() - off));
            ASSERT_EQ(gzacc::gzwrite(f, data.data() + off, n), static_cast<int>(n));
            ASSERT_EQ(::gzwrite(z, data.data() + off, n), static_cast<int>(n));
        }
        EXPECT_EQ(gzacc::gzclose(f), ::gzclose(z));
    }
    Bytes ours() const { return gztest::file_bytes(real("/ours.gz")); }
    Bytes theirs() const { return gztest::file_bytes(real("/theirs.gz")); }
};

TEST_F(GzCpuTest, SameBytesAsZlibWhateverTheChunking)
{
    const std::pair<const char *, const char *> modes[] = {
        {"wc", "w"}, {"wc1", "w1"}, {"wc9", "w9"}, {"c0w", "w0"}, {"wcf", "wf"},
        {"wch", "wh"}, {"wcR", "wR"}, {"wc3F", "w3F"}, {"wcT", "wT"},
    };
    const Bytes inputs[] = {gztest::text_input(70000), gztest::random_input(40000), gztest::mixed_input(90000)};
    const size_t chunks[] = {1, 7, 8192, SIZE_MAX};
    for (const auto &[our, their] : modes)
        for (const Bytes &data : inputs)
            for (size_t chunk : chunks) {
                if (chunk == 1 && data.size() > 50000)
                    continue;   // one byte at a time: the smaller input is enough
                SCOPED_TRACE(std::string(our) + " size " + std::to_string(data.size()) + " chunk " +
                             std::to_string(chunk));
                write_both(our, their, data, std::min(chunk, data.size()));
                EXPECT_TRUE(ours() == theirs());
                Bytes got;
                if (std::string(our).find('T') == std::string::npos) {
                    ASSERT_TRUE(gztest::gunzip(ours(), got));
                    EXPECT_TRUE(got == data);
                } else {
                    EXPECT_TRUE(ours() == data);
                }
            }
}

TEST_F(GzCpuTest, EmptyFileIsOneEmptyMember)
{
    GZ_NEED_ORACLES();
    write_both("wc", "w", Bytes{}, 1);
    EXPECT_EQ(ours().size(), 20u);
    EXPECT_TRUE(ours() == theirs());
    EXPECT_TRUE(gztest::gzip_accepts(real("/ours.gz")));
}

TEST_F(GzCpuTest, CompanionsGiveZlibsBytesAndPositions)
{
    GZ_NEED_ORACLES();
    gzacc::gz_file_state *f = gzacc::gzopen("/ours.gz", "wc");
    gzFile z = ::gzopen(real("/theirs.gz").c_str(), "w");
    ASSERT_NE(f, nullptr);
    ASSERT_NE(z, nullptr);
    const Bytes text = gztest::text_input(20000);
    const std::vector<std::pair<const char *, std::function<void()>>> steps = {
        {"printf", [&] { EXPECT_EQ(gzacc::gzprintf(f, "%s=%05d|%x\n", "value", 38, 0xBEEFu),
                                   ::gzprintf(z, "%s=%05d|%x\n", "value", 38, 0xBEEFu)); }},
        {"puts", [&] { EXPECT_EQ(gzacc::gzputs(f, "a line\n"), ::gzputs(z, "a line\n")); }},
        {"putc", [&] { EXPECT_EQ(gzacc::gzputc(f, 0x1FF), ::gzputc(z, 0x1FF)); }},
        {"write", [&] { EXPECT_EQ(gzacc::gzwrite(f, text.data(), 20000), ::gzwrite(z, text.data(), 20000)); }},
        {"seek ahead", [&] { EXPECT_EQ(gzacc::gzseek(f, 5000, SEEK_CUR), ::gzseek(z, 5000, SEEK_CUR)); }},
        {"tell", [&] { EXPECT_EQ(gzacc::gztell(f), ::gztell(z)); }},
        {"seek to", [&] { EXPECT_EQ(gzacc::gzseek(f, 40000, SEEK_SET), ::gzseek(z, 40000, SEEK_SET)); }},
        {"putc after seek", [&] { EXPECT_EQ(gzacc::gzputc(f, 'q'), ::gzputc(z, 'q')); }},
        {"sync flush", [&] { EXPECT_EQ(gzacc::gzflush(f, Z_SYNC_FLUSH), ::gzflush(z, Z_SYNC_FLUSH)); }},
        {"offset", [&] { EXPECT_EQ(gzacc::gzoffset(f), ::gzoffset(z)); }},
        {"tell again", [&] { EXPECT_EQ(gzacc::gztell(f), ::gztell(z)); }},
        {"full flush", [&] { EXPECT_EQ(gzacc::gzflush(f, Z_FULL_FLUSH), ::gzflush(z, Z_FULL_FLUSH)); }},
        {"same params", [&] { EXPECT_EQ(gzacc::gzsetparams(f, -1, 0), ::gzsetparams(z, -1, 0)); }},
        {"back seek", [&] { EXPECT_EQ(gzacc::gzseek(f, 10, SEEK_SET), ::gzseek(z, 10, SEEK_SET)); }},
        {"seek end", [&] { EXPECT_EQ(gzacc::gzseek(f, 0, SEEK_END), ::gzseek(z, 0, SEEK_END)); }},
        {"rewind", [&] { EXPECT_EQ(gzacc::gzrewind(f), ::gzrewind(z)); }},
        {"eof", [&] { EXPECT_EQ(gzacc::gzeof(f), ::gzeof(z)); }},
        {"buffer late", [&] { EXPECT_EQ(gzacc::gzbuffer(f, 4096), ::gzbuffer(z, 4096)); }},
        {"bad flush", [&] { EXPECT_EQ(gzacc::gzflush(f, 9), ::gzflush(z, 9)); }},
    };
    for (const auto &[what, step] : steps) {
        SCOPED_TRACE(what);
        step();
    }
    EXPECT_EQ(gzacc::gzclose(f), ::gzclose(z));
    EXPECT_TRUE(ours() == theirs());
    EXPECT_TRUE(gztest::gzip_accepts(real("/ours.gz")));
}

// New parameters take effect for later input. The linked zlib flushes the
// pending input with a block marker where the documented behaviour flushes
// it with a partial flush, so only the content is compared here.
TEST_F(GzCpuTest, SetParamsChangesLaterInput)
{
    GZ_NEED_ORACLES();
    gzacc::gz_file_state *f = gzacc::gzopen("/ours.gz", "wc");
    ASSERT_NE(f, nullptr);
    const Bytes a = gztest::text_input(30000), b = gztest::mixed_input(30000);
    ASSERT_EQ(gzacc::gzwrite(f, a.data(), 30000), 30000);
    EXPECT_EQ(gzacc::gzsetparams(f, 1, Z_HUFFMAN_ONLY), Z_OK);
    ASSERT_EQ(gzacc::gzwrite(f, b.data(), 30000), 30000);
    EXPECT_EQ(gzacc::gzsetparams(f, 9, Z_DEFAULT_STRATEGY), Z_OK);
    ASSERT_EQ(gzacc::gzwrite(f, a.data(), 30000), 30000);
    EXPECT_EQ(gzacc::gzclose(f), Z_OK);
    Bytes want = a, got;
    want.insert(want.end(), b.begin(), b.end());
    want.insert(want.end(), a.begin(), a.end());
    gztest::put_file(real("/want"), want);
    EXPECT_TRUE(gztest::gzip_accepts(real("/ours.gz")));
    EXPECT_TRUE(gztest::oracles_agree(real("/ours.gz"), real("/want")));
}

TEST_F(GzCpuTest, RefusalsAndTheirTexts)
{
    EXPECT_EQ(gzacc::gzopen("/r.gz", "wc+"), nullptr);
    EXPECT_EQ(gzacc::gzopen("/r.gz", "c"), nullptr);
    EXPECT_EQ(gzacc::gzopen("/r.gz", "rcT"), nullptr);
    EXPECT_EQ(gzacc::gzopen(nullptr, "wc"), nullptr);
    EXPECT_EQ(gzacc::gzdopen(-1, "wc"), nullptr);
    EXPECT_EQ(gzacc::gzclose(nullptr), Z_STREAM_ERROR);
    EXPECT_EQ(gzacc::gzerror(nullptr, nullptr), nullptr);

    gzacc::gz_file_state *f = gzacc::gzopen("/ours.gz", "wc");
    gzFile z = ::gzopen(real("/theirs.gz").c_str(), "w");
    ASSERT_NE(f, nullptr);
    ASSERT_NE(z, nullptr);
    EXPECT_EQ(gzacc::gzwrite(f, "x", 0), ::gzwrite(z, "x", 0));
    EXPECT_EQ(gzacc::gzwrite(f, "x", 0x80000000u), ::gzwrite(z, "x", 0x80000000u));
    int ourErr = 0, theirErr = 0;
    const std::string ourText = gzacc::gzerror(f, &ourErr), theirText = ::gzerror(z, &theirErr);
    EXPECT_EQ(ourErr, theirErr);
    EXPECT_EQ(ourText, "/ours.gz: requested length does not fit in int");
    EXPECT_EQ(theirText, real("/theirs.gz") + ": requested length does not fit in int");
    EXPECT_EQ(gzacc::gzputc(f, 'a'), ::gzputc(z, 'a'));
    EXPECT_EQ(gzacc::gzputs(f, "abc"), ::gzputs(z, "abc"));
    EXPECT_EQ(gzacc::gzsetparams(f, 1, 0), ::gzsetparams(z, 1, 0));
    EXPECT_EQ(gzacc::gzflush(f, Z_SYNC_FLUSH), ::gzflush(z, Z_SYNC_FLUSH));
    gzacc::gzclearerr(f);
    ::gzclearerr(z);
    EXPECT_STREQ(gzacc::gzerror(f, &ourErr), "");
    EXPECT_EQ(ourErr, Z_OK);
    EXPECT_EQ(gzacc::gzputc(f, 'b'), ::gzputc(z, 'b'));
    EXPECT_EQ(gzacc::gzclose(f), ::gzclose(z));
    EXPECT_TRUE(ours() == theirs());

    // A reader refuses the writing verbs.
    f = gzacc::gzopen("/ours.gz", "rc");
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(gzacc::gzwrite(f, "x", 1), 0);
    EXPECT_EQ(gzacc::gzputc(f, 'x'), -1);
    EXPECT_EQ(gzacc::gzputs(f, "x"), -1);
    EXPECT_EQ(gzacc::gzprintf(f, "x"), 0);
    EXPECT_EQ(gzacc::gzflush(f, Z_SYNC_FLUSH), Z_STREAM_ERROR);
    EXPECT_EQ(gzacc::gzsetparams(f, 1, 0), Z_STREAM_ERROR);
    EXPECT_EQ(gzacc::gztell(f), 0);
    EXPECT_EQ(gzacc::gzclose(f), Z_OK);
}

TEST_F(GzCpuTest, ExclusiveCreateRefusesAnExistingFile)
{
    gztest::put_file(real("/ours.gz"), Bytes{1, 2, 3});
    gztest::put_file(real("/theirs.gz"), Bytes{1, 2, 3});
    EXPECT_EQ(gzacc::gzopen("/ours.gz", "wcx"), nullptr);
    EXPECT_EQ(::gzopen(real("/theirs.gz").c_str(), "wx"), nullptr);
    EXPECT_TRUE(ours() == (Bytes{1, 2, 3}));
    std::remove(real("/ours.gz").c_str());
    std::remove(real("/theirs.gz").c_str());
    write_both("wcx", "wx", gztest::text_input(10), 10);   // a new file is created
    EXPECT_TRUE(ours() == theirs());
}

// A write of the file that fails, or moves fewer bytes than asked, is an
// error of the handle: the call that reached it reports failure, gzerror
// gives Z_ERRNO with the file's name, and the writing verbs refuse from then
// on. The same for the straight copy of the 'T' mode.
TEST_F(GzCpuTest, FailedOrShortFileWriteIsAnError)
{
    struct Case {
        const char *mode;
        int err;          // the write fails with this errno, or
        int cutTo;        // (err 0) moves only this many bytes
    } cases[] = {
        {"wc", EIO, 0}, {"wc", 0, 100}, {"wc", 0, 1}, {"wcT", ENOSPC, 0}, {"wcT", 0, 4095},
    };
    const Bytes data = gztest::random_input(40000);
    for (const Case &c : cases) {
        SCOPED_TRACE(std::string(c.mode) + " errno " + std::to_string(c.err) + " cut " + std::to_string(c.cutTo));
        gzacc::gz_file_state *f = gzacc::gzopen("/ours.gz", c.mode);
        ASSERT_NE(f, nullptr);
        SimFault fault;
        fault.node = "/ours.gz";
        fault.op = SimFaultOp::write;
        fault.err = c.err;
        fault.result = c.cutTo;
        fault.nth = 1;
        sim_add_fault(fault);
        EXPECT_EQ(gzacc::gzwrite(f, data.data(), static_cast<unsigned>(data.size())), 0);
        int err = 0;
        const std::string text = gzacc::gzerror(f, &err);
        EXPECT_EQ(err, Z_ERRNO);
        if (c.err != 0) {
            EXPECT_EQ(text, "/ours.gz: " + std::string(std::strerror(c.err)));
        } else {
            EXPECT_EQ(text.rfind("/ours.gz: ", 0), 0u) << text;
        }
        EXPECT_EQ(gzacc::gzwrite(f, data.data(), 10), 0);
        EXPECT_EQ(gzacc::gzputc(f, 'a'), -1);
        EXPECT_EQ(gzacc::gzputs(f, "abc"), -1);
        EXPECT_EQ(gzacc::gzflush(f, Z_SYNC_FLUSH), Z_STREAM_ERROR);
        gzacc::gzclose(f);
        sim_clear_faults();
    }
}

// A write that fails where buffered input finally goes out: at a flush, at
// the close, and at a forward seek (in the straight-copy mode, whose zeros
// reach the file at once).
TEST_F(GzCpuTest, FailedWritesAtFlushCloseAndSeek)
{
    struct Case {
        const char *what;
        const char *mode;
        std::function<int(gzacc::gz_file_state *)> step;
        int result;
    } cases[] = {
        {"sync flush", "wc", [](gzacc::gz_file_state *f) { return gzacc::gzflush(f, Z_SYNC_FLUSH); }, Z_ERRNO},
        {"finish flush", "wc", [](gzacc::gz_file_state *f) { return gzacc::gzflush(f, Z_FINISH); }, Z_ERRNO},
        {"seek then putc", "wcT",
         [](gzacc::gz_file_state *f) {
             EXPECT_EQ(gzacc::gzseek(f, 50000, SEEK_CUR), 50100);
             return gzacc::gzputc(f, 'q');
         },
         -1},
        {"seek then write", "wcT",
         [](gzacc::gz_file_state *f) {
             EXPECT_EQ(gzacc::gzseek(f, 50000, SEEK_CUR), 50100);
             return gzacc::gzwrite(f, "xyz", 3);
         },
         0},
        {"close", "wc", [](gzacc::gz_file_state *f) { return gzacc::gzclose(f); }, Z_ERRNO},
        {"close after a seek", "wcT",
         [](gzacc::gz_file_state *f) {
             EXPECT_EQ(gzacc::gzseek(f, 50000, SEEK_CUR), 50100);
             return gzacc::gzclose(f);
         },
         Z_ERRNO},
    };
    const Bytes text = gztest::text_input(100);
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        gzacc::gz_file_state *f = gzacc::gzopen("/ours.gz", c.mode);
        ASSERT_NE(f, nullptr);
        ASSERT_EQ(gzacc::gzwrite(f, text.data(), 100), 100);   // buffered: nothing written yet
        EXPECT_TRUE(gztest::file_bytes(real("/ours.gz")).empty());
        sim_fail_op(SimFaultOp::write, "/ours.gz", EIO);
        EXPECT_EQ(c.step(f), c.result);
        if (std::string(c.what).rfind("close", 0) != 0) {
            int err = 0;
            EXPECT_STREQ(gzacc::gzerror(f, &err), "/ours.gz: Input/output error");
            EXPECT_EQ(err, Z_ERRNO);
            gzacc::gzclose(f);
        }
        sim_clear_faults();
    }
}

TEST_F(GzCpuTest, PrintfLongerThanTheBufferIsRefused)
{
    gzacc::gz_file_state *f = gzacc::gzopen("/ours.gz", "wc");
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(gzacc::gzbuffer(f, 64), 0);
    const std::string longText(100, 'z');
    EXPECT_EQ(gzacc::gzprintf(f, "%s", longText.c_str()), 0);
    EXPECT_EQ(gzacc::gzprintf(f, "%s", longText.substr(0, 63).c_str()), 63);
    EXPECT_EQ(gzacc::gzclose(f), Z_OK);
    Bytes got;
    ASSERT_TRUE(gztest::gunzip(ours(), got));
    EXPECT_EQ(std::string(got.begin(), got.end()), longText.substr(0, 63));
}

}  // namespace

// The accelerated write through the simulated card that really compresses:
// slice requests as the card saw them, the files they make (checked by
// inflate and the outside oracles), levels, names and every failure with
// the file it leaves.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "asmf/interface/asmf_interface.h"
#include "gzacc/gz_acc.h"
#include "gzacc/gz_file.h"
#include "gzacc/gz_head.h"
#include "gz_test_util.h"
#include "sim/asmf_model.h"
#include "sim/gz_card_model.h"
#include "sim/sim_host.h"
#include "support/sim_fixture.h"

namespace {

using gztest::Bytes;
constexpr uint32_t kMiB = 1048576;
using gztest::kSendTask;

class GzAccTest : public SimTest {
protected:
    void SetUp() override
    {
        SimTest::SetUp();
        gz_card_install();
        mkdir((root_ + "/dir").c_str(), 0755);
    }
    void TearDown() override
    {
        if (g_oxcomp_init_flag.load() == 1) {
            EXPECT_EQ(oxcompFinalize(), 0);
        }
        EXPECT_EQ(asmf_sim_held_blocks(), 0u) << "card memory left";
        EXPECT_EQ(asmf_sim_held_resources(), 0u);
        SimTest::TearDown();
    }
    // One open, one write, one close; the write's result.
    int write_file(const char *path, const char *mode, const Bytes &data)
    {
        gzacc::gz_file_state *f = gzacc::gzopen(path, mode);
        EXPECT_NE(f, nullptr);
        if (f == nullptr)
            return -1;
        const int ret = gzacc::gzwrite(f, data.data(), static_cast<unsigned>(data.size()));
        EXPECT_EQ(gzacc::gzclose(f), 0);
        return ret;
    }
    static std::vector<FpgaTaskDesc> sent() { return gztest::sent_tasks(); }
    void expect_round_trip(const std::string &path, const Bytes &data)
    {
        Bytes got;
        ASSERT_TRUE(gztest::gunzip(gztest::file_bytes(root_ + path), got));
        EXPECT_TRUE(got == data);
    }
};

struct SliceCase {
    const char *what;
    uint32_t len;
    int kind;            // 0 text, 1 random, 2 repetitive
    uint32_t src, dest;  // buffer sizes
    std::vector<uint8_t> flags;
    uint8_t fileId;
};

TEST_F(GzAccTest, SlicesAsTheCardSeesThemAndTheFileTheyMake)
{
    GZ_NEED_ORACLES();
    const SliceCase cases[] = {
        {"100 bytes", 100, 0, kMiB, 2 * kMiB, {3}, 255},
        {"3 MiB random", 3 * kMiB, 1, 3 * kMiB, 4 * kMiB, {3}, 255},
        {"exactly 56 MiB", 56 * kMiB, 2, 56 * kMiB, 63 * kMiB, {3}, 255},
        {"56 MiB + 1", 56 * kMiB + 1, 2, 56 * kMiB, 64 * kMiB, {1, 2}, 0},
    };
    sim_journal_limit(64);
    for (const SliceCase &c : cases) {
        SCOPED_TRACE(c.what);
        const Bytes data = c.kind == 0 ? gztest::text_input(c.len)
                           : c.kind == 1 ? gztest::random_input(c.len) : gztest::repetitive_input(c.len);
        sim_clear_journal();
        ASSERT_EQ(write_file("/dir/data.gz", "w", data), static_cast<int>(c.len));
        const std::vector<FpgaTaskDesc> d = sent();
        ASSERT_EQ(d.size(), c.flags.size());
        uint32_t crc = 0;
        uint64_t off = 0;
        for (size_t i = 0; i < d.size(); i++) {
            SCOPED_TRACE(i);
            const uint32_t inLen = static_cast<uint32_t>(std::min<uint64_t>(c.len - off, c.src));
            EXPECT_EQ(d[i].segment, i);
            EXPECT_EQ(d[i].flag, c.flags[i]);
            EXPECT_EQ(d[i].crc, crc);
            EXPECT_EQ(d[i].inLen, inLen);
            EXPECT_EQ(d[i].outLen, c.dest);
            EXPECT_EQ(d[i].totalLen, c.len);
            EXPECT_EQ(d[i].fileId, c.fileId);
            EXPECT_EQ(d[i].levForm, 5);   // default level 6
            EXPECT_EQ(d[i].cmdType, 0);
            EXPECT_EQ(d[i].expires, 5u);
            crc = static_cast<uint32_t>(::crc32(crc, data.data() + off, inLen));
            off += inLen;
        }
        const Bytes file = gztest::file_bytes(root_ + "/dir/data.gz");
        ASSERT_GE(file.size(), 23u);
        EXPECT_EQ(std::memcmp(file.data() + 10, "data", 5), 0);   // FNAME without ".gz"
        EXPECT_EQ(file[3], gzacc::GZ_FLG_NAME);
        uint32_t trailerCrc = 0;
        std::memcpy(&trailerCrc, file.data() + file.size() - 8, 4);
        EXPECT_EQ(trailerCrc, crc);
        expect_round_trip("/dir/data.gz", data);
        EXPECT_TRUE(gztest::gzip_accepts(root_ + "/dir/data.gz"));
    }
}

TEST_F(GzAccTest, OutsideReadersAgreeWithTheInput)
{
    GZ_NEED_ORACLES();
    const Bytes data = gztest::mixed_input(3 * kMiB + 17);
    ASSERT_EQ(write_file("/data.bin", "w", data), static_cast<int>(data.size()));
    gztest::put_file(root_ + "/want", data);
    EXPECT_TRUE(gztest::gzip_accepts(root_ + "/data.bin"));
    EXPECT_TRUE(gztest::oracles_agree(root_ + "/data.bin", root_ + "/want"));
    const Bytes file = gztest::file_bytes(root_ + "/data.bin");
    EXPECT_EQ(std::string(reinterpret_cast<const char *>(file.data()) + 10), "data.bin");
}

// Four slices of 56 MiB with their CRCs chained, three of which sit in the middle.
TEST_F(GzAccTest, LongTwoHundredMiBInFourSlices)
{
    GZ_NEED_ORACLES();
    const uint32_t len = 200 * kMiB;
    const Bytes data = gztest::repetitive_input(len);
    sim_journal_limit(64);
    ASSERT_EQ(write_file("/big.gz", "w", data), static_cast<int>(len));
    const std::vector<FpgaTaskDesc> d = sent();
    ASSERT_EQ(d.size(), 4u);
    const uint8_t flags[] = {1, 0, 0, 2};
    uint32_t crc = 0;
    for (size_t i = 0; i < 4; i++) {
        EXPECT_EQ(d[i].flag, flags[i]);
        EXPECT_EQ(d[i].crc, crc);
        crc = static_cast<uint32_t>(::crc32(crc, data.data() + i * 56 * kMiB, d[i].inLen));
    }
    EXPECT_EQ(gz_card_breaches(), 0u);
    EXPECT_TRUE(gztest::gzip_accepts(root_ + "/big.gz"));
    expect_round_trip("/big.gz", data);
}

TEST_F(GzAccTest, LevelsMapToCardLevels)
{
    const std::pair<const char *, uint8_t> cases[] = {
        {"w0", 1}, {"w1", 1}, {"w2", 1}, {"w3", 4}, {"w4", 4}, {"w5", 5},
        {"w6", 5}, {"w7", 5}, {"w8", 5}, {"w9", 5}, {"w", 5},
    };
    const Bytes data = gztest::text_input(5000);
    for (const auto &[mode, level] : cases) {
        SCOPED_TRACE(mode);
        sim_clear_journal();
        ASSERT_EQ(write_file("/l.gz", mode, data), 5000);
        ASSERT_EQ(sent().size(), 1u);
        EXPECT_EQ(sent()[0].levForm, level);
        expect_round_trip("/l.gz", data);
    }
}

TEST_F(GzAccTest, HeadNamesFromPaths)
{
    const std::pair<const char *, const char *> cases[] = {
        {"dir/data.gz", "data"}, {"data.bin", "data.bin"}, {"dir/", ""},      {".gz", ""},
        {"a\\b.gz", "b"},        {"x.tar.gz", "x.tar"},    {"gz", "gz"},      {"/d/.gz.gz", ".gz"},
    };
    for (const auto &[path, name] : cases) {
        SCOPED_TRACE(path);
        uint8_t buf[64] = {};
        const int len = gzacc::gz_head_build(path, buf, sizeof buf);
        ASSERT_EQ(len, static_cast<int>(11 + std::strlen(name)));
        EXPECT_EQ(buf[3], gzacc::GZ_FLG_NAME);
        EXPECT_EQ(buf[9], 3);
        EXPECT_STREQ(reinterpret_cast<const char *>(buf + 10), name);
    }
}

TEST_F(GzAccTest, SliceSizing)
{
    const struct {
        uint32_t len;
        uint16_t n;
        uint32_t src, dest;
    } cases[] = {
        {1, 1, kMiB, 2 * kMiB},
        {kMiB, 1, kMiB, 2 * kMiB},
        {8 * kMiB, 1, 8 * kMiB, 9 * kMiB},
        {56 * kMiB, 1, 56 * kMiB, 63 * kMiB},
        {56 * kMiB + 1, 2, 56 * kMiB, 64 * kMiB},
        {0x7FFFFFFF, 37, 56 * kMiB, 64 * kMiB},
    };
    for (const auto &c : cases) {
        const gzacc::GzSlices s = gzacc::gz_slice_sizes(c.len);
        EXPECT_EQ(s.count, c.n) << c.len;
        EXPECT_EQ(s.srcSize, c.src) << c.len;
        EXPECT_EQ(s.destSize, c.dest) << c.len;
    }
}

struct FailCase {
    const char *what;
    int status;
    uint32_t len;
    std::function<void()> arm;
};

void card_fault(GzCardFault f, int segment = -1) { gz_card_settings() = GzCardSettings{f, segment}; }

TEST_F(GzAccTest, EveryFailureLeavesTheFileAsBeforeTheCall)
{
    const std::string card = "/dev/acce_dev0";
    const FailCase cases[] = {
        {"handle open", -301, 100, [] { sim_fail_op(SimFaultOp::bind, "", EADDRINUSE); }},
        {"head write", -106, 100, [] { sim_fail_op(SimFaultOp::write, "/f.gz", ENOSPC, 1); }},
        {"input buffer", -107, 100, [] { sim_fail_request(ASMF_MEM_NODE, asmf_mem_request(ASMF_MEM_ALLOC), ENOMEM, 1); }},
        {"output buffer", -108, 100, [] { sim_fail_request(ASMF_MEM_NODE, asmf_mem_request(ASMF_MEM_ALLOC), ENOMEM, 2); }},
        {"copy to card", -109, 100, [] { sim_fail_request(ASMF_MEM_NODE, asmf_mem_request(ASMF_MEM_CPY_TO_POOL), EIO); }},
        {"copy from card", -110, 100, [] { sim_fail_request(ASMF_MEM_NODE, asmf_mem_request(ASMF_MEM_CPY_TO_USR), EIO); }},
        {"card refuses the task", -302, 100, [card] { sim_fail_request(card, kSendTask, EIO); }},
        {"card error answer", -302, 100, [] { asmf_sim_settings().taskStatus = 1; }},
        {"segment echoed wrong", -207, 100, [] { card_fault(GzCardFault::segment); }},
        {"result length 0", -207, 100, [] { card_fault(GzCardFault::zeroLength); }},
        {"result beyond the buffer", -207, 100, [] { card_fault(GzCardFault::longLength); }},
        {"flags of a single slice", -211, 100, [] { card_fault(GzCardFault::flags); }},
        {"slice write", -403, 100, [] { sim_fail_op(SimFaultOp::write, "/f.gz", ENOSPC, 2); }},
        {"flags of the first slice", -208, 56 * kMiB + 1, [] { card_fault(GzCardFault::flags, 0); }},
        {"flags of the last slice", -209, 56 * kMiB + 1, [] { card_fault(GzCardFault::flags, 1); }},
    };
    const Bytes earlier = gztest::text_input(300);
    for (const FailCase &c : cases) {
        const Bytes data = gztest::repetitive_input(c.len);
        for (const char *mode : {"w", "a"}) {
            SCOPED_TRACE(std::string(c.what) + " mode " + mode);
            sim_clear_faults();
            asmf_sim_settings().taskStatus = 0;
            card_fault(GzCardFault::none);
            ASSERT_EQ(write_file("/f.gz", "w", earlier), 300);   // an earlier member
            const Bytes before = gztest::file_bytes(root_ + "/f.gz");
            c.arm();
            testing::internal::CaptureStdout();
            EXPECT_EQ(write_file("/f.gz", mode, data), 0);
            const std::string out = testing::internal::GetCapturedStdout();
            EXPECT_NE(out.find("gzwrite_fpga failed!ret = " + std::to_string(c.status) + " \n"), std::string::npos)
                << out.substr(out.size() > 2000 ? out.size() - 2000 : 0);
            const Bytes after = gztest::file_bytes(root_ + "/f.gz");
            if (std::string(mode) == "a")
                EXPECT_TRUE(after == before) << after.size();
            else if (c.status == -301)   // nothing reached the file: close gives it an empty member
                EXPECT_EQ(after.size(), 22u);
            else
                EXPECT_TRUE(after.empty()) << after.size();
            ASSERT_EQ(asmf_sim_held_blocks(), 0u) << "card memory left: the next write would wait for it";
            // Nothing of the card is left behind: the next write on this thread goes through.
            sim_clear_faults();
            asmf_sim_settings().taskStatus = 0;
            card_fault(GzCardFault::none);
            const size_t tasks = asmf_sim_tasks();
            EXPECT_EQ(write_file("/f.gz", "a", earlier), 300);
            EXPECT_EQ(asmf_sim_tasks(), tasks + 1);
        }
    }
}

// In "w" mode a failure before the head leaves the truncated file, which
// the close then turns into one empty member.
TEST_F(GzAccTest, FailureBeforeTheHeadThenCloseGivesAnEmptyMember)
{
    sim_fail_op(SimFaultOp::bind, "", EADDRINUSE);
    const Bytes data = gztest::text_input(100);
    EXPECT_EQ(write_file("/e.gz", "w", data), 0);
    Bytes got;
    EXPECT_TRUE(gztest::gunzip(gztest::file_bytes(root_ + "/e.gz"), got));
    EXPECT_TRUE(got.empty());
}

TEST_F(GzAccTest, CorruptedCardOutputIsCaughtByTheReaders)
{
    GZ_NEED_ORACLES();
    card_fault(GzCardFault::corrupt);
    const Bytes data = gztest::text_input(200000);
    ASSERT_EQ(write_file("/c.gz", "w", data), 200000);
    EXPECT_FALSE(gztest::gzip_accepts(root_ + "/c.gz"));
    Bytes got;
    EXPECT_FALSE(gztest::gunzip(gztest::file_bytes(root_ + "/c.gz"), got) && got == data);
}

TEST_F(GzAccTest, AppendKeepsEarlierMembersAndEachWriteIsAMember)
{
    GZ_NEED_ORACLES();
    const Bytes a = gztest::text_input(1000), b = gztest::random_input(2000);
    ASSERT_EQ(write_file("/m.gz", "w", a), 1000);
    gzacc::gz_file_state *f = gzacc::gzopen("/m.gz", "a");
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(gzacc::gzwrite(f, b.data(), 2000), 2000);
    EXPECT_EQ(gzacc::gzputc(f, 'z'), 'z');
    EXPECT_EQ(gzacc::gzputs(f, "tail"), 4);
    EXPECT_EQ(gzacc::gzclose(f), 0);
    Bytes want = a, got;
    want.insert(want.end(), b.begin(), b.end());
    for (char c : std::string("ztail"))
        want.push_back(static_cast<uint8_t>(c));
    ASSERT_TRUE(gztest::gunzip(gztest::file_bytes(root_ + "/m.gz"), got));
    EXPECT_TRUE(got == want);
    EXPECT_EQ(sent().size(), 4u);
    EXPECT_TRUE(gztest::gzip_accepts(root_ + "/m.gz"));
}

TEST_F(GzAccTest, EmptyAcceleratedFileGetsAnEmptyMember)
{
    GZ_NEED_ORACLES();
    gzacc::gz_file_state *f = gzacc::gzopen("/dir/empty.gz", "w");
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(gzacc::gzwrite(f, "", 0), 0);
    EXPECT_EQ(gzacc::gzclose(f), 0);
    const Bytes file = gztest::file_bytes(root_ + "/dir/empty.gz");
    ASSERT_EQ(file.size(), 10u + 6u + 10u);
    EXPECT_EQ(std::string(reinterpret_cast<const char *>(file.data()) + 10), "empty");
    const uint8_t tail[10] = {3, 0};
    EXPECT_EQ(std::memcmp(file.data() + 16, tail, 10), 0);
    EXPECT_TRUE(gztest::gzip_accepts(root_ + "/dir/empty.gz"));
    EXPECT_EQ(sent().size(), 0u);
}

// gzprintf, gzflush and gzsetparams work on the CPU stream; close finishes it.
TEST_F(GzAccTest, CloseFinishesTheCpuStreamOfAnAcceleratedHandle)
{
    gzacc::gz_file_state *f = gzacc::gzopen("/p.gz", "w");
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(gzacc::gzprintf(f, "n=%d %s\n", 38, "lines"), 11);
    EXPECT_EQ(gzacc::gzflush(f, Z_SYNC_FLUSH), Z_OK);
    EXPECT_EQ(gzacc::gzsetparams(f, 1, Z_DEFAULT_STRATEGY), Z_OK);
    EXPECT_EQ(gzacc::gzprintf(f, "more\n"), 5);
    EXPECT_EQ(gzacc::gzclose(f), Z_OK);
    Bytes got;
    ASSERT_TRUE(gztest::gunzip(gztest::file_bytes(root_ + "/p.gz"), got));
    EXPECT_EQ(std::string(got.begin(), got.end()), "n=38 lines\nmore\n");
    EXPECT_EQ(sent().size(), 0u);
}

TEST_F(GzAccTest, OpenModesAndTheCard)
{
    sim_fail_open(ASMF_RES_NODE, ENOENT);   // oxcompInit cannot reach the resource driver
    testing::internal::CaptureStdout();
    EXPECT_EQ(gzacc::gzopen("/o.gz", "w"), nullptr);
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_NE(out.find("gzacc/gz_lib.cpp:"), std::string::npos);
    EXPECT_NE(out.find(":gz_open [ZLIB-INFO] fpga acc!\n"), std::string::npos);
    EXPECT_NE(out.find("[ZLIB-ERR] oxcompInit err!ret = 0x"), std::string::npos);
    // "wc" never reaches the card, even with its drivers failing.
    const Bytes data = gztest::text_input(4000);
    ASSERT_EQ(write_file("/o.gz", "wc", data), 4000);
    expect_round_trip("/o.gz", data);
    EXPECT_EQ(g_oxcomp_init_flag.load(), 0u);
    EXPECT_EQ(sent().size(), 0u);
}

TEST_F(GzAccTest, RefusedArguments)
{
    gzacc::gz_file_state *f = gzacc::gzopen("/r.gz", "w");
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(gzacc::gzwrite_fpga(nullptr, "x", 1), -103);
    EXPECT_EQ(gzacc::gzwrite_fpga(f, nullptr, 1), -103);
    EXPECT_EQ(gzacc::gzwrite_fpga(f, "x", 0), -103);
    EXPECT_EQ(gzacc::gzwrite(f, "x", 0x80000000u), 0);
    int err = 0;
    EXPECT_STREQ(gzacc::gzerror(f, &err), "/r.gz: requested length does not fit in int");
    EXPECT_EQ(err, Z_DATA_ERROR);
    EXPECT_EQ(gzacc::gzwrite(f, "x", 1), 0);   // the error stays until cleared
    gzacc::gzclearerr(f);
    EXPECT_EQ(gzacc::gzwrite(f, "x", 1), 1);
    EXPECT_EQ(gzacc::gzclose(f), 0);
}

}  // namespace

// Each accelerated read starts its receive thread (pthread_create through the host).
// The accelerated read through the simulated card that really
// decompresses: files from the outside tools and built heads, the requests
// the card saw (flags, file ids, sizes), memory requests, the caller's
// buffer filling up, and every failure ending with nothing of the card,
// the thread or the file left.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <zlib.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <functional>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

#include "asmf/interface/asmf_interface.h"
#include "bases/drv/asmf_drv.h"
#include "bases/host/host.h"
#include "gzacc/gz_file.h"
#include "gzacc/gz_head.h"
#include "gzacc/gz_read_acc.h"
#include "gz_test_util.h"
#include "sim/asmf_model.h"
#include "sim/gz_card_model.h"
#include "sim/sim_host.h"
#include "sim/sim_sched.h"
#include "support/sim_fixture.h"

namespace {

using gztest::Bytes;
constexpr uint32_t kMiB = 1048576;
using gztest::kSendTask;

void put_le32(Bytes &b, uint32_t v)
{
    for (int i = 0; i < 4; i++)
        b.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

Bytes raw_deflate(const Bytes &data, int level) { return gztest::zlib_deflate(data, level, -MAX_WBITS); }

// A member with the given flag fields; FHCRC correct unless `badHcrc`.
Bytes member(const Bytes &data, uint8_t flg = 0, const std::string &name = "", bool badHcrc = false, int level = 6)
{
    Bytes b{31, 139, 8, flg, 1, 2, 3, 4, 0, 3};
    if (flg & gzacc::GZ_FLG_EXTRA)
        b.insert(b.end(), {6, 0, 'Q', 'X', 2, 0, 7, 9});
    if (flg & gzacc::GZ_FLG_NAME) {
        b.insert(b.end(), name.begin(), name.end());
        b.push_back(0);
    }
    if (flg & gzacc::GZ_FLG_COMMENT)
        b.insert(b.end(), {'h', 'i', 0});
    if (flg & gzacc::GZ_FLG_HCRC) {
        const auto crc = static_cast<uint16_t>(::crc32(0, b.data(), static_cast<uInt>(b.size())) ^ (badHcrc ? 1 : 0));
        b.push_back(static_cast<uint8_t>(crc));
        b.push_back(static_cast<uint8_t>(crc >> 8));
    }
    const Bytes body = raw_deflate(data, level);
    b.insert(b.end(), body.begin(), body.end());
    put_le32(b, static_cast<uint32_t>(::crc32(0, data.data(), static_cast<uInt>(data.size()))));
    put_le32(b, static_cast<uint32_t>(data.size()));
    return b;
}

class GzReadAccTest : public SimTest {
protected:
    void SetUp() override
    {
        SimTest::SetUp();
        gz_card_install();
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
    // gzread of the whole of /f.gz on the card into `len` bytes.
    int read_file(Bytes &out, uint32_t len)
    {
        out.assign(len, 0);
        sim_clear_journal();
        testing::internal::CaptureStdout();
        gzacc::gz_file_state *f = gzacc::gzopen("/f.gz", "rb");
        int ret = -99;
        if (f != nullptr) {
            ret = gzacc::gzread(f, out.data(), len);
            EXPECT_EQ(gzacc::gzclose(f), 0);
        }
        out_ = testing::internal::GetCapturedStdout();
        if (ret > 0)
            out.resize(static_cast<size_t>(ret));
        EXPECT_EQ(asmf_sim_held_blocks(), 0u);
        return ret;
    }
    static std::vector<FpgaTaskDesc> sent() { return gztest::sent_tasks(); }
    static std::vector<int> flags(const std::vector<FpgaTaskDesc> &d)
    {
        std::vector<int> f;
        for (const FpgaTaskDesc &t : d)
            f.push_back(t.flag);
        return f;
    }
    bool printed(const std::string &s) const { return out_.find(s) != std::string::npos; }
    std::string out_;
};

struct ReadCase {
    const char *what;
    std::function<Bytes(const Bytes &data, const std::string &root)> make;
    int result;   // 0: the data back; else gzread's result
    const char *line;
};

Bytes by_tool(const std::string &root, const Bytes &data, const std::string &tool)
{
    gztest::put_file(root + "/plain", data);
    EXPECT_EQ(gztest::shell(tool + " '" + root + "/plain' > '" + root + "/tool.gz'"), 0);
    return gztest::file_bytes(root + "/tool.gz");
}

TEST_F(GzReadAccTest, FilesOfEveryShapeAsTheOraclesReadThem)
{
    GZ_NEED_ORACLES();
    QUORBIX_NEED_TOOL("pigz", "pigz");
    const ReadCase cases[] = {
        {"gzip", [](const Bytes &d, const std::string &r) { return by_tool(r, d, "gzip -c"); }, 0, nullptr},
        {"gzip -n", [](const Bytes &d, const std::string &r) { return by_tool(r, d, "gzip -n -c"); }, 0, nullptr},
        {"pigz --comment", [](const Bytes &d, const std::string &r) { return by_tool(r, d, "pigz --comment note -c"); },
         0, nullptr},
        {"python3", [](const Bytes &d, const std::string &r) {
             return by_tool(r, d, "python3 -c \"import gzip,sys; sys.stdout.buffer.write(gzip.compress(open(sys.argv[1],'rb').read()))\"");
         }, 0, nullptr},
        {"FHCRC", [](const Bytes &d, const std::string &) { return member(d, gzacc::GZ_FLG_HCRC | gzacc::GZ_FLG_NAME, "n"); }, 0, nullptr},
        {"FHCRC wrong (the card path does not check it)",
         [](const Bytes &d, const std::string &) { return member(d, gzacc::GZ_FLG_HCRC, "", true); }, 0, nullptr},
        {"FEXTRA and comment",
         [](const Bytes &d, const std::string &) { return member(d, gzacc::GZ_FLG_EXTRA | gzacc::GZ_FLG_COMMENT); }, 0, nullptr},
        {"9 MiB name", [](const Bytes &d, const std::string &) {
             return member(d, gzacc::GZ_FLG_NAME, std::string(9 * kMiB, 'n'));
         }, 0, " src_slice = 1  dest_slice = 1"},
        {"empty member", [](const Bytes &, const std::string &) { return member({}); }, -2, nullptr},
        {"two members", [](const Bytes &d, const std::string &) {
             Bytes b = member(d), c = member(d);
             b.insert(b.end(), c.begin(), c.end());
             return b;
         }, -1, "recv_info.status = 0x3"},
        {"trailing zeros", [](const Bytes &d, const std::string &) {
             Bytes b = member(d);
             b.insert(b.end(), 16, 0);
             return b;
         }, -1, "recv_info.status = 0x3"},
        {"3 bytes", [](const Bytes &, const std::string &) { return Bytes{31, 139, 8}; }, -1,
         "gz_file_head_parse error=-3\n"},
        {"plain text", [](const Bytes &d, const std::string &) { return d; }, -1, "gz_file_head_parse error=-4\n"},
        {"name running to the end of the file", [](const Bytes &, const std::string &) {
             const uint8_t head[] = {31, 139, 8, gzacc::GZ_FLG_NAME, 0, 0, 0, 0, 0, 3};
             Bytes b(sizeof head + 9 * kMiB, 'n');
             std::copy(std::begin(head), std::end(head), b.begin());
             return b;
         }, -1, "gz_file_head_parse error=-3\n"},
        {"head only", [](const Bytes &, const std::string &) { return Bytes{31, 139, 8, 0, 0, 0, 0, 0, 0, 3}; }, -1,
         "gzread_fpga_slice error="},
    };
    const Bytes data = gztest::text_input(300000);
    for (const ReadCase &c : cases) {
        SCOPED_TRACE(c.what);
        gztest::put_file(root_ + "/f.gz", c.make(data, root_));
        Bytes got;
        const int ret = read_file(got, 1024 * 1024);
        if (c.result == 0) {
            EXPECT_EQ(ret, static_cast<int>(data.size())) << out_.substr(out_.size() > 3000 ? out_.size() - 3000 : 0);
            EXPECT_TRUE(got == data);
            const auto d = sent();
            ASSERT_EQ(d.size(), 1u);
            EXPECT_EQ(d[0].flag, 3);
            EXPECT_EQ(d[0].fileId, 255);
            EXPECT_EQ(d[0].cmdType, 1);
            EXPECT_EQ(d[0].levForm, 9);
            EXPECT_EQ(d[0].totalLen, data.size());
        } else if (c.result == -2) {
            EXPECT_EQ(ret, 0) << "an empty member is the end of the file";
        } else {
            EXPECT_EQ(ret, -1);
        }
        if (c.line != nullptr) {
            EXPECT_TRUE(printed(c.line)) << c.line;
        }
    }
}

TEST_F(GzReadAccTest, TrailerOfShortFiles)
{
    const std::pair<size_t, int> cases[] = {{0, -2}, {5, -3}, {8, 0}};
    for (const auto &[size, want] : cases) {
        gztest::put_file(root_ + "/t", Bytes(size, 0x11));
        const int fd = host_open("/t", O_RDONLY);
        gzacc::gz_head_info head{};
        int32_t fileSize = 0;
        EXPECT_EQ(gzacc::gz_file_tail_parse(fd, &head, &fileSize), want) << size;
        EXPECT_EQ(head.isize, want == 0 ? 0x11111111u : 0u);
        host().close(fd);
    }
}

TEST_F(GzReadAccTest, HeadCrcCheckOfTheDiagnostics)
{
    testing::internal::CaptureStdout();
    const Bytes good = member({1, 2}, gzacc::GZ_FLG_HCRC), bad = member({1, 2}, gzacc::GZ_FLG_HCRC, "", true);
    EXPECT_EQ(gzacc::gz_head_crc_check(good.data(), good.size()), 0);
    EXPECT_EQ(gzacc::gz_head_crc_check(bad.data(), bad.size()), -4);
    EXPECT_EQ(gzacc::gz_head_crc_check(bad.data(), 3), -2);
    const uint8_t bytes[] = {1, 2, 3};
    EXPECT_EQ(gzacc::gz_find_byte(bytes, 3, 3), 0);
    EXPECT_EQ(gzacc::gz_find_byte(bytes, 2, 3), -101);
    EXPECT_EQ(gzacc::gz_find_byte(bytes, 0, 3), -4);
    uint8_t copy[19] = {};
    const Bytes src = gztest::text_input(19);
    gzacc::gz_copy_words(copy, src.data(), 19);
    EXPECT_EQ(std::memcmp(copy, src.data(), 19), 0);
    gzacc::gz_hex_dump(bytes, 3);
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_NE(out.find("crc head_crc 0x"), std::string::npos);
    EXPECT_NE(out.find("\n00--01 02 03 "), std::string::npos);
}

// Each row of 16 bytes opens on a line of its own with its row number.
TEST_F(GzReadAccTest, HexDumpRowsOfSixteen)
{
    const std::string head = "    00 01 02 03 04 05 06 07 08 09 0a 0b 0c 0d 0e 0f "
                             "     |  |  |  |  |  |  |  |  |  |  |  |  |  |  |  | ";
    const std::string row0 = "\n00--00 01 02 03 04 05 06 07 08 09 0a 0b 0c 0d 0e 0f ";
    const std::string row1 = "\n01--10 11 12 13 14 15 16 17 18 19 1a 1b 1c 1d 1e 1f ";
    const std::pair<size_t, std::string> cases[] = {
        {0, head},
        {16, head + row0},
        {17, head + row0 + "\n01--10 "},
        {40, head + row0 + row1 + "\n02--20 21 22 23 24 25 26 27 "},
    };
    uint8_t bytes[40];
    for (uint8_t i = 0; i < sizeof bytes; i++)
        bytes[i] = i;
    for (const auto &[len, want] : cases) {
        testing::internal::CaptureStdout();
        gzacc::gz_hex_dump(bytes, len);
        std::fflush(stdout);
        EXPECT_EQ(testing::internal::GetCapturedStdout(), want) << len;
    }
}

TEST_F(GzReadAccTest, TwoHundredMiBInFourOutputSlices)
{
    const Bytes data = gztest::repetitive_input(200 * kMiB);
    gztest::put_file(root_ + "/f.gz", member(data));
    Bytes got;
    ASSERT_EQ(read_file(got, 200 * kMiB), static_cast<int>(200 * kMiB)) << out_.substr(out_.size() - 2000);
    EXPECT_TRUE(got == data);
    auto d = sent();
    EXPECT_EQ(flags(d), (std::vector<int>{1, 2, 2, 2}));
    ASSERT_EQ(d.size(), 4u);
    EXPECT_EQ(d[0].fileId, 0);
    EXPECT_NE(d[0].inLen, 0u);
    EXPECT_EQ(d[3].inLen, 0u);
    EXPECT_TRUE(printed(" src_slice = 1  dest_slice = 4"));
    // Only the bytes read from the file go to the card.
    const unsigned long toCard = asmf_mem_request(ASMF_MEM_CPY_TO_POOL);
    std::vector<uint32_t> copies;
    for (const SimJournalEntry &e : sim_journal_of(SimEvent::request, {}, toCard))
        if (e.record.size() == sizeof(AsmfCopyReq)) {
            AsmfCopyReq c;
            std::memcpy(&c, e.record.data(), sizeof c);
            copies.push_back(c.length);
        }
    EXPECT_EQ(copies, std::vector<uint32_t>{d[0].inLen});
    // Into 64 MiB: exactly that much, the rest of the card's answers judged
    // and dropped.
    ASSERT_EQ(read_file(got, 64 * kMiB), static_cast<int>(64 * kMiB));
    EXPECT_TRUE(std::equal(got.begin(), got.end(), data.begin()));
}

TEST_F(GzReadAccTest, RandomDataNeedsAMemoryRequest)
{
    const Bytes data = gztest::random_input(64 * kMiB);
    gztest::put_file(root_ + "/f.gz", member(data, 0, "", false, 1));
    Bytes got;
    ASSERT_EQ(read_file(got, 64 * kMiB + 100), static_cast<int>(64 * kMiB)) << out_.substr(out_.size() - 3000);
    EXPECT_TRUE(got == data);
    const auto d = sent();
    EXPECT_EQ(flags(d), (std::vector<int>{1, 2, 2}));
    ASSERT_EQ(d.size(), 3u);
    EXPECT_EQ(d[1].outLen, 0u) << "the second input has no output slice";
    EXPECT_EQ(d[2].inLen, 0u) << "the memory request brings output room only";
    EXPECT_EQ(d[2].segment, 2);
    EXPECT_TRUE(printed(" src_slice = 2  dest_slice = 1"));
    // Into 10 MiB: the buffer is full after the first result; the card's
    // request for memory that follows is not answered.
    ASSERT_EQ(read_file(got, 10 * kMiB), static_cast<int>(10 * kMiB)) << out_.substr(out_.size() - 2000);
    EXPECT_TRUE(std::equal(got.begin(), got.end(), data.begin()));
    EXPECT_EQ(sent().size(), 2u);
    EXPECT_FALSE(printed("fpga mem req err!"));
}

struct FaultCase {
    const char *what;
    std::function<void()> arm;
    const char *line;
    uint64_t minNs;   // virtual time at least
};

TEST_F(GzReadAccTest, EveryEngineFaultEndsCleanly)
{
    const std::string card = "/dev/acce_dev0";
    const FaultCase cases[] = {
        {"card error", [] { asmf_sim_settings().taskStatus = 3; }, "recv_info.status = 0x3(3)", 0},
        {"answers dropped", [] { asmf_sim_settings().answer = AsmfSimAnswer::drop; },
         "wait gzread_recv_thread timeout! info.cmd_slice.cnt = 2", 20000000000ull},
        {"segment echoed wrong", [] { gz_card_settings() = GzCardSettings{GzCardFault::segment, 1}; },
         "!= msg_num(0x1) err!", 0},
        {"result beyond its buffer", [] { gz_card_settings() = GzCardSettings{GzCardFault::longLength, 0}; },
         "oxcompMemCpytoUsr err! ret = 0x0(0) cpy_len =0x7fffffff", 0},
        {"copy from the card", [] { sim_fail_request(ASMF_MEM_NODE, asmf_mem_request(ASMF_MEM_CPY_TO_USR), EIO, 2); },
         "oxcompMemCpytoUsr err!", 0},
        {"copy to the card", [] { sim_fail_request(ASMF_MEM_NODE, asmf_mem_request(ASMF_MEM_CPY_TO_POOL), EIO); },
         "gzread oxcompMemCpytoAcc failed!", 0},
        {"output allocation", [] { sim_fail_request(ASMF_MEM_NODE, asmf_mem_request(ASMF_MEM_ALLOC), ENOMEM, 3); },
         "output_addr failed!", 0},
        {"card refuses the task", [card] { sim_fail_request(card, kSendTask, EIO, 2); },
         "recv_info.status = 0x2(2) recv_info.err_no = 0x3 err!", 0},
        {"handle open", [] { sim_fail_op(SimFaultOp::bind, "", EADDRINUSE); }, "gzread_fpga oxcompOpenHandle error=", 0},
    };
    const Bytes data = gztest::repetitive_input(65 * kMiB);
    gztest::put_file(root_ + "/f.gz", member(data));
    for (const FaultCase &c : cases) {
        SCOPED_TRACE(c.what);
        sim_clear_faults();
        asmf_sim_settings() = AsmfSimSettings{asmf_sim_settings().pools};
        gz_card_install();
        c.arm();
        const uint64_t t0 = sched_now_ns();
        Bytes got;
        EXPECT_EQ(read_file(got, 65 * kMiB), -1);
        EXPECT_GE(sched_now_ns() - t0, c.minNs);
        EXPECT_TRUE(printed(c.line)) << c.line << out_.substr(out_.size() > 3000 ? out_.size() - 3000 : 0);
        EXPECT_TRUE(printed("gzread_fpga failed!ret = "));
        ASSERT_EQ(asmf_sim_held_blocks(), 0u) << "card memory left: the next read would wait for it";
        if (asmf_sim_settings().answer == AsmfSimAnswer::drop) {   // the card keeps what it never answered
            EXPECT_EQ(asmf_sim_held_resources(), 2u);
            asmf_sim_forget_resources();
        }
        ASSERT_EQ(asmf_sim_held_resources(), 0u) << "a card resource left held";
    }
    // Nothing of the card is left: a clean read follows.
    sim_clear_faults();
    asmf_sim_settings() = AsmfSimSettings{asmf_sim_settings().pools};
    gz_card_install();
    Bytes got;
    EXPECT_EQ(read_file(got, 65 * kMiB), static_cast<int>(65 * kMiB));
}

TEST_F(GzReadAccTest, ResultsBeforeAndAfterTheLastSendFillTheBufferExactly)
{
    // Copies cost virtual time, so results arrive while sending goes on.
    const Bytes data = gztest::random_input(80 * kMiB);
    gztest::put_file(root_ + "/f.gz", member(data, 0, "", false, 1));
    for (uint64_t cost : {0ull, 50000000ull}) {
        SCOPED_TRACE(cost);
        asmf_sim_settings().copyCostNs = cost;
        Bytes got;
        ASSERT_EQ(read_file(got, 10 * kMiB), static_cast<int>(10 * kMiB)) << out_.substr(out_.size() - 2000);
        EXPECT_TRUE(std::equal(got.begin(), got.end(), data.begin()));
    }
}

TEST_F(GzReadAccTest, RefusedArguments)
{
    gztest::put_file(root_ + "/f.gz", member({1, 2, 3}));
    testing::internal::CaptureStdout();
    gzacc::gz_file_state *f = gzacc::gzopen("/f.gz", "rb");
    uint8_t buf[4];
    EXPECT_EQ(gzacc::gzread_fpga(nullptr, buf, 4), -103);
    EXPECT_EQ(gzacc::gzread_fpga(f, nullptr, 4), -103);
    EXPECT_EQ(gzacc::gzread_fpga(f, buf, 0), -103);
    EXPECT_EQ(gzacc::gzread(f, buf, 0), 0);
    EXPECT_EQ(gzacc::gzread(f, buf, 4), 3);
    EXPECT_EQ(gzacc::gzread(f, buf, 4), 3) << "every call starts again at the beginning";
    gzacc::gzclose(f);
    testing::internal::GetCapturedStdout();
}

}  // namespace

// The throughput tests and each accelerated read start threads (pthread_create through the host).
// The gzip-file commands through the test dispatcher on the simulated card
// that compresses and decompresses: bad input, lines on success and on
// injected failures, the files they leave, the throughput tests' threads
// (all joined, one failing) and the data-flow rounds.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cerrno>
#include <regex>
#include <string>

#include "asmf/adapter/asmf_res.h"
#include "asmf/interface/asmf_interface.h"
#include "asmf/memory/asmf_mem.h"
#include "sim/asmf_model.h"
#include "sim/gz_card_model.h"
#include "sim/sim_host.h"
#include "sim/sim_sched.h"
#include "support/console_run.h"
#include "support/sim_fixture.h"
#include "tests/gzacc/gz_test_util.h"
#include "tool/trans_op.h"

namespace {

using gztest::Bytes;

class CompressGzTest : public SimTest {
protected:
    void SetUp() override
    {
        SimTest::SetUp();
        gz_card_install();
        source_ = gztest::text_input(200000);
        gztest::put_file(root_ + "/src.txt", source_);
    }
    void TearDown() override
    {
        oxcompFinalize();
        asmf_exit_mem();
        asmf_res_exit();
        EXPECT_EQ(asmf_sim_held_blocks(), 0u);
        EXPECT_EQ(asmf_sim_held_resources(), 0u);
        SimTest::TearDown();
    }
    static ConsoleRun run(const std::string &path)
    {
        const std::string text = "acc/" + path;
        ConsoleRun r = console_run([&] { return op_test(text.c_str()); });
        r.out = std::regex_replace(r.out, std::regex("compress/compress:[0-9]+"), "compress/compress:L");
        return r;
    }
    bool file_is(const std::string &path, const Bytes &want) const
    {
        return gztest::file_bytes(root_ + path) == want;
    }
    bool gz_file_is(const std::string &path, const Bytes &want) const
    {
        Bytes got;
        return gztest::gunzip(gztest::file_bytes(root_ + path), got) && got == want;
    }
    static bool has(const ConsoleRun &r, const std::string &s) { return r.out.find(s) != std::string::npos; }
    Bytes source_;
};

struct BadInput {
    const char *path;
    const char *name;
    int iret;
    const char *failed;
};

TEST_F(CompressGzTest, BadInputPerRow)
{
    const BadInput cases[] = {
        {"com/", "acc_compress_file", -1, "FAILED"},
        {"com/src.txt:out.gz", "acc_compress_file", 2, "FAILED"},
        {"uncom/a:b:", "acc_uncompress_file", 2, "FAILED"},
        {"comperf/a:b:1", "acc_compress_perf", 3, "FAILED"},
        {"uncomperf/a", "acc_uncompress_perf", 1, "FAILED"},
        {"dft/5", "acc_data_flow_test", 1, "failed"},
    };
    for (const BadInput &c : cases) {
        SCOPED_TRACE(c.path);
        const ConsoleRun r = run(c.path);
        EXPECT_EQ(r.status, -1202);
        EXPECT_EQ(r.out, std::string(c.failed) + "\nInvalid input, please check [" + c.name +
                             "] compress/compress:L, iRet = " + std::to_string(c.iret) + "\n");
    }
    // Counts out of range are refused without a line.
    for (const char *path : {"comperf/src.txt:o:129:1", "comperf/src.txt:o:-1:1", "comperf/src.txt:o:1:-1",
                             "uncomperf/src.txt:o:129:1", "uncomperf/src.txt:o:1:-2", "uncomperf/none.gz:o:1:1"}) {
        const ConsoleRun r = run(path);
        EXPECT_EQ(r.status, -1202) << path;
        EXPECT_EQ(r.out, "") << path;
    }
}

// 128 threads is the most either throughput test takes. With no loops the
// threads start and finish at once; the decompression test still asks for
// 128 output buffers of 64 MiB, which a small machine may refuse (-1209), but
// the count is not refused as bad input.
TEST_F(CompressGzTest, ThroughputThreadBound)
{
    gztest::put_file(root_ + "/small.txt", Bytes(16, 'a'));
    ConsoleRun r = run("comperf/small.txt:/perf.gz:128:0");
    EXPECT_EQ(r.status, 0);
    EXPECT_TRUE(has(r, " File size 016 B thread num 128 loop cnt 0 compress cost ")) << r.out;
    EXPECT_TRUE(has(r, " Compress test completed!"));
    r = run("uncomperf/small.txt:ignored:128:0");
    EXPECT_NE(r.status, -1202);
    EXPECT_TRUE(r.status == 0 || r.status == -1209) << r.status;
    if (r.status == 0) {
        EXPECT_TRUE(has(r, " thread num 128 loop cnt 0 uncompress cost ")) << r.out;
    }
    for (const char *path : {"comperf/small.txt:/perf.gz:129:0", "uncomperf/small.txt:ignored:129:0"}) {
        r = run(path);
        EXPECT_EQ(r.status, -1202) << path;
        EXPECT_EQ(r.out, "") << path;
    }
}

TEST_F(CompressGzTest, CompressAndUncompressOnTheCardAndOnTheCpu)
{
    for (const char *mode : {"wb9", "wbc"}) {
        SCOPED_TRACE(mode);
        ConsoleRun r = run(std::string("com/src.txt:/out.gz:") + mode);
        EXPECT_EQ(r.status, 0);
        EXPECT_TRUE(has(r, "compress file src.txt success!\n\ndest file : /out.gz\n\nSUCCESS\n"));
        EXPECT_TRUE(has(r, "acc_compress_file [line "));
        EXPECT_TRUE(has(r, "file data len = 0x30d40 BYTE!\n\n"));
        EXPECT_TRUE(gz_file_is("/out.gz", source_));
        // A longer file already there keeps nothing of its own.
        gztest::put_file(root_ + "/back.txt", Bytes(300000, 'z'));
        r = run(std::string("uncom/out.gz:back.txt:") + (mode[2] == 'c' ? "rc" : "rb"));
        EXPECT_EQ(r.status, 0);
        EXPECT_TRUE(has(r, "uncompress file out.gz success!\n\ndest file : back.txt\n\nSUCCESS\n"));
        EXPECT_TRUE(file_is("/back.txt", source_));
    }
}

struct FailCase {
    const char *what;
    const char *path;
    std::function<void(const std::string &root)> arm;
    int status;
    const char *lines;
};

TEST_F(CompressGzTest, FailuresLeaveFilesAsTheyWere)
{
    const FailCase cases[] = {
        {"missing source", "com/none.txt:/o.gz:wb", nullptr, -1216,
         "open file none.txt fail! Fd = -1\n\nacc_compress err,ret = -1216\n\n"},
        {"empty source", "com/empty.txt:/o.gz:wb", [](const std::string &r) { gztest::put_file(r + "/empty.txt", {}); },
         -1219, "file state size fail! iRet = 0\n\nacc_compress err,ret = -1219\n\n"},
        {"card error on compress", "com/src.txt:/o.gz:wb", [](const std::string &) { asmf_sim_settings().taskStatus = 3; },
         -1216, "gzwrite file /o.gz len 0 err!\n\n"},
        {"destination refused", "com/src.txt:/o.gz:wb", [](const std::string &) { sim_fail_open("/o.gz", EACCES); },
         -1216, "gzopen file /o.gz mode wb err!\n\n"},
        {"card error on decompress", "uncom/in.gz:/keep.txt:rb",
         [](const std::string &) { asmf_sim_settings().taskStatus = 3; }, -1218,
         "gzread file in.gz len -1 err!\n\nacc_uncompress err,ret = -1218\n\n"},
        {"not gzip", "uncom/src.txt:/keep.txt:rb", nullptr, -1218, "gzread file src.txt len -1 err!\n\n"},
        {"output refused", "uncom/in.gz:/keep.txt:rb", [](const std::string &) { sim_fail_open("/keep.txt", EACCES); },
         -1216, "open file /keep.txt fail! Fd = -1\n\n"},
    };
    const Bytes keep(1234, 'k');
    for (const FailCase &c : cases) {
        SCOPED_TRACE(c.what);
        sim_clear_faults();
        asmf_sim_settings().taskStatus = 0;
        ASSERT_EQ(run("com/src.txt:/in.gz:wb").status, 0);
        gztest::put_file(root_ + "/keep.txt", keep);
        if (c.arm)
            c.arm(root_);
        const ConsoleRun r = run(c.path);
        EXPECT_EQ(r.status, c.status);
        EXPECT_TRUE(has(r, c.lines)) << r.out.substr(r.out.size() > 1500 ? r.out.size() - 1500 : 0);
        EXPECT_FALSE(has(r, "SUCCESS"));
        EXPECT_TRUE(file_is("/keep.txt", keep));
    }
    asmf_sim_settings().taskStatus = 0;
}

TEST_F(CompressGzTest, CompressThroughputThreads)
{
    ConsoleRun r = run("comperf/src.txt:/perf.gz:0:3");
    EXPECT_EQ(r.status, 0);
    EXPECT_TRUE(has(r, "src.txt  :  /perf.gz  :0 :3\n\n"));
    EXPECT_TRUE(has(r, " File size 0200000 B thread num 0 loop cnt 0 compress cost "));
    EXPECT_TRUE(has(r, " Compress test completed!"));
    r = run("comperf/src.txt:/perf.gz:2:2");
    EXPECT_EQ(r.status, 0);
    EXPECT_TRUE(has(r, " File size 0200000 B thread num 2 loop cnt 4 compress cost "));
    EXPECT_TRUE(has(r, "acc_gzwrite  /perf.gz.1 "));
    EXPECT_TRUE(gz_file_is("/perf.gz.0", source_));
    EXPECT_TRUE(gz_file_is("/perf.gz.1", source_));
    // One thread cannot open its file: the test fails, the others are joined.
    sim_fail_open("/perf.gz.1", EACCES);
    r = run("comperf/src.txt:/perf.gz:3:2");
    EXPECT_EQ(r.status, -1200);
    EXPECT_TRUE(has(r, " Thread 1 compress --- failed!\n\n"));
    EXPECT_FALSE(has(r, " Thread 0 compress --- failed!"));
}

TEST_F(CompressGzTest, UncompressThroughputThreads)
{
    ASSERT_EQ(run("com/src.txt:/in.gz:wb").status, 0);
    ConsoleRun r = run("uncomperf/in.gz:ignored:2:2");
    EXPECT_EQ(r.status, 0);
    EXPECT_TRUE(has(r, " Thread 0 compress --- success!\n\n"));
    EXPECT_TRUE(has(r, " Thread 1 compress --- success!\n\n"));
    EXPECT_TRUE(has(r, " File size 0200000 B thread num 2 loop cnt 4 uncompress cost "));
    EXPECT_TRUE(has(r, " Uncompress test completed!"));
    r = run("uncomperf/in.gz:ignored:0:1");
    EXPECT_EQ(r.status, 0);
    EXPECT_TRUE(has(r, " Uncompress test completed!"));
    asmf_sim_settings().taskStatus = 3;
    r = run("uncomperf/in.gz:ignored:2:1");
    EXPECT_EQ(r.status, -1200);
    EXPECT_TRUE(has(r, " Thread 0 compress --- failed!\n\n"));
    EXPECT_TRUE(has(r, "acc_compress err,ret = -1200\n\n"));
    asmf_sim_settings().taskStatus = 0;
}

TEST_F(CompressGzTest, DataFlowRounds)
{
    const std::pair<const char *, int> cases[] = {{"dft/0:30", 2}, {"dft/0:5", 1}};
    for (const auto &[path, rounds] : cases) {
        SCOPED_TRACE(path);
        // An older, longer pattern file is cut to the pattern.
        gztest::put_file(root_ + "/wena_com_test.bin", Bytes((64 << 20) + 10, 1));
        const ConsoleRun r = run(path);
        EXPECT_EQ(r.status, 0);
        EXPECT_TRUE(has(r, "Test " + std::to_string(rounds - 1) + " time success! \n\n"));
        EXPECT_FALSE(has(r, "Test " + std::to_string(rounds) + " time"));
        EXPECT_TRUE(has(r, "Data flow test success!\n"));
        struct stat st{};
        ASSERT_EQ(stat((root_ + "/wena_com_test.bin").c_str(), &st), 0);
        EXPECT_EQ(st.st_size, 64 << 20);
    }
    asmf_sim_settings().taskStatus = 3;
    const ConsoleRun r = run("dft/0:1");
    EXPECT_EQ(r.status, -1218);
    EXPECT_TRUE(has(r, "gzwrite file wena_com_test.gz failed! \n\n"));
    asmf_sim_settings().taskStatus = 0;
}

}  // namespace

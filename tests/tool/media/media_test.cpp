// DSP program loading commands through the l_media and t_media
// dispatchers on the simulated KESP board: single loads, threaded loads in
// virtual time (detached threads, never joined), the health thread, and
// the ECC image writer.
#include "tool/media/media.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <string>
#include <vector>

#include "bases/crc/crc16.h"
#include "bases/drv/media_drv.h"
#include "bases/host/host.h"
#include "sim/media_model.h"
#include "sim/sim_host.h"
#include "sim/sim_sched.h"
#include "support/console_run.h"
#include "support/media_image.h"
#include "support/sim_fixture.h"

namespace {

using Bytes = std::vector<uint8_t>;

class MediaLoad : public SimTest {
protected:
    std::string board() const override { return "ZK17KESP"; }
    void TearDown() override
    {
        sched_end_run();   // ends the health thread and any load left running
        EXPECT_EQ(sched_live_threads(), 1) << "a thread left";
        SimTest::TearDown();
    }
    void put_image(const std::string &name, const Bytes &img)
    {
        sim_write_file("/" + name, std::string(img.begin(), img.end()));
    }
};

Bytes small_image() { return image_build(0x10800000, {{0x80000000, Bytes(0x20, 0x5A)}}); }

ConsoleRun l_media(const std::string &path)
{
    return console_run([&] { return op_l_media(path.c_str()); });
}

ConsoleRun t_media(const std::string &path)
{
    return console_run([&] { return op_t_media(path.c_str()); });
}

// ---- single loads -----------------------------------------------------------------------------

TEST_F(MediaLoad, SingleLoadsOneDspOrAllNineStoppingAtTheFirstFailure)
{
    put_image("prog.bin", small_image());
    struct Case {
        const char *path;
        int failDsp;          // DSP whose plug-in fails, -1 none
        int status;
        size_t loads, successes;
        const char *last;
    };
    const Case cases[] = {
        {"f/0:3:prog.bin", -1, 0, 1, 1, "Load subboard 0(0x0)  dsp 3(0x3)  prog.bin  --- \n"},
        {"d/0:4:1:prog.bin", -1, 0, 1, 1, "Load subboard 0(0x0)  dsp 4(0x4)  prog.bin  --- \n"},
        {"f/0:255:prog.bin", -1, 0, 9, 9, "Load subboard 0(0x0)  dsp 8(0x8)  prog.bin  --- \n"},
        {"f/0:255:prog.bin", 4, -1200, 5, 4,
         "FAILED\nFunction PLOV_MediaLoadDspPrg subboard0 dsp4 file len0x52 exe error, iRet = -1200\n"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.path);
        sim_clear_faults();
        if (c.failDsp >= 0)
            media_fail(MEDIA_DEV_PLUGIN, 0, c.failDsp, EIO);
        ConsoleRun r = l_media(c.path);
        EXPECT_EQ(r.status, c.status);
        EXPECT_EQ(count_of(r.out, "Load subboard 0"), c.loads);
        EXPECT_EQ(count_of(r.out, "SUCCESS\n"), c.successes);
        EXPECT_NE(r.out.find(c.last), std::string::npos) << r.out;
        EXPECT_EQ(r.out.rfind("Begin to read prog.bin\n\n", 0), 0u);
    }
}

TEST_F(MediaLoad, ImageReadFailuresAndInputErrors)
{
    put_image("big.bin", Bytes(MEDIA_IMAGE_MAX + 1, 1));
    put_image("prog.bin", small_image());
    struct Case {
        const char *path;
        std::function<void()> fault;
        int status;
        const char *line;
    };
    const Case cases[] = {
        {"f/0:0:none.bin", [] {}, -1221, "Open none.bin failed\n\n"},
        {"f/0:0:big.bin", [] {}, -1212, "Size of big.bin = 10485761(0xa00001) err\n\n"},
        {"f/0:0", [] {}, -1202, "FAILED\nInvalid input, please check [load_media_dsp_image] "},
        {"d/0:0:x", [] {}, -1202, "FAILED\nInvalid input, please check [load_media_dsp_image_delay] "},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.path);
        sim_clear_faults();
        c.fault();
        ConsoleRun r = l_media(c.path);
        EXPECT_EQ(r.status, c.status);
        EXPECT_NE(r.out.find(c.line), std::string::npos) << r.out;
        if (c.status != -1202) {
            EXPECT_NE(r.out.find("FAILED\nFunction dsp_image_read exe error, iRet = " + std::to_string(c.status)),
                      std::string::npos);
        }
        ASSERT_EQ(sim_open_count(), 0);
    }
}

// A copy of the simulated host whose reads take at most 10 bytes, and
// whose reads after the first end the file early when asked.
bool gEarlyEnd = false;
int gReads = 0;
ssize_t piecewise_read(int fd, void *buf, size_t count)
{
    if (gEarlyEnd && ++gReads > 1)
        return 0;
    return g_simHost.read(fd, buf, count < 10 ? count : 10);
}

TEST_F(MediaLoad, TheImageIsReadInPiecesAndAnEarlyEndFails)
{
    Bytes img = small_image();
    put_image("prog.bin", img);
    HostOps ops = g_simHost;
    ops.read = piecewise_read;
    for (bool early : {false, true}) {
        SCOPED_TRACE(early);
        gEarlyEnd = early;
        gReads = 0;
        Bytes buf(MEDIA_IMAGE_BUF, 0);
        int32_t len = 0;
        host_select(&ops);
        ConsoleRun r = console_run([&] { return dsp_image_read("prog.bin", buf.data(), MEDIA_IMAGE_MAX, &len); });
        host_select(&g_simHost);
        EXPECT_EQ(r.status, early ? -1218 : 0);
        EXPECT_EQ(r.out.find("Read file prog.bin failed\n\n") != std::string::npos, early);
        EXPECT_EQ(len, early ? 0 : static_cast<int32_t>(img.size()));
        EXPECT_EQ(std::equal(img.begin(), img.end(), buf.begin()), !early);
        ASSERT_EQ(sim_open_count(), 0);
    }
}

TEST_F(MediaLoad, ATenMebibyteFileIsReadWhole)
{
    Bytes big(MEDIA_IMAGE_MAX, 0);
    for (size_t i = 0; i < big.size(); i++)
        big[i] = static_cast<uint8_t>(i * 13);
    auto buf = std::make_unique<uint8_t[]>(MEDIA_IMAGE_BUF);
    put_image("big.bin", big);
    int32_t len = 0;
    testing::internal::CaptureStdout();
    EXPECT_EQ(dsp_image_read("big.bin", buf.get(), MEDIA_IMAGE_MAX, &len), 0);
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(len, static_cast<int32_t>(MEDIA_IMAGE_MAX));
    EXPECT_EQ(std::memcmp(buf.get(), big.data(), big.size()), 0);
}

// ---- threaded loads ---------------------------------------------------------------------------

// One load of the small image: hot plug 1.05 s, then the 4 s pause of the
// thread before it reports success.
TEST_F(MediaLoad, TwoThreadsSerialiseTheirHotPlugsAndReportPerDsp)
{
    put_image("prog.bin", small_image());
    uint64_t t0 = sim_clock_ns();
    ConsoleRun r = l_media("t/1:2:0:prog.bin");
    uint64_t spent = sim_clock_ns() - t0;
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_EQ(std::string(Filename), "prog.bin");
    // one DSP is done at 5.05 s (polled at 0..5), the other a hot plug later
    // at 6.1 s: whichever went first, the waits take 7 s and print 7 lines
    EXPECT_EQ(spent, 7000000000ULL) << r.out;
    EXPECT_EQ(count_of(r.out, " sleep "), 7u);
    EXPECT_NE(r.out.find("Load subboard 0 dsp 0 sleep 5 \n"), std::string::npos);
    // the hot plugs one after the other: the plug requests of one DSP are contiguous
    std::vector<uint32_t> dsps;
    for (const SimJournalEntry &e : sim_journal_of(SimEvent::request)) {
        if (e.request == MEDIA_DEV_PLUGOUT || e.request == MEDIA_DEV_PLUGIN) {
            uint32_t ids[2];
            std::memcpy(ids, e.record.data(), sizeof ids);
            if (dsps.empty() || dsps.back() != ids[1])
                dsps.push_back(ids[1]);
        }
    }
    EXPECT_EQ(dsps.size(), 2u);
    EXPECT_NE(r.out.find("SubBoardCnt 1 DspCnt 2 thread ! \nLoad subboard 0 dsp 0 success! \n"
                         "Load subboard 0 dsp 1 success! \n"),
              std::string::npos);
    EXPECT_EQ(media_dsp_view(0, 0).resets, 1u);
    EXPECT_EQ(media_dsp_view(0, 1).resets, 1u);
    EXPECT_EQ(gLoadInfo[0][1].status.load(), 0);
}

TEST_F(MediaLoad, ALoadStillRunningFailsAndFinishesOnTheIntactImage)
{
    // 6 MiB at the slow pace (2 KiB each 8 ms): about 25 s, longer than the 20 s wait
    Bytes data = pattern(6u << 20, 0x11);
    put_image("prog.bin", image_build(0x10800000, {{0x81000000, data}}));
    sim_journal_enable(false);
    ConsoleRun r = l_media("t/1:1:1:prog.bin");
    EXPECT_EQ(r.status, -1200);
    EXPECT_NE(r.out.find("Load subboard 0 dsp 0 sleep 19 \n"), std::string::npos);
    EXPECT_EQ(r.out.find("Load subboard 0 dsp 0 sleep 20 \n"), std::string::npos);
    EXPECT_NE(r.out.find("Load subboard 0 dsp 0 fail! \nFAILED\nFunction load_media_thread_ret exe error, iRet = "
                         "-1200 [load_media_in_mult_thread] "),
              std::string::npos);
    EXPECT_EQ(gLoadInfo[0][0].status.load(), MEDIA_LOAD_RUNNING);
    // the command has released its share; the thread goes on in virtual time
    testing::internal::CaptureStdout();
    host().sleep(60);
    std::string later = testing::internal::GetCapturedStdout();
    EXPECT_EQ(gLoadInfo[0][0].status.load(), MEDIA_LOAD_OK) << later;
    Bytes got(data.size());
    ASSERT_TRUE(media_mem_read(0, 0, 0x81000000, got.data(), static_cast<uint32_t>(got.size())));
    EXPECT_TRUE(got == data);
}

TEST_F(MediaLoad, RefusedCountsAndRepeats)
{
    put_image("prog.bin", small_image());
    const char *paths[] = {"t/3:1:0:prog.bin", "t/1:10:0:prog.bin", "th/1:1:0:2147483648:prog.bin",
                           "th/1:1:0:3000000000:prog.bin"};
    for (const char *p : paths) {
        SCOPED_TRACE(p);
        ConsoleRun r = l_media(p);
        EXPECT_EQ(r.status, -1202);
        EXPECT_EQ(r.out, "PARA FAILED\n");
        EXPECT_EQ(sched_live_threads(), 1);
    }
}

TEST_F(MediaLoad, NineDspsOfTwoSubBoardsHaveTheirOwnRecords)
{
    put_image("prog.bin", small_image());
    media_set_subrd(1, true);
    ConsoleRun r = l_media("t/2:9:0:prog.bin");
    // The eighteen threads take their hot-plug turns in no fixed order, so a
    // DSP whose turn comes late can outlast its 20 s wait; every load still
    // ends well, on its own record.
    if (r.status == 0)
        EXPECT_EQ(count_of(r.out, " success! \n"), 18u);
    else
        EXPECT_EQ(r.status, MEDIA_LOAD_FAILED) << r.out.substr(0, 2000);
    host().sleep(120);
    EXPECT_EQ(sched_live_threads(), 1);
    for (uint32_t s = 0; s < 2; s++)
        for (uint32_t d = 0; d < 9; d++) {
            EXPECT_EQ(gLoadInfo[s][d].dsp * 10 + gLoadInfo[s][d].sub, d * 10 + s);
            EXPECT_EQ(gLoadInfo[s][d].status.load(), MEDIA_LOAD_OK) << s << ":" << d;
        }
}

// A copy of the simulated host whose n-th thread creation fails.
int gCreateFailAt = 0;
int gCreates = 0;
int failing_create(pthread_t *t, const pthread_attr_t *a, void *(*fn)(void *), void *arg)
{
    if (++gCreates == gCreateFailAt)
        return EAGAIN;
    return g_simHost.pthread_create(t, a, fn, arg);
}

TEST_F(MediaLoad, AThreadCreationFailureEndsTheCommand)
{
    put_image("prog.bin", small_image());
    HostOps ops = g_simHost;
    ops.pthread_create = failing_create;
    struct Case {
        const char *path;
        int failAt;
        int startedLoads;
    };
    const Case cases[] = {{"th/1:2:0:1:prog.bin", 1, 0}, {"t/1:3:0:prog.bin", 2, 1}};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.path);
        gCreates = 0;
        gCreateFailAt = c.failAt;
        host_select(&ops);
        ConsoleRun r = l_media(c.path);
        host().sleep(30);   // what was started finishes on its own share of the image
        EXPECT_EQ(sched_live_threads(), 1);
        host_select(&g_simHost);
        EXPECT_EQ(r.status, -1200);
        EXPECT_NE(r.out.find("Thread creation failed 11\nFAILED\nFunction load_media_thread_create exe error, "
                             "iRet = -1200 [load_with_health_chk_mult_thread]") == std::string::npos,
                  c.failAt == 1);
        EXPECT_EQ(r.out.find("sleep"), std::string::npos);
    }
}

TEST_F(MediaLoad, HealthThreadPollsBothSubBoardsWhileLoadsRepeat)
{
    put_image("prog.bin", small_image());
    SubrdState sound{};
    for (MediaPortState &p : sound.DspPortState)
        p = {1, 2, 2, 0};
    sound.FpgaPortState = {1, 8, 2, 0};
    sound.CpuPortState = {1, 1, 2, 0};
    sound.LpcState = 1;
    media_set_subrd_state(0, sound);
    uint64_t t0 = sim_clock_ns();
    ConsoleRun r = l_media("th/1:1:0:2:prog.bin");
    EXPECT_EQ(r.status, 0) << r.out;
    // two loads 4 s apart: done at 2 x (1.05 + 4) s
    EXPECT_EQ(sim_clock_ns() - t0, 11000000000ULL);
    EXPECT_EQ(media_dsp_view(0, 0).resets, 2u);
    EXPECT_NE(r.out.find("PLOV_MediaGetSubBoardHealthStatus subboard0 exe success\n"), std::string::npos);
    EXPECT_NE(r.out.find("PLOV_MediaGetSubBoardHealthStatus subboard1 exe error, iRet = -1200\n"), std::string::npos);
    EXPECT_EQ(r.out.find("subboard0 status error"), std::string::npos);
    // the health thread runs on, also after the command
    testing::internal::CaptureStdout();
    host().sleep(3);
    std::string later = testing::internal::GetCapturedStdout();
    EXPECT_GE(count_of(later, "PLOV_MediaGetSubBoardHealthStatus subboard0 exe success\n"), 2u) << later;
    EXPECT_EQ(sched_live_threads(), 2);
}

TEST_F(MediaLoad, ASubBoardLeavingDuringTh)
{
    put_image("prog.bin", small_image());
    // gone at 6 s: the first load (done 1.05 s) and its pause pass, the second fails
    media_presence_at(0, 9, false, sim_clock_ns() + 6000000000ULL);
    ConsoleRun r = l_media("th/1:1:0:2:prog.bin");
    EXPECT_EQ(r.status, -1200);
    EXPECT_NE(r.out.find("FAILED\nFunction PLOV_MediaLoadDspPrg subboard0 dsp0 file len0x52 exe error"),
              std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find("Load subboard 0 dsp 0 fail! \n"), std::string::npos);
    EXPECT_NE(r.out.find("PLOV_MediaGetSubBoardHealthStatus subboard0 exe success\n"), std::string::npos);
    // from then on the health thread finds sub-board 0 gone
    testing::internal::CaptureStdout();
    host().sleep(2);
    std::string later = testing::internal::GetCapturedStdout();
    EXPECT_GE(count_of(later, "PLOV_MediaGetSubBoardHealthStatus subboard0 exe error, iRet = -1200\n"), 1u) << later;
    EXPECT_EQ(count_of(later, "subboard0 exe success"), 0u);
}

// ---- ECC image --------------------------------------------------------------------------------

Bytes file_bytes(const std::string &path)
{
    std::string s = sim_read_file(path);
    return Bytes(s.begin(), s.end());
}

TEST_F(MediaLoad, EccImageAddsOneZoneRecordAndItsCrc)
{
    Bytes img(1000);
    for (size_t i = 0; i < img.size(); i++)
        img[i] = static_cast<uint8_t>(i * 3);
    put_image("p.bin", img);
    ConsoleRun r = t_media("ecc/0x80000000:0x00100000:p.bin");
    EXPECT_EQ(r.status, 0) << r.out;
    Bytes out = file_bytes("/ECC_p.bin");
    ASSERT_EQ(out.size(), 1016u);
    EXPECT_TRUE(std::equal(img.begin(), img.end() - 2, out.begin()));
    const uint8_t zone[16] = {'E', 'C', 'C', ' ', 8, 0, 0, 0, 0, 0, 0, 0x80, 0, 0, 0x10, 0};
    EXPECT_TRUE(std::equal(zone, zone + 16, out.begin() + 998));
    uint16_t crc = crc16_update(0, out.data(), 1014);
    EXPECT_EQ(out[1014] | out[1015] << 8, crc);
    char line[64];
    std::snprintf(line, sizeof line, "FilenameNew : ECC_p.bin  usCalcCrc :0x%x\n", crc);
    EXPECT_NE(r.out.find(line), std::string::npos);
    EXPECT_NE(r.out.find("Write size of ECC_p.bin = 1016(0x3f8)\n\nWrite dsp image OK!\n"), std::string::npos);
}

TEST_F(MediaLoad, EccTwiceGivesTheZoneOrderTheLoaderReads)
{
    Bytes img = small_image();
    put_image("p.bin", img);
    ASSERT_EQ(t_media("ecc/0x80000000:0x00001000:p.bin").status, 0);
    ASSERT_EQ(t_media("ecc/0x80100000:0x00002000:ECC_p.bin").status, 0);
    Bytes out = file_bytes("/ECC_ECC_p.bin");
    Bytes want = img;
    image_add_zone(want, 0x80000000, 0x1000);
    image_add_zone(want, 0x80100000, 0x2000);
    EXPECT_EQ(out, want);
    // loaded: zone 1 is the first added, zone 0 the second
    put_image("z.bin", out);
    ASSERT_EQ(l_media("f/0:2:z.bin").status, 0);
    MediaDspView v = media_dsp_view(0, 2);
    EXPECT_EQ(v.ecc[0], 0x80100000u);
    EXPECT_EQ(v.ecc[2], 0x80000000u);
}

TEST_F(MediaLoad, EccOverAStaleLongerFileAndShortInputs)
{
    put_image("p.bin", Bytes(100, 7));
    put_image("ECC_p.bin", Bytes(5000, 0xEE));
    ASSERT_EQ(t_media("ecc/0x1:0x2:p.bin").status, 0);
    Bytes out = file_bytes("/ECC_p.bin");
    ASSERT_EQ(out.size(), 116u);
    EXPECT_EQ(crc16_update(0, out.data(), 114), out[114] | out[115] << 8);

    struct Case {
        Bytes input;
        const char *path;
        int status;
        const char *line;
    };
    const Case cases[] = {
        {Bytes(1, 9), "ecc/0x1:0x2:s.bin", -1202, "FAILED\nInvalid input, please check [creat_media_dsp_ecc_image] "},
        {Bytes{}, "ecc/0x1:0x2:s.bin", -1202, "FAILED\nInvalid input, please check [creat_media_dsp_ecc_image] "},
        {Bytes(2, 9), "ecc/0x1:s.bin", -1202, "FAILED\nInvalid input, please check [creat_media_dsp_ecc_image] "},
        {Bytes(2, 9), "ecc/0x1:0x2:s.bin", 0, "Write size of ECC_s.bin = 18(0x12)\n"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.path);
        put_image("s.bin", c.input);
        sim_write_file("/ECC_s.bin", "");
        ConsoleRun r = t_media(c.path);
        EXPECT_EQ(r.status, c.status);
        EXPECT_NE(r.out.find(c.line), std::string::npos) << r.out;
        EXPECT_EQ(file_bytes("/ECC_s.bin").size(), c.status == 0 ? 18u : 0u);
    }
}

TEST_F(MediaLoad, EccNameGoesBeforeTheBaseNameAndKeepsTheDirectory)
{
    struct Case {
        const char *given, *written;
    } cases[] = {
        {"/tmp/d/f.bin", "/tmp/d/ECC_f.bin"},
        {"./f.bin", "./ECC_f.bin"},
        {"sub/dir/f.bin", "sub/dir/ECC_f.bin"},
        {"f.bin", "ECC_f.bin"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.given);
        put_image(c.given[0] == '/' ? std::string(c.given + 1) : c.given, Bytes(40, 0x6B));
        ConsoleRun r = t_media(std::string("ecc/0x80000000:0x00001000:") + c.given);
        EXPECT_EQ(r.status, 0) << r.out;
        EXPECT_NE(r.out.find(std::string("FilenameNew : ") + c.written + "  usCalcCrc :0x"), std::string::npos) << r.out;
        const std::string path = c.written[0] == '/' ? c.written : std::string("/") + c.written;
        EXPECT_EQ(file_bytes(path).size(), 56u);
    }
}

TEST_F(MediaLoad, EccOfTheLargestAcceptedFileAndAFailingWrite)
{
    put_image("big.bin", Bytes(MEDIA_IMAGE_MAX, 3));
    ConsoleRun r = t_media("ecc/0x1:0x2:big.bin");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(file_bytes("/ECC_big.bin").size(), MEDIA_IMAGE_MAX + 16u);

    put_image("p.bin", Bytes(100, 7));
    sim_fail_open("/ECC_p.bin", EACCES);
    r = t_media("ecc/0x1:0x2:p.bin");
    EXPECT_EQ(r.status, -1221);
    EXPECT_NE(r.out.find("Open ECC_p.bin failed\n\nFAILED\nFunction dsp_image_write exe error, iRet = -1221 "
                         "[creat_media_dsp_ecc_image] "),
              std::string::npos);
}

} // namespace

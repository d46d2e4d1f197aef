// The media board API on a simulated KESP board: sliced DSP memory
// transfers, board information, health queries and program loads under the
// library's locks, in virtual time.
#include "boardlib/media_intf.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "bases/host/host.h"
#include "sim/fpga_model.h"
#include "sim/media_model.h"
#include "support/media_image.h"
#include "support/sim_fixture.h"

namespace {

using Bytes = std::vector<uint8_t>;

class MediaIntfTest : public SimTest {
protected:
    std::string board() const override { return "ZK17KESP"; }
    static void fresh()
    {
        sim_clear_faults();
        sim_clear_journal();
        sim_clear_syslog();
    }
    static int lines_with(const std::string &text)
    {
        int n = 0;
        for (const SimLogLine &l : sim_syslog())
            n += l.text.find(text) != std::string::npos;
        return n;
    }
    static std::vector<MEDIA_MEM_RW_STRU> mem_requests(unsigned long code)
    {
        std::vector<MEDIA_MEM_RW_STRU> out;
        for (const SimJournalEntry &e : sim_journal_of(SimEvent::request, MEDIA_DEV_NODE, code)) {
            MEDIA_MEM_RW_STRU r{};
            std::memcpy(&r, e.record.data(), sizeof r);
            out.push_back(r);
        }
        return out;
    }
    static int sem_value(uint32_t sub, uint32_t dsp)
    {
        int v = -1;
        sem_getvalue(&gLoadSem[sub][dsp], &v);
        return v;
    }
    // The locks exist from first use; a refusal may come before any use.
    static bool all_free()
    {
        if (PLOV_MediaLoadInit() != 0)
            return false;
        for (uint32_t s = 0; s < MEDIA_SUBRD_NUM; s++)
            for (uint32_t d = 0; d < MEDIA_DSP_NUM; d++)
                if (sem_value(s, d) != 1)
                    return false;
        if (pthread_mutex_trylock(&gMediaSwitchLock) != 0)
            return false;
        pthread_mutex_unlock(&gMediaSwitchLock);
        return true;
    }
};

Bytes pattern(size_t n)
{
    Bytes b(n);
    for (size_t i = 0; i < n; i++)
        b[i] = static_cast<uint8_t>(i * 7 + i / 251);
    return b;
}

// ---- sliced transfers --------------------------------------------------------------------------

TEST_F(MediaIntfTest, TransfersAreSlicedAtOneMebibyte)
{
    struct Case {
        uint32_t length;
        std::vector<std::pair<uint32_t, uint32_t>> slices;   // (address offset, length)
    } cases[] = {
        {0x100000, {{0, 0x100000}}},
        {0x180000, {{0, 0x100000}, {0x100000, 0x80000}}},
        {0x10, {{0, 0x10}}},
    };
    const uint32_t addr = 0x80001000;
    for (const Case &c : cases) {
        SCOPED_TRACE(c.length);
        fresh();
        Bytes data = pattern(c.length), back(c.length);
        ASSERT_EQ(PLOV_MediaWriteDspMem(0, 3, addr, data.data(), c.length), 0);
        ASSERT_EQ(PLOV_MediaReadDspMem(0, 3, addr, back.data(), c.length), 0);
        EXPECT_EQ(back, data);
        Bytes model(c.length);
        ASSERT_TRUE(media_mem_read(0, 3, addr, model.data(), c.length));
        EXPECT_EQ(model, data);
        for (unsigned long code : {MEDIA_MEM_WRITE, MEDIA_MEM_READ}) {
            auto reqs = mem_requests(code);
            ASSERT_EQ(reqs.size(), c.slices.size());
            for (size_t i = 0; i < reqs.size(); i++) {
                EXPECT_EQ(reqs[i].uiDspAddr, addr + c.slices[i].first);
                EXPECT_EQ(reqs[i].uiLen, c.slices[i].second);
                EXPECT_EQ(reqs[i].uiSubrdId, 0U);
                EXPECT_EQ(reqs[i].uiDspId, 3U);
            }
        }
    }
}

TEST_F(MediaIntfTest, TransferRefusalsAndFailures)
{
    uint8_t buf[16] = {};
    struct Case {
        const char *name;
        std::function<PlovStatus()> call;
        PlovStatus expect;
    } refusals[] = {
        {"sub 2", [&] { return PLOV_MediaReadDspMem(2, 0, 0x80000000, buf, 16); }, -1205},
        {"dsp 9", [&] { return PLOV_MediaWriteDspMem(0, 9, 0x80000000, buf, 16); }, -1205},
        {"null", [] { return PLOV_MediaReadDspMem(0, 0, 0x80000000, nullptr, 16); }, -1201},
        {"length 0", [&] { return PLOV_MediaReadDspMem(0, 0, 0x80000000, buf, 0); }, -1202},
        {"past 2^32", [&] { return PLOV_MediaReadDspMem(0, 0, 0xFFFFFFF8, buf, 16); }, -1202},
        {"past 2^32 by slices", [&] { return PLOV_MediaWriteDspMem(0, 0, 0xFFF00000, buf, 0x100001); }, -1202},
    };
    for (const Case &c : refusals) {
        SCOPED_TRACE(c.name);
        fresh();
        EXPECT_EQ(c.call(), c.expect);
        EXPECT_TRUE(sim_journal().empty());   // the device is not even opened
    }
    fresh();
    uint8_t top[8] = {};
    EXPECT_NE(PLOV_MediaReadDspMem(0, 0, 0xFFFFFFF8, top, 8), -1202);   // ends at 2^32: sent
    EXPECT_EQ(mem_requests(MEDIA_MEM_READ).size(), 1U);

    fresh();
    sim_fail_open(MEDIA_DEV_NODE, ENOENT);
    EXPECT_EQ(PLOV_MediaReadDspMem(0, 0, 0x80000000, buf, 16), -1221);
    Bytes big(0x180000);
    struct Fail {
        bool write;
        unsigned nth;
        const char *line;
    } fails[] = {
        {false, 1, "ioctl integral read slice addr 0x80000000 len 0x100000 error, errno = 5(Input/output error)"},
        {false, 2, "ioctl read end slice addr 0x80100000 len 0x80000 error, errno = 5(Input/output error)"},
        {true, 1, "ioctl write integral slice addr 0x80000000 len 0x100000 error, errno = 5(Input/output error)"},
        {true, 2, "ioctl write end slice addr 0x80100000 len 0x80000 error, errno = 5(Input/output error)"},
    };
    for (const Fail &f : fails) {
        SCOPED_TRACE(f.line);
        fresh();
        sim_fail_request(MEDIA_DEV_NODE, f.write ? MEDIA_MEM_WRITE : MEDIA_MEM_READ, EIO, f.nth);
        PlovStatus ret = f.write ? PLOV_MediaWriteDspMem(0, 0, 0x80000000, big.data(), 0x180000)
                                 : PLOV_MediaReadDspMem(0, 0, 0x80000000, big.data(), 0x180000);
        EXPECT_EQ(ret, -1);
        EXPECT_EQ(lines_with(f.line), 1);
        EXPECT_EQ(mem_requests(f.write ? MEDIA_MEM_WRITE : MEDIA_MEM_READ).size(), f.nth);
        ASSERT_EQ(sim_open_count(), 0);
    }
}

// ---- board information ---------------------------------------------------------------------------

TEST_F(MediaIntfTest, BoardInfoWithOnlySubBoardOnePresent)
{
    media_set_subrd(0, false);
    media_set_subrd(1, true);
    for (uint32_t d = 0; d < MEDIA_DSP_NUM; d++)
        media_set_dsp(1, d, "init", d == 4);
    BoardInfo info;
    std::memset(&info, 0xAA, sizeof info);
    ASSERT_EQ(PLOV_MediaGetBoardInfo(&info), 0);
    EXPECT_EQ(info.enBaseBoardType, 0U);
    EXPECT_EQ(info.uiSubBoardNum, 1U);
    for (uint32_t i = 0; i < MEDIA_SUBRD_INFO_NUM; i++) {
        const stSubBoardInfo &e = info.astSubBoard[i];
        bool present = i == 1;
        EXPECT_EQ(e.enSubBoardId, i);
        EXPECT_EQ(e.enSubBoardStatus, present ? 0U : 1U) << i;
        EXPECT_EQ(e.enSubBoardType, present ? 0U : 1U) << i;
        EXPECT_EQ(e.ulDspNum, present ? 9U : 0U) << i;
        EXPECT_EQ(e.ulRsv, 0U);
    }
    fresh();
    media_fail(MEDIA_INIT_STATE, 1, 2, EIO);
    std::memset(&info, 0x5C, sizeof info);
    EXPECT_EQ(PLOV_MediaGetBoardInfo(&info), -1200);
    EXPECT_EQ(lines_with("MEDIA_GetInitState subboard1 dsp2 err ret -1!"), 1);
    EXPECT_EQ(info.uiSubBoardNum, 0x5C5C5C5CU);   // untouched
    EXPECT_EQ(PLOV_MediaGetBoardInfo(nullptr), -1201);
}

// ---- health ----------------------------------------------------------------------------------------

SubrdState sound_state()
{
    SubrdState s{};
    for (MediaPortState &p : s.DspPortState)
        p = {1, 2, 2, 0};
    s.FpgaPortState = {1, 8, 2, 0};
    s.CpuPortState = {1, 1, 2, 0};
    s.LpcState = 1;
    return s;
}

TEST_F(MediaIntfTest, HealthClassification)
{
    struct Case {
        const char *name;
        std::function<void(SubrdState &)> edit;
        PlovStatus expect;
        uint32_t health;
    } cases[] = {
        {"sound", [](SubrdState &) {}, 0, 1},
        {"lpc", [](SubrdState &s) { s.LpcState = 0; }, 0, 2},
        {"cpu width", [](SubrdState &s) { s.CpuPortState.LinkWidth = 4; }, 0, 2},
        {"dsp 7 down", [](SubrdState &s) { s.DspPortState[7].LinkState = 0; }, 0, 4},
        {"fpga speed 0 and lpc", [](SubrdState &s) { s.FpgaPortState.LinkSpeed = 0; s.LpcState = 3; }, 0, 8},
        {"dsp width 33", [](SubrdState &s) { s.DspPortState[2].LinkWidth = 33; }, -1200, 0},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        fresh();
        SubrdState st = sound_state();
        c.edit(st);
        media_set_subrd_state(0, st);
        HealthState h{};
        EXPECT_EQ(PLOV_MediaGetSubBoardHealthStatus(0, &h), c.expect);
        ASSERT_TRUE(all_free()) << "a lock left held: the next call would wait on it for ever";
        if (c.expect != 0) {
            EXPECT_EQ(lines_with("MEDIA_GetSubrdPathStatus subboard0 dsp 2 port err ret -1200!"), 1);
            continue;
        }
        EXPECT_EQ(h.enSubBoardHealthStatus, c.health);
        EXPECT_EQ(h.stWorkPath.ulSubWorkPathNum, 9U);
        for (uint32_t d = 0; d < 9; d++)
            EXPECT_EQ(h.stWorkPath.astSubWorkPath[d].ulSubWorkPathId, d);
    }
}

TEST_F(MediaIntfTest, HealthFailuresReleaseEverySemaphore)
{
    HealthState h{};
    media_set_subrd(1, true);
    for (uint32_t d = 0; d < MEDIA_DSP_NUM; d++)
        media_set_dsp(1, d, "init", 0);
    EXPECT_EQ(PLOV_MediaGetSubBoardHealthStatus(1, &h), -1200);
    EXPECT_EQ(lines_with("PLOV_MediaGetSubBoardHealthStatus subboard1 did not exit err!"), 1);
    ASSERT_TRUE(all_free()) << "a lock left held: the next call would wait on it for ever";
    fresh();
    media_fail(MEDIA_INIT_STATE, 0, 5, EIO);
    EXPECT_EQ(PLOV_MediaGetSubBoardHealthStatus(0, &h), -1200);
    EXPECT_EQ(lines_with("MEDIA_GetInitState subboard0 dsp5 err ret -1!"), 1);
    ASSERT_TRUE(all_free()) << "a lock left held: the next call would wait on it for ever";
    fresh();
    media_fail(MEDIA_SUBRD_HEALTH, 0, -1, EIO);
    EXPECT_EQ(PLOV_MediaGetSubBoardHealthStatus(0, &h), -1200);
    EXPECT_EQ(lines_with("MEDIA_GetSubBoardHealthState subboard0 err ret -1!"), 1);
    ASSERT_TRUE(all_free()) << "a lock left held: the next call would wait on it for ever";
    EXPECT_EQ(PLOV_MediaGetSubBoardHealthStatus(2, &h), -1205);
    EXPECT_EQ(PLOV_MediaGetSubBoardHealthStatus(0, nullptr), -1201);
}

TEST_F(MediaIntfTest, HealthIsBusyWhileOneDspIsHeldAndLocksOutliveALaterInit)
{
    media_set_subrd_state(0, sound_state());
    for (uint32_t held : {0U, 4U, 8U}) {
        SCOPED_TRACE(held);
        ASSERT_EQ(PLOV_MediaLoadInit(), 0);
        ASSERT_EQ(sem_wait(&gLoadSem[0][held]), 0);
        ASSERT_EQ(PLOV_MediaLoadInit(), 0);   // leaves the held one held
        EXPECT_EQ(sem_value(0, held), 0);
        HealthState h{};
        EXPECT_EQ(PLOV_MediaGetSubBoardHealthStatus(0, &h), -1207);
        for (uint32_t d = 0; d < MEDIA_DSP_NUM; d++)
            EXPECT_EQ(sem_value(0, d), d == held ? 0 : 1) << d;
        EXPECT_EQ(PLOV_MediaGetSubBoardHealthStatus(1, &h), -1200);   // the other sub-board is not blocked
        ASSERT_EQ(sem_post(&gLoadSem[0][held]), 0);
        EXPECT_EQ(PLOV_MediaGetSubBoardHealthStatus(0, &h), 0);
        ASSERT_TRUE(all_free()) << "a lock left held: the next call would wait on it for ever";
    }
}

// ---- program loads ---------------------------------------------------------------------------------

Bytes small_image() { return image_build(0x10800000, {{0x80000000, Bytes(0x20, 0x5A)}}); }

TEST_F(MediaIntfTest, LoadRefusalsAndFailuresLeaveTheLocksFree)
{
    Bytes img = small_image();
    auto len = static_cast<int32_t>(img.size());
    Bytes bad = img;
    bad[9] ^= 1;
    struct Case {
        const char *name;
        std::function<void()> fault;
        std::function<PlovStatus()> call;
        PlovStatus expect;
        const char *line;
    } cases[] = {
        {"sub 2", [] {}, [&] { return PLOV_MediaLoadDspPrg(2, 0, img.data(), len, 0); }, -1205, nullptr},
        {"null image", [] {}, [&] { return PLOV_MediaLoadDspPrg(0, 0, nullptr, len, 0); }, -1201, nullptr},
        {"length 0", [] {}, [&] { return PLOV_MediaLoadDspPrg(0, 0, img.data(), 0, 0); }, -1200, "para err!"},
        {"negative length", [] {}, [&] { return PLOV_MediaLoadDspPrg(0, 0, img.data(), -1, 0); }, -1200, "para err!"},
        {"load type 3", [] {}, [&] { return PLOV_MediaLoadDspPrg(0, 0, img.data(), len, 3); }, -1200, "para err!"},
        {"load type -1", [] {}, [&] { return PLOV_MediaLoadDspPrg(0, 0, img.data(), len, -1); }, -1200, "para err!"},
        {"hot plug", [] { sim_fail_request(MEDIA_DEV_NODE, MEDIA_SW_PORT_IOMEM_CTRL, EIO); },
         [&] { return PLOV_MediaLoadDspPrg(0, 2, img.data(), len, 0); }, -1200, "MEDIA_DspHotPlug subboard0 dsp2 err ret -1200!"},
        {"image", [] {}, [&] { return PLOV_MediaLoadDspPrg(0, 2, bad.data(), len, 0); }, -1200,
         "MEDIA_LoadDspBin subboard0 dsp2 loadtype0 err ret -1200!"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        fresh();
        c.fault();
        EXPECT_EQ(c.call(), c.expect);
        ASSERT_TRUE(all_free()) << "a lock left held: the next call would wait on it for ever";
        if (c.line != nullptr) {
            EXPECT_EQ(lines_with(c.line), 1);
        }
    }
    fresh();
    EXPECT_EQ(PLOV_MediaLoadDspPrg(0, 2, img.data(), len, 0), 0);
    EXPECT_EQ(lines_with("[Media-INFO]MEDIA_LoadDspBin subboard0 dsp2 loadtype0 success!"), 1);
    ASSERT_TRUE(all_free()) << "a lock left held: the next call would wait on it for ever";
    EXPECT_EQ(media_dsp_view(0, 2).startedCores, 0xFFU);
}

struct LoadArg {
    uint32_t dsp;
    const Bytes *img;
    PlovStatus ret;
    int32_t loadType = 0;
};

void *load_thread(void *p)
{
    auto *a = static_cast<LoadArg *>(p);
    a->ret = PLOV_MediaLoadDspPrg(0, a->dsp, a->img->data(), static_cast<int32_t>(a->img->size()), a->loadType);
    return nullptr;
}

// Each load's hot plug takes 1.05 s, and a 64 KiB section loaded at the
// slow pace another 0.256 s (32 chunks, 8 ms apart). Two loads in two
// threads re-plug one after the other, but the first one's section goes in
// while the second re-plugs: one hot plug more than a load alone, and less
// than two loads one after the other.
TEST_F(MediaIntfTest, TwoLoadsOverlapExceptForTheHotPlug)
{
    Bytes img = image_build(0x10800000, {{0x80000000, Bytes(0x10000, 0x3C)}});
    uint64_t t0 = sim_clock_ns();
    LoadArg alone{1, &img, -1, 1};
    load_thread(&alone);
    ASSERT_EQ(alone.ret, 0);
    uint64_t single = sim_clock_ns() - t0;
    const uint64_t hotPlug = 1050000000ULL;
    EXPECT_EQ(single, hotPlug + 32 * 8000000ULL);

    fresh();
    LoadArg a{1, &img, -1, 1}, b{2, &img, -1, 1};
    pthread_t ta, tb;
    t0 = sim_clock_ns();
    ASSERT_EQ(host().pthread_create(&ta, nullptr, load_thread, &a), 0);
    ASSERT_EQ(host().pthread_create(&tb, nullptr, load_thread, &b), 0);
    ASSERT_EQ(host().pthread_join(ta, nullptr), 0);
    ASSERT_EQ(host().pthread_join(tb, nullptr), 0);
    uint64_t both = sim_clock_ns() - t0;
    EXPECT_EQ(a.ret, 0);
    EXPECT_EQ(b.ret, 0);
    EXPECT_EQ(both, single + hotPlug);
    EXPECT_LT(both, 2 * single);
    ASSERT_TRUE(all_free()) << "a lock left held: the next call would wait on it for ever";
    EXPECT_EQ(sim_open_count(), 0);
}

TEST_F(MediaIntfTest, HealthDuringALoadIsBusyAtOnce)
{
    Bytes img = small_image();
    media_set_subrd_state(0, sound_state());
    LoadArg a{6, &img, -1};
    pthread_t t;
    ASSERT_EQ(host().pthread_create(&t, nullptr, load_thread, &a), 0);
    host().usleep(500000);   // inside the hot plug
    HealthState h{};
    uint64_t t0 = sim_clock_ns();
    EXPECT_EQ(PLOV_MediaGetSubBoardHealthStatus(0, &h), -1207);
    EXPECT_EQ(sim_clock_ns(), t0);
    ASSERT_EQ(host().pthread_join(t, nullptr), 0);
    EXPECT_EQ(a.ret, 0);
    EXPECT_EQ(PLOV_MediaGetSubBoardHealthStatus(0, &h), 0);
}

// ---- switches, statistics and tables through the API -----------------------------------------------

TEST_F(MediaIntfTest, MailboxCallsCheckTheirArguments)
{
    uint32_t on = 0;
    stMediaMailboxStatistic st{};
    DspTransTable table{};
    struct Case {
        const char *name;
        std::function<PlovStatus()> call;
        PlovStatus expect;
    } cases[] = {
        {"global get dsp 9", [&] { return PLOV_MediaGetGlobalDspMailBoxSwitch(0, 9, &on); }, -1205},
        {"global get null", [] { return PLOV_MediaGetGlobalDspMailBoxSwitch(0, 0, nullptr); }, -1201},
        {"global set on 2", [] { return PLOV_MediaSetGlobalDspMailBoxSwitch(0, 0, 2); }, -1205},
        {"switch get type 5", [&] { return PLOV_MediaGetDspMailBoxSwitch(0, 0, 0, 5, &on); }, -1205},
        {"switch set core 8", [] { return PLOV_MediaSetDspMailBoxSwitch(0, 0, 8, 0, 1); }, -1205},
        {"stat null", [] { return PLOV_MediaGetDspMailboxStatistic(0, 0, 0, nullptr); }, -1201},
        {"stat clear sub 2", [] { return PLOV_MediaClrDspMailboxStatistic(2, 0, 0); }, -1205},
        {"table get null", [] { return PLOV_MediaGetDspTransTable(0, 0, nullptr); }, -1201},
        {"table set dsp 9", [&] { return PLOV_MediaSetDspTransTable(0, 9, &table); }, -1205},
        {"table set invalid", [&] { return PLOV_MediaSetDspTransTable(0, 0, &table); }, -1202},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        fresh();
        EXPECT_EQ(c.call(), c.expect);
        for (const SimJournalEntry &e : sim_journal())
            EXPECT_NE(e.node, kFpgaTransNode);
    }
    (void)st;
}

TEST_F(MediaIntfTest, StatisticsInTwoPassesAndSwitchOffChecksTheTable)
{
    fpga_put_indirect(kFpgaTransNode, 0x7180, {0x00}, {11});
    fpga_put_indirect(kFpgaTransNode, 0x7984, {0x00}, {99});
    stMediaMailboxStatistic st{};
    ASSERT_EQ(PLOV_MediaGetDspMailboxStatistic(0, 0, 0, &st), 0);
    EXPECT_EQ(st.ulDspCtrlMsgMailBoxReceiveCnt, 11U);
    EXPECT_EQ(st.ulDspReleaseMailBoxErrCnt, 99U);
    ASSERT_EQ(PLOV_MediaClrDspMailboxStatistic(0, 0, 0), 0);
    EXPECT_FALSE(fpga_has_indirect(kFpgaTransNode, 0x7984, {0x00}));

    // Nothing installed: the read-back table points below the window, so switching off fails.
    fresh();
    EXPECT_EQ(PLOV_MediaSetDspMailBoxSwitch(0, 0, 0, 0, 0), -1205);
    EXPECT_FALSE(fpga_has_indirect(kFpgaTransNode, 0x7000, {0x00}));
    // Switching on reads no table.
    fresh();
    EXPECT_EQ(PLOV_MediaSetDspMailBoxSwitch(0, 0, 0, 0, 1), 0);
    EXPECT_EQ(lines_with("MEDIA_CheckTblEntry"), 0);

    MEDIA_PCI_MAP_RESULT w{};
    ASSERT_EQ(PLOV_MediaGetDspPcieAddr(0, 0, 0, MEDIA_REGION_DDR, &w), 0);
    DspTransTable t{};
    MEDIA_FillTblEntry(0, 0, &t);
    for (MbDesc &e : t.MediaTransAddrTbl)
        e.DspAddr = w.uiDspAddr + 0x40;
    for (RwptrTbl &r : t.MediaTransRwptrTbl)
        r.ulDspTransRwptrTblAddr = w.uiDspAddr;
    t.MediaTransPoolBaseInfo = {w.uiDspAddr + 0x1000, 0x100, 0x200};
    ASSERT_EQ(PLOV_MediaSetDspTransTable(0, 0, &t), 0);
    DspTransTable back{};
    ASSERT_EQ(PLOV_MediaGetDspTransTable(0, 0, &back), 0);
    EXPECT_EQ(std::memcmp(&back, &t, sizeof t), 0);
    fresh();
    EXPECT_EQ(PLOV_MediaSetDspMailBoxSwitch(0, 0, 0, 0, 0), 0);
    EXPECT_EQ(fpga_get_indirect(kFpgaTransNode, 0x7000, {0x00}), std::vector<uint64_t>{1});
}

} // namespace

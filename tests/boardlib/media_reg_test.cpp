// The media mailbox registers and DSP trans tables through the simulated
// FPGA driver (KESP encoding) and the simulated media driver's windows.
#include "boardlib/media_reg.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "bases/drv/plov_drv.h"
#include "sim/fpga_model.h"
#include "sim/media_model.h"
#include "sim/sim_sched.h"
#include "support/sim_fixture.h"

namespace {

const std::string kTrans = kFpgaTransNode;
using Words = std::vector<uint64_t>;

// One indirect request as the driver saw it.
struct Seen {
    unsigned long request;
    IndirRegReq rec;
    Words words;
};

std::vector<Seen> seen()
{
    std::vector<Seen> out;
    for (const SimJournalEntry &e : sim_journal_of(SimEvent::request, kTrans)) {
        Seen s{e.request, {}, e.extra};
        std::memcpy(&s.rec, e.record.data(), sizeof s.rec);
        out.push_back(s);
    }
    return out;
}

class MediaRegTest : public SimTest {
protected:
    std::string board() const override { return "ZK17KESP"; }
    void SetUp() override
    {
        SimTest::SetUp();
        media_set_window(0, 1, MEDIA_REGION_DDR, kWin);
    }
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
    static constexpr MEDIA_PCI_MAP_RESULT kWin{0x2400000000ULL, 0x80000000u, 0x10000000u, {}};
    static constexpr uint32_t D = 0x80000000u;
    static constexpr uint64_t P = 0x2400000000ULL;
};

// ---- registers ----------------------------------------------------------------------------------

TEST_F(MediaRegTest, RequestsCarryOnlyBaseCommandLengthsAndData)
{
    uint64_t words[2] = {0x12, 7};
    ASSERT_EQ(MEDIA_LogicHandleIndregByID(32, words, MEDIA_INDIR_WRITE), 0);
    ASSERT_EQ(MEDIA_LogicHandleIndregByID(32, words, MEDIA_INDIR_READ), 0);
    auto s = seen();
    ASSERT_EQ(s.size(), 2U);
    EXPECT_EQ(s[0].request, 0xC004EF02UL);
    EXPECT_EQ(s[1].request, 0xC004EF03UL);
    for (const Seen &x : s) {
        EXPECT_EQ(x.rec.id, 0U);
        EXPECT_EQ(x.rec.command, 0U);
        EXPECT_EQ(x.rec.mode, 0U);
        EXPECT_EQ(x.rec.r2base, 0);
        EXPECT_EQ(x.rec.ret2base, 0);
        EXPECT_EQ(x.rec.baseaddr, 0x7410U);
    }
    EXPECT_EQ(s[0].rec.cmd, 1U);
    EXPECT_EQ(s[0].rec.wlen, 1);
    EXPECT_EQ(s[0].rec.rlen, 0);
    EXPECT_EQ(s[1].rec.cmd, 0U);
    EXPECT_EQ(s[1].rec.wlen, 0);
    EXPECT_EQ(s[1].rec.rlen, 1);
    EXPECT_EQ(words[1], 7U);
    EXPECT_EQ(sim_open_count(), 0);
}

TEST_F(MediaRegTest, AccessLayerRefusals)
{
    uint64_t words[4] = {};
    IndirRegReq req{};
    struct Case {
        const char *name;
        std::function<PlovStatus()> call;
        PlovStatus expect;
        const char *line;
    } cases[] = {
        {"id 60", [&] { return MEDIA_LogicHandleIndregByID(60, words, 0); }, -1202, "err invalid param.\n"},
        {"null data", [] { return MEDIA_LogicHandleIndregByID(1, nullptr, 0); }, -1201, nullptr},
        {"op 4", [&] { return MEDIA_LogicHandleIndregByID(1, words, 4); }, -1205, nullptr},
        {"op 2", [&] { return MEDIA_LogicHandleIndirReg(&req, 2); }, -1202, "Param is Error."},
        {"null request", [] { return MEDIA_LogicHandleIndirReg(nullptr, 0); }, -1201, nullptr},
        {"op 5", [&] { return MEDIA_LogicHandleIndirReg(&req, 5); }, -1205, nullptr},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        fresh();
        EXPECT_EQ(c.call(), c.expect);
        EXPECT_TRUE(seen().empty());
        if (c.line != nullptr) {
            EXPECT_EQ(lines_with(c.line), 1);
        }
    }
}

TEST_F(MediaRegTest, OpenAndRequestFailures)
{
    uint64_t words[2] = {};
    sim_fail_open(kTrans, EACCES);
    EXPECT_EQ(MEDIA_LogicHandleIndregByID(14, words, MEDIA_INDIR_READ), -1);
    fresh();
    sim_fail_request(kTrans, PLOV_IOC_WRITE_INDIR_REG, EIO);
    EXPECT_EQ(MEDIA_LogicHandleIndregByID(14, words, MEDIA_INDIR_WRITE), -1);
    EXPECT_EQ(lines_with("[Media-ERR]Ioctl failed! iRet=-1,errno=5(Input/output error)"), 1);
    EXPECT_EQ(lines_with("call MEDIA_LogicReadIndirReg err"), 1);
    EXPECT_EQ(sim_open_count(), 0);
}

TEST_F(MediaRegTest, QueueKeysAndSwitchEncoding)
{
    struct Case {
        uint32_t type;
        uint64_t base;
        uint64_t key;   // sub 1, DSP 2, core 3
    } cases[] = {{0, 0x7000, 0x126}, {1, 0x6808, 0x126}, {2, 0x7000, 0x127}, {3, 0x6808, 0x127}, {4, 0x7800, 0x126}};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.type);
        fresh();
        ASSERT_EQ(MEDIA_SetDspMailBoxSwitch(1, 2, 3, c.type, 0), 0);
        EXPECT_EQ(fpga_get_indirect(kTrans, c.base, {c.key}), Words{1});   // off is 1
        uint32_t on = 9;
        ASSERT_EQ(MEDIA_GetDspMailBoxSwitch(1, 2, 3, c.type, &on), 0);
        EXPECT_EQ(on, 0U);
        fpga_put_indirect(kTrans, c.base, {c.key}, {0});
        ASSERT_EQ(MEDIA_GetDspMailBoxSwitch(1, 2, 3, c.type, &on), 0);
        EXPECT_EQ(on, 1U);
    }
    fpga_put_indirect(kTrans, 0x7000, {0x126}, {2});
    uint32_t on = 0;
    EXPECT_EQ(MEDIA_GetDspMailBoxSwitch(1, 2, 3, 0, &on), -1202);
    EXPECT_EQ(lines_with("call MEDIA_LogicWriteIndregByID err\n"), 1);
    uint32_t decoded = 0;
    EXPECT_EQ(MEDIA_ProcessMailBoxSwitch(2, &decoded), -1202);
    EXPECT_EQ(MEDIA_GetDspMailBoxSwitch(2, 0, 0, 0, &on), -1205);
    EXPECT_EQ(MEDIA_GetDspMailBoxSwitch(0, 0, 0, 5, &on), -1205);
    EXPECT_EQ(MEDIA_GetDspMailBoxSwitch(0, 0, 0, 0, nullptr), -1201);
    EXPECT_EQ(MEDIA_SetDspMailBoxSwitch(0, 0, 8, 0, 1), -1205);
    EXPECT_EQ(MEDIA_SetDspMailBoxSwitch(0, 0, 0, 0, 2), -1205);
}

TEST_F(MediaRegTest, RegisterIdMaps)
{
    uint32_t id = 0;
    EXPECT_EQ(MEDIA_GetStatisticRegId(3, 1, &id), 0);
    EXPECT_EQ(id, 55U);
    EXPECT_EQ(MEDIA_GetRWptrAddrRegId(2, &id), 0);
    EXPECT_EQ(id, 19U);
    EXPECT_EQ(MEDIA_GetRWptrAddrRegId(3, &id), -1205);
    EXPECT_EQ(MEDIA_GetTransAddrRegId(5, &id), -1205);
    EXPECT_EQ(MEDIA_GetWptrRegId(4, nullptr), -1201);
}

TEST_F(MediaRegTest, GlobalSwitchOrderAndFailurePartWay)
{
    ASSERT_EQ(MEDIA_SetGlobalDspSwitch(1, 5, 1), 0);
    auto s = seen();
    ASSERT_EQ(s.size(), 3U);
    const uint64_t bases[] = {0x7004, 0x680C, 0x7804};
    for (size_t i = 0; i < 3; i++) {
        EXPECT_EQ(s[i].rec.baseaddr, bases[i]);
        EXPECT_EQ(s[i].words, (Words{0x15, 0}));
    }
    uint32_t on = 0;
    ASSERT_EQ(MEDIA_GetGlobalDspSwitch(1, 5, &on), 0);
    EXPECT_EQ(on, 1U);
    fpga_put_indirect(kTrans, 0x7004, {0x15}, {1});
    fpga_put_indirect(kTrans, 0x680C, {0x15}, {1});
    ASSERT_EQ(MEDIA_GetGlobalDspSwitch(1, 5, &on), 0);
    EXPECT_EQ(on, 1U);   // the third is still on
    fpga_put_indirect(kTrans, 0x7804, {0x15}, {1});
    ASSERT_EQ(MEDIA_GetGlobalDspSwitch(1, 5, &on), 0);
    EXPECT_EQ(on, 0U);

    fresh();
    sim_fail_request(kTrans, PLOV_IOC_WRITE_INDIR_REG, EIO, 2);
    EXPECT_EQ(MEDIA_SetGlobalDspSwitch(1, 5, 1), -1);
    EXPECT_EQ(seen().size(), 2U);
    EXPECT_EQ(fpga_get_indirect(kTrans, 0x7004, {0x15}), Words{0});   // the first stays written
    EXPECT_EQ(fpga_get_indirect(kTrans, 0x7804, {0x15}), Words{1});
    fresh();
    sim_fail_request(kTrans, PLOV_IOC_READ_INDIR_REG, EIO, 3);
    EXPECT_EQ(MEDIA_GetGlobalDspSwitch(1, 5, &on), -1);
    EXPECT_EQ(lines_with("call MEDIA_LogicReadIndregByID err\n"), 1);
}

TEST_F(MediaRegTest, StatisticsReadOrderAndClear)
{
    const uint64_t bases[2][5] = {{0x7180, 0x6988, 0x7180, 0x6988, 0x7980}, {0x7184, 0x698C, 0x7184, 0x698C, 0x7984}};
    const uint64_t keys[5] = {0x126, 0x126, 0x127, 0x127, 0x126};
    for (uint32_t c = 0; c < 2; c++)
        for (uint32_t t = 0; t < 5; t++)
            fpga_put_indirect(kTrans, bases[c][t], {keys[t]}, {0x100000000ULL + 10 * t + c});
    for (uint32_t c = 0; c < 2; c++) {
        SCOPED_TRACE(c);
        fresh();
        uint32_t out[10] = {};
        ASSERT_EQ(MEDIA_GetDspMailboxStatistic(1, 2, 3, out, c), 0);
        auto s = seen();
        ASSERT_EQ(s.size(), 5U);
        for (uint32_t t = 0; t < 5; t++) {
            EXPECT_EQ(s[t].rec.baseaddr, bases[c][t]);
            EXPECT_EQ(s[t].words[0], keys[t]);
            EXPECT_EQ(out[2 * t + c], 10 * t + c);   // low 32 bits
            EXPECT_EQ(out[2 * t + (1 - c)], 0U);
        }
    }
    fresh();
    ASSERT_EQ(MEDIA_ClearDspMailboxStatistic(1, 2, 3, 0), 0);
    auto s = seen();
    ASSERT_EQ(s.size(), 5U);
    for (uint32_t t = 0; t < 5; t++) {
        EXPECT_EQ(s[t].request, 0xC004EF1EUL);
        EXPECT_EQ(s[t].rec.cmd, 3U);
        EXPECT_EQ(s[t].rec.rlen, 1);
        EXPECT_EQ(s[t].rec.wlen, 0);
        EXPECT_FALSE(fpga_has_indirect(kTrans, bases[0][t], {keys[t]}));
        EXPECT_TRUE(fpga_has_indirect(kTrans, bases[1][t], {keys[t]}));
    }
    uint32_t out[10];
    EXPECT_EQ(MEDIA_GetDspMailboxStatistic(1, 2, 3, out, 2), -1205);
    EXPECT_EQ(MEDIA_GetDspMailboxStatistic(1, 2, 3, nullptr, 0), -1201);
    fresh();
    sim_fail_request(kTrans, 0xC004EF1E, EIO, 4);
    EXPECT_EQ(MEDIA_ClearDspMailboxStatistic(1, 2, 3, 1), -1);
    EXPECT_EQ(seen().size(), 4U);
}

TEST_F(MediaRegTest, SwitchingOnTestsThePointersWithOneRetry)
{
    struct Case {
        const char *name;
        std::vector<Words> wptr, rptr;
        PlovStatus expect;
        size_t reads;          // pointer reads sent
        uint64_t ns;           // virtual time spent
        const char *line;      // the pointer-not-zero line, if any
    } cases[] = {
        {"both zero", {}, {}, 0, 2, 0, nullptr},
        {"write pointer clears after one read", {{5}}, {}, 0, 3, 1000000, nullptr},
        {"write pointer stays", {{5}, {5}}, {}, 0, 2, 1000000, "ulPtrType1 ptr isn't zero."},
        {"read pointer stays", {}, {{7}, {7}}, 0, 3, 1000000, "ulPtrType0 ptr isn't zero."},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        fresh();
        fpga_script_indirect(kTrans, 0x7010, {0x100}, c.wptr);
        fpga_script_indirect(kTrans, 0x7014, {0x100}, c.rptr);
        uint64_t t0 = sim_clock_ns();
        EXPECT_EQ(MEDIA_SetDspMailBoxSwitch(1, 0, 0, 0, 1), c.expect);
        EXPECT_EQ(sim_clock_ns() - t0, c.ns);
        EXPECT_EQ(seen().size(), 1 + c.reads);
        EXPECT_EQ(fpga_get_indirect(kTrans, 0x7000, {0x100}), Words{0});   // enabled whatever the pointers say
        EXPECT_EQ(lines_with("ptr isn't zero."), c.line == nullptr ? 0 : 1);
        if (c.line != nullptr) {
            EXPECT_EQ(lines_with(c.line), 1);
        }
    }
    fresh();
    sim_fail_request(kTrans, PLOV_IOC_READ_INDIR_REG, EIO, 1);
    EXPECT_EQ(MEDIA_SetDspMailBoxSwitch(1, 0, 0, 0, 1), -1);
    EXPECT_EQ(lines_with("call MEDIA_CheckMailBoxRptrWptr err."), 1);
    fresh();
    EXPECT_EQ(MEDIA_SetDspMailBoxSwitch(1, 0, 0, 0, 0), 0);
    EXPECT_EQ(seen().size(), 1U);   // switching off tests nothing
    fpga_put_indirect(kTrans, 0x6818, {0x2}, {0xABC});
    EXPECT_EQ(MEDIA_CheckMailBoxRptrWptr(0, 0, 1, 1, 1), -1207);
    EXPECT_EQ(lines_with("enSubBoardId0,enDspId0,enDspCoreId1,enMailBox1,ulPtrType1 ptr is 0xabc"), 1);
    EXPECT_EQ(MEDIA_CheckMailBoxRptrWptr(0, 0, 1, 1, 2), -1202);
}

// ---- trans tables -------------------------------------------------------------------------------

DspTransTable good_table(uint32_t sub, uint32_t dsp, uint32_t d)
{
    DspTransTable t{};
    for (uint32_t i = 0; i < MEDIA_TRANS_ENTRIES; i++) {
        uint32_t type = i % 5;
        t.MediaTransAddrTbl[i] = MbDesc{sub, dsp, i / 5, type, d + i * 0x1000, i % 8,
                                        type == 0 || type == 2 ? i % 4 : 0, 0};
    }
    for (uint32_t j = 0; j < 3; j++)
        t.MediaTransRwptrTbl[j] = RwptrTbl{sub, dsp, j, d + 0x100000 + j * 0x100, {0, 0}};
    t.MediaTransPoolBaseInfo = {d + 0x200000, 0x1000, 0x2000};
    return t;
}

TEST_F(MediaRegTest, ValidationOfEachFieldAndBoundary)
{
    using Edit = std::function<void(DspTransTable &)>;
    struct Case {
        const char *name;
        Edit edit;
        PlovStatus expect;
        const char *line;
    } cases[] = {
        {"good", [](DspTransTable &) {}, 0, nullptr},
        {"entry sub", [](DspTransTable &t) { t.MediaTransAddrTbl[3].enSubboardId = 1; }, -1205, "TransTbl.enSubboardId: 1"},
        {"entry dsp", [](DspTransTable &t) { t.MediaTransAddrTbl[3].enDspId = 2; }, -1205, "TransTbl.enDspId: 2"},
        {"core 8", [](DspTransTable &t) { t.MediaTransAddrTbl[3].enDspCoreId = 8; }, -1205, "TransTbl.enDspCoreId: 8"},
        {"type 5", [](DspTransTable &t) { t.MediaTransAddrTbl[3].MailBoxType = 5; }, -1205, "TransTbl.MailBoxType: 5 "},
        {"depth 8", [](DspTransTable &t) { t.MediaTransAddrTbl[3].MailBoxDepth = 8; }, -1205, "TransTbl.MailBoxDepth: 8 "},
        {"address D passes", [](DspTransTable &t) { t.MediaTransAddrTbl[3].DspAddr = D; }, 0, nullptr},
        {"address D + S", [](DspTransTable &t) { t.MediaTransAddrTbl[3].DspAddr = D + 0x10000000; }, -1205,
         "TransTbl.DspAddr: 0x90000000 "},
        {"address below D", [](DspTransTable &t) { t.MediaTransAddrTbl[3].DspAddr = D - 1; }, -1205, "DspAddr: 0x7fffffff"},
        {"type 1 block 9", [](DspTransTable &t) { t.MediaTransAddrTbl[1].MailBoxBlockSize = 9; }, 0, nullptr},
        {"type 2 block 4", [](DspTransTable &t) { t.MediaTransAddrTbl[2].MailBoxBlockSize = 4; }, -1205,
         "TransTbl.MailBoxBlockSize: 4 "},
        {"rwptr type 3", [](DspTransTable &t) { t.MediaTransRwptrTbl[1].enDspTransRwptrTblType = 3; }, -1205,
         "RwptrTbl.enDspTransRwptrTblType: 3"},
        {"rwptr address", [](DspTransTable &t) { t.MediaTransRwptrTbl[2].ulDspTransRwptrTblAddr = 0x10; }, -1205,
         "RwptrTbl.ulDspTransRwptrTblAddr: 0x10"},
        {"rwptr sub", [](DspTransTable &t) { t.MediaTransRwptrTbl[0].enSubboardId = 1; }, -1205, "RwptrTbl.enSubboardId: 1"},
        {"pool base outside", [](DspTransTable &t) { t.MediaTransPoolBaseInfo.ulSendPoolBase = 0; }, -1205,
         "ulSendPoolBase: 0x0"},
        {"pool top at the end", [](DspTransTable &t) { t.MediaTransPoolBaseInfo.ulSendTopOffset = 0x10000000 - 0x200000; },
         -1205, "ulSendTopOffset   : 0xfe00000"},
        {"pool bottom just inside",
         [](DspTransTable &t) { t.MediaTransPoolBaseInfo.ulSendBottomOffset = 0x10000000 - 0x200001; }, 0, nullptr},
        {"pool top wraps 2^32",   // a 32-bit sum would land inside the window
         [](DspTransTable &t) {
             t.MediaTransPoolBaseInfo.ulSendPoolBase = 0x8FFFFF00;
             t.MediaTransPoolBaseInfo.ulSendTopOffset = 0xFFFFFF00;
         },
         -1205, "ulSendTopOffset   : 0xffffff00"},
        {"pool bottom wraps 2^32",
         [](DspTransTable &t) { t.MediaTransPoolBaseInfo.ulSendBottomOffset = 0xFFFFFFFF; }, -1205,
         "ulSendBottomOffset: 0xffffffff"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        fresh();
        DspTransTable t = good_table(0, 1, D);
        c.edit(t);
        EXPECT_EQ(MEDIA_CheckTblEntry(0, 1, &t), c.expect);
        if (c.line != nullptr) {
            EXPECT_EQ(lines_with(c.line), 1);
        }
        EXPECT_TRUE(seen().empty());
    }
    DspTransTable t = good_table(0, 1, D);
    fresh();
    t.MediaTransAddrTbl[0].MailBoxBlockSize = 7;
    EXPECT_EQ(MEDIA_CheckTblEntry(0, 1, &t), -1205);
    EXPECT_EQ(lines_with("MEDIA_CheckTblEntry entry: 0\n"), 1);
    EXPECT_EQ(lines_with("TransTbl.MailBoxBlockSize: 7 "), 1);
    EXPECT_EQ(MEDIA_CheckTblEntry(2, 1, &t), -1205);
    EXPECT_EQ(MEDIA_CheckTblEntry(0, 1, nullptr), -1201);
    media_set_dsp(0, 1, "init", 0);
    fresh();
    EXPECT_EQ(MEDIA_CheckTblEntry(0, 1, &t), -1315);
    EXPECT_EQ(lines_with("call PLOV_MediaGetDspPcieAddr err\n"), 1);
}

TEST_F(MediaRegTest, WindowReachingTheTopOfTheAddressSpace)
{
    media_set_window(0, 1, MEDIA_REGION_DDR, {P, 0xF0000000u, 0x10000000u, {}});
    DspTransTable t = good_table(0, 1, 0xF0000000u);
    t.MediaTransAddrTbl[0].DspAddr = 0xFFFFFFFFu;
    EXPECT_EQ(MEDIA_CheckTblEntry(0, 1, &t), 0);
    t.MediaTransPoolBaseInfo.ulSendTopOffset = 0x0FDFFFFF;   // the last byte
    EXPECT_EQ(MEDIA_CheckTblEntry(0, 1, &t), 0);
}

TEST_F(MediaRegTest, InstalledWordsAndRoundTrip)
{
    DspTransTable t = good_table(0, 1, D);
    t.MediaTransAddrTbl[0] = MbDesc{0, 1, 0, 0, D + 0x100, 5, 2, 0};
    t.MediaTransAddrTbl[3] = MbDesc{0, 1, 0, 3, D + 0x200, 6, 3, 0};
    t.MediaTransAddrTbl[4] = MbDesc{0, 1, 0, 4, D + 0x300, 7, 0, 0};
    ASSERT_EQ(MEDIA_LogicSetTransAddrTable(&t), 0);
    const uint64_t p = P + 0x100;
    EXPECT_EQ(fpga_get_indirect(kTrans, 0x7020, {0x10}), (Words{0x52, p >> 32, p & 0xFFFFFFFF}));
    EXPECT_EQ(fpga_get_indirect(kTrans, 0x6840, {0x11}), (Words{6, 0x24, 0x200}));   // type 3: depth alone
    EXPECT_EQ(fpga_get_indirect(kTrans, 0x7820, {0x10}), (Words{0x70, 0x24, 0x300}));
    ASSERT_EQ(MEDIA_LogicSetRwptrAddrTable(&t), 0);
    EXPECT_EQ(fpga_get_indirect(kTrans, 0x6850, {0x01}), (Words{0x24, 0x100100}));
    ASSERT_EQ(MEDIA_LogicSetSendPoolInfo(0, 1, &t), 0);
    EXPECT_EQ(fpga_get_indirect(kTrans, 0x7404, {0x01}), (Words{0x24, 0x200000}));
    EXPECT_EQ(fpga_get_indirect(kTrans, 0x7410, {0x01}), Words{0x2000});
    EXPECT_EQ(fpga_get_indirect(kTrans, 0x7414, {0x01}), Words{0x1000});

    DspTransTable back{};
    back.MediaTransAddrTbl[3].MailBoxBlockSize = 0x77;
    ASSERT_EQ(MEDIA_FillTblEntry(0, 1, &back), 0);
    ASSERT_EQ(MEDIA_LogicGetTransAddrTable(&back), 0);
    ASSERT_EQ(MEDIA_LogicGetRwptrAddrTable(&back), 0);
    ASSERT_EQ(MEDIA_LogicGetSendPoolInfo(0, 1, &back), 0);
    EXPECT_EQ(back.MediaTransAddrTbl[3].MailBoxBlockSize, 0x77U);   // type 3 leaves it as it was
    back.MediaTransAddrTbl[3].MailBoxBlockSize = 3;
    EXPECT_EQ(std::memcmp(&back, &t, sizeof t), 0);

    fpga_put_indirect(kTrans, 0x6840, {0x11}, {0x36, 0x24, 0x200});
    ASSERT_EQ(MEDIA_LogicGetTransAddrTable(&back), 0);
    EXPECT_EQ(back.MediaTransAddrTbl[3].MailBoxDepth, 0x36U);
}

TEST_F(MediaRegTest, InstallationStopsAtTheFirstFailure)
{
    DspTransTable t = good_table(0, 1, D);
    sim_fail_request(kTrans, PLOV_IOC_WRITE_INDIR_REG, EIO, 3);
    EXPECT_EQ(MEDIA_LogicSetTransAddrTable(&t), -1);
    EXPECT_EQ(seen().size(), 3U);
    EXPECT_TRUE(fpga_has_indirect(kTrans, 0x6840, {0x10}));   // entry 1 stays written
    fresh();
    sim_fail_request(MEDIA_DEV_NODE, MEDIA_GET_PCI_ADDR, EIO, 2);
    EXPECT_EQ(MEDIA_LogicSetRwptrAddrTable(&t), -1);
    EXPECT_EQ(seen().size(), 1U);
    EXPECT_EQ(lines_with("call PLOV_MediaGetDspPcieAddr err\n"), 1);
    fresh();
    sim_fail_request(MEDIA_DEV_NODE, MEDIA_GET_PCI_ADDR, EIO, 1);
    DspTransTable back{};
    MEDIA_FillTblEntry(0, 1, &back);
    EXPECT_EQ(MEDIA_LogicGetTransAddrTable(&back), -1);
    EXPECT_EQ(lines_with("call PCIeAddr2DspAddr err\n"), 1);
    fresh();
    sim_fail_request(kTrans, PLOV_IOC_READ_INDIR_REG, EIO, 2);
    EXPECT_EQ(MEDIA_LogicGetSendPoolInfo(0, 1, &back), -1);
    EXPECT_EQ(lines_with("call MEDIA_LogicWriteIndregByID err\n"), 1);
}

TEST_F(MediaRegTest, SizeCodesAndDump)
{
    EXPECT_EQ(MEDIA_DepthCode(512), 0U);
    EXPECT_EQ(MEDIA_DepthCode(65536), 7U);
    EXPECT_EQ(MEDIA_DepthCode(1000), 8U);
    EXPECT_EQ(MEDIA_BlockSizeCode(2048), 3U);
    EXPECT_EQ(MEDIA_BlockSizeCode(4096), 4U);
    DspTransTable t = good_table(0, 1, D);
    MEDIA_TblPrint(&t);
    EXPECT_EQ(lines_with("[Media-INFO]Entry : "), 43);
    EXPECT_EQ(lines_with("MailBoxBlockSize: "), 16);
    EXPECT_EQ(lines_with("ulSendTopOffset   : 0x2000"), 1);
}

} // namespace

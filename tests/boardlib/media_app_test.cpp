// The media library through the simulated media driver on a KESP board:
// device requests, program loads of built images, hot plug in virtual time,
// and path and health classification.
#include "boardlib/media_app.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "sim/media_model.h"
#include "sim/sim_sched.h"
#include "support/media_image.h"
#include "support/sim_fixture.h"

namespace {

using Bytes = std::vector<uint8_t>;

class MediaTest : public SimTest {
protected:
    std::string board() const override { return "ZK17KESP"; }

    // Log lines (syslog) containing `text`.
    static int lines_with(const std::string &text)
    {
        int n = 0;
        for (const SimLogLine &l : sim_syslog())
            n += l.text.find(text) != std::string::npos;
        return n;
    }
    static bool logged(const std::string &text) { return lines_with(text) > 0; }

    // The media requests journalled so far.
    static std::vector<SimJournalEntry> requests(unsigned long code = 0)
    {
        return sim_journal_of(SimEvent::request, MEDIA_DEV_NODE, code);
    }

    template <typename T> static Bytes bytes_of(const T &rec)
    {
        const auto *p = reinterpret_cast<const uint8_t *>(&rec);
        return Bytes(p, p + sizeof rec);
    }

    static uint64_t elapsed(const std::function<void()> &fn)
    {
        uint64_t t0 = sim_clock_ns();
        fn();
        return sim_clock_ns() - t0;
    }
};

// ---- one request per operation ----------------------------------------------------------------

uint32_t g_out = 0;
SubrdState g_health{};
uint8_t g_buf[16] = {};

struct OpCase {
    const char *name;
    std::function<PlovStatus()> call;
    unsigned long code;
    Bytes record;        // the record as sent, pointers left out (compared up to 8 bytes)
    size_t compared;     // bytes of the record compared
    const char *failLine;
};

template <typename T> Bytes rec_bytes(const T &r) { return Bytes(reinterpret_cast<const uint8_t *>(&r), reinterpret_cast<const uint8_t *>(&r) + sizeof r); }

std::vector<OpCase> op_cases()
{
    return {
        {"reset", [] { return MEDIA_DspReset(0, 3); }, MEDIA_RESET_DEV, rec_bytes(MEDIA_DEV_ID_STRU{0, 3}), 8,
         "ioctl subboard 0 dsp 3 reset error, errno = 5(Input/output error)"},
        {"startup", [] { return MEDIA_GetDspStartUpState(0, 2, 7, &g_out); }, MEDIA_STARTUP_STATE,
         rec_bytes(MEDIA_DEV_CORE_STATE_STRU{0, 2, 7, 0, 0, 8, 0}), 12, "ioctl subboard 0 dsp 2 get startup stat error"},
        {"init", [] { return MEDIA_GetInitState(0, 8, &g_out); }, MEDIA_INIT_STATE,
         rec_bytes(MEDIA_DEV_STATE_STRU{0, 8, 0, 8, 0}), 8, "ioctl subboard 0 dsp 8 get init stat error, errno = 5"},
        {"link", [] { return MEDIA_GetPortLinkState(0, 1, &g_out); }, MEDIA_PORT_LINK_STATE,
         rec_bytes(MEDIA_DEV_STATE_STRU{0, 1, 0, 8, 0}), 8, "ioctl subboard 0 dsp 1 get port link stat error, errno = 5"},
        {"plugin", [] { return MEDIA_DspHotPlugin(0, 4); }, MEDIA_DEV_PLUGIN, rec_bytes(MEDIA_DEV_ID_STRU{0, 4}), 8,
         "ioctl subboard 0 dsp 4 plugin error, errno = 5"},
        {"plugout", [] { return MEDIA_DspHotPlugout(0, 5); }, MEDIA_DEV_PLUGOUT, rec_bytes(MEDIA_DEV_ID_STRU{0, 5}), 8,
         "ioctl subboard 0 dsp 5 plugout error, errno = 5"},
        {"port", [] { return MEDIA_SetPciSwPort(0, 6, 1); }, MEDIA_SW_PORT_CTRL,
         rec_bytes(MEDIA_PORT_CTRL_STRU{0, 6, 1, 0}), 16,
         "ioctl subboard 0 dsp 6 pcie switch downstream port ctrl 0x1 error, errno = 5"},
        {"iomem", [] { return MEDIA_SetPciSwPortIoMem(0, 7, 0); }, MEDIA_SW_PORT_IOMEM_CTRL,
         rec_bytes(MEDIA_PORT_CTRL_STRU{0, 7, 0, 0}), 16,
         "ioctl subboard 0 dsp 7 pcie switch downstream port io mem ctrl 0x0 error, errno = 5"},
        {"fill", [] { return MEDIA_FillDspDevMem(0, 0, 0x80000000, 0x40, 0xA5); }, MEDIA_FILL_MEM,
         rec_bytes(MEDIA_FILL_MEM_STRU{0, 0, 0x80000000, 0x40, 0xA5, {}}), 24,
         "ioctl subboard 0 dsp 0 fill mem error, errno = 5"},
        {"lpc test", [] { return MEDIA_AppTestSubrdLpc(0); }, MEDIA_LPC_TEST, rec_bytes(MEDIA_DEV_ID_STRU{0, 0}), 8,
         "ioctl subboard 0 lpc error, errno = 5"},
        {"lpc rw", [] { return MEDIA_AppLpcRW(0x1234, g_buf, 4, 1); }, MEDIA_LPC_RW, Bytes{}, 0,
         "flag 0x1 len 0x4 lpcaddr 0x1234 error, errno = 5"},
        {"ecc write", [] { return MEDIA_AppDspMemRwAlign(0, 1, 0x0C000010, g_buf, 8, 4, 1); }, MEDIA_ECC_TEST_WRITE,
         rec_bytes(MEDIA_MEM_TEST_STRU{0, 1, 0x0C000010, 0, 0, 8, 4}), 12, "ioctl test ecc write addr 0xc000010 len 0x8 error!"},
        {"ecc read", [] { return MEDIA_AppDspMemRwAlign(0, 1, 0x0C000010, g_buf, 8, 4, 0); }, MEDIA_ECC_TEST_READ,
         rec_bytes(MEDIA_MEM_TEST_STRU{0, 1, 0x0C000010, 0, 0, 8, 4}), 12, "ioctl test ecc read addr 0xc000010 len 0x8 error!"},
        {"three step", [] { return MEDIA_AppThreeStepTest(0, 2); }, MEDIA_THREE_STEP_TEST,
         rec_bytes(MEDIA_DEV_ID_STRU{0, 2}), 8, "ioctl subboard 0 dsp 2 three step test error, errno = 5"},
        {"pcie app", [] { return MEDIA_AppDspPcieAppRW(0, 3, 0x100, g_buf, 4, 1); }, MEDIA_PCIE_APP_RW,
         rec_bytes(MEDIA_PCIE_APP_STRU{0, 3, 0, 0x100, 4, 1, 0}), 8,
         "ioctl subboard 0 dsp 3 pcie app addr 0x100 flag 0x1 len 0x4 error, errno = 5"},
        {"health", [] { return MEDIA_GetSubBoardHealthState(0, &g_health); }, MEDIA_SUBRD_HEALTH,
         rec_bytes(MEDIA_HEALTH_STRU{0, 0, 0}), 8, "ioctl get subboard 0 health state error!"},
    };
}

TEST_F(MediaTest, EachOperationSendsItsRequest)
{
    for (const OpCase &c : op_cases()) {
        SCOPED_TRACE(c.name);
        sim_clear_journal();
        EXPECT_EQ(c.call(), 0);
        auto sent = requests();
        ASSERT_EQ(sent.size(), 1U);
        EXPECT_EQ(sent[0].request, c.code);
        ASSERT_EQ(sent[0].record.size(), media_req_size(c.code));
        EXPECT_EQ(Bytes(sent[0].record.begin(), sent[0].record.begin() + static_cast<long>(c.compared)),
                  Bytes(c.record.begin(), c.record.begin() + static_cast<long>(c.compared)));
        ASSERT_EQ(sim_open_count(), 0);
    }
}

TEST_F(MediaTest, FailedRequestsAreLoggedAndReturned)
{
    for (const OpCase &c : op_cases()) {
        SCOPED_TRACE(c.name);
        sim_clear_faults();
        sim_clear_syslog();
        sim_fail_request(MEDIA_DEV_NODE, c.code, EIO);
        EXPECT_EQ(c.call(), -1);
        EXPECT_EQ(lines_with(c.failLine), 1);
        EXPECT_TRUE(logged("[Media-ERR]"));
        ASSERT_EQ(sim_open_count(), 0);
    }
}

TEST_F(MediaTest, MissingNodeGives1221)
{
    sim_fail_open(MEDIA_DEV_NODE, ENOENT);
    for (const OpCase &c : op_cases())
        EXPECT_EQ(c.call(), -1221) << c.name;
    EXPECT_TRUE(requests().empty());
}

TEST_F(MediaTest, ArgumentChecksSendNothing)
{
    uint32_t out = 0;
    uint8_t buf[4] = {};
    SubrdState st{};
    struct Case {
        const char *name;
        std::function<PlovStatus()> call;
        PlovStatus expect;
    };
    const Case cases[] = {
        {"sub 2", [&] { return MEDIA_DspReset(2, 0); }, -1205},
        {"dsp 9", [&] { return MEDIA_GetInitState(0, 9, &out); }, -1205},
        {"core 8", [&] { return MEDIA_GetDspStartUpState(0, 0, 8, &out); }, -1205},
        {"null init", [&] { return MEDIA_GetInitState(0, 0, nullptr); }, -1201},
        {"null link", [&] { return MEDIA_GetPortLinkState(0, 0, nullptr); }, -1201},
        {"port 2", [&] { return MEDIA_SetPciSwPort(0, 0, 2); }, -1205},
        {"iomem 2", [&] { return MEDIA_SetPciSwPortIoMem(0, 0, 2); }, -1205},
        {"lpc null", [&] { return MEDIA_AppLpcRW(0, nullptr, 4, 0); }, -1201},
        {"lpc len 0", [&] { return MEDIA_AppLpcRW(0, buf, 0, 0); }, -1202},
        {"lpc dir 2", [&] { return MEDIA_AppLpcRW(0, buf, 4, 2); }, -1202},
        {"lpc test sub 2", [&] { return MEDIA_AppTestSubrdLpc(2); }, -1205},
        {"align len 0", [&] { return MEDIA_AppDspMemRwAlign(0, 0, 0, buf, 0, 4, 0); }, -1202},
        {"align null", [&] { return MEDIA_AppDspMemRwAlign(0, 0, 0, nullptr, 4, 4, 0); }, -1201},
        {"app dir 2", [&] { return MEDIA_AppDspPcieAppRW(0, 0, 0, buf, 4, 2); }, -1202},
        {"health null", [&] { return MEDIA_GetSubBoardHealthState(0, nullptr); }, -1201},
        {"health sub 2", [&] { return MEDIA_GetSubBoardHealthState(2, &st); }, -1205},
        {"map type 3", [&] { return PLOV_MediaGetDspPcieAddr(0, 0, 0, 3, buf); }, -1205},
        {"map null", [&] { return PLOV_MediaGetDspPcieAddr(0, 0, 0, 0, nullptr); }, -1201},
        {"load type 3", [&] { return MEDIA_LoadDspBin(0, 0, buf, 4, 3); }, -1200},
        {"load null", [&] { return MEDIA_LoadDspBin(0, 0, nullptr, 4, 0); }, -1201},
        {"sec len 0", [&] { return MEDIA_LoadDspPrgSec(0, 0, 0x80000000, buf, 0, 0); }, -1200},
        {"ecc null", [&] { return MEDIA_DspEccEnable(0, 0, nullptr); }, -1201},
        {"trigger dsp 9", [&] { return MEDIA_TriggerStartUp(0, 9, 0); }, -1205},
        {"hot plug sub 2", [&] { return MEDIA_DspHotPlug(2, 0); }, -1205},
        {"port check dsp 9", [&] { return MEDIA_CtrlPortAndCheck(0, 9); }, -1205},
    };
    for (const Case &c : cases)
        EXPECT_EQ(c.call(), c.expect) << c.name;
    EXPECT_TRUE(requests().empty());
    EXPECT_EQ(sim_open_count(), 0);
}

// ---- state answers ----------------------------------------------------------------------------

// A driver that answers every state request with fixed bytes.
Bytes g_answer;
int answer_state(const SimCall &call, SimJournalEntry &)
{
    auto *r = static_cast<MEDIA_DEV_STATE_STRU *>(call.arg);
    std::memcpy(reinterpret_cast<void *>(static_cast<uintptr_t>(r->ullBuf)), g_answer.data(), 8);
    return 0;
}
constexpr SimRequest kAnswerRows[] = {{MEDIA_INIT_STATE, sizeof(MEDIA_DEV_STATE_STRU), answer_state},
                                      {MEDIA_PORT_LINK_STATE, sizeof(MEDIA_DEV_STATE_STRU), answer_state}};
constexpr SimFileOps kAnswerOps = {"answer", 0, nullptr, nullptr, nullptr, nullptr, kAnswerRows, 2,
                                   nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr};

TEST_F(MediaTest, ValidPrefixCounts)
{
    sim_register_file(MEDIA_DEV_NODE, &kAnswerOps, nullptr);
    struct Case {
        Bytes answer;
        uint32_t state;
    };
    const Case cases[] = {
        {{'V', 'A', 'L', 'I', 'D', 0, 0, 0}, 1},
        {{'V', 'A', 'L', 'I', 'D', 'x', 'y', 'z'}, 1},
        {{'V', 'A', 'L', 'I', 'X', 0, 0, 0}, 0},
        {{'v', 'a', 'l', 'i', 'd', 0, 0, 0}, 0},
        {{0, 0, 0, 0, 0, 0, 0, 0}, 0},
    };
    for (const Case &c : cases) {
        g_answer = c.answer;
        uint32_t init = 7, link = 7;
        EXPECT_EQ(MEDIA_GetInitState(0, 0, &init), 0);
        EXPECT_EQ(MEDIA_GetPortLinkState(0, 0, &link), 0);
        EXPECT_EQ(init, c.state);
        EXPECT_EQ(link, c.state);
    }
}

TEST_F(MediaTest, FailedRequestsLeaveOutputsUntouched)
{
    media_fail(0, 0, 3, EIO);
    uint32_t out = 77;
    EXPECT_EQ(MEDIA_GetInitState(0, 3, &out), -1);
    EXPECT_EQ(MEDIA_GetPortLinkState(0, 3, &out), -1);
    EXPECT_EQ(MEDIA_GetDspStartUpState(0, 3, 0, &out), -1);
    EXPECT_EQ(out, 77U);
    SubrdState st;
    std::memset(&st, 0xEE, sizeof st);
    sim_fail_request(MEDIA_DEV_NODE, MEDIA_SUBRD_HEALTH, EIO);
    EXPECT_EQ(MEDIA_GetSubBoardHealthState(0, &st), -1);
    EXPECT_EQ(st.LpcState, 0xEEEEEEEEU);
    // another DSP is not hit by the fault
    EXPECT_EQ(MEDIA_GetInitState(0, 4, &out), 0);
    EXPECT_EQ(out, 1U);
}

TEST_F(MediaTest, AbsentSubBoardAndDsps)
{
    uint32_t out = 9;
    EXPECT_EQ(MEDIA_GetInitState(1, 0, &out), 0);
    EXPECT_EQ(out, 0U);
    EXPECT_EQ(MEDIA_DspReset(1, 0), -1);
    EXPECT_TRUE(logged("reset error, errno = 19(No such device)"));
    SubrdState st{};
    EXPECT_EQ(MEDIA_GetSubBoardHealthState(0, &st), 0);
    EXPECT_EQ(st.CpuPortState.LinkSpeed, 2U);
    EXPECT_EQ(st.FpgaPortState.LinkWidth, 8U);
    EXPECT_EQ(st.DspPortState[8].LinkWidth, 2U);
    EXPECT_EQ(st.LpcState, 1U);
}

TEST_F(MediaTest, PcieWindowAndCommandPrint)
{
    MEDIA_PCI_MAP_RESULT w{};
    EXPECT_EQ(PLOV_MediaGetDspPcieAddr(0, 2, 3, MEDIA_REGION_L2, &w), 0);
    EXPECT_EQ(w.uiDspAddr, 0x13800000U);
    EXPECT_EQ(w.uiSize, 0x80000U);
    EXPECT_EQ(PLOV_MediaGetDspPcieAddr(0, 2, 0, MEDIA_REGION_DDR, &w), 0);
    EXPECT_EQ(w.uiDspAddr, 0x80000000U);
    EXPECT_EQ(requests(MEDIA_INIT_STATE).size(), 2U);

    media_set_dsp(0, 2, "init", 0);
    EXPECT_EQ(PLOV_MediaGetDspPcieAddr(0, 2, 0, MEDIA_REGION_DDR, &w), -1315);
    EXPECT_TRUE(logged("MEDIA_GetInitState subboard0 dsp2 init err!"));
    sim_fail_request(MEDIA_DEV_NODE, MEDIA_INIT_STATE, EIO);
    EXPECT_EQ(PLOV_MediaGetDspPcieAddr(0, 2, 0, MEDIA_REGION_DDR, &w), -1200);
    EXPECT_EQ(requests(MEDIA_GET_PCI_ADDR).size(), 2U);

    sim_clear_syslog();
    MEDIA_AppCmdPrint();
    ASSERT_EQ(sim_syslog().size(), 10U);
    EXPECT_NE(sim_syslog()[0].text.find("[Media-INFO]MEDIA_DEV_PLUGIN cmd = 0xc0084d01 sizeof(MEDIA_DEV_ID_STRU) = 8 !"),
              std::string::npos);
    EXPECT_NE(sim_syslog()[9].text.find("MEDIA_GET_PCI_ADDR cmd = 0xc0184d0a sizeof(MEDIA_DEV_PCI_MAP_STRU) = 24 !"),
              std::string::npos);
}

// ---- the topology lock ----------------------------------------------------------------------------

int g_lockErr = 0, g_unlockErr = 0;
HostOps g_lockHost;
int failing_lock(pthread_mutex_t *m) { return g_lockErr ? g_lockErr : g_simHost.pthread_mutex_lock(m); }
int failing_unlock(pthread_mutex_t *m)
{
    int r = g_simHost.pthread_mutex_unlock(m);
    return g_unlockErr ? g_unlockErr : r;
}

TEST_F(MediaTest, LockFailures)
{
    g_lockHost = g_simHost;
    g_lockHost.pthread_mutex_lock = failing_lock;
    g_lockHost.pthread_mutex_unlock = failing_unlock;
    host_select(&g_lockHost);
    g_lockErr = EINVAL;
    EXPECT_EQ(MEDIA_DspHotPlugin(0, 1), -1200);
    EXPECT_TRUE(logged("pthread_mutex_lock subboard0 dsp1 err ret 22!"));
    EXPECT_TRUE(requests().empty());
    g_lockErr = 0;
    g_unlockErr = EPERM;
    EXPECT_EQ(MEDIA_SetPciSwPort(0, 1, 1), -1200);       // sent, then the unlock failed
    EXPECT_EQ(requests(MEDIA_SW_PORT_CTRL).size(), 1U);
    sim_fail_request(MEDIA_DEV_NODE, MEDIA_DEV_PLUGOUT, EIO);
    EXPECT_EQ(MEDIA_DspHotPlugout(0, 1), -1);            // the request's own result
    EXPECT_EQ(lines_with("pthread_mutex_unlock subboard0 dsp1 err ret 1!"), 2);
    g_unlockErr = 0;
    host_select(&g_simHost);
    EXPECT_EQ(MEDIA_DspReset(0, 1), 0);                  // no lock: the hook is not asked
}

// ---- program loading ------------------------------------------------------------------------------

struct Req {
    unsigned long code;
    uint64_t addr;
    uint64_t len;
};

std::vector<Req> mem_requests()
{
    std::vector<Req> out;
    for (const SimJournalEntry &e : sim_journal_of(SimEvent::request, MEDIA_DEV_NODE))
        out.push_back({e.request, e.address, e.length});
    return out;
}

TEST_F(MediaTest, LoadSendsEccFirstThenCoresThenEntryAndTrigger)
{
    Bytes data = pattern(0x10, 3);
    auto img = image_build(0x10800100, {{0x00800000, data}});
    image_add_zone(img, 0x80000000, 0x1000);
    EXPECT_EQ(MEDIA_LoadDspBin(0, 4, img.data(), static_cast<uint32_t>(img.size()), 2), 0);
    std::vector<Req> got = mem_requests();
    ASSERT_EQ(got.size(), 1U + 16 + 2);
    EXPECT_EQ(got[0].code, MEDIA_ECC_ENABLE);
    for (uint32_t c = 0; c < 8; c++) {
        EXPECT_EQ(got[1 + 2 * c].code, MEDIA_MEM_WRITE);
        EXPECT_EQ(got[1 + 2 * c].addr, 0x10800000U + c * 0x01000000U);
        EXPECT_EQ(got[2 + 2 * c].code, MEDIA_MEM_READ);
        EXPECT_EQ(got[2 + 2 * c].addr, got[1 + 2 * c].addr);
        EXPECT_EQ(got[2 + 2 * c].len, 0x10U);
        Bytes back(0x10);
        media_mem_read(0, 4, 0x10800000U + c * 0x01000000U, back.data(), 0x10);
        EXPECT_EQ(back, data);
    }
    EXPECT_EQ(got[17].code, MEDIA_MEM_WRITE);
    EXPECT_EQ(got[17].addr, MEDIA_ENTRY_WORD_ADDR);
    EXPECT_EQ(got[18].code, MEDIA_STARTUP_TRIGGER);
    uint32_t entry = 0;
    media_mem_read(0, 4, MEDIA_ENTRY_WORD_ADDR, &entry, 4);
    EXPECT_EQ(entry, 0x10800100U);
    MediaDspView v = media_dsp_view(0, 4);
    EXPECT_EQ(v.eccZones, 1U);   // zone 0 present; the bytes at L - 34 are not a zone
    EXPECT_EQ(v.ecc[0], 0x80000000U);
    EXPECT_EQ(v.ecc[1], 0x1000U);
    uint32_t started = 0;
    EXPECT_EQ(MEDIA_GetDspStartUpState(0, 4, 5, &started), 0);
    EXPECT_EQ(started, 1U);
    EXPECT_TRUE(logged("This file without ECC Zone1 string !"));
    EXPECT_TRUE(logged("MEDIA_TriggerStartUp success!"));
}

TEST_F(MediaTest, LoadRefusals)
{
    auto good = image_build(0x10800000, {{0x80000000, pattern(0x20, 1)}});
    auto badCrc = good;
    badCrc[10] ^= 1;
    auto tooShort = Bytes(41, 0);
    auto header = [] {  // a count past the sections whose next header reaches into the CRC
        Bytes img(42, 0x5A);
        image_put32(img, 4, 3);
        image_put32(img, 8, 20);
        image_put32(img, 12, 0x80000000);
        image_seal(img);
        return img;
    }();
    auto longData = [] {
        Bytes img(42, 0x5A);
        image_put32(img, 4, 2);
        image_put32(img, 8, 30);
        image_put32(img, 12, 0x80000000);
        image_seal(img);
        return img;
    }();
    auto zeroLen = image_build(0, {{0x0C000000, pattern(4, 1)}}, 3);
    auto wraps = image_build(0, {{0xFFFFFFF8, pattern(8, 1)}});
    struct Case {
        const char *name;
        Bytes img;
        PlovStatus expect;
        const char *line;
        size_t writes;   // memory writes sent
    };
    const Case cases[] = {
        {"crc", badCrc, -1200, "crc err 0x", 0},
        {"short", tooShort, -1200, "PLOV_MediaLoadDspPrg para err!", 0},
        {"header past the crc", header, -1200, "Section 1 head offset 0x24 len 0x0 load addr 0x0 err!", 1},
        {"data past the crc", longData, -1205, " section1 addr 0x80000000 len 0x1e too long err !", 0},
        {"zero length", zeroLen, -1200, "Section 1 head offset 0x14 len 0x0 load addr 0x0 err!", 1},
        {"end past 2^32", wraps, -1200, "MEDIA_LoadDspPrgSec para error uiDspLoadAddr = 0xfffffff8 uiLen = 0x8", 0},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        sim_clear_journal();
        sim_clear_syslog();
        EXPECT_EQ(MEDIA_LoadDspBin(0, 0, c.img.data(), static_cast<uint32_t>(c.img.size()), 0), c.expect);
        EXPECT_EQ(lines_with(c.line), 1);
        EXPECT_EQ(requests(MEDIA_MEM_WRITE).size(), c.writes);
        EXPECT_TRUE(requests(MEDIA_STARTUP_TRIGGER).empty());
        ASSERT_EQ(sim_open_count(), 0);
    }
    // nothing of a refused image reaches the device before its CRC is checked
    sim_clear_journal();
    EXPECT_EQ(MEDIA_LoadDspBin(0, 0, badCrc.data(), static_cast<uint32_t>(badCrc.size()), 0), -1200);
    EXPECT_TRUE(requests().empty());
}

TEST_F(MediaTest, CountOfOneGoesStraightToTheTrigger)
{
    auto img = image_build(0x10800000, {}, 1);
    EXPECT_EQ(MEDIA_LoadDspBin(0, 0, img.data(), static_cast<uint32_t>(img.size()), 0), 0);
    std::vector<Req> got = mem_requests();
    ASSERT_EQ(got.size(), 3U);
    EXPECT_EQ(got[0].code, MEDIA_ECC_ENABLE);
    EXPECT_EQ(got[1].addr, MEDIA_ENTRY_WORD_ADDR);
    EXPECT_EQ(got[2].code, MEDIA_STARTUP_TRIGGER);
    EXPECT_EQ(lines_with("This file without ECC Zone"), 2);
    EXPECT_EQ(media_dsp_view(0, 0).eccZones, 0U);
}

TEST_F(MediaTest, ReadBackDifferenceInCoreThreeStopsTheLoad)
{
    media_fault_readback(0, 0, 0x13800005);
    auto img = image_build(0, {{0x00800000, pattern(0x10, 1)}});
    EXPECT_EQ(MEDIA_LoadDspBin(0, 0, img.data(), static_cast<uint32_t>(img.size()), 2), -1200);
    EXPECT_TRUE(logged("memcmp addr 0x13800000 len 0x10 error"));
    EXPECT_TRUE(logged("MEDIA_LoadDspPrgSec section1 addr 0x800000 len 0x10 err ret -1316!"));
    EXPECT_EQ(requests(MEDIA_MEM_WRITE).size(), 4U);   // cores 0-3
    for (uint32_t c = 4; c < 8; c++) {
        Bytes back(0x10, 0xFF);
        media_mem_read(0, 0, 0x10800000U + c * 0x01000000U, back.data(), 0x10);
        EXPECT_EQ(back, Bytes(0x10, 0)) << c;
    }
    EXPECT_TRUE(requests(MEDIA_STARTUP_TRIGGER).empty());
}

TEST_F(MediaTest, PacedReadBackPerLoadType)
{
    struct Case {
        uint32_t loadType;
        std::vector<uint64_t> lengths;
        uint64_t pauseNs;
    };
    const Case cases[] = {
        {0, {2048, 2048, 904}, 4000000},
        {1, {2048, 2048, 904}, 16000000},
        {2, {4096, 904}, 1000000},
    };
    Bytes data = pattern(5000, 4);
    for (const Case &c : cases) {
        sim_clear_journal();
        uint64_t ns = elapsed([&] { EXPECT_EQ(MEDIA_LoadDspPrgSec(0, 1, 0x80001000, data.data(), 5000, c.loadType), 0); });
        EXPECT_EQ(ns, c.pauseNs) << c.loadType;
        std::vector<uint64_t> lengths;
        uint64_t at = 0x80001000;
        for (const SimJournalEntry &e : requests(MEDIA_MEM_READ)) {
            lengths.push_back(e.length);
            EXPECT_EQ(e.address, at);
            at += e.length;
        }
        EXPECT_EQ(lengths, c.lengths) << c.loadType;
    }
    sim_clear_journal();
    EXPECT_EQ(MEDIA_LoadDspPrgSec(0, 1, 0x80001000, data.data(), 0x10, 0), 0);   // below one chunk: one read
    EXPECT_EQ(requests(MEDIA_MEM_READ).size(), 1U);
}

TEST_F(MediaTest, SectionAndTriggerFailures)
{
    Bytes data = pattern(0x10, 1);
    media_fail(MEDIA_MEM_READ, 0, 0, EIO, 2);
    EXPECT_EQ(MEDIA_LoadDspPrgSec(0, 0, 0x00800000, data.data(), 0x10, 0), -1);
    EXPECT_TRUE(logged("MEDIA_ReadFromDsp Call MEDIA_MEM_READ err!"));
    EXPECT_TRUE(logged("MEDIA_ReadFromDsp addr 0x11800000 len 0x10 error, errno = 5(Input/output error)"));
    sim_clear_faults();
    media_fail(MEDIA_MEM_WRITE, -1, -1, EIO);
    EXPECT_EQ(MEDIA_LoadDspPrgSec(0, 0, 0x0C000000, data.data(), 0x10, 0), -1);
    EXPECT_TRUE(logged("ioctl write addr 0xc000000 len 0x10 error, errno = 5"));
    EXPECT_EQ(MEDIA_TriggerStartUp(0, 0, 0x1234), -1);
    sim_clear_faults();
    sim_fail_request(MEDIA_DEV_NODE, MEDIA_STARTUP_TRIGGER, EIO);
    EXPECT_EQ(MEDIA_TriggerStartUp(0, 0, 0x1234), -1);
    EXPECT_TRUE(logged("ioctl trigger subboard0 dsp0 start interrupt error, errno = 5"));
    sim_fail_request(MEDIA_DEV_NODE, MEDIA_ECC_ENABLE, EIO);
    auto img = image_build(0, {});
    EXPECT_EQ(MEDIA_LoadDspBin(0, 0, img.data(), static_cast<uint32_t>(img.size()), 0), -1200);
    EXPECT_TRUE(logged("ioctl enable subboard0 dsp0 ecc zone0 addr 0x0 len 0x0 addr 0x0 len 0x0 error!"));
    EXPECT_TRUE(logged("MEDIA_DspEccEnable subboard0 dsp0 err !"));
}

TEST_F(MediaTest, ZoneTagsPrintAtMostFourBytes)
{
    auto img = image_build(0, {}, 1);
    image_add_zone(img, 0x80000000, 0x10, "ECCX");
    image_add_zone(img, 0x0C000000, 0x20, "ECCY");
    EXPECT_EQ(MEDIA_LoadDspBin(0, 0, img.data(), static_cast<uint32_t>(img.size()), 0), 0);
    EXPECT_TRUE(logged("Bin ecc stru ECCY 0x8 0xc000000 0x20 ECCX 0x8 0x80000000 0x10"));
    EXPECT_EQ(media_dsp_view(0, 0).eccZones, 2U);
}

// ---- hot plug in virtual time ----------------------------------------------------------------------

TEST_F(MediaTest, FreshDspHotPlugTakesOnePointZeroFiveSeconds)
{
    EXPECT_EQ(elapsed([] { EXPECT_EQ(MEDIA_DspHotPlug(0, 2), 0); }), 1050000000U);
    MediaDspView v = media_dsp_view(0, 2);
    EXPECT_EQ(v.resets, 1U);
    EXPECT_TRUE(v.link && v.init && v.plugged && v.iomem && v.port);
    EXPECT_TRUE(logged("MEDIA_CtrlPortAndCheck subboard0 dsp2 retry 0 times success!"));
    EXPECT_TRUE(logged("MEDIA_GetInitState subboard0 dsp2 probe success!"));
    std::vector<unsigned long> order;
    for (const SimJournalEntry &e : requests())
        order.push_back(e.request);
    const std::vector<unsigned long> expect = {MEDIA_SW_PORT_IOMEM_CTRL, MEDIA_DEV_PLUGOUT,  MEDIA_SW_PORT_CTRL,
                                               MEDIA_PORT_LINK_STATE,    MEDIA_RESET_DEV,    MEDIA_SW_PORT_CTRL,
                                               MEDIA_PORT_LINK_STATE,    MEDIA_DEV_PLUGIN,   MEDIA_SW_PORT_IOMEM_CTRL,
                                               MEDIA_INIT_STATE};
    EXPECT_EQ(order, expect);
}

TEST_F(MediaTest, LinkThatStaysUpGivesRetryFailureWithoutReset)
{
    media_set_delay(0, 1, MediaChange::LinkDown, {MediaWhen::Never, 0});
    EXPECT_EQ(elapsed([] { EXPECT_EQ(MEDIA_CtrlPortAndCheck(0, 1), -1206); }), 500000000U);
    for (int r = 0; r < 10; r++)
        EXPECT_EQ(lines_with("subboard0 dsp1 " + std::to_string(r) + " times link down err,retry!"), 1) << r;
    EXPECT_TRUE(logged("MEDIA_CtrlPortAndCheck subboard0 dsp1 retry 10 times failed!"));
    EXPECT_EQ(media_dsp_view(0, 1).resets, 0U);
}

TEST_F(MediaTest, LinkThatNeverComesUpCostsTwentyPointFiveSeconds)
{
    media_set_delay(0, 1, MediaChange::LinkUp, {MediaWhen::Never, 0});
    EXPECT_EQ(elapsed([] { EXPECT_EQ(MEDIA_CtrlPortAndCheck(0, 1), -1206); }), 20500000000U);
    EXPECT_EQ(media_dsp_view(0, 1).resets, 10U);
}

TEST_F(MediaTest, LinkUpAtTheSecondPoll)
{
    media_set_delay(0, 1, MediaChange::LinkUp, {MediaWhen::Reads, 1});
    EXPECT_EQ(elapsed([] { EXPECT_EQ(MEDIA_CtrlPortAndCheck(0, 1), 0); }), 2050000000U);
    EXPECT_TRUE(logged("MEDIA_CtrlPortAndCheck subboard0 dsp1 retry 0 times success!"));
    media_set_delay(0, 1, MediaChange::LinkUp, {MediaWhen::Delay, 1500000000});
    EXPECT_EQ(elapsed([] { EXPECT_EQ(MEDIA_CtrlPortAndCheck(0, 1), 0); }), 2050000000U);
}

TEST_F(MediaTest, ProbeTimeoutCostsThreeSeconds)
{
    media_set_delay(0, 3, MediaChange::Init, {MediaWhen::Never, 0});
    EXPECT_EQ(elapsed([] { EXPECT_EQ(MEDIA_DspHotPlug(0, 3), -1206); }), 4050000000U);
    for (int a = 0; a < 3; a++)
        EXPECT_TRUE(logged(std::to_string(a) + " MEDIA_GetInitState subboard0 dsp3 uiState 0!"));
    EXPECT_TRUE(logged("MEDIA_GetInitState subboard0 dsp3 probe timeout!"));
    media_set_delay(0, 3, MediaChange::Init, {MediaWhen::Reads, 2});
    EXPECT_EQ(MEDIA_DspHotPlug(0, 3), 0);   // valid at the third probe
}

TEST_F(MediaTest, FailuresStillSendPlugInAndDecodingOn)
{
    struct Case {
        const char *name;
        std::function<void()> fault;
        PlovStatus expect;
        bool plugin;
        const char *line;
    };
    const Case cases[] = {
        {"port step", [] { sim_fail_request(MEDIA_DEV_NODE, MEDIA_SW_PORT_CTRL, EIO); }, -1200, true,
         "MEDIA_CtrlPortAndCheck subboard0 dsp5 port err ret -1200!"},
        {"plug-in", [] { sim_fail_request(MEDIA_DEV_NODE, MEDIA_DEV_PLUGIN, EIO); }, -1200, true,
         "MEDIA_DspHotPlugin subboard0 dsp5 err ret -1!"},
        {"plug-out only", [] { sim_fail_request(MEDIA_DEV_NODE, MEDIA_DEV_PLUGOUT, EIO); }, 0, true,
         "MEDIA_DspHotPlugout subboard0 dsp5 err ret -1!"},
        {"reset", [] { sim_fail_request(MEDIA_DEV_NODE, MEDIA_RESET_DEV, EIO); }, -1200, true,
         "MEDIA_DspReset subboard0 dsp5 err ret -1!"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        sim_clear_faults();
        sim_clear_journal();
        sim_clear_syslog();
        c.fault();
        EXPECT_EQ(MEDIA_DspHotPlug(0, 5), c.expect);
        EXPECT_TRUE(logged(c.line));
        EXPECT_EQ(requests(MEDIA_DEV_PLUGIN).size(), c.plugin ? 1U : 0U);
        auto iomem = requests(MEDIA_SW_PORT_IOMEM_CTRL);
        ASSERT_EQ(iomem.size(), 2U);
        EXPECT_EQ(iomem[1].record[8], 1);   // decoding back on
    }
    sim_clear_faults();
    sim_clear_journal();
    sim_fail_request(MEDIA_DEV_NODE, MEDIA_SW_PORT_IOMEM_CTRL, EIO);
    EXPECT_EQ(MEDIA_DspHotPlug(0, 5), -1200);   // decoding off failed: nothing else sent
    EXPECT_EQ(requests().size(), 1U);
}

TEST_F(MediaTest, DspThatLeavesDuringAProbe)
{
    media_set_delay(0, 6, MediaChange::Init, {MediaWhen::Delay, 500000000});
    media_presence_at(0, 6, false, 1000000000);   // gone before the plug-in is probed
    EXPECT_EQ(MEDIA_DspHotPlug(0, 6), -1200);
    EXPECT_TRUE(logged("errno = 19(No such device)"));
    EXPECT_FALSE(media_dsp_view(0, 6).present);
}

// ---- path and health classification ----------------------------------------------------------------

void quiet_hook(int, int, const char *, const char *, int, ...) {}

TEST(MediaPath, Classification)
{
    struct Case {
        MediaLinkInfo valid, current;
        PlovStatus ret;
        uint32_t status;
        const char *line;
    };
    const Case cases[] = {
        {{1, 8, 2}, {1, 8, 2}, 0, 1, nullptr},
        {{1, 2, 3}, {1, 2, 2}, 0, 2, "valid link speed 3 current link speed 2 pretending error!"},
        {{1, 2, 3}, {1, 2, 0}, 0, 4, "valid link speed 3 current link speed 0 error!"},
        {{1, 2, 3}, {1, 2, 4}, 0, 2, "valid link speed 3 current link speed 4 pretending error!"},
        {{1, 2, 3}, {1, 2, 5}, -1200, 0, "valid link speed 3 current link speed 5 out of rang error!"},
        {{1, 2, 3}, {1, 2, 7}, -1200, 0, "valid link speed 3 current link speed 7 out of rang error!"},
        {{1, 2, 3}, {1, 2, -1}, -1200, 0, "out of rang error!"},
        {{1, 8, 2}, {1, 4, 9}, 0, 2, "valid link width 8 current link width 4 pretending error!"},
        {{1, 8, 2}, {1, 0, 2}, 0, 4, "valid link width 8 current link width 0 error!"},
        {{1, 8, 2}, {1, 32, 2}, 0, 2, "valid link width 8 current link width 32 pretending error!"},
        {{1, 8, 2}, {1, 33, 2}, -1200, 0, "valid link width 8 current link width 33 out of rang error!"},
        {{1, 8, 2}, {0, 8, 2}, 0, 4, "valid link state 1 current link state 0 error!"},
        {{1, 8, 2}, {2, 8, 2}, -1200, 0, "valid link state 1 current link state 2 out of rang error!"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(testing::Message() << "current " << c.current.LinkState << "/" << c.current.LinkWidth << "/"
                                        << c.current.LinkSpeed);
        g_pfMediaLog = quiet_hook;
        uint32_t status = 0;
        EXPECT_EQ(MEDIA_GetSubrdPathStatus(&c.valid, &c.current, &status), c.ret);
        g_pfMediaLog = nullptr;
        if (c.ret == 0) {
            EXPECT_EQ(status, c.status);
        }
    }
    uint32_t s = 0;
    MediaLinkInfo l{};
    EXPECT_EQ(MEDIA_GetSubrdPathStatus(nullptr, &l, &s), -1201);
    EXPECT_EQ(MEDIA_GetSubrdPathStatus(&l, &l, nullptr), -1201);
}

class MediaPathLines : public MediaTest {};

TEST_F(MediaPathLines, ClassifierLinesAreErrorLines)
{
    MediaLinkInfo v{1, 2, 3}, c{1, 2, 2};
    uint32_t s = 0;
    EXPECT_EQ(MEDIA_GetSubrdPathStatus(&v, &c, &s), 0);
    ASSERT_EQ(sim_syslog().size(), 1U);
    EXPECT_EQ(sim_syslog()[0].priority, PLOV_LEVEL_ERR);
    EXPECT_NE(sim_syslog()[0].text.find(
                  "[Media-ERR]MEDIA_GetSubrdPathStatus valid link speed 3 current link speed 2 pretending error!"),
              std::string::npos);
}

TEST(MediaHealth, SubBoardVerdicts)
{
    struct Case {
        uint32_t load, reset, pub, num;
        std::vector<uint32_t> paths;
        uint32_t verdict;
    };
    const Case cases[] = {
        {1, 1, 1, 9, std::vector<uint32_t>(9, 1), 1},
        {1, 1, 4, 0, {}, 1},                      // the public status is not looked at without sub paths
        {1, 1, 4, 9, std::vector<uint32_t>(9, 1), 4},
        {1, 1, 1, 3, {1, 2, 1}, 4},
        {4, 1, 1, 9, std::vector<uint32_t>(9, 1), 2},
        {1, 2, 1, 0, {}, 2},
        {4, 4, 4, 1, {4}, 8},
        {1, 1, 1, 1000, std::vector<uint32_t>(32, 1), 1},   // a count past the 32 entries reads 32
        {1, 1, 1, 1000, {}, 4},
    };
    for (const Case &c : cases) {
        auto h = std::make_unique<HealthState>();
        std::memset(h.get(), 0, sizeof *h);
        h->stManagePath = {c.load, c.reset, 0};
        h->stWorkPath.ulPublicWorkPathStatus = c.pub;
        h->stWorkPath.ulSubWorkPathNum = c.num;
        for (size_t k = 0; k < c.paths.size(); k++)
            h->stWorkPath.astSubWorkPath[k].enSubWorkPathStatus = c.paths[k];
        EXPECT_EQ(MEDIA_ParseSubrdStatus(h.get()), 0);
        EXPECT_EQ(h->enSubBoardHealthStatus, c.verdict) << c.load << " " << c.num;
    }
    EXPECT_EQ(MEDIA_ParseSubrdStatus(nullptr), -1201);
}

} // namespace

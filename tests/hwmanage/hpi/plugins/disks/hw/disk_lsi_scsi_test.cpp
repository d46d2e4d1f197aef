// SCSI commands through the simulated controller: request frames in both
// MPI layouts, the return rules, pass-through for RAID members, and the page
// parsers.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <vector>

#include "bases/drv/mpt_drv.h"
#include "hwmanage/hpi/plugins/disks/hw/disk_lsi_raid.h"
#include "hwmanage/hpi/plugins/disks/hw/disk_lsi_scsi.h"
#include "sim/disk_model.h"
#include "sim/mpt_model.h"
#include "support/mpt_test_util.h"
#include "support/sas_test_util.h"
#include "support/sim_fixture.h"

namespace {

class LsiScsi : public SimTest {
protected:
    MpiController &open(const std::string &extra = "")
    {
        sas_apply(sas_board(0, 5, 'a') + extra);
        list_.descriptor = -1;
        EXPECT_EQ(collectLsiControllerInfo(&list_), 0);
        sim_clear_journal();
        return list_.controllers[0];
    }
    void TearDown() override
    {
        releaseLsiController(&list_);
        SimTest::TearDown();
    }
    MpiControllerList list_{};
};

LsiDiskAddr disk(uint16_t handle, bool member = false)
{
    return {0, static_cast<uint8_t>(handle), handle, 0, member};
}

TEST_F(LsiScsi, Mpi2FrameCarriesTheRequestFields)
{
    MpiController &c = open();
    uint8_t buf[80] = {};
    ASSERT_EQ(doInquiryPage(&c, disk(11), buf, sizeof buf), 0);
    std::vector<SeenCommand> seen = mpt_commands();
    ASSERT_EQ(seen.size(), 1u);
    const std::vector<uint8_t> &f = seen[0].frame;
    ASSERT_EQ(f.size(), 96u);
    EXPECT_EQ(at<uint16_t>(f, 0), 11);
    EXPECT_EQ(f[3], 0x00);
    EXPECT_EQ(f[20], 24);
    EXPECT_EQ(at<uint32_t>(f, 28), 80u);
    EXPECT_EQ(at<uint16_t>(f, 36), 6);
    EXPECT_EQ(at<uint32_t>(f, 60), 0x02000000u);
    EXPECT_EQ(std::vector<uint8_t>(f.begin() + 64, f.begin() + 70), (std::vector<uint8_t>{0x12, 0, 0, 0, 80, 0}));
    EXPECT_EQ(std::string(reinterpret_cast<char *>(buf) + 8, 7), "SEAGATE");
}

TEST_F(LsiScsi, Mpi1FrameAddressesByBusAndTarget)
{
    sas_apply("mpt-ioc 2 pci=0000:08:00.0 mpi=0x105\n"
              "disk-add sdz sgz sas pci=0000:08:00.0\n"
              "disk-inquiry sdz \"HGST\" \"HUC\" \"A1\"\n"
              "sas-disk 2 20 sdz 1 0 0 3 7\n");
    MpiController &c = open();
    MpiController *one = nullptr;
    for (uint32_t i = 0; i < list_.count; i++)
        if (list_.controllers[i].iocNumber == 2)
            one = &list_.controllers[i];
    ASSERT_NE(one, nullptr);
    (void)c;
    uint8_t buf[8] = {};
    ASSERT_EQ(doReadCapacityPage(one, {3, 7, 20, 0, false}, buf, sizeof buf), 0);
    std::vector<SeenCommand> seen = mpt_commands();
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].request, kMptCommand1);
    const std::vector<uint8_t> &f = seen[0].frame;
    ASSERT_EQ(f.size(), 48u);
    EXPECT_EQ(f[0], 7);
    EXPECT_EQ(f[1], 3);
    EXPECT_EQ(f[4], 10);
    EXPECT_EQ(f[24], 0x25);
    EXPECT_EQ(at<uint32_t>(f, 40), 8u);
}

// The controller's reply decides the result.
struct ReplyCase {
    uint16_t iocStatus;
    uint8_t scsiStatus;
    uint32_t transfer;
    int expected;
};

TEST_F(LsiScsi, ReturnRules)
{
    MpiController &c = open();
    const ReplyCase cases[] = {
        {0, 0, 0, 0},           {0x45, 0, 10, 0},       {0x49, 0, 10, 0},   {0x45, 0, 0, 0x45},
        {0x45, 2, 10, 0x20045}, {0, 2, 0, 0x20000},     {0, 0x18, 0, 0x180000}, {0x43, 0, 0, 0x43},
    };
    for (const ReplyCase &rc : cases) {
        mpt_set_scsi_hook([rc](MptIo &io) {
            MpiScsiIoReply r{};
            r.head.iocStatus = rc.iocStatus;
            r.transferCount = rc.transfer;
            std::memcpy(io.reply, &r, std::min(io.replySize, sizeof r));
            io.reply[12] = rc.scsiStatus;
            if (io.senseSize > 13) {
                io.sense[0] = 0x70;
                io.sense[12] = 0x3A;
            }
        });
        uint8_t buf[16] = {};
        EXPECT_EQ(doStartStopUnitCmd(&c, disk(11), 1), rc.expected) << rc.iocStatus << "/" << int{rc.scsiStatus};
        EXPECT_EQ(doInquiryPage(&c, disk(11), buf, sizeof buf), rc.expected);
    }
    uint8_t frame[48] = {}, reply[68] = {};
    frame[3] = MPI_FUNCTION_CONFIG;
    EXPECT_EQ(doScsiIo(&c, frame, 48, reply, 68, nullptr, 0, nullptr, 0, 20), -16001);
    EXPECT_EQ(doScsiIo(&c, nullptr, 48, reply, 68, nullptr, 0, nullptr, 0, 20), -16005);
    EXPECT_EQ(doScsiIo(&c, frame, 48, nullptr, 68, nullptr, 0, nullptr, 0, 20), -16005);
}

TEST_F(LsiScsi, SenseLandsAtTheSplitAndTransportFailurePassesUp)
{
    MpiController &c = open("disk-fault sdac check 0x12 5 0x24 0\n");
    uint8_t frame[48] = {}, reply[68] = {}, buf[32] = {};
    MpiScsiIoRequest1 r{};
    r.targetId = 11;  // MPI 2: the handle
    r.function = 0;
    r.cdbLength = 6;
    r.control = 0x02000000;
    r.cdb[0] = 0x12;
    r.cdb[4] = 32;
    r.dataLength = 32;
    std::memcpy(frame, &r, sizeof r);
    EXPECT_EQ(doScsiIo(&c, frame, 48, reply, 68, buf, 32, nullptr, 0, 20), 0x20045);
    EXPECT_EQ(reply[12], 2);
    EXPECT_EQ(reply[36], 0x72);  // descriptor-form sense: key, then ASC
    EXPECT_EQ(reply[37], 5);
    EXPECT_EQ(reply[38], 0x24);
    sim_fail_request("/dev/mpt2ctl", kMptCommand, EIO);
    EXPECT_EQ(doScsiIo(&c, frame, 48, reply, 68, buf, 32, nullptr, 0, 20), -1);
}

TEST_F(LsiScsi, MembersOnlyThroughPassThrough)
{
    MpiController &c = open();
    uint8_t buf[8] = {};
    EXPECT_EQ(doReadCapacityPage(&c, disk(9, false), buf, 8), 0x43);  // hidden from the host
    EXPECT_EQ(doReadCapacityPage(&c, disk(9, true), buf, 8), 0);
    EXPECT_EQ(mpt_commands().back().frame[3], 0x16);
    EXPECT_EQ(doReadCapacityPage(&c, disk(11, true), buf, 8), 0x07);  // not a member
    ASSERT_EQ(doModifyRaidDiskStatus(&c, 1, 0x0A), 0);               // member 1 offline
    EXPECT_EQ(doReadCapacityPage(&c, disk(9, true), buf, 8), 0x43);
    EXPECT_EQ(doStartStopUnitCmd(&c, disk(11), 0), 0);
    EXPECT_FALSE(disk_find("sdac")->started);
}

TEST_F(LsiScsi, PreScanStateReadAndWritten)
{
    // Mode page 0x1C/01 with PS set and EN_PS clear, filling the 32 bytes read.
    MpiController &c = open("disk-mode sdac 0x1c 1 dc 01 00 18"
                            " 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00\n");
    PhyDiskInfo e{};
    e.handle = 11;
    ASSERT_EQ(getDiskPreScanStatus(&c, &e), 0);
    EXPECT_EQ(e.preScan, 0);
    sim_clear_journal();
    EXPECT_EQ(setDiskPreScanStatus(&c, &e, 0), 0);
    EXPECT_EQ(mpt_commands().size(), 1u);  // equal: no MODE SELECT
    ASSERT_EQ(setDiskPreScanStatus(&c, &e, 1), 0);
    std::vector<SeenCommand> seen = mpt_commands();
    ASSERT_EQ(seen.size(), 3u);
    EXPECT_EQ(seen[2].frame[64], 0x15);
    EXPECT_EQ(seen[2].frame[65], 0x11);  // PF and the save flag from PS
    ASSERT_EQ(getDiskPreScanStatus(&c, &e), 0);
    EXPECT_EQ(e.preScan, 1);
    PhyDiskInfo none{};
    none.handle = 10;  // a member reached without pass-through: unreadable
    EXPECT_NE(getDiskPreScanStatus(&c, &none), 0);
    EXPECT_EQ(none.preScan, 255);
}

// ---- parsers ---------------------------------------------------------------------------------

std::vector<uint8_t> log_page(uint8_t page, std::vector<uint8_t> params)
{
    std::vector<uint8_t> b;
    b.reserve(4 + params.size());
    b.push_back(page);
    b.push_back(0);
    b.push_back(static_cast<uint8_t>(params.size() >> 8));
    b.push_back(static_cast<uint8_t>(params.size()));
    for (uint8_t v : params)
        b.push_back(v);
    return b;
}

TEST(LsiParsers, ErrorCounterPage)
{
    struct Case {
        std::vector<uint8_t> params;
        size_t slot;
        uint64_t value;
        bool present;
    } cases[] = {
        {{0, 3, 0, 2, 0x01, 0x02}, 3, 0x0102, true},
        {{0, 5, 0, 3, 0x01, 0x02, 0x03}, 5, 0x010203, true},                               // odd length
        {{0, 6, 0, 12, 9, 9, 9, 9, 1, 2, 3, 4, 5, 6, 7, 8}, 6, 0x0102030405060708ull, true},  // last 8 kept
        {{0, 2, 0, 0}, 2, 0, true},                                                          // zero length
        {{0x80, 0x01, 0, 1, 7}, 7, 7, true},                                                 // vendor code
        {{0, 1, 0, 8, 1, 2}, 1, 0, false},                                                   // runs past the end
    };
    for (const Case &c : cases) {
        std::vector<uint8_t> page = log_page(3, c.params);
        LsiErrCounters n{};
        parseErrCounterPage(page.data(), page.size(), &n);
        EXPECT_EQ(n.present[c.slot] != 0, c.present) << c.slot;
        EXPECT_EQ(n.counter[c.slot], c.value) << c.slot;
    }
    // A page length beyond the buffer is capped at the buffer.
    std::vector<uint8_t> page = {3, 0, 0xFF, 0xFF, 0, 3, 0, 1, 9};
    LsiErrCounters n{};
    parseErrCounterPage(page.data(), page.size(), &n);
    EXPECT_EQ(n.counter[3], 9u);
    parseErrCounterPage(nullptr, 0, &n);
    parseErrCounterPage(page.data(), 3, &n);
}

TEST(LsiParsers, HoursExceptionsAndStartStop)
{
    std::vector<uint8_t> p15 = log_page(0x15, {0, 1, 0, 2, 1, 1, 0, 0, 0, 8, 0, 0, 0x0E, 0x10, 0, 0, 0, 0});
    uint64_t hours = 0;
    parsePowerUpHoursPage_log(p15.data(), p15.size(), &hours);
    EXPECT_EQ(hours, 0x0E10u / 60);
    std::vector<uint8_t> p3e = log_page(0x3E, {0, 0, 0, 4, 0, 0, 0x0E, 0x10});
    hours = 0;
    parsePowerUpHoursPage(p3e.data(), p3e.size(), &hours);
    EXPECT_EQ(hours, 60u);
    std::vector<uint8_t> p2f = log_page(0x2F, {0, 0, 0, 1, 5, 0, 0, 0, 3, 0x5D, 0x10, 40});
    uint8_t asc = 0, ascq = 0;
    parseInformationalExceptionsPage(p2f.data(), p2f.size(), &asc, &ascq);
    EXPECT_EQ(asc, 0x5D);
    EXPECT_EQ(ascq, 0x10);
    std::vector<uint8_t> p0e = log_page(0x0E, {0, 1, 0, 6, '2', '0', '1', '9', '3', '2', 0, 4, 0, 4, 0xFF, 0xFF,
                                               0xFF, 0xFF, 0, 5, 0, 4, 0, 0, 1, 0});
    LsiStartStop ss{};
    EXPECT_EQ(parsestartstoppage(p0e.data(), p0e.size(), &ss), 0);
    EXPECT_STREQ(ss.manufactureYear, "2019");
    EXPECT_STREQ(ss.manufactureWeek, "32");
    EXPECT_EQ(ss.values[1], 0u);
    EXPECT_EQ(ss.values[2], 256u);
    p0e.push_back(0);
    p0e[3]++;
    EXPECT_EQ(parsestartstoppage(p0e.data(), p0e.size(), &ss), -16005);
}

TEST(LsiParsers, BackgroundControlModePage)
{
    std::vector<uint8_t> b = {0, 0, 0, 8, 0, 0, 0, 0, 0, 0, 2, 0, 0xDC, 1, 0, 12, 0, 1, 0, 0};
    uint8_t state = 255, save = 0;
    parseBackGroundControlModePage(b.data(), b.size(), &state);
    EXPECT_EQ(state, 1);
    ASSERT_EQ(initBackGroundControlModePage(b.data(), b.size(), 0, &save), 0);
    EXPECT_EQ(save, 1);
    EXPECT_EQ(b[12], 0x5C);
    EXPECT_EQ(b[17], 0);
    std::vector<uint8_t> wrong = {0, 0, 0, 0, 0x1A, 1, 0, 0, 0, 0};
    EXPECT_EQ(initBackGroundControlModePage(wrong.data(), wrong.size(), 1, &save), -16001);
    std::vector<uint8_t> past = {0, 0, 0, 20, 0x1C};
    EXPECT_EQ(initBackGroundControlModePage(past.data(), past.size(), 1, &save), -3022);
    std::vector<uint8_t> shortPage = {0, 0, 0, 0, 0x1C, 1, 0};
    EXPECT_EQ(initBackGroundControlModePage(shortPage.data(), shortPage.size(), 1, &save), -3022);
    state = 255;
    parseBackGroundControlModePage(shortPage.data(), shortPage.size(), &state);
    EXPECT_EQ(state, 255);
}

TEST(LsiParsers, SelfTestResultsAndHexText)
{
    std::vector<uint8_t> page(4 + 20 * 20, 0);
    uint8_t *p = page.data() + 4 + 20;
    p[1] = 2;
    p[4] = 0x23;  // code 1, result 3
    p[5] = 7;
    p[7] = 0x10;
    p[15] = 0x99;
    p[16] = 0x03;
    p[17] = 0x11;
    p[18] = 0x01;
    LsiSelfTestResult r{};
    ASSERT_EQ(parse_selftestresult(page.data(), page.size(), 1, &r), 0);
    EXPECT_EQ(r.code, 1);
    EXPECT_EQ(r.result, 3);
    EXPECT_EQ(r.number, 7);
    EXPECT_EQ(r.powerOnHours, 0x10);
    EXPECT_EQ(r.failureLba, 0x99u);
    EXPECT_EQ(r.senseKey, 3);
    EXPECT_EQ(r.asc, 0x11);
    EXPECT_EQ(r.parameterCode, 2);
    EXPECT_EQ(get_selfTest_result(&r), 1);
    EXPECT_NE(parse_selftestresult(page.data(), page.size(), 20, &r), 0);
    // The last entry of a page that ends with it is read; a page one byte
    // shorter refuses it and leaves the record as it was.
    uint8_t *last = page.data() + 4 + 19 * 20;
    last[1] = 20;
    last[4] = 0x40;  // code 2, result 0
    last[5] = 9;
    last[18] = 0x77;
    ASSERT_EQ(page.size(), 404u);
    ASSERT_EQ(parse_selftestresult(page.data(), 404, 19, &r), 0);
    EXPECT_EQ(r.parameterCode, 20);
    EXPECT_EQ(r.code, 2);
    EXPECT_EQ(r.result, 0);
    EXPECT_EQ(r.number, 9);
    EXPECT_EQ(r.ascq, 0x77);
    EXPECT_EQ(get_selfTest_result(&r), 0);
    LsiSelfTestResult untouched{};
    untouched.number = 0xAA;
    EXPECT_NE(parse_selftestresult(page.data(), 403, 19, &untouched), 0);
    EXPECT_EQ(untouched.number, 0xAA);
    EXPECT_EQ(untouched.parameterCode, 0);
    LsiSelfTestResult running{};
    running.result = 15;
    EXPECT_EQ(get_selfTest_result(&running), 2);
    running.result = 0;
    EXPECT_EQ(get_selfTest_result(&running), 0);
    struct {
        const char *text;
        uint32_t value;
    } hex[] = {{"  1aF", 0x1AF}, {"", 0}, {"12g4", 0x12}, {"\tFF", 0xFF}};
    for (const auto &h : hex)
        EXPECT_EQ(disk_xtoi(h.text), h.value) << h.text;
}

} // namespace

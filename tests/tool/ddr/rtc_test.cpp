// The RTC rows of s_fpga0 and m_fpga0 and the RTC loop test on the
// simulated RTC driver.
#include <cerrno>

#include "sim/rtc_model.h"
#include "support/console_run.h"
#include "support/sim_fixture.h"
#include "tool/ddr/rtc.h"
#include "tool/trans_op.h"

namespace {

class RtcTest : public SimTest {};

struct RowCase {
    const char *what;
    TransOpStatus (*run)();
    unsigned long request;
    std::string ok;           // output on a fresh board
    std::string failed;       // output when the request fails with EIO
    int failStatus;
};

TransOpStatus set_time() { return op_set("fpga0/o/2013-5-20-12-0-0-0"); }
TransOpStatus set_adjust() { return op_set("fpga0/d/-250"); }
TransOpStatus hw_version() { return rtc_read_hw_version(""); }
TransOpStatus drv_version() { return rtc_read_drv_version(""); }
TransOpStatus read_time() { return rtc_read_time(""); }
TransOpStatus version_date() { return rtc_read_hw_version_date(""); }
TransOpStatus test_chip() { return rtc_test_chip(""); }
TransOpStatus bar_mode()
{
    uint16_t mode = 7;
    return rtc_get_bar_map_mode(&mode);
}

const RowCase kRows[] = {
    {"read time", read_time, RTC_IOC_READ_TIME, "Read RTC time success!2020-1-1-0:0:0:0\n\n",
     "Read RTC time err -1!\n\n", -107},
    {"set start time", set_time, RTC_IOC_SET_TIME, "Set time success!\n\n", "Set time err -1!\n\n", -104},
    {"set adjust", set_adjust, RTC_IOC_SET_ADJUST, "Set RTC differnent time success!\n\n",
     "Set RTC different time err -1!\n\n", -104},
    {"hw version", hw_version, RTC_IOC_HW_VERSION, "FPGA0 V1.02\n\n",
     "Get fpga0 version err! ret = -1, Input/output error\n\n", -106},
    {"driver version", drv_version, RTC_IOC_DRV_VERSION, "rtc_dev 1.0.3\n\n",
     "Get RTC driver version err! ret = -1, Input/output error\n\n", -106},
    {"version date", version_date, RTC_IOC_VERSION_DATE, "2019-08-16\n\n",
     "Get fpga0 version date err! Input/output error\n\n", -106},
    {"chip test", test_chip, RTC_IOC_TEST_CHIP, "Test RTC chip success!\n\n",
     "Test RTC chip err -1!rtc_status = 0\n\n", -107},
    {"bar map mode", bar_mode, RTC_IOC_BAR_MAP_MODE, "", "Get fpga0 version err! ret = -1, Input/output error\n\n",
     -106},
};

TEST_F(RtcTest, EveryRowSucceedsFailsAndMissesItsNode)
{
    for (const RowCase &r : kRows) {
        sim_clear_faults();
        sim_clear_journal();
        ConsoleRun ok = console_run(r.run);
        EXPECT_EQ(ok.status, 0) << r.what;
        EXPECT_EQ(ok.out, r.ok) << r.what;
        EXPECT_EQ(requests_seen(r.request), 1u) << r.what;

        sim_fail_request(RTC_DEV_NODE, r.request, EIO);
        ConsoleRun bad = console_run(r.run);
        EXPECT_EQ(bad.status, r.failStatus) << r.what;
        EXPECT_EQ(bad.out, r.failed) << r.what;

        sim_clear_faults();
        sim_fail_open(RTC_DEV_NODE, ENOENT);
        ConsoleRun none = console_run(r.run);
        EXPECT_EQ(none.status, -102) << r.what;
        EXPECT_EQ(none.out, "can not open rtc_dev,No such file or directory\n\n") << r.what;
        ASSERT_EQ(sim_open_count(), 0) << r.what;
    }
}

TEST_F(RtcTest, SetRowsReachTheDriver)
{
    ASSERT_EQ(console_run(set_time).status, 0);
    RtcTime t = rtc_model_now();
    EXPECT_EQ(t.year, 2013);
    EXPECT_EQ(t.month, 5);
    EXPECT_EQ(t.day, 20);
    EXPECT_EQ(t.hour, 12);
    ASSERT_EQ(console_run(set_adjust).status, 0);
    EXPECT_EQ(rtc_model_adjust(), -250);

    rtc_model_set_bar_map_mode(1);
    uint16_t mode = 0;
    EXPECT_EQ(rtc_get_bar_map_mode(&mode), 0);
    EXPECT_EQ(mode, 1);
}

TEST_F(RtcTest, RefusedInput)
{
    struct {
        const char *what;
        TransOpStatus (*run)();
        std::string out;
        int status;
    } rows[] = {
        {"six fields", [] { return op_set("fpga0/o/2013-5-20-12-0-0"); },
         "Invalid optarg: 2013-5-20-12-0-0, ret = 6\n\n", -103},
        {"month out of range (the driver refuses)", [] { return op_set("fpga0/o/2013-13-20-12-0-0-0"); },
         "Set time err -1!\n\n", -104},
        {"adjust not a number", [] { return op_set("fpga0/d/abc"); }, "Invalid optarg: abc\n", -103},
        {"null start time", [] { return rtc_set_start_time_flag(nullptr, 1); }, "Null Pointer!\n\n", -101},
        {"null adjust", [] { return rtc_set_adjust_time(nullptr); }, "Null pointer!\n\n", -101},
        {"null mode", [] { return rtc_get_bar_map_mode(nullptr); }, "", -101},
        {"null loop parameter", [] { return rtc_loop_test(nullptr); }, "Null Pointer!\n\n", -101},
        {"loop without a count", [] { return rtc_loop_test("rtc"); }, "Invalid optarg: rtc\n", -103},
    };
    for (const auto &r : rows) {
        sim_clear_journal();
        ConsoleRun run = console_run(r.run);
        EXPECT_EQ(run.out, r.out) << r.what;
        EXPECT_EQ(run.status, r.status) << r.what;
    }
    EXPECT_EQ(requests_seen(RTC_IOC_SET_ADJUST), 0u);
}

TEST_F(RtcTest, TextsWithoutEndAreCutAt128)
{
    rtc_model_set_text(RtcText::HwVersion, std::string(200, 'x'));
    ConsoleRun run = console_run(hw_version);
    EXPECT_EQ(run.out, std::string(128, 'x') + "\n\n");
}

TEST_F(RtcTest, ChipStatusIsReported)
{
    rtc_model_set_chip_status(5);
    ConsoleRun run = console_run(test_chip);
    EXPECT_EQ(run.status, -107);
    EXPECT_EQ(run.out, "Test RTC chip err -1!rtc_status = 5\n\n");
}

TEST_F(RtcTest, ClockRunsOnVirtualTimeAcrossMonthEnds)
{
    rtc_model_set_now(RtcTime{2016, 2, 29, 23, 59, 59, 0, 500});
    host().sleep(2);
    ConsoleRun run = console_run(read_time);
    EXPECT_EQ(run.out, "Read RTC time success!2016-3-1-0:0:1:500\n\n");
}

TEST_F(RtcTest, LoopTest)
{
    struct {
        const char *param;
        int drift;
        int status;
        uint64_t seconds;  // virtual time spent
        size_t sets;
        std::string out;
    } rows[] = {
        {"rtc:10", 0, 0, 10, 1, ""},
        {"rtc:11", 0, 0, 20, 2, ""},
        {"rtc:0", 0, 0, 0, 0, ""},
        {"rtc:-5", 0, 0, 0, 0, ""},
        {"rtc:10", 100, 0, 10, 1, ""},    // second 11
        {"rtc:10", -100, 0, 10, 1, ""},   // second 9
        {"rtc:30", 200, -107, 10, 1,
         "[0]th RTC LOOP TEST ERR!\nset_time:2013-5-20-12-0-0-0\nAfter 10s\nget_time:2013-5-20-12-0-12-0\n\n"},
    };
    for (const auto &r : rows) {
        rtc_model_set_drift(r.drift);
        sim_clear_journal();
        uint64_t start = sim_clock_ns();
        ConsoleRun run = console_run([&] { return rtc_loop_test(r.param); });
        EXPECT_EQ(run.status, r.status) << r.param << " drift " << r.drift;
        EXPECT_EQ(run.out, r.out) << r.param;
        EXPECT_EQ((sim_clock_ns() - start) / 1000000000u, r.seconds) << r.param;
        EXPECT_EQ(requests_seen(RTC_IOC_SET_TIME), r.sets) << r.param;
        EXPECT_EQ(requests_seen(RTC_IOC_READ_TIME), r.sets) << r.param;
    }
}

TEST_F(RtcTest, LoopTestStopsAtAFailingRequest)
{
    sim_fail_request(RTC_DEV_NODE, RTC_IOC_SET_TIME, EIO);
    ConsoleRun set = console_run([] { return rtc_loop_test("rtc:10"); });
    EXPECT_EQ(set.status, -104);
    EXPECT_EQ(set.out, "Set time err -1!\n\nRTC LOOP TEST ERR! call rtc_set_start_time err! ret=-104, index=0\n");

    sim_clear_faults();
    sim_fail_request(RTC_DEV_NODE, RTC_IOC_READ_TIME, EIO, 2);
    ConsoleRun read = console_run([] { return rtc_loop_test("rtc:20"); });
    EXPECT_EQ(read.status, -107);
    EXPECT_EQ(read.out, "Read RTC time err -1!\n\nRTC LOOP TEST ERR! call rtc_read_time err!ret=-107, index=1\n");
}

TEST_F(RtcTest, StateIsSavedWithTheBoard)
{
    ASSERT_EQ(op_set("fpga0/d/-7"), 0);
    rtc_model_set_bar_map_mode(1);
    ASSERT_EQ(sim_board_close(), 0);
    ASSERT_EQ(sim_board_open(root_, board()), 0);
    EXPECT_EQ(rtc_model_adjust(), -7);
    uint16_t mode = 0;
    EXPECT_EQ(rtc_get_bar_map_mode(&mode), 0);
    EXPECT_EQ(mode, 1);
}

} // namespace

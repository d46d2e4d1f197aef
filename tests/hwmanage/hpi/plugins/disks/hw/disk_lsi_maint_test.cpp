// The disk maintenance commands on the onboard controller of the simulated
// board: disk_test's texts, the LED, offline/online and pre-scan
// operations, the offline task in a thread in virtual time, and the
// "clear" block's disk row.
#include <gtest/gtest.h>

#include <string>

#include "bases/drv/mpt_drv.h"
#include "bases/host/host.h"
#include "hwmanage/hpi/plugins/disks/hw/disk_lsi_maint.h"
#include "hwmanage/hpi/plugins/disks/hw/disk_lsi_plugin.h"
#include "sim/disk_model.h"
#include "sim/mpt_model.h"
#include "sim/sim_host.h"
#include "support/console_run.h"
#include "support/mpt_test_util.h"
#include "support/sas_test_util.h"
#include "support/sim_fixture.h"
#include "tool/trans_op.h"

namespace {

constexpr uint64_t kSecond = 1000000000ull;

// Slot 0: RAID1 member (physical disk 1); slot 2: the other member; slot 1:
// a disk of its own with a background-control mode page.
std::string maint_board()
{
    std::string s = "mpt-ioc 0 pci=0000:05:00.0\n";
    const char *sd[] = {"sdaa", "sdab", "sdac"};
    const int slot[] = {0, 2, 1};
    for (int k = 0; k < 3; k++) {
        std::string h = std::to_string(9 + k);
        s += std::string("disk-add ") + sd[k] + " sga" + std::to_string(k) + " sas pci=0000:05:00.0 target=" + h + "\n";
        s += std::string("disk-inquiry ") + sd[k] + " \"SEAGATE\" \"ST600MM0006\" \"0001\"\n";
        s += std::string("disk-capacity ") + sd[k] + " 2097152 512\n";
        s += "sas-disk 0 " + h + " " + sd[k] + " 1 " + std::to_string(k) + " " + std::to_string(slot[k]) + " 0 " + h +
             "\n";
    }
    s += "sas-volume 0 0x141 2 5 0 2097151 512 64 0x600508b1001c2a3b 0 0 1:1:9:3 2:2:10:3\n";
    s += "disk-mode sdac 0x1c 1 dc 01 00 18 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00\n";
    return s;
}

class DiskMaint : public SimTest {
protected:
    void SetUp() override
    {
        SimTest::SetUp();
        sas_apply(maint_board());
        sim_clear_journal();
    }
    static uint16_t gpio(size_t number) { return at<uint16_t>(mpt_get_page(0, 0, 3, 0), 8 + 2 * number); }
    // Functions of the MPI frames sent, RAID ACTION and SCSI only.
    static std::string actions()
    {
        std::string out;
        for (const SeenCommand &c : mpt_commands())
            if (c.frame.size() > 3 && (c.frame[3] == 0x15 || c.frame[3] == 0x16 || c.frame[3] == 0x00))
                out += c.frame[3] == 0x15 ? "R" : "S";
        return out;
    }
};

TEST_F(DiskMaint, DiskTestTexts)
{
    struct Case {
        const char *text;
        int status;
        const char *out;
    } cases[] = {
        {"setled-0-1", 0, "Set Disk Led Status: led0 \"ON\".\n"},
        {"setled-5-1", 0, "Set Disk Led Status: led1 \"ON\".\n"},
        {"setled-1-0", 0, "Set Disk Led Status: led1 \"OFF\".\n"},
        {"display", 0, ""},
        {"bogus-1-1", -16001, "Unknown Command \"bogus\"!\n"},
        {"setledx", -16001, "Unknown Command \"setledx\"!\n"},
        {"12-1", -16001, "the string for cParamBuff is error, iRet = 0\n"},
        {"", -16001, "the string for cParamBuff is error, iRet = -1\n"},
    };
    uint16_t want[] = {1, 1, 0};
    for (size_t i = 0; i < std::size(cases); i++) {
        SCOPED_TRACE(cases[i].text);
        sim_clear_journal();
        ConsoleRun r = console_run([&] { return disk_test(cases[i].text); });
        EXPECT_EQ(r.status, cases[i].status);
        EXPECT_EQ(r.out, cases[i].out);
        if (i < 3) {
            EXPECT_EQ(gpio(8) & 1, i == 0 ? 1 : 1);  // led0 stays on
            EXPECT_EQ(gpio(9) & 1, i == 0 ? 0 : want[i]);
        } else {
            EXPECT_EQ(journal_count(kMptProbe), 0u);
        }
    }
    EXPECT_EQ(console_run([] { return disk_test(nullptr); }).status, -16001);
}

TEST_F(DiskMaint, LedRefusalsAndPageFailures)
{
    int neg[8] = {-1, 1};
    ConsoleRun r = console_run([&] { return SetDiskLED(neg, 8); });
    EXPECT_EQ(r.status, -16003);
    EXPECT_EQ(journal_count(kMptProbe), 0u);  // refused before any request
    EXPECT_EQ(SetDiskLED(neg, 1), -16005);
    EXPECT_EQ(SetDiskLED(nullptr, 8), -16005);

    mpt_fault_short_page(0, 0, 3, 24);
    r = console_run([&] { return disk_test("setled-0-1"); });
    EXPECT_EQ(r.status, -3025);
    EXPECT_EQ(r.out, "Set Disk Led Status: led0 \"ON\".\ngetConfigPage page length value is invalid! iLength=24.\n"
                     "Command failed! iret = -3025.\n");
    mpt_fault_short_page(0, 0, 3, 0);  // a page without content
    r = console_run([&] { return disk_test("setled-0-1"); });
    EXPECT_NE(r.out.find("getConfigPage get reg(IO_UNIT) value fail! iRet="), std::string::npos);
    EXPECT_NE(r.status, 0);
    // The descriptor check of the fixture's tear-down covers both closes.
}

TEST_F(DiskMaint, OfflineAndOnline)
{
    const std::string wait = "waiting 10s ..........end!\n";
    struct Case {
        const char *text;
        int status;
        std::string out;
        const char *order;
        uint64_t seconds;
    } cases[] = {
        {"setoffline-1-1", 0,
         "Set Disk Offline Status: HD1 offline.\nSlot1 disk is present!\n" + wait +
             "Slot1 disk StartStopUnitCmd Success!\n",
         "S", 10},
        {"setoffline-1-0", 0,
         "Set Disk Offline Status: HD1 online.\nSlot1 disk is present!\n" + wait +
             "Slot1 disk StartStopUnitCmd Success!\n",
         "S", 10},
        // Once offline, the member is out of reach of pass-through.
        {"setoffline-0-1", 0x43,
         "Set Disk Offline Status: HD0 offline.\nSlot0 disk is present!\n" + wait +
             "Slot0 disk Raid Action Success!\nSlot0 disk StartStopUnitCmd Failed!\nCommand failed! iret = 67.\n",
         "RS", 10},
    };
    for (const Case &k : cases) {
        SCOPED_TRACE(k.text);
        sim_clear_journal();
        uint64_t t0 = sim_clock_ns();
        ConsoleRun r = console_run([&] { return disk_test(k.text); });
        EXPECT_EQ(r.status, k.status);
        EXPECT_EQ(r.out, k.out);
        EXPECT_EQ(actions().substr(actions().size() - std::string(k.order).size()), k.order);
        EXPECT_EQ(sim_clock_ns() - t0, k.seconds * kSecond);
    }
    EXPECT_EQ(mpt_disk_state(0, 1), 0x02);
    // Online of a member: the unit starts first, then the RAID action.
    mpt_set_disk_state(0, 1, 0x03);
    sim_clear_journal();
    uint64_t t0 = sim_clock_ns();
    ConsoleRun r = console_run([&] { return disk_test("setoffline-0-0"); });
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(actions(), "SR");
    EXPECT_EQ(sim_clock_ns() - t0, 20 * kSecond);
    EXPECT_NE(r.out.find("Slot0 disk StartStopUnitCmd Success!\n" + wait + "Slot0 disk Raid Action Success!\n"),
              std::string::npos);
    EXPECT_EQ(mpt_disk_state(0, 1), 0x03);
    EXPECT_TRUE(disk_find("sdaa")->started);

    mpt_fault_status(0, MPI_FUNCTION_RAID_ACTION, -1, 0x22);
    r = console_run([&] { return disk_test("setoffline-0-1"); });
    EXPECT_EQ(r.status, 0x22);
    EXPECT_NE(r.out.find("Slot0 disk Raid Offline Action Failed!\n"), std::string::npos);

    int absent[8] = {-1, 1};
    r = console_run([&] { return SetDiskOffline(absent, 8); });
    EXPECT_EQ(r.status, -3028);
    EXPECT_EQ(r.out, "Set Disk Offline Status: HD-1 offline.\nSlot-1 disk isnot present!\n");
}

TEST_F(DiskMaint, PreScan)
{
    // A text cannot carry a negative switch ("-" separates the numbers): those
    // rows call the handler with their two numbers. Any switch above 0
    // enables; a negative one disables, though the line says "Enable".
    struct Case {
        const char *text;
        int args[8];
        const char *word;  // of the wrapper's line
        size_t selects;
    } cases[] = {
        {"setprescan-1-1", {}, "Enable", 1},  {"setprescan-1-1", {}, "Enable", 0},
        {"setprescan-1-0", {}, "Disable", 1}, {"setprescan-1-2", {}, "Enable", 1},
        {nullptr, {1, -1}, "Enable", 1},      {nullptr, {1, -1}, "Enable", 0},
        {"setprescan-1-0", {}, "Disable", 0},
    };
    for (const Case &k : cases) {
        SCOPED_TRACE(k.text != nullptr ? k.text : "1 " + std::to_string(k.args[1]));
        sim_clear_journal();
        ConsoleRun r = console_run([&] { return k.text != nullptr ? disk_test(k.text) : SetDiskPreScan(k.args, 8); });
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(r.out, std::string("Set Disk PreScan Status: HD1 ") + k.word + ".\nSlot1 disk is present!\n");
        size_t selects = 0;
        for (const SeenCommand &c : mpt_commands())
            selects += c.frame.size() > 64 && c.frame[3] == 0 && c.frame[64] == 0x15;
        EXPECT_EQ(selects, k.selects);
    }
    ConsoleRun r = console_run([&] { return disk_test("setprescan-0-1"); });  // member without the mode page
    EXPECT_NE(r.status, 0);
    EXPECT_NE(r.out.find("setDiskPreScanStatus Failed! iRet="), std::string::npos);
    int absent[8] = {-5, 1};
    r = console_run([&] { return SetDiskPreScan(absent, 8); });
    EXPECT_EQ(r.status, -3028);
    EXPECT_EQ(r.out, "Set Disk PreScan Status: HD-5 Enable.\nSlot-5 disk isnot present!\n");
}

// ---- the offline task --------------------------------------------------------------------------

struct TaskRun {
    DiskOfflineTask *task;
    pid_t tid;
};

void *task_start(void *arg)
{
    auto *run = static_cast<TaskRun *>(arg);
    run->tid = host().gettid();
    return TaskDiskOffLine(run->task);
}

TEST_F(DiskMaint, OfflineTask)
{
    const std::string kRaidRefused = "ScsiIo failed, IOCStatus = 0x0022 ()\n";
    struct Case {
        int slot;
        uint32_t offline;
        const char *fault;  // "raid", "unit" or ""
        uint64_t seconds;
        uint32_t stopped, outside;
        std::vector<std::string> lines;
    } cases[] = {
        {1, 1, "", 14, 1, 1, {"Slot1 disk StopUnitCmd Success!\n"}},
        {1, 0, "", 10, 0, 0, {"Slot1 disk StartUnitCmd Success!\n"}},
        {0, 1, "", 14, 0, 0, {"Slot0 disk Raid Offline Action Success!\n", "Slot0 disk StopUnitCmd Failed! iRet=67\n"}},
        {0, 0, "", 10, 0, 0, {"Slot0 disk StartUnitCmd Success!\n", "Slot0 disk Raid Online Action Success!\n"}},
        {0, 1, "raid", 10, 0, 0, {kRaidRefused, "Slot0 disk Raid Offline Action Failed! iRet=34\n"}},
        {0, 0, "raid", 10, 0, 0,
         {"Slot0 disk StartUnitCmd Success!\n", kRaidRefused, "Slot0 disk Raid Online Action Failed! iRet=34\n"}},
        {1, 1, "unit", 14, 0, 0, {}},
        {1, 0, "unit", 10, 0, 1, {}},  // a failed start leaves the flag as it was
    };
    for (const Case &k : cases) {
        SCOPED_TRACE(std::to_string(k.slot) + "/" + std::to_string(k.offline) + "/" + k.fault);
        auto task = std::make_unique<DiskOfflineTask>();
        task->controller.descriptor = -1;
        ASSERT_EQ(findMpiController("0000:00:01.0", &task->controller), 0);
        ASSERT_EQ(lsi_get_physicalDisk_index(&task->controller, static_cast<uint32_t>(k.slot), &task->disk, 1), 0);
        mpt_set_disk_state(0, 1, 0x03);
        task->offline = k.offline;
        task->running = 1;
        task->threadId = 77;
        task->stoppedOutsideRaid = k.offline ? 0 : 1;
        if (std::string(k.fault) == "raid")
            mpt_fault_status(0, MPI_FUNCTION_RAID_ACTION, -1, 0x22, 0, 1);
        if (std::string(k.fault) == "unit")
            sas_apply("disk-fault sdac check 0x1b 2 4 0\n");
        TaskRun run{task.get(), 0};
        uint64_t t0 = sim_clock_ns();
        pthread_t th;
        std::vector<std::string> lines = plugin_lines([&] {
            ASSERT_EQ(host().pthread_create(&th, nullptr, task_start, &run), 0);
            ASSERT_EQ(host().pthread_join(th, nullptr), 0);
        });
        EXPECT_EQ(sim_clock_ns() - t0, k.seconds * kSecond);
        EXPECT_EQ(task->running.load(), 0u);
        EXPECT_EQ(task->threadId.load(), 0u);
        EXPECT_EQ(task->stopped, k.stopped);
        EXPECT_EQ(task->stoppedOutsideRaid, k.outside);
        EXPECT_EQ(sim_thread_name(run.tid), "hpiDiskOffline");
        if (!k.lines.empty())
            EXPECT_EQ(lines, k.lines);
        else
            ASSERT_EQ(lines.size(), 1u);
        closeMpiController(&task->controller);
        if (std::string(k.fault) == "unit")
            disk_find("sdac")->faults.clear();
    }
    std::vector<std::string> lines = plugin_lines([] { TaskDiskOffLine(nullptr); });
    EXPECT_EQ(lines, std::vector<std::string>{"input parm error, null pointer!\n"});
}

TEST_F(DiskMaint, ClearRow)
{
    ConsoleRun r = console_run([] { return op_clear("disk/a"); });
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "disk_c_check stub\n");
    r = console_run([] { return op_clear("disk/ab"); });
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "Invaild command, correct order: './quorbix -c disk/a'\n");
}

} // namespace

#include "hwmanage/hpi/plugins/disks/hw/disk_lsi_maint.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <sys/prctl.h>

#include "bases/drv/mpt_drv.h"
#include "bases/host/host.h"
#include "hwmanage/hpi/plugins/disks/hw/disk_lsi_scsi.h"
#include "kelvo/kelvo.h"

namespace {

constexpr size_t kParamSize = 256;
constexpr int kArgs = 8;
constexpr int kLedGpioBase = 8;
constexpr int kSettleSeconds = 10;

// The index every sub-command takes: itself when 0 or less, else 1.
int sub_index(int value) { return value <= 0 ? value : 1; }

void zero(void *p, size_t n)
{
    KelvoErr ret = memset_s(p, n, 0, n);
    if (ret != KelvoOk)
        std::printf("call memset_s fail, error=%d\n", ret);
}

// The onboard controller; prints the failure line.
int find_onboard(MpiController &c)
{
    zero(&c, sizeof c);
    int ret = findMpiController(LSI_ONBOARD_ROOT_PORT, &c);
    if (ret != 0)
        std::printf("find mpt2 controller fail! iRet=%d.\n", ret);
    return ret;
}

// The controller's tables, the present disk in `slot`; the controller stays
// open only on success.
struct SlotDisk {
    MpiController c;
    PhyDiskInfo entry;
};

int find_slot_disk(int slot, SlotDisk &d)
{
    int ret = find_onboard(d.c);
    if (ret != 0)
        return ret;
    auto volumes = std::make_unique<LOGICDISKINFOS>();
    auto members = std::make_unique<RAIDDISKINFOS>();
    auto disks = std::make_unique<PHYDISKINFOS>();
    zero(volumes.get(), sizeof *volumes);
    zero(members.get(), sizeof *members);
    zero(disks.get(), sizeof *disks);
    getLogicDiskInfos(&d.c, volumes.get(), members.get());
    getPhysicalDiskInfos(&d.c, disks.get(), members.get());
    for (const PhyDiskInfo &e : disks->stInfos)
        if (static_cast<int>(e.ucSlotNum) == slot && e.present == 1) {
            std::printf("Slot%d disk is present!\n", slot);
            d.entry = e;
            return 0;
        }
    std::printf("Slot%d disk isnot present!\n", slot);
    closeMpiController(&d.c);
    return DISK_ERR_NOT_PRESENT;
}

// One step of the offline operation: its line ("Slot%d disk " and the
// outcome), the wait after success.
int step(MpiController &c, int ret, int slot, const char *failed, const char *done)
{
    if (ret != 0) {
        std::printf("Slot%d disk %s\n", slot, failed);
        closeMpiController(&c);
        return ret;
    }
    delay_s(kSettleSeconds);
    std::printf("Slot%d disk %s\n", slot, done);
    return 0;
}

int raid_step(SlotDisk &d, int slot, uint8_t action, const char *failed)
{
    return step(d.c, doModifyRaidDiskStatus(&d.c, d.entry.ucPhysDiskNum, action), slot, failed,
                "Raid Action Success!");
}

int unit_step(SlotDisk &d, int slot, uint8_t start)
{
    return step(d.c, doStartStopUnitCmd(&d.c, lsi_disk_addr(d.entry), start), slot,
                "StartStopUnitCmd Failed!", "StartStopUnitCmd Success!");
}

int led_operation(int index, bool on)
{
    if (index < 0)
        return LSI_ERR_PARAM;
    MpiController c;
    int ret = find_onboard(c);
    if (ret != 0)
        return ret;
    MpiPage page;
    if ((ret = getConfigPage(&c, MPI_PAGETYPE_IO_UNIT, 3, 0, &page)) != 0) {
        std::printf("getConfigPage get reg(IO_UNIT) value fail! iRet=%d.\n", ret);
    } else if (page.length < 2 * static_cast<uint32_t>(index + kLedGpioBase) + 10) {
        std::printf("getConfigPage page length value is invalid! iLength=%d.\n", static_cast<int>(page.length));
        ret = LSI_ERR_EMPTY_PAGE;
    } else {
        ret = setDiskAlarmLed(&c, on, index);
    }
    closeMpiController(&c);
    return ret;
}

int offline_operation(int slot, bool offline)
{
    SlotDisk d;
    int ret = find_slot_disk(slot, d);
    if (ret != 0)
        return ret;
    bool member = d.entry.raidMember != 0;
    if (offline) {
        if (member && (ret = raid_step(d, slot, DISK_RAID_OFFLINE, "Raid Offline Action Failed!")) != 0)
            return ret;
        if ((ret = unit_step(d, slot, 0)) != 0)
            return ret;
    } else {
        if ((ret = unit_step(d, slot, 1)) != 0)
            return ret;
        if (member && (ret = raid_step(d, slot, DISK_RAID_ONLINE, "Raid Online Action Failed!")) != 0)
            return ret;
    }
    closeMpiController(&d.c);
    return 0;
}

int prescan_operation(int slot, int value)
{
    SlotDisk d;
    int ret = find_slot_disk(slot, d);
    if (ret != 0)
        return ret;
    ret = setDiskPreScanStatus(&d.c, &d.entry, value > 0 ? 1 : 0);
    if (ret != 0)
        std::printf("setDiskPreScanStatus Failed! iRet=%d\n", ret);
    closeMpiController(&d.c);
    return ret;
}

} // namespace

const DiskValidCmnd DiskValidCmnds[5] = {
    {"setled", SetDiskLED},
    {"setoffline", SetDiskOffline},
    {"setprescan", SetDiskPreScan},
    {"display", nullptr},
    {nullptr, nullptr},
};

int disk_test(const char *params)
{
    char buffer[kParamSize] = {};
    if (params != nullptr) {
        KelvoErr err = strncpy_s(buffer, sizeof buffer, params, std::min(strnlen(params, kParamSize - 1), kParamSize - 1));
        if (err != KelvoOk)
            std::printf("call strncpy_s fail, error=%d\n", err);
    }
    for (char &ch : buffer)
        if (ch == '-')
            ch = ' ';
    char name[17] = {};
    int a[kArgs] = {};
    int ret = sscanf_s(buffer, "%16[a-z] %d %d %d %d %d %d %d %d", name, 17u, &a[0], &a[1], &a[2], &a[3], &a[4],
                       &a[5], &a[6], &a[7]);
    if (ret <= 0) {
        std::printf("the string for cParamBuff is error, iRet = %d\n", ret);
        return DISK_ERR_COMMAND;
    }
    for (const DiskValidCmnd *row = DiskValidCmnds; row->name != nullptr; row++) {
        if (std::strcmp(row->name, name) != 0)
            continue;
        if (row->handler == nullptr)
            return 0;
        int status = row->handler(a, kArgs);
        if (status != 0)
            std::printf("Command failed! iret = %d.\n", status);
        return status;
    }
    std::printf("Unknown Command \"%s\"!\n", name);
    return DISK_ERR_COMMAND;
}

int SetDiskLED(const int *args, int count)
{
    if (args == nullptr || count < 2)
        return DISK_ERR_ARGS;
    int index = sub_index(args[0]);
    std::printf("Set Disk Led Status: led%d %s.\n", index, args[1] != 0 ? "\"ON\"" : "\"OFF\"");
    return led_operation(index, args[1] != 0);
}

int SetDiskOffline(const int *args, int count)
{
    if (args == nullptr || count < 2)
        return DISK_ERR_ARGS;
    int index = sub_index(args[0]);
    std::printf("Set Disk Offline Status: HD%d %s.\n", index, args[1] != 0 ? "offline" : "online");
    return offline_operation(index, args[1] != 0);
}

int SetDiskPreScan(const int *args, int count)
{
    if (args == nullptr || count < 2)
        return DISK_ERR_ARGS;
    int index = sub_index(args[0]);
    std::printf("Set Disk PreScan Status: HD%d %s.\n", index, args[1] != 0 ? "Enable" : "Disable");
    return prescan_operation(index, args[1]);
}

void delay_s(int seconds)
{
    std::printf("waiting %ds ", seconds);
    for (int i = 0; i < seconds; i++) {
        host().sleep(1);
        std::printf(".");
        std::fflush(stdout);
    }
    std::puts("end!");
}

// ---- the offline task ---------------------------------------------------------------------------

namespace {

void task_offline(DiskOfflineTask &t, int slot, bool member)
{
    int ret;
    if (member) {
        if ((ret = doModifyRaidDiskStatus(&t.controller, t.disk.ucPhysDiskNum, DISK_RAID_OFFLINE)) != 0) {
            LSI_PRINT("Slot%d disk Raid Offline Action Failed! iRet=%d\n", slot, ret);
            t.stopped = 0;
            host().sleep(10);
            return;
        }
        LSI_PRINT("Slot%d disk Raid Offline Action Success!\n", slot);
    }
    host().sleep(10);
    if ((ret = doStartStopUnitCmd(&t.controller, lsi_disk_addr(t.disk), 0)) != 0) {
        LSI_PRINT("Slot%d disk StopUnitCmd Failed! iRet=%d\n", slot, ret);
        t.stopped = 0;
        host().sleep(4);
        return;
    }
    LSI_PRINT("Slot%d disk StopUnitCmd Success!\n", slot);
    t.stopped = 1;
    if (!member)
        t.stoppedOutsideRaid = 1;
    host().sleep(4);
}

void task_online(DiskOfflineTask &t, int slot, bool member)
{
    int ret = doStartStopUnitCmd(&t.controller, lsi_disk_addr(t.disk), 1);
    if (ret != 0) {
        LSI_PRINT("Slot%d disk StartUnitCmd Failed! iRet=%d\n", slot, ret);
        host().sleep(10);
        return;
    }
    LSI_PRINT("Slot%d disk StartUnitCmd Success!\n", slot);
    t.stoppedOutsideRaid = 0;
    if (!member) {
        host().sleep(10);
        return;
    }
    host().sleep(2);
    ret = doModifyRaidDiskStatus(&t.controller, t.disk.ucPhysDiskNum, DISK_RAID_ONLINE);
    host().sleep(8);
    if (ret != 0)
        LSI_PRINT("Slot%d disk Raid Online Action Failed! iRet=%d\n", slot, ret);
    else
        LSI_PRINT("Slot%d disk Raid Online Action Success!\n", slot);
}

} // namespace

void *TaskDiskOffLine(void *arg)
{
    host().prctl(PR_SET_NAME, reinterpret_cast<unsigned long>(DISK_TASK_THREAD_NAME), 0, 0, 0);
    auto *t = static_cast<DiskOfflineTask *>(arg);
    if (t == nullptr) {
        LSI_PRINT("input parm error, null pointer!\n");
        return nullptr;
    }
    int slot = t->disk.ucSlotNum;
    bool member = t->disk.raidMember != 0;
    if (t->offline == 1)
        task_offline(*t, slot, member);
    else
        task_online(*t, slot, member);
    t->running.store(0);
    t->threadId.store(0);
    return nullptr;
}

// Maintenance of the disks on the onboard SAS controller (the one below
// PCI root port "0000:00:01.0"): the sub-commands of disk_test (controller
// LED, disk offline/online, disk pre-scan), the countdown delay_s and the
// offline task body a hosting service runs in a thread of its own.
#ifndef QUORBIX_HWMANAGE_HPI_PLUGINS_DISKS_HW_DISK_LSI_MAINT_H
#define QUORBIX_HWMANAGE_HPI_PLUGINS_DISKS_HW_DISK_LSI_MAINT_H

#include <atomic>
#include <cstddef>
#include <cstdint>

#include "hwmanage/hpi/plugins/disks/hw/disk_lsi_raid.h"

inline constexpr int DISK_ERR_COMMAND = -16001;
inline constexpr int DISK_ERR_ARGS = -16005;
inline constexpr int DISK_ERR_NOT_PRESENT = -3028;
inline constexpr uint8_t DISK_RAID_OFFLINE = 0x0A;
inline constexpr uint8_t DISK_RAID_ONLINE = 0x0B;
inline constexpr const char *DISK_TASK_THREAD_NAME = "hpiDiskOffline";

using DiskCmdHandler = int (*)(const int *args, int count);

struct DiskValidCmnd {
    const char *name;
    DiskCmdHandler handler;  // null: the command does nothing
};

// Rows up to the one without name.
extern const DiskValidCmnd DiskValidCmnds[5];

// The offline task's record, owned by whoever starts the task. The task
// clears `running` and `threadId` last; the owner polls them.
struct DiskOfflineTask {
    MpiController controller;
    PhyDiskInfo disk;
    uint32_t offline;  // 1 take offline, 0 bring online
    std::atomic<uint32_t> running;
    uint32_t stopped;
    uint32_t stoppedOutsideRaid;
    std::atomic<uint64_t> threadId;
};

int disk_test(const char *params);
int SetDiskLED(const int *args, int count);
int SetDiskOffline(const int *args, int count);
int SetDiskPreScan(const int *args, int count);
void delay_s(int seconds);
// Thread body: `task` is a DiskOfflineTask.
void *TaskDiskOffLine(void *task);

#endif

// The SAS controller plugin's interface to a hosting service: volumes and
// disks in flat records, a disk's self-test and its result, and the Linux
// block device of a volume (by its WWID under "/dev/disk/by-id") or of a
// direct disk (by its unit serial number under "/sys/block").
#ifndef QUORBIX_HWMANAGE_HPI_PLUGINS_DISKS_HW_DISK_LSI_PLUGIN_H
#define QUORBIX_HWMANAGE_HPI_PLUGINS_DISKS_HW_DISK_LSI_PLUGIN_H

#include <cstddef>
#include <cstdint>

#include "hwmanage/hpi/plugins/disks/hw/disk_lsi_raid.h"
#include "hwmanage/hpi/plugins/disks/hw/disk_lsi_scsi.h"
#include "hwmanage/hpi/plugins/disks/hw/disk_ssd_info.h"

inline constexpr int LSI_ERR_NOT_FOUND = -16008;
inline constexpr int LSI_ERR_LINK = -16010;
inline constexpr int LSI_ERR_DIR = -16060;
inline constexpr int LSI_ERR_PAGE_MISMATCH = -3022;

inline constexpr uint8_t LSI_SELFTEST_PAGE = 0x10;
inline constexpr uint16_t LSI_SELFTEST_PAGE_LENGTH = 0x190;
inline constexpr size_t LSI_DISK_NAME_SIZE = 32;

// One volume as the host sees it (60 bytes).
struct LogicDiskEntry {
    uint32_t present;
    uint32_t handle;
    uint32_t members;
    uint32_t sizeMiB;
    uint32_t stripe;
    uint32_t type;
    uint32_t reserved;
    char name[32];
};
static_assert(sizeof(LogicDiskEntry) == 60);
static_assert(offsetof(LogicDiskEntry, members) == 8);
static_assert(offsetof(LogicDiskEntry, type) == 20);
static_assert(offsetof(LogicDiskEntry, name) == 28);

struct LogicDiskList {
    uint32_t count;
    LogicDiskEntry entries[LSI_MAX_DISKS];
};
static_assert(sizeof(LogicDiskList) == 4 + 14 * 60);
static_assert(offsetof(DiskInfoRecord, kind) == 1);
static_assert(offsetof(DiskInfoRecord, index) == 2);
static_assert(offsetof(DiskInfoRecord, volumeHandle) == 4);

int lsi_get_physicalDisks(MpiController *controller, PHYDISKINFOS *table, int raid);
int lsi_get_physicalDisk_index(MpiController *controller, uint32_t slot, PhyDiskInfo *entry, int raid);
int lsi_disk_selfTest(const char *root, uint32_t slot, uint8_t code, int raid);
int lsi_disk_selfTest_result(const char *root, uint32_t slot, LsiSelfTestResult *result, int raid);
int lsi_get_physicalDisk_info(LogicDiskList *volumes, DiskInfoList *disks, const char *root,
                              MpiController *controller, int raid);
int convert_logicDisk_info(LogicDiskList *out, const RAIDDISKINFOS *members, const LOGICDISKINFOS *volumes);
int convert_physicalDisk_info(DiskInfoList *out, const PHYDISKINFOS *table);

int get_diskname_sas(const char *root, LOGICDISKINFOS *volumes, PHYDISKINFOS *table);
// `name` holds LSI_DISK_NAME_SIZE bytes.
int get_diskname_bywwid(uint64_t wwid, char *name);
int get_diskname_byentryid(uint64_t wwid, const char *entry, char *name);
int get_sys_diskname(const char *root, PhyDiskInfo *entry);
bool check_dir_rootbdf(const char *root, const char *entry);
// `serial` holds SCSI_SERIAL_SIZE bytes.
int getDiskDriverSerial(char *serial, const char *name);
int get_logic_diskname(const char *root);
void swap_bytes(uint8_t *dest, const uint8_t *source, size_t length);

// The SMART summary of the SSD in `slot` of the controller's table.
int get_phyDisk_smart_ssd_by_index(uint32_t slot, MpiController *controller, SsdSmartSummary *out, int raid);

#endif

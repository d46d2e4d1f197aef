// RAID volume, RAID member and physical-disk tables of one SAS controller,
// and each present disk's health data. The physical-disk table of the last
// scan is kept in a process-wide cache, per controller.
#ifndef QUORBIX_HWMANAGE_HPI_PLUGINS_DISKS_HW_DISK_LSI_RAID_H
#define QUORBIX_HWMANAGE_HPI_PLUGINS_DISKS_HW_DISK_LSI_RAID_H

#include <cstdint>

#include "hwmanage/hpi/plugins/disks/hw/disk_lsi_info.h"

inline constexpr uint32_t LSI_MAX_DISKS = 14;
inline constexpr int LSI_ERR_MALLOC = -16002;
inline constexpr int LSI_ERR_COPY = -16010;

struct LogicDiskInfo {
    uint8_t bus;      // never filled: stays 0
    uint8_t target;   // never filled: stays 0
    uint16_t handle;
    uint8_t type;     // 0 RAID0, 1 RAID1E, 2 RAID1, 5 RAID10
    uint8_t resyncPercent;
    uint8_t state;    // 0 missing .. 5 optimal
    uint8_t unified;  // g_stRaidStatusString flag
    uint32_t flags;   // bit 2 inactive, bit 16 resync in progress
    uint32_t sizeMiB;
    uint32_t stripe;
    uint64_t wwid;
    char name[32];
};

struct LOGICDISKINFOS {
    uint32_t count;
    LogicDiskInfo stInfos[LSI_MAX_DISKS];
};

struct RaidDiskInfo {
    uint16_t handle;
    uint8_t ucPhysDiskNum;
    uint8_t diskMap;      // 1 primary, 2 secondary
    uint8_t raidSetNum;
    uint8_t volUnified;
    uint8_t state;
    uint8_t offlineReason;
    uint16_t volHandle;
    char vendor[32];
    char product[32];
    char revision[32];
    char vendorSpecific[32];
    uint8_t volType;
    uint8_t incompatibleReason;
    uint8_t attributes;
    uint32_t statusFlags;
};

struct RAIDDISKINFOS {
    uint32_t count;
    RaidDiskInfo stInfos[LSI_MAX_DISKS];
};

struct LsiErrTriple {
    uint64_t corrected;
    uint64_t processed;  // bytes
    uint64_t uncorrected;
};

// One disk, at the index of the controller PHY it is attached to.
struct PhyDiskInfo {
    uint8_t bus;
    uint8_t target;
    uint16_t handle;
    uint8_t ucSlotNum;
    uint8_t temperature;
    uint8_t protocol;     // 0 SAS, 1 SATA, 255 other
    uint8_t pdt;          // peripheral device type
    uint8_t ucIsSSD;
    uint8_t raidMember;
    uint8_t diskMap;
    uint8_t raidState;
    uint8_t offlineReason;
    uint16_t volHandle;
    uint8_t ucPhysDiskNum;
    uint8_t volUnified;
    uint8_t volType;
    uint8_t preScan;      // 0 disabled, 1 enabled, 255 unknown
    uint8_t present;
    uint16_t glist;
    uint16_t unified;     // g_stDiskStatusString flag
    uint32_t capacityMiB;
    uint32_t blockLength;
    uint64_t sasAddress;
    uint64_t powerOnHours;
    LsiErrTriple readErr;
    LsiErrTriple writeErr;
    LsiErrTriple verifyErr;
    char manufacturer[32];
    char model[32];
    char firmware[32];
    char serial[32];
    char diskName[32];
    uint8_t smartAsc;
    uint8_t smartAscq;
    uint8_t smartKey;
};

struct PHYDISKINFOS {
    uint32_t count;  // always 14
    PhyDiskInfo stInfos[LSI_MAX_DISKS];
};

struct LsiStatusString {
    uint32_t flag;
    const char *text;
};

extern const LsiStatusString g_stDiskStatusString[15];
extern const LsiStatusString g_stRaidStatusString[7];

// The text of the first row whose flag equals `value`; "???" when none.
const char *lsi_status_text(const LsiStatusString *table, size_t rows, uint32_t value);
const char *lsi_disk_status_text(uint32_t value);
const char *lsi_raid_status_text(uint32_t value);
const char *get_raid_type(uint8_t type);

int getLogicDiskInfos(MpiController *c, LOGICDISKINFOS *volumes, RAIDDISKINFOS *members);
void UniteLogicDiskStatus(LogicDiskInfo *volume);
int getRaidDiskInfos(MpiController *c, const MpiPage &volumePage0, const LogicDiskInfo &volume,
                     RAIDDISKINFOS *members);
int getPhysicalDiskInfos(MpiController *c, PHYDISKINFOS *out, const RAIDDISKINFOS *members);
int isSsd(MpiController *c, PhyDiskInfo *entry);
int getDiskCapacity(MpiController *c, PhyDiskInfo *entry);
int getDiskIdentity(uint8_t ssd, MpiController *c, PhyDiskInfo *entry);
int getDiskInquiryInfo(MpiController *c, PhyDiskInfo *entry);
void UnitePhyDiskStatus(PhyDiskInfo *entry);
int getPhysicalDiskStatusInfo(MpiController *c, PHYDISKINFOS *table);

// The cache's call counter (tests follow its rhythm).
uint64_t lsi_phy_cache_count();

#endif

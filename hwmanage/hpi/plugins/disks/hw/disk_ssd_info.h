// SATA SSD plugin: identity and SMART data of SATA disks behind the SCSI
// generic interface (ATA PASS-THROUGH(12)), and the block devices that
// belong to a controller, found through sysfs. Lines go to standard output
// with the plugin prefix.
#ifndef QUORBIX_HWMANAGE_HPI_PLUGINS_DISKS_HW_DISK_SSD_INFO_H
#define QUORBIX_HWMANAGE_HPI_PLUGINS_DISKS_HW_DISK_SSD_INFO_H

#include <cstddef>
#include <cstdint>

#include "hwmanage/hpi/plugins/disks/hw/disk_sg_io.h"

inline constexpr int SSD_ERR_PARA = -16001;
inline constexpr int SSD_ERR_NULL = -16005;
inline constexpr int SSD_ERR_NAME = -16033;
inline constexpr int SSD_ERR_SIZE = -16036;
inline constexpr int SSD_ERR_PATH = -16037;
inline constexpr int SSD_ERR_NOT_FOUND = -16038;
inline constexpr int SSD_ERR_LSTAT = -16040;
inline constexpr int SSD_ERR_DIR = -16060;
inline constexpr int SSD_ERR_OPEN = -16061;
inline constexpr int SSD_ERR_IDENTIFY = -16062;
inline constexpr int SSD_ERR_INFO = -1001;
inline constexpr int SSD_ERR_ARG = -1009;

inline constexpr uint32_t DISK_LIST_MAX = 14;
inline constexpr size_t ATA_BLOCK = 512;

// The SMART summary of one SSD (64 bytes).
struct SsdSmartSummary {
    int8_t health;          // 0 pass, 1 failed, -1 unknown
    uint8_t failingAttr;
    uint8_t spareUsed;
    uint8_t wear;
    uint8_t reserved0[4];
    uint64_t vendorValue;
    uint64_t powerOnHours;
    uint8_t temperature;
    uint8_t reserved1[7];
    uint64_t powerCycles;
    uint64_t uncorrectable;
    uint8_t reserved2[16];
};
static_assert(sizeof(SsdSmartSummary) == 64);

struct DiskInfoRecord {
    uint8_t present;
    uint8_t kind;          // 1 hard disk, 2 SSD
    uint16_t index;        // slot number; the SSD plugin's 16-bit index
    uint16_t volumeHandle;
    uint8_t reserved0[2];
    uint32_t capacity;
    uint8_t reserved1[8];
    char vendor[32];
    char model[64];
    char serial[64];
    char devicePath[32];
    char firmware[64];
    char sasAddress[32];
    uint8_t reserved2[68];
    SsdSmartSummary smart;
};
static_assert(sizeof(DiskInfoRecord) == 440);
static_assert(offsetof(DiskInfoRecord, capacity) == 8);
static_assert(offsetof(DiskInfoRecord, vendor) == 20);
static_assert(offsetof(DiskInfoRecord, model) == 52);
static_assert(offsetof(DiskInfoRecord, serial) == 116);
static_assert(offsetof(DiskInfoRecord, devicePath) == 180);
static_assert(offsetof(DiskInfoRecord, firmware) == 212);
static_assert(offsetof(DiskInfoRecord, sasAddress) == 276);
static_assert(offsetof(DiskInfoRecord, smart) == 376);

struct DiskInfoList {
    uint32_t count;
    DiskInfoRecord records[DISK_LIST_MAX];
};

// Process-wide state: transport, SMART readings, unsupported-vendor flags.
extern int g_iSgIoState;
void ssd_info_reset();

inline constexpr int SSD_VENDOR_UNKNOWN = 4;
int disk_get_SSD_enum(const char *model);

int deviceopen(const char *path, const char *type);
int ssd_sg_io_cmnd_io(int fd, scsi_cmnd_io *iop);
int ssd_sisc_cmnd_io(int fd, scsi_cmnd_io *iop);
int sat_command_interface(int fd, int command, int select, uint8_t *data);
int ssd_ataReadHDIdentify(int fd, uint8_t *identify);
int ssd_ataEnableSmart(int fd);
void GetSmartAttribName(char *out, uint8_t id);

int ssd_GetDriveInfo(const uint16_t *identify, DiskInfoRecord *record);
int ssd_GetSmartInfo(int fd, const uint16_t *identify, DiskInfoRecord *record);
int ssd_parse_smart(DiskInfoRecord *record, const uint8_t *slot, uint64_t raw);

int ssd_find_physicalDisk_index(const char *pci, int bus, int target, char *name, size_t size);
int ssd_find_physicalDisk(DiskInfoList *list, const char *pci);
int ssd_get_identity_info(const char *device, DiskInfoRecord *record);
int ssd_get_physicalDisk_info(DiskInfoList *list, const char *pci);
int ssd_get_physicalDisk_map(const char *pci, uint8_t *present, int count, char (*names)[32]);
int ssd_getPhysicalDiskSmartsbydiskname(const char *device, DiskInfoRecord *record);
int ssd_getPhysicalDiskSmarts(DiskInfoList *list, const char *pci);
int get_phyDisk_smart_ssd(const char *pci, int index, SsdSmartSummary *out);
int ssd_selfTest();
int ssd_selfTest_result();

void trim_string(char *out, size_t size, const char *text);
void Conversion_string_format(char *out, size_t size, const uint16_t *words, size_t length);
void trim_sata_hd_identify(uint16_t *identify);
void swap8bytes(uint8_t *bytes);
// The first descriptor of `type` inside the sense bytes received; null when
// none lies wholly inside them.
const uint8_t *disk_sg_scsi_sense_desc_find(const uint8_t *sense, size_t length, uint8_t type);

#endif

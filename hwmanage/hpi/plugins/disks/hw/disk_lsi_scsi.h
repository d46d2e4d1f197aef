// SCSI commands to a disk behind the SAS controller, sent as MPI SCSI IO
// requests (or RAID SCSI IO pass-through for a RAID member) through the MPT
// control device, and the parsers of the log and mode pages they return.
#ifndef QUORBIX_HWMANAGE_HPI_PLUGINS_DISKS_HW_DISK_LSI_SCSI_H
#define QUORBIX_HWMANAGE_HPI_PLUGINS_DISKS_HW_DISK_LSI_SCSI_H

#include <cstddef>
#include <cstdint>

#include "hwmanage/hpi/plugins/disks/hw/disk_lsi_info.h"

inline constexpr int LSI_ERR_UNSUPPORTED = -16001;
inline constexpr int LSI_ERR_NO_LOG_PAGE = -3012;
inline constexpr int LSI_ERR_MODE_PAGE = -3034;

inline constexpr uint32_t LSI_SCSI_REQUEST_AREA = 60;
inline constexpr uint32_t LSI_SCSI_REPLY_SIZE = 68;
inline constexpr uint32_t LSI_SCSI_SENSE_OFFSET = 36;
inline constexpr uint32_t LSI_SCSI_TIMEOUT = 20;

// Where a command goes: bus and target on MPI 1, the handle on MPI 2.
struct LsiDiskAddr {
    uint8_t bus;
    uint8_t target;
    uint16_t handle;
    uint8_t lun;
    bool raidMember;
};

struct PhyDiskInfo;

// Error counter page: parameters 0-6 in their slots, 7 and above in slot 7.
struct LsiErrCounters {
    uint8_t present[8];
    uint64_t counter[8];
};

struct LsiStartStop {
    char manufactureYear[5];
    char manufactureWeek[3];
    char accountingYear[5];
    char accountingWeek[3];
    uint32_t values[4];   // specified cycles, start-stop cycles, specified load-unload, load-unload cycles
    uint8_t lengths[4];   // each value's parameter length
};

struct LsiSelfTestResult {
    uint8_t code;
    uint8_t result;
    uint8_t number;
    uint8_t senseKey;
    uint8_t asc;
    uint8_t ascq;
    uint16_t powerOnHours;
    uint64_t failureLba;
    uint16_t parameterCode;
};

// ---- transport --------------------------------------------------------------------------------------

int doScsiIo(MpiController *controller, const void *request, uint32_t requestLength, void *reply,
             uint32_t replySize, void *dataIn, uint32_t inSize, const void *dataOut, uint32_t outSize,
             uint32_t timeout);

// ---- command builders -------------------------------------------------------------------------------

int doInquiryPage(MpiController *c, const LsiDiskAddr &a, uint8_t *buffer, uint32_t length);
int doInquiryVpdPage(MpiController *c, const LsiDiskAddr &a, uint8_t page, uint8_t *buffer, uint32_t length);
int doReadCapacityPage(MpiController *c, const LsiDiskAddr &a, uint8_t *buffer, uint32_t length);
int doReadCapacity16Page(MpiController *c, const LsiDiskAddr &a, uint8_t *buffer, uint32_t length);
int doLogSensePage(MpiController *c, const LsiDiskAddr &a, uint8_t page, uint8_t subpage, uint8_t *buffer,
                   uint32_t length);
int doReadDefectListPage(MpiController *c, const LsiDiskAddr &a, uint8_t *buffer, uint32_t length);
int doRequestSensePage(MpiController *c, const LsiDiskAddr &a, uint8_t *buffer, uint32_t length);
int doModeSensePage(MpiController *c, const LsiDiskAddr &a, uint8_t page, uint8_t subpage, uint8_t *buffer,
                    uint32_t length);
int doModeSelectPage(MpiController *c, const LsiDiskAddr &a, uint8_t save, const uint8_t *buffer,
                     uint32_t length);
int doStartStopUnitCmd(MpiController *c, const LsiDiskAddr &a, uint8_t start);
int doScsiSelfTest(MpiController *c, const LsiDiskAddr &a, uint8_t code);

// ---- queries on a physical-disk entry -----------------------------------------------------------------

LsiDiskAddr lsi_disk_addr(const PhyDiskInfo &entry);
int checkLogPagesIsSupported(MpiController *c, const PhyDiskInfo *entry, uint8_t page);
int getDiskTemperature(MpiController *c, PhyDiskInfo *entry);
int getDiskLifeSpan_log(MpiController *c, PhyDiskInfo *entry);
int getDiskLifeSpan(MpiController *c, PhyDiskInfo *entry);
int getDiskErrorCounter(MpiController *c, const PhyDiskInfo *entry, uint8_t page, LsiErrCounters *out);
int getDiskGlist(MpiController *c, PhyDiskInfo *entry);
int getDiskSmartStatus(MpiController *c, PhyDiskInfo *entry);
int getDiskPreScanStatus(MpiController *c, PhyDiskInfo *entry);
int setDiskPreScanStatus(MpiController *c, PhyDiskInfo *entry, uint8_t enable);
int getDiskstartstoppage(MpiController *c, const PhyDiskInfo *entry, LsiStartStop *out);

// ---- page parsers ----------------------------------------------------------------------------------------

void parseErrCounterPage(const uint8_t *page, size_t length, LsiErrCounters *out);
void parsePowerUpHoursPage(const uint8_t *page, size_t length, uint64_t *hours);
void parsePowerUpHoursPage_log(const uint8_t *page, size_t length, uint64_t *hours);
void parseInformationalExceptionsPage(const uint8_t *page, size_t length, uint8_t *asc, uint8_t *ascq);
void parseBackGroundControlModePage(const uint8_t *buffer, size_t length, uint8_t *state);
int initBackGroundControlModePage(uint8_t *buffer, size_t length, uint8_t enable, uint8_t *save);
int parsestartstoppage(const uint8_t *page, size_t length, LsiStartStop *out);
int parse_selftestresult(const uint8_t *page, size_t length, uint32_t index, LsiSelfTestResult *out);
int get_selfTest_result(const LsiSelfTestResult *result);
uint32_t disk_xtoi(const char *text);

#endif

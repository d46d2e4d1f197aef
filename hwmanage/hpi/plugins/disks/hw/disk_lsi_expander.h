// The SAS expander between the controller and the disks: one expander PHY's
// error counters through SMP pass-through, and the expander's firmware
// version and check result from the outside tools lsscsi and sg_ses.
#ifndef QUORBIX_HWMANAGE_HPI_PLUGINS_DISKS_HW_DISK_LSI_EXPANDER_H
#define QUORBIX_HWMANAGE_HPI_PLUGINS_DISKS_HW_DISK_LSI_EXPANDER_H

#include <cstddef>
#include <cstdint>

#include "hwmanage/hpi/plugins/disks/hw/disk_lsi_info.h"

inline constexpr int EXP_ERR_NOT_FOUND = -16008;
inline constexpr int EXP_ERR_POPEN = -16009;
inline constexpr int EXP_ERR_COMMAND = -16010;

inline constexpr uint32_t SMP_PASSTHROUGH_TIMEOUT = 10;
inline constexpr uint32_t EXP_PAGE_FIRST = 0xFFFF;
inline constexpr uint32_t EXP_PAGE_PHY_FORM = 0x10000000;
inline constexpr const char *EXP_LSSCSI_COMMAND = "lsscsi | grep Expan";

// SMP REPORT PHY ERROR LOG request and response, big-endian counters.
struct SmpReportPhyErrLogRequest {
    uint8_t frameType;  // 0x40
    uint8_t function;   // 0x11
    uint8_t reserved0[7];
    uint8_t phyIdentifier;  // 9
    uint8_t reserved1[2];
};
static_assert(sizeof(SmpReportPhyErrLogRequest) == 12);
static_assert(offsetof(SmpReportPhyErrLogRequest, phyIdentifier) == 9);

struct SmpReportPhyErrLogResponse {
    uint8_t frameType;
    uint8_t function;
    uint8_t functionResult;  // 2
    uint8_t reserved0[9];
    uint8_t invalidDword[4];      // 12
    uint8_t runningDisparity[4];  // 16
    uint8_t lossDwordSync[4];     // 20
    uint8_t phyResetProblem[4];   // 24
    uint8_t reserved1[4];
};
static_assert(sizeof(SmpReportPhyErrLogResponse) == 32);
static_assert(offsetof(SmpReportPhyErrLogResponse, functionResult) == 2);
static_assert(offsetof(SmpReportPhyErrLogResponse, invalidDword) == 12);
static_assert(offsetof(SmpReportPhyErrLogResponse, phyResetProblem) == 24);

inline constexpr uint8_t SMP_FRAME_REQUEST = 0x40;
inline constexpr uint8_t SMP_REPORT_PHY_ERROR_LOG = 0x11;

int doSmpPassthrough(MpiController *controller, uint8_t port, uint64_t sasAddress, const void *request,
                     uint32_t requestLength, void *response, uint32_t responseLength, uint32_t *lengthOut);
int getIocExpPhyErrs(MpiController *controller, uint32_t phy, MpiPhyErr *out);

int disk_get_command_result(const char *command, char *buffer, size_t size);
int getExpanderBdf(uint32_t *host, uint32_t *target);
int isExistExpander();
int get_expander_fwVersion(uint8_t *version, size_t size);
int get_expander_fw_check_result(uint32_t *result);

#endif

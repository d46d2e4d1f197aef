// SCSI generic driver interface: the SG_IO request with its header record,
// and the older send-command request on block and generic nodes.
#ifndef QUORBIX_BASES_DRV_SG_DRV_H
#define QUORBIX_BASES_DRV_SG_DRV_H

#include <cstddef>
#include <cstdint>

inline constexpr unsigned long SG_IO_REQUEST = 0x2285;
inline constexpr unsigned long SCSI_IOCTL_SEND_COMMAND_REQUEST = 1;

inline constexpr int32_t SG_INTERFACE_ID = 'S';
inline constexpr int32_t SG_DXFER_NONE = -1;
inline constexpr int32_t SG_DXFER_TO_DEV = -2;
inline constexpr int32_t SG_DXFER_FROM_DEV = -3;

// Host and driver status values the driver reports in the header.
inline constexpr uint16_t SG_HOST_OK = 0;
inline constexpr uint16_t SG_DRIVER_TIMEOUT = 6;
inline constexpr uint16_t SG_DRIVER_SENSE = 8;
inline constexpr uint16_t SG_DRIVER_MASK = 0x0F;

inline constexpr uint8_t SCSI_STATUS_GOOD = 0;
inline constexpr uint8_t SCSI_STATUS_CHECK_CONDITION = 2;

// The SG_IO header (88 bytes on a 64-bit process).
struct SgIoHdr {
    int32_t interfaceId;
    int32_t dxferDirection;
    uint8_t cmdLen;
    uint8_t mxSbLen;
    uint16_t iovecCount;
    uint32_t dxferLen;
    uint64_t dxferp;  // caller's data buffer
    uint64_t cmdp;    // caller's CDB
    uint64_t sbp;     // caller's sense buffer
    uint32_t timeout; // milliseconds
    uint32_t flags;
    int32_t packId;
    uint32_t pad0;
    uint64_t usrPtr;
    uint8_t status;
    uint8_t maskedStatus;
    uint8_t msgStatus;
    uint8_t sbLenWr;
    uint16_t hostStatus;
    uint16_t driverStatus;
    int32_t resid;
    uint32_t duration;
    uint32_t info;
    uint32_t pad1;
};
static_assert(sizeof(SgIoHdr) == 88);
static_assert(offsetof(SgIoHdr, cmdLen) == 8);
static_assert(offsetof(SgIoHdr, mxSbLen) == 9);
static_assert(offsetof(SgIoHdr, dxferLen) == 12);
static_assert(offsetof(SgIoHdr, dxferp) == 16);
static_assert(offsetof(SgIoHdr, cmdp) == 24);
static_assert(offsetof(SgIoHdr, sbp) == 32);
static_assert(offsetof(SgIoHdr, timeout) == 40);
static_assert(offsetof(SgIoHdr, usrPtr) == 56);
static_assert(offsetof(SgIoHdr, status) == 64);
static_assert(offsetof(SgIoHdr, sbLenWr) == 67);
static_assert(offsetof(SgIoHdr, hostStatus) == 68);
static_assert(offsetof(SgIoHdr, driverStatus) == 70);
static_assert(offsetof(SgIoHdr, resid) == 72);
static_assert(offsetof(SgIoHdr, duration) == 76);
static_assert(offsetof(SgIoHdr, info) == 80);

// SCSI_IOCTL_SEND_COMMAND buffer: input length, output length, then the CDB
// followed by the data out; on return the data in (or the sense bytes for
// a check condition) from the same offset 8.
inline constexpr size_t SISC_HEAD = 8;
inline constexpr size_t SISC_MAX_DATA = 1024;
inline constexpr size_t SISC_MAX_CDB = 16;
inline constexpr size_t SISC_SENSE = 16;
struct SiscHead {
    uint32_t inLength;
    uint32_t outLength;
};
static_assert(sizeof(SiscHead) == SISC_HEAD);

// Result of a send-command request: driver byte in bits 24-27, status in 1-7.
inline constexpr uint32_t SISC_DRIVER_SHIFT = 24;

#endif

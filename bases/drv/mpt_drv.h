// The MPT control device "/dev/mpt2ctl": request numbers, the driver's
// records, and the MPI message frames this tool sends through it.
//
// Shared by the SAS controller plugin (which sends them) and the simulated
// controller (which answers them). All fields little-endian. Fields the
// plugin never names are placed here once and used by both sides.
#ifndef QUORBIX_BASES_DRV_MPT_DRV_H
#define QUORBIX_BASES_DRV_MPT_DRV_H

#include <cstddef>
#include <cstdint>

inline constexpr const char *MPT_CTL_NODE = "/dev/mpt2ctl";

// ---- request numbers ------------------------------------------------------------------

inline constexpr unsigned long MPT_IOC_EVENT_QUERY = 0xC0204C15UL;  // presence probe
inline constexpr unsigned long MPT_IOC_IOCINFO = 0xC05C4C11UL;
inline constexpr unsigned long MPT_IOC_COMMAND = 0xC0484C14UL;      // MPI 2 controllers
inline constexpr unsigned long MPT_IOC_COMMAND_MPI1 = 0xC0486D14UL; // MPI 1 controllers
inline constexpr unsigned long MPT_IOC_BTDH_MAPPING = 0xC0184C1FUL;

// The size field (bits 16-29) of a request number.
constexpr size_t mpt_ioc_size(unsigned long request) { return (request >> 16) & 0x3FFF; }

inline constexpr uint32_t MPT_MAX_IOC = 64;

// ---- driver records --------------------------------------------------------------------

struct MptIocHeader {
    uint32_t iocNumber;
    uint32_t portNumber;
    uint32_t maxDataSize;
};
static_assert(sizeof(MptIocHeader) == 12);

struct MptEventQuery {
    MptIocHeader hdr;
    uint32_t eventEntries;
    uint32_t reserved;
    uint32_t eventTypes[3];
};
static_assert(sizeof(MptEventQuery) == 32 && sizeof(MptEventQuery) == mpt_ioc_size(MPT_IOC_EVENT_QUERY));

struct MptIocInfo {
    MptIocHeader hdr;
    uint32_t adapterType;       // 12
    uint32_t port;              // 16
    uint32_t pciId;             // 20
    uint32_t hwRev;             // 24
    uint32_t subsystemDevice;   // 28
    uint32_t subsystemVendor;   // 32
    uint32_t reserved1;         // 36
    uint32_t firmwareVersion;   // 40
    uint32_t biosVersion;       // 44
    char driverVersion[32];     // 48
    uint8_t reserved2;          // 80
    uint8_t scsiId;             // 81
    uint16_t reserved3;         // 82
    uint32_t pciLocation;       // 84: device bits 0-4, function 5-7, bus 8-31
    uint32_t pciSegment;        // 88
};
static_assert(sizeof(MptIocInfo) == 92 && sizeof(MptIocInfo) == mpt_ioc_size(MPT_IOC_IOCINFO));
static_assert(offsetof(MptIocInfo, firmwareVersion) == 40 && offsetof(MptIocInfo, biosVersion) == 44);
static_assert(offsetof(MptIocInfo, driverVersion) == 48 && offsetof(MptIocInfo, scsiId) == 81);
static_assert(offsetof(MptIocInfo, pciLocation) == 84 && offsetof(MptIocInfo, pciSegment) == 88);

// The command record: a 72-byte head whose last word is the first word of
// the MPI request frame; the frame goes on past the head.
struct MptCommand {
    MptIocHeader hdr;
    uint32_t timeout;        // 12, seconds
    uint64_t replyBuf;       // 16
    uint64_t dataInBuf;      // 24
    uint64_t dataOutBuf;     // 32
    uint64_t senseBuf;       // 40
    uint32_t maxReplyBytes;  // 48
    uint32_t dataInSize;     // 52
    uint32_t dataOutSize;    // 56
    uint32_t maxSenseBytes;  // 60
    uint32_t dataSgeOffset;  // 64, request length / 4
    uint32_t frame[1];       // 68
};
static_assert(sizeof(MptCommand) == 72 && sizeof(MptCommand) == mpt_ioc_size(MPT_IOC_COMMAND));
static_assert(mpt_ioc_size(MPT_IOC_COMMAND_MPI1) == 72);
static_assert(offsetof(MptCommand, timeout) == 12 && offsetof(MptCommand, replyBuf) == 16);
static_assert(offsetof(MptCommand, dataInBuf) == 24 && offsetof(MptCommand, dataOutBuf) == 32);
static_assert(offsetof(MptCommand, senseBuf) == 40 && offsetof(MptCommand, maxReplyBytes) == 48);
static_assert(offsetof(MptCommand, dataInSize) == 52 && offsetof(MptCommand, dataOutSize) == 56);
static_assert(offsetof(MptCommand, maxSenseBytes) == 60 && offsetof(MptCommand, dataSgeOffset) == 64);
static_assert(offsetof(MptCommand, frame) == 68);
inline constexpr size_t MPT_COMMAND_FRAME_OFFSET = 68;
inline constexpr size_t MPT_MAX_FRAME = 128;  // longest request frame the driver takes

struct MptBtdhMapping {
    MptIocHeader hdr;
    uint32_t id;         // 12, target
    uint32_t bus;        // 16
    uint16_t handle;     // 20
    uint16_t reserved;   // 22
};
static_assert(sizeof(MptBtdhMapping) == 24 && sizeof(MptBtdhMapping) == mpt_ioc_size(MPT_IOC_BTDH_MAPPING));
static_assert(offsetof(MptBtdhMapping, id) == 12 && offsetof(MptBtdhMapping, bus) == 16);
static_assert(offsetof(MptBtdhMapping, handle) == 20);

// ---- MPI functions, statuses, pages ------------------------------------------------------

inline constexpr uint8_t MPI_FUNCTION_SCSI_IO = 0x00;
inline constexpr uint8_t MPI_FUNCTION_IOC_FACTS = 0x03;
inline constexpr uint8_t MPI_FUNCTION_CONFIG = 0x04;
inline constexpr uint8_t MPI_FUNCTION_PORT_FACTS = 0x05;
inline constexpr uint8_t MPI_FUNCTION_FW_UPLOAD = 0x12;
inline constexpr uint8_t MPI_FUNCTION_RAID_ACTION = 0x15;
inline constexpr uint8_t MPI_FUNCTION_RAID_SCSI_IO_PASSTHROUGH = 0x16;
inline constexpr uint8_t MPI_FUNCTION_SMP_PASSTHROUGH = 0x1A;
inline constexpr uint8_t MPI_FUNCTION_SCSI_1F = 0x1F;  // carries sense like SCSI IO

inline constexpr uint16_t MPI_IOCSTATUS_BUSY = 0x0002;
inline constexpr uint16_t MPI_IOCSTATUS_INVALID_FIELD = 0x0007;
inline constexpr uint16_t MPI_IOCSTATUS_CONFIG_INVALID_PAGE = 0x0022;
inline constexpr uint16_t MPI_IOCSTATUS_SCSI_DEVICE_NOT_THERE = 0x0043;
inline constexpr uint16_t MPI_IOCSTATUS_MASK = 0x7FFF;
inline constexpr uint16_t MPI_IOCSTATUS_LOG_INFO_AVAILABLE = 0x8000;

inline constexpr uint8_t MPI_CONFIG_ACTION_HEADER = 0;
inline constexpr uint8_t MPI_CONFIG_ACTION_READ_CURRENT = 1;
inline constexpr uint8_t MPI_CONFIG_ACTION_WRITE_CURRENT = 2;

inline constexpr uint8_t MPI_PAGETYPE_IO_UNIT = 0x00;
inline constexpr uint8_t MPI_PAGETYPE_IOC = 0x01;
inline constexpr uint8_t MPI_PAGETYPE_RAID_VOLUME = 0x08;
inline constexpr uint8_t MPI_PAGETYPE_MANUFACTURING = 0x09;
inline constexpr uint8_t MPI_PAGETYPE_RAID_PHYSDISK = 0x0A;
inline constexpr uint8_t MPI_PAGETYPE_EXTENDED = 0x0F;
inline constexpr uint8_t MPI_PAGETYPE_MASK = 0x0F;
inline constexpr uint8_t MPI_PAGEATTR_CHANGEABLE = 0x10;
inline constexpr uint8_t MPI_PAGEATTR_PERSISTENT = 0x20;
inline constexpr uint8_t MPI_EXTPAGE_SAS_IO_UNIT = 0x10;
inline constexpr uint8_t MPI_EXTPAGE_SAS_EXPANDER = 0x11;
inline constexpr uint8_t MPI_EXTPAGE_SAS_DEVICE = 0x12;
inline constexpr uint8_t MPI_EXTPAGE_SAS_PHY = 0x13;

inline constexpr uint32_t MPI_PAGEADDR_FORM_SHIFT = 28;   // 0: get next handle, 1: by handle
inline constexpr uint32_t MPI_PAGEADDR_HANDLE_FORM = 0x10000000;

// ---- message heads -------------------------------------------------------------------------

// The first 12 bytes every request shares (the function in byte 3).
struct MpiRequestHead {
    uint8_t byte0;
    uint8_t byte1;
    uint8_t chainOffset;
    uint8_t function;
    uint8_t bytes4[3];
    uint8_t msgFlags;
    uint32_t msgContext;
};
static_assert(sizeof(MpiRequestHead) == 12 && offsetof(MpiRequestHead, function) == 3);

// The first 20 bytes every reply shares.
struct MpiReplyHead {
    uint8_t byte0;
    uint8_t byte1;
    uint8_t msgLength;
    uint8_t function;
    uint8_t bytes4[3];
    uint8_t msgFlags;
    uint32_t msgContext;
    uint16_t reserved;
    uint16_t iocStatus;   // 14
    uint32_t iocLogInfo;  // 16
};
static_assert(sizeof(MpiReplyHead) == 20);
static_assert(offsetof(MpiReplyHead, iocStatus) == 14 && offsetof(MpiReplyHead, iocLogInfo) == 16);

// ---- IOC FACTS and PORT FACTS (one reply layout for both generations) -------------------------

inline constexpr size_t MPI_FACTS_REQUEST_SIZE = 12;

struct MpiIocFactsReply {
    uint16_t msgVersion;      // 0
    uint8_t msgLength;
    uint8_t function;
    uint16_t headerVersion;
    uint8_t iocNumber;
    uint8_t msgFlags;
    uint32_t msgContext;
    uint16_t iocExceptions;
    uint16_t iocStatus;       // 14
    uint32_t iocLogInfo;      // 16
    uint8_t maxChainDepth;
    uint8_t whoInit;          // 21
    uint8_t numberOfPorts;
    uint8_t reserved1;
    uint16_t requestCredit;
    uint16_t productId;       // 26
    uint32_t iocCapabilities; // 28
    uint32_t fwVersion;       // 32
    uint8_t reserved2[28];
};
static_assert(sizeof(MpiIocFactsReply) == 64);
static_assert(offsetof(MpiIocFactsReply, whoInit) == 21 && offsetof(MpiIocFactsReply, productId) == 26);
static_assert(offsetof(MpiIocFactsReply, iocCapabilities) == 28);

struct MpiPortFactsReply {
    MpiReplyHead head;
    uint8_t reserved1;
    uint8_t portType;  // 21
    uint16_t reserved2;
    uint16_t maxPostedCmdBuffers;
    uint16_t reserved3;
};
static_assert(sizeof(MpiPortFactsReply) == 28 && offsetof(MpiPortFactsReply, portType) == 21);

// ---- CONFIG --------------------------------------------------------------------------------------

struct MpiConfigPageHeader {
    uint8_t pageVersion;
    uint8_t pageLength;   // dwords (standard pages)
    uint8_t pageNumber;
    uint8_t pageType;     // attribute bits 4-7, type bits 0-3
};
static_assert(sizeof(MpiConfigPageHeader) == 4);

struct MpiConfigRequest {
    uint8_t action;          // 0
    uint8_t sglFlags;
    uint8_t chainOffset;
    uint8_t function;        // 3
    uint16_t extPageLength;  // 4, dwords
    uint8_t extPageType;     // 6
    uint8_t msgFlags;
    uint32_t msgContext;     // 8
    uint8_t reserved[8];
    MpiConfigPageHeader header;  // 20: version, length, number 22, type 23
    uint32_t pageAddress;        // 24
};
static_assert(sizeof(MpiConfigRequest) == 28);
static_assert(offsetof(MpiConfigRequest, extPageLength) == 4 && offsetof(MpiConfigRequest, extPageType) == 6);
static_assert(offsetof(MpiConfigRequest, header) == 20 && offsetof(MpiConfigRequest, pageAddress) == 24);

struct MpiConfigReply {
    uint8_t action;
    uint8_t sglFlags;
    uint8_t msgLength;
    uint8_t function;
    uint16_t extPageLength;  // 4
    uint8_t extPageType;     // 6
    uint8_t msgFlags;
    uint32_t msgContext;
    uint16_t reserved;
    uint16_t iocStatus;      // 14
    uint32_t iocLogInfo;     // 16
    MpiConfigPageHeader header;  // 20
};
static_assert(sizeof(MpiConfigReply) == 24);
static_assert(offsetof(MpiConfigReply, iocStatus) == 14 && offsetof(MpiConfigReply, header) == 20);

// ---- SCSI IO -----------------------------------------------------------------------------------------

struct MpiScsiIoRequest1 {
    uint8_t targetId;      // 0 (MPI 2 callers: device handle in bytes 0-1)
    uint8_t bus;           // 1
    uint8_t chainOffset;
    uint8_t function;      // 3
    uint8_t cdbLength;     // 4
    uint8_t senseBufferLength;
    uint8_t reserved;
    uint8_t msgFlags;
    uint32_t msgContext;   // 8
    uint8_t lun[8];        // 12
    uint32_t control;      // 20
    uint8_t cdb[16];       // 24
    uint32_t dataLength;   // 40
    uint32_t senseBufferAddress;  // 44
};
static_assert(sizeof(MpiScsiIoRequest1) == 48);
static_assert(offsetof(MpiScsiIoRequest1, lun) == 12 && offsetof(MpiScsiIoRequest1, control) == 20);
static_assert(offsetof(MpiScsiIoRequest1, cdb) == 24 && offsetof(MpiScsiIoRequest1, dataLength) == 40);

struct MpiScsiIoRequest2 {
    uint16_t devHandle;    // 0
    uint8_t chainOffset;
    uint8_t function;      // 3
    uint8_t reserved1[16];
    uint8_t sglOffset0;    // 20, words
    uint8_t sglOffsets[3];
    uint32_t skipCount;
    uint32_t dataLength;   // 28
    uint32_t bidirectionalDataLength;
    uint16_t ioFlags;      // 36
    uint16_t eedpFlags;
    uint8_t reserved2[12];
    uint8_t lun[8];        // 52
    uint32_t control;      // 60
    uint8_t cdb[32];       // 64
};
static_assert(sizeof(MpiScsiIoRequest2) == 96);
static_assert(offsetof(MpiScsiIoRequest2, sglOffset0) == 20 && offsetof(MpiScsiIoRequest2, dataLength) == 28);
static_assert(offsetof(MpiScsiIoRequest2, ioFlags) == 36 && offsetof(MpiScsiIoRequest2, lun) == 52);
static_assert(offsetof(MpiScsiIoRequest2, control) == 60 && offsetof(MpiScsiIoRequest2, cdb) == 64);

// SCSI IO reply; MPI 1 replies end at 36 (sense follows there in the
// plugin's reply buffer), MPI 2 replies at 48.
struct MpiScsiIoReply {
    MpiReplyHead head;       // SCSI status in byte 12, SCSI state in 13
    uint32_t transferCount;  // 20
    uint32_t senseCount;     // 24
    uint32_t responseInfo;   // 28
    uint32_t taskTag;        // 32
    uint32_t bidirectionalTransferCount;  // 36 (MPI 2)
    uint8_t reserved[8];
};
static_assert(sizeof(MpiScsiIoReply) == 48 && offsetof(MpiScsiIoReply, transferCount) == 20);
inline constexpr size_t MPI1_SCSI_REPLY_SIZE = 36;
inline constexpr size_t MPI2_SCSI_REPLY_SIZE = 48;
inline constexpr size_t MPI_SCSI_STATUS_OFFSET = 12;

// ---- RAID ACTION -------------------------------------------------------------------------------------

inline constexpr uint8_t MPI_RAID_ACTION_INDICATOR_STRUCT = 0x01;
inline constexpr uint8_t MPI_RAID_ACTION_PHYSDISK_OFFLINE = 0x0A;
inline constexpr uint8_t MPI_RAID_ACTION_PHYSDISK_ONLINE = 0x0B;

struct MpiRaidActionRequest {
    uint8_t action;        // 0
    uint8_t reserved1;
    uint8_t chainOffset;
    uint8_t function;      // 3
    uint16_t volDevHandle; // 4
    uint8_t physDiskNum;   // 6
    uint8_t msgFlags;
    uint32_t msgContext;
    uint32_t reserved2;
    uint32_t actionDataWord;  // 16
    uint8_t actionDataSge[12];
};
static_assert(sizeof(MpiRaidActionRequest) == 32);
static_assert(offsetof(MpiRaidActionRequest, volDevHandle) == 4 && offsetof(MpiRaidActionRequest, physDiskNum) == 6);

struct MpiRaidActionReply {
    MpiReplyHead head;
    uint8_t actionData[20];  // 20: indicator: total blocks u64 at 20, remaining at 28
};
static_assert(sizeof(MpiRaidActionReply) == 40 && offsetof(MpiRaidActionReply, actionData) == 20);

// ---- FW UPLOAD -------------------------------------------------------------------------------------------

inline constexpr uint32_t MPI_FW_UPLOAD_CHUNK = 16384;

struct MpiTransactionContext {
    uint8_t reserved1;
    uint8_t contextSize;
    uint8_t detailsLength;  // 12
    uint8_t flags;          // 0
    uint32_t reserved2;
    uint32_t imageOffset;
    uint32_t imageSize;
};
static_assert(sizeof(MpiTransactionContext) == 16);

struct MpiFwUploadRequest2 {
    uint8_t imageType;
    uint8_t reserved1;
    uint8_t chainOffset;
    uint8_t function;
    uint8_t reserved2[16];
    MpiTransactionContext tc;  // 20
};
static_assert(sizeof(MpiFwUploadRequest2) == 36 && offsetof(MpiFwUploadRequest2, tc) == 20);

struct MpiFwUploadRequest1 {
    uint8_t imageType;
    uint8_t reserved1;
    uint8_t chainOffset;
    uint8_t function;
    uint8_t reserved2[8];
    MpiTransactionContext tc;  // 12
};
static_assert(sizeof(MpiFwUploadRequest1) == 28 && offsetof(MpiFwUploadRequest1, tc) == 12);

struct MpiFwUploadReply {
    MpiReplyHead head;
    uint32_t actualImageSize;  // 20
};
static_assert(sizeof(MpiFwUploadReply) == 24 && offsetof(MpiFwUploadReply, actualImageSize) == 20);

// ---- SMP pass-through ---------------------------------------------------------------------------------------

struct MpiSmpPassthroughRequest {
    uint8_t passthroughFlags;
    uint8_t physicalPort;      // 1
    uint8_t chainOffset;
    uint8_t function;          // 3
    uint16_t requestDataLength;  // 4
    uint8_t sglFlags;
    uint8_t msgFlags;
    uint32_t msgContext;
    uint32_t reserved1;
    uint64_t sasAddress;       // 16
    uint8_t reserved2[8];
};
static_assert(sizeof(MpiSmpPassthroughRequest) == 32);
static_assert(offsetof(MpiSmpPassthroughRequest, requestDataLength) == 4);
static_assert(offsetof(MpiSmpPassthroughRequest, sasAddress) == 16);

struct MpiSmpPassthroughReply {
    uint8_t passthroughFlags;
    uint8_t physicalPort;
    uint8_t msgLength;
    uint8_t function;
    uint16_t responseDataLength;  // 4
    uint8_t sglFlags;
    uint8_t msgFlags;
    uint32_t msgContext;
    uint16_t reserved1;
    uint16_t iocStatus;   // 14
    uint32_t iocLogInfo;  // 16
    uint32_t reserved2;
    uint8_t sasStatus;    // 24
    uint8_t reserved3[3];
};
static_assert(sizeof(MpiSmpPassthroughReply) == 28 && offsetof(MpiSmpPassthroughReply, iocStatus) == 14);

#endif

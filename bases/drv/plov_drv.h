// The packet FPGAs' driver interface (request family 0xEF): device nodes,
// request numbers and request records, as the board libraries send them and
// the simulated driver answers them. Little-endian; offsets in bytes.
#ifndef QUORBIX_BASES_DRV_PLOV_DRV_H
#define QUORBIX_BASES_DRV_PLOV_DRV_H

#include <cstddef>
#include <cstdint>

#include "bases/drv/indir_req.h"

// ---- device nodes ------------------------------------------------------------------

inline constexpr const char *PLOV_TRANS_NODE = "/dev/trans_pci";  // FPGA 0
inline constexpr const char *PLOV_SBUF_NODE = "/dev/sbuf_pci";    // FPGA 1 (DORN only)

// ---- request numbers: type 0xEF, read-write, size field 4 ---------------------------

constexpr unsigned long PlovIoctl(unsigned nr) { return 0xC004EF00UL + nr; }

inline constexpr unsigned long PLOV_IOC_WRITE_DIR_REG = PlovIoctl(0x00);
inline constexpr unsigned long PLOV_IOC_READ_DIR_REG = PlovIoctl(0x01);
inline constexpr unsigned long PLOV_IOC_WRITE_INDIR_REG = PlovIoctl(0x02);
inline constexpr unsigned long PLOV_IOC_READ_INDIR_REG = PlovIoctl(0x03);
inline constexpr unsigned long PLOV_IOC_SET_SHMEM = PlovIoctl(0x04);
inline constexpr unsigned long PLOV_IOC_GET_SHMEM = PlovIoctl(0x05);
inline constexpr unsigned long PLOV_IOC_SET_MEM_DEP = PlovIoctl(0x06);
inline constexpr unsigned long PLOV_IOC_GET_MEM_DEP = PlovIoctl(0x07);
inline constexpr unsigned long PLOV_IOC_USR_START = PlovIoctl(0x08);
inline constexpr unsigned long PLOV_IOC_GET_QUEUE_ADDR = PlovIoctl(0x09);
inline constexpr unsigned long PLOV_IOC_MEM_OP = PlovIoctl(0x0A);
inline constexpr unsigned long PLOV_IOC_GET_SWBUF_BASE = PlovIoctl(0x0B);
inline constexpr unsigned long PLOV_IOC_GET_DRV_VER = PlovIoctl(0x0C);
inline constexpr unsigned long PLOV_IOC_SET_CPU_USG = PlovIoctl(0x0D);
inline constexpr unsigned long PLOV_IOC_GET_SFP_AREA = PlovIoctl(0x0E);
inline constexpr unsigned long PLOV_IOC_SET_LOAD_AT_REBOOT = PlovIoctl(0x0F);
inline constexpr unsigned long PLOV_IOC_GET_LOAD_AT_REBOOT = PlovIoctl(0x10);
inline constexpr unsigned long PLOV_IOC_GET_MEM_DESC = PlovIoctl(0x11);
inline constexpr unsigned long PLOV_IOC_GET_PORT_LINK = PlovIoctl(0x12);
inline constexpr unsigned long PLOV_IOC_GET_SFP_HS_STATE = PlovIoctl(0x13);
inline constexpr unsigned long PLOV_IOC_GET_CPU_USG = PlovIoctl(0x14);
inline constexpr unsigned long PLOV_IOC_SET_SFP_REG = PlovIoctl(0x15);
inline constexpr unsigned long PLOV_IOC_SET_QUEUE_SWITCH = PlovIoctl(0x16);
inline constexpr unsigned long PLOV_IOC_GET_QUEUE_SWITCH = PlovIoctl(0x17);
inline constexpr unsigned long PLOV_IOC_GET_SFP_REG = PlovIoctl(0x18);
inline constexpr unsigned long PLOV_IOC_SET_HRTIMER_AFFINITY = PlovIoctl(0x19);
inline constexpr unsigned long PLOV_IOC_GET_IIC_STATUS = PlovIoctl(0x1A);
inline constexpr unsigned long PLOV_IOC_GET_DRV_INFO = PlovIoctl(0x1B);
inline constexpr unsigned long PLOV_IOC_GET_REGS = PlovIoctl(0x1C);
inline constexpr unsigned long PLOV_IOC_GET_HRTIMER_AFFINITY = PlovIoctl(0x1D);
inline constexpr unsigned long PLOV_IOC_CLEAR_INDIR_REG = PlovIoctl(0x1E);
inline constexpr unsigned long PLOV_IOC_GET_PORT_STATIC_MAC = PlovIoctl(0x21);
// KESP-only members of the family.
inline constexpr unsigned long PLOV_IOC_SET_HRTIMER = PlovIoctl(0x22);
inline constexpr unsigned long PLOV_IOC_GET_HRTIMER = PlovIoctl(0x23);
inline constexpr unsigned long PLOV_IOC_RM_PCI_PORT_EP = 0xC008EF1FUL;
inline constexpr unsigned long PLOV_IOC_ADD_PCI_PORT_EP = 0xC008EF20UL;

// ---- request records (little-endian) -------------------------------------------------

// Direct register: address, and the value written or read.
struct DirRegReq {
    uint64_t addr;
    uint64_t data;
};
static_assert(sizeof(DirRegReq) == 16);
static_assert(offsetof(DirRegReq, addr) == 0 && offsetof(DirRegReq, data) == 8);

// SFP module memory: port, first byte, byte count, device address
// (0xA0, 0xA2 pages; 0xAC copper PHY), buffer.
struct SfpRegReq {
    uint8_t port;
    uint8_t offset;
    uint16_t length;
    uint32_t dev;
    uint8_t *buf;
};
static_assert(sizeof(SfpRegReq) == 16);
static_assert(offsetof(SfpRegReq, port) == 0 && offsetof(SfpRegReq, offset) == 1);
static_assert(offsetof(SfpRegReq, length) == 2 && offsetof(SfpRegReq, dev) == 4);
static_assert(offsetof(SfpRegReq, buf) == 8);

// FPGA memory access: op 1 write, 0 read.
struct MemOpReq {
    uint64_t addr;
    uint64_t data;
    uint8_t op;
    uint8_t reserved[7];
};
static_assert(sizeof(MemOpReq) == 24);
static_assert(offsetof(MemOpReq, addr) == 0 && offsetof(MemOpReq, data) == 8 && offsetof(MemOpReq, op) == 16);

// Load logic at reboot: the FPGA concerned, then the flag (set) or the
// address of the caller's u64 result (get).
struct LoadAtRebootReq {
    uint64_t fpga;
    uint64_t value;
};
static_assert(sizeof(LoadAtRebootReq) == 16);
static_assert(offsetof(LoadAtRebootReq, fpga) == 0 && offsetof(LoadAtRebootReq, value) == 8);

// Queue switch: queue type, switch value (set: new, get: returned), queue id.
struct QueueSwitchReq {
    uint16_t queueType;
    uint16_t value;
    uint32_t zero;
    uint16_t queueId;
    uint8_t zero2[6];
};
static_assert(sizeof(QueueSwitchReq) == 16);
static_assert(offsetof(QueueSwitchReq, queueType) == 0 && offsetof(QueueSwitchReq, value) == 2);
static_assert(offsetof(QueueSwitchReq, zero) == 4 && offsetof(QueueSwitchReq, queueId) == 8);

// Queue addresses: the queue (QueueId layout), then the 56-byte block.
struct QueueAddrRec {
    uint32_t QueueType;
    uint32_t QueueId;
    uint64_t BaseAddrVir;
    uint64_t BaseAddrPhy;
    uint64_t BDdepth;
    uint64_t WprtPhy;
    uint64_t WprtVir;
    uint64_t RptrPhy;
    uint64_t RptrVir;
};
static_assert(sizeof(QueueAddrRec) == 64);
static_assert(offsetof(QueueAddrRec, BaseAddrVir) == 8 && offsetof(QueueAddrRec, BaseAddrPhy) == 16);
static_assert(offsetof(QueueAddrRec, BDdepth) == 24 && offsetof(QueueAddrRec, WprtPhy) == 32);
static_assert(offsetof(QueueAddrRec, WprtVir) == 40 && offsetof(QueueAddrRec, RptrPhy) == 48);
static_assert(offsetof(QueueAddrRec, RptrVir) == 56);

// One memory zone of the driver; 16 are returned by request 0x11.
inline constexpr uint32_t MEM_ZONE_HW_BUF = 0;
inline constexpr uint32_t MEM_ZONE_SW_BUF = 1;
inline constexpr uint32_t MEM_ZONE_ADDRM = 2;
inline constexpr size_t MEM_DESC_COUNT = 16;
struct MemDesc {
    uint64_t PhyAddr;
    uint64_t VirAddr;
    uint64_t Size;
    uint64_t Cpu;
    uint32_t Reserved;
    uint32_t ZoneKind;
};
static_assert(sizeof(MemDesc) == 40);
static_assert(offsetof(MemDesc, PhyAddr) == 0 && offsetof(MemDesc, VirAddr) == 8);
static_assert(offsetof(MemDesc, Size) == 16 && offsetof(MemDesc, Cpu) == 24);
static_assert(offsetof(MemDesc, Reserved) == 32 && offsetof(MemDesc, ZoneKind) == 36);

// Driver information.
struct DrvInfo {
    uint8_t drv_data[48];
    uint32_t reg_len;          // length of the register space
    uint32_t hrtimer_normal;
    uint32_t hrtimer_half_1ms;
    uint32_t hrtimer_1_2ms;
    uint32_t hrtimer_2_4ms;
    uint32_t hrtimer_4_8ms;
    uint32_t hrtimer_8ms;
    uint32_t reserved1;
    uint32_t hd_irq;
    int32_t ctrller_state;
    uint8_t reserved2;
    uint8_t cpu_num;
    uint8_t cpu0_x4_present;
    uint8_t cpu0_x8_present;
    uint8_t cpu1_x8_present;
    uint8_t reserved3[3];
};
static_assert(sizeof(DrvInfo) == 96);
static_assert(offsetof(DrvInfo, reg_len) == 48 && offsetof(DrvInfo, hrtimer_normal) == 52);
static_assert(offsetof(DrvInfo, hrtimer_half_1ms) == 56 && offsetof(DrvInfo, hrtimer_1_2ms) == 60);
static_assert(offsetof(DrvInfo, hrtimer_2_4ms) == 64 && offsetof(DrvInfo, hrtimer_4_8ms) == 68);
static_assert(offsetof(DrvInfo, hrtimer_8ms) == 72 && offsetof(DrvInfo, hd_irq) == 80);
static_assert(offsetof(DrvInfo, ctrller_state) == 84 && offsetof(DrvInfo, cpu_num) == 89);
static_assert(offsetof(DrvInfo, cpu0_x4_present) == 90 && offsetof(DrvInfo, cpu0_x8_present) == 91);
static_assert(offsetof(DrvInfo, cpu1_x8_present) == 92);

// Register-space copy: length (from DrvInfo) and the buffer that receives it.
struct RegSpaceReq {
    uint32_t length;
    uint32_t reserved;
    uint8_t *buf;
};
static_assert(sizeof(RegSpaceReq) == 16);
static_assert(offsetof(RegSpaceReq, length) == 0 && offsetof(RegSpaceReq, buf) == 8);

// A port's static MAC: port in byte 0, the MAC returned in bytes 6 to 11.
struct PortStaticMacReq {
    uint8_t port;
    uint8_t reserved[5];
    uint8_t mac[6];
    uint8_t reserved2[2];
};
static_assert(sizeof(PortStaticMacReq) == 14);
static_assert(offsetof(PortStaticMacReq, mac) == 6);

// Driver version text (request 0x0C).
inline constexpr size_t PLOV_DRV_VER_LEN = 40;

// Memory configuration, the driver's memory-depth record.
struct MemCfg {
    uint64_t PkgLen;
    uint64_t SwBufDep[2];
    uint64_t HwBufDep;
    uint64_t HwAddrmDep;
    uint64_t FreeqDep[32];
    uint64_t TxqDep[128];
    uint64_t RxqDep[256];
    uint64_t PoolSize[2];
};
static_assert(sizeof(MemCfg) == 3384);
static_assert(offsetof(MemCfg, SwBufDep) == 8 && offsetof(MemCfg, HwBufDep) == 24);
static_assert(offsetof(MemCfg, HwAddrmDep) == 32 && offsetof(MemCfg, FreeqDep) == 40);
static_assert(offsetof(MemCfg, TxqDep) == 296 && offsetof(MemCfg, RxqDep) == 1320);
static_assert(offsetof(MemCfg, PoolSize) == 3368);

// One reserved memory region, packed.
struct __attribute__((packed)) ShareMemEntry {
    uint64_t PhyAddr;
    uint64_t Size;
    uint64_t VirAddr;
    uint64_t Alloced;
    uint32_t Pid;
    uint8_t NumaNode;
    uint8_t Flag;      // 1 once this process has mapped the region
    uint8_t MemType;
    uint8_t Reserved[34];
};
static_assert(sizeof(ShareMemEntry) == 73);
static_assert(offsetof(ShareMemEntry, PhyAddr) == 0 && offsetof(ShareMemEntry, Size) == 8);
static_assert(offsetof(ShareMemEntry, VirAddr) == 16 && offsetof(ShareMemEntry, Alloced) == 24);
static_assert(offsetof(ShareMemEntry, Pid) == 32 && offsetof(ShareMemEntry, NumaNode) == 36);
static_assert(offsetof(ShareMemEntry, Flag) == 37 && offsetof(ShareMemEntry, MemType) == 38);
static_assert(offsetof(ShareMemEntry, Reserved) == 39);

// The reserved-memory map: the driver's shared-memory record.
inline constexpr size_t PLOV_SHARE_MEM_ENTRIES = 16;
inline constexpr size_t PLOV_SHARE_MEM_SIZE = 1168;
static_assert(sizeof(ShareMemEntry) * PLOV_SHARE_MEM_ENTRIES == PLOV_SHARE_MEM_SIZE);

// Software-buffer base record (request 0x0B).
struct SwBufBaseRec {
    uint64_t VirAddr;
    uint64_t PhyAddr;
    uint32_t PoolType;   // input
    uint32_t Pad;
};
static_assert(sizeof(SwBufBaseRec) == 24);
static_assert(offsetof(SwBufBaseRec, PhyAddr) == 8 && offsetof(SwBufBaseRec, PoolType) == 16);

// PCIe port endpoint add and remove: four words in the order the command
// text gives them.
struct PciPortEpReq {
    uint32_t ulParam[4];
};
static_assert(sizeof(PciPortEpReq) == 16);
static_assert(offsetof(PciPortEpReq, ulParam) == 0);

// Records the driver answers whose inner layout only it reads: the port
// link request (0x12), the SFP hot-swap state (0x13) and the two-wire bus
// status (0x1A).
inline constexpr size_t PLOV_PORT_LINK_LEN = 24;
inline constexpr size_t PLOV_SFP_HS_STATE_LEN = 16;
inline constexpr size_t PLOV_IIC_STATUS_LEN = 16;

// Link state of a back port of the sbuf FPGA (request 0x12): the port's
// location, type and id in, the link state out in byte 16.
struct PortLinkReq {
    uint32_t loc;
    uint32_t type;
    uint32_t id;
    uint8_t reserved[4];
    uint8_t link;
    uint8_t reserved2[7];
};
static_assert(sizeof(PortLinkReq) == PLOV_PORT_LINK_LEN);
static_assert(offsetof(PortLinkReq, type) == 4 && offsetof(PortLinkReq, id) == 8 && offsetof(PortLinkReq, link) == 16);

#endif

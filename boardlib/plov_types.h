// Records that the board-independent operations exchange with their callers
// and with both board backends, the process's reserved-memory map and the
// translation between physical and virtual addresses inside it.
#ifndef QUORBIX_BOARDLIB_PLOV_TYPES_H
#define QUORBIX_BOARDLIB_PLOV_TYPES_H

#include <cstddef>
#include <cstdint>

#include "bases/drv/plov_drv.h"
#include "boardlib/plov_status.h"

// ---- ports -------------------------------------------------------------------------

// Port property: location, type, id.
struct PortPro {
    uint32_t LOC;
    uint32_t TYPE;
    uint32_t ID;
};
static_assert(sizeof(PortPro) == 12);
static_assert(offsetof(PortPro, LOC) == 0 && offsetof(PortPro, TYPE) == 4 && offsetof(PortPro, ID) == 8);

// Work-mode word bits.
inline constexpr uint16_t PORT_MODE_FULL_DUPLEX = 1u << 0;
inline constexpr uint16_t PORT_MODE_10M = 1u << 4;
inline constexpr uint16_t PORT_MODE_100M = 1u << 5;
inline constexpr uint16_t PORT_MODE_1000M = 1u << 6;
inline constexpr uint16_t PORT_MODE_AUTONEG = 1u << 7;
inline constexpr uint16_t PORT_MODE_10G = 1u << 8;
inline constexpr uint16_t PORT_MODE_20G = 1u << 9;
inline constexpr uint16_t PORT_MODE_40G = 1u << 10;

// The record of the work-mode, link-state and MAC operations (natural
// alignment, not packed).
struct PortWorkMode {
    uint8_t PortId;
    uint8_t Location;
    uint8_t LinkDetected;   // 1 = link up
    uint16_t WorkMode;
    uint8_t Mac[6];
    uint8_t ForceLinkDown;  // 1 = forced down
};
static_assert(sizeof(PortWorkMode) == 14);
static_assert(offsetof(PortWorkMode, PortId) == 0 && offsetof(PortWorkMode, Location) == 1);
static_assert(offsetof(PortWorkMode, LinkDetected) == 2 && offsetof(PortWorkMode, WorkMode) == 4);
static_assert(offsetof(PortWorkMode, Mac) == 6 && offsetof(PortWorkMode, ForceLinkDown) == 12);

struct PortStatistic {
    uint64_t RxBytes;
    uint64_t RxTotal;
    uint64_t RxError;
    uint64_t RxDrop;
    uint64_t TxBytes;
    uint64_t TxTotal;
    uint64_t TxError;
    uint64_t TxDrop;
    uint64_t RxBroadCast;
    uint64_t RxMultiCast;
    uint64_t TxBroadCast;
    uint64_t TxMultiCast;
    uint64_t Conflict;
};
static_assert(sizeof(PortStatistic) == 104);
static_assert(offsetof(PortStatistic, TxBytes) == 32 && offsetof(PortStatistic, Conflict) == 96);

// ---- queues --------------------------------------------------------------------------

inline constexpr uint32_t QUEUE_TYPE_RX = 0;
inline constexpr uint32_t QUEUE_TYPE_TX = 1;
inline constexpr uint32_t QUEUE_TYPE_TX_GROUP = 2;

struct QueueId {
    uint32_t QueueType;
    uint32_t QueueId;   // the operations use the low 16 bits
};
static_assert(sizeof(QueueId) == 8);
static_assert(offsetof(QueueId, QueueType) == 0 && offsetof(QueueId, QueueId) == 4);

struct QueueWaterLevel {
    uint64_t Highlevel;
    uint64_t Lowlevel;
};
static_assert(sizeof(QueueWaterLevel) == 16 && offsetof(QueueWaterLevel, Lowlevel) == 8);

struct QueueStat {
    uint64_t Counter[3];
};
static_assert(sizeof(QueueStat) == 24);

struct RxqHashRule {
    uint16_t HashKey;   // low 12 bits used
    uint8_t VcpuID;     // low 5 bits used
};
static_assert(offsetof(RxqHashRule, HashKey) == 0 && offsetof(RxqHashRule, VcpuID) == 2);

// ---- memory ---------------------------------------------------------------------------

extern ShareMemEntry g_PlovShareMem[PLOV_SHARE_MEM_ENTRIES];
static_assert(sizeof(g_PlovShareMem) == PLOV_SHARE_MEM_SIZE);

// Buffer zones of one CPU.
struct MemRange {
    MemDesc HwBuf;
    MemDesc SwBuf;
    MemDesc Addrm;
    uint64_t Cpu;   // input: CPU selector
};
static_assert(sizeof(MemRange) == 128);
static_assert(offsetof(MemRange, HwBuf) == 0 && offsetof(MemRange, SwBuf) == 40);
static_assert(offsetof(MemRange, Addrm) == 80 && offsetof(MemRange, Cpu) == 120);

// Pool-base record; bit 2 of the pool number selects the CPU.
struct PoolBaseRec {
    uint64_t VirAddr;
    uint64_t PhyAddr;
    uint64_t Unused;
    uint32_t PoolNum;    // input
    uint32_t Pad;
};
static_assert(sizeof(PoolBaseRec) == 32);
static_assert(offsetof(PoolBaseRec, PhyAddr) == 8 && offsetof(PoolBaseRec, PoolNum) == 24);

// ---- address translation through entries 0 and 1 of the map ---------------------------

// 0, -1201 null output, or -1336 (output 0) when no entry covers the address.
PlovStatus PlovTransPhy2Vir(uint64_t phys, uint64_t *virt);
PlovStatus PlovTransVir2Phy(uint64_t *phys, uint64_t virt);

#endif

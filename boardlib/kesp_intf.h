// The KESP FPGA's indirect-register catalogue and the three functions that
// read, write and clear an indirect register by its id.
#ifndef QUORBIX_BOARDLIB_KESP_INTF_H
#define QUORBIX_BOARDLIB_KESP_INTF_H

#include <cstdint>

#include "bases/drv/plov_drv.h"
#include "boardlib/plov_trans_intf.h"
#include "boardlib/plov_types.h"

struct SfpInfo;

// The KESP backend above the device layer logs under one source name,
// whichever of its files holds the code.
#define KESP_INTF_SOURCE "boardlib/kesp_intf.cpp"
#define KESP_LOG_ERR(fmt, ...) \
    PLOV_LOG_LINE_FROM(g_pfPLOVTransLog, PLOV_LEVEL_ERR, "[Trans-ERR]", KESP_INTF_SOURCE, fmt __VA_OPT__(, ) __VA_ARGS__)
#define KESP_LOG_DBG(fmt, ...) \
    PLOV_LOG_LINE_FROM(g_pfPLOVTransLog, PLOV_LEVEL_DBG, "[Trans-DBG]", KESP_INTF_SOURCE, fmt __VA_OPT__(, ) __VA_ARGS__)

inline constexpr uint32_t kKespIndirRegCount = 64;

// Rows in the request layout, indexed by register id; ids 0 to 59 are
// filled, 60 to 63 are all zero. Each row carries the block's base address,
// its word counts, and the FPGA's command word and mode, which the requests
// of this library never send. The media library reads the same rows.
extern const IndirRegReq g_KespIndirReg[kKespIndirRegCount];

// Fixed commands of the KESP indirect requests.
inline constexpr uint64_t kKespIndirCmdRead = 0;
inline constexpr uint64_t kKespIndirCmdWrite = 1;
inline constexpr uint64_t kKespIndirCmdClear = 3;

// `data` holds n + 1 words: word 0 the word address inside the block, words
// 1..n the data (n = the row's wlen for a write, rlen for a read). -1201 for
// a null buffer, -1202 for an id outside the filled rows (0 to 59);
// device-layer failures pass through.
PlovStatus KespReadIndregByID(uint32_t id, uint64_t *data);
PlovStatus KespWriteIndregByID(uint32_t id, uint64_t *data);
PlovStatus KespClearCntIndregByID(uint32_t id, uint64_t *data);


// ---- network ports (0 and 1), statistics, clocks, anti-CPU settings ----------------------
//
// A network port's property must be {LOC 0, TYPE 2, ID 0 or 1}.

PlovStatus KespSetPortSwitch(uint8_t port, uint8_t value);   // bits 2:0 := value & 7
PlovStatus KespGetPortSwitch(uint8_t port, uint8_t *value);
PlovStatus KespTransSetPortPHYLoopMode(FpgaId fpga, uint8_t port, uint8_t mode);
PlovStatus KespTransGetPortPHYLoopMode(FpgaId fpga, uint8_t port, uint8_t *mode);
PlovStatus KespTransSetPortMACLoopMode(FpgaId fpga, uint8_t port, uint8_t mode);
PlovStatus KespTransGetPortMACLoopMode(FpgaId fpga, uint8_t port, uint8_t *mode);
// PHY power: up = 1 when on, 0 when forced down; mode 1 powers on, 0 down.
PlovStatus KespTransGetPortForcePhyDown(FpgaId fpga, uint8_t port, uint8_t *up);
PlovStatus KespTransSetPortForcePhyDown(FpgaId fpga, uint8_t port, uint8_t mode);
PlovStatus KespGetPortLinkStates(FpgaId fpga, uint8_t port, uint8_t *link);
PlovStatus KespSetPortReset(const PortPro *port, int8_t reset);
PlovStatus KespGetPortReset(const PortPro *port, uint8_t *state);
PlovStatus KespSetMtu(uint16_t vmax, uint16_t vmin);
PlovStatus KespGetMtu(uint16_t *vmax, uint16_t *vmin);
PlovStatus KespSetPortMac(const PortPro *port, const uint8_t mac[6]);
PlovStatus KespGetPortMac(const PortPro *port, uint8_t mac[6]);
PlovStatus KespClsPortStatistics(const PortPro *port);

PlovStatus KespGetPortRxBytesCnt(const PortPro *port, PortStatistic *stat);
PlovStatus KespGetPortRxErrorCnt(const PortPro *port, PortStatistic *stat);
PlovStatus KespGetPortRxDropCnt(const PortPro *port, PortStatistic *stat);
PlovStatus KespGetPortRxUniCastCnt(const PortPro *port, PortStatistic *stat);
PlovStatus KespGetPortRxMultiCastCnt(const PortPro *port, PortStatistic *stat);
PlovStatus KespGetPortRxBroadCastCnt(const PortPro *port, PortStatistic *stat);
PlovStatus KespGetPortTxBytesCnt(const PortPro *port, PortStatistic *stat);
PlovStatus KespGetPortTxErrorCnt(const PortPro *port, PortStatistic *stat);
PlovStatus KespGetPortTxUniCastCnt(const PortPro *port, PortStatistic *stat);
PlovStatus KespGetPortTxMultiCastCnt(const PortPro *port, PortStatistic *stat);
PlovStatus KespGetPortTxBroadCastCnt(const PortPro *port, PortStatistic *stat);
// The eleven counters in order; the first failure ends the walk.
PlovStatus KespGetPortStatistics(const PortPro *port, PortStatistic *stat);
// Media ports 0 and 1 (only the property's id is used).
PlovStatus KespGetMediaPortStatistics(const PortPro *port, PortStatistic *stat);
PlovStatus KespClrMediaPortSstistics(const PortPro *port);

// Reference-clock warnings: 8 when the warning bit is set, else 1.
PlovStatus KespGetPhyMngRefClkWarnning(FpgaId fpga, uint32_t *state);
PlovStatus KespGetDxauiRefClkWarnning(FpgaId fpga, uint32_t *state);
PlovStatus KespGetFwRunVer(FpgaId fpga, uint32_t *version);

PlovStatus KespSetAntiCpuIntervalTime(uint8_t interval);
PlovStatus KespGetAntiCpuIntervalTime(uint8_t *interval);
PlovStatus KespSetAntiCpuLevel(uint8_t port, uint8_t type, uint16_t level);
PlovStatus KespGetAntiCpuLevel(uint8_t port, uint8_t type, uint16_t *level);

// ---- queues and buffers ------------------------------------------------------------------
//
// Queue ids: Rx 0-111 (groups of 8), Tx 0-55 (groups of 4), Tx groups 0-13;
// 0xFFFF passes every type's range test and means all groups to the switches.

inline constexpr uint32_t KESP_QUEUE_GROUPS = 14;
inline constexpr uint32_t KESP_QUEUE_ALL = 0xFFFF;

// The FPGA's queue index of a queue, -1335 when the id has none.
PlovStatus KespMapQueueIndex(const QueueId *queue, uint32_t *index);
// The word address of an index inside the queue blocks: group << 4 | position.
PlovStatus KespGetIndregAddrOfQueue(uint32_t type, uint32_t index, uint32_t *addr);

PlovStatus KespSetQueueSwitch(const QueueId *queue, uint32_t on);
PlovStatus KespGetQueueSwitch(const QueueId *queue, uint32_t *on);
PlovStatus KespSetRxQueuesSwitch(uint32_t group, uint32_t on);
PlovStatus KespSetTxQueuesSwitch(uint32_t group, uint32_t on);
PlovStatus KespSetRlQueueSwitch(uint32_t group, uint32_t on);
PlovStatus KespGetRxQueuesSwitch(uint32_t group, uint32_t *on);
PlovStatus KespGetTxQueuesSwitch(uint32_t group, uint32_t *on);
PlovStatus KespGetRlQueuesSwitch(uint32_t group, uint32_t *on);
PlovStatus KespClsQueueStatics(const QueueId *queue);
PlovStatus KespGetQueueStatics(const QueueId *queue, QueueStat *stat);
PlovStatus KespGetQueueWaterLvl(const QueueId *queue, QueueWaterLevel *level);
PlovStatus KespSetQueueWaterLvl(const QueueId *queue, const QueueWaterLevel *level);
PlovStatus KespSetSyncId(FpgaId fpga, uint8_t queue, uint16_t sync);
PlovStatus KespGetSyncId(FpgaId fpga, uint8_t queue, uint16_t *sync);
PlovStatus KespSetRxqHashRule(const RxqHashRule *rule);
PlovStatus KespGetRxqHashRule(RxqHashRule *rule);
PlovStatus KespSetQueueDataOffset(uint16_t offset);
PlovStatus KespGetQueueDataOffset(uint16_t *offset);
PlovStatus KespGetFreeBlockOfHwBuf(uint32_t poolType, uint64_t *blocks);
PlovStatus KespGetPoolBaseAddr(PoolBaseRec *rec);
// Hand the map to the driver when it holds none, then set the depths;
// `scratch` receives the driver's current map.
PlovStatus KespSetMemCfg(const ShareMemEntry *map, const MemCfg *cfg, ShareMemEntry *scratch);

// ---- SFP cages (0 to 3) and interrupt affinity ---------------------------------------------

inline constexpr uint8_t KESP_SFP_CAGES = 4;
inline constexpr const char *KESP_INTERRUPTS_PATH = "/proc/interrupts";

PlovStatus KespGetSfpPresent(FpgaId fpga, uint8_t cage, uint8_t *present);
PlovStatus KespGetSfpInfo(FpgaId fpga, uint8_t cage, SfpInfo *info);
// The module decoder's read callback: the handle is the cage.
PlovStatus KespReadSfpInfoByReg(uint8_t handle, uint32_t dev, uint32_t offset, uint32_t length, uint8_t *buf);

// mode 0: the receive interrupt is an MSI-X interrupt (its number in *irq);
// 1: it comes from the high-resolution timer.
inline constexpr uint32_t KESP_IRQ_MSIX = 0;
inline constexpr uint32_t KESP_IRQ_TIMER = 1;
PlovStatus IsMsixIrqMode(uint32_t *mode, uint32_t *irq);
PlovStatus GetMsixIrqBind(uint32_t irq, uint8_t *cpu);
PlovStatus SetMsixIrqBind(uint32_t irq, uint8_t cpu);
PlovStatus KespGetMsixIntTimer(uint16_t *timer);
PlovStatus KespSetMsixIntTimer(uint32_t timer);

#endif

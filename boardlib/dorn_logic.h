// DORN device layer: one FPGA driver request per call on the FPGA's node,
// opened for the call and closed again. The request numbers and records are
// the driver interface's (bases/drv/plov_drv.h).
#ifndef QUORBIX_BOARDLIB_DORN_LOGIC_H
#define QUORBIX_BOARDLIB_DORN_LOGIC_H

#include <cstddef>
#include <cstdint>

#include "bases/drv/plov_drv.h"
#include "boardlib/plov_trans_intf.h"

struct QueueId;

// ---- device nodes ------------------------------------------------------------------

inline constexpr const char *DORN_TRANS_NODE = PLOV_TRANS_NODE;  // FPGA 0
inline constexpr const char *DORN_SBUF_NODE = PLOV_SBUF_NODE;    // FPGA 1

// ---- node helpers --------------------------------------------------------------------

int DornOpenDev(const char *path);   // descriptor, -1201 null path, -1216 open failed
int DornCloseDev(int fd);
int DornGetFd(FpgaId fpga);          // descriptor, -1330 bad id, -1216 open failed

// ---- request wrappers on an open descriptor: 0, -1201 or -1203 --------------------------

PlovStatus IoctlWriteDirReg(int fd, DirRegReq *req);
PlovStatus IoctlReadDirReg(int fd, DirRegReq *req);
PlovStatus IoctlWriteIndirReg(int fd, IndirRegReq *req);
PlovStatus IoctlReadIndirReg(int fd, IndirRegReq *req);
PlovStatus IoctlSetShmem(int fd, const ShareMemEntry *map);
PlovStatus IoctlGetShmem(int fd, ShareMemEntry *map);
PlovStatus IoctlSetMemDep(int fd, const MemCfg *cfg);
PlovStatus IoctlGetMemDep(int fd, MemCfg *cfg);
PlovStatus IoctlUsrStart(int fd, uint32_t value);
PlovStatus IoctlGetQueueAddr(int fd, QueueAddrRec *rec);
PlovStatus IoctlGetSwBufBase(int fd, SwBufBaseRec *rec);
PlovStatus IoctlSetCpuUsg(int fd, uint32_t value);
PlovStatus IoctlGetCpuUsg(int fd, uint8_t *value);
PlovStatus IoctlGetMemDesc(int fd, MemDesc *descs);   // 16 descriptors
PlovStatus IoctlSetHrtimerAffinity(int fd, uint32_t cpu);
PlovStatus IoctlGetHrtimerAffinity(int fd, uint8_t *cpu);
PlovStatus IoctlGetDrvInfo(int fd, DrvInfo *info);
PlovStatus IoctlGetRegs(int fd, RegSpaceReq *req);
PlovStatus IoctlGetPortStaticMac(int fd, PortStaticMacReq *req);

// ---- operations: open the FPGA's node, one request, close ----------------------------

PlovStatus DornLogicReadDirReg(FpgaId fpga, DirRegReq *req);
PlovStatus DornLogicWriteDirReg(FpgaId fpga, DirRegReq *req);
PlovStatus DornLogicReadIndirReg(FpgaId fpga, IndirRegReq *req);
PlovStatus DornLogicWriteIndirReg(FpgaId fpga, IndirRegReq *req);
PlovStatus DornLogicGetQueueAddr(FpgaId fpga, QueueAddrRec *rec);
PlovStatus DornLogicGetSwbufBase(FpgaId fpga, SwBufBaseRec *rec);
PlovStatus TransGetMemDesc(FpgaId fpga, MemDesc *descs);   // 16 descriptors
PlovStatus DornLogicGetMemDep(FpgaId fpga, MemCfg *cfg);
PlovStatus DornLogicSetMemDep(FpgaId fpga, const MemCfg *cfg);
PlovStatus DornLogicSetShmem(const ShareMemEntry *map);  // always FPGA 0; 16 entries
PlovStatus DornLogicGetShmem(ShareMemEntry *map);        // always FPGA 0; 16 entries
PlovStatus DornLogicUsrStart(FpgaId fpga, uint8_t value);
PlovStatus DornLogicGetCpuUsg(FpgaId fpga, uint8_t *value);
PlovStatus DornLogicSetCpuUsg(FpgaId fpga, uint8_t value);
PlovStatus DornGetHrtimerAffinity(FpgaId fpga, uint8_t *cpu);
PlovStatus DornSetHrtimerAffinity(FpgaId fpga, uint8_t cpu);
PlovStatus DornGetRegs(FpgaId fpga, RegSpaceReq *req);
PlovStatus DornGetDrvInfo(FpgaId fpga, DrvInfo *info);

// Load-at-reboot: always through the sbuf node; the FPGA id travels in the
// record. Any non-zero request result is a failure (-1203).
PlovStatus DornGetLoadAtReboot(FpgaId fpga, uint64_t *flag);
PlovStatus DornSetLoadAtReboot(FpgaId fpga, uint8_t flag);

// Queue switches: FPGA 0 the trans node, any other id the sbuf node. Any
// non-zero request result is a failure (-1203).
PlovStatus DornGetQueueSwitch(FpgaId fpga, const QueueId *queue, uint32_t *value);
PlovStatus DornSetQueueSwitch(FpgaId fpga, const QueueId *queue, uint16_t value);

#endif

// KESP device layer: one FPGA driver request per call. The KESP board has
// one FPGA, so every request goes to "/dev/trans_pci", opened for the call
// and closed again.
#ifndef QUORBIX_BOARDLIB_KESP_LOGIC_H
#define QUORBIX_BOARDLIB_KESP_LOGIC_H

#include <cstddef>
#include <cstdint>

#include "bases/drv/plov_drv.h"
#include "boardlib/plov_status.h"

// CPUs the hrtimer may be bound to.
inline constexpr uint8_t KESP_VCPUS_MAX_NUM = 12;

int KespGetFd();                // descriptor, or -1216
int KespCloseFile(int fd);

// Each returns 0 (or the request's non-negative result), -1201 for a null
// record, -1216 when the node cannot be opened, -1203 when the request fails.
PlovStatus KespLogicWriteDirReg(DirRegReq *req);
PlovStatus KespLogicReadDirReg(DirRegReq *req);
PlovStatus KespLogicWriteIndirReg(IndirRegReq *req);
PlovStatus KespLogicReadIndirReg(IndirRegReq *req);
PlovStatus KespLogicClearIndirReg(IndirRegReq *req);
PlovStatus KespLogicSetShmem(const ShareMemEntry *map);
PlovStatus KespLogicGetShmem(ShareMemEntry *map);
PlovStatus KespLogicSetMemDep(const MemCfg *cfg);
PlovStatus KespLogicGetMemDep(MemCfg *cfg);
PlovStatus KespLogicUsrStart(uint8_t value);
PlovStatus KespLogicGetQueueAddr(QueueAddrRec *rec);
PlovStatus KespLogicGetSwbufBase(SwBufBaseRec *rec);
PlovStatus KespGetMemDesc(MemDesc *descs);                 // 16 descriptors
PlovStatus KespSetSfpReg(SfpRegReq *req);                  // null buffer address too: -1201
PlovStatus KespGetSfpReg(SfpRegReq *req);
PlovStatus KespLogicSetHrtimerAffinity(uint8_t cpu);       // cpu 12 or more: -1205
PlovStatus KespLogicGetHrtimerAffinity(uint8_t *cpu);
PlovStatus KespGetDrvInfo(DrvInfo *info);                  // null: -1201 without a log line
PlovStatus KespSetHrtimer(uint64_t period);
PlovStatus KespGetHrtimer(uint64_t *period);
PlovStatus KespRmPciPortEp(PciPortEpReq *req);
PlovStatus KespAddPciPortEp(PciPortEpReq *req);

// Driver version text (PLOV_DRV_VER_LEN bytes) of FPGA 0 or 1, both on the
// one node: -1330 for another id; any non-zero request result is returned
// as it is.
PlovStatus KespGetDrvVer(FpgaId fpga, char *ver);

// Load logic at reboot of the trans FPGA: any non-zero request result is a
// failure (-1203). A null result address is refused with -1201.
PlovStatus KespSetLoadAtReboot(uint8_t flag);
PlovStatus KespGetLoadAtReboot(uint64_t *flag);

// ---- register helpers of the KESP modules ---------------------------------------------

// A device-layer result judged: negative is a failure, anything else success (0).
PlovStatus KespJudged(PlovStatus ret);
// One direct register read or write, judged; nothing logged (the device
// layer has logged a failed request). The read sets *value only on success.
PlovStatus KespReadReg(uint64_t addr, uint64_t *value);
PlovStatus KespWriteReg(uint64_t addr, uint64_t value);

#endif

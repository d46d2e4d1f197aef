// Board-independent memory side: the process's map of the reserved host
// memory, built from the kernel command line and mapped through "/dev/mem",
// the memory configuration handed to the driver, and the queue, buffer-zone
// and pool addresses with their virtual addresses in this process.
#ifndef QUORBIX_BOARDLIB_PLOV_MEM_INTF_H
#define QUORBIX_BOARDLIB_PLOV_MEM_INTF_H

#include <cstdint>

#include "boardlib/plov_trans_intf.h"
#include "boardlib/plov_types.h"

inline constexpr PlovStatus PLOV_ERR_MEMMAP_COUNT = -1222;   // "memmap" count not readable
inline constexpr PlovStatus PLOV_ERR_MEMMAP = -1347;         // region word missing or unusable, mapping failed
inline constexpr PlovStatus PLOV_ERR_MEM_KEPT = -1348;       // FPGA working: configuration not changed
inline constexpr size_t PLOV_QUEUE_ADDR_BLOCK = 56;

PlovStatus PlovTransGetMemCfg(FpgaId fpga, MemCfg *cfg);
PlovStatus PlovTransSetMemCfg(FpgaId fpga, const MemCfg *cfg);
// Builds g_PlovShareMem once per process and copies its 1168 bytes out.
PlovStatus PlovTransGetMemMap(uint8_t map[PLOV_SHARE_MEM_SIZE]);
PlovStatus PlovTransGetQueueAddr(FpgaId fpga, const QueueId *queue, uint8_t addr[PLOV_QUEUE_ADDR_BLOCK]);
PlovStatus PLOV_TransGetMemRang(FpgaId fpga, MemRange *range);
PlovStatus PlovTransGetSwbufBase(FpgaId fpga, SwBufBaseRec *rec);
PlovStatus PlovTransGetPoolBase(FpgaId fpga, PoolBaseRec *rec);

#endif

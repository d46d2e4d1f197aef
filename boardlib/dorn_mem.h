// DORN memory mapping and platform probes: mapping a reserved physical
// range through "/dev/mem", counting the reserved ranges on the kernel
// command line, the NUMA nodes online, and write-protecting the
// software-buffer zones.
#ifndef QUORBIX_BOARDLIB_DORN_MEM_H
#define QUORBIX_BOARDLIB_DORN_MEM_H

#include <cstdint>

#include "boardlib/plov_types.h"

inline constexpr const char *DORN_MEM_NODE = "/dev/mem";
inline constexpr const char *DORN_NODE_ONLINE = "/sys/devices/system/node/online";
inline constexpr PlovStatus DORN_ERR_MAP = -1347;

// Maps [PhyAddr, PhyAddr + Size) and sets VirAddr; the mapping stays.
PlovStatus DornMemMap(ShareMemEntry *entry);
PlovStatus DornGetMemUsgNum(uint8_t *count);
PlovStatus DornGetCpuPresent(uint8_t *nodes);
PlovStatus TransDealMemDesc(FpgaId fpga);

#endif

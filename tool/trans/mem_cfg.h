// Memory-configuration commands of the DORN trans FPGA: the default
// configuration written and read back, pool bases, free blocks, memory
// zones, the user shared-memory map, driver information and a self check.
#ifndef QUORBIX_TOOL_TRANS_MEM_CFG_H
#define QUORBIX_TOOL_TRANS_MEM_CFG_H

#include <cstdint>

#include "bases/drv/plov_drv.h"
#include "tool/trans_op.h"

// Fills `cfg` with the default configuration: 0, or -1201 for a null record.
int32_t dorn_memdep_init(MemCfg *cfg);
// One line per value of the record.
void dorn_dump_memcfg(const MemCfg *cfg);

TransOpStatus dorn_set_mem_cfg(const char *params);
TransOpStatus dorn_get_drv_info(const char *params);
TransOpStatus dorn_get_freeblockofhwbuf(const char *params);
TransOpStatus dorn_get_swbuf_base(const char *params);
TransOpStatus trans_get_mem_range(const char *params);
TransOpStatus fpga_get_user_viraddr(const char *params);
TransOpStatus fpga_get_user_shmem_info(const char *params);
TransOpStatus dorn_check_mem_cfg(const char *params);

#endif

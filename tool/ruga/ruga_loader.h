// The RUGA FPGA loader: the boot logic's version in flash and the dump of
// the boot logic stored in flash 0 into a file.
#ifndef QUORBIX_TOOL_RUGA_RUGA_LOADER_H
#define QUORBIX_TOOL_RUGA_RUGA_LOADER_H

#include <cstdint>

inline constexpr const char *RUGA_DUMP_FILE = "DUMPRuga_boot_logic.bin";

int ruga_get_flash_boot_logic_ver(uint32_t *version);
int ruga_dump_boot_logic();

#endif

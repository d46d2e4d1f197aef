// The RUGA FPGA loader: the boot-logic reload, the boot logic's version in flash and the dump of
// the boot logic stored in flash 0 into a file.
#ifndef QUORBIX_TOOL_RUGA_RUGA_LOADER_H
#define QUORBIX_TOOL_RUGA_RUGA_LOADER_H

#include <cstdint>

inline constexpr const char *RUGA_DUMP_FILE = "DUMPRuga_boot_logic.bin";

// The boot-logic reload: boot driver and application logic let go, the
// functions below 0000:80:02.1, 0000:00:03.0 and 0000:00:03.2 saved, links
// down, flash 0 loaded, links up, configuration written back, driver back.
int ruga_active_boot_logic();
// The same reload closing the type-0 serdes after the save and taking
// the application logic back after the boot driver.
int ruga_reload_whole_logic();
// The reload without boot-driver requests, closing the type-1 serdes.
int ruga_reload_boot_logic();
// Flash 0 loaded straight away, the serdes closed first when the FPGA's
// kind word asks for it; no save, no links.
int ruga_reload_boot_logic_without_save_reg();
int ruga_get_flash_boot_logic_ver(uint32_t *version);
int ruga_dump_boot_logic();

#endif

// Command rows of the RUGA card: the boot-logic file into flash 0, the
// flash version, the MAC addresses and the boot-logic dump.
#ifndef QUORBIX_TOOL_RUGA_RUGA_CMD_H
#define QUORBIX_TOOL_RUGA_RUGA_CMD_H

#include "tool/trans_op.h"

TransOpStatus ruda_load_ruga_boot_logic_file(const char *params);
TransOpStatus ruda_load_ruga_app_logic_file(const char *params);
TransOpStatus ruda_active_boot_logic(const char *params);
TransOpStatus ruda_get_flash_boot_logic_ver(const char *params);
TransOpStatus ruda_get_run_boot_logic_ver(const char *params);
TransOpStatus ruda_set_mac_addr(const char *params);
TransOpStatus ruda_get_mac_addr(const char *params);
TransOpStatus ruda_dump_boot_logic(const char *params);

// Reached by no row: the register test and the flash logic type with the
// RUGA result lines.
int ruda_test_logic_hb();
int ruda_get_logic_type();

#endif

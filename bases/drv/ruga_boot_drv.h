// The RUGA card's boot driver: node "/dev/ruga_boot", opened write-only;
// each request takes argument 0.
#ifndef QUORBIX_BASES_DRV_RUGA_BOOT_DRV_H
#define QUORBIX_BASES_DRV_RUGA_BOOT_DRV_H

inline constexpr const char *RUGA_BOOT_NAME = "ruga_boot";

inline constexpr const char *RUGA_BOOT_NODE = "/dev/ruga_boot";

// Type 'M', write, size field 4.
inline constexpr unsigned long RUGA_APP_LOGIC_ON = 0x40044D02UL;   // "active app logic"
inline constexpr unsigned long RUGA_APP_LOGIC_OFF = 0x40044D03UL;  // "inactive app logic"
inline constexpr unsigned long RUGA_BOOT_DRV_ON = 0x40044D04UL;    // "active boot driver"
inline constexpr unsigned long RUGA_BOOT_DRV_OFF = 0x40044D05UL;   // "inactive boot driver"
static_assert(((RUGA_APP_LOGIC_ON >> 8) & 0xFF) == 'M' && ((RUGA_APP_LOGIC_ON >> 16) & 0x3FFF) == 4);

#endif

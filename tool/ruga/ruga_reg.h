// Registers of the RUGA card's application FPGA (device 0 on the
// secondary bus of 0000:00:03.0): closing its serdes before a reload, the
// scratch-register test, and the configuration save and restore below all
// three ports on their own.
#ifndef QUORBIX_TOOL_RUGA_RUGA_REG_H
#define QUORBIX_TOOL_RUGA_RUGA_REG_H

#include <cstdint>

inline constexpr uint32_t RUGA_SERDES_CLOSE = 0x5A5A0001;
inline constexpr uint32_t RUGA_SERDES_DONE = 0x2;  // bit 1 of the word read back
inline constexpr int RUGA_SERDES_TRIES = 10;
inline constexpr int RUGA_HB_REG = 0x40;
// Serdes control register in BAR 0, by FPGA type (0 or 1).
inline constexpr int RUGA_SERDES_REG[2] = {0x90, 0x2C044};
inline constexpr uint32_t RUGA_HB_WORDS[8] = {0x55555555, 0x5555AAAA, 0x55AA55AA, 0x5A5A5A5A,
                                              0xA5A5A5A5, 0xAA55AA55, 0xAAAA5555, 0xAAAAAAAA};

// The application FPGA's bus: the secondary bus of 0000:00:03.0.
int ruga_app_fpga_bus(unsigned *bus);
// 0 once bit 1 reads back; -1200 after ten tries; -1201 for a type other
// than 0 or 1 (nothing written).
int ruga_close_fpga_serdes(uint32_t type);
// 0 when every word reads back as written, else -1200.
int ruga_hb_register_test();
int ruda_save_bar_reg();
int ruda_recover_bar_reg();

#endif

// Byte access to the card's LPC window through the flash driver: one
// request each, without flash begin and end.
#ifndef QUORBIX_TOOL_LOAD_LPC_WINDOW_H
#define QUORBIX_TOOL_LOAD_LPC_WINDOW_H

#include <cstdint>

// Only the low 16 address bits and the low data byte reach the driver.
int lpc_addr_write(uint32_t address, uint32_t data);
// On failure *data is left as it was.
int lpc_addr_read(uint32_t address, uint8_t *data);

#endif

// The RUGA card's table of 15 MAC addresses, kept twice in SPI flash 0:
// copy 1 one MiB below the capacity, copy 2 two MiB below, each a 124-byte
// area protected by the logic image's CRC-16.
#ifndef QUORBIX_TOOL_RUGA_RUGA_MAC_H
#define QUORBIX_TOOL_RUGA_RUGA_MAC_H

#include <cstddef>
#include <cstdint>

inline constexpr uint32_t RUGA_MAC_FLAG = 0xAA55AA55;
inline constexpr uint32_t RUGA_MAC_COUNT = 15;
inline constexpr uint32_t RUGA_MAC_COPY1 = 0x100000;  // below the capacity
inline constexpr uint32_t RUGA_MAC_COPY2 = 0x200000;

// Little-endian words as stored. An entry holds the address's text bytes
// last first.
struct mac_area {
    uint32_t flag;  // RUGA_MAC_FLAG when written; 0 or 0xFFFFFFFF when empty
    uint32_t crc;   // CRC-16 of bytes 8..123
    uint8_t mac[RUGA_MAC_COUNT][6];
    uint8_t reserved[26];
};
static_assert(sizeof(mac_area) == 124);
static_assert(offsetof(mac_area, crc) == 4 && offsetof(mac_area, mac) == 8);
static_assert(offsetof(mac_area, reserved) == 98);

int ruga_calc_mac_head(mac_area *area);
int ruga_check_mac_head(mac_area *area);
int ruga_read_mac(uint32_t address, mac_area *area, uint32_t length);
int ruga_write_mac(uint32_t address, const mac_area *area, uint32_t length);
int ruga_parse_mac(const char *text, uint8_t mac[6]);
// The index is unsigned: a negative index text arrives above 14.
int ruga_set_mac(uint32_t index, const char *text);
int ruga_get_mac(uint32_t index, int both);

#endif

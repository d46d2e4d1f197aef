// The simulated SPI-flash driver "/dev/spi_flash": two flashes and the
// card's 64 KiB LPC byte space.
//
// Each flash has a capacity (32 MiB unless set), 8 chip-id bytes (zeros
// unless set; 01 02 20 4D 00 80 makes its erase unit 256 KiB, else 64 KiB),
// contents (erased bytes read 0xFF; a write only clears bits), an access
// flag opened by begin and closed by end, load type, done and application
// flags and a load count. Records are checked as the driver checks them:
// EINVAL for a flash id above 1, an operation or load type above 2, an empty
// read or write, a transfer past the capacity, an LPC address above 0xFFFF
// or data above 0xFF; EFAULT for a missing block or result address; EPERM
// for a transfer or bulk erase outside begin/end. Journal extra of every
// request: flash, operation, address, length.
//
// The flashes are saved in the board document's "spi_flash" section
// (erased pages are not stored). A fresh board holds a small valid image in
// each flash, with distinct versions; flash 0 holds it bit-reversed (type 1)
// on every board but ZK17DORN.
#ifndef QUORBIX_SIM_SPI_FLASH_MODEL_H
#define QUORBIX_SIM_SPI_FLASH_MODEL_H

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "sim/kit/sim_doc.h"

struct SimBoardProfile;

inline constexpr uint32_t kSimFlashFreshVersion[2] = {0x101, 0x202};

bool spi_flash_model_attach(const SimBoardProfile &board, SimDoc &saved);
void spi_flash_model_save(SimDoc &doc);

struct SimFlashState {
    uint32_t capacity;
    std::vector<uint8_t> chipId;  // 8 bytes
    bool open;
    uint32_t loadType, done, app, loads;
    bool capNotty, chipNotty;
};
SimFlashState spi_flash_state(uint32_t flash);

void spi_flash_set_capacity(uint32_t flash, uint32_t capacity);
void spi_flash_set_chip(uint32_t flash, const std::vector<uint8_t> &id);
// The capacity or chip-information request fails with ENOTTY.
void spi_flash_notty(uint32_t flash, bool capacity, bool chip);
void spi_flash_set_flags(uint32_t flash, uint32_t done, uint32_t app);
// Contents, bypassing the write rule; erase all (0xFF).
void spi_flash_poke(uint32_t flash, uint32_t address, const std::vector<uint8_t> &bytes);
std::vector<uint8_t> spi_flash_peek(uint32_t flash, uint32_t address, uint32_t length);
void spi_flash_erase_all(uint32_t flash);
uint8_t spi_flash_lpc(uint16_t address);
void spi_flash_set_lpc(uint16_t address, uint8_t value);

// Faults: bits of `mask` at `address` never program (stay 1); transfers
// matching operation and address (-1: any) fail with `err` on the nth
// match (0: every one).
void spi_flash_stuck_bits(uint32_t flash, uint32_t address, uint8_t mask);
void spi_flash_fail_transfer(uint32_t flash, int op, int64_t address, int err, unsigned nth = 0);

// Fixture lines:
//   flash-cap FLASH BYTES|enotty
//   flash-chip FLASH B0 B1 B2 B3 B4 B5 B6 B7 | flash-chip FLASH enotty
//   flash-flags FLASH DONE APP
//   flash-bytes FLASH ADDRESS "BYTES"
//   flash-erase FLASH
//   flash-stuck FLASH ADDRESS MASK
//   flash-fault FLASH OP|- ADDRESS|- ERRNO [NTH]
//   flash-lpc ADDRESS VALUE
bool spi_flash_fixture_line(std::string_view line, std::string &err);

#endif

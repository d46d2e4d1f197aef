// The SPI-flash logic store: requests to the flash driver (each opens the
// node, sends one request and closes it), the flash geometry, and the
// entry points that write, check, version, erase and load the logic of
// flash 0 or 1. Every entry point that opens flash access with begin ends
// it again, whatever happened in between.
#ifndef QUORBIX_TOOL_LOAD_SPI_FLASH_H
#define QUORBIX_TOOL_LOAD_SPI_FLASH_H

#include <cstdint>

// The erase/write unit and write buffer of the flashes, for the whole run.
// Begin sets them once it recognises the large-sector chip; nothing sets
// them back.
struct SpiFlashGeometry {
    uint32_t guiSpiSectorSize = 0x10000;
    uint32_t guiSpiWriteBufSize = 0x100;
};
extern SpiFlashGeometry g_spiGeometry;

struct SpiChipInfo {
    uint8_t id[6];
    uint32_t idLength;
    uint32_t sectorSize;
    uint32_t writeBufSize;
    uint32_t reserved;
};
inline constexpr SpiChipInfo gstSpiInfo = {{0x01, 0x02, 0x20, 0x4D, 0x00, 0x80}, 6, 0x40000, 0x200, 0};

// Where readers look for a head first; then capacity - 104.
inline constexpr uint32_t FLASH_HEAD_ADDR = 0x0135591C;

// ---- driver requests: 0, -1221 (node not opened) or the request's result ----
int flash_begin(uint32_t flash);
int flash_end(uint32_t flash);
int flash_erase_bulk(uint32_t flash);
int flash_load_fpga(uint32_t flash);
int flash_erase_sector(uint32_t address, uint32_t flash);
int flash_write_buffer(uint32_t address, const uint8_t *buffer, uint32_t length, uint32_t flash);
int flash_read_data(uint32_t address, uint8_t *buffer, uint32_t length, uint32_t flash);
int flash_get_cap(uint32_t flash, uint32_t *capacity);
int flash_load_type(uint32_t flash, uint32_t loadType);
int flash_get_fpga_flag(uint32_t flash, uint32_t *flag);
int ruda_get_app_fpga_flag(uint32_t flash, uint32_t *flag);
int ruda_clear_app_done_flag(uint32_t flash);
int ruda_get_fpga_flag(uint32_t number, uint32_t *flag);  // number 1 or 2: flash number - 1

// ---- store operations, run between begin and end --------------------------------
int fpga_load(const char *path, uint32_t flash, uint32_t fpgaType);
int flash_ver(uint32_t *version, uint32_t flash, uint32_t fpgaType);
int flash_test(uint32_t flash, uint32_t fpgaType);
// The head of the stored image: the one at FLASH_HEAD_ADDR, else the copy at
// capacity - 104, the first that passes verification. 0, a read's status,
// or -1312 for neither (after its lines).
struct fhead;
int flash_find_head(uint32_t flash, uint32_t fpgaType, uint32_t capacity, bool versionLine, fhead &out);

// ---- entry points -------------------------------------------------------------------
int ruda_load_fpga(int32_t flash);
int ruda_fpga_erase_file(int32_t flash);
int ruda_fpga_load_file(int32_t flash, const char *path, uint32_t fpgaType, uint32_t loadType);
int ruda_get_spi_flash_ver(int32_t flash, uint32_t *version, uint32_t fpgaType);
int ruda_flash_test(int32_t flash, uint32_t fpgaType);
int ruda_get_flash_filename(int32_t flash, char *name, uint32_t fpgaType);  // name: 32 bytes

#endif

// The SPI-flash driver "/dev/spi_flash": two logic flashes, the FPGA load
// from them, and byte access to the card's LPC window. Every request takes
// the 24-byte SpiFlashReq; transfers and flag reads point it at a 16-byte
// SpiFlashParam. The request numbers carry a size field of 4 although the
// record is 24 bytes: they are the driver's numbers as they are.
#ifndef QUORBIX_BASES_DRV_SPI_FLASH_DRV_H
#define QUORBIX_BASES_DRV_SPI_FLASH_DRV_H

#include <cstddef>
#include <cstdint>

inline constexpr const char *SPI_FLASH_NODE = "/dev/spi_flash";

inline constexpr unsigned long SPI_FLASH_BEGIN = 0xC004EF14;
inline constexpr unsigned long SPI_FLASH_BULK_ERASE = 0xC004EF15;
inline constexpr unsigned long SPI_FLASH_TRANSFER = 0xC004EF16;
inline constexpr unsigned long SPI_FLASH_LOAD_FPGA = 0xC004EF17;
inline constexpr unsigned long SPI_FLASH_DONE_FLAG = 0xC004EF18;
inline constexpr unsigned long SPI_FLASH_END = 0xC004EF19;
inline constexpr unsigned long SPI_FLASH_LOAD_TYPE = 0xC004EF1A;
inline constexpr unsigned long SPI_FLASH_LPC_READ = 0xC004EF1B;
inline constexpr unsigned long SPI_FLASH_LPC_WRITE = 0xC004EF1C;
inline constexpr unsigned long SPI_FLASH_CAPACITY = 0xC004EF1D;
inline constexpr unsigned long SPI_FLASH_APP_FLAG = 0xC004EF1E;
inline constexpr unsigned long SPI_FLASH_CLEAR_APP_DONE = 0xC004EF1F;
inline constexpr unsigned long SPI_FLASH_CHIP_INFO = 0xC004EF20;

// Transfer operations (SpiFlashReq::operation).
inline constexpr uint32_t SPI_FLASH_OP_READ = 0;
inline constexpr uint32_t SPI_FLASH_OP_WRITE = 1;
inline constexpr uint32_t SPI_FLASH_OP_ERASE = 2;

inline constexpr uint32_t SPI_FLASH_LPC_READ_MARK = 0x12345678;
// Capacity when the driver does not answer the capacity request.
inline constexpr uint32_t SPI_FLASH_DEFAULT_CAP = 0x2000000;

struct SpiFlashReq {
    uint32_t flashId;    // or the LPC address
    uint32_t operation;  // transfer operation, LPC data byte or read mark; else 0
    uint64_t param;      // address of a SpiFlashParam, of a u32 result, or 0
    uint64_t reserved;
};
static_assert(sizeof(SpiFlashReq) == 24);
static_assert(offsetof(SpiFlashReq, flashId) == 0);
static_assert(offsetof(SpiFlashReq, operation) == 4);
static_assert(offsetof(SpiFlashReq, param) == 8);
static_assert(offsetof(SpiFlashReq, reserved) == 16);

struct SpiFlashParam {
    uint32_t address;  // flash address in bytes, or the load type
    uint32_t length;
    uint64_t buffer;   // address of the data, or of a u32 result
};
static_assert(sizeof(SpiFlashParam) == 16);
static_assert(offsetof(SpiFlashParam, address) == 0);
static_assert(offsetof(SpiFlashParam, length) == 4);
static_assert(offsetof(SpiFlashParam, buffer) == 8);

inline constexpr size_t SPI_FLASH_CHIP_ID_LEN = 8;

#endif

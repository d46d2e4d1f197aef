// The I2C agent driver ("/dev/i2c_agent", request family 0xEE): request
// numbers and the request record. Little-endian; offsets in bytes.
#ifndef QUORBIX_BASES_DRV_I2C_AGENT_DRV_H
#define QUORBIX_BASES_DRV_I2C_AGENT_DRV_H

#include <cstddef>
#include <cstdint>

inline constexpr const char *I2C_AGENT_NODE = "/dev/i2c_agent";

// Type 0xEE, read-write, size field 4.
inline constexpr unsigned long I2C_AGENT_IOC_READ_BYTE = 0xC004EE00UL;
inline constexpr unsigned long I2C_AGENT_IOC_WRITE_BYTE = 0xC004EE01UL;
inline constexpr unsigned long I2C_AGENT_IOC_READ_BLOCK = 0xC004EE04UL;

// Device address, data (register) address, byte count, the caller's buffer.
struct I2cAgentReq {
    uint32_t devAddr;
    uint32_t dataAddr;
    uint32_t length;
    uint32_t zero;
    uint64_t buf;
};
static_assert(sizeof(I2cAgentReq) == 24);
static_assert(offsetof(I2cAgentReq, devAddr) == 0 && offsetof(I2cAgentReq, dataAddr) == 4);
static_assert(offsetof(I2cAgentReq, length) == 8 && offsetof(I2cAgentReq, zero) == 12);
static_assert(offsetof(I2cAgentReq, buf) == 16);

#endif

// Devices on the board's I2C buses through the I2C agent driver
// ("/dev/i2c_agent"): the access operations and the "i2c" rows of the
// write, dump and test blocks.
#ifndef QUORBIX_TOOL_DDR_I2C_AGENT_H
#define QUORBIX_TOOL_DDR_I2C_AGENT_H

#include <cstdint>

#include "tool/trans_op.h"

inline constexpr int32_t kI2cNullArg = -1201;
inline constexpr int32_t kI2cBadParam = -1202;
inline constexpr int32_t kI2cRequestFail = -1203;
inline constexpr int32_t kI2cBadWidth = -1205;
inline constexpr int32_t kI2cOpenFail = -1216;
inline constexpr int32_t kI2cTestOpenFail = -1221;
inline constexpr int32_t kI2cTestWrongByte = -1312;

// The node opened read-write, or -1216 after the open line.
int I2C_AgentOpenApp();
void I2C_AgentCloseApp(int fd);

// One request of `length` bytes at `dataAddr` of device `devAddr`: 0,
// -1201 for a null buffer, -1203 when the driver refuses it.
int32_t I2C_AgentReadAPP(int fd, uint32_t devAddr, uint32_t dataAddr, uint8_t *buf, uint32_t length);
int32_t I2C_AgentWriteAPP(int fd, uint32_t devAddr, uint32_t dataAddr, const uint8_t *buf, uint32_t length);
int32_t I2C_AgentReadByBlockAPP(int fd, uint32_t devAddr, uint32_t dataAddr, uint8_t *buf, uint32_t length);

// Reads byte 0x51 of the five devices 0xB2-0xBA, each must be 0x44.
int32_t I2C_AgentTestAPP();

TransOpStatus I2C_AgentWriteOpt(const char *params);
TransOpStatus I2C_AgentDumpOpt(const char *params);
TransOpStatus I2C_AgentTestRepeatOpt(const char *params);

#endif

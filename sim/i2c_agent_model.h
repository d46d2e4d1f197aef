// The simulated I2C agent driver behind "/dev/i2c_agent".
//
// Devices by address, each with 256 register bytes; the register pointer
// wraps at 256. A fresh board has the five devices 0xB2, 0xB4, 0xB6, 0xB8
// and 0xBA, each answering 0x44 at register 0x51. A request to an absent
// device fails with ENXIO; a length above 256 or a register above 255 with
// EINVAL; a null buffer with a length with EFAULT. Devices are saved with
// the board.
#ifndef QUORBIX_SIM_I2C_AGENT_MODEL_H
#define QUORBIX_SIM_I2C_AGENT_MODEL_H

#include <array>
#include <cstdint>

#include "sim/kit/sim_doc.h"

bool i2c_agent_model_attach(SimDoc &saved);
void i2c_agent_model_save(SimDoc &doc);

// Adds the device (all registers 0) when absent; its registers.
std::array<uint8_t, 256> &i2c_agent_device(uint32_t dev);
void i2c_agent_remove_device(uint32_t dev);
bool i2c_agent_has_device(uint32_t dev);

#endif

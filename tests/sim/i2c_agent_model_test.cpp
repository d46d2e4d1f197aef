// The I2C agent's saved devices: 256 registers at a 32-bit address each.
#include <gtest/gtest.h>

#include <string>

#include "support/saved_board.h"

namespace {

TEST(I2cAgentSavedBoard, DevicesPastTheirBoundsAreRefusedAtTheirLine)
{
    const SavedBoard b("ZK17TRVA");
    const std::string i2c = "i2c_agent";
    const struct {
        SavedEntry entry;
        std::string message;  // empty: loads
    } cases[] = {
        {{i2c, "dev 0xb2", saved_bytes(256)}, ""},
        {{i2c, "dev 0xb2", saved_bytes(255)}, "'dev 0xb2' holds 255 bytes, 256 expected"},
        {{i2c, "dev 0xb2", saved_bytes(257)}, "'dev 0xb2' holds 257 bytes, 256 expected"},
        {{i2c, "dev 0xffffffff", saved_bytes(256)}, ""},
        {{i2c, "dev 0x100000000", saved_bytes(256)}, "not an i2c_agent device 'dev 0x100000000'"},
        {{i2c, "dev -1", saved_bytes(256)}, "not an i2c_agent device 'dev -1'"},
        {{i2c, "reg 0xb2", saved_bytes(256)}, "not an i2c_agent device 'reg 0xb2'"},
    };
    for (const auto &c : cases)
        b.expect(c.entry, c.message);
}

} // namespace

// Loop-back SFP test modules of the simulated FPGA driver.
#include <map>
#include <utility>

#include "sim/fpga_model.h"

namespace {

constexpr uint32_t kPageA2 = 0xA2;
constexpr uint8_t kInPin = 0x85;
constexpr uint8_t kOutPin = 0x86;
constexpr uint64_t kTxDisable = 0x680B;
constexpr uint64_t kLines = 0x6900;

// (node, port) -> byte 0x86 ignores writes.
std::map<std::pair<std::string, uint8_t>, bool> &loopbacks()
{
    static std::map<std::pair<std::string, uint8_t>, bool> modules;
    return modules;
}

const bool *find(const std::string &node, uint8_t port, uint32_t dev)
{
    if (dev != kPageA2)
        return nullptr;
    auto it = loopbacks().find({node, port});
    return it == loopbacks().end() ? nullptr : &it->second;
}

}  // namespace

void fpga_set_sfp_loopback(const std::string &node, uint8_t port, bool stuckOutByte)
{
    loopbacks()[{node, port}] = stuckOutByte;
    fpga_set_sfp_bytes(node, port, kPageA2, 0, {});   // the module answers
}

void fpga_clear_sfp_loopback() { loopbacks().clear(); }

void fpga_sfp_loopback_read(const std::string &node, uint8_t port, uint32_t dev, std::vector<uint8_t> &page)
{
    if (find(node, port, dev) == nullptr)
        return;
    const bool disabled = ((fpga_get_reg(node, kTxDisable) >> port) & 1u) != 0;
    page[kInPin] = static_cast<uint8_t>((page[kInPin] & ~0x07u) | (disabled ? 0x04u : 0) | 0x01u);
}

void fpga_sfp_loopback_written(const std::string &node, uint8_t port, uint32_t dev, const std::vector<uint8_t> &before,
                               std::vector<uint8_t> &page)
{
    const bool *stuck = find(node, port, dev);
    if (stuck == nullptr)
        return;
    if (*stuck) {
        page[kOutPin] = before[kOutPin];
        return;
    }
    const uint8_t out = page[kOutPin];
    const unsigned bits[3] = {port + 16u, port, port + 8u};
    uint64_t lines = fpga_get_reg(node, kLines);
    for (int i = 0; i < 3; i++)
        lines = (lines & ~(1ull << bits[i])) | (uint64_t{(out >> i) & 1u} << bits[i]);
    fpga_set_reg(node, kLines, lines);
}

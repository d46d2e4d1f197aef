#include "sim/i2c_agent_model.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <map>
#include <string>
#include <vector>

#include "bases/drv/i2c_agent_drv.h"
#include "sim/sim_host.h"

namespace {

using Regs = std::array<uint8_t, 256>;

std::map<uint32_t, Regs> &devices()
{
    static auto *state = new std::map<uint32_t, Regs>;  // outlives static destructors
    return *state;
}

// The device a request names, or -errno for a request the driver refuses.
int check(const I2cAgentReq &req, Regs *&regs)
{
    auto it = devices().find(req.devAddr);
    if (it == devices().end())
        return -ENXIO;
    if (req.length > 256 || req.dataAddr > 255)
        return -EINVAL;
    if (req.length != 0 && req.buf == 0)
        return -EFAULT;
    regs = &it->second;
    return 0;
}

int handle_read(const SimCall &call, SimJournalEntry &)
{
    I2cAgentReq req;
    std::memcpy(&req, call.arg, sizeof req);
    Regs *regs = nullptr;
    if (int err = check(req, regs))
        return err;
    auto *out = reinterpret_cast<uint8_t *>(static_cast<uintptr_t>(req.buf));
    for (uint32_t i = 0; i < req.length; i++)
        out[i] = (*regs)[(req.dataAddr + i) % 256];
    return 0;
}

int handle_write(const SimCall &call, SimJournalEntry &)
{
    I2cAgentReq req;
    std::memcpy(&req, call.arg, sizeof req);
    Regs *regs = nullptr;
    if (int err = check(req, regs))
        return err;
    const auto *in = reinterpret_cast<const uint8_t *>(static_cast<uintptr_t>(req.buf));
    sim_journal_attach("data", in, req.length);
    for (uint32_t i = 0; i < req.length; i++)
        (*regs)[(req.dataAddr + i) % 256] = in[i];
    return 0;
}

constexpr SimRequest kI2cRequests[] = {
    {I2C_AGENT_IOC_READ_BYTE, sizeof(I2cAgentReq), handle_read},
    {I2C_AGENT_IOC_WRITE_BYTE, sizeof(I2cAgentReq), handle_write},
    {I2C_AGENT_IOC_READ_BLOCK, sizeof(I2cAgentReq), handle_read},
};

constexpr SimModel kI2cModel = {"i2c_agent", kI2cRequests, std::size(kI2cRequests), nullptr, nullptr, nullptr};

constexpr uint32_t kFreshDevices[] = {0xB2, 0xB4, 0xB6, 0xB8, 0xBA};
constexpr const char *kSection = "i2c_agent";

void fresh()
{
    devices().clear();
    for (uint32_t dev : kFreshDevices)
        i2c_agent_device(dev)[0x51] = 0x44;
}

bool load(SimDoc &doc, const SimDocSection &s)
{
    devices().clear();
    for (const SimDocEntry &e : s.entries) {
        std::vector<uint8_t> bytes;
        uint64_t dev = 0;
        if (!e.key.starts_with("dev ") || !sim_doc_number(e.key.substr(4), dev) || dev > UINT32_MAX)
            return doc.fail(e.line, "not an i2c_agent device '" + e.key + "'");
        if (!doc.get_bytes(e, bytes, 256, 256))
            return false;
        std::memcpy(i2c_agent_device(static_cast<uint32_t>(dev)).data(), bytes.data(), 256);
    }
    return true;
}

} // namespace

bool i2c_agent_model_attach(SimDoc &saved)
{
    const SimDocSection *s = saved.find(kSection);
    bool ok = true;
    if (s == nullptr)
        fresh();
    else if (!(ok = load(saved, *s))) {
        if (saved.error.empty())
            saved.error = saved.file + ": [i2c_agent] bad device entry";
        fresh();
    }
    sim_register_node(I2C_AGENT_NODE, &kI2cModel, nullptr);
    return ok;
}

void i2c_agent_model_save(SimDoc &doc)
{
    SimDocSection &s = doc.section(kSection);
    char key[16];
    for (const auto &[dev, regs] : devices()) {
        std::snprintf(key, sizeof key, "dev 0x%x", dev);
        s.put_bytes(key, std::vector<uint8_t>(regs.begin(), regs.end()));
    }
}

std::array<uint8_t, 256> &i2c_agent_device(uint32_t dev) { return devices()[dev]; }
void i2c_agent_remove_device(uint32_t dev) { devices().erase(dev); }
bool i2c_agent_has_device(uint32_t dev) { return devices().count(dev) != 0; }

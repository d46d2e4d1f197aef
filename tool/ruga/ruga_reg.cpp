#include "tool/ruga/ruga_reg.h"

#include <memory>
#include <new>

#include "bases/host/host.h"
#include "bases/pci/tvk_dev.h"
#include "kelvo/kelvo.h"
#include "tool/load/load_log.h"
#include "tool/ruga/ruga_pci.h"
#include "tool/ruga/ruga_port.h"

namespace {

constexpr unsigned kAppPortDevfn = 0x18;  // 0000:00:03.0
constexpr uint32_t kSecondaryBus = 0x19;
constexpr unsigned kRecoverWaitS = 5;

// The save and restore on their own walk the ports the other way round.
constexpr PciePortInfo kBarPorts[3] = {{0, 0x00, 3, 2, 0, {}}, {0, 0x00, 3, 0, 0, {}}, {0, 0x80, 2, 1, 0, {}}};

int fpga_write(unsigned bus, int offset, uint32_t word)
{
    return ruga_bar_write(bus, 0, 0, reinterpret_cast<const uint8_t *>(&word), 4, offset);
}

int fpga_read(unsigned bus, int offset, uint32_t &word)
{
    return ruga_bar_read(bus, 0, 0, reinterpret_cast<uint8_t *>(&word), 4, offset);
}

// The configuration below the three ports in a fresh buffer.
int save_all(std::unique_ptr<PciSaveData> &data, PciePortInfo (&ports)[3])
{
    data.reset(new (std::nothrow) PciSaveData);
    if (!data || memset_s(data.get(), sizeof(PciSaveData), 0, sizeof(PciSaveData)) != 0) {
        LOAD_ERR("malloc mem fail!\n");
        return -1200;
    }
    for (size_t i = 0; i < 3; i++)
        ports[i] = kBarPorts[i];
    if (ruga_save_conf_reg(data.get(), ports, 3) != 0) {
        LOAD_ERR("save reg fail!\n");
        return -1200;
    }
    return 0;
}

}

int ruga_app_fpga_bus(unsigned *bus)
{
    uint8_t secondary = 0;
    int ret = tvk_read_conf_byte(0, kAppPortDevfn, kSecondaryBus, &secondary);
    *bus = secondary;
    return ret;
}

int ruga_close_fpga_serdes(uint32_t type)
{
    // An unknown type names no register: nothing is written to the FPGA.
    if (type > 1) {
        LOAD_ERR("FPGA type error, is not Lanzip logic and Platforn logic\n");
        return -1201;
    }
    unsigned bus = 0;
    const int reg = RUGA_SERDES_REG[type];
    int ret = ruga_app_fpga_bus(&bus);
    if (ret != 0 || (ret = fpga_write(bus, reg, RUGA_SERDES_CLOSE)) != 0)
        return ret;
    for (int i = 1; i <= RUGA_SERDES_TRIES; i++) {
        host().usleep(1000);
        uint32_t word = 0;
        if ((ret = fpga_read(bus, reg, word)) != 0)
            return ret;
        LOAD_INFO("reg:%d\n", static_cast<int>(word));
        if ((word & RUGA_SERDES_DONE) != 0) {
            LOAD_INFO("close fpga serdes successful, (%d)\n", i);
            return 0;
        }
    }
    LOAD_ERR("close fpga serdes fail\n");
    return -1200;
}

int ruga_hb_register_test()
{
    unsigned bus = 0;
    int ret = ruga_app_fpga_bus(&bus);
    bool differs = false;
    for (uint32_t word : RUGA_HB_WORDS) {
        uint32_t back = 0;
        if (ret != 0 || (ret = fpga_write(bus, RUGA_HB_REG, word)) != 0 || (ret = fpga_read(bus, RUGA_HB_REG, back)) != 0)
            return ret;
        LOAD_INFO("write test data is (0x%x)\n", word);
        LOAD_INFO("read test data is (0x%x)\n", back);
        differs = differs || back != word;
    }
    // A register that does not keep what was written fails the test.
    if (differs) {
        LOAD_ERR("register test data differ from the data written\n");
        return -1200;
    }
    return 0;
}

int ruda_save_bar_reg()
{
    std::unique_ptr<PciSaveData> data;
    PciePortInfo ports[3]{};
    return save_all(data, ports);
}

int ruda_recover_bar_reg()
{
    std::unique_ptr<PciSaveData> data;
    PciePortInfo ports[3]{};
    int ret = save_all(data, ports);
    if (ret != 0)
        return ret;
    host().sleep(kRecoverWaitS);
    data->dev[2][0].conf[1] = 1;  // command and status of the first function below 0000:80:02.1
    if (ruga_recover_conf_reg(data.get(), ports, 3) != 0) {
        LOAD_ERR("recover reg fail!\n");
        return -1200;
    }
    return 0;
}

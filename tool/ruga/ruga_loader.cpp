#include "tool/ruga/ruga_loader.h"

#include <cstdio>
#include <memory>
#include <new>

#include <fcntl.h>
#include <unistd.h>

#include "bases/drv/ruga_boot_drv.h"
#include "bases/host/host.h"
#include "bases/pci/tvk_dev.h"
#include "kelvo/kelvo.h"
#include "tool/load/fpga_head.h"
#include "tool/load/load_log.h"
#include "tool/load/spi_flash.h"
#include "tool/ruga/ruga_boot.h"
#include "tool/ruga/ruga_pci.h"
#include "tool/ruga/ruga_port.h"
#include "tool/ruga/ruga_reg.h"

namespace {

constexpr uint32_t kChunk = 512;

// The boot-logic reload's ports, in order.
constexpr PciePortInfo kReloadPorts[3] = {{0, 0x80, 2, 1, 0, {}}, {0, 0x00, 3, 0, 0, {}}, {0, 0x00, 3, 2, 0, {}}};

// Steps 2 and 3 of the reload: the driver and application let go, the
// configuration saved; on a failure both are given back.
int release_and_save(RugaBootNode &node, RugaSave &save, int count)
{
    int ret = node.request(RUGA_APP_LOGIC_OFF);
    if (ret != 0) {
        LOAD_ERR("inactive app logic failed\n");
        return ret;
    }
    if ((ret = node.request(RUGA_BOOT_DRV_OFF)) != 0) {
        LOAD_ERR("inactive boot driver failed\n");
        node.request(RUGA_APP_LOGIC_ON);
        return ret;
    }
    if ((ret = ruga_save_conf_reg(save.data.get(), save.ports, count)) != 0) {
        LOAD_ERR("save bar base adrress reg fail!\n");
        node.request(RUGA_BOOT_DRV_ON);
        node.request(RUGA_APP_LOGIC_ON);
    }
    return ret;
}

int read_flash(uint8_t *buf, uint32_t total)
{
    uint32_t at = 0;
    for (; total - at >= kChunk; at += kChunk) {
        int ret = flash_read_data(at, buf + at, kChunk, 0);
        if (ret != 0) {
            LOAD_ERR("Read flash addr=0x%x size=0x%x error\n", at, kChunk);
            return ret;
        }
    }
    if (total == at)
        return 0;
    int ret = flash_read_data(at, buf + at, total - at, 0);
    if (ret != 0)
        LOAD_ERR("Read flash addr=0x%x size=0x%x error\n", at, total - at);
    return ret;
}

int write_dump(const uint8_t *image, const fhead &head)
{
    FILE *file = host().fopen(RUGA_DUMP_FILE, "wb");
    if (file == nullptr) {
        LOAD_ERR("open file (%s) fail\n", RUGA_DUMP_FILE);
        return -1221;
    }
    int ret = 0;
    if (std::fwrite(image, 1, head.size, file) != head.size) {
        LOAD_ERR("write data to file fail\n");
        ret = -1218;
    } else if (std::fseek(file, static_cast<long>(head.size), SEEK_SET) != 0) {
        LOAD_ERR("seek file fail\n");
        ret = -1222;
    } else if (std::fwrite(&head, 1, FHEAD_SIZE, file) != FHEAD_SIZE) {
        LOAD_ERR("write data to file fail\n");
        ret = -1218;
    } else if ((ret = std::fflush(file)) != 0) {
        LOAD_ERR("flush data to file fail\n");
    }
    std::fclose(file);
    return ret;
}

// Between begin and end: the head, the image below it, the file.
int dump_begun(uint32_t capacity)
{
    fhead head{};
    int ret = flash_find_head(0, 0, capacity, false, head);
    if (ret != 0) {
        LOAD_ERR("Flash file head error, ret = %d\n", ret);
        return ret;
    }
    // The same rule as the flash test: the whole stretch, in 64 bits, must
    // stay below the reserved top of the flash before anything is allocated.
    const uint64_t total = uint64_t{head.size} + head.ulAddrOffset;
    if (head.ulAddrOffset < FHEAD_SIZE) {
        LOAD_ERR("file_len is error! file_len is %d, but fhead.ulAddrOffset is %d\n", static_cast<int>(head.size),
                 static_cast<int>(head.ulAddrOffset));
        return -1338;
    }
    if (static_cast<int64_t>(total) > int64_t{capacity} - FLASH_RESERVED) {
        LOAD_ERR("file size bigger than flash size, file size is 0x%x\n", static_cast<uint32_t>(total));
        return -1205;
    }
    std::unique_ptr<uint8_t[]> buf(new (std::nothrow) uint8_t[total]);
    if (!buf) {
        LOAD_ERR("No memory for reading logic file\n");
        return -1209;
    }
    const auto size = static_cast<uint32_t>(total);
    KelvoErr cleared = memset_s(buf.get(), size, 0, size);
    if (cleared != 0) {
        LOAD_ERR("call memset_s fail\n");
        return cleared;
    }
    if ((ret = read_flash(buf.get(), size)) != 0)
        return ret;
    return write_dump(buf.get(), head);
}

// How the reloads differ: the boot-driver requests around them, a serdes
// close after the save, and what is said when the card is left without
// its links.
struct ReloadKind {
    bool driver;         // boot driver and application logic let go and taken back
    int serdes;          // the FPGA type whose serdes is closed; -1: none
    bool appOn;          // application logic on after the boot driver
    bool powerHint;      // ask for a power cycle when the load or the links fail
};
constexpr ReloadKind kActiveReload = {true, -1, false, false};
constexpr ReloadKind kWholeReload = {true, 0, true, false};
constexpr ReloadKind kBootReload = {false, 1, false, true};

constexpr uint32_t kFpgaKindReg = 0x2E;
constexpr uint16_t kKindApp = 0x3000;
constexpr uint16_t kKindPlatform = 0x2000;
constexpr uint32_t kSerdesMinVersion = 105;

void power_hint(const ReloadKind &kind)
{
    if (kind.powerHint)
        LOAD_ERR("RUGA: please power off and power on manually!\n");
}

// Links down, flash 0 loaded, links up, configuration written back.
int load_between_links(const ReloadKind &kind, RugaSave &save)
{
    ruga_close_pcie_port(save.ports, 3);
    host().usleep(1000);
    LOAD_INFO("RUGA: begin load fpga\n");
    int ret = ruda_load_fpga(0);
    if (ret != 0) {
        LOAD_ERR("RUGA: load boot logic to FPGA fail!\n");
        power_hint(kind);
        ruga_open_pcie_port(save.ports, 3);
        return ret;
    }
    LOAD_INFO("RUGA: end load fpga\n");
    if ((ret = ruga_open_pcie_port(save.ports, 3)) != 0) {
        LOAD_ERR("FATAL! open root pcie port fail!\n");
        power_hint(kind);
        return ret;
    }
    if ((ret = ruga_recover_conf_reg(save.data.get(), save.ports, 3)) != 0)
        LOAD_ERR("recover bar base address reg fail!\n");
    return ret;
}

int reload(const ReloadKind &kind)
{
    RugaSave save;
    RugaBootNode node;  // left unopened, it skips every request
    int ret = ruga_new_save(save, kReloadPorts, 3);
    if (ret != 0 || (kind.driver && (ret = node.open()) != 0) || (ret = release_and_save(node, save, 3)) != 0)
        return ret;
    if (kind.serdes >= 0)
        ruga_close_fpga_serdes(static_cast<uint32_t>(kind.serdes));
    if ((ret = load_between_links(kind, save)) != 0)
        return ret;
    if ((ret = node.request(RUGA_BOOT_DRV_ON)) != 0) {
        LOAD_ERR("active boot driver failed\n");
        return ret;
    }
    if (kind.appOn && (ret = node.request(RUGA_APP_LOGIC_ON)) != 0)
        LOAD_ERR("active app logic failed\n");
    return ret;
}

}

int ruga_active_boot_logic() { return reload(kActiveReload); }
int ruga_reload_whole_logic() { return reload(kWholeReload); }
int ruga_reload_boot_logic() { return reload(kBootReload); }

int ruga_reload_boot_logic_without_save_reg()
{
    unsigned bus = 0;
    uint16_t kind = 0;
    if (ruga_app_fpga_bus(&bus) == 0 && tvk_read_conf_word(bus, 0, kFpgaKindReg, &kind) == 0) {
        if (kind == kKindApp) {
            uint32_t type = 7;
            uint32_t version = 0;
            ruga_get_app_type(&type);
            ruga_get_app_ver(&version);
            if (type == 1 && version >= kSerdesMinVersion)
                ruga_close_fpga_serdes(0);
        } else if (kind == kKindPlatform) {
            ruga_close_fpga_serdes(1);
        }
    }
    int ret = ruda_load_fpga(0);
    if (ret != 0)
        LOAD_ERR("RUGA: load logic to FPGA fail!\n");
    return ret;
}

int ruga_get_flash_boot_logic_ver(uint32_t *version)
{
    if (version == nullptr || ruda_get_spi_flash_ver(0, version, 0) != 0) {
        LOAD_ERR("get boot logic version fail\n");
        return -1200;
    }
    LOAD_INFO("RUGA flash boot logic version: %d\n", static_cast<int>(*version));
    return 0;
}

int ruga_dump_boot_logic()
{
    uint32_t capacity = 0;
    int ret = flash_get_cap(0, &capacity);
    if (ret != 0) {
        LOAD_ERR("get flash cap error, (0x%x)\n", static_cast<unsigned>(ret));
        return ret;
    }
    if ((ret = flash_begin(0)) != 0) {
        LOAD_ERR("flash begin error\n");
        return ret;
    }
    ret = dump_begun(capacity);
    flash_end(0);
    return ret;
}

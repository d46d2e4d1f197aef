#include "tool/ruga/ruga_port.h"

#include <cstring>
#include <dirent.h>

#include "bases/host/host.h"
#include "bases/pci/tvk_dev.h"
#include "kelvo/kelvo.h"
#include "tool/load/load_log.h"
#include "tool/ruga/ruga_pci.h"

namespace {

constexpr int kLinkPolls = 2000;
constexpr int kSettleMs = 100;

unsigned devfn_of(uint32_t device, uint32_t function) { return (device << 3) | (function & 7); }
unsigned devfn_of(const PciePortInfo &p) { return devfn_of(p.device, p.function); }

int count_ok(int count)
{
    if (count >= 1 && count <= static_cast<int>(RUGA_MAX_PORTS))
        return 0;
    LOAD_ERR("input device number error, (%d)\n", count);
    return -1335;
}

int save_child(PciDevConf *slots, const RugaPciDev &c)
{
    PciDevConf *rec = nullptr;
    for (uint32_t k = 0; k < RUGA_MAX_CHILDREN && rec == nullptr; k++)
        if (slots[k].valid == 0)
            rec = &slots[k];
    if (rec == nullptr) {
        LOAD_ERR("hold pcie device BDF fail!\n");
        return -1398;
    }
    rec->valid = 1;
    rec->domain = static_cast<uint16_t>(c.domain);
    rec->bus = static_cast<uint8_t>(c.bus);
    rec->device = static_cast<uint8_t>(c.device);
    rec->function = static_cast<uint8_t>(c.function);
    for (uint32_t i = 0; i < 256; i++) {
        int ret = tvk_read_conf_dword(c.bus, devfn_of(c.device, c.function), 4 * i, &rec->conf[i]);
        if (ret != 0) {
            LOAD_ERR("read conf data fail, reg(0x%x), val(0x%x)\n", 4 * i, rec->conf[i]);
            return ret;
        }
    }
    return 0;
}

int save_port(PciDevConf *slots, PciePortInfo &port)
{
    DIR *dir = ruga_open_port_dir(port.domain, port.bus, port.device, port.function);
    if (dir == nullptr)
        return -1216;
    int ret = 0;
    for (struct dirent *e = host().readdir(dir); e != nullptr && ret == 0; e = host().readdir(dir)) {
        RugaPciDev c{};
        if (!ruga_pci_child(e->d_name, c))
            continue;
        port.present = 1;
        ret = save_child(slots, c);
    }
    host().closedir(dir);
    return ret;
}

// Sets or clears Link Disable by read-modify-write; judged on bit 4 alone.
bool set_link_disable(const PciePortInfo &p, bool disable)
{
    uint16_t word = 0;
    if (tvk_read_conf_word(p.bus, devfn_of(p), RUGA_LINK_CONTROL, &word) != 0)
        return false;
    word = static_cast<uint16_t>(disable ? word | RUGA_LINK_DISABLE : word & ~RUGA_LINK_DISABLE);
    if (tvk_write_conf_word(p.bus, devfn_of(p), RUGA_LINK_CONTROL, word) != 0)
        return false;
    uint16_t back = 0;
    if (tvk_read_conf_word(p.bus, devfn_of(p), RUGA_LINK_CONTROL, &back) != 0)
        return false;
    return ((back & RUGA_LINK_DISABLE) != 0) == disable;
}

// Waits for speed and width to read non-zero; false with the last word.
bool link_up(const PciePortInfo &p, uint16_t &status)
{
    for (int i = 0; i < kLinkPolls; i++) {
        if (i > 0)
            host().usleep(1000);
        status = 0;
        if (tvk_read_conf_word(p.bus, devfn_of(p), RUGA_LINK_STATUS, &status) == 0 && (status & 0xF) != 0 &&
            ((status >> 4) & 0x3F) != 0)
            return true;
    }
    return false;
}

int write_back(const PciDevConf &rec)
{
    for (int i = 255; i >= 0; i--) {
        const auto offset = static_cast<uint32_t>(4 * i);
        int ret = tvk_write_conf_dword(rec.bus, devfn_of(rec.device, rec.function), offset, rec.conf[i]);
        if (ret != 0) {
            LOAD_ERR("write conf data fail, reg(0x%x)\n", offset);
            return ret;
        }
    }
    return 0;
}

}

int ruga_save_conf_reg(PciSaveData *data, PciePortInfo *ports, int count)
{
    if (data == nullptr || ports == nullptr) {
        LOAD_ERR("input pstPciData or pstPcieInfo is Null!\n");
        return -1201;
    }
    int ret = count_ok(count);
    for (int i = 0; i < count && ret == 0; i++)
        ret = save_port(data->dev[i], ports[i]);
    return ret;
}

int ruga_close_pcie_port(const PciePortInfo *ports, int count)
{
    if (ports == nullptr) {
        LOAD_ERR("input pstPcieInfo is Null!\n");
        return -1201;
    }
    int ret = count_ok(count);
    for (int i = 0; i < count && ret == 0; i++) {
        const PciePortInfo &p = ports[i];
        if (p.present != 1)
            continue;
        if (set_link_disable(p, true))
            LOAD_INFO("close pcie port success! (0x%02x:0x%02x.0x%01x)\n", p.bus, p.device, p.function);
        else
            LOAD_ERR("close pcie port fail! (0x%02x:0x%02x.0x%01x)\n", p.bus, p.device, p.function);
    }
    return ret;
}

int ruga_open_pcie_port(const PciePortInfo *ports, int count)
{
    if (ports == nullptr) {
        LOAD_ERR("input pstPcieInfo is Null!\n");
        return -1201;
    }
    int ret = count_ok(count);
    if (ret != 0)
        return ret;
    for (int i = 0; i < count; i++) {
        const PciePortInfo &p = ports[i];
        if (p.present != 1)
            continue;
        if (set_link_disable(p, false)) {
            LOAD_INFO("open pcie port success! (0x%02x:0x%02x.0x%01x)\n", p.bus, p.device, p.function);
        } else {
            LOAD_ERR("open pcie port fail! (0x%02x:0x%02x.0x%01x)\n", p.bus, p.device, p.function);
            ret = -1316;
        }
    }
    return ret;
}

int ruga_recover_conf_reg(PciSaveData *data, const PciePortInfo *ports, int count)
{
    if (data == nullptr || ports == nullptr) {
        LOAD_ERR("input pstPciData is Null!\n");
        return -1201;
    }
    int ret = count_ok(count);
    if (ret != 0)
        return ret;
    for (int i = 0; i < count; i++) {
        for (const PciDevConf &rec : data->dev[i]) {
            if (rec.valid != 1)
                continue;
            uint16_t status = 0;
            if (!link_up(ports[i], status)) {
                LOAD_ERR("pcie device(%02x:%02x.%01x) link error(link width x%x), can't write back config data\n",
                         ports[i].bus, ports[i].device, ports[i].function, static_cast<unsigned>(status));
                ret = -1316;  // skipped: the restore is not whole
                continue;
            }
            for (int ms = 0; ms < kSettleMs; ms++)
                host().usleep(1000);
            int wrote = write_back(rec);
            if (wrote != 0)
                return wrote;
        }
    }
    return ret;
}

// The configuration of every function below the RUGA card's root ports,
// saved before their links go down and written back once they are up, and
// the links themselves (Link Disable in the port's Link Control word).
#ifndef QUORBIX_TOOL_RUGA_RUGA_PORT_H
#define QUORBIX_TOOL_RUGA_RUGA_PORT_H

#include <cstddef>
#include <cstdint>

inline constexpr uint32_t RUGA_MAX_PORTS = 4;
inline constexpr uint32_t RUGA_MAX_CHILDREN = 8;
inline constexpr uint32_t RUGA_LINK_CONTROL = 0xA0;
inline constexpr uint32_t RUGA_LINK_STATUS = 0xA2;
inline constexpr uint16_t RUGA_LINK_DISABLE = 0x0010;

struct PciePortInfo {
    uint16_t domain;
    uint8_t bus;
    uint8_t device;
    uint8_t function;
    uint8_t present;  // 1: the save found a function below the port
    uint8_t reserved[2];
};
static_assert(sizeof(PciePortInfo) == 8);
static_assert(offsetof(PciePortInfo, function) == 4 && offsetof(PciePortInfo, present) == 5);

struct PciDevConf {
    uint32_t valid;
    uint32_t conf[256];  // offsets 0 to 1020
    uint16_t domain;
    uint8_t bus;
    uint8_t device;
    uint8_t function;
    uint8_t reserved[3];
};
static_assert(sizeof(PciDevConf) == 1036);
static_assert(offsetof(PciDevConf, conf) == 4 && offsetof(PciDevConf, domain) == 1028);
static_assert(offsetof(PciDevConf, bus) == 1030 && offsetof(PciDevConf, function) == 1032);

struct PciSaveData {
    PciDevConf dev[RUGA_MAX_PORTS][RUGA_MAX_CHILDREN];
};
static_assert(sizeof(PciSaveData) == 33152);

int ruga_save_conf_reg(PciSaveData *data, PciePortInfo *ports, int count);
int ruga_recover_conf_reg(PciSaveData *data, const PciePortInfo *ports, int count);
int ruga_close_pcie_port(const PciePortInfo *ports, int count);
int ruga_open_pcie_port(const PciePortInfo *ports, int count);

#endif

// SFP commands: module register read and write, hot-swap state, memory
// dump, status and identity (through the board library, or through the
// network interfaces' attribute files on boards whose ports are plain
// interfaces), the PCI address parser, and the KESP PCIe endpoint commands.
#ifndef QUORBIX_TOOL_TRANS_SFP_H
#define QUORBIX_TOOL_TRANS_SFP_H

#include <cstddef>
#include <cstdint>

#include "boardlib/sfp_8472.h"
#include "tool/trans_op.h"

TransOpStatus get_sfp_reg(const char *params);
TransOpStatus set_sfp_reg(const char *params);
TransOpStatus get_sfp_hs_status(const char *params);
TransOpStatus add_pcie_port_ep(const char *params);
TransOpStatus remove_pcie_port_ep(const char *params);
TransOpStatus get_sfp_data(const char *params);
TransOpStatus get_sfp_status(const char *params);
TransOpStatus get_sfp_info(const char *params);

// ---- PCI addresses ------------------------------------------------------------------------

struct EthPciAddr {
    uint8_t bus;
    uint8_t device;
    uint8_t function;
    uint8_t pad;
    uint16_t domain;
    uint8_t pad2[2];
};
static_assert(sizeof(EthPciAddr) == 8);
static_assert(offsetof(EthPciAddr, function) == 2 && offsetof(EthPciAddr, domain) == 4);

// "domain:bus:device.function" in hexadecimal; works on its own copy of
// the text. 0; -1202 empty text or nothing after the last ":"; -1317 not
// two ":"; -1398 no "." in the first 256 characters after them; -1361
// nothing after the "."; -1200 a character that is no hexadecimal digit.
int32_t eth_pci_get_dev_func(const char *text, EthPciAddr *addr);

// ---- per-port queries ------------------------------------------------------------------------

int32_t get_sfp_status_byid(uint8_t port);
int32_t get_sfp_info_byid(uint8_t fpga, uint8_t port);

// Prints the identity block of a module; `speedNotice` adds the notice of
// a zero speed and makes the result -1398.
int32_t sfp_print_identity(const SfpInfo &info, bool speedNotice);

// ---- ports that are network interfaces (sfp_sysfs.cpp) ------------------------------------------

inline constexpr const char *kNetClassDir = "/sys/class/net";
inline constexpr size_t kPortNameSize = 32;

int32_t get_sfp_info_by_name(uint32_t mapType, uint32_t port);
int32_t get_port_name_by_portid(uint32_t mapType, uint32_t port, char name[kPortNameSize]);
int32_t eth_get_bus_info(const char *name, EthPciAddr *root, EthPciAddr *dev);
int32_t get_net_port_dev_id(const char *name, char *devId, size_t size);
int32_t get_sfp_present_sysfs(const char *name, uint8_t *present);
int32_t get_sfp_area_sysfs(const char *name, uint32_t dev, uint32_t offset, uint32_t length, uint8_t *buf);
int32_t get_port_sfp_info(const char *name, SfpInfo *info);

#endif

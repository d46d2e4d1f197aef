// The RUGA FPGA's PCI functions below the host's root ports: the sysfs
// directory of a function, the FPGA function (device 0, function 0) below
// a port, and the version and type words of its BAR 0.
#ifndef QUORBIX_TOOL_RUGA_RUGA_PCI_H
#define QUORBIX_TOOL_RUGA_RUGA_PCI_H

#include <cstdint>
#include <dirent.h>

// A root port as one number: bits 0-15 domain, 16-23 bus, 24-31 device,
// 32-39 function.
inline constexpr uint64_t RUGA_PORT_BOOT = 0x102800000ull;  // 0000:80:02.1
inline constexpr uint64_t RUGA_PORT_APP = 0x3000000ull;     // 0000:00:03.0
inline constexpr uint32_t RUGA_PATH_SIZE = 128;

struct RugaPciDev {
    uint32_t domain, bus, device, function;
};

// The canonical directory of a function into `path` (RUGA_PATH_SIZE bytes).
int ruga_find_real_path(uint32_t domain, uint32_t bus, uint32_t device, uint32_t function, char *path);
// "0000:BB:DD.F" directory entries; false for any other name.
bool ruga_pci_child(const char *name, RugaPciDev &dev);
// The port's canonical directory, opened; null after the error lines.
DIR *ruga_open_port_dir(uint32_t domain, uint32_t bus, uint32_t device, uint32_t function);
int ruga_find_tanden_dev(uint64_t port, RugaPciDev *dev);
int ruga_bar_read(unsigned bus, unsigned devfn, uint8_t bar, uint8_t *buf, uint32_t len, int offset);
int ruga_bar_write(unsigned bus, unsigned devfn, uint8_t bar, const uint8_t *buf, uint32_t len, int offset);
int ruga_mmap_read(const char *path, int64_t offset, uint32_t len, void *buf);
int ruga_mmap_write(const char *path, int64_t offset, uint32_t len, const void *buf);
int ruga_read_fpga_register(uint64_t port, uint8_t bar, int offset, uint32_t *value);

// Each prints its line; a failed read prints 65535 (version) or 7 (type)
// and returns the read's status.
int ruga_get_run_boot_logic_ver(uint32_t *version);
int ruga_get_app_ver(uint32_t *version);
int ruga_get_app_type(uint32_t *type);
int ruga_get_flash_logic_type(uint32_t *type);

#endif

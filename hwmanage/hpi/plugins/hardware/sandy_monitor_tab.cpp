// The uncore monitor's constant tables: logical PCI Express ports, bit
// names of the global error words, description labels of every dumped
// register (in print order), QPI link rates and the port types of the
// uncore device ids.
#include <cstdint>

#include "bases/pci/tvk_dev.h"
#include "bases/pci/tvk_log.h"
#include "hwmanage/hpi/plugins/hardware/sandy_monitor.h"

const sandy_port_bdf g_stPortBDF[SANDY_PCIE_PORTS] = {
    {0, 0, 0, 0}, {1, 0, 1, 0}, {2, 0, 1, 1}, {3, 0, 2, 0}, {4, 0, 2, 1},  {5, 0, 2, 2},
    {6, 0, 2, 3}, {7, 0, 3, 0}, {8, 0, 3, 1}, {9, 0, 3, 2}, {10, 0, 3, 3},
};

const char *const sandy_gerror_desc[32] = {
    "IRP0 Coherent Interface", "IRP1 Coherent Interface", "Reserved", "Reserved", "Reserved",
    "PCIe logical port 0.", "PCIe logical port 1a.", "PCIe logical port 1b.", "PCIe logical port 2a.",
    "PCIe logical port 2b.", "PCIe logical port 2c.", "PCIe logical port 2d.", "PCIe logical port 3a.",
    "PCIe logical port 3b.", "PCIe logical port 3c.", "PCIe logical port 3d.", "Reserved", "Reserved", "Reserved",
    "Reserved", "IIO DMI port 0.", "Reserved", "IIO core DMA engine.", "IIO core.", "Miscellaneous.", "VTd.",
    "Reserved", "Reserved", "Reserved", "Reserved", "Reserved", "Reserved",
};

const char *const sandy_gerr_reg_desc[9] = {
    "\tGlobal Non-Fatal Error Status, addr: 0x1C0", "\tGlobal Fatal Error Status, addr: 0x1C4",
    "\tGlobal Error Control, addr: 0x1C8",          "\tGlobal System Event Status, addr: 0x1CC",
    "\tGlobal System Event Control, addr: 0x1D0",   "\tGlobal Fatal FERR Status, addr: 0x1DC",
    "\tGlobal Fatal NERR Status, addr: 0x1E8",      "\tGlobal Non-Fatal FERR Status, addr:0x1EC",
    "\tGlobal Non-Fatal NERR Status, addr: 0x1F8",
};

const char *const sandy_sysevt_reg_desc[9] = {
    "\tIRP Protocol Error Severity, addr: 0x80", "\tIIO Core Error Severity, addr: 0x8C",
    "\tMiscellaneous Error Severity, addr: 0x90", "\tPCIe Error Severity Map, addr: 0x94",
    "\tSystem Error Event Map, addr: 0x9C",       "\tViral Alert, addr: 0xA0",
    "\tError Pin Control, addr: 0xA4",            "\tError Pin Status, addr: 0xA8",
    "\tError Pin Data, addr: 0xAC",
};

const char *const sandy_irp_reg_desc[32] = {
    "\tIRP0 Protocol Error Status, addr: 0x230",
    "\tIRP0 Protocol Error Control, addr: 0x234",
    "\tIRP0 Protocol Fatal FERR Status, addr: 0x238",
    "\tIRP0 Protocol Fatal NERR Status, addr: 0x23C",
    "\tIRP0 Protocol Fatal FERR Header Log 0, addr: 0x240",
    "\tIRP0 Protocol Fatal FERR Header Log 1, addr: 0x244",
    "\tIRP0 Protocol Fatal FERR Header Log 2, addr: 0x248",
    "\tIRP0 Protocol Fatal FERR Header Log 3, addr: 0x24C",
    "\tIRP0 Protocol Non-Fatal FERR Status, addr: 0x250",
    "\tIRP0 Protocol Non-Fatal NERR Status, addr: 0x254",
    "\tIRP0 Protocol Non-Fatal FERR Header Log 0, addr: 0x258",
    "\tIRP0 Protocol Non-Fatal FERR Header Log 1, addr: 0x25C",
    "\tIRP0 Protocol Non-Fatal FERR Header Log 2, addr: 0x260",
    "\tIRP0 Protocol Non-Fatal FERR Header Log 3, addr: 0x264",
    "\tIRP0 Protocol Error Counter Select, addr: 0x268",
    "\tIRP0 Protocol Error Counter, addr: 0x26C",
    "\tIRP1 Protocol Error Status, addr: 0x2B0",
    "\tIRP1 Protocol Error Control, addr: 0x2B4",
    "\tIRP1 Protocol Fatal FERR Status, addr: 0x2B8",
    "\tIRP1 Protocol Fatal NERR Status, addr: 0x2BC",
    "\tIRP1 Protocol Fatal FERR Header Log 0, addr: 0x2C0",
    "\tIRP1 Protocol Fatal FERR Header Log 1, addr: 0x2C4",
    "\tIRP1 Protocol Fatal FERR Header Log 2, addr: 0x2C8",
    "\tIRP1 Protocol Fatal FERR Header Log 3, addr: 0x2CC",
    "\tIRP1 Protocol Non-Fatal FERR Status, addr: 0x2D0",
    "\tIRP1 Protocol Non-Fatal NERR Status, addr: 0x2D4",
    "\tIRP1 Protocol Non-Fatal FERR Header Log 0, addr: 0x2D8",
    "\tIRP1 Protocol Non-Fatal FERR Header Log 1, addr: 0x2DC",
    "\tIRP1 Protocol Non-Fatal FERR Header Log 2, addr: 0x2E0",
    "\tIRP1 Protocol Non-Fatal FERR Header Log 3, addr: 0x2E4",
    "\tIRP1 Protocol Error Counter Select, addr: 0x2E8",
    "\tIRP1 Protocol Error Counter, addr: 0x2EC",
};

const char *const sandy_iio_reg_desc[16] = {
    "\tIIO Core Error Status, addr: 0x300",
    "\tIIO Core Error Control, addr: 0x304",
    "\tIIO Core Fatal FERR Status, addr: 0x308",
    "\tIIO Core Fatal FERR Header 0, addr: 0x30c",
    "\tIIO Core Fatal FERR Header 1, addr: 0x310",
    "\tIIO Core Fatal FERR Header 2, addr: 0x314",
    "\tIIO Core Fatal FERR Header 3, addr: 0x318",
    "\tIIO Core Fatal NERR Status, addr: 0x31c",
    "\tIIO Core Non-Fatal FERR Status, addr: 0x320",
    "\tIIO Core Non-Fatal FERR Header 0, addr: 0x324",
    "\tIIO Core Non-Fatal FERR Header 1, addr: 0x328",
    "\tIIO Core Non-Fatal FERR Header 2, addr: 0x32c",
    "\tIIO Core Non-Fatal FERR Header 3, addr: 0x330",
    "\tIIO Core Non-Fatal NERR Status, addr: 0x334",
    "\tIIO Core Error Counter Selection, addr: 0x33c",
    "\tIIO Core Error Counter, addr: 0x340",
};

const char *const sandy_misc_reg_desc[16] = {
    "\tMiscellaneous Error Status, addr: 0x380",
    "\tMiscellaneous Error Control, addr: 0x384",
    "\tMiscellaneous Fatal First Error Status, addr: 0x388",
    "\tMiscellaneous Fatal First Error Header 0 Log, addr: 0x38C",
    "\tMiscellaneous Fatal First Error Header 1 Log, addr: 0x390",
    "\tMiscellaneous Fatal First Error Header 2 Log, addr: 0x394",
    "\tMiscellaneous Fatal First Error Header 3 Log, addr: 0x398",
    "\tMiscellaneous Fatal Next Error Status, addr: 0x39c",
    "\tMiscellaneous Non-Fatal First Error Status, addr: 0x3A0",
    "\tMiscellaneous Non-Fatal First Error Header 0 Log, addr: 0x3A4",
    "\tMiscellaneous Non-Fatal First Error Header 1 Log, addr: 0x3A8",
    "\tMiscellaneous Non-Fatal First Error Header 2 Log2, addr: 0x3Ac",
    "\tMiscellaneous Non-Fatal First Error Header 3 Log, addr: 0x3B0",
    "\tMiscellaneous Non-Fatal Next Error Status, addr: 0x3B4",
    "\tMiscellaneous Error Count Select, addr: 0x3BC",
    "\tMiscellaneous Error Counter, addr: 0x3C0",
};

const char *const sandy_qpi_reg_desc[4] = {
    "\tIntel QPI Error Disable, addr: 0x74",
    "\tIntel QPI Error Counter 0, addr: 0x78",
    "\tIntel QPI Error Counter 1, addr: 0x7C",
    "\tIntel QPI Misc Status, addr: 0xD4",
};

const char *const sandy_xp_reg_desc[14] = {
    "\tXP Correctable Error Status, addr: 0x200",
    "\tXP Correctable Error Mask, addr: 0x204",
    "\tXP Uncorrectable Error Status, addr: 0x208",
    "\tXP Uncorrectable Error Mask, addr: 0x20C",
    "\tXP Uncorrectable Error Severity, addr: 0x210",
    "\tXP Uncorrectable Error Pointer, addr: 0x214",
    "\tUncorrectable Error Detect Status Mask, addr: 0x218",
    "\tCorrectable Error Detect Status Mask, addr: 0x21C",
    "\tRoot Port Error Detect Status Mask, addr: 0x220",
    "\tXP Uncorrectable Error Detect Mask, addr: 0x224",
    "\tXP Correctable Error Detect Mask, addr: 0x228",
    "\t\tXP Global Error Status, addr: 0x230",
    "\t\tXP Global Error Pointer, addr: 0x232",
    "\tLane Error Status Register, addr:0x258",
};

const char *const sandy_pcie_reg_desc[20] = {
    "\t\tPCI Express Capability Identity, offset: 0x00",
    "\t\tPCI Express Next Pointer, offset: 0x01",
    "\t\tPCI Express Capabilities Register, offset: 0x02",
    "\tPCI Express Device Capabilities, offset: 0x04",
    "\t\tPCI Express Device Control, offset: 0x08",
    "\t\tPCI Express Device Status, offset: 0x0a",
    "\tPCI Express Link Capabilities, offset: 0x0c",
    "\t\tPCI Express Link Control, offset: 0x10",
    "\t\tPCI Express Link Status, offset: 0x12",
    "\tPCI Express Slot Capabilities, offset: 0x14",
    "\t\tPCI Express Slot Control, offset: 0x18",
    "\t\tPCI Express Slot Status, offset: 0x1a",
    "\t\tPCI Express Root Control, offset: 0x1c",
    "\t\tPCI Express Root Capabilities, offset: 0x1e",
    "\tPCI Express Root Status, offset: 0x20",
    "\tPCI Express Device Capabilities 2 Register, offset: 0x24",
    "\t\tPCI Express Device Control Register 2, offset: 0x28",
    "\tPCI Express Link Capabilities 2, offset: 0x2c",
    "\t\tPCI Express Link Control 2 Register, offset: 0x30",
    "\t\tPCI Express Link Status Register 2, offset: 0x32",
};

const char *const sandy_aer_reg_desc[16] = {
    "\tPCI Express Enhanced Capability Header - Root Ports, offset: 0x00",
    "\tUncorrectable Error Status, offset: 0x04",
    "\tUncorrectable Error Mask, offset: 0x08",
    "\tUncorrectable Error Severity, offset: 0x0c",
    "\tCorrectable Error Status, offset: 0x10",
    "\tCorrectable Error Mask, offset: 0x14",
    "\tAdvanced Error Capabilities and Control Register, offset: 0x18",
    "\tHeader Log 0, offset: 0x1c",
    "\tHeader Log 1, offset: 0x20",
    "\tHeader Log 2, offset: 0x24",
    "\tHeader Log 3, offset: 0x28",
    "\tRoot Port Error Command, offset: 0x2c",
    "\tRoot Port Error Status, offset: 0x30",
    "\tError Source Identification, offset: 0x34",
    "\tPerformance Control and Status, offset: 0x38",
    "\tMisc. Control and Status, offset: 0x40",
};

const char *const sandy_bridge_reg_desc[2] = {
    "\tPCI Status Register, addr: 0x06",
    "\tSecondary Status Register, addr: 0x1e",
};

namespace {

constexpr uint16_t kIntel = 0x8086;

struct PortTypeRow {
    uint16_t first;
    uint16_t last;
    int type;
};
constexpr PortTypeRow kPortTypes[] = {
    {0x3C00, 0x3C00, 1},
    {0x3C01, 0x3C0B, 0},
    {0x3C0D, 0x3C0F, 2},
};
constexpr int kOtherType = 3;

constexpr const char *kQpiSpeed[8] = {"UNKNOWN", "UNKNOWN", "5.6GT/s", "6.4GT/s",
                                      "7.2GT/s", "8.0GT/s", "8.8GT/s", "9.6GT/s"};

} // namespace

int sandy_tell_port_type(uint8_t bus, uint8_t devfn)
{
    uint16_t vendor = 0, device = 0;
    int r = tvk_read_conf_word(bus, devfn, 0x00, &vendor);
    if (r < 0) {
        TVK_ERR("Cannot read PCI_VENDOR_ID, ret=%d\n", r);
        return r;
    }
    r = tvk_read_conf_word(bus, devfn, 0x02, &device);
    if (r < 0) {
        TVK_ERR("Cannot read PCI_DEVICE_ID, ret=%d\n", r);
        return r;
    }
    if (vendor != kIntel)
        return kOtherType;
    for (const PortTypeRow &row : kPortTypes)
        if (device >= row.first && device <= row.last)
            return row.type;
    return kOtherType;
}

const char *sandy_qpispeed_str(uint32_t code) { return code < 8 ? kQpiSpeed[code] : "UNKNOWN"; }

uint8_t sandy_root_bus(int cpu) { return cpu == 0 ? g_ucCpu0Bus0 : g_ucCpu1Bus0; }

uint8_t sandy_uncore_bus(int cpu) { return cpu == 0 ? g_ucCpu0Bus1 : g_ucCpu1Bus1; }

// The simulated PCI bus: one configuration store behind three routes.
//
// - Per-function files "/proc/bus/pci/BB/DD.F" (or "0000:BB/DD.F" when the
//   board asks for domain directories), 256 or 4096 bytes; reads and writes
//   past the size are short. Writes keep register behaviour: identity,
//   class, header type, capability pointer and capability headers are
//   read-only; Status and Secondary Status have write-one-to-clear error
//   bits 15:11 and 8 (the rest read-only); PCI Express Device Status bits
//   3:0 and Link Status bits 15:14 are write-one-to-clear (the rest
//   read-only); the AER uncorrectable, correctable and (root ports) root
//   error status registers are write-one-to-clear; the rest read-write.
//   Each function's space is a register file of dwords (sim/kit), so
//   fixtures can add masks and timed values.
// - "/proc/bus/pci/devices" in the kernel's format.
// - Ports 0xCF8-0xCFF (mechanism #1): a dword written to 0xCF8 selects;
//   with the enable bit clear or no function there the data ports read all
//   ones and ignore writes.
// - "/dev/mch_esb_dev": one write of a 32-byte request record; EINVAL for
//   another length, width or operation; a read request gets its value in
//   the record (all ones for an absent function).
#ifndef QUORBIX_SIM_PCI_BUS_H
#define QUORBIX_SIM_PCI_BUS_H

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "sim/kit/reg_file.h"
#include "sim/kit/sim_doc.h"

struct PciResource {
    uint64_t start = 0;
    uint64_t end = 0;
    uint64_t flags = 0;
};

struct PciFunction {
    uint8_t bus = 0;
    uint8_t devfn = 0;
    size_t size = 256;                    // 256 or 4096
    RegFile regs;                         // dwords at offsets 0, 4, ...
    int irq = -1;                         // -1: the interrupt line register
    std::string driver;
    std::vector<PciResource> resources;   // BAR 0-5 and the ROM, in order
    bool rulesStale = true;               // the lists changed behind the rules' back
    std::map<uint32_t, uint32_t> w1cExtra; // fixture: dword offset -> write-one-to-clear bits
    void (*written)(PciFunction &fn, uint32_t dword) = nullptr;  // a model's hook after each dword written
};

using PciBytes = std::vector<uint8_t>;

// ---- the store ------------------------------------------------------------------------

// Forget every function (and its nodes) and the domain setting.
void pci_bus_reset();
// Register the ports, the driver node and the devices file (after sim_reset).
void pci_bus_attach_nodes();
// Procfs directories carry the domain ("0000:BB") from now on.
void pci_bus_set_domains(bool on);
// Add or replace a function with `bytes` (256 or 4096 bytes; shorter is
// padded with zeros up to 256 or 4096); the rules come from its lists.
PciFunction &pci_bus_add(uint8_t bus, uint8_t devfn, const PciBytes &bytes);
PciFunction *pci_bus_find(uint8_t bus, uint8_t devfn);
std::vector<PciFunction *> pci_bus_functions();
// The procfs path of a function.
std::string pci_bus_path(uint8_t bus, uint8_t devfn);

// Accesses as the device sees them (rules apply), any offset and width 1-4.
uint32_t pci_conf_read(PciFunction &fn, uint32_t offset, int width);
void pci_conf_write(PciFunction &fn, uint32_t offset, uint32_t value, int width);
// Fixture facts: `mask` of the field `offset` (at most a dword, within one)
// becomes write-one-to-clear; `bits` are ORed into it `delayNs` of virtual
// time from now.
void pci_bus_w1c(PciFunction &fn, uint32_t offset, uint32_t mask);
void pci_bus_event(PciFunction &fn, uint32_t offset, uint32_t bits, uint64_t delayNs);
// Back doors: no rule applies.
PciBytes pci_conf_bytes(const PciFunction &fn);
void pci_conf_poke(PciFunction &fn, uint32_t offset, const PciBytes &bytes);

// The devices file's text.
std::string pci_devices_text();

// ---- board hooks ------------------------------------------------------------------------

// The functions of a saved board ("pci" section); false with saved.error
// when the section does not parse. A board without the section keeps what
// its fixture added.
bool pci_bus_attach(SimDoc &saved);
void pci_bus_save(SimDoc &doc);

// What a function of the saved board may hold: at most seven resources
// (BAR 0-5 and the ROM), each either I/O or a memory range inside the
// simulated memory; a driver name of one printable word of at most 255
// bytes (a word of the devices file's line).
inline constexpr size_t kPciResourceSlots = 7;
inline constexpr size_t kPciMaxDriverName = 255;
bool pci_resource_ok(const PciResource &r);
bool pci_driver_name_ok(std::string_view name);

// ---- fixture lines: the text of a configuration dump ---------------------------------------
//
//   BB:DD.F TEXT...  or  DDDD:BB:DD.F TEXT...   a function starts (domain 0 only)
//   OO: xx xx ...                              bytes at offset OO (rows past 0xFF: 4096 bytes)
//   irq N                                      the function's interrupt
//   driver NAME                                the driver bound to it
//   resource START END FLAGS                   its next resource (BAR 0-5, ROM)
//   pci-domains                                procfs directories carry the domain
//   pci-w1c OFFSET MASK                        bits MASK of the dword at OFFSET are write-one-to-clear
//   pci-event OFFSET BITS MS                   BITS are ORed into the register at OFFSET
//                                              (width of BITS, at most a dword) MS ms of
//                                              virtual time after the line is read
//
// A function is added when its header line comes; rows and the lines
// after it change that function.
bool pci_fixture_owns(std::string_view word);
bool pci_fixture_line(std::string_view line, std::string &error);

// The default board's tree, as a dump.
std::string_view pci_default_tree();

// ---- builders for tests and generators -------------------------------------------------------

void pci_put(PciBytes &b, size_t offset, uint32_t value, int width);
uint32_t pci_get(const PciBytes &b, size_t offset, int width);
// A header-type-0 function: ids, class code (base, sub, interface) and revision.
PciBytes pci_build_endpoint(uint16_t vendor, uint16_t device, uint32_t classCode, uint8_t rev, size_t size = 256);
// A PCI-to-PCI bridge (header type 1, class 0x060400) with its bus numbers.
PciBytes pci_build_bridge(uint16_t vendor, uint16_t device, uint8_t primary, uint8_t secondary,
                          uint8_t subordinate, size_t size = 256);
// A capability with `id` at `at`, linked at the end of the list (the
// capability pointer and Status bit 4 set for the first).
void pci_build_cap(PciBytes &b, uint8_t at, uint8_t id);
// An extended capability at `at` (0x100 for the first), linked at the end.
void pci_build_ext_cap(PciBytes &b, uint16_t at, uint16_t id, uint8_t version);
// The PCI Express capability (version 2) of `portType` (0 endpoint, 4 root
// port, 5 upstream, 6 downstream switch port, ...).
void pci_build_pcie(PciBytes &b, uint8_t at, uint8_t portType);
// The AER extended capability at `at`.
void pci_build_aer(PciBytes &b, uint16_t at);
// The dump text of functions (as "lspci -xxx" / "-xxxx" print them), with
// the extra lines for irq, driver and resources.
struct PciDumpFunction {
    uint8_t bus = 0;
    uint8_t devfn = 0;
    PciBytes bytes;
    std::string title = "Device";
};
std::string pci_dump_text(const std::vector<PciDumpFunction> &functions);

#endif

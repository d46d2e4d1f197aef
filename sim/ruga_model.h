// The RUDA card with its RUGA FPGA, below three root ports of the host:
// 0000:80:02.1 (the boot FPGA on bus 0x81), 0000:00:03.0 (the application
// FPGA on bus 0x02) and 0000:00:03.2 (bus 0x03).
//
// - Each port has Link Control at 0xA0 and Link Status at 0xA2 (x8, speed
//   3 while the link is up). Setting Link Disable drops the link (speed and
//   width read 0) and resets the configuration of every function below the
//   port (command, BARs and interrupt line cleared); clearing it brings the
//   link back after a set number of reads of the port's link dword (a word
//   read counts two), or never.
// - 0 to 9 functions below each port, in "/sys/devices/pci0000:BB/<port>/"
//   with "/sys/bus/pci/devices/<port>" a link to it; function 0 below the
//   first two ports is an FPGA with BAR 0 (its word at 8: version in BCD,
//   type in bits 24-26) in physical memory, so the sysfs resource files
//   map it. The boot FPGA carries the bit-stream capability (0x000B) at a
//   set offset; the application FPGA's word 0x2E tells its kind.
// - The boot driver "/dev/ruga_boot": its four requests take argument 0
//   (anything else: EINVAL) and succeed; the journal keeps their order.
//   The node can be left out. Failures come from the kernel's faults.
//
// Fixture line:  ruga-card C0 C1 C2 [link-reads N|never] [cap-at OFF]
//                [boot-word W] [app-word W] [app-kind K] [no-node] [hb-stuck MASK]
// The card's setup is saved with the board ("ruga" section).
#ifndef QUORBIX_SIM_RUGA_MODEL_H
#define QUORBIX_SIM_RUGA_MODEL_H

#include <cstdint>
#include <string>
#include <string_view>

#include "sim/kit/sim_doc.h"

inline constexpr int kRugaLinkNever = -1;
inline constexpr uint64_t kRugaBootBar = 0xD0000000;
inline constexpr uint64_t kRugaAppBar = 0xD0100000;
inline constexpr uint64_t kRugaBarSize = 0x40000;
inline constexpr uint16_t kRugaAppPorts = 0xE000;

struct RugaCard {
    unsigned children[3] = {1, 1, 0};  // below 0000:80:02.1, 0000:00:03.0, 0000:00:03.2
    int linkReads = 0;                 // kRugaLinkNever: a re-enabled link stays down
    uint32_t capAt = 0x180;            // 0: no bit-stream capability
    uint32_t bootWord = 0x00000105;
    uint32_t appWord = 0x01000105;
    uint16_t appKind = 0x3000;
    bool bootNode = true;
    // A fault, not saved: when non-zero the application FPGA's BAR 0 is an
    // I/O BAR of 256 ports (0xE000) whose scratch word at 0x40 never sets
    // these bits.
    uint32_t hbStuck = 0;
};

void ruga_boot_node_add();
void ruga_card_add(const RugaCard &card);
// Bit 1 of the application FPGA's BAR 0 word at `reg` sets `ms` ms from now
// (the serdes reporting closed).
void ruga_card_serdes_done(uint32_t reg, unsigned ms);
// Bus and devfn of function `index` below port `port` (0-2).
uint8_t ruga_card_child_bus(unsigned port);
uint8_t ruga_card_child_devfn(unsigned index);

bool ruga_model_attach(SimDoc &saved);
void ruga_model_save(SimDoc &doc);
bool ruga_fixture_line(std::string_view line, std::string &error);

#endif

// Network interfaces of the boards whose front ports are plain interfaces:
// "/sys/class/net/NAME" directories with a relative "device" link into a
// "/sys/devices/pci..." tree, a "dev_id" file and "private/sfp_status",
// written under the root for each board's interfaces when a fresh board
// is attached; and the interface driver's module attribute files
// "private/{a0,a2}_{offset,readlen}" and "private/dumpa{0,2}":
//  - a write of a block holding "%d" text sets the offset (read length) of
//    that page's next dump;
//  - a read of the dump returns the module's bytes from that offset, at
//    most the read length; an interface without a module fails it with
//    EPERM (nothing moved).
// A module that is not set up otherwise is a short-reach optical module.
#ifndef QUORBIX_SIM_NET_SFP_MODEL_H
#define QUORBIX_SIM_NET_SFP_MODEL_H

#include <cstdint>
#include <string>
#include <vector>

#include "sim/board_profile.h"
#include "sim/kit/sim_doc.h"

// Attach writes a fresh board's interfaces (sim_board_fresh), over what
// stands there; a loaded board keeps those under the root as they are.
bool net_sfp_model_attach(const SimBoardProfile &board, SimDoc &saved);
void net_sfp_model_save(SimDoc &doc);
// What a fresh board of `board` makes for its interfaces (none on a board
// that does not carry this model).
std::vector<SimMade> net_sfp_made(const SimBoardProfile &board);

// Writes an interface under the root: `pciPath` below "/sys/devices" (for
// example "pci0000:00/0000:00:01.0/0000:01:00.0"; empty: no device link),
// its dev_id text (empty: no file) and its sfp_status byte.
void net_sfp_add_interface(const std::string &name, const std::string &pciPath, const std::string &devId,
                           uint8_t sfpStatus);

// The module behind an interface: bytes of page 0xA0 or 0xA2, or none.
void net_sfp_set_bytes(const std::string &name, uint32_t dev, uint8_t offset, const std::vector<uint8_t> &bytes);
void net_sfp_set_absent(const std::string &name, bool absent);
// Every block written to the attribute files, in order ("FILE=TEXT").
std::vector<std::string> net_sfp_writes();

#endif

// The processor uncore on the simulated board.
//
// The uncore's configuration registers are facts of the PCI bus (the
// default tree carries processor 0: the RAS function 00:05.2 with its
// write-one-to-clear status registers, 00:05.0 whose register 0x108 names
// the uncore bus, the QPI ports 7f:08.0 and 7f:09.0, and the XP registers
// of the DMI port and the root ports). A second processor is the text
// below, added by a fixture.
//
// The LPC register behind port 0xC90 reads back the complement of the last
// byte written (0x55 before any write). Fixture line:
//   uncore-c90-stuck VALUE     the register reads VALUE whatever is written
//   uncore-c90-free            it works again
#ifndef QUORBIX_SIM_UNCORE_MODEL_H
#define QUORBIX_SIM_UNCORE_MODEL_H

#include <string>
#include <string_view>

#include "sim/kit/sim_doc.h"

bool uncore_model_attach(SimDoc &saved);
void uncore_model_save(SimDoc &doc);
bool uncore_fixture_line(std::string_view line, std::string &error);

// Fixture text of processor 1: root bus 0x80 (RAS function, bus-number
// function, DMI port) and uncore bus 0xFF (QPI ports).
std::string uncore_second_socket_facts();

#endif

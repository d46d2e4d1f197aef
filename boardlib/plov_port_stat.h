// Board-independent port counter operations: VLAN drops and MAC receive
// counters of the DORN trans FPGA, and the port counters of both boards.
#ifndef QUORBIX_BOARDLIB_PLOV_PORT_STAT_H
#define QUORBIX_BOARDLIB_PLOV_PORT_STAT_H

#include <cstdint>

#include "boardlib/plov_trans_intf.h"
#include "boardlib/plov_types.h"

// Status of the media-port clear on the KESP board.
inline constexpr PlovStatus PLOV_ERR_UNSUPPORTED = -1215;

// DORN only.
PlovStatus PlovTransClsVlanStatistic(FpgaId fpga, uint8_t port, uint32_t vlan);
PlovStatus PlovTransGetVlanStatistic(FpgaId fpga, uint8_t port, uint32_t vlan, uint64_t *drops);

// DORN only, FPGA 0. Every counter is visited; the first failure is returned.
PlovStatus PLOV_TransClsPortMacStatistics(FpgaId fpga, const PortPro *pro);
PlovStatus PLOV_TransGetPortMacStatistics(FpgaId fpga, const PortPro *pro, PortStatistic *stats);

PlovStatus PlovTransClsPortStatistic(FpgaId fpga, uint8_t port);
PlovStatus PLOV_TransClsPortStatistics(FpgaId fpga, const PortPro *pro);
PlovStatus PlovTransGetPortStatistic(FpgaId fpga, uint8_t port, PortStatistic *stats);
PlovStatus PLOV_TransGetPortStatistics(FpgaId fpga, const PortPro *pro, PortStatistic *stats);

#endif

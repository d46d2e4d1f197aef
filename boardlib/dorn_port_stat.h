// DORN port counters: front ports, back ports, MAC transmit and the
// receive module.
#ifndef QUORBIX_BOARDLIB_DORN_PORT_STAT_H
#define QUORBIX_BOARDLIB_DORN_PORT_STAT_H

#include <cstdint>

#include "boardlib/plov_types.h"

inline constexpr unsigned DORN_RXM_COUNTERS = 9;

// Every counter is read; the first failure is returned (0 when all passed).
PlovStatus DornTransGetFrontPortStatistic(FpgaId fpga, uint8_t port, PortStatistic *stat);
PlovStatus DornTransClsFrontPortStatistic(uint8_t port);
PlovStatus DornTransGetBackPortStatistic(uint8_t port, PortStatistic *stat);
PlovStatus TRANS_GetPortMacTxStatistic(FpgaId fpga, uint8_t port, uint64_t counters[]);
PlovStatus DornGetRxmStatistics(FpgaId fpga, uint8_t port, uint64_t counters[DORN_RXM_COUNTERS]);

#endif

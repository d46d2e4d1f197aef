// The frame of the board-independent packet library: the board logic type
// and its probe, the checks every operation starts with, and the operations
// that answer with a fixed result. Status codes, FPGA ids and the library's
// log line are in plov_status.h, below every module of the board layer.
#ifndef QUORBIX_BOARDLIB_PLOV_TRANS_INTF_H
#define QUORBIX_BOARDLIB_PLOV_TRANS_INTF_H

#include <cstdint>

#include "boardlib/plov_status.h"

struct PortStatistic;

// Board logic type: 0 not yet known, 1 DORN (two FPGAs), 2 KESP (one FPGA).
inline constexpr uint32_t PLOV_BOARD_UNKNOWN = 0;
inline constexpr uint32_t PLOV_BOARD_DORN = 1;
inline constexpr uint32_t PLOV_BOARD_KESP = 2;
extern uint32_t geBoardLogicType;

inline constexpr const char *PLOV_BOARD_NAME_PATH = "/sys/devices/virtual/dmi/id/board_name";

// Probe the DMI board name and store the type: 0, -1216 (file not
// openable) or -1200 (unreadable or not a packet board).
PlovStatus TRANS_BoardGetLogicType(uint32_t *type);

// Step 1 of every board-independent operation: probe while the type is
// still unknown; a failure is logged and returned.
PlovStatus PlovCheckLogicType();

// ---- checks shared by the board-independent operations ----------------------------

// FPGA id above 1: -1330, logged "Invalid FpgaID [%d]\n" when `log`.
PlovStatus PlovCheckFpgaId(FpgaId fpga, bool log = true);
// KESP board with an FPGA id other than 0: " invalid fpga_id = %d\n", -1335.
PlovStatus PlovCheckKespFpga(FpgaId fpga);
// A null pointer: "NULL Pointer detected!\n", -1201.
PlovStatus PlovNullPointer();
// The probe, then, on a KESP board, the FPGA-id rule; *kesp tells the branch.
PlovStatus PlovProbeBranch(FpgaId fpga, bool *kesp);
// The FPGA-id check, then the probe and branch.
PlovStatus PlovCheckAndProbe(FpgaId fpga, bool *kesp);

// The rule of the operations that exist only for the DORN board: on a KESP
// board log "unsupport operate[geBoardLogicType = %d ]" at `level` (ERR or
// INFO) and answer true; the caller then returns 0 with its outputs
// untouched. The line names the caller's place.
bool PlovDornOnlyRefuses(int level, const char *file, int line);
#define PLOV_KESP_UNSUPPORTED(level) PlovDornOnlyRefuses((level), __FILE__, __LINE__)

// The board check of the DORN-only operations: the probe, then the rule
// above at ERR, the line naming the caller's place; *done when the caller
// returns the status at once.
PlovStatus PlovDornOnly(bool *done, PlovSite at);
#define PLOV_DORN_ONLY(done) PlovDornOnly((done), PLOV_HERE)

// ---- operations with a fixed result -------------------------------------------
// Each returns 0 and touches nothing, outputs included.

PlovStatus PlovTransSetIntMask(FpgaId fpga, uint32_t mask);
PlovStatus PlovTransGetIntMask(FpgaId fpga, uint32_t *mask);
PlovStatus PlovTransGetPortPrivStatistics(FpgaId fpga, uint8_t port, PortStatistic *stat);
PlovStatus PlovTransSetAntiCpuSwitchAll(FpgaId fpga, uint32_t on);
PlovStatus PlovTransGetAntiCpuSwitchAll(FpgaId fpga, uint32_t *on);
PlovStatus PlovTransSetAntiCpuSwitch(FpgaId fpga, uint8_t port, uint32_t on);
PlovStatus PlovTransGetAntiCpuSwitch(FpgaId fpga, uint8_t port, uint32_t *on);
PlovStatus PlovTransSetAntiCpuResLevel(FpgaId fpga, uint32_t resource, uint16_t level);
PlovStatus PlovTransGetAntiCpuResLevel(FpgaId fpga, uint32_t resource, uint16_t *level);

#endif

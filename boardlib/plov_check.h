// The checks the board layer repeats and their failure lines, each written
// once per tag and text. Every helper logs at its caller's place (the macros
// pass it), so a line names the file and line that refused. Below every
// module of the board layer: backends may include it.
#ifndef QUORBIX_BOARDLIB_PLOV_CHECK_H
#define QUORBIX_BOARDLIB_PLOV_CHECK_H

#include <cstdint>

#include "boardlib/plov_status.h"

// An FPGA id the caller refuses: "Invalid FpgaID [%d]\n", -1330; with the
// backends' tag (TRANS_) or the board-independent operations' (PLOV_).
PlovStatus TransBadFpga(FpgaId fpga, PlovSite at);
PlovStatus PlovBadFpga(FpgaId fpga, PlovSite at);
#define TRANS_BAD_FPGA(fpga) TransBadFpga((fpga), PLOV_HERE)
#define PLOV_BAD_FPGA(fpga) PlovBadFpga((fpga), PLOV_HERE)

// A port id out of range: "Invalid PortID [%d]\n", -1331.
PlovStatus TransBadPort(uint8_t port, PlovSite at);
PlovStatus PlovBadPort(uint8_t port, PlovSite at);
#define TRANS_BAD_PORT(port) TransBadPort((port), PLOV_HERE)
#define PLOV_BAD_PORT(port) PlovBadPort((port), PLOV_HERE)

// A port id out of the FPGA's range: "FPGA[%d] Invalid PortID [%d]\n", -1331.
PlovStatus TransBadFpgaPort(FpgaId fpga, uint8_t port, PlovSite at);
PlovStatus PlovBadFpgaPort(FpgaId fpga, uint8_t port, PlovSite at);
#define TRANS_BAD_FPGA_PORT(fpga, port) TransBadFpgaPort((fpga), (port), PLOV_HERE)
#define PLOV_BAD_FPGA_PORT(fpga, port) PlovBadFpgaPort((fpga), (port), PLOV_HERE)

// A null argument the caller refuses: "NULL Pointer Detected!\n", -1201,
// with the backends' tag.
PlovStatus TransNullPointer(PlovSite at);
#define TRANS_NULL_POINTER() TransNullPointer(PLOV_HERE)

// A board-independent operation's call into a backend, judged: a failure is
// logged "Call %s failed, iRet[%d]\n" with the callee's name; `ret` comes
// back as it was.
PlovStatus PlovCallResult(const char *callee, PlovStatus ret, PlovSite at);
#define PLOV_CALL_RESULT(callee, ret) PlovCallResult((callee), (ret), PLOV_HERE)

#endif

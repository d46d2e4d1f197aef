// KESP self tests: DDR3 and DDR3 march tests, the QDR readiness check, QDR
// and QDR march tests, the register test and the DXAUI, XGE and GE loop
// tests. Each starts an FPGA test engine, sleeps a fixed time on the host
// clock and reads the status and result registers; only FPGA 0 exists.
#ifndef QUORBIX_BOARDLIB_KESP_SELFTEST_H
#define QUORBIX_BOARDLIB_KESP_SELFTEST_H

#include <cstdint>

#include "boardlib/plov_status.h"

// Test engine not done yet, and QDR not initialised.
inline constexpr PlovStatus PLOV_ERR_NOT_DONE = -1207;
inline constexpr PlovStatus PLOV_ERR_QDR_INIT = -1228;
// A test that ran and failed.
inline constexpr PlovStatus PLOV_ERR_KESP_TEST_FAILED = -1200;

PlovStatus KespDdrTest(FpgaId fpga, uint32_t repetitions);
PlovStatus KespQdrTest(FpgaId fpga, uint32_t repetitions);
// Loop type 0 DXAUI, 1 XGE/GE; port 0-3 or 255 (all).
PlovStatus KespPortTest(FpgaId fpga, uint32_t loopType, uint32_t port, uint32_t repetitions);
// Result 1 pass, 8 fail.
PlovStatus KespFpgaTestReg(FpgaId fpga, uint8_t *result);

PlovStatus KespSetDdrTestStart(FpgaId fpga);
PlovStatus KespGetDdrTestResult(FpgaId fpga, uint8_t *fail);
PlovStatus KespSetDdrMarchTestStart(FpgaId fpga);
PlovStatus KespGetDdrMarchTestResult(FpgaId fpga, uint8_t *fail);
PlovStatus KespReadyForQdrTest();
PlovStatus KespSetQdrTestStart(FpgaId fpga);
PlovStatus KespGetQdrTestResult(FpgaId fpga, uint8_t *fail);
PlovStatus KespSetQdrMarchTestStart(FpgaId fpga);
PlovStatus KespGetQdrMarchTestResult(FpgaId fpga, uint8_t *fail);

PlovStatus KespDxauiPortTest(uint32_t port);
PlovStatus KespXgePortTest(uint32_t port);
PlovStatus KespGePortTest(uint32_t port);
PlovStatus KespDxauiPortTestCfgMacEnable(uint32_t port);
PlovStatus KespXgePortTestSetAc(uint32_t port);
PlovStatus KespGePortTestSetEq(uint32_t port);

#endif

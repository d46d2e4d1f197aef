// DORN self tests: the FPGAs' memory testers (pattern checks and the older
// timed tests), the TCAM self test and its real-time check, the scratch
// register test, the port quiescing before a QDR or RLDRAM test, and the
// controller state. Everything runs in the calling thread and sleeps on the
// host clock while the FPGA works.
#ifndef QUORBIX_BOARDLIB_DORN_SELFTEST_H
#define QUORBIX_BOARDLIB_DORN_SELFTEST_H

#include <cstdint>

#include "boardlib/plov_status.h"

// Tester blocks (base addresses).
inline constexpr uint64_t DORN_TEST_DDR3_A = 0xC00;
inline constexpr uint64_t DORN_TEST_DDR3_B = 0x1000;
inline constexpr uint64_t DORN_TEST_QDR = 0x800;
inline constexpr uint64_t DORN_TEST_RLDRAM = 0x3C00;

// Failed pass and "check already running".
inline constexpr PlovStatus PLOV_ERR_TEST_FAILED = -1230;
inline constexpr PlovStatus PLOV_ERR_TEST_BUSY = -1234;

// Pattern-driven memory checks, `count` passes each.
PlovStatus TRANS_FpgaDdrTest(FpgaId fpga, uint16_t count);
PlovStatus TRANS_FpgaQdrTest(FpgaId fpga, uint16_t count);
PlovStatus TRANS_FpgaRldramTest(FpgaId fpga, uint16_t count);
PlovStatus TRANS_Ddr3TestConf(FpgaId fpga);
PlovStatus TRANS_QdrTestConf(FpgaId fpga);
PlovStatus TRANS_RldramTestConf(FpgaId fpga);
// 11 pattern entries of n words, then the five (offset, value) pairs.
PlovStatus TRANS_DevTestComConf(FpgaId fpga, uint64_t base, const uint64_t patterns[], uint8_t n,
                                const uint64_t pairs[10]);
PlovStatus TRANS_DevTestGetResult(FpgaId fpga, uint64_t base, uint8_t *failed);
PlovStatus TRANS_PrepareBeforeDevTest(FpgaId fpga, uint32_t kind);   // kind 1 QDR, other RLDRAM
PlovStatus TRANS_SetPortEnable(FpgaId fpga, uint8_t enable);

// Scratch register test.
PlovStatus DornFpgaTestReg(FpgaId fpga, uint8_t *passed);
PlovStatus TRANS_FpgaTestReg(FpgaId fpga, uint16_t count);

// Timed memory tests and their result readers.
PlovStatus DornStartDdr3SelfTest(FpgaId fpga, uint16_t count);
PlovStatus DornFpgaDDR3Test(FpgaId fpga, uint16_t count);
PlovStatus DornFpgaQDRTest(FpgaId fpga, uint16_t duration);
PlovStatus DornFpgaRLDRTest(FpgaId fpga, uint16_t duration);
PlovStatus DornGetDDR3TestResult(FpgaId fpga, uint8_t *failed);
PlovStatus DornGetQDRTestResult(FpgaId fpga, uint8_t *failed);
PlovStatus DornGetRLDRTestResult(FpgaId fpga, uint8_t *failed);

// TCAM.
PlovStatus DornStartTcamSelfTest(FpgaId fpga);
PlovStatus DornGetTcamTestResult(FpgaId fpga, uint8_t *failed);
PlovStatus TRANS_GetTcamTestResult(FpgaId fpga, uint8_t *failed);
PlovStatus TRANS_FpgaTcamTest(FpgaId fpga, uint16_t count);
PlovStatus TRANS_GetTcamRealTimeTestRes(FpgaId fpga, uint8_t *error);

// 1 healthy, 8 faulty.
PlovStatus TRANS_GetControllerDeviceState(FpgaId fpga, uint32_t *state);

#endif

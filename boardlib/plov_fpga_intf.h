// Board-independent FPGA controls: checksum switches, load at reboot,
// controller state, free hardware-buffer blocks, interrupt timer, enable
// state and sequence, hash seeds, CPU usage, VRF, timer affinity, trunk,
// standby mode, port MAC addresses and the register-space dump.
#ifndef QUORBIX_BOARDLIB_PLOV_FPGA_INTF_H
#define QUORBIX_BOARDLIB_PLOV_FPGA_INTF_H

#include <cstdint>

#include "boardlib/plov_trans_intf.h"
#include "boardlib/plov_types.h"

inline constexpr PlovStatus PLOV_ERR_WORKING = -1344;   // the FPGA is already working
inline constexpr uint32_t PLOV_DUMP_MIN = 16384;        // smallest buffer the dump takes

extern uint8_t g_CpuUsage;    // bit 0 CPU 0 used, bit 1 CPU 1 used; read by the enable sequence
extern uint8_t g_WorkState;   // 1 after a successful enable sequence

PlovStatus PLOV_TransGetCheckSumSwitch(FpgaId fpga, uint8_t *rx, uint8_t *tx);
PlovStatus PLOV_TransSetCheckSumSwitch(FpgaId fpga, uint8_t rx, uint8_t tx);
PlovStatus PlovTransGetLogicLoadAtReboot(FpgaId fpga, uint8_t *flag);
PlovStatus PlovTransSetLogicLoadAtReboot(FpgaId fpga, uint8_t load);
PlovStatus PlovTransGetControllerDeviceState(FpgaId fpga, uint32_t *state);
PlovStatus PLOV_TransGetFreeBlockOfHwBuf(FpgaId fpga, uint32_t poolType, uint64_t *blocks);
PlovStatus PlovTransGetIntTimer(FpgaId fpga, uint16_t *time);
PlovStatus PlovTransSetIntTimer(FpgaId fpga, uint16_t time);
PlovStatus PlovTransGetEnableState(FpgaId fpga, uint8_t *state);
PlovStatus PlovTransFpgaEnableSeqence(FpgaId fpga);
PlovStatus PlovTransGetHashSeed(FpgaId fpga, uint8_t key1, uint8_t key2, uint64_t *seed1, uint64_t *seed2);
PlovStatus PlovTransSetHashSeed(FpgaId fpga, uint8_t key1, uint8_t key2, uint64_t seed1, uint64_t seed2);
PlovStatus PlovTransGetCpuUsage(uint32_t fpga, uint8_t *mask);
PlovStatus PlovTransSetCpuUsage(uint32_t fpga, uint8_t mask);
PlovStatus PlovTransGetVrfSwitch(uint32_t fpga, uint8_t *value);
PlovStatus PlovTransSetVrfSwitch(uint32_t fpga, uint8_t value);
PlovStatus PlovTransGetHrtimerAffinity(uint32_t fpga, uint8_t *cpu);
PlovStatus PlovTransSetHrtimerAffinity(uint32_t fpga, uint8_t cpu);
PlovStatus PLOV_TransGetTrunk(FpgaId fpga, const PortPro *pp, uint8_t *on);
PlovStatus PLOV_TransSetTrunk(FpgaId fpga, const PortPro *pp, uint8_t on);
PlovStatus PlovTransGetStandbyMode(FpgaId fpga, uint32_t *mode);
PlovStatus PlovTransSetStandbyMode(FpgaId fpga, uint32_t mode);
PlovStatus PlovTransGetPortMac(FpgaId fpga, PortWorkMode *rec);
PlovStatus PlovTransSetPortMac(FpgaId fpga, const PortWorkMode *rec);
PlovStatus PLOV_TransGetPortMac(FpgaId fpga, const PortPro *pp, uint8_t mac[6]);
PlovStatus PLOV_TransSetPortMac(FpgaId fpga, const PortPro *pp, const uint8_t mac[6]);

// Copies min(buf_len, register-space length) bytes of the FPGA's register
// space into buf; *out_len the number copied. buf_len below 16384: -1205.
PlovStatus PlovTransDumpRegs(FpgaId fpga, uint8_t *buf, uint32_t buf_len, uint32_t *out_len);

#endif

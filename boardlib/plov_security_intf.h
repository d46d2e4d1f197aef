// Board-independent operations on the trans FPGA's security engine (SCEM
// statistics and parameters), its committed-access-rate policers (CAR) and
// the anti-CPU-attack settings. SCEM and CAR exist on the DORN board only.
#ifndef QUORBIX_BOARDLIB_PLOV_SECURITY_INTF_H
#define QUORBIX_BOARDLIB_PLOV_SECURITY_INTF_H

#include <cstddef>
#include <cstdint>

#include "boardlib/plov_trans_intf.h"

struct ScemPara {
    uint32_t ScemType;
    uint32_t Flag;
    uint64_t Para;
};
static_assert(sizeof(ScemPara) == 16);
static_assert(offsetof(ScemPara, ScemType) == 0 && offsetof(ScemPara, Flag) == 4 && offsetof(ScemPara, Para) == 8);

inline constexpr size_t SCEM_STATS_IPV4 = 14;
inline constexpr size_t SCEM_STATS_IPV6 = 10;

PlovStatus PlovTransGetScemStats(FpgaId fpga, uint32_t counters[SCEM_STATS_IPV4]);
PlovStatus PlovTransGetScemStatsIpv6(FpgaId fpga, uint32_t counters[SCEM_STATS_IPV6]);
PlovStatus PlovTransClsScemStats(FpgaId fpga, uint32_t type);
PlovStatus PlovTransClsScemStatsIpv6(FpgaId fpga, uint32_t type);
PlovStatus PlovTransGetScemPara(FpgaId fpga, ScemPara *rec);
PlovStatus PlovTransSetScemPara(FpgaId fpga, const ScemPara *rec);

PlovStatus PlovTransGetCarDropStat(FpgaId fpga, uint32_t selector, uint64_t *count);
PlovStatus PlovTransGetCarFreshTime(FpgaId fpga, uint32_t *time);
PlovStatus PlovTransSetCarFreshTime(FpgaId fpga, uint32_t time);
PlovStatus PlovTransGetSplitCarCfg(FpgaId fpga, uint32_t *cbs, uint32_t *cir, uint8_t *vld);
PlovStatus PlovTransGetTotalCarCfg(FpgaId fpga, uint32_t *cbs, uint32_t *cir, uint8_t *vld);
PlovStatus PlovTransSetSplitCarCfg(FpgaId fpga, uint32_t cbs, uint32_t cir, uint8_t vld);
PlovStatus PlovTransSetTotalCarCfg(FpgaId fpga, uint32_t cbs, uint32_t cir, uint8_t vld);

PlovStatus PlovTransGetAntiCpuIntervalTime(FpgaId fpga, uint8_t *time);
PlovStatus PlovTransSetAntiCpuIntervalTime(FpgaId fpga, uint8_t time);
PlovStatus PlovTransGetAntiCpuLevel(FpgaId fpga, uint8_t port, uint8_t type, uint16_t *level);
PlovStatus PlovTransSetAntiCpuLevel(FpgaId fpga, uint8_t port, uint8_t type, uint16_t level);

#endif

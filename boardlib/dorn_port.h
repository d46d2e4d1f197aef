// DORN port control: loop modes, PHY parameters, de-pause, hardware reset,
// forced PHY down, copper SFP power and auto-negotiation, optical and
// electrical work modes, DRP access.
#ifndef QUORBIX_BOARDLIB_DORN_PORT_H
#define QUORBIX_BOARDLIB_DORN_PORT_H

#include <cstdint>

#include "boardlib/plov_types.h"

inline constexpr PlovStatus DORN_ERR_UNSUPPORTED = -1200;

struct PortPhyPara {
    uint8_t post;    // post-emphasis, 5 bits
    uint8_t pre;     // pre-emphasis, 5 bits
    uint8_t swing;   // 4 bits
};
static_assert(sizeof(PortPhyPara) == 3);

PlovStatus DornTransGetPortPHYLoopMode(FpgaId fpga, uint8_t port, uint8_t *mode);
PlovStatus DornTransGetPortMACLoopMode(FpgaId fpga, uint8_t port, uint8_t *mode);
PlovStatus DornTransSetPortPHYLoopMode(FpgaId fpga, uint8_t port, uint8_t mode);
PlovStatus DornTransSetPortMACLoopMode(FpgaId fpga, uint8_t port, uint8_t mode);
PlovStatus TRANS_GetPortPhyLoopMode(FpgaId fpga, const PortPro *pro, uint8_t *mode);
PlovStatus TRANS_GetPortMacLoopMode(FpgaId fpga, const PortPro *pro, uint8_t *mode);
PlovStatus TRANS_SetPortPhyLoopMode(FpgaId fpga, const PortPro *pro, uint8_t mode);
PlovStatus TRANS_SetPortMacLoopMode(FpgaId fpga, const PortPro *pro, uint8_t mode);
PlovStatus DornTransGetPortPhyPara(FpgaId fpga, uint8_t port, PortPhyPara *para);
PlovStatus DornTransSetPortPhyPara(FpgaId fpga, uint8_t port, const PortPhyPara *para);
PlovStatus DornTransGetDePauseCtrl(FpgaId fpga, uint32_t *flag);
PlovStatus DornTransSetDePauseCtrl(FpgaId fpga, uint32_t flag);
PlovStatus DornTransGetDePauseLevel(FpgaId fpga, uint16_t *level);
PlovStatus DornTransSetDePauseLevel(FpgaId fpga, uint16_t level);
PlovStatus DornTransGetPortHwReset(FpgaId fpga, uint8_t port, uint8_t *state);
PlovStatus DornTransSetPortHwReset(FpgaId fpga, uint8_t port, uint8_t mode);
PlovStatus DornTransGetPortPhyDown(FpgaId fpga, uint8_t port, uint8_t *flag);
PlovStatus DornTransPortForcePhyDown(FpgaId fpga, uint8_t port, uint8_t down);
PlovStatus TRANS_SetPortPhyDown(FpgaId fpga, const PortPro *pro, uint8_t up);
PlovStatus TRANS_GetPortPhyDown(FpgaId fpga, const PortPro *pro, uint8_t *up);
PlovStatus TRANS_SetSfpPowerDown(FpgaId fpga, uint8_t port, uint8_t up);
PlovStatus TRANS_GetSfpCtrlStatus(FpgaId fpga, uint8_t port, uint8_t *powered_down);
PlovStatus DornTransSetSfpStatus(uint8_t port, uint8_t mode);
PlovStatus TRANS_GetOpticalMode(FpgaId fpga, PortWorkMode *rec);
PlovStatus TRANS_SetOpticalAnMode(FpgaId fpga, uint8_t port, uint8_t on);
PlovStatus TRANS_GetElectricMode(FpgaId fpga, PortWorkMode *rec);
PlovStatus TRANS_SetElectricAnMode(FpgaId fpga, uint8_t port, uint8_t on);
PlovStatus DornTransGetPortDRP(FpgaId fpga, uint8_t lane, uint16_t address, uint16_t *value);
PlovStatus DornTransSetPortDRP(FpgaId fpga, uint8_t lane, uint16_t address, uint16_t value);
PlovStatus DornTransSetPortGtxPrbs(FpgaId fpga, uint8_t port, uint32_t mode);
PlovStatus DornTransClsPortGtxPbrs(FpgaId fpga, uint8_t port);

#endif

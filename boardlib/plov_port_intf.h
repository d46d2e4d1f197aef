// Board-independent port operations: reset, flow control, static MAC, port
// map, work mode, link state, port switch, MTU bounds and the port
// configuration mode, on either board. The Plov forms take a port number,
// the PLOV_Trans forms a port property.
#ifndef QUORBIX_BOARDLIB_PLOV_PORT_INTF_H
#define QUORBIX_BOARDLIB_PLOV_PORT_INTF_H

#include <cstddef>
#include <cstdint>

#include "boardlib/plov_trans_intf.h"
#include "boardlib/plov_types.h"

inline constexpr PlovStatus PLOV_ERR_WORK_MODE = -1337;  // reset flag or work mode refused
inline constexpr PlovStatus PLOV_ERR_HS_STATE = -1339;   // SFP hot-swap state not readable

// Flow control of a port: the CAR words cbs and cir, the value t shared by
// all ports, and the package type (0 or 1) that selects the CAR entry.
struct PortFlowCtrl {
    uint16_t cbs;
    uint16_t cir;
    uint16_t t;
    uint8_t pkgType;
};
static_assert(sizeof(PortFlowCtrl) == 8);
static_assert(offsetof(PortFlowCtrl, cir) == 2 && offsetof(PortFlowCtrl, t) == 4 && offsetof(PortFlowCtrl, pkgType) == 6);

PlovStatus PlovTransSetPortReset(FpgaId fpga, uint8_t port, int8_t flag);
PlovStatus PLOV_TransSetPortReset(FpgaId fpga, const PortPro *pro, int8_t flag);

PlovStatus PlovTransGetPortFlowCtrl(FpgaId fpga, uint8_t port, PortFlowCtrl *rec);
PlovStatus PlovTransSetPortFlowCtrl(FpgaId fpga, uint8_t port, const PortFlowCtrl *rec);

PlovStatus PLOV_TransGetPortStaticMac(FpgaId fpga, const PortPro *pro, uint8_t mac[6]);

PlovStatus PlovTransGetPortMap(FpgaId fpga, uint8_t port, uint8_t *map);
PlovStatus PlovTransSetPortMap(FpgaId fpga, uint8_t port, uint8_t map);

PlovStatus PlovTransGetPortMode(FpgaId fpga, PortWorkMode *rec);
PlovStatus PLOV_TransGetPortMode(FpgaId fpga, const PortPro *pro, uint16_t *mode);
PlovStatus PlovTransSetPortMode(FpgaId fpga, const PortWorkMode *rec);
PlovStatus PLOV_TransSetPortMode(FpgaId fpga, const PortPro *pro, uint16_t mode);

PlovStatus PlovTransGetPortLinkStat(FpgaId fpga, PortWorkMode *rec);
PlovStatus PLOV_TransGetPortLinkStat(FpgaId fpga, const PortPro *pro, uint8_t *link);

PlovStatus PlovTransGetPortSwitch(FpgaId fpga, uint8_t port, uint8_t *mode);
PlovStatus PlovTransSetPortSwitch(FpgaId fpga, uint8_t port, uint8_t mode);

PlovStatus PlovTransGetMtu(FpgaId fpga, uint16_t *max, uint16_t *min);
PlovStatus PlovTransSetMtu(FpgaId fpga, uint16_t max, uint16_t min);

PlovStatus TRANS_GetPortCfgMode(FpgaId fpga, const PortPro *pro, uint16_t *mode);
PlovStatus TransGetPortCfgMode(FpgaId fpga, PortWorkMode *rec);

#endif

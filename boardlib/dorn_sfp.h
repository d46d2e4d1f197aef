// DORN SFP access: the module memory of the eight front cages behind the
// sbuf FPGA, their hot-swap and bus state, presence, identity and status,
// and the I/O-pin test of a loop-back test module.
#ifndef QUORBIX_BOARDLIB_DORN_SFP_H
#define QUORBIX_BOARDLIB_DORN_SFP_H

#include <cstddef>
#include <cstdint>

#include "boardlib/dorn_logic.h"
#include "boardlib/plov_types.h"
#include "boardlib/sfp_8472.h"

inline constexpr uint8_t DORN_SFP_PORTS = 8;
inline constexpr uint64_t DORN_SFP_STATUS_REG = 0x6900;    // sbuf: bit p los, p + 8 absent, p + 16 tx fault
inline constexpr uint64_t DORN_SFP_TX_DISABLE_REG = 0x680B;  // sbuf: bit p drives tx-disable of port p

// Hot-swap state (request 0x13); the caller zeroes it and sets the port.
inline constexpr uint32_t SFP_KIND_ELECTRICAL = 3;
struct SfpHsState {
    uint8_t port;
    uint8_t reserved1;
    uint8_t present;   // 1 = a module is present
    uint8_t reserved2;
    uint32_t kind;     // 3 = electrical module with a copper PHY
    uint8_t reserved3[8];
};
static_assert(sizeof(SfpHsState) == 16);
static_assert(offsetof(SfpHsState, present) == 2 && offsetof(SfpHsState, kind) == 4);

// Two-wire bus status (request 0x1A): the port, then the driver's bytes.
struct SfpIicStatus {
    uint8_t port;
    uint8_t data[15];
};
static_assert(sizeof(SfpIicStatus) == 16);

// Module status: alarm and warning flags of page A2h, then the sbuf lines.
struct SfpStatus {
    uint8_t AlarmLow;
    uint8_t AlarmHigh;
    uint8_t Reserved[2];
    uint8_t WarnLow;
    uint8_t WarnHigh;
    uint8_t tx_fault;
    uint8_t rx_los;
};
static_assert(sizeof(SfpStatus) == 8);
static_assert(offsetof(SfpStatus, WarnLow) == 4 && offsetof(SfpStatus, tx_fault) == 6 && offsetof(SfpStatus, rx_los) == 7);

// I/O-pin test results, in this order.
enum SfpPinResult : size_t { SFP_TX_DISABLE_TEST, SFP_RS_TEST, SFP_TX_FAULT_TEST, SFP_RX_LOS_TEST, SFP_ONLINE_TEST, SFP_PIN_RESULTS };

PlovStatus TRANS_GetSfpReg(SfpRegReq *req);
PlovStatus TRANS_SetSfpReg(SfpRegReq *req);
PlovStatus DornTransGetSfpArea(uint8_t port, uint32_t dev, uint8_t offset, uint16_t length, uint8_t *buf);
PlovStatus TRANS_GetSfpHsState(FpgaId fpga, SfpHsState *state);
PlovStatus TRANS_GetIicStatus(FpgaId fpga, SfpIicStatus *status);
PlovStatus DornTransGetSfpPresent(FpgaId fpga, uint8_t port, uint8_t *present);
PlovStatus TRANS_GetSfpPresent(FpgaId fpga, const PortPro *pro, uint8_t *present);
PlovStatus DornTransGetPortSfpinfo(FpgaId fpga, uint8_t port, SfpInfo *info);
PlovStatus TRANS_GetPortSfpInfo(FpgaId fpga, const PortPro *pro, SfpInfo *info);
PlovStatus DornTransGetPortSfpStat(FpgaId fpga, uint8_t port, SfpStatus *stat);
PlovStatus TRANS_GetPortSfpStat(FpgaId fpga, const PortPro *pro, SfpStatus *stat);
PlovStatus TRANS_TestSfpInPin(uint8_t port, uint8_t results[2]);
PlovStatus TRANS_TestSfpOutPin(uint8_t port, uint8_t results[3]);
PlovStatus TRANS_TestSfpIOPin(uint8_t port, uint8_t results[SFP_PIN_RESULTS], uint16_t *hs_cnt, uint16_t *hs_threshold);

// The module access record of a port (read = DornTransGetSfpArea).
sfp_ops DornSfpOps(uint8_t port);

#endif

// DORN queue and buffer machinery: transmit queue and group switches, port
// CAR, the read-pointer renew timer, address manager, free queue and
// receive buffer.
#ifndef QUORBIX_BOARDLIB_DORN_QUEUE_H
#define QUORBIX_BOARDLIB_DORN_QUEUE_H

#include <cstdint>

#include "boardlib/plov_types.h"

inline constexpr PlovStatus DORN_ERR_QUEUE_TYPE = -1333;
inline constexpr uint8_t DORN_SELECTORS = 8;   // address-manager and free-queue selectors

PlovStatus DornGetTxQSwitch(FpgaId fpga, const QueueId *queue, uint32_t *on);
PlovStatus DornSetTxQSwitch(FpgaId fpga, const QueueId *queue, uint32_t on);
PlovStatus DornGetTxQGroupSwitch(FpgaId fpga, const QueueId *queue, uint32_t *on);
PlovStatus DornSetTxQGroupSwitch(FpgaId fpga, const QueueId *queue, uint32_t on);
PlovStatus DornGetPortCar(FpgaId fpga, uint8_t port, uint8_t kind, uint64_t *value);
PlovStatus DornSetPortCar(FpgaId fpga, uint8_t port, uint8_t kind, uint64_t value);
PlovStatus DornSetQueueReadPtrTimer(FpgaId fpga, uint8_t value);
PlovStatus DornGetAddrmSwitch(FpgaId fpga, uint8_t selector, uint32_t *on);
PlovStatus DornSetAddrmSwitch(FpgaId fpga, uint8_t selector, uint32_t on);
PlovStatus DornGetFreeqPoolSwitch(FpgaId fpga, uint8_t selector, uint16_t *value);
PlovStatus DornSetFreeqPoolSwitch(FpgaId fpga, uint8_t selector, uint16_t value);
PlovStatus DornGetFreeqLvl(FpgaId fpga, uint8_t *level);
PlovStatus DornSetFreeqLvl(FpgaId fpga, uint8_t level);
PlovStatus DornGetFreeqTimeGrpGap(FpgaId fpga, uint16_t *gap);
PlovStatus DornSetFreeqTimeGrpGap(FpgaId fpga, uint8_t gap);
PlovStatus DornGetRxbufStat(FpgaId fpga, uint64_t first[2], uint64_t second[3]);

#endif

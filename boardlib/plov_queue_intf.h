// Board-independent queue operations: transmit-process match, queue data
// offset, water levels, receive-queue hash rule, queue switches and queue
// counters, on either board.
#ifndef QUORBIX_BOARDLIB_PLOV_QUEUE_INTF_H
#define QUORBIX_BOARDLIB_PLOV_QUEUE_INTF_H

#include <cstdint>

#include "boardlib/plov_trans_intf.h"
#include "boardlib/plov_types.h"

PlovStatus PlovTransGetTxProcessMatch(FpgaId fpga, uint8_t process, uint16_t *match);
PlovStatus PlovTransSetTxProcessMatch(FpgaId fpga, uint8_t process, uint16_t match);
PlovStatus PlovTransGetQueueDataOffset(FpgaId fpga, uint16_t *offset);
PlovStatus PlovTransSetQueueDataOffset(FpgaId fpga, uint16_t offset);
PlovStatus PlovTransGetQueueWaterLvl(FpgaId fpga, const QueueId *queue, QueueWaterLevel *level);
PlovStatus PlovTransSetQueueWaterLvl(FpgaId fpga, const QueueId *queue, const QueueWaterLevel *level);
PlovStatus PlovTransGetRxqHashRule(FpgaId fpga, RxqHashRule *rule);   // key in, VcpuID out
PlovStatus PlovTransSetRxqHashRule(FpgaId fpga, const RxqHashRule *rule);
PlovStatus PlovTransGetQueueSwitch(FpgaId fpga, const QueueId *queue, uint32_t *value);
PlovStatus PlovTransSetQueueSwitch(FpgaId fpga, const QueueId *queue, uint32_t value);
PlovStatus PlovTransClsQueueStatics(FpgaId fpga, const QueueId *queue);
PlovStatus PlovTransGetQueueStatics(FpgaId fpga, const QueueId *queue, QueueStat *stat);

#endif

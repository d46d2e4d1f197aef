// Record operations on the trans FPGA's hardware tables: by key (key tables
// 2 and 14), by index (index tables 4-8 and 15), statistics, and clearing
// every table at once. Each operation sends one indirect-register request to
// "/dev/trans_pci", whatever the board.
#ifndef QUORBIX_BOARDLIB_PLOV_TABLE_INTF_H
#define QUORBIX_BOARDLIB_PLOV_TABLE_INTF_H

#include <cstdint>

#include "boardlib/plov_trans_intf.h"

// Registers of the clear-all sequence and its poll.
inline constexpr uint64_t kTableClearReg = 0x5C18;
inline constexpr uint64_t kTableClearDoneReg = 0x5D00;
inline constexpr uint64_t kTableClearDoneBit = uint64_t{1} << 4;
inline constexpr uint32_t kTableClearPolls = 7000;
inline constexpr uint32_t kTableClearPollUs = 100;

// Commands of a table request.
inline constexpr uint64_t kTableCmdRead = 0;
inline constexpr uint64_t kTableCmdWrite = 1;
inline constexpr uint64_t kTableCmdDelete = 2;
inline constexpr uint64_t kTableCmdClear = 3;

PlovStatus PlovAddRecordByKey(uint8_t table, const uint64_t *key, const uint64_t *data);
PlovStatus PlovGetRecordByKey(uint8_t table, const uint64_t *key, uint64_t *data);
PlovStatus PlovDelRecordByKey(uint8_t table, const uint64_t *key);

PlovStatus PlovAddRecordByIndex(uint8_t table, uint32_t index, const uint64_t *key, const uint64_t *mask,
                                const uint64_t *act);
PlovStatus PlovGetRecordByIndex(uint8_t table, uint32_t index, uint64_t *key, uint64_t *mask, uint64_t *act);
PlovStatus PlovDelRecordByIndex(uint8_t table, uint32_t index);

PlovStatus PlovGetStatByIndex(uint8_t table, uint32_t index, uint64_t *stat);
PlovStatus PlovClrStatByIndex(uint8_t table, uint32_t index);

// Statistics by key are not kept by the FPGA: both return 0 and touch nothing.
PlovStatus PlovGetStatByKey(uint8_t table, const uint64_t *key, uint64_t *stat);
PlovStatus PlovClrStatByKey(uint8_t table, const uint64_t *key);

PlovStatus PlovDelAllTable();

#endif

// The byte protocol with a running DSP program: a handshake, the command
// exchange (send a command, wait for the reply, read the result, release
// the mailbox) and the equipment tests run on a DSP sub-board (DDR test,
// DDR jump test, performance test, LLT, DDR three-step test, channel test).
//
// Each core c has its mailbox bytes at the core-0 address + (c << 24).
// Every DSP memory access goes through media_dsp_mem_access (dsp_mem.h).
#ifndef QUORBIX_TOOL_MEDIA_DSP_H
#define QUORBIX_TOOL_MEDIA_DSP_H

#include <cstdint>

#include "tool/trans_op.h"

inline constexpr uint32_t DSP_MAIL_BASE = 0x1087FE00;
inline constexpr uint32_t DSP_MAIL_HANDSHAKE = 0x05;
inline constexpr uint32_t DSP_MAIL_REPLY = 0x06;      // reply status
inline constexpr uint32_t DSP_MAIL_REQUEST = 0x07;    // request flag
inline constexpr uint32_t DSP_MAIL_DATA = 0x08;       // reply data
inline constexpr uint32_t DSP_MAIL_LLT_LIST = 0x0A;   // one byte per failed LLT item
inline constexpr uint32_t DSP_MAIL_CMD = 0x88;
inline constexpr uint32_t DSP_MAIL_CMD_HIGH = 0x89;
inline constexpr uint32_t DSP_MAIL_BUSY = 0x108;

inline constexpr uint8_t DSP_MARK_TOOL = 0xAA;
inline constexpr uint8_t DSP_MARK_DSP = 0x55;
inline constexpr uint8_t DSP_CMD_EXTENDED = 0xC1;

constexpr uint32_t dsp_mail_addr(uint32_t core, uint32_t offset) { return DSP_MAIL_BASE + offset + (core << 24); }

// Result areas.
inline constexpr uint32_t DSP_DDR_RESULT_ADDR = 0x0C1F3D20;
inline constexpr uint32_t DSP_DDR_RESULT_LEN = 640;
inline constexpr uint32_t DSP_JUMP_RESULT_ADDR = 0x0C1F3FA0;
inline constexpr uint32_t DSP_JUMP_RECORD_LEN = 28;
inline constexpr uint32_t DSP_CHANNEL_FIRST = 0x80000000;
inline constexpr uint32_t DSP_CHANNEL_END = 0x80001000;
inline constexpr uint32_t DSP_CHANNEL_WORD = 0x55AAAA55;

// Test commands.
inline constexpr uint32_t DSP_CMD_THREE_STEP = 5;
inline constexpr uint32_t DSP_CMD_DDR = 6;
inline constexpr uint32_t DSP_CMD_JUMP = 7;
inline constexpr uint32_t DSP_CMD_PERF = 176;
inline constexpr uint32_t DSP_CMD_PERF2 = 177;
inline constexpr uint32_t DSP_CMD_CHANNEL = 178;
inline constexpr uint32_t DSP_CMD_LLT = 192;

// The LLT response: code, count, then at most this many items (a larger
// count is cut to it).
inline constexpr uint32_t DSP_LLT_BUF = 128;
inline constexpr uint32_t DSP_LLT_ITEMS = DSP_LLT_BUF - 2;

// Sending a command to a core whose mailbox is not free.
inline constexpr int32_t DSP_MAIL_BUSY_RET = 2;

// 0xAA to the core's reply status (the mailbox is released).
int32_t media_dsp_status_back(uint32_t sub, uint32_t dsp, uint32_t core);
// One-byte test command to a free mailbox: 0, 2 when busy, or a failed access.
int32_t media_dsp_send_test_cmd(uint32_t sub, uint32_t dsp, uint32_t core, uint32_t cmd);
// Handshake with cores 0..7: 0, -1200 when any core did not answer, or a failed access.
int32_t media_dsp_shake_hand(uint32_t sub, uint32_t dsp);
// The command exchange with core 0, or with cores 0..7 for 176 and 177.
int32_t media_dsp_cmd_proc(uint32_t sub, uint32_t dsp, uint32_t cmd);
// Mail reset of a core: 0 whatever the bytes read back (or a failed access).
int32_t media_dsp_mail_reset_proc(uint32_t sub, uint32_t dsp, uint32_t core);

// Result readers of the exchange.
int32_t media_dsp_perf_result(uint32_t sub, uint32_t dsp, uint32_t core);
int32_t media_dsp_three_step_result(uint32_t sub, uint32_t dsp);
int32_t media_dsp_llt_result(uint32_t sub, uint32_t dsp);
int32_t media_dsp_channel_test(uint32_t sub, uint32_t dsp);

// A DDR test result (DSP_DDR_RESULT_LEN bytes from the DSP): whether it
// shows a failure, and its error dump (reads only inside the result).
bool media_dsp_ddr_failed(const uint8_t *result);
void media_dsp_ddr_dump(const uint8_t *result);

TransOpStatus media_dsp_init(const char *params);
TransOpStatus media_dsp_ShakeHand(const char *params);
TransOpStatus media_dsp_cmd(const char *params);
TransOpStatus media_dsp_mail_reset(const char *params);
TransOpStatus media_dsp_eq_ddr_test(const char *params);
TransOpStatus media_dsp_eq_ddr_Jump_test(const char *params);
TransOpStatus media_dsp_eq_chip_test(const char *params);
// Of the handler form but in no row: they only check their parameters.
TransOpStatus media_dsp_get_eq_chip_result(const char *params);
TransOpStatus media_dsp_get_eq_ddr_result(const char *params);

#endif

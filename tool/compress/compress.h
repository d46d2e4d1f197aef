// The accelerator commands: sub-blocks "t_acc" (reached as test/acc/...) and
// "l_acc" (load/acc/...). Card registers and the LPC window, driver
// bookkeeping, the running logic version, the card's DDR, PCIe and flash
// tests and loading a logic image into the card's flash live in
// acc_card.cpp; the gzip-file commands (com, uncom, comperf, uncomperf, dft)
// join this unit beside it and share the helpers below.
#ifndef QUORBIX_TOOL_COMPRESS_COMPRESS_H
#define QUORBIX_TOOL_COMPRESS_COMPRESS_H

#include <cstdint>

#include "tool/trans/trans_cmd.h"
#include "tool/trans_op.h"

// ---- handlers ------------------------------------------------------------------------------

TransOpStatus acc_read_reg(const char *params);
TransOpStatus acc_write_reg(const char *params);
TransOpStatus acc_read_lpc(const char *params);
TransOpStatus acc_write_lpc(const char *params);
TransOpStatus acc_get_dis_res(const char *params);
TransOpStatus acc_get_pid_mem(const char *params);
TransOpStatus acc_get_fw_ver(const char *params);
TransOpStatus acc_ddr_test(const char *params);
TransOpStatus acc_pcie_loop_test(const char *params);
TransOpStatus acc_flash_test(const char *params);
TransOpStatus load_compress_logic_file(const char *params);

// Through the gzip file layer.
TransOpStatus acc_compress_file(const char *params);
TransOpStatus acc_uncompress_file(const char *params);
TransOpStatus acc_compress_perf(const char *params);
TransOpStatus acc_uncompress_perf(const char *params);
TransOpStatus acc_data_flow_test(const char *params);

// ---- shared by the handlers ------------------------------------------------------------------------

// Statuses of these commands besides -1202 (kTransBadInput).
inline constexpr TransOpStatus kAccTestFailed = -1200;
inline constexpr TransOpStatus kAccNoMemory = -1209;
inline constexpr TransOpStatus kAccVersionText = -1212;
inline constexpr TransOpStatus kAccOpenFailed = -1216;
inline constexpr TransOpStatus kAccIoFailed = -1218;
inline constexpr TransOpStatus kAccStatFailed = -1219;
inline constexpr TransOpStatus kAccSeekFailed = -1222;
inline constexpr TransOpStatus kAccInitFailed = -1237;
inline constexpr TransOpStatus kAccThreadFailed = -1238;
inline constexpr TransOpStatus kAccDriverInfo = -1315;
inline constexpr TransOpStatus kAccDdrFailed = -1398;

// The card every command addresses.
inline constexpr uint32_t kAccCard = 0;

// The file the invalid-input line names for this unit's handlers.
inline constexpr const char *kAccFile = "compress/compress";
#define ACC_SITE(name) CmdSite{name, kAccFile, unsigned(__LINE__)}

// "FAILED" (or "failed" when `lower`) and the invalid-input line; -1202.
TransOpStatus acc_bad_input(const CmdSite &site, int scanRet, bool lower = false);

// oxcompInit; on failure "oxcompInit failed,ret = %d\n\n" and -1237.
TransOpStatus acc_api_init();

// Rounds of a timed test: seconds / perRound when above perRound, else 1.
uint32_t acc_rounds(int32_t seconds, int32_t perRound);

#endif

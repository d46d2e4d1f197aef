// The command table and its dispatch.
//
// A command path such as "port/k/0:1" is resolved one word at a time: a
// block's dispatcher cuts the word before the first "/", finds the row with
// that word and calls the row's handler with the rest of the text. A handler
// is the command itself or the dispatcher of a sub-block.
//
// A command handler (form: TransOpStatus name(const char *params)) is
// declared in the header of its module (for example tool/trans/port.h), which
// tool/trans_op_tab.cpp includes. A row without a handler answers
// `Target "..." is not supported` with -17.
#ifndef QUORBIX_TOOL_TRANS_OP_H
#define QUORBIX_TOOL_TRANS_OP_H

#include <cstddef>
#include <cstdint>

// 0 success; -17 target not in the block or row without handler; -18 no
// usable target word; otherwise whatever the handler returned.
using TransOpStatus = int32_t;

// A command handler: takes the parameter text (never null when called by a
// dispatcher) and returns the command's status.
using TransOpHandler = TransOpStatus (*)(const char *params);

inline constexpr TransOpStatus kTransOpNotSupported = -17;
inline constexpr TransOpStatus kTransOpNoTarget = -18;

// get_target_name results besides the count of bytes consumed.
inline constexpr int kTargetNameNull = -12;
inline constexpr int kTargetNameTooLong = -16;

// Capacity of a target word: at most 31 characters and the terminator.
inline constexpr size_t kTargetWordSize = 32;

inline constexpr size_t kTransOpRows = 64;
inline constexpr size_t kTransOpBlocks = 46;

// One row. A row whose target is null ends its block.
struct TransOpEntry {
    const char *target;      // target word
    const char *help;        // help text, or null for none
    TransOpHandler handler;  // may be null: the row is then not supported
};

struct TransOpBlock {
    uint64_t index;  // position of the block in g_TransOpTab
    const char *name;
    TransOpEntry rows[kTransOpRows];
};

// Block positions in g_TransOpTab.
enum TransOpBlockId : size_t {
    kBlkRead = 0,
    kBlkWrite = 1,
    kBlkDump = 2,
    kBlkSet = 3,
    kBlkMfc = 4,
    kBlkTest = 5,
    kBlkLoad = 6,
    kBlkClear = 7,
    kBlkMTrans = 8,
    kBlkLTrans = 9,
    kBlkCTrans = 10,
    kBlkMSbuf = 11,
    kBlkLSbuf = 12,
    kBlkCSbuf = 13,
    kBlkMSfp = 14,
    kBlkSTcam = 15,
    kBlkMTable = 16,
    kBlkSFpga = 17,
    kBlkMFpga = 18,
    kBlkSPort = 19,
    kBlkMPort = 20,
    kBlkCPort = 21,
    kBlkSQueue = 22,
    kBlkMQueue = 23,
    kBlkSBufc = 24,
    kBlkMBufc = 25,
    kBlkSSecm = 26,
    kBlkMSecm = 27,
    kBlkSTransmit = 28,
    kBlkMTransmit = 29,
    kBlkSFpga0 = 30,
    kBlkMFpga0 = 31,
    kBlkTFpga0 = 32,
    kBlkTTrans = 33,
    kBlkTSbuf = 34,
    kBlkLMedia = 35,
    kBlkRMedia = 36,
    kBlkWMedia = 37,
    kBlkTMedia = 38,
    kBlkDFpga = 39,
    kBlkMMedia = 40,
    kBlkTAcc = 41,
    kBlkLAcc = 42,
    kBlkLRugaBt = 43,
    kBlkLRugaAp = 44,
    kBlkLRuga = 45,
};

extern const TransOpBlock g_TransOpTab[kTransOpBlocks];

// Cuts the target word of `text` into `word` (kTargetWordSize bytes): skips
// leading white space and copies up to the end or the first "/". Returns the
// number of bytes consumed (the "/" included when present), -12 for a null
// argument, -16 when the word has 32 characters or more.
int get_target_name(const char *text, char *word);

// The first of the first `count` rows whose target equals `word` (exact,
// case-sensitive), when that row has a handler; else null. Stops at a row
// with a null target.
const TransOpEntry *get_match_op(const TransOpEntry *rows, int count, const char *word);

// The bodies every dispatcher and help printer shares.
TransOpStatus trans_op_dispatch(const TransOpBlock &block, const char *text);
TransOpStatus trans_op_help(const TransOpBlock &block, const char *text);

// Block dispatchers.
TransOpStatus op_read(const char *params);
TransOpStatus op_write(const char *params);
TransOpStatus op_dump(const char *params);
TransOpStatus op_set(const char *params);
TransOpStatus op_mfc(const char *params);
TransOpStatus op_test(const char *params);
TransOpStatus op_load(const char *params);
TransOpStatus op_clear(const char *params);
TransOpStatus op_m_trans(const char *params);
TransOpStatus op_l_trans(const char *params);
TransOpStatus op_c_trans(const char *params);
TransOpStatus op_m_sbuf(const char *params);
TransOpStatus op_l_sbuf(const char *params);
TransOpStatus op_c_sbuf(const char *params);
TransOpStatus op_m_sfp(const char *params);
TransOpStatus op_s_tcam(const char *params);
TransOpStatus op_s_fpga(const char *params);
TransOpStatus op_m_fpga(const char *params);
TransOpStatus op_s_port(const char *params);
TransOpStatus op_m_port(const char *params);
TransOpStatus op_c_port(const char *params);
TransOpStatus op_s_queue(const char *params);
TransOpStatus op_m_queue(const char *params);
TransOpStatus op_s_bufc(const char *params);
TransOpStatus op_s_secm(const char *params);
TransOpStatus op_s_transmit(const char *params);
TransOpStatus op_s_fpga0(const char *params);
TransOpStatus op_t_fpga0(const char *params);
TransOpStatus op_t_trans(const char *params);
TransOpStatus op_t_sbuf(const char *params);
TransOpStatus op_l_media(const char *params);
TransOpStatus op_w_media(const char *params);
TransOpStatus op_t_media(const char *params);
TransOpStatus op_d_fpga(const char *params);
TransOpStatus op_t_acc(const char *params);
TransOpStatus op_l_acc(const char *params);
TransOpStatus op_l_ruga_bt(const char *params);
TransOpStatus op_l_ruga_ap(const char *params);
TransOpStatus op_l_ruga(const char *params);

// Help printers: list a block's rows and help texts; always 0.
TransOpStatus help_read(const char *params);
TransOpStatus help_write(const char *params);
TransOpStatus help_dump(const char *params);
TransOpStatus help_set(const char *params);
TransOpStatus help_test(const char *params);
TransOpStatus help_load(const char *params);
TransOpStatus help_clear(const char *params);
TransOpStatus help_r_media(const char *params);
TransOpStatus help_w_media(const char *params);
TransOpStatus help_t_media(const char *params);
TransOpStatus help_m_media(const char *params);
TransOpStatus help_t_acc(const char *params);

#endif

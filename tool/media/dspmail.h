// DSP mail tables: the info block a running DSP program publishes at the
// start of its DDR, the trans table built from it, the start-up handshake,
// the mailbox pointer and statistics display and the DSP debug log.
//
// Every DSP memory access goes through media_dsp_mem_access (dsp_mem.h).
#ifndef QUORBIX_TOOL_MEDIA_DSPMAIL_H
#define QUORBIX_TOOL_MEDIA_DSPMAIL_H

#include <cstddef>
#include <cstdint>

#include "boardlib/media_reg.h"
#include "tool/trans_op.h"

// The DSPs a command names: one, or all nine for 255. False when the
// sub-board is above 1 or the DSP above 8 and not 255.
bool media_dsp_span(uint32_t sub, uint32_t dsp, uint32_t &first, uint32_t &last);

// ---- the info block (little-endian, at DSP address 0x80000000) ---------------------------------

inline constexpr uint32_t DSP_INFO_ADDR = 0x80000000;
inline constexpr uint32_t DSP_INFO_LEN = 1696;
inline constexpr uint32_t DSP_INFO_DSP = 0;        // u8, written by the tool
inline constexpr uint32_t DSP_INFO_STATE = 1;      // u8: 1 started, 2 tables installed, 3 configured
inline constexpr uint32_t DSP_INFO_SUB = 2;        // u8, written by the tool
inline constexpr uint32_t DSP_INFO_VERSION = 52;
inline constexpr uint32_t DSP_INFO_DATE = 56;
inline constexpr uint32_t DSP_INFO_SEND_POOL = 404;
inline constexpr uint32_t DSP_INFO_POOL_DESC = 1024;
inline constexpr uint32_t DSP_INFO_DEBUG_DESC = 1472;
inline constexpr uint32_t DSP_MB_DESC_LEN = 20;
inline constexpr uint32_t DSP_RING_DESC_LEN = 28;
inline constexpr uint32_t DSP_RING_WRITE = 20;     // write index within a ring descriptor
inline constexpr uint32_t DSP_RING_READ = 24;      // read index within a ring descriptor
inline constexpr uint32_t DSP_MB_TYPES = MEDIA_MAILBOX_TYPES;

// Descriptor base of mailbox type 0..4 and rw-pointer table address of type 0..2.
inline constexpr uint32_t kDspMbDescBase[DSP_MB_TYPES] = {80, 408, 240, 568, 732};
inline constexpr uint32_t kDspRwptrAddr[MEDIA_RWPTR_TYPES] = {400, 728, 892};

inline constexpr uint8_t DSP_STATE_STARTED = 1;
inline constexpr uint8_t DSP_STATE_INSTALLED = 2;
inline constexpr uint8_t DSP_STATE_CONFIGURED = 3;

// Mail statistics: eight records of ten words, one per core.
inline constexpr uint32_t DSP_STAT_ADDR = 0x808EFC88;
inline constexpr uint32_t DSP_STAT_LEN = 40;

// A debug record: u16 length at byte 2, text from byte 16.
inline constexpr uint32_t DSP_LOG_REC_LEN = 512;
inline constexpr uint32_t DSP_LOG_TEXT = 16;
inline constexpr uint32_t DSP_LOG_INDEX_MASK = 0xFFFFFF;

struct DspMbDesc {
    uint32_t base;
    uint32_t len;
    uint32_t size;
    uint32_t msk;
    uint8_t sts;
    uint8_t sts2;
    uint8_t rsv[2];
};
static_assert(sizeof(DspMbDesc) == DSP_MB_DESC_LEN && offsetof(DspMbDesc, msk) == 12 && offsetof(DspMbDesc, sts) == 16);

struct DspRingDesc {
    DspMbDesc mb;
    uint32_t write;
    uint32_t read;
};
static_assert(sizeof(DspRingDesc) == DSP_RING_DESC_LEN && offsetof(DspRingDesc, write) == DSP_RING_WRITE);
static_assert(offsetof(DspRingDesc, read) == DSP_RING_READ);

// Fields of a block in the caller's memory (at least DSP_INFO_LEN bytes).
uint32_t dsp_info_word(const uint8_t *block, uint32_t offset);
DspMbDesc dsp_info_mb_desc(const uint8_t *block, uint32_t core, uint32_t type);
DspRingDesc dsp_info_ring_desc(const uint8_t *block, uint32_t base, uint32_t core);

// ---- trans tables -----------------------------------------------------------------------------

// The trans table of one DSP from its info block (pure).
void media_dsp_build_trans_table(uint32_t sub, uint32_t dsp, const uint8_t *block, DspTransTable *table);
// The fixed table of the table tests (pure).
void media_dsp_fixed_trans_table(uint32_t sub, uint32_t dsp, DspTransTable *table);
// The table as the mail init shows it (PrintPLOVTable) and as set/get dump it.
void media_dsp_print_trans_table(uint32_t sub, uint32_t dsp, const DspTransTable *table);
void media_dsp_dump_trans_table(const DspTransTable *table);

// Installs the table; -1200 with the two error lines on failure.
int32_t media_dsp_set_trans_table(uint32_t sub, uint32_t dsp, const DspTransTable *table);

// Mail init of one DSP: reads the block, installs its table and completes
// the 2 -> 3 handshake. 0, -1200, or a failed access's status.
int32_t media_dsp_mail_init(uint32_t sub, uint32_t dsp);

// ---- debug log -----------------------------------------------------------------------------------

// The text of one 512-byte record, terminated in place at byte length + 4
// (never before the text; at 511 for a length of 508 or more). Returns the
// text, which lies inside `rec`.
const char *media_dsp_log_text(uint8_t rec[DSP_LOG_REC_LEN]);

// One pass of the debug log over both sub-boards; the last drain's status.
int32_t media_dsp_show_log_pass();

// ---- handlers ---------------------------------------------------------------------------------

TransOpStatus media_set_dsp_all_mailbox_switch(const char *params);
TransOpStatus media_dsp_get_statistic(const char *params);
TransOpStatus media_dsp_clear_statistic(const char *params);
TransOpStatus media_dsp_show_log(const char *params);

#endif

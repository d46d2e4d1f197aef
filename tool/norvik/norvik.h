// The memory-controller-hub check module: the "mch" row of block "mfc"
// (-m mch/BASE/item=I,tcap=T,ecap=E) and the QPI error-register operations
// on the QPI device (g_RasBus, g_ucRasDevFn).
//
// The check writes "BASE.result" (one verdict line, always "OK" for the QPI
// check) and "BASE.info", which collects this module's log lines as
// "file line text".
#ifndef QUORBIX_TOOL_NORVIK_NORVIK_H
#define QUORBIX_TOOL_NORVIK_NORVIK_H

#include <cstddef>
#include <cstdint>

#include "tool/trans_op.h"

inline constexpr size_t kMchPathSize = 64;

// flags: bits 1:0 the item (1 QPI check, 2 no action), bit 2 write the result file.
struct mch_check_ctrl {
    uint32_t flags;
    int32_t time_cap;
    int32_t err_cap;
    char result_path[kMchPathSize];
};

inline constexpr uint32_t kMchItemMask = 0x3;
inline constexpr uint32_t kMchWriteResult = 0x4;

inline constexpr int32_t kMchNull = -1201;
inline constexpr int32_t kMchBadInput = -1202;
inline constexpr int32_t kMchBadItem = -1204;

// QPI registers of the QPI device (dwords).
inline constexpr uint32_t kQpi0ErrSt = 0x200;
inline constexpr uint32_t kQpi1ErrSt = 0x280;
inline constexpr uint32_t kQpi0LogEnable = 0x234;
inline constexpr uint32_t kQpi1LogEnable = 0x2B4;
inline constexpr uint32_t kQpiErrBits = 0x1FFF;
inline constexpr uint32_t kQpiEnableBits = 0x000EFF1F;

extern char g_LogFileName[kMchPathSize];
extern uint8_t g_RasBus;
extern uint8_t g_ucRasDevFn;

TransOpStatus mch_check_intf(const char *params);
int32_t analyze_ctrl_t_param(const char *text, mch_check_ctrl *ctrl);
int32_t mch_check_cmd_deal(mch_check_ctrl *ctrl);
int32_t mch_check_qpi(mch_check_ctrl *ctrl);
void mch_output_result_file(const char *path, const char *text);

// Each returns 0 or the failed configuration access's status; -1201 for a
// missing output. The second access of a pair runs only after the first.
int32_t mch_detect_qpi_state(int32_t *result);
int32_t mch_get_qpi_enable_reg(uint32_t *port0_out, uint32_t *port1_out);
int32_t mch_clear_qpi_status_reg();
int32_t mch_renew_qpi_setting(uint32_t port0, uint32_t port1);
int32_t mch_enable_qpi_check(uint32_t port0, uint32_t port1);

#endif

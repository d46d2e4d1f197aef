// DSP program loading commands: one DSP or all nine of a sub-board in turn
// (l_media f, d), several DSPs in parallel with a load thread each (t), the
// same with repeated loads and a health-polling thread (th); and the ECC
// image writer (t_media ecc).
//
// The load threads are detached and never joined; the health thread runs
// until the process ends. The image is shared by the command and its load
// threads and released by the last of them to end.
#ifndef QUORBIX_TOOL_MEDIA_MEDIA_H
#define QUORBIX_TOOL_MEDIA_MEDIA_H

#include <atomic>
#include <cstdint>

#include <pthread.h>

#include "bases/drv/media_drv.h"
#include "tool/trans_op.h"

// The largest image a command reads; the buffer has 16 bytes more for the
// zone record the ECC writer adds.
inline constexpr uint32_t MEDIA_IMAGE_MAX = 0xA00000;
inline constexpr uint32_t MEDIA_IMAGE_BUF = MEDIA_IMAGE_MAX + 16;
inline constexpr uint32_t MEDIA_NAME_LEN = 256;

// Load status of a threaded load: running, done, failed.
inline constexpr int32_t MEDIA_LOAD_RUNNING = -1207;
inline constexpr int32_t MEDIA_LOAD_OK = 0;
inline constexpr int32_t MEDIA_LOAD_FAILED = -1200;

// The file name scanned by the threaded loads (also named by the fill
// command's lines); empty when none.
extern char Filename[MEDIA_NAME_LEN];

// One threaded load per (sub-board, DSP). The status is written by the
// load thread and polled by the command.
struct MediaLoadInfo {
    uint32_t sub;
    uint32_t dsp;
    const uint8_t *image;
    int32_t length;
    int32_t loadType;
    std::atomic<int32_t> status;
    int32_t repeat;
};

extern MediaLoadInfo gLoadInfo[MEDIA_SUBRD_NUM][MEDIA_DSP_NUM];
extern pthread_t gthread[MEDIA_SUBRD_NUM][MEDIA_DSP_NUM];
extern int32_t gthread_error[MEDIA_SUBRD_NUM][MEDIA_DSP_NUM];
extern uint64_t cnt[MEDIA_SUBRD_NUM][MEDIA_DSP_NUM];

// Reads a whole image file into `buf` (`bufSize` bytes); 0 and *length, or
// -1201 (null argument), -1221 (open), -1204 (status), -1212 (too large),
// -1218 (read error or early end).
int32_t dsp_image_read(const char *name, uint8_t *buf, uint32_t bufSize, int32_t *length);
// Writes `length` bytes to a file created or truncated; 0, -1201, -1221, -1218.
int32_t dsp_image_write(const char *name, const uint8_t *buf, uint32_t length);

// Adds an ECC zone record to the image of `n` bytes (n >= 2) in `buf`,
// which has room for n + 16: the record over the old CRC, the new CRC
// after it. Returns the new CRC.
uint16_t media_ecc_add_zone(uint8_t *buf, uint32_t n, uint32_t zoneAddr, uint32_t zoneLen);

TransOpStatus load_media_dsp_image(const char *params);
TransOpStatus load_media_dsp_image_delay(const char *params);
TransOpStatus load_media_in_mult_thread(const char *params);
TransOpStatus load_with_health_chk_mult_thread(const char *params);
TransOpStatus creat_media_dsp_ecc_image(const char *params);

// ---- the media command rows (media_cmd.cpp) ------------------------------------------------------
// Each scans its parameter text, calls one library operation (or a short
// fixed sequence), prints the result and returns the status.

// r_media
TransOpStatus read_media_dsp_mem_b(const char *params);
TransOpStatus read_media_dsp_mem_dw(const char *params);
TransOpStatus read_media_dsp_mem_ddw(const char *params);
TransOpStatus media_test_dsp_ecc_rd_dw(const char *params);
TransOpStatus read_lpc_mem_b(const char *params);
TransOpStatus read_media_dsp_pcie_app_dw(const char *params);
// w_media
TransOpStatus write_media_dsp_mem_b(const char *params);
TransOpStatus write_media_dsp_mem_dw(const char *params);
TransOpStatus write_media_dsp_mem_ddw(const char *params);
TransOpStatus media_test_dsp_ecc_wrt_dw(const char *params);
TransOpStatus write_lpc_mem_b(const char *params);
TransOpStatus write_media_dsp_pcie_app_dw(const char *params);
// t_media
TransOpStatus media_dsp_plugin(const char *params);
TransOpStatus media_dsp_plugout(const char *params);
TransOpStatus media_dsp_reset(const char *params);
TransOpStatus media_dsp_hotplug(const char *params);
TransOpStatus media_get_board_info(const char *params);
TransOpStatus media_get_startup_state(const char *params);
TransOpStatus media_fill_dsp_mem(const char *params);
TransOpStatus media_test_dsp_mem(const char *params);
TransOpStatus media_get_dsp_mem_map(const char *params);
TransOpStatus media_ctrl_dsp_port(const char *params);
TransOpStatus media_ctrl_dsp_port_iomem(const char *params);
TransOpStatus media_dsp_port_ctrl_and_reset(const char *params);
TransOpStatus media_test_subrd_lpc(const char *params);
TransOpStatus media_test_basebrd_lpc(const char *params);
TransOpStatus media_get_subrd_health_state(const char *params);
TransOpStatus media_three_step_test(const char *params);
TransOpStatus media_Set_TransAddrTbl(const char *params);
TransOpStatus media_Get_TransAddrTbl(const char *params);
TransOpStatus media_Set_mailboxswitch(const char *params);
TransOpStatus media_Get_mailboxswitch(const char *params);
TransOpStatus media_Set_Globalmailboxswitch(const char *params);
TransOpStatus media_Get_Globalmailboxswitch(const char *params);
TransOpStatus media_Get_Statistic(const char *params);
TransOpStatus media_Clr_Statistic(const char *params);

#endif

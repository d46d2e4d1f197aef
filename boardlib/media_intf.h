// The media board's public operations: index and pointer checks, the
// library's locks around program loads, hot plug and health queries, sliced
// DSP memory transfers, board information, and the mailbox switch,
// statistic and trans-table calls.
//
// Lock order: a load takes its DSP's semaphore of gLoadSem, then
// gMediaSwitchLock around the hot plug only (gMediaHpLock inside each
// plug request). A health query takes its sub-board's nine semaphores
// without waiting. The locks exist once per process from first use.
#ifndef QUORBIX_BOARDLIB_MEDIA_INTF_H
#define QUORBIX_BOARDLIB_MEDIA_INTF_H

#include <cstddef>
#include <cstdint>

#include <pthread.h>
#include <semaphore.h>

#include "bases/drv/media_drv.h"
#include "boardlib/media_app.h"
#include "boardlib/media_reg.h"

inline constexpr uint32_t MEDIA_SUBRD_INFO_NUM = 16;
inline constexpr uint32_t MEDIA_SLICE_LEN = 0x100000;

struct stSubBoardInfo {
    uint32_t enSubBoardId;
    uint32_t enSubBoardStatus;   // 0 present, 1 absent
    uint32_t enSubBoardType;     // 0 present, 1 absent
    uint32_t ulDspNum;
    uint32_t ulRsv;
};
static_assert(sizeof(stSubBoardInfo) == 20 && offsetof(stSubBoardInfo, ulDspNum) == 12);

struct BoardInfo {
    uint32_t enBaseBoardType;
    uint32_t uiSubBoardNum;
    stSubBoardInfo astSubBoard[MEDIA_SUBRD_INFO_NUM];
};
static_assert(sizeof(BoardInfo) == 328 && offsetof(BoardInfo, astSubBoard) == 8);

struct stMediaMailboxStatistic {
    uint32_t ulDspCtrlMsgMailBoxReceiveCnt;
    uint32_t ulDspCtrlMsgMailBoxReceiveErrCnt;
    uint32_t ulDspCtrlMsgMailBoxSendReqCnt;
    uint32_t ulDspCtrlMsgMailBoxSendRtnCnt;
    uint32_t ulDspDataMailBoxReceiveCnt;
    uint32_t ulDspDataMailBoxReceiveErrCnt;
    uint32_t ulDspDataMailBoxSendReqCnt;
    uint32_t ulDspDataMailBoxSendRtnCnt;
    uint32_t ulDspReleaseMailBoxCnt;
    uint32_t ulDspReleaseMailBoxErrCnt;
    uint32_t ulRsv;
};
static_assert(sizeof(stMediaMailboxStatistic) == 44);
static_assert(offsetof(stMediaMailboxStatistic, ulDspDataMailBoxReceiveCnt) == 16);
static_assert(offsetof(stMediaMailboxStatistic, ulDspReleaseMailBoxCnt) == 32);

// One semaphore per (sub-board, DSP), and the lock around hot plugs.
extern sem_t gLoadSem[MEDIA_SUBRD_NUM][MEDIA_DSP_NUM];
extern pthread_mutex_t gMediaSwitchLock;

// Makes sure the locks exist: 0, or -1200 when a semaphore could not be
// created. Later calls change nothing.
PlovStatus PLOV_MediaLoadInit();

PlovStatus PLOV_MediaLoadDspPrg(uint32_t sub, uint32_t dsp, const uint8_t *image, int32_t length, int32_t loadType);
PlovStatus PLOV_MediaGetSubBoardHealthStatus(uint32_t sub, HealthState *out);
PlovStatus PLOV_MediaReadDspMem(uint32_t sub, uint32_t dsp, uint32_t dspAddr, void *buf, uint32_t length);
PlovStatus PLOV_MediaWriteDspMem(uint32_t sub, uint32_t dsp, uint32_t dspAddr, void *buf, uint32_t length);
PlovStatus PLOV_MediaGetBoardInfo(BoardInfo *out);
PlovStatus PLOV_MediaGetGlobalDspMailBoxSwitch(uint32_t sub, uint32_t dsp, uint32_t *on);
PlovStatus PLOV_MediaSetGlobalDspMailBoxSwitch(uint32_t sub, uint32_t dsp, uint32_t on);
PlovStatus PLOV_MediaGetDspMailBoxSwitch(uint32_t sub, uint32_t dsp, uint32_t core, uint32_t type, uint32_t *on);
PlovStatus PLOV_MediaSetDspMailBoxSwitch(uint32_t sub, uint32_t dsp, uint32_t core, uint32_t type, uint32_t on);
PlovStatus PLOV_MediaGetDspMailboxStatistic(uint32_t sub, uint32_t dsp, uint32_t core, stMediaMailboxStatistic *out);
PlovStatus PLOV_MediaClrDspMailboxStatistic(uint32_t sub, uint32_t dsp, uint32_t core);
PlovStatus PLOV_MediaGetDspTransTable(uint32_t sub, uint32_t dsp, DspTransTable *table);
PlovStatus PLOV_MediaSetDspTransTable(uint32_t sub, uint32_t dsp, const DspTransTable *table);

#endif

// The media library's device operations, DSP program loader, hot plug and
// sub-board path status. Every operation opens "/dev/media_dev", sends its
// request(s) and closes the device before it returns.
#ifndef QUORBIX_BOARDLIB_MEDIA_APP_H
#define QUORBIX_BOARDLIB_MEDIA_APP_H

#include <cstddef>
#include <cstdint>

#include <pthread.h>

#include "bases/drv/media_drv.h"
#include "boardlib/media_bin.h"
#include "boardlib/plov_status.h"

// The media library's log hook; when empty the line goes to syslog.
extern PlovLogHook g_pfMediaLog;

#define MEDIA_LOG_ERR(fmt, ...) PLOV_LOG_LINE(g_pfMediaLog, PLOV_LEVEL_ERR, "[Media-ERR]", fmt __VA_OPT__(, ) __VA_ARGS__)
#define MEDIA_LOG_INFO(fmt, ...) PLOV_LOG_LINE(g_pfMediaLog, PLOV_LEVEL_INFO, "[Media-INFO]", fmt __VA_OPT__(, ) __VA_ARGS__)

// Held around each plug-in, plug-out and switch-port request. Usable from
// process start-up (statically initialised).
extern pthread_mutex_t gMediaHpLock;

// ---- device requests ---------------------------------------------------------------

PlovStatus MEDIA_DspReset(uint32_t sub, uint32_t dsp);
PlovStatus MEDIA_GetDspStartUpState(uint32_t sub, uint32_t dsp, uint32_t core, uint32_t *state);
PlovStatus MEDIA_GetInitState(uint32_t sub, uint32_t dsp, uint32_t *state);
PlovStatus MEDIA_GetPortLinkState(uint32_t sub, uint32_t dsp, uint32_t *state);
PlovStatus MEDIA_DspHotPlugin(uint32_t sub, uint32_t dsp);
PlovStatus MEDIA_DspHotPlugout(uint32_t sub, uint32_t dsp);
PlovStatus MEDIA_SetPciSwPort(uint32_t sub, uint32_t dsp, uint32_t on);
PlovStatus MEDIA_SetPciSwPortIoMem(uint32_t sub, uint32_t dsp, uint32_t on);
PlovStatus MEDIA_FillDspDevMem(uint32_t sub, uint32_t dsp, uint32_t dspAddr, uint32_t len, uint8_t value);
PlovStatus MEDIA_AppTestSubrdLpc(uint32_t sub);
PlovStatus MEDIA_AppLpcRW(uint16_t lpcAddr, void *buf, uint16_t len, uint32_t write);
PlovStatus MEDIA_AppDspMemRwAlign(uint32_t sub, uint32_t dsp, uint32_t dspAddr, void *buf, uint32_t len,
                                  uint32_t width, uint32_t write);
PlovStatus MEDIA_AppThreeStepTest(uint32_t sub, uint32_t dsp);
PlovStatus MEDIA_AppDspPcieAppRW(uint32_t sub, uint32_t dsp, uint32_t regAddr, void *buf, uint32_t len,
                                 uint32_t write);
PlovStatus MEDIA_GetSubBoardHealthState(uint32_t sub, SubrdState *out);
// The PCIe window of a DSP memory region (type 0 a core's L2, 1 MSM, 2 DDR);
// `out` receives a MEDIA_PCI_MAP_RESULT.
PlovStatus PLOV_MediaGetDspPcieAddr(uint32_t sub, uint32_t dsp, uint32_t core, uint32_t type, void *out);
// Logs the code and record size of requests 0x01-0x0A.
void MEDIA_AppCmdPrint();

// ---- program loading ---------------------------------------------------------------

inline constexpr uint32_t MEDIA_ENTRY_WORD_ADDR = 0x1087FFFC;

PlovStatus MEDIA_LoadDspBin(uint32_t sub, uint32_t dsp, const uint8_t *image, uint32_t length, uint32_t loadType);
PlovStatus MEDIA_LoadDspPrgSec(uint32_t sub, uint32_t dsp, uint32_t addr, const uint8_t *data, uint32_t len,
                               uint32_t loadType);
PlovStatus MEDIA_ReadFromDsp(int fd, MEDIA_MEM_RW_STRU *rec, uint32_t loadType);
PlovStatus MEDIA_DspEccEnable(uint32_t sub, uint32_t dsp, const EccZone pair[2]);
PlovStatus MEDIA_TriggerStartUp(uint32_t sub, uint32_t dsp, uint32_t entryAddr);

// ---- hot plug and path status --------------------------------------------------------

PlovStatus MEDIA_CtrlPortAndCheck(uint32_t sub, uint32_t dsp);
PlovStatus MEDIA_DspHotPlug(uint32_t sub, uint32_t dsp);

// A port's link as the path classifier compares it.
struct MediaLinkInfo {
    int32_t LinkState;
    int32_t LinkWidth;
    int32_t LinkSpeed;
};
static_assert(sizeof(MediaLinkInfo) == 12);

// Path status values.
inline constexpr uint32_t MEDIA_PATH_NORMAL = 1;
inline constexpr uint32_t MEDIA_PATH_DEGRADED = 2;
inline constexpr uint32_t MEDIA_PATH_FAULT = 4;

PlovStatus MEDIA_GetSubrdPathStatus(const MediaLinkInfo *valid, const MediaLinkInfo *current, uint32_t *status);

inline constexpr uint32_t MEDIA_SUB_WORK_PATH_MAX = 32;

struct stMediaManagePathStatus {
    uint32_t enLoadAndConfigPathStatus;
    uint32_t enResetAndConfigPathStatus;
    uint32_t ulRsv;
};

struct stMediaSubWorkPathStatus {
    uint32_t ulSubWorkPathId;
    uint32_t enSubWorkPathStatus;
    uint32_t ulRsv;
};

struct stMediaWorkPathStatus {
    uint32_t ulPublicWorkPathStatus;
    uint32_t ulSubWorkPathNum;
    stMediaSubWorkPathStatus astSubWorkPath[MEDIA_SUB_WORK_PATH_MAX];
};

struct HealthState {
    uint32_t enSubBoardHealthStatus;
    stMediaManagePathStatus stManagePath;
    stMediaWorkPathStatus stWorkPath;
};
static_assert(sizeof(HealthState) == 408);
static_assert(offsetof(HealthState, stManagePath) == 4 && offsetof(HealthState, stWorkPath) == 16);
static_assert(offsetof(HealthState, stWorkPath.ulSubWorkPathNum) == 20);
static_assert(offsetof(HealthState, stWorkPath.astSubWorkPath) == 24);

// Sub-board health values.
inline constexpr uint32_t MEDIA_SUBRD_HEALTHY = 1;
inline constexpr uint32_t MEDIA_SUBRD_MANAGE_FAULT = 2;
inline constexpr uint32_t MEDIA_SUBRD_WORK_FAULT = 4;
inline constexpr uint32_t MEDIA_SUBRD_BOTH_FAULT = 8;

PlovStatus MEDIA_ParseSubrdStatus(HealthState *health);

#endif

// DORN versions, driver information pass-throughs, file helpers, driver log
// collection and register snapshots.
#ifndef QUORBIX_BOARDLIB_DORN_VERSION_H
#define QUORBIX_BOARDLIB_DORN_VERSION_H

#include <cstdint>

#include "boardlib/dorn_logic.h"

inline constexpr const char *DORN_LIB_VERSION = "2.330.00.0";
inline constexpr const char *DORN_ZVT_DIR = "/opt/zvt/";
inline constexpr const char *DORN_SHOT_FILE = "/opt/zvt/logic_shot.txt";
inline constexpr const char *DORN_SHOT_PREV_FILE = "/opt/zvt/logic_shot_prev.txt";
inline constexpr const char *DORN_LOG_COPY_FILE = "/opt/zvt/logic_log_reboot.txt";
inline constexpr const char *DORN_DRV_LOG = "/proc/trans/log";
inline constexpr unsigned DORN_SHOT_KINDS = 5;
extern const char *const g_DornShotSource[2][DORN_SHOT_KINDS];

inline constexpr PlovStatus DORN_ERR_ALLOC = -1209;
inline constexpr PlovStatus DORN_ERR_MKDIR = -1217;
inline constexpr PlovStatus DORN_ERR_FILE_IO = -1218;

PlovStatus DornTransVersion();
PlovStatus DornLibVer115001();
PlovStatus DornTransGetFpgaVer(FpgaId fpga, uint64_t *version);
PlovStatus DornTransGetFwRunVer(FpgaId fpga, uint32_t *version);
PlovStatus DornTransGetDrvVer(FpgaId fpga, char *text);   // PLOV_DRV_VER_LEN bytes
PlovStatus TransGetDrvInfo(FpgaId fpga, DrvInfo *info);
PlovStatus TransGetPortStaticMac(FpgaId fpga, PortStaticMacReq *req);
PlovStatus TransGetRegs(FpgaId fpga, RegSpaceReq *req);

// Read up to `size` bytes of `path` (opened with `flags`) until its end;
// the count read into *length.
PlovStatus TRANS_FileRead(const char *path, uint8_t *buffer, uint64_t size, uint32_t *length, int flags);
PlovStatus TRANS_FileWrite(const char *path, const uint8_t *buffer, int32_t length, const char *mode);
PlovStatus TRANS_CollectLog();
PlovStatus TRANS_Shot(FpgaId fpga, int32_t kind);

#endif

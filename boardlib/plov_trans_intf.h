// The frame of the board-independent packet library: status codes, the
// board logic type and its probe, the library's log line and hooks, and the
// operations that answer with a fixed result.
#ifndef QUORBIX_BOARDLIB_PLOV_TRANS_INTF_H
#define QUORBIX_BOARDLIB_PLOV_TRANS_INTF_H

#include <cstdint>

struct PortStatistic;

using PlovStatus = int32_t;
using FpgaId = uint8_t;

// Common status codes of the board libraries; further codes stand with the
// operations that use them.
inline constexpr PlovStatus PLOV_OK = 0;
inline constexpr PlovStatus PLOV_ERR_BOARD_NAME = -1200;   // board name unknown or unreadable
inline constexpr PlovStatus PLOV_ERR_NULL_PTR = -1201;     // null pointer argument
inline constexpr PlovStatus PLOV_ERR_PARAM = -1202;        // invalid argument value
inline constexpr PlovStatus PLOV_ERR_IOCTL = -1203;        // driver request failed
inline constexpr PlovStatus PLOV_ERR_BUF_SMALL = -1205;    // caller's buffer too small
inline constexpr PlovStatus PLOV_ERR_TIMEOUT = -1206;      // hardware bit never came
inline constexpr PlovStatus PLOV_ERR_NO_MEM = -1211;       // allocation failed
inline constexpr PlovStatus PLOV_ERR_OPEN = -1216;         // node or file not openable
inline constexpr PlovStatus PLOV_ERR_LOCK = -1225;         // catalogue mutex lock
inline constexpr PlovStatus PLOV_ERR_UNLOCK = -1226;       // catalogue mutex unlock
inline constexpr PlovStatus PLOV_ERR_FPGA_ID = -1330;      // FPGA id not valid for the board
inline constexpr PlovStatus PLOV_ERR_PORT_ID = -1331;      // port id out of range (DORN)
inline constexpr PlovStatus PLOV_ERR_KESP_ID = -1335;      // FPGA, port property or queue id (KESP, maps)
inline constexpr PlovStatus PLOV_ERR_RANGE = -1336;        // value out of range
inline constexpr PlovStatus PLOV_ERR_TABLE = -1340;        // table id or kind not valid

// Board logic type: 0 not yet known, 1 DORN (two FPGAs), 2 KESP (one FPGA).
inline constexpr uint32_t PLOV_BOARD_UNKNOWN = 0;
inline constexpr uint32_t PLOV_BOARD_DORN = 1;
inline constexpr uint32_t PLOV_BOARD_KESP = 2;
extern uint32_t geBoardLogicType;

inline constexpr const char *PLOV_BOARD_NAME_PATH = "/sys/devices/virtual/dmi/id/board_name";

// Probe the DMI board name and store the type: 0, -1216 (file not
// openable) or -1200 (unreadable or not a packet board).
PlovStatus TRANS_BoardGetLogicType(uint32_t *type);

// Step 1 of every board-independent operation: probe while the type is
// still unknown; a failure is logged and returned.
PlovStatus PlovCheckLogicType();

// ---- logging -----------------------------------------------------------------

// A log hook: level, 0, format, file, line, then the format's values.
using PlovLogHook = void (*)(int level, int zero, const char *format, const char *file, int line, ...);
extern PlovLogHook g_pfPLOVTransLog;
extern PlovLogHook g_pfPLOV_SFP_8472Log;

inline constexpr int PLOV_LEVEL_ERR = 4;
inline constexpr int PLOV_LEVEL_INFO = 1;
inline constexpr int PLOV_LEVEL_DBG = 0;

// Writes one formatted log line to the host's syslog at `level`
// (plov_trans_intf.cpp).
void plov_log_syslog(int level, const char *format, ...) __attribute__((format(printf, 2, 3)));

// One line "[PLOV_LOG] file:line <tag><text>" to the hook when it is set
// (with the format and its values, as the hook's callers expect), otherwise
// to syslog at the level. `fmt` is a string literal.
#define PLOV_LOG_LINE(hook, level, tag, fmt, ...)                                                  \
    do {                                                                                           \
        if ((hook) != nullptr)                                                                     \
            (hook)((level), 0, "[PLOV_LOG] %s:%d " tag fmt, __FILE__, __LINE__ __VA_OPT__(, )      \
                       __VA_ARGS__);                                                               \
        else                                                                                       \
            plov_log_syslog((level), "[PLOV_LOG] %s:%d " tag fmt, __FILE__, __LINE__ __VA_OPT__(, ) \
                                __VA_ARGS__);                                                      \
    } while (0)

// Device layers, backends and table modules.
#define TRANS_LOG_ERR(fmt, ...) PLOV_LOG_LINE(g_pfPLOVTransLog, PLOV_LEVEL_ERR, "[Trans-ERR]", fmt __VA_OPT__(, ) __VA_ARGS__)
#define TRANS_LOG_INFO(fmt, ...) PLOV_LOG_LINE(g_pfPLOVTransLog, PLOV_LEVEL_INFO, "[Trans-INFO]", fmt __VA_OPT__(, ) __VA_ARGS__)
#define TRANS_LOG_DBG(fmt, ...) PLOV_LOG_LINE(g_pfPLOVTransLog, PLOV_LEVEL_DBG, "[Trans-DBG]", fmt __VA_OPT__(, ) __VA_ARGS__)

// Board-independent operations (Plov, PLOV_Trans).
#define PLOV_LOG_ERR(fmt, ...) PLOV_LOG_LINE(g_pfPLOVTransLog, PLOV_LEVEL_ERR, "[PLOV_SFP_8472-ERR]", fmt __VA_OPT__(, ) __VA_ARGS__)
#define PLOV_LOG_INFO(fmt, ...) PLOV_LOG_LINE(g_pfPLOVTransLog, PLOV_LEVEL_INFO, "[PLOV_SFP_8472-INFO]", fmt __VA_OPT__(, ) __VA_ARGS__)

// The module decoder.
#define SFP8472_LOG_ERR(fmt, ...) PLOV_LOG_LINE(g_pfPLOV_SFP_8472Log, PLOV_LEVEL_ERR, "[PLOV_SFP_8472-ERR]", fmt __VA_OPT__(, ) __VA_ARGS__)
#define SFP8472_LOG_INFO(fmt, ...) PLOV_LOG_LINE(g_pfPLOV_SFP_8472Log, PLOV_LEVEL_INFO, "[PLOV_SFP_8472-INFO]", fmt __VA_OPT__(, ) __VA_ARGS__)

// ---- operations with a fixed result -------------------------------------------
// Each returns 0 and touches nothing, outputs included.

PlovStatus PlovTransSetIntMask(FpgaId fpga, uint32_t mask);
PlovStatus PlovTransGetIntMask(FpgaId fpga, uint32_t *mask);
PlovStatus PlovTransGetPortPrivStatistics(FpgaId fpga, uint8_t port, PortStatistic *stat);
PlovStatus PlovTransSetAntiCpuSwitchAll(FpgaId fpga, uint32_t on);
PlovStatus PlovTransGetAntiCpuSwitchAll(FpgaId fpga, uint32_t *on);
PlovStatus PlovTransSetAntiCpuSwitch(FpgaId fpga, uint8_t port, uint32_t on);
PlovStatus PlovTransGetAntiCpuSwitch(FpgaId fpga, uint8_t port, uint32_t *on);
PlovStatus PlovTransSetAntiCpuResLevel(FpgaId fpga, uint32_t resource, uint16_t level);
PlovStatus PlovTransGetAntiCpuResLevel(FpgaId fpga, uint32_t resource, uint16_t *level);

#endif

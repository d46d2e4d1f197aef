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

// Further codes of the port, queue and interrupt operations.
inline constexpr PlovStatus PLOV_ERR_PARSE = -1218;        // file contents not understood
inline constexpr PlovStatus PLOV_ERR_REG_ACCESS = -1312;   // register read or write failed (PHY, clock, timer)
inline constexpr PlovStatus PLOV_ERR_QUEUE_SWITCH_ID = -1332;  // queue id the switch does not take
inline constexpr PlovStatus PLOV_ERR_RESET_VALUE = -1337;  // port reset value other than 1
inline constexpr PlovStatus PLOV_ERR_PHY_STATE = -1339;    // PHY power bits in an invalid state
inline constexpr PlovStatus PLOV_ERR_INDIR_READ = -1350;   // indirect read inside a group switch failed
inline constexpr PlovStatus PLOV_ERR_SWITCH_MISMATCH = -1398;  // queues of a group switched differently

// Codes that several meanings share: one name per meaning.
inline constexpr PlovStatus PLOV_ERR_PHY_QUERY = -1200;    // the PHY-power query of the link state failed
inline constexpr PlovStatus PLOV_ERR_IRQ_UNBOUND = -1200;  // interrupt bound to no usable CPU
inline constexpr PlovStatus PLOV_ERR_CPU_ID = -1205;       // CPU number of KESP_VCPUS_MAX_NUM or more
inline constexpr PlovStatus PLOV_ERR_MODE = -1205;         // mode value not understood
inline constexpr PlovStatus PLOV_ERR_MEDIA_PORT = -1205;   // media port id out of range
inline constexpr PlovStatus PLOV_ERR_QUEUE_TYPE = -1205;   // queue type the switch or address form lacks
inline constexpr PlovStatus PLOV_ERR_IRQ_MANY_CPUS = -1205;  // interrupt bound to more than one CPU
inline constexpr PlovStatus PLOV_ERR_KESP_FPGA = -1335;    // KESP board, FPGA id other than 0
inline constexpr PlovStatus PLOV_ERR_QUEUE_ID = -1335;     // queue type or id out of range
inline constexpr PlovStatus PLOV_ERR_TOO_LARGE = -1335;    // value wider than its field (length, CAR, bit index, packet type)

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

// ---- checks shared by the board-independent operations ----------------------------

// FPGA id above 1: -1330, logged "Invalid FpgaID [%d]\n" when `log`.
PlovStatus PlovCheckFpgaId(FpgaId fpga, bool log = true);
// KESP board with an FPGA id other than 0: " invalid fpga_id = %d\n", -1335.
PlovStatus PlovCheckKespFpga(FpgaId fpga);
// A null pointer: "NULL Pointer detected!\n", -1201.
PlovStatus PlovNullPointer();
// The probe, then, on a KESP board, the FPGA-id rule; *kesp tells the branch.
PlovStatus PlovProbeBranch(FpgaId fpga, bool *kesp);
// The FPGA-id check, then the probe and branch.
PlovStatus PlovCheckAndProbe(FpgaId fpga, bool *kesp);

// The rule of the operations that exist only for the DORN board: on a KESP
// board log "unsupport operate[geBoardLogicType = %d ]" at `level` (ERR or
// INFO) and answer true; the caller then returns 0 with its outputs
// untouched. The line names the caller's place.
bool PlovDornOnlyRefuses(int level, const char *file, int line);
#define PLOV_KESP_UNSUPPORTED(level) PlovDornOnlyRefuses((level), __FILE__, __LINE__)

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

// One line "[PLOV_LOG] source:line <tag><text>" to the hook when it is set
// (with the format and its values, as the hook's callers expect), otherwise
// to syslog at the level. `fmt` is a string literal. The source is the
// file of the code unless a module names its lines otherwise.
#define PLOV_LOG_LINE_FROM(hook, level, tag, source, fmt, ...)                                    \
    do {                                                                                           \
        if ((hook) != nullptr)                                                                     \
            (hook)((level), 0, "[PLOV_LOG] %s:%d " tag fmt, (source), __LINE__ __VA_OPT__(, )      \
                       __VA_ARGS__);                                                               \
        else                                                                                       \
            plov_log_syslog((level), "[PLOV_LOG] %s:%d " tag fmt, (source), __LINE__ __VA_OPT__(, ) \
                                __VA_ARGS__);                                                      \
    } while (0)
#define PLOV_LOG_LINE(hook, level, tag, fmt, ...) \
    PLOV_LOG_LINE_FROM(hook, level, tag, __FILE__, fmt __VA_OPT__(, ) __VA_ARGS__)

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

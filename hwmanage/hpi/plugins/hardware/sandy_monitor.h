// The processor uncore error monitor: snapshots of the uncore error
// registers (global error, system event, IRP, IIO, miscellaneous, QPI, and
// per PCI Express port its capability, AER and XP registers), their reads,
// clears and masks, the monitoring pass that drives every unit from the
// global error registers, the LPC check, and the console printers beside
// the description tables. Configuration access goes through the PCI
// library's procfs functions, log lines through the diagnosis log. The
// register map is that of the uncore devices 8086:3C00-3C0F.
#ifndef QUORBIX_HWMANAGE_HPI_PLUGINS_HARDWARE_SANDY_MONITOR_H
#define QUORBIX_HWMANAGE_HPI_PLUGINS_HARDWARE_SANDY_MONITOR_H

#include <cstddef>
#include <cstdint>

#include "hwmanage/hpi/plugins/hardware/tvk_ras_regs.h"

// ---- register blocks ----------------------------------------------------------------------

inline constexpr uint32_t SANDY_GERR_BASE = 0x1C0;     // 15 dwords, RAS function
inline constexpr uint32_t SANDY_SYSEVT_BASE = 0x80;    // 12 dwords, RAS function, bus 0
inline constexpr uint32_t SANDY_IRP0_BASE = 0x230;     // 16 dwords
inline constexpr uint32_t SANDY_IRP1_BASE = 0x2B0;     // 16 dwords
inline constexpr uint32_t SANDY_IIO_BASE = 0x300;      // 20 dwords
inline constexpr uint32_t SANDY_MISC_BASE = 0x380;     // 17 dwords
inline constexpr uint32_t SANDY_QPI_ERRDIS = 0x74;     // then counters 0x78, 0x7C
inline constexpr uint32_t SANDY_QPI_ERRCNT0 = 0x78;
inline constexpr uint32_t SANDY_QPI_ERRCNT1 = 0x7C;
inline constexpr uint32_t SANDY_QPI_MISCSTS = 0xD4;
inline constexpr uint32_t SANDY_XP_BASE = 0x200;       // 13 dwords, then 0x258
inline constexpr uint32_t SANDY_XP_LANE = 0x258;
inline constexpr uint32_t SANDY_CPU_BUSNO = 0x108;     // 00:05.0, bits 15:8 the uncore bus
inline constexpr uint8_t SANDY_BUSNO_DEVFN = 5 << 3;
inline constexpr uint8_t SANDY_QPI0_DEVFN = 8 << 3;
inline constexpr uint8_t SANDY_QPI1_DEVFN = 9 << 3;
inline constexpr uint8_t SANDY_LPC_DEVFN = 0x1F << 3;
inline constexpr uint16_t SANDY_LPC_PORT = 0xC90;

// Global summary bits and the write-one-to-clear values and masks.
inline constexpr uint32_t SANDY_GERR_SUMMARY = 0x90FFE3;
inline constexpr uint32_t SANDY_GNERR_CLEAR = 0x3D0FFE3;
inline constexpr uint32_t SANDY_GFERR_CLEAR = 0x2D0FFE3;
inline constexpr uint32_t SANDY_IRP_BITS = 0x641E;
inline constexpr uint32_t SANDY_IIO_BITS = 0x70;
inline constexpr uint32_t SANDY_MISC_BITS = 0x1F;
inline constexpr uint32_t SANDY_QPI_ERRDIS_MASK = 0x40000;
inline constexpr uint32_t SANDY_QPI_CNT0_MASK = 0x3B0000;
inline constexpr uint32_t SANDY_QPI_CNT1_MASK = 0xFFC00000;
inline constexpr uint32_t SANDY_QPI_COUNT = 0xFFFF;    // count field of both counters
inline constexpr uint32_t SANDY_XPCOR_CLEAR = 1;
inline constexpr uint32_t SANDY_XPUNC_CLEAR = 0x37A;

// Summary bits of the units.
inline constexpr int SANDY_BIT_IRP0 = 0;
inline constexpr int SANDY_BIT_PCIE0 = 5;   // logical port n: bit n + 5
inline constexpr int SANDY_BIT_DMI = 20;
inline constexpr int SANDY_BIT_IIO = 23;
inline constexpr int SANDY_PCIE_PORTS = 11;
inline constexpr int SANDY_MAX_CPUS = 2;

// ---- snapshots ------------------------------------------------------------------------------

struct sandy_gerr_state {
    uint32_t aulReg[15];   // 0x1C0 to 0x1F8
};
static_assert(sizeof(sandy_gerr_state) == 60);

struct sandy_sysevt_state {
    uint32_t aulReg[12];   // 0x80 to 0xAC
};
static_assert(sizeof(sandy_sysevt_state) == 48);

struct sandy_irp_state {
    uint32_t aulIrp0[16];   // 0x230 to 0x26C
    uint32_t aulIrp1[16];   // 0x2B0 to 0x2EC
};
static_assert(sizeof(sandy_irp_state) == 128 && offsetof(sandy_irp_state, aulIrp1) == 64);

struct sandy_iio_state {
    uint32_t aulReg[20];   // 0x300 to 0x34C
};
static_assert(sizeof(sandy_iio_state) == 80);

struct sandy_misc_state {
    uint32_t aulReg[17];   // 0x380 to 0x3C0
};
static_assert(sizeof(sandy_misc_state) == 68);

struct sandy_qpi_port {
    uint32_t ulErrDis;    // 0x74
    uint32_t ulErrCnt0;   // 0x78
    uint32_t ulErrCnt1;   // 0x7C
    uint32_t ulMiscSts;   // 0xD4
};
struct sandy_qpi_state {   // one processor: port 0, then port 1
    sandy_qpi_port astPort[2];
};
static_assert(sizeof(sandy_qpi_port) == 16 && offsetof(sandy_qpi_port, ulErrCnt0) == 4 &&
              offsetof(sandy_qpi_port, ulErrCnt1) == 8 && offsetof(sandy_qpi_port, ulMiscSts) == 12);
static_assert(sizeof(sandy_qpi_state) == 32);

struct sandy_pcie_state {
    uint8_t aucReg[52];   // the PCI Express capability from its start
};
static_assert(sizeof(sandy_pcie_state) == 52);

struct sandy_aer_state {
    uint32_t aulReg[18];   // from the AER capability header
};
static_assert(sizeof(sandy_aer_state) == 72);

struct sandy_xp_state {
    uint32_t aulReg[13];    // 0x200 to 0x230
    uint32_t ulLaneErr;     // 0x258
};
static_assert(sizeof(sandy_xp_state) == 56 && offsetof(sandy_xp_state, ulLaneErr) == 52);

struct sandy_bridge_state {
    uint16_t usStatus;      // config 0x06
    uint16_t usSecStatus;   // config 0x1E
};
static_assert(sizeof(sandy_bridge_state) == 4);

struct sandy_express_error {
    uint8_t ucBus;
    uint8_t ucDevfn;
    uint8_t ucBridge;   // presence flags, 1 present
    uint8_t ucPcie;
    uint8_t ucAer;
    uint8_t ucXp;
    uint32_t ulPcieCap;
    uint32_t ulAerCap;
    sandy_bridge_state stBridge;
    sandy_pcie_state stPcie;
    sandy_aer_state stAer;
    sandy_xp_state stXp;
};
static_assert(offsetof(sandy_express_error, ucBridge) == 2 && offsetof(sandy_express_error, ucXp) == 5 &&
              offsetof(sandy_express_error, ulPcieCap) == 8 && offsetof(sandy_express_error, ulAerCap) == 12 &&
              offsetof(sandy_express_error, stBridge) == 16 && offsetof(sandy_express_error, stPcie) == 20 &&
              offsetof(sandy_express_error, stAer) == 72 && offsetof(sandy_express_error, stXp) == 144 &&
              sizeof(sandy_express_error) == 200);

// Per-processor summary of a pass: the global words ANDed with the summary bits.
struct sandy_summary {
    uint32_t ulNonFatal;
    uint32_t ulFatal;
    uint32_t aulRsv[5];
};
static_assert(sizeof(sandy_summary) == 28);

// What the caller keeps between passes.
struct sandy_monitor_state {
    uint8_t ucInit;     // 0: the virgin pass
    uint8_t ucRsv;
    uint8_t ucCpuNum;   // 0 to 2
    sandy_summary astSum[SANDY_MAX_CPUS];
    sandy_qpi_state astQpi[SANDY_MAX_CPUS];
};
static_assert(offsetof(sandy_monitor_state, ucCpuNum) == 2 && offsetof(sandy_monitor_state, astSum) == 4 &&
              offsetof(sandy_monitor_state, astQpi) == 60 && sizeof(sandy_monitor_state) == 124);

// ---- tables ---------------------------------------------------------------------------------

struct sandy_port_bdf {
    uint8_t ucPort;
    uint8_t ucBus;
    uint8_t ucDev;
    uint8_t ucFn;
};
extern const sandy_port_bdf g_stPortBDF[SANDY_PCIE_PORTS];

extern const char *const sandy_gerror_desc[32];
extern const char *const sandy_gerr_reg_desc[9];
extern const char *const sandy_sysevt_reg_desc[9];
extern const char *const sandy_irp_reg_desc[32];
extern const char *const sandy_iio_reg_desc[16];
extern const char *const sandy_misc_reg_desc[16];
extern const char *const sandy_qpi_reg_desc[4];
extern const char *const sandy_xp_reg_desc[14];
extern const char *const sandy_pcie_reg_desc[20];
extern const char *const sandy_aer_reg_desc[16];
extern const char *const sandy_bridge_reg_desc[2];

// 0 PCI Express root port, 1 DMI2 port, 2 other uncore device, 3 anything
// else; a failed read gives its status.
int sandy_tell_port_type(uint8_t bus, uint8_t devfn);
const char *sandy_qpispeed_str(uint32_t code);
// The root and uncore bus of processor `cpu` (0 or 1).
uint8_t sandy_root_bus(int cpu);
uint8_t sandy_uncore_bus(int cpu);

// ---- reads ----------------------------------------------------------------------------------

int sandy_read_global_error(sandy_gerr_state *buf, uint8_t bus);
int sandy_get_global_error(sandy_gerr_state *buf, sandy_summary *summary);
int sandy_get_global_error_all(sandy_gerr_state *buf, sandy_summary *summary, uint8_t bus);
int sandy_read_sysevt(sandy_sysevt_state *buf);
int sandy_get_sysevt_state(sandy_sysevt_state *buf);
int sandy_read_irp_state(sandy_irp_state *buf);
int sandy_get_irp_state(sandy_irp_state *buf);
int sandy_read_iio_state(sandy_iio_state *buf);
int sandy_get_iio_state(sandy_iio_state *buf);
int sandy_read_misc_state(sandy_misc_state *buf);
// `buf` holds one record per processor.
int sandy_read_qpi_err(sandy_qpi_state *buf, int processors);
int sandy_get_qpi_error(sandy_qpi_state *buf, int processors);
int sandy_read_aer_state(uint8_t bus, uint8_t devfn, sandy_aer_state *buf, uint32_t offset);
int sandy_read_xp_state(uint8_t bus, uint8_t devfn, sandy_xp_state *buf);
int sandy_read_pcie_state(sandy_express_error *record);
int sandy_get_express_error(sandy_express_error *record);
int sandy_check_VTd();
void sandy_get_cpu_bus1(int processors);

// ---- clears and masks -----------------------------------------------------------------------

void sandy_clear_global_state(uint8_t bus);
void sandy_clear_irp_state(int port, uint8_t bus);
void sandy_clear_iio_state(uint8_t bus);
void sandy_clear_misc_state();
void sandy_clear_xp_state(uint8_t bus, uint8_t devfn);
void sandy_clear_qpi_state(int processors);
int sandy_set_qpi_mask(int processors);
int sandy_setmisc_mask(uint8_t bus);
int sandy_setirp_mask(uint8_t bus);
int sandy_setiio_mask(uint8_t bus);
void sandy_clear_dmi_lerr(uint8_t bus);
void sandy_clear_pcie_lerr(int port, uint8_t bus);

// ---- configuration-space logs ---------------------------------------------------------------

int sandy_log_misc_lerr();
int sandy_log_iio_lerr(uint8_t bus);
int sandy_log_irp_lerr(int port, uint8_t bus);
int sandy_log_dmi_lerr(uint8_t bus);
int sandy_log_pcie_lerr(int port, uint8_t bus);
// "[LOG] " lines of min(len, count) bytes of `buf`, the first at `start`.
void tvk_log_hex(const void *buf, int len, int start, int count, const char *tag);

// ---- the monitoring pass --------------------------------------------------------------------

// `out` receives one summary per processor (two records).
int sandy_check_global_error(sandy_monitor_state *state, sandy_summary *out);
void sandy_check_QPI(const sandy_monitor_state *state, const sandy_qpi_state *now);
void sandy_check_iio(const sandy_monitor_state *state, const sandy_summary *now);
void sandy_check_dmi(const sandy_monitor_state *state, const sandy_summary *now);
void sandy_check_pcie(const sandy_monitor_state *state, const sandy_summary *now);
void sandy_check_irp(const sandy_monitor_state *state, const sandy_summary *now);

// ---- the LPC bridge ---------------------------------------------------------------------------

inline constexpr uint32_t SANDY_LPC_OK = 1;
inline constexpr uint32_t SANDY_LPC_REG_FAIL = 8;
inline constexpr size_t SANDY_LPC_TEXT = 32;
// `failures` receives the failure count of this call (0 or 1), `state` and
// `text` the verdict.
int sandy_check_lpc_error(uint32_t *failures, uint32_t *state, char text[SANDY_LPC_TEXT]);

// ---- printers (standard output) -------------------------------------------------------------

int sandy_show_misc_health(const sandy_misc_state *snap);
int sandy_show_iio_health(const sandy_iio_state *snap);
int sandy_show_irp_health(const sandy_irp_state *snap);
int sandy_show_global_health(const sandy_summary *summary);

int sandy_dump_global_error(const sandy_gerr_state *snap);
int sandy_dump_sysevt_state(const sandy_sysevt_state *snap);
int sandy_dump_irp_state(const sandy_irp_state *snap);
int sandy_dump_misc_state(const sandy_misc_state *snap);
int sandy_dump_iio_state(const sandy_iio_state *snap);
// One record per processor; prints g_sandy_cpuno of them when that is 1 or 2.
int sandy_dump_qpi_state(const sandy_qpi_state *snap);
int sandy_dump_bridge_state(const sandy_bridge_state *snap);
int sandy_dump_pcie_state(const sandy_pcie_state *snap);
int sandy_dump_aer_state(const sandy_aer_state *snap);
int sandy_dump_xp_state(const sandy_xp_state *snap);
int sandy_dump_express_error(const sandy_express_error *record);

#endif

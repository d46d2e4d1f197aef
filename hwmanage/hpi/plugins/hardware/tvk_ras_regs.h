// Process-wide facts of the platform error monitors: where the RAS device
// is, which processor platform it names, the root and uncore bus of each
// processor and the socket count, and the register offsets the PCI Express
// monitor and the uncore monitor share. Defined in tvk_monitor.cpp; reset
// to these initial values between tests.
#ifndef QUORBIX_HWMANAGE_HPI_PLUGINS_HARDWARE_TVK_RAS_REGS_H
#define QUORBIX_HWMANAGE_HPI_PLUGINS_HARDWARE_TVK_RAS_REGS_H

#include <cstdint>

// devfn of the RAS device on bus 0; 0 until identified.
extern uint8_t g_ucRasDevfn;
// Processor platform: 2 (initial) for RAS id 0x3C2A, 3 for 0x0E2A, 4 for
// 0x2F2A, 1 for every other RAS id.
extern uint8_t g_ucPlatform;
// Root bus and uncore bus of processor 0 and processor 1.
extern uint8_t g_ucCpu0Bus0;   // 0x00
extern uint8_t g_ucCpu0Bus1;   // 0x7F
extern uint8_t g_ucCpu1Bus0;   // 0x80
extern uint8_t g_ucCpu1Bus1;   // 0xFF
// Processor socket count (1 or 2 from SMBIOS; 0 until read).
extern uint8_t g_sandy_cpuno;

inline constexpr uint8_t TVK_PLATFORM_OTHER = 1;
inline constexpr uint8_t TVK_PLATFORM_3C = 2;
inline constexpr uint8_t TVK_PLATFORM_0E = 3;
inline constexpr uint8_t TVK_PLATFORM_2F = 4;

inline constexpr uint8_t TVK_RAS_DEVFN_5_2 = 5 << 3 | 2;   // 0x2A

// ---- RAS device registers (bus 0, devfn g_ucRasDevfn) ----
inline constexpr uint32_t TVK_RAS_GNERRST = 0x1C0;          // global non-fatal error status
inline constexpr uint32_t TVK_RAS_GFERRST = 0x1C4;          // global fatal error status
inline constexpr int TVK_RAS_GLOBAL_BLOCK = 60;             // bytes from GNERRST
inline constexpr uint32_t TVK_RAS_QPI0_ERRST = 0x200;       // QPI port 0 local errors
inline constexpr uint32_t TVK_RAS_QPI1_ERRST = 0x280;       // QPI port 1 local errors
inline constexpr uint32_t TVK_RAS_QPIP0_ERRST = 0x230;      // QPI protocol port 0
inline constexpr uint32_t TVK_RAS_QPIP1_ERRST = 0x2B0;      // QPI protocol port 1
inline constexpr uint32_t TVK_RAS_LERR_BITS = 0x00001FFF;   // local error bits 12:0

// Bits of the global pair.
inline constexpr uint32_t TVK_GERR_QPI = 0x0000000F;        // ports 0, 1 and their protocol
inline constexpr uint32_t TVK_GERR_PCIE = 0x0000FFC0;       // PCI Express port n: bit n + 5
inline constexpr uint32_t TVK_GERR_ESI = 0x00100000;

// ---- root-port local error registers (00:port.0) ----
inline constexpr uint32_t TVK_RP_XPCORERRSTS = 0x200;
inline constexpr uint32_t TVK_RP_XPUNCERRSTS = 0x208;
inline constexpr uint32_t TVK_RP_XPGLBERRSTS = 0x230;

// ---- PCI Express capability words (offsets from the capability) ----
inline constexpr uint32_t TVK_EXP_DEVCTL = 0x08;
inline constexpr uint32_t TVK_EXP_DEVSTA = 0x0A;
inline constexpr uint32_t TVK_EXP_LNKCTL = 0x10;
inline constexpr uint32_t TVK_EXP_LNKSTA = 0x12;
inline constexpr uint16_t TVK_DEVSTA_ERRORS = 0x000F;       // write-one-to-clear
inline constexpr uint16_t TVK_LNKSTA_CLEAR = 0xC000;        // write-one-to-clear

#endif

// Card diagnostics through 32-bit register requests: ECC counters, the DDR
// self-check, the DDR turn test and the PCIe DMA loop test. The long tests
// take the card out of service for their run and always put it back.
#ifndef QUORBIX_ASMF_DEVM_ASMF_DIAG_H
#define QUORBIX_ASMF_DEVM_ASMF_DIAG_H

#include <atomic>
#include <cstdint>

inline constexpr int ASMF_DIAG_ERR_ARG = -1201;
inline constexpr int ASMF_DIAG_ERR_TIMEOUT = -1206;
inline constexpr int ASMF_DIAG_ERR_BUSY = -1207;
inline constexpr int ASMF_DIAG_ERR_STATE = -1228;
inline constexpr int ASMF_DIAG_ERR_MEM = -1209;

inline constexpr unsigned ASMF_DDR_CHANNELS = 5;
inline constexpr unsigned ASMF_PCIE_CHANNELS = 2;
inline constexpr unsigned ASMF_DDR_CHECK_ROUNDS = 180;
inline constexpr uint32_t ASMF_DMA_MODE_REG = 0x810;
inline constexpr uint32_t ASMF_DMA_MODE_ON = 0x3C9E0001;
inline constexpr uint32_t ASMF_DMA_MODE_OFF = 0x3C9E0000;
inline constexpr uint64_t ASMF_DMA_BUF_SIZE = 0x400000;

// Register addresses of channel n.
constexpr uint32_t asmf_ecc_status(uint32_t n) { return 0xE418 + n * 0x1000; }
constexpr uint32_t asmf_ddr_ctrl(uint32_t n) { return 0xE108 + n * 0x1000; }
constexpr uint32_t asmf_ddr_check_status(uint32_t n) { return 0xE600 + n * 0x1000; }
constexpr uint32_t asmf_ddr_turn_status(uint32_t n) { return 0xE700 + n * 0x1000; }
constexpr uint32_t asmf_pcie_ctrl(uint32_t n) { return 0xC014 + n * 0xA000; }
static_assert(asmf_ddr_check_status(3) == asmf_ddr_ctrl(3) + 0x4F8 && asmf_ddr_turn_status(4) == asmf_ddr_ctrl(4) + 0x5F8);

// The DMA buffers of the PCIe channels, kept from a start to the next stop.
extern std::atomic<uint64_t> g_dma_addr[ASMF_PCIE_CHANNELS];

int asmf_diag_get_ecc(uint32_t id, uint32_t *result4);
int asmf_diag_ddr_check(uint32_t id, uint32_t *result15);
int asmf_diag_ddr_turn(uint32_t id, uint32_t *result25, uint32_t seconds);
int asmf_diag_pcie_dma(uint32_t id, uint32_t *result6, uint32_t seconds);

int asmf_diag_ddr_check_start(uint32_t id);
int asmf_diag_ddr_check_stop(uint32_t id);
int asmf_diag_ddr_check_result(uint32_t id, uint32_t *result15);
int asmf_diag_ddr_turn_test_start(uint32_t id);
int asmf_diag_ddr_turn_test_stop(uint32_t id);
int asmf_diag_ddr_turn_test_result(uint32_t id, uint32_t *result25);
int asmf_diag_pcie_dma_test_start(uint32_t id);
int asmf_diag_pcie_dma_test_stop(uint32_t id);
int asmf_diag_pcie_dma_test_result(uint32_t id, uint32_t *result6);

#endif

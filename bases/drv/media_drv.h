// The media device "/dev/media_dev": request numbers and the records the
// media library sends, shared by the library and the simulated driver.
//
// Every request is an ioctl of type 'M', read-write, whose size field is the
// record size. All fields little-endian; pointers travel as u64 addresses.
#ifndef QUORBIX_BASES_DRV_MEDIA_DRV_H
#define QUORBIX_BASES_DRV_MEDIA_DRV_H

#include <cstddef>
#include <cstdint>

inline constexpr const char *MEDIA_DEV_NODE = "/dev/media_dev";

inline constexpr uint32_t MEDIA_SUBRD_NUM = 2;
inline constexpr uint32_t MEDIA_DSP_NUM = 9;
inline constexpr uint32_t MEDIA_CORE_NUM = 8;

constexpr unsigned long media_req(unsigned nr, size_t size)
{
    return 0xC0000000UL | (static_cast<unsigned long>(size) << 16) | (0x4DUL << 8) | nr;
}
constexpr size_t media_req_size(unsigned long request) { return (request >> 16) & 0x3FFF; }

// ---- records -------------------------------------------------------------------------

struct MEDIA_DEV_ID_STRU {
    uint32_t uiSubrdId;
    uint32_t uiDspId;
};
static_assert(sizeof(MEDIA_DEV_ID_STRU) == 8 && offsetof(MEDIA_DEV_ID_STRU, uiDspId) == 4);

struct MEDIA_MEM_RW_STRU {
    uint32_t uiSubrdId;
    uint32_t uiDspId;
    uint32_t uiDspAddr;
    uint32_t uiRsv;
    uint64_t ullBuf;
    uint32_t uiLen;
    uint32_t uiRsv2;
};
static_assert(sizeof(MEDIA_MEM_RW_STRU) == 32);
static_assert(offsetof(MEDIA_MEM_RW_STRU, uiDspAddr) == 8 && offsetof(MEDIA_MEM_RW_STRU, ullBuf) == 16);
static_assert(offsetof(MEDIA_MEM_RW_STRU, uiLen) == 24 && offsetof(MEDIA_MEM_RW_STRU, uiRsv2) == 28);

struct MEDIA_DEV_CORE_STATE_STRU {
    uint32_t uiSubrdId;
    uint32_t uiDspId;
    uint32_t uiCoreId;
    uint32_t uiRsv;
    uint64_t ullBuf;  // 8-byte result
    uint32_t uiLen;   // always 8
    uint32_t uiRsv2;
};
static_assert(sizeof(MEDIA_DEV_CORE_STATE_STRU) == 32);
static_assert(offsetof(MEDIA_DEV_CORE_STATE_STRU, uiCoreId) == 8 && offsetof(MEDIA_DEV_CORE_STATE_STRU, ullBuf) == 16);
static_assert(offsetof(MEDIA_DEV_CORE_STATE_STRU, uiLen) == 24);

struct MEDIA_DEV_STATE_STRU {
    uint32_t uiSubrdId;
    uint32_t uiDspId;
    uint64_t ullBuf;  // 8-byte result
    uint32_t uiLen;   // always 8
    uint32_t uiRsv;
};
static_assert(sizeof(MEDIA_DEV_STATE_STRU) == 24);
static_assert(offsetof(MEDIA_DEV_STATE_STRU, ullBuf) == 8 && offsetof(MEDIA_DEV_STATE_STRU, uiLen) == 16);

// Region types of a PCIe window.
inline constexpr uint32_t MEDIA_REGION_L2 = 0;
inline constexpr uint32_t MEDIA_REGION_MSM = 1;
inline constexpr uint32_t MEDIA_REGION_DDR = 2;

struct MEDIA_DEV_PCI_MAP_STRU {
    uint32_t uiSubrdId;
    uint32_t uiDspId;
    uint32_t uiCoreId;
    uint32_t uiType;
    uint64_t ullOut;  // a MEDIA_PCI_MAP_RESULT the driver fills
};
static_assert(sizeof(MEDIA_DEV_PCI_MAP_STRU) == 24);
static_assert(offsetof(MEDIA_DEV_PCI_MAP_STRU, uiType) == 12 && offsetof(MEDIA_DEV_PCI_MAP_STRU, ullOut) == 16);

struct MEDIA_PCI_MAP_RESULT {
    uint64_t ullPcieAddr;
    uint32_t uiDspAddr;
    uint32_t uiSize;
    uint8_t aucRsv[8];
};
static_assert(sizeof(MEDIA_PCI_MAP_RESULT) == 24);
static_assert(offsetof(MEDIA_PCI_MAP_RESULT, uiDspAddr) == 8 && offsetof(MEDIA_PCI_MAP_RESULT, uiSize) == 12);

struct MEDIA_ECC_ZONE_STRU {
    uint32_t uiSubrdId;
    uint32_t uiDspId;
    uint64_t ullZoneNum;
    uint32_t uiZone0Addr;
    uint32_t uiZone0Len;
    uint32_t uiZone1Addr;
    uint32_t uiZone1Len;
};
static_assert(sizeof(MEDIA_ECC_ZONE_STRU) == 32);
static_assert(offsetof(MEDIA_ECC_ZONE_STRU, ullZoneNum) == 8 && offsetof(MEDIA_ECC_ZONE_STRU, uiZone0Addr) == 16);
static_assert(offsetof(MEDIA_ECC_ZONE_STRU, uiZone0Len) == 20 && offsetof(MEDIA_ECC_ZONE_STRU, uiZone1Addr) == 24);
static_assert(offsetof(MEDIA_ECC_ZONE_STRU, uiZone1Len) == 28);

struct MEDIA_FILL_MEM_STRU {
    uint32_t uiSubrdId;
    uint32_t uiDspId;
    uint32_t uiDspAddr;
    uint32_t uiLen;
    uint8_t ucValue;
    uint8_t aucRsv[7];
};
static_assert(sizeof(MEDIA_FILL_MEM_STRU) == 24);
static_assert(offsetof(MEDIA_FILL_MEM_STRU, uiLen) == 12 && offsetof(MEDIA_FILL_MEM_STRU, ucValue) == 16);

struct MEDIA_PORT_CTRL_STRU {
    uint32_t uiSubrdId;
    uint32_t uiDspId;
    uint32_t uiCtrl;  // 0 off, 1 on
    uint32_t uiRsv;
};
static_assert(sizeof(MEDIA_PORT_CTRL_STRU) == 16 && offsetof(MEDIA_PORT_CTRL_STRU, uiCtrl) == 8);

struct MEDIA_LPC_RW_STRU {
    uint64_t ullBuf;
    uint32_t uiFlag;     // 1 write, 0 read
    uint16_t usLpcAddr;
    uint16_t usLen;
};
static_assert(sizeof(MEDIA_LPC_RW_STRU) == 16);
static_assert(offsetof(MEDIA_LPC_RW_STRU, uiFlag) == 8 && offsetof(MEDIA_LPC_RW_STRU, usLpcAddr) == 12);
static_assert(offsetof(MEDIA_LPC_RW_STRU, usLen) == 14);

struct MEDIA_MEM_TEST_STRU {
    uint32_t uiSubrdId;
    uint32_t uiDspId;
    uint32_t uiDspAddr;
    uint32_t uiRsv;
    uint64_t ullBuf;
    uint32_t uiLen;
    uint32_t uiWidth;  // access width in bytes
};
static_assert(sizeof(MEDIA_MEM_TEST_STRU) == 32);
static_assert(offsetof(MEDIA_MEM_TEST_STRU, ullBuf) == 16 && offsetof(MEDIA_MEM_TEST_STRU, uiWidth) == 28);

struct MEDIA_HEALTH_STRU {
    uint32_t uiSubrdId;
    uint32_t uiRsv;
    uint64_t ullBuf;  // a SubrdState
};
static_assert(sizeof(MEDIA_HEALTH_STRU) == 16 && offsetof(MEDIA_HEALTH_STRU, ullBuf) == 8);

struct MEDIA_PCIE_APP_STRU {
    uint32_t uiSubrdId;
    uint32_t uiDspId;
    uint64_t ullBuf;
    uint32_t uiRegAddr;
    uint32_t uiLen;
    uint32_t uiFlag;  // 1 write, 0 read
    uint32_t uiRsv;
};
static_assert(sizeof(MEDIA_PCIE_APP_STRU) == 32);
static_assert(offsetof(MEDIA_PCIE_APP_STRU, ullBuf) == 8 && offsetof(MEDIA_PCIE_APP_STRU, uiRegAddr) == 16);
static_assert(offsetof(MEDIA_PCIE_APP_STRU, uiLen) == 20 && offsetof(MEDIA_PCIE_APP_STRU, uiFlag) == 24);

struct MediaPortState {
    uint32_t LinkState;
    uint32_t LinkWidth;
    uint32_t LinkSpeed;
    uint32_t uiRsv;
};
static_assert(sizeof(MediaPortState) == 16 && offsetof(MediaPortState, LinkSpeed) == 8);

struct SubrdState {
    MediaPortState DspPortState[MEDIA_DSP_NUM];
    MediaPortState FpgaPortState;
    MediaPortState CpuPortState;
    uint32_t LpcState;
};
static_assert(sizeof(SubrdState) == 180);
static_assert(offsetof(SubrdState, FpgaPortState) == 144 && offsetof(SubrdState, CpuPortState) == 160);
static_assert(offsetof(SubrdState, LpcState) == 176);

// ---- request numbers ----------------------------------------------------------------------

inline constexpr unsigned long MEDIA_DEV_PLUGIN = media_req(0x01, sizeof(MEDIA_DEV_ID_STRU));
inline constexpr unsigned long MEDIA_DEV_PLUGOUT = media_req(0x02, sizeof(MEDIA_DEV_ID_STRU));
inline constexpr unsigned long MEDIA_DEV_MEM_MAP = media_req(0x03, sizeof(MEDIA_DEV_ID_STRU));
inline constexpr unsigned long MEDIA_MEM_READ = media_req(0x04, sizeof(MEDIA_MEM_RW_STRU));
inline constexpr unsigned long MEDIA_MEM_WRITE = media_req(0x05, sizeof(MEDIA_MEM_RW_STRU));
inline constexpr unsigned long MEDIA_STARTUP_TRIGGER = media_req(0x06, sizeof(MEDIA_DEV_ID_STRU));
inline constexpr unsigned long MEDIA_STARTUP_STATE = media_req(0x07, sizeof(MEDIA_DEV_CORE_STATE_STRU));
inline constexpr unsigned long MEDIA_INIT_STATE = media_req(0x08, sizeof(MEDIA_DEV_STATE_STRU));
inline constexpr unsigned long MEDIA_RESET_DEV = media_req(0x09, sizeof(MEDIA_DEV_ID_STRU));
inline constexpr unsigned long MEDIA_GET_PCI_ADDR = media_req(0x0A, sizeof(MEDIA_DEV_PCI_MAP_STRU));
inline constexpr unsigned long MEDIA_ECC_ENABLE = media_req(0x0B, sizeof(MEDIA_ECC_ZONE_STRU));
inline constexpr unsigned long MEDIA_FILL_MEM = media_req(0x0C, sizeof(MEDIA_FILL_MEM_STRU));
inline constexpr unsigned long MEDIA_SW_PORT_CTRL = media_req(0x0D, sizeof(MEDIA_PORT_CTRL_STRU));
inline constexpr unsigned long MEDIA_LPC_RW = media_req(0x0E, sizeof(MEDIA_LPC_RW_STRU));
inline constexpr unsigned long MEDIA_PORT_LINK_STATE = media_req(0x0F, sizeof(MEDIA_DEV_STATE_STRU));
inline constexpr unsigned long MEDIA_SW_PORT_IOMEM_CTRL = media_req(0x10, sizeof(MEDIA_PORT_CTRL_STRU));
inline constexpr unsigned long MEDIA_LPC_TEST = media_req(0x11, sizeof(MEDIA_DEV_ID_STRU));
inline constexpr unsigned long MEDIA_ECC_TEST_READ = media_req(0x12, sizeof(MEDIA_MEM_TEST_STRU));
inline constexpr unsigned long MEDIA_ECC_TEST_WRITE = media_req(0x13, sizeof(MEDIA_MEM_TEST_STRU));
inline constexpr unsigned long MEDIA_SUBRD_HEALTH = media_req(0x14, sizeof(MEDIA_HEALTH_STRU));
inline constexpr unsigned long MEDIA_THREE_STEP_TEST = media_req(0x15, sizeof(MEDIA_DEV_ID_STRU));
inline constexpr unsigned long MEDIA_PCIE_APP_RW = media_req(0x16, sizeof(MEDIA_PCIE_APP_STRU));

static_assert(MEDIA_DEV_PLUGIN == 0xC0084D01UL && MEDIA_DEV_PLUGOUT == 0xC0084D02UL);
static_assert(MEDIA_DEV_MEM_MAP == 0xC0084D03UL && MEDIA_MEM_READ == 0xC0204D04UL);
static_assert(MEDIA_MEM_WRITE == 0xC0204D05UL && MEDIA_STARTUP_TRIGGER == 0xC0084D06UL);
static_assert(MEDIA_STARTUP_STATE == 0xC0204D07UL && MEDIA_INIT_STATE == 0xC0184D08UL);
static_assert(MEDIA_RESET_DEV == 0xC0084D09UL && MEDIA_GET_PCI_ADDR == 0xC0184D0AUL);
static_assert(MEDIA_ECC_ENABLE == 0xC0204D0BUL && MEDIA_FILL_MEM == 0xC0184D0CUL);
static_assert(MEDIA_SW_PORT_CTRL == 0xC0104D0DUL && MEDIA_LPC_RW == 0xC0104D0EUL);
static_assert(MEDIA_PORT_LINK_STATE == 0xC0184D0FUL && MEDIA_SW_PORT_IOMEM_CTRL == 0xC0104D10UL);
static_assert(MEDIA_LPC_TEST == 0xC0084D11UL && MEDIA_ECC_TEST_READ == 0xC0204D12UL);
static_assert(MEDIA_ECC_TEST_WRITE == 0xC0204D13UL && MEDIA_SUBRD_HEALTH == 0xC0104D14UL);
static_assert(MEDIA_THREE_STEP_TEST == 0xC0084D15UL && MEDIA_PCIE_APP_RW == 0xC0204D16UL);

#endif

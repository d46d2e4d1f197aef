// The compression accelerator's drivers: the memory node, the resource node,
// the card node, the hot-plug node and the netlink family they answer on.
//
// Shared by the accelerator framework (which sends the requests) and the
// simulated accelerator (which answers them). All fields little-endian.
#ifndef QUORBIX_BASES_DRV_ASMF_DRV_H
#define QUORBIX_BASES_DRV_ASMF_DRV_H

#include <cstddef>
#include <cstdint>

inline constexpr const char *ASMF_MEM_NODE = "/dev/asmf_memory";
inline constexpr const char *ASMF_RES_NODE = "/dev/asmf_resource";
inline constexpr const char *ASMF_HOTPLUG_NODE = "/dev/acce_ifep_hotplug";
inline constexpr int ASMF_NETLINK_PROTOCOL = 26;

// ---- request words ---------------------------------------------------------------------

// Read/write requests: direction bits, size, type letter and number.
constexpr unsigned long asmf_request(uint32_t size, uint8_t letter, uint8_t number)
{
    return 0xC0000000UL | (static_cast<unsigned long>(size) << 16) | (static_cast<unsigned long>(letter) << 8) | number;
}

// The card node's request: the letter comes from the card's device record.
constexpr unsigned long asmf_card_request(uint32_t size, uint8_t letter, uint8_t number)
{
    return asmf_request(size, letter, number);
}

constexpr unsigned long asmf_mem_request(uint8_t n) { return asmf_request(4, 'm', n); }
constexpr unsigned long asmf_res_request(uint8_t n) { return asmf_request(4, 'o', n); }
constexpr unsigned long asmf_hotplug_request(uint8_t n) { return asmf_request(8, 'I', n); }

static_assert(asmf_mem_request(0) == 0xC0046D00UL && asmf_mem_request(7) == 0xC0046D07UL);
static_assert(asmf_res_request(0x16) == 0xC0046F16UL && asmf_res_request(0x08) == 0xC0046F08UL);
static_assert(asmf_hotplug_request(0x10) == 0xC0084910UL && asmf_hotplug_request(1) == 0xC0084901UL);
static_assert(asmf_card_request(100, 'A', 0x20) == 0xC0644120UL);

enum AsmfMemReq : uint8_t {
    ASMF_MEM_POOL_ATTR = 0, ASMF_MEM_POOL_STAT = 1, ASMF_MEM_ALLOC = 2, ASMF_MEM_FREE = 3,
    ASMF_MEM_VERSION = 4, ASMF_MEM_CPY_TO_POOL = 5, ASMF_MEM_CPY_TO_USR = 6, ASMF_MEM_SHOW_PID = 7,
};

enum AsmfResReq : uint8_t {
    ASMF_RES_ENABLE = 0x02, ASMF_RES_DISABLE = 0x03, ASMF_RES_INC_DEPTH = 0x06, ASMF_RES_DEC_DEPTH = 0x07,
    ASMF_RES_ALLOC = 0x08, ASMF_RES_FREE = 0x09, ASMF_RES_FILE_ALLOC = 0x0A, ASMF_RES_FILE_FREE = 0x0B,
    ASMF_RES_VALID = 0x0C, ASMF_RES_DEV_LIST = 0x0D, ASMF_RES_DEV_STATE = 0x0E, ASMF_RES_DEV_BY_RES = 0x0F,
    ASMF_RES_DEV_BY_ID = 0x10, ASMF_RES_RELATED_DEV = 0x12, ASMF_RES_VERSION = 0x13, ASMF_RES_SET_PID = 0x14,
    ASMF_RES_UNSET_PID = 0x15, ASMF_RES_SHOW = 0x16,
};

// Card node requests: number and record size.
struct AsmfCardReq {
    uint8_t number;
    uint32_t size;
};
inline constexpr AsmfCardReq ASMF_CARD_IFEP_VERSION{0x01, 64};
inline constexpr AsmfCardReq ASMF_CARD_FW_VERSION{0x02, 64};
inline constexpr AsmfCardReq ASMF_CARD_FUNCTION{0x03, 4};
inline constexpr AsmfCardReq ASMF_CARD_PCIE_INFO{0x04, 8};
inline constexpr AsmfCardReq ASMF_CARD_RES_STATE{0x05, 12};
inline constexpr AsmfCardReq ASMF_CARD_TRAFFIC{0x06, 256};
inline constexpr AsmfCardReq ASMF_CARD_GET_ALH{0x10, 4};
inline constexpr AsmfCardReq ASMF_CARD_SET_ALH{0x11, 4};
inline constexpr AsmfCardReq ASMF_CARD_GET_LAZY{0x12, 4};
inline constexpr AsmfCardReq ASMF_CARD_SET_LAZY{0x13, 4};
inline constexpr AsmfCardReq ASMF_CARD_GET_LEVEL{0x14, 24};
inline constexpr AsmfCardReq ASMF_CARD_SET_LEVEL{0x15, 24};
inline constexpr AsmfCardReq ASMF_CARD_CLR_TRAFFIC{0x1F, 4};
inline constexpr AsmfCardReq ASMF_CARD_SEND_TASK{0x20, 100};
inline constexpr AsmfCardReq ASMF_CARD_SOFT_RESET{0x30, 4};
inline constexpr AsmfCardReq ASMF_CARD_READ_REG{0x31, 8};
inline constexpr AsmfCardReq ASMF_CARD_WRITE_REG{0x32, 8};
inline constexpr AsmfCardReq ASMF_CARD_LASTWORD{0x33, 4};
inline constexpr AsmfCardReq ASMF_CARD_TEST_REG{0x34, 4};

constexpr unsigned long asmf_card_request(AsmfCardReq r, uint8_t letter)
{
    return asmf_card_request(r.size, letter, r.number);
}

enum AsmfHotplugReq : uint8_t { ASMF_HP_REMOVE = 0x00, ASMF_HP_ADD = 0x01, ASMF_HP_HS_VERSION = 0x10 };

inline constexpr size_t ASMF_VERSION_LEN = 64;

// ---- memory driver records ---------------------------------------------------------------

inline constexpr int ASMF_MAX_POOLS = 2;
inline constexpr unsigned ASMF_BLOCK_SHIFT = 20;  // 1 MiB blocks

struct AsmfPoolAttr {
    uint64_t busAddr[2];
    uint64_t size[2];
    int32_t count;
    uint32_t pad;
};
static_assert(sizeof(AsmfPoolAttr) == 40 && offsetof(AsmfPoolAttr, size) == 16 && offsetof(AsmfPoolAttr, count) == 32);

struct AsmfPoolStat {
    uint32_t poolId;
    uint32_t pad;
    uint64_t words[6];
};
static_assert(sizeof(AsmfPoolStat) == 56 && offsetof(AsmfPoolStat, words) == 8);

// Allocate: index in = cpu selection, out = pool; size in; block out.
// Free: index = pool, sizeOrBlock = block number, block = 0.
struct AsmfPoolReq {
    int32_t index;
    uint32_t pid;
    uint32_t tid;
    uint32_t zero;
    uint64_t sizeOrBlock;
    uint64_t block;
};
static_assert(sizeof(AsmfPoolReq) == 32 && offsetof(AsmfPoolReq, pid) == 4 && offsetof(AsmfPoolReq, tid) == 8 &&
              offsetof(AsmfPoolReq, sizeOrBlock) == 16 && offsetof(AsmfPoolReq, block) == 24);

#pragma pack(push, 4)
struct AsmfCopyReq {
    uint64_t busAddr;
    uint64_t hostAddr;
    uint32_t length;
};
#pragma pack(pop)
static_assert(sizeof(AsmfCopyReq) == 20 && offsetof(AsmfCopyReq, hostAddr) == 8 && offsetof(AsmfCopyReq, length) == 16);

// ---- resource driver records ------------------------------------------------------------

inline constexpr int ASMF_MAX_DEVICES = 32;
inline constexpr size_t ASMF_DEV_NAME_LEN = 32;
inline constexpr size_t ASMF_DEV_PATH_LEN = 667;

// A device entry: bytes 8-743 of a device record.
struct AsmfDevEntry {
    uint8_t unused[24];
    uint32_t devId;
    char name[ASMF_DEV_NAME_LEN];
    uint32_t funcType;
    uint32_t devType;
    char letter;
    char path[ASMF_DEV_PATH_LEN];
};
static_assert(sizeof(AsmfDevEntry) == 736);

struct AsmfDevRecord {
    uint32_t queryId;
    uint32_t pad;
    AsmfDevEntry dev;
};
static_assert(sizeof(AsmfDevRecord) == 744);
static_assert(offsetof(AsmfDevRecord, dev) + offsetof(AsmfDevEntry, devId) == 32);
static_assert(offsetof(AsmfDevRecord, dev) + offsetof(AsmfDevEntry, name) == 36);
static_assert(offsetof(AsmfDevRecord, dev) + offsetof(AsmfDevEntry, funcType) == 68);
static_assert(offsetof(AsmfDevRecord, dev) + offsetof(AsmfDevEntry, devType) == 72);
static_assert(offsetof(AsmfDevRecord, dev) + offsetof(AsmfDevEntry, letter) == 76);
static_assert(offsetof(AsmfDevRecord, dev) + offsetof(AsmfDevEntry, path) == 77);

struct AsmfDevList {
    int32_t count;
    uint32_t pad;
    AsmfDevEntry devs[ASMF_MAX_DEVICES];
};
static_assert(sizeof(AsmfDevList) == 23560 && offsetof(AsmfDevList, devs) == 8);

struct AsmfDevState {
    uint32_t devId;
    uint32_t state[2];
};
static_assert(sizeof(AsmfDevState) == 12);

struct AsmfResAlloc {
    uint32_t function;
    uint32_t resIndexAsked;
    uint32_t zero8;
    uint32_t pid;
    uint32_t tid;
    uint8_t zero20[28];
    uint32_t resIndex;
    uint32_t resId;
    uint8_t zero56[24];
    AsmfDevRecord dev;
};
static_assert(sizeof(AsmfResAlloc) == 824 && offsetof(AsmfResAlloc, pid) == 12 && offsetof(AsmfResAlloc, tid) == 16 &&
              offsetof(AsmfResAlloc, resIndex) == 48 && offsetof(AsmfResAlloc, resId) == 52 &&
              offsetof(AsmfResAlloc, dev) == 80);

struct AsmfResFree {
    uint32_t function;
    uint32_t resIndex;
    uint32_t resId;
    uint32_t pid;
    uint32_t tid;
};
static_assert(sizeof(AsmfResFree) == 20 && offsetof(AsmfResFree, resId) == 8 && offsetof(AsmfResFree, tid) == 16);

struct AsmfFileIdRec {
    uint32_t acceType;
    uint32_t cmdType;
    uint32_t pid;
    uint32_t tid;
    uint32_t fileId;
};
static_assert(sizeof(AsmfFileIdRec) == 20 && offsetof(AsmfFileIdRec, fileId) == 16);

// ---- card records --------------------------------------------------------------------------

#pragma pack(push, 4)
struct FpgaTaskDesc {
    uint32_t pid;           // 0
    uint32_t tid;           // 4
    uint32_t taskIndex;     // 8
    uint32_t resId;         // 12
    uint32_t taskPid;       // 16: reply port
    uint32_t expires;       // 20
    uint32_t resIndex;      // 24
    uint8_t taskId;         // 28
    uint8_t zero29[7];
    uint8_t function;       // 36
    uint8_t cmdType;        // 37
    uint8_t flag;           // 38
    uint8_t errByte;        // 39
    uint8_t zero40;
    uint8_t fileId;         // 41
    uint16_t segment;       // 42
    uint8_t levForm;        // 44: level bits 0-3, form bits 4-7
    uint8_t zero45;
    uint8_t ret46;          // 46
    uint8_t zero47;
    uint32_t crc;           // 48
    uint64_t inAddr;        // 52
    uint32_t inLen;         // 60
    uint64_t outAddr;       // 64
    uint32_t outLen;        // 72
    uint32_t totalLen;      // 76
    uint16_t zero80;
    uint16_t retSegment;    // 82
    uint8_t zero84[16];
};
#pragma pack(pop)
static_assert(sizeof(FpgaTaskDesc) == 100);
static_assert(offsetof(FpgaTaskDesc, resId) == 12 && offsetof(FpgaTaskDesc, taskPid) == 16 &&
              offsetof(FpgaTaskDesc, expires) == 20 && offsetof(FpgaTaskDesc, resIndex) == 24 &&
              offsetof(FpgaTaskDesc, taskId) == 28 && offsetof(FpgaTaskDesc, function) == 36 &&
              offsetof(FpgaTaskDesc, cmdType) == 37 && offsetof(FpgaTaskDesc, flag) == 38 &&
              offsetof(FpgaTaskDesc, errByte) == 39 && offsetof(FpgaTaskDesc, fileId) == 41 &&
              offsetof(FpgaTaskDesc, segment) == 42 && offsetof(FpgaTaskDesc, levForm) == 44 &&
              offsetof(FpgaTaskDesc, ret46) == 46 && offsetof(FpgaTaskDesc, crc) == 48 &&
              offsetof(FpgaTaskDesc, inAddr) == 52 && offsetof(FpgaTaskDesc, inLen) == 60 &&
              offsetof(FpgaTaskDesc, outAddr) == 64 && offsetof(FpgaTaskDesc, outLen) == 72 &&
              offsetof(FpgaTaskDesc, totalLen) == 76 && offsetof(FpgaTaskDesc, retSegment) == 82);

struct ResultMsg {
    uint32_t status;
    uint32_t errNo;
    FpgaTaskDesc desc;
    uint8_t unused[24];
};
static_assert(sizeof(ResultMsg) == 132 && offsetof(ResultMsg, desc) == 8 && offsetof(ResultMsg, unused) == 108);

struct OmMsg {
    uint32_t cmdType;
    uint8_t unused[32];
    char text[32];
};
static_assert(sizeof(OmMsg) == 68 && offsetof(OmMsg, text) == 36);

struct AsmfLevelCfg {
    uint32_t words[4];
    uint64_t value;
};
static_assert(sizeof(AsmfLevelCfg) == 24 && offsetof(AsmfLevelCfg, value) == 16);

struct AsmfRegReq {
    uint32_t addr;
    uint32_t value;
};
static_assert(sizeof(AsmfRegReq) == 8);

// ---- netlink ---------------------------------------------------------------------------------

inline constexpr size_t ASMF_NL_HEADER = 16;   // the netlink message header slot
inline constexpr size_t ASMF_NL_MAX_PAYLOAD = 256;

#endif

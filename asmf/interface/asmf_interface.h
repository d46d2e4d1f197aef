// The oxcomp user API: checked fronts to the accelerator framework's
// operations, converting records where the caller's layout differs.
#ifndef QUORBIX_ASMF_INTERFACE_ASMF_INTERFACE_H
#define QUORBIX_ASMF_INTERFACE_ASMF_INTERFACE_H

#include <atomic>
#include <cstddef>
#include <cstdint>

#include "asmf/task/asmf_task.h"
#include "bases/drv/asmf_drv.h"

inline constexpr size_t OXCOMP_VERSION_SLOT = 64;
inline constexpr const char *OXCOMP_LIB_VERSION = "Orvo.USR.1.BD.4";
inline constexpr const char *OXCOMP_UNKNOWN_VERSION = "Orvo.unknow";
inline constexpr const char *OXCOMP_DEVICE_DESC = "Zandor Technologies Orvo PCIE Accelerator.";
inline constexpr size_t OXCOMP_TRAFFIC_LEN = 288;

// Library, resource driver, memory driver, ifep and card firmware versions.
struct oxcomp_version {
    char slot[5][OXCOMP_VERSION_SLOT];
};
static_assert(sizeof(oxcomp_version) == 320);

// One device of the caller's list: id and type; the rest is the caller's.
struct OxcompDevSlot {
    uint32_t devId;
    uint32_t devType;
    uint32_t keep[3];
};
struct OxcompDevList {
    uint32_t count;
    OxcompDevSlot devs[ASMF_MAX_DEVICES];
};
static_assert(sizeof(OxcompDevSlot) == 20 && offsetof(OxcompDevList, devs) == 4);

struct OxcompDevInfo {
    uint32_t zero0[3];
    uint32_t two;
    uint32_t funcType;
    uint32_t zero20[3];
    uint32_t devType;
    uint64_t zero40;
    char desc[128];
};
static_assert(sizeof(OxcompDevInfo) == 176 && offsetof(OxcompDevInfo, devType) == 32 &&
              offsetof(OxcompDevInfo, zero40) == 40 && offsetof(OxcompDevInfo, desc) == 48);

struct OxcompDevStatus {
    uint32_t state[2];
};

// 0 not initialised, 1 initialised; any other value refuses init and finalize.
extern std::atomic<uint64_t> g_oxcomp_init_flag;

int oxcompInit();
int oxcompInitType(uint32_t type);
int oxcompFinalize();
int oxcompOpenHandle(const handle_alloc *alloc);
int oxcompCloseHandle(int handle);
int oxcompWriteHandle(int handle, const CompressInfo *info);
int oxcompReadHandle(int handle, recv_info *info);
int oxcompCompressSync(uint32_t device, CompressInfo *info);
int oxcompCompressAsync(uint32_t device, CompressInfo *info, AsmfTaskCallback callback);
uint64_t oxcompMemAlloc(int handle, uint32_t size, uint32_t cpuSelect);
int oxcompMemFree(int handle, uint64_t buffer);

int oxcompStopEngine();
int oxcompGettid();
int oxcompConfig(const void *config);

int oxcompMemCpytoAcc(void *dest, const void *src, uint32_t length);
int oxcompMemCpytoUsr(void *dest, const void *src, uint32_t length);
uint64_t oxcompMemVirt2Phy(uint64_t address);
uint64_t oxcompMemPhy2Virt(uint64_t busAddress);
int oxcompGetMempoolstat(uint32_t poolId, AsmfPoolStat *stat);
int oxcompShowPidMem(uint32_t pid);

int oxcompGetDeviceList(OxcompDevList *list);
int oxcompGetDeviceStatus(uint32_t id, OxcompDevStatus *status);
int oxcompGetDeviceInfo(uint32_t id, OxcompDevInfo *info);
int oxcompDeviceEnable(uint32_t id);
int oxcompDeviceDisable(uint32_t id);
int oxcompShowDisResInfo();

int oxcompSetLevelCfg(uint32_t id, const AsmfLevelCfg *level);
int oxcompGetLevelCfg(uint32_t id, AsmfLevelCfg *level);
int oxcompSetLazyCfg(uint32_t id, uint32_t value);
int oxcompGetLazyCfg(uint32_t id, uint8_t *value);
int oxcompSetAlhCfg(uint32_t id, uint32_t value);
int oxcompGetAlhCfg(uint32_t id, uint8_t *value);
int oxcompClrTrafficstat(uint32_t id);
// `stat288`: the caller's traffic record, filled at the card record's offsets.
int oxcompGetTrafficStat(uint32_t id, void *stat288);
int oxcompTestReg(uint32_t id, uint32_t value);
int oxcompWriteDwordReg(uint32_t id, uint32_t address, uint32_t value);
int oxcompReadDwordReg(uint32_t id, uint32_t address, uint32_t *value);
int oxcompWriteLastword(uint32_t id);
int oxcompCollectInfo(uint32_t id);
int oxcompGetLastWord(uint32_t id, char *path256);
int oxcompSoftReset(uint32_t id);
int oxcompDdrEccCheck(uint32_t id, uint32_t *result4);
int oxcompDdrSelfCheck(uint32_t id, uint32_t *result15);
int oxcompDdrTurnTest(uint32_t id, uint32_t *result25, uint32_t seconds);
int oxcompDdrPcieTest(uint32_t id, uint32_t *result6, uint32_t seconds);

int oxcompGetVersion(oxcomp_version *ver);

#endif

#include "asmf/interface/asmf_interface.h"

#include <array>
#include <cstring>
#include <utility>
#include <memory>
#include <new>

#include "asmf/adapter/asmf_adapter.h"
#include "asmf/adapter/asmf_res.h"
#include "asmf/asmf_log.h"
#include "asmf/devm/asmf_devm.h"
#include "asmf/devm/asmf_diag.h"
#include "asmf/memory/asmf_mem.h"
#include "bases/globals/globals.h"
#include "kelvo/kelvo.h"

#define IF_ERR(fmt, ...) \
    ASMF_LOG(ASMF_PRI_ERR, "interface/asmf_interface.c", "<asmf_interface-ERR>", fmt __VA_OPT__(, ) __VA_ARGS__)

namespace {

int null_arg(const void *p, const char *text)
{
    if (p != nullptr)
        return 0;
    IF_ERR("%s", text);
    return ASMF_ERR_ARG;
}

int logged(int rc, const char *what)
{
    if (rc != 0)
        IF_ERR("call %s fail. ret=%d\n", what, rc);
    return rc;
}

// What the caller's traffic record takes from the card's: in each group of
// 64 bytes at 0, 64, 128, 192 the words at +0, +4, +8 (u64), +16, +20, +24
// (u64); and for the first two groups the word at +32.
struct TrafficField {
    uint16_t offset;
    uint8_t width;
};

constexpr auto kTrafficFields = [] {
    std::array<TrafficField, 4 * 6 + 2> t{};
    size_t i = 0;
    for (uint16_t g = 0; g < 256; g += 64) {
        for (auto [off, w] : {std::pair{0, 4}, {4, 4}, {8, 8}, {16, 4}, {20, 4}, {24, 8}})
            t[i++] = TrafficField{static_cast<uint16_t>(g + off), static_cast<uint8_t>(w)};
        if (g < 128)
            t[i++] = TrafficField{static_cast<uint16_t>(g + 32), 4};
    }
    return t;
}();
static_assert(kTrafficFields.back().offset == 192 + 24);

int fetch_dev(uint32_t id, AsmfDevRecord &rec)
{
    std::memset(&rec, 0, sizeof rec);
    rec.queryId = id;
    int rc = asmf_get_dev_by_dev_id(&rec);
    if (rc != 0)
        IF_ERR("call asmf_get_dev_by_dev_id fail. ret=%d\n", rc);
    return rc;
}

void set_slot(char *slot, const char *text) { strncpy_s(slot, OXCOMP_VERSION_SLOT, text, OXCOMP_VERSION_SLOT - 1); }

} // namespace

int oxcompStopEngine() { return 0; }
int oxcompGettid() { return static_cast<int>(asmf_gettid()); }
int oxcompConfig(const void *config) { return null_arg(config, "pstAcceConfigInfo is NULL\n"); }

int oxcompMemCpytoAcc(void *dest, const void *src, uint32_t length) { return asmf_mem_cpy2asmf(dest, src, length); }
int oxcompMemCpytoUsr(void *dest, const void *src, uint32_t length) { return asmf_mem_cpy2usr(dest, src, length); }
uint64_t oxcompMemVirt2Phy(uint64_t address) { return asmf_v2p(address); }

uint64_t oxcompMemPhy2Virt(uint64_t busAddress)
{
    uint64_t v = asmf_p2v(busAddress);
    if (v == 0)
        IF_ERR("call asmf_p2v fail.");
    return v;
}

int oxcompGetMempoolstat(uint32_t poolId, AsmfPoolStat *stat)
{
    if (int rc = null_arg(stat, "para error.\n"))
        return rc;
    AsmfPoolStat local{};
    local.poolId = poolId;
    int rc = asmf_get_pool_stat(&local);
    if (rc != 0) {
        IF_ERR("call ret fail err. ret=%d\n", rc);
        return rc;
    }
    *stat = local;
    stat->poolId = poolId;
    return 0;
}

int oxcompShowPidMem(uint32_t pid) { return asmf_show_pid_mem(pid); }

int oxcompGetDeviceList(OxcompDevList *list)
{
    if (int rc = null_arg(list, "para error.\n"))
        return rc;
    std::unique_ptr<AsmfDevList> temp(new (std::nothrow) AsmfDevList{});
    if (temp == nullptr) {
        IF_ERR("temp_list is NULL.");
        return ASMF_ERR_ARG;
    }
    int rc = asmf_get_device_list(temp.get());
    if (rc != 0)
        return rc;
    int count = asmf_dev_list_count(temp.get());
    list->count = static_cast<uint32_t>(count);
    for (int i = 0; i < count; i++) {
        list->devs[i].devId = temp->devs[i].devId;
        list->devs[i].devType = temp->devs[i].devType;
    }
    return 0;
}

int oxcompGetDeviceStatus(uint32_t id, OxcompDevStatus *status)
{
    if (int rc = null_arg(status, "status is NULL"))
        return rc;
    AsmfDevState rec{id, {0, 0}};
    int rc = asmf_get_device_state(&rec);
    if (rc == 0)
        std::memcpy(status->state, rec.state, sizeof status->state);
    return rc;
}

int oxcompGetDeviceInfo(uint32_t id, OxcompDevInfo *info)
{
    if (int rc = null_arg(info, "pstAcceResourceInfo is NULL"))
        return rc;
    AsmfDevRecord rec{};
    rec.queryId = id;
    if (int rc = asmf_get_dev_by_dev_id(&rec)) {
        IF_ERR("call ifep_get_device_info fail. ret=%d\n", rc);
        return rc;
    }
    std::memset(info, 0, offsetof(OxcompDevInfo, desc));
    info->two = 2;
    info->funcType = rec.dev.funcType;
    info->devType = rec.dev.devType;
    if (KelvoErr err = strncpy_s(info->desc, sizeof info->desc, OXCOMP_DEVICE_DESC, sizeof info->desc - 1))
        return err;
    info->desc[sizeof info->desc - 1] = '\0';
    return 0;
}

int oxcompDeviceEnable(uint32_t id) { return logged(asmf_enable_device(id), "asmf_enable_device"); }
int oxcompDeviceDisable(uint32_t id) { return logged(asmf_disable_device(id), "asmf_disable_device"); }
int oxcompShowDisResInfo() { return asmf_dis_res_info(); }

int oxcompSetLevelCfg(uint32_t id, const AsmfLevelCfg *level)
{
    if (int rc = null_arg(level, "level is NULL"))
        return rc;
    AsmfLevelCfg local = *level;
    return asmf_set_levle_cfg(id, &local);
}

int oxcompGetLevelCfg(uint32_t id, AsmfLevelCfg *level)
{
    if (int rc = null_arg(level, "level is NULL"))
        return rc;
    AsmfLevelCfg local{};
    int rc = asmf_get_levle_cfg(id, &local);
    if (rc != 0) {
        IF_ERR("call v fail. ret=%d\n", rc);
        return rc;
    }
    *level = local;
    return 0;
}

int oxcompSetLazyCfg(uint32_t id, uint32_t value) { return asmf_set_lazy_cfg(id, value); }
int oxcompGetLazyCfg(uint32_t id, uint8_t *value) { return asmf_get_lazy_cfg(id, value); }
int oxcompSetAlhCfg(uint32_t id, uint32_t value) { return asmf_set_alh_cfg(id, value); }
int oxcompGetAlhCfg(uint32_t id, uint8_t *value) { return asmf_get_alh_cfg(id, value); }
int oxcompClrTrafficstat(uint32_t id) { return asmf_clr_traffic_stat(id); }

int oxcompGetTrafficStat(uint32_t id, void *stat288)
{
    if (int rc = null_arg(stat288, "acce_stat is NULL"))
        return rc;
    std::memset(stat288, 0, OXCOMP_TRAFFIC_LEN);
    AsmfDevRecord rec;
    if (int rc = fetch_dev(id, rec))
        return rc;
    uint8_t card[256] = {};
    if (int rc = asmf_get_traffic_stat(id, card)) {
        IF_ERR("call asmf_get_traffic_stat fail. ret=%d\n", rc);
        return rc;
    }
    if (rec.dev.funcType != 0) {
        IF_ERR("func type(%d) not support.", static_cast<int>(rec.dev.funcType));
        return ASMF_DEVM_ERR_TYPE;
    }
    auto *out = static_cast<uint8_t *>(stat288);
    for (const TrafficField &f : kTrafficFields)
        std::memcpy(out + f.offset, card + f.offset, f.width);
    return 0;
}

int oxcompTestReg(uint32_t id, uint32_t value) { return asmf_test_reg(id, value); }
int oxcompWriteDwordReg(uint32_t id, uint32_t address, uint32_t value) { return asmf_write_4byte_reg(id, address, value); }
int oxcompReadDwordReg(uint32_t id, uint32_t address, uint32_t *value) { return asmf_read_4byte_reg(id, address, value); }
int oxcompWriteLastword(uint32_t id) { return asmf_write_lastword(id); }
int oxcompCollectInfo(uint32_t id) { return asmf_collect_Info(id); }
int oxcompGetLastWord(uint32_t id, char *path256) { return asmf_get_lastword(id, path256); }
int oxcompSoftReset(uint32_t id) { return asmf_soft_reset(id); }
int oxcompDdrEccCheck(uint32_t id, uint32_t *result4) { return asmf_diag_get_ecc(id, result4); }
int oxcompDdrSelfCheck(uint32_t id, uint32_t *result15) { return asmf_diag_ddr_check(id, result15); }
int oxcompDdrTurnTest(uint32_t id, uint32_t *r25, uint32_t seconds) { return asmf_diag_ddr_turn(id, r25, seconds); }
int oxcompDdrPcieTest(uint32_t id, uint32_t *r6, uint32_t seconds) { return asmf_diag_pcie_dma(id, r6, seconds); }

int oxcompGetVersion(oxcomp_version *ver)
{
    if (int rc = null_arg(ver, "ver is NULL."))
        return rc;
    if (KelvoErr err = memset_s(ver, sizeof *ver, 0, sizeof *ver))
        return err;
    set_slot(ver->slot[0], OXCOMP_LIB_VERSION);
    if (asmf_get_res_version(ver->slot[1]) != 0) {
        set_slot(ver->slot[1], OXCOMP_UNKNOWN_VERSION);
        IF_ERR("call asmf_get_res_version fail.");
    }
    if (asmf_get_mem_version(ver->slot[2]) != 0) {
        set_slot(ver->slot[2], OXCOMP_UNKNOWN_VERSION);
        IF_ERR("call asmf_get_mem_version fail.");
    }
    ver->slot[1][OXCOMP_VERSION_SLOT - 1] = ver->slot[2][OXCOMP_VERSION_SLOT - 1] = '\0';
    AsmfDevRecord rec;
    if (fetch_dev(0, rec) != 0 && fetch_dev(1, rec) != 0) {
        set_slot(ver->slot[3], OXCOMP_UNKNOWN_VERSION);
        set_slot(ver->slot[4], OXCOMP_UNKNOWN_VERSION);
        return 0;
    }
    if (asmf_fpga_get_ifep_version(rec.dev.path, ver->slot[3], rec.dev.letter) != 0) {
        set_slot(ver->slot[3], OXCOMP_UNKNOWN_VERSION);
        IF_ERR("call asmf_fpga_get_ifep_version fail.");
    }
    if (asmf_fpga_get_firmware_version(rec.dev.path, ver->slot[4], rec.dev.letter) != 0) {
        set_slot(ver->slot[4], OXCOMP_UNKNOWN_VERSION);
        IF_ERR("call asmf_fpga_get_firmware_version fail.");
    }
    return 0;
}

// ---- framework and handles ---------------------------------------------------------------------

#define IF_DBG(fmt, ...) \
    ASMF_LOG(ASMF_PRI_DBG, "interface/asmf_interface.c", "<asmf_interface-DBG>", fmt __VA_OPT__(, ) __VA_ARGS__)

std::atomic<uint64_t> g_oxcomp_init_flag{0};

namespace {

pthread_mutex_t g_oxcomp_lock = PTHREAD_MUTEX_INITIALIZER;

// Held across the framework's start and stop, joins included.
struct OxcompLock {
    OxcompLock() { host().pthread_mutex_lock(&g_oxcomp_lock); }
    ~OxcompLock() { host().pthread_mutex_unlock(&g_oxcomp_lock); }
    OxcompLock(const OxcompLock &) = delete;
    OxcompLock &operator=(const OxcompLock &) = delete;
};

int init_steps(uint32_t type)
{
    if (int rc = asmf_res_init()) {
        IF_ERR("call asmf_res_init fail. ret=%d\n", rc);
        return rc;
    }
    if (int rc = asmf_init_mem(type)) {
        asmf_res_exit();
        IF_ERR("call asmf_init_mem fail. ret=%d\n", rc);
        return rc;
    }
    if (int rc = asmf_init_task_list(type)) {
        asmf_exit_mem();
        asmf_res_exit();
        IF_ERR("call asmf_init_task_list fail. ret=%d\n", rc);
        return rc;
    }
    return 0;
}

// Only a single-piece memory request goes without a handle.
int check_sync_request(CompressInfo *info)
{
    if (int rc = asmf_check_compress_task_info(info)) {
        IF_ERR("call asmf_check_compress_task_info fail. ret=%d", rc);
        return rc;
    }
    CompressCtrlInfo &c = info->strCompressCtrlInfo;
    if (c.ucFlag != 3 || info->strCompressDataInfo.usDateType != 0) {
        IF_ERR("ucFlag(0x%x) usDateType(%u) is unsupport!", c.ucFlag, info->strCompressDataInfo.usDateType);
        return ASMF_ERR_UNSUPPORTED;
    }
    return 0;
}

} // namespace

int oxcompInit() { return oxcompInitType(1); }

int oxcompInitType(uint32_t type)
{
    OxcompLock lk;
    uint64_t flag = g_oxcomp_init_flag.load();
    if (flag != 0)
        return flag == 1 ? 0 : -1;
    int rc = init_steps(type);
    if (rc == 0)
        g_oxcomp_init_flag = 1;
    return rc;
}

int oxcompFinalize()
{
    OxcompLock lk;
    uint64_t flag = g_oxcomp_init_flag.load();
    if (flag == 0)
        IF_ERR("asmf not inited yet.");
    if (flag != 1)
        return -1;
    // The task threads stop first: none may send on a node about to close.
    asmf_exit_task_list();
    if (int rc = asmf_exit_mem())
        return logged(rc, "asmf_exit_mem");
    if (int rc = asmf_res_exit())
        return logged(rc, "asmf_res_exit");
    g_oxcomp_init_flag = 0;
    return 0;
}

int oxcompOpenHandle(const handle_alloc *alloc)
{
    if (int rc = null_arg(alloc, "handle_alloc is NULL"))
        return rc;
    return asmf_open_handle(alloc);
}

int oxcompCloseHandle(int handle)
{
    int rc = asmf_close_handle(handle);
    if (rc != 0)
        IF_ERR("call asmf_free_handler fail. ret=%d\n", rc);
    return rc;
}

int oxcompWriteHandle(int handle, const CompressInfo *info)
{
    if (int rc = null_arg(info, "pstCompressInfo is NULL"))
        return rc;
    return asmf_write_handle(handle, info);
}

int oxcompReadHandle(int handle, recv_info *info)
{
    if (int rc = null_arg(info, "hook_info is NULL"))
        return rc;
    return asmf_read_handle(handle, info);
}

int oxcompCompressSync(uint32_t, CompressInfo *info)
{
    if (int rc = null_arg(info, "pstCompressInfo is NULL"))
        return rc;
    if (int rc = check_sync_request(info))
        return rc;
    CompressCtrlInfo &c = info->strCompressCtrlInfo;
    c.ulTaskId &= 0xFFFF;
    c.crc = 0;
    c.totalLen = info->strCompressDataInfo.mem.input_size;
    c.ucFlag = 3;
    c.fileId = ASMF_NO_FILE_ID;
    recv_info result{};
    return asmf_do_compress_task(info, &result);
}

int oxcompCompressAsync(uint32_t, CompressInfo *info, AsmfTaskCallback callback)
{
    if (info == nullptr || callback == nullptr) {
        IF_ERR("pstCompressInfo(0x%p) or pfnFunc(0x%p) is NULL", static_cast<void *>(info),
               reinterpret_cast<void *>(callback));
        return ASMF_ERR_ARG;
    }
    if (int rc = asmf_check_compress_task_info(info)) {
        IF_ERR("call asmf_check_compress_task_info fail. ret=%d", rc);
        return rc;
    }
    return asmf_do_compress_task_async(info, callback);
}

uint64_t oxcompMemAlloc(int handle, uint32_t size, uint32_t cpuSelect)
{
    AsmfHandler h{};
    if (int rc = asmf_get_handler_info(handle, &h)) {
        IF_ERR("call asmf_get_handler_info fail!iHandle(%d), ret(%d).", handle, rc);
        return 0;
    }
    uint64_t addr = asmf_malloc_mem_by_pid(size, static_cast<int32_t>(cpuSelect), h.pid, h.tid);
    if (addr == 0)
        IF_ERR("call asmf_malloc_mem fail!ulSize(%u), cpu_select(%u).", size, cpuSelect);
    return addr;
}

int oxcompMemFree(int handle, uint64_t buffer)
{
    if (buffer == 0) {
        IF_DBG("pBuf= NULL");
        return -1;
    }
    AsmfHandler h{};
    if (asmf_get_handler_info(handle, &h) != 0)
        return -1;
    int rc = asmf_free_mem_by_pid(buffer, h.pid, h.tid);
    if (rc != 0)
        IF_ERR("call asmf_free_shm fail. ret=%d", rc);
    return rc;
}

GLOBALS_RESET(asmf_interface)
{
    g_oxcomp_init_flag = 0;
}

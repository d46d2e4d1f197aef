#include "asmf/adapter/asmf_res.h"

#include <algorithm>
#include <fcntl.h>

#include "asmf/adapter/asmf_adapter.h"
#include "asmf/asmf_log.h"
#include "bases/globals/globals.h"

#define RES_ERR(fmt, ...) ASMF_LOG(ASMF_PRI_ERR, "adapter/asmf_res.c", "<asmf_res-ERR>", fmt __VA_OPT__(, ) __VA_ARGS__)
#define RES_DBG(fmt, ...) ASMF_LOG(ASMF_PRI_DBG, "adapter/asmf_res.c", "<asmf_res-DBG>", fmt __VA_OPT__(, ) __VA_ARGS__)

std::atomic<int> g_asmf_res_fd{-1};

namespace {

// One request on the shared descriptor; -1 is the failure the callers log.
int res_ioctl(uint8_t number, void *arg) { return host_ioctl(g_asmf_res_fd.load(), asmf_res_request(number), arg); }

int res_word(uint8_t number, uint32_t word) { return res_ioctl(number, &word); }

} // namespace

int asmf_res_init()
{
    if (g_asmf_res_fd.load() >= 0)
        return 0;
    int fd = host_open(ASMF_RES_NODE, O_RDWR);
    if (fd < 0) {
        RES_ERR("Error: Failed to open device %s.\n", ASMF_RES_NODE);
        RES_ERR("call asmf_open_res_dev fail.");
        return ASMF_RES_ERR_OPEN;
    }
    g_asmf_res_fd = fd;
    return 0;
}

int asmf_res_exit()
{
    int fd = g_asmf_res_fd.exchange(-1);
    if (fd >= 0)
        host().close(fd);
    return 0;
}

int asmf_enable_device(uint32_t id)
{
    int rc = res_word(ASMF_RES_ENABLE, id);
    if (rc == -1)
        RES_ERR("enable device[%d] fail.\n", static_cast<int>(id));
    return rc;
}

int asmf_disable_device(uint32_t id)
{
    int rc = res_word(ASMF_RES_DISABLE, id);
    if (rc == -1)
        RES_ERR("disable device[%d] fail.\n", static_cast<int>(id));
    return rc;
}

int asmf_inc_res_queue_depth(uint32_t res)
{
    int rc = res_word(ASMF_RES_INC_DEPTH, res);
    if (rc == -1)
        RES_ERR("inc res[%d] depth fail.\n", static_cast<int>(res));
    return rc;
}

int asmf_dec_res_queue_depth(uint32_t res)
{
    int rc = res_word(ASMF_RES_DEC_DEPTH, res);
    if (rc == -1)
        RES_ERR("dec res[%d] depth fail.\n", static_cast<int>(res));
    return rc;
}

int asmf_dis_alloc_res(AsmfResAlloc *rec)
{
    if (rec != nullptr)
        RES_DBG("asmf_dis_alloc_res res_pid(%d) res_tid(%d).\n", static_cast<int>(rec->pid), static_cast<int>(rec->tid));
    int rc = res_ioctl(ASMF_RES_ALLOC, rec);
    if (rc == -1)
        RES_ERR("asmf_dis_alloc_res func_type[%d] res_index(0x%x) fail.\n",
                rec ? static_cast<int>(rec->function) : 0, rec ? rec->resIndexAsked : 0);
    else if (rec != nullptr)
        asmf_dev_entry_terminate(&rec->dev.dev);
    return rc;
}

int asmf_dis_free_res(AsmfResFree *rec)
{
    int rc = res_ioctl(ASMF_RES_FREE, rec);
    if (rc == -1 && rec != nullptr)
        RES_ERR("asmf_dis_free_res func_type[%d] res_index(%d) res_id(%d) res_pid(%d) res_tid(%d) fail.\n",
                static_cast<int>(rec->function), static_cast<int>(rec->resIndex), static_cast<int>(rec->resId),
                static_cast<int>(rec->pid), static_cast<int>(rec->tid));
    return rc;
}

int asmf_res_valid(uint32_t res)
{
    int rc = res_word(ASMF_RES_VALID, res);
    if (rc == -1)
        RES_ERR("call ioctl fail.");
    return rc;
}

int asmf_get_device_list(AsmfDevList *list)
{
    int rc = res_ioctl(ASMF_RES_DEV_LIST, list);
    if (rc == -1) {
        RES_ERR("get device list fail.\n");
    } else if (list != nullptr) {
        for (AsmfDevEntry &dev : list->devs)
            asmf_dev_entry_terminate(&dev);
    }
    return rc;
}

int asmf_get_device_state(AsmfDevState *rec)
{
    int rc = res_ioctl(ASMF_RES_DEV_STATE, rec);
    if (rc == -1)
        RES_ERR("get device[%d] state fail.\n", rec ? static_cast<int>(rec->devId) : 0);
    return rc;
}

int asmf_get_res_dev_by_res_id(AsmfDevRecord *rec)
{
    int rc = res_ioctl(ASMF_RES_DEV_BY_RES, rec);
    if (rc == -1)
        RES_ERR("get res_dev queue_id[%d] fail.\n", rec ? static_cast<int>(rec->queryId) : 0);
    else if (rec != nullptr)
        asmf_dev_entry_terminate(&rec->dev);
    return rc;
}

int asmf_get_dev_by_dev_id(AsmfDevRecord *rec)
{
    asmf_res_init();
    RES_ERR("asmf_res_init g_asmf_res_fd[%d] device_id[%d]ok.\n", g_asmf_res_fd.load(),
            rec ? static_cast<int>(rec->queryId) : 0);
    int rc = res_ioctl(ASMF_RES_DEV_BY_ID, rec);
    if (rc == -1)
        RES_ERR("get dev device_id[%d] fail.\n", rec ? static_cast<int>(rec->queryId) : 0);
    else if (rec != nullptr)
        asmf_dev_entry_terminate(&rec->dev);
    return rc;
}

int asmf_get_related_dev_by_dev_id(AsmfDevRecord *rec)
{
    int rc = res_ioctl(ASMF_RES_RELATED_DEV, rec);
    if (rc == -1)
        RES_ERR("call ioctl fail.");
    else if (rec != nullptr)
        asmf_dev_entry_terminate(&rec->dev);
    return rc;
}

int asmf_get_res_version(char *text)
{
    int rc = res_ioctl(ASMF_RES_VERSION, text);
    if (rc == -1)
        RES_ERR("get res verson fail.\n");
    return rc;
}

int asmf_set_exc_pid(uint32_t pid)
{
    int rc = res_word(ASMF_RES_SET_PID, pid);
    if (rc == -1)
        RES_ERR("set pid fail.\n");
    return rc;
}

int asmf_unset_exc_pid()
{
    int rc = res_word(ASMF_RES_UNSET_PID, 0);
    if (rc == -1)
        RES_ERR("unset pid fail.\n");
    return rc;
}

int asmf_dis_res_info()
{
    if (int ret = asmf_res_init())
        RES_ERR("asmf_res_init fail.ret = %d\n", ret);
    int rc = res_ioctl(ASMF_RES_SHOW, nullptr);
    if (rc != 0)
        RES_ERR("asmf_dis_res_info fail.ret = %d\n", rc);
    asmf_res_exit();
    return rc;
}

int asmf_dev_list_count(const AsmfDevList *list)
{
    return list == nullptr ? 0 : std::clamp(list->count, 0, ASMF_MAX_DEVICES);
}

void asmf_dev_entry_terminate(AsmfDevEntry *dev)
{
    dev->name[ASMF_DEV_NAME_LEN - 1] = '\0';
    dev->path[ASMF_DEV_PATH_LEN - 1] = '\0';
}

int asmf_alloc_file_id_by_pid(uint32_t acceType, uint32_t cmdType, uint32_t pid, uint32_t tid)
{
    if (acceType != 0) {
        RES_ERR("alloc file_id fail! by acce_type(%u) is invalid.\n", acceType);
        return -1;
    }
    AsmfFileIdRec rec{acceType, cmdType & 1U, pid, tid, 0};
    int rc = res_ioctl(ASMF_RES_FILE_ALLOC, &rec);
    if (rc != 0) {
        RES_ERR("alloc file_id fail ret(%d).\n", rc);
        return -1;
    }
    return static_cast<int>(rec.fileId);
}

int asmf_free_file_id_by_pid(uint32_t acceType, uint32_t cmdType, uint32_t fileId, uint32_t pid, uint32_t tid)
{
    if (acceType != 0) {
        RES_ERR("free file_id fail! by acce_type(%u) is invalid.\n", acceType);
        return ASMF_RES_ERR_ARG;
    }
    uint32_t cmd = cmdType & 0xFFU;
    if (cmd > 1) {
        RES_ERR("free file_id fail! by cmd_type(%u) is invalid.\n", cmd);
        return ASMF_RES_ERR_ARG;
    }
    AsmfFileIdRec rec{acceType, cmd, pid, tid, fileId};
    int rc = res_ioctl(ASMF_RES_FILE_FREE, &rec);
    if (rc != 0)
        RES_ERR("free file_id fail ret(%d).\n", rc);
    return rc;
}

int asmf_alloc_file_id(uint32_t acceType, uint32_t cmdType)
{
    return asmf_alloc_file_id_by_pid(acceType, cmdType, static_cast<uint32_t>(host().getpid()),
                                     static_cast<uint32_t>(asmf_gettid()));
}

int asmf_free_file_id(uint32_t acceType, uint32_t cmdType, uint32_t fileId)
{
    return asmf_free_file_id_by_pid(acceType, cmdType, fileId, static_cast<uint32_t>(host().getpid()),
                                    static_cast<uint32_t>(asmf_gettid()));
}

GLOBALS_RESET(asmf_res)
{
    g_asmf_res_fd = -1;
}

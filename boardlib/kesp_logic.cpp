#include "boardlib/kesp_logic.h"

#include <cerrno>
#include <cstring>

#include <fcntl.h>

#include "bases/host/host.h"
#include "boardlib/plov_check.h"

namespace {

// How a request's result is judged.
enum class KespResult {
    Negative,   // a negative result fails with -1203; others are returned
    NonZero,    // any non-zero result fails with -1203
};

// Opens the node, issues the request, closes the node.
PlovStatus kesp_request(unsigned long request, void *arg, KespResult judge = KespResult::Negative)
{
    int fd = KespGetFd();
    if (fd < 0)
        return fd;
    int ret = host_ioctl(fd, request, arg);
    int err = errno;
    if (judge == KespResult::Negative && ret < 0) {
        TRANS_LOG_ERR("Ioctl failed! errno=%d(%s)", err, strerror(err));
        ret = PLOV_ERR_IOCTL;
    } else if (judge == KespResult::NonZero && ret != 0) {
        TRANS_LOG_ERR("ioctl error, errno = %d(%s)\n", err, strerror(err));
        ret = PLOV_ERR_IOCTL;
    }
    KespCloseFile(fd);
    return ret;
}

// The ordinary record requests: a null record is refused before the node
// is opened.
PlovStatus kesp_record_request(unsigned long request, const void *record)
{
    if (record == nullptr)
        return TRANS_NULL_POINTER();
    return kesp_request(request, const_cast<void *>(record));
}

} // namespace

int KespGetFd()
{
    int fd = host_open(PLOV_TRANS_NODE, O_RDWR);
    if (fd < 0) {
        int err = errno;
        TRANS_LOG_ERR("Open device: %s failed! errno=%d(%s)", PLOV_TRANS_NODE, err, strerror(err));
        return PLOV_ERR_OPEN;
    }
    return fd;
}

int KespCloseFile(int fd) { return host().close(fd); }

PlovStatus KespLogicWriteDirReg(DirRegReq *req) { return kesp_record_request(PLOV_IOC_WRITE_DIR_REG, req); }
PlovStatus KespLogicReadDirReg(DirRegReq *req) { return kesp_record_request(PLOV_IOC_READ_DIR_REG, req); }

PlovStatus KespLogicWriteIndirReg(IndirRegReq *req)
{
    return kesp_record_request(PLOV_IOC_WRITE_INDIR_REG, req);
}

PlovStatus KespLogicReadIndirReg(IndirRegReq *req) { return kesp_record_request(PLOV_IOC_READ_INDIR_REG, req); }

PlovStatus KespLogicClearIndirReg(IndirRegReq *req)
{
    return kesp_record_request(PLOV_IOC_CLEAR_INDIR_REG, req);
}

PlovStatus KespLogicSetShmem(const ShareMemEntry *map) { return kesp_record_request(PLOV_IOC_SET_SHMEM, map); }
PlovStatus KespLogicGetShmem(ShareMemEntry *map) { return kesp_record_request(PLOV_IOC_GET_SHMEM, map); }
PlovStatus KespLogicSetMemDep(const MemCfg *cfg) { return kesp_record_request(PLOV_IOC_SET_MEM_DEP, cfg); }
PlovStatus KespLogicGetMemDep(MemCfg *cfg) { return kesp_record_request(PLOV_IOC_GET_MEM_DEP, cfg); }

PlovStatus KespLogicUsrStart(uint8_t value) { return kesp_request(PLOV_IOC_USR_START, &value); }

PlovStatus KespLogicGetQueueAddr(QueueAddrRec *rec) { return kesp_record_request(PLOV_IOC_GET_QUEUE_ADDR, rec); }

PlovStatus KespLogicGetSwbufBase(SwBufBaseRec *rec)
{
    return kesp_record_request(PLOV_IOC_GET_SWBUF_BASE, rec);
}

PlovStatus KespGetMemDesc(MemDesc *descs) { return kesp_record_request(PLOV_IOC_GET_MEM_DESC, descs); }

PlovStatus KespSetSfpReg(SfpRegReq *req)
{
    if (req == nullptr || req->buf == nullptr)
        return TRANS_NULL_POINTER();
    return kesp_request(PLOV_IOC_SET_SFP_REG, req);
}

PlovStatus KespGetSfpReg(SfpRegReq *req)
{
    if (req == nullptr || req->buf == nullptr)
        return TRANS_NULL_POINTER();
    return kesp_request(PLOV_IOC_GET_SFP_REG, req);
}

PlovStatus KespLogicSetHrtimerAffinity(uint8_t cpu)
{
    if (cpu >= KESP_VCPUS_MAX_NUM) {
        TRANS_LOG_ERR("cpu id error [%d]\n", cpu);
        return PLOV_ERR_CPU_ID;
    }
    return kesp_request(PLOV_IOC_SET_HRTIMER_AFFINITY, &cpu);
}

PlovStatus KespLogicGetHrtimerAffinity(uint8_t *cpu)
{
    return kesp_record_request(PLOV_IOC_GET_HRTIMER_AFFINITY, cpu);
}

PlovStatus KespGetDrvInfo(DrvInfo *info)
{
    if (info == nullptr)
        return PLOV_ERR_NULL_PTR;
    return kesp_request(PLOV_IOC_GET_DRV_INFO, info);
}

PlovStatus KespSetHrtimer(uint64_t period) { return kesp_request(PLOV_IOC_SET_HRTIMER, &period); }
PlovStatus KespGetHrtimer(uint64_t *period) { return kesp_record_request(PLOV_IOC_GET_HRTIMER, period); }

PlovStatus KespRmPciPortEp(PciPortEpReq *req) { return kesp_record_request(PLOV_IOC_RM_PCI_PORT_EP, req); }
PlovStatus KespAddPciPortEp(PciPortEpReq *req) { return kesp_record_request(PLOV_IOC_ADD_PCI_PORT_EP, req); }

PlovStatus KespGetDrvVer(FpgaId fpga, char *ver)
{
    if (fpga >= 2)
        return TRANS_BAD_FPGA(fpga);
    if (ver == nullptr)
        return TRANS_NULL_POINTER();
    int fd = KespGetFd();
    if (fd < 0)
        return fd;
    int ret = host_ioctl(fd, PLOV_IOC_GET_DRV_VER, ver);
    if (ret != 0)
        TRANS_LOG_ERR("ioctl failed, errno[%d]!\n", errno);
    KespCloseFile(fd);
    return ret;
}

PlovStatus KespSetLoadAtReboot(uint8_t flag)
{
    LoadAtRebootReq req{0, flag};
    return kesp_request(PLOV_IOC_SET_LOAD_AT_REBOOT, &req, KespResult::NonZero);
}

PlovStatus KespGetLoadAtReboot(uint64_t *flag)
{
    if (flag == nullptr)
        return TRANS_NULL_POINTER();
    LoadAtRebootReq req{0, reinterpret_cast<uintptr_t>(flag)};
    return kesp_request(PLOV_IOC_GET_LOAD_AT_REBOOT, &req, KespResult::NonZero);
}

PlovStatus KespJudged(PlovStatus ret) { return ret < 0 ? ret : PLOV_OK; }

PlovStatus KespReadReg(uint64_t addr, uint64_t *value)
{
    DirRegReq req{addr, 0};
    PlovStatus ret = KespJudged(KespLogicReadDirReg(&req));
    if (ret == PLOV_OK)
        *value = req.data;
    return ret;
}

PlovStatus KespWriteReg(uint64_t addr, uint64_t value)
{
    DirRegReq req{addr, value};
    return KespJudged(KespLogicWriteDirReg(&req));
}

#include "boardlib/dorn_logic.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <type_traits>

#include "bases/host/host.h"
#include "boardlib/plov_check.h"
#include "boardlib/plov_types.h"

namespace {

// Refuse a null argument with the layer's line, at the caller's place.
#define DORN_REFUSE_NULL(p)                          \
    do {                                             \
        if ((p) == nullptr)                          \
            return TRANS_NULL_POINTER();             \
    } while (0)

#define TRANS_LOG_AT(at, fmt, ...) PLOV_LOG_AT(at, g_pfPLOVTransLog, PLOV_LEVEL_ERR, TRANS_TAG_ERR, fmt __VA_OPT__(, ) __VA_ARGS__)

// A request's result judged by `judge` (`err` the errno it left); a failure
// line names `at`.
PlovStatus judge_result(int ret, int err, DornJudge judge, PlovSite at)
{
    switch (judge) {
    case DornJudge::Negative:
        if (ret >= 0)
            return PLOV_OK;
        TRANS_LOG_AT(at, "Ioctl failed! errno=%d(%s)", err, std::strerror(err));
        return PLOV_ERR_IOCTL;
    case DornJudge::NegativeResult:
        if (ret >= 0)
            return PLOV_OK;
        TRANS_LOG_AT(at, "Ioctl failed! errno=%d(%s), iRet[%d]", err, std::strerror(err), ret);
        return PLOV_ERR_IOCTL;
    case DornJudge::NonZero:
        if (ret == 0)
            return PLOV_OK;
        TRANS_LOG_AT(at, "ioctl error, errno = %d(%s)\n", err, std::strerror(err));
        return PLOV_ERR_IOCTL;
    case DornJudge::NonZeroKept:
        if (ret == 0)
            return PLOV_OK;
        TRANS_LOG_AT(at, "ioctl failed, errno[%d]!\n", err);
        return ret < 0 ? ret : PLOV_ERR_IOCTL;
    case DornJudge::NonZeroSbuf:
        if (ret == 0)
            return PLOV_OK;
        TRANS_LOG_AT(at, "ioctl error, iRet = %d, errno = %d", ret, err);
        return ret < 0 ? ret : -1;
    case DornJudge::Raw:
        break;
    }
    return ret;
}

// Issue one request on an open descriptor and judge it.
PlovStatus dorn_issue(int fd, unsigned long request, void *arg, DornJudge judge)
{
    int ret = host_ioctl(fd, request, arg);
    return judge_result(ret, errno, judge, PLOV_HERE);
}

// The wrappers' judgement: a negative result is a failure (-1203).
PlovStatus dorn_ioctl(int fd, unsigned long request, void *arg)
{
    return dorn_issue(fd, request, arg, DornJudge::Negative);
}

// A wrapper that takes a record: a null one is refused (-1201, logged).
template <typename T> PlovStatus record_ioctl(int fd, unsigned long request, T *rec)
{
    DORN_REFUSE_NULL(rec);
    return dorn_ioctl(fd, request, const_cast<std::remove_const_t<T> *>(rec));
}

// A one-byte setter: the low byte of the value travels.
PlovStatus byte_ioctl(int fd, unsigned long request, uint32_t value)
{
    uint8_t byte = static_cast<uint8_t>(value);
    return dorn_ioctl(fd, request, &byte);
}

// A failed open, answered by the rule.
PlovStatus open_failed(int fd, DornOpenFail openFail, PlovSite at)
{
    switch (openFail) {
    case DornOpenFail::Status:
        break;
    case DornOpenFail::StatusLogged:
        TRANS_LOG_AT(at, "Call DornGetFd error, iRet = %d", fd);
        break;
    case DornOpenFail::StatusGetFd:
        TRANS_LOG_AT(at, "get fd fail!\n");
        break;
    case DornOpenFail::OpenCode:
        return PLOV_ERR_OPEN;
    }
    return fd;
}

// Load-at-reboot and queue switches: any non-zero result is a failure.
constexpr DornRule kStrict{DornJudge::NonZero, DornOpenFail::Status, false};

constexpr FpgaId kTransFpga = 0;
constexpr FpgaId kSbufFpga = 1;

// Queue switches: FPGA 0 on the trans node, any other id on the sbuf node.
FpgaId queue_switch_node(FpgaId fpga) { return fpga == kTransFpga ? kTransFpga : kSbufFpga; }

QueueSwitchReq queue_switch_req(const QueueId &queue, uint16_t value)
{
    QueueSwitchReq req{};
    req.queueType = static_cast<uint16_t>(queue.QueueType);
    req.value = value;
    req.queueId = static_cast<uint16_t>(queue.QueueId);
    return req;
}

} // namespace

// ---- node helpers ----------------------------------------------------------------------

int DornOpenDev(const char *path)
{
    DORN_REFUSE_NULL(path);
    int fd = host_open(path, O_RDWR);
    if (fd < 0) {
        int err = errno;
        TRANS_LOG_ERR("Open device: %s failed! errno=%d(%s)", path, err, std::strerror(err));
        return PLOV_ERR_OPEN;
    }
    return fd;
}

int DornCloseDev(int fd)
{
    return host().close(fd);
}

int DornGetFd(FpgaId fpga)
{
    switch (fpga) {
    case kTransFpga:
        return DornOpenDev(DORN_TRANS_NODE);
    case kSbufFpga:
        return DornOpenDev(DORN_SBUF_NODE);
    default:
        return TRANS_BAD_FPGA(fpga);
    }
}

PlovStatus dorn_request(FpgaId fpga, unsigned long nr, void *record, PlovSite at, const DornRule &rule)
{
    int fd = DornGetFd(fpga);
    if (fd < 0)
        return open_failed(fd, rule.openFail, at);
    PlovStatus ret = PLOV_ERR_NULL_PTR;
    if (record != nullptr || !rule.nullRecordOpen) {
        int result = host_ioctl(fd, nr, record);
        const int err = errno;
        ret = judge_result(result, err, rule.judge, at);
    }
    DornCloseDev(fd);
    return ret;
}

// ---- request wrappers ---------------------------------------------------------------------

PlovStatus IoctlWriteDirReg(int fd, DirRegReq *req)
{
    return record_ioctl(fd, PLOV_IOC_WRITE_DIR_REG, req);
}

PlovStatus IoctlReadDirReg(int fd, DirRegReq *req)
{
    return record_ioctl(fd, PLOV_IOC_READ_DIR_REG, req);
}

PlovStatus IoctlWriteIndirReg(int fd, IndirRegReq *req)
{
    return record_ioctl(fd, PLOV_IOC_WRITE_INDIR_REG, req);
}

PlovStatus IoctlReadIndirReg(int fd, IndirRegReq *req)
{
    return record_ioctl(fd, PLOV_IOC_READ_INDIR_REG, req);
}

PlovStatus IoctlSetShmem(int fd, const ShareMemEntry *map)
{
    return record_ioctl(fd, PLOV_IOC_SET_SHMEM, map);
}

PlovStatus IoctlGetShmem(int fd, ShareMemEntry *map)
{
    return record_ioctl(fd, PLOV_IOC_GET_SHMEM, map);
}

PlovStatus IoctlSetMemDep(int fd, const MemCfg *cfg)
{
    return record_ioctl(fd, PLOV_IOC_SET_MEM_DEP, cfg);
}

PlovStatus IoctlGetMemDep(int fd, MemCfg *cfg)
{
    return record_ioctl(fd, PLOV_IOC_GET_MEM_DEP, cfg);
}

PlovStatus IoctlUsrStart(int fd, uint32_t value)
{
    return byte_ioctl(fd, PLOV_IOC_USR_START, value);
}

PlovStatus IoctlGetQueueAddr(int fd, QueueAddrRec *rec)
{
    return record_ioctl(fd, PLOV_IOC_GET_QUEUE_ADDR, rec);
}

PlovStatus IoctlGetSwBufBase(int fd, SwBufBaseRec *rec)
{
    DORN_REFUSE_NULL(rec);
    return dorn_issue(fd, PLOV_IOC_GET_SWBUF_BASE, rec, DornJudge::NegativeResult);
}

PlovStatus IoctlSetCpuUsg(int fd, uint32_t value)
{
    return byte_ioctl(fd, PLOV_IOC_SET_CPU_USG, value);
}

PlovStatus IoctlGetCpuUsg(int fd, uint8_t *value)
{
    if (value == nullptr)
        return PLOV_ERR_NULL_PTR;
    return dorn_ioctl(fd, PLOV_IOC_GET_CPU_USG, value);
}

PlovStatus IoctlGetMemDesc(int fd, MemDesc *descs)
{
    return record_ioctl(fd, PLOV_IOC_GET_MEM_DESC, descs);
}

PlovStatus IoctlSetHrtimerAffinity(int fd, uint32_t cpu)
{
    return byte_ioctl(fd, PLOV_IOC_SET_HRTIMER_AFFINITY, cpu);
}

PlovStatus IoctlGetHrtimerAffinity(int fd, uint8_t *cpu)
{
    DORN_REFUSE_NULL(cpu);
    uint8_t byte = 0;
    PlovStatus ret = dorn_ioctl(fd, PLOV_IOC_GET_HRTIMER_AFFINITY, &byte);
    if (ret == PLOV_OK)
        *cpu = byte;
    return ret;
}

PlovStatus IoctlGetDrvInfo(int fd, DrvInfo *info)
{
    return dorn_ioctl(fd, PLOV_IOC_GET_DRV_INFO, info);
}

PlovStatus IoctlGetRegs(int fd, RegSpaceReq *req)
{
    return dorn_ioctl(fd, PLOV_IOC_GET_REGS, req);
}

PlovStatus IoctlGetPortStaticMac(int fd, PortStaticMacReq *req)
{
    return dorn_ioctl(fd, PLOV_IOC_GET_PORT_STATIC_MAC, req);
}

// ---- operations ----------------------------------------------------------------------------

PlovStatus DornLogicReadDirReg(FpgaId fpga, DirRegReq *req)
{
    DORN_REFUSE_NULL(req);
    return DORN_REQUEST(fpga, PLOV_IOC_READ_DIR_REG, req);
}

PlovStatus DornLogicWriteDirReg(FpgaId fpga, DirRegReq *req)
{
    DORN_REFUSE_NULL(req);
    return DORN_REQUEST(fpga, PLOV_IOC_WRITE_DIR_REG, req);
}

PlovStatus DornLogicReadIndirReg(FpgaId fpga, IndirRegReq *req)
{
    DORN_REFUSE_NULL(req);
    return DORN_REQUEST(fpga, PLOV_IOC_READ_INDIR_REG, req);
}

PlovStatus DornLogicWriteIndirReg(FpgaId fpga, IndirRegReq *req)
{
    DORN_REFUSE_NULL(req);
    return DORN_REQUEST(fpga, PLOV_IOC_WRITE_INDIR_REG, req);
}

PlovStatus DornLogicGetQueueAddr(FpgaId fpga, QueueAddrRec *rec)
{
    DORN_REFUSE_NULL(rec);
    return DORN_REQUEST(fpga, PLOV_IOC_GET_QUEUE_ADDR, rec, {DornJudge::Negative, DornOpenFail::StatusGetFd});
}

PlovStatus DornLogicGetSwbufBase(FpgaId fpga, SwBufBaseRec *rec)
{
    DORN_REFUSE_NULL(rec);
    return DORN_REQUEST(fpga, PLOV_IOC_GET_SWBUF_BASE, rec, {DornJudge::NegativeResult});
}

PlovStatus TransGetMemDesc(FpgaId fpga, MemDesc *descs)
{
    DORN_REFUSE_NULL(descs);
    return DORN_REQUEST(fpga, PLOV_IOC_GET_MEM_DESC, descs);
}

PlovStatus DornLogicGetMemDep(FpgaId fpga, MemCfg *cfg)
{
    DORN_REFUSE_NULL(cfg);
    return DORN_REQUEST(fpga, PLOV_IOC_GET_MEM_DEP, cfg);
}

PlovStatus DornLogicSetMemDep(FpgaId fpga, const MemCfg *cfg)
{
    DORN_REFUSE_NULL(cfg);
    return DORN_REQUEST(fpga, PLOV_IOC_SET_MEM_DEP, const_cast<MemCfg *>(cfg));
}

PlovStatus DornLogicSetShmem(const ShareMemEntry *map)
{
    DORN_REFUSE_NULL(map);
    return DORN_REQUEST(kTransFpga, PLOV_IOC_SET_SHMEM, const_cast<ShareMemEntry *>(map));
}

PlovStatus DornLogicGetShmem(ShareMemEntry *map)
{
    DORN_REFUSE_NULL(map);
    return DORN_REQUEST(kTransFpga, PLOV_IOC_GET_SHMEM, map);
}

PlovStatus DornLogicUsrStart(FpgaId fpga, uint8_t value)
{
    return DORN_REQUEST(fpga, PLOV_IOC_USR_START, &value);
}

PlovStatus DornLogicGetCpuUsg(FpgaId fpga, uint8_t *value)
{
    return DORN_REQUEST(fpga, PLOV_IOC_GET_CPU_USG, value, {DornJudge::Negative, DornOpenFail::Status, true});
}

PlovStatus DornLogicSetCpuUsg(FpgaId fpga, uint8_t value)
{
    return DORN_REQUEST(fpga, PLOV_IOC_SET_CPU_USG, &value);
}

PlovStatus DornGetHrtimerAffinity(FpgaId fpga, uint8_t *cpu)
{
    DORN_REFUSE_NULL(cpu);
    uint8_t byte = 0;
    PlovStatus ret = DORN_REQUEST(fpga, PLOV_IOC_GET_HRTIMER_AFFINITY, &byte);
    if (ret == PLOV_OK)
        *cpu = byte;
    return ret;
}

PlovStatus DornSetHrtimerAffinity(FpgaId fpga, uint8_t cpu)
{
    return DORN_REQUEST(fpga, PLOV_IOC_SET_HRTIMER_AFFINITY, &cpu);
}

PlovStatus DornGetRegs(FpgaId fpga, RegSpaceReq *req)
{
    return DORN_REQUEST(fpga, PLOV_IOC_GET_REGS, req);
}

PlovStatus DornGetDrvInfo(FpgaId fpga, DrvInfo *info)
{
    return DORN_REQUEST(fpga, PLOV_IOC_GET_DRV_INFO, info);
}

PlovStatus DornGetLoadAtReboot(FpgaId fpga, uint64_t *flag)
{
    DORN_REFUSE_NULL(flag);
    LoadAtRebootReq req{fpga, reinterpret_cast<uintptr_t>(flag)};
    return DORN_REQUEST(kSbufFpga, PLOV_IOC_GET_LOAD_AT_REBOOT, &req, kStrict);
}

PlovStatus DornSetLoadAtReboot(FpgaId fpga, uint8_t flag)
{
    LoadAtRebootReq req{fpga, flag};
    return DORN_REQUEST(kSbufFpga, PLOV_IOC_SET_LOAD_AT_REBOOT, &req, kStrict);
}

PlovStatus DornGetQueueSwitch(FpgaId fpga, const QueueId *queue, uint32_t *value)
{
    DORN_REFUSE_NULL(queue);
    DORN_REFUSE_NULL(value);
    QueueSwitchReq req = queue_switch_req(*queue, 0);
    PlovStatus ret = DORN_REQUEST(queue_switch_node(fpga), PLOV_IOC_GET_QUEUE_SWITCH, &req, kStrict);
    if (ret == PLOV_OK)
        *value = req.value;
    return ret;
}

PlovStatus DornSetQueueSwitch(FpgaId fpga, const QueueId *queue, uint16_t value)
{
    DORN_REFUSE_NULL(queue);
    QueueSwitchReq req = queue_switch_req(*queue, value);
    return DORN_REQUEST(queue_switch_node(fpga), PLOV_IOC_SET_QUEUE_SWITCH, &req, kStrict);
}

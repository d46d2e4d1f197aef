#include "boardlib/dorn_logic.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <type_traits>

#include "bases/host/host.h"
#include "boardlib/plov_types.h"

namespace {

// Refuse a null argument with the layer's line, at the caller's place.
#define DORN_REFUSE_NULL(p)                          \
    do {                                             \
        if ((p) == nullptr) {                        \
            TRANS_LOG_ERR("NULL Pointer Detected!\n"); \
            return PLOV_ERR_NULL_PTR;                \
        }                                            \
    } while (0)

// Issue one request; a negative result is a failure (-1203).
PlovStatus dorn_ioctl(int fd, unsigned long request, void *arg)
{
    if (host_ioctl(fd, request, arg) < 0) {
        int err = errno;
        TRANS_LOG_ERR("Ioctl failed! errno=%d(%s)", err, std::strerror(err));
        return PLOV_ERR_IOCTL;
    }
    return PLOV_OK;
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

// Open the FPGA's node, run one wrapper with `arg` (a record pointer or a
// value byte), close; the wrapper's status.
template <typename A, typename W> PlovStatus on_fpga(FpgaId fpga, A arg, W wrapper)
{
    int fd = DornGetFd(fpga);
    if (fd < 0)
        return fd;
    PlovStatus ret = wrapper(fd, arg);
    DornCloseDev(fd);
    return ret;
}

// Load-at-reboot and queue switches: any non-zero result is a failure.
PlovStatus dorn_strict_request(FpgaId node, unsigned long request, void *arg)
{
    int fd = DornGetFd(node);
    if (fd < 0)
        return fd;
    PlovStatus ret = PLOV_OK;
    if (host_ioctl(fd, request, arg) != 0) {
        int err = errno;
        TRANS_LOG_ERR("ioctl error, errno = %d(%s)\n", err, std::strerror(err));
        ret = PLOV_ERR_IOCTL;
    }
    DornCloseDev(fd);
    return ret;
}

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
        TRANS_LOG_ERR("Invalid FpgaID [%d]\n", fpga);
        return PLOV_ERR_FPGA_ID;
    }
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
    int ret = host_ioctl(fd, PLOV_IOC_GET_SWBUF_BASE, rec);
    if (ret < 0) {
        int err = errno;
        TRANS_LOG_ERR("Ioctl failed! errno=%d(%s), iRet[%d]", err, std::strerror(err), ret);
        return PLOV_ERR_IOCTL;
    }
    return PLOV_OK;
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
    return on_fpga(fpga, req, IoctlReadDirReg);
}

PlovStatus DornLogicWriteDirReg(FpgaId fpga, DirRegReq *req)
{
    DORN_REFUSE_NULL(req);
    return on_fpga(fpga, req, IoctlWriteDirReg);
}

PlovStatus DornLogicReadIndirReg(FpgaId fpga, IndirRegReq *req)
{
    DORN_REFUSE_NULL(req);
    return on_fpga(fpga, req, IoctlReadIndirReg);
}

PlovStatus DornLogicWriteIndirReg(FpgaId fpga, IndirRegReq *req)
{
    DORN_REFUSE_NULL(req);
    return on_fpga(fpga, req, IoctlWriteIndirReg);
}

PlovStatus DornLogicGetQueueAddr(FpgaId fpga, QueueAddrRec *rec)
{
    DORN_REFUSE_NULL(rec);
    int fd = DornGetFd(fpga);
    if (fd < 0) {
        TRANS_LOG_ERR("get fd fail!\n");
        return fd;
    }
    PlovStatus ret = IoctlGetQueueAddr(fd, rec);
    DornCloseDev(fd);
    return ret;
}

PlovStatus DornLogicGetSwbufBase(FpgaId fpga, SwBufBaseRec *rec)
{
    DORN_REFUSE_NULL(rec);
    return on_fpga(fpga, rec, IoctlGetSwBufBase);
}

PlovStatus TransGetMemDesc(FpgaId fpga, MemDesc *descs)
{
    DORN_REFUSE_NULL(descs);
    return on_fpga(fpga, descs, IoctlGetMemDesc);
}

PlovStatus DornLogicGetMemDep(FpgaId fpga, MemCfg *cfg)
{
    DORN_REFUSE_NULL(cfg);
    return on_fpga(fpga, cfg, IoctlGetMemDep);
}

PlovStatus DornLogicSetMemDep(FpgaId fpga, const MemCfg *cfg)
{
    DORN_REFUSE_NULL(cfg);
    return on_fpga(fpga, cfg, IoctlSetMemDep);
}

PlovStatus DornLogicSetShmem(const ShareMemEntry *map)
{
    DORN_REFUSE_NULL(map);
    return on_fpga(kTransFpga, map, IoctlSetShmem);
}

PlovStatus DornLogicGetShmem(ShareMemEntry *map)
{
    DORN_REFUSE_NULL(map);
    return on_fpga(kTransFpga, map, IoctlGetShmem);
}

PlovStatus DornLogicUsrStart(FpgaId fpga, uint8_t value)
{
    return on_fpga(fpga, value, IoctlUsrStart);
}

PlovStatus DornLogicGetCpuUsg(FpgaId fpga, uint8_t *value)
{
    return on_fpga(fpga, value, IoctlGetCpuUsg);
}

PlovStatus DornLogicSetCpuUsg(FpgaId fpga, uint8_t value)
{
    return on_fpga(fpga, value, IoctlSetCpuUsg);
}

PlovStatus DornGetHrtimerAffinity(FpgaId fpga, uint8_t *cpu)
{
    DORN_REFUSE_NULL(cpu);
    return on_fpga(fpga, cpu, IoctlGetHrtimerAffinity);
}

PlovStatus DornSetHrtimerAffinity(FpgaId fpga, uint8_t cpu)
{
    return on_fpga(fpga, cpu, IoctlSetHrtimerAffinity);
}

PlovStatus DornGetRegs(FpgaId fpga, RegSpaceReq *req)
{
    return on_fpga(fpga, req, IoctlGetRegs);
}

PlovStatus DornGetDrvInfo(FpgaId fpga, DrvInfo *info)
{
    return on_fpga(fpga, info, IoctlGetDrvInfo);
}

PlovStatus DornGetLoadAtReboot(FpgaId fpga, uint64_t *flag)
{
    DORN_REFUSE_NULL(flag);
    LoadAtRebootReq req{fpga, reinterpret_cast<uintptr_t>(flag)};
    return dorn_strict_request(kSbufFpga, PLOV_IOC_GET_LOAD_AT_REBOOT, &req);
}

PlovStatus DornSetLoadAtReboot(FpgaId fpga, uint8_t flag)
{
    LoadAtRebootReq req{fpga, flag};
    return dorn_strict_request(kSbufFpga, PLOV_IOC_SET_LOAD_AT_REBOOT, &req);
}

PlovStatus DornGetQueueSwitch(FpgaId fpga, const QueueId *queue, uint32_t *value)
{
    DORN_REFUSE_NULL(queue);
    DORN_REFUSE_NULL(value);
    QueueSwitchReq req = queue_switch_req(*queue, 0);
    PlovStatus ret = dorn_strict_request(queue_switch_node(fpga), PLOV_IOC_GET_QUEUE_SWITCH, &req);
    if (ret == PLOV_OK)
        *value = req.value;
    return ret;
}

PlovStatus DornSetQueueSwitch(FpgaId fpga, const QueueId *queue, uint16_t value)
{
    DORN_REFUSE_NULL(queue);
    QueueSwitchReq req = queue_switch_req(*queue, value);
    return dorn_strict_request(queue_switch_node(fpga), PLOV_IOC_SET_QUEUE_SWITCH, &req);
}

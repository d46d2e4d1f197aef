#include "hwmanage/hpi/plugins/disks/hw/disk_sg_io.h"

#include <cerrno>
#include <cstring>

#include "bases/drv/sg_drv.h"
#include "bases/host/host.h"
#include "kelvo/kelvo.h"

namespace {

constexpr int32_t kSgDirections[] = {SG_DXFER_NONE, SG_DXFER_FROM_DEV, SG_DXFER_TO_DEV};

uint32_t timeout_ms(unsigned seconds) { return seconds == 0 ? 60000u : seconds * 1000u; }

bool direction_ok(int dir) { return dir >= DXFER_NONE && dir <= DXFER_TO_DEVICE; }

// Data-in buffers start clean, so nothing of an earlier answer survives a
// short or failed transfer.
void clear_data_in(scsi_cmnd_io *io)
{
    if (io->dxfer_dir == DXFER_FROM_DEVICE && io->dxferp != nullptr && io->dxfer_len > 0)
        (void)memset_s(io->dxferp, io->dxfer_len, 0, io->dxfer_len);
}

void clear_results(scsi_cmnd_io *io)
{
    io->resp_sense_len = 0;
    io->scsi_status = 0;
    io->resid = 0;
    io->host_status = 0;
    io->driver_status = 0;
    io->info = 0;
    io->duration = 0;
}

// The driver's verdict on a command it carried out.
int judge_sg_io(const SgIoHdr &hdr, scsi_cmnd_io *io)
{
    if (hdr.hostStatus != SG_HOST_OK)
        return hdr.hostStatus <= 3 ? -ETIMEDOUT : -EIO;
    switch (hdr.driverStatus & SG_DRIVER_MASK) {
    case 0:
        return 0;
    case SG_DRIVER_TIMEOUT:
        return -ETIMEDOUT;
    case SG_DRIVER_SENSE:
        io->scsi_status = SCSI_STATUS_CHECK_CONDITION;
        return 0;
    default:
        return -EIO;
    }
}

} // namespace

int sg_core_sg_io(const SgFace &face, int fd, scsi_cmnd_io *io, int report, bool quiet)
{
    if (io == nullptr || !direction_ok(io->dxfer_dir)) {
        face.say("%s", face.badDir);
        return -EINVAL;
    }
    clear_results(io);
    clear_data_in(io);
    SgIoHdr hdr{};
    hdr.interfaceId = SG_INTERFACE_ID;
    hdr.dxferDirection = kSgDirections[io->dxfer_dir];
    hdr.cmdLen = static_cast<uint8_t>(io->cmnd_len);
    hdr.mxSbLen = static_cast<uint8_t>(io->max_sense_len);
    hdr.dxferLen = static_cast<uint32_t>(io->dxfer_len);
    hdr.dxferp = reinterpret_cast<uintptr_t>(io->dxferp);
    hdr.cmdp = reinterpret_cast<uintptr_t>(io->cmnd);
    hdr.sbp = reinterpret_cast<uintptr_t>(io->sensep);
    hdr.timeout = timeout_ms(io->timeout);
    if (host_ioctl(fd, SG_IO_REQUEST, &hdr) < 0) {
        int err = errno;
        if (face.reports && report > 0 && !quiet)
            face.say("  SG_IO ioctl failed, errno=%d [%s]\n", err, std::strerror(err));
        return -err;
    }
    io->scsi_status = static_cast<uint8_t>(hdr.status & 0x7E);
    io->resid = hdr.resid;
    io->resp_sense_len = hdr.sbLenWr < io->max_sense_len ? hdr.sbLenWr : io->max_sense_len;
    io->host_status = hdr.hostStatus;
    io->driver_status = hdr.driverStatus;
    io->info = hdr.info;
    io->duration = hdr.duration;
    return judge_sg_io(hdr, io);
}

namespace {

struct SiscBuffer {
    SiscHead head;
    uint8_t bytes[SISC_MAX_CDB + SISC_MAX_DATA];
};

int sisc_result(const SgFace &face, const SiscBuffer &buf, int ret, scsi_cmnd_io *io, int report)
{
    if (ret == 0) {
        if (io->dxfer_dir == DXFER_FROM_DEVICE && io->dxfer_len > 0)
            (void)memcpy_s(io->dxferp, io->dxfer_len, buf.bytes, io->dxfer_len);
        return 0;
    }
    auto result = static_cast<uint32_t>(ret);
    io->scsi_status = static_cast<uint8_t>(result & 0x7E);
    if (((result >> SISC_DRIVER_SHIFT) & 0x0F) == SG_DRIVER_SENSE)
        io->scsi_status = SCSI_STATUS_CHECK_CONDITION;
    if (io->scsi_status == SCSI_STATUS_CHECK_CONDITION && io->sensep != nullptr && io->max_sense_len > 0) {
        size_t n = io->max_sense_len < SISC_SENSE ? io->max_sense_len : SISC_SENSE;
        (void)memcpy_s(io->sensep, io->max_sense_len, buf.bytes, n);
        io->resp_sense_len = n;
    }
    if (io->scsi_status == SCSI_STATUS_GOOD) {
        if (face.reports && report > 0)
            face.say("  ioctl status=0x%x but scsi status=0, fail with EIO\n", ret);
        return -EIO;
    }
    return 0;
}

} // namespace

int sg_core_send_command(const SgFace &face, int fd, scsi_cmnd_io *io, int report)
{
    if (io == nullptr) {
        face.say("iop is NULL\n");
        return 4;
    }
    if (io->cmnd == nullptr || (io->dxfer_len > 0 && io->dxferp == nullptr)) {
        face.say("iop->cmnd or iop->dxferp is NULL\n");
        return 3;
    }
    if (io->dxfer_len > SISC_MAX_DATA || io->cmnd_len > SISC_MAX_CDB)
        return -EINVAL;
    if (!direction_ok(io->dxfer_dir)) {
        face.say("%s", face.badDir);
        return -EINVAL;
    }
    clear_results(io);
    clear_data_in(io);
    SiscBuffer buf{};
    bool out = io->dxfer_dir == DXFER_TO_DEVICE;
    buf.head.inLength = out ? static_cast<uint32_t>(io->dxfer_len) : 0;
    buf.head.outLength = io->dxfer_dir == DXFER_FROM_DEVICE ? static_cast<uint32_t>(io->dxfer_len) : 0;
    KelvoErr ret = memcpy_s(buf.bytes, sizeof buf.bytes, io->cmnd, io->cmnd_len);
    if (ret == KelvoOk && out && io->dxfer_len > 0)
        ret = memcpy_s(buf.bytes + io->cmnd_len, sizeof buf.bytes - io->cmnd_len, io->dxferp, io->dxfer_len);
    if (ret != KelvoOk) {
        face.say("memcpy_s is err(%d, %d)\n", static_cast<int>(ret), 0);
        return 3;
    }
    int r = host_ioctl(fd, SCSI_IOCTL_SEND_COMMAND_REQUEST, &buf);
    if (r < 0) {
        int err = errno;
        if (face.reports && report > 0)
            face.say("  status=-1, errno=%d [%s]\n", err, std::strerror(err));
        return -err;
    }
    return sisc_result(face, buf, r, io, report);
}

int sg_core_cmnd_io(const SgFace &face, int fd, scsi_cmnd_io *io, int report)
{
    int &state = *face.state;
    switch (state) {
    case SG_STATE_SG_IO:
        return sg_core_sg_io(face, fd, io, report, false);
    case SG_STATE_SEND_COMMAND:
        return sg_core_send_command(face, fd, io, report);
    case SG_STATE_UNTRIED:
        break;
    default:
        face.say("%s%d%s", face.badState, state, face.badStateEnd);
        state = SG_STATE_UNTRIED;
        return -EIO;
    }
    int ret = sg_core_sg_io(face, fd, io, report, true);
    if (ret == 0) {
        state = SG_STATE_SG_IO;
        return 0;
    }
    if (ret == -ENODEV || ret == -EACCES || ret == -EPERM)
        return ret;
    state = SG_STATE_SEND_COMMAND;
    return sg_core_send_command(face, fd, io, report);
}

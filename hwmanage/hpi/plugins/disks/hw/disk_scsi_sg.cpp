#include "hwmanage/hpi/plugins/disks/hw/disk_scsi_sg.h"

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <string_view>

#include "bases/globals/globals.h"
#include "bases/host/host.h"
#include "kelvo/kelvo.h"

int sg_io_state = SG_STATE_UNTRIED;

void scsi_sg_reset() { sg_io_state = SG_STATE_UNTRIED; }

GLOBALS_RESET(disk_scsi_sg)
{
    scsi_sg_reset();
}

void pout(const char *format, ...)
{
    va_list ap;
    va_start(ap, format);
    std::vprintf(format, ap);
    va_end(ap);
    std::fflush(stdout);
}

namespace {

constexpr SgFace kFace = {&sg_io_state, ">>>> do_scsi_cmnd_io: bad sg_io_state=", "\n", "do_scsi_cmnd_io: bad dxfer_dir\n",
                          pout, true};

constexpr size_t kSenseLen = 32;
constexpr size_t kShownMax = 256;

struct OpcodeName {
    uint8_t opcode;
    const char *name;
};

constexpr OpcodeName opcode_name_arr[] = {
    {0x00, "test unit ready"}, {0x03, "request sense"},      {0x12, "inquiry"},
    {0x15, "mode select"},     {0x1A, "mode sense"},         {0x1C, "receive diagnostic"},
    {0x1D, "send diagnostic"}, {0x4D, "log sense"},          {0x55, "mode select(10)"},
    {0x5A, "mode sense(10)"},
};

constexpr const char *kErrTexts[] = {
    "no error", "device not ready", "unsupported scsi opcode", "unsupported field in scsi command",
    "badly formed scsi parameters", "scsi response fails sanity test", "no medium present",
    "device will be ready soon",
};

// ---- reports -------------------------------------------------------------------------------------

void report_before(const scsi_cmnd_io *iop)
{
    const char *name = scsi_get_opcode_name(iop->cmnd[0]);
    pout(" [%s: ", name != nullptr ? name : "<unknown opcode>");
    for (size_t k = 0; k < iop->cmnd_len; ++k)
        pout("%02x ", iop->cmnd[k]);
    if (iop->dxfer_dir != DXFER_TO_DEVICE || iop->dxferp == nullptr) {
        pout("]\n");
        return;
    }
    bool trunc = iop->dxfer_len > kShownMax;
    pout("]\n  Outgoing data, len=%d%s:\n", static_cast<int>(iop->dxfer_len), trunc ? " [only first 256 bytes shown]" : "");
    dStrHex(iop->dxferp, static_cast<int>(trunc ? kShownMax : iop->dxfer_len), 1);
}

void report_data_in(const scsi_cmnd_io *iop)
{
    if (iop->dxfer_dir != DXFER_FROM_DEVICE || iop->dxferp == nullptr)
        return;
    long len = static_cast<long>(iop->dxfer_len) - iop->resid;
    if (len <= 0) {
        pout("  Incoming data trimmed to nothing by resid\n");
        return;
    }
    bool trunc = len > static_cast<long>(kShownMax);
    pout("  Incoming data, len=%d%s:\n", static_cast<int>(len), trunc ? " [only first 256 bytes shown]" : "");
    dStrHex(iop->dxferp, static_cast<int>(trunc ? kShownMax : static_cast<size_t>(len)), 0);
}

void report_status(const scsi_cmnd_io *iop, int report)
{
    if (report > 1 && iop->resp_sense_len > 0) {
        pout("  >>> Sense buffer, len=%d:\n", static_cast<int>(iop->resp_sense_len));
        dStrHex(iop->sensep, static_cast<int>(iop->resp_sense_len), 1);
    }
    sg_scsi_sense_hdr s{};
    SAS1064_scsi_do_sense_disect(iop, &s);
    if (iop->scsi_status == 0)
        pout("  status=0\n");
    else if (s.sense_key == 0 && s.asc == 0)
        pout("  status=0x%x\n", iop->scsi_status);
    else if (s.response_code >= 0x72)
        pout("  status=%x: [desc] sense_key=%x asc=%x ascq=%x\n", iop->scsi_status, s.sense_key, s.asc, s.ascq);
    else
        pout("  status=%x: sense_key=%x asc=%x ascq=%x\n", iop->scsi_status, s.sense_key, s.asc, s.ascq);
}

void report_after(const scsi_cmnd_io *iop, int report)
{
    pout("  scsi_status=0x%x, host_status=0x%x, driver_status=0x%x\n"
         "  info=0x%x  duration=%d milliseconds  resid=%d\n",
         iop->scsi_status, iop->host_status, iop->driver_status, iop->info, static_cast<int>(iop->duration), iop->resid);
    report_data_in(iop);
    report_status(iop, report);
}

// ---- commands -------------------------------------------------------------------------------------

// Sense classification shared by LOG SENSE and the serial query.
int classify(const scsi_cmnd_io &io)
{
    sg_scsi_sense_hdr s{};
    SAS1064_scsi_do_sense_disect(&io, &s);
    if (s.sense_key == 2) {
        if (s.asc == 0x3A)
            return SIMPLE_ERR_NO_MEDIUM;
        if (s.asc == 0x04 && s.ascq == 0x01)
            return SIMPLE_ERR_BECOMING_READY;
        return SIMPLE_ERR_NOT_READY;
    }
    if (s.sense_key == 5) {
        if (s.asc == 0x20)
            return SIMPLE_ERR_BAD_OPCODE;
        if (s.asc == 0x24)
            return SIMPLE_ERR_BAD_FIELD;
        if (s.asc == 0x26)
            return SIMPLE_ERR_BAD_PARAM;
    }
    return SIMPLE_NO_ERROR;
}

// One data-in command; its transport status, else its sense class.
int data_in(int fd, const uint8_t *cdb, size_t cdbLen, uint8_t *buf, size_t len)
{
    uint8_t sense[kSenseLen] = {};
    scsi_cmnd_io io{};
    io.cmnd = cdb;
    io.cmnd_len = cdbLen;
    io.dxfer_dir = DXFER_FROM_DEVICE;
    io.dxferp = buf;
    io.dxfer_len = len;
    io.max_sense_len = sizeof sense;
    io.sensep = sense;
    int ret = do_normal_scsi_cmnd_io(fd, &io, 0);
    return ret != 0 ? ret : classify(io);
}

int log_sense_read(int fd, int pagenum, uint8_t *buf, int len)
{
    uint8_t cdb[10] = {0x4D, 0, static_cast<uint8_t>(0x40 | (pagenum & 0x3F)), 0, 0, 0, 0,
                       static_cast<uint8_t>(len >> 8), static_cast<uint8_t>(len & 0xFF), 0};
    return data_in(fd, cdb, sizeof cdb, buf, static_cast<size_t>(len));
}

uint16_t be16(const uint8_t *p) { return static_cast<uint16_t>((p[0] << 8) | p[1]); }

} // namespace

// ---- transport faces -------------------------------------------------------------------------------------

int scsideviceopen(const char *path, const char *type)
{
    if (path == nullptr || type == nullptr)
        return -1;
    std::string_view t(type);
    if (t == "SCSI") {
        int fd = host_open(path, O_RDWR | O_NONBLOCK);
        return fd >= 0 ? fd : host_open(path, O_RDONLY | O_NONBLOCK);
    }
    if (t == "ATA")
        return host_open(path, O_RDONLY | O_NONBLOCK);
    return -1;
}

int scsideviceclose(int fd) { return host().close(fd); }

int sg_io_cmnd_io(int fd, scsi_cmnd_io *iop, int report, int quiet)
{
    return sg_core_sg_io(kFace, fd, iop, report, quiet != 0);
}

int do_normal_scsi_cmnd_io(int fd, scsi_cmnd_io *iop, int report)
{
    if (report > 0 && iop != nullptr && iop->cmnd != nullptr)
        report_before(iop);
    int ret = sg_core_cmnd_io(kFace, fd, iop, report);
    if (report > 0 && ret == 0)
        report_after(iop, report);
    return ret;
}

void SAS1064_scsi_do_sense_disect(const scsi_cmnd_io *iop, sg_scsi_sense_hdr *sinfo)
{
    if (sinfo == nullptr)
        return;
    *sinfo = {};
    if (iop == nullptr || iop->sensep == nullptr || iop->scsi_status != 2 || iop->resp_sense_len < 8)
        return;
    const uint8_t *s = iop->sensep;
    sinfo->response_code = s[0] & 0x7F;
    if (sinfo->response_code >= 0x72) {  // descriptor format keeps key and codes in bytes 1-3
        sinfo->sense_key = s[1] & 0x0F;
        sinfo->asc = s[2];
        sinfo->ascq = s[3];
        return;
    }
    sinfo->sense_key = s[2] & 0x0F;
    if (iop->resp_sense_len > 13) {
        sinfo->asc = s[12];
        sinfo->ascq = s[13];
    }
}

// ---- queries ----------------------------------------------------------------------------------------

int scsiLogSense(int fd, int pagenum, uint8_t *pBuf, int bufLen, int known_resp_len)
{
    if (pBuf == nullptr || bufLen < 4)
        return -EINVAL;
    if (known_resp_len > bufLen)
        return -EIO;
    int len = known_resp_len;
    if (len == 0) {
        int ret = log_sense_read(fd, pagenum, pBuf, 4);
        if (ret != 0)
            return ret;
        int page = be16(pBuf + 2);
        if (page == 0)
            return SIMPLE_ERR_BAD_RESP;
        len = page + ((page % 2) != 0 ? 5 : 4);
        if (len > bufLen)
            len = bufLen;
    }
    int ret = log_sense_read(fd, pagenum, pBuf, len);
    if (ret != 0)
        return ret;
    if (pagenum != 0 && (pBuf[0] & 0x3F) != pagenum)
        return SIMPLE_ERR_BAD_RESP;
    return be16(pBuf + 2) == 0 ? SIMPLE_ERR_BAD_RESP : 0;
}

int scsiGetTemp(int fd, uint8_t *currenttemp, uint8_t *triptemp)
{
    uint8_t buf[252] = {};
    int ret = scsiLogSense(fd, 0x0D, buf, sizeof buf, 0);
    if (ret != 0) {
        *currenttemp = 0;
        *triptemp = 0;
        pout("Log Sense for temperature failed [%s]\n", scsiErrString(ret));
        return ret;
    }
    *currenttemp = buf[9];
    *triptemp = buf[15];
    return 0;
}

int scsiGetDiskTemp(int disk, uint8_t *currenttemp, uint8_t *triptemp)
{
    if (currenttemp == nullptr || triptemp == nullptr) {
        pout("currenttemp or triptemp is NULL\n");
        return SIMPLE_ERR_BAD_PARAM;
    }
    int fd = -1;
    if (disk == 0) {
        fd = scsideviceopen("/dev/sda1", "SCSI");
        if (fd < 0) {
            pout("cant open the dev/sda1 %d\n", fd);
            return 1;
        }
    } else if (disk == 1) {
        fd = scsideviceopen("/dev/sdb", "SCSI");
        if (fd < 0)
            fd = scsideviceopen("/dev/sdc", "SCSI");
        if (fd < 0) {
            pout("cant open the dev/sdb %d\n", fd);
            return 1;
        }
    } else {
        pout("unkown disk num \n");
        return SIMPLE_ERR_BAD_PARAM;
    }
    int ret = scsiGetTemp(fd, currenttemp, triptemp);
    if (ret != 0)
        pout("cant get the temp of the disk \n");
    scsideviceclose(fd);
    return ret;
}

namespace {

int check_ie_page(int fd, uint8_t *asc, uint8_t *ascq)
{
    uint8_t buf[252] = {};
    int ret = scsiLogSense(fd, 0x2F, buf, sizeof buf, 0);
    if (ret != 0) {
        pout("Log Sense failed, IE page [%s]\n", scsiErrString(ret));
        return ret;
    }
    if (be16(buf + 4) != 0 || be16(buf + 2) >= 0xFFFC) {
        pout("Log Sense failed, IE page, bad parameter code or length\n");
        return SIMPLE_ERR_BAD_PARAM;
    }
    if (buf[7] > 1 && buf[8] != 0) {
        *asc = buf[8];
        *ascq = buf[9];
    }
    return 0;
}

int check_request_sense(int fd, uint8_t *asc, uint8_t *ascq)
{
    uint8_t buf[18] = {};
    const uint8_t cdb[6] = {0x03, 0, 0, 0, sizeof buf, 0};
    int ret = data_in(fd, cdb, sizeof cdb, buf, sizeof buf);
    if (ret != 0) {
        pout("Request Sense failed, [%s]\n", scsiErrString(ret));
        return ret;
    }
    uint8_t code = buf[0] & 0x7F;
    bool fixed = (code == 0x70 || code == 0x71) && buf[7] > 5;
    *asc = fixed ? buf[12] : 0;
    *ascq = fixed ? buf[13] : 0;
    return 0;
}

} // namespace

int scsiCheckIE(int fd, int hasIELogPage, uint8_t *asc, uint8_t *ascq)
{
    if (asc == nullptr || ascq == nullptr)
        return SIMPLE_ERR_BAD_PARAM;
    *asc = 0;
    *ascq = 0;
    return hasIELogPage != 0 ? check_ie_page(fd, asc, ascq) : check_request_sense(fd, asc, ascq);
}

int scsiGetdiskSerial(int fd, char *serial)
{
    if (serial == nullptr)
        return SIMPLE_ERR_BAD_PARAM;
    uint8_t buf[64] = {};
    const uint8_t cdb[6] = {0x12, 0x01, 0x80, 0x00, sizeof buf, 0x00};
    int ret = data_in(fd, cdb, sizeof cdb, buf, sizeof buf);
    if (ret != 0)
        return ret;
    if (buf[1] != 0x80 || buf[2] != 0)
        return SIMPLE_ERR_BAD_RESP;
    size_t len = buf[3];
    if (len > sizeof buf - 4)
        len = sizeof buf - 4;
    if (len > 20)
        len = 20;
    (void)memset_s(serial, SCSI_SERIAL_SIZE, 0, SCSI_SERIAL_SIZE);
    (void)memcpy_s(serial, SCSI_SERIAL_SIZE - 1, buf + 4, len);
    return 0;
}

// ---- text -------------------------------------------------------------------------------------------

void dStrHex(const uint8_t *str, int len, int no_ascii)
{
    if (str == nullptr)
        return;
    for (int off = 0; off < len; off += 16) {
        char line[96];
        (void)memset_s(line, sizeof line, ' ', sizeof line - 1);
        line[sizeof line - 1] = '\0';
        int pos = snprintf_s(line, sizeof line, sizeof line - 1, "%.2x", off);
        pos = pos < 0 ? 0 : pos;
        line[pos] = ' ';
        int k = off;
        for (int n = 0; n < 16 && k < len; ++n, ++k) {
            int col = 4 + n * 3 + (n >= 8 ? 1 : 0);
            (void)snprintf_s(line + col, sizeof line - static_cast<size_t>(col), 2, "%.2x", str[k]);
            line[col + 2] = ' ';
            if (no_ascii == 0)
                line[60 + n] = (str[k] >= 0x20 && str[k] <= 0x7E) ? static_cast<char>(str[k]) : '.';
        }
        int end = no_ascii == 0 ? 60 + (k - off) : 4 + (k - off) * 3 + ((k - off) > 8 ? 1 : 0);
        while (end > 0 && line[end - 1] == ' ')
            --end;
        line[end] = '\0';
        pout("%s\n", line);
    }
}

const char *scsi_get_opcode_name(uint8_t opcode)
{
    for (const OpcodeName &row : opcode_name_arr) {
        if (row.opcode == opcode)
            return row.name;
        if (row.opcode > opcode)
            break;
    }
    return nullptr;
}

const char *scsiErrString(int scsiErr)
{
    if (scsiErr < 0)
        return std::strerror(-scsiErr);
    if (static_cast<size_t>(scsiErr) < std::size(kErrTexts))
        return kErrTexts[scsiErr];
    return "unknown error";
}

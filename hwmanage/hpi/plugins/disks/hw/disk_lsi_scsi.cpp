#include "hwmanage/hpi/plugins/disks/hw/disk_lsi_scsi.h"

#include <algorithm>
#include <cstring>

#include "bases/drv/mpt_drv.h"
#include "hwmanage/hpi/plugins/disks/hw/disk_lsi_raid.h"
#include "kelvo/kelvo.h"

namespace {

constexpr uint32_t kControlRead = 0x02000000;
constexpr uint32_t kControlWrite = 0x01000000;
constexpr uint16_t kIocStatusUnderrun = 0x45;
constexpr uint16_t kIocStatusResidual = 0x49;
constexpr uint32_t kMpi2ReplySize = 80;
constexpr uint32_t kMpi2SenseBytes = 32;
constexpr uint8_t kSenseBytes = LSI_SCSI_REPLY_SIZE - LSI_SCSI_SENSE_OFFSET;

uint64_t be(const uint8_t *p, size_t n)
{
    uint64_t v = 0;
    for (size_t i = 0; i < n; i++)
        v = v << 8 | p[i];
    return v;
}

template <typename T> T le(const uint8_t *p)
{
    T v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

// Caller's view of an MPI 2 reply: its first 36 bytes, then its sense data.
void fold_mpi2_reply(const uint8_t *from, uint8_t *to, uint32_t toSize)
{
    std::memcpy(to, from, LSI_SCSI_SENSE_OFFSET);
    uint32_t room = std::min(toSize - LSI_SCSI_SENSE_OFFSET, kMpi2SenseBytes);
    std::memcpy(to + LSI_SCSI_SENSE_OFFSET, from + MPI2_SCSI_REPLY_SIZE, room);
}

MpiScsiIoRequest2 mpi2_request(const uint8_t *request, uint32_t length)
{
    MpiScsiIoRequest1 r1;
    std::memset(&r1, 0, sizeof r1);
    std::memcpy(&r1, request, std::min<size_t>(length, sizeof r1));
    MpiScsiIoRequest2 r2;
    std::memset(&r2, 0, sizeof r2);
    r2.devHandle = le<uint16_t>(request);
    r2.function = r1.function;
    r2.dataLength = r1.dataLength;
    r2.ioFlags = r1.cdbLength;
    r2.sglOffset0 = 24;
    std::memcpy(r2.lun, r1.lun, sizeof r2.lun);
    r2.control = r1.control;
    std::memcpy(r2.cdb, r1.cdb, sizeof r1.cdb);
    return r2;
}

// The return rules: IOCStatus 0 with GOOD, or a short read, is success.
int judge(const uint8_t *reply)
{
    uint16_t ioc = le<uint16_t>(reply + 14) & MPI_IOCSTATUS_MASK;
    uint8_t scsi = reply[MPI_SCSI_STATUS_OFFSET];
    uint32_t transfer = le<uint32_t>(reply + 20);
    if ((ioc == kIocStatusUnderrun || ioc == kIocStatusResidual) && scsi == 0 && transfer != 0)
        return 0;
    return static_cast<int>(uint32_t{scsi} << 16 | ioc);
}

struct Cdb {
    uint8_t bytes[16];
    uint8_t length;
};

int scsi_command(MpiController *c, const LsiDiskAddr &a, const Cdb &cdb, uint32_t control, void *in,
                 uint32_t inLength, const void *out, uint32_t outLength)
{
    uint8_t area[LSI_SCSI_REQUEST_AREA];
    uint8_t reply[LSI_SCSI_REPLY_SIZE];
    int ret = memset_s(area, sizeof area, 0, sizeof area);
    if (ret != 0)
        LSI_PRINT("memset_s err ret = %d.\n", ret);
    ret = memset_s(reply, sizeof reply, 0, sizeof reply);
    if (ret != 0)
        LSI_PRINT("memset_s err ret = %d.\n", ret);
    MpiScsiIoRequest1 req;
    std::memset(&req, 0, sizeof req);
    if (c != nullptr && c->mpiVersion >= MPI_VERSION_2) {
        req.targetId = static_cast<uint8_t>(a.handle);
        req.bus = static_cast<uint8_t>(a.handle >> 8);
    } else {
        req.targetId = a.target;
        req.bus = a.bus;
    }
    req.function = a.raidMember ? MPI_FUNCTION_RAID_SCSI_IO_PASSTHROUGH : MPI_FUNCTION_SCSI_IO;
    req.cdbLength = cdb.length;
    req.senseBufferLength = kSenseBytes;
    req.lun[1] = a.lun;
    req.control = control;
    std::memcpy(req.cdb, cdb.bytes, sizeof req.cdb);
    req.dataLength = control == kControlRead ? inLength : control == kControlWrite ? outLength : 0;
    std::memcpy(area, &req, sizeof req);
    return doScsiIo(c, area, sizeof req, reply, sizeof reply, control == kControlRead ? in : nullptr,
                    control == kControlRead ? inLength : 0, control == kControlWrite ? out : nullptr,
                    control == kControlWrite ? outLength : 0, LSI_SCSI_TIMEOUT);
}

int read_cmd(MpiController *c, const LsiDiskAddr &a, const Cdb &cdb, uint8_t *buffer, uint32_t length)
{
    if (buffer == nullptr && length != 0)
        return LSI_ERR_NULL;
    return scsi_command(c, a, cdb, kControlRead, buffer, length, nullptr, 0);
}

uint8_t hi(uint32_t v) { return static_cast<uint8_t>(v >> 8); }
uint8_t lo(uint32_t v) { return static_cast<uint8_t>(v); }

// Log parameters {code (2), control, length, value} from byte 4 up to the
// page length (bytes 2-3), capped at the buffer. A parameter whose value
// runs past the bound ends the walk unread.
struct LogParam {
    uint16_t code;
    uint8_t length;
    const uint8_t *value;
};

template <typename F> void walk_params(const uint8_t *page, size_t length, F &&take)
{
    if (page == nullptr || length < 4)
        return;
    size_t end = 4 + std::min<size_t>(be(page + 2, 2), length - 4);
    for (size_t at = 4; at + 4 <= end;) {
        LogParam p{static_cast<uint16_t>(be(page + at, 2)), page[at + 3], page + at + 4};
        if (at + 4 + p.length > end || !take(p))
            return;
        at += 4 + size_t{p.length};
    }
}

// A big-endian value of up to 8 bytes; a longer one keeps its last 8.
uint64_t param_value(const LogParam &p)
{
    size_t n = std::min<size_t>(p.length, 8);
    return be(p.value + (p.length - n), n);
}

bool args_sound(const MpiController *c, const PhyDiskInfo *e) { return c != nullptr && e != nullptr; }

} // namespace

// ---- transport --------------------------------------------------------------------------------------

int doScsiIo(MpiController *c, const void *request, uint32_t requestLength, void *reply, uint32_t replySize,
             void *dataIn, uint32_t inSize, const void *dataOut, uint32_t outSize, uint32_t timeout)
{
    if (c == nullptr || request == nullptr || reply == nullptr || replySize < LSI_SCSI_SENSE_OFFSET ||
        requestLength < 4)
        return LSI_ERR_NULL;
    const auto *req = static_cast<const uint8_t *>(request);
    if (req[3] != MPI_FUNCTION_SCSI_IO && req[3] != MPI_FUNCTION_RAID_SCSI_IO_PASSTHROUGH)
        return LSI_ERR_UNSUPPORTED;
    auto *out = static_cast<uint8_t *>(reply);
    int ret;
    if (c->mpiVersion < MPI_VERSION_2) {
        ret = doMptCommand(c, request, requestLength, reply, replySize, dataIn, inSize, dataOut, outSize, timeout);
    } else {
        MpiScsiIoRequest2 r2 = mpi2_request(req, requestLength);
        uint8_t reply2[kMpi2ReplySize] = {};
        ret = doMptCommand(c, &r2, sizeof r2, reply2, sizeof reply2, dataIn, inSize, dataOut, outSize, timeout);
        if (ret == 0)
            fold_mpi2_reply(reply2, out, replySize);
    }
    return ret != 0 ? ret : judge(out);
}

// ---- command builders -------------------------------------------------------------------------------

int doInquiryPage(MpiController *c, const LsiDiskAddr &a, uint8_t *buffer, uint32_t length)
{
    return read_cmd(c, a, {{0x12, 0, 0, hi(length), lo(length), 0}, 6}, buffer, length);
}

int doInquiryVpdPage(MpiController *c, const LsiDiskAddr &a, uint8_t page, uint8_t *buffer, uint32_t length)
{
    return read_cmd(c, a, {{0x12, 0x01, page, hi(length), lo(length), 0}, 6}, buffer, length);
}

int doReadCapacityPage(MpiController *c, const LsiDiskAddr &a, uint8_t *buffer, uint32_t length)
{
    return read_cmd(c, a, {{0x25}, 10}, buffer, length);
}

int doReadCapacity16Page(MpiController *c, const LsiDiskAddr &a, uint8_t *buffer, uint32_t length)
{
    Cdb cdb{{0x9E, 0x10}, 16};
    cdb.bytes[10] = static_cast<uint8_t>(length >> 24);
    cdb.bytes[11] = static_cast<uint8_t>(length >> 16);
    cdb.bytes[12] = hi(length);
    cdb.bytes[13] = lo(length);
    return read_cmd(c, a, cdb, buffer, length);
}

int doLogSensePage(MpiController *c, const LsiDiskAddr &a, uint8_t page, uint8_t subpage, uint8_t *buffer,
                   uint32_t length)
{
    Cdb cdb{{0x4D, 0, static_cast<uint8_t>(0x40 | page), subpage, 0, 0, 0, hi(length), lo(length), 0}, 10};
    return read_cmd(c, a, cdb, buffer, length);
}

int doReadDefectListPage(MpiController *c, const LsiDiskAddr &a, uint8_t *buffer, uint32_t length)
{
    return read_cmd(c, a, {{0x37, 0, 0x0C, 0, 0, 0, 0, hi(length), lo(length), 0}, 10}, buffer, length);
}

int doRequestSensePage(MpiController *c, const LsiDiskAddr &a, uint8_t *buffer, uint32_t length)
{
    return read_cmd(c, a, {{0x03, 0, 0, 0, lo(length), 0}, 6}, buffer, length);
}

int doModeSensePage(MpiController *c, const LsiDiskAddr &a, uint8_t page, uint8_t subpage, uint8_t *buffer,
                    uint32_t length)
{
    Cdb cdb{{0x1A, 0, static_cast<uint8_t>(page & 0x3F), subpage, lo(length), 0}, 6};
    return read_cmd(c, a, cdb, buffer, length);
}

int doModeSelectPage(MpiController *c, const LsiDiskAddr &a, uint8_t save, const uint8_t *buffer, uint32_t length)
{
    if (buffer == nullptr && length != 0)
        return LSI_ERR_NULL;
    Cdb cdb{{0x15, static_cast<uint8_t>(0x10 | (save & 1)), 0, 0, lo(length), 0}, 6};
    return scsi_command(c, a, cdb, kControlWrite, nullptr, 0, buffer, length);
}

int doStartStopUnitCmd(MpiController *c, const LsiDiskAddr &a, uint8_t start)
{
    return scsi_command(c, a, {{0x1B, 0x01, 0, 0, static_cast<uint8_t>(start & 1), 0}, 6}, 0, nullptr, 0,
                        nullptr, 0);
}

int doScsiSelfTest(MpiController *c, const LsiDiskAddr &a, uint8_t code)
{
    uint8_t byte1 = code == 0xFF ? 0x04 : code == 0 ? 0x10 : static_cast<uint8_t>((code & 7) << 5);
    return scsi_command(c, a, {{0x1D, byte1}, 10}, kControlRead, nullptr, 0, nullptr, 0);
}

// ---- queries ------------------------------------------------------------------------------------------

LsiDiskAddr lsi_disk_addr(const PhyDiskInfo &e) { return {e.bus, e.target, e.handle, 0, e.raidMember != 0}; }

int checkLogPagesIsSupported(MpiController *c, const PhyDiskInfo *e, uint8_t page)
{
    if (!args_sound(c, e))
        return 0;
    uint8_t buf[32] = {};
    if (doLogSensePage(c, lsi_disk_addr(*e), 0, 0, buf, sizeof buf) != 0)
        return 0;
    size_t n = std::min<size_t>({be(buf + 2, 2), 28, sizeof buf - 4});
    return std::find(buf + 4, buf + 4 + n, page) != buf + 4 + n ? 1 : 0;
}

int getDiskTemperature(MpiController *c, PhyDiskInfo *e)
{
    if (!args_sound(c, e))
        return LSI_ERR_NULL;
    if (checkLogPagesIsSupported(c, e, 0x0D) == 0)
        return 0;
    uint8_t buf[32] = {};
    int ret = doLogSensePage(c, lsi_disk_addr(*e), 0x0D, 0, buf, sizeof buf);
    if (ret == 0 && buf[9] != 255)
        e->temperature = buf[9];
    return ret;
}

namespace {
using HoursParser = void (*)(const uint8_t *, size_t, uint64_t *);

int life_span(MpiController *c, PhyDiskInfo *e, uint8_t page, HoursParser parse)
{
    if (!args_sound(c, e))
        return LSI_ERR_NULL;
    if (checkLogPagesIsSupported(c, e, page) == 0)
        return 0;
    uint8_t buf[256] = {};
    int ret = doLogSensePage(c, lsi_disk_addr(*e), page, 0, buf, sizeof buf);
    if (ret == 0)
        parse(buf, sizeof buf, &e->powerOnHours);
    return ret;
}
} // namespace

int getDiskLifeSpan_log(MpiController *c, PhyDiskInfo *e) { return life_span(c, e, 0x15, parsePowerUpHoursPage_log); }
int getDiskLifeSpan(MpiController *c, PhyDiskInfo *e) { return life_span(c, e, 0x3E, parsePowerUpHoursPage); }

int getDiskErrorCounter(MpiController *c, const PhyDiskInfo *e, uint8_t page, LsiErrCounters *out)
{
    if (!args_sound(c, e) || out == nullptr)
        return LSI_ERR_NULL;
    if (page != 2 && page != 3 && page != 5)
        return LSI_ERR_UNSUPPORTED;
    if (checkLogPagesIsSupported(c, e, page) == 0)
        return 0;
    uint8_t buf[256] = {};
    int ret = doLogSensePage(c, lsi_disk_addr(*e), page, 0, buf, sizeof buf);
    if (ret == 0)
        parseErrCounterPage(buf, sizeof buf, out);
    return ret;
}

int getDiskGlist(MpiController *c, PhyDiskInfo *e)
{
    if (!args_sound(c, e))
        return LSI_ERR_NULL;
    uint8_t buf[32] = {};
    int ret = doReadDefectListPage(c, lsi_disk_addr(*e), buf, sizeof buf);
    if (ret == 0 && ((buf[1] >> 3) & 3) == 1)
        e->glist = static_cast<uint16_t>(be(buf + 2, 2) / 8);
    return ret;
}

int getDiskSmartStatus(MpiController *c, PhyDiskInfo *e)
{
    if (!args_sound(c, e))
        return LSI_ERR_NULL;
    int ret = 0;
    if (checkLogPagesIsSupported(c, e, 0x2F) != 0) {
        uint8_t buf[256] = {};
        ret = doLogSensePage(c, lsi_disk_addr(*e), 0x2F, 0, buf, sizeof buf);
        if (ret == 0)
            parseInformationalExceptionsPage(buf, sizeof buf, &e->smartAsc, &e->smartAscq);
    }
    if (ret != 0 || e->smartAsc != 0)
        return ret;
    uint8_t sense[32] = {};
    ret = doRequestSensePage(c, lsi_disk_addr(*e), sense, sizeof sense);
    uint8_t code = sense[0] & 0x7F;
    if (ret == 0 && (code == 0x70 || code == 0x71) && sense[7] > 5) {
        e->smartKey = sense[2] & 0x0F;
        e->smartAsc = sense[12];
        e->smartAscq = sense[13];
    }
    return ret;
}

int getDiskPreScanStatus(MpiController *c, PhyDiskInfo *e)
{
    if (!args_sound(c, e))
        return LSI_ERR_NULL;
    uint8_t buf[32] = {};
    e->preScan = 255;
    int ret = doModeSensePage(c, lsi_disk_addr(*e), 0x1C, 0x01, buf, sizeof buf);
    if (ret == 0)
        parseBackGroundControlModePage(buf, sizeof buf, &e->preScan);
    return ret;
}

int setDiskPreScanStatus(MpiController *c, PhyDiskInfo *e, uint8_t enable)
{
    if (!args_sound(c, e))
        return LSI_ERR_NULL;
    uint8_t buf[32] = {};
    uint8_t state = 255, save = 0;
    int ret = doModeSensePage(c, lsi_disk_addr(*e), 0x1C, 0x01, buf, sizeof buf);
    if (ret != 0)
        return ret;
    parseBackGroundControlModePage(buf, sizeof buf, &state);
    if (state == 255)
        return LSI_ERR_TEXT;
    if (state == enable)
        return 0;
    if (initBackGroundControlModePage(buf, sizeof buf, enable, &save) != 0)
        return LSI_ERR_MODE_PAGE;
    return doModeSelectPage(c, lsi_disk_addr(*e), save, buf, sizeof buf);
}

int getDiskstartstoppage(MpiController *c, const PhyDiskInfo *e, LsiStartStop *out)
{
    if (!args_sound(c, e) || out == nullptr)
        return LSI_ERR_NULL;
    if (checkLogPagesIsSupported(c, e, 0x0E) == 0)
        return LSI_ERR_NO_LOG_PAGE;
    uint8_t buf[256] = {};
    int ret = doLogSensePage(c, lsi_disk_addr(*e), 0x0E, 0, buf, sizeof buf);
    return ret != 0 ? ret : parsestartstoppage(buf, sizeof buf, out);
}

// ---- page parsers ----------------------------------------------------------------------------------------

void parseErrCounterPage(const uint8_t *page, size_t length, LsiErrCounters *out)
{
    if (out == nullptr)
        return;
    walk_params(page, length, [out](const LogParam &p) {
        size_t slot = std::min<size_t>(p.code, 7);
        out->present[slot] = 1;
        out->counter[slot] = param_value(p);
        return true;
    });
}

void parsePowerUpHoursPage(const uint8_t *page, size_t length, uint64_t *hours)
{
    if (hours == nullptr)
        return;
    walk_params(page, length, [hours](const LogParam &p) {
        if (p.code != 0)
            return true;
        *hours = param_value(p) / 60;
        return false;
    });
}

void parsePowerUpHoursPage_log(const uint8_t *page, size_t length, uint64_t *hours)
{
    if (hours == nullptr)
        return;
    walk_params(page, length, [hours](const LogParam &p) {
        if (p.code != 0)
            return true;
        if (p.length >= 4)
            *hours = be(p.value, 4) / 60;
        return false;
    });
}

void parseInformationalExceptionsPage(const uint8_t *page, size_t length, uint8_t *asc, uint8_t *ascq)
{
    if (asc == nullptr || ascq == nullptr)
        return;
    walk_params(page, length, [asc, ascq](const LogParam &p) {
        if (p.code != 0 || p.length <= 1)
            return true;
        *asc = p.value[0];
        *ascq = p.value[1];
        return false;
    });
}

void parseBackGroundControlModePage(const uint8_t *buffer, size_t length, uint8_t *state)
{
    if (buffer == nullptr || state == nullptr || length < 4)
        return;
    size_t at = 4 + size_t{buffer[3]};
    if (at + 6 <= length && (buffer[at] & 0x3F) == 0x1C)
        *state = buffer[at + 5] & 1;
}

int initBackGroundControlModePage(uint8_t *buffer, size_t length, uint8_t enable, uint8_t *save)
{
    if (buffer == nullptr || save == nullptr || length < 4)
        return LSI_ERR_NULL;
    size_t at = 4 + size_t{buffer[3]};
    if (at >= length)
        return LSI_ERR_TEXT;
    if ((buffer[at] & 0x3F) != 0x1C)
        return LSI_ERR_UNSUPPORTED;
    *save = static_cast<uint8_t>(buffer[at] >> 7);
    buffer[at] &= 0x7F;
    if (length - at < 6)
        return LSI_ERR_TEXT;
    buffer[at + 5] = static_cast<uint8_t>(enable != 0 ? buffer[at + 5] | 1 : buffer[at + 5] & ~1);
    return 0;
}

namespace {
void date_of(const LogParam &p, char (&year)[5], char (&week)[3])
{
    if (p.length != 6)
        return;
    std::memcpy(year, p.value, 4);
    year[4] = '\0';
    std::memcpy(week, p.value + 4, 2);
    week[2] = '\0';
}
} // namespace

int parsestartstoppage(const uint8_t *page, size_t length, LsiStartStop *out)
{
    if (page == nullptr || out == nullptr || length < 4)
        return LSI_ERR_NULL;
    size_t end = 4 + std::min<size_t>(be(page + 2, 2), length - 4), used = 4;
    walk_params(page, length, [out, &used](const LogParam &p) {
        used += 4 + size_t{p.length};
        if (p.code == 1)
            date_of(p, out->manufactureYear, out->manufactureWeek);
        else if (p.code == 2)
            date_of(p, out->accountingYear, out->accountingWeek);
        else if (p.code >= 3 && p.code <= 6 && p.length >= 4) {
            uint32_t v = static_cast<uint32_t>(be(p.value, 4));
            out->values[p.code - 3] = v == 0xFFFFFFFF ? 0 : v;
            out->lengths[p.code - 3] = p.length;
        }
        return true;
    });
    size_t rest = end - std::min(used, end);
    return rest == 1 || rest == 2 ? LSI_ERR_NULL : 0;
}

int parse_selftestresult(const uint8_t *page, size_t length, uint32_t index, LsiSelfTestResult *out)
{
    size_t at = 4 + size_t{index} * 20;
    if (page == nullptr || out == nullptr || index >= 20 || at + 20 > length)
        return LSI_ERR_NULL;
    const uint8_t *p = page + at;
    out->parameterCode = static_cast<uint16_t>(be(p, 2));
    out->code = static_cast<uint8_t>(p[4] >> 5);
    out->result = p[4] & 0x0F;
    out->number = p[5];
    out->powerOnHours = static_cast<uint16_t>(be(p + 6, 2));
    out->failureLba = be(p + 8, 8);
    out->senseKey = p[16] & 0x0F;
    out->asc = p[17];
    out->ascq = p[18];
    return 0;
}

int get_selfTest_result(const LsiSelfTestResult *result)
{
    if (result == nullptr) {
        LSI_PRINT("the param is null\n");
        return 1;
    }
    if (result->result == 15)
        return 2;
    return result->result >= 3 && result->result <= 7 ? 1 : 0;
}

uint32_t disk_xtoi(const char *text)
{
    if (text == nullptr)
        return 0;
    while (*text == ' ' || *text == '\t')
        text++;
    uint32_t v = 0;
    for (; *text != '\0'; text++) {
        char ch = *text;
        int d = ch >= '0' && ch <= '9' ? ch - '0' : ch >= 'a' && ch <= 'f' ? ch - 'a' + 10
              : ch >= 'A' && ch <= 'F' ? ch - 'A' + 10 : -1;
        if (d < 0)
            break;
        v = v << 4 | static_cast<uint32_t>(d);
    }
    return v;
}

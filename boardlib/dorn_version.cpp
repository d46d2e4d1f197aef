// DORN versions, pass-throughs, files, log collection and snapshots.
#include "bases/host/host.h"
#include "boardlib/dorn_version.h"

#include <fcntl.h>

#include <cerrno>
#include <memory>

#include "boardlib/dorn_reg.h"
#include "boardlib/plov_check.h"
#include "kelvo/kelvo.h"

const char *const g_DornShotSource[2][DORN_SHOT_KINDS] = {
    {"/proc/trans/trans_cfg", "/proc/trans/trans_status", "/proc/trans/trans_statis", "/proc/trans/trans_warn",
     "/proc/trans/trans_indreg"},
    {"/proc/trans/sbuf_cfg", "/proc/trans/sbuf_status", "/proc/trans/sbuf_statis", "/proc/trans/sbuf_warn",
     "/proc/trans/sbuf_indreg"},
};

namespace {

constexpr uint64_t kVersionReg = 0x1;
constexpr size_t kLogBuf = 0x200000;
constexpr size_t kShotBuf = 0x80000;
constexpr off_t kShotRotate = 0x100000;
constexpr size_t kTimeText = 64;

// One request with the caller's record, refused unlogged when null.
PlovStatus pass_through(FpgaId fpga, unsigned long nr, void *rec)
{
    if (rec == nullptr)
        return PLOV_ERR_NULL_PTR;
    return DORN_REQUEST(fpga, nr, rec);
}

// The time text, behind `head`.
PlovStatus time_text(const char *head, char text[kTimeText])
{
    time_t now = host().time(nullptr);
    char buf[32] = {};
    if (ctime_r(&now, buf) == nullptr)
        return PLOV_ERR_NULL_PTR;
    int n = snprintf_s(text, kTimeText, kTimeText - 1, "%s%s", head, buf);
    if (n < 0)
        TRANS_LOG_ERR("snprintf_s timep fail! error = %d", n);
    return PLOV_OK;
}

// Only a directory already there (or a link to one) lets a failed mkdir
// pass; anything else of that name is the step's failure.
PlovStatus make_zvt_dir()
{
    if (host().mkdir(DORN_ZVT_DIR, 0775) == 0)
        return PLOV_OK;
    const int err = errno;
    struct stat st {};
    if (err == EEXIST && host().stat(DORN_ZVT_DIR, &st) == 0 && S_ISDIR(st.st_mode))
        return PLOV_OK;
    TRANS_LOG_ERR("mkdir fail! iRet = %d, error = %d", -1, err);
    return DORN_ERR_MKDIR;
}

size_t text_len(const char *t)
{
    size_t n = 0;
    while (t[n] != '\0')
        n++;
    return n;
}

PlovStatus write_text(const char *path, const char *text, const char *mode)
{
    return TRANS_FileWrite(path, reinterpret_cast<const uint8_t *>(text), static_cast<int32_t>(text_len(text)), mode);
}

// Append up to `size` bytes of `source` to `dest`.
PlovStatus copy_file(const char *source, const char *dest, size_t size)
{
    std::unique_ptr<uint8_t[]> buf(new (std::nothrow) uint8_t[size]);
    if (!buf)
        return DORN_ERR_ALLOC;
    uint32_t length = 0;
    PlovStatus ret = TRANS_FileRead(source, buf.get(), size, &length, O_RDONLY);
    if (ret != PLOV_OK)
        return ret;
    return TRANS_FileWrite(dest, buf.get(), static_cast<int32_t>(length), "a+");
}

// Start a snapshot file with the time line when there is none, or a fresh
// one after moving a file above the limit aside.
PlovStatus prepare_shot_file(const char *timeLine)
{
    struct stat st {};
    if (host().lstat(DORN_SHOT_FILE, &st) != 0) {
        (void)write_text(DORN_SHOT_FILE, timeLine, "w+");
        if (host().lstat(DORN_SHOT_FILE, &st) != 0)
            return PLOV_ERR_OPEN;
    }
    if (st.st_size > kShotRotate) {
        if (host().rename(DORN_SHOT_FILE, DORN_SHOT_PREV_FILE) != 0) {
            TRANS_LOG_ERR("rename fail! iRet = %d, error = %d", -1, errno);
            return DORN_ERR_FILE_IO;
        }
        return write_text(DORN_SHOT_FILE, timeLine, "w+");
    }
    return PLOV_OK;
}

}  // namespace

PlovStatus DornTransVersion()
{
    TRANS_LOG_INFO("Plov transapp version %s!\n", DORN_LIB_VERSION);
    return PLOV_OK;
}

PlovStatus DornLibVer115001() { return PLOV_OK; }

PlovStatus DornTransGetFpgaVer(FpgaId fpga, uint64_t *version)
{
    if (version == nullptr)
        return PLOV_ERR_NULL_PTR;
    if (fpga > DORN_FPGA_SBUF)
        return PLOV_ERR_FPGA_ID;
    return DornGetRegData(fpga, kVersionReg, version);
}

PlovStatus DornTransGetFwRunVer(FpgaId fpga, uint32_t *version)
{
    if (version == nullptr)
        return TRANS_NULL_POINTER();
    uint64_t v = 0;
    PlovStatus ret = DornGetRegData(fpga, kVersionReg, &v);
    if (ret == PLOV_OK)
        *version = static_cast<uint32_t>(((v >> 4) & 0xF) * 100 + (v & 0xF));
    return ret;
}

PlovStatus DornTransGetDrvVer(FpgaId fpga, char *text)
{
    if (fpga > DORN_FPGA_SBUF)
        return PLOV_ERR_FPGA_ID;
    if (text == nullptr)
        return PLOV_ERR_NULL_PTR;
    return DORN_REQUEST(fpga, PLOV_IOC_GET_DRV_VER, text, {DornJudge::NonZeroKept});
}

PlovStatus TransGetDrvInfo(FpgaId fpga, DrvInfo *info) { return pass_through(fpga, PLOV_IOC_GET_DRV_INFO, info); }
PlovStatus TransGetPortStaticMac(FpgaId fpga, PortStaticMacReq *req) { return pass_through(fpga, PLOV_IOC_GET_PORT_STATIC_MAC, req); }
PlovStatus TransGetRegs(FpgaId fpga, RegSpaceReq *req) { return pass_through(fpga, PLOV_IOC_GET_REGS, req); }

PlovStatus TRANS_FileRead(const char *path, uint8_t *buffer, uint64_t size, uint32_t *length, int flags)
{
    if (path == nullptr || buffer == nullptr || length == nullptr)
        return PLOV_ERR_NULL_PTR;
    int fd = host_open(path, flags);
    if (fd < 0)
        return PLOV_ERR_OPEN;
    uint64_t total = 0;
    PlovStatus ret = PLOV_OK;
    while (total < size) {   // a procfs file answers a page per read
        ssize_t got = host().read(fd, buffer + total, static_cast<size_t>(size - total));
        if (got < 0)
            ret = DORN_ERR_FILE_IO;
        if (got <= 0)
            break;
        total += static_cast<uint64_t>(got);
    }
    host().close(fd);
    if (ret == PLOV_OK)
        *length = static_cast<uint32_t>(total);
    return ret;
}

PlovStatus TRANS_FileWrite(const char *path, const uint8_t *buffer, int32_t length, const char *mode)
{
    if (path == nullptr || buffer == nullptr || mode == nullptr)
        return PLOV_ERR_NULL_PTR;
    if (length <= 0)
        return PLOV_OK;
    FILE *f = host().fopen(path, mode);
    if (f == nullptr)
        return PLOV_ERR_OPEN;
    const size_t items = fwrite(buffer, static_cast<size_t>(length), 1, f);
    const int closed = fclose(f);
    return items == 1 && closed == 0 ? PLOV_OK : DORN_ERR_FILE_IO;
}

PlovStatus TRANS_CollectLog()
{
    char text[kTimeText] = {};
    PlovStatus ret = time_text("", text);
    if (ret != PLOV_OK)
        return ret;
    ret = make_zvt_dir();
    if (ret == PLOV_OK)
        ret = write_text(DORN_LOG_COPY_FILE, text, "w+");
    if (ret == PLOV_OK)
        ret = copy_file(DORN_DRV_LOG, DORN_LOG_COPY_FILE, kLogBuf);
    return ret;
}

PlovStatus TRANS_Shot(FpgaId fpga, int32_t kind)
{
    if (fpga > DORN_FPGA_SBUF)
        return PLOV_ERR_FPGA_ID;
    if (kind < 0 || kind >= static_cast<int32_t>(DORN_SHOT_KINDS))
        return PLOV_ERR_PARAM;
    char line[kTimeText] = {};
    if (time_text("time: ", line) != PLOV_OK) {
        TRANS_LOG_ERR("call ctime fail!");
        return PLOV_ERR_NULL_PTR;
    }
    PlovStatus ret = make_zvt_dir();
    if (ret == PLOV_OK)
        ret = prepare_shot_file(line);
    if (ret == PLOV_OK && kind == 0)
        ret = write_text(DORN_SHOT_FILE, line, "a+");
    if (ret == PLOV_OK)
        ret = copy_file(g_DornShotSource[fpga][kind], DORN_SHOT_FILE, kShotBuf);
    return ret;
}

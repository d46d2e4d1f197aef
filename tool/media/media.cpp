#include "tool/media/media.h"

#include <cstdio>
#include <cstring>
#include <memory>
#include <new>

#include <fcntl.h>
#include <sys/stat.h>

#include "bases/globals/globals.h"
#include "bases/host/host.h"
#include "boardlib/media_bin.h"
#include "boardlib/media_intf.h"
#include "kelvo/kelvo.h"
#include "tool/trans/trans_cmd.h"

#define MEDIA_SITE CmdSite{__func__, __FILE__, static_cast<unsigned>(__LINE__)}

char Filename[MEDIA_NAME_LEN];
MediaLoadInfo gLoadInfo[MEDIA_SUBRD_NUM][MEDIA_DSP_NUM];
pthread_t gthread[MEDIA_SUBRD_NUM][MEDIA_DSP_NUM];
int32_t gthread_error[MEDIA_SUBRD_NUM][MEDIA_DSP_NUM];
uint64_t cnt[MEDIA_SUBRD_NUM][MEDIA_DSP_NUM];

GLOBALS_RESET(media_load)
{
    std::memset(Filename, 0, sizeof Filename);
    for (uint32_t s = 0; s < MEDIA_SUBRD_NUM; s++) {
        for (uint32_t d = 0; d < MEDIA_DSP_NUM; d++) {
            MediaLoadInfo &info = gLoadInfo[s][d];
            info.sub = info.dsp = 0;
            info.image = nullptr;
            info.length = info.loadType = info.repeat = 0;
            info.status.store(0);
            gthread[s][d] = pthread_t{};
            gthread_error[s][d] = 0;
            cnt[s][d] = 0;
        }
    }
}

namespace {

constexpr uint32_t kAllDsps = 255;
constexpr int32_t kNullArg = -1201;
constexpr int32_t kStatFail = -1204;
constexpr int32_t kNoMemory = -1209;
constexpr int32_t kTooLarge = -1212;
constexpr int32_t kIoFail = -1218;
constexpr int32_t kOpenFail = -1221;
constexpr uint32_t kMaxRepeat = 0x7FFFFFFF;
constexpr unsigned kRepeatPauseS = 4;
constexpr uint64_t kLoadWaitS = 20;
constexpr uint64_t kRepeatWaitS = 40;

int d(uint32_t v) { return static_cast<int>(v); }

// A descriptor closed when its scope ends, also when a thread is ended at
// a wait.
struct FileGuard {
    int fd;
    ~FileGuard() { close(); }
    void close()
    {
        if (fd >= 0)
            host().close(fd);
        fd = -1;
    }
};

// The image buffer, shared by a command and its load threads.
using MediaImage = std::shared_ptr<uint8_t[]>;

MediaImage image_alloc() { return MediaImage(new (std::nothrow) uint8_t[MEDIA_IMAGE_BUF]); }

void put_le16(uint8_t *p, uint16_t v)
{
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
}

void put_le32(uint8_t *p, uint32_t v)
{
    for (int i = 0; i < 4; i++)
        p[i] = static_cast<uint8_t>(v >> (8 * i));
}

int32_t read_failed(int32_t ret, const CmdSite &site)
{
    trans_failed();
    std::printf("Function dsp_image_read exe error, iRet = %d [%s] %s:%u\n", ret, site.name, site.file, site.line);
    return ret;
}

void load_failed_line(uint32_t sub, uint32_t dsp, int32_t length, int32_t ret)
{
    trans_failed();
    std::printf("Function PLOV_MediaLoadDspPrg subboard%d dsp%d file len0x%x exe error, iRet = %d\n", d(sub), d(dsp),
                static_cast<unsigned>(length), ret);
}

int32_t load_init(const CmdSite &site)
{
    PlovStatus ret = PLOV_MediaLoadInit();
    if (ret != 0) {
        trans_failed();
        std::printf("Function PLOV_MediaLoadInit exe error, iRet = %d [%s] %s:%u\n", ret, site.name, site.file,
                    site.line);
    }
    return ret;
}

} // namespace

// ---- image files ----------------------------------------------------------------------------------

int32_t dsp_image_read(const char *name, uint8_t *buf, uint32_t bufSize, int32_t *length)
{
    if (name == nullptr || buf == nullptr || length == nullptr || bufSize == 0) {
        std::printf("Input parameter data err, pointer data is NULL\n");
        return kNullArg;
    }
    std::printf("Begin to read %s\n\n", name);
    FileGuard file{host().open(name, O_RDONLY, 0)};
    if (file.fd < 0) {
        std::printf("Open %s failed\n\n", name);
        return kOpenFail;
    }
    std::printf("File_fd is %d\n\n", file.fd);
    struct stat st {};
    if (host().fstat(file.fd, &st) != 0) {
        std::printf("stat of file %d %s failed\n\n", file.fd, name);
        return kStatFail;
    }
    int size = static_cast<int>(st.st_size);
    std::printf("Size of %s = %d(0x%x)\n\n", name, size, static_cast<unsigned>(size));
    if (st.st_size < 0 || static_cast<uint64_t>(st.st_size) > bufSize) {
        std::printf("Size of %s = %d(0x%x) err\n\n", name, size, static_cast<unsigned>(size));
        return kTooLarge;
    }
    for (size_t got = 0; got < static_cast<size_t>(st.st_size);) {
        ssize_t r = host().read(file.fd, buf + got, static_cast<size_t>(st.st_size) - got);
        if (r <= 0) {
            std::printf("Read file %s failed\n\n", name);
            return kIoFail;
        }
        got += static_cast<size_t>(r);
    }
    file.close();
    std::printf("Read dsp image OK!\n");
    *length = size;
    return 0;
}

int32_t dsp_image_write(const char *name, const uint8_t *buf, uint32_t length)
{
    if (name == nullptr || buf == nullptr || length == 0) {
        std::printf("Input parameter data err, pointer data is NULL\n");
        return kNullArg;
    }
    std::printf("Begin to write %s\n\n", name);
    FileGuard file{host().open(name, O_RDWR | O_CREAT | O_TRUNC, 0600)};
    if (file.fd < 0) {
        std::printf("Open %s failed\n\n", name);
        return kOpenFail;
    }
    std::printf("File_fd is %d\n\n", file.fd);
    ssize_t w = host().write(file.fd, buf, length);
    if (w != static_cast<ssize_t>(length)) {
        std::printf("Write file %s failed 0x%x != 0x%x\n\n", name, static_cast<unsigned>(w), length);
        return kIoFail;
    }
    std::printf("Write size of %s = %d(0x%x)\n\n", name, static_cast<int>(length), length);
    file.close();
    std::printf("Write dsp image OK!\n");
    return 0;
}

// ---- ECC image --------------------------------------------------------------------------------------

uint16_t media_ecc_add_zone(uint8_t *buf, uint32_t n, uint32_t zoneAddr, uint32_t zoneLen)
{
    uint8_t *zone = buf + n - 2;
    std::memcpy(zone, "ECC ", 4);
    put_le32(zone + 4, 8);
    put_le32(zone + 8, zoneAddr);
    put_le32(zone + 12, zoneLen);
    uint16_t crc = MEDIA_Crc16Calc(buf, n + 14);
    put_le16(buf + n + 14, crc);
    return crc;
}

TransOpStatus creat_media_dsp_ecc_image(const char *params)
{
    uint32_t addr = kCmdUnset, len = kCmdUnset;
    char name[MEDIA_NAME_LEN] = {};
    int ret = sscanf_s(params, "0x%08x:0x%08x:%s", &addr, &len, name, MEDIA_NAME_LEN);
    if (ret < 3 || !cmd_scanned(ret, addr, len))
        return trans_bad_input(MEDIA_SITE, ret);
    std::unique_ptr<uint8_t[]> buf(new (std::nothrow) uint8_t[MEDIA_IMAGE_BUF]);
    if (!buf)
        return kNoMemory;
    int32_t n = 0;
    if (int32_t st = dsp_image_read(name, buf.get(), MEDIA_IMAGE_MAX, &n); st != 0)
        return read_failed(st, MEDIA_SITE);
    if (n < 2)
        return trans_bad_input(MEDIA_SITE, n);
    uint16_t crc = media_ecc_add_zone(buf.get(), static_cast<uint32_t>(n), addr, len);
    // "ECC_" goes before the base name; the directory part stays as given.
    const char *slash = std::strrchr(name, '/');
    const int dirLen = slash == nullptr ? 0 : static_cast<int>(slash - name + 1);
    char newName[MEDIA_NAME_LEN + 8] = {};
    sprintf_s(newName, sizeof newName, "%.*sECC_%s", dirLen, name, name + dirLen);
    std::printf("FilenameNew : %s  usCalcCrc :0x%x\n", newName, crc);
    int32_t st = dsp_image_write(newName, buf.get(), static_cast<uint32_t>(n) + 16);
    if (st != 0) {
        trans_failed();
        CmdSite site = MEDIA_SITE;
        std::printf("Function dsp_image_write exe error, iRet = %d [%s] %s:%u\n", st, site.name, site.file, site.line);
    }
    return st;
}

// ---- single loads ----------------------------------------------------------------------------------

namespace {

int32_t single_load(uint32_t sub, uint32_t dsp, uint32_t loadType, const char *name, const CmdSite &site)
{
    MediaImage image = image_alloc();
    if (!image)
        return kNoMemory;
    int32_t length = 0;
    if (int32_t st = dsp_image_read(name, image.get(), MEDIA_IMAGE_MAX, &length); st != 0)
        return read_failed(st, site);
    if (int32_t st = load_init(site); st != 0)
        return st;
    uint32_t first = dsp == kAllDsps ? 0 : dsp, last = dsp == kAllDsps ? MEDIA_DSP_NUM - 1 : dsp;
    for (uint32_t i = first; i <= last; i++) {
        std::printf("Load subboard %d(0x%x)  dsp %d(0x%x)  %s  --- \n", d(sub), sub, d(i), i, name);
        PlovStatus st = PLOV_MediaLoadDspPrg(sub, i, image.get(), length, static_cast<int32_t>(loadType));
        if (st != 0) {
            load_failed_line(sub, i, length, st);
            return st;
        }
        trans_success();
    }
    return 0;
}

} // namespace

TransOpStatus load_media_dsp_image(const char *params)
{
    uint32_t sub = kCmdUnset, dsp = kCmdUnset;
    char name[MEDIA_NAME_LEN] = {};
    int ret = sscanf_s(params, "%u:%u:%254s", &sub, &dsp, name, MEDIA_NAME_LEN);
    if (ret < 3 || !cmd_scanned(ret, sub, dsp))
        return trans_bad_input(MEDIA_SITE, ret);
    return single_load(sub, dsp, 0, name, MEDIA_SITE);
}

TransOpStatus load_media_dsp_image_delay(const char *params)
{
    uint32_t sub = kCmdUnset, dsp = kCmdUnset, type = kCmdUnset;
    char name[MEDIA_NAME_LEN] = {};
    int ret = sscanf_s(params, "%u:%u:%u:%254s", &sub, &dsp, &type, name, MEDIA_NAME_LEN);
    if (ret < 4 || !cmd_scanned(ret, sub, dsp, type))
        return trans_bad_input(MEDIA_SITE, ret);
    return single_load(sub, dsp, type, name, MEDIA_SITE);
}

// ---- threaded loads ----------------------------------------------------------------------------------

namespace {

// What one load thread owns: its share of the image and its parameters.
struct LoadJob {
    MediaImage image;
    uint32_t sub, dsp;
    int32_t length, loadType, repeat;
    std::atomic<int32_t> *status;
};

void *load_thread(void *arg)
{
    std::unique_ptr<LoadJob> job(static_cast<LoadJob *>(arg));
    job->status->store(MEDIA_LOAD_RUNNING);
    for (int32_t i = 0; i < job->repeat; i++) {
        PlovStatus ret = PLOV_MediaLoadDspPrg(job->sub, job->dsp, job->image.get(), job->length, job->loadType);
        if (ret != 0) {
            load_failed_line(job->sub, job->dsp, job->length, ret);
            job->status->store(MEDIA_LOAD_FAILED);
            return nullptr;
        }
        host().sleep(kRepeatPauseS);
    }
    job->status->store(MEDIA_LOAD_OK);
    return nullptr;
}

void health_check(uint32_t sub)
{
    HealthState h{};
    PlovStatus ret = PLOV_MediaGetSubBoardHealthStatus(sub, &h);
    if (ret != 0) {
        std::printf("PLOV_MediaGetSubBoardHealthStatus subboard%d exe error, iRet = %d\n", d(sub), ret);
        return;
    }
    if (h.enSubBoardHealthStatus != 1 || h.stManagePath.enLoadAndConfigPathStatus != 1 ||
        h.stManagePath.enResetAndConfigPathStatus != 1 || h.stWorkPath.ulPublicWorkPathStatus != 1 ||
        h.stWorkPath.ulSubWorkPathNum != MEDIA_DSP_NUM)
        std::printf("PLOV_MediaGetSubBoardHealthStatus subboard%d status error\n", d(sub));
    for (uint32_t i = 0; i < MEDIA_DSP_NUM; i++) {
        const stMediaSubWorkPathStatus &p = h.stWorkPath.astSubWorkPath[i];
        if (p.ulSubWorkPathId != i || p.enSubWorkPathStatus != 1)
            std::printf("PLOV_MediaGetSubBoardHealthStatus stMediaSubWorkPathStatus subboard%d dsp%d status error\n",
                        d(sub), d(i));
    }
    std::printf("PLOV_MediaGetSubBoardHealthStatus subboard%d exe success\n", d(sub));
}

[[noreturn]] void *health_thread(void *)
{
    for (;;) {
        for (uint32_t sub = 0; sub < MEDIA_SUBRD_NUM; sub++)
            health_check(sub);
        host().sleep(1);
    }
}

// Creates a detached thread; its creation result.
int start_thread(pthread_t *thread, void *(*fn)(void *), void *arg)
{
    int ret = host().pthread_create(thread, nullptr, fn, arg);
    if (ret != 0) {
        std::printf("Thread creation failed %d\n", ret);
        return ret;
    }
    host().pthread_detach(*thread);
    return 0;
}

struct ThreadedLoad {
    uint32_t subCnt, dspCnt, loadType, repeat;
    bool health;
};

int32_t load_media_thread_create(const ThreadedLoad &t, const MediaImage &image, int32_t length)
{
    if (t.health) {
        pthread_t healthThread{};
        if (start_thread(&healthThread, health_thread, nullptr) != 0)
            return MEDIA_LOAD_FAILED;
    }
    for (uint32_t s = 0; s < t.subCnt; s++) {
        for (uint32_t i = 0; i < t.dspCnt; i++) {
            MediaLoadInfo &info = gLoadInfo[s][i];
            info.sub = s;
            info.dsp = i;
            info.image = image.get();
            info.length = length;
            info.loadType = static_cast<int32_t>(t.loadType);
            info.repeat = static_cast<int32_t>(t.repeat);
            info.status.store(MEDIA_LOAD_RUNNING);
            auto *job = new LoadJob{image, s, i, length, info.loadType, info.repeat, &info.status};
            gthread_error[s][i] = start_thread(&gthread[s][i], load_thread, job);
            if (gthread_error[s][i] != 0) {
                delete job;
                info.status.store(MEDIA_LOAD_FAILED);
                return MEDIA_LOAD_FAILED;
            }
        }
    }
    return 0;
}

void load_media_thread_wait(const ThreadedLoad &t)
{
    uint64_t limit = t.health ? uint64_t{t.repeat} * kRepeatWaitS : kLoadWaitS;
    for (uint32_t s = 0; s < t.subCnt; s++) {
        for (uint32_t i = 0; i < t.dspCnt; i++) {
            for (cnt[s][i] = 0; gLoadInfo[s][i].status.load() == MEDIA_LOAD_RUNNING && cnt[s][i] < limit;
                 cnt[s][i]++) {
                std::printf("Load subboard %d dsp %d sleep %d \n", d(s), d(i), static_cast<int>(cnt[s][i]));
                host().sleep(1);
            }
        }
    }
}

int32_t load_media_thread_ret(const ThreadedLoad &t)
{
    for (uint32_t s = 0; s < t.subCnt; s++) {
        std::printf("SubBoardCnt %d DspCnt %d thread ! \n", d(t.subCnt), d(t.dspCnt));
        for (uint32_t i = 0; i < t.dspCnt; i++) {
            if (gLoadInfo[s][i].status.load() != MEDIA_LOAD_OK) {
                std::printf("Load subboard %d dsp %d fail! \n", d(s), d(i));
                return MEDIA_LOAD_FAILED;
            }
            std::printf("Load subboard %d dsp %d success! \n", d(s), d(i));
        }
    }
    return 0;
}

int32_t threaded_failed(const char *name, int32_t ret, const CmdSite &site)
{
    trans_failed();
    std::printf("Function %s exe error, iRet = %d [%s] %s:%u\n", name, ret, site.name, site.file, site.line);
    return ret;
}

int32_t threaded_load(const ThreadedLoad &t, const CmdSite &site)
{
    if (t.subCnt > MEDIA_SUBRD_NUM || t.dspCnt > MEDIA_DSP_NUM || t.repeat > kMaxRepeat) {
        trans_line("PARA FAILED");
        return kTransBadInput;
    }
    MediaImage image = image_alloc();
    if (!image)
        return kNoMemory;
    std::printf("buf = 0x%p\n", static_cast<void *>(image.get()));
    std::printf("SubBoardCnt %d DspCnt %d thread ! \n", d(t.subCnt), d(t.dspCnt));
    int32_t length = 0;
    if (int32_t st = dsp_image_read(Filename, image.get(), MEDIA_IMAGE_MAX, &length); st != 0)
        return read_failed(st, site);
    if (int32_t st = load_init(site); st != 0)
        return st;
    if (int32_t st = load_media_thread_create(t, image, length); st != 0)
        return threaded_failed("load_media_thread_create", st, site);
    load_media_thread_wait(t);
    if (int32_t st = load_media_thread_ret(t); st != 0)
        return threaded_failed("load_media_thread_ret", st, site);
    return 0;
}

} // namespace

TransOpStatus load_media_in_mult_thread(const char *params)
{
    ThreadedLoad t{kCmdUnset, kCmdUnset, kCmdUnset, 1, false};
    int ret = sscanf_s(params, "%u:%u:%u:%254s", &t.subCnt, &t.dspCnt, &t.loadType, Filename, MEDIA_NAME_LEN);
    if (ret < 4 || !cmd_scanned(ret, t.subCnt, t.dspCnt, t.loadType))
        return trans_bad_input(MEDIA_SITE, ret);
    return threaded_load(t, MEDIA_SITE);
}

TransOpStatus load_with_health_chk_mult_thread(const char *params)
{
    ThreadedLoad t{kCmdUnset, kCmdUnset, kCmdUnset, kCmdUnset, true};
    int ret = sscanf_s(params, "%u:%u:%u:%u:%254s", &t.subCnt, &t.dspCnt, &t.loadType, &t.repeat, Filename,
                       MEDIA_NAME_LEN);
    if (ret < 5 || !cmd_scanned(ret, t.subCnt, t.dspCnt, t.loadType, t.repeat))
        return trans_bad_input(MEDIA_SITE, ret);
    return threaded_load(t, MEDIA_SITE);
}

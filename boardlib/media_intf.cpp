#include "boardlib/media_intf.h"

#include <cerrno>
#include <cstring>
#include <memory>
#include <mutex>
#include <new>

#include <fcntl.h>

#include "bases/globals/globals.h"
#include "bases/host/host.h"

sem_t gLoadSem[MEDIA_SUBRD_NUM][MEDIA_DSP_NUM];
pthread_mutex_t gMediaSwitchLock = PTHREAD_MUTEX_INITIALIZER;

namespace {

constexpr PlovStatus kErr = -1200;
constexpr PlovStatus kNull = -1201;
constexpr PlovStatus kParam = -1202;
constexpr PlovStatus kRange = -1205;
constexpr PlovStatus kBusy = -1207;
constexpr PlovStatus kNoMem = -1209;
constexpr PlovStatus kOpen = -1221;
constexpr uint32_t kLoadTypeMax = 2;

bool bad_ids(uint32_t sub, uint32_t dsp) { return sub >= MEDIA_SUBRD_NUM || dsp >= MEDIA_DSP_NUM; }

// The semaphores are created once per process, on first use; the mutexes
// are static. Re-creating a semaphore that a thread holds would be
// undefined, so a later call only reports how the first one went.
PlovStatus create_locks()
{
    for (uint32_t sub = 0; sub < MEDIA_SUBRD_NUM; sub++) {
        for (uint32_t dsp = 0; dsp < MEDIA_DSP_NUM; dsp++) {
            if (host().sem_init(&gLoadSem[sub][dsp], 0, 1) != 0) {
                MEDIA_LOG_ERR("sem_init subboard %d dsp %d err, errno = %d!\n", sub, dsp, errno);
                return kErr;
            }
        }
    }
    return 0;
}

struct LockSetup {
    std::mutex lock;   // load threads may ask at once
    bool done = false;
    PlovStatus status = 0;
};
LockSetup g_lockSetup;

PlovStatus locks_ready()
{
    std::lock_guard guard(g_lockSetup.lock);
    if (!g_lockSetup.done) {
        g_lockSetup.status = create_locks();
        g_lockSetup.done = true;
    }
    return g_lockSetup.status;
}

// Posts a DSP's semaphore; false (logged) when the post failed.
bool post_sem(uint32_t sub, uint32_t dsp)
{
    if (host().sem_post(&gLoadSem[sub][dsp]) == 0)
        return true;
    MEDIA_LOG_ERR("sem_post subboard %d dsp %d err, errno = %d!\n", sub, dsp, errno);
    return false;
}

// Step 2 to 4 of a load, under the DSP's semaphore.
PlovStatus hot_plug_locked(uint32_t sub, uint32_t dsp)
{
    int l = host().pthread_mutex_lock(&gMediaSwitchLock);
    if (l != 0) {
        MEDIA_LOG_ERR("pthread_mutex_lock subboard%d dsp%d err ret %d!", sub, dsp, l);
        return kErr;
    }
    PlovStatus ret = MEDIA_DspHotPlug(sub, dsp);
    if (ret != 0)
        MEDIA_LOG_ERR("MEDIA_DspHotPlug subboard%d dsp%d err ret %d!", sub, dsp, ret);
    int u = host().pthread_mutex_unlock(&gMediaSwitchLock);
    if (u != 0) {
        MEDIA_LOG_ERR("pthread_mutex_unlock subboard%d dsp%d err ret %d!", sub, dsp, u);
        return kErr;
    }
    return ret == 0 ? 0 : kErr;
}

} // namespace

// A new process creates the semaphores afresh on first use.
GLOBALS_RESET(media_intf)
{
    std::lock_guard guard(g_lockSetup.lock);
    g_lockSetup.done = false;
    g_lockSetup.status = 0;
}

PlovStatus PLOV_MediaLoadInit() { return locks_ready(); }

PlovStatus PLOV_MediaLoadDspPrg(uint32_t sub, uint32_t dsp, const uint8_t *image, int32_t length, int32_t loadType)
{
    if (bad_ids(sub, dsp))
        return kRange;
    if (image == nullptr)
        return kNull;
    if (length <= 0 || static_cast<uint32_t>(loadType) > kLoadTypeMax) {
        MEDIA_LOG_ERR("PLOV_MediaLoadDspPrg subboard%d dsp%d len %d loadtype %d para err!", sub, dsp, length, loadType);
        return kErr;
    }
    if (locks_ready() != 0)
        return kErr;
    int w = host().sem_wait(&gLoadSem[sub][dsp]);
    if (w != 0) {
        MEDIA_LOG_ERR("sem_wait subboard %d dsp %d err ret %d!", sub, dsp, w);
        return kErr;
    }
    PlovStatus ret = hot_plug_locked(sub, dsp);
    if (ret == 0) {
        ret = MEDIA_LoadDspBin(sub, dsp, image, static_cast<uint32_t>(length), static_cast<uint32_t>(loadType));
        if (ret != 0) {
            MEDIA_LOG_ERR("MEDIA_LoadDspBin subboard%d dsp%d loadtype%d err ret %d!", sub, dsp, loadType, ret);
            ret = kErr;
        }
    }
    if (!post_sem(sub, dsp))
        ret = kErr;
    if (ret == 0)
        MEDIA_LOG_INFO("MEDIA_LoadDspBin subboard%d dsp%d loadtype%d success!", sub, dsp, loadType);
    return ret;
}

// ---- sub-board health ----------------------------------------------------------------------------

namespace {

constexpr MediaLinkInfo kCpuLink{1, 1, 2}, kFpgaLink{1, 8, 2}, kDspLink{1, 2, 2};

// Posts the first `count` semaphores of the sub-board; false when any post failed.
bool post_taken(uint32_t sub, uint32_t count)
{
    bool ok = true;
    int errors = 0;
    for (uint32_t dsp = 0; dsp < count; dsp++) {
        if (host().sem_post(&gLoadSem[sub][dsp]) != 0) {
            errors++;
            MEDIA_LOG_ERR("sem_post subboard %d dsp %d err, err count %d!\n", sub, dsp, errors);
            ok = false;
        }
    }
    return ok;
}

// Step 1: all nine semaphores of the sub-board, or -1207 with none held.
PlovStatus take_all(uint32_t sub)
{
    for (uint32_t dsp = 0; dsp < MEDIA_DSP_NUM; dsp++) {
        if (host().sem_trywait(&gLoadSem[sub][dsp]) != 0)
            return post_taken(sub, dsp) ? kBusy : kErr;
    }
    return 0;
}

// Steps 2 and 3: at least one DSP initialised, then the path state.
PlovStatus read_paths(uint32_t sub, SubrdState &state)
{
    uint32_t ready = 0;
    for (uint32_t dsp = 0; dsp < MEDIA_DSP_NUM; dsp++) {
        uint32_t init = 0;
        PlovStatus ret = MEDIA_GetInitState(sub, dsp, &init);
        if (ret != 0) {
            MEDIA_LOG_ERR("MEDIA_GetInitState subboard%d dsp%d err ret %d!", sub, dsp, ret);
            return kErr;
        }
        ready += init == 1 ? 1 : 0;
    }
    if (ready == 0) {
        MEDIA_LOG_ERR("PLOV_MediaGetSubBoardHealthStatus subboard%d did not exit err!", sub);
        return kErr;
    }
    PlovStatus ret = MEDIA_GetSubBoardHealthState(sub, &state);
    if (ret != 0) {
        MEDIA_LOG_ERR("MEDIA_GetSubBoardHealthState subboard%d err ret %d!\n", sub, ret);
        return kErr;
    }
    return 0;
}

MediaLinkInfo link_of(const MediaPortState &p)
{
    return {static_cast<int32_t>(p.LinkState), static_cast<int32_t>(p.LinkWidth), static_cast<int32_t>(p.LinkSpeed)};
}

// Step 5: the path results into the health record.
PlovStatus fill_health(uint32_t sub, const SubrdState &state, HealthState &h)
{
    MediaLinkInfo cpu = link_of(state.CpuPortState), fpga = link_of(state.FpgaPortState);
    if (MEDIA_GetSubrdPathStatus(&kCpuLink, &cpu, &h.stManagePath.enLoadAndConfigPathStatus) != 0) {
        MEDIA_LOG_ERR("MEDIA_GetSubrdPathStatus subboard%d cpu port err ret %d!\n", sub, kErr);
        return kErr;
    }
    h.stManagePath.enResetAndConfigPathStatus = state.LpcState == 1 ? MEDIA_PATH_NORMAL : MEDIA_PATH_FAULT;
    if (MEDIA_GetSubrdPathStatus(&kFpgaLink, &fpga, &h.stWorkPath.ulPublicWorkPathStatus) != 0) {
        MEDIA_LOG_ERR("MEDIA_GetSubrdPathStatus subboard%d fpga port err ret %d!\n", sub, kErr);
        return kErr;
    }
    h.stWorkPath.ulSubWorkPathNum = MEDIA_DSP_NUM;
    for (uint32_t dsp = 0; dsp < MEDIA_DSP_NUM; dsp++) {
        stMediaSubWorkPathStatus &p = h.stWorkPath.astSubWorkPath[dsp];
        MediaLinkInfo link = link_of(state.DspPortState[dsp]);
        p.ulSubWorkPathId = dsp;
        if (MEDIA_GetSubrdPathStatus(&kDspLink, &link, &p.enSubWorkPathStatus) != 0) {
            MEDIA_LOG_ERR("MEDIA_GetSubrdPathStatus subboard%d dsp %d port err ret %d!\n", sub, dsp, kErr);
            return kErr;
        }
    }
    return MEDIA_ParseSubrdStatus(&h);
}

} // namespace

PlovStatus PLOV_MediaGetSubBoardHealthStatus(uint32_t sub, HealthState *out)
{
    if (sub >= MEDIA_SUBRD_NUM)
        return kRange;
    if (out == nullptr)
        return kNull;
    if (locks_ready() != 0)
        return kErr;
    PlovStatus ret = take_all(sub);
    if (ret != 0)
        return ret;
    SubrdState state{};
    ret = read_paths(sub, state);
    if (!post_taken(sub, MEDIA_DSP_NUM) && ret == 0)
        ret = kErr;
    if (ret != 0)
        return ret;
    return fill_health(sub, state, *out);
}

// ---- DSP memory --------------------------------------------------------------------------------------

namespace {

// One slice request; a failure is logged in the words of its direction and kind.
PlovStatus slice(int fd, bool write, bool whole, MEDIA_MEM_RW_STRU &rec)
{
    int ret = host_ioctl(fd, write ? MEDIA_MEM_WRITE : MEDIA_MEM_READ, &rec);
    if (ret >= 0)
        return 0;
    int err = errno;
    const char *text = std::strerror(err);
    if (!write && whole)
        MEDIA_LOG_ERR("ioctl integral read slice addr 0x%x len 0x%x error, errno = %d(%s)\n", rec.uiDspAddr, rec.uiLen,
                      err, text);
    else if (!write)
        MEDIA_LOG_ERR("ioctl read end slice addr 0x%x len 0x%x error, errno = %d(%s)\n", rec.uiDspAddr, rec.uiLen, err,
                      text);
    else if (whole)
        MEDIA_LOG_ERR("ioctl write integral slice addr 0x%x len 0x%x error, errno = %d(%s)\n", rec.uiDspAddr, rec.uiLen,
                      err, text);
    else
        MEDIA_LOG_ERR("ioctl write end slice addr 0x%x len 0x%x error, errno = %d(%s)\n", rec.uiDspAddr, rec.uiLen, err,
                      text);
    return ret;
}

PlovStatus transfer(uint32_t sub, uint32_t dsp, uint32_t dspAddr, void *buf, uint32_t length, bool write)
{
    if (bad_ids(sub, dsp))
        return kRange;
    if (buf == nullptr)
        return kNull;
    if (length == 0 || uint64_t{dspAddr} + length > (uint64_t{1} << 32))
        return kParam;
    int fd = host_open(MEDIA_DEV_NODE, O_RDWR);
    if (fd < 0)
        return kOpen;
    auto *bytes = static_cast<uint8_t *>(buf);
    PlovStatus ret = 0;
    for (uint32_t done = 0; ret == 0 && done < length; done += MEDIA_SLICE_LEN) {
        uint32_t len = length - done < MEDIA_SLICE_LEN ? length - done : MEDIA_SLICE_LEN;
        MEDIA_MEM_RW_STRU rec{sub, dsp, dspAddr + done, 0, reinterpret_cast<uintptr_t>(bytes + done), len, 0};
        ret = slice(fd, write, len == MEDIA_SLICE_LEN, rec);
    }
    host().close(fd);
    return ret;
}

} // namespace

PlovStatus PLOV_MediaReadDspMem(uint32_t sub, uint32_t dsp, uint32_t dspAddr, void *buf, uint32_t length)
{
    return transfer(sub, dsp, dspAddr, buf, length, false);
}

PlovStatus PLOV_MediaWriteDspMem(uint32_t sub, uint32_t dsp, uint32_t dspAddr, void *buf, uint32_t length)
{
    return transfer(sub, dsp, dspAddr, buf, length, true);
}

// ---- board information -----------------------------------------------------------------------------

PlovStatus PLOV_MediaGetBoardInfo(BoardInfo *out)
{
    if (out == nullptr)
        return kNull;
    BoardInfo info{};
    for (uint32_t i = 0; i < MEDIA_SUBRD_INFO_NUM; i++)
        info.astSubBoard[i] = stSubBoardInfo{i, 1, 1, 0, 0};
    for (uint32_t sub = 0; sub < MEDIA_SUBRD_NUM; sub++) {
        uint32_t ready = 0;
        for (uint32_t dsp = 0; dsp < MEDIA_DSP_NUM; dsp++) {
            uint32_t init = 0;
            PlovStatus ret = MEDIA_GetInitState(sub, dsp, &init);
            if (ret != 0) {
                MEDIA_LOG_ERR("MEDIA_GetInitState subboard%d dsp%d err ret %d!", sub, dsp, ret);
                return kErr;
            }
            ready += init == 1 ? 1 : 0;
        }
        if (ready > 0) {
            info.astSubBoard[sub] = stSubBoardInfo{sub, 0, 0, MEDIA_DSP_NUM, 0};
            info.uiSubBoardNum++;
        }
    }
    info.enBaseBoardType = 0;
    *out = info;
    return 0;
}

// ---- mailbox switches, statistics, trans tables ---------------------------------------------------------

namespace {

bool bad_core(uint32_t sub, uint32_t dsp, uint32_t core) { return bad_ids(sub, dsp) || core >= MEDIA_CORE_NUM; }

} // namespace

PlovStatus PLOV_MediaGetGlobalDspMailBoxSwitch(uint32_t sub, uint32_t dsp, uint32_t *on)
{
    if (bad_ids(sub, dsp))
        return kRange;
    if (on == nullptr)
        return kNull;
    return MEDIA_GetGlobalDspSwitch(sub, dsp, on);
}

PlovStatus PLOV_MediaSetGlobalDspMailBoxSwitch(uint32_t sub, uint32_t dsp, uint32_t on)
{
    if (bad_ids(sub, dsp) || on > 1)
        return kRange;
    return MEDIA_SetGlobalDspSwitch(sub, dsp, on);
}

PlovStatus PLOV_MediaGetDspMailBoxSwitch(uint32_t sub, uint32_t dsp, uint32_t core, uint32_t type, uint32_t *on)
{
    if (bad_core(sub, dsp, core) || type >= MEDIA_MAILBOX_TYPES)
        return kRange;
    if (on == nullptr)
        return kNull;
    return MEDIA_GetDspMailBoxSwitch(sub, dsp, core, type, on);
}

PlovStatus PLOV_MediaSetDspMailBoxSwitch(uint32_t sub, uint32_t dsp, uint32_t core, uint32_t type, uint32_t on)
{
    if (bad_core(sub, dsp, core) || type >= MEDIA_MAILBOX_TYPES || on > 1)
        return kRange;
    if (on == 0) {
        std::unique_ptr<DspTransTable> table(new (std::nothrow) DspTransTable{});
        if (table == nullptr) {
            MEDIA_LOG_ERR("malloc trans table subboard%d dsp%d err!", sub, dsp);
            return kNoMem;
        }
        PlovStatus ret = PLOV_MediaGetDspTransTable(sub, dsp, table.get());
        if (ret == 0)
            ret = MEDIA_CheckTblEntry(sub, dsp, table.get());
        if (ret != 0) {
            MEDIA_LOG_ERR("check trans table subboard%d dsp%d err ret %d!", sub, dsp, ret);
            return ret;
        }
    }
    return MEDIA_SetDspMailBoxSwitch(sub, dsp, core, type, on);
}

PlovStatus PLOV_MediaGetDspMailboxStatistic(uint32_t sub, uint32_t dsp, uint32_t core, stMediaMailboxStatistic *out)
{
    if (bad_core(sub, dsp, core))
        return kRange;
    if (out == nullptr)
        return kNull;
    uint32_t words[10] = {};
    PlovStatus ret = MEDIA_GetDspMailboxStatistic(sub, dsp, core, words, 0);
    if (ret == 0)
        ret = MEDIA_GetDspMailboxStatistic(sub, dsp, core, words, 1);
    static_assert(sizeof words == offsetof(stMediaMailboxStatistic, ulRsv));
    std::memcpy(out, words, sizeof words);
    return ret;
}

PlovStatus PLOV_MediaClrDspMailboxStatistic(uint32_t sub, uint32_t dsp, uint32_t core)
{
    if (bad_core(sub, dsp, core))
        return kRange;
    PlovStatus ret = MEDIA_ClearDspMailboxStatistic(sub, dsp, core, 0);
    return ret != 0 ? ret : MEDIA_ClearDspMailboxStatistic(sub, dsp, core, 1);
}

PlovStatus PLOV_MediaGetDspTransTable(uint32_t sub, uint32_t dsp, DspTransTable *table)
{
    if (bad_ids(sub, dsp))
        return kRange;
    if (table == nullptr)
        return kNull;
    PlovStatus ret = MEDIA_FillTblEntry(sub, dsp, table);
    if (ret == 0)
        ret = MEDIA_LogicGetTransAddrTable(table);
    if (ret == 0)
        ret = MEDIA_LogicGetRwptrAddrTable(table);
    return ret != 0 ? ret : MEDIA_LogicGetSendPoolInfo(sub, dsp, table);
}

PlovStatus PLOV_MediaSetDspTransTable(uint32_t sub, uint32_t dsp, const DspTransTable *table)
{
    if (bad_ids(sub, dsp))
        return kRange;
    if (table == nullptr)
        return kNull;
    if (MEDIA_CheckTblEntry(sub, dsp, table) != 0) {
        MEDIA_LOG_ERR("MEDIA_CheckTblEntry subboard%d dsp%d err!", sub, dsp);
        return kParam;
    }
    PlovStatus ret = MEDIA_LogicSetTransAddrTable(table);
    if (ret == 0)
        ret = MEDIA_LogicSetRwptrAddrTable(table);
    return ret != 0 ? ret : MEDIA_LogicSetSendPoolInfo(sub, dsp, table);
}

#include "boardlib/media_app.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <memory>

#include <fcntl.h>

#include "bases/globals/globals.h"
#include "bases/host/host.h"

PlovLogHook g_pfMediaLog = nullptr;
pthread_mutex_t gMediaHpLock = PTHREAD_MUTEX_INITIALIZER;

GLOBALS_RESET(media_app)
{
    g_pfMediaLog = nullptr;
}

namespace {

constexpr PlovStatus kErr = -1200;
constexpr PlovStatus kNull = -1201;
constexpr PlovStatus kParam = -1202;
constexpr PlovStatus kRange = -1205;
constexpr PlovStatus kRetry = -1206;
constexpr PlovStatus kNoMem = -1209;
constexpr PlovStatus kOpen = -1221;
constexpr PlovStatus kNotInit = -1315;
constexpr PlovStatus kDiff = -1316;

bool bad_ids(uint32_t sub, uint32_t dsp) { return sub >= MEDIA_SUBRD_NUM || dsp >= MEDIA_DSP_NUM; }

uint64_t addr_of(const void *p) { return reinterpret_cast<uintptr_t>(p); }

// The device, open for one operation.
struct MediaDev {
    int fd = host_open(MEDIA_DEV_NODE, O_RDWR);
    MediaDev() = default;
    MediaDev(const MediaDev &) = delete;
    MediaDev &operator=(const MediaDev &) = delete;
    ~MediaDev()
    {
        if (fd >= 0)
            host().close(fd);
    }
};

// The outcome of one request: the operation's status, and whether the
// request itself failed (errno in `err`), which the caller logs in its words.
struct Sent {
    PlovStatus ret = 0;
    bool failed = false;
    int err = 0;
};

Sent request_on(int fd, unsigned long code, void *rec)
{
    Sent s;
    int r = host_ioctl(fd, code, rec);
    if (r < 0) {
        s = Sent{r, true, errno};
    }
    return s;
}

// Opens the device, sends one request, closes it. Requests that change the
// PCIe topology are sent holding gMediaHpLock, taken after the open and
// released before the close.
Sent media_send(unsigned long code, void *rec, bool locked = false, uint32_t sub = 0, uint32_t dsp = 0)
{
    MediaDev dev;
    if (dev.fd < 0)
        return Sent{kOpen, false, 0};
    if (locked) {
        int l = host().pthread_mutex_lock(&gMediaHpLock);
        if (l != 0) {
            MEDIA_LOG_ERR("pthread_mutex_lock subboard%d dsp%d err ret %d!\n", sub, dsp, l);
            return Sent{kErr, false, 0};
        }
    }
    Sent s = request_on(dev.fd, code, rec);
    if (locked) {
        int u = host().pthread_mutex_unlock(&gMediaHpLock);
        if (u != 0) {
            MEDIA_LOG_ERR("pthread_mutex_unlock subboard%d dsp%d err ret %d!\n", sub, dsp, u);
            if (!s.failed)
                s.ret = kErr;
        }
    }
    return s;
}

// A state request: the 8-byte result is cleared first; "VALID" in its first
// five bytes means 1.
Sent state_request(unsigned long code, uint32_t sub, uint32_t dsp, uint32_t *core, uint32_t &state)
{
    char result[8] = {};
    Sent s;
    if (core != nullptr) {
        MEDIA_DEV_CORE_STATE_STRU rec{sub, dsp, *core, 0, addr_of(result), sizeof result, 0};
        s = media_send(code, &rec);
    } else {
        MEDIA_DEV_STATE_STRU rec{sub, dsp, addr_of(result), sizeof result, 0};
        s = media_send(code, &rec);
    }
    if (s.ret == 0)
        state = std::memcmp(result, "VALID", 5) == 0 ? 1 : 0;
    return s;
}

PlovStatus id_request(unsigned long code, uint32_t sub, uint32_t dsp, bool locked, Sent &s)
{
    MEDIA_DEV_ID_STRU rec{sub, dsp};
    s = media_send(code, &rec, locked, sub, dsp);
    return s.ret;
}

PlovStatus port_request(unsigned long code, uint32_t sub, uint32_t dsp, uint32_t on, Sent &s)
{
    MEDIA_PORT_CTRL_STRU rec{sub, dsp, on, 0};
    s = media_send(code, &rec, true, sub, dsp);
    return s.ret;
}

} // namespace

// ---- device requests -------------------------------------------------------------------

PlovStatus MEDIA_DspReset(uint32_t sub, uint32_t dsp)
{
    if (bad_ids(sub, dsp))
        return kRange;
    Sent s;
    id_request(MEDIA_RESET_DEV, sub, dsp, false, s);
    if (s.failed)
        MEDIA_LOG_ERR("ioctl subboard %d dsp %d reset error, errno = %d(%s)\n", sub, dsp, s.err, std::strerror(s.err));
    return s.ret;
}

PlovStatus MEDIA_GetDspStartUpState(uint32_t sub, uint32_t dsp, uint32_t core, uint32_t *state)
{
    if (bad_ids(sub, dsp) || core >= MEDIA_CORE_NUM)
        return kRange;
    if (state == nullptr)
        return kNull;
    Sent s = state_request(MEDIA_STARTUP_STATE, sub, dsp, &core, *state);
    if (s.failed)
        MEDIA_LOG_ERR("ioctl subboard %d dsp %d get startup stat error, errno = %d(%s)\n", sub, dsp, s.err,
                      std::strerror(s.err));
    return s.ret;
}

PlovStatus MEDIA_GetInitState(uint32_t sub, uint32_t dsp, uint32_t *state)
{
    if (bad_ids(sub, dsp))
        return kRange;
    if (state == nullptr)
        return kNull;
    Sent s = state_request(MEDIA_INIT_STATE, sub, dsp, nullptr, *state);
    if (s.failed)
        MEDIA_LOG_ERR("ioctl subboard %d dsp %d get init stat error, errno = %d(%s)\n", sub, dsp, s.err,
                      std::strerror(s.err));
    return s.ret;
}

PlovStatus MEDIA_GetPortLinkState(uint32_t sub, uint32_t dsp, uint32_t *state)
{
    if (bad_ids(sub, dsp))
        return kRange;
    if (state == nullptr)
        return kNull;
    Sent s = state_request(MEDIA_PORT_LINK_STATE, sub, dsp, nullptr, *state);
    if (s.failed)
        MEDIA_LOG_ERR("ioctl subboard %d dsp %d get port link stat error, errno = %d(%s)\n", sub, dsp, s.err,
                      std::strerror(s.err));
    return s.ret;
}

PlovStatus MEDIA_DspHotPlugin(uint32_t sub, uint32_t dsp)
{
    if (bad_ids(sub, dsp))
        return kRange;
    Sent s;
    id_request(MEDIA_DEV_PLUGIN, sub, dsp, true, s);
    if (s.failed)
        MEDIA_LOG_ERR("ioctl subboard %d dsp %d plugin error, errno = %d(%s)\n", sub, dsp, s.err, std::strerror(s.err));
    return s.ret;
}

PlovStatus MEDIA_DspHotPlugout(uint32_t sub, uint32_t dsp)
{
    if (bad_ids(sub, dsp))
        return kRange;
    Sent s;
    id_request(MEDIA_DEV_PLUGOUT, sub, dsp, true, s);
    if (s.failed)
        MEDIA_LOG_ERR("ioctl subboard %d dsp %d plugout error, errno = %d(%s)\n", sub, dsp, s.err, std::strerror(s.err));
    return s.ret;
}

PlovStatus MEDIA_SetPciSwPort(uint32_t sub, uint32_t dsp, uint32_t on)
{
    if (bad_ids(sub, dsp) || on > 1)
        return kRange;
    Sent s;
    port_request(MEDIA_SW_PORT_CTRL, sub, dsp, on, s);
    if (s.failed)
        MEDIA_LOG_ERR("ioctl subboard %d dsp %d pcie switch downstream port ctrl 0x%x error, errno = %d(%s)\n", sub, dsp,
                      on, s.err, std::strerror(s.err));
    return s.ret;
}

PlovStatus MEDIA_SetPciSwPortIoMem(uint32_t sub, uint32_t dsp, uint32_t on)
{
    if (bad_ids(sub, dsp) || on > 1)
        return kRange;
    Sent s;
    port_request(MEDIA_SW_PORT_IOMEM_CTRL, sub, dsp, on, s);
    if (s.failed)
        MEDIA_LOG_ERR("ioctl subboard %d dsp %d pcie switch downstream port io mem ctrl 0x%x error, errno = %d(%s)\n",
                      sub, dsp, on, s.err, std::strerror(s.err));
    return s.ret;
}

PlovStatus MEDIA_FillDspDevMem(uint32_t sub, uint32_t dsp, uint32_t dspAddr, uint32_t len, uint8_t value)
{
    if (bad_ids(sub, dsp))
        return kRange;
    MEDIA_FILL_MEM_STRU rec{sub, dsp, dspAddr, len, value, {}};
    Sent s = media_send(MEDIA_FILL_MEM, &rec);
    if (s.failed)
        MEDIA_LOG_ERR("ioctl subboard %d dsp %d fill mem error, errno = %d(%s)\n", sub, dsp, s.err, std::strerror(s.err));
    return s.ret;
}

PlovStatus MEDIA_AppTestSubrdLpc(uint32_t sub)
{
    if (sub >= MEDIA_SUBRD_NUM)
        return kRange;
    Sent s;
    id_request(MEDIA_LPC_TEST, sub, 0, false, s);
    if (s.failed)
        MEDIA_LOG_ERR("ioctl subboard %d lpc error, errno = %d(%s)\n", sub, s.err, std::strerror(s.err));
    return s.ret;
}

PlovStatus MEDIA_AppLpcRW(uint16_t lpcAddr, void *buf, uint16_t len, uint32_t write)
{
    if (buf == nullptr)
        return kNull;
    if (len == 0 || write > 1)
        return kParam;
    MEDIA_LPC_RW_STRU rec{addr_of(buf), write, lpcAddr, len};
    Sent s = media_send(MEDIA_LPC_RW, &rec);
    if (s.failed)
        MEDIA_LOG_ERR("ioctl lpc addr 0x%llx flag 0x%x len 0x%x lpcaddr 0x%x error, errno = %d(%s)\n",
                      static_cast<unsigned long long>(rec.ullBuf), write, len, lpcAddr, s.err, std::strerror(s.err));
    return s.ret;
}

PlovStatus MEDIA_AppDspMemRwAlign(uint32_t sub, uint32_t dsp, uint32_t dspAddr, void *buf, uint32_t len,
                                  uint32_t width, uint32_t write)
{
    if (bad_ids(sub, dsp))
        return kRange;
    if (buf == nullptr)
        return kNull;
    if (len == 0)
        return kParam;
    MEDIA_MEM_TEST_STRU rec{sub, dsp, dspAddr, 0, addr_of(buf), len, width};
    Sent s = media_send(write != 0 ? MEDIA_ECC_TEST_WRITE : MEDIA_ECC_TEST_READ, &rec);
    if (s.failed)
        MEDIA_LOG_ERR("ioctl test ecc %s addr 0x%x len 0x%x error!\n", write != 0 ? "write" : "read", dspAddr, len);
    return s.ret;
}

PlovStatus MEDIA_AppThreeStepTest(uint32_t sub, uint32_t dsp)
{
    if (bad_ids(sub, dsp))
        return kRange;
    Sent s;
    id_request(MEDIA_THREE_STEP_TEST, sub, dsp, false, s);
    if (s.failed)
        MEDIA_LOG_ERR("ioctl subboard %d dsp %d three step test error, errno = %d\n", sub, dsp, s.err);
    return s.ret;
}

PlovStatus MEDIA_AppDspPcieAppRW(uint32_t sub, uint32_t dsp, uint32_t regAddr, void *buf, uint32_t len,
                                 uint32_t write)
{
    if (bad_ids(sub, dsp))
        return kRange;
    if (buf == nullptr)
        return kNull;
    if (len == 0 || write > 1)
        return kParam;
    MEDIA_PCIE_APP_STRU rec{sub, dsp, addr_of(buf), regAddr, len, write, 0};
    Sent s = media_send(MEDIA_PCIE_APP_RW, &rec);
    if (s.failed)
        MEDIA_LOG_ERR("ioctl subboard %d dsp %d pcie app addr 0x%x flag 0x%x len 0x%x error, errno = %d\n", sub, dsp,
                      regAddr, write, len, s.err);
    return s.ret;
}

PlovStatus MEDIA_GetSubBoardHealthState(uint32_t sub, SubrdState *out)
{
    if (sub >= MEDIA_SUBRD_NUM)
        return kRange;
    if (out == nullptr)
        return kNull;
    SubrdState state{};
    MEDIA_HEALTH_STRU rec{sub, 0, addr_of(&state)};
    Sent s = media_send(MEDIA_SUBRD_HEALTH, &rec);
    if (s.failed)
        MEDIA_LOG_ERR("ioctl get subboard %d health state error!\n", sub);
    if (s.ret == 0)
        *out = state;
    return s.ret;
}

PlovStatus PLOV_MediaGetDspPcieAddr(uint32_t sub, uint32_t dsp, uint32_t core, uint32_t type, void *out)
{
    if (bad_ids(sub, dsp) || core >= MEDIA_CORE_NUM)
        return kRange;
    if (out == nullptr)
        return kNull;
    if (type > MEDIA_REGION_DDR)
        return kRange;
    uint32_t init = 0;
    if (MEDIA_GetInitState(sub, dsp, &init) != 0)
        return kErr;
    if (init == 0) {
        MEDIA_LOG_ERR("MEDIA_GetInitState subboard%d dsp%d init err!", sub, dsp);
        return kNotInit;
    }
    MEDIA_DEV_PCI_MAP_STRU rec{sub, dsp, core, type, addr_of(out)};
    Sent s = media_send(MEDIA_GET_PCI_ADDR, &rec);
    if (s.failed)
        MEDIA_LOG_ERR("ioctl subboard %d dsp %d core %d type %d get pci addr error, errno = %d(%s)\n", sub, dsp, core,
                      type, s.err, std::strerror(s.err));
    return s.ret;
}

namespace {

struct CmdRow {
    const char *name;
    unsigned long code;
    const char *record;
};

constexpr CmdRow kCmdRows[] = {
    {"MEDIA_DEV_PLUGIN", MEDIA_DEV_PLUGIN, "MEDIA_DEV_ID_STRU"},
    {"MEDIA_DEV_PLUGOUT", MEDIA_DEV_PLUGOUT, "MEDIA_DEV_ID_STRU"},
    {"MEDIA_DEV_MEM_MAP", MEDIA_DEV_MEM_MAP, "MEDIA_DEV_ID_STRU"},
    {"MEDIA_MEM_READ", MEDIA_MEM_READ, "MEDIA_MEM_RW_STRU"},
    {"MEDIA_MEM_WRITE", MEDIA_MEM_WRITE, "MEDIA_MEM_RW_STRU"},
    {"MEDIA_STARTUP_TRIGGER", MEDIA_STARTUP_TRIGGER, "MEDIA_DEV_ID_STRU"},
    {"MEDIA_STARTUP_STATE", MEDIA_STARTUP_STATE, "MEDIA_DEV_CORE_STATE_STRU"},
    {"MEDIA_INIT_STATE", MEDIA_INIT_STATE, "MEDIA_DEV_STATE_STRU"},
    {"MEDIA_RESET_DEV", MEDIA_RESET_DEV, "MEDIA_DEV_ID_STRU"},
    {"MEDIA_GET_PCI_ADDR", MEDIA_GET_PCI_ADDR, "MEDIA_DEV_PCI_MAP_STRU"},
};

} // namespace

void MEDIA_AppCmdPrint()
{
    for (const CmdRow &r : kCmdRows)
        MEDIA_LOG_INFO("%s cmd = 0x%lx sizeof(%s) = %d !\n", r.name, r.code, r.record,
                       static_cast<int>(media_req_size(r.code)));
}

// ---- program loading -----------------------------------------------------------------------

namespace {

struct Pace {
    uint32_t chunk;
    useconds_t pauseUs;
};

constexpr Pace kPace[] = {{2048, 2000}, {2048, 8000}, {4096, 1000}};
constexpr uint32_t kLoadTypes = static_cast<uint32_t>(std::size(kPace));

struct FreeDeleter {
    void operator()(uint8_t *p) const { std::free(p); }
};

// Writes `len` bytes at `target` and reads them back into `back`.
PlovStatus write_and_verify(int fd, uint32_t sub, uint32_t dsp, uint32_t target, const uint8_t *data, uint32_t len,
                            uint8_t *back, uint32_t loadType)
{
    MEDIA_MEM_RW_STRU rec{sub, dsp, target, 0, addr_of(data), len, 0};
    Sent s = request_on(fd, MEDIA_MEM_WRITE, &rec);
    if (s.failed) {
        MEDIA_LOG_ERR("ioctl write addr 0x%x len 0x%x error, errno = %d(%s)\n", target, len, s.err,
                      std::strerror(s.err));
        return s.ret;
    }
    std::memset(back, 0, len);
    rec.ullBuf = addr_of(back);
    PlovStatus ret = MEDIA_ReadFromDsp(fd, &rec, loadType);
    if (ret != 0) {
        int e = errno;
        MEDIA_LOG_ERR("MEDIA_ReadFromDsp addr 0x%x len 0x%x error, errno = %d(%s)\n", target, len, e, std::strerror(e));
        return ret;
    }
    if (std::memcmp(back, data, len) != 0) {
        MEDIA_LOG_ERR("memcmp addr 0x%x len 0x%x error\n", target, len);
        return kDiff;
    }
    return 0;
}

} // namespace

PlovStatus MEDIA_ReadFromDsp(int fd, MEDIA_MEM_RW_STRU *rec, uint32_t loadType)
{
    if (fd < 0) {
        MEDIA_LOG_ERR("MEDIA_ReadFromDsp para err!\n");
        return kErr;
    }
    if (rec == nullptr)
        return kNull;
    if (loadType >= kLoadTypes) {
        MEDIA_LOG_ERR("MEDIA_ReadFromDsp para err!\n");
        return kParam;
    }
    const Pace pace = kPace[loadType];
    const uint32_t whole = rec->uiLen / pace.chunk, rest = rec->uiLen % pace.chunk;
    MEDIA_MEM_RW_STRU part = *rec;
    auto read_part = [&](uint32_t at, uint32_t len) {
        part.uiDspAddr = rec->uiDspAddr + at;
        part.ullBuf = rec->ullBuf + at;
        part.uiLen = len;
        Sent s = request_on(fd, MEDIA_MEM_READ, &part);
        if (s.failed) {
            MEDIA_LOG_ERR("MEDIA_ReadFromDsp Call MEDIA_MEM_READ err!\n");
            errno = s.err;
        }
        return s.ret;
    };
    if (whole == 0)
        return read_part(0, rec->uiLen);
    for (uint32_t j = 0; j < whole; j++) {
        PlovStatus ret = read_part(j * pace.chunk, pace.chunk);
        if (ret != 0)
            return ret;
        host().usleep(pace.pauseUs);
    }
    return rest != 0 ? read_part(whole * pace.chunk, rest) : 0;
}

PlovStatus MEDIA_LoadDspPrgSec(uint32_t sub, uint32_t dsp, uint32_t addr, const uint8_t *data, uint32_t len,
                               uint32_t loadType)
{
    if (bad_ids(sub, dsp))
        return kRange;
    if (data == nullptr)
        return kNull;
    if (len == 0 || loadType >= kLoadTypes) {
        MEDIA_LOG_ERR("MEDIA_LoadDspPrgSec para err!\n");
        return kErr;
    }
    std::unique_ptr<uint8_t, FreeDeleter> back(static_cast<uint8_t *>(std::malloc(len)));
    if (!back) {
        MEDIA_LOG_ERR("malloc len 0x%x error\n", len);
        return kNoMem;
    }
    MediaDev dev;
    if (dev.fd < 0)
        return kOpen;
    uint32_t targets[MEDIA_CORE_NUM];
    uint32_t count = media_bin_targets(addr, len, targets);
    if (count == 0) {
        MEDIA_LOG_ERR("MEDIA_LoadDspPrgSec para error uiDspLoadAddr = 0x%x uiLen = 0x%x\n", addr, len);
        return kErr;
    }
    for (uint32_t i = 0; i < count; i++) {
        PlovStatus ret = write_and_verify(dev.fd, sub, dsp, targets[i], data, len, back.get(), loadType);
        if (ret != 0)
            return ret;
    }
    return 0;
}

PlovStatus MEDIA_DspEccEnable(uint32_t sub, uint32_t dsp, const EccZone pair[2])
{
    if (bad_ids(sub, dsp))
        return kRange;
    if (pair == nullptr)
        return kNull;
    MEDIA_ECC_ZONE_STRU rec{sub, dsp, 0, 0, 0, 0, 0};
    uint32_t *fields[2][2] = {{&rec.uiZone0Addr, &rec.uiZone0Len}, {&rec.uiZone1Addr, &rec.uiZone1Len}};
    for (int z = 0; z < 2; z++) {
        if (!media_bin_zone_present(pair[z])) {
            MEDIA_LOG_ERR("This file without ECC Zone%d string !\n", z);
            continue;
        }
        rec.ullZoneNum++;
        *fields[z][0] = pair[z].uiZoneAddr;
        *fields[z][1] = pair[z].uiZoneLen;
    }
    Sent s = media_send(MEDIA_ECC_ENABLE, &rec);
    if (s.failed)
        MEDIA_LOG_ERR("ioctl enable subboard%d dsp%d ecc zone%lld addr 0x%x len 0x%x addr 0x%x len 0x%x error!\n", sub,
                      dsp, static_cast<long long>(rec.ullZoneNum), rec.uiZone0Addr, rec.uiZone0Len, rec.uiZone1Addr,
                      rec.uiZone1Len);
    return s.ret;
}

PlovStatus MEDIA_TriggerStartUp(uint32_t sub, uint32_t dsp, uint32_t entryAddr)
{
    if (bad_ids(sub, dsp))
        return kRange;
    MediaDev dev;
    if (dev.fd < 0)
        return kOpen;
    MEDIA_MEM_RW_STRU word{sub, dsp, MEDIA_ENTRY_WORD_ADDR, 0, addr_of(&entryAddr), sizeof entryAddr, 0};
    Sent s = request_on(dev.fd, MEDIA_MEM_WRITE, &word);
    if (s.failed) {
        MEDIA_LOG_ERR("ioctl write addr 0x%x len 0x%x error, errno = %d(%s)\n", MEDIA_ENTRY_WORD_ADDR,
                      static_cast<uint32_t>(sizeof entryAddr), s.err, std::strerror(s.err));
        return s.ret;
    }
    MEDIA_DEV_ID_STRU id{sub, dsp};
    s = request_on(dev.fd, MEDIA_STARTUP_TRIGGER, &id);
    if (s.failed)
        MEDIA_LOG_ERR("ioctl trigger subboard%d dsp%d start interrupt error, errno = %d(%s)\n", sub, dsp, s.err,
                      std::strerror(s.err));
    return s.ret;
}

namespace {

// Loads every section the walk hands out; 0 when the walk ends cleanly.
PlovStatus load_sections(uint32_t sub, uint32_t dsp, DspBinWalk &walk, uint32_t loadType)
{
    DspBinSection sec{};
    for (DspBinStep step; (step = media_bin_next(walk, sec)) != DspBinStep::End;) {
        if (step == DspBinStep::BadHead) {
            MEDIA_LOG_ERR("\n\r Section %d head offset 0x%x len 0x%x load addr 0x%x err!\n\r", sec.index, sec.offset,
                          0U, sec.addr);
            return kErr;
        }
        MEDIA_LOG_INFO("\n\r Section %d head offset 0x%x len 0x%x load addr 0x%x  \n\r", sec.index, sec.offset,
                       sec.len, sec.addr);
        if (step == DspBinStep::TooLong) {
            MEDIA_LOG_ERR(" section%d addr 0x%x len 0x%x too long err !\n", sec.index + 1, sec.addr, sec.len);
            return kRange;
        }
        PlovStatus ret = MEDIA_LoadDspPrgSec(sub, dsp, sec.addr, sec.data, sec.len, loadType);
        if (ret != 0) {
            MEDIA_LOG_ERR("MEDIA_LoadDspPrgSec section%d addr 0x%x len 0x%x err ret %d!\n", sec.index + 1, sec.addr,
                          sec.len, ret);
            return kErr;
        }
    }
    return 0;
}

uint16_t stored_crc(const uint8_t *image, uint32_t length)
{
    return static_cast<uint16_t>(image[length - 2] | image[length - 1] << 8);
}

} // namespace

PlovStatus MEDIA_LoadDspBin(uint32_t sub, uint32_t dsp, const uint8_t *image, uint32_t length, uint32_t loadType)
{
    if (bad_ids(sub, dsp))
        return kRange;
    if (image == nullptr)
        return kNull;
    DspBinWalk walk;
    if (length == 0 || loadType >= kLoadTypes || !media_bin_open(walk, image, length)) {
        MEDIA_LOG_ERR("PLOV_MediaLoadDspPrg para err!\n");
        return kErr;
    }
    uint16_t stored = stored_crc(image, length), computed = MEDIA_Crc16Calc(image, length - 2);
    if (stored != computed) {
        MEDIA_LOG_ERR("MEDIA_LoadDspBin subboard%d dsp%d crc err 0x%x != 0x%x \n", sub, dsp, stored, computed);
        return kErr;
    }
    MEDIA_LOG_INFO("crc  0x%x == 0x%x \n", stored, computed);
    const EccZone *z = walk.zone;
    MEDIA_LOG_INFO("Bin ecc stru %.4s 0x%x 0x%x 0x%x %.4s 0x%x 0x%x 0x%x\n", z[0].acTag, z[0].uiEight, z[0].uiZoneAddr,
                   z[0].uiZoneLen, z[1].acTag, z[1].uiEight, z[1].uiZoneAddr, z[1].uiZoneLen);
    if (MEDIA_DspEccEnable(sub, dsp, walk.zone) != 0) {
        MEDIA_LOG_ERR("MEDIA_DspEccEnable subboard%d dsp%d err !\n", sub, dsp);
        return kErr;
    }
    MEDIA_LOG_INFO("\n\r BinHead.uiEntryAddr = 0x%x BinHead.uiSecNum = %d \n\r", walk.entryAddr, walk.secNum);
    PlovStatus ret = load_sections(sub, dsp, walk, loadType);
    if (ret != 0)
        return ret;
    ret = MEDIA_TriggerStartUp(sub, dsp, walk.entryAddr);
    if (ret != 0) {
        MEDIA_LOG_ERR("MEDIA_TriggerStartUp subboard %d dsp %d addr 0x%x err ret %d!\n", sub, dsp, walk.entryAddr, ret);
        return kErr;
    }
    MEDIA_LOG_INFO("\n\r MEDIA_TriggerStartUp success!\n\r");
    return 0;
}

// ---- hot plug ----------------------------------------------------------------------------------

namespace {

constexpr int kPortAttempts = 10;
constexpr int kLinkPolls = 2;
constexpr int kProbeAttempts = 3;

enum class PortTry { Up, Down, Failed };

// One attempt: port off, link down, reset, port on, link up.
PortTry port_attempt(uint32_t sub, uint32_t dsp, int r)
{
    PlovStatus ret = MEDIA_SetPciSwPort(sub, dsp, 0);
    if (ret != 0) {
        MEDIA_LOG_ERR("MEDIA_SetPciSwPort disable subboard%d dsp%d port err ret %d!\n", sub, dsp, ret);
        return PortTry::Failed;
    }
    host().usleep(50000);
    uint32_t link = 0;
    if ((ret = MEDIA_GetPortLinkState(sub, dsp, &link)) != 0) {
        MEDIA_LOG_ERR("MEDIA_GetPortLinkState subboard%d dsp%d err ret %d!\n", sub, dsp, ret);
        return PortTry::Failed;
    }
    if (link != 0) {
        MEDIA_LOG_ERR("MEDIA_GetPortLinkState subboard%d dsp%d %d times link down err,retry!\n", sub, dsp, r);
        return PortTry::Down;
    }
    MEDIA_LOG_INFO("MEDIA_GetPortLinkState disable subboard%d dsp%d port success!\n", sub, dsp);
    if ((ret = MEDIA_DspReset(sub, dsp)) != 0) {
        MEDIA_LOG_ERR("MEDIA_DspReset subboard%d dsp%d err ret %d!\n", sub, dsp, ret);
        return PortTry::Failed;
    }
    MEDIA_LOG_INFO("MEDIA_DspReset subboard%d dsp%d success!\n", sub, dsp);
    if ((ret = MEDIA_SetPciSwPort(sub, dsp, 1)) != 0) {
        MEDIA_LOG_ERR("MEDIA_SetPciSwPort enable subboard%d dsp%d port err ret %d!\n", sub, dsp, ret);
        return PortTry::Failed;
    }
    for (int poll = 0; poll < kLinkPolls; poll++) {
        host().sleep(1);
        if ((ret = MEDIA_GetPortLinkState(sub, dsp, &link)) != 0) {
            MEDIA_LOG_ERR("MEDIA_GetPortLinkState subboard%d dsp%d err ret %d!\n", sub, dsp, ret);
            return PortTry::Failed;
        }
        if (link != 0) {
            MEDIA_LOG_INFO("MEDIA_GetPortLinkState enable subboard%d dsp%d port success!\n", sub, dsp);
            return PortTry::Up;
        }
    }
    return PortTry::Down;
}

// Probe the DSP after plug-in: 0, -1200 or -1206.
PlovStatus probe(uint32_t sub, uint32_t dsp)
{
    for (int a = 0; a < kProbeAttempts; a++) {
        uint32_t state = 0;
        PlovStatus ret = MEDIA_GetInitState(sub, dsp, &state);
        if (ret != 0) {
            MEDIA_LOG_ERR("MEDIA_GetInitState subboard%d dsp%d err ret %d!\n", sub, dsp, ret);
            return kErr;
        }
        if (state == 1) {
            MEDIA_LOG_INFO("MEDIA_GetInitState subboard%d dsp%d probe success!\n", sub, dsp);
            return 0;
        }
        MEDIA_LOG_INFO("%d MEDIA_GetInitState subboard%d dsp%d uiState %d!\n", a, sub, dsp, 0);
        host().sleep(1);
    }
    MEDIA_LOG_INFO("MEDIA_GetInitState subboard%d dsp%d probe timeout!\n", sub, dsp);
    return kRetry;
}

} // namespace

PlovStatus MEDIA_CtrlPortAndCheck(uint32_t sub, uint32_t dsp)
{
    if (bad_ids(sub, dsp))
        return kRange;
    for (int r = 0; r < kPortAttempts; r++) {
        PortTry t = port_attempt(sub, dsp, r);
        if (t == PortTry::Failed)
            return kErr;
        if (t == PortTry::Up) {
            MEDIA_LOG_INFO("MEDIA_CtrlPortAndCheck subboard%d dsp%d retry %d times success!\n", sub, dsp, r);
            return 0;
        }
    }
    MEDIA_LOG_ERR("MEDIA_CtrlPortAndCheck subboard%d dsp%d retry %d times failed!\n", sub, dsp, kPortAttempts);
    return kRetry;
}

PlovStatus MEDIA_DspHotPlug(uint32_t sub, uint32_t dsp)
{
    if (bad_ids(sub, dsp))
        return kRange;
    PlovStatus ret = MEDIA_SetPciSwPortIoMem(sub, dsp, 0);
    if (ret != 0) {
        MEDIA_LOG_ERR("MEDIA_SetPciSwPortIoMem disable subboard%d dsp%d port iomem err ret %d!\n", sub, dsp, ret);
        return kErr;
    }
    if ((ret = MEDIA_DspHotPlugout(sub, dsp)) != 0)
        MEDIA_LOG_ERR("MEDIA_DspHotPlugout subboard%d dsp%d err ret %d!\n", sub, dsp, ret);
    else
        MEDIA_LOG_INFO("MEDIA_DspHotPlugout subboard%d dsp%d success!\n", sub, dsp);
    if ((ret = MEDIA_CtrlPortAndCheck(sub, dsp)) != 0) {
        MEDIA_DspHotPlugin(sub, dsp);
        MEDIA_SetPciSwPortIoMem(sub, dsp, 1);
        MEDIA_LOG_ERR("MEDIA_CtrlPortAndCheck subboard%d dsp%d port err ret %d!\n", sub, dsp, ret);
        return kErr;
    }
    if ((ret = MEDIA_DspHotPlugin(sub, dsp)) != 0) {
        MEDIA_SetPciSwPortIoMem(sub, dsp, 1);
        MEDIA_LOG_ERR("MEDIA_DspHotPlugin subboard%d dsp%d err ret %d!\n", sub, dsp, ret);
        return kErr;
    }
    MEDIA_LOG_INFO("MEDIA_DspHotPlugin subboard%d dsp%d success!\n", sub, dsp);
    if ((ret = MEDIA_SetPciSwPortIoMem(sub, dsp, 1)) != 0) {
        MEDIA_LOG_ERR("MEDIA_SetPciSwPortIoMem enable subboard%d dsp%d port iomem err ret %d!\n", sub, dsp, ret);
        return kErr;
    }
    return probe(sub, dsp);
}

// ---- path status ---------------------------------------------------------------------------------

namespace {

// One link field compared: the verdict for a differing current value.
PlovStatus field_verdict(int32_t valid, int32_t current, int32_t max, const char *name, uint32_t &out)
{
    if (current < 0 || current > max) {
        MEDIA_LOG_ERR("MEDIA_GetSubrdPathStatus valid link %s %d current link %s %d out of rang error!\n", name, valid,
                      name, current);
        return kErr;
    }
    if (current == 0) {
        MEDIA_LOG_ERR("MEDIA_GetSubrdPathStatus valid link %s %d current link %s %d error!\n", name, valid, name,
                      current);
        out = MEDIA_PATH_FAULT;
        return 0;
    }
    MEDIA_LOG_ERR("MEDIA_GetSubrdPathStatus valid link %s %d current link %s %d pretending error!\n", name, valid, name,
                  current);
    out = MEDIA_PATH_DEGRADED;
    return 0;
}

} // namespace

PlovStatus MEDIA_GetSubrdPathStatus(const MediaLinkInfo *valid, const MediaLinkInfo *current, uint32_t *status)
{
    if (valid == nullptr || current == nullptr || status == nullptr)
        return kNull;
    if (valid->LinkState != current->LinkState) {
        if (current->LinkState != 0 && current->LinkState != 1) {
            MEDIA_LOG_ERR("MEDIA_GetSubrdPathStatus valid link state %d current link state %d out of rang error!\n",
                          valid->LinkState, current->LinkState);
            return kErr;
        }
        MEDIA_LOG_ERR("MEDIA_GetSubrdPathStatus valid link state %d current link state %d error!\n", valid->LinkState,
                      current->LinkState);
        *status = MEDIA_PATH_FAULT;
        return 0;
    }
    if (valid->LinkWidth != current->LinkWidth)
        return field_verdict(valid->LinkWidth, current->LinkWidth, 32, "width", *status);
    if (valid->LinkSpeed != current->LinkSpeed)
        return field_verdict(valid->LinkSpeed, current->LinkSpeed, 4, "speed", *status);
    *status = MEDIA_PATH_NORMAL;
    return 0;
}

PlovStatus MEDIA_ParseSubrdStatus(HealthState *health)
{
    if (health == nullptr)
        return kNull;
    const stMediaManagePathStatus &m = health->stManagePath;
    const stMediaWorkPathStatus &w = health->stWorkPath;
    bool manageSound = m.enLoadAndConfigPathStatus == 1 && m.enResetAndConfigPathStatus == 1;
    uint32_t paths = std::min(w.ulSubWorkPathNum, MEDIA_SUB_WORK_PATH_MAX);
    bool workSound = true;
    for (uint32_t k = 0; k < paths; k++)
        workSound = workSound && w.astSubWorkPath[k].enSubWorkPathStatus == 1 && w.ulPublicWorkPathStatus == 1;
    static constexpr uint32_t kVerdict[2][2] = {{MEDIA_SUBRD_BOTH_FAULT, MEDIA_SUBRD_MANAGE_FAULT},
                                                {MEDIA_SUBRD_WORK_FAULT, MEDIA_SUBRD_HEALTHY}};
    health->enSubBoardHealthStatus = kVerdict[manageSound][workSound];
    return 0;
}

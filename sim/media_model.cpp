#include "sim/media_model.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <functional>
#include <map>
#include <set>

#include "sim/kit/field_fault.h"
#include "sim/kit/reg_file.h"
#include "sim/kit/sim_words.h"
#include "sim/media_prog.h"
#include "sim/sim_host.h"
#include "sim/sim_sched.h"

namespace {

using Page = std::array<uint8_t, 4096>;

struct Pending {
    bool active = false;
    uint64_t readsLeft = 0;
    uint64_t due = 0;
    bool never = false;
};

constexpr size_t kChanges = 4;

struct Dsp {
    bool present = true, port = true, iomem = true, plugged = true, link = true, init = true;
    uint32_t startedCores = 0;
    uint32_t resets = 0;
    uint64_t eccZones = 0;
    uint32_t ecc[4] = {};
    int threeStep = 0;
    RegFile appRegs;                  // PCIe application registers, 32 bits each
    MEDIA_PCI_MAP_RESULT windows[3] = {};
    MediaDelay delays[kChanges];
    Pending pending[kChanges];
    std::map<uint32_t, Page> mem;     // by address >> 12
    std::set<uint32_t> badBytes;
};

struct Subrd {
    bool present = false;
    SubrdState state{};
    int lpcErr = 0;
    Dsp dsps[MEDIA_DSP_NUM];
};

struct MediaState {
    bool registered = false;
    Subrd subrds[MEDIA_SUBRD_NUM];
    std::vector<uint8_t> lpc = std::vector<uint8_t>(0x10000, 0);
    uint8_t lpcLastB004 = 0;
};

MediaState &model()
{
    static MediaState *state = new MediaState;  // outlives static destructors
    return *state;
}

constexpr uint64_t kWindowBase = 0x3800000000ULL;

MEDIA_PCI_MAP_RESULT default_window(uint32_t sub, uint32_t dsp, uint32_t type)
{
    static constexpr uint32_t kDspAddr[] = {0x10800000, 0x0C000000, 0x80000000};
    static constexpr uint32_t kSize[] = {0x80000, 0x400000, 0x40000000};
    uint64_t pcie = kWindowBase + (uint64_t{sub} * MEDIA_DSP_NUM + dsp) * 0x100000000ULL + type * 0x40000000ULL;
    return MEDIA_PCI_MAP_RESULT{pcie, kDspAddr[type], kSize[type], {}};
}

void fresh_subrd(uint32_t s, bool present)
{
    Subrd &sb = model().subrds[s];
    sb = Subrd{};
    sb.present = present;
    for (MediaPortState &p : sb.state.DspPortState)
        p = {1, 2, 2, 0};
    sb.state.FpgaPortState = {1, 8, 2, 0};
    sb.state.CpuPortState = {1, 1, 2, 0};
    sb.state.LpcState = 1;
    for (uint32_t d = 0; d < MEDIA_DSP_NUM; d++)
        for (uint32_t t = 0; t < 3; t++)
            sb.dsps[d].windows[t] = default_window(s, d, t);
}

Dsp &dsp_of(uint32_t sub, uint32_t dsp) { return model().subrds[sub].dsps[dsp]; }

bool dsp_here(uint32_t sub, uint32_t dsp) { return model().subrds[sub].present && dsp_of(sub, dsp).present; }

// ---- changes that may come later ------------------------------------------------------

bool &changed_flag(Dsp &d, MediaChange c)
{
    switch (c) {
    case MediaChange::LinkDown:
    case MediaChange::LinkUp: return d.link;
    case MediaChange::Init: return d.init;
    case MediaChange::Start: break;
    }
    static bool unused;
    return unused;
}

void apply(Dsp &d, MediaChange c)
{
    d.pending[static_cast<size_t>(c)].active = false;
    if (c == MediaChange::Start)
        d.startedCores = 0xFF;
    else
        changed_flag(d, c) = c != MediaChange::LinkDown;
}

// A request starts a change: at once, or pending until its delay passes.
void start(Dsp &d, MediaChange c)
{
    size_t i = static_cast<size_t>(c);
    // a newer change of the link replaces the one still pending
    if (c == MediaChange::LinkDown || c == MediaChange::LinkUp) {
        d.pending[static_cast<size_t>(MediaChange::LinkDown)].active = false;
        d.pending[static_cast<size_t>(MediaChange::LinkUp)].active = false;
    }
    const MediaDelay &delay = d.delays[i];
    if (delay.when == MediaWhen::Now)
        return apply(d, c);
    d.pending[i] = Pending{true, delay.n, sched_now_ns() + delay.n, delay.when == MediaWhen::Never};
}

// A read of a state: pending changes whose delay has passed take effect.
void settle(Dsp &d, MediaChange c)
{
    Pending &p = d.pending[static_cast<size_t>(c)];
    if (!p.active || p.never)
        return;
    MediaWhen when = d.delays[static_cast<size_t>(c)].when;
    if (when == MediaWhen::Reads ? p.readsLeft-- == 0 : sched_now_ns() >= p.due)
        apply(d, c);
}

// ---- DSP memory ----------------------------------------------------------------------------

struct MemRange {
    uint32_t first;
    uint32_t size;
};

constexpr MemRange kMemRanges[] = {
    {0x10800000, 0x80000}, {0x11800000, 0x80000}, {0x12800000, 0x80000}, {0x13800000, 0x80000},
    {0x14800000, 0x80000}, {0x15800000, 0x80000}, {0x16800000, 0x80000}, {0x17800000, 0x80000},
    {0x0C000000, 0x400000}, {0x80000000, 0x40000000},
};

bool mem_range_ok(uint32_t addr, uint32_t len)
{
    for (const MemRange &r : kMemRanges)
        if (addr >= r.first && uint64_t{addr} + len <= uint64_t{r.first} + r.size)
            return true;
    return false;
}

// Page by page; reads of a faulty byte answer its complement.
void mem_copy(Dsp &d, uint32_t addr, uint8_t *buf, uint32_t len, bool write)
{
    for (uint32_t done = 0; done < len;) {
        uint32_t a = addr + done;
        uint32_t n = std::min<uint32_t>(len - done, 0x1000 - (a & 0xFFF));
        if (write) {
            std::memcpy(d.mem[a >> 12].data() + (a & 0xFFF), buf + done, n);
        } else {
            auto it = d.mem.find(a >> 12);
            if (it == d.mem.end())
                std::memset(buf + done, 0, n);
            else
                std::memcpy(buf + done, it->second.data() + (a & 0xFFF), n);
        }
        done += n;
    }
    if (write)
        return;
    for (auto it = d.badBytes.lower_bound(addr); it != d.badBytes.end() && *it - addr < len; ++it)
        buf[*it - addr] = static_cast<uint8_t>(~buf[*it - addr]);
}

// ---- requests ---------------------------------------------------------------------------------

template <typename T> T &rec(const SimCall &call) { return *static_cast<T *>(call.arg); }

uint8_t *user(uint64_t address) { return reinterpret_cast<uint8_t *>(static_cast<uintptr_t>(address)); }

// Sub-board and DSP numbers of a record: -EINVAL out of range, -ENODEV absent.
int check_ids(uint32_t sub, uint32_t dsp)
{
    if (sub >= MEDIA_SUBRD_NUM || dsp >= MEDIA_DSP_NUM)
        return -EINVAL;
    return dsp_here(sub, dsp) ? 0 : -ENODEV;
}

int check_buf(uint64_t buf, uint64_t len, uint64_t want = 0)
{
    if (buf == 0)
        return -EFAULT;
    return len == 0 || (want != 0 && len != want) ? -EINVAL : 0;
}

void journal_span(SimJournalEntry &e, uint64_t address, uint64_t length)
{
    e.address = address;
    e.length = length;
}

// How the DSP program writes its own memory from inside a request.
MediaProgWrite prog_writer(Dsp &d)
{
    return [&d](uint32_t addr, const uint8_t *bytes, uint32_t len) {
        std::vector<uint8_t> copy(bytes, bytes + len);
        mem_copy(d, addr, copy.data(), len, true);
    };
}

int mem_rw(uint32_t sub, uint32_t dsp, uint32_t addr, uint64_t buf, uint32_t len, bool write, SimJournalEntry &e)
{
    if (int r = check_ids(sub, dsp); r != 0)
        return r;
    if (int r = check_buf(buf, len); r != 0)
        return r;
    if (!mem_range_ok(addr, len))
        return -EINVAL;
    journal_span(e, addr, len);
    if (write)
        sim_attach(e, "data", user(buf), len);
    Dsp &d = dsp_of(sub, dsp);
    mem_copy(d, addr, user(buf), len, write);
    if (write)
        media_prog_on_write(sub, dsp, addr, user(buf), len, prog_writer(d));
    return 0;
}

int handle_mem(const SimCall &call, SimJournalEntry &e)
{
    auto &r = rec<MEDIA_MEM_RW_STRU>(call);
    return mem_rw(r.uiSubrdId, r.uiDspId, r.uiDspAddr, r.ullBuf, r.uiLen, call.request == MEDIA_MEM_WRITE, e);
}

int handle_mem_test(const SimCall &call, SimJournalEntry &e)
{
    auto &r = rec<MEDIA_MEM_TEST_STRU>(call);
    uint32_t w = r.uiWidth;
    if ((w != 1 && w != 2 && w != 4 && w != 8) || r.uiDspAddr % w != 0 || r.uiLen % w != 0)
        return -EINVAL;
    return mem_rw(r.uiSubrdId, r.uiDspId, r.uiDspAddr, r.ullBuf, r.uiLen, call.request == MEDIA_ECC_TEST_WRITE, e);
}

int handle_fill(const SimCall &call, SimJournalEntry &e)
{
    auto &r = rec<MEDIA_FILL_MEM_STRU>(call);
    if (int c = check_ids(r.uiSubrdId, r.uiDspId); c != 0)
        return c;
    if (r.uiLen == 0 || !mem_range_ok(r.uiDspAddr, r.uiLen))
        return -EINVAL;
    journal_span(e, r.uiDspAddr, r.uiLen);
    std::vector<uint8_t> bytes(r.uiLen, r.ucValue);
    mem_copy(dsp_of(r.uiSubrdId, r.uiDspId), r.uiDspAddr, bytes.data(), r.uiLen, true);
    return 0;
}

// The state answers: "VALID" or not; an absent DSP answers "ABSENT".
int answer_state(uint64_t buf, uint32_t len, uint32_t sub, uint32_t dsp, const std::function<bool(Dsp &)> &valid)
{
    if (int r = check_buf(buf, len, 8); r != 0)
        return r;
    if (sub >= MEDIA_SUBRD_NUM || dsp >= MEDIA_DSP_NUM)
        return -EINVAL;
    const char *text = dsp_here(sub, dsp) && valid(dsp_of(sub, dsp)) ? "VALID\0\0" : "ABSENT\0";
    std::memcpy(user(buf), text, 8);
    return 0;
}

int handle_init_state(const SimCall &call, SimJournalEntry &)
{
    auto &r = rec<MEDIA_DEV_STATE_STRU>(call);
    return answer_state(r.ullBuf, r.uiLen, r.uiSubrdId, r.uiDspId, [](Dsp &d) {
        settle(d, MediaChange::Init);
        return d.init && d.plugged;
    });
}

int handle_link_state(const SimCall &call, SimJournalEntry &)
{
    auto &r = rec<MEDIA_DEV_STATE_STRU>(call);
    return answer_state(r.ullBuf, r.uiLen, r.uiSubrdId, r.uiDspId, [](Dsp &d) {
        settle(d, MediaChange::LinkDown);
        settle(d, MediaChange::LinkUp);
        return d.link;
    });
}

int handle_startup_state(const SimCall &call, SimJournalEntry &)
{
    auto &r = rec<MEDIA_DEV_CORE_STATE_STRU>(call);
    if (r.uiCoreId >= MEDIA_CORE_NUM)
        return -EINVAL;
    uint32_t core = r.uiCoreId;
    return answer_state(r.ullBuf, r.uiLen, r.uiSubrdId, r.uiDspId, [core](Dsp &d) {
        settle(d, MediaChange::Start);
        return (d.startedCores >> core & 1) != 0;
    });
}

// Requests on one DSP named by a MEDIA_DEV_ID_STRU.
int handle_id(const SimCall &call, SimJournalEntry &)
{
    auto &r = rec<MEDIA_DEV_ID_STRU>(call);
    if (call.request == MEDIA_LPC_TEST) {
        if (r.uiSubrdId >= MEDIA_SUBRD_NUM || r.uiDspId != 0)
            return -EINVAL;
        const Subrd &sb = model().subrds[r.uiSubrdId];
        return sb.present ? -sb.lpcErr : -ENODEV;
    }
    if (int c = check_ids(r.uiSubrdId, r.uiDspId); c != 0)
        return c;
    Dsp &d = dsp_of(r.uiSubrdId, r.uiDspId);
    switch (call.request) {
    case MEDIA_DEV_PLUGIN:
        d.plugged = true;
        start(d, MediaChange::Init);
        return 0;
    case MEDIA_DEV_PLUGOUT:
        d.plugged = false;
        d.init = false;
        d.pending[static_cast<size_t>(MediaChange::Init)].active = false;
        return 0;
    case MEDIA_RESET_DEV:
        d.resets++;
        d.startedCores = 0;
        d.pending[static_cast<size_t>(MediaChange::Start)].active = false;
        media_prog_on_reset(r.uiSubrdId, r.uiDspId);
        return 0;
    case MEDIA_STARTUP_TRIGGER:
        start(d, MediaChange::Start);
        media_prog_on_trigger(r.uiSubrdId, r.uiDspId, prog_writer(d));
        return 0;
    case MEDIA_THREE_STEP_TEST: return -d.threeStep;
    default: return -EINVAL;  // the map request is answered by no operation
    }
}

int handle_port(const SimCall &call, SimJournalEntry &e)
{
    auto &r = rec<MEDIA_PORT_CTRL_STRU>(call);
    if (int c = check_ids(r.uiSubrdId, r.uiDspId); c != 0)
        return c;
    if (r.uiCtrl > 1)
        return -EINVAL;
    e.value = r.uiCtrl;
    Dsp &d = dsp_of(r.uiSubrdId, r.uiDspId);
    bool on = r.uiCtrl == 1;
    if (call.request == MEDIA_SW_PORT_IOMEM_CTRL) {
        d.iomem = on;
        return 0;
    }
    d.port = on;
    start(d, on ? MediaChange::LinkUp : MediaChange::LinkDown);
    return 0;
}

int handle_pci_addr(const SimCall &call, SimJournalEntry &)
{
    auto &r = rec<MEDIA_DEV_PCI_MAP_STRU>(call);
    if (r.uiCoreId >= MEDIA_CORE_NUM || r.uiType > MEDIA_REGION_DDR)
        return -EINVAL;
    if (int c = check_ids(r.uiSubrdId, r.uiDspId); c != 0)
        return c;
    if (r.ullOut == 0)
        return -EFAULT;
    MEDIA_PCI_MAP_RESULT w = dsp_of(r.uiSubrdId, r.uiDspId).windows[r.uiType];
    if (r.uiType == MEDIA_REGION_L2) {
        w.ullPcieAddr += uint64_t{r.uiCoreId} * w.uiSize;
        w.uiDspAddr += r.uiCoreId * 0x01000000U;
    }
    std::memcpy(user(r.ullOut), &w, sizeof w);
    return 0;
}

int handle_ecc(const SimCall &call, SimJournalEntry &)
{
    auto &r = rec<MEDIA_ECC_ZONE_STRU>(call);
    if (int c = check_ids(r.uiSubrdId, r.uiDspId); c != 0)
        return c;
    if (r.ullZoneNum > 2)
        return -EINVAL;
    Dsp &d = dsp_of(r.uiSubrdId, r.uiDspId);
    d.eccZones = r.ullZoneNum;
    uint32_t zones[4] = {r.uiZone0Addr, r.uiZone0Len, r.uiZone1Addr, r.uiZone1Len};
    std::memcpy(d.ecc, zones, sizeof zones);
    return 0;
}

int handle_lpc(const SimCall &call, SimJournalEntry &e)
{
    auto &r = rec<MEDIA_LPC_RW_STRU>(call);
    if (int c = check_buf(r.ullBuf, r.usLen); c != 0)
        return c;
    if (r.uiFlag > 1 || uint32_t{r.usLpcAddr} + r.usLen > 0x10000)
        return -EINVAL;
    MediaState &m = model();
    uint8_t *buf = user(r.ullBuf);
    journal_span(e, r.usLpcAddr, r.usLen);
    if (r.uiFlag == 1)
        sim_attach(e, "data", buf, r.usLen);
    for (uint32_t i = 0; i < r.usLen; i++) {
        uint32_t a = r.usLpcAddr + i;
        if (r.uiFlag == 1) {
            m.lpc[a] = buf[i];
            if (a == 0xB004)
                m.lpcLastB004 = buf[i];
        } else {
            buf[i] = a == 0xB004 ? static_cast<uint8_t>(~m.lpcLastB004) : m.lpc[a];
        }
    }
    return 0;
}

int handle_health(const SimCall &call, SimJournalEntry &)
{
    auto &r = rec<MEDIA_HEALTH_STRU>(call);
    if (r.uiSubrdId >= MEDIA_SUBRD_NUM)
        return -EINVAL;
    if (r.ullBuf == 0)
        return -EFAULT;
    const Subrd &sb = model().subrds[r.uiSubrdId];
    if (!sb.present)
        return -ENODEV;
    std::memcpy(user(r.ullBuf), &sb.state, sizeof sb.state);
    return 0;
}

int handle_app(const SimCall &call, SimJournalEntry &e)
{
    auto &r = rec<MEDIA_PCIE_APP_STRU>(call);
    if (int c = check_ids(r.uiSubrdId, r.uiDspId); c != 0)
        return c;
    if (int c = check_buf(r.ullBuf, r.uiLen); c != 0)
        return c;
    if (r.uiFlag > 1 || r.uiLen % 4 != 0 || r.uiRegAddr % 4 != 0)
        return -EINVAL;
    journal_span(e, r.uiRegAddr, r.uiLen);
    Dsp &d = dsp_of(r.uiSubrdId, r.uiDspId);
    uint8_t *buf = user(r.ullBuf);
    if (r.uiFlag == 1)
        sim_attach(e, "data", buf, r.uiLen);
    for (uint32_t i = 0; i < r.uiLen; i += 4) {
        uint32_t word = 0;
        if (r.uiFlag == 1) {
            std::memcpy(&word, buf + i, 4);
            reg_write(d.appRegs, r.uiRegAddr + i, word);
        } else {
            word = static_cast<uint32_t>(reg_read(d.appRegs, r.uiRegAddr + i));
            std::memcpy(buf + i, &word, 4);
        }
    }
    return 0;
}

constexpr SimRequest kRequests[] = {
    {MEDIA_DEV_PLUGIN, sizeof(MEDIA_DEV_ID_STRU), handle_id},
    {MEDIA_DEV_PLUGOUT, sizeof(MEDIA_DEV_ID_STRU), handle_id},
    {MEDIA_DEV_MEM_MAP, sizeof(MEDIA_DEV_ID_STRU), handle_id},
    {MEDIA_MEM_READ, sizeof(MEDIA_MEM_RW_STRU), handle_mem},
    {MEDIA_MEM_WRITE, sizeof(MEDIA_MEM_RW_STRU), handle_mem},
    {MEDIA_STARTUP_TRIGGER, sizeof(MEDIA_DEV_ID_STRU), handle_id},
    {MEDIA_STARTUP_STATE, sizeof(MEDIA_DEV_CORE_STATE_STRU), handle_startup_state},
    {MEDIA_INIT_STATE, sizeof(MEDIA_DEV_STATE_STRU), handle_init_state},
    {MEDIA_RESET_DEV, sizeof(MEDIA_DEV_ID_STRU), handle_id},
    {MEDIA_GET_PCI_ADDR, sizeof(MEDIA_DEV_PCI_MAP_STRU), handle_pci_addr},
    {MEDIA_ECC_ENABLE, sizeof(MEDIA_ECC_ZONE_STRU), handle_ecc},
    {MEDIA_FILL_MEM, sizeof(MEDIA_FILL_MEM_STRU), handle_fill},
    {MEDIA_SW_PORT_CTRL, sizeof(MEDIA_PORT_CTRL_STRU), handle_port},
    {MEDIA_LPC_RW, sizeof(MEDIA_LPC_RW_STRU), handle_lpc},
    {MEDIA_PORT_LINK_STATE, sizeof(MEDIA_DEV_STATE_STRU), handle_link_state},
    {MEDIA_SW_PORT_IOMEM_CTRL, sizeof(MEDIA_PORT_CTRL_STRU), handle_port},
    {MEDIA_LPC_TEST, sizeof(MEDIA_DEV_ID_STRU), handle_id},
    {MEDIA_ECC_TEST_READ, sizeof(MEDIA_MEM_TEST_STRU), handle_mem_test},
    {MEDIA_ECC_TEST_WRITE, sizeof(MEDIA_MEM_TEST_STRU), handle_mem_test},
    {MEDIA_SUBRD_HEALTH, sizeof(MEDIA_HEALTH_STRU), handle_health},
    {MEDIA_THREE_STEP_TEST, sizeof(MEDIA_DEV_ID_STRU), handle_id},
    {MEDIA_PCIE_APP_RW, sizeof(MEDIA_PCIE_APP_STRU), handle_app},
};
static_assert(std::size(kRequests) == 22);

constexpr SimFileOps kMediaOps = {
    "media", 0, nullptr, nullptr, nullptr, nullptr, kRequests, std::size(kRequests),
    nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
};

void fresh()
{
    MediaState &m = model();
    fresh_subrd(0, true);
    fresh_subrd(1, false);
    m.lpc.assign(0x10000, 0);
    m.lpcLastB004 = 0;
}

// ---- saved state -----------------------------------------------------------------------------

constexpr const char *kSection = "media";

struct FlagKey {
    const char *name;
    bool Dsp::*flag;
};

constexpr FlagKey kFlags[] = {
    {"present", &Dsp::present}, {"port", &Dsp::port}, {"iomem", &Dsp::iomem},
    {"plugged", &Dsp::plugged}, {"link", &Dsp::link}, {"init", &Dsp::init},
};

std::string dsp_key(uint32_t s, uint32_t d, const char *what) { return "dsp " + std::to_string(s) + " " + std::to_string(d) + " " + what; }

void save_dsp(SimDocSection &sec, uint32_t s, uint32_t d, const Dsp &dsp)
{
    std::vector<uint64_t> flags;
    for (const FlagKey &f : kFlags)
        flags.push_back(dsp.*f.flag ? 1 : 0);
    sec.put(dsp_key(s, d, "flags"), flags);
    sec.put(dsp_key(s, d, "state"), {dsp.startedCores, dsp.resets, dsp.eccZones, dsp.ecc[0], dsp.ecc[1], dsp.ecc[2],
                                     dsp.ecc[3], static_cast<uint64_t>(dsp.threeStep)});
    for (const auto &[page, bytes] : dsp.mem)
        sec.put_bytes(dsp_key(s, d, ("mem " + sim_doc_hex(uint64_t{page} << 12)).c_str()),
                      std::vector<uint8_t>(bytes.begin(), bytes.end()));
    for (const auto &[reg, cell] : dsp.appRegs.cells)
        sec.put(dsp_key(s, d, ("app " + sim_doc_hex(reg)).c_str()), cell.value);
}

// The saved DSP state words: started cores, resets, ECC zones (the driver
// takes two at most), the four zone words, and the three-step result.
constexpr uint64_t kStateMax[] = {UINT32_MAX, UINT32_MAX, 2,          UINT32_MAX,
                                  UINT32_MAX, UINT32_MAX, UINT32_MAX, UINT64_MAX};
constexpr size_t kStateResets = 1;
constexpr size_t kPageBytes = std::tuple_size_v<Page>;

// A saved errno (written as a 64-bit two's complement) that a request
// returns negated.
bool signed_errno(SimDoc &doc, const SimDocEntry &e, uint64_t word, int &out)
{
    const auto v = static_cast<int64_t>(word);
    if (v < -INT32_MAX || v > INT32_MAX)
        return doc.fail(e.line, "'" + e.key + "' holds " + std::to_string(v) + ", not an errno");
    out = static_cast<int>(v);
    return true;
}

bool load_state(SimDoc &doc, const SimDocEntry &e, Dsp &dsp)
{
    std::vector<uint64_t> words;
    if (!doc.get(e, words, std::size(kStateMax), UINT64_MAX))
        return false;
    if (words.size() != std::size(kStateMax))
        return doc.fail(e.line, "'" + e.key + "' wants " + std::to_string(std::size(kStateMax)) + " integers");
    for (size_t i = 0; i < words.size(); i++)
        if (words[i] > kStateMax[i])
            return doc.fail(e.line, "'" + e.key + "' holds " + sim_doc_hex(words[i]) + ", above its largest value " +
                                        sim_doc_hex(kStateMax[i]));
    dsp.startedCores = static_cast<uint32_t>(words[0]);
    dsp.resets = static_cast<uint32_t>(words[1]);
    dsp.eccZones = words[2];
    for (size_t i = 0; i < 4; i++)
        dsp.ecc[i] = static_cast<uint32_t>(words[3 + i]);
    return signed_errno(doc, e, words[7], dsp.threeStep);
}

bool load_dsp_entry(SimDoc &doc, const SimDocEntry &e, const std::vector<std::string_view> &w, Dsp &dsp)
{
    std::vector<uint64_t> words;
    std::vector<uint8_t> bytes;
    uint64_t at = 0;
    if (w.size() == 4 && w[3] == "flags") {
        if (!doc.get(e, words, std::size(kFlags), 1) || words.size() != std::size(kFlags))
            return doc.fail(e.line, "'" + e.key + "' wants " + std::to_string(std::size(kFlags)) + " flags of 0 or 1");
        for (size_t i = 0; i < words.size(); i++)
            dsp.*kFlags[i].flag = words[i] != 0;
        return true;
    }
    if (w.size() == 4 && w[3] == "state")
        return load_state(doc, e, dsp);
    const bool address = w.size() == 5 && sim_doc_number(w[4], at) && at <= UINT32_MAX;
    if (address && w[3] == "mem") {
        if (at % kPageBytes != 0)
            return doc.fail(e.line, "'" + e.key + "' is not at the start of a DSP memory page");
        if (!doc.get_bytes(e, bytes, kPageBytes, kPageBytes))
            return false;
        std::copy(bytes.begin(), bytes.end(), dsp.mem[static_cast<uint32_t>(at >> 12)].begin());
        return true;
    }
    if (address && w[3] == "app") {
        uint64_t value = 0;
        if (!doc.get(e, value, UINT32_MAX))
            return false;
        reg_set(dsp.appRegs, static_cast<uint32_t>(at), static_cast<uint32_t>(value));
        return true;
    }
    return doc.fail(e.line, "media: entry '" + e.key + "' not understood");
}

bool load_subrd(SimDoc &doc, const SimDocEntry &e, std::string_view what, Subrd &sb)
{
    std::vector<uint64_t> words;
    std::vector<uint8_t> bytes;
    if (what == "present") {
        if (!doc.get(e, words, 2, UINT64_MAX) || words.size() != 2 || words[0] > 1)
            return doc.fail(e.line, "'" + e.key + "' wants a flag of 0 or 1 and an errno");
        sb.present = words[0] != 0;
        return signed_errno(doc, e, words[1], sb.lpcErr);
    }
    if (what == "paths") {
        if (!doc.get_bytes(e, bytes, sizeof(SubrdState), sizeof(SubrdState)))
            return false;
        std::memcpy(&sb.state, bytes.data(), sizeof sb.state);
        return true;
    }
    return doc.fail(e.line, "media: entry '" + e.key + "' not understood");
}

bool load_entry(SimDoc &doc, const SimDocEntry &e)
{
    std::vector<std::string_view> w = sim_doc_words(e.key);
    uint64_t s = 0, d = 0;
    std::vector<uint8_t> bytes;
    if (w.size() >= 4 && w[0] == "dsp" && sim_doc_number(w[1], s) && sim_doc_number(w[2], d) && s < MEDIA_SUBRD_NUM &&
        d < MEDIA_DSP_NUM)
        return load_dsp_entry(doc, e, w, dsp_of(static_cast<uint32_t>(s), static_cast<uint32_t>(d)));
    if (w.size() == 3 && w[0] == "subrd" && sim_doc_number(w[1], s) && s < MEDIA_SUBRD_NUM)
        return load_subrd(doc, e, w[2], model().subrds[s]);
    if (w.size() == 1 && w[0] == "lpc") {
        if (!doc.get_bytes(e, bytes, 0x10000, 0x10000))
            return false;
        model().lpc = bytes;
        return true;
    }
    if (w.size() == 1 && w[0] == "lpcb004") {
        if (!doc.get_bytes(e, bytes, 1, 1))
            return false;
        model().lpcLastB004 = bytes[0];
        return true;
    }
    return doc.fail(e.line, "media: entry '" + e.key + "' not understood");
}

void register_node()
{
    sim_register_file(MEDIA_DEV_NODE, &kMediaOps, nullptr);
    model().registered = true;
}

// ---- fixture lines --------------------------------------------------------------------------

bool key_value(std::string_view word, std::string_view &key, std::string_view &value)
{
    size_t eq = word.find('=');
    if (eq == std::string_view::npos)
        return false;
    key = word.substr(0, eq);
    value = word.substr(eq + 1);
    return true;
}

bool ids(const std::vector<std::string_view> &w, uint32_t &s, uint32_t &d)
{
    uint64_t a = 0, b = 0;
    if (w.size() < 3 || !sim_number(w[1], a) || !sim_number(w[2], b) || a >= MEDIA_SUBRD_NUM || b >= MEDIA_DSP_NUM)
        return false;
    s = static_cast<uint32_t>(a);
    d = static_cast<uint32_t>(b);
    return true;
}

bool line_dsp(const std::vector<std::string_view> &w, std::string &err)
{
    uint32_t s = 0, d = 0;
    bool ok = ids(w, s, d) && w.size() > 3;
    for (size_t i = 3; ok && i < w.size(); i++) {
        std::string_view k, v;
        uint64_t n = 0;
        ok = key_value(w[i], k, v) && sim_number(v, n);
        bool known = k == "resets";
        for (const FlagKey &f : kFlags)
            known = known || k == f.name;
        // the resets count as the saved state words keep it
        ok = ok && known && (k != "resets" || n <= kStateMax[kStateResets]);
        if (ok)
            media_set_dsp(s, d, k, n);
    }
    return ok || (err = "media-dsp: SUB DSP KEY=N... expected", false);
}

bool port_triple(std::string_view v, MediaPortState &p)
{
    uint32_t x[3];  // the words the saved sub-board state keeps
    for (int i = 0; i < 3; i++) {
        size_t slash = v.find('/');
        if (!sim_number(v.substr(0, slash), x[i]) || (i < 2) == (slash == std::string_view::npos))
            return false;
        v = slash == std::string_view::npos ? std::string_view{} : v.substr(slash + 1);
    }
    p = {x[0], x[1], x[2], 0};
    return true;
}

MediaPortState *port_named(SubrdState &st, std::string_view name)
{
    if (name == "cpu")
        return &st.CpuPortState;
    if (name == "fpga")
        return &st.FpgaPortState;
    if (name.size() == 4 && name.starts_with("dsp") && name[3] >= '0' && name[3] <= '8')
        return &st.DspPortState[name[3] - '0'];
    return nullptr;
}

// One KEY=VALUE word of a sub-board line.
bool subrd_word(Subrd &sb, std::string_view word)
{
    std::string_view k, v;
    uint64_t n = 0;
    if (!key_value(word, k, v))
        return false;
    if (MediaPortState *port = port_named(sb.state, k))
        return port_triple(v, *port);
    if (!sim_number(v, n))
        return false;
    // Values as the saved board keeps them: an errno that fits an int, a
    // state word of 32 bits.
    if (k == "present")
        sb.present = n != 0;
    else if (k == "lpc" && n <= INT32_MAX)
        sb.lpcErr = static_cast<int>(n);
    else if (k == "lpcstate" && n <= UINT32_MAX)
        sb.state.LpcState = static_cast<uint32_t>(n);
    else
        return false;
    return true;
}

bool line_subrd(const std::vector<std::string_view> &w, std::string &err)
{
    uint64_t s = 0;
    bool ok = w.size() > 2 && sim_number(w[1], s) && s < MEDIA_SUBRD_NUM;
    for (size_t i = 2; ok && i < w.size(); i++)
        ok = subrd_word(model().subrds[s], w[i]);
    return ok || (err = "media-subrd: SUB present=N [lpc=ERRNO] [lpcstate=N] [PORT=STATE/WIDTH/SPEED...] expected", false);
}

constexpr std::pair<std::string_view, MediaChange> kChangeNames[] = {
    {"linkdown", MediaChange::LinkDown}, {"linkup", MediaChange::LinkUp},
    {"init", MediaChange::Init}, {"start", MediaChange::Start},
};

// now | never | reads=N | ms=N
bool when_word(std::string_view word, MediaDelay &delay)
{
    std::string_view k, v;
    uint64_t n = 0;
    delay = MediaDelay{};
    if (word == "never")
        delay.when = MediaWhen::Never;
    else if (key_value(word, k, v) && sim_number(v, n) && (k == "reads" || k == "ms"))
        delay = k == "reads" ? MediaDelay{MediaWhen::Reads, n} : MediaDelay{MediaWhen::Delay, n * 1000000};
    else
        return word == "now";
    return true;
}

bool line_delay(const std::vector<std::string_view> &w, std::string &err)
{
    uint32_t s = 0, d = 0;
    const std::string usage =
        "media-delay: SUB DSP linkdown|linkup|init|start|answer|handshake now|never|reads=N|ms=N expected";
    MediaDelay delay;
    if (w.size() != 5 || !ids(w, s, d) || !when_word(w[4], delay))
        return err = usage, false;
    if (w[3] == "answer")   // the DSP program's answer to the tool's 2
        return media_prog_set_answer(s, d, delay), true;
    if (w[3] == "handshake")   // every core's answer to the tool's handshake
        return media_prog_set_handshake(s, d, kMediaProgAllCores, delay), true;
    for (const auto &[name, change] : kChangeNames) {
        if (w[3] == name)
            return media_set_delay(s, d, change, delay), true;
    }
    return err = usage, false;
}

bool id_or_any(std::string_view text, int &out)
{
    uint64_t n = 0;
    if (text == "-")
        return out = -1, true;
    return sim_number(text, n) && n < 16 && (out = static_cast<int>(n), true);
}

bool line_fault(const std::vector<std::string_view> &w, std::string &err)
{
    uint64_t request = 0, e = 0, nth = 0;
    int s = 0, d = 0;
    if ((w.size() != 5 && w.size() != 6) || !sim_number(w[1], request) || !id_or_any(w[2], s) || !id_or_any(w[3], d) ||
        !sim_number(w[4], e) || (w.size() == 6 && !sim_number(w[5], nth)))
        return err = "media-fault: REQUEST SUB|- DSP|- ERRNO [NTH] expected", false;
    media_fail(request, s, d, static_cast<int>(e), static_cast<unsigned>(nth));
    return true;
}

// One optional word of a reply line: data=HEX or area=ADDR:HEX.
bool reply_word(std::string_view word, MediaProgReply &r)
{
    std::string_view k, v;
    if (!key_value(word, k, v))
        return false;
    if (k == "data") {
        r.data.clear();
        return sim_hex_bytes(v, r.data);
    }
    size_t colon = v.find(':');
    uint64_t addr = 0;
    if (k != "area" || colon == std::string_view::npos || !sim_number(v.substr(0, colon), addr) || addr == 0 ||
        addr > 0xFFFFFFFF)
        return false;
    r.area.clear();
    r.areaAddr = static_cast<uint32_t>(addr);
    return sim_hex_bytes(v.substr(colon + 1), r.area);
}

bool line_reply(const std::vector<std::string_view> &w, std::string &err)
{
    uint32_t s = 0, d = 0;
    uint64_t core = kMediaProgAllCores, cmd = 0;
    MediaProgReply r;
    bool ok = w.size() >= 6 && ids(w, s, d) && (w[3] == "-" || (sim_number(w[3], core) && core < MEDIA_CORE_NUM)) &&
              sim_number(w[4], cmd) && cmd <= 0xFFFF && when_word(w[5], r.when);
    for (size_t i = 6; ok && i < w.size(); i++)
        ok = reply_word(w[i], r);
    if (!ok)
        return err = "media-reply: SUB DSP CORE|- CMD now|never|ms=N [data=HEX] [area=ADDR:HEX] expected", false;
    media_prog_set_reply(s, d, static_cast<uint32_t>(core), static_cast<uint32_t>(cmd), r);
    return true;
}

struct FixtureRow {
    std::string_view keyword;
    bool (*apply)(const std::vector<std::string_view> &w, std::string &err);
};

constexpr FixtureRow kFixtureRows[] = {
    {"media-dsp", line_dsp},
    {"media-subrd", line_subrd},
    {"media-delay", line_delay},
    {"media-fault", line_fault},
    {"media-reply", line_reply},
};

} // namespace

// ---- board hooks ------------------------------------------------------------------------------

void media_model_reset()
{
    MediaState &m = model();
    if (m.registered)
        sim_remove_node(MEDIA_DEV_NODE);
    m = MediaState{};
    media_prog_reset_all();
    fresh();
}

bool media_model_present() { return model().registered && sim_node_present(MEDIA_DEV_NODE); }

bool media_model_attach(SimDoc &saved)
{
    media_model_reset();
    register_node();
    const SimDocSection *sec = saved.find(kSection);
    if (sec == nullptr)
        return true;
    for (const SimDocEntry &e : sec->entries)
        if (!load_entry(saved, e))
            return false;
    return true;
}

void media_model_save(SimDoc &doc)
{
    if (!model().registered)
        return;
    MediaState &m = model();
    SimDocSection &sec = doc.section(kSection);
    for (uint32_t s = 0; s < MEDIA_SUBRD_NUM; s++) {
        const Subrd &sb = m.subrds[s];
        std::string key = "subrd " + std::to_string(s);
        sec.put(key + " present", {sb.present ? 1U : 0U, static_cast<uint64_t>(sb.lpcErr)});
        const auto *p = reinterpret_cast<const uint8_t *>(&sb.state);
        sec.put_bytes(key + " paths", std::vector<uint8_t>(p, p + sizeof sb.state));
        for (uint32_t d = 0; d < MEDIA_DSP_NUM; d++)
            save_dsp(sec, s, d, sb.dsps[d]);
    }
    sec.put_bytes("lpc", m.lpc);
    sec.put_bytes("lpcb004", {m.lpcLastB004});
}

// ---- state for tests and fixtures -----------------------------------------------------------------

void media_set_delay(uint32_t sub, uint32_t dsp, MediaChange change, MediaDelay delay)
{
    sim_kernel_lock();
    dsp_of(sub, dsp).delays[static_cast<size_t>(change)] = delay;
    sim_kernel_unlock();
}

MediaDspView media_dsp_view(uint32_t sub, uint32_t dsp)
{
    sim_kernel_lock();
    const Dsp &d = dsp_of(sub, dsp);
    MediaDspView v{d.present, d.port, d.iomem, d.plugged, d.link, d.init, d.startedCores, d.resets, d.eccZones, {}};
    std::memcpy(v.ecc, d.ecc, sizeof v.ecc);
    sim_kernel_unlock();
    return v;
}

void media_set_dsp(uint32_t sub, uint32_t dsp, std::string_view key, uint64_t value)
{
    sim_kernel_lock();
    Dsp &d = dsp_of(sub, dsp);
    for (const FlagKey &f : kFlags)
        if (key == f.name)
            d.*f.flag = value != 0;
    if (key == "resets")
        d.resets = static_cast<uint32_t>(value);
    sim_kernel_unlock();
}

void media_set_subrd(uint32_t sub, bool present)
{
    sim_kernel_lock();
    model().subrds[sub].present = present;
    sim_kernel_unlock();
}

void media_set_subrd_state(uint32_t sub, const SubrdState &state)
{
    sim_kernel_lock();
    model().subrds[sub].state = state;
    sim_kernel_unlock();
}

void media_set_lpc_test(uint32_t sub, int err)
{
    sim_kernel_lock();
    model().subrds[sub].lpcErr = err;
    sim_kernel_unlock();
}

void media_set_three_step(uint32_t sub, uint32_t dsp, int err)
{
    sim_kernel_lock();
    dsp_of(sub, dsp).threeStep = err;
    sim_kernel_unlock();
}

void media_set_window(uint32_t sub, uint32_t dsp, uint32_t type, const MEDIA_PCI_MAP_RESULT &window)
{
    sim_kernel_lock();
    dsp_of(sub, dsp).windows[type] = window;
    sim_kernel_unlock();
}

void media_presence_at(uint32_t sub, uint32_t dsp, bool present, uint64_t when_ns)
{
    sched_at(when_ns, [sub, dsp, present] {
        if (dsp >= MEDIA_DSP_NUM)
            media_set_subrd(sub, present);
        else
            media_set_dsp(sub, dsp, "present", present);
    });
}

bool media_mem_read(uint32_t sub, uint32_t dsp, uint32_t addr, void *buf, uint32_t len)
{
    if (!mem_range_ok(addr, len))
        return false;
    sim_kernel_lock();
    Dsp &d = dsp_of(sub, dsp);
    std::set<uint32_t> bad;
    bad.swap(d.badBytes);  // the memory as held, not as the faulty read answers
    mem_copy(d, addr, static_cast<uint8_t *>(buf), len, false);
    bad.swap(d.badBytes);
    sim_kernel_unlock();
    return true;
}

bool media_mem_write(uint32_t sub, uint32_t dsp, uint32_t addr, const void *buf, uint32_t len)
{
    if (!mem_range_ok(addr, len))
        return false;
    std::vector<uint8_t> bytes(static_cast<const uint8_t *>(buf), static_cast<const uint8_t *>(buf) + len);
    sim_kernel_lock();
    mem_copy(dsp_of(sub, dsp), addr, bytes.data(), len, true);
    sim_kernel_unlock();
    return true;
}

uint8_t media_lpc_byte(uint16_t addr) { return model().lpc[addr]; }

uint32_t media_app_reg(uint32_t sub, uint32_t dsp, uint32_t reg)
{
    sim_kernel_lock();
    auto v = static_cast<uint32_t>(reg_peek(dsp_of(sub, dsp).appRegs, reg));
    sim_kernel_unlock();
    return v;
}

void media_fail(unsigned long request, int sub, int dsp, int err, unsigned nth)
{
    std::vector<FieldMatch> fields;  // every record naming a DSP starts with sub-board, DSP
    if (sub >= 0)
        fields.push_back({0, 4, static_cast<uint32_t>(sub)});
    if (dsp >= 0)
        fields.push_back({4, 4, static_cast<uint32_t>(dsp)});
    if (request == MEDIA_LPC_RW && !fields.empty())
        return;  // an LPC record names no DSP: such a fault never answers
    const bool everyCall = fields.empty();
    SimFault f = field_fault(MEDIA_DEV_NODE, request, std::move(fields), nth);
    if (everyCall)
        f.match = nullptr;
    f.err = err;
    sim_add_fault(std::move(f));
}

void media_fault_readback(uint32_t sub, uint32_t dsp, uint32_t addr)
{
    sim_kernel_lock();
    dsp_of(sub, dsp).badBytes.insert(addr);
    sim_kernel_unlock();
}

bool media_fixture_line(std::string_view line, std::string &err)
{
    std::vector<std::string_view> w = sim_doc_words(line);
    for (const FixtureRow &row : kFixtureRows)
        if (!w.empty() && w[0] == row.keyword)
            return row.apply(w, err);
    err = "not a media line";
    return false;
}

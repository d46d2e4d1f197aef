// The simulated compression accelerator; rules in asmf_model.h.
#include "sim/asmf_model.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <map>
#include <memory>
#include <span>
#include <sys/mman.h>
#include <tuple>
#include <unistd.h>
#include <zlib.h>

#include "bases/drv/asmf_drv.h"
#include "sim/kit/reg_file.h"
#include "sim/kit/sim_words.h"
#include "sim/sim_host.h"
#include "sim/sim_sched.h"
#include "sim/sim_socket.h"

namespace {

constexpr uint64_t kMiB = uint64_t{1} << 20;
constexpr uint32_t kFreeNothing = 0xFFFFFFFFu;

struct Block {      // an allocation: its first block and length
    uint64_t blocks;
    uint32_t pid, tid;
};

struct Held {       // a card resource held by a task
    uint32_t pid, tid, queue, dev;
};

// Register map of the card's diagnostics: DDR control B, self-check status
// C, turn-test status T (five channels), PCIe DMA control P (two channels).
constexpr uint32_t kDdrChannels = 5, kDmaChannels = 2;
constexpr uint32_t ddr_b(uint32_t n) { return 0xE108 + n * 0x1000; }
constexpr uint32_t ddr_c(uint32_t n) { return 0xE600 + n * 0x1000; }
constexpr uint32_t ddr_t(uint32_t n) { return 0xE700 + n * 0x1000; }
constexpr uint32_t dma_p(uint32_t n) { return 0xC014 + n * 0xA000; }
constexpr uint32_t ddr_check_enable(uint32_t n) { return ddr_b(n) + 0x10; }
constexpr uint32_t ddr_turn_enable(uint32_t n) { return ddr_b(n) + 0x38; }

constexpr uint64_t kCheckIdle = 0x3;     // initialised, no check run yet
constexpr uint64_t kCheckDone = 0x1100;  // finished; with kCheckPass when it passed
constexpr uint64_t kCheckPass = 0x2000;
constexpr uint64_t kTurnBusy = 0x2;      // a turn test runs while its enable word is 1

constexpr auto kCardRules = [] {
    std::array<RegRule, kDdrChannels> r{};
    for (uint32_t n = 0; n < kDdrChannels; n++)
        r[n] = RegRule{ddr_c(n), kCheckIdle};
    return r;
}();

constexpr auto kCardTriggers = [] {
    std::array<RegTrigger, 2 * kDdrChannels> t{};
    for (uint32_t n = 0; n < kDdrChannels; n++) {
        t[2 * n] = RegTrigger{ddr_turn_enable(n), 1, std::nullopt, ddr_t(n), kTurnBusy};
        t[2 * n + 1] = RegTrigger{ddr_turn_enable(n), 0, std::nullopt, ddr_t(n), 0, kTurnBusy};
    }
    return t;
}();

RegFile fresh_regs()
{
    RegFile rf;
    reg_file_reset(rf, kCardRules, kCardTriggers);
    return rf;
}

struct CardState {
    uint32_t alh = 0, lazy = 0;
    AsmfLevelCfg level{};
    uint8_t traffic[256] = {};
    RegFile regs = fresh_regs();
    std::optional<uint64_t> dmaSince[kDmaChannels];   // when each DMA channel last started
    unsigned lastwords = 0;
};

struct AsmfSim {
    AsmfSimSettings settings;
    std::vector<AsmfSimDevice> devices;
    std::map<std::pair<int, uint64_t>, Block> blocks;   // (pool, first block)
    std::map<uint32_t, Held> held;                      // by resource id
    std::map<uint32_t, int> depth;                      // by queue id
    std::map<std::tuple<uint32_t, uint32_t, uint32_t, uint32_t>, uint32_t> fileIds;
    std::map<uint32_t, CardState> cards;                // by device id
    uint32_t nextRes = 1, nextFile = 0, reservedPid = 0;
    unsigned removes = 0;
    size_t tasks = 0;
    std::vector<uint8_t> held_answer;                   // reorder: sent after the next
    std::map<uint32_t, uint64_t> last_answer;           // per reply port: a stream is answered in order
    uint32_t held_port = 0;
    int store = -1;                                      // the pools' sparse memory
    uint8_t *view = nullptr;                             // the store mapped whole (nullptr: not mapped)
    size_t viewLen = 0;
    std::vector<uint8_t> out;                            // a task's output, kept to spare its pages
};

AsmfSim &sim()
{
    static AsmfSim *s = new AsmfSim;
    return *s;
}

template <typename T> T &rec(const SimCall &c) { return *static_cast<T *>(c.arg); }

uint32_t queue_id(uint32_t dev, uint32_t type) { return dev << 8 | type; }

void copy_text(char *dst, size_t cap, const std::string &text)
{
    std::memset(dst, 0, cap);
    std::memcpy(dst, text.data(), std::min(cap, text.size()));
}

AsmfSimDevice *device(uint32_t id)
{
    for (AsmfSimDevice &d : sim().devices)
        if (d.id == id)
            return &d;
    return nullptr;
}

void fill_entry(AsmfDevEntry &e, const AsmfSimDevice &d)
{
    std::memset(&e, 0, sizeof e);
    e.devId = d.id;
    copy_text(e.name, sizeof e.name, d.name);
    e.funcType = d.funcType;
    e.devType = d.devType;
    e.letter = d.letter;
    copy_text(e.path, sizeof e.path, d.node);
}

// ---- memory node -----------------------------------------------------------------------

int pool_count() { return static_cast<int>(sim().settings.pools.size()); }

int mem_attr(const SimCall &c, SimJournalEntry &)
{
    auto &a = rec<AsmfPoolAttr>(c);
    a = AsmfPoolAttr{};
    const auto &pools = sim().settings.pools;
    for (size_t i = 0; i < std::min<size_t>(pools.size(), 2); i++) {
        a.busAddr[i] = pools[i].bus;
        a.size[i] = pools[i].size;
    }
    a.count = pool_count();
    return 0;
}

uint64_t held_in(int pool)
{
    uint64_t n = 0;
    for (const auto &[key, b] : sim().blocks)
        if (key.first == pool)
            n += b.blocks;
    return n;
}

int mem_stat(const SimCall &c, SimJournalEntry &)
{
    auto &s = rec<AsmfPoolStat>(c);
    if (s.poolId >= static_cast<uint32_t>(pool_count()))
        return -EINVAL;
    uint64_t total = sim().settings.pools[s.poolId].size / kMiB, used = held_in(static_cast<int>(s.poolId));
    uint64_t words[6] = {total, used, total - used, 0, 0, 0};
    std::memcpy(s.words, words, sizeof words);
    return 0;
}

bool range_free(int pool, uint64_t first, uint64_t n)
{
    for (const auto &[key, b] : sim().blocks)
        if (key.first == pool && key.second < first + n && first < key.second + b.blocks)
            return false;
    return true;
}

int mem_alloc(const SimCall &c, SimJournalEntry &)
{
    auto &r = rec<AsmfPoolReq>(c);
    if (r.sizeOrBlock == 0 || pool_count() == 0)
        return -EINVAL;
    int pool = r.index < 0 ? 0 : r.index % std::min(pool_count(), 2);
    uint64_t n = (r.sizeOrBlock + kMiB - 1) / kMiB, total = sim().settings.pools[static_cast<size_t>(pool)].size / kMiB;
    for (uint64_t first = 0; first + n <= total; first++) {
        if (!range_free(pool, first, n))
            continue;
        sim().blocks[{pool, first}] = Block{n, r.pid, r.tid};
        r.index = pool;
        r.block = first;
        return 0;
    }
    return -ENOMEM;
}

int mem_free(const SimCall &c, SimJournalEntry &)
{
    auto &r = rec<AsmfPoolReq>(c);
    auto it = sim().blocks.find({r.index, r.sizeOrBlock});
    if (it == sim().blocks.end())
        return -EINVAL;
    if (it->second.pid != r.pid)
        return -EPERM;
    sim().blocks.erase(it);
    return 0;
}

int mem_version(const SimCall &c, SimJournalEntry &)
{
    copy_text(static_cast<char *>(c.arg), ASMF_VERSION_LEN, "asmf_memory 1.0.0");
    return 0;
}

// The copy must lie inside one allocation held by someone.
bool copy_inside(uint64_t bus, uint64_t len)
{
    const auto &pools = sim().settings.pools;
    for (const auto &[key, b] : sim().blocks) {
        uint64_t lo = pools[static_cast<size_t>(key.first)].bus + key.second * kMiB, hi = lo + b.blocks * kMiB;
        if (bus >= lo && len <= hi - bus && bus + len <= hi)
            return true;
    }
    return false;
}

// The bytes [bus, bus + len) of the store's mapping; nullptr outside it.
uint8_t *store_at(uint64_t bus, size_t len)
{
    const AsmfSim &s = sim();
    return s.view != nullptr && bus <= s.viewLen && len <= s.viewLen - bus ? s.view + bus : nullptr;
}

int mem_copy(const SimCall &c, SimJournalEntry &entry)
{
    auto &r = rec<AsmfCopyReq>(c);
    if (r.hostAddr == 0 || !copy_inside(r.busAddr, r.length))
        return -EFAULT;
    auto *host = reinterpret_cast<uint8_t *>(static_cast<uintptr_t>(r.hostAddr));
    const bool toPool = (c.request & 0xFF) == ASMF_MEM_CPY_TO_POOL;
    if (uint8_t *p = store_at(r.busAddr, r.length)) {
        std::memcpy(toPool ? p : host, toPool ? host : p, r.length);
    } else {
        auto off = static_cast<off_t>(r.busAddr);
        ssize_t done = toPool ? ::pwrite(sim().store, host, r.length, off) : ::pread(sim().store, host, r.length, off);
        if (done != static_cast<ssize_t>(r.length))
            return -EIO;
    }
    entry.extra.push_back(r.length);
    sched_charge_ns(sim().settings.copyCostNs);
    return 0;
}

int mem_show(const SimCall &c, SimJournalEntry &)
{
    uint32_t pid = rec<uint32_t>(c);
    for (const auto &[key, b] : sim().blocks)
        if (b.pid == pid)
            host_syslog(6, "asmf_memory: pid %u tid %u pool %d block %llu count %llu", b.pid, b.tid, key.first,
                        static_cast<unsigned long long>(key.second), static_cast<unsigned long long>(b.blocks));
    return 0;
}

int mem_mmap(SimFile &, SimMapRequest &map)
{
    for (const AsmfSimPool &p : sim().settings.pools) {
        auto off = static_cast<uint64_t>(map.offset);
        if (off >= p.bus && off - p.bus < p.size && map.length <= p.size - (off - p.bus)) {
            void *a = ::mmap(nullptr, map.length, map.prot, MAP_SHARED, sim().store, map.offset);
            if (a == MAP_FAILED)
                return -errno;
            map.addr = a;
            return 0;
        }
    }
    return -EINVAL;
}

void mem_munmap(void *, void *addr, size_t length) { ::munmap(addr, length); }

constexpr SimRequest kMemRequests[] = {
    {asmf_mem_request(ASMF_MEM_POOL_ATTR), sizeof(AsmfPoolAttr), mem_attr},
    {asmf_mem_request(ASMF_MEM_POOL_STAT), sizeof(AsmfPoolStat), mem_stat},
    {asmf_mem_request(ASMF_MEM_ALLOC), sizeof(AsmfPoolReq), mem_alloc},
    {asmf_mem_request(ASMF_MEM_FREE), sizeof(AsmfPoolReq), mem_free},
    {asmf_mem_request(ASMF_MEM_VERSION), ASMF_VERSION_LEN, mem_version},
    {asmf_mem_request(ASMF_MEM_CPY_TO_POOL), sizeof(AsmfCopyReq), mem_copy},
    {asmf_mem_request(ASMF_MEM_CPY_TO_USR), sizeof(AsmfCopyReq), mem_copy},
    {asmf_mem_request(ASMF_MEM_SHOW_PID), sizeof(uint32_t), mem_show},
};

constexpr SimFileOps kMemOps = {
    .name = "asmf_memory", .mode = 0, .open = nullptr, .release = nullptr, .read = nullptr, .write = nullptr,
    .requests = kMemRequests, .requestCount = std::size(kMemRequests), .mmap = mem_mmap, .munmap = mem_munmap,
    .poll = nullptr, .bind = nullptr, .setsockopt = nullptr, .sendmsg = nullptr, .recvmsg = nullptr,
};

// ---- resource node ------------------------------------------------------------------------

int res_enable(const SimCall &c, SimJournalEntry &)
{
    AsmfSimDevice *d = device(rec<uint32_t>(c));
    if (d == nullptr)
        return -ENODEV;
    d->enabled = (c.request & 0xFF) == ASMF_RES_ENABLE;
    return 0;
}

bool queue_known(uint32_t q) { return device(q >> 8) != nullptr && (q & 0xFF) <= 1; }

int res_depth(const SimCall &c, SimJournalEntry &)
{
    uint32_t q = rec<uint32_t>(c);
    if (!queue_known(q))
        return -EINVAL;
    int &d = sim().depth[q];
    if ((c.request & 0xFF) == ASMF_RES_DEC_DEPTH && d == 0)
        return -EINVAL;
    d += (c.request & 0xFF) == ASMF_RES_INC_DEPTH ? 1 : -1;
    return 0;
}

int res_alloc(const SimCall &c, SimJournalEntry &)
{
    auto &r = rec<AsmfResAlloc>(c);
    if (r.resIndexAsked > 1)
        return -EINVAL;
    if (sched_now_ns() < sim().settings.allocBusyUntilNs)
        return -EBUSY;
    for (const AsmfSimDevice &d : sim().devices) {
        if (!d.enabled)
            continue;
        r.resIndex = queue_id(d.id, r.resIndexAsked);
        r.resId = sim().nextRes++;
        r.dev.queryId = d.id;
        fill_entry(r.dev.dev, d);
        sim().held[r.resId] = Held{r.pid, r.tid, r.resIndex, d.id};
        return 0;
    }
    return -EBUSY;
}

int res_free(const SimCall &c, SimJournalEntry &)
{
    auto &r = rec<AsmfResFree>(c);
    if (r.resId == kFreeNothing)
        return 0;
    auto it = sim().held.find(r.resId);
    if (it == sim().held.end() || it->second.pid != r.pid || it->second.tid != r.tid || it->second.queue != r.resIndex)
        return -EINVAL;
    sim().held.erase(it);
    return 0;
}

int res_file(const SimCall &c, SimJournalEntry &)
{
    auto &r = rec<AsmfFileIdRec>(c);
    if (r.acceType != 0 || r.cmdType > 1)
        return -EINVAL;
    auto key = std::make_tuple(r.acceType, r.cmdType, r.pid, r.tid);
    auto &ids = sim().fileIds;
    if ((c.request & 0xFF) == ASMF_RES_FILE_ALLOC) {
        r.fileId = sim().nextFile++ % 255;
        ids[key] = r.fileId;
        return 0;
    }
    auto it = ids.find(key);
    if (it == ids.end() || it->second != r.fileId)
        return -EINVAL;
    ids.erase(it);
    return 0;
}

int res_valid(const SimCall &c, SimJournalEntry &) { return queue_known(rec<uint32_t>(c)) ? 0 : -EINVAL; }

int res_list(const SimCall &c, SimJournalEntry &)
{
    auto &l = rec<AsmfDevList>(c);
    std::memset(&l, 0, sizeof l);
    const auto &devs = sim().devices;
    for (size_t i = 0; i < std::min<size_t>(devs.size(), ASMF_MAX_DEVICES); i++)
        fill_entry(l.devs[i], devs[i]);
    int listed = sim().settings.listCount;
    l.count = listed >= 0 ? listed : static_cast<int32_t>(devs.size());
    return 0;
}

int res_state(const SimCall &c, SimJournalEntry &)
{
    auto &s = rec<AsmfDevState>(c);
    AsmfSimDevice *d = device(s.devId);
    if (d == nullptr)
        return -ENODEV;
    s.state[0] = d->enabled ? d->state[0] : 0;
    s.state[1] = d->state[1];
    return 0;
}

int res_dev(const SimCall &c, SimJournalEntry &)
{
    auto &r = rec<AsmfDevRecord>(c);
    uint32_t id = (c.request & 0xFF) == ASMF_RES_DEV_BY_RES ? r.queryId >> 8 : r.queryId;
    AsmfSimDevice *d = device(id);
    if (d == nullptr)
        return -ENODEV;
    fill_entry(r.dev, *d);
    return 0;
}

int res_version(const SimCall &c, SimJournalEntry &)
{
    copy_text(static_cast<char *>(c.arg), ASMF_VERSION_LEN, "asmf_resource 1.0.0");
    return 0;
}

int res_pid(const SimCall &c, SimJournalEntry &)
{
    sim().reservedPid = (c.request & 0xFF) == ASMF_RES_SET_PID ? rec<uint32_t>(c) : 0;
    return 0;
}

int res_show(const SimCall &, SimJournalEntry &)
{
    for (const AsmfSimDevice &d : sim().devices)
        host_syslog(6, "asmf_resource: device %u %s letter %c node %s %s", d.id, d.name.c_str(), d.letter,
                    d.node.c_str(), d.enabled ? "enabled" : "disabled");
    for (const auto &[id, h] : sim().held)
        host_syslog(6, "asmf_resource: res %u queue 0x%x pid %u tid %u", id, h.queue, h.pid, h.tid);
    return 0;
}

constexpr SimRequest kResRequests[] = {
    {asmf_res_request(ASMF_RES_ENABLE), 4, res_enable},
    {asmf_res_request(ASMF_RES_DISABLE), 4, res_enable},
    {asmf_res_request(ASMF_RES_INC_DEPTH), 4, res_depth},
    {asmf_res_request(ASMF_RES_DEC_DEPTH), 4, res_depth},
    {asmf_res_request(ASMF_RES_ALLOC), sizeof(AsmfResAlloc), res_alloc},
    {asmf_res_request(ASMF_RES_FREE), sizeof(AsmfResFree), res_free},
    {asmf_res_request(ASMF_RES_FILE_ALLOC), sizeof(AsmfFileIdRec), res_file},
    {asmf_res_request(ASMF_RES_FILE_FREE), sizeof(AsmfFileIdRec), res_file},
    {asmf_res_request(ASMF_RES_VALID), 4, res_valid},
    {asmf_res_request(ASMF_RES_DEV_LIST), sizeof(AsmfDevList), res_list},
    {asmf_res_request(ASMF_RES_DEV_STATE), sizeof(AsmfDevState), res_state},
    {asmf_res_request(ASMF_RES_DEV_BY_RES), sizeof(AsmfDevRecord), res_dev},
    {asmf_res_request(ASMF_RES_DEV_BY_ID), sizeof(AsmfDevRecord), res_dev},
    {asmf_res_request(ASMF_RES_RELATED_DEV), sizeof(AsmfDevRecord), res_dev},
    {asmf_res_request(ASMF_RES_VERSION), ASMF_VERSION_LEN, res_version},
    {asmf_res_request(ASMF_RES_SET_PID), 4, res_pid},
    {asmf_res_request(ASMF_RES_UNSET_PID), 4, res_pid},
    {asmf_res_request(ASMF_RES_SHOW), 0, res_show},
};

constexpr SimFileOps kResOps = {
    .name = "asmf_resource", .mode = 0, .open = nullptr, .release = nullptr, .read = nullptr, .write = nullptr,
    .requests = kResRequests, .requestCount = std::size(kResRequests), .mmap = nullptr, .munmap = nullptr,
    .poll = nullptr, .bind = nullptr, .setsockopt = nullptr, .sendmsg = nullptr, .recvmsg = nullptr,
};

// ---- card nodes ----------------------------------------------------------------------------------

AsmfSimDevice *card_of(const SimCall &c)
{
    for (AsmfSimDevice &d : sim().devices)
        if (sim_canonical(d.node) == c.node)
            return &d;
    return nullptr;
}

// What a running DMA channel's counts have grown by: 1000 per whole second.
uint64_t dma_grown(const CardState &s, uint32_t n)
{
    const std::optional<uint64_t> &since = s.dmaSince[n];
    return reg_peek(s.regs, dma_p(n)) == 1 && since ? (sched_now_ns() - *since) / 1000000000u * 1000 : 0;
}

// A register as the card answers it: the stored word (with the self-check
// and turn-test bits the register file keeps), the channels' error bits
// and the DMA counts grown since their start.
uint32_t card_reg_read(CardState &s, uint32_t addr)
{
    const AsmfSimSettings &set = sim().settings;
    uint64_t v = reg_read(s.regs, addr);
    for (uint32_t n = 0; n < kDdrChannels; n++)
        if (addr == ddr_t(n))
            v |= set.turnErrorMask >> n & 1;
    for (uint32_t n = 0; n < kDmaChannels; n++) {
        if (addr == dma_p(n) + 0x10 || addr == dma_p(n) + 0x18)
            v += dma_grown(s, n);
        if (addr == dma_p(n) + 0x24)
            v |= set.dmaErrorMask >> n & 1;
    }
    return static_cast<uint32_t>(v);
}

// A self-check started now finishes after its time; one stopped keeps the
// status it reached.
void ddr_check_enable_write(CardState &s, uint32_t n, uint32_t value)
{
    reg_drop_pending(s.regs, ddr_c(n));
    if (value != 1)
        return;
    const AsmfSimSettings &set = sim().settings;
    reg_set(s.regs, ddr_c(n), reg_peek(s.regs, ddr_c(n)) & kCheckIdle);
    const uint64_t done = kCheckDone | ((set.ddrCheckFailMask >> n & 1) != 0 ? 0 : kCheckPass);
    const uint64_t due = sched_now_ns() + set.ddrCheckSeconds * 1000000000u;
    reg_schedule(s.regs, ddr_c(n), RegPending{done, 0, std::nullopt, due});
}

void card_reg_write(CardState &s, uint32_t addr, uint32_t value)
{
    for (uint32_t n = 0; n < kDmaChannels; n++) {
        if (addr != dma_p(n))
            continue;
        if (reg_peek(s.regs, addr) == 1 && value == 0)   // counts stop where they stood
            for (uint32_t count : {addr + 0x10, addr + 0x18})
                reg_set(s.regs, count, static_cast<uint32_t>(reg_peek(s.regs, count) + dma_grown(s, n)));
        if (value == 1)
            s.dmaSince[n] = sched_now_ns();
    }
    for (uint32_t n = 0; n < kDdrChannels; n++)
        if (addr == ddr_check_enable(n))
            ddr_check_enable_write(s, n, value);
    reg_write(s.regs, addr, value);
}

// ---- task engine ------------------------------------------------------------------------------

bool copy_transform(const FpgaTaskDesc &, std::span<const uint8_t> in, AsmfSimOutput &out, uint32_t &crc)
{
    out.vec.assign(in.begin(), in.end());
    crc = static_cast<uint32_t>(::crc32(crc, in.data(), static_cast<uInt>(in.size())));
    return true;
}

bool store_io(uint64_t bus, void *buf, size_t len, bool write)
{
    if (len == 0)   // a request without input (or an answer without output) touches no memory
        return true;
    if (!copy_inside(bus, len))
        return false;
    if (uint8_t *p = store_at(bus, len)) {
        std::memcpy(write ? p : buf, write ? buf : p, len);
        return true;
    }
    auto off = static_cast<off_t>(bus);
    ssize_t done = write ? ::pwrite(sim().store, buf, len, off) : ::pread(sim().store, buf, len, off);
    return done == static_cast<ssize_t>(len);
}

// A task's input: in place where the store is mapped, else read into `copy`.
bool store_input(uint64_t bus, size_t len, std::vector<uint8_t> &copy, std::span<const uint8_t> &in)
{
    if (len == 0)   // a request without input touches no memory
        return true;
    if (!copy_inside(bus, len))
        return false;
    if (const uint8_t *p = store_at(bus, len)) {
        in = {p, len};
        return true;
    }
    copy.resize(len);
    in = copy;
    return store_io(bus, copy.data(), len, false);
}

// A task's whole output buffer where it is held and mapped; else empty.
std::span<uint8_t> output_room(const FpgaTaskDesc &t)
{
    uint8_t *p = t.outLen != 0 && copy_inside(t.outAddr, t.outLen) ? store_at(t.outAddr, t.outLen) : nullptr;
    return p != nullptr ? std::span<uint8_t>{p, t.outLen} : std::span<uint8_t>{};
}

// The answer: the descriptor echoed with the result's length, CRC and status.
ResultMsg task_answer(const FpgaTaskDesc &t)
{
    const AsmfSimSettings &set = sim().settings;
    ResultMsg m{};
    m.desc = t;
    std::vector<uint8_t> copy;
    std::span<const uint8_t> in;
    sim().out.clear();
    AsmfSimOutput out{sim().out, output_room(t), std::nullopt};
    uint32_t crc = t.crc;
    AsmfSimTransform fn = set.transform != nullptr ? set.transform : copy_transform;
    bool ok = store_input(t.inAddr, t.inLen, copy, in) && fn(t, in, out, crc);
    const size_t len = out.inPlace.value_or(out.vec.size());
    ok = ok && len <= t.outLen && (out.inPlace || store_io(t.outAddr, out.vec.data(), len, true));
    m.status = ok ? set.taskStatus : 3;
    m.errNo = ok ? set.taskErrNo : EIO;
    m.desc.outLen = ok ? static_cast<uint32_t>(len) : 0;
    m.desc.crc = crc;
    if (m.status == 0)
        m.desc.errByte = static_cast<uint8_t>(m.errNo);
    if (set.answer == AsmfSimAnswer::late) {
        m.status = 5;
        m.errNo = ASMF_SIM_LATE_ERRNO;
    }
    if (set.edit != nullptr)
        set.edit(m);
    return m;
}

void send_answer(uint32_t port, std::vector<uint8_t> bytes, uint64_t when)
{
    sim_netlink_send_at(ASMF_NETLINK_PROTOCOL, 0, port, std::move(bytes), when);
}

void run_task(const FpgaTaskDesc &t)
{
    AsmfSim &s = sim();
    s.tasks++;
    ResultMsg m = task_answer(t);
    std::vector<uint8_t> bytes(ASMF_NL_HEADER + sizeof m);   // header bytes are the kernel's, left zero
    std::memcpy(bytes.data() + ASMF_NL_HEADER, &m, sizeof m);
    uint64_t when = sched_now_ns() + s.settings.taskBaseNs + s.settings.taskNsPerMiB * t.inLen / kMiB;
    uint64_t &last = s.last_answer[t.taskPid];
    when = std::max(when, last + 1);
    last = when;
    switch (s.settings.answer) {
    case AsmfSimAnswer::drop: return;
    case AsmfSimAnswer::late: return send_answer(t.taskPid, bytes, sched_now_ns() + uint64_t{t.expires} * 1000000000);
    case AsmfSimAnswer::duplicate: send_answer(t.taskPid, bytes, when); break;
    case AsmfSimAnswer::reorder:
        if (s.held_answer.empty()) {
            s.held_answer = bytes;
            s.held_port = t.taskPid;
            return;
        }
        send_answer(t.taskPid, bytes, when);
        send_answer(s.held_port, std::move(s.held_answer), when);
        s.held_answer.clear();
        return;
    case AsmfSimAnswer::normal: break;
    }
    send_answer(t.taskPid, std::move(bytes), when);
}

int card_request(const SimCall &c, SimJournalEntry &)
{
    AsmfSimDevice *d = card_of(c);
    if (d == nullptr)
        return -ENODEV;
    CardState &s = sim().cards[d->id];
    auto *word = static_cast<uint32_t *>(c.arg);
    switch (c.request & 0xFF) {
    case 0x01: copy_text(static_cast<char *>(c.arg), 64, "ifep 2.1.0"); return 0;
    case 0x02: copy_text(static_cast<char *>(c.arg), 64, asmf_sim_settings().firmwareVersion); return 0;
    case 0x03: *word = d->funcType; return 0;
    case 0x04: word[0] = 0x1E0; word[1] = 0x0304; return 0;  // link width and speed words
    case 0x05: word[0] = d->state[0]; word[1] = d->state[1]; word[2] = 0; return 0;
    case 0x06: std::memcpy(c.arg, s.traffic, sizeof s.traffic); return 0;
    case 0x10: *word = s.alh; return 0;
    case 0x11: s.alh = *word; return 0;
    case 0x12: *word = s.lazy; return 0;
    case 0x13: s.lazy = *word; return 0;
    case 0x14: std::memcpy(c.arg, &s.level, sizeof s.level); return 0;
    case 0x15: std::memcpy(&s.level, c.arg, sizeof s.level); return 0;
    case 0x1F: std::memset(s.traffic, 0, sizeof s.traffic); return 0;
    case 0x30: s = CardState{}; return 0;
    case 0x31: word[1] = card_reg_read(s, word[0]); return 0;
    case 0x32: card_reg_write(s, word[0], word[1]); return 0;
    case 0x34: return 0;
    case 0x33: {
        std::string file = "/var/log/orvo/" + d->name + (*word == 1 ? "_lastword_" : "_collect_") +
                           std::to_string(++s.lastwords) + ".log";
        try {
            sim_write_file(file, *word == 1 ? "last word\n" : "collected\n");
        } catch (const std::filesystem::filesystem_error &e) {
            return -e.code().value();
        }
        return 0;
    }
    case 0x20: {
        const auto &t = rec<FpgaTaskDesc>(c);
        auto it = sim().held.find(t.resId);
        if (it == sim().held.end() || it->second.pid != t.pid || it->second.tid != t.tid)
            return -EINVAL;
        run_task(t);
        return 0;
    }
    }
    return -ENOTTY;
}

constexpr AsmfCardReq kCardReqs[] = {
    ASMF_CARD_IFEP_VERSION, ASMF_CARD_FW_VERSION, ASMF_CARD_FUNCTION, ASMF_CARD_PCIE_INFO, ASMF_CARD_RES_STATE,
    ASMF_CARD_TRAFFIC, ASMF_CARD_GET_ALH, ASMF_CARD_SET_ALH, ASMF_CARD_GET_LAZY, ASMF_CARD_SET_LAZY,
    ASMF_CARD_GET_LEVEL, ASMF_CARD_SET_LEVEL, ASMF_CARD_CLR_TRAFFIC, ASMF_CARD_SEND_TASK, ASMF_CARD_SOFT_RESET,
    ASMF_CARD_READ_REG, ASMF_CARD_WRITE_REG, ASMF_CARD_LASTWORD, ASMF_CARD_TEST_REG,
};

// The request table of one letter, built once and kept for the process.
struct CardOps {
    std::vector<SimRequest> rows;
    SimFileOps ops{};
};

const SimFileOps *card_ops(char letter)
{
    static auto *tables = new std::map<char, std::unique_ptr<CardOps>>;
    auto &t = (*tables)[letter];
    if (t == nullptr) {
        t = std::make_unique<CardOps>();
        for (const AsmfCardReq &r : kCardReqs)
            t->rows.push_back(SimRequest{asmf_card_request(r, static_cast<uint8_t>(letter)), r.size, card_request});
        t->ops.name = "acce_card";
        t->ops.requests = t->rows.data();
        t->ops.requestCount = t->rows.size();
    }
    return &t->ops;
}

// ---- hot-plug node --------------------------------------------------------------------------------

int hp_request(const SimCall &c, SimJournalEntry &)
{
    switch (c.request & 0xFF) {
    case ASMF_HP_ADD: return 0;
    case ASMF_HP_REMOVE: return sim().removes++ < sim().settings.removeFailures ? -EBUSY : 0;
    default: copy_text(static_cast<char *>(c.arg), 64, "ifep hs 1.2.0"); return 0;
    }
}

constexpr SimRequest kHpRequests[] = {
    {asmf_hotplug_request(ASMF_HP_ADD), 8, hp_request},
    {asmf_hotplug_request(ASMF_HP_REMOVE), 8, hp_request},
    {asmf_hotplug_request(ASMF_HP_HS_VERSION), ASMF_VERSION_LEN, hp_request},
};

constexpr SimFileOps kHpOps = {
    .name = "acce_ifep_hotplug", .mode = 0, .open = nullptr, .release = nullptr, .read = nullptr, .write = nullptr,
    .requests = kHpRequests, .requestCount = std::size(kHpRequests), .mmap = nullptr, .munmap = nullptr,
    .poll = nullptr, .bind = nullptr, .setsockopt = nullptr, .sendmsg = nullptr, .recvmsg = nullptr,
};

// The store is mapped once whole so tasks work on it in place; a store too
// large to map is reached through reads and writes instead.
void open_store()
{
    AsmfSim &s = sim();
    if (s.view != nullptr)
        ::munmap(s.view, s.viewLen);
    s.view = nullptr;
    s.viewLen = 0;
    if (s.store >= 0)
        ::close(s.store);
    s.store = memfd_create("asmf_pools", MFD_CLOEXEC);
    uint64_t end = 0;
    for (const AsmfSimPool &p : s.settings.pools)
        end = std::max(end, p.bus + p.size);
    if (::ftruncate(s.store, static_cast<off_t>(end)) != 0) {
        std::perror("asmf model: pool store");
        return;
    }
    void *a = end == 0 ? MAP_FAILED
                       : ::mmap(nullptr, end, PROT_READ | PROT_WRITE, MAP_SHARED | MAP_NORESERVE, s.store, 0);
    if (a != MAP_FAILED) {
        s.view = static_cast<uint8_t *>(a);
        s.viewLen = end;
    }
}

} // namespace

// ---- the model's state -----------------------------------------------------------------------------

AsmfSimSettings &asmf_sim_settings() { return sim().settings; }
std::vector<AsmfSimDevice> &asmf_sim_devices() { return sim().devices; }
size_t asmf_sim_tasks() { return sim().tasks; }
size_t asmf_sim_held_resources() { return sim().held.size(); }
void asmf_sim_forget_resources() { sim().held.clear(); }

size_t asmf_sim_held_blocks()
{
    size_t n = 0;
    for (const auto &[key, b] : sim().blocks)
        n += b.blocks;
    return n;
}

void asmf_sim_store_read(uint64_t bus, void *buf, size_t size)
{
    if (::pread(sim().store, buf, size, static_cast<off_t>(bus)) != static_cast<ssize_t>(size))
        std::memset(buf, 0, size);
}

uint32_t asmf_sim_reg(uint32_t addr) { return static_cast<uint32_t>(reg_peek(sim().cards[0].regs, addr)); }

void asmf_sim_set_reg(uint32_t addr, uint32_t value) { reg_set(sim().cards[0].regs, addr, value); }

uint8_t *asmf_sim_traffic(uint32_t id) { return sim().cards[id].traffic; }

void asmf_sim_refresh()
{
    open_store();
    for (const AsmfSimDevice &d : sim().devices)
        sim_register_file(d.node, card_ops(d.letter), nullptr);
}

void asmf_model_reset()
{
    AsmfSim &s = sim();
    const int store = s.store;
    uint8_t *view = s.view;
    const size_t viewLen = s.viewLen;
    s = AsmfSim{};
    s.store = store;
    s.view = view;
    s.viewLen = viewLen;
    s.settings.pools = {{0x100000000ULL, 1ULL << 30}, {0x180000000ULL, 1ULL << 30}};
}

void asmf_model_attach_default()
{
    asmf_model_reset();
    sim().devices = {AsmfSimDevice{}};
    sim_register_file(ASMF_MEM_NODE, &kMemOps, nullptr);
    sim_register_file(ASMF_RES_NODE, &kResOps, nullptr);
    sim_register_file(ASMF_HOTPLUG_NODE, &kHpOps, nullptr);
    sim_netlink_add(ASMF_NETLINK_PROTOCOL);
    asmf_sim_refresh();
}

bool asmf_model_attach(SimDoc &)
{
    asmf_model_attach_default();
    return true;
}

void asmf_model_save(SimDoc &) {}

bool asmf_fixture_line(std::string_view line, std::string &err)
{
    std::vector<std::string> w;
    if (!sim_doc_tokens(line, w, err))
        return false;
    std::vector<uint64_t> n;
    size_t bad = 0;
    if (!sim_numbers(w, 1, w.size(), n, &bad)) {
        err = "'" + w[bad] + "' is not a number";
        return false;
    }
    AsmfSimSettings &s = sim().settings;
    if (w[0] == "asmf-pool" && n.size() == 3 && n[0] < 3) {
        s.pools.resize(std::max<size_t>(s.pools.size(), n[0] + 1));
        s.pools[n[0]] = AsmfSimPool{n[1], n[2]};
        open_store();
    } else if (w[0] == "asmf-copy-cost" && n.size() == 1) {
        s.copyCostNs = n[0];
    } else if (w[0] == "asmf-remove-failures" && n.size() == 1) {
        s.removeFailures = static_cast<unsigned>(n[0]);
    } else {
        err = "usage: asmf-pool INDEX BUS SIZE | asmf-copy-cost NS | asmf-remove-failures N";
        return false;
    }
    return true;
}

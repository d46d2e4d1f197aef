#include "sim/fpga_model.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdio>
#include <deque>
#include <map>
#include <span>
#include <stdexcept>
#include <utility>

#include "bases/drv/plov_drv.h"
#include "sim/kit/field_fault.h"
#include "sim/kit/record_store.h"
#include "sim/kit/reg_file.h"
#include "sim/kit/sim_doc.h"
#include "sim/sim_host.h"

namespace {

using Words = std::vector<uint64_t>;
using Bytes = std::vector<uint8_t>;

constexpr uint64_t kMaxRegAddr = kFpgaMaxRegAddr;
constexpr size_t kMaxIndirWords = kFpgaMaxIndirWords;
constexpr size_t kSfpPage = 256;
constexpr uint8_t kSfpPorts = 8;
constexpr uint8_t kMacPorts = 16;
constexpr uint32_t kQueueTypes = 3;
constexpr uint64_t kFpgaIds = 2;
constexpr uint64_t kCmdRead = 0;  // command words of table requests
constexpr uint64_t kCmdWrite = 1;
constexpr uint64_t kCmdDelete = 2;
constexpr uint64_t kCmdClear = 3;
constexpr uint64_t kCmdCatalogue = 0x10;  // the tables' catalogue rows (bit 0: write)
constexpr uint64_t kCarBase = 0x5800;     // CAR configuration block, the base of table 15

struct FpgaNodeState {
    RegFile regs;
    std::map<uint64_t, unsigned> keyWords;
    std::map<std::pair<uint64_t, Words>, Words> indir;
    std::map<std::pair<uint64_t, uint64_t>, Words> stats;
    RecordStore records;
    std::map<std::pair<uint8_t, uint32_t>, Bytes> sfp;
    std::map<uint64_t, uint64_t> mem;
    std::map<std::pair<uint64_t, Words>, std::deque<Words>> scripted;  // reads still to answer, not saved
};

struct FpgaModelState {
    FpgaBoard board = FpgaBoard::Dorn;
    FpgaEncoding encoding = FpgaEncoding::Dorn;
    std::map<std::string, FpgaNodeState> nodes;
};

FpgaModelState &model()
{
    static FpgaModelState *state = new FpgaModelState;  // outlives static destructors
    return *state;
}

// The state of a node the board has; requests only reach registered nodes.
FpgaNodeState &state(const std::string &node)
{
    auto it = model().nodes.find(node);
    if (it == model().nodes.end())
        throw std::invalid_argument("fpga model: no node \"" + node + "\" on this board");
    return it->second;
}

template <typename M, typename K> typename M::mapped_type find_or(const M &map, const K &key)
{
    auto it = map.find(key);
    return it == map.end() ? typename M::mapped_type{} : it->second;
}

template <typename T> Bytes bytes_of(const T &v)
{
    Bytes b(sizeof v);
    std::memcpy(b.data(), &v, sizeof v);
    return b;
}

// ---- record store names, saved by name ---------------------------------------------------------------

constexpr const char *kRecordNames[] = {
    "shmem", "memdep", "usrstart", "queueaddr", "swbufbase", "drvver", "cpuusage", "loadatreboot", "memdesc",
    "portlink", "sfphs", "queueswitch", "hrtimeraffinity", "iicstatus", "drvinfo", "regspace", "staticmac",
    "hrtimer", "pciportep",
};
static_assert(std::size(kRecordNames) == static_cast<size_t>(FpgaRecord::PciPortEp) + 1);

constexpr const char *store_name(FpgaRecord kind) { return kRecordNames[static_cast<size_t>(kind)]; }

std::pair<std::string, uint64_t> record_key(FpgaRecord kind, uint64_t key) { return {store_name(kind), key}; }

// ---- direct registers: presets and control writes that drive status bits --------------------------------------

constexpr uint64_t kLogicVersion = 0x0000000020261025ULL;  // register 0x1: version, low byte the run version
constexpr uint64_t kSfpStatusReg = 0x6900;
constexpr uint64_t kSfpAbsentPorts2To7 = 0xFCull << 8;  // bit p + 8: module absent
constexpr uint64_t kKespSfpAbsentReg = 0x101;            // KESP: bit c set, cage c empty
constexpr uint64_t kKespSfpAbsentCages2And3 = 0xC;
// Link up on the two ports whose cages hold modules.
constexpr uint64_t kLinkStateReg = 0x1500;               // DORN trans: link of port p in bit p + 12
constexpr uint64_t kLinkPorts0And1 = 0x3ull << 12;
constexpr uint64_t kKespLinkReg0 = 0x2109;               // KESP: bit 0, link detected
constexpr uint64_t kKespLinkReg1 = 0x2509;
constexpr uint64_t kSecond = 1000000000ULL;
constexpr uint64_t kPassed = 0xF;  // self-test result: bit 1 finished, bits 0-3 all set passed

// Where a booted driver placed its buffers: inside the regions the board's
// /proc/cmdline reserves with memmap= words (DORN: one region for each CPU;
// KESP: the one shared region). The user pools lie at the start of a region
// (the trans FPGA's) or 1 MiB in (the sbuf FPGA's); the software buffers
// 2 MiB in and after.
constexpr uint64_t kDornRegionCpu0 = 0x7d000000;
constexpr uint64_t kDornRegionCpu1 = 0x7e000000;
constexpr uint64_t kKespRegion = 0x7d000000;
constexpr uint64_t kMiB = 0x100000;

// The scratch register of the register test reads back the complement of a write.
constexpr RegRule kScratchDorn{0x2, 0, 0, 0, 0, true};
// DORN user pool bases: register 0x10 + pool (bits 0 and 2 of the pool
// number exchanged), CPU 0 then CPU 1.
constexpr RegRule kTransRules[] = {{0x1, kLogicVersion}, {kLinkStateReg, kLinkPorts0And1}, kScratchDorn,
                                   {0x10, kDornRegionCpu0}, {0x11, kDornRegionCpu1}};
// KESP user pool bases: low halves of the pairs 0x12/0x13 (pools with bit 2)
// and 0x14/0x15 (pools with neither bit 1 nor bit 2); the high halves are 0.
constexpr RegRule kKespRules[] = {
    {0x1, kLogicVersion}, {kKespSfpAbsentReg, kKespSfpAbsentCages2And3}, {kKespLinkReg0, 1}, {kKespLinkReg1, 1},
    {0x13, kKespRegion + kMiB}, {0x15, kKespRegion},
    // Self tests: DDR3 0 and 1 initialised, their test and march engines
    // done, QDR initialised, the test register 0x3.
    {0xD00, 1}, {0x1100, 1}, {0xD01, 1}, {0x1101, 1}, {0xD02, 1}, {0x1102, 1}, {0x900, 1},
    {0x3, 0, 0, 0, 0, true}};
constexpr RegRule kSbufRules[] = {{0x1, kLogicVersion}, {kSfpStatusReg, kSfpAbsentPorts2To7}, kScratchDorn,
                                  {0x14, kDornRegionCpu0 + kMiB}, {0x15, kDornRegionCpu1 + kMiB}};

// Memory self tests: the start bit stays busy for a while, then the result
// register shows a finished, passed check.
#define FPGA_MEM_TEST(start, result)                                                                           \
    RegTrigger{start, 1, std::nullopt, start, 1, 0, kSecond / 2, 0, 1},                                        \
        RegTrigger{start, 1, std::nullopt, result, 0, kPassed, kSecond / 2, kPassed, 0}

// Pattern-driven checks of a tester block at `base`: storing a pattern
// (write 3 to base + 0x45) is done at once; the check started by writing 1
// to base + 0x4F stays busy for a second.
#define FPGA_PATTERN_CHECK(base)                                                                               \
    RegTrigger{(base) + 0x45, 3, std::nullopt, (base) + 0x45, 0, 2},                                           \
        RegTrigger{(base) + 0x4F, 1, std::nullopt, (base) + 0x4F, 1, 0, kSecond, 0, 1}

constexpr RegTrigger kTransTriggers[] = {
    FPGA_PATTERN_CHECK(0xC00), FPGA_PATTERN_CHECK(0x1000), FPGA_PATTERN_CHECK(0x800), FPGA_PATTERN_CHECK(0x3C00),
    // Clear all tables: 0x5C18 written 0 then 1; done is bit 4 of 0x5D00.
    {0x5C18, 0, std::nullopt, 0x5D00, 0, 0x10},
    {0x5C18, 1, 0, 0x5D00, 0x10, 0},
    // TCAM self test: 0x5C4F written 0 then 1; bit 0 of 0x5D06 busy for a second.
    {0x5C4F, 1, 0, 0x5D06, 1, 0, kSecond, 0, 1},
    FPGA_MEM_TEST(0xC40, 0xD01),   // DDR3 A
    FPGA_MEM_TEST(0x1040, 0x1101), // DDR3 B
    FPGA_MEM_TEST(0x840, 0x901),   // QDR
    // RLDRAM: 0x3C10 written 1 then 0 ends the run; the result is in 0x3C81.
    {0x3C10, 0, 1, 0x3C81, kPassed, 0},
};
constexpr RegTrigger kSbufTriggers[] = {
    FPGA_PATTERN_CHECK(0xC00), FPGA_PATTERN_CHECK(0x800), FPGA_PATTERN_CHECK(0x3C00),
    FPGA_MEM_TEST(0xC40, 0xD01),
    FPGA_MEM_TEST(0x840, 0x901),
};
#undef FPGA_MEM_TEST
#undef FPGA_PATTERN_CHECK

// KESP loop-test setting: the last write of the XGE (GE) sequence shows the
// set value in the check register.
constexpr RegTrigger kKespTriggers[] = {
    {0x3003, 2, std::nullopt, 0x3103, 14, 0},
    {0x3000, 2, std::nullopt, 0x3100, 4, 0},
};

int handle_dir_write(const SimCall &call, SimJournalEntry &)
{
    auto *req = static_cast<DirRegReq *>(call.arg);
    if (req->addr > kMaxRegAddr)
        return -EINVAL;
    reg_write(state(call.node).regs, req->addr, req->data);
    return 0;
}

int handle_dir_read(const SimCall &call, SimJournalEntry &)
{
    auto *req = static_cast<DirRegReq *>(call.arg);
    if (req->addr > kMaxRegAddr)
        return -EINVAL;
    req->data = reg_read(state(call.node).regs, req->addr);
    return 0;
}

// ---- indirect blocks ---------------------------------------------------------------------------------------

enum class BlockKind { Plain, KeyTable, IndexTable };

// A hardware table's block: the descriptor's counts (key words A for key
// tables; W and R the written and returned halves; Maskflag; Delflag).
struct IndirBlock {
    uint64_t base;
    BlockKind kind;
    uint16_t keyWords;
    uint16_t w, r;
    uint16_t mask;
    bool del;
};

constexpr IndirBlock kTransBlocks[] = {
    {0x1811, BlockKind::KeyTable, 1, 1, 1, 0, false},    // table 2
    {0x5400, BlockKind::KeyTable, 5, 1, 1, 0, true},     // table 14
    {0x2800, BlockKind::IndexTable, 1, 6, 8, 1, true},   // TCAM tables 4-8
    {0x5800, BlockKind::IndexTable, 1, 1, 2, 0, false},  // table 15
};

const IndirBlock *table_block(const std::string &node, uint64_t base)
{
    if (node != kFpgaTransNode || model().encoding != FpgaEncoding::Dorn)
        return nullptr;
    for (const IndirBlock &b : kTransBlocks)
        if (b.base == base)
            return &b;
    return nullptr;
}

unsigned key_words(const std::string &node, const FpgaNodeState &s, uint64_t base)
{
    if (const IndirBlock *b = table_block(node, base))
        return b->keyWords;
    auto it = s.keyWords.find(base);
    return it == s.keyWords.end() ? 1 : it->second;
}

// The words of an indirect request's buffer: the address alone for a clear,
// 1 + max(wlen, rlen) in the KESP encoding, wlen + rlen in the DORN one.
size_t indir_words(unsigned long request, const IndirRegReq &req)
{
    if (request == PLOV_IOC_CLEAR_INDIR_REG)
        return 1;
    if (model().encoding == FpgaEncoding::Kesp)
        return 1 + static_cast<size_t>(std::max(req.wlen, req.rlen));
    return static_cast<size_t>(req.wlen) + req.rlen;
}

// Copy the stored words of an entry into `to` (zeros behind them).
// A scripted read of the entry comes first and is used up.
void answer(FpgaNodeState &s, const std::pair<uint64_t, Words> &key, uint64_t *to, size_t count)
{
    auto sc = s.scripted.find(key);
    if (sc != s.scripted.end() && !sc->second.empty()) {
        Words words = std::move(sc->second.front());
        sc->second.pop_front();
        for (size_t i = 0; i < count; i++)
            to[i] = i < words.size() ? words[i] : 0;
        return;
    }
    auto it = s.indir.find(key);
    for (size_t i = 0; i < count; i++)
        to[i] = it != s.indir.end() && i < it->second.size() ? it->second[i] : 0;
}

// Plain DORN block: key words first; wlen counts key and value words; the answer at word wlen.
void plain_indir(FpgaNodeState &s, unsigned k, unsigned long request, IndirRegReq &req)
{
    uint64_t *w = req.data;
    size_t kk = std::min<size_t>(k, req.wlen);
    std::pair<uint64_t, Words> key{req.baseaddr, Words(w, w + kk)};
    if (request == PLOV_IOC_READ_INDIR_REG) {
        answer(s, key, w + req.wlen, req.rlen);
    } else if (req.cmd == kCmdDelete || (req.cmd == kCmdClear && req.wlen <= k)) {
        s.indir.erase(key);
    } else if (req.wlen > k) {
        s.indir[key] = Words(w + k, w + req.wlen);
    }
}

// KESP: word 0 the address; the written or read data in words 1..n.
void kesp_indir(FpgaNodeState &s, unsigned long request, IndirRegReq &req)
{
    uint64_t *w = req.data;
    std::pair<uint64_t, Words> key{req.baseaddr, Words{w[0]}};
    if (request == PLOV_IOC_READ_INDIR_REG)
        answer(s, key, w + 1, req.rlen);
    else
        s.indir[key] = Words(w + 1, w + 1 + req.wlen);
}

// ---- hardware tables ------------------------------------------------------------------------------------------

// Words of a table write (after the key or address) and of a full read.
uint16_t table_write_words(const IndirBlock &b) { return static_cast<uint16_t>((b.mask + 1) * b.w); }
uint16_t table_read_words(const IndirBlock &b) { return static_cast<uint16_t>((b.mask + 1) * b.r); }

// The r2base and ret2base the driver expects of a table's requests.
bool table_bases_ok(const IndirBlock &b, const IndirRegReq &req)
{
    uint16_t r2 = b.kind == BlockKind::KeyTable ? static_cast<uint16_t>(b.keyWords + b.w + 1)
                                                : static_cast<uint16_t>(table_write_words(b) + 2);
    uint16_t ret2 = static_cast<uint16_t>(r2 + (b.kind == BlockKind::KeyTable ? b.r : table_read_words(b)));
    return req.r2base == r2 && req.ret2base == ret2;
}

// The read layout of an index-table entry: per half, the statistics words
// (first half; zeros in the second), then the written half.
Words index_read_layout(const IndirBlock &b, const Words &entry, const Words &stats)
{
    Words out;
    uint16_t statWords = static_cast<uint16_t>(b.r - b.w);
    for (uint16_t half = 0; half <= b.mask; half++) {
        for (uint16_t i = 0; i < statWords; i++)
            out.push_back(half == 0 && i < stats.size() ? stats[i] : 0);
        for (uint16_t i = 0; i < b.w; i++) {
            size_t at = size_t{half} * b.w + i;
            out.push_back(at < entry.size() ? entry[at] : 0);
        }
    }
    return out;
}

int index_table(FpgaNodeState &s, const IndirBlock &b, unsigned long request, IndirRegReq &req)
{
    uint64_t *w = req.data;
    std::pair<uint64_t, Words> key{b.base, Words{w[0]}};
    std::pair<uint64_t, uint64_t> statKey{b.base, w[0]};
    if (request == PLOV_IOC_READ_INDIR_REG) {
        if (req.cmd != kCmdRead || req.wlen != 1 || (req.rlen != b.r - b.w && req.rlen != table_read_words(b)))
            return -EINVAL;
        Words layout = index_read_layout(b, find_or(s.indir, key), find_or(s.stats, statKey));
        std::copy_n(layout.begin(), req.rlen, w + 1);
        return 0;
    }
    if (req.rlen != 0)
        return -EINVAL;
    if (req.cmd == kCmdWrite && req.wlen == table_write_words(b) + 1)
        s.indir[key] = Words(w + 1, w + req.wlen);
    else if (req.cmd == kCmdDelete && b.del && req.wlen == 1)
        s.indir.erase(key);
    else if (req.cmd == kCmdClear && req.wlen == 1)
        s.stats.erase(statKey);
    else
        return -EINVAL;
    return 0;
}

int key_table(FpgaNodeState &s, const IndirBlock &b, unsigned long request, IndirRegReq &req)
{
    uint64_t *w = req.data;
    std::pair<uint64_t, Words> key{b.base, Words(w, w + std::min<size_t>(b.keyWords, req.wlen))};
    if (request == PLOV_IOC_READ_INDIR_REG) {
        if (req.cmd != kCmdRead || req.wlen != b.keyWords || req.rlen != b.r)
            return -EINVAL;
        answer(s, key, w + b.keyWords, b.r);
        return 0;
    }
    if (req.rlen != 0)
        return -EINVAL;
    if (req.cmd == kCmdWrite && req.wlen == b.keyWords + b.w)
        s.indir[key] = Words(w + b.keyWords, w + req.wlen);
    else if (req.cmd == kCmdDelete && b.del && req.wlen == b.keyWords)
        s.indir.erase(key);
    else
        return -EINVAL;
    return 0;
}

// A table request with a table command follows the table's rules; the
// catalogue command reaches the block as a plain one; others are refused.
int table_indir(FpgaNodeState &s, const IndirBlock &b, unsigned long request, IndirRegReq &req)
{
    // The CAR configuration shares table 15's base and comes without the
    // table's second bases: the driver serves it as a plain block.
    bool carBlock = b.base == kCarBase && req.ret2base == 0 && req.cmd <= kCmdWrite;
    if ((req.cmd | 1) == (kCmdCatalogue | 1) || carBlock) {
        plain_indir(s, b.keyWords, request, req);
        return 0;
    }
    if (req.cmd > kCmdClear || !table_bases_ok(b, req))
        return -EINVAL;
    return b.kind == BlockKind::KeyTable ? key_table(s, b, request, req) : index_table(s, b, request, req);
}

// Clear (request 0x1E): the buffer holds the address alone, whatever the
// counts say. A table clears that entry's statistics; elsewhere every entry
// at the base whose first key word it is goes.
void clear_indir(const std::string &node, FpgaNodeState &s, const IndirRegReq &req)
{
    if (table_block(node, req.baseaddr) != nullptr) {
        s.stats.erase({req.baseaddr, req.data[0]});
        return;
    }
    std::erase_if(s.indir, [&req](const auto &item) {
        const auto &[base, key] = item.first;
        return base == req.baseaddr && !key.empty() && key[0] == req.data[0];
    });
}

int handle_indir(const SimCall &call, SimJournalEntry &entry)
{
    auto *req = static_cast<IndirRegReq *>(call.arg);
    if (req->data == nullptr)
        return -EFAULT;
    FpgaNodeState &s = state(call.node);
    size_t total = static_cast<size_t>(req->wlen) + req->rlen;
    int ret = 0;
    if (call.request == PLOV_IOC_CLEAR_INDIR_REG)
        clear_indir(call.node, s, *req);
    else if (total == 0 || total > kMaxIndirWords)
        return -EINVAL;
    else if (model().encoding == FpgaEncoding::Kesp)
        kesp_indir(s, call.request, *req);
    else if (const IndirBlock *b = table_block(call.node, req->baseaddr))
        ret = table_indir(s, *b, call.request, *req);
    else
        plain_indir(s, key_words(call.node, s, req->baseaddr), call.request, *req);
    entry.extra.assign(req->data, req->data + indir_words(call.request, *req));
    return ret;
}

// ---- FPGA memory, SFP pages, load-at-reboot, register space ------------------------------------------

int handle_mem_op(const SimCall &call, SimJournalEntry &)
{
    auto *req = static_cast<MemOpReq *>(call.arg);
    FpgaNodeState &s = state(call.node);
    if (req->op == 0)
        req->data = s.mem[req->addr];
    else if (req->op == 1)
        s.mem[req->addr] = req->data;
    else
        return -EINVAL;
    return 0;
}

bool sfp_device(uint32_t dev) { return dev == 0xA0 || dev == 0xA2 || dev == 0xAC; }

int handle_sfp(const SimCall &call, SimJournalEntry &entry)
{
    auto *req = static_cast<SfpRegReq *>(call.arg);
    if (req->port >= kSfpPorts || !sfp_device(req->dev) ||
        static_cast<size_t>(req->offset) + req->length > kSfpPage)
        return -EINVAL;
    if (req->length == 0)
        return 0;  // nothing to move
    if (req->buf == nullptr)
        return -EFAULT;
    FpgaNodeState &s = state(call.node);
    auto page = s.sfp.find({req->port, req->dev});
    if (page == s.sfp.end())
        return -EIO;  // no module answers
    const bool write = call.request == PLOV_IOC_SET_SFP_REG;
    const Bytes before = page->second;
    if (write)
        std::copy(req->buf, req->buf + req->length, page->second.begin() + req->offset);
    else
        fpga_sfp_loopback_read(call.node, req->port, req->dev, page->second);
    if (write)
        fpga_sfp_loopback_written(call.node, req->port, req->dev, before, page->second);
    else
        std::copy(page->second.begin() + req->offset, page->second.begin() + req->offset + req->length, req->buf);
    entry.extra.assign(req->buf, req->buf + req->length);
    return 0;
}

int handle_load_at_reboot(const SimCall &call, SimJournalEntry &)
{
    auto *req = static_cast<LoadAtRebootReq *>(call.arg);
    if (req->fpga >= kFpgaIds)
        return -EINVAL;
    FpgaNodeState &s = state(call.node);
    if (call.request == PLOV_IOC_SET_LOAD_AT_REBOOT) {
        s.records[record_key(FpgaRecord::LoadAtReboot, req->fpga)] = bytes_of(req->value);
        return 0;
    }
    if (req->value == 0)
        return -EFAULT;
    Bytes stored = find_or(s.records, record_key(FpgaRecord::LoadAtReboot, req->fpga));
    stored.resize(sizeof(uint64_t));
    std::memcpy(reinterpret_cast<void *>(static_cast<uintptr_t>(req->value)), stored.data(), sizeof(uint64_t));
    return 0;
}

int handle_regs(const SimCall &call, SimJournalEntry &)
{
    auto *req = static_cast<RegSpaceReq *>(call.arg);
    if (req->buf == nullptr)
        return -EFAULT;
    Bytes space = find_or(state(call.node).records, record_key(FpgaRecord::RegSpace, 0));
    if (req->length == 0 || req->length > space.size())
        return -EINVAL;
    std::memcpy(req->buf, space.data(), req->length);
    return 0;
}

// ---- record stores -------------------------------------------------------------------------------------

uint64_t key_byte0(const uint8_t *r) { return r[0]; }
uint64_t key_queue_addr(const uint8_t *r)
{
    return uint64_t{rec_field<uint32_t>(r, 0)} << 32 | rec_field<uint32_t>(r, 4);
}
uint64_t key_pool_type(const uint8_t *r) { return rec_field<uint32_t>(r, offsetof(SwBufBaseRec, PoolType)); }
uint64_t key_port_link(const uint8_t *r)
{
    return uint64_t{rec_field<uint32_t>(r, 4)} << 32 | rec_field<uint32_t>(r, 8);
}
uint64_t key_queue_switch(const uint8_t *r)
{
    return uint64_t{rec_field<uint16_t>(r, offsetof(QueueSwitchReq, queueType))} << 16 |
           rec_field<uint16_t>(r, offsetof(QueueSwitchReq, queueId));
}
uint64_t key_pci_ep(const uint8_t *r)
{
    uint32_t w[4];
    std::memcpy(w, r, sizeof w);
    return fpga_pci_ep_key(w);
}

int check_sfp_port(const uint8_t *r) { return r[0] < kSfpPorts ? 0 : -EINVAL; }
int check_mac_port(const uint8_t *r) { return r[0] < kMacPorts ? 0 : -EINVAL; }
int check_queue_addr(const uint8_t *r) { return rec_field<uint32_t>(r, 0) < kQueueTypes ? 0 : -EINVAL; }
int check_queue_switch(const uint8_t *r) { return rec_field<uint16_t>(r, 0) < kQueueTypes ? 0 : -EINVAL; }

constexpr size_t kMemDescBytes = sizeof(MemDesc) * MEM_DESC_COUNT;

#define REC(kind) store_name(FpgaRecord::kind)
constexpr RecordRow kRecordRows[] = {
    {PLOV_IOC_SET_SHMEM, PLOV_SHARE_MEM_SIZE, REC(Shmem), RecOp::Set, nullptr, 0, 0, nullptr},
    {PLOV_IOC_GET_SHMEM, PLOV_SHARE_MEM_SIZE, REC(Shmem), RecOp::Get, nullptr, 0, PLOV_SHARE_MEM_SIZE, nullptr},
    {PLOV_IOC_SET_MEM_DEP, sizeof(MemCfg), REC(MemDep), RecOp::Set, nullptr, 0, 0, nullptr},
    {PLOV_IOC_GET_MEM_DEP, sizeof(MemCfg), REC(MemDep), RecOp::Get, nullptr, 0, sizeof(MemCfg), nullptr},
    {PLOV_IOC_USR_START, 1, REC(UsrStart), RecOp::Set, nullptr, 0, 0, nullptr},
    {PLOV_IOC_GET_QUEUE_ADDR, sizeof(QueueAddrRec), REC(QueueAddr), RecOp::Get, key_queue_addr, 8,
     sizeof(QueueAddrRec), check_queue_addr},
    {PLOV_IOC_GET_SWBUF_BASE, sizeof(SwBufBaseRec), REC(SwBufBase), RecOp::Get, key_pool_type, 0,
     offsetof(SwBufBaseRec, PoolType), nullptr},
    {PLOV_IOC_GET_DRV_VER, PLOV_DRV_VER_LEN, REC(DrvVer), RecOp::Get, nullptr, 0, PLOV_DRV_VER_LEN, nullptr},
    {PLOV_IOC_SET_CPU_USG, 1, REC(CpuUsage), RecOp::Set, nullptr, 0, 0, nullptr},
    {PLOV_IOC_GET_CPU_USG, 1, REC(CpuUsage), RecOp::Get, nullptr, 0, 1, nullptr},
    {PLOV_IOC_GET_MEM_DESC, kMemDescBytes, REC(MemDesc), RecOp::Get, nullptr, 0, kMemDescBytes, nullptr},
    {PLOV_IOC_GET_PORT_LINK, PLOV_PORT_LINK_LEN, REC(PortLink), RecOp::Get, key_port_link, 16, PLOV_PORT_LINK_LEN,
     nullptr},
    {PLOV_IOC_GET_SFP_HS_STATE, PLOV_SFP_HS_STATE_LEN, REC(SfpHsState), RecOp::Get, key_byte0, 1,
     PLOV_SFP_HS_STATE_LEN, check_sfp_port},
    {PLOV_IOC_SET_QUEUE_SWITCH, sizeof(QueueSwitchReq), REC(QueueSwitch), RecOp::Set, key_queue_switch, 0, 0,
     check_queue_switch},
    {PLOV_IOC_GET_QUEUE_SWITCH, sizeof(QueueSwitchReq), REC(QueueSwitch), RecOp::Get, key_queue_switch, 2, 4,
     check_queue_switch},
    {PLOV_IOC_SET_HRTIMER_AFFINITY, 1, REC(HrtimerAffinity), RecOp::Set, nullptr, 0, 0, nullptr},
    {PLOV_IOC_GET_HRTIMER_AFFINITY, 1, REC(HrtimerAffinity), RecOp::Get, nullptr, 0, 1, nullptr},
    {PLOV_IOC_GET_IIC_STATUS, PLOV_IIC_STATUS_LEN, REC(IicStatus), RecOp::Get, key_byte0, 1, PLOV_IIC_STATUS_LEN,
     check_sfp_port},
    {PLOV_IOC_GET_DRV_INFO, sizeof(DrvInfo), REC(DrvInfo), RecOp::Get, nullptr, 0, sizeof(DrvInfo), nullptr},
    {PLOV_IOC_GET_PORT_STATIC_MAC, sizeof(PortStaticMacReq), REC(StaticMac), RecOp::Get, key_byte0, 1,
     sizeof(PortStaticMacReq), check_mac_port},
    {PLOV_IOC_SET_HRTIMER, 8, REC(Hrtimer), RecOp::Set, nullptr, 0, 0, nullptr},
    {PLOV_IOC_GET_HRTIMER, 8, REC(Hrtimer), RecOp::Get, nullptr, 0, 8, nullptr},
    {PLOV_IOC_ADD_PCI_PORT_EP, sizeof(PciPortEpReq), REC(PciPortEp), RecOp::Set, key_pci_ep, 0, 0, nullptr},
    {PLOV_IOC_RM_PCI_PORT_EP, sizeof(PciPortEpReq), REC(PciPortEp), RecOp::Erase, key_pci_ep, 0, 0, nullptr},
};
#undef REC

int handle_record(const SimCall &call, SimJournalEntry &)
{
    const RecordRow *row = record_row(kRecordRows, call.request);
    if (row == nullptr)
        return -ENOTTY;
    return record_request(state(call.node).records, *row, static_cast<uint8_t *>(call.arg));
}

// ---- the request table ------------------------------------------------------------------------------------

// Requests with a handler of their own; the record stores follow them.
constexpr SimRequest kHandlerRows[] = {
    {PLOV_IOC_WRITE_DIR_REG, sizeof(DirRegReq), handle_dir_write},
    {PLOV_IOC_READ_DIR_REG, sizeof(DirRegReq), handle_dir_read},
    {PLOV_IOC_WRITE_INDIR_REG, sizeof(IndirRegReq), handle_indir},
    {PLOV_IOC_READ_INDIR_REG, sizeof(IndirRegReq), handle_indir},
    {PLOV_IOC_CLEAR_INDIR_REG, sizeof(IndirRegReq), handle_indir},
    {PLOV_IOC_MEM_OP, sizeof(MemOpReq), handle_mem_op},
    {PLOV_IOC_GET_SFP_AREA, sizeof(SfpRegReq), handle_sfp},
    {PLOV_IOC_SET_SFP_REG, sizeof(SfpRegReq), handle_sfp},
    {PLOV_IOC_GET_SFP_REG, sizeof(SfpRegReq), handle_sfp},
    {PLOV_IOC_SET_LOAD_AT_REBOOT, sizeof(LoadAtRebootReq), handle_load_at_reboot},
    {PLOV_IOC_GET_LOAD_AT_REBOOT, sizeof(LoadAtRebootReq), handle_load_at_reboot},
    {PLOV_IOC_GET_REGS, sizeof(RegSpaceReq), handle_regs},
};

constexpr auto kRecordRequests = record_requests(kRecordRows, handle_record);

constexpr std::array<SimRequest, std::size(kHandlerRows) + std::size(kRecordRows)> build_requests()
{
    std::array<SimRequest, std::size(kHandlerRows) + std::size(kRecordRows)> out{};
    std::copy(std::begin(kHandlerRows), std::end(kHandlerRows), out.begin());
    std::copy(kRecordRequests.begin(), kRecordRequests.end(), out.begin() + std::size(kHandlerRows));
    return out;
}

constexpr auto kRequests = build_requests();

const SimModel kFpgaModel = {"fpga", kRequests.data(), kRequests.size(), nullptr, nullptr, nullptr};

// ---- a fresh board ----------------------------------------------------------------------------------------

constexpr uint32_t kRegSpaceLen = 4096;

Bytes text_record(const std::string &text, size_t size)
{
    Bytes b(size, 0);
    std::copy_n(text.begin(), std::min(text.size(), size - 1), b.begin());
    return b;
}

void put_text(Bytes &page, size_t offset, const std::string &text)
{
    std::copy(text.begin(), text.end(), page.begin() + offset);
}

// A short-reach optical module: identity in page 0xA0.
void fresh_module(FpgaNodeState &s, uint8_t port)
{
    Bytes a0(kSfpPage, 0);
    a0[0] = 0x03;  // SFP
    a0[1] = 0x04;
    a0[2] = 0x07;  // LC connector
    a0[3] = 0x10;  // 10GBASE-SR
    a0[12] = 0x67;
    a0[16] = 0x08;
    a0[60] = 0x03;  // 850 nm
    a0[61] = 0x52;
    put_text(a0, 20, "QUORBIX OPTICS  ");
    put_text(a0, 40, "QX-SFP10G-SR    ");
    put_text(a0, 68, "QX0000000000000" + std::to_string(port));
    put_text(a0, 84, "260101  ");
    s.sfp[{port, 0xA0}] = a0;
    s.sfp[{port, 0xA2}] = Bytes(kSfpPage, 0);
    Bytes hs(16, 0);
    hs[0] = port;
    hs[2] = 1;  // present
    s.records[record_key(FpgaRecord::SfpHsState, port)] = hs;
}

void fresh_node(FpgaNodeState &s, uint8_t fpga, const std::string &driver)
{
    s.records[record_key(FpgaRecord::DrvVer, 0)] = text_record(driver + " 1.0.0", PLOV_DRV_VER_LEN);
    DrvInfo info{};
    info.reg_len = kRegSpaceLen;
    info.cpu_num = 2;
    info.cpu0_x4_present = 1;
    info.cpu0_x8_present = 1;
    info.cpu1_x8_present = 1;
    s.records[record_key(FpgaRecord::DrvInfo, 0)] = bytes_of(info);
    Bytes space(kRegSpaceLen);
    for (size_t i = 0; i < space.size(); i++)
        space[i] = static_cast<uint8_t>(i);
    s.records[record_key(FpgaRecord::RegSpace, 0)] = space;
    s.records[record_key(FpgaRecord::CpuUsage, 0)] = Bytes{3};
    for (uint8_t port = 0; port < kSfpPorts; port++) {
        PortStaticMacReq mac{};
        mac.port = port;
        const uint8_t addr[6] = {0x00, 0x1A, 0x2B, fpga, 0x00, port};
        std::memcpy(mac.mac, addr, sizeof addr);
        s.records[record_key(FpgaRecord::StaticMac, port)] = bytes_of(mac);
    }
}

// The software buffer bases the driver reports, by the pool type it is asked
// for (on DORN the pool number with bits 0 and 2 exchanged, so bit 0 is the
// CPU and bit 2 the FPGA; on KESP as the tool gives it, bit 2 the CPU).
struct SwbufBase {
    FpgaBoard board;
    const char *node;
    uint32_t poolType;
    uint64_t phys;
};
constexpr SwbufBase kSwbufBases[] = {
    {FpgaBoard::Dorn, kFpgaTransNode, 0, kDornRegionCpu0 + 2 * kMiB},
    {FpgaBoard::Dorn, kFpgaTransNode, 1, kDornRegionCpu1 + 2 * kMiB},
    {FpgaBoard::Dorn, kFpgaTransNode, 2, kDornRegionCpu0 + 2 * kMiB + kMiB / 2},
    {FpgaBoard::Dorn, kFpgaTransNode, 3, kDornRegionCpu1 + 2 * kMiB + kMiB / 2},
    {FpgaBoard::Dorn, kFpgaSbufNode, 4, kDornRegionCpu0 + 3 * kMiB},
    {FpgaBoard::Dorn, kFpgaSbufNode, 5, kDornRegionCpu1 + 3 * kMiB},
    {FpgaBoard::Dorn, kFpgaSbufNode, 6, kDornRegionCpu0 + 3 * kMiB + kMiB / 2},
    {FpgaBoard::Dorn, kFpgaSbufNode, 7, kDornRegionCpu1 + 3 * kMiB + kMiB / 2},
    {FpgaBoard::Kesp, kFpgaTransNode, 0, kKespRegion + 2 * kMiB},
    {FpgaBoard::Kesp, kFpgaTransNode, 4, kKespRegion + 2 * kMiB + kMiB / 4},
    {FpgaBoard::Kesp, kFpgaTransNode, 2, kKespRegion + 2 * kMiB + kMiB / 2},
    {FpgaBoard::Kesp, kFpgaTransNode, 6, kKespRegion + 2 * kMiB + 3 * kMiB / 4},
};

void fresh_swbuf_bases(FpgaModelState &m)
{
    for (const SwbufBase &b : kSwbufBases) {
        if (b.board != m.board)
            continue;
        SwBufBaseRec rec{};
        rec.PhyAddr = b.phys;
        rec.PoolType = b.poolType;
        m.nodes[b.node].records[record_key(FpgaRecord::SwBufBase, b.poolType)] = bytes_of(rec);
    }
}

// The nodes of the board with their register rules. Modules sit in cages 0
// and 1: those of the sbuf FPGA on DORN, of the one FPGA on KESP.
void fresh_board()
{
    FpgaModelState &m = model();
    m.nodes.clear();
    m.encoding = m.board == FpgaBoard::Kesp ? FpgaEncoding::Kesp : FpgaEncoding::Dorn;
    FpgaNodeState &trans = m.nodes[kFpgaTransNode];
    bool dorn = m.board == FpgaBoard::Dorn;
    if (dorn)
        reg_file_reset(trans.regs, kTransRules, kTransTriggers);
    else
        reg_file_reset(trans.regs, kKespRules, kKespTriggers);
    fresh_node(trans, 0, "trans_pci");
    FpgaNodeState *cages = &trans;
    if (dorn) {
        FpgaNodeState &sbuf = m.nodes[kFpgaSbufNode];
        reg_file_reset(sbuf.regs, kSbufRules, kSbufTriggers);
        fresh_node(sbuf, 1, "sbuf_pci");
        cages = &sbuf;
    }
    fresh_module(*cages, 0);
    fresh_module(*cages, 1);
    fresh_swbuf_bases(m);
    // KESP QDR control (indirect 0x810, word 0): initialised, test and march done.
    if (!dorn)
        trans.indir[{0x810, Words{0}}] = Words{0x814};
}

// ---- saved state: named keys in sections "fpga" and "fpga <node>" -------------------------------------------

constexpr const char *kBoardNames[] = {"dorn", "kesp"};

std::string node_section(const std::string &node) { return "fpga " + node; }

std::string key_of(const char *word, std::initializer_list<uint64_t> numbers)
{
    std::string key = word;
    for (uint64_t n : numbers)
        key += " " + sim_doc_hex(n);
    return key;
}

void save_rules(SimDocSection &sec, uint64_t addr, const RegRule &r)
{
    const std::pair<const char *, uint64_t> masks[] = {
        {"ro", r.roMask}, {"w1c", r.w1cMask}, {"cor", r.corMask}, {"stuck", r.stuckMask}, {"complement", r.complement}};
    for (const auto &[word, mask] : masks)
        if (mask != 0)
            sec.put(key_of(word, {addr}), mask);
}

void save_node(SimDocSection &sec, const FpgaNodeState &s)
{
    for (const auto &[addr, cell] : s.regs.cells) {
        sec.put(key_of("reg", {addr}), cell.value);
        save_rules(sec, addr, cell.rule);
    }
    for (const auto &[base, n] : s.keyWords)
        sec.put(key_of("keys", {base}), n);
    for (const auto &[key, words] : s.indir) {
        std::string k = key_of("indir", {key.first});
        for (uint64_t w : key.second)
            k += " " + sim_doc_hex(w);
        sec.put(k, words);
    }
    for (const auto &[key, words] : s.stats)
        sec.put(key_of("stat", {key.first, key.second}), words);
    for (const auto &[key, bytes] : s.records)
        sec.put_bytes("rec " + key.first + " " + sim_doc_hex(key.second), bytes);
    for (const auto &[key, page] : s.sfp)
        sec.put_bytes(key_of("sfp", {key.first, key.second}), page);
    for (const auto &[addr, value] : s.mem)
        sec.put(key_of("mem", {addr}), value);
}

// One saved item: the key's words after the first as numbers (a record's
// store name excepted), the entry for its value.
struct LoadCtx {
    SimDoc &doc;
    FpgaNodeState &s;
    const SimDocEntry &e;
    std::vector<std::string_view> words;
    std::vector<uint64_t> n;  // the numbers among words[1..]
};

// The largest record the driver's requests move, or the register space.
constexpr size_t max_record_bytes()
{
    size_t most = kRegSpaceLen;
    for (const RecordRow &r : kRecordRows)
        most = std::max(most, r.size);
    return most;
}

bool set_rule(LoadCtx &c, uint64_t RegRule::*mask)
{
    uint64_t v = 0;
    if (!c.doc.get(c.e, v))
        return false;
    RegRule r = reg_rule(c.s.regs, c.n[0]) ? *reg_rule(c.s.regs, c.n[0]) : RegRule{c.n[0]};
    r.*mask = v;
    reg_set_rule(c.s.regs, r);
    return true;
}

bool load_reg(LoadCtx &c)
{
    uint64_t v = 0;
    if (!c.doc.get(c.e, v))
        return false;
    reg_set(c.s.regs, c.n[0], v);
    return true;
}
bool load_ro(LoadCtx &c) { return set_rule(c, &RegRule::roMask); }
bool load_w1c(LoadCtx &c) { return set_rule(c, &RegRule::w1cMask); }
bool load_cor(LoadCtx &c) { return set_rule(c, &RegRule::corMask); }
bool load_stuck(LoadCtx &c) { return set_rule(c, &RegRule::stuckMask); }
bool load_complement(LoadCtx &c)
{
    uint64_t v = 0;
    if (!c.doc.get(c.e, v, 1))
        return false;
    RegRule r = reg_rule(c.s.regs, c.n[0]) ? *reg_rule(c.s.regs, c.n[0]) : RegRule{c.n[0]};
    r.complement = v != 0;
    reg_set_rule(c.s.regs, r);
    return true;
}
bool load_keys(LoadCtx &c)
{
    uint64_t v = 0;
    if (!c.doc.get(c.e, v, kMaxIndirWords))
        return false;
    c.s.keyWords[c.n[0]] = static_cast<unsigned>(v);
    return true;
}
bool load_indir(LoadCtx &c)
{
    Words w;
    if (!c.doc.get(c.e, w, kMaxIndirWords, UINT64_MAX))
        return false;
    c.s.indir[{c.n[0], Words(c.n.begin() + 1, c.n.end())}] = w;
    return true;
}
bool load_stat(LoadCtx &c)
{
    Words w;
    if (!c.doc.get(c.e, w, kMaxIndirWords, UINT64_MAX))
        return false;
    c.s.stats[{c.n[0], c.n[1]}] = w;
    return true;
}
bool load_sfp(LoadCtx &c)
{
    Bytes b;
    if (c.n[0] >= kSfpPorts || c.n[1] > UINT32_MAX || !sfp_device(static_cast<uint32_t>(c.n[1])))
        return c.doc.fail(c.e.line, "no SFP page \"" + c.e.key + "\" on the driver (ports 0 to " +
                                        std::to_string(kSfpPorts - 1) + ", devices 0xa0, 0xa2, 0xac)");
    if (!c.doc.get_bytes(c.e, b, kSfpPage, kSfpPage))
        return false;
    c.s.sfp[{static_cast<uint8_t>(c.n[0]), static_cast<uint32_t>(c.n[1])}] = b;
    return true;
}
bool load_mem(LoadCtx &c)
{
    uint64_t v = 0;
    if (!c.doc.get(c.e, v))
        return false;
    c.s.mem[c.n[0]] = v;
    return true;
}
bool load_rec(LoadCtx &c)
{
    Bytes b;
    if (!c.doc.get_bytes(c.e, b, 0, max_record_bytes()))
        return false;
    c.s.records[{std::string(c.words[1]), c.n[0]}] = b;
    return true;
}

// A key's words, the first included; a register's address is one the
// driver reaches (indirect keys take the words of one request).
struct KeyLoader {
    const char *word;
    size_t minWords, maxWords;
    bool (*load)(LoadCtx &c);
    uint64_t maxAddr;  // of the first number
};

constexpr KeyLoader kLoaders[] = {
    {"reg", 2, 2, load_reg, kMaxRegAddr},
    {"ro", 2, 2, load_ro, kMaxRegAddr},
    {"w1c", 2, 2, load_w1c, kMaxRegAddr},
    {"cor", 2, 2, load_cor, kMaxRegAddr},
    {"stuck", 2, 2, load_stuck, kMaxRegAddr},
    {"complement", 2, 2, load_complement, kMaxRegAddr},
    {"keys", 2, 2, load_keys, UINT64_MAX},
    {"indir", 2, 2 + kMaxIndirWords, load_indir, UINT64_MAX},
    {"stat", 3, 3, load_stat, UINT64_MAX},
    {"sfp", 3, 3, load_sfp, UINT64_MAX},
    {"mem", 2, 2, load_mem, UINT64_MAX},
    {"rec", 3, 3, load_rec, UINT64_MAX},
};

bool known_store(std::string_view name)
{
    return std::find(std::begin(kRecordNames), std::end(kRecordNames), name) != std::end(kRecordNames);
}

bool load_entry(SimDoc &doc, FpgaNodeState &s, const SimDocEntry &e)
{
    LoadCtx c{doc, s, e, sim_doc_words(e.key), {}};
    const KeyLoader *loader = nullptr;
    for (const KeyLoader &l : kLoaders)
        if (!c.words.empty() && c.words[0] == l.word)
            loader = &l;
    if (loader == nullptr || c.words.size() < loader->minWords || c.words.size() > loader->maxWords)
        return doc.fail(e.line, "unknown fpga key \"" + e.key + "\"");
    bool rec = c.words[0] == "rec";
    if (rec && (c.words.size() != 3 || !known_store(c.words[1])))
        return doc.fail(e.line, "unknown fpga record \"" + e.key + "\"");
    for (size_t i = rec ? 2 : 1; i < c.words.size(); i++) {
        uint64_t v = 0;
        if (!sim_doc_number(c.words[i], v))
            return doc.fail(e.line, "bad number in fpga key \"" + e.key + "\"");
        c.n.push_back(v);
    }
    if (c.n[0] > loader->maxAddr)
        return doc.fail(e.line, "fpga key \"" + e.key + "\" is past the last register " +
                                    sim_doc_hex(loader->maxAddr));
    return loader->load(c);
}

bool load_board(SimDoc &doc)
{
    const SimDocSection *top = doc.find("fpga");
    std::string board = "dorn";
    if (top != nullptr && top->find("board") != nullptr && !doc.get_text(*top, "board", board))
        return false;
    auto it = std::find(std::begin(kBoardNames), std::end(kBoardNames), board);
    if (it == std::end(kBoardNames))
        return doc.fail(top->find("board")->line, "unknown fpga board \"" + board + "\"");
    model().board = static_cast<FpgaBoard>(it - std::begin(kBoardNames));
    return true;
}

// ---- faults -----------------------------------------------------------------------------------------------

// The field holding a request's address: register, base or memory address.
bool address_field(unsigned long request, FieldMatch &f)
{
    switch (request) {
    case PLOV_IOC_WRITE_DIR_REG:
    case PLOV_IOC_READ_DIR_REG:
        f = {offsetof(DirRegReq, addr), 8, 0};
        return true;
    case PLOV_IOC_MEM_OP:
        f = {offsetof(MemOpReq, addr), 8, 0};
        return true;
    case PLOV_IOC_WRITE_INDIR_REG:
    case PLOV_IOC_READ_INDIR_REG:
    case PLOV_IOC_CLEAR_INDIR_REG:
        f = {offsetof(IndirRegReq, baseaddr), 8, 0};
        return true;
    default:
        return false;
    }
}

SimFault address_fault(const std::string &node, unsigned long request, uint64_t addr, unsigned nth)
{
    state(node);
    FieldMatch f{};
    if (!address_field(request, f))
        throw std::invalid_argument("fpga model: request " + sim_doc_hex(request) + " carries no address");
    f.value = addr;
    return field_fault(node, request, {f}, nth);
}

} // namespace

// ---- board hooks --------------------------------------------------------------------------------------------

bool fpga_model_attach(FpgaBoard board, SimDoc &saved)
{
    fpga_clear_sfp_loopback();
    model().board = board;
    bool ok = saved.find("fpga") == nullptr || fpga_model_load(saved);
    if (!ok || saved.find("fpga") == nullptr || model().board != board) {
        model().board = board;
        fresh_board();
    }
    for (const auto &[node, s] : model().nodes)
        sim_register_node(node, &kFpgaModel, nullptr);
    return ok;
}

void fpga_model_attach(FpgaBoard board)
{
    SimDoc fresh;
    fpga_model_attach(board, fresh);
}

void fpga_model_save(SimDoc &doc)
{
    doc.section("fpga").put_text("board", kBoardNames[static_cast<size_t>(model().board)]);
    for (const auto &[node, s] : model().nodes)
        save_node(doc.section(node_section(node)), s);
}

bool fpga_model_load(SimDoc &doc)
{
    if (!load_board(doc))
        return false;
    fresh_board();
    for (auto &[node, s] : model().nodes) {
        s.records.clear();
        s.sfp.clear();
        const SimDocSection *sec = doc.find(node_section(node));
        for (const SimDocEntry &e : sec != nullptr ? sec->entries : std::vector<SimDocEntry>{})
            if (!load_entry(doc, s, e))
                return false;
    }
    return true;
}

void fpga_model_reset() { fresh_board(); }
FpgaBoard fpga_board() { return model().board; }

void fpga_set_encoding(FpgaEncoding encoding) { model().encoding = encoding; }
FpgaEncoding fpga_encoding() { return model().encoding; }

// ---- direct registers ------------------------------------------------------------------------------------------

void fpga_set_reg(const std::string &node, uint64_t addr, uint64_t value) { reg_set(state(node).regs, addr, value); }

uint64_t fpga_get_reg(const std::string &node, uint64_t addr) { return reg_peek(state(node).regs, addr); }

void fpga_script_reads(const std::string &node, uint64_t addr, std::vector<uint64_t> values)
{
    reg_script(state(node).regs, addr, std::move(values));
}

void fpga_set_reg_behaviour(const std::string &node, uint64_t addr, FpgaRegBehaviour behaviour)
{
    constexpr uint64_t kAll = ~uint64_t{0};
    RegRule r{addr};
    r.roMask = behaviour == FpgaRegBehaviour::ReadOnly ? kAll : 0;
    r.stuckMask = r.roMask;
    r.corMask = behaviour == FpgaRegBehaviour::ClearOnRead ? kAll : 0;
    r.complement = behaviour == FpgaRegBehaviour::Complement;
    reg_set_rule(state(node).regs, r);
}

// ---- indirect ----------------------------------------------------------------------------------------------------

void fpga_set_key_words(const std::string &node, uint64_t base, unsigned count) { state(node).keyWords[base] = count; }

void fpga_put_indirect(const std::string &node, uint64_t base, const std::vector<uint64_t> &key,
                       const std::vector<uint64_t> &words)
{
    state(node).indir[{base, key}] = words;
}

void fpga_script_indirect(const std::string &node, uint64_t base, const std::vector<uint64_t> &key,
                          const std::vector<std::vector<uint64_t>> &reads)
{
    std::deque<Words> &q = state(node).scripted[{base, key}];
    q.assign(reads.begin(), reads.end());
}

std::vector<uint64_t> fpga_get_indirect(const std::string &node, uint64_t base, const std::vector<uint64_t> &key)
{
    return find_or(state(node).indir, std::pair{base, key});
}

bool fpga_has_indirect(const std::string &node, uint64_t base, const std::vector<uint64_t> &key)
{
    return state(node).indir.count({base, key}) != 0;
}

bool fpga_has_node(const std::string &node) { return model().nodes.count(node) != 0; }

void fpga_put_table_stats(const std::string &node, uint64_t base, uint64_t entry, const std::vector<uint64_t> &words)
{
    state(node).stats[{base, entry}] = words;
}

std::vector<uint64_t> fpga_get_table_stats(const std::string &node, uint64_t base, uint64_t entry)
{
    return find_or(state(node).stats, std::pair{base, entry});
}

// ---- records -------------------------------------------------------------------------------------------------------

void fpga_set_record(const std::string &node, FpgaRecord kind, uint64_t key, const std::vector<uint8_t> &bytes)
{
    state(node).records[record_key(kind, key)] = bytes;
}

std::vector<uint8_t> fpga_get_record(const std::string &node, FpgaRecord kind, uint64_t key)
{
    return find_or(state(node).records, record_key(kind, key));
}

bool fpga_has_record(const std::string &node, FpgaRecord kind, uint64_t key)
{
    return state(node).records.count(record_key(kind, key)) != 0;
}

void fpga_erase_record(const std::string &node, FpgaRecord kind, uint64_t key)
{
    state(node).records.erase(record_key(kind, key));
}

uint64_t fpga_pci_ep_key(const uint32_t words[4])
{
    uint64_t key = 0;
    for (int i = 0; i < 4; i++)
        key = key << 16 | (words[i] & 0xFFFF);
    return key;
}

// ---- SFP pages and memory ---------------------------------------------------------------------------------------------

void fpga_set_sfp_bytes(const std::string &node, uint8_t port, uint32_t dev, uint8_t offset,
                        const std::vector<uint8_t> &bytes)
{
    Bytes &page = state(node).sfp[{port, dev}];
    page.resize(kSfpPage, 0);
    for (size_t i = 0; i < bytes.size() && offset + i < kSfpPage; i++)
        page[offset + i] = bytes[i];
}

std::vector<uint8_t> fpga_get_sfp_page(const std::string &node, uint8_t port, uint32_t dev)
{
    return find_or(state(node).sfp, std::pair{port, dev});
}

void fpga_set_mem(const std::string &node, uint64_t addr, uint64_t value) { state(node).mem[addr] = value; }

uint64_t fpga_get_mem(const std::string &node, uint64_t addr) { return find_or(state(node).mem, addr); }

// ---- faults ----------------------------------------------------------------------------------------------------------------

void fpga_fail_address(const std::string &node, unsigned long request, uint64_t addr, int err, unsigned nth)
{
    SimFault f = address_fault(node, request, addr, nth);
    f.err = err;
    sim_add_fault(std::move(f));
}

void fpga_result_address(const std::string &node, unsigned long request, uint64_t addr, int result, unsigned nth)
{
    SimFault f = address_fault(node, request, addr, nth);
    f.result = result;
    sim_add_fault(std::move(f));
}

void fpga_fail_key(const std::string &node, unsigned long request, uint64_t base, const std::vector<uint64_t> &key,
                   int err, unsigned nth)
{
    state(node);
    std::vector<FieldMatch> fields{{offsetof(IndirRegReq, baseaddr), 8, base}};
    for (size_t i = 0; i < key.size(); i++)
        fields.push_back({offsetof(IndirRegReq, data), 8, key[i], true, i});
    SimFault f = field_fault(node, request, std::move(fields), nth, [request](const void *rec) {
        return indir_words(request, *static_cast<const IndirRegReq *>(rec));
    });
    f.err = err;
    sim_add_fault(std::move(f));
}

#include "sim/fpga_model.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <deque>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <utility>

#include "boardlib/dorn_logic.h"
#include "boardlib/plov_types.h"
#include "sim/sim_board.h"
#include "sim/sim_host.h"

namespace {

using Words = std::vector<uint64_t>;
using Bytes = std::vector<uint8_t>;

constexpr uint64_t kMaxRegAddr = 0xFFFFF;     // direct register space of the driver
constexpr size_t kMaxIndirWords = 256;        // words of one indirect request
constexpr size_t kSfpPage = 256;
constexpr uint8_t kSfpPorts = 8;
constexpr uint8_t kMacPorts = 16;
constexpr uint32_t kQueueTypes = 3;
constexpr uint64_t kFpgaIds = 2;
constexpr unsigned long kIocDelete = 2;  // command words of table requests
constexpr unsigned long kIocClear = 3;

struct FpgaNodeState {
    std::map<uint64_t, uint64_t> regs;
    std::map<uint64_t, FpgaRegBehaviour> behaviour;
    std::map<uint64_t, std::deque<uint64_t>> reads;
    std::map<uint64_t, unsigned> keyWords;
    std::map<std::pair<uint64_t, Words>, Words> indir;
    std::map<std::pair<int, uint64_t>, Bytes> records;
    std::map<std::pair<uint8_t, uint32_t>, Bytes> sfp;
    std::map<uint64_t, uint64_t> mem;
};

struct FpgaModelState {
    FpgaEncoding encoding = FpgaEncoding::Dorn;
    std::map<std::string, FpgaNodeState> nodes;
};

FpgaModelState &model()
{
    static FpgaModelState *state = new FpgaModelState;  // outlives static destructors
    return *state;
}

FpgaNodeState &state(const std::string &node) { return model().nodes[node]; }

// The value stored under `key`, or a value-initialised one (0, empty, Plain).
template <typename M, typename K> typename M::mapped_type find_or(const M &map, const K &key)
{
    auto it = map.find(key);
    return it == map.end() ? typename M::mapped_type{} : it->second;
}

std::pair<int, uint64_t> record_key(FpgaRecord kind, uint64_t key) { return {static_cast<int>(kind), key}; }

template <typename T> T load(const uint8_t *p, size_t offset)
{
    T v;
    std::memcpy(&v, p + offset, sizeof v);
    return v;
}

template <typename T> Bytes bytes_of(const T &v)
{
    Bytes b(sizeof v);
    std::memcpy(b.data(), &v, sizeof v);
    return b;
}

// ---- direct registers ------------------------------------------------------------------------

int handle_dir_write(const SimCall &call, SimJournalEntry &)
{
    auto *req = static_cast<DirRegReq *>(call.arg);
    if (req->addr > kMaxRegAddr)
        return -EINVAL;
    FpgaNodeState &s = state(call.node);
    switch (find_or(s.behaviour, req->addr)) {
    case FpgaRegBehaviour::ReadOnly:
        break;
    case FpgaRegBehaviour::Complement:
        s.regs[req->addr] = ~req->data;
        break;
    default:
        s.regs[req->addr] = req->data;
    }
    return 0;
}

int handle_dir_read(const SimCall &call, SimJournalEntry &)
{
    auto *req = static_cast<DirRegReq *>(call.arg);
    if (req->addr > kMaxRegAddr)
        return -EINVAL;
    FpgaNodeState &s = state(call.node);
    auto seq = s.reads.find(req->addr);
    if (seq != s.reads.end() && !seq->second.empty()) {
        req->data = seq->second.front();
        seq->second.pop_front();
        return 0;
    }
    req->data = s.regs[req->addr];
    if (find_or(s.behaviour, req->addr) == FpgaRegBehaviour::ClearOnRead)
        s.regs[req->addr] = 0;
    return 0;
}

// ---- indirect registers and table entries ----------------------------------------------------------

unsigned key_words(const FpgaNodeState &s, uint64_t base)
{
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
void answer(const FpgaNodeState &s, const std::pair<uint64_t, Words> &key, uint64_t *to, size_t count)
{
    auto it = s.indir.find(key);
    for (size_t i = 0; i < count; i++)
        to[i] = it != s.indir.end() && i < it->second.size() ? it->second[i] : 0;
}

// DORN: key words first; wlen counts key and value words; the answer at word wlen.
void dorn_indir(FpgaNodeState &s, unsigned long request, IndirRegReq &req)
{
    uint64_t *w = req.data;
    unsigned k = key_words(s, req.baseaddr);
    size_t kk = std::min<size_t>(k, req.wlen);
    std::pair<uint64_t, Words> key{req.baseaddr, Words(w, w + kk)};
    if (request == PLOV_IOC_READ_INDIR_REG) {
        answer(s, key, w + req.wlen, req.rlen);
    } else if (req.cmd == kIocDelete || (req.cmd == kIocClear && req.wlen <= k)) {
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

// Clear (request 0x1E): the buffer holds the address alone, whatever the
// counts say; every entry at the base whose first key word it is goes.
void clear_indir(FpgaNodeState &s, const IndirRegReq &req)
{
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
    if (call.request == PLOV_IOC_CLEAR_INDIR_REG)
        clear_indir(s, *req);
    else if (total == 0 || total > kMaxIndirWords)
        return -EINVAL;
    else if (model().encoding == FpgaEncoding::Kesp)
        kesp_indir(s, call.request, *req);
    else
        dorn_indir(s, call.request, *req);
    entry.extra.assign(req->data, req->data + indir_words(call.request, *req));
    return 0;
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

enum class RecOp { Get, Set, Erase };

uint64_t key_none(const uint8_t *) { return 0; }
uint64_t key_byte0(const uint8_t *r) { return r[0]; }
uint64_t key_queue_addr(const uint8_t *r) { return uint64_t{load<uint32_t>(r, 0)} << 32 | load<uint32_t>(r, 4); }
uint64_t key_pool_type(const uint8_t *r) { return load<uint32_t>(r, 16); }
uint64_t key_port_link(const uint8_t *r) { return uint64_t{load<uint32_t>(r, 4)} << 32 | load<uint32_t>(r, 8); }
uint64_t key_queue_switch(const uint8_t *r) { return uint64_t{load<uint16_t>(r, 0)} << 16 | load<uint16_t>(r, 8); }
uint64_t key_pci_ep(const uint8_t *r)
{
    uint32_t w[4];
    std::memcpy(w, r, sizeof w);
    return fpga_pci_ep_key(w);
}

int check_none(const uint8_t *) { return 0; }
int check_sfp_port(const uint8_t *r) { return r[0] < kSfpPorts ? 0 : -EINVAL; }
int check_mac_port(const uint8_t *r) { return r[0] < kMacPorts ? 0 : -EINVAL; }
int check_queue_addr(const uint8_t *r) { return load<uint32_t>(r, 0) < kQueueTypes ? 0 : -EINVAL; }
int check_queue_switch(const uint8_t *r) { return load<uint16_t>(r, 0) < kQueueTypes ? 0 : -EINVAL; }

struct RecordRow {
    unsigned long number;
    size_t size;
    FpgaRecord kind;
    RecOp op;
    uint64_t (*key)(const uint8_t *rec);
    size_t answerFrom, answerTo;  // bytes a get copies from the stored record
    int (*check)(const uint8_t *rec);
};

constexpr RecordRow kRecordRows[] = {
    {PLOV_IOC_SET_SHMEM, PLOV_SHARE_MEM_SIZE, FpgaRecord::Shmem, RecOp::Set, key_none, 0, 0, check_none},
    {PLOV_IOC_GET_SHMEM, PLOV_SHARE_MEM_SIZE, FpgaRecord::Shmem, RecOp::Get, key_none, 0, PLOV_SHARE_MEM_SIZE, check_none},
    {PLOV_IOC_SET_MEM_DEP, sizeof(MemCfg), FpgaRecord::MemDep, RecOp::Set, key_none, 0, 0, check_none},
    {PLOV_IOC_GET_MEM_DEP, sizeof(MemCfg), FpgaRecord::MemDep, RecOp::Get, key_none, 0, sizeof(MemCfg), check_none},
    {PLOV_IOC_USR_START, 1, FpgaRecord::UsrStart, RecOp::Set, key_none, 0, 0, check_none},
    {PLOV_IOC_GET_QUEUE_ADDR, sizeof(QueueAddrRec), FpgaRecord::QueueAddr, RecOp::Get, key_queue_addr, 8,
     sizeof(QueueAddrRec), check_queue_addr},
    {PLOV_IOC_GET_SWBUF_BASE, sizeof(SwBufBaseRec), FpgaRecord::SwBufBase, RecOp::Get, key_pool_type, 0, 16, check_none},
    {PLOV_IOC_GET_DRV_VER, PLOV_DRV_VER_LEN, FpgaRecord::DrvVer, RecOp::Get, key_none, 0, PLOV_DRV_VER_LEN, check_none},
    {PLOV_IOC_SET_CPU_USG, 1, FpgaRecord::CpuUsage, RecOp::Set, key_none, 0, 0, check_none},
    {PLOV_IOC_GET_CPU_USG, 1, FpgaRecord::CpuUsage, RecOp::Get, key_none, 0, 1, check_none},
    {PLOV_IOC_GET_MEM_DESC, sizeof(MemDesc) * MEM_DESC_COUNT, FpgaRecord::MemDesc, RecOp::Get, key_none, 0,
     sizeof(MemDesc) * MEM_DESC_COUNT, check_none},
    {PLOV_IOC_GET_PORT_LINK, 24, FpgaRecord::PortLink, RecOp::Get, key_port_link, 16, 24, check_none},
    {PLOV_IOC_GET_SFP_HS_STATE, 16, FpgaRecord::SfpHsState, RecOp::Get, key_byte0, 1, 16, check_sfp_port},
    {PLOV_IOC_SET_QUEUE_SWITCH, sizeof(QueueSwitchReq), FpgaRecord::QueueSwitch, RecOp::Set, key_queue_switch, 0, 0,
     check_queue_switch},
    {PLOV_IOC_GET_QUEUE_SWITCH, sizeof(QueueSwitchReq), FpgaRecord::QueueSwitch, RecOp::Get, key_queue_switch, 2, 4,
     check_queue_switch},
    {PLOV_IOC_SET_HRTIMER_AFFINITY, 1, FpgaRecord::HrtimerAffinity, RecOp::Set, key_none, 0, 0, check_none},
    {PLOV_IOC_GET_HRTIMER_AFFINITY, 1, FpgaRecord::HrtimerAffinity, RecOp::Get, key_none, 0, 1, check_none},
    {PLOV_IOC_GET_IIC_STATUS, 16, FpgaRecord::IicStatus, RecOp::Get, key_byte0, 1, 16, check_sfp_port},
    {PLOV_IOC_GET_DRV_INFO, sizeof(DrvInfo), FpgaRecord::DrvInfo, RecOp::Get, key_none, 0, sizeof(DrvInfo), check_none},
    {PLOV_IOC_GET_PORT_STATIC_MAC, sizeof(PortStaticMacReq), FpgaRecord::StaticMac, RecOp::Get, key_byte0, 1,
     sizeof(PortStaticMacReq), check_mac_port},
    {PLOV_IOC_SET_HRTIMER, 8, FpgaRecord::Hrtimer, RecOp::Set, key_none, 0, 0, check_none},
    {PLOV_IOC_GET_HRTIMER, 8, FpgaRecord::Hrtimer, RecOp::Get, key_none, 0, 8, check_none},
    {PLOV_IOC_ADD_PCI_PORT_EP, 16, FpgaRecord::PciPortEp, RecOp::Set, key_pci_ep, 0, 0, check_none},
    {PLOV_IOC_RM_PCI_PORT_EP, 16, FpgaRecord::PciPortEp, RecOp::Erase, key_pci_ep, 0, 0, check_none},
};

int handle_record(const SimCall &call, SimJournalEntry &)
{
    const RecordRow *row = nullptr;
    for (const RecordRow &r : kRecordRows)
        if (r.number == call.request)
            row = &r;
    if (row == nullptr)
        return -ENOTTY;
    auto *rec = static_cast<uint8_t *>(call.arg);
    if (int err = row->check(rec); err != 0)
        return err;
    FpgaNodeState &s = state(call.node);
    std::pair<int, uint64_t> key = record_key(row->kind, row->key(rec));
    switch (row->op) {
    case RecOp::Set:
        s.records[key].assign(rec, rec + row->size);
        return 0;
    case RecOp::Erase:
        return s.records.erase(key) != 0 ? 0 : -ENOENT;
    case RecOp::Get:
        break;
    }
    auto it = s.records.find(key);
    for (size_t i = row->answerFrom; i < row->answerTo; i++)
        rec[i] = it != s.records.end() && i < it->second.size() ? it->second[i] : 0;
    return 0;
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

constexpr size_t kRequestCount = std::size(kHandlerRows) + std::size(kRecordRows);

constexpr std::array<SimRequest, kRequestCount> build_requests()
{
    std::array<SimRequest, kRequestCount> out{};
    size_t i = 0;
    for (const SimRequest &r : kHandlerRows)
        out[i++] = r;
    for (const RecordRow &r : kRecordRows)
        out[i++] = SimRequest{r.number, r.size, handle_record};
    return out;
}

constexpr std::array<SimRequest, kRequestCount> kRequests = build_requests();

const SimModel kFpgaModel = {"fpga", kRequests.data(), kRequests.size(), nullptr, nullptr, nullptr};

// ---- a fresh board ----------------------------------------------------------------------------------------

constexpr uint64_t kLogicVersion = 0x0000000020261025ULL;  // register 0x1: version, low byte the run version
constexpr uint64_t kSfpStatusReg = 0x6900;
constexpr uint64_t kSfpAbsentPorts2To7 = 0xFCull << 8;  // bit p + 8: module absent
constexpr uint64_t kKespSfpAbsentReg = 0x101;            // KESP: bit c set, cage c empty
constexpr uint64_t kKespSfpAbsentCages2And3 = 0xC;
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
    s.regs[0x1] = kLogicVersion;
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

// Modules sit in cages 0 and 1: those of the sbuf FPGA on DORN, of the one
// FPGA on KESP.
void fresh_board()
{
    model().nodes.clear();
    FpgaNodeState &trans = state(kFpgaTransNode);
    FpgaNodeState &sbuf = state(kFpgaSbufNode);
    fresh_node(trans, 0, "trans_pci");
    fresh_node(sbuf, 1, "sbuf_pci");
    FpgaNodeState &cages = model().encoding == FpgaEncoding::Kesp ? trans : sbuf;
    if (&cages == &sbuf)
        sbuf.regs[kSfpStatusReg] = kSfpAbsentPorts2To7;
    else
        trans.regs[kKespSfpAbsentReg] = kKespSfpAbsentCages2And3;
    fresh_module(cages, 0);
    fresh_module(cages, 1);
}

// ---- saved state: one line per item, numbers in hexadecimal ----------------------------------------------------

std::string hex_bytes(const Bytes &b)
{
    static const char digits[] = "0123456789abcdef";
    std::string out;
    for (uint8_t v : b) {
        out += digits[v >> 4];
        out += digits[v & 0xF];
    }
    return out.empty() ? "-" : out;
}

Bytes parse_bytes(const std::string &text)
{
    Bytes out;
    if (text == "-")
        return out;
    for (size_t i = 0; i + 1 < text.size(); i += 2)
        out.push_back(static_cast<uint8_t>(std::stoul(text.substr(i, 2), nullptr, 16)));
    return out;
}

void save_node(std::ostream &out, const std::string &name, const FpgaNodeState &s)
{
    out << "node " << name << '\n' << std::hex;
    for (const auto &[addr, value] : s.regs)
        out << "reg " << addr << ' ' << value << '\n';
    for (const auto &[addr, b] : s.behaviour)
        out << "beh " << addr << ' ' << static_cast<int>(b) << '\n';
    for (const auto &[base, n] : s.keyWords)
        out << "keys " << base << ' ' << n << '\n';
    for (const auto &[key, words] : s.indir) {
        out << "indir " << key.first << ' ' << key.second.size();
        for (uint64_t w : key.second)
            out << ' ' << w;
        out << ' ' << words.size();
        for (uint64_t w : words)
            out << ' ' << w;
        out << '\n';
    }
    for (const auto &[key, bytes] : s.records)
        out << "rec " << key.first << ' ' << key.second << ' ' << hex_bytes(bytes) << '\n';
    for (const auto &[key, page] : s.sfp)
        out << "sfp " << unsigned{key.first} << ' ' << key.second << ' ' << hex_bytes(page) << '\n';
    for (const auto &[addr, value] : s.mem)
        out << "mem " << addr << ' ' << value << '\n';
    out << std::dec;
}

Words read_words(std::istream &in)
{
    size_t n = 0;
    in >> n;
    Words w(n);
    for (uint64_t &v : w)
        in >> v;
    return w;
}

void load_line(const std::string &line, FpgaNodeState *&node)
{
    std::istringstream in(line);
    std::string what;
    in >> what;
    if (what == "node") {
        std::string name;
        in >> name;
        node = &state(name);
        return;
    }
    if (node == nullptr)
        return;
    in >> std::hex;
    uint64_t a = 0, b = 0;
    std::string text;
    if (what == "reg" && in >> a >> b)
        node->regs[a] = b;
    else if (what == "beh" && in >> a >> b)
        node->behaviour[a] = static_cast<FpgaRegBehaviour>(b);
    else if (what == "keys" && in >> a >> b)
        node->keyWords[a] = static_cast<unsigned>(b);
    else if (what == "indir" && in >> a) {
        Words key = read_words(in);
        node->indir[{a, key}] = read_words(in);
    } else if (what == "rec" && in >> a >> b >> text)
        node->records[{static_cast<int>(a), b}] = parse_bytes(text);
    else if (what == "sfp" && in >> a >> b >> text)
        node->sfp[{static_cast<uint8_t>(a), static_cast<uint32_t>(b)}] = parse_bytes(text);
    else if (what == "mem" && in >> a >> b)
        node->mem[a] = b;
}

bool load_state()
{
    std::ifstream in(sim_path(kFpgaStatePath));
    if (!in)
        return false;
    model().nodes.clear();
    FpgaNodeState *node = nullptr;
    std::string line;
    while (std::getline(in, line))
        load_line(line, node);
    return true;
}

void save_state()
{
    std::filesystem::path path = sim_path(kFpgaStatePath);
    std::filesystem::create_directories(path.parent_path());
    std::ofstream out(path, std::ios::trunc);
    for (const auto &[name, s] : model().nodes)
        save_node(out, name, s);
}

// ---- faults -----------------------------------------------------------------------------------------------

// The address a request's record carries: register, base or memory address.
bool record_address(unsigned long request, const void *arg, uint64_t *addr)
{
    if (arg == nullptr)
        return false;
    auto *p = static_cast<const uint8_t *>(arg);
    switch (request) {
    case PLOV_IOC_WRITE_DIR_REG:
    case PLOV_IOC_READ_DIR_REG:
    case PLOV_IOC_MEM_OP:
        *addr = load<uint64_t>(p, 0);
        return true;
    case PLOV_IOC_WRITE_INDIR_REG:
    case PLOV_IOC_READ_INDIR_REG:
    case PLOV_IOC_CLEAR_INDIR_REG:
        *addr = load<uint64_t>(p, offsetof(IndirRegReq, baseaddr));
        return true;
    default:
        return false;
    }
}

SimFault address_fault(const std::string &node, unsigned long request, uint64_t addr, unsigned nth)
{
    SimFault f;
    f.node = node;
    f.request = request;
    f.nth = nth;
    f.match = [request, addr](const void *arg) {
        uint64_t a = 0;
        return record_address(request, arg, &a) && a == addr;
    };
    return f;
}

} // namespace

// ---- board hooks --------------------------------------------------------------------------------------------

void fpga_model_attach()
{
    bool kesp = sim_read_file(kSimBoardNamePath).find("ZK17KESP") != std::string::npos;
    model().encoding = kesp ? FpgaEncoding::Kesp : FpgaEncoding::Dorn;
    fpga_clear_sfp_loopback();
    if (!load_state())
        fresh_board();
    sim_register_node(kFpgaTransNode, &kFpgaModel, nullptr);
    sim_register_node(kFpgaSbufNode, &kFpgaModel, nullptr);
}

void fpga_model_detach()
{
    save_state();
}

void fpga_model_reset()
{
    fresh_board();
}

void fpga_set_encoding(FpgaEncoding encoding) { model().encoding = encoding; }
FpgaEncoding fpga_encoding() { return model().encoding; }

// ---- direct registers ------------------------------------------------------------------------------------------

void fpga_set_reg(const std::string &node, uint64_t addr, uint64_t value) { state(node).regs[addr] = value; }

uint64_t fpga_get_reg(const std::string &node, uint64_t addr) { return find_or(state(node).regs, addr); }

void fpga_script_reads(const std::string &node, uint64_t addr, std::vector<uint64_t> values)
{
    state(node).reads[addr] = std::deque<uint64_t>(values.begin(), values.end());
}

void fpga_set_reg_behaviour(const std::string &node, uint64_t addr, FpgaRegBehaviour behaviour)
{
    state(node).behaviour[addr] = behaviour;
}

// ---- indirect ----------------------------------------------------------------------------------------------------

void fpga_set_key_words(const std::string &node, uint64_t base, unsigned count) { state(node).keyWords[base] = count; }

void fpga_put_indirect(const std::string &node, uint64_t base, const std::vector<uint64_t> &key,
                       const std::vector<uint64_t> &words)
{
    state(node).indir[{base, key}] = words;
}

std::vector<uint64_t> fpga_get_indirect(const std::string &node, uint64_t base, const std::vector<uint64_t> &key)
{
    return find_or(state(node).indir, std::pair{base, key});
}

bool fpga_has_indirect(const std::string &node, uint64_t base, const std::vector<uint64_t> &key)
{
    return state(node).indir.count({base, key}) != 0;
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
    SimFault f;
    f.node = node;
    f.request = request;
    f.err = err;
    f.nth = nth;
    f.match = [request, base, key](const void *arg) {
        auto *req = static_cast<const IndirRegReq *>(arg);
        if (req == nullptr || req->baseaddr != base || req->data == nullptr)
            return false;
        return indir_words(request, *req) >= key.size() && std::equal(key.begin(), key.end(), req->data);
    };
    sim_add_fault(std::move(f));
}

#include "sim/spi_flash_model.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <iterator>
#include <map>

#include "bases/crc/crc16.h"
#include "bases/drv/spi_flash_drv.h"
#include "sim/board_profile.h"
#include "sim/sim_host.h"

namespace {

constexpr uint32_t kPage = 0x200;  // storage granule; erased pages are dropped
constexpr uint32_t kLpcRow = 0x100;  // LPC bytes are saved by rows that are not all zero
constexpr uint32_t kDefaultCap = 0x2000000;
constexpr uint32_t kSmallUnit = 0x10000, kLargeUnit = 0x40000;
constexpr uint8_t kLargeChip[6] = {0x01, 0x02, 0x20, 0x4D, 0x00, 0x80};
constexpr const char *kSection = "spi_flash";
// What the saved board holds of a flash, for its loader and the fixture
// lines alike: 32-bit words and addresses, stuck-bit masks of a byte.
constexpr uint64_t kMaxWord = UINT32_MAX;
constexpr uint64_t kMaxMask = 0xFF;

struct TransferFault {
    int op;
    int64_t address;
    int err;
    unsigned nth, seen;
};

struct Flash {
    uint32_t capacity = kDefaultCap;
    std::array<uint8_t, SPI_FLASH_CHIP_ID_LEN> chip{};
    std::map<uint32_t, std::vector<uint8_t>> pages;  // by page address
    std::map<uint32_t, uint8_t> stuck;               // address -> bits that stay 1
    std::vector<TransferFault> faults;
    bool open = false, capNotty = false, chipNotty = false;
    uint32_t loadType = 0, done = 1, app = 1, loads = 0;
};

struct FlashModel {
    std::array<Flash, 2> flash;
    std::array<uint8_t, 0x10000> lpc{};
};

FlashModel &model()
{
    static FlashModel *m = new FlashModel;  // outlives static destructors
    return *m;
}

Flash *find(uint32_t id) { return id < 2 ? &model().flash[id] : nullptr; }

uint8_t byte_at(const Flash &f, uint32_t at)
{
    auto it = f.pages.find(at & ~(kPage - 1));
    return it == f.pages.end() ? 0xFF : it->second[at % kPage];
}

void set_byte(Flash &f, uint32_t at, uint8_t v)
{
    auto [it, fresh] = f.pages.try_emplace(at & ~(kPage - 1));
    if (fresh)
        it->second.assign(kPage, 0xFF);
    it->second[at % kPage] = v;
}

uint32_t erase_unit(const Flash &f)
{
    return std::equal(std::begin(kLargeChip), std::end(kLargeChip), f.chip.begin()) ? kLargeUnit : kSmallUnit;
}

void erase_range(Flash &f, uint64_t from, uint64_t to)
{
    f.pages.erase(f.pages.lower_bound(static_cast<uint32_t>(from)),
                  to >= 0x100000000ull ? f.pages.end() : f.pages.lower_bound(static_cast<uint32_t>(to)));
}

template <typename T> T *user(uint64_t address) { return reinterpret_cast<T *>(static_cast<uintptr_t>(address)); }

SpiFlashReq &req_of(const SimCall &call) { return *static_cast<SpiFlashReq *>(call.arg); }

// The flash the record names, or null (EINVAL).
Flash *flash_of(const SimCall &call) { return find(req_of(call).flashId); }

// The parameter block; fills the journal's extra words.
const SpiFlashParam *param_of(const SimCall &call, SimJournalEntry &entry)
{
    const SpiFlashReq &r = req_of(call);
    const auto *p = user<const SpiFlashParam>(r.param);
    entry.extra = {r.flashId, r.operation, p ? p->address : 0u, p ? p->length : 0u};
    return p;
}

int on_access(const SimCall &call, SimJournalEntry &entry, bool open)
{
    param_of(call, entry);
    Flash *f = flash_of(call);
    if (!f)
        return -EINVAL;
    f->open = open;
    return 0;
}

int on_begin(const SimCall &call, SimJournalEntry &entry) { return on_access(call, entry, true); }
int on_end(const SimCall &call, SimJournalEntry &entry) { return on_access(call, entry, false); }

int on_bulk_erase(const SimCall &call, SimJournalEntry &entry)
{
    param_of(call, entry);
    Flash *f = flash_of(call);
    if (!f)
        return -EINVAL;
    if (!f->open)
        return -EPERM;
    f->pages.clear();
    return 0;
}

int transfer_fault(Flash &f, uint32_t op, uint32_t address)
{
    for (TransferFault &t : f.faults) {
        if ((t.op >= 0 && static_cast<uint32_t>(t.op) != op) || (t.address >= 0 && t.address != address))
            continue;
        ++t.seen;
        if (t.nth == 0 || t.nth == t.seen)
            return -t.err;
    }
    return 0;
}

int do_transfer(Flash &f, uint32_t op, const SpiFlashParam &p)
{
    const uint64_t end = uint64_t{p.address} + p.length;
    if (op == SPI_FLASH_OP_ERASE) {
        if (p.address >= f.capacity)
            return -EINVAL;
        const uint32_t unit = erase_unit(f), from = p.address & ~(unit - 1);
        erase_range(f, from, uint64_t{from} + unit);
        return 0;
    }
    if (p.length == 0 || end > f.capacity)
        return -EINVAL;
    if (p.buffer == 0)
        return -EFAULT;
    auto *buf = user<uint8_t>(p.buffer);
    for (uint32_t i = 0; i < p.length; i++) {
        const uint32_t at = p.address + i;
        if (op == SPI_FLASH_OP_READ) {
            buf[i] = byte_at(f, at);
            continue;
        }
        auto s = f.stuck.find(at);
        const uint8_t keep = s == f.stuck.end() ? 0 : s->second;
        set_byte(f, at, static_cast<uint8_t>(byte_at(f, at) & (buf[i] | keep)));
    }
    return 0;
}

int on_transfer(const SimCall &call, SimJournalEntry &entry)
{
    const SpiFlashParam *p = param_of(call, entry);
    Flash *f = flash_of(call);
    const uint32_t op = req_of(call).operation;
    if (!f || op > SPI_FLASH_OP_ERASE)
        return -EINVAL;
    if (!p)
        return -EFAULT;
    if (!f->open)
        return -EPERM;
    if (int err = transfer_fault(*f, op, p->address))
        return err;
    return do_transfer(*f, op, *p);
}

int on_load_fpga(const SimCall &call, SimJournalEntry &entry)
{
    param_of(call, entry);
    Flash *f = flash_of(call);
    if (!f)
        return -EINVAL;
    f->loads++;
    f->done = 1;
    return 0;
}

// Stores a u32 through the block's buffer field.
int answer_flag(const SimCall &call, SimJournalEntry &entry, uint32_t Flash::*field)
{
    const SpiFlashParam *p = param_of(call, entry);
    Flash *f = flash_of(call);
    if (!f)
        return -EINVAL;
    if (!p || p->buffer == 0)
        return -EFAULT;
    *user<uint32_t>(p->buffer) = f->*field;
    return 0;
}

int on_done_flag(const SimCall &call, SimJournalEntry &entry) { return answer_flag(call, entry, &Flash::done); }
int on_app_flag(const SimCall &call, SimJournalEntry &entry) { return answer_flag(call, entry, &Flash::app); }

int on_clear_app(const SimCall &call, SimJournalEntry &entry)
{
    const SpiFlashParam *p = param_of(call, entry);
    Flash *f = flash_of(call);
    if (!f)
        return -EINVAL;
    if (!p)
        return -EFAULT;
    f->app = 0;
    return 0;
}

int on_load_type(const SimCall &call, SimJournalEntry &entry)
{
    const SpiFlashParam *p = param_of(call, entry);
    Flash *f = flash_of(call);
    if (!f)
        return -EINVAL;
    if (!p)
        return -EFAULT;
    if (p->address > 2)
        return -EINVAL;
    f->loadType = p->address;
    return 0;
}

int on_capacity(const SimCall &call, SimJournalEntry &entry)
{
    const SpiFlashReq &r = req_of(call);
    entry.extra = {r.flashId, r.operation, 0, 0};
    Flash *f = flash_of(call);
    if (!f)
        return -EINVAL;
    if (f->capNotty)
        return -ENOTTY;
    if (r.param == 0)
        return -EFAULT;
    *user<uint32_t>(r.param) = f->capacity;
    return 0;
}

int on_chip_info(const SimCall &call, SimJournalEntry &entry)
{
    const SpiFlashParam *p = param_of(call, entry);
    Flash *f = flash_of(call);
    if (!f)
        return -EINVAL;
    if (f->chipNotty)
        return -ENOTTY;
    if (!p || p->buffer == 0)
        return -EFAULT;
    std::memcpy(user<uint8_t>(p->buffer), f->chip.data(), f->chip.size());
    return 0;
}

int on_lpc(const SimCall &call, SimJournalEntry &entry)
{
    SpiFlashReq &r = req_of(call);
    entry.extra = {r.flashId, r.operation, 0, 0};
    if (r.flashId > 0xFFFF)
        return -EINVAL;
    if (call.request == SPI_FLASH_LPC_READ) {
        r.operation = model().lpc[r.flashId];
        return 0;
    }
    if (r.operation > 0xFF)
        return -EINVAL;
    model().lpc[r.flashId] = static_cast<uint8_t>(r.operation);
    return 0;
}

constexpr size_t kRec = sizeof(SpiFlashReq);
constexpr SimRequest kRequests[] = {
    {SPI_FLASH_BEGIN, kRec, on_begin},           {SPI_FLASH_BULK_ERASE, kRec, on_bulk_erase},
    {SPI_FLASH_TRANSFER, kRec, on_transfer},     {SPI_FLASH_LOAD_FPGA, kRec, on_load_fpga},
    {SPI_FLASH_DONE_FLAG, kRec, on_done_flag},   {SPI_FLASH_END, kRec, on_end},
    {SPI_FLASH_LOAD_TYPE, kRec, on_load_type},   {SPI_FLASH_LPC_READ, kRec, on_lpc},
    {SPI_FLASH_LPC_WRITE, kRec, on_lpc},         {SPI_FLASH_CAPACITY, kRec, on_capacity},
    {SPI_FLASH_APP_FLAG, kRec, on_app_flag},     {SPI_FLASH_CLEAR_APP_DONE, kRec, on_clear_app},
    {SPI_FLASH_CHIP_INFO, kRec, on_chip_info},
};

constexpr SimFileOps kFlashOps = {
    .name = "spi_flash", .mode = 0, .open = nullptr, .release = nullptr,
    .read = nullptr, .write = nullptr, .requests = kRequests, .requestCount = std::size(kRequests),
    .mmap = nullptr, .munmap = nullptr, .poll = nullptr, .bind = nullptr,
    .setsockopt = nullptr, .sendmsg = nullptr, .recvmsg = nullptr,
};

// ---- a fresh board ----------------------------------------------------------------------

void put32(std::vector<uint8_t> &b, size_t at, uint32_t v) { std::memcpy(b.data() + at, &v, 4); }

// A small valid image: 256 data bytes and the head (offsets as the store reads them).
std::vector<uint8_t> fresh_image(uint32_t version)
{
    constexpr uint32_t kData = 256;
    std::vector<uint8_t> img(kData + 104, 0);
    for (uint32_t i = 0; i < kData; i++)
        img[i] = static_cast<uint8_t>(i * 13 + version);
    uint8_t *head = img.data() + kData;
    std::vector<uint8_t> h(104, 0);
    put32(h, 0, 0x55AA55AA);
    put32(h, 4, version);
    std::memcpy(h.data() + 8, "quorbix-sim logic", 17);
    put32(h, 52, 0x90);
    put32(h, 64, kData);
    put32(h, 68, crc16_update(0, img.data(), kData));
    put32(h, 72, 104);
    put32(h, 96, 0x55AA55AA);
    put32(h, 100, crc16_update(0, h.data(), 100));
    std::memcpy(head, h.data(), h.size());
    return img;
}

void reverse_bits(std::vector<uint8_t> &b)
{
    for (uint8_t &v : b) {
        uint8_t r = 0;
        for (int i = 0; i < 8; i++)
            r = static_cast<uint8_t>(r | (((v >> i) & 1u) << (7 - i)));
        v = r;
    }
}

void fresh_flash(uint32_t id, bool reversed)
{
    std::vector<uint8_t> img = fresh_image(kSimFlashFreshVersion[id]);
    if (reversed)
        reverse_bits(img);
    Flash &f = model().flash[id];
    spi_flash_poke(id, 0, img);
    spi_flash_poke(id, f.capacity - 104, std::vector<uint8_t>(img.end() - 104, img.end()));
}

// ---- saved state ------------------------------------------------------------------------

std::string key(uint32_t id, const std::string &what) { return "flash " + std::to_string(id) + " " + what; }

struct WordField {
    const char *name;
    uint32_t Flash::*field;
};
constexpr WordField kWords[] = {{"capacity", &Flash::capacity}, {"load-type", &Flash::loadType},
                                {"done", &Flash::done},         {"app", &Flash::app},
                                {"loads", &Flash::loads}};
struct BoolField {
    const char *name;
    bool Flash::*field;
};
constexpr BoolField kBools[] = {{"open", &Flash::open}, {"cap-enotty", &Flash::capNotty},
                                {"chip-enotty", &Flash::chipNotty}};

// An address in a key, "PREFIX ADDRESS", that fits the flash's 32 bits.
bool key_address(SimDoc &doc, const SimDocEntry &e, size_t prefix, uint64_t &at)
{
    if (!sim_doc_number(e.key.substr(prefix), at) || at > kMaxWord)
        return doc.fail(e.line, "bad flash address in '" + e.key + "'");
    return true;
}

bool load_page(SimDoc &doc, const SimDocEntry &e, size_t prefix, Flash &f)
{
    uint64_t at = 0;
    std::vector<uint8_t> bytes;
    if (!key_address(doc, e, prefix, at) || !doc.get_bytes(e, bytes, kPage, kPage))
        return false;
    if (at % kPage != 0 || at >= f.capacity)
        return doc.fail(e.line, "flash page '" + e.key + "' is not a page below the capacity " +
                                    sim_doc_hex(f.capacity));
    f.pages[static_cast<uint32_t>(at)] = bytes;
    return true;
}

bool load_stuck(SimDoc &doc, const SimDocEntry &e, size_t prefix, Flash &f)
{
    uint64_t at = 0, mask = 0;
    if (!key_address(doc, e, prefix, at) || !doc.get(e, mask, kMaxMask))
        return false;
    f.stuck[static_cast<uint32_t>(at)] = static_cast<uint8_t>(mask);
    return true;
}

bool load_flash(SimDoc &doc, const SimDocSection &s, uint32_t id, Flash &f)
{
    uint64_t v = 0;
    for (const WordField &w : kWords)
        if (s.find(key(id, w.name))) {
            if (!doc.get(s, key(id, w.name), v, kMaxWord))
                return false;
            f.*w.field = static_cast<uint32_t>(v);
        }
    for (const BoolField &b : kBools)
        if (s.find(key(id, b.name))) {
            if (!doc.get(s, key(id, b.name), v, 1))
                return false;
            f.*b.field = v != 0;
        }
    std::vector<uint8_t> bytes;
    if (s.find(key(id, "chip"))) {
        if (!doc.get_bytes(s, key(id, "chip"), bytes, f.chip.size(), f.chip.size()))
            return false;
        std::copy_n(bytes.begin(), f.chip.size(), f.chip.begin());
    }
    const std::string pagePrefix = key(id, "page "), stuckPrefix = key(id, "stuck ");
    for (const SimDocEntry &e : s.entries) {
        if (e.key.starts_with(pagePrefix) && !load_page(doc, e, pagePrefix.size(), f))
            return false;
        if (e.key.starts_with(stuckPrefix) && !load_stuck(doc, e, stuckPrefix.size(), f))
            return false;
    }
    return true;
}

bool load_lpc(SimDoc &doc, const SimDocSection &s)
{
    std::vector<uint8_t> bytes;
    uint64_t at = 0;
    for (const SimDocEntry &e : s.entries) {
        if (!e.key.starts_with("lpc "))
            continue;
        if (!sim_doc_number(e.key.substr(4), at) || at % kLpcRow != 0 || at >= model().lpc.size() ||
            !doc.get_bytes(e, bytes) || bytes.size() != kLpcRow)
            return doc.fail(e.line, "bad lpc row '" + e.key + "'");
        std::copy(bytes.begin(), bytes.end(), model().lpc.begin() + static_cast<long>(at));
    }
    return true;
}

void reset_model() { model() = FlashModel{}; }

}  // namespace

bool spi_flash_model_attach(const SimBoardProfile &board, SimDoc &saved)
{
    reset_model();
    sim_register_file(SPI_FLASH_NODE, &kFlashOps, nullptr);
    const SimDocSection *s = saved.find(kSection);
    if (s == nullptr) {
        fresh_flash(0, std::string_view(board.model).find("ZK17DORN") == std::string_view::npos);
        fresh_flash(1, false);
        return true;
    }
    for (uint32_t id = 0; id < 2; id++)
        if (!load_flash(saved, *s, id, model().flash[id]))
            return false;
    return load_lpc(saved, *s);
}

void spi_flash_model_save(SimDoc &doc)
{
    SimDocSection &s = doc.section(kSection);
    for (uint32_t id = 0; id < 2; id++) {
        const Flash &f = model().flash[id];
        for (const WordField &w : kWords)
            s.put(key(id, w.name), f.*w.field);
        for (const BoolField &b : kBools)
            s.put(key(id, b.name), f.*b.field ? 1 : 0);
        s.put_bytes(key(id, "chip"), std::vector<uint8_t>(f.chip.begin(), f.chip.end()));
        for (const auto &[at, mask] : f.stuck)
            s.put(key(id, "stuck " + sim_doc_hex(at)), mask);
        for (const auto &[at, bytes] : f.pages)
            if (std::any_of(bytes.begin(), bytes.end(), [](uint8_t b) { return b != 0xFF; }))
                s.put_bytes(key(id, "page " + sim_doc_hex(at)), bytes);
    }
    const auto &lpc = model().lpc;
    for (uint32_t at = 0; at < lpc.size(); at += kLpcRow) {
        auto row = lpc.begin() + at;
        if (std::any_of(row, row + kLpcRow, [](uint8_t b) { return b != 0; }))
            s.put_bytes("lpc " + sim_doc_hex(at), std::vector<uint8_t>(row, row + kLpcRow));
    }
}

SimFlashState spi_flash_state(uint32_t flash)
{
    const Flash &f = model().flash.at(flash);
    return {f.capacity, std::vector<uint8_t>(f.chip.begin(), f.chip.end()), f.open, f.loadType, f.done, f.app,
            f.loads, f.capNotty, f.chipNotty};
}

void spi_flash_set_capacity(uint32_t flash, uint32_t capacity)
{
    Flash &f = model().flash.at(flash);
    f.capacity = capacity;
    erase_range(f, capacity, 0x100000000ull);
}

void spi_flash_set_chip(uint32_t flash, const std::vector<uint8_t> &id)
{
    Flash &f = model().flash.at(flash);
    f.chip.fill(0);
    std::copy_n(id.begin(), std::min(id.size(), f.chip.size()), f.chip.begin());
}

void spi_flash_notty(uint32_t flash, bool capacity, bool chip)
{
    model().flash.at(flash).capNotty = capacity;
    model().flash.at(flash).chipNotty = chip;
}

void spi_flash_set_flags(uint32_t flash, uint32_t done, uint32_t app)
{
    model().flash.at(flash).done = done;
    model().flash.at(flash).app = app;
}

void spi_flash_poke(uint32_t flash, uint32_t address, const std::vector<uint8_t> &bytes)
{
    Flash &f = model().flash.at(flash);
    for (size_t i = 0; i < bytes.size() && address + i < f.capacity; i++)
        set_byte(f, static_cast<uint32_t>(address + i), bytes[i]);
}

std::vector<uint8_t> spi_flash_peek(uint32_t flash, uint32_t address, uint32_t length)
{
    const Flash &f = model().flash.at(flash);
    std::vector<uint8_t> out(length);
    for (uint32_t i = 0; i < length; i++)
        out[i] = byte_at(f, address + i);
    return out;
}

void spi_flash_erase_all(uint32_t flash) { model().flash.at(flash).pages.clear(); }
uint8_t spi_flash_lpc(uint16_t address) { return model().lpc[address]; }
void spi_flash_set_lpc(uint16_t address, uint8_t value) { model().lpc[address] = value; }

void spi_flash_stuck_bits(uint32_t flash, uint32_t address, uint8_t mask)
{
    model().flash.at(flash).stuck[address] = mask;
}

void spi_flash_fail_transfer(uint32_t flash, int op, int64_t address, int err, unsigned nth)
{
    model().flash.at(flash).faults.push_back({op, address, err, nth, 0});
}

// ---- fixture lines ------------------------------------------------------------------------

namespace {

struct FlashLine {
    const std::vector<std::string> &w;
    std::string &err;
    uint32_t id = 0;

    bool fail(const std::string &message)
    {
        err = message;
        return false;
    }
    bool number(size_t i, uint64_t &out)
    {
        if (i < w.size() && sim_doc_number(w[i], out))
            return true;
        return fail(i < w.size() ? "'" + w[i] + "' is not a number" : "missing value");
    }
    // A number, or -1 for "-".
    bool any(size_t i, int64_t &out)
    {
        uint64_t v = 0;
        if (i < w.size() && w[i] == "-")
            return (out = -1), true;
        return number(i, v) && ((out = static_cast<int64_t>(v)), true);
    }
};

constexpr std::pair<const char *, int> kErrnos[] = {{"EIO", EIO},       {"EPERM", EPERM},   {"EINVAL", EINVAL},
                                                     {"EFAULT", EFAULT}, {"ENOTTY", ENOTTY}, {"EBUSY", EBUSY},
                                                     {"ETIMEDOUT", ETIMEDOUT}};

bool line_cap(FlashLine &l)
{
    uint64_t v = 0;
    if (l.w.size() == 3 && l.w[2] == "enotty")
        return spi_flash_notty(l.id, true, model().flash[l.id].chipNotty), true;
    if (!l.number(2, v) || v > kMaxWord)
        return l.fail("usage: flash-cap FLASH BYTES|enotty");
    spi_flash_set_capacity(l.id, static_cast<uint32_t>(v));
    return true;
}

bool line_chip(FlashLine &l)
{
    if (l.w.size() == 3 && l.w[2] == "enotty")
        return spi_flash_notty(l.id, model().flash[l.id].capNotty, true), true;
    std::vector<uint8_t> id;
    if (l.w.size() - 2 > SPI_FLASH_CHIP_ID_LEN)
        return l.fail("usage: flash-chip FLASH B0..B7|enotty");
    for (size_t i = 2; i < l.w.size(); i++) {
        uint64_t v = 0;
        if (!l.number(i, v) || v > 0xFF)
            return l.fail("usage: flash-chip FLASH B0..B7|enotty");
        id.push_back(static_cast<uint8_t>(v));
    }
    spi_flash_set_chip(l.id, id);
    return true;
}

bool line_flags(FlashLine &l)
{
    uint64_t done = 0, app = 0;
    if (!l.number(2, done) || !l.number(3, app))
        return false;
    if (done > kMaxWord || app > kMaxWord)
        return l.fail("flash-flags: DONE and APP are 32-bit words");
    spi_flash_set_flags(l.id, static_cast<uint32_t>(done), static_cast<uint32_t>(app));
    return true;
}

bool line_bytes(FlashLine &l)
{
    uint64_t at = 0;
    std::string bytes;
    if (!l.number(2, at) || at > kMaxWord || l.w.size() != 4 || !sim_doc_unquote(l.w[3], bytes))
        return l.fail("usage: flash-bytes FLASH ADDRESS \"BYTES\"");
    spi_flash_poke(l.id, static_cast<uint32_t>(at), std::vector<uint8_t>(bytes.begin(), bytes.end()));
    return true;
}

bool line_erase(FlashLine &l) { return spi_flash_erase_all(l.id), true; }

bool line_stuck(FlashLine &l)
{
    uint64_t at = 0, mask = 0;
    if (!l.number(2, at) || !l.number(3, mask))
        return false;
    if (at > kMaxWord || mask > kMaxMask)
        return l.fail("flash-stuck: a 32-bit ADDRESS and a MASK of one byte");
    spi_flash_stuck_bits(l.id, static_cast<uint32_t>(at), static_cast<uint8_t>(mask));
    return true;
}

bool line_fault(FlashLine &l)
{
    int64_t op = 0, at = 0;
    uint64_t nth = 0;
    if (!l.any(2, op) || !l.any(3, at) || l.w.size() < 5 || (l.w.size() > 5 && !l.number(5, nth)))
        return l.fail("usage: flash-fault FLASH OP|- ADDRESS|- ERRNO [NTH]");
    int err = 0;
    for (const auto &[name, value] : kErrnos)
        if (l.w[4] == name)
            err = value;
    uint64_t n = 0;
    if (err == 0 && !(sim_doc_number(l.w[4], n) && n > 0 && n < 200))
        return l.fail("'" + l.w[4] + "' is not an errno");
    spi_flash_fail_transfer(l.id, static_cast<int>(op), at, err ? err : static_cast<int>(n),
                            static_cast<unsigned>(nth));
    return true;
}

struct FlashLineRow {
    std::string_view verb;
    bool (*apply)(FlashLine &l);
};
constexpr FlashLineRow kLines[] = {{"flash-cap", line_cap},     {"flash-chip", line_chip},
                                   {"flash-flags", line_flags}, {"flash-bytes", line_bytes},
                                   {"flash-erase", line_erase}, {"flash-stuck", line_stuck},
                                   {"flash-fault", line_fault}};

bool lpc_line(const std::vector<std::string> &w, std::string &err)
{
    uint64_t at = 0, v = 0;
    if (w.size() != 3 || !sim_doc_number(w[1], at) || !sim_doc_number(w[2], v) || at > 0xFFFF || v > 0xFF) {
        err = "usage: flash-lpc ADDRESS VALUE";
        return false;
    }
    spi_flash_set_lpc(static_cast<uint16_t>(at), static_cast<uint8_t>(v));
    return true;
}

}  // namespace

bool spi_flash_fixture_line(std::string_view line, std::string &err)
{
    std::vector<std::string> w;
    if (!sim_doc_tokens(line, w, err) || w.empty())
        return false;
    if (w[0] == "flash-lpc")
        return lpc_line(w, err);
    for (const FlashLineRow &row : kLines) {
        if (w[0] != row.verb)
            continue;
        uint64_t id = 0;
        if (w.size() < 2 || !sim_doc_number(w[1], id) || id > 1) {
            err = "flash must be 0 or 1";
            return false;
        }
        FlashLine l{w, err, static_cast<uint32_t>(id)};
        return row.apply(l);
    }
    err = "unknown flash fact '" + w[0] + "'";
    return false;
}

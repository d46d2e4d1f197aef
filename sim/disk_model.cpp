#include "sim/disk_model.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>

#include "bases/drv/sg_drv.h"
#include "sim/kit/sim_doc.h"
#include "sim/kit/sim_words.h"
#include "sim/sim_host.h"

namespace {

using Bytes = std::vector<uint8_t>;

struct Model {
    std::vector<std::unique_ptr<DiskFacts>> disks;
    std::vector<std::string> lines;  // fixture lines accepted, saved with the board
    int lastFlags = -1;
};
Model &model()
{
    static Model m;
    return m;
}

struct Answer {
    Bytes data;
    uint8_t status = 0;
    Bytes sense;
};

void check(Answer &a, const DiskFacts &d, uint8_t key, uint8_t asc, uint8_t ascq)
{
    a.status = SCSI_STATUS_CHECK_CONDITION;
    if (d.sense == DiskSense::fixed)
        a.sense = {0x70, 0, key, 0, 0, 0, 0, 10, 0, 0, 0, 0, asc, ascq, 0, 0, 0, 0};
    else
        a.sense = {0x72, key, asc, ascq, 0, 0, 0, 0};
}

std::string id_text(const DiskFacts &d, int word, int words)
{
    std::string s;
    for (int i = 0; i < words; ++i) {
        s += static_cast<char>(d.identify[static_cast<size_t>(word + i)] >> 8);
        s += static_cast<char>(d.identify[static_cast<size_t>(word + i)] & 0xFF);
    }
    return s;
}

uint64_t sectors(const DiskFacts &d)
{
    uint64_t s = 0;
    for (int i = 3; i >= 0; --i)
        s = (s << 16) | d.identify[static_cast<size_t>(100 + i)];
    return s != 0 ? s : (static_cast<uint64_t>(d.identify[61]) << 16) | d.identify[60];
}

std::string pad(std::string s, size_t n)
{
    s.resize(n, ' ');
    return s;
}

Bytes inquiry(const DiskFacts &d, const uint8_t *cdb)
{
    if ((cdb[1] & 1) == 0) {
        Bytes b(96, 0);
        b[2] = 6;
        b[3] = 2;
        b[4] = 91;
        std::string text = pad(d.vendor.empty() ? "ATA" : d.vendor, 8) +
                           pad(d.product.empty() ? id_text(d, 27, 20) : d.product, 16) +
                           pad(d.revision.empty() ? id_text(d, 23, 4) : d.revision, 4);
        std::memcpy(b.data() + 8, text.data(), text.size());
        return b;
    }
    switch (cdb[2]) {
    case 0x00: return {0, 0, 0, 3, 0x00, 0x80, 0xB1};
    case 0x80: {
        std::string serial = (d.serial.empty() ? id_text(d, 10, 10) : d.serial).substr(0, 255);
        std::string page = std::string{'\0', '\x80', '\0', static_cast<char>(serial.size())} + serial;
        return Bytes(page.begin(), page.end());
    }
    case 0xB1: {
        Bytes b(64, 0);
        b[1] = 0xB1;
        b[3] = 0x3C;
        b[4] = static_cast<uint8_t>(d.identify[217] >> 8);
        b[5] = static_cast<uint8_t>(d.identify[217] & 0xFF);
        return b;
    }
    default: return {};
    }
}

// ATA PASS-THROUGH(12): IDENTIFY and SMART.
void ata(Answer &a, const DiskFacts &d, const uint8_t *cdb)
{
    uint8_t cmd = cdb[9], feature = cdb[3];
    auto words = [&](const uint16_t *w) { a.data.assign(reinterpret_cast<const uint8_t *>(w), reinterpret_cast<const uint8_t *>(w) + 512); };
    if (cmd == 0xEC) {
        words(d.identify.data());
        return;
    }
    if (cmd != 0xB0 || cdb[6] != 0x4F || cdb[7] != 0xC2 || (!d.smartEnabled && feature != 0xD8)) {
        check(a, d, 5, 0x24, 0);
        return;
    }
    switch (feature) {
    case 0xD0: a.data.assign(d.smartData.begin(), d.smartData.end()); return;
    case 0xD1: a.data.assign(d.smartThresholds.begin(), d.smartThresholds.end()); return;
    case 0xD8: return;
    case 0xDA:
        if (d.sense == DiskSense::none)
            return;
        check(a, d, 1, 0, 0x1D);
        if (d.sense == DiskSense::descriptor) {
            a.sense[7] = 14;
            Bytes desc = {9, 12, 0, 0, 0, 0, 0, 0, 0, d.smartPass ? uint8_t{0x4F} : uint8_t{0xF4}, 0,
                          d.smartPass ? uint8_t{0xC2} : uint8_t{0x2C}, 0, 0x50};
            a.sense.insert(a.sense.end(), desc.begin(), desc.end());
        }
        return;
    default: check(a, d, 5, 0x24, 0); return;
    }
}

Bytes be(uint64_t v, size_t n)
{
    Bytes b(n);
    for (size_t i = 0; i < n; ++i)
        b[n - 1 - i] = static_cast<uint8_t>(v >> (8 * i));
    return b;
}

Bytes read_capacity(const DiskFacts &d)
{
    uint64_t last = (d.blocks != 0 ? d.blocks : sectors(d)) - 1;
    Bytes b = be((last > 0xFFFFFFFF ? uint64_t{0xFFFFFFFF} : last) << 32 | (d.blockLength != 0 ? d.blockLength : 512u), 8);
    return b;
}

Bytes read_capacity16(const DiskFacts &d)
{
    Bytes b = be((d.blocks != 0 ? d.blocks : sectors(d)) - 1, 8);
    Bytes len = be(d.blockLength != 0 ? d.blockLength : 512u, 4);
    b.insert(b.end(), len.begin(), len.end());
    b.resize(32, 0);
    return b;
}

void log_sense(Answer &a, const DiskFacts &d, const uint8_t *cdb)
{
    auto p = d.logPages.find(cdb[2] & 0x3F);
    if (p == d.logPages.end())
        check(a, d, 5, 0x24, 0);
    else
        a.data = p->second;
}

// MODE SENSE(6): a 4-byte header (mode data length, medium type, device
// specific, no block descriptor) and the page.
void mode_sense(Answer &a, const DiskFacts &d, const uint8_t *cdb)
{
    auto p = d.modePages.find(static_cast<uint16_t>((cdb[2] & 0x3F) << 8 | cdb[3]));
    if (p == d.modePages.end()) {
        check(a, d, 5, 0x24, 0);
        return;
    }
    a.data.assign(4 + p->second.size(), 0);
    a.data[0] = static_cast<uint8_t>(3 + p->second.size());
    std::copy(p->second.begin(), p->second.end(), a.data.begin() + 4);
}

// MODE SELECT(6): page format set, a header and one page already known.
void mode_select(Answer &a, DiskFacts &d, const uint8_t *cdb, const uint8_t *out, size_t outLen)
{
    size_t start = outLen >= 4 ? 4 + size_t{out[3]} : outLen;
    if ((cdb[1] & 0x10) == 0 || start + 2 > outLen) {
        check(a, d, 5, 0x26, 0);
        return;
    }
    uint16_t key = static_cast<uint16_t>((out[start] & 0x3F) << 8 | ((out[start] & 0x40) ? out[start + 1] : 0));
    auto p = d.modePages.find(key);
    if (p == d.modePages.end() || p->second.size() != outLen - start) {
        check(a, d, 5, 0x26, 0);
        return;
    }
    p->second.assign(out + start, out + outLen);
    p->second[0] &= 0x7F;  // the saved-page bit is the drive's to report
}

// READ DEFECT DATA(10) of the grown list: a header and zeroed 8-byte entries.
void read_defects(Answer &a, const DiskFacts &d, const uint8_t *cdb)
{
    uint8_t format = cdb[2] & 0x07;
    a.data = {0, static_cast<uint8_t>(0x08 | format), 0, 0};
    Bytes len = be(uint32_t{d.grownDefects} * 8u, 2);
    a.data[2] = len[0];
    a.data[3] = len[1];
    a.data.resize(4 + size_t{d.grownDefects} * 8, 0);
}

Answer answer(DiskFacts &d, const uint8_t *cdb, size_t len, const uint8_t *out, size_t outLen)
{
    Answer a;
    uint8_t op = len > 0 ? cdb[0] : 0xFF;
    if (auto f = d.faults.find(op); f != d.faults.end()) {
        check(a, d, f->second.key, f->second.asc, f->second.ascq);
        return a;
    }
    if (auto s = d.otherStatus.find(op); s != d.otherStatus.end()) {
        a.status = s->second;
        return a;
    }
    switch (op) {
    case 0x12: a.data = inquiry(d, cdb); break;
    case 0x25: a.data = read_capacity(d); break;
    case 0x9E:
        if ((cdb[1] & 0x1F) != 0x10)
            check(a, d, 5, 0x24, 0);
        else
            a.data = read_capacity16(d);
        break;
    case 0x4D: log_sense(a, d, cdb); break;
    case 0x03: {
        const DiskCheck &c = d.requestSense;
        a.data = {0x70, 0, c.key, 0, 0, 0, 0, 10, 0, 0, 0, 0, c.asc, c.ascq, 0, 0, 0, 0};
        break;
    }
    case 0x1A: mode_sense(a, d, cdb); break;
    case 0x15: mode_select(a, d, cdb, out, outLen); break;
    case 0x1B: d.started = (cdb[4] & 1) != 0; break;
    case 0x1D: d.selfTest = cdb[1]; break;
    case 0x37: read_defects(a, d, cdb); break;
    case 0xA1:
        if (d.sata) {
            ata(a, d, cdb);
            break;
        }
        [[fallthrough]];
    default: check(a, d, 5, 0x20, 0); break;
    }
    return a;
}

// Whether `name` is a node of disk `d`: its generic node, its block node,
// or a partition of it (the block node's name and digits: "sda1", not "sdaa").
bool node_of(const DiskFacts &d, std::string_view name)
{
    auto partition = [](std::string_view tail) {
        return !tail.empty() && std::all_of(tail.begin(), tail.end(), [](char c) { return c >= '0' && c <= '9'; });
    };
    return name == d.sg || name == d.sd || (name.starts_with(d.sd) && partition(name.substr(d.sd.size())));
}

// The disk a node belongs to, the first added of those it is a node of.
DiskFacts *disk_of(std::string_view node)
{
    constexpr std::string_view kDev = "/dev/";
    if (!node.starts_with(kDev))
        return nullptr;
    const std::string_view name = node.substr(kDev.size());
    for (auto &d : model().disks)
        if (node_of(*d, name))
            return d.get();
    return nullptr;
}

template <typename T> T *user(uint64_t a) { return reinterpret_cast<T *>(static_cast<uintptr_t>(a)); }

int handle_sg_io(const SimCall &call, SimJournalEntry &entry)
{
    auto *h = static_cast<SgIoHdr *>(call.arg);
    DiskFacts *d = disk_of(call.node);
    if (d == nullptr)
        return -ENODEV;
    if (h->interfaceId != SG_INTERFACE_ID)
        return -ENOSYS;
    bool in = h->dxferDirection == SG_DXFER_FROM_DEV, out = h->dxferDirection == SG_DXFER_TO_DEV;
    if (!in && !out && h->dxferDirection != SG_DXFER_NONE)
        return -EINVAL;
    if (h->cmdp == 0 || h->cmdLen < 6 || h->cmdLen > 16 || ((in || out) && h->dxferLen > 0 && h->dxferp == 0))
        return h->cmdp == 0 ? -EFAULT : -EINVAL;
    const uint8_t *cdb = user<uint8_t>(h->cmdp);
    sim_journal_attach("cdb", cdb, h->cmdLen);
    const uint8_t *dataOut = out && h->dxferLen > 0 ? user<uint8_t>(h->dxferp) : nullptr;
    Answer a = answer(*d, cdb, h->cmdLen, dataOut, dataOut != nullptr ? h->dxferLen : 0);
    size_t n = in ? std::min<size_t>(a.data.size(), h->dxferLen) : 0;
    if (auto s = d->shortBy.find(cdb[0]); s != d->shortBy.end())
        n = n > s->second ? n - s->second : 0;
    if (n > 0)
        std::memcpy(user<uint8_t>(h->dxferp), a.data.data(), n);
    h->status = a.status;
    h->maskedStatus = static_cast<uint8_t>(a.status >> 1);
    h->resid = static_cast<int32_t>(in ? h->dxferLen - n : 0);
    size_t sn = h->sbp != 0 ? std::min<size_t>(a.sense.size(), h->mxSbLen) : 0;
    if (sn > 0)
        std::memcpy(user<uint8_t>(h->sbp), a.sense.data(), sn);
    h->sbLenWr = static_cast<uint8_t>(sn);
    h->hostStatus = d->hostStatus;
    h->driverStatus = static_cast<uint16_t>(d->driverStatus | (sn > 0 ? SG_DRIVER_SENSE : 0));
    h->duration = 1;
    (void)entry;
    return 0;
}

int handle_send_command(const SimCall &call, SimJournalEntry &)
{
    auto *buf = static_cast<uint8_t *>(call.arg);
    DiskFacts *d = disk_of(call.node);
    if (d == nullptr)
        return -ENODEV;
    SiscHead head;
    std::memcpy(&head, buf, sizeof head);
    if (head.inLength > SISC_MAX_DATA || head.outLength > SISC_MAX_DATA)
        return -EINVAL;
    const uint8_t *cdb = buf + SISC_HEAD;
    size_t cdbLen = cdb[0] >= 0xA0 ? 12 : cdb[0] >= 0x40 ? 10 : 6;
    sim_journal_attach("cdb", cdb, cdbLen);
    Answer a = answer(*d, cdb, cdbLen, cdb + cdbLen, head.inLength);
    if (a.status == SCSI_STATUS_CHECK_CONDITION) {
        std::memcpy(buf + SISC_HEAD, a.sense.data(), std::min<size_t>(a.sense.size(), SISC_SENSE));
        return static_cast<int>((uint32_t{SG_DRIVER_SENSE} << SISC_DRIVER_SHIFT) | a.status);
    }
    if (a.status != 0)
        return a.status;
    std::memcpy(buf + SISC_HEAD, a.data.data(), std::min<size_t>(a.data.size(), head.outLength));
    return 0;
}

int disk_open(SimFile &file)
{
    if (disk_of(file.path) == nullptr)
        return -ENODEV;
    model().lastFlags = file.flags;
    return 0;
}

constexpr SimRequest kDiskRequests[] = {
    {SG_IO_REQUEST, sizeof(SgIoHdr), handle_sg_io},
    {SCSI_IOCTL_SEND_COMMAND_REQUEST, SISC_HEAD, handle_send_command},
};

constexpr SimFileOps kDiskOps = {"disk", 0, disk_open, nullptr, nullptr, nullptr, kDiskRequests, std::size(kDiskRequests),
                                 nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr};

// Where a disk's links go: its block node's and its generic node's.
std::string block_link(std::string_view sd) { return "/sys/block/" + std::string(sd); }
std::string generic_link(std::string_view sg) { return "/sys/class/scsi_generic/" + std::string(sg); }

void write_links(const DiskFacts &d)
{
    std::string dev = "../../devices/pci0000:00/0000:00:01.0/" + d.pci + "/host" + std::to_string(d.host) +
                      "/target" + std::to_string(d.host) + ":" + std::to_string(d.channel) + ":" +
                      std::to_string(d.target) + "/" + std::to_string(d.host) + ":" + std::to_string(d.channel) +
                      ":" + std::to_string(d.target) + ":0";
    sim_make_dirs("/sys/block");
    sim_make_dirs("/sys/class/scsi_generic");
    sim_make_link(dev + "/block/" + d.sd, block_link(d.sd));
    sim_make_link("../../" + dev.substr(6) + "/scsi_generic/" + d.sg, generic_link(d.sg));
}

} // namespace

void disk_identify_text(DiskFacts &d, int word, int words, const std::string &text)
{
    std::string t = text;
    t.resize(static_cast<size_t>(words) * 2, ' ');
    for (int i = 0; i < words; ++i)
        d.identify[static_cast<size_t>(word + i)] = static_cast<uint16_t>(
            (static_cast<uint8_t>(t[static_cast<size_t>(2 * i)]) << 8) | static_cast<uint8_t>(t[static_cast<size_t>(2 * i + 1)]));
}

DiskFacts disk_sata(const std::string &model_, const std::string &serial, const std::string &fw, uint64_t count)
{
    DiskFacts d;
    disk_identify_text(d, 27, 20, model_);
    disk_identify_text(d, 10, 10, serial);
    disk_identify_text(d, 23, 4, fw);
    d.identify[49] = 0x200;
    d.identify[82] = 1;
    d.identify[83] = 0x4400;
    d.identify[85] = 1;
    d.identify[87] = 0x4000;
    d.identify[217] = 1;
    uint32_t s28 = count > 0x0FFFFFFF ? 0x0FFFFFFF : static_cast<uint32_t>(count);
    d.identify[60] = static_cast<uint16_t>(s28 & 0xFFFF);
    d.identify[61] = static_cast<uint16_t>(s28 >> 16);
    for (size_t i = 0; i < 4; ++i)
        d.identify[100 + i] = static_cast<uint16_t>(count >> (16 * i));
    return d;
}

void disk_add(const DiskFacts &facts)
{
    for (auto &d : model().disks)
        if (d->sd == facts.sd) {
            *d = facts;
            write_links(facts);
            return;
        }
    model().disks.push_back(std::make_unique<DiskFacts>(facts));
    sim_register_file("/dev/" + facts.sg, &kDiskOps, nullptr);
    sim_register_file("/dev/" + facts.sd, &kDiskOps, nullptr);
    sim_register_pattern("/dev/" + facts.sd + "*", &kDiskOps, nullptr);
    write_links(facts);
}

DiskFacts *disk_find(const std::string &sd) { return disk_of("/dev/" + sd); }

bool disk_name_check(std::string_view verb, std::string_view role, std::string_view name, std::string &err)
{
    if (sim_device_name(name))
        return true;
    err = std::string(verb) + ": " + std::string(role) + " '" + sim_clip(name) + "' is not a device name (" +
          kSimDeviceNameRule + ")";
    return false;
}

DiskScsiAnswer disk_scsi(DiskFacts &d, const uint8_t *cdb, size_t len, const uint8_t *out, size_t outLen,
                         uint8_t *in, size_t inLen)
{
    Answer a = answer(d, cdb, len, out, outLen);
    size_t n = std::min(a.data.size(), inLen);
    if (auto s = d.shortBy.find(cdb[0]); s != d.shortBy.end())
        n = n > s->second ? n - s->second : 0;
    if (n > 0)
        std::memcpy(in, a.data.data(), n);
    return {a.status, std::move(a.sense), n};
}

void disk_model_reset() { model() = Model{}; }

// ---- fixture lines ---------------------------------------------------------------------------

namespace {

using Words = std::vector<std::string>;

// Hex bytes from word `from` on: each word one or more pairs.
bool hex_bytes(const Words &w, size_t from, Bytes &out)
{
    for (size_t i = from; i < w.size(); ++i)
        if (!sim_hex_bytes(w[i], out))
            return false;
    return !out.empty();
}

// An identify word: four hex digits.
bool hex_word(std::string_view text, uint16_t &out)
{
    Bytes b;
    if (text.size() != 4 || !sim_hex_bytes(text, b))
        return false;
    out = static_cast<uint16_t>(b[0] << 8 | b[1]);
    return true;
}

bool text(const std::string &word, std::string &out)
{
    return word.starts_with('"') ? sim_text(word, out) : (out = word, true);
}

bool fail(std::string &err, const char *usage) { return err = usage, false; }

// A PCI address word, kept only when it reads.
bool pci_field(const std::string &value, std::string &out)
{
    SimPciAddress a;
    return sim_pci_address(value, a) && (out = value, true);
}

// A name of a new disk that is already another disk's node: the saved
// board's lines naming it would reach that disk when loaded again.
bool taken(std::string &err, std::string_view role, const std::string &name, const DiskFacts &owner)
{
    err = "disk-add: " + std::string(role) + " '" + sim_clip(name) + "' is already a node of disk " + owner.sd;
    return false;
}

bool line_add(const Words &w, std::string &err)
{
    DiskFacts d;
    if (w.size() < 4 || (w[3] != "sata" && w[3] != "sas"))
        return fail(err, "disk-add: SD SG sata|sas [pci=ADDR] [host=N] [channel=N] [target=N] expected");
    if (!disk_name_check("disk-add", "SD", w[1], err) || !disk_name_check("disk-add", "SG", w[2], err))
        return false;
    DiskFacts *old = disk_find(w[1]);
    if (old != nullptr && old->sd != w[1])
        return taken(err, "SD", w[1], *old);
    if (old != nullptr)
        d = *old;  // the same disk again: its other facts stay
    for (const auto &other : model().disks)
        if (other.get() != old && node_of(*other, w[2]))
            return taken(err, "SG", w[2], *other);
    d.sd = w[1];
    d.sg = w[2];
    d.sata = w[3] == "sata";
    for (size_t i = 4; i < w.size(); ++i) {
        size_t eq = w[i].find('=');
        std::string key = w[i].substr(0, eq), value = eq == std::string::npos ? "" : w[i].substr(eq + 1);
        bool ok = key == "pci"       ? pci_field(value, d.pci)
                  : key == "host"    ? sim_number(value, d.host)
                  : key == "channel" ? sim_number(value, d.channel)
                  : key == "target"  ? sim_number(value, d.target)
                                     : false;
        if (!ok)
            return err = "disk-add: bad field '" + sim_clip(w[i]) + "'", false;
    }
    disk_add(d);
    return true;
}

bool line_inquiry(DiskFacts &d, const Words &w, std::string &err)
{
    if (w.size() != 5 || !text(w[2], d.vendor) || !text(w[3], d.product) || !text(w[4], d.revision))
        return fail(err, "disk-inquiry: SD VENDOR PRODUCT REVISION expected");
    return true;
}

bool line_serial(DiskFacts &d, const Words &w, std::string &err)
{
    if (w.size() != 3 || !text(w[2], d.serial))
        return fail(err, "disk-serial: SD TEXT expected");
    return true;
}

bool line_capacity(DiskFacts &d, const Words &w, std::string &err)
{
    if (w.size() < 3 || w.size() > 4 || !sim_number(w[2], d.blocks) || d.blocks == 0 ||
        (w.size() == 4 && !sim_number(w[3], d.blockLength)))
        return fail(err, "disk-capacity: SD BLOCKS [BLOCK-LENGTH] expected");
    return true;
}

bool line_identify(DiskFacts &d, const Words &w, std::string &err)
{
    size_t word = 0;
    if (w.size() < 4 || !sim_number(w[2], word) || word > d.identify.size() ||
        w.size() - 3 > d.identify.size() - word)
        return fail(err, "disk-identify: SD WORD and up to 256 words in hex expected");
    std::array<uint16_t, 256> id = d.identify;
    for (size_t i = 3; i < w.size(); ++i)
        if (!hex_word(w[i], id[word++]))
            return fail(err, "disk-identify: words of four hex digits expected");
    d.identify = id;
    return true;
}

bool line_log(DiskFacts &d, const Words &w, std::string &err)
{
    uint8_t page = 0;
    Bytes b;
    if (w.size() < 4 || !sim_number(w[2], page) || page > 0x3F || !hex_bytes(w, 3, b))
        return fail(err, "disk-log: SD PAGE HEX-BYTES expected");
    d.logPages[page] = std::move(b);
    return true;
}

bool line_mode(DiskFacts &d, const Words &w, std::string &err)
{
    uint8_t page = 0, sub = 0;
    Bytes b;
    if (w.size() < 5 || !sim_number(w[2], page) || page > 0x3F || !sim_number(w[3], sub) || !hex_bytes(w, 4, b) ||
        b.size() < 2)
        return fail(err, "disk-mode: SD PAGE SUBPAGE HEX-BYTES expected");
    d.modePages[static_cast<uint16_t>(page << 8 | sub)] = std::move(b);
    return true;
}

bool line_smart(DiskFacts &d, const Words &w, std::string &err)
{
    const char *usage = "disk-smart: SD data|thresholds OFFSET HEX, enabled 0|1, status pass|fail or "
                        "sense descriptor|fixed|none expected";
    if (w.size() == 4 && w[2] == "enabled" && (w[3] == "0" || w[3] == "1"))
        return d.smartEnabled = w[3] == "1", true;
    if (w.size() == 4 && w[2] == "status" && (w[3] == "pass" || w[3] == "fail"))
        return d.smartPass = w[3] == "pass", true;
    if (w.size() == 4 && w[2] == "sense") {
        constexpr std::pair<std::string_view, DiskSense> kSenses[] = {
            {"descriptor", DiskSense::descriptor}, {"fixed", DiskSense::fixed}, {"none", DiskSense::none}};
        for (const auto &[name, sense] : kSenses)
            if (w[3] == name)
                return d.sense = sense, true;
        return fail(err, usage);
    }
    size_t offset = 0;
    Bytes b;
    if (w.size() < 5 || (w[2] != "data" && w[2] != "thresholds") || !sim_number(w[3], offset) || !hex_bytes(w, 4, b) ||
        offset > 512 || b.size() > 512 - offset)
        return fail(err, usage);
    std::memcpy((w[2] == "data" ? d.smartData : d.smartThresholds).data() + offset, b.data(), b.size());
    return true;
}

bool line_defects(DiskFacts &d, const Words &w, std::string &err)
{
    if (w.size() != 3 || !sim_number(w[2], d.grownDefects) || d.grownDefects > 1000)
        return fail(err, "disk-defects: SD COUNT (0 to 1000) expected");
    return true;
}

bool line_sense(DiskFacts &d, const Words &w, std::string &err)
{
    DiskCheck c;
    if (w.size() != 5 || !sim_number(w[2], c.key) || c.key > 15 || !sim_number(w[3], c.asc) ||
        !sim_number(w[4], c.ascq))
        return fail(err, "disk-sense: SD KEY ASC ASCQ expected");
    d.requestSense = c;
    return true;
}

bool line_fault(DiskFacts &d, const Words &w, std::string &err)
{
    uint8_t op = 0;
    DiskCheck c;
    uint8_t status = 0;
    uint32_t bytes = 0;
    if (w.size() == 7 && w[2] == "check" && sim_number(w[3], op) && sim_number(w[4], c.key) && c.key <= 15 &&
        sim_number(w[5], c.asc) && sim_number(w[6], c.ascq))
        return d.faults[op] = c, true;
    if (w.size() == 5 && w[2] == "status" && sim_number(w[3], op) && sim_number(w[4], status))
        return d.otherStatus[op] = status, true;
    if (w.size() == 5 && w[2] == "short" && sim_number(w[3], op) && sim_number(w[4], bytes))
        return d.shortBy[op] = bytes, true;
    if (w.size() == 4 && w[2] == "host")
        return sim_number(w[3], d.hostStatus) || fail(err, "disk-fault host: a number expected");
    if (w.size() == 4 && w[2] == "driver")
        return sim_number(w[3], d.driverStatus) || fail(err, "disk-fault driver: a number expected");
    return fail(err, "disk-fault: check, status, short, host, driver or errno expected");
}

// An errno on a node (of a known disk) for one request, or its n-th call.
bool line_errno(const Words &w, std::string &err)
{
    unsigned long request = 0;
    int e = 0;
    unsigned nth = 0;
    std::string node = "/dev/" + w[1];
    if (w.size() < 5 || w.size() > 6 || disk_of(node) == nullptr || !sim_number(w[3], request) ||
        !sim_number(w[4], e) || e <= 0 || (w.size() == 6 && !sim_number(w[5], nth)))
        return fail(err, "disk-fault errno: NODE REQUEST ERRNO [NTH] of a known disk expected");
    sim_fail_request(node, request, e, nth);
    return true;
}

bool line_unit(DiskFacts &d, const Words &w, std::string &err)
{
    if (w.size() != 4 || (w[2] != "0" && w[2] != "1") || !sim_number(w[3], d.selfTest))
        return fail(err, "disk-unit: SD 0|1 SELF-TEST-CODE expected");
    d.started = w[2] == "1";
    return true;
}

struct DiskLineRow {
    std::string_view verb;
    bool (*apply)(DiskFacts &d, const Words &w, std::string &err);
};

constexpr DiskLineRow kDiskLines[] = {
    {"disk-inquiry", line_inquiry}, {"disk-serial", line_serial}, {"disk-capacity", line_capacity},
    {"disk-identify", line_identify}, {"disk-log", line_log},     {"disk-mode", line_mode},
    {"disk-smart", line_smart},     {"disk-defects", line_defects}, {"disk-sense", line_sense},
    {"disk-fault", line_fault},     {"disk-unit", line_unit},
};

bool apply_line(std::string_view line, std::string &err)
{
    Words w;
    if (!sim_doc_tokens(line, w, err))
        return false;
    if (w.empty())
        return fail(err, "not a disk line");
    if (w[0] == "disk-add")
        return line_add(w, err);
    if (w[0] == "disk-fault" && w.size() > 2 && w[2] == "errno")
        return line_errno(w, err);
    for (const DiskLineRow &row : kDiskLines) {
        if (w[0] != row.verb)
            continue;
        DiskFacts *d = w.size() > 1 ? disk_find(w[1]) : nullptr;
        if (d == nullptr || d->sd != w[1])
            return err = std::string(row.verb) + ": a disk added by disk-add expected", false;
        DiskFacts copy = *d;  // nothing changes on a bad line
        if (!row.apply(copy, w, err))
            return false;
        disk_add(copy);
        return true;
    }
    return fail(err, "not a disk line");
}

std::string hex_text(const Bytes &b)
{
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string s;
    for (uint8_t v : b) {
        s += kDigits[v >> 4];
        s += kDigits[v & 15];
    }
    return s;
}

// Lines that bring back what commands changed: mode pages, the unit's
// start state and the last self-test code.
std::vector<std::string> state_lines(const DiskFacts &d)
{
    std::vector<std::string> out;
    for (const auto &[key, page] : d.modePages)
        out.push_back("disk-mode " + d.sd + " " + std::to_string(key >> 8) + " " + std::to_string(key & 0xFF) + " " +
                      hex_text(page));
    out.push_back("disk-unit " + d.sd + " " + (d.started ? "1" : "0") + " " + std::to_string(d.selfTest));
    return out;
}

} // namespace

bool disk_model_attach(SimDoc &saved)
{
    disk_model_reset();
    return sim_doc_replay(saved, "disk", [](const SimDocEntry &e, std::string &line, std::string &err) {
        if (!apply_line(line, err))
            return false;
        if (e.key.starts_with("fact "))
            model().lines.push_back(std::move(line));
        return true;
    });
}

void disk_model_save(SimDoc &doc)
{
    if (model().lines.empty())
        return;
    SimDocSection &section = doc.section("disk");
    for (size_t i = 0; i < model().lines.size(); i++)
        section.put_text("fact " + std::to_string(i), model().lines[i]);
    size_t n = 0;
    for (const auto &d : model().disks)
        for (const std::string &line : state_lines(*d))
            section.put_text("state " + std::to_string(n++), line);
}

bool disk_fixture_line(std::string_view line, std::string &err)
{
    if (!apply_line(line, err))
        return false;
    model().lines.emplace_back(line);
    return true;
}

int disk_last_open_flags() { return model().lastFlags; }

bool disk_model_made(std::string_view line, std::string &block, std::string &generic)
{
    const std::vector<std::string_view> w = sim_doc_words(line);
    if (w.size() < 3 || w[0] != "disk-add")
        return false;
    block = block_link(w[1]);
    generic = generic_link(w[2]);
    return true;
}

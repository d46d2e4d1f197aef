#include "sim/disk_model.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <memory>

#include "bases/drv/sg_drv.h"
#include "sim/sim_host.h"

namespace {

using Bytes = std::vector<uint8_t>;

struct Model {
    std::vector<std::unique_ptr<DiskFacts>> disks;
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

Bytes inquiry(const DiskFacts &d, const uint8_t *cdb)
{
    if ((cdb[1] & 1) == 0) {
        Bytes b(96, ' ');
        b[0] = 0;
        b[2] = 6;
        b[3] = 2;
        b[4] = 91;
        std::string text = "ATA     " + id_text(d, 27, 20).substr(0, 16) + id_text(d, 23, 4).substr(0, 4);
        std::memcpy(b.data() + 8, text.data(), text.size());
        for (int i = 5; i < 8; ++i)
            b[static_cast<size_t>(i)] = 0;
        return b;
    }
    switch (cdb[2]) {
    case 0x00: return {0, 0, 0, 3, 0x00, 0x80, 0xB1};
    case 0x80: {
        std::string serial = id_text(d, 10, 10);
        Bytes b = {0, 0x80, 0, static_cast<uint8_t>(serial.size())};
        b.insert(b.end(), serial.begin(), serial.end());
        return b;
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

Answer answer(const DiskFacts &d, const uint8_t *cdb, size_t len)
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
    case 0x25: {
        uint64_t last = sectors(d) - 1;
        uint32_t l = last > 0xFFFFFFFF ? 0xFFFFFFFF : static_cast<uint32_t>(last);
        a.data = {static_cast<uint8_t>(l >> 24), static_cast<uint8_t>(l >> 16), static_cast<uint8_t>(l >> 8),
                  static_cast<uint8_t>(l), 0, 0, 2, 0};
        break;
    }
    case 0x4D: {
        auto p = d.logPages.find(cdb[2] & 0x3F);
        if (p == d.logPages.end())
            check(a, d, 5, 0x24, 0);
        else
            a.data = p->second;
        break;
    }
    case 0x03: a.data = {0x70, 0, 0, 0, 0, 0, 0, 10, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}; break;
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

DiskFacts *disk_of(const std::string &node)
{
    for (auto &d : model().disks) {
        std::string sd = "/dev/" + d->sd;
        if (node == "/dev/" + d->sg || node.rfind(sd, 0) == 0)
            return d.get();
    }
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
    Answer a = answer(*d, cdb, h->cmdLen);
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
    Answer a = answer(*d, cdb, cdbLen);
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

void write_links(const DiskFacts &d)
{
    namespace fs = std::filesystem;
    std::string dev = "../../devices/pci0000:00/0000:00:01.0/" + d.pci + "/host" + std::to_string(d.host) +
                      "/target" + std::to_string(d.host) + ":" + std::to_string(d.channel) + ":" +
                      std::to_string(d.target) + "/" + std::to_string(d.host) + ":" + std::to_string(d.channel) +
                      ":" + std::to_string(d.target) + ":0";
    std::error_code ec;
    fs::create_directories(sim_path("/sys/block"), ec);
    fs::create_directories(sim_path("/sys/class/scsi_generic"), ec);
    fs::remove(sim_path("/sys/block/" + d.sd), ec);
    fs::remove(sim_path("/sys/class/scsi_generic/" + d.sg), ec);
    fs::create_symlink(dev + "/block/" + d.sd, sim_path("/sys/block/" + d.sd), ec);
    fs::create_symlink("../../" + dev.substr(6) + "/scsi_generic/" + d.sg, sim_path("/sys/class/scsi_generic/" + d.sg), ec);
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

void disk_model_reset() { model() = Model{}; }

int disk_last_open_flags() { return model().lastFlags; }

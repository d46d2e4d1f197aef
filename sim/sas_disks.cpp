#include "sim/sas_disks.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <map>
#include <sstream>
#include <vector>

#include "bases/drv/mpt_drv.h"
#include "sim/disk_model.h"
#include "sim/mpt_model.h"
#include "sim/kit/sim_words.h"
#include "sim/sim_host.h"

namespace {

using Bytes = std::vector<uint8_t>;

struct Attachment {
    uint32_t ioc;
    uint16_t handle;
    std::string sd;
    uint32_t bus, target;
};

struct Member {
    uint32_t ioc;
    uint16_t handle;
    uint8_t diskNum;
};

// An expander PHY's counters, as REPORT PHY ERROR LOG returns them.
struct ExpanderPhy {
    uint32_t ioc;
    uint8_t phy;
    uint32_t counters[4];
};

struct SasState {
    std::vector<Attachment> disks;
    std::vector<Member> members;
    std::vector<ExpanderPhy> expanderPhys;
    std::map<uint32_t, uint16_t> expanderHandle;  // by controller
    std::vector<std::string> lines;
};

SasState &state()
{
    static SasState *s = new SasState;  // outlives static destructors
    return *s;
}

template <typename T> void put(Bytes &b, size_t at, T v) { std::memcpy(&b.at(at), &v, sizeof v); }

// A page of `size` bytes (never less than the 8 bytes of its header).
Bytes frame(uint8_t type, size_t size)
{
    Bytes b(std::max<size_t>(size, 8), 0);
    if (type > MPI_PAGETYPE_EXTENDED) {
        b[3] = MPI_PAGETYPE_EXTENDED;
        put<uint16_t>(b, 4, static_cast<uint16_t>(size / 4));
        b[6] = type;
    } else {
        b[1] = static_cast<uint8_t>(size / 4);
        b[3] = type;
    }
    return b;
}

// ---- SCSI IO --------------------------------------------------------------------------------------

const Attachment *target_of(const MptIo &io)
{
    bool mpi2 = io.mpiVersion >= 0x200;
    uint16_t handle = static_cast<uint16_t>(io.frame[0] | io.frame[1] << 8);
    for (const Attachment &a : state().disks)
        if (a.ioc == io.ioc && (mpi2 ? a.handle == handle : a.bus == io.frame[1] && a.target == io.frame[0]))
            return &a;
    return nullptr;
}

const Member *member_of(const Attachment &a)
{
    for (const Member &m : state().members)
        if (m.ioc == a.ioc && m.handle == a.handle)
            return &m;
    return nullptr;
}

void reply_status(const MptIo &io, uint16_t status, uint8_t scsi, uint32_t transfer, size_t senseCount)
{
    MpiScsiIoReply r;
    std::memset(&r, 0, sizeof r);
    r.head.function = io.frame[3];
    r.head.iocStatus = status;
    reinterpret_cast<uint8_t *>(&r)[MPI_SCSI_STATUS_OFFSET] = scsi;
    reinterpret_cast<uint8_t *>(&r)[13] = senseCount > 0 ? 0x01 : 0;  // autosense valid
    r.transferCount = transfer;
    r.senseCount = static_cast<uint32_t>(senseCount);
    std::memcpy(io.reply, &r, std::min(io.replySize, sizeof r));
}

uint16_t refusal(const MptIo &io, const Attachment *a)
{
    if (a == nullptr)
        return MPI_IOCSTATUS_SCSI_DEVICE_NOT_THERE;
    const Member *m = member_of(*a);
    if (io.frame[3] == MPI_FUNCTION_SCSI_IO)
        return m != nullptr ? MPI_IOCSTATUS_SCSI_DEVICE_NOT_THERE : 0;
    if (m == nullptr)
        return MPI_IOCSTATUS_INVALID_FIELD;
    return mpt_disk_state(a->ioc, m->diskNum) == 0x02 ? MPI_IOCSTATUS_SCSI_DEVICE_NOT_THERE : 0;
}

void scsi_io(MptIo &io)
{
    bool mpi2 = io.mpiVersion >= 0x200;
    size_t cdbAt = mpi2 ? 64 : 24, lengthAt = mpi2 ? 28 : 40;
    if (io.frameLength < cdbAt + 16)
        return reply_status(io, MPI_IOCSTATUS_INVALID_FIELD, 0, 0, 0);
    const Attachment *a = target_of(io);
    DiskFacts *d = a != nullptr ? disk_find(a->sd) : nullptr;
    uint16_t refused = d == nullptr ? MPI_IOCSTATUS_SCSI_DEVICE_NOT_THERE : refusal(io, a);
    if (refused != 0)
        return reply_status(io, refused, 0, 0, 0);
    uint32_t length;
    std::memcpy(&length, io.frame + lengthAt, sizeof length);
    size_t cdbLength = mpi2 ? (io.frame[36] & 0x1F) : io.frame[4];
    DiskScsiAnswer ans = disk_scsi(*d, io.frame + cdbAt, std::max<size_t>(cdbLength, 6), io.dataOut, io.outSize,
                                   io.dataIn, std::min<size_t>(length, io.inSize));
    size_t sn = std::min(ans.sense.size(), io.senseSize);
    if (sn > 0)
        std::memcpy(io.sense, ans.sense.data(), sn);
    bool reads = io.dataIn != nullptr && length > 0;
    uint16_t status = reads && ans.transferred < length ? 0x45 : 0;
    reply_status(io, status, ans.status, static_cast<uint32_t>(reads ? ans.transferred : 0), sn);
}

// ---- SMP pass-through to the expander -----------------------------------------------------------

constexpr uint8_t kSmpPhyVacant = 0x10;  // function result: the PHY does not exist

void put_be32(uint8_t *p, uint32_t v)
{
    for (int i = 0; i < 4; i++)
        p[i] = static_cast<uint8_t>(v >> (24 - 8 * i));
}

void smp_io(MptIo &io)
{
    MpiSmpPassthroughReply r{};
    r.function = MPI_FUNCTION_SMP_PASSTHROUGH;
    uint8_t resp[32] = {0x41, 0x11, kSmpPhyVacant};
    if (io.dataOut == nullptr || io.outSize < 12 || io.dataOut[0] != 0x40 || io.dataOut[1] != 0x11) {
        r.iocStatus = MPI_IOCSTATUS_INVALID_FIELD;
    } else {
        for (const ExpanderPhy &p : state().expanderPhys)
            if (p.ioc == io.ioc && p.phy == io.dataOut[9]) {
                resp[2] = 0;
                for (size_t i = 0; i < 4; i++)
                    put_be32(resp + 12 + 4 * i, p.counters[i]);
            }
        std::memcpy(io.dataIn, resp, std::min(io.inSize, sizeof resp));
        r.responseDataLength = static_cast<uint16_t>(sizeof resp - 4);
    }
    std::memcpy(io.reply, &r, std::min(io.replySize, sizeof r));
}

// ---- fixture lines ------------------------------------------------------------------------------

bool line_disk(const std::vector<std::string> &w, std::string &err)
{
    std::vector<uint64_t> n;
    if (w.size() < 9 || w.size() > 11 || !sim_numbers(w, 1, 3, n) || !sim_numbers(w, 4, w.size(), n))
        return err = "usage: sas-disk IOC HANDLE SD PARENT PHY SLOT BUS TARGET [SAS-ADDRESS [DEVICE-INFO]]", false;
    if (!disk_name_check("sas-disk", "SD", w[3], err))
        return false;
    const DiskFacts *d = disk_find(w[3]);
    auto ioc = static_cast<uint32_t>(n[0]);
    if (d == nullptr || mpt_controller(ioc) == nullptr)
        return err = "sas-disk: no such controller or disk", false;
    auto handle = static_cast<uint16_t>(n[1]);
    uint64_t sas = n.size() > 7 ? n[7] : 0x5000C50000000000ull + handle;
    uint32_t info = n.size() > 8 ? static_cast<uint32_t>(n[8]) : d->sata ? 0x81u : 0x401u;
    Bytes b = frame(MPI_EXTPAGE_SAS_DEVICE, 36);
    put<uint16_t>(b, 8, static_cast<uint16_t>(n[4]));
    put(b, 12, sas);
    put<uint16_t>(b, 20, static_cast<uint16_t>(n[2]));
    b[22] = static_cast<uint8_t>(n[3]);
    put(b, 24, handle);
    b[26] = static_cast<uint8_t>(n[6]);
    b[27] = static_cast<uint8_t>(n[5]);
    put(b, 28, info);
    mpt_set_page(ioc, MPI_EXTPAGE_SAS_DEVICE, 0, MPI_PAGEADDR_HANDLE_FORM + handle, b);
    mpt_add_mapping(ioc, static_cast<uint32_t>(n[5]), static_cast<uint32_t>(n[6]), handle);
    state().disks.push_back({ioc, handle, w[3], static_cast<uint32_t>(n[5]), static_cast<uint32_t>(n[6])});
    return true;
}

bool member(const std::string &text, uint64_t (&m)[4])
{
    std::istringstream in(text);
    std::string part;
    for (uint64_t &v : m)
        if (!std::getline(in, part, ':') || !sim_number(part, v))
            return false;
    return in.peek() == EOF;
}

void member_pages(uint32_t ioc, uint16_t volume, const uint64_t (&m)[4])
{
    auto num = static_cast<uint8_t>(m[0]);
    Bytes b = frame(MPI_PAGETYPE_RAID_PHYSDISK, 88);
    put<uint16_t>(b, 4, static_cast<uint16_t>(m[2]));
    std::memcpy(b.data() + 16, "SIMVNDR ", 8);
    std::memcpy(b.data() + 24, "SIM MEMBER DISK ", 16);
    std::memcpy(b.data() + 40, "0001", 4);
    mpt_set_page(ioc, MPI_PAGETYPE_RAID_PHYSDISK, 0, MPI_PAGEADDR_HANDLE_FORM + num, b);
    mpt_set_disk_state(ioc, num, static_cast<uint8_t>(m[3]));
    state().members.push_back({ioc, static_cast<uint16_t>(m[2]), num});
    (void)volume;
}

bool line_volume(const std::vector<std::string> &w, std::string &err)
{
    std::vector<uint64_t> n;
    if (w.size() < 12 || !sim_numbers(w, 1, 12, n))
        return err = "usage: sas-volume IOC HANDLE TYPE STATE FLAGS MAX-LBA BLOCK-SIZE STRIPE WWID RESYNC-TOTAL "
                     "RESYNC-LEFT [DISK-NUMBER:MAP:HANDLE:STATE ...]",
               false;
    std::vector<std::array<uint64_t, 4>> members;
    for (size_t i = 12; i < w.size(); i++) {
        uint64_t m[4];
        if (!member(w[i], m))
            return err = "sas-volume: member is DISK-NUMBER:MAP:HANDLE:STATE", false;
        members.push_back({m[0], m[1], m[2], m[3]});
    }
    auto ioc = static_cast<uint32_t>(n[0]);
    auto handle = static_cast<uint16_t>(n[1]);
    if (mpt_controller(ioc) == nullptr)
        return err = "sas-volume: no such controller", false;
    Bytes b = frame(MPI_PAGETYPE_RAID_VOLUME, 40 + 4 * members.size());
    put(b, 4, handle);
    b[6] = static_cast<uint8_t>(n[3]);
    b[7] = static_cast<uint8_t>(n[2]);
    put(b, 8, static_cast<uint32_t>(n[4]));
    put(b, 16, n[5]);
    put(b, 24, static_cast<uint32_t>(n[7]));
    put(b, 28, static_cast<uint16_t>(n[6]));
    b[36] = static_cast<uint8_t>(members.size());
    for (size_t i = 0; i < members.size(); i++) {
        b[40 + 4 * i] = 0;
        b[41 + 4 * i] = static_cast<uint8_t>(members[i][1]);
        b[42 + 4 * i] = static_cast<uint8_t>(members[i][0]);
        uint64_t m[4] = {members[i][0], members[i][1], members[i][2], members[i][3]};
        member_pages(ioc, handle, m);
    }
    mpt_set_page(ioc, MPI_PAGETYPE_RAID_VOLUME, 0, MPI_PAGEADDR_HANDLE_FORM + handle, b);
    Bytes p1 = frame(MPI_PAGETYPE_RAID_VOLUME, 56);
    put(p1, 48, n[8]);
    mpt_set_page(ioc, MPI_PAGETYPE_RAID_VOLUME, 1, MPI_PAGEADDR_HANDLE_FORM + handle, p1);
    if (n[9] != 0)
        mpt_set_resync(ioc, handle, n[9], n[10]);
    return true;
}

bool line_expander(const std::vector<std::string> &w, std::string &err)
{
    std::vector<uint64_t> n;
    if (w.size() != 6 || !sim_numbers(w, 1, 6, n) || mpt_controller(static_cast<uint32_t>(n[0])) == nullptr)
        return err = "usage: sas-expander IOC HANDLE PORT SAS-ADDRESS PHYS (of a known controller)", false;
    auto ioc = static_cast<uint32_t>(n[0]);
    auto handle = static_cast<uint16_t>(n[1]);
    Bytes b = frame(MPI_EXTPAGE_SAS_EXPANDER, 40);
    b[8] = static_cast<uint8_t>(n[2]);
    put(b, 12, n[3]);
    put(b, 24, handle);
    b[32] = static_cast<uint8_t>(n[4]);
    mpt_set_page(ioc, MPI_EXTPAGE_SAS_EXPANDER, 0, MPI_PAGEADDR_HANDLE_FORM + handle, b);
    state().expanderHandle[ioc] = handle;
    mpt_set_smp_hook(smp_io);
    return true;
}

bool line_expander_phy(const std::vector<std::string> &w, std::string &err)
{
    std::vector<uint64_t> n;
    if (w.size() != 8 || !sim_numbers(w, 1, 8, n))
        return err = "usage: sas-expander-phy IOC PHY RATE INVALID-DWORD DISPARITY LOSS-OF-SYNC RESET-PROBLEM", false;
    auto ioc = static_cast<uint32_t>(n[0]);
    auto it = state().expanderHandle.find(ioc);
    const MptIocFacts *c = mpt_controller(ioc);
    if (it == state().expanderHandle.end() || c == nullptr)
        return err = "sas-expander-phy: no expander on that controller", false;
    auto phy = static_cast<uint8_t>(n[1]);
    auto rate = static_cast<uint8_t>(n[2] & 0xF);
    Bytes b = frame(MPI_EXTPAGE_SAS_EXPANDER, 40);
    b[31] = c->mpiVersion >= 0x200 ? static_cast<uint8_t>(rate << 4) : rate;
    mpt_set_page(ioc, MPI_EXTPAGE_SAS_EXPANDER, 1, MPI_PAGEADDR_HANDLE_FORM + (uint32_t{phy} << 16) + it->second, b);
    ExpanderPhy p{ioc, phy, {}};
    for (size_t i = 0; i < 4; i++)
        p.counters[i] = static_cast<uint32_t>(n[3 + i]);
    state().expanderPhys.push_back(p);
    return true;
}

// A volume's block device: by-id links named with the WWID's bytes in
// memory order, the device and its first partition.
bool line_byid(const std::vector<std::string> &w, std::string &err)
{
    uint64_t wwid = 0;
    if (w.size() != 3 || !sim_number(w[1], wwid))
        return err = "usage: sas-byid WWID SD", false;
    if (!disk_name_check("sas-byid", "SD", w[2], err))
        return false;
    uint8_t bytes[8];
    std::memcpy(bytes, &wwid, sizeof bytes);
    std::string hex;
    for (uint8_t v : bytes) {
        static constexpr char kHex[] = "0123456789abcdef";
        hex += kHex[v >> 4];
        hex += kHex[v & 0xF];
    }
    sim_make_dirs("/dev/disk/by-id");
    const std::string name = "/dev/disk/by-id/scsi-3" + hex;
    int r = sim_make_link("../../" + w[2], name);
    if (r == 0)
        r = sim_make_link("../../" + w[2] + "1", name + "-part1");
    return r == 0 || (err = "sas-byid: " + std::string(std::strerror(-r)), false);
}

bool apply_line(std::string_view line, std::string &err)
{
    std::vector<std::string> w;
    for (std::string_view word : sim_doc_words(line))
        w.emplace_back(word);
    bool ok = !w.empty() && (w[0] == "sas-disk" ? line_disk(w, err)
                             : w[0] == "sas-volume" ? line_volume(w, err)
                             : w[0] == "sas-expander" ? line_expander(w, err)
                             : w[0] == "sas-expander-phy" ? line_expander_phy(w, err)
                             : w[0] == "sas-byid" ? line_byid(w, err)
                                                    : (err = "unknown sas- line", false));
    if (ok)
        mpt_set_scsi_hook(scsi_io);
    return ok;
}

} // namespace

void sas_disks_reset() { state() = SasState{}; }

bool sas_fixture_line(std::string_view line, std::string &err)
{
    if (!apply_line(line, err))
        return false;
    state().lines.emplace_back(line);
    return true;
}

bool sas_disks_attach(SimDoc &saved)
{
    sas_disks_reset();
    return sim_doc_replay(saved, "sas", [](const SimDocEntry &, std::string &line, std::string &err) {
        return sas_fixture_line(line, err);
    });
}

void sas_disks_save(SimDoc &doc)
{
    if (state().lines.empty())
        return;
    SimDocSection &section = doc.section("sas");
    for (size_t i = 0; i < state().lines.size(); i++)
        section.put_text("fact " + std::to_string(i), state().lines[i]);
}

#include "sim/mpt_model.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <sstream>
#include <tuple>

#include "bases/drv/mpt_drv.h"
#include "sim/kit/field_fault.h"
#include "sim/kit/sim_words.h"
#include "sim/sim_host.h"

namespace {

using Bytes = std::vector<uint8_t>;
using PageKey = std::tuple<uint32_t, uint32_t, uint32_t>;  // type (extended above 15), number, address

struct RawPage {
    Bytes bytes;
    uint8_t attr = 0;
};

// A reply-status fault: a command whose frame reaches `frameBytes` and
// holds every field answers `status`.
struct StatusFault {
    std::vector<FieldMatch> fields;
    size_t frameBytes;
    uint16_t status;
    uint32_t logInfo;
    unsigned left;  // 0: always
};

struct Mapping {
    uint32_t bus, target;
    uint16_t handle;
};

struct Controller {
    MptIocFacts facts;
    std::map<PageKey, RawPage> pages;
    std::map<std::pair<uint32_t, uint32_t>, uint32_t> shortPages;
    std::vector<StatusFault> faults;
    std::map<uint8_t, uint8_t> diskStates;
    std::map<uint16_t, std::pair<uint64_t, uint64_t>> resync;
    std::vector<Mapping> mappings;
};

struct MptModelState {
    std::map<uint32_t, Controller> controllers;
    std::vector<std::string> lines;  // fixture lines accepted, saved with the board
    MptHook scsi, smp;
};

MptModelState &model()
{
    static MptModelState *state = new MptModelState;  // outlives static destructors
    return *state;
}

Controller *find_controller(uint32_t ioc)
{
    auto it = model().controllers.find(ioc);
    return it == model().controllers.end() ? nullptr : &it->second;
}

template <typename T> void put(Bytes &b, size_t offset, T v)
{
    if (b.size() < offset + sizeof v)
        b.resize(offset + sizeof v);
    std::memcpy(b.data() + offset, &v, sizeof v);
}

template <typename T> T get(const uint8_t *p, size_t offset)
{
    T v;
    std::memcpy(&v, p + offset, sizeof v);
    return v;
}

bool is_ext(uint32_t type) { return type > MPI_PAGETYPE_EXTENDED; }
bool mpi2(const Controller &c) { return c.facts.mpiVersion >= 0x200; }

// ---- pages rendered from the facts --------------------------------------------------------------------

// A page of `size` bytes with its header (standard or extended) in front.
Bytes page_frame(uint32_t type, uint32_t number, size_t size)
{
    Bytes b(std::max<size_t>(size, 8), 0);  // room for either header
    b[2] = static_cast<uint8_t>(number);
    if (is_ext(type)) {
        b[3] = MPI_PAGETYPE_EXTENDED;
        put<uint16_t>(b, 4, static_cast<uint16_t>(size / 4));
        b[6] = static_cast<uint8_t>(type);
    } else {
        b[1] = static_cast<uint8_t>(size / 4);
        b[3] = static_cast<uint8_t>(type);
    }
    return b;
}

std::optional<RawPage> render_sas_io_unit0(const Controller &c)
{
    size_t stride = mpi2(c) ? 20 : 16, n = c.facts.phys.size();
    Bytes b = page_frame(MPI_EXTPAGE_SAS_IO_UNIT, 0, 16 + stride * n);
    b[12] = static_cast<uint8_t>(n);
    for (size_t i = 0; i < n; i++) {
        uint8_t rate = c.facts.phys[i].rate & 0xF;
        b[19 + stride * i] = mpi2(c) ? static_cast<uint8_t>(rate << 4) : rate;
    }
    return RawPage{b, 0};
}

std::optional<RawPage> render(const Controller &c, uint32_t type, uint32_t number, uint32_t address)
{
    const MptIocFacts &f = c.facts;
    if (type == MPI_PAGETYPE_IO_UNIT && number == 0 && address == 0) {
        Bytes b = page_frame(type, number, 16);
        put(b, 12, f.ioUnitWord);
        return RawPage{b, 0};
    }
    if (type == MPI_PAGETYPE_IO_UNIT && number == 3 && address == 0)
        return RawPage{page_frame(type, number, 40), MPI_PAGEATTR_CHANGEABLE};
    if (type == MPI_PAGETYPE_IOC && number == 0 && address == 0) {
        Bytes b = page_frame(type, number, 28);
        put(b, 12, f.vendorId);
        put(b, 14, f.deviceId);
        b[16] = f.revisionId;
        return RawPage{b, 0};
    }
    if (type == MPI_PAGETYPE_MANUFACTURING && number == 5 && address == 0) {
        Bytes b = page_frame(type, number, mpi2(c) ? 24 : 16);
        size_t at = mpi2(c) ? 16 : 4;
        put(b, at, static_cast<uint32_t>(f.sasAddress));
        put(b, at + 4, static_cast<uint32_t>(f.sasAddress >> 32));
        return RawPage{b, 0};
    }
    if (type == MPI_EXTPAGE_SAS_IO_UNIT && number == 0 && address == 0)
        return render_sas_io_unit0(c);
    if (type == MPI_EXTPAGE_SAS_PHY && number == 1 && address < f.phys.size()) {
        Bytes b = page_frame(type, number, 28);
        for (size_t i = 0; i < 4; i++)
            put(b, 12 + 4 * i, f.phys[address].counters[i]);
        return RawPage{b, 0};
    }
    return std::nullopt;
}

// Types walked by handle: the get-next-handle form (form 0) finds the next
// stored page in handle form above the given handle (0xFFFF: the first).
bool walked_by_handle(uint32_t type)
{
    return type == MPI_PAGETYPE_RAID_VOLUME || type == MPI_EXTPAGE_SAS_DEVICE || type == MPI_EXTPAGE_SAS_EXPANDER;
}

const RawPage *next_by_handle(const Controller &c, uint32_t type, uint32_t number, uint32_t address)
{
    uint32_t after = address & 0xFFFF;
    for (const auto &[key, page] : c.pages) {
        const auto &[t, n, a] = key;
        if (t != type || n != number || (a >> MPI_PAGEADDR_FORM_SHIFT) != 1)
            continue;
        if (after == 0xFFFF || (a & 0xFFFF) > after)
            return &page;
    }
    return nullptr;
}

std::optional<RawPage> find_page(const Controller &c, uint32_t type, uint32_t number, uint32_t address)
{
    auto it = c.pages.find({type, number, address});
    if (it != c.pages.end())
        return it->second;
    if (walked_by_handle(type) && (address >> MPI_PAGEADDR_FORM_SHIFT) == 0)
        if (const RawPage *p = next_by_handle(c, type, number, address))
            return *p;
    return render(c, type, number, address);
}

// ---- the reply ------------------------------------------------------------------------------------------

struct Reply {
    Bytes bytes = Bytes(sizeof(MpiReplyHead), 0);
    uint16_t status = 0;
    uint32_t logInfo = 0;
};

void set_status(Reply &r, uint16_t status, uint32_t logInfo = 0)
{
    r.status = status;
    r.logInfo = logInfo;
}

struct Command {
    Controller &ctl;
    const uint8_t *frame;
    size_t frameLength;
    MptCommand &rec;
};

template <typename T> T *user(uint64_t address) { return reinterpret_cast<T *>(static_cast<uintptr_t>(address)); }

// Copy at most `size` bytes into the caller's buffer of `room` bytes.
void give(uint64_t to, uint32_t room, const uint8_t *from, size_t size)
{
    if (to != 0 && room != 0 && size != 0)
        std::memcpy(user<uint8_t>(to), from, std::min<size_t>(room, size));
}

// ---- functions -----------------------------------------------------------------------------------------

void ioc_facts(Command &cmd, Reply &r)
{
    r.bytes.resize(sizeof(MpiIocFactsReply));
    const MptIocFacts &f = cmd.ctl.facts;
    put<uint16_t>(r.bytes, offsetof(MpiIocFactsReply, msgVersion), f.mpiVersion);
    r.bytes[offsetof(MpiIocFactsReply, whoInit)] = f.whoInit;
    r.bytes[offsetof(MpiIocFactsReply, numberOfPorts)] = 1;
    put(r.bytes, offsetof(MpiIocFactsReply, productId), f.productId);
    put(r.bytes, offsetof(MpiIocFactsReply, iocCapabilities), f.capabilities);
    put(r.bytes, offsetof(MpiIocFactsReply, fwVersion), f.firmware);
}

void port_facts(Command &cmd, Reply &r)
{
    r.bytes.resize(sizeof(MpiPortFactsReply));
    r.bytes[offsetof(MpiPortFactsReply, portType)] = cmd.ctl.facts.portType;
}

uint32_t returned_length(const Controller &c, uint32_t type, uint32_t number, size_t size)
{
    auto it = c.shortPages.find({type, number});
    return static_cast<uint32_t>(it == c.shortPages.end() ? size : std::min<size_t>(size, it->second));
}

void config_header(Reply &r, uint32_t type, uint32_t number, uint8_t attr, uint32_t bytes)
{
    MpiConfigReply &h = *reinterpret_cast<MpiConfigReply *>(r.bytes.data());
    h.header.pageVersion = 1;
    h.header.pageNumber = static_cast<uint8_t>(number);
    if (is_ext(type)) {
        h.header.pageType = static_cast<uint8_t>(attr | MPI_PAGETYPE_EXTENDED);
        h.extPageType = static_cast<uint8_t>(type);
        h.extPageLength = static_cast<uint16_t>(bytes / 4);
    } else {
        h.header.pageType = static_cast<uint8_t>(attr | type);
        h.header.pageLength = static_cast<uint8_t>(bytes / 4);
    }
}

void config(Command &cmd, Reply &r)
{
    r.bytes.resize(sizeof(MpiConfigReply));
    if (cmd.frameLength < sizeof(MpiConfigRequest))
        return set_status(r, MPI_IOCSTATUS_INVALID_FIELD);
    MpiConfigRequest req;
    std::memcpy(&req, cmd.frame, sizeof req);
    uint32_t type = req.header.pageType & MPI_PAGETYPE_MASK;
    if (type == MPI_PAGETYPE_EXTENDED)
        type = req.extPageType;
    uint32_t number = req.header.pageNumber;
    std::optional<RawPage> page = find_page(cmd.ctl, type, number, req.pageAddress);
    if (!page)
        return set_status(r, MPI_IOCSTATUS_CONFIG_INVALID_PAGE);
    uint32_t size = static_cast<uint32_t>(page->bytes.size());
    switch (req.action) {
    case MPI_CONFIG_ACTION_HEADER:
        return config_header(r, type, number, page->attr, size);
    case MPI_CONFIG_ACTION_READ_CURRENT: {
        uint32_t n = returned_length(cmd.ctl, type, number, size);
        give(cmd.rec.dataInBuf, cmd.rec.dataInSize, page->bytes.data(), n);
        return config_header(r, type, number, page->attr, n);
    }
    case MPI_CONFIG_ACTION_WRITE_CURRENT: {
        if ((page->attr & (MPI_PAGEATTR_CHANGEABLE | MPI_PAGEATTR_PERSISTENT)) == 0)
            return set_status(r, 0x0020);  // invalid action
        size_t n = std::min<size_t>(size, cmd.rec.dataOutSize);
        std::copy_n(user<const uint8_t>(cmd.rec.dataOutBuf), n, page->bytes.begin());
        cmd.ctl.pages[{type, number, req.pageAddress}] = *page;
        return config_header(r, type, number, page->attr, size);
    }
    default:
        return set_status(r, 0x0020);
    }
}

void raid_disk_state(Controller &c, uint8_t disk, uint8_t state)
{
    c.diskStates[disk] = state;
    auto it = c.pages.find({MPI_PAGETYPE_RAID_PHYSDISK, 0, MPI_PAGEADDR_HANDLE_FORM + disk});
    if (it != c.pages.end() && it->second.bytes.size() > 80)
        it->second.bytes[80] = state;
}

void raid_action(Command &cmd, Reply &r)
{
    r.bytes.resize(sizeof(MpiRaidActionReply));
    MpiRaidActionRequest req{};
    std::memcpy(&req, cmd.frame, std::min(cmd.frameLength, sizeof req));
    Controller &c = cmd.ctl;
    r.bytes[0] = req.action;
    if (req.action == MPI_RAID_ACTION_INDICATOR_STRUCT) {
        auto it = c.resync.find(req.volDevHandle);
        if (it == c.resync.end())
            return set_status(r, MPI_IOCSTATUS_INVALID_FIELD);
        put(r.bytes, 20, it->second.first);
        put(r.bytes, 28, it->second.second);
        return;
    }
    bool known = c.diskStates.count(req.physDiskNum) != 0 ||
                 c.pages.count({MPI_PAGETYPE_RAID_PHYSDISK, 0, MPI_PAGEADDR_HANDLE_FORM + req.physDiskNum}) != 0;
    if (!known || (req.action != MPI_RAID_ACTION_PHYSDISK_OFFLINE && req.action != MPI_RAID_ACTION_PHYSDISK_ONLINE))
        return set_status(r, MPI_IOCSTATUS_INVALID_FIELD);
    raid_disk_state(c, req.physDiskNum, req.action == MPI_RAID_ACTION_PHYSDISK_OFFLINE ? 0x02 : 0x03);
}

uint8_t image_byte(size_t i) { return static_cast<uint8_t>(i * 7 + 1); }

void fw_upload(Command &cmd, Reply &r)
{
    r.bytes.resize(sizeof(MpiFwUploadReply));
    size_t at = mpi2(cmd.ctl) ? offsetof(MpiFwUploadRequest2, tc) : offsetof(MpiFwUploadRequest1, tc);
    if (cmd.frameLength < at + sizeof(MpiTransactionContext))
        return set_status(r, MPI_IOCSTATUS_INVALID_FIELD);
    MpiTransactionContext tc;
    std::memcpy(&tc, cmd.frame + at, sizeof tc);
    uint32_t image = cmd.ctl.facts.imageSize;
    put(r.bytes, offsetof(MpiFwUploadReply, actualImageSize), image);
    if (uint64_t{tc.imageOffset} + tc.imageSize > image)
        return set_status(r, MPI_IOCSTATUS_INVALID_FIELD);
    Bytes chunk(tc.imageSize);
    for (size_t i = 0; i < chunk.size(); i++)
        chunk[i] = image_byte(tc.imageOffset + i);
    give(cmd.rec.dataInBuf, cmd.rec.dataInSize, chunk.data(), chunk.size());
}

void hooked(const MptHook &hook, Command &cmd, Reply &r)
{
    if (!hook)
        return set_status(r, MPI_IOCSTATUS_SCSI_DEVICE_NOT_THERE);
    MptIo io{cmd.ctl.facts.ioc, cmd.ctl.facts.mpiVersion, cmd.frame, cmd.frameLength,
             user<uint8_t>(cmd.rec.replyBuf), cmd.rec.maxReplyBytes, user<uint8_t>(cmd.rec.dataInBuf),
             cmd.rec.dataInSize, user<const uint8_t>(cmd.rec.dataOutBuf), cmd.rec.dataOutSize,
             user<uint8_t>(cmd.rec.senseBuf), cmd.rec.maxSenseBytes};
    r.bytes.clear();  // the hook writes the caller's reply itself
    hook(io);
}

void scsi_io(Command &cmd, Reply &r) { hooked(model().scsi, cmd, r); }
void smp(Command &cmd, Reply &r) { hooked(model().smp, cmd, r); }

struct FunctionRow {
    uint8_t function;
    void (*handle)(Command &cmd, Reply &r);
};

constexpr FunctionRow kFunctions[] = {
    {MPI_FUNCTION_SCSI_IO, scsi_io},
    {MPI_FUNCTION_IOC_FACTS, ioc_facts},
    {MPI_FUNCTION_CONFIG, config},
    {MPI_FUNCTION_PORT_FACTS, port_facts},
    {MPI_FUNCTION_FW_UPLOAD, fw_upload},
    {MPI_FUNCTION_RAID_ACTION, raid_action},
    {MPI_FUNCTION_RAID_SCSI_IO_PASSTHROUGH, scsi_io},
    {MPI_FUNCTION_SMP_PASSTHROUGH, smp},
};

StatusFault *take_fault(Command &cmd)
{
    for (StatusFault &f : cmd.ctl.faults) {
        if (cmd.frameLength < f.frameBytes || !field_match(cmd.frame, f.fields))
            continue;
        if (f.left == 0)
            return &f;
        if (f.left != ~0u) {
            if (--f.left == 0)
                f.left = ~0u;  // used up
            return &f;
        }
    }
    return nullptr;
}

void finish_reply(const Command &cmd, uint8_t function, Reply &r)
{
    if (r.bytes.empty())
        return;
    if (r.bytes.size() < sizeof(MpiReplyHead))
        r.bytes.resize(sizeof(MpiReplyHead));
    r.bytes[2] = static_cast<uint8_t>(r.bytes.size() / 4);
    r.bytes[3] = function;
    uint16_t status = r.status;
    if (r.logInfo != 0)
        status |= MPI_IOCSTATUS_LOG_INFO_AVAILABLE;
    put(r.bytes, offsetof(MpiReplyHead, iocStatus), status);
    put(r.bytes, offsetof(MpiReplyHead, iocLogInfo), r.logInfo);
    give(cmd.rec.replyBuf, cmd.rec.maxReplyBytes, r.bytes.data(), r.bytes.size());
}

// ---- the driver's requests ------------------------------------------------------------------------------

int handle_event_query(const SimCall &call, SimJournalEntry &)
{
    auto *q = static_cast<MptEventQuery *>(call.arg);
    return find_controller(q->hdr.iocNumber) ? 0 : -ENODEV;
}

int handle_iocinfo(const SimCall &call, SimJournalEntry &)
{
    auto *info = static_cast<MptIocInfo *>(call.arg);
    Controller *c = find_controller(info->hdr.iocNumber);
    if (c == nullptr)
        return -ENODEV;
    if (info->hdr.maxDataSize < sizeof *info)
        return -EINVAL;
    const MptIocFacts &f = c->facts;
    SimPciAddress pci;
    sim_pci_address(f.pci, pci);  // read when the line was
    info->adapterType = mpi2(*c) ? 2 : 1;
    info->pciId = f.deviceId;
    info->hwRev = f.revisionId;
    info->firmwareVersion = f.firmware;
    info->biosVersion = f.bios;
    std::memset(info->driverVersion, 0, sizeof info->driverVersion);
    std::memcpy(info->driverVersion, f.driver.data(), std::min(f.driver.size(), sizeof info->driverVersion));
    info->pciLocation = pci.device | pci.function << 5 | pci.bus << 8;
    info->pciSegment = pci.domain;
    return 0;
}

bool pointers_sound(const MptCommand &rec)
{
    return !(rec.replyBuf == 0 && rec.maxReplyBytes != 0) && !(rec.dataInBuf == 0 && rec.dataInSize != 0) &&
           !(rec.dataOutBuf == 0 && rec.dataOutSize != 0) && !(rec.senseBuf == 0 && rec.maxSenseBytes != 0);
}

int handle_command(const SimCall &call, SimJournalEntry &entry)
{
    auto *rec = static_cast<MptCommand *>(call.arg);
    Controller *c = find_controller(rec->hdr.iocNumber);
    if (c == nullptr)
        return -ENODEV;
    if (call.request == MPT_IOC_COMMAND_MPI1 && mpi2(*c))
        return -ENOTTY;
    size_t length = size_t{rec->dataSgeOffset} * 4;
    if (length < 4 || length > MPT_MAX_FRAME || rec->hdr.maxDataSize < MPT_COMMAND_FRAME_OFFSET + length)
        return -EINVAL;
    if (!pointers_sound(*rec))
        return -EFAULT;
    const uint8_t *frame = reinterpret_cast<const uint8_t *>(rec) + MPT_COMMAND_FRAME_OFFSET;
    entry.extra.assign(frame, frame + length);
    Command cmd{*c, frame, length, *rec};
    uint8_t function = frame[3];
    Reply r;
    if (StatusFault *f = take_fault(cmd)) {
        set_status(r, f->status, f->logInfo);
    } else {
        const FunctionRow *row = std::find_if(std::begin(kFunctions), std::end(kFunctions),
                                              [function](const FunctionRow &x) { return x.function == function; });
        if (row == std::end(kFunctions))
            set_status(r, 0x0001);  // invalid function
        else
            row->handle(cmd, r);
    }
    finish_reply(cmd, function, r);
    return 0;
}

int handle_mapping(const SimCall &call, SimJournalEntry &)
{
    auto *map = static_cast<MptBtdhMapping *>(call.arg);
    Controller *c = find_controller(map->hdr.iocNumber);
    if (c == nullptr)
        return -ENODEV;
    for (const Mapping &m : c->mappings) {
        if (map->handle == 0xFFFF && map->bus == m.bus && map->id == m.target)
            map->handle = m.handle;
        else if (map->handle == m.handle && map->bus == UINT32_MAX && map->id == UINT32_MAX) {
            map->bus = m.bus;
            map->id = m.target;
        }
    }
    return 0;
}

constexpr SimRequest kMptRequests[] = {
    {MPT_IOC_EVENT_QUERY, sizeof(MptEventQuery), handle_event_query},
    {MPT_IOC_IOCINFO, sizeof(MptIocInfo), handle_iocinfo},
    {MPT_IOC_COMMAND, sizeof(MptCommand), handle_command},
    {MPT_IOC_COMMAND_MPI1, sizeof(MptCommand), handle_command},
    {MPT_IOC_BTDH_MAPPING, sizeof(MptBtdhMapping), handle_mapping},
};

constexpr SimModel kMptModel = {"mpt2ctl", kMptRequests, std::size(kMptRequests), nullptr, nullptr, nullptr};

// ---- the PCI link below the root port --------------------------------------------------------------------

// The controller's function below its root port, under /sys, and its link
// in /sys/bus/pci/devices.
std::string pci_inside(const MptIocFacts &f)
{
    return "devices/pci" + f.rootPort.substr(0, 7) + "/" + f.rootPort + "/" + f.pci;
}
std::string pci_link(const MptIocFacts &f) { return "/sys/bus/pci/devices/" + f.pci; }

void write_pci_link(const MptIocFacts &f)
{
    const std::string inside = pci_inside(f);
    if (int r = sim_make_dirs("/sys/" + inside); r < 0)
        throw std::filesystem::filesystem_error("cannot make the directory", sim_root() + "/sys/" + inside,
                                                std::error_code(-r, std::generic_category()));
    sim_make_dirs("/sys/bus/pci/devices");
    sim_make_link("../../../" + inside, pci_link(f));
}

// ---- fixture lines ---------------------------------------------------------------------------------------

template <typename T> bool field(std::string_view value, T &out)
{
    return sim_number(value, out);
}
bool field(std::string_view value, std::string &out)
{
    out = std::string(value);
    return true;
}

// A PCI address, kept only when it reads.
bool pci_field(std::string_view value, std::string &out)
{
    SimPciAddress a;
    return sim_pci_address(value, a) && field(value, out);
}

// One key=value of a controller line.
bool ioc_key(MptIocFacts &f, std::string_view key, std::string_view value)
{
    if (key == "pci") return pci_field(value, f.pci);
    if (key == "root") return pci_field(value, f.rootPort);
    if (key == "device") return field(value, f.deviceId);
    if (key == "revision") return field(value, f.revisionId);
    if (key == "mpi") return field(value, f.mpiVersion);
    if (key == "product") return field(value, f.productId);
    if (key == "fw") return field(value, f.firmware);
    if (key == "bios") return field(value, f.bios);
    if (key == "driver") return field(value, f.driver);
    if (key == "sas") return field(value, f.sasAddress);
    if (key == "vendor") return field(value, f.vendorId);
    if (key == "whoinit") return field(value, f.whoInit);
    if (key == "porttype") return field(value, f.portType);
    if (key == "caps") return field(value, f.capabilities);
    if (key == "iounit") return field(value, f.ioUnitWord);
    if (key == "image") return field(value, f.imageSize);
    return false;
}

bool line_ioc(const std::vector<std::string_view> &w, std::string &err)
{
    MptIocFacts f;
    if (w.size() < 2 || !sim_number(w[1], f.ioc) || f.ioc >= MPT_MAX_IOC)
        return err = "mpt-ioc: controller number 0 to 63 expected", false;
    for (size_t i = 2; i < w.size(); i++) {
        size_t eq = w[i].find('=');
        if (eq == std::string_view::npos || !ioc_key(f, w[i].substr(0, eq), w[i].substr(eq + 1)))
            return err = "mpt-ioc: bad field '" + sim_clip(w[i]) + "'", false;
    }
    if (Controller *old = find_controller(f.ioc))
        f.phys = old->facts.phys;
    mpt_add_controller(f);
    return true;
}

bool line_phy(const std::vector<std::string_view> &w, std::string &err)
{
    uint32_t ioc = 0, phy = 0;
    MptPhyFacts p;
    bool ok = w.size() == 8 && sim_number(w[1], ioc) && sim_number(w[2], phy) && phy < 64 &&
              sim_number(w[3], p.rate);
    for (size_t i = 0; ok && i < 4; i++)
        ok = sim_number(w[4 + i], p.counters[i]);
    Controller *c = ok ? find_controller(ioc) : nullptr;
    if (c == nullptr)
        return err = "mpt-phy: IOC PHY RATE and four counters of a known controller expected", false;
    if (c->facts.phys.size() <= phy)
        c->facts.phys.resize(phy + 1);
    c->facts.phys[phy] = p;
    return true;
}

bool line_page(const std::vector<std::string_view> &w, std::string &err)
{
    uint32_t ioc = 0, type = 0, num = 0, addr = 0;
    uint8_t attr = 0;
    Bytes bytes;
    if (w.size() != 7 || !sim_number(w[1], ioc) || !sim_number(w[2], type) || !sim_number(w[3], num) ||
        !sim_number(w[4], addr) || !sim_number(w[5], attr) || !sim_hex_bytes(w[6], bytes) ||
        find_controller(ioc) == nullptr)
        return err = "mpt-page: IOC TYPE NUMBER ADDRESS ATTR HEX-BYTES of a known controller expected", false;
    mpt_set_page(ioc, type, num, addr, std::move(bytes), attr);
    return true;
}

bool page_type(std::string_view text, int &out)
{
    if (text == "-")
        return out = -1, true;
    return sim_number(text, out);
}

bool line_fault(const std::vector<std::string_view> &w, std::string &err)
{
    const std::string usage = "mpt-fault: status, busy, short or errno expected";
    if (w.size() >= 4 && w[1] == "errno") {
        unsigned long request = 0;
        int e = 0;
        unsigned nth = 0;
        if (w.size() > 5 || !sim_number(w[2], request) || !sim_number(w[3], e) ||
            (w.size() == 5 && !sim_number(w[4], nth)))
            return err = "mpt-fault errno: REQUEST ERRNO [NTH] expected", false;
        sim_fail_request(MPT_CTL_NODE, request, e, nth);
        return true;
    }
    uint32_t ioc = 0;
    if (w.size() < 3 || !sim_number(w[1], ioc) || find_controller(ioc) == nullptr)
        return err = usage, false;
    int function = 0, type = 0;
    uint16_t status = 0;
    uint32_t logInfo = 0, num = 0, length = 0;
    unsigned count = 0;
    if (w[2] == "status" && w.size() >= 6 && w.size() <= 8 && sim_number(w[3], function) && page_type(w[4], type) &&
        sim_number(w[5], status) && (w.size() < 7 || sim_number(w[6], logInfo)) &&
        (w.size() < 8 || sim_number(w[7], count))) {
        mpt_fault_status(ioc, function, type, status, logInfo, count);
        return true;
    }
    if (w[2] == "busy" && w.size() == 5 && page_type(w[3], type) && sim_number(w[4], count)) {
        mpt_fault_busy(ioc, type, count);
        return true;
    }
    if (w[2] == "short" && w.size() == 6 && page_type(w[3], type) && type >= 0 && sim_number(w[4], num) &&
        sim_number(w[5], length)) {
        mpt_fault_short_page(ioc, static_cast<uint32_t>(type), num, length);
        return true;
    }
    return err = usage, false;
}

struct FixtureRow {
    std::string_view keyword;
    bool (*apply)(const std::vector<std::string_view> &w, std::string &err);
};

constexpr FixtureRow kFixtureRows[] = {
    {"mpt-ioc", line_ioc},
    {"mpt-phy", line_phy},
    {"mpt-page", line_page},
    {"mpt-fault", line_fault},
};

bool apply_line(std::string_view line, std::string &err)
{
    std::vector<std::string_view> w = sim_doc_words(line);
    for (const FixtureRow &row : kFixtureRows)
        if (!w.empty() && w[0] == row.keyword)
            return row.apply(w, err);
    err = "not a controller line";
    return false;
}

} // namespace

// ---- board hooks ----------------------------------------------------------------------------------------------

void mpt_model_reset()
{
    MptModelState &s = model();
    s.controllers.clear();
    s.lines.clear();
    s.scsi = nullptr;
    s.smp = nullptr;
}

bool mpt_model_attach(SimDoc &saved)
{
    mpt_model_reset();
    std::vector<std::string> lines;
    if (!sim_doc_replay(saved, "mpt", [&lines](const SimDocEntry &, std::string &line, std::string &err) {
            if (!apply_line(line, err))
                return false;
            lines.push_back(std::move(line));
            return true;
        }))
        return false;
    model().lines = std::move(lines);
    return true;
}

void mpt_model_save(SimDoc &doc)
{
    if (model().lines.empty())
        return;
    SimDocSection &section = doc.section("mpt");
    for (size_t i = 0; i < model().lines.size(); i++)
        section.put_text("fact " + std::to_string(i), model().lines[i]);
}

bool mpt_fixture_line(std::string_view line, std::string &err)
{
    if (!apply_line(line, err))
        return false;
    model().lines.emplace_back(line);
    return true;
}

// ---- controllers and their state -----------------------------------------------------------------------------------

void mpt_add_controller(const MptIocFacts &facts)
{
    Controller &c = model().controllers[facts.ioc];
    c.facts = facts;
    write_pci_link(facts);
    sim_register_node(MPT_CTL_NODE, &kMptModel, nullptr);
}

MptIocFacts *mpt_controller(uint32_t ioc)
{
    Controller *c = find_controller(ioc);
    return c ? &c->facts : nullptr;
}

void mpt_set_page(uint32_t ioc, uint32_t type, uint32_t number, uint32_t address, std::vector<uint8_t> bytes,
                  uint8_t attr)
{
    if (Controller *c = find_controller(ioc))
        c->pages[{type, number, address}] = RawPage{std::move(bytes), attr};
}

std::vector<uint8_t> mpt_get_page(uint32_t ioc, uint32_t type, uint32_t number, uint32_t address)
{
    Controller *c = find_controller(ioc);
    std::optional<RawPage> page = c ? find_page(*c, type, number, address) : std::nullopt;
    return page ? page->bytes : Bytes{};
}

void mpt_set_disk_state(uint32_t ioc, uint8_t physDiskNum, uint8_t state)
{
    if (Controller *c = find_controller(ioc))
        raid_disk_state(*c, physDiskNum, state);
}

int mpt_disk_state(uint32_t ioc, uint8_t physDiskNum)
{
    Controller *c = find_controller(ioc);
    if (c == nullptr || c->diskStates.count(physDiskNum) == 0)
        return -1;
    return c->diskStates[physDiskNum];
}

void mpt_set_resync(uint32_t ioc, uint16_t volumeHandle, uint64_t total, uint64_t remaining)
{
    if (Controller *c = find_controller(ioc))
        c->resync[volumeHandle] = {total, remaining};
}

void mpt_add_mapping(uint32_t ioc, uint32_t bus, uint32_t target, uint16_t handle)
{
    if (Controller *c = find_controller(ioc))
        c->mappings.push_back({bus, target, handle});
}

// The fields of a status fault: the frame's function and, for a page type,
// the CONFIG header's type (extended types above 15, named beside it).
void mpt_fault_status(uint32_t ioc, int function, int pageType, uint16_t status, uint32_t logInfo, unsigned count)
{
    constexpr size_t kType = offsetof(MpiConfigRequest, header) + 3, kExtType = offsetof(MpiConfigRequest, extPageType);
    Controller *c = find_controller(ioc);
    if (c == nullptr)
        return;
    StatusFault f{{{3, 1, static_cast<uint64_t>(function)}}, 0, status, logInfo, count};
    if (pageType >= MPI_PAGETYPE_EXTENDED) {
        f.fields.push_back({kType, 1, MPI_PAGETYPE_EXTENDED, false, 0, MPI_PAGETYPE_MASK});
        f.fields.push_back({kExtType, 1, static_cast<uint64_t>(pageType)});
    } else if (pageType >= 0) {
        f.fields.push_back({kType, 1, static_cast<uint64_t>(pageType), false, 0, MPI_PAGETYPE_MASK});
    }
    if (pageType >= 0)
        f.frameBytes = sizeof(MpiConfigRequest);
    c->faults.push_back(std::move(f));
}

void mpt_fault_busy(uint32_t ioc, int pageType, unsigned times)
{
    if (times > 0)
        mpt_fault_status(ioc, MPI_FUNCTION_CONFIG, pageType, MPI_IOCSTATUS_BUSY, 0, times);
}

void mpt_fault_short_page(uint32_t ioc, uint32_t type, uint32_t number, uint32_t length)
{
    if (Controller *c = find_controller(ioc))
        c->shortPages[{type, number}] = length;
}

void mpt_set_scsi_hook(MptHook hook) { model().scsi = std::move(hook); }
void mpt_set_smp_hook(MptHook hook) { model().smp = std::move(hook); }

bool mpt_model_made(std::string_view line, std::string &dir, std::string &link)
{
    const std::vector<std::string_view> w = sim_doc_words(line);
    if (w.size() < 2 || w[0] != "mpt-ioc")
        return false;
    MptIocFacts f;
    for (size_t i = 2; i < w.size(); i++)
        if (const size_t eq = w[i].find('='); eq != std::string_view::npos)
            ioc_key(f, w[i].substr(0, eq), w[i].substr(eq + 1));
    dir = "/sys/" + pci_inside(f);
    link = pci_link(f);
    return true;
}

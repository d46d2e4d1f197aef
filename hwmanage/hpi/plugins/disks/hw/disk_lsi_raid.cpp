#include "hwmanage/hpi/plugins/disks/hw/disk_lsi_raid.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>
#include <pthread.h>

#include "bases/drv/mpt_drv.h"
#include "bases/globals/globals.h"
#include "hwmanage/hpi/plugins/disks/hw/disk_lsi_scsi.h"
#include "hwmanage/hpi/plugins/disks/hw/disk_ssd_info.h"
#include "kelvo/kelvo.h"

const LsiStatusString g_stDiskStatusString[15] = {
    {0x1, "Ready (RDY)"},          {0x80, "Available (AVL)"},        {0x100, "Standby (SBY)"},
    {0x200, "Failed (FLD)"},       {0x1, "Online (ONL)"},            {0x4, "Offline Unknown (OFLU)"},
    {0x10, "Not Compatible (NCOMP)"}, {0x8, "Out of Sync (OSY)"},    {0x20, "Hot Spare (HSP)"},
    {0x400, "Offline Requested (OFLR)"}, {0x800, "Failed Requested (FLDR)"}, {0x1000, "Impending Fail"},
    {0x2000, "Missing (MIS)"},     {0x4000, "UnAvailable"},          {0x8000, "Unknown"},
};

const LsiStatusString g_stRaidStatusString[7] = {
    {0x1, "Optimal"}, {0x2, "Degraded"}, {0x4, "Failed"}, {0x8, "Rebuilding"},
    {0x10, "Inactive Raid"}, {0x20, "No Raid Exist"}, {0x40, "Unknown"},
};

namespace {

constexpr uint32_t kVolumeFlagInactive = 0x4;
constexpr uint32_t kVolumeFlagResync = 0x10000;
constexpr uint8_t kPageSasDevice = MPI_EXTPAGE_SAS_DEVICE;
constexpr uint8_t kPdtEnclosure = 0x0D;
constexpr uint32_t kMaxMiB = 0xFFFFFFFF;

// The cache of the last scan and the controller it belongs to.
struct PhyCache {
    PHYDISKINFOS table;
    uint64_t count;
    bool valid;
    uint8_t ioc;
    uint32_t segment, bus, device, function;
};
PhyCache g_cache{};
pthread_mutex_t g_phyDiskInfos_lock = PTHREAD_MUTEX_INITIALIZER;

uint32_t mib(uint64_t blocks, uint64_t blockLength)
{
    unsigned __int128 bytes = static_cast<unsigned __int128>(blocks) * blockLength;
    uint64_t v = static_cast<uint64_t>(std::min<unsigned __int128>(bytes >> 20, kMaxMiB));
    return static_cast<uint32_t>(v);
}

void text_from(char (&dest)[32], const uint8_t *src, size_t n)
{
    std::memset(dest, 0, sizeof dest);
    std::memcpy(dest, src, std::min(n, sizeof dest - 1));
}

void text_copy(char (&dest)[32], const char *src)
{
    if (strncpy_s(dest, sizeof dest, src, sizeof dest - 1) != 0)
        dest[0] = '\0';
}

template <typename T> T page_field(const MpiPage &page, size_t offset)
{
    T v{};
    if constexpr (sizeof(T) == 1)
        mpi_page_u8(page, offset, v);
    else if constexpr (sizeof(T) == 2)
        mpi_page_u16(page, offset, v);
    else if constexpr (sizeof(T) == 4)
        mpi_page_u32(page, offset, v);
    else
        mpi_page_u64(page, offset, v);
    return v;
}

void page_text(char (&dest)[32], const MpiPage &page, size_t offset, size_t n)
{
    if (mpi_page_has(page, offset, n))
        text_from(dest, page.bytes.get() + offset, n);
}

void lock_cache()
{
    int ret = pthread_mutex_lock(&g_phyDiskInfos_lock);
    if (ret != 0)
        LSI_PRINT("getPhysicalDiskInfos pthread_mutex_lock failed, iRet=%d\n", ret);
}

void unlock_cache()
{
    int ret = pthread_mutex_unlock(&g_phyDiskInfos_lock);
    if (ret != 0)
        LSI_PRINT("getPhysicalDiskInfos pthread_mutex_unlock failed, iRet=%d\n", ret);
}

bool cache_of(const MpiController *c)
{
    return g_cache.valid && g_cache.ioc == c->iocNumber && g_cache.segment == c->pciSegment &&
           g_cache.bus == c->pciBus && g_cache.device == c->pciDevice && g_cache.function == c->pciFunction;
}

// An even call serves the cached scan of the same controller.
bool take_from_cache(const MpiController *c, PHYDISKINFOS *out)
{
    lock_cache();
    bool hit = ++g_cache.count % 2 == 0 && cache_of(c);
    if (hit)
        *out = g_cache.table;
    unlock_cache();
    return hit;
}

void store_in_cache(const MpiController *c, const PHYDISKINFOS &table)
{
    lock_cache();
    g_cache.table = table;
    g_cache.valid = true;
    g_cache.ioc = c->iocNumber;
    g_cache.segment = c->pciSegment;
    g_cache.bus = c->pciBus;
    g_cache.device = c->pciDevice;
    g_cache.function = c->pciFunction;
    unlock_cache();
}

const RaidDiskInfo *member_of(const RAIDDISKINFOS *members, uint16_t handle)
{
    if (members == nullptr)
        return nullptr;
    for (uint32_t i = 0; i < std::min(members->count, LSI_MAX_DISKS); i++)
        if (members->stInfos[i].handle == handle)
            return &members->stInfos[i];
    return nullptr;
}

struct SasDevice {
    uint16_t handle, parent;
    uint32_t info;
    uint8_t phy, slot;
    uint64_t sasAddress;
    uint32_t bus, target;
};

bool end_device(const SasDevice &d)
{
    return d.parent != 0 && (d.info & 7) == 1 && (d.info & (0x80 | 0x400)) != 0;
}

SasDevice sas_device(MpiController *c, const MpiPage &page)
{
    SasDevice d{page_field<uint16_t>(page, 24), page_field<uint16_t>(page, 20), page_field<uint32_t>(page, 28),
                page_field<uint8_t>(page, 22), page_field<uint8_t>(page, 8), page_field<uint64_t>(page, 12), 0, 0};
    if (c->mpiVersion >= MPI_VERSION_2) {
        mapDevHandleToBusTarget(c, d.handle, &d.bus, &d.target);
    } else {
        d.bus = page_field<uint8_t>(page, 27);
        d.target = page_field<uint8_t>(page, 26);
    }
    return d;
}

void fill_entry(PhyDiskInfo &e, const SasDevice &d, const RaidDiskInfo *m)
{
    e.present = 1;
    e.bus = static_cast<uint8_t>(d.bus);
    e.target = static_cast<uint8_t>(d.target);
    e.handle = d.handle;
    e.ucSlotNum = d.slot;
    e.sasAddress = d.sasAddress;
    e.protocol = (d.info & 0x400) != 0 ? 0 : (d.info & 0x80) != 0 ? 1 : 255;
    if (m == nullptr)
        return;
    e.raidMember = 1;
    e.ucPhysDiskNum = m->ucPhysDiskNum;
    e.diskMap = m->diskMap;
    e.raidState = m->state;
    e.offlineReason = m->offlineReason;
    e.volHandle = m->volHandle;
    e.volUnified = m->volUnified;
    e.volType = m->volType;
}

// One device of the walk: checks, INQUIRY, then its entry and identity.
void take_device(MpiController *c, PHYDISKINFOS &table, const SasDevice &d, const RAIDDISKINFOS *members)
{
    const RaidDiskInfo *m = member_of(members, d.handle);
    LsiDiskAddr addr{static_cast<uint8_t>(d.bus), static_cast<uint8_t>(d.target), d.handle, 0, m != nullptr};
    uint8_t inquiry[80] = {};
    if (doInquiryPage(c, addr, inquiry, sizeof inquiry) != 0 || (inquiry[0] & 0x1F) == kPdtEnclosure)
        return;
    if (d.phy >= LSI_MAX_DISKS) {
        LSI_PRINT("getPhysicalDiskInfos: PHY %d of handle %d is out of range, skipped\n", d.phy, d.handle);
        return;
    }
    PhyDiskInfo &e = table.stInfos[d.phy];
    if (e.present != 0) {
        LSI_PRINT("getPhysicalDiskInfos: PHY %d is taken, handle %d skipped\n", d.phy, d.handle);
        return;
    }
    fill_entry(e, d, m);
    isSsd(c, &e);
    int ret = getDiskCapacity(c, &e);
    if (ret != 0)
        LSI_PRINT("getDiskCapacity Failed! iRet=%d, ucSlotNum = %d\n", ret, e.ucSlotNum);
    ret = getDiskIdentity(e.ucIsSSD, c, &e);
    if (ret != 0)
        LSI_PRINT("getPhysicalDiskInfos: getDiskIdentity Failed! iRet=%d\n", ret);
    UnitePhyDiskStatus(&e);
}

void scan_devices(MpiController *c, PHYDISKINFOS &table, const RAIDDISKINFOS *members)
{
    uint32_t handle = 0xFFFF;
    for (bool first = true;; first = false) {
        MpiPage page;
        if (getConfigPage(c, kPageSasDevice, 0, handle, &page) != 0)
            return;
        SasDevice d = sas_device(c, page);
        // Each answer names a higher handle than the one asked after; one that
        // does not would walk the same devices forever.
        if (!first && d.handle <= handle)
            return;
        handle = d.handle;
        if (end_device(d))
            take_device(c, table, d, members);
    }
}

uint16_t raid0_ssd_status(uint8_t state)
{
    switch (state) {
    case 3: case 7: return 0x1;
    case 2: case 4: case 5: case 6: return 0x4;
    case 1: return 0x10;
    default: return 0;
    }
}

uint16_t member_status(uint8_t state)
{
    switch (state) {
    case 1: return 0x10;
    case 2: return 0x4;
    case 3: case 5: case 7: return 0x1;
    case 4: return 0x20;
    case 6: return 0x8;
    default: return 0;
    }
}

} // namespace

GLOBALS_RESET(disk_lsi_raid)
{
    std::memset(&g_cache, 0, sizeof g_cache);
}

uint64_t lsi_phy_cache_count() { return g_cache.count; }

const char *lsi_status_text(const LsiStatusString *table, size_t rows, uint32_t value)
{
    for (size_t i = 0; i < rows; i++)
        if (table[i].flag == value)
            return table[i].text;
    return "???";
}

const char *lsi_disk_status_text(uint32_t value)
{
    return lsi_status_text(g_stDiskStatusString, std::size(g_stDiskStatusString), value);
}

const char *lsi_raid_status_text(uint32_t value)
{
    return lsi_status_text(g_stRaidStatusString, std::size(g_stRaidStatusString), value);
}

const char *get_raid_type(uint8_t type)
{
    switch (type) {
    case 0: return "RAID0";
    case 1: return "RAID1E";
    case 2: return "RAID1";
    case 5: return "RAID10";
    default: return "UNKNOWN";
    }
}

// ---- volumes ----------------------------------------------------------------------------------------

void UniteLogicDiskStatus(LogicDiskInfo *v)
{
    if ((v->flags & kVolumeFlagInactive) != 0) {
        v->unified = 0x4;
        return;
    }
    switch (v->state) {
    case 5: case 3: case 2: v->unified = 0x1; break;
    case 4: v->unified = v->type == 0 ? 0x4 : (v->flags & kVolumeFlagResync) != 0 ? 0x8 : 0x2; break;
    case 0: case 1:
        LSI_PRINT("raid fail, ucVolumeState = 0x%x\n", v->state);
        v->unified = 0x4;
        break;
    default:
        LSI_PRINT("raid unknow, ucVolumeState = 0x%x\n", v->state);
        v->unified = 0x40;
        break;
    }
}

int getRaidDiskInfos(MpiController *c, const MpiPage &page0, const LogicDiskInfo &v, RAIDDISKINFOS *members)
{
    uint8_t disks = page_field<uint8_t>(page0, 36);
    for (uint32_t i = 0; i < disks; i++) {
        size_t at = 40 + 4 * size_t{i};
        if (!mpi_page_has(page0, at, 3))
            break;
        uint8_t diskNum = page_field<uint8_t>(page0, at + 2);
        MpiPage pd;
        if (getConfigPage(c, MPI_PAGETYPE_RAID_PHYSDISK, 0, MPI_PAGEADDR_HANDLE_FORM + diskNum, &pd) != 0)
            continue;
        if (members->count >= LSI_MAX_DISKS)
            break;
        RaidDiskInfo &m = members->stInfos[members->count++];
        m.ucPhysDiskNum = diskNum;
        m.diskMap = page_field<uint8_t>(page0, at + 1);
        m.raidSetNum = page_field<uint8_t>(page0, at);
        m.volHandle = v.handle;
        m.volUnified = v.unified;
        m.volType = v.type;
        m.handle = page_field<uint16_t>(pd, 4);
        m.state = page_field<uint8_t>(pd, 80);
        m.offlineReason = page_field<uint8_t>(pd, 81);
        m.incompatibleReason = page_field<uint8_t>(pd, 82);
        m.attributes = page_field<uint8_t>(pd, 83);
        m.statusFlags = page_field<uint32_t>(pd, 84);
        page_text(m.vendor, pd, 16, 8);
        page_text(m.product, pd, 24, 16);
        page_text(m.revision, pd, 40, 4);
        page_text(m.vendorSpecific, pd, 44, 32);
    }
    return 0;
}

int getLogicDiskInfos(MpiController *c, LOGICDISKINFOS *volumes, RAIDDISKINFOS *members)
{
    if (c == nullptr || volumes == nullptr || members == nullptr)
        return LSI_ERR_NULL;
    std::memset(volumes, 0, sizeof *volumes);
    std::memset(members, 0, sizeof *members);
    uint32_t handle = 0xFFFF;
    for (;;) {
        MpiPage page;
        if (getConfigPage(c, MPI_PAGETYPE_RAID_VOLUME, 0, handle, &page) != 0 || volumes->count >= LSI_MAX_DISKS)
            return 0;
        LogicDiskInfo &v = volumes->stInfos[volumes->count++];
        v.handle = page_field<uint16_t>(page, 4);
        v.type = page_field<uint8_t>(page, 7);
        v.state = page_field<uint8_t>(page, 6);
        v.flags = page_field<uint32_t>(page, 8);
        v.sizeMiB = mib(page_field<uint64_t>(page, 16) + 1, page_field<uint16_t>(page, 28));
        v.stripe = page_field<uint32_t>(page, 24);
        if (v.handle == handle)
            return 0;  // a controller that does not move on would walk forever
        handle = v.handle;
        int ret = 0;
        if ((v.flags & kVolumeFlagResync) != 0 && (ret = getRaidResyncStatus(c, v.handle, &v.resyncPercent)) != 0)
            LSI_PRINT("getRaidResyncStatus fail, iRet=%d\n", ret);
        UniteLogicDiskStatus(&v);
        if ((ret = getRaidDiskInfos(c, page, v, members)) != 0)
            LSI_PRINT("getRaidDiskInfos fail, iRet=%d\n", ret);
        MpiPage page1;
        if (getConfigPage(c, MPI_PAGETYPE_RAID_VOLUME, 1, MPI_PAGEADDR_HANDLE_FORM + v.handle, &page1) != 0)
            LSI_PRINT("getConfigPage gets WWID fail(Handle=%d)!\n", v.handle);
        else
            v.wwid = page_field<uint64_t>(page1, 48);
    }
}

// ---- physical disks ---------------------------------------------------------------------------------

int getPhysicalDiskInfos(MpiController *c, PHYDISKINFOS *out, const RAIDDISKINFOS *members)
{
    if (c == nullptr || out == nullptr)
        return LSI_ERR_NULL;
    if (take_from_cache(c, out))
        return 0;
    std::memset(out, 0, sizeof *out);
    std::unique_ptr<PHYDISKINFOS> table(new (std::nothrow) PHYDISKINFOS{});
    if (table == nullptr) {
        LSI_PRINT("Cannot malloc %d for PHYDISKINFOS\n", static_cast<int>(sizeof(PHYDISKINFOS)));
        return LSI_ERR_MALLOC;
    }
    table->count = LSI_MAX_DISKS;
    out->count = LSI_MAX_DISKS;
    scan_devices(c, *table, members);
    *out = *table;
    store_in_cache(c, *table);
    return 0;
}

int isSsd(MpiController *c, PhyDiskInfo *e)
{
    if (c == nullptr || e == nullptr)
        return LSI_ERR_NULL;
    LsiDiskAddr a = lsi_disk_addr(*e);
    uint8_t list[64] = {};
    int ret = doInquiryVpdPage(c, a, 0x00, list, sizeof list);
    if (ret != 0)
        return ret;
    size_t n = std::min<size_t>(size_t{list[2]} << 8 | list[3], sizeof list - 4);
    if (std::find(list + 4, list + 4 + n, 0xB1) == list + 4 + n)
        return 0;
    uint8_t b1[64] = {};
    ret = doInquiryVpdPage(c, a, 0xB1, b1, sizeof b1);
    if (ret == 0 && (b1[4] << 8 | b1[5]) == 1)
        e->ucIsSSD = 1;
    return ret;
}

int getDiskCapacity(MpiController *c, PhyDiskInfo *e)
{
    if (c == nullptr || e == nullptr)
        return LSI_ERR_NULL;
    LsiDiskAddr a = lsi_disk_addr(*e);
    uint8_t cap[32] = {};
    int ret = doReadCapacityPage(c, a, cap, 8);
    if (ret != 0)
        return ret;
    uint64_t last = uint64_t{cap[0]} << 24 | uint64_t{cap[1]} << 16 | uint64_t{cap[2]} << 8 | cap[3];
    uint32_t block = uint32_t{cap[4]} << 24 | uint32_t{cap[5]} << 16 | uint32_t{cap[6]} << 8 | cap[7];
    if (last == 0xFFFFFFFF) {
        if ((ret = doReadCapacity16Page(c, a, cap, sizeof cap)) != 0)
            return ret;
        last = 0;
        for (size_t i = 0; i < 8; i++)
            last = last << 8 | cap[i];
        block = uint32_t{cap[8]} << 24 | uint32_t{cap[9]} << 16 | uint32_t{cap[10]} << 8 | cap[11];
    }
    e->blockLength = block;
    e->capacityMiB = last == UINT64_MAX ? kMaxMiB : mib(last + 1, block);
    return 0;
}

int getDiskInquiryInfo(MpiController *c, PhyDiskInfo *e)
{
    if (c == nullptr || e == nullptr)
        return LSI_ERR_NULL;
    LsiDiskAddr a = lsi_disk_addr(*e);
    uint8_t inq[80] = {};
    int ret = doInquiryPage(c, a, inq, sizeof inq);
    if (ret != 0)
        return ret;
    text_from(e->manufacturer, inq + 8, 24);
    text_from(e->model, inq + 16, 16);
    text_from(e->firmware, inq + 32, 4);
    text_from(e->serial, inq + 36, 20);
    e->pdt = inq[0] & 0x1F;
    uint8_t vpd[64] = {};
    if (doInquiryVpdPage(c, a, 0x80, vpd, sizeof vpd) == 0)
        text_from(e->serial, vpd + 4, std::min<size_t>(20, vpd[3]));
    return 0;
}

int getDiskIdentity(uint8_t ssd, MpiController *c, PhyDiskInfo *e)
{
    if (c == nullptr || e == nullptr)
        return LSI_ERR_NULL;
    if (ssd == 0) {
        int ret = getDiskInquiryInfo(c, e);
        if (ret != 0)
            LSI_PRINT("getDiskIdentity:get Disk Inquiry Info Failed! iRet=%d\n", ret);
        return ret;
    }
    char pci[32] = {};
    char name[32] = {};
    snprintf_s(pci, sizeof pci, sizeof pci - 1, "0000:%02x:%02x.%01x", c->pciBus, c->pciDevice, c->pciFunction);
    int ret = ssd_find_physicalDisk_index(pci, e->bus, e->target, name, sizeof name);
    if (ret != 0) {
        LSI_PRINT("getDiskIdentity: get disk(host: %d, bus: %d,target: %d) name fail! iRet=%d\n", 0, e->bus,
                  e->target, ret);
        return ret;
    }
    auto rec = std::make_unique<DiskInfoRecord>();
    std::memset(rec.get(), 0, sizeof *rec);
    if ((ret = ssd_get_identity_info(name, rec.get())) != 0) {
        LSI_PRINT("getDiskIdentity: get ssd info Failed! iRet=%d\n", ret);
        return ret;
    }
    text_copy(e->manufacturer, rec->model);
    text_copy(e->model, rec->vendor);
    text_copy(e->firmware, rec->firmware);
    text_copy(e->serial, rec->serial);
    text_copy(e->diskName, name);
    return 0;
}

void UnitePhyDiskStatus(PhyDiskInfo *e)
{
    if (e->raidMember == 0) {
        e->unified = e->blockLength == 512 ? 0x1 : 0x40;
        return;
    }
    uint16_t s = e->ucIsSSD != 0 && e->volType == 0 ? raid0_ssd_status(e->raidState) : member_status(e->raidState);
    if (s == 0) {
        LSI_PRINT("raid unknow, ucRaidDiskState = 0x%x\n", e->raidState);
        s = 0x8000;
    }
    e->unified = s;
}

namespace {
void error_counters(MpiController *c, PhyDiskInfo &e, uint8_t page, LsiErrTriple &to, const char *line)
{
    LsiErrCounters n{};
    int ret = getDiskErrorCounter(c, &e, page, &n);
    if (ret != 0)
        LSI_PRINT("%s%d\n", line, ret);
    to = {n.counter[3], n.counter[5], n.counter[6]};
}
} // namespace

int getPhysicalDiskStatusInfo(MpiController *c, PHYDISKINFOS *table)
{
    if (c == nullptr || table == nullptr)
        return LSI_ERR_NULL;
    for (uint32_t i = 0; i < LSI_MAX_DISKS; i++) {
        PhyDiskInfo &e = table->stInfos[i];
        if (e.present == 0)
            continue;
        int ret;
        if ((ret = getDiskTemperature(c, &e)) != 0)
            LSI_PRINT("getDiskTemperature Failed! iRet=%d\n", ret);
        if ((ret = getDiskLifeSpan_log(c, &e)) != 0)
            LSI_PRINT("getDiskLifeSpan_log Failed! iRet=%d\n", ret);
        if ((ret = getDiskGlist(c, &e)) != 0)
            LSI_PRINT("getDiskGlist Failed! iRet=%d\n", ret);
        error_counters(c, e, 0x03, e.readErr, "getDiskErrorCounter(Read) Failed! iRet=");
        error_counters(c, e, 0x02, e.writeErr, "getDiskErrorCounter(Write) Failed! iRet=");
        error_counters(c, e, 0x05, e.verifyErr, "getDiskErrorCounter(Verify) Failed! iRet=");
        if ((ret = getDiskSmartStatus(c, &e)) != 0)
            LSI_PRINT("getDiskSmartStatus Failed! iRet=%d\n", ret);
        if ((ret = getDiskPreScanStatus(c, &e)) != 0)
            LSI_PRINT("getDiskPreScanStatus Failed! iRet=%d\n", ret);
    }
    return 0;
}

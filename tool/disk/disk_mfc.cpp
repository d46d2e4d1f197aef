#include "tool/disk/disk_mfc.h"

#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include "kelvo/kelvo.h"

namespace {

constexpr const char *kRule = "------------------------------------------------------------------------";


void fill_zero(void *p, size_t n)
{
    int ret = memset_s(p, n, 0, n);
    if (ret != 0)
        std::printf("call memset_s fail, error=%d\n", ret);
}

void version_line(const char *label, uint32_t v)
{
    std::printf("  %-36s: %08x(%d.%02d.%02d.%02d)\n", label, v, v >> 24, (v >> 16) & 0xFF, (v >> 8) & 0xFF, v & 0xFF);
}

const char *rate_text(uint8_t code)
{
    switch (code) {
    case 8: return "1.5G";
    case 9: return "3.0G";
    case 10: return "6.0G";
    default: return "Down";
    }
}

bool has_errors(const MpiPhyErr &p)
{
    return p.invalidDword != 0 || p.runningDisparity != 0 || p.lossDwordSync != 0 || p.phyResetProblem != 0;
}

void counter_lines(const MpiPhyErr &p)
{
    std::printf("    Invalid DWord Count               : %d\n", static_cast<int>(p.invalidDword));
    std::printf("    Running Disparity Error Count     : %d\n", static_cast<int>(p.runningDisparity));
    std::printf("    Loss of DWord Synch Count         : %d\n", static_cast<int>(p.lossDwordSync));
    std::printf("    Phy Reset Problem Count           : %d\n", static_cast<int>(p.phyResetProblem));
}

const char *volume_state(const LogicDiskInfo &v)
{
    if ((v.flags & 0x4) != 0)
        return "Inactive";
    switch (v.state) {
    case 5: return "Optimal";
    case 4: return (v.flags & 0x10000) != 0 ? "Resyncing" : "Degraded";
    case 3: return "Online";
    case 2: return "Initializing";
    case 1: return "Failed";
    case 0: return "Missing";
    default: return "Unknown";
    }
}

const char *volume_type(uint8_t type)
{
    switch (type) {
    case 0: return "RAID0(Striping)";
    case 1: return "RAID1E(Mirroring Extended)";
    case 2: return "RAID1(Mirroring)";
    case 5: return "RAID10(Striped Mirroring)";
    default: return "Unknown";
    }
}

void volume_block(const LogicDiskInfo &v, uint32_t k)
{
    std::printf("Volume:%u\n", k);
    std::printf("  Bus                                 : %d\n", v.bus);
    std::printf("  Target ID                           : %d\n", v.target);
    std::printf("  Handle                              : %d\n", v.handle);
    std::printf("  Volume State:                       : %s\n", volume_state(v));
    std::printf("  WWID:                               : %016llx\n", static_cast<unsigned long long>(v.wwid));
    std::printf("  Type                                : %s\n", volume_type(v.type));
    std::printf("  Volume Size                         : %d (MB)\n", static_cast<int>(v.sizeMiB));
    std::printf("  Stripe Size                         : %d\n", static_cast<int>(v.stripe));
    std::printf("  RebuildScale                        : %d(%%)\n", v.resyncPercent);
}

void membership(const PhyDiskInfo &e)
{
    std::printf("  IsRaidDisk                        : %s\n", e.raidMember != 0 ? "YES" : "NO");
    if (e.raidMember == 0)
        return;
    std::printf("    RaidHandle                      : %d\n", e.volHandle);
    if (e.volType != 0)
        std::printf("    DiskMap                         : %s\n",
                    e.diskMap == 1 ? "Primary" : e.diskMap == 2 ? "Secondary" : "???");
    else
        std::printf("    DiskMap                         : Member %d\n", e.diskMap);
    std::printf("    PhysDiskNum                     : %d\n", e.ucPhysDiskNum);
}

void error_line(const char *label, const LsiErrTriple &t)
{
    std::printf("    %-32s: %10lld,  %12.3f,  %10lld\n", label, static_cast<long long>(t.corrected),
                static_cast<double>(t.processed) / 1e9, static_cast<long long>(t.uncorrected));
}

const char *smart_text(uint8_t asc) { return asc == 0x5D ? "IMPENDING_FAILURE" : asc == 0x0B ? "WARNING" : "OK"; }

void disk_block(const PhyDiskInfo &e, uint32_t slot)
{
    bool sas = e.protocol == 0;
    std::printf("PhysicalDisk : %u\n", slot);
    std::printf("  Slot                              : %d\n", e.ucSlotNum);
    std::printf("  Bus                               : %d\n", e.bus);
    std::printf("  Target ID                         : %d\n", e.target);
    std::printf("  Handle                            : %d\n", e.handle);
    membership(e);
    std::printf("  State                             : %s\n", lsi_disk_status_text(e.unified));
    std::printf("  Size (in MB)                      : %d (MB)\n", static_cast<int>(e.capacityMiB));
    std::printf("  Manufacturer                      : %s\n", e.manufacturer);
    std::printf("  Model Number                      : %s\n", e.model);
    std::printf("  Firmware Revision                 : %s\n", e.firmware);
    std::printf("  Serial No                         : %s\n", e.serial);
    std::printf("  SAS Address                       : %llx\n", static_cast<unsigned long long>(e.sasAddress));
    if (sas) {
        std::printf("  Temprature                        : %d (degree Celsius)\n", e.temperature);
        std::printf("  Powered Up Hours                  : %llu (hours)\n",
                    static_cast<unsigned long long>(e.powerOnHours));
    }
    std::printf("  Protocol                          : %s\n", sas ? "SAS" : e.protocol == 1 ? "SATA" : "???");
    if (sas) {
        std::puts("  ErrCounter                        :  corrected   processed(GB)  uncorrected");
        error_line("Read", e.readErr);
        error_line("Write", e.writeErr);
        error_line("Vertify", e.verifyErr);
    }
    std::printf("  Smart Health Status               : %s (ASC=%x,ASCQ=%x)\n", smart_text(e.smartAsc), e.smartAsc,
                e.smartAscq);
    if (sas) {
        std::printf("  Glist                             : %d\n", e.glist);
        std::printf("  Pre_Scan State                    : %s\n",
                    e.preScan == 0 ? "Disable" : e.preScan == 1 ? "Enable" : "Unknown");
    }
    std::puts(" ");
}

// Discovery shared by both queries: the list zeroed, then the controllers.
int discover(MpiControllerList &list)
{
    fill_zero(&list, sizeof list);
    list.descriptor = -1;
    int ret = collectLsiControllerInfo(&list);
    if (ret != 0) {
        std::printf("find mpt2 controller fail! iRet=%d.\n", ret);
        return ret;
    }
    std::printf("\n%d MPT Port%s found\n\n", static_cast<int>(list.count), list.count != 1 ? "s" : "");
    return 0;
}

struct DiskTables {
    PHYDISKINFOS disks;
    LOGICDISKINFOS volumes;
    RAIDDISKINFOS members;
};

} // namespace

void doShownControllerInfo(const MpiController *c, int index)
{
    if (c == nullptr) {
        std::puts("Null pointer detected!");
        return;
    }
    std::printf("\n%s\nController information\n%s\n", kRule, kRule);
    std::printf("Controller:%d\n", index);
    std::printf("  BDF                                 : %02x:%02x.%02x\n", c->pciBus, c->pciDevice, c->pciFunction);
    std::printf("  Controller                          : %s %s\n", c->chipName != nullptr ? c->chipName : "",
                c->revisionName != nullptr ? c->revisionName : "");
    std::printf("  PciType                             : %s\n", c->busType != nullptr ? c->busType : "");
    std::printf("  VendorId                            : %04x\n", c->vendorId);
    std::printf("  DeviceId                            : %04x\n", c->deviceId);
    std::printf("  RevisionId                          : %02x\n", c->revisionId);
    std::printf("  ProductId                           : %04x\n", c->productId);
    std::printf("  Phy Nums                            : %d\n", c->phyCount);
    std::printf("  MPT Rev                             : %03x\n", c->mpiVersion);
    version_line("Firmware Rev", c->firmwareVersion);
    version_line("Bios Rev", c->biosVersion);
    std::printf("  Driver Rev                          : %s\n", c->driverVersion);
    std::printf("  IOC SAS Address                     : %llx\n", static_cast<unsigned long long>(c->iocSasAddress));
}

void doShowIocPhyCounters(MpiController *c)
{
    if (c == nullptr) {
        std::puts("Null pointer detected!");
        return;
    }
    MpiPhyCounters n{};
    getIocPhysCounters(c, &n);
    for (uint32_t i = 0; i < n.count && i < LSI_MAX_PHYS; i++) {
        std::printf("  Adapter Phy %u                       : Link %s\n", i, rate_text(n.phys[i].rate));
        if (has_errors(n.phys[i]))
            counter_lines(n.phys[i]);
    }
}

void doShowIocPhyCounters2(MpiController *c)
{
    if (c == nullptr) {
        std::puts("Null pointer detected!");
        return;
    }
    MpiPhyCounters n{};
    getIocPhysCounters(c, &n);
    for (uint32_t i = 0; i < n.count && i < LSI_MAX_PHYS; i++) {
        uint8_t rate = n.phys[i].rate;
        std::printf("Adapter Phy %u: Link %s", i, rate >= 8 && rate <= 10 ? "Up" : "Down");
        if (has_errors(n.phys[i])) {
            std::printf("\n");
            counter_lines(n.phys[i]);
        } else {
            std::puts(", No Errors");
        }
    }
}

void doShowRaidInfo(const LOGICDISKINFOS *volumes)
{
    if (volumes == nullptr) {
        std::puts("Null pointer detected!");
        return;
    }
    std::puts(("\n" + std::string(kRule) + "\nIR Volume information\n" + kRule).c_str());
    for (uint32_t k = 0; k < volumes->count && k < LSI_MAX_DISKS; k++)
        volume_block(volumes->stInfos[k], k);
    if (volumes->count == 0)
        std::puts("No volumes is active.");
}

void doShowDiskInfo(const PHYDISKINFOS *disks)
{
    if (disks == nullptr) {
        std::puts("Null pointer detected!");
        return;
    }
    std::puts(("\n" + std::string(kRule) + "\nPhysical device information\n" + kRule).c_str());
    if (disks->count == 0) {
        std::puts("No physical disk is active.");
        return;
    }
    for (uint32_t i = 0; i < disks->count && i < LSI_MAX_DISKS; i++)
        if (disks->stInfos[i].present != 0)
            disk_block(disks->stInfos[i], i);
}

TransOpStatus disk_mfc(const char *)
{
    auto list = std::make_unique<MpiControllerList>();
    auto tables = std::make_unique<DiskTables>();
    fill_zero(tables.get(), sizeof *tables);
    int ret = discover(*list);
    if (ret != 0)
        return ret;
    for (uint32_t i = 0; i < list->count; i++) {
        MpiController *c = &list->controllers[i];
        doShownControllerInfo(c, static_cast<int>(i));
        doShowIocPhyCounters(c);
        getLogicDiskInfos(c, &tables->volumes, &tables->members);
        getPhysicalDiskInfos(c, &tables->disks, &tables->members);
        getPhysicalDiskStatusInfo(c, &tables->disks);
        doShowRaidInfo(&tables->volumes);
        doShowDiskInfo(&tables->disks);
    }
    releaseLsiController(list.get());
    return ret;
}

TransOpStatus disk_phy(const char *)
{
    auto list = std::make_unique<MpiControllerList>();
    int ret = discover(*list);
    if (ret != 0)
        return ret;
    for (uint32_t i = 0; i < list->count; i++)
        doShowIocPhyCounters2(&list->controllers[i]);
    releaseLsiController(list.get());
    return 0;
}

TransOpStatus disk_c_check(const char *params)
{
    if (params != nullptr && std::strcmp(params, "a") == 0)
        std::puts("disk_c_check stub");
    else
        std::puts("Invaild command, correct order: './quorbix -c disk/a'");
    return 0;
}

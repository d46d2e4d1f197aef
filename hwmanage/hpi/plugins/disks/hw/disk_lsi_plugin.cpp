#include "hwmanage/hpi/plugins/disks/hw/disk_lsi_plugin.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <memory>
#include <string_view>
#include <sys/stat.h>

#include "bases/host/host.h"
#include "hwmanage/hpi/plugins/disks/hw/disk_scsi_sg.h"
#include "kelvo/kelvo.h"

namespace {

constexpr const char *kById = "/dev/disk/by-id/";
constexpr const char *kSysBlock = "/sys/block/";
constexpr size_t kSelfTestPageSize = 512;

// The three tables of one controller, too large for a thread's stack.
struct LsiTables {
    LOGICDISKINFOS volumes;
    RAIDDISKINFOS members;
    PHYDISKINFOS disks;
};

std::unique_ptr<LsiTables> new_tables()
{
    auto t = std::make_unique<LsiTables>();
    std::memset(t.get(), 0, sizeof *t);
    return t;
}

// `plain` picks the disk-table failure line of the table readers; the
// full-information query words it differently.
int read_tables(MpiController *c, LsiTables &t, int raid, bool plain)
{
    int ret;
    if (raid == 1 && (ret = getLogicDiskInfos(c, &t.volumes, &t.members)) != 0) {
        LSI_PRINT("get logic disk info fail, iRet = %d\n", ret);
        return ret;
    }
    if ((ret = getPhysicalDiskInfos(c, &t.disks, &t.members)) == 0)
        return 0;
    if (plain)
        LSI_PRINT("get physical disk info fail, iRet = %d\n", ret);
    else
        LSI_PRINT("get physical disk info fail(%d)!\n", ret);
    return ret;
}

void text_copy(char *dest, size_t size, const char *src)
{
    (void)strncpy_s(dest, size, src, std::min(size - 1, strnlen(src, size - 1)));
}

// Walks a directory through the host; false when it cannot be opened.
template <typename Fn> bool walk_dir(const char *path, Fn &&visit)
{
    DIR *dir = host().opendir(path);
    if (dir == nullptr) {
        int err = errno;
        LSI_PRINT("cannot open directory: %s, errno=%d, %s\n\n", path, err, std::strerror(err));
        return false;
    }
    while (const dirent *e = host().readdir(dir))
        if (!visit(e->d_name))
            break;
    host().closedir(dir);
    return true;
}

// The WWID's eight bytes in memory order, two lower-case digits each.
void wwid_text(uint64_t wwid, char (&out)[17])
{
    uint8_t bytes[8];
    std::memcpy(bytes, &wwid, sizeof bytes);
    static constexpr char kHex[] = "0123456789abcdef";
    for (size_t i = 0; i < 8; i++) {
        out[2 * i] = kHex[bytes[i] >> 4];
        out[2 * i + 1] = kHex[bytes[i] & 0xF];
    }
    out[16] = '\0';
}

// A block device name from a by-id link: "../../sd" and one to four
// lower-case letters; the whole name, so "sdaa" never reads as "sda".
bool block_name(std::string_view link, char *name)
{
    constexpr std::string_view kUp = "../../";
    if (link.substr(0, kUp.size()) != kUp)
        return false;
    std::string_view dev = link.substr(kUp.size());
    if (dev.size() < 3 || dev.size() > 6 || dev.substr(0, 2) != "sd")
        return false;
    for (char ch : dev.substr(2))
        if (ch < 'a' || ch > 'z')
            return false;
    return snprintf_s(name, LSI_DISK_NAME_SIZE, LSI_DISK_NAME_SIZE - 1, "/dev/%.*s", static_cast<int>(dev.size()),
                      dev.data()) > 0;
}

bool trimmed_equal(const char *a, const char *b)
{
    char ta[SCSI_SERIAL_SIZE + 1] = {}, tb[SCSI_SERIAL_SIZE + 1] = {};
    char ca[SCSI_SERIAL_SIZE + 1] = {}, cb[SCSI_SERIAL_SIZE + 1] = {};
    text_copy(ca, sizeof ca, a);
    text_copy(cb, sizeof cb, b);
    trim_string(ta, sizeof ta, ca);
    trim_string(tb, sizeof tb, cb);
    return std::strcmp(ta, tb) == 0;
}

// Controller below `root` and the disk in `slot`; the controller is closed
// on every failure.
int open_disk(const char *root, uint32_t slot, int raid, MpiController &c, PhyDiskInfo &entry)
{
    int ret = findMpiController(root, &c);
    if (ret != 0) {
        LSI_PRINT("get controller info fail, iRet = %d\n", ret);
        return ret;
    }
    if ((ret = lsi_get_physicalDisk_index(&c, slot, &entry, raid)) != 0) {
        LSI_PRINT("lsi_get_physicalDisk_index error, iRet = %d\n", ret);
        closeMpiController(&c);
    }
    return ret;
}

uint16_t be16(const uint8_t *p) { return static_cast<uint16_t>(p[0] << 8 | p[1]); }

} // namespace

int lsi_get_physicalDisks(MpiController *c, PHYDISKINFOS *table, int raid)
{
    if (c == nullptr || table == nullptr)
        return LSI_ERR_NULL;
    auto t = new_tables();
    int ret = read_tables(c, *t, raid, true);
    *table = t->disks;
    return ret;
}

int lsi_get_physicalDisk_index(MpiController *c, uint32_t slot, PhyDiskInfo *entry, int raid)
{
    if (c == nullptr || entry == nullptr) {
        LSI_PRINT("the param is null\n");
        return LSI_ERR_NULL;
    }
    auto table = std::make_unique<PHYDISKINFOS>();
    std::memset(table.get(), 0, sizeof *table);
    int ret = lsi_get_physicalDisks(c, table.get(), raid);
    if (ret != 0) {
        LSI_PRINT("lsi_get_physicalDisks error, iRet = %d\n", ret);
        return ret;
    }
    for (const PhyDiskInfo &e : table->stInfos)
        if (e.ucSlotNum == slot) {
            *entry = e;
            return 0;
        }
    return LSI_ERR_NOT_FOUND;
}

int lsi_disk_selfTest(const char *root, uint32_t slot, uint8_t code, int raid)
{
    MpiController c;
    PhyDiskInfo entry;
    int ret = open_disk(root, slot, raid, c, entry);
    if (ret != 0)
        return ret;
    if ((ret = doScsiSelfTest(&c, lsi_disk_addr(entry), code)) != 0)
        LSI_PRINT("set physical disk self_test %x error, iRet = %d\n", code, ret);
    closeMpiController(&c);
    return ret;
}

int lsi_disk_selfTest_result(const char *root, uint32_t slot, LsiSelfTestResult *result, int raid)
{
    if (result == nullptr)
        return LSI_ERR_NULL;
    MpiController c;
    PhyDiskInfo entry;
    int ret = open_disk(root, slot, raid, c, entry);
    if (ret != 0)
        return ret;
    uint8_t page[kSelfTestPageSize] = {};
    ret = doLogSensePage(&c, lsi_disk_addr(entry), LSI_SELFTEST_PAGE, 0, page, sizeof page);
    closeMpiController(&c);
    if (ret != 0) {
        LSI_PRINT("get self_test's result error, iRet = %d\n", ret);
        return ret;
    }
    if ((page[0] & 0x3F) != LSI_SELFTEST_PAGE) {
        LSI_PRINT("Self-test Log Sense Failed, page dismatch\n\n");
        return LSI_ERR_PAGE_MISMATCH;
    }
    if (be16(page + 2) != LSI_SELFTEST_PAGE_LENGTH) {
        LSI_PRINT("Self-test Log Sense length is 0x%x not 0x190 bytes\n\n", be16(page + 2));
        return LSI_ERR_EMPTY_PAGE;
    }
    parse_selftestresult(page, sizeof page, 0, result);
    LSI_PRINT("uc_type = %d\n", result->code);
    LSI_PRINT("uc_result = %d\n", result->result);
    return 0;
}

int lsi_get_physicalDisk_info(LogicDiskList *volumes, DiskInfoList *disks, const char *root, MpiController *c,
                              int raid)
{
    if (volumes == nullptr || disks == nullptr || root == nullptr || c == nullptr)
        return LSI_ERR_NULL;
    auto t = new_tables();
    int ret = read_tables(c, *t, raid, false);
    if (ret != 0)
        return ret;
    if ((ret = get_diskname_sas(root, &t->volumes, &t->disks)) != 0) {
        LSI_PRINT("get_diskname_sas error(%d)!\n", ret);
        return ret;
    }
    if ((ret = convert_logicDisk_info(volumes, &t->members, &t->volumes)) != 0) {
        LSI_PRINT("convert_logicDisk_info fail(%d)!\n", ret);
        return ret;
    }
    if ((ret = convert_physicalDisk_info(disks, &t->disks)) != 0)
        LSI_PRINT("convert_physicalDisk_info fail\n");
    return ret;
}

int convert_logicDisk_info(LogicDiskList *out, const RAIDDISKINFOS *members, const LOGICDISKINFOS *volumes)
{
    if (out == nullptr || members == nullptr || volumes == nullptr) {
        LSI_PRINT("input param is null\n");
        return LSI_ERR_NULL;
    }
    out->count = std::min(volumes->count, LSI_MAX_DISKS);
    for (uint32_t i = 0; i < out->count; i++) {
        const LogicDiskInfo &v = volumes->stInfos[i];
        LogicDiskEntry &e = out->entries[i];
        e.present = 1;
        e.handle = v.handle;
        e.members = 0;
        for (uint32_t m = 0; m < std::min(members->count, LSI_MAX_DISKS); m++)
            e.members += members->stInfos[m].volHandle == v.handle;
        e.sizeMiB = v.sizeMiB;
        e.stripe = v.stripe;
        e.type = v.type;
        text_copy(e.name, sizeof e.name, v.name);
    }
    return 0;
}

namespace {

void fill_record(DiskInfoRecord &r, const PhyDiskInfo &e, int i)
{
    LSI_PRINT("diskSrc->stInfos[%d].present = %d\n", i, e.present);
    LSI_PRINT("diskSrc->stInfos[%d].ucIsSSD = %d\n", i, e.ucIsSSD);
    LSI_PRINT("diskSrc->stInfos[%d].ucSlotNum = %d\n", i, e.ucSlotNum);
    LSI_PRINT("diskSrc->stInfos[%d].ucPhysDiskNum = %d\n", i, e.ucPhysDiskNum);
    LSI_PRINT("cManufacturer = %s\n", e.manufacturer);
    LSI_PRINT("cProductType = %s\n", e.model);
    LSI_PRINT("uiCapacity = %d\n", static_cast<int>(e.capacityMiB));
    r.present = e.present;
    r.kind = e.ucIsSSD == 0 ? 1 : 2;
    r.index = e.ucSlotNum;
    r.volumeHandle = e.volHandle;
    r.capacity = e.capacityMiB;
    text_copy(r.vendor, sizeof r.vendor, e.manufacturer);
    text_copy(r.model, sizeof r.model, e.model);
    char serial[sizeof e.serial + 1] = {};
    text_copy(serial, sizeof serial, e.serial);
    trim_string(r.serial, sizeof r.serial, serial);
    text_copy(r.devicePath, sizeof r.devicePath, e.diskName);
    text_copy(r.firmware, sizeof r.firmware, e.firmware);
    int ret = snprintf_s(r.sasAddress, sizeof r.sasAddress, sizeof r.sasAddress - 1, "0x%llx",
                         static_cast<unsigned long long>(e.sasAddress));
    if (ret < 0)
        LSI_PRINT("snprintf_s err ret = %d.\n", ret);
}

} // namespace

int convert_physicalDisk_info(DiskInfoList *out, const PHYDISKINFOS *table)
{
    if (out == nullptr || table == nullptr)
        return LSI_ERR_NULL;
    out->count = std::min(table->count, LSI_MAX_DISKS);
    for (uint32_t i = 0; i < out->count; i++)
        if (table->stInfos[i].present != 0)
            fill_record(out->records[i], table->stInfos[i], static_cast<int>(i));
    return 0;
}

int get_diskname_sas(const char *root, LOGICDISKINFOS *volumes, PHYDISKINFOS *table)
{
    if (root == nullptr || volumes == nullptr || table == nullptr)
        return LSI_ERR_NULL;
    for (uint32_t i = 0; i < std::min(volumes->count, LSI_MAX_DISKS); i++) {
        LogicDiskInfo &v = volumes->stInfos[i];
        int ret = get_diskname_bywwid(v.wwid, v.name);
        if (ret != 0)
            LSI_PRINT("get diskname sas by wwid(%llx) error, ret(%d)!\n", static_cast<unsigned long long>(v.wwid),
                      ret);
    }
    for (uint32_t i = 0; i < LSI_MAX_DISKS; i++) {
        PhyDiskInfo &e = table->stInfos[i];
        if (e.present != 1 || e.raidMember != 0) {
            text_copy(e.diskName, sizeof e.diskName, "NULL");
            continue;
        }
        int ret = get_sys_diskname(root, &e);
        if (ret != 0)
            LSI_PRINT("get sys disk(%d) name error, %d\n", static_cast<int>(i), ret);
    }
    return 0;
}

int get_diskname_bywwid(uint64_t wwid, char *name)
{
    if (name == nullptr)
        return LSI_ERR_NULL;
    int ret = LSI_ERR_UNSUPPORTED;
    bool opened = walk_dir(kById, [&](const char *entry) {
        ret = get_diskname_byentryid(wwid, entry, name);
        return ret != 0;
    });
    return opened ? ret : LSI_ERR_DIR;
}

int get_diskname_byentryid(uint64_t wwid, const char *entry, char *name)
{
    if (entry == nullptr || name == nullptr) {
        LSI_PRINT("the param is null\n");
        return LSI_ERR_NULL;
    }
    char digits[17];
    wwid_text(wwid, digits);
    std::string_view e(entry);
    if (e == "." || e == ".." || e.find("part") != e.npos || e.find(digits) == e.npos)
        return LSI_ERR_NOT_FOUND;
    char path[256] = {};
    if (std::strlen(kById) + e.size() > 254)
        return LSI_ERR_PARAM;
    int len = snprintf_s(path, sizeof path, sizeof path - 1, "%s%s", kById, entry);
    if (len < 0) {
        LSI_PRINT("snprintf_s failed or len is not fit! len=%d\n\n", len);
        return LSI_ERR_LINK;
    }
    struct stat st;
    if (host().lstat(path, &st) != 0) {
        int err = errno;
        LSI_PRINT("cannot get file:%s status, errno=%d, %s\n\n", path, err, std::strerror(err));
        return LSI_ERR_LINK;
    }
    if (!S_ISLNK(st.st_mode))
        return LSI_ERR_NOT_FOUND;
    char link[256] = {};
    ssize_t n = host().readlink(path, link, sizeof link - 1);
    if (n < 0) {
        int err = errno;
        LSI_PRINT("readlink file:%s failed, errno=%d, %s\n\n", path, err, std::strerror(err));
        return LSI_ERR_NOT_FOUND;
    }
    return block_name(std::string_view(link, static_cast<size_t>(n)), name) ? 0 : LSI_ERR_NOT_FOUND;
}

int get_sys_diskname(const char *root, PhyDiskInfo *entry)
{
    if (root == nullptr || entry == nullptr)
        return LSI_ERR_NULL;
    int ret = 0;
    bool opened = walk_dir(kSysBlock, [&](const char *name) {
        if (!check_dir_rootbdf(root, name))
            return true;
        char serial[SCSI_SERIAL_SIZE] = {};
        ret = getDiskDriverSerial(serial, name);
        if (ret != 0 || !trimmed_equal(serial, entry->serial))
            return true;
        (void)snprintf_s(entry->diskName, sizeof entry->diskName, sizeof entry->diskName - 1, "/dev/%s", name);
        return false;
    });
    return opened ? ret : LSI_ERR_DIR;
}

bool check_dir_rootbdf(const char *root, const char *entry)
{
    if (root == nullptr || entry == nullptr) {
        LSI_PRINT("the param is null\n");
        return false;
    }
    std::string_view e(entry);
    if (e == "." || e == ".." || std::strlen(kSysBlock) + e.size() > 255)
        return false;
    char path[256] = {};
    (void)snprintf_s(path, sizeof path, sizeof path - 1, "%s%s", kSysBlock, entry);
    struct stat st;
    if (host().lstat(path, &st) != 0) {
        int err = errno;
        LSI_PRINT("cannot get file:%s status, errno=%d, %s\n\n", path, err, std::strerror(err));
        return false;
    }
    if (e.substr(0, 2) != "sd" || !S_ISLNK(st.st_mode))
        return false;
    char link[256] = {};
    if (host().readlink(path, link, sizeof link - 1) < 0) {
        int err = errno;
        LSI_PRINT("readlink file:%s failed, errno=%d, %s\n\n", path, err, std::strerror(err));
        return false;
    }
    return std::strstr(link, root) != nullptr;
}

int getDiskDriverSerial(char *serial, const char *name)
{
    if (serial == nullptr || name == nullptr)
        return LSI_ERR_NULL;
    char path[32] = {};
    if (std::strlen(name) + 5 > sizeof path - 1)
        return LSI_ERR_UNSUPPORTED;
    (void)snprintf_s(path, sizeof path, sizeof path - 1, "/dev/%s", name);
    int fd = host_open(path, O_RDWR | O_NONBLOCK);
    if (fd < 0) {
        int err = errno;
        LSI_PRINT("Open device: %s failed! errno=%d(%s)\n", path, err, std::strerror(err));
        return LSI_ERR_NO_DEVICE;
    }
    char got[SCSI_SERIAL_SIZE] = {};
    int ret = scsiGetdiskSerial(fd, got);
    if (ret == 0)
        std::memcpy(serial, got, sizeof got);
    host().close(fd);
    return ret;
}

int get_logic_diskname(const char *root)
{
    if (root == nullptr)
        return LSI_ERR_NULL;
    bool opened = walk_dir(kSysBlock, [&](const char *name) { return !check_dir_rootbdf(root, name); });
    return opened ? 0 : LSI_ERR_DIR;
}

void swap_bytes(uint8_t *dest, const uint8_t *source, size_t length)
{
    if (dest == nullptr || source == nullptr)
        return;
    for (size_t i = 0; i < length; i++)
        dest[i] = source[length - 1 - i];
}

int get_phyDisk_smart_ssd_by_index(uint32_t slot, MpiController *c, SsdSmartSummary *out, int raid)
{
    if (c == nullptr || out == nullptr) {
        LSI_PRINT("psra is null!\n");
        return LSI_ERR_NULL;
    }
    std::memset(out, 0, sizeof *out);
    auto table = std::make_unique<PHYDISKINFOS>();
    std::memset(table.get(), 0, sizeof *table);
    int ret = lsi_get_physicalDisks(c, table.get(), raid);
    if (ret != 0) {
        LSI_PRINT("get physical disk info fail %d\n", ret);
        return ret;
    }
    for (const PhyDiskInfo &e : table->stInfos) {
        if (e.present != 1 || e.ucSlotNum != slot)
            continue;
        auto rec = std::make_unique<DiskInfoRecord>();
        std::memset(rec.get(), 0, sizeof *rec);
        if ((ret = ssd_getPhysicalDiskSmartsbydiskname(e.diskName, rec.get())) != 0) {
            LSI_PRINT("get_phyDisk_smart_ssd_by_index: get disk smart info fail %d \n", ret);
            return ret;
        }
        *out = rec->smart;
        return 0;
    }
    return 0;
}

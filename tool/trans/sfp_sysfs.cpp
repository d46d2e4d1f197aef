// SFP modules of boards whose ports are plain network interfaces: the
// interface of a port is found by the PCI path of each interface under
// /sys/class/net, and the module is read through the attribute files the
// interface's driver offers in its private directory.
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <span>
#include <sys/stat.h>
#include <unistd.h>

#include "bases/host/host.h"
#include "tool/trans/sfp.h"
#include "tool/trans/trans_cmd.h"

namespace {

constexpr int32_t kNotPresent = -1341;
constexpr int32_t kPathTooLong = -1217;
constexpr int32_t kNoFile = -1219;
constexpr int32_t kOpenFailed = -1216;
constexpr int32_t kShortRead = -1218;
constexpr size_t kPathSize = 512;
constexpr size_t kLinkSize = 256;
constexpr size_t kBlockSize = 32;
constexpr uint8_t kSfpAbsent = 3;

// ---- port maps -----------------------------------------------------------------------------

struct PciNumbers {
    uint8_t bus;
    uint8_t device;
    uint8_t function;
    uint32_t domain;
};

struct SfpMapRow {
    PciNumbers root;
    PciNumbers dev;
    const char *devId;   // or null: any
    uint32_t port;
};

constexpr SfpMapRow wena_sfp_map[] = {
    {{0x00, 0x01, 0, 0}, {0x01, 0x00, 0, 0}, "0x0", 0},
    {{0x00, 0x01, 0, 0}, {0x01, 0x00, 0, 0}, "0x1", 1},
};
constexpr SfpMapRow folra_sfp_map[] = {
    {{0x00, 0x02, 1, 0}, {0x04, 0x00, 2, 0}, nullptr, 0},
    {{0x00, 0x02, 1, 0}, {0x04, 0x00, 3, 0}, nullptr, 1},
    {{0x00, 0x02, 2, 0}, {0x07, 0x00, 0, 0}, "0x0", 2},
    {{0x00, 0x02, 2, 0}, {0x07, 0x00, 0, 0}, "0x1", 3},
};
constexpr SfpMapRow folrb_sfp_map[] = {
    {{0x00, 0x03, 0, 0}, {0x09, 0x00, 0, 0}, "0x0", 0},
    {{0x00, 0x03, 0, 0}, {0x09, 0x00, 0, 0}, "0x1", 1},
    {{0x80, 0x03, 0, 0}, {0x83, 0x00, 0, 0}, "0x0", 2},
    {{0x80, 0x03, 0, 0}, {0x83, 0x00, 0, 0}, "0x1", 3},
};
constexpr SfpMapRow wenb_sfp_map[] = {
    {{0x00, 0x03, 0, 0}, {0x08, 0x00, 0, 0}, "0x0", 0},
    {{0x00, 0x03, 0, 0}, {0x08, 0x00, 0, 0}, "0x1", 1},
};

struct BoardSfpMap {
    uint32_t type;
    const SfpMapRow *rows;
    uint64_t count;
};
constexpr BoardSfpMap board_sfp_map[] = {
    {1, wena_sfp_map, std::size(wena_sfp_map)},
    {2, folra_sfp_map, std::size(folra_sfp_map)},
    {3, folrb_sfp_map, std::size(folrb_sfp_map)},
    {4, wenb_sfp_map, std::size(wenb_sfp_map)},
};

const BoardSfpMap *map_of(uint32_t type)
{
    for (const BoardSfpMap &m : board_sfp_map)
        if (m.type == type)
            return &m;
    return nullptr;
}

// Interface names that are never a front port.
constexpr const char *kSkipNames[] = {"lo", "sit0", "vn", "bond", "br", "any", "trans", "."};

bool skipped(const char *name)
{
    for (const char *s : kSkipNames)
        if (std::strstr(name, s) != nullptr)
            return true;
    return false;
}

bool pci_match(const SfpMapRow &r, const EthPciAddr &root, const EthPciAddr &dev)
{
    return r.root.bus == root.bus && r.root.device == root.device && r.root.function == root.function &&
           r.dev.device == dev.device && r.dev.function == dev.function;   // the device's bus may differ
}

// "/sys/class/net/NAME/private/FILE": 0, or -1217 with its line.
int32_t private_path(char *path, const char *name, const char *file)
{
    int n = snprintf_s(path, kPathSize, kPathSize - 1, "%s/%s/private/%s", kNetClassDir, name, file);
    if (n < 0 || static_cast<size_t>(n) >= kPathSize - 1) {
        std::printf("snprintf_s(%s/%s/private/%s) failed! ret(%d)\n", kNetClassDir, name, file, n);
        return kPathTooLong;
    }
    return 0;
}

int32_t must_exist(const char *path)
{
    int rc = host().access(path, F_OK);
    if (rc != 0) {
        std::printf("access(%s) return(%d) no pci root port exist\n", path, rc);
        return kNoFile;
    }
    return 0;
}

FILE *open_or_say(const char *path, const char *mode)
{
    FILE *f = host().fopen(path, mode);
    if (f == nullptr)
        std::printf("can not open net flow packets file(%s)\n", path);
    return f;
}

// The value as "%d" text in one zero-padded 32-byte block.
int32_t write_block(const char *name, const char *file, uint32_t value)
{
    char path[kPathSize];
    if (int32_t rc = private_path(path, name, file))
        return rc;
    if (int32_t rc = must_exist(path))
        return rc;
    char block[kBlockSize] = {};
    if (snprintf_s(block, kBlockSize, kBlockSize - 1, "%d", static_cast<int>(value)) < 0) {
        std::printf("snprintf_s(%s) failed! ret(%d)\n", path, -1);
        return kPathTooLong;
    }
    FILE *f = open_or_say(path, "w+");
    if (f == nullptr)
        return kOpenFailed;
    size_t n = std::fwrite(block, 1, kBlockSize, f);
    if (std::fflush(f) != 0)
        n = 0;
    std::fclose(f);
    if (n != kBlockSize) {
        std::printf("access(%s) return(%d) no pci root port exist\n", path, static_cast<int>(n));
        return kShortRead;
    }
    return 0;
}

// ---- module identity from page A0h ------------------------------------------------------------

struct InfoItem {
    uint32_t offset;
    uint32_t length;
    size_t field;        // offset in SfpInfo
    const char *caller;  // "func_handler" or "sfp_ops.read"
    const char *what;
    int index;           // the ", i = %d" of the compliance bytes; -1 none
};
constexpr InfoItem kInfoItems[] = {
    {20, 16, offsetof(SfpInfo, VendorName), "func_handler", "vendor_name", -1},
    {40, 16, offsetof(SfpInfo, VendorPn), "sfp_ops.read", "vendor_pn", -1},
    {68, 16, offsetof(SfpInfo, VendorSn), "sfp_ops.read", "vendor_sn", -1},
    {84, 8, offsetof(SfpInfo, Date), "sfp_ops.read", "manu_date", -1},
    {0, 2, offsetof(SfpInfo, Identifier), "sfp_ops.read", "identifier_id", -1},
    {2, 1, offsetof(SfpInfo, Connector), "sfp_ops.read", "connect_type", -1},
    {14, 6, offsetof(SfpInfo, LinkLength), "sfp_ops.read", "link_length", -1},
    {3, 1, offsetof(SfpInfo, Compliance), "sfp_ops.read", "ethnet_speed", 0},
    {6, 1, offsetof(SfpInfo, Compliance) + 1, "sfp_ops.read", "ethnet_speed", 1},
    {60, 2, offsetof(SfpInfo, Wavelength), "sfp_ops.read", "wavelength", -1},
};

void item_failed(const InfoItem &it, int32_t rc)
{
    std::printf("call %s get %s fail! iRet=%d", it.caller, it.what, rc);
    if (it.index >= 0)
        std::printf(", i = %d", it.index);
    std::printf("\n");
}

} // namespace

int32_t get_sfp_area_sysfs(const char *name, uint32_t dev, uint32_t offset, uint32_t length, uint8_t *buf)
{
    if (name == nullptr || buf == nullptr) {
        std::printf("Input pointer error, port_name = [%p]\n", static_cast<const void *>(name));
        return -1201;
    }
    bool a0 = dev == SFP_PAGE_A0;
    if (int32_t rc = write_block(name, a0 ? "a0_offset" : "a2_offset", offset))
        return rc;
    if (int32_t rc = write_block(name, a0 ? "a0_readlen" : "a2_readlen", length))
        return rc;
    char path[kPathSize];
    if (int32_t rc = private_path(path, name, a0 ? "dumpa0" : "dumpa2"))
        return rc;
    if (int32_t rc = must_exist(path))
        return rc;
    FILE *f = open_or_say(path, "r");
    if (f == nullptr)
        return kOpenFailed;
    errno = 0;
    size_t n = std::fread(buf, 1, length, f);
    int err = errno;
    std::fclose(f);
    if (n == length)
        return 0;
    if (err == EPERM)
        return 1;   // the driver's answer for an empty cage
    std::printf("fread (%s) return(%d) errno(%d) strerror(errno)%s\n", path, static_cast<int>(n), err, std::strerror(err));
    return kShortRead;
}

int32_t get_port_sfp_info(const char *name, SfpInfo *info)
{
    if (name == nullptr || info == nullptr) {
        std::printf("Input pointer error, port_name = [%p], pstSfpInfo = [%p]\n", static_cast<const void *>(name),
                    static_cast<void *>(info));
        return -1201;
    }
    auto *bytes = reinterpret_cast<uint8_t *>(info);
    for (const InfoItem &it : kInfoItems) {
        int32_t rc = get_sfp_area_sysfs(name, SFP_PAGE_A0, it.offset, it.length, bytes + it.field);
        if (rc == 1 && &it == &kInfoItems[0])
            return rc;
        if (rc != 0) {
            item_failed(it, rc);
            return rc;
        }
    }
    return 0;
}

int32_t get_sfp_present_sysfs(const char *name, uint8_t *present)
{
    char path[kPathSize];
    int n = snprintf_s(path, kPathSize, kPathSize - 1, "%s/%s/private/sfp_status", kNetClassDir, name);
    if (n < 0 || static_cast<size_t>(n) >= kPathSize - 1) {
        std::printf("snprintf_s(%s/%s/private/sfp_status) failed! ret(%d)\n", kNetClassDir, name, n);
        return kPathTooLong;
    }
    if (int32_t rc = must_exist(path))
        return rc;
    FILE *f = open_or_say(path, "r");
    if (f == nullptr)
        return kOpenFailed;
    uint8_t byte = 0;
    errno = 0;
    size_t got = std::fread(&byte, 1, 1, f);
    int err = errno;
    std::fclose(f);
    if (got != 1) {
        std::printf("fread (%s) return(%d) errno(%d) strerror(errno)%s\n", path, static_cast<int>(got), err,
                    std::strerror(err));
        return kShortRead;
    }
    *present = byte == kSfpAbsent ? 0 : 1;
    return 0;
}

int32_t get_net_port_dev_id(const char *name, char *devId, size_t size)
{
    if (name == nullptr || name[0] == '\0' || devId == nullptr || size == 0)
        return kTransBadInput;
    char path[kPathSize];
    int n = snprintf_s(path, kPathSize, kPathSize - 1, "%s/%s/dev_id", kNetClassDir, name);
    if (n < 0 || static_cast<size_t>(n) >= kPathSize - 1) {
        std::printf("snprintf_s(%s/%s/dev_id) failed! iRet(%d)\n\n", kNetClassDir, name, n);
        return kNoFile;
    }
    FILE *f = host().fopen(path, "r");
    if (f == nullptr) {
        std::printf("can not open net flow packets file(%s) \n", path);
        return kOpenFailed;
    }
    char line[32] = {};
    bool got = std::fgets(line, sizeof line, f) != nullptr;
    std::fclose(f);
    if (!got) {
        std::printf("port %s : can not get dev_id value!\n", name);
        return kShortRead;
    }
    line[std::strcspn(line, "\n")] = '\0';
    TRANS_STRNCPY_S(devId, size, line, size - 1);
    return 0;
}

int32_t eth_get_bus_info(const char *name, EthPciAddr *root, EthPciAddr *dev)
{
    char link[kPathSize];
    int n = snprintf_s(link, kPathSize, kPathSize - 1, "%s/%s/device", kNetClassDir, name);
    if (n < 0 || static_cast<size_t>(n) >= kPathSize - 1 || host().access(link, F_OK) != 0)
        return -1350;
    struct stat st {};
    int rc = host().lstat(link, &st);
    if (rc != 0) {
        std::printf("lstat(%s) return(%d)\n\n", link, rc);
        return kOpenFailed;
    }
    if (!S_ISLNK(st.st_mode)) {
        std::printf("file(%s) is not a link file!\n\n", link);
        return -1221;
    }
    char target[kLinkSize] = {};
    ssize_t len = host().readlink(link, target, kLinkSize - 1);
    if (len < 0 || static_cast<size_t>(len) >= kLinkSize - 1) {   // a target that fills the buffer may be cut
        std::printf("readlink(%s) failed, iRet(%d)\n\n", link, static_cast<int>(len));
        return kNoFile;
    }
    target[len] = '\0';
    char joined[kPathSize];
    n = snprintf_s(joined, kPathSize, kPathSize - 1, "%s/%s/%s", kNetClassDir, name, target);
    if (n < 0 || static_cast<size_t>(n) >= kPathSize - 1) {
        std::printf("snprintf_s(%s/%s/%s) failed! ret(%d)\n", kNetClassDir, name, target, n);
        return kPathTooLong;
    }
    char path[PATH_MAX] = {};
    if (host().realpath(joined, path) == nullptr) {
        std::printf("Get realpath (%s) failed! \n", joined);
        return kNoFile;
    }
    for (int i = 0; i < 10; i++) {
        char *cut = std::strrchr(path, '/');
        if (cut == nullptr)
            return -1398;
        *cut = '\0';
        EthPciAddr rec;
        std::memset(&rec, 0xFF, sizeof rec);
        int32_t prc = eth_pci_get_dev_func(cut + 1, &rec);
        if (prc != 0) {
            std::printf("eth_pci_get_dev_func(), iRet(%d)\n", prc);
            return prc;
        }
        if (i == 0)
            *dev = rec;
        if (rec.bus == 0 || rec.bus == 0x80) {
            *root = rec;
            return 0;
        }
    }
    return -1205;
}

int32_t get_port_name_by_portid(uint32_t mapType, uint32_t port, char name[kPortNameSize])
{
    const BoardSfpMap *map = map_of(mapType);
    if (map == nullptr) {
        std::printf("Board type [%u] error!\n\n", mapType);
        return -1205;
    }
    DIR *dir = host().opendir(kNetClassDir);
    if (dir == nullptr) {
        std::printf("call opendir failed, path=%s\n\n", kNetClassDir);
        return kOpenFailed;
    }
    int32_t result = 0;
    bool found = false;
    while (!found && result == 0) {
        struct dirent *e = host().readdir(dir);
        if (e == nullptr)
            break;
        if (skipped(e->d_name))
            continue;
        EthPciAddr root{}, dev{};
        if (eth_get_bus_info(e->d_name, &root, &dev) != 0)
            continue;   // no PCI path
        for (const SfpMapRow &r : std::span(map->rows, map->count)) {
            if (!pci_match(r, root, dev))
                continue;
            char devId[32] = {};
            if (r.devId != nullptr) {
                int32_t rc = get_net_port_dev_id(e->d_name, devId, sizeof devId);
                if (rc != 0) {
                    std::printf("call get_net_port_dev_id error, iRet = %d\n", rc);
                    result = rc;
                    break;
                }
            }
            if ((r.devId == nullptr || std::strncmp(devId, r.devId, 3) == 0) && r.port == port) {
                TRANS_STRNCPY_S(name, kPortNameSize, e->d_name, kPortNameSize - 1);
                found = true;
                break;
            }
        }
    }
    host().closedir(dir);
    return result;
}

int32_t get_sfp_info_by_name(uint32_t mapType, uint32_t port)
{
    char name[kPortNameSize] = {};
    int32_t rc = get_port_name_by_portid(mapType, port, name);
    if (rc != 0) {
        std::printf("Call get_port_name_by_portid exe error, iRet = %d\n", rc);
        return rc;
    }
    uint8_t present = 0;
    rc = get_sfp_present_sysfs(name, &present);
    if (rc != 0) {
        std::printf("port%u[%s]\t:Function get_sfp_present_sysfs exe error, iRet = %d\n", port, name, rc);
        return rc;
    }
    SfpInfo info{};
    if (present != 0)
        rc = get_port_sfp_info(name, &info);
    if (present == 0 || rc == 1) {
        std::printf("port%u[%s]\t:\tNOT PRESENT\n", port, name);
        return kNotPresent;
    }
    if (rc != 0) {
        std::printf("port%u[%s]\t:Function get_port_sfp_info exe error, iRet = %d\n", port, name, rc);
        return rc;
    }
    std::printf("port%u[%s]\t:\n", port, name);
    return sfp_print_identity(info, true);
}

#include "tool/ruga/ruga_pci.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

#include "bases/host/host.h"
#include "bases/pci/tvk_bar.h"
#include "kelvo/kelvo.h"
#include "tool/load/load_log.h"

namespace {

constexpr const char *kDevices = "/sys/bus/pci/devices";

RugaPciDev port_of(uint64_t id)
{
    return {static_cast<uint32_t>(id & 0xFFFFu), static_cast<uint32_t>((id >> 16) & 0xFFu),
            static_cast<uint32_t>((id >> 24) & 0xFFu), static_cast<uint32_t>((id >> 32) & 0xFFu)};
}

// The link text behind the devices directory, resolved; the result must
// fit the caller's 128 bytes.
int resolve(const char *linkPath, char *path)
{
    char target[RUGA_PATH_SIZE] = {};
    ssize_t n = host().readlink(linkPath, target, sizeof(target) - 1);
    if (n < 0) {
        LOAD_ERR("readlink(%s) failed, iRet(%d)\n", linkPath, static_cast<int>(n));
        return -1398;
    }
    target[n] = '\0';
    char joined[RUGA_PATH_SIZE] = {};
    int ret = snprintf_s(joined, sizeof(joined), sizeof(joined) - 1, "%s/%s", kDevices, target);
    if (ret < 0) {
        LOAD_ERR("snprintf_s(%s) failed! iRet(%d)\n", target, ret);
        return -1398;
    }
    std::unique_ptr<char, decltype(&std::free)> real(host().realpath(joined, nullptr), &std::free);
    if (!real || std::strlen(real.get()) >= RUGA_PATH_SIZE) {
        LOAD_ERR("Get realpath (%s) failed! ", joined);
        return -1398;
    }
    return strcpy_s(path, RUGA_PATH_SIZE, real.get()) == 0 ? 0 : -1398;
}

}

bool ruga_pci_child(const char *name, RugaPciDev &dev)
{
    if (std::strlen(name) != 12 || std::strncmp(name, "0000:", 5) != 0)
        return false;
    int count = sscanf_s(name, "%x:%x:%x.%x", &dev.domain, &dev.bus, &dev.device, &dev.function);
    if (count < 4) {
        LOAD_ERR("Too few[%d] fields captured in line \"%s\", errno=%d, %s", count, name, errno, std::strerror(errno));
        return false;
    }
    return true;
}

namespace {

// One BCD word as its decimal reading.
uint32_t bcd(uint32_t word)
{
    const uint32_t v = word & 0xFFFFu;
    return 1000 * (v >> 12) + 100 * ((v >> 8) & 15) + 10 * ((v >> 4) & 15) + (v & 15);
}

int read_word8(uint64_t port, uint32_t &word) { return ruga_read_fpga_register(port, 0, 8, &word); }

}

int ruga_find_real_path(uint32_t domain, uint32_t bus, uint32_t device, uint32_t function, char *path)
{
    char link[RUGA_PATH_SIZE] = {};
    int ret = snprintf_s(link, sizeof(link), sizeof(link) - 1, "%s/%04x:%02x:%02x.%01x", kDevices, domain, bus,
                         device, function);
    if (ret < 0) {
        LOAD_ERR("call sprintf_s fail!\n");
        return -1398;
    }
    if ((ret = host().access(link, F_OK)) != 0) {
        LOAD_ERR("access(%s) return(%d) no pci root port exist\n", link, ret);
        return -1219;
    }
    struct stat st {};
    if ((ret = host().lstat(link, &st)) != 0) {
        LOAD_ERR("lstat(%s) return(%d)\n", link, ret);
        return -1241;
    }
    if (!S_ISLNK(st.st_mode)) {
        LOAD_ERR("file(%s) is not a link file!\n", link);
        return -1398;
    }
    return resolve(link, path);
}

DIR *ruga_open_port_dir(uint32_t domain, uint32_t bus, uint32_t device, uint32_t function)
{
    char path[RUGA_PATH_SIZE] = {};
    if (ruga_find_real_path(domain, bus, device, function, path) != 0)
        LOAD_ERR("find real path fail!\n");
    DIR *dir = path[0] != '\0' ? host().opendir(path) : nullptr;
    if (dir == nullptr)
        LOAD_ERR("call opendir failed, path=%s\n", path);
    return dir;
}

int ruga_find_tanden_dev(uint64_t port, RugaPciDev *dev)
{
    const RugaPciDev p = port_of(port);
    DIR *dir = ruga_open_port_dir(p.domain, p.bus, p.device, p.function);
    if (dir == nullptr)
        return -1216;
    int ret = -1200;
    for (struct dirent *e = host().readdir(dir); e != nullptr && ret != 0; e = host().readdir(dir)) {
        RugaPciDev child{};
        if (ruga_pci_child(e->d_name, child) && child.device == 0 && child.function == 0) {
            *dev = child;
            ret = 0;
        }
    }
    host().closedir(dir);
    return ret;
}

int ruga_bar_read(unsigned bus, unsigned devfn, uint8_t bar, uint8_t *buf, uint32_t len, int offset)
{
    return tvk_bar_read(bus, devfn, bar, buf, len, offset);
}

int ruga_bar_write(unsigned bus, unsigned devfn, uint8_t bar, const uint8_t *buf, uint32_t len, int offset)
{
    return tvk_bar_write(bus, devfn, bar, buf, len, offset);
}

int ruga_mmap_read(const char *path, int64_t offset, uint32_t len, void *buf)
{
    return tvk_mmap_read(path, offset, len, buf);
}

int ruga_mmap_write(const char *path, int64_t offset, uint32_t len, const void *buf)
{
    return tvk_mmap_write(path, offset, len, buf);
}

int ruga_read_fpga_register(uint64_t port, uint8_t bar, int offset, uint32_t *value)
{
    RugaPciDev dev{};
    int ret = ruga_find_tanden_dev(port, &dev);
    if (ret == -1200)
        LOAD_ERR("not find pf device, get boot run version fail!\n");
    if (ret != 0)
        return ret;
    ret = ruga_bar_read(dev.bus, 0, bar, reinterpret_cast<uint8_t *>(value), 4, offset);
    if (ret != 0)
        LOAD_ERR("read bar register fail!\n");
    return ret;
}

int ruga_get_run_boot_logic_ver(uint32_t *version)
{
    uint32_t word = 0;
    int ret = read_word8(RUGA_PORT_BOOT, word);
    *version = ret == 0 ? bcd(word) : 65535;
    LOAD_INFO("RUGA run boot logic version: %d\n", static_cast<int>(*version));
    return ret;
}

int ruga_get_app_ver(uint32_t *version)
{
    uint32_t word = 0;
    int ret = read_word8(RUGA_PORT_APP, word);
    *version = ret == 0 ? bcd(word) : 65535;
    LOAD_INFO("RUGA app logic version: %d\n", static_cast<int>(*version));
    return ret;
}

int ruga_get_app_type(uint32_t *type)
{
    uint32_t word = 0;
    int ret = read_word8(RUGA_PORT_APP, word);
    *type = ret == 0 ? (word >> 24) & 7 : 7;
    LOAD_INFO("RUGA app logic type: %d\n", static_cast<int>(*type));
    return ret;
}

int ruga_get_flash_logic_type(uint32_t *type)
{
    uint32_t word = 0;
    int ret = read_word8(RUGA_PORT_BOOT, word);
    *type = ret == 0 ? (word >> 24) & 7 : 7;
    LOAD_INFO("RUGA flash logic type: %d \n", static_cast<int>(*type));
    return ret;
}

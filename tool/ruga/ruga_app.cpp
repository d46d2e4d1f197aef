#include "tool/ruga/ruga_app.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <new>
#include <sys/stat.h>
#include <unistd.h>

#include "bases/host/host.h"
#include "bases/pci/tvk_cap.h"
#include "bases/pci/tvk_dev.h"
#include "kelvo/kelvo.h"
#include "tool/load/fpga_head.h"
#include "tool/load/load_log.h"
#include "tool/load/spi_flash.h"
#include "tool/ruga/ruga_boot.h"
#include "tool/ruga/ruga_pci.h"
#include "tool/ruga/ruga_port.h"

namespace {

constexpr PciePortInfo kAppPorts[2] = {{0, 0x00, 3, 0, 0, {}}, {0, 0x00, 3, 2, 0, {}}};

// The capability's registers on one function.
struct BitCap {
    unsigned bus;
    unsigned devfn;
    uint32_t at;
    int read(uint32_t reg, uint32_t &v) const { return tvk_read_conf_dword(bus, devfn, at + reg, &v); }
    int write(uint32_t reg, uint32_t v) const { return tvk_write_conf_dword(bus, devfn, at + reg, v); }
};

int clear_request(const BitCap &cap, uint32_t &saved)
{
    uint32_t status = 0;
    if (cap.read(RUGA_CAP_CONTROL, saved) != 0) {
        LOAD_ERR("read control reg error\n");
        return -1200;
    }
    if (cap.read(RUGA_CAP_STATUS, status) != 0) {
        LOAD_ERR("read status reg error\n");
        return -1200;
    }
    if ((status & (1u << 24)) == 0)
        return 0;
    cap.write(RUGA_CAP_CONTROL, saved | 0x101);
    for (uint32_t i = 0; i < RUGA_PENDING_READS; i++) {
        if (cap.read(RUGA_CAP_STATUS, status) != 0) {
            LOAD_ERR("read status reg error\n");
            return -1200;
        }
        if ((status & (1u << 24)) == 0)
            return 0;
    }
    LOAD_ERR("clear request by configure error\n");
    return -1200;
}

int open_conf_file(const RugaPciDev &dev)
{
    char path[256] = {};
    int n = snprintf_s(path, sizeof(path), sizeof(path) - 1, "%s/%02x/%02x.%d", TVK_PROC_PCI_DIR, dev.bus,
                       dev.device, static_cast<int>(dev.function));
    int fd = n < 0 ? -1 : host().open(path, O_RDWR, 0);
    if (fd >= 0)
        return fd;
    n = snprintf_s(path, sizeof(path), sizeof(path) - 1, "%s/%04x:%02x/%02x.%d", TVK_PROC_PCI_DIR, dev.domain,
                   dev.bus, dev.device, static_cast<int>(dev.function));
    if (n < 0) {
        LOAD_ERR("call snprintf_s error\n");
        return -1205;
    }
    if ((fd = host().open(path, O_RDWR, 0)) < 0) {
        LOAD_ERR("open pcie config file(%s) error\n", path);
        return -1216;
    }
    return fd;
}

// Whole words only, each byte-swapped, one 4-byte write per word.
int write_data(const RugaPciDev &dev, uint32_t at, const uint8_t *data, uint32_t length)
{
    int fd = open_conf_file(dev);
    if (fd < 0)
        return fd;
    int ret = 0;
    const auto offset = static_cast<off_t>(at + RUGA_CAP_DATA);
    for (uint32_t i = 0; i + 4 <= length && ret == 0; i += 4) {
        uint32_t word = 0;
        std::memcpy(&word, data + i, 4);
        word = __builtin_bswap32(word);
        ssize_t n = host().pwrite(fd, &word, 4, offset);
        if (n < 0) {
            LOAD_ERR("write[%02x:%02x.%x] at %d for %dB failed, ret=%d, errno=%d, %s", dev.bus, dev.device,
                     dev.function, static_cast<int>(offset), 4, static_cast<int>(n), errno, std::strerror(errno));
            ret = -1218;
        } else if (n < 4) {
            LOAD_ERR("tried to write[%02x:%02x.%x] at %d for %dB, but only %d succeed", dev.bus, dev.device,
                     dev.function, static_cast<int>(offset), 4, static_cast<int>(n));
            ret = -1218;
        }
    }
    host().close(fd);
    return ret;
}

// Steps 3 to 6 of the stream; the caller puts the saved control back
// after a failure.
int stream(const BitCap &cap, const RugaPciDev &dev, const uint8_t *data, uint32_t length)
{
    uint32_t status = 0, control = 0;
    if (cap.read(RUGA_CAP_STATUS, status) != 0) {
        LOAD_ERR("read status reg error!\n");
        return -1200;
    }
    if ((status & 0x111) != 0) {
        LOAD_ERR("status reg error!\n");
        return -1200;
    }
    if (cap.read(RUGA_CAP_CONTROL, control) != 0) {
        LOAD_ERR("read control reg error!\n");
        return -1200;
    }
    int ret = cap.write(RUGA_CAP_CONTROL, (control | 0x10101) & ~0x1032u);
    if (ret != 0) {
        LOAD_ERR("write control reg error\n");
        return ret;
    }
    if ((ret = write_data(dev, cap.at, data, length)) != 0) {
        LOAD_ERR("write data to pcie conf reg error\n");
        return ret;
    }
    if (cap.read(RUGA_CAP_STATUS, status) != 0) {
        LOAD_ERR("read status reg error\n");
        return -1200;
    }
    if ((status & 0x101) != 0) {
        LOAD_ERR("status reg error\n");
        return -1200;
    }
    return 0;
}

int read_file(const char *path, std::unique_ptr<uint8_t[]> &buf, uint32_t &size)
{
    if (host().access(path, R_OK) != 0) {
        LOAD_ERR("file (%s) not exist!\n", path);
        return -1219;
    }
    int fd = host().open(path, O_RDONLY, 0);
    if (fd < 0) {
        LOAD_ERR("Open %s failed\n", path);
        return -1221;
    }
    struct stat st {};
    int ret = 0;
    if (host().fstat(fd, &st) != 0) {
        LOAD_ERR("stat of file %s failed\n", path);
        ret = -1202;
    } else if (st.st_size < static_cast<off_t>(FHEAD_SIZE) || st.st_size > 0x7FFFFFFF) {
        // Shorter than a head is as good as empty: nothing to check or send.
        LOAD_ERR("file size is zero\n");
        ret = -1202;
    } else if (!(buf.reset(new (std::nothrow) uint8_t[static_cast<size_t>(st.st_size)]), buf)) {
        LOAD_ERR("No memory for reading logic file\n");
        ret = -1209;
    } else {
        size = static_cast<uint32_t>(st.st_size);
        std::memset(buf.get(), 0, size);
        ssize_t n = host().read(fd, buf.get(), size);
        if (n != static_cast<ssize_t>(size)) {
            LOAD_ERR("Read file %s failed\n", path);
            ret = -1218;
        }
    }
    host().close(fd);
    return ret;
}

}

int ruga_wite_bit_stream(const uint8_t *data, uint32_t length)
{
    RugaPciDev dev{};
    int ret = ruga_find_tanden_dev(RUGA_PORT_BOOT, &dev);
    if (ret != 0) {
        LOAD_ERR("find tanden device error!\n");
        return ret;
    }
    BitCap cap{dev.bus, (dev.device << 3) | dev.function, 0};
    if ((ret = tvk_get_ext_capptr(cap.bus, cap.devfn, RUGA_BITSTREAM_CAP, &cap.at)) != 0) {
        LOAD_ERR("get base address error!\n");
        return ret;
    }
    uint32_t saved = 0;
    if ((ret = clear_request(cap, saved)) != 0) {
        LOAD_ERR("clear request by configure error!\n");
        return ret;
    }
    if ((ret = stream(cap, dev, data, length)) != 0) {
        cap.write(RUGA_CAP_CONTROL, saved);
        return ret;
    }
    if ((ret = cap.write(RUGA_CAP_CONTROL, saved | 0x1000)) != 0)
        LOAD_ERR("write control reg error\n");
    return ret;
}

int ruga_load_data_to_fpga(const uint8_t *data, uint32_t length)
{
    RugaSave save;
    RugaBootNode node;
    int ret = ruga_new_save(save, kAppPorts, 2);
    if (ret != 0 || (ret = node.open()) != 0)
        return ret;
    if ((ret = node.request(RUGA_APP_LOGIC_OFF)) != 0) {
        LOAD_ERR("IOCTL: error\n");
        LOAD_ERR("inactive app logic fail, quit now\n");
        return ret;
    }
    if ((ret = ruga_save_conf_reg(save.data.get(), save.ports, 2)) != 0)
        LOAD_ERR("save bar base adrress reg fail!\n");
    else if ((ret = ruda_clear_app_done_flag(0)) != 0)
        LOAD_ERR("clear app done flag fail!\n");
    if (ret == 0) {
        ruga_close_pcie_port(save.ports, 2);
        host().usleep(1000);
        if ((ret = ruga_wite_bit_stream(data, length)) != 0)
            LOAD_ERR("write bit stream fail!\n");
    }
    if (ret != 0) {
        node.request(RUGA_APP_LOGIC_ON);
        return ret;
    }
    if ((ret = ruga_open_pcie_port(save.ports, 2)) != 0) {
        LOAD_ERR("FATAL! open root pcie port fail!\n");
        return ret;
    }
    if ((ret = ruga_recover_conf_reg(save.data.get(), save.ports, 2)) != 0) {
        LOAD_ERR("recover bar base address fail\n");
        return ret;
    }
    if ((ret = node.request(RUGA_APP_LOGIC_ON)) != 0) {
        LOAD_ERR("IOCTL: error\n");
        LOAD_ERR("active app logic fail, quit now\n");
    }
    return ret;
}

namespace {

// The image checks against flash 0, whose capacity the head check needs.
int check_app_image(const uint8_t *image, uint32_t dataLength)
{
    uint32_t capacity = 0;
    int ret = flash_get_cap(0, &capacity);
    if (ret != 0) {
        LOAD_ERR("get flash cap error, (0x%x)\n", capacity);
        return ret;
    }
    return ruga_fpga_file_check(image, dataLength, capacity, g_spiGeometry.guiSpiSectorSize);
}

} // namespace

int ruga_fpga_app_load_file(const char *path)
{
    std::unique_ptr<uint8_t[]> image;
    uint32_t size = 0;
    int ret = read_file(path, image, size);
    if (ret != 0)
        return ret;
    if ((ret = check_app_image(image.get(), size - FHEAD_SIZE)) != 0) {
        LOAD_ERR("Fpga file crc check error, please check your file, ret = %d\n", ret);
        return ret;
    }
    if ((ret = ruga_load_data_to_fpga(image.get(), size - FHEAD_SIZE)) != 0)
        LOAD_ERR("load data to fpga fail!\n");
    return ret;
}

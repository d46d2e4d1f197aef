#include "tool/load/lpc_window.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>

#include "bases/drv/spi_flash_drv.h"
#include "bases/host/host.h"
#include "tool/load/load_log.h"

namespace {

int lpc_request(unsigned long request, SpiFlashReq &rec)
{
    int fd = host_open(SPI_FLASH_NODE, O_RDWR);
    if (fd < 0) {
        LOAD_ERR("open flash device file fail!\n");
        return -1221;
    }
    int ret = host_ioctl(fd, request, &rec);
    if (ret < 0) {
        int err = errno;
        LOAD_ERR("ioctl error, errno = %d(%s)\n", err, std::strerror(err));
    }
    host().close(fd);
    return ret < 0 ? ret : 0;
}

}  // namespace

int lpc_addr_write(uint32_t address, uint32_t data)
{
    SpiFlashReq rec{address & 0xFFFFu, data & 0xFFu, 0, 0};
    return lpc_request(SPI_FLASH_LPC_WRITE, rec);
}

int lpc_addr_read(uint32_t address, uint8_t *data)
{
    if (data == nullptr) {
        LOAD_ERR("pdata is null!\n");
        return -1201;
    }
    SpiFlashReq rec{address & 0xFFFFu, SPI_FLASH_LPC_READ_MARK, 0, 0};
    int ret = lpc_request(SPI_FLASH_LPC_READ, rec);
    if (ret == 0)
        *data = static_cast<uint8_t>(rec.operation & 0xFFu);
    return ret;
}

#include "tool/load/spi_flash.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <new>

#include "bases/drv/spi_flash_drv.h"
#include "bases/globals/globals.h"
#include "bases/host/host.h"
#include "kelvo/kelvo.h"
#include "tool/load/fpga_head.h"
#include "tool/load/load_log.h"

SpiFlashGeometry g_spiGeometry;

GLOBALS_RESET(spi_flash)
{
    g_spiGeometry = SpiFlashGeometry{};
}

namespace {

constexpr const char *kOpenDev = "open flash device file fail!\n";
constexpr const char *kOpenDevNoEol = "open flash device file fail!";
constexpr const char *kOpenFlash = "open flash fail!\n";

// A request refused with ENOTTY where that means "no answer" (capacity,
// chip information).
constexpr int kNoAnswer = 1;
constexpr int64_t kHeadCopySector = 0x10000;
constexpr uint32_t kTestChunk = 256;
constexpr useconds_t kChunkPauseUs = 10000;

struct ReqStyle {
    const char *openFail = kOpenFlash;
    bool iretLine = false;  // "ioctl error, iret=%d" in place of the errno line
    bool nottyIsNoAnswer = false;
};

uint64_t addr_of(const void *p) { return reinterpret_cast<uintptr_t>(p); }

int flash_open(const ReqStyle &style)
{
    int fd = host_open(SPI_FLASH_NODE, O_RDWR);
    if (fd < 0)
        LOAD_ERR("%s", style.openFail);
    return fd < 0 ? -1221 : fd;
}

// One request on an open node: 0, kNoAnswer, or the ioctl's result.
int flash_ioctl(int fd, unsigned long request, SpiFlashReq &rec, const ReqStyle &style)
{
    int ret = host_ioctl(fd, request, &rec);
    if (ret >= 0)
        return 0;
    int err = errno;
    if (style.nottyIsNoAnswer && err == ENOTTY)
        return kNoAnswer;
    if (style.iretLine)
        LOAD_ERR("ioctl error, iret=%d\n", ret);
    else
        LOAD_ERR("ioctl error, errno = %d(%s)\n", err, std::strerror(err));
    return ret;
}

int flash_request(unsigned long request, SpiFlashReq rec, const ReqStyle &style = {})
{
    int fd = flash_open(style);
    if (fd < 0)
        return fd;
    int ret = flash_ioctl(fd, request, rec, style);
    host().close(fd);
    return ret;
}

int flash_transfer(uint32_t flash, uint32_t op, uint32_t address, uint32_t length, uint64_t buffer)
{
    SpiFlashParam param{address, length, buffer};
    return flash_request(SPI_FLASH_TRANSFER, SpiFlashReq{flash, op, addr_of(&param), 0});
}

// Flag requests: a block whose buffer field points at the u32 answer.
int flash_flag_request(unsigned long request, uint32_t flash, uint32_t *flag)
{
    if (flag == nullptr) {
        LOAD_ERR("flag is null!\n");
        return -1201;
    }
    uint32_t value = 0;
    SpiFlashParam param{0, 0, addr_of(&value)};
    int ret = flash_request(request, SpiFlashReq{flash, 0, addr_of(&param), 0});
    if (ret == 0)
        *flag = value;
    return ret;
}

// Chip information on the node begin opened; the large-sector chip sets
// the geometry for the rest of the run.
int flash_chip_info(int fd, uint32_t flash)
{
    uint8_t id[SPI_FLASH_CHIP_ID_LEN] = {};
    SpiFlashParam param{0, 0, addr_of(id)};
    SpiFlashReq rec{flash, 0, addr_of(&param), 0};
    int ret = flash_ioctl(fd, SPI_FLASH_CHIP_INFO, rec, ReqStyle{kOpenDev, false, true});
    if (ret == kNoAnswer)
        return 0;
    if (ret == 0 && std::memcmp(id, gstSpiInfo.id, gstSpiInfo.idLength) == 0)
        g_spiGeometry = SpiFlashGeometry{gstSpiInfo.sectorSize, gstSpiInfo.writeBufSize};
    return ret;
}

bool flash_id_ok(int32_t flash)
{
    if (flash == 0 || flash == 1)
        return true;
    LOAD_ERR("Input flash [%d] choice wrong\n", flash);
    return false;
}

// Begin, the work, end. End follows every successful begin; the status is
// the first failure's.
template <typename Work> int flash_bracket(uint32_t flash, Work work)
{
    int ret = flash_begin(flash);
    if (ret != 0) {
        LOAD_ERR("Flash begin set error, ret = %d\n", ret);
        return -1237;
    }
    int status = work();
    ret = flash_end(flash);
    if (ret != 0) {
        LOAD_ERR("Flash end set error, ret = %d\n", ret);
        if (status == 0)
            status = -1220;
    }
    return status;
}

using Buffer = std::unique_ptr<uint8_t[]>;

Buffer allocate(uint64_t size)
{
    Buffer buf(new (std::nothrow) uint8_t[size]);
    if (!buf)
        LOAD_ERR("No memory for reading logic file\n");
    return buf;
}

void reverse_if_type1(uint8_t *buf, size_t len, uint32_t fpgaType)
{
    if (fpgaType == 1)
        data_change_order(buf, len);
}

int percent(uint64_t done, uint64_t total) { return static_cast<int>(done * 100 / total + 1); }

}  // namespace

// Tries the head at FLASH_HEAD_ADDR (when it lies inside the flash), then
// the copy at capacity - 104. 0 with the first head that passes
// verification; a read's status; or -1312 when neither location holds one.
int flash_find_head(uint32_t flash, uint32_t fpgaType, uint32_t capacity, bool versionLine, fhead &out)
{
    const uint64_t locations[2] = {FLASH_HEAD_ADDR, uint64_t{capacity} - FHEAD_SIZE};
    int wrongFlags = 0;
    uint32_t flag = 0;
    for (uint64_t at : locations) {
        if (capacity < FHEAD_SIZE || at + FHEAD_SIZE > capacity) {
            wrongFlags++;
            continue;
        }
        fhead head{};
        auto *bytes = reinterpret_cast<uint8_t *>(&head);
        int ret = flash_read_data(static_cast<uint32_t>(at), bytes, FHEAD_SIZE, flash);
        if (ret != 0) {
            if (versionLine)
                LOAD_ERR("Read flash file version error, ret = %d\n", ret);
            else
                LOAD_ERR("Read flash addr = 0x%x size = 0x%x error\n", static_cast<uint32_t>(at), FHEAD_SIZE);
            return ret;
        }
        reverse_if_type1(bytes, FHEAD_SIZE, fpgaType);
        flag = head.ValidateFlag;
        if (flag != FHEAD_FLAG) {
            wrongFlags++;
            continue;
        }
        if (flash_file_head_verify(&head, capacity, g_spiGeometry.guiSpiSectorSize) == 0) {
            out = head;
            return 0;
        }
    }
    if (wrongFlags == 2)
        LOAD_ERR("Input file ValidateFlag [0x%x],[0x%x] error,right file ValidateFlag [0x55aa55aa]\n", flag, flag);
    LOAD_ERR("Flash file head error\n");
    return -1312;
}

namespace {

// Reads the whole file at `fd` into a new buffer of `length` bytes.
int read_image(int fd, const char *path, uint8_t *buf, uint64_t length)
{
    uint64_t got = 0;
    while (got < length) {
        ssize_t n = host().read(fd, buf + got, static_cast<size_t>(length - got));
        if (n <= 0)
            break;
        got += static_cast<uint64_t>(n);
    }
    if (got == length)
        return 0;
    LOAD_ERR("Read file %s failed\n", path);
    return -1218;
}

// Opens, sizes and reads the image file: 0 with buf and length set.
int load_image_file(const char *path, uint32_t capacity, Buffer &buf, uint64_t &length)
{
    int fd = host_open(path, O_RDONLY);
    if (fd < 0) {
        LOAD_ERR("Open %s failed\n", path);
        return -1221;
    }
    LOAD_INFO("File_fd is %d\n", fd);
    struct stat st {};
    int status = 0;
    if (host().fstat(fd, &st) != 0) {
        LOAD_ERR("stat of file %s failed\n", path);
        status = -1202;
    } else if (int64_t{st.st_size} > int64_t{capacity} - FLASH_RESERVED) {
        LOAD_ERR("fl_size is %ld, file size is too long!\n", static_cast<long>(st.st_size));
        status = -1338;
    } else if (st.st_size < static_cast<off_t>(FHEAD_SIZE)) {
        LOAD_ERR("fl_size is %ld, file size is too short!\n", static_cast<long>(st.st_size));
        status = -1338;
    } else {
        length = static_cast<uint64_t>(st.st_size);
        LOAD_INFO("Size of logic file = %d\n", static_cast<int>(length));
        buf = allocate(length);
        status = buf ? read_image(fd, path, buf.get(), length) : -1209;
    }
    host().close(fd);
    return status;
}

// Erases and writes sector by sector from address 0.
int write_sectors(const uint8_t *buf, uint32_t length, uint32_t flash)
{
    const uint32_t sector = g_spiGeometry.guiSpiSectorSize;
    const uint32_t count = length / sector + (length % sector != 0);
    const uint32_t last = length % sector;
    const uint32_t start = 0;
    LOAD_INFO("write_flash_times is %d size_last_write is %d\n", count, last);
    for (uint32_t i = 0; i < count; i++) {
        const uint32_t at = start + i * sector;
        const bool partial = i == count - 1 && last != 0;
        int ret = flash_erase_sector(at, flash);
        if (ret != 0) {
            if (partial)
                LOAD_ERR("flash_erase_sector(0x%x) error, ret = %d\n", start, ret);
            else
                LOAD_ERR("erase flash last sector (0x%x) error, ret = %d\n", start, ret);
            return -1303;
        }
        ret = flash_write_buffer(at, buf + at, partial ? last : sector, flash);
        if (ret != 0) {
            LOAD_ERR("write flash [%d] addr:0x%x fail! ret = %d", flash, at, ret);
            return partial ? -1301 : ret;
        }
        std::printf("\rInfo: write progress[%d%%]", percent(uint64_t{i} * sector, length));
        std::fflush(stdout);
    }
    return 0;
}

// The head copy in the last 104 bytes of the flash.
int write_head_copy(const uint8_t *buf, uint32_t length, uint32_t capacity, uint32_t flash)
{
    const uint32_t sector = g_spiGeometry.guiSpiSectorSize;
    const uint32_t count = length / sector + (length % sector != 0);
    const auto eraseAt = static_cast<uint32_t>(int64_t{capacity} - kHeadCopySector);
    int ret = flash_erase_sector(eraseAt, flash);
    if (ret != 0) {
        LOAD_ERR("erase flash last sector (0x%x) error, ret = %d\n", eraseAt, ret);
        return -1303;
    }
    ret = flash_write_buffer(capacity - FHEAD_SIZE, buf + length - FHEAD_SIZE, FHEAD_SIZE, flash);
    if (ret != 0) {
        LOAD_ERR("write flash [%d] addr:0x%x fail! ret = %d", flash, count * sector, ret);
        return ret;
    }
    LOAD_INFO("write file to flash is finish!");
    return 0;
}

int read_sectors(uint8_t *buf, uint32_t length, uint32_t flash)
{
    const uint32_t sector = g_spiGeometry.guiSpiSectorSize;
    const uint32_t count = length / sector + (length % sector != 0);
    KelvoErr cleared = memset_s(buf, length, 0, length);
    if (cleared != 0)
        LOAD_ERR("call memset_s fail, error=%d", static_cast<int>(cleared));
    for (uint32_t i = 0; i < count; i++) {
        const uint32_t at = i * sector;
        const uint32_t size = i == count - 1 && length % sector != 0 ? length % sector : sector;
        int ret = flash_read_data(at, buf + at, size, flash);
        if (ret != 0) {
            LOAD_ERR("read logic file %d time error, ret = %d\n", i, ret);
            return ret;
        }
        std::printf("\rInfo: read progres[%d%%]", percent(uint64_t{at}, length));
        std::fflush(stdout);
    }
    std::printf("read file from flash finish!\n");
    return 0;
}

// The read-back image against the CRC its head holds.
int verify_read_back(const uint8_t *buf, uint32_t length)
{
    fhead head{};
    KelvoErr copied = memcpy_s(&head, sizeof head, buf + length - FHEAD_SIZE, FHEAD_SIZE);
    if (copied != 0)
        LOAD_ERR("call memcpy_s fail, error=%d", static_cast<int>(copied));
    if (head.ulAddrOffset >= length) {
        LOAD_ERR("file_len is error! file_len is %d, but fhead.ulAddrOffset is %d\n", static_cast<int>(length),
                 static_cast<int>(head.ulAddrOffset));
        return -1313;
    }
    uint32_t crc = 0;
    int ret = flash_calculate_crc(buf, length - head.ulAddrOffset, g_spiGeometry.guiSpiSectorSize, &crc);
    if (ret != 0) {
        LOAD_ERR("get crc code error, ret = %d\n", ret);
        return ret;
    }
    if (crc != head.fileCrc) {
        LOAD_ERR("crc_new: 0x%x, crc_old: 0x%x\n", crc, head.fileCrc);
        return -1313;
    }
    LOAD_INFO("Write logic to flash OK\n");
    return 0;
}

// Reads size + ulAddrOffset bytes in 256-byte chunks, pausing after each.
int read_chunks(uint8_t *buf, uint32_t total, uint32_t flash)
{
    uint32_t at = 0;
    int ret = 0;
    for (; ret == 0 && total - at >= kTestChunk; at += kTestChunk) {
        ret = flash_read_data(at, buf + at, kTestChunk, flash);
        host().usleep(kChunkPauseUs);
    }
    if (ret == 0 && total > at)
        ret = flash_read_data(at, buf + at, total - at, flash);
    if (ret != 0)
        LOAD_ERR("Read flash addr=0x%x size=0x%x error\n", 0u, total);
    return ret;
}

int cap_or_line(uint32_t flash, uint32_t &capacity)
{
    int ret = flash_get_cap(flash, &capacity);
    if (ret != 0)
        LOAD_ERR("get flash (%d) cap error, (0x%x)\n", flash, capacity);
    return ret;
}

}  // namespace

// ---- driver requests ----------------------------------------------------------------

int flash_begin(uint32_t flash)
{
    int fd = flash_open(ReqStyle{kOpenDev});
    if (fd < 0)
        return fd;
    SpiFlashReq rec{flash, 0, 0, 0};
    int ret = flash_ioctl(fd, SPI_FLASH_BEGIN, rec, ReqStyle{kOpenDev});
    if (ret == 0) {
        ret = flash_chip_info(fd, flash);
        if (ret != 0) {  // access was opened: close it again
            SpiFlashReq end{flash, 0, 0, 0};
            flash_ioctl(fd, SPI_FLASH_END, end, ReqStyle{kOpenDev});
        }
    }
    host().close(fd);
    return ret;
}

int flash_end(uint32_t flash) { return flash_request(SPI_FLASH_END, {flash, 0, 0, 0}, ReqStyle{kOpenDevNoEol}); }
int flash_erase_bulk(uint32_t flash) { return flash_request(SPI_FLASH_BULK_ERASE, {flash, 0, 0, 0}, ReqStyle{kOpenDev}); }
int flash_load_fpga(uint32_t flash) { return flash_request(SPI_FLASH_LOAD_FPGA, {flash, 0, 0, 0}, ReqStyle{kOpenDev}); }

int flash_erase_sector(uint32_t address, uint32_t flash)
{
    return flash_transfer(flash, SPI_FLASH_OP_ERASE, address, 0, 0);
}

int flash_write_buffer(uint32_t address, const uint8_t *buffer, uint32_t length, uint32_t flash)
{
    if (buffer == nullptr) {
        LOAD_ERR("pdata is null!\n");
        return -1201;
    }
    return flash_transfer(flash, SPI_FLASH_OP_WRITE, address, length, addr_of(buffer));
}

int flash_read_data(uint32_t address, uint8_t *buffer, uint32_t length, uint32_t flash)
{
    if (buffer == nullptr) {
        LOAD_ERR("pdata is null!\n");
        return -1201;
    }
    return flash_transfer(flash, SPI_FLASH_OP_READ, address, length, addr_of(buffer));
}

int flash_get_cap(uint32_t flash, uint32_t *capacity)
{
    if (capacity == nullptr)
        return -1201;
    uint32_t value = 0;
    int ret = flash_request(SPI_FLASH_CAPACITY, {flash, 0, addr_of(&value), 0}, ReqStyle{kOpenFlash, false, true});
    if (ret == kNoAnswer)
        value = SPI_FLASH_DEFAULT_CAP, ret = 0;
    if (ret == 0)
        *capacity = value;
    return ret;
}

int flash_load_type(uint32_t flash, uint32_t loadType)
{
    if (flash > 1) {
        LOAD_ERR("uiFlashId[%d] is wrong! \n", flash);
        return -1202;
    }
    if (loadType > 2) {
        LOAD_ERR("uiLoadType[%d] is wrong!\n", loadType);
        return -1202;
    }
    SpiFlashParam param{loadType, 0, 0};
    return flash_request(SPI_FLASH_LOAD_TYPE, {flash, 0, addr_of(&param), 0}, ReqStyle{kOpenFlash, true});
}

int flash_get_fpga_flag(uint32_t flash, uint32_t *flag) { return flash_flag_request(SPI_FLASH_DONE_FLAG, flash, flag); }

int ruda_get_app_fpga_flag(uint32_t flash, uint32_t *flag)
{
    if (flash > 1) {
        LOAD_ERR("Input flash[%d] choice wrong\n", flash);
        return -1331;
    }
    return flash_flag_request(SPI_FLASH_APP_FLAG, flash, flag);
}

int ruda_clear_app_done_flag(uint32_t flash)
{
    if (flash > 1) {
        LOAD_ERR("Input flash[%d] choice wrong\n", flash);
        return -1331;
    }
    SpiFlashParam param{0, 0, 0};
    return flash_request(SPI_FLASH_CLEAR_APP_DONE, {flash, 0, addr_of(&param), 0});
}

int ruda_get_fpga_flag(uint32_t number, uint32_t *flag)
{
    if (number != 1 && number != 2) {
        LOAD_ERR("Input flash[%d] choice wrong\n", static_cast<int>(number - 1));
        return -1331;
    }
    int ret = flash_get_fpga_flag(number - 1, flag);
    if (ret != 0)
        LOAD_ERR("Get fpga [%d] done_flag error, ret = %d\n", number - 1, ret);
    return ret;
}

// ---- store operations -----------------------------------------------------------------

int fpga_load(const char *path, uint32_t flash, uint32_t fpgaType)
{
    LOAD_INFO("Begin to write logic to flash\n");
    uint32_t capacity = 0;
    int ret = flash_get_cap(flash, &capacity);
    if (ret != 0) {
        LOAD_ERR("get flash %d cap error, (0x%x)\n", flash, capacity);
        return ret;
    }
    Buffer buf;
    uint64_t length64 = 0;
    ret = load_image_file(path, capacity, buf, length64);
    if (ret != 0)
        return ret;
    const auto length = static_cast<uint32_t>(length64);  // below the capacity
    ret = fpga_file_check(buf.get(), length - FHEAD_SIZE, capacity, g_spiGeometry.guiSpiSectorSize);
    if (ret != 0) {
        LOAD_ERR("Fpga file crc check error, please check your file, ret = %d\n", ret);
        return ret;
    }
    reverse_if_type1(buf.get(), length, fpgaType);
    if ((ret = write_sectors(buf.get(), length, flash)) != 0 ||
        (ret = write_head_copy(buf.get(), length, capacity, flash)) != 0 ||
        (ret = read_sectors(buf.get(), length, flash)) != 0)
        return ret;
    reverse_if_type1(buf.get(), length, fpgaType);
    return verify_read_back(buf.get(), length);
}

int flash_ver(uint32_t *version, uint32_t flash, uint32_t fpgaType)
{
    uint32_t capacity = 0;
    int ret = cap_or_line(flash, capacity);
    fhead head{};
    if (ret != 0 || (ret = flash_find_head(flash, fpgaType, capacity, true, head)) != 0)
        return ret;
    *version = head.version;
    LOAD_INFO("FPGA Flash Base version: %d \n", static_cast<int>(head.version));
    return 0;
}

int flash_test(uint32_t flash, uint32_t fpgaType)
{
    uint32_t capacity = 0;
    int ret = cap_or_line(flash, capacity);
    fhead head{};
    if (ret != 0 || (ret = flash_find_head(flash, fpgaType, capacity, false, head)) != 0)
        return ret;
    const uint64_t total = uint64_t{head.size} + head.ulAddrOffset;
    LOAD_INFO("File size = %d\n", static_cast<int>(total));
    if (head.ulAddrOffset < FHEAD_SIZE) {
        LOAD_ERR("file_len is error! file_len is %d, but fhead.ulAddrOffset is %d\n", static_cast<int>(head.size),
                 static_cast<int>(head.ulAddrOffset));
        return -1338;
    }
    if (static_cast<int64_t>(total) > int64_t{capacity} - FLASH_RESERVED) {
        LOAD_ERR("file size bigger than flash size, file size is 0x%x\n", static_cast<uint32_t>(total));
        return -1205;
    }
    Buffer buf = allocate(total);
    if (!buf)
        return -1209;
    const auto size = static_cast<uint32_t>(total);
    KelvoErr cleared = memset_s(buf.get(), size, 0, size);
    if (cleared != 0)
        LOAD_ERR("call memset_s fail, error=%d", static_cast<int>(cleared));
    if ((ret = read_chunks(buf.get(), size, flash)) != 0)
        return ret;
    reverse_if_type1(buf.get(), size, fpgaType);
    ret = fpga_file_check(buf.get(), head.size, capacity, g_spiGeometry.guiSpiSectorSize);
    if (ret != 0) {
        LOAD_ERR("Fpga file crc check error, ret = %d\n", ret);
        return ret;
    }
    LOAD_INFO("Flash test OK\n");
    return 0;
}

// ---- entry points -----------------------------------------------------------------------

int ruda_load_fpga(int32_t flash)
{
    if (!flash_id_ok(flash))
        return -1331;
    int ret = flash_load_fpga(static_cast<uint32_t>(flash));
    if (ret != 0) {
        LOAD_ERR("Load fpga [%d] file failed, ret = %d\n", flash, ret);
        return ret;
    }
    LOAD_INFO("Load fpga [%d] successful! Finish operation\n", flash);
    return 0;
}

int ruda_fpga_erase_file(int32_t flash)
{
    if (!flash_id_ok(flash))
        return -1331;
    const auto id = static_cast<uint32_t>(flash);
    int status = flash_bracket(id, [&] {
        int ret = flash_erase_bulk(id);
        if (ret != 0)
            LOAD_ERR("erase flash%d fail! ret=%d", flash, ret);
        return ret;
    });
    if (status == 0)
        LOAD_INFO("Erase bulk finish [%d] successful! Finish operation\n", flash);
    return status;
}

int ruda_fpga_load_file(int32_t flash, const char *path, uint32_t fpgaType, uint32_t loadType)
{
    if (path == nullptr) {
        LOAD_ERR("Input parameter data err, filename pointer is NULL\n");
        return -1201;
    }
    if (loadType > 2) {
        LOAD_ERR("falsh load type[%d] error!\n", loadType);
        return -1202;
    }
    if (!flash_id_ok(flash))
        return -1331;
    if (fpgaType > 1) {
        LOAD_ERR("Fpga Type unkwon!\n");
        return -1202;
    }
    const auto id = static_cast<uint32_t>(flash);
    int status = flash_bracket(id, [&] {
        int ret = flash_load_type(id, loadType);
        if (ret != 0)
            LOAD_ERR("set flash type[%d] fail! ret=%d\n ", loadType, ret);
        return fpga_load(path, id, fpgaType);
    });
    if (status == 0)
        LOAD_INFO("Updata flash [%d] successful! Finish operation\n", flash);
    return status;
}

int ruda_get_spi_flash_ver(int32_t flash, uint32_t *version, uint32_t fpgaType)
{
    if (!flash_id_ok(flash))
        return -1331;
    if (fpgaType > 1) {
        LOAD_ERR("Fpga Type unkwon!\n");
        return -1202;
    }
    if (version == nullptr) {
        LOAD_ERR("Input parameter data err, filename pointer is NULL\n");
        return -1201;
    }
    const auto id = static_cast<uint32_t>(flash);
    int status = flash_bracket(id, [&] {
        int ret = flash_ver(version, id, fpgaType);
        if (ret != 0)
            LOAD_ERR("Get flash version failed, ret = %d\n", ret);
        return ret;
    });
    if (status == 0)
        LOAD_INFO("Get flash [%d] version [%d] successful! Finish operation\n", flash, static_cast<int>(*version));
    return status;
}

int ruda_flash_test(int32_t flash, uint32_t fpgaType)
{
    if (!flash_id_ok(flash))
        return -1331;
    if (fpgaType > 1) {
        LOAD_ERR("Input fpga type [%d] wrong!\n", fpgaType);
        return -1202;
    }
    const auto id = static_cast<uint32_t>(flash);
    int status = flash_bracket(id, [&] {
        int ret = flash_test(id, fpgaType);
        if (ret != 0)
            LOAD_ERR("Test flash logic file failed, ret = %d\n", ret);
        return ret;
    });
    if (status == 0)
        LOAD_INFO("Test finish [%d] successful! Finish operation\n", flash);
    return status;
}

int ruda_get_flash_filename(int32_t flash, char *name, uint32_t fpgaType)
{
    if (!flash_id_ok(flash))
        return -1331;
    if (fpgaType > 1) {
        LOAD_ERR("Fpga Type unkwon!\n");
        return -1202;
    }
    if (name == nullptr) {
        LOAD_ERR("Input parameter data err, filename pointer is NULL\n");
        return -1201;
    }
    const auto id = static_cast<uint32_t>(flash);
    uint32_t capacity = 0;
    int ret = cap_or_line(id, capacity);
    if (ret != 0)
        return ret;
    fhead head{};
    int status = flash_bracket(id, [&] { return flash_find_head(id, fpgaType, capacity, false, head); });
    if (status != 0)
        return status;
    head.name[31] = '\0';
    KelvoErr copied = strncpy_s(name, 32, head.name, 31);
    if (copied != 0)
        LOAD_ERR("call strncpy_s fail, error=%d", static_cast<int>(copied));
    return 0;
}

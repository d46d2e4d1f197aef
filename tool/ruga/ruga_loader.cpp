#include "tool/ruga/ruga_loader.h"

#include <cstdio>
#include <memory>
#include <new>

#include "bases/host/host.h"
#include "kelvo/kelvo.h"
#include "tool/load/fpga_head.h"
#include "tool/load/load_log.h"
#include "tool/load/spi_flash.h"

namespace {

constexpr uint32_t kChunk = 512;

int read_flash(uint8_t *buf, uint32_t total)
{
    uint32_t at = 0;
    for (; total - at >= kChunk; at += kChunk) {
        int ret = flash_read_data(at, buf + at, kChunk, 0);
        if (ret != 0) {
            LOAD_ERR("Read flash addr=0x%x size=0x%x error\n", at, kChunk);
            return ret;
        }
    }
    if (total == at)
        return 0;
    int ret = flash_read_data(at, buf + at, total - at, 0);
    if (ret != 0)
        LOAD_ERR("Read flash addr=0x%x size=0x%x error\n", at, total - at);
    return ret;
}

int write_dump(const uint8_t *image, const fhead &head)
{
    FILE *file = host().fopen(RUGA_DUMP_FILE, "wb");
    if (file == nullptr) {
        LOAD_ERR("open file (%s) fail\n", RUGA_DUMP_FILE);
        return -1221;
    }
    int ret = 0;
    if (std::fwrite(image, 1, head.size, file) != head.size) {
        LOAD_ERR("write data to file fail\n");
        ret = -1218;
    } else if (std::fseek(file, static_cast<long>(head.size), SEEK_SET) != 0) {
        LOAD_ERR("seek file fail\n");
        ret = -1222;
    } else if (std::fwrite(&head, 1, FHEAD_SIZE, file) != FHEAD_SIZE) {
        LOAD_ERR("write data to file fail\n");
        ret = -1218;
    } else if ((ret = std::fflush(file)) != 0) {
        LOAD_ERR("flush data to file fail\n");
    }
    std::fclose(file);
    return ret;
}

// Between begin and end: the head, the image below it, the file.
int dump_begun(uint32_t capacity)
{
    fhead head{};
    int ret = flash_find_head(0, 0, capacity, false, head);
    if (ret != 0) {
        LOAD_ERR("Flash file head error, ret = %d\n", ret);
        return ret;
    }
    // The same rule as the flash test: the whole stretch, in 64 bits, must
    // stay below the reserved top of the flash before anything is allocated.
    const uint64_t total = uint64_t{head.size} + head.ulAddrOffset;
    if (head.ulAddrOffset < FHEAD_SIZE) {
        LOAD_ERR("file_len is error! file_len is %d, but fhead.ulAddrOffset is %d\n", static_cast<int>(head.size),
                 static_cast<int>(head.ulAddrOffset));
        return -1338;
    }
    if (static_cast<int64_t>(total) > int64_t{capacity} - FLASH_RESERVED) {
        LOAD_ERR("file size bigger than flash size, file size is 0x%x\n", static_cast<uint32_t>(total));
        return -1205;
    }
    std::unique_ptr<uint8_t[]> buf(new (std::nothrow) uint8_t[total]);
    if (!buf) {
        LOAD_ERR("No memory for reading logic file\n");
        return -1209;
    }
    const auto size = static_cast<uint32_t>(total);
    KelvoErr cleared = memset_s(buf.get(), size, 0, size);
    if (cleared != 0) {
        LOAD_ERR("call memset_s fail\n");
        return cleared;
    }
    if ((ret = read_flash(buf.get(), size)) != 0)
        return ret;
    return write_dump(buf.get(), head);
}

}

int ruga_get_flash_boot_logic_ver(uint32_t *version)
{
    if (version == nullptr || ruda_get_spi_flash_ver(0, version, 0) != 0) {
        LOAD_ERR("get boot logic version fail\n");
        return -1200;
    }
    LOAD_INFO("RUGA flash boot logic version: %d\n", static_cast<int>(*version));
    return 0;
}

int ruga_dump_boot_logic()
{
    uint32_t capacity = 0;
    int ret = flash_get_cap(0, &capacity);
    if (ret != 0) {
        LOAD_ERR("get flash cap error, (0x%x)\n", static_cast<unsigned>(ret));
        return ret;
    }
    if ((ret = flash_begin(0)) != 0) {
        LOAD_ERR("flash begin error\n");
        return ret;
    }
    ret = dump_begun(capacity);
    flash_end(0);
    return ret;
}

#include "tool/load/fpga_head.h"

#include <algorithm>
#include <cstring>

#include "bases/crc/crc16.h"
#include "bases/host/host.h"
#include "kelvo/kelvo.h"
#include "tool/load/load_log.h"

namespace {

constexpr useconds_t kCrcPauseUs = 10000;

uint32_t word_at(const uint8_t *p, size_t offset)
{
    uint32_t v;
    std::memcpy(&v, p + offset, sizeof v);
    return v;
}

// Steps 5 to 7 of the image checks: offset rule, then the data part's CRC.
int check_image_crc(const uint8_t *image, uint32_t dataLength, uint32_t sectorSize, const fhead &head)
{
    if (dataLength <= head.ulAddrOffset) {
        LOAD_ERR("file_len is error! file_len is %d, but fhead.ulAddrOffset is %d\n",
                 static_cast<int>(dataLength), static_cast<int>(head.ulAddrOffset));
        return -1338;
    }
    uint32_t crc = 0;
    int ret = flash_calculate_crc(image, dataLength, sectorSize, &crc);
    if (ret != 0) {
        LOAD_ERR("Get file CRC failed\n");
        return ret;
    }
    LOAD_INFO("buf_crc [0x%x], file_CRC [0x%x]\n", head.fileCrc, crc);
    if (crc != head.fileCrc) {
        LOAD_ERR("buf_crc [0x%x], file_CRC [0x%x]\n", head.fileCrc, crc);
        return -1313;
    }
    return 0;
}

// Flag and type rules shared by both head layouts.
int verify_head_words(uint32_t flag, uint32_t type)
{
    if (flag != FHEAD_FLAG) {
        LOAD_ERR("Input file ValidateFlag [0x%x] error,right file ValidateFlag [0x55aa55aa]\n", flag);
        return -1317;
    }
    if (type != FHEAD_TYPE) {
        LOAD_ERR("Input file type [0x%x] error,right file type [0x90]\n", type);
        return -1315;
    }
    return 0;
}

// Only a head whose CRC flag is set carries a CRC to compare.
int verify_head_crc(uint32_t crcFlag, const uint8_t *bytes, size_t len, uint32_t stored, bool withValues,
                    uint32_t sectorSize)
{
    if (crcFlag != FHEAD_FLAG)
        return 0;
    // The same paced routine as the file CRC; it cannot refuse a head.
    uint32_t crc = 0;
    (void)flash_calculate_crc(bytes, static_cast<uint32_t>(len), sectorSize, &crc);
    if (crc == stored)
        return 0;
    if (withValues)
        LOAD_ERR("file head check sum error, calc(0x%x), flash(0x%x)\n", crc, stored);
    else
        LOAD_ERR("file head check sum error\n");
    return -1313;
}

}  // namespace

int flash_calculate_crc(const uint8_t *data, uint32_t length, uint32_t sectorSize, uint32_t *out)
{
    if (data == nullptr || out == nullptr || length == 0)
        return -1201;
    // A pause falls before byte p whenever length - 1 - p is a multiple of
    // the sector size: at (length - 1) % sector and every sector after.
    const uint32_t sector = sectorSize;
    uint64_t at = (length - 1) % sector;
    uint16_t crc = crc16_update(0, data, static_cast<size_t>(at));
    for (; at < length; at += sector) {
        host().usleep(kCrcPauseUs);
        crc = crc16_update(crc, data + at, static_cast<size_t>(std::min<uint64_t>(sector, length - at)));
    }
    *out = crc;
    return 0;
}

uint8_t bit_change_order(uint8_t byte)
{
    uint8_t out = 0;
    for (int i = 0; i < 8; i++)
        if (byte & (1u << i))
            out = static_cast<uint8_t>(out | (0x80u >> i));
    return out;
}

uint8_t *data_change_order(uint8_t *buffer, size_t length)
{
    if (buffer == nullptr) {
        LOAD_ERR("data is null!\n");
        return nullptr;
    }
    for (size_t i = 0; i < length; i++)
        buffer[i] = bit_change_order(buffer[i]);
    return buffer;
}

int flash_file_head_verify(const fhead *head, uint32_t capacity, uint32_t sectorSize)
{
    if (head == nullptr) {
        LOAD_ERR("flash_head is null!\n");
        return -1201;
    }
    int ret = verify_head_words(head->ValidateFlag, head->type);
    if (ret != 0)
        return ret;
    if (int64_t{head->size} > int64_t{capacity} - FLASH_RESERVED) {
        LOAD_ERR("Input file size error\n");
        return -1205;
    }
    return verify_head_crc(head->headCrcFlag, reinterpret_cast<const uint8_t *>(head), offsetof(fhead, headCrcFlag) + 4,
                           head->headCrc, true, sectorSize);
}

int fpga_file_check(const uint8_t *image, uint32_t dataLength, uint32_t capacity, uint32_t sectorSize)
{
    if (image == nullptr) {
        LOAD_ERR("Input parameter file_buf is NULL\n");
        return -1201;
    }
    fhead head{};
    KelvoErr copied = memcpy_s(&head, sizeof head, image + dataLength, FHEAD_SIZE);
    if (copied != 0)
        LOAD_ERR("call memcpy_s fail, error=%d", static_cast<int>(copied));
    int ret = flash_file_head_verify(&head, capacity, sectorSize);
    if (ret != 0) {
        LOAD_ERR("Flash file head check error, ret = %d\n", ret);
        return ret;
    }
    return check_image_crc(image, dataLength, sectorSize, head);
}

int ruga_fpga_file_check(const uint8_t *image, uint32_t dataLength, uint32_t capacity, uint32_t sectorSize)
{
    if (image == nullptr) {
        LOAD_ERR("Input parameter file_buf is NULL\n");
        return -1201;
    }
    fhead head{};
    KelvoErr copied = memcpy_s(&head, sizeof head, image + dataLength, FHEAD_SIZE);
    if (copied != 0) {
        LOAD_ERR("call memcpy_s error\n");
        return static_cast<int>(copied);
    }
    int ret = flash_file_head_verify(&head, capacity, sectorSize);
    if (ret != 0) {
        LOAD_ERR("Flash file head check error, iRet = %d\n", ret);
        return ret;
    }
    return check_image_crc(image, dataLength, sectorSize, head);
}

int ruga_file_head_verify(const uint8_t *head, uint32_t sectorSize)
{
    if (head == nullptr) {
        LOAD_ERR("flash_head is null!\n");
        return -1201;
    }
    int ret = verify_head_words(word_at(head, 0), word_at(head, 120));
    if (ret != 0)
        return ret;
    return verify_head_crc(word_at(head, 164), head, 168, word_at(head, 168), false, sectorSize);
}

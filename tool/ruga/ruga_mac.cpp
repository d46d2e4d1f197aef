#include "tool/ruga/ruga_mac.h"

#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>

#include "kelvo/kelvo.h"
#include "tool/load/fpga_head.h"
#include "tool/load/load_log.h"
#include "tool/load/spi_flash.h"

namespace {

constexpr uint32_t kAreaSize = sizeof(mac_area);
constexpr uint32_t kCrcFrom = 8;
constexpr int kBadInput = -1200;
constexpr const char *kParseFail = "parse mac address error, check your input mac address again\n";

uint8_t *bytes_of(mac_area *area) { return reinterpret_cast<uint8_t *>(area); }

int copy_address(uint32_t capacity, uint32_t below) { return static_cast<int>(capacity - below); }

// Ends flash access after a step's outcome: the step's failure wins.
int end_with(int status)
{
    int ret = flash_end(0);
    if (status != 0)
        return status;
    if (ret != 0) {
        LOAD_ERR("Flash end set error, ret = %d\n", ret);
        return -1220;
    }
    return 0;
}

int begin_flash()
{
    int ret = flash_begin(0);
    if (ret != 0) {
        LOAD_ERR("Flash begin set error, ret = %d\n", ret);
        return -1237;
    }
    return 0;
}

// One field of at most two characters into mac[5 - k], base 16.
int put_field(const char *field, size_t length, uint8_t *slot)
{
    char buf[3] = {};
    KelvoErr copied = strncpy_s(buf, sizeof(buf), field, length);
    if (copied != 0) {
        LOAD_ERR("call strncpy_s error!\n");
        return copied;
    }
    *slot = static_cast<uint8_t>(std::strtol(buf, nullptr, 16));
    return 0;
}

int parse_plain(const char *text, uint8_t mac[6])
{
    if (std::strlen(text) != 12) {
        LOAD_ERR("%s", kParseFail);
        return kBadInput;
    }
    for (int k = 0; k < 6; k++) {
        int ret = put_field(text + 2 * k, 2, &mac[5 - k]);
        if (ret != 0)
            return ret;
    }
    return 0;
}

int parse_fields(const char *text, uint8_t mac[6])
{
    const char *at = text;
    for (int k = 0; k < 6; k++) {
        if (at == nullptr) {
            LOAD_ERR("%s", kParseFail);
            return kBadInput;
        }
        const char *colon = std::strchr(at, ':');
        size_t length = colon ? static_cast<size_t>(colon - at) : std::strlen(at);
        int ret = put_field(at, length, &mac[5 - k]);
        if (ret != 0)
            return ret;
        at = colon ? colon + 1 : nullptr;
    }
    return 0;
}

int flash0_capacity(uint32_t &capacity)
{
    int ret = flash_get_cap(0, &capacity);
    if (ret != 0)
        LOAD_ERR("get flash 0 cap error, (0x%x)\n", static_cast<unsigned>(ret));
    return ret;
}

int index_ok(uint32_t index)
{
    if (index < RUGA_MAC_COUNT)
        return 0;
    LOAD_ERR("please input mac index, it must be less then %d\n", static_cast<int>(RUGA_MAC_COUNT));
    return kBadInput;
}

// "FLASH 0 ..." for copy 1, "FLASH 1 ..." for copy 2.
void print_entry(int copy, uint32_t index, const uint8_t *e)
{
    LOAD_INFO("FLASH %d MAC ADDRESS: mac index(%d), MAC(0x%02x:0x%02x:0x%02x:0x%02x:0x%02x:0x%02x)\n", copy,
              static_cast<int>(index), e[5], e[4], e[3], e[2], e[1], e[0]);
}

// Copy 1, then copy 2 when copy 1 fails; both failing leave entries of
// 0xFF over whatever the buffer holds elsewhere.
int read_for_set(uint32_t capacity, mac_area &area)
{
    if (ruga_read_mac(static_cast<uint32_t>(copy_address(capacity, RUGA_MAC_COPY1)), &area, kAreaSize) == 0)
        return 0;
    LOAD_ERR("read mac1 from flash error\n");
    KelvoErr r = memset_s(&area, kAreaSize, 0, kAreaSize);
    if (r == 0 && ruga_read_mac(static_cast<uint32_t>(copy_address(capacity, RUGA_MAC_COPY2)), &area, kAreaSize) == 0)
        return 0;
    if (r == 0) {
        LOAD_ERR("read mac2 from flash error\n");
        r = memset_s(area.mac, sizeof(area.mac), 0xFF, sizeof(area.mac));
    }
    if (r != 0)
        LOAD_ERR("call memset_s error\n");
    return r;
}

}

int ruga_calc_mac_head(mac_area *area)
{
    uint32_t crc = 0;
    int ret = flash_calculate_crc(bytes_of(area) + kCrcFrom, kAreaSize - kCrcFrom, g_spiGeometry.guiSpiSectorSize, &crc);
    if (ret != 0) {
        LOAD_ERR("check mac head crc error, calc crc error\n");
        return ret;
    }
    area->crc = crc & 0xFFFFu;
    return 0;
}

int ruga_check_mac_head(mac_area *area)
{
    if (area->flag == 0 || area->flag == 0xFFFFFFFFu) {
        area->flag = RUGA_MAC_FLAG;
        return 0;
    }
    uint32_t crc = 0;
    int ret = flash_calculate_crc(bytes_of(area) + kCrcFrom, kAreaSize - kCrcFrom, g_spiGeometry.guiSpiSectorSize, &crc);
    if (ret != 0) {
        LOAD_ERR("check mac head crc error, calc crc error\n");
        return ret;
    }
    if ((area->crc & 0xFFFFu) != (crc & 0xFFFFu)) {
        LOAD_ERR("check mac head crc error, flash(0x%04x), calc(0x%04x)\n", area->crc, crc);
        return -1313;
    }
    return 0;
}

int ruga_read_mac(uint32_t address, mac_area *area, uint32_t length)
{
    int ret = begin_flash();
    if (ret != 0)
        return ret;
    ret = flash_read_data(address, bytes_of(area), length, 0);
    if (ret != 0) {
        LOAD_ERR("read mac head from flash error, addr(0x%x)\n", address);
        return end_with(ret);
    }
    if ((ret = end_with(0)) != 0)
        return ret;
    ret = ruga_check_mac_head(area);
    if (ret != 0)
        LOAD_ERR("check mac head error, addr(0x%x)\n", address);
    return ret;
}

int ruga_write_mac(uint32_t address, const mac_area *area, uint32_t length)
{
    int ret = begin_flash();
    if (ret != 0)
        return ret;
    const uint32_t sector = g_spiGeometry.guiSpiSectorSize;
    if ((ret = flash_erase_sector(address - address % sector, 0)) != 0) {
        LOAD_ERR("erase mac1 head error\n");
        return end_with(ret);
    }
    if ((ret = flash_write_buffer(address, reinterpret_cast<const uint8_t *>(area), length, 0)) != 0) {
        LOAD_ERR("write mac1 hrad error\n");
        return end_with(ret);
    }
    mac_area back;
    KelvoErr cleared = memset_s(&back, kAreaSize, 0, kAreaSize);
    if (cleared != 0) {
        LOAD_ERR("call memset_s error\n");
        return end_with(cleared);
    }
    if ((ret = flash_read_data(address, bytes_of(&back), kAreaSize, 0)) != 0) {
        LOAD_ERR("read mac head from flash error, addr(0x%x)\n", address);
        return end_with(ret);
    }
    ret = std::memcmp(&back, area, kAreaSize);
    if (ret != 0) {
        LOAD_ERR("check write mac result error\n");
        return end_with(ret > 0 ? 1 : -1);
    }
    return end_with(0);
}

int ruga_parse_mac(const char *text, uint8_t mac[6])
{
    if (text == nullptr || mac == nullptr)
        return -1201;
    return std::strchr(text, ':') ? parse_fields(text, mac) : parse_plain(text, mac);
}

int ruga_set_mac(uint32_t index, const char *text)
{
    uint32_t capacity = 0;
    uint8_t mac[6] = {};
    int ret = index_ok(index);
    if (ret != 0 || (ret = flash0_capacity(capacity)) != 0)
        return ret;
    if ((ret = ruga_parse_mac(text, mac)) != 0) {
        LOAD_ERR("parse mac address error\n");
        return ret;
    }
    std::unique_ptr<mac_area> area(new (std::nothrow) mac_area{});
    if (!area) {
        LOAD_ERR("malloc mem fail!\n");
        return -1209;
    }
    if ((ret = read_for_set(capacity, *area)) != 0)
        return ret;
    std::memcpy(area->mac[index], mac, sizeof(mac));
    area->flag = RUGA_MAC_FLAG;
    if ((ret = ruga_calc_mac_head(area.get())) != 0)
        return ret;
    if ((ret = ruga_write_mac(static_cast<uint32_t>(copy_address(capacity, RUGA_MAC_COPY1)), area.get(), kAreaSize)) != 0) {
        LOAD_ERR("write mac1 to flash error\n");
        return ret;
    }
    if ((ret = ruga_write_mac(static_cast<uint32_t>(copy_address(capacity, RUGA_MAC_COPY2)), area.get(), kAreaSize)) != 0) {
        LOAD_ERR("write mac2 to flash error\n");
        return ret;
    }
    return 0;
}

int ruga_get_mac(uint32_t index, int both)
{
    uint32_t capacity = 0;
    int ret = index_ok(index);
    if (ret != 0 || (ret = flash0_capacity(capacity)) != 0)
        return ret;
    mac_area copy1{}, copy2{};
    bool good1 = ruga_read_mac(static_cast<uint32_t>(copy_address(capacity, RUGA_MAC_COPY1)), &copy1, kAreaSize) == 0;
    if (!good1)
        LOAD_ERR("read mac1 from flash error\n");
    bool good2 = ruga_read_mac(static_cast<uint32_t>(copy_address(capacity, RUGA_MAC_COPY2)), &copy2, kAreaSize) == 0;
    if (!good2)
        LOAD_ERR("read mac2 from flash error\n");
    if (both == 0 && (good1 || good2)) {
        print_entry(good1 ? 0 : 1, index, good1 ? copy1.mac[index] : copy2.mac[index]);
        return 0;
    }
    if (both != 0 && good1 && good2) {
        print_entry(0, index, copy1.mac[index]);
        print_entry(1, index, copy2.mac[index]);
        return 0;
    }
    LOAD_ERR("read mac address from flash error\n");
    return kBadInput;
}

// The card's RTC driver ("/dev/rtc_dev", request family 0xEF): request
// numbers and the time record, as the RTC commands send them and the
// simulated driver answers them. Little-endian; offsets in bytes.
#ifndef QUORBIX_BASES_DRV_RTC_DRV_H
#define QUORBIX_BASES_DRV_RTC_DRV_H

#include <cstddef>
#include <cstdint>

inline constexpr const char *RTC_DEV_NODE = "/dev/rtc_dev";

// Type 0xEF, read-write, size field 4.
inline constexpr unsigned long RTC_IOC_SET_TIME = 0xC004EF3CUL;       // RtcTime
inline constexpr unsigned long RTC_IOC_READ_TIME = 0xC004EF3DUL;      // 16-byte buffer, RtcTime first
inline constexpr unsigned long RTC_IOC_TEST_CHIP = 0xC004EF3EUL;      // u32 chip status, returned
inline constexpr unsigned long RTC_IOC_HW_VERSION = 0xC004EF3FUL;     // 128-byte text
inline constexpr unsigned long RTC_IOC_DRV_VERSION = 0xC004EF40UL;    // 128-byte text
inline constexpr unsigned long RTC_IOC_SET_ADJUST = 0xC004EF41UL;     // signed 64-bit value
inline constexpr unsigned long RTC_IOC_VERSION_DATE = 0xC004EF42UL;   // 128-byte text
inline constexpr unsigned long RTC_IOC_BAR_MAP_MODE = 0xC004EF46UL;   // u16, 0 or not 0

inline constexpr size_t RTC_TEXT_SIZE = 128;
inline constexpr size_t RTC_READ_SIZE = 16;

struct RtcTime {
    uint16_t year;
    uint8_t month;
    uint8_t day;
    uint8_t hour;
    uint8_t minute;
    uint8_t second;
    uint8_t zero;
    uint32_t milliseconds;
};
static_assert(sizeof(RtcTime) == 12);
static_assert(offsetof(RtcTime, year) == 0 && offsetof(RtcTime, month) == 2 && offsetof(RtcTime, day) == 3);
static_assert(offsetof(RtcTime, hour) == 4 && offsetof(RtcTime, minute) == 5 && offsetof(RtcTime, second) == 6);
static_assert(offsetof(RtcTime, zero) == 7 && offsetof(RtcTime, milliseconds) == 8);

#endif

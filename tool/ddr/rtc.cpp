#include "tool/ddr/rtc.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>

#include "bases/host/host.h"
#include "kelvo/kelvo.h"

namespace {

// The time the loop test sets before each 10-second wait.
constexpr const char *kRtcLoopReference = "2013-5-20-12-0-0-0";
constexpr unsigned kRtcLoopWait = 10;  // seconds per round

// Opens the node, sends one request and closes it again. -102 when the node
// cannot be opened; otherwise 0 with the request's result in `ret` and
// errno as the request left it.
int32_t rtc_request(unsigned long request, void *arg, int &ret)
{
    int fd = rtc_drv_open();
    if (fd < 0)
        return fd;
    ret = host_ioctl(fd, request, arg);
    int err = errno;
    rtc_drv_close(fd);
    errno = err;
    return 0;
}

// The time text scanned into `t`; the number of fields read.
int rtc_scan_time(const char *text, RtcTime &t)
{
    unsigned short year = 0;
    int month = 0, day = 0, hour = 0, minute = 0, second = 0;
    unsigned ms = 0;
    int n = sscanf_s(text, "%hu-%d-%d-%d-%d-%d-%u", &year, &month, &day, &hour, &minute, &second, &ms);
    t = RtcTime{year,
                static_cast<uint8_t>(month),
                static_cast<uint8_t>(day),
                static_cast<uint8_t>(hour),
                static_cast<uint8_t>(minute),
                static_cast<uint8_t>(second),
                0,
                ms};
    return n;
}

int32_t rtc_set_time(const RtcTime &time)
{
    RtcTime t = time;
    int ret = 0;
    int32_t status = rtc_request(RTC_IOC_SET_TIME, &t, ret);
    if (status != 0)
        return status;
    if (ret < 0) {
        std::printf("Set time err %d!\n\n", ret);
        return kRtcSetFail;
    }
    return 0;
}

// ---- the text queries ---------------------------------------------------------------------

void hw_version_failed(int ret, const char *why) { std::printf("Get fpga0 version err! ret = %d, %s\n\n", ret, why); }
void drv_version_failed(int ret, const char *why)
{
    std::printf("Get RTC driver version err! ret = %d, %s\n\n", ret, why);
}
void version_date_failed(int, const char *why) { std::printf("Get fpga0 version date err! %s\n\n", why); }

struct RtcTextQuery {
    unsigned long request;
    void (*failed)(int ret, const char *why);
};

constexpr RtcTextQuery kHwVersion = {RTC_IOC_HW_VERSION, hw_version_failed};
constexpr RtcTextQuery kDrvVersion = {RTC_IOC_DRV_VERSION, drv_version_failed};
constexpr RtcTextQuery kVersionDate = {RTC_IOC_VERSION_DATE, version_date_failed};

// Reads a text of at most 128 bytes and prints it; the driver need not end
// it, so it is printed up to 128 characters.
int32_t rtc_print_text(const RtcTextQuery &query)
{
    char text[RTC_TEXT_SIZE] = {};
    int ret = 0;
    int32_t status = rtc_request(query.request, text, ret);
    if (status != 0)
        return status;
    if (ret < 0) {
        query.failed(ret, std::strerror(errno));
        return kRtcVersionFail;
    }
    std::printf("%.*s\n\n", static_cast<int>(sizeof text), text);
    return 0;
}

bool rtc_loop_round_ok(const RtcTime &set, const RtcTime &got)
{
    int drift = set.second + static_cast<int>(kRtcLoopWait) - got.second;
    return set.year == got.year && set.month == got.month && set.day == got.day && set.hour == got.hour &&
           set.minute == got.minute && std::abs(drift) <= 1;
}

void rtc_loop_mismatch(int index, const RtcTime &s, const RtcTime &g)
{
    std::printf("[%d]th RTC LOOP TEST ERR!\nset_time:%hu-%d-%d-%d-%d-%d-%u\nAfter 10s\n"
                "get_time:%hu-%d-%d-%d-%d-%d-%u\n\n",
                index, s.year, s.month, s.day, s.hour, s.minute, s.second, s.milliseconds, g.year, g.month, g.day,
                g.hour, g.minute, g.second, g.milliseconds);
}

} // namespace

int rtc_drv_open()
{
    int fd = host_open(RTC_DEV_NODE, O_RDWR);
    if (fd < 0) {
        std::printf("can not open rtc_dev,%s\n\n", std::strerror(errno));
        return kRtcOpenFail;
    }
    return fd;
}

void rtc_drv_close(int fd) { host().close(fd); }

int32_t rtc_get_bar_map_mode(uint16_t *mode)
{
    if (mode == nullptr)
        return kRtcNullArg;
    int ret = 0;
    int32_t status = rtc_request(RTC_IOC_BAR_MAP_MODE, mode, ret);
    if (status != 0)
        return status;
    if (ret < 0) {
        hw_version_failed(ret, std::strerror(errno));
        return kRtcVersionFail;
    }
    return 0;
}

int32_t rtc_read_time_flag(const char *, int print, RtcTime *out)
{
    uint8_t buf[RTC_READ_SIZE] = {};
    int ret = 0;
    int32_t status = rtc_request(RTC_IOC_READ_TIME, buf, ret);
    if (status != 0)
        return status;
    if (ret < 0) {
        std::printf("Read RTC time err %d!\n\n", ret);
        return kRtcReadFail;
    }
    RtcTime t;
    std::memcpy(&t, buf, sizeof t);
    if (print)
        std::printf("Read RTC time success!%d-%d-%d-%d:%d:%d:%d\n\n", t.year, t.month, t.day, t.hour, t.minute,
                    t.second, static_cast<int>(t.milliseconds));
    if (out != nullptr)
        *out = t;
    return 0;
}

int32_t rtc_set_start_time_flag(const char *text, int print)
{
    if (text == nullptr) {
        std::puts("Null Pointer!\n");
        return kRtcNullArg;
    }
    RtcTime t;
    int n = rtc_scan_time(text, t);
    if (n < 7) {
        std::printf("Invalid optarg: %s, ret = %d\n\n", text, n);
        return kRtcBadParam;
    }
    int32_t status = rtc_set_time(t);
    if (status == 0 && print)
        std::puts("Set time success!\n");
    return status;
}

int32_t rtc_loop_test(const char *params)
{
    if (params == nullptr) {
        std::puts("Null Pointer!\n");
        return kRtcNullArg;
    }
    int seconds = 0;
    if (sscanf_s(params, "rtc:%d", &seconds) != 1) {
        std::printf("Invalid optarg: %s\n", params);
        return kRtcBadParam;
    }
    RtcTime ref;
    rtc_scan_time(kRtcLoopReference, ref);
    int rounds = seconds <= 0 ? 0 : seconds / 10 + (seconds % 10 != 0);
    for (int i = 0; i < rounds; i++) {
        int32_t status = rtc_set_time(ref);
        if (status != 0) {
            std::printf("RTC LOOP TEST ERR! call rtc_set_start_time err! ret=%d, index=%d\n", status, i);
            return status;
        }
        host().sleep(kRtcLoopWait);
        RtcTime got{};
        status = rtc_read_time_flag(nullptr, 0, &got);
        if (status != 0) {
            std::printf("RTC LOOP TEST ERR! call rtc_read_time err!ret=%d, index=%d\n", status, i);
            return status;
        }
        if (!rtc_loop_round_ok(ref, got)) {
            rtc_loop_mismatch(i, ref, got);
            return kRtcReadFail;
        }
    }
    return 0;
}

// ---- command rows -----------------------------------------------------------------------------

TransOpStatus rtc_set_start_time(const char *params) { return rtc_set_start_time_flag(params, 1); }

TransOpStatus rtc_set_adjust_time(const char *params)
{
    if (params == nullptr) {
        std::puts("Null pointer!\n");
        return kRtcNullArg;
    }
    long adjust = 0;
    if (sscanf_s(params, "%ld", &adjust) != 1) {
        std::printf("Invalid optarg: %s\n", params);
        return kRtcBadParam;
    }
    int64_t value = adjust;
    int ret = 0;
    int32_t status = rtc_request(RTC_IOC_SET_ADJUST, &value, ret);
    if (status != 0)
        return status;
    if (ret < 0) {
        std::printf("Set RTC different time err %d!\n\n", ret);
        return kRtcSetFail;
    }
    std::puts("Set RTC differnent time success!\n");
    return 0;
}

TransOpStatus rtc_read_hw_version(const char *) { return rtc_print_text(kHwVersion); }
TransOpStatus rtc_read_drv_version(const char *) { return rtc_print_text(kDrvVersion); }
TransOpStatus rtc_read_hw_version_date(const char *) { return rtc_print_text(kVersionDate); }
TransOpStatus rtc_read_time(const char *params) { return rtc_read_time_flag(params, 1, nullptr); }

TransOpStatus rtc_test_chip(const char *)
{
    uint32_t chip = 0;
    int ret = 0;
    int32_t status = rtc_request(RTC_IOC_TEST_CHIP, &chip, ret);
    if (status != 0)
        return status;
    if (ret < 0) {
        std::printf("Test RTC chip err %d!rtc_status = %d\n\n", ret, static_cast<int>(chip));
        return kRtcReadFail;
    }
    std::puts("Test RTC chip success!\n");
    return 0;
}

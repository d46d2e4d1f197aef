// The card's RTC driver: the RTC start and adjust time, the RTC time, the
// FPGA 0 version texts and BAR map mode, the chip self-test and the RTC
// loop test. Each operation opens "/dev/rtc_dev", sends one request and
// closes it again.
#ifndef QUORBIX_TOOL_DDR_RTC_H
#define QUORBIX_TOOL_DDR_RTC_H

#include <cstdint>

#include "bases/drv/rtc_drv.h"
#include "tool/trans_op.h"

// Statuses: negated errno values of the driver family.
inline constexpr int32_t kRtcNullArg = -101;      // ENETUNREACH
inline constexpr int32_t kRtcOpenFail = -102;     // ENETRESET
inline constexpr int32_t kRtcBadParam = -103;     // ECONNABORTED
inline constexpr int32_t kRtcSetFail = -104;      // ECONNRESET
inline constexpr int32_t kRtcVersionFail = -106;  // EISCONN
inline constexpr int32_t kRtcReadFail = -107;     // ENOTCONN

// The node opened read-write, or -102 after "can not open rtc_dev,...".
int rtc_drv_open();
void rtc_drv_close(int fd);

// BAR map mode of FPGA 0 (0 or not 0).
int32_t rtc_get_bar_map_mode(uint16_t *mode);

// Reads the RTC time; prints it when `print` is set, copies it to `out`
// when given.
int32_t rtc_read_time_flag(const char *text, int print, RtcTime *out);

// Sets the RTC start time from "year-month-day-hour-minute-second-ms";
// prints the success line when `print` is set.
int32_t rtc_set_start_time_flag(const char *text, int print);

// "rtc:N": ceil(N / 10) rounds of setting a reference time, waiting 10 s
// and reading the time back; -107 when a read differs.
int32_t rtc_loop_test(const char *params);

// Rows of s_fpga0 and m_fpga0.
TransOpStatus rtc_set_start_time(const char *params);
TransOpStatus rtc_set_adjust_time(const char *params);
TransOpStatus rtc_read_hw_version(const char *params);
TransOpStatus rtc_read_drv_version(const char *params);
TransOpStatus rtc_read_time(const char *params);
TransOpStatus rtc_read_hw_version_date(const char *params);
TransOpStatus rtc_test_chip(const char *params);

#endif

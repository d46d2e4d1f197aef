// The simulated RTC driver behind "/dev/rtc_dev".
//
// The clock reads as the start time last set plus the virtual time since,
// stretched by a drift in parts per thousand. The driver keeps the adjust
// value it was given, FPGA 0's version, driver-version and date texts, a
// chip status (a non-zero status fails the chip test with EIO) and the BAR
// map mode. A start time with a field out of range is refused (EINVAL).
// The clock, the adjust value and the settings are saved with the board.
#ifndef QUORBIX_SIM_RTC_MODEL_H
#define QUORBIX_SIM_RTC_MODEL_H

#include <cstdint>
#include <string>

#include "bases/drv/rtc_drv.h"
#include "sim/kit/sim_doc.h"

bool rtc_model_attach(SimDoc &saved);
void rtc_model_save(SimDoc &doc);

// The time a read would answer now.
RtcTime rtc_model_now();
void rtc_model_set_now(const RtcTime &t);
// Parts per thousand added to the clock's pace (negative: slower).
void rtc_model_set_drift(int permille);
int64_t rtc_model_adjust();
void rtc_model_set_bar_map_mode(uint16_t mode);
void rtc_model_set_chip_status(uint32_t status);

enum class RtcText { HwVersion, DrvVersion, Date };
// Texts longer than 128 bytes fill the caller's buffer without an end.
void rtc_model_set_text(RtcText which, const std::string &text);

#endif

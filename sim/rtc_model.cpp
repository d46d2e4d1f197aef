#include "sim/rtc_model.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <iterator>

#include "sim/sim_host.h"

namespace {

constexpr int64_t kMsPerDay = 86400000;

struct RtcModelState {
    int64_t startMs = 0;    // the clock at `startNs`, in ms since 1970-01-01
    uint64_t startNs = 0;   // virtual time of the last set
    int drift = 0;          // parts per thousand
    int64_t adjust = 0;
    uint16_t barMapMode = 0;
    uint32_t chipStatus = 0;
    std::string texts[3];
};

RtcModelState &model()
{
    static RtcModelState *state = new RtcModelState;  // outlives static destructors
    return *state;
}

// ---- calendar ---------------------------------------------------------------------------------------

int64_t days_from_civil(int64_t y, unsigned m, unsigned d)
{
    y -= m <= 2;
    const int64_t era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<int64_t>(doe) - 719468;
}

void civil_from_days(int64_t z, int64_t &y, unsigned &m, unsigned &d)
{
    z += 719468;
    const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const unsigned doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    d = doy - (153 * mp + 2) / 5 + 1;
    m = mp < 10 ? mp + 3 : mp - 9;
    y = static_cast<int64_t>(yoe) + era * 400 + (m <= 2);
}

unsigned days_in_month(unsigned year, unsigned month)
{
    static constexpr unsigned kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    return month == 2 && leap ? 29 : kDays[month - 1];
}

bool valid(const RtcTime &t)
{
    return t.month >= 1 && t.month <= 12 && t.day >= 1 && t.day <= days_in_month(t.year, t.month) && t.hour < 24 &&
           t.minute < 60 && t.second < 60 && t.milliseconds < 1000;
}

int64_t to_ms(const RtcTime &t)
{
    int64_t days = days_from_civil(t.year, t.month, t.day);
    return days * kMsPerDay + ((t.hour * 60 + t.minute) * 60 + t.second) * 1000 + t.milliseconds;
}

RtcTime from_ms(int64_t ms)
{
    int64_t days = ms >= 0 ? ms / kMsPerDay : (ms - kMsPerDay + 1) / kMsPerDay;
    int64_t rest = ms - days * kMsPerDay;
    int64_t y;
    unsigned m, d;
    civil_from_days(days, y, m, d);
    RtcTime t{};
    t.year = static_cast<uint16_t>(y);
    t.month = static_cast<uint8_t>(m);
    t.day = static_cast<uint8_t>(d);
    t.hour = static_cast<uint8_t>(rest / 3600000);
    t.minute = static_cast<uint8_t>(rest / 60000 % 60);
    t.second = static_cast<uint8_t>(rest / 1000 % 60);
    t.milliseconds = static_cast<uint32_t>(rest % 1000);
    return t;
}

int64_t now_ms()
{
    const RtcModelState &s = model();
    int64_t elapsed = static_cast<int64_t>((sim_clock_ns() - s.startNs) / 1000000);
    return s.startMs + elapsed * (1000 + s.drift) / 1000;
}

void set_now_ms(int64_t ms)
{
    model().startMs = ms;
    model().startNs = sim_clock_ns();
}

// ---- requests ---------------------------------------------------------------------------------------

int handle_set_time(const SimCall &call, SimJournalEntry &)
{
    RtcTime t;
    std::memcpy(&t, call.arg, sizeof t);
    if (!valid(t))
        return -EINVAL;
    set_now_ms(to_ms(t));
    return 0;
}

int handle_read_time(const SimCall &call, SimJournalEntry &)
{
    RtcTime t = from_ms(now_ms());
    std::memcpy(call.arg, &t, sizeof t);
    return 0;
}

int handle_test_chip(const SimCall &call, SimJournalEntry &)
{
    std::memcpy(call.arg, &model().chipStatus, sizeof(uint32_t));
    return model().chipStatus == 0 ? 0 : -EIO;
}

int copy_text(const SimCall &call, RtcText which)
{
    const std::string &text = model().texts[static_cast<size_t>(which)];
    char buf[RTC_TEXT_SIZE] = {};
    std::memcpy(buf, text.data(), std::min(text.size(), sizeof buf));
    std::memcpy(call.arg, buf, sizeof buf);
    return 0;
}

int handle_hw_version(const SimCall &call, SimJournalEntry &) { return copy_text(call, RtcText::HwVersion); }
int handle_drv_version(const SimCall &call, SimJournalEntry &) { return copy_text(call, RtcText::DrvVersion); }
int handle_date(const SimCall &call, SimJournalEntry &) { return copy_text(call, RtcText::Date); }

int handle_adjust(const SimCall &call, SimJournalEntry &)
{
    std::memcpy(&model().adjust, call.arg, sizeof(int64_t));
    return 0;
}

int handle_bar_mode(const SimCall &call, SimJournalEntry &)
{
    std::memcpy(call.arg, &model().barMapMode, sizeof(uint16_t));
    return 0;
}

constexpr SimRequest kRtcRequests[] = {
    {RTC_IOC_SET_TIME, sizeof(RtcTime), handle_set_time},
    {RTC_IOC_READ_TIME, RTC_READ_SIZE, handle_read_time},
    {RTC_IOC_TEST_CHIP, sizeof(uint32_t), handle_test_chip},
    {RTC_IOC_HW_VERSION, RTC_TEXT_SIZE, handle_hw_version},
    {RTC_IOC_DRV_VERSION, RTC_TEXT_SIZE, handle_drv_version},
    {RTC_IOC_SET_ADJUST, sizeof(int64_t), handle_adjust},
    {RTC_IOC_VERSION_DATE, RTC_TEXT_SIZE, handle_date},
    {RTC_IOC_BAR_MAP_MODE, sizeof(uint16_t), handle_bar_mode},
};

constexpr SimModel kRtcModel = {"rtc_dev", kRtcRequests, std::size(kRtcRequests), nullptr, nullptr, nullptr};

// ---- saved state ------------------------------------------------------------------------------------

constexpr const char *kSection = "rtc";
constexpr const char *kTextKeys[] = {"hw-version", "drv-version", "date"};

void fresh()
{
    model() = RtcModelState{};
    set_now_ms(to_ms(RtcTime{2020, 1, 1, 0, 0, 0, 0, 0}));
    model().texts[0] = "FPGA0 V1.02";
    model().texts[1] = "rtc_dev 1.0.3";
    model().texts[2] = "2019-08-16";
}

// The clock's range: the years the chip's 16-bit year holds; the drift
// from a stopped clock to one running twice as fast.
const int64_t kFirstMs = to_ms(RtcTime{0, 1, 1, 0, 0, 0, 0, 0});
const int64_t kLastMs = to_ms(RtcTime{0xFFFF, 12, 31, 23, 59, 59, 0, 999});
constexpr int64_t kMaxDrift = 1000;

bool load(SimDoc &doc, const SimDocSection &s)
{
    int64_t now = 0, drift = 0, adjust = 0;
    uint64_t mode = 0, chip = 0;
    if (!doc.get_signed(s, "now", now, kFirstMs, kLastMs) ||
        !doc.get_signed(s, "drift", drift, -kMaxDrift, kMaxDrift) ||
        !doc.get_signed(s, "adjust", adjust, INT64_MIN, INT64_MAX) || !doc.get(s, "bar-map-mode", mode, UINT16_MAX) ||
        !doc.get(s, "chip-status", chip, UINT32_MAX))
        return false;
    for (size_t i = 0; i < std::size(kTextKeys); i++)
        if (!doc.get_text(s, kTextKeys[i], model().texts[i], RTC_TEXT_SIZE))
            return false;
    set_now_ms(now);
    model().drift = static_cast<int>(drift);
    model().adjust = adjust;
    model().barMapMode = static_cast<uint16_t>(mode);
    model().chipStatus = static_cast<uint32_t>(chip);
    return true;
}

} // namespace

bool rtc_model_attach(SimDoc &saved)
{
    fresh();
    const SimDocSection *s = saved.find(kSection);
    bool ok = s == nullptr || load(saved, *s);
    if (!ok) {
        saved.fail(s->line, "[rtc] section incomplete");
        fresh();
    }
    sim_register_node(RTC_DEV_NODE, &kRtcModel, nullptr);
    return ok;
}

void rtc_model_save(SimDoc &doc)
{
    SimDocSection &s = doc.section(kSection);
    s.put("now", static_cast<uint64_t>(now_ms()));
    s.put("drift", static_cast<uint64_t>(static_cast<int64_t>(model().drift)));
    s.put("adjust", static_cast<uint64_t>(model().adjust));
    s.put("bar-map-mode", model().barMapMode);
    s.put("chip-status", model().chipStatus);
    for (size_t i = 0; i < std::size(kTextKeys); i++)
        s.put_text(kTextKeys[i], model().texts[i]);
}

RtcTime rtc_model_now() { return from_ms(now_ms()); }
void rtc_model_set_now(const RtcTime &t) { set_now_ms(to_ms(t)); }
void rtc_model_set_drift(int permille)
{
    set_now_ms(now_ms());
    model().drift = permille;
}
int64_t rtc_model_adjust() { return model().adjust; }
void rtc_model_set_bar_map_mode(uint16_t mode) { model().barMapMode = mode; }
void rtc_model_set_chip_status(uint32_t status) { model().chipStatus = status; }
void rtc_model_set_text(RtcText which, const std::string &text) { model().texts[static_cast<size_t>(which)] = text; }

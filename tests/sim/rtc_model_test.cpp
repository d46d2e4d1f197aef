// The card RTC's saved state: what the chip holds and no more.
#include <gtest/gtest.h>

#include <string>

#include "support/saved_board.h"

namespace {

// The clock spans the chip's 16-bit years, from 0000-01-01 to the last
// millisecond of 65535 (two's complement below zero); the drift lies from
// a stopped clock to one going twice as fast; the BAR mode is 16 bits, the
// chip status 32, each text at most the driver's 128 bytes. One past each
// bound is refused at its line; the bound loads.
TEST(RtcSavedBoard, ValuesPastTheirBoundsAreRefusedAtTheirLine)
{
    const SavedBoard b("ZK17TRVA");
    const std::string rtc = "rtc";
    const std::string range = ", outside -62167219200000 to 2005949145599999";
    const struct {
        SavedEntry entry;
        std::string message;  // empty: loads
    } cases[] = {
        {{rtc, "now", "0xffffc77590fba000"}, ""},
        {{rtc, "now", "0xffffc77590fb9fff"}, "'now' is -62167219200001" + range},
        {{rtc, "now", "0x720666e42cfff"}, ""},
        {{rtc, "now", "0x720666e42d000"}, "'now' is 2005949145600000" + range},
        {{rtc, "drift", "0x3e8"}, ""},
        {{rtc, "drift", "0x3e9"}, "'drift' is 1001, outside -1000 to 1000"},
        {{rtc, "drift", "0xfffffffffffffc18"}, ""},
        {{rtc, "drift", "0xfffffffffffffc17"}, "'drift' is -1001, outside -1000 to 1000"},
        {{rtc, "drift", "0x80000000"}, "'drift' is 2147483648, outside -1000 to 1000"},
        {{rtc, "adjust", "0xffffffffffffffff"}, ""},
        {{rtc, "bar-map-mode", "0xffff"}, ""},
        {{rtc, "bar-map-mode", "0x10000"}, "'bar-map-mode' is 0x10000, above its largest value 0xffff"},
        {{rtc, "chip-status", "0xffffffff"}, ""},
        {{rtc, "chip-status", "0x100000000"}, "'chip-status' is 0x100000000, above its largest value 0xffffffff"},
        {{rtc, "hw-version", saved_bytes(128)}, ""},
        {{rtc, "hw-version", saved_bytes(129)}, "'hw-version' holds 129 bytes, at most 128 expected"},
        {{rtc, "date", saved_bytes(129)}, "'date' holds 129 bytes, at most 128 expected"},
    };
    for (const auto &c : cases)
        b.expect(c.entry, c.message);
}

} // namespace

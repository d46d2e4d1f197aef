// The LPC register at port 0xC90 as saved: a byte, and whether it is stuck.
#include <gtest/gtest.h>

#include <string>

#include "support/saved_board.h"

namespace {

TEST(UncoreSavedBoard, ValuesPastTheirBoundsAreRefusedAtTheirLine)
{
    const SavedBoard b("ZK17DORN");
    const struct {
        SavedEntry entry;
        std::string message;  // empty: loads
    } cases[] = {
        {{"uncore", "value", "0xff"}, ""},
        {{"uncore", "value", "0x100"}, "'value' is 0x100, above its largest value 0xff"},
        {{"uncore", "stuck", "0x1"}, ""},
        {{"uncore", "stuck", "0x2"}, "'stuck' is 0x2, above its largest value 0x1"},
    };
    for (const auto &c : cases)
        b.expect(c.entry, c.message);
}

} // namespace

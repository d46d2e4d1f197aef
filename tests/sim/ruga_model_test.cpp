// The RUDA card as saved: the fields a ruga-card line can give it.
#include <gtest/gtest.h>

#include <string>

#include "support/saved_board.h"

namespace {

// At most nine functions below each of the three ports; a link that trains
// after up to 65535 reads or never (-1); the capability in a dword of
// extended space, or none (0); 32-bit words, a 16-bit kind, a flag. One
// past each bound is refused at its line; the bound loads.
TEST(RugaSavedBoard, ValuesPastTheirBoundsAreRefusedAtTheirLine)
{
    const SavedBoard b("ZK17TRVA", "ruga-card 1 1 0\n");
    const std::string ruga = "ruga";
    const struct {
        SavedEntry entry;
        std::string message;  // empty: loads
    } cases[] = {
        {{ruga, "children", "0x9 0x9 0x9"}, ""},
        {{ruga, "children", "0x9 0xa 0x0"}, "'children' holds 0xa, above its largest value 0x9"},
        {{ruga, "children", "0x1 0x1"}, "'children' wants 3 counts"},
        {{ruga, "children", "0x1 0x1 0x0 0x0"}, "'children' holds 4 integers, at most 3 expected"},
        {{ruga, "link-reads", "0xffff"}, ""},
        {{ruga, "link-reads", "0x10000"}, "'link-reads' is 65536, outside -1 to 65535"},
        {{ruga, "link-reads", "0xffffffffffffffff"}, ""},
        {{ruga, "link-reads", "0xfffffffffffffffe"}, "'link-reads' is -2, outside -1 to 65535"},
        {{ruga, "cap-at", "0x0"}, ""},
        {{ruga, "cap-at", "0xfdc"}, ""},
        {{ruga, "cap-at", "0xfe0"}, "'cap-at' is 0xfe0, above its largest value 0xfdc"},
        {{ruga, "cap-at", "0xfc"}, "'cap-at' is 0xfc, not a dword of extended space"},
        {{ruga, "cap-at", "0x102"}, "'cap-at' is 0x102, not a dword of extended space"},
        {{ruga, "boot-word", "0xffffffff"}, ""},
        {{ruga, "boot-word", "0x100000000"}, "'boot-word' is 0x100000000, above its largest value 0xffffffff"},
        {{ruga, "app-word", "0x100000000"}, "'app-word' is 0x100000000, above its largest value 0xffffffff"},
        {{ruga, "app-kind", "0xffff"}, ""},
        {{ruga, "app-kind", "0x10000"}, "'app-kind' is 0x10000, above its largest value 0xffff"},
        {{ruga, "boot-node", "0x2"}, "'boot-node' is 0x2, above its largest value 0x1"},
    };
    for (const auto &c : cases)
        b.expect(c.entry, c.message);
}

} // namespace

// The handlers' shared toolkit on its own: scan presets, narrowing, port
// properties, the board test, the console lines and the hexadecimal parser.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "tool/quorbix.h"
#include "tool/trans/trans_cmd.h"

namespace {

using testing::internal::CaptureStdout;
using testing::internal::GetCapturedStdout;

template <typename F> std::string printed(F f)
{
    CaptureStdout();
    f();
    std::fflush(stdout);
    return GetCapturedStdout();
}

TEST(TransCmd, ScanPresetsTellMissingFields)
{
    struct Case {
        const char *text;
        int ret;
        bool taken;
    };
    const Case cases[] = {
        {"", -1, false},            // empty text
        {"x", 0, false},            // nothing converted
        {"0:1", 2, true},
        {"0", 1, false},            // second field missing
        {"0:4294967295", 2, false}, // indistinguishable from absent
        {"7:1:x", 2, true},         // trailing junk is not compared
    };
    for (const Case &c : cases) {
        uint32_t a = kCmdUnset, b = kCmdUnset;
        int ret = sscanf_s(c.text, "%u:%u", &a, &b);
        EXPECT_EQ(ret, c.ret) << c.text;
        EXPECT_EQ(cmd_scanned(ret, a, b), c.taken) << c.text;
    }
    uint64_t wide = kCmdUnset64;
    EXPECT_FALSE(cmd_scanned(1, wide));
    EXPECT_TRUE(cmd_scanned(1, uint64_t{kCmdUnset}));   // a 64-bit field of 2^32 - 1 is given
}

TEST(TransCmd, NarrowingAndPortProperties)
{
    EXPECT_EQ(cmd_u8(256), 0);
    EXPECT_EQ(cmd_u8(0x1FF), 0xFF);
    EXPECT_EQ(cmd_u16(0x12345), 0x2345);
    struct Case {
        uint32_t port;
        PortPro pro;
    };
    const Case cases[] = {{0, {0, 0, 0}}, {7, {0, 0, 7}}, {8, {1, 0, 0}}, {9, {1, 0, 1}}, {300, {1, 0, 292}}};
    for (const Case &c : cases) {
        PortPro p = trans_port_pro(c.port);
        EXPECT_EQ(std::memcmp(&p, &c.pro, sizeof p), 0) << c.port;
    }
    PortPro t = trans_trunk_pro(5);
    EXPECT_EQ(t.LOC, 0u);
    EXPECT_EQ(t.TYPE, 3u);
    EXPECT_EQ(t.ID, 5u);
}

TEST(TransCmd, BoardTestBySubstringDornFirst)
{
    char saved[kBoardNameSize];
    std::memcpy(saved, gBoardName, sizeof saved);
    struct Case {
        const char *name;
        TransBoard board;
    };
    const Case cases[] = {
        {"ZK17DORN\n", TransBoard::Dorn},
        {"ZK17KESP", TransBoard::Kesp},
        {"ZK17KESPZK17DORN", TransBoard::Dorn},
        {"ZK17TRVA", TransBoard::Other},
        {"", TransBoard::Other},
    };
    for (const Case &c : cases) {
        std::memset(gBoardName, 0, sizeof gBoardName);
        std::strncpy(gBoardName, c.name, sizeof gBoardName - 1);
        EXPECT_EQ(trans_board(), c.board) << c.name;
    }
    std::memcpy(gBoardName, saved, sizeof saved);
}

TEST(TransCmd, ConsoleLines)
{
    const CmdSite site{"port_get_link_status", "trans/trans", 1930};
    TransOpStatus status = 0;
    EXPECT_EQ(printed([&] { status = trans_bad_input(site, -1); }),
              "FAILED\nInvalid input, please check [port_get_link_status] trans/trans:1930, iRet = -1\n");
    EXPECT_EQ(status, -1202);
    EXPECT_EQ(printed([&] { cmd_invalid_line_short(site); }),
              "Invalid input, please check [port_get_link_status] trans/trans:1930\n");
    EXPECT_EQ(printed([&] { cmd_invalid_at(site, ", max = %d, min = %d\n", 1, -2); }),
              "Invalid input, please check [port_get_link_status] trans/trans:1930, max = 1, min = -2\n");
    EXPECT_EQ(printed([&] { status = trans_op_failed("PlovTransGetMtu", -1330); }),
              "FAILED\nFunction PlovTransGetMtu exe error, iRet = -1330\n");
    EXPECT_EQ(status, -1330);
    EXPECT_EQ(printed([&] { trans_error_line_long("PlovTransGetEnableState", -5, site); }),
              "Function PlovTransGetEnableState exe error, iRet = -5, [port_get_link_status] trans/trans:1930\n");
    EXPECT_EQ(printed([] { trans_success(); trans_line("Link detected : yes"); }), "SUCCESS\nLink detected : yes\n");
}

TEST(TransCmd, FailedBoundsCheckedCallsAreLoggedAndIgnored)
{
    char small[4] = {'a', 'b', 'c', 'd'};
    std::string out = printed([&] { TRANS_MEMSET_S(small, sizeof small, 0, 8); });
    EXPECT_NE(out.find("tests/tool/trans/trans_cmd_test.cpp:"), std::string::npos) << out;
    EXPECT_NE(out.find(" [quorbix-ERR]memset_s failed 162, dest_str "), std::string::npos) << out;
    EXPECT_NE(out.find("(4), cnt(8)\n"), std::string::npos) << out;
    out = printed([&] { TRANS_MEMCPY_S(small, sizeof small, "abcdefgh", 8); });
    EXPECT_NE(out.find("[quorbix-ERR]memcpy_s failed 162, dest_str "), std::string::npos) << out;
    EXPECT_NE(out.find("(8)\n"), std::string::npos) << out;
    out = printed([&] { TRANS_STRNCPY_S(small, sizeof small, "abcdefgh", 8); });
    EXPECT_NE(out.find("[quorbix-ERR]strncpy_s failed 162, dest_str "), std::string::npos) << out;
    EXPECT_EQ(printed([&] { TRANS_MEMCPY_S(small, sizeof small, "xyz", 4); }), "");
    EXPECT_STREQ(small, "xyz");
}

TEST(TransCmd, HexNumbersFoldCaseInTheCallersCopy)
{
    struct Case {
        const char *text;
        int32_t ret;
        uint32_t value;
        const char *after;
    };
    const Case cases[] = {
        {"", 0, 0, ""},
        {"1c", 0, 0x1C, "1c"},
        {"AbC", 0, 0xABC, "abc"},
        {"123456789", 0, 0x23456789, "123456789"},   // leading digits shifted out
        {"1g", -1200, 77, "1g"},
        {"0x10", -1200, 77, "0x10"},
        {"F-", -1200, 77, "f-"},                     // folded up to the bad character
    };
    for (const Case &c : cases) {
        char copy[16] = {};
        std::strncpy(copy, c.text, sizeof copy - 1);
        uint32_t v = 77;
        EXPECT_EQ(eth_pci_hex_num(copy, &v), c.ret) << c.text;
        EXPECT_EQ(v, c.value) << c.text;
        EXPECT_STREQ(copy, c.after) << c.text;
    }
    uint32_t v = 0;
    EXPECT_EQ(eth_pci_hex_num(nullptr, &v), -1200);
    char text[] = "1";
    EXPECT_EQ(eth_pci_hex_num(text, nullptr), -1200);
}

} // namespace

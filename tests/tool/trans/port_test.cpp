// Port commands as whole command lines: -m through quorbix_run, the Set and
// clear blocks through their dispatchers, on the simulated DORN and KESP
// boards.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "boardlib/plov_trans_intf.h"
#include "sim/fpga_model.h"
#include "support/console_run.h"
#include "support/plov_test.h"
#include "support/sim_fixture.h"
#include "tool/quorbix.h"
#include "tool/trans/port.h"

namespace {

using testing::internal::CaptureStdout;
using testing::internal::GetCapturedStdout;

const std::string kTrans = kFpgaTransNode;
const std::string kSbuf = kFpgaSbufNode;
constexpr unsigned long kReadDir = 0xC004EF01;

const std::string kLink01 =
    "SUCCESS\nSuccessed to Get link status of Port1 in FPGA0\nLink detected : yes\nForce Linkdown: FALSE\n";

struct CmdRun {
    std::string out;
    int status;
};

// One command: "m" runs `-m path` through quorbix_run (its status is the
// process's), "s" and "c" call the Set and clear dispatchers.
CmdRun run(const std::string &block, const std::string &path)
{
    CaptureStdout();
    int status = 0;
    if (block == "m") {
        status = quorbix_mfc(path);
    } else {
        status = (block == "s" ? op_set : op_clear)(path.c_str());
    }
    std::fflush(stdout);
    return {GetCapturedStdout(), status};
}

class PortCommands : public PlovTest {};
class PortCommandsKesp : public PlovKespTest {};

struct Case {
    const char *block;
    const char *path;
    int status;
    std::string out;
};

void expect_cases(const std::vector<Case> &cases)
{
    for (const Case &c : cases) {
        CmdRun r = run(c.block, c.path);
        EXPECT_EQ(r.out, c.out) << c.block << " " << c.path;
        EXPECT_EQ(r.status, c.status) << c.block << " " << c.path;
    }
}

std::string invalid(const char *name, unsigned line, int iret, bool failed = true)
{
    return std::string(failed ? "FAILED\n" : "") + "Invalid input, please check [" + name + "] trans/trans:" +
           std::to_string(line) + ", iRet = " + std::to_string(iret) + "\n";
}


TEST_F(PortCommands, EveryHandlerRefusesAnEmptyAndANonNumericText)
{
    struct Row {
        const char *block;
        const char *word;
        const char *name;
        unsigned line;
    };
    const Row rows[] = {
        {"m", "port/k/", "port_get_link_status", 1930}, {"m", "port/w/", "port_get_workmode", 1880},
        {"s", "port/w/", "port_set_workmode", 1760},    {"m", "port/f/", "port_get_flowctrl", 1610},
        {"s", "port/f/", "port_set_flowctrl", 1650},    {"m", "port/s/", "port_get_switch", 2010},
        {"s", "port/s/", "port_set_switch", 2040},      {"m", "port/e/", "port_get_pause_switch", 2080},
        {"s", "port/e/", "port_set_pause_switch", 2110}, {"m", "port/d/", "port_get_dpause_wlevel", 2140},
        {"s", "port/v/", "port_set_dpause_wlevel", 2170}, {"s", "port/d/", "port_set_phy_down", 2210},
        {"m", "port/h/", "port_get_phy", 2250},         {"s", "port/p/", "port_set_phy", 2290},
        {"m", "port/l/", "port_get_loopmode", 2330},    {"s", "port/l/", "port_set_loopmode", 2370},
        {"m", "port/m/", "port_get_mac", 3030},         {"s", "port/m/", "port_set_mac", 3070},
        {"m", "fpga/d/", "port_get_car_drop_stat", 2450}, {"m", "port/c/", "port_get_car", 2490},
        {"s", "port/c/", "port_set_car", 2530},         {"m", "port/t/", "port_get_car_fresh_time", 2570},
        {"s", "port/t/", "port_set_car_fresh_time", 2600}, {"c", "port/v/", "port_clear_vlan_stat", 2760},
        {"m", "port/v/", "port_get_vlan_stat", 2790},   {"c", "port/r/", "port_clear_mac_stat", 2820},
        {"m", "port/r/", "port_get_mac_stat", 2850},    {"c", "port/p/", "port_clear_stat", 2880},
        {"m", "port/p/", "port_get_stat", 2910},        {"s", "port/g/", "port_set_gtx_prbs", 2990},
    };
    for (const Row &row : rows) {
        for (const auto &[text, iret] : {std::pair<const char *, int>{"", -1}, {"x", 0}}) {
            sim_clear_journal();
            CmdRun r = run(row.block, std::string(row.word) + text);
            EXPECT_EQ(r.out, invalid(row.name, row.line, iret)) << row.word << text;
            EXPECT_EQ(r.status, row.block[0] == 'm' ? 2 : -1202) << row.word << text;
            EXPECT_TRUE(sim_journal().empty()) << row.word << text;
        }
    }
    // The forms of their own.
    expect_cases({
        {"m", "port/b/", 2, "FAILED\nInvalid FpgaID input, please check [port_get_mtu] trans/trans:2640, iRet = -1\n"},
        {"s", "port/r/0:1", -1202, "FAILED\nInvalid FpgaID input, please check [port_set_reset] trans/trans:2720, iRet = 2\n"},
        {"s", "port/b/", -1202,
         "FAILED\nInvalid  input, please check [port_set_mtu] trans/trans:2680, FpgaId = -1, max = -1, min = -1\n\n"},
        {"c", "port/g/0:1:2", -1202, invalid("port_clear_gtx_prbs", 2950, 3, false)},
    });
}

TEST_F(PortCommands, LinkStateRoadAndForcedDown)
{
    expect_cases({
        {"m", "port/k/0:1", 0, kLink01},
        {"m", "port/K/0:1", 0, kLink01},
        {"m", "port/k/0", 2, invalid("port_get_link_status", 1930, 1)},
        {"m", "port/k/256:256", 0,
         "SUCCESS\nSuccessed to Get link status of Port0 in FPGA256\nLink detected : yes\nForce Linkdown: FALSE\n"},
        {"m", "port/k/0:2", 0,
         "SUCCESS\nSuccessed to Get link status of Port2 in FPGA0\nLink detected : no\nForce Linkdown: FALSE\n"},
        {"m", "port/k/0:12", 2, "FAILED\nFunction PlovTransGetPortLinkStat exe error, iRet = -1331\n"},
        {"m", "port/R/0:1", 2, "Target \"R\" is not supported\n"},
        // Set port/d with 1 forces the PHY down, 0 releases it.
        {"s", "port/d/0:1:1", 0, "SUCCESS\n"},
        {"m", "port/k/0:1", 0,
         "SUCCESS\nSuccessed to Get link status of Port1 in FPGA0\nLink detected : yes\nForce Linkdown: TURE\n"},
        {"s", "port/D/0:1:0", 0, "SUCCESS\n"},
        {"m", "port/k/0:1", 0, kLink01},
    });
    // No port property: refused before anything is called.
    for (const char *path : {"port/d/0:12:1", "port/d/2:0:1"}) {
        sim_clear_journal();
        CmdRun r = run("s", path);
        EXPECT_EQ(r.out, invalid("port_set_phy_down", 2210, 3)) << path;
        EXPECT_EQ(r.status, -1202);
        EXPECT_TRUE(sim_journal().empty()) << path;
    }
    sim_fail_request(kTrans, kReadDir, EIO);
    CmdRun r = run("m", "port/k/0:1");
    EXPECT_EQ(r.out.rfind("FAILED\nFunction PlovTransGetPortLinkStat exe error, iRet = ", 0), 0u) << r.out;
    EXPECT_EQ(r.status, 2);
}

// Set port/d on every port of both FPGAs: the property each port is given
// decides where the setting lands. FPGA 0: ports 0-7 (type 0) set their bit
// of the reset register 0x1401 and of the forced-down register 0x1417; ports
// 8-11 (type 5, id from 0) come back as ports 8-11, which cannot be forced
// down. FPGA 1: ports 0-1 (type 2) and 2-3 (type 3, id from 0) fill the
// two-bit reset field at bit 5 of their own register; ports 4 and up (type
// 5, id from 0) come back as themselves and are refused.
TEST_F(PortCommands, ForcedDownOfEveryPortThroughItsProperty)
{
    using Reg = std::pair<std::string, uint64_t>;
    using Value = std::tuple<std::string, uint64_t, uint64_t>;   // node, register, value
    const Reg watched[] = {{kTrans, 0x1401}, {kTrans, 0x1417}, {kSbuf, 0x5400}, {kSbuf, 0x5800},
                           {kSbuf, 0x5C00},  {kSbuf, 0x7800},  {kSbuf, 0x4C00}};
    const uint64_t sbufReset[4] = {0x5400, 0x5800, 0x5C00, 0x7800};
    for (unsigned fpga = 0; fpga < 2; fpga++) {
        for (unsigned port = 0; port < 12; port++) {
            const std::string f = std::to_string(fpga), p = std::to_string(port);
            SCOPED_TRACE("port/d/" + f + ":" + p + ":1");
            for (const Reg &w : watched)
                fpga_set_reg(w.first, w.second, 0);
            sim_clear_syslog();
            const CmdRun r = run("s", "port/d/" + f + ":" + p + ":1");
            std::vector<Value> set;
            for (const Reg &w : watched)
                if (uint64_t v = fpga_get_reg(w.first, w.second))
                    set.emplace_back(w.first, w.second, v);
            std::vector<Value> want;
            if (fpga == 0 && port < 8)
                want = {{kTrans, 0x1401, 1ull << port}, {kTrans, 0x1417, 1ull << port}};
            else if (fpga == 1 && port < 4)
                want = {{kSbuf, sbufReset[port], 0x60}};
            EXPECT_EQ(set, want);
            bool refused = false;
            for (const SimLogLine &l : sim_syslog())
                refused |= l.text.find("FPGA[" + f + "] Invalid PortID [" + p + "]\n") != std::string::npos;
            EXPECT_EQ(refused, want.empty());
            if (want.empty()) {
                EXPECT_EQ(r.out, "FAILED\nFunction TRANS_SetPortPhyDown exe error, iRet = -1331\n");
                EXPECT_EQ(r.status, -1331);
            } else {
                EXPECT_EQ(r.out, "SUCCESS\n");
                EXPECT_EQ(r.status, 0);
            }
        }
    }
}

TEST_F(PortCommands, StatisticsBlocksAndTheirPadding)
{
    // MAC statistics of port 1: the receive module's counters 1 to 8 (3 not
    // shown, 2 and 6 summed, 7 and 8 summed) and the two MAC transmit registers.
    const uint64_t rxm[9] = {0, 1001, 20, 999999, 4004, 5005, 600, 7000, 80};
    for (uint64_t i = 0; i < 9; i++)
        fpga_put_indirect(kTrans, 0x1980, {i << 4 | 1}, {rxm[i]});
    fpga_set_reg(kTrans, 0x1E01, 11011);   // transmit total
    fpga_set_reg(kTrans, 0x1E11, 12);      // transmit errors
    // Back port 2 of FPGA 1 (base 0x5F80): seven sbuf registers, two of them summed.
    const std::pair<uint64_t, uint64_t> back[] = {{0x5F87, 7107}, {0x5F88, 8108},   {0x5F8A, 1010}, {0x5F89, 900},
                                                  {0x5F8B, 11},   {0x5F91, 171717}, {0x5F92, 181818}};
    for (const auto &[reg, value] : back)
        fpga_set_reg(kSbuf, reg, value);
    // Front port 3 of FPGA 0: one counter per field; 0, 3, 16 and 19 are read
    // and shown nowhere; the counters print signed.
    const std::pair<uint64_t, uint64_t> front[] = {
        {0, 9000},  {1, 101},   {2, 202},   {3, 9003},  {4, 404},   {5, 505},   {6, 606},  {15, 1515},
        {16, 9016}, {17, 1717}, {18, 1818}, {19, 9019}, {20, 2020}, {21, 2121}, {22, ~1ull}, {31, 3131}};
    for (const auto &[index, value] : front)
        fpga_put_indirect(kTrans, 0x1580, {index << 4 | 3}, {value});
    expect_cases({
        {"m", "port/r/0:1", 0,
         "SUCCESS\nSuccessed to get the basic statistics of Port1 in FPGA0\n"
         "RXTOTAL  : 1001\tRxMultiCast: 4004\tRxBroadCast: 5005\nRxBytes  : 0\tRxError    : 620\tRxDrop     : 7080\n"
         "TXTOTAL  : 11011\tTxMultiCast: 0\tTxBroadCast: 0\nTxBytes  : 0\tTxError    : 12\tTxDrop     : 0\n"
         "Conflict : 0\n"},
        {"m", "port/p/1:2", 0,
         "SUCCESS\nSuccessed to get the basic statistics of Port2 in FPGA1\n"
         "RXTOTAL  : 8108\tRxMultiCast: 0\tRxBroadCast: 0\nRxBytes    : 171717\tRxError    : 911\tRxDrop     : 1010\n"
         "TXTOTAL  : 7107\tTxMultiCast: 0\tTxBroadCast: 0\nTxBytes    : 181818\tTxError    : 0\tTxDrop     : 0\n"
         "Conflict   : 0\n"},
        {"m", "port/p/0:3", 0,
         "SUCCESS\nSuccessed to get the basic statistics of Port3 in FPGA0\n"
         "RXTOTAL  : 1515\tRxMultiCast: 101\tRxBroadCast: 202\nRxBytes    : 404\tRxError    : 505\tRxDrop     : 606\n"
         "TXTOTAL  : 3131\tTxMultiCast: 1717\tTxBroadCast: 1818\nTxBytes    : 2020\tTxError    : 2121\tTxDrop     : -2\n"
         "Conflict   : 0\n"},
        {"m", "port/p/0:12", 2, "FAILED\nFunction PlovTransGetPortStatistic exe error, iRet = -1331\n"},
        {"m", "port/r/1:1", 2, "FAILED\nFunction PLOV_TransGetPortMacStatistics exe error, iRet = -1330\n"},
        {"c", "port/p/0:1", 0, "SUCCESS\n"},
        {"c", "port/P/1:1", -1330, "FAILED\nFunction PlovTransClsPortStatistic exe error, iRet = -1330\n"},
        {"c", "port/r/0:9", 0, "SUCCESS\n"},
        {"c", "port/R/0:9", -17, "Target \"R\" is not supported\n"},
        {"c", "port/v/0:3:100", 0, "SUCCESS\n"},
        {"c", "port/v/0:3:4096", -1202, "FAILED\nFunction PlovTransClsVlanStatistic exe error, iRet = -1202\n"},
        {"m", "port/v/0:3:100", 0, "SUCCESS\nDrop : 0\n"},
    });
}

TEST_F(PortCommands, OwnChecksAndValueLines)
{
    expect_cases({
        {"s", "port/w/0:1-n:30:f", -1202, "Intent to set workmode to autonegative\nInvalid rate input, please check\n"},
        {"s", "port/w/0:1-x:10:f", -1202, "Invalid negtive input, please check\n"},
        {"s", "port/w/0:1-f:10:x", -1202, "Invalid duplex_mode input, please check\n"},
        {"s", "port/b/0:100:200", -1202,
         "FAILED\nInvalid  input, please check [port_set_mtu] trans/trans:2680, FpgaId = 0, max = 100, min = 200\n\n"},
        {"s", "port/b/0:1500:64", 0, "SUCCESS\n"},
        {"m", "port/b/0", 0, "SUCCESS\nMax : 1500\nMin : 64\n"},
        {"m", "port/b/2", 2, "Function PlovTransGetMtu exe error, iRet = -1330\n"},
        {"m", "fpga/d/0:S", 2, "FAILED\nInvalid type, please check!\n"},
        {"m", "fpga/d/0:s", 0, "Intend to get split car drop statistic\nSUCCESS\nstat : 0x0\n"},
        {"s", "port/c/0:t:100:200:1", 0, "Intend to set total car config params\nSUCCESS\n"},
        {"m", "port/c/0:s", 0, "Intend to get split car config params\nSUCCESS\ncbs : 0\ncir : 0\nvld : 0\n"},
        {"m", "port/c/1:s", 2, "Intend to get split car config params\nFAILED\nFunction PlovTransGetSplitCarCfg/PlovTransGetTotalCarCfg exe error, iRet = -1330\n"},
        {"s", "port/t/0:33", 0, "SUCCESS\n"},
        {"m", "port/t/0", 0, "SUCCESS\nFresh time : 33\n"},
        {"m", "port/l/0:1:x", 2, "FAILED\nInvalid input, please check [port_get_loopmode] trans/trans:2330\n"},
        {"s", "port/l/0:1-x:101", -1202, "Invalid type input, please check\n"},
        {"s", "port/l/0:1-m:121", -1202, invalid("port_set_loopmode", 2370, 6)},
        {"s", "port/l/0:1-m:101", 0, "SUCCESS\n"},
        {"m", "port/l/0:1:M", 0, "SUCCESS\nSuccessed to get the MAC loopmode of Port1 in FPGA0\nMAC loopmode : 101\n"},
        {"s", "port/s/0:1-011", 0, "SUCCESS\n"},
        {"m", "port/s/0:1", 0, "SUCCESS\nMode : 0x3\n"},
        {"s", "port/s/0:1-012", -1202, invalid("port_set_switch", 2040, 5)},
        {"s", "port/v/0:0x1f", 0, "Intend to set the DPause Water Level of FPGA0 to 0x1f\nSUCCESS\n"},
        {"m", "port/d/0", 0, "SUCCESS\nDePause Waterlevel : 0x1f\n"},
        {"s", "port/e/0:0x1", 0, "SUCCESS\n"},
        {"m", "port/e/0", 0, "SUCCESS\nPause switch flag : 0x1\n"},
        {"s", "port/p/0:1-3:4:5", 0, "SUCCESS\n"},
        {"m", "port/h/0:1", 0, "SUCCESS\nPostEmphasis : 3\nPreEmphasis : 4\nSwing : 5\n"},
        {"s", "port/f/0:1-3:1:2:3", -1202, invalid("port_set_flowctrl", 1650, 6)},
        {"m", "port/f/0:1:3", 2, invalid("port_get_flowctrl", 1610, 3)},   // type 3 refused as by the set
        {"m", "port/f/0:1:4", 2, invalid("port_get_flowctrl", 1610, 3)},
        {"s", "port/f/0:1-1:10:20:30", 0, "SUCCESS\n"},
        {"m", "port/f/0:1:1", 0, "SUCCESS\ncbs : 10\ncir : 20\nt   : 30\n"},
        {"m", "port/f/1:1:1", 2, "FAILED\n"},
        {"s", "port/g/0:1-1:101", -1200, "FAILED\nFunction PlovTransSetPortGtxPrbs exe error, iRet = -1200\n"},
        {"c", "port/g/0:1:1", -1200, "FAILED\nFunction PlovTransClsPortGtxPbrs exe error, iRet = -1200\n"},
        {"s", "port/r/0:1:1", 0, "SUCCESS\n"},
        {"s", "port/r/0:1:0", -1337, "Function PlovTransSetPortReset exe error, iRet = -1337\n"},
    });
}

TEST_F(PortCommands, MacAddressesAndPortSummary)
{
    expect_cases({
        {"s", "port/m/0:2:0-00:11:22:33:44:55", 0, "SUCCESS\n"},
        {"s", "port/m/0:2:0-00:11:22:33:44", -1202, invalid("port_set_mac", 3070, 8)},
        {"m", "port/m/0:2:0", 0, "SUCCESS\nMAC : 00:11:22:33:44:55\nStaticMac : 00:1A:2B:00:00:02\n"},
        // FPGA 1 keeps no static MAC: the zero line, and success.
        {"m", "port/m/1:2:0", 0, "SUCCESS\nMAC : 00:00:00:00:00:00\nStaticMac : 00:00:00:00:00:00\n"},
    });
    CaptureStdout();
    EXPECT_EQ(get_port_info_byid(0, 2), 0);
    std::fflush(stdout);
    std::string out = GetCapturedStdout();
    EXPECT_EQ(out.rfind("port2:\n\tHWaddr 00:11:22:33:44:55\n\tSpeed: ", 0), 0u) << out;
    EXPECT_NE(out.find("\tLink detected: no\n"), std::string::npos) << out;
    CaptureStdout();
    EXPECT_EQ(get_port_info_byid(2, 0), 1);
    std::fflush(stdout);
    EXPECT_EQ(GetCapturedStdout(),
              "Function PlovTransGetPortX execute failed,imRet = -1330, iwRet = -1330, ilRet = -1330\n");
}

TEST_F(PortCommandsKesp, LinkStateOnTheKespBoard)
{
    expect_cases({
        {"m", "port/k/0:1", 0, kLink01},
        {"m", "port/k/0:2", 2, "FAILED\nFunction PlovTransGetPortLinkStat exe error, iRet = -1202\n"},
        {"m", "port/k/1:0", 2, "FAILED\nFunction PlovTransGetPortLinkStat exe error, iRet = -1335\n"},
    });
}

} // namespace

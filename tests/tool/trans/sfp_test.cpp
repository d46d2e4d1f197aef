// SFP commands as whole command lines (-m sfp/...) and the PCIe endpoint
// rows through the Set dispatcher, on the simulated DORN and KESP boards
// and on the boards whose ports are network interfaces.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "bases/drv/plov_drv.h"
#include "boardlib/plov_trans_intf.h"
#include "sim/fpga_model.h"
#include "sim/net_sfp_model.h"
#include "support/console_run.h"
#include "support/plov_test.h"
#include "support/sim_fixture.h"
#include "tool/quorbix.h"
#include "tool/trans/sfp.h"

namespace {

const std::string kTrans = kFpgaTransNode;
const std::string kSbuf = kFpgaSbufNode;

ConsoleRun run_m(const std::string &path)
{
    return console_run([&] {
        return quorbix_mfc(path);
    });
}

ConsoleRun run_set(const std::string &path)
{
    return console_run([&] { return op_set(path.c_str()); });
}

std::string invalid(const char *name, unsigned line, int iret)
{
    return "FAILED\nInvalid input, please check [" + std::string(name) + "] trans/trans:" + std::to_string(line) +
           ", iRet = " + std::to_string(iret) + "\n";
}

struct Case {
    const char *path;
    int status;   // the process's: 0 or 2
    std::string out;
};

void expect_m(const std::vector<Case> &cases)
{
    for (const Case &c : cases) {
        ConsoleRun r = run_m(c.path);
        EXPECT_EQ(r.out, c.out) << c.path;
        EXPECT_EQ(r.status, c.status) << c.path;
    }
}

// The identity block of the simulated default module.
std::string identity(const std::string &serial)
{
    return "\tVendor name\t: QUORBIX OPTICS  \n\tPart number\t: QX-SFP10G-SR    \n\tSerail number\t: " + serial +
           "\n\tDate code\t: 260101  \n\tTransceiver type: SFP/SFP+\n\tConnetor type\t: LC\n\tDistance\t: 80\n"
           "\tMedium\t\t: 1\n\tSupport speed\t: 10000\n\tWavelength\t: 2\n\n";
}

constexpr const char *kDump16 = "\n\r 3\t 4\t 7\t10\t 0\t 0\t 0\t 0\t\n\r 0\t 0\t 0\t 0\t67\t 0\t 0\t 0\t\nSUCCESS\n";

class SfpCommands : public PlovTest {};
class SfpCommandsKesp : public PlovKespTest {};

// ---- register read and write, dump -----------------------------------------------------------

TEST_F(SfpCommands, RegisterReadAndDumpPrintRowsOfEight)
{
    expect_m({
        {"sfp/t/0:0xa0:0:16", 0, kDump16},
        {"sfp/t/0:0xa0:0:0", 0, "\nSUCCESS\n"},
        {"sfp/r/0:0xa0:0:16", 0, kDump16},
        {"sfp/r/0:0xa0:0:0", 0, "\nSUCCESS\n"},
        {"sfp/t/0:0xa0:0", 2, invalid("get_sfp_reg", 3320, 3)},
        {"sfp/t/", 2, invalid("get_sfp_reg", 3320, -1)},
        {"sfp/t/0:0xa0:0:65536", 2, invalid("get_sfp_reg", 3320, 4)},   // the request holds 16 bits
        {"sfp/r/0:0xa0:0:257", 2, invalid("get_sfp_data", 6120, 4)},    // the dump holds 256 bytes
        {"sfp/r/0:a0:0:1", 2, invalid("get_sfp_data", 6120, 1)},
        {"sfp/t/8:0xa0:0:1", 2, "FAILED\nFunction TRANS_GetSfpReg exe error, iRet = -1331, [get_sfp_reg] trans/trans:3348\n"},
        {"sfp/r/8:0xa0:0:1", 2,
         "FAILED\nFunction DornTransGetSfpArea exe error, iRet = -1331, [get_sfp_data] trans/trans:6128\n"},
    });
    EXPECT_EQ(requests_seen(PLOV_IOC_GET_SFP_REG), 2u);
    sim_fail_request(kSbuf, PLOV_IOC_GET_SFP_REG, EIO);
    sim_fail_request(kSbuf, PLOV_IOC_GET_SFP_AREA, EIO);
    expect_m({
        {"sfp/t/0:0xa0:0:1", 2, "FAILED\nFunction TRANS_GetSfpReg exe error, iRet = -1, [get_sfp_reg] trans/trans:3348\n"},
        {"sfp/r/0:0xa0:0:1", 2, "FAILED\nFunction DornTransGetSfpArea exe error, iRet = -1, [get_sfp_data] trans/trans:6128\n"},
    });
}

// The dump buffer holds one whole page: 256 bytes are dumped in 32 rows,
// 257 are refused before any request.
TEST_F(SfpCommands, DumpOfTheWholePageAndOneByteMore)
{
    std::vector<uint8_t> page(256);
    for (size_t i = 0; i < page.size(); i++)
        page[i] = static_cast<uint8_t>(255 - i);
    fpga_set_sfp_bytes(kSbuf, 0, 0xA0, 0, page);
    std::string rows;
    for (size_t i = 0; i < page.size(); i++) {
        char field[8];
        std::snprintf(field, sizeof field, "%s%2x\t", i % 8 == 0 ? "\n\r" : "", page[i]);
        rows += field;
    }
    ASSERT_TRUE(rows.starts_with("\n\rff\tfe\tfd\tfc\tfb\tfa\tf9\tf8\t\n\rf7\t"));
    ASSERT_TRUE(rows.ends_with("\t 8\t\n\r 7\t 6\t 5\t 4\t 3\t 2\t 1\t 0\t"));
    struct Row {
        const char *path;
        int status;
        std::string out;
        size_t requests;
    };
    const Row table[] = {
        {"sfp/r/0:0xa0:0:256", 0, rows + "\nSUCCESS\n", 1},
        {"sfp/r/0:0xa0:0:257", 2, invalid("get_sfp_data", 6120, 4), 0},
    };
    for (const Row &t : table) {
        sim_clear_journal();
        ConsoleRun r = run_m(t.path);
        EXPECT_EQ(r.out, t.out) << t.path;
        EXPECT_EQ(r.status, t.status) << t.path;
        EXPECT_EQ(count_of(r.out, "\n\r"), t.status == 0 ? 32u : 0u) << t.path;
        EXPECT_EQ(requests_seen(PLOV_IOC_GET_SFP_AREA), t.requests) << t.path;
    }
}

TEST_F(SfpCommands, RegisterWriteConsumesItsValues)
{
    expect_m({
        {"sfp/w/0:0xa2:110:2:0x1:0x2", 0, "sfp_read_data.buf[0] = 0x1\nsfp_read_data.buf[1] = 0x2\n\nSUCCESS\n"},
        {"sfp/w/1:0xa2:110:3:0x1:0x2", 2,
         "sfp_read_data.buf[0] = 0x1\nsfp_read_data.buf[1] = 0x2\n" + invalid("set_sfp_reg", 3398, -1)},
        {"sfp/w/0:0xa2:110:1:7", 2, invalid("set_sfp_reg", 3398, 0)},
        {"sfp/w/0:0xa2:110", 2, invalid("set_sfp_reg", 3376, 3)},
        {"sfp/w/0:0xa2:110:70000:0x1", 2, invalid("set_sfp_reg", 3376, 5)},
        {"sfp/w/0:0xa2:110:0:0x9", 0, "\nSUCCESS\n"},   // length 0: nothing consumed, still a buffer
    });
    std::vector<uint8_t> page = fpga_get_sfp_page(kSbuf, 0, 0xA2);
    EXPECT_EQ(page[110], 1);
    EXPECT_EQ(page[111], 2);
    EXPECT_EQ(fpga_get_sfp_page(kSbuf, 1, 0xA2)[110], 0);   // the refused write sent nothing
    sim_fail_request(kSbuf, PLOV_IOC_SET_SFP_REG, EIO);
    expect_m({{"sfp/w/0:0xa2:110:1:0x5", 2,
               "sfp_read_data.buf[0] = 0x5\nFAILED\nFunction TRANS_SetSfpReg exe error, iRet = -1, [set_sfp_reg] "
               "trans/trans:3420\n"}});
}

TEST_F(SfpCommandsKesp, RegisterRowsGoToTheKespDriver)
{
    ConsoleRun r = run_m("sfp/t/0:0xa0:0:2");
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_EQ(r.out, "\n\r 3\t 4\t\nSUCCESS\n");
    EXPECT_EQ(sim_journal().back().node, kTrans);
    r = run_m("sfp/w/0:0xa2:110:1:0x3");
    EXPECT_EQ(r.out, "sfp_read_data.buf[0] = 0x3\n\nSUCCESS\n");
}

TEST_F(SfpCommands, RegisterRowsRefuseOtherBoards)
{
    char saved[sizeof gBoardName];
    std::memcpy(saved, gBoardName, sizeof saved);
    std::strcpy(gBoardName, "ZK17TRVA");
    using Handler = TransOpStatus (*)(const char *);
    const std::pair<Handler, const char *> calls[] = {{get_sfp_reg, "0:0xa0:0:1"}, {set_sfp_reg, "0:0xa0:0:1:0x1"}};
    for (const auto &[fn, text] : calls) {
        ConsoleRun r = console_run([f = fn, t = text] { return f(t); });
        EXPECT_EQ(r.status, -1202);
        EXPECT_TRUE(r.out.ends_with("FAILED\nInvalid board type\n")) << r.out;
    }
    std::memcpy(gBoardName, saved, sizeof saved);
    EXPECT_TRUE(sim_journal().empty());
}

// ---- hot-swap state ------------------------------------------------------------------------------

TEST_F(SfpCommands, HotSwapLineAndItsTwoFailures)
{
    std::vector<uint8_t> iic(16, 0);
    iic[3] = 4;    // oper_result
    iic[4] = 3;    // sfp_type
    iic[10] = 9;   // iic_status
    iic[11] = 1;   // status_result
    fpga_set_record(kSbuf, FpgaRecord::IicStatus, 2, iic);
    expect_m({
        {"sfp/h/2", 0,
         "\nSUCCESS\nsfp_id : 2\n\tprev:0\tcur:0\tsfp_type:3\tphy_link:0\n\toper_result:4\tupdate_flag:0\tstatus_result:1"
         "\tiic_status:9\n"},
        {"sfp/h/", 2, invalid("get_sfp_hs_status", 3440, -1)},
        {"sfp/h/8", 2,
         "FAILED\nFunction TRANS_GetSfpHsState exe error, iRet = -1331, [get_sfp_hs_status] trans/trans:3447\n"},
    });
    sim_fail_request(kSbuf, PLOV_IOC_GET_IIC_STATUS, EIO);
    expect_m({{"sfp/h/1", 2,
               "FAILED\nFunction TRANS_GetIicStatus exe error, iRet = -1, [get_sfp_hs_status] trans/trans:3452\n"}});
}

// ---- PCIe endpoints -------------------------------------------------------------------------------

TEST_F(SfpCommandsKesp, EndpointRowsPassTheFourValues)
{
    ConsoleRun r = run_set("transmit/a/1:2:3:4");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "");
    const uint32_t words[4] = {1, 2, 3, 4};
    EXPECT_TRUE(fpga_has_record(kTrans, FpgaRecord::PciPortEp, fpga_pci_ep_key(words)));
    EXPECT_EQ(requests_seen(PLOV_IOC_ADD_PCI_PORT_EP), 1u);
    r = run_set("transmit/r/1:2:3:4");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(requests_seen(PLOV_IOC_RM_PCI_PORT_EP), 1u);

    struct Bad {
        const char *path;
        const char *name;
        unsigned line;
        int iret;
    };
    for (const Bad &b : {Bad{"transmit/a/1:2:3", "add_pcie_port_ep", 3480, 3},
                         Bad{"transmit/r/1:2:3:4294967295", "remove_pcie_port_ep", 3500, 4},
                         Bad{"transmit/a/", "add_pcie_port_ep", 3480, -1}}) {
        r = run_set(b.path);
        EXPECT_EQ(r.status, -1202) << b.path;
        EXPECT_EQ(r.out, invalid(b.name, b.line, b.iret)) << b.path;
    }
    // Both rows share the failure text.
    sim_fail_request(kTrans, PLOV_IOC_ADD_PCI_PORT_EP, EIO);
    sim_fail_request(kTrans, PLOV_IOC_RM_PCI_PORT_EP, EIO);
    for (const char *path : {"transmit/a/1:2:3:4", "transmit/r/1:2:3:4"}) {
        r = run_set(path);
        EXPECT_LT(r.status, 0) << path;
        EXPECT_EQ(r.out, "FAILED\nKespAddPciPortEp err, return " + std::to_string(r.status) + "\n\n") << path;
    }
}

// ---- PCI address text ----------------------------------------------------------------------------

TEST(EthPciAddress, ParsesAndRefuses)
{
    struct Row {
        const char *text;
        int32_t rc;
        uint8_t bus, device, function;
        uint16_t domain;
    };
    const Row rows[] = {
        {"0000:03:00.1", 0, 3, 0, 1, 0},     {"0001:Af:1F.7", 0, 0xAF, 0x1F, 7, 1},
        {"10000:103:00.1", 0, 3, 0, 1, 0},   // each number modulo its field
        {"03:00.1", -1317, 0, 0, 0, 0},      {"0000:03:00", -1398, 0, 0, 0, 0},
        {"0000:03:00.", -1361, 0, 0, 0, 0},  {"0000:0g:00.1", -1200, 0, 0, 0, 0},
        {"", -1202, 0, 0, 0, 0},             {"0000:03:", -1202, 0, 0, 0, 0},
        {"0:0:0:0.1", -1317, 0, 0, 0, 0},    {"pci0000:00", -1317, 0, 0, 0, 0},
    };
    for (const Row &r : rows) {
        EthPciAddr a;
        std::memset(&a, 0xEE, sizeof a);
        const std::string before = r.text;
        EXPECT_EQ(eth_pci_get_dev_func(r.text, &a), r.rc) << r.text;
        EXPECT_EQ(before, r.text);   // the caller's text stays as it was
        if (r.rc != 0)
            continue;
        EXPECT_EQ(a.bus, r.bus) << r.text;
        EXPECT_EQ(a.device, r.device) << r.text;
        EXPECT_EQ(a.function, r.function) << r.text;
        EXPECT_EQ(a.domain, r.domain) << r.text;
    }
}

// ---- module status -------------------------------------------------------------------------------

TEST_F(SfpCommands, StatusOfPresentAbsentAndLoopBackModules)
{
    fpga_set_sfp_bytes(kSbuf, 1, 0xA2, 112, {1, 2, 3, 4, 5, 6});
    ConsoleRun r = run_m("sfp/s/1");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "port1\t:\n\tAlarmLow       : 0x1\n\tAlarmHigh      : 0x2\n\tWarnLow        : 0x5\n"
                     "\tWarnHigh       : 0x6\n\ttx_fault       : 0\n\trx_los         : 0\n\ttx_disable_test: 0\n"
                     "\trs_test        : 0\n\ttx_fault_test  : 0\n\trx_los_test    : 0\n\tonline_test    : 0\n"
                     "\ths_cnt         : 0\n\ths_threshold   : 0\n\nSUCCESS\n");

    fpga_set_reg(kSbuf, 0x6900, 1u << (8 + 3));   // cage 3 empty
    expect_m({
        {"sfp/s/3", 2,
         "port3\t:\tNOT PRESENT\nFAILED\nFunction get_sfp_status_byid exe error, iRet = -1341, [get_sfp_status] "
         "trans/trans:6230\n"},
        {"sfp/s/8", 2, "FAILED\nInput num is between 8 and 255 or over 255, please check\n"},
        {"sfp/s/256", 2, "FAILED\nInput num is between 8 and 255 or over 255, please check\n"},
        {"sfp/s/", 2, invalid("get_sfp_status", 6210, -1)},
    });
    r = run_m("sfp/s/255");
    EXPECT_EQ(r.status, 2);
    EXPECT_TRUE(r.out.ends_with("FAILED\nSometimes Function get_sfp_status_byid exe error, [get_sfp_status] "
                                "trans/trans:6245\n"))
        << r.out;

    // A loop-back module runs the pin test; a sound one passes it.
    fpga_set_sfp_bytes(kSbuf, 2, 0xA0, 40, std::vector<uint8_t>{'L', 'O', 'O', 'P', 'B', 'A', 'C', 'K', 'M', 'C', 'U'});
    fpga_set_sfp_loopback(kSbuf, 2);
    r = run_m("sfp/s/2");
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_NE(r.out.find("\tonline_test    : 0\n"), std::string::npos);
    // A stuck one fails it: -1200.
    fpga_set_sfp_loopback(kSbuf, 2, true);
    EXPECT_EQ(console_run([] { return get_sfp_status("2"); }).status, -1200);

    sim_fail_request(kSbuf, PLOV_IOC_GET_SFP_AREA, EIO);
    r = run_m("sfp/s/0");
    EXPECT_EQ(r.status, 2);
    EXPECT_TRUE(r.out.starts_with("Call sfp_8472_get_vendor_pn error, iRet = -1\n")) << r.out;
}

TEST_F(SfpCommandsKesp, StatusPrintsTheFixedBlocks)
{
    ConsoleRun r = run_m("sfp/s/255");
    EXPECT_EQ(r.status, 0);
    const std::string block =
        "        AlarmLow       : 0\n        AlarmHigh      : 0\n        WarnLow        : 0\n"
        "        WarnHigh       : 0\n        tx_fault       : 0\n        rx_los         : 0\n"
        "        tx_disable_test: 0\n        rs_test        : 0\n        tx_fault_test  : 0\n"
        "        rx_los_test    : 0\n        online_test    : 0\n        hs_cnt         : 0\n"
        "        hs_threshold   : 0\n";
    EXPECT_EQ(r.out, "port0:\n" + block + "port1:\n" + block + "port2:\n" + block + "port3:\n" + block + "unsupported\n");
    EXPECT_EQ(run_m("sfp/s/1").out, "port1:\n" + block + "unsupported\n");
    r = run_m("sfp/s/4");
    EXPECT_EQ(r.out, "FAILED,port_id out of range\n");
    EXPECT_EQ(console_run([] { return get_sfp_status("4"); }).status, -1205);
    EXPECT_TRUE(sim_journal().empty());
}

// ---- module identity on the packet boards ---------------------------------------------------------

TEST_F(SfpCommands, IdentityOnDorn)
{
    fpga_set_reg(kSbuf, 0x6900, 1u << (8 + 7));   // cage 7 empty
    expect_m({
        {"sfp/i/1", 0, "port1\t:\n" + identity("QX00000000000001") + "SUCCESS\n"},
        {"sfp/i/8", 2, "FAILED\nInput num is between 8 and 255 or over 255, please check\n"},
        {"sfp/i/7", 2,
         "port7\t:\tNOT PRESENT\nFAILED\nFunction get_sfp_info_byid exe error, iRet = -1341, [get_sfp_info] "
         "trans/trans:6352\n"},
        {"sfp/i/", 2, invalid("get_sfp_info", 6330, -1)},
    });
    ConsoleRun r = run_m("sfp/i/255");
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.out.find("port1\t:\n" + identity("QX00000000000001") + "port2"), std::string::npos) << r.out;
    EXPECT_TRUE(r.out.ends_with("FAILED\nSometimes Function get_sfp_info_byid or get_sfp_info_by_name exe error, "
                                "[get_sfp_info] trans/trans:6366\n"));
    sim_fail_request(kSbuf, PLOV_IOC_GET_SFP_AREA, EIO, 2);
    r = run_m("sfp/i/0");
    EXPECT_TRUE(r.out.starts_with("port0\t:Function DornTransGetSfpArea exe error, iRet = -1\n")) << r.out;
}

TEST_F(SfpCommandsKesp, IdentityOnKesp)
{
    ConsoleRun r = run_m("sfp/i/1");
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_EQ(r.out, "port1\t:\n" + identity("QX00000000000001") + "SUCCESS\n");
    expect_m({
        {"sfp/i/2", 2,
         "port2\t:\tNOT PRESENT\nFAILED\nFunction get_sfp_info_byid exe error, iRet = -1341, [get_sfp_info] "
         "trans/trans:6352\n"},
        {"sfp/i/4", 2, "FAILED\nInput num is between 4 and 255 or over 255, please check\n"},
    });
}

// ---- module identity through the network interfaces -----------------------------------------------

class SfpByName : public SfpCommands {
protected:
    std::string board() const override { return board_; }
    std::string board_ = "ZK17FOLRA";
};

struct BoardPorts {
    const char *board;
    std::vector<std::string> names;   // port 0, 1, ...
};

TEST_F(SfpByName, EveryInterfaceMapFindsItsPorts)
{
    const BoardPorts boards[] = {
        {"ZK17WENA", {"eth0", "eth1"}},
        {"ZK17FOLRA", {"enp4s0f2", "enp4s0f3", "enp7s0", "enp7s0d1"}},
        {"ZK17FOLRB", {"enp9s0", "enp9s0d1", "enp131s0", "enp131s0d1"}},
        {"ZK17WENB", {"eth0", "eth1"}},
    };
    for (const BoardPorts &b : boards) {
        sim_board_close();
        std::filesystem::remove_all(root_);
        std::filesystem::create_directories(root_);
        ASSERT_EQ(sim_board_open(root_, b.board), 0);
        for (size_t p = 0; p < b.names.size(); p++) {
            ConsoleRun r = run_m("sfp/i/" + std::to_string(p));
            EXPECT_EQ(r.status, 0) << b.board << " " << p << r.out;
            EXPECT_EQ(r.out, "port" + std::to_string(p) + "[" + b.names[p] + "]\t:\n" +
                                 identity(("QXNET" + b.names[p] + "                ").substr(0, 16)) + "SUCCESS\n")
                << b.board << " " << p;
        }
        ConsoleRun all = run_m("sfp/i/255");
        EXPECT_EQ(all.status, 0) << b.board << all.out;
        ConsoleRun over = run_m("sfp/i/" + std::to_string(b.names.size()));
        EXPECT_EQ(over.out, "FAILED\nInput num is between " + std::to_string(b.names.size()) +
                                " and 255 or over 255, please check\n");
    }
}

TEST_F(SfpByName, AttributeProtocolAndDeviceBusNotCompared)
{
    // Port 0 of FOLRA moved behind another bus number: still found.
    std::filesystem::remove_all(sim_path("/sys/class/net/enp4s0f2"));
    net_sfp_add_interface("enp10s0f2", "pci0000:00/0000:00:02.1/0000:0a:00.2", "", 1);
    ConsoleRun r = run_m("sfp/i/0");
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_TRUE(r.out.starts_with("port0[enp10s0f2]\t:\n")) << r.out;
    // Offsets and lengths go as 32-byte "%d" blocks before each dump.
    std::vector<std::string> w = net_sfp_writes();
    ASSERT_GE(w.size(), 4u);
    EXPECT_EQ(w[0], "a0_offset=20");
    EXPECT_EQ(w[1], "a0_readlen=16");
    EXPECT_EQ(w[2], "a0_offset=40");
    for (const SimJournalEntry &e : sim_journal_of(SimEvent::write))
        if (e.node.ends_with("_offset")) {
            EXPECT_EQ(e.length, 32u);
        }
}

TEST_F(SfpByName, AbsentModulesAndBrokenFiles)
{
    // sfp_status 3: absent.
    net_sfp_add_interface("enp4s0f3", "pci0000:00/0000:00:02.1/0000:04:00.3", "", 3);
    // Present by its status file, but the driver's dump answers EPERM: absent too.
    net_sfp_set_absent("enp7s0", true);
    expect_m({
        {"sfp/i/1", 2,
         "port1[enp4s0f3]\t:\tNOT PRESENT\nFAILED\nFunction get_sfp_info_by_name exe error, iRet = -1341, "
         "[get_sfp_info] trans/trans:6352\n"},
        {"sfp/i/2", 2,
         "port2[enp7s0]\t:\tNOT PRESENT\nFAILED\nFunction get_sfp_info_by_name exe error, iRet = -1341, "
         "[get_sfp_info] trans/trans:6352\n"},
    });
    ConsoleRun r = run_m("sfp/i/255");
    EXPECT_EQ(r.status, 2);
    EXPECT_TRUE(r.out.ends_with("FAILED\nSometimes Function get_sfp_info_byid or get_sfp_info_by_name exe error, "
                                "[get_sfp_info] trans/trans:6366\n"));

    // A module that claims no speed: the notice, and -1398.
    net_sfp_set_bytes("enp4s0f2", 0xA0, 3, {0});
    r = console_run([] { return get_sfp_info_by_name(2, 0); });
    EXPECT_EQ(r.status, -1398);
    EXPECT_NE(r.out.find("\tMedium\t\t: 1\n\tNotice speed error! get sfp data error!\tSupport speed\t: 0\n"),
              std::string::npos)
        << r.out;

    // A dump read that stops short for another reason.
    sim_fail_op(SimFaultOp::read, "/sys/class/net/enp7s0d1/private/dumpa0", EIO);
    r = console_run([] { return get_sfp_info_by_name(2, 3); });
    EXPECT_EQ(r.status, -1218);
    EXPECT_NE(r.out.find("fread (/sys/class/net/enp7s0d1/private/dumpa0) return(0) errno(5)"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("call func_handler get vendor_name fail! iRet=-1218\n"), std::string::npos);

    // The status file gone.
    std::filesystem::remove(sim_path("/sys/class/net/enp4s0f2/private/sfp_status"));
    r = console_run([] { return get_sfp_info_by_name(2, 0); });
    EXPECT_EQ(r.status, -1219);
    EXPECT_EQ(r.out, "access(/sys/class/net/enp4s0f2/private/sfp_status) return(-1) no pci root port exist\n"
                     "port0[enp4s0f2]\t:Function get_sfp_present_sysfs exe error, iRet = -1219\n");
}

TEST_F(SfpByName, InterfaceLookup)
{
    char name[kPortNameSize] = {};
    EXPECT_EQ(console_run([&] { return get_port_name_by_portid(5, 0, name); }).out, "Board type [5] error!\n\n");
    // "lo" and "dummy0" (no PCI path) are passed over; no match leaves the name empty.
    EXPECT_EQ(get_port_name_by_portid(2, 9, name), 0);
    EXPECT_STREQ(name, "");
    EthPciAddr root{}, dev{};
    EXPECT_EQ(eth_get_bus_info("dummy0", &root, &dev), -1350);
    ASSERT_EQ(eth_get_bus_info("enp7s0d1", &root, &dev), 0);
    EXPECT_EQ(root.bus, 0);
    EXPECT_EQ(root.device, 2);
    EXPECT_EQ(root.function, 2);
    EXPECT_EQ(dev.bus, 7);

    // A device entry that is no link, and a link whose target fills the buffer.
    std::filesystem::create_directories(sim_path("/sys/class/net/eth9"));
    sim_write_file("/sys/class/net/eth9/device", "x");
    ConsoleRun r = console_run([&] { return eth_get_bus_info("eth9", &root, &dev); });
    EXPECT_EQ(r.status, -1221);
    EXPECT_EQ(r.out, "file(/sys/class/net/eth9/device) is not a link file!\n\n");
    std::filesystem::remove(sim_path("/sys/class/net/eth9/device"));
    const std::string deep = "devices/" + std::string(200, 'a') + "/" + std::string(60, 'b');
    std::filesystem::create_directories(sim_path("/sys/" + deep));
    std::filesystem::create_symlink("../../../" + deep, sim_path("/sys/class/net/eth9/device"));
    r = console_run([&] { return eth_get_bus_info("eth9", &root, &dev); });
    EXPECT_EQ(r.status, -1219);
    EXPECT_TRUE(r.out.starts_with("readlink(/sys/class/net/eth9/device) failed")) << r.out;

    // A dev_id file that cannot be read ends the search with its status.
    std::filesystem::remove(sim_path("/sys/class/net/enp7s0/dev_id"));
    std::filesystem::remove(sim_path("/sys/class/net/enp7s0d1/dev_id"));
    r = console_run([&] { return get_port_name_by_portid(2, 2, name); });
    EXPECT_EQ(r.status, -1216);
    EXPECT_NE(r.out.find("call get_net_port_dev_id error, iRet = -1216\n"), std::string::npos) << r.out;
    r = run_m("sfp/i/2");
    EXPECT_NE(r.out.find("Call get_port_name_by_portid exe error, iRet = -1216\n"), std::string::npos) << r.out;
}

} // namespace

// -m pxe and -m crypto as whole command lines, "test"/"crypto" through its
// dispatcher, on the simulated board with its IPMI driver and BMC.
#include <gtest/gtest.h>

#include <sys/ioctl.h>
#include <linux/ipmi.h>

#include <cerrno>
#include <string>
#include <vector>

#include "hwmanage/hpi/plugins/hardware/ipmi_command.h"
#include "sim/ipmi_model.h"
#include "support/console_run.h"
#include "support/sim_fixture.h"
#include "tool/quorbix.h"
#include "tool/trans_op.h"

namespace {

ConsoleRun run_m(const std::string &path)
{
    return console_run([&] {
        return quorbix_mfc(path);
    });
}

// The IPMI device stays open by design; the test closes it at the end.
class IpmiSimTest : public SimTest {
protected:
    void TearDown() override
    {
        if (g_iIpmiFd != -1)
            close_ipmi(&g_iIpmiFd);
        SimTest::TearDown();
    }
};

class PxeCommand : public IpmiSimTest {};

const std::string kFail = "ipmi_get_board_pxe_state fail, ret=-1\n";

TEST_F(PxeCommand, Flags)
{
    const std::string e1 = "\t*** BASE1 PXE ENABLED ***\n", d1 = "\t*** WARNNING : BASE1 PXE DISABLED ***\n";
    const std::string e2 = "\t*** BASE2 PXE ENABLED ***\n", d2 = "\t*** WARNNING : BASE2 PXE DISABLED ***\n";
    struct {
        std::vector<uint8_t> data;  // after the completion code; empty: the default BMC
        uint8_t cc;
        std::string out;
        int exit;
    } rows[] = {
        {{}, 0, "pxe's flag: 0xc\n" + e1 + e2, 0},
        {{0x01, 0x62, 0x04}, 0, "pxe's flag: 0x4\n" + e1 + d2, 0},
        {{0x01, 0x62, 0x08}, 0, "pxe's flag: 0x8\n" + d1 + e2, 0},
        {{0x01, 0x62, 0x00}, 0, "pxe's flag: 0x0\n" + d1 + d2, 0},
        {{0x01, 0x62, 0x0C}, 0x80, kFail, 2},
        {{0x01, 0x62}, 0, kFail, 2},  // too short to hold the flags
    };
    for (const auto &r : rows) {
        sim_reset(root_);
        SimDoc none;
        ipmi_model_attach(none);
        g_iIpmiFd = -1;
        g_lMsgSeq = 0;
        if (!r.data.empty() || r.cc)
            ipmi_model_add_rule(IpmiBmcRule{0, 9, {}, r.cc, r.data, 1, false});
        ConsoleRun run = run_m("pxe");
        EXPECT_EQ(run.out, r.out);
        EXPECT_EQ(run.status, r.exit);
        close_ipmi(&g_iIpmiFd);
    }
}

TEST_F(PxeCommand, JournalOfOneRequest)
{
    ASSERT_EQ(run_m("pxe").status, 0);
    ASSERT_EQ(run_m("pxe").status, 0);
    const std::vector<SimJournalEntry> sends = sim_journal_of(SimEvent::request, {}, IPMICTL_SEND_COMMAND);
    ASSERT_EQ(sends.size(), 2u);
    EXPECT_EQ(requests_seen(IPMICTL_GET_MY_ADDRESS_CMD), 2u);
    EXPECT_EQ(requests_seen(IPMICTL_RECEIVE_MSG_TRUNC), 2u);
    for (size_t i = 0; i < sends.size(); i++) {
        EXPECT_EQ(sends[i].extra, (std::vector<uint64_t>{i, 0x00, 0x09}));
        EXPECT_EQ(sim_attachment(sends[i], "data")->bytes, (std::vector<uint8_t>{0x62, 0, 0}));
        const std::vector<uint8_t> &addr = sim_attachment(sends[i], "address")->bytes;
        ASSERT_EQ(addr.size(), 8u);
        EXPECT_EQ(addr[0], 0x0C);  // system interface, channel 0x0F, LUN 0
        EXPECT_EQ(addr[4], 0x0F);
        EXPECT_EQ(addr[6], 0x00);
    }
    // The request numbers are the kernel's.
    EXPECT_EQ(IPMICTL_SEND_COMMAND, 0x8028690DUL);
    EXPECT_EQ(IPMICTL_RECEIVE_MSG_TRUNC, 0xC030690BUL);
    EXPECT_EQ(IPMICTL_GET_MY_ADDRESS_CMD, 0x80046912UL);
}

TEST_F(PxeCommand, NodesAndFailures)
{
    for (const char *node : kIpmiNodes) {
        ipmi_model_set_node(node);
        ConsoleRun run = run_m("pxe");
        EXPECT_EQ(run.status, 0) << node;
        EXPECT_EQ(sim_open_count(), 1) << node;  // the IPMI device stays open
        close_ipmi(&g_iIpmiFd);
    }
    ipmi_model_set_node("");
    EXPECT_EQ(run_m("pxe").out, kFail);
    EXPECT_EQ(sim_open_count(), 0);

    ipmi_model_set_node(kIpmiDefaultNode);
    for (unsigned long req : {IPMICTL_GET_MY_ADDRESS_CMD, IPMICTL_SEND_COMMAND, IPMICTL_RECEIVE_MSG_TRUNC}) {
        sim_clear_faults();
        sim_fail_request(kIpmiDefaultNode, req, EIO);
        ConsoleRun run = run_m("pxe");
        EXPECT_EQ(run.out, kFail) << std::hex << req;
        EXPECT_EQ(run.status, 2);
    }
    sim_clear_faults();
    uint64_t msgSeq = static_cast<uint64_t>(g_lMsgSeq);
    EXPECT_EQ(msgSeq, 6u);  // four nodes, and the failed send counts too
}

TEST_F(PxeCommand, SilentBmcWaitsFiveSeconds)
{
    ipmi_model_add_rule(IpmiBmcRule{0, 9, {}, 0, {}, 0, true});
    uint64_t start = sim_clock_ns();
    EXPECT_EQ(run_m("pxe").out, kFail);
    EXPECT_EQ((sim_clock_ns() - start) / 1000000000u, 5u);
}

// A late answer to an earlier request is dropped and the wait goes on.
TEST_F(PxeCommand, LateReplyDropped)
{
    ipmi_model_add_rule(IpmiBmcRule{0, 9, {}, 0, {0x01, 0x62, 0x04}, 300, false});
    ipmi_model_queue_reply(77, 0x01, 0x09, {0x00, 0x01, 0x62, 0x08}, 100);
    ConsoleRun run = run_m("pxe");
    EXPECT_EQ(run.out.substr(0, 16), "pxe's flag: 0x4\n");
    EXPECT_EQ(ipmi_model_queued(), 0u);
    EXPECT_EQ(run_m("pxe").status, 0);
}

TEST_F(PxeCommand, TruncatedReplyAccepted)
{
    uint8_t rsp[4] = {};
    uint16_t len = 0;
    int fd = -1;
    ASSERT_EQ(open_ipmi(&fd), 0);
    static constexpr uint8_t kReq[] = {0x62, 0, 0};
    EXPECT_EQ(ipmi_cmd_send(fd, 0x09, 0x00, 0, kReq, sizeof kReq, rsp, sizeof rsp, &len), 0);
    EXPECT_EQ(len, 4u);
    EXPECT_EQ(rsp[3], 0x0C);
    close_ipmi(&fd);
}

class CryptoCommand : public SimTest {};

TEST_F(CryptoCommand, QueryStatuses)
{
    for (int status : {0, 256, 127 * 256}) {
        sim_reset(root_);
        if (status != 127 * 256)
            sim_script_command("./cryptotool query", SimShellScript{"", status, {}});
        ConsoleRun run = run_m("crypto");
        EXPECT_EQ(run.status, status == 0 ? 0 : 2);
        EXPECT_EQ(console_run([] { return op_mfc("crypto"); }).status, status);
    }
}

TEST_F(CryptoCommand, TestTexts)
{
    const std::string t49(49, '7'), t50(50, '7');
    struct {
        std::string params;
        const char *command;  // null: nothing runs
        int status;
        std::string out;
    } rows[] = {
        {"0", "./cryptotool equipfun chipid=0", 0, ""},
        {"1", "./cryptotool equipfun chipid=1", 0, ""},
        {"01", nullptr, 1, "Commod error, please check it\n"},
        {"2", nullptr, 1, "Commod error, please check it\n"},
        {"", nullptr, 1, "Commod error, please check it\n"},
        {"0:", "./cryptotool equipstress chipid=0 time=", 0, ""},
        {"1:3600", "./cryptotool equipstress chipid=1 time=3600", 0, ""},
        {"0:" + t49, nullptr, 0, ""},
        {"0:" + t50, nullptr, 162, "strncpy_s time error, ret = 162, please check the param 0:time\n"},
        {"1:1;reboot", nullptr, 1, "Commod error, please check it\n"},
        {"0:$(id)", nullptr, 1, "Commod error, please check it\n"},
        {"1: 5", nullptr, 1, "Commod error, please check it\n"},
    };
    for (const auto &r : rows) {
        sim_reset(root_);
        std::string want = r.command ? r.command : "";
        if (r.params == "0:" + t49)
            want = "./cryptotool equipstress chipid=0 time=" + t49;
        if (!want.empty())
            sim_script_command(want, SimShellScript{"", 0, {}});
        ConsoleRun run = console_run([&] { return op_test(("crypto/" + r.params).c_str()); });
        EXPECT_EQ(run.status, r.status) << r.params;
        EXPECT_EQ(run.out, r.out) << r.params;
        if (want.empty())
            EXPECT_TRUE(sim_commands_run().empty()) << r.params;
        else
            EXPECT_EQ(sim_commands_run(), std::vector<std::string>{want}) << r.params;
    }
}

} // namespace

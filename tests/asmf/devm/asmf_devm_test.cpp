// Card operation and maintenance through the simulated card: request words
// and records, refusals before any open, the register value word, the
// last-word command and its answer file.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <string>
#include <vector>

#include "asmf/adapter/asmf_res.h"
#include "asmf/devm/asmf_devm.h"
#include "asmf/transeiver/asmf_transeiver.h"
#include "sim/asmf_model.h"
#include "sim/sim_host.h"
#include "support/sim_fixture.h"

namespace {

constexpr const char *kCard = "/dev/acce_dev0";
const std::string kLastwordCmd =
    "cd /var/log/orvo/ && ls -alcr acce0* >/dev/null && ls -alcr acce0*  | head -n 1 | awk '{printf $9}' > "
    "result.txt";

bool logged(const std::string &text)
{
    for (const SimLogLine &l : sim_syslog())
        if (l.text.find(text) != std::string::npos)
            return true;
    return false;
}

std::vector<SimJournalEntry> card_requests() { return sim_journal_of(SimEvent::request, kCard); }

class AsmfDevmTest : public SimTest {
protected:
    void TearDown() override
    {
        asmf_res_exit();
        SimTest::TearDown();
    }
};

struct OmCase {
    const char *name;
    int (*call)(uint32_t id);
    uint8_t number;
    uint32_t size;
    std::vector<uint8_t> record;  // as the card saw it (empty: not checked)
    const char *failure;          // line of a failed request
};

AsmfLevelCfg g_level{{1, 2, 3, 4}, 0x1122334455667788ULL};
uint8_t g_byte;

const OmCase kOmCases[] = {
    {"set level", [](uint32_t id) { return asmf_set_levle_cfg(id, &g_level); }, 0x15, 24,
     {1, 0, 0, 0, 2, 0, 0, 0, 3, 0, 0, 0, 4, 0, 0, 0, 0x88, 0x77, 0x66, 0x55, 0x44, 0x33, 0x22, 0x11},
     "call asmf_fpga_set_levle_cfg fail. ret=-1"},
    {"get level", [](uint32_t id) { return asmf_get_levle_cfg(id, &g_level); }, 0x14, 24, {}, "get_levle_cfg fail"},
    {"set lazy", [](uint32_t id) { return asmf_set_lazy_cfg(id, 0x5A); }, 0x13, 4, {0x5A, 0, 0, 0}, "lazy_cfg fail"},
    {"get lazy", [](uint32_t id) { return asmf_get_lazy_cfg(id, &g_byte); }, 0x12, 4, {}, "lazy_cfg fail"},
    {"set alh", [](uint32_t id) { return asmf_set_alh_cfg(id, 7); }, 0x11, 4, {7, 0, 0, 0}, "alh_cfg fail"},
    {"get alh", [](uint32_t id) { return asmf_get_alh_cfg(id, &g_byte); }, 0x10, 4, {},
     "call asmf_fpga_get_alh_cfg fail. ret=-1\n"},
    {"clear traffic", asmf_clr_traffic_stat, 0x1F, 4, {}, "call asmf_fpga_clr_traffic_stat fail. ret=-1\n"},
    {"test reg", [](uint32_t id) { return asmf_test_reg(id, 0xA5); }, 0x34, 4, {0xA5, 0, 0, 0},
     "call asmf_fpga_test_reg fail. ret=-1\n"},
    {"write reg", [](uint32_t id) { return asmf_write_4byte_reg(id, 0xE108, 0x12345678); }, 0x32, 8,
     {0x08, 0xE1, 0, 0, 0x78, 0x56, 0x34, 0x12}, "call asmf_fpga_write_4byte_reg fail. ret=-1\n"},
    {"write lastword", asmf_write_lastword, 0x33, 4, {1, 0, 0, 0}, "call asmf_fpga_write_lastword fail. ret=-1\n"},
    {"collect info", asmf_collect_Info, 0x33, 4, {0, 0, 0, 0}, "call asmf_fpga_write_lastword fail. ret=-1\n"},
    {"soft reset", asmf_soft_reset, 0x30, 4, {}, "exc_soft_reset fail"},
};

TEST_F(AsmfDevmTest, EachOperationSendsItsRequestAndJudgesItsResult)
{
    for (const OmCase &c : kOmCases) {
        SCOPED_TRACE(c.name);
        const unsigned long req = asmf_card_request(AsmfCardReq{c.number, c.size}, 'A');
        sim_clear_journal();
        ASSERT_EQ(c.call(0), 0);
        auto reqs = card_requests();
        ASSERT_EQ(reqs.size(), 1u);
        EXPECT_EQ(reqs[0].request, req);
        if (!c.record.empty()) {
            EXPECT_EQ(reqs[0].record, c.record);
        }

        sim_clear_syslog();
        sim_fail_request(kCard, req, EIO);
        EXPECT_EQ(c.call(0), -1);
        EXPECT_TRUE(logged(c.failure));
        sim_clear_faults();
    }
}

TEST_F(AsmfDevmTest, CardsThatAreNotFpgasAreRefusedBeforeAnyOpen)
{
    asmf_sim_devices()[0].devType = 1;
    for (const OmCase &c : kOmCases) {
        SCOPED_TRACE(c.name);
        sim_clear_journal();
        EXPECT_EQ(c.call(0), ASMF_DEVM_ERR_TYPE);
        EXPECT_TRUE(card_requests().empty());
    }
    char path[ASMF_LASTWORD_LEN];
    EXPECT_EQ(asmf_get_lastword(0, path), ASMF_DEVM_ERR_TYPE);
    EXPECT_TRUE(logged("device type(1) not support."));
    EXPECT_TRUE(sim_commands_run().empty());
}

TEST_F(AsmfDevmTest, UnknownDeviceGivesTheQueryFailure)
{
    EXPECT_EQ(asmf_soft_reset(9), -1);
    EXPECT_TRUE(logged("call asmf_get_dev_by_dev_id fail. ret=-1\n"));
    EXPECT_TRUE(card_requests().empty());
}

TEST_F(AsmfDevmTest, RegisterReadReturnsTheValueWordAndNullOutputsAreRefused)
{
    ASSERT_EQ(asmf_write_4byte_reg(0, 0x1234, 0xCAFEF00D), 0);
    uint32_t value = 0;
    sim_clear_journal();
    ASSERT_EQ(asmf_read_4byte_reg(0, 0x1234, &value), 0);
    EXPECT_EQ(value, 0xCAFEF00Du);
    EXPECT_EQ(card_requests()[0].record, (std::vector<uint8_t>{0x34, 0x12, 0, 0, 0, 0, 0, 0}));

    // The card answers a word; only its low byte reaches a one-byte output.
    ASSERT_EQ(asmf_set_lazy_cfg(0, 0x1FF), 0);
    uint8_t bytes[2] = {0xEE, 0xEE};
    ASSERT_EQ(asmf_get_lazy_cfg(0, bytes), 0);
    EXPECT_EQ(bytes[0], 0xFF);
    EXPECT_EQ(bytes[1], 0xEE);

    sim_clear_journal();
    EXPECT_EQ(asmf_read_4byte_reg(0, 0, nullptr), -1001);
    EXPECT_EQ(asmf_get_lazy_cfg(0, nullptr), -1001);
    EXPECT_EQ(asmf_get_levle_cfg(0, nullptr), -1001);
    EXPECT_EQ(asmf_get_traffic_stat(0, nullptr), -1001);
    EXPECT_EQ(asmf_get_lastword(0, nullptr), -1001);
    EXPECT_TRUE(logged("reg_value is NULL"));
    EXPECT_TRUE(logged("asmf_stat is NULL"));
    EXPECT_TRUE(logged("pcFilePath is NULL"));
    EXPECT_TRUE(sim_journal().empty());
}

TEST_F(AsmfDevmTest, LastWordRunsTheCommandAndReadsTheAnswerFile)
{
    sim_script_command(kLastwordCmd, {"", 0, {{"/var/log/orvo/result.txt", "acce0_lastword_1.log"}}});
    char path[ASMF_LASTWORD_LEN];
    std::memset(path, 'x', sizeof path);
    ASSERT_EQ(asmf_get_lastword(0, path), 0);
    EXPECT_STREQ(path, "/var/log/orvo/acce0_lastword_1.log");
    ASSERT_EQ(sim_commands_run().size(), 1u);
    EXPECT_EQ(sim_commands_run()[0], kLastwordCmd);
}

TEST_F(AsmfDevmTest, LastWordFailures)
{
    char path[ASMF_LASTWORD_LEN];
    sim_script_command(kLastwordCmd, {"", 1 << 8, {}});
    EXPECT_EQ(asmf_get_lastword(0, path), ASMF_DEVM_ERR_SHELL);
    EXPECT_TRUE(logged("Call " + kLastwordCmd + " failed"));

    sim_script_command(kLastwordCmd, {"", 0, {}});
    EXPECT_EQ(asmf_get_lastword(0, path), ASMF_DEVM_ERR_OPEN);
    EXPECT_TRUE(logged("Call open /var/log/orvo/result.txt failed"));
}

TEST_F(AsmfDevmTest, LastWordRefusesADeviceNameUnfitForTheShell)
{
    const char *bad[] = {"", "acce0;reboot", "a b", "x$(id)", "../etc"};
    for (const char *name : bad) {
        SCOPED_TRACE(name);
        asmf_sim_devices()[0].name = name;
        sim_clear_syslog();
        char path[ASMF_LASTWORD_LEN];
        EXPECT_EQ(asmf_get_lastword(0, path), -1001);
        EXPECT_TRUE(logged(std::string("device name(") + name + ") is invalid."));
    }
    EXPECT_TRUE(sim_commands_run().empty());
}

TEST_F(AsmfDevmTest, MaintenanceNoticeIsReceivedWithItsTextCut)
{
    int sock = asmf_create_sock(4321);
    ASSERT_GE(sock, 0);
    OmMsg sent;
    std::memset(&sent, 'z', sizeof sent);
    sent.cmdType = 6;
    ASSERT_EQ(asmf_send_msg(4321, &sent, sizeof sent), 0);
    OmMsg got;
    ASSERT_EQ(asmf_receive_om_msg(sock, 0, &got), 0);
    EXPECT_EQ(got.cmdType, 6u);
    EXPECT_EQ(std::string(got.text), std::string(31, 'z'));
    EXPECT_TRUE(logged("receive msg from kernel. cmd_type=6"));

    ASSERT_EQ(asmf_send_msg(4321, &sent, sizeof sent - 1), 0);  // one byte short
    EXPECT_EQ(asmf_receive_om_msg(sock, 0, &got), -8008);
    EXPECT_TRUE(logged("call asmf_receive_from_kernel fail. ret=-8008"));
    EXPECT_EQ(asmf_receive_om_msg(sock, 0, nullptr), -1001);
    EXPECT_TRUE(logged("nl_msg is NULL"));
    host().close(sock);
}

} // namespace

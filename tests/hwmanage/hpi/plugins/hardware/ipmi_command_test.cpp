// The IPMI client's queries and sensor updates through the simulated BMC.
#include <gtest/gtest.h>

#include <sys/ioctl.h>
#include <linux/ipmi.h>

#include <string>
#include <vector>

#include "hwmanage/hpi/plugins/hardware/ipmi_command.h"
#include "sim/ipmi_model.h"
#include "sim/pci_bus.h"
#include "support/console_run.h"
#include "support/sim_fixture.h"

namespace {

class IpmiClient : public SimTest {
protected:
    void TearDown() override
    {
        if (g_iIpmiFd != -1)
            close_ipmi(&g_iIpmiFd);
        SimTest::TearDown();
    }
    // The data of the last request sent, and its net function and command.
    static std::vector<uint8_t> last_sent(uint64_t *netfn = nullptr, uint64_t *cmd = nullptr)
    {
        const std::vector<SimJournalEntry> sends = sim_journal_of(SimEvent::request, {}, IPMICTL_SEND_COMMAND);
        if (sends.empty())
            return {};
        if (netfn)
            *netfn = sends.back().extra[1];
        if (cmd)
            *cmd = sends.back().extra[2];
        return sim_attachment(sends.back(), "data")->bytes;
    }
};

TEST_F(IpmiClient, SensorUpdates)
{
    ipmi_model_add_rule(IpmiBmcRule{0x04, 0x30, {}, 0, {}, 1, false});
    struct {
        uint8_t sensor;
        uint32_t value, flag;
        std::vector<uint8_t> data;
    } rows[] = {
        {0xE0, 0x1234, 0, {0xE0, 0x01, 0x34}},
        {0xE2, 0x7F, 1, {0xE2, 0x01, 0x7F}},
        {0xE3, 0x0102, 1, {0xE3, 0x48, 0, 0, 0, 0x02, 0x01, 0, 0, 0x02}},
        {0xE4, 0x0102, 0, {0xE4, 0x60, 0, 0x02, 0x01, 0, 0, 0, 0, 0x02}},
    };
    int fd = -1;
    ASSERT_EQ(open_ipmi(&fd), 0);
    for (const auto &r : rows) {
        uint64_t netfn = 0, cmd = 0;
        EXPECT_EQ(ipmi_transto_bmc_f(fd, r.sensor, r.value, r.flag), 0);
        EXPECT_EQ(last_sent(&netfn, &cmd), r.data) << int(r.sensor);
        EXPECT_EQ(netfn, 0x04u);
        EXPECT_EQ(cmd, 0x30u);
    }
    sim_clear_journal();
    EXPECT_EQ(ipmi_transto_bmc_f(fd, 0xE5, 1, 0), -1);
    EXPECT_EQ(requests_seen(IPMICTL_SEND_COMMAND), 0u);
    close_ipmi(&fd);
}

TEST_F(IpmiClient, SlotShelfAndMissingOutputs)
{
    ipmi_model_add_rule(IpmiBmcRule{0x2C, 0x01, {0x00}, 0, {1, 2, 3, 4, 5, 9}, 1, false});
    ipmi_model_add_rule(IpmiBmcRule{0x30, 0x60, {}, 0, {7}, 1, false});
    uint8_t v = 0;
    EXPECT_EQ(ipmi_get_board_slot(&v), 0);
    EXPECT_EQ(v, 9);
    EXPECT_EQ(ipmi_get_board_shelf(&v), 0);
    EXPECT_EQ(v, 7);
    EXPECT_TRUE(last_sent().empty());
    EXPECT_EQ(ipmi_get_board_slot(nullptr), -2);
    EXPECT_EQ(ipmi_get_board_shelf(nullptr), -2);
    EXPECT_EQ(ipmi_get_board_pxe_state(nullptr), -2);
}

// Short replies are refused before any byte past their end is read.
TEST_F(IpmiClient, ShortReplies)
{
    struct {
        std::vector<uint8_t> data;
        uint8_t cc;
        bool silentCc;  // an empty reply: no completion code at all
    } rows[] = {{{1, 2, 3, 4, 5}, 0, false}, {{}, 0, false}};
    for (const auto &r : rows) {
        ipmi_model_add_rule(IpmiBmcRule{0x2C, 0x01, {}, r.cc, r.data, 1, false});
        uint8_t v = 0xAA;
        EXPECT_EQ(ipmi_get_board_slot(&v), -1);
        EXPECT_EQ(v, 0xAA);
        EXPECT_NE(sim_read_file("/tavik.log").find("ipmicmd response too short, len=" +
                                                   std::to_string(r.data.size() + 1)),
                  std::string::npos);
    }
}

TEST_F(IpmiClient, Elable)
{
    std::vector<uint8_t> reply;
    for (uint8_t i = 1; i < 32; i++)
        reply.push_back(i);  // bytes 1..31 after the completion code
    ipmi_model_add_rule(IpmiBmcRule{0x30, 0x90, {}, 0, reply, 1, false});
    struct {
        uint32_t size;
        int ret;
        size_t copied;
    } rows[] = {{1, -1, 0}, {2, 0, 0}, {20, 0, 18}, {40, 0, 30}};
    for (const auto &r : rows) {
        sim_clear_journal();
        std::vector<uint8_t> buf(48, 0xEE);
        EXPECT_EQ(ipmi_get_elable(3, buf.data(), r.size), r.ret) << r.size;
        EXPECT_EQ(requests_seen(IPMICTL_SEND_COMMAND), r.size < 2 ? 0u : 1u);
        for (size_t i = 0; i < buf.size(); i++)
            EXPECT_EQ(buf[i], i < r.copied ? static_cast<uint8_t>(i + 2) : 0xEE) << r.size << " at " << i;
    }
    std::vector<uint8_t> sent = last_sent();
    ASSERT_EQ(sent.size(), 32u);
    EXPECT_EQ(std::vector<uint8_t>(sent.begin(), sent.begin() + 7), (std::vector<uint8_t>{5, 3, 2, 2, 0, 0x10, 0}));
    EXPECT_EQ(ipmi_get_elable(0, nullptr, 8), -2);
}

TEST_F(IpmiClient, HardwareActivation)
{
    ipmi_model_add_rule(IpmiBmcRule{0x30, 0x9F, {}, 0, {}, 1, false});
    EXPECT_EQ(ipmi_set_hw_active(2, 1, 0x55), 0);
    std::vector<uint8_t> sent = last_sent();
    ASSERT_EQ(sent.size(), 32u);
    EXPECT_EQ(std::vector<uint8_t>(sent.begin(), sent.begin() + 8),
              (std::vector<uint8_t>{static_cast<uint8_t>(kIpmiMakerEnterprise),
                                    static_cast<uint8_t>(kIpmiMakerEnterprise >> 8),
                                    static_cast<uint8_t>(kIpmiMakerEnterprise >> 16), 0x11, 2, 1, 0x55, 0}));
    sim_clear_journal();
    EXPECT_EQ(ipmi_set_hw_active(0, 1, 0), -1);
    EXPECT_EQ(ipmi_set_hw_active(5, 1, 0), -1);
    EXPECT_EQ(ipmi_set_hw_active(1, 0, 0), -1);
    EXPECT_EQ(requests_seen(IPMICTL_SEND_COMMAND), 0u);
    ipmi_model_add_rule(IpmiBmcRule{0x30, 0x9F, {}, 0xC0, {}, 1, false});
    EXPECT_EQ(ipmi_set_hw_active(4, 2, 0), -1);
}

TEST_F(IpmiClient, RearBoardByDeviceId)
{
    struct {
        uint16_t device;
        int ret;
    } rows[] = {{0x0086, 1}, {0x0087, 1}, {0x006E, 1}, {0x0072, 0}};
    for (const auto &r : rows) {
        pci_bus_add(0, 0x1B, pci_build_bridge(0x8086, 0x3C0B, 0, 0x21, 0x21));
        pci_bus_add(0x21, 0, pci_build_endpoint(0x1000, r.device, 0x010700, 1));
        EXPECT_EQ(judge_lsi2308(), r.ret) << r.device;
    }
    pci_bus_add(0x21, 0, pci_build_endpoint(0x1001, 0x0086, 0x010700, 1));
    EXPECT_EQ(judge_lsi2308(), 0);
}

} // namespace

// The oxcomp API's own work through the simulated card: NULL refusals,
// version slots, record conversions, device list, status and information.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>

#include "asmf/adapter/asmf_res.h"
#include "asmf/interface/asmf_interface.h"
#include "asmf/memory/asmf_mem.h"
#include "sim/asmf_model.h"
#include "sim/sim_host.h"
#include "support/sim_fixture.h"

namespace {

bool logged(const std::string &text)
{
    for (const SimLogLine &l : sim_syslog())
        if (l.text.find(text) != std::string::npos)
            return true;
    return false;
}

class OxcompApiTest : public SimTest {
protected:
    void TearDown() override
    {
        asmf_exit_mem();
        asmf_res_exit();
        SimTest::TearDown();
    }
};

TEST_F(OxcompApiTest, NullArgumentsAreRefusedWithTheirText)
{
    const std::pair<std::function<int()>, const char *> cases[] = {
        {[] { return oxcompConfig(nullptr); }, "pstAcceConfigInfo is NULL\n"},
        {[] { return oxcompGetMempoolstat(0, nullptr); }, "para error.\n"},
        {[] { return oxcompGetDeviceList(nullptr); }, "para error.\n"},
        {[] { return oxcompGetDeviceStatus(0, nullptr); }, "status is NULL"},
        {[] { return oxcompGetDeviceInfo(0, nullptr); }, "pstAcceResourceInfo is NULL"},
        {[] { return oxcompGetLevelCfg(0, nullptr); }, "level is NULL"},
        {[] { return oxcompSetLevelCfg(0, nullptr); }, "level is NULL"},
        {[] { return oxcompGetTrafficStat(0, nullptr); }, "acce_stat is NULL"},
        {[] { return oxcompGetVersion(nullptr); }, "ver is NULL."},
    };
    for (const auto &[call, text] : cases) {
        SCOPED_TRACE(text);
        sim_clear_syslog();
        EXPECT_EQ(call(), -1001);
        EXPECT_TRUE(logged(text));
    }
    EXPECT_EQ(oxcompStopEngine(), 0);
    int config = 0;
    EXPECT_EQ(oxcompConfig(&config), 0);
}

TEST_F(OxcompApiTest, VersionWithoutDriversHoldsUnknownSlots)
{
    sim_remove_node(ASMF_RES_NODE);
    sim_remove_node(ASMF_MEM_NODE);
    oxcomp_version v;
    std::memset(&v, 'x', sizeof v);
    ASSERT_EQ(oxcompGetVersion(&v), 0);
    EXPECT_STREQ(v.slot[0], "Orvo.USR.1.BD.4");
    for (int i = 1; i < 5; i++)
        EXPECT_STREQ(v.slot[i], "Orvo.unknow") << i;
    EXPECT_TRUE(logged("call asmf_get_res_version fail."));
    EXPECT_TRUE(logged("call asmf_get_mem_version fail."));
}

TEST_F(OxcompApiTest, VersionFromTheDriversAndTheCard)
{
    ASSERT_EQ(asmf_res_init(), 0);
    ASSERT_EQ(asmf_init_mem(1), 0);
    oxcomp_version v;
    ASSERT_EQ(oxcompGetVersion(&v), 0);
    EXPECT_STREQ(v.slot[0], "Orvo.USR.1.BD.4");
    EXPECT_STRNE(v.slot[1], "Orvo.unknow");
    EXPECT_STRNE(v.slot[2], "Orvo.unknow");
    EXPECT_STREQ(v.slot[3], "ifep 2.1.0");
    EXPECT_STREQ(v.slot[4], "fw 3.4.5");
}

TEST_F(OxcompApiTest, TrafficRecordCopiesExactlyTheListedOffsets)
{
    uint8_t *card = asmf_sim_traffic(0);
    for (int i = 0; i < 256; i++)
        card[i] = static_cast<uint8_t>(i);
    uint8_t out[OXCOMP_TRAFFIC_LEN];
    std::memset(out, 0xEE, sizeof out);
    ASSERT_EQ(oxcompGetTrafficStat(0, out), 0);
    for (size_t i = 0; i < sizeof out; i++) {
        const size_t g = i % 64;
        const bool copied = i < 256 && (g < 32 || (g < 36 && i < 128));
        EXPECT_EQ(out[i], copied ? i : 0u) << "offset " << i;
    }

    asmf_sim_devices()[0].funcType = 1;
    EXPECT_EQ(oxcompGetTrafficStat(0, out), -1002);
    EXPECT_TRUE(logged("func type(1) not support."));
}

TEST_F(OxcompApiTest, DeviceListStatusAndInformation)
{
    ASSERT_EQ(asmf_res_init(), 0);
    asmf_sim_devices().push_back(AsmfSimDevice{.id = 7, .name = "acce7", .funcType = 3, .devType = 1, .letter = 'B',
                                               .node = "/dev/acce_dev7", .enabled = true, .state = {5, 6}});
    asmf_sim_refresh();
    OxcompDevList list;
    std::memset(&list, 0xAB, sizeof list);
    ASSERT_EQ(oxcompGetDeviceList(&list), 0);
    ASSERT_EQ(list.count, 2u);
    EXPECT_EQ(list.devs[1].devId, 7u);
    EXPECT_EQ(list.devs[1].devType, 1u);
    EXPECT_EQ(list.devs[1].keep[0], 0xABABABABu);  // the caller's words stay

    OxcompDevStatus st{};
    ASSERT_EQ(oxcompGetDeviceStatus(7, &st), 0);
    EXPECT_EQ(st.state[0], 5u);
    EXPECT_EQ(st.state[1], 6u);

    OxcompDevInfo info;
    std::memset(&info, 0xCD, sizeof info);
    ASSERT_EQ(oxcompGetDeviceInfo(7, &info), 0);
    EXPECT_EQ(info.two, 2u);
    EXPECT_EQ(info.funcType, 3u);
    EXPECT_EQ(info.devType, 1u);
    EXPECT_EQ(info.zero40, 0u);
    EXPECT_EQ(info.zero0[0] | info.zero20[2], 0u);
    EXPECT_STREQ(info.desc, "Zandor Technologies Orvo PCIE Accelerator.");
    EXPECT_EQ(info.desc[127], '\0');

    EXPECT_EQ(oxcompGetDeviceInfo(99, &info), -1);
    EXPECT_TRUE(logged("call ifep_get_device_info fail. ret=-1\n"));
}

TEST_F(OxcompApiTest, LevelConfigTravelsBothWays)
{
    const AsmfLevelCfg in{{9, 8, 7, 6}, 0xFEDCBA9876543210ULL};
    ASSERT_EQ(oxcompSetLevelCfg(0, &in), 0);
    AsmfLevelCfg out{};
    ASSERT_EQ(oxcompGetLevelCfg(0, &out), 0);
    EXPECT_EQ(std::memcmp(&in, &out, sizeof in), 0);
}

} // namespace

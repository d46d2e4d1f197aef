// Port operations on both boards through the simulated FPGA driver: the
// codes the check order decides, the registers and requests of each
// operation, read-modify-write values, and one failure per request.
#include <cerrno>
#include <functional>

#include "boardlib/dorn_sfp.h"
#include "boardlib/plov_port_intf.h"
#include "sim/fpga_model.h"
#include "support/fpga_test_util.h"
#include "support/plov_test.h"
#include "support/sim_fixture.h"

namespace {

const std::string kTrans = kFpgaTransNode;
const std::string kSbuf = kFpgaSbufNode;
constexpr unsigned long kWriteDir = 0xC004EF00, kReadDir = 0xC004EF01, kPortLink = 0xC004EF12;

class PlovPortTest : public PlovTest {
protected:
    void module(uint8_t port, uint8_t present, uint32_t kind)
    {
        SfpHsState hs{};
        hs.port = port;
        hs.present = present;
        hs.kind = kind;
        fpga_set_record_as(kSbuf, FpgaRecord::SfpHsState, port, hs);
    }
};

using PlovPortKespTest = PlovKespTest;

size_t writes() { return sim_journal_of(SimEvent::request, {}, kWriteDir).size(); }

TEST_F(PlovPortTest, RefusalsMakeNoRequest)
{
    PortWorkMode rec{};
    PortFlowCtrl fc{};
    uint8_t b = 0x77;
    uint16_t lo = 0, hi = 0;
    PortPro bad{2, 0, 0}, ok{0, 0, 1};
    struct Case {
        std::function<PlovStatus()> call;
        PlovStatus status;
    } cases[] = {
        {[&] { return PlovTransGetPortLinkStat(2, nullptr); }, -1201},
        {[&] { return PlovTransGetPortLinkStat(2, &rec); }, -1330},
        {[&] { rec.PortId = 12; return PlovTransGetPortLinkStat(0, &rec); }, -1331},
        {[&] { rec.PortId = 8; return PlovTransGetPortLinkStat(1, &rec); }, -1331},
        {[&] { return PlovTransSetPortReset(0, 12, 1); }, -1331},
        {[&] { return PlovTransSetPortReset(1, 8, 1); }, -1331},
        {[&] { return PlovTransSetPortReset(0, 3, 0); }, -1337},
        {[&] { return PlovTransSetPortReset(2, 0, 1); }, -1330},
        {[&] { return PLOV_TransSetPortReset(0, nullptr, 1); }, -1201},
        {[&] { return PLOV_TransSetPortReset(0, &bad, 1); }, -1335},
        {[&] { return PlovTransGetPortFlowCtrl(0, 0, nullptr); }, -1201},
        {[&] { return PlovTransGetPortFlowCtrl(1, 0, &fc); }, -1330},
        {[&] { return PlovTransSetPortFlowCtrl(0, 16, &fc); }, -1331},
        {[&] { return PlovTransGetPortMap(2, 0, &b); }, -1330},
        {[&] { return PlovTransGetPortMap(0, 0, nullptr); }, -1201},
        {[&] { return PlovTransGetPortMap(1, 0, &b); }, 0},
        {[&] { return PlovTransGetPortMap(0, 16, &b); }, -1331},
        {[&] { return PlovTransSetPortMap(0, 1, 16); }, -1331},
        {[&] { rec.PortId = 4; return PlovTransGetPortMode(1, &rec); }, -1331},
        {[&] { rec.PortId = 8; return PlovTransGetPortMode(0, &rec); }, -1331},
        {[&] { return PlovTransGetPortMode(2, &rec); }, -1330},
        {[&] { return PlovTransSetPortMode(0, nullptr); }, -1201},
        {[&] { return PlovTransSetPortMode(1, &rec); }, -1330},
        {[&] { rec.PortId = 8; return PlovTransSetPortMode(0, &rec); }, -1331},
        {[&] { return PlovTransGetPortSwitch(0, 12, &b); }, -1331},
        {[&] { return PlovTransGetPortSwitch(1, 8, &b); }, -1331},
        {[&] { return PlovTransGetPortSwitch(0, 0, nullptr); }, -1201},
        {[&] { return PlovTransSetPortSwitch(2, 0, 1); }, -1330},
        {[&] { return PlovTransGetMtu(0, nullptr, &lo); }, -1201},
        {[&] { return PlovTransSetMtu(0, 4096, 1); }, -1335},
        {[&] { return PlovTransSetMtu(0, 100, 4096); }, -1335},
        {[&] { return PlovTransSetMtu(0, 64, 65); }, -1335},
        {[&] { return PLOV_TransGetPortStaticMac(1, &ok, &b); }, -1330},
        {[&] { PortPro l1{1, 0, 0}; return PLOV_TransGetPortStaticMac(0, &l1, &b); }, 0},
        {[&] { return PLOV_TransGetPortStaticMac(0, &ok, nullptr); }, -1201},
        {[&] { return PLOV_TransGetPortLinkStat(0, &ok, nullptr); }, -1201},
        {[&] { return PLOV_TransGetPortLinkStat(0, nullptr, &b); }, -1201},
        {[&] { return TRANS_GetPortCfgMode(0, &ok, nullptr); }, -1201},
        {[&] { return TRANS_GetPortCfgMode(0, &bad, &hi); }, -1335},
    };
    for (size_t i = 0; i < std::size(cases); i++) {
        SCOPED_TRACE(i);
        sim_clear_journal();
        EXPECT_EQ(cases[i].call(), cases[i].status);
        EXPECT_TRUE(sim_journal().empty());
    }
    EXPECT_EQ(b, 0x77);   // FPGA 1 port map: untouched
}

TEST_F(PlovPortTest, LinkStateThroughRegistersAndBackPortRequest)
{
    fpga_set_reg(kTrans, 0x1417, 1u << 3);
    fpga_set_reg(kTrans, 0x1500, 1u << 15);
    PortWorkMode rec{};
    rec.PortId = 3;
    ASSERT_EQ(PlovTransGetPortLinkStat(0, &rec), 0);
    EXPECT_EQ(rec.LinkDetected, 1);
    EXPECT_EQ(rec.ForceLinkDown, 1);
    using T = std::tuple<std::string, unsigned long, uint64_t>;
    EXPECT_EQ(dir_requests(), (std::vector<T>{{kTrans, kReadDir, 0x1417}, {kTrans, kReadDir, 0x1500}}));

    fpga_set_reg(kSbuf, 0x4D00, 1u << 5);
    rec = PortWorkMode{};
    rec.PortId = 5;
    ASSERT_EQ(PlovTransGetPortLinkStat(1, &rec), 0);
    EXPECT_EQ(rec.LinkDetected, 1);

    PortLinkReq answer{};
    answer.type = 3;
    answer.link = 1;
    fpga_set_record_as(kSbuf, FpgaRecord::PortLink, uint64_t{3} << 32 | 0, answer);
    sim_clear_journal();
    uint8_t link = 0;
    PortPro back{0, 3, 0};
    ASSERT_EQ(PLOV_TransGetPortLinkStat(1, &back, &link), 0);
    EXPECT_EQ(link, 1);
    ASSERT_EQ(sim_journal().size(), 1u);
    EXPECT_EQ(sim_journal()[0].request, kPortLink);
    PortLinkReq sent = journal_record<PortLinkReq>(0);
    EXPECT_EQ(sent.type, 3u);
    EXPECT_EQ(sent.id, 0u);

    // A failed back-port request: the driver's result as it is, no line.
    sim_clear_syslog();
    sim_fail_request(kSbuf, kPortLink, EIO);
    link = 0x5A;
    EXPECT_EQ(PLOV_TransGetPortLinkStat(1, &back, &link), -1);
    EXPECT_EQ(link, 0x5A);
    EXPECT_TRUE(plov_lines().empty());
    sim_clear_faults();
    sim_fail_open(kSbuf, ENOENT);
    EXPECT_EQ(PLOV_TransGetPortLinkStat(1, &back, &link), -1216);
}

TEST_F(PlovPortTest, SwitchBitsReadModifyWrite)
{
    fpga_set_reg(kTrans, 0x1402, (1ull << 2) | (1ull << 34));
    uint8_t mode = 0;
    ASSERT_EQ(PlovTransGetPortSwitch(0, 2, &mode), 0);
    EXPECT_EQ(mode, 5);
    struct Case {
        FpgaId fpga;
        uint8_t port, mode;
        std::string node;
        uint64_t reg, before, after;
    } cases[] = {
        {1, 1, 5, kSbuf, 0x5A09, 0xF0FF, 0xF8FD},
        {1, 1, 0x20, kSbuf, 0x5A09, 0x0007, 0x3800},   // no bit beyond the three
        {1, 6, 3, kSbuf, 0x4C01, 0x400, 0x44},
        {0, 3, 6, kTrans, 0x1402, 0xFFFFFFFFFFFFFFFF, 0xFFFFFFFFFFFFFFF7},
    };
    for (const Case &c : cases) {
        fpga_set_reg(c.node, c.reg, c.before);
        ASSERT_EQ(PlovTransSetPortSwitch(c.fpga, c.port, c.mode), 0);
        EXPECT_EQ(fpga_get_reg(c.node, c.reg), c.after) << std::hex << c.reg;
        uint8_t back = 0;
        ASSERT_EQ(PlovTransGetPortSwitch(c.fpga, c.port, &back), 0);
        EXPECT_EQ(back, c.mode & 7);
    }
    fpga_fail_address(kSbuf, kReadDir, 0x5A09, EIO);
    EXPECT_EQ(PlovTransSetPortSwitch(1, 1, 5), -1203);
    fpga_fail_address(kTrans, kWriteDir, 0x1402, EIO);
    EXPECT_EQ(PlovTransSetPortSwitch(0, 1, 5), -1203);
}

TEST_F(PlovPortTest, MtuBounds)
{
    ASSERT_EQ(PlovTransSetMtu(0, 1500, 64), 0);
    EXPECT_EQ(fpga_get_reg(kTrans, 0x141C), 1500u);
    EXPECT_EQ(fpga_get_reg(kTrans, 0x141D), 64u);
    ASSERT_EQ(PlovTransSetMtu(0, 64, 64), 0);
    ASSERT_EQ(PlovTransSetMtu(1, 4000, 100), 0);
    EXPECT_EQ(fpga_get_reg(kSbuf, 0x5E0A), 100u);
    EXPECT_EQ(fpga_get_reg(kSbuf, 0x7A0A), 100u);
    uint16_t max = 0, min = 0;
    fpga_set_reg(kTrans, 0x141C, 0xF5DC);
    ASSERT_EQ(PlovTransGetMtu(0, &max, &min), 0);
    EXPECT_EQ(max, 0x5DC);
    ASSERT_EQ(PlovTransGetMtu(1, &max, &min), 0);
    EXPECT_EQ(max, 2048);
    EXPECT_EQ(min, 100);
    fpga_fail_address(kTrans, kReadDir, 0x141D, EIO);
    max = 0;
    EXPECT_EQ(PlovTransGetMtu(0, &max, &min), -1203);
    EXPECT_EQ(max, 0x5DC);   // stored before the second read
    fpga_fail_address(kTrans, kWriteDir, 0x141C, EIO);
    EXPECT_EQ(PlovTransSetMtu(0, 10, 1), -1203);
    fpga_fail_address(kSbuf, kWriteDir, 0x7A0A, EIO);
    EXPECT_EQ(PlovTransSetMtu(1, 10, 1), -1203);
}

TEST_F(PlovPortTest, WorkModeRefusalsChangeNothing)
{
    fpga_set_reg(kTrans, 0x1424, 0xFF);   // auto-negotiation on for every port
    struct Case {
        uint8_t port;
        uint16_t w;
        uint64_t version;
        PlovStatus status;
        uint64_t an, speed;   // registers 0x1424 and 0x1400 afterwards
    } cases[] = {
        {5, 0x41, 0, 0, 0xDF, 0x0F},
        {5, 0x101, 0, -1337, 0xFF, 0x0F},
        {2, 0x101, 0, 0, 0xFB, 0x0B},
        {2, 0x41, 0, -1337, 0xFF, 0x0F},
        {2, 0x41, 1ull << 56, 0, 0xFB, 0x0F},
        {1, 0x41, 1ull << 56, 0, 0xFD, 0x0F},
        {2, 0x81, 0, 0, 0xFF, 0x0F},
        {2, 0x100, 0, -1337, 0xFF, 0x0F},
        {2, 0x180, 0, -1337, 0xFF, 0x0F},   // auto-negotiation with a speed, half duplex
        {2, 0x11, 0, -1337, 0xFF, 0x0F},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.w);
        fpga_set_reg(kTrans, 0x1424, 0xFF);
        fpga_set_reg(kTrans, 0x1400, 0x0F);
        fpga_set_reg(kTrans, 0x1, c.version);
        PortWorkMode rec{};
        rec.PortId = c.port;
        rec.WorkMode = c.w;
        sim_clear_journal();
        EXPECT_EQ(PlovTransSetPortMode(0, &rec), c.status);
        EXPECT_EQ(fpga_get_reg(kTrans, 0x1424), c.an);
        EXPECT_EQ(fpga_get_reg(kTrans, 0x1400), c.speed);
        if (c.status != 0) {
            EXPECT_EQ(writes(), 0u);
        }
    }
}

TEST_F(PlovPortTest, WorkModeQueryByModule)
{
    fpga_set_reg(kTrans, 0x1424, 0);
    fpga_set_reg(kTrans, 0x1400, 0);
    struct Case {
        uint8_t present;
        uint32_t kind;
        bool optical;   // the optical registers are read
    } cases[] = {{0, 0, true}, {1, 1, true}, {1, 3, false}};
    for (const Case &c : cases) {
        module(2, c.present, c.kind);
        sim_clear_journal();
        uint16_t mode = 0;
        PortPro pro{0, 0, 2};
        PlovStatus ret = PLOV_TransGetPortMode(0, &pro, &mode);
        bool readOptical = false;
        for (auto &[node, req, reg] : dir_requests())
            readOptical |= reg == 0x1424;
        EXPECT_EQ(readOptical, c.optical);
        if (c.optical) {
            EXPECT_EQ(ret, 0);
            EXPECT_EQ(mode, 0x101);
        }
    }
    sim_fail_request(kSbuf, PLOV_IOC_GET_SFP_HS_STATE, EIO);
    PortWorkMode rec{};
    rec.PortId = 2;
    EXPECT_EQ(PlovTransGetPortMode(0, &rec), -1339);
    rec.PortId = 3;
    EXPECT_EQ(PlovTransGetPortMode(1, &rec), 0);
    EXPECT_EQ(rec.WorkMode, 0x201);
}

TEST_F(PlovPortTest, ResetFlowMapAndStaticMac)
{
    ASSERT_EQ(PlovTransSetPortReset(0, 3, 1), 0);
    EXPECT_EQ(writes(), 2u);   // asserted, then released
    PortFlowCtrl fc{0x12, 0x34, 0x56, 1};
    ASSERT_EQ(PlovTransSetPortFlowCtrl(0, 2, &fc), 0);
    EXPECT_EQ(fpga_get_reg(kTrans, 0x1816), 0x56u);
    PortFlowCtrl back{0, 0, 0, 1};
    ASSERT_EQ(PlovTransGetPortFlowCtrl(0, 2, &back), 0);
    EXPECT_EQ(back.t, 0x56);
    ASSERT_EQ(PlovTransSetPortMap(0, 5, 9), 0);
    uint8_t map = 0;
    ASSERT_EQ(PlovTransGetPortMap(0, 5, &map), 0);
    EXPECT_EQ(map, 9);
    uint8_t mac[6] = {};
    PortPro p5{0, 3, 1};   // port 3
    ASSERT_EQ(PLOV_TransGetPortStaticMac(0, &p5, mac), 0);
    const uint8_t expect[6] = {0x00, 0x1A, 0x2B, 0x00, 0x00, 0x03};
    EXPECT_EQ(bytes_of(mac), bytes_of(expect));

    fpga_fail_address(kTrans, kReadDir, 0x1816, EIO);
    EXPECT_EQ(PlovTransGetPortFlowCtrl(0, 2, &back), -1203);
    fpga_fail_address(kTrans, kWriteDir, 0x1816, EIO);
    EXPECT_EQ(PlovTransSetPortFlowCtrl(0, 2, &fc), -1203);
    sim_fail_request(kTrans, PLOV_IOC_GET_PORT_STATIC_MAC, EIO);
    EXPECT_EQ(PLOV_TransGetPortStaticMac(0, &p5, mac), -1203);
    sim_fail_request(kTrans, PLOV_IOC_READ_INDIR_REG, EIO);
    EXPECT_EQ(PlovTransGetPortMap(0, 5, &map), -1203);
}

TEST_F(PlovPortKespTest, KespBranch)
{
    PortWorkMode rec{};
    uint8_t b = 0x77;
    uint16_t mode = 0;
    PortFlowCtrl fc{};
    PortPro net{0, 2, 1}, media{0, 4, 0};
    struct Case {
        std::function<PlovStatus()> call;
        PlovStatus status;
        bool requests;
    } cases[] = {
        {[&] { return PlovTransSetPortReset(1, 0, 1); }, -1335, false},
        {[&] { return PlovTransSetPortReset(0, 2, 1); }, -1335, false},
        {[&] { return PlovTransGetPortLinkStat(1, &rec); }, -1335, false},
        {[&] { rec.PortId = 2; return PlovTransGetPortLinkStat(0, &rec); }, -1202, false},
        {[&] { rec.PortId = 0; rec.Location = 1; return PlovTransGetPortLinkStat(0, &rec); }, -1202, false},
        {[&] { return PLOV_TransGetPortLinkStat(0, &media, &b); }, -1335, false},
        {[&] { return PLOV_TransGetPortMode(0, &net, &mode); }, 0, false},
        {[&] { return TRANS_GetPortCfgMode(1, &net, &mode); }, -1335, false},
        {[&] { return PlovTransGetPortFlowCtrl(0, 0, &fc); }, 0, false},
        {[&] { return PlovTransSetPortMap(0, 0, 1); }, 0, false},
        {[&] { return PlovTransGetPortMap(0, 0, &b); }, 0, false},
        {[&] { return PLOV_TransSetPortMode(0, &net, 0x101); }, 0, false},
        {[&] { return PLOV_TransGetPortStaticMac(0, &net, &b); }, 0, false},
        {[&] { return PLOV_TransGetPortLinkStat(0, &net, &b); }, 0, true},
        {[&] { return PlovTransSetPortSwitch(0, 1, 3); }, 0, true},
        {[&] { return PlovTransSetMtu(0, 1500, 64); }, 0, true},
    };
    for (size_t i = 0; i < std::size(cases); i++) {
        SCOPED_TRACE(i);
        sim_clear_journal();
        EXPECT_EQ(cases[i].call(), cases[i].status);
        EXPECT_EQ(!sim_journal().empty(), cases[i].requests);
    }
    EXPECT_EQ(mode, 0x201);
}

TEST_F(PlovPortKespTest, DornOnlyLine)
{
    uint8_t map = 0x77;
    ASSERT_EQ(PlovTransGetPortMap(0, 0, &map), 0);
    EXPECT_EQ(map, 0x77);
    std::vector<std::string> lines = plov_lines("boardlib/plov_port_intf.cpp");
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0], "[PLOV_SFP_8472-ERR]unsupport operate[geBoardLogicType = 2 ]");
}

} // namespace

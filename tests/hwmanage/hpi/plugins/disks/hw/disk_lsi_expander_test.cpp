// The SAS expander queries: PHY error counters through SMP pass-through on
// the simulated controller, and the firmware queries from scripted lsscsi
// and sg_ses output.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "bases/drv/mpt_drv.h"
#include "hwmanage/hpi/plugins/disks/hw/disk_lsi_expander.h"
#include "sim/mpt_model.h"
#include "sim/sim_host.h"
#include "support/mpt_test_util.h"
#include "support/sas_test_util.h"
#include "support/sim_fixture.h"

namespace {

constexpr const char *kSes = "sg_ses --page=0x82 --status --raw /dev/bsg/2:0:5:0";

class LsiExpander : public SimTest {
protected:
    MpiController &open(const std::string &mpi)
    {
        sas_apply("mpt-ioc 0 pci=0000:05:00.0 mpi=" + mpi +
                  "\nsas-expander 0 0x20 3 0x5001234500000000 8\nsas-expander-phy 0 2 10 1 2 3 0x01020304\n");
        c_.descriptor = -1;
        EXPECT_EQ(findMpiController("0000:00:01.0", &c_), 0);
        sim_clear_journal();
        return c_;
    }
    void TearDown() override
    {
        closeMpiController(&c_);
        SimTest::TearDown();
    }
    static void script(const std::string &command, const std::string &output, int status = 0)
    {
        SimShellScript s;
        s.output = output;
        s.status = status << 8;
        sim_script_command(command, s);
    }
    MpiController c_{};
};

TEST_F(LsiExpander, PhyErrorsInBothLayouts)
{
    for (const char *mpi : {"0x200", "0x105"}) {
        SCOPED_TRACE(mpi);
        MpiController &c = open(mpi);
        MpiPhyErr e{};
        ASSERT_EQ(getIocExpPhyErrs(&c, 2, &e), 0);
        EXPECT_EQ(e.rate, 10);
        EXPECT_EQ(e.invalidDword, 1u);
        EXPECT_EQ(e.runningDisparity, 2u);
        EXPECT_EQ(e.lossDwordSync, 3u);
        EXPECT_EQ(e.phyResetProblem, 0x01020304u);
        // Page 0 first, page 1 at the PHY's handle form, then the SMP frame.
        std::vector<SeenCommand> cmds = mpt_commands();
        ASSERT_FALSE(cmds.empty());
        const std::vector<uint8_t> &smp = cmds.back().frame;
        ASSERT_GE(smp.size(), 32u);
        EXPECT_EQ(smp[3], MPI_FUNCTION_SMP_PASSTHROUGH);
        EXPECT_EQ(smp[1], 3);                     // physical port
        EXPECT_EQ(at<uint16_t>(smp, 4), 12);      // request length
        EXPECT_EQ(at<uint64_t>(smp, 16), 0x5001234500000000ull);
        closeMpiController(&c);
        TearDown();
        SetUp();
    }
}

TEST_F(LsiExpander, PhyRefusals)
{
    MpiController &c = open("0x200");
    MpiPhyErr e{};
    std::vector<std::string> lines = plugin_lines([&] { EXPECT_EQ(getIocExpPhyErrs(&c, 8, &e), -16003); });
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0], "Input Phy Index(8) is larger than max expander phy num(8)!\n");
    EXPECT_TRUE(mpt_commands().size() == 2u);  // page 0 header and read only
    // No page 1 for PHY 4 on the board.
    lines = plugin_lines([&] { EXPECT_NE(getIocExpPhyErrs(&c, 4, &e), 0); });
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.back().rfind("Exp Sas Phy get Config Page1 fail", 0), 0u);
    // A page 1 but no PHY behind it: the SMP function result.
    mpt_set_page(0, MPI_EXTPAGE_SAS_EXPANDER, 1, 0x10000000 + (5u << 16) + 0x20,
                 mpt_get_page(0, MPI_EXTPAGE_SAS_EXPANDER, 1, 0x10000000 + (2u << 16) + 0x20));
    lines = plugin_lines([&] { EXPECT_EQ(getIocExpPhyErrs(&c, 5, &e), -16010); });
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0], "Report Phy Error Log failed with result 16\n");
    EXPECT_EQ(getIocExpPhyErrs(&c, 2, nullptr), -16005);
    mpt_fault_status(0, MPI_FUNCTION_CONFIG, MPI_EXTPAGE_SAS_EXPANDER, 0x22);
    lines = plugin_lines([&] { EXPECT_EQ(getIocExpPhyErrs(&c, 2, &e), 0x22); });
    EXPECT_EQ(lines.back(), "Exp Sas Phy get Config Page0 fail, iRet = 34\n");
}

TEST_F(LsiExpander, FirmwareQueries)
{
    script("lsscsi | grep Expan", "[2:0:5:0]    enclosu LSI      SAS2X28          0717  -\n");
    script(kSes, "01 02 03 0a 0B 1c 07 08 09\n");
    uint32_t h = 0, t = 0;
    EXPECT_EQ(getExpanderBdf(&h, &t), 0);
    EXPECT_EQ(h, 2u);
    EXPECT_EQ(t, 5u);
    EXPECT_EQ(isExistExpander(), 1);
    uint8_t v[4] = {9, 9, 9, 9};
    EXPECT_EQ(get_expander_fwVersion(v, sizeof v), 0);
    EXPECT_EQ(v[0], 0x0a);
    EXPECT_EQ(v[1], 0x0b);
    EXPECT_EQ(v[2], 0x1c);
    EXPECT_EQ(v[3], 0);
    uint32_t r[4] = {};
    EXPECT_EQ(get_expander_fw_check_result(r), 0);
    EXPECT_EQ(r[0], 1u);
    EXPECT_EQ(r[1], 2u);
    EXPECT_EQ(r[2], 7u);
    EXPECT_EQ(r[3], 8u);
    EXPECT_EQ(sim_commands_run().back(), kSes);
    EXPECT_EQ(get_expander_fwVersion(nullptr, 4), -16005);
}

TEST_F(LsiExpander, ShortOrMissingOutput)
{
    struct Case {
        const char *lsscsi;
        const char *ses;
        int exist, version, check;
    } cases[] = {
        {"", "", 0, -16008, -16008},                                  // no expander line
        {"[2:0]\n", "01 02 03 0a 0b 0c 07 08 09\n", 0, -16008, -16008},  // host only: not an address
        {"[2:0:5:0] x\n", "", 1, -16010, -16010},                       // sg_ses said nothing
        {"[2:0:5:0] x\n", "01 02 03 0a\n", 1, -16008, -16008},          // fewer words than converted
    };
    for (const Case &k : cases) {
        SCOPED_TRACE(k.lsscsi);
        script("lsscsi | grep Expan", k.lsscsi, k.lsscsi[0] ? 0 : 1);
        script(kSes, k.ses);
        EXPECT_EQ(isExistExpander(), k.exist);
        uint8_t v[4] = {};
        uint32_t r[4] = {};
        std::vector<std::string> lines = plugin_lines([&] { EXPECT_EQ(get_expander_fwVersion(v, 4), k.version); });
        EXPECT_EQ(get_expander_fw_check_result(r), k.check);
        EXPECT_EQ(v[0], 0);
        EXPECT_EQ(r[0], 0u);
        ASSERT_FALSE(lines.empty());
    }
    script("lsscsi | grep Expan", "[2:0]\n");
    std::vector<std::string> lines =
        plugin_lines([&] { uint32_t h = 7, t = 7; EXPECT_EQ(getExpanderBdf(&h, &t), -16008); EXPECT_EQ(h, 7u); });
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0], "get expander bdf: call sscanf_s fail! bus=2 target=0\n");
}

TEST_F(LsiExpander, CommandResultEndsAfterTheBytesRead)
{
    script("echo ab", "ab");
    char buf[8];
    std::memset(buf, 'X', sizeof buf);
    EXPECT_EQ(disk_get_command_result("echo ab", buf, sizeof buf), 0);
    EXPECT_STREQ(buf, "ab");
    script("long", "0123456789");
    EXPECT_EQ(disk_get_command_result("long", buf, sizeof buf), 0);
    EXPECT_STREQ(buf, "0123456");
    std::vector<std::string> lines =
        plugin_lines([&] { EXPECT_EQ(disk_get_command_result("unknown", buf, sizeof buf), -16008); });
    EXPECT_EQ(lines.back(), "call fread fail! cmd:[unknown], size:8\n");
    EXPECT_EQ(disk_get_command_result(nullptr, buf, sizeof buf), -16005);
}

} // namespace

// The controller plugin through the simulated controller: discovery, the
// command record, configuration pages, PHY counters, RAID actions, the LED,
// firmware upload and the PCI path checks, in both MPI generations.
#include <cerrno>
#include <climits>

#include "bases/drv/mpt_drv.h"
#include "hwmanage/hpi/plugins/disks/hw/disk_lsi_info.h"
#include "support/mpt_test_util.h"
#include "support/sim_fixture.h"

namespace {

constexpr const char *kNode = "/dev/mpt2ctl";

class LsiTest : public SimTest {
protected:
    void SetUp() override
    {
        SimTest::SetUp();
        list_.descriptor = -1;
    }
    void TearDown() override
    {
        releaseLsiController(&list_);
        SimTest::TearDown();
    }
    // Controller `ioc` of the given MPI version, discovered and journal cleared.
    MpiController &one(const std::string &mpi = "0x200", const std::string &extra = "")
    {
        mpt_line("mpt-ioc 1 pci=0000:03:1e.5 device=0x72 revision=3 mpi=" + mpi +
                 " product=0x2713 fw=0x0e000102 bios=0x07210100 driver=20.100 sas=0x500605b012345678 iounit=0xabcd "
                 "image=40000" + extra);
        for (unsigned i = 0; i < 3; i++)
            mpt_line("mpt-phy 1 " + std::to_string(i) + " " + std::to_string(8 + i) + " " + std::to_string(i) +
                     " 0 7 " + std::to_string(i * 2));
        EXPECT_EQ(collectLsiControllerInfo(&list_), 0);
        sim_clear_journal();
        for (uint32_t i = 0; i < list_.count; i++)
            if (list_.controllers[i].iocNumber == 1)
                return list_.controllers[i];
        ADD_FAILURE() << "controller 1 not found";
        return list_.controllers[0];
    }
    MpiControllerList list_{};
};

TEST_F(LsiTest, DiscoveryProbesEveryNumberAndDecodesTheControllerInformation)
{
    mpt_line("mpt-ioc 3 pci=0000:04:00.0 device=0x1234 product=0x1000");
    MpiController &c = one();
    ASSERT_EQ(list_.count, 2u);  // the gap at 0 and 2 skipped silently
    EXPECT_EQ(&c, &list_.controllers[0]);
    EXPECT_EQ(list_.controllers[1].iocNumber, 3);
    EXPECT_EQ(c.iocNumber, 1);
    EXPECT_EQ(c.descriptor, list_.descriptor);
    EXPECT_EQ(c.pciBus, 3u);
    EXPECT_EQ(c.pciDevice, 0x1Eu);
    EXPECT_EQ(c.pciFunction, 5u);
    EXPECT_EQ(c.firmwareVersion, 0x0e000102u);
    EXPECT_EQ(c.biosVersion, 0x07210100u);
    EXPECT_STREQ(c.driverVersion, "20.100");
    EXPECT_EQ(c.mpiVersion, 0x200);
    EXPECT_EQ(c.whoInit, 4);
    EXPECT_EQ(c.portType, 0x30);
    EXPECT_EQ(c.productId, 0x2713);
    EXPECT_EQ(c.ioUnitWord, 0xabcdu);
    EXPECT_EQ(c.vendorId, 0x1000);
    EXPECT_EQ(c.deviceId, 0x72);
    EXPECT_EQ(c.revisionId, 3);
    EXPECT_EQ(c.iocSasAddress, 0x500605b012345678u);
    EXPECT_STREQ(c.chipName, "SAS2008");
    EXPECT_STREQ(c.revisionName, "B2");
    EXPECT_STREQ(c.portKindName, "SAS");
    EXPECT_STREQ(list_.controllers[1].chipName, "xxxx");
    EXPECT_STREQ(list_.controllers[1].portKindName, "FC");

    sim_clear_journal();
    ASSERT_EQ(releaseLsiController(&list_), 0);
    EXPECT_EQ(list_.descriptor, -1);
    EXPECT_EQ(sim_open_count(), 0);
    MpiControllerList again{};
    again.descriptor = -1;
    ASSERT_EQ(collectLsiControllerInfo(&again), 0);
    EXPECT_EQ(journal_count(kMptProbe), 64u);
    releaseLsiController(&again);
    EXPECT_EQ(releaseLsiController(nullptr), -16005);
    EXPECT_EQ(collectLsiControllerInfo(nullptr), -16005);
}

TEST_F(LsiTest, DiscoveryFailures)
{
    // No control device: the open line and -3008.
    auto lines = plugin_lines([&] { EXPECT_EQ(collectLsiControllerInfo(&list_), -3008); });
    EXPECT_EQ(lines, std::vector<std::string>{"Couldn't open /dev/mpt2ctl, (errno=2, No such file or directory)\n"});
    mpt_line("mpt-ioc 1");
    sim_fail_open(kNode, EACCES);
    lines = plugin_lines([&] { EXPECT_EQ(collectLsiControllerInfo(&list_), -3008); });
    EXPECT_EQ(lines, std::vector<std::string>{"Couldn't open /dev/mpt2ctl, (errno=13, Permission denied)\n"});
    sim_clear_faults();

    // A controller whose information cannot be read is still counted.
    sim_fail_request(kNode, kMptInfo, EIO);
    lines = plugin_lines([&] { EXPECT_EQ(collectLsiControllerInfo(&list_), 0); });
    EXPECT_EQ(list_.count, 1u);
    EXPECT_EQ(lines, (std::vector<std::string>{"ioctl failed! errno=5(Input/output error)\n",
                                               "getIocInfo failed, (ucIndex=1,iRet=-3029)\n"}));
}

TEST(LsiChipTable, RowsRevisionsAndPortKinds)
{
    struct Row {
        uint16_t device;
        uint8_t rev;
        uint16_t product;
        const char *chip, *revName, *bus, *kind;
        uint8_t phys;
    } rows[] = {
        {0x0050, 3, 0x0000, "SAS1064", "A4", "PCI-X", "SCSI", 4},
        {0x0056, 16, 0x1000, "SAS1064E", "C0", "PCI-E", "FC", 4},
        {0x0056, 3, 0x2000, "SAS1064E", "", "PCI-E", "SAS", 4},
        {0x0062, 4, 0x3000, "SAS1078", "C2", "PCI-E", "", 8},
        {0x0085, 1, 0x2000, "SAS2208", "B0", "PCI-E", "SAS", 8},
        {0x006E, 2, 0x2000, "SAS2308", "C0", "PCI-E", "SAS", 8},
        {0x0087, 3, 0xF000, "SAS2308", "", "PCI-E", "", 8},
        {0x1234, 0, 0x2000, "xxxx", "", "xxxx", "SAS", 0},
    };
    for (const Row &r : rows) {
        MpiController c{};
        c.deviceId = r.device;
        c.revisionId = r.rev;
        c.productId = r.product;
        getChipName(&c);
        EXPECT_STREQ(c.chipName, r.chip) << std::hex << r.device;
        EXPECT_STREQ(c.revisionName, r.revName) << std::hex << r.device;
        EXPECT_STREQ(c.busType, r.bus);
        EXPECT_STREQ(c.portKindName, r.kind);
        EXPECT_EQ(c.phyCount, r.phys);
    }
}

// Each command: request number, frame length, timeout, and the frame bytes
// the Part places.
TEST_F(LsiTest, CommandRecordsInBothGenerations)
{
    for (const char *mpi : {"0x200", "0x105"}) {
        SCOPED_TRACE(mpi);
        releaseLsiController(&list_);
        MpiController &c = one(mpi);
        bool two = std::string(mpi) == "0x200";
        unsigned long number = two ? kMptCommand : kMptCommand1;

        ASSERT_EQ(getIocFacts2(&c), 0);
        uint8_t led = 0;
        ASSERT_EQ(setDiskAlarmLed(&c, true, 0), 0);
        mpt_set_disk_state(1, 4, 3);
        ASSERT_EQ(doModifyRaidDiskStatus(&c, 4, 0x0A), 0);
        uint8_t buf[100];
        uint32_t actual = 0;
        ASSERT_EQ(doFwUpload(&c, 1, buf, sizeof buf, 8, &actual), 0);
        (void)led;

        auto cmds = mpt_commands();
        ASSERT_EQ(cmds.size(), 1u + 4u + 1u + 1u);  // facts; header, read, header, write; RAID; upload
        for (const SeenCommand &s : cmds)
            EXPECT_EQ(s.request, number);
        const SeenCommand &facts = cmds[0], &hdr = cmds[1], &write = cmds[4], &raid = cmds[5], &up = cmds[6];
        EXPECT_EQ(at<uint32_t>(facts.head, 12), 10u);
        EXPECT_EQ(at<uint32_t>(facts.head, 48), 64u);  // max reply bytes
        EXPECT_EQ(at<uint32_t>(facts.head, 64), 3u);   // frame length / 4
        EXPECT_EQ(facts.frame.at(3), 0x03);
        EXPECT_EQ(hdr.frame.size(), 28u);
        EXPECT_EQ(hdr.frame.at(0), 0);     // header action
        EXPECT_EQ(hdr.frame.at(3), 0x04);
        EXPECT_EQ(hdr.frame.at(22), 3);    // page number
        EXPECT_EQ(hdr.frame.at(23), 0);    // IO unit
        EXPECT_EQ(write.frame.at(0), 2);   // write current
        EXPECT_EQ(write.frame.at(23), 0x10);  // the header's type byte, attributes kept
        EXPECT_EQ(at<uint32_t>(write.head, 56), 40u);  // data-out size: the whole page
        EXPECT_EQ(raid.frame.size(), 32u);
        EXPECT_EQ(raid.frame.at(0), 0x0A);
        EXPECT_EQ(raid.frame.at(3), 0x15);
        EXPECT_EQ(raid.frame.at(6), 4);
        EXPECT_EQ(at<uint32_t>(raid.head, 12), 10u);
        EXPECT_EQ(mpt_disk_state(1, 4), 2);
        EXPECT_EQ(up.frame.size(), two ? 36u : 28u);
        EXPECT_EQ(at<uint32_t>(up.head, 12), 120u);
        size_t tc = two ? 20 : 12;
        EXPECT_EQ(up.frame.at(tc + 2), 12);               // details length
        EXPECT_EQ(at<uint32_t>(up.frame, tc + 8), 8u);    // image offset
        EXPECT_EQ(at<uint32_t>(up.frame, tc + 12), 100u); // image size
        EXPECT_EQ(actual, 40000u);
        EXPECT_EQ(buf[0], static_cast<uint8_t>(8 * 7 + 1));
    }
}

TEST_F(LsiTest, ConfigBusyReadOnlyAndExtendedTypes)
{
    MpiController &c = one();
    MpiPage page;
    mpt_fault_busy(1, 1, 1);
    EXPECT_EQ(getConfigPage(&c, 1, 0, 0, &page), 0);
    EXPECT_EQ(mpt_commands().size(), 3u);  // header twice, read once
    mpt_fault_busy(1, 1, 2);
    EXPECT_EQ(getConfigPage(&c, 1, 0, 0, &page), -3023);

    sim_clear_journal();
    uint8_t bytes[28] = {};
    EXPECT_EQ(setConfigPage(&c, 1, 0, 0, bytes, sizeof bytes), -3026);
    EXPECT_EQ(mpt_commands().size(), 1u);  // no write after the header

    sim_clear_journal();
    ASSERT_EQ(getConfigPage(&c, 0x13, 1, 2, &page), 0);
    auto cmds = mpt_commands();
    EXPECT_EQ(cmds[0].frame.at(23), 0x0F);
    EXPECT_EQ(cmds[0].frame.at(6), 0x13);
    EXPECT_EQ(at<uint32_t>(cmds[0].frame, 24), 2u);
    EXPECT_EQ(at<uint16_t>(cmds[1].frame, 4), 7u);  // extended length from the header
    EXPECT_EQ(page.length, 28u);
    EXPECT_EQ(getConfigPage(&c, 0x13, 1, 9, &page), 0x22);  // no such PHY: the IOCStatus
}

TEST_F(LsiTest, IocStatusLines)
{
    MpiController &c = one();
    mpt_fault_status(1, 0x03, -1, 0x0004, 0x31120000, 1);
    mpt_fault_status(1, 0x03, -1, 0x0004, 0, 1);
    mpt_fault_status(1, 0x15, -1, 0, 0x11, 1);
    MpiRequestHead facts{};
    facts.function = 0x03;
    MpiRaidActionRequest raid{};
    raid.function = 0x15;
    raid.action = 0x01;
    uint8_t reply[64];
    auto lines = plugin_lines([&] {
        EXPECT_EQ(doMptCommandCheck(&c, &facts, 12, reply, 64, nullptr, 0, nullptr, 0, 10), 0);
        EXPECT_EQ(doMptCommandCheck(&c, &facts, 12, reply, 64, nullptr, 0, nullptr, 0, 10), 0);
        EXPECT_EQ(doMptCommandCheck(&c, &raid, 32, reply, 40, nullptr, 0, nullptr, 0, 10), 0);
    });
    EXPECT_EQ(lines, (std::vector<std::string>{"Command failed with IOCStatus = 0x0004, IOCLogInfo = 0x31120000\n\n",
                                               "Command failed with IOCStatus = 0x0004\n\n",
                                               "RAID ACTION returned IOCLogInfo = 0x00000011\n\n"}));
    sim_fail_request(kNode, kMptCommand, EIO);
    lines = plugin_lines([&] { EXPECT_EQ(getIocFacts2(&c), -1); });
    EXPECT_EQ(lines, std::vector<std::string>{"ioctl fail, errno:5(Input/output error)\n"});
}

TEST_F(LsiTest, SasAddressAndPhyCountersInBothLayouts)
{
    for (const char *mpi : {"0x200", "0x105"}) {
        SCOPED_TRACE(mpi);
        releaseLsiController(&list_);
        MpiController &c = one(mpi);
        auto io0 = mpt_get_page(1, 0x10, 0, 0);
        size_t stride = std::string(mpi) == "0x200" ? 20 : 16;
        EXPECT_EQ(io0.at(12), 3);
        EXPECT_EQ(io0.at(19 + stride), stride == 20 ? 0x90 : 0x09);
        auto m5 = mpt_get_page(1, 9, 5, 0);
        EXPECT_EQ(at<uint32_t>(m5, stride == 20 ? 16 : 4), 0x12345678u);

        uint64_t sas = 0;
        ASSERT_EQ(getIocSasAddress(&c, &sas), 0);
        EXPECT_EQ(sas, 0x500605b012345678u);
        MpiPhyCounters counters;
        ASSERT_EQ(getIocPhysCounters(&c, &counters), 0);
        ASSERT_EQ(counters.count, 3u);
        for (uint32_t i = 0; i < 3; i++) {
            EXPECT_EQ(counters.phys[i].rate, 8 + i);
            EXPECT_EQ(counters.phys[i].invalidDword, i);
            EXPECT_EQ(counters.phys[i].runningDisparity, 0u);
            EXPECT_EQ(counters.phys[i].lossDwordSync, 7u);
            EXPECT_EQ(counters.phys[i].phyResetProblem, 2 * i);
        }
        MpiPhyErr one{};
        ASSERT_EQ(getIocPhyErrs(&c, 2, &one), 0);
        EXPECT_EQ(one.rate, 10);
        EXPECT_EQ(one.phyResetProblem, 4u);
        MpiPhyErr untouched{0x55, 1, 2, 3, 4};
        EXPECT_EQ(getIocPhyErrs(&c, 3, &untouched), 0);  // past the count: kept as documented
        EXPECT_EQ(untouched.rate, 0x55);
        EXPECT_EQ(untouched.phyResetProblem, 4u);
    }
}

TEST_F(LsiTest, PhyWhosePageCannotBeReadKeepsZeroCounters)
{
    MpiController &c = one();
    mpt_fault_status(1, 0x04, 0x13, 0x0022, 0, 2);  // PHY 0's page 1 header and nothing else
    MpiPhyCounters counters;
    ASSERT_EQ(getIocPhysCounters(&c, &counters), 0);
    EXPECT_EQ(counters.phys[0].rate, 8);
    EXPECT_EQ(counters.phys[0].lossDwordSync, 0u);
}

TEST_F(LsiTest, AlarmLedSetsAndClearsOneBitAndWritesThePageBack)
{
    MpiController &c = one();
    ASSERT_EQ(setDiskAlarmLed(&c, true, 1), 0);
    auto page = mpt_get_page(1, 0, 3, 0);
    EXPECT_EQ(at<uint16_t>(page, 26), 1u);
    EXPECT_EQ(at<uint16_t>(page, 24), 0u);
    ASSERT_EQ(setDiskAlarmLed(&c, true, 7), 0);
    ASSERT_EQ(setDiskAlarmLed(&c, false, 1), 0);
    page = mpt_get_page(1, 0, 3, 0);
    EXPECT_EQ(at<uint16_t>(page, 26), 0u);
    EXPECT_EQ(at<uint16_t>(page, 38), 1u);

    // Mends: a negative index is refused before any request; a page too
    // short for the GPIO value is an empty page.
    sim_clear_journal();
    EXPECT_EQ(setDiskAlarmLed(&c, true, -1), -16003);
    EXPECT_EQ(setDiskAlarmLed(&c, true, INT_MIN), -16003);
    EXPECT_TRUE(sim_journal().empty());
    EXPECT_EQ(setDiskAlarmLed(&c, true, 8), -3025);  // 40-byte page: value 16 lies past it
    mpt_fault_short_page(1, 0, 3, 24);
    EXPECT_EQ(setDiskAlarmLed(&c, true, 0), -3025);
}

TEST_F(LsiTest, ResyncPercent)
{
    MpiController &c = one();
    struct {
        uint64_t total, remaining;
        uint8_t percent;
    } rows[] = {
        {1000, 250, 75},  {1000, 1000, 0},  {3, 1, 67},   {0, 5, 0xEE},
        {1000, 0, 0xEE},  {100, 200, 0xEE}, {UINT64_MAX, UINT64_MAX / 2, 51},
    };
    for (const auto &r : rows) {
        mpt_set_resync(1, 0x11, r.total, r.remaining);
        uint8_t percent = 0xEE;
        ASSERT_EQ(getRaidResyncStatus(&c, 0x11, &percent), 0);
        EXPECT_EQ(percent, r.percent) << r.total << " " << r.remaining;
    }
    auto cmds = mpt_commands();
    EXPECT_EQ(cmds.back().frame.at(0), 1);
    EXPECT_EQ(at<uint16_t>(cmds.back().frame, 4), 0x11u);
    uint8_t percent = 0;
    EXPECT_EQ(getRaidResyncStatus(&c, 0x12, &percent), 7);  // no such volume
}

TEST_F(LsiTest, RaidDiskOfflineOnlineAndItsFailureLine)
{
    MpiController &c = one();
    mpt_set_disk_state(1, 2, 7);
    ASSERT_EQ(doModifyRaidDiskStatus(&c, 2, 0x0A), 0);
    EXPECT_EQ(mpt_disk_state(1, 2), 2);
    ASSERT_EQ(doModifyRaidDiskStatus(&c, 2, 0x0B), 0);
    EXPECT_EQ(mpt_disk_state(1, 2), 3);
    auto lines = plugin_lines([&] { EXPECT_EQ(doModifyRaidDiskStatus(&c, 9, 0x0A), 7); });
    EXPECT_EQ(lines, std::vector<std::string>{"ScsiIo failed, IOCStatus = 0x0007 ()\n"});
}

TEST_F(LsiTest, FirmwareUploadChunks)
{
    struct {
        std::string image;
        int status;
        uint8_t result;
        std::vector<std::pair<uint32_t, uint32_t>> chunks;  // offset, size
    } rows[] = {
        {"65536", 0, 0, {{0, 16384}, {16384, 16384}, {32768, 16384}, {49152, 16384}}},
        {"40000", 0, 0, {{0, 16384}, {16384, 16384}, {32768, 16384}, {32768, 7232}}},
        {"32768", 0, 0, {{0, 16384}, {16384, 16384}, {32768, 16384}}},
        {"0", 7, 1, {{0, 16384}}},
    };
    for (const auto &r : rows) {
        SCOPED_TRACE(r.image);
        releaseLsiController(&list_);
        MpiController &c = one("0x200", " image=" + r.image);
        uint8_t result = 9;
        auto lines = plugin_lines([&] { EXPECT_EQ(checkLsiFlash(&c, &result), r.status); });
        EXPECT_EQ(result, r.result);
        std::vector<std::pair<uint32_t, uint32_t>> seen;
        for (const SeenCommand &s : mpt_commands())
            seen.emplace_back(at<uint32_t>(s.frame, 28), at<uint32_t>(s.frame, 32));
        EXPECT_EQ(seen, r.chunks);
        EXPECT_EQ(lines.size(), r.status == 0 ? 0u : 1u);
    }
    MpiController &c = list_.controllers[0];
    mpt_fault_status(1, 0x12, -1, 0x0004);
    uint8_t result = 0;
    auto lines = plugin_lines([&] { EXPECT_EQ(checkLsiFlash(&c, &result), 4); });
    EXPECT_EQ(lines, std::vector<std::string>{"Firmware Upload(FW_UPLOAD) FAIL, ret=4\n"});
    EXPECT_EQ(result, 1);
}

TEST_F(LsiTest, OnboardCheckAndBothPathForms)
{
    mpt_line("mpt-ioc 0 pci=0000:05:00.0 root=0000:00:02.0");
    one();
    char path[256];
    EXPECT_EQ(get_lsi_device_path(3, 0x1E << 3 | 5, path, sizeof path), 0);
    EXPECT_STREQ(path, "/sys/bus/pci/devices/0000:03:1e.5");
    EXPECT_EQ(get_lsi_device_path(3, 0xF5, path, 20), -3022);
    sim_write_file("/sys/bus/pci/devices/07:00.0", "");
    EXPECT_EQ(get_lsi_device_path(7, 0, path, sizeof path), 0);
    EXPECT_STREQ(path, "/sys/bus/pci/devices/07:00.0");

    EXPECT_EQ(check_is_onboard_ioc(3, 0xF5, "0000:00:01.0"), 0);
    EXPECT_EQ(check_is_onboard_ioc(3, 0xF5, "0000:00:02.0"), -3027);
    auto lines = plugin_lines([&] { EXPECT_EQ(check_is_onboard_ioc(9, 0, "0000:00:01.0"), -3008); });
    EXPECT_EQ(lines, std::vector<std::string>{"Cannot get resource file path, iRet=-3008\n"});
    lines = plugin_lines([&] { EXPECT_EQ(check_is_onboard_ioc(7, 0, "0000:00:01.0"), -3033); });
    EXPECT_EQ(lines, std::vector<std::string>{"readlink(/sys/bus/pci/devices/07:00.0) return(-1)\n"});
    EXPECT_EQ(get_lsi_device_status("0000:03:1e.5"), 0);
    EXPECT_EQ(get_lsi_device_status("0000:03:1e.6"), -3008);
    EXPECT_EQ(get_lsi_device_status(std::string(300, 'a').c_str()), -3022);

    MpiController found{};
    ASSERT_EQ(findMpiController("0000:00:01.0", &found), 0);
    EXPECT_EQ(found.iocNumber, 1);
    EXPECT_GE(found.descriptor, 0);
    EXPECT_EQ(closeMpiController(&found), 0);
    EXPECT_EQ(found.descriptor, -1);
    EXPECT_EQ(findMpiController("0000:00:03.0", &found), -3027);
    EXPECT_EQ(findMpiController(nullptr, &found), -16005);
}

TEST_F(LsiTest, MappingBothWays)
{
    MpiController &c = one();
    mpt_add_mapping(1, 0, 5, 0x0009);
    uint16_t handle = 0;
    ASSERT_EQ(mapBusTargetToDevHandle(&c, 0, 5, &handle), 0);
    EXPECT_EQ(handle, 9);
    auto rec = sim_journal().back().record;
    EXPECT_EQ(at<uint32_t>(rec, 12), 5u);
    EXPECT_EQ(at<uint32_t>(rec, 16), 0u);
    EXPECT_EQ(at<uint16_t>(rec, 20), 0xFFFFu);
    uint32_t bus = 1, target = 1;
    ASSERT_EQ(mapDevHandleToBusTarget(&c, 9, &bus, &target), 0);
    EXPECT_EQ(target, 5u);
    EXPECT_EQ(mapDevHandleToBusTarget(&c, 10, &bus, &target), -3022);
    sim_fail_request(kNode, kMptMap, EIO);
    EXPECT_EQ(mapBusTargetToDevHandle(&c, 0, 5, &handle), -1);
}

// Mends: pages are outside input and never read past their returned length;
// a reply size below the sense split is refused.
TEST_F(LsiTest, ShortPagesAndReplySplit)
{
    MpiController &c = one();
    mpt_fault_short_page(1, 0, 0, 12);  // IO unit page 0 without its word at 12
    EXPECT_EQ(getIocInfo(&c), -3025);
    mpt_fault_short_page(1, 0x10, 0, 12);  // SAS IO unit page 0 without its count
    MpiPhyCounters counters;
    EXPECT_EQ(getIocPhysCounters(&c, &counters), -3024);
    mpt_fault_short_page(1, 0x10, 0, 40);  // count 3, but only PHY 0 and 1 fit
    ASSERT_EQ(getIocPhysCounters(&c, &counters), 0);
    EXPECT_EQ(counters.count, 2u);
    mpt_fault_short_page(1, 9, 5, 20);
    uint64_t sas = 7;
    EXPECT_EQ(getIocSasAddress(&c, &sas), -3025);
    EXPECT_EQ(sas, 7u);
    mpt_fault_short_page(1, 1, 0, 0);
    MpiPage page;
    EXPECT_EQ(getConfigPage(&c, 1, 0, 0, &page), -3025);
    mpt_fault_short_page(1, 0x13, 1, 0);
    EXPECT_EQ(getConfigPage(&c, 0x13, 1, 0, &page), -3024);

    sim_clear_journal();
    MpiScsiIoRequest1 io{};
    io.function = 0x00;
    uint8_t reply[68];
    EXPECT_EQ(doMptCommand(&c, &io, sizeof io, reply, 40, nullptr, 0, nullptr, 0, 20), -16005);
    EXPECT_TRUE(sim_journal().empty());
    ASSERT_EQ(doMptCommand(&c, &io, sizeof io, reply, sizeof reply, nullptr, 0, nullptr, 0, 20), 0);
    auto head = mpt_commands().at(0).head;
    EXPECT_EQ(at<uint32_t>(head, 48), 48u);
    EXPECT_EQ(at<uint32_t>(head, 60), 20u);
    EXPECT_EQ(at<uint64_t>(head, 40), reinterpret_cast<uintptr_t>(reply + 48));
}

} // namespace

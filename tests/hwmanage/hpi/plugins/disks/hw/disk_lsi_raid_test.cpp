// The RAID volume, member and physical-disk tables through the simulated
// controller and disks: the volume walk, the scan and its cache, capacities
// and unified statuses.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "bases/drv/mpt_drv.h"
#include "bases/globals/globals.h"
#include "hwmanage/hpi/plugins/disks/hw/disk_lsi_raid.h"
#include "sim/disk_model.h"
#include "support/mpt_test_util.h"
#include "support/sas_test_util.h"
#include "support/sim_fixture.h"

namespace {

class LsiTables : public SimTest {
protected:
    MpiController &open(const std::string &facts)
    {
        sas_apply(facts);
        list_.descriptor = -1;
        EXPECT_EQ(collectLsiControllerInfo(&list_), 0);
        sim_clear_journal();
        return list_.controllers[0];
    }
    void TearDown() override
    {
        releaseLsiController(&list_);
        SimTest::TearDown();
    }
    // A new process on a new board: no controller, no cached scan.
    void fresh_board()
    {
        releaseLsiController(&list_);
        sim_board_close();
        globals_reset_all();
        std::filesystem::remove_all(root_);
        std::filesystem::create_directories(root_);
        ASSERT_EQ(sim_board_open(root_, board()), 0);
        disks_ = {};
    }
    MpiControllerList list_{};
    LOGICDISKINFOS volumes_{};
    RAIDDISKINFOS members_{};
    PHYDISKINFOS disks_{};
};

TEST_F(LsiTables, VolumeWalkFillsVolumesAndMembers)
{
    MpiController &c = open(sas_board(0, 5, 'a', "4 0x10000"));
    ASSERT_EQ(getLogicDiskInfos(&c, &volumes_, &members_), 0);
    ASSERT_EQ(volumes_.count, 1u);
    const LogicDiskInfo &v = volumes_.stInfos[0];
    EXPECT_EQ(v.handle, 0x141);
    EXPECT_EQ(v.type, 2);
    EXPECT_EQ(v.sizeMiB, 1024u);  // (max LBA + 1) x 512
    EXPECT_EQ(v.resyncPercent, 75);
    EXPECT_EQ(v.unified, 0x8);
    EXPECT_STREQ(lsi_raid_status_text(v.unified), "Rebuilding");
    EXPECT_EQ(v.wwid, 0x600508b1001c2a3bull);
    ASSERT_EQ(members_.count, 2u);
    EXPECT_EQ(members_.stInfos[1].handle, 10);
    EXPECT_EQ(members_.stInfos[1].diskMap, 2);
    EXPECT_EQ(members_.stInfos[1].ucPhysDiskNum, 2);
    EXPECT_EQ(members_.stInfos[1].volHandle, 0x141);
    EXPECT_STREQ(members_.stInfos[1].vendor, "SIMVNDR ");
}

TEST_F(LsiTables, VolumeWalkStopsAtFourteenAndAFailedFirstReadEndsIt)
{
    std::string facts = "mpt-ioc 0 pci=0000:05:00.0\n";
    for (int i = 0; i < 16; i++)
        facts += "sas-volume 0 " + std::to_string(0x100 + i) + " 0 5 0 2047 512 64 " + std::to_string(i + 1) + " 0 0\n";
    MpiController &c = open(facts);
    ASSERT_EQ(getLogicDiskInfos(&c, &volumes_, &members_), 0);
    EXPECT_EQ(volumes_.count, 14u);
    EXPECT_EQ(volumes_.stInfos[13].wwid, 14u);
    mpt_fault_status(0, MPI_FUNCTION_CONFIG, MPI_PAGETYPE_RAID_VOLUME, 0x22, 0, 0);
    std::vector<std::string> lines;
    MpiController one = c;
    lines = plugin_lines([&] { getLogicDiskInfos(&one, &volumes_, &members_); });
    EXPECT_EQ(volumes_.count, 0u);  // the walk's first read failed
    EXPECT_EQ(getLogicDiskInfos(nullptr, &volumes_, &members_), -16005);
}

TEST_F(LsiTables, UnifiedStatuses)
{
    struct Case {
        uint8_t state;
        uint8_t type;
        uint32_t flags;
        uint8_t unified;
    } cases[] = {{5, 2, 0, 0x1}, {3, 2, 0, 0x1}, {4, 0, 0, 0x4}, {4, 2, 0x10000, 0x8}, {4, 2, 0, 0x2},
                 {1, 2, 0, 0x4}, {9, 2, 0, 0x40}, {5, 2, 0x4, 0x4}};
    for (const Case &k : cases) {
        LogicDiskInfo v{};
        v.state = k.state;
        v.type = k.type;
        v.flags = k.flags;
        UniteLogicDiskStatus(&v);
        EXPECT_EQ(v.unified, k.unified) << int{k.state};
    }
    struct Disk {
        uint8_t member, ssd, volType, state;
        uint32_t block;
        const char *text;
    } disks[] = {{0, 0, 0, 0, 512, "Ready (RDY)"}, {0, 0, 0, 0, 4096, "???"}, {1, 0, 2, 4, 512, "Hot Spare (HSP)"},
                 {1, 0, 2, 6, 512, "Out of Sync (OSY)"}, {1, 1, 0, 5, 512, "Offline Unknown (OFLU)"},
                 {1, 0, 2, 9, 512, "Unknown"}};
    for (const Disk &d : disks) {
        PhyDiskInfo e{};
        e.raidMember = d.member;
        e.ucIsSSD = d.ssd;
        e.volType = d.volType;
        e.raidState = d.state;
        e.blockLength = d.block;
        UnitePhyDiskStatus(&e);
        EXPECT_STREQ(lsi_disk_status_text(e.unified), d.text);
    }
    EXPECT_STREQ(get_raid_type(5), "RAID10");
    EXPECT_STREQ(get_raid_type(3), "UNKNOWN");
}

TEST_F(LsiTables, ScanCachePerControllerAndCounterRhythm)
{
    sas_apply(sas_board(1, 6, 'b'));
    MpiController &c = open(sas_board(0, 5, 'a'));
    MpiController &other = list_.controllers[1];
    ASSERT_EQ(getLogicDiskInfos(&c, &volumes_, &members_), 0);
    ASSERT_EQ(getPhysicalDiskInfos(&c, &disks_, &members_), 0);
    EXPECT_EQ(disks_.count, 14u);
    EXPECT_STREQ(disks_.stInfos[0].serial, "SER-A");
    EXPECT_EQ(disks_.stInfos[0].raidMember, 1);
    EXPECT_EQ(disks_.stInfos[2].raidMember, 0);
    EXPECT_EQ(disks_.stInfos[2].ucSlotNum, 6);
    // Second call, same controller: the cache, no traffic.
    sim_clear_journal();
    PHYDISKINFOS again{};
    ASSERT_EQ(getPhysicalDiskInfos(&c, &again, &members_), 0);
    EXPECT_TRUE(mpt_commands().empty());
    EXPECT_EQ(std::memcmp(&again, &disks_, sizeof again), 0);
    // Fourth call on another controller: it scans.
    getPhysicalDiskInfos(&c, &again, &members_);
    ASSERT_EQ(getPhysicalDiskInfos(&other, &again, &members_), 0);
    EXPECT_FALSE(mpt_commands().empty());
    EXPECT_EQ(lsi_phy_cache_count(), 4u);
    EXPECT_EQ(again.stInfos[0].sasAddress, disks_.stInfos[0].sasAddress);
    releaseLsiController(&list_);
    globals_reset_all();
    EXPECT_EQ(lsi_phy_cache_count(), 0u);
}

TEST_F(LsiTables, OutOfRangeAndTakenPhysAreSkipped)
{
    std::string facts = sas_board(0, 5, 'a');
    facts += "disk-add sdx sgx sas pci=0000:05:00.0\ndisk-capacity sdx 2048 512\n"
             "sas-disk 0 30 sdx 1 14 9 0 30\n"
             "disk-add sdy sgy sas pci=0000:05:00.0\ndisk-capacity sdy 2048 512\n"
             "sas-disk 0 31 sdy 2 2 10 0 31\n";
    MpiController &c = open(facts);
    ASSERT_EQ(getLogicDiskInfos(&c, &volumes_, &members_), 0);
    std::vector<std::string> lines = plugin_lines([&] { getPhysicalDiskInfos(&c, &disks_, &members_); });
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0], "getPhysicalDiskInfos: PHY 14 of handle 30 is out of range, skipped\n");
    EXPECT_EQ(lines[1], "getPhysicalDiskInfos: PHY 2 is taken, handle 31 skipped\n");
    EXPECT_EQ(disks_.stInfos[2].handle, 11);  // the first disk keeps its entry
    EXPECT_EQ(disks_.stInfos[0].present + disks_.stInfos[1].present + disks_.stInfos[2].present, 3);
}

// VPD page B1's medium rotation rate (bytes 4-5, most significant first):
// 1 is a non-rotating medium, any other rate a spinning disk. A RAID member
// is asked through the pass-through, the others directly.
TEST_F(LsiTables, SsdFromTheRotationRate)
{
    MpiController &c = open(sas_board(0, 5, 'a'));
    disk_find("sdaa")->identify[217] = 0x0001;
    disk_find("sdac")->identify[217] = 0x0100;
    ASSERT_EQ(getLogicDiskInfos(&c, &volumes_, &members_), 0);
    ASSERT_EQ(getPhysicalDiskInfos(&c, &disks_, &members_), 0);
    EXPECT_EQ(disks_.stInfos[0].ucIsSSD, 1);
    EXPECT_EQ(disks_.stInfos[2].ucIsSSD, 0);

    struct Case {
        uint16_t rate;
        uint8_t ssd;
    } cases[] = {{0x0001, 1}, {0x0000, 0}, {0x0100, 0}, {0x0101, 0}, {0x1C20, 0}, {0x3A98, 0}, {0xFFFF, 0}};
    for (int slot : {0, 2}) {
        const char *sd = slot == 0 ? "sdaa" : "sdac";
        for (const Case &k : cases) {
            disk_find(sd)->identify[217] = k.rate;
            PhyDiskInfo e = disks_.stInfos[slot];
            e.ucIsSSD = 0;
            EXPECT_EQ(isSsd(&c, &e), 0) << sd;
            EXPECT_EQ(e.ucIsSSD, k.ssd) << sd << " rate 0x" << std::hex << k.rate;
        }
    }
}

// The device walk moves from handle to a higher handle; a controller that
// answers the next page with a handle not above the last one (here the page
// asked after handle 9, which would be disk 10) ends the walk, keeping the
// disk found before it. Bounded by a failing 64th request so a walk that
// does not stop still ends.
TEST_F(LsiTables, DeviceWalkStopsWhenTheHandleDoesNotRise)
{
    const std::string head = "0000000f09001200010000000a00000000c5005001000100";   // bytes 0 to 23
    const std::string tail = "0a000104000000000000";                                 // bytes 26 to 35
    struct Case {
        const char *what;
        std::string page;
    } cases[] = {
        {"handle 0", head + "0000" + tail},
        {"short page, handle unread", head},
        {"lower handle", head + "0800" + tail},
        {"same handle", head + "0900" + tail},
    };
    for (const Case &k : cases) {
        SCOPED_TRACE(k.what);
        fresh_board();
        MpiController &c = open(sas_board(0, 5, 'a') + "mpt-page 0 0x12 0 0x1000000a 0 " + k.page + "\n");
        ASSERT_EQ(getLogicDiskInfos(&c, &volumes_, &members_), 0);
        sim_fail_request(MPT_CTL_NODE, kMptCommand, EIO, 64);
        std::vector<std::string> lines = plugin_lines([&] { getPhysicalDiskInfos(&c, &disks_, &members_); });
        ASSERT_TRUE(lines.empty()) << lines.size() << " lines, first: " << lines.front();
        EXPECT_EQ(disks_.stInfos[0].handle, 9);
        EXPECT_STREQ(disks_.stInfos[0].serial, "SER-A");
        EXPECT_EQ(disks_.stInfos[1].present + disks_.stInfos[2].present, 0);
    }
}

TEST_F(LsiTables, CapacitiesBeyondTwoTebibytesAndLargeBlocks)
{
    std::string facts = "mpt-ioc 0 pci=0000:05:00.0\n"
                        "disk-add sda sg0 sas pci=0000:05:00.0\ndisk-capacity sda 8589934592 512\n"
                        "sas-disk 0 9 sda 1 0 0 0 9\n"
                        "disk-add sdb sg1 sas pci=0000:05:00.0\ndisk-capacity sdb 1048576 4096\n"
                        "sas-disk 0 10 sdb 1 1 1 0 10\n"
                        "disk-add sdc sg2 sas pci=0000:05:00.0\ndisk-capacity sdc 4294967296 512\n"
                        "sas-disk 0 11 sdc 1 2 2 0 11\n";
    MpiController &c = open(facts);
    ASSERT_EQ(getPhysicalDiskInfos(&c, &disks_, nullptr), 0);
    EXPECT_EQ(disks_.stInfos[0].capacityMiB, 4194304u);  // 4 TiB through READ CAPACITY(16)
    EXPECT_EQ(disks_.stInfos[1].capacityMiB, 4096u);
    EXPECT_EQ(disks_.stInfos[1].blockLength, 4096u);
    EXPECT_EQ(disks_.stInfos[2].capacityMiB, 2097152u);  // exactly 2 TiB
    EXPECT_STREQ(lsi_disk_status_text(disks_.stInfos[1].unified), "???");
}

} // namespace

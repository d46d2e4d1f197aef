// The disks and disk_phy reports as whole command lines on the simulated
// controller and disks.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "sim/disk_model.h"
#include "sim/sim_host.h"
#include "support/console_run.h"
#include "support/sas_test_util.h"
#include "support/sim_fixture.h"
#include "tool/quorbix.h"

namespace {

using testing::internal::CaptureStdout;
using testing::internal::GetCapturedStdout;

struct MfcRun {
    std::string out;
    int status;
};

MfcRun mfc(const std::string &path)
{
    CaptureStdout();
    int status = quorbix_mfc(path);
    std::fflush(stdout);
    return {GetCapturedStdout(), status};
}

// Plugin lines keep their text; only the line number is masked.
std::string masked(std::string s)
{
    const std::string head = "disk_lsi_info:";
    for (size_t p = s.find(head); p != std::string::npos; p = s.find(head, p + 1)) {
        size_t e = s.find(' ', p);
        s.replace(p + head.size(), e - p - head.size(), "N");
    }
    return s;
}

class DiskReports : public SimTest {};

TEST_F(DiskReports, MissingControlDeviceFailsDiscovery)
{
    for (const char *path : {"disks", "disk_phy"}) {
        MfcRun r = mfc(path);
        EXPECT_EQ(masked(r.out), "<DEVM_PLUGIN_NAME>../../code/hwmanage/hpi/plugins/disks/hw/disk_lsi_info:N "
                                 "Couldn't open /dev/mpt2ctl, (errno=2, No such file or directory)\n"
                                 "find mpt2 controller fail! iRet=-3008.\n");
        EXPECT_EQ(r.status, 2);
    }
}

TEST_F(DiskReports, OneControllerWithARaid1AndADisk)
{
    sas_apply(sas_board(0, 5, 'a'));
    MfcRun r = mfc("disks");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out.rfind("\n1 MPT Port found\n\n", 0), 0u) << r.out;
    const std::string volume = "Volume:0\n"
                               "  Bus                                 : 0\n"
                               "  Target ID                           : 0\n"
                               "  Handle                              : 321\n"
                               "  Volume State:                       : Optimal\n"
                               "  WWID:                               : 600508b1001c2a3b\n"
                               "  Type                                : RAID1(Mirroring)\n"
                               "  Volume Size                         : 1024 (MB)\n"
                               "  Stripe Size                         : 64\n"
                               "  RebuildScale                        : 0(%)\n";
    EXPECT_NE(r.out.find(volume), std::string::npos) << r.out;
    const std::string member = "PhysicalDisk : 1\n"
                               "  Slot                              : 5\n"
                               "  Bus                               : 0\n"
                               "  Target ID                         : 10\n"
                               "  Handle                            : 10\n"
                               "  IsRaidDisk                        : YES\n"
                               "    RaidHandle                      : 321\n"
                               "    DiskMap                         : Secondary\n"
                               "    PhysDiskNum                     : 2\n"
                               "  State                             : Ready (RDY)\n"
                               "  Size (in MB)                      : 1024 (MB)\n"
                               "  Manufacturer                      : SEAGATE ST600MM0006     \n"
                               "  Model Number                      : ST600MM0006     \n"
                               "  Firmware Revision                 : 0001\n"
                               "  Serial No                         : SER-B\n"
                               "  SAS Address                       : 5000c5000000000a\n"
                               "  Temprature                        : 0 (degree Celsius)\n"
                               "  Powered Up Hours                  : 0 (hours)\n"
                               "  Protocol                          : SAS\n"
                               "  ErrCounter                        :  corrected   processed(GB)  uncorrected\n"
                               "    Read                            :          0,         0.000,           0\n"
                               "    Write                           :          0,         0.000,           0\n"
                               "    Vertify                         :          0,         0.000,           0\n"
                               "  Smart Health Status               : OK (ASC=0,ASCQ=0)\n"
                               "  Glist                             : 0\n";
    EXPECT_NE(r.out.find(member), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("  IsRaidDisk                        : NO\n  State"), std::string::npos);
    EXPECT_NE(r.out.find("  Adapter Phy 1                       : Link 3.0G\n"
                         "    Invalid DWord Count               : 1\n"),
              std::string::npos);
    EXPECT_NE(r.out.find("  Adapter Phy 0                       : Link 6.0G\n  Adapter Phy 1"), std::string::npos);
    EXPECT_EQ(sim_open_count(), 0);
}

TEST_F(DiskReports, TwoControllersEachShowTheirOwnDisks)
{
    sas_apply(sas_board(0, 5, 'a') + sas_board(1, 6, 'b'));
    MfcRun r = mfc("disks");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out.rfind("\n2 MPT Ports found\n\n", 0), 0u);
    EXPECT_EQ(count_of(r.out, "PhysicalDisk : "), 6u);
    EXPECT_EQ(count_of(r.out, "  Serial No                         : SER-A\n"), 2u);  // one per controller
    EXPECT_EQ(count_of(r.out, "  SAS Address                       : 5000c5000000000b\n"), 2u);
    EXPECT_EQ(sim_open_count(), 0);
}

TEST_F(DiskReports, VolumeStatesAndTheShortPhyForm)
{
    struct Case {
        const char *state;
        const char *text;
    } cases[] = {{"4 0x10000", "Resyncing"}, {"4 0", "Degraded"}, {"5 0x4", "Inactive"}, {"9 0", "Unknown"}};
    for (const Case &c : cases) {
        sas_apply(sas_board(0, 5, 'a', c.state));
        MfcRun r = mfc("disks");
        EXPECT_NE(r.out.find(std::string("  Volume State:                       : ") + c.text + "\n"),
                  std::string::npos)
            << c.state;
        TearDown();
        SetUp();
    }
    sas_apply(sas_board(0, 5, 'a'));
    MfcRun r = mfc("disk_phy");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "\n1 MPT Port found\n\n"
                     "Adapter Phy 0: Link Up, No Errors\n"
                     "Adapter Phy 1: Link Up\n"
                     "    Invalid DWord Count               : 1\n"
                     "    Running Disparity Error Count     : 2\n"
                     "    Loss of DWord Synch Count         : 3\n"
                     "    Phy Reset Problem Count           : 4\n");
    EXPECT_EQ(sim_open_count(), 0);
}

// Any one non-zero counter brings all four lines, in both forms; each PHY
// below has one counter of its own set, the last none.
TEST_F(DiskReports, OneNonZeroCounterShowsAllFour)
{
    sas_apply("mpt-ioc 0 pci=0000:05:00.0 device=0x72 revision=3 sas=0x500605b000000000\n"
              "mpt-phy 0 0 10 0 0 0 6\n"
              "mpt-phy 0 1 9 0 0 7 0\n"
              "mpt-phy 0 2 8 0 8 0 0\n"
              "mpt-phy 0 3 0 9 0 0 0\n"
              "mpt-phy 0 4 10 0 0 0 0\n");
    const auto counters = [](int invalid, int disparity, int loss, int reset) {
        return "    Invalid DWord Count               : " + std::to_string(invalid) +
               "\n    Running Disparity Error Count     : " + std::to_string(disparity) +
               "\n    Loss of DWord Synch Count         : " + std::to_string(loss) +
               "\n    Phy Reset Problem Count           : " + std::to_string(reset) + "\n";
    };
    MfcRun r = mfc("disk_phy");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "\n1 MPT Port found\n\n"
                     "Adapter Phy 0: Link Up\n" + counters(0, 0, 0, 6) +
                     "Adapter Phy 1: Link Up\n" + counters(0, 0, 7, 0) +
                     "Adapter Phy 2: Link Up\n" + counters(0, 8, 0, 0) +
                     "Adapter Phy 3: Link Down\n" + counters(9, 0, 0, 0) +
                     "Adapter Phy 4: Link Up, No Errors\n");
    r = mfc("disks");
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.out.find("  Adapter Phy 0                       : Link 6.0G\n" + counters(0, 0, 0, 6) +
                         "  Adapter Phy 1                       : Link 3.0G\n" + counters(0, 0, 7, 0) +
                         "  Adapter Phy 2                       : Link 1.5G\n" + counters(0, 8, 0, 0) +
                         "  Adapter Phy 3                       : Link Down\n" + counters(9, 0, 0, 0) +
                         "  Adapter Phy 4                       : Link 6.0G\n"),
              std::string::npos)
        << r.out;
    EXPECT_EQ(count_of(r.out, "Invalid DWord Count"), 4u);
    EXPECT_EQ(sim_open_count(), 0);
}

TEST_F(DiskReports, ResyncProgressAndNoVolume)
{
    sas_apply(sas_board(0, 5, 'a', "4 0x10000"));
    MfcRun r = mfc("disks");
    EXPECT_NE(r.out.find("  RebuildScale                        : 75(%)\n"), std::string::npos) << r.out;
    TearDown();
    SetUp();
    sas_apply("mpt-ioc 0 pci=0000:07:00.0\n");  // not the cached controller
    r = mfc("disks");
    EXPECT_NE(r.out.find("IR Volume information\n" + std::string(72, '-') + "\nNo volumes is active.\n"),
              std::string::npos) << r.out;
    EXPECT_NE(r.out.find("Physical device information\n" + std::string(72, '-') + "\n"), std::string::npos);
    EXPECT_EQ(r.out.find("PhysicalDisk"), std::string::npos);
}

// A SATA SSD's identity comes from its IDENTIFY data: the model text is the
// manufacturer, and the vendor text (the model after "TDK " for this maker)
// the model number.
TEST_F(DiskReports, SataSsdNamesItsModelAsManufacturer)
{
    DiskFacts ssd = disk_sata("GBDriver RS3WC080", "SSD-SER-1", "FW01", 2097152);
    ssd.sd = "sdz";
    ssd.sg = "sg9";
    ssd.pci = "0000:05:00.0";
    ssd.target = 9;
    disk_add(ssd);
    sas_apply("mpt-ioc 0 pci=0000:05:00.0 device=0x72 revision=3 sas=0x500605b000000000\n"
              "mpt-phy 0 0 10 0 0 0 0\n"
              "sas-disk 0 9 sdz 1 0 4 0 9\n");
    MfcRun r = mfc("disks");
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_NE(r.out.find("  Manufacturer                      : GBDriver RS3WC080\n"
                         "  Model Number                      : TDK GBDriver RS3WC080\n"
                         "  Firmware Revision                 : 0x0000\n"
                         "  Serial No                         : SSD-SER-1\n"),
              std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find("  Protocol                          : SATA\n"), std::string::npos) << r.out;
    EXPECT_EQ(r.out.find("Manufacturer                      : TDK"), std::string::npos) << r.out;
    EXPECT_EQ(sim_open_count(), 0);
}

// The error counter pages' parameters 3, 5 and 6 (corrected, bytes processed,
// uncorrected) each in their own column, on each of the three pages.
TEST_F(DiskReports, ErrorCountersStandInTheirColumns)
{
    struct Row {
        uint8_t page;
        uint64_t corrected, processed, uncorrected;
        const char *line;
    };
    const Row rows[] = {
        {0x03, 7, 10000000000, 9, "    Read                            :          7,        10.000,           9\n"},
        {0x02, 1, 2500000000, 3, "    Write                           :          1,         2.500,           3\n"},
        {0x05, 4, 500000000, 6, "    Vertify                         :          4,         0.500,           6\n"},
    };
    // A parameter: code, control byte, length, and the value in eight bytes, most significant first.
    auto param = [](uint8_t code, uint64_t value) {
        char hex[64];
        int n = std::snprintf(hex, sizeof hex, "00 %02x 00 08", code);
        for (int shift = 56; shift >= 0; shift -= 8)
            n += std::snprintf(hex + n, sizeof hex - static_cast<size_t>(n), " %02x",
                               static_cast<unsigned>((value >> shift) & 0xFF));
        return std::string(hex);
    };
    std::string facts = "mpt-ioc 0 pci=0000:05:00.0 device=0x72 revision=3 sas=0x500605b000000000\n"
                        "mpt-phy 0 0 10 0 0 0 0\n"
                        "disk-add sdz sg9 sas pci=0000:05:00.0 target=9\n"
                        "disk-inquiry sdz \"SEAGATE\" \"ST600MM0006\" \"0001\"\n"
                        "disk-capacity sdz 2097152 512\n"
                        "disk-log sdz 0x00 00 00 00 03 02 03 05\n";
    for (const Row &row : rows) {
        char head[16];
        std::snprintf(head, sizeof head, "%02x 00 00 24", row.page);   // three 12-byte parameters
        facts += "disk-log sdz " + std::to_string(row.page) + " " + head + " " + param(3, row.corrected) + " " +
                 param(5, row.processed) + " " + param(6, row.uncorrected) + "\n";
    }
    facts += "sas-disk 0 9 sdz 1 0 4 0 9\n";
    sas_apply(facts);
    MfcRun r = mfc("disks");
    EXPECT_EQ(r.status, 0) << r.out;
    std::string want = "  ErrCounter                        :  corrected   processed(GB)  uncorrected\n";
    for (const Row &row : rows)
        want += row.line;
    EXPECT_NE(r.out.find(want), std::string::npos) << r.out;
}

} // namespace

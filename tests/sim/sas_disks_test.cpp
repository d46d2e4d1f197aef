// The default simulated board's SAS controller and disks, and the sas-
// fixture lines.
#include <gtest/gtest.h>

#include <string>

#include "bases/host/host.h"
#include "sim/fixture_file.h"
#include "sim/sas_disks.h"
#include "sim/sim_host.h"
#include "support/console_run.h"
#include "support/sim_beside.h"
#include "support/sim_binary.h"
#include "support/sim_fixture.h"

namespace {

TEST(SasDisks, DefaultBoardShowsEveryBlockAndKeepsItsDisks)
{
    TempDir dir;
    for (int run = 0; run < 2; run++) {  // fresh, then the saved board
        SimRun r = run_sim_binary("--root " + dir.path + " -- -m disks");
        EXPECT_EQ(r.status, 0) << r.out;
        EXPECT_NE(r.out.find("\n1 MPT Port found\n"), std::string::npos);
        EXPECT_NE(r.out.find("Controller information"), std::string::npos);
        EXPECT_NE(r.out.find("  Adapter Phy 1                       : Link 6.0G\n    Invalid DWord Count"),
                  std::string::npos);
        EXPECT_NE(r.out.find("  Type                                : RAID1(Mirroring)\n"), std::string::npos);
        EXPECT_EQ(count_of(r.out, "PhysicalDisk : "), 4u) << r.out;
        EXPECT_EQ(count_of(r.out, "  IsRaidDisk                        : YES\n"), 2u);
        EXPECT_EQ(count_of(r.out, "  Protocol                          : SATA\n"), 1u);
        EXPECT_EQ(count_of(r.out, "  Temprature"), 3u);  // not for the SATA SSD
    }
}

class SasLines : public SimTest {};

TEST_F(SasLines, BadLinesAreRefused)
{
    const char *bad[] = {
        "sas-disk 0 9 sda 1 0 0 0 9",              // no controller, no disk
        "sas-disk 0 9",                             // too short
        "sas-volume 0 1 2 5 0 100 512 64 1 0 0 x",  // bad member
        "sas-volume 0 1 2 5 0 100 512 64 1 0 0",    // no controller
        "sas-nothing 1",
    };
    for (const char *line : bad) {
        std::string err;
        EXPECT_FALSE(sas_fixture_line(line, err)) << line;
        EXPECT_FALSE(err.empty()) << line;
    }
}

} // namespace

namespace {

class SasExpanderLines : public SimTest {};

TEST_F(SasExpanderLines, LinesRefusedAndAccepted)
{
    struct Case {
        const char *line;
        bool ok;
    } cases[] = {
        {"sas-expander-phy 0 1 10 0 0 0 0", false},  // no expander yet
        {"sas-expander 0 0x20 1 0x500", false},      // too few fields
        {"sas-expander 7 0x20 1 0x500 8", false},    // no such controller
        {"sas-expander 0 0x20 1 0x500 8", true},
        {"sas-expander-phy 0 1 10 0 0 0", false},
        {"sas-expander-phy 0 1 10 0 0 0 x", false},
        {"sas-expander-phy 0 1 10 1 2 3 4", true},
        {"sas-byid 0x1122", false},
        {"sas-byid 0x1122334455667788 sdq", true},
    };
    std::string err;
    ASSERT_TRUE(sim_fixture_apply("mpt-ioc 0 pci=0000:05:00.0\n", "(test)", err)) << err;
    for (const Case &k : cases)
        EXPECT_EQ(sas_fixture_line(k.line, err), k.ok) << k.line << ": " << err;
    char link[64] = {};
    ssize_t n = host().readlink("/dev/disk/by-id/scsi-38877665544332211-part1", link, sizeof link - 1);
    ASSERT_GT(n, 0);
    EXPECT_STREQ(link, "../../sdq1");
}

} // namespace
namespace {

// The default board: controller 0 with disks sda to sdd.
class SasNames : public SimBesideTest {};

// The SD of sas-disk and sas-byid is a device name, refused with the line
// and the word quoted; nothing at the root's top or beside it is touched
// (a path would have aimed the by-id links at it).
TEST_F(SasNames, SdIsADeviceName)
{
    for (const std::string &name : kSimBadNames) {
        const std::string message = "SD '" + sim_clip(name) + "' is not a device name";
        expect_refused("sas-disk 0 40 " + name + " 1 4 4 0 40", "sas-disk: " + message);
        expect_refused("sas-byid 0x1122334455667788 " + name, "sas-byid: " + message);
    }
    const std::string longest = sim_name_of(32);
    expect_applied("disk-add " + longest + " sg40 sas");
    expect_applied("sas-disk 0 40 " + longest + " 1 4 4 0 40");
    expect_applied("sas-byid 0x1122334455667788 " + longest);
    char link[64] = {};
    ASSERT_GT(host().readlink("/dev/disk/by-id/scsi-38877665544332211", link, sizeof link - 1), 0);
    EXPECT_EQ(std::string(link), "../../" + longest);
}

// The saved board replays the sas- lines: a bad name there is refused the
// same way, with the board's file and line.
TEST_F(SasNames, SavedBoardRefusesBadNames)
{
    const std::string error =
        reopen_changed("sas-byid 0x1122334455667788 sdd\n", "0x1122334455667788 sdd", "0x1122334455667788 ../../notes.txt");
    EXPECT_TRUE(error.starts_with(root_ + "/.sim/board:")) << error;
    EXPECT_NE(error.find(": sas-byid: SD '../../notes.txt' is not a device name"), std::string::npos) << error;
    EXPECT_TRUE(error.ends_with("(give --reset to start a fresh board)")) << error;
}

} // namespace

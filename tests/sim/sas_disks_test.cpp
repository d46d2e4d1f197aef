// The default simulated board's SAS controller and disks, and the sas-
// fixture lines.
#include <gtest/gtest.h>

#include <string>

#include "sim/sas_disks.h"
#include "support/sim_binary.h"
#include "support/sim_fixture.h"

namespace {

size_t count(const std::string &s, const std::string &what)
{
    size_t n = 0;
    for (size_t p = s.find(what); p != std::string::npos; p = s.find(what, p + 1))
        n++;
    return n;
}

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
        EXPECT_EQ(count(r.out, "PhysicalDisk : "), 4u) << r.out;
        EXPECT_EQ(count(r.out, "  IsRaidDisk                        : YES\n"), 2u);
        EXPECT_EQ(count(r.out, "  Protocol                          : SATA\n"), 1u);
        EXPECT_EQ(count(r.out, "  Temprature"), 3u);  // not for the SATA SSD
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

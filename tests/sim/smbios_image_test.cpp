// SMBIOS tables on the simulated board: the dump form in both directions,
// a dump loaded by a fixture line and kept with the saved board, and the
// sysfs resource text.
#include <gtest/gtest.h>

#include <fstream>

#include "bases/pci/smbios.h"
#include "sim/fixture_file.h"
#include "sim/pci_sysfs.h"
#include "sim/smbios_image.h"
#include "support/sim_fixture.h"

namespace {

class SmbiosImageTest : public SimTest {
protected:
    std::string product()
    {
        char buf[32] = {};
        int ret = smbios_get_board_info(1, buf, sizeof buf);
        return ret == 0 ? buf : "error " + std::to_string(ret);
    }
    std::string write_dump(const std::vector<uint8_t> &bytes)
    {
        std::string file = root_ + "/board.dump";
        std::ofstream(file, std::ios::binary).write(reinterpret_cast<const char *>(bytes.data()),
                                                    static_cast<std::streamsize>(bytes.size()));
        return file;
    }
};

TEST_F(SmbiosImageTest, DumpLayout)
{
    std::vector<uint8_t> d = smbios_dump_bytes({smbios_baseboard("M", "P", "S", "L"), smbios_end(1)});
    ASSERT_GE(d.size(), 0x20u);
    EXPECT_EQ(std::string(d.begin(), d.begin() + 4), "_SM_");
    EXPECT_EQ(smbios_checksum(d.data(), 0x1F), 0);
    EXPECT_EQ(smbios_checksum(d.data() + 0x10, 0x0F), 0);
    EXPECT_EQ(d[0x18] | d[0x19] << 8, 0x20);
    EXPECT_EQ(d[0x16] | d[0x17] << 8, static_cast<int>(d.size() - 0x20));
    EXPECT_EQ(d[0x20], 2);   // the first structure at 0x20
}

TEST_F(SmbiosImageTest, FixtureDumpIsKeptWithTheBoard)
{
    EXPECT_EQ(product(), "ZK17DORN");
    std::string file = write_dump(smbios_dump_bytes({smbios_baseboard("M", "X9SRL", "S", "L"), smbios_end(1)}));
    std::string error;
    ASSERT_TRUE(sim_fixture_apply("smbios-dump " + file + "\n", "test", error)) << error;
    EXPECT_EQ(product(), "X9SRL");
    sim_board_close();
    ASSERT_EQ(sim_board_open(root_, "ZK17DORN"), 0);
    EXPECT_EQ(product(), "X9SRL");

    std::string bad = write_dump({'n', 'o', 'p', 'e'});
    EXPECT_FALSE(sim_fixture_apply("smbios-dump " + bad + "\n", "test", error));
    EXPECT_NE(error.find("no SMBIOS 2.x entry point"), std::string::npos) << error;
    EXPECT_FALSE(sim_fixture_apply("smbios-dump\n", "test", error));
}

TEST_F(SmbiosImageTest, ResourceText)
{
    PciFunction fn;
    fn.resources = {{0xD0000000, 0xD0000FFF, 0x40200}};
    std::string text = pci_sysfs_resource_text(fn);
    EXPECT_EQ(text.substr(0, 57), "0x00000000d0000000 0x00000000d0000fff 0x0000000000040200\n");
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 7);
    EXPECT_NE(text.find("0x0000000000000000 0x0000000000000000 0x0000000000000000\n"), std::string::npos);
}

} // namespace

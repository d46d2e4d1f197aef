// The plugin's query interface through the simulated controller: flat disk
// and volume records, slot lookups, the self-test and its result page, and
// the block-device names found under "/dev/disk/by-id" and "/sys/block".
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <string>

#include "hwmanage/hpi/plugins/disks/hw/disk_lsi_plugin.h"
#include "sim/disk_model.h"
#include "sim/sim_host.h"
#include "support/mpt_test_util.h"
#include "support/sas_test_util.h"
#include "support/sim_fixture.h"

namespace {

constexpr uint64_t kWwid = 0x600508b1001c2a3bull;
constexpr const char *kWwidMemory = "3b2a1c00b1080560";  // bytes in memory order
constexpr const char *kRoot = "0000:05:00.0";

class LsiPlugin : public SimTest {
protected:
    MpiController &open(const std::string &extra = "")
    {
        sas_apply(sas_board(0, 5, 'a') + extra);
        EXPECT_EQ(findMpiController("0000:00:01.0", &c_), 0);
        sim_clear_journal();
        return c_;
    }
    void TearDown() override
    {
        closeMpiController(&c_);
        SimTest::TearDown();
    }
    void link(const std::string &name, const std::string &target)
    {
        std::filesystem::create_directories(sim_path("/dev/disk/by-id"));
        std::filesystem::create_symlink(target, sim_path("/dev/disk/by-id/" + name));
    }
    MpiController c_ = make_closed();
    static MpiController make_closed()
    {
        MpiController c{};
        c.descriptor = -1;
        return c;
    }
};

TEST_F(LsiPlugin, RecordsOfMembersAndDirectDisks)
{
    MpiController &c = open("sas-byid 0x600508b1001c2a3b sdz\n");
    LogicDiskList volumes{};
    DiskInfoList disks{};
    std::vector<std::string> lines =
        plugin_lines([&] { EXPECT_EQ(lsi_get_physicalDisk_info(&volumes, &disks, kRoot, &c, 1), 0); });
    ASSERT_EQ(volumes.count, 1u);
    EXPECT_EQ(volumes.entries[0].present, 1u);
    EXPECT_EQ(volumes.entries[0].handle, 0x141u);
    EXPECT_EQ(volumes.entries[0].members, 2u);
    EXPECT_EQ(volumes.entries[0].sizeMiB, 1024u);
    EXPECT_STREQ(volumes.entries[0].name, "/dev/sdz");
    EXPECT_EQ(disks.count, 14u);
    struct Want {
        uint16_t slot;
        const char *path;
        const char *serial;
        const char *sas;
    } want[] = {{4, "NULL", "SER-A", "0x5000c50000000009"},
                {5, "NULL", "SER-B", "0x5000c5000000000a"},
                {6, "/dev/sdac", "SER-C", "0x5000c5000000000b"}};
    for (size_t i = 0; i < 3; i++) {
        const DiskInfoRecord &r = disks.records[i];
        SCOPED_TRACE(i);
        EXPECT_EQ(r.present, 1);
        EXPECT_EQ(r.kind, 1);
        EXPECT_EQ(r.index, want[i].slot);
        EXPECT_EQ(r.capacity, 1024u);
        EXPECT_STREQ(r.vendor, "SEAGATE ST600MM0006     ");  // as the disk table holds it
        EXPECT_STREQ(r.serial, want[i].serial);
        EXPECT_STREQ(r.devicePath, want[i].path);
        EXPECT_STREQ(r.sasAddress, want[i].sas);
    }
    EXPECT_EQ(disks.records[0].volumeHandle, 0x141);
    EXPECT_EQ(disks.records[3].present, 0);
    // Seven debug lines per present disk, nothing else on success.
    ASSERT_EQ(lines.size(), 21u);
    EXPECT_EQ(lines[0], "diskSrc->stInfos[0].present = 1\n");
    EXPECT_EQ(lines[2], "diskSrc->stInfos[0].ucSlotNum = 4\n");
    EXPECT_EQ(lines[20], "uiCapacity = 1024\n");
    // Raw bytes at the exchanged offsets.
    const auto *raw = reinterpret_cast<const uint8_t *>(&disks.records[2]);
    EXPECT_EQ(raw[2], 6);
    EXPECT_EQ(std::string(reinterpret_cast<const char *>(raw + 180)), "/dev/sdac");
    EXPECT_EQ(std::string(reinterpret_cast<const char *>(raw + 276)), "0x5000c5000000000b");
}

TEST_F(LsiPlugin, VolumeWithoutLinkKeepsNoNameAndSaysSo)
{
    MpiController &c = open();
    LogicDiskList volumes{};
    DiskInfoList disks{};
    std::vector<std::string> lines =
        plugin_lines([&] { EXPECT_EQ(lsi_get_physicalDisk_info(&volumes, &disks, kRoot, &c, 1), 0); });
    EXPECT_STREQ(volumes.entries[0].name, "");
    EXPECT_EQ(lines[0], "cannot open directory: /dev/disk/by-id/, errno=2, No such file or directory\n\n");
    EXPECT_EQ(lines[1], "get diskname sas by wwid(600508b1001c2a3b) error, ret(-16060)!\n");
    EXPECT_EQ(convert_logicDisk_info(nullptr, nullptr, nullptr), -16005);
}

TEST_F(LsiPlugin, SlotLookups)
{
    MpiController &c = open();
    PhyDiskInfo e{};
    EXPECT_EQ(lsi_get_physicalDisk_index(&c, 5, &e, 1), 0);
    EXPECT_EQ(e.handle, 10);
    EXPECT_EQ(e.raidMember, 1);
    EXPECT_EQ(lsi_get_physicalDisk_index(&c, 9, &e, 1), -16008);
    EXPECT_EQ(lsi_get_physicalDisk_index(nullptr, 5, &e, 1), -16005);
    EXPECT_EQ(lsi_get_physicalDisk_index(&c, 5, nullptr, 1), -16005);
}

TEST_F(LsiPlugin, ByIdWalk)
{
    open();
    std::string id = std::string("scsi-3") + kWwidMemory;
    link(id + "-part1", "../../sdq1");
    sim_write_file("/dev/disk/by-id/wwn-" + std::string(kWwidMemory), "plain file");
    char name[32] = {};
    // Partitions, "." and ".." and a plain file are passed over.
    EXPECT_EQ(get_diskname_bywwid(kWwid, name), -16008);
    struct Case {
        const char *target;
        int status;
        const char *name;
    } cases[] = {
        {"../../sdq", 0, "/dev/sdq"},      {"../../sdaa", 0, "/dev/sdaa"}, {"../../sdabcd", 0, "/dev/sdabcd"},
        {"../../sdabcde", -16008, ""},     {"../../sda1", -16008, ""},     {"../../sdA", -16008, ""},
        {"../../sd", -16008, ""},          {"../sdb", -16008, ""},         {"../../hda", -16008, ""},
    };
    for (const Case &k : cases) {
        SCOPED_TRACE(k.target);
        std::filesystem::remove(sim_path("/dev/disk/by-id/" + id));
        link(id, k.target);
        std::memset(name, 0, sizeof name);
        EXPECT_EQ(get_diskname_byentryid(kWwid, id.c_str(), name), k.status);
        EXPECT_STREQ(name, k.name);
    }
    EXPECT_EQ(get_diskname_byentryid(kWwid, ".", name), -16008);
    EXPECT_EQ(get_diskname_byentryid(kWwid, "scsi-3ffffffffffffffff", name), -16008);
    std::string longName(240, 'x');
    longName += kWwidMemory;
    EXPECT_EQ(get_diskname_byentryid(kWwid, longName.c_str(), name), -16003);
    EXPECT_EQ(get_diskname_byentryid(kWwid, nullptr, name), -16005);
    std::vector<std::string> lines =
        plugin_lines([&] { EXPECT_EQ(get_diskname_byentryid(kWwid, (id + "x").c_str(), name), -16010); });
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].rfind("cannot get file:/dev/disk/by-id/" + id + "x status, errno=2", 0), 0u);
}

TEST_F(LsiPlugin, ByIdDirectoryEmptyOrUnreadable)
{
    open();
    char name[32] = {};
    std::filesystem::create_directories(sim_path("/dev/disk/by-id"));
    EXPECT_EQ(get_diskname_bywwid(kWwid, name), -16008);  // "." and ".." only
    std::filesystem::remove_all(sim_path("/dev/disk/by-id"));
    EXPECT_EQ(get_diskname_bywwid(kWwid, name), -16060);
}

TEST_F(LsiPlugin, SysBlockWalkComparesTrimmedSerials)
{
    open();
    PhyDiskInfo e{};
    std::strcpy(e.serial, "  SER-C   ");
    EXPECT_TRUE(check_dir_rootbdf(kRoot, "sdac"));
    EXPECT_FALSE(check_dir_rootbdf("0000:09:00.0", "sdac"));
    EXPECT_FALSE(check_dir_rootbdf(kRoot, ".."));
    EXPECT_FALSE(check_dir_rootbdf(kRoot, "sdzz"));
    EXPECT_EQ(get_sys_diskname(kRoot, &e), 0);
    EXPECT_STREQ(e.diskName, "/dev/sdac");
    // No disk below another root: the name stays as it was.
    PhyDiskInfo other{};
    std::strcpy(other.serial, "SER-C");
    EXPECT_EQ(get_sys_diskname("0000:09:00.0", &other), 0);
    EXPECT_STREQ(other.diskName, "");
    EXPECT_EQ(get_logic_diskname(kRoot), 0);
    char serial[32] = {};
    EXPECT_EQ(getDiskDriverSerial(serial, "sdac"), 0);
    EXPECT_STREQ(serial, "SER-C");
    EXPECT_EQ(getDiskDriverSerial(serial, std::string(27, 'x').c_str()), -16001);
    EXPECT_EQ(getDiskDriverSerial(serial, "sdnone"), -3008);
    std::filesystem::remove_all(sim_path("/sys/block"));
    EXPECT_EQ(get_sys_diskname(kRoot, &e), -16060);
    EXPECT_EQ(get_logic_diskname(kRoot), -16060);
    uint8_t src[3] = {1, 2, 3}, dst[3] = {};
    swap_bytes(dst, src, 3);
    EXPECT_EQ(dst[0], 3);
    EXPECT_EQ(dst[2], 1);
}

TEST_F(LsiPlugin, SelfTestCodes)
{
    open();
    struct Case {
        uint8_t code;
        int byte1;
    } cases[] = {{0xFF, 0x04}, {1, 0x20}, {2, 0x40}, {0, 0x10}};
    for (const Case &k : cases) {
        EXPECT_EQ(lsi_disk_selfTest("0000:00:01.0", 6, k.code, 1), 0);
        EXPECT_EQ(disk_find("sdac")->selfTest, k.byte1);
    }
    EXPECT_EQ(lsi_disk_selfTest("0000:00:01.0", 9, 1, 1), -16008);  // controller closed on the lookup failure
    EXPECT_EQ(lsi_disk_selfTest("0000:07:00.0", 6, 1, 1), -3027);
}

std::vector<uint8_t> selftest_page(uint16_t length, uint8_t code = 0x10)
{
    std::vector<uint8_t> p(4 + 400, 0);
    p[0] = code;
    p[2] = static_cast<uint8_t>(length >> 8);
    p[3] = static_cast<uint8_t>(length);
    const uint8_t entry[20] = {0x00, 0x01, 0x03, 0x10, 0x23, 0x07, 0x01, 0x02, 0x11, 0x22,
                               0x33, 0x44, 0x55, 0x66, 0x77, 0x88, 0x03, 0x11, 0x01, 0x00};
    std::memcpy(p.data() + 4, entry, sizeof entry);
    return p;
}

TEST_F(LsiPlugin, SelfTestResultPage)
{
    open();
    struct Case {
        uint16_t length;
        uint8_t code;
        int status;
    } cases[] = {{0x190, 0x10, 0}, {0x180, 0x10, -3025}, {0x190, 0x0D, -3022}};
    for (const Case &k : cases) {
        disk_find("sdac")->logPages[0x10] = selftest_page(k.length, k.code);
        LsiSelfTestResult r{};
        std::vector<std::string> lines =
            plugin_lines([&] { EXPECT_EQ(lsi_disk_selfTest_result("0000:00:01.0", 6, &r, 1), k.status); });
        if (k.status != 0)
            continue;
        EXPECT_EQ(r.code, 1);
        EXPECT_EQ(r.result, 3);
        EXPECT_EQ(r.number, 7);
        EXPECT_EQ(r.powerOnHours, 0x0102);
        EXPECT_EQ(r.failureLba, 0x1122334455667788ull);
        EXPECT_EQ(r.senseKey, 3);
        EXPECT_EQ(r.asc, 0x11);
        EXPECT_EQ(r.ascq, 1);
        EXPECT_EQ(r.parameterCode, 1);
        ASSERT_EQ(lines.size(), 2u);
        EXPECT_EQ(lines[0], "uc_type = 1\n");
        EXPECT_EQ(lines[1], "uc_result = 3\n");
    }
    EXPECT_EQ(lsi_disk_selfTest_result("0000:00:01.0", 6, nullptr, 1), -16005);
}

} // namespace

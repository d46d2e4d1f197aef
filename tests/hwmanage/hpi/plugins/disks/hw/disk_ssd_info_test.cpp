#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <string>

#include "bases/drv/sg_drv.h"
#include "hwmanage/hpi/plugins/disks/hw/disk_scsi_sg.h"
#include "hwmanage/hpi/plugins/disks/hw/disk_ssd_info.h"
#include "sim/disk_model.h"
#include "support/sim_fixture.h"

namespace {

class SsdTest : public SimTest {
protected:
    void SetUp() override
    {
        SimTest::SetUp();
        DiskFacts d = disk_sata("INTEL SSDSC2BB480G4", "BTWL1234", "D2010370", 937703088);
        d.smartData[2] = 233;  // wear attribute, current 97
        d.smartData[5] = 97;
        d.smartData[14] = 9;   // power-on hours
        d.smartData[17] = 100;
        d.smartData[19] = 0x10;
        d.smartThresholds[2 + 12 + 1] = 100;  // slot 1 threshold 100 >= current 100
        disk_add(d);
    }
};

TEST_F(SsdTest, SatCdbRows)
{
    struct Row { int command, select; uint8_t cdb[12]; };
    const Row rows[] = {
        {0, 0, {0xA1, 6, 0x0C, 0xD8, 0, 1, 0x4F, 0xC2, 0, 0xB0, 0, 0}},
        {2, 0xF1, {0xA1, 6, 0x0C, 0xD2, 0xF1, 0, 0x4F, 0xC2, 0, 0xB0, 0, 0}},
        {3, 0x7F, {0xA1, 6, 0x0C, 0xD4, 0, 0x7F, 0x4F, 0xC2, 0, 0xB0, 0, 0}},
        {6, 0, {0xA1, 6, 0x2C, 0xDA, 0, 0, 0x4F, 0xC2, 0, 0xB0, 0, 0}},
        {7, 0, {0xA1, 8, 0x0E, 0xD0, 1, 0, 0x4F, 0xC2, 0, 0xB0, 0, 0}},
        {10, 0, {0xA1, 8, 0x0E, 0, 1, 0, 0, 0, 0, 0xEC, 0, 0}},
    };
    for (const Row &r : rows) {
        sim_clear_journal();
        uint8_t buf[512];
        int fd = deviceopen("/dev/sg0", "SCSI");
        testing::internal::CaptureStdout();
        sat_command_interface(fd, r.command, r.select, buf);
        testing::internal::GetCapturedStdout();
        host().close(fd);
        ASSERT_FALSE(sim_journal().empty());
        const SimAttachment *cdb = sim_attachment(sim_journal().back(), "cdb");
        ASSERT_NE(cdb, nullptr);
        EXPECT_EQ(cdb->bytes, std::vector<uint8_t>(r.cdb, r.cdb + 12)) << "command " << r.command;
    }
    EXPECT_EQ(sat_command_interface(-1, 14, 0, nullptr), -1);
}

TEST_F(SsdTest, IdentityAndCapacity)
{
    DiskInfoRecord rec{};
    testing::internal::CaptureStdout();
    EXPECT_EQ(ssd_get_identity_info("/dev/sda", &rec), 0);
    testing::internal::GetCapturedStdout();
    EXPECT_STREQ(rec.model, "INTEL SSDSC2BB480G4");
    EXPECT_STREQ(rec.serial, "BTWL1234");
    EXPECT_STREQ(rec.firmware, "D2010370");
    EXPECT_STREQ(rec.sasAddress, "NULL");
    EXPECT_EQ(rec.capacity, 480103u);  // 937703088 * 512 / 1e6, in 64 bits
    EXPECT_EQ(disk_last_open_flags() & O_ACCMODE, O_RDONLY);
    disk_find("sda")->identify[49] = 0;  // no LBA: capacity 0
    EXPECT_EQ(ssd_get_identity_info("/dev/sda", &rec), 0);
    EXPECT_EQ(rec.capacity, 0u);
}

// The 48-bit count (words 100-103) counts only when word 83 reads 0, 1, 1 in
// bits 15, 14 and 10; otherwise the 28-bit count of words 60-61 (low word
// first) gives the capacity. The larger of the two wins.
TEST_F(SsdTest, CapacityWithAndWithout48BitAddressing)
{
    struct Row {
        uint16_t w49, w83;
        uint16_t w100, w101, w102;
        uint32_t capacity;
    };
    // 28-bit count 0x01234567 (19088743 sectors, 9773 MB); 48-bit count
    // 0x123456789 (4886718345 sectors, 2501999 MB).
    const Row rows[] = {
        {0x200, 0x4400, 0x6789, 0x2345, 0x0001, 2501999},
        {0x200, 0x4000, 0x6789, 0x2345, 0x0001, 9773},      // bit 10 clear: no 48-bit addressing
        {0x200, 0xC400, 0x6789, 0x2345, 0x0001, 9773},      // bit 15 set: word not valid
        {0x200, 0x0400, 0x6789, 0x2345, 0x0001, 9773},      // bit 14 clear: word not valid
        {0x200, 0x4400, 0x3456, 0x0012, 0x0000, 9773},      // 48-bit count the smaller
        {0x000, 0x4400, 0x6789, 0x2345, 0x0001, 0},         // no LBA
    };
    for (const Row &r : rows) {
        DiskFacts &d = *disk_find("sda");
        d.identify[49] = r.w49;
        d.identify[60] = 0x4567;
        d.identify[61] = 0x0123;
        d.identify[83] = r.w83;
        d.identify[100] = r.w100;
        d.identify[101] = r.w101;
        d.identify[102] = r.w102;
        d.identify[103] = 0;
        DiskInfoRecord rec{};
        testing::internal::CaptureStdout();
        EXPECT_EQ(ssd_get_identity_info("/dev/sda", &rec), 0);
        testing::internal::GetCapturedStdout();
        EXPECT_EQ(rec.capacity, r.capacity) << std::hex << "word 83 0x" << r.w83 << " word 100 0x" << r.w100;
    }
}

TEST_F(SsdTest, SmartHealthOnlyFromTheDrivesWord)
{
    struct Row { DiskSense sense; bool pass; int expect; };
    const Row rows[] = {{DiskSense::descriptor, true, 0}, {DiskSense::descriptor, false, 1},
                        {DiskSense::none, true, -1}, {DiskSense::fixed, true, -1}};
    for (const Row &r : rows) {
        disk_find("sda")->sense = r.sense;
        disk_find("sda")->smartPass = r.pass;
        int fd = deviceopen("/dev/sda", "SCSI");
        testing::internal::CaptureStdout();
        EXPECT_EQ(sat_command_interface(fd, 6, 0, nullptr), r.expect);
        testing::internal::GetCapturedStdout();
        host().close(fd);
    }
}

TEST_F(SsdTest, SmartInfoFirstReadingAndIntelRules)
{
    DiskInfoRecord rec{};
    testing::internal::CaptureStdout();
    EXPECT_EQ(ssd_getPhysicalDiskSmartsbydiskname("/dev/sda", &rec), 0);
    std::string out = testing::internal::GetCapturedStdout();
    for (const char *line : {"SMART support bit changed! cur:1,old:-255", "SMART enabled bit changed! cur:1,old:-255",
                             "SMART Work state changed! cur:1,old:-255", "SMART Status changed! cur:0,old:-255"})
        EXPECT_NE(out.find(line), std::string::npos) << line;
    EXPECT_EQ(rec.smart.health, 0);
    EXPECT_EQ(rec.smart.wear, 3);
    EXPECT_EQ(rec.smart.powerOnHours, 0x10u);
    EXPECT_EQ(rec.smart.failingAttr, 9);
    testing::internal::CaptureStdout();
    EXPECT_EQ(ssd_getPhysicalDiskSmartsbydiskname("/dev/sda", &rec), 0);
    EXPECT_EQ(testing::internal::GetCapturedStdout().find("changed!"), std::string::npos);
}

TEST_F(SsdTest, SmartNotWorkingGivesUnknownHealth)
{
    disk_find("sda")->faults[0xA1] = {5, 0x24, 0};
    DiskInfoRecord rec{};
    uint16_t id[256] = {};
    int fd = deviceopen("/dev/sda", "SCSI");
    testing::internal::CaptureStdout();
    EXPECT_EQ(ssd_GetSmartInfo(fd, id, &rec), 0);
    EXPECT_NE(testing::internal::GetCapturedStdout().find("SMART Disabled. Need to enable it."), std::string::npos);
    host().close(fd);
    EXPECT_EQ(rec.smart.health, -1);
}

TEST_F(SsdTest, SenseDescriptorWalkStaysInside)
{
    struct Row { std::vector<uint8_t> sense; size_t len; bool found; };
    const std::vector<uint8_t> good = {0x72, 1, 0, 0x1D, 0, 0, 0, 14, 9, 12, 0, 0, 0, 0, 0, 0, 0, 0x4F, 0, 0xC2, 0, 0x50};
    const Row rows[] = {
        {good, good.size(), true},
        {good, 20, false},                                              // runs past the bytes received
        {{0x72, 1, 0, 0, 0, 0, 0, 4, 9, 12, 0, 0}, 12, false},          // past byte 7's length
        {{0x70, 1, 0, 0, 0, 0, 0, 14, 9, 12, 0, 0, 0, 0}, 14, false},   // fixed format
        {{0x72, 1, 0, 0, 0, 0, 0, 6, 3, 0, 9, 2, 0, 0}, 14, true},      // second descriptor
    };
    for (const Row &r : rows)
        EXPECT_EQ(disk_sg_scsi_sense_desc_find(r.sense.data(), r.len, 9) != nullptr, r.found);
}

TEST_F(SsdTest, TransportChoicePerErrno)
{
    struct Row { int err; int state; int result; };
    const Row rows[] = {{0, 1, 0}, {ENODEV, 0, -1}, {EACCES, 0, -1}, {EPERM, 0, -1}, {EINVAL, 2, 0}, {ENOTTY, 2, 0}};
    for (const Row &r : rows) {
        ssd_info_reset();
        sim_clear_faults();
        if (r.err != 0)
            sim_fail_request("/dev/sda", SG_IO_REQUEST, r.err);
        uint8_t buf[512];
        int fd = deviceopen("/dev/sda", "SCSI");
        testing::internal::CaptureStdout();
        EXPECT_EQ(sat_command_interface(fd, 10, 0, buf), r.result) << r.err;
        testing::internal::GetCapturedStdout();
        host().close(fd);
        EXPECT_EQ(g_iSgIoState, r.state) << r.err;
        if (r.result == 0) {
            EXPECT_EQ(buf[0], static_cast<uint8_t>(disk_find("sda")->identify[0]));
        }
    }
    g_iSgIoState = 7;
    testing::internal::CaptureStdout();
    uint8_t idbuf[512];
    EXPECT_EQ(sat_command_interface(-1, 10, 0, idbuf), -1);
    EXPECT_NE(testing::internal::GetCapturedStdout().find("bad sg_io_state=7"), std::string::npos);
    EXPECT_EQ(g_iSgIoState, 0);
}

TEST_F(SsdTest, DriverProblemMapping)
{
    struct Row { uint16_t host, driver; int expect; };
    const Row rows[] = {{1, 0, -ETIMEDOUT}, {3, 0, -ETIMEDOUT}, {7, 0, -EIO}, {0, 6, -ETIMEDOUT}, {0, 4, -EIO}};
    for (const Row &r : rows) {
        disk_find("sda")->hostStatus = r.host;
        disk_find("sda")->driverStatus = r.driver;
        uint8_t cdb[6] = {0x12, 0, 0, 0, 36, 0}, data[36];
        scsi_cmnd_io io{cdb, 6, DXFER_FROM_DEVICE, data, sizeof data, 0, nullptr, 0, 0, 0, 0, 0, 0, 0, 0};
        int fd = deviceopen("/dev/sda", "SCSI");
        EXPECT_EQ(ssd_sg_io_cmnd_io(fd, &io), r.expect);
        host().close(fd);
    }
}

// Both SG_IO callers hand the driver their time-out in milliseconds: the
// command's seconds times 1000, or 60000 when it gives none.
TEST_F(SsdTest, SgIoTimeoutInMilliseconds)
{
    struct Caller {
        const char *name;
        int (*send)(int fd, scsi_cmnd_io *io);
    } callers[] = {
        {"ssd_sg_io_cmnd_io", ssd_sg_io_cmnd_io},
        {"sg_io_cmnd_io", [](int fd, scsi_cmnd_io *io) { return sg_io_cmnd_io(fd, io, 0, 1); }},
    };
    struct Row { unsigned seconds; uint32_t ms; };
    const Row rows[] = {{0, 60000}, {1, 1000}, {6, 6000}, {45, 45000}};
    for (const Caller &c : callers) {
        for (const Row &r : rows) {
            uint8_t cdb[6] = {0x12, 0, 0, 0, 36, 0}, data[36];
            scsi_cmnd_io io{cdb, 6, DXFER_FROM_DEVICE, data, sizeof data, 0, nullptr, r.seconds, 0, 0, 0, 0, 0, 0, 0};
            int fd = deviceopen("/dev/sda", "SCSI");
            sim_clear_journal();
            EXPECT_EQ(c.send(fd, &io), 0) << c.name;
            host().close(fd);
            ASSERT_FALSE(sim_journal().empty()) << c.name;
            const SimJournalEntry &e = sim_journal().front();
            ASSERT_EQ(e.request, SG_IO_REQUEST) << c.name;
            ASSERT_EQ(e.record.size(), sizeof(SgIoHdr)) << c.name;
            SgIoHdr hdr{};
            std::memcpy(&hdr, e.record.data(), sizeof hdr);
            EXPECT_EQ(hdr.timeout, r.ms) << c.name << " " << r.seconds << " s";
        }
    }
}

TEST_F(SsdTest, SysfsFinds)
{
    DiskFacts other = disk_sata("WDC X", "S2", "F", 1000);
    other.sg = "sg1";
    other.sd = "sdb";
    other.target = 3;
    other.pci = "0000:02:00.0";
    disk_add(other);
    char name[32];
    EXPECT_EQ(ssd_find_physicalDisk_index("0000:01:00.0", 0, 0, name, sizeof name), 0);
    EXPECT_STREQ(name, "/dev/sg0");
    EXPECT_EQ(ssd_find_physicalDisk_index("0000:02:00.0", 0, 3, name, sizeof name), 0);
    EXPECT_STREQ(name, "/dev/sg1");
    EXPECT_EQ(ssd_find_physicalDisk_index("0000:02:00.0", 0, 4, name, sizeof name), SSD_ERR_NOT_FOUND);
    testing::internal::CaptureStdout();
    EXPECT_EQ(ssd_find_physicalDisk_index("0000:02:00.0", 0, 3, name, 16), SSD_ERR_SIZE);
    testing::internal::GetCapturedStdout();
    DiskInfoList list{};
    EXPECT_EQ(ssd_find_physicalDisk(&list, "0000:01:00.0"), 0);
    ASSERT_EQ(list.count, 1u);
    EXPECT_STREQ(list.records[0].devicePath, "/dev/sda");
}

// Links whose text would fill the buffer are skipped; one just short of it
// is read whole. A link naming the controller but no "targetH:C:T" that
// scans fails the search.
TEST_F(SsdTest, SysfsLinkTextsAndBadTargets)
{
    namespace fs = std::filesystem;
    auto link = [](const std::string &at, const std::string &pci, size_t length) {
        std::string text = "../../devices/pci0000:00/" + pci + "/host0/target0:0:0/0:0:0:0/";
        text += std::string(length - text.size() - 3, 'x') + "/sg";
        fs::create_symlink(text, sim_path(at));
        return text;
    };
    link("/sys/class/scsi_generic/sg5", "0000:05:00.0", 256);  // fills the 256-byte buffer
    link("/sys/class/scsi_generic/sg6", "0000:06:00.0", 255);
    link("/sys/block/sdf", "0000:05:00.0", 256);
    link("/sys/block/sdg", "0000:06:00.0", 255);
    fs::create_symlink("../../devices/pci0000:00/0000:07:00.0/host0/targetX/scsi_generic/sg7",
                       sim_path("/sys/class/scsi_generic/sg7"));
    char name[32];
    testing::internal::CaptureStdout();
    EXPECT_EQ(ssd_find_physicalDisk_index("0000:05:00.0", 0, 0, name, sizeof name), SSD_ERR_NOT_FOUND);
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_NE(out.find("readlink file:/sys/class/scsi_generic/sg5 failed, errno=36"), std::string::npos) << out;
    EXPECT_EQ(ssd_find_physicalDisk_index("0000:06:00.0", 0, 0, name, sizeof name), 0);
    EXPECT_STREQ(name, "/dev/sg6");
    testing::internal::CaptureStdout();
    EXPECT_EQ(ssd_find_physicalDisk_index("0000:07:00.0", 0, 0, name, sizeof name), SSD_ERR_NOT_FOUND);
    EXPECT_NE(testing::internal::GetCapturedStdout().find("sscanf_s failed, status=0"), std::string::npos);
    DiskInfoList list{};
    testing::internal::CaptureStdout();
    EXPECT_EQ(ssd_find_physicalDisk(&list, "0000:05:00.0"), 0);
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(list.count, 0u);
    EXPECT_EQ(ssd_find_physicalDisk(&list, "0000:06:00.0"), 0);
    ASSERT_EQ(list.count, 1u);
    EXPECT_STREQ(list.records[0].devicePath, "/dev/sdg");
}

TEST_F(SsdTest, GenericSerialAndLogSense)
{
    disk_find("sda")->logPages[0x0D] = {0x0D, 0, 0, 11, 0, 0, 3, 2, 0, 38, 0, 1, 3, 2, 0, 60};
    int fd = scsideviceopen("/dev/sda", "SCSI");
    uint8_t cur = 0, trip = 0;
    EXPECT_EQ(scsiGetTemp(fd, &cur, &trip), 0);
    EXPECT_EQ(cur, 38);
    EXPECT_EQ(trip, 60);
    char serial[32];
    disk_identify_text(*disk_find("sda"), 10, 10, "ABCDEFGHIJKLMNOPQRSTUV");
    EXPECT_EQ(scsiGetdiskSerial(fd, serial), 0);
    EXPECT_STREQ(serial, "ABCDEFGHIJKLMNOPQRST");
    testing::internal::CaptureStdout();
    EXPECT_EQ(scsiGetTemp(fd, &cur, &trip), 0);
    uint8_t buf[64];
    EXPECT_EQ(scsiLogSense(fd, 0x2F, buf, sizeof buf, 0), SIMPLE_ERR_BAD_FIELD);
    testing::internal::GetCapturedStdout();
    host().close(fd);
    // odd page length: length + 5 bytes read
    size_t reads = 0;
    for (const SimJournalEntry &e : sim_journal())
        if (const SimAttachment *c = sim_attachment(e, "cdb"); c && c->bytes[0] == 0x4D && c->bytes[2] == 0x4D)
            reads += (c->bytes[8] == 4) + (c->bytes[8] == 16) * 10;
    EXPECT_EQ(reads, 2u * 11u);
}

TEST(ScsiSgText, HexDumpAndNames)
{
    const uint8_t bytes[18] = {'A', 'B', 0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 'z', 0x7F};
    testing::internal::CaptureStdout();
    dStrHex(bytes, sizeof bytes, 0);
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(out.substr(0, 52), "00  41 42 00 01 02 03 04 05  06 07 08 09 0a 0b 0c 0d");
    EXPECT_EQ(out.substr(60, 17), "AB..............\n");
    EXPECT_STREQ(scsi_get_opcode_name(0x4D), "log sense");
    EXPECT_EQ(scsi_get_opcode_name(0x4E), nullptr);
    EXPECT_STREQ(scsiErrString(7), "device will be ready soon");
    EXPECT_STREQ(scsiErrString(99), "unknown error");
}

} // namespace

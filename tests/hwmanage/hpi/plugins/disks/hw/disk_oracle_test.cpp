// The bytes the simulated disks serve, read by the helpers and by sg3-utils'
// decoders: both must say the same. Skipped when the decoders are missing.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <string>
#include <unistd.h>
#include <vector>

#include "bases/host/host.h"
#include "hwmanage/hpi/plugins/disks/hw/disk_scsi_sg.h"
#include "hwmanage/hpi/plugins/disks/hw/disk_ssd_info.h"
#include "sim/disk_model.h"
#include "support/sim_fixture.h"
#include "support/oracle.h"

namespace {

std::string run_tool(const std::string &command)
{
    std::string out;
    if (FILE *p = ::popen((command + " 2>&1").c_str(), "r")) {
        char buf[512];
        while (size_t n = std::fread(buf, 1, sizeof buf, p))
            out.append(buf, n);
        ::pclose(p);
    }
    return out;
}

std::string hex(const uint8_t *b, size_t n)
{
    std::string s;
    char two[4];
    for (size_t i = 0; i < n; ++i) {
        std::snprintf(two, sizeof two, "%02x ", b[i]);
        s += two;
    }
    return s;
}

class DiskOracleTest : public SimTest {
protected:
    void SetUp() override
    {
        SimTest::SetUp();
        QUORBIX_NEED_TOOL("sg_decode_sense", "sg3-utils");
        QUORBIX_NEED_TOOL("sg_logs", "sg3-utils");
        disk_add(disk_sata("INTEL SSDSC2BB480G4", "BTWL1234", "D2010370", 937703088));
    }
    DiskFacts &disk() { return *disk_find("sda"); }

    // INQUIRY answered with a check condition; the sense bytes and their summary.
    std::vector<uint8_t> check_sense(sg_scsi_sense_hdr &s)
    {
        std::vector<uint8_t> sense(32), data(36);
        const uint8_t cdb[6] = {0x12, 0, 0, 0, 36, 0};
        scsi_cmnd_io io{cdb, 6, DXFER_FROM_DEVICE, data.data(), data.size(), 32, sense.data(), 0, 0, 0, 0, 0, 0, 0, 0};
        int fd = scsideviceopen("/dev/sda", "SCSI");
        EXPECT_EQ(do_normal_scsi_cmnd_io(fd, &io, 0), 0);
        scsideviceclose(fd);
        SAS1064_scsi_do_sense_disect(&io, &s);
        sense.resize(io.resp_sense_len);
        return sense;
    }

    std::string file(const std::string &name, const std::string &text)
    {
        std::string path = root_ + "/" + name;
        std::ofstream(path) << text << "\n";
        return path;
    }
};

TEST_F(DiskOracleTest, SenseKeyAndCodes)
{
    struct Row {
        DiskSense format;
        DiskCheck check;
        int classified;      // what the serial query makes of it
        const char *keyName; // the decoder's words for key and codes
        const char *ascText;
    };
    const Row rows[] = {
        {DiskSense::descriptor, {5, 0x24, 0}, SIMPLE_ERR_BAD_FIELD, "Illegal Request", "Invalid field in cdb"},
        {DiskSense::fixed, {5, 0x20, 0}, SIMPLE_ERR_BAD_OPCODE, "Illegal Request", "Invalid command operation code"},
        {DiskSense::fixed, {2, 0x3A, 0}, SIMPLE_ERR_NO_MEDIUM, "Not Ready", "Medium not present"},
        {DiskSense::descriptor, {2, 0x04, 0x01}, SIMPLE_ERR_BECOMING_READY, "Not Ready",
         "Logical unit is in process of becoming ready"},
        {DiskSense::fixed, {5, 0x26, 0}, SIMPLE_ERR_BAD_PARAM, "Illegal Request", "Invalid field in parameter list"},
    };
    for (const Row &r : rows) {
        disk().sense = r.format;
        disk().faults[0x12] = r.check;
        sg_scsi_sense_hdr s{};
        std::vector<uint8_t> sense = check_sense(s);
        std::string out = run_tool("sg_decode_sense " + hex(sense.data(), sense.size()));
        EXPECT_NE(out.find(r.format == DiskSense::fixed ? "Fixed format" : "Descriptor format"), std::string::npos) << out;
        EXPECT_NE(out.find(std::string("Sense key: ") + r.keyName), std::string::npos) << out;
        EXPECT_NE(out.find(r.ascText), std::string::npos) << out;
        EXPECT_EQ(s.sense_key, r.check.key);
        EXPECT_EQ(s.asc, r.check.asc);
        EXPECT_EQ(s.ascq, r.check.ascq);
        int fd = scsideviceopen("/dev/sda", "SCSI");
        char serial[SCSI_SERIAL_SIZE];
        EXPECT_EQ(scsiGetdiskSerial(fd, serial), r.classified) << r.ascText;
        scsideviceclose(fd);
    }
}

// SMART RETURN STATUS: the ATA return descriptor's LBA as the decoder reads
// it, against the health the plugin gives.
TEST_F(DiskOracleTest, SmartReturnDescriptor)
{
    struct Row {
        bool pass;
        const char *lba;
        int health;
    };
    for (const Row &r : {Row{true, "lba=0xc24f00", 0}, Row{false, "lba=0x2cf400", 1}}) {
        disk().smartPass = r.pass;
        uint8_t cdb[12] = {0xA1, 6, 0x2C, 0xDA, 0, 0, 0x4F, 0xC2, 0, 0xB0, 0, 0};
        std::vector<uint8_t> sense(32);
        scsi_cmnd_io io{cdb, 12, DXFER_NONE, nullptr, 0, 32, sense.data(), 0, 0, 0, 0, 0, 0, 0, 0};
        int fd = deviceopen("/dev/sda", "SCSI");
        EXPECT_EQ(ssd_sg_io_cmnd_io(fd, &io), 0);
        std::string out = run_tool("sg_decode_sense " + hex(sense.data(), io.resp_sense_len));
        EXPECT_NE(out.find("ATA Status Return"), std::string::npos) << out;
        EXPECT_NE(out.find(r.lba), std::string::npos) << out;
        testing::internal::CaptureStdout();
        EXPECT_EQ(sat_command_interface(fd, 6, 0, nullptr), r.health);
        testing::internal::GetCapturedStdout();
        host().close(fd);
    }
}

// Temperature and informational-exception pages: the helpers' values and
// the decoder's reading of the same page bytes.
TEST_F(DiskOracleTest, LogPages)
{
    disk().logPages[0x0D] = {0x0D, 0, 0, 0x0C, 0, 0, 3, 2, 0, 41, 0, 1, 3, 2, 0, 65};
    disk().logPages[0x2F] = {0x2F, 0, 0, 8, 0, 0, 3, 4, 0x5D, 0x10, 38, 65};
    int fd = scsideviceopen("/dev/sda", "SCSI");
    uint8_t page[252] = {};
    ASSERT_EQ(scsiLogSense(fd, 0x0D, page, sizeof page, 0), 0);
    uint8_t cur = 0, trip = 0;
    ASSERT_EQ(scsiGetTemp(fd, &cur, &trip), 0);
    std::string out = run_tool("sg_logs --in=" + file("temp.hex", hex(page, 16)));
    EXPECT_NE(out.find("Current temperature = " + std::to_string(cur) + " C"), std::string::npos) << out;
    EXPECT_NE(out.find("Reference temperature = " + std::to_string(trip) + " C"), std::string::npos) << out;

    ASSERT_EQ(scsiLogSense(fd, 0x2F, page, sizeof page, 0), 0);
    uint8_t asc = 0, ascq = 0;
    ASSERT_EQ(scsiCheckIE(fd, 1, &asc, &ascq), 0);
    scsideviceclose(fd);
    char want[64];
    std::snprintf(want, sizeof want, "IE asc = 0x%x, ascq = 0x%x", asc, ascq);
    out = run_tool("sg_logs --in=" + file("ie.hex", hex(page, 12)));
    EXPECT_NE(out.find(want), std::string::npos) << out;
}

} // namespace

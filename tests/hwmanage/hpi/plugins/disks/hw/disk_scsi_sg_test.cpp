// The generic SCSI helpers on the simulated disks: the send-command path
// with a check condition, the trace lines, the informational-exception
// check and the sense summary of both sense formats.
#include <gtest/gtest.h>

#include <cerrno>
#include <string>
#include <vector>

#include "bases/drv/sg_drv.h"
#include "bases/host/host.h"
#include "hwmanage/hpi/plugins/disks/hw/disk_scsi_sg.h"
#include "sim/disk_model.h"
#include "support/sim_fixture.h"

namespace {

class ScsiSgTest : public SimTest {
protected:
    void SetUp() override
    {
        SimTest::SetUp();
        disk_add(disk_sata("INTEL SSDSC2BB480G4", "BTWL1234", "D2010370", 937703088));
        fd_ = scsideviceopen("/dev/sda", "SCSI");
        ASSERT_GE(fd_, 0);
    }
    void TearDown() override
    {
        scsideviceclose(fd_);
        SimTest::TearDown();
    }
    DiskFacts &disk() { return *disk_find("sda"); }

    // One command through the transport choice; its console text.
    std::string run(const std::vector<uint8_t> &cdb, int dir, std::vector<uint8_t> &data, int report, int &rc,
                    scsi_cmnd_io *out = nullptr)
    {
        sense_.assign(32, 0);
        scsi_cmnd_io io{cdb.data(), cdb.size(), dir, data.empty() ? nullptr : data.data(), data.size(), 32,
                        sense_.data(), 0, 0, 0, 0, 0, 0, 0, 0};
        testing::internal::CaptureStdout();
        rc = do_normal_scsi_cmnd_io(fd_, &io, report);
        if (out != nullptr)
            *out = io;
        return testing::internal::GetCapturedStdout();
    }

    int fd_ = -1;
    std::vector<uint8_t> sense_;
};

const std::vector<uint8_t> kInquiry = {0x12, 0, 0, 0, 36, 0};

TEST_F(ScsiSgTest, TraceLines)
{
    struct Row {
        const char *what;
        int state;
        void (*setup)(DiskFacts &d);
        std::vector<uint8_t> cdb;
        int dir;
        size_t len;
        int report;
        std::vector<std::string> lines;
        std::vector<std::string> absent;
    };
    const Row rows[] = {
        {"read", SG_STATE_SG_IO, [](DiskFacts &) {}, kInquiry, DXFER_FROM_DEVICE, 36, 1,
         {" [inquiry: 12 00 00 00 24 00 ]\n", "  scsi_status=0x0, host_status=0x0, driver_status=0x0\n",
          "  info=0x0  duration=1 milliseconds  resid=0\n", "  Incoming data, len=36:\n00  00 00 06 02 5b 00 00 00  41 54 41",
          "  status=0\n"},
         {"Sense buffer"}},
        {"unknown opcode", SG_STATE_SG_IO, [](DiskFacts &) {}, {0x25, 0, 0, 0, 0, 0, 0, 0, 0, 0}, DXFER_FROM_DEVICE, 8, 1,
         {" [<unknown opcode>: 25 00 00 00 00 00 00 00 00 00 ]\n"}, {}},
        {"descriptor sense", SG_STATE_SG_IO, [](DiskFacts &d) { d.faults[0x12] = {5, 0x24, 0}; }, kInquiry,
         DXFER_FROM_DEVICE, 36, 2,
         {"  >>> Sense buffer, len=8:\n00  72 05 24 00 00 00 00 00\n", "  status=2: [desc] sense_key=5 asc=24 ascq=0\n"},
         {}},
        {"fixed sense, level 1", SG_STATE_SG_IO,
         [](DiskFacts &d) {
             d.sense = DiskSense::fixed;
             d.faults[0x12] = {2, 0x04, 0x01};
         },
         kInquiry, DXFER_FROM_DEVICE, 36, 1, {"  status=2: sense_key=2 asc=4 ascq=1\n"}, {"Sense buffer"}},
        {"other status", SG_STATE_SG_IO, [](DiskFacts &d) { d.otherStatus[0x12] = 0x18; }, kInquiry, DXFER_FROM_DEVICE,
         36, 1, {"  status=0x18\n"}, {}},
        {"trimmed", SG_STATE_SG_IO, [](DiskFacts &d) { d.shortBy[0x12] = 96; }, kInquiry, DXFER_FROM_DEVICE, 36, 1,
         {"  Incoming data trimmed to nothing by resid\n"}, {"Incoming data, len"}},
        {"long write", SG_STATE_SG_IO, [](DiskFacts &) {}, {0x15, 0x10, 0, 1, 0x2C, 0}, DXFER_TO_DEVICE, 300, 1,
         {" [mode select: 15 10 00 01 2c 00 ]\n  Outgoing data, len=300 [only first 256 bytes shown]:\n",
          "f0  00 00 00 00 00 00 00 00  00 00 00 00 00 00 00 00\n  scsi_status"},
         {"100  "}},
        {"send command, clean", SG_STATE_SEND_COMMAND, [](DiskFacts &) {}, kInquiry, DXFER_FROM_DEVICE, 36, 1,
         {" [inquiry: 12 00 00 00 24 00 ]\n", "  status=0\n"}, {"Sense buffer"}},
        {"send command, sense", SG_STATE_SEND_COMMAND, [](DiskFacts &d) { d.faults[0x12] = {5, 0x24, 0}; }, kInquiry,
         DXFER_FROM_DEVICE, 36, 1, {"  status=2: [desc] sense_key=5 asc=24 ascq=0\n"}, {}},
        {"quiet", SG_STATE_SG_IO, [](DiskFacts &) {}, kInquiry, DXFER_FROM_DEVICE, 36, 0, {}, {" [", "status"}},
    };
    for (const Row &r : rows) {
        disk_model_reset();
        DiskFacts d = disk_sata("INTEL SSDSC2BB480G4", "BTWL1234", "D2010370", 937703088);
        r.setup(d);
        disk_add(d);
        sg_io_state = r.state;
        std::vector<uint8_t> data(r.len);
        int rc = 0;
        std::string out = run(r.cdb, r.dir, data, r.report, rc);
        EXPECT_EQ(rc, 0) << r.what;
        for (const std::string &line : r.lines)
            EXPECT_NE(out.find(line), std::string::npos) << r.what << ": " << line << "\n" << out;
        for (const std::string &line : r.absent)
            EXPECT_EQ(out.find(line), std::string::npos) << r.what << ": " << line << "\n" << out;
    }
}

// Failures of either request, with and without reporting; the SG_IO line
// stays quiet while the transport is being probed.
TEST_F(ScsiSgTest, TransportFailureLines)
{
    struct Row {
        const char *what;
        int state;
        unsigned long request;
        int err;    // errno, or 0 for a positive send-command result
        int result;
        int report;
        int rc;
        int stateAfter;
        const char *line;  // expected, or "" for no report line
    };
    const Row rows[] = {
        {"SG_IO fails", SG_STATE_SG_IO, SG_IO_REQUEST, EINVAL, 0, 1, -EINVAL, SG_STATE_SG_IO,
         "  SG_IO ioctl failed, errno=22 [Invalid argument]\n"},
        {"probe switches quietly", SG_STATE_UNTRIED, SG_IO_REQUEST, ENOTTY, 0, 1, 0, SG_STATE_SEND_COMMAND, ""},
        {"probe stops on EACCES", SG_STATE_UNTRIED, SG_IO_REQUEST, EACCES, 0, 1, -EACCES, SG_STATE_UNTRIED, ""},
        {"send command fails", SG_STATE_SEND_COMMAND, SCSI_IOCTL_SEND_COMMAND_REQUEST, EIO, 0, 1, -EIO,
         SG_STATE_SEND_COMMAND, "  status=-1, errno=5 [Input/output error]\n"},
        {"send command positive, status 0", SG_STATE_SEND_COMMAND, SCSI_IOCTL_SEND_COMMAND_REQUEST, 0, 0x10000, 1, -EIO,
         SG_STATE_SEND_COMMAND, "  ioctl status=0x10000 but scsi status=0, fail with EIO\n"},
        {"send command fails unreported", SG_STATE_SEND_COMMAND, SCSI_IOCTL_SEND_COMMAND_REQUEST, EIO, 0, 0, -EIO,
         SG_STATE_SEND_COMMAND, ""},
    };
    for (const Row &r : rows) {
        sim_clear_faults();
        sg_io_state = r.state;
        if (r.err != 0)
            sim_fail_request("/dev/sda", r.request, r.err);
        else
            sim_request_result("/dev/sda", r.request, r.result);
        std::vector<uint8_t> data(36);
        int rc = 0;
        std::string out = run(kInquiry, DXFER_FROM_DEVICE, data, r.report, rc);
        EXPECT_EQ(rc, r.rc) << r.what;
        EXPECT_EQ(sg_io_state, r.stateAfter) << r.what;
        if (*r.line != '\0') {
            EXPECT_NE(out.find(r.line), std::string::npos) << r.what << "\n" << out;
        }
        if (r.state == SG_STATE_UNTRIED) {
            EXPECT_EQ(out.find("SG_IO ioctl failed"), std::string::npos) << r.what;
        }
        if (r.report == 0) {
            EXPECT_EQ(out, "") << r.what;
        }
    }
}

// The send-command path: a check condition comes back with its sense in
// the request's buffer, classified like an SG_IO one, in either format.
TEST_F(ScsiSgTest, SendCommandCheckCondition)
{
    struct Row {
        DiskSense format;
        DiskCheck check;
        int serialResult;
        sg_scsi_sense_hdr summary;
    };
    const Row rows[] = {
        {DiskSense::descriptor, {5, 0x24, 0}, SIMPLE_ERR_BAD_FIELD, {0x72, 5, 0x24, 0}},
        {DiskSense::fixed, {5, 0x24, 0}, SIMPLE_ERR_BAD_FIELD, {0x70, 5, 0x24, 0}},
        {DiskSense::fixed, {2, 0x3A, 0}, SIMPLE_ERR_NO_MEDIUM, {0x70, 2, 0x3A, 0}},
        {DiskSense::descriptor, {2, 0x04, 0x01}, SIMPLE_ERR_BECOMING_READY, {0x72, 2, 4, 1}},
        {DiskSense::descriptor, {5, 0x20, 0}, SIMPLE_ERR_BAD_OPCODE, {0x72, 5, 0x20, 0}},
    };
    for (const Row &r : rows) {
        disk().sense = r.format;
        disk().faults[0x12] = r.check;
        sg_io_state = SG_STATE_SEND_COMMAND;
        std::vector<uint8_t> data(36);
        scsi_cmnd_io io{};
        int rc = -1;
        run(kInquiry, DXFER_FROM_DEVICE, data, 0, rc, &io);
        EXPECT_EQ(rc, 0);
        EXPECT_EQ(io.scsi_status, SCSI_STATUS_CHECK_CONDITION);
        EXPECT_GE(io.resp_sense_len, 8u);
        EXPECT_LE(io.resp_sense_len, 16u);
        sg_scsi_sense_hdr s{};
        SAS1064_scsi_do_sense_disect(&io, &s);
        EXPECT_EQ(s.response_code, r.summary.response_code);
        EXPECT_EQ(s.sense_key, r.summary.sense_key);
        EXPECT_EQ(s.asc, r.summary.asc);
        EXPECT_EQ(s.ascq, r.summary.ascq);
        char serial[SCSI_SERIAL_SIZE];
        EXPECT_EQ(scsiGetdiskSerial(fd_, serial), r.serialResult);
        EXPECT_EQ(sg_io_state, SG_STATE_SEND_COMMAND);
    }
}

TEST(ScsiSgSense, DisectBothFormats)
{
    struct Row {
        const char *what;
        uint8_t status;
        std::vector<uint8_t> sense;
        sg_scsi_sense_hdr expect;
    };
    const std::vector<uint8_t> fixed = {0xF0, 0, 0x06, 0, 0, 0, 0, 10, 0, 0, 0, 0, 0x29, 0x02, 0, 0, 0, 0};
    const Row rows[] = {
        {"fixed, valid bit", 2, fixed, {0x70, 6, 0x29, 2}},
        {"fixed, 13 bytes", 2, std::vector<uint8_t>(fixed.begin(), fixed.begin() + 13), {0x70, 6, 0, 0}},
        {"fixed, 7 bytes", 2, std::vector<uint8_t>(fixed.begin(), fixed.begin() + 7), {0, 0, 0, 0}},
        {"not a check condition", 0, fixed, {0, 0, 0, 0}},
        {"descriptor", 2, {0x72, 0x0B, 0x47, 0x03, 0, 0, 0, 0}, {0x72, 0x0B, 0x47, 3}},
        {"descriptor, deferred", 2, {0x73, 0x01, 0, 0x1D, 0, 0, 0, 0}, {0x73, 1, 0, 0x1D}},
    };
    for (const Row &r : rows) {
        std::vector<uint8_t> sense = r.sense;
        scsi_cmnd_io io{};
        io.sensep = sense.data();
        io.resp_sense_len = sense.size();
        io.scsi_status = r.status;
        sg_scsi_sense_hdr s{9, 9, 9, 9};
        SAS1064_scsi_do_sense_disect(&io, &s);
        EXPECT_EQ(s.response_code, r.expect.response_code) << r.what;
        EXPECT_EQ(s.sense_key, r.expect.sense_key) << r.what;
        EXPECT_EQ(s.asc, r.expect.asc) << r.what;
        EXPECT_EQ(s.ascq, r.expect.ascq) << r.what;
    }
    sg_scsi_sense_hdr s{9, 9, 9, 9};
    SAS1064_scsi_do_sense_disect(nullptr, &s);
    EXPECT_EQ(s.sense_key, 0);
}

TEST_F(ScsiSgTest, InformationalExceptions)
{
    using Bytes = std::vector<uint8_t>;
    struct Row {
        const char *what;
        int useLogPage;
        Bytes page;           // empty: no IE page
        DiskCheck requestSense;
        DiskCheck fault03;    // a check condition on REQUEST SENSE when key != 0
        int rc;
        uint8_t asc, ascq;
        const char *line;
    };
    const Row rows[] = {
        {"IE page", 1, {0x2F, 0, 0, 8, 0, 0, 3, 4, 0x5D, 0x10, 38, 65}, {}, {}, 0, 0x5D, 0x10, ""},
        {"IE page, no exception", 1, {0x2F, 0, 0, 8, 0, 0, 3, 4, 0, 0x10, 38, 65}, {}, {}, 0, 0, 0, ""},
        {"IE page, short parameter", 1, {0x2F, 0, 0, 6, 0, 0, 3, 1, 0x5D, 0}, {}, {}, 0, 0, 0, ""},
        {"IE page, bad parameter code", 1, {0x2F, 0, 0, 8, 0, 1, 3, 4, 0x5D, 0x10, 38, 65}, {}, {}, SIMPLE_ERR_BAD_PARAM,
         0, 0, "Log Sense failed, IE page, bad parameter code or length\n"},
        {"no IE page", 1, {}, {}, {}, SIMPLE_ERR_BAD_FIELD, 0, 0,
         "Log Sense failed, IE page [unsupported field in scsi command]\n"},
        {"request sense", 0, {}, {1, 0x5D, 0x64}, {}, 0, 0x5D, 0x64, ""},
        {"request sense fails", 0, {}, {}, {2, 0x04, 0x01}, SIMPLE_ERR_BECOMING_READY, 0, 0,
         "Request Sense failed, [device will be ready soon]\n"},
    };
    for (const Row &r : rows) {
        disk().logPages.clear();
        disk().faults.clear();
        if (!r.page.empty())
            disk().logPages[0x2F] = r.page;
        disk().requestSense = r.requestSense;
        if (r.fault03.key != 0)
            disk().faults[0x03] = r.fault03;
        uint8_t asc = 0xEE, ascq = 0xEE;
        testing::internal::CaptureStdout();
        EXPECT_EQ(scsiCheckIE(fd_, r.useLogPage, &asc, &ascq), r.rc) << r.what;
        std::string out = testing::internal::GetCapturedStdout();
        EXPECT_EQ(out, r.line) << r.what;
        EXPECT_EQ(asc, r.asc) << r.what;
        EXPECT_EQ(ascq, r.ascq) << r.what;
    }
    uint8_t asc = 0;
    EXPECT_EQ(scsiCheckIE(fd_, 1, &asc, nullptr), SIMPLE_ERR_BAD_PARAM);
}

} // namespace

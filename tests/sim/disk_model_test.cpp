// The simulated disks: each CDB they answer and its failure paths, the
// kernel's checks of the SG_IO header, the send-command request, fixture
// lines and the disks' state kept with the saved board.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <string>
#include <vector>

#include "bases/drv/sg_drv.h"
#include "bases/host/host.h"
#include "sim/disk_model.h"
#include "sim/fixture_file.h"
#include "support/saved_board.h"
#include "support/sim_beside.h"
#include "support/sim_fixture.h"

namespace {

using Bytes = std::vector<uint8_t>;

struct Reply {
    int rc = 0;
    int err = 0;
    SgIoHdr h{};
    Bytes data;
    Bytes sense;
};

constexpr const char *kDisk = R"(
disk-add sdb sg1 sas pci=0000:03:00.0 host=2 channel=0 target=5
disk-inquiry sdb "SEAGATE" "ST600MM0006" "0004"
disk-serial sdb S0M0ABCD
disk-capacity sdb 1172123568 512
disk-log sdb 0x0d 0d 00 00 0c 00 00 03 02 00 29 00 01 03 02 00 41
disk-mode sdb 0x1c 1 5c 01 00 0c 00 01 00 00 00 00 00 00 00 00 00 00
disk-defects sdb 3
disk-sense sdb 1 0x5d 0x10
)";

class DiskModelTest : public SimTest {
protected:
    void SetUp() override
    {
        SimTest::SetUp();
        std::string err;
        ASSERT_TRUE(sim_fixture_apply(kDisk, "disks", err)) << err;
    }

    Reply sg_io(const char *node, Bytes cdb, int dir, size_t len, Bytes out = {})
    {
        Reply r;
        r.data = out.empty() ? Bytes(len, 0xEE) : out;
        r.sense.assign(32, 0);
        r.h.interfaceId = SG_INTERFACE_ID;
        r.h.dxferDirection = dir;
        r.h.cmdLen = static_cast<uint8_t>(cdb.size());
        r.h.mxSbLen = 32;
        r.h.dxferLen = static_cast<uint32_t>(r.data.size());
        r.h.dxferp = reinterpret_cast<uintptr_t>(r.data.data());
        r.h.cmdp = reinterpret_cast<uintptr_t>(cdb.data());
        r.h.sbp = reinterpret_cast<uintptr_t>(r.sense.data());
        int fd = host().open(node, O_RDWR | O_NONBLOCK, 0);
        EXPECT_GE(fd, 0) << node;
        r.rc = host_ioctl(fd, SG_IO_REQUEST, &r.h);
        r.err = r.rc < 0 ? errno : 0;
        host().close(fd);
        r.sense.resize(r.h.sbLenWr);
        return r;
    }
};

TEST_F(DiskModelTest, AnswersByOpcode)
{
    struct Row {
        const char *what;
        Bytes cdb;
        int dir;
        size_t len;
        Bytes expectHead;
    };
    const Row rows[] = {
        {"inquiry", {0x12, 0, 0, 0, 36, 0}, SG_DXFER_FROM_DEV, 36, {0, 0, 6, 2, 91}},
        {"serial", {0x12, 1, 0x80, 0, 64, 0}, SG_DXFER_FROM_DEV, 64, {0, 0x80, 0, 8, 'S', '0', 'M'}},
        {"capacity", {0x25, 0, 0, 0, 0, 0, 0, 0, 0, 0}, SG_DXFER_FROM_DEV, 8, {0x45, 0xdd, 0x2f, 0xaf, 0, 0, 2, 0}},
        {"log", {0x4D, 0, 0x4D, 0, 0, 0, 0, 0, 16, 0}, SG_DXFER_FROM_DEV, 16, {0x0d, 0, 0, 0x0c, 0, 0, 3, 2, 0, 0x29}},
        {"request sense", {0x03, 0, 0, 0, 18, 0}, SG_DXFER_FROM_DEV, 18, {0x70, 0, 1, 0, 0, 0, 0, 10, 0, 0, 0, 0, 0x5d, 0x10}},
        {"mode sense", {0x1A, 0, 0x1C, 1, 32, 0}, SG_DXFER_FROM_DEV, 32, {19, 0, 0, 0, 0x5c, 1, 0, 0x0c}},
        {"defects", {0x37, 0, 0x0C, 0, 0, 0, 0, 0, 32, 0}, SG_DXFER_FROM_DEV, 32, {0, 0x0C, 0, 24}},
        {"stop", {0x1B, 1, 0, 0, 0, 0}, SG_DXFER_NONE, 0, {}},
        {"self test", {0x1D, 0x04, 0, 0, 0, 0}, SG_DXFER_NONE, 0, {}},
    };
    for (const Row &r : rows) {
        Reply a = sg_io("/dev/sg1", r.cdb, r.dir, r.len);
        ASSERT_EQ(a.rc, 0) << r.what;
        EXPECT_EQ(a.h.status, 0) << r.what;
        EXPECT_EQ(a.h.sbLenWr, 0) << r.what;
        ASSERT_GE(a.data.size(), r.expectHead.size()) << r.what;
        EXPECT_EQ(Bytes(a.data.begin(), a.data.begin() + static_cast<long>(r.expectHead.size())), r.expectHead) << r.what;
    }
    Reply inq = sg_io("/dev/sdb", {0x12, 0, 0, 0, 36, 0}, SG_DXFER_FROM_DEV, 36);
    EXPECT_EQ(std::string(inq.data.begin() + 8, inq.data.begin() + 36), "SEAGATE ST600MM0006     0004");
    EXPECT_FALSE(disk_find("sdb")->started);
    EXPECT_EQ(disk_find("sdb")->selfTest, 0x04);
}

TEST_F(DiskModelTest, ModeSelectStoresTheKnownPage)
{
    Bytes page = {0, 0, 0, 0, 0x5c, 1, 0, 0x0c, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    page[4 + 5] = 0;  // pre-scan off
    Reply a = sg_io("/dev/sg1", {0x15, 0x11, 0, 0, 20, 0}, SG_DXFER_TO_DEV, 20, page);
    ASSERT_EQ(a.rc, 0);
    EXPECT_EQ(a.h.status, 0);
    EXPECT_EQ(disk_find("sdb")->modePages.at(0x1C01)[5], 0);
    EXPECT_EQ(disk_find("sdb")->modePages.at(0x1C01)[0], 0x5c);  // saved-page bit dropped

    struct Row {
        const char *what;
        Bytes cdb;
        Bytes data;
    };
    const Row bad[] = {
        {"no page format", {0x15, 0x01, 0, 0, 20, 0}, page},
        {"unknown page", {0x15, 0x10, 0, 0, 8, 0}, {0, 0, 0, 0, 0x08, 2, 0, 0}},
        {"length differs", {0x15, 0x10, 0, 0, 10, 0}, {0, 0, 0, 0, 0x5c, 1, 0, 0x0c, 0, 0}},
    };
    for (const Row &r : bad) {
        Reply b = sg_io("/dev/sg1", r.cdb, SG_DXFER_TO_DEV, r.data.size(), r.data);
        EXPECT_EQ(b.h.status, SCSI_STATUS_CHECK_CONDITION) << r.what;
        EXPECT_EQ(b.sense, (Bytes{0x72, 5, 0x26, 0, 0, 0, 0, 0})) << r.what;
    }
}

// Every request's failure paths: CHECK CONDITION, another status, a short
// transfer, host and driver status, an errno on the node.
TEST_F(DiskModelTest, FailurePathsPerOpcode)
{
    const Bytes cdbs[] = {{0x12, 0, 0, 0, 36, 0}, {0x25, 0, 0, 0, 0, 0, 0, 0, 0, 0}, {0x4D, 0, 0x4D, 0, 0, 0, 0, 0, 16, 0},
                          {0x03, 0, 0, 0, 18, 0}, {0x1A, 0, 0x1C, 1, 32, 0},             {0x37, 0, 0x0C, 0, 0, 0, 0, 0, 32, 0}};
    for (const Bytes &cdb : cdbs) {
        const std::string op = std::to_string(cdb[0]);
        std::string err;
        ASSERT_TRUE(sim_fixture_apply("disk-fault sdb check " + op + " 3 0x11 0\n", "f", err)) << err;
        Reply a = sg_io("/dev/sg1", cdb, SG_DXFER_FROM_DEV, 32);
        EXPECT_EQ(a.h.status, SCSI_STATUS_CHECK_CONDITION) << op;
        EXPECT_EQ(a.h.driverStatus, SG_DRIVER_SENSE) << op;
        EXPECT_EQ(a.sense, (Bytes{0x72, 3, 0x11, 0, 0, 0, 0, 0})) << op;
        disk_find("sdb")->faults.clear();

        ASSERT_TRUE(sim_fixture_apply("disk-fault sdb status " + op + " 0x18\n", "f", err)) << err;
        a = sg_io("/dev/sg1", cdb, SG_DXFER_FROM_DEV, 32);
        EXPECT_EQ(a.h.status, 0x18) << op;
        EXPECT_EQ(a.h.maskedStatus, 0x0C) << op;
        disk_find("sdb")->otherStatus.clear();

        Reply whole = sg_io("/dev/sg1", cdb, SG_DXFER_FROM_DEV, 32);
        ASSERT_TRUE(sim_fixture_apply("disk-fault sdb short " + op + " 4\n", "f", err)) << err;
        a = sg_io("/dev/sg1", cdb, SG_DXFER_FROM_DEV, 32);
        EXPECT_EQ(a.h.resid, whole.h.resid + 4) << op;
        disk_find("sdb")->shortBy.clear();
    }
    struct Status {
        const char *line;
        uint16_t host, driver;
    };
    for (const Status &s : {Status{"host 2", 2, 0}, Status{"driver 6", 0, 6}}) {
        std::string err;
        ASSERT_TRUE(sim_fixture_apply(std::string("disk-fault sdb ") + s.line + "\n", "f", err)) << err;
        Reply a = sg_io("/dev/sg1", cdbs[0], SG_DXFER_FROM_DEV, 36);
        EXPECT_EQ(a.h.hostStatus, s.host);
        EXPECT_EQ(a.h.driverStatus, s.driver);
        disk_find("sdb")->hostStatus = disk_find("sdb")->driverStatus = 0;
    }
    for (int e : {ENODEV, EACCES, EPERM, EINVAL, ENOTTY}) {
        std::string err;
        ASSERT_TRUE(sim_fixture_apply("disk-fault sdb1 errno 0x2285 " + std::to_string(e) + " 2\n", "f", err)) << err;
        EXPECT_EQ(sg_io("/dev/sdb1", cdbs[0], SG_DXFER_FROM_DEV, 36).rc, 0);  // the first call passes
        Reply a = sg_io("/dev/sdb1", cdbs[0], SG_DXFER_FROM_DEV, 36);
        EXPECT_EQ(a.rc, -1);
        EXPECT_EQ(a.err, e);
        EXPECT_EQ(sg_io("/dev/sg1", cdbs[0], SG_DXFER_FROM_DEV, 36).rc, 0);  // other nodes unaffected
        sim_clear_faults();
    }
}

TEST_F(DiskModelTest, SgIoHeaderChecks)
{
    struct Row {
        const char *what;
        void (*spoil)(SgIoHdr &h);
        int err;
    };
    const Row rows[] = {
        {"interface id", [](SgIoHdr &h) { h.interfaceId = 'Q'; }, ENOSYS},
        {"direction", [](SgIoHdr &h) { h.dxferDirection = -7; }, EINVAL},
        {"no CDB", [](SgIoHdr &h) { h.cmdp = 0; }, EFAULT},
        {"CDB length", [](SgIoHdr &h) { h.cmdLen = 20; }, EINVAL},
        {"no data pointer", [](SgIoHdr &h) { h.dxferp = 0; }, EINVAL},
    };
    for (const Row &r : rows) {
        Bytes cdb = {0x12, 0, 0, 0, 36, 0}, data(36);
        SgIoHdr h{};
        h.interfaceId = SG_INTERFACE_ID;
        h.dxferDirection = SG_DXFER_FROM_DEV;
        h.cmdLen = 6;
        h.dxferLen = 36;
        h.dxferp = reinterpret_cast<uintptr_t>(data.data());
        h.cmdp = reinterpret_cast<uintptr_t>(cdb.data());
        r.spoil(h);
        int fd = host().open("/dev/sg1", O_RDONLY, 0);
        EXPECT_EQ(host_ioctl(fd, SG_IO_REQUEST, &h), -1) << r.what;
        EXPECT_EQ(errno, r.err) << r.what;
        EXPECT_EQ(host_ioctl(fd, SG_IO_REQUEST, nullptr), -1);
        EXPECT_EQ(errno, EFAULT);
        host().close(fd);
    }
    EXPECT_EQ(host().open("/dev/sg7", O_RDONLY, 0), -1);
}

TEST_F(DiskModelTest, SendCommandRequest)
{
    int fd = host().open("/dev/sdb", O_RDONLY | O_NONBLOCK, 0);
    EXPECT_EQ(disk_last_open_flags(), O_RDONLY | O_NONBLOCK);
    uint8_t buf[8 + 64] = {};
    const uint32_t head[2] = {0, 36};
    std::memcpy(buf, head, 8);
    const uint8_t inquiry[6] = {0x12, 0, 0, 0, 36, 0};
    std::memcpy(buf + 8, inquiry, 6);
    EXPECT_EQ(host_ioctl(fd, SCSI_IOCTL_SEND_COMMAND_REQUEST, buf), 0);
    EXPECT_EQ(std::string(reinterpret_cast<char *>(buf) + 16, 7), "SEAGATE");

    disk_find("sdb")->faults[0x12] = {2, 0x3A, 0};
    std::memcpy(buf + 8, inquiry, 6);
    int rc = host_ioctl(fd, SCSI_IOCTL_SEND_COMMAND_REQUEST, buf);
    EXPECT_EQ(rc, (8 << 24) | 2);  // driver byte: sense; status CHECK CONDITION
    EXPECT_EQ(buf[8], 0x72);
    EXPECT_EQ(buf[9], 2);
    EXPECT_EQ(buf[10], 0x3A);

    const uint32_t tooLong[2] = {0, 1025};
    std::memcpy(buf, tooLong, 8);
    EXPECT_EQ(host_ioctl(fd, SCSI_IOCTL_SEND_COMMAND_REQUEST, buf), -1);
    EXPECT_EQ(errno, EINVAL);
    host().close(fd);
}

TEST_F(DiskModelTest, FixtureLines)
{
    struct {
        const char *line;
        bool ok;
    } rows[] = {
        {"disk-add sdc sg2 sata pci=0000:03:00.0 target=6", true},
        {"disk-add sdc sg2 scsi", false},
        {"disk-add sdc sg2 sata colour=red", false},
        {"disk-identify sdc 10 4142 4344", true},
        {"disk-identify sdc 255 0001 0002", false},
        {"disk-identify sdc 0 04", false},
        {"disk-identify sdz 0 0040", false},
        {"disk-log sdc 0x2f 2f 00 00 08 00 00 03 04 00 00 00 00", true},
        {"disk-log sdc 0x40 00", false},
        {"disk-log sdc 0x2f 2f0", false},
        {"disk-mode sdc 8 0 08 12 14", true},
        {"disk-smart sdc data 2 0905 0064", true},
        {"disk-smart sdc thresholds 511 0102", false},
        {"disk-smart sdc enabled 0", true},
        {"disk-smart sdc status fail", true},
        {"disk-smart sdc sense fixed", true},
        {"disk-smart sdc sense loud", false},
        {"disk-defects sdc 1001", false},
        {"disk-sense sdc 16 0 0", false},
        {"disk-capacity sdc 0", false},
        {"disk-inquiry sdc \"ATA\" \"X\"", false},
        {"disk-unit sdc 0 -1", true},
        {"disk-fault sdc check 0x12 5 0x24 0", true},
        {"disk-fault sdc melt", false},
        {"disk-fault sdz errno 0x2285 5", false},
        {"disk-fault sg2 errno 0x2285 5 1", true},
        {"mpt-ioc 99", false},
    };
    for (const auto &r : rows) {
        std::string err;
        EXPECT_EQ(sim_fixture_apply(std::string(r.line) + "\n", "f", err), r.ok) << r.line << ": " << err;
    }
    const DiskFacts *d = disk_find("sdc");
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(d->identify[10], 0x4142);
    EXPECT_EQ(d->smartData[2], 9);
    EXPECT_FALSE(d->smartEnabled);
    EXPECT_FALSE(d->smartPass);
    EXPECT_EQ(d->sense, DiskSense::fixed);
    EXPECT_EQ(d->logPages.at(0x2F).size(), 12u);
    EXPECT_FALSE(d->started);

    // The block and generic links run through the controller and the target.
    namespace fs = std::filesystem;
    std::string block = fs::read_symlink(sim_path("/sys/block/sdc"));
    std::string sg = fs::read_symlink(sim_path("/sys/class/scsi_generic/sg2"));
    EXPECT_NE(block.find("/0000:03:00.0/host0/target0:0:6/0:0:6:0/block/sdc"), std::string::npos) << block;
    EXPECT_NE(sg.find("/0000:03:00.0/host0/target0:0:6/0:0:6:0/scsi_generic/sg2"), std::string::npos) << sg;
}

TEST_F(DiskModelTest, DisksAndTheirStateKeptWithTheBoard)
{
    Reply stop = sg_io("/dev/sg1", {0x1B, 1, 0, 0, 0, 0}, SG_DXFER_NONE, 0);
    ASSERT_EQ(stop.rc, 0);
    Bytes page = {0, 0, 0, 0, 0x5c, 1, 0, 0x0c, 0, 0x07, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    ASSERT_EQ(sg_io("/dev/sg1", {0x15, 0x10, 0, 0, 20, 0}, SG_DXFER_TO_DEV, 20, page).h.status, 0);
    ASSERT_EQ(sim_board_close(), 0);
    disk_model_reset();
    ASSERT_EQ(sim_board_open(root_, ""), 0);
    const DiskFacts *d = disk_find("sdb");
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(d->serial, "S0M0ABCD");
    EXPECT_EQ(d->grownDefects, 3);
    EXPECT_FALSE(d->started);
    EXPECT_EQ(d->modePages.at(0x1C01)[5], 0x07);
    // A second round trip does not pile up lines.
    ASSERT_EQ(sim_board_close(), 0);
    ASSERT_EQ(sim_board_open(root_, ""), 0);
    ASSERT_EQ(sim_board_close(), 0);
    ASSERT_EQ(sim_board_open(root_, ""), 0);
    EXPECT_EQ(disk_find("sdb")->modePages.size(), 1u);
    EXPECT_EQ(sg_io("/dev/sdb", {0x12, 1, 0x80, 0, 64, 0}, SG_DXFER_FROM_DEV, 64).data[3], 8);
}

// The board no model was asked for: its SAS controller has sda to sdd.
class DefaultBoardDisks : public DiskModelTest {
protected:
    std::string board() const override { return ""; }
};

// A node is its disk's by the whole name, or the name and digits (a
// partition): sdaa is a disk of its own beside the default board's sda, with
// none of sda's facts, and sda1 stays sda's.
TEST_F(DefaultBoardDisks, NodesBelongToTheirDiskByWholeName)
{
    std::string err;
    ASSERT_TRUE(sim_fixture_apply("disk-add sdaa sg9 sas\ndisk-inquiry sdaa \"HITACHI\" \"HUS156060VLS600\" \"A5D0\"\n"
                                  "disk-serial sdaa AA000001\n",
                                  "f", err))
        << err;
    const struct {
        const char *node;
        const char *vendor;
        const char *serial;
    } rows[] = {
        {"/dev/sdaa", "HITACHI ", "AA000001"}, {"/dev/sg9", "HITACHI ", "AA000001"},
        {"/dev/sdaa2", "HITACHI ", "AA000001"}, {"/dev/sda", "SEAGATE ", "S0M00001"},
        {"/dev/sda1", "SEAGATE ", "S0M00001"}, {"/dev/sda12", "SEAGATE ", "S0M00001"},
    };
    for (const auto &r : rows) {
        Reply inq = sg_io(r.node, {0x12, 0, 0, 0, 36, 0}, SG_DXFER_FROM_DEV, 36);
        ASSERT_EQ(inq.rc, 0) << r.node;
        EXPECT_EQ(std::string(inq.data.begin() + 8, inq.data.begin() + 16), r.vendor) << r.node;
        Reply vpd = sg_io(r.node, {0x12, 1, 0x80, 0, 64, 0}, SG_DXFER_FROM_DEV, 64);
        EXPECT_EQ(std::string(vpd.data.begin() + 4, vpd.data.begin() + 4 + vpd.data[3]), r.serial) << r.node;
    }
    for (const char *node : {"/dev/sdab", "/dev/sda1x", "/dev/sdaa1b"}) {
        EXPECT_EQ(host().open(node, O_RDONLY | O_NONBLOCK, 0), -1) << node;
        EXPECT_EQ(errno, ENODEV) << node;
    }
    EXPECT_FALSE(sim_fixture_apply("disk-fault sdab errno 0x2285 5\n", "f", err));
    ASSERT_NE(disk_find("sdaa"), nullptr);
    EXPECT_EQ(disk_find("sdaa")->sd, "sdaa");
    EXPECT_EQ(disk_find("sda1")->sd, "sda");
    EXPECT_EQ(disk_find("sdab"), nullptr);
}

// ---- device names and PCI addresses of disk-add ---------------------------------------------

class DiskAddWords : public SimBesideTest {};

// SD and SG are device names, refused with the line and the word quoted;
// nothing at the root's top or beside it is touched (a path would have
// made the disk's links over them).
TEST_F(DiskAddWords, NamesAreDeviceNames)
{
    for (const std::string &name : kSimBadNames) {
        expect_refused("disk-add " + name + " sg9 sas", "disk-add: SD '" + sim_clip(name) + "' is not a device name");
        expect_refused("disk-add sdq " + name + " sas", "disk-add: SG '" + sim_clip(name) + "' is not a device name");
    }
    const std::string longest = sim_name_of(32), longestSg = "sg" + std::string(30, 'q');
    expect_applied("disk-add " + longest + " sg-9_x.1 sas");
    expect_applied("disk-add sdq " + longestSg + " sata");
    ASSERT_NE(disk_find(longest), nullptr);
    EXPECT_EQ(disk_find(longest)->sd, longest);
    EXPECT_EQ(disk_find("sdq")->sg, longestSg);
}

// A new disk's SD or SG name that is already another disk's node (its SD
// name, its SG name, or its SD name and digits) is refused at its line: the
// saved board's lines naming it would reach that disk when loaded again.
// Names that only begin alike are taken, and so is a disk added again under
// its own names; the board they leave loads with each disk as it was.
TEST_F(DiskAddWords, ANameThatIsAnotherDisksNodeIsRefused)
{
    const struct {
        const char *line;
        const char *message;  // empty: applied
    } rows[] = {
        {"disk-add sda1 sg9 sas", "disk-add: SD 'sda1' is already a node of disk sda"},
        {"disk-add sda12 sg9 sas", "disk-add: SD 'sda12' is already a node of disk sda"},
        {"disk-add sg0 sg9 sata", "disk-add: SD 'sg0' is already a node of disk sda"},
        {"disk-add sdq sg3 sas", "disk-add: SG 'sg3' is already a node of disk sdd"},
        {"disk-add sdq sdb sas", "disk-add: SG 'sdb' is already a node of disk sdb"},
        {"disk-add sdq sdc7 sas", "disk-add: SG 'sdc7' is already a node of disk sdc"},
        {"disk-add sda sg1 sas", "disk-add: SG 'sg1' is already a node of disk sdb"},
        {"disk-add d1 sg9 sata", ""},
        {"disk-add d10 sg10 sata", "disk-add: SD 'd10' is already a node of disk d1"},
        {"disk-add d2 d15 sata", "disk-add: SG 'd15' is already a node of disk d1"},
        {"disk-add d2 sg9 sata", "disk-add: SG 'sg9' is already a node of disk d1"},
        {"disk-add e10 sg10 sata", ""},
        {"disk-add e1 sg11 sata", ""},
        {"disk-add e10 sg12 sata", ""},
        {"disk-add sdq sg0x sas", ""},
        {"disk-add sda1x sg1x sas", ""},
        {"disk-add sda sda sas", ""},
        {"disk-add sdb sdb3 sas", ""},
        {"disk-add d1 sg9 sas", ""},
    };
    for (const auto &r : rows) {
        if (*r.message == '\0')
            expect_applied(r.line);
        else
            expect_refused(r.line, r.message);
    }
    ASSERT_EQ(sim_board_close(), 0);
    std::string error;
    ASSERT_EQ(sim_board_open(SimBoardStart{root_, "", false}, error), 0) << error;
    for (const char *sd : {"sda", "sdb", "sdc", "sdd", "d1", "e10", "e1", "sdq", "sda1x"}) {
        ASSERT_NE(disk_find(sd), nullptr) << sd;
        EXPECT_EQ(disk_find(sd)->sd, sd);
    }
    EXPECT_EQ(disk_find("e10")->sg, "sg12");
    EXPECT_EQ(disk_find("sda")->sg, "sda");
    EXPECT_FALSE(disk_find("d1")->sata);
    EXPECT_EQ(disk_find("sg3")->sd, "sdd");
}

TEST_F(DiskAddWords, PciAddressesReadAsDomainBusDeviceFunction)
{
    for (const SimPciCase &c : kSimPciCases) {
        const std::string field = std::string("pci=") + c.address;
        if (!c.ok) {
            expect_refused("disk-add sdq sg9 sas " + field, "disk-add: bad field '" + sim_clip(field) + "'");
            continue;
        }
        expect_applied("disk-add sdq sg9 sas " + field);
        EXPECT_EQ(disk_find("sdq")->pci, c.address);
    }
}

// A bad field is quoted, its control bytes escaped, and cut at 80 characters.
TEST_F(DiskAddWords, BadFieldQuotedEscapedAndCut)
{
    const std::string field = "colour=\x1b[31m\x01" + std::string(5000, 'r');
    const std::string error = apply("disk-add sdq sg9 sas " + field + "\n");
    EXPECT_EQ(error, "f:1: disk-add: bad field '" + sim_clip(field) + "'");
    EXPECT_EQ(error.find('\x1b'), std::string::npos);
    EXPECT_EQ(error.find('\x01'), std::string::npos);
    EXPECT_NE(error.find("'colour=\\x1b[31m\\x01rrr"), std::string::npos) << error;
    EXPECT_TRUE(error.ends_with("r...'")) << error;
    EXPECT_EQ(error.size(), std::string("f:1: disk-add: bad field ''...").size() + 80);
}

// The saved board replays disk-add lines: a bad word there is refused the
// same way, with the board's file and line.
TEST_F(DiskAddWords, SavedBoardRefusesBadWords)
{
    const struct {
        const char *from, *to, *message;
    } rows[] = {
        {"disk-add sdq sg9", "disk-add ../../notes.txt sg9", "disk-add: SD '../../notes.txt' is not a device name"},
        {"disk-add sdq sg9", "disk-add sdq ../../emptydir", "disk-add: SG '../../emptydir' is not a device name"},
        {"pci=0000:09:00.0", "pci=0000:09:00.8", "disk-add: bad field 'pci=0000:09:00.8'"},
    };
    for (const auto &r : rows) {
        SCOPED_TRACE(r.to);
        const std::string error = reopen_changed("disk-add sdq sg9 sas pci=0000:09:00.0\n", r.from, r.to);
        EXPECT_TRUE(error.starts_with(root_ + "/.sim/board:")) << error;
        EXPECT_NE(error.find(": " + std::string(r.message)), std::string::npos) << error;
        EXPECT_TRUE(error.ends_with("(give --reset to start a fresh board)")) << error;
    }
}

// A disk line of the saved board whose word or byte offset is so large that
// adding the words after it wraps around wrote outside the IDENTIFY words
// or the SMART page; it is refused at its line. Each case runs quorbix-sim
// in a child with a time limit.
TEST(DiskSavedBoard, OffsetsThatWrapAroundAreRefusedAtTheirLine)
{
    const SavedBoard b("");
    const std::string identify = "disk-identify: SD WORD and up to 256 words in hex expected";
    const std::string smart = "disk-smart: SD data|thresholds OFFSET HEX, enabled 0|1, status pass|fail or "
                              "sense descriptor|fixed|none expected";
    const struct {
        const char *line;
        std::string message;  // empty: loads
    } cases[] = {
        {"disk-identify sdd 0xff 5331", ""},
        {"disk-identify sdd 0xff 5331 5331", identify},
        {"disk-identify sdd 0x100 5331", identify},
        {"disk-identify sdd 0xffffffffffffffff 5331", identify},
        {"disk-identify sdd 0xfffffffffffffffe 5331 5331", identify},
        {"disk-smart sdd data 0x1fe 0102", ""},
        {"disk-smart sdd data 0x1ff 0102", smart},
        {"disk-smart sdd thresholds 0xffffffffffffffff 0102", smart},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.line);
        int line = 0;
        std::ofstream(b.file, std::ios::binary | std::ios::trunc)
            << b.with({"disk", "fact 15", "\"" + std::string(c.line) + "\""}, line);
        SimRun r = run_sim_binary("--root " + b.root + " -- -v", kSimLimitSeconds);
        EXPECT_EQ(r.status, c.message.empty() ? 2 : 1);
        EXPECT_EQ(r.err, c.message.empty() ? ""
                                           : "quorbix-sim: " + b.file + ":" + std::to_string(line) + ": " + c.message +
                                                 kSavedBoardHint + "\n");
    }
}

} // namespace

// The simulated controller's checks of the driver records, its fixture
// lines and the PCI link it writes.
#include <cerrno>
#include <cstddef>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <string>

#include "bases/drv/mpt_drv.h"
#include "support/mpt_test_util.h"
#include "support/sim_beside.h"
#include "support/sim_fixture.h"

namespace {

class MptModelTest : public SimTest {
protected:
    void SetUp() override
    {
        SimTest::SetUp();
        mpt_line("mpt-ioc 2 pci=0000:03:00.0 mpi=0x105");
        fd_ = host_open("/dev/mpt2ctl", O_RDWR);
        ASSERT_GE(fd_, 0);
    }
    void TearDown() override
    {
        host().close(fd_);
        SimTest::TearDown();
    }
    // A command record with a 12-byte IOC FACTS frame and a 64-byte reply.
    struct Block {
        alignas(8) uint8_t bytes[96] = {};
        MptCommand &cmd() { return *reinterpret_cast<MptCommand *>(bytes); }
    };
    int send(Block &b, unsigned long request = 0xC0486D14UL)
    {
        errno = 0;
        return host_ioctl(fd_, request, b.bytes) < 0 ? errno : 0;
    }
    Block facts(uint8_t *reply, uint32_t size)
    {
        Block b;
        b.cmd().hdr.iocNumber = 2;
        b.cmd().hdr.maxDataSize = sizeof b.bytes;
        b.cmd().replyBuf = reinterpret_cast<uintptr_t>(reply);
        b.cmd().maxReplyBytes = size;
        b.cmd().dataSgeOffset = 3;
        b.bytes[68 + 3] = 0x03;
        return b;
    }
    int fd_ = -1;
};

TEST_F(MptModelTest, CommandRecordChecks)
{
    uint8_t reply[80];
    struct {
        const char *what;
        void (*change)(MptCommand &);
        unsigned long request;
        int err;
    } rows[] = {
        {"sound", [](MptCommand &) {}, 0xC0486D14UL, 0},
        {"MPI 2 number also served", [](MptCommand &) {}, 0xC0484C14UL, 0},
        {"absent controller", [](MptCommand &c) { c.hdr.iocNumber = 3; }, 0xC0486D14UL, ENODEV},
        {"null reply with a size", [](MptCommand &c) { c.replyBuf = 0; }, 0xC0486D14UL, EFAULT},
        {"null data-in with a size", [](MptCommand &c) { c.dataInSize = 4; }, 0xC0486D14UL, EFAULT},
        {"null sense with a size", [](MptCommand &c) { c.maxSenseBytes = 4; }, 0xC0486D14UL, EFAULT},
        {"empty frame", [](MptCommand &c) { c.dataSgeOffset = 0; }, 0xC0486D14UL, EINVAL},
        {"frame too long", [](MptCommand &c) { c.dataSgeOffset = 33; }, 0xC0486D14UL, EINVAL},
        {"frame past the record", [](MptCommand &c) { c.hdr.maxDataSize = 72; }, 0xC0486D14UL, EINVAL},
    };
    for (const auto &r : rows) {
        Block b = facts(reply, sizeof reply);
        r.change(b.cmd());
        EXPECT_EQ(send(b, r.request), r.err) << r.what;
    }
    // Nothing past the reply size is written.
    std::fill(std::begin(reply), std::end(reply), 0xAA);
    Block b = facts(reply, 16);
    ASSERT_EQ(send(b), 0);
    EXPECT_EQ(reply[3], 0x03);
    EXPECT_EQ(reply[16], 0xAA);
    EXPECT_EQ(at<uint16_t>(std::vector<uint8_t>(reply, reply + 2), 0), 0x105u);
    EXPECT_EQ(sim_journal().back().extra.size(), 12u);  // the frame, past the record

    // The MPI 1 number is refused by an MPI 2 controller.
    mpt_line("mpt-ioc 4");
    b = facts(reply, sizeof reply);
    b.cmd().hdr.iocNumber = 4;
    EXPECT_EQ(send(b), ENOTTY);
    EXPECT_EQ(send(b, 0xC0484C14UL), 0);
}

TEST_F(MptModelTest, ProbeAndInformationPerController)
{
    for (uint32_t ioc : {2u, 5u}) {
        MptEventQuery q{};
        q.hdr.iocNumber = ioc;
        MptIocInfo info{};
        info.hdr.iocNumber = ioc;
        info.hdr.maxDataSize = sizeof info;
        int want = ioc == 2 ? 0 : -1;
        EXPECT_EQ(host_ioctl(fd_, 0xC0204C15UL, &q), want);
        EXPECT_EQ(host_ioctl(fd_, 0xC05C4C11UL, &info), want);
        if (ioc != 2)
            EXPECT_EQ(errno, ENODEV);
        else
            EXPECT_EQ(info.pciLocation, 3u << 8);
    }
}

// Reply-status faults answer commands by their function and, for CONFIG,
// the page type its header names (an extended type beside it); the fault's
// log word marks the answers it gave.
TEST_F(MptModelTest, StatusFaultsMatchFunctionAndPageType)
{
    struct Case {
        const char *what;
        int function, pageType;
        uint8_t type, ext, dwords;
        bool hit;
    } cases[] = {
        {"any page", MPI_FUNCTION_CONFIG, -1, 0x08, 0, 7, true},
        {"its page, attribute bits above", MPI_FUNCTION_CONFIG, 0x08, 0x28, 0, 7, true},
        {"another page", MPI_FUNCTION_CONFIG, 0x08, 0x09, 0, 7, false},
        {"its extended page", MPI_FUNCTION_CONFIG, 0x12, 0x0F, 0x12, 7, true},
        {"another extended page", MPI_FUNCTION_CONFIG, 0x12, 0x0F, 0x13, 7, false},
        {"extended number beside a standard type", MPI_FUNCTION_CONFIG, 0x12, 0x02, 0x12, 7, false},
        {"frame too short to name a page", MPI_FUNCTION_CONFIG, 0x08, 0x08, 0, 6, false},
        {"another function", MPI_FUNCTION_RAID_ACTION, -1, 0x08, 0, 7, false},
    };
    uint32_t ioc = 10;
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        mpt_line("mpt-ioc " + std::to_string(++ioc) + " mpi=0x105");
        mpt_fault_status(ioc, c.function, c.pageType, 0x0004, 0x31120000);
        uint8_t reply[64] = {};
        Block b = facts(reply, sizeof reply);
        b.cmd().hdr.iocNumber = ioc;
        b.cmd().dataSgeOffset = c.dwords;
        uint8_t *frame = b.bytes + MPT_COMMAND_FRAME_OFFSET;
        frame[3] = MPI_FUNCTION_CONFIG;
        frame[offsetof(MpiConfigRequest, extPageType)] = c.ext;
        frame[offsetof(MpiConfigRequest, header) + 3] = c.type;
        ASSERT_EQ(send(b), 0);
        uint32_t logInfo = 0;
        std::memcpy(&logInfo, reply + offsetof(MpiReplyHead, iocLogInfo), sizeof logInfo);
        EXPECT_EQ(logInfo == 0x31120000, c.hit);
    }
}

TEST_F(MptModelTest, FixtureLines)
{
    struct {
        const char *line;
        bool ok;
    } rows[] = {
        {"mpt-ioc 7 pci=0000:81:00.0 root=0000:80:02.0 device=0x87 revision=2 sas=0x5000 driver=x", true},
        {"mpt-ioc 64", false},
        {"mpt-ioc 7 colour=red", false},
        {"mpt-ioc 7 pci=81:00.0", false},
        {"mpt-phy 7 0 9 1 2 3 4", true},
        {"mpt-phy 6 0 9 1 2 3 4", false},
        {"mpt-phy 7 0 9 1 2 3", false},
        {"mpt-page 7 0x12 0 0x10000009 0 0a0b0c0d", true},
        {"mpt-page 7 0x12 0 0 0 0a0", false},
        {"mpt-fault 7 status 4 0x13 0x22 0 1", true},
        {"mpt-fault 7 status 4 - 0x22", true},
        {"mpt-fault 7 busy 1 2", true},
        {"mpt-fault 7 short 0 3 24", true},
        {"mpt-fault 7 short - 3 24", false},
        {"mpt-fault errno 0xC0484C14 5 2", true},
        {"mpt-fault 7 melt", false},
        {"fpga-reg 0 1", false},
    };
    for (const auto &r : rows) {
        std::string err;
        EXPECT_EQ(mpt_fixture_line(r.line, err), r.ok) << r.line;
        EXPECT_EQ(err.empty(), r.ok) << r.line << ": " << err;
    }
    ASSERT_NE(mpt_controller(7), nullptr);
    EXPECT_EQ(mpt_controller(7)->deviceId, 0x87);
    EXPECT_EQ(mpt_controller(7)->phys.at(0).counters[3], 4u);
    // Walked by handle: the get-next form finds the page stored in handle form.
    EXPECT_EQ(mpt_get_page(7, 0x12, 0, 0xFFFF), (std::vector<uint8_t>{0x0a, 0x0b, 0x0c, 0x0d}));
    EXPECT_TRUE(mpt_get_page(7, 0x12, 0, 9).empty());

    // The PCI function's link sits below its root port.
    std::string link = std::filesystem::read_symlink(sim_path("/sys/bus/pci/devices/0000:81:00.0"));
    EXPECT_NE(link.find("/0000:80:02.0/0000:81:00.0"), std::string::npos) << link;
    EXPECT_TRUE(std::filesystem::is_directory(sim_path("/sys/bus/pci/devices/0000:81:00.0")));
}

} // namespace
namespace {

class MptIocWords : public SimBesideTest {};

// pci= and root= read as DDDD:BB:DD.F; a refused line changes nothing. The
// parts read are the ones the controller's information reports.
TEST_F(MptIocWords, PciAddressesReadAsDomainBusDeviceFunction)
{
    for (const SimPciCase &c : kSimPciCases)
        for (const char *key : {"pci=", "root="}) {
            const std::string line = std::string("mpt-ioc 9 ") + key + c.address;
            if (c.ok)
                expect_applied(line);
            else
                expect_refused(line, "mpt-ioc: bad field '" + sim_clip(key + std::string(c.address)) + "'");
        }
    expect_applied("mpt-ioc 9 pci=00a1:05:1f.7");
    const int fd = host_open("/dev/mpt2ctl", O_RDWR);
    ASSERT_GE(fd, 0);
    MptIocInfo info{};
    info.hdr.iocNumber = 9;
    info.hdr.maxDataSize = sizeof info;
    EXPECT_EQ(host_ioctl(fd, kMptInfo, &info), 0);
    EXPECT_EQ(info.pciLocation, 0x1Fu | 7u << 5 | 5u << 8);
    EXPECT_EQ(info.pciSegment, 0xA1u);
    host().close(fd);
}

// A bad field is quoted, its control bytes escaped, and cut at 80 characters.
TEST_F(MptIocWords, BadFieldQuotedEscapedAndCut)
{
    const std::string field = "colour=\x1b[31m\x01" + std::string(5000, 'r');
    const std::string error = apply("mpt-ioc 9 " + field + "\n");
    EXPECT_EQ(error, "f:1: mpt-ioc: bad field '" + sim_clip(field) + "'");
    EXPECT_EQ(error.find('\x1b'), std::string::npos);
    EXPECT_EQ(error.find('\x01'), std::string::npos);
    EXPECT_EQ(error.size(), std::string("f:1: mpt-ioc: bad field ''...").size() + 80);
}

// The saved board replays mpt-ioc lines: a bad address there is refused the
// same way, with the board's file and line.
TEST_F(MptIocWords, SavedBoardRefusesBadAddresses)
{
    const std::string error = reopen_changed("mpt-ioc 9 pci=0000:09:00.0\n", "pci=0000:09:00.0", "pci=0000:09:20.0");
    EXPECT_TRUE(error.starts_with(root_ + "/.sim/board:")) << error;
    EXPECT_NE(error.find(": mpt-ioc: bad field 'pci=0000:09:20.0'"), std::string::npos) << error;
    EXPECT_TRUE(error.ends_with("(give --reset to start a fresh board)")) << error;
}

} // namespace

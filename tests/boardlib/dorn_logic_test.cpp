// The DORN device layer through the simulated FPGA driver: which node each
// operation opens, the request and record it sends, the order of its checks,
// and the codes and log lines of its failures.
#include <cerrno>
#include <cstring>
#include <functional>

#include "boardlib/dorn_logic.h"
#include "boardlib/plov_types.h"
#include "sim/fpga_model.h"
#include "support/sim_fixture.h"

namespace {

const std::string kTrans = kFpgaTransNode;
const std::string kSbuf = kFpgaSbufNode;

class DornLogicTest : public SimTest {
protected:
    // Log lines of the device layer, without the "[PLOV_LOG] file:line " head.
    std::vector<std::string> lines() const
    {
        std::vector<std::string> out;
        for (const SimLogLine &l : sim_syslog()) {
            size_t tag = l.text.find(" [");
            EXPECT_EQ(l.text.rfind("[PLOV_LOG] boardlib/dorn_logic.cpp:", 0), 0u) << l.text;
            EXPECT_EQ(l.priority, PLOV_LEVEL_ERR);
            out.push_back(tag == std::string::npos ? l.text : l.text.substr(tag + 1));
        }
        return out;
    }
};

// Every operation: the node it opens, the request number (written out, as
// the driver knows it) and the size of the record the driver reads.
struct OpCase {
    const char *name;
    std::function<PlovStatus()> call;
    const char *node;
    unsigned long request;
    size_t size;
};

DirRegReq g_dir{0x1500, 0};
IndirRegReq g_indir;
uint64_t g_words[4];
QueueAddrRec g_queueAddr;
SwBufBaseRec g_swbuf;
MemDesc g_descs[MEM_DESC_COUNT];
MemCfg g_cfg;
ShareMemEntry g_map[PLOV_SHARE_MEM_ENTRIES];
uint8_t g_byte;
uint8_t g_space[4096];
RegSpaceReq g_regs{4096, 0, g_space};
DrvInfo g_info;

IndirRegReq *indir()
{
    g_indir = IndirRegReq{};
    g_indir.baseaddr = 0x1580;
    g_indir.cmd = 0x2;
    g_indir.wlen = 1;
    g_indir.rlen = 1;
    g_indir.data = g_words;
    return &g_indir;
}

const OpCase kOps[] = {
    {"ReadDirReg", [] { return DornLogicReadDirReg(1, &g_dir); }, kFpgaSbufNode, 0xC004EF01, 16},
    {"WriteDirReg", [] { return DornLogicWriteDirReg(0, &g_dir); }, kFpgaTransNode, 0xC004EF00, 16},
    {"ReadIndirReg", [] { return DornLogicReadIndirReg(1, indir()); }, kFpgaSbufNode, 0xC004EF03, 56},
    {"WriteIndirReg", [] { return DornLogicWriteIndirReg(0, indir()); }, kFpgaTransNode, 0xC004EF02, 56},
    {"GetQueueAddr", [] { return DornLogicGetQueueAddr(1, &g_queueAddr); }, kFpgaSbufNode, 0xC004EF09, 64},
    {"GetSwbufBase", [] { return DornLogicGetSwbufBase(0, &g_swbuf); }, kFpgaTransNode, 0xC004EF0B, 24},
    {"GetMemDesc", [] { return TransGetMemDesc(1, g_descs); }, kFpgaSbufNode, 0xC004EF11, 640},
    {"GetMemDep", [] { return DornLogicGetMemDep(1, &g_cfg); }, kFpgaSbufNode, 0xC004EF07, 3384},
    {"SetMemDep", [] { return DornLogicSetMemDep(0, &g_cfg); }, kFpgaTransNode, 0xC004EF06, 3384},
    {"SetShmem", [] { return DornLogicSetShmem(g_map); }, kFpgaTransNode, 0xC004EF04, 1168},
    {"GetShmem", [] { return DornLogicGetShmem(g_map); }, kFpgaTransNode, 0xC004EF05, 1168},
    {"UsrStart", [] { return DornLogicUsrStart(1, 3); }, kFpgaSbufNode, 0xC004EF08, 1},
    {"GetCpuUsg", [] { return DornLogicGetCpuUsg(1, &g_byte); }, kFpgaSbufNode, 0xC004EF14, 1},
    {"SetCpuUsg", [] { return DornLogicSetCpuUsg(0, 1); }, kFpgaTransNode, 0xC004EF0D, 1},
    {"GetHrtimerAffinity", [] { return DornGetHrtimerAffinity(1, &g_byte); }, kFpgaSbufNode, 0xC004EF1D, 1},
    {"SetHrtimerAffinity", [] { return DornSetHrtimerAffinity(0, 2); }, kFpgaTransNode, 0xC004EF19, 1},
    {"GetRegs", [] { return DornGetRegs(1, &g_regs); }, kFpgaSbufNode, 0xC004EF1C, 16},
    {"GetDrvInfo", [] { return DornGetDrvInfo(0, &g_info); }, kFpgaTransNode, 0xC004EF1B, 96},
    {"GetLoadAtReboot", [] { static uint64_t f; return DornGetLoadAtReboot(0, &f); }, kFpgaSbufNode,
     0xC004EF10, 16},
    {"SetLoadAtReboot", [] { return DornSetLoadAtReboot(0, 1); }, kFpgaSbufNode, 0xC004EF0F, 16},
    {"GetQueueSwitch", [] { static QueueId q{1, 4}; static uint32_t v; return DornGetQueueSwitch(0, &q, &v); },
     kFpgaTransNode, 0xC004EF17, 16},
    {"SetQueueSwitch", [] { static QueueId q{1, 4}; return DornSetQueueSwitch(1, &q, 1); }, kFpgaSbufNode,
     0xC004EF16, 16},
};

// Load-at-reboot and the queue switches count any non-zero result as failure.
bool strict(const OpCase &op)
{
    return op.request == PLOV_IOC_GET_LOAD_AT_REBOOT || op.request == PLOV_IOC_SET_LOAD_AT_REBOOT ||
           op.request == PLOV_IOC_GET_QUEUE_SWITCH || op.request == PLOV_IOC_SET_QUEUE_SWITCH;
}

TEST_F(DornLogicTest, EachOperationOpensItsNodeForOneRequest)
{
    for (const OpCase &op : kOps) {
        SCOPED_TRACE(op.name);
        sim_clear_journal();
        EXPECT_EQ(op.call(), PLOV_OK);
        ASSERT_EQ(sim_journal().size(), 1u);
        EXPECT_EQ(sim_journal()[0].node, op.node);
        EXPECT_EQ(sim_journal()[0].request, op.request);
        EXPECT_EQ(sim_journal()[0].record.size(), op.size);
        EXPECT_EQ(sim_journal()[0].result, 0);
        EXPECT_EQ(sim_open_count(), 0);
    }
    EXPECT_TRUE(lines().empty());
}

TEST_F(DornLogicTest, RequestFailureIsLoggedWithErrnoAndGives1203)
{
    for (const OpCase &op : kOps) {
        SCOPED_TRACE(op.name);
        sim_clear_faults();
        sim_clear_syslog();
        sim_fail_request(op.node, op.request, EIO);
        EXPECT_EQ(op.call(), PLOV_ERR_IOCTL);
        EXPECT_EQ(sim_open_count(), 0);
        ASSERT_EQ(lines().size(), 1u);
        std::string line = lines()[0];
        if (strict(op))
            EXPECT_EQ(line, "[Trans-ERR]ioctl error, errno = 5(Input/output error)\n");
        else if (op.request == PLOV_IOC_GET_SWBUF_BASE)
            EXPECT_EQ(line, "[Trans-ERR]Ioctl failed! errno=5(Input/output error), iRet[-1]");
        else
            EXPECT_EQ(line, "[Trans-ERR]Ioctl failed! errno=5(Input/output error)");
    }
}

TEST_F(DornLogicTest, PositiveResultIsSuccessExceptForLoadAtRebootAndQueueSwitch)
{
    for (const OpCase &op : kOps) {
        SCOPED_TRACE(op.name);
        sim_clear_faults();
        sim_clear_syslog();
        sim_request_result(op.node, op.request, 1);
        EXPECT_EQ(op.call(), strict(op) ? PLOV_ERR_IOCTL : PLOV_OK);
        EXPECT_EQ(lines().size(), strict(op) ? 1u : 0u);
    }
}

TEST_F(DornLogicTest, MissingNodeGives1216WithPathAndErrno)
{
    sim_remove_node(kSbuf);
    sim_remove_node(kTrans);
    for (const OpCase &op : kOps) {
        SCOPED_TRACE(op.name);
        sim_clear_syslog();
        EXPECT_EQ(op.call(), PLOV_ERR_OPEN);
        std::vector<std::string> l = lines();
        ASSERT_FALSE(l.empty());
        EXPECT_EQ(l[0], std::string("[Trans-ERR]Open device: ") + op.node +
                            " failed! errno=2(No such file or directory)");
        // The queue-address read names the failure a second time.
        if (op.request == PLOV_IOC_GET_QUEUE_ADDR)
            EXPECT_EQ(l, (std::vector<std::string>{l[0], "[Trans-ERR]get fd fail!\n"}));
        else
            EXPECT_EQ(l.size(), 1u);
    }
    EXPECT_TRUE(sim_journal().empty());
}

// A null record is refused before the FPGA id is looked at.
TEST_F(DornLogicTest, NullRecordIsRefusedFirst)
{
    struct NullCase {
        const char *name;
        std::function<PlovStatus()> call;
        bool logged;
    };
    const NullCase cases[] = {
        {"ReadDirReg", [] { return DornLogicReadDirReg(9, nullptr); }, true},
        {"WriteDirReg", [] { return DornLogicWriteDirReg(9, nullptr); }, true},
        {"ReadIndirReg", [] { return DornLogicReadIndirReg(9, nullptr); }, true},
        {"WriteIndirReg", [] { return DornLogicWriteIndirReg(9, nullptr); }, true},
        {"GetQueueAddr", [] { return DornLogicGetQueueAddr(9, nullptr); }, true},
        {"GetSwbufBase", [] { return DornLogicGetSwbufBase(9, nullptr); }, true},
        {"GetMemDesc", [] { return TransGetMemDesc(9, nullptr); }, true},
        {"GetMemDep", [] { return DornLogicGetMemDep(9, nullptr); }, true},
        {"SetMemDep", [] { return DornLogicSetMemDep(9, nullptr); }, true},
        {"SetShmem", [] { return DornLogicSetShmem(nullptr); }, true},
        {"GetShmem", [] { return DornLogicGetShmem(nullptr); }, true},
        {"GetHrtimerAffinity", [] { return DornGetHrtimerAffinity(9, nullptr); }, true},
        {"GetLoadAtReboot", [] { return DornGetLoadAtReboot(9, nullptr); }, true},
        {"GetQueueSwitch", [] { return DornGetQueueSwitch(9, nullptr, nullptr); }, true},
        {"SetQueueSwitch", [] { return DornSetQueueSwitch(9, nullptr, 0); }, true},
        // Refused silently by its wrapper, after the open (so a valid id).
        {"GetCpuUsg", [] { return DornLogicGetCpuUsg(0, nullptr); }, false},
    };
    for (const NullCase &c : cases) {
        SCOPED_TRACE(c.name);
        sim_clear_syslog();
        EXPECT_EQ(c.call(), PLOV_ERR_NULL_PTR);
        EXPECT_TRUE(sim_journal().empty());
        std::vector<std::string> l = lines();
        if (c.logged)
            EXPECT_EQ(l, std::vector<std::string>{"[Trans-ERR]NULL Pointer Detected!\n"});
        else
            EXPECT_TRUE(l.empty());
    }
}

TEST_F(DornLogicTest, UntestedPointersReachTheDriver)
{
    EXPECT_EQ(DornGetRegs(0, nullptr), PLOV_ERR_IOCTL);
    EXPECT_EQ(DornGetDrvInfo(1, nullptr), PLOV_ERR_IOCTL);
    ASSERT_EQ(sim_journal().size(), 2u);
    EXPECT_EQ(sim_journal()[0].result, -EFAULT);
    EXPECT_EQ(lines()[0], "[Trans-ERR]Ioctl failed! errno=14(Bad address)");
}

TEST_F(DornLogicTest, FpgaIdAboveOneIsRefusedWithoutOpening)
{
    DirRegReq req{0x1500, 0};
    for (FpgaId id : {FpgaId{2}, FpgaId{255}}) {
        sim_clear_syslog();
        EXPECT_EQ(DornGetFd(id), PLOV_ERR_FPGA_ID);
        EXPECT_EQ(DornLogicReadDirReg(id, &req), PLOV_ERR_FPGA_ID);
        EXPECT_EQ(lines(), std::vector<std::string>(2, "[Trans-ERR]Invalid FpgaID [" + std::to_string(id) + "]\n"));
    }
    EXPECT_TRUE(sim_journal().empty());
}

TEST_F(DornLogicTest, LoadAtRebootLeavesTheFpgaIdToTheDriver)
{
    // The id only travels in the record; the driver refuses an unknown one.
    uint64_t flag = 7;
    EXPECT_EQ(DornGetLoadAtReboot(5, &flag), PLOV_ERR_IOCTL);
    EXPECT_EQ(flag, 7u);
    ASSERT_EQ(sim_journal().size(), 1u);
    EXPECT_EQ(sim_journal()[0].node, kSbuf);
    EXPECT_EQ(sim_journal()[0].result, -EINVAL);
    EXPECT_EQ(lines(), std::vector<std::string>{"[Trans-ERR]ioctl error, errno = 22(Invalid argument)\n"});
}

TEST_F(DornLogicTest, OpenDevRefusesNullPath)
{
    EXPECT_EQ(DornOpenDev(nullptr), PLOV_ERR_NULL_PTR);
    EXPECT_EQ(lines(), std::vector<std::string>{"[Trans-ERR]NULL Pointer Detected!\n"});
}

TEST_F(DornLogicTest, DirectRegistersTravelInTheRecord)
{
    fpga_set_reg(kTrans, 0x1500, 0xABCD1234);
    DirRegReq req{0x1500, 0};
    ASSERT_EQ(DornLogicReadDirReg(0, &req), PLOV_OK);
    EXPECT_EQ(req.data, 0xABCD1234u);

    DirRegReq w{0x5C18, 0x11};
    ASSERT_EQ(DornLogicWriteDirReg(1, &w), PLOV_OK);
    EXPECT_EQ(fpga_get_reg(kSbuf, 0x5C18), 0x11u);
    const std::vector<uint8_t> &rec = sim_journal()[1].record;
    ASSERT_EQ(rec.size(), sizeof(DirRegReq));
    EXPECT_EQ(rec[0], 0x18);
    EXPECT_EQ(rec[1], 0x5C);
    EXPECT_EQ(rec[8], 0x11);
}

TEST_F(DornLogicTest, OneByteRequestsSendTheLowByte)
{
    int fd = DornGetFd(0);
    ASSERT_GE(fd, 0);
    EXPECT_EQ(IoctlUsrStart(fd, 0x1234), PLOV_OK);
    EXPECT_EQ(IoctlSetCpuUsg(fd, 0x102), PLOV_OK);
    EXPECT_EQ(IoctlSetHrtimerAffinity(fd, 0x305), PLOV_OK);
    DornCloseDev(fd);
    ASSERT_EQ(sim_journal().size(), 3u);
    for (const SimJournalEntry &e : sim_journal())
        ASSERT_EQ(e.record.size(), 1u);
    EXPECT_EQ(sim_journal()[0].record[0], 0x34);
    EXPECT_EQ(fpga_get_record(kTrans, FpgaRecord::CpuUsage), std::vector<uint8_t>{0x02});
    EXPECT_EQ(fpga_get_record(kTrans, FpgaRecord::HrtimerAffinity), std::vector<uint8_t>{0x05});
}

TEST_F(DornLogicTest, HrtimerAffinityIsStoredOnlyOnSuccess)
{
    fpga_set_record(kSbuf, FpgaRecord::HrtimerAffinity, 0, {7});
    uint8_t cpu = 0x55;
    ASSERT_EQ(DornGetHrtimerAffinity(1, &cpu), PLOV_OK);
    EXPECT_EQ(cpu, 7);
    sim_fail_request(kSbuf, PLOV_IOC_GET_HRTIMER_AFFINITY, EIO);
    cpu = 0x55;
    EXPECT_EQ(DornGetHrtimerAffinity(1, &cpu), PLOV_ERR_IOCTL);
    EXPECT_EQ(cpu, 0x55);
    EXPECT_EQ(sim_journal().back().record, std::vector<uint8_t>{0});  // the preset byte
}

TEST_F(DornLogicTest, LoadAtRebootAlwaysGoesThroughTheSbufNode)
{
    for (FpgaId fpga : {FpgaId{0}, FpgaId{1}}) {
        SCOPED_TRACE(int{fpga});
        sim_clear_journal();
        ASSERT_EQ(DornSetLoadAtReboot(fpga, static_cast<uint8_t>(fpga + 1)), PLOV_OK);
        uint64_t flag = 0;
        ASSERT_EQ(DornGetLoadAtReboot(fpga, &flag), PLOV_OK);
        EXPECT_EQ(flag, fpga + 1u);
        ASSERT_EQ(sim_journal().size(), 2u);
        for (const SimJournalEntry &e : sim_journal()) {
            EXPECT_EQ(e.node, kSbuf);
            LoadAtRebootReq req;
            std::memcpy(&req, e.record.data(), sizeof req);
            EXPECT_EQ(req.fpga, fpga);
        }
        LoadAtRebootReq get;
        std::memcpy(&get, sim_journal()[1].record.data(), sizeof get);
        EXPECT_EQ(get.value, reinterpret_cast<uintptr_t>(&flag));
    }
}

TEST_F(DornLogicTest, QueueSwitchNodeAndRecord)
{
    QueueId queue{QUEUE_TYPE_TX_GROUP, 0x10007};
    ASSERT_EQ(DornSetQueueSwitch(0, &queue, 0x1234), PLOV_OK);
    uint32_t value = 0;
    ASSERT_EQ(DornGetQueueSwitch(0, &queue, &value), PLOV_OK);
    EXPECT_EQ(value, 0x1234u);
    // Another FPGA's switch is its own.
    ASSERT_EQ(DornGetQueueSwitch(1, &queue, &value), PLOV_OK);
    EXPECT_EQ(value, 0u);
    ASSERT_EQ(sim_journal().size(), 3u);
    EXPECT_EQ(sim_journal()[2].node, kSbuf);
    QueueSwitchReq req;
    std::memcpy(&req, sim_journal()[0].record.data(), sizeof req);
    EXPECT_EQ(req.queueType, QUEUE_TYPE_TX_GROUP);
    EXPECT_EQ(req.value, 0x1234);
    EXPECT_EQ(req.zero, 0u);
    EXPECT_EQ(req.queueId, 7);
    // A failed read leaves the value as it was.
    sim_request_result(kTrans, PLOV_IOC_GET_QUEUE_SWITCH, 3);
    value = 99;
    EXPECT_EQ(DornGetQueueSwitch(0, &queue, &value), PLOV_ERR_IOCTL);
    EXPECT_EQ(value, 99u);
}

TEST_F(DornLogicTest, PortStaticMacRequest)
{
    int fd = DornGetFd(0);
    ASSERT_GE(fd, 0);
    PortStaticMacReq req{};
    req.port = 3;
    EXPECT_EQ(IoctlGetPortStaticMac(fd, &req), PLOV_OK);
    DornCloseDev(fd);
    const uint8_t expected[6] = {0x00, 0x1A, 0x2B, 0x00, 0x00, 0x03};
    EXPECT_EQ(std::memcmp(req.mac, expected, 6), 0);
    EXPECT_EQ(sim_journal()[0].request, 0xC004EF21u);
}

} // namespace

// The DORN and KESP device layers through the simulated FPGA driver: the
// node and request of every operation and the bytes it hands over, how each
// judges the driver's result, and the codes and log lines of its failures.
#include <cerrno>
#include <functional>
#include <type_traits>

#include "boardlib/dorn_logic.h"
#include "boardlib/kesp_logic.h"
#include "boardlib/plov_types.h"
#include "sim/fpga_model.h"
#include "support/fpga_test_util.h"
#include "support/sim_fixture.h"

namespace {

const std::string kTrans = kFpgaTransNode;
const std::string kSbuf = kFpgaSbufNode;
constexpr const char *D = "boardlib/dorn_logic.cpp";
constexpr const char *K = "boardlib/kesp_logic.cpp";

class DeviceLayerTest : public SimTest {
protected:
    void SetUp() override
    {
        SimTest::SetUp();
        fpga_set_sfp_bytes(kTrans, 1, 0xA0, 0, Bytes(16, 0x11));  // a module behind the trans FPGA
    }
    void reset()
    {
        sim_clear_faults();
        sim_clear_journal();
        sim_clear_syslog();
    }
};

// The caller's records; fresh for every case.
struct Recs {
    DirRegReq dir{0x1500, 0x55};
    uint64_t words[4] = {7, 0xA, 0xB, 0};
    IndirRegReq indir{0, 0, 0x1580, 0x2, 0, 0, 0, 1, 1, {}, words};
    QueueAddrRec queueAddr{1, 2, 0, 0, 0, 0, 0, 0, 0};
    SwBufBaseRec swbuf{0, 0, 1, 0};
    MemDesc descs[MEM_DESC_COUNT] = {};
    MemCfg cfg{};
    ShareMemEntry map[PLOV_SHARE_MEM_ENTRIES] = {};
    uint8_t byte = 0x55;
    uint8_t space[4096] = {};
    RegSpaceReq regs{4096, 0, space};
    DrvInfo info{};
    uint64_t flag = 0;
    QueueId queue{QUEUE_TYPE_TX_GROUP, 0x10007};
    uint32_t value = 0;
    PortStaticMacReq mac{3, {}, {}, {}};
    uint8_t sfpBuf[16] = {};
    SfpRegReq sfp{1, 0, 4, 0xA0, sfpBuf};
    PciPortEpReq ep{{1, 2, 3, 4}};
    char ver[PLOV_DRV_VER_LEN] = {};

    // An endpoint is removed once it was added.
    PlovStatus rm_ep()
    {
        fpga_set_record_as(kFpgaTransNode, FpgaRecord::PciPortEp, fpga_pci_ep_key(ep.ulParam), ep);
        return KespRmPciPortEp(&ep);
    }
};

// A request wrapper on an open descriptor of the trans node.
template <typename A> PlovStatus wrap(PlovStatus (*wrapper)(int, A), std::type_identity_t<A> arg)
{
    int fd = DornGetFd(0);
    if (fd < 0)
        return fd;
    PlovStatus ret = wrapper(fd, arg);
    DornCloseDev(fd);
    return ret;
}

// How a layer judges the driver's result: the status and line of a failed
// request (EIO), the status of a positive result (5) and whether it logs.
enum Judge { Dorn, DornSwBuf, Kesp, Strict, Raw };
struct Outcome {
    PlovStatus failed, positive;
    size_t positiveLines;
    const char *line;
};
const Outcome kOutcome[] = {
    {-1203, 0, 0, "[Trans-ERR]Ioctl failed! errno=5(Input/output error)"},
    {-1203, 0, 0, "[Trans-ERR]Ioctl failed! errno=5(Input/output error), iRet[-1]"},
    {-1203, 5, 0, "[Trans-ERR]Ioctl failed! errno=5(Input/output error)"},
    {-1203, -1203, 1, "[Trans-ERR]ioctl error, errno = 5(Input/output error)\n"},
    {-1, 5, 1, "[Trans-ERR]ioctl failed, errno[5]!\n"},
};

struct Op {
    const char *file;
    std::function<PlovStatus()> call;
    std::string node;
    unsigned long request;  // written out, as the driver knows it
    Bytes record;           // the bytes the driver is handed
    Judge judge;
};

std::vector<Op> ops(Recs &r)
{
    auto lar = [](uint64_t fpga, uint64_t value) { return bytes_of(LoadAtRebootReq{fpga, value}); };
    const uint64_t flagAt = reinterpret_cast<uintptr_t>(&r.flag);
    auto qs = [](uint16_t value) { return bytes_of(QueueSwitchReq{2, value, 0, 7, {}}); };
    return {
        {D, [&] { return DornLogicReadDirReg(1, &r.dir); }, kSbuf, 0xC004EF01, bytes_of(r.dir), Dorn},
        {D, [&] { return DornLogicWriteDirReg(0, &r.dir); }, kTrans, 0xC004EF00, bytes_of(r.dir), Dorn},
        {D, [&] { return DornLogicReadIndirReg(1, &r.indir); }, kSbuf, 0xC004EF03, bytes_of(r.indir), Dorn},
        {D, [&] { return DornLogicWriteIndirReg(0, &r.indir); }, kTrans, 0xC004EF02, bytes_of(r.indir), Dorn},
        {D, [&] { return DornLogicGetQueueAddr(1, &r.queueAddr); }, kSbuf, 0xC004EF09, bytes_of(r.queueAddr), Dorn},
        {D, [&] { return DornLogicGetSwbufBase(0, &r.swbuf); }, kTrans, 0xC004EF0B, bytes_of(r.swbuf), DornSwBuf},
        {D, [&] { return TransGetMemDesc(1, r.descs); }, kSbuf, 0xC004EF11, bytes_of(r.descs), Dorn},
        {D, [&] { return DornLogicGetMemDep(1, &r.cfg); }, kSbuf, 0xC004EF07, bytes_of(r.cfg), Dorn},
        {D, [&] { return DornLogicSetMemDep(0, &r.cfg); }, kTrans, 0xC004EF06, bytes_of(r.cfg), Dorn},
        {D, [&] { return DornLogicSetShmem(r.map); }, kTrans, 0xC004EF04, bytes_of(r.map), Dorn},
        {D, [&] { return DornLogicGetShmem(r.map); }, kTrans, 0xC004EF05, bytes_of(r.map), Dorn},
        {D, [] { return DornLogicUsrStart(1, 3); }, kSbuf, 0xC004EF08, {3}, Dorn},
        {D, [&] { return DornLogicGetCpuUsg(1, &r.byte); }, kSbuf, 0xC004EF14, {0x55}, Dorn},
        {D, [] { return DornLogicSetCpuUsg(0, 1); }, kTrans, 0xC004EF0D, {1}, Dorn},
        // The affinity is read into a zeroed byte of its own.
        {D, [&] { return DornGetHrtimerAffinity(1, &r.byte); }, kSbuf, 0xC004EF1D, {0}, Dorn},
        {D, [] { return DornSetHrtimerAffinity(0, 2); }, kTrans, 0xC004EF19, {2}, Dorn},
        {D, [&] { return DornGetRegs(1, &r.regs); }, kSbuf, 0xC004EF1C, bytes_of(r.regs), Dorn},
        {D, [&] { return DornGetDrvInfo(0, &r.info); }, kTrans, 0xC004EF1B, bytes_of(r.info), Dorn},
        // Load-at-reboot of either FPGA goes through the sbuf node.
        {D, [&] { return DornGetLoadAtReboot(0, &r.flag); }, kSbuf, 0xC004EF10, lar(0, flagAt), Strict},
        {D, [] { return DornSetLoadAtReboot(1, 1); }, kSbuf, 0xC004EF0F, lar(1, 1), Strict},
        {D, [&] { return DornGetQueueSwitch(0, &r.queue, &r.value); }, kTrans, 0xC004EF17, qs(0), Strict},
        {D, [&] { return DornSetQueueSwitch(1, &r.queue, 0x1234); }, kSbuf, 0xC004EF16, qs(0x1234), Strict},
        // One-byte wrappers send the low byte of the value.
        {D, [] { return wrap(IoctlUsrStart, 0x1234); }, kTrans, 0xC004EF08, {0x34}, Dorn},
        {D, [] { return wrap(IoctlSetCpuUsg, 0x102); }, kTrans, 0xC004EF0D, {0x02}, Dorn},
        {D, [] { return wrap(IoctlSetHrtimerAffinity, 0x305); }, kTrans, 0xC004EF19, {0x05}, Dorn},
        {D, [&] { return wrap(IoctlGetPortStaticMac, &r.mac); }, kTrans, 0xC004EF21, bytes_of(r.mac), Dorn},

        {K, [&] { return KespLogicWriteDirReg(&r.dir); }, kTrans, 0xC004EF00, bytes_of(r.dir), Kesp},
        {K, [&] { return KespLogicReadDirReg(&r.dir); }, kTrans, 0xC004EF01, bytes_of(r.dir), Kesp},
        {K, [&] { return KespLogicWriteIndirReg(&r.indir); }, kTrans, 0xC004EF02, bytes_of(r.indir), Kesp},
        {K, [&] { return KespLogicReadIndirReg(&r.indir); }, kTrans, 0xC004EF03, bytes_of(r.indir), Kesp},
        {K, [&] { return KespLogicClearIndirReg(&r.indir); }, kTrans, 0xC004EF1E, bytes_of(r.indir), Kesp},
        {K, [&] { return KespLogicSetShmem(r.map); }, kTrans, 0xC004EF04, bytes_of(r.map), Kesp},
        {K, [&] { return KespLogicGetShmem(r.map); }, kTrans, 0xC004EF05, bytes_of(r.map), Kesp},
        {K, [&] { return KespLogicSetMemDep(&r.cfg); }, kTrans, 0xC004EF06, bytes_of(r.cfg), Kesp},
        {K, [&] { return KespLogicGetMemDep(&r.cfg); }, kTrans, 0xC004EF07, bytes_of(r.cfg), Kesp},
        {K, [] { return KespLogicUsrStart(3); }, kTrans, 0xC004EF08, {3}, Kesp},
        {K, [&] { return KespLogicGetQueueAddr(&r.queueAddr); }, kTrans, 0xC004EF09, bytes_of(r.queueAddr), Kesp},
        {K, [&] { return KespLogicGetSwbufBase(&r.swbuf); }, kTrans, 0xC004EF0B, bytes_of(r.swbuf), Kesp},
        {K, [&] { return KespGetDrvVer(1, r.ver); }, kTrans, 0xC004EF0C, bytes_of(r.ver), Raw},
        {K, [] { return KespSetLoadAtReboot(1); }, kTrans, 0xC004EF0F, lar(0, 1), Strict},
        {K, [&] { return KespGetLoadAtReboot(&r.flag); }, kTrans, 0xC004EF10, lar(0, flagAt), Strict},
        {K, [&] { return KespGetMemDesc(r.descs); }, kTrans, 0xC004EF11, bytes_of(r.descs), Kesp},
        {K, [&] { return KespSetSfpReg(&r.sfp); }, kTrans, 0xC004EF15, bytes_of(r.sfp), Kesp},
        {K, [&] { return KespGetSfpReg(&r.sfp); }, kTrans, 0xC004EF18, bytes_of(r.sfp), Kesp},
        {K, [] { return KespLogicSetHrtimerAffinity(11); }, kTrans, 0xC004EF19, {11}, Kesp},
        {K, [&] { return KespGetDrvInfo(&r.info); }, kTrans, 0xC004EF1B, bytes_of(r.info), Kesp},
        {K, [&] { return KespLogicGetHrtimerAffinity(&r.byte); }, kTrans, 0xC004EF1D, {0x55}, Kesp},
        {K, [] { return KespSetHrtimer(1500999); }, kTrans, 0xC004EF22, bytes_of(uint64_t{1500999}), Kesp},
        {K, [&] { return KespGetHrtimer(&r.flag); }, kTrans, 0xC004EF23, bytes_of(r.flag), Kesp},
        {K, [&] { return r.rm_ep(); }, kTrans, 0xC008EF1F, bytes_of(r.ep), Kesp},
        {K, [&] { return KespAddPciPortEp(&r.ep); }, kTrans, 0xC008EF20, bytes_of(r.ep), Kesp},
    };
}

size_t op_count()
{
    Recs r;
    return ops(r).size();
}

TEST_F(DeviceLayerTest, EachOperationOpensItsNodeForOneRequest)
{
    for (size_t i = 0; i < op_count(); i++) {
        Recs r;
        const Op op = ops(r)[i];
        SCOPED_TRACE(testing::Message() << i << ": " << std::hex << op.request);
        reset();
        EXPECT_EQ(op.call(), 0);
        ASSERT_EQ(sim_journal().size(), 1u);
        EXPECT_EQ(sim_journal()[0].node, op.node);
        EXPECT_EQ(sim_journal()[0].request, op.request);
        EXPECT_EQ(sim_journal()[0].record, op.record);
        EXPECT_EQ(sim_journal()[0].result, 0);
        ASSERT_EQ(sim_open_count(), 0);
        EXPECT_TRUE(sim_syslog().empty());
    }
}

TEST_F(DeviceLayerTest, FailedRequestPositiveResultAndMissingNode)
{
    for (size_t i = 0; i < op_count(); i++) {
        Recs r;
        const Op op = ops(r)[i];
        const Outcome &o = kOutcome[op.judge];
        SCOPED_TRACE(testing::Message() << i << ": " << std::hex << op.request);
        reset();
        sim_fail_request(op.node, op.request, EIO);
        EXPECT_EQ(op.call(), o.failed);
        EXPECT_EQ(plov_lines(op.file), std::vector<std::string>{o.line});

        reset();
        sim_request_result(op.node, op.request, 5);
        EXPECT_EQ(op.call(), o.positive);
        EXPECT_EQ(plov_lines(op.file).size(), o.positiveLines);

        reset();
        sim_fail_open(op.node, ENOENT);
        EXPECT_EQ(op.call(), -1216);
        std::vector<std::string> lines{"[Trans-ERR]Open device: " + op.node +
                                       " failed! errno=2(No such file or directory)"};
        if (op.file == D && op.request == PLOV_IOC_GET_QUEUE_ADDR)
            lines.push_back("[Trans-ERR]get fd fail!\n");  // this one names the failure twice
        EXPECT_EQ(plov_lines(op.file), lines);
        EXPECT_TRUE(sim_journal().empty());
        ASSERT_EQ(sim_open_count(), 0);
    }
    sim_clear_faults();
}

// Arguments refused in order (a null record before the FPGA id), and the
// pointers left for the driver to refuse.
TEST_F(DeviceLayerTest, Refusals)
{
    const std::vector<std::string> none{}, efault{"[Trans-ERR]Ioctl failed! errno=14(Bad address)"};
    Recs r;
    SfpRegReq noBuf{1, 0, 4, 0xA0, nullptr};
    using Call = std::function<PlovStatus()>;
    const Call nullRecord[] = {
        [] { return DornLogicReadDirReg(9, nullptr); },    [] { return DornLogicWriteDirReg(9, nullptr); },
        [] { return DornLogicReadIndirReg(9, nullptr); },  [] { return DornLogicWriteIndirReg(9, nullptr); },
        [] { return DornLogicGetQueueAddr(9, nullptr); },  [] { return DornLogicGetSwbufBase(9, nullptr); },
        [] { return TransGetMemDesc(9, nullptr); },        [] { return DornLogicGetMemDep(9, nullptr); },
        [] { return DornLogicSetMemDep(9, nullptr); },     [] { return DornLogicSetShmem(nullptr); },
        [] { return DornLogicGetShmem(nullptr); },         [] { return DornGetHrtimerAffinity(9, nullptr); },
        [] { return DornGetLoadAtReboot(9, nullptr); },    [] { return DornGetQueueSwitch(9, nullptr, nullptr); },
        [&] { return DornGetQueueSwitch(9, &r.queue, nullptr); }, [] { return DornSetQueueSwitch(9, nullptr, 0); },
        [] { return DornOpenDev(nullptr); },               [] { return KespLogicWriteDirReg(nullptr); },
        [] { return KespLogicReadDirReg(nullptr); },       [] { return KespLogicWriteIndirReg(nullptr); },
        [] { return KespLogicReadIndirReg(nullptr); },     [] { return KespLogicClearIndirReg(nullptr); },
        [] { return KespLogicSetShmem(nullptr); },         [] { return KespLogicGetShmem(nullptr); },
        [] { return KespLogicSetMemDep(nullptr); },        [] { return KespLogicGetMemDep(nullptr); },
        [] { return KespLogicGetQueueAddr(nullptr); },     [] { return KespLogicGetSwbufBase(nullptr); },
        [] { return KespGetMemDesc(nullptr); },            [] { return KespSetSfpReg(nullptr); },
        [&] { return KespSetSfpReg(&noBuf); },             [&] { return KespGetSfpReg(&noBuf); },
        [] { return KespLogicGetHrtimerAffinity(nullptr); }, [] { return KespGetHrtimer(nullptr); },
        [] { return KespRmPciPortEp(nullptr); },           [] { return KespAddPciPortEp(nullptr); },
        [] { return KespGetLoadAtReboot(nullptr); },       [] { return KespGetDrvVer(0, nullptr); },
    };
    struct Case {
        Call call;
        PlovStatus status;
        std::vector<std::string> lines;
    };
    std::vector<Case> cases = {
        {[] { return DornLogicGetCpuUsg(0, nullptr); }, -1201, none},  // silently, after the open
        {[] { return KespGetDrvInfo(nullptr); }, -1201, none},
        {[] { return DornGetFd(2); }, -1330, {"[Trans-ERR]Invalid FpgaID [2]\n"}},
        {[&] { return DornLogicReadDirReg(255, &r.dir); }, -1330, {"[Trans-ERR]Invalid FpgaID [255]\n"}},
        {[&] { return KespGetDrvVer(2, r.ver); }, -1330, {"[Trans-ERR]Invalid FpgaID [2]\n"}},
        {[&] { return KespGetDrvVer(255, r.ver); }, -1330, {"[Trans-ERR]Invalid FpgaID [255]\n"}},
        {[] { return KespLogicSetHrtimerAffinity(12); }, -1205, {"[Trans-ERR]cpu id error [12]\n"}},
        {[] { return KespLogicSetHrtimerAffinity(255); }, -1205, {"[Trans-ERR]cpu id error [255]\n"}},
        {[] { return DornGetRegs(0, nullptr); }, -1203, efault},
        {[] { return DornGetDrvInfo(1, nullptr); }, -1203, efault},
        // The FPGA id of load-at-reboot travels in the record alone.
        {[&] { return DornGetLoadAtReboot(5, &r.flag); }, -1203,
         {"[Trans-ERR]ioctl error, errno = 22(Invalid argument)\n"}},
    };
    for (const Call &call : nullRecord)
        cases.push_back({call, -1201, {"[Trans-ERR]NULL Pointer Detected!\n"}});
    for (size_t i = 0; i < cases.size(); i++) {
        SCOPED_TRACE(i);
        reset();
        EXPECT_EQ(cases[i].call(), cases[i].status);
        EXPECT_EQ(plov_lines(), cases[i].lines);
        EXPECT_EQ(sim_journal().size(), cases[i].status == -1203 ? 1u : 0u);
    }
}

// What the driver answers lands in the caller's memory, and only when the
// request succeeded.
TEST_F(DeviceLayerTest, AnswersReachTheCaller)
{
    fpga_set_reg(kTrans, 0x1500, 0xABCD1234);
    DirRegReq dir{0x1500, 0};
    ASSERT_EQ(DornLogicReadDirReg(0, &dir), 0);
    EXPECT_EQ(dir.data, 0xABCD1234u);

    uint64_t flag = 0;
    ASSERT_EQ(DornSetLoadAtReboot(0, 2), 0);
    ASSERT_EQ(DornGetLoadAtReboot(0, &flag), 0);
    EXPECT_EQ(flag, 2u);
    ASSERT_EQ(KespSetLoadAtReboot(1), 0);
    ASSERT_EQ(KespGetLoadAtReboot(&flag), 0);
    EXPECT_EQ(flag, 1u);

    QueueId queue{QUEUE_TYPE_TX_GROUP, 0x10007};
    uint32_t value = 0;
    ASSERT_EQ(DornSetQueueSwitch(0, &queue, 0x1234), 0);
    ASSERT_EQ(DornGetQueueSwitch(0, &queue, &value), 0);
    EXPECT_EQ(value, 0x1234u);
    ASSERT_EQ(DornGetQueueSwitch(1, &queue, &value), 0);  // the other FPGA's switch
    EXPECT_EQ(value, 0u);

    uint8_t cpu = 0;
    fpga_set_record(kSbuf, FpgaRecord::HrtimerAffinity, 0, {7});
    ASSERT_EQ(DornGetHrtimerAffinity(1, &cpu), 0);
    EXPECT_EQ(cpu, 7);
    ASSERT_EQ(KespLogicSetHrtimerAffinity(11), 0);
    ASSERT_EQ(KespLogicGetHrtimerAffinity(&cpu), 0);
    EXPECT_EQ(cpu, 11);

    PortStaticMacReq mac{3, {}, {}, {}};
    ASSERT_EQ(wrap(IoctlGetPortStaticMac, &mac), 0);
    EXPECT_EQ(Bytes(mac.mac, mac.mac + 6), (Bytes{0x00, 0x1A, 0x2B, 0x00, 0x00, 0x03}));
    uint8_t buf[4] = {};
    SfpRegReq sfp{1, 0, 4, 0xA0, buf};
    ASSERT_EQ(KespGetSfpReg(&sfp), 0);
    EXPECT_EQ(buf[3], 0x11);

    sim_fail_request(kSbuf, PLOV_IOC_GET_HRTIMER_AFFINITY, EIO);
    cpu = 0x55;
    EXPECT_EQ(DornGetHrtimerAffinity(1, &cpu), -1203);
    EXPECT_EQ(cpu, 0x55);
    sim_request_result(kTrans, PLOV_IOC_GET_QUEUE_SWITCH, 3);
    value = 99;
    EXPECT_EQ(DornGetQueueSwitch(0, &queue, &value), -1203);
    EXPECT_EQ(value, 99u);
    sim_clear_faults();
}

} // namespace

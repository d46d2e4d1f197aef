#include "boardlib/kesp_logic.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "boardlib/plov_types.h"
#include "sim/fpga_model.h"
#include "sim/sim_host.h"
#include "tests/support/sim_fixture.h"

namespace {

constexpr const char *kTrans = "/dev/trans_pci";

class KespLogicTest : public SimTest {
protected:
    std::string board() const override { return "ZK17KESP"; }

    void SetUp() override
    {
        SimTest::SetUp();
        fpga_set_sfp_bytes(kTrans, 1, 0xA0, 0, std::vector<uint8_t>(16, 0x11));
    }

    bool logged(const std::string &text) const
    {
        for (const SimLogLine &l : sim_syslog())
            if (l.text.find(text) != std::string::npos)
                return l.priority == 4 && l.text.find("[PLOV_LOG] boardlib/kesp_logic.cpp:") == 0 &&
                       l.text.find("[Trans-ERR]") != std::string::npos;
        return false;
    }
};

// Buffers the calls below use.
struct Records {
    DirRegReq dir{0x1500, 0x55};
    uint64_t words[4] = {7, 0xA, 0xB, 0};
    IndirRegReq indir{};
    ShareMemEntry shmem[16] = {};
    MemCfg memcfg{};
    QueueAddrRec queue{};
    SwBufBaseRec swbuf{};
    MemDesc descs[MEM_DESC_COUNT] = {};
    uint8_t sfpBuf[16] = {};
    SfpRegReq sfp{1, 0, 4, 0xA0, sfpBuf};
    uint8_t cpu = 0;
    DrvInfo info{};
    uint64_t period = 0;
    PciPortEpReq ep{{1, 2, 3, 4}};
    char ver[PLOV_DRV_VER_LEN] = {};
    uint64_t flag = 0;

    Records()
    {
        indir.baseaddr = 0x5800;
        indir.cmd = 1;
        indir.wlen = 1;
        indir.rlen = 1;
        indir.data = words;
    }
};

enum class Judge { Negative, NonZero, Raw };

struct LayerCase {
    const char *name;
    unsigned long request;
    std::function<PlovStatus(Records &)> call;
    Judge judge;
};

const std::vector<LayerCase> &layer_cases()
{
    static const std::vector<LayerCase> cases = {
        {"write dir", 0xC004EF00, [](Records &r) { return KespLogicWriteDirReg(&r.dir); }, Judge::Negative},
        {"read dir", 0xC004EF01, [](Records &r) { return KespLogicReadDirReg(&r.dir); }, Judge::Negative},
        {"write indir", 0xC004EF02, [](Records &r) { return KespLogicWriteIndirReg(&r.indir); }, Judge::Negative},
        {"read indir", 0xC004EF03, [](Records &r) { return KespLogicReadIndirReg(&r.indir); }, Judge::Negative},
        {"clear indir", 0xC004EF1E, [](Records &r) { return KespLogicClearIndirReg(&r.indir); }, Judge::Negative},
        {"set shmem", 0xC004EF04, [](Records &r) { return KespLogicSetShmem(r.shmem); }, Judge::Negative},
        {"get shmem", 0xC004EF05, [](Records &r) { return KespLogicGetShmem(r.shmem); }, Judge::Negative},
        {"set memdep", 0xC004EF06, [](Records &r) { return KespLogicSetMemDep(&r.memcfg); }, Judge::Negative},
        {"get memdep", 0xC004EF07, [](Records &r) { return KespLogicGetMemDep(&r.memcfg); }, Judge::Negative},
        {"usr start", 0xC004EF08, [](Records &) { return KespLogicUsrStart(3); }, Judge::Negative},
        {"queue addr", 0xC004EF09, [](Records &r) { return KespLogicGetQueueAddr(&r.queue); }, Judge::Negative},
        {"swbuf base", 0xC004EF0B, [](Records &r) { return KespLogicGetSwbufBase(&r.swbuf); }, Judge::Negative},
        {"drv ver", 0xC004EF0C, [](Records &r) { return KespGetDrvVer(1, r.ver); }, Judge::Raw},
        {"set load", 0xC004EF0F, [](Records &) { return KespSetLoadAtReboot(1); }, Judge::NonZero},
        {"get load", 0xC004EF10, [](Records &r) { return KespGetLoadAtReboot(&r.flag); }, Judge::NonZero},
        {"mem desc", 0xC004EF11, [](Records &r) { return KespGetMemDesc(r.descs); }, Judge::Negative},
        {"set sfp", 0xC004EF15, [](Records &r) { return KespSetSfpReg(&r.sfp); }, Judge::Negative},
        {"get sfp", 0xC004EF18, [](Records &r) { return KespGetSfpReg(&r.sfp); }, Judge::Negative},
        {"set affinity", 0xC004EF19, [](Records &) { return KespLogicSetHrtimerAffinity(11); }, Judge::Negative},
        {"drv info", 0xC004EF1B, [](Records &r) { return KespGetDrvInfo(&r.info); }, Judge::Negative},
        {"get affinity", 0xC004EF1D, [](Records &r) { return KespLogicGetHrtimerAffinity(&r.cpu); }, Judge::Negative},
        {"set hrtimer", 0xC004EF22, [](Records &) { return KespSetHrtimer(1500999); }, Judge::Negative},
        {"get hrtimer", 0xC004EF23, [](Records &r) { return KespGetHrtimer(&r.period); }, Judge::Negative},
        {"rm pci ep", 0xC008EF1F,
         [](Records &r) {
             fpga_set_record_as(kTrans, FpgaRecord::PciPortEp, fpga_pci_ep_key(r.ep.ulParam), r.ep);
             return KespRmPciPortEp(&r.ep);
         },
         Judge::Negative},
        {"add pci ep", 0xC008EF20, [](Records &r) { return KespAddPciPortEp(&r.ep); }, Judge::Negative},
    };
    return cases;
}

TEST_F(KespLogicTest, EveryRequestGoesToTheTransNodeOnce)
{
    for (const LayerCase &c : layer_cases()) {
        SCOPED_TRACE(c.name);
        Records r;
        sim_clear_journal();
        EXPECT_EQ(c.call(r), 0);
        ASSERT_EQ(sim_journal().size(), 1u);
        EXPECT_EQ(sim_journal()[0].node, kTrans);
        EXPECT_EQ(sim_journal()[0].request, c.request);
        EXPECT_EQ(sim_open_count(), 0);
    }
}

template <typename T>
std::vector<uint8_t> bytes_of(const T &v)
{
    const auto *p = reinterpret_cast<const uint8_t *>(&v);
    return std::vector<uint8_t>(p, p + sizeof v);
}

// The bytes the driver is handed: values travel in a local of their own
// width, load-at-reboot always names FPGA 0, records go as they are.
TEST_F(KespLogicTest, RecordBytesHandedToTheDriver)
{
    Records r;
    struct Case {
        const char *name;
        std::function<PlovStatus()> call;
        std::vector<uint8_t> record;
    } cases[] = {
        {"write dir", [&] { return KespLogicWriteDirReg(&r.dir); }, bytes_of(DirRegReq{0x1500, 0x55})},
        {"usr start", [] { return KespLogicUsrStart(3); }, {3}},
        {"set affinity", [] { return KespLogicSetHrtimerAffinity(11); }, {11}},
        {"set hrtimer", [] { return KespSetHrtimer(1500999); }, bytes_of(uint64_t{1500999})},
        {"set load", [] { return KespSetLoadAtReboot(1); }, bytes_of(LoadAtRebootReq{0, 1})},
        {"get load", [&] { return KespGetLoadAtReboot(&r.flag); },
         bytes_of(LoadAtRebootReq{0, reinterpret_cast<uintptr_t>(&r.flag)})},
        {"add pci ep", [&] { return KespAddPciPortEp(&r.ep); }, bytes_of(r.ep)},
        {"get sfp", [&] { return KespGetSfpReg(&r.sfp); }, bytes_of(r.sfp)},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        sim_clear_journal();
        ASSERT_EQ(c.call(), 0);
        ASSERT_EQ(sim_journal().size(), 1u);
        EXPECT_EQ(sim_journal()[0].record, c.record);
    }
    // What the driver returns lands in the caller's memory.
    EXPECT_EQ(r.flag, 1u);
    EXPECT_EQ(r.sfpBuf[0], 0x11);
    uint8_t cpu = 0;
    ASSERT_EQ(KespLogicGetHrtimerAffinity(&cpu), 0);
    EXPECT_EQ(cpu, 11);
}

TEST_F(KespLogicTest, FailuresOfEveryRequest)
{
    for (const LayerCase &c : layer_cases()) {
        SCOPED_TRACE(c.name);
        Records r;
        sim_clear_faults();
        sim_clear_syslog();
        sim_fail_request(kTrans, c.request, EIO);
        PlovStatus failed = c.call(r);
        switch (c.judge) {
        case Judge::Negative:
            EXPECT_EQ(failed, -1203);
            EXPECT_TRUE(logged("Ioctl failed! errno=5(Input/output error)"));
            break;
        case Judge::NonZero:
            EXPECT_EQ(failed, -1203);
            EXPECT_TRUE(logged("ioctl error, errno = 5(Input/output error)\n"));
            break;
        case Judge::Raw:
            EXPECT_EQ(failed, -1);
            EXPECT_TRUE(logged("ioctl failed, errno[5]!\n"));
            break;
        }

        // A positive result: failure only where any non-zero result is.
        sim_clear_faults();
        sim_request_result(kTrans, c.request, 5);
        EXPECT_EQ(c.call(r), c.judge == Judge::NonZero ? -1203 : 5);

        sim_clear_faults();
        sim_clear_syslog();
        sim_fail_open(kTrans, ENOENT);
        EXPECT_EQ(c.call(r), -1216);
        EXPECT_TRUE(logged("Open device: /dev/trans_pci failed! errno=2(No such file or directory)"));
        EXPECT_EQ(sim_open_count(), 0);
    }
    sim_clear_faults();
}

TEST_F(KespLogicTest, ArgumentsRefusedBeforeTheNodeOpens)
{
    Records r;
    SfpRegReq noBuf{1, 0, 4, 0xA0, nullptr};
    struct Case {
        const char *name;
        std::function<PlovStatus()> call;
        PlovStatus expect;
        const char *line;  // nullptr: no log line
    } cases[] = {
        {"write dir", [] { return KespLogicWriteDirReg(nullptr); }, -1201, "NULL Pointer Detected!\n"},
        {"read dir", [] { return KespLogicReadDirReg(nullptr); }, -1201, "NULL Pointer Detected!\n"},
        {"write indir", [] { return KespLogicWriteIndirReg(nullptr); }, -1201, "NULL Pointer Detected!\n"},
        {"read indir", [] { return KespLogicReadIndirReg(nullptr); }, -1201, "NULL Pointer Detected!\n"},
        {"clear indir", [] { return KespLogicClearIndirReg(nullptr); }, -1201, "NULL Pointer Detected!\n"},
        {"set shmem", [] { return KespLogicSetShmem(nullptr); }, -1201, "NULL Pointer Detected!\n"},
        {"get shmem", [] { return KespLogicGetShmem(nullptr); }, -1201, "NULL Pointer Detected!\n"},
        {"set memdep", [] { return KespLogicSetMemDep(nullptr); }, -1201, "NULL Pointer Detected!\n"},
        {"get memdep", [] { return KespLogicGetMemDep(nullptr); }, -1201, "NULL Pointer Detected!\n"},
        {"queue addr", [] { return KespLogicGetQueueAddr(nullptr); }, -1201, "NULL Pointer Detected!\n"},
        {"swbuf", [] { return KespLogicGetSwbufBase(nullptr); }, -1201, "NULL Pointer Detected!\n"},
        {"mem desc", [] { return KespGetMemDesc(nullptr); }, -1201, "NULL Pointer Detected!\n"},
        {"set sfp", [] { return KespSetSfpReg(nullptr); }, -1201, "NULL Pointer Detected!\n"},
        {"get sfp no buffer", [&] { return KespGetSfpReg(&noBuf); }, -1201, "NULL Pointer Detected!\n"},
        {"set sfp no buffer", [&] { return KespSetSfpReg(&noBuf); }, -1201, "NULL Pointer Detected!\n"},
        {"get affinity", [] { return KespLogicGetHrtimerAffinity(nullptr); }, -1201, "NULL Pointer Detected!\n"},
        {"get hrtimer", [] { return KespGetHrtimer(nullptr); }, -1201, "NULL Pointer Detected!\n"},
        {"rm ep", [] { return KespRmPciPortEp(nullptr); }, -1201, "NULL Pointer Detected!\n"},
        {"add ep", [] { return KespAddPciPortEp(nullptr); }, -1201, "NULL Pointer Detected!\n"},
        {"get load", [] { return KespGetLoadAtReboot(nullptr); }, -1201, "NULL Pointer Detected!\n"},
        {"drv info", [] { return KespGetDrvInfo(nullptr); }, -1201, nullptr},
        {"drv ver null", [] { return KespGetDrvVer(0, nullptr); }, -1201, "NULL Pointer Detected!\n"},
        {"drv ver fpga 2", [&] { return KespGetDrvVer(2, r.ver); }, -1330, "Invalid FpgaID [2]\n"},
        {"drv ver fpga 255", [&] { return KespGetDrvVer(255, r.ver); }, -1330, "Invalid FpgaID [255]\n"},
        {"affinity cpu 12", [] { return KespLogicSetHrtimerAffinity(12); }, -1205, "cpu id error [12]\n"},
        {"affinity cpu 255", [] { return KespLogicSetHrtimerAffinity(255); }, -1205, "cpu id error [255]\n"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        sim_clear_syslog();
        EXPECT_EQ(c.call(), c.expect);
        if (c.line != nullptr)
            EXPECT_TRUE(logged(c.line));
        else
            EXPECT_TRUE(sim_syslog().empty());
    }
    EXPECT_TRUE(sim_journal().empty());
}

} // namespace

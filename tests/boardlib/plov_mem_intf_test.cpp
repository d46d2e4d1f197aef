// Memory side on both boards: the map from the kernel command line and its
// "/dev/mem" mappings, the memory configuration, queue addresses, buffer
// zones and pool bases with their translated addresses, and one failure
// per request.
#include <cerrno>
#include <cstdio>
#include <functional>

#include "bases/host/host.h"
#include "boardlib/dorn_mem.h"
#include "boardlib/plov_cmdline.h"
#include "boardlib/plov_mem_intf.h"
#include "sim/fpga_model.h"
#include "support/fpga_test_util.h"
#include "support/plov_test.h"

namespace {

const std::string kTrans = kFpgaTransNode;
const std::string kSbuf = kFpgaSbufNode;
constexpr uint64_t kRegion = 0x40000000;   // the shared region of kOneRegion
const std::string kOneRegion = "quiet memmap=0x1000$0x1000 memmap=0x100000$0x40000000\n";

// Forget the map and its mappings, as a new process would start.
void forget_map()
{
    std::memset(static_cast<void *>(g_PlovShareMem), 0, sizeof g_PlovShareMem);
    for (const SimMapping &m : sim_mappings())
        host().munmap(m.addr, m.length);
}

class PlovMemTest : public PlovTest {
protected:
    void SetUp() override
    {
        PlovTest::SetUp();
        sim_write_file(DORN_NODE_ONLINE, "0\n");
        sim_write_file(PLOV_CMDLINE_PATH, kOneRegion);
    }
    void TearDown() override
    {
        forget_map();
        PlovTest::TearDown();
    }
};

class PlovMemKespTest : public PlovMemTest {
protected:
    std::string board() const override { return "ZK17KESP"; }
};

// The error lines (level 4) without their head; other levels are skipped.
std::vector<std::string> err_lines()
{
    std::vector<std::string> out;
    for (const SimLogLine &l : sim_syslog())
        if (l.priority == 4)
            out.push_back(l.text.substr(l.text.find(' ', 11) + 1));
    return out;
}

struct Region {
    uint64_t size, phys;
    uint8_t node;
};

struct MapCase {
    bool kesp;
    std::string cmdline, online;
    PlovStatus status;
    std::vector<Region> regions;
};

void check_map(const MapCase &c)
{
    sim_write_file(PLOV_CMDLINE_PATH, c.cmdline);
    sim_write_file(DORN_NODE_ONLINE, c.online);
    uint8_t map[PLOV_SHARE_MEM_SIZE];
    std::fill(std::begin(map), std::end(map), 0xEE);
    ASSERT_EQ(PlovTransGetMemMap(map), c.status);
    std::vector<SimMapping> maps = sim_mappings();
    ASSERT_EQ(maps.size(), c.regions.size());
    for (size_t i = 0; i < PLOV_SHARE_MEM_ENTRIES; i++) {
        const ShareMemEntry &e = g_PlovShareMem[i];
        if (i >= c.regions.size()) {
            EXPECT_EQ(e.Flag, 0);
            EXPECT_EQ(e.PhyAddr, 0u);
            continue;
        }
        EXPECT_EQ(e.Size, c.regions[i].size);
        EXPECT_EQ(e.PhyAddr, c.regions[i].phys);
        EXPECT_EQ(e.NumaNode, c.regions[i].node);
        EXPECT_EQ(e.Flag, 1);
        EXPECT_EQ(maps[i].node, DORN_MEM_NODE);
        EXPECT_EQ(static_cast<uint64_t>(maps[i].offset), c.regions[i].phys);
        EXPECT_EQ(e.VirAddr, reinterpret_cast<uintptr_t>(maps[i].addr));
    }
    if (c.status == 0) {
        EXPECT_EQ(std::memcmp(map, g_PlovShareMem, sizeof map), 0);
    }
}

TEST_F(PlovMemTest, MapFromTheCommandLine)
{
    const std::string two = "memmap=0x10000$0x80000000 memmap=0x2000$0x100000000\n";
    const std::string three = "memmap=0x1000$0x1000 memmap=0x2000$0x2000 memmap=0x3000$0x3000\n";
    const std::string four = three.substr(0, three.size() - 1) + " memmap=0x4000$0x4000\n";
    const MapCase cases[] = {
        {false, two, "0\n", 0, {{0x2000, 0x100000000, 0}}},
        {false, three, "0\n", 0, {{0x2000, 0x2000, 0}}},
        {false, four, "0-1\n", 0, {{0x3000, 0x3000, 0}, {0x4000, 0x4000, 1}}},
        {false, four, "0\n", -1205, {}},
        {false, "quiet\n", "0\n", -1201, {}},                  // no word to skip
        {false, "memmap=0x1000$0x1000\n", "0\n", -1347, {}},   // the shared region's word is missing
        {false, "memmap=0x1000$0x1000 memmap=zz$0x2000\n", "0\n", -1347, {}},
        {false, "memmap=0x1000$0x1000 memmap=0x2000\n", "0\n", -1347, {}},
    };
    for (const MapCase &c : cases) {
        SCOPED_TRACE(c.cmdline);
        check_map(c);
        forget_map();
    }
}

TEST_F(PlovMemKespTest, MapFromTheSecondWord)
{
    const MapCase cases[] = {
        {true, "memmap=0x10000$0x80000000 memmap=0x2000$0x100000000\n", "", 0, {{0x2000, 0x100000000, 0}}},
        {true, "memmap=0x10000$0x80000000\n", "", 0, {}},
        {true, "memmap=0x10000$0x80000000 memmap=1\n", "", -1347, {}},
    };
    for (const MapCase &c : cases) {
        SCOPED_TRACE(c.cmdline);
        check_map(c);
        forget_map();
    }
}

// A region no mapping can cover (its end past the top of the address space,
// or pages beyond what a mapping's length and offset hold) fails as a failed
// mapping would, on either board: no mapping tried, /dev/mem closed.
void check_unmappable_regions()
{
    const char *const words[] = {
        "memmap=0xffffffffffffffff$0x40000fff",   // the rounded length wraps to one page
        "memmap=0xfffffffffffff001$0x40000800",   // wraps to two pages
        "memmap=0x2000$0xfffffffffffff800",       // the end wraps past zero
        "memmap=0x7fffffffc0000000$0x40001000",   // the last page's offset is past a file offset
        "memmap=0x1000$0x8000000000000000",       // the start is past a file offset
    };
    for (const char *word : words) {
        SCOPED_TRACE(word);
        sim_write_file(PLOV_CMDLINE_PATH, std::string("memmap=0x1000$0x1000 ") + word + "\n");
        sim_clear_syslog();
        sim_clear_journal();
        uint8_t map[PLOV_SHARE_MEM_SIZE] = {};
        EXPECT_EQ(PlovTransGetMemMap(map), -1347);
        EXPECT_EQ(err_lines(), std::vector<std::string>{"[Trans-ERR]Fail to mmap /dev/mem \n"});
        for (const SimJournalEntry &e : sim_journal())
            EXPECT_NE(e.kind, SimEvent::map);
        EXPECT_EQ(sim_open_count(), 0);
        EXPECT_EQ(g_PlovShareMem[0].Flag, 0);
        forget_map();
    }
}

TEST_F(PlovMemTest, UnmappableRegionFailsTheMap) { check_unmappable_regions(); }
TEST_F(PlovMemKespTest, UnmappableRegionFailsTheMap) { check_unmappable_regions(); }

// A word that does not scan names itself in the line; nothing is mapped.
TEST_F(PlovMemTest, UnreadableWordIsLogged)
{
    sim_write_file(PLOV_CMDLINE_PATH, "memmap=0x1000$0x1000 memmap=0x2000$zz quiet\n");
    uint8_t map[PLOV_SHARE_MEM_SIZE] = {};
    EXPECT_EQ(PlovTransGetMemMap(map), -1347);
    EXPECT_EQ(err_lines(), std::vector<std::string>{"[PLOV_SFP_8472-ERR]memmap word memmap=0x2000$zz not understood\n"});
    EXPECT_TRUE(sim_mappings().empty());
}

// The map is built once: a second call reads the command line again but
// maps nothing and hands out the same bytes; the regions share /dev/mem.
TEST_F(PlovMemTest, MapBuiltOnceAndSharedWithDevMem)
{
    uint8_t first[PLOV_SHARE_MEM_SIZE] = {}, second[PLOV_SHARE_MEM_SIZE] = {};
    ASSERT_EQ(PlovTransGetMemMap(first), 0);
    ASSERT_EQ(sim_mappings().size(), 1u);
    sim_write_file(PLOV_CMDLINE_PATH, "quiet\n");
    ASSERT_EQ(PlovTransGetMemMap(second), 0);
    EXPECT_EQ(sim_mappings().size(), 1u);
    EXPECT_EQ(bytes_of(first), bytes_of(second));

    uint64_t virt = 0;
    ASSERT_EQ(PlovTransPhy2Vir(kRegion + 0x10, &virt), 0);
    *reinterpret_cast<volatile uint32_t *>(virt) = 0xC0FFEE11;
    uint32_t seen = 0;
    sim_phys_read(kRegion + 0x10, &seen, sizeof seen);
    EXPECT_EQ(seen, 0xC0FFEE11u);
    EXPECT_EQ(sim_open_count(), 0);
}

// The command line is read whole: words beyond the first 511 characters count.
TEST_F(PlovMemTest, LongCommandLine)
{
    sim_write_file(PLOV_CMDLINE_PATH, std::string(600, 'x') + " " + kOneRegion);
    uint8_t map[PLOV_SHARE_MEM_SIZE] = {};
    ASSERT_EQ(PlovTransGetMemMap(map), 0);
    EXPECT_EQ(g_PlovShareMem[0].PhyAddr, kRegion);
}

TEST_F(PlovMemTest, MapFailures)
{
    uint8_t map[PLOV_SHARE_MEM_SIZE] = {};
    EXPECT_EQ(PlovTransGetMemMap(nullptr), -1201);
    sim_fail_op(SimFaultOp::mmap, DORN_MEM_NODE, ENOMEM);
    EXPECT_EQ(PlovTransGetMemMap(map), -1347);
    sim_clear_faults();
    sim_fail_open(DORN_MEM_NODE, EACCES);
    EXPECT_EQ(PlovTransGetMemMap(map), -1216);
    sim_clear_faults();
    std::remove(sim_path(DORN_NODE_ONLINE).c_str());
    EXPECT_EQ(PlovTransGetMemMap(map), -1218);
    sim_write_file(DORN_NODE_ONLINE, "0\n");
    std::remove(sim_path(PLOV_CMDLINE_PATH).c_str());
    EXPECT_EQ(PlovTransGetMemMap(map), -1216);
    EXPECT_TRUE(sim_mappings().empty());
    EXPECT_EQ(g_PlovShareMem[0].Flag, 0);
}

// ---- memory configuration --------------------------------------------------------------------------

MemCfg sample_cfg()
{
    MemCfg cfg{};
    cfg.PkgLen = 2048;
    cfg.RxqDep[0] = 0x200;
    cfg.RxqDep[255] = 0x10000;
    return cfg;
}

TEST_F(PlovMemTest, SetMemCfgHandsTheMapOverOnce)
{
    const MemCfg cfg = sample_cfg();
    ASSERT_EQ(PlovTransSetMemCfg(1, &cfg), 0);
    EXPECT_EQ(fpga_get_record(kTrans, FpgaRecord::Shmem), bytes_of(g_PlovShareMem));
    EXPECT_EQ(g_PlovShareMem[0].PhyAddr, kRegion);
    EXPECT_EQ(fpga_get_record(kSbuf, FpgaRecord::MemDep), bytes_of(cfg));
    sim_clear_journal();
    ASSERT_EQ(PlovTransSetMemCfg(0, &cfg), 0);
    EXPECT_FALSE(requested(PLOV_IOC_SET_SHMEM));
    EXPECT_EQ(fpga_get_record(kTrans, FpgaRecord::MemDep), bytes_of(cfg));

    MemCfg back{};
    ASSERT_EQ(PlovTransGetMemCfg(1, &back), 0);
    EXPECT_EQ(bytes_of(back), bytes_of(cfg));
    EXPECT_EQ(PlovTransGetMemCfg(0, nullptr), -1201);
    sim_fail_request(kSbuf, PLOV_IOC_GET_MEM_DEP, EIO);
    EXPECT_EQ(PlovTransGetMemCfg(1, &back), -1203);
}

TEST_F(PlovMemTest, SetMemCfgRefusals)
{
    MemCfg cfg = sample_cfg();
    cfg.RxqDep[17] = 0x300;
    EXPECT_EQ(PlovTransSetMemCfg(0, &cfg), -1335);
    EXPECT_EQ(err_lines(), std::vector<std::string>{"[PLOV_SFP_8472-ERR]RxqDep[17] = 768 err\n"});
    EXPECT_TRUE(sim_journal().empty());
    EXPECT_TRUE(sim_mappings().empty());

    // A working FPGA keeps its configuration: -1348, no driver setting.
    cfg.RxqDep[17] = 0;
    fpga_set_reg(kTrans, 0x3004, 1);
    sim_clear_syslog();
    sim_clear_journal();
    EXPECT_EQ(PlovTransSetMemCfg(0, &cfg), PLOV_ERR_MEM_KEPT);
    EXPECT_EQ(err_lines(), std::vector<std::string>{
                               "[PLOV_SFP_8472-ERR]Fpga 0 is working now, it's not allowed to change memory config!\n"});
    EXPECT_FALSE(requested(PLOV_IOC_GET_SHMEM));
    EXPECT_FALSE(requested(PLOV_IOC_SET_SHMEM));
    EXPECT_FALSE(requested(PLOV_IOC_SET_MEM_DEP));
    EXPECT_TRUE(fpga_get_record(kTrans, FpgaRecord::MemDep).empty());
    EXPECT_EQ(PlovTransSetMemCfg(0, nullptr), -1201);
}

TEST_F(PlovMemTest, SetMemCfgFailures)
{
    const MemCfg cfg = sample_cfg();
    struct Case {
        std::function<void()> fault;
        PlovStatus status;
        const char *line;
    } cases[] = {
        {[] { sim_write_file(PLOV_CMDLINE_PATH, "memmap=0x1000$0x1000\n"); }, -1347, "Set PhyAddr to Fpga Failed!\n"},
        {[] { fpga_fail_address(kTrans, PLOV_IOC_READ_DIR_REG, 0x6024, EIO); }, -1203,
         "Call PlovTransGetEnableState fail, iRet[-1203]!\n"},
        {[] { sim_fail_request(kTrans, PLOV_IOC_GET_SHMEM, EIO); }, -1203, "Call DornLogicGetShmem failed!\n"},
        {[] { sim_fail_request(kTrans, PLOV_IOC_SET_SHMEM, EIO); }, -1203, "Call DornLogicSetShmem failed!\n"},
        {[] { sim_fail_request(kTrans, PLOV_IOC_SET_MEM_DEP, EIO); }, -1203, "Call DornLogicSetMemDep failed!\n"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.line);
        forget_map();
        sim_clear_faults();
        sim_write_file(PLOV_CMDLINE_PATH, kOneRegion);
        c.fault();
        sim_clear_syslog();
        EXPECT_EQ(PlovTransSetMemCfg(0, &cfg), c.status);
        std::vector<std::string> lines = err_lines();
        ASSERT_FALSE(lines.empty());
        EXPECT_EQ(lines.back(), std::string("[PLOV_SFP_8472-ERR]") + c.line);
    }
}

TEST_F(PlovMemKespTest, MemCfgOnKesp)
{
    const MemCfg cfg = sample_cfg();
    EXPECT_EQ(PlovTransSetMemCfg(1, &cfg), -1335);
    ASSERT_EQ(PlovTransSetMemCfg(0, &cfg), 0);
    EXPECT_EQ(fpga_get_record(kTrans, FpgaRecord::Shmem), bytes_of(g_PlovShareMem));
    MemCfg back{};
    ASSERT_EQ(PlovTransGetMemCfg(0, &back), 0);
    EXPECT_EQ(bytes_of(back), bytes_of(cfg));
    EXPECT_EQ(PlovTransGetMemCfg(1, &back), -1335);
    sim_fail_request(kTrans, PLOV_IOC_SET_MEM_DEP, EIO);
    EXPECT_EQ(PlovTransSetMemCfg(0, &cfg), -1203);
    sim_fail_request(kTrans, PLOV_IOC_GET_MEM_DEP, EIO);
    EXPECT_EQ(PlovTransGetMemCfg(0, &back), -1203);
}

// ---- queue addresses, zones, bases ------------------------------------------------------------------

QueueAddrRec ring(uint32_t type, uint32_t id, uint64_t base)
{
    QueueAddrRec rec{};
    rec.QueueType = type;
    rec.QueueId = id;
    rec.BaseAddrPhy = base;
    rec.BDdepth = 512;
    rec.WprtPhy = kRegion + 0x800;
    rec.RptrPhy = kRegion + 0x808;
    return rec;
}

uint64_t virt_of(uint64_t phys) { return phys - kRegion + g_PlovShareMem[0].VirAddr; }

TEST_F(PlovMemTest, QueueAddressesAreTranslated)
{
    fpga_set_record_as(kTrans, FpgaRecord::QueueAddr, uint64_t{1} << 32 | 8, ring(1, 8, kRegion + 0x1000));
    QueueId q{1, 8};
    QueueAddrRec out{};
    ASSERT_EQ(PlovTransGetQueueAddr(0, &q, reinterpret_cast<uint8_t *>(&out.BaseAddrVir)), 0);
    EXPECT_EQ(out.BaseAddrPhy, kRegion + 0x1000);
    EXPECT_EQ(out.BaseAddrVir, virt_of(kRegion + 0x1000));
    EXPECT_EQ(out.WprtVir, virt_of(kRegion + 0x800));
    EXPECT_EQ(out.RptrVir, virt_of(kRegion + 0x808));
    EXPECT_EQ(out.BDdepth, 512u);

    q.QueueId = 6;
    sim_clear_journal();
    EXPECT_EQ(PlovTransGetQueueAddr(0, &q, reinterpret_cast<uint8_t *>(&out.BaseAddrVir)), -1332);
    EXPECT_TRUE(sim_journal().empty());
    EXPECT_EQ(PlovTransGetQueueAddr(0, nullptr, reinterpret_cast<uint8_t *>(&out.BaseAddrVir)), -1201);

    // A ring outside the map: the driver's values come back with no virtual address.
    fpga_set_record_as(kTrans, FpgaRecord::QueueAddr, 12, ring(0, 12, 0x10));
    q = QueueId{0, 12};
    out = QueueAddrRec{};
    sim_clear_syslog();
    EXPECT_EQ(PlovTransGetQueueAddr(0, &q, reinterpret_cast<uint8_t *>(&out.BaseAddrVir)), -1336);
    EXPECT_EQ(out.BaseAddrPhy, 0x10u);
    EXPECT_EQ(out.BaseAddrVir | out.WprtVir | out.RptrVir, 0u);
    EXPECT_EQ(err_lines(), std::vector<std::string>{"[PLOV_SFP_8472-ERR]Call PlovTransPhy2Vir failed, iRet[-1336]\n"});

    sim_fail_request(kTrans, PLOV_IOC_GET_QUEUE_ADDR, EIO);
    EXPECT_EQ(PlovTransGetQueueAddr(0, &q, reinterpret_cast<uint8_t *>(&out.BaseAddrVir)), -1203);
    sim_clear_faults();
    forget_map();
    std::remove(sim_path(PLOV_CMDLINE_PATH).c_str());
    EXPECT_EQ(PlovTransGetQueueAddr(0, &q, reinterpret_cast<uint8_t *>(&out.BaseAddrVir)), -1216);
}

TEST_F(PlovMemKespTest, KespQueueIds)
{
    struct Case {
        FpgaId fpga;
        QueueId q;
        PlovStatus status;
    } cases[] = {
        {0, {0, 0xFFFF}, 0}, {0, {0, 111}, 0},    {0, {0, 112}, -1335}, {0, {1, 55}, 0},
        {0, {1, 56}, -1335}, {0, {2, 14}, -1335}, {0, {3, 0}, -1335},   {1, {0, 0}, -1335},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.q.QueueId);
        const uint64_t key = uint64_t{c.q.QueueType} << 32 | c.q.QueueId;
        fpga_set_record_as(kTrans, FpgaRecord::QueueAddr, key, ring(c.q.QueueType, c.q.QueueId, kRegion));
        QueueAddrRec out{};
        sim_clear_journal();
        EXPECT_EQ(PlovTransGetQueueAddr(c.fpga, &c.q, reinterpret_cast<uint8_t *>(&out.BaseAddrVir)), c.status);
        EXPECT_EQ(requested(PLOV_IOC_GET_QUEUE_ADDR), c.status == 0);
    }
    sim_fail_request(kTrans, PLOV_IOC_GET_QUEUE_ADDR, EIO);
    QueueId q{0, 1};
    QueueAddrRec out{};
    EXPECT_EQ(PlovTransGetQueueAddr(0, &q, reinterpret_cast<uint8_t *>(&out.BaseAddrVir)), -1203);
}

// Zones of the chosen CPU; the first failed translation decides the status.
TEST_F(PlovMemTest, BufferZones)
{
    MemDesc descs[MEM_DESC_COUNT] = {};
    descs[0] = {0x10, 0, 0x100, 1, 0, MEM_ZONE_HW_BUF};           // outside the map
    descs[1] = {kRegion + 0x2000, 0, 0x100, 1, 0, MEM_ZONE_SW_BUF};
    descs[2] = {kRegion + 0x3000, 0, 0x100, 1, 0, MEM_ZONE_ADDRM};
    descs[3] = {kRegion + 0x4000, 0, 0x100, 0, 0, MEM_ZONE_HW_BUF};   // CPU 0
    descs[4] = {kRegion + 0x5000, 0, 0x100, 1, 0, 7};                  // no such zone
    fpga_set_record_as(kTrans, FpgaRecord::MemDesc, 0, descs);
    MemRange range{};
    range.Cpu = 1;
    EXPECT_EQ(PLOV_TransGetMemRang(0, &range), -1336);
    EXPECT_EQ(range.HwBuf.PhyAddr, 0x10u);
    EXPECT_EQ(range.HwBuf.VirAddr, 0u);
    EXPECT_EQ(range.SwBuf.VirAddr, virt_of(kRegion + 0x2000));
    EXPECT_EQ(range.Addrm.VirAddr, virt_of(kRegion + 0x3000));

    range = MemRange{};
    ASSERT_EQ(PLOV_TransGetMemRang(0, &range), 0);
    EXPECT_EQ(range.HwBuf.VirAddr, virt_of(kRegion + 0x4000));
    EXPECT_EQ(range.SwBuf.PhyAddr, 0u);

    range = MemRange{};
    range.Cpu = 5;
    ASSERT_EQ(PLOV_TransGetMemRang(0, &range), 0);
    EXPECT_EQ(bytes_of(range.HwBuf), bytes_of(MemDesc{}));
    EXPECT_EQ(PLOV_TransGetMemRang(0, nullptr), -1201);
    sim_fail_request(kTrans, PLOV_IOC_GET_MEM_DESC, EIO);
    EXPECT_EQ(PLOV_TransGetMemRang(0, &range), -1203);
}

// Pool numbers reach the driver and the registers with bits 0 and 2 exchanged.
TEST_F(PlovMemTest, PoolBitExchange)
{
    struct Case {
        uint32_t pool, driver;
    } cases[] = {{0, 0}, {1, 4}, {2, 2}, {3, 6}, {4, 1}, {6, 3}, {7, 7}, {9, 4}};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.pool);
        fpga_set_reg(kSbuf, 0x10 + c.driver, kRegion + 0x100 * c.driver);
        PoolBaseRec pool{};
        pool.PoolNum = c.pool;
        ASSERT_EQ(PlovTransGetPoolBase(1, &pool), 0);
        EXPECT_EQ(pool.PhyAddr, kRegion + 0x100 * c.driver);
        EXPECT_EQ(pool.VirAddr, virt_of(pool.PhyAddr));

        SwBufBaseRec sw{};
        sw.PhyAddr = kRegion + 0x40 * c.driver;
        sw.PoolType = c.driver;
        fpga_set_record_as(kTrans, FpgaRecord::SwBufBase, c.driver, sw);
        SwBufBaseRec got{};
        got.PoolType = c.pool;
        ASSERT_EQ(PlovTransGetSwbufBase(0, &got), 0);
        EXPECT_EQ(got.PhyAddr, sw.PhyAddr);
        EXPECT_EQ(got.VirAddr, virt_of(sw.PhyAddr));
        EXPECT_EQ(got.PoolType, c.pool & 7);
    }
    fpga_set_reg(kSbuf, 0x10, 0x20);
    PoolBaseRec pool{};
    EXPECT_EQ(PlovTransGetPoolBase(1, &pool), -1336);
    EXPECT_EQ(pool.VirAddr, 0u);
    EXPECT_EQ(PlovTransGetPoolBase(2, &pool), -1330);
    EXPECT_EQ(PlovTransGetPoolBase(0, nullptr), -1201);
    fpga_fail_address(kSbuf, PLOV_IOC_READ_DIR_REG, 0x10, EIO);
    EXPECT_EQ(PlovTransGetPoolBase(1, &pool), -1203);
    SwBufBaseRec sw{};
    sim_fail_request(kTrans, PLOV_IOC_GET_SWBUF_BASE, EIO);
    EXPECT_EQ(PlovTransGetSwbufBase(0, &sw), -1203);
    EXPECT_EQ(PlovTransGetSwbufBase(0, nullptr), -1201);
}

TEST_F(PlovMemKespTest, KespBasesAndZones)
{
    SwBufBaseRec sw{};
    sw.PhyAddr = kRegion + 0x40;
    fpga_set_record_as(kTrans, FpgaRecord::SwBufBase, 1, sw);
    SwBufBaseRec got{};
    got.PoolType = 1;
    ASSERT_EQ(PlovTransGetSwbufBase(0, &got), 0);
    EXPECT_EQ(got.PoolType, 4u);   // handed back exchanged
    EXPECT_EQ(got.VirAddr, virt_of(kRegion + 0x40));
    EXPECT_EQ(PlovTransGetSwbufBase(1, &got), -1335);

    PoolBaseRec pool{};
    EXPECT_EQ(PlovTransGetPoolBase(1, &pool), -1335);
    MemRange range{};
    EXPECT_EQ(PLOV_TransGetMemRang(1, &range), -1335);
    MemDesc descs[MEM_DESC_COUNT] = {};
    descs[0] = {kRegion + 0x2000, 0, 0x100, 0, 0, MEM_ZONE_SW_BUF};
    fpga_set_record_as(kTrans, FpgaRecord::MemDesc, 0, descs);
    ASSERT_EQ(PLOV_TransGetMemRang(0, &range), 0);
    EXPECT_EQ(range.SwBuf.VirAddr, virt_of(kRegion + 0x2000));
    sim_fail_request(kTrans, PLOV_IOC_GET_MEM_DESC, EIO);
    EXPECT_EQ(PLOV_TransGetMemRang(0, &range), -1203);
    sim_fail_request(kTrans, PLOV_IOC_GET_SWBUF_BASE, EIO);
    EXPECT_EQ(PlovTransGetSwbufBase(0, &got), -1203);
}

} // namespace

// Board-independent memory configuration and shared memory on either board.
#include "boardlib/plov_mem_intf.h"

#include <algorithm>
#include <cstring>
#include <iterator>

#include "boardlib/dorn_logic.h"
#include "boardlib/dorn_mem.h"
#include "boardlib/dorn_reg.h"
#include "boardlib/dorn_version.h"
#include "boardlib/kesp_intf.h"
#include "boardlib/kesp_logic.h"
#include "boardlib/board_util.h"
#include "boardlib/plov_fpga_intf.h"
#include "kelvo/kelvo.h"

namespace {

constexpr const char *kMemmap = "memmap";
constexpr uint64_t kRxqDepths[] = {0, 0x200, 0x400, 0x800, 0x1000, 0x2000, 0x4000, 0x8000, 0x10000};
constexpr uint32_t kKespQueueMax[] = {111, 55, 13};   // receive, transmit, transmit group
constexpr uint32_t kQueueAll = 0xFFFF;
constexpr uint64_t kRegPoolBase = 0x10;

void memset_failed(KelvoErr err, const void *dest, size_t size)
{
    PLOV_LOG_ERR("memset_s failed %d, dest_str %p(%lu), cnt(%lu)\n", err, dest, static_cast<unsigned long>(size),
                 static_cast<unsigned long>(size));
}

void clear(void *dest, size_t size)
{
    KelvoErr err = memset_s(dest, size, 0, size);
    if (err != 0)
        memset_failed(err, dest, size);
}

void copy(void *dest, size_t destMax, const void *src, size_t count)
{
    KelvoErr err = memcpy_s(dest, destMax, src, count);
    if (err != 0)
        PLOV_LOG_ERR("memcpy_s failed %d, dest_str %p(%lu), src_str %p(%lu)\n", err, dest,
                     static_cast<unsigned long>(destMax), src, static_cast<unsigned long>(count));
}

// The next "memmap" word after `from` (the start of the line when null).
const char *next_word(const char *line, const char *from)
{
    return std::strstr(from == nullptr ? line : from + 1, kMemmap);
}

// One "memmap=<size>$<start>" word into the entry; a word that does not
// carry two hexadecimal numbers is refused, naming the word.
PlovStatus scan_word(const char *word, ShareMemEntry *entry)
{
    unsigned long long size = 0, start = 0;
    if (sscanf_s(word, "memmap=%llx$%llx", &size, &start) != 2) {
        const size_t len = std::strcspn(word, " \t\n");
        PLOV_LOG_ERR("memmap word %.*s not understood\n", static_cast<int>(len), word);
        return PLOV_ERR_MEMMAP;
    }
    entry->Size = size;
    entry->PhyAddr = start;
    return PLOV_OK;
}

PlovStatus map_entry(const char *word, size_t index, uint8_t node)
{
    ShareMemEntry &e = g_PlovShareMem[index];
    PlovStatus ret = scan_word(word, &e);
    if (ret != PLOV_OK)
        return ret;
    e.NumaNode = node;
    if ((ret = DornMemMap(&e)) != PLOV_OK)
        return ret;
    e.Flag = 1;
    return PLOV_OK;
}

// KESP: the second "memmap" word is the shared region; none, nothing mapped.
PlovStatus build_kesp(const char *line)
{
    const char *first = next_word(line, nullptr);
    const char *second = first == nullptr ? nullptr : next_word(line, first);
    return second == nullptr ? PLOV_OK : map_entry(second, 0, 0);
}

// DORN: n regions (one per NUMA node) follow the n regions the library skips.
PlovStatus build_dorn(const char *line)
{
    uint8_t cpus = 0, n = 0;
    if (DornGetCpuPresent(&cpus) != PLOV_OK)
        return PLOV_ERR_PARSE;
    if (DornGetMemUsgNum(&n) != PLOV_OK)
        return PLOV_ERR_MEMMAP_COUNT;
    if (n > cpus)
        return PLOV_ERR_BUF_SMALL;
    const char *word = nullptr;
    for (uint8_t i = 0; i < n; i++)
        if ((word = next_word(line, word)) == nullptr)
            return PLOV_ERR_NULL_PTR;
    for (uint8_t i = 0; i < n; i++) {
        if ((word = next_word(line, word)) == nullptr)
            return PLOV_ERR_MEMMAP;
        PlovStatus ret = map_entry(word, i, i);
        if (ret != PLOV_OK)
            return ret;
    }
    return PLOV_OK;
}

// The map-present test of the queries: build the map when entry 0 is empty.
PlovStatus need_map()
{
    if (g_PlovShareMem[0].PhyAddr != 0 && g_PlovShareMem[0].Size != 0)
        return PLOV_OK;
    uint8_t local[PLOV_SHARE_MEM_SIZE];
    clear(local, sizeof local);
    return PlovTransGetMemMap(local);
}

// Pool numbers: bits 0 and 2 exchanged, bit 1 kept, higher bits cleared.
uint32_t swap_pool_bits(uint32_t v) { return (v & 2u) | (v & 1u) << 2 | (v >> 2 & 1u); }

} // namespace

// ---- the map ------------------------------------------------------------------------------------------

PlovStatus PlovTransGetMemMap(uint8_t map[PLOV_SHARE_MEM_SIZE])
{
    if (map == nullptr)
        return PLOV_ERR_NULL_PTR;
    char line[BOARD_CMDLINE_MAX];
    clear(line, sizeof line);
    DornTransVersion();
    PlovStatus ret = BoardReadCmdline(line, sizeof line);
    if (ret == PLOV_ERR_OPEN || ret == PLOV_ERR_NULL_PTR)
        return ret;
    if (ret != PLOV_OK) {
        PLOV_LOG_ERR("read file %s failed\n", BOARD_CMDLINE_PATH);
        return PLOV_ERR_PARSE;
    }
    if (g_PlovShareMem[0].Flag == 0) {
        if ((ret = PlovCheckLogicType()) != PLOV_OK)
            return ret;
        ret = geBoardLogicType == PLOV_BOARD_KESP ? build_kesp(line) : build_dorn(line);
        if (ret != PLOV_OK)
            return ret;
    }
    copy(map, PLOV_SHARE_MEM_SIZE, g_PlovShareMem, PLOV_SHARE_MEM_SIZE);
    return PLOV_OK;
}

// ---- memory configuration ---------------------------------------------------------------------------------

PlovStatus PlovTransGetMemCfg(FpgaId fpga, MemCfg *cfg)
{
    if (cfg == nullptr)
        return PLOV_ERR_NULL_PTR;
    MemCfg local;
    clear(&local, sizeof local);
    bool kesp = false;
    PlovStatus ret = PlovProbeBranch(fpga, &kesp);
    if (ret == PLOV_OK)
        ret = kesp ? KespLogicGetMemDep(&local) : DornLogicGetMemDep(fpga, &local);
    if (ret != PLOV_OK)
        return ret;
    copy(cfg, sizeof *cfg, &local, sizeof local);
    return PLOV_OK;
}

namespace {

PlovStatus check_rxq_depths(const MemCfg &cfg)
{
    for (size_t i = 0; i < std::size(cfg.RxqDep); i++) {
        const uint64_t d = cfg.RxqDep[i];
        if (std::find(std::begin(kRxqDepths), std::end(kRxqDepths), d) == std::end(kRxqDepths)) {
            PLOV_LOG_ERR("RxqDep[%d] = %lld err\n", static_cast<int>(i), static_cast<long long>(d));
            return PLOV_ERR_KESP_ID;
        }
    }
    return PLOV_OK;
}

// DORN: the map goes to the driver only while it holds none; then the depths.
PlovStatus dorn_set_mem(FpgaId fpga, const MemCfg *cfg, ShareMemEntry *driverMap)
{
    PlovStatus ret = DornLogicGetShmem(driverMap);
    if (ret != PLOV_OK) {
        PLOV_LOG_ERR("Call DornLogicGetShmem failed!\n");
        return ret;
    }
    if (driverMap[0].PhyAddr == 0 && (ret = DornLogicSetShmem(g_PlovShareMem)) != PLOV_OK) {
        PLOV_LOG_ERR("Call DornLogicSetShmem failed!\n");
        return ret;
    }
    if ((ret = DornLogicSetMemDep(fpga, cfg)) != PLOV_OK)
        PLOV_LOG_ERR("Call DornLogicSetMemDep failed!\n");
    return ret;
}

} // namespace

PlovStatus PlovTransSetMemCfg(FpgaId fpga, const MemCfg *cfg)
{
    if (cfg == nullptr)
        return PlovNullPointer();
    ShareMemEntry local[PLOV_SHARE_MEM_ENTRIES];
    clear(local, sizeof local);
    PlovStatus ret = check_rxq_depths(*cfg);
    if (ret != PLOV_OK)
        return ret;
    if (g_PlovShareMem[0].Flag == 0 && (ret = PlovTransGetMemMap(reinterpret_cast<uint8_t *>(local))) != PLOV_OK) {
        PLOV_LOG_ERR("Set PhyAddr to Fpga Failed!\n");
        return ret;
    }
    uint8_t state = 0;
    if ((ret = PlovTransGetEnableState(fpga, &state)) != PLOV_OK) {
        PLOV_LOG_ERR("Call PlovTransGetEnableState fail, iRet[%d]!\n", ret);
        return ret;
    }
    if (state == 1) {
        PLOV_LOG_ERR("Fpga %d is working now, it's not allowed to change memory config!\n", fpga);
        return PLOV_ERR_MEM_KEPT;
    }
    bool kesp = false;
    if ((ret = PlovProbeBranch(fpga, &kesp)) != PLOV_OK)
        return ret;
    if (!kesp)
        return dorn_set_mem(fpga, cfg, local);
    ShareMemEntry scratch[PLOV_SHARE_MEM_ENTRIES];
    copy(scratch, sizeof scratch, local, sizeof local);
    return KespSetMemCfg(g_PlovShareMem, cfg, scratch);
}

// ---- queue addresses ---------------------------------------------------------------------------------------

namespace {

constexpr size_t kBlockOffset = offsetof(QueueAddrRec, BaseAddrVir);
static_assert(sizeof(QueueAddrRec) - kBlockOffset == PLOV_QUEUE_ADDR_BLOCK);

bool kesp_queue_ok(const QueueId &q)
{
    const uint32_t id = q.QueueId & 0xFFFF;
    return q.QueueType < std::size(kKespQueueMax) && (id == kQueueAll || id <= kKespQueueMax[q.QueueType]);
}

PlovStatus queue_request(FpgaId fpga, QueueAddrRec *rec)
{
    bool kesp = false;
    PlovStatus ret = PlovProbeBranch(fpga, &kesp);
    if (ret != PLOV_OK)
        return ret;
    if (kesp) {
        if (!kesp_queue_ok(QueueId{rec->QueueType, rec->QueueId}))
            return PLOV_ERR_QUEUE_ID;
        if ((ret = KespLogicGetQueueAddr(rec)) != PLOV_OK)
            PLOV_LOG_ERR("Call KespLogicGetQueueAddr failed, iRet[%d]\n", ret);
        return ret;
    }
    if (rec->QueueType == QUEUE_TYPE_TX && (rec->QueueId & 3u) != 0)
        return PLOV_ERR_QUEUE_SWITCH_ID;
    if ((ret = DornLogicGetQueueAddr(fpga, rec)) != PLOV_OK)
        PLOV_LOG_ERR("Call DornLogicGetQueueAddr failed!\n");
    return ret;
}

PlovStatus translate(uint64_t phys, uint64_t *virt)
{
    PlovStatus ret = PlovTransPhy2Vir(phys, virt);
    if (ret != PLOV_OK)
        PLOV_LOG_ERR("Call PlovTransPhy2Vir failed, iRet[%d]\n", ret);
    return ret;
}

} // namespace

PlovStatus PlovTransGetQueueAddr(FpgaId fpga, const QueueId *queue, uint8_t addr[PLOV_QUEUE_ADDR_BLOCK])
{
    if (queue == nullptr || addr == nullptr)
        return PlovNullPointer();
    QueueAddrRec rec;
    clear(&rec, sizeof rec);
    copy(&rec, sizeof rec, queue, sizeof *queue);
    copy(reinterpret_cast<uint8_t *>(&rec) + kBlockOffset, PLOV_QUEUE_ADDR_BLOCK, addr, PLOV_QUEUE_ADDR_BLOCK);
    PlovStatus ret = queue_request(fpga, &rec);
    if (ret != PLOV_OK)
        return ret;
    QueueAddrRec out = rec;
    out.BaseAddrVir = out.WprtVir = out.RptrVir = 0;
    copy(addr, PLOV_QUEUE_ADDR_BLOCK, reinterpret_cast<const uint8_t *>(&out) + kBlockOffset, PLOV_QUEUE_ADDR_BLOCK);
    if ((ret = need_map()) != PLOV_OK)
        return ret;
    if ((ret = translate(rec.BaseAddrPhy, &rec.BaseAddrVir)) != PLOV_OK ||
        (ret = translate(rec.RptrPhy, &rec.RptrVir)) != PLOV_OK ||
        (ret = translate(rec.WprtPhy, &rec.WprtVir)) != PLOV_OK)
        return ret;
    copy(addr, PLOV_QUEUE_ADDR_BLOCK, reinterpret_cast<const uint8_t *>(&rec) + kBlockOffset, PLOV_QUEUE_ADDR_BLOCK);
    return PLOV_OK;
}

// ---- buffer zones ----------------------------------------------------------------------------------------

PlovStatus PLOV_TransGetMemRang(FpgaId fpga, MemRange *range)
{
    if (range == nullptr)
        return PLOV_ERR_NULL_PTR;
    const uint64_t cpu = range->Cpu;
    MemDesc descs[MEM_DESC_COUNT];
    clear(descs, sizeof descs);
    bool kesp = false;
    PlovStatus ret = PlovProbeBranch(fpga, &kesp);
    if (ret == PLOV_OK)
        ret = kesp ? KespGetMemDesc(descs) : TransGetMemDesc(fpga, descs);
    if (ret != PLOV_OK || (ret = need_map()) != PLOV_OK)
        return ret;
    MemDesc *zones[] = {&range->HwBuf, &range->SwBuf, &range->Addrm};
    PlovStatus first = PLOV_OK;
    for (const MemDesc &d : descs) {
        if (d.PhyAddr == 0 || d.Cpu != cpu || d.ZoneKind >= std::size(zones))
            continue;
        MemDesc *zone = zones[d.ZoneKind];
        copy(zone, sizeof *zone, &d, sizeof d);
        ret = PlovTransPhy2Vir(zone->PhyAddr, &zone->VirAddr);
        if (first == PLOV_OK)
            first = ret;
    }
    return first;
}

// ---- software-buffer and pool bases ------------------------------------------------------------------------

PlovStatus PlovTransGetSwbufBase(FpgaId fpga, SwBufBaseRec *rec)
{
    if (rec == nullptr)
        return PlovNullPointer();
    SwBufBaseRec local;
    clear(&local, sizeof local);
    copy(&local, sizeof local, rec, sizeof *rec);
    bool kesp = false;
    PlovStatus ret = PlovProbeBranch(fpga, &kesp);
    if (ret != PLOV_OK)
        return ret;
    if (kesp) {
        ret = KespLogicGetSwbufBase(&local);
    } else {
        local.PoolType = swap_pool_bits(local.PoolType);
        ret = DornLogicGetSwbufBase(fpga, &local);
    }
    if (ret != PLOV_OK) {
        PLOV_LOG_ERR("Call GetSwbufBase failed, iRet[%d]\n", ret);
        return ret;
    }
    if ((ret = need_map()) != PLOV_OK)
        return ret;
    local.PoolType = swap_pool_bits(local.PoolType);
    ret = translate(local.PhyAddr, &local.VirAddr);
    copy(rec, sizeof *rec, &local, sizeof local);
    return ret;
}

PlovStatus PlovTransGetPoolBase(FpgaId fpga, PoolBaseRec *rec)
{
    if (fpga > 1)
        return PLOV_ERR_FPGA_ID;
    if (rec == nullptr)
        return PLOV_ERR_NULL_PTR;
    bool kesp = false;
    PlovStatus ret = PlovProbeBranch(fpga, &kesp);   // fpga is 1 when refused: the line names 1
    if (ret == PLOV_OK)
        ret = kesp ? KespGetPoolBaseAddr(rec) : DornGetRegData(fpga, kRegPoolBase + swap_pool_bits(rec->PoolNum), &rec->PhyAddr);
    if (ret != PLOV_OK || (ret = need_map()) != PLOV_OK)
        return ret;
    return PlovTransPhy2Vir(rec->PhyAddr, &rec->VirAddr);
}

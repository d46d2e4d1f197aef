#include "tool/trans/mem_cfg.h"

#include <cstdio>
#include <cstring>

#include "boardlib/dorn_mem.h"
#include "boardlib/dorn_version.h"
#include "boardlib/plov_fpga_intf.h"
#include "boardlib/plov_mem_intf.h"
#include "tool/trans/queue.h"
#include "tool/trans/trans_cmd.h"

namespace {

constexpr const char *kFile = "trans/trans";

constexpr CmdSite site(const char *name, unsigned line) { return CmdSite{name, kFile, line}; }

constexpr int32_t kNullRecord = -1201;

unsigned long long ull(uint64_t v) { return static_cast<unsigned long long>(v); }

// ---- default configuration -------------------------------------------------------------------

constexpr uint64_t kPkgLen = 0x940;
constexpr uint64_t kBufDep = 0x40000;
constexpr uint64_t kFreeqDep = 0x10000;
constexpr uint64_t kQueueDep = 0x2000;
constexpr uint64_t kPoolSize = 0x20000000;

// The indexed arrays of the record with their dump names and the step of
// the indexes the dump shows.
struct CfgArray {
    const char *format;
    size_t offset;
    size_t count;
    size_t step;
};
constexpr CfgArray kFreeq{"FreeqDep[%d]:%#llx\n", offsetof(MemCfg, FreeqDep), 32, 1};
constexpr CfgArray kTxq{"TxqDep[%d]:%#llx\n", offsetof(MemCfg, TxqDep), 128, 4};
constexpr CfgArray kRxq{"RxqDep[%d]:%#llx\n", offsetof(MemCfg, RxqDep), 256, 1};
constexpr CfgArray kPool{"PoolSize[%d]:%#llx\n", offsetof(MemCfg, PoolSize), 2, 1};
constexpr CfgArray kSwBuf{"SwBufDep[%d]:%#llx\n", offsetof(MemCfg, SwBufDep), 2, 1};

void dump_array(const MemCfg &cfg, const CfgArray &a)
{
    uint64_t values[256];
    std::memcpy(values, reinterpret_cast<const uint8_t *>(&cfg) + a.offset, a.count * sizeof(uint64_t));
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
    for (size_t i = 0; i < a.count; i += a.step)
        std::printf(a.format, static_cast<int>(i), ull(values[i]));
#pragma GCC diagnostic pop
}

void null_record() { trans_line("NUll Pointer Detected!"); }

} // namespace

int32_t dorn_memdep_init(MemCfg *cfg)
{
    if (cfg == nullptr) {
        null_record();
        return kNullRecord;
    }
    *cfg = MemCfg{};
    cfg->PkgLen = kPkgLen;
    cfg->SwBufDep[0] = cfg->SwBufDep[1] = cfg->HwBufDep = cfg->HwAddrmDep = kBufDep;
    for (uint64_t &d : cfg->FreeqDep)
        d = kFreeqDep;
    for (size_t i = 0; i < 128; i += 4)
        cfg->TxqDep[i] = kQueueDep;
    for (uint64_t &d : cfg->RxqDep)
        d = kQueueDep;
    cfg->PoolSize[0] = cfg->PoolSize[1] = kPoolSize;
    return 0;
}

void dorn_dump_memcfg(const MemCfg *cfg)
{
    if (cfg == nullptr) {
        null_record();
        return;
    }
    std::printf("PkgLen:%#llx\n", ull(cfg->PkgLen));
    dump_array(*cfg, kSwBuf);
    std::printf("HwBufDep:%#llx\n", ull(cfg->HwBufDep));
    std::printf("HwAddrmDep:%#llx\n", ull(cfg->HwAddrmDep));
    dump_array(*cfg, kFreeq);
    dump_array(*cfg, kTxq);
    dump_array(*cfg, kRxq);
    dump_array(*cfg, kPool);
}

TransOpStatus dorn_set_mem_cfg(const char *params)
{
    uint32_t fpga = kCmdUnset;
    int ret = sscanf_s(params, "%u", &fpga);
    if (!cmd_scanned(ret, fpga))
        return trans_bad_input(site("dorn_set_mem_cfg", 7010), ret);
    MemCfg set{}, get{};
    dorn_memdep_init(&set);
    // A working FPGA keeps its configuration (-1348): the read-back shows it.
    PlovStatus s = PlovTransSetMemCfg(cmd_u8(fpga), &set);
    if (s != PLOV_OK && s != PLOV_ERR_MEM_KEPT) {
        std::printf("Call PlovTransSetMemCfg fail, iRet=%d!\n", s);
        return s;
    }
    if ((s = PlovTransGetMemCfg(cmd_u8(fpga), &get)) != PLOV_OK) {
        std::printf("Call PlovTransGetMemCfg fail, iRet=%d!\n", s);
        return s;
    }
    std::printf("set memcfg para:");
    dorn_dump_memcfg(&set);
    std::printf("get memcfg para:");
    dorn_dump_memcfg(&get);
    int cmp = std::memcmp(&set, &get, sizeof(MemCfg));
    if (cmp == 0) {
        std::printf("Memcfg test pass!\n");
        return 0;
    }
    const int32_t result = cmp > 0 ? 1 : -1;
    std::printf("Memcfg test fail, iRet[%d]\n\n", result);
    return result;
}

TransOpStatus dorn_get_drv_info(const char *params)
{
    uint32_t fpga = kCmdUnset;
    int ret = sscanf_s(params, "%u", &fpga);
    if (!cmd_scanned(ret, fpga))
        return trans_bad_input(site("dorn_get_drv_info", 7040), ret);
    DrvInfo info{};
    PlovStatus s = TransGetDrvInfo(cmd_u8(fpga), &info);
    if (s != PLOV_OK)
        return trans_op_failed("TransGetDrvInfo", s);
    trans_success();
    std::printf("hrtimer_normal   : %u\nhrtimer_half_1ms : %u\nhrtimer_1_2ms    : %u\nhrtimer_2_4ms    : %u\n"
                "hrtimer_4_8ms    : %u\nhrtimer_8ms      : %u\nhd_irq           : %u\nctrller_state    : %u\n"
                "cpu_num          : %u\ncpu0_x4_present  : %u\ncpu0_x8_present  : %u\ncpu1_x8_present  : %u\n",
                info.hrtimer_normal, info.hrtimer_half_1ms, info.hrtimer_1_2ms, info.hrtimer_2_4ms,
                info.hrtimer_4_8ms, info.hrtimer_8ms, info.hd_irq, static_cast<unsigned>(info.ctrller_state),
                info.cpu_num, info.cpu0_x4_present, info.cpu0_x8_present, info.cpu1_x8_present);
    return 0;
}

// ---- per-pool listings -----------------------------------------------------------------------

namespace {

// The pools of both FPGAs in listing order.
struct Pool {
    FpgaId fpga;
    uint32_t type;
};
constexpr Pool kPools[] = {{0, 0}, {0, 4}, {0, 2}, {0, 6}, {1, 1}, {1, 5}, {1, 3}, {1, 7}};

} // namespace

TransOpStatus dorn_get_freeblockofhwbuf(const char *)
{
    PlovStatus first = PLOV_OK;
    for (const Pool &p : kPools) {
        uint64_t blocks = 0;   // a failed call shows 0, not the previous pool's count
        PlovStatus s = PLOV_TransGetFreeBlockOfHwBuf(p.fpga, p.type, &blocks);
        if (s != PLOV_OK) {
            std::printf("Call PLOV_TransGetFreeBlockOfHwBuf fail, iRet=%d!\n", s);
            first = first != PLOV_OK ? first : s;
        }
        std::printf("PoolType : 0x%u\n\tblock  : 0x%llx\n", p.type, ull(blocks));
    }
    return first;
}

TransOpStatus dorn_get_swbuf_base(const char *)
{
    PlovStatus first = PLOV_OK;
    for (const Pool &p : kPools) {
        SwBufBaseRec rec{};
        rec.PoolType = p.type;
        PlovStatus s = PlovTransGetSwbufBase(p.fpga, &rec);
        if (s != PLOV_OK) {
            std::printf("Call PlovTransGetSwbufBase fail, iRet=%d!\n", s);
            first = first != PLOV_OK ? first : s;
        }
        std::printf("PoolType : 0x%u\n\tVirAddr : 0x%llx\n\tPhyAddr : 0x%llx\n", p.type, ull(rec.VirAddr),
                    ull(rec.PhyAddr));
    }
    return first;
}

TransOpStatus trans_get_mem_range(const char *params)
{
    constexpr CmdSite here = site("trans_get_mem_range", 7130);
    uint32_t fpga = kCmdUnset, cpu = kCmdUnset;
    int ret = sscanf_s(params, "%u:%u", &fpga, &cpu);
    if (!cmd_scanned(ret, fpga)) {
        trans_failed();
        std::printf("Invalid FpgaID input, please check [%s] %s:%u, iRet = %d\n", here.name, here.file, here.line,
                    ret);
        return kTransBadInput;
    }
    MemRange range{};
    range.Cpu = cpu;
    PlovStatus s = PLOV_TransGetMemRang(cmd_u8(fpga), &range);
    if (s != PLOV_OK) {
        trans_error_line("TransGetMemRang", s);
        return s;
    }
    trans_success();
    struct Zone {
        int id;
        const MemDesc *desc;
        const char *word;
    };
    const Zone zones[] = {{2, &range.Addrm, "TRANS_ADDRM"}, {0, &range.HwBuf, "TRANS_HW_BUF"},
                          {1, &range.SwBuf, "TRANS_SW_BUF"}};
    for (const Zone &z : zones)
        std::printf("MemZone:%d,Cpu:%lld,addr:0x%llx, viraddr:0x%llx, size:0x%llx, %s\n", z.id,
                    static_cast<long long>(z.desc->Cpu), ull(z.desc->PhyAddr), ull(z.desc->VirAddr),
                    ull(z.desc->Size), z.word);
    return 0;
}

TransOpStatus fpga_get_user_viraddr(const char *params)
{
    constexpr CmdSite here = site("fpga_get_user_viraddr", 7160);
    uint32_t n = 0;
    int ret = sscanf_s(params, "%u", &n);
    if (ret < 0)
        return trans_bad_input(here, ret);
    PoolBaseRec recs[2] = {};
    PlovStatus first = PLOV_OK;
    for (uint32_t i = 0; i < 2; ++i) {
        recs[i].PoolNum = n + 4 * i;
        PlovStatus s = PlovTransGetPoolBase(cmd_u8(n), &recs[i]);
        if (s != PLOV_OK) {
            std::printf("Function PlovTransGetPoolBase exe error, i = %u, iRet = %d, [%s] %s:%u\n", i, s, here.name,
                        here.file, here.line);
            first = first != PLOV_OK ? first : s;
        }
    }
    std::printf("USER_CPU0 :\nphyaddr   :%#llx viraddr  :%#llx\nUSER_CPU1  :\nphyaddr   :%#llx viraddr  :%#llx\n",
                ull(recs[0].PhyAddr), ull(recs[0].VirAddr), ull(recs[1].PhyAddr), ull(recs[1].VirAddr));
    return first;
}

TransOpStatus fpga_get_user_shmem_info(const char *)
{
    constexpr CmdSite here = site("fpga_get_user_shmem_info", 7190);
    uint8_t nodes = 0;
    PlovStatus s = DornGetCpuPresent(&nodes);
    if (s != PLOV_OK) {
        trans_failed();
        trans_error_line_long("DornGetCpuPresent", s, here);
        return s;
    }
    ShareMemEntry map[PLOV_SHARE_MEM_ENTRIES] = {};
    if ((s = PlovTransGetMemMap(reinterpret_cast<uint8_t *>(map))) != PLOV_OK) {
        trans_failed();
        trans_error_line_long("PlovTransGetMemMap", s, here);
        return s;
    }
    trans_success();
    for (size_t i = 0; i < nodes && i < PLOV_SHARE_MEM_ENTRIES; ++i) {
        const ShareMemEntry e = map[i];
        trans_line(e.NumaNode != 0 ? "Cpu1 : " : "Cpu0 : ");
        std::printf("\tVirAddr : 0x%llx\n\tPhyAddr : 0x%llx\n\tNumaNode: 0x%d\n\tSize    : 0x%llx\n"
                    "\tAlloced : 0x%llx\n\tPid     : 0x%d\n\tFlag    : 0x%d\n\tMemType : 0x%d\n",
                    ull(e.VirAddr), ull(e.PhyAddr), e.NumaNode, ull(e.Size), ull(e.Alloced),
                    static_cast<int>(e.Pid), e.Flag, e.MemType);
    }
    return 0;
}

// ---- self check ----------------------------------------------------------------------------

namespace {

struct CheckStep {
    TransOpHandler run;
    const char *name;   // named in the line that stops the check
    bool blankAfter;
};
constexpr CheckStep kCheckSteps[] = {
    {dorn_set_mem_cfg, "dorn_set_mem_cfg", false},
    {fpga_get_user_viraddr, "fpga_get_user_viraddr", true},
    {dorn_get_swbuf_base, "dorn_get_swbuf_base", true},
    {queue_get_attr, "queue_get_attr", false},
};

} // namespace

TransOpStatus dorn_check_mem_cfg(const char *params)
{
    for (const CheckStep &step : kCheckSteps) {
        TransOpStatus s = step.run(params);
        if (s != 0) {
            std::printf("Call %s fail, iRet=%d!\n", step.name, s);
            return s;
        }
        if (step.blankAfter)
            std::printf("\n");
    }
    return 0;
}

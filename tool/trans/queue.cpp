#include "tool/trans/queue.h"

#include <cstdio>

#include "boardlib/dorn_logic.h"
#include "boardlib/dorn_queue.h"
#include "boardlib/plov_queue_intf.h"
#include "tool/trans/mem_access.h"
#include "tool/trans/trans_cmd.h"

namespace {

constexpr const char *kFile = "trans/trans";

constexpr CmdSite site(const char *name, unsigned line) { return CmdSite{name, kFile, line}; }

// fpga:type:queue, the first three fields of most queue commands.
struct QueueFields {
    uint32_t fpga = kCmdUnset;
    uint32_t type = kCmdUnset;
    uint32_t queue = kCmdUnset;

    QueueId id() const { return QueueId{type, cmd_u16(queue)}; }
};

bool scan_queue(const char *params, QueueFields *q, int *ret)
{
    *ret = sscanf_s(params, "%u:%u:%u", &q->fpga, &q->type, &q->queue);
    return cmd_scanned(*ret, q->fpga, q->type, q->queue);
}


} // namespace

TransOpStatus queue_get_stat(const char *params)
{
    QueueFields q;
    int ret = 0;
    if (!scan_queue(params, &q, &ret))
        return trans_bad_input(site("queue_get_stat", 4110), ret);
    const QueueId id = q.id();
    QueueStat stat{};
    PlovStatus s = PlovTransGetQueueStatics(cmd_u8(q.fpga), &id, &stat);
    if (s != PLOV_OK)
        return trans_op_failed("PlovTransGetQueueStatics", s);
    trans_success();
    // The counters print signed, as the tool always showed them.
    std::printf("Que %4d %16lld %16lld %16lld\n", static_cast<int>(q.queue), static_cast<long long>(stat.Counter[0]),
                static_cast<long long>(stat.Counter[1]), static_cast<long long>(stat.Counter[2]));
    return 0;
}

TransOpStatus queue_clear_stat(const char *params)
{
    QueueFields q;
    int ret = 0;
    if (!scan_queue(params, &q, &ret))
        return trans_bad_input(site("queue_clear_stat", 4140), ret);
    const QueueId id = q.id();
    PlovStatus s = PlovTransClsQueueStatics(cmd_u8(q.fpga), &id);
    if (s != PLOV_OK)
        return trans_op_failed("PlovTransClsQueueStatics", s);
    trans_success();
    return 0;
}

TransOpStatus queue_get_water_level(const char *params)
{
    QueueFields q;
    int ret = 0;
    if (!scan_queue(params, &q, &ret))
        return trans_bad_input(site("queue_get_water_level", 4170), ret);
    const QueueId id = q.id();
    QueueWaterLevel level{};
    PlovStatus s = PlovTransGetQueueWaterLvl(cmd_u8(q.fpga), &id, &level);
    if (s != PLOV_OK)
        return trans_op_failed("PlovTransGetQueueWaterLvl", s);
    trans_success();
    std::printf("Highlevel : %llu\n", static_cast<unsigned long long>(level.Highlevel));
    std::printf("Lowlevel  : %llu\n", static_cast<unsigned long long>(level.Lowlevel));
    return 0;
}

TransOpStatus queue_set_water_level(const char *params)
{
    QueueFields q;
    unsigned long long high = kCmdUnset64, low = kCmdUnset64;
    int ret = sscanf_s(params, "%u:%u:%u:%llu:%llu", &q.fpga, &q.type, &q.queue, &high, &low);
    if (!cmd_scanned(ret, q.fpga, q.type, q.queue, static_cast<uint64_t>(high), static_cast<uint64_t>(low)))
        return trans_bad_input(site("queue_set_water_level", 4200), ret);
    const QueueId id = q.id();
    const QueueWaterLevel level{high, low};
    PlovStatus s = PlovTransSetQueueWaterLvl(cmd_u8(q.fpga), &id, &level);
    if (s != PLOV_OK)
        return trans_op_failed("PlovTransSetQueueWaterLvl", s);
    trans_success();
    return 0;
}

TransOpStatus queue_get_hash_rule(const char *params)
{
    uint32_t fpga = kCmdUnset, seed = kCmdUnset;
    int ret = sscanf_s(params, "%u:%u", &fpga, &seed);
    if (!cmd_scanned(ret, fpga, seed))
        return trans_bad_input(site("queue_get_hash_rule", 4230), ret);
    RxqHashRule rule{};
    rule.HashKey = cmd_u16(seed);
    PlovStatus s = PlovTransGetRxqHashRule(cmd_u8(fpga), &rule);
    if (s != PLOV_OK)
        return trans_op_failed("PlovTransGetRxqHashRule", s);
    trans_success();
    std::printf("VcpuID : %u\n", rule.VcpuID);
    return 0;
}

TransOpStatus queue_set_hash_rule(const char *params)
{
    uint32_t fpga = kCmdUnset, seed = kCmdUnset, vcpu = kCmdUnset;
    int ret = sscanf_s(params, "%u:%u:%u", &fpga, &seed, &vcpu);
    if (!cmd_scanned(ret, fpga, seed, vcpu))
        return trans_bad_input(site("queue_set_hash_rule", 4260), ret);
    RxqHashRule rule{};
    rule.HashKey = cmd_u16(seed);
    rule.VcpuID = cmd_u8(vcpu);
    PlovStatus s = PlovTransSetRxqHashRule(cmd_u8(fpga), &rule);
    if (s != PLOV_OK)
        return trans_op_failed("PlovTransSetRxqHashRule", s);
    trans_success();
    return 0;
}

TransOpStatus queue_get_txprocess_Match(const char *params)
{
    uint32_t fpga = kCmdUnset, process = kCmdUnset;
    int ret = sscanf_s(params, "%u:%u", &fpga, &process);
    if (!cmd_scanned(ret, fpga, process))
        return trans_bad_input(site("queue_get_txprocess_Match", 4290), ret);
    uint16_t match = 0;
    PlovStatus s = PlovTransGetTxProcessMatch(cmd_u8(fpga), cmd_u8(process), &match);
    if (s != PLOV_OK)
        return trans_op_failed("PlovTransGetTxProcessMatch", s);
    trans_success();
    std::printf("MatchID : %u\n", match);
    return 0;
}

TransOpStatus queue_set_txprocess_Match(const char *params)
{
    uint32_t fpga = kCmdUnset, process = kCmdUnset, match = kCmdUnset;
    int ret = sscanf_s(params, "%u:%u:%u", &fpga, &process, &match);
    if (!cmd_scanned(ret, fpga, process, match))
        return trans_bad_input(site("queue_set_txprocess_Match", 4320), ret);
    // The match goes as 16 bits: the operation keeps the 11 it uses.
    PlovStatus s = PlovTransSetTxProcessMatch(cmd_u8(fpga), cmd_u8(process), cmd_u16(match));
    if (s != PLOV_OK)
        return trans_op_failed("PlovTransSetTxProcessMatch", s);
    trans_success();
    return 0;
}

TransOpStatus queue_get_data_offset(const char *params)
{
    uint32_t fpga = kCmdUnset;
    int ret = sscanf_s(params, "%u", &fpga);
    if (!cmd_scanned(ret, fpga))
        return trans_bad_input(site("queue_get_data_offset", 4350), ret);
    uint16_t offset = 0;
    PlovStatus s = PlovTransGetQueueDataOffset(cmd_u8(fpga), &offset);
    if (s != PLOV_OK)
        return trans_op_failed("PlovTransGetQueueDataOffset", s);
    trans_success();
    std::printf("Offset = %u\n", offset);
    return 0;
}

TransOpStatus queue_set_data_offset(const char *params)
{
    uint32_t fpga = kCmdUnset, offset = kCmdUnset;
    int ret = sscanf_s(params, "%u:%u", &fpga, &offset);
    if (!cmd_scanned(ret, fpga, offset))
        return trans_bad_input(site("queue_set_data_offset", 4380), ret);
    PlovStatus s = PlovTransSetQueueDataOffset(cmd_u8(fpga), cmd_u16(offset));
    if (s != PLOV_OK)
        return trans_op_failed("PlovTransSetQueueDataOffset", s);
    trans_success();
    return 0;
}

TransOpStatus queue_set_rptr_renew_interval(const char *params)
{
    uint32_t fpga = kCmdUnset, interval = kCmdUnset;
    int ret = sscanf_s(params, "%u:%u", &fpga, &interval);
    if (!cmd_scanned(ret, fpga, interval))
        return trans_bad_input(site("queue_set_rptr_renew_interval", 4410), ret);
    // The DORN timer on any board, as the command always did.
    PlovStatus s = DornSetQueueReadPtrTimer(trans_fpga32(fpga), cmd_u8(interval));
    if (s != PLOV_OK)
        return trans_op_failed("DornSetQueueReadPtrTimer", s);
    trans_success();
    return 0;
}

// ---- queue attributes --------------------------------------------------------------------

namespace {

constexpr size_t kQueueInfoSize = 96;
constexpr CmdSite kAttrSite = site("queue_get_attr", 4460);

// Reads the 64-bit word at `phys` and prints it under `label`; a failed
// read prints its line, shows data 0 and returns its status.
int32_t show_pointer(uint32_t fpga, const char *label, uint64_t phys)
{
    MemOpReq req{};
    req.addr = phys;
    int32_t s = operate_mem(fpga, &req);
    if (s != 0)
        std::printf("Function operate_mem exe error, iRet = %d! [%s] %s:%u\n", s, kAttrSite.name, kAttrSite.file,
                    kAttrSite.line);
    std::printf("%s[%#llx]:%#llx\n", label, static_cast<unsigned long long>(phys),
                static_cast<unsigned long long>(req.data));
    return s;
}

int32_t GetQueueInfo(const char *params, uint8_t *info, size_t infoSize)
{
    QueueFields q;
    int ret = sscanf_s(params, "%u:%u:%u", &q.fpga, &q.type, &q.queue);
    if (ret < 0 || static_cast<int32_t>(q.fpga) < 0 || static_cast<int32_t>(q.type) < 0 ||
        static_cast<int32_t>(q.queue) < 0)
        return trans_bad_input(site("queue_get_attr_para", 4440), ret);
    QueueAddrRec rec{};
    const QueueId id = q.id();
    TRANS_MEMCPY_S(&rec, sizeof(rec), &id, sizeof(id));
    TRANS_MEMCPY_S(reinterpret_cast<uint8_t *>(&rec) + sizeof(id), sizeof(rec) - sizeof(id), info,
                   infoSize < sizeof(rec) - sizeof(id) ? infoSize : sizeof(rec) - sizeof(id));
    PlovStatus s = DornLogicGetQueueAddr(cmd_u8(q.fpga), &rec);
    if (s != PLOV_OK) {
        std::printf("Call DornLogicGetQueueAddr failed! iRet = %d\n\n", s);
        return s;
    }
    std::printf("type[%d] ID[%d]\n", static_cast<int>(q.type), static_cast<int>(q.queue));
    std::printf("BaseAddrVir[%#llx] BaseAddrPhy[%#llx] BDdepth[%#llx] WprtPhy[%#llx] WprtVir[%#llx] RptrPhy[%#llx] "
                "RptrVir[%#llx]\n\n",
                static_cast<unsigned long long>(rec.BaseAddrVir), static_cast<unsigned long long>(rec.BaseAddrPhy),
                static_cast<unsigned long long>(rec.BDdepth), static_cast<unsigned long long>(rec.WprtPhy),
                static_cast<unsigned long long>(rec.WprtVir), static_cast<unsigned long long>(rec.RptrPhy),
                static_cast<unsigned long long>(rec.RptrVir));
    // Both pointers are shown; the first failed read is the status.
    int32_t first = show_pointer(q.fpga, "WprtPhy", rec.WprtPhy);
    int32_t second = show_pointer(q.fpga, "RprtPhy", rec.RptrPhy);
    if (first != 0 || second != 0)
        return first != 0 ? first : second;
    trans_success();
    return 0;
}

} // namespace

TransOpStatus queue_get_attr(const char *params)
{
    uint8_t info[kQueueInfoSize] = {};
    int32_t s = GetQueueInfo(params, info, sizeof(info));
    if (s < 0)
        std::printf("func GetQueueInfo return err\n");
    return s;
}

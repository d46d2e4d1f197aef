#include "boardlib/plov_queue_intf.h"

#include <iterator>

#include "boardlib/dorn_intf.h"
#include "boardlib/dorn_reg.h"
#include "boardlib/kesp_intf.h"
#include "boardlib/plov_check.h"
#include "kelvo/kelvo.h"

namespace {

// DORN catalogue rows of the queue machinery.
constexpr uint32_t kRowTxGroupCnt = 1;     // AADRM_REG_SBD_REL_CNT_RAM_CMD
constexpr uint32_t kRowRxQueCfg = 21;      // RXQM_REG_RXQM_QUE_CFG_CMD
constexpr uint32_t kRowProcessId = 22;     // RXQM_REG_CFG_PROCESSID_CMD
constexpr uint32_t kRowRxQueStat = 24;     // RXQM_REG_RXM_QUE_STAT_CMD
constexpr uint32_t kRowThreadMatch = 28;   // TXM_REG_THREAD_MATCH_CMD
constexpr uint32_t kRowTxRtnCnt = 38;      // TXQM_REG_TXQM_RTNCNT_CMD
constexpr uint32_t kRowTxOutAddrm = 40;    // TXQM_REG_TXQM_OUTADDRM_CMD

constexpr uint64_t kRegDataOffset = 0x3065;
constexpr uint64_t kRegTxGroupLevel = 0x6040;
constexpr uint64_t kRxLevelKeyFlag = 0x200;
constexpr uint32_t kSwitchAll = 0xFFFF;
constexpr uint32_t kSbufRxSwitchMax = 256;

// Highest queue id of each type in the DORN counter operations.
constexpr uint32_t kCounterIdMax[] = {287, 255, 63};

uint32_t low16(uint32_t id) { return id & 0xFFFF; }

PlovStatus dorn_write_key(FpgaId fpga, uint32_t row, uint64_t key) { return DornWriteIndirById(fpga, row, key, nullptr, 0); }

PlovStatus dorn_write_value(FpgaId fpga, uint32_t row, uint64_t key, uint64_t value)
{
    return DornWriteIndirById(fpga, row, key, &value, 1);
}

// The DORN queue-switch id rule: FPGA 1's receive queues 0 to 256, or all.
bool switch_id_accepted(FpgaId fpga, const QueueId &queue)
{
    uint32_t id = low16(queue.QueueId);
    if (id == kSwitchAll)
        return true;
    return fpga == 1 && queue.QueueType == QUEUE_TYPE_RX && id <= kSbufRxSwitchMax;
}

// The queue id, or -1335 when the type is unknown or the id too large.
PlovStatus counter_id(const QueueId &queue, uint32_t *id)
{
    if (queue.QueueType >= std::size(kCounterIdMax) || queue.QueueId > kCounterIdMax[queue.QueueType])
        return PLOV_ERR_QUEUE_ID;
    *id = queue.QueueId;
    return PLOV_OK;
}

} // namespace

// ---- transmit-process match ------------------------------------------------------------------

PlovStatus PlovTransGetTxProcessMatch(FpgaId fpga, uint8_t process, uint16_t *match)
{
    PlovStatus ret = PlovCheckFpgaId(fpga);
    if (ret != PLOV_OK)
        return ret;
    if (match == nullptr)
        return PLOV_ERR_NULL_PTR;
    bool kesp = false;
    if ((ret = PlovProbeBranch(fpga, &kesp)) != PLOV_OK)
        return ret;
    if (kesp)
        return KespGetSyncId(0, process, match);
    uint64_t word = 0;
    ret = DornReadIndirById(fpga, kRowThreadMatch, process & 63u, &word);
    if (ret == PLOV_OK)
        *match = static_cast<uint16_t>(word & 0xFF);
    return ret;
}

PlovStatus PlovTransSetTxProcessMatch(FpgaId fpga, uint8_t process, uint16_t match)
{
    bool kesp = false;
    PlovStatus ret = PlovCheckAndProbe(fpga, &kesp);
    if (ret != PLOV_OK)
        return ret;
    if (kesp)
        return KespSetSyncId(0, process, match);
    return dorn_write_value(fpga, kRowThreadMatch, process & 63u, match & 0x7FFu);
}

// ---- queue data offset -------------------------------------------------------------------------

PlovStatus PlovTransGetQueueDataOffset(FpgaId fpga, uint16_t *offset)
{
    if (offset == nullptr)
        return PlovNullPointer();
    bool kesp = false;
    PlovStatus ret = PlovCheckAndProbe(fpga, &kesp);
    if (ret != PLOV_OK)
        return ret;
    if (kesp)
        return PLOV_CALL_RESULT("KespGetQueueDataOffset", KespGetQueueDataOffset(offset));
    uint64_t v = 0;
    ret = DornGetRegData(fpga, kRegDataOffset, &v);
    if (ret == PLOV_OK)
        *offset = static_cast<uint16_t>(v);
    return ret;
}

PlovStatus PlovTransSetQueueDataOffset(FpgaId fpga, uint16_t offset)
{
    bool kesp = false;
    PlovStatus ret = PlovCheckAndProbe(fpga, &kesp);
    if (ret != PLOV_OK)
        return ret;
    if (kesp)
        return PLOV_CALL_RESULT("KespSetQueueDataOffset", KespSetQueueDataOffset(offset));
    return DornSetRegData(fpga, kRegDataOffset, offset);
}

// ---- water levels --------------------------------------------------------------------------------

namespace {

// Step 1 of both water-level operations: pointers, FPGA id, probe.
PlovStatus water_level_frame(FpgaId fpga, const QueueId *queue, const void *level, bool *kesp)
{
    if (queue == nullptr || level == nullptr)
        return PlovNullPointer();
    PlovStatus ret = PlovCheckFpgaId(fpga);
    if (ret == PLOV_OK)
        ret = PlovProbeBranch(fpga, kesp);
    return ret;
}

uint64_t rx_level_key(const QueueId &queue) { return (queue.QueueId & 0x1FF) | kRxLevelKeyFlag; }

} // namespace

PlovStatus PlovTransGetQueueWaterLvl(FpgaId fpga, const QueueId *queue, QueueWaterLevel *level)
{
    bool kesp = false;
    PlovStatus ret = water_level_frame(fpga, queue, level, &kesp);
    if (ret != PLOV_OK)
        return ret;
    if (kesp)
        return PLOV_CALL_RESULT("KespGetQueueWaterLvl", KespGetQueueWaterLvl(queue, level));
    uint64_t v = 0;
    switch (queue->QueueType) {
    case QUEUE_TYPE_TX:
        return PLOV_OK;
    case QUEUE_TYPE_TX_GROUP:
        ret = DornGetRegData(fpga, kRegTxGroupLevel, &v);
        if (ret == PLOV_OK)
            level->Highlevel = (v & 0xFF) << 8;
        return ret;
    default:
        ret = DornReadIndirById(fpga, kRowRxQueCfg, rx_level_key(*queue), &v);
        if (ret == PLOV_OK) {
            level->Lowlevel = v & 0xFFFF;
            level->Highlevel = v >> 16 & 0xFFFF;
        }
        return ret;
    }
}

PlovStatus PlovTransSetQueueWaterLvl(FpgaId fpga, const QueueId *queue, const QueueWaterLevel *level)
{
    bool kesp = false;
    PlovStatus ret = water_level_frame(fpga, queue, level, &kesp);
    if (ret != PLOV_OK)
        return ret;
    if (kesp)
        return PLOV_CALL_RESULT("KespSetQueueWaterLvl", KespSetQueueWaterLvl(queue, level));
    switch (queue->QueueType) {
    case QUEUE_TYPE_TX:
        return PLOV_OK;
    case QUEUE_TYPE_TX_GROUP:
        return DornSetRegData(fpga, kRegTxGroupLevel, level->Highlevel >> 8);
    default:
        break;
    }
    uint64_t old = 0;
    ret = DornReadIndirById(fpga, kRowRxQueCfg, rx_level_key(*queue), &old);
    if (ret != PLOV_OK)
        return ret;
    uint64_t word = ((level->Highlevel << 16) & 0xFFFFFFFF) | (level->Lowlevel & 0xFFFF) | (old >> 32 & 0x7) << 32;
    return dorn_write_value(fpga, kRowRxQueCfg, rx_level_key(*queue), word);
}

// ---- receive-queue hash rule ------------------------------------------------------------------------

namespace {

PlovStatus hash_rule_frame(FpgaId fpga, const RxqHashRule *rule, bool *kesp)
{
    PlovStatus ret = PlovCheckFpgaId(fpga);
    if (ret != PLOV_OK)
        return ret;
    if (rule == nullptr)
        return PlovNullPointer();
    return PlovProbeBranch(fpga, kesp);
}

} // namespace

PlovStatus PlovTransGetRxqHashRule(FpgaId fpga, RxqHashRule *rule)
{
    bool kesp = false;
    PlovStatus ret = hash_rule_frame(fpga, rule, &kesp);
    if (ret != PLOV_OK)
        return ret;
    if (kesp)
        return PLOV_CALL_RESULT("KespGetRxqHashRule", KespGetRxqHashRule(rule));
    uint64_t v = 0;
    ret = DornReadIndirById(fpga, kRowProcessId, rule->HashKey & 0xFFFu, &v);
    if (ret == PLOV_OK)
        rule->VcpuID = static_cast<uint8_t>(v & 31);
    return ret;
}

PlovStatus PlovTransSetRxqHashRule(FpgaId fpga, const RxqHashRule *rule)
{
    bool kesp = false;
    PlovStatus ret = hash_rule_frame(fpga, rule, &kesp);
    if (ret != PLOV_OK)
        return ret;
    if (kesp)
        return PLOV_CALL_RESULT("KespSetRxqHashRule", KespSetRxqHashRule(rule));
    return dorn_write_value(fpga, kRowProcessId, rule->HashKey & 0xFFFu, rule->VcpuID & 31u);
}

// ---- queue switches ------------------------------------------------------------------------------------

namespace {

// Steps 1 and 3 of both switch operations; on the DORN board the id rule.
PlovStatus switch_frame(FpgaId fpga, const QueueId *queue, bool nullValue, bool *kesp)
{
    PlovStatus ret = PlovCheckFpgaId(fpga);
    if (ret != PLOV_OK)
        return ret;
    if (queue == nullptr || nullValue)
        return PlovNullPointer();
    ret = PlovProbeBranch(fpga, kesp);
    if (ret != PLOV_OK || *kesp || switch_id_accepted(fpga, *queue))
        return ret;
    PLOV_LOG_ERR("Invalid Id [0x%x]\n", low16(queue->QueueId));
    return PLOV_ERR_QUEUE_SWITCH_ID;
}

} // namespace

PlovStatus PlovTransGetQueueSwitch(FpgaId fpga, const QueueId *queue, uint32_t *value)
{
    bool kesp = false;
    PlovStatus ret = switch_frame(fpga, queue, value == nullptr, &kesp);
    if (ret != PLOV_OK)
        return ret;
    if (kesp)
        return PLOV_CALL_RESULT("KespGetQueueSwitch", KespGetQueueSwitch(queue, value));
    return DornGetQueueSwitch(fpga, queue, value);
}

PlovStatus PlovTransSetQueueSwitch(FpgaId fpga, const QueueId *queue, uint32_t value)
{
    bool kesp = false;
    PlovStatus ret = switch_frame(fpga, queue, false, &kesp);
    if (ret != PLOV_OK)
        return ret;
    if (kesp)
        return PLOV_CALL_RESULT("KespSetQueueSwitch", KespSetQueueSwitch(queue, value));
    return DornSetQueueSwitch(fpga, queue, static_cast<uint16_t>(value));
}

// ---- queue counters --------------------------------------------------------------------------------------

PlovStatus PlovTransClsQueueStatics(FpgaId fpga, const QueueId *queue)
{
    PlovStatus ret = PlovCheckFpgaId(fpga);
    if (ret != PLOV_OK)
        return ret;
    if (queue == nullptr)
        return PlovNullPointer();
    bool kesp = false;
    if ((ret = PlovProbeBranch(fpga, &kesp)) != PLOV_OK)
        return ret;
    if (kesp)
        return PLOV_CALL_RESULT("KespClsQueueStatics", KespClsQueueStatics(queue));
    uint32_t id = 0;
    if ((ret = counter_id(*queue, &id)) != PLOV_OK)
        return ret;
    switch (queue->QueueType) {
    case QUEUE_TYPE_RX:
        ret = dorn_write_key(fpga, kRowRxQueStat, id & 0x1FF);
        if (ret == PLOV_OK)
            ret = dorn_write_key(fpga, kRowRxQueStat, (id & 0x1FF) | kRxLevelKeyFlag);
        return ret;
    case QUEUE_TYPE_TX:
        if (id % 4 != 0)
            return PLOV_OK;
        ret = dorn_write_key(fpga, kRowTxRtnCnt, id & 0xFF);
        if (ret == PLOV_OK)
            ret = dorn_write_key(fpga, kRowTxOutAddrm, id & 0xFF);
        return ret;
    default:
        return dorn_write_key(fpga, kRowTxGroupCnt, id & 63);
    }
}

PlovStatus PlovTransGetQueueStatics(FpgaId fpga, const QueueId *queue, QueueStat *stat)
{
    PlovStatus ret = PlovCheckFpgaId(fpga, false);
    if (ret != PLOV_OK)
        return ret;
    if (queue == nullptr || stat == nullptr)
        return PLOV_ERR_NULL_PTR;
    bool kesp = false;
    if ((ret = PlovProbeBranch(fpga, &kesp)) != PLOV_OK)
        return ret;
    if (kesp)
        return PLOV_CALL_RESULT("KespGetQueueStatics", KespGetQueueStatics(queue, stat));
    uint32_t id = 0;
    if ((ret = counter_id(*queue, &id)) != PLOV_OK)
        return ret;
    uint64_t v = 0;
    switch (queue->QueueType) {
    case QUEUE_TYPE_RX:
        ret = DornReadIndirById(fpga, kRowRxQueStat, id & 0x1FF, &v);
        if (ret != PLOV_OK)
            return ret;
        stat->Counter[0] = v & 0xFFFFFFFF;
        ret = DornReadIndirById(fpga, kRowRxQueStat, (id & 0x1FF) | kRxLevelKeyFlag, &v);
        if (ret == PLOV_OK)
            stat->Counter[1] = v & 0xFFFFFFFF;
        return ret;
    case QUEUE_TYPE_TX:
        if (id % 4 != 0) {
            KelvoErr err = memset_s(stat, sizeof *stat, 0, sizeof *stat);
            if (err != KelvoOk)
                PLOV_LOG_ERR("memset_s failed %d, dest_str %p(%lu), cnt(%lu)\n", err, static_cast<void *>(stat),
                             sizeof *stat, sizeof *stat);
            return PLOV_OK;
        }
        ret = DornReadIndirById(fpga, kRowTxRtnCnt, id & 0xFF, &v);
        if (ret == PLOV_OK)
            stat->Counter[0] = v & 0xFFFFFFFF;
        return ret;
    default:
        ret = DornReadIndirById(fpga, kRowTxGroupCnt, id & 63, &v);
        if (ret == PLOV_OK)
            stat->Counter[2] = v & 0xFFFFFFFF;
        return ret;
    }
}

// DORN queue switches, CAR, address manager, free queue and receive buffer.
#include "boardlib/dorn_queue.h"

#include "boardlib/dorn_intf.h"
#include "boardlib/dorn_reg.h"
#include "boardlib/plov_check.h"

namespace {

constexpr uint64_t kReadPtrTimer = 0x3;
constexpr uint64_t kFreeqLevel = 0x6040;
constexpr uint64_t kFreeqGap = 0x6041;
constexpr uint64_t kAddrm[DORN_SELECTORS][2] = {
    {0x6024, 0x6025}, {0x6025, 0x6024}, {0x6020, 0x6021}, {0x6021, 0x6020},
    {0x6026, 0x6027}, {0x6027, 0x6026}, {0x6022, 0x6023}, {0x6023, 0x6022},
};
constexpr uint64_t kFreeqPool[DORN_SELECTORS / 2] = {0x6038, 0x6030, 0x603C, 0x6034};
constexpr uint64_t kRxbuf[5] = {0x2D00, 0x2D01, 0x2D80, 0x2D81, 0x2D82};

PlovStatus check_fpga(FpgaId fpga)
{
    if (fpga > DORN_FPGA_SBUF)
        return TRANS_BAD_FPGA(fpga);
    return PLOV_OK;
}

// Checks of the queue and group switches; the key word of the queue.
PlovStatus tx_queue_key(FpgaId fpga, const QueueId *queue, const void *out, bool group, uint64_t *key)
{
    PlovStatus ret = check_fpga(fpga);
    if (ret != PLOV_OK)
        return ret;
    if (queue == nullptr || out == nullptr) {
        TRANS_LOG_ERR("NULL Pointer detected!\n");
        return PLOV_ERR_NULL_PTR;
    }
    if (queue->QueueType != QUEUE_TYPE_TX) {
        if (group)
            TRANS_LOG_ERR("Invalid QueueType [%d]! Only Tx Queue group can switch on/off!\n", queue->QueueType);
        else
            TRANS_LOG_ERR("Invalid QueueType [%d]! Only Tx Queue can switch on/off!\n", queue->QueueType);
        return DORN_ERR_QUEUE_TYPE;
    }
    *key = group ? (queue->QueueId >> 2) & 63u : queue->QueueId;
    return PLOV_OK;
}

PlovStatus get_switch(FpgaId fpga, const QueueId *queue, uint32_t *on, bool group)
{
    uint64_t key = 0, word = 0;
    PlovStatus ret = tx_queue_key(fpga, queue, on, group, &key);
    if (ret == PLOV_OK)
        ret = DornReadIndirById(fpga, group ? DORN_INDIR_TXQM_QGPWORK_CFG : DORN_INDIR_TXQM_QWORK_CFG, key, &word);
    if (ret == PLOV_OK)
        *on = static_cast<uint32_t>(word & 1u);
    return ret;
}

PlovStatus set_switch(FpgaId fpga, const QueueId *queue, uint32_t on, bool group)
{
    uint64_t key = 0;
    const uint64_t word = on & 1u;
    PlovStatus ret = tx_queue_key(fpga, queue, &on, group, &key);
    if (ret != PLOV_OK)
        return ret;
    return DornWriteIndirById(fpga, group ? DORN_INDIR_TXQM_QGPWORK_CFG : DORN_INDIR_TXQM_QWORK_CFG, key, &word, 1);
}

PlovStatus car_key(FpgaId fpga, uint8_t port, uint8_t kind, uint64_t *key)
{
    PlovStatus ret = check_fpga(fpga);
    if (ret != PLOV_OK)
        return ret;
    if (kind > 1) {
        TRANS_LOG_ERR("Invalid package type [%d]\n", kind);
        return PLOV_ERR_KESP_ID;
    }
    *key = uint64_t{kind & 1u} << 4 | (port & 0xFu);
    return PLOV_OK;
}

PlovStatus check_selector(FpgaId fpga, uint8_t selector)
{
    PlovStatus ret = check_fpga(fpga);
    if (ret == PLOV_OK && selector >= DORN_SELECTORS)
        return PLOV_ERR_PARAM;
    return ret;
}

// A direct register's low bits into a narrower result.
template <typename T> PlovStatus get_reg(FpgaId fpga, uint64_t addr, uint64_t mask, T *out)
{
    PlovStatus ret = check_fpga(fpga);
    if (ret != PLOV_OK)
        return ret;
    if (out == nullptr)
        return PLOV_ERR_NULL_PTR;
    uint64_t v = 0;
    ret = DornGetRegData(fpga, addr, &v);
    if (ret == PLOV_OK)
        *out = static_cast<T>(v & mask);
    return ret;
}

PlovStatus set_reg(FpgaId fpga, uint64_t addr, uint64_t value)
{
    PlovStatus ret = check_fpga(fpga);
    return ret != PLOV_OK ? ret : DornSetRegData(fpga, addr, value);
}

}  // namespace

PlovStatus DornGetTxQSwitch(FpgaId fpga, const QueueId *queue, uint32_t *on) { return get_switch(fpga, queue, on, false); }
PlovStatus DornSetTxQSwitch(FpgaId fpga, const QueueId *queue, uint32_t on) { return set_switch(fpga, queue, on, false); }
PlovStatus DornGetTxQGroupSwitch(FpgaId fpga, const QueueId *queue, uint32_t *on) { return get_switch(fpga, queue, on, true); }
PlovStatus DornSetTxQGroupSwitch(FpgaId fpga, const QueueId *queue, uint32_t on) { return set_switch(fpga, queue, on, true); }

PlovStatus DornGetPortCar(FpgaId fpga, uint8_t port, uint8_t kind, uint64_t *value)
{
    uint64_t key = 0;
    PlovStatus ret = car_key(fpga, port, kind, &key);
    if (ret != PLOV_OK)
        return ret;
    return value == nullptr ? PLOV_ERR_NULL_PTR : DornReadIndirById(fpga, DORN_INDIR_RXM_CAR_CFG, key, value);
}

PlovStatus DornSetPortCar(FpgaId fpga, uint8_t port, uint8_t kind, uint64_t value)
{
    uint64_t key = 0;
    PlovStatus ret = car_key(fpga, port, kind, &key);
    if (ret != PLOV_OK)
        return ret;
    const uint64_t word = value & 0xFFFFFFFFu;
    return DornWriteIndirById(fpga, DORN_INDIR_RXM_CAR_CFG, key, &word, 1);
}

PlovStatus DornSetQueueReadPtrTimer(FpgaId fpga, uint8_t value) { return set_reg(fpga, kReadPtrTimer, value); }

PlovStatus DornGetAddrmSwitch(FpgaId fpga, uint8_t selector, uint32_t *on)
{
    PlovStatus ret = check_selector(fpga, selector);
    return ret != PLOV_OK ? ret : get_reg(fpga, kAddrm[selector][fpga], 1, on);
}

PlovStatus DornSetAddrmSwitch(FpgaId fpga, uint8_t selector, uint32_t on)
{
    PlovStatus ret = check_selector(fpga, selector);
    return ret != PLOV_OK ? ret : set_reg(fpga, kAddrm[selector][fpga], on & 1u);
}

PlovStatus DornGetFreeqPoolSwitch(FpgaId fpga, uint8_t selector, uint16_t *value)
{
    PlovStatus ret = check_selector(fpga, selector);
    return ret != PLOV_OK ? ret : get_reg(fpga, kFreeqPool[selector / 2], 0xFFFF, value);
}

PlovStatus DornSetFreeqPoolSwitch(FpgaId fpga, uint8_t selector, uint16_t value)
{
    PlovStatus ret = check_selector(fpga, selector);
    return ret != PLOV_OK ? ret : set_reg(fpga, kFreeqPool[selector / 2], value);
}

PlovStatus DornGetFreeqLvl(FpgaId fpga, uint8_t *level) { return get_reg(fpga, kFreeqLevel, 0xFF, level); }
PlovStatus DornSetFreeqLvl(FpgaId fpga, uint8_t level) { return set_reg(fpga, kFreeqLevel, level); }
PlovStatus DornGetFreeqTimeGrpGap(FpgaId fpga, uint16_t *gap) { return get_reg(fpga, kFreeqGap, 0xFF, gap); }
PlovStatus DornSetFreeqTimeGrpGap(FpgaId fpga, uint8_t gap) { return set_reg(fpga, kFreeqGap, gap); }

PlovStatus DornGetRxbufStat(FpgaId fpga, uint64_t first[2], uint64_t second[3])
{
    PlovStatus ret = check_fpga(fpga);
    if (ret != PLOV_OK)
        return ret;
    if (first == nullptr || second == nullptr)
        return PLOV_ERR_NULL_PTR;
    uint64_t *const outs[5] = {&first[0], &first[1], &second[0], &second[1], &second[2]};
    for (size_t i = 0; i < 5 && ret == PLOV_OK; i++)
        ret = DornGetRegData(fpga, kRxbuf[i], outs[i]);
    return ret;
}

// DORN port counters.
#include "boardlib/dorn_port_stat.h"

#include "boardlib/dorn_intf.h"
#include "boardlib/dorn_reg.h"

namespace {

// Where a front-port counter index lands; null: read and dropped.
uint64_t *front_field(PortStatistic &s, unsigned i)
{
    switch (i) {
    case 1: return &s.RxMultiCast;
    case 2: return &s.RxBroadCast;
    case 4: return &s.RxBytes;
    case 5: return &s.RxError;
    case 6: return &s.RxDrop;
    case 15: return &s.RxTotal;
    case 17: return &s.TxMultiCast;
    case 18: return &s.TxBroadCast;
    case 20: return &s.TxBytes;
    case 21: return &s.TxError;
    case 22: return &s.TxDrop;
    case 31: return &s.TxTotal;
    default: return nullptr;
    }
}

// Indexes 7-14 and 23-30 are never requested.
bool front_counter(unsigned i) { return !((i >= 7 && i <= 14) || (i >= 23 && i <= 30)); }

constexpr unsigned kFrontCounters = 32;

PlovStatus first_failure(PlovStatus first, PlovStatus ret) { return first != PLOV_OK ? first : ret; }

// Back-port register offsets and the counter each adds to.
struct BackRow {
    uint64_t offset;
    uint64_t PortStatistic::*field;
};
constexpr BackRow kBackRows[] = {{0x07, &PortStatistic::TxTotal}, {0x08, &PortStatistic::RxTotal},
                                 {0x0A, &PortStatistic::RxDrop},  {0x09, &PortStatistic::RxError},
                                 {0x0B, &PortStatistic::RxError}, {0x11, &PortStatistic::RxBytes},
                                 {0x12, &PortStatistic::TxBytes}};
constexpr uint64_t kBackBase[4] = {0x5780, 0x5B80, 0x5F80, 0x7B80};

}  // namespace

PlovStatus DornTransGetFrontPortStatistic(FpgaId fpga, uint8_t port, PortStatistic *stat)
{
    if (stat == nullptr)
        return PLOV_ERR_NULL_PTR;
    const bool sbuf = fpga == DORN_FPGA_SBUF;
    const uint32_t row = sbuf ? DORN_INDIR_DL_CNTM : DORN_INDIR_PIF_CNTM;
    const uint64_t key = sbuf ? ((port - 4u) & 3u) : (port & 15u);
    PlovStatus first = PLOV_OK;
    for (unsigned i = 0; i < kFrontCounters; i++) {
        if (!front_counter(i))
            continue;
        uint64_t value = 0;
        PlovStatus ret = DornReadIndirById(fpga, row, key | i << 4, &value);
        if (ret == PLOV_ERR_NO_MEM)
            return ret;
        first = first_failure(first, ret);
        uint64_t *field = front_field(*stat, i);
        if (ret == PLOV_OK && field != nullptr)
            *field = value;
    }
    return first;
}

PlovStatus DornTransClsFrontPortStatistic(uint8_t port)
{
    PlovStatus first = PLOV_OK;
    const uint64_t zero[8] = {};
    const size_t values = g_IndirReg[DORN_INDIR_PIF_CNTM].wlen - 1u;   // every value word zero
    for (unsigned i = 0; i < kFrontCounters; i++) {
        if (!front_counter(i))
            continue;
        PlovStatus ret = DornWriteIndirById(DORN_FPGA_TRANS, DORN_INDIR_PIF_CNTM, (port & 15u) | i << 4, zero, values);
        if (ret == PLOV_ERR_NO_MEM)
            return ret;
        first = first_failure(first, ret);
    }
    return first;
}

PlovStatus DornTransGetBackPortStatistic(uint8_t port, PortStatistic *stat)
{
    if (stat == nullptr)
        return PLOV_ERR_NULL_PTR;
    if (port >= 4)
        return PLOV_ERR_PORT_ID;
    for (const BackRow &r : kBackRows) {
        uint64_t value = 0;
        PlovStatus ret = DornGetRegData(DORN_FPGA_SBUF, kBackBase[port] + r.offset, &value);
        if (ret != PLOV_OK)
            return ret;
        stat->*r.field += value;
    }
    return PLOV_OK;
}

PlovStatus TRANS_GetPortMacTxStatistic(FpgaId fpga, uint8_t port, uint64_t counters[])
{
    if (port > 15)
        return PLOV_ERR_PORT_ID;
    if (counters == nullptr)
        return PLOV_ERR_NULL_PTR;
    const uint64_t regs[2] = {port < 8 ? 0x1E00u + port : 0x1E20u + (port - 8u),
                              port < 8 ? 0x1E10u + port : 0x1E28u + (port - 8u)};
    PlovStatus first = DornGetRegData(fpga, regs[0], &counters[5]);
    return first_failure(first, DornGetRegData(fpga, regs[1], &counters[6]));
}

PlovStatus DornGetRxmStatistics(FpgaId fpga, uint8_t port, uint64_t counters[DORN_RXM_COUNTERS])
{
    if (fpga > DORN_FPGA_SBUF) {
        TRANS_LOG_ERR("Invalid FpgaID [%d]\n", fpga);
        return PLOV_ERR_FPGA_ID;
    }
    if (counters == nullptr)
        return PLOV_ERR_NULL_PTR;
    for (unsigned i = 0; i < DORN_RXM_COUNTERS; i++) {
        PlovStatus ret = DornReadIndirById(fpga, DORN_INDIR_RXM_CNTM, (port & 15u) | i << 4, &counters[i]);
        if (ret != PLOV_OK)
            return ret;
    }
    return PLOV_OK;
}

#include "boardlib/plov_security_intf.h"

#include <array>
#include <iterator>

#include "boardlib/dorn_intf.h"
#include "boardlib/dorn_reg.h"
#include "boardlib/kesp_intf.h"
#include "boardlib/plov_check.h"

namespace {

constexpr FpgaId kTransFpga = 0;

// The common start of the DORN-only operations: the probe, FPGA 0 only,
// the output present; then the DORN-only rule. *done holds when the
// operation ends here with the returned status.
PlovStatus dorn_only_frame(FpgaId fpga, const void *out, int level, bool *done, const char *file, int line)
{
    *done = true;
    PlovStatus ret = PlovCheckLogicType();
    if (ret != PLOV_OK)
        return ret;
    if (fpga != kTransFpga)
        return PLOV_BAD_FPGA(fpga);
    if (out == nullptr)
        return PlovNullPointer();
    if (PlovDornOnlyRefuses(level, file, line))
        return PLOV_OK;
    *done = false;
    return PLOV_OK;
}

#define DORN_ONLY(fpga, out, level, done) dorn_only_frame((fpga), (out), (level), (done), __FILE__, __LINE__)

// Read the registers in order into the counters (low 32 bits); the first
// failure ends it with the counters read so far stored.
PlovStatus read_counters(const uint64_t *regs, size_t count, uint32_t *counters)
{
    for (size_t i = 0; i < count; i++) {
        uint64_t v = 0;
        PlovStatus ret = DornGetRegData(kTransFpga, regs[i], &v);
        if (ret != PLOV_OK)
            return ret;
        counters[i] = static_cast<uint32_t>(v);
    }
    return PLOV_OK;
}

constexpr uint64_t kScemIpv4Regs[SCEM_STATS_IPV4] = {0x5180, 0x5181, 0x5182, 0x5183, 0x5184, 0x5185, 0x5186,
                                                     0x5187, 0x5188, 0x5189, 0x518A, 0x518B, 0x518D, 0x518E};
constexpr uint64_t kScemIpv6Regs[SCEM_STATS_IPV6] = {0x5198, 0x5192, 0x5191, 0x5193, 0x5194,
                                                     0x5195, 0x5196, 0x5197, 0x5190, 0x5199};
constexpr uint64_t kScemIpv6Clear[SCEM_STATS_IPV6] = {0x5038, 0x5032, 0x5031, 0x5033, 0x5034,
                                                      0x5035, 0x5036, 0x5037, 0x5030, 0x5039};
constexpr uint64_t kScemClearValue = 3;

// The IPv4 statistics clear register of a type, 0 for none.
uint64_t ipv4_clear_reg(uint32_t type)
{
    if (type == 2)
        return 0x5019;
    if (type >= 4 && type <= 12)
        return 0x5010 + (type - 4);
    return type == 13 ? 0x501A : 0;
}

} // namespace

// ---- SCEM statistics -------------------------------------------------------------------------

PlovStatus PlovTransGetScemStats(FpgaId fpga, uint32_t counters[SCEM_STATS_IPV4])
{
    bool done = false;
    PlovStatus ret = DORN_ONLY(fpga, counters, PLOV_LEVEL_ERR, &done);
    return done ? ret : read_counters(kScemIpv4Regs, SCEM_STATS_IPV4, counters);
}

PlovStatus PlovTransGetScemStatsIpv6(FpgaId fpga, uint32_t counters[SCEM_STATS_IPV6])
{
    bool done = false;
    PlovStatus ret = DORN_ONLY(fpga, counters, PLOV_LEVEL_INFO, &done);
    return done ? ret : read_counters(kScemIpv6Regs, SCEM_STATS_IPV6, counters);
}

PlovStatus PlovTransClsScemStats(FpgaId fpga, uint32_t type)
{
    bool done = false;
    PlovStatus ret = DORN_ONLY(fpga, &type, PLOV_LEVEL_ERR, &done);
    if (done)
        return ret;
    uint64_t reg = ipv4_clear_reg(type);
    return reg == 0 ? PLOV_ERR_PARAM : DornSetRegData(kTransFpga, reg, kScemClearValue);
}

PlovStatus PlovTransClsScemStatsIpv6(FpgaId fpga, uint32_t type)
{
    bool done = false;
    PlovStatus ret = DORN_ONLY(fpga, &type, PLOV_LEVEL_ERR, &done);
    if (done)
        return ret;
    return type < SCEM_STATS_IPV6 ? DornSetRegData(kTransFpga, kScemIpv6Clear[type], kScemClearValue) : PLOV_ERR_PARAM;
}

// ---- SCEM parameters -------------------------------------------------------------------------------

namespace {

constexpr uint32_t kScemTypeMax = 307;
constexpr uint64_t kScemBitParaMax = 255;

// How a SCEM register holds its parameter.
enum class ScemKind {
    BitMap,         // one flag per Para value 0-255 in four registers going down from the base
    BitMapNoPara,   // the same; the get clears Para, the set takes Flag 0 or 1 only
    Flag,           // Flag in bit 0
    FlagNoPara,     // Flag in bit 0; the get clears Para
    Para12,         // Para in bits 11:0
    Para12Flag1,    // Para in bits 11:0; the get reports Flag 1
    Para8Flag1,     // Para in bits 7:0; the get reports Flag 1
    ParaFlag16,     // Para in bits 15:0, Flag in bit 16
};

struct ScemRow {
    uint32_t type;
    uint64_t reg;
    ScemKind kind;
};

constexpr ScemRow kScemRows[] = {
    {0, 0x5003, ScemKind::BitMap},         {256, 0x5007, ScemKind::Flag},
    {257, 0x5008, ScemKind::Flag},         {258, 0x5009, ScemKind::Flag},
    {259, 0x500A, ScemKind::Para12},       {260, 0x500B, ScemKind::Flag},
    {261, 0x500C, ScemKind::ParaFlag16},   {262, 0x500D, ScemKind::Flag},
    {263, 0x500E, ScemKind::Flag},         {300, 0x5023, ScemKind::BitMapNoPara},
    {301, 0x5026, ScemKind::Para12Flag1},  {302, 0x5025, ScemKind::Para8Flag1},
    {303, 0x5027, ScemKind::FlagNoPara},   {304, 0x5028, ScemKind::ParaFlag16},
    {305, 0x5029, ScemKind::ParaFlag16},   {306, 0x5006, ScemKind::FlagNoPara},
};

const ScemRow *scem_row(uint32_t type)
{
    for (const ScemRow &r : kScemRows)
        if (r.type == type)
            return &r;
    return nullptr;
}

bool bit_map(ScemKind k) { return k == ScemKind::BitMap || k == ScemKind::BitMapNoPara; }

// The register of a row for the record: bit maps pick one of four by Para.
PlovStatus scem_register(const ScemRow &row, const ScemPara &rec, uint64_t *reg)
{
    if (!bit_map(row.kind)) {
        *reg = row.reg;
        return PLOV_OK;
    }
    if (rec.Para > kScemBitParaMax)
        return PLOV_ERR_TOO_LARGE;
    *reg = row.reg - (rec.Para >> 6);
    return PLOV_OK;
}

void scem_decode(ScemKind kind, uint64_t v, ScemPara *rec)
{
    switch (kind) {
    case ScemKind::BitMap:
    case ScemKind::BitMapNoPara:
        rec->Flag = static_cast<uint32_t>(v >> (rec->Para & 63) & 1);
        if (kind == ScemKind::BitMapNoPara)
            rec->Para = 0;
        break;
    case ScemKind::Flag:
    case ScemKind::FlagNoPara:
        rec->Flag = static_cast<uint32_t>(v & 1);
        if (kind == ScemKind::FlagNoPara)
            rec->Para = 0;
        break;
    case ScemKind::Para12:
        rec->Para = v & 0xFFF;
        break;
    case ScemKind::Para12Flag1:
        rec->Flag = 1;
        rec->Para = v & 0xFFF;
        break;
    case ScemKind::Para8Flag1:
        rec->Flag = 1;
        rec->Para = v & 0xFF;
        break;
    case ScemKind::ParaFlag16:
        rec->Para = v & 0xFFFF;
        rec->Flag = static_cast<uint32_t>(v >> 16 & 1);
        break;
    }
}

// The register value a set writes; bit maps change one bit of `old`.
uint64_t scem_encode(ScemKind kind, const ScemPara &rec, uint64_t old)
{
    switch (kind) {
    case ScemKind::BitMap:
    case ScemKind::BitMapNoPara: {
        uint64_t bit = 1ULL << (rec.Para & 63);
        return (rec.Flag & 1) != 0 ? (old | bit) : (old & ~bit);
    }
    case ScemKind::Flag:
    case ScemKind::FlagNoPara:
        return rec.Flag & 1;
    case ScemKind::Para12:
    case ScemKind::Para12Flag1:
        return rec.Para & 0xFFF;
    case ScemKind::Para8Flag1:
        return rec.Para & 0xFF;
    case ScemKind::ParaFlag16:
        return uint64_t{rec.Flag & 1} << 16 | (rec.Para & 0xFFFF);
    }
    return 0;
}

// Checks shared by both parameter operations; *row stays null for a type
// without a register (the operation then answers 0 with no request).
PlovStatus scem_para_frame(FpgaId fpga, const ScemPara *rec, bool *done, const ScemRow **row, const char *file,
                           int line)
{
    PlovStatus ret = dorn_only_frame(fpga, rec, PLOV_LEVEL_ERR, done, file, line);
    if (*done)
        return ret;
    *done = true;
    if (rec->ScemType > kScemTypeMax)
        return PLOV_ERR_PARAM;
    *row = scem_row(rec->ScemType);
    *done = *row == nullptr;
    return PLOV_OK;
}

} // namespace

PlovStatus PlovTransGetScemPara(FpgaId fpga, ScemPara *rec)
{
    bool done = false;
    const ScemRow *row = nullptr;
    PlovStatus ret = scem_para_frame(fpga, rec, &done, &row, __FILE__, __LINE__);
    if (done)
        return ret;
    uint64_t reg = 0, v = 0;
    ret = scem_register(*row, *rec, &reg);
    if (ret == PLOV_OK)
        ret = DornGetRegData(kTransFpga, reg, &v);
    if (ret == PLOV_OK)
        scem_decode(row->kind, v, rec);
    return ret;
}

PlovStatus PlovTransSetScemPara(FpgaId fpga, const ScemPara *rec)
{
    bool done = false;
    const ScemRow *row = nullptr;
    PlovStatus ret = scem_para_frame(fpga, rec, &done, &row, __FILE__, __LINE__);
    if (done)
        return ret;
    uint64_t reg = 0, old = 0;
    if ((ret = scem_register(*row, *rec, &reg)) != PLOV_OK)
        return ret;
    if (row->kind == ScemKind::BitMapNoPara && rec->Flag > 1)
        return PLOV_ERR_PARAM;
    if (bit_map(row->kind) && (ret = DornGetRegData(kTransFpga, reg, &old)) != PLOV_OK)
        return ret;
    return DornSetRegData(kTransFpga, reg, scem_encode(row->kind, *rec, old));
}

// ---- CAR ------------------------------------------------------------------------------------------------

namespace {

constexpr uint64_t kRegCarDropSplit = 0x5982;
constexpr uint64_t kRegCarDropTotal = 0x5983;
constexpr uint64_t kRegCarFreshTime = 0x5807;
constexpr uint64_t kCarFreshMask = 0x7F;
constexpr uint64_t kCarBase = 0x5800;
constexpr uint64_t kCarSplit = 0x100000;   // entry selectors
constexpr uint64_t kCarTotal = 0x80000;
constexpr uint32_t kCarFieldMax = 0xFFFFFF;
constexpr unsigned kCarCirShift = 24;
constexpr unsigned kCarVldBit = 49;

PlovStatus get_car_cfg(FpgaId fpga, uint64_t selector, uint32_t *cbs, uint32_t *cir, uint8_t *vld, const char *file,
                       int line)
{
    const void *out = cbs != nullptr && cir != nullptr && vld != nullptr ? cbs : nullptr;
    bool done = false;
    PlovStatus ret = dorn_only_frame(fpga, out, PLOV_LEVEL_ERR, &done, file, line);
    if (done)
        return ret;
    std::array<uint64_t, 3> data{selector};
    IndirRegReq req{};
    req.baseaddr = kCarBase;
    req.cmd = 0;
    req.r2base = 3;
    req.wlen = 1;
    req.rlen = 2;
    req.data = data.data();
    ret = DornLogicReadIndirReg(kTransFpga, &req);
    if (ret != PLOV_OK)
        return ret;
    *cbs = static_cast<uint32_t>(data[2] & kCarFieldMax);
    *cir = static_cast<uint32_t>(data[2] >> kCarCirShift & kCarFieldMax);
    *vld = static_cast<uint8_t>(data[2] >> kCarVldBit & 1);
    return PLOV_OK;
}

PlovStatus set_car_cfg(FpgaId fpga, uint64_t selector, uint32_t cbs, uint32_t cir, uint8_t vld, const char *file,
                       int line)
{
    bool done = false;
    PlovStatus ret = dorn_only_frame(fpga, &cbs, PLOV_LEVEL_ERR, &done, file, line);
    if (done)
        return ret;
    if (cbs > kCarFieldMax) {
        PLOV_LOG_ERR("Too large cbs [%u]\n", cbs);
        return PLOV_ERR_TOO_LARGE;
    }
    if (cir > kCarFieldMax) {
        PLOV_LOG_ERR("Too large cir [%u]\n", cir);
        return PLOV_ERR_TOO_LARGE;
    }
    if (vld > 1) {
        PLOV_LOG_ERR("vld is invalid [%u]\n", vld);
        return PLOV_ERR_TOO_LARGE;
    }
    std::array<uint64_t, 2> data{selector, uint64_t{cbs} | uint64_t{cir} << kCarCirShift | uint64_t{vld} << kCarVldBit};
    IndirRegReq req{};
    req.baseaddr = kCarBase;
    req.cmd = 1;
    req.r2base = 3;
    req.wlen = 2;
    req.rlen = 0;
    req.data = data.data();
    return DornLogicWriteIndirReg(kTransFpga, &req);
}

} // namespace

PlovStatus PlovTransGetCarDropStat(FpgaId fpga, uint32_t selector, uint64_t *count)
{
    bool done = false;
    PlovStatus ret = DORN_ONLY(fpga, count, PLOV_LEVEL_ERR, &done);
    if (done)
        return ret;
    uint64_t v = 0;
    ret = DornGetRegData(kTransFpga, selector == 0 ? kRegCarDropSplit : kRegCarDropTotal, &v);
    if (ret == PLOV_OK)
        *count = v & 0xFFFFFFFF;
    return ret;
}

PlovStatus PlovTransGetCarFreshTime(FpgaId fpga, uint32_t *time)
{
    bool done = false;
    PlovStatus ret = DORN_ONLY(fpga, time, PLOV_LEVEL_ERR, &done);
    if (done)
        return ret;
    uint64_t v = 0;
    ret = DornGetRegData(kTransFpga, kRegCarFreshTime, &v);
    if (ret == PLOV_OK)
        *time = static_cast<uint32_t>(v & kCarFreshMask);
    return ret;
}

PlovStatus PlovTransSetCarFreshTime(FpgaId fpga, uint32_t time)
{
    bool done = false;
    PlovStatus ret = DORN_ONLY(fpga, &time, PLOV_LEVEL_ERR, &done);
    return done ? ret : DornSetRegData(kTransFpga, kRegCarFreshTime, time & kCarFreshMask);
}

PlovStatus PlovTransGetSplitCarCfg(FpgaId fpga, uint32_t *cbs, uint32_t *cir, uint8_t *vld)
{
    return get_car_cfg(fpga, kCarSplit, cbs, cir, vld, __FILE__, __LINE__);
}

PlovStatus PlovTransGetTotalCarCfg(FpgaId fpga, uint32_t *cbs, uint32_t *cir, uint8_t *vld)
{
    return get_car_cfg(fpga, kCarTotal, cbs, cir, vld, __FILE__, __LINE__);
}

PlovStatus PlovTransSetSplitCarCfg(FpgaId fpga, uint32_t cbs, uint32_t cir, uint8_t vld)
{
    return set_car_cfg(fpga, kCarSplit, cbs, cir, vld, __FILE__, __LINE__);
}

PlovStatus PlovTransSetTotalCarCfg(FpgaId fpga, uint32_t cbs, uint32_t cir, uint8_t vld)
{
    return set_car_cfg(fpga, kCarTotal, cbs, cir, vld, __FILE__, __LINE__);
}

// ---- anti-CPU settings (both boards) ---------------------------------------------------------------------

namespace {

constexpr uint64_t kRegAntiInterval = 0x3807;
constexpr uint32_t kRowBufcAnti = 3;   // BUFC_REG_BUFC_ANTI_CMD
constexpr uint8_t kPacketTypeMax = 3;

uint64_t anti_key(uint8_t port, uint8_t type) { return uint64_t{type & 3u} << 5 | (port & 0x1Fu); }

PlovStatus check_packet_type(uint8_t type)
{
    if (type <= kPacketTypeMax)
        return PLOV_OK;
    PLOV_LOG_ERR("Invalid package type [%d]\n", type);
    return PLOV_ERR_TOO_LARGE;
}

PlovStatus kesp_failure(const char *name, PlovStatus ret)
{
    if (ret != PLOV_OK)
        PLOV_LOG_ERR("call %s err\n", name);
    return ret;
}

} // namespace

PlovStatus PlovTransGetAntiCpuIntervalTime(FpgaId fpga, uint8_t *time)
{
    if (time == nullptr)
        return PlovNullPointer();
    bool kesp = false;
    PlovStatus ret = PlovCheckAndProbe(fpga, &kesp);
    if (ret != PLOV_OK)
        return ret;
    if (kesp)
        return kesp_failure("KespGetAntiCpuIntervalTime", KespGetAntiCpuIntervalTime(time));
    uint64_t v = 0;
    if ((ret = DornGetRegData(fpga, kRegAntiInterval, &v)) == PLOV_OK)
        *time = static_cast<uint8_t>(v & 7);
    return ret;
}

PlovStatus PlovTransSetAntiCpuIntervalTime(FpgaId fpga, uint8_t time)
{
    bool kesp = false;
    PlovStatus ret = PlovCheckAndProbe(fpga, &kesp);
    if (ret != PLOV_OK)
        return ret;
    if (kesp)
        return kesp_failure("KespSetAntiCpuIntervalTime", KespSetAntiCpuIntervalTime(time));
    ret = DornSetRegData(fpga, kRegAntiInterval, time & 7u);
    return ret > 0 ? PLOV_OK : ret;
}

PlovStatus PlovTransGetAntiCpuLevel(FpgaId fpga, uint8_t port, uint8_t type, uint16_t *level)
{
    if (level == nullptr)
        return PLOV_ERR_NULL_PTR;
    PlovStatus ret = PlovCheckFpgaId(fpga);
    if (ret == PLOV_OK)
        ret = check_packet_type(type);
    bool kesp = false;
    if (ret == PLOV_OK)
        ret = PlovProbeBranch(fpga, &kesp);
    if (ret != PLOV_OK)
        return ret;
    if (kesp)
        return kesp_failure("KespGetAntiCpuLevel", KespGetAntiCpuLevel(port, type, level));
    uint64_t v = 0;
    ret = DornReadIndirById(fpga, kRowBufcAnti, anti_key(port, type), &v);
    if (ret == PLOV_OK)
        *level = static_cast<uint16_t>(v & 0x3FF);
    return ret;
}

PlovStatus PlovTransSetAntiCpuLevel(FpgaId fpga, uint8_t port, uint8_t type, uint16_t level)
{
    PlovStatus ret = PlovCheckFpgaId(fpga);
    if (ret == PLOV_OK)
        ret = check_packet_type(type);
    bool kesp = false;
    if (ret == PLOV_OK)
        ret = PlovProbeBranch(fpga, &kesp);
    if (ret != PLOV_OK)
        return ret;
    if (kesp)
        return kesp_failure("KespSetAntiCpuLevel", KespSetAntiCpuLevel(port, type, level));
    uint64_t value = level & 0x3FFu;
    return DornWriteIndirById(fpga, kRowBufcAnti, anti_key(port, type), &value, 1);
}

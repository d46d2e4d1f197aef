// Board-independent FPGA controls on either board.
#include "boardlib/plov_fpga_intf.h"

#include <cstdio>
#include <cstdlib>
#include <iterator>
#include <new>

#include "bases/globals/globals.h"
#include "boardlib/dorn_intf.h"
#include "boardlib/dorn_logic.h"
#include "boardlib/dorn_reg.h"
#include "boardlib/dorn_version.h"
#include "boardlib/kesp_intf.h"
#include "boardlib/kesp_logic.h"
#include "boardlib/board_util.h"
#include "boardlib/plov_check.h"
#include "kelvo/kelvo.h"

uint8_t g_CpuUsage = 3;
uint8_t g_WorkState = 0;

GLOBALS_RESET(plov_fpga_intf)
{
    g_CpuUsage = 3;
    g_WorkState = 0;
}

namespace {

constexpr uint64_t kRegStandby = 0x0025;
constexpr uint64_t kRegVrf = 0x1820;
constexpr uint64_t kRegTrunk = 0x180A;
constexpr uint64_t kRegTxChecksum = 0x1C07;
constexpr uint64_t kRegRxChecksum = 0x5005;
constexpr uint64_t kRegIntTimer[] = {0x4002, 0x4003};
constexpr uint64_t kRegKespWorking = 0x5C42;
// Blocks whose bit 0 tells that the FPGA works, in the order they are read.
constexpr uint64_t kRegWorking[] = {0x6024, 0x6026, 0x6042, 0x6043, 0x3004, 0x3005};
// Hardware-buffer pool pointer pairs, by pair index.
constexpr uint64_t kPoolPair[4][2] = {{0x6143, 0x6144}, {0x6153, 0x6154}, {0x6123, 0x6124}, {0x6133, 0x6134}};
constexpr uint64_t kPoolPtrMask = 0x1FFF;
constexpr uint64_t kPoolWrap = 0x2000;
constexpr uint64_t kBlockUnit = 256;

constexpr uint64_t kSeedLimit = 0x400000;   // seeds are 22 bits
constexpr uint32_t kRowHashSeed = 10;       // FIBM_REG_FIBM_CFG_CMD
constexpr unsigned kSeedSelectShift = 36;

constexpr uint32_t kMsixTimerUnit = 10;
constexpr uint32_t kHrtimerUnit = 1000;

constexpr uint64_t kMacMask = 0xFFFF'FFFF'FFFFull;
constexpr uint8_t kTransMacPorts = 8;
constexpr uint64_t kTransMacTop = 0x180C;   // front port p at 0x180C - p
constexpr uint64_t kSbufMac[] = {0x1804, 0x1806, 0x1808, 0x1809};

// Second-location MAC registers of the sbuf FPGA, by port.
struct MacRow {
    uint8_t port;
    uint64_t reg;
};
constexpr MacRow kSecondMac[] = {{2, 0x1C13}, {3, 0x1C16}, {6, 0x1C12}, {7, 0x1C15}};

// KESP board, FPGA id other than 0; the line names `logged`.
PlovStatus kesp_fpga(uint32_t fpga, int logged)
{
    if (fpga == 0)
        return PLOV_OK;
    PLOV_LOG_ERR(" invalid fpga_id = %d\n", logged);
    return PLOV_ERR_KESP_FPGA;
}

bool kesp_board() { return geBoardLogicType == PLOV_BOARD_KESP; }

PlovStatus read_bit0(FpgaId fpga, uint64_t reg, uint8_t *out)
{
    uint64_t v = 0;
    PlovStatus ret = DornGetRegData(fpga, reg, &v);
    if (ret == PLOV_OK)
        *out = static_cast<uint8_t>(v & 1u);
    return ret;
}

} // namespace

// ---- checksum switches (DORN, FPGA 0) -------------------------------------------------------------

PlovStatus PLOV_TransGetCheckSumSwitch(FpgaId fpga, uint8_t *rx, uint8_t *tx)
{
    if (rx == nullptr || tx == nullptr) {
        PLOV_LOG_ERR("Call PLOV_TransGetCheckSumSwitch input NULL Pointer!\n");
        return PLOV_ERR_NULL_PTR;
    }
    if (fpga != 0)
        return PLOV_ERR_FPGA_ID;
    bool done = false;
    PlovStatus ret = PLOV_DORN_ONLY(&done);
    if (done)
        return ret;
    if ((ret = read_bit0(fpga, kRegTxChecksum, tx)) != PLOV_OK)
        return ret;
    return read_bit0(fpga, kRegRxChecksum, rx);
}

PlovStatus PLOV_TransSetCheckSumSwitch(FpgaId fpga, uint8_t rx, uint8_t tx)
{
    if (fpga != 0)
        return PLOV_ERR_FPGA_ID;
    bool done = false;
    PlovStatus ret = PLOV_DORN_ONLY(&done);
    if (done)
        return ret;
    if ((ret = DornSetRegData(fpga, kRegTxChecksum, tx & 1u)) != PLOV_OK)
        return ret;
    return DornSetRegData(fpga, kRegRxChecksum, rx & 1u);
}

// ---- load logic at reboot ---------------------------------------------------------------------------

PlovStatus PlovTransGetLogicLoadAtReboot(FpgaId fpga, uint8_t *flag)
{
    if (flag == nullptr) {
        PLOV_LOG_ERR("Call PlovTransGetLogicLoadAtReboot input NULL Pointer!\n");
        return PLOV_ERR_NULL_PTR;
    }
    if (fpga > 1) {
        PLOV_LOG_ERR("Input param error, FPGAID = %d\n", fpga);
        return PLOV_ERR_FPGA_ID;
    }
    PlovStatus ret = PlovCheckLogicType();
    if (ret != PLOV_OK)
        return ret;
    uint64_t value = 0;
    if (kesp_board()) {
        if ((ret = kesp_fpga(fpga, 1)) != PLOV_OK)
            return ret;
        if ((ret = KespGetLoadAtReboot(&value)) != PLOV_OK) {
            PLOV_LOG_ERR("Call KespGetLoadAtReboot failed, iRet[%d]\n", ret);
            return ret;
        }
    } else if ((ret = DornGetLoadAtReboot(fpga, &value)) != PLOV_OK) {
        PLOV_LOG_ERR("Call DornGetLoadAtReboot fail, iRet[%d]!\n", ret);
        return ret;
    }
    *flag = static_cast<uint8_t>(value);
    return PLOV_OK;
}

PlovStatus PlovTransSetLogicLoadAtReboot(FpgaId fpga, uint8_t load)
{
    if (fpga > 1 || load > 1) {
        PLOV_LOG_ERR("Input param error, FpgaID = %d, load= %d\n", fpga, load);
        return PLOV_ERR_FPGA_ID;
    }
    PlovStatus ret = PlovCheckLogicType();
    if (ret != PLOV_OK)
        return ret;
    if (kesp_board() && (ret = kesp_fpga(fpga, 1)) != PLOV_OK)
        return ret;
    if (load == 1 && (ret = TRANS_CollectLog()) != PLOV_OK)
        PLOV_LOG_ERR("Call TRANS_CollectLog fail, iRet[%d]!\n", ret);
    if (kesp_board()) {
        if ((ret = KespSetLoadAtReboot(load)) != PLOV_OK)
            PLOV_LOG_ERR("Call KespSetLoadAtReboot failed, iRet[%d]\n", ret);
        return ret;
    }
    if ((ret = DornSetLoadAtReboot(fpga, load)) != PLOV_OK)
        PLOV_LOG_ERR("Call DornSetLoadAtReboot fail, iRet[%d]!\n", ret);
    return ret;
}

// ---- controller state, free blocks ----------------------------------------------------------------------

PlovStatus PlovTransGetControllerDeviceState(FpgaId fpga, uint32_t *state)
{
    if (state == nullptr)
        return PLOV_ERR_NULL_PTR;
    bool kesp = false;
    PlovStatus ret = PlovProbeBranch(fpga, &kesp);
    if (ret != PLOV_OK)
        return ret;
    DrvInfo info{};
    ret = kesp ? KespGetDrvInfo(&info) : TransGetDrvInfo(fpga, &info);
    *state = ret == PLOV_OK ? static_cast<uint32_t>(info.ctrller_state) : 1u;
    return ret;
}

PlovStatus PLOV_TransGetFreeBlockOfHwBuf(FpgaId fpga, uint32_t poolType, uint64_t *blocks)
{
    bool kesp = false;
    PlovStatus ret = PlovProbeBranch(fpga, &kesp);
    if (ret != PLOV_OK)
        return ret;
    if (kesp) {
        if ((ret = KespGetFreeBlockOfHwBuf(poolType, blocks)) != PLOV_OK)
            PLOV_LOG_ERR("Call PLOV_TransGetFreeBlockOfHwBuf failed, iRet[%d]\n", ret);
        return ret;
    }
    if (fpga > 1)
        return PLOV_ERR_FPGA_ID;
    if (blocks == nullptr)
        return PLOV_ERR_NULL_PTR;
    const uint32_t pair = ((poolType >> 2) & 1u) + 2 * ((poolType >> 1) & 1u);
    uint64_t a = 0, b = 0;
    if ((ret = DornGetRegData(fpga, kPoolPair[pair][0], &a)) != PLOV_OK)
        return ret;
    if ((ret = DornGetRegData(fpga, kPoolPair[pair][1], &b)) != PLOV_OK)
        return ret;
    a &= kPoolPtrMask;
    b &= kPoolPtrMask;
    *blocks = (a - b + (a < b ? kPoolWrap : 0)) * kBlockUnit;
    return PLOV_OK;
}

// ---- interrupt timer ------------------------------------------------------------------------------------

namespace {

PlovStatus irq_mode(uint32_t *mode, uint32_t *irq, bool logged)
{
    PlovStatus ret = IsMsixIrqMode(mode, irq);
    if (ret != PLOV_OK && logged)
        PLOV_LOG_ERR("call IsMsixIrqMode fail %d\n", ret);
    return ret;
}

PlovStatus kesp_get_timer(uint16_t *time)
{
    uint32_t mode = 0, irq = 0;
    PlovStatus ret = irq_mode(&mode, &irq, true);
    if (ret != PLOV_OK)
        return ret;
    if (mode == KESP_IRQ_MSIX) {
        uint16_t v = 0;
        if ((ret = KespGetMsixIntTimer(&v)) != PLOV_OK) {
            PLOV_LOG_ERR("call KespGetMsixIntTimer fail %d\n", ret);
            return ret;
        }
        *time = static_cast<uint16_t>(v * kMsixTimerUnit);
        return PLOV_OK;
    }
    uint64_t period = 0;
    if ((ret = KespGetHrtimer(&period)) != PLOV_OK) {
        PLOV_LOG_ERR("call KespGetHrtimer fail %d\n", ret);
        return ret;
    }
    *time = static_cast<uint16_t>(period / kHrtimerUnit);
    return PLOV_OK;
}

PlovStatus kesp_set_timer(uint16_t time)
{
    uint32_t mode = 0, irq = 0;
    PlovStatus ret = irq_mode(&mode, &irq, true);
    if (ret != PLOV_OK)
        return ret;
    if (mode == KESP_IRQ_MSIX) {
        if (time % kMsixTimerUnit != 0) {
            PLOV_LOG_ERR("MSIX IRQ Time [%d] invalid \n", time);
            return PLOV_ERR_KESP_ID;
        }
        if ((ret = KespSetMsixIntTimer(time / kMsixTimerUnit)) != PLOV_OK)
            PLOV_LOG_ERR("call KespSetMsixIntTimer fail %d\n", ret);
        return ret;
    }
    if ((ret = KespSetHrtimer(uint64_t{time} * kHrtimerUnit)) != PLOV_OK)
        PLOV_LOG_ERR("call KespSetHrtimer fail %d\n", ret);
    return ret;
}

} // namespace

PlovStatus PlovTransGetIntTimer(FpgaId fpga, uint16_t *time)
{
    if (time == nullptr)
        return PlovNullPointer();
    bool kesp = false;
    PlovStatus ret = PlovProbeBranch(fpga, &kesp);
    if (ret != PLOV_OK)
        return ret;
    if (kesp)
        return kesp_get_timer(time);
    if (fpga > 1)
        return PLOV_ERR_FPGA_ID;
    uint64_t v = 0;
    if ((ret = DornGetRegData(fpga, kRegIntTimer[0], &v)) == PLOV_OK)
        *time = static_cast<uint16_t>(v);
    return ret;
}

PlovStatus PlovTransSetIntTimer(FpgaId fpga, uint16_t time)
{
    bool kesp = false;
    PlovStatus ret = PlovProbeBranch(fpga, &kesp);
    if (ret != PLOV_OK)
        return ret;
    if (kesp)
        return kesp_set_timer(time);
    if (fpga > 1)
        return PLOV_ERR_FPGA_ID;
    for (uint64_t reg : kRegIntTimer)
        if ((ret = DornSetRegData(fpga, reg, time)) != PLOV_OK)
            return ret;
    return PLOV_OK;
}

// ---- enable state and sequence --------------------------------------------------------------------------

PlovStatus PlovTransGetEnableState(FpgaId fpga, uint8_t *state)
{
    bool kesp = false;
    PlovStatus ret = PlovProbeBranch(fpga, &kesp);
    if (ret != PLOV_OK)
        return ret;
    if (state == nullptr)
        return PLOV_ERR_NULL_PTR;
    if (kesp) {
        DirRegReq req{kRegKespWorking, 0};
        if ((ret = KespLogicReadDirReg(&req)) == PLOV_OK)
            *state = static_cast<uint8_t>(req.data & 1u);
        return ret;
    }
    if (fpga > 1)
        return PLOV_ERR_FPGA_ID;
    for (uint64_t reg : kRegWorking) {
        uint8_t bit = 0;
        if ((ret = read_bit0(fpga, reg, &bit)) != PLOV_OK)
            return ret;
        if (bit == 1) {
            *state = 1;
            return PLOV_OK;
        }
    }
    *state = 0;
    return PLOV_OK;
}

PlovStatus PlovTransFpgaEnableSeqence(FpgaId fpga)
{
    uint8_t state = 0;
    PlovStatus ret = PlovTransGetEnableState(fpga, &state);
    if (ret != PLOV_OK)
        return ret;
    if (state == 1)
        return PLOV_ERR_WORKING;
    if (kesp_board())
        ret = fpga != 0 ? PLOV_ERR_KESP_FPGA : KespLogicUsrStart(g_CpuUsage);
    else
        ret = DornLogicUsrStart(fpga, g_CpuUsage);
    if (ret == PLOV_OK)
        g_WorkState = 1;
    return ret;
}

// ---- hash seeds (DORN, FPGA 0) --------------------------------------------------------------------------

namespace {

// One seed through the FIBM block: select word 0, key in word 4, seed in
// word 5 (written, or read back).
PlovStatus seed_access(bool write, uint64_t *words, uint64_t select, uint8_t key, uint64_t *seed)
{
    constexpr uint16_t kReadWords = 5, kWriteWords = 6;
    IndirRegReq req{};
    req.baseaddr = g_IndirReg[kRowHashSeed].baseaddr;
    req.cmd = write ? (g_IndirReg[kRowHashSeed].command | 1u) : g_IndirReg[kRowHashSeed].command;
    req.r2base = 7;
    req.ret2base = 8;
    req.wlen = write ? kWriteWords : kReadWords;
    req.rlen = write ? 0 : 1;
    req.data = words;
    words[0] = select << kSeedSelectShift;
    words[4] = key;
    if (write)
        words[5] = *seed;
    PlovStatus ret = write ? DornLogicWriteIndirReg(0, &req) : DornLogicReadIndirReg(0, &req);
    if (ret == PLOV_OK && !write)
        *seed = words[5];
    return ret;
}

PlovStatus seeds(bool write, uint8_t key1, uint8_t key2, uint64_t *seed1, uint64_t *seed2)
{
    constexpr size_t kWords = 6;
    auto *words = static_cast<uint64_t *>(std::malloc(kWords * sizeof(uint64_t)));
    if (words == nullptr)
        return PLOV_ERR_NO_MEM;
    KelvoErr err = memset_s(words, kWords * sizeof(uint64_t), 0, kWords * sizeof(uint64_t));
    if (err != 0)
        PLOV_LOG_ERR("memset_s failed %d, dest_str %p(%lu), cnt(%lu)\n", err, static_cast<void *>(words),
                     kWords * sizeof(uint64_t), kWords * sizeof(uint64_t));
    PlovStatus ret = seed_access(write, words, 1, key1, seed1);
    if (ret == PLOV_OK)
        ret = seed_access(write, words, 2, key2, seed2);
    std::free(words);
    return ret;
}

} // namespace

PlovStatus PlovTransGetHashSeed(FpgaId fpga, uint8_t key1, uint8_t key2, uint64_t *seed1, uint64_t *seed2)
{
    bool done = false;
    PlovStatus ret = PLOV_DORN_ONLY(&done);
    if (done)
        return ret;
    if (fpga != 0)
        return PLOV_ERR_FPGA_ID;
    if (seed1 == nullptr || seed2 == nullptr)
        return PLOV_ERR_NULL_PTR;
    return seeds(false, key1, key2, seed1, seed2);
}

PlovStatus PlovTransSetHashSeed(FpgaId fpga, uint8_t key1, uint8_t key2, uint64_t seed1, uint64_t seed2)
{
    bool done = false;
    PlovStatus ret = PLOV_DORN_ONLY(&done);
    if (done)
        return ret;
    if (fpga != 0)
        return PLOV_ERR_FPGA_ID;
    if (seed1 >= kSeedLimit || seed2 >= kSeedLimit)
        return PLOV_ERR_PARAM;
    return seeds(true, key1, key2, &seed1, &seed2);
}

// ---- CPU usage, VRF ---------------------------------------------------------------------------------------

PlovStatus PlovTransGetCpuUsage(uint32_t fpga, uint8_t *mask)
{
    PlovStatus ret = PlovCheckLogicType();
    if (ret != PLOV_OK)
        return ret;
    if (kesp_board()) {
        if (fpga != 0)
            return kesp_fpga(fpga, static_cast<int>(fpga));
        if (mask == nullptr)
            return PLOV_ERR_NULL_PTR;
        *mask = 1;
        return PLOV_OK;
    }
    if (fpga > 1)
        return PLOV_ERR_FPGA_ID;
    if (mask == nullptr)
        return PLOV_ERR_NULL_PTR;
    return DornLogicGetCpuUsg(static_cast<FpgaId>(fpga), mask);
}

PlovStatus PlovTransSetCpuUsage(uint32_t fpga, uint8_t mask)
{
    bool done = false;
    PlovStatus ret = PLOV_DORN_ONLY(&done);
    if (done)
        return ret;
    if (fpga > 1)
        return PLOV_ERR_FPGA_ID;
    return DornLogicSetCpuUsg(static_cast<FpgaId>(fpga), mask);
}

PlovStatus PlovTransGetVrfSwitch(uint32_t fpga, uint8_t *value)
{
    bool done = false;
    PlovStatus ret = PLOV_DORN_ONLY(&done);
    if (done)
        return ret;
    if (fpga != 0)
        return PLOV_ERR_FPGA_ID;
    if (value == nullptr)
        return PLOV_ERR_NULL_PTR;
    uint64_t v = 0;
    if ((ret = DornGetRegData(0, kRegVrf, &v)) == PLOV_OK)
        *value = static_cast<uint8_t>(v);
    return ret;
}

PlovStatus PlovTransSetVrfSwitch(uint32_t fpga, uint8_t value)
{
    bool done = false;
    PlovStatus ret = PLOV_DORN_ONLY(&done);
    if (done)
        return ret;
    if (fpga != 0)
        return PLOV_ERR_FPGA_ID;
    return DornSetRegData(0, kRegVrf, value);
}

// ---- timer / interrupt affinity ---------------------------------------------------------------------------

PlovStatus PlovTransGetHrtimerAffinity(uint32_t fpga, uint8_t *cpu)
{
    if (cpu == nullptr)
        return PLOV_ERR_NULL_PTR;
    if (fpga != 0)
        return PLOV_ERR_FPGA_ID;
    PlovStatus ret = PlovCheckLogicType();
    if (ret != PLOV_OK)
        return ret;
    if (!kesp_board())
        return DornGetHrtimerAffinity(0, cpu);
    uint32_t mode = 0, irq = 0;
    if ((ret = irq_mode(&mode, &irq, false)) != PLOV_OK)
        return ret;
    return mode == KESP_IRQ_MSIX ? GetMsixIrqBind(irq, cpu) : KespLogicGetHrtimerAffinity(cpu);
}

PlovStatus PlovTransSetHrtimerAffinity(uint32_t fpga, uint8_t cpu)
{
    if (fpga != 0)
        return PLOV_ERR_FPGA_ID;
    PlovStatus ret = PlovCheckLogicType();
    if (ret != PLOV_OK)
        return ret;
    if (!kesp_board())
        return DornSetHrtimerAffinity(0, cpu);
    if (cpu >= KESP_VCPUS_MAX_NUM) {
        PLOV_LOG_ERR("Cpuid(%d) must lower then KESP_VCPUS_MAX_NUM(12)", cpu);
        return PLOV_ERR_KESP_ID;
    }
    uint32_t mode = 0, irq = 0;
    if ((ret = irq_mode(&mode, &irq, false)) != PLOV_OK)
        return ret;
    std::printf("excute IsMsixIrqMode success,IrqMode[%d] IrqNo[%d]\n", mode, irq);
    if (mode != KESP_IRQ_MSIX)
        return KespLogicSetHrtimerAffinity(cpu);
    PLOV_LOG_INFO("PlovTransSetHrtimerAffinity: bind MSIX IRQ to CPU%d\n", cpu);
    return SetMsixIrqBind(irq, cpu);
}

// ---- trunk, standby (DORN) ----------------------------------------------------------------------------------

PlovStatus PLOV_TransGetTrunk(FpgaId fpga, const PortPro *pp, uint8_t *on)
{
    bool done = false;
    PlovStatus ret = PLOV_DORN_ONLY(&done);
    if (done)
        return ret;
    if (fpga != 1)
        return PLOV_ERR_FPGA_ID;
    if (pp == nullptr || on == nullptr)
        return PLOV_ERR_NULL_PTR;
    if (pp->LOC != 0 || pp->TYPE != 3)
        return PLOV_ERR_KESP_ID;
    if (pp->ID > 1)
        return PLOV_ERR_PORT_ID;
    uint64_t v = 0;
    if ((ret = DornGetRegData(fpga, kRegTrunk, &v)) == PLOV_OK)
        *on = static_cast<uint8_t>((v >> pp->ID) & 1u);
    return ret;
}

PlovStatus PLOV_TransSetTrunk(FpgaId fpga, const PortPro *pp, uint8_t on)
{
    bool done = false;
    PlovStatus ret = PLOV_DORN_ONLY(&done);
    if (done)
        return ret;
    if (fpga != 1)
        return PLOV_ERR_FPGA_ID;
    if (pp == nullptr)
        return PLOV_ERR_NULL_PTR;
    if (pp->LOC != 0 || pp->TYPE != 3 || pp->ID > 1)
        return PLOV_ERR_PORT_ID;
    return DornUpdateRegField(fpga, kRegTrunk, uint64_t{1} << pp->ID, uint64_t{on & 1u} << pp->ID);
}

PlovStatus PlovTransGetStandbyMode(FpgaId fpga, uint32_t *mode)
{
    bool done = false;
    PlovStatus ret = PLOV_DORN_ONLY(&done);
    if (done)
        return ret;
    if (fpga > 1)
        return PLOV_ERR_FPGA_ID;
    if (mode == nullptr)
        return PLOV_ERR_NULL_PTR;
    uint64_t v = 0;
    if ((ret = DornGetRegData(fpga, kRegStandby, &v)) == PLOV_OK)
        *mode = static_cast<uint32_t>(v & 1u);
    return ret;
}

PlovStatus PlovTransSetStandbyMode(FpgaId fpga, uint32_t mode)
{
    if (fpga > 1)
        return PLOV_ERR_FPGA_ID;
    bool done = false;
    PlovStatus ret = PLOV_DORN_ONLY(&done);
    if (done)
        return ret;
    for (FpgaId f : {FpgaId{0}, FpgaId{1}})
        if ((ret = DornSetRegData(f, kRegStandby, mode & 1u)) != PLOV_OK)
            return ret;
    return PLOV_OK;
}

// ---- port MAC addresses -------------------------------------------------------------------------------------

namespace {

// Where a DORN port's MAC lives; skip when the operation does nothing.
struct MacReg {
    FpgaId node;
    uint64_t reg;
    bool skip;
};

PlovStatus mac_register(FpgaId fpga, const PortWorkMode &rec, MacReg *at)
{
    *at = MacReg{fpga, 0, false};
    if (rec.Location == 0) {
        if (fpga == 0 && rec.PortId < kTransMacPorts)
            at->reg = kTransMacTop - rec.PortId;
        else if (fpga == 1 && rec.PortId < std::size(kSbufMac))
            at->reg = kSbufMac[rec.PortId];
        else {
            return PLOV_BAD_PORT(rec.PortId);
        }
        return PLOV_OK;
    }
    if (fpga == 0) {
        at->skip = true;
        return PLOV_OK;
    }
    uint32_t standby = 0;
    PlovStatus ret = PlovTransGetStandbyMode(0, &standby);
    if (ret != PLOV_OK)
        return ret;
    for (const MacRow &r : kSecondMac) {
        if (r.port == rec.PortId) {
            at->node = 1;
            at->reg = r.reg;
            return PLOV_OK;
        }
    }
    return PLOV_ERR_PORT_ID;
}

// Checks of the record forms; *kesp tells the branch.
PlovStatus mac_frame(FpgaId fpga, const PortWorkMode *rec, bool *kesp)
{
    if (rec == nullptr)
        return PlovNullPointer();
    PlovStatus ret = PlovCheckFpgaId(fpga);
    if (ret == PLOV_OK)
        ret = PlovCheckLogicType();
    if (ret != PLOV_OK)
        return ret;
    *kesp = kesp_board();
    return *kesp ? kesp_fpga(fpga, 1) : PLOV_OK;
}

} // namespace

PlovStatus PlovTransGetPortMac(FpgaId fpga, PortWorkMode *rec)
{
    bool kesp = false;
    PlovStatus ret = mac_frame(fpga, rec, &kesp);
    if (ret != PLOV_OK)
        return ret;
    if (kesp) {
        PortPro pro{0, 2, rec->PortId};
        if ((ret = KespGetPortMac(&pro, rec->Mac)) != PLOV_OK)
            PLOV_LOG_ERR("call KespGetPortMac err\n");
        return ret;
    }
    MacReg at{};
    if ((ret = mac_register(fpga, *rec, &at)) != PLOV_OK || at.skip)
        return ret;
    uint64_t v = 0;
    if ((ret = DornGetRegData(at.node, at.reg, &v)) != PLOV_OK)
        return ret;
    for (size_t i = 0; i < sizeof rec->Mac; i++)
        rec->Mac[i] = static_cast<uint8_t>(v >> (8 * (sizeof rec->Mac - 1 - i)));
    return PLOV_OK;
}

PlovStatus PlovTransSetPortMac(FpgaId fpga, const PortWorkMode *rec)
{
    bool kesp = false;
    PlovStatus ret = mac_frame(fpga, rec, &kesp);
    if (ret != PLOV_OK)
        return ret;
    if (kesp) {
        if (rec->Location != 0 || rec->PortId > 1) {
            PLOV_LOG_ERR("Invalid PortId %d\n", rec->PortId);
            return PLOV_ERR_PARAM;
        }
        PortPro pro{0, 2, rec->PortId};
        if ((ret = KespSetPortMac(&pro, rec->Mac)) != PLOV_OK)
            PLOV_LOG_ERR("call KespSetPortMac err\n");
        return ret;
    }
    MacReg at{};
    if ((ret = mac_register(fpga, *rec, &at)) != PLOV_OK || at.skip)
        return ret;
    uint64_t v = 0;
    for (uint8_t b : rec->Mac)
        v = v << 8 | b;
    return DornSetRegData(at.node, at.reg, v & kMacMask);
}

namespace {

// The property forms: checks, then the KESP call or the DORN record.
PlovStatus mac_property(FpgaId fpga, const PortPro *pp, bool *kesp, PortWorkMode *rec)
{
    if (pp == nullptr) {
        PLOV_LOG_ERR("NULL pointer detected!\n");
        return PLOV_ERR_NULL_PTR;
    }
    PlovStatus ret = PlovCheckLogicType();
    if (ret != PLOV_OK)
        return ret;
    *kesp = kesp_board();
    if (*kesp) {
        if ((ret = kesp_fpga(fpga, fpga)) != PLOV_OK)
            return ret;
        if (pp->LOC == 0 && pp->TYPE == 2 && pp->ID <= 1)
            return PLOV_OK;
        PLOV_LOG_ERR("Invalid FpgaID %d or pstPortPro LOC %d TYPE %d ID %d\n", 0, pp->LOC, pp->TYPE, pp->ID);
        return PLOV_ERR_KESP_ID;
    }
    *rec = PortWorkMode{};
    rec->Location = pp->LOC == 1 ? 1 : 0;
    return BoardPortProToPort(fpga, *pp, &rec->PortId) ? PLOV_OK : PLOV_ERR_KESP_ID;
}

void mac_copy_failed(KelvoErr err, const void *dest, const void *src)
{
    PLOV_LOG_ERR("memcpy_s failed %d, dest_str %p(%lu), src_str %p(%lu)\n", err, dest, 6ul, src, 6ul);
}

} // namespace

PlovStatus PLOV_TransGetPortMac(FpgaId fpga, const PortPro *pp, uint8_t mac[6])
{
    bool kesp = false;
    PortWorkMode rec{};
    PlovStatus ret = mac_property(fpga, pp, &kesp, &rec);
    if (ret != PLOV_OK)
        return ret;
    if (mac == nullptr)
        return PLOV_ERR_NULL_PTR;
    if (kesp) {
        if ((ret = KespGetPortMac(pp, mac)) != PLOV_OK)
            PLOV_LOG_ERR("call KespGetPortMac err\n");
        return ret;
    }
    if ((ret = PlovTransGetPortMac(fpga, &rec)) != PLOV_OK)
        return ret;
    KelvoErr err = memcpy_s(mac, sizeof rec.Mac, rec.Mac, sizeof rec.Mac);
    if (err != 0)
        mac_copy_failed(err, mac, rec.Mac);
    return PLOV_OK;
}

PlovStatus PLOV_TransSetPortMac(FpgaId fpga, const PortPro *pp, const uint8_t mac[6])
{
    bool kesp = false;
    PortWorkMode rec{};
    PlovStatus ret = mac_property(fpga, pp, &kesp, &rec);
    if (ret != PLOV_OK)
        return ret;
    if (mac == nullptr)
        return PLOV_ERR_NULL_PTR;
    if (kesp) {
        if ((ret = KespSetPortMac(pp, mac)) != PLOV_OK)
            PLOV_LOG_ERR("call KespSetPortMac err\n");
        return ret;
    }
    KelvoErr err = memcpy_s(rec.Mac, sizeof rec.Mac, mac, sizeof rec.Mac);
    if (err != 0)
        mac_copy_failed(err, rec.Mac, mac);
    return PlovTransSetPortMac(fpga, &rec);
}

// ---- register-space dump ---------------------------------------------------------------------------------------

PlovStatus PlovTransDumpRegs(FpgaId fpga, uint8_t *buf, uint32_t buf_len, uint32_t *out_len)
{
    if (buf_len < PLOV_DUMP_MIN)
        return PLOV_ERR_BUF_SMALL;
    if (buf == nullptr || out_len == nullptr)
        return PLOV_ERR_NULL_PTR;
    DrvInfo info{};
    PlovStatus ret = TransGetDrvInfo(fpga, &info);
    if (ret != PLOV_OK)
        return ret;
    RegSpaceReq req{};
    req.length = info.reg_len;
    req.buf = new (std::nothrow) uint8_t[req.length == 0 ? 1 : req.length]();
    if (req.buf == nullptr)
        return PLOV_ERR_NO_MEM;
    if ((ret = TransGetRegs(fpga, &req)) == PLOV_OK) {
        const uint32_t count = buf_len < req.length ? buf_len : req.length;
        KelvoErr err = memcpy_s(buf, buf_len, req.buf, count);
        if (err != 0)
            PLOV_LOG_ERR("memcpy_s failed %d, dest_str %p(%lu), src_str %p(%lu)\n", err, static_cast<void *>(buf),
                         static_cast<unsigned long>(buf_len), static_cast<void *>(req.buf),
                         static_cast<unsigned long>(count));
        *out_len = err == 0 ? count : 0;
    }
    delete[] req.buf;
    return ret;
}

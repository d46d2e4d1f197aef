// Characterisation of the board layer: every board-independent operation and
// every DORN/KESP backend entry point runs on both boards, once plain and once
// with its first driver request failing, on a fresh board each time. What it
// printed, returned, wrote through its pointers, asked of the host (journal),
// left in files and logged (source file and line masked) is kept one record a
// line and compared with tests/boardlib/golden/board_ops.txt.
//
// After a deliberate change of behaviour, rewrite the expectation with
//   QUORBIX_GOLDEN_UPDATE=1 build-test/tests/test_boardlib --gtest_filter='BoardGolden.*'
// and review the diff of the file.
#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <memory>
#include <regex>
#include <sstream>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

#include "bases/drv/plov_drv.h"
#include "bases/globals/globals.h"
#include "boardlib/dorn_intf.h"
#include "boardlib/dorn_logic.h"
#include "boardlib/dorn_mem.h"
#include "boardlib/dorn_port.h"
#include "boardlib/dorn_port_stat.h"
#include "boardlib/dorn_queue.h"
#include "boardlib/dorn_reg.h"
#include "boardlib/dorn_selftest.h"
#include "boardlib/dorn_sfp.h"
#include "boardlib/dorn_version.h"
#include "boardlib/kesp_intf.h"
#include "boardlib/kesp_logic.h"
#include "boardlib/kesp_selftest.h"
#include "boardlib/board_util.h"
#include "boardlib/plov_fpga_intf.h"
#include "boardlib/plov_mem_intf.h"
#include "boardlib/plov_port_intf.h"
#include "boardlib/plov_port_stat.h"
#include "boardlib/plov_queue_intf.h"
#include "boardlib/plov_security_intf.h"
#include "boardlib/plov_table_intf.h"
#include "boardlib/plov_trans_intf.h"
#include "boardlib/plov_types.h"
#include "sim/sim_board.h"
#include "sim/sim_host.h"

#include <sys/wait.h>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;

// Zeroed memory behind every pointer or reference argument, one slot per
// argument position.
constexpr size_t kSlots = 6;
constexpr size_t kSlotSize = 8192;

struct Arena {
    alignas(64) uint8_t slot[kSlots][kSlotSize] = {};
    bool used[kSlots] = {};

    // An argument of type T at position i: pointers and references reach
    // slot i; the first value argument (the FPGA, port or id) is 0, later
    // ones 1.
    template <typename T> T arg(size_t i)
    {
        if constexpr (std::is_pointer_v<T>) {
            used[i] = true;
            return reinterpret_cast<T>(slot[i]);
        } else if constexpr (std::is_lvalue_reference_v<T>) {
            used[i] = true;
            return *reinterpret_cast<std::remove_reference_t<T> *>(slot[i]);
        } else if constexpr (std::is_integral_v<T>) {
            return static_cast<T>(i == 0 ? 0 : 1);
        } else {
            return T{};
        }
    }

    template <typename R, typename... A, size_t... I>
    long long call_with(R (*fn)(A...), std::index_sequence<I...>)
    {
        if constexpr (std::is_void_v<R>) {
            fn(arg<A>(I)...);
            return 0;
        } else if constexpr (std::is_integral_v<R>) {
            return static_cast<long long>(fn(arg<A>(I)...));
        } else {
            (void)fn(arg<A>(I)...);
            return 0;
        }
    }
    template <typename R, typename... A> long long call(R (*fn)(A...))
    {
        static_assert(sizeof...(A) <= kSlots);
        return call_with(fn, std::index_sequence_for<A...>{});
    }
};

struct Op {
    const char *name;
    std::function<long long(Arena &)> run;
};

// The requests on an open descriptor: FPGA 0's node, opened before and
// closed after.
template <typename R, typename... A, size_t... I>
long long fd_call(Arena &a, int fd, R (*fn)(int, A...), std::index_sequence<I...>)
{
    return static_cast<long long>(fn(fd, a.arg<A>(I + 1)...));
}
template <typename R, typename... A> long long with_fd(Arena &a, R (*fn)(int, A...))
{
    int fd = DornGetFd(0);
    if (fd < 0)
        return fd;
    long long ret = fd_call(a, fd, fn, std::index_sequence_for<A...>{});
    DornCloseDev(fd);
    return ret;
}

#define OP(fn) Op{#fn, [](Arena &a) { return a.call(&fn); }}
#define FD_OP(fn) Op{#fn, [](Arena &a) { return with_fd(a, &fn); }}


} // namespace

namespace {

// Every operation, in the order of the headers.
const std::vector<Op> &ops()
{
    static const std::vector<Op> table = {
    // plov_trans_intf.h
    OP(TRANS_BoardGetLogicType),
    OP(PlovCheckLogicType),
    OP(PlovCheckFpgaId),
    OP(PlovCheckKespFpga),
    OP(PlovNullPointer),
    OP(PlovProbeBranch),
    OP(PlovCheckAndProbe),
    OP(PlovDornOnlyRefuses),
    OP(PlovTransSetIntMask),
    OP(PlovTransGetIntMask),
    OP(PlovTransGetPortPrivStatistics),
    OP(PlovTransSetAntiCpuSwitchAll),
    OP(PlovTransGetAntiCpuSwitchAll),
    OP(PlovTransSetAntiCpuSwitch),
    OP(PlovTransGetAntiCpuSwitch),
    OP(PlovTransSetAntiCpuResLevel),
    OP(PlovTransGetAntiCpuResLevel),
    // plov_types.h
    OP(PlovTransPhy2Vir),
    OP(PlovTransVir2Phy),
    // board_util.h
    OP(BoardReadCmdline),
    OP(BoardPortProToPort),
    // plov_fpga_intf.h
    OP(PLOV_TransGetCheckSumSwitch),
    OP(PLOV_TransSetCheckSumSwitch),
    OP(PlovTransGetLogicLoadAtReboot),
    OP(PlovTransSetLogicLoadAtReboot),
    OP(PlovTransGetControllerDeviceState),
    OP(PLOV_TransGetFreeBlockOfHwBuf),
    OP(PlovTransGetIntTimer),
    OP(PlovTransSetIntTimer),
    OP(PlovTransGetEnableState),
    OP(PlovTransFpgaEnableSeqence),
    OP(PlovTransGetHashSeed),
    OP(PlovTransSetHashSeed),
    OP(PlovTransGetCpuUsage),
    OP(PlovTransSetCpuUsage),
    OP(PlovTransGetVrfSwitch),
    OP(PlovTransSetVrfSwitch),
    OP(PlovTransGetHrtimerAffinity),
    OP(PlovTransSetHrtimerAffinity),
    OP(PLOV_TransGetTrunk),
    OP(PLOV_TransSetTrunk),
    OP(PlovTransGetStandbyMode),
    OP(PlovTransSetStandbyMode),
    OP(PlovTransGetPortMac),
    OP(PlovTransSetPortMac),
    OP(PLOV_TransGetPortMac),
    OP(PLOV_TransSetPortMac),
    OP(PlovTransDumpRegs),
    // plov_mem_intf.h
    OP(PlovTransGetMemCfg),
    OP(PlovTransSetMemCfg),
    OP(PlovTransGetMemMap),
    OP(PlovTransGetQueueAddr),
    OP(PLOV_TransGetMemRang),
    OP(PlovTransGetSwbufBase),
    OP(PlovTransGetPoolBase),
    // plov_port_intf.h
    OP(PlovTransSetPortReset),
    OP(PLOV_TransSetPortReset),
    OP(PlovTransGetPortFlowCtrl),
    OP(PlovTransSetPortFlowCtrl),
    OP(PLOV_TransGetPortStaticMac),
    OP(PlovTransGetPortMap),
    OP(PlovTransSetPortMap),
    OP(PlovTransGetPortMode),
    OP(PLOV_TransGetPortMode),
    OP(PlovTransSetPortMode),
    OP(PLOV_TransSetPortMode),
    OP(PlovTransGetPortLinkStat),
    OP(PLOV_TransGetPortLinkStat),
    OP(PlovTransGetPortSwitch),
    OP(PlovTransSetPortSwitch),
    OP(PlovTransGetMtu),
    OP(PlovTransSetMtu),
    OP(TRANS_GetPortCfgMode),
    OP(TransGetPortCfgMode),
    // plov_port_stat.h
    OP(PlovTransClsVlanStatistic),
    OP(PlovTransGetVlanStatistic),
    OP(PLOV_TransClsPortMacStatistics),
    OP(PLOV_TransGetPortMacStatistics),
    OP(PlovTransClsPortStatistic),
    OP(PLOV_TransClsPortStatistics),
    OP(PlovTransGetPortStatistic),
    OP(PLOV_TransGetPortStatistics),
    // plov_queue_intf.h
    OP(PlovTransGetTxProcessMatch),
    OP(PlovTransSetTxProcessMatch),
    OP(PlovTransGetQueueDataOffset),
    OP(PlovTransSetQueueDataOffset),
    OP(PlovTransGetQueueWaterLvl),
    OP(PlovTransSetQueueWaterLvl),
    OP(PlovTransGetRxqHashRule),
    OP(PlovTransSetRxqHashRule),
    OP(PlovTransGetQueueSwitch),
    OP(PlovTransSetQueueSwitch),
    OP(PlovTransClsQueueStatics),
    OP(PlovTransGetQueueStatics),
    // plov_security_intf.h
    OP(PlovTransGetScemStats),
    OP(PlovTransGetScemStatsIpv6),
    OP(PlovTransClsScemStats),
    OP(PlovTransClsScemStatsIpv6),
    OP(PlovTransGetScemPara),
    OP(PlovTransSetScemPara),
    OP(PlovTransGetCarDropStat),
    OP(PlovTransGetCarFreshTime),
    OP(PlovTransSetCarFreshTime),
    OP(PlovTransGetSplitCarCfg),
    OP(PlovTransGetTotalCarCfg),
    OP(PlovTransSetSplitCarCfg),
    OP(PlovTransSetTotalCarCfg),
    OP(PlovTransGetAntiCpuIntervalTime),
    OP(PlovTransSetAntiCpuIntervalTime),
    OP(PlovTransGetAntiCpuLevel),
    OP(PlovTransSetAntiCpuLevel),
    // plov_table_intf.h
    OP(PlovAddRecordByKey),
    OP(PlovGetRecordByKey),
    OP(PlovDelRecordByKey),
    OP(PlovAddRecordByIndex),
    OP(PlovGetRecordByIndex),
    OP(PlovDelRecordByIndex),
    OP(PlovGetStatByIndex),
    OP(PlovClrStatByIndex),
    OP(PlovGetStatByKey),
    OP(PlovClrStatByKey),
    OP(PlovDelAllTable),
    // dorn_logic.h
    Op{"DornOpenDev",
       [](Arena &) {
           int fd = DornOpenDev(PLOV_TRANS_NODE);
           return fd < 0 ? fd : (DornCloseDev(fd), 0LL);
       }},
    Op{"DornCloseDev",
       [](Arena &) {
           int fd = DornGetFd(0);
           return fd < 0 ? fd : static_cast<long long>(DornCloseDev(fd));
       }},
    Op{"DornGetFd",
       [](Arena &) {
           int fd = DornGetFd(1);
           return fd < 0 ? fd : (DornCloseDev(fd), 0LL);
       }},
    FD_OP(IoctlWriteDirReg),
    FD_OP(IoctlReadDirReg),
    FD_OP(IoctlWriteIndirReg),
    FD_OP(IoctlReadIndirReg),
    FD_OP(IoctlSetShmem),
    FD_OP(IoctlGetShmem),
    FD_OP(IoctlSetMemDep),
    FD_OP(IoctlGetMemDep),
    FD_OP(IoctlUsrStart),
    FD_OP(IoctlGetQueueAddr),
    FD_OP(IoctlGetSwBufBase),
    FD_OP(IoctlSetCpuUsg),
    FD_OP(IoctlGetCpuUsg),
    FD_OP(IoctlGetMemDesc),
    FD_OP(IoctlSetHrtimerAffinity),
    FD_OP(IoctlGetHrtimerAffinity),
    FD_OP(IoctlGetDrvInfo),
    FD_OP(IoctlGetRegs),
    FD_OP(IoctlGetPortStaticMac),
    OP(DornLogicReadDirReg),
    OP(DornLogicWriteDirReg),
    OP(DornLogicReadIndirReg),
    OP(DornLogicWriteIndirReg),
    OP(DornLogicGetQueueAddr),
    OP(DornLogicGetSwbufBase),
    OP(TransGetMemDesc),
    OP(DornLogicGetMemDep),
    OP(DornLogicSetMemDep),
    OP(DornLogicSetShmem),
    OP(DornLogicGetShmem),
    OP(DornLogicUsrStart),
    OP(DornLogicGetCpuUsg),
    OP(DornLogicSetCpuUsg),
    OP(DornGetHrtimerAffinity),
    OP(DornSetHrtimerAffinity),
    OP(DornGetRegs),
    OP(DornGetDrvInfo),
    OP(DornGetLoadAtReboot),
    OP(DornSetLoadAtReboot),
    OP(DornGetQueueSwitch),
    OP(DornSetQueueSwitch),
    // dorn_intf.h
    OP(DornIndirBuild),
    OP(DornIndirRelease),
    OP(DornReadIndirById),
    OP(DornWriteIndirById),
    // dorn_mem.h
    OP(DornMemMap),
    OP(DornGetMemUsgNum),
    OP(DornGetCpuPresent),
    OP(TransDealMemDesc),
    // dorn_port.h
    OP(DornTransGetPortPHYLoopMode),
    OP(DornTransGetPortMACLoopMode),
    OP(DornTransSetPortPHYLoopMode),
    OP(DornTransSetPortMACLoopMode),
    OP(TRANS_GetPortPhyLoopMode),
    OP(TRANS_GetPortMacLoopMode),
    OP(TRANS_SetPortPhyLoopMode),
    OP(TRANS_SetPortMacLoopMode),
    OP(DornTransGetPortPhyPara),
    OP(DornTransSetPortPhyPara),
    OP(DornTransGetDePauseCtrl),
    OP(DornTransSetDePauseCtrl),
    OP(DornTransGetDePauseLevel),
    OP(DornTransSetDePauseLevel),
    OP(DornTransGetPortHwReset),
    OP(DornTransSetPortHwReset),
    OP(DornTransGetPortPhyDown),
    OP(DornTransPortForcePhyDown),
    OP(TRANS_SetPortPhyDown),
    OP(TRANS_GetPortPhyDown),
    OP(TRANS_SetSfpPowerDown),
    OP(TRANS_GetSfpCtrlStatus),
    OP(DornTransSetSfpStatus),
    OP(TRANS_GetOpticalMode),
    OP(TRANS_SetOpticalAnMode),
    OP(TRANS_GetElectricMode),
    OP(TRANS_SetElectricAnMode),
    OP(DornTransGetPortDRP),
    OP(DornTransSetPortDRP),
    OP(DornTransSetPortGtxPrbs),
    OP(DornTransClsPortGtxPbrs),
    // dorn_port_stat.h
    OP(DornTransGetFrontPortStatistic),
    OP(DornTransClsFrontPortStatistic),
    OP(DornTransGetBackPortStatistic),
    OP(TRANS_GetPortMacTxStatistic),
    OP(DornGetRxmStatistics),
    // dorn_queue.h
    OP(DornGetTxQSwitch),
    OP(DornSetTxQSwitch),
    OP(DornGetTxQGroupSwitch),
    OP(DornSetTxQGroupSwitch),
    OP(DornGetPortCar),
    OP(DornSetPortCar),
    OP(DornSetQueueReadPtrTimer),
    OP(DornGetAddrmSwitch),
    OP(DornSetAddrmSwitch),
    OP(DornGetFreeqPoolSwitch),
    OP(DornSetFreeqPoolSwitch),
    OP(DornGetFreeqLvl),
    OP(DornSetFreeqLvl),
    OP(DornGetFreeqTimeGrpGap),
    OP(DornSetFreeqTimeGrpGap),
    OP(DornGetRxbufStat),
    // dorn_reg.h
    OP(DornGetRegData),
    OP(DornSetRegData),
    OP(DornUpdateRegField),
    // dorn_selftest.h
    OP(TRANS_FpgaDdrTest),
    OP(TRANS_FpgaQdrTest),
    OP(TRANS_FpgaRldramTest),
    OP(TRANS_Ddr3TestConf),
    OP(TRANS_QdrTestConf),
    OP(TRANS_RldramTestConf),
    OP(TRANS_DevTestComConf),
    OP(TRANS_DevTestGetResult),
    OP(TRANS_PrepareBeforeDevTest),
    OP(TRANS_SetPortEnable),
    OP(DornFpgaTestReg),
    OP(TRANS_FpgaTestReg),
    OP(DornStartDdr3SelfTest),
    OP(DornFpgaDDR3Test),
    OP(DornFpgaQDRTest),
    OP(DornFpgaRLDRTest),
    OP(DornGetDDR3TestResult),
    OP(DornGetQDRTestResult),
    OP(DornGetRLDRTestResult),
    OP(DornStartTcamSelfTest),
    OP(DornGetTcamTestResult),
    OP(TRANS_GetTcamTestResult),
    OP(TRANS_FpgaTcamTest),
    OP(TRANS_GetTcamRealTimeTestRes),
    OP(TRANS_GetControllerDeviceState),
    // dorn_sfp.h
    OP(TRANS_GetSfpReg),
    OP(TRANS_SetSfpReg),
    OP(DornTransGetSfpArea),
    OP(TRANS_GetSfpHsState),
    OP(TRANS_GetIicStatus),
    OP(DornTransGetSfpPresent),
    OP(TRANS_GetSfpPresent),
    OP(DornTransGetPortSfpinfo),
    OP(TRANS_GetPortSfpInfo),
    OP(DornTransGetPortSfpStat),
    OP(TRANS_GetPortSfpStat),
    OP(TRANS_TestSfpInPin),
    OP(TRANS_TestSfpOutPin),
    OP(TRANS_TestSfpIOPin),
    OP(DornSfpOps),
    // dorn_version.h
    OP(DornTransVersion),
    OP(DornLibVer115001),
    OP(DornTransGetFpgaVer),
    OP(DornTransGetFwRunVer),
    OP(DornTransGetDrvVer),
    OP(TransGetDrvInfo),
    OP(TransGetPortStaticMac),
    OP(TransGetRegs),
    Op{"TRANS_FileRead",
       [](Arena &a) {
           sim_write_file("/tmp/golden-in", "first line\nsecond\n");
           return static_cast<long long>(TRANS_FileRead("/tmp/golden-in", a.arg<uint8_t *>(1), 64,
                                                        a.arg<uint32_t *>(3), 0));
       }},
    Op{"TRANS_FileWrite",
       [](Arena &) {
           static const uint8_t text[] = "written\n";
           return static_cast<long long>(TRANS_FileWrite("/tmp/golden-out", text, 8, "w"));
       }},
    OP(TRANS_CollectLog),
    OP(TRANS_Shot),
    // kesp_logic.h
    Op{"KespGetFd",
       [](Arena &) {
           int fd = KespGetFd();
           return fd < 0 ? fd : (KespCloseFile(fd), 0LL);
       }},
    Op{"KespCloseFile",
       [](Arena &) {
           int fd = KespGetFd();
           return fd < 0 ? fd : static_cast<long long>(KespCloseFile(fd));
       }},
    OP(KespLogicWriteDirReg),
    OP(KespLogicReadDirReg),
    OP(KespLogicWriteIndirReg),
    OP(KespLogicReadIndirReg),
    OP(KespLogicClearIndirReg),
    OP(KespLogicSetShmem),
    OP(KespLogicGetShmem),
    OP(KespLogicSetMemDep),
    OP(KespLogicGetMemDep),
    OP(KespLogicUsrStart),
    OP(KespLogicGetQueueAddr),
    OP(KespLogicGetSwbufBase),
    OP(KespGetMemDesc),
    OP(KespSetSfpReg),
    OP(KespGetSfpReg),
    OP(KespLogicSetHrtimerAffinity),
    OP(KespLogicGetHrtimerAffinity),
    OP(KespGetDrvInfo),
    OP(KespSetHrtimer),
    OP(KespGetHrtimer),
    OP(KespRmPciPortEp),
    OP(KespAddPciPortEp),
    OP(KespGetDrvVer),
    OP(KespSetLoadAtReboot),
    OP(KespGetLoadAtReboot),
    // kesp_intf.h
    OP(KespReadIndregByID),
    OP(KespWriteIndregByID),
    OP(KespClearCntIndregByID),
    OP(KespSetPortSwitch),
    OP(KespGetPortSwitch),
    OP(KespTransSetPortPHYLoopMode),
    OP(KespTransGetPortPHYLoopMode),
    OP(KespTransSetPortMACLoopMode),
    OP(KespTransGetPortMACLoopMode),
    OP(KespTransGetPortForcePhyDown),
    OP(KespTransSetPortForcePhyDown),
    OP(KespGetPortLinkStates),
    OP(KespSetPortReset),
    OP(KespGetPortReset),
    OP(KespSetMtu),
    OP(KespGetMtu),
    OP(KespSetPortMac),
    OP(KespGetPortMac),
    OP(KespClsPortStatistics),
    OP(KespGetPortRxBytesCnt),
    OP(KespGetPortRxErrorCnt),
    OP(KespGetPortRxDropCnt),
    OP(KespGetPortRxUniCastCnt),
    OP(KespGetPortRxMultiCastCnt),
    OP(KespGetPortRxBroadCastCnt),
    OP(KespGetPortTxBytesCnt),
    OP(KespGetPortTxErrorCnt),
    OP(KespGetPortTxUniCastCnt),
    OP(KespGetPortTxMultiCastCnt),
    OP(KespGetPortTxBroadCastCnt),
    OP(KespGetPortStatistics),
    OP(KespGetMediaPortStatistics),
    OP(KespClrMediaPortSstistics),
    OP(KespGetPhyMngRefClkWarnning),
    OP(KespGetDxauiRefClkWarnning),
    OP(KespGetFwRunVer),
    OP(KespSetAntiCpuIntervalTime),
    OP(KespGetAntiCpuIntervalTime),
    OP(KespSetAntiCpuLevel),
    OP(KespGetAntiCpuLevel),
    OP(KespMapQueueIndex),
    OP(KespGetIndregAddrOfQueue),
    OP(KespSetQueueSwitch),
    OP(KespGetQueueSwitch),
    OP(KespSetRxQueuesSwitch),
    OP(KespSetTxQueuesSwitch),
    OP(KespSetRlQueueSwitch),
    OP(KespGetRxQueuesSwitch),
    OP(KespGetTxQueuesSwitch),
    OP(KespGetRlQueuesSwitch),
    OP(KespClsQueueStatics),
    OP(KespGetQueueStatics),
    OP(KespGetQueueWaterLvl),
    OP(KespSetQueueWaterLvl),
    OP(KespSetSyncId),
    OP(KespGetSyncId),
    OP(KespSetRxqHashRule),
    OP(KespGetRxqHashRule),
    OP(KespSetQueueDataOffset),
    OP(KespGetQueueDataOffset),
    OP(KespGetFreeBlockOfHwBuf),
    OP(KespGetPoolBaseAddr),
    OP(KespSetMemCfg),
    OP(KespGetSfpPresent),
    OP(KespGetSfpInfo),
    OP(KespReadSfpInfoByReg),
    OP(IsMsixIrqMode),
    OP(GetMsixIrqBind),
    OP(SetMsixIrqBind),
    OP(KespGetMsixIntTimer),
    OP(KespSetMsixIntTimer),
    // kesp_selftest.h
    OP(KespDdrTest),
    OP(KespQdrTest),
    OP(KespPortTest),
    OP(KespFpgaTestReg),
    OP(KespSetDdrTestStart),
    OP(KespGetDdrTestResult),
    OP(KespSetDdrMarchTestStart),
    OP(KespGetDdrMarchTestResult),
    OP(KespReadyForQdrTest),
    OP(KespSetQdrTestStart),
    OP(KespGetQdrTestResult),
    OP(KespSetQdrMarchTestStart),
    OP(KespGetQdrMarchTestResult),
    OP(KespDxauiPortTest),
    OP(KespXgePortTest),
    OP(KespGePortTest),
    OP(KespDxauiPortTestCfgMacEnable),
    OP(KespXgePortTestSetAc),
    OP(KespGePortTestSetEq),
    };
    return table;
}

// ---- the record of one run ------------------------------------------------------

// Process addresses (heap, stack, the program's data, mappings) differ from
// run to run: an aligned 64-bit word that looks like one is masked.
bool looks_like_address(uint64_t v) { return v >= 0x500000000000ull && v < 0x800000000000ull; }

std::string fnv(const std::string &bytes);

// Where process addresses lie in a buffer: an 8-byte word at any offset
// that looks like one (records pack pointers at odd offsets too). 1 marks
// the first byte of an address, 2 the rest. Zero bytes before an address
// can make a word that starts a few bytes early look like one too (the
// address 0x603000006a10 behind four zero bytes), so where a word after
// those zeros also looks like one, the address starts there. Moving on
// from a real address would need its own low bytes to be zero and the
// bytes after it to fill the top of the later word: not seen in records.
std::vector<uint8_t> address_marks(const uint8_t *p, size_t n)
{
    auto word_at = [&](size_t i) {
        uint64_t w;
        std::memcpy(&w, p + i, 8);
        return w;
    };
    std::vector<uint8_t> marks(n, 0);
    for (size_t i = 0; i + 8 <= n; i++) {
        if (!looks_like_address(word_at(i)))
            continue;
        for (size_t k = 1; k < 8 && i + k + 8 <= n && p[i + k - 1] == 0; k++)
            if (looks_like_address(word_at(i + k))) {
                i += k;
                break;
            }
        marks[i] = 1;
        std::fill(marks.begin() + static_cast<std::ptrdiff_t>(i) + 1, marks.begin() + static_cast<std::ptrdiff_t>(i) + 8, 2);
        i += 7;
    }
    return marks;
}

// Bytes [from, to) of a buffer in hex, an address as "<addr>" where it starts.
std::string hex_plain(const uint8_t *p, const std::vector<uint8_t> &marks, size_t from, size_t to)
{
    std::string out;
    char buf[20];
    for (size_t i = from; i < to; i++) {
        if (marks[i] == 1) {
            out += "<addr>";
        } else if (marks[i] == 0) {
            std::snprintf(buf, sizeof buf, "%02x", p[i]);
            out += buf;
        }
    }
    return out;
}

// Short blobs whole; a long one as its size and its non-zero 8-byte
// pieces by offset, or, when most of it is set, its size and hash.
std::string hex_bytes(const uint8_t *p, size_t n)
{
    constexpr size_t kWhole = 128, kPieces = 24;
    const std::vector<uint8_t> marks = address_marks(p, n);
    if (n <= kWhole)
        return hex_plain(p, marks, 0, n);
    std::string out = "[" + std::to_string(n) + "]";
    size_t pieces = 0;
    for (size_t at = 0; at < n; at += 8) {
        const size_t end = std::min<size_t>(at + 8, n);
        bool zero = true;
        for (size_t i = at; i < end; i++)
            zero = zero && (marks[i] == 2 || (marks[i] == 0 && p[i] == 0));
        if (zero)
            continue;
        if (++pieces > kPieces)
            return "[" + std::to_string(n) + "] fnv=" + fnv(hex_plain(p, marks, 0, n));
        out += ' ' + std::to_string(at) + ':' + hex_plain(p, marks, at, end);
    }
    return out;
}

// Up to the last non-zero byte (an address counts whole), in whole words.
std::string hex_trimmed(const uint8_t *p, size_t n)
{
    const std::vector<uint8_t> marks = address_marks(p, n);
    size_t used = n;
    while (used > 0 && p[used - 1] == 0 && marks[used - 1] == 0)
        used--;
    return used == 0 ? "0" : hex_bytes(p, std::min(n, (used + 7) / 8 * 8));
}

std::string hex_value(uint64_t v)
{
    if (looks_like_address(v))
        return "<addr>";
    char buf[24];
    std::snprintf(buf, sizeof buf, "%#llx", static_cast<unsigned long long>(v));
    return buf;
}

// Text on one line: control characters escaped, addresses and the source
// of log lines masked.
std::string one_line(const std::string &text)
{
    static const std::regex source(R"([^\s\[\]]+\.(cpp|h|cc):[0-9]+)");
    static const std::regex address(R"(\b(0x)?0*[5-7][0-9a-fA-F]{11}\b)");
    std::string masked = std::regex_replace(std::regex_replace(text, source, "<src>"), address, "<addr>");
    std::string out;
    for (char ch : masked) {
        const auto c = static_cast<unsigned char>(ch);
        char buf[8];
        if (c == '\n')
            out += "\\n";
        else if (c == '\\')
            out += "\\\\";
        else if (c < 0x20 || c >= 0x7f) {
            std::snprintf(buf, sizeof buf, "\\x%02x", c);
            out += buf;
        } else
            out += static_cast<char>(c);
    }
    return out;
}

const char *kind_name(SimEvent k)
{
    switch (k) {
    case SimEvent::request: return "request";
    case SimEvent::map: return "map";
    case SimEvent::unmap: return "unmap";
    case SimEvent::protect: return "protect";
    case SimEvent::port_in: return "port_in";
    case SimEvent::port_out: return "port_out";
    case SimEvent::mmio_read: return "mmio_read";
    case SimEvent::mmio_write: return "mmio_write";
    case SimEvent::send: return "send";
    case SimEvent::shell: return "shell";
    case SimEvent::read: return "read";
    case SimEvent::write: return "write";
    }
    return "?";
}

std::string journal_line(const SimJournalEntry &e)
{
    std::ostringstream o;
    o << kind_name(e.kind) << ' ' << one_line(e.node);
    if (e.kind == SimEvent::request)
        o << ' ' << hex_value(e.request) << " rec=" << hex_bytes(e.record.data(), e.record.size());
    else
        o << " at=" << hex_value(e.address) << " len=" << e.length << " value=" << hex_value(e.value)
          << " flags=" << e.flags;
    if (!e.extra.empty()) {
        o << " extra=";
        for (uint64_t w : e.extra)
            o << hex_value(w) << ',';
    }
    for (const SimAttachment &att : e.attachments)
        o << ' ' << att.name << '=' << hex_bytes(att.bytes.data(), att.bytes.size());
    o << " result=" << e.result;
    return o.str();
}

// Files under the root (the board's own state aside): path to contents.
std::map<std::string, std::string> files_under(const std::string &root)
{
    std::map<std::string, std::string> out;
    std::error_code ec;
    for (auto it = fs::recursive_directory_iterator(root, ec); it != fs::recursive_directory_iterator();
         it.increment(ec)) {
        const std::string rel = it->path().string().substr(root.size());
        if (rel.rfind("/.sim", 0) == 0 || !it->is_regular_file(ec))
            continue;
        std::ifstream in(it->path(), std::ios::binary);
        std::ostringstream bytes;
        bytes << in.rdbuf();
        out[rel] = bytes.str();
    }
    return out;
}

std::string fnv(const std::string &bytes)
{
    uint64_t h = 0xcbf29ce484222325ull;
    for (char c : bytes)
        h = (h ^ static_cast<unsigned char>(c)) * 0x100000001b3ull;
    char buf[20];
    std::snprintf(buf, sizeof buf, "%016llx", static_cast<unsigned long long>(h));
    return buf;
}

// The records of one operation, each headed by the board, the mode and the
// operation. Runs of a repeated block of requests (a poll) are kept once
// with their count.
struct Records {
    std::string head;
    std::vector<std::string> lines;

    void add(const std::string &what) { lines.push_back(head + what); }
    void add_runs(const std::vector<std::string> &items)
    {
        for (size_t i = 0; i < items.size();) {
            size_t best = 1, period = 1;
            for (size_t p = 1; p <= 4 && i + 2 * p <= items.size(); p++) {
                size_t n = 1;
                while (i + (n + 1) * p <= items.size() &&
                       std::equal(items.begin() + long(i), items.begin() + long(i + p), items.begin() + long(i + n * p)))
                    n++;
                if (n >= 3 && n * p > best * period) {
                    best = n;
                    period = p;
                }
            }
            for (size_t k = 0; k < period; k++)
                add(items[i + k]);
            if (best > 1)
                add("repeat last " + std::to_string(period) + " x" + std::to_string(best));
            i += best * period;
        }
    }
};

// Runs in a child of the board's process (see below): the operation, then
// its records.
std::vector<std::string> run_one(const std::string &head, bool failFirst, const Op &op,
                                 const std::string &root, const std::map<std::string, std::string> &before)
{
    Records r{head, {}};
    if (failFirst)
        sim_fail_request("", 0, EIO, 1);

    auto arena = std::make_unique<Arena>();
    testing::internal::CaptureStdout();
    const long long status = op.run(*arena);
    std::fflush(stdout);
    const std::string console = testing::internal::GetCapturedStdout();

    r.add("status " + std::to_string(status));
    if (!console.empty())
        r.add("console " + one_line(console));
    for (size_t i = 0; i < kSlots; i++)
        if (arena->used[i])
            r.add("arg" + std::to_string(i) + ' ' + hex_trimmed(arena->slot[i], kSlotSize));
    std::vector<std::string> journal;
    for (const SimJournalEntry &e : sim_journal())
        journal.push_back(journal_line(e));
    r.add_runs(journal);
    for (const SimLogLine &l : sim_syslog())
        r.add("syslog " + std::to_string(l.priority) + ' ' + one_line(l.text));
    for (const auto &[path, bytes] : files_under(root)) {
        auto was = before.find(path);
        if (was == before.end() || was->second != bytes)
            r.add("file " + path + " size=" + std::to_string(bytes.size()) + " fnv=" + fnv(bytes));
    }
    for (const auto &[path, bytes] : before)
        if (!fs::exists(root + path))
            r.add("file " + path + " removed");
    if (sim_open_count() != 0)
        r.add("open " + std::to_string(sim_open_count()));
    return r.lines;
}

// Put the files under the root back as they were before an operation.
void restore_files(const std::string &root, const std::map<std::string, std::string> &before)
{
    for (const auto &[path, bytes] : files_under(root)) {
        auto was = before.find(path);
        if (was == before.end())
            fs::remove(root + path);
        else if (was->second != bytes)
            std::ofstream(root + path, std::ios::binary | std::ios::trunc) << was->second;
    }
    for (const auto &[path, bytes] : before)
        if (!fs::exists(root + path)) {
            fs::create_directories(fs::path(root + path).parent_path());
            std::ofstream(root + path, std::ios::binary) << bytes;
        }
}

// Every operation on one board, plain and with the first request failing.
// A fresh board takes long to build, so the board is built once and every
// operation runs in a child process of it: each starts from the same fresh
// board and nothing it does in memory outlives it; files it leaves are put
// back afterwards.
void run_board(const char *board, std::vector<std::string> &out)
{
    char tmpl[] = "/tmp/quorbix-golden-XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    const std::string root = tmpl;
    ASSERT_EQ(sim_board_open(root, board), 0);
    sim_clear_journal();
    sim_clear_syslog();
    const auto before = files_under(root);
    for (bool failFirst : {false, true}) {
        for (const Op &op : ops()) {
            const std::string head =
                std::string(board + 4) + (failFirst ? " fail1 " : " plain ") + op.name + ' ';
            int pipefd[2];
            ASSERT_EQ(pipe(pipefd), 0);
            std::fflush(nullptr);
            pid_t pid = fork();
            ASSERT_GE(pid, 0);
            if (pid == 0) {
                close(pipefd[0]);
                std::string text;
                for (const std::string &l : run_one(head, failFirst, op, root, before))
                    text += l + '\n';
                for (size_t at = 0; at < text.size();) {
                    ssize_t n = write(pipefd[1], text.data() + at, text.size() - at);
                    if (n <= 0)
                        _exit(2);
                    at += static_cast<size_t>(n);
                }
                _exit(0);
            }
            close(pipefd[1]);
            std::string text;
            char buf[65536];
            for (ssize_t n; (n = read(pipefd[0], buf, sizeof buf)) > 0;)
                text.append(buf, static_cast<size_t>(n));
            close(pipefd[0]);
            int wstatus = 0;
            waitpid(pid, &wstatus, 0);
            std::istringstream lines(text);
            for (std::string l; std::getline(lines, l);)
                out.push_back(l);
            if (!WIFEXITED(wstatus) || WEXITSTATUS(wstatus) != 0)
                out.push_back(head + "ended with wait status " + std::to_string(wstatus));
            restore_files(root, before);
        }
    }
    sim_board_close();
    fs::remove_all(root);
}

fs::path golden_path() { return fs::path(QUORBIX_SOURCE_DIR) / "tests" / "boardlib" / "golden" / "board_ops.txt"; }

constexpr const char *kGoldenHead =
    "# Board layer characterisation: one record a line (board mode operation record).\n"
    "# Regenerate: QUORBIX_GOLDEN_UPDATE=1 build-test/tests/test_boardlib --gtest_filter='BoardGolden.*'\n";

// The records grouped by "board mode operation".
std::map<std::string, std::vector<std::string>> by_operation(const std::vector<std::string> &lines)
{
    std::map<std::string, std::vector<std::string>> out;
    for (const std::string &l : lines) {
        if (l.empty() || l[0] == '#')
            continue;
        size_t a = l.find(' '), b = l.find(' ', a + 1), c = l.find(' ', b + 1);
        out[l.substr(0, c)].push_back(l);
    }
    return out;
}

// An address is masked where it starts, whatever zeros stand before it or
// whatever its low bytes are; a word that only looks like one from a
// shifted position is not.
TEST(BoardGolden, AddressesAreMaskedWhereTheyStart)
{
    const struct {
        uint64_t address;
        size_t zeros;
        const char *hex;
    } cases[] = {
        {0x603000006a10ull, 8, "0000000000000000<addr>00"},  // its low word is small
        {0x603000006a10ull, 1, "00<addr>00"},
        {0x7ffd12345600ull, 4, "00000000<addr>00"},          // its low byte is zero
        {0x4fffffffffffull, 8, "0000000000000000ffffffffff4f000000"},
    };
    for (const auto &c : cases) {
        std::vector<uint8_t> bytes(c.zeros + 9, 0);
        std::memcpy(bytes.data() + c.zeros, &c.address, 8);
        EXPECT_EQ(hex_plain(bytes.data(), address_marks(bytes.data(), bytes.size()), 0, bytes.size()), c.hex)
            << std::hex << c.address << " after " << std::dec << c.zeros;
    }
}

TEST(BoardGolden, EveryOperationKeepsItsRecords)
{
    std::vector<std::string> actual;
    for (const char *board : {"ZK17DORN", "ZK17KESP"})
        run_board(board, actual);

    if (const char *update = std::getenv("QUORBIX_GOLDEN_UPDATE"); update != nullptr && *update != '\0') {
        fs::create_directories(golden_path().parent_path());
        std::ofstream out(golden_path(), std::ios::binary | std::ios::trunc);
        out << kGoldenHead;
        for (const std::string &l : actual)
            out << l << '\n';
        ASSERT_TRUE(out.good()) << golden_path();
        GTEST_SKIP() << "expectation rewritten: " << golden_path();
    }

    std::ifstream in(golden_path(), std::ios::binary);
    ASSERT_TRUE(in.good()) << "no expectation at " << golden_path();
    std::vector<std::string> expected;
    for (std::string l; std::getline(in, l);)
        expected.push_back(l);

    const auto want = by_operation(expected), got = by_operation(actual);
    size_t shown = 0;
    for (const auto &[key, lines] : got) {
        auto w = want.find(key);
        if (w != want.end() && w->second == lines)
            continue;
        std::string text = "--- expected\n";
        if (w != want.end())
            for (const std::string &l : w->second)
                text += l + '\n';
        text += "+++ actual\n";
        for (const std::string &l : lines)
            text += l + '\n';
        ADD_FAILURE() << key << " differs\n" << text;
        if (++shown == 20)
            break;
    }
    for (const auto &[key, lines] : want)
        EXPECT_TRUE(got.count(key)) << key << " expected but not run";
}

} // namespace

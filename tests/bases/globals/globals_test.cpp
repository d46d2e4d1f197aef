// The registry of process-wide state: every module's reset runs, and after
// it each global is back at its starting value.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "bases/globals/globals.h"
#include "bases/host/host.h"
#include "bases/pci/tvk_log.h"
#include "boardlib/media_app.h"
#include "boardlib/media_intf.h"
#include "boardlib/plov_trans_intf.h"
#include "boardlib/plov_types.h"
#include "boardlib/trans_table.h"
#include "hwmanage/hpi/plugins/disks/hw/disk_scsi_sg.h"
#include "hwmanage/hpi/plugins/disks/hw/disk_ssd_info.h"
#include "tool/load/spi_flash.h"
#include "tool/quorbix.h"

namespace {

int g_resets;
void count_reset() { ++g_resets; }

void hook(int, int, const char *, const char *, int, ...) {}

std::vector<std::string> modules()
{
    std::vector<std::string> names;
    for (size_t i = 0; i < globals_count(); i++)
        names.emplace_back(globals_module(i));
    return names;
}

TEST(Globals, RegisteredResetsRunAndBadRegistrationsAreRefused)
{
    const size_t before = globals_count();
    ASSERT_TRUE(globals_register("counter", count_reset));
    EXPECT_FALSE(globals_register(nullptr, count_reset));
    EXPECT_FALSE(globals_register("none", nullptr));
    EXPECT_EQ(globals_count(), before + 1);
    EXPECT_STREQ(globals_module(before), "counter");
    EXPECT_EQ(globals_module(before + 1), nullptr);
    g_resets = 0;
    globals_reset_all();
    globals_reset_all();
    EXPECT_EQ(g_resets, 2);
}

TEST(Globals, EveryModuleWithProcessStateIsBackAtItsStart)
{
    std::vector<std::string> names = modules();
    for (const char *m : {"host", "plov_share_mem", "plov_trans_intf", "trans_table", "quorbix"})
        EXPECT_NE(std::find(names.begin(), names.end(), m), names.end()) << m;

    static const HostOps other{};
    host_select(&other);
    geBoardLogicType = PLOV_BOARD_KESP;
    g_pfPLOVTransLog = hook;
    g_pfPLOV_SFP_8472Log = hook;
    g_PlovShareMem[1].Size = 4096;
    g_PlovShareMem[1].Flag = 1;
    TableDesc *info[kRudaTableCount] = {};
    ASSERT_EQ(ruda_get_table_info(info), PLOV_OK);
    ASSERT_NE(g_ruda_tableinfo[2], nullptr);
    std::strcpy(gBoardName, "ZK17KESP");

    globals_reset_all();

    EXPECT_EQ(g_host, &g_realHost);
    EXPECT_EQ(geBoardLogicType, PLOV_BOARD_UNKNOWN);
    EXPECT_EQ(g_pfPLOVTransLog, nullptr);
    EXPECT_EQ(g_pfPLOV_SFP_8472Log, nullptr);
    const ShareMemEntry zero{};
    EXPECT_EQ(std::memcmp(&g_PlovShareMem[1], &zero, sizeof zero), 0);
    for (TableDesc *d : g_ruda_tableinfo)
        EXPECT_EQ(d, nullptr);
    EXPECT_EQ(gBoardName[0], '\0');
    // The catalogue is built again on its next use.
    ASSERT_EQ(ruda_get_table_info(info), PLOV_OK);
    EXPECT_NE(g_ruda_tableinfo[2], nullptr);
}

// The disk transports, the diagnosis log level, the flash geometry, the
// media log hook and the DSP load semaphores (a semaphore left taken is
// free again in the next process).
TEST(Globals, TransportsLevelsGeometryAndMediaLocksAreBackAtTheirStart)
{
    g_iSgIoState = SG_STATE_SEND_COMMAND;
    sg_io_state = SG_STATE_SG_IO;
    g_iLogLevel = 0;
    g_spiGeometry = SpiFlashGeometry{0x40000, 0x200};
    g_pfMediaLog = hook;
    ASSERT_EQ(PLOV_MediaLoadInit(), 0);
    ASSERT_EQ(host().sem_wait(&gLoadSem[1][2]), 0);

    globals_reset_all();

    EXPECT_EQ(g_iSgIoState, SG_STATE_UNTRIED);
    EXPECT_EQ(sg_io_state, SG_STATE_UNTRIED);
    EXPECT_EQ(g_iLogLevel, 3);
    EXPECT_EQ(g_spiGeometry.guiSpiSectorSize, 0x10000u);
    EXPECT_EQ(g_spiGeometry.guiSpiWriteBufSize, 0x100u);
    EXPECT_EQ(g_pfMediaLog, nullptr);
    ASSERT_EQ(PLOV_MediaLoadInit(), 0);
    EXPECT_EQ(host().sem_trywait(&gLoadSem[1][2]), 0);
}

} // namespace

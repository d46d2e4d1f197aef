// The media command rows of r_media, w_media and t_media on the simulated
// KESP board: bad input, the success lines, an injected failure per row.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "bases/drv/media_drv.h"
#include "bases/drv/plov_drv.h"
#include "bases/host/host.h"
#include "boardlib/media_app.h"
#include "boardlib/media_intf.h"
#include "sim/fpga_model.h"
#include "sim/media_model.h"
#include "sim/sim_host.h"
#include "sim/sim_sched.h"
#include "support/console_run.h"
#include "support/sim_fixture.h"
#include "tool/media/media.h"
#include "tool/trans_op.h"

namespace {

enum class Blk { R, W, T };

ConsoleRun run(Blk blk, const std::string &path)
{
    return console_run([&] {
        switch (blk) {
        case Blk::R:
            return trans_op_dispatch(g_TransOpTab[kBlkRMedia], path.c_str());
        case Blk::W:
            return op_w_media(path.c_str());
        default:
            return op_t_media(path.c_str());
        }
    });
}

size_t media_requests() { return sim_journal_of(SimEvent::request).size(); }

class MediaCmd : public SimTest {
protected:
    std::string board() const override { return "ZK17KESP"; }
};

TEST(MediaRows, EveryMediaRowHasItsHandler)
{
    for (size_t blk : {kBlkRMedia, kBlkWMedia, kBlkTMedia, kBlkLMedia}) {
        const TransOpBlock &b = g_TransOpTab[blk];
        size_t rows = 0;
        for (const TransOpEntry &e : b.rows) {
            if (e.target == nullptr)
                break;
            rows++;
            EXPECT_NE(e.handler, nullptr) << b.name << " " << e.target;
        }
        EXPECT_GT(rows, 3u) << b.name;
    }
}

// ---- bad input ----------------------------------------------------------------------------------------

TEST_F(MediaCmd, ShortInputIsRefusedBeforeAnyRequest)
{
    struct Case {
        Blk blk;
        const char *path;
        const char *handler;
    };
    const Case cases[] = {
        {Blk::R, "b/0:0", "read_media_dsp_mem_b"},
        {Blk::R, "dw/0:0:80000000", "read_media_dsp_mem_dw"},
        {Blk::R, "ddw/", "read_media_dsp_mem_ddw"},
        {Blk::R, "ecc/0", "media_test_dsp_ecc_rd_dw"},
        {Blk::R, "lpc/1234", "read_lpc_mem_b"},
        {Blk::R, "app/0:0", "read_media_dsp_pcie_app_dw"},
        {Blk::W, "b/0:0:0x10", "write_media_dsp_mem_b"},
        {Blk::W, "dw/0:0:0x10:", "write_media_dsp_mem_dw"},
        {Blk::W, "ddw/0:0:0x10", "write_media_dsp_mem_ddw"},
        {Blk::W, "ecc/0:0:0x10", "media_test_dsp_ecc_wrt_dw"},
        {Blk::W, "lpc/0x1234", "write_lpc_mem_b"},
        {Blk::W, "app/0:0:0x10", "write_media_dsp_pcie_app_dw"},
        {Blk::T, "in/0", "media_dsp_plugin"},
        {Blk::T, "out/", "media_dsp_plugout"},
        {Blk::T, "r/x", "media_dsp_reset"},
        {Blk::T, "hp/0", "media_dsp_hotplug"},
        {Blk::T, "s/0:0", "media_get_startup_state"},
        {Blk::T, "fill/0:0:0x0:0x10:0x1", "media_fill_dsp_mem"},
        {Blk::T, "test/0:0:0x80000000", "media_test_dsp_mem"},
        {Blk::T, "map/0", "media_get_dsp_mem_map"},
        {Blk::T, "portctrl/0:0", "media_ctrl_dsp_port"},
        {Blk::T, "portioctrl/0:0", "media_ctrl_dsp_port_iomem"},
        {Blk::T, "port/0", "media_dsp_port_ctrl_and_reset"},
        {Blk::T, "lpc/", "media_test_subrd_lpc"},
        {Blk::T, "baselpc/", "media_test_basebrd_lpc"},
        {Blk::T, "state/a", "media_get_subrd_health_state"},
        {Blk::T, "step/0", "media_three_step_test"},
        {Blk::T, "set/0", "media_Set_TransAddrTbl"},
        {Blk::T, "get/0", "media_Get_TransAddrTbl"},
        {Blk::T, "setmailboxswitch/0:0:0:0", "media_Set_mailboxswitch"},
        {Blk::T, "getmailboxswitch/0:0:0", "media_Get_mailboxswitch"},
        {Blk::T, "setglobalmailboxswitch/0:0", "media_Set_Globalmailboxswitch"},
        {Blk::T, "getglobalmailboxswitch/0", "media_Get_Globalmailboxswitch"},
        {Blk::T, "getstatistic/0:0", "media_Get_Statistic"},
        {Blk::T, "clrstatistic/0:0", "media_Clr_Statistic"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.path);
        ConsoleRun r = run(c.blk, c.path);
        EXPECT_EQ(r.status, -1202);
        EXPECT_TRUE(r.out.starts_with(std::string("FAILED\nInvalid input, please check [") + c.handler +
                                      "] tool/media/media_cmd.cpp:"))
            << r.out;
        EXPECT_EQ(count_of(r.out, "\n"), 2u);
    }
    // The base-board test takes only 0; 1 is refused with the scan's count of 1.
    ConsoleRun r = run(Blk::T, "baselpc/1");
    EXPECT_EQ(r.status, -1202);
    EXPECT_TRUE(r.out.ends_with(", iRet = 1\n"));
    for (const char *path : {"setglobalmailboxswitch/2:0:1", "setglobalmailboxswitch/0:9:1"}) {
        r = run(Blk::T, path);
        EXPECT_EQ(r.status, -1200);
        EXPECT_EQ(r.out, "");
    }
    EXPECT_EQ(media_requests(), 0u);
}

// ---- reads and writes -------------------------------------------------------------------------------------

TEST_F(MediaCmd, WritesThenReadsBack)
{
    struct Case {
        Blk blk;
        const char *path;
        const char *out;
    };
    const Case cases[] = {
        {Blk::W, "b/0:0:0x80000010:0x1234", "Write subboard 0(0x0) dsp 0(0x0) addr 0x80000010 data 0x1234\nSUCCESS\n"},
        {Blk::R, "b/0:0:0x80000010", "Read subboard 0(0x0)  dsp 0(0x0)  addr 0x80000010  data 0x34 \nSUCCESS\n"},
        {Blk::R, "dw/0:0:0x80000010", "Read subboard 0(0x0)  dsp 0(0x0)  addr 0x80000010  data 0x00000034 \nSUCCESS\n"},
        {Blk::W, "dw/0:3:0x80000000:0x1a2b3c", "Write subboard 0(0x0) dsp 3(0x3) addr 0x80000000 data 0x001a2b3c\n"
                                              "SUCCESS\n"},
        {Blk::R, "dw/0:3:0x80000000", "Read subboard 0(0x0)  dsp 3(0x3)  addr 0x80000000  data 0x001a2b3c \nSUCCESS\n"},
        {Blk::W, "ddw/0:8:0x80000100:0x1122334455667788",
         "Write subboard 0(0x0) dsp 8(0x8) addr 0x80000100 data 0x1122334455667788\nSUCCESS\n"},
        {Blk::R, "ddw/0:8:0x80000100",
         "Read subboard 0(0x0)  dsp 8(0x8)  addr 0x80000100  data 0x1122334455667788 \nSUCCESS\n"},
        {Blk::R, "b/0:8:0x80000107", "Read subboard 0(0x0)  dsp 8(0x8)  addr 0x80000107  data 0x11 \nSUCCESS\n"},
        {Blk::W, "ecc/0:1:0x80000200:0xdeadbeef",
         "Write subboard 0(0x0) dsp 1(0x1) addr 0x80000200 ecc data 0xdeadbeef\nSUCCESS\n"},
        {Blk::R, "ecc/0:1:0x80000200",
         "Read subboard 0(0x0)  dsp 1(0x1)  addr 0x80000200  ecc data 0xdeadbeef \nSUCCESS\n"},
        {Blk::W, "lpc/0x1234:0x5a", "Write lpc addr 0x1234  data 0x5a \nSUCCESS\n"},
        {Blk::R, "lpc/0x1234", "Read lpc addr 0x1234  data 0x5a \nSUCCESS\n"},
        {Blk::W, "app/0:2:0x10:0xcafe", "Write subboard 0(0x0) dsp 2(0x2) pcie app addr 0x10 data 0xcafe\nSUCCESS\n"},
        {Blk::R, "app/0:2:0x10", "Read subboard 0(0x0)  dsp 2(0x2)  pcie app addr 0x10  data 0x0000cafe \nSUCCESS\n"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.path);
        ConsoleRun r = run(c.blk, c.path);
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(r.out, c.out);
    }
    uint8_t b[2] = {};
    media_mem_read(0, 0, 0x80000010, b, 2);
    EXPECT_EQ(b[0], 0x34);
    EXPECT_EQ(b[1], 0x00);   // one byte written, the data's low 8 bits
    EXPECT_EQ(media_lpc_byte(0x1234), 0x5A);
    EXPECT_EQ(media_app_reg(0, 2, 0x10), 0xCAFEu);
}

TEST_F(MediaCmd, ReadAndWriteFailures)
{
    struct Case {
        Blk blk;
        const char *path;
        unsigned long request;
        const char *line;
    };
    const Case cases[] = {
        {Blk::R, "b/0:0:0x80000000", MEDIA_MEM_READ,
         "FAILED\nFunction PLOV_MediaReadDspMem subboard 0 dsp 0 addr 0x80000000 exe error, iRet = "},
        {Blk::R, "ecc/0:0:0x80000000", MEDIA_ECC_TEST_READ,
         "FAILED\nFunction MEDIA_AppDspMemRwAlign subboard 0 dsp 0 addr 0x80000000 exe error, iRet = "},
        {Blk::R, "lpc/0xb004", MEDIA_LPC_RW, "FAILED\nFunction Media_AppLpcRW read addr 0xb004 exe error, iRet = "},
        {Blk::R, "app/0:0:0x4", MEDIA_PCIE_APP_RW,
         "FAILED\nFunction Media_AppDspPcieAppRW read subboard 0 dsp 0 pcie app addr 0x4 exe error, iRet = "},
        {Blk::W, "b/0:0:0x80000000:0x1ff", MEDIA_MEM_WRITE,
         "\nFAILED\nFunction PLOV_MediaWriteDspMem subboard 0 dsp 0 addr 0x80000000 data 0x1ff exe error, iRet = "},
        {Blk::W, "dw/0:0:0x80000000:0x1", MEDIA_MEM_WRITE,
         "\nFAILED\nFunction PLOV_MediaWriteDspMem subboard 0 dsp 0 addr 0x80000000 data 0x00000001 exe error, iRet = "},
        {Blk::W, "ddw/0:0:0x80000000:0x1", MEDIA_MEM_WRITE,
         "\nFAILED\nFunction PLOV_MediaWriteDspMem subboard 0 dsp 0 addr 0x80000000 data 0x0000000000000001 exe error, "
         "iRet = "},
        {Blk::W, "ecc/0:0:0x80000000:0x1", MEDIA_ECC_TEST_WRITE,
         "\nFAILED\nFunction MEDIA_AppDspMemRwAlign subboard 0 dsp 0 addr 0x80000000 data 0x00000001 exe error, iRet = "},
        {Blk::W, "lpc/0xb004:0x1", MEDIA_LPC_RW, "FAILED\nFunction Media_AppLpcRW write addr 0xb004 data 0x1 error, iRet = "},
        {Blk::W, "app/0:0:0x4:0x1", MEDIA_PCIE_APP_RW,
         "\nFAILED\nFunction Media_AppDspPcieAppRW write subboard 0 dsp 0 pcie app addr 0x4 exe error, iRet = "},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.path);
        sim_clear_faults();
        media_fail(c.request, -1, -1, EIO);
        ConsoleRun r = run(c.blk, c.path);
        EXPECT_LT(r.status, 0);
        EXPECT_TRUE(contains(r.out, c.line + std::to_string(r.status) + "\n")) << r.out;
        EXPECT_FALSE(contains(r.out, "SUCCESS"));
    }
    // The aligned access refuses a misaligned address through the driver.
    sim_clear_faults();
    ConsoleRun r = run(Blk::R, "ecc/0:0:0x80000002");
    EXPECT_LT(r.status, 0);
    EXPECT_TRUE(contains(r.out, "Function MEDIA_AppDspMemRwAlign subboard 0 dsp 0 addr 0x80000002 exe error"));
}

// ---- one DSP, one operation -----------------------------------------------------------------------------------

TEST_F(MediaCmd, PlugResetAndStepRows)
{
    struct Case {
        const char *path;
        const char *ok;
        unsigned long request;
        const char *fail;
    };
    const Case cases[] = {
        {"out/0:1", "Plugout subboard 0(0x0)  dsp 1(0x1)\n", MEDIA_DEV_PLUGOUT, "Function MEDIA_DspHotPlugout subboard0 dsp1"},
        {"in/0:1", "Plugin subboard 0(0x0)  dsp 1(0x1)\n", MEDIA_DEV_PLUGIN, "Function MEDIA_DspHotPlugin subboard0 dsp1"},
        {"r/0:1", "Reset subboard 0(0x0)  dsp 1(0x1)\n", MEDIA_RESET_DEV, "Function MEDIA_DspReset subboard0 dsp1"},
        // The hot plug's failure line names the plug-out whichever step failed.
        {"hp/0:1", "Hot plugin subboard 0(0x0)  dsp 1(0x1)\n", MEDIA_DEV_PLUGIN,
         "Function MEDIA_DspHotPlugout subboard0 dsp1"},
        {"step/0:1", "Three step test subboard 0(0x0)  dsp 1(0x1)\n", MEDIA_THREE_STEP_TEST,
         "Function MEDIA_AppThreeStepTest subboard0 dsp1"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.path);
        sim_clear_faults();
        ConsoleRun r = run(Blk::T, c.path);
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(r.out, std::string(c.ok) + "SUCCESS\n");
        media_fail(c.request, 0, 1, EIO);
        r = run(Blk::T, c.path);
        EXPECT_LT(r.status, 0);
        EXPECT_EQ(r.out, std::string("FAILED\n") + c.fail + " exe error, iRet = " + std::to_string(r.status) + "\n");
    }
    EXPECT_GE(media_dsp_view(0, 1).resets, 2u);
}

TEST_F(MediaCmd, StartUpStateAnswersZeroEitherWay)
{
    ConsoleRun r = run(Blk::T, "s/0:4:7");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "Subboard 0 dsp 4 core 7 start up err!\n");
    ASSERT_EQ(MEDIA_TriggerStartUp(0, 4, 0x10800000), 0);
    r = run(Blk::T, "s/0:4:7");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "Subboard 0 dsp 4 core 7 start up ok!\n");
    media_fail(MEDIA_STARTUP_STATE, 0, 4, EIO);
    r = run(Blk::T, "s/0:4:7");
    EXPECT_LT(r.status, 0);
    EXPECT_EQ(r.out, "FAILED\n");
}

TEST_F(MediaCmd, PortRowsAndPortOfAllDspsStopsAtTheFirstFailure)
{
    ConsoleRun r = run(Blk::T, "portctrl/0:2:0");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "ctrl subboard 0(0x0) dsp 2(0x2) pcie switch downstream port flag 0\nSUCCESS\n");
    EXPECT_FALSE(media_dsp_view(0, 2).port);
    r = run(Blk::T, "portioctrl/0:2:0");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "ctrl subboard 0(0x0) dsp 2(0x2) pcie switch downstream port io mem flag 0\nSUCCESS\n");
    EXPECT_FALSE(media_dsp_view(0, 2).iomem);
    media_fail(MEDIA_SW_PORT_IOMEM_CTRL, 0, 2, EIO);
    r = run(Blk::T, "portioctrl/0:2:1");
    EXPECT_EQ(r.out, "ctrl subboard 0(0x0) dsp 2(0x2) pcie switch downstream port io mem flag 1\nFAILED\n"
                     "Function MEDIA_SetPciSwPortIoMem error, iRet = " + std::to_string(r.status) + "\n");
    media_fail(MEDIA_SW_PORT_CTRL, 0, 2, EIO);
    r = run(Blk::T, "portctrl/0:2:1");
    EXPECT_TRUE(r.out.ends_with("FAILED\nFunction MEDIA_SetPciSwPort error, iRet = " + std::to_string(r.status) + "\n"));
    sim_clear_faults();
    media_fail(MEDIA_SW_PORT_CTRL, 0, 4, EIO);
    r = run(Blk::T, "port/0:255");
    EXPECT_LT(r.status, 0);
    EXPECT_EQ(count_of(r.out, "Disable->reset->enable subboard 0(0x0)  dsp "), 5u);
    EXPECT_EQ(count_of(r.out, "SUCCESS\n"), 4u);
    EXPECT_TRUE(r.out.ends_with("Disable->reset->enable subboard 0(0x0)  dsp 4(0x4) --- \nFAILED\n"
                                "Function MEDIA_CtrlPortAndCheck subboard0 dsp4 exe error, iRet = " +
                                std::to_string(r.status) + "\n"));
}

TEST_F(MediaCmd, LpcTests)
{
    ConsoleRun r = run(Blk::T, "lpc/0");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "Test subboard 0(0x0) lpc --- \nSUCCESS\n");
    media_set_lpc_test(0, EIO);
    r = run(Blk::T, "lpc/0");
    EXPECT_LT(r.status, 0);
    EXPECT_EQ(r.out, "Test subboard 0(0x0) lpc --- \nFAILED\nFunction MEDIA_AppTestSubrdLpc subboard0 error, iRet = " +
                         std::to_string(r.status) + "\n");

    sim_clear_journal();
    r = run(Blk::T, "baselpc/0");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "Test baseboard lpc --- \nSUCCESS\n");
    EXPECT_EQ(requests_seen(MEDIA_LPC_RW), 2u);
    media_fail(MEDIA_LPC_RW, -1, -1, EIO, 2);
    r = run(Blk::T, "baselpc/0");
    EXPECT_EQ(r.out, "Test baseboard lpc --- \nFAILED\nFunction Media_AppLpcRW read addr 0xb004 exe error, iRet = " +
                         std::to_string(r.status) + "\n");
    sim_clear_faults();
    media_fail(MEDIA_LPC_RW, -1, -1, EIO, 1);
    r = run(Blk::T, "baselpc/0");
    EXPECT_EQ(r.out, "Test baseboard lpc --- \nFAILED\nFunction Media_AppLpcRW write addr 0xb004 data 0x55 error, "
                     "iRet = " + std::to_string(r.status) + "\n");
}

// ---- memory fill and test, map, info ------------------------------------------------------------------------

TEST_F(MediaCmd, FillWithCountZeroFillsNothing)
{
    std::strcpy(Filename, "prog.bin");
    sim_clear_journal();
    ConsoleRun r = run(Blk::T, "fill/0:255:0x80000000:0x100:0x1a5:0x0");
    EXPECT_EQ(r.status, 0);
    EXPECT_TRUE(r.out.starts_with("Write subboard 0(0x0) dsp 255(0xff) addr 0x80000000 len 0x100 data 0x1a5 cnt 0x0\n"
                                  "gettimeofday start: 0x"));
    EXPECT_EQ(count_of(r.out, "  prog.bin  --- \n"), 9u);
    EXPECT_TRUE(contains(r.out, "Fill subboard 0(0x0)  dsp 8(0x8)  prog.bin  --- \ngettimeofday end  : 0x"));
    EXPECT_TRUE(r.out.ends_with("test cost 0x0 s \nSUCCESS\n"));
    EXPECT_EQ(requests_seen(MEDIA_FILL_MEM), 0u);

    r = run(Blk::T, "fill/0:3:0x80000000:0x100:0x1a5:0x2");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(requests_seen(MEDIA_FILL_MEM), 2u);
    uint8_t b = 0;
    media_mem_read(0, 3, 0x800000FF, &b, 1);
    EXPECT_EQ(b, 0xA5);
    media_fail(MEDIA_FILL_MEM, 0, 2, EIO);
    r = run(Blk::T, "fill/0:255:0x80000000:0x100:0x1:0x1");
    EXPECT_LT(r.status, 0);
    EXPECT_TRUE(r.out.ends_with("Fill subboard 0(0x0)  dsp 2(0x2)  prog.bin  --- \nFAILED\n"
                                "Function MEDIA_FillDspMem error, iRet = " + std::to_string(r.status) + "\n"));
}

TEST_F(MediaCmd, MemoryTestOfTwoMiBOnNineDsps)
{
    sim_clear_journal();
    ConsoleRun r = run(Blk::T, "test/0:255:0x80000000:0x200000");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(requests_seen(MEDIA_MEM_WRITE), 18u);   // two slices of 1 MiB each way per DSP
    EXPECT_EQ(requests_seen(MEDIA_MEM_READ), 18u);
    EXPECT_EQ(count_of(r.out, "SUCCESS\n"), 27u);
    EXPECT_TRUE(contains(r.out, "Write subboard 0(0x0)  dsp 8(0x8)    --- \nSUCCESS\nRead subboard 0(0x0)  dsp 8(0x8)    "
                           "--- \nSUCCESS\nCmp subboard 0(0x0)  dsp 8(0x8)   mem  --- \nSUCCESS\ngettimeofday end  : "));
    EXPECT_TRUE(r.out.ends_with("test cost 0x0 s \n"));
    uint8_t b[2] = {};
    media_mem_read(0, 5, 0x801FFFFE, b, 2);
    EXPECT_EQ(b[0], 0xFE);
    EXPECT_EQ(b[1], 0xFF);

    struct Case {
        const char *name;
        std::function<void()> fault;
        const char *tail;
        int status;
    };
    const Case cases[] = {
        {"byte 0x00 reads 0xff", [] { media_fault_readback(0, 1, 0x80000100); }, "Function memcmp error, iRet = -1\n", -1},
        {"byte 0xfe reads 0x01", [] { media_fault_readback(0, 1, 0x800000FE); }, "Function memcmp error, iRet = 1\n", 1},
        {"write", [] { media_fail(MEDIA_MEM_WRITE, 0, 1, EIO); }, "Function PLOV_MediaWriteDspMem error, iRet = ", 0},
        {"read", [] { media_fail(MEDIA_MEM_READ, 0, 1, EIO); }, "Function PLOV_MediaReadDspMem error, iRet = ", 0},
    };
    // Faults on DSP 1 (DSP 0 passes, DSP 2 is never reached); a bad byte stays
    // bad, so the cases run in the order of the byte they stop at.
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        sim_clear_faults();
        c.fault();
        r = run(Blk::T, "test/0:255:0x80000000:0x200");
        if (c.status != 0) {
            EXPECT_EQ(r.status, c.status);
        } else {
            EXPECT_LT(r.status, 0);
        }
        EXPECT_TRUE(contains(r.out, "Cmp subboard 0(0x0)  dsp 0(0x0)   mem  --- \nSUCCESS\n"));
        EXPECT_TRUE(r.out.ends_with(std::string("FAILED\n") + c.tail + (c.status ? "" : std::to_string(r.status) + "\n")))
            << r.out;
        EXPECT_FALSE(contains(r.out, "dsp 2(0x2)"));
    }
}

TEST_F(MediaCmd, MapAndInfo)
{
    ConsoleRun r = run(Blk::T, "map/0:1");
    EXPECT_EQ(r.status, 0);
    EXPECT_TRUE(r.out.starts_with("get subboard 0(0x0) dsp 1(0x1) pci mem map\nSubboard0 dsp1 core0 L2 Pcie addr : 0x"));
    EXPECT_EQ(count_of(r.out, " L2 Pcie addr : 0x"), 8u);
    EXPECT_TRUE(contains(r.out, "Subboard0 dsp1 core7 L2 Pcie addr : 0x"));
    EXPECT_TRUE(contains(r.out, "Subboard0 dsp1 msm ram Pcie addr  : 0x"));
    EXPECT_TRUE(contains(r.out, "Subboard0 dsp1 ddr Pcie addr      : 0x"));
    EXPECT_TRUE(r.out.ends_with(" \n\r\nSUCCESS\n"));
    media_fail(MEDIA_GET_PCI_ADDR, 0, 1, EIO, 9);
    r = run(Blk::T, "map/0:1");
    EXPECT_LT(r.status, 0);
    EXPECT_EQ(count_of(r.out, " Pcie addr "), 8u);
    EXPECT_TRUE(r.out.ends_with("FAILED\nFunction PLOV_MediaGetDspPcieAddr error, iRet = " + std::to_string(r.status) +
                                "\n"));

    r = run(Blk::T, "info");
    EXPECT_EQ(r.status, 0);
    EXPECT_TRUE(r.out.starts_with("BoardInfo.enBaseBoardType  = "));
    EXPECT_EQ(count_of(r.out, "\n\r"), 32u);
    EXPECT_TRUE(contains(r.out, "\n\rBoardInfo.stSubBoardInfo[15].enSubBoardId        = "));
    EXPECT_FALSE(contains(r.out, "SUCCESS"));
    media_fail(MEDIA_INIT_STATE, 0, 2, EIO);
    r = run(Blk::T, "info");
    EXPECT_EQ(r.status, -1200);
    EXPECT_EQ(r.out, "FAILED\nFunction PLOV_MediaGetBoardInfo error, iRet = -1200\n");
}

// ---- sub-board state --------------------------------------------------------------------------------------------

TEST_F(MediaCmd, StateShowsPathsThenHealth)
{
    SubrdState s{};
    s.LpcState = 1;
    s.CpuPortState = {1, 4, 2, 0};
    s.FpgaPortState = {1, 8, 3, 0};
    for (uint32_t i = 0; i < MEDIA_DSP_NUM; i++)
        s.DspPortState[i] = {1, 2, i % 4, 0};
    media_set_subrd_state(0, s);
    ConsoleRun r = run(Blk::T, "state/0");
    EXPECT_TRUE(r.out.starts_with("Subboard 0(0x0) path state:\nSubrdState.LpcState                          =  1 \n\n"
                                  "SubrdState.CpuPortState.LinkState            =  1 \n"
                                  "SubrdState.CpuPortState.LinkWidth            =  4 \n"
                                  "SubrdState.CpuPortState.LinkSpeed            =  2 \n\n"
                                  "SubrdState.FpgaPortState.LinkState           =  1 \n"
                                  "SubrdState.FpgaPortState.LinkWidth           =  8 \n"
                                  "SubrdState.FpgaPortState.LinkSpeed           =  3 \n\n"
                                  "SubrdState.DspPortState[0].LinkState        =  1 \n"))
        << r.out;
    EXPECT_TRUE(contains(r.out, "SubrdState.DspPortState[7].LinkSpeed        =  3 \n\nSubrdState.DspPortState[8]"));
    EXPECT_TRUE(contains(r.out, "health state:\nHealthState.enSubBoardHealthStatus                             =  0x"));
    EXPECT_TRUE(contains(r.out, "SubrdState.DspPortState[8].LinkSpeed        =  0 \n\nSubboard 0(0x0) health state:\n"));
    EXPECT_EQ(count_of(r.out, "].ulSubWorkPathId     =  0x"), 32u);
    EXPECT_TRUE(r.out.ends_with("stMediaSubWorkPathStatus[31].enSubWorkPathStatus =  0x0 \n\nSUCCESS\n"));
    EXPECT_EQ(r.status, 0) << r.out.substr(r.out.find("Subboard 0(0x0) health"));

    media_fail(MEDIA_SUBRD_HEALTH, -1, -1, EIO);
    r = run(Blk::T, "state/0");
    EXPECT_LT(r.status, 0);
    EXPECT_TRUE(r.out.starts_with("MEDIA_GetSubBoardHealthState subboard0 err ret "));
    EXPECT_TRUE(r.out.ends_with("Subboard 0(0x0) health state:\nFAILED\nFunction PLOV_MediaGetSubBoardHealthStatus "
                                "subboard 0 exe error, iRet = " + std::to_string(r.status) + "\n"));
}

// In a process where no media command ran before, the health query makes its locks first.
TEST_F(MediaCmd, StateAsTheFirstMediaCommandOfAProcess)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            ConsoleRun r = run(Blk::T, "state/0");
            std::_Exit(r.status == 0 && r.out.ends_with("SUCCESS\n") ? 0 : 3);
        },
        testing::ExitedWithCode(0), "");
}

// ---- trans tables, switches, statistics ------------------------------------------------------------------------

TEST_F(MediaCmd, SetAndGetTheFixedTableRoundTrip)
{
    ConsoleRun set = run(Blk::T, "set/0:3");
    EXPECT_EQ(set.status, 0);
    EXPECT_TRUE(set.out.starts_with("Set TransAddrTbl subboard 0(0x0)  dsp 3(0x3)\nSET DATA:\nMediaTransAddrTbl : \n"));
    char times[160];
    time_t now = host().time(nullptr);
    struct tm tm{};
    gmtime_r(&now, &tm);
    std::snprintf(times, sizeof times, "%d-%02d-%02dT%02d:%02d:%02d\n\n", tm.tm_year + 1900, tm.tm_mon + 1,
                  tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec);
    EXPECT_TRUE(set.out.ends_with(std::string("ascEndtimeBuf is ") + times + "SUCCESS\n")) << set.out.substr(set.out.size() - 200);
    EXPECT_TRUE(contains(set.out, "pstMediaTransTbl->ulSendTopOffset: 0x1234 \n\nascStartimeBuf is "));

    ConsoleRun get = run(Blk::T, "get/0:3");
    EXPECT_EQ(get.status, 0);
    std::string setDump = set.out.substr(set.out.find("MediaTransAddrTbl"));
    setDump = setDump.substr(0, setDump.find("ascStartimeBuf"));
    EXPECT_EQ(get.out, "Get TransAddrTbl subboard 0(0x0)  dsp 3(0x3)\nGET DATA:\n" + setDump + "SUCCESS\n");

    sim_fail_request(kFpgaTransNode, PLOV_IOC_WRITE_INDIR_REG, EIO);
    set = run(Blk::T, "set/0:3");
    EXPECT_LT(set.status, 0);
    EXPECT_TRUE(set.out.ends_with("FAILED\nFunction PLOV_MediaSetDspTransTable subboard0 dsp3 error, iRet = " +
                                  std::to_string(set.status) + "\n"));
    EXPECT_FALSE(contains(set.out, "ascStartimeBuf"));
    sim_fail_request(kFpgaTransNode, PLOV_IOC_READ_INDIR_REG, EIO);
    get = run(Blk::T, "get/0:3");
    EXPECT_EQ(get.out, "Get TransAddrTbl subboard 0(0x0)  dsp 3(0x3)\nFAILED\nFunction PLOV_MediaGetDspTransTable "
                       "subboard0 dsp3 error, iRet = " + std::to_string(get.status) + "\n");
}

TEST_F(MediaCmd, SwitchRows)
{
    ConsoleRun r = run(Blk::T, "setmailboxswitch/0:1:2:3:1");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "Set MailboxSwitch subboard 0(0x0)  dsp 1(0x1) DspCoreId 2(0x2)  MailboxType 3(0x3) "
                     "MailboxSwitch 1(0x1)\nSUCCESS\n");
    r = run(Blk::T, "getmailboxswitch/0:1:2:3");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "Set MailboxSwitch subboard 0(0x0)  dsp 1(0x1) DspCoreId 2(0x2)  MailboxType 3(0x3) \n"
                     "MailboxSwitch = 1\n\nSUCCESS\n");
    r = run(Blk::T, "setglobalmailboxswitch/0:255:1");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(count_of(r.out, "Set GlobalMailboxSwitch subboard 0(0x0)  dsp "), 9u);
    EXPECT_TRUE(r.out.ends_with("dsp 8(0x8) MailboxSwitch 1(0x1)\nSUCCESS\n"));
    r = run(Blk::T, "getglobalmailboxswitch/0:1");
    EXPECT_EQ(r.status, 0);
    EXPECT_TRUE(r.out.starts_with("Get GlobalMailboxSwitch subboard 0(0x0)  dsp 1(0x1) \nGlobalMailboxSwitch = 1\n\n"
                                  "SubBoardId = 0\n\nDspId = 1\n\nDspCoreId = 0\n\nMailboxType = 0\n\n"));
    EXPECT_EQ(count_of(r.out, "\r\n"), 40u);
    EXPECT_TRUE(contains(r.out, "DspCoreId = 2\n\nMailboxType = 3\n\nMailboxSwitch = 1\n\n\r\n"));
    EXPECT_TRUE(r.out.ends_with("DspCoreId = 7\n\nMailboxType = 4\n\nMailboxSwitch = 1\n\n\r\nSUCCESS\n"))
        << r.out.substr(r.out.size() - 100);

    struct Case {
        const char *path;
        unsigned nth;
        const char *tail;
    };
    const Case cases[] = {
        {"setmailboxswitch/0:1:2:3:1", 0, "Function PLOV_MediaSetDspMailBoxSwitch subboard0 dsp1 error, iRet = "},
        {"getmailboxswitch/0:1:2:3", 0, "Function PLOV_MediaGetDspMailBoxSwitch subboard0 dsp1 error, iRet = "},
        {"setglobalmailboxswitch/0:255:1", 0,
         "Function PLOV_MediaSetGlobalDspMailBoxSwitch subboard0 dsp0 error, iRet = "},
        {"getglobalmailboxswitch/0:1", 0, "Function PLOV_MediaGetDspMailBoxSwitch subboard0 dsp1 error, iRet = "},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.path);
        sim_clear_faults();
        sim_fail_request(kFpgaTransNode, PLOV_IOC_READ_INDIR_REG, EIO, c.nth);
        sim_fail_request(kFpgaTransNode, PLOV_IOC_WRITE_INDIR_REG, EIO, c.nth);
        r = run(Blk::T, c.path);
        EXPECT_LT(r.status, 0);
        EXPECT_TRUE(r.out.ends_with(std::string("FAILED\n") + c.tail + std::to_string(r.status) + "\n")) << r.out;
    }
}

TEST_F(MediaCmd, StatisticRows)
{
    ConsoleRun r = run(Blk::T, "getstatistic/0:2:5");
    EXPECT_EQ(r.status, 0);
    EXPECT_TRUE(r.out.starts_with("Get Statistic subboard 0(0x0)  dsp 2(0x2)  dspcoreid 5(0x5)\nSubBoardId = 0\n\n"
                                  "DspId = 2\n\nDspCoreId = 5\n\nstMediaMailboxStatistic.ulDspCtrlMsgMailBoxReceiveCnt "
                                  "= 0x"))
        << r.out;
    EXPECT_EQ(count_of(r.out, "stMediaMailboxStatistic."), 10u);
    EXPECT_TRUE(contains(r.out, "\n\nstMediaMailboxStatistic.ulDspReleaseMailBoxErrCnt = 0x"));
    r = run(Blk::T, "clrstatistic/0:2:5");
    EXPECT_EQ(r.status, 0);
    EXPECT_TRUE(r.out.starts_with("Clrt Statistic subboard 0(0x0)  dsp 2(0x2)  dspcoreid 5(0x5)\n"
                                  "Before Clr Command,Statistic is: \n\rSubBoardId = 0\n\n"));
    EXPECT_TRUE(contains(r.out, "After Clr Command,Statistic is: \n\rSubBoardId = 0\n\n"));
    EXPECT_EQ(count_of(r.out, "stMediaMailboxStatistic."), 20u);
    EXPECT_TRUE(r.out.ends_with("ulDspReleaseMailBoxErrCnt = 0x0\n\nSUCCESS\n"));

    sim_fail_request(kFpgaTransNode, PLOV_IOC_READ_INDIR_REG, EIO);
    r = run(Blk::T, "getstatistic/0:2:5");
    EXPECT_EQ(r.out, "Get Statistic subboard 0(0x0)  dsp 2(0x2)  dspcoreid 5(0x5)\nFAILED\n"
                     "Function PLOV_MediaGetDspMailboxStatistic subboard0 dsp2 dspcoreid5 error, iRet = " +
                         std::to_string(r.status) + "\n");
    sim_clear_faults();
    sim_fail_request(kFpgaTransNode, 0xC004EF1E, EIO);   // the statistics clear request
    r = run(Blk::T, "clrstatistic/0:2:5");
    EXPECT_LT(r.status, 0) << r.out;
    EXPECT_TRUE(contains(r.out, "Before Clr Command"));
    EXPECT_TRUE(r.out.ends_with("FAILED\nFunction PLOV_MediaClrDspMailboxStatistic subboard0 dsp2 dspcoreid5 error, "
                                "iRet = " + std::to_string(r.status) + "\n"));
}

} // namespace

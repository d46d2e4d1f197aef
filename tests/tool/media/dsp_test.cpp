// The DSP mailbox protocol and the equipment tests on the simulated KESP
// board, through the t_media dispatcher, every wait in virtual time.
#include "tool/media/dsp.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <string>
#include <vector>

#include "sim/media_model.h"
#include "sim/media_prog.h"
#include "sim/sim_host.h"
#include "sim/sim_sched.h"
#include "support/console_run.h"
#include "support/sim_fixture.h"
#include "tool/trans_op.h"

namespace {

using Bytes = std::vector<uint8_t>;
constexpr uint64_t kMs = 1000000;
constexpr uint64_t kS = 1000 * kMs;

class DspProto : public SimTest {
protected:
    std::string board() const override { return "ZK17KESP"; }
    void SetUp() override
    {
        SimTest::SetUp();
        media_prog_start(0, 0);
    }
    // The command on the t_media block and the virtual time it took.
    struct Timed {
        ConsoleRun run;
        uint64_t ns;
    };
    static Timed t_media(const std::string &path)
    {
        uint64_t t0 = sim_clock_ns();
        ConsoleRun r = console_run([&] { return op_t_media(path.c_str()); });
        return {r, sim_clock_ns() - t0};
    }
    static void reply(uint32_t dsp, uint32_t core, uint32_t cmd, Bytes data, MediaDelay when = {},
                      uint32_t areaAddr = 0, Bytes area = {})
    {
        media_prog_set_reply(0, dsp, core, cmd, MediaProgReply{when, std::move(data), areaAddr, std::move(area)});
    }
};

// ---- input and ranges -------------------------------------------------------------------------------

TEST_F(DspProto, BadInputAndRanges)
{
    struct Case {
        const char *path;
        int status;
        const char *handler;   // null: `out` is the whole output
        const char *out = "";
    };
    const Case cases[] = {
        {"dspinit/0", -1202, "media_dsp_init"},
        {"dspshakehand/x", -1202, "media_dsp_ShakeHand"},
        {"dspcmd/0:0:100", -1202, "media_dsp_cmd"},
        {"dspmailreset/0:0", -1202, "media_dsp_mail_reset"},
        {"m/", -1202, "media_dsp_eq_ddr_test"},
        {"jumpmem/1", -1202, "media_dsp_eq_ddr_Jump_test"},
        {"c/a:b", -1202, "media_dsp_eq_chip_test"},
        {"dspinit/2:0", -1200, nullptr},
        {"dspinit/0:9", -1200, nullptr},
        {"m/2:255", -1200, nullptr},
        {"jumpmem/0:9", -1200, nullptr},
        {"c/0:254", -1200, nullptr, "\nperformance test error ,iRet = -1200\n\n"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.path);
        Timed t = t_media(c.path);
        EXPECT_EQ(t.run.status, c.status);
        EXPECT_EQ(t.ns, 0u);
        if (c.handler == nullptr) {
            EXPECT_EQ(t.run.out, c.out);
            continue;
        }
        EXPECT_TRUE(t.run.out.starts_with(std::string("FAILED\nInvalid input, please check [") + c.handler + "] "))
            << t.run.out;
    }
    EXPECT_TRUE(media_prog_commands(0, 0).empty());
    ConsoleRun ok = console_run([] { return media_dsp_get_eq_ddr_result("1:8"); });
    EXPECT_EQ(ok.status, 0);
    EXPECT_EQ(ok.out, "SUCCESS\n");
    ConsoleRun bad = console_run([] { return media_dsp_get_eq_chip_result("1"); });
    EXPECT_EQ(bad.status, -1202);
    EXPECT_TRUE(bad.out.ends_with(", iRet = 1\n"));
}

// A core number above 7 would address other DSP memory: refused, nothing written.
TEST_F(DspProto, MailResetOfACoreOutOfRangeWritesNothing)
{
    for (const char *path : {"dspmailreset/0:0:8", "dspmailreset/0:0:112"}) {
        SCOPED_TRACE(path);
        sim_clear_journal();
        Timed t = t_media(path);
        EXPECT_EQ(t.run.status, -1205);
        EXPECT_EQ(t.run.out, "FAILED\nFunction media_dsp_mail_reset_proc  subboard0 dsp0 exe error, iRet = -1205\n");
        EXPECT_EQ(requests_seen(MEDIA_MEM_WRITE), 0u);
    }
}

// ---- command exchange ----------------------------------------------------------------------------------

TEST_F(DspProto, CommandOf256AndAboveIsTheMarkerThenItsSecondByte20msLater)
{
    struct Case {
        const char *path;
        uint32_t key;
        uint64_t ns;
        const char *writes;
    };
    const Case cases[] = {
        {"dspcmd/0:0:0x100", 0xC101, 1030 * kMs,
         "write param:0,0,0x1087fe88,1\nwrite param:0,0,0x1087fe89,1\n"
         "\nSend cmd frame to enSubBoardId 0 Dsp0 :\nwrite param:0,0,0x1087fe07,1\n"},
        {"dspcmd/0:0:0x30", 0x30, 1010 * kMs,
         "write param:0,0,0x1087fe88,1\n\nSend cmd frame to enSubBoardId 0 Dsp0 :\nwrite param:0,0,0x1087fe07,1\n"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.path);
        size_t before = media_prog_commands(0, 0).size();
        Timed t = t_media(c.path);
        EXPECT_EQ(t.run.status, 0);
        EXPECT_EQ(t.ns, c.ns);
        EXPECT_TRUE(t.run.out.starts_with("read param:0,0,0x1087fe07,1\nread value is0x55,\n")) << t.run.out;
        EXPECT_TRUE(contains(t.run.out, c.writes)) << t.run.out;
        EXPECT_TRUE(t.run.out.ends_with("write param:0,0,0x1087fe06,1\nSUCCESS\n"));
        ASSERT_EQ(media_prog_commands(0, 0).size(), before + 1);
        EXPECT_EQ(media_prog_commands(0, 0).back(), c.key);
    }
    uint8_t b[2] = {};
    media_mem_read(0, 0, dsp_mail_addr(0, DSP_MAIL_CMD), b, 2);
    EXPECT_EQ(b[0], 0x30);
    EXPECT_EQ(b[1], 0x01);
}

TEST_F(DspProto, PerformanceCommandRunsOneExchangePerCore)
{
    reply(0, kMediaProgAllCores, 176, {0xFF, 0xFF});
    Timed t = t_media("dspcmd/0:0:0xb0");
    EXPECT_EQ(t.run.status, 0);
    EXPECT_EQ(t.ns, 8 * (10 * kMs + kS));
    EXPECT_EQ(count_of(t.run.out, "\n Performance test task start ok!\n"), 8u);
    EXPECT_EQ(count_of(t.run.out, "\nDsp0 Rsp: uiVal = 0xffff\n"), 8u);
    for (uint32_t core = 0; core < 8; core++) {
        char line[64];
        std::snprintf(line, sizeof line, "write param:0,0,0x%x,1\n", dsp_mail_addr(core, DSP_MAIL_REPLY));
        EXPECT_EQ(count_of(t.run.out, line), 1u) << core;
    }
    EXPECT_EQ(media_prog_commands(0, 0), std::vector<uint32_t>(8, 176));
    // A wrong reply fails only the reader: the exchange goes on and succeeds.
    reply(0, 5, 177, {0x12, 0x34});
    reply(0, 0, 177, {0xFF, 0xFF});
    t = t_media("dspcmd/0:0:0xb1");
    EXPECT_EQ(t.run.status, 0);
    EXPECT_EQ(count_of(t.run.out, "\n Performance test task start failed!\n"), 1u);
    EXPECT_EQ(count_of(t.run.out, "\r\ncmd run failed FAILED, uicmd is 177\n"), 1u);
    EXPECT_TRUE(contains(t.run.out, "\nDsp0 Rsp: uiVal = 0x3412\n"));
}

TEST_F(DspProto, AReplyThatNeverComesGivesUpAfter300Polls)
{
    reply(0, 0, 0x30, {}, {MediaWhen::Never, 0});
    Timed t = t_media("dspcmd/0:0:0x30");
    EXPECT_EQ(t.run.status, -1200);
    EXPECT_EQ(t.ns, 10 * kMs + 300 * 100 * kMs);
    EXPECT_EQ(count_of(t.run.out, "read param:0,0,0x1087fe06,1\n"), 300u);
    EXPECT_TRUE(contains(t.run.out, "FAILED\nInvalid read result, please check [media_dsp_cmd_proc] tool/media/dsp.cpp:"));
    EXPECT_TRUE(t.run.out.ends_with(", iRet = -1200\n"));
    // A reply on the last poll still counts; the busy mailbox is only reported.
    reply(0, 0, 0x31, {}, {MediaWhen::Delay, 299 * 100 * kMs - kMs});
    media_mem_write(0, 0, dsp_mail_addr(0, DSP_MAIL_REQUEST), Bytes{0x55}.data(), 1);
    t = t_media("dspcmd/0:0:0x31");
    EXPECT_EQ(t.run.status, 0) << t.run.out.substr(t.run.out.size() - 300);
    EXPECT_EQ(t.ns, 10 * kMs + 299 * 100 * kMs + kS);
    EXPECT_EQ(count_of(t.run.out, "read param:0,0,0x1087fe06,1\n"), 300u);
    media_mem_write(0, 0, dsp_mail_addr(0, DSP_MAIL_REQUEST), Bytes{0xAA}.data(), 1);
    t = t_media("dspcmd/0:0:0x32");
    EXPECT_TRUE(contains(t.run.out, "\r\nDSP is busy, Please wait for a moment to try again\n"));
    EXPECT_FALSE(contains(t.run.out, "Send cmd frame"));
}

TEST_F(DspProto, ResultReaders)
{
    Bytes items(200);
    for (size_t i = 0; i < items.size(); i++)
        items[i] = static_cast<uint8_t>(i);
    const uint32_t list = dsp_mail_addr(0, DSP_MAIL_LLT_LIST);
    struct Case {
        const char *name;
        uint32_t cmd;
        Bytes data;
        Bytes area;
        bool readerFails;
        std::vector<std::string> lines;
        size_t listRead;   // bytes read from the LLT list (0: none)
    };
    const Case cases[] = {
        {"three-step pass", 5, {0x85, 1, 0, 0}, {}, false,
         {"\nsubid 0 Dsp0 Rsp: \n85\n01\n00\n00\nddr three test Pass: subid 0 dsp id 0\n"}, 0},
        {"three-step fail", 5, {0x85, 0, 7, 3}, {}, true,
         {"ddr three test failed: subid 0 dsp id 0 lineid 7  errortype 3\n"}, 0},
        {"llt pass", 192, {0xC0, 0}, {}, false, {"\nsubid 0 Dsp0 Rsp: \nc0\n00\n\n LLT Test success!\n"}, 0},
        {"llt bad code", 192, {0x10, 0}, {}, false, {"\n LLT Cmd respons failed!\n\n LLT Test success!\n"}, 0},
        {"llt three", 192, {0xC0, 3}, {9, 8, 7}, false,
         {"read value is0x9,0x8,0x7,\nLLT Test failed num is 9\n\nLLT Test failed num is 8\n",
          "\nLLT Test failed num is 7\n"},
         3},
        {"llt 120", 192, {0xC0, 120}, items, false, {"0x20,\n0x21,", "LLT Test failed num is 119\n"}, 120},
        {"llt 121", 192, {0xC0, 121}, items, false, {"\n LLT Cmd respons failed!\n"}, 121},
        {"llt 200 cut to 126", 192, {0xC0, 200}, items, false,
         {"\n LLT Cmd respons failed!\n", "0x40,\n0x41,", "LLT Test failed num is 125\n"}, 126},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        reply(0, 0, c.cmd, c.data, {}, c.area.empty() ? 0 : list, c.area);
        Timed t = t_media(c.cmd == 5 ? "dspcmd/0:0:0x5" : "dspcmd/0:0:0xc0");
        EXPECT_EQ(t.run.status, 0);
        EXPECT_TRUE(t.run.out.ends_with("SUCCESS\n"));
        for (const std::string &line : c.lines)
            EXPECT_TRUE(contains(t.run.out, line)) << line << "\n---\n" << t.run.out;
        EXPECT_EQ(contains(t.run.out, "cmd run failed FAILED, uicmd is"), c.readerFails);
        std::string listLine = "read param:0,0,0x1087fe0a,";
        EXPECT_EQ(contains(t.run.out, listLine), c.listRead != 0);
        if (c.listRead != 0) {
            EXPECT_TRUE(contains(t.run.out, listLine + std::to_string(c.listRead) + "\n"));
        }
        EXPECT_FALSE(contains(t.run.out, "LLT Test failed num is 126\n"));
    }
}

TEST_F(DspProto, ChannelTestWritesEveryWordAndStopsAtABadOne)
{
    Timed t = t_media("dspcmd/0:0:0xb2");
    EXPECT_EQ(t.run.status, 0);
    EXPECT_EQ(t.ns, 10 * kMs + 1024 * 10 * kMs + kS);
    EXPECT_EQ(count_of(t.run.out, "read value is0x55,0xaa,0xaa,0x55,\n"), 1024u);
    EXPECT_TRUE(contains(t.run.out, "write param:0,0,0x80000ffc,4\n"));
    EXPECT_FALSE(contains(t.run.out, "cmd run failed"));
    media_fault_readback(0, 0, 0x80000012);
    t = t_media("dspcmd/0:0:0xb2");
    EXPECT_EQ(t.run.status, 0);
    EXPECT_EQ(t.ns, 10 * kMs + 5 * 10 * kMs + kS);
    EXPECT_TRUE(contains(t.run.out, "read value is0x55,0xaa,0x55,0x55,\nchannel test failed: subid 0 dspid 0 addr "
                               "0x80000010\n\r\ncmd run failed FAILED, uicmd is 178\n"));
}

// ---- handshake and mail reset ------------------------------------------------------------------------------

TEST_F(DspProto, HandshakeGivesEveryCoreItsOwnBudget)
{
    struct Case {
        const char *name;
        uint32_t core;
        MediaDelay answer;
        int status;
        uint64_t ns;
    };
    const Case cases[] = {
        {"all at once", 0, {}, 0, 8 * kS},
        {"core 0 late", 0, {MediaWhen::Delay, 1500 * kMs}, 0, 8 * kS + 600 * kMs},
        {"core 3 silent", 3, {MediaWhen::Never, 0}, -1200, 7 * kS + kS + 41 * 200 * kMs},
        {"core 7 silent", 7, {MediaWhen::Never, 0}, -1200, 7 * kS + kS + 41 * 200 * kMs},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        media_prog_set_handshake(0, 0, kMediaProgAllCores, {});
        media_prog_set_handshake(0, 0, c.core, c.answer);
        media_mem_write(0, 0, dsp_mail_addr(c.core, DSP_MAIL_HANDSHAKE), Bytes{0}.data(), 1);
        Timed t = t_media("dspshakehand/0:0");
        EXPECT_EQ(t.run.status, c.status);
        EXPECT_EQ(t.ns, c.ns);
        EXPECT_EQ(t.run.out.ends_with("SUCCESS\n"), c.status == 0);
        char failed[96];
        std::snprintf(failed, sizeof failed, "\nsub 0 DSP0 core%ushake hands failed, ucVal(170) != 0x55.  \n\n", c.core);
        EXPECT_EQ(contains(t.run.out, failed), c.status != 0);
        // Every core after the silent one is still asked.
        EXPECT_TRUE(contains(t.run.out, "write param:0,0,0x1787fe05,1\n"));
    }
}

TEST_F(DspProto, MailResetShowsTheFlagsAndAlwaysSucceeds)
{
    Timed t = t_media("dspmailreset/0:0:2");
    EXPECT_EQ(t.run.status, 0);
    EXPECT_EQ(t.run.out,
              "write param:0,0,0x1287fe07,1\nwrite param:0,0,0x1287fe06,1\n"
              "read param:0,0,0x1287fe07,1\nread value is0x55,\nread param:0,0,0x1287fe06,1\nread value is0xaa,\n"
              "reset mail ok.\nSUCCESS\n");
    media_fault_readback(0, 0, dsp_mail_addr(2, DSP_MAIL_REQUEST));
    t = t_media("dspmailreset/0:0:2");
    EXPECT_EQ(t.run.status, 0);
    EXPECT_TRUE(t.run.out.ends_with("read value is0xaa,\nreset mail fail.\nSUCCESS\n"));
}

// ---- equipment tests -----------------------------------------------------------------------------------------

TEST_F(DspProto, DdrTestOfNineDspsWaitsOnceAndDumpsTheFailures)
{
    for (uint32_t dsp = 1; dsp < 9; dsp++)
        media_prog_start(0, dsp);
    Bytes walks(DSP_DDR_RESULT_LEN, 0);
    walks[2] = 2, walks[3] = 7, walks[4] = 9;   // data bus walk 0: lines 7, 9
    walks[258] = 200;                           // above 125: the dump ends here
    walks[514] = 1;
    Bytes nine(DSP_DDR_RESULT_LEN, 0);
    nine[514] = 1;
    nine[515] = 0x34, nine[516] = 0x12;
    nine[519] = 0x23, nine[520] = 0x01, nine[521] = 0xEF, nine[522] = 0xCD, nine[523] = 0xAB;
    reply(4, 0, 6, {}, {}, DSP_DDR_RESULT_ADDR, walks);
    reply(5, 0, 6, {}, {}, DSP_DDR_RESULT_ADDR, nine);
    reply(7, 0, 6, {}, {MediaWhen::Never, 0});
    Timed t = t_media("m/0:255");
    EXPECT_EQ(t.run.status, 1);
    EXPECT_EQ(t.ns, 9 * 10 * kMs + 240 * kS);
    for (uint32_t dsp = 0; dsp < 9; dsp++)
        EXPECT_EQ(media_prog_commands(0, dsp), std::vector<uint32_t>{6}) << dsp;
    EXPECT_EQ(count_of(t.run.out, "send ddr test cmd to subid 0, dspid "), 9u);
    EXPECT_EQ(count_of(t.run.out, "DSP DDR Test Success\n"), 6u);
    EXPECT_TRUE(contains(t.run.out, "subid 0, dspid 7 DSP DDR Test Timeout\n"));
    EXPECT_TRUE(contains(t.run.out, "subid 0, dspid 4 DSP DDR Test Failed\nData bus walk 0 err line cnt 2:\nerr line is:\n"
                               "7,\n9,\nAddr bus walk 0 err line cnt 200:\nwrite param:0,4,0x1087fe06,1\n"));
    EXPECT_TRUE(contains(t.run.out, "subid 0, dspid 5 DSP DDR Test Failed\nnine step err cnt 1:\n"
                               "read addr pTempAddr 0x1234 :abcdef0123\n\n"));
    EXPECT_FALSE(contains(t.run.out, "DDR Test OK"));
    // All nine passing.
    reply(4, 0, 6, {});
    reply(5, 0, 6, {});
    reply(7, 0, 6, {});
    for (uint32_t dsp = 0; dsp < 9; dsp++)
        media_mem_write(0, dsp, DSP_DDR_RESULT_ADDR, Bytes(DSP_DDR_RESULT_LEN, 0).data(), DSP_DDR_RESULT_LEN);
    t = t_media("m/0:3");
    EXPECT_EQ(t.run.status, 0);
    EXPECT_EQ(t.ns, 10 * kMs + 240 * kS);
    EXPECT_TRUE(t.run.out.ends_with("subid 0, dspid 3 DSP DDR Test Success\nwrite param:0,3,0x1087fe06,1\nDDR Test OK\n"));
}

TEST_F(DspProto, DdrTestStopsAtAFailedAccessAndABusyMailbox)
{
    media_fail(MEDIA_MEM_WRITE, 0, 0, EIO, 1);
    Timed t = t_media("m/0:0");
    EXPECT_EQ(t.run.status, -1);
    EXPECT_EQ(t.ns, 0u);
    EXPECT_TRUE(t.run.out.starts_with("write param:0,0,0x1087fe06,1\nFAILED BOARDID 0  DSPID 0\n"
                                      "Invalid Write DSP memory, please check [write_byte] tool/media/dsp.cpp:"));
    EXPECT_TRUE(t.run.out.ends_with(", iRet = -1,DSPAddr = 0x1087fe06\n"));
    media_fault_readback(0, 0, dsp_mail_addr(0, DSP_MAIL_REQUEST));
    t = t_media("m/0:0");
    EXPECT_EQ(t.run.status, 2);
    EXPECT_EQ(t.ns, 10 * kMs);
    EXPECT_TRUE(t.run.out.ends_with("read value is0xaa,\n\r\nsubid 0, dspid 0 coreid 0 DSP mail is busy, Please wait "
                                    "for a moment to try again\n"));
    EXPECT_TRUE(media_prog_commands(0, 0).empty());
}

TEST_F(DspProto, JumpTestReadsOneRecordPerCore)
{
    Bytes rec(DSP_JUMP_RECORD_LEN, 0);
    rec[12] = 0x00, rec[13] = 0x10, rec[14] = 0x00, rec[15] = 0x80;   // failing address 0x80001000
    rec[16] = 0x11, rec[20] = 0x13;
    reply(0, 2, 7, {}, {}, DSP_JUMP_RESULT_ADDR + 2 * DSP_JUMP_RECORD_LEN, rec);
    Timed t = t_media("jumpmem/0:0");
    EXPECT_EQ(t.run.status, 1);
    EXPECT_EQ(t.ns, 8 * 10 * kMs + 1200 * kS);
    EXPECT_EQ(media_prog_commands(0, 0), std::vector<uint32_t>(8, 7));
    EXPECT_EQ(count_of(t.run.out, "send ddr test cmd to subid 0, dspid 0, coreid "), 8u);
    EXPECT_EQ(count_of(t.run.out, "subid 0, dspid 0 DSP DDR Jump Test Success\n"), 7u);
    EXPECT_TRUE(contains(t.run.out, "read param:0,0,0xc1f3fd8,28\n"));
    EXPECT_TRUE(contains(t.run.out, "subid 0, dspid 0 core 2DSP DDR JUMP Test Failed\njump test  err addr is 0x80001000:\n"
                               "jump test  write data is 0x00000011:\njump test  read data is 0x00000013:\n"
                               "write param:0,0,0x1287fe06,1\n"));
    reply(0, 2, 7, {});
    media_mem_write(0, 0, DSP_JUMP_RESULT_ADDR, Bytes(8 * DSP_JUMP_RECORD_LEN, 0).data(), 8 * DSP_JUMP_RECORD_LEN);
    t = t_media("jumpmem/0:0");
    EXPECT_EQ(t.run.status, 0);
    EXPECT_TRUE(t.run.out.ends_with("DDR Test OK\n"));
}

TEST_F(DspProto, PerformanceTest)
{
    struct Case {
        const char *name;
        void (*setup)();
        int status;
        uint64_t ns;
        const char *line;
    };
    const Case cases[] = {
        {"passes", [] {}, 0, 8 * 110 * kMs + 240 * kS + 8 * kS,
         "\nsub 0 DSP0 shake hands success \n\n\nperformance test success \n"},
        {"busy core", [] { media_prog_set_busy(0, 0, 5, 1); }, 2, 0,
         "\r\nsubid 0, dspid 0 DSP is busy, Please wait for a moment to try again\n"
         "\nperformance test error ,iRet = 2\n\n"},
        {"wrong reply", [] { media_prog_set_reply(0, 0, 3, 176, MediaProgReply{{}, {0xFF, 0x00}, 0, {}}); }, 1,
         4 * 110 * kMs, "\n subid 0, dspid 0 coreid 3Performance test task start failed!\n"},
        {"no reply", [] { media_prog_set_reply(0, 0, 1, 176, MediaProgReply{{MediaWhen::Never, 0}, {}, 0, {}}); }, 1,
         2 * 110 * kMs, "\nperformance test error ,iRet = 1\n\n"},
        {"silent core after", [] { media_prog_set_handshake(0, 0, 6, {MediaWhen::Never, 0}); }, 1,
         8 * 110 * kMs + 240 * kS + 6 * kS + kS + 4 * 200 * kMs,
         "\nsub 0 DSP0 core6shake hands failed, ucVal(170) != 0x55.  \n\n\nsub 0 DSP0 performance test failed \n\n"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        media_prog_reset_all();
        media_prog_start(0, 0);
        media_prog_set_busy(0, 0, 5, 0);
        reply(0, kMediaProgAllCores, 176, {0xFF, 0xFF});
        c.setup();
        Timed t = t_media("c/0:0");
        EXPECT_EQ(t.run.status, c.status);
        EXPECT_EQ(t.ns, c.ns);
        EXPECT_TRUE(contains(t.run.out, c.line)) << t.run.out.substr(t.run.out.size() > 600 ? t.run.out.size() - 600 : 0);
    }
}

TEST_F(DspProto, DspInitOfAllNineStopsAtTheFirstFailure)
{
    media_prog_start(0, 1);
    Timed t = t_media("dspinit/0:255");
    EXPECT_EQ(t.run.status, -1200);
    EXPECT_EQ(count_of(t.run.out, "Dsp mail Start Work OK.\r\n"), 2u);
    EXPECT_TRUE(t.run.out.ends_with("DSP init mail failed.\r\nFAILED\n"
                                    "Function media_dsp_mail_init subboard0 dsp2 exe error, iRet = -1200\n"));
    t = t_media("dspinit/0:1");   // configured already: its block no longer says "started"
    EXPECT_EQ(t.run.status, -1200);
    media_prog_start(0, 2);
    t = t_media("dspinit/0:2");
    EXPECT_EQ(t.run.status, 0);
    EXPECT_TRUE(t.run.out.ends_with("Dsp mail Start Work OK.\r\nSUCCESS\n"));
}

} // namespace

namespace {

// The DSP program's replies as a board engineer writes them in a fixture.
TEST_F(DspProto, FixtureLinesScriptTheReplies)
{
    std::string err;
    const char *bad[] = {
        "media-reply 0 0 - 176",                  // no WHEN
        "media-reply 0 0 8 176 now",              // core 8
        "media-reply 0 0 - 176 soon",
        "media-reply 0 0 - 176 now data=fff",     // odd digits
        "media-reply 0 0 - 176 now data=zz",
        "media-reply 0 0 - 176 now area=0:00",    // no area at 0
        "media-reply 0 0 - 176 now area=0x100",
        "media-reply 0 0 - 176 now color=1",
        "media-reply 2 0 - 176 now",
        "media-delay 0 0 handshake later",
    };
    for (const char *line : bad) {
        SCOPED_TRACE(line);
        err.clear();
        EXPECT_FALSE(media_fixture_line(line, err));
        EXPECT_FALSE(err.empty());
    }
    ASSERT_TRUE(media_fixture_line("media-reply 0 0 - 176 ms=50 data=ffff", err)) << err;
    ASSERT_TRUE(media_fixture_line("media-reply 0 0 0 192 now data=c002 area=0x1087fe0a:0506", err)) << err;
    ASSERT_TRUE(media_fixture_line("media-delay 0 0 handshake never", err)) << err;
    Timed t = t_media("dspcmd/0:0:0xb0");   // each reply comes between the first and second poll
    EXPECT_EQ(t.run.status, 0);
    EXPECT_EQ(t.ns, 8 * (10 * kMs + 100 * kMs + kS));
    EXPECT_EQ(count_of(t.run.out, "\n Performance test task start ok!\n"), 8u);
    t = t_media("dspcmd/0:0:0xc0");
    EXPECT_TRUE(contains(t.run.out, "read value is0x5,0x6,\nLLT Test failed num is 5\n\nLLT Test failed num is 6\n"));
    t = t_media("dspshakehand/0:0");
    EXPECT_EQ(t.run.status, -1200);
    EXPECT_EQ(count_of(t.run.out, "shake hands failed"), 8u);
}

} // namespace

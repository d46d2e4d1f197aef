// DSP mail tables on the simulated KESP board: the trans table built from
// a DSP program's info block, the mail init handshake, the mailbox switch,
// statistics and debug-log commands through the t_media dispatcher.
#include "tool/media/dspmail.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <string>
#include <vector>

#include "boardlib/media_intf.h"
#include "sim/media_model.h"
#include "sim/media_prog.h"
#include "sim/sim_host.h"
#include "support/console_run.h"
#include "support/media_image.h"
#include "support/sim_fixture.h"

namespace {

using Bytes = std::vector<uint8_t>;

class DspMail : public SimTest {
protected:
    std::string board() const override { return "ZK17KESP"; }
    // Loads a small program into a DSP: its start publishes the info block.
    static void start_program(uint32_t sub, uint32_t dsp)
    {
        Bytes img = image_build(0x10800000, {{0x81000000, Bytes(0x20, 0x5A)}});
        ASSERT_EQ(PLOV_MediaLoadDspPrg(sub, dsp, img.data(), static_cast<int32_t>(img.size()), 0), 0);
        ASSERT_TRUE(media_prog_running(sub, dsp));
    }
    static uint8_t info_byte(uint32_t sub, uint32_t dsp, uint32_t at)
    {
        uint8_t b = 0;
        media_mem_read(sub, dsp, 0x80000000 + at, &b, 1);
        return b;
    }
};

ConsoleRun t_media(const std::string &path)
{
    return console_run([&] { return op_t_media(path.c_str()); });
}

ConsoleRun mail_init(uint32_t sub, uint32_t dsp)
{
    return console_run([&] { return media_dsp_mail_init(sub, dsp); });
}

// ---- trans-table build (pure) ----------------------------------------------------------------

TEST(DspMailTable, BuildFromABlock)
{
    struct Case {
        uint32_t ringLen, blockSize, dataBlockSize;
        uint32_t depth, blockCode, dataBlockCode, top;
    };
    const Case cases[] = {
        {1024, 256, 2048, 1, 0, 3, 0x7FF00},          // (8 x 2048 x 2047) >> 6
        {512, 512, 256, 0, 1, 0, (8u * 256 * 1023) >> 6},
        {3000, 4096, 4096, 8, 4, 4, (8u * 4096 * 5999) >> 6},
        {65536, 2048, 2048, 7, 3, 3, static_cast<uint32_t>(8ull * 2048 * 131071) >> 6},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.ringLen);
        MediaProgProfile p;
        p.ringLen = c.ringLen;
        p.blockSize = c.blockSize;
        p.dataBlockSize = c.dataBlockSize;
        Bytes block = media_prog_block(p);
        DspTransTable t;
        std::memset(&t, 0xCC, sizeof t);
        media_dsp_build_trans_table(1, 7, block.data(), &t);
        for (uint32_t i = 0; i < MEDIA_TRANS_ENTRIES; i++) {
            const MbDesc &e = t.MediaTransAddrTbl[i];
            EXPECT_EQ(e.enSubboardId, 1u);
            EXPECT_EQ(e.enDspId, 7u);
            EXPECT_EQ(e.enDspCoreId, i / 5);
            EXPECT_EQ(e.MailBoxType, i % 5);
            EXPECT_EQ(e.DspAddr, 0x80010000 + (e.MailBoxType * 8 + e.enDspCoreId) * 0x2000);
            EXPECT_EQ(e.MailBoxDepth, c.depth);
            EXPECT_EQ(e.MailBoxBlockSize, e.MailBoxType == 2 ? c.dataBlockCode : c.blockCode);
            EXPECT_EQ(e.ulRsv, 0u);
        }
        const uint32_t tables[] = {kMediaProgDownTable, kMediaProgUpTable, kMediaProgFreeTable};
        for (uint32_t k = 0; k < 3; k++) {
            EXPECT_EQ(t.MediaTransRwptrTbl[k].enDspTransRwptrTblType, k);
            EXPECT_EQ(t.MediaTransRwptrTbl[k].ulDspTransRwptrTblAddr, tables[k]);
        }
        EXPECT_EQ(t.MediaTransPoolBaseInfo.ulSendPoolBase, p.sendPool);
        EXPECT_EQ(t.MediaTransPoolBaseInfo.ulSendBottomOffset, 0u);
        EXPECT_EQ(t.MediaTransPoolBaseInfo.ulSendTopOffset, c.top);
        EXPECT_EQ(t.ulRsv[0] | t.ulRsv[1], 0u);
    }
}

TEST(DspMailTable, FixedTableAndItsDump)
{
    DspTransTable t;
    media_dsp_fixed_trans_table(0, 3, &t);
    EXPECT_EQ(t.MediaTransAddrTbl[7].MailBoxBlockSize, 3u);   // core 1, type 2
    EXPECT_EQ(t.MediaTransAddrTbl[8].MailBoxBlockSize, 0u);   // core 1, type 3
    EXPECT_EQ(t.MediaTransAddrTbl[39].DspAddr, 0x80020000u);
    EXPECT_EQ(t.MediaTransPoolBaseInfo.ulSendTopOffset, 4660u);
    ConsoleRun r = console_run([&] { media_dsp_dump_trans_table(&t); return 0; });
    EXPECT_EQ(count_of(r.out, "MailBoxBlockSize: 3 \n\n"), 16u);   // types 0 and 2 only
    EXPECT_EQ(count_of(r.out, "MailBoxBlockSize: 0"), 0u);
    EXPECT_EQ(count_of(r.out, "RwptrTblAddr: 0x80100000 \n\n"), 3u);
    EXPECT_NE(r.out.find("pstMediaTransTbl->ulSendBottomOffset: 0x300 \n\n"
                         "pstMediaTransTbl->ulSendTopOffset: 0x1234 \n\n"),
              std::string::npos);
}

// ---- debug-record text (pure) -----------------------------------------------------------------

TEST(DspMailLog, RecordTextIsTerminatedAfterItsStart)
{
    struct Case {
        uint16_t length;
        size_t textLen;
    };
    const Case cases[] = {{0, 0}, {5, 0}, {11, 0}, {12, 0}, {15, 3}, {506, 494}, {507, 495}, {508, 495}, {0xFFFF, 495}};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.length);
        uint8_t rec[DSP_LOG_REC_LEN];
        std::memset(rec, 'x', sizeof rec);
        std::memcpy(rec + 2, &c.length, 2);
        const char *text = media_dsp_log_text(rec);
        EXPECT_EQ(text, reinterpret_cast<char *>(rec + 16));
        EXPECT_EQ(std::strlen(text), c.textLen);
    }
}

// ---- mail init ----------------------------------------------------------------------------------

TEST_F(DspMail, InitWithoutAProgramStopsAfterOneRead)
{
    ConsoleRun r = mail_init(0, 0);
    EXPECT_EQ(r.status, -1200);
    EXPECT_EQ(r.out, "read param:0,0,0x80000001,1\nread value is0x0,\nDSP init mail failed.\r\n");
}

TEST_F(DspMail, InitInstallsTheTableAndCompletesTheHandshake)
{
    start_program(0, 2);
    media_prog_set_answer(0, 2, {MediaWhen::Delay, 250000000});
    uint64_t t0 = sim_clock_ns();
    ConsoleRun r = mail_init(0, 2);
    EXPECT_EQ(r.status, 0) << r.out.substr(0, 3000);
    EXPECT_EQ(sim_clock_ns() - t0, 300000000u);   // answered at 0.25 s, seen by the third read
    EXPECT_NE(r.out.find("----->> Dsp Start Work 0-2 \n"), std::string::npos);
    EXPECT_NE(r.out.find("DSP VER        : 0x10203 \nDSP ModifyDate : 0x20261206 \n"), std::string::npos);
    EXPECT_NE(r.out.find("=========================== PrintPLOVTable End \nwrite param:0,2,0x80000002,1\n"
                         "write param:0,2,0x80000000,1\nwrite param:0,2,0x80000001,1\n"
                         "Dsp Start Work OK. Waiting For Dsp Config...\r\n"),
              std::string::npos);
    EXPECT_EQ(count_of(r.out, "read param:0,2,0x80000001,1\n"), 4u);
    EXPECT_TRUE(r.out.ends_with("read value is0x3,\nDsp mail Start Work OK.\r\n"));
    EXPECT_EQ(info_byte(0, 2, 0), 2);
    EXPECT_EQ(info_byte(0, 2, 2), 0);
    DspTransTable back{};
    ASSERT_EQ(PLOV_MediaGetDspTransTable(0, 2, &back), 0);
    EXPECT_EQ(back.MediaTransAddrTbl[5].DspAddr, 0x80010000u + 8 * 0x2000 * 0 + 1 * 0x2000);
}

TEST_F(DspMail, InitFailures)
{
    struct Case {
        const char *name;
        std::function<void()> setup;
        int status;
        const char *tail;
    };
    const Case cases[] = {
        {"no answer",
         [] {
             std::string err;
             EXPECT_TRUE(media_fixture_line("media-delay 0 0 answer never", err)) << err;
         },
         -1200,
         "read value is0x2,\nDSP init mail failed.\r\n"},
        {"bad ring length",
         [] {
             uint32_t len = 3000;   // core 0's type-0 ring
             media_mem_write(0, 0, 0x80000000 + 80 + 4, &len, 4);
         },
         -1200,
         "=========================== PrintPLOVTable End \n"
         "Error Return -1202 When Call PLOV_MediaSetDspTransTable -- BoardId 0,DspId 0!!\n"
         "Error Return -1200 When Call media_dsp_set_trans_table -- BoardId 0,DspId 0!!\n"},
        {"block read", [] { media_fail(MEDIA_MEM_READ, 0, 0, EIO, 2); }, -1, "DSPAddr = 0x80000000\n"},
        {"handshake write", [] { media_fail(MEDIA_MEM_WRITE, 0, 0, EIO, 3); }, -1,
         "FAILED BOARDID 0  DSPID 0\nInvalid Write DSP memory, please check [write_byte] tool/media/dspmail.cpp:"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        media_prog_set_profile(MediaProgProfile{});
        media_prog_set_answer(0, 0, {});
        start_program(0, 0);
        sim_clear_faults();
        c.setup();
        uint64_t t0 = sim_clock_ns();
        ConsoleRun r = mail_init(0, 0);
        EXPECT_EQ(r.status, c.status);
        EXPECT_NE(r.out.find(c.tail), std::string::npos) << r.out.substr(r.out.size() > 400 ? r.out.size() - 400 : 0);
        if (std::string(c.name) == "no answer") {
            EXPECT_EQ(count_of(r.out, "read param:0,0,0x80000001,1\n"), 11u);
            EXPECT_EQ(sim_clock_ns() - t0, 1000000000u);
        }
        sim_clear_faults();
    }
}

// ---- mailbox switches ------------------------------------------------------------------------------

TEST_F(DspMail, SwitchesOfAllDspsThenOneWaitThenTheGlobalOnes)
{
    uint64_t t0 = sim_clock_ns();
    ConsoleRun r = t_media("setdspmailboxswitch/0:255:1");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(count_of(r.out, "Set MailboxSwitch subboard 0(0x0)  dsp "), 360u);
    EXPECT_EQ(count_of(r.out, "Set GlobalMailboxSwitch subboard 0(0x0)  dsp "), 9u);
    EXPECT_NE(r.out.find("Set MailboxSwitch subboard 0(0x0)  dsp 8(0x8) DspCoreId 7(0x7)  MailboxType 4(0x4) "
                         "MailboxSwitch 1(0x1)\nSet GlobalMailboxSwitch subboard 0(0x0)  dsp 0(0x0) MailboxSwitch "
                         "1(0x1)\n"),
              std::string::npos);
    EXPECT_TRUE(r.out.ends_with("dsp 8(0x8) MailboxSwitch 1(0x1)\nSUCCESS\n"));
    EXPECT_EQ(sim_clock_ns() - t0, 5000000000u);
    uint32_t on = 0;
    ASSERT_EQ(PLOV_MediaGetGlobalDspMailBoxSwitch(0, 8, &on), 0);
    EXPECT_EQ(on, 1u);

    struct Case {
        const char *path;
        int status;
        const char *out;
    };
    const Case cases[] = {
        {"setdspmailboxswitch/2:0:1", -1200, ""},
        {"setdspmailboxswitch/0:9:1", -1200, ""},
        {"setdspmailboxswitch/0:1", -1202, "FAILED\nInvalid input, please check [media_set_dsp_all_mailbox_switch] "},
        {"getdspstatistic/0:9", -1200, ""},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.path);
        ConsoleRun e = t_media(c.path);
        EXPECT_EQ(e.status, c.status);
        EXPECT_TRUE(e.out.starts_with(c.out)) << e.out;
        EXPECT_EQ(e.out.empty(), *c.out == 0);
    }
}

// ---- statistics -------------------------------------------------------------------------------------

TEST_F(DspMail, StatisticsShowPointersAndCountersAndClearOneCore)
{
    start_program(0, 1);
    const uint32_t words[10] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10};
    media_prog_set_stats(0, 1, 3, words);
    uint32_t down[2] = {0x11, 0x22};   // core 2's data-ring write index, and its read index
    media_mem_write(0, 1, kMediaProgDownTable + 16 * 2 + 8, &down[0], 4);
    media_mem_write(0, 1, kMediaProgDownTable + 256 + 16 * 2 + 8, &down[1], 4);
    ConsoleRun r = t_media("getdspstatistic/0:1");
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.out.find("\nDown audio data mailbox description:\n"), std::string::npos);
    char line[256];
    std::snprintf(line, sizeof line,
                  "base:0x%08x len:0x00000400 read:0x00000022 write:0x00000011 size:0x00000800 rdAddr:0x%08x "
                  "wtAddr:0x%08x msk:0x00000000 sts:0x01\n",
                  0x80010000 + (2 * 8 + 2) * 0x2000, kMediaProgDownTable + 256 + 40, kMediaProgDownTable + 40);
    EXPECT_NE(r.out.find(line), std::string::npos) << r.out.substr(0, 3000);
    EXPECT_NE(r.out.find("rdAddr:0x800004dc wtAddr:0x800004d8"), std::string::npos);   // pool core 7
    EXPECT_NE(r.out.find("Up Mb Base Addr = 0x80400000\n"), std::string::npos);
    EXPECT_NE(r.out.find("core 3 statistic:\ninput: Message: receive:0x00000001 error:0x00000002  Data: "
                         "receive:0x00000005 error:0x00000006\noutput: Message:   send:0x00000003 error:0x00000004  "
                         "Data: send:   0x00000007 error:0x00000008\n"),
              std::string::npos);
    EXPECT_EQ(count_of(r.out, " statistic:\n"), 8u);
    EXPECT_EQ(count_of(r.out, "base:0x"), 48u);
    EXPECT_TRUE(r.out.ends_with("SUCCESS\n"));

    ConsoleRun c = t_media("cleardspstatistic/0:1:3");
    EXPECT_EQ(c.status, 0);
    EXPECT_EQ(c.out, "write param:0,1,0x808efd00,40\nSUCCESS\n");
    uint32_t back[10];
    media_mem_read(0, 1, 0x808EFC88 + 120, back, sizeof back);
    EXPECT_EQ(std::vector<uint32_t>(back, back + 10), std::vector<uint32_t>(10, 0));
}

TEST_F(DspMail, StatisticsFailures)
{
    struct Case {
        const char *path;
        std::function<void()> fault;
        int status;
        const char *out;
    };
    const Case cases[] = {
        {"cleardspstatistic/0:1:8", [] {}, -1200,
         "invlid params\nFAILED\nFunction media_dsp_clear_statistic_proc subboard0 dsp1 exe error, iRet = -1200\n"},
        {"cleardspstatistic/2:1:0", [] {}, -1200, "invlid params\nFAILED\n"},
        {"cleardspstatistic/0:1:0", [] { media_fail(MEDIA_MEM_WRITE, 0, 1, EIO); }, -1,
         "write param:0,1,0x808efc88,40\nFAILED BOARDID 0  DSPID 1\nInvalid Write DSP memory, please check "
         "[media_dsp_clear_statistic_proc] tool/media/dspmail.cpp:"},
        {"getdspstatistic/0:1", [] { media_fail(MEDIA_MEM_READ, 0, 1, EIO); }, -1,
         "read param:0,1,0x80000000,1696\nFAILED BOARDID 0  DSPID 1\nInvalid Read DSP memory"},
        {"getdspstatistic/1:0", [] {}, -1, "read param:1,0,0x80000000,1696\nFAILED BOARDID 1  DSPID 0\n"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.path);
        sim_clear_faults();
        c.fault();
        ConsoleRun r = t_media(c.path);
        EXPECT_EQ(r.status, c.status);
        EXPECT_TRUE(r.out.starts_with(c.out)) << r.out;
    }
    sim_clear_faults();
    // a failing table read skips that core's line only
    start_program(0, 1);
    media_fail(MEDIA_MEM_READ, 0, 1, EIO, 3);
    ConsoleRun r = t_media("getdspstatistic/0:1");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(count_of(r.out, "base:0x"), 47u);
}

// ---- debug log ------------------------------------------------------------------------------------

std::vector<std::string> log_lines(const std::string &out)
{
    std::vector<std::string> lines;
    size_t at = 0;
    while (at < out.size()) {
        size_t end = out.find('\n', at);
        std::string l = out.substr(at, end - at);
        if (!l.starts_with("read param:") && !l.starts_with("write param:") && !l.starts_with("read value is"))
            lines.push_back(l);
        at = end + 1;
    }
    return lines;
}

TEST_F(DspMail, ShowLogDrainsTheRingsUntilAPassFails)
{
    start_program(0, 0);
    start_program(0, 4);
    ASSERT_TRUE(media_prog_log(0, 0, 0, "boot done"));
    ASSERT_TRUE(media_prog_log(0, 0, 0, "core0 ready"));
    ASSERT_TRUE(media_prog_log(0, 4, 7, "dsp4 core7"));
    // a record whose length is below the header: an empty line
    uint8_t rec[512] = {};
    std::memcpy(rec + 16, "hidden", 6);
    rec[2] = 5;
    media_mem_write(0, 4, kMediaProgLogBase + 3 * 8 * 512, rec, sizeof rec);
    media_prog_set_log_index(0, 4, 3, 1, 0);
    // write index past 2^24: compared within 24 bits
    media_prog_set_log_index(0, 4, 5, 0x1000002, 0);
    uint64_t t0 = sim_clock_ns();
    ConsoleRun r = t_media("showlog");
    // sub-board 1 is absent: the first pass ends there and ends the command
    EXPECT_EQ(r.status, -1);
    EXPECT_EQ(sim_clock_ns(), t0);
    std::vector<std::string> lines = log_lines(r.out);
    std::vector<std::string> want = {"boot done", "core0 ready", "", "", "", "dsp4 core7", "FAILED BOARDID 1  DSPID 0",
                                     "Invalid Read DSP memory, please check [media_dsp_show_log_pass] "
                                     "tool/media/dspmail.cpp:",
                                     "FAILED"};
    ASSERT_EQ(lines.size(), want.size()) << testing::PrintToString(lines);
    for (size_t i = 0; i < want.size(); i++)
        EXPECT_EQ(lines[i].substr(0, want[i].size()), want[i]);
    EXPECT_TRUE(r.out.ends_with("DSPAddr = 0x80000000\nFAILED\n"));
    uint32_t idx[2];
    media_mem_read(0, 4, 0x80000000 + 1472 + 28 * 5 + 20, idx, 8);
    EXPECT_EQ(idx[1], 2u);

    // a ring that is empty is neither read nor written
    size_t writes = requests_seen(MEDIA_MEM_WRITE);
    r = console_run([] { return media_dsp_show_log_pass(); });
    EXPECT_EQ(requests_seen(MEDIA_MEM_WRITE), writes);
    EXPECT_EQ(count_of(r.out, "read param:0,4,0x80"), 1u);
}

TEST_F(DspMail, OneDrainTakesAtMostOneRingOfRecordsAndPassesRepeat)
{
    media_set_subrd(1, true);
    start_program(0, 0);
    for (int i = 0; i < 3; i++)
        ASSERT_TRUE(media_prog_log(0, 0, 1, "r" + std::to_string(i)));
    // the DSP claims 20 records in a ring of 8: one pass takes 8
    media_prog_set_log_index(0, 0, 1, 20, 0);
    ConsoleRun r = console_run([] { return media_dsp_show_log_pass(); });
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(count_of(r.out, "write param:0,0,0x800005f4,4\n"), 8u);
    // the command runs passes 1 s apart until sub-board 1 leaves
    media_presence_at(1, 9, false, sim_clock_ns() + 2500000000ULL);
    uint64_t t0 = sim_clock_ns();
    r = t_media("showlog");
    EXPECT_EQ(r.status, -1);
    EXPECT_EQ(sim_clock_ns() - t0, 3000000000u);
    EXPECT_EQ(count_of(r.out, "write param:0,0,0x800005f4,4\n"), 12u);
}

} // namespace

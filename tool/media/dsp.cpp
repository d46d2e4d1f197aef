#include "tool/media/dsp.h"

#include <cstdio>
#include <cstring>

#include "bases/drv/media_drv.h"
#include "bases/host/host.h"
#include "kelvo/kelvo.h"
#include "tool/media/dsp_mem.h"
#include "tool/media/dspmail.h"
#include "tool/trans/trans_cmd.h"

#define MEDIA_SITE CmdSite{__func__, __FILE__, static_cast<unsigned>(__LINE__)}

namespace {

constexpr int32_t kFail = -1200;
constexpr int32_t kBadIndex = -1205;
constexpr int32_t kTestFailed = 1;
constexpr uint32_t kHandshakeReads = 41;
constexpr uint32_t kChipHandshakeReads = 4;
constexpr useconds_t kHandshakePollUs = 200000;
constexpr useconds_t kSendWaitUs = 10000;
constexpr useconds_t kHighByteWaitUs = 20000;
constexpr useconds_t kReplyPollUs = 100000;
constexpr uint32_t kReplyPolls = 300;
constexpr useconds_t kChannelWaitUs = 10000;
constexpr useconds_t kPerfReplyWaitUs = 100000;
constexpr unsigned kDdrWaitS = 240;
constexpr unsigned kJumpWaitS = 1200;
constexpr uint32_t kLltMaxCount = 120;
constexpr uint8_t kLltOk = 0xC0;
constexpr uint32_t kDdrDumpMax = 125;

int d(uint32_t v) { return static_cast<int>(v); }

int32_t read_byte(uint32_t sub, uint32_t dsp, uint32_t addr, uint8_t &v)
{
    return MEDIA_DSP_READ(sub, dsp, addr, &v, 1);
}

int32_t write_byte(uint32_t sub, uint32_t dsp, uint32_t addr, uint8_t v)
{
    return MEDIA_DSP_WRITE(sub, dsp, addr, &v, 1);
}

uint32_t le32(const uint8_t *p)
{
    return uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 | uint32_t{p[3]} << 24;
}

// "%u:%u" sub:dsp; false after the bad-input lines, with ret = -1202.
bool scan_sub_dsp(const char *params, const CmdSite &site, uint32_t &sub, uint32_t &dsp, TransOpStatus &ret)
{
    sub = dsp = kCmdUnset;
    int n = sscanf_s(params, "%u:%u", &sub, &dsp);
    if (cmd_scanned(n, sub, dsp))
        return true;
    ret = trans_bad_input(site, n);
    return false;
}

// ---- handshake ------------------------------------------------------------------------------------

// Writes 0xAA to a core's handshake byte, waits 1 s and reads it up to
// `reads` times, 200 ms apart, for the DSP's 0x55; answered again with
// 0xAA. `answered` false after the failure line; the result is an access's.
int32_t shake_core(uint32_t sub, uint32_t dsp, uint32_t core, uint32_t reads, bool &answered)
{
    uint32_t at = dsp_mail_addr(core, DSP_MAIL_HANDSHAKE);
    uint8_t v = 0;
    answered = false;
    if (int32_t ret = read_byte(sub, dsp, at, v); ret != 0)
        return ret;
    if (int32_t ret = write_byte(sub, dsp, at, DSP_MARK_TOOL); ret != 0)
        return ret;
    host().sleep(1);
    for (uint32_t i = 0; i < reads; i++) {
        if (int32_t ret = read_byte(sub, dsp, at, v); ret != 0)
            return ret;
        if (v == DSP_MARK_DSP) {
            answered = true;
            return write_byte(sub, dsp, at, DSP_MARK_TOOL);
        }
        host().usleep(kHandshakePollUs);
    }
    std::printf("\nsub %d DSP%d core%dshake hands failed, ucVal(%d) != 0x55.  \n\n", d(sub), d(dsp), d(core), v);
    return 0;
}

// The short handshake after a performance test: the first silent core ends it.
int32_t chip_shake_hand(uint32_t sub, uint32_t dsp)
{
    for (uint32_t core = 0; core < MEDIA_CORE_NUM; core++) {
        bool answered = false;
        if (int32_t ret = shake_core(sub, dsp, core, kChipHandshakeReads, answered); ret != 0)
            return ret;
        if (!answered)
            return kFail;
    }
    std::printf("\nsub %d DSP%d shake hands success \n\n", d(sub), d(dsp));
    return 0;
}

// ---- command exchange ------------------------------------------------------------------------------

int32_t place_cmd(uint32_t sub, uint32_t dsp, uint32_t core, uint32_t cmd)
{
    if (cmd < 256)
        return write_byte(sub, dsp, dsp_mail_addr(core, DSP_MAIL_CMD), cmd_u8(cmd));
    if (int32_t ret = write_byte(sub, dsp, dsp_mail_addr(core, DSP_MAIL_CMD), DSP_CMD_EXTENDED); ret != 0)
        return ret;
    host().usleep(kHighByteWaitUs);
    return write_byte(sub, dsp, dsp_mail_addr(core, DSP_MAIL_CMD_HIGH), cmd_u8(cmd >> 8));
}

// Step 1: the command into a free mailbox; a busy one is only reported.
int32_t exchange_send(uint32_t sub, uint32_t dsp, uint32_t core, uint32_t cmd)
{
    uint8_t flag = 0;
    if (int32_t ret = read_byte(sub, dsp, dsp_mail_addr(core, DSP_MAIL_REQUEST), flag); ret != 0)
        return ret;
    host().usleep(kSendWaitUs);
    if (flag != DSP_MARK_DSP) {
        trans_line("\r\nDSP is busy, Please wait for a moment to try again");
        return 0;
    }
    if (int32_t ret = place_cmd(sub, dsp, core, cmd); ret != 0)
        return ret;
    std::printf("\nSend cmd frame to enSubBoardId %d Dsp%d :\n", d(sub), d(dsp));
    return write_byte(sub, dsp, dsp_mail_addr(core, DSP_MAIL_REQUEST), DSP_MARK_TOOL);
}

// Step 2: the reply status polled every 100 ms, at most 300 times.
int32_t exchange_wait(uint32_t sub, uint32_t dsp, uint32_t core, const CmdSite &site)
{
    for (uint32_t i = 0; i < kReplyPolls; i++) {
        uint8_t st = 0;
        if (int32_t ret = read_byte(sub, dsp, dsp_mail_addr(core, DSP_MAIL_REPLY), st); ret != 0)
            return ret;
        if (st == DSP_MARK_DSP)
            return 0;
        host().usleep(kReplyPollUs);
    }
    trans_failed();
    std::printf("Invalid read result, please check [%s] %s:%u, iRet = %d\n", site.name, site.file, site.line, kFail);
    return kFail;
}

using ResultReader = int32_t (*)(uint32_t sub, uint32_t dsp, uint32_t core);

struct ReaderRow {
    uint32_t cmd;
    ResultReader read;
};

constexpr ReaderRow kReaders[] = {
    {DSP_CMD_THREE_STEP, [](uint32_t s, uint32_t dp, uint32_t) { return media_dsp_three_step_result(s, dp); }},
    {DSP_CMD_PERF, media_dsp_perf_result},
    {DSP_CMD_PERF2, media_dsp_perf_result},
    {DSP_CMD_CHANNEL, [](uint32_t s, uint32_t dp, uint32_t) { return media_dsp_channel_test(s, dp); }},
    {DSP_CMD_LLT, [](uint32_t s, uint32_t dp, uint32_t) { return media_dsp_llt_result(s, dp); }},
};

void read_result(uint32_t sub, uint32_t dsp, uint32_t core, uint32_t cmd)
{
    for (const ReaderRow &row : kReaders) {
        if (row.cmd == cmd && row.read(sub, dsp, core) != 0)
            std::printf("\r\ncmd run failed FAILED, uicmd is %d\n", d(cmd));
    }
}

} // namespace

int32_t media_dsp_status_back(uint32_t sub, uint32_t dsp, uint32_t core)
{
    return write_byte(sub, dsp, dsp_mail_addr(core, DSP_MAIL_REPLY), DSP_MARK_TOOL);
}

int32_t media_dsp_send_test_cmd(uint32_t sub, uint32_t dsp, uint32_t core, uint32_t cmd)
{
    uint8_t flag = 0;
    if (int32_t ret = read_byte(sub, dsp, dsp_mail_addr(core, DSP_MAIL_REQUEST), flag); ret != 0)
        return ret;
    host().usleep(kSendWaitUs);
    if (flag != DSP_MARK_DSP) {
        std::printf("\r\nsubid %d, dspid %d coreid %d DSP mail is busy, Please wait for a moment to try again\n", d(sub),
                    d(dsp), d(core));
        return DSP_MAIL_BUSY_RET;
    }
    if (int32_t ret = write_byte(sub, dsp, dsp_mail_addr(core, DSP_MAIL_CMD), cmd_u8(cmd)); ret != 0)
        return ret;
    return write_byte(sub, dsp, dsp_mail_addr(core, DSP_MAIL_REQUEST), DSP_MARK_TOOL);
}

int32_t media_dsp_shake_hand(uint32_t sub, uint32_t dsp)
{
    int32_t result = 0;
    for (uint32_t core = 0; core < MEDIA_CORE_NUM; core++) {
        bool answered = false;
        if (int32_t ret = shake_core(sub, dsp, core, kHandshakeReads, answered); ret != 0)
            return ret;
        if (!answered)
            result = kFail;   // a silent core fails the handshake even when later cores answer
    }
    return result;
}

int32_t media_dsp_cmd_proc(uint32_t sub, uint32_t dsp, uint32_t cmd)
{
    uint32_t cores = cmd == DSP_CMD_PERF || cmd == DSP_CMD_PERF2 ? MEDIA_CORE_NUM : 1;
    int32_t ret = 0;
    for (uint32_t core = 0; core < cores; core++) {
        if ((ret = exchange_send(sub, dsp, core, cmd)) != 0)
            return ret;
        if ((ret = exchange_wait(sub, dsp, core, MEDIA_SITE)) != 0)
            return ret;
        read_result(sub, dsp, core, cmd);
        if ((ret = media_dsp_status_back(sub, dsp, core)) != 0)
            return ret;
        host().sleep(1);
    }
    return ret;
}

int32_t media_dsp_mail_reset_proc(uint32_t sub, uint32_t dsp, uint32_t core)
{
    if (core >= MEDIA_CORE_NUM)
        return kBadIndex;   // another core number would address other DSP memory
    uint32_t req = dsp_mail_addr(core, DSP_MAIL_REQUEST), reply = dsp_mail_addr(core, DSP_MAIL_REPLY);
    uint8_t reqBack = 0, replyBack = 0;
    int32_t ret = write_byte(sub, dsp, req, DSP_MARK_DSP);
    if (ret == 0)
        ret = write_byte(sub, dsp, reply, DSP_MARK_TOOL);
    if (ret == 0)
        ret = read_byte(sub, dsp, req, reqBack);
    if (ret == 0)
        ret = read_byte(sub, dsp, reply, replyBack);
    if (ret != 0)
        return ret;
    // The flags are the DSP's to change at any time: what they read is only shown.
    trans_line(reqBack == DSP_MARK_DSP && replyBack == DSP_MARK_TOOL ? "reset mail ok." : "reset mail fail.");
    return 0;
}

// ---- result readers -----------------------------------------------------------------------------------

int32_t media_dsp_perf_result(uint32_t sub, uint32_t dsp, uint32_t core)
{
    uint8_t b[2] = {};
    if (int32_t ret = MEDIA_DSP_READ(sub, dsp, dsp_mail_addr(core, DSP_MAIL_DATA), b, 2); ret != 0)
        return ret;
    uint32_t v = uint32_t{b[0]} | uint32_t{b[1]} << 8;
    std::printf("\nDsp%d Rsp: uiVal = 0x%x\n", d(dsp), v);
    if (v == 0xFFFF) {
        trans_line("\n Performance test task start ok!");
        return 0;
    }
    trans_line("\n Performance test task start failed!");
    return kFail;
}

int32_t media_dsp_three_step_result(uint32_t sub, uint32_t dsp)
{
    uint8_t b[4] = {};
    if (int32_t ret = MEDIA_DSP_READ(sub, dsp, dsp_mail_addr(0, DSP_MAIL_DATA), b, 4); ret != 0)
        return ret;
    std::printf("\nsubid %d Dsp%d Rsp: \n", d(sub), d(dsp));
    for (uint8_t v : b)
        std::printf("%02x\n", v);
    if (b[0] == 0x85 && b[1] == 1) {
        std::printf("ddr three test Pass: subid %d dsp id %d\n", d(sub), d(dsp));
        return 0;
    }
    std::printf("ddr three test failed: subid %d dsp id %d lineid %d  errortype %d\n", d(sub), d(dsp), b[2], b[3]);
    return kFail;
}

int32_t media_dsp_llt_result(uint32_t sub, uint32_t dsp)
{
    uint8_t buf[DSP_LLT_BUF] = {};
    if (int32_t ret = MEDIA_DSP_READ(sub, dsp, dsp_mail_addr(0, DSP_MAIL_DATA), buf, 2); ret != 0)
        return ret;
    std::printf("\nsubid %d Dsp%d Rsp: \n", d(sub), d(dsp));
    std::printf("%02x\n%02x\n", buf[0], buf[1]);
    uint32_t count = buf[1];
    if (buf[0] != kLltOk || count > kLltMaxCount)
        trans_line("\n LLT Cmd respons failed!");
    if (count == 0) {
        trans_line("\n LLT Test success!");
        return 0;
    }
    uint32_t items = count < DSP_LLT_ITEMS ? count : DSP_LLT_ITEMS;   // the buffer holds 126 items
    if (int32_t ret = MEDIA_DSP_READ(sub, dsp, dsp_mail_addr(0, DSP_MAIL_LLT_LIST), buf + 2, items); ret != 0)
        return ret;
    std::printf("read value is");
    for (uint32_t i = 0; i < items; i++) {
        std::printf("0x%x,", buf[2 + i]);
        if (i != 0 && i % 32 == 0)
            std::printf("\n");
    }
    for (uint32_t i = 0; i < items; i++)
        std::printf("\nLLT Test failed num is %d\n", buf[2 + i]);
    return 0;
}

int32_t media_dsp_channel_test(uint32_t sub, uint32_t dsp)
{
    for (uint32_t addr = DSP_CHANNEL_FIRST; addr < DSP_CHANNEL_END; addr += 4) {
        uint32_t word = DSP_CHANNEL_WORD, back = 0;
        if (int32_t ret = MEDIA_DSP_WRITE(sub, dsp, addr, &word, 4); ret != 0)
            return ret;
        host().usleep(kChannelWaitUs);
        if (int32_t ret = MEDIA_DSP_READ(sub, dsp, addr, &back, 4); ret != 0)
            return ret;
        if (back != word) {
            std::printf("channel test failed: subid %d dspid %d addr 0x%x\n", d(sub), d(dsp), addr);
            return kFail;
        }
    }
    return 0;
}

// ---- equipment tests ----------------------------------------------------------------------------------

namespace {

struct DdrWalk {
    const char *name;
    uint32_t at;   // count byte; the line numbers follow it
};

constexpr DdrWalk kDdrWalks[] = {
    {"Data bus walk 0", 2}, {"Data bus walk 1", 130}, {"Addr bus walk 0", 258}, {"Addr bus walk 1", 386}};
constexpr uint32_t kNineStepAt = 514;

} // namespace

void media_dsp_ddr_dump(const uint8_t *r)
{
    for (const DdrWalk &w : kDdrWalks) {
        uint32_t count = r[w.at];
        if (count == 0)
            continue;
        std::printf("%s err line cnt %d:\n", w.name, d(count));
        if (count > kDdrDumpMax)
            return;
        trans_line("err line is:");
        for (uint32_t i = 0; i < count; i++)
            std::printf("%d,\n", r[w.at + 1 + i]);
    }
    if (r[kNineStepAt] != 1)
        return;
    uint64_t value = 0;
    std::memcpy(&value, r + kNineStepAt + 5, sizeof value);
    std::printf("nine step err cnt %d:\n", 1);
    std::printf("read addr pTempAddr %p :%llx\n\n", reinterpret_cast<void *>(uintptr_t{le32(r + kNineStepAt + 1)}),
                static_cast<unsigned long long>(value));
}

bool media_dsp_ddr_failed(const uint8_t *r)
{
    for (const DdrWalk &w : kDdrWalks)
        if (r[w.at] != 0)
            return true;
    return r[kNineStepAt] != 0;
}

namespace {

int32_t ddr_send(uint32_t sub, uint32_t dsp)
{
    if (int32_t ret = media_dsp_status_back(sub, dsp, 0); ret != 0)
        return ret;
    if (int32_t ret = media_dsp_send_test_cmd(sub, dsp, 0, DSP_CMD_DDR); ret != 0)
        return ret;
    std::printf("send ddr test cmd to subid %d, dspid %d\n", d(sub), d(dsp));
    return 0;
}

// The reply status of a core: `ready` when the DSP wrote 0x55, else the timeout line.
int32_t reply_ready(uint32_t sub, uint32_t dsp, uint32_t core, bool &ready)
{
    uint8_t st = 0;
    if (int32_t ret = read_byte(sub, dsp, dsp_mail_addr(core, DSP_MAIL_REPLY), st); ret != 0)
        return ret;
    ready = st == DSP_MARK_DSP;
    if (!ready)
        std::printf("subid %d, dspid %d DSP DDR Test Timeout\n", d(sub), d(dsp));
    return 0;
}

int32_t ddr_collect(uint32_t sub, uint32_t dsp, bool &failed)
{
    bool ready = false;
    if (int32_t ret = reply_ready(sub, dsp, 0, ready); ret != 0)
        return ret;
    failed |= !ready;
    if (ready) {
        uint8_t r[DSP_DDR_RESULT_LEN] = {};
        if (int32_t ret = MEDIA_DSP_READ(sub, dsp, DSP_DDR_RESULT_ADDR, r, DSP_DDR_RESULT_LEN); ret != 0)
            return ret;
        bool bad = media_dsp_ddr_failed(r);
        std::printf(bad ? "subid %d, dspid %d DSP DDR Test Failed\n" : "subid %d, dspid %d DSP DDR Test Success\n",
                    d(sub), d(dsp));
        if (bad)
            media_dsp_ddr_dump(r);
        failed |= bad;
    }
    return media_dsp_status_back(sub, dsp, 0);
}

int32_t jump_send(uint32_t sub, uint32_t dsp)
{
    for (uint32_t core = 0; core < MEDIA_CORE_NUM; core++) {
        if (int32_t ret = media_dsp_status_back(sub, dsp, core); ret != 0)
            return ret;
        if (int32_t ret = media_dsp_send_test_cmd(sub, dsp, core, DSP_CMD_JUMP); ret != 0)
            return ret;
        std::printf("send ddr test cmd to subid %d, dspid %d, coreid %d\n", d(sub), d(dsp), d(core));
    }
    return 0;
}

int32_t jump_collect_core(uint32_t sub, uint32_t dsp, uint32_t core, bool &failed)
{
    bool ready = false;
    if (int32_t ret = reply_ready(sub, dsp, core, ready); ret != 0)
        return ret;
    failed |= !ready;
    if (ready) {
        uint8_t rec[DSP_JUMP_RECORD_LEN] = {};
        uint32_t at = DSP_JUMP_RESULT_ADDR + DSP_JUMP_RECORD_LEN * core;
        if (int32_t ret = MEDIA_DSP_READ(sub, dsp, at, rec, DSP_JUMP_RECORD_LEN); ret != 0)
            return ret;
        uint32_t addr = le32(rec + 12), wrote = le32(rec + 16), got = le32(rec + 20);
        if (addr != 0) {
            std::printf("subid %d, dspid %d core %dDSP DDR JUMP Test Failed\n", d(sub), d(dsp), d(core));
            std::printf("jump test  err addr is 0x%08x:\n", addr);
            std::printf("jump test  write data is 0x%08x:\n", wrote);
            std::printf("jump test  read data is 0x%08x:\n", got);
            failed = true;
        } else {
            std::printf("subid %d, dspid %d DSP DDR Jump Test Success\n", d(sub), d(dsp));
        }
    }
    return media_dsp_status_back(sub, dsp, core);
}

int32_t chip_busy_check(uint32_t sub, uint32_t dsp)
{
    for (uint32_t core = 0; core < MEDIA_CORE_NUM; core++) {
        uint8_t busy = 0;
        if (int32_t ret = read_byte(sub, dsp, dsp_mail_addr(core, DSP_MAIL_BUSY), busy); ret != 0)
            return ret;
        if (busy != 0) {
            std::printf("\r\nsubid %d, dspid %d DSP is busy, Please wait for a moment to try again\n", d(sub), d(dsp));
            return DSP_MAIL_BUSY_RET;
        }
    }
    return 0;
}

int32_t chip_start_core(uint32_t sub, uint32_t dsp, uint32_t core)
{
    if (int32_t ret = media_dsp_status_back(sub, dsp, core); ret != 0)
        return ret;
    if (int32_t ret = media_dsp_send_test_cmd(sub, dsp, core, DSP_CMD_PERF); ret != 0)
        return ret;
    host().usleep(kPerfReplyWaitUs);
    uint8_t st = 0, data[2] = {};
    if (int32_t ret = read_byte(sub, dsp, dsp_mail_addr(core, DSP_MAIL_REPLY), st); ret != 0)
        return ret;
    if (st != DSP_MARK_DSP)
        return kTestFailed;
    if (int32_t ret = MEDIA_DSP_READ(sub, dsp, dsp_mail_addr(core, DSP_MAIL_DATA), data, 2); ret != 0)
        return ret;
    if (data[0] != 0xFF || data[1] != 0xFF) {
        std::printf("\n subid %d, dspid %d coreid %dPerformance test task start failed!\n", d(sub), d(dsp), d(core));
        return kTestFailed;
    }
    return media_dsp_status_back(sub, dsp, core);
}

int32_t chip_start(uint32_t sub, uint32_t dsp)
{
    if (int32_t ret = chip_busy_check(sub, dsp); ret != 0)
        return ret;
    for (uint32_t core = 0; core < MEDIA_CORE_NUM; core++)
        if (int32_t ret = chip_start_core(sub, dsp, core); ret != 0)
            return ret;
    return 0;
}

// The steps of one equipment test: start each DSP of the range, one wait,
// then collect each DSP (`failed` set by any test failure).
struct EqTest {
    int32_t (*send)(uint32_t sub, uint32_t dsp);
    unsigned waitS;
    int32_t (*collect)(uint32_t sub, uint32_t dsp, bool &failed);
};

int32_t jump_collect(uint32_t sub, uint32_t dsp, bool &failed)
{
    for (uint32_t core = 0; core < MEDIA_CORE_NUM; core++)
        if (int32_t ret = jump_collect_core(sub, dsp, core, failed); ret != 0)
            return ret;
    return 0;
}

int32_t chip_collect(uint32_t sub, uint32_t dsp, bool &failed)
{
    if (chip_shake_hand(sub, dsp) != 0) {
        std::printf("\nsub %d DSP%d performance test failed \n\n", d(sub), d(dsp));
        failed = true;
    }
    return 0;
}

constexpr EqTest kDdrTest{ddr_send, kDdrWaitS, ddr_collect};
constexpr EqTest kJumpTest{jump_send, kJumpWaitS, jump_collect};
constexpr EqTest kChipTest{chip_start, kDdrWaitS, chip_collect};

int32_t run_eq_test(uint32_t sub, uint32_t dsp, const EqTest &test)
{
    uint32_t first = 0, last = 0;
    if (!media_dsp_span(sub, dsp, first, last))
        return kFail;
    for (uint32_t i = first; i <= last; i++)
        if (int32_t ret = test.send(sub, i); ret != 0)
            return ret;
    host().sleep(test.waitS);
    bool failed = false;
    for (uint32_t i = first; i <= last; i++)
        if (int32_t ret = test.collect(sub, i, failed); ret != 0)
            return ret;
    return failed ? kTestFailed : 0;
}

} // namespace

// ---- handlers -----------------------------------------------------------------------------------------

TransOpStatus media_dsp_init(const char *params)
{
    uint32_t sub = 0, dsp = 0, first = 0, last = 0;
    if (TransOpStatus bad = 0; !scan_sub_dsp(params, MEDIA_SITE, sub, dsp, bad))
        return bad;
    if (!media_dsp_span(sub, dsp, first, last))
        return kFail;
    for (uint32_t i = first; i <= last; i++) {
        if (int32_t ret = media_dsp_mail_init(sub, i); ret != 0) {
            trans_failed();
            std::printf("Function media_dsp_mail_init subboard%d dsp%d exe error, iRet = %d\n", d(sub), d(i), ret);
            return ret;
        }
    }
    trans_success();
    return 0;
}

TransOpStatus media_dsp_ShakeHand(const char *params)
{
    uint32_t sub = 0, dsp = 0;
    if (TransOpStatus bad = 0; !scan_sub_dsp(params, MEDIA_SITE, sub, dsp, bad))
        return bad;
    int32_t ret = media_dsp_shake_hand(sub, dsp);
    if (ret == 0)
        trans_success();
    return ret;
}

TransOpStatus media_dsp_cmd(const char *params)
{
    uint32_t sub = kCmdUnset, dsp = kCmdUnset, cmd = kCmdUnset;
    int n = sscanf_s(params, "%u:%u:0x%x", &sub, &dsp, &cmd);
    if (!cmd_scanned(n, sub, dsp, cmd))
        return trans_bad_input(MEDIA_SITE, n);
    int32_t ret = media_dsp_cmd_proc(sub, dsp, cmd);
    if (ret == 0)
        trans_success();
    return ret;
}

TransOpStatus media_dsp_mail_reset(const char *params)
{
    uint32_t sub = kCmdUnset, dsp = kCmdUnset, core = kCmdUnset;
    int n = sscanf_s(params, "%u:%u:%u", &sub, &dsp, &core);
    if (!cmd_scanned(n, sub, dsp, core))
        return trans_bad_input(MEDIA_SITE, n);
    if (int32_t ret = media_dsp_mail_reset_proc(sub, dsp, core); ret != 0) {
        trans_failed();
        std::printf("Function media_dsp_mail_reset_proc  subboard%d dsp%d exe error, iRet = %d\n", d(sub), d(dsp), ret);
        return ret;
    }
    trans_success();
    return 0;
}

namespace {

TransOpStatus ddr_handler(const char *params, const CmdSite &site, const EqTest &test)
{
    uint32_t sub = 0, dsp = 0;
    if (TransOpStatus bad = 0; !scan_sub_dsp(params, site, sub, dsp, bad))
        return bad;
    int32_t ret = run_eq_test(sub, dsp, test);
    if (ret == 0)
        trans_line("DDR Test OK");
    return ret;
}

} // namespace

TransOpStatus media_dsp_eq_ddr_test(const char *params) { return ddr_handler(params, MEDIA_SITE, kDdrTest); }

TransOpStatus media_dsp_eq_ddr_Jump_test(const char *params) { return ddr_handler(params, MEDIA_SITE, kJumpTest); }

TransOpStatus media_dsp_eq_chip_test(const char *params)
{
    uint32_t sub = 0, dsp = 0;
    if (TransOpStatus bad = 0; !scan_sub_dsp(params, MEDIA_SITE, sub, dsp, bad))
        return bad;
    int32_t ret = run_eq_test(sub, dsp, kChipTest);
    if (ret == 0)
        std::printf("\nperformance test success \n");
    else
        std::printf("\nperformance test error ,iRet = %d\n\n", ret);
    return ret;
}

namespace {

TransOpStatus check_only(const char *params, const CmdSite &site)
{
    uint32_t sub = 0, dsp = 0;
    if (TransOpStatus bad = 0; !scan_sub_dsp(params, site, sub, dsp, bad))
        return bad;
    trans_success();
    return 0;
}

} // namespace

TransOpStatus media_dsp_get_eq_chip_result(const char *params) { return check_only(params, MEDIA_SITE); }

TransOpStatus media_dsp_get_eq_ddr_result(const char *params) { return check_only(params, MEDIA_SITE); }

#include "tool/media/dspmail.h"

#include <cstdio>
#include <cstring>

#include "bases/host/host.h"
#include "boardlib/media_intf.h"
#include "kelvo/kelvo.h"
#include "tool/media/dsp_mem.h"
#include "tool/trans/trans_cmd.h"

#define MEDIA_SITE CmdSite{__func__, __FILE__, static_cast<unsigned>(__LINE__)}

namespace {

constexpr uint32_t kAllDsps = 255;
constexpr int32_t kMailFail = -1200;
constexpr uint32_t kHandshakeReads = 10;
constexpr useconds_t kHandshakeWaitUs = 100000;

int d(uint32_t v) { return static_cast<int>(v); }

uint32_t le32(const uint8_t *p)
{
    return uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 | uint32_t{p[3]} << 24;
}

} // namespace

bool media_dsp_span(uint32_t sub, uint32_t dsp, uint32_t &first, uint32_t &last)
{
    if (sub >= MEDIA_SUBRD_NUM || (dsp >= MEDIA_DSP_NUM && dsp != kAllDsps))
        return false;
    first = dsp == kAllDsps ? 0 : dsp;
    last = dsp == kAllDsps ? MEDIA_DSP_NUM - 1 : dsp;
    return true;
}

// ---- info block fields ----------------------------------------------------------------------------

uint32_t dsp_info_word(const uint8_t *block, uint32_t offset) { return le32(block + offset); }

DspMbDesc dsp_info_mb_desc(const uint8_t *block, uint32_t core, uint32_t type)
{
    DspMbDesc desc{};
    std::memcpy(&desc, block + kDspMbDescBase[type] + DSP_MB_DESC_LEN * core, sizeof desc);
    return desc;
}

DspRingDesc dsp_info_ring_desc(const uint8_t *block, uint32_t base, uint32_t core)
{
    DspRingDesc desc{};
    std::memcpy(&desc, block + base + DSP_RING_DESC_LEN * core, sizeof desc);
    return desc;
}

// ---- trans tables ---------------------------------------------------------------------------------

namespace {

// The entries' keys as the library fills them; the callers' ids are in range.
void key_entries(uint32_t sub, uint32_t dsp, DspTransTable *table)
{
    std::memset(table, 0, sizeof *table);
    (void)MEDIA_FillTblEntry(sub, dsp, table);
}

} // namespace

void media_dsp_build_trans_table(uint32_t sub, uint32_t dsp, const uint8_t *block, DspTransTable *table)
{
    key_entries(sub, dsp, table);
    for (MbDesc &e : table->MediaTransAddrTbl) {
        DspMbDesc desc = dsp_info_mb_desc(block, e.enDspCoreId, e.MailBoxType);
        e.DspAddr = desc.base;
        e.MailBoxDepth = MEDIA_DepthCode(desc.len);
        e.MailBoxBlockSize = MEDIA_BlockSizeCode(desc.size);
    }
    for (uint32_t k = 0; k < MEDIA_RWPTR_TYPES; k++)
        table->MediaTransRwptrTbl[k].ulDspTransRwptrTblAddr = dsp_info_word(block, kDspRwptrAddr[k]);
    uint32_t s = dsp_info_mb_desc(block, 0, 2).size;
    uint32_t l1 = dsp_info_mb_desc(block, 0, 1).len;
    uint32_t l3 = dsp_info_mb_desc(block, 0, 3).len;
    MediaPoolBaseInfo &pool = table->MediaTransPoolBaseInfo;
    pool.ulSendPoolBase = dsp_info_word(block, DSP_INFO_SEND_POOL);
    pool.ulSendBottomOffset = 0;
    pool.ulSendTopOffset = (8u * s * (l1 + l3 - 1u)) >> 6;
}

void media_dsp_fixed_trans_table(uint32_t sub, uint32_t dsp, DspTransTable *table)
{
    key_entries(sub, dsp, table);
    for (MbDesc &e : table->MediaTransAddrTbl) {
        e.DspAddr = 0x80020000;
        e.MailBoxDepth = 4;
        e.MailBoxBlockSize = e.MailBoxType == 0 || e.MailBoxType == 2 ? 3 : 0;
    }
    for (RwptrTbl &r : table->MediaTransRwptrTbl)
        r.ulDspTransRwptrTblAddr = 0x80100000;
    table->MediaTransPoolBaseInfo = MediaPoolBaseInfo{0x80020000, 768, 4660};
}

void media_dsp_print_trans_table(uint32_t sub, uint32_t dsp, const DspTransTable *table)
{
    trans_line("=========================== PrintPLOVTable Begin ");
    std::printf("-> BoarID:%d DspID:%d\n", d(sub), d(dsp));
    for (const MbDesc &e : table->MediaTransAddrTbl) {
        std::printf("-> coreID:%d\n", d(e.enDspCoreId));
        std::printf("    -> MailBoxType     : %d  \n", d(e.MailBoxType));
        std::printf("    -> DspAddr         : 0x%x\n", e.DspAddr);
        std::printf("    -> MailBoxDepth    : %d  \n", d(e.MailBoxDepth));
        std::printf("    -> MailBoxBlockSize: %d  \n", d(e.MailBoxBlockSize));
    }
    std::printf("-> BoarId:%d DspID:%d\n", d(sub), d(dsp));
    for (const RwptrTbl &r : table->MediaTransRwptrTbl) {
        std::printf("    -> TransRwptrTblType : %d   \n", d(r.enDspTransRwptrTblType));
        std::printf("    -> TransRwptrTblAddr : 0x%x \n", r.ulDspTransRwptrTblAddr);
    }
    const MediaPoolBaseInfo &pool = table->MediaTransPoolBaseInfo;
    std::printf("    -> SendPoolBase : 0x%x\n", pool.ulSendPoolBase);
    std::printf("    -> bottom value : 0x%x\n", pool.ulSendBottomOffset);
    std::printf("    -> top    value : 0x%x\n", pool.ulSendTopOffset);
    trans_line("=========================== PrintPLOVTable End ");
}

void media_dsp_dump_trans_table(const DspTransTable *table)
{
    std::printf("MediaTransAddrTbl : \n");
    for (uint32_t i = 0; i < MEDIA_TRANS_ENTRIES; i++) {
        const MbDesc &e = table->MediaTransAddrTbl[i];
        std::printf("Entry : %d\n\n", d(i));
        std::printf("SubBoardId: %d \n\n", d(e.enSubboardId));
        std::printf("DspId: %d \n\n", d(e.enDspId));
        std::printf("DspCoreId: %d \n\n", d(e.enDspCoreId));
        std::printf("MailBoxType: %d \n\n", d(e.MailBoxType));
        std::printf("DspAddr: 0x%x \n\n", e.DspAddr);
        std::printf("MailBoxDepth: %d \n\n", d(e.MailBoxDepth));
        if (e.MailBoxType == 0 || e.MailBoxType == 2)
            std::printf("MailBoxBlockSize: %d \n\n", d(e.MailBoxBlockSize));
    }
    std::printf("MediaTransRwptrTbl : \n");
    for (uint32_t k = 0; k < MEDIA_RWPTR_TYPES; k++) {
        const RwptrTbl &r = table->MediaTransRwptrTbl[k];
        std::printf("Entry : %d\n\n", d(k));
        std::printf("SubBoardId: %d \n\n", d(r.enSubboardId));
        std::printf("DspId: %d \n\n", d(r.enDspId));
        std::printf("RwptrTblType: %d \n\n", d(r.enDspTransRwptrTblType));
        std::printf("RwptrTblAddr: 0x%x \n\n", r.ulDspTransRwptrTblAddr);
    }
    const MediaPoolBaseInfo &pool = table->MediaTransPoolBaseInfo;
    std::printf("Media Pool Info : \n");
    std::printf("pstMediaTransTbl->ulSendPoolBase: 0x%x \n\n", pool.ulSendPoolBase);
    std::printf("pstMediaTransTbl->ulSendBottomOffset: 0x%x \n\n", pool.ulSendBottomOffset);
    std::printf("pstMediaTransTbl->ulSendTopOffset: 0x%x \n\n", pool.ulSendTopOffset);
}

int32_t media_dsp_set_trans_table(uint32_t sub, uint32_t dsp, const DspTransTable *table)
{
    PlovStatus ret = PLOV_MediaSetDspTransTable(sub, dsp, table);
    if (ret == 0)
        return 0;
    std::printf("Error Return %d When Call PLOV_MediaSetDspTransTable -- BoardId %d,DspId %d!!\n", ret, d(sub), d(dsp));
    std::printf("Error Return %d When Call media_dsp_set_trans_table -- BoardId %d,DspId %d!!\n", kMailFail, d(sub),
                d(dsp));
    return kMailFail;
}

// ---- mail init --------------------------------------------------------------------------------------

namespace {

int32_t read_state(uint32_t sub, uint32_t dsp, uint8_t &state)
{
    return MEDIA_DSP_READ(sub, dsp, DSP_INFO_ADDR + DSP_INFO_STATE, &state, 1);
}

int32_t write_byte(uint32_t sub, uint32_t dsp, uint32_t offset, uint32_t value)
{
    uint8_t b = static_cast<uint8_t>(value);
    return MEDIA_DSP_WRITE(sub, dsp, DSP_INFO_ADDR + offset, &b, 1);
}

int32_t mail_failed()
{
    std::printf("DSP init mail failed.\r\n");
    return kMailFail;
}

int32_t install_table(uint32_t sub, uint32_t dsp)
{
    uint8_t block[DSP_INFO_LEN] = {};
    std::printf("----->> Dsp Start Work %d-%d \n", d(sub), d(dsp));
    if (int32_t ret = MEDIA_DSP_READ(sub, dsp, DSP_INFO_ADDR, block, DSP_INFO_LEN); ret != 0)
        return ret;
    std::printf("DSP VER        : 0x%x \n", dsp_info_word(block, DSP_INFO_VERSION));
    std::printf("DSP ModifyDate : 0x%x \n", dsp_info_word(block, DSP_INFO_DATE));
    DspTransTable table{};
    media_dsp_build_trans_table(sub, dsp, block, &table);
    media_dsp_print_trans_table(sub, dsp, &table);
    return media_dsp_set_trans_table(sub, dsp, &table);
}

} // namespace

int32_t media_dsp_mail_init(uint32_t sub, uint32_t dsp)
{
    uint8_t state = 0;
    if (int32_t ret = read_state(sub, dsp, state); ret != 0)
        return ret;
    if (state != DSP_STATE_STARTED)
        return mail_failed();
    if (int32_t ret = install_table(sub, dsp); ret != 0)
        return ret;
    int32_t ret = write_byte(sub, dsp, DSP_INFO_SUB, sub);
    if (ret == 0)
        ret = write_byte(sub, dsp, DSP_INFO_DSP, dsp);
    if (ret == 0)
        ret = write_byte(sub, dsp, DSP_INFO_STATE, DSP_STATE_INSTALLED);
    if (ret != 0)
        return ret;
    std::printf("Dsp Start Work OK. Waiting For Dsp Config...\r\n");
    for (uint32_t i = 0; i < kHandshakeReads; i++) {
        host().usleep(kHandshakeWaitUs);
        if (ret = read_state(sub, dsp, state); ret != 0)
            return ret;
        if (state == DSP_STATE_CONFIGURED) {
            std::printf("Dsp mail Start Work OK.\r\n");
            return 0;
        }
    }
    return mail_failed();
}

// ---- mailbox switches -------------------------------------------------------------------------------

namespace {

int32_t set_dsp_switches(uint32_t sub, uint32_t dsp, uint32_t on)
{
    for (uint32_t core = 0; core < MEDIA_CORE_NUM; core++) {
        for (uint32_t type = 0; type < DSP_MB_TYPES; type++) {
            PlovStatus ret = PLOV_MediaSetDspMailBoxSwitch(sub, dsp, core, type, on);
            if (ret != 0) {
                trans_failed();
                std::printf("Function PLOV_MediaSetDspMailBoxSwitch subboard%d dsp%d error, iRet = %d\n", d(sub),
                            d(dsp), ret);
                return ret;
            }
            std::printf("Set MailboxSwitch subboard %d(0x%x)  dsp %d(0x%x) DspCoreId %d(0x%x)  MailboxType %d(0x%x) "
                        "MailboxSwitch %d(0x%x)\n",
                        d(sub), sub, d(dsp), dsp, d(core), core, d(type), type, d(on), on);
        }
    }
    return 0;
}

int32_t set_global_switch(uint32_t sub, uint32_t dsp, uint32_t on)
{
    PlovStatus ret = PLOV_MediaSetGlobalDspMailBoxSwitch(sub, dsp, on);
    if (ret != 0) {
        trans_failed();
        std::printf("Function PLOV_MediaSetGlobalDspMailBoxSwitch subboard%d dsp%d error, iRet = %d\n", d(sub), d(dsp),
                    ret);
        return ret;
    }
    std::printf("Set GlobalMailboxSwitch subboard %d(0x%x)  dsp %d(0x%x) MailboxSwitch %d(0x%x)\n", d(sub), sub, d(dsp),
                dsp, d(on), on);
    return 0;
}

} // namespace

TransOpStatus media_set_dsp_all_mailbox_switch(const char *params)
{
    uint32_t sub = kCmdUnset, dsp = kCmdUnset, on = kCmdUnset;
    int ret = sscanf_s(params, "%u:%u:%u", &sub, &dsp, &on);
    if (!cmd_scanned(ret, sub, dsp, on))
        return trans_bad_input(MEDIA_SITE, ret);
    uint32_t first = 0, last = 0;
    if (!media_dsp_span(sub, dsp, first, last))
        return kMailFail;
    for (uint32_t i = first; i <= last; i++)
        if (int32_t st = set_dsp_switches(sub, i, on); st != 0)
            return st;
    host().sleep(5);
    for (uint32_t i = first; i <= last; i++)
        if (int32_t st = set_global_switch(sub, i, on); st != 0)
            return st;
    trans_success();
    return 0;
}

// ---- mailbox pointers and statistics ------------------------------------------------------------------

namespace {

// One section of the pointer display: which descriptors, which rw-pointer
// table (info-block offset of its address; 0: the pool, indices in the
// descriptor) and where a core's indices lie in it.
struct PtrSection {
    const char *title;
    uint32_t mbType;
    uint32_t tableAt;
    uint32_t tableLen;
    uint32_t writeBase, readBase, step;
};

constexpr PtrSection kPtrSections[] = {
    {"\nDown audio message mailbox description:", 0, 400, 512, 0, 256, 16},
    {"\nDown audio data mailbox description:", 2, 400, 512, 8, 264, 16},
    {"\nUp audio message mailbox description:", 1, 728, 512, 0, 256, 16},
    {"\nUp audio data mailbox description:", 3, 728, 512, 8, 264, 16},
    {"\nUp audio free mailbox description:", 4, 892, 256, 0, 128, 8},
    {"\nUp audio bd pool mailbox description:", 0, 0, 512, DSP_RING_WRITE, DSP_RING_READ, DSP_RING_DESC_LEN},
};

void ptr_line(const DspMbDesc &mb, uint32_t rd, uint32_t wt, uint32_t rdAddr, uint32_t wtAddr)
{
    std::printf("base:0x%08x len:0x%08x read:0x%08x write:0x%08x size:0x%08x rdAddr:0x%08x wtAddr:0x%08x "
                "msk:0x%08x sts:0x%02x\n",
                mb.base, mb.len, rd, wt, mb.size, rdAddr, wtAddr, mb.msk, mb.sts);
}

void ptr_core(uint32_t sub, uint32_t dsp, const uint8_t *block, const PtrSection &s, uint32_t core)
{
    uint8_t table[512] = {};
    bool pool = s.tableAt == 0;
    uint32_t tableAddr = pool ? DSP_INFO_ADDR : dsp_info_word(block, s.tableAt);
    if (MEDIA_DSP_READ(sub, dsp, tableAddr, table, s.tableLen) != 0)
        return;
    if (pool) {
        DspRingDesc ring = dsp_info_ring_desc(block, DSP_INFO_POOL_DESC, core);
        uint32_t at = DSP_INFO_ADDR + DSP_INFO_POOL_DESC + DSP_RING_DESC_LEN * core;
        return ptr_line(ring.mb, ring.read, ring.write, at + DSP_RING_READ, at + DSP_RING_WRITE);
    }
    uint32_t wtOff = s.writeBase + s.step * core, rdOff = s.readBase + s.step * core;
    ptr_line(dsp_info_mb_desc(block, core, s.mbType), le32(table + rdOff), le32(table + wtOff), tableAddr + rdOff,
             tableAddr + wtOff);
}

int32_t show_statistics(uint32_t sub, uint32_t dsp)
{
    uint32_t st[MEDIA_CORE_NUM][DSP_STAT_LEN / 4] = {};
    if (int32_t ret = MEDIA_DSP_READ(sub, dsp, DSP_STAT_ADDR, st, sizeof st); ret != 0)
        return ret;
    for (uint32_t c = 0; c < MEDIA_CORE_NUM; c++) {
        const uint32_t *w = st[c];
        std::printf("core %d statistic:\n", d(c));
        std::printf("input: Message: receive:0x%08x error:0x%08x  Data: receive:0x%08x error:0x%08x\n", w[0], w[1],
                    w[4], w[5]);
        std::printf("output: Message:   send:0x%08x error:0x%08x  Data: send:   0x%08x error:0x%08x\n", w[2], w[3],
                    w[6], w[7]);
    }
    return 0;
}

int32_t media_dsp_get_statistic_proc(uint32_t sub, uint32_t dsp)
{
    uint8_t block[DSP_INFO_LEN] = {};
    if (int32_t ret = MEDIA_DSP_READ(sub, dsp, DSP_INFO_ADDR, block, DSP_INFO_LEN); ret != 0)
        return ret;
    for (const PtrSection &s : kPtrSections) {
        trans_line(s.title);
        for (uint32_t c = 0; c < MEDIA_CORE_NUM; c++)
            ptr_core(sub, dsp, block, s, c);
    }
    std::printf("Up Mb Base Addr = 0x%x\n", dsp_info_word(block, DSP_INFO_SEND_POOL));
    return show_statistics(sub, dsp);
}

int32_t media_dsp_clear_statistic_proc(uint32_t sub, uint32_t dsp, uint32_t core)
{
    if (sub >= MEDIA_SUBRD_NUM || dsp >= MEDIA_DSP_NUM || core >= MEDIA_CORE_NUM) {
        trans_line("invlid params");
        return kMailFail;
    }
    uint8_t zeros[DSP_STAT_LEN] = {};
    return MEDIA_DSP_WRITE(sub, dsp, DSP_STAT_ADDR + DSP_STAT_LEN * core, zeros, DSP_STAT_LEN);
}

} // namespace

TransOpStatus media_dsp_get_statistic(const char *params)
{
    uint32_t sub = kCmdUnset, dsp = kCmdUnset;
    int ret = sscanf_s(params, "%u:%u", &sub, &dsp);
    if (!cmd_scanned(ret, sub, dsp))
        return trans_bad_input(MEDIA_SITE, ret);
    if (sub >= MEDIA_SUBRD_NUM || dsp >= MEDIA_DSP_NUM)
        return kMailFail;
    if (int32_t st = media_dsp_get_statistic_proc(sub, dsp); st != 0) {
        trans_failed();
        std::printf("Function media_dsp_get_statistic_proc subboard%d dsp%d exe error, iRet = %d\n", d(sub), d(dsp), st);
        return st;
    }
    trans_success();
    return 0;
}

TransOpStatus media_dsp_clear_statistic(const char *params)
{
    uint32_t sub = kCmdUnset, dsp = kCmdUnset, core = kCmdUnset;
    int ret = sscanf_s(params, "%u:%u:%u", &sub, &dsp, &core);
    if (!cmd_scanned(ret, sub, dsp, core))
        return trans_bad_input(MEDIA_SITE, ret);
    if (int32_t st = media_dsp_clear_statistic_proc(sub, dsp, core); st != 0) {
        trans_failed();
        std::printf("Function media_dsp_clear_statistic_proc subboard%d dsp%d exe error, iRet = %d\n", d(sub), d(dsp),
                    st);
        return st;
    }
    trans_success();
    return 0;
}

// ---- debug log --------------------------------------------------------------------------------------

const char *media_dsp_log_text(uint8_t rec[DSP_LOG_REC_LEN])
{
    uint32_t len = uint32_t{rec[2]} | uint32_t{rec[3]} << 8;
    uint32_t end = len + 4;
    if (end >= DSP_LOG_REC_LEN)
        end = DSP_LOG_REC_LEN - 1;
    if (end < DSP_LOG_TEXT)
        end = DSP_LOG_TEXT;
    rec[end] = 0;
    return reinterpret_cast<const char *>(rec + DSP_LOG_TEXT);
}

namespace {

// Drains one core's debug ring: at most msk + 1 records, the indices
// compared within their 24 bits.
int32_t drain_ring(uint32_t sub, uint32_t dsp, uint32_t core, const DspRingDesc &ring)
{
    uint32_t rd = ring.read & DSP_LOG_INDEX_MASK;
    uint32_t wt = ring.write & DSP_LOG_INDEX_MASK;
    uint32_t readAt = DSP_INFO_ADDR + DSP_INFO_DEBUG_DESC + DSP_RING_DESC_LEN * core + DSP_RING_READ;
    for (uint64_t taken = 0; rd != wt && taken <= ring.mb.msk; taken++) {
        uint8_t rec[DSP_LOG_REC_LEN] = {};
        uint32_t at = ring.mb.base + (rd & ring.mb.msk) * ring.mb.size;
        if (int32_t ret = MEDIA_DSP_READ(sub, dsp, at, rec, DSP_LOG_REC_LEN); ret != 0)
            return ret;
        std::printf("%s\n", media_dsp_log_text(rec));
        rd = (rd + 1) & DSP_LOG_INDEX_MASK;
        if (int32_t ret = MEDIA_DSP_WRITE(sub, dsp, readAt, &rd, 4); ret != 0)
            return ret;
    }
    return 0;
}

} // namespace

int32_t media_dsp_show_log_pass()
{
    int32_t last = 0;
    for (uint32_t sub = 0; sub < MEDIA_SUBRD_NUM; sub++) {
        for (uint32_t dsp = 0; dsp < MEDIA_DSP_NUM; dsp++) {
            uint8_t block[DSP_INFO_LEN] = {};
            if (int32_t ret = MEDIA_DSP_READ(sub, dsp, DSP_INFO_ADDR, block, DSP_INFO_LEN); ret != 0)
                return ret;
            for (uint32_t core = 0; core < MEDIA_CORE_NUM; core++)
                last = drain_ring(sub, dsp, core, dsp_info_ring_desc(block, DSP_INFO_DEBUG_DESC, core));
        }
    }
    return last;
}

TransOpStatus media_dsp_show_log(const char *)
{
    for (;;) {
        if (int32_t ret = media_dsp_show_log_pass(); ret != 0) {
            trans_failed();
            return ret;
        }
        host().sleep(1);
    }
}

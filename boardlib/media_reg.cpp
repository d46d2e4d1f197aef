#include "boardlib/media_reg.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>
#include <new>

#include <fcntl.h>

#include "bases/drv/media_drv.h"
#include "bases/drv/plov_drv.h"
#include "bases/host/host.h"
#include "boardlib/kesp_intf.h"
#include "boardlib/media_app.h"

const IndirRegReq (&g_MediaKespIndirReg)[64] = g_KespIndirReg;

namespace {

constexpr PlovStatus kNull = -1201;
constexpr PlovStatus kParam = -1202;
constexpr PlovStatus kRange = -1205;
constexpr PlovStatus kBusy = -1207;
constexpr PlovStatus kNoMem = -1211;

constexpr uint32_t kFilledRows = 60;
constexpr uint32_t kGlobalSwitchIds[] = {23, 43, 15};
constexpr uint32_t kPoolBaseId = 31, kPoolTopId = 32, kPoolBottomId = 33;

// Register ids by mailbox type (0 .. 4).
constexpr uint32_t kQueueEnIds[] = {22, 42, 22, 42, 14};
constexpr uint32_t kWptrIds[] = {24, 46, 24, 46, 16};
constexpr uint32_t kRptrIds[] = {25, 47, 25, 47, 17};
constexpr uint32_t kTransAddrIds[] = {26, 50, 26, 50, 18};
constexpr uint32_t kStatIds[2][5] = {{28, 54, 28, 54, 20}, {29, 55, 29, 55, 21}};
constexpr uint32_t kRwptrIds[] = {27, 51, 19};

bool bad_queue(uint32_t sub, uint32_t dsp, uint32_t core, uint32_t type)
{
    return sub >= MEDIA_SUBRD_NUM || dsp >= MEDIA_DSP_NUM || core >= MEDIA_CORE_NUM || type >= MEDIA_MAILBOX_TYPES;
}

uint64_t dsp_key(uint32_t sub, uint32_t dsp) { return uint64_t{sub} << 4 | dsp; }
uint64_t queue_key(uint32_t sub, uint32_t dsp, uint32_t core, uint32_t dir)
{
    return uint64_t{sub} << 8 | uint64_t{dsp} << 4 | uint64_t{core} << 1 | dir;
}
// The queue key of a mailbox type (its direction bit included).
uint64_t type_key(uint32_t sub, uint32_t dsp, uint32_t core, uint32_t type)
{
    return queue_key(sub, dsp, core, type == 2 || type == 3 ? 1 : 0);
}

PlovStatus id_by_type(const uint32_t (&ids)[5], uint32_t type, uint32_t *id)
{
    if (type >= MEDIA_MAILBOX_TYPES)
        return kRange;
    if (id == nullptr)
        return kNull;
    *id = ids[type];
    return 0;
}

// One request on register `id`: n + 1 zeroed words (n the row's count for
// the operation), word 0 the key; a write sends `values`, a read returns
// into them (at most `count` of each).
PlovStatus reg_access(uint32_t id, uint32_t op, uint64_t key, uint64_t *values, size_t count)
{
    const IndirRegReq *row = id < kFilledRows ? &g_MediaKespIndirReg[id] : nullptr;
    size_t n = row == nullptr ? 0 : op == MEDIA_INDIR_WRITE ? row->wlen : row->rlen;
    std::unique_ptr<uint64_t[]> words(new (std::nothrow) uint64_t[n + 1]());
    if (words == nullptr)
        return kNoMem;
    words[0] = key;
    size_t m = std::min(n, count);
    if (op == MEDIA_INDIR_WRITE)
        std::copy_n(values, m, &words[1]);
    PlovStatus ret = MEDIA_LogicHandleIndregByID(id, words.get(), op);
    if (ret == 0 && op == MEDIA_INDIR_READ)
        std::copy_n(&words[1], m, values);
    return ret;
}

PlovStatus reg_read(uint32_t id, uint64_t key, uint64_t *values, size_t count)
{
    return reg_access(id, MEDIA_INDIR_READ, key, values, count);
}

PlovStatus reg_write(uint32_t id, uint64_t key, uint64_t *values, size_t count)
{
    return reg_access(id, MEDIA_INDIR_WRITE, key, values, count);
}

} // namespace

// ---- access layer -----------------------------------------------------------------------------

PlovStatus MEDIA_LogicHandleIndirReg(IndirRegReq *request, uint32_t op)
{
    static constexpr unsigned long kCodes[] = {PLOV_IOC_READ_INDIR_REG, PLOV_IOC_WRITE_INDIR_REG, 0,
                                               PLOV_IOC_CLEAR_INDIR_REG};
    if (request == nullptr)
        return kNull;
    if (op > MEDIA_INDIR_CLEAR)
        return kRange;
    if (kCodes[op] == 0) {
        MEDIA_LOG_ERR("Param is Error.");
        return kParam;
    }
    int fd = host_open(PLOV_TRANS_NODE, O_RDWR);
    if (fd < 0)
        return fd;
    int ret = host_ioctl(fd, kCodes[op], request);
    int err = errno;
    host().close(fd);
    if (ret < 0) {
        MEDIA_LOG_ERR("Ioctl failed! iRet=%d,errno=%d(%s)", ret, err, std::strerror(err));
        return ret;
    }
    return 0;
}

PlovStatus MEDIA_LogicHandleIndregByID(uint32_t id, uint64_t *data, uint32_t op)
{
    if (data == nullptr)
        return kNull;
    if (op > MEDIA_INDIR_CLEAR)
        return kRange;
    if (id >= kFilledRows) {
        MEDIA_LOG_ERR("err invalid param.\n");
        return kParam;
    }
    const IndirRegReq &row = g_MediaKespIndirReg[id];
    IndirRegReq req{};
    req.baseaddr = row.baseaddr;
    req.cmd = op;
    if (op == MEDIA_INDIR_WRITE)
        req.wlen = row.wlen;
    else
        req.rlen = row.rlen;
    req.data = data;
    PlovStatus ret = MEDIA_LogicHandleIndirReg(&req, op);
    if (ret != 0)
        MEDIA_LOG_ERR("call MEDIA_LogicReadIndirReg err\n");
    return ret;
}

// ---- register ids, keys, encodings ------------------------------------------------------------

PlovStatus MEDIA_GetQueueEnRegId(uint32_t type, uint32_t *id) { return id_by_type(kQueueEnIds, type, id); }
PlovStatus MEDIA_GetWptrRegId(uint32_t type, uint32_t *id) { return id_by_type(kWptrIds, type, id); }
PlovStatus MEDIA_GetRptrRegId(uint32_t type, uint32_t *id) { return id_by_type(kRptrIds, type, id); }
PlovStatus MEDIA_GetTransAddrRegId(uint32_t type, uint32_t *id) { return id_by_type(kTransAddrIds, type, id); }

PlovStatus MEDIA_GetStatisticRegId(uint32_t type, uint32_t counter, uint32_t *id)
{
    if (counter > 1)
        return kRange;
    return id_by_type(kStatIds[counter], type, id);
}

PlovStatus MEDIA_GetRWptrAddrRegId(uint32_t tableType, uint32_t *id)
{
    if (tableType >= MEDIA_RWPTR_TYPES)
        return kRange;
    if (id == nullptr)
        return kNull;
    *id = kRwptrIds[tableType];
    return 0;
}

PlovStatus MEDIA_ProcessMailBoxType(uint32_t type, uint32_t *direction)
{
    if (type >= MEDIA_MAILBOX_TYPES)
        return kRange;
    if (direction == nullptr)
        return kNull;
    *direction = type == 2 || type == 3 ? 1 : 0;
    return 0;
}

PlovStatus MEDIA_ProcessMailBoxSwitch(uint32_t value, uint32_t *out)
{
    if (out == nullptr)
        return kNull;
    if (value > 1)
        return kParam;
    *out = value ^ 1;
    return 0;
}

// ---- mailbox operations -------------------------------------------------------------------------

PlovStatus MEDIA_GetDspMailBoxSwitch(uint32_t sub, uint32_t dsp, uint32_t core, uint32_t type, uint32_t *on)
{
    if (bad_queue(sub, dsp, core, type))
        return kRange;
    if (on == nullptr)
        return kNull;
    uint32_t id = 0;
    PlovStatus ret = MEDIA_GetQueueEnRegId(type, &id);
    if (ret != 0) {
        MEDIA_LOG_ERR("call MEDIA_GetQueueEnRegId err\n");
        return ret;
    }
    uint64_t value = 0;
    ret = reg_read(id, type_key(sub, dsp, core, type), &value, 1);
    if (ret == 0)
        ret = MEDIA_ProcessMailBoxSwitch(static_cast<uint32_t>(value), on);
    if (ret != 0)
        MEDIA_LOG_ERR("call MEDIA_LogicWriteIndregByID err\n");
    return ret;
}

namespace {

// A pointer test, retried once after 1 ms while it finds the pointer set:
// a pointer that stays set is reported and counts as done (`stop`).
PlovStatus pointer_settled(uint32_t sub, uint32_t dsp, uint32_t core, uint32_t type, uint32_t ptrType, bool &stop)
{
    PlovStatus ret = MEDIA_CheckMailBoxRptrWptr(sub, dsp, core, type, ptrType);
    if (ret == kBusy) {
        host().usleep(1000);
        ret = MEDIA_CheckMailBoxRptrWptr(sub, dsp, core, type, ptrType);
        if (ret == kBusy) {
            MEDIA_LOG_ERR("enSubBoardId%d,enDspId%d,enDspCoreId%d,enMailBox%d,ulPtrType%d ptr isn't zero.\n", sub, dsp,
                          core, type, ptrType);
            stop = true;
            return 0;
        }
    }
    if (ret != 0)
        MEDIA_LOG_ERR("call MEDIA_CheckMailBoxRptrWptr err.\n");
    return ret;
}

} // namespace

PlovStatus MEDIA_SetDspMailBoxSwitch(uint32_t sub, uint32_t dsp, uint32_t core, uint32_t type, uint32_t on)
{
    if (bad_queue(sub, dsp, core, type) || on > 1)
        return kRange;
    uint32_t id = 0, encoded = 0;
    PlovStatus ret = MEDIA_GetQueueEnRegId(type, &id);
    if (ret != 0) {
        MEDIA_LOG_ERR("call MEDIA_GetQueueEnRegId err\n");
        return ret;
    }
    MEDIA_ProcessMailBoxSwitch(on, &encoded);
    uint64_t value = encoded;
    if ((ret = reg_write(id, type_key(sub, dsp, core, type), &value, 1)) != 0) {
        MEDIA_LOG_ERR("call MEDIA_LogicWriteIndregByID err.\n");
        return ret;
    }
    if (on == 0)
        return 0;
    bool stop = false;
    ret = pointer_settled(sub, dsp, core, type, 1, stop);
    if (ret != 0 || stop)
        return ret;
    return pointer_settled(sub, dsp, core, type, 0, stop);
}

PlovStatus MEDIA_CheckMailBoxRptrWptr(uint32_t sub, uint32_t dsp, uint32_t core, uint32_t type, uint32_t ptrType)
{
    if (bad_queue(sub, dsp, core, type))
        return kRange;
    if (ptrType > 1)
        return kParam;
    uint32_t id = 0;
    PlovStatus ret = ptrType == 1 ? MEDIA_GetWptrRegId(type, &id) : MEDIA_GetRptrRegId(type, &id);
    if (ret != 0) {
        MEDIA_LOG_ERR("call MEDIA_GetWptrRegId/MEDIA_GetRptrRegId err.\n");
        return ret;
    }
    uint64_t value = 0;
    if ((ret = reg_read(id, type_key(sub, dsp, core, type), &value, 1)) != 0) {
        MEDIA_LOG_ERR("call MEDIA_LogicHandleIndregByID err\n");
        return ret;
    }
    if (value != 0) {
        MEDIA_LOG_ERR("enSubBoardId%d,enDspId%d,enDspCoreId%d,enMailBox%d,ulPtrType%d ptr is 0x%llx\n", sub, dsp, core,
                      type, ptrType, static_cast<unsigned long long>(value));
        return kBusy;
    }
    return 0;
}

PlovStatus MEDIA_GetGlobalDspSwitch(uint32_t sub, uint32_t dsp, uint32_t *on)
{
    if (sub >= MEDIA_SUBRD_NUM || dsp >= MEDIA_DSP_NUM)
        return kRange;
    if (on == nullptr)
        return kNull;
    uint32_t any = 0;
    for (uint32_t id : kGlobalSwitchIds) {
        uint64_t value = 0;
        uint32_t decoded = 0;
        PlovStatus ret = reg_read(id, dsp_key(sub, dsp), &value, 1);
        if (ret != 0) {
            MEDIA_LOG_ERR("call MEDIA_LogicReadIndregByID err\n");
            return ret;
        }
        if ((ret = MEDIA_ProcessMailBoxSwitch(static_cast<uint32_t>(value), &decoded)) != 0) {
            MEDIA_LOG_ERR("call MEDIA_LogicWriteIndregByID err\n");
            return ret;
        }
        any |= decoded;
    }
    *on = any;
    return 0;
}

PlovStatus MEDIA_SetGlobalDspSwitch(uint32_t sub, uint32_t dsp, uint32_t on)
{
    if (sub >= MEDIA_SUBRD_NUM || dsp >= MEDIA_DSP_NUM || on > 1)
        return kRange;
    for (uint32_t id : kGlobalSwitchIds) {
        uint64_t value = on ^ 1;
        PlovStatus ret = reg_write(id, dsp_key(sub, dsp), &value, 1);
        if (ret != 0) {
            MEDIA_LOG_ERR("call MEDIA_LogicWriteIndregByID err\n");
            return ret;
        }
    }
    return 0;
}

namespace {

// Statistic register (t, c) of every type t with the type's queue key: read
// into out[2t + c] or cleared.
PlovStatus statistic_pass(uint32_t sub, uint32_t dsp, uint32_t core, uint32_t counter, uint32_t op, uint32_t *out)
{
    if (sub >= MEDIA_SUBRD_NUM || dsp >= MEDIA_DSP_NUM || core >= MEDIA_CORE_NUM || counter > 1)
        return kRange;
    for (uint32_t t = 0; t < MEDIA_MAILBOX_TYPES; t++) {
        uint32_t id = 0;
        PlovStatus ret = MEDIA_GetStatisticRegId(t, counter, &id);
        if (ret != 0) {
            MEDIA_LOG_ERR("call MEDIA_GetLogicRegId err\n");
            return ret;
        }
        uint64_t value = 0;
        if ((ret = reg_access(id, op, type_key(sub, dsp, core, t), &value, 1)) != 0) {
            MEDIA_LOG_ERR("call MEDIA_LogicWriteIndregByID err\n");
            return ret;
        }
        if (out != nullptr)
            out[2 * t + counter] = static_cast<uint32_t>(value);
    }
    return 0;
}

} // namespace

PlovStatus MEDIA_GetDspMailboxStatistic(uint32_t sub, uint32_t dsp, uint32_t core, uint32_t out[10], uint32_t counter)
{
    if (sub >= MEDIA_SUBRD_NUM || dsp >= MEDIA_DSP_NUM || core >= MEDIA_CORE_NUM || counter > 1)
        return kRange;
    if (out == nullptr)
        return kNull;
    return statistic_pass(sub, dsp, core, counter, MEDIA_INDIR_READ, out);
}

PlovStatus MEDIA_ClearDspMailboxStatistic(uint32_t sub, uint32_t dsp, uint32_t core, uint32_t counter)
{
    return statistic_pass(sub, dsp, core, counter, MEDIA_INDIR_CLEAR, nullptr);
}

// ---- trans tables ---------------------------------------------------------------------------------

namespace {

constexpr uint32_t kDepthMax = 7, kBlockMax = 3;

// A DSP's DDR window: DSP addresses D .. D + S - 1 at PCIe address P. The
// end is taken in 64 bits, so a window that reaches 2^32 keeps its top.
struct DspWindow {
    uint64_t P = 0;
    uint32_t D = 0;
    uint32_t S = 0;
    uint64_t end() const { return uint64_t{D} + S; }
    bool inside(uint32_t a) const { return a >= D && a < end(); }
    uint64_t pcie(uint32_t a) const { return P + static_cast<uint32_t>(a - D); }
    uint32_t dsp(uint64_t p) const
    {
        return static_cast<uint32_t>(D - static_cast<uint32_t>(P) + static_cast<uint32_t>(p));
    }
};

PlovStatus get_window(uint32_t sub, uint32_t dsp, DspWindow &w, const char *failLine)
{
    MEDIA_PCI_MAP_RESULT r{};
    PlovStatus ret = PLOV_MediaGetDspPcieAddr(sub, dsp, 0, MEDIA_REGION_DDR, &r);
    if (ret != 0) {
        MEDIA_LOG_ERR("%s", failLine);
        return ret;
    }
    w = DspWindow{r.ullPcieAddr, r.uiDspAddr, r.uiSize};
    return 0;
}

constexpr const char *kWindowErr = "call PLOV_MediaGetDspPcieAddr err\n";

bool data_type(uint32_t type) { return type == 0 || type == 2; }

bool desc_ok(uint32_t sub, uint32_t dsp, const MbDesc &e, const DspWindow &w)
{
    return e.enSubboardId == sub && e.enDspId == dsp && e.enDspCoreId < MEDIA_CORE_NUM &&
           e.MailBoxType < MEDIA_MAILBOX_TYPES && e.MailBoxDepth <= kDepthMax && w.inside(e.DspAddr) &&
           (!data_type(e.MailBoxType) || e.MailBoxBlockSize <= kBlockMax);
}

void log_desc(uint32_t i, uint32_t sub, uint32_t dsp, const MbDesc &e)
{
    MEDIA_LOG_ERR("MEDIA_CheckTblEntry entry: %d\n", i);
    MEDIA_LOG_ERR("SubBoardId: %d\n", sub);
    MEDIA_LOG_ERR("DspId: %d\n", dsp);
    MEDIA_LOG_ERR("TransTbl.enSubboardId: %d\n", e.enSubboardId);
    MEDIA_LOG_ERR("TransTbl.enDspId: %d\n", e.enDspId);
    MEDIA_LOG_ERR("TransTbl.enDspCoreId: %d\n", e.enDspCoreId);
    MEDIA_LOG_ERR("TransTbl.MailBoxType: %d \n", e.MailBoxType);
    MEDIA_LOG_ERR("TransTbl.DspAddr: 0x%x \n", e.DspAddr);
    MEDIA_LOG_ERR("TransTbl.MailBoxDepth: %d \n", e.MailBoxDepth);
    if (data_type(e.MailBoxType))
        MEDIA_LOG_ERR("TransTbl.MailBoxBlockSize: %d \n", e.MailBoxBlockSize);
}

bool rwptr_ok(uint32_t sub, uint32_t dsp, const RwptrTbl &r, const DspWindow &w)
{
    return r.enSubboardId == sub && r.enDspId == dsp && r.enDspTransRwptrTblType < MEDIA_RWPTR_TYPES &&
           w.inside(r.ulDspTransRwptrTblAddr);
}

void log_rwptr(uint32_t j, uint32_t sub, uint32_t dsp, const RwptrTbl &r)
{
    MEDIA_LOG_ERR("MEDIA_CheckTblEntry entry: %d\n", j);
    MEDIA_LOG_ERR("SubBoardId: %d\n", sub);
    MEDIA_LOG_ERR("DspId: %d\n", dsp);
    MEDIA_LOG_ERR("RwptrTbl.enSubboardId: %d\n", r.enSubboardId);
    MEDIA_LOG_ERR("RwptrTbl.enDspId: %d\n", r.enDspId);
    MEDIA_LOG_ERR("RwptrTbl.enDspTransRwptrTblType: %d\n", r.enDspTransRwptrTblType);
    MEDIA_LOG_ERR("RwptrTbl.ulDspTransRwptrTblAddr: 0x%x\n", r.ulDspTransRwptrTblAddr);
}

// The pool's base inside the window and both of its ends below the
// window's end, the sums taken in 64 bits.
bool pool_ok(const MediaPoolBaseInfo &p, const DspWindow &w)
{
    return w.inside(p.ulSendPoolBase) && uint64_t{p.ulSendPoolBase} + p.ulSendBottomOffset < w.end() &&
           uint64_t{p.ulSendPoolBase} + p.ulSendTopOffset < w.end();
}

PlovStatus check_ids(uint32_t sub, uint32_t dsp, const void *table)
{
    if (sub >= MEDIA_SUBRD_NUM || dsp >= MEDIA_DSP_NUM)
        return kRange;
    return table == nullptr ? kNull : 0;
}

// Data word 1 of a trans-address register.
uint64_t desc_word(const MbDesc &e)
{
    if (data_type(e.MailBoxType))
        return uint64_t{e.MailBoxDepth} << 4 | (e.MailBoxBlockSize & 3);
    return e.MailBoxType == 4 ? uint64_t{e.MailBoxDepth} << 4 : e.MailBoxDepth;
}

} // namespace

uint32_t MEDIA_DepthCode(uint32_t bytes)
{
    for (uint32_t code = 0; code <= kDepthMax; code++)
        if (bytes == 512u << code)
            return code;
    return kDepthMax + 1;
}

uint32_t MEDIA_BlockSizeCode(uint32_t bytes)
{
    for (uint32_t code = 0; code <= kBlockMax; code++)
        if (bytes == 256u << code)
            return code;
    return kBlockMax + 1;
}

PlovStatus MEDIA_CheckTblEntry(uint32_t sub, uint32_t dsp, const DspTransTable *table)
{
    PlovStatus ret = check_ids(sub, dsp, table);
    if (ret != 0)
        return ret;
    DspWindow w;
    if ((ret = get_window(sub, dsp, w, kWindowErr)) != 0)
        return ret;
    for (uint32_t i = 0; i < MEDIA_TRANS_ENTRIES; i++) {
        if (!desc_ok(sub, dsp, table->MediaTransAddrTbl[i], w)) {
            log_desc(i, sub, dsp, table->MediaTransAddrTbl[i]);
            return kRange;
        }
    }
    for (uint32_t j = 0; j < MEDIA_RWPTR_TYPES; j++) {
        if (!rwptr_ok(sub, dsp, table->MediaTransRwptrTbl[j], w)) {
            log_rwptr(j, sub, dsp, table->MediaTransRwptrTbl[j]);
            return kRange;
        }
    }
    const MediaPoolBaseInfo &p = table->MediaTransPoolBaseInfo;
    if (!pool_ok(p, w)) {
        MEDIA_LOG_ERR("SubBoardId: %d\n", sub);
        MEDIA_LOG_ERR("DspId: %d\n", dsp);
        MEDIA_LOG_ERR("ulSendPoolBase: 0x%x\n", p.ulSendPoolBase);
        MEDIA_LOG_ERR("ulSendBottomOffset: 0x%x\n", p.ulSendBottomOffset);
        MEDIA_LOG_ERR("ulSendTopOffset   : 0x%x\n", p.ulSendTopOffset);
        return kRange;
    }
    return 0;
}

PlovStatus MEDIA_LogicSetTransAddrTable(const DspTransTable *table)
{
    if (table == nullptr)
        return kNull;
    for (const MbDesc &e : table->MediaTransAddrTbl) {
        uint32_t id = 0, dir = 0;
        PlovStatus ret = MEDIA_GetTransAddrRegId(e.MailBoxType, &id);
        if (ret != 0) {
            MEDIA_LOG_ERR("call MEDIA_GetLogicRegIdByMailboxType err\n");
            return ret;
        }
        if ((ret = MEDIA_ProcessMailBoxType(e.MailBoxType, &dir)) != 0) {
            MEDIA_LOG_ERR("call MEDIA_ProcessMailBoxType err\n");
            return ret;
        }
        DspWindow w;
        if ((ret = get_window(e.enSubboardId, e.enDspId, w, kWindowErr)) != 0)
            return ret;
        uint64_t p = w.pcie(e.DspAddr);
        uint64_t words[3] = {desc_word(e), p >> 32, p & 0xFFFFFFFFu};
        if ((ret = reg_write(id, queue_key(e.enSubboardId, e.enDspId, e.enDspCoreId, dir), words, 3)) != 0) {
            MEDIA_LOG_ERR("call MEDIA_LogicWriteIndregByID err\n");
            return ret;
        }
    }
    return 0;
}

PlovStatus MEDIA_LogicSetRwptrAddrTable(const DspTransTable *table)
{
    if (table == nullptr)
        return kNull;
    for (const RwptrTbl &r : table->MediaTransRwptrTbl) {
        uint32_t id = 0;
        PlovStatus ret = MEDIA_GetRWptrAddrRegId(r.enDspTransRwptrTblType, &id);
        if (ret != 0) {
            MEDIA_LOG_ERR("call MEDIA_GetRWptrAddrRegId err\n");
            return ret;
        }
        DspWindow w;
        if ((ret = get_window(r.enSubboardId, r.enDspId, w, kWindowErr)) != 0)
            return ret;
        uint64_t p = w.pcie(r.ulDspTransRwptrTblAddr);
        uint64_t words[2] = {p >> 32, p & 0xFFFFFFFFu};
        if ((ret = reg_write(id, dsp_key(r.enSubboardId, r.enDspId), words, 2)) != 0) {
            MEDIA_LOG_ERR("call MEDIA_LogicWriteIndregByID err\n");
            return ret;
        }
    }
    return 0;
}

PlovStatus MEDIA_LogicSetSendPoolInfo(uint32_t sub, uint32_t dsp, const DspTransTable *table)
{
    PlovStatus ret = check_ids(sub, dsp, table);
    if (ret != 0)
        return ret;
    DspWindow w;
    if ((ret = get_window(sub, dsp, w, kWindowErr)) != 0)
        return ret;
    const MediaPoolBaseInfo &pool = table->MediaTransPoolBaseInfo;
    uint64_t p = w.pcie(pool.ulSendPoolBase);
    uint64_t base[2] = {p >> 32, p & 0xFFFFFFFFu};
    uint64_t top = pool.ulSendTopOffset, bottom = pool.ulSendBottomOffset;
    struct Step {
        uint32_t id;
        uint64_t *words;
        size_t count;
    } steps[] = {{kPoolBaseId, base, 2}, {kPoolTopId, &top, 1}, {kPoolBottomId, &bottom, 1}};
    for (const Step &s : steps) {
        if ((ret = reg_write(s.id, dsp_key(sub, dsp), s.words, s.count)) != 0) {
            MEDIA_LOG_ERR("call MEDIA_LogicWriteIndregByID err\n");
            return ret;
        }
    }
    return 0;
}

PlovStatus MEDIA_FillTblEntry(uint32_t sub, uint32_t dsp, DspTransTable *table)
{
    PlovStatus ret = check_ids(sub, dsp, table);
    if (ret != 0)
        return ret;
    for (uint32_t i = 0; i < MEDIA_TRANS_ENTRIES; i++) {
        MbDesc &e = table->MediaTransAddrTbl[i];
        e.enSubboardId = sub;
        e.enDspId = dsp;
        e.enDspCoreId = i / MEDIA_MAILBOX_TYPES;
        e.MailBoxType = i % MEDIA_MAILBOX_TYPES;
    }
    for (uint32_t j = 0; j < MEDIA_RWPTR_TYPES; j++) {
        RwptrTbl &r = table->MediaTransRwptrTbl[j];
        r.enSubboardId = sub;
        r.enDspId = dsp;
        r.enDspTransRwptrTblType = j;
    }
    return 0;
}

PlovStatus MEDIA_LogicGetTransAddrTable(DspTransTable *table)
{
    if (table == nullptr)
        return kNull;
    for (MbDesc &e : table->MediaTransAddrTbl) {
        uint32_t id = 0, dir = 0;
        PlovStatus ret = MEDIA_GetTransAddrRegId(e.MailBoxType, &id);
        if (ret != 0) {
            MEDIA_LOG_ERR("call MEDIA_GetLogicRegIdByMailboxType err\n");
            return ret;
        }
        if ((ret = MEDIA_ProcessMailBoxType(e.MailBoxType, &dir)) != 0) {
            MEDIA_LOG_ERR("call MEDIA_ProcessMailBoxType err\n");
            return ret;
        }
        uint64_t words[3] = {};
        if ((ret = reg_read(id, queue_key(e.enSubboardId, e.enDspId, e.enDspCoreId, dir), words, 3)) != 0) {
            MEDIA_LOG_ERR("call MEDIA_LogicReadIndregByID err\n");
            return ret;
        }
        bool plainDepth = e.MailBoxType == 1 || e.MailBoxType == 3;
        e.MailBoxDepth = static_cast<uint32_t>(plainDepth ? words[0] : words[0] >> 4);
        if (data_type(e.MailBoxType))
            e.MailBoxBlockSize = static_cast<uint32_t>(words[0] & 3);
        DspWindow w;
        if ((ret = get_window(e.enSubboardId, e.enDspId, w, "call PCIeAddr2DspAddr err\n")) != 0)
            return ret;
        e.DspAddr = w.dsp(words[2]);
    }
    return 0;
}

PlovStatus MEDIA_LogicGetRwptrAddrTable(DspTransTable *table)
{
    if (table == nullptr)
        return kNull;
    for (RwptrTbl &r : table->MediaTransRwptrTbl) {
        uint32_t id = 0;
        PlovStatus ret = MEDIA_GetRWptrAddrRegId(r.enDspTransRwptrTblType, &id);
        if (ret != 0) {
            MEDIA_LOG_ERR("call MEDIA_GetRWptrAddrRegId err\n");
            return ret;
        }
        uint64_t words[2] = {};
        if ((ret = reg_read(id, dsp_key(r.enSubboardId, r.enDspId), words, 2)) != 0) {
            MEDIA_LOG_ERR("call MEDIA_LogicWriteIndregByID err\n");
            return ret;
        }
        DspWindow w;
        if ((ret = get_window(r.enSubboardId, r.enDspId, w, kWindowErr)) != 0)
            return ret;
        r.ulDspTransRwptrTblAddr = w.dsp(words[1]);
    }
    return 0;
}

PlovStatus MEDIA_LogicGetSendPoolInfo(uint32_t sub, uint32_t dsp, DspTransTable *table)
{
    PlovStatus ret = check_ids(sub, dsp, table);
    if (ret != 0)
        return ret;
    MediaPoolBaseInfo &pool = table->MediaTransPoolBaseInfo;
    uint64_t base[2] = {}, top = 0, bottom = 0;
    DspWindow w;
    if ((ret = reg_read(kPoolBaseId, dsp_key(sub, dsp), base, 2)) != 0) {
        MEDIA_LOG_ERR("call MEDIA_LogicWriteIndregByID err\n");
        return ret;
    }
    if ((ret = get_window(sub, dsp, w, kWindowErr)) != 0)
        return ret;
    pool.ulSendPoolBase = w.dsp(base[1]);
    if ((ret = reg_read(kPoolTopId, dsp_key(sub, dsp), &top, 1)) != 0) {
        MEDIA_LOG_ERR("call MEDIA_LogicWriteIndregByID err\n");
        return ret;
    }
    pool.ulSendTopOffset = static_cast<uint32_t>(top);
    if ((ret = reg_read(kPoolBottomId, dsp_key(sub, dsp), &bottom, 1)) != 0) {
        MEDIA_LOG_ERR("call MEDIA_LogicWriteIndregByID err\n");
        return ret;
    }
    pool.ulSendBottomOffset = static_cast<uint32_t>(bottom);
    return 0;
}

void MEDIA_TblPrint(const DspTransTable *table)
{
    if (table == nullptr)
        return;
    MEDIA_LOG_INFO("MediaTransAddrTbl : \n");
    for (uint32_t i = 0; i < MEDIA_TRANS_ENTRIES; i++) {
        const MbDesc &e = table->MediaTransAddrTbl[i];
        MEDIA_LOG_INFO("Entry : %d\n", i);
        MEDIA_LOG_INFO("SubBoardId: %d \n", e.enSubboardId);
        MEDIA_LOG_INFO("DspId: %d \n", e.enDspId);
        MEDIA_LOG_INFO("DspCoreId: %d \n", e.enDspCoreId);
        MEDIA_LOG_INFO("MailBoxType: %d \n", e.MailBoxType);
        MEDIA_LOG_INFO("DspAddr: 0x%x \n", e.DspAddr);
        MEDIA_LOG_INFO("MailBoxDepth: %d \n", e.MailBoxDepth);
        if (data_type(e.MailBoxType))
            MEDIA_LOG_INFO("MailBoxBlockSize: %d \n", e.MailBoxBlockSize);
    }
    MEDIA_LOG_INFO("MediaTransRwptrTbl : \n");
    for (uint32_t j = 0; j < MEDIA_RWPTR_TYPES; j++) {
        const RwptrTbl &r = table->MediaTransRwptrTbl[j];
        MEDIA_LOG_INFO("Entry : %d\n", j);
        MEDIA_LOG_INFO("SubBoardId: %d \n", r.enSubboardId);
        MEDIA_LOG_INFO("DspId: %d \n", r.enDspId);
        MEDIA_LOG_INFO("RwptrTblType: %d \n", r.enDspTransRwptrTblType);
        MEDIA_LOG_INFO("RwptrTblAddr: 0x%x \n", r.ulDspTransRwptrTblAddr);
    }
    const MediaPoolBaseInfo &p = table->MediaTransPoolBaseInfo;
    MEDIA_LOG_INFO("MediaTransPoolBaseInfo : \n");
    MEDIA_LOG_INFO("ulSendPoolBase: 0x%x\n", p.ulSendPoolBase);
    MEDIA_LOG_INFO("ulSendBottomOffset: 0x%x\n", p.ulSendBottomOffset);
    MEDIA_LOG_INFO("ulSendTopOffset   : 0x%x\n", p.ulSendTopOffset);
}

#include "boardlib/trans_table.h"

#include <atomic>
#include <cstring>

#include "bases/globals/globals.h"
#include "bases/host/host.h"
#include "kelvo/kelvo.h"

namespace {

// The valid tables of the trans FPGA; every other id stays all zero.
struct TableRow {
    uint8_t table;
    TableDescFields fields;
};

//                      vld inner addr wdata rdata line mask cmdaddr key act del
constexpr TableRow kTableRows[] = {
    {2, {1, 0, 15, 1, 1, 1, 0, 0x1811, 1, 0, 0}},
    {4, {1, 0, 13, 6, 8, 1, 1, 0x2800, 5, 1, 1}},
    {5, {1, 1, 13, 6, 8, 1, 1, 0x2800, 5, 1, 1}},
    {6, {1, 2, 13, 6, 8, 1, 1, 0x2800, 5, 1, 1}},
    {7, {1, 3, 13, 6, 8, 1, 1, 0x2800, 5, 1, 1}},
    {8, {1, 4, 13, 6, 8, 1, 1, 0x2800, 5, 1, 1}},
    {14, {1, 0, 5, 1, 1, 0, 0, 0x5400, 1, 0, 1}},
    {15, {1, 0, 18, 1, 2, 1, 0, 0x5800, 0, 1, 0}},
};

constexpr TableDesc kTableWords[] = {
    0x11811445E1, 0x952800E19A1, 0x952800E19A3, 0x952800E19A5,
    0x952800E19A7, 0x952800E19A9, 0x815400044A1, 0x10580048641,
};

constexpr bool rows_match_words()
{
    for (size_t i = 0; i < std::size(kTableRows); i++) {
        if (ruda_desc_pack(kTableRows[i].fields) != kTableWords[i])
            return false;
        if (ruda_desc_pack(ruda_desc_fields(kTableWords[i])) != kTableWords[i])
            return false;
    }
    return true;
}
static_assert(rows_match_words(), "table descriptors differ from their documented words");

// The TCAM tables give a 13-word write and a 17-word read.
constexpr TableDescFields kTcam = kTableRows[1].fields;
static_assert(ruda_write_words(kTcam) == 13 && ruda_read_words(kTcam) == 17);
static_assert(ruda_write_key_word(kTcam) == 2 && ruda_write_mask_word(kTcam) == 8);
static_assert(ruda_read_act_word(kTcam) == 3 && ruda_read_key_word(kTcam) == 4 && ruda_read_mask_word(kTcam) == 12);
static_assert(ruda_entry_address(kTableRows[2].fields, 7) == 16391);
static_assert(ruda_read_act_word(kTableRows[7].fields) == 2 && ruda_read_words(kTableRows[7].fields) == 3);

TableDesc g_ruda_storage[kRudaTableCount];
// 16 once the descriptors are built. Written with release order after the
// build, under g_ruda_mutex; read with acquire order, so that a reader that
// sees 16 also sees the descriptors.
std::atomic<uint8_t> g_ruda_table_num{0};

void ruda_build_tables()
{
    for (TableDesc &d : g_ruda_storage)
        d = 0;
    for (const TableRow &row : kTableRows)
        g_ruda_storage[row.table] = ruda_desc_pack(row.fields);
    for (uint8_t i = 0; i < kRudaTableCount; i++)
        g_ruda_tableinfo[i] = &g_ruda_storage[i];
}

// Builds the catalogue the first time: -1225 or -1226 when the mutex
// cannot be locked or unlocked.
PlovStatus ruda_ensure_tables()
{
    if (g_ruda_table_num.load(std::memory_order_acquire) >= kRudaTableCount)
        return PLOV_OK;
    if (pthread_mutex_lock(&g_ruda_mutex) != 0) {
        TRANS_LOG_ERR("lock g_ruda_mutex failed\n");
        return PLOV_ERR_LOCK;
    }
    if (g_ruda_table_num.load(std::memory_order_relaxed) < kRudaTableCount) {
        ruda_build_tables();
        g_ruda_table_num.store(kRudaTableCount, std::memory_order_release);
    }
    if (pthread_mutex_unlock(&g_ruda_mutex) != 0) {
        TRANS_LOG_ERR("unlock g_ruda_mutex failed\n");
        return PLOV_ERR_UNLOCK;
    }
    return PLOV_OK;
}

} // namespace

TableDesc *g_ruda_tableinfo[kRudaTableCount];
pthread_mutex_t g_ruda_mutex = PTHREAD_MUTEX_INITIALIZER;

PlovStatus ruda_get_table_info(TableDesc *info[kRudaTableCount])
{
    if (info == nullptr)
        return PLOV_ERR_NULL_PTR;
    PlovStatus ret = ruda_ensure_tables();
    if (ret != PLOV_OK)
        return ret;
    for (uint8_t i = 0; i < kRudaTableCount; i++)
        info[i] = g_ruda_tableinfo[i];
    return PLOV_OK;
}

PlovStatus ruda_get_tableinfo_byid(uint8_t table, uint64_t *desc)
{
    if (table >= kRudaTableCount)
        return PLOV_ERR_TABLE;
    if (desc == nullptr)
        return PLOV_ERR_NULL_PTR;
    PlovStatus ret = ruda_ensure_tables();
    if (ret != PLOV_OK)
        return ret;
    if (g_ruda_tableinfo[table] == nullptr)
        return PLOV_ERR_TABLE;
    return memmove_s(desc, sizeof(*desc), g_ruda_tableinfo[table], sizeof(*desc)) == 0 ? PLOV_OK
                                                                                        : PLOV_ERR_NO_MEM;
}

PlovStatus ruda_get_table_num(uint8_t *num)
{
    if (num == nullptr)
        return PLOV_ERR_NULL_PTR;
    PlovStatus ret = ruda_ensure_tables();
    if (ret != PLOV_OK)
        return ret;
    *num = g_ruda_table_num.load(std::memory_order_acquire);
    return PLOV_OK;
}

PlovStatus ruda_ddr_check_param(TableDesc desc, const uint64_t *key, const uint64_t *data)
{
    if (ruda_desc_fields(desc).actlen != 0)
        return PLOV_ERR_TABLE;
    if (key == nullptr || data == nullptr)
        return PLOV_ERR_NULL_PTR;
    return PLOV_OK;
}

PlovStatus ruda_tcam_check_param(TableDesc desc, uint32_t index, const uint64_t *key, const uint64_t *mask,
                                 const uint64_t *act)
{
    TableDescFields f = ruda_desc_fields(desc);
    if (index >= ruda_index_limit(f))
        return PLOV_ERR_RANGE;
    if (f.actlen == 0)
        return PLOV_ERR_TABLE;
    if (act == nullptr) {
        TRANS_LOG_ERR("act is NULL,please check\n");
        return PLOV_ERR_NULL_PTR;
    }
    if (f.maskflag && (key == nullptr || mask == nullptr))
        return PLOV_ERR_NULL_PTR;
    return PLOV_OK;
}

PlovStatus ruda_convert_tcam_info_to_regdata(TableDesc desc, uint16_t wlen, uint16_t rlen, uint64_t cmd,
                                             uint32_t index, IndirRegReq *req)
{
    if (req == nullptr || req->data == nullptr)
        return PLOV_ERR_NULL_PTR;
    TableDescFields f = ruda_desc_fields(desc);
    uint32_t halves = f.maskflag + 1;
    req->baseaddr = f.cmdaddr;
    req->r2base = static_cast<uint16_t>(halves * f.wdatalen + 2);
    req->ret2base = static_cast<uint16_t>(req->r2base + halves * f.rdatalen);
    req->cmd = cmd;
    req->wlen = wlen;
    req->rlen = rlen;
    req->data[0] = ruda_entry_address(f, index);
    return PLOV_OK;
}

namespace {

// Copies `words` 64-bit words; a null source or an empty part copies nothing.
int32_t copy_words(uint64_t *dest, const uint64_t *src, uint32_t words)
{
    if (words == 0)
        return 0;
    return memmove_s(dest, words * sizeof(uint64_t), src, words * sizeof(uint64_t));
}

int32_t zero_words(uint64_t *dest, uint32_t words)
{
    if (words == 0)
        return 0;
    return memset_s(dest, words * sizeof(uint64_t), 0, words * sizeof(uint64_t));
}

} // namespace

int32_t ruda_combin_tcam_write_data(TableDesc desc, const uint64_t *key, const uint64_t *mask,
                                    const uint64_t *act, uint64_t *words)
{
    if (words == nullptr)
        return KelvoInvalid;
    TableDescFields f = ruda_desc_fields(desc);
    int32_t ret = zero_words(words + 1, ruda_write_words(f) - 1);
    if (ret == 0)
        ret = copy_words(words + ruda_write_act_word(f), act, f.actlen);
    if (ret == 0 && f.maskflag)
        ret = copy_words(words + ruda_write_key_word(f), key, f.keylen);
    if (ret == 0 && f.maskflag)
        ret = copy_words(words + ruda_write_mask_word(f), mask, f.keylen);
    return ret;
}

int32_t ruda_split_tcam_read_data(TableDesc desc, const uint64_t *words, uint64_t *key, uint64_t *mask,
                                  uint64_t *act)
{
    if (words == nullptr)
        return KelvoInvalidReset;
    TableDescFields f = ruda_desc_fields(desc);
    int32_t ret = copy_words(act, words + ruda_read_act_word(f), f.actlen);
    if (ret == 0 && f.maskflag)
        ret = copy_words(key, words + ruda_read_key_word(f), f.keylen);
    if (ret == 0 && f.maskflag)
        ret = copy_words(mask, words + ruda_read_mask_word(f), f.keylen);
    return ret;
}

PlovStatus ruda_table_operate(unsigned long request, IndirRegReq *req)
{
    if (req == nullptr)
        return PLOV_ERR_NULL_PTR;
    return DORN_REQUEST(0, request, req, {DornJudge::Raw, DornOpenFail::OpenCode});
}

void trans_dump_tinfo(TableDesc desc)
{
    TableDescFields f = ruda_desc_fields(desc);
    TRANS_LOG_INFO("\tvld : %u\n\tcmdaddr offset : %u\n\tinnerid : %u\n\taddrlen : %u\n\twdatalen : %u\n"
                    "\trdatalen : %u\n\tLineflag : %u\n\tMaskflag : %u\n\tkeylen : %u\n\tactlen : %u"
                    "\tDelflag : %u",
                    f.vld, f.cmdaddr, f.innerid, f.addrlen, f.wdatalen, f.rdatalen, f.lineflag, f.maskflag,
                    f.keylen, f.actlen, f.delflag);
}

void trans_dump_data(const uint64_t *words, uint32_t count, const char *name)
{
    if (words == nullptr || name == nullptr)
        return;
    for (uint32_t i = 0; i < count; i++)
        TRANS_LOG_INFO("%s[%u] = %llx\n", name, i, static_cast<unsigned long long>(words[i]));
}

void trans_dump_value(const IndirRegReq *req, uint32_t count)
{
    if (req == nullptr)
        return;
    TRANS_LOG_INFO("baseaddr = %llx\n", static_cast<unsigned long long>(req->baseaddr));
    TRANS_LOG_INFO("cmd = %llx\n", static_cast<unsigned long long>(req->cmd));
    TRANS_LOG_INFO("r2base = %x\n", req->r2base);
    TRANS_LOG_INFO("ret2base = %x\n", req->ret2base);
    TRANS_LOG_INFO("wlen = %x\n", req->wlen);
    TRANS_LOG_INFO("rlen = %x\n", req->rlen);
    if (req->data != nullptr && count > 0)
        trans_dump_data(req->data, count, "data");
}

// The catalogue is built again on its next use.
GLOBALS_RESET(trans_table)
{
    g_ruda_table_num.store(0, std::memory_order_release);
    for (TableDesc &d : g_ruda_storage)
        d = 0;
    for (TableDesc *&p : g_ruda_tableinfo)
        p = nullptr;
}

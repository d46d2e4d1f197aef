#include "boardlib/plov_table_intf.h"

#include <cstdlib>
#include <memory>

#include "bases/host/host.h"
#include "boardlib/dorn_logic.h"
#include "boardlib/trans_table.h"
#include "kelvo/kelvo.h"

namespace {

struct FreeDelete {
    void operator()(void *p) const { free(p); }
};

// One table request and its data words, allocated per call and freed on
// every path when it goes out of scope.
struct TableReq {
    std::unique_ptr<IndirRegReq, FreeDelete> req;
    std::unique_ptr<uint64_t, FreeDelete> words;

    uint64_t *data() const { return words.get(); }
};

// Allocates the request and `count` cleared data words, and one cleared
// word behind them: the KESP board's driver counts the entry address apart
// from the written words and so reads one word past the counted ones.
PlovStatus table_req_alloc(TableReq &t, uint32_t count)
{
    size_t bytes = (size_t{count} + 1) * sizeof(uint64_t);
    t.req.reset(static_cast<IndirRegReq *>(malloc(sizeof(IndirRegReq))));
    t.words.reset(static_cast<uint64_t *>(malloc(bytes)));
    if (!t.req || !t.words)
        return PLOV_ERR_NO_MEM;
    *t.req = IndirRegReq{};
    t.req->data = t.words.get();
    KelvoErr err = memset_s(t.data(), bytes, 0, bytes);
    if (err != 0)
        TRANS_LOG_ERR("memset_s failed %d, dest_str %p(%lu), cnt(%lu)\n", err, static_cast<void *>(t.data()),
                       static_cast<unsigned long>(bytes), static_cast<unsigned long>(bytes));
    return PLOV_OK;
}

// Looks the table up; tables without a valid descriptor are refused.
PlovStatus table_lookup(uint8_t table, TableDesc &desc, TableDescFields &f)
{
    PlovStatus ret = ruda_get_tableinfo_byid(table, &desc);
    if (ret != PLOV_OK)
        return ret;
    f = ruda_desc_fields(desc);
    return f.vld ? PLOV_OK : PLOV_ERR_TABLE;
}

// Copies `count` words, mapping any copy failure to -1211.
PlovStatus copy_out(uint64_t *dest, const uint64_t *src, uint32_t count)
{
    size_t bytes = size_t{count} * sizeof(uint64_t);
    return memmove_s(dest, bytes, src, bytes) == 0 ? PLOV_OK : PLOV_ERR_NO_MEM;
}

// Fills a key-table request: baseaddr, cmd, r2base = A + W + 1,
// ret2base = r2base + R, and the two lengths.
void key_req_fill(IndirRegReq &req, const TableDescFields &f, uint64_t cmd, uint16_t wlen, uint16_t rlen)
{
    req.baseaddr = f.cmdaddr;
    req.cmd = cmd;
    req.r2base = static_cast<uint16_t>(ruda_key_words(f) + f.wdatalen + 1);
    req.ret2base = static_cast<uint16_t>(req.r2base + f.rdatalen);
    req.wlen = wlen;
    req.rlen = rlen;
}

// Builds and sends one key-table request whose data words start with the key.
PlovStatus key_request(const TableDescFields &f, unsigned long ioctlNr, uint64_t cmd, const uint64_t *key,
                       const uint64_t *data, uint32_t dataWords, uint16_t rlen, uint64_t *out)
{
    uint32_t keyWords = ruda_key_words(f);
    uint32_t total = keyWords + (rlen != 0 ? rlen : dataWords);
    TableReq t;
    PlovStatus ret = table_req_alloc(t, total);
    if (ret != PLOV_OK)
        return ret;
    size_t bytes = size_t{total} * sizeof(uint64_t);
    if (memmove_s(t.data(), bytes, key, size_t{keyWords} * sizeof(uint64_t)) != 0)
        return PLOV_ERR_NO_MEM;
    if (data != nullptr && copy_out(t.data() + keyWords, data, dataWords) != PLOV_OK)
        return PLOV_ERR_NO_MEM;
    key_req_fill(*t.req, f, cmd, static_cast<uint16_t>(keyWords + dataWords), rlen);
    ret = ruda_table_operate(ioctlNr, t.req.get());
    if (ret != 0 || out == nullptr)
        return ret;
    return copy_out(out, t.data() + keyWords, rlen);
}

// Allocates an index-table request of wlen + rlen data words and fills its
// fields and word 0 (the entry address).
PlovStatus index_req_build(TableReq &t, TableDesc desc, uint32_t index, uint64_t cmd, uint16_t wlen,
                           uint16_t rlen)
{
    PlovStatus ret = table_req_alloc(t, uint32_t{wlen} + rlen);
    if (ret != PLOV_OK)
        return ret;
    return ruda_convert_tcam_info_to_regdata(desc, wlen, rlen, cmd, index, t.req.get());
}

// An index-table write whose data words are the entry address alone, or
// followed by zeros.
PlovStatus index_write_plain(TableDesc desc, uint32_t index, uint64_t cmd, uint16_t wlen)
{
    TableReq t;
    PlovStatus ret = index_req_build(t, desc, index, cmd, wlen, 0);
    if (ret != PLOV_OK)
        return ret;
    return ruda_table_operate(PLOV_IOC_WRITE_INDIR_REG, t.req.get());
}

// Looks an index table up, then checks the index: range, then kind.
PlovStatus index_lookup(uint8_t table, uint32_t index, TableDesc &desc, TableDescFields &f)
{
    PlovStatus ret = table_lookup(table, desc, f);
    if (ret != PLOV_OK)
        return ret;
    if (index >= ruda_index_limit(f))
        return PLOV_ERR_RANGE;
    return f.actlen == 0 ? PLOV_ERR_TABLE : PLOV_OK;
}

} // namespace

PlovStatus PlovAddRecordByKey(uint8_t table, const uint64_t *key, const uint64_t *data)
{
    TableDesc desc = 0;
    TableDescFields f{};
    PlovStatus ret = table_lookup(table, desc, f);
    if (ret == PLOV_OK)
        ret = ruda_ddr_check_param(desc, key, data);
    if (ret != PLOV_OK)
        return ret;
    return key_request(f, PLOV_IOC_WRITE_INDIR_REG, kTableCmdWrite, key, data, f.wdatalen, 0, nullptr);
}

PlovStatus PlovGetRecordByKey(uint8_t table, const uint64_t *key, uint64_t *data)
{
    TableDesc desc = 0;
    TableDescFields f{};
    PlovStatus ret = table_lookup(table, desc, f);
    if (ret == PLOV_OK)
        ret = ruda_ddr_check_param(desc, key, data);
    if (ret != PLOV_OK)
        return ret;
    return key_request(f, PLOV_IOC_READ_INDIR_REG, kTableCmdRead, key, nullptr, 0,
                       static_cast<uint16_t>(f.rdatalen), data);
}

PlovStatus PlovDelRecordByKey(uint8_t table, const uint64_t *key)
{
    TableDesc desc = 0;
    TableDescFields f{};
    PlovStatus ret = table_lookup(table, desc, f);
    if (ret != PLOV_OK)
        return ret;
    if (f.actlen != 0)
        return PLOV_ERR_TABLE;
    if (key == nullptr)
        return PLOV_ERR_NULL_PTR;
    if (f.delflag)
        return key_request(f, PLOV_IOC_WRITE_INDIR_REG, kTableCmdDelete, key, nullptr, 0, 0, nullptr);
    // Without a delete command the entry is overwritten with zeros.
    return key_request(f, PLOV_IOC_WRITE_INDIR_REG, kTableCmdWrite, key, nullptr, f.wdatalen, 0, nullptr);
}

PlovStatus PlovAddRecordByIndex(uint8_t table, uint32_t index, const uint64_t *key, const uint64_t *mask,
                                const uint64_t *act)
{
    TableDesc desc = 0;
    TableDescFields f{};
    PlovStatus ret = table_lookup(table, desc, f);
    if (ret == PLOV_OK)
        ret = ruda_tcam_check_param(desc, index, key, mask, act);
    if (ret != PLOV_OK)
        return ret;
    TableReq t;
    ret = index_req_build(t, desc, index, kTableCmdWrite, static_cast<uint16_t>(ruda_write_words(f)), 0);
    if (ret != PLOV_OK)
        return ret;
    if (ruda_combin_tcam_write_data(desc, key, mask, act, t.data()) != 0)
        return PLOV_ERR_NO_MEM;
    return ruda_table_operate(PLOV_IOC_WRITE_INDIR_REG, t.req.get());
}

PlovStatus PlovGetRecordByIndex(uint8_t table, uint32_t index, uint64_t *key, uint64_t *mask, uint64_t *act)
{
    TableDesc desc = 0;
    TableDescFields f{};
    PlovStatus ret = table_lookup(table, desc, f);
    if (ret == PLOV_OK)
        ret = ruda_tcam_check_param(desc, index, key, mask, act);
    if (ret != PLOV_OK)
        return ret;
    TableReq t;
    ret = index_req_build(t, desc, index, kTableCmdRead, 1, static_cast<uint16_t>(ruda_read_words(f) - 1));
    if (ret == PLOV_OK)
        ret = ruda_table_operate(PLOV_IOC_READ_INDIR_REG, t.req.get());
    if (ret != 0)
        return ret;
    return ruda_split_tcam_read_data(desc, t.data(), key, mask, act) == 0 ? PLOV_OK : PLOV_ERR_NO_MEM;
}

PlovStatus PlovDelRecordByIndex(uint8_t table, uint32_t index)
{
    TableDesc desc = 0;
    TableDescFields f{};
    PlovStatus ret = index_lookup(table, index, desc, f);
    if (ret != PLOV_OK)
        return ret;
    if (f.delflag)
        return index_write_plain(desc, index, kTableCmdDelete, 1);
    // Without a delete command the entry is overwritten with zeros.
    return index_write_plain(desc, index, kTableCmdWrite, static_cast<uint16_t>(ruda_write_words(f)));
}

PlovStatus PlovGetStatByIndex(uint8_t table, uint32_t index, uint64_t *stat)
{
    TableDesc desc = 0;
    TableDescFields f{};
    PlovStatus ret = index_lookup(table, index, desc, f);
    if (ret == PLOV_OK && stat == nullptr)
        ret = PLOV_ERR_NULL_PTR;
    if (ret != PLOV_OK)
        return ret;
    auto count = static_cast<uint16_t>(f.rdatalen - f.wdatalen);
    TableReq t;
    ret = index_req_build(t, desc, index, kTableCmdRead, 1, count);
    if (ret == PLOV_OK)
        ret = ruda_table_operate(PLOV_IOC_READ_INDIR_REG, t.req.get());
    if (ret != 0)
        return ret;
    return copy_out(stat, t.data() + 1, count);
}

PlovStatus PlovClrStatByIndex(uint8_t table, uint32_t index)
{
    TableDesc desc = 0;
    TableDescFields f{};
    PlovStatus ret = index_lookup(table, index, desc, f);
    if (ret != PLOV_OK)
        return ret;
    return index_write_plain(desc, index, kTableCmdClear, 1);
}

PlovStatus PlovGetStatByKey(uint8_t, const uint64_t *, uint64_t *) { return PLOV_OK; }

PlovStatus PlovClrStatByKey(uint8_t, const uint64_t *) { return PLOV_OK; }

PlovStatus PlovDelAllTable()
{
    for (uint64_t value : {uint64_t{0}, uint64_t{1}}) {
        DirRegReq req{kTableClearReg, value};
        PlovStatus ret = DornLogicWriteDirReg(0, &req);
        if (ret < 0)
            return ret;
    }
    for (uint32_t i = 0; i < kTableClearPolls; i++) {
        host().usleep(kTableClearPollUs);
        DirRegReq req{kTableClearDoneReg, 0};
        if (DornLogicReadDirReg(0, &req) == 0 && (req.data & kTableClearDoneBit) != 0)
            return PLOV_OK;
    }
    return PLOV_ERR_TIMEOUT;
}

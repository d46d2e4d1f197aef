#include "boardlib/kesp_intf.h"

#include "boardlib/kesp_logic.h"

//       id  command  base  mode r2base ret2base wlen rlen
constexpr IndirRegReq g_KespIndirReg[kKespIndirRegCount] = {
    indir_catalogue_row({0, 16, 0x30, 0, 2, 0, 0, 1}),
    indir_catalogue_row({1, 16, 0x6C00, 2, 3, 0, 1, 1}),
    indir_catalogue_row({2, 16, 0x6DA0, 0, 3, 0, 0, 1}),
    indir_catalogue_row({3, 16, 0x5800, 2, 3, 0, 1, 1}),
    indir_catalogue_row({4, 16, 0x5804, 2, 3, 0, 1, 1}),
    indir_catalogue_row({5, 16, 0x5810, 0, 2, 0, 0, 1}),
    indir_catalogue_row({6, 16, 0x5814, 0, 2, 0, 0, 1}),
    indir_catalogue_row({7, 16, 0x5820, 3, 7, 0, 3, 3}),
    indir_catalogue_row({8, 16, 0x5830, 2, 4, 0, 2, 2}),
    indir_catalogue_row({9, 16, 0x5840, 2, 3, 0, 1, 1}),
    indir_catalogue_row({10, 16, 0x5844, 2, 3, 0, 1, 1}),
    indir_catalogue_row({11, 16, 0x5984, 0, 2, 0, 0, 1}),
    indir_catalogue_row({12, 16, 0x5990, 0, 2, 0, 0, 1}),
    indir_catalogue_row({13, 16, 0x6000, 2, 3, 0, 1, 1}),
    indir_catalogue_row({14, 16, 0x7800, 2, 3, 0, 1, 1}),
    indir_catalogue_row({15, 16, 0x7804, 2, 3, 0, 1, 1}),
    indir_catalogue_row({16, 16, 0x7810, 0, 2, 0, 0, 1}),
    indir_catalogue_row({17, 16, 0x7814, 0, 2, 0, 0, 1}),
    indir_catalogue_row({18, 16, 0x7820, 3, 7, 0, 3, 3}),
    indir_catalogue_row({19, 16, 0x7830, 2, 4, 0, 2, 2}),
    indir_catalogue_row({20, 16, 0x7980, 0, 2, 0, 0, 1}),
    indir_catalogue_row({21, 16, 0x7984, 0, 2, 0, 0, 1}),
    indir_catalogue_row({22, 16, 0x7000, 2, 3, 0, 1, 1}),
    indir_catalogue_row({23, 16, 0x7004, 2, 3, 0, 1, 1}),
    indir_catalogue_row({24, 16, 0x7010, 0, 2, 0, 0, 1}),
    indir_catalogue_row({25, 16, 0x7014, 0, 2, 0, 0, 1}),
    indir_catalogue_row({26, 16, 0x7020, 3, 7, 0, 3, 3}),
    indir_catalogue_row({27, 16, 0x7030, 2, 4, 0, 2, 2}),
    indir_catalogue_row({28, 16, 0x7180, 0, 2, 0, 0, 1}),
    indir_catalogue_row({29, 16, 0x7184, 0, 2, 0, 0, 1}),
    indir_catalogue_row({30, 16, 0x7400, 2, 3, 0, 1, 1}),
    indir_catalogue_row({31, 16, 0x7404, 2, 4, 0, 2, 2}),
    indir_catalogue_row({32, 16, 0x7410, 2, 3, 0, 1, 1}),
    indir_catalogue_row({33, 16, 0x7414, 2, 3, 0, 1, 1}),
    indir_catalogue_row({34, 16, 0x1410, 2, 4, 0, 2, 2}),
    indir_catalogue_row({35, 16, 0x1416, 2, 4, 0, 2, 2}),
    indir_catalogue_row({36, 16, 0x1810, 2, 4, 0, 2, 2}),
    indir_catalogue_row({37, 16, 0x1816, 2, 4, 0, 2, 2}),
    indir_catalogue_row({38, 16, 0x1C10, 2, 4, 0, 2, 2}),
    indir_catalogue_row({39, 16, 0x1C16, 2, 4, 0, 2, 2}),
    indir_catalogue_row({40, 16, 0x6800, 2, 3, 0, 1, 1}),
    indir_catalogue_row({41, 16, 0x6804, 2, 3, 0, 1, 1}),
    indir_catalogue_row({42, 16, 0x6808, 2, 3, 0, 1, 1}),
    indir_catalogue_row({43, 16, 0x680C, 2, 3, 0, 1, 1}),
    indir_catalogue_row({44, 16, 0x6810, 0, 2, 0, 0, 1}),
    indir_catalogue_row({45, 16, 0x6814, 0, 2, 0, 0, 1}),
    indir_catalogue_row({46, 16, 0x6818, 0, 2, 0, 0, 1}),
    indir_catalogue_row({47, 16, 0x681C, 0, 2, 0, 0, 1}),
    indir_catalogue_row({48, 16, 0x6820, 3, 7, 0, 3, 3}),
    indir_catalogue_row({49, 16, 0x6830, 2, 4, 0, 2, 2}),
    indir_catalogue_row({50, 16, 0x6840, 3, 7, 0, 3, 3}),
    indir_catalogue_row({51, 16, 0x6850, 2, 4, 0, 2, 2}),
    indir_catalogue_row({52, 16, 0x6980, 0, 2, 0, 0, 1}),
    indir_catalogue_row({53, 16, 0x6984, 0, 2, 0, 0, 1}),
    indir_catalogue_row({54, 16, 0x6988, 0, 2, 0, 0, 1}),
    indir_catalogue_row({55, 16, 0x698C, 0, 2, 0, 0, 1}),
    indir_catalogue_row({56, 2, 0x8001, 2, 3, 0, 1, 1}),
    indir_catalogue_row({57, 2, 0x810, 2, 3, 0, 1, 1}),
    indir_catalogue_row({58, 2, 0x3003, 2, 0, 0, 1, 0}),
    indir_catalogue_row({59, 2, 0x3000, 2, 0, 0, 1, 0}),
};

namespace {

constexpr bool catalogue_is_consistent()
{
    for (uint32_t i = 0; i < kKespIndirRegCount; i++) {
        const IndirRegReq &r = g_KespIndirReg[i];
        bool filled = i < 60;
        if (filled && (r.id != i || r.command != (i < 56 ? 16u : 2u) || r.baseaddr == 0))
            return false;
        if (!filled && (r.id != 0 || r.command != 0 || r.baseaddr != 0 || r.mode != 0 || r.r2base != 0 ||
                        r.ret2base != 0 || r.wlen != 0 || r.rlen != 0))
            return false;
        if (r.cmd != 0 || r.data != nullptr)
            return false;
    }
    return true;
}
static_assert(catalogue_is_consistent(), "KESP indirect-register catalogue rows out of order");

// -1201 for a null buffer (not logged), -1202 for an id outside the catalogue.
PlovStatus kesp_indir_check(uint32_t id, const uint64_t *data)
{
    if (data == nullptr)
        return PLOV_ERR_NULL_PTR;
    if (id >= kKespIndirRegCount) {
        TRANS_LOG_ERR("indirect register id [%u] out of range\n", id);
        return PLOV_ERR_PARAM;
    }
    return PLOV_OK;
}

// The request for row `id`: its id and base address, the fixed command and
// the caller's data words; the lengths are the caller's to copy.
IndirRegReq kesp_indir_req(uint32_t id, uint64_t cmd, uint64_t *data)
{
    IndirRegReq req{};
    req.id = id;
    req.baseaddr = g_KespIndirReg[id].baseaddr;
    req.cmd = cmd;
    req.data = data;
    return req;
}

} // namespace

PlovStatus KespReadIndregByID(uint32_t id, uint64_t *data)
{
    PlovStatus ret = kesp_indir_check(id, data);
    if (ret != PLOV_OK)
        return ret;
    IndirRegReq req = kesp_indir_req(id, kKespIndirCmdRead, data);
    req.rlen = g_KespIndirReg[id].rlen;
    ret = KespLogicReadIndirReg(&req);
    if (ret != PLOV_OK)
        TRANS_LOG_ERR("call KespLogicReadIndirReg err, id [%u] ret [%d]\n", id, ret);
    return ret;
}

PlovStatus KespWriteIndregByID(uint32_t id, uint64_t *data)
{
    PlovStatus ret = kesp_indir_check(id, data);
    if (ret != PLOV_OK)
        return ret;
    IndirRegReq req = kesp_indir_req(id, kKespIndirCmdWrite, data);
    req.wlen = g_KespIndirReg[id].wlen;
    return KespLogicWriteIndirReg(&req);
}

PlovStatus KespClearCntIndregByID(uint32_t id, uint64_t *data)
{
    PlovStatus ret = kesp_indir_check(id, data);
    if (ret != PLOV_OK)
        return ret;
    const IndirRegReq &row = g_KespIndirReg[id];
    IndirRegReq req = kesp_indir_req(id, kKespIndirCmdClear, data);
    req.r2base = row.r2base;
    req.ret2base = row.ret2base;
    req.wlen = row.wlen;
    req.rlen = row.rlen;
    return KespLogicClearIndirReg(&req);
}

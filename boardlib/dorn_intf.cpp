#include "boardlib/dorn_intf.h"

#include <cstdlib>

#include "kelvo/kelvo.h"

namespace {

constexpr uint32_t C2 = DORN_INDIR_CMD_2;
constexpr uint32_t C10 = DORN_INDIR_CMD_10;

} // namespace

// Rows: id, command, base address, mode, r2base, ret2base, wlen, rlen.
const IndirRegReq g_IndirReg[DORN_INDIR_REG_ROWS] = {
    indir_catalogue_row({0, C2, 0x6160, 0, 2, 0, 1, 2}),     // AADRM_REG_SBD_PNT_RAM_CMD
    indir_catalogue_row({1, C2, 0x61D1, 0, 2, 0, 1, 1}),     // AADRM_REG_SBD_REL_CNT_RAM_CMD
    indir_catalogue_row({2, C10, 0x30, 0, 2, 0, 1, 1}),      // BASE_REG_TAB_ATTR_CMD
    indir_catalogue_row({3, C10, 0x3800, 0, 3, 0, 2, 1}),    // BUFC_REG_BUFC_ANTI_CMD
    indir_catalogue_row({4, C2, 0x39A0, 0, 3, 0, 1, 1}),     // BUFC_REG_BUFC_QUE_STAT_CMD
    indir_catalogue_row({5, C10, 0x5800, 0, 3, 0, 2, 2}),    // CARM_REG_CARM_CMD
    indir_catalogue_row({6, C2, 0xC00, 0, 6, 0, 5, 4}),      // DDR3A_CTRL_REG_DDR3_CMD
    indir_catalogue_row({7, C2, 0xC10, 0, 3, 0, 2, 1}),      // DDR3A_CTRL_REG_DDR3_CBUS_CMD
    indir_catalogue_row({8, C2, 0x1000, 0, 6, 0, 5, 4}),     // DDR3B_CTRL_REG_DDR3_CMD
    indir_catalogue_row({9, C2, 0x1010, 0, 3, 0, 2, 1}),     // DDR3B_CTRL_REG_DDR3_CBUS_CMD
    indir_catalogue_row({10, C10, 0x5400, 0, 7, 0, 6, 1}),   // FIBM_REG_FIBM_CFG_CMD
    indir_catalogue_row({11, C2, 0x1413, 0, 3, 0, 2, 1}),    // PIF_REG_AXI_CFG_CMD
    indir_catalogue_row({12, C2, 0x1418, 0, 3, 0, 2, 1}),    // PIF_REG_DRP_CFG_CMD
    indir_catalogue_row({13, C2, 0x1580, 0, 2, 0, 1, 1}),    // PIF_REG_CNTM_CMD
    indir_catalogue_row({14, C2, 0x800, 0, 5, 0, 4, 3}),     // QDR2_REG_QDR2A_CMD
    indir_catalogue_row({15, C2, 0x810, 0, 3, 0, 2, 1}),     // QDR2_REG_QDR2A_CBUS_CMD
    indir_catalogue_row({16, C2, 0x3C00, 0, 6, 0, 4, 3}),    // RLDRAM_REG_RLD_CMD
    indir_catalogue_row({17, C10, 0x1801, 0, 3, 0, 2, 1}),   // RXM_REG_RXM_CAR_CFG_CMD
    indir_catalogue_row({18, C10, 0x180D, 0, 3, 0, 2, 1}),   // RXM_REG_RXM_LOGICID_CFG_CMD
    indir_catalogue_row({19, C10, 0x1811, 0, 3, 0, 2, 1}),   // RXM_REG_RXM_VRFGID_CFG_CMD
    indir_catalogue_row({20, C2, 0x1980, 0, 2, 0, 1, 1}),    // RXM_REG_CNTM_CMD
    indir_catalogue_row({21, C10, 0x3018, 0, 3, 0, 2, 1}),   // RXQM_REG_RXQM_QUE_CFG_CMD
    indir_catalogue_row({22, C10, 0x3030, 0, 3, 0, 2, 1}),   // RXQM_REG_CFG_PROCESSID_CMD
    indir_catalogue_row({23, C10, 0x3050, 0, 4, 0, 2, 1}),   // RXQM_REG_RXQM_WPTR_CFG_CMD
    indir_catalogue_row({24, C2, 0x31F0, 0, 2, 0, 1, 1}),    // RXQM_REG_RXM_QUE_STAT_CMD
    indir_catalogue_row({25, C10, 0x2800, 0, 14, 0, 13, 8}), // TABLEM_REG_TABM_CFG_CMD
    indir_catalogue_row({26, C10, 0x2980, 0, 2, 0, 1, 1}),   // TABLEM_REG_VLANID_DROP_CNT_CMD
    indir_catalogue_row({27, C10, 0x5C00, 0, 12, 0, 3, 2}),  // TRM_REG_TRM_TCAM_CFG_CMD
    indir_catalogue_row({28, C10, 0x1C00, 0, 3, 0, 2, 1}),   // TXM_REG_THREAD_MATCH_CMD
    indir_catalogue_row({29, C2, 0x3400, 0, 3, 0, 2, 1}),    // TXQM_REG_TXQM_QWORK_CFG_CMD
    indir_catalogue_row({30, C2, 0x3404, 0, 3, 0, 2, 1}),    // TXQM_REG_TXQM_QGPWORK_CFG_CMD
    indir_catalogue_row({31, C2, 0x3408, 0, 3, 0, 2, 1}),    // TXQM_REG_TXQM_WRR_CFG_CMD
    indir_catalogue_row({32, C2, 0x340C, 0, 2, 0, 1, 1}),    // TXQM_REG_TXQM_WPTR_OP_CMD
    indir_catalogue_row({33, C2, 0x3410, 0, 2, 0, 1, 1}),    // TXQM_REG_TXQM_SCH_RPTR_OP_CMD
    indir_catalogue_row({34, C2, 0x3414, 0, 2, 0, 1, 1}),    // TXQM_REG_TXQM_REF_RPTR_OP_CMD
    indir_catalogue_row({35, C2, 0x3418, 0, 8, 0, 3, 2}),    // TXQM_REG_TXQM_QBASEADDR_CFG_CMD
    indir_catalogue_row({36, C2, 0x3426, 0, 3, 0, 2, 1}),    // TXQM_REG_TXQM_PTRBASEADDR_CFG_CMD
    indir_catalogue_row({37, C2, 0x3580, 0, 2, 0, 1, 1}),    // TXQM_REG_TXQM_REQCNT_CMD
    indir_catalogue_row({38, C2, 0x3586, 0, 2, 0, 1, 1}),    // TXQM_REG_TXQM_RTNCNT_CMD
    indir_catalogue_row({39, C2, 0x358C, 0, 2, 0, 1, 1}),    // TXQM_REG_TXQM_OUTCNT_CMD
    indir_catalogue_row({40, C2, 0x358F, 0, 2, 0, 1, 1}),    // TXQM_REG_TXQM_OUTADDRM_CMD
    indir_catalogue_row({41, C2, 0x2010, 0, 4, 0, 3, 2}),    // PCIE_X4_REG_PCIE_CFG_CMD
    indir_catalogue_row({42, C2, 0x2016, 0, 3, 0, 2, 1}),    // PCIE_X4_REG_PCIE_GTX_DRP_CMD
    indir_catalogue_row({43, C2, 0x2140, 0, 2, 0, 1, 1}),    // PCIE_X4_REG_PCIE_TRN_FC_CMD
    indir_catalogue_row({44, C2, 0x2410, 0, 3, 0, 2, 1}),    // PCIE_X8_REG_PCIE_CFG_CMD
    indir_catalogue_row({45, C2, 0x2416, 0, 3, 0, 2, 1}),    // PCIE_X8_REG_PCIE_GTX_DRP_CMD
    indir_catalogue_row({46, C2, 0x2540, 0, 2, 0, 1, 1}),    // PCIE_X8_REG_PCIE_TRN_FC_CMD
    indir_catalogue_row({47, C2, 0x4C0A, 0, 3, 0, 2, 1}),    // DL_REG_DL_AXI_CFG_CMD
    indir_catalogue_row({48, C2, 0x4C0F, 0, 3, 0, 2, 1}),    // DL_REG_DL_DRP_CFG_CMD
    indir_catalogue_row({49, C2, 0x4D80, 0, 2, 0, 1, 1}),    // DL_REG_CNTM_CMD
    indir_catalogue_row({50, C2, 0x7C04, 0, 3, 0, 2, 1}),
};

PlovStatus DornIndirBuild(uint32_t id, bool write, IndirRegReq *req)
{
    if (req == nullptr)
        return PLOV_ERR_NULL_PTR;
    if (id >= DORN_INDIR_REG_USED)
        return PLOV_ERR_RANGE;
    const IndirRegReq &r = g_IndirReg[id];
    *req = IndirRegReq{};
    req->id = r.id;
    req->baseaddr = r.baseaddr;
    req->r2base = r.r2base;
    req->ret2base = r.ret2base;
    req->wlen = r.wlen;
    req->rlen = r.rlen;
    req->cmd = write ? (r.command | 1u) : r.command;
    size_t bytes = (static_cast<size_t>(r.wlen) + r.rlen) * sizeof(uint64_t);
    req->data = static_cast<uint64_t *>(std::malloc(bytes));
    if (req->data == nullptr)
        return PLOV_ERR_NO_MEM;
    KelvoErr err = memset_s(req->data, bytes, 0, bytes);
    if (err != KelvoOk)
        TRANS_LOG_ERR("memset_s failed %d, dest_str %p(%lu), cnt(%lu)\n", err, static_cast<void *>(req->data),
                      static_cast<unsigned long>(bytes), static_cast<unsigned long>(bytes));
    return PLOV_OK;
}

void DornIndirRelease(IndirRegReq *req)
{
    if (req == nullptr)
        return;
    std::free(req->data);
    req->data = nullptr;
}

PlovStatus DornReadIndirById(FpgaId fpga, uint32_t id, uint64_t key, uint64_t *value)
{
    if (value == nullptr)
        return PLOV_ERR_NULL_PTR;
    IndirRegReq req;
    PlovStatus ret = DornIndirBuild(id, false, &req);
    if (ret != PLOV_OK)
        return ret;
    req.data[0] = key;
    ret = DornLogicReadIndirReg(fpga, &req);
    if (ret == PLOV_OK)
        *value = req.data[req.wlen];
    DornIndirRelease(&req);
    return ret;
}

PlovStatus DornWriteIndirById(FpgaId fpga, uint32_t id, uint64_t key, const uint64_t *values, size_t count)
{
    if (values == nullptr && count != 0)
        return PLOV_ERR_NULL_PTR;
    IndirRegReq req;
    PlovStatus ret = DornIndirBuild(id, true, &req);
    if (ret != PLOV_OK)
        return ret;
    if (count > static_cast<size_t>(req.wlen) - 1) {
        DornIndirRelease(&req);
        return PLOV_ERR_RANGE;
    }
    req.data[0] = key;
    for (size_t i = 0; i < count; i++)
        req.data[1 + i] = values[i];
    ret = DornLogicWriteIndirReg(fpga, &req);
    DornIndirRelease(&req);
    return ret;
}

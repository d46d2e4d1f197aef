#include "boardlib/dorn_intf.h"

#include <cstdlib>

#include "kelvo/kelvo.h"

namespace {

// One filled row: id, command, base address, r2base, wlen, rlen
// (ret2base, the command word, the mode word and the data are 0 in all rows).
constexpr IndirRegReq row(uint32_t id, uint64_t base, uint32_t command, uint16_t r2base, uint16_t wlen, uint16_t rlen)
{
    IndirRegReq r{};
    r.id = id;
    r.command = command;
    r.baseaddr = base;
    r.r2base = r2base;
    r.wlen = wlen;
    r.rlen = rlen;
    return r;
}

constexpr uint32_t C2 = DORN_INDIR_CMD_2;
constexpr uint32_t C10 = DORN_INDIR_CMD_10;

} // namespace

const IndirRegReq g_IndirReg[DORN_INDIR_REG_ROWS] = {
    row(0, 0x6160, C2, 2, 1, 2),     // AADRM_REG_SBD_PNT_RAM_CMD
    row(1, 0x61D1, C2, 2, 1, 1),     // AADRM_REG_SBD_REL_CNT_RAM_CMD
    row(2, 0x30, C10, 2, 1, 1),      // BASE_REG_TAB_ATTR_CMD
    row(3, 0x3800, C10, 3, 2, 1),    // BUFC_REG_BUFC_ANTI_CMD
    row(4, 0x39A0, C2, 3, 1, 1),     // BUFC_REG_BUFC_QUE_STAT_CMD
    row(5, 0x5800, C10, 3, 2, 2),    // CARM_REG_CARM_CMD
    row(6, 0xC00, C2, 6, 5, 4),      // DDR3A_CTRL_REG_DDR3_CMD
    row(7, 0xC10, C2, 3, 2, 1),      // DDR3A_CTRL_REG_DDR3_CBUS_CMD
    row(8, 0x1000, C2, 6, 5, 4),     // DDR3B_CTRL_REG_DDR3_CMD
    row(9, 0x1010, C2, 3, 2, 1),     // DDR3B_CTRL_REG_DDR3_CBUS_CMD
    row(10, 0x5400, C10, 7, 6, 1),   // FIBM_REG_FIBM_CFG_CMD
    row(11, 0x1413, C2, 3, 2, 1),    // PIF_REG_AXI_CFG_CMD
    row(12, 0x1418, C2, 3, 2, 1),    // PIF_REG_DRP_CFG_CMD
    row(13, 0x1580, C2, 2, 1, 1),    // PIF_REG_CNTM_CMD
    row(14, 0x800, C2, 5, 4, 3),     // QDR2_REG_QDR2A_CMD
    row(15, 0x810, C2, 3, 2, 1),     // QDR2_REG_QDR2A_CBUS_CMD
    row(16, 0x3C00, C2, 6, 4, 3),    // RLDRAM_REG_RLD_CMD
    row(17, 0x1801, C10, 3, 2, 1),   // RXM_REG_RXM_CAR_CFG_CMD
    row(18, 0x180D, C10, 3, 2, 1),   // RXM_REG_RXM_LOGICID_CFG_CMD
    row(19, 0x1811, C10, 3, 2, 1),   // RXM_REG_RXM_VRFGID_CFG_CMD
    row(20, 0x1980, C2, 2, 1, 1),    // RXM_REG_CNTM_CMD
    row(21, 0x3018, C10, 3, 2, 1),   // RXQM_REG_RXQM_QUE_CFG_CMD
    row(22, 0x3030, C10, 3, 2, 1),   // RXQM_REG_CFG_PROCESSID_CMD
    row(23, 0x3050, C10, 4, 2, 1),   // RXQM_REG_RXQM_WPTR_CFG_CMD
    row(24, 0x31F0, C2, 2, 1, 1),    // RXQM_REG_RXM_QUE_STAT_CMD
    row(25, 0x2800, C10, 14, 13, 8), // TABLEM_REG_TABM_CFG_CMD
    row(26, 0x2980, C10, 2, 1, 1),   // TABLEM_REG_VLANID_DROP_CNT_CMD
    row(27, 0x5C00, C10, 12, 3, 2),  // TRM_REG_TRM_TCAM_CFG_CMD
    row(28, 0x1C00, C10, 3, 2, 1),   // TXM_REG_THREAD_MATCH_CMD
    row(29, 0x3400, C2, 3, 2, 1),    // TXQM_REG_TXQM_QWORK_CFG_CMD
    row(30, 0x3404, C2, 3, 2, 1),    // TXQM_REG_TXQM_QGPWORK_CFG_CMD
    row(31, 0x3408, C2, 3, 2, 1),    // TXQM_REG_TXQM_WRR_CFG_CMD
    row(32, 0x340C, C2, 2, 1, 1),    // TXQM_REG_TXQM_WPTR_OP_CMD
    row(33, 0x3410, C2, 2, 1, 1),    // TXQM_REG_TXQM_SCH_RPTR_OP_CMD
    row(34, 0x3414, C2, 2, 1, 1),    // TXQM_REG_TXQM_REF_RPTR_OP_CMD
    row(35, 0x3418, C2, 8, 3, 2),    // TXQM_REG_TXQM_QBASEADDR_CFG_CMD
    row(36, 0x3426, C2, 3, 2, 1),    // TXQM_REG_TXQM_PTRBASEADDR_CFG_CMD
    row(37, 0x3580, C2, 2, 1, 1),    // TXQM_REG_TXQM_REQCNT_CMD
    row(38, 0x3586, C2, 2, 1, 1),    // TXQM_REG_TXQM_RTNCNT_CMD
    row(39, 0x358C, C2, 2, 1, 1),    // TXQM_REG_TXQM_OUTCNT_CMD
    row(40, 0x358F, C2, 2, 1, 1),    // TXQM_REG_TXQM_OUTADDRM_CMD
    row(41, 0x2010, C2, 4, 3, 2),    // PCIE_X4_REG_PCIE_CFG_CMD
    row(42, 0x2016, C2, 3, 2, 1),    // PCIE_X4_REG_PCIE_GTX_DRP_CMD
    row(43, 0x2140, C2, 2, 1, 1),    // PCIE_X4_REG_PCIE_TRN_FC_CMD
    row(44, 0x2410, C2, 3, 2, 1),    // PCIE_X8_REG_PCIE_CFG_CMD
    row(45, 0x2416, C2, 3, 2, 1),    // PCIE_X8_REG_PCIE_GTX_DRP_CMD
    row(46, 0x2540, C2, 2, 1, 1),    // PCIE_X8_REG_PCIE_TRN_FC_CMD
    row(47, 0x4C0A, C2, 3, 2, 1),    // DL_REG_DL_AXI_CFG_CMD
    row(48, 0x4C0F, C2, 3, 2, 1),    // DL_REG_DL_DRP_CFG_CMD
    row(49, 0x4D80, C2, 2, 1, 1),    // DL_REG_CNTM_CMD
    row(50, 0x7C04, C2, 3, 2, 1),
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

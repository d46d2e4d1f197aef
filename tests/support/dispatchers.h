// The command table's dispatchers and the block each walks: the eight top
// blocks (the command line's and the verbs') first, then the sub-blocks.
// Tests and fuzz targets that walk the table by command path use it.
#ifndef QUORBIX_TESTS_SUPPORT_DISPATCHERS_H
#define QUORBIX_TESTS_SUPPORT_DISPATCHERS_H

#include <cstddef>

#include "tool/trans_op.h"

struct DispatcherBlock {
    TransOpHandler handler;
    TransOpBlockId block;
};

inline constexpr DispatcherBlock kDispatcherBlocks[] = {
    {op_read, kBlkRead}, {op_write, kBlkWrite}, {op_dump, kBlkDump}, {op_set, kBlkSet},
    {op_mfc, kBlkMfc}, {op_test, kBlkTest}, {op_load, kBlkLoad}, {op_clear, kBlkClear},
    {op_m_trans, kBlkMTrans}, {op_l_trans, kBlkLTrans}, {op_c_trans, kBlkCTrans}, {op_m_sbuf, kBlkMSbuf},
    {op_l_sbuf, kBlkLSbuf}, {op_c_sbuf, kBlkCSbuf}, {op_m_sfp, kBlkMSfp}, {op_s_tcam, kBlkSTcam},
    {op_s_fpga, kBlkSFpga}, {op_m_fpga, kBlkMFpga}, {op_s_port, kBlkSPort}, {op_m_port, kBlkMPort},
    {op_c_port, kBlkCPort}, {op_s_queue, kBlkSQueue}, {op_m_queue, kBlkMQueue}, {op_s_bufc, kBlkSBufc},
    {op_s_secm, kBlkSSecm}, {op_s_transmit, kBlkSTransmit}, {op_s_fpga0, kBlkSFpga0}, {op_t_fpga0, kBlkTFpga0},
    {op_t_trans, kBlkTTrans}, {op_t_sbuf, kBlkTSbuf}, {op_l_media, kBlkLMedia}, {op_w_media, kBlkWMedia},
    {op_t_media, kBlkTMedia}, {op_d_fpga, kBlkDFpga}, {op_t_acc, kBlkTAcc}, {op_l_acc, kBlkLAcc},
    {op_l_ruga_bt, kBlkLRugaBt}, {op_l_ruga_ap, kBlkLRugaAp}, {op_l_ruga, kBlkLRuga},
};

// How many of the rows above are top blocks.
inline constexpr std::size_t kTopDispatchers = 8;

// The block a row's handler dispatches over, or null for a plain handler.
inline const TransOpBlock *dispatched_block(TransOpHandler handler)
{
    for (const DispatcherBlock &d : kDispatcherBlocks)
        if (d.handler == handler)
            return &g_TransOpTab[d.block];
    return nullptr;
}

#endif

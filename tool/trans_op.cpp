#include "tool/trans_op.h"

#include <cctype>
#include <cstdio>
#include <cstring>

int get_target_name(const char *text, char *word)
{
    if (text == nullptr || word == nullptr)
        return kTargetNameNull;
    size_t pos = 0;
    while (text[pos] != '\0' && std::isspace(static_cast<unsigned char>(text[pos])))
        pos++;
    size_t len = 0;
    for (; text[pos] != '\0' && text[pos] != '/'; pos++) {
        if (len == kTargetWordSize - 1)
            return kTargetNameTooLong;
        word[len++] = text[pos];
    }
    word[len] = '\0';
    if (text[pos] == '/')
        pos++;
    return static_cast<int>(pos);
}

const TransOpEntry *get_match_op(const TransOpEntry *rows, int count, const char *word)
{
    if (rows == nullptr || word == nullptr || count < 1 || rows[0].target == nullptr)
        return nullptr;
    for (int i = 0; i < count && rows[i].target != nullptr; i++) {
        if (std::strcmp(rows[i].target, word) == 0)
            return rows[i].handler != nullptr ? &rows[i] : nullptr;
    }
    return nullptr;
}

TransOpStatus trans_op_dispatch(const TransOpBlock &block, const char *text)
{
    char word[kTargetWordSize] = {};
    int n = get_target_name(text, word);
    if (n < 1) {
        std::puts("Cannot get operate target name");
        return kTransOpNoTarget;
    }
    const TransOpEntry *row = get_match_op(block.rows, static_cast<int>(kTransOpRows), word);
    if (row == nullptr) {
        std::printf("Target \"%s\" is not supported\n", word);
        return kTransOpNotSupported;
    }
    return row->handler(text + n);
}

TransOpStatus trans_op_help(const TransOpBlock &block, const char *text)
{
    char word[kTargetWordSize] = {};
    bool all = get_target_name(text, word) < 1;
    if (all)
        std::puts("available target commands are : ");
    for (const TransOpEntry &row : block.rows) {
        if (row.target == nullptr)
            break;
        if (all) {
            if (row.help != nullptr)
                std::printf("\t%s :%s\n", row.target, row.help);
            else
                std::printf("\t%s \n", row.target);
        } else if (std::strcmp(row.target, word) == 0) {
            if (row.help != nullptr)
                std::printf("\t%s : %s\n", row.target, row.help);
            else
                std::printf("\t%s has no help message\n", row.target);
        }
    }
    return 0;
}

// Each dispatcher and help printer is the shared body over its own block.
#define QX_DISPATCHER(name, block) \
    TransOpStatus name(const char *params) { return trans_op_dispatch(g_TransOpTab[block], params); }
#define QX_HELP_PRINTER(name, block) \
    TransOpStatus name(const char *params) { return trans_op_help(g_TransOpTab[block], params); }

QX_DISPATCHER(op_read, kBlkRead)
QX_DISPATCHER(op_write, kBlkWrite)
QX_DISPATCHER(op_dump, kBlkDump)
QX_DISPATCHER(op_set, kBlkSet)
QX_DISPATCHER(op_mfc, kBlkMfc)
QX_DISPATCHER(op_test, kBlkTest)
QX_DISPATCHER(op_load, kBlkLoad)
QX_DISPATCHER(op_clear, kBlkClear)
QX_DISPATCHER(op_m_trans, kBlkMTrans)
QX_DISPATCHER(op_l_trans, kBlkLTrans)
QX_DISPATCHER(op_c_trans, kBlkCTrans)
QX_DISPATCHER(op_m_sbuf, kBlkMSbuf)
QX_DISPATCHER(op_l_sbuf, kBlkLSbuf)
QX_DISPATCHER(op_c_sbuf, kBlkCSbuf)
QX_DISPATCHER(op_m_sfp, kBlkMSfp)
QX_DISPATCHER(op_s_tcam, kBlkSTcam)
QX_DISPATCHER(op_s_fpga, kBlkSFpga)
QX_DISPATCHER(op_m_fpga, kBlkMFpga)
QX_DISPATCHER(op_s_port, kBlkSPort)
QX_DISPATCHER(op_m_port, kBlkMPort)
QX_DISPATCHER(op_c_port, kBlkCPort)
QX_DISPATCHER(op_s_queue, kBlkSQueue)
QX_DISPATCHER(op_m_queue, kBlkMQueue)
QX_DISPATCHER(op_s_bufc, kBlkSBufc)
QX_DISPATCHER(op_s_secm, kBlkSSecm)
QX_DISPATCHER(op_s_transmit, kBlkSTransmit)
QX_DISPATCHER(op_s_fpga0, kBlkSFpga0)
QX_DISPATCHER(op_t_fpga0, kBlkTFpga0)
QX_DISPATCHER(op_t_trans, kBlkTTrans)
QX_DISPATCHER(op_t_sbuf, kBlkTSbuf)
QX_DISPATCHER(op_l_media, kBlkLMedia)
QX_DISPATCHER(op_w_media, kBlkWMedia)
QX_DISPATCHER(op_t_media, kBlkTMedia)
QX_DISPATCHER(op_d_fpga, kBlkDFpga)
QX_DISPATCHER(op_t_acc, kBlkTAcc)
QX_DISPATCHER(op_l_acc, kBlkLAcc)
QX_DISPATCHER(op_l_ruga_bt, kBlkLRugaBt)
QX_DISPATCHER(op_l_ruga_ap, kBlkLRugaAp)
QX_DISPATCHER(op_l_ruga, kBlkLRuga)

QX_HELP_PRINTER(help_read, kBlkRead)
QX_HELP_PRINTER(help_write, kBlkWrite)
QX_HELP_PRINTER(help_dump, kBlkDump)
QX_HELP_PRINTER(help_set, kBlkSet)
QX_HELP_PRINTER(help_test, kBlkTest)
QX_HELP_PRINTER(help_load, kBlkLoad)
QX_HELP_PRINTER(help_clear, kBlkClear)
QX_HELP_PRINTER(help_r_media, kBlkRMedia)
QX_HELP_PRINTER(help_w_media, kBlkWMedia)
QX_HELP_PRINTER(help_t_media, kBlkTMedia)
QX_HELP_PRINTER(help_m_media, kBlkMMedia)
QX_HELP_PRINTER(help_t_acc, kBlkTAcc)

// The command table: 46 blocks of up to 64 rows {target word, help text,
// handler}.
#include "tool/compress/compress.h"
#include "tool/ddr/ddr_cmd.h"
#include "tool/ddr/i2c_agent.h"
#include "tool/disk/disk_mfc.h"
#include "tool/ddr/log_collect.h"
#include "tool/ddr/rtc.h"
#include "tool/norvik/norvik.h"
#include "tool/tavk/pci_inspect.h"
#include "tool/tavk/pci_reg.h"
#include "tool/tavk/pcie_check.h"
#include "tool/media/dsp.h"
#include "tool/media/dspmail.h"
#include "tool/media/media.h"
#include "tool/tavk/tavk.h"
#include "tool/trans_op.h"
#include "tool/trans_op_help.h"
#include "tool/trans/bufc_secm.h"
#include "tool/trans/fpga_set.h"
#include "tool/trans/fpga_test.h"
#include "tool/trans/indreg_dump.h"
#include "tool/trans/logic_file.h"
#include "tool/trans/mem_access.h"
#include "tool/trans/mem_cfg.h"
#include "tool/trans/nic.h"
#include "tool/trans/port.h"
#include "tool/trans/queue.h"
#include "tool/trans/sfp.h"
#include "tool/trans/table_test.h"
#include "tool/trans/transmit.h"
#include "tool/ruga/ruga_cmd.h"

// A row pair for the lower- and upper-case form of a target letter.
#define QX_PAIR(lower, upper, handler) {lower, nullptr, handler}, {upper, nullptr, handler}

extern constexpr TransOpBlock g_TransOpTab[kTransOpBlocks] = {
    {kBlkRead, "read", {
        {"mchbar", "", mchbar_read},
    }},
    {kBlkWrite, "write", {
        {"help", kHelpHelp, help_write},
        {"pci", kHelpWritePci, pci_write},
        {"indreg", kHelpWriteIndreg, indreg_write},
        {"dreg", kHelpWriteDreg, dreg_write},
        {"mem", kHelpWriteMem, mem_write},
        {"media", kHelpWriteMedia, op_w_media},
        {"i2c", kHelpWriteI2c, I2C_AgentWriteOpt},
    }},
    {kBlkDump, "dump", {
        {"help", kHelpHelp, help_dump},
        {"pci", kHelpDumpPci, pci_dump},
        {"log", nullptr, log_d_collection},
        {"trans", nullptr, trans_logic_indreg_dump},
        {"sbuf", nullptr, sbuf_logic_indreg_dump},
        {"fpga", nullptr, op_d_fpga},
        {"i2c", nullptr, I2C_AgentDumpOpt},
    }},
    {kBlkSet, "Set", {
        {"help", kHelpHelp, help_set},
        {"fpga", kHelpSetFpga, op_s_fpga},
        {"bufc", kHelpSetBufc, op_s_bufc},
        {"pci", kHelpSetPci, pci_stat},
        {"port", kHelpSetPort, op_s_port},
        {"queue", kHelpSetQueue, op_s_queue},
        {"secm", kHelpSetSecm, op_s_secm},
        {"tcam", kHelpSetTcam, op_s_tcam},
        {"transmit", kHelpSetTransmit, op_s_transmit},
        {"fpga0", kHelpSetFpga0, op_s_fpga0},
    }},
    {kBlkMfc, "mfc", {
        {"port", kHelpMfcPort, op_m_port},
        {"queue", kHelpMfcQueue, op_m_queue},
        {"sfp", nullptr, op_m_sfp},
        {"crypto", nullptr, crypto_query},
        {"fpga", kHelpMfcFpga, op_m_fpga},
        {"trans", kHelpMfcTrans, op_m_trans},
        {"sbuf", kHelpMfcSbuf, op_m_sbuf},
        {"disks", nullptr, disk_mfc},
        {"disk_phy", nullptr, disk_phy},
        {"pxe", nullptr, pxe_check_enable},
        {"mch", nullptr, mch_check_intf},
        {"pcie", nullptr, pcie_check_intf},
    }},
    {kBlkTest, "test", {
        {"help", kHelpHelp, help_test},
        {"pci", kHelpTestPci, pci_test},
        {"crypto", nullptr, crypto_test},
        {"fpga0", kHelpTestFpga0, op_t_fpga0},
        {"trans", nullptr, op_t_trans},
        {"sbuf", nullptr, op_t_sbuf},
        {"tcam", nullptr, get_tcam_device_test_result},
        {"media", kHelpTestMedia, op_t_media},
        {"i2c", nullptr, I2C_AgentTestRepeatOpt},
        {"nic", nullptr, nic_test},
        {"acc", nullptr, op_t_acc},
    }},
    {kBlkLoad, "load", {
        {"help", kHelpHelp, help_load},
        {"trans", kHelpLoadTrans, op_l_trans},
        {"sbuf", kHelpLoadSbuf, op_l_sbuf},
        {"media", kHelpLoadMedia, op_l_media},
        {"acc", kHelpLoadAcc, op_l_acc},
        {"ruga_bt", kHelpLoadRugaBt, op_l_ruga_bt},
        {"ruga_ap", kHelpLoadRugaAp, op_l_ruga_ap},
        {"ruga", nullptr, op_l_ruga},
    }},
    {kBlkClear, "clear", {
        {"help", kHelpHelp, help_clear},
        {"port", kHelpClearPort, op_c_port},
        {"trans", kHelpClearTrans, op_c_trans},
        {"sbuf", kHelpClearSbuf, op_c_sbuf},
        {"indreg", kHelpClearIndreg, indreg_clear},
        {"disk", nullptr, disk_c_check},
        {"log", nullptr, log_c_collection},
    }},
    {kBlkMTrans, "m_trans", {
        QX_PAIR("v", "V", get_trans_logic_version),
    }},
    {kBlkLTrans, "l_trans", {
        QX_PAIR("f", "F", load_trans_logic_file),
        QX_PAIR("n", "N", load_trans_logic_now),
    }},
    {kBlkCTrans, "c_trans", {
        QX_PAIR("f", "F", clear_trans_logic_file),
    }},
    {kBlkMSbuf, "m_sbuf", {
        QX_PAIR("v", "V", get_sbuf_logic_version),
    }},
    {kBlkLSbuf, "l_sbuf", {
        QX_PAIR("f", "F", load_sbuf_logic_file),
        QX_PAIR("n", "N", load_sbuf_logic_now),
    }},
    {kBlkCSbuf, "c_sbuf", {
        QX_PAIR("f", "F", clear_sbuf_logic_file),
    }},
    {kBlkMSfp, "m_sfp", {
        QX_PAIR("h", "H", get_sfp_hs_status),
        QX_PAIR("i", "I", get_sfp_info),
        QX_PAIR("r", "R", get_sfp_data),
        QX_PAIR("s", "S", get_sfp_status),
        QX_PAIR("t", "T", get_sfp_reg),
        QX_PAIR("w", "W", set_sfp_reg),
    }},
    {kBlkSTcam, "s_tcam", {
        QX_PAIR("i", "I", init_tcam_record),
        QX_PAIR("t", "T", test_tcam_record),
        QX_PAIR("k", "K", test_table_func),
    }},
    {kBlkMTable, "m_table", {
        QX_PAIR("i", "I", get_table_info_byid),
        QX_PAIR("n", "N", get_table_num),
        QX_PAIR("d", "D", del_table),
    }},
    {kBlkSFpga, "s_fpga", {
        QX_PAIR("e", "E", fpga_set_enable),
        QX_PAIR("h", "H", fpga_set_hash_seed),
        QX_PAIR("m", "M", fpga_set_mode),
        QX_PAIR("p", "P", fpga_set_cpu_present),
        QX_PAIR("t", "T", fpga_set_irq_interval),
        QX_PAIR("l", "L", fpga_set_port_map),
        QX_PAIR("r", "R", fpga_set_load_reboot),
        QX_PAIR("d", "D", dorn_set_mem_cfg),
        QX_PAIR("u", "U", fpga_set_trunk),
        QX_PAIR("k", "K", fpga_set_queue_switch),
        QX_PAIR("c", "C", fpga_set_hrtimer_affinity),
        QX_PAIR("w", "W", fpga_set_vrf_switch),
        QX_PAIR("z", "Z", fpga_set_checksum_switch),
    }},
    {kBlkMFpga, "m_fpga", {
        QX_PAIR("a", "A", fpga_get_user_viraddr),
        QX_PAIR("b", "B", dorn_get_swbuf_base),
        QX_PAIR("c", "C", fpga_get_hrtimer_affinity),
        QX_PAIR("d", "D", port_get_car_drop_stat),
        QX_PAIR("e", "E", fpga_get_enable_state),
        QX_PAIR("f", "F", dorn_get_freeblockofhwbuf),
        QX_PAIR("g", "G", trans_get_mem_range),
        QX_PAIR("h", "H", fpga_get_hash_seed),
        QX_PAIR("i", "I", dorn_get_drv_info),
        QX_PAIR("k", "K", fpga_get_queue_switch),
        QX_PAIR("l", "L", fpga_get_port_map),
        QX_PAIR("m", "M", fpga_get_mode),
        QX_PAIR("n", "N", dorn_check_mem_cfg),
        QX_PAIR("p", "P", fpga_get_cpu_present),
        QX_PAIR("r", "R", fpga_get_load_reboot),
        QX_PAIR("s", "S", fpga_get_user_shmem_info),
        QX_PAIR("t", "T", fpga_get_irq_interval),
        QX_PAIR("u", "U", fpga_get_trunk),
        QX_PAIR("v", "V", trans_get_drv_ver),
        QX_PAIR("w", "W", fpga_get_vrf_switch),
        QX_PAIR("z", "Z", fpga_get_checksum_switch),
    }},
    {kBlkSPort, "s_port", {
        QX_PAIR("b", "B", port_set_mtu),
        QX_PAIR("c", "C", port_set_car),
        QX_PAIR("d", "D", port_set_phy_down),
        QX_PAIR("e", "E", port_set_pause_switch),
        QX_PAIR("f", "F", port_set_flowctrl),
        QX_PAIR("g", "G", port_set_gtx_prbs),
        QX_PAIR("l", "L", port_set_loopmode),
        QX_PAIR("m", "M", port_set_mac),
        QX_PAIR("p", "P", port_set_phy),
        QX_PAIR("r", "R", port_set_reset),
        QX_PAIR("s", "S", port_set_switch),
        QX_PAIR("t", "T", port_set_car_fresh_time),
        QX_PAIR("v", "V", port_set_dpause_wlevel),
        QX_PAIR("w", "W", port_set_workmode),
    }},
    {kBlkMPort, "m_port", {
        QX_PAIR("b", "B", port_get_mtu),
        QX_PAIR("c", "C", port_get_car),
        QX_PAIR("d", "D", port_get_dpause_wlevel),
        QX_PAIR("e", "E", port_get_pause_switch),
        QX_PAIR("f", "F", port_get_flowctrl),
        QX_PAIR("h", "H", port_get_phy),
        QX_PAIR("k", "K", port_get_link_status),
        QX_PAIR("l", "L", port_get_loopmode),
        QX_PAIR("m", "M", port_get_mac),
        QX_PAIR("p", "P", port_get_stat),
        QX_PAIR("r", "r", port_get_mac_stat),  // two lower-case rows: "R" is not accepted
        QX_PAIR("s", "S", port_get_switch),
        QX_PAIR("t", "T", port_get_car_fresh_time),
        QX_PAIR("v", "V", port_get_vlan_stat),
        QX_PAIR("w", "W", port_get_workmode),
    }},
    {kBlkCPort, "c_port", {
        QX_PAIR("g", "G", port_clear_gtx_prbs),
        QX_PAIR("p", "P", port_clear_stat),
        QX_PAIR("q", "Q", queue_clear_stat),
        QX_PAIR("r", "r", port_clear_mac_stat),  // two lower-case rows: "R" is not accepted
        QX_PAIR("s", "S", secm_clear_stat),
        QX_PAIR("x", "X", secm_clear_stat_ipv6),
        QX_PAIR("v", "V", port_clear_vlan_stat),
    }},
    {kBlkSQueue, "s_queue", {
        QX_PAIR("h", "H", queue_set_hash_rule),
        QX_PAIR("o", "O", queue_set_data_offset),
        QX_PAIR("p", "P", queue_set_txprocess_Match),
        QX_PAIR("r", "R", queue_set_rptr_renew_interval),
        QX_PAIR("w", "W", queue_set_water_level),
    }},
    {kBlkMQueue, "m_queue", {
        QX_PAIR("a", "A", queue_get_attr),
        QX_PAIR("h", "H", queue_get_hash_rule),
        QX_PAIR("o", "O", queue_get_data_offset),
        QX_PAIR("p", "P", queue_get_txprocess_Match),
        QX_PAIR("s", "S", queue_get_stat),
        QX_PAIR("w", "W", queue_get_water_level),
    }},
    {kBlkSBufc, "s_bufc", {
        QX_PAIR("i", "I", bufc_set_anti_interval),
        QX_PAIR("p", "P", bufc_set_port_threshold),
        QX_PAIR("r", "R", bufc_set_res_threshold),
        QX_PAIR("s", "S", bufc_set_port_switch),
        QX_PAIR("t", "T", bufc_set_total_switch),
    }},
    {kBlkMBufc, "m_bufc", {
        QX_PAIR("i", "I", bufc_get_anti_interval),
        QX_PAIR("p", "P", bufc_get_port_threshold),
        QX_PAIR("r", "R", bufc_get_res_threshold),
        QX_PAIR("s", "S", bufc_get_port_switch),
        QX_PAIR("t", "T", bufc_get_total_switch),
    }},
    {kBlkSSecm, "s_secm", {
        QX_PAIR("p", "P", secm_set_para),
    }},
    {kBlkMSecm, "m_secm", {
        QX_PAIR("p", "P", secm_get_para),
        QX_PAIR("s", "S", secm_get_stat),
        QX_PAIR("x", "X", secm_get_stat_ipv6),
    }},
    {kBlkSTransmit, "s_transmit", {
        QX_PAIR("c", "C", transmit_clear_stat),
        QX_PAIR("e", "E", transmit_set_enable),
        QX_PAIR("p", "P", packet_set_print_flag),
        QX_PAIR("r", "R", remove_pcie_port_ep),
        QX_PAIR("a", "A", add_pcie_port_ep),
    }},
    {kBlkMTransmit, "m_transmit", {
        QX_PAIR("s", "S", transmit_get_stat),
    }},
    {kBlkSFpga0, "s_fpga0", {
        QX_PAIR("o", "O", rtc_set_start_time),
        QX_PAIR("d", "D", rtc_set_adjust_time),
    }},
    {kBlkMFpga0, "m_fpga0", {
        QX_PAIR("v", "V", rtc_read_hw_version),
        QX_PAIR("d", "D", rtc_read_drv_version),
        QX_PAIR("g", "G", rtc_read_time),
        QX_PAIR("t", "T", rtc_read_hw_version_date),
        QX_PAIR("c", "C", rtc_test_chip),
    }},
    {kBlkTFpga0, "t_fpga0", {
        QX_PAIR("rddr", "Rddr", read_ddr_bytes),
        QX_PAIR("rsol", "Rsol", read_sol_bytes),
        QX_PAIR("w", "W", test_ddr_health),
        QX_PAIR("d", "D", loop_test),
    }},
    {kBlkTTrans, "t_trans", {
        QX_PAIR("d", "D", get_trans_device_test_result),
        QX_PAIR("l", "L", get_trans_loop_test_result),
        QX_PAIR("H", "h", get_trans_controller_device_state),  // upper case first
    }},
    {kBlkTSbuf, "t_sbuf", {
        QX_PAIR("d", "D", get_sbuf_device_test_result),
        QX_PAIR("l", "L", get_sbuf_loop_test_result),
        QX_PAIR("H", "h", get_sbuf_controller_device_state),
    }},
    {kBlkLMedia, "l_media", {
        {"f", nullptr, load_media_dsp_image},
        {"d", nullptr, load_media_dsp_image_delay},
        {"t", nullptr, load_media_in_mult_thread},
        {"th", nullptr, load_with_health_chk_mult_thread},
    }},
    {kBlkRMedia, "r_media", {
        {"help", kHelpHelp, help_r_media},
        {"ddw", kHelpRMediaDdw, read_media_dsp_mem_ddw},
        {"dw", kHelpRMediaDw, read_media_dsp_mem_dw},
        {"b", kHelpRMediaB, read_media_dsp_mem_b},
        {"ecc", kHelpRMediaEcc, media_test_dsp_ecc_rd_dw},
        {"lpc", kHelpRMediaLpc, read_lpc_mem_b},
        {"app", kHelpRMediaApp, read_media_dsp_pcie_app_dw},
    }},
    {kBlkWMedia, "w_media", {
        {"help", kHelpHelp, help_w_media},
        {"ddw", kHelpWMediaDdw, write_media_dsp_mem_ddw},
        {"dw", kHelpWMediaDw, write_media_dsp_mem_dw},
        {"b", kHelpWMediaB, write_media_dsp_mem_b},
        {"ecc", kHelpWMediaEcc, media_test_dsp_ecc_wrt_dw},
        {"lpc", kHelpWMediaLpc, write_lpc_mem_b},
        {"app", kHelpWMediaApp, write_media_dsp_pcie_app_dw},
    }},
    {kBlkTMedia, "t_media", {
        {"help", kHelpHelp, help_t_media},
        {"in", kHelpTMediaIn, media_dsp_plugin},
        {"out", kHelpTMediaOut, media_dsp_plugout},
        {"r", kHelpTMediaR, media_dsp_reset},
        {"hp", kHelpTMediaHp, media_dsp_hotplug},
        {"info", kHelpTMediaInfo, media_get_board_info},
        {"s", kHelpTMediaS, media_get_startup_state},
        {"fill", kHelpTMediaFill, media_fill_dsp_mem},
        {"test", kHelpTMediaTest, media_test_dsp_mem},
        {"map", kHelpTMediaMap, media_get_dsp_mem_map},
        {"portctrl", kHelpTMediaPortctrl, media_ctrl_dsp_port},
        {"portioctrl", kHelpTMediaPortioctrl, media_ctrl_dsp_port_iomem},
        {"port", kHelpTMediaPort, media_dsp_port_ctrl_and_reset},
        {"lpc", kHelpTMediaLpc, media_test_subrd_lpc},
        {"baselpc", kHelpTMediaBaselpc, media_test_basebrd_lpc},
        {"ecc", kHelpTMediaEcc, creat_media_dsp_ecc_image},
        {"state", kHelpTMediaState, media_get_subrd_health_state},
        {"step", kHelpTMediaStep, media_three_step_test},
        {"dspinit", kHelpTMediaDspinit, media_dsp_init},
        {"dspshakehand", kHelpTMediaDspshakehand, media_dsp_ShakeHand},
        {"dspcmd", kHelpTMediaDspcmd, media_dsp_cmd},
        {"dspmailreset", kHelpTMediaDspmailreset, media_dsp_mail_reset},
        {"m", kHelpTMediaM, media_dsp_eq_ddr_test},
        {"jumpmem", kHelpTMediaJumpmem, media_dsp_eq_ddr_Jump_test},
        {"c", kHelpTMediaC, media_dsp_eq_chip_test},
        {"setdspmailboxswitch", kHelpTMediaSetdspmailboxswitch, media_set_dsp_all_mailbox_switch},
        {"getdspstatistic", kHelpTMediaGetdspstatistic, media_dsp_get_statistic},
        {"cleardspstatistic", kHelpTMediaCleardspstatistic, media_dsp_clear_statistic},
        {"showlog", kHelpTMediaShowlog, media_dsp_show_log},
        {"set", kHelpTMediaSet, media_Set_TransAddrTbl},
        {"get", kHelpTMediaGet, media_Get_TransAddrTbl},
        {"setmailboxswitch", kHelpTMediaSetmailboxswitch, media_Set_mailboxswitch},
        {"getmailboxswitch", kHelpTMediaGetmailboxswitch, media_Get_mailboxswitch},
        {"setglobalmailboxswitch", kHelpTMediaSetglobalmailboxswitch, media_Set_Globalmailboxswitch},
        {"getglobalmailboxswitch", kHelpTMediaGetglobalmailboxswitch, media_Get_Globalmailboxswitch},
        {"getstatistic", kHelpTMediaGetstatistic, media_Get_Statistic},
        {"clrstatistic", kHelpTMediaClrstatistic, media_Clr_Statistic},
    }},
    {kBlkDFpga, "d_fpga", {
        QX_PAIR("e", "E", fpga_get_regs),
        QX_PAIR("l", "L", fpga_shot),
    }},
    {kBlkMMedia, "m_media", {}},
    {kBlkTAcc, "t_acc", {
        {"help", kHelpHelp, help_t_acc},
        {"com", kHelpTAccCom, acc_compress_file},
        {"uncom", kHelpTAccUncom, acc_uncompress_file},
        {"comperf", kHelpTAccComperf, acc_compress_perf},
        {"uncomperf", kHelpTAccUncomperf, acc_uncompress_perf},
        {"flash", kHelpTAccFlash, acc_flash_test},
        {"loop", kHelpTAccLoop, acc_pcie_loop_test},
        {"ddr", kHelpTAccDdr, acc_ddr_test},
        {"dft", kHelpTAccDft, acc_data_flow_test},
        {"rdlpc", kHelpTAccRdlpc, acc_read_lpc},
        {"wrtlpc", kHelpTAccWrtlpc, acc_write_lpc},
        {"ver", kHelpTAccVer, acc_get_fw_ver},
        {"mem", kHelpTAccMem, acc_get_pid_mem},
        {"file", kHelpTAccFile, acc_get_pid_mem},
        {"res", kHelpTAccRes, acc_get_dis_res},
        {"rd", kHelpTAccRd, acc_read_reg},
        {"wrt", kHelpTAccWrt, acc_write_reg},
    }},
    {kBlkLAcc, "l_acc", {
        {"f", nullptr, load_compress_logic_file},
    }},
    {kBlkLRugaBt, "l_ruga_bt", {
        {"f", nullptr, ruda_load_ruga_boot_logic_file},
    }},
    {kBlkLRugaAp, "l_ruga_ap", {
        {"f", nullptr, ruda_load_ruga_app_logic_file},
    }},
    {kBlkLRuga, "l_ruga", {
        {"A", nullptr, ruda_active_boot_logic},
        {"v", nullptr, ruda_get_flash_boot_logic_ver},
        {"V", nullptr, ruda_get_run_boot_logic_ver},
        {"s", nullptr, ruda_set_mac_addr},
        {"g", nullptr, ruda_get_mac_addr},
        {"d", nullptr, ruda_dump_boot_logic},
    }},
};

// Every block sits at its own index.
static_assert([] {
    for (size_t i = 0; i < kTransOpBlocks; i++)
        if (g_TransOpTab[i].index != i)
            return false;
    return true;
}());

// Requests to one accelerator card's node (path and letter from its device
// record), the hot-plug node, and the thread id used by the framework.
#ifndef QUORBIX_ASMF_ADAPTER_ASMF_ADAPTER_H
#define QUORBIX_ASMF_ADAPTER_ASMF_ADAPTER_H

#include <cstdint>
#include <sys/types.h>

#include "bases/drv/asmf_drv.h"

inline constexpr int ASMF_ERR_ARG = -1001;
inline constexpr int ASMF_ERR_OPEN_DEV = -3002;

int asmf_fpga_get_ifep_version(const char *path, char *text, char letter);
int asmf_fpga_get_firmware_version(const char *path, char *text, char letter);
int asmf_fpga_get_function(const char *path, uint32_t *value, char letter);
int asmf_fpga_get_pcie_info(const char *path, void *info8, char letter);
int asmf_fpga_get_res_state(const char *path, void *state12, char letter);
int asmf_fpga_get_traffic_stat(const char *path, void *stat256, char letter);
int asmf_fpga_get_alh_cfg(const char *path, uint32_t *value, char letter);
int asmf_fpga_set_alh_cfg(const char *path, uint32_t *value, char letter);
int asmf_fpga_get_lazy_cfg(const char *path, uint32_t *value, char letter);
int asmf_fpga_set_lazy_cfg(const char *path, uint32_t *value, char letter);
int asmf_fpga_get_levle_cfg(const char *path, AsmfLevelCfg *cfg, char letter);
int asmf_fpga_set_levle_cfg(const char *path, AsmfLevelCfg *cfg, char letter);
int asmf_fpga_clr_traffic_stat(const char *path, uint32_t *word, char letter);
int asmf_fpga_sent_task(const char *path, FpgaTaskDesc *desc, char letter);
int asmf_fpga_exc_soft_reset(const char *path, uint32_t *word, char letter);
int asmf_fpga_read_4byte_reg(const char *path, AsmfRegReq *reg, char letter);
int asmf_fpga_write_4byte_reg(const char *path, AsmfRegReq *reg, char letter);
int asmf_fpga_write_lastword(const char *path, uint32_t *value, char letter);
int asmf_fpga_test_reg(const char *path, uint32_t *value, char letter);

int asmf_fpga_hotplug(void *arg);
int asmf_fpga_get_ifep_hs_version(char *text);

int asmf_open_dev(const char *path);
void asmf_close_dev(int fd);
pid_t asmf_gettid();

#endif

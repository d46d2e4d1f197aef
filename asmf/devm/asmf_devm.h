// Card operation and maintenance by device id: each operation fetches the
// card's device record, refuses cards that are not FPGAs and issues one
// request on the card's node; the last-word file name; O&M notices.
#ifndef QUORBIX_ASMF_DEVM_ASMF_DEVM_H
#define QUORBIX_ASMF_DEVM_ASMF_DEVM_H

#include <cstdint>

#include "bases/drv/asmf_drv.h"

inline constexpr int ASMF_DEVM_ERR_TYPE = -1002;
inline constexpr int ASMF_DEVM_ERR_OPEN = -1004;
inline constexpr int ASMF_DEVM_ERR_SHELL = -1011;
inline constexpr size_t ASMF_LASTWORD_LEN = 256;
inline constexpr const char *ASMF_LASTWORD_DIR = "/var/log/orvo/";
inline constexpr const char *ASMF_LASTWORD_ANSWER = "result.txt";

int asmf_set_levle_cfg(uint32_t id, AsmfLevelCfg *level);
int asmf_get_levle_cfg(uint32_t id, AsmfLevelCfg *level);
int asmf_set_lazy_cfg(uint32_t id, uint32_t value);
int asmf_get_lazy_cfg(uint32_t id, uint8_t *value);
int asmf_set_alh_cfg(uint32_t id, uint32_t value);
int asmf_get_alh_cfg(uint32_t id, uint8_t *value);
int asmf_clr_traffic_stat(uint32_t id);
int asmf_get_traffic_stat(uint32_t id, void *stat256);
int asmf_test_reg(uint32_t id, uint32_t value);
int asmf_write_4byte_reg(uint32_t id, uint32_t address, uint32_t value);
int asmf_read_4byte_reg(uint32_t id, uint32_t address, uint32_t *value);
int asmf_write_lastword(uint32_t id);
int asmf_collect_Info(uint32_t id);
int asmf_soft_reset(uint32_t id);
// The newest last-word file of the card: "/var/log/orvo/" + its name.
int asmf_get_lastword(uint32_t id, char *path256);
int asmf_receive_om_msg(int sock, int timeout, OmMsg *msg);

#endif

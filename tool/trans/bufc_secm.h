// Buffer-control (anti-CPU-attack) and security-module commands.
#ifndef QUORBIX_TOOL_TRANS_BUFC_SECM_H
#define QUORBIX_TOOL_TRANS_BUFC_SECM_H

#include "tool/trans_op.h"

TransOpStatus bufc_get_total_switch(const char *params);
TransOpStatus bufc_set_total_switch(const char *params);
TransOpStatus bufc_get_port_switch(const char *params);
TransOpStatus bufc_set_port_switch(const char *params);
TransOpStatus bufc_get_res_threshold(const char *params);
TransOpStatus bufc_set_res_threshold(const char *params);
TransOpStatus bufc_get_port_threshold(const char *params);
TransOpStatus bufc_set_port_threshold(const char *params);
TransOpStatus bufc_get_anti_interval(const char *params);
TransOpStatus bufc_set_anti_interval(const char *params);
TransOpStatus secm_get_stat(const char *params);
TransOpStatus secm_get_stat_ipv6(const char *params);
TransOpStatus secm_clear_stat(const char *params);
TransOpStatus secm_clear_stat_ipv6(const char *params);
TransOpStatus secm_set_para(const char *params);
TransOpStatus secm_get_para(const char *params);

#endif

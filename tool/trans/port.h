// Port commands: work mode, link state, flow control, port switch,
// de-pause, PHY parameters, loop modes, MAC addresses, CAR, MTU, reset
// and the port, MAC and VLAN counters.
#ifndef QUORBIX_TOOL_TRANS_PORT_H
#define QUORBIX_TOOL_TRANS_PORT_H

#include <cstdint>

#include "tool/trans_op.h"

TransOpStatus port_get_link_status(const char *params);
TransOpStatus port_get_workmode(const char *params);
TransOpStatus port_set_workmode(const char *params);
TransOpStatus port_get_flowctrl(const char *params);
TransOpStatus port_set_flowctrl(const char *params);
TransOpStatus port_get_switch(const char *params);
TransOpStatus port_set_switch(const char *params);
TransOpStatus port_get_pause_switch(const char *params);
TransOpStatus port_set_pause_switch(const char *params);
TransOpStatus port_get_dpause_wlevel(const char *params);
TransOpStatus port_set_dpause_wlevel(const char *params);
TransOpStatus port_set_phy_down(const char *params);
TransOpStatus port_get_phy(const char *params);
TransOpStatus port_set_phy(const char *params);
TransOpStatus port_get_loopmode(const char *params);
TransOpStatus port_set_loopmode(const char *params);
TransOpStatus port_get_mac(const char *params);
TransOpStatus port_set_mac(const char *params);
TransOpStatus port_get_car_drop_stat(const char *params);
TransOpStatus port_get_car(const char *params);
TransOpStatus port_set_car(const char *params);
TransOpStatus port_get_car_fresh_time(const char *params);
TransOpStatus port_set_car_fresh_time(const char *params);
TransOpStatus port_get_mtu(const char *params);
TransOpStatus port_set_mtu(const char *params);
TransOpStatus port_set_reset(const char *params);
TransOpStatus port_clear_vlan_stat(const char *params);
TransOpStatus port_get_vlan_stat(const char *params);
TransOpStatus port_clear_mac_stat(const char *params);
TransOpStatus port_get_mac_stat(const char *params);
TransOpStatus port_clear_stat(const char *params);
TransOpStatus port_get_stat(const char *params);
TransOpStatus port_clear_gtx_prbs(const char *params);
TransOpStatus port_set_gtx_prbs(const char *params);

// One port's summary (MAC, speed, link); 1 when all three queries fail.
int32_t get_port_info_byid(uint32_t fpga, uint32_t port);

#endif

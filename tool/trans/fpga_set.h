// FPGA setting and register-dump commands: enable state, standby mode,
// interrupt timer, hash seeds, port map, trunk flags, queue switches,
// load-at-reboot flag, checksum and VRF switches, high-resolution timer CPU,
// CPU presence, driver version, snapshot shots and the register dump.
#ifndef QUORBIX_TOOL_TRANS_FPGA_SET_H
#define QUORBIX_TOOL_TRANS_FPGA_SET_H

#include <cstddef>
#include <cstdint>

#include "tool/trans_op.h"

TransOpStatus fpga_get_enable_state(const char *params);
TransOpStatus fpga_set_enable(const char *params);
TransOpStatus fpga_get_mode(const char *params);
TransOpStatus fpga_set_mode(const char *params);
TransOpStatus fpga_get_irq_interval(const char *params);
TransOpStatus fpga_set_irq_interval(const char *params);
TransOpStatus fpga_get_hash_seed(const char *params);
TransOpStatus fpga_set_hash_seed(const char *params);
TransOpStatus fpga_get_port_map(const char *params);
TransOpStatus fpga_set_port_map(const char *params);
TransOpStatus fpga_get_trunk(const char *params);
TransOpStatus fpga_set_trunk(const char *params);
TransOpStatus fpga_get_queue_switch(const char *params);
TransOpStatus fpga_set_queue_switch(const char *params);
TransOpStatus fpga_get_load_reboot(const char *params);
TransOpStatus fpga_set_load_reboot(const char *params);
TransOpStatus fpga_get_checksum_switch(const char *params);
TransOpStatus fpga_set_checksum_switch(const char *params);
TransOpStatus fpga_get_vrf_switch(const char *params);
TransOpStatus fpga_set_vrf_switch(const char *params);
TransOpStatus fpga_get_hrtimer_affinity(const char *params);
TransOpStatus fpga_set_hrtimer_affinity(const char *params);
TransOpStatus fpga_get_cpu_present(const char *params);
TransOpStatus fpga_set_cpu_present(const char *params);
TransOpStatus trans_get_drv_ver(const char *params);
TransOpStatus fpga_shot(const char *params);
TransOpStatus fpga_get_regs(const char *params);

// Register offsets the dump prints, per FPGA and board.
inline constexpr size_t kDumpSbufLines = 136;
inline constexpr size_t kDumpTransLines = 175;
inline constexpr size_t kDumpKespLines = 120;
inline constexpr size_t kDumpBufBytes = 16384;

#endif

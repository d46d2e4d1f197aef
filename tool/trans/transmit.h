// The trans FPGA driver's packet sender: the transmit configuration file,
// the 240-byte transmit descriptor and the packet area it shares with the
// driver in reserved physical memory, and the commands of "Set transmit"
// and "m_transmit".
#ifndef QUORBIX_TOOL_TRANS_TRANSMIT_H
#define QUORBIX_TOOL_TRANS_TRANSMIT_H

#include <cstddef>
#include <cstdint>

#include "tool/trans_op.h"

// Shared with the driver; little-endian.
struct TransmitDesc {
    uint8_t valid_flag;  // 0xE1 once filled
    uint8_t fpga_id;
    uint8_t port_id;
    uint8_t loop_mod;
    uint8_t loop_queue_id;
    uint8_t tx_queue_id;  // DORN: the configured value / 4
    uint8_t pkg_print_flag;
    uint8_t rx_queue_id;
    uint32_t packet_num;
    uint32_t send_intervial;
    uint8_t trans_rules[8];  // portin0, portout0, ... portout3
    uint8_t reserved24;
    uint8_t dsp_id;
    uint8_t core_id;
    uint8_t mailbox_id;
    uint32_t reserved28;
    uint8_t dmac[4][6];
    uint64_t packet_length;
    char packet_print_path[128];
    uint8_t subboard_dsp_config[2][9];
    uint8_t reserved210[14];
    uint8_t tx_all_dsp_flag;
    uint8_t reserved225[5];
    uint8_t pkgtype;
    uint8_t checksum_switch;
    uint32_t checksum_start;
    uint32_t checksum_len;
};
static_assert(sizeof(TransmitDesc) == 240);
static_assert(offsetof(TransmitDesc, fpga_id) == 1 && offsetof(TransmitDesc, rx_queue_id) == 7);
static_assert(offsetof(TransmitDesc, packet_num) == 8 && offsetof(TransmitDesc, send_intervial) == 12);
static_assert(offsetof(TransmitDesc, trans_rules) == 16 && offsetof(TransmitDesc, dsp_id) == 25);
static_assert(offsetof(TransmitDesc, mailbox_id) == 27 && offsetof(TransmitDesc, dmac) == 32);
static_assert(offsetof(TransmitDesc, packet_length) == 56 && offsetof(TransmitDesc, packet_print_path) == 64);
static_assert(offsetof(TransmitDesc, subboard_dsp_config) == 192 && offsetof(TransmitDesc, tx_all_dsp_flag) == 224);
static_assert(offsetof(TransmitDesc, pkgtype) == 230 && offsetof(TransmitDesc, checksum_switch) == 231);
static_assert(offsetof(TransmitDesc, checksum_start) == 232 && offsetof(TransmitDesc, checksum_len) == 236);

inline constexpr size_t kTransmitPacketArea = 0x20000;
inline constexpr size_t kTransmitMaxPacket = 0x7C0;
inline constexpr const char *kTransmitStartFile[2] = {"/sys/class/net/trans0/test/start",
                                                       "/sys/class/net/trans1/test/start"};

// Maps `length` bytes of physical memory at `phys` through "/dev/mem"; the
// mapping stays. 0, -1216 (no /dev/mem) or -1 (mapping refused).
int32_t mmap_user_vaddr(uint64_t phys, size_t length, void **vaddr);
// The descriptor and packet area of FPGA `fpga` (0, else 1) from its start file.
int32_t get_shmem_user_vaddr(uint32_t fpga, TransmitDesc **desc, uint8_t **packets);

// With port 255: configure from `file` and start the sender. Below 255: a
// loop test of `seconds` on that port and FPGA.
int32_t transmit_config(const char *file, uint32_t port, uint32_t seconds, uint32_t fpga);
// Sets bit n of `mask` for each present media sub-board n (0, 1); the mask
// is not cleared first. The board-information status on failure.
int32_t GetKespSubBoardPresentState(uint32_t *mask);
// 0 when no "vec_err" file lies in "/opt", -2 when one does, -1 without "/opt".
int32_t check_loop_result();

TransOpStatus transmit_set_enable(const char *params);
TransOpStatus packet_set_print_flag(const char *params);
TransOpStatus transmit_clear_stat(const char *params);
TransOpStatus transmit_get_stat(const char *params);

#endif

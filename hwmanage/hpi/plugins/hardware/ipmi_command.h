// A small IPMI client: one request at a time to the board's BMC through the
// kernel's IPMI driver (system interface), and the board queries built on
// it. Log lines go to the PCI diagnosis log.
#ifndef QUORBIX_HWMANAGE_HPI_PLUGINS_HARDWARE_IPMI_COMMAND_H
#define QUORBIX_HWMANAGE_HPI_PLUGINS_HARDWARE_IPMI_COMMAND_H

#include <cstddef>
#include <cstdint>

// The nodes tried, in order.
inline constexpr const char *kIpmiNodes[] = {"/dev/ipmi0", "/dev/ipmi/0", "/dev/ipmidev0", "/dev/ipmidev/0"};

// The board maker's enterprise number in the hardware-activation request.
inline constexpr uint32_t kIpmiMakerEnterprise = 0x00A1B2;

inline constexpr int kIpmiWaitSeconds = 5;
inline constexpr size_t kIpmiRspSize = 32;

extern int g_iIpmiFd;
extern int64_t g_lMsgSeq;

int open_ipmi(int *fd_out);
int close_ipmi(int *fd_inout);

// One request and its reply: 0, a positive errno of the driver, or -1
// (no reply within 5 s, select failed). Replies of other ids are dropped.
int ipmi_cmd_send(int fd, uint8_t cmd, uint8_t netfn, uint8_t lun, const uint8_t *data, uint16_t data_len,
                  uint8_t *rsp, uint16_t rsp_size, uint16_t *rsp_len_out);
int ipmi_cmd_send_internel(uint8_t cmd, uint8_t netfn, uint8_t lun, const uint8_t *data, uint16_t data_len,
                           uint8_t *rsp, uint16_t rsp_size, uint16_t *rsp_len_out);

// Sensor updates (Set Sensor Reading And Event Status) for sensors 0xE0-0xE4.
int ipmi_transto_bmc_f(int fd, uint8_t sensor, uint32_t value, uint32_t flag);
void ipmi_set_threshold_value(uint32_t value, uint8_t *buf, uint16_t *len_out);
void ipmi_set_discrete_value(uint32_t value, uint8_t *buf, uint16_t *len_out, uint32_t flag);

// Queries: 0 or -1; -2 for a missing output.
int ipmi_get_board_pxe_state(uint8_t *flags_out);
int ipmi_get_board_slot(uint8_t *slot_out);
int ipmi_get_board_shelf(uint8_t *shelf_out);
int ipmi_get_elable(uint8_t index, uint8_t *buf, uint32_t size);
int ipmi_set_hw_active(uint8_t hw_type, uint8_t hw_index, uint8_t value);

// 1 when the rear board's controller is an LSI SAS2308 family part, else 0.
int judge_lsi2308();

#endif

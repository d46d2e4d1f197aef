#include "hwmanage/hpi/plugins/hardware/ipmi_command.h"

#include <fcntl.h>
#include <sys/ioctl.h>
#include <linux/ipmi.h>
#include <sys/select.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <iterator>

#include "bases/globals/globals.h"
#include "bases/host/host.h"
#include "bases/pci/tvk_dev.h"
#include "bases/pci/tvk_log.h"
#include "kelvo/kelvo.h"

int g_iIpmiFd = -1;
int64_t g_lMsgSeq = 0;

GLOBALS_RESET(ipmi_command)
{
    g_iIpmiFd = -1;
    g_lMsgSeq = 0;
}

namespace {

using SensorBuilder = void (*)(uint32_t value, uint8_t *buf, uint16_t *len, uint32_t flag);

void build_threshold(uint32_t value, uint8_t *buf, uint16_t *len, uint32_t)
{
    ipmi_set_threshold_value(value, buf, len);
}

struct IpmiCmdInfo {
    uint32_t sensorType;
    uint32_t cmd;
    uint32_t netfn;
    uint32_t sensor;
    SensorBuilder build;
};

constexpr IpmiCmdInfo ipmi_cmd_info[] = {
    {0x0C, 0x30, 0x04, 0xE0, build_threshold}, {0x07, 0x30, 0x04, 0xE1, build_threshold},
    {0x0D, 0x30, 0x04, 0xE2, build_threshold}, {0xD0, 0x30, 0x04, 0xE3, ipmi_set_discrete_value},
    {0xD0, 0x30, 0x04, 0xE4, ipmi_set_discrete_value},
};

int64_t now_ms()
{
    timespec ts{};
    host().clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<int64_t>(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

// Waits until the descriptor is readable or `deadline` passes: 1 ready,
// -1 after the time-out or a select failure (logged).
int wait_readable(int fd, int64_t deadline)
{
    int64_t left = std::max<int64_t>(deadline - now_ms(), 0);
    fd_set rd;
    FD_ZERO(&rd);
    FD_SET(fd, &rd);
    timeval tv{static_cast<time_t>(left / 1000), static_cast<suseconds_t>(left % 1000 * 1000)};
    int ret = host().select(fd + 1, &rd, nullptr, nullptr, &tv);
    if (ret == 0) {
        TVK_ERR("Select func timeout[>%ds]!\n", kIpmiWaitSeconds);
        return -1;
    }
    if (ret < 0) {
        TVK_ERR("Select func fail, ret=%d, errno=%d\n", ret, errno);
        return -1;
    }
    return 1;
}

// Replies until one carries `msgid`; see ipmi_cmd_send.
int receive_reply(int fd, long msgid, uint8_t *rsp, uint16_t rsp_size, uint16_t *rsp_len_out)
{
    int64_t deadline = now_ms() + kIpmiWaitSeconds * 1000;
    for (;;) {
        if (wait_readable(fd, deadline) < 0)
            return -1;
        unsigned char addr[40] = {};
        ipmi_recv recv{};
        recv.addr = addr;
        recv.addr_len = sizeof addr;
        recv.msg.data = rsp;
        recv.msg.data_len = rsp_size;
        int ret = host().ioctl(fd, IPMICTL_RECEIVE_MSG_TRUNC, &recv);
        int err = errno;
        if (ret < 0 && !(err == EMSGSIZE && recv.msg.data_len == rsp_size)) {
            *rsp_len_out = recv.msg.data_len;
            return err;
        }
        if (recv.msgid != msgid) {
            TVK_ERR("drop reply of message %ld, waiting for %ld\n", recv.msgid, msgid);
            continue;
        }
        *rsp_len_out = ret < 0 ? rsp_size : recv.msg.data_len;
        return 0;
    }
}

// The query helper: sends, checks the completion code and that the reply
// reaches `need` bytes. 0 or -1 (logged).
int query(uint8_t netfn, uint8_t cmd, const uint8_t *data, uint16_t len, uint8_t (&rsp)[kIpmiRspSize], uint16_t need)
{
    uint16_t got = 0;
    int ret = ipmi_cmd_send_internel(cmd, netfn, 0, data, len, rsp, sizeof rsp, &got);
    if (ret != 0) {
        TVK_ERR("ipmicmd fail, ret=%d\n", ret);
        return -1;
    }
    if (got < 1 || (rsp[0] == 0 && got < need)) {
        TVK_ERR("ipmicmd response too short, len=%d\n", got);
        return -1;
    }
    if (rsp[0] != 0) {
        TVK_ERR("ipmicmd return a error code[0x%02x]\n", rsp[0]);
        return -1;
    }
    return 0;
}

// A query that answers one byte of the reply.
int query_byte(uint8_t netfn, uint8_t cmd, const uint8_t *data, uint16_t len, uint16_t at, uint8_t *out)
{
    if (out == nullptr) {
        TVK_ERR("Input pointer is NULL!\n");
        return -2;
    }
    uint8_t rsp[kIpmiRspSize] = {};
    if (query(netfn, cmd, data, len, rsp, static_cast<uint16_t>(at + 1)) != 0)
        return -1;
    *out = rsp[at];
    return 0;
}

constexpr uint8_t kNetfnChassis = 0x00;
constexpr uint8_t kNetfnGroup = 0x2C;
constexpr uint8_t kNetfnOem = 0x30;

} // namespace

int open_ipmi(int *fd_out)
{
    if (fd_out == nullptr) {
        TVK_ERR("invalid params\n");
        return -1;
    }
    for (const char *node : kIpmiNodes) {
        int fd = host().open(node, O_RDWR, 0);
        if (fd >= 0) {
            *fd_out = fd;
            return 0;
        }
    }
    return -1;
}

int close_ipmi(int *fd_inout)
{
    if (fd_inout == nullptr) {
        TVK_ERR("invalid params\n");
        return -1;
    }
    int ret = host().close(*fd_inout);
    if (ret != 0)
        TVK_DBG("close ipmidev fail, ret=%d, errno=%d\n", ret, errno);
    *fd_inout = -1;
    return ret;
}

int ipmi_cmd_send(int fd, uint8_t cmd, uint8_t netfn, uint8_t lun, const uint8_t *data, uint16_t data_len,
                  uint8_t *rsp, uint16_t rsp_size, uint16_t *rsp_len_out)
{
    unsigned int myAddr = 0;
    int ret = host().ioctl(fd, IPMICTL_GET_MY_ADDRESS_CMD, &myAddr);
    if (ret < 0) {
        int err = errno;
        TVK_ERR("IPMI ioctl IPMICTL_GET_MY_ADDRESS_CMD fail, ret=%d, errno=%d\n", ret, err);
        return err;
    }
    ipmi_system_interface_addr si{};
    si.addr_type = IPMI_SYSTEM_INTERFACE_ADDR_TYPE;
    si.channel = IPMI_BMC_CHANNEL;
    si.lun = lun;
    ipmi_req req{};
    req.addr = reinterpret_cast<unsigned char *>(&si);
    req.addr_len = sizeof si;
    req.msgid = static_cast<long>(g_lMsgSeq);
    req.msg.netfn = netfn;
    req.msg.cmd = cmd;
    req.msg.data = const_cast<uint8_t *>(data);  // the driver only reads it
    req.msg.data_len = data_len;
    ret = host().ioctl(fd, IPMICTL_SEND_COMMAND, &req);
    int err = errno;
    g_lMsgSeq++;
    if (ret < 0) {
        TVK_ERR("IPMI ioctl IPMICTL_SEND_COMMAND fail, ret=%d, errno=%d\n", ret, err);
        return err;
    }
    return receive_reply(fd, req.msgid, rsp, rsp_size, rsp_len_out);
}

int ipmi_cmd_send_internel(uint8_t cmd, uint8_t netfn, uint8_t lun, const uint8_t *data, uint16_t data_len,
                           uint8_t *rsp, uint16_t rsp_size, uint16_t *rsp_len_out)
{
    if (g_iIpmiFd == -1) {
        int ret = open_ipmi(&g_iIpmiFd);
        if (ret != 0) {
            TVK_ERR("call open_ipmi_f fail, iRet=%d\n", ret);
            return ret;
        }
    }
    return ipmi_cmd_send(g_iIpmiFd, cmd, netfn, lun, data, data_len, rsp, rsp_size, rsp_len_out);
}

void ipmi_set_threshold_value(uint32_t value, uint8_t *buf, uint16_t *len_out)
{
    buf[0] = 0x01;
    buf[1] = static_cast<uint8_t>(value);
    *len_out = 2;
}

void ipmi_set_discrete_value(uint32_t value, uint8_t *buf, uint16_t *len_out, uint32_t flag)
{
    const uint8_t lo = static_cast<uint8_t>(value), hi = static_cast<uint8_t>(value >> 8);
    const uint8_t deassert[] = {0x48, 0x00, 0x00, 0x00, lo, hi, 0x00, 0x00, lo};
    const uint8_t assert_[] = {0x60, 0x00, lo, hi, 0x00, 0x00, 0x00, 0x00, lo};
    std::memcpy(buf, flag == 1 ? deassert : assert_, sizeof deassert);
    *len_out = sizeof deassert;
}

int ipmi_transto_bmc_f(int fd, uint8_t sensor, uint32_t value, uint32_t flag)
{
    const IpmiCmdInfo *row = std::find_if(std::begin(ipmi_cmd_info), std::end(ipmi_cmd_info),
                                          [&](const IpmiCmdInfo &r) { return r.sensor == sensor; });
    if (row == std::end(ipmi_cmd_info)) {
        TVK_ERR("invalid params, sen:%d\n", sensor);
        return -1;
    }
    uint8_t data[16] = {sensor};
    uint16_t len = 0;
    row->build(value, data + 1, &len, flag);
    uint8_t rsp[kIpmiRspSize] = {};
    uint16_t got = 0;
    int ret = ipmi_cmd_send(fd, static_cast<uint8_t>(row->cmd), static_cast<uint8_t>(row->netfn), 0, data,
                            static_cast<uint16_t>(len + 1), rsp, sizeof rsp, &got);
    if (ret != 0)
        TVK_ERR("call ipmi_cmd_send fail, ret = (%d)\n\n", ret);
    return ret;
}

int ipmi_get_board_pxe_state(uint8_t *flags_out)
{
    static constexpr uint8_t kReq[] = {0x62, 0x00, 0x00};
    return query_byte(kNetfnChassis, 0x09, kReq, sizeof kReq, 3, flags_out);
}

int ipmi_get_board_slot(uint8_t *slot_out)
{
    static constexpr uint8_t kReq[] = {0x00};
    return query_byte(kNetfnGroup, 0x01, kReq, sizeof kReq, 6, slot_out);
}

int ipmi_get_board_shelf(uint8_t *shelf_out) { return query_byte(kNetfnOem, 0x60, nullptr, 0, 1, shelf_out); }

int ipmi_get_elable(uint8_t index, uint8_t *buf, uint32_t size)
{
    if (buf == nullptr)
        return -2;
    if (size < 2)
        return -1;
    uint8_t req[32] = {0x05, index, 0x02, 0x02, 0x00, 0x10};
    uint8_t rsp[kIpmiRspSize] = {};
    uint16_t got = 0;
    int ret = ipmi_cmd_send_internel(0x90, kNetfnOem, 0, req, sizeof req, rsp, sizeof rsp, &got);
    if (ret != 0) {
        TVK_ERR("ipmicmd fail, ret=%d\n", ret);
        return -1;
    }
    if (got < 1) {
        TVK_ERR("ipmicmd response too short, len=%d\n", got);
        return -1;
    }
    if (rsp[0] != 0) {
        TVK_ERR("ipmicmd return a error code[0x%02x]\n", rsp[0]);
        return -1;
    }
    size_t avail = got > 2 ? got - 2u : 0u;
    KelvoErr err = memcpy_s(buf, size, rsp + 2, std::min<size_t>(size - 2u, avail));
    if (err != KelvoOk) {
        TVK_ERR("call memcpy_s fail, error=%d\n", err);
        return -1;
    }
    return 0;
}

int ipmi_set_hw_active(uint8_t hw_type, uint8_t hw_index, uint8_t value)
{
    if (hw_type < 1 || hw_type > 4) {
        TVK_ERR("Input hw_type error, chip_type = 0x%x\n", hw_type);
        return -1;
    }
    if (hw_index == 0) {
        TVK_ERR("Input chip_index error, hw_index = 0x%x\n", hw_index);
        return -1;
    }
    uint8_t req[32] = {static_cast<uint8_t>(kIpmiMakerEnterprise), static_cast<uint8_t>(kIpmiMakerEnterprise >> 8),
                       static_cast<uint8_t>(kIpmiMakerEnterprise >> 16), 0x11, hw_type, hw_index, value};
    uint8_t rsp[kIpmiRspSize] = {0xFF};
    uint16_t got = 0;
    int ret = ipmi_cmd_send_internel(0x9F, kNetfnOem, 0, req, sizeof req, rsp, sizeof rsp, &got);
    if (ret != 0) {
        TVK_ERR("ipmi_set_hw_active ipmicmd fail, ret=%d\n", ret);
        return -1;
    }
    if (got < 1) {
        TVK_ERR("ipmicmd response too short, len=%d\n", got);
        return -1;
    }
    if (rsp[0] != 0) {
        TVK_ERR("ipmicmd completion code error, completion_code[0x%02x]\n", rsp[0]);
        return -1;
    }
    return 0;
}

int judge_lsi2308()
{
    constexpr unsigned kBridgeDevFn = (3u << 3) | 3u;  // 00:03.3
    uint8_t secondary = 0;
    int ret = tvk_read_conf_byte(0, kBridgeDevFn, 0x19, &secondary);
    if (ret != 0) {
        TVK_INFO("Can not read device[%02x:%02x:%x] SECONDARY_BUS, ret=%d\n", 0u, 3u, 3u, ret);
        return 0;
    }
    uint32_t vdid = 0;
    ret = tvk_read_conf_dword(secondary, 0, 0, &vdid);
    if (ret == 0 && (vdid == 0x00861000u || vdid == 0x00871000u || vdid == 0x006E1000u)) {
        TVK_INFO("Rear board type MOTA, LSI Logic [%02x:%02x:%x] VDid=%04x\n\n", 0u, 3u, 3u, vdid);
        return 1;
    }
    TVK_INFO("Rear board type not MOTA, \n\n");
    return 0;
}

#include "asmf/adapter/asmf_adapter.h"

#include <cctype>
#include <cerrno>
#include <cstring>
#include <fcntl.h>

#include "asmf/asmf_log.h"
#include "kelvo/kelvo.h"

#define ADP_ERR(fmt, ...) \
    ASMF_LOG(ASMF_PRI_ERR, "adapter/asmf_adapter.c", "<asmf_adapter-ERR>", fmt __VA_OPT__(, ) __VA_ARGS__)

namespace {

// How a request checks its arguments before the open.
enum class ArgCheck : uint8_t { full, lazy, reset };

struct CardRow {
    AsmfCardReq req;
    ArgCheck check;
    const char *failure;  // logged with " ret=%d\n"; null: "get ifep verson fail.\n"
};

constexpr CardRow kIfepVersion{ASMF_CARD_IFEP_VERSION, ArgCheck::full, nullptr};
constexpr CardRow kFwVersion{ASMF_CARD_FW_VERSION, ArgCheck::full, "get frimware version fail."};
constexpr CardRow kFunction{ASMF_CARD_FUNCTION, ArgCheck::full, "get function fail."};
constexpr CardRow kPcieInfo{ASMF_CARD_PCIE_INFO, ArgCheck::full, "get pcie info fail."};
constexpr CardRow kResState{ASMF_CARD_RES_STATE, ArgCheck::full, "get workqueue state fail."};
constexpr CardRow kTraffic{ASMF_CARD_TRAFFIC, ArgCheck::full, "get traffic stat."};
constexpr CardRow kGetAlh{ASMF_CARD_GET_ALH, ArgCheck::full, "get alh cfg fail."};
constexpr CardRow kSetAlh{ASMF_CARD_SET_ALH, ArgCheck::full, "set alh cfg fail."};
constexpr CardRow kGetLazy{ASMF_CARD_GET_LAZY, ArgCheck::full, "get lazy cfg fail."};
constexpr CardRow kSetLazy{ASMF_CARD_SET_LAZY, ArgCheck::lazy, "set lazy cfg fail."};
constexpr CardRow kGetLevel{ASMF_CARD_GET_LEVEL, ArgCheck::full, "get levle cfg fail."};
constexpr CardRow kSetLevel{ASMF_CARD_SET_LEVEL, ArgCheck::full, "set levle cfg fail."};
constexpr CardRow kClrTraffic{ASMF_CARD_CLR_TRAFFIC, ArgCheck::full, "clr traffic stat."};
constexpr CardRow kSendTask{ASMF_CARD_SEND_TASK, ArgCheck::full, "sent sort task fail."};
constexpr CardRow kSoftReset{ASMF_CARD_SOFT_RESET, ArgCheck::reset, "exc soft reset."};
constexpr CardRow kReadReg{ASMF_CARD_READ_REG, ArgCheck::full, "read 4byte reg."};
constexpr CardRow kWriteReg{ASMF_CARD_WRITE_REG, ArgCheck::full, "write 4byte reg."};
constexpr CardRow kLastword{ASMF_CARD_LASTWORD, ArgCheck::full, "write lastword fail."};
constexpr CardRow kTestReg{ASMF_CARD_TEST_REG, ArgCheck::full, "test reg fail."};

bool is_letter(char letter) { return std::isalpha(static_cast<unsigned char>(letter)) != 0; }

const char *shown(const char *path) { return path != nullptr ? path : "(null)"; }

bool args_ok(const CardRow &row, const char *path, const void *record, char letter)
{
    bool ok = path != nullptr && is_letter(letter) && (row.check != ArgCheck::full || record != nullptr);
    if (ok)
        return true;
    if (row.check == ArgCheck::lazy)
        ADP_ERR("PATH[%s] or MAGIC[%c] is invalid.\n", shown(path), letter);
    else if (row.check == ArgCheck::reset)
        ADP_ERR("path[%s] or magic[%c] is invalid.\n", shown(path), letter);
    else
        ADP_ERR("PATH[%s], CMD[0x%p] or MAGIC[%c] is invalid.\n", shown(path), record, letter);
    return false;
}

// Open, one request, close: the request's result.
int card_request(const CardRow &row, const char *path, void *record, char letter)
{
    if (!args_ok(row, path, record, letter))
        return ASMF_ERR_ARG;
    int fd = asmf_open_dev(path);
    if (fd < 0) {
        ADP_ERR("call asmf_open_dev fail.\n");
        return ASMF_ERR_OPEN_DEV;
    }
    int rc = host_ioctl(fd, asmf_card_request(row.req, static_cast<uint8_t>(letter)), record);
    if (rc == -1) {
        if (row.failure == nullptr)
            ADP_ERR("get ifep verson fail.\n");
        else
            ADP_ERR("%s ret=%d\n", row.failure, rc);
    }
    asmf_close_dev(fd);
    return rc;
}

// Version texts: the request into a local buffer, then a bounded copy.
int card_version(const CardRow &row, const char *path, char *text, char letter)
{
    char local[ASMF_VERSION_LEN] = {};
    int rc = card_request(row, path, text != nullptr ? local : nullptr, letter);
    if (rc < 0)
        return rc;
    if (KelvoErr err = strncpy_s(text, ASMF_VERSION_LEN, local, ASMF_VERSION_LEN))
        return err;
    return rc;
}

void wait_seconds(long seconds)
{
    timeval tv{seconds, 0};
    host().select(0, nullptr, nullptr, nullptr, &tv);
}

int hotplug_request(int fd, uint8_t number, void *arg)
{
    return host_ioctl(fd, asmf_hotplug_request(number), arg);
}

} // namespace

int asmf_fpga_get_ifep_version(const char *path, char *text, char letter) { return card_version(kIfepVersion, path, text, letter); }
int asmf_fpga_get_firmware_version(const char *path, char *text, char letter) { return card_version(kFwVersion, path, text, letter); }
int asmf_fpga_get_function(const char *path, uint32_t *value, char letter) { return card_request(kFunction, path, value, letter); }
int asmf_fpga_get_pcie_info(const char *path, void *info8, char letter) { return card_request(kPcieInfo, path, info8, letter); }
int asmf_fpga_get_res_state(const char *path, void *state12, char letter) { return card_request(kResState, path, state12, letter); }
int asmf_fpga_get_traffic_stat(const char *path, void *stat256, char letter) { return card_request(kTraffic, path, stat256, letter); }
int asmf_fpga_get_alh_cfg(const char *path, uint32_t *value, char letter) { return card_request(kGetAlh, path, value, letter); }
int asmf_fpga_set_alh_cfg(const char *path, uint32_t *value, char letter) { return card_request(kSetAlh, path, value, letter); }
int asmf_fpga_get_lazy_cfg(const char *path, uint32_t *value, char letter) { return card_request(kGetLazy, path, value, letter); }
int asmf_fpga_set_lazy_cfg(const char *path, uint32_t *value, char letter) { return card_request(kSetLazy, path, value, letter); }
int asmf_fpga_get_levle_cfg(const char *path, AsmfLevelCfg *cfg, char letter) { return card_request(kGetLevel, path, cfg, letter); }
int asmf_fpga_set_levle_cfg(const char *path, AsmfLevelCfg *cfg, char letter) { return card_request(kSetLevel, path, cfg, letter); }
int asmf_fpga_clr_traffic_stat(const char *path, uint32_t *word, char letter) { return card_request(kClrTraffic, path, word, letter); }
int asmf_fpga_sent_task(const char *path, FpgaTaskDesc *desc, char letter) { return card_request(kSendTask, path, desc, letter); }
int asmf_fpga_exc_soft_reset(const char *path, uint32_t *word, char letter) { return card_request(kSoftReset, path, word, letter); }
int asmf_fpga_read_4byte_reg(const char *path, AsmfRegReq *reg, char letter) { return card_request(kReadReg, path, reg, letter); }
int asmf_fpga_write_4byte_reg(const char *path, AsmfRegReq *reg, char letter) { return card_request(kWriteReg, path, reg, letter); }
int asmf_fpga_write_lastword(const char *path, uint32_t *value, char letter) { return card_request(kLastword, path, value, letter); }
int asmf_fpga_test_reg(const char *path, uint32_t *value, char letter) { return card_request(kTestReg, path, value, letter); }

int asmf_fpga_hotplug(void *arg)
{
    if (arg == nullptr) {
        ADP_ERR("arg is NULL.\n");
        return ASMF_ERR_ARG;
    }
    int fd = asmf_open_dev(ASMF_HOTPLUG_NODE);
    if (fd < 0)
        return ASMF_ERR_OPEN_DEV;
    int rc = hotplug_request(fd, ASMF_HP_ADD, arg);
    if (rc == -1) {
        ADP_ERR("hotplug add fail. ret=%d\n", rc);
        asmf_close_dev(fd);
        return rc;
    }
    wait_seconds(5);
    rc = hotplug_request(fd, ASMF_HP_REMOVE, arg);
    for (int tries = 2; rc == -1 && tries >= 0; tries--) {
        wait_seconds(3);
        rc = hotplug_request(fd, ASMF_HP_REMOVE, arg);
        if (rc == -1)
            ADP_ERR("hotplug remove fail. try_count=%d, ret=%d\n", tries, rc);
    }
    wait_seconds(1);
    asmf_close_dev(fd);
    return rc;
}

int asmf_fpga_get_ifep_hs_version(char *text)
{
    if (text == nullptr) {
        ADP_ERR("hs_version is NULL.");
        return ASMF_ERR_ARG;
    }
    int fd = asmf_open_dev(ASMF_HOTPLUG_NODE);
    if (fd < 0)
        return ASMF_ERR_OPEN_DEV;
    char local[ASMF_VERSION_LEN] = {};
    int rc = hotplug_request(fd, ASMF_HP_HS_VERSION, local);
    asmf_close_dev(fd);
    if (rc == -1) {
        ADP_ERR("get ifep hs verson fail.\n");
        return -1;
    }
    if (KelvoErr err = strncpy_s(text, ASMF_VERSION_LEN, local, ASMF_VERSION_LEN))
        return err;
    return 0;
}

int asmf_open_dev(const char *path)
{
    int fd = host_open(path, O_RDWR);
    if (fd < 0)
        ADP_ERR("Error: Failed to open device %s. %s\n", path, strerror(errno));
    return fd;
}

void asmf_close_dev(int fd) { host().close(fd); }

pid_t asmf_gettid() { return host().gettid(); }

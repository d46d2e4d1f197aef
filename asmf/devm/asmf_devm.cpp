#include "asmf/devm/asmf_devm.h"

#include <cctype>
#include <cstdio>
#include <cstring>
#include <string_view>

#include "asmf/adapter/asmf_adapter.h"
#include "asmf/adapter/asmf_res.h"
#include "asmf/asmf_log.h"
#include "asmf/transeiver/asmf_transeiver.h"
#include "kelvo/kelvo.h"

#define DEVM_ERR(fmt, ...) ASMF_LOG(ASMF_PRI_ERR, "devm/asmf_devm.c", "<asmf_devm-ERR>", fmt __VA_OPT__(, ) __VA_ARGS__)

namespace {

// The card's record, fetched by id; 0 when it is an FPGA card.
int fetch_card(uint32_t id, AsmfDevRecord &rec)
{
    std::memset(&rec, 0, sizeof rec);
    rec.queryId = id;
    int rc = asmf_get_dev_by_dev_id(&rec);
    if (rc != 0) {
        DEVM_ERR("call asmf_get_dev_by_dev_id fail. ret=%d\n", rc);
        return rc;
    }
    asmf_dev_entry_terminate(&rec.dev);
    if (rec.dev.devType != 0) {
        DEVM_ERR("device type(%d) not support.", static_cast<int>(rec.dev.devType));
        return ASMF_DEVM_ERR_TYPE;
    }
    return 0;
}

using CardCall = int (*)(const char *path, void *record, char letter);

// The common steps: the record, the type check, one request on the node.
int devm_request(uint32_t id, CardCall call, void *record, const char *failure)
{
    AsmfDevRecord rec;
    if (int rc = fetch_card(id, rec))
        return rc;
    int rc = call(rec.dev.path, record, rec.dev.letter);
    if (rc != 0)
        DEVM_ERR("call %s fail. ret=%d\n", failure, rc);
    return rc;
}

template <auto Fn, typename T> int call_as(const char *path, void *record, char letter)
{
    return Fn(path, static_cast<T *>(record), letter);
}

int null_arg(const void *p, const char *text)
{
    if (p != nullptr)
        return 0;
    DEVM_ERR("%s", text);
    return ASMF_ERR_ARG;
}

// A word request whose answer is kept as one byte for the caller.
int get_byte(uint32_t id, uint8_t *out, CardCall call, const char *failure)
{
    if (int rc = null_arg(out, "value is NULL"))
        return rc;
    uint32_t word = 0;
    int rc = devm_request(id, call, &word, failure);
    if (rc == 0)
        *out = static_cast<uint8_t>(word);
    return rc;
}

// A device name goes into a shell command: letters, digits, '_', '-', '.'.
bool name_is_safe(std::string_view name)
{
    if (name.empty())
        return false;
    for (char c : name)
        if (std::isalnum(static_cast<unsigned char>(c)) == 0 && c != '_' && c != '-' && c != '.')
            return false;
    return true;
}

int read_answer(char *path256)
{
    char answer[64];
    if (sprintf_s(answer, sizeof answer, "%s%s", ASMF_LASTWORD_DIR, ASMF_LASTWORD_ANSWER) < 0)
        return ASMF_DEVM_ERR_OPEN;
    FILE *f = host().fopen(answer, "r");
    if (f == nullptr) {
        DEVM_ERR("Call open %s failed", answer);
        return ASMF_DEVM_ERR_OPEN;
    }
    std::memset(path256, 0, ASMF_LASTWORD_LEN);
    char line[128];
    while (std::fgets(line, sizeof line, f) != nullptr) {
        int n = snprintf_s(path256, ASMF_LASTWORD_LEN, 128, "%s%s", ASMF_LASTWORD_DIR, line);
        if (n < 0) {
            DEVM_ERR("call snprintf_s err(%d) ##dest(0x%p),##destMax(%ld),##count(%ld).\n", n,
                     static_cast<void *>(path256), static_cast<long>(ASMF_LASTWORD_LEN), 128L);
            break;
        }
    }
    std::fclose(f);
    return 0;
}

} // namespace

int asmf_set_levle_cfg(uint32_t id, AsmfLevelCfg *level)
{
    if (int rc = null_arg(level, "level is NULL"))
        return rc;
    return devm_request(id, call_as<asmf_fpga_set_levle_cfg, AsmfLevelCfg>, level, "asmf_fpga_set_levle_cfg");
}

int asmf_get_levle_cfg(uint32_t id, AsmfLevelCfg *level)
{
    if (int rc = null_arg(level, "level is NULL"))
        return rc;
    return devm_request(id, call_as<asmf_fpga_get_levle_cfg, AsmfLevelCfg>, level, "asmf_fpga_get_levle_cfg");
}

int asmf_set_lazy_cfg(uint32_t id, uint32_t value)
{
    return devm_request(id, call_as<asmf_fpga_set_lazy_cfg, uint32_t>, &value, "asmf_fpga_set_lazy_cfg");
}

int asmf_get_lazy_cfg(uint32_t id, uint8_t *value)
{
    return get_byte(id, value, call_as<asmf_fpga_get_lazy_cfg, uint32_t>, "asmf_fpga_get_lazy_cfg");
}

int asmf_set_alh_cfg(uint32_t id, uint32_t value)
{
    return devm_request(id, call_as<asmf_fpga_set_alh_cfg, uint32_t>, &value, "asmf_fpga_set_alh_cfg");
}

int asmf_get_alh_cfg(uint32_t id, uint8_t *value)
{
    return get_byte(id, value, call_as<asmf_fpga_get_alh_cfg, uint32_t>, "asmf_fpga_get_alh_cfg");
}

int asmf_clr_traffic_stat(uint32_t id)
{
    uint32_t word = 0;
    return devm_request(id, call_as<asmf_fpga_clr_traffic_stat, uint32_t>, &word, "asmf_fpga_clr_traffic_stat");
}

int asmf_get_traffic_stat(uint32_t id, void *stat256)
{
    if (int rc = null_arg(stat256, "asmf_stat is NULL"))
        return rc;
    return devm_request(id, asmf_fpga_get_traffic_stat, stat256, "asmf_fpga_get_traffic_stat");
}

int asmf_test_reg(uint32_t id, uint32_t value)
{
    return devm_request(id, call_as<asmf_fpga_test_reg, uint32_t>, &value, "asmf_fpga_test_reg");
}

int asmf_write_4byte_reg(uint32_t id, uint32_t address, uint32_t value)
{
    AsmfRegReq reg{address, value};
    return devm_request(id, call_as<asmf_fpga_write_4byte_reg, AsmfRegReq>, &reg, "asmf_fpga_write_4byte_reg");
}

int asmf_read_4byte_reg(uint32_t id, uint32_t address, uint32_t *value)
{
    if (int rc = null_arg(value, "reg_value is NULL"))
        return rc;
    AsmfRegReq reg{address, 0};
    int rc = devm_request(id, call_as<asmf_fpga_read_4byte_reg, AsmfRegReq>, &reg, "asmf_fpga_read_4byte_reg");
    if (rc == 0)
        *value = reg.value;
    return rc;
}

int asmf_write_lastword(uint32_t id)
{
    uint32_t value = 1;
    return devm_request(id, call_as<asmf_fpga_write_lastword, uint32_t>, &value, "asmf_fpga_write_lastword");
}

int asmf_collect_Info(uint32_t id)
{
    uint32_t value = 0;
    return devm_request(id, call_as<asmf_fpga_write_lastword, uint32_t>, &value, "asmf_fpga_write_lastword");
}

int asmf_soft_reset(uint32_t id)
{
    uint32_t word = 0;
    return devm_request(id, call_as<asmf_fpga_exc_soft_reset, uint32_t>, &word, "asmf_fpga_exc_soft_reset");
}

int asmf_get_lastword(uint32_t id, char *path256)
{
    if (int rc = null_arg(path256, "pcFilePath is NULL"))
        return rc;
    AsmfDevRecord rec;
    if (int rc = fetch_card(id, rec))
        return rc;
    const char *name = rec.dev.name;
    if (!name_is_safe(name)) {
        DEVM_ERR("device name(%s) is invalid.", name);
        return ASMF_ERR_ARG;
    }
    char command[4096];
    int n = sprintf_s(command, sizeof command,
                      "cd %s && ls -alcr %s* >/dev/null && ls -alcr %s*  | head -n 1 | awk '{printf $9}' > %s",
                      ASMF_LASTWORD_DIR, name, name, ASMF_LASTWORD_ANSWER);
    if (n < 0)
        return n;
    if (host().system(command) != 0) {
        DEVM_ERR("Call %s failed", command);
        return ASMF_DEVM_ERR_SHELL;
    }
    return read_answer(path256);
}

int asmf_receive_om_msg(int sock, int timeout, OmMsg *msg)
{
    if (int rc = null_arg(msg, "nl_msg is NULL"))
        return rc;
    std::memset(msg, 0, sizeof *msg);
    int rc = asmf_recv_from_sock(sock, timeout, msg, sizeof *msg);
    if (rc != 0) {
        DEVM_ERR("call asmf_receive_from_kernel fail. ret=%d", rc);
        return rc;
    }
    DEVM_ERR("receive msg from kernel. cmd_type=%d", static_cast<int>(msg->cmdType));
    msg->text[sizeof msg->text - 1] = '\0';
    DEVM_ERR("%s", msg->text);
    return 0;
}

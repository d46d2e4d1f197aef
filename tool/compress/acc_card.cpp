// Card registers, the LPC window, driver bookkeeping, the running logic
// version, the card's DDR, PCIe and flash tests and the logic load.
#include <array>
#include <cstdio>
#include <cstring>
#include <string_view>

#include "asmf/interface/asmf_interface.h"
#include "tool/compress/compress.h"
#include "tool/load/lpc_window.h"
#include "tool/load/spi_flash.h"

namespace {

constexpr int32_t kAccFlash = 0;
constexpr uint32_t kAccFpgaType = 1;
constexpr uint32_t kAccLoadType = 1;
constexpr uint32_t kAccResId = 0xFF;
constexpr uint32_t kAccAllPids = 0xFFFFFFFFu;
constexpr uint32_t kTurnSeconds = 15;
constexpr int32_t kDdrRoundSeconds = 180;
constexpr size_t kPathSize = 256;  // up to 255 characters

// A card test's result record: per channel `stride` words, the state first
// (0 passed, 1 still running, 2 failed).
struct DiagStep {
    const char *name;
    unsigned channels;
    unsigned stride;
    int (*run)(uint32_t *record, uint32_t seconds);
};

using DiagRecord = std::array<uint32_t, 25>;

int self_check(uint32_t *record, uint32_t) { return oxcompDdrSelfCheck(kAccCard, record); }
int turn_test(uint32_t *record, uint32_t) { return oxcompDdrTurnTest(kAccCard, record, kTurnSeconds); }
int pcie_test(uint32_t *record, uint32_t seconds) { return oxcompDdrPcieTest(kAccCard, record, seconds); }

constexpr DiagStep kDdrSteps[] = {
    {"oxcompDdrSelfCheck", 5, 3, self_check},
    {"oxcompDdrTurnTest", 5, 5, turn_test},
};
constexpr DiagStep kPcieStep = {"oxcompDdrPcieTest", 2, 3, pcie_test};

// A call that returned 0 has still failed when a channel did not pass.
bool channels_passed(const DiagStep &step, const DiagRecord &record)
{
    bool passed = true;
    for (unsigned n = 0; n < step.channels; n++) {
        const uint32_t state = record[n * step.stride];
        if (state != 0) {
            std::printf("%s channel %u state %u\n\n", step.name, n, state);
            passed = false;
        }
    }
    return passed;
}

// One card test: its status, or -1398 for a channel that did not pass.
TransOpStatus run_diag(const DiagStep &step, uint32_t seconds)
{
    DiagRecord record{};
    const int ret = step.run(record.data(), seconds);
    if (ret == 0 && channels_passed(step, record))
        return 0;
    std::printf("%s failed,ret = %d\n\n", step.name, ret);
    return kAccDdrFailed;
}

TransOpStatus ddr_rounds(uint32_t rounds)
{
    if (TransOpStatus ret = acc_api_init())
        return ret;
    for (uint32_t round = 0; round < rounds; round++) {
        for (const DiagStep &step : kDdrSteps)
            if (TransOpStatus ret = run_diag(step, 0))
                return ret;
        std::printf("Test %u time success! \n\n", round);
    }
    return 0;
}

TransOpStatus pcie_loop(uint32_t seconds)
{
    if (TransOpStatus ret = acc_api_init())
        return ret;
    return run_diag(kPcieStep, seconds);
}

// The running version from the firmware text: " ver_" and hexadecimal
// digits v behind it give (v & 0xF) + ((v >> 4) & 0xF) x 100.
TransOpStatus print_run_ver(const char (&firmware)[OXCOMP_VERSION_SLOT])
{
    const std::string_view text(firmware, strnlen(firmware, sizeof firmware));
    const size_t at = text.find(" ver_");
    if (at == std::string_view::npos) {
        std::printf("parse running version fail! ");
        return kAccVersionText;
    }
    char digits[OXCOMP_VERSION_SLOT] = {};
    const std::string_view rest = text.substr(at + 5);
    std::memcpy(digits, rest.data(), rest.size());
    uint32_t v = 0;
    if (sscanf_s(digits, "%x", &v) != 1) {
        std::printf("scan running version fail! ");
        return kAccVersionText;  // a failed scan is a failure, whatever it counted
    }
    const uint32_t run = (v & 0xFu) + ((v >> 4) & 0xFu) * 100;
    std::printf("run_ver:%03u\n\n", run);
    return 0;
}

}  // namespace

TransOpStatus acc_read_reg(const char *params)
{
    uint32_t addr = 0;
    const int ret = sscanf_s(params, "0x%x", &addr);
    if (ret != 1)
        return acc_bad_input(ACC_SITE("acc_read_reg"), ret);
    uint32_t data = 0;
    if (const int st = oxcompReadDwordReg(kAccCard, addr, &data)) {
        trans_failed();
        std::printf("Function oxcompReadDwordReg addr 0x%x exe error, iRet = %d\n", addr, st);
        return st;
    }
    std::printf("Read reg addr 0x%x  data 0x%x \n", addr, data);
    trans_success();
    return 0;
}

TransOpStatus acc_write_reg(const char *params)
{
    uint32_t addr = 0, data = 0;
    const int ret = sscanf_s(params, "0x%x:0x%x", &addr, &data);
    if (ret != 2)
        return acc_bad_input(ACC_SITE("acc_write_reg"), ret);
    if (const int st = oxcompWriteDwordReg(kAccCard, addr, data)) {
        trans_failed();
        std::printf("Function oxcompWriteDwordReg addr 0x%x data 0x%x error, iRet = %d\n", addr, data, st);
        return st;
    }
    std::printf("Write reg addr 0x%x  data 0x%x \n", addr, data);
    trans_success();
    return 0;
}

TransOpStatus acc_read_lpc(const char *params)
{
    uint32_t addr = 0;
    const int ret = sscanf_s(params, "0x%4x", &addr);
    if (ret != 1)
        return acc_bad_input(ACC_SITE("acc_read_lpc"), ret);
    const uint16_t lpc = cmd_u16(addr);
    uint8_t data = 0;
    if (const int st = lpc_addr_read(lpc, &data)) {
        trans_failed();
        std::printf("Function lpc_addr_read addr 0x%x exe error, iRet = %d\n", lpc, st);
        return st;
    }
    std::printf("Read lpc addr 0x%x  data 0x%x \n", lpc, data);
    trans_success();
    return 0;
}

TransOpStatus acc_write_lpc(const char *params)
{
    uint32_t addr = 0, data = 0;
    const int ret = sscanf_s(params, "0x%4x:0x%2x", &addr, &data);
    if (ret != 2)
        return acc_bad_input(ACC_SITE("acc_write_lpc"), ret);
    const uint16_t lpc = cmd_u16(addr);
    const uint8_t byte = cmd_u8(data);
    if (const int st = lpc_addr_write(lpc, byte)) {
        trans_failed();
        std::printf("Function lpc_addr_write addr 0x%x data 0x%x error, iRet = %d\n", lpc, byte, st);
        return st;
    }
    std::printf("Write lpc addr 0x%x  data 0x%x \n", lpc, byte);
    trans_success();
    return 0;
}

TransOpStatus acc_get_dis_res(const char *params)
{
    uint32_t id = 0;
    const int ret = sscanf_s(params, "0x%x", &id);
    if (ret != 1)
        return acc_bad_input(ACC_SITE("acc_get_dis_res"), ret);
    if (id != kAccResId)
        return kTransBadInput;
    if (const int st = oxcompShowDisResInfo()) {
        std::printf("oxcompShowDisResInfo failed,ret = %d\n\n", st);
        return kAccDriverInfo;
    }
    return 0;
}

TransOpStatus acc_get_pid_mem(const char *params)
{
    int32_t pid = 0;
    const int ret = sscanf_s(params, "%d", &pid);
    if (ret != 1)
        return acc_bad_input(ACC_SITE("acc_get_pid_mem"), ret);
    const uint32_t which = pid == 0 ? kAccAllPids : static_cast<uint32_t>(pid);
    if (const int st = oxcompShowPidMem(which)) {
        std::printf("oxcompShowPidMem failed,ret = %d\n\n", st);
        return kAccDriverInfo;
    }
    return 0;
}

TransOpStatus acc_get_fw_ver(const char *params)
{
    int32_t which = 0;
    const int ret = sscanf_s(params, "%d", &which);
    if (ret != 1)
        return acc_bad_input(ACC_SITE("acc_get_fw_ver"), ret);
    if (TransOpStatus st = acc_api_init())
        return st;
    if (which != 0) {
        std::printf("get run_ver failed!\n");
        return kTransBadInput;
    }
    oxcomp_version version{};
    if (const int st = oxcompGetVersion(&version)) {
        std::printf("call oxcompGetVersion fail! error=%d\n", st);
        return st;
    }
    return print_run_ver(version.slot[4]);
}

TransOpStatus acc_ddr_test(const char *params)
{
    int32_t unused = 0, seconds = 0;
    const int ret = sscanf_s(params, "%d:%d", &unused, &seconds);
    if (ret != 2)
        return acc_bad_input(ACC_SITE("acc_ddr_test"), ret);
    const TransOpStatus st = ddr_rounds(acc_rounds(seconds, kDdrRoundSeconds));
    std::printf(st == 0 ? "DDR test success!\n" : "DDR test failed!\n");
    return st;
}

TransOpStatus acc_pcie_loop_test(const char *params)
{
    int32_t seconds = 0;
    const int ret = sscanf_s(params, "%d", &seconds);
    // A negative time would reach the card as some 136 years.
    if (ret != 1 || seconds < 0)
        return acc_bad_input(ACC_SITE("acc_pcie_loop_test"), ret);
    const TransOpStatus st = pcie_loop(static_cast<uint32_t>(seconds));
    std::printf(st == 0 ? "Pcie loop test success!\n" : "Pcie loop test test failed!\n");
    return st;
}

TransOpStatus acc_flash_test(const char *params)
{
    int32_t unused = 0;
    const int ret = sscanf_s(params, "%d", &unused);
    if (ret != 1)
        return acc_bad_input(ACC_SITE("acc_flash_test"), ret);
    const int st = ruda_flash_test(kAccFlash, kAccFpgaType);
    std::printf(st == 0 ? "FPGA fw test success!\n" : "FPGA fw test failed!\n");
    return st;
}

TransOpStatus load_compress_logic_file(const char *params)
{
    char path[kPathSize] = {};
    const int ret = sscanf_s(params, "%s", path, unsigned(sizeof path));
    if (ret != 1)
        return acc_bad_input(ACC_SITE("load_compress_logic_file"), ret);
    if (const int st = ruda_fpga_load_file(kAccFlash, path, kAccFpgaType, kAccLoadType)) {
        std::printf("Function ruda_fpga_load_file exe error, iRet = %d [load_sbuf_logic_file] %s:%u\n", st, kAccFile,
                    unsigned(__LINE__));
        std::printf("FPGA fw load failed!\n");
        return st;
    }
    std::printf("FPGA fw load success!\n");
    return 0;
}

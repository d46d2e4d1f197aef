#include "tool/trans/fpga_test.h"

#include <cstdio>
#include <cstring>

#include "bases/host/host.h"
#include "boardlib/dorn_selftest.h"
#include "boardlib/kesp_selftest.h"
#include "boardlib/plov_fpga_intf.h"
#include "tool/load/spi_flash.h"
#include "tool/quorbix.h"
#include "tool/trans/logic_file.h"
#include "tool/trans/trans_cmd.h"
#include "tool/trans/transmit.h"

#define TEST_SITE(name) CmdSite{name, __FILE__, unsigned(__LINE__)}

namespace {

using ull = unsigned long long;

constexpr TransOpStatus kUnknownDevice = -1335;
constexpr TransOpStatus kUnsupportedBoard = -1205;
constexpr uint64_t kMaxRounds = 0xFFFF;

// ---- device tests ---------------------------------------------------------------------------------

// A device test: its result; lines of its own are printed by it. `bad` set
// when the count gives more rounds than the test takes.
using DeviceTest = int32_t (*)(uint32_t fpga, uint64_t count, bool *bad);

uint64_t rounds_of(uint64_t count, uint64_t per) { return (count + per - 1) / per; }

int32_t unsupported_board()
{
    std::fputs("unsuuport board\n", stdout);
    return kUnsupportedBoard;
}

// rounds = count / per rounded up; runs `dorn` or `kesp` with them (16 bits).
int32_t rounds_test(const char *name, uint64_t rounds, int32_t (*run)(uint32_t, uint16_t), uint32_t fpga)
{
    int32_t ret = run(fpga, static_cast<uint16_t>(rounds));
    std::printf("FPGA %s test times [%u]\n\n", name, unsigned(rounds));
    return ret;
}

int32_t dorn_ddr(uint32_t f, uint16_t r) { return TRANS_FpgaDdrTest(static_cast<FpgaId>(f), r); }
int32_t dorn_rldr(uint32_t f, uint16_t r) { return TRANS_FpgaRldramTest(static_cast<FpgaId>(f), r); }
int32_t dorn_qdr(uint32_t f, uint16_t r) { return TRANS_FpgaQdrTest(static_cast<FpgaId>(f), r); }
int32_t kesp_ddr(uint32_t, uint16_t r) { return KespDdrTest(0, r); }

int32_t ddr_test(uint32_t fpga, uint64_t count, bool *bad)
{
    const uint64_t rounds = rounds_of(count, 210);
    if ((*bad = rounds > kMaxRounds))
        return -1;
    switch (trans_board()) {
    case TransBoard::Dorn:
        return rounds_test("ddr", rounds, dorn_ddr, fpga);
    case TransBoard::Kesp:
        return rounds_test("ddr", rounds, kesp_ddr, fpga);
    default:
        return unsupported_board();
    }
}

int32_t rldr_test(uint32_t fpga, uint64_t count, bool *bad)
{
    const uint64_t rounds = rounds_of(count, 30);
    if ((*bad = rounds > kMaxRounds))
        return -1;
    switch (trans_board()) {
    case TransBoard::Dorn:
        return rounds_test("rldr", rounds, dorn_rldr, fpga);
    case TransBoard::Kesp:
        trans_line("KES unsuuport");
        return 0;
    default:
        return unsupported_board();
    }
}

int32_t qdr_test(uint32_t fpga, uint64_t count, bool *bad)
{
    const TransBoard board = trans_board();
    const uint64_t rounds = rounds_of(count, board == TransBoard::Kesp ? 70 : 30);
    if ((*bad = rounds > kMaxRounds))
        return -1;
    if (board == TransBoard::Dorn)
        return rounds_test("qdr", rounds, dorn_qdr, fpga);
    if (board != TransBoard::Kesp)
        return unsupported_board();
    int32_t ret = KespQdrTest(0, static_cast<uint32_t>(rounds));
    if (ret != 0)
        std::printf("KESP QDR test fail[%d] times[%d]\n\n", ret, int(rounds));
    else
        std::printf("FPGA qdr test times [%u]\n\n", unsigned(rounds));
    return ret;
}

void print_rounds(uint64_t passed, uint64_t failed)
{
    std::printf("SUCCESS:0x%llx\n", ull(passed));
    std::printf("FAILED:0x%llx\n", ull(failed));
}

// The logic-flash test: the board model comes from SMBIOS; rounds = count /
// 120 rounded up, each a test of the logic image in flash.
int32_t flash_dev_test(uint32_t fpga, uint64_t count, bool *)
{
    char product[kTransProductSize];
    const int32_t ret = trans_smbios_product(product);
    if (ret != 0)
        return ret;
    const bool dorn = std::strstr(product, "ZK17DORN") != nullptr;
    uint64_t passed = 0, failed = 0;
    for (uint64_t i = rounds_of(count, 120); i > 0; i--) {
        const int st = dorn ? ruda_flash_test(static_cast<int32_t>(fpga), 0) : ruda_flash_test(0, 1);
        (st == 0 ? passed : failed)++;
    }
    print_rounds(passed, failed);
    return failed != 0 ? -1 : 0;
}

// The register test: count rounds, each passing with status 0 and result 1.
int32_t fpga_reg_test(uint32_t fpga, uint64_t count, bool *)
{
    const TransBoard board = trans_board();
    if (board == TransBoard::Other)
        return unsupported_board();
    uint64_t passed = 0, failed = 0;
    for (uint64_t i = 0; i < count; i++) {
        uint8_t result = 0;
        int32_t ret = board == TransBoard::Dorn ? DornFpgaTestReg(static_cast<FpgaId>(fpga), &result)
                                                : KespFpgaTestReg(0, &result);
        (ret == 0 && result == 1 ? passed : failed)++;
    }
    print_rounds(passed, failed);
    return failed != 0 ? -1 : 0;
}

// The names in their order.
struct DeviceRow {
    const char *name;
    DeviceTest test;
};
constexpr DeviceRow fpga_device_names[] = {
    {"ddr", ddr_test}, {"rldr", rldr_test}, {"qdr", qdr_test}, {"flash", flash_dev_test}, {"fpga", fpga_reg_test}, {"", nullptr},
};

const DeviceRow *device_row(const char *name)
{
    for (const DeviceRow &r : fpga_device_names)
        if (r.test != nullptr && std::strcmp(r.name, name) == 0)
            return &r;
    return nullptr;
}

TransOpStatus device_test(const char *params, uint32_t fpga, const char *handler)
{
    char name[128] = {};
    unsigned count = kCmdUnset;
    const int ret = sscanf_s(params, "%[^:]:%u", name, unsigned(sizeof name), &count);
    if (ret < 1 || !cmd_given(count)) {
        cmd_invalid_line(TEST_SITE(handler), ret);
        return -1;
    }
    const DeviceRow *row = device_row(name);
    if (row == nullptr) {
        cmd_invalid_line(TEST_SITE(handler), ret);
        return kUnknownDevice;
    }
    bool bad = false;
    const int32_t result = row->test(fpga, count, &bad);
    if (bad) {
        cmd_invalid_line(TEST_SITE(handler), ret);
        return -1;
    }
    std::printf(result == 0 ? "FPGA%u %s Test Pass\n\n" : "FPGA%u %s Test Failed\n\n", unsigned(fpga), name);
    return result;
}

// ---- loop tests -------------------------------------------------------------------------------------

enum LoopType : int { kBp = 0, kFront = 1, kSbuf = 2, kDsp = 3, kNone = -1 };
constexpr const char *kLoopNames[] = {"bp", "front", "sbuf", "dsp"};
constexpr const char *kLoopConfig = "/home/test/trans/transmit_config.txt";

// The last name that agrees with `given` over the length of `given`.
int loop_type(const char *given)
{
    int type = kNone;
    for (int i = 0; i < 4; i++)
        if (std::strncmp(kLoopNames[i], given, std::strlen(given)) == 0)
            type = i;
    return type;
}

bool in(int v, int lo, int hi) { return v >= lo && v <= hi; }

TransOpStatus check_loop_input(uint32_t fpga, int type, int time, int port)
{
    bool ok = time >= 1 && port >= 0 && type != kNone;
    if (ok && fpga == 0) {
        if (type == kBp || type == kFront)
            ok = in(port, 0, 7) || port == 255;
        else if (type == kSbuf)
            ok = in(port, 8, 11) || port == 255;
        else
            ok = port <= 254;   // 255 would start the sender for good
    } else if (ok) {
        ok = type == kBp && (in(port, 0, 3) || port == 255);
    }
    if (ok)
        return 0;
    cmd_invalid_line_short(TEST_SITE("check_loop_input"));
    return kTransBadInput;
}

TransOpStatus kesp_check_loop_input(uint32_t fpga, int type, int time, int port)
{
    if (time < 1 || port < 0 || type == kNone || fpga != 0) {
        cmd_invalid_at(CmdSite{"kesp_check_loop_input", __FILE__, unsigned(__LINE__)},
                       "  iTime = %d, iPort = %d, iLoopType= %d\n", time, port, type);
        return kTransBadInput;
    }
    if ((type == kBp || type == kFront) && port > 3 && port != 255) {
        cmd_invalid_line_short(TEST_SITE("kesp_check_loop_input"));
        return kTransBadInput;
    }
    return 0;
}

int shell(const char *command)
{
    std::fflush(stdout);
    int ret = host().system(command);
    if (ret == 127 || ret == -1) {
        const char *shown = std::strncmp(command, "cd /home/test/trans;", 20) == 0 ? command + 20 : command;
        std::printf("system (%s) fail, error=%d\n", shown, ret);
    }
    return ret;
}

TransOpStatus kesp_loop(uint32_t fpga, int type, int time, int port)
{
    std::printf("kesp loop test\n");
    const auto t = static_cast<uint32_t>(time), p = static_cast<uint32_t>(port);
    switch (type) {
    case kBp:
        return KespPortTest(static_cast<FpgaId>(fpga), 0, p, t);
    case kFront:
        return KespPortTest(static_cast<FpgaId>(fpga), 1, p, t);
    case kDsp: {
        std::fflush(stdout);
        int ret = host().system("cd /home/test/trans;./send_dsp.sh");
        host().sleep(t);
        return ret;
    }
    default:
        std::printf("loop type error %d\n", type);
        return kUnsupportedBoard;
    }
}

TransOpStatus dorn_loop(uint32_t fpga, int type, int time, int port)
{
    shell("rm -rf /opt/*vec_err*");
    shell("cd /home/test/trans;chmod +x send_packet.sh");
    if (port != 255 || type == kDsp)
        return transmit_config(kLoopConfig, static_cast<uint32_t>(port), static_cast<uint32_t>(time), fpga);
    const int script = type == kBp ? static_cast<int>(fpga != 0) : type == kFront ? 2 : 3;
    char command[64] = {};
    snprintf_s(command, sizeof command, sizeof command - 1, "cd /home/test/trans;./send_packet.sh %d", script);
    std::fflush(stdout);
    const int ret = host().system(command);
    host().sleep(static_cast<unsigned>(time));
    shell(script == 1 ? "echo 0 > /sys/class/net/trans1/test/start" : "echo 0 > /sys/class/net/trans0/test/start");
    // A failed script is reported once, by the caller's failure line.
    return ret != 0 ? ret : check_loop_result();
}

TransOpStatus loop_test(const char *params, uint32_t fpga, const char *handler)
{
    char name[10] = {};
    int time = -1, port = -1;
    const int ret = sscanf_s(params, "%[^:]:%d:%d", name, unsigned(sizeof name), &time, &port);
    if (ret != 3) {
        cmd_invalid_line(TEST_SITE(handler), ret);
        return kTransBadInput;
    }
    const int type = loop_type(name);
    const TransBoard board = trans_board();
    if (board == TransBoard::Other) {
        trans_line("Invalid board type");
        return kUnsupportedBoard;
    }
    TransOpStatus st = board == TransBoard::Dorn ? check_loop_input(fpga, type, time, port)
                                                 : kesp_check_loop_input(fpga, type, time, port);
    if (st != 0)
        return st;
    if (board == TransBoard::Kesp)
        st = kesp_loop(fpga, type, time, port);
    else
        st = dorn_loop(fpga, type, time, port);
    if (st == 0)
        std::printf("%s Loop success!\n\n", kLoopNames[type]);
    else
        std::printf("%s Loop failed! iRet = %d please check [%s] %s:%u\n", kLoopNames[type], st, handler, __FILE__,
                    unsigned(__LINE__));
    return st;
}

// ---- controller state ---------------------------------------------------------------------------------

TransOpStatus controller_state(uint32_t fpga)
{
    uint32_t state = 0;
    const PlovStatus ret = PlovTransGetControllerDeviceState(static_cast<FpgaId>(fpga), &state);
    if (ret != 0)
        return trans_op_failed("PlovTransGetControllerDeviceState", ret);
    trans_success();
    std::printf(state == 1 ? "Trans Fpga Test Passed! state:%d\n" : "Trans Fpga Test Failed! state:%d\n", int(state));
    return 0;
}

}  // namespace

TransOpStatus get_trans_device_test_result(const char *params)
{
    return device_test(params, 0, "get_trans_device_test_result");
}

TransOpStatus get_sbuf_device_test_result(const char *params)
{
    return device_test(params, 1, "get_sbuf_device_test_result");
}

TransOpStatus get_trans_loop_test_result(const char *params)
{
    return loop_test(params, 0, "get_trans_loop_test_result");
}

TransOpStatus get_sbuf_loop_test_result(const char *params)
{
    return loop_test(params, std::strstr(gBoardName, "ZK17KESP") != nullptr ? 0 : 1,
                     "get_sbuf_loop_test_result");
}

TransOpStatus get_trans_controller_device_state(const char *) { return controller_state(0); }
TransOpStatus get_sbuf_controller_device_state(const char *) { return controller_state(1); }

TransOpStatus get_tcam_device_test_result(const char *params)
{
    char word[16] = {};
    int count = -1;
    const int ret = sscanf_s(params, "%[^:]:%d", word, unsigned(sizeof word), &count);
    const bool given = count != -1;
    const uint64_t rounds = given ? rounds_of(static_cast<uint64_t>(count < 0 ? 0 : count), 5) : 1;
    if (std::strcmp(word, "a") != 0 || (given && (count < 1 || rounds > kMaxRounds))) {
        std::printf("Invalid input, command is wrong, iRet = %d!\n\n", ret);
        return kTransBadInput;
    }
    const PlovStatus st = TRANS_FpgaTcamTest(0, static_cast<uint16_t>(rounds));
    if (st != 0) {
        std::printf("TCAM Test [%llu]times Failed\n\n", ull(rounds));
        return st;
    }
    std::printf("TCAM Test [%llu]times Pass\n\n", ull(rounds));
    return 0;
}

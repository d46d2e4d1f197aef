#include "tool/trans/transmit.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/mman.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <new>

#include "bases/host/host.h"
#include "boardlib/media_intf.h"
#include "tool/trans/trans_cmd.h"
#include "tool/quorbix.h"

// The place a console line names: function, file, line.
#define TX_AT(name) name, __FILE__, unsigned(__LINE__)

namespace {

using ull = unsigned long long;

constexpr int32_t kOpenFailed = -1216;
constexpr int32_t kParseFailed = -1218;
constexpr int32_t kNoMemory = -1209;
constexpr uint8_t kValid = 0xE1;
constexpr uint32_t kAllPorts = 255;
constexpr size_t kTextSize = 256;
constexpr size_t kPrintPathMax = 127;
constexpr uint32_t kDornQueueLimit = 128;
constexpr uint64_t kDornPacketStride = 512;
constexpr uint32_t kKespQueueLimit = 32;     // at most
constexpr uint32_t kKespPayloadMax = 496;
constexpr uint32_t kMailboxHeadLen = 16;
constexpr uint8_t kDmacBit = 0x4;

// ---- shell commands ---------------------------------------------------------------------------------

// Runs a command with standard output flushed first; 127 or -1 prints the line.
int run_command(const char *command)
{
    std::fflush(stdout);
    int ret = host().system(command);
    if (ret == 127 || ret == -1)
        std::printf("system (%s) fail, error=%d\n", command, ret);
    return ret;
}

int start_sender(uint32_t fpga, bool on)
{
    char command[64] = {};
    snprintf_s(command, sizeof command, sizeof command - 1, "echo %d > %s", on ? 1 : 0, kTransmitStartFile[fpga != 0]);
    return run_command(command);
}

// ---- start file -------------------------------------------------------------------------------------

int32_t get_file_data(uint32_t fpga, uint64_t *cAddr, uint64_t *dAddr)
{
    const int n = fpga != 0 ? 1 : 0;
    char command[64] = {};
    snprintf_s(command, sizeof command, sizeof command - 1, "cat %s", kTransmitStartFile[n]);
    std::fflush(stdout);
    FILE *p = host().popen(command, "r");
    if (p == nullptr) {
        trans_failed();
        std::printf("Popen failed, errno = %d [%s] %s:%u\n", errno, TX_AT("get_file_data"));
        return kOpenFailed;
    }
    char text[kTextSize] = {};
    const size_t size = std::fread(text, 1, kTextSize - 1, p);
    host().pclose(p);
    if (size == 0) {
        std::printf("Read File /sys/class/net/trans%d/test/start failed, size = %d, [%s] %s:%u\n", n, int(size),
                    TX_AT("get_file_data"));
        return kParseFailed;
    }
    unsigned long long flag = 0, c = 0, d = 0;
    const int ret = sscanf_s(text, "Flag: %llx\tCAddr: %llx\tDAddr: %llx", &flag, &c, &d);
    if (ret < 3) {
        std::printf("Parse File /sys/class/net/trans%d/test/start failed, iRet = %d, [%s] %s:%u\n", n, ret,
                    TX_AT("get_file_data"));
        return kParseFailed;
    }
    std::printf("Get config data addr %llx, packet addr %llx\n\n", c, d);
    *cAddr = c;
    *dAddr = d;
    return 0;
}

// ---- the configuration file ---------------------------------------------------------------------------

struct TxRun {
    uint32_t port;
    uint32_t seconds;
    uint32_t fpga;
    TransmitDesc d{};
    TransmitDesc *shared = nullptr;
    uint8_t *packets = nullptr;
    uint32_t txQueue = 0;          // as read, before the division
    unsigned sub[2][9] = {};
    char line[kTextSize] = {};
    char key[kTextSize] = {};
    char value[kTextSize] = {};
    char scratch[kTextSize] = {};
};

int32_t bad(const char *what)
{
    std::fputs(what, stdout);
    return kTransBadInput;
}

// ---- keys -------------------------------------------------------------------------------------------------

enum class KeyKind { U8, U32, I8, FpgaId, TxQueue, TransRules, Dmac, SrcFile, PrintFile, DspConfig };

struct KeyRow {
    const char *key;
    KeyKind kind;
    size_t offset;         // field of the descriptor (U8, U32, I8) or sub-board (DspConfig)
    const char *failLine;  // printed with (value, iRet, name, file, line), or without the value
    bool withValue;
};

constexpr KeyRow kKeys[] = {
    {"fpga_id", KeyKind::FpgaId, 1, "Parse fpag_id failed, value = %s,iRet = %d  [%s] %s:%u\n", true},
    {"port_id", KeyKind::U8, 2, "Parse port_id failed,value = %s, iRet = %d  [%s] %s:%u\n", true},
    {"loop_mod", KeyKind::U8, 3, "Parse loop_mod failed,value = %s, iRet = %d  [%s] %s:%u\n", true},
    {"loop_queue_id", KeyKind::U8, 4, "Parse loop_queue_id failed, value = %s, iRet = %d  [%s] %s:%u\n", true},
    {"tx_queue_id", KeyKind::TxQueue, 5, "Parse tx_queue_id failed,value = %s,  iRet = %d  [%s] %s:%u\n", true},
    {"rx_queue_id", KeyKind::U8, 7, "Parse rx_queue_id failed, value = %s, iRet = %d  [%s] %s:%u\n", true},
    {"packet_num", KeyKind::U32, 8, "Parse packet_num failed,value = %s,  iRet = %d  [%s] %s:%u\n", true},
    {"send_intervial", KeyKind::U32, 12, "Parse send_intervial failed, value = %s, iRet = %d  [%s] %s:%u\n", true},
    {"checksum_switch", KeyKind::U8, 231, "Parse checksum_enable_flag failed, value = %s, iRet = %d [%s] %s:%u\n",
     true},
    {"checksum_start", KeyKind::U32, 232, "Parse checksum_start failed, value = %s, iRet = %d [%s] %s:%u\n", true},
    {"checksum_len", KeyKind::U32, 236, "Parse checksum_len failed, value = %s, iRet = %d [%s] %s:%u\n", true},
    {"pkgtype", KeyKind::U8, 230, "Parse pkgtype failed, value = %s, iRet = %d [%s] %s:%u\n", true},
    {"trans_rules", KeyKind::TransRules, 16, "Parse trans_rules failed,value = %s, iRet = %d  [%s] %s:%u\n", true},
    {"dmac", KeyKind::Dmac, 32, nullptr, true},
    {"pkg_print_flag", KeyKind::U8, 6, "Parse pkg_print_flag failed, value = %s,iRet = %d  [%s] %s:%u\n", true},
    {"pkg_src_file", KeyKind::SrcFile, 56, nullptr, true},
    {"pkg_print_file", KeyKind::PrintFile, 64, nullptr, true},
    {"dsp_id", KeyKind::U8, 25, "Parse dsp_id failed, value = %s,iRet = %d  [%s] %s:%u\n", true},
    {"core_id", KeyKind::U8, 26, "Parse dsp_id failed, value = %s,iRet = %d  [%s] %s:%u\n", true},
    {"mailbox_id", KeyKind::U8, 27, "Parse dsp_id failed, value = %s,iRet = %d  [%s] %s:%u\n", true},
    {"subboard0_dsp_config", KeyKind::DspConfig, 0, "Parse subboard0_dsp_config failed,iRet = %d  [%s] %s:%u\n", false},
    {"subboard1_dsp_config", KeyKind::DspConfig, 1, "Parse subboard1_dsp_config failed,iRet = %d  [%s] %s:%u\n", false},
    {"tx_all_dsp_flag", KeyKind::I8, 224, "Parse tx_all_dsp_flag failed,iRet = %d  [%s] %s:%u\n", false},
};

const KeyRow *key_row(const char *key)
{
    for (const KeyRow &r : kKeys)
        if (std::strcmp(r.key, key) == 0)
            return &r;
    return nullptr;
}

int32_t key_failed(const KeyRow &row, const char *value, int ret)
{
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
    if (row.withValue)
        std::printf(row.failLine, value, ret, TX_AT("transmit_config"));
    else
        std::printf(row.failLine, ret, TX_AT("transmit_config"));
#pragma GCC diagnostic pop
    return kTransBadInput;
}

void put(TransmitDesc &d, size_t offset, const void *src, size_t size)
{
    std::memcpy(reinterpret_cast<uint8_t *>(&d) + offset, src, size);
}

int32_t map_fpga(TxRun &run, uint32_t fpga)
{
    int32_t ret = get_shmem_user_vaddr(fpga, &run.shared, &run.packets);
    if (ret != 0)
        std::printf("get_shmem_user_vaddr exe fail, iRet = %d\n", ret);
    return ret;
}

int32_t apply_number(TxRun &run, const KeyRow &row, const char *value)
{
    unsigned v = kCmdUnset;
    int iv = -1;
    int ret = row.kind == KeyKind::I8 ? sscanf_s(value, "%d", &iv) : sscanf_s(value, "%u", &v);
    if (row.kind == KeyKind::I8)
        v = static_cast<unsigned>(iv);
    if (ret < 1)
        return key_failed(row, value, ret);
    if (row.kind == KeyKind::U32) {
        const uint32_t w = v;
        put(run.d, row.offset, &w, sizeof w);
    } else {
        const uint8_t b = cmd_u8(v);
        put(run.d, row.offset, &b, 1);
    }
    if (row.kind == KeyKind::TxQueue)
        run.txQueue = v;
    if (row.kind == KeyKind::FpgaId && run.port == kAllPorts)
        return map_fpga(run, v);
    return 0;
}

int32_t apply_rules(TxRun &run, const KeyRow &row, const char *value)
{
    if (value[0] == '\0')
        return 0;
    unsigned r[8] = {};
    int ret = sscanf_s(value, "%u,%u,%u,%u,%u,%u,%u,%u", &r[0], &r[1], &r[2], &r[3], &r[4], &r[5], &r[6], &r[7]);
    if (ret < 1)
        return key_failed(row, value, ret);
    for (int i = 0; i < 8; i++)
        run.d.trans_rules[i] = cmd_u8(r[i]);
    return 0;
}

int32_t apply_dmac(TxRun &run, const char *value)
{
    if ((run.d.loop_mod & kDmacBit) == 0)
        return 0;
    char cur[kTextSize] = {}, part[kTextSize] = {};
    TRANS_STRNCPY_S(cur, sizeof cur, value, std::strlen(value));
    for (int i = 0; i < 4; i++) {
        int ret = sscanf_s(cur, "%[^;]", part, unsigned(sizeof part));
        if (ret < 1) {
            std::printf("Parse mac error, value = %s, i = %d, iRet = %d [%s] %s:%u\n", cur, i, ret,
                        TX_AT("transmit_config"));
            return kTransBadInput;
        }
        unsigned m[6] = {};
        ret = sscanf_s(part, "%x:%x:%x:%x:%x:%x", &m[0], &m[1], &m[2], &m[3], &m[4], &m[5]);
        if (ret < 6) {
            std::printf("Parse mac error,value = %s, iRet = %d [%s] %s:%u\n", part, ret, TX_AT("transmit_config"));
            return kTransBadInput;
        }
        for (int j = 0; j < 6; j++)
            run.d.dmac[i][j] = cmd_u8(m[j]);
        std::printf("out_mac[%d] = %02x:%02x:%02x:%02x:%02x:%02x\n", i, m[0] & 0xFFu, m[1] & 0xFFu, m[2] & 0xFFu,
                    m[3] & 0xFFu, m[4] & 0xFFu, m[5] & 0xFFu);
        if (i == 3)
            break;
        char rest[kTextSize] = {};
        ret = sscanf_s(cur, "%*[^;];%s", rest, unsigned(sizeof rest));
        if (ret < 1) {
            std::printf("Parse mac error,value = %s, i = %d iRet = %d [%s] %s:%u\n", cur, i, ret,
                        TX_AT("transmit_config"));
            return kTransBadInput;
        }
        TRANS_MEMCPY_S(cur, sizeof cur, rest, sizeof rest);
    }
    return 0;
}

// The DORN rule of the transmit queue: below 128, a multiple of 4.
bool dorn_queue_ok(uint32_t q) { return q < kDornQueueLimit && q % 4 == 0; }

int32_t queue_refused() { return bad("tx_queue_id bigger than 128 or not polyploid of 4!\n "); }
int32_t kesp_queue_refused() { return bad("tx_queue_id bigger than 33 !\n "); }

int32_t board_refused()
{
    std::printf("board %s not suuport!\n \n", gBoardName);
    return kTransBadInput;
}

// A KESP queue's packet: three queues share each 2048-byte slot.
uint64_t kesp_packet_offset(uint32_t q) { return (uint64_t{q} / 3 * 2048) & 0x3F800; }

// Where the configured queue's packet lies in the area, after the board's
// queue rule: 0, or the refusal's status.
int32_t packet_offset(const TxRun &run, uint64_t &offset)
{
    switch (trans_board()) {
    case TransBoard::Dorn:
        if (!dorn_queue_ok(run.txQueue))
            return queue_refused();
        offset = run.txQueue * kDornPacketStride;
        return 0;
    case TransBoard::Kesp:
        if (run.txQueue > kKespQueueLimit)
            return kesp_queue_refused();
        offset = kesp_packet_offset(run.txQueue);
        return 0;
    default:
        return board_refused();
    }
}

// The packet file, positioned at its start, and its length.
FILE *open_packet_file(const char *name, long &len)
{
    FILE *f = host().fopen(name, "rb");
    if (f == nullptr) {
        std::printf("Open File %s error, errno = %d [%s] %s:%u\n", name, errno, TX_AT("transmit_config"));
        return nullptr;
    }
    len = std::fseek(f, 0, SEEK_END) == 0 ? std::ftell(f) : -1;
    if (len < 0 || std::fseek(f, 0, SEEK_SET) != 0) {
        std::printf("ftell File error, pkglen = %d, errno = %d [%s] %s:%u\n", int(len), errno,
                    TX_AT("transmit_config"));
        std::fclose(f);
        len = -1;
        return nullptr;
    }
    return f;
}

int32_t apply_src_file(TxRun &run, const char *value)
{
    if (trans_board() == TransBoard::Other)
        return board_refused();
    if (run.packets == nullptr) {
        std::printf("pkg_src_file before fpga_id, no packet area mapped [%s] %s:%u\n", TX_AT("transmit_config"));
        return kTransBadInput;
    }
    uint64_t offset = 0;
    int32_t ret = packet_offset(run, offset);
    if (ret != 0)
        return ret;
    TRANS_STRNCPY_S(run.scratch, sizeof run.scratch, value, std::strlen(value));
    long len = 0;
    FILE *f = open_packet_file(run.scratch, len);
    if (f == nullptr)
        return len < 0 ? kParseFailed : kOpenFailed;
    const size_t want = static_cast<size_t>(len) < kTransmitMaxPacket ? static_cast<size_t>(len) : kTransmitMaxPacket;
    const size_t got = std::fread(run.packets + offset, 1, want, f);
    std::fclose(f);
    if (got != want)
        std::printf("fread fail, ret=%d\n", int(got));
    run.d.packet_length = got;
    return 0;
}

int32_t apply_print_file(TxRun &run, const char *value)
{
    if (std::strlen(value) > kPrintPathMax)
        return bad("pkg_print_file path length too large!\n ");
    TRANS_STRNCPY_S(run.d.packet_print_path, sizeof run.d.packet_print_path, value, std::strlen(value));
    return 0;
}

int32_t apply_dsp_config(TxRun &run, const KeyRow &row, const char *value)
{
    unsigned *c = run.sub[row.offset];
    unsigned v[9] = {};
    int ret = sscanf_s(value, "%x:%x:%x:%x:%x:%x:%x:%x:%x", &v[0], &v[1], &v[2], &v[3], &v[4], &v[5], &v[6], &v[7],
                       &v[8]);
    if (ret < 9)
        return key_failed(row, value, ret);
    std::memcpy(c, v, sizeof v);
    return 0;
}

int32_t apply_key(TxRun &run, const KeyRow &row, const char *value)
{
    switch (row.kind) {
    case KeyKind::TransRules:
        return apply_rules(run, row, value);
    case KeyKind::Dmac:
        return apply_dmac(run, value);
    case KeyKind::SrcFile:
        return apply_src_file(run, value);
    case KeyKind::PrintFile:
        return apply_print_file(run, value);
    case KeyKind::DspConfig:
        return apply_dsp_config(run, row, value);
    default:
        return apply_number(run, row, value);
    }
}

// One line of at most 255 characters into run.line: 1, 0 at the end of the
// file, -1 for a longer line.
int read_line(FILE *f, TxRun &run)
{
    char buf[kTextSize + 2] = {};
    if (std::fgets(buf, sizeof buf, f) == nullptr)
        return 0;
    size_t n = std::strlen(buf);
    const bool newline = n > 0 && buf[n - 1] == '\n';
    if (newline)
        buf[--n] = '\0';
    if (n >= kTextSize || (!newline && !std::feof(f)))
        return -1;
    std::memcpy(run.line, buf, n + 1);
    return 1;
}

int32_t parse_failed(const char *value, int ret)
{
    std::printf("Parse file failed, value = %s, iRet = %d [%s] %s:%u\n", value, ret, TX_AT("transmit_config"));
    return kTransBadInput;
}

int32_t read_config(FILE *f, TxRun &run)
{
    for (;;) {
        std::memset(run.line, 0, sizeof run.line);
        const int got = read_line(f, run);
        if (got == 0)
            return 0;
        if (got < 0)
            return parse_failed(run.line, -1);
        std::memset(run.key, 0, sizeof run.key);
        std::memset(run.value, 0, sizeof run.value);
        const int ret = sscanf_s(run.line, "%s\t%s", run.key, unsigned(kTextSize), run.value, unsigned(kTextSize));
        if (ret < 1)
            return parse_failed(run.value, ret);
        if (run.key[0] == '#')
            continue;
        const KeyRow *row = key_row(run.key);
        if (row == nullptr)
            continue;
        const int32_t st = apply_key(run, *row, run.value);
        if (st != 0)
            return st;
    }
}

// ---- after the file ---------------------------------------------------------------------------------------

// The KESP mailbox packet for ports 4 and 5 outside loop mode: a 16-byte
// header and at most 496 payload bytes of the packet file at the queue's
// slot. Both lengths count the payload bytes actually read.
int32_t kesp_mailbox_packet(TxRun &run)
{
    if (run.d.loop_mod != 0 || (run.d.port_id != 4 && run.d.port_id != 5))
        return 0;
    if (run.packets == nullptr || run.scratch[0] == '\0') {
        std::printf("mailbox packet needs pkg_src_file and a mapped packet area [%s] %s:%u\n",
                    TX_AT("transmit_config"));
        return kTransBadInput;
    }
    long len = 0;
    FILE *f = open_packet_file(run.scratch, len);
    if (f == nullptr)
        return len < 0 ? kParseFailed : kOpenFailed;
    uint32_t want = static_cast<uint32_t>(len);
    if (len > long{kKespPayloadMax}) {
        want = kKespPayloadMax;
        std::printf("uiPktLen = %d\n", int(want));
    }
    uint8_t *slot = run.packets + kesp_packet_offset(run.txQueue);
    const size_t got = std::fread(slot + kMailboxHeadLen, 1, want, f);
    std::fclose(f);
    if (got != want)
        std::printf("fread fail, ret=%d\n", int(got));
    const uint16_t words[3] = {0x7E7F, static_cast<uint16_t>(got + 12), run.d.mailbox_id == 0 ? uint16_t{0x0F01}
                                                                                              : uint16_t{0x0F02}};
    uint8_t head[kMailboxHeadLen] = {};
    std::memcpy(head, words, sizeof words);
    head[6] = static_cast<uint8_t>(run.d.port_id - 4);
    head[7] = run.d.dsp_id;
    head[8] = run.d.core_id;
    head[9] = static_cast<uint8_t>(run.d.rx_queue_id / 4);
    std::memcpy(slot, head, sizeof head);
    run.d.packet_length = got + kMailboxHeadLen;
    return 0;
}

// The DSP configuration of an absent sub-board is cleared.
int32_t kesp_sub_boards(TxRun &run)
{
    uint32_t present = 0;
    int32_t ret = GetKespSubBoardPresentState(&present);
    if (ret != 0)
        return ret;
    for (uint32_t s = 0; s < 2; s++)
        if ((present & (1u << s)) == 0)
            std::memset(run.d.subboard_dsp_config[s], 0, sizeof run.d.subboard_dsp_config[s]);
    return 0;
}

int32_t finish_descriptor(TxRun &run)
{
    if (run.shared == nullptr) {
        std::printf("no fpga_id given, no transmit descriptor mapped [%s] %s:%u\n", TX_AT("transmit_config"));
        return kTransBadInput;
    }
    for (int s = 0; s < 2; s++)
        for (int i = 0; i < 9; i++)
            run.d.subboard_dsp_config[s][i] = cmd_u8(run.sub[s][i]);
    uint64_t offset = 0;
    int32_t ret = packet_offset(run, offset);
    if (ret != 0)
        return ret;
    if (trans_board() == TransBoard::Dorn) {
        run.d.tx_queue_id = static_cast<uint8_t>(run.txQueue / 4);
    } else if ((ret = kesp_mailbox_packet(run)) != 0 || (ret = kesp_sub_boards(run)) != 0) {
        return ret;
    }
    run.d.valid_flag = kValid;
    if (run.port < kAllPorts) {
        run.d.packet_num = 0xFFFFFFFFu;
        run.d.loop_mod = 0;
        run.d.send_intervial = 0;
        run.d.fpga_id = cmd_u8(run.fpga);
        run.d.port_id = cmd_u8(run.port);
    }
    return 0;
}

void print_dsp_config(const char *name, const uint8_t *c)
{
    std::printf("%s = %02x:%02x:%02x:%02x:%02x:%02x:%02x:%02x:%02x\n", name, c[0], c[1], c[2], c[3], c[4], c[5], c[6],
                c[7], c[8]);
}

void print_descriptor(const TransmitDesc &d)
{
    std::printf("valid_flag = %u\nfpga_id = %u\nport_id = %u\n", d.valid_flag, d.fpga_id, d.port_id);
    std::printf("packet_num = %u\nsend_intervial = %u\nloop_mod = %u\n", d.packet_num, d.send_intervial, d.loop_mod);
    std::printf("loop_queue_id = %u\ntx_queue_id = %u\nrx_queue_id = %u\n", d.loop_queue_id, d.tx_queue_id,
                d.rx_queue_id);
    std::printf("checksum_switch = %u\nchecksum_start  = %u\nchecksum_len    = %u\npkgtype         = %u\n",
                d.checksum_switch, d.checksum_start, d.checksum_len, d.pkgtype);
    std::printf("packet_length = %llx\npacket_print_path = %s\n", ull(d.packet_length), d.packet_print_path);
    const auto *r = reinterpret_cast<const int8_t *>(d.trans_rules);
    std::printf("portin0 = %d\tportout0 = %d\tportin1 = %d\tportout1 = %d\tportin2 = %d\tportout2 = %d\tportin3 = "
                "%d\tportout3 = %d\n",
                r[0], r[1], r[2], r[3], r[4], r[5], r[6], r[7]);
    std::printf("pkg_print_flag = %u\ndsp_id = %u\ncore_id = %u\nmailbox_id = %u\n", d.pkg_print_flag, d.dsp_id,
                d.core_id, d.mailbox_id);
    print_dsp_config("subboard0_dsp_config", d.subboard_dsp_config[0]);
    print_dsp_config("subboard1_dsp_config", d.subboard_dsp_config[1]);
}

// Hand the descriptor to the driver and start the sender; a loop test
// stops it after its time and takes the error-log check.
int32_t start_and_run(TxRun &run)
{
    print_descriptor(run.d);
    TRANS_MEMCPY_S(run.shared, sizeof(TransmitDesc), &run.d, sizeof(TransmitDesc));
    std::puts("memcpy_s sucess");
    run_command("rm -rf /opt/*vec_err*");
    const uint32_t target = run.d.fpga_id != 0 ? 1 : 0;
    std::fputs(target != 0 ? "trans1\n" : "trans0\n", stdout);
    int32_t status = start_sender(target, true);
    if (run.port >= kAllPorts || status != 0)
        return status;
    host().sleep(run.seconds);
    start_sender(target, false);
    return check_loop_result();
}

int32_t configure(const char *file, TxRun &run)
{
    FILE *f = host().fopen(file, "r");
    if (f == nullptr) {
        std::printf("Open File %s error, errno = %d,make sure File is exist!\n\n", file, errno);
        return kOpenFailed;
    }
    int32_t ret = run.port < kAllPorts ? map_fpga(run, run.fpga) : 0;
    if (ret == 0)
        ret = read_config(f, run);
    if (ret == 0)
        ret = finish_descriptor(run);
    if (ret == 0)
        ret = start_and_run(run);
    std::fclose(f);
    return ret;
}

}  // namespace

// ---- shared areas ------------------------------------------------------------------------------------------

int32_t mmap_user_vaddr(uint64_t phys, size_t length, void **vaddr)
{
    int fd = host().open("/dev/mem", O_RDWR, 0);
    if (fd < 0) {
        std::puts("Open /dev/mem failed");
        return kOpenFailed;
    }
    const uint64_t page = static_cast<uint64_t>(host().pagesize());
    const uint64_t start = phys & ~(page - 1);
    const uint64_t offset = phys - start;
    std::printf("iMapStart addr %lx \n\n", static_cast<unsigned long>(start));
    const size_t mapLength = static_cast<size_t>((length + offset + page - 1) / page * page);
    void *m = host().mmap(nullptr, mapLength, PROT_READ | PROT_WRITE, MAP_SHARED, fd, static_cast<off_t>(start));
    const int err = errno;
    host().close(fd);
    if (m == MAP_FAILED) {
        std::printf("Fail to mmap %s \n", std::strerror(err));
        return -1;
    }
    *vaddr = static_cast<uint8_t *>(m) + offset;
    std::printf("mapped addr %llx \n\n", ull(reinterpret_cast<uintptr_t>(*vaddr)));
    return 0;
}

int32_t get_shmem_user_vaddr(uint32_t fpga, TransmitDesc **desc, uint8_t **packets)
{
    uint64_t c = 0, d = 0;
    int32_t ret = get_file_data(fpga, &c, &d);
    if (ret != 0) {
        std::printf("get_file_data exe failed, iRet = %d\n\n", ret);
        return ret;
    }
    void *cv = nullptr, *dv = nullptr;
    if ((ret = mmap_user_vaddr(c, sizeof(TransmitDesc), &cv)) != 0) {
        std::printf("cphyaddr mmap_user_vaddr exe failed, iRet = %d [%s] %s:%u\n", ret, TX_AT("get_shmem_user_vaddr"));
        return ret;
    }
    if ((ret = mmap_user_vaddr(d, kTransmitPacketArea, &dv)) != 0) {
        std::printf("pkgaddr mmap_user_vaddr exe failed, iRet = %d [%s] %s:%u\n", ret, TX_AT("get_shmem_user_vaddr"));
        return ret;
    }
    *desc = static_cast<TransmitDesc *>(cv);
    *packets = static_cast<uint8_t *>(dv);
    return 0;
}

// ---- configuration -------------------------------------------------------------------------------------------

int32_t transmit_config(const char *file, uint32_t port, uint32_t seconds, uint32_t fpga)
{
    std::printf("into func transmit_config!\n");
    if (file == nullptr) {
        std::printf("[transmit_config]param filein is NULL!\n ");
        return kTransBadInput;
    }
    auto *run = new (std::nothrow) TxRun{port, seconds, fpga};
    if (run == nullptr)
        return kNoMemory;
    const int32_t ret = configure(file, *run);
    delete run;
    return ret;
}

int32_t GetKespSubBoardPresentState(uint32_t *mask)
{
    BoardInfo info{};
    const int32_t ret = PLOV_MediaGetBoardInfo(&info);
    if (ret != 0) {
        std::printf("GetKespSubBoardPresentState excute err,iRet = %d\n", ret);
        return ret;
    }
    for (const stSubBoardInfo &e : info.astSubBoard)
        if (e.enSubBoardId < 2 && e.enSubBoardStatus == 0)
            *mask |= 1u << e.enSubBoardId;
    return 0;
}

int32_t check_loop_result()
{
    constexpr const char *kDir = "/opt";
    DIR *dir = host().opendir(kDir);
    if (dir == nullptr) {
        std::printf("call opendir failed, path=%s\n\n", kDir);
        return -1;
    }
    bool found = false;
    while (const dirent *e = host().readdir(dir)) {
        if (std::strstr(e->d_name, "vec_err") == nullptr)
            continue;
        std::printf("find err_log %s/%s\n", kDir, e->d_name);
        found = true;
    }
    host().closedir(dir);
    return found ? -2 : 0;
}

// ---- commands ---------------------------------------------------------------------------------------------

TransOpStatus transmit_set_enable(const char *params) { return transmit_config(params, kAllPorts, 0, 0); }

TransOpStatus packet_set_print_flag(const char *params)
{
    unsigned flag = 0;
    if (sscanf_s(params, "%u", &flag) < 0) {
        trans_failed();
        cmd_invalid_input("\n");
        return kTransBadInput;
    }
    TransmitDesc *shared = nullptr;
    uint8_t *packets = nullptr;
    int32_t ret = get_shmem_user_vaddr(0, &shared, &packets);
    if (ret != 0) {
        std::printf("get_shmem_user_vaddr exe fail, iRet = %d\n", ret);
        return ret;
    }
    TransmitDesc d{};
    TRANS_MEMCPY_S(&d, sizeof d, shared, sizeof d);
    d.pkg_print_flag = cmd_u8(flag);
    TRANS_MEMCPY_S(shared, sizeof d, &d, sizeof d);
    return 0;
}

TransOpStatus transmit_clear_stat(const char *)
{
    trans_success();
    return 0;
}

TransOpStatus transmit_get_stat(const char *)
{
    constexpr int kQueues = 352;
    trans_success();
    for (int q = 0; q < kQueues; q++)
        std::printf("\rQ:%d, R:%llu, T:%llu\n", q, 0ULL, 0ULL);
    return 0;
}

#include "tool/trans/sfp.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "boardlib/dorn_sfp.h"
#include "boardlib/kesp_intf.h"
#include "boardlib/kesp_logic.h"
#include "tool/quorbix.h"
#include "tool/trans/trans_cmd.h"

namespace {

// The file the invalid-input and failure lines of the SFP commands name.
constexpr const char *kFile = "trans/trans";

constexpr CmdSite site(const char *name, unsigned line) { return CmdSite{name, kFile, line}; }

constexpr TransOpStatus kMallocFailed = -1211;
constexpr uint32_t kMaxRegLength = 0xFFFF;   // the request's length field is 16 bits
constexpr uint32_t kDumpSize = 256;
constexpr uint32_t kAllPorts = 255;
constexpr int32_t kNotPresent = -1341;
constexpr int32_t kSometimes = -1399;

struct FreeDeleter {
    void operator()(void *p) const { std::free(p); }
};
using Bytes = std::unique_ptr<uint8_t, FreeDeleter>;
using Text = std::unique_ptr<char, FreeDeleter>;

// At least one byte, so a length of 0 still has a buffer; zero-filled.
template <class T> std::unique_ptr<T, FreeDeleter> zalloc(size_t n)
{
    return std::unique_ptr<T, FreeDeleter>(static_cast<T *>(std::calloc(n == 0 ? 1 : n, 1)));
}

TransOpStatus malloc_failed(const CmdSite &s)
{
    trans_failed();
    std::printf("Malloc failed error number = %d [%s] %s:%u\n", errno, s.name, s.file, s.line);
    return kMallocFailed;
}

TransOpStatus invalid_board()
{
    trans_failed();
    trans_line("Invalid board type");
    return kTransBadInput;
}

TransOpStatus failed_long(const char *op, int32_t status, const CmdSite &s)
{
    trans_failed();
    trans_error_line_long(op, status, s);
    return status;
}

// Rows of eight "%2x\t" fields, each row opened by "\n\r", then "\nSUCCESS".
void print_dump(const uint8_t *buf, uint32_t length)
{
    for (uint32_t i = 0; i < length; i++) {
        if (i % 8 == 0)
            std::printf("\n\r");
        std::printf("%2x\t", buf[i]);
    }
    trans_line("\nSUCCESS");
}

// The four fields of the register commands.
struct RegFields {
    uint32_t port = kCmdUnset;
    uint32_t addr = kCmdUnset;
    uint32_t offset = kCmdUnset;
    uint32_t length = kCmdUnset;
};

SfpRegReq reg_request(const RegFields &f, uint8_t *buf)
{
    return SfpRegReq{cmd_u8(f.port), cmd_u8(f.offset), cmd_u16(f.length), f.addr, buf};
}

// ---- hot-swap record -------------------------------------------------------------------------

struct HsRecord {
    uint8_t sfp_id;
    uint8_t prev;
    uint8_t cur;
    uint8_t oper_result;
    uint32_t sfp_type;
    uint8_t phy_link;
    uint8_t update_flag;
    uint8_t iic_status;
    uint8_t status_result;
    uint8_t unused[4];
};
static_assert(sizeof(HsRecord) == 16 && sizeof(HsRecord) == sizeof(SfpHsState) && sizeof(HsRecord) == sizeof(SfpIicStatus));
static_assert(offsetof(HsRecord, sfp_type) == 4 && offsetof(HsRecord, phy_link) == 8);
static_assert(offsetof(HsRecord, status_result) == 11);

// One backend request on the shared record, in the backend's own type.
template <class T> PlovStatus on_record(HsRecord &rec, PlovStatus (*op)(FpgaId, T *))
{
    T r{};
    std::memcpy(&r, &rec, sizeof r);
    PlovStatus s = op(1, &r);
    std::memcpy(&rec, &r, sizeof r);
    return s;
}

// ---- PCIe endpoints -----------------------------------------------------------------------------

TransOpStatus pcie_port_ep(const char *params, PlovStatus (*op)(PciPortEpReq *), const CmdSite &s)
{
    PciPortEpReq req{{kCmdUnset, kCmdUnset, kCmdUnset, kCmdUnset}};
    int ret = sscanf_s(params, "%u:%u:%u:%u", &req.ulParam[0], &req.ulParam[1], &req.ulParam[2], &req.ulParam[3]);
    if (ret != 4 || !cmd_scanned(ret, req.ulParam[0], req.ulParam[1], req.ulParam[2], req.ulParam[3]))
        return trans_bad_input(s, ret);
    PlovStatus st = op(&req);
    if (st != PLOV_OK) {
        trans_failed();
        std::printf("KespAddPciPortEp err, return %d\n\n", st);
    }
    return st;
}

// ---- PCI address text -----------------------------------------------------------------------

int32_t hex_part(std::string &text, size_t from, size_t to, uint32_t *value)
{
    std::string part = text.substr(from, to - from);
    int32_t rc = eth_pci_hex_num(part.data(), value);
    if (rc == 0)
        text.replace(from, to - from, part);   // the digits as folded
    return rc;
}

// ---- identity block ---------------------------------------------------------------------------

constexpr size_t kDecodeText = 32;

// The decoders' outputs, zeroed before every decode.
struct Decoded {
    char devType[kDecodeText];
    char connector[kDecodeText];
    uint32_t distance;
    uint8_t medium;
    uint32_t speed;
    uint8_t wavelength;
};

Decoded decode(const SfpInfo &info)
{
    Decoded d{};
    sfp_8472_decode_dev_type(info.Identifier, d.devType, kDecodeText);
    sfp_8472_decode_connector_type(info.Connector, d.connector, kDecodeText);
    sfp_8472_decode_link_length(info.LinkLength, &d.distance, &d.medium);
    sfp_8472_decode_speed(info.Compliance, &d.speed);
    sfp_8472_decode_wavelength(info.Wavelength, &d.wavelength);
    d.devType[kDecodeText - 1] = '\0';
    d.connector[kDecodeText - 1] = '\0';
    return d;
}

// The KESP status block, printed for every port without a hardware read.
constexpr const char *kKespStatusBlock =
    "        AlarmLow       : 0\n        AlarmHigh      : 0\n        WarnLow        : 0\n"
    "        WarnHigh       : 0\n        tx_fault       : 0\n        rx_los         : 0\n"
    "        tx_disable_test: 0\n        rs_test        : 0\n        tx_fault_test  : 0\n"
    "        rx_los_test    : 0\n        online_test    : 0\n        hs_cnt         : 0\n"
    "        hs_threshold   : 0";
constexpr uint32_t kKespSfpPorts = 4;

TransOpStatus kesp_sfp_status(uint32_t port)
{
    if (port >= kKespSfpPorts && port != kAllPorts) {
        trans_line("FAILED,port_id out of range");
        return -1205;
    }
    uint32_t first = port == kAllPorts ? 0 : port;
    uint32_t last = port == kAllPorts ? kKespSfpPorts - 1 : port;
    for (uint32_t p = first; p <= last; p++) {
        std::printf("port%d:\n", static_cast<int>(p));
        trans_line(kKespStatusBlock);
    }
    std::printf("unsupported\n");
    return 0;
}

// ---- the identity query's boards --------------------------------------------------------------

enum class SfpAccess { Kesp, Dorn, ByName };

struct SfpBoardRow {
    const char *name;
    SfpAccess access;
    uint32_t idOrMap;   // FPGA id, or the port map type
    uint32_t ports;
};
constexpr SfpBoardRow kSfpBoards[] = {
    {"ZK17KESP", SfpAccess::Kesp, 0, 4},    {"ZK17DORN", SfpAccess::Dorn, 1, 8},
    {"ZK17WENA", SfpAccess::ByName, 1, 2},  {"ZK17FOLRA", SfpAccess::ByName, 2, 4},
    {"ZK17FOLRB", SfpAccess::ByName, 3, 4}, {"ZK17WENB", SfpAccess::ByName, 4, 2},
};

const SfpBoardRow *sfp_board()
{
    for (const SfpBoardRow &r : kSfpBoards)
        if (std::strstr(gBoardName, r.name) != nullptr)
            return &r;
    return nullptr;
}

int32_t info_one(const SfpBoardRow &b, uint32_t port)
{
    if (b.access == SfpAccess::ByName)
        return get_sfp_info_by_name(b.idOrMap, port);
    return get_sfp_info_byid(cmd_u8(b.idOrMap), cmd_u8(port));
}

} // namespace

// ---- register read and write ----------------------------------------------------------------

TransOpStatus get_sfp_reg(const char *params)
{
    RegFields f;
    int ret = sscanf_s(params, "%u:0x%x:%u:%u", &f.port, &f.addr, &f.offset, &f.length);
    if (!cmd_scanned(ret, f.port, f.addr, f.offset, f.length) || f.length > kMaxRegLength)
        return trans_bad_input(site("get_sfp_reg", 3320), ret);
    Bytes buf = zalloc<uint8_t>(f.length);
    if (buf == nullptr)
        return malloc_failed(site("get_sfp_reg", 3327));
    SfpRegReq req = reg_request(f, buf.get());
    TransBoard board = trans_board();
    if (board == TransBoard::Other)
        return invalid_board();
    PlovStatus s = board == TransBoard::Dorn ? TRANS_GetSfpReg(&req) : KespGetSfpReg(&req);
    if (s != PLOV_OK)
        return failed_long("TRANS_GetSfpReg", s, site("get_sfp_reg", 3348));
    print_dump(buf.get(), f.length);
    return 0;
}

TransOpStatus set_sfp_reg(const char *params)
{
    size_t len = std::strlen(params) + 1;
    auto cap = static_cast<unsigned>(len);
    Text values = zalloc<char>(len);
    if (values == nullptr)
        return malloc_failed(site("set_sfp_reg", 3370));
    RegFields f;
    int ret = sscanf_s(params, "%u:0x%x:%u:%u:%s", &f.port, &f.addr, &f.offset, &f.length, values.get(), cap);
    if (!cmd_scanned(ret, f.port, f.addr, f.offset, f.length) || f.length > kMaxRegLength)
        return trans_bad_input(site("set_sfp_reg", 3376), ret);
    Text rest = zalloc<char>(len);
    Text scratch = zalloc<char>(len);
    Bytes data = zalloc<uint8_t>(f.length);
    if (rest == nullptr || scratch == nullptr || data == nullptr)
        return malloc_failed(site("set_sfp_reg", 3385));
    std::memcpy(rest.get(), values.get(), len);
    for (uint32_t i = 0; i < f.length; i++) {
        uint32_t v = kCmdUnset;
        scratch.get()[0] = '\0';
        int r = sscanf_s(rest.get(), "0x%x:%s", &v, scratch.get(), cap);
        if (r < 1)
            return trans_bad_input(site("set_sfp_reg", 3398), r);
        data.get()[i] = cmd_u8(v);
        std::printf("sfp_read_data.buf[%d] = 0x%x\n", static_cast<int>(i), v);
        std::swap(rest, scratch);
    }
    SfpRegReq req = reg_request(f, data.get());
    TransBoard board = trans_board();
    if (board == TransBoard::Other)
        return invalid_board();
    PlovStatus s = board == TransBoard::Dorn ? TRANS_SetSfpReg(&req) : KespSetSfpReg(&req);
    if (s != PLOV_OK)
        return failed_long("TRANS_SetSfpReg", s, site("set_sfp_reg", 3420));
    trans_line("\nSUCCESS");
    return 0;
}

// ---- hot-swap state -----------------------------------------------------------------------------

TransOpStatus get_sfp_hs_status(const char *params)
{
    uint32_t id = kCmdUnset;
    int ret = sscanf_s(params, "%u", &id);
    if (!cmd_scanned(ret, id))
        return trans_bad_input(site("get_sfp_hs_status", 3440), ret);
    HsRecord rec{};
    rec.sfp_id = cmd_u8(id);
    PlovStatus s = on_record<SfpHsState>(rec, TRANS_GetSfpHsState);
    if (s != PLOV_OK)
        return failed_long("TRANS_GetSfpHsState", s, site("get_sfp_hs_status", 3447));
    s = on_record<SfpIicStatus>(rec, TRANS_GetIicStatus);
    if (s != PLOV_OK)
        return failed_long("TRANS_GetIicStatus", s, site("get_sfp_hs_status", 3452));
    trans_line("\nSUCCESS");
    std::printf("sfp_id : %u\n\tprev:%d\tcur:%d\tsfp_type:%d\tphy_link:%d\n\toper_result:%d\tupdate_flag:%d"
                "\tstatus_result:%d\tiic_status:%d\n",
                rec.sfp_id, rec.prev, rec.cur, static_cast<int>(rec.sfp_type), rec.phy_link, rec.oper_result,
                rec.update_flag, rec.status_result, rec.iic_status);
    return 0;
}

// ---- PCIe endpoints -----------------------------------------------------------------------------

TransOpStatus add_pcie_port_ep(const char *params)
{
    return pcie_port_ep(params, KespAddPciPortEp, site("add_pcie_port_ep", 3480));
}

TransOpStatus remove_pcie_port_ep(const char *params)
{
    return pcie_port_ep(params, KespRmPciPortEp, site("remove_pcie_port_ep", 3500));
}

// ---- PCI address text -----------------------------------------------------------------------

int32_t eth_pci_get_dev_func(const char *text, EthPciAddr *addr)
{
    if (text == nullptr || addr == nullptr || text[0] == '\0')
        return kTransBadInput;
    std::string t(text);
    size_t first = t.find(':');
    size_t last = t.rfind(':');
    if (last != std::string::npos && last + 1 == t.size())
        return kTransBadInput;
    if (first == std::string::npos || first == last || t.find(':', first + 1) != last)
        return -1317;
    size_t rest = last + 1;
    size_t dot = t.find('.', rest);
    if (dot == std::string::npos || dot - rest >= 256)
        return -1398;
    if (dot + 1 == t.size())
        return -1361;
    uint32_t domain = 0, bus = 0, device = 0, function = 0;
    int32_t rc = hex_part(t, 0, first, &domain);
    if (rc == 0)
        rc = hex_part(t, first + 1, last, &bus);
    if (rc == 0)
        rc = hex_part(t, rest, dot, &device);
    if (rc == 0)
        rc = hex_part(t, dot + 1, t.size(), &function);
    if (rc != 0)
        return rc;
    addr->bus = cmd_u8(bus);
    addr->device = cmd_u8(device);
    addr->function = cmd_u8(function);
    addr->domain = cmd_u16(domain);
    return 0;
}

// ---- module memory dump -----------------------------------------------------------------------

TransOpStatus get_sfp_data(const char *params)
{
    RegFields f;
    uint8_t buf[kDumpSize] = {};
    int ret = sscanf_s(params, "%u:0x%x:%u:%u", &f.port, &f.addr, &f.offset, &f.length);
    if (!cmd_scanned(ret, f.port, f.addr, f.offset, f.length) || f.length > kDumpSize)
        return trans_bad_input(site("get_sfp_data", 6120), ret);
    PlovStatus s = DornTransGetSfpArea(cmd_u8(f.port), f.addr, cmd_u8(f.offset), cmd_u16(f.length), buf);
    if (s != PLOV_OK)
        return failed_long("DornTransGetSfpArea", s, site("get_sfp_data", 6128));
    print_dump(buf, f.length);
    return 0;
}

// ---- module status -----------------------------------------------------------------------------

int32_t get_sfp_status_byid(uint8_t port)
{
    uint8_t present = 0;
    PlovStatus s = DornTransGetSfpPresent(1, port, &present);
    if (s != PLOV_OK) {
        std::printf("port%d\t:Function DornTransGetSfpPresent exe error, iRet = %d\n", port, s);
        return s;
    }
    if (present == 0) {
        std::printf("port%d\t:\tNOT PRESENT\n", port);
        return kNotPresent;
    }
    uint8_t pn[17] = {};
    sfp_ops ops = DornSfpOps(port);
    s = sfp_8472_get_vendor_pn(&ops, pn);
    if (s != PLOV_OK) {
        std::printf("Call sfp_8472_get_vendor_pn error, iRet = %d\n", s);
        return s;
    }
    uint8_t pins[SFP_PIN_RESULTS] = {};
    uint16_t hsCnt = 0, hsThreshold = 0;
    if (std::memcmp(pn, "LOOPBACKMCU", 11) == 0) {
        s = TRANS_TestSfpIOPin(port, pins, &hsCnt, &hsThreshold);
        if (s != PLOV_OK) {
            std::printf("port%d\t:Function TRANS_TestSfpIOPin exe error, iRet = %d\n", port, s);
            return s;
        }
    }
    SfpStatus st{};
    s = DornTransGetPortSfpStat(1, port, &st);
    if (s != PLOV_OK) {
        std::printf("port%d\t:Function DornTransGetPortSfpStat exe error, iRet = %d\n", port, s);
        return s;
    }
    std::printf("port%d\t:\n", port);
    std::printf("\tAlarmLow       : %#x\n\tAlarmHigh      : %#x\n\tWarnLow        : %#x\n\tWarnHigh       : %#x\n"
                "\ttx_fault       : %#x\n\trx_los         : %#x\n",
                st.AlarmLow, st.AlarmHigh, st.WarnLow, st.WarnHigh, st.tx_fault, st.rx_los);
    std::printf("\ttx_disable_test: %#x\n\trs_test        : %#x\n\ttx_fault_test  : %#x\n\trx_los_test    : %#x\n"
                "\tonline_test    : %#x\n\ths_cnt         : %d\n\ths_threshold   : %d\n\n",
                pins[SFP_TX_DISABLE_TEST], pins[SFP_RS_TEST], pins[SFP_TX_FAULT_TEST], pins[SFP_RX_LOS_TEST],
                pins[SFP_ONLINE_TEST], hsCnt, hsThreshold);
    for (uint8_t r : pins)
        if (r != 0)
            return -1200;
    return 0;
}

TransOpStatus get_sfp_status(const char *params)
{
    uint32_t port = kCmdUnset;
    int ret = sscanf_s(params, "%u", &port);
    if (!cmd_scanned(ret, port))
        return trans_bad_input(site("get_sfp_status", 6210), ret);
    if (trans_board() == TransBoard::Kesp)
        return kesp_sfp_status(port);
    if (port < DORN_SFP_PORTS) {
        int32_t s = get_sfp_status_byid(cmd_u8(port));
        if (s != 0)
            return failed_long("get_sfp_status_byid", s, site("get_sfp_status", 6230));
    } else if (port == kAllPorts) {
        unsigned failures = 0;
        for (uint8_t p = 0; p < DORN_SFP_PORTS; p++)
            failures += get_sfp_status_byid(p) != 0;
        if (failures != 0) {
            trans_failed();
            std::printf("Sometimes Function get_sfp_status_byid exe error, [%s] %s:%u\n", "get_sfp_status", kFile, 6245u);
            return kSometimes;
        }
    } else {
        trans_failed();
        trans_line("Input num is between 8 and 255 or over 255, please check");
        return kTransBadInput;
    }
    trans_success();
    return 0;
}

// ---- module identity --------------------------------------------------------------------------

int32_t sfp_print_identity(const SfpInfo &info, bool speedNotice)
{
    Decoded d = decode(info);
    std::printf("\tVendor name\t: %s\n\tPart number\t: %s\n\tSerail number\t: %s\n\tDate code\t: %s\n",
                info.VendorName, info.VendorPn, info.VendorSn, info.Date);
    std::printf("\tTransceiver type: %s\n\tConnetor type\t: %s\n", d.devType, d.connector);
    std::printf("\tDistance\t: %u\n\tMedium\t\t: %u\n", d.distance, d.medium);
    int32_t rc = 0;
    if (speedNotice && d.speed == 0) {
        std::printf("\tNotice speed error! get sfp data error!");
        rc = -1398;
    }
    std::printf("\tSupport speed\t: %u\n\tWavelength\t: %u\n\n", d.speed, d.wavelength);
    return rc;
}

int32_t get_sfp_info_byid(uint8_t fpga, uint8_t port)
{
    TransBoard board = trans_board();
    if (board == TransBoard::Other)
        return invalid_board();
    uint8_t present = 0;
    PlovStatus s = board == TransBoard::Kesp ? KespGetSfpPresent(fpga, port, &present)
                                             : DornTransGetSfpPresent(1, port, &present);
    if (s != PLOV_OK) {
        std::printf("port%d\t:Function GetSfpPresent exe error, iRet = %d\n", port, s);
        return s;
    }
    if (present == 0) {
        std::printf("port%d\t:\tNOT PRESENT\n", port);
        return kNotPresent;
    }
    SfpInfo info{};
    s = board == TransBoard::Kesp ? KespGetSfpInfo(fpga, port, &info) : DornTransGetPortSfpinfo(1, port, &info);
    if (s != PLOV_OK) {
        std::printf("port%d\t:Function DornTransGetSfpArea exe error, iRet = %d\n", port, s);
        return s;
    }
    std::printf("port%d\t:\n", port);
    return sfp_print_identity(info, false);
}

TransOpStatus get_sfp_info(const char *params)
{
    uint32_t port = kCmdUnset;
    int ret = sscanf_s(params, "%u", &port);
    if (!cmd_scanned(ret, port))
        return trans_bad_input(site("get_sfp_info", 6330), ret);
    const SfpBoardRow *b = sfp_board();
    if (b == nullptr)
        return invalid_board();
    if (port >= b->ports && port != kAllPorts) {
        trans_failed();
        std::printf("Input num is between %d and 255 or over 255, please check\n", static_cast<int>(b->ports));
        return kTransBadInput;
    }
    if (port != kAllPorts) {
        int32_t s = info_one(*b, port);
        if (s != 0)
            return failed_long(b->access == SfpAccess::ByName ? "get_sfp_info_by_name" : "get_sfp_info_byid", s,
                               site("get_sfp_info", 6352));
    } else {
        unsigned failures = 0;
        for (uint32_t p = 0; p < b->ports; p++)
            failures += info_one(*b, p) != 0;
        if (failures != 0) {
            trans_failed();
            std::printf("Sometimes Function get_sfp_info_byid or get_sfp_info_by_name exe error, [%s] %s:%u\n",
                        "get_sfp_info", kFile, 6366u);
            return kSometimes;
        }
    }
    trans_success();
    return 0;
}

#include "tool/trans/indreg_dump.h"

#include <algorithm>
#include <cstdarg>
#include <cstring>
#include <iterator>

#include "bases/host/host.h"
#include "boardlib/dorn_intf.h"
#include "tool/trans/trans_cmd.h"

namespace {

// ---- writing ---------------------------------------------------------------------------------------

// Formats here come from the reader table below (constant rows, each with
// the arguments its row documents), so they are not literals at this call.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
void put(IndregOut &o, const char *fmt, ...)
{
    va_list ap;
    va_start(ap, fmt);
    if (std::vfprintf(o.file, fmt, ap) < 0)
        o.failed = true;
    va_end(ap);
}
#pragma GCC diagnostic pop

constexpr const char *kModuleRule = "\n*****************************************************";
constexpr const char *kRegRule = "\n+++++++++++++++++++++++++++++++++";
constexpr const char *kBlockRule = "\n------------------";

void reg_heading(IndregOut &o, const char *regName)
{
    put(o, "%s\nReg Name:%s%s", kRegRule, regName, kRegRule);
}

// ---- the readers' table ---------------------------------------------------------------------------

// How one printed value comes out of a read's words.
enum class ExOp : uint8_t {
    Bits,     // (word >> shift) & mask
    Pow512,   // 512 << ((word >> shift) & mask)
    Dword,    // ((word 3 << 16) kept to 32 bits) + low 16 bits of word 4
};
// What the value's format takes before the value.
enum class KeyArg : uint8_t { None, Key, Div32 };

struct Extract {
    uint8_t read;   // which read of the line
    uint8_t word;
    uint8_t shift;
    uint64_t mask;
    const char *fmt;
    ExOp op = ExOp::Bits;
    KeyArg key = KeyArg::None;
};

// A level of blocks: titles, the key bit their number goes to (64: none).
struct Level {
    const char *const *titles;
    uint8_t count;
    const char *titleFmt;
    uint8_t shift;
};

constexpr uint64_t kAll = ~uint64_t{0};
constexpr uint64_t kLow16 = 0xFFFF, kLow32 = 0xFFFFFFFF, kLow48 = 0xFFFFFFFFFFFF;
constexpr uint8_t kNoBits = 64;

struct Reader {
    uint32_t row;
    const char *columns;
    bool columnsPerBlock;           // the column line follows each (innermost) block title
    Level outer, inner;
    uint32_t keys, keysSbuf;        // key count (sbuf FPGA: keysSbuf when non-zero)
    uint32_t keyStep, keyMul;       // printed key = n * step; key bits = key * keyMul
    uint64_t keyMask;               // of the key bits
    uint64_t fixed;                 // bits in every key
    const char *const *keyNames;    // printed instead of the key number
    uint32_t reads;                 // reads per key
    uint8_t readShift;
    const uint8_t *readVals;        // read r puts readVals[r] (null: r) at readShift
    uint32_t perLine;               // the prefix before every perLine-th key
    const char *prefix;             // takes the key x prefixMul (or the key's name)
    uint32_t prefixMul;
    const Extract *ex;
    size_t exCount;
    const char *failFmt;            // a failed read of the key prints this
    bool failLine;                  //   instead of the whole line (with the key), else instead of its values
};

constexpr const char *kPortTl[] = {"tl1", "tl2", "tl3", "tl4", "tl5", "tl6", "tl7", "tl8", "dl0", "dl1", "dl2", "dl3"};
constexpr const char *kPortDl[] = {"tl0", "tl1", "tl2", "tl3", "common"};
constexpr const char *kTables[] = {"ACLTable", "ServeTable", "Blacklist1", "Blacklist2", "AccessTable"};
constexpr const char *kLan4[] = {"Lan0", "Lan1", "Lan2", "Lan3"};
constexpr const char *kLan8[] = {"Lan0", "Lan1", "Lan2", "Lan3", "Lan4", "Lan5", "Lan6", "Lan7"};
constexpr const char *kX8[] = {"PCI_X8_0", "PCI_X8_1"};
constexpr const char *kFlows[] = {"trn_fc_ph", "trn_fc_pd", "trn_fc_nph", "trn_fc_npd", "trn_fc_cplh", "trn_fc_cpld"};
constexpr uint8_t kCntm16[] = {0, 1, 2, 3, 4, 5, 6, 15, 16, 17, 18, 19, 20, 21, 22, 31};

constexpr Level kNone{nullptr, 0, nullptr, kNoBits};

constexpr Extract kEx0[] = {{0, 1, 0, kAll, "0x%05llx"}, {0, 2, 0, kAll, "  0x%05llx"}};
constexpr Extract kEx1[] = {{0, 1, 0, kLow32, "%llu"}};
constexpr Extract kEx2[] = {{0, 1, 0, 0xFFFFFFFFFFF, "0x%llx"}};
constexpr Extract kEx3[] = {{0, 2, 0, 0x3FF, "%4llu"}, {1, 2, 0, 0x3FF, "           %4llu"},
                            {2, 2, 0, 0x3FF, "           %4llu"}};
constexpr Extract kEx4[] = {{0, 1, 0, kLow32, "0x%08llx"}, {1, 1, 0, kLow32, "  0x%08llx"},
                            {2, 1, 0, kLow32, "  0x%08llx"}};
constexpr Extract kExDrp[] = {{0, 2, 0, kLow16, "0x%04llx "}};
#define QX_EX16(w, m, f)                                                                                         \
    {0, w, 0, m, f}, {1, w, 0, m, f}, {2, w, 0, m, f}, {3, w, 0, m, f}, {4, w, 0, m, f}, {5, w, 0, m, f},        \
        {6, w, 0, m, f}, {7, w, 0, m, f}, {8, w, 0, m, f}, {9, w, 0, m, f}, {10, w, 0, m, f}, {11, w, 0, m, f}, \
        {12, w, 0, m, f}, {13, w, 0, m, f}, {14, w, 0, m, f}, {15, w, 0, m, f}
constexpr Extract kExCntm[] = {QX_EX16(1, kLow48, " 0x%012llx")};
constexpr Extract kEx17[] = {{0, 2, 16, kLow16, "0x%04llx"}, {0, 2, 0, kLow16, "    0x%04llx"},
                             {1, 2, 16, kLow16, "    0x%04llx"}, {1, 2, 0, kLow16, "    0x%04llx"}};
constexpr Extract kEx18[] = {{0, 2, 0, 7, "%-2llu"}};
#define QX_SLOT(r, sep)                                                                                          \
    {r, 2, 21, 1, sep "%1llu"}, { r, 2, 0, 0x1FFFFF, "/0x%06llx" }
constexpr Extract kEx19[] = {QX_SLOT(0, ""),    QX_SLOT(1, "   "), QX_SLOT(2, "   "), QX_SLOT(3, "   "),
                             QX_SLOT(4, "   "), QX_SLOT(5, "   "), QX_SLOT(6, "   "), QX_SLOT(7, "   ")};
constexpr Extract kEx20[] = {{0, 1, 0, kLow48, "0x%012llx"},  {1, 1, 0, kLow48, " 0x%012llx"},
                             {2, 1, 0, kLow48, " 0x%012llx"}, {3, 1, 0, kLow48, " 0x%012llx"},
                             {4, 1, 0, kLow48, " 0x%012llx"}, {5, 1, 0, kLow48, " 0x%012llx"},
                             {6, 1, 0, kLow48, " 0x%012llx"}, {7, 1, 0, kLow48, " 0x%012llx"},
                             {8, 1, 0, kLow48, " 0x%012llx"}};
constexpr Extract kEx21[] = {{0, 2, 0, kAll, "0x%016llx"},
                             {1, 2, 32, 7, " 0x%04llx", ExOp::Pow512},
                             {1, 2, 16, kLow16, " 0x%04llx"},
                             {1, 2, 0, kLow16, "       0x%04llx"},
                             {2, 2, 0, kAll, "      0x%04llx"},
                             {3, 2, 0, kAll, " 0x%04llx"}};
constexpr Extract kEx22[] = {{0, 2, 0, 31, "%04llu:%02llu  ", ExOp::Bits, KeyArg::Key}};
constexpr Extract kEx23[] = {{0, 2, 0, kAll, "%02llu:0x%016llx ", ExOp::Bits, KeyArg::Key}};
constexpr Extract kEx24[] = {{0, 1, 0, kAll, "0x%08llx"}, {1, 1, 0, kAll, "  0x%08llx"},
                             {2, 1, 0, kAll, "  0x%08llx"}, {3, 1, 0, kAll, "  0x%08llx"}};
constexpr Extract kEx25[] = {{0, 13, 0, kLow48, "0x%012llx"},     {0, 14, 0, kLow48, " 0x%012llx"},
                             {0, 15, 0, 0x1FFFFFF, " 0x%07llx"},  {0, 16, 0, kAll, " 0x%016llx"},
                             {0, 17, 0, kAll, " 0x%016llx"},      {0, 18, 0, kAll, " 0x%016llx"},
                             {0, 19, 0, kAll, " 0x%016llx"},      {0, 20, 0, kAll, " 0x%016llx"}};
constexpr Extract kEx26[] = {{0, 1, 0, kLow16, "%04llu:%05llu ", ExOp::Bits, KeyArg::Key}};
constexpr Extract kEx28[] = {{0, 2, 0, 0x7FF, "%1llu:%02llu:%04llu ", ExOp::Bits, KeyArg::Div32}};
constexpr Extract kEx29[] = {{0, 2, 0, 1, "%1llu"}};
constexpr Extract kEx31[] = {{0, 2, 0, 31, "%02llu"}};
constexpr Extract kExPtr[] = {{0, 1, 0, 0xFFFFF, "0x%05llx"}};
constexpr Extract kEx35[] = {{0, 4, 0, kAll, "0x%016llx"}, {0, 3, 0, 0xFFFFF, " 0x%06llx"}};
constexpr Extract kEx36[] = {{0, 2, 0, kAll, "0x%016llx "}};
constexpr Extract kExCnt[] = {{0, 1, 0, kLow32, "0x%08llx"}};
constexpr Extract kEx41[] = {{0, 0, 0, kAll, "0x%08llx ", ExOp::Dword}};
constexpr Extract kEx44[] = {{0, 2, 0, kLow32, "0x%08llx "}};
constexpr Extract kExFc[] = {{0, 1, 0, kLow16, "0x%04llx    "}, {1, 1, 0, kLow16, "0x%04llx    "},
                             {2, 1, 0, kLow16, "0x%04llx    "}, {3, 1, 0, kLow16, "0x%04llx    "},
                             {4, 1, 0, kLow16, "0x%04llx    "}, {5, 1, 0, kLow16, "0x%04llx    "},
                             {6, 1, 0, kLow16, "0x%04llx    "}};

#define QX_EX(a) a, std::size(a)

constexpr const char *kColDrp = "\nDrpAddr 0      1      2      3      4      5      6      7      8      9      A      B"
                                "      C      D      E      F ";
constexpr const char *kColCntm =
    "\nPort RxUniCast      RxMultiCast    RxBroadCast    RxPause        nRxBytes       RxError        "
    "RxFIFOFullDrop RxDataFrames   nTxUniCast     TxMultiCast    TxBroadCast    TxPause        TxBytes        "
    "TxError        TxDrop        TxDataFrames";
constexpr const char *kColPcie = "\nAddr 0-3Bytes   4-7Bytes   8-11Bytes  12-15Bytes 16-19Bytes 20-23Bytes "
                                 "24-27Bytes 28-31Bytes";
constexpr const char *kColFc = "\nFlowType    RxUsable  RxCredit  RxExhaust TxUsable  TxCredit  TxExhaust";

// One queue-list register: queues 0, 4, ..., 252, one read each.
constexpr Reader queue_list(uint32_t row, const char *columns, const char *prefix, const Extract *ex, size_t n)
{
    return {row, columns, false, kNone, kNone, 64, 0, 4, 1, kAll, 0, nullptr, 1, 0, nullptr, 1, prefix, 1, ex, n,
            nullptr, false};
}

constexpr Reader kReaders[] = {
    {0, "\nQID  RPTR     WPTR", false, kNone, kNone, 64, 0, 1, 1, 31, 0, nullptr, 1, 0, nullptr, 1, "\n%2llu   ", 1,
     QX_EX(kEx0), "\n%-2llu   read indreg err!", true},
    {1, "\nQID  REL_BD_CNT", false, kNone, kNone, 64, 0, 1, 1, 31, 0, nullptr, 1, 0, nullptr, 1, "\n%-2llu   ", 1,
     QX_EX(kEx1), "\n%llu read indreg err!", true},
    {2, "\ntblID  tblAttr", false, kNone, kNone, 31, 0, 1, 1, 15, 0, nullptr, 1, 0, nullptr, 1, "\n%-2llu     ", 1,
     QX_EX(kEx2), "\n%llu   read indreg err!", true},
    {3, "\nPortID   DropThreshold  AntiThreshold  RelThreshold ", false, kNone, kNone, 16, 4, 1, 1, 15, 0, nullptr,
     3, 5, nullptr, 1, "\n%-2llu      ", 1, QX_EX(kEx3), nullptr, false},
    {4, "\nPortID  ReceivePkt  DropPkt     WaterLine ", false, kNone, kNone, 16, 4, 1, 1, 31, 0, nullptr, 3, 5,
     nullptr, 1, "\n%02llu      ", 1, QX_EX(kEx4), nullptr, false},
    {12, kColDrp, false, {kPortTl, 12, "\nPort:%s", kNoBits}, kNone, 512, 0, 1, 1, 0x1FF, 0, nullptr, 1, 0, nullptr,
     16, "\n0x%03llx   ", 1, QX_EX(kExDrp), nullptr, false},
    {13, kColCntm, false, kNone, kNone, 12, 0, 1, 1, 15, 0, nullptr, 16, 4, kCntm16, 1, "\n%02llu  ", 1,
     QX_EX(kExCntm), nullptr, false},
    {17, "\nPortID   MultCBS   MultCIR   BrdCBS    BrdCIR", false, kNone, kNone, 16, 0, 1, 1, kAll, 0, nullptr, 2, 4,
     nullptr, 1, "\n%-2llu       ", 1, QX_EX(kEx17), nullptr, false},
    {18, "\nPortID  LogicID", false, kNone, kNone, 16, 0, 1, 1, 15, 0, nullptr, 1, 0, nullptr, 1, "\n%-2llu      ", 1,
     QX_EX(kEx18), "\n%llu   read indreg err!", true},
    {19,
     "\nVlanID  0(logicID)   1(logicID)   2(logicID)   3(logicID)   4(logicID)   5(logicID)   6(logicID)   "
     "7(logicID)",
     false, kNone, kNone, 4096, 0, 1, 8, kAll, 0, nullptr, 8, 0, nullptr, 1, "\n0x%04llu  ", 1, QX_EX(kEx19),
     nullptr, false},
    {20,
     "\nPortID AllTol         RightTol       ErrTol         RigthSingle    RigthMult      RigthBroadcast Strange"
     "        FlowDropMult   FlowDropBroadcast",
     false, kNone, kNone, 16, 0, 1, 1, kAll, 0, nullptr, 9, 4, nullptr, 1, "\n%-2llu     ", 1, QX_EX(kEx20),
     nullptr, false},
    {21, "\nQueueID BaseAddr           Depth FullHighLine FullLowLine Rptr   Wptr", false, kNone, kNone, 288, 0, 1, 1,
     0x1FF, 0, nullptr, 4, 9, nullptr, 1, "\n%-3llu     ", 1, QX_EX(kEx21), nullptr, false},
    {22, "\nHashValue:ProcessID", false, kNone, kNone, 4096, 0, 1, 1, kAll, 0, nullptr, 1, 0, nullptr, 16, "\n", 1,
     QX_EX(kEx22), "read err ", false},
    {23, "\nGroupID:WptrBaseAddr", false, kNone, kNone, 64, 0, 1, 1, kAll, 0, nullptr, 1, 0, nullptr, 8, "\n", 1,
     QX_EX(kEx23), "indreg read err!      ", false},
    {24, "\nQueueID TransPktCnt DropPktCnt  TransBDCnt  DropBD", false, kNone, kNone, 288, 0, 1, 1, 0x1FF, 0,
     nullptr, 4, 9, nullptr, 1, "\n%-3llu     ", 1, QX_EX(kEx24), nullptr, false},
    {25,
     "\nTableAddr FrmHitCnt      FrmDropCnt     RData5   RData4             RData3             RData2             "
     "RData1             RData0",
     false, {kTables, 5, "\nTable:%s", kNoBits}, kNone, 65536, 0, 1, 1, ~uint64_t{0x3E00}, 0, nullptr, 1, 0, nullptr,
     1, "\n0x%04llx    ", 1, QX_EX(kEx25), nullptr, false},
    {26, "\nVLanID:DropCnt", true, {kPortTl, 12, "\nPort:%s", 12}, kNone, 4096, 0, 1, 1, kAll, 0, nullptr, 1, 0,
     nullptr, 8, "\n", 1, QX_EX(kEx26), nullptr, false},
    {28, "\nKernel,User(0/1):ProcessID:MattchValue", false, kNone, kNone, 64, 0, 1, 1, kAll, 0, nullptr, 1, 0,
     nullptr, 8, "\n", 1, QX_EX(kEx28), nullptr, false},
    queue_list(29, "\nQueueID GEn", "\n%03llu     ", QX_EX(kEx29)),
    {30, "\nGroupID QEn", false, kNone, kNone, 64, 0, 1, 1, kAll, 0, nullptr, 1, 0, nullptr, 1, "\n%02llu      ", 1,
     QX_EX(kEx29), nullptr, false},
    queue_list(31, "\nQueueID WRR", "\n%03llu     ", QX_EX(kEx31)),
    queue_list(32, "\nQueueID WptrValue", "\n%03llu     ", QX_EX(kExPtr)),
    queue_list(33, "\nQueueID RptrValue", "\n%03llu     ", QX_EX(kExPtr)),
    queue_list(34, "\nQueueID RefreshRPtr", "\n%03llu     ", QX_EX(kExPtr)),
    queue_list(35, "\nQueueID BaseAddr           Depth", "\n%03llu     ", QX_EX(kEx35)),
    {36, "\nGroupID PtrBaseaddr", false, kNone, kNone, 64, 0, 1, 1, kAll, 0, nullptr, 1, 0, nullptr, 1,
     "\n%02llu     ", 1, QX_EX(kEx36), nullptr, false},
    queue_list(37, "\nQueueID RequestBDCnt", "\n%03llu     ", QX_EX(kExCnt)),
    queue_list(38, "\nQueueID ReturnBDCnt", "\n%03llu     ", QX_EX(kExCnt)),
    queue_list(39, "\nQueueID OutBufcCnt", "\n%03llu     ", QX_EX(kExCnt)),
    queue_list(40, "\nQueueID OutAddrmCnt", "\n%03llu     ", QX_EX(kExCnt)),
    {41, kColPcie, false, kNone, kNone, 1024, 0, 1, 1, 0x3FF, 0x3C00, nullptr, 1, 0, nullptr, 8, "\n%04llu  ", 4,
     QX_EX(kEx41), nullptr, false},
    {42, "\nAddr 0      1      2      3      4      5      6      7      8      9      10     11     12     13     14  "
         "   15",
     true, {kLan4, 4, "\n%s", 9}, kNone, 256, 0, 1, 1, 0xFF, 0, nullptr, 1, 0, nullptr, 16, "\n%03llu  ", 1,
     QX_EX(kExDrp), nullptr, false},
    {43, kColFc, false, kNone, kNone, 6, 0, 1, 16, kAll, 0, kFlows, 7, 0, nullptr, 1, "\n%-11s ", 1, QX_EX(kExFc),
     nullptr, false},
    {44, kColPcie, false, {kX8, 2, "\n%s", 14}, kNone, 1024, 0, 1, 1, 0x3FF, 0x3C00, nullptr, 1, 0, nullptr, 8,
     "\n%03llu  ", 4, QX_EX(kEx44), nullptr, false},
    {45, "\nAddr 0      1      2      3      4      5      6      7      8      9      A      B      C      D      E  "
         "    F",
     true, {kX8, 2, "\n%s", 8}, {kLan8, 8, "\n%s", 9}, 256, 0, 1, 1, 0xFF, 0, nullptr, 1, 0, nullptr, 16,
     "\n0x%02llx ", 1, QX_EX(kExDrp), nullptr, false},
    {46, kColFc, false, {kX8, 2, "\n%s", 8}, kNone, 6, 0, 1, 16, kAll, 0, kFlows, 7, 0, nullptr, 1, "\n%-11s ", 1,
     QX_EX(kExFc), nullptr, false},
    {48, kColDrp, false, {kPortDl, 5, "\nPort:%s", kNoBits}, kNone, 512, 0, 1, 1, 0x1FF, 0, nullptr, 1, 0, nullptr,
     16, "\n0x%03llx   ", 1, QX_EX(kExDrp), nullptr, false},
    {49, kColCntm, false, kNone, kNone, 4, 0, 1, 1, 3, 0, nullptr, 16, 2, kCntm16, 1, "\n%02llu  ", 1,
     QX_EX(kExCntm), nullptr, false},
};

const Reader *reader_of(uint32_t row)
{
    for (const Reader &r : kReaders)
        if (r.row == row)
            return &r;
    return nullptr;
}

// ---- reading ------------------------------------------------------------------------------------------

// The register's request and the words of each read of one key.
constexpr size_t kMaxReads = 16;
struct ReadSet {
    IndirRegReq req;
    uint64_t words[kMaxReads][21];
    bool ok[kMaxReads];
};

// Zeroes the words, sets the key and reads; the words as read (zeros on failure).
bool read_key(FpgaId fpga, ReadSet &s, size_t r, uint64_t key)
{
    size_t n = static_cast<size_t>(s.req.wlen) + s.req.rlen;
    std::memset(s.req.data, 0, n * sizeof(uint64_t));
    s.req.data[0] = key;
    bool ok = DornLogicReadIndirReg(fpga, &s.req) == PLOV_OK;
    if (!ok)
        std::memset(s.req.data + s.req.wlen, 0, s.req.rlen * sizeof(uint64_t));
    std::memcpy(s.words[r], s.req.data, std::min(n, std::size(s.words[r])) * sizeof(uint64_t));
    return ok;
}

uint64_t value_of(const Extract &e, const uint64_t *w)
{
    switch (e.op) {
    case ExOp::Pow512: return uint64_t{512} << ((w[e.word] >> e.shift) & e.mask);
    case ExOp::Dword: return ((w[3] << 16) & kLow32) + (w[4] & kLow16);
    case ExOp::Bits: break;
    }
    return (w[e.word] >> e.shift) & e.mask;
}

void put_value(IndregOut &o, const Extract &e, uint64_t key, uint64_t v)
{
    auto k = static_cast<unsigned long long>(key);
    auto u = static_cast<unsigned long long>(v);
    if (e.key == KeyArg::Key)
        put(o, e.fmt, k, u);
    else if (e.key == KeyArg::Div32)
        put(o, e.fmt, k / 32, k % 32, u);
    else
        put(o, e.fmt, u);
}

// One key: its reads, then its prefix and values (or the failure text).
void dump_key(FpgaId fpga, IndregOut &o, const Reader &rd, ReadSet &s, uint32_t n, uint64_t blockBits)
{
    const uint64_t key = uint64_t{n} * rd.keyStep;
    bool allOk = true;
    for (uint32_t r = 0; r < rd.reads; r++) {
        uint64_t sub = rd.readVals ? rd.readVals[r] : r;
        uint64_t bits = ((key * rd.keyMul) & rd.keyMask) | (sub << rd.readShift) | rd.fixed | blockBits;
        s.ok[r] = read_key(fpga, s, r, bits);
        allOk = allOk && s.ok[r];
    }
    if (!allOk && rd.failFmt && rd.failLine) {
        put(o, rd.failFmt, static_cast<unsigned long long>(key));
        return;
    }
    if (n % rd.perLine == 0) {
        if (rd.keyNames)
            put(o, rd.prefix, rd.keyNames[n]);
        else
            put(o, rd.prefix, static_cast<unsigned long long>(key * rd.prefixMul));
    }
    if (!allOk && rd.failFmt) {
        put(o, "%s", rd.failFmt);
        return;
    }
    for (size_t i = 0; i < rd.exCount; i++)
        put_value(o, rd.ex[i], key, value_of(rd.ex[i], s.words[rd.ex[i].read]));
}

void block_title(IndregOut &o, const Level &l, uint32_t b)
{
    put(o, "%s", kBlockRule);
    put(o, l.titleFmt, l.titles[b]);
    put(o, "%s", kBlockRule);
}

uint64_t block_bits(const Level &l, uint32_t b) { return l.shift == kNoBits ? 0 : uint64_t{b} << l.shift; }

void dump_keys(FpgaId fpga, IndregOut &o, const Reader &rd, ReadSet &s, uint64_t blockBits)
{
    uint32_t keys = fpga == 1 && rd.keysSbuf ? rd.keysSbuf : rd.keys;
    for (uint32_t n = 0; n < keys; n++)
        dump_key(fpga, o, rd, s, n, blockBits);
}

// Row 24's priority table: user and kernel, transmitted and dropped, per priority.
void priority_table(FpgaId fpga, IndregOut &o, ReadSet &s)
{
    put(o, "%s", "\nPriority UserTransCnt UserDropCnt KernelTransCnt KernelDropCnt");
    for (uint64_t p = 0; p < 8; p++) {
        unsigned long long v[4];
        for (uint64_t i = 0; i < 4; i++) {
            read_key(fpga, s, 0, p | (i / 2) << 3 | (4 + i % 2) << 9);
            v[i] = s.words[0][1] & kLow32;
        }
        put(o, "\n%1llu        0x%08llx   0x%08llx  0x%08llx     0x%08llx ", static_cast<unsigned long long>(p), v[0],
            v[1], v[2], v[3]);
    }
}

int32_t reader_body(FpgaId fpga, IndregOut &o, const Reader &rd, ReadSet &s)
{
    bool nested = rd.inner.count != 0;
    if (!rd.columnsPerBlock)
        put(o, "%s", rd.columns);
    if (rd.outer.count == 0) {
        dump_keys(fpga, o, rd, s, 0);
        return 0;
    }
    for (uint32_t b = 0; b < rd.outer.count; b++) {
        block_title(o, rd.outer, b);
        if (rd.columnsPerBlock && !nested)
            put(o, "%s", rd.columns);
        if (!nested) {
            dump_keys(fpga, o, rd, s, block_bits(rd.outer, b));
            continue;
        }
        for (uint32_t l = 0; l < rd.inner.count; l++) {
            block_title(o, rd.inner, l);
            put(o, "%s", rd.columns);
            dump_keys(fpga, o, rd, s, block_bits(rd.outer, b) | block_bits(rd.inner, l));
        }
    }
    return 0;
}

// The printer of every reading row.
int32_t dump_reader(FpgaId fpga, IndregOut &o, uint32_t row, const char *regName)
{
    reg_heading(o, regName);
    const Reader *rd = reader_of(row);
    static ReadSet s;   // large; the dump runs in one thread
    if (rd == nullptr || DornIndirBuild(row, false, &s.req) != PLOV_OK) {
        put(o, "malloc failed! [%s] %s:%u\n", "malloc_indreg_data", "trans/trans", __LINE__);
        std::printf("malloc failed! [%s] %s:%u\n\n", "malloc_indreg_data", "trans/trans", __LINE__);
        return PLOV_ERR_NO_MEM;
    }
    int32_t ret = reader_body(fpga, o, *rd, s);
    if (row == 24)
        priority_table(fpga, o, s);
    DornIndirRelease(&s.req);
    return ret;
}

// The printer of the registers too large to dump.
int32_t dump_stub(FpgaId, IndregOut &o, uint32_t, const char *regName)
{
    reg_heading(o, regName);
    put(o, "%s", "\n huge data will not be dump!");
    return 0;
}

} // namespace

#define QX_ROW(mod, mask, name, printer, cls) {mod, mask, name, printer, cls}
const IndregDumpRow g_indreg_read[kIndregDumpRows] = {
    QX_ROW("AADRM", 3, "AADRM_REG_SBD_PNT_RAM_CMD", dump_reader, 10),
    QX_ROW("AADRM", 3, "AADRM_REG_SBD_REL_CNT_RAM_CMD", dump_reader, 12),
    QX_ROW("BASE", 1, "BASE_REG_TAB_ATTR_CMD", dump_reader, 9),
    QX_ROW("BUFC", 3, "BUFC_REG_BUFC_ANTI_CMD", dump_reader, 9),
    QX_ROW("BUFC", 3, "BUFC_REG_BUFC_QUE_STAT_CMD", dump_reader, 12),
    QX_ROW("CARM", 1, "CARM_REG_CARM_CMD", dump_stub, 9),
    QX_ROW("DDR3A_CTRL", 3, "DDR3A_CTRL_REG_DDR3_CMD", dump_stub, 9),
    QX_ROW("DDR3A_CTRL", 3, "DDR3A_CTRL_REG_DDR3_CBUS_CMD", dump_stub, 9),
    QX_ROW("DDR3B_CTRL", 1, "DDR3B_CTRL_REG_DDR3_CMD", dump_stub, 9),
    QX_ROW("DDR3B_CTRL", 1, "DDR3B_CTRL_REG_DDR3_CBUS_CMD", dump_stub, 9),
    QX_ROW("FIBM", 1, "FIBM_REG_FIBM_CFG_CMD", dump_stub, 9),
    QX_ROW("PIF", 1, "PIF_REG_AXI_CFG_CMD", dump_stub, 9),
    QX_ROW("PIF", 1, "PIF_REG_DRP_CFG_CMD", dump_reader, 9),
    QX_ROW("PIF", 1, "PIF_REG_CNTM_CMD", dump_reader, 12),
    QX_ROW("QDR2", 3, "QDR2_REG_QDR2A_CMD", dump_stub, 9),
    QX_ROW("QDR2", 3, "QDR2_REG_QDR2A_CBUS_CMD", dump_stub, 9),
    QX_ROW("RLDRAM", 1, "RLDRAM_REG_RLD_CMD", dump_stub, 9),
    QX_ROW("RXM", 1, "RXM_REG_RXM_CAR_CFG_CMD", dump_reader, 9),
    QX_ROW("RXM", 1, "RXM_REG_RXM_LOGICID_CFG_CMD", dump_reader, 9),
    QX_ROW("RXM", 1, "RXM_REG_RXM_VRFGID_CFG_CMD", dump_reader, 9),
    QX_ROW("RXM", 3, "RXM_REG_CNTM_CMD", dump_reader, 12),
    QX_ROW("RXQM", 3, "RXQM_REG_RXQM_QUE_CFG_CMD", dump_reader, 9),
    QX_ROW("RXQM", 3, "RXQM_REG_CFG_PROCESSID_CMD", dump_reader, 9),
    QX_ROW("RXQM", 3, "RXQM_REG_RXQM_WPTR_CFG_CMD", dump_reader, 9),
    QX_ROW("RXQM", 3, "RXQM_REG_RXM_QUE_STAT_CMD", dump_reader, 12),
    QX_ROW("TABLEM", 1, "TABLEM_REG_TABM_CFG_CMD", dump_reader, 9),
    QX_ROW("TABLEM", 1, "TABLEM_REG_VLANID_DROP_CNT_CMD", dump_reader, 12),
    QX_ROW("TRM", 3, "TRM_REG_TRM_TCAM_CFG_CMD", dump_stub, 9),
    QX_ROW("TXM", 3, "TXM_REG_THREAD_MATCH_CMD", dump_reader, 9),
    QX_ROW("TXQM", 3, "TXQM_REG_TXQM_QWORK_CFG_CMD", dump_reader, 9),
    QX_ROW("TXQM", 3, "TXQM_REG_TXQM_QGPWORK_CFG_CMD", dump_reader, 9),
    QX_ROW("TXQM", 3, "TXQM_REG_TXQM_WRR_CFG_CMD", dump_reader, 9),
    QX_ROW("TXQM", 3, "TXQM_REG_TXQM_WPTR_OP_CMD", dump_reader, 9),
    QX_ROW("TXQM", 3, "TXQM_REG_TXQM_SCH_RPTR_OP_CMD", dump_reader, 9),
    QX_ROW("TXQM", 3, "TXQM_REG_TXQM_REF_RPTR_OP_CMD", dump_reader, 9),
    QX_ROW("TXQM", 3, "TXQM_REG_TXQM_QBASEADDR_CFG_CMD", dump_reader, 9),
    QX_ROW("TXQM", 3, "TXQM_REG_TXQM_PTRBASEADDR_CFG_CMD", dump_reader, 9),
    QX_ROW("TXQM", 3, "TXQM_REG_TXQM_REQCNT_CMD", dump_reader, 12),
    QX_ROW("TXQM", 3, "TXQM_REG_TXQM_RTNCNT_CMD", dump_reader, 12),
    QX_ROW("TXQM", 3, "TXQM_REG_TXQM_OUTCNT_CMD", dump_reader, 12),
    QX_ROW("TXQM", 3, "TXQM_REG_TXQM_OUTADDRM_CMD", dump_reader, 12),
    QX_ROW("PCIE_X4", 3, "PCIE_X4_REG_PCIE_CFG_CMD", dump_reader, 9),
    QX_ROW("PCIE_X4", 3, "PCIE_X4_REG_PCIE_GTX_DRP_CMD", dump_reader, 9),
    QX_ROW("PCIE_X4", 3, "PCIE_X4_REG_PCIE_TRN_FC_CMD", dump_reader, 10),
    QX_ROW("PCIE_X8", 3, "PCIE_X8_REG_PCIE_CFG_CMD", dump_reader, 9),
    QX_ROW("PCIE_X8", 3, "PCIE_X8_REG_PCIE_GTX_DRP_CMD", dump_reader, 9),
    QX_ROW("PCIE_X8", 3, "PCIE_X8_REG_PCIE_TRN_FC_CMD", dump_reader, 10),
    QX_ROW("DL", 2, "DL_REG_DL_AXI_CFG_CMD", dump_stub, 9),
    QX_ROW("DL", 2, "DL_REG_DL_DRP_CFG_CMD", dump_reader, 9),
    QX_ROW("DL", 2, "DL_REG_CNTM_CMD", dump_reader, 12),
};

namespace {

constexpr const char *kFile = "trans/trans";

struct DumpInput {
    int type;
    int index;
    char path[64];
};

int32_t dump_input_check(const char *params, DumpInput &in)
{
    in = DumpInput{-1, -1, ""};
    int ret = sscanf_s(params, "%d:%d:%s", &in.type, &in.index, in.path, sizeof in.path);
    if (ret < 3) {
        std::printf("[sscanf_s]: too little para,iRet=%d InputString = %s!\n\n", ret, params);
        return kTransBadInput;
    }
    if (in.type != 0 && in.type != 1) {
        std::printf("Invalid input DumpType,DumpType=%d\n\n", in.type);
        return kTransBadInput;
    }
    int limit = in.type == 0 ? 3 : static_cast<int>(kIndregDumpRows) - 1;
    if (in.index < 0 || in.index > limit) {
        std::printf("Invalid input DumpIndex, DumpType=%d DumpIndex=%d\n\n", in.type, in.index);
        return kTransBadInput;
    }
    return 0;
}

void dump_class(FpgaId fpga, IndregOut &o, int cls)
{
    const char *last = nullptr;
    for (uint32_t r = 0; r < kIndregDumpRows; r++) {
        const IndregDumpRow &row = g_indreg_read[r];
        if (!(row.classMask >> cls & 1) || !(row.fpgaMask >> fpga & 1))
            continue;
        if (last == nullptr || std::strcmp(last, row.module) != 0) {
            put(o, "%s\nMoudle Name:%s%s", kModuleRule, row.module, kModuleRule);
            last = row.module;
        }
        row.printer(fpga, o, r, row.regName);
    }
}

} // namespace

TransOpStatus logic_indreg_dump(FpgaId fpga, const char *params)
{
    DumpInput in;
    if (int32_t ret = dump_input_check(params, in); ret != 0)
        return ret;
    IndregOut o{host().fopen(in.path, "w+"), false};
    if (o.file == nullptr) {
        std::printf("fopen err,file:%s existe or create err!\n\n", in.path);
        return PLOV_ERR_OPEN;
    }
    if (in.type == 0) {
        dump_class(fpga, o, in.index);
    } else {
        const IndregDumpRow &row = g_indreg_read[in.index];
        row.printer(fpga, o, static_cast<uint32_t>(in.index), row.regName);
    }
    bool closed = std::fclose(o.file) == 0;
    if (o.failed || !closed) {
        std::printf("Write to %s failed [%s] %s:%u\n", in.path, __func__, kFile, __LINE__);
        return PLOV_ERR_PARSE;
    }
    return 0;
}

TransOpStatus trans_logic_indreg_dump(const char *params) { return logic_indreg_dump(0, params); }
TransOpStatus sbuf_logic_indreg_dump(const char *params) { return logic_indreg_dump(1, params); }

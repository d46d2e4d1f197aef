#include "tool/trans/table_test.h"

#include <cerrno>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <sys/time.h>

#include "bases/host/host.h"
#include "boardlib/plov_table_intf.h"
#include "boardlib/trans_table.h"
#include "tool/trans/table_text.h"
#include "tool/trans/trans_cmd.h"

namespace {

constexpr const char *kFile = "trans/trans";

// ---- record shapes of the tables the commands take ------------------------------------------

struct TableShape {
    uint8_t table;
    bool byIndex;
    uint32_t keyMax;   // bytes; the mask has the same when maskMax is set
    uint32_t maskMax;
    uint32_t actMax;
    uint32_t infoMax;
};
constexpr TableShape kShapes[] = {
    {2, false, 8, 0, 0, 8},   {4, true, 40, 40, 8, 0}, {5, true, 40, 40, 8, 0}, {6, true, 40, 40, 8, 0},
    {7, true, 40, 40, 8, 0},  {8, true, 40, 40, 8, 0}, {14, false, 40, 0, 0, 8}, {15, true, 0, 0, 8, 0},
};

const TableShape *shape_of(uint32_t table)
{
    for (const TableShape &s : kShapes)
        if (s.table == table)
            return &s;
    return nullptr;
}

// One record's buffers, in host words.
struct Record {
    uint64_t key[5];
    uint64_t mask[5];
    uint64_t act[1];
    uint64_t info[1];
};

uint8_t *bytes(uint64_t *w) { return reinterpret_cast<uint8_t *>(w); }

// Which fields a command takes from the data text.
enum Fields : unsigned { kKey = 1, kMask = 2, kAct = 4, kInfo = 8 };

// Parses the fields `want` (of those the table has) and turns each 8-byte
// group from text order into a host word.
int32_t parse_record(const TableShape &s, const char *data, unsigned want, Record &r)
{
    r = Record{};
    auto pick = [&](unsigned f, uint32_t max, uint64_t *w) { return (want & f) && max ? bytes(w) : nullptr; };
    int32_t ret = parse_ascii(data, pick(kKey, s.keyMax, r.key), pick(kMask, s.maskMax, r.mask),
                              pick(kAct, s.actMax, r.act), pick(kInfo, s.infoMax, r.info), s.keyMax, s.maskMax,
                              s.actMax, s.infoMax);
    table_swap_groups(bytes(r.key), sizeof r.key);
    table_swap_groups(bytes(r.mask), sizeof r.mask);
    table_swap_groups(bytes(r.act), 8);
    table_swap_groups(bytes(r.info), 8);
    return ret;
}

const char *word_of(int32_t status) { return status == 0 ? "SUCCESS" : "FAILED"; }

int32_t bad_table(uint32_t table, const char *fn)
{
    std::printf("Error tableid %u, please check [%s] %s:%u\n", table, fn, kFile, __LINE__);
    return kTransBadInput;
}

// The result line; a failed write prints the handler's own line and is returned.
enum class WriteMsg { Plain, Clear, Get };
int32_t result_line(const char *path, const char *name, const char *word, const char *text, WriteMsg msg,
                    const char *fn)
{
    int32_t ret = write_result_to_file(path, name, word, text);
    if (ret == 0)
        return 0;
    if (msg == WriteMsg::Clear)
        std::printf("Write result to file failed, iRet = %d %s:%u\n", ret, kFile, __LINE__);
    else if (msg == WriteMsg::Get)
        std::printf("Write result to file failed, iRet = %d [%s] %s:%u\n", ret, fn, kFile, __LINE__);
    else
        std::printf("write_result_to_file exe failed, iRet = %d [%s] %s:%u\n", ret, fn, kFile, __LINE__);
    return ret;
}

int32_t parse_failed(int32_t ret, const char *fn)
{
    std::printf("parse_ascii exe failed, iRet = %d [%s] %s:%u\n", ret, fn, kFile, __LINE__);
    return kTransBadInput;
}

// The result text of a read record, the fields the table has.
void record_text(const TableShape &s, Record &r, char *text, size_t textMax)
{
    TableAscRecord a{};
    a.key = s.keyMax ? bytes(r.key) : nullptr;
    a.mask = s.maskMax ? bytes(r.mask) : nullptr;
    a.act = s.actMax ? bytes(r.act) : nullptr;
    a.info = s.infoMax ? bytes(r.info) : nullptr;
    a.keyLen = s.keyMax;
    a.actLen = s.actMax;
    a.infoLen = s.infoMax;
    convert_data_to_ascstr(&a, text, textMax);
}

constexpr size_t kResultTextSize = 200;

} // namespace

// ---- result file ------------------------------------------------------------------------------

int32_t write_result_to_file(const char *path, const char *name, const char *word, const char *text)
{
    FILE *f = host().fopen(path, "a+");
    if (f == nullptr) {
        std::printf("%s Open failed, errno = %d [%s] %s:%u\n", path, errno, __func__, kFile, __LINE__);
        return PLOV_ERR_OPEN;
    }
    int n = text ? std::fprintf(f, "%s\t%s\t%s\n", name, word, text) : std::fprintf(f, "%s\t%s\n", name, word);
    int closed = std::fclose(f);
    if (n < 0 || closed != 0) {
        std::printf("Write to %s failed, iRet = %u [%s] %s:%u\n", path, static_cast<unsigned>(n < 0 ? n : closed),
                    __func__, kFile, __LINE__);
        return PLOV_ERR_PARSE;
    }
    return 0;
}

// ---- the operations ------------------------------------------------------------------------------

int32_t clear_stat(const char *name, uint32_t table, uint32_t index, const char *, const char *path)
{
    const TableShape *s = shape_of(table);
    if (s == nullptr || !s->byIndex)
        return bad_table(table, __func__);
    PlovStatus ret = PlovClrStatByIndex(cmd_u8(table), index);
    if (ret != 0)
        std::printf("PlovClrStatByIndex exe failed, iRet = %d [%s] %s:%u\n", ret, __func__, kFile, __LINE__);
    return result_line(path, name, word_of(ret), nullptr, WriteMsg::Clear, __func__);
}

int32_t delete_record(const char *name, uint32_t table, uint32_t index, const char *data, const char *path)
{
    const TableShape *s = shape_of(table);
    if (s == nullptr)
        return bad_table(table, __func__);
    PlovStatus ret;
    if (s->byIndex) {
        ret = PlovDelRecordByIndex(s->table, index);
    } else {
        Record r;
        if (int32_t p = parse_record(*s, data, kKey, r); p != 0) {
            if (table == 14)
                std::printf("Parse ASCII failed, iRet = %d [%s] %s:%u\n", p, __func__, kFile, __LINE__);
            return table == 14 ? kTransBadInput : parse_failed(p, __func__);
        }
        ret = PlovDelRecordByKey(s->table, r.key);
    }
    if (ret != 0)
        std::printf("Del Record function exe failed, iRet = %d, errno[%d] [%s] %s:%u\n", ret, errno, __func__, kFile,
                    __LINE__);
    return result_line(path, name, word_of(ret), nullptr, WriteMsg::Plain, __func__);
}

int32_t write_record(const char *name, uint32_t table, uint32_t index, const char *data, const char *path)
{
    const TableShape *s = shape_of(table);
    if (s == nullptr)
        return bad_table(table, __func__);
    Record r;
    if (int32_t p = parse_record(*s, data, kKey | kMask | kAct | kInfo, r); p != 0)
        return parse_failed(p, __func__);
    PlovStatus ret;
    if (!s->byIndex)
        ret = PlovAddRecordByKey(s->table, r.key, r.info);
    else if (s->keyMax == 0)
        ret = PlovAddRecordByIndex(s->table, index, nullptr, nullptr, r.act);
    else
        ret = PlovAddRecordByIndex(s->table, index, r.key, r.mask, r.act);
    if (ret != 0)
        std::printf("Add Record function exe failed, iRet = %d errno[%d] [%s] %s:%u\n", ret, errno, __func__, kFile,
                    __LINE__);
    return result_line(path, name, word_of(ret), nullptr, WriteMsg::Plain, __func__);
}

int32_t get_record(const char *name, uint32_t table, uint32_t index, const char *data, const char *path)
{
    const TableShape *s = shape_of(table);
    if (s == nullptr)
        return bad_table(table, __func__);
    Record r;
    if (!s->byIndex) {
        if (int32_t p = parse_record(*s, data, kKey, r); p != 0) {
            if (table != 2)
                return parse_failed(p, __func__);
            std::printf("parse_ascii exe failed, iRet = %d, errno[%d] [%s] %s:%u\n", p, errno, __func__, kFile,
                        __LINE__);
            return kTransBadInput;
        }
    } else {
        r = Record{};
    }
    void *text = std::malloc(kResultTextSize);
    if (text == nullptr) {
        std::printf("Malloc for str failed, errno = %d [%s] %s:%u\n", errno, __func__, kFile, __LINE__);
        return PLOV_ERR_NO_MEM;
    }
    PlovStatus ret;
    if (!s->byIndex)
        ret = PlovGetRecordByKey(s->table, r.key, r.info);
    else if (s->keyMax == 0)
        ret = PlovGetRecordByIndex(s->table, index, nullptr, nullptr, r.act);
    else
        ret = PlovGetRecordByIndex(s->table, index, r.key, r.mask, r.act);
    char word[kTableWordSize] = "";
    judge_lsinvalid_rec(ret, &text, word);
    if (text != nullptr)
        record_text(*s, r, static_cast<char *>(text), kResultTextSize);
    int32_t w = result_line(path, name, word, static_cast<char *>(text), WriteMsg::Get, __func__);
    std::free(text);
    return w;
}

int32_t read_stat(const char *name, uint32_t table, uint32_t index, const char *, const char *path)
{
    const TableShape *s = shape_of(table);
    if (s == nullptr || !s->byIndex)
        return bad_table(table, __func__);
    void *text = std::malloc(kResultTextSize);
    if (text == nullptr) {
        std::printf("Malloc for str failed, errno = %d [%s] %s:%u\n", errno, __func__, kFile, __LINE__);
        return PLOV_ERR_NO_MEM;
    }
    uint64_t counters[2];
    std::memset(counters, 0x01, sizeof counters);
    PlovStatus ret = PlovGetStatByIndex(s->table, index, counters);
    char word[kTableWordSize] = "";
    judge_lsinvalid_rec(ret, &text, word);
    if (text != nullptr && s->keyMax == 0)
        snprintf_s(static_cast<char *>(text), kResultTextSize, kResultTextSize - 1, "DROP:%" PRIx64, counters[0]);
    else if (text != nullptr)
        snprintf_s(static_cast<char *>(text), kResultTextSize, kResultTextSize - 1, "HIT:%" PRIx64 ";DROP:%" PRIx64,
                   counters[0], counters[1]);
    int32_t w = result_line(path, name, word, static_cast<char *>(text), WriteMsg::Plain, __func__);
    std::free(text);
    return w;
}

// ---- the command file ------------------------------------------------------------------------------

namespace {

using TableOp = int32_t (*)(const char *, uint32_t, uint32_t, const char *, const char *);
struct OpRow {
    char letter;
    TableOp op;
};
constexpr OpRow kOps[] = {
    {'C', clear_stat}, {'D', delete_record}, {'G', get_record}, {'R', read_stat}, {'W', write_record},
};

constexpr size_t kFirstLineRead = 63;   // 62 characters and the terminator
constexpr size_t kLineMax = 255;
constexpr size_t kNameMax = 29, kSecondMax = 8, kOpMax = 2, kDataMax = 199;

// Drops a trailing "\n" or "\r\n"; whether there was a line end.
bool chop_line_end(char *line)
{
    size_t n = std::strlen(line);
    if (n == 0 || line[n - 1] != '\n')
        return false;
    line[--n] = '\0';
    if (n > 0 && line[n - 1] == '\r')
        line[n - 1] = '\0';
    return true;
}

// One data line's words; the table id and index carry over between lines.
struct CmdLine {
    char name[kLineMax + 1];
    char second[kLineMax + 1];
    char op[kLineMax + 1];
    char data[kLineMax + 1];
};

// Scans a line: the scan result, or -1 for a word over its limit.
int scan_line(const char *line, CmdLine &c, uint32_t &table, uint32_t &index)
{
    c.name[0] = c.second[0] = c.op[0] = c.data[0] = '\0';
    int ret = sscanf_s(line, "%s\t%s\t%s\t%u\t%u\t%s", c.name, sizeof c.name, c.second, sizeof c.second, c.op,
                       sizeof c.op, &table, &index, c.data, sizeof c.data);
    if (std::strlen(c.name) > kNameMax || std::strlen(c.second) > kSecondMax || std::strlen(c.op) > kOpMax ||
        std::strlen(c.data) > kDataMax)
        return -1;
    return ret;
}

TableOp op_of(char letter)
{
    for (const OpRow &r : kOps)
        if (r.letter == letter)
            return r.op;
    return nullptr;
}

// The file's first line names the result file, which must exist.
int32_t result_path(FILE *f, const char *path, char *out, size_t outSize)
{
    if (std::fgets(out, static_cast<int>(outSize), f) == nullptr || !chop_line_end(out)) {
        std::printf("Read the first line of file %s failed [%s] %s:%u\n", path, "parse_config_file", kFile, __LINE__);
        return PLOV_ERR_PARSE;
    }
    FILE *check = host().fopen(out, "r");
    if (check == nullptr) {
        std::printf("Open File %s error, errno = %d [%s] %s:%u\n", out, errno, "parse_config_file", kFile, __LINE__);
        return PLOV_ERR_OPEN;
    }
    std::fclose(check);
    return 0;
}

int32_t run_lines(FILE *f, const char *result)
{
    uint32_t table = kCmdUnset, index = kCmdUnset;
    int32_t firstFail = 0;
    char line[kLineMax + 3];
    CmdLine c;
    while (std::fgets(line, sizeof line, f) != nullptr) {
        bool ended = chop_line_end(line);
        int ret = (!ended && !std::feof(f)) || std::strlen(line) > kLineMax ? -1 : scan_line(line, c, table, index);
        if (ret < 0 || !cmd_given(table) || !cmd_given(index)) {
            std::printf("Parse file failed, iRet = %d [%s] %s:%u\n", ret, "parse_config_file", kFile, __LINE__);
            return kTransBadInput;
        }
        TableOp op = c.name[0] == '/' ? nullptr : op_of(c.op[0]);
        if (op == nullptr)
            continue;
        int32_t r = op(c.name, table, index, c.data, result);
        if (r == kTransBadInput) {
            std::printf("Parse param failed, iRet = %d [parse_config_file] %s:%u\n", r, kFile, __LINE__);
            return kTransBadInput;
        }
        if (r != 0 && firstFail == 0)
            firstFail = r;
    }
    return firstFail;
}

} // namespace

int32_t parse_config_file(const char *path)
{
    FILE *f = host().fopen(path, "r");
    if (f == nullptr) {
        std::printf("Open File %s error, errno = %d [%s] %s:%u\n", path, errno, __func__, kFile, __LINE__);
        return PLOV_ERR_OPEN;
    }
    char result[kFirstLineRead];
    int32_t ret = result_path(f, path, result, sizeof result);
    if (ret == 0)
        ret = run_lines(f, result);
    std::fclose(f);
    return ret;
}

TransOpStatus test_tcam_record(const char *params)
{
    char path[kLineMax + 1] = "";
    int ret = sscanf_s(params, "%s", path, sizeof path);
    if (ret < 0)
        return trans_bad_input(CmdSite{__func__, kFile, __LINE__}, ret);
    int32_t st = parse_config_file(path);
    if (st != 0) {
        trans_failed();
        std::printf("Parse file and exe function failed, iRet = %d [%s] %s:%u\n", st, __func__, kFile, __LINE__);
        return st;
    }
    trans_success();
    std::puts("Parse file and exe function success, look up test result");
    return 0;
}

// ---- bulk initialisation ------------------------------------------------------------------------

namespace {

struct TableCount {
    uint8_t table;
    uint32_t count;
};
constexpr TableCount kTcamTables[] = {{4, 5120}, {5, 12288}, {6, 10240}, {7, 10240}, {8, 4096}};
constexpr TableCount kCarStats = {15, 0x70000};

int32_t empty_table(const TableCount &t)
{
    Record r{};
    for (uint32_t i = 0; i < t.count; i++) {
        PlovStatus ret = PlovGetRecordByIndex(t.table, i, r.key, r.mask, r.act);
        if (ret == kTableNoRecord)
            continue;
        if (ret != 0) {
            trans_failed();
            std::printf("PlovGetRecordByIndex error, tableid = %d, iRet = %d %s:%u\n", t.table, ret, kFile, __LINE__);
            return ret;
        }
        ret = PlovDelRecordByIndex(t.table, i);
        if (ret != 0) {
            trans_failed();
            std::printf("PlovDelRecordByIndex error, tableid = %d, iRet = %d %s:%u\n", t.table, ret, kFile, __LINE__);
            return ret;
        }
    }
    return 0;
}

int32_t clear_stats(const TableCount &t)
{
    for (uint32_t i = 0; i < t.count; i++)
        if (PlovStatus ret = PlovClrStatByIndex(t.table, i); ret != 0) {
            trans_failed();
            std::printf("PlovClrStatByIndex error, tableid = %d, iRet = %d %s:%u\n", t.table, ret, kFile, __LINE__);
            return ret;
        }
    return 0;
}

} // namespace

TransOpStatus init_tcam_record(const char *)
{
    int32_t ret = 0;
    for (const TableCount &t : kTcamTables)
        if (ret == 0)
            ret = empty_table(t);
    if (ret == 0)
        ret = clear_stats(kCarStats);
    if (ret != 0) {
        trans_failed();
        std::puts("Init tcam record or car statistics failed, please check");
        return ret;
    }
    trans_success();
    std::puts("Init tacm record success");
    return 0;
}

// ---- speed test ------------------------------------------------------------------------------------

namespace {

// Sum and longest of one operation's times, in microseconds.
struct Timing {
    uint32_t sum = 0;
    uint32_t longest = 0;
};

uint64_t now_us()
{
    struct timeval tv {};
    host().gettimeofday(&tv, nullptr);
    return static_cast<uint64_t>(tv.tv_sec) * 1000000u + static_cast<uint64_t>(tv.tv_usec);
}

// Times one call into `t`; returns its status.
template <typename Call> PlovStatus timed(Timing &t, Call call)
{
    uint64_t start = now_us();
    PlovStatus ret = call();
    auto spent = static_cast<uint32_t>(now_us() - start);
    t.sum += spent;
    if (spent > t.longest)
        t.longest = spent;
    return ret;
}

struct SpeedBufs {
    uint64_t key[5];
    uint64_t mask[5];
    uint64_t act[1];
};

int32_t table_test_index(uint8_t table, uint32_t count, const SpeedBufs &b)
{
    std::printf("table_id : %d\n", table);
    Timing add, get, del;
    for (uint32_t i = 0; i < count; i++) {
        SpeedBufs out{};
        if (PlovStatus r = timed(add, [&] { return PlovAddRecordByIndex(table, i, b.key, b.mask, b.act); }); r != 0) {
            std::printf("Function Add  Record error, iRet = %d,index = %d\n", r, static_cast<int>(i));
            return r;
        }
        if (PlovStatus r = timed(get, [&] { return PlovGetRecordByIndex(table, i, out.key, out.mask, out.act); });
            r != 0) {
            std::printf("Function Get ACL Record error, iRet = %d,index = %d\n", r, static_cast<int>(i));
            return r;
        }
        if (PlovStatus r = timed(del, [&] { return PlovDelRecordByIndex(table, i); }); r != 0) {
            std::printf("Function Del ACL Record error, iRet = %d,index = %d\n", r, static_cast<int>(i));
            return r;
        }
    }
    const int n = static_cast<int>(count);
    std::printf("Write table,from 0 to %d,the time was %d us.the longest time of one operation is %d us\n", n,
                static_cast<int>(add.sum), static_cast<int>(add.longest));
    std::printf("Get table,from 0 to %d,the time was %d us.the longest time of one operation is %d us\n", n,
                static_cast<int>(get.sum), static_cast<int>(get.longest));
    std::printf("Del table,from 0 to %d,the time was %d us.the longest time of one operation is %d us\n", n,
                static_cast<int>(del.sum), static_cast<int>(del.longest));
    return 0;
}

constexpr int kKeyRounds = 4000;

int32_t table_test_key(uint8_t table, const SpeedBufs &b)
{
    std::printf("table_id : %d\n", table);
    Timing add, get, del;
    for (int i = 0; i < kKeyRounds; i++) {
        uint64_t result[1] = {0};
        if (PlovStatus r = timed(add, [&] { return PlovAddRecordByKey(table, b.key, b.act); }); r != 0) {
            std::printf("Function Add  Record error, iRet = %d\n", r);
            return r;
        }
        if (PlovStatus r = timed(get, [&] { return PlovGetRecordByKey(table, b.key, result); }); r != 0) {
            std::printf("Function GET  Record error, iRet = %d\n", r);
            return r;
        }
        if (PlovStatus r = timed(del, [&] { return PlovDelRecordByKey(table, b.key); }); r != 0) {
            std::printf("Function DEL  Record error, iRet = %d\n", r);
            return r;
        }
    }
    std::printf("Write table,for %d times,the time was %d us.the longest time of one operation is %d us\n",
                kKeyRounds, static_cast<int>(add.sum), static_cast<int>(add.longest));
    std::printf("Get table,for %d times,,the time was %d us.the longest time of one operation is %d us\n",
                kKeyRounds, static_cast<int>(get.sum), static_cast<int>(get.longest));
    std::printf("Del table,for %d times,,the time was %d us.the longest time of one operation is %d us\n",
                kKeyRounds, static_cast<int>(del.sum), static_cast<int>(del.longest));
    return 0;
}

constexpr TableCount kSpeedIndexTables[] = {{4, 5120}, {5, 12288}, {6, 10240}, {7, 10240}, {8, 4096}, {15, 0x70000}};
constexpr uint8_t kSpeedKeyTables[] = {14, 2};

} // namespace

TransOpStatus test_table_func(const char *)
{
    SpeedBufs b;
    std::memset(b.key, 0x7F, sizeof b.key);
    std::memset(b.mask, 0x80, sizeof b.mask);
    const uint8_t act[8] = {0x00, 0x00, 0xF8, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
    std::memcpy(b.act, act, sizeof act);
    int32_t first = 0;
    for (const TableCount &t : kSpeedIndexTables)
        if (int32_t r = table_test_index(t.table, t.count, b); r != 0 && first == 0)
            first = r;
    bytes(b.key)[4] = 0;
    for (uint8_t table : kSpeedKeyTables)
        if (int32_t r = table_test_key(table, b); r != 0 && first == 0)
            first = r;
    return first;
}

// ---- catalogue queries ---------------------------------------------------------------------------

TransOpStatus get_table_info_byid(const char *params)
{
    uint32_t table = kCmdUnset;
    int ret = sscanf_s(params, "%u", &table);
    if (ret != 1)
        return trans_bad_input(CmdSite{__func__, kFile, __LINE__}, ret);
    uint64_t desc = 0;
    PlovStatus st = ruda_get_tableinfo_byid(cmd_u8(table), &desc);
    if (st != 0)
        return trans_op_failed("ruda_get_tableinfo_byid", st);
    TableDescFields f = ruda_desc_fields(desc);
    trans_success();
    std::printf("Success to get the tableinfo of table%u\n", table);
    std::printf("\tvld : %u\n\tcmdaddr offset : %u\n\tinnerid : %u\n\taddrlen : %u\n\twdatalen : %u\n\trdatalen : "
                "%u\n\tLineflag : %u\n\tMaskflag : %u\n\tkeylen : %u\n\tactlen : %u\n\tDelflag : %u\n",
                f.vld, f.cmdaddr, f.innerid, f.addrlen, f.wdatalen, f.rdatalen, f.lineflag, f.maskflag, f.keylen,
                f.actlen, f.delflag);
    return 0;
}

TransOpStatus get_table_num(const char *)
{
    uint8_t num = 0;
    PlovStatus st = ruda_get_table_num(&num);
    if (st != 0)
        return trans_op_failed("ruda_get_table_num", st);
    trans_success();
    std::printf("Number of tables : %u\n", num);
    return 0;
}

TransOpStatus del_table(const char *)
{
    PlovStatus st = PlovDelAllTable();
    if (st != 0)
        return trans_op_failed("PlovDelAllTable", st);
    trans_success();
    return 0;
}

#include "tool/trans/table_text.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <iterator>

#include "kelvo/kelvo.h"
#include "tool/trans/trans_cmd.h"

namespace {

constexpr const char *kFile = "trans/trans";

int hex_digit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// The field letters in the order of parse_ascii's buffers, with the word
// its failure line names.
struct FieldRow {
    char letter;
    const char *what;
};
constexpr FieldRow kFields[] = {{'K', "key"}, {'M', "mask"}, {'T', "act"}, {'I', "info"}};

constexpr char kHex[] = "0123456789abcdef";

} // namespace

int32_t parse_asc_by_byte(const char **cursor, uint8_t *buf, uint32_t max)
{
    if (buf == nullptr) {
        std::puts("point is null!");
        return kTransBadInput;
    }
    const char *p = *cursor + 1;  // past the letter
    for (uint32_t n = 0; *p != ';'; n++) {
        if (n == max) {
            std::puts("param too long");
            return kTransBadInput;
        }
        int hi = hex_digit(p[0]);
        int lo = hi < 0 ? -1 : hex_digit(p[1]);
        if (lo < 0) {
            std::printf("param error, iRet = %d\n\n", 0);
            return kTransBadInput;
        }
        buf[n] = static_cast<uint8_t>(hi << 4 | lo);
        p += 2;
    }
    *cursor = p + 1;
    return 0;
}

int32_t parse_ascii(const char *text, uint8_t *key, uint8_t *mask, uint8_t *act, uint8_t *info, uint32_t keyMax,
                    uint32_t maskMax, uint32_t actMax, uint32_t infoMax)
{
    uint8_t *const bufs[] = {key, mask, act, info};
    const uint32_t maxes[] = {keyMax, maskMax, actMax, infoMax};
    const char *p = text;
    while (p != nullptr && *p != '\0') {
        size_t f = 0;
        while (f < std::size(kFields) && kFields[f].letter != *p)
            f++;
        if (f == std::size(kFields)) {
            std::printf("Unknown field %c, please check [%s] %s:%u\n", *p, __func__, kFile, __LINE__);
            return kTransBadInput;
        }
        if (parse_asc_by_byte(&p, bufs[f], maxes[f]) != 0) {
            std::printf("parse_asc_by_byte parse %s failed, please check [%s] %s:%u\n", kFields[f].what, __func__,
                        kFile, __LINE__);
            return kTransBadInput;
        }
    }
    return 0;
}

int32_t convert_data_to_ascstr(const TableAscRecord *record, char *text, size_t textMax)
{
    if (record == nullptr || text == nullptr || textMax == 0)
        return kTransBadInput;
    const uint8_t *const bufs[] = {record->key, record->mask, record->act, record->info};
    const uint32_t lens[] = {record->keyLen, record->keyLen, record->actLen, record->infoLen};
    size_t at = 0;
    for (size_t f = 0; f < std::size(kFields); f++) {
        if (bufs[f] == nullptr)
            continue;
        size_t groups = lens[f] / 8;
        if (at + 2 + groups * 16 >= textMax) {
            text[0] = '\0';
            return kTransBadInput;
        }
        text[at++] = kFields[f].letter;
        for (size_t g = 0; g < groups; g++)
            for (size_t b = 8; b-- > 0;) {
                uint8_t v = bufs[f][g * 8 + b];
                text[at++] = kHex[v >> 4];
                text[at++] = kHex[v & 15];
            }
        text[at++] = ';';
    }
    text[at] = '\0';
    return 0;
}

void table_swap_groups(uint8_t *buf, size_t size)
{
    for (size_t g = 0; g + 8 <= size; g += 8)
        for (size_t i = 0; i < 4; i++) {
            uint8_t t = buf[g + i];
            buf[g + i] = buf[g + 7 - i];
            buf[g + 7 - i] = t;
        }
}

void judge_lsinvalid_rec(int32_t status, void **buf, char *word)
{
    const char *w = "SUCCESS";
    if (status == kTableNoRecord) {
        std::printf("The record inquried not exist, iRet = %d, errno[%d] [%s] %s:%u\n", status, errno, __func__, kFile,
                    __LINE__);
        w = "INVREC";
    } else if (status != 0) {
        std::printf("Get Record function exe failed, iRet = %d, errno[%d] [%s] %s:%u\n", status, errno, __func__,
                    kFile, __LINE__);
        w = "FAILED";
    }
    if (status != 0 && buf != nullptr) {
        std::free(*buf);
        *buf = nullptr;
    }
    TRANS_STRNCPY_S(word, kTableWordSize, w, kTableWordSize - 1);
}

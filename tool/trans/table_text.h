// The text form of a hardware-table record (fields K key, M mask, T action,
// I info, each hexadecimal bytes ended by ";") in both directions, and the
// status word of a record read.
#ifndef QUORBIX_TOOL_TRANS_TABLE_TEXT_H
#define QUORBIX_TOOL_TRANS_TABLE_TEXT_H

#include <cstddef>
#include <cstdint>

// The table library's "no such record" status.
inline constexpr int32_t kTableNoRecord = -1341;

// Capacity of a status word ("SUCCESS", "FAILED", "INVREC").
inline constexpr size_t kTableWordSize = 10;

// One field: fills `buf` (capacity `max` bytes) from the start, two digits a
// byte, in text order, from the field at *cursor (its letter first) up to
// and past its ";". 0, or -1202 after its console line: no buffer, a digit
// missing or not hexadecimal, or no ";" within `max` bytes. Never reads past
// the text's terminator.
int32_t parse_asc_by_byte(const char **cursor, uint8_t *buf, uint32_t max);

// Every field of `text` into its buffer (null: the record has no such
// field). 0 when the text is used up; -1202 for a failed field or a field
// letter other than K, M, T, I.
int32_t parse_ascii(const char *text, uint8_t *key, uint8_t *mask, uint8_t *act, uint8_t *info, uint32_t keyMax,
                    uint32_t maskMax, uint32_t actMax, uint32_t infoMax);

// The record's buffers (null: not written) and lengths in bytes; the key
// length serves key and mask.
struct TableAscRecord {
    const uint8_t *key;
    const uint8_t *mask;
    const uint8_t *act;
    const uint8_t *info;
    uint32_t keyLen;
    uint32_t actLen;
    uint32_t infoLen;
};

// Each present buffer as its letter, every whole 8-byte group as its bytes
// from the eighth down to the first in lower-case hex, then ";". 0, or
// -1202 (nothing usable written) when the text would not fit `textMax`.
int32_t convert_data_to_ascstr(const TableAscRecord *record, char *text, size_t textMax);

// Reverses the bytes of every whole 8-byte group (text order to host words).
void table_swap_groups(uint8_t *buf, size_t size);

// The word of a read's status: 0 "SUCCESS" (buffer kept); -1341 "INVREC" and
// any other "FAILED", each after its console line, the buffer freed and
// *buf cleared. `word` holds kTableWordSize bytes.
void judge_lsinvalid_rec(int32_t status, void **buf, char *word);

#endif

// Hardware tables of the trans FPGA: the descriptor catalogue, the TCAM
// record layout of the indirect-register data words, and the request
// pass-through used by the table-record API.
#ifndef QUORBIX_BOARDLIB_TRANS_TABLE_H
#define QUORBIX_BOARDLIB_TRANS_TABLE_H

#include <cstdint>

#include <pthread.h>

#include "boardlib/dorn_logic.h"
#include "boardlib/plov_status.h"

// One table's descriptor: a 64-bit bit field (bit 0 least significant).
using TableDesc = uint64_t;
static_assert(sizeof(TableDesc) == 8);

inline constexpr uint8_t kRudaTableCount = 16;

// The descriptor fields, unpacked.
struct TableDescFields {
    uint32_t vld;       // bit 0: table exists
    uint32_t innerid;   // bits 1-4: sub-table inside a shared command address
    uint32_t addrlen;   // bits 5-9: key words (key tables) or index width - 1 (index tables)
    uint32_t wdatalen;  // bits 10-13: words of one written half
    uint32_t rdatalen;  // bits 14-17: words of one returned half
    uint32_t lineflag;  // bit 18: the key is one word
    uint32_t maskflag;  // bit 19: entries carry key and mask; data in two halves
    uint32_t cmdaddr;   // bits 20-35: indirect-register command address
    uint32_t keylen;    // bits 36-39: key (and mask) words
    uint32_t actlen;    // bits 40-42: action words; 0 for key tables
    uint32_t delflag;   // bit 43: deletion is a delete command
};

// Bit position and width of each field, in the order of TableDescFields.
struct TableDescBits {
    uint32_t TableDescFields::*field;
    unsigned shift;
    unsigned width;
};

inline constexpr TableDescBits kTableDescBits[] = {
    {&TableDescFields::vld, 0, 1},       {&TableDescFields::innerid, 1, 4},
    {&TableDescFields::addrlen, 5, 5},   {&TableDescFields::wdatalen, 10, 4},
    {&TableDescFields::rdatalen, 14, 4}, {&TableDescFields::lineflag, 18, 1},
    {&TableDescFields::maskflag, 19, 1}, {&TableDescFields::cmdaddr, 20, 16},
    {&TableDescFields::keylen, 36, 4},   {&TableDescFields::actlen, 40, 3},
    {&TableDescFields::delflag, 43, 1},
};

constexpr TableDescFields ruda_desc_fields(TableDesc desc)
{
    TableDescFields f{};
    for (const TableDescBits &b : kTableDescBits)
        f.*b.field = static_cast<uint32_t>((desc >> b.shift) & ((uint64_t{1} << b.width) - 1));
    return f;
}

constexpr TableDesc ruda_desc_pack(const TableDescFields &f)
{
    TableDesc desc = 0;
    for (const TableDescBits &b : kTableDescBits)
        desc |= (uint64_t{f.*b.field} & ((uint64_t{1} << b.width) - 1)) << b.shift;
    return desc;
}

// Key words of a key table: addrlen, or 1 when the key is one word.
constexpr uint32_t ruda_key_words(const TableDescFields &f) { return f.lineflag ? 1 : f.addrlen; }

// Number of entries of an index table: 2^(addrlen + 1).
constexpr uint64_t ruda_index_limit(const TableDescFields &f) { return uint64_t{1} << (f.addrlen + 1); }

// Data word 0 of an index-table request: index + (innerid << (addrlen + 1)),
// the shift taken as a signed 32-bit value.
constexpr uint64_t ruda_entry_address(const TableDescFields &f, uint32_t index)
{
    auto shifted = static_cast<int32_t>(static_cast<uint32_t>(uint64_t{f.innerid} << (f.addrlen + 1)));
    return uint64_t{index} + static_cast<uint64_t>(static_cast<int64_t>(shifted));
}

// TCAM data-word layout of an index-table request.
constexpr uint32_t ruda_write_words(const TableDescFields &f) { return (f.maskflag + 1) * f.wdatalen + 1; }
constexpr uint32_t ruda_read_words(const TableDescFields &f) { return (f.maskflag + 1) * f.rdatalen + 1; }
// Written: action at word 1, key after it; mask in the second half after actlen zero words.
constexpr uint32_t ruda_write_act_word(const TableDescFields &) { return 1; }
constexpr uint32_t ruda_write_key_word(const TableDescFields &f) { return 1 + f.actlen; }
constexpr uint32_t ruda_write_mask_word(const TableDescFields &f) { return f.wdatalen + 1 + f.actlen; }
// Read: action at rdatalen - wdatalen + 1, key after it, mask rdatalen words after the key.
constexpr uint32_t ruda_read_act_word(const TableDescFields &f) { return f.rdatalen - f.wdatalen + 1; }
constexpr uint32_t ruda_read_key_word(const TableDescFields &f) { return ruda_read_act_word(f) + f.actlen; }
constexpr uint32_t ruda_read_mask_word(const TableDescFields &f) { return ruda_read_key_word(f) + f.rdatalen; }

// The catalogue: pointers to the sixteen descriptors, and their number once
// built. Readers go through ruda_get_tableinfo_byid / ruda_get_table_num,
// which build the catalogue once under g_ruda_mutex.
extern TableDesc *g_ruda_tableinfo[kRudaTableCount];
extern pthread_mutex_t g_ruda_mutex;

// Builds the descriptors (once) and stores their addresses into `info`.
PlovStatus ruda_get_table_info(TableDesc *info[kRudaTableCount]);
PlovStatus ruda_get_tableinfo_byid(uint8_t table, uint64_t *desc);
PlovStatus ruda_get_table_num(uint8_t *num);

PlovStatus ruda_ddr_check_param(TableDesc desc, const uint64_t *key, const uint64_t *data);
PlovStatus ruda_tcam_check_param(TableDesc desc, uint32_t index, const uint64_t *key, const uint64_t *mask,
                                 const uint64_t *act);

// Fills baseaddr, r2base, ret2base, cmd, wlen, rlen and data word 0 of `req`,
// whose data pointer must already address the data words.
PlovStatus ruda_convert_tcam_info_to_regdata(TableDesc desc, uint16_t wlen, uint16_t rlen, uint64_t cmd,
                                             uint32_t index, IndirRegReq *req);
// Place key, mask and action into a write's data words (ruda_write_words
// long), or take them from a read's data words (ruda_read_words long).
// Return the first failing copy's code (KelvoErr), 0 when all went well.
int32_t ruda_combin_tcam_write_data(TableDesc desc, const uint64_t *key, const uint64_t *mask,
                                    const uint64_t *act, uint64_t *words);
int32_t ruda_split_tcam_read_data(TableDesc desc, const uint64_t *words, uint64_t *key, uint64_t *mask,
                                  uint64_t *act);

// Issues one table request (PLOV_IOC_WRITE_INDIR_REG or PLOV_IOC_READ_INDIR_REG) on
// FPGA 0 and returns the ioctl result unchanged; -1201 null, -1216 no node.
PlovStatus ruda_table_operate(unsigned long request, IndirRegReq *req);

void trans_dump_tinfo(TableDesc desc);
void trans_dump_value(const IndirRegReq *req, uint32_t count);
void trans_dump_data(const uint64_t *words, uint32_t count, const char *name);

#endif

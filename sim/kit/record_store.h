// Record stores for device models: one row per request number says which
// store the request reaches, whether it sets, gets or erases, the key taken
// from the caller's record, which bytes a get answers, and the check on the
// record. A set keeps the caller's whole record under its key; a get copies
// the answer bytes of the stored record (zeros when nothing is stored) and
// leaves the caller's input fields alone.
#ifndef QUORBIX_SIM_KIT_RECORD_STORE_H
#define QUORBIX_SIM_KIT_RECORD_STORE_H

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <map>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "sim/sim_host.h"

enum class RecOp { Get, Set, Erase };

struct RecordRow {
    unsigned long number;
    size_t size;
    const char *store;                      // store name, as saved
    RecOp op;
    uint64_t (*key)(const uint8_t *rec);    // nullptr: key 0
    size_t answerFrom, answerTo;            // bytes a get copies
    int (*check)(const uint8_t *rec);       // nullptr: none; else 0 or -errno
};

// Stored records by (store name, key).
using RecordStore = std::map<std::pair<std::string, uint64_t>, std::vector<uint8_t>>;

// The row of `number`, or nullptr.
const RecordRow *record_row(std::span<const RecordRow> rows, unsigned long number);

// Runs one request on the store: 0 or -errno (-ENOENT for erasing a record
// that is not there).
int record_request(RecordStore &store, const RecordRow &row, uint8_t *rec);

// Field readers for keys and checks.
template <typename T> T rec_field(const uint8_t *rec, size_t offset)
{
    T v;
    std::memcpy(&v, rec + offset, sizeof v);
    return v;
}

// Rows as SimRequest rows, all answered by `handler`: merged into a model's
// request table at compile time.
template <size_t N>
constexpr std::array<SimRequest, N> record_requests(const RecordRow (&rows)[N],
                                                    int (*handler)(const SimCall &, SimJournalEntry &))
{
    std::array<SimRequest, N> out{};
    for (size_t i = 0; i < N; i++)
        out[i] = SimRequest{rows[i].number, rows[i].size, handler};
    return out;
}

#endif

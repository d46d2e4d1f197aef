// Faults matched on fields of the caller's record: a request fails (or
// returns a positive result) only when every listed field holds its value
// (in the bits of its mask).
// A field is `width` bytes at `offset` of the record, or, with `words` set,
// word `index` of the u64 array whose address the record holds at `offset`
// (matched only when `count` says the array reaches that word).
#ifndef QUORBIX_SIM_KIT_FIELD_FAULT_H
#define QUORBIX_SIM_KIT_FIELD_FAULT_H

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "sim/sim_host.h"

struct FieldMatch {
    size_t offset;
    unsigned width;        // 1, 2, 4 or 8 bytes
    uint64_t value;
    bool words = false;    // the field is a pointer to u64 words
    size_t index = 0;      // word index behind the pointer
    uint64_t mask = ~uint64_t{0};  // the bits compared
};

// How many words the array behind a pointer field holds, from the record.
using WordCount = std::function<size_t(const void *rec)>;

bool field_match(const void *rec, const std::vector<FieldMatch> &fields, const WordCount &count = {});

// A SimFault for `node` and `request` matching `fields`; set err or result
// on it before sim_add_fault.
SimFault field_fault(const std::string &node, unsigned long request, std::vector<FieldMatch> fields,
                     unsigned nth = 0, WordCount count = {});

#endif

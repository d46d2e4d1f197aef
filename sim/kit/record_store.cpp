#include "sim/kit/record_store.h"

#include <cerrno>

const RecordRow *record_row(std::span<const RecordRow> rows, unsigned long number)
{
    for (const RecordRow &r : rows)
        if (r.number == number)
            return &r;
    return nullptr;
}

int record_request(RecordStore &store, const RecordRow &row, uint8_t *rec)
{
    if (row.check != nullptr)
        if (int err = row.check(rec); err != 0)
            return err;
    std::pair<std::string, uint64_t> key{row.store, row.key != nullptr ? row.key(rec) : 0};
    switch (row.op) {
    case RecOp::Set:
        store[key].assign(rec, rec + row.size);
        return 0;
    case RecOp::Erase:
        return store.erase(key) != 0 ? 0 : -ENOENT;
    case RecOp::Get:
        break;
    }
    auto it = store.find(key);
    for (size_t i = row.answerFrom; i < row.answerTo; i++)
        rec[i] = it != store.end() && i < it->second.size() ? it->second[i] : 0;
    return 0;
}

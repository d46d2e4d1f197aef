#include "sim/kit/field_fault.h"

#include <cstring>

namespace {

uint64_t load(const uint8_t *p, unsigned width)
{
    uint64_t v = 0;
    std::memcpy(&v, p, width <= sizeof v ? width : sizeof v);
    return v;
}

bool one_field(const uint8_t *rec, const FieldMatch &f, const WordCount &count)
{
    if (!f.words)
        return (load(rec + f.offset, f.width) & f.mask) == f.value;
    uint64_t *words = nullptr;
    std::memcpy(&words, rec + f.offset, sizeof words);
    if (words == nullptr || (count && f.index >= count(rec)))
        return false;
    return (words[f.index] & f.mask) == f.value;
}

} // namespace

bool field_match(const void *rec, const std::vector<FieldMatch> &fields, const WordCount &count)
{
    if (rec == nullptr)
        return false;
    for (const FieldMatch &f : fields)
        if (!one_field(static_cast<const uint8_t *>(rec), f, count))
            return false;
    return true;
}

SimFault field_fault(const std::string &node, unsigned long request, std::vector<FieldMatch> fields, unsigned nth,
                     WordCount count)
{
    SimFault f;
    f.node = node;
    f.request = request;
    f.nth = nth;
    f.match = [fields = std::move(fields), count = std::move(count)](const void *arg) {
        return field_match(arg, fields, count);
    };
    return f;
}

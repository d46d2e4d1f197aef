// The indirect-register request record, shared by the driver families
// whose FPGAs have indirect registers, and the one builder of the rows of
// their indirect-register catalogues (tables of rows in the request layout).
#ifndef QUORBIX_BASES_DRV_INDIR_REQ_H
#define QUORBIX_BASES_DRV_INDIR_REQ_H

#include <cstddef>
#include <cstdint>

static_assert(sizeof(void *) == 8, "records carry 64-bit addresses");

// Indirect register or table entry. `data` holds wlen + rlen words: the
// words written, then the words read back (layout per operation).
struct IndirRegReq {
    uint32_t id;        // catalogue row id
    uint32_t command;   // catalogue access command (0x2 or 0x10); rows only
    uint64_t baseaddr;  // command address of the block or table
    uint64_t cmd;       // command word the driver executes
    uint64_t mode;      // mode word (KESP catalogue rows)
    uint16_t r2base;
    uint16_t ret2base;
    uint16_t wlen;      // data words written
    uint16_t rlen;      // data words read back
    uint8_t reserved[8];
    uint64_t *data;
};
static_assert(sizeof(IndirRegReq) == 56);
static_assert(offsetof(IndirRegReq, id) == 0 && offsetof(IndirRegReq, command) == 4);
static_assert(offsetof(IndirRegReq, baseaddr) == 8 && offsetof(IndirRegReq, cmd) == 16);
static_assert(offsetof(IndirRegReq, mode) == 24 && offsetof(IndirRegReq, r2base) == 32);
static_assert(offsetof(IndirRegReq, ret2base) == 34 && offsetof(IndirRegReq, wlen) == 36);
static_assert(offsetof(IndirRegReq, rlen) == 38 && offsetof(IndirRegReq, reserved) == 40);
static_assert(offsetof(IndirRegReq, data) == 48);

// One catalogue row: the block's id, access command, base address, mode
// word and counts; the command word executed and the data pointer stay 0.
struct IndirRowSpec {
    uint32_t id;
    uint32_t command;
    uint64_t baseaddr;
    uint64_t mode;
    uint16_t r2base;
    uint16_t ret2base;
    uint16_t wlen;
    uint16_t rlen;
};

constexpr IndirRegReq indir_catalogue_row(const IndirRowSpec &s)
{
    IndirRegReq r{};
    r.id = s.id;
    r.command = s.command;
    r.baseaddr = s.baseaddr;
    r.mode = s.mode;
    r.r2base = s.r2base;
    r.ret2base = s.ret2base;
    r.wlen = s.wlen;
    r.rlen = s.rlen;
    return r;
}

#endif

#include "boardlib/plov_types.h"

#include "bases/globals/globals.h"

ShareMemEntry g_PlovShareMem[PLOV_SHARE_MEM_ENTRIES] = {};

namespace {

// Entries 0 and 1 hold the regions shared with the FPGAs.
constexpr size_t kTranslatedEntries = 2;

// An entry covers [from, from + Size], the upper end included. An entry of
// size 0 covers nothing, so an empty map never translates.
bool covers(uint64_t from, uint64_t size, uint64_t addr)
{
    return size != 0 && addr >= from && addr - from <= size;
}

} // namespace

PlovStatus PlovTransPhy2Vir(uint64_t phys, uint64_t *virt)
{
    if (virt == nullptr)
        return PLOV_ERR_NULL_PTR;
    for (size_t i = 0; i < kTranslatedEntries; i++) {
        const ShareMemEntry &e = g_PlovShareMem[i];
        if (covers(e.PhyAddr, e.Size, phys)) {
            *virt = phys - e.PhyAddr + e.VirAddr;
            return PLOV_OK;
        }
    }
    *virt = 0;
    return PLOV_ERR_RANGE;
}

PlovStatus PlovTransVir2Phy(uint64_t *phys, uint64_t virt)
{
    if (phys == nullptr)
        return PLOV_ERR_NULL_PTR;
    for (size_t i = 0; i < kTranslatedEntries; i++) {
        const ShareMemEntry &e = g_PlovShareMem[i];
        if (covers(e.VirAddr, e.Size, virt)) {
            *phys = e.PhyAddr + (virt - e.VirAddr);
            return PLOV_OK;
        }
    }
    *phys = 0;
    return PLOV_ERR_RANGE;
}

GLOBALS_RESET(plov_share_mem)
{
    for (ShareMemEntry &e : g_PlovShareMem)
        e = {};
}

// The three ways to configuration space as one table each: the per-function
// files, the chipset driver node and configuration mechanism #1. A caller
// picks a table and indexes its byte, word and dword entries; it never asks
// which way it holds.
#ifndef QUORBIX_BASES_PCI_TVK_ACCESS_H
#define QUORBIX_BASES_PCI_TVK_ACCESS_H

#include <cstdint>

#include "bases/pci/tvk_dev.h"

using TvkWriteFn = int (*)(unsigned bus, unsigned devfn, uint32_t reg, uint32_t value);
using TvkReadFn = int (*)(unsigned bus, unsigned devfn, uint32_t reg, uint32_t *out);

struct TvkAccess {
    TvkWriteFn write[3];  // byte, word, dword; the value is cut to the width
    TvkReadFn read[3];    // the value read, widened to 32 bits
    bool ports;           // port access is enabled first
};

// The entry of a width of 1, 2 or 4 bytes.
constexpr int tvk_access_index(int bytes) { return bytes == 1 ? 0 : bytes == 2 ? 1 : 2; }

namespace tvk_access_detail {

template <typename T, int (*F)(unsigned, unsigned, uint32_t, T)>
int write_cut(unsigned bus, unsigned devfn, uint32_t reg, uint32_t value)
{
    return F(bus, devfn, reg, static_cast<T>(value));
}

// For the driver functions, which take the value whole.
template <uint32_t Mask, int (*F)(unsigned, unsigned, uint32_t, uint32_t)>
int write_masked(unsigned bus, unsigned devfn, uint32_t reg, uint32_t value)
{
    return F(bus, devfn, reg, value & Mask);
}

template <typename T, int (*F)(unsigned, unsigned, uint32_t, T *)>
int read_wide(unsigned bus, unsigned devfn, uint32_t reg, uint32_t *out)
{
    T v = 0;
    int r = F(bus, devfn, reg, &v);
    *out = v;
    return r;
}

} // namespace tvk_access_detail

inline constexpr TvkAccess kTvkAccessFs = {
    {tvk_access_detail::write_cut<uint8_t, tvk_write_conf_byte>,
     tvk_access_detail::write_cut<uint16_t, tvk_write_conf_word>,
     tvk_access_detail::write_cut<uint32_t, tvk_write_conf_dword>},
    {tvk_access_detail::read_wide<uint8_t, tvk_read_conf_byte>,
     tvk_access_detail::read_wide<uint16_t, tvk_read_conf_word>,
     tvk_access_detail::read_wide<uint32_t, tvk_read_conf_dword>},
    false};

inline constexpr TvkAccess kTvkAccessDrv = {
    {tvk_access_detail::write_masked<0xFFu, tvk_drv_write_byte>,
     tvk_access_detail::write_masked<0xFFFFu, tvk_drv_write_word>, tvk_drv_write_dword},
    {tvk_access_detail::read_wide<uint8_t, tvk_drv_read_byte>,
     tvk_access_detail::read_wide<uint16_t, tvk_drv_read_word>,
     tvk_access_detail::read_wide<uint32_t, tvk_drv_read_dword>},
    false};

inline constexpr TvkAccess kTvkAccessIo = {
    {tvk_access_detail::write_cut<uint8_t, tvk_io_write_byte>,
     tvk_access_detail::write_cut<uint16_t, tvk_io_write_word>,
     tvk_access_detail::write_cut<uint32_t, tvk_io_write_dword>},
    {tvk_access_detail::read_wide<uint8_t, tvk_io_read_byte>,
     tvk_access_detail::read_wide<uint16_t, tvk_io_read_word>,
     tvk_access_detail::read_wide<uint32_t, tvk_io_read_dword>},
    true};

#endif

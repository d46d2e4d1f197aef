// The simulated media driver behind "/dev/media_dev" and the DSP memory of
// the media sub-boards (KESP boards).
//
// Fresh: sub-board 0 with nine probed DSPs, links up, no program; sub-board
// 1 absent. Per DSP the model keeps its switch port, I/O-memory decoding,
// PCIe function, link, init state, resets, cores' start-up states, ECC
// zones, PCIe application registers, three-step result, region windows and
// sparse memory (core-local 0x10800000 + c * 0x1000000, 512 KiB each; MSM
// 0x0C000000, 4 MiB; DDR 0x80000000, 1 GiB). Per sub-board: presence, its
// path state record and LPC test result; one 64 KiB base-board LPC space
// where 0xB004 reads the complement of the last byte written there.
//
// Behaviour: port off drops the link, port on brings it back, reset stops
// the program, plug-in makes the init state "VALID", the start trigger makes
// the cores' states "VALID". Each of these changes comes at once, after n
// reads of the state, after a virtual delay, or never (media_set_delay). An
// absent DSP answers the state requests with "ABSENT" and fails the others
// with ENODEV.
#ifndef QUORBIX_SIM_MEDIA_MODEL_H
#define QUORBIX_SIM_MEDIA_MODEL_H

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "bases/drv/media_drv.h"
#include "sim/kit/sim_doc.h"

// Board hooks: attach registers the node with the saved state (the "media"
// section; fresh when there is none); save writes the state back.
bool media_model_attach(SimDoc &saved);
void media_model_save(SimDoc &doc);
// Forget everything and unregister the node.
void media_model_reset();
bool media_model_present();

// The changes a request starts and how they come.
enum class MediaChange { LinkDown, LinkUp, Init, Start };
enum class MediaWhen { Now, Reads, Delay, Never };
struct MediaDelay {
    MediaWhen when = MediaWhen::Now;
    uint64_t n = 0;   // reads that still see the old value, or virtual nanoseconds
};
void media_set_delay(uint32_t sub, uint32_t dsp, MediaChange change, MediaDelay delay);

struct MediaDspView {
    bool present, port, iomem, plugged, link, init;
    uint32_t startedCores;  // bit per core
    uint32_t resets;
    uint64_t eccZones;
    uint32_t ecc[4];        // zone 0 address, length, zone 1 address, length
};
MediaDspView media_dsp_view(uint32_t sub, uint32_t dsp);

// State setters for tests and fixtures.
void media_set_dsp(uint32_t sub, uint32_t dsp, std::string_view key, uint64_t value);  // present, link, init, port, ...
void media_set_subrd(uint32_t sub, bool present);
void media_set_subrd_state(uint32_t sub, const SubrdState &state);
void media_set_lpc_test(uint32_t sub, int err);            // errno the LPC test answers (0: passes)
void media_set_three_step(uint32_t sub, uint32_t dsp, int err);
void media_set_window(uint32_t sub, uint32_t dsp, uint32_t type, const MEDIA_PCI_MAP_RESULT &window);
// A DSP (dsp < 9) or a whole sub-board (dsp = 9) leaves or arrives at a virtual time.
void media_presence_at(uint32_t sub, uint32_t dsp, bool present, uint64_t when_ns);

// DSP memory as the driver holds it (zeros where untouched). False for a
// range outside the DSP's memory.
bool media_mem_read(uint32_t sub, uint32_t dsp, uint32_t addr, void *buf, uint32_t len);
bool media_mem_write(uint32_t sub, uint32_t dsp, uint32_t addr, const void *buf, uint32_t len);
uint8_t media_lpc_byte(uint16_t addr);
uint32_t media_app_reg(uint32_t sub, uint32_t dsp, uint32_t reg);

// ---- faults -------------------------------------------------------------------------------
// A request (0: any) of a sub-board and DSP (-1: any) fails with `err` on
// its n-th matching call (0: every call).
void media_fail(unsigned long request, int sub, int dsp, int err, unsigned nth = 0);
// Reads of the byte at `addr` answer its complement.
void media_fault_readback(uint32_t sub, uint32_t dsp, uint32_t addr);

// ---- fixture lines -------------------------------------------------------------------------
//
//   media-dsp SUB DSP KEY=N...        present link init port iomem plugged resets
//   media-subrd SUB present=N [lpc=ERRNO] [PORT=STATE/WIDTH/SPEED...]   PORT: cpu fpga dsp0..dsp8
//   media-delay SUB DSP CHANGE now|never|reads=N|ms=N   CHANGE: linkdown linkup init start answer handshake
//                                    (answer: the DSP program's reply to the mail init, handshake: every
//                                    core's answer to the tool's handshake; sim/media_prog.h)
//   media-fault REQUEST SUB|- DSP|- ERRNO [NTH]
//   media-reply SUB DSP CORE|- CMD now|never|ms=N [data=HEX] [area=ADDR:HEX]
//                                    the DSP program's reply to a command (sim/media_prog.h)
bool media_fixture_line(std::string_view line, std::string &err);

#endif

// The simulated SAS controllers behind the MPT control device "/dev/mpt2ctl".
//
// Each controller is answered from its facts: the driver's presence probe,
// controller information and bus/target/handle mapping; IOC and PORT FACTS;
// CONFIG header, read and write of pages rendered from the facts in the
// MPI 2 or MPI 1 layout (or given as raw bytes); RAID ACTION; FW UPLOAD of
// an image of set size. SCSI IO and SMP pass-through go to hooks that tests
// and later disk models install. The command record is checked as the
// driver checks it: EFAULT for a null buffer with a size, EINVAL for a frame
// length out of range, ENODEV for an absent controller; nothing is written
// past a buffer's size.
//
// A controller's PCI function appears as a link below its root port in
// "/sys/bus/pci/devices" under the simulated root.
#ifndef QUORBIX_SIM_MPT_MODEL_H
#define QUORBIX_SIM_MPT_MODEL_H

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "sim/kit/sim_doc.h"


struct MptPhyFacts {
    uint8_t rate = 0;             // negotiated link rate code
    uint32_t counters[4] = {};    // invalid dword, disparity, loss of sync, reset problem
};

struct MptIocFacts {
    uint32_t ioc = 0;
    std::string pci = "0000:01:00.0";       // the controller's PCI function
    std::string rootPort = "0000:00:01.0";  // the port it sits below
    uint16_t vendorId = 0x1000;
    uint16_t deviceId = 0x0072;
    uint8_t revisionId = 3;
    uint16_t mpiVersion = 0x200;
    uint16_t productId = 0x2713;
    uint32_t firmware = 0x0E000000;
    uint32_t bios = 0x07210100;
    std::string driver = "20.100.00.00";
    uint64_t sasAddress = 0;
    uint8_t whoInit = 4;
    uint8_t portType = 0x30;
    uint32_t capabilities = 0;
    uint32_t ioUnitWord = 0;
    uint32_t imageSize = 0;      // the firmware image FW UPLOAD reads
    std::vector<MptPhyFacts> phys;
};

// Board hooks: attach replays the saved controller lines; detach saves them.
// The controllers of a saved board: the fixture lines that made them,
// replayed from the document's "mpt" section (false, with saved.error set,
// when one no longer applies); save writes them back.
bool mpt_model_attach(SimDoc &saved);
void mpt_model_save(SimDoc &doc);
void mpt_model_reset();

// Add (or replace) a controller; registers the control device and writes
// the controller's PCI link.
void mpt_add_controller(const MptIocFacts &facts);
MptIocFacts *mpt_controller(uint32_t ioc);

// A raw page, read in place of the rendered one. Pages walked by handle
// (RAID volume, SAS device, SAS expander) are stored at their handle-form
// address (0x10000000 + handle) and found by the get-next-handle form too.
// `attr` holds the page attribute bits (0x10 changeable, 0x20 persistent).
void mpt_set_page(uint32_t ioc, uint32_t type, uint32_t number, uint32_t address, std::vector<uint8_t> bytes,
                  uint8_t attr = 0);
// The bytes a read of the page returns now; empty when there is no page.
std::vector<uint8_t> mpt_get_page(uint32_t ioc, uint32_t type, uint32_t number, uint32_t address);

// RAID: the state of a physical disk (byte 80 of its RAID physical disk
// page when there is one) and a volume's resync progress.
void mpt_set_disk_state(uint32_t ioc, uint8_t physDiskNum, uint8_t state);
int mpt_disk_state(uint32_t ioc, uint8_t physDiskNum);  // -1 when unknown
void mpt_set_resync(uint32_t ioc, uint16_t volumeHandle, uint64_t total, uint64_t remaining);

// Bus/target/handle mapping of one device.
void mpt_add_mapping(uint32_t ioc, uint32_t bus, uint32_t target, uint16_t handle);

// ---- faults --------------------------------------------------------------------------------------

// Replies of `function` (and, for CONFIG, of page type `pageType`; -1 any)
// carry `status` (with log info when non-zero) `count` times (0: always).
void mpt_fault_status(uint32_t ioc, int function, int pageType, uint16_t status, uint32_t logInfo = 0,
                      unsigned count = 0);
// CONFIG requests for the page type answer busy `times` times.
void mpt_fault_busy(uint32_t ioc, int pageType, unsigned times);
// Reads of the page return only `length` bytes (a multiple of 4).
void mpt_fault_short_page(uint32_t ioc, uint32_t type, uint32_t number, uint32_t length);

// ---- hooks for SCSI IO (functions 0x00, 0x16) and SMP pass-through (0x1A) -----------------------------

struct MptIo {
    uint32_t ioc;
    uint16_t mpiVersion;
    const uint8_t *frame;
    size_t frameLength;
    uint8_t *reply;       // maxReplyBytes bytes; the hook writes the reply here
    size_t replySize;
    uint8_t *dataIn;
    size_t inSize;
    const uint8_t *dataOut;
    size_t outSize;
    uint8_t *sense;
    size_t senseSize;
};
using MptHook = std::function<void(MptIo &io)>;
// Without a hook the reply says the device is not there (IOCStatus 0x43).
void mpt_set_scsi_hook(MptHook hook);
void mpt_set_smp_hook(MptHook hook);

// ---- fixture lines --------------------------------------------------------------------------------------
//
//   mpt-ioc IOC [pci=DDDD:BB:DD.F] [root=DDDD:BB:DD.F] [device=N] [revision=N] [mpi=N] [product=N]
//               [fw=N] [bios=N] [driver=TEXT] [sas=N] [vendor=N] [whoinit=N] [porttype=N]
//               [caps=N] [iounit=N] [image=N]
//   mpt-phy IOC PHY RATE INVALID-DWORD DISPARITY LOSS-OF-SYNC RESET-PROBLEM
//   mpt-page IOC TYPE NUMBER ADDRESS ATTR HEX-BYTES
//   mpt-fault IOC status FUNCTION PAGE-TYPE|- STATUS [LOG-INFO [COUNT]]
//   mpt-fault IOC busy PAGE-TYPE|- TIMES
//   mpt-fault IOC short TYPE NUMBER LENGTH
//   mpt-fault errno REQUEST ERRNO [NTH]
//
// Numbers are decimal or 0x-hexadecimal. False with a message in `err`
// for a line that is not understood (nothing is changed then).
bool mpt_fixture_line(std::string_view line, std::string &err);

// What an mpt-ioc line makes under the root (canonical paths): the
// controller's directory below its root port and its link in
// "/sys/bus/pci/devices". False for any other line.
bool mpt_model_made(std::string_view line, std::string &dir, std::string &link);

#endif

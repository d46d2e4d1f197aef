// The simulated compression accelerator: one state behind the memory node,
// the resource node, each card's node, the hot-plug node and netlink
// protocol 26 (served only on a board with a card).
//
// - Memory: pools in one sparse store seen alike by copy requests and by
//   mappings at offset = bus address; 1 MiB blocks held per pid and tid; a
//   copy outside the blocks held gives EFAULT; each copy costs a settable
//   virtual time; request 7 reports the pid's blocks to the board's log.
// - Resources: devices with queues per task type; allocations and frees
//   checked against what is held (resource id 0xFFFFFFFF frees nothing and
//   succeeds); file ids per (type, command type, pid, tid); request 0x16
//   prints the table to the log.
// - Card: request words of the card's letter only (others: ENOTTY); request
//   0x20 needs a resource held by the descriptor's pid and tid.
// - Registers (requests 0x31/0x32): a DDR self-check finishes
//   `ddrCheckSeconds` after its enable word is written 1; a turn test runs
//   while its enable word is 1; PCIe DMA counts grow by 1000 per virtual
//   second while the channel's control word is 1.
// - Hot plug: the first `removeFailures` remove requests fail with EBUSY.
// Errno faults per request, field or n-th call and positive results come
// from the kernel's faults on the nodes.
#ifndef QUORBIX_SIM_ASMF_MODEL_H
#define QUORBIX_SIM_ASMF_MODEL_H

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "bases/drv/asmf_drv.h"
#include "sim/kit/sim_doc.h"

struct AsmfSimDevice {
    uint32_t id = 0;
    std::string name = "acce0";       // written raw: 32 characters leave no NUL
    uint32_t funcType = 0;
    uint32_t devType = 0;             // 0 FPGA
    char letter = 'A';
    std::string node = "/dev/acce_dev0";
    bool enabled = true;
    uint32_t state[2] = {1, 0};
};

struct AsmfSimPool {
    uint64_t bus = 0;
    uint64_t size = 0;
};

// How the task engine mistreats its answers.
enum class AsmfSimAnswer { normal, drop, reorder, duplicate, late };

// Where a task's output goes. A transform appends to `vec`; or, where
// `room` is not empty (the task's whole output buffer, mapped), it may write
// straight into it and set `inPlace` to the bytes written there.
struct AsmfSimOutput {
    std::vector<uint8_t> &vec;   // comes empty, its capacity kept from task to task
    std::span<uint8_t> room;
    std::optional<size_t> inPlace;
};

// The task transform: output from input, the chained CRC-32 updated.
// `in` lies in the pool store itself (valid for the call only).
// Returns false to answer with status 3 (card error).
using AsmfSimTransform = bool (*)(const FpgaTaskDesc &desc, std::span<const uint8_t> in, AsmfSimOutput &out,
                                  uint32_t &crc);
// Changes an answer before it is sent (a card that echoes the wrong fields).
using AsmfSimAnswerEdit = void (*)(ResultMsg &answer);

// Settings of the simulated accelerator (a fresh model's defaults).
struct AsmfSimSettings {
    std::vector<AsmfSimPool> pools;   // reported count = pools.size() (3 is a fault)
    uint64_t copyCostNs = 0;          // virtual time per copy request
    unsigned removeFailures = 0;      // hot-plug remove requests that fail
    int listCount = -1;               // >= 0: the count the device list reports
    uint64_t ddrCheckSeconds = 2;     // a DDR self-check finishes after this long
    uint32_t ddrCheckFailMask = 0;    // channels whose self-check fails
    uint32_t turnErrorMask = 0;       // channels whose turn test reports an error
    uint32_t dmaErrorMask = 0;        // PCIe channels whose DMA test reports an error
    // Task engine (request 0x20): an answer after taskBaseNs + taskNsPerMiB
    // per MiB of input; its status and error number; a mistreatment.
    uint64_t taskBaseNs = 100000;
    uint64_t taskNsPerMiB = 1000000;
    uint32_t taskStatus = 0;
    uint32_t taskErrNo = 0;
    AsmfSimAnswer answer = AsmfSimAnswer::normal;
    AsmfSimTransform transform = nullptr;   // nullptr: the copy
    AsmfSimAnswerEdit edit = nullptr;
    uint64_t allocBusyUntilNs = 0;          // allocations refused (EBUSY) until then
    std::string firmwareVersion = "fw 3.4.5";  // the card's firmware version text
};

// A late answer (AsmfSimAnswer::late): status 5 with this error number.
inline constexpr uint32_t ASMF_SIM_LATE_ERRNO = 0x10;

// Tasks the engine has taken (request 0x20 accepted).
size_t asmf_sim_tasks();

// Registers the nodes with one card (id 0, "acce0", "/dev/acce_dev0", 'A').
void asmf_model_attach_default();
void asmf_model_reset();
bool asmf_model_attach(SimDoc &saved);
void asmf_model_save(SimDoc &doc);

AsmfSimSettings &asmf_sim_settings();
std::vector<AsmfSimDevice> &asmf_sim_devices();
// Registers a device's card node after the devices changed.
void asmf_sim_refresh();
// Resources held now, and the bytes of the pool store.
size_t asmf_sim_held_resources();
size_t asmf_sim_held_blocks();
// Forgets the resources of tasks whose answers were dropped (never to come).
void asmf_sim_forget_resources();
void asmf_sim_store_read(uint64_t bus, void *buf, size_t size);
// Card 0's register words as stored (without the error bits and DMA counts
// a read adds).
uint32_t asmf_sim_reg(uint32_t addr);
void asmf_sim_set_reg(uint32_t addr, uint32_t value);
// The 256-byte traffic record a card reports.
uint8_t *asmf_sim_traffic(uint32_t id);

// Fixture lines "asmf-pool INDEX BUS SIZE", "asmf-copy-cost NS",
// "asmf-remove-failures N".
bool asmf_fixture_line(std::string_view line, std::string &err);

#endif

// The simulated FPGA driver behind "/dev/trans_pci" and "/dev/sbuf_pci".
//
// Each node has its own state: direct registers (with preset values,
// scripted read sequences and per-register behaviour), indirect registers
// and table entries keyed by base address and key words, the records its
// stores return, SFP module pages and FPGA memory words. Requests are checked
// as the driver checks them (EFAULT for a null record or buffer, EINVAL for
// a bad length or field) and answered from that state. The state is kept in
// a file under the simulated root: attach loads it, detach saves it.
//
// Indirect encodings:
//   DORN: the key words come first (by default one; see fpga_set_key_words),
//         `wlen` counts the words written (key and values), a read answers
//         from word `wlen` on (rlen words). A write with command word 2
//         (delete), or with command word 3 and no value words (clear), drops
//         the entry.
//   KESP: word 0 is the address inside the block; a write takes words
//         1..wlen, a read fills words 1..rlen.
// Request 0x1E (clear) carries the address alone in word 0 (its counts are
// not used) and drops every entry at the base whose first key word it is.
#ifndef QUORBIX_SIM_FPGA_MODEL_H
#define QUORBIX_SIM_FPGA_MODEL_H

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

inline constexpr const char *kFpgaTransNode = "/dev/trans_pci";
inline constexpr const char *kFpgaSbufNode = "/dev/sbuf_pci";

// Where the model keeps its state, under the simulated root.
inline constexpr const char *kFpgaStatePath = "/.sim/fpga_model.state";

// Board hooks (sim_board.cpp): register both nodes with the saved or a fresh
// board's state; save it.
void fpga_model_attach();
void fpga_model_detach();

// Forget everything and install a fresh board's state on both nodes (SFP
// modules in cages 0 and 1 of the sbuf FPGA, of the trans FPGA in the KESP
// encoding).
void fpga_model_reset();

// ---- indirect encoding --------------------------------------------------------------

enum class FpgaEncoding { Dorn, Kesp };
// Default at attach: KESP when the DMI board name contains "ZK17KESP".
void fpga_set_encoding(FpgaEncoding encoding);
FpgaEncoding fpga_encoding();

// ---- direct registers ---------------------------------------------------------------

enum class FpgaRegBehaviour {
    Plain,        // reads return the last value written or set
    ReadOnly,     // writes are ignored (a bit that never sets)
    Complement,   // reads return the complement of the last write
    ClearOnRead,  // a read returns the value and clears it
};

void fpga_set_reg(const std::string &node, uint64_t addr, uint64_t value);
uint64_t fpga_get_reg(const std::string &node, uint64_t addr);
// The next reads of `addr` return `values` in order, then the stored value
// (scripted reads last for one run: they are not saved with the board).
void fpga_script_reads(const std::string &node, uint64_t addr, std::vector<uint64_t> values);
void fpga_set_reg_behaviour(const std::string &node, uint64_t addr, FpgaRegBehaviour behaviour);

// ---- indirect registers and table entries ----------------------------------------------

// DORN encoding: the number of key words in front of requests at `base`.
void fpga_set_key_words(const std::string &node, uint64_t base, unsigned count);
void fpga_put_indirect(const std::string &node, uint64_t base, const std::vector<uint64_t> &key,
                       const std::vector<uint64_t> &words);
// The words of an entry; empty when there is none.
std::vector<uint64_t> fpga_get_indirect(const std::string &node, uint64_t base, const std::vector<uint64_t> &key);
bool fpga_has_indirect(const std::string &node, uint64_t base, const std::vector<uint64_t> &key);

// ---- records the stores return -------------------------------------------------------------
//
// A set request stores the caller's whole record under its key; a get
// request copies the answer bytes of the stored record (all but the input
// fields) into the caller's record, zeros when nothing is stored.
enum class FpgaRecord {
    Shmem,            // 0x04/0x05, 1168 bytes, key 0
    MemDep,           // 0x06/0x07, 3384 bytes, key 0
    UsrStart,         // 0x08, 1 byte, key 0
    QueueAddr,        // 0x09, 64 bytes, key (type << 32) | id; answer bytes 8..63
    SwBufBase,        // 0x0B, 24 bytes, key PoolType; answer bytes 0..15
    DrvVer,           // 0x0C, 40 bytes of text, key 0
    CpuUsage,         // 0x0D/0x14, 1 byte, key 0
    LoadAtReboot,     // 0x0F/0x10, 8 bytes (u64 flag), key FPGA id
    MemDesc,          // 0x11, 640 bytes (16 descriptors), key 0
    PortLink,         // 0x12, 24 bytes, key (TYPE << 32) | ID; answer bytes 16..23
    SfpHsState,       // 0x13, 16 bytes, key port; answer bytes 1..15
    QueueSwitch,      // 0x16/0x17, 16 bytes, key (type << 16) | id; answer bytes 2..3
    HrtimerAffinity,  // 0x19/0x1D, 1 byte, key 0
    IicStatus,        // 0x1A, 16 bytes, key port; answer bytes 1..15
    DrvInfo,          // 0x1B, 96 bytes, key 0
    RegSpace,         // 0x1C, the register space (any length), key 0
    StaticMac,        // 0x21, 14 bytes, key port; answer bytes 1..13
    Hrtimer,          // 0x22/0x23, 8 bytes (u64 period), key 0
    PciPortEp,        // 0xC008EF20 add / 0xC008EF1F remove, 16 bytes, key fpga_pci_ep_key()
};

void fpga_set_record(const std::string &node, FpgaRecord kind, uint64_t key, const std::vector<uint8_t> &bytes);
// The stored bytes; empty when nothing is stored.
std::vector<uint8_t> fpga_get_record(const std::string &node, FpgaRecord kind, uint64_t key = 0);
bool fpga_has_record(const std::string &node, FpgaRecord kind, uint64_t key = 0);
void fpga_erase_record(const std::string &node, FpgaRecord kind, uint64_t key = 0);
uint64_t fpga_pci_ep_key(const uint32_t words[4]);

template <typename T> void fpga_set_record_as(const std::string &node, FpgaRecord kind, uint64_t key, const T &rec)
{
    std::vector<uint8_t> bytes(sizeof rec);
    std::memcpy(bytes.data(), &rec, sizeof rec);
    fpga_set_record(node, kind, key, bytes);
}

// The stored record as T (zeros where nothing or too little is stored).
template <typename T> T fpga_get_record_as(const std::string &node, FpgaRecord kind, uint64_t key = 0)
{
    T rec{};
    std::vector<uint8_t> bytes = fpga_get_record(node, kind, key);
    if (!bytes.empty())
        std::memcpy(&rec, bytes.data(), bytes.size() < sizeof rec ? bytes.size() : sizeof rec);
    return rec;
}

// ---- SFP module pages (0xA0, 0xA2, 0xAC) of ports 0-7 and FPGA memory -------------------------

void fpga_set_sfp_bytes(const std::string &node, uint8_t port, uint32_t dev, uint8_t offset,
                        const std::vector<uint8_t> &bytes);
std::vector<uint8_t> fpga_get_sfp_page(const std::string &node, uint8_t port, uint32_t dev);  // 256 bytes
void fpga_set_mem(const std::string &node, uint64_t addr, uint64_t value);
uint64_t fpga_get_mem(const std::string &node, uint64_t addr);

// ---- loop-back test modules (fpga_model_sfp.cpp) ---------------------------------------------
//
// A loop-back module in cage `port` of the sbuf FPGA answers page A2h as
// the I/O-pin test expects: byte 0x85 bit 2 follows the transmit-disable
// line (register 0x680B bit port) and its bits 1-0 read 01; bits 0-2
// written to byte 0x86 drive the transmit-fault, loss-of-signal and absent
// lines (register 0x6900 bits port + 16, port, port + 8). A stuck module's
// byte 0x86 ignores writes. Forgotten at attach.
void fpga_set_sfp_loopback(const std::string &node, uint8_t port, bool stuckOutByte = false);
void fpga_clear_sfp_loopback();
// Called by the SFP requests: before a read copies out of `page`, and
// after a write changed it (`before` is the page as it was).
void fpga_sfp_loopback_read(const std::string &node, uint8_t port, uint32_t dev, std::vector<uint8_t> &page);
void fpga_sfp_loopback_written(const std::string &node, uint8_t port, uint32_t dev, const std::vector<uint8_t> &before,
                               std::vector<uint8_t> &page);

// ---- faults on the record's address or key ------------------------------------------------------
//
// The address is the register address of direct-register requests, the base
// address of indirect requests and the memory address of request 0x0A.

void fpga_fail_address(const std::string &node, unsigned long request, uint64_t addr, int err, unsigned nth = 0);
void fpga_result_address(const std::string &node, unsigned long request, uint64_t addr, int result, unsigned nth = 0);
// Indirect requests at `base` whose data words start with `key`.
void fpga_fail_key(const std::string &node, unsigned long request, uint64_t base, const std::vector<uint64_t> &key,
                   int err, unsigned nth = 0);

#endif

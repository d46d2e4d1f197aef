// The simulated FPGA driver behind "/dev/trans_pci" and "/dev/sbuf_pci",
// written on the model kit (sim/kit/): a register file per node, record
// stores by request number, field-matched faults and named-key state.
//
// Each node has its own state: direct registers (presets, read-only and
// clear-on-read bits, control writes that drive status bits later, scripted
// reads), indirect blocks by base address, the records its stores return,
// SFP module pages and FPGA memory words. Requests are checked as the driver
// checks them (EFAULT for a null record or buffer, EINVAL for a bad length,
// command word or field) and answered from that state.
//
// Indirect blocks (DORN encoding), each with its own read, write,
// statistics and clear rules:
//   hardware tables  0x1811 (table 2, one-word key), 0x5400 (table 14,
//         five-word key), 0x2800 (TCAM tables 4-8, entry address in word 0)
//         and 0x5800 (table 15). Table commands 0 read, 1 write, 2 delete
//         (tables with a delete command), 3 clear statistics; the lengths,
//         r2base and ret2base must be the table's. An entry is kept as the
//         words of a write after the key or address; a read answers in the
//         read layout (each half: the statistics words, then the written
//         half), so what the table API writes it reads back. Statistics are
//         a store of their own. The catalogue command 0x10/0x11 reaches the
//         same block as a plain one.
//   plain blocks: the key words come first (one unless fpga_set_key_words
//         says otherwise), `wlen` counts the words written (key and values),
//         a read answers from word `wlen` on (rlen words). A write with
//         command word 2 (delete), or with command word 3 and no value
//         words (clear), drops the entry.
//   KESP encoding (the KESP board): word 0 is the address inside the block;
//         a write takes words 1..wlen, a read fills words 1..rlen.
// Request 0x1E (clear) carries the address alone in word 0 (its counts are
// not used): on a table it clears that entry's statistics, elsewhere it
// drops every entry at the base whose first key word it is.
//
// The test API below refuses a node the board does not have
// (std::invalid_argument).
#ifndef QUORBIX_SIM_FPGA_MODEL_H
#define QUORBIX_SIM_FPGA_MODEL_H

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

struct SimDoc;

inline constexpr const char *kFpgaTransNode = "/dev/trans_pci";
inline constexpr const char *kFpgaSbufNode = "/dev/sbuf_pci";

// The two packet boards: DORN has both FPGAs, KESP only "/dev/trans_pci"
// (in the KESP encoding).
enum class FpgaBoard { Dorn, Kesp };

// Register the board's nodes with the state saved in `saved` (a fresh
// board's when it holds none, or one of another board). False, with
// saved.error set and a fresh board registered, when the saved sections do
// not parse. The second form starts a fresh board.
bool fpga_model_attach(FpgaBoard board, SimDoc &saved);
void fpga_model_attach(FpgaBoard board);

// The state as sections "fpga" and "fpga <node>" of a saved-board
// document, with named keys. Load replaces the state; false (doc.error set
// to "file:line: message") when the sections do not parse.
void fpga_model_save(SimDoc &doc);
bool fpga_model_load(SimDoc &doc);

// Forget everything and install a fresh board's state on the board's nodes
// (SFP modules in cages 0 and 1 of the sbuf FPGA, of the trans FPGA on
// KESP).
void fpga_model_reset();
FpgaBoard fpga_board();

// ---- indirect encoding --------------------------------------------------------------

enum class FpgaEncoding { Dorn, Kesp };
// The board's; a test may switch it.
void fpga_set_encoding(FpgaEncoding encoding);
FpgaEncoding fpga_encoding();

// ---- direct registers ---------------------------------------------------------------

enum class FpgaRegBehaviour {
    Plain,        // reads return the last value written or set
    ReadOnly,     // writes are ignored (a bit that never sets)
    Complement,   // reads return the complement of the last write
    ClearOnRead,  // a read returns the value and clears it
};

// The last address of the driver's direct register space, and the most
// words one indirect request moves (key or data): what a board may hold.
inline constexpr uint64_t kFpgaMaxRegAddr = 0xFFFFF;
inline constexpr size_t kFpgaMaxIndirWords = 256;

void fpga_set_reg(const std::string &node, uint64_t addr, uint64_t value);
uint64_t fpga_get_reg(const std::string &node, uint64_t addr);
// The next reads of `addr` return `values` in order, then the stored value
// (scripted reads last for one run: they are not saved with the board).
void fpga_script_reads(const std::string &node, uint64_t addr, std::vector<uint64_t> values);
void fpga_set_reg_behaviour(const std::string &node, uint64_t addr, FpgaRegBehaviour behaviour);

// ---- indirect registers and table entries ----------------------------------------------

// DORN encoding: the number of key words in front of requests at a plain
// block `base` (tables know their own).
void fpga_set_key_words(const std::string &node, uint64_t base, unsigned count);
void fpga_put_indirect(const std::string &node, uint64_t base, const std::vector<uint64_t> &key,
                       const std::vector<uint64_t> &words);
// The next reads of the entry answer `reads` in order (a pointer that
// clears after k reads: k non-zero answers), then its stored words.
// Scripted reads last for one run: they are not saved with the board.
void fpga_script_indirect(const std::string &node, uint64_t base, const std::vector<uint64_t> &key,
                          const std::vector<std::vector<uint64_t>> &reads);
// The words of an entry; empty when there is none.
std::vector<uint64_t> fpga_get_indirect(const std::string &node, uint64_t base, const std::vector<uint64_t> &key);
bool fpga_has_indirect(const std::string &node, uint64_t base, const std::vector<uint64_t> &key);
// Whether `node` is one of the board's packet FPGAs (the functions above
// throw std::invalid_argument for any other node).
bool fpga_has_node(const std::string &node);
// Statistics words of a table entry (index tables), a store of their own.
void fpga_put_table_stats(const std::string &node, uint64_t base, uint64_t entry, const std::vector<uint64_t> &words);
std::vector<uint64_t> fpga_get_table_stats(const std::string &node, uint64_t base, uint64_t entry);

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

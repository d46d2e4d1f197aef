// Simulated disks behind SCSI generic and block nodes ("/dev/sgN",
// "/dev/sdX" and its partitions), with their sysfs links.
//
// A disk answers CDBs by opcode from its facts: INQUIRY (standard, VPD 0x00,
// 0x80, 0xB1), READ CAPACITY(10), LOG SENSE (pages as bytes), REQUEST SENSE,
// MODE SENSE(6)/SELECT(6), START STOP UNIT, SEND DIAGNOSTIC and READ DEFECT
// DATA(10);
// a SATA disk also answers ATA PASS-THROUGH(12) from IDENTIFY words and
// SMART state, and its SCSI answers derive from IDENTIFY as a translating
// layer's do. Other opcodes: ILLEGAL REQUEST. SG_IO is checked as the kernel
// checks it (interface id, direction, pointers, lengths).
#ifndef QUORBIX_SIM_DISK_MODEL_H
#define QUORBIX_SIM_DISK_MODEL_H

#include <array>
#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

struct SimDoc;

enum class DiskSense : uint8_t { descriptor, fixed, none };

struct DiskCheck {
    uint8_t key = 0;
    uint8_t asc = 0;
    uint8_t ascq = 0;
};

struct DiskFacts {
    std::string sg = "sg0";          // generic node name
    std::string sd = "sda";          // block node name
    std::string pci = "0000:01:00.0";
    int host = 0, channel = 0, target = 0;
    bool sata = true;
    std::array<uint16_t, 256> identify{};
    std::array<uint8_t, 512> smartData{};
    std::array<uint8_t, 512> smartThresholds{};
    bool smartEnabled = true;
    bool smartPass = true;
    DiskSense sense = DiskSense::descriptor;
    std::map<uint8_t, std::vector<uint8_t>> logPages;
    // SCSI identity; empty or 0 derives it from IDENTIFY (a SATA disk).
    std::string vendor, product, revision, serial;
    uint64_t blocks = 0;
    uint32_t blockLength = 0;
    // Mode pages by page << 8 | subpage, the page bytes themselves.
    std::map<uint16_t, std::vector<uint8_t>> modePages;
    uint16_t grownDefects = 0;                  // entries of the grown defect list
    DiskCheck requestSense;                     // what REQUEST SENSE reports
    bool started = true;                        // START STOP UNIT
    int selfTest = -1;                          // byte 1 of the last SEND DIAGNOSTIC
    std::map<uint8_t, DiskCheck> faults;        // CHECK CONDITION by opcode
    std::map<uint8_t, uint8_t> otherStatus;     // another SCSI status by opcode
    std::map<uint8_t, uint32_t> shortBy;        // residual by opcode
    uint16_t hostStatus = 0;                    // SG_IO host status for every command
    uint16_t driverStatus = 0;                  // SG_IO driver status for every command
};

// Set IDENTIFY text words (byte-pair swapped as the drive stores them).
void disk_identify_text(DiskFacts &d, int word, int words, const std::string &text);
// A SATA disk of model, serial, firmware and sectors (48-bit), SMART on.
DiskFacts disk_sata(const std::string &model, const std::string &serial, const std::string &fw, uint64_t sectors);

void disk_add(const DiskFacts &facts);
// The disk of a node name: its block or generic node, or a partition of it
// (the block name and digits only: "sda1" is sda's, "sdaa" is not).
DiskFacts *disk_find(const std::string &sd);
// Whether `name` is a device name (sim_device_name); if not, `err` says so
// for the line `verb`, naming the word's role ("SD", "SG") and the word
// quoted and clipped.
bool disk_name_check(std::string_view verb, std::string_view role, std::string_view name, std::string &err);
void disk_model_reset();

// One CDB answered by a disk, as a transport behind a controller sees it:
// the SCSI status, the sense data and the bytes put into `in`.
struct DiskScsiAnswer {
    uint8_t status;
    std::vector<uint8_t> sense;
    size_t transferred;
};
DiskScsiAnswer disk_scsi(DiskFacts &d, const uint8_t *cdb, size_t len, const uint8_t *out, size_t outLen,
                         uint8_t *in, size_t inLen);
// Open flags of the last open of any disk node.
int disk_last_open_flags();

// Board hooks: attach replays the saved disk lines ("disk" section) and the
// state the disks had; save writes both back.
bool disk_model_attach(SimDoc &saved);
void disk_model_save(SimDoc &doc);

// ---- fixture lines ---------------------------------------------------------------------------
//
//   disk-add SD SG sata|sas [pci=DDDD:BB:DD.F] [host=N] [channel=N] [target=N]
//   disk-inquiry SD VENDOR PRODUCT REVISION       (quoted texts)
//   disk-serial SD TEXT
//   disk-capacity SD BLOCKS [BLOCK-LENGTH]
//   disk-identify SD WORD HEXWORD...              (four hex digits each, 8 to a row)
//   disk-log SD PAGE HEX...                       (bytes as pairs, as hex dumps print them)
//   disk-mode SD PAGE SUBPAGE HEX...
//   disk-smart SD data|thresholds OFFSET HEX...
//   disk-smart SD enabled 0|1 | status pass|fail | sense descriptor|fixed|none
//   disk-defects SD COUNT
//   disk-sense SD KEY ASC ASCQ                    (REQUEST SENSE's answer)
//   disk-unit SD 0|1 SELF-TEST-CODE               (stopped or started; -1: no self test run)
//   disk-fault SD check OPCODE KEY ASC ASCQ | status OPCODE STATUS | short OPCODE BYTES
//   disk-fault SD host N | driver N
//   disk-fault NODE errno REQUEST ERRNO [NTH]     (NODE: a node name, e.g. sg0 or sda1)
//
// SD and SG are device names (sim_device_name); PCI addresses read as
// sim_pci_address reads them. A disk-add whose SD or SG is already another
// disk's node (its SD or SG name, or its SD name and digits) is refused:
// the saved board's lines naming it would reach that disk.
// False with a message in `err` for a line not understood.
bool disk_fixture_line(std::string_view line, std::string &err);

// The links a disk-add line makes under the root (canonical paths): the
// disk's block entry and its generic one. False for any other line.
bool disk_model_made(std::string_view line, std::string &block, std::string &generic);

#endif

// The trans FPGA driver's packet sender as the tool meets it: the start
// files read with "cat" (descriptor and packet-area addresses in simulated
// physical memory, which /dev/mem serves), the "echo 1" / "echo 0" writes
// that start and stop it, and the loop-test scripts in "/home/test/trans".
// All are scripted shell commands that succeed; tests script others over
// them (a failing start, "vec_err" files the sender leaves in "/opt").
#ifndef QUORBIX_SIM_TRANSMIT_MODEL_H
#define QUORBIX_SIM_TRANSMIT_MODEL_H

#include <cstdint>

struct SimDoc;

// Physical addresses published for FPGA 0 and FPGA 1.
inline constexpr uint64_t kSimTransmitDesc[2] = {0x7E000040, 0x7E100040};
inline constexpr uint64_t kSimTransmitPackets[2] = {0x7E200000, 0x7E400000};

// Script the sender's commands; stopping it writes "/opt/trans<N>_loop.log".
// Keeps no state of its own.
bool transmit_model_attach(SimDoc &saved);
void transmit_model_save(SimDoc &doc);

#endif

// Loading the RUGA FPGA's application logic: the file, the reload around
// it and the bit stream through the vendor capability (ID 0x000B) of the
// FPGA function below 0000:80:02.1.
#ifndef QUORBIX_TOOL_RUGA_RUGA_APP_H
#define QUORBIX_TOOL_RUGA_RUGA_APP_H

#include <cstdint>

inline constexpr uint16_t RUGA_BITSTREAM_CAP = 0x000B;
inline constexpr uint32_t RUGA_CAP_STATUS = 0x10;
inline constexpr uint32_t RUGA_CAP_CONTROL = 0x14;
inline constexpr uint32_t RUGA_CAP_DATA = 0x18;
inline constexpr uint32_t RUGA_PENDING_READS = 1000000;

int ruga_fpga_app_load_file(const char *path);
int ruga_load_data_to_fpga(const uint8_t *data, uint32_t length);
int ruga_wite_bit_stream(const uint8_t *data, uint32_t length);

#endif

// Port properties of the DORN board: location, type and id turned into the
// port number of an FPGA. Written once for every property form.
#ifndef QUORBIX_BOARDLIB_PLOV_PORT_PRO_H
#define QUORBIX_BOARDLIB_PLOV_PORT_PRO_H

#include <cstdint>

#include "boardlib/plov_types.h"

// The port of `pro` on FPGA `fpga` (TYPE 5 depends on the FPGA), taken
// modulo 256: true and *port set; false when the property has no mapping
// (the caller answers with its own status: 0 or -1335).
bool PlovPortProToPort(FpgaId fpga, const PortPro &pro, uint8_t *port);

#endif

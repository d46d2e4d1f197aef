// The DORN port-property mapping.
#include "boardlib/plov_port_pro.h"

namespace {

// One row per mapped (LOC, TYPE): the offset added to the id, on FPGA 0
// and on the sbuf FPGA.
struct PortProRow {
    uint32_t loc;
    uint32_t type;
    uint8_t addTrans;
    uint8_t addSbuf;
};
constexpr PortProRow kPortPro[] = {
    {0, 0, 0, 0}, {0, 2, 0, 0}, {0, 3, 2, 2}, {0, 5, 8, 4}, {1, 0, 8, 8}, {1, 3, 6, 6},
};

}  // namespace

bool PlovPortProToPort(FpgaId fpga, const PortPro &pro, uint8_t *port)
{
    for (const PortProRow &row : kPortPro) {
        if (row.loc == pro.LOC && row.type == pro.TYPE) {
            *port = static_cast<uint8_t>(pro.ID + (fpga == 0 ? row.addTrans : row.addSbuf));
            return true;
        }
    }
    return false;
}

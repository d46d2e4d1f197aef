// Direct-register accesses of the DORN backend.
#include "boardlib/dorn_reg.h"

#include "boardlib/dorn_logic.h"

PlovStatus DornGetRegData(FpgaId fpga, uint64_t address, uint64_t *value)
{
    if (value == nullptr)
        return PLOV_ERR_NULL_PTR;
    DirRegReq req{address, 0};
    PlovStatus ret = DornLogicReadDirReg(fpga, &req);
    if (ret == PLOV_OK)
        *value = req.data;
    return ret;
}

PlovStatus DornSetRegData(FpgaId fpga, uint64_t address, uint64_t value)
{
    DirRegReq req{address, value};
    return DornLogicWriteDirReg(fpga, &req);
}

PlovStatus DornUpdateRegField(FpgaId fpga, uint64_t address, uint64_t mask, uint64_t bits)
{
    uint64_t value = 0;
    PlovStatus ret = DornGetRegData(fpga, address, &value);
    if (ret != PLOV_OK)
        return ret;
    return DornSetRegData(fpga, address, (value & ~mask) | (bits & mask));
}

// The media mailbox registers of the KESP trans FPGA (switches, pointers,
// statistics) reached as indirect registers on "/dev/trans_pci", and the
// DSP trans tables encoded into them.
//
// Every request carries word 0, the key: per queue
// sub << 8 | dsp << 4 | core << 1 | direction bit, per DSP sub << 4 | dsp.
// The FPGA holds 0 for a switch that is on and 1 for one that is off.
#ifndef QUORBIX_BOARDLIB_MEDIA_REG_H
#define QUORBIX_BOARDLIB_MEDIA_REG_H

#include <cstddef>
#include <cstdint>

#include "bases/drv/indir_req.h"
#include "boardlib/plov_status.h"

inline constexpr uint32_t MEDIA_MAILBOX_TYPES = 5;
inline constexpr uint32_t MEDIA_RWPTR_TYPES = 3;
inline constexpr uint32_t MEDIA_TRANS_ENTRIES = 40;   // 8 cores x 5 mailbox types

// The media library's register catalogue: the KESP board's rows.
extern const IndirRegReq (&g_MediaKespIndirReg)[64];

// ---- access layer -----------------------------------------------------------------------------

inline constexpr uint32_t MEDIA_INDIR_READ = 0;
inline constexpr uint32_t MEDIA_INDIR_WRITE = 1;
inline constexpr uint32_t MEDIA_INDIR_CLEAR = 3;

PlovStatus MEDIA_LogicHandleIndirReg(IndirRegReq *request, uint32_t op);
PlovStatus MEDIA_LogicHandleIndregByID(uint32_t id, uint64_t *data, uint32_t op);

// ---- register ids, keys, encodings ------------------------------------------------------------

PlovStatus MEDIA_GetQueueEnRegId(uint32_t type, uint32_t *id);
PlovStatus MEDIA_GetWptrRegId(uint32_t type, uint32_t *id);
PlovStatus MEDIA_GetRptrRegId(uint32_t type, uint32_t *id);
PlovStatus MEDIA_GetTransAddrRegId(uint32_t type, uint32_t *id);
PlovStatus MEDIA_GetStatisticRegId(uint32_t type, uint32_t counter, uint32_t *id);
PlovStatus MEDIA_GetRWptrAddrRegId(uint32_t tableType, uint32_t *id);
// The direction bit of a mailbox type: 1 for types 2 and 3.
PlovStatus MEDIA_ProcessMailBoxType(uint32_t type, uint32_t *direction);
// 0 <-> 1; any other value -1202.
PlovStatus MEDIA_ProcessMailBoxSwitch(uint32_t value, uint32_t *out);

// ---- mailbox operations -------------------------------------------------------------------------

PlovStatus MEDIA_GetDspMailBoxSwitch(uint32_t sub, uint32_t dsp, uint32_t core, uint32_t type, uint32_t *on);
PlovStatus MEDIA_SetDspMailBoxSwitch(uint32_t sub, uint32_t dsp, uint32_t core, uint32_t type, uint32_t on);
// Pointer type 1 the write pointer, 0 the read pointer; -1207 when non-zero.
PlovStatus MEDIA_CheckMailBoxRptrWptr(uint32_t sub, uint32_t dsp, uint32_t core, uint32_t type, uint32_t ptrType);
PlovStatus MEDIA_GetGlobalDspSwitch(uint32_t sub, uint32_t dsp, uint32_t *on);
PlovStatus MEDIA_SetGlobalDspSwitch(uint32_t sub, uint32_t dsp, uint32_t on);
// Counter c of type t lands in out[2t + c].
PlovStatus MEDIA_GetDspMailboxStatistic(uint32_t sub, uint32_t dsp, uint32_t core, uint32_t out[10], uint32_t counter);
PlovStatus MEDIA_ClearDspMailboxStatistic(uint32_t sub, uint32_t dsp, uint32_t core, uint32_t counter);

// ---- trans tables ---------------------------------------------------------------------------------

struct MbDesc {
    uint32_t enSubboardId;
    uint32_t enDspId;
    uint32_t enDspCoreId;
    uint32_t MailBoxType;
    uint32_t DspAddr;
    uint32_t MailBoxDepth;
    uint32_t MailBoxBlockSize;
    uint32_t ulRsv;
};
static_assert(sizeof(MbDesc) == 32 && offsetof(MbDesc, DspAddr) == 16 && offsetof(MbDesc, MailBoxBlockSize) == 24);

struct RwptrTbl {
    uint32_t enSubboardId;
    uint32_t enDspId;
    uint32_t enDspTransRwptrTblType;
    uint32_t ulDspTransRwptrTblAddr;
    uint32_t ulRsv[2];
};
static_assert(sizeof(RwptrTbl) == 24 && offsetof(RwptrTbl, ulDspTransRwptrTblAddr) == 12);

struct MediaPoolBaseInfo {
    uint32_t ulSendPoolBase;
    uint32_t ulSendBottomOffset;
    uint32_t ulSendTopOffset;
};

struct DspTransTable {
    MbDesc MediaTransAddrTbl[MEDIA_TRANS_ENTRIES];
    RwptrTbl MediaTransRwptrTbl[MEDIA_RWPTR_TYPES];
    MediaPoolBaseInfo MediaTransPoolBaseInfo;
    uint32_t ulRsv[2];
};
static_assert(sizeof(DspTransTable) == 1372);
static_assert(offsetof(DspTransTable, MediaTransRwptrTbl) == 1280);
static_assert(offsetof(DspTransTable, MediaTransPoolBaseInfo) == 1352 && offsetof(DspTransTable, ulRsv) == 1364);

// Depth code of a ring length (8: not a valid length) and block-size code
// of a block size (4: not valid).
uint32_t MEDIA_DepthCode(uint32_t bytes);
uint32_t MEDIA_BlockSizeCode(uint32_t bytes);

PlovStatus MEDIA_CheckTblEntry(uint32_t sub, uint32_t dsp, const DspTransTable *table);
PlovStatus MEDIA_LogicSetTransAddrTable(const DspTransTable *table);
PlovStatus MEDIA_LogicSetRwptrAddrTable(const DspTransTable *table);
PlovStatus MEDIA_LogicSetSendPoolInfo(uint32_t sub, uint32_t dsp, const DspTransTable *table);
PlovStatus MEDIA_FillTblEntry(uint32_t sub, uint32_t dsp, DspTransTable *table);
PlovStatus MEDIA_LogicGetTransAddrTable(DspTransTable *table);
PlovStatus MEDIA_LogicGetRwptrAddrTable(DspTransTable *table);
PlovStatus MEDIA_LogicGetSendPoolInfo(uint32_t sub, uint32_t dsp, DspTransTable *table);
void MEDIA_TblPrint(const DspTransTable *table);

#endif

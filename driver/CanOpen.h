#pragma once
// The driver's CANopen communication objects, reached through the SDO window
// (CMotorDriver::SdoAccess):
// - the object table: rows 0..3 RPDO1..RPDO4 (0x1400+r / 0x1600+r), rows 4..7
//   TPDO1..TPDO4 (0x1800+r-4 / 0x1A00+r-4), row 8 SYNC (0x1005..0x1007), and
//   the store object 0x1010;
// - PdoRecord (what the object list and the PDO editor keep of one PDO) and
//   SyncValues (the three SYNC objects);
// - checked exchanges: an upload answer must be an upload answer for the
//   object and sub-index asked for; a download goes out with the command of
//   its size and must be confirmed;
// - mapping entries packed and unpacked;
// - whole PDO/SYNC images read and written in the CiA 301 order (the import
//   of a configuration file uses these; the editors keep their own sequences
//   built from the primitives).
// Every function runs on the calling thread; SdoAccess keeps exchanges from
// interleaving on the window.

#include "driver/DeviceIo.h"
#include "driver/MotorDriver.h"

#include <cstdint>
#include <string>
#include <vector>

// --- Object table ------------------------------------------------------------

constexpr int kPdoCount = 8;      // rows 0..7
constexpr int kSyncRow = 8;       // the SYNC row of the object list
constexpr int kObjectRows = 9;    // PDOs and SYNC
constexpr int kMaxMapEntries = 8; // mapping sub-indexes 1..8

enum : uint16_t {
    kObjSyncCobId = 0x1005,  // SYNC COB-ID, 32 bits
    kObjSyncCycle = 0x1006,  // communication cycle period, microseconds
    kObjSyncWindow = 0x1007, // synchronous window length, microseconds
    kObjStore = 0x1010,      // "save" command
    kObjRpdoComm = 0x1400,   // + row (0..3)
    kObjRpdoMap = 0x1600,    // + row
    kObjTpdoComm = 0x1800,   // + row - 4 (rows 4..7)
    kObjTpdoMap = 0x1A00,    // + row - 4
};

// Sub-indexes of 0x1010: 1 all parameters, 2 communication parameters.
enum : uint8_t { kStoreAll = 1, kStoreComm = 2 };
// "save" with 's' in the least significant byte, as CANopen expects it.
constexpr uint32_t kStoreSignature = 0x65766173;

// Communication-object sub-indexes of a PDO.
enum : uint8_t {
    kPdoSubCobId = 1,     // UNSIGNED32
    kPdoSubTransType = 2, // UNSIGNED8
    kPdoSubInhibit = 3,   // UNSIGNED16, x 100 us
    kPdoSubReserved = 4,  // never read or written
    kPdoSubEvent = 5,     // UNSIGNED16, ms
    kPdoSubSyncStart = 6, // UNSIGNED8
};

constexpr uint32_t kCobIdInvalid = 0x80000000u; // bit 31: PDO not valid
constexpr uint32_t kCobIdNoRtr = 0x40000000u;   // bit 30: no remote request
constexpr uint32_t kSyncGenerate = 0x40000000u; // 0x1005 bit 30: this node produces SYNC
// The COB-ID without the node-ID bits 0..6 and without bits 30 and 31.
constexpr uint32_t kCobIdBaseMask = 0x3FFFFF80u;

constexpr uint32_t kAbortNoSubindex = 0x06090011;
constexpr uint32_t kAbortNoObject = 0x06020000;

// "RPDO1".."TPDO4", "SYNC" for row 8, "?" otherwise.
const char* PdoName(int row);
// Rows 4..7 are transmit PDOs.
inline bool IsTransmitPdo(int row) {
    return row >= 4 && row < kPdoCount;
}
uint16_t PdoCommIndex(int row);
uint16_t PdoMapIndex(int row);
// Download size of a communication sub-index by its CANopen type.
int PdoCommSubSize(uint8_t sub);
// A communication sub-index in the PDO editor's words ("传输类型"), or
// "子索引 N" for one the editor does not show.
std::string PdoCommSubLabel(uint8_t sub);

// A mapping entry: (object index << 16) | (sub-index << 8) | bit length.
constexpr uint32_t PackMapEntry(uint16_t index, uint8_t sub, uint8_t bits) {
    return (static_cast<uint32_t>(index) << 16) | (static_cast<uint32_t>(sub) << 8) | bits;
}
constexpr uint16_t MapEntryIndex(uint32_t e) {
    return static_cast<uint16_t>(e >> 16);
}
constexpr uint8_t MapEntrySub(uint32_t e) {
    return static_cast<uint8_t>((e >> 8) & 0xFF);
}
constexpr uint8_t MapEntryBits(uint32_t e) {
    return static_cast<uint8_t>(e & 0xFF);
}
// "0x6040 sub 0, 16 bits".
std::string MapEntryText(uint32_t entry);

// --- Records the object list and the editors share -----------------------------

// What the tool knows of one PDO; all zero until read.
struct PdoRecord {
    uint32_t cobId = 0;       // communication sub-index 1
    uint8_t transType = 0;    // communication sub-index 2
    uint8_t mapCount = 0;     // mapping sub-index 0
    uint16_t inhibitTime = 0; // communication sub-index 3
    uint16_t eventTime = 0;   // communication sub-index 5
    bool operator==(const PdoRecord&) const = default;
};

// The three SYNC objects, all 32 bits; the periods in microseconds.
struct SyncValues {
    uint32_t cobId = 0, cyclePeriod = 0, windowLength = 0;
    bool operator==(const SyncValues&) const = default;
};
using SyncImage = SyncValues;

// --- Checked exchanges ---------------------------------------------------------

enum class ESdoStatus { Ok, ModbusError, Abort, BadAnswer };

struct SdoResult {
    ESdoStatus status = ESdoStatus::Ok;
    ResultCode rc = kResultOk;
    SdoReply reply;
    uint32_t value = 0; // upload: the value, masked to its size
    int size = 0;       // upload: bytes the answer declared
    bool Ok() const { return status == ESdoStatus::Ok; }
    // The text for the user; empty when Ok. index/sub name the object asked for.
    std::string Message(uint16_t index, uint8_t sub) const;
};

// "访问对象(索引号:0x%04X,子索引:%d)传送终止：%s" for an abort answer.
std::string SdoAbortMessage(const SdoReply& reply);

// Upload answers are checked: an upload command byte and the object asked for.
SdoResult SdoUpload(CMotorDriver& drv, uint8_t slave, uint16_t index, uint8_t sub);
// Expedited download of size 1..4 bytes; the answer must confirm it for the
// same object.
SdoResult SdoDownload(CMotorDriver& drv, uint8_t slave, uint16_t index, uint8_t sub, uint32_t value,
                      int size);
// Bytes an upload answer command declares (0x42 "size not indicated" counts as
// 4); 0 for anything else.
int SdoUploadSize(uint16_t command);
// The "save" command to 0x1010 (sub-index kStoreComm or kStoreAll).
SdoResult StoreParameters(CMotorDriver& drv, uint8_t slave, uint8_t sub);

// The SYNC objects 0x1005..0x1007 in this order. Each value is stored as soon
// as it is read, so values read before a failure keep their new values;
// fieldsRead, when given, counts them (3: all).
SdoResult ReadSync(CMotorDriver& drv, uint8_t slave, SyncValues& out, int* fieldsRead = nullptr);

// --- Whole PDO images (configuration files) -------------------------------------

struct PdoSub {
    uint8_t sub = 0;
    int size = 4;
    uint32_t value = 0;
    bool operator==(const PdoSub&) const = default;
};

struct PdoImage {
    int row = 0;               // 0..3 RPDO1..4, 4..7 TPDO1..4
    bool absent = false;       // the device has no such communication object
    uint8_t commCount = 0;     // communication object sub-index 0
    std::vector<PdoSub> comm;  // sub-indexes 1..commCount except 4, as reported
    uint8_t mapCount = 0;      // mapping object sub-index 0
    std::vector<uint32_t> map; // mapping entries from sub-index 1 as far as known
    const PdoSub* Comm(uint8_t sub) const;
};

SdoResult ReadPdo(CMotorDriver& drv, uint8_t slave, int row, PdoImage& out);

// True when writing target over current would change what the PDO does: a
// communication value, the mapping count or a mapped entry in use.
bool PdoDiffers(const PdoImage& target, const PdoImage& current);

// Brings the PDO from current to target the way a CiA 301 device accepts it:
// the PDO is made invalid (COB-ID bit 31) first, then the other communication
// values, then the mapping (count 0, entries, count), then the final COB-ID.
// failedIndex/failedSub name the object of a failure.
SdoResult WritePdo(CMotorDriver& drv, uint8_t slave, const PdoImage& target,
                   const PdoImage& current, uint16_t& failedIndex, uint8_t& failedSub);
// SYNC objects; a SYNC producer's COB-ID is changed only after generation
// is switched off.
SdoResult WriteSync(CMotorDriver& drv, uint8_t slave, const SyncValues& target,
                    const SyncValues& current, uint16_t& failedIndex);

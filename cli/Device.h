#pragma once
// Device access of the command line on top of CMotorDriver: register reads
// that insist on every register asked for, checked SDO exchanges, and the
// PDO and SYNC objects as whole images with the CANopen write order.

#include "driver/MotorDriver.h"

#include <cstdint>
#include <string>
#include <vector>

// "通讯超时 (130)": the result text followed by its code.
std::string ResultMessage(ResultCode rc);

// Reads count registers into regs (host order). A reply with fewer registers
// than asked for is a bad reply (129), so nothing is silently zero-filled.
ResultCode ReadRegs(CMotorDriver& drv, uint8_t slave, uint16_t start, uint16_t count,
                    std::vector<uint16_t>& regs);
// Function 16 in chunks the driver accepts.
ResultCode WriteRegs(CMotorDriver& drv, uint8_t slave, uint16_t start,
                     const std::vector<uint16_t>& regs);

enum class ESdoStatus { Ok, ModbusError, Abort, BadAnswer };

struct SdoResult {
    ESdoStatus status = ESdoStatus::Ok;
    ResultCode rc = kResultOk;
    SdoReply reply;
    uint32_t value = 0; // upload: the value, masked to its size
    int size = 0;       // upload: bytes the answer declared
    bool Ok() const { return status == ESdoStatus::Ok; }
    // The text for the user; empty when Ok.
    std::string Message(uint16_t index, uint8_t sub) const;
};

// Upload answers are checked: an upload command byte and the object asked for.
SdoResult SdoUpload(CMotorDriver& drv, uint8_t slave, uint16_t index, uint8_t sub);
SdoResult SdoDownload(CMotorDriver& drv, uint8_t slave, uint16_t index, uint8_t sub, uint32_t value,
                      int size);
// Bytes an upload answer command declares (0x42 "size not indicated" counts as
// 4); 0 for anything else.
int SdoUploadSize(uint16_t command);

constexpr uint32_t kAbortNoSubindex = 0x06090011;
constexpr uint32_t kAbortNoObject = 0x06020000;
constexpr uint32_t kCobIdInvalid = 0x80000000u;
constexpr uint32_t kSyncGenerate = 0x40000000u;
constexpr int kPdoCount = 8;
constexpr int kMaxMapEntries = 8;

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
    std::vector<PdoSub> comm;  // sub-indexes 1..commCount except 4
    uint8_t mapCount = 0;      // mapping object sub-index 0
    std::vector<uint32_t> map; // mapping entries from sub-index 1 as far as known
    const PdoSub* Comm(uint8_t sub) const;
};

struct SyncImage {
    uint32_t cobId = 0, cyclePeriod = 0, windowLength = 0;
    bool operator==(const SyncImage&) const = default;
};

const char* PdoName(int row);
uint16_t PdoCommIndex(int row);
uint16_t PdoMapIndex(int row);
// Download size of a communication sub-index by its CANopen type.
int PdoCommSubSize(uint8_t sub);

SdoResult ReadPdo(CMotorDriver& drv, uint8_t slave, int row, PdoImage& out);
SdoResult ReadSync(CMotorDriver& drv, uint8_t slave, SyncImage& out);

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
SdoResult WriteSync(CMotorDriver& drv, uint8_t slave, const SyncImage& target,
                    const SyncImage& current, uint16_t& failedIndex);

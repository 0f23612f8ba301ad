#include "driver/CanOpen.h"

#include "driver/Format.h"
#include "lang/Tr.h"

int SdoUploadSize(uint16_t command) {
    switch (command) {
    case kSdoUploadAns1:
        return 1;
    case kSdoUploadAns2:
        return 2;
    case kSdoUploadAns3:
        return 3;
    case kSdoUploadAns4:
    case 0x42:
        return 4;
    default:
        return 0;
    }
}

std::string SdoResult::Message(uint16_t index, uint8_t sub) const {
    switch (status) {
    case ESdoStatus::Ok:
        return "";
    case ESdoStatus::ModbusError:
        return ResultMessage(rc);
    case ESdoStatus::Abort:
        return SdoAbortMessage(reply);
    case ESdoStatus::BadAnswer:
        return StrFormat("unexpected SDO answer 0x%02X for object 0x%04X sub-index %d "
                         "(answer names 0x%04X sub-index %d)",
                         reply.command, index, sub, reply.index, reply.subindex & 0xFF);
    }
    return "";
}

std::string SdoAbortMessage(const SdoReply& reply) {
    return StrFormat(
        lang::translate("driver/CanOpen", "访问对象(索引号:0x%04X,子索引:%d)传送终止：%s").c_str(),
        reply.index, reply.subindex & 0xFF, SdoAbortText(reply.data).c_str());
}

static SdoResult Exchange(CMotorDriver& drv, uint8_t slave, uint8_t command, uint16_t index,
                          uint8_t sub, uint32_t data) {
    SdoResult r;
    r.rc = drv.SdoAccess(slave, command, index, sub, data, r.reply);
    if (r.rc != kResultOk) {
        r.status = ESdoStatus::ModbusError;
        return r;
    }
    if (r.reply.command == kSdoAbort) {
        r.status = ESdoStatus::Abort;
        return r;
    }
    // The window is shared; an answer for another object is not ours to use.
    if (r.reply.index != index || (r.reply.subindex & 0xFF) != sub)
        r.status = ESdoStatus::BadAnswer;
    return r;
}

SdoResult SdoUpload(CMotorDriver& drv, uint8_t slave, uint16_t index, uint8_t sub) {
    SdoResult r = Exchange(drv, slave, kSdoUpload, index, sub, 0);
    if (!r.Ok())
        return r;
    r.size = SdoUploadSize(r.reply.command);
    if (r.size == 0) {
        r.status = ESdoStatus::BadAnswer;
        return r;
    }
    r.value = r.size == 4 ? r.reply.data : r.reply.data & ((1u << (8 * r.size)) - 1);
    return r;
}

SdoResult SdoDownload(CMotorDriver& drv, uint8_t slave, uint16_t index, uint8_t sub, uint32_t value,
                      int size) {
    SdoResult r = Exchange(drv, slave, SdoDownloadCommand(size), index, sub, value);
    if (r.Ok() && r.reply.command != kSdoDownloadAck)
        r.status = ESdoStatus::BadAnswer;
    return r;
}

const PdoSub* PdoImage::Comm(uint8_t sub) const {
    for (const auto& s : comm)
        if (s.sub == sub)
            return &s;
    return nullptr;
}

SdoResult StoreParameters(CMotorDriver& drv, uint8_t slave, uint8_t sub) {
    return SdoDownload(drv, slave, kObjStore, sub, kStoreSignature, 4);
}

const char* PdoName(int row) {
    static const char* const kNames[] = {"RPDO1", "RPDO2", "RPDO3", "RPDO4", "TPDO1",
                                         "TPDO2", "TPDO3", "TPDO4", "SYNC"};
    return row >= 0 && row < kObjectRows ? kNames[row] : "?";
}

uint16_t PdoCommIndex(int row) {
    return static_cast<uint16_t>(row < 4 ? kObjRpdoComm + row : kObjTpdoComm + (row - 4));
}

uint16_t PdoMapIndex(int row) {
    return static_cast<uint16_t>(row < 4 ? kObjRpdoMap + row : kObjTpdoMap + (row - 4));
}

std::string MapEntryText(uint32_t e) {
    return StrFormat("0x%04X sub %u, %u bits", MapEntryIndex(e), MapEntrySub(e), MapEntryBits(e));
}

int PdoCommSubSize(uint8_t sub) {
    switch (sub) {
    case kPdoSubCobId:
        return 4; // UNSIGNED32
    case kPdoSubInhibit:
    case kPdoSubEvent:
        return 2; // UNSIGNED16
    default:
        return 1; // transmission type, SYNC start value, UNSIGNED8
    }
}

std::string PdoCommSubLabel(uint8_t sub) {
    switch (sub) {
    case kPdoSubCobId:
        return "COB-ID";
    case kPdoSubTransType:
        return lang::translate("driver/CanOpen", "传输类型");
    case kPdoSubInhibit:
        return lang::translate("driver/CanOpen", "禁止时间");
    case kPdoSubEvent:
        return lang::translate("driver/CanOpen", "事件时间");
    default:
        return StrFormat(lang::translate("driver/CanOpen", "子索引 %u").c_str(), sub);
    }
}

SdoResult ReadPdo(CMotorDriver& drv, uint8_t slave, int row, PdoImage& out) {
    PdoImage img;
    img.row = row;
    const uint16_t c = PdoCommIndex(row), m = PdoMapIndex(row);
    SdoResult r = SdoUpload(drv, slave, c, 0);
    if (r.status == ESdoStatus::Abort && r.reply.data == kAbortNoObject) {
        img.absent = true;
        out = img;
        return SdoResult{};
    }
    if (!r.Ok())
        return r;
    img.commCount = static_cast<uint8_t>(r.value);
    for (int s = 1; s <= img.commCount; ++s) {
        if (s == kPdoSubReserved) // reading it may abort
            continue;
        r = SdoUpload(drv, slave, c, static_cast<uint8_t>(s));
        // Counted but not there (an RPDO without inhibit time, say): nothing
        // to keep, nothing to write back.
        if (r.status == ESdoStatus::Abort && r.reply.data == kAbortNoSubindex)
            continue;
        if (!r.Ok())
            return r;
        img.comm.push_back({static_cast<uint8_t>(s), r.size, r.value});
    }
    r = SdoUpload(drv, slave, m, 0);
    if (!r.Ok())
        return r;
    img.mapCount = static_cast<uint8_t>(r.value);
    for (int k = 1; k <= kMaxMapEntries; ++k) {
        r = SdoUpload(drv, slave, m, static_cast<uint8_t>(k));
        // A device with fewer entries than eight says so with "no sub-index".
        if (r.status == ESdoStatus::Abort && r.reply.data == kAbortNoSubindex && k > img.mapCount)
            break;
        if (!r.Ok())
            return r;
        img.map.push_back(r.value);
    }
    out = img;
    return SdoResult{};
}

SdoResult ReadSync(CMotorDriver& drv, uint8_t slave, SyncValues& out, int* fieldsRead) {
    uint32_t* dest[] = {&out.cobId, &out.cyclePeriod, &out.windowLength};
    const uint16_t objects[] = {kObjSyncCobId, kObjSyncCycle, kObjSyncWindow};
    if (fieldsRead)
        *fieldsRead = 0;
    for (int i = 0; i < 3; ++i) {
        SdoResult r = SdoUpload(drv, slave, objects[i], 0);
        if (!r.Ok())
            return r;
        *dest[i] = r.value;
        if (fieldsRead)
            *fieldsRead = i + 1;
    }
    return SdoResult{};
}

static bool MapDiffers(const PdoImage& t, const PdoImage& c) {
    if (t.mapCount != c.mapCount)
        return true;
    for (size_t k = 0; k < t.mapCount; ++k) {
        uint32_t tv = k < t.map.size() ? t.map[k] : 0;
        uint32_t cv = k < c.map.size() ? c.map[k] : 0;
        if (tv != cv)
            return true;
    }
    return false;
}

bool PdoDiffers(const PdoImage& target, const PdoImage& current) {
    if (target.absent || current.absent)
        return target.absent != current.absent;
    for (const auto& s : target.comm) {
        const PdoSub* cur = current.Comm(s.sub);
        if (!cur || cur->value != s.value)
            return true;
    }
    return MapDiffers(target, current);
}

SdoResult WritePdo(CMotorDriver& drv, uint8_t slave, const PdoImage& target,
                   const PdoImage& current, uint16_t& failedIndex, uint8_t& failedSub) {
    const uint16_t c = PdoCommIndex(target.row), m = PdoMapIndex(target.row);
    SdoResult r;
    auto down = [&](uint16_t index, uint8_t sub, uint32_t value, int size) {
        failedIndex = index;
        failedSub = sub;
        r = SdoDownload(drv, slave, index, sub, value, size);
        return r.Ok();
    };
    if (target.absent || !PdoDiffers(target, current))
        return r;
    const PdoSub* cobNow = current.Comm(kPdoSubCobId);
    const PdoSub* cobNew = target.Comm(kPdoSubCobId);
    uint32_t cobOnDevice = cobNow ? cobNow->value : 0;
    // A valid PDO takes no change of its parameters or mapping: invalidate it.
    if (cobNow && !(cobNow->value & kCobIdInvalid)) {
        cobOnDevice = cobNow->value | kCobIdInvalid;
        if (!down(c, kPdoSubCobId, cobOnDevice, 4))
            return r;
    }
    for (const auto& s : target.comm) {
        if (s.sub == kPdoSubCobId)
            continue;
        const PdoSub* cur = current.Comm(s.sub);
        if (cur && cur->value == s.value)
            continue;
        if (!down(c, s.sub, s.value, s.size))
            return r;
    }
    if (MapDiffers(target, current)) {
        if (!down(m, 0, 0, 1))
            return r;
        for (uint8_t k = 1; k <= target.mapCount; ++k)
            if (!down(m, k, target.map[k - 1], 4))
                return r;
        if (!down(m, 0, target.mapCount, 1))
            return r;
    }
    if (cobNew && cobNew->value != cobOnDevice)
        down(c, kPdoSubCobId, cobNew->value, 4);
    return r;
}

SdoResult WriteSync(CMotorDriver& drv, uint8_t slave, const SyncValues& target,
                    const SyncValues& current, uint16_t& failedIndex) {
    SdoResult r;
    auto down = [&](uint16_t index, uint32_t value) {
        failedIndex = index;
        r = SdoDownload(drv, slave, index, 0, value, 4);
        return r.Ok();
    };
    if (target.cobId != current.cobId) {
        // A producer's identifier may not change while it generates SYNC.
        if ((current.cobId & kSyncGenerate) &&
            ((current.cobId ^ target.cobId) & ~(kSyncGenerate | kCobIdInvalid)) != 0 &&
            !down(kObjSyncCobId, current.cobId & ~kSyncGenerate))
            return r;
        if (!down(kObjSyncCobId, target.cobId))
            return r;
    }
    if (target.cyclePeriod != current.cyclePeriod && !down(kObjSyncCycle, target.cyclePeriod))
        return r;
    if (target.windowLength != current.windowLength && !down(kObjSyncWindow, target.windowLength))
        return r;
    return r;
}

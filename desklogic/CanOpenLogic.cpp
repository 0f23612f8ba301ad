#include "desklogic/CanOpenLogic.h"

#include "driver/FieldInput.h"

#include "driver/Format.h"
#include "lang/Tr.h"

#include <limits>

namespace {

// Shows the one message of an exchange that did not succeed.
bool Failed(const SdoResult& r, IEditorSink& sink) {
    if (r.Ok())
        return false;
    sink.Message(SdoFailureText(r));
    return true;
}

struct SLimit {
    int id;
    std::string name;
    int64_t max;
};

} // namespace

// --- Records and exchanges ---------------------------------------------------

std::string SdoFailureText(const SdoResult& r) {
    switch (r.status) {
    case ESdoStatus::Ok:
        return "";
    case ESdoStatus::ModbusError:
        return ResultText(r.rc);
    case ESdoStatus::Abort:
        return SdoAbortMessage(r.reply);
    case ESdoStatus::BadAnswer:
        break;
    }
    return ResultText(kResultBadReply);
}

// --- Object list ----------------------------------------------------------------

std::string ListCellText(int col, uint32_t value) {
    if (col == kColCobId)
        return StrFormat("0x%08X", value);
    return StrFormat("%d", static_cast<int>(value));
}

void SetRecordField(PdoRecord& rec, int col, uint32_t value) {
    switch (col) {
    case kColCobId:
        rec.cobId = value;
        break;
    case kColTransType:
        rec.transType = static_cast<uint8_t>(value);
        break;
    case kColInhibit:
        rec.inhibitTime = static_cast<uint16_t>(value);
        break;
    case kColEvent:
        rec.eventTime = static_cast<uint16_t>(value);
        break;
    case kColMapCount:
        rec.mapCount = static_cast<uint8_t>(value);
        break;
    default:
        break;
    }
}

namespace {

// Row r: communication object sub-index 0, the sub-indexes it reports (4
// is reserved and never read), then the mapping count.
bool LoadRow(CMotorDriver& drv, uint8_t slave, int r, const std::atomic<bool>& stop,
             IObjectListSink& sink) {
    const uint16_t comm = PdoCommIndex(r);
    SdoResult o;
    auto failed = [&] {
        if (stop)
            return true;
        if (!o.Ok())
            sink.Message(SdoFailureText(o));
        return !o.Ok();
    };
    o = SdoUpload(drv, slave, comm, 0);
    if (failed())
        return false;
    const uint32_t n = o.value;
    for (uint32_t s = 1; s <= n && s <= 0xFF; ++s) {
        if (s == 4)
            continue;
        o = SdoUpload(drv, slave, comm, static_cast<uint8_t>(s));
        if (failed())
            return false;
        const int col = s == 1   ? kColCobId
                        : s == 2 ? kColTransType
                        : s == 3 ? kColInhibit
                        : s == 5 ? kColEvent
                                 : -1; // read, not shown
        if (col >= 0)
            sink.SetField(r, col, o.value);
    }
    o = SdoUpload(drv, slave, PdoMapIndex(r), 0);
    if (failed())
        return false;
    sink.SetField(r, kColMapCount, o.value);
    sink.MarkLoaded(r);
    return true;
}

} // namespace

void MergeSync(SyncValues& into, const SyncValues& read, int fieldsRead) {
    if (fieldsRead > 0)
        into.cobId = read.cobId;
    if (fieldsRead > 1)
        into.cyclePeriod = read.cyclePeriod;
    if (fieldsRead > 2)
        into.windowLength = read.windowLength;
}

int LoadObjectList(CMotorDriver& drv, uint8_t slave, const std::atomic<bool>& stop,
                   IObjectListSink& sink) {
    sink.ClearRows();
    int loaded = 0;
    while (loaded < kPdoCount) {
        sink.AddRow(loaded, PdoName(loaded));
        if (!LoadRow(drv, slave, loaded, stop, sink))
            break;
        ++loaded;
    }
    if (stop)
        return loaded;
    // Rows that were not reached are listed by name, not loaded, so the
    // SYNC row is row 8 whatever happened.
    for (int r = loaded + 1; r < kPdoCount; ++r)
        sink.AddRow(r, PdoName(r));
    // A failure here shows nothing: the list shows what it has.
    SyncValues sync;
    int fieldsRead = 0;
    ReadSync(drv, slave, sync, &fieldsRead);
    sink.AddRow(kSyncRow, PdoName(kSyncRow));
    sink.SetSync(sync, fieldsRead);
    return loaded;
}

// --- PDO editor -----------------------------------------------------------------

int PdoEntryCheck(int k) {
    return 1167 + k;
}
int PdoEntryIndex(int k) {
    return 1048 + 2 * k;
}
int PdoEntrySub(int k) {
    return 1049 + 2 * k;
}
int PdoEntryBits(int k) {
    return 1109 + k;
}

std::vector<int> PdoValueIds() {
    std::vector<int> ids = {kPdoCobId, kPdoTransType, kPdoInhibit, kPdoEvent, kPdoMapCount};
    for (int k = 0; k < kMaxMapEntries; ++k)
        ids.insert(ids.end(),
                   {PdoEntryIndex(k), PdoEntrySub(k), PdoEntryBits(k), PdoEntryCheck(k)});
    return ids;
}

std::string PdoGroupCaption(int row) {
    return IsReceivePdo(row)
               ? StrFormat(lang::translate("desklogic/CanOpenLogic", "RPDO%d参数设置").c_str(),
                           row + 1)
               : StrFormat(lang::translate("desklogic/CanOpenLogic", "TPDO%d参数设置").c_str(),
                           row - 3);
}

CtrlValues PdoValuesFromRecord(int row, const PdoRecord& rec) {
    CtrlValues v;
    for (int id : PdoValueIds())
        v[id] = "";
    for (int k = 0; k < kMaxMapEntries; ++k)
        v[PdoEntryCheck(k)] = "0";
    if (!IsReceivePdo(row)) {
        v[kPdoInhibit] = StrFormat("%d", rec.inhibitTime);
        v[kPdoEvent] = StrFormat("%d", rec.eventTime);
    }
    v[kPdoCobId] = StrFormat("0x%X", rec.cobId & kCobIdBaseMask);
    v[kPdoTransType] = StrFormat("%d", rec.transType);
    v[kPdoMapCount] = StrFormat("%d", rec.mapCount);
    return v;
}

int LoadPdo(CMotorDriver& drv, uint8_t slave, int row, bool reload, const std::atomic<bool>& stop,
            IEditorSink& sink) {
    int ok = 0;
    // After every upload: a stop ends the worker without a word; a failure
    // shows its one message.
    auto next = [&](uint16_t index, uint8_t sub, SdoResult& o) {
        o = SdoUpload(drv, slave, index, sub);
        if (stop)
            return -1;
        return Failed(o, sink) ? 0 : 1;
    };
    SdoResult o;
    const uint16_t comm = PdoCommIndex(row), map = PdoMapIndex(row);
    if (reload) {
        int step = next(comm, 0, o);
        if (step < 0)
            return ok;
        const uint32_t n = o.value;
        for (uint32_t s = 1; step > 0 && s <= n && s <= 0xFF; ++s) {
            if (s == 4)
                continue;
            step = next(comm, static_cast<uint8_t>(s), o);
            if (step < 0)
                return ok;
            if (step == 0)
                break;
            const uint32_t d = o.value;
            if (s == 1)
                sink.Show({{kPdoCobId, StrFormat("0x%08X", d & kCobIdBaseMask)}});
            else if (s == 2 || s == 3 || s == 5)
                sink.Show({{s == 2   ? kPdoTransType
                            : s == 3 ? kPdoInhibit
                                     : kPdoEvent,
                            StrFormat("%d", static_cast<int>(d))}});
        }
        if (step > 0) {
            step = next(map, 0, o);
            if (step < 0)
                return ok;
            if (step > 0) {
                sink.Show({{kPdoMapCount, StrFormat("%d", static_cast<int>(o.value))}});
                ok = 1;
            }
        }
    } else {
        ok = 1;
    }
    for (int k = 0; k < kMaxMapEntries; ++k) {
        const int step = next(map, static_cast<uint8_t>(k + 1), o);
        if (step <= 0)
            return ok;
        const uint32_t d = o.value;
        sink.Show({{PdoEntryIndex(k), StrFormat("0x%04X", d >> 16)},
                   {PdoEntrySub(k), StrFormat("%d", (d >> 8) & 0xFF)},
                   {PdoEntryBits(k), StrFormat("%d", d & 0xFF)}});
    }
    return ok + 1;
}

namespace {

// The typed number of a decimal edit ("%d"), as the object receives it.
int64_t DecimalOf(const CtrlValues& values, int id) {
    return ParseLeadingInt(ValueOf(values, id));
}

// A receive PDO's inhibit and event edits stay empty when opened from the
// list; the driver's recorded value is written there, never a made-up 0.
int64_t TimeOf(int row, const CtrlValues& values, int id, uint16_t recorded) {
    if (IsReceivePdo(row) && ValueOf(values, id).empty())
        return recorded;
    return DecimalOf(values, id);
}

} // namespace

SInputProblem CheckPdoValues(int row, const CtrlValues& values) {
    uint32_t hex = 0;
    int64_t v = 0;
    const std::string& cobId = ValueOf(values, kPdoCobId);
    if (!ParseStrictHex(cobId, hex))
        return {kPdoCobId,
                StrFormat(
                    lang::translate("desklogic/CanOpenLogic", "COB-ID: %s 不是十六进制数").c_str(),
                    cobId.c_str())};
    const SLimit limits[] = {
        {kPdoTransType, PdoCommSubLabel(kPdoSubTransType), 0xFF},
        {kPdoInhibit, PdoCommSubLabel(kPdoSubInhibit), 0xFFFF},
        {kPdoEvent, PdoCommSubLabel(kPdoSubEvent), 0xFFFF},
        {kPdoMapCount, lang::translate("desklogic/CanOpenLogic", "映射数量"), 0xFF}};
    for (const SLimit& l : limits) {
        const std::string& text = ValueOf(values, l.id);
        const bool time = l.id == kPdoInhibit || l.id == kPdoEvent;
        if (time && IsReceivePdo(row) && text.empty())
            continue; // the driver's recorded value is written
        if (!ParseStrictInt(text, v))
            return {l.id,
                    StrFormat(
                        lang::translate("desklogic/CanOpenLogic", "%s: %s 不是数字 (0~%d)").c_str(),
                        l.name.c_str(), text.c_str(), static_cast<int>(l.max))};
        if (v < 0 || v > l.max)
            return {l.id,
                    StrFormat(lang::translate("desklogic/CanOpenLogic", "%s超出范围(0~%d)").c_str(),
                              l.name.c_str(), static_cast<int>(l.max))};
    }
    for (int k = 0; k < kMaxMapEntries; ++k) {
        if (ValueOf(values, PdoEntryCheck(k)) != "1")
            continue;
        const std::string& index = ValueOf(values, PdoEntryIndex(k));
        if (!ParseStrictHex(index, hex))
            return {PdoEntryIndex(k),
                    StrFormat(lang::translate("desklogic/CanOpenLogic",
                                              "映射对象%d的索引: %s 不是十六进制数")
                                  .c_str(),
                              k + 1, index.c_str())};
        if (hex > 0xFFFF)
            return {PdoEntryIndex(k),
                    StrFormat(lang::translate("desklogic/CanOpenLogic",
                                              "映射对象%d的索引超出范围(0~0xFFFF)")
                                  .c_str(),
                              k + 1)};
        const std::pair<int, std::string> bytes[] = {
            {PdoEntrySub(k), lang::translate("desklogic/CanOpenLogic", "子索引")},
            {PdoEntryBits(k), lang::translate("desklogic/CanOpenLogic", "位数")}};
        for (const auto& [id, name] : bytes) {
            const std::string& text = ValueOf(values, id);
            if (!ParseStrictInt(text, v))
                return {id, StrFormat(lang::translate("desklogic/CanOpenLogic",
                                                      "映射对象%d的%s: %s 不是数字")
                                          .c_str(),
                                      k + 1, name.c_str(), text.c_str())};
            if (v < 0 || v > 0xFF)
                return {id, StrFormat(lang::translate("desklogic/CanOpenLogic",
                                                      "映射对象%d的%s超出范围(0~255)")
                                          .c_str(),
                                      k + 1, name.c_str())};
        }
    }
    return {};
}

bool ConfigurePdo(CMotorDriver& drv, uint8_t slave, int row, const CtrlValues& values,
                  const std::atomic<bool>& stop, PdoRecord& rec, IEditorSink& sink) {
    const uint16_t comm = PdoCommIndex(row), map = PdoMapIndex(row);
    SdoResult o = SdoUpload(drv, slave, comm, 0);
    if (stop || Failed(o, sink))
        return false;
    const uint32_t n = o.value;
    for (uint32_t s = 1; s <= n && s <= 5; ++s) {
        if (s == 4)
            continue;
        if (stop)
            return false;
        uint32_t value = 0;
        int size = 0;
        switch (s) {
        case 1:
            value = ParseLeadingHex(ValueOf(values, kPdoCobId)) | kCobIdNoRtr;
            size = 4;
            break;
        case 2:
            value = static_cast<uint32_t>(DecimalOf(values, kPdoTransType));
            size = 1;
            break;
        case 3:
            value = static_cast<uint32_t>(TimeOf(row, values, kPdoInhibit, rec.inhibitTime));
            size = 2;
            break;
        default:
            value = static_cast<uint32_t>(TimeOf(row, values, kPdoEvent, rec.eventTime));
            size = 2;
            break;
        }
        if (Failed(SdoDownload(drv, slave, comm, static_cast<uint8_t>(s), value, size), sink))
            return false;
        SetRecordField(rec,
                       s == 1   ? kColCobId
                       : s == 2 ? kColTransType
                       : s == 3 ? kColInhibit
                                : kColEvent,
                       value);
    }
    if (Failed(SdoDownload(drv, slave, map, 0, 0, 1), sink))
        return false;
    for (int k = 0; k < kMaxMapEntries; ++k) {
        if (ValueOf(values, PdoEntryCheck(k)) != "1")
            continue;
        if (stop)
            return false;
        const uint32_t entry =
            PackMapEntry(static_cast<uint16_t>(ParseLeadingHex(ValueOf(values, PdoEntryIndex(k)))),
                         static_cast<uint8_t>(DecimalOf(values, PdoEntrySub(k))),
                         static_cast<uint8_t>(DecimalOf(values, PdoEntryBits(k))));
        if (Failed(SdoDownload(drv, slave, map, static_cast<uint8_t>(k + 1), entry, 4), sink))
            return false;
    }
    if (stop)
        return false;
    const auto count = static_cast<uint32_t>(DecimalOf(values, kPdoMapCount));
    if (Failed(SdoDownload(drv, slave, map, 0, count, 1), sink))
        return false;
    rec.mapCount = static_cast<uint8_t>(count);
    return true;
}

// --- SYNC editor ----------------------------------------------------------------

CtrlValues SyncTexts(const SyncValues& sync) {
    // Microseconds as milliseconds with three decimals, from the integer:
    // no binary fraction in between.
    auto ms = [](uint32_t us) { return StrFormat("%u.%03u", us / 1000, us % 1000); };
    return {{kSyncCobId, StrFormat("0x%X", sync.cobId)},
            {kSyncPeriod, ms(sync.cyclePeriod)},
            {kSyncWindow, ms(sync.windowLength)}};
}

bool ParseMilliseconds(const std::string& text, uint32_t& us, bool& range) {
    range = false;
    const std::string_view t = TrimmedText(text);
    if (!IsStrictDecimal(t))
        return false;
    const int64_t v = ScaleDecimal(t, 3);
    if (v < 0 || v > std::numeric_limits<uint32_t>::max()) {
        range = true;
        return false;
    }
    us = static_cast<uint32_t>(v);
    return true;
}

SInputProblem SyncFromTexts(const CtrlValues& values, SyncValues& sync) {
    SyncValues next = sync;
    const std::string& cobId = ValueOf(values, kSyncCobId);
    if (!ParseStrictHex(cobId, next.cobId))
        return {kSyncCobId,
                StrFormat(
                    lang::translate("desklogic/CanOpenLogic", "COB-ID: %s 不是十六进制数").c_str(),
                    cobId.c_str())};
    const std::pair<int, std::string> periods[] = {
        {kSyncPeriod, lang::translate("desklogic/CanOpenLogic", "通讯间隔时间")},
        {kSyncWindow, lang::translate("desklogic/CanOpenLogic", "同步窗口长度")}};
    for (const auto& [id, name] : periods) {
        uint32_t us = 0;
        bool range = false;
        const std::string& text = ValueOf(values, id);
        if (ParseMilliseconds(text, us, range))
            (id == kSyncPeriod ? next.cyclePeriod : next.windowLength) = us;
        else if (range)
            return {id, StrFormat(
                            lang::translate("desklogic/CanOpenLogic", "%s超出范围(0~4294967.295ms)")
                                .c_str(),
                            name.c_str())};
        else
            return {id, StrFormat(lang::translate("desklogic/CanOpenLogic",
                                                  "%s: %s 不是数字 (0~4294967.295ms)")
                                      .c_str(),
                                  name.c_str(), text.c_str())};
    }
    sync = next;
    return {};
}

SdoResult ConfigureSync(CMotorDriver& drv, uint8_t slave, const SyncValues& target,
                        SyncValues& written) {
    const uint32_t values[] = {target.cobId, target.cyclePeriod, target.windowLength};
    uint32_t* const fields[] = {&written.cobId, &written.cyclePeriod, &written.windowLength};
    SdoResult o;
    for (uint16_t i = 0; i < 3; ++i) {
        o = SdoDownload(drv, slave, static_cast<uint16_t>(kObjSyncCobId + i), 0, values[i], 4);
        if (!o.Ok())
            return o;
        *fields[i] = values[i];
    }
    return o;
}

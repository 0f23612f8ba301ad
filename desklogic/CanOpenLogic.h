#pragma once
// The CANopen object list of the communication page and its PDO and SYNC
// editors, without widgets: the records they share and the exchange
// sequences their workers run. No Qt here, so the sequences also run in the
// sanitizer builds against the virtual driver.
//
// The sequences run on any thread. They touch no shared state: everything
// they show or record goes through the sink they are given, which hands it to
// the GUI thread (or to a test). The stop flag is set by another thread.
//
// The order of the exchanges is what the driver expects when a PDO changes:
// the communication values, then the mapping count 0, the entries, and the
// count.

#include "desklogic/CtrlValues.h"
#include "desklogic/PageLogic.h"
#include "driver/CanOpen.h"

#include <atomic>
#include <cstdint>
#include <string>

// --- Records and exchanges ---------------------------------------------------

// The object table, PdoRecord, SyncValues, the checked exchanges and the
// entry packing are the driver's (driver/CanOpen.h); these are the editors'
// views of them.

inline bool IsReceivePdo(int row) {
    return !IsTransmitPdo(row);
}

// The one text for the user of an exchange that did not succeed: the result
// text, the abort message, or the bad-reply text for an answer that does not
// fit the request.
std::string SdoFailureText(const SdoResult& r);

// --- Object list ----------------------------------------------------------------

// List columns.
enum { kColName, kColCobId, kColTransType, kColInhibit, kColEvent, kColMapCount, kColumns };

// The text of a list cell for the value uploaded ("0x%08X" for the COB-ID,
// "%d" for the others).
std::string ListCellText(int col, uint32_t value);
// Stores the value of a list column into the record (masked to the field).
void SetRecordField(PdoRecord& rec, int col, uint32_t value);

// What the list load shows and records; called on the loading thread.
class IObjectListSink {
public:
    virtual ~IObjectListSink() = default;
    virtual void ClearRows() = 0;
    virtual void AddRow(int row, const std::string& name) = 0;
    // The cell (ListCellText) and the record's field (SetRecordField).
    virtual void SetField(int row, int col, uint32_t value) = 0;
    virtual void MarkLoaded(int row) = 0;
    // The SYNC row (index 8, loaded) and the SYNC editor's values: the first
    // fieldsRead of cobId, cyclePeriod, windowLength were read; the others
    // keep what the editor holds now (it may have configured them meanwhile).
    virtual void SetSync(const SyncValues& sync, int fieldsRead) = 0;
    // A message box; returns once it is dismissed.
    virtual void Message(const std::string& text) = 0;
};

// Takes the first fieldsRead SYNC values (cobId, cyclePeriod, windowLength)
// from read into into.
void MergeSync(SyncValues& into, const SyncValues& read, int fieldsRead);

// Loads the eight PDO rows and the SYNC row. Stops at the first failure with one message; the
// rows after it are listed by name only, so the SYNC row is always row 8.
// Returns the number of rows loaded (8: complete). A stop (the list is going
// away) ends it silently before the next exchange.
int LoadObjectList(CMotorDriver& drv, uint8_t slave, const std::atomic<bool>& stop,
                   IObjectListSink& sink);

// --- PDO editor -----------------------------------------------------------------

// Control IDs of the PDO editor's values.
enum : int {
    kPdoCobId = 1160,
    kPdoTransType = 1161,
    kPdoInhibit = 1162,
    kPdoEvent = 1163,
    kPdoMapCount = 1164,
};
// Entry k = 0..7: its check box, index, sub-index and bit-length edits.
int PdoEntryCheck(int k);
int PdoEntryIndex(int k);
int PdoEntrySub(int k);
int PdoEntryBits(int k);
// The 29 edits and the 8 check boxes.
std::vector<int> PdoValueIds();

// "RPDO%d参数设置" or "TPDO%d参数设置".
std::string PdoGroupCaption(int row);
// The edits filled from a record when the editor opens from the list (a
// receive PDO's inhibit and event times stay empty).
CtrlValues PdoValuesFromRecord(int row, const PdoRecord& rec);

// What an editor worker shows; called on the worker's thread.
class IEditorSink {
public:
    virtual ~IEditorSink() = default;
    virtual void Show(const CtrlValues& values) = 0;
    virtual void Message(const std::string& text) = 0;
};

// Reads the PDO into the edits: with reload the communication values first,
// then the eight mapping entries whatever the count. Returns 2 when all of
// it was read, less after a failure or a stop (the configure button stays
// disabled then).
int LoadPdo(CMotorDriver& drv, uint8_t slave, int row, bool reload, const std::atomic<bool>& stop,
            IEditorSink& sink);

// Why the typed values cannot be written as shown (text that is no number,
// or a number that does not fit its object, which the driver would receive
// cut), with the edit holding it; nothing when they can.
SInputProblem CheckPdoValues(int row, const CtrlValues& values);

// Writes the typed values: the communication values up to the count the
// driver reports, the mapping count 0, the ticked entries, then the typed
// count. rec is updated after every confirmed download. True when all of it
// was written; false after a failure (one message) or a stop (none).
bool ConfigurePdo(CMotorDriver& drv, uint8_t slave, int row, const CtrlValues& values,
                  const std::atomic<bool>& stop, PdoRecord& rec, IEditorSink& sink);

// --- SYNC editor ----------------------------------------------------------------

// Control IDs of the SYNC editor's values.
enum : int {
    kSyncCobId = 1160,
    kSyncPeriod = 1172,
    kSyncWindow = 1173,
};

// "0x%X", and microseconds as milliseconds "%.3f".
CtrlValues SyncTexts(const SyncValues& sync);
// Microseconds for a typed millisecond text, exactly ("1.001" is 1001).
// False when the text is not a number, and sets range when it is one
// outside 0..4294967.295 ms.
bool ParseMilliseconds(const std::string& text, uint32_t& us, bool& range);
// The values to write: the COB-ID as typed (hexadecimal, a leading 0x
// accepted), the periods exactly; otherwise why they cannot be written, with
// the edit holding the text, and sync unchanged.
SInputProblem SyncFromTexts(const CtrlValues& values, SyncValues& sync);
// Downloads the three objects in order, stopping at the first failure.
// written holds what the driver confirmed.
SdoResult ConfigureSync(CMotorDriver& drv, uint8_t slave, const SyncValues& target,
                        SyncValues& written);

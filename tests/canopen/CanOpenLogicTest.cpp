// The exchange sequences of the CANopen object list and its PDO and SYNC
// editors, as the virtual driver records them, with failures injected at
// chosen objects. No Qt: these also run under ThreadSanitizer.

#include "desklogic/CanOpenLogic.h"
#include "driver/Format.h"
#include "tests/support/SimHarness.h"

#include <gtest/gtest.h>

#include <atomic>
#include <map>
#include <mutex>
#include <set>

namespace {

using K = SSdoFault::EKind;
using Log = std::vector<SSdoExchange>;

SSdoExchange Up(uint16_t index, uint8_t sub, uint8_t answer, uint32_t value) {
    return {0x40, index, sub, 0, answer, value, false};
}
SSdoExchange Down(uint8_t cmd, uint16_t index, uint8_t sub, uint32_t value) {
    return {cmd, index, sub, value, 0x60, 0, false};
}

// Records what a sequence shows, from whatever thread it runs on.
class CSink : public IEditorSink, public IObjectListSink {
public:
    std::mutex lock;
    CtrlValues shown;
    std::vector<std::string> messages;
    std::vector<std::string> rows; // name per row index
    std::map<std::pair<int, int>, std::string> cells;
    std::set<int> loaded;
    std::array<PdoRecord, kPdoCount> records{};
    SyncValues sync;
    std::function<void()> onShow;

    void Show(const CtrlValues& values) override {
        std::lock_guard lk(lock);
        for (const auto& [id, text] : values)
            shown[id] = text;
        if (onShow)
            onShow();
    }
    void Message(const std::string& text) override {
        std::lock_guard lk(lock);
        messages.push_back(text);
    }
    void ClearRows() override { rows.clear(); }
    void AddRow(int row, const std::string& name) override {
        rows.insert(rows.begin() + row, name);
    }
    void SetField(int row, int col, uint32_t value) override {
        cells[{row, col}] = ListCellText(col, value);
        SetRecordField(records[static_cast<size_t>(row)], col, value);
    }
    void MarkLoaded(int row) override { loaded.insert(row); }
    void SetSync(const SyncValues& s, int fieldsRead) override { MergeSync(sync, s, fieldsRead); }
};

class CanOpenLogicTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_sim.Ok());
        ASSERT_TRUE(m_drv.OpenPortPath(m_sim.Device(), "9600,n,8,1"));
    }
    CVirtualDriver& Sim() { return m_sim.Driver(); }
    uint32_t Object(uint16_t index, uint8_t sub) {
        uint32_t v = 0xDEADBEEF;
        EXPECT_TRUE(Sim().GetObject(index, sub, v));
        return v;
    }
    // The editor's values for entries 1 and 2 of TPDO2 ticked, count 2.
    static CtrlValues TickedValues() {
        CtrlValues v = PdoValuesFromRecord(5, {0x80000281, 1, 0, 100, 1000});
        v[PdoEntryCheck(0)] = "1";
        v[PdoEntryIndex(0)] = "0x6041";
        v[PdoEntrySub(0)] = "0";
        v[PdoEntryBits(0)] = "16";
        v[PdoEntryCheck(1)] = "1";
        v[PdoEntryIndex(1)] = "606C";
        v[PdoEntrySub(1)] = "0";
        v[PdoEntryBits(1)] = "32";
        v[PdoEntryIndex(2)] = "0x2001"; // not ticked: never written
        v[PdoEntryBits(2)] = "32";
        v[kPdoMapCount] = "2";
        return v;
    }

    CSimHarness m_sim{1};
    CMotorDriver m_drv;
    std::atomic<bool> m_stop{false};
    CSink m_sink;
};

TEST_F(CanOpenLogicTest, ConfigureWritesCommunicationValuesThenCountZeroTickedEntriesAndCount) {
    // TPDO2 reports sub-indexes up to 5; COB-ID 0x281 shows as 0x280 and is
    // written back with bit 30 and without the invalid bit.
    const CtrlValues values = TickedValues();
    EXPECT_EQ(ValueOf(values, kPdoCobId), "0x280");
    EXPECT_FALSE(CheckPdoValues(5, values).Has());
    PdoRecord rec{0x80000281, 1, 0, 100, 1000};
    ASSERT_TRUE(ConfigurePdo(m_drv, 1, 5, values, m_stop, rec, m_sink));
    EXPECT_EQ(Sim().SdoLog(), (Log{Up(0x1801, 0, 0x4F, 5), Down(0x23, 0x1801, 1, 0x40000280),
                                   Down(0x2F, 0x1801, 2, 1), Down(0x2B, 0x1801, 3, 100),
                                   Down(0x2B, 0x1801, 5, 1000), Down(0x2F, 0x1A01, 0, 0),
                                   Down(0x23, 0x1A01, 1, 0x60410010),
                                   Down(0x23, 0x1A01, 2, 0x606C0020), Down(0x2F, 0x1A01, 0, 2)}));
    EXPECT_EQ(rec, (PdoRecord{0x40000280, 1, 2, 100, 1000}));
    EXPECT_TRUE(m_sink.messages.empty());

    // A receive PDO opened from the list has empty time edits: where the
    // driver reports sub-indexes 3 and 5, their recorded values go back.
    Sim().SetObject(0x1400, 0, 5);
    Sim().SetObject(0x1400, 3, 7);
    Sim().SetObject(0x1400, 5, 9);
    Sim().ClearSdoLog();
    CtrlValues rx = PdoValuesFromRecord(0, {0x201, 255, 1, 7, 9});
    EXPECT_EQ(ValueOf(rx, kPdoInhibit), "");
    EXPECT_EQ(ValueOf(rx, kPdoEvent), "");
    rec = {0x201, 255, 1, 7, 9};
    ASSERT_TRUE(ConfigurePdo(m_drv, 1, 0, rx, m_stop, rec, m_sink));
    const Log log = Sim().SdoLog();
    ASSERT_EQ(log.size(), 7u);
    EXPECT_EQ(log[3], Down(0x2B, 0x1400, 3, 7));
    EXPECT_EQ(log[4], Down(0x2B, 0x1400, 5, 9));
    // No entry ticked: the count is written 0 and then as typed.
    EXPECT_EQ(log[5], Down(0x2F, 0x1600, 0, 0));
    EXPECT_EQ(log[6], Down(0x2F, 0x1600, 0, 1));
}

TEST_F(CanOpenLogicTest, FailuresEndTheSequenceWithOneMessageAndKeepOnlyWhatWasConfirmed) {
    struct Row {
        SSdoFault fault;
        size_t exchanges; // in the log, the failing one included
        std::string message;
        PdoRecord rec;
    };
    const PdoRecord before{0x80000281, 1, 0, 100, 1000};
    const Row rows[] = {
        {{0x1801, 0, K::Exception, 4, 1}, 1, ResultText(4), before},
        {{0x1801, 2, K::Abort, 0x06090030, 1},
         3,
         "访问对象(索引号:0x1801,子索引:2)传送终止：超出参数的值范围(写访问时) (0x06090030)",
         {0x40000280, 1, 0, 100, 1000}},
        {{0x1A01, 2, K::Exception, 6, 1}, 8, ResultText(6), {0x40000280, 1, 0, 100, 1000}},
        {{0x1A01, 0, K::Abort, 0, 1, 1}, // the count 0 passes, the final count fails
         9,
         "访问对象(索引号:0x1A01,子索引:0)传送终止：一般性错误 (0x08000000)",
         {0x40000280, 1, 0, 100, 1000}},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.message);
        Sim().Reset();
        Sim().ClearSdoLog();
        Sim().ClearSdoFaults();
        m_sink.messages.clear();
        PdoRecord rec = before;
        Sim().AddSdoFault(r.fault);
        EXPECT_FALSE(ConfigurePdo(m_drv, 1, 5, TickedValues(), m_stop, rec, m_sink));
        EXPECT_EQ(m_sink.messages, std::vector<std::string>{r.message});
        EXPECT_EQ(Sim().SdoLog().size(), r.exchanges);
        EXPECT_EQ(rec, r.rec);
    }
}

TEST_F(CanOpenLogicTest, StopFlagEndsTheWorkersSilentlyWhereItIsTested) {
    // Configure: tested right after the count upload, before any download.
    m_stop = true;
    PdoRecord rec{};
    EXPECT_FALSE(ConfigurePdo(m_drv, 1, 5, TickedValues(), m_stop, rec, m_sink));
    EXPECT_EQ(Sim().SdoLog(), (Log{Up(0x1801, 0, 0x4F, 5)}));
    // Load: after every upload, even a failed one, and before its message.
    Sim().ClearSdoLog();
    Sim().AddSdoFault({0x1800, 0, K::Abort, 0, 1});
    EXPECT_EQ(LoadPdo(m_drv, 1, 4, true, m_stop, m_sink), 0);
    EXPECT_EQ(Sim().SdoLog().size(), 1u);
    m_stop = false;
    m_sink.onShow = [this] { m_stop = true; }; // while entry 1 is shown
    EXPECT_EQ(LoadPdo(m_drv, 1, 4, false, m_stop, m_sink), 1);
    EXPECT_EQ(Sim().SdoLog().size(), 3u); // entries 1 and 2
    EXPECT_TRUE(m_sink.messages.empty());
}

TEST_F(CanOpenLogicTest, LoadShowsTheCommunicationValuesOnReloadAndEveryEntry) {
    Sim().SetObject(0x1800, 1, 0xC0000181);
    Sim().SetObject(0x1800, 3, 250);
    ASSERT_EQ(LoadPdo(m_drv, 1, 4, true, m_stop, m_sink), 2);
    const std::pair<int, const char*> shown[] = {
        {kPdoCobId, "0x00000180"},    {kPdoInhibit, "250"},    {kPdoMapCount, "2"},
        {PdoEntryIndex(1), "0x6064"}, {PdoEntryBits(1), "32"}, {PdoEntryIndex(7), "0x0000"}};
    for (const auto& [id, text] : shown)
        EXPECT_EQ(ValueOf(m_sink.shown, id), text) << id;
    // Sub-index 4 never; all eight entries whatever the count.
    const Log log = Sim().SdoLog();
    ASSERT_EQ(log.size(), 14u);
    EXPECT_EQ(log[4], Up(0x1800, 5, 0x4B, 0));
    EXPECT_EQ(log[13], Up(0x1A00, 8, 0x43, 0));

    // A failed reload step still reads the entries; an aborted entry ends it.
    Sim().ClearSdoLog();
    Sim().AddSdoFault({0x1800, 2, K::Exception, 4, 1});
    Sim().AddSdoFault({0x1A00, 7, K::Abort, 0x06090011, 1});
    EXPECT_EQ(LoadPdo(m_drv, 1, 4, true, m_stop, m_sink), 0);
    EXPECT_EQ(
        m_sink.messages,
        (std::vector<std::string>{
            ResultText(4), "访问对象(索引号:0x1A00,子索引:7)传送终止：子索引不存在 (0x06090011)"}));
    EXPECT_EQ(Sim().SdoLog().size(), 3u + 7u);
}

// The rows a failed load leaves are the list window's test.
TEST_F(CanOpenLogicTest, ListLoadsEveryRowStopsAtTheFirstFailureAndKeepsTheSyncValues) {
    Sim().SetObject(0x1801, 0, 6); // sub-index 6 read, not shown
    Sim().SetObject(0x1801, 6, 0x55);
    Sim().SetObject(0x1006, 0, 10000);
    EXPECT_EQ(LoadObjectList(m_drv, 1, m_stop, m_sink), 8);
    EXPECT_TRUE(m_sink.messages.empty());
    EXPECT_EQ(m_sink.loaded.size(), 8u);
    EXPECT_EQ(m_sink.rows, (std::vector<std::string>{"RPDO1", "RPDO2", "RPDO3", "RPDO4", "TPDO1",
                                                     "TPDO2", "TPDO3", "TPDO4", "SYNC"}));
    // A receive PDO reporting two sub-indexes leaves the time cells empty.
    EXPECT_EQ(m_sink.cells.count({0, kColInhibit}), 0u);
    EXPECT_EQ(m_sink.cells.count({0, kColEvent}), 0u);
    EXPECT_EQ(m_sink.cells[std::make_pair(1, kColCobId)], "0x80000301");
    EXPECT_EQ(m_sink.cells[std::make_pair(4, kColMapCount)], "2");
    EXPECT_EQ(m_sink.records[5], (PdoRecord{0x80000281, 255, 0, 0, 0}));
    EXPECT_EQ(m_sink.sync, (SyncValues{0x80, 10000, 0}));
    size_t tpdo2 = 0;
    for (const SSdoExchange& x : Sim().SdoLog()) {
        EXPECT_FALSE(x.index >= 0x1400 && x.index <= 0x1803 && x.sub == 4);
        tpdo2 += x.index == 0x1801;
    }
    EXPECT_EQ(tpdo2, 6u); // 0, 1, 2, 3, 5, 6

    // TPDO2's COB-ID fails: five rows loaded, TPDO2 partly, SYNC still row 8.
    CSink partial;
    Sim().AddSdoFault({0x1801, 1, K::Exception, 4, 1});
    Sim().AddSdoFault({0x1006, 0, K::Abort, 0, 1}); // not reported: SYNC keeps it
    partial.sync = {1, 2, 3}; // what the SYNC editor holds, perhaps configured meanwhile
    EXPECT_EQ(LoadObjectList(m_drv, 1, m_stop, partial), 5);
    EXPECT_EQ(partial.messages, std::vector<std::string>{ResultText(4)});
    EXPECT_EQ(partial.loaded, (std::set<int>{0, 1, 2, 3, 4}));
    EXPECT_EQ(partial.sync, (SyncValues{0x80, 2, 3}));
}

TEST_F(CanOpenLogicTest, StoreAndSyncExchangesTreatAbortsAsFailures) {
    EXPECT_TRUE(StoreParameters(m_drv, 1, kStoreComm).Ok());
    EXPECT_EQ(Sim().SaveCount(), 1);
    EXPECT_EQ(Sim().SdoLog().back(), Down(0x23, 0x1010, 2, 0x65766173));

    // ReadSync: values before the failure are new, the rest keep the old.
    SyncValues sync{1, 2, 3};
    Sim().AddSdoFault({0x1006, 0, K::Abort, 0x06020000, 1});
    SdoResult o = ReadSync(m_drv, 1, sync);
    EXPECT_FALSE(o.Ok());
    EXPECT_EQ(SdoFailureText(o),
              "访问对象(索引号:0x1006,子索引:0)传送终止：对象字典中对象不存在 (0x06020000)");
    EXPECT_EQ(sync, (SyncValues{0x80, 2, 3}));
    Sim().AddSdoFault({0x1007, 0, K::Exception, 4, 1});
    EXPECT_EQ(SdoFailureText(ReadSync(m_drv, 1, sync)), ResultText(4));

    // Configure: written holds only what the driver confirmed.
    SyncValues written{0x80, 0, 0};
    Sim().AddSdoFault({0x1006, 0, K::Abort, 0, 1});
    o = ConfigureSync(m_drv, 1, {0x40000080, 1001, 500}, written);
    EXPECT_FALSE(o.Ok());
    EXPECT_EQ(written, (SyncValues{0x40000080, 0, 0}));
    EXPECT_EQ(Object(0x1006, 0), 0u);
    ASSERT_TRUE(ConfigureSync(m_drv, 1, {0x80, 1001, 500}, written).Ok());
    EXPECT_EQ(written, (SyncValues{0x80, 1001, 500}));
    EXPECT_EQ(Object(0x1006, 0), 1001u);
}

TEST(CanOpenText, CheckedValuesMillisecondsAndTexts) {
    // A mapping entry packs index, sub-index and bits.
    EXPECT_EQ(PackMapEntry(0x6041, 0x12, 0x10), 0x60411210u);
    EXPECT_EQ(MapEntryText(0x60640120), "0x6064 sub 1, 32 bits");
    // Numbers that would reach the driver cut short are refused.
    struct Check {
        int id;
        const char* text;
        std::string why;
    };
    const Check checks[] = {
        {PdoEntryBits(2), "255", ""},
        {PdoEntryBits(2), "256", "映射对象3的位数超出范围(0~255)"},
        {PdoEntrySub(2), "-1", "映射对象3的子索引超出范围(0~255)"},
        {PdoEntryIndex(2), "0x10000", "映射对象3的索引超出范围(0~0xFFFF)"},
        {kPdoInhibit, "65536", "禁止时间超出范围(0~65535)"},
        {kPdoCobId, "zz", "COB-ID: zz 不是十六进制数"},
        {kPdoTransType, "1x", "传输类型: 1x 不是数字 (0~255)"},
        {PdoEntrySub(2), "", "映射对象3的子索引:  不是数字"},
    };
    for (const Check& c : checks) {
        CtrlValues v = PdoValuesFromRecord(4, {});
        v[PdoEntryCheck(2)] = "1";
        v[PdoEntryIndex(2)] = "6040";
        v[PdoEntrySub(2)] = "0";
        v[PdoEntryBits(2)] = "16";
        v[PdoEntryBits(5)] = "999"; // not ticked: never written, never checked
        v[c.id] = c.text;
        const SInputProblem p = CheckPdoValues(4, v);
        EXPECT_EQ(p.message, c.why) << c.id << " " << c.text;
        EXPECT_EQ(p.ctrl, c.why.empty() ? 0 : c.id);
    }

    struct Ms {
        const char* text;
        bool ok, range;
        uint32_t us;
    };
    const Ms ms[] = {{"1.5", true, false, 1500},
                     {"0.0015", true, false, 1},
                     {"4294967.295", true, false, 0xFFFFFFFF},
                     {"4294967.296", false, true, 0},
                     {"-1", false, true, 0},
                     {"", false, false, 0}};
    for (const Ms& m : ms) {
        uint32_t us = 0;
        bool range = false;
        EXPECT_EQ(ParseMilliseconds(m.text, us, range), m.ok) << m.text;
        EXPECT_EQ(range, m.range) << m.text;
        if (m.ok) {
            EXPECT_EQ(us, m.us) << m.text;
        }
    }
    // The COB-ID as typed, the periods exactly; an edit that is no number is
    // refused and nothing changes.
    SyncValues sync{0x80, 7, 8};
    EXPECT_FALSE(
        SyncFromTexts({{kSyncCobId, "0x40000081"}, {kSyncPeriod, "1"}, {kSyncWindow, "2"}}, sync)
            .Has());
    EXPECT_EQ(sync, (SyncValues{0x40000081, 1000, 2000}));
    const SInputProblem x =
        SyncFromTexts({{kSyncCobId, "80"}, {kSyncPeriod, "x"}, {kSyncWindow, "2"}}, sync);
    EXPECT_EQ(x.ctrl, kSyncPeriod);
    EXPECT_EQ(x.message, "通讯间隔时间: x 不是数字 (0~4294967.295ms)");
    EXPECT_EQ(SyncFromTexts({{kSyncCobId, "8O"}, {kSyncPeriod, "1"}}, sync).message,
              "COB-ID: 8O 不是十六进制数");
    EXPECT_EQ(SyncFromTexts({{kSyncCobId, "80"}, {kSyncPeriod, "-3"}}, sync).message,
              "通讯间隔时间超出范围(0~4294967.295ms)");
    EXPECT_EQ(sync, (SyncValues{0x40000081, 1000, 2000}));
    EXPECT_EQ(SyncTexts({0x80, 10000, 1}),
              (CtrlValues{{kSyncCobId, "0x80"}, {kSyncPeriod, "10.000"}, {kSyncWindow, "0.001"}}));
}

} // namespace

#pragma once
// The status values the live plot and the CSV log follow, the bounded sample
// history behind the plot, and the CSV recorder. No Qt here: the plot window
// is a thin view over these.
//
// Threads: all of it runs on the GUI thread, fed by the main window's status
// poll (no transactions of its own).

#include "driver/Blocks.h"
#include "modbus/ResultCode.h"

#include <array>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

enum EPlotSeries : int {
    kSeriesOutputPwm,
    kSeriesPhaseCurrent,
    kSeriesSupplyVoltage,
    kSeriesSupplyCurrent,
    kSeriesCommFrequency,
    kSeriesMotorSpeed,
    kSeriesPosition,
    kSeriesTemperature,
    kSeriesIn1,
    kSeriesIn2,
    kSeriesIn3,
    kSeriesDifferential,
    kPlotSeriesCount
};

// The status field a series shows, with the catalogue's label (as the status
// group names it) and unit.
struct PlotSeriesDef {
    const char* field;
    const char* label;
    const char* unit;
};
const PlotSeriesDef& PlotSeries(int series);

// One poll: its time, its outcome and, when it succeeded, the values in
// engineering units (NaN where the driver reports none, as an unknown speed).
struct StatusSample {
    int64_t wallMs = 0; // milliseconds since the Unix epoch
    double t = 0;       // seconds since the history started
    ResultCode rc = kResultOk;
    std::array<float, kPlotSeriesCount> v{};
};

// Engineering values of a status block; the speed-unit flags of the block
// itself decide the commutation frequency's and the speed's scale.
std::array<float, kPlotSeriesCount> PlotValues(const RealtimeStatusBlock& b);

// The newest samples, oldest first, in a fixed amount of memory.
class CSampleHistory {
public:
    // Two hours at 10 samples a second.
    static constexpr size_t kDefaultCapacity = 72000;
    explicit CSampleHistory(size_t capacity = kDefaultCapacity);

    // Appends; the oldest sample goes once the history is full. t is set from
    // wallMs relative to the first sample after a Clear.
    const StatusSample& Add(StatusSample s);
    void Clear();
    size_t Size() const { return m_nSize; }
    size_t Capacity() const { return m_buf.size(); }
    // i = 0 is the oldest.
    const StatusSample& At(size_t i) const;
    // Index of the sample nearest to t (Size() when empty).
    size_t Nearest(double t) const;
    // Samples dropped for room since the last Clear.
    uint64_t Dropped() const { return m_nDropped; }

private:
    std::vector<StatusSample> m_buf;
    size_t m_nFirst = 0, m_nSize = 0;
    uint64_t m_nDropped = 0;
    int64_t m_nStartMs = -1;
};

// Local time with milliseconds and offset: "2026-12-07T03:04:05.678+01:00".
std::string IsoTime(int64_t wallMs);

// Records samples to a CSV file: UTF-8 with a byte-order mark (so spreadsheet
// programs take the Chinese header as such), a header of names and units,
// then one row per sample. Every row is flushed at once, so a killed program
// loses nothing that was shown.
class CCsvRecorder {
public:
    CCsvRecorder() = default;
    ~CCsvRecorder();
    CCsvRecorder(const CCsvRecorder&) = delete;
    CCsvRecorder& operator=(const CCsvRecorder&) = delete;

    // Creates or empties the file (never through a symbolic link); on failure
    // returns false and error says why.
    bool Start(const std::string& path, std::string& error);
    void Stop();
    bool Recording() const { return m_pFile != nullptr; }
    const std::string& Path() const { return m_strPath; }
    // Writes one row (a failed poll as its result text with empty values);
    // false once writing failed (the recording is then stopped).
    bool Write(const StatusSample& s);
    uint64_t Rows() const { return m_nRows; }

private:
    FILE* m_pFile = nullptr;
    std::string m_strPath;
    int64_t m_nStartMs = -1;
    uint64_t m_nRows = 0;
};

// The header line and the row text, without line ends.
std::string CsvHeader();
std::string CsvRow(const StatusSample& s, int64_t startMs);

#pragma once
// A bounded record of every exchange on the line since the port was opened:
// the traffic log window shows it, filters it by result and exports it.
// No Qt here.
//
// Threads: Add runs on the thread of each transaction (the master reports
// there); everything else on any thread. One mutex guards the record.

#include "driver/Format.h" // HexBytes
#include "driver/FrameDecode.h"
#include "modbus/LinkObserver.h"
#include "modbus/ResultCode.h"

#include <cstdint>
#include <deque>
#include <map>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

struct TrafficEntry {
    uint64_t seq = 0;   // 1, 2, ... since the log was made
    int64_t wallMs = 0; // when the exchange ended, ms since the Unix epoch
    std::vector<uint8_t> request, reply;
    ResultCode rc = kResultOk;
    double rttMs = 0; // request written to reply judged (or given up)
};

// What the filter of the window offers.
enum class ETrafficFilter { All, Ok, Failed, Timeout, BadReply, Exception };
bool TrafficFilterMatches(ETrafficFilter f, ResultCode rc);

// Watches the master (AddObserver) and keeps what it reports.
class CTrafficLog : public ILinkObserver {
public:
    static constexpr size_t kDefaultCapacity = 50000;
    explicit CTrafficLog(size_t capacity = kDefaultCapacity) : m_nCapacity(capacity) {}

    // Copies the record; the clock is read here, as the exchange has just ended.
    void OnTransaction(const STransactionRecord& record) override;

    void Add(TrafficEntry e); // sets e.seq
    void Clear();
    // Entries with seq > after, oldest first.
    std::vector<TrafficEntry> Since(uint64_t after) const;
    // The sequence number of the oldest entry kept (0 when empty): a reader
    // that holds older ones knows they were dropped for room.
    uint64_t FirstSeq() const;
    size_t Size() const;

private:
    mutable std::mutex m_lock;
    std::deque<TrafficEntry> m_entries;
    size_t m_nCapacity;
    uint64_t m_nNextSeq = 1;
};

// "HH:MM:SS.mmm" local time.
std::string TrafficTime(int64_t wallMs);

// What the entries mean, in the driver's words, decoded in order: a slave's
// speeds are read in the unit its last status read showed.
class CTrafficDecoder {
public:
    STransaction Decode(const TrafficEntry& e);

private:
    std::map<int, bool> m_speedUnitHz;
};

// Whether the needle (case-insensitive for Latin letters) is in what the
// exchange means: its text, or a field's name.
bool TrafficTextMatches(const STransaction& tx, std::string_view needle);
// Every field of the exchange on a line of its own, for the detail pane.
std::string TrafficDetail(const STransaction& tx);

// Export: a text file with aligned columns, or CSV (UTF-8 with a byte-order
// mark) when csv is set, written whole or not at all (WriteFileAtomically),
// each exchange with what it means. Returns false with error set when the
// file cannot be written.
bool ExportTraffic(const std::vector<TrafficEntry>& entries, const std::string& path, bool csv,
                   std::string& error);

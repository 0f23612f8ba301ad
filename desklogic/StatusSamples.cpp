#include "desklogic/StatusSamples.h"

#include "driver/Catalogue.h"
#include "driver/FileIo.h"
#include "modbus/ResultCode.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <limits>
#include <unistd.h>

namespace {

// The status field each series shows, in series order; its label and unit
// are the catalogue's.
constexpr const char* kSeriesFields[kPlotSeriesCount] = {
    "status.output_pwm",    "status.phase_current",         "status.input_voltage",
    "status.input_current", "status.commutation_frequency", "status.motor_speed",
    "status.position",      "status.temperature",           "status.in1_voltage",
    "status.in2_voltage",   "status.in3_voltage",           "status.differential_voltage",
};

const BlockDef& StatusBlock() {
    static const BlockDef* status = BlockOf(RealtimeStatusBlock::kStart);
    return *status;
}

// A CSV field: quoted when it holds a separator, a quote or a line end.
std::string CsvField(const std::string& s) {
    if (s.find_first_of(",\"\r\n") == std::string::npos)
        return s;
    std::string out = "\"";
    for (char c : s) {
        if (c == '"')
            out += '"';
        out += c;
    }
    return out + '"';
}

} // namespace

const PlotSeriesDef& PlotSeries(int series) {
    static const auto defs = [] {
        std::array<PlotSeriesDef, kPlotSeriesCount> d{};
        for (size_t i = 0; i < d.size(); ++i) {
            const FieldDef& f = CatalogueField(kSeriesFields[i]);
            d[i] = {f.name, f.label, f.unit};
        }
        return d;
    }();
    return defs[static_cast<size_t>(series)];
}

CSampleHistory::CSampleHistory(size_t capacity) : m_buf(capacity ? capacity : 1) {}

const StatusSample& CSampleHistory::Add(StatusSample s) {
    if (m_nStartMs < 0)
        m_nStartMs = s.wallMs;
    s.t = static_cast<double>(s.wallMs - m_nStartMs) / 1000.0;
    size_t slot;
    if (m_nSize < m_buf.size()) {
        slot = (m_nFirst + m_nSize) % m_buf.size();
        ++m_nSize;
    } else {
        slot = m_nFirst;
        m_nFirst = (m_nFirst + 1) % m_buf.size();
        ++m_nDropped;
    }
    m_buf[slot] = s;
    return m_buf[slot];
}

void CSampleHistory::Clear() {
    m_nFirst = m_nSize = 0;
    m_nDropped = 0;
    m_nStartMs = -1;
}

const StatusSample& CSampleHistory::At(size_t i) const {
    return m_buf[(m_nFirst + i) % m_buf.size()];
}

size_t CSampleHistory::Nearest(double t) const {
    if (m_nSize == 0)
        return 0;
    // Times only grow, so a binary search finds the first sample at or after t.
    size_t lo = 0, hi = m_nSize;
    while (lo < hi) {
        const size_t mid = (lo + hi) / 2;
        if (At(mid).t < t)
            lo = mid + 1;
        else
            hi = mid;
    }
    if (lo == m_nSize)
        return m_nSize - 1;
    if (lo > 0 && t - At(lo - 1).t <= At(lo).t - t)
        return lo - 1;
    return lo;
}

std::string IsoTime(int64_t wallMs) {
    const time_t secs = static_cast<time_t>(wallMs / 1000);
    struct tm local {};
    localtime_r(&secs, &local);
    char date[32], zone[8];
    strftime(date, sizeof date, "%Y-%m-%dT%H:%M:%S", &local);
    strftime(zone, sizeof zone, "%z", &local); // "+0100"
    std::string z = zone;
    if (z.size() == 5)
        z.insert(3, ":");
    char ms[8];
    std::snprintf(ms, sizeof ms, ".%03d", static_cast<int>(wallMs % 1000));
    return date + std::string(ms) + z;
}

std::string CsvHeader() {
    std::string h = "time,t_s,result";
    for (int i = 0; i < kPlotSeriesCount; ++i)
        h += "," + CsvField(std::string(PlotSeries(i).label) + " (" + PlotSeries(i).unit + ")");
    return h;
}

std::string CsvRow(const StatusSample& s, int64_t startMs) {
    char t[32];
    std::snprintf(t, sizeof t, "%.3f", static_cast<double>(s.wallMs - startMs) / 1000.0);
    std::string row = IsoTime(s.wallMs) + "," + t + ",";
    if (s.rc != kResultOk) {
        row += CsvField(ResultText(s.rc));
        row.append(kPlotSeriesCount, ',');
        return row;
    }
    row += "ok";
    for (float v : s.v) {
        row += ',';
        if (std::isfinite(v)) {
            char num[32];
            std::snprintf(num, sizeof num, "%.7g", static_cast<double>(v));
            row += num;
        }
    }
    return row;
}

CCsvRecorder::~CCsvRecorder() {
    Stop();
}

bool CCsvRecorder::Start(const std::string& path, std::string& error) {
    Stop();
    // The file is replaced as rows come, so it cannot be written atomically;
    // a link put in its place still does not lead the rows elsewhere.
    int fd = -1;
    if (const int err = OpenFileForWriting(path, fd)) {
        error = FileErrorText(err);
        return false;
    }
    FILE* f = fdopen(fd, "w");
    if (!f) {
        error = FileErrorText(errno);
        close(fd);
        return false;
    }
    const std::string head = "\xEF\xBB\xBF" + CsvHeader() + "\r\n";
    if (std::fputs(head.c_str(), f) < 0 || std::fflush(f) != 0) {
        error = FileErrorText(errno);
        std::fclose(f);
        return false;
    }
    m_pFile = f;
    m_strPath = path;
    m_nStartMs = -1;
    m_nRows = 0;
    return true;
}

void CCsvRecorder::Stop() {
    if (m_pFile)
        std::fclose(m_pFile);
    m_pFile = nullptr;
}

bool CCsvRecorder::Write(const StatusSample& s) {
    if (!m_pFile)
        return false;
    if (m_nStartMs < 0)
        m_nStartMs = s.wallMs;
    const std::string row = CsvRow(s, m_nStartMs) + "\r\n";
    if (std::fputs(row.c_str(), m_pFile) < 0 || std::fflush(m_pFile) != 0) {
        Stop();
        return false;
    }
    ++m_nRows;
    return true;
}

// The catalogue decodes the status block (its unit flags included); the plot
// takes the numbers it gives.
std::array<float, kPlotSeriesCount> PlotValues(const RealtimeStatusBlock& b) {
    std::array<float, kPlotSeriesCount> v;
    v.fill(std::numeric_limits<float>::quiet_NaN());
    const std::vector<uint16_t> regs(b.m_reg.begin(), b.m_reg.end());
    DecodeContext ctx;
    ctx.speedUnitHz = b.At(kRegSpeedUnitHz) != 0;
    for (const DecodedField& f : DecodeBlock(StatusBlock(), regs, ctx)) {
        if (!f.value.IsNumber())
            continue;
        for (int i = 0; i < kPlotSeriesCount; ++i)
            if (f.name == PlotSeries(i).field)
                v[static_cast<size_t>(i)] = std::strtof(f.value.text.c_str(), nullptr);
    }
    return v;
}

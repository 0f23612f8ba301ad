#include "driver/BusScan.h"

#include "driver/Format.h"

#include <algorithm>

namespace {

// Restores the port's line settings and reply time-out when the scan ends,
// however it ends.
class CLineRestore {
public:
    explicit CLineRestore(CMotorDriver& drv)
        : m_drv(drv), m_strSettings(drv.LineSettingsText()), m_nTimeout(drv.GetTimeout()) {}
    ~CLineRestore() {
        m_drv.SetTimeout(m_nTimeout);
        m_drv.SetFirstByteBudget(std::chrono::microseconds(0));
        if (!m_strSettings.empty() && m_drv.LineSettingsText() != m_strSettings)
            m_drv.SetLineSettings(m_strSettings);
    }
    CLineRestore(const CLineRestore&) = delete;
    CLineRestore& operator=(const CLineRestore&) = delete;
    uint32_t Timeout() const { return m_nTimeout; }

private:
    CMotorDriver& m_drv;
    std::string m_strSettings;
    uint32_t m_nTimeout;
};

// An answer that proves a device at this address: a reply, or an exception
// it sent (codes 1..127 keep their wire values).
bool Answered(ResultCode rc) {
    return rc >= kResultOk && rc < kResultPortClosed;
}

} // namespace

std::vector<SLineSetting> AllLineSettings() {
    std::vector<SLineSetting> all;
    for (int baud : kPanelBauds)
        for (int parity = 0; parity < kParityChoices; ++parity)
            all.push_back({baud, parity});
    return all;
}

uint32_t ScanReplyTimeoutMs(int baud) {
    constexpr uint32_t kBits = (8 + 7) * 11;
    constexpr uint32_t kMarginMs = 50;
    const uint32_t b = static_cast<uint32_t>(std::max(baud, 300));
    return (kBits * 1000 + b - 1) / b + kMarginMs;
}

SScanOutcome ScanBus(CMotorDriver& drv, const SScanPlan& plan, const std::atomic<bool>& stop,
                     const std::function<void(const SScanStep&)>& onStep,
                     const std::function<void(const SScanHit&)>& onHit) {
    SScanOutcome out;
    if (!drv.IsOpen()) {
        out.rc = kResultPortClosed;
        return out;
    }
    const int first = std::clamp(plan.firstSlave, 1, 255);
    const int last = std::clamp(plan.lastSlave, first, 255);
    CLineRestore restore(drv);

    std::vector<SLineSetting> lines = plan.lines;
    const bool keepLine = lines.empty();
    if (keepLine) {
        // Only the timing depends on the setting here: take the baud rate
        // from the port's own settings text ("9600,n,8,2").
        SLineSetting present;
        present.baud = std::max(1, ParseLeadingInt(drv.LineSettingsText()));
        lines.push_back(present);
    }

    SScanStep step;
    step.total = lines.size() * static_cast<size_t>(last - first + 1);
    for (const SLineSetting& line : lines) {
        if (stop) {
            out.stopped = true;
            break;
        }
        out.line = line;
        if (!keepLine &&
            !drv.SetLineSettings(CMotorDriver::SettingsString(line.baud, line.parityChoice))) {
            out.rc = kResultPortClosed;
            out.refusedLine = drv.IsOpen();
            break;
        }
        const uint32_t probeMs =
            plan.replyTimeoutMs ? plan.replyTimeoutMs : ScanReplyTimeoutMs(line.baud);
        step.line = line;
        for (int slave = first; slave <= last; ++slave) {
            if (stop) {
                out.stopped = true;
                break;
            }
            step.slave = static_cast<uint8_t>(slave);
            if (onStep)
                onStep(step);
            drv.SetTimeout(probeMs);
            drv.SetFirstByteBudget(std::chrono::milliseconds(plan.turnaroundMs));
            uint16_t id = 0;
            ResultCode rc = drv.ReadBlock(step.slave, 0x0000, 1, &id);
            drv.SetFirstByteBudget(std::chrono::microseconds(0));
            ++step.done;
            if (rc == kResultPortClosed) {
                out.rc = rc;
                break;
            }
            if (!Answered(rc))
                continue;
            SScanHit hit;
            hit.slave = step.slave;
            hit.line = line;
            hit.infoRc = rc;
            if (rc == kResultOk) {
                // The driver is there: its whole information block may take
                // longer than the probe's time-out.
                drv.SetTimeout(std::max(restore.Timeout(), probeMs));
                DeviceInfoBlock info{};
                hit.infoRc = drv.ReadDeviceInfoBlock(step.slave, info);
                if (hit.infoRc == kResultOk) {
                    hit.identifier = info.At(0x0000);
                    hit.model = DeviceModelText(info);
                }
            }
            out.hits.push_back(hit);
            if (onHit)
                onHit(hit);
        }
        if (out.rc != kResultOk || out.stopped)
            break;
    }
    if (onStep && !out.stopped && out.rc == kResultOk) {
        step.done = step.total;
        onStep(step);
    }
    return out;
}

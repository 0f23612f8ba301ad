#include "driver/StepResponse.h"

#include "lang/Tr.h"

#include <algorithm>
#include <cmath>

namespace {

// The first time the normalised response reaches level, interpolated
// between the samples around it; -1 when it never does.
double Crossing(const std::vector<SStepSample>& s, const std::vector<double>& n, double level) {
    for (size_t i = 0; i < n.size(); ++i) {
        if (n[i] < level)
            continue;
        if (i == 0 || n[i] == n[i - 1])
            return s[i].t;
        const double f = (level - n[i - 1]) / (n[i] - n[i - 1]);
        return s[i - 1].t + f * (s[i].t - s[i - 1].t);
    }
    return -1;
}

// After the last sample outside the band around the final value: the time
// halfway to the next sample (the response entered the band in between).
double Settling(const std::vector<SStepSample>& s, const std::vector<double>& n, double final,
                double band) {
    for (size_t i = n.size(); i-- > 0;)
        if (std::fabs(n[i] - final) > band)
            return i + 1 < n.size() ? (s[i].t + s[i + 1].t) / 2 : -1;
    return s.front().t;
}

} // namespace

SStepFigures StepFigures(const std::vector<SStepSample>& s, double start, double target) {
    SStepFigures f;
    f.start = start;
    f.target = target;
    const double change = target - start;
    if (s.size() < 5) {
        f.problem = lang::translate("driver/StepResponse", "采样点太少");
        return f;
    }
    if (change == 0) {
        f.problem = lang::translate("driver/StepResponse", "目标与起点相同");
        return f;
    }
    const double span = s.back().t - s.front().t;
    f.sampleRate = span > 0 ? static_cast<double>(s.size() - 1) / span : 0;
    const size_t tail = std::max<size_t>(1, s.size() / 10);
    double sum = 0;
    for (size_t i = s.size() - tail; i < s.size(); ++i)
        sum += s[i].value;
    f.finalValue = sum / static_cast<double>(tail);
    f.steadyError = target - f.finalValue;
    for (const SStepSample& x : s)
        f.peakCurrent = std::max(f.peakCurrent, std::fabs(x.current));

    // The response as a fraction of the change asked for, rising whatever
    // the step's direction.
    std::vector<double> n(s.size());
    for (size_t i = 0; i < s.size(); ++i)
        n[i] = (s[i].value - start) / change;
    const double final = (f.finalValue - start) / change;
    if (final <= 0) {
        f.problem = lang::translate("driver/StepResponse", "输出没有朝目标变化");
        return f;
    }
    const double t10 = Crossing(s, n, 0.1 * final), t90 = Crossing(s, n, 0.9 * final);
    f.riseTime = t10 >= 0 && t90 >= 0 ? t90 - t10 : -1;
    f.delayTime = Crossing(s, n, 0.5 * final);
    const size_t peak = static_cast<size_t>(std::max_element(n.begin(), n.end()) - n.begin());
    f.peakTime = s[peak].t;
    f.overshoot = n[peak] > final ? 100 * (n[peak] - final) / final : 0;
    f.settling2 = Settling(s, n, final, 0.02 * final);
    f.settling5 = Settling(s, n, final, 0.05 * final);
    f.valid = true;
    return f;
}

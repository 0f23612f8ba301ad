// halvik-bench-step: how fast the step-response run samples, against what
// the wire allows for its short read (the request and the reply of the
// status registers from the phase current to the position, 11 bits a byte,
// and the driver's 1 ms turnaround), at 9600, 38400 and 115200 Bd. The
// paced virtual driver runs in this process on a pseudo-terminal; each run
// is a speed step of the default gains, stopped at once at its end. The
// error-state reads (one a second) are part of the run, as in use.
//
// Usage: halvik-bench-step [--seconds S]
// Per baud rate "step_rate baud=... samples=... achieved=... wire=...
// ratio=..." and "step_gap_ms baud=... wire=... median=... p90=... max=...";
// last "step_rate_min_ratio=...".

#include "driver/Catalogue.h"
#include "driver/StepRun.h"
#include "sim/SimServer.h"
#include "sim/VirtualDriver.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

constexpr double kBitsPerByte = 11; // 8 data bits, no parity, 2 stop bits
constexpr double kTurnaroundS = 0.001;
// The short read: a request of 8 bytes, a reply of 5 + 2 per register.
constexpr int kRequestBytes = 8;

} // namespace

int main(int argc, char** argv) {
    int seconds = 3;
    if (argc == 3 && std::string(argv[1]) == "--seconds")
        seconds = std::max(1, std::atoi(argv[2]));
    else if (argc != 1) {
        std::fprintf(stderr, "usage: halvik-bench-step [--seconds S]\n");
        return 2;
    }
    CVirtualDriver sim(1);
    CSimServer server(sim);
    server.SetPacing(true);
    if (!server.Start(-1)) {
        std::fprintf(stderr, "halvik-bench-step: no pseudo-terminal\n");
        return 1;
    }
    const uint16_t first = FieldAddr("status.phase_current");
    const int registers =
        FieldAddr("status.position") + CatalogueField("status.position").regs - first;
    const int replyBytes = 5 + 2 * registers;
    double worst = 1e9;
    for (const int baud : {9600, 38400, 115200}) {
        sim.SetRegisters(FieldAddr("comm-a.rs485_baud"), {static_cast<uint16_t>(baud >> 16),
                                                          static_cast<uint16_t>(baud & 0xFFFF), 0});
        CMotorDriver drv;
        if (!drv.OpenPortPath(server.DevicePath(), std::to_string(baud) + ",n,8,2")) {
            std::fprintf(stderr, "halvik-bench-step: cannot open %s\n",
                         server.DevicePath().c_str());
            return 1;
        }
        SStepRequest req;
        req.target = 100;
        req.duration = std::chrono::seconds(seconds);
        req.stopMode = kStopEmergency;
        const SStepResult r = RunStepResponse(drv, 1, req, {});
        if (r.end != EStepEnd::Completed || r.samples.size() < 2) {
            std::fprintf(stderr, "halvik-bench-step: the run at %d Bd failed (%d)\n", baud,
                         static_cast<int>(r.rc));
            return 1;
        }
        std::vector<double> gaps;
        for (size_t i = 1; i < r.samples.size(); ++i)
            gaps.push_back(r.samples[i].t - r.samples[i - 1].t);
        std::sort(gaps.begin(), gaps.end());
        const double span = r.samples.back().t - r.samples.front().t;
        const double achieved = static_cast<double>(r.samples.size() - 1) / span;
        const double wire = 1 / ((kRequestBytes + replyBytes) * kBitsPerByte / baud + kTurnaroundS);
        worst = std::min(worst, achieved / wire);
        std::printf("step_rate baud=%d samples=%zu achieved=%.2f wire=%.2f ratio=%.3f\n", baud,
                    r.samples.size(), achieved, wire, achieved / wire);
        // The gaps between samples against the wire's: a busy machine shows
        // in the longest, the line in the median.
        std::printf("step_gap_ms baud=%d wire=%.3f median=%.3f p90=%.3f max=%.3f\n", baud,
                    1000 / wire, gaps[gaps.size() / 2] * 1000, gaps[gaps.size() * 9 / 10] * 1000,
                    gaps.back() * 1000);
    }
    server.Stop();
    std::printf("step_rate_min_ratio=%.3f\n", worst);
    return 0;
}

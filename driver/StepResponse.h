#pragma once
// The figures of a step response, from samples of the loop's output: how
// fast it rises, how far it overshoots, how soon it settles and where it
// ends. The definitions are the textbook ones (times from the step command;
// rise 10-90 % of the change; delay to 50 %; overshoot beyond the final
// value in % of the change; settling into a band of 2 % or 5 % of the change
// around the final value for good). Crossing times are interpolated between
// samples. Pure functions: the step-response window, the command line and
// the tests share them, and the virtual driver's own trajectory is judged
// by the same code as the sampled run.

#include <string>
#include <vector>

struct SStepSample {
    double t = 0;       // s since the step command
    double value = 0;   // the loop's output: commutation frequency (Hz) or position (pulses)
    double current = 0; // phase current (A)
};

struct SStepFigures {
    bool valid = false;  // false: too few samples, or no change asked for
    std::string problem; // why not valid
    double start = 0, target = 0;
    double finalValue = 0;  // mean over the last tenth of the run
    double riseTime = -1;   // s, 10-90 %; -1 when never reached
    double delayTime = -1;  // s, to 50 %
    double peakTime = -1;   // s, to the extreme in the step's direction
    double overshoot = 0;   // % of the change beyond the final value (0 when none)
    double settling2 = -1;  // s, into the 2 % band for good; -1 never
    double settling5 = -1;  // s, into the 5 % band
    double steadyError = 0; // target - final value, in the output's unit
    double peakCurrent = 0; // A, largest magnitude
    double sampleRate = 0;  // samples per second achieved
};

// samples in time order; start is the output before the step, target what
// the step asked for.
SStepFigures StepFigures(const std::vector<SStepSample>& samples, double start, double target);

// The device-identification text read over a scripted line: whatever the
// replies, the read ends, asks only for later objects, and changes the text
// only on success.

#include "driver/MotorDriver.h"
#include "fuzz/ScriptLine.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static CScriptLine line;
    static CMotorDriver* drv = [] {
        auto* d = new CMotorDriver;
        d->AttachLine(&line);
        d->SetDeviceIdPause(std::chrono::milliseconds(0));
        return d;
    }();
    FuzzedDataProvider in(data, size);
    const uint8_t slave = in.ConsumeIntegral<uint8_t>();
    line.Load(ScriptFromInput(in, 40));
    if (!drv->IsOpen() && !drv->OpenPortPath("script", kFastLine))
        std::abort();
    const std::string before = "unchanged";
    std::string text = before;
    const ResultCode rc = drv->ReadDeviceIdText(slave, text);
    if (line.IsGone())
        drv->ClosePort(); // the next input brings the line back
    if (rc != kResultOk && text != before)
        std::abort();
    // Each request names an object after the one before.
    int last = -1;
    for (const auto& req : line.Requests()) {
        if (req.size() != 7 || req[1] != 0x2B || req[4] <= last)
            std::abort();
        last = req[4];
    }
    line.Release();
    return 0;
}

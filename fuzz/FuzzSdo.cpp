// SDO answers from a scripted line: exchanges through the driver's window,
// one after another as the object list and the PDO editor make them, with
// the texts the tool shows for whatever comes back.

#include "driver/MotorDriver.h"
#include "fuzz/ScriptLine.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static CScriptLine line;
    static CMotorDriver* drv = [] {
        auto* d = new CMotorDriver;
        d->AttachLine(&line);
        return d;
    }();
    FuzzedDataProvider in(data, size);
    const int exchanges = in.ConsumeIntegralInRange<int>(1, 12);
    const uint16_t index = in.ConsumeIntegral<uint16_t>();
    const uint8_t sub = in.ConsumeIntegral<uint8_t>();
    line.Load(ScriptFromInput(in, 2 * static_cast<size_t>(exchanges) + 1));
    if (!drv->IsOpen() && !drv->OpenPortPath("script", kFastLine))
        std::abort();
    for (int i = 0; i < exchanges; ++i) {
        const uint8_t command = i % 2 ? kSdoUpload : SdoDownloadCommand(1 + i % 4);
        SdoReply reply;
        const ResultCode rc =
            drv->SdoAccess(1, command, index, static_cast<uint8_t>(sub + i), 0x12345678u, reply);
        ResultText(rc);
        if (rc != kResultOk)
            break;
        if ((reply.command & 0xFF) == kSdoAbort)
            SdoAbortText(reply.data);
    }
    if (line.IsGone())
        drv->ClosePort(); // the next input brings the line back
    // The window's answer is only taken from a whole, checked reply: every
    // exchange wrote the six window registers, then read them.
    for (const auto& req : line.Requests())
        if (req.size() < 8 || (req[1] != 0x10 && req[1] != 0x03))
            std::abort();
    line.Release();
    return 0;
}

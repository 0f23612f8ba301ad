// sdo upload / download / save: one expedited exchange through the SDO window.

#include "cli/CliSession.h"

#include "driver/CanOpen.h"
#include "driver/Format.h"

namespace {

// One SDO frame as its bytes and its parts.
struct SFrame {
    uint16_t command; // the SDO command byte in the low 8 bits
    uint16_t index;
    uint8_t sub;
    uint32_t data;

    std::string Bytes() const {
        return StrFormat("%02X %02X %02X %02X %02X %02X %02X %02X", command & 0xFF, index & 0xFF,
                         index >> 8, sub, data & 0xFF, (data >> 8) & 0xFF, (data >> 16) & 0xFF,
                         data >> 24);
    }
    Json ToJson() const {
        return {{"command", StrFormat("0x%02X", command)},
                {"index", index},
                {"sub", sub},
                {"data", data},
                {"bytes", Bytes()}};
    }
};

} // namespace

int CCli::CmdSdo() {
    SFrame req{kSdoUpload, static_cast<uint16_t>(m_cl.index), static_cast<uint8_t>(m_cl.sub), 0};
    if (m_cl.command == "sdo download") {
        const std::string& vt = m_cl.value;
        const bool hex = vt.size() > 2 && vt[0] == '0' && (vt[1] == 'x' || vt[1] == 'X');
        const int64_t span = int64_t(1) << (8 * m_cl.size);
        int64_t v = 0;
        const std::string problem = IntegerProblem(vt, hex ? 0 : -span / 2, span - 1, v);
        if (!problem.empty())
            return Usage(StrFormat("VALUE (%lld bytes): ", static_cast<long long>(m_cl.size)) +
                         problem);
        req.data =
            static_cast<uint32_t>(static_cast<uint64_t>(v) & static_cast<uint64_t>(span - 1));
        req.command = SdoDownloadCommand(static_cast<int>(m_cl.size));
    } else if (m_cl.command == "sdo save") {
        req = {kSdoDownload4, kObjStore,
               static_cast<uint8_t>(m_cl.sub < 0 ? int64_t{kStoreComm} : m_cl.sub),
               kStoreSignature};
    }
    if (int e = OpenLine())
        return e;
    SdoReply reply;
    if (ResultCode rc = m_drv.SdoAccess(m_nSlave, static_cast<uint8_t>(req.command), req.index,
                                        req.sub, req.data, reply))
        return DeviceError(StrFormat("SDO access to 0x%04X sub-index %u", req.index, req.sub), rc);
    const SFrame ans{reply.command, reply.index, static_cast<uint8_t>(reply.subindex & 0xFF),
                     reply.data};
    const bool isAbort = ans.command == kSdoAbort;
    const int upSize = SdoUploadSize(ans.command);
    const bool expected = req.command == kSdoUpload ? upSize > 0 : ans.command == kSdoDownloadAck;
    const bool sameObject = ans.index == req.index && ans.sub == req.sub;
    const std::string abortText = isAbort ? SdoAbortText(ans.data) : "";
    Json j = {{"request", req.ToJson()}, {"answer", ans.ToJson()}};
    std::vector<std::vector<std::string>> rows = {
        {"request", req.Bytes()},
        {"answer", ans.Bytes()},
        {"answer command", StrFormat("0x%02X", ans.command)},
        {"object", StrFormat("0x%04X sub-index %u", ans.index, ans.sub)},
    };
    if (isAbort) {
        j["abort"] = {{"code", StrFormat("0x%08X", ans.data)}, {"text", abortText}};
        rows.push_back({"aborted", abortText});
    } else if (upSize > 0 && req.command == kSdoUpload) {
        const uint32_t v = upSize == 4 ? ans.data : ans.data & ((1u << (8 * upSize)) - 1);
        const int64_t sv = upSize == 4   ? static_cast<int32_t>(v)
                           : upSize == 3 ? static_cast<int64_t>(v)
                           : upSize == 2 ? static_cast<int16_t>(v)
                                         : static_cast<int8_t>(v);
        j["size"] = upSize;
        j["value"] = v;
        j["signed"] = sv;
        rows.push_back({"size", StrFormat("%d byte%s", upSize, upSize == 1 ? "" : "s")});
        rows.push_back({"data", StrFormat("0x%0*X (%u, signed %lld)", upSize * 2, v, v,
                                          static_cast<long long>(sv))});
    } else if (ans.command == kSdoDownloadAck) {
        rows.push_back({"result", "written"});
    }
    j["ok"] = expected && sameObject;
    if (m_cl.json)
        EmitJson(j);
    else
        PrintTable(Out(), rows, "");
    if (isAbort)
        return DeviceError(SdoAbortMessage(reply));
    if (!expected)
        return DeviceError(StrFormat("unexpected SDO answer command 0x%02X", ans.command));
    if (!sameObject)
        return DeviceError(StrFormat("the answer names object 0x%04X sub-index %u, not the one "
                                     "asked for",
                                     ans.index, ans.sub));
    return kExitOk;
}

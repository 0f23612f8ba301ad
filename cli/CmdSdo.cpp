// sdo upload / download / save: one expedited exchange through the SDO window.

#include "cli/CliSession.h"

#include "driver/CanOpen.h"
#include "driver/Format.h"

namespace {

std::string SdoBytes(uint16_t command, uint16_t index, uint8_t sub, uint32_t data) {
    return StrFormat("%02X %02X %02X %02X %02X %02X %02X %02X", command & 0xFF, index & 0xFF,
                     index >> 8, sub, data & 0xFF, (data >> 8) & 0xFF, (data >> 16) & 0xFF,
                     data >> 24);
}

} // namespace

int CCli::CmdSdo() {
    const char* usage = "sdo upload INDEX SUB | sdo download INDEX SUB VALUE --size 1|2|3|4 | "
                        "sdo save [SUB]";
    if (m_cl.args.empty())
        return Usage(std::string("usage: halvik-cli ") + usage);
    const std::string& op = m_cl.args[0];
    std::string err;
    int64_t index = 0, sub = 0, size = 0;
    uint32_t data = 0;
    uint8_t command = 0;
    if (op == "upload" || op == "download") {
        bool down = op == "download";
        if (m_cl.args.size() != (down ? 4u : 3u))
            return Usage(std::string("usage: halvik-cli ") + usage);
        if (!ParseIntegerIn(m_cl.args[1], 0, 0xFFFF, "INDEX", index, err) ||
            !ParseIntegerIn(m_cl.args[2], 0, 0xFF, "SUB", sub, err))
            return Usage(err);
        if (down) {
            const std::string* s = m_cl.Value("--size");
            if (!s)
                return Usage("sdo download needs --size 1|2|3|4");
            if (!ParseIntegerIn(*s, 1, 4, "--size", size, err))
                return Usage(err);
            const std::string& vt = m_cl.args[3];
            const bool hex = vt.size() > 2 && vt[0] == '0' && (vt[1] == 'x' || vt[1] == 'X');
            const int64_t span = int64_t(1) << (8 * size);
            int64_t v;
            if (!ParseIntegerIn(
                    vt, hex ? 0 : -span / 2, span - 1,
                    StrFormat("VALUE (%lld bytes)", static_cast<long long>(size)).c_str(), v, err))
                return Usage(err);
            data =
                static_cast<uint32_t>(static_cast<uint64_t>(v) & static_cast<uint64_t>(span - 1));
            command = SdoDownloadCommand(static_cast<int>(size));
        } else {
            if (m_cl.Value("--size"))
                return Usage("--size is for 'sdo download'");
            command = kSdoUpload;
        }
    } else if (op == "save") {
        if (m_cl.args.size() > 2)
            return Usage(std::string("usage: halvik-cli ") + usage);
        sub = kStoreComm;
        if (m_cl.args.size() == 2 && !ParseIntegerIn(m_cl.args[1], 1, 0xFF, "SUB", sub, err))
            return Usage(err);
        index = kObjStore;
        data = kStoreSignature;
        size = 4;
        command = kSdoDownload4;
    } else {
        return Usage("sdo: expected 'upload', 'download' or 'save', not '" + op + "'");
    }
    if (int e = OpenLine())
        return e;
    SdoReply reply;
    ResultCode rc = m_drv.SdoAccess(m_nSlave, command, static_cast<uint16_t>(index),
                                    static_cast<uint8_t>(sub), data, reply);
    if (rc != kResultOk)
        return DeviceError(StrFormat("SDO access to 0x%04X sub-index %lld",
                                     static_cast<unsigned>(index), static_cast<long long>(sub)),
                           rc);
    const uint8_t ansSub = static_cast<uint8_t>(reply.subindex & 0xFF);
    const bool isAbort = reply.command == kSdoAbort;
    const int upSize = SdoUploadSize(reply.command);
    const bool expected = command == kSdoUpload ? upSize > 0 : reply.command == kSdoDownloadAck;
    const bool sameObject = reply.index == index && ansSub == sub;
    std::string abortText = isAbort ? SdoAbortText(reply.data) : "";
    Json j = Json::object();
    Json req = Json::object();
    req["command"] = Json(StrFormat("0x%02X", command));
    req["index"] = Json(index);
    req["sub"] = Json(sub);
    req["data"] = Json(data);
    req["bytes"] =
        (Json(SdoBytes(command, static_cast<uint16_t>(index), static_cast<uint8_t>(sub), data)));
    j["request"] = req;
    Json ans = Json::object();
    ans["command"] = Json(StrFormat("0x%02X", reply.command));
    ans["index"] = Json(reply.index);
    ans["sub"] = Json(ansSub);
    ans["data"] = Json(reply.data);
    ans["bytes"] = Json(SdoBytes(reply.command, reply.index, ansSub, reply.data));
    j["answer"] = ans;
    std::vector<std::vector<std::string>> rows = {
        {"request",
         SdoBytes(command, static_cast<uint16_t>(index), static_cast<uint8_t>(sub), data)},
        {"answer", SdoBytes(reply.command, reply.index, ansSub, reply.data)},
        {"answer command", StrFormat("0x%02X", reply.command)},
        {"object", StrFormat("0x%04X sub-index %u", reply.index, ansSub)},
    };
    if (isAbort) {
        Json a = Json::object();
        a["code"] = Json(StrFormat("0x%08X", reply.data));
        a["text"] = Json(abortText);
        j["abort"] = a;
        rows.push_back({"aborted", abortText});
    } else if (upSize > 0 && command == kSdoUpload) {
        uint32_t v = upSize == 4 ? reply.data : reply.data & ((1u << (8 * upSize)) - 1);
        int64_t sv = upSize == 4   ? static_cast<int32_t>(v)
                     : upSize == 3 ? static_cast<int64_t>(v)
                     : upSize == 2 ? static_cast<int16_t>(v)
                                   : static_cast<int8_t>(v);
        j["size"] = Json(upSize);
        j["value"] = Json(v);
        j["signed"] = Json(sv);
        rows.push_back({"size", StrFormat("%d byte%s", upSize, upSize == 1 ? "" : "s")});
        rows.push_back({"data", StrFormat("0x%0*X (%u, signed %lld)", upSize * 2, v, v,
                                          static_cast<long long>(sv))});
    } else if (reply.command == kSdoDownloadAck) {
        rows.push_back({"result", "written"});
    }
    j["ok"] = Json(expected && sameObject);
    if (m_cl.line.json)
        EmitJson(j);
    else
        PrintTable(Out(), rows, "");
    if (isAbort)
        return DeviceError(StrFormat("访问对象(索引号:0x%04X,子索引:%d)传送终止：%s", reply.index,
                                     ansSub, abortText.c_str()));
    if (!expected)
        return DeviceError(StrFormat("unexpected SDO answer command 0x%02X", reply.command));
    if (!sameObject)
        return DeviceError(StrFormat("the answer names object 0x%04X sub-index %u, not the one "
                                     "asked for",
                                     reply.index, ansSub));
    return kExitOk;
}

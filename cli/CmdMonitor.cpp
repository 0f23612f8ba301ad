// monitor: listens to a line that another master drives and prints each
// transaction in the driver's words. It never writes to the line.

#include "cli/CliSession.h"

#include "driver/Format.h"
#include "driver/LineMonitor.h"
#include "serial/ComPort.h"

#include <ctime>
#include <limits>

namespace {

// Bytes that made no frame are given up after this much silence; a USB
// adapter's latency timer (16 ms by default) stays well below it.
constexpr double kGapHintMs = 50;

const char* CommandName(ECommand c) {
    switch (c) {
    case ECommand::Stop:
        return "stop";
    case ECommand::RunPwm:
        return "run pwm";
    case ECommand::RunFreq:
        return "run freq";
    case ECommand::Move:
        return "move";
    case ECommand::ClearPosition:
        return "clear-position";
    case ECommand::Reciprocate:
        return "reciprocate";
    case ECommand::Learn:
        return "learn";
    default:
        return "";
    }
}

// What the exchange did, in the command line's words.
std::string ActionText(const STransaction& tx) {
    if (tx.command != ECommand::None && tx.command != ECommand::Learn)
        return std::string(CommandName(tx.command)) +
               (tx.commandArg.empty() ? "" : " " + tx.commandArg);
    if (tx.sdo.present)
        return StrFormat("sdo %s 0x%04X:%u", tx.sdo.answer ? "answer" : "request", tx.sdo.index,
                         tx.sdo.sub) +
               (tx.sdo.object.empty() ? "" : " " + tx.sdo.object) + " " + tx.sdo.commandText;
    switch (tx.function) {
    case 0x03:
    case 0x06:
    case 0x10:
        return StrFormat("%s %s 0x%04X+%u", tx.function == 0x03 ? "read" : "write",
                         tx.block.empty() ? "registers" : tx.block.c_str(), tx.start, tx.count) +
               (tx.command == ECommand::Learn ? " learn " + tx.commandArg : "");
    case 0x2B:
        return "identification";
    default:
        return StrFormat("function 0x%02X", tx.function);
    }
}

std::string ResultWords(const STransaction& tx) {
    if (!tx.problem.empty())
        return tx.problem;
    if (tx.broadcast)
        return "broadcast";
    if (tx.result == kResultOk)
        return "ok";
    if (tx.result == kResultTimeout)
        return "no reply";
    if (!tx.hasRequest)
        return "reply without request";
    return StrFormat("error %d %s", tx.result, tx.resultText.c_str());
}

std::string Line(const SLineEvent& e, const std::string& time, bool raw) {
    std::string s = time + "  ";
    if (e.kind == SLineEvent::EKind::Noise) {
        s += StrFormat("noise: %zu bytes that make no frame dropped, resynchronised",
                       e.request.size());
        return raw ? s + "  [" + HexBytes(e.request) + "]" : s;
    }
    const STransaction& tx = e.tx;
    s += StrFormat("slave %u  ", tx.slave) + ActionText(tx) + "  " + ResultWords(tx);
    if (tx.sdo.present) {
        if (!tx.sdo.value.empty())
            s += "  value " + tx.sdo.value;
        if (tx.sdo.abort)
            s += "  abort " + tx.sdo.abortText;
    } else if (tx.command == ECommand::None || tx.command == ECommand::Learn) {
        std::string fields;
        for (const STxField& f : tx.fields)
            fields += (fields.empty() ? "" : ", ") +
                      (f.name.empty() ? StrFormat("0x%04X", f.addr) : f.name) + "=" + f.text;
        if (!fields.empty())
            s += "  " + fields;
    }
    if (!tx.deviceId.empty()) {
        std::string id = tx.deviceId;
        for (size_t p = id.find("\r\n"); p != std::string::npos; p = id.find("\r\n", p))
            id.replace(p, 2, ", ");
        s += "  " + id;
    }
    if (raw)
        s += "  [" + HexBytes(e.request) + (e.reply.empty() ? "" : " | " + HexBytes(e.reply)) + "]";
    return s;
}

Json EventJson(const SLineEvent& e, const std::string& time) {
    Json j = {{"time", time}};
    if (e.kind == SLineEvent::EKind::Noise) {
        j["noise"] = HexBytes(e.request);
        return j;
    }
    const STransaction& tx = e.tx;
    j["slave"] = tx.slave;
    j["function"] = tx.function;
    j["action"] = ActionText(tx);
    j["request"] = HexBytes(e.request);
    j["reply"] = HexBytes(e.reply);
    Json result = {{"code", tx.result}, {"text", ResultWords(tx)}};
    j["result"] = result;
    Json fields = Json::array();
    for (const STxField& f : tx.fields)
        fields.push_back({{"name", f.name},
                          {"register", f.addr},
                          {"value", f.value},
                          {"unit", f.unit},
                          {"text", f.text}});
    j["fields"] = fields;
    if (tx.sdo.present) {
        j["index"] = tx.sdo.index;
        j["sub"] = tx.sdo.sub;
        j["object"] = tx.sdo.object;
        j["command"] = tx.sdo.commandText;
        j["value"] = tx.sdo.value;
        j["abort"] = tx.sdo.abort ? Json(StrFormat("0x%08X", tx.sdo.data)) : Json(nullptr);
    }
    if (!tx.deviceId.empty())
        j["identification"] = tx.deviceId;
    return j;
}

// Local wall-clock time of day with milliseconds.
std::string TimeOfDay(std::chrono::system_clock::time_point t) {
    const std::time_t secs = std::chrono::system_clock::to_time_t(t);
    std::tm tm{};
#ifdef _WIN32
    localtime_s(&tm, &secs);
#else
    localtime_r(&secs, &tm);
#endif
    const auto ms =
        std::chrono::duration_cast<std::chrono::milliseconds>(t.time_since_epoch()) % 1000;
    return StrFormat("%02d:%02d:%02d.%03d", tm.tm_hour, tm.tm_min, tm.tm_sec,
                     static_cast<int>(ms.count()));
}

} // namespace

int CCli::CmdMonitor() {
    std::string settings;
    if (int e = ResolveLine(settings))
        return e;
    LineSettings ls;
    ParseLineSettings(settings, ls);
    CComPort port;
    if (!port.Open(m_strDevice))
        return PortOpenError(port.LastError());
    if (!port.Configure() || !port.SetLine(ls))
        return PortOpenError(EPortError::Settings);
    m_ctx.err << "halvik-cli: monitor: listening on " << m_strDevice << " at " << settings
              << "; nothing is sent; Ctrl-C ends\n";

    CLineMonitor mon(kGapHintMs, m_cl.timeoutMs);
    const auto t0 = Clock::now();
    const auto wall0 = std::chrono::system_clock::now();
    auto msSince = [&] {
        return std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
    };
    auto print = [&] {
        for (const SLineEvent& e : mon.Take()) {
            if (m_cl.slaveGiven && (e.kind == SLineEvent::EKind::Noise || e.tx.slave != m_cl.slave))
                continue;
            const auto at = wall0 + std::chrono::duration_cast<std::chrono::system_clock::duration>(
                                        std::chrono::duration<double, std::milli>(e.timeMs));
            const std::string time = TimeOfDay(at);
            if (m_cl.json)
                EmitJson(EventJson(e, time), false);
            else
                Out() << Line(e, time, m_cl.raw) << "\n";
        }
        Out().flush();
    };
    ArmStop(true);
    bool lost = false;
    uint8_t buf[512];
    while (!Stopped()) {
        if (port.WaitInput(20)) {
            const int n = port.Read(buf, sizeof buf);
            if (n > 0)
                mon.Feed(buf, static_cast<size_t>(n), msSince());
        }
        if (port.IsGone()) {
            lost = true;
            break;
        }
        mon.Tick(msSince());
        print();
    }
    ArmStop(false);
    // What is still open ends here: a request's reply will not be seen.
    mon.Tick(std::numeric_limits<double>::infinity());
    print();

    const SLineCounts& c = mon.Counts();
    std::string perSlave;
    for (const auto& [slave, n] : c.perSlave)
        perSlave += StrFormat("%s%d: %zu", perSlave.empty() ? "" : ", ", slave, n);
    m_ctx.err << StrFormat("halvik-cli: monitor: %zu transactions (%s); %zu without reply, %zu "
                           "exceptions, %zu bad replies, %zu replies without request, %zu bytes "
                           "of noise in %zu places\n",
                           c.transactions, perSlave.empty() ? "none" : perSlave.c_str(), c.noReply,
                           c.exceptions, c.badReplies, c.unpairedReplies, c.noiseBytes,
                           c.noiseEvents);
    if (lost)
        return DeviceError(StrFormat("%s: the line went away", m_strDevice.c_str()));
    return kExitOk; // Ctrl-C is how a monitor ends
}

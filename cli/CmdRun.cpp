// Motion commands: run pwm|freq, move, stop, clear-position.

#include "cli/CliSession.h"

#include "driver/Format.h"

int CCli::ScaleSpeedArg(const std::string& text, const char* what, int64_t lo, int64_t hi, bool raw,
                        int64_t& out) {
    std::string err;
    if (raw) {
        if (!ParseIntegerIn(text, lo, hi, what, out, err))
            return Usage(err);
        return kExitOk;
    }
    if (!IsStrictDecimal(text))
        return Usage(StrFormat("%s: '%s' is not a number", what, text.c_str()));
    DecodeContext dc;
    if (int e = ReadSpeedUnit(dc))
        return e;
    const int decimals = dc.speedUnitHz ? 0 : 1;
    out = ScaleDecimal(text, decimals);
    if (out < lo || out > hi)
        return Usage(StrFormat("%s: %s Hz is out of range %s..%s Hz", what, text.c_str(),
                               FormatScaled(lo, decimals).c_str(),
                               FormatScaled(hi, decimals).c_str()));
    if (ScaleDecimal(text, decimals + 6) != out * 1000000)
        m_ctx.err << "halvik-cli: note: " << what << " " << text << " Hz is sent as "
                  << FormatScaled(out, decimals) << " Hz (resolution " << (decimals ? "0.1" : "1")
                  << " Hz)\n";
    return kExitOk;
}

int CCli::CmdRun() {
    const char* usage = "run pwm PERCENT | run freq HZ [--raw]";
    if (m_cl.args.size() != 2)
        return Usage(std::string("usage: halvik-cli ") + usage);
    const std::string& kind = m_cl.args[0];
    const std::string& val = m_cl.args[1];
    int64_t v = 0;
    int runKind;
    if (kind == "pwm") {
        if (m_cl.Has("--raw"))
            return Usage("--raw is for 'run freq'");
        if (!IsStrictDecimal(val))
            return Usage("PERCENT: '" + val + "' is not a number");
        v = ScaleDecimal(val, 1);
        if (v < -1000 || v > 1000)
            return Usage("PERCENT: " + val + " is out of range -100.0..100.0");
        if (ScaleDecimal(val, 7) != v * 1000000)
            m_ctx.err << "halvik-cli: note: " << val << " % is sent as " << FormatScaled(v, 1)
                      << " % (resolution 0.1 %)\n";
        runKind = 0;
        if (int e = OpenLine())
            return e;
    } else if (kind == "freq") {
        if (!m_cl.Has("--raw") && !IsStrictDecimal(val))
            return Usage("HZ: '" + val + "' is not a number");
        if (int e = OpenLine())
            return e;
        if (int e = ScaleSpeedArg(val, "HZ", -32768, 32767, m_cl.Has("--raw"), v))
            return e;
        runKind = 1;
    } else {
        return Usage(std::string("usage: halvik-cli ") + usage);
    }
    ResultCode rc = m_drv.WriteRunCommand(m_nSlave, ToReg16(v), runKind);
    if (rc != kResultOk)
        return DeviceError(
            runKind == 0 ? StrFormat("writing the output PWM (0x%04X)", kRegRunPwm)
                         : StrFormat("writing the commutation frequency (0x%04X)", kRegRunFreq),
            rc);
    return WriteResultJson("run", rc);
}

int CCli::CmdMove() {
    if (int e = NeedArgs(0, 0, "move --freq HZ --position N [--relative] [--raw]"))
        return e;
    const std::string* f = m_cl.Value("--freq");
    const std::string* p = m_cl.Value("--position");
    if (!f || !p)
        return Usage("move needs --freq HZ and --position N");
    std::string err;
    int64_t pos = 0, freq = 0;
    if (!ParseIntegerIn(*p, INT32_MIN, INT32_MAX, "--position", pos, err))
        return Usage(err);
    if (!m_cl.Has("--raw") && !IsStrictDecimal(*f))
        return Usage("--freq: '" + *f + "' is not a number");
    if (int e = OpenLine())
        return e;
    if (int e = ScaleSpeedArg(*f, "--freq", 1, 65535, m_cl.Has("--raw"), freq))
        return e;
    ResultCode rc =
        m_drv.WritePositionCommand(m_nSlave, static_cast<uint16_t>(freq), static_cast<int32_t>(pos),
                                   m_cl.Has("--relative") ? 1 : 0);
    if (rc != kResultOk)
        return DeviceError(StrFormat("writing the position move (0x%04X)", kRegRunPosition), rc);
    return WriteResultJson("move", rc);
}

int CCli::CmdStop() {
    if (int e = NeedArgs(0, 1, "stop [normal|emergency|free]"))
        return e;
    std::string mode = m_cl.args.empty() ? "normal" : m_cl.args[0];
    uint16_t code;
    if (mode == "normal")
        code = kStopNormal;
    else if (mode == "emergency")
        code = kStopEmergency;
    else if (mode == "free")
        code = kStopFree;
    else
        return Usage("stop: mode must be normal, emergency or free, not '" + mode + "'");
    if (int e = OpenLine())
        return e;
    ResultCode rc = m_drv.WriteStopCommand(m_nSlave, code);
    if (rc != kResultOk)
        return DeviceError(StrFormat("writing the stop command (0x%04X)", kRegStop), rc);
    return WriteResultJson("stop", rc);
}

int CCli::CmdClearPosition() {
    if (int e = NeedArgs(0, 0, "clear-position"))
        return e;
    if (int e = OpenLine())
        return e;
    ResultCode rc = m_drv.WriteRegister(m_nSlave, kRegClearPosition, 1);
    if (rc != kResultOk)
        return DeviceError(StrFormat("clearing the rotation position (0x%04X)", kRegClearPosition),
                           rc);
    return WriteResultJson("clear-position", rc);
}

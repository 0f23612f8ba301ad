// Motion commands: run pwm|freq, move, stop, clear-position.

#include "cli/CliSession.h"

#include "driver/Format.h"

int CCli::CmdRun() {
    int64_t v = 0;
    if (m_cl.command == "run pwm") {
        if (int e = OpenWithScaled(m_cl.value, "PERCENT", 1, "%", -1000, 1000, v))
            return e;
        return Written("run", StrFormat("writing the output PWM (0x%04X)", kRegRunPwm),
                       m_drv.WriteRunCommand(m_nSlave, ToReg16(v), 0));
    }
    if (int e = OpenWithScaled(m_cl.value, "HZ", -1, "Hz", -32768, 32767, v))
        return e;
    return Written("run", StrFormat("writing the commutation frequency (0x%04X)", kRegRunFreq),
                   m_drv.WriteRunCommand(m_nSlave, ToReg16(v), 1));
}

int CCli::CmdMove() {
    int64_t freq = 0;
    if (int e = OpenWithScaled(m_cl.freq, "--freq", -1, "Hz", 1, 65535, freq))
        return e;
    return Written("move", StrFormat("writing the position move (0x%04X)", kRegRunPosition),
                   m_drv.WritePositionCommand(m_nSlave, static_cast<uint16_t>(freq),
                                              static_cast<int32_t>(m_cl.position),
                                              m_cl.relative ? 1 : 0));
}

int CCli::CmdStop() {
    const uint16_t code = StopModeCode();
    if (!m_cl.slaves.empty())
        return CmdStopBus(code);
    if (int e = OpenLine())
        return e;
    return Written("stop", StrFormat("writing the stop command (0x%04X)", kRegStop),
                   m_drv.WriteStopCommand(m_nSlave, code));
}

int CCli::CmdClearPosition() {
    if (int e = OpenLine())
        return e;
    return Written("clear-position",
                   StrFormat("clearing the rotation position (0x%04X)", kRegClearPosition),
                   m_drv.WriteRegister(m_nSlave, kRegClearPosition, 1));
}

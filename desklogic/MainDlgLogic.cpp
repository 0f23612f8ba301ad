#include "desklogic/MainDlgLogic.h"

#include "driver/FieldInput.h"
#include "lang/Tr.h"
#include "serial/PortMap.h"

#include <cctype>

uint8_t AddressFromBits(unsigned bits) {
    return static_cast<uint8_t>((bits & 0x7F) + 1);
}

unsigned BitsFromAddress(uint8_t addr) {
    if (addr < 1 || addr > 128)
        return 0;
    return static_cast<unsigned>(addr - 1) & 0x7F;
}

std::string AddressText(uint8_t addr) {
    return StrFormat("0x%02X", addr);
}

bool ParseAddressText(const std::string& text, uint8_t& addr) {
    int64_t v = 0;
    if (!ParseStrictId(text, v) || v > 255)
        return false;
    addr = static_cast<uint8_t>(v);
    return true;
}

std::string TrafficText(const std::vector<uint8_t>& bytes) {
    std::string s;
    s.reserve(bytes.size() * 3);
    for (uint8_t b : bytes)
        s += StrFormat("%02X ", b);
    return s;
}

int BaudFromText(const std::string& text) {
    return ParseLeadingInt(text);
}

CtrlValues DeviceInfoValues(const DeviceInfoBlock& b) {
    const DeviceInfoTexts t = FormatDeviceInfo(b);
    return {{1018, t.id},
            {1019, t.model},
            {1020, t.version},
            {1021, t.pwmResolution},
            {1022, t.pwmFrequency},
            {1023, t.maxCurrent},
            {1024, t.currentResolution}};
}

CtrlValues StatusValues(const RealtimeStatusBlock& b) {
    const StatusTexts t = FormatRealtimeStatus(b);
    return {{1025, t.outputPwm},
            {1026, t.phaseCurrent},
            {1027, t.commFrequency},
            {1028, t.position},
            {1029, t.completionTime},
            {1030, t.in1},
            {1031, t.in2},
            {1032, t.in3},
            {1033, t.differential},
            {1034, t.sq1},
            {1035, t.sq2},
            {1036, t.inputPwm},
            {1037, t.inputFrequency},
            {1038, t.inputPulses},
            {1040, t.motorSpeed},
            {1041, t.errorState},
            {1042, t.temperature},
            {1039, t.inputVoltage}};
}

bool MotorRunning(const RealtimeStatusBlock& b) {
    return b.At(FieldAddr("status.output_pwm")) != 0 ||
           b.At(FieldAddr("status.commutation_frequency")) != 0;
}

std::string LinkSummaryText(const SLinkSummary& s) {
    const std::string rtt = s.medianMs > 0 ? StrFormat("%.1fms", s.medianMs) : "-";
    return StrFormat(
        lang::translate("desklogic/MainDlgLogic", "%.1f次/秒 往返%s 超时%zu 应答错%zu 异常%zu")
            .c_str(),
        s.ratePerSecond, rtt.c_str(), s.timeouts, s.replyErrors, s.exceptions);
}

std::string PortToolTip(const std::string& device, const std::string& sysRoot) {
    const int ms = LatencyTimerMs(device, sysRoot);
    if (ms <= 1)
        return device;
    return StrFormat(lang::translate("desklogic/MainDlgLogic",
                                     "%s\nUSB延迟定时器为%dms, 应答会迟到; 改为1ms: %s")
                         .c_str(),
                     device.c_str(), ms, LatencyFixCommand(device, sysRoot).c_str());
}

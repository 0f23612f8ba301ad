// The parts of the serial line that are the same on every system: the
// settings text and the open failures' texts.

#include "serial/ComPort.h"

#include "lang/Tr.h"

#include <cstdio>

int64_t CharTimeNs(const LineSettings& ls) {
    const int bits = 1 + ls.dataBits + (ls.parity == 'n' ? 0 : 1) + ls.stopBits;
    return ls.baud > 0 ? static_cast<int64_t>(bits) * 1000000000 / ls.baud : 0;
}

bool ParseLineSettings(const std::string& text, LineSettings& out) {
    int baud = 0, data = 0, stop = 0;
    char parity = 0;
    char tail = 0;
    int n = std::sscanf(text.c_str(), " %d , %c , %d , %d %c", &baud, &parity, &data, &stop, &tail);
    if (n != 4)
        return false;
    parity = static_cast<char>(parity | 0x20); // lower case
    if (baud < 50 || baud > 4000000 || (parity != 'n' && parity != 'o' && parity != 'e') ||
        data < 5 || data > 8 || (stop != 1 && stop != 2))
        return false;
    out = LineSettings{baud, parity, data, stop};
    return true;
}

std::string PortErrorText(EPortError err) {
    switch (err) {
    case EPortError::None:
        return "";
    case EPortError::NoDevice:
        return lang::translate("serial/PortError", "设备不存在");
    case EPortError::Permission:
        return lang::translate("serial/PortError", "没有权限 (请把用户加入 dialout 组)");
    case EPortError::Busy:
        return lang::translate("serial/PortError", "串口已被其他程序占用");
    case EPortError::NotSerial:
        return lang::translate("serial/PortError", "不是串口设备");
    case EPortError::Settings:
        return lang::translate("serial/PortError", "串口参数无效");
    case EPortError::Other:
        break;
    }
    return lang::translate("serial/PortError", "系统错误");
}

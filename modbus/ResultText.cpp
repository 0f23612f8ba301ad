#include "modbus/ResultCode.h"

#include "lang/Tr.h"

#include <cstdio>

std::string ResultText(ResultCode code) {
    switch (code) {
    case 0:
        return lang::translate("modbus/ResultText", "操作成功");
    case 1:
        return lang::translate("modbus/ResultText", "非法功能号");
    case 2:
        return lang::translate("modbus/ResultText", "非法寄存器地址");
    case 3:
        return lang::translate("modbus/ResultText", "非法数据值");
    case 4:
        return lang::translate("modbus/ResultText", "操作失败");
    case 5:
        return lang::translate("modbus/ResultText", "请求已被确认");
    case 6:
        return lang::translate("modbus/ResultText", "设备忙");
    case 8:
        return lang::translate("modbus/ResultText", "奇偶检验错误");
    case 10:
        return lang::translate("modbus/ResultText", "网关路径不可用");
    case 11:
        return lang::translate("modbus/ResultText", "网关目标设备响应失败");
    case 64:
        return lang::translate("modbus/ResultText", "不允许操作");
    case 96:
        return lang::translate("modbus/ResultText", "请先对电机进行学习");
    case 128:
        return lang::translate("modbus/ResultText", "串口未打开");
    case 129:
        return lang::translate("modbus/ResultText", "应答错误");
    case 130:
        return lang::translate("modbus/ResultText", "通讯超时");
    case 131:
        return lang::translate("modbus/ResultText", "要发送的数据过长");
    default:
        break;
    }
    char buf[48];
    const std::string format = lang::translate("modbus/ResultText", "未定义错误(%02X)");
    std::snprintf(buf, sizeof buf, format.c_str(), static_cast<unsigned>(code));
    return buf;
}

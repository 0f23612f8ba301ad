#include "modbus/ResultCode.h"

#include <cstdio>

std::string ResultText(ResultCode code) {
    switch (code) {
    case 0:
        return "操作成功";
    case 1:
        return "非法功能号";
    case 2:
        return "非法寄存器地址";
    case 3:
        return "非法数据值";
    case 4:
        return "操作失败";
    case 5:
        return "请求已被确认";
    case 6:
        return "设备忙";
    case 8:
        return "奇偶检验错误";
    case 10:
        return "网关路径不可用";
    case 11:
        return "网关目标设备响应失败";
    case 64:
        return "不允许操作";
    case 96:
        return "请先对电机进行学习";
    case 128:
        return "串口未打开";
    case 129:
        return "应答错误";
    case 130:
        return "通讯超时";
    case 131:
        return "要发送的数据过长";
    default:
        break;
    }
    char buf[48];
    std::snprintf(buf, sizeof buf, "未定义错误(%02X)", static_cast<unsigned>(code));
    return buf;
}

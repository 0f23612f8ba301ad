#include "driver/Sdo.h"

#include "lang/Tr.h"
#include <cstdio>

namespace {
struct AbortEntry {
    uint32_t code;
    const char* text;
};
constexpr AbortEntry kAborts[] = {
    {0x05030000, QT_TRANSLATE_NOOP("driver/Sdo", "触发位没有交替改变")},
    {0x05040000, QT_TRANSLATE_NOOP("driver/Sdo", "SDO协议超时")},
    {0x05040001, QT_TRANSLATE_NOOP("driver/Sdo", "非法或未知的Client/Server命令字")},
    {0x05040002, QT_TRANSLATE_NOOP("driver/Sdo", "无效的块大小（仅Block Transfer模式）")},
    {0x05040003, QT_TRANSLATE_NOOP("driver/Sdo", "无效的序号（仅Block Transfer模式）")},
    {0x05040004, QT_TRANSLATE_NOOP("driver/Sdo", "CRC错误（仅Block Transfer模式）")},
    {0x05040005, QT_TRANSLATE_NOOP("driver/Sdo", "内存溢出")},
    {0x06010000, QT_TRANSLATE_NOOP("driver/Sdo", "对象不支持访问")},
    {0x06010001, QT_TRANSLATE_NOOP("driver/Sdo", "试图读只写对象")},
    {0x06010002, QT_TRANSLATE_NOOP("driver/Sdo", "试图写只读对象")},
    {0x06020000, QT_TRANSLATE_NOOP("driver/Sdo", "对象字典中对象不存在")},
    {0x06040041, QT_TRANSLATE_NOOP("driver/Sdo", "对象不能够映射到PDO")},
    {0x06040042, QT_TRANSLATE_NOOP("driver/Sdo", "映射的对象的数目和长度超出PDO长度")},
    {0x06040043, QT_TRANSLATE_NOOP("driver/Sdo", "一般性参数不兼容")},
    {0x06040047, QT_TRANSLATE_NOOP("driver/Sdo", "一般性设备内部不兼容")},
    {0x06060000, QT_TRANSLATE_NOOP("driver/Sdo", "硬件错误导致对象访问失败")},
    {0x06070010, QT_TRANSLATE_NOOP("driver/Sdo", "数据类型不匹配，服务参数长度不匹配")},
    {0x06070012, QT_TRANSLATE_NOOP("driver/Sdo", "数据类型不匹配，服务参数长度太大")},
    {0x06070013, QT_TRANSLATE_NOOP("driver/Sdo", "数据类型不匹配，服务参数长度太短")},
    {0x06090011, QT_TRANSLATE_NOOP("driver/Sdo", "子索引不存在")},
    {0x06090030, QT_TRANSLATE_NOOP("driver/Sdo", "超出参数的值范围(写访问时)")},
    {0x06090031, QT_TRANSLATE_NOOP("driver/Sdo", "写入参数数值太大")},
    {0x06090032, QT_TRANSLATE_NOOP("driver/Sdo", "写入参数数值太小")},
    {0x06090036, QT_TRANSLATE_NOOP("driver/Sdo", "最大值小于最小值")},
    {0x08000000, QT_TRANSLATE_NOOP("driver/Sdo", "一般性错误")},
    {0x08000020, QT_TRANSLATE_NOOP("driver/Sdo", "数据不能传送或保存到应用")},
    {0x08000021, QT_TRANSLATE_NOOP("driver/Sdo", "由于本地控制导致数据不能传送或保存到应用")},
    {0x08000022, QT_TRANSLATE_NOOP("driver/Sdo", "由于当前设备状态导致数据不能传送或保存到应用")},
    {0x08000023, QT_TRANSLATE_NOOP("driver/Sdo", "对象字典动态产生错误或对象字典不存在")},
};
} // namespace

uint8_t SdoDownloadCommand(int size) {
    switch (size) {
    case 1:
        return kSdoDownload1;
    case 2:
        return kSdoDownload2;
    case 3:
        return kSdoDownload3;
    case 4:
        return kSdoDownload4;
    default:
        return 0;
    }
}

std::string SdoAbortText(uint32_t code) {
    char buf[160];
    for (const auto& e : kAborts) {
        if (e.code == code) {
            std::snprintf(buf, sizeof buf, "%s (0x%08X)",
                          lang::translate("driver/Sdo", e.text).c_str(), code);
            return buf;
        }
    }
    const std::string format = lang::translate("driver/Sdo", "未定义终止码(0x%08X)");
    std::snprintf(buf, sizeof buf, format.c_str(), code);
    return buf;
}

void BuildSdoWindow(uint8_t command, uint16_t index, uint8_t subindex, uint32_t data,
                    uint16_t regs[6]) {
    regs[0] = command;
    regs[1] = index;
    regs[2] = subindex;
    regs[3] = 0;
    regs[4] = static_cast<uint16_t>(data >> 16);
    regs[5] = static_cast<uint16_t>(data & 0xFFFF);
}

SdoReply ParseSdoWindow(const uint16_t regs[6]) {
    SdoReply r;
    r.command = regs[0];
    r.index = regs[1];
    r.subindex = regs[2];
    r.reserved = regs[3];
    r.data = (static_cast<uint32_t>(regs[4]) << 16) | regs[5];
    return r;
}

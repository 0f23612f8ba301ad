#include "driver/MotorDriver.h"

#include "driver/Texts.h"
#include "lang/Tr.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <thread>

namespace {
constexpr int kMaxDeviceIdRequests = 32; // far more objects than a driver carries
constexpr uint8_t kMoreFollows = 0xFF;
} // namespace

void SwapBytes16(void* buf, size_t len) {
    auto* p = static_cast<uint8_t*>(buf);
    for (size_t i = 0; i + 1 < len; i += 2)
        std::swap(p[i], p[i + 1]);
}

void SwapWords32(void* buf, size_t len) {
    auto* p = static_cast<uint8_t*>(buf);
    for (size_t i = 0; i + 3 < len; i += 4) {
        std::swap(p[i], p[i + 2]);
        std::swap(p[i + 1], p[i + 3]);
    }
}

const char* DeviceIdObjectName(uint8_t id) {
    static const char* const kNames[] = {QT_TRANSLATE_NOOP("driver/DeviceId", "公司名称"),
                                         QT_TRANSLATE_NOOP("driver/DeviceId", "产品代码"),
                                         QT_TRANSLATE_NOOP("driver/DeviceId", "主要修订版本"),
                                         QT_TRANSLATE_NOOP("driver/DeviceId", "供应商网址"),
                                         QT_TRANSLATE_NOOP("driver/DeviceId", "产品名称"),
                                         QT_TRANSLATE_NOOP("driver/DeviceId", "模式名称"),
                                         QT_TRANSLATE_NOOP("driver/DeviceId", "用户应用名称")};
    return id <= 6 ? kNames[id] : QT_TRANSLATE_NOOP("driver/DeviceId", "扩展描述");
}

bool AppendDeviceIdObjects(const uint8_t* payload, size_t len, std::string& text) {
    size_t pos = 3;
    while (pos < len) {
        if (pos + 2 > len)
            return false;
        uint8_t id = payload[pos];
        size_t objLen = payload[pos + 1];
        size_t avail = std::min(objLen, len - pos - 2); // never read past the reply
        if (!text.empty())
            text += "\r\n";
        text += DeviceIdObjectName(id);
        text += ":";
        const char* v = reinterpret_cast<const char*>(payload + pos + 2);
        text.append(v, strnlen(v, avail));
        if (avail < objLen)
            return false;
        pos += 2 + objLen;
    }
    return true;
}

std::string DeviceIdTextShown(const std::string& text) {
    std::string out;
    for (size_t pos = 0; pos < text.size();) {
        size_t end = text.find("\r\n", pos);
        end = end == std::string::npos ? text.size() : end;
        const std::string line = text.substr(pos, end - pos);
        const size_t colon = line.find(':');
        std::string name = colon == std::string::npos ? "" : line.substr(0, colon);
        for (int id = 0; id <= 7 && !name.empty(); ++id)
            if (name == DeviceIdObjectName(static_cast<uint8_t>(id))) {
                name = lang::translate("driver/DeviceId",
                                       DeviceIdObjectName(static_cast<uint8_t>(id)));
                break;
            }
        out += name.empty() ? line : name + line.substr(colon);
        pos = end;
        if (end < text.size()) {
            out += "\r\n";
            pos += 2;
        }
    }
    return out;
}

CMotorDriver::CMotorDriver() {
    SetTimeout(1000);
}

CMotorDriver::~CMotorDriver() = default;

std::string CMotorDriver::SettingsString(int baud, int parityChoice) {
    char parity = 'n';
    int stop = 1;
    switch (parityChoice) {
    case 0:
        stop = 2;
        break;
    case 1:
        parity = 'o';
        break;
    case 2:
        parity = 'e';
        break;
    default:
        break;
    }
    return std::to_string(baud) + "," + parity + ",8," + std::to_string(stop);
}

bool CMotorDriver::OpenPort(int portNumber, int baud, int parityChoice) {
    return CModbusRtu::OpenPort(portNumber, SettingsString(baud, parityChoice));
}

ResultCode CMotorDriver::ReadBlock(uint8_t slave, uint16_t start, uint16_t count, uint16_t* regs) {
    uint8_t buf[kRtuMaxFrame] = {};
    uint16_t cap = static_cast<uint16_t>(std::min<size_t>(2u * count, sizeof buf));
    const uint16_t want = cap;
    ResultCode rc = ReadRegisters(slave, start, count, buf, &cap);
    if (rc != kResultOk)
        return rc;
    // A reply shorter than the block would leave fields the driver never sent.
    if (cap < want)
        return kResultBadReply;
    for (uint16_t i = 0; i < count; ++i)
        regs[i] = static_cast<uint16_t>(buf[2 * i] << 8 | buf[2 * i + 1]);
    return kResultOk;
}

ResultCode CMotorDriver::WriteBlock(uint8_t slave, uint16_t start, const uint16_t* regs,
                                    uint16_t count) {
    return WriteRegisters(slave, start, regs, count);
}

#define HALVIK_BLOCK_ACCESSORS(Name)                                                               \
    ResultCode CMotorDriver::Read##Name(uint8_t slave, Name& b) {                                  \
        Name tmp;                                                                                  \
        ResultCode rc = ReadBlock(slave, Name::kStart, Name::kCount, tmp.m_reg.data());            \
        if (rc == kResultOk)                                                                       \
            b = tmp;                                                                               \
        return rc;                                                                                 \
    }

#define HALVIK_BLOCK_WRITE(Name)                                                                   \
    ResultCode CMotorDriver::Write##Name(uint8_t slave, Name b) {                                  \
        return WriteBlock(slave, Name::kStart, b.m_reg.data(), Name::kCount);                      \
    }

HALVIK_BLOCK_ACCESSORS(DeviceInfoBlock)
HALVIK_BLOCK_ACCESSORS(RealtimeStatusBlock)
HALVIK_BLOCK_ACCESSORS(RampBlock)
HALVIK_BLOCK_WRITE(RampBlock)
HALVIK_BLOCK_ACCESSORS(MotorParamBlock)
HALVIK_BLOCK_WRITE(MotorParamBlock)
HALVIK_BLOCK_ACCESSORS(SystemBlockA)
HALVIK_BLOCK_WRITE(SystemBlockA)
HALVIK_BLOCK_ACCESSORS(CommBlockA)
HALVIK_BLOCK_WRITE(CommBlockA)
HALVIK_BLOCK_ACCESSORS(SystemBlockB)
HALVIK_BLOCK_WRITE(SystemBlockB)
HALVIK_BLOCK_ACCESSORS(CommBlockB)
HALVIK_BLOCK_WRITE(CommBlockB)
HALVIK_BLOCK_ACCESSORS(ReciprocateBlock)
HALVIK_BLOCK_WRITE(ReciprocateBlock)
HALVIK_BLOCK_ACCESSORS(PresetSpeedBlock)
HALVIK_BLOCK_WRITE(PresetSpeedBlock)
HALVIK_BLOCK_ACCESSORS(PidBlock)
HALVIK_BLOCK_WRITE(PidBlock)
HALVIK_BLOCK_ACCESSORS(SafetyBlock)
HALVIK_BLOCK_WRITE(SafetyBlock)
HALVIK_BLOCK_ACCESSORS(CanOpenBlock)
HALVIK_BLOCK_WRITE(CanOpenBlock)

ResultCode CMotorDriver::ReadLearnBlock(uint8_t slave, LearnBlock& b) {
    const int n = std::min<int>(5 + b.At(0x00E4), LearnBlock::kCount);
    uint16_t regs[LearnBlock::kCount] = {};
    ResultCode rc = ReadBlock(slave, LearnBlock::kStart, static_cast<uint16_t>(n), regs);
    if (rc == kResultOk)
        std::copy(regs, regs + n, b.m_reg.begin());
    return rc;
}

ResultCode CMotorDriver::WriteLearnBlock(uint8_t slave, LearnBlock b) {
    return WriteBlock(slave, LearnBlock::kStart, b.m_reg.data(), 4);
}

ResultCode CMotorDriver::WriteStopCommand(uint8_t slave, uint16_t mode) {
    return WriteRegister(slave, kRegStop, mode);
}

ResultCode CMotorDriver::WriteRunCommand(uint8_t slave, uint16_t value, int kind) {
    if (kind < 0 || kind > 2)
        return kResultBadRunKind;
    return WriteRegister(slave, static_cast<uint16_t>(kRegRunPwm + kind), value);
}

ResultCode CMotorDriver::WritePositionCommand(uint8_t slave, uint16_t frequency, int32_t position,
                                              uint16_t positionType) {
    const uint32_t p = static_cast<uint32_t>(position);
    const uint16_t regs[4] = {frequency, positionType, static_cast<uint16_t>(p >> 16),
                              static_cast<uint16_t>(p & 0xFFFF)};
    return WriteRegisters(slave, kRegRunPosition, regs, 4);
}

ResultCode CMotorDriver::ReadDeviceIdText(uint8_t slave, std::string& text) {
    std::string out;
    uint8_t objectId = 0;
    for (int request = 0; request < kMaxDeviceIdRequests; ++request) {
        if (request > 0 && m_deviceIdPause.count() > 0)
            std::this_thread::sleep_for(m_deviceIdPause);
        uint8_t buf[255];
        uint16_t len = sizeof buf;
        ResultCode rc = ReadDeviceId(slave, 1, objectId, buf, &len);
        if (rc != kResultOk)
            return rc;
        if (len > 3)
            AppendDeviceIdObjects(buf, len, out);
        if (len < 2 || buf[0] != kMoreFollows) {
            text = out;
            return kResultOk;
        }
        // A device that keeps saying "more follows" without moving on would
        // have us ask forever.
        if (buf[1] <= objectId)
            return kResultBadReply;
        objectId = buf[1];
    }
    return kResultBadReply;
}

ResultCode CMotorDriver::SdoAccess(uint8_t slave, uint8_t command, uint16_t index, uint8_t subindex,
                                   uint32_t data, SdoReply& reply) {
    // The window holds one exchange: no other SDO request may land between
    // our write and the read of its answer.
    std::lock_guard<std::mutex> lk(m_sdoLock);
    uint16_t regs[6];
    BuildSdoWindow(command, index, subindex, data, regs);
    ResultCode rc = WriteRegisters(slave, kRegSdoWindow, regs, 6);
    if (rc != kResultOk)
        return rc;
    uint16_t answer[6];
    rc = ReadBlock(slave, kRegSdoWindow, 6, answer);
    if (rc != kResultOk)
        return rc;
    reply = ParseSdoWindow(answer);
    return kResultOk;
}

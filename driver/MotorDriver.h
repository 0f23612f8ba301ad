#pragma once
// The driver's holding registers as typed blocks. Every operation takes the
// slave address first and returns a ResultCode; none shows anything.

#include "driver/Blocks.h"
#include "driver/Sdo.h"
#include "modbus/ModbusRtu.h"

#include <chrono>
#include <mutex>
#include <string>

class CMotorDriver : public CModbusRtu {
public:
    CMotorDriver(); // reply time-out 1000 ms
    ~CMotorDriver() override;

    using CModbusRtu::OpenPort;
    // choice: 0 "n,2", 1 "o,1", 2 "e,1", 3 and above (or negative) "n,1".
    bool OpenPort(int portNumber, int baud, int parityChoice);
    static std::string SettingsString(int baud, int parityChoice);

    ResultCode ReadDeviceInfoBlock(uint8_t slave, DeviceInfoBlock& b);
    ResultCode ReadRealtimeStatusBlock(uint8_t slave, RealtimeStatusBlock& b);
    ResultCode ReadRampBlock(uint8_t slave, RampBlock& b);
    ResultCode WriteRampBlock(uint8_t slave, RampBlock b);
    ResultCode ReadMotorParamBlock(uint8_t slave, MotorParamBlock& b);
    ResultCode WriteMotorParamBlock(uint8_t slave, MotorParamBlock b);
    ResultCode ReadSystemBlockA(uint8_t slave, SystemBlockA& b);
    ResultCode WriteSystemBlockA(uint8_t slave, SystemBlockA b);
    ResultCode ReadCommBlockA(uint8_t slave, CommBlockA& b);
    ResultCode WriteCommBlockA(uint8_t slave, CommBlockA b);
    ResultCode ReadSystemBlockB(uint8_t slave, SystemBlockB& b);
    ResultCode WriteSystemBlockB(uint8_t slave, SystemBlockB b);
    ResultCode ReadCommBlockB(uint8_t slave, CommBlockB& b);
    ResultCode WriteCommBlockB(uint8_t slave, CommBlockB b);
    ResultCode ReadReciprocateBlock(uint8_t slave, ReciprocateBlock& b);
    ResultCode WriteReciprocateBlock(uint8_t slave, ReciprocateBlock b);
    ResultCode ReadPresetSpeedBlock(uint8_t slave, PresetSpeedBlock& b);
    ResultCode WritePresetSpeedBlock(uint8_t slave, PresetSpeedBlock b);
    ResultCode ReadPidBlock(uint8_t slave, PidBlock& b);
    ResultCode WritePidBlock(uint8_t slave, PidBlock b);
    // Reads 5 + n registers from 0x00E0, n = the 0x00E4 slot, at most 16.
    ResultCode ReadLearnBlock(uint8_t slave, LearnBlock& b);
    // Writes the first four slots only (0x00E0..0x00E3).
    ResultCode WriteLearnBlock(uint8_t slave, LearnBlock b);
    ResultCode ReadSafetyBlock(uint8_t slave, SafetyBlock& b);
    ResultCode WriteSafetyBlock(uint8_t slave, SafetyBlock b);
    ResultCode ReadCanOpenBlock(uint8_t slave, CanOpenBlock& b);
    ResultCode WriteCanOpenBlock(uint8_t slave, CanOpenBlock b);

    // Any block read or written whole (regs host order). Used by the generic
    // block accessors above and by tools that work on raw registers.
    ResultCode ReadBlock(uint8_t slave, uint16_t start, uint16_t count, uint16_t* regs);
    ResultCode WriteBlock(uint8_t slave, uint16_t start, const uint16_t* regs, uint16_t count);

    ResultCode WriteStopCommand(uint8_t slave, uint16_t mode);
    // kind 0 PWM (0x0042), 1 frequency (0x0043), 2 0x0044; others 255.
    ResultCode WriteRunCommand(uint8_t slave, uint16_t value, int kind);
    ResultCode WritePositionCommand(uint8_t slave, uint16_t frequency, int32_t position,
                                    uint16_t positionType);

    // Device identification objects as "name:value" lines joined by "\r\n".
    // The text is only changed on success.
    ResultCode ReadDeviceIdText(uint8_t slave, std::string& text);
    // The pause between the requests of one identification read (10 ms; a
    // scripted line in the fuzzer needs none).
    void SetDeviceIdPause(std::chrono::milliseconds pause) { m_deviceIdPause = pause; }

    // One expedited SDO exchange; the write of the request and the read of its
    // answer are never interleaved with another SdoAccess.
    ResultCode SdoAccess(uint8_t slave, uint8_t command, uint16_t index, uint8_t subindex,
                         uint32_t data, SdoReply& reply);

private:
    std::mutex m_sdoLock;
    std::chrono::milliseconds m_deviceIdPause{10};
};

// In-place swaps over a byte buffer: the two bytes of every 16-bit unit, and
// the two 16-bit halves of every 32-bit unit.
void SwapBytes16(void* buf, size_t len);
void SwapWords32(void* buf, size_t len);

// Object names of the device identification, by object id.
const char* DeviceIdObjectName(uint8_t id);
// Appends the objects of one ReadDeviceId payload to text; false when the
// payload is malformed (an object running past the end).
bool AppendDeviceIdObjects(const uint8_t* payload, size_t len, std::string& text);

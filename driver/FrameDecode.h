#pragma once
// What one exchange on the driver's line means, in the driver's words: the
// slave, the function, the block and every field touched with its value in
// engineering units and list text, the single-register commands by name,
// device identification as text, exceptions by their texts and the SDO
// tunnel's exchanges as objects. Pure functions over bytes: no port, no
// clock, so the traffic log, the monitor and the fuzzer share them.
//
//     STransaction tx = DecodeExchange(request, reqLen, reply, replyLen, ctx);
//     puts(TransactionText(tx).c_str()); // "读 电机参数: 电机额定电流=3.00 A, ..."

#include "driver/Catalogue.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// One field (or one register outside the catalogue) a frame touched.
struct STxField {
    std::string name;  // qualified ("motor.rated_current"); empty outside the catalogue
    std::string label; // the page's words, or "寄存器 0x0123"
    uint16_t addr = 0;
    uint16_t regs = 1;
    std::string value; // exact decimal, list text, flag ("1"/"0") or raw value
    std::string unit;
    std::string text; // value with unit, or the list text, for people
};

// The commands the driver takes as single-register writes.
enum class ECommand { None, Stop, RunPwm, RunFreq, Move, ClearPosition, Reciprocate, Learn };

// An exchange on the SDO window: the request written into it, or the answer
// read back from it.
struct STxSdo {
    bool present = false;
    bool answer = false; // read back from the window (else written to it)
    uint8_t command = 0;
    uint16_t index = 0;
    uint8_t sub = 0;
    uint32_t data = 0;
    std::string object; // "RPDO1 通讯参数 COB-ID"; empty when unknown
    std::string commandText; // "读取", "写四字节", "读取应答 (4字节)", "写入确认", "终止"
    std::string value; // "0x00000201 (513)" for data that carries a value
    bool abort = false;
    std::string abortText; // SdoAbortText of data
};

struct STransaction {
    uint8_t slave = 0;
    uint8_t function = 0;
    bool hasRequest = false, hasReply = false;
    bool broadcast = false; // slave 0: applied by all, answered by none
    // Reads: the range asked for; writes: the range written.
    uint16_t start = 0, count = 0;
    std::string block;  // block name ("motor"); empty when none holds start
    std::string action; // "读 电机参数", "写 PID参数", "停止", "设备识别", ...
    ECommand command = ECommand::None;
    std::string commandArg; // "正常停止", "50.0 %", "+1000 脉冲 (相对)", ...
    int result = -1;        // ResultCode of the reply (exception code); -1: no verdict
    std::string resultText;
    std::vector<STxField> fields;
    STxSdo sdo;
    std::string deviceId; // identification objects, "name:value" lines
    std::string problem;  // what is wrong with the frames ("应答CRC错误", ...)
};

// Decodes a request and its reply; either may be absent (length 0). Frames
// are whole RTU frames with their CRC; a frame whose CRC is wrong is still
// shown, with the problem named.
STransaction DecodeExchange(const uint8_t* request, size_t requestLen, const uint8_t* reply,
                            size_t replyLen, const DecodeContext& ctx);

// The whole meaning in one line (Chinese, as the desktop tool shows it).
std::string TransactionText(const STransaction& tx);
// The action alone, with the result when it failed: for a table column.
std::string TransactionSummary(const STransaction& tx);

// The CANopen object and sub-index by name ("TPDO2 映射 映射对象3"); empty for
// an object the driver's table does not have.
std::string CanOpenObjectName(uint16_t index, uint8_t sub);
// The SDO command byte in words ("写双字节"); "命令 0x.." when unknown.
std::string SdoCommandText(uint8_t command, bool answer);
// The stop modes as the motor control page offers them; "" when unknown.
const char* StopModeText(uint16_t mode);

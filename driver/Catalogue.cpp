#include "driver/Catalogue.h"

#include "driver/Blocks.h"
#include "driver/Format.h"
#include "driver/Learning.h"

#include <charconv>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <map>

namespace {

constexpr const char* kListA[] = {"低电平/闭合", "高电平/断开", "下降沿/闭合瞬间",
                                  "上升沿/断开瞬间", "禁用"};
constexpr const char* kListC[] = {"单电位器", "双电位器独立", "双电位器协同"};
constexpr const char* kListD[] = {"PWM", "频率", "脉冲(计数)"};
constexpr const char* kListE[] = {"单端信号", "差分信号", "双单端独立", "双单端协同"};
constexpr const char* kListF[] = {"开关量", "0/3.3V", "0/5V", "0/12V或0/24V"};
// Texts two lists share.
constexpr const char kByDipSwitch[] = "拨码开关指定";
constexpr const char kSpeedLoop[] = "速度闭环控制";
constexpr const char* kListG[] = {kByDipSwitch, "电位器", "模拟信号", "脉冲信号", "内置程序指定"};
constexpr const char* kListH[] = {kByDipSwitch,   "占空比调速",   "力矩控制", kSpeedLoop,
                                  "位置闭环控制", "预设速度控制", "内置程序"};
constexpr const char* kPositionAlgo[] = {"水平定位控制", "水平滑行定位", "竖直定位控制"};
constexpr const char* kSteadyAlgo[] = {kSpeedLoop, "时间-位置闭环", "时间-位置速率",
                                       "场定向矢量闭环"};
constexpr const char* kLearnState[] = {"未学习", "已学习"};
constexpr const char* kParity[] = {"无校验+2停止位", "奇校验+1停止位", "偶校验+1停止位",
                                   "无校验+1停止位"};
constexpr const char* kCanBaud[] = {"10kbps",  "20kbps",  "50kbps",  "125kbps",
                                    "250kbps", "500kbps", "800kbps", "1Mbps"};
// The RS-485 rates the driver offers; the register holds the number itself.
constexpr const char* kRs485Baud[] = {"9600 ", "19200", "38400", "57600", "115200"};
constexpr const char* kCommMode[] = {"485/CAN", "CANOpen"};
constexpr const char* kHoming[] = {"不复位", "SQ2复位", "SQ1复位"};
constexpr const char* kSpeedMode[] = {"占空比", "力矩", "速度闭环", "位置闭环"};
constexpr const char* kControlMode[] = {"双触点", "单触点"};

#define ITEMS(a) a, static_cast<int>(sizeof a / sizeof a[0])

const FieldDef kDeviceInfo[] = {
    {0x0000, 1, "identifier", EField::Hex16, 0, "", nullptr, nullptr},
    {0x0001, 1, "version", EField::Version, 0, "", nullptr, nullptr},
    {0x0002, 8, "model", EField::ModelText, 0, "", nullptr, nullptr},
    {0x000A, 1, "pwm_resolution", EField::U16, 0, "steps", nullptr, nullptr},
    {0x000B, 1, "pwm_frequency", EField::U16, 3, "kHz", nullptr, nullptr},
    {0x000C, 1, "max_current", EField::U16, 2, "A", nullptr, nullptr},
    {0x000D, 1, "current_resolution", EField::U16, 0, "mA", nullptr, nullptr},
    {0x000E, 1, "speed_range_gate", EField::U16, 0, "", nullptr, nullptr},
};

const FieldDef kStatus[] = {
    {0x0038, 1, "input_voltage", EField::U16, 1, "V", "输入电压", nullptr},
    {0x003A, 1, "input_current", EField::U16, 2, "A", "输入电流", nullptr},
    {0x0020, 1, "output_pwm", EField::I16, 1, "%", "输出PWM", nullptr},
    {0x0021, 1, "phase_current", EField::U16, 2, "A", "相电流", nullptr},
    {0x0022, 1, "commutation_frequency", EField::CommFreq, 0, "Hz", "换向频率", nullptr},
    {0x0024, 2, "position", EField::I32, 0, "pulses", "转动位置", nullptr},
    {0x0026, 2, "completion_time", EField::U32, 3, "s", nullptr, nullptr},
    {0x0023, 1, "motion_complete", EField::Bool, 0, "", nullptr, nullptr},
    {0x0028, 1, "in1_voltage", EField::I16, 3, "V", "IN1电压", nullptr},
    {0x0029, 1, "in2_voltage", EField::I16, 3, "V", "IN2电压", nullptr},
    {0x002A, 1, "in3_voltage", EField::I16, 3, "V", "IN3电压", nullptr},
    {0x002B, 1, "differential_voltage", EField::I16, 3, "V", "差分电压", nullptr},
    {0x002C, 1, "sq1_level", EField::Bool, 0, "", nullptr, nullptr},
    {0x002D, 1, "sq2_level", EField::Bool, 0, "", nullptr, nullptr},
    {0x002E, 1, "input_pwm", EField::U16, 1, "%", nullptr, nullptr},
    {0x002F, 1, "input_frequency", EField::I16, 0, "Hz", nullptr, nullptr},
    {0x0030, 2, "input_pulses", EField::I32, 0, "pulses", nullptr, nullptr},
    {0x0034, 1, "motor_speed", EField::Rpm, 0, "RPM", "电机转速", nullptr},
    {0x0037, 1, "temperature", EField::I16, 1, "℃", "内部温度", nullptr},
    {0x0033, 1, "error_state", EField::U16, 0, "", nullptr, nullptr},
    {0x0035, 1, "speed_scale_x10", EField::Bool, 0, "", nullptr, nullptr},
    {0x0036, 1, "speed_unit_hz", EField::Bool, 0, "", nullptr, nullptr},
};

const FieldDef kRamp[] = {
    {0x0050, 1, "pwm_rise_buffer", EField::Speed, 0, "s", "PWM上升缓冲", "秒"},
    {0x0051, 1, "pwm_fall_buffer", EField::Speed, 0, "s", "PWM下降缓冲", "秒"},
    {0x0052, 1, "acceleration", EField::Speed, 0, "Hz/s", "加速加速度", nullptr},
    {0x0053, 1, "deceleration", EField::Speed, 0, "Hz/s", "减速加速度", nullptr},
};

const FieldDef kMotor[] = {
    {0x0060, 1, "pwm_start_buffer", EField::U16, 1, "s", "PWM调速启动缓冲", "秒"},
    {0x0061, 1, "pwm_deceleration_buffer", EField::U16, 1, "s", "PWM调速减速缓冲", "秒"},
    {0x0062, 1, "max_acceleration", EField::MotorSpeed, 0, "Hz/s", "最大加速加速度", nullptr},
    {0x0063, 1, "default_acceleration", EField::MotorSpeed, 0, "Hz/s", "默认加速加速度", nullptr},
    {0x0064, 1, "max_deceleration", EField::MotorSpeed, 0, "Hz/s", "最大减速加速度", nullptr},
    {0x0065, 1, "default_deceleration", EField::MotorSpeed, 0, "Hz/s", "默认减速加速度", nullptr},
    {0x0066, 1, "max_commutation_frequency", EField::MotorSpeed, 0, "Hz", "最大换向频率", nullptr},
    {0x0067, 1, "default_commutation_frequency", EField::MotorSpeed, 0, "Hz", "默认换向频率",
     nullptr},
    {0x0069, 1, "position_control_algorithm", EField::Enum, 0, "", "位置控制算法", nullptr,
     ITEMS(kPositionAlgo)},
    {0x006A, 1, "rated_current", EField::U16, 2, "A", "电机额定电流", nullptr},
    {0x006B, 1, "max_load_current", EField::U16, 2, "A", "最大负载电流", nullptr},
    {0x006C, 1, "brake_compensation_current", EField::U16, 2, "A", "制动补偿电流", nullptr},
    {0x006D, 3, "phase_sequence", EField::PhaseBytes, 0, "", "电机相序数据", nullptr},
    {0x0070, 1, "steady_speed_algorithm", EField::Enum, 0, "", "稳速控制算法", nullptr,
     ITEMS(kSteadyAlgo)},
    {0x0071, 1, "position_tolerance", EField::U16, 0, "pulses", "位置控制允许误差", "脉冲"},
    {0x0072, 1, "overshoot_correction", EField::Bit0, 0, "", "位置控制超调后进行校正", nullptr},
    {0x0073, 1, "motor_poles", EField::U16, 0, "", "电机极个数", "个"},
    {0x0074, 1, "gear_ratio", EField::U16, 1, ":1", "减速器减速比", nullptr},
    {0x0075, 1, "learning_state", EField::Bit0Enum, 0, "", "电机学习状态", nullptr,
     ITEMS(kLearnState)},
    {0x0076, 1, "learning_disabled", EField::Bit0, 0, "", "禁用电机学习功能", nullptr},
    {0x0077, 1, "speed_range_x10", EField::Bit0, 0, "", "速度量程×10", nullptr},
    {0x0078, 1, "holding_current", EField::U16, 2, "A", "常态自锁电流", nullptr},
    {0x0079, 1, "overload_multiple", EField::U16, 2, "x", "允许…倍最大负载电流输出", "倍"},
    {0x007A, 1, "overload_duration", EField::U16, 1, "s", "…倍最大负载电流输出的时间", "秒"},
};

const FieldDef kSystemA[] = {
    {0x0080, 1, "limit_trigger_polarity", EField::Enum, 0, "", "限位触发极性", nullptr,
     ITEMS(kListA)},
    {0x0081, 1, "digital_signal_polarity", EField::Enum, 0, "", "数字信号极性", nullptr, kListA, 4},
    {0x0082, 1, "potentiometer_use", EField::Enum, 0, "", "电位器用法", nullptr, ITEMS(kListC)},
    {0x0083, 1, "pulse_signal_type", EField::Enum, 0, "", "脉冲信号类型", nullptr, ITEMS(kListD)},
    {0x0084, 1, "analog_signal_type", EField::Enum, 0, "", "模拟信号类型", nullptr, ITEMS(kListE)},
    {0x0085, 1, "logic_level_type", EField::Enum, 0, "", "逻辑电平类型", nullptr, ITEMS(kListF)},
    {0x0086, 1, "potentiometer_range_low", EField::U16, 3, "V", "电位器电压范围 (下限)", nullptr},
    {0x0087, 1, "potentiometer_range_high", EField::U16, 3, "V", "电位器电压范围 (上限)", nullptr},
    {0x0088, 1, "analog_range_low", EField::U16, 3, "", "模拟信号范围 (下限)", nullptr},
    {0x0089, 1, "analog_range_high", EField::U16, 3, "", "模拟信号范围 (上限)", nullptr},
    {0x008A, 1, "logic_threshold", EField::U16, 3, "V", "逻辑电平阈值", nullptr},
    {0x008B, 1, "comparison_dead_band", EField::U16, 3, "V", "电压比较死区", nullptr},
    {0x008C, 2, "pulse_ratio", EField::F32, 0, "", "脉冲信号倍率", nullptr},
    {0x008E, 1, "stall_stop_time", EField::U16, 1, "s", "堵转停机时间", "秒"},
};

const FieldDef kCommA[] = {
    {0x0090, 2, "rs485_baud", EField::U32, 0, "baud", "485波特率", "", ITEMS(kRs485Baud)},
    {0x0092, 1, "rs485_parity", EField::Enum, 0, "", "校验方式", nullptr, ITEMS(kParity)},
    {0x0094, 1, "no_configuration_under_comm_control", EField::Bit0, 0, "",
     "通讯控制时禁止参数配置", nullptr},
    {0x0095, 1, "comm_loss_brake_time", EField::U16, 1, "s", "通讯中断制动时间", "秒"},
};

const FieldDef kSystemB[] = {
    {0x0096, 2, "analog_adjust_k", EField::F32, 0, "", "模拟信号调整 y=kx+b 的 k", nullptr},
    {0x0098, 1, "analog_adjust_b", EField::I16, 3, "", "模拟信号调整 y=kx+b 的 b", nullptr},
    {0x0099, 1, "buzzer_alarm_disabled", EField::Bit0, 0, "", "禁用蜂鸣器报警", nullptr},
    {0x009A, 1, "port_input_type", EField::Enum, 0, "", "端口输入类型", nullptr, ITEMS(kListG)},
    {0x009B, 1, "port_control_type", EField::Enum, 0, "", "端口控制类型", nullptr, ITEMS(kListH)},
};

const FieldDef kCommB[] = {
    {0x009C, 1, "rs485_slave_address", EField::U16, 0, "", "从站地址", nullptr},
    {0x009D, 1, "rs485_default_params_under_port_control", EField::ZeroYes, 0, "",
     "端口控制时485使用默认通讯参数", nullptr},
};

const FieldDef kReciprocate[] = {
    {0x00A0, 1, "homing_mode", EField::Enum, 0, "", "复位方式", nullptr, ITEMS(kHoming)},
    {0x00A1, 1, "fine_homing", EField::Bool, 0, "", "启用复位细调", nullptr},
    {0x00A2, 2, "total_stroke", EField::U32, 0, "pulses", "总行程", "脉冲"},
    {0x00A4, 1, "homing_coarse_speed", EField::Speed, 0, "Hz", "复位粗调速度", "Hz(脉冲/秒)"},
    {0x00A5, 1, "homing_fine_speed", EField::Speed, 0, "Hz", "复位细调速度", "Hz(脉冲/秒)"},
    {0x00A6, 1, "speed_after_completion", EField::Speed, 0, "Hz", "完成后速度", "Hz(脉冲/秒)"},
    {0x00A7, 1, "ignore_threshold", EField::U16, 1, "%", "忽略变化量低于…的输入信号", "%"},
    {0x00A8, 1, "rehome_after_limit", EField::Bool, 0, "", "限位后重新复位", nullptr},
    {0x00A9, 1, "homing_torque", EField::U16, 2, "A", "复位时转矩", nullptr},
};

const FieldDef kPreset[] = {
    {0x00B0, 1, "speed_control_mode", EField::Enum, 0, "", "调速方式", nullptr, ITEMS(kSpeedMode)},
    {0x00B1, 1, "control_mode", EField::Enum, 0, "", "控制方式", nullptr, ITEMS(kControlMode)},
    {0x00B2, 1, "forward_speed", EField::PresetSpeed, 0, "Hz", "正转速度", nullptr},
    {0x00B3, 1, "reverse_speed", EField::PresetSpeed, 0, "Hz", "反转速度", nullptr},
};

const FieldDef kPid[] = {
    {0x00BA, 2, "holding_kp", EField::F32, 0, "", "自锁PID参数 Kp", nullptr},
    {0x00BC, 2, "holding_ki", EField::F32, 0, "", "自锁PID参数 Ki", nullptr},
    {0x00BE, 2, "holding_kd", EField::F32, 0, "", "自锁PID参数 Kd", nullptr},
    {0x00C0, 2, "speed_kp", EField::F32, 0, "", "速度PID参数 Kp", nullptr},
    {0x00C2, 2, "speed_ki", EField::F32, 0, "", "速度PID参数 Ki", nullptr},
    {0x00C4, 2, "speed_kd", EField::F32, 0, "", "速度PID参数 Kd", nullptr},
    {0x00C6, 2, "position_kp", EField::F32, 0, "", "位置PID参数 Kp", nullptr},
    {0x00C8, 2, "position_ki", EField::F32, 0, "", "位置PID参数 Ki", nullptr},
    {0x00CA, 2, "position_kd", EField::F32, 0, "", "位置PID参数 Kd", nullptr},
};

const FieldDef kLearn[] = {
    {0x00E1, 1, "learning_request", EField::U16, 0, "", nullptr, nullptr},
    {0x00E2, 1, "learning_state", EField::LearnState, 0, "", nullptr, nullptr},
    {0x00E5, 6, "phase_data", EField::Hex16, 0, "", nullptr, nullptr},
};

const FieldDef kSafety[] = {
    {0x0100, 1, "over_temperature_shutdown", EField::I16, 0, "℃", "过热关断", nullptr},
    {0x0101, 1, "over_temperature_current_limit", EField::I16, 0, "℃", "过热限流", nullptr},
    {0x0102, 1, "over_voltage_shutdown", EField::U16, 1, "V", "过压关断", nullptr},
    {0x0103, 1, "under_voltage_shutdown", EField::U16, 1, "V", "欠压关断", nullptr},
    {0x0104, 1, "over_current_shutdown", EField::U16, 2, "A", "过流关断", nullptr},
    {0x0105, 1, "hall_error_delay", EField::U16, 0, "ms", "霍尔错误", nullptr},
    {0x0106, 1, "current_loop_pid_dynamic", EField::Bool, 0, "", "电流环PID动态调节减小超调",
     nullptr},
    {0x0108, 1, "clear_over_temperature_alarm", EField::Bool, 0, "",
     "当温度低于过热关断条件后清除过热报警", nullptr},
    {0x010A, 1, "temperature_calibration_k", EField::U16, 4, "", "温度校准 k", nullptr},
    {0x010B, 1, "temperature_calibration_b", EField::I16, 1, "℃", "温度校准 b", nullptr},
    {0x010C, 1, "voltage_calibration_k", EField::U16, 4, "", "电压校准 k", nullptr},
    {0x010D, 1, "voltage_calibration_b", EField::I16, 1, "V", "电压校准 b", nullptr},
};

const FieldDef kCanOpen[] = {
    {0x0120, 1, "communication_mode", EField::Bit0Enum, 0, "", "通讯模式", nullptr,
     ITEMS(kCommMode)},
    {0x0121, 1, "node_id", EField::U16, 0, "", "节点ID", nullptr},
    {0x0122, 1, "can_baud", EField::Enum, 0, "", "CAN波特率", nullptr, ITEMS(kCanBaud)},
    {0x0128, 1, "canopen_autostart", EField::Bool, 0, "", "CANOpen自启动", nullptr},
    {0x0129, 1, "heartbeat_period", EField::U16, 0, "ms", "心跳周期", nullptr},
};

#define FIELDS(a) a, static_cast<int>(sizeof a / sizeof a[0])

const std::vector<BlockDef> kBlocks = {
    {"device-info", "Device information", nullptr, 0x0000, 16, false, false, FIELDS(kDeviceInfo)},
    {"status", "Real-time status", nullptr, 0x0020, 28, false, false, FIELDS(kStatus)},
    {"ramp", "Ramps", "电机控制", 0x0050, 4, true, false, FIELDS(kRamp)},
    {"motor", "Motor parameters", "电机参数", 0x0060, 27, true, false, FIELDS(kMotor)},
    {"system-a", "System parameters A", "系统参数", 0x0080, 16, true, false, FIELDS(kSystemA)},
    {"comm-a", "Communication parameters A", "通讯参数", 0x0090, 6, true, true, FIELDS(kCommA)},
    {"system-b", "System parameters B", "系统参数", 0x0096, 6, true, false, FIELDS(kSystemB)},
    {"comm-b", "Communication parameters B", "通讯参数", 0x009C, 2, true, true, FIELDS(kCommB)},
    {"reciprocate", "Reciprocating motion", "往复运动", 0x00A0, 10, true, false,
     FIELDS(kReciprocate)},
    {"preset-speed", "Preset speeds", "往复运动", 0x00B0, 4, true, false, FIELDS(kPreset)},
    {"pid", "PID gains", "PID参数", 0x00BA, 18, true, false, FIELDS(kPid)},
    // Read as the learning procedure reads it: 5 + 6 registers.
    {"learn", "Motor learning", nullptr, 0x00E0, 11, false, false, FIELDS(kLearn)},
    {"safety", "Safety protection", "安全保护", 0x0100, 14, true, false, FIELDS(kSafety)},
    {"canopen", "CANopen", "通讯参数", 0x0120, 10, true, true, FIELDS(kCanOpen)},
};

static_assert(RampBlock::kCount == 4 && MotorParamBlock::kCount == 27 &&
              SystemBlockA::kCount == 16 && CommBlockA::kCount == 6 && SystemBlockB::kCount == 6 &&
              CommBlockB::kCount == 2 && ReciprocateBlock::kCount == 10 &&
              PresetSpeedBlock::kCount == 4 && PidBlock::kCount == 18 &&
              SafetyBlock::kCount == 14 && CanOpenBlock::kCount == 10);

std::string Hex4(uint16_t v) {
    return StrFormat("0x%04X", v);
}

FieldValue Number(std::string text) {
    return {FieldValue::EKind::Number, std::move(text), false};
}

FieldValue Text(std::string text) {
    return {FieldValue::EKind::String, std::move(text), false};
}

std::string WithUnit(const std::string& v, const std::string& unit) {
    if (unit.empty())
        return v;
    if (unit == "%" || unit == "℃" || unit == ":1")
        return v + unit;
    return v + " " + unit;
}

} // namespace

std::string FormatScaled(int64_t raw, int decimals) {
    bool neg = raw < 0;
    uint64_t mag = neg ? 0 - static_cast<uint64_t>(raw) : static_cast<uint64_t>(raw);
    std::string digits = std::to_string(mag);
    if (decimals > 0) {
        if (digits.size() <= static_cast<size_t>(decimals))
            digits.insert(0, static_cast<size_t>(decimals) + 1 - digits.size(), '0');
        digits.insert(digits.size() - static_cast<size_t>(decimals), ".");
    }
    return neg ? "-" + digits : digits;
}

std::string FormatFloat(float f) {
    if (std::isnan(f))
        return "nan";
    if (std::isinf(f))
        return f < 0 ? "-inf" : "inf";
    char buf[64];
    auto r = std::to_chars(buf, buf + sizeof buf, f);
    return std::string(buf, r.ptr);
}

const std::vector<BlockDef>& AllBlocks() {
    return kBlocks;
}

const BlockDef* FindBlock(std::string_view name) {
    for (const auto& b : kBlocks)
        if (name == b.name)
            return &b;
    return nullptr;
}

const BlockDef* BlockOf(uint16_t addr) {
    for (const auto& b : kBlocks)
        if (addr >= b.start && addr < b.start + b.count)
            return &b;
    return nullptr;
}

const FieldDef* FindField(const BlockDef& block, uint16_t addr) {
    for (int i = 0; i < block.fieldCount; ++i)
        if (block.fields[i].addr == addr)
            return &block.fields[i];
    return nullptr;
}

const FieldDef* FindField(uint16_t addr) {
    const BlockDef* b = BlockOf(addr);
    return b ? FindField(*b, addr) : nullptr;
}

const FieldDef& CatalogueField(uint16_t addr) {
    const FieldDef* f = FindField(addr);
    if (!f)
        std::abort(); // a page names a register the catalogue does not have
    return *f;
}

const FieldDef* FindField(std::string_view qualified, const BlockDef** block) {
    const size_t dot = qualified.find('.');
    if (dot == std::string_view::npos)
        return nullptr;
    const BlockDef* b = FindBlock(qualified.substr(0, dot));
    if (!b)
        return nullptr;
    const std::string_view name = qualified.substr(dot + 1);
    for (int i = 0; i < b->fieldCount; ++i)
        if (name == b->fields[i].name) {
            if (block)
                *block = b;
            return &b->fields[i];
        }
    return nullptr;
}

const FieldDef& CatalogueField(std::string_view qualified) {
    const FieldDef* f = FindField(qualified);
    if (!f)
        std::abort(); // a surface names a field the catalogue does not have
    return *f;
}

std::vector<std::string> FieldItems(const FieldDef& f) {
    return std::vector<std::string>(f.items, f.items + f.itemCount);
}

std::vector<std::string> FieldItems(uint16_t addr) {
    return FieldItems(CatalogueField(addr));
}

const char* FieldItem(const FieldDef& f, int index) {
    return index >= 0 && index < f.itemCount ? f.items[index] : nullptr;
}

bool FieldIsSigned(const FieldDef& f) {
    return f.type == EField::I16 || f.type == EField::I32 || f.type == EField::CommFreq;
}

bool BlockUsesSpeedUnit(const BlockDef& def) {
    for (int i = 0; i < def.fieldCount; ++i)
        if (def.fields[i].type == EField::Speed || def.fields[i].type == EField::PresetSpeed)
            return true;
    return false;
}

std::vector<const BlockDef*> ExportBlocks() {
    std::vector<const BlockDef*> out;
    for (const auto& b : kBlocks)
        if (b.writable && !b.comm)
            out.push_back(&b);
    // CANopen first: the RS-485 settings, which can cut the line, come last,
    // the slave address last of all.
    for (const char* n : {"canopen", "comm-a", "comm-b"})
        out.push_back(FindBlock(n));
    return out;
}

static DecodedField DecodeField(const FieldDef& f, const BlockDef& b,
                                const std::vector<uint16_t>& regs, const DecodeContext& ctx) {
    DecodedField d;
    d.name = f.name;
    d.addr = f.addr;
    d.unit = f.unit;
    auto reg = [&](uint16_t addr) -> uint16_t {
        size_t i = static_cast<size_t>(addr - b.start);
        return i < regs.size() ? regs[i] : 0;
    };
    for (uint16_t k = 0; k < f.regs; ++k)
        d.raw.push_back(reg(static_cast<uint16_t>(f.addr + k)));
    const uint16_t r = d.raw[0];
    const uint32_t r32 = f.regs >= 2 ? (static_cast<uint32_t>(r) << 16) | d.raw[1] : r;
    auto numeric = [&](int64_t v, int decimals) {
        d.value = Number(FormatScaled(v, decimals));
        d.text = WithUnit(FormatScaled(v, decimals), d.unit);
    };
    auto boolean = [&](bool v) {
        d.value = {FieldValue::EKind::Bool, "", v};
        d.text = v ? "yes" : "no";
    };
    auto item = [&](uint16_t index) {
        d.value = Number(std::to_string(index));
        d.text = index < f.itemCount ? std::string(f.items[index])
                                     : StrFormat("(no item for %u)", index);
    };
    switch (f.type) {
    case EField::U16:
        numeric(r, f.decimals);
        break;
    case EField::I16:
        numeric(static_cast<int16_t>(r), f.decimals);
        break;
    case EField::U32:
        numeric(r32, f.decimals);
        break;
    case EField::I32:
        numeric(static_cast<int32_t>(r32), f.decimals);
        break;
    case EField::F32: {
        float v;
        std::memcpy(&v, &r32, sizeof v);
        d.text = FormatFloat(v);
        d.value = std::isfinite(v) ? Number(d.text) : FieldValue{};
        break;
    }
    case EField::Bool:
        boolean(r != 0);
        break;
    case EField::Bit0:
        boolean((r & 1) != 0);
        break;
    case EField::ZeroYes:
        boolean(r == 0);
        break;
    case EField::Enum:
        item(r);
        break;
    case EField::Bit0Enum:
        item(r & 1);
        break;
    case EField::Speed:
    case EField::MotorSpeed:
    case EField::PresetSpeed: {
        const int decimals = FieldDecimals(f, b, regs, ctx);
        if (f.type == EField::PresetSpeed && decimals == 2)
            d.unit = "A";
        numeric(r, decimals);
        break;
    }
    case EField::Hex16: {
        std::string t;
        for (uint16_t v : d.raw) {
            t += (t.empty() ? "" : " ") + Hex4(v);
        }
        d.value = Text(t);
        d.text = t;
        break;
    }
    case EField::PhaseBytes: {
        std::string t;
        for (uint16_t v : d.raw)
            t += StrFormat("%s%02X %02X", t.empty() ? "" : " ", v >> 8, v & 0xFF);
        d.value = Text(t);
        d.text = t;
        break;
    }
    case EField::LearnState:
        d.value = Number(std::to_string(r));
        d.text = r == kLearnStateSucceeded ? LearnOutcomeText(ELearnState::Succeeded)
                 : r == kLearnStateFailed  ? LearnOutcomeText(ELearnState::Failed)
                                           : StrFormat("running (%u)", r);
        break;
    case EField::CommFreq:
        numeric(static_cast<int16_t>(r), FieldDecimals(f, b, regs, ctx));
        break;
    case EField::Rpm:
        if (r == 0xFFFF) {
            d.value = FieldValue{};
            d.text = "-";
        } else {
            numeric(static_cast<int64_t>(r) * (reg(kRegSpeedScaleX10) ? 10 : 1), 0);
        }
        break;
    case EField::ModelText: {
        DeviceInfoBlock info;
        for (int k = 0; k < 8; ++k)
            info.At(static_cast<uint16_t>(0x0002 + k)) = d.raw[static_cast<size_t>(k)];
        d.text = DeviceModelText(info);
        d.value = Text(d.text);
        break;
    }
    case EField::Version:
        d.text = StrFormat("%d.%02d", r >> 8, r & 0xFF);
        d.value = Text(d.text);
        break;
    }
    return d;
}

std::vector<DecodedField> DecodeBlock(const BlockDef& b, const std::vector<uint16_t>& regs,
                                      const DecodeContext& ctx) {
    std::vector<DecodedField> out;
    for (int i = 0; i < b.fieldCount; ++i)
        out.push_back(DecodeField(b.fields[i], b, regs, ctx));

    // The main window's own texts where it shows these blocks.
    std::map<std::string, std::string> texts;
    if (b.start == DeviceInfoBlock::kStart && regs.size() >= DeviceInfoBlock::kCount) {
        DeviceInfoBlock blk;
        std::copy(regs.begin(), regs.begin() + blk.kCount, blk.m_reg.begin());
        DeviceInfoTexts t = FormatDeviceInfo(blk);
        texts = {{"identifier", t.id},
                 {"version", t.version},
                 {"model", t.model},
                 {"pwm_resolution", t.pwmResolution},
                 {"pwm_frequency", t.pwmFrequency},
                 {"max_current", t.maxCurrent},
                 {"current_resolution", t.currentResolution}};
    } else if (b.start == RealtimeStatusBlock::kStart &&
               regs.size() >= RealtimeStatusBlock::kCount) {
        RealtimeStatusBlock blk;
        std::copy(regs.begin(), regs.begin() + blk.kCount, blk.m_reg.begin());
        StatusTexts t = FormatRealtimeStatus(blk);
        texts = {{"input_voltage", t.inputVoltage},
                 {"output_pwm", t.outputPwm},
                 {"phase_current", t.phaseCurrent},
                 {"commutation_frequency", t.commFrequency},
                 {"position", t.position},
                 {"completion_time", t.completionTime},
                 {"in1_voltage", t.in1},
                 {"in2_voltage", t.in2},
                 {"in3_voltage", t.in3},
                 {"differential_voltage", t.differential},
                 {"sq1_level", t.sq1},
                 {"sq2_level", t.sq2},
                 {"input_pwm", t.inputPwm},
                 {"input_frequency", t.inputFrequency},
                 {"input_pulses", t.inputPulses},
                 {"motor_speed", t.motorSpeed},
                 {"error_state", t.errorState},
                 {"temperature", t.temperature}};
    }
    for (auto& d : out) {
        auto it = texts.find(d.name);
        if (it != texts.end())
            d.text = it->second;
    }
    return out;
}

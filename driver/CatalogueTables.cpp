// The block catalogue's tables: every field of every block, with the texts
// people read (marked for translation; the tables keep the Chinese source,
// which the configuration file and the commands use as data).

#include "driver/Blocks.h"
#include "driver/Catalogue.h"
#include "lang/Tr.h"

namespace {

constexpr const char* kListA[] = {QT_TRANSLATE_NOOP("driver/Catalogue", "低电平/闭合"),
                                  QT_TRANSLATE_NOOP("driver/Catalogue", "高电平/断开"),
                                  QT_TRANSLATE_NOOP("driver/Catalogue", "下降沿/闭合瞬间"),
                                  QT_TRANSLATE_NOOP("driver/Catalogue", "上升沿/断开瞬间"),
                                  QT_TRANSLATE_NOOP("driver/Catalogue", "禁用")};
constexpr const char* kListC[] = {QT_TRANSLATE_NOOP("driver/Catalogue", "单电位器"),
                                  QT_TRANSLATE_NOOP("driver/Catalogue", "双电位器独立"),
                                  QT_TRANSLATE_NOOP("driver/Catalogue", "双电位器协同")};
constexpr const char* kListD[] = {"PWM", QT_TRANSLATE_NOOP("driver/Catalogue", "频率"),
                                  QT_TRANSLATE_NOOP("driver/Catalogue", "脉冲(计数)")};
constexpr const char* kListE[] = {QT_TRANSLATE_NOOP("driver/Catalogue", "单端信号"),
                                  QT_TRANSLATE_NOOP("driver/Catalogue", "差分信号"),
                                  QT_TRANSLATE_NOOP("driver/Catalogue", "双单端独立"),
                                  QT_TRANSLATE_NOOP("driver/Catalogue", "双单端协同")};
constexpr const char* kListF[] = {QT_TRANSLATE_NOOP("driver/Catalogue", "开关量"), "0/3.3V", "0/5V",
                                  QT_TRANSLATE_NOOP("driver/Catalogue", "0/12V或0/24V")};
// Texts two lists share.
constexpr const char kByDipSwitch[] = QT_TRANSLATE_NOOP("driver/Catalogue", "拨码开关指定");
constexpr const char kSpeedLoop[] = QT_TRANSLATE_NOOP("driver/Catalogue", "速度闭环控制");
constexpr const char* kListG[] = {kByDipSwitch, QT_TRANSLATE_NOOP("driver/Catalogue", "电位器"),
                                  QT_TRANSLATE_NOOP("driver/Catalogue", "模拟信号"),
                                  QT_TRANSLATE_NOOP("driver/Catalogue", "脉冲信号"),
                                  QT_TRANSLATE_NOOP("driver/Catalogue", "内置程序指定")};
constexpr const char* kListH[] = {kByDipSwitch,
                                  QT_TRANSLATE_NOOP("driver/Catalogue", "占空比调速"),
                                  QT_TRANSLATE_NOOP("driver/Catalogue", "力矩控制"),
                                  kSpeedLoop,
                                  QT_TRANSLATE_NOOP("driver/Catalogue", "位置闭环控制"),
                                  QT_TRANSLATE_NOOP("driver/Catalogue", "预设速度控制"),
                                  QT_TRANSLATE_NOOP("driver/Catalogue", "内置程序")};
constexpr const char* kPositionAlgo[] = {QT_TRANSLATE_NOOP("driver/Catalogue", "水平定位控制"),
                                         QT_TRANSLATE_NOOP("driver/Catalogue", "水平滑行定位"),
                                         QT_TRANSLATE_NOOP("driver/Catalogue", "竖直定位控制")};
constexpr const char* kSteadyAlgo[] = {kSpeedLoop,
                                       QT_TRANSLATE_NOOP("driver/Catalogue", "时间-位置闭环"),
                                       QT_TRANSLATE_NOOP("driver/Catalogue", "时间-位置速率"),
                                       QT_TRANSLATE_NOOP("driver/Catalogue", "场定向矢量闭环")};
constexpr const char* kLearnState[] = {QT_TRANSLATE_NOOP("driver/Catalogue", "未学习"),
                                       QT_TRANSLATE_NOOP("driver/Catalogue", "已学习")};
constexpr const char* kParity[] = {QT_TRANSLATE_NOOP("driver/Catalogue", "无校验+2停止位"),
                                   QT_TRANSLATE_NOOP("driver/Catalogue", "奇校验+1停止位"),
                                   QT_TRANSLATE_NOOP("driver/Catalogue", "偶校验+1停止位"),
                                   QT_TRANSLATE_NOOP("driver/Catalogue", "无校验+1停止位")};
constexpr const char* kCanBaud[] = {"10kbps",  "20kbps",  "50kbps",  "125kbps",
                                    "250kbps", "500kbps", "800kbps", "1Mbps"};
// The RS-485 rates the driver offers; the register holds the number itself.
constexpr const char* kRs485Baud[] = {"9600 ", "19200", "38400", "57600", "115200"};
constexpr const char* kCommMode[] = {"485/CAN", "CANOpen"};
constexpr const char* kHoming[] = {QT_TRANSLATE_NOOP("driver/Catalogue", "不复位"),
                                   QT_TRANSLATE_NOOP("driver/Catalogue", "SQ2复位"),
                                   QT_TRANSLATE_NOOP("driver/Catalogue", "SQ1复位")};
constexpr const char* kSpeedMode[] = {QT_TRANSLATE_NOOP("driver/Catalogue", "占空比"),
                                      QT_TRANSLATE_NOOP("driver/Catalogue", "力矩"),
                                      QT_TRANSLATE_NOOP("driver/Catalogue", "速度闭环"),
                                      QT_TRANSLATE_NOOP("driver/Catalogue", "位置闭环")};
constexpr const char* kControlMode[] = {QT_TRANSLATE_NOOP("driver/Catalogue", "双触点"),
                                        QT_TRANSLATE_NOOP("driver/Catalogue", "单触点")};

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
    {0x0038, 1, "input_voltage", EField::U16, 1, "V",
     QT_TRANSLATE_NOOP("driver/Catalogue", "输入电压"), nullptr},
    {0x003A, 1, "input_current", EField::U16, 2, "A",
     QT_TRANSLATE_NOOP("driver/Catalogue", "输入电流"), nullptr},
    {0x0020, 1, "output_pwm", EField::I16, 1, "%", QT_TRANSLATE_NOOP("driver/Catalogue", "输出PWM"),
     nullptr},
    {0x0021, 1, "phase_current", EField::U16, 2, "A",
     QT_TRANSLATE_NOOP("driver/Catalogue", "相电流"), nullptr},
    {0x0022, 1, "commutation_frequency", EField::CommFreq, 0, "Hz",
     QT_TRANSLATE_NOOP("driver/Catalogue", "换向频率"), nullptr},
    {0x0024, 2, "position", EField::I32, 0, "pulses",
     QT_TRANSLATE_NOOP("driver/Catalogue", "转动位置"), nullptr},
    {0x0026, 2, "completion_time", EField::U32, 3, "s", nullptr, nullptr},
    {0x0023, 1, "motion_complete", EField::Bool, 0, "", nullptr, nullptr},
    {0x0028, 1, "in1_voltage", EField::I16, 3, "V",
     QT_TRANSLATE_NOOP("driver/Catalogue", "IN1电压"), nullptr},
    {0x0029, 1, "in2_voltage", EField::I16, 3, "V",
     QT_TRANSLATE_NOOP("driver/Catalogue", "IN2电压"), nullptr},
    {0x002A, 1, "in3_voltage", EField::I16, 3, "V",
     QT_TRANSLATE_NOOP("driver/Catalogue", "IN3电压"), nullptr},
    {0x002B, 1, "differential_voltage", EField::I16, 3, "V",
     QT_TRANSLATE_NOOP("driver/Catalogue", "差分电压"), nullptr},
    {0x002C, 1, "sq1_level", EField::Bool, 0, "", nullptr, nullptr},
    {0x002D, 1, "sq2_level", EField::Bool, 0, "", nullptr, nullptr},
    {0x002E, 1, "input_pwm", EField::U16, 1, "%", nullptr, nullptr},
    {0x002F, 1, "input_frequency", EField::I16, 0, "Hz", nullptr, nullptr},
    {0x0030, 2, "input_pulses", EField::I32, 0, "pulses", nullptr, nullptr},
    {0x0034, 1, "motor_speed", EField::Rpm, 0, "RPM",
     QT_TRANSLATE_NOOP("driver/Catalogue", "电机转速"), nullptr},
    {0x0037, 1, "temperature", EField::I16, 1, "℃",
     QT_TRANSLATE_NOOP("driver/Catalogue", "内部温度"), nullptr},
    {0x0033, 1, "error_state", EField::U16, 0, "", nullptr, nullptr},
    {0x0035, 1, "speed_scale_x10", EField::Bool, 0, "", nullptr, nullptr},
    {0x0036, 1, "speed_unit_hz", EField::Bool, 0, "", nullptr, nullptr},
};

const FieldDef kRamp[] = {
    {0x0050, 1, "pwm_rise_buffer", EField::Speed, 0, "s",
     QT_TRANSLATE_NOOP("driver/Catalogue", "PWM上升缓冲"),
     QT_TRANSLATE_NOOP("driver/Catalogue", "秒")},
    {0x0051, 1, "pwm_fall_buffer", EField::Speed, 0, "s",
     QT_TRANSLATE_NOOP("driver/Catalogue", "PWM下降缓冲"),
     QT_TRANSLATE_NOOP("driver/Catalogue", "秒")},
    {0x0052, 1, "acceleration", EField::Speed, 0, "Hz/s",
     QT_TRANSLATE_NOOP("driver/Catalogue", "加速加速度"), nullptr},
    {0x0053, 1, "deceleration", EField::Speed, 0, "Hz/s",
     QT_TRANSLATE_NOOP("driver/Catalogue", "减速加速度"), nullptr},
};

const FieldDef kMotor[] = {
    {0x0060, 1, "pwm_start_buffer", EField::U16, 1, "s",
     QT_TRANSLATE_NOOP("driver/Catalogue", "PWM调速启动缓冲"),
     QT_TRANSLATE_NOOP("driver/Catalogue", "秒")},
    {0x0061, 1, "pwm_deceleration_buffer", EField::U16, 1, "s",
     QT_TRANSLATE_NOOP("driver/Catalogue", "PWM调速减速缓冲"),
     QT_TRANSLATE_NOOP("driver/Catalogue", "秒")},
    {0x0062, 1, "max_acceleration", EField::MotorSpeed, 0, "Hz/s",
     QT_TRANSLATE_NOOP("driver/Catalogue", "最大加速加速度"), nullptr},
    {0x0063, 1, "default_acceleration", EField::MotorSpeed, 0, "Hz/s",
     QT_TRANSLATE_NOOP("driver/Catalogue", "默认加速加速度"), nullptr},
    {0x0064, 1, "max_deceleration", EField::MotorSpeed, 0, "Hz/s",
     QT_TRANSLATE_NOOP("driver/Catalogue", "最大减速加速度"), nullptr},
    {0x0065, 1, "default_deceleration", EField::MotorSpeed, 0, "Hz/s",
     QT_TRANSLATE_NOOP("driver/Catalogue", "默认减速加速度"), nullptr},
    {0x0066, 1, "max_commutation_frequency", EField::MotorSpeed, 0, "Hz",
     QT_TRANSLATE_NOOP("driver/Catalogue", "最大换向频率"), nullptr},
    {0x0067, 1, "default_commutation_frequency", EField::MotorSpeed, 0, "Hz",
     QT_TRANSLATE_NOOP("driver/Catalogue", "默认换向频率"), nullptr},
    {0x0069, 1, "position_control_algorithm", EField::Enum, 0, "",
     QT_TRANSLATE_NOOP("driver/Catalogue", "位置控制算法"), nullptr, ITEMS(kPositionAlgo)},
    {0x006A, 1, "rated_current", EField::U16, 2, "A",
     QT_TRANSLATE_NOOP("driver/Catalogue", "电机额定电流"), nullptr},
    {0x006B, 1, "max_load_current", EField::U16, 2, "A",
     QT_TRANSLATE_NOOP("driver/Catalogue", "最大负载电流"), nullptr},
    {0x006C, 1, "brake_compensation_current", EField::U16, 2, "A",
     QT_TRANSLATE_NOOP("driver/Catalogue", "制动补偿电流"), nullptr},
    {0x006D, 3, "phase_sequence", EField::PhaseBytes, 0, "",
     QT_TRANSLATE_NOOP("driver/Catalogue", "电机相序数据"), nullptr},
    {0x0070, 1, "steady_speed_algorithm", EField::Enum, 0, "",
     QT_TRANSLATE_NOOP("driver/Catalogue", "稳速控制算法"), nullptr, ITEMS(kSteadyAlgo)},
    {0x0071, 1, "position_tolerance", EField::U16, 0, "pulses",
     QT_TRANSLATE_NOOP("driver/Catalogue", "位置控制允许误差"),
     QT_TRANSLATE_NOOP("driver/Catalogue", "脉冲")},
    {0x0072, 1, "overshoot_correction", EField::Bit0, 0, "",
     QT_TRANSLATE_NOOP("driver/Catalogue", "位置控制超调后进行校正"), nullptr},
    {0x0073, 1, "motor_poles", EField::U16, 0, "",
     QT_TRANSLATE_NOOP("driver/Catalogue", "电机极个数"),
     QT_TRANSLATE_NOOP("driver/Catalogue", "个")},
    {0x0074, 1, "gear_ratio", EField::U16, 1, ":1",
     QT_TRANSLATE_NOOP("driver/Catalogue", "减速器减速比"), nullptr},
    {0x0075, 1, "learning_state", EField::Bit0Enum, 0, "",
     QT_TRANSLATE_NOOP("driver/Catalogue", "电机学习状态"), nullptr, ITEMS(kLearnState)},
    {0x0076, 1, "learning_disabled", EField::Bit0, 0, "",
     QT_TRANSLATE_NOOP("driver/Catalogue", "禁用电机学习功能"), nullptr},
    {0x0077, 1, "speed_range_x10", EField::Bit0, 0, "",
     QT_TRANSLATE_NOOP("driver/Catalogue", "速度量程×10"), nullptr},
    {0x0078, 1, "holding_current", EField::U16, 2, "A",
     QT_TRANSLATE_NOOP("driver/Catalogue", "常态自锁电流"), nullptr},
    {0x0079, 1, "overload_multiple", EField::U16, 2, "x",
     QT_TRANSLATE_NOOP("driver/Catalogue", "允许…倍最大负载电流输出"),
     QT_TRANSLATE_NOOP("driver/Catalogue", "倍")},
    {0x007A, 1, "overload_duration", EField::U16, 1, "s",
     QT_TRANSLATE_NOOP("driver/Catalogue", "…倍最大负载电流输出的时间"),
     QT_TRANSLATE_NOOP("driver/Catalogue", "秒")},
};

const FieldDef kSystemA[] = {
    {0x0080, 1, "limit_trigger_polarity", EField::Enum, 0, "",
     QT_TRANSLATE_NOOP("driver/Catalogue", "限位触发极性"), nullptr, ITEMS(kListA)},
    {0x0081, 1, "digital_signal_polarity", EField::Enum, 0, "",
     QT_TRANSLATE_NOOP("driver/Catalogue", "数字信号极性"), nullptr, kListA, 4},
    {0x0082, 1, "potentiometer_use", EField::Enum, 0, "",
     QT_TRANSLATE_NOOP("driver/Catalogue", "电位器用法"), nullptr, ITEMS(kListC)},
    {0x0083, 1, "pulse_signal_type", EField::Enum, 0, "",
     QT_TRANSLATE_NOOP("driver/Catalogue", "脉冲信号类型"), nullptr, ITEMS(kListD)},
    {0x0084, 1, "analog_signal_type", EField::Enum, 0, "",
     QT_TRANSLATE_NOOP("driver/Catalogue", "模拟信号类型"), nullptr, ITEMS(kListE)},
    {0x0085, 1, "logic_level_type", EField::Enum, 0, "",
     QT_TRANSLATE_NOOP("driver/Catalogue", "逻辑电平类型"), nullptr, ITEMS(kListF)},
    {0x0086, 1, "potentiometer_range_low", EField::U16, 3, "V",
     QT_TRANSLATE_NOOP("driver/Catalogue", "电位器电压范围 (下限)"), nullptr},
    {0x0087, 1, "potentiometer_range_high", EField::U16, 3, "V",
     QT_TRANSLATE_NOOP("driver/Catalogue", "电位器电压范围 (上限)"), nullptr},
    {0x0088, 1, "analog_range_low", EField::U16, 3, "",
     QT_TRANSLATE_NOOP("driver/Catalogue", "模拟信号范围 (下限)"), nullptr},
    {0x0089, 1, "analog_range_high", EField::U16, 3, "",
     QT_TRANSLATE_NOOP("driver/Catalogue", "模拟信号范围 (上限)"), nullptr},
    {0x008A, 1, "logic_threshold", EField::U16, 3, "V",
     QT_TRANSLATE_NOOP("driver/Catalogue", "逻辑电平阈值"), nullptr},
    {0x008B, 1, "comparison_dead_band", EField::U16, 3, "V",
     QT_TRANSLATE_NOOP("driver/Catalogue", "电压比较死区"), nullptr},
    {0x008C, 2, "pulse_ratio", EField::F32, 0, "",
     QT_TRANSLATE_NOOP("driver/Catalogue", "脉冲信号倍率"), nullptr},
    {0x008E, 1, "stall_stop_time", EField::U16, 1, "s",
     QT_TRANSLATE_NOOP("driver/Catalogue", "堵转停机时间"),
     QT_TRANSLATE_NOOP("driver/Catalogue", "秒")},
};

const FieldDef kCommA[] = {
    {0x0090, 2, "rs485_baud", EField::U32, 0, "baud",
     QT_TRANSLATE_NOOP("driver/Catalogue", "485波特率"), "", ITEMS(kRs485Baud)},
    {0x0092, 1, "rs485_parity", EField::Enum, 0, "",
     QT_TRANSLATE_NOOP("driver/Catalogue", "校验方式"), nullptr, ITEMS(kParity)},
    {0x0094, 1, "no_configuration_under_comm_control", EField::Bit0, 0, "",
     QT_TRANSLATE_NOOP("driver/Catalogue", "通讯控制时禁止参数配置"), nullptr},
    {0x0095, 1, "comm_loss_brake_time", EField::U16, 1, "s",
     QT_TRANSLATE_NOOP("driver/Catalogue", "通讯中断制动时间"),
     QT_TRANSLATE_NOOP("driver/Catalogue", "秒")},
};

const FieldDef kSystemB[] = {
    {0x0096, 2, "analog_adjust_k", EField::F32, 0, "",
     QT_TRANSLATE_NOOP("driver/Catalogue", "模拟信号调整 y=kx+b 的 k"), nullptr},
    {0x0098, 1, "analog_adjust_b", EField::I16, 3, "",
     QT_TRANSLATE_NOOP("driver/Catalogue", "模拟信号调整 y=kx+b 的 b"), nullptr},
    {0x0099, 1, "buzzer_alarm_disabled", EField::Bit0, 0, "",
     QT_TRANSLATE_NOOP("driver/Catalogue", "禁用蜂鸣器报警"), nullptr},
    {0x009A, 1, "port_input_type", EField::Enum, 0, "",
     QT_TRANSLATE_NOOP("driver/Catalogue", "端口输入类型"), nullptr, ITEMS(kListG)},
    {0x009B, 1, "port_control_type", EField::Enum, 0, "",
     QT_TRANSLATE_NOOP("driver/Catalogue", "端口控制类型"), nullptr, ITEMS(kListH)},
};

const FieldDef kCommB[] = {
    {0x009C, 1, "rs485_slave_address", EField::U16, 0, "",
     QT_TRANSLATE_NOOP("driver/Catalogue", "从站地址"), nullptr},
    {0x009D, 1, "rs485_default_params_under_port_control", EField::ZeroYes, 0, "",
     QT_TRANSLATE_NOOP("driver/Catalogue", "端口控制时485使用默认通讯参数"), nullptr},
};

const FieldDef kReciprocate[] = {
    {0x00A0, 1, "homing_mode", EField::Enum, 0, "",
     QT_TRANSLATE_NOOP("driver/Catalogue", "复位方式"), nullptr, ITEMS(kHoming)},
    {0x00A1, 1, "fine_homing", EField::Bool, 0, "",
     QT_TRANSLATE_NOOP("driver/Catalogue", "启用复位细调"), nullptr},
    {0x00A2, 2, "total_stroke", EField::U32, 0, "pulses",
     QT_TRANSLATE_NOOP("driver/Catalogue", "总行程"),
     QT_TRANSLATE_NOOP("driver/Catalogue", "脉冲")},
    {0x00A4, 1, "homing_coarse_speed", EField::Speed, 0, "Hz",
     QT_TRANSLATE_NOOP("driver/Catalogue", "复位粗调速度"),
     QT_TRANSLATE_NOOP("driver/Catalogue", "Hz(脉冲/秒)")},
    {0x00A5, 1, "homing_fine_speed", EField::Speed, 0, "Hz",
     QT_TRANSLATE_NOOP("driver/Catalogue", "复位细调速度"),
     QT_TRANSLATE_NOOP("driver/Catalogue", "Hz(脉冲/秒)")},
    {0x00A6, 1, "speed_after_completion", EField::Speed, 0, "Hz",
     QT_TRANSLATE_NOOP("driver/Catalogue", "完成后速度"),
     QT_TRANSLATE_NOOP("driver/Catalogue", "Hz(脉冲/秒)")},
    {0x00A7, 1, "ignore_threshold", EField::U16, 1, "%",
     QT_TRANSLATE_NOOP("driver/Catalogue", "忽略变化量低于…的输入信号"), "%"},
    {0x00A8, 1, "rehome_after_limit", EField::Bool, 0, "",
     QT_TRANSLATE_NOOP("driver/Catalogue", "限位后重新复位"), nullptr},
    {0x00A9, 1, "homing_torque", EField::U16, 2, "A",
     QT_TRANSLATE_NOOP("driver/Catalogue", "复位时转矩"), nullptr},
};

const FieldDef kPreset[] = {
    {0x00B0, 1, "speed_control_mode", EField::Enum, 0, "",
     QT_TRANSLATE_NOOP("driver/Catalogue", "调速方式"), nullptr, ITEMS(kSpeedMode)},
    {0x00B1, 1, "control_mode", EField::Enum, 0, "",
     QT_TRANSLATE_NOOP("driver/Catalogue", "控制方式"), nullptr, ITEMS(kControlMode)},
    {0x00B2, 1, "forward_speed", EField::PresetSpeed, 0, "Hz",
     QT_TRANSLATE_NOOP("driver/Catalogue", "正转速度"), nullptr},
    {0x00B3, 1, "reverse_speed", EField::PresetSpeed, 0, "Hz",
     QT_TRANSLATE_NOOP("driver/Catalogue", "反转速度"), nullptr},
};

const FieldDef kPid[] = {
    {0x00BA, 2, "holding_kp", EField::F32, 0, "",
     QT_TRANSLATE_NOOP("driver/Catalogue", "自锁PID参数 Kp"), nullptr},
    {0x00BC, 2, "holding_ki", EField::F32, 0, "",
     QT_TRANSLATE_NOOP("driver/Catalogue", "自锁PID参数 Ki"), nullptr},
    {0x00BE, 2, "holding_kd", EField::F32, 0, "",
     QT_TRANSLATE_NOOP("driver/Catalogue", "自锁PID参数 Kd"), nullptr},
    {0x00C0, 2, "speed_kp", EField::F32, 0, "",
     QT_TRANSLATE_NOOP("driver/Catalogue", "速度PID参数 Kp"), nullptr},
    {0x00C2, 2, "speed_ki", EField::F32, 0, "",
     QT_TRANSLATE_NOOP("driver/Catalogue", "速度PID参数 Ki"), nullptr},
    {0x00C4, 2, "speed_kd", EField::F32, 0, "",
     QT_TRANSLATE_NOOP("driver/Catalogue", "速度PID参数 Kd"), nullptr},
    {0x00C6, 2, "position_kp", EField::F32, 0, "",
     QT_TRANSLATE_NOOP("driver/Catalogue", "位置PID参数 Kp"), nullptr},
    {0x00C8, 2, "position_ki", EField::F32, 0, "",
     QT_TRANSLATE_NOOP("driver/Catalogue", "位置PID参数 Ki"), nullptr},
    {0x00CA, 2, "position_kd", EField::F32, 0, "",
     QT_TRANSLATE_NOOP("driver/Catalogue", "位置PID参数 Kd"), nullptr},
};

const FieldDef kLearn[] = {
    {0x00E1, 1, "learning_request", EField::U16, 0, "", nullptr, nullptr},
    {0x00E2, 1, "learning_state", EField::LearnState, 0, "", nullptr, nullptr},
    {0x00E5, 6, "phase_data", EField::Hex16, 0, "", nullptr, nullptr},
};

const FieldDef kSafety[] = {
    {0x0100, 1, "over_temperature_shutdown", EField::I16, 0, "℃",
     QT_TRANSLATE_NOOP("driver/Catalogue", "过热关断"), nullptr},
    {0x0101, 1, "over_temperature_current_limit", EField::I16, 0, "℃",
     QT_TRANSLATE_NOOP("driver/Catalogue", "过热限流"), nullptr},
    {0x0102, 1, "over_voltage_shutdown", EField::U16, 1, "V",
     QT_TRANSLATE_NOOP("driver/Catalogue", "过压关断"), nullptr},
    {0x0103, 1, "under_voltage_shutdown", EField::U16, 1, "V",
     QT_TRANSLATE_NOOP("driver/Catalogue", "欠压关断"), nullptr},
    {0x0104, 1, "over_current_shutdown", EField::U16, 2, "A",
     QT_TRANSLATE_NOOP("driver/Catalogue", "过流关断"), nullptr},
    {0x0105, 1, "hall_error_delay", EField::U16, 0, "ms",
     QT_TRANSLATE_NOOP("driver/Catalogue", "霍尔错误"), nullptr},
    {0x0106, 1, "current_loop_pid_dynamic", EField::Bool, 0, "",
     QT_TRANSLATE_NOOP("driver/Catalogue", "电流环PID动态调节减小超调"), nullptr},
    {0x0108, 1, "clear_over_temperature_alarm", EField::Bool, 0, "",
     QT_TRANSLATE_NOOP("driver/Catalogue", "当温度低于过热关断条件后清除过热报警"), nullptr},
    {0x010A, 1, "temperature_calibration_k", EField::U16, 4, "",
     QT_TRANSLATE_NOOP("driver/Catalogue", "温度校准 k"), nullptr},
    {0x010B, 1, "temperature_calibration_b", EField::I16, 1, "℃",
     QT_TRANSLATE_NOOP("driver/Catalogue", "温度校准 b"), nullptr},
    {0x010C, 1, "voltage_calibration_k", EField::U16, 4, "",
     QT_TRANSLATE_NOOP("driver/Catalogue", "电压校准 k"), nullptr},
    {0x010D, 1, "voltage_calibration_b", EField::I16, 1, "V",
     QT_TRANSLATE_NOOP("driver/Catalogue", "电压校准 b"), nullptr},
};

const FieldDef kCanOpen[] = {
    {0x0120, 1, "communication_mode", EField::Bit0Enum, 0, "",
     QT_TRANSLATE_NOOP("driver/Catalogue", "通讯模式"), nullptr, ITEMS(kCommMode)},
    {0x0121, 1, "node_id", EField::U16, 0, "", QT_TRANSLATE_NOOP("driver/Catalogue", "节点ID"),
     nullptr},
    {0x0122, 1, "can_baud", EField::Enum, 0, "", QT_TRANSLATE_NOOP("driver/Catalogue", "CAN波特率"),
     nullptr, ITEMS(kCanBaud)},
    {0x0128, 1, "canopen_autostart", EField::Bool, 0, "",
     QT_TRANSLATE_NOOP("driver/Catalogue", "CANOpen自启动"), nullptr},
    {0x0129, 1, "heartbeat_period", EField::U16, 0, "ms",
     QT_TRANSLATE_NOOP("driver/Catalogue", "心跳周期"), nullptr},
};

#define FIELDS(a) a, static_cast<int>(sizeof a / sizeof a[0])

const std::vector<BlockDef> kBlocks = {
    {"device-info", "Device information", nullptr, 0x0000, 16, false, false, FIELDS(kDeviceInfo)},
    {"status", "Real-time status", nullptr, 0x0020, 28, false, false, FIELDS(kStatus)},
    {"ramp", "Ramps", QT_TRANSLATE_NOOP("driver/Catalogue", "电机控制"), 0x0050, 4, true, false,
     FIELDS(kRamp)},
    {"motor", "Motor parameters", QT_TRANSLATE_NOOP("driver/Catalogue", "电机参数"), 0x0060, 27,
     true, false, FIELDS(kMotor)},
    {"system-a", "System parameters A", QT_TRANSLATE_NOOP("driver/Catalogue", "系统参数"), 0x0080,
     16, true, false, FIELDS(kSystemA)},
    {"comm-a", "Communication parameters A", QT_TRANSLATE_NOOP("driver/Catalogue", "通讯参数"),
     0x0090, 6, true, true, FIELDS(kCommA)},
    {"system-b", "System parameters B", QT_TRANSLATE_NOOP("driver/Catalogue", "系统参数"), 0x0096,
     6, true, false, FIELDS(kSystemB)},
    {"comm-b", "Communication parameters B", QT_TRANSLATE_NOOP("driver/Catalogue", "通讯参数"),
     0x009C, 2, true, true, FIELDS(kCommB)},
    {"reciprocate", "Reciprocating motion", QT_TRANSLATE_NOOP("driver/Catalogue", "往复运动"),
     0x00A0, 10, true, false, FIELDS(kReciprocate)},
    {"preset-speed", "Preset speeds", QT_TRANSLATE_NOOP("driver/Catalogue", "往复运动"), 0x00B0, 4,
     true, false, FIELDS(kPreset)},
    {"pid", "PID gains", QT_TRANSLATE_NOOP("driver/Catalogue", "PID参数"), 0x00BA, 18, true, false,
     FIELDS(kPid)},
    // Read as the learning procedure reads it: 5 + 6 registers.
    {"learn", "Motor learning", nullptr, 0x00E0, 11, false, false, FIELDS(kLearn)},
    {"safety", "Safety protection", QT_TRANSLATE_NOOP("driver/Catalogue", "安全保护"), 0x0100, 14,
     true, false, FIELDS(kSafety)},
    {"canopen", "CANopen", QT_TRANSLATE_NOOP("driver/Catalogue", "通讯参数"), 0x0120, 10, true,
     true, FIELDS(kCanOpen)},
};

static_assert(RampBlock::kCount == 4 && MotorParamBlock::kCount == 27 &&
              SystemBlockA::kCount == 16 && CommBlockA::kCount == 6 && SystemBlockB::kCount == 6 &&
              CommBlockB::kCount == 2 && ReciprocateBlock::kCount == 10 &&
              PresetSpeedBlock::kCount == 4 && PidBlock::kCount == 18 &&
              SafetyBlock::kCount == 14 && CanOpenBlock::kCount == 10);

} // namespace

const std::vector<BlockDef>& AllBlocks() {
    return kBlocks;
}

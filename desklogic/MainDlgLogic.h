#pragma once
// The connection panel's rules as plain functions (no widgets).

#include "desklogic/CtrlValues.h"
#include "driver/Format.h"
#include "modbus/LinkStats.h"

#include <array>
#include <cstdint>
#include <string>
#include <vector>

// Address from the seven check boxes (bit i = box "i+1"): 1 to 128.
uint8_t AddressFromBits(unsigned bits);
// Check-box bits for an address: those of address - 1 for 1..128, none for
// 0 and 129..255.
unsigned BitsFromAddress(uint8_t addr);
// The address edit's text: "0x%02X".
std::string AddressText(uint8_t addr);
// The address typed into the edit: hexadecimal after "0x" (either case),
// else decimal, 0 to 255; false for anything else, which must not send a
// frame to another driver (a typed 300 is not slave 44).
bool ParseAddressText(const std::string& text, uint8_t& addr);

// A frame for the traffic box: "%02X " per byte ("" for none).
std::string TrafficText(const std::vector<uint8_t>& bytes);

// The baud rate a combo item stands for (its leading decimal digits).
int BaudFromText(const std::string& text);

// The device information group's fields by control ID.
CtrlValues DeviceInfoValues(const DeviceInfoBlock& b);
// The real-time status group's eighteen fields by control ID.
CtrlValues StatusValues(const RealtimeStatusBlock& b);
// The fields that show the result text when a status poll fails; the other
// ten keep their last values.
inline constexpr std::array<int, 8> kPollFailureFields = {1025, 1026, 1030, 1031,
                                                          1033, 1034, 1035, 1027};
// All eighteen status fields.
inline constexpr std::array<int, 18> kStatusFields = {1025, 1026, 1027, 1028, 1029, 1030,
                                                      1031, 1032, 1033, 1034, 1035, 1036,
                                                      1037, 1038, 1039, 1040, 1041, 1042};
// Whether a status read shows the motor turning: output PWM or commutation
// frequency not zero.
bool MotorRunning(const RealtimeStatusBlock& b);

// The link summary under the status group: poll rate, median round trip and
// the failures since the port opened.
std::string LinkSummaryText(const SLinkSummary& s);

// The port combo's hint for a device: the device, and for a USB adapter whose
// latency timer holds replies back, a second line with the fix.
std::string PortToolTip(const std::string& device, const std::string& sysRoot = "/sys");

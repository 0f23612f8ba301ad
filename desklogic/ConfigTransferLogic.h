#pragma once
// 导出配置 and 载入配置 without widgets: the device work a load runs on its
// worker after the comparison, and the texts the flows show. No Qt here; the
// reading and the comparison themselves are the driver's (driver/ConfigFile.h),
// shared with the command line.

#include "driver/ConfigFile.h"

#include <functional>
#include <string>
#include <vector>

// The file's value as the comparison shows it, marked when a person edited
// the field in the file.
std::string FileShownText(const ConfigDiff& d);

// A failed read for a message box: verb ("读取", "读回"), the step ("电机参数
// (motor)", or deviceInfo for the device information step), "失败" and why.
std::string ReadFailureText(const ConfigRead& r, const std::string& verb,
                            const std::string& deviceInfo);

// A list of problems under a heading; very long lists are cut with a count.
std::string ProblemsText(const std::string& heading, const std::vector<std::string>& problems);

// The line the port runs at, as slave address, baud rate and parity choice.
ConfigLine PresentLine(CMotorDriver& drv, uint8_t slave);

// What writing a load did: the blocks and objects written, what still differs
// when read back, the line the driver answers on afterwards, and on failure
// the text to show.
struct SLoadResult {
    std::vector<std::string> written;
    std::vector<ConfigDiff> after;
    ConfigLine now;
    std::string failure;
};

// The steps WriteLoad reports.
int WriteLoadSteps(const ConfigImage& used, const ConfigWritePlan& plan);
// Writes the plan in the command line's order, reads everything back and
// compares; the communication blocks last, read back at the driver's new line
// settings when the ones before (the port's) no longer answer, and the port
// is left at them. progress is called with each step's text.
SLoadResult WriteLoad(CMotorDriver& drv, uint8_t slave, const ConfigImage& used,
                      const ConfigImage& dev, const ConfigWritePlan& plan, const DecodeContext& ctx,
                      const ConfigLine& before,
                      const std::function<void(const std::string&)>& progress);

// The closing message of a load. diffs are those the comparison showed;
// includeComm whether the communication groups were written.
std::string LoadResultText(const SLoadResult& result, const ConfigLine& before,
                           const std::vector<ConfigDiff>& diffs, bool includeComm);

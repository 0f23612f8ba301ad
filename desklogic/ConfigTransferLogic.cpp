#include "desklogic/ConfigTransferLogic.h"

#include "driver/Format.h"

namespace {

const char* const kPressReadNote = "各页显示的数值没有改变，请按“读取”查看新的数值。";

std::string DiffsText(const std::vector<ConfigDiff>& diffs) {
    std::string text;
    for (const ConfigDiff& d : diffs)
        text += "\n" + d.page + " - " + d.label + ": 设备 " + d.device.shown + ", 文件 " +
                FileShownText(d);
    return text;
}

} // namespace

std::string FileShownText(const ConfigDiff& d) {
    return d.file.shown + (d.edited ? " (文件中已修改)" : "");
}

std::string ReadFailureText(const ConfigRead& r, const std::string& verb,
                            const std::string& deviceInfo) {
    const bool info = r.step.kind == ConfigReadStep::EKind::DeviceInfo;
    return verb + (info ? deviceInfo : r.step.text) + "失败\n" + r.Reason(false);
}

std::string ProblemsText(const std::string& heading, const std::vector<std::string>& problems) {
    constexpr size_t kShown = 40;
    std::string text = heading;
    for (size_t i = 0; i < problems.size() && i < kShown; ++i)
        text += "\n" + problems[i];
    if (problems.size() > kShown)
        text += StrFormat("\n… 共 %zu 处问题", problems.size());
    return text;
}

ConfigLine PresentLine(CMotorDriver& drv, uint8_t slave) {
    const std::string s = drv.LineSettingsText(); // "9600,n,8,2"
    ConfigLine line;
    line.slave = slave;
    line.baud = ParseLeadingInt(s);
    const size_t comma = s.find(',');
    const char parity = comma + 1 < s.size() ? s[comma + 1] : 'n';
    line.framing = parity == 'o' ? 1 : parity == 'e' ? 2 : s.size() >= 1 && s.back() == '1' ? 3 : 0;
    return line;
}

int WriteLoadSteps(const ConfigImage& used, const ConfigWritePlan& plan) {
    const ConfigImage rest = WithoutCommBlocks(used);
    return static_cast<int>(plan.blocks.size() + plan.pdos.size() + (plan.sync ? 1 : 0) +
                            ConfigReadStepCount({&rest}) + plan.commBlocks.size() + 1);
}

SLoadResult WriteLoad(CMotorDriver& drv, uint8_t slave, const ConfigImage& used,
                      const ConfigImage& dev, const ConfigWritePlan& plan, const DecodeContext& ctx,
                      const ConfigLine& before,
                      const std::function<void(const std::string&)>& progress) {
    SLoadResult out;
    out.now = before;
    auto onWritten = [&](const std::string& name) {
        out.written.push_back(name);
        progress("已写入: " + name);
    };
    std::string what, error;
    if (!WriteConfigPart(drv, slave, used, dev, plan, EWritePart::Main, onWritten, what, error)) {
        out.failure = "写入" + what + "失败\n" + error;
        return out;
    }
    // Checked while the line is surely as it was.
    const ConfigImage rest = WithoutCommBlocks(used);
    ConfigImage back;
    const ConfigRead r = ReadConfiguration(
        drv, slave, {&rest},
        [&](int, const std::string& name) {
            progress("正在读回: " + name);
            return true;
        },
        back);
    if (r.end != ConfigRead::EEnd::Done) {
        out.failure = ReadFailureText(r, "读回", "");
        return out;
    }
    out.after = CompareImages(rest, back, ctx);
    if (plan.commBlocks.empty())
        return out;
    if (!WriteConfigPart(drv, slave, used, dev, plan, EWritePart::Comm, onWritten, what, error)) {
        out.failure = "写入" + what + "失败\n" + error;
        return out;
    }
    progress("正在读回: 通讯参数");
    const ConfigImage commOnly = CommBlocksOnly(used);
    ConfigImage got;
    ResultCode rc = ReadBlocks(drv, slave, commOnly, got);
    const ConfigLine next = ConfigLineOf(used, before);
    if ((rc == kResultTimeout || rc == kResultBadReply) && !(next == before)) {
        // The driver may already answer at its new settings.
        const std::string old = drv.LineSettingsText();
        const std::string settings = CMotorDriver::SettingsString(next.baud, next.framing);
        if (drv.SetLineSettings(settings)) {
            rc = ReadBlocks(drv, static_cast<uint8_t>(next.slave), commOnly, got);
            if (rc == kResultOk)
                out.now = next;
            else
                drv.SetLineSettings(old);
        }
    }
    if (rc != kResultOk) {
        out.failure = "读回通讯参数失败\n" + ResultText(rc);
        return out;
    }
    const auto commDiffs = CompareImages(commOnly, got, ctx);
    out.after.insert(out.after.end(), commDiffs.begin(), commDiffs.end());
    return out;
}

std::string LoadResultText(const SLoadResult& result, const ConfigLine& before,
                           const std::vector<ConfigDiff>& diffs, bool includeComm) {
    std::string note;
    if (!(result.now == before))
        note = StrFormat("\n设备现在的通讯设置: 地址 %d, 波特率 %d, 已设到通讯设置中。",
                         result.now.slave, result.now.baud);
    if (!includeComm) {
        size_t left = 0;
        for (const ConfigDiff& d : diffs)
            left += d.comm;
        if (left)
            note += StrFormat("\n通讯参数 (%zu 处不同) 没有写入。", left);
    }
    if (!result.failure.empty()) {
        std::string done;
        for (const std::string& w : result.written)
            done += (done.empty() ? "" : ", ") + w;
        return result.failure + "\n已写入: " + (done.empty() ? "无" : done) + note;
    }
    if (result.after.empty())
        return "操作成功" + note + "\n" + kPressReadNote;
    return StrFormat("写入后仍有 %zu 处不同:", result.after.size()) + DiffsText(result.after) +
           note + "\n" + kPressReadNote;
}

#include "desklogic/ConfigTransferLogic.h"

#include "driver/Format.h"
#include "lang/Tr.h"

namespace {

std::string PressReadNote() {
    return lang::translate("desklogic/ConfigTransferLogic",
                           "各页显示的数值没有改变，请按“读取”查看新的数值。");
}

std::string DiffsText(const std::vector<ConfigDiff>& diffs) {
    std::string text;
    for (const ConfigDiff& d : diffs)
        text += lang::Args(
            lang::translate("desklogic/ConfigTransferLogic", "\n%1 - %2: 设备 %3, 文件 %4"),
            {d.page, d.label, d.device.shown, FileShownText(d)});
    return text;
}

} // namespace

std::string FileShownText(const ConfigDiff& d) {
    return d.file.shown +
           (d.edited ? lang::translate("desklogic/ConfigTransferLogic", " (文件中已修改)") : "");
}

std::string ReadFailureText(const ConfigRead& r, const std::string& verb,
                            const std::string& deviceInfo) {
    const bool info = r.step.kind == ConfigReadStep::EKind::DeviceInfo;
    return lang::Args(lang::translate("desklogic/ConfigTransferLogic", "%1%2失败\n%3"),
                      {verb, info ? deviceInfo : r.step.text, r.Reason(false)});
}

std::string ProblemsText(const std::string& heading, const std::vector<std::string>& problems) {
    constexpr size_t kShown = 40;
    std::string text = heading;
    for (size_t i = 0; i < problems.size() && i < kShown; ++i)
        text += "\n" + problems[i];
    if (problems.size() > kShown)
        text +=
            StrFormat(lang::translate("desklogic/ConfigTransferLogic", "\n… 共 %zu 处问题").c_str(),
                      problems.size());
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
        progress(lang::translate("desklogic/ConfigTransferLogic", "已写入: ") + name);
    };
    std::string what, error;
    if (!WriteConfigPart(drv, slave, used, dev, plan, EWritePart::Main, onWritten, what, error)) {
        out.failure = lang::Args(lang::translate("desklogic/ConfigTransferLogic", "写入%1失败\n%2"),
                                 {what, error});
        return out;
    }
    // Checked while the line is surely as it was.
    const ConfigImage rest = WithoutCommBlocks(used);
    ConfigImage back;
    const ConfigRead r = ReadConfiguration(
        drv, slave, {&rest},
        [&](int, const std::string& name) {
            progress(lang::translate("desklogic/ConfigTransferLogic", "正在读回: ") + name);
            return true;
        },
        back);
    if (r.end != ConfigRead::EEnd::Done) {
        out.failure =
            ReadFailureText(r, lang::translate("desklogic/ConfigTransferLogic", "读回"), "");
        return out;
    }
    out.after = CompareImages(rest, back, ctx);
    if (plan.commBlocks.empty())
        return out;
    if (!WriteConfigPart(drv, slave, used, dev, plan, EWritePart::Comm, onWritten, what, error)) {
        out.failure = lang::Args(lang::translate("desklogic/ConfigTransferLogic", "写入%1失败\n%2"),
                                 {what, error});
        return out;
    }
    progress(lang::translate("desklogic/ConfigTransferLogic", "正在读回: 通讯参数"));
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
        out.failure =
            lang::translate("desklogic/ConfigTransferLogic", "读回通讯参数失败\n") + ResultText(rc);
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
        note = StrFormat(
            lang::translate("desklogic/ConfigTransferLogic",
                            "\n设备现在的通讯设置: 地址 %d, 波特率 %d, 已设到通讯设置中。")
                .c_str(),
            result.now.slave, result.now.baud);
    if (!includeComm) {
        size_t left = 0;
        for (const ConfigDiff& d : diffs)
            left += d.comm;
        if (left)
            note += StrFormat(lang::translate("desklogic/ConfigTransferLogic",
                                              "\n通讯参数 (%zu 处不同) 没有写入。")
                                  .c_str(),
                              left);
    }
    if (!result.failure.empty()) {
        std::string done;
        for (const std::string& w : result.written)
            done += (done.empty() ? "" : ", ") + w;
        return result.failure + lang::translate("desklogic/ConfigTransferLogic", "\n已写入: ") +
               (done.empty() ? lang::translate("desklogic/ConfigTransferLogic", "无") : done) +
               note;
    }
    if (result.after.empty())
        return lang::translate("desklogic/ConfigTransferLogic", "操作成功") + note + "\n" +
               PressReadNote();
    return StrFormat(
               lang::translate("desklogic/ConfigTransferLogic", "写入后仍有 %zu 处不同:").c_str(),
               result.after.size()) +
           DiffsText(result.after) + note + "\n" + PressReadNote();
}

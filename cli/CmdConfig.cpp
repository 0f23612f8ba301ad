// export / import: configuration files through the shared file model.

#include "cli/CliSession.h"

#include "driver/FileIo.h"
#include "driver/Format.h"

#include <cerrno>
#include <cstring>

namespace {

// A read that failed, in the command line's words.
std::string ReadFailure(const ConfigRead& r) {
    const std::string why = r.Reason(true);
    if (r.step.kind == ConfigReadStep::EKind::Pdo)
        return StrFormat("reading %s: %s", PdoName(r.step.pdoRow), why.c_str());
    if (r.step.kind == ConfigReadStep::EKind::Sync)
        return "reading the SYNC objects: " + why;
    if (r.speedUnit)
        return StrFormat("reading the speed unit (register 0x%04X): %s", kRegSpeedUnitHz,
                         why.c_str());
    const BlockDef& def = *r.step.block;
    return StrFormat("reading %s (0x%04X, %u registers): %s", def.name, def.start, def.count,
                     why.c_str());
}

} // namespace

void CCli::Progress(const std::string& line) {
    if (m_ctx.errIsTerminal)
        m_ctx.err << "\r\033[K" << line << std::flush;
}

// A whole export takes some 7.5 s at 9600 baud: worth saying what is under way.
ConfigRead CCli::ReadWithProgress(const char* doing, const ConfigReadRequest& req,
                                  ConfigImage& img) {
    const std::vector<ConfigReadStep> steps = ConfigReadSteps(req);
    auto name = [](const ConfigReadStep& s) -> std::string {
        switch (s.kind) {
        case ConfigReadStep::EKind::Block:
            return s.block->name;
        case ConfigReadStep::EKind::Pdo:
            return PdoName(s.pdoRow);
        case ConfigReadStep::EKind::Sync:
            return "SYNC";
        default: // device information and the speed unit, or the unit alone
            return s.block ? "device-info" : "speed-unit";
        }
    };
    const ConfigRead r = ReadConfiguration(
        m_drv, m_nSlave, req,
        [&](int step, const std::string&) {
            const auto i = static_cast<size_t>(step);
            Progress(
                StrFormat("%s %s (%zu/%zu)", doing, name(steps[i]).c_str(), i + 1, steps.size()));
            return true;
        },
        img);
    Progress("");
    return r;
}

int CCli::CmdExport() {
    const std::string& path = m_cl.file;
    if (int e = OpenLine())
        return e;
    ConfigImage img;
    const ConfigRead r = ReadWithProgress("export: reading", {nullptr, true, true, true}, img);
    if (r.end != ConfigRead::EEnd::Done)
        return DeviceError(ReadFailure(r));
    const DecodeContext dc = r.ctx;
    if (r.identRc != kResultOk)
        m_ctx.err << "halvik-cli: note: no device identification text (" << ResultMessage(r.identRc)
                  << "); exporting without it\n";
    img.time = UtcNow();
    const std::string text = BuildConfigText(img, dc);
    if (path == "-") {
        Out() << text;
        return kExitOk;
    }
    if (const int err = WriteFileAtomically(path, text))
        return Refuse("cannot write " + path + ": " + FileErrorText(err));
    if (m_cl.json) {
        EmitJson({{"file", path},
                  {"blocks", img.blocks.size()},
                  {"pdos", img.pdos.size()},
                  {"sync", img.hasSync}});
    } else {
        Out() << "Exported " << img.blocks.size() << " blocks, " << img.pdos.size()
              << " PDOs and the SYNC objects to " << path << "\n";
    }
    return kExitOk;
}

namespace {

void PrintDifferences(std::ostream& os, const std::vector<ConfigDiff>& diffs,
                      const char* deviceLabel) {
    std::vector<std::vector<std::string>> rows = {{"where", "item", deviceLabel, "file"}};
    for (const auto& d : diffs)
        rows.push_back({d.block, d.item, d.device.text,
                        d.file.text + (d.edited ? " (edited in the file)" : "")});
    PrintTable(os, rows);
}

Json DiffsJson(const std::vector<ConfigDiff>& diffs) {
    Json a = Json::array();
    for (const auto& d : diffs)
        a.push_back({{"where", d.block},
                     {"item", d.item},
                     {"device", d.device.text},
                     {"file", d.file.text},
                     {"editedInFile", d.edited}});
    return a;
}

} // namespace

// When the communication blocks moved the line (slave address, baud rate,
// parity), the driver may answer at the old settings or already at the new
// ones; both are tried.
int CCli::ReadCommBack(const ConfigImage& only, ConfigImage& got) {
    ResultCode rc = ReadBlocks(m_drv, m_nSlave, only, got);
    if (rc == kResultTimeout || rc == kResultBadReply) {
        const ConfigLine old{m_nSlave, m_cl.baud, m_cl.framing};
        const ConfigLine now = ConfigLineOf(only, old);
        if (!(now == old)) {
            Note() << StrFormat("No answer at the old settings; trying slave %d, %d baud, %s.\n",
                                now.slave, now.baud, FramingName(now.framing));
            if (!m_drv.SetLineSettings(CMotorDriver::SettingsString(now.baud, now.framing)))
                return DeviceError(StrFormat("%s cannot be set to %d baud, %s", m_strDevice.c_str(),
                                             now.baud, FramingName(now.framing)));
            m_nSlave = static_cast<uint8_t>(now.slave);
            rc = ReadBlocks(m_drv, m_nSlave, only, got);
            if (rc == kResultOk)
                Note() << StrFormat("The driver now answers at slave %d, %d baud, %s.\n", now.slave,
                                    now.baud, FramingName(now.framing));
        }
    }
    if (rc != kResultOk)
        return DeviceError("reading back the communication settings", rc);
    return kExitOk;
}

// Reads the communication blocks back after they were written and compares.
int CCli::VerifyCommBlocks(const ConfigImage& file, std::vector<ConfigDiff>& diffs) {
    const ConfigImage only = CommBlocksOnly(file);
    if (only.blocks.empty())
        return kExitOk;
    ConfigImage got;
    if (int e = ReadCommBack(only, got))
        return e;
    DecodeContext dc;
    auto d = CompareImages(only, got, dc);
    diffs.insert(diffs.end(), d.begin(), d.end());
    return kExitOk;
}

int CCli::CmdImport() {
    const std::string& path = m_cl.file;
    // The whole file is checked before the port is opened.
    std::string text;
    if (int err = ReadBoundedFile(path, kMaxConfigFileBytes, text)) {
        if (err == EFBIG)
            return Refuse(path + ": too large for a configuration file");
        return Refuse("cannot read " + path + ": " + std::strerror(err));
    }
    ConfigImage file;
    std::vector<std::string> errors;
    EConfigParse parsed = ParseConfigText(text, file, errors);
    if (parsed == EConfigParse::NotJson)
        return Refuse(path + ": not a valid JSON document (" + errors.at(0) + "); nothing written");
    if (parsed != EConfigParse::Ok) {
        m_ctx.err << "halvik-cli: " << path << " cannot be imported; nothing written:\n";
        for (const auto& e : errors)
            m_ctx.err << "  " << e << "\n";
        return kExitUsage;
    }
    if (int e = OpenLine())
        return e;
    ConfigImage dev;
    const ConfigRead read = ReadWithProgress("import: reading", {&file, false, true}, dev);
    if (read.end != ConfigRead::EEnd::Done)
        return DeviceError(ReadFailure(read));
    const DecodeContext dc = read.ctx;
    auto problems = CheckAgainstDevice(file, dev);
    if (!problems.empty()) {
        m_ctx.err << "halvik-cli: " << path << " does not fit this device; nothing written:\n";
        for (const auto& p : problems)
            m_ctx.err << "  " << p << "\n";
        return kExitUsage;
    }
    if (file.device.present && !file.device.model.empty()) {
        const BlockDef& infoDef = *FindBlock("device-info");
        std::vector<uint16_t> info;
        if (ReadRegs(m_drv, m_nSlave, infoDef.start, infoDef.count, info) == kResultOk) {
            const std::string model = MakeConfigDevice(info, m_nSlave).model;
            if (model != file.device.model)
                m_ctx.err << "halvik-cli: note: the file comes from a '" << file.device.model
                          << "', this device is a '" << model << "'\n";
        }
    }

    auto diffs = CompareImages(file, dev, dc);
    Json report = {{"file", path}, {"dryRun", m_cl.dryRun}, {"differences", DiffsJson(diffs)}};
    auto finish = [&](const char* result, int status) {
        if (m_cl.json) {
            report["result"] = result;
            EmitJson(report);
        }
        return status;
    };
    if (diffs.empty()) {
        Note() << "The device already matches " << path << "; nothing to write.\n";
        return finish("unchanged", kExitOk);
    }
    Note() << diffs.size() << " difference(s) between the device and " << path << ":\n";
    PrintDifferences(Note(), diffs, "device now");
    if (m_cl.dryRun) {
        Note() << "Dry run: nothing written.\n";
        return finish("dry-run", kExitOk);
    }

    const ConfigWritePlan plan = PlanConfigWrite(file, dev);

    if (!m_cl.yes) {
        if (!m_ctx.interactive)
            return Refuse("refusing to write without confirmation: standard input is not a "
                          "terminal; pass --yes to write, or --dry-run to only compare");
        if (!Confirmed(StrFormat("Write these changes to slave %u on %s?", m_nSlave,
                                 m_strDevice.c_str()))) {
            Note() << "Cancelled; nothing written.\n";
            return finish("cancelled", kExitCancelled);
        }
    }

    Json written = Json::array();
    auto writeFailed = [&](const std::string& what, const std::string& msg) {
        m_ctx.err << "halvik-cli: writing " << what << " failed: " << msg << "\n";
        m_ctx.err << "halvik-cli: written before the failure: "
                  << (written.empty() ? std::string("nothing") : DumpJson(written, false)) << "\n";
        report["written"] = written;
        return finish("write-failed", kExitDevice);
    };
    auto wrote = [&](const std::string& name) {
        Note() << "Wrote " << name << ".\n";
        written.push_back(name);
    };
    std::string what, error;
    if (!WriteConfigPart(m_drv, m_nSlave, file, dev, plan, EWritePart::Main, wrote, what, error))
        return writeFailed(what, error);

    // Everything but the communication blocks is checked while the line is
    // surely as it was.
    const ConfigImage rest = WithoutCommBlocks(file);
    std::vector<ConfigDiff> after;
    if (!rest.blocks.empty() || !rest.pdos.empty() || rest.hasSync) {
        ConfigImage back;
        if (const ConfigRead r = ReadWithProgress("import: reading back", {&rest}, back);
            r.end != ConfigRead::EEnd::Done) {
            report["written"] = written;
            return finish("verify-failed", DeviceError(ReadFailure(r)));
        }
        after = CompareImages(rest, back, dc);
    }
    if (!plan.commBlocks.empty()) {
        Note() << "Writing the communication settings last: they can change the line settings "
                  "or the slave address.\n";
        if (!WriteConfigPart(m_drv, m_nSlave, file, dev, plan, EWritePart::Comm, wrote, what,
                             error))
            return writeFailed(what, error);
    }
    report["written"] = written;
    if (int e = VerifyCommBlocks(file, after))
        return finish("verify-failed", e);
    report["verification"] = DiffsJson(after);
    if (!after.empty()) {
        m_ctx.err << "halvik-cli: verification found " << after.size()
                  << " difference(s) between the device and " << path << ":\n";
        PrintDifferences(m_ctx.err, after, "device after");
        return finish("differences", kExitDiffers);
    }
    Note() << "Verified: the device matches " << path << ".\n";
    return finish("ok", kExitOk);
}

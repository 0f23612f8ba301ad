// The device side of a configuration: reading it (an export, or what a file
// names), checking that the device can hold a file, planning and writing what
// differs, reading back.

#include "driver/ConfigFile.h"

#include "driver/Format.h"
#include "lang/Tr.h"

std::vector<std::string> CheckAgainstDevice(const ConfigImage& file, const ConfigImage& device) {
    std::vector<std::string> out;
    for (const auto& p : file.pdos) {
        const PdoImage* d = device.Pdo(p.row);
        if (p.absent || !d)
            continue;
        if (d->absent) {
            out.push_back(PdoName(p.row) + std::string(": ") +
                          lang::Args(lang::translate("driver/ConfigFile", "设备没有对象 %1"),
                                     {StrFormat("0x%04X", PdoCommIndex(p.row))}));
            continue;
        }
        for (const auto& s : p.comm)
            if (!d->Comm(s.sub))
                out.push_back(
                    PdoName(p.row) + std::string(": ") +
                    lang::Args(lang::translate("driver/ConfigFile", "设备的对象 %2 没有子索引 %1"),
                               {std::to_string(s.sub), StrFormat("0x%04X", PdoCommIndex(p.row))}));
        if (p.mapCount > d->map.size())
            out.push_back(PdoName(p.row) + std::string(": ") +
                          lang::Args(lang::translate("driver/ConfigFile",
                                                     "映射对象 %1 个, 设备只有 %2 个映射项"),
                                     {std::to_string(p.mapCount), std::to_string(d->map.size())}));
    }
    return out;
}

namespace {

std::vector<ConfigReadStep> ReadSteps(const ConfigReadRequest& req) {
    using EKind = ConfigReadStep::EKind;
    std::vector<ConfigReadStep> steps;
    const ConfigImage* wanted = req.wanted;
    if (req.deviceInfo || req.speedUnit)
        steps.push_back({EKind::DeviceInfo, lang::translate("driver/ConfigCompare", "设备信息"),
                         req.deviceInfo ? FindBlock("device-info") : nullptr});
    for (const BlockDef* def : ExportBlocks())
        if (!wanted || wanted->Block(def))
            steps.push_back({EKind::Block, ConfigPartPage(def, -1) + " (" + def->name + ")", def});
    for (int row = 0; row < kPdoCount; ++row)
        if (!wanted || wanted->Pdo(row))
            steps.push_back({EKind::Pdo, ConfigPartPage(nullptr, row), nullptr, row});
    if (!wanted || wanted->hasSync)
        steps.push_back({EKind::Sync, ConfigPartPage(nullptr, -1)});
    return steps;
}

// Reads one step into img; false with r saying why on failure.
bool ReadStep(CMotorDriver& drv, uint8_t slave, const ConfigReadStep& step, bool speedUnit,
              ConfigImage& img, ConfigRead& r) {
    switch (step.kind) {
    case ConfigReadStep::EKind::DeviceInfo: {
        // Identification first: a driver that does not answer fails here.
        std::vector<uint16_t> info, unit;
        if (step.block) {
            r.rc = ReadRegs(drv, slave, step.block->start, step.block->count, info);
            if (r.rc != kResultOk)
                return false;
        }
        if (speedUnit) {
            r.rc = ReadRegs(drv, slave, kRegSpeedUnitHz, 1, unit);
            if (r.rc != kResultOk) {
                r.speedUnit = true;
                return false;
            }
            r.ctx.speedUnitHz = unit[0] != 0;
        }
        if (step.block) {
            img.device = MakeConfigDevice(info, slave);
            if (speedUnit)
                img.device.speedUnitHz = r.ctx.speedUnitHz ? 1 : 0;
        }
        return true;
    }
    case ConfigReadStep::EKind::Block: {
        BlockImage b{step.block, {}};
        r.rc = ReadRegs(drv, slave, step.block->start, step.block->count, b.regs);
        if (r.rc != kResultOk)
            return false;
        img.blocks.push_back(std::move(b));
        return true;
    }
    case ConfigReadStep::EKind::Pdo: {
        PdoImage p;
        r.sdo = ReadPdo(drv, slave, step.pdoRow, p);
        if (!r.sdo.Ok())
            return false;
        img.pdos.push_back(std::move(p));
        return true;
    }
    case ConfigReadStep::EKind::Sync:
        r.sdo = ReadSync(drv, slave, img.sync);
        img.hasSync = r.sdo.Ok();
        return img.hasSync;
    }
    return false;
}

} // namespace

std::string ConfigRead::Reason(bool withCode) const {
    if (step.kind == ConfigReadStep::EKind::Pdo || step.kind == ConfigReadStep::EKind::Sync)
        return sdo.Message(sdo.reply.index, static_cast<uint8_t>(sdo.reply.subindex));
    return withCode ? ResultMessage(rc) : ResultText(rc);
}

size_t ConfigReadStepCount(const ConfigReadRequest& req) {
    return ReadSteps(req).size();
}

std::vector<ConfigReadStep> ConfigReadSteps(const ConfigReadRequest& req) {
    return ReadSteps(req);
}

ConfigRead ReadConfiguration(CMotorDriver& drv, uint8_t slave, const ConfigReadRequest& req,
                             const ConfigStepFn& onStep, ConfigImage& img) {
    img = ConfigImage{};
    ConfigRead r;
    const std::vector<ConfigReadStep> steps = ReadSteps(req);
    for (size_t i = 0; i < steps.size(); ++i) {
        if (onStep && !onStep(static_cast<int>(i), steps[i].text)) {
            r.end = ConfigRead::EEnd::Cancelled;
            return r;
        }
        if (!ReadStep(drv, slave, steps[i], req.speedUnit, img, r)) {
            r.end = ConfigRead::EEnd::Failed;
            r.step = steps[i];
            return r;
        }
    }
    if (req.identification) {
        r.identRc = drv.ReadDeviceIdText(slave, img.device.identification);
        img.device.hasIdentification = r.identRc == kResultOk;
    }
    return r;
}

ConfigWritePlan PlanConfigWrite(const ConfigImage& file, const ConfigImage& device) {
    ConfigWritePlan plan;
    for (const auto& b : file.blocks) {
        const BlockImage* d = device.Block(b.def);
        if (d && d->regs != b.regs)
            (b.def->comm ? plan.commBlocks : plan.blocks).push_back(&b);
    }
    for (const auto& p : file.pdos)
        if (const PdoImage* d = device.Pdo(p.row); d && PdoDiffers(p, *d))
            plan.pdos.push_back({&p, d});
    plan.sync = file.hasSync && device.hasSync && !(file.sync == device.sync);
    return plan;
}

bool WriteConfigPart(CMotorDriver& drv, uint8_t slave, const ConfigImage& file,
                     const ConfigImage& device, const ConfigWritePlan& plan, EWritePart part,
                     const std::function<void(const std::string&)>& onWritten, std::string& what,
                     std::string& error) {
    auto done = [&](const std::string& name) {
        if (onWritten)
            onWritten(name);
    };
    auto writeBlocks = [&](const std::vector<const BlockImage*>& blocks) {
        for (const BlockImage* b : blocks) {
            ResultCode rc = WriteRegs(drv, slave, b->def->start, b->regs);
            if (rc != kResultOk) {
                what = b->def->name;
                error = ResultMessage(rc);
                return false;
            }
            done(b->def->name);
        }
        return true;
    };
    if (part == EWritePart::Comm)
        return writeBlocks(plan.commBlocks);
    if (!writeBlocks(plan.blocks))
        return false;
    for (const auto& [target, current] : plan.pdos) {
        uint16_t fi = 0;
        uint8_t fs = 0;
        SdoResult r = WritePdo(drv, slave, *target, *current, fi, fs);
        if (!r.Ok()) {
            what = PdoName(target->row);
            error = r.Message(fi, fs);
            return false;
        }
        done(PdoName(target->row));
    }
    if (plan.sync) {
        uint16_t fi = 0;
        SdoResult r = WriteSync(drv, slave, file.sync, device.sync, fi);
        if (!r.Ok()) {
            what = "SYNC";
            error = r.Message(fi, 0);
            return false;
        }
        done("SYNC");
    }
    return true;
}

ConfigImage WithoutCommBlocks(const ConfigImage& file) {
    ConfigImage rest = file;
    rest.blocks.clear();
    for (const auto& b : file.blocks)
        if (!b.def->comm)
            rest.blocks.push_back(b);
    return rest;
}

ConfigImage CommBlocksOnly(const ConfigImage& file) {
    ConfigImage only;
    for (const auto& b : file.blocks)
        if (b.def->comm)
            only.blocks.push_back(b);
    only.edited = file.edited;
    return only;
}

ResultCode ReadBlocks(CMotorDriver& drv, uint8_t slave, const ConfigImage& which,
                      ConfigImage& got) {
    got = ConfigImage{};
    for (const auto& b : which.blocks) {
        BlockImage bi{b.def, {}};
        ResultCode rc = ReadRegs(drv, slave, b.def->start, b.def->count, bi.regs);
        if (rc != kResultOk)
            return rc;
        got.blocks.push_back(bi);
    }
    return kResultOk;
}

ConfigLine ConfigLineOf(const ConfigImage& file, ConfigLine line) {
    if (const BlockImage* b = file.Block(FindBlock("comm-b")))
        line.slave = b->regs[0] & 0xFF;
    if (const BlockImage* a = file.Block(FindBlock("comm-a"))) {
        line.baud = static_cast<int>((static_cast<uint32_t>(a->regs[0]) << 16) | a->regs[1]);
        line.framing = a->regs[2];
    }
    return line;
}

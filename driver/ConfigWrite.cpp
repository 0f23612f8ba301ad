// The device side of an import: reading what a file names, checking that the
// device can hold it, planning and writing what differs, reading back.

#include "driver/ConfigFile.h"

#include "driver/Format.h"

std::vector<std::string> CheckAgainstDevice(const ConfigImage& file, const ConfigImage& device) {
    std::vector<std::string> out;
    for (const auto& p : file.pdos) {
        const PdoImage* d = device.Pdo(p.row);
        if (p.absent || !d)
            continue;
        if (d->absent) {
            out.push_back(StrFormat("%s: the device has no object 0x%04X", PdoName(p.row),
                                    PdoCommIndex(p.row)));
            continue;
        }
        for (const auto& s : p.comm)
            if (!d->Comm(s.sub))
                out.push_back(StrFormat("%s: the device has no sub-index %u of object 0x%04X",
                                        PdoName(p.row), s.sub, PdoCommIndex(p.row)));
        if (p.mapCount > d->map.size())
            out.push_back(StrFormat("%s: %u mapped objects, the device has %zu mapping entries",
                                    PdoName(p.row), p.mapCount, d->map.size()));
    }
    return out;
}

bool ReadDeviceImage(CMotorDriver& drv, uint8_t slave, const ConfigImage* wanted, ConfigImage& img,
                     std::string& error) {
    img = ConfigImage{};
    for (const BlockDef* def : ExportBlocks()) {
        if (wanted && !wanted->Block(def))
            continue;
        BlockImage b{def, {}};
        ResultCode rc = ReadRegs(drv, slave, def->start, def->count, b.regs);
        if (rc != kResultOk) {
            error = StrFormat("reading %s (0x%04X, %u registers): %s", def->name, def->start,
                              def->count, ResultMessage(rc).c_str());
            return false;
        }
        img.blocks.push_back(std::move(b));
    }
    for (int row = 0; row < kPdoCount; ++row) {
        if (wanted && !wanted->Pdo(row))
            continue;
        PdoImage p;
        SdoResult r = ReadPdo(drv, slave, row, p);
        if (!r.Ok()) {
            error =
                StrFormat("reading %s: %s", PdoName(row),
                          r.Message(r.reply.index, static_cast<uint8_t>(r.reply.subindex)).c_str());
            return false;
        }
        img.pdos.push_back(p);
    }
    if (!wanted || wanted->hasSync) {
        SdoResult r = ReadSync(drv, slave, img.sync);
        if (!r.Ok()) {
            error = "reading the SYNC objects: " +
                    r.Message(r.reply.index, static_cast<uint8_t>(r.reply.subindex));
            return false;
        }
        img.hasSync = true;
    }
    return true;
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

// Comparing a configuration file with a device: one list of differences with
// the texts of both surfaces, so the command line and the desktop tool never
// disagree on what differs.

#include "driver/ConfigFile.h"

#include "driver/Format.h"
#include "driver/Texts.h"
#include "lang/Tr.h"

namespace {

std::string RegsText(const std::vector<uint32_t>& regs) {
    std::string s;
    for (uint32_t v : regs)
        s += StrFormat("%s0x%04X", s.empty() ? "" : " ", v);
    return s;
}

// A field as the pages show it: flags as 是/否, numbers with the page's unit.
std::string ShownText(const DecodedField& f, const FieldDef* def) {
    if (f.value.IsBool())
        return f.value.flag ? lang::translate("driver/ConfigCompare", "是")
                            : lang::translate("driver/ConfigCompare", "否");
    if (f.value.IsNumber()) {
        const std::string unit = def && def->pageUnit ? CatalogueText(def->pageUnit) : f.unit;
        return unit.empty() ? f.value.text : f.value.text + " " + unit;
    }
    return CatalogueText(f.text);
}

ConfigValue FieldValueOf(const DecodedField& f, const FieldDef* def) {
    ConfigValue v{{f.raw.begin(), f.raw.end()}, {}, ShownText(f, def)};
    v.text = CatalogueText(f.text) + " [" + RegsText(v.raw) + "]";
    return v;
}

// A value both surfaces show alike.
ConfigValue Plain(uint32_t raw, const std::string& text) {
    return {{raw}, text, text};
}

void CompareBlock(const BlockImage& fb, const BlockImage& db, const ConfigImage& file,
                  const DecodeContext& ctx, std::vector<ConfigDiff>& out) {
    const BlockDef& def = *fb.def;
    const std::string page = ConfigPartPage(&def, -1);
    const auto ff = DecodeBlock(def, fb.regs, ctx);
    const auto df = DecodeBlock(def, db.regs, ctx);
    std::vector<bool> covered(def.count, false);
    for (size_t i = 0; i < ff.size() && i < df.size(); ++i) {
        for (size_t k = 0; k < ff[i].raw.size(); ++k)
            covered[ff[i].addr - def.start + k] = true;
        if (ff[i].raw == df[i].raw)
            continue;
        const FieldDef* fd = FindField(def, ff[i].addr);
        const std::string item = StrFormat("%s (0x%04X)", ff[i].name.c_str(), ff[i].addr);
        out.push_back({def.name, page, item, fd && fd->label ? CatalogueText(fd->label) : item,
                       FieldValueOf(df[i], fd), FieldValueOf(ff[i], fd), file.Edited(ff[i].addr),
                       def.comm});
    }
    // Registers no field covers still count: they are written.
    for (size_t k = 0; k < def.count; ++k)
        if (!covered[k] && fb.regs[k] != db.regs[k])
            out.push_back(
                {def.name, page, StrFormat("register 0x%04zX", def.start + k),
                 StrFormat(lang::translate("driver/ConfigCompare", "寄存器 0x%04zX").c_str(),
                           def.start + k),
                 Plain(db.regs[k], StrFormat("0x%04X", db.regs[k])),
                 Plain(fb.regs[k], StrFormat("0x%04X", fb.regs[k])), false, def.comm});
}

void ComparePdo(const PdoImage& fp, const PdoImage& dp, std::vector<ConfigDiff>& out) {
    const std::string name = PdoName(fp.row), page = ConfigPartPage(nullptr, fp.row);
    for (const PdoSub& s : fp.comm) {
        const PdoSub* ds = dp.Comm(s.sub);
        if (ds && ds->value != s.value)
            out.push_back(
                {name,
                 page,
                 StrFormat("0x%04X sub %u", PdoCommIndex(fp.row), s.sub),
                 PdoCommSubLabel(s.sub),
                 {{ds->value}, PdoCommSubText(s.sub, ds->value), StrFormat("0x%X", ds->value)},
                 {{s.value}, PdoCommSubText(s.sub, s.value), StrFormat("0x%X", s.value)}});
    }
    if (fp.mapCount != dp.mapCount)
        out.push_back({name, page, StrFormat("0x%04X sub 0 (mapped objects)", PdoMapIndex(fp.row)),
                       lang::translate("driver/ConfigCompare", "映射对象数目"),
                       Plain(dp.mapCount, std::to_string(dp.mapCount)),
                       Plain(fp.mapCount, std::to_string(fp.mapCount))});
    for (size_t k = 0; k < fp.mapCount && k < fp.map.size(); ++k) {
        const uint32_t dv = k < dp.map.size() ? dp.map[k] : 0;
        if (dv != fp.map[k])
            out.push_back(
                {name, page, StrFormat("0x%04X sub %zu", PdoMapIndex(fp.row), k + 1),
                 StrFormat(lang::translate("driver/ConfigCompare", "映射对象 %zu").c_str(), k + 1),
                 Plain(dv, MapEntryText(dv)), Plain(fp.map[k], MapEntryText(fp.map[k]))});
    }
}

void CompareSync(const SyncValues& f, const SyncValues& d, std::vector<ConfigDiff>& out) {
    const std::string page = ConfigPartPage(nullptr, -1);
    auto ms = [](uint32_t us) { return Plain(us, FormatScaled(us, 3) + " ms"); };
    if (f.cobId != d.cobId)
        out.push_back({"SYNC", page, "0x1005 COB-ID", "COB-ID",
                       Plain(d.cobId, StrFormat("0x%08X", d.cobId)),
                       Plain(f.cobId, StrFormat("0x%08X", f.cobId))});
    if (f.cyclePeriod != d.cyclePeriod)
        out.push_back({"SYNC", page, "0x1006 cycle period",
                       lang::translate("driver/ConfigCompare", "通讯循环周期"), ms(d.cyclePeriod),
                       ms(f.cyclePeriod)});
    if (f.windowLength != d.windowLength)
        out.push_back({"SYNC", page, "0x1007 window length",
                       lang::translate("driver/ConfigCompare", "同步窗口长度"), ms(d.windowLength),
                       ms(f.windowLength)});
}

} // namespace

std::string ConfigPartPage(const BlockDef* block, int pdoRow) {
    if (block)
        return block->page ? CatalogueText(block->page) : block->title;
    return lang::translate("driver/ConfigCompare", "通讯对象 ") +
           (pdoRow >= 0 ? PdoName(pdoRow) : "SYNC");
}

std::vector<ConfigDiff> CompareImages(const ConfigImage& file, const ConfigImage& device,
                                      const DecodeContext& ctx) {
    std::vector<ConfigDiff> out;
    for (const BlockImage& fb : file.blocks)
        if (const BlockImage* db = device.Block(fb.def); db && db->regs.size() == fb.regs.size())
            CompareBlock(fb, *db, file, ctx, out);
    for (const PdoImage& fp : file.pdos)
        if (const PdoImage* dp = device.Pdo(fp.row); dp && !fp.absent && !dp->absent)
            ComparePdo(fp, *dp, out);
    if (file.hasSync && device.hasSync)
        CompareSync(file.sync, device.sync, out);
    return out;
}

// get / set / fields: single fields by the names the configuration file gives
// them ("motor.rated_current"), read and written through the catalogue.

#include "cli/CliSession.h"

#include "driver/ConfigFields.h"
#include "driver/Format.h"
#include "driver/Texts.h"

#include <algorithm>
#include <set>

namespace {

std::string QualifiedName(const BlockDef& b, const FieldDef& f) {
    return std::string(b.name) + "." + f.name;
}

size_t EditDistance(std::string_view a, std::string_view b) {
    std::vector<size_t> row(b.size() + 1);
    for (size_t j = 0; j <= b.size(); ++j)
        row[j] = j;
    for (size_t i = 1; i <= a.size(); ++i) {
        size_t diag = row[0];
        row[0] = i;
        for (size_t j = 1; j <= b.size(); ++j) {
            const size_t up = row[j];
            row[j] = std::min({row[j] + 1, row[j - 1] + 1, diag + (a[i - 1] != b[j - 1])});
            diag = up;
        }
    }
    return row[b.size()];
}

// Names that look like the one typed: a few typing slips away, the same
// field in another block, or names that begin with it (a block's name alone).
std::vector<std::string> CloseNames(std::string_view typed) {
    const size_t dot = typed.find('.');
    const std::string_view field = dot == std::string_view::npos ? typed : typed.substr(dot + 1);
    std::vector<std::pair<size_t, std::string>> scored;
    for (const BlockDef& b : AllBlocks())
        for (int i = 0; i < b.fieldCount; ++i) {
            const std::string name = QualifiedName(b, b.fields[i]);
            const size_t d = EditDistance(typed, name);
            if (d <= 3 || field == b.fields[i].name || name.rfind(typed, 0) == 0)
                scored.emplace_back(d, name);
        }
    std::stable_sort(scored.begin(), scored.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    std::vector<std::string> out;
    for (size_t i = 0; i < scored.size() && i < 6; ++i)
        out.push_back(scored[i].second);
    return out;
}

// The fields named, or every unknown name on standard error (exit status 2).
int ResolveFields(const std::vector<std::string>& names, std::vector<SNamedField>& out,
                  std::ostream& err) {
    bool unknown = false;
    for (const std::string& name : names) {
        const BlockDef* b = nullptr;
        if (const FieldDef* f = FindField(name, &b)) {
            out.push_back({name, b, f});
            continue;
        }
        unknown = true;
        if (FindBlock(name)) {
            err << "halvik-cli: '" << name << "' is a block; its fields: 'halvik-cli fields "
                << name << "'\n";
            continue;
        }
        const std::vector<std::string> close = CloseNames(name);
        err << "halvik-cli: unknown field '" << name << "'";
        for (size_t i = 0; i < close.size(); ++i)
            err << (i ? ", " : "; close names: ") << close[i];
        err << "\n";
    }
    if (unknown)
        err << "(see 'halvik-cli fields' for every name)\n";
    return unknown ? kExitUsage : kExitOk;
}

DecodedField Decoded(const SNamedField& n, const BlockRegs& blocks, const DecodeContext& dc) {
    const BlockDef& b = *n.block;
    return DecodeBlock(b, blocks.at(&b), dc)[static_cast<size_t>(n.field - b.fields)];
}

std::vector<uint16_t> Words(const SNamedField& n, const std::vector<uint16_t>& regs) {
    const auto at = regs.begin() + (n.field->addr - n.block->start);
    return {at, at + n.field->regs};
}

} // namespace

int CCli::ReadFieldBlocks(const std::vector<SNamedField>& fields, BlockRegs& blocks,
                          DecodeContext& dc, bool& unitRead) {
    bool needUnit = false;
    for (const SNamedField& n : fields) {
        needUnit = needUnit || BlockUsesSpeedUnit(*n.block);
        if (!blocks.count(n.block))
            if (int e = ReadBlockRegs(*n.block, blocks[n.block]))
                return e;
    }
    unitRead = needUnit;
    // The status block holds the speed unit: no read of its own then.
    const BlockDef& status = *FindBlock("status");
    if (needUnit && blocks.count(&status)) {
        dc.speedUnitHz = blocks[&status][kRegSpeedUnitHz - status.start] != 0;
        return kExitOk;
    }
    return needUnit ? ReadSpeedUnit(dc) : kExitOk;
}

void CCli::ShowNamedFields(const std::vector<SNamedField>& fields, const BlockRegs& blocks,
                           const DecodeContext& dc, bool unitRead, const Json& extra) {
    if (!m_cl.json) {
        for (const SNamedField& n : fields)
            Out() << n.name << " = " << CatalogueText(Decoded(n, blocks, dc).text) << "\n";
        return;
    }
    Json list = Json::array();
    for (const SNamedField& n : fields)
        list.push_back(FieldJson(Decoded(n, blocks, dc), n.name));
    Json doc = {{"fields", list}};
    if (unitRead)
        doc["speedUnitHz"] = dc.speedUnitHz;
    if (extra.is_object())
        doc.update(extra);
    EmitJson(doc);
}

int CCli::CmdGet() {
    std::vector<SNamedField> fields;
    if (int e = ResolveFields(m_cl.words, fields, m_ctx.err))
        return e;
    if (int e = OpenLine())
        return e;
    BlockRegs blocks;
    DecodeContext dc;
    bool unitRead = false;
    if (int e = ReadFieldBlocks(fields, blocks, dc, unitRead))
        return e;
    ShowNamedFields(fields, blocks, dc, unitRead);
    return kExitOk;
}

int CCli::CmdSet() {
    std::vector<std::string> words = {m_cl.field};
    words.insert(words.end(), m_cl.words.begin(), m_cl.words.end());
    if (words.size() % 2 != 0)
        return Usage("set: no VALUE for '" + words.back() + "'");
    std::vector<std::string> names, values;
    for (size_t i = 0; i < words.size(); i += 2) {
        if (std::find(names.begin(), names.end(), words[i]) != names.end())
            return Usage("set: " + words[i] + " is given twice");
        names.push_back(words[i]);
        values.push_back(words[i + 1]);
    }
    std::vector<SNamedField> fields;
    if (int e = ResolveFields(names, fields, m_ctx.err))
        return e;

    // Everything the text alone can tell is checked before the port is opened.
    std::vector<std::string> problems;
    std::set<const BlockDef*> commBlocks;
    for (size_t i = 0; i < fields.size(); ++i) {
        const SNamedField& n = fields[i];
        if (!n.block->writable)
            problems.push_back(n.name + ": read-only (the " + n.block->name +
                               " block cannot be written)");
        else if (!FieldSettable(*n.block, *n.field))
            problems.push_back(n.name + ": cannot be set by its value (its registers can be "
                                        "written with 'reg write')");
        else if (const std::string p = CheckFieldText(*n.block, *n.field, values[i]); !p.empty())
            problems.push_back(n.name + ": " + p);
        if (n.block->comm)
            commBlocks.insert(n.block);
    }
    // Each communication block can move the line; the next write would then
    // go unheard.
    if (commBlocks.size() > 1)
        problems.push_back("fields of " + std::string((*commBlocks.begin())->name) + " and " +
                           (*commBlocks.rbegin())->name +
                           " can each change the line settings or the slave address: set "
                           "them one block at a time");
    if (problems.empty() && !commBlocks.empty() && !m_cl.yes)
        problems.push_back("refusing to write " + std::string((*commBlocks.begin())->name) +
                           " fields without --yes: they can change the line settings or the "
                           "slave address");
    auto refuse = [&]() -> int {
        for (const std::string& p : problems)
            m_ctx.err << "halvik-cli: " << p << "\n";
        m_ctx.err << "halvik-cli: nothing written\n";
        return kExitUsage;
    };
    if (!problems.empty())
        return refuse();

    if (int e = OpenLine())
        return e;
    BlockRegs before, after;
    DecodeContext dc;
    bool unitRead = false;
    if (int e = ReadFieldBlocks(fields, before, dc, unitRead))
        return e;
    // The values at the scale the device is at now, and the orders the
    // driver documents between fields of a block, as the blocks will be.
    after = before;
    for (size_t i = 0; i < fields.size(); ++i) {
        const SNamedField& n = fields[i];
        if (const std::string p = SetFieldText(*n.block, *n.field, values[i], dc, after[n.block]);
            !p.empty())
            problems.push_back(n.name + ": " + p);
    }
    for (const auto& [def, regs] : after)
        if (const std::string p = OrderProblem(*def, regs, dc); !p.empty())
            problems.push_back(std::string(def->name) + ": out of order: " + p);
    if (!problems.empty())
        return refuse();
    // A field the others scale (the motor's speed range, a preset speed's
    // torque mode) keeps its registers, so it now reads otherwise.
    for (const auto& [def, regs] : after) {
        const auto was = DecodeBlock(*def, before[def], dc), now = DecodeBlock(*def, regs, dc);
        for (size_t k = 0; k < now.size(); ++k)
            if (now[k].raw == was[k].raw && now[k].text != was[k].text)
                m_ctx.err << "halvik-cli: note: " << QualifiedName(*def, def->fields[k])
                          << " keeps its registers and now reads " << CatalogueText(now[k].text)
                          << " (was " << CatalogueText(was[k].text) << ")\n";
    }

    // Only the fields' own registers are written; a communication block's
    // fields in one write, since the first could move the line.
    std::vector<std::string> written;
    auto write = [&](const std::string& what, const BlockDef& def, uint16_t first,
                     uint16_t end) -> int {
        const auto& regs = after[&def];
        const ResultCode rc = WriteRegs(m_drv, m_nSlave, first,
                                        std::vector<uint16_t>(regs.begin() + (first - def.start),
                                                              regs.begin() + (end - def.start)));
        if (rc != kResultOk) {
            const int e = DeviceError("writing " + what, rc);
            if (!written.empty())
                m_ctx.err << "halvik-cli: written before the failure: "
                          << DumpJson(Json(written), false) << "\n";
            return e;
        }
        written.push_back(what);
        return kExitOk;
    };
    BlockRegs back;
    for (const SNamedField& n : fields)
        if (!n.block->comm)
            if (int e = write(n.name, *n.block, n.field->addr,
                              static_cast<uint16_t>(n.field->addr + n.field->regs)))
                return e;
    // Read back while the line is surely as it was.
    for (const auto& [def, regs] : after)
        if (!def->comm)
            if (int e = ReadBlockRegs(*def, back[def]))
                return e;
    if (!commBlocks.empty()) {
        const BlockDef& def = **commBlocks.begin();
        uint16_t first = 0xFFFF, end = 0;
        std::string what;
        for (const SNamedField& n : fields)
            if (n.block == &def) {
                first = std::min(first, n.field->addr);
                end = std::max(end, static_cast<uint16_t>(n.field->addr + n.field->regs));
                what += (what.empty() ? "" : ", ") + n.name;
            }
        Note() << "Writing the communication settings: they can change the line settings or the "
                  "slave address.\n";
        if (int e = write(what, def, first, end))
            return e;
        // At the line it may have moved.
        ConfigImage only, got;
        only.blocks.push_back({&def, after[&def]});
        if (int e = ReadCommBack(only, got))
            return e;
        back[&def] = got.blocks.at(0).regs;
    }
    Json differences = Json::array();
    for (const SNamedField& n : fields) {
        if (Words(n, back[n.block]) == Words(n, after[n.block]))
            continue;
        differences.push_back(n.name);
        m_ctx.err << "halvik-cli: " << n.name << " reads back as "
                  << CatalogueText(Decoded(n, back, dc).text) << ", not "
                  << CatalogueText(Decoded(n, after, dc).text) << " as written\n";
    }
    ShowNamedFields(fields, back, dc, unitRead,
                    differences.empty() ? Json() : Json{{"differences", differences}});
    return differences.empty() ? kExitOk : kExitReadBack;
}

int CCli::CmdFields() {
    std::vector<std::vector<std::string>> rows;
    Json list = Json::array();
    for (const BlockDef& b : AllBlocks()) {
        if (!m_cl.block.empty() && m_cl.block != b.name)
            continue;
        for (int i = 0; i < b.fieldCount; ++i) {
            const FieldDef& f = b.fields[i];
            const std::string name = QualifiedName(b, f), values = FieldValuesText(b, f);
            const bool settable = FieldSettable(b, f);
            const char* access = settable ? "writable" : "read-only";
            rows.push_back({name, access, f.label ? CatalogueText(f.label) : "", values});
            Json j = {{"name", name},
                      {"address", f.addr},
                      {"registerCount", f.regs},
                      {"unit", f.unit},
                      {"range", values},
                      {"writable", settable},
                      {"label", f.label ? Json(f.label) : Json()}};
            if (f.type == EField::Enum || f.type == EField::Bit0Enum)
                j["items"] = FieldItems(f);
            list.push_back(j);
        }
    }
    if (m_cl.json)
        EmitJson({{"fields", list}});
    else
        PrintTable(Out(), rows, "");
    return kExitOk;
}

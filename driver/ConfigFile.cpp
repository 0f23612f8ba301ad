#include "driver/ConfigFile.h"

#include "driver/ConfigFields.h"
#include "driver/Format.h"
#include "driver/Json.h"
#include "lang/Tr.h"

#include <algorithm>
#include <set>

static const Json* Find(const Json& j, const char* key) {
    if (!j.is_object())
        return nullptr;
    auto it = j.find(key);
    return it == j.end() ? nullptr : &*it;
}

const BlockImage* ConfigImage::Block(const BlockDef* def) const {
    for (const auto& b : blocks)
        if (b.def == def)
            return &b;
    return nullptr;
}

const PdoImage* ConfigImage::Pdo(int row) const {
    for (const auto& p : pdos)
        if (p.row == row)
            return &p;
    return nullptr;
}

bool ConfigImage::Edited(uint16_t fieldAddr) const {
    return std::find(edited.begin(), edited.end(), fieldAddr) != edited.end();
}

std::string PdoCommSubText(uint8_t sub, uint32_t v) {
    switch (sub) {
    case 1:
        return StrFormat("COB-ID 0x%08X%s", v, (v & kCobIdInvalid) ? " (invalid)" : "");
    case 2:
        return StrFormat("transmission type %u", v);
    case 3:
        return StrFormat("inhibit time %u x 100 us", v);
    case 5:
        return StrFormat("event timer %u ms", v);
    case 6:
        return StrFormat("SYNC start value %u", v);
    default:
        return StrFormat("sub-index %u = %u", sub, v);
    }
}

static Json RegsJson(const std::vector<uint16_t>& regs) {
    Json a = Json::array();
    for (uint16_t v : regs)
        a.push_back(Json(v));
    return a;
}

static Json DeviceJson(const ConfigDevice& d) {
    if (!d.present)
        return Json();
    Json j = Json::object();
    j["identifier"] = Json(d.identifier);
    j["version"] = Json(d.version);
    j["model"] = Json(d.model);
    j["registers"] = RegsJson(d.registers);
    if (d.slave >= 0)
        j["slave"] = Json(d.slave);
    if (d.hasIdentification)
        j["identification"] = Json(d.identification);
    if (d.speedUnitHz >= 0)
        j["speedUnitHz"] = Json(d.speedUnitHz == 1);
    return j;
}

static Json BuildConfigJson(const ConfigImage& img, const DecodeContext& ctx) {
    Json doc = Json::object();
    doc["format"] = Json(kConfigFormat);
    doc["version"] = Json(kConfigVersion);
    doc["time"] = Json(img.time);
    doc["device"] = DeviceJson(img.device);
    // The fields in the unit the file records, so they read back as written.
    DecodeContext fieldCtx = ctx;
    if (img.device.present && img.device.speedUnitHz >= 0)
        fieldCtx.speedUnitHz = img.device.speedUnitHz == 1;
    Json blocks = Json::object();
    for (const auto& b : img.blocks) {
        Json jb = Json::object();
        jb["start"] = Json(b.def->start);
        jb["registers"] = RegsJson(b.regs);
        Json fields = Json::object();
        for (const auto& f : DecodeBlock(*b.def, b.regs, fieldCtx))
            fields[f.name] = Json(f.text);
        jb["fields"] = fields;
        blocks[b.def->name] = jb;
    }
    doc["blocks"] = blocks;
    Json pdos = Json::object();
    for (const auto& p : img.pdos) {
        Json jp = Json::object();
        jp["communicationIndex"] = Json(PdoCommIndex(p.row));
        jp["mappingIndex"] = Json(PdoMapIndex(p.row));
        if (p.absent) {
            jp["absent"] = Json(true);
            pdos[PdoName(p.row)] = jp;
            continue;
        }
        Json comm = Json::object();
        comm["count"] = Json(p.commCount);
        Json entries = Json::array();
        for (const auto& s : p.comm) {
            Json e = Json::object();
            e["sub"] = Json(s.sub);
            e["size"] = Json(s.size);
            e["value"] = Json(s.value);
            e["text"] = Json(PdoCommSubText(s.sub, s.value));
            entries.push_back(e);
        }
        comm["entries"] = entries;
        jp["communication"] = comm;
        Json map = Json::object();
        map["count"] = Json(p.mapCount);
        Json me = Json::array(), mt = Json::array();
        for (uint32_t e : p.map) {
            me.push_back(Json(e));
            mt.push_back(Json(MapEntryText(e)));
        }
        map["entries"] = me;
        map["text"] = mt;
        jp["mapping"] = map;
        pdos[PdoName(p.row)] = jp;
    }
    doc["pdos"] = pdos;
    if (img.hasSync) {
        Json s = Json::object();
        s["cobId"] = Json(img.sync.cobId);
        s["cyclePeriod"] = Json(img.sync.cyclePeriod);
        s["windowLength"] = Json(img.sync.windowLength);
        Json t = Json::object();
        t["cobId"] = Json(StrFormat("0x%08X", img.sync.cobId));
        t["cyclePeriod"] = Json(FormatScaled(img.sync.cyclePeriod, 3) + " ms");
        t["windowLength"] = Json(FormatScaled(img.sync.windowLength, 3) + " ms");
        s["text"] = t;
        doc["sync"] = s;
    }
    return doc;
}

namespace {

// Collects problems with their place in the document.
struct CChecker {
    std::vector<std::string>& errors;

    void Error(const std::string& where, const std::string& what) {
        errors.push_back(where + ": " + what);
    }

    bool Uint(const Json* j, const std::string& where, uint64_t max, uint64_t& out) {
        if (!j) {
            Error(where, lang::translate("driver/ConfigFile", "缺少"));
            return false;
        }
        if (!j->is_number() || !JsonUint(*j, out)) {
            Error(where, lang::Args(lang::translate("driver/ConfigFile", "应为0~%1的整数"),
                                    {std::to_string(max)}));
            return false;
        }
        if (out > max) {
            Error(where, lang::Args(lang::translate("driver/ConfigFile", "%1 大于 %2"),
                                    {JsonText(*j), std::to_string(max)}));
            return false;
        }
        return true;
    }

    const Json* Object(const Json* j, const std::string& where) {
        if (!j) {
            Error(where, lang::translate("driver/ConfigFile", "缺少"));
            return nullptr;
        }
        if (!j->is_object()) {
            Error(where, lang::translate("driver/ConfigFile", "应为对象"));
            return nullptr;
        }
        return j;
    }

    const Json* Array(const Json* j, const std::string& where) {
        if (!j) {
            Error(where, lang::translate("driver/ConfigFile", "缺少"));
            return nullptr;
        }
        if (!j->is_array()) {
            Error(where, lang::translate("driver/ConfigFile", "应为数组"));
            return nullptr;
        }
        return j;
    }
};

int PdoRowByName(const std::string& name) {
    for (int r = 0; r < kPdoCount; ++r)
        if (name == PdoName(r))
            return r;
    return -1;
}

} // namespace

static void ParseDevice(const Json& j, ConfigDevice& d, CChecker& ck) {
    if (!j.is_object())
        return;
    d.present = true;
    auto text = [&](const char* key, std::string& out) {
        const Json* v = Find(j, key);
        if (v && v->is_string())
            out = JsonText(*v);
        return v && v->is_string();
    };
    text("identifier", d.identifier);
    text("version", d.version);
    text("model", d.model);
    d.hasIdentification = text("identification", d.identification);
    uint64_t u = 0;
    if (const Json* s = Find(j, "slave"); s && JsonUint(*s, u) && u <= 255)
        d.slave = static_cast<int>(u);
    if (const Json* r = Find(j, "registers"); r && r->is_array())
        for (const Json& v : *r)
            if (JsonUint(v, u) && u <= 0xFFFF)
                d.registers.push_back(static_cast<uint16_t>(u));
    // Unlike the rest, the speed unit matters: edited speeds are read in it.
    if (const Json* s = Find(j, "speedUnitHz")) {
        if (s->is_boolean())
            d.speedUnitHz = s->get<bool>() ? 1 : 0;
        else
            ck.Error("device.speedUnitHz",
                     lang::translate("driver/ConfigFile", "应为 true 或 false"));
    }
}

static bool ParseConfigJson(const Json& doc, ConfigImage& img, std::vector<std::string>& errors) {
    size_t before = errors.size();
    CChecker ck{errors};
    img = ConfigImage{};
    if (!doc.is_object()) {
        ck.Error("document", lang::translate("driver/ConfigFile", "应为JSON对象"));
        return false;
    }
    const Json* fmt = Find(doc, "format");
    if (!fmt || !fmt->is_string() || JsonText(*fmt) != kConfigFormat) {
        ck.Error("format",
                 lang::Args(lang::translate("driver/ConfigFile", "应为 \"%1\""), {kConfigFormat}));
        return false;
    }
    uint64_t version = 0;
    if (!ck.Uint(Find(doc, "version"), "version", UINT32_MAX, version))
        return false;
    if (version != kConfigVersion) {
        ck.Error("version", lang::Args(lang::translate("driver/ConfigFile",
                                                       "不支持版本 %1 (本程序读取版本 %2)"),
                                       {std::to_string(version), std::to_string(kConfigVersion)}));
        return false;
    }
    if (const Json* t = Find(doc, "time"); t && t->is_string())
        img.time = JsonText(*t);
    if (const Json* d = Find(doc, "device"))
        ParseDevice(*d, img.device, ck);

    const auto order = ExportBlocks();
    if (const Json* blocks = Find(doc, "blocks")) {
        if (ck.Object(blocks, "blocks")) {
            std::vector<BlockImage> found;
            std::vector<const Json*> fields;
            for (const auto& [name, jb] : blocks->items()) {
                std::string where = "blocks." + name;
                const BlockDef* def = FindBlock(name);
                bool exportable = false;
                for (const BlockDef* e : order)
                    exportable = exportable || e == def;
                if (!def) {
                    ck.Error(where, lang::translate("driver/ConfigFile", "未知的参数块"));
                    continue;
                }
                if (!exportable) {
                    ck.Error(where, lang::translate("driver/ConfigFile", "此参数块不能写入"));
                    continue;
                }
                if (!ck.Object(&jb, where))
                    continue;
                uint64_t start = 0;
                if (ck.Uint(Find(jb, "start"), where + ".start", 0xFFFF, start) &&
                    start != def->start)
                    ck.Error(where + ".start",
                             lang::Args(lang::translate("driver/ConfigFile",
                                                        "为 %1, 此参数块起始于 %2 (%3)"),
                                        {std::to_string(start), std::to_string(def->start),
                                         StrFormat("0x%04X", def->start)}));
                const Json* regs = ck.Array(Find(jb, "registers"), where + ".registers");
                if (!regs)
                    continue;
                if (regs->size() != def->count) {
                    ck.Error(
                        where + ".registers",
                        lang::Args(lang::translate("driver/ConfigFile",
                                                   "有 %1 个值, 此参数块有 %2 个寄存器"),
                                   {std::to_string(regs->size()), std::to_string(def->count)}));
                    continue;
                }
                BlockImage bi{def, {}};
                bool ok = true;
                for (size_t i = 0; i < regs->size(); ++i) {
                    uint64_t v = 0;
                    ok = ck.Uint(&(*regs)[i], StrFormat("%s.registers[%zu]", where.c_str(), i),
                                 0xFFFF, v) &&
                         ok;
                    bi.regs.push_back(static_cast<uint16_t>(v));
                }
                if (ok) {
                    found.push_back(std::move(bi));
                    fields.push_back(Find(jb, "fields"));
                }
            }
            ReadBlockFields(found, fields, img.device.speedUnitHz, img.edited, errors);
            for (const BlockDef* e : order)
                for (auto& b : found)
                    if (b.def == e)
                        img.blocks.push_back(b);
        }
    }

    if (const Json* pdos = Find(doc, "pdos")) {
        if (ck.Object(pdos, "pdos")) {
            for (const auto& [name, jp] : pdos->items()) {
                std::string where = "pdos." + name;
                int row = PdoRowByName(name);
                if (row < 0) {
                    ck.Error(where, lang::translate("driver/ConfigFile",
                                                    "未知的PDO (应为RPDO1..RPDO4, TPDO1..TPDO4)"));
                    continue;
                }
                if (!ck.Object(&jp, where))
                    continue;
                uint64_t idx = 0;
                if (const Json* ci = Find(jp, "communicationIndex");
                    ci && ck.Uint(ci, where + ".communicationIndex", 0xFFFF, idx) &&
                    idx != PdoCommIndex(row))
                    ck.Error(where + ".communicationIndex",
                             lang::Args(lang::translate("driver/ConfigFile", "%2 应为 %1"),
                                        {StrFormat("0x%04X", PdoCommIndex(row)), name}));
                if (const Json* mi = Find(jp, "mappingIndex");
                    mi && ck.Uint(mi, where + ".mappingIndex", 0xFFFF, idx) &&
                    idx != PdoMapIndex(row))
                    ck.Error(where + ".mappingIndex",
                             lang::Args(lang::translate("driver/ConfigFile", "%2 应为 %1"),
                                        {StrFormat("0x%04X", PdoMapIndex(row)), name}));
                PdoImage p;
                p.row = row;
                if (const Json* a = Find(jp, "absent"); a && a->is_boolean() && a->get<bool>()) {
                    p.absent = true;
                    img.pdos.push_back(p);
                    continue;
                }
                size_t errs = errors.size();
                const Json* comm = ck.Object(Find(jp, "communication"), where + ".communication");
                const Json* map = ck.Object(Find(jp, "mapping"), where + ".mapping");
                if (comm) {
                    uint64_t count = 0;
                    ck.Uint(Find(*comm, "count"), where + ".communication.count", 0xFF, count);
                    p.commCount = static_cast<uint8_t>(count);
                    if (const Json* ents =
                            ck.Array(Find(*comm, "entries"), where + ".communication.entries")) {
                        int last = 0;
                        for (size_t i = 0; i < ents->size(); ++i) {
                            std::string w =
                                StrFormat("%s.communication.entries[%zu]", where.c_str(), i);
                            const Json& e = (*ents)[i];
                            if (!ck.Object(&e, w))
                                continue;
                            uint64_t sub = 0, size = 0, value = 0;
                            if (!ck.Uint(Find(e, "sub"), w + ".sub", 0xFF, sub) ||
                                !ck.Uint(Find(e, "size"), w + ".size", 4, size))
                                continue;
                            if (sub == 0 || sub == 4 || sub > count ||
                                static_cast<int>(sub) <= last) {
                                ck.Error(
                                    w + ".sub",
                                    lang::Args(lang::translate(
                                                   "driver/ConfigFile",
                                                   "此处不应有子索引 %1 (应为1~个数, 递增, 不含4)"),
                                               {std::to_string(sub)}));
                                continue;
                            }
                            last = static_cast<int>(sub);
                            if (size == 0) {
                                ck.Error(w + ".size",
                                         lang::translate("driver/ConfigFile", "应为1~4"));
                                continue;
                            }
                            uint64_t max = size == 4 ? 0xFFFFFFFFull : (1ull << (8 * size)) - 1;
                            if (!ck.Uint(Find(e, "value"), w + ".value", max, value))
                                continue;
                            p.comm.push_back({static_cast<uint8_t>(sub), static_cast<int>(size),
                                              static_cast<uint32_t>(value)});
                        }
                    }
                }
                if (map) {
                    uint64_t count = 0;
                    ck.Uint(Find(*map, "count"), where + ".mapping.count", kMaxMapEntries, count);
                    p.mapCount = static_cast<uint8_t>(count);
                    if (const Json* ents =
                            ck.Array(Find(*map, "entries"), where + ".mapping.entries")) {
                        if (ents->size() < count || ents->size() > kMaxMapEntries)
                            ck.Error(
                                where + ".mapping.entries",
                                lang::Args(
                                    lang::translate("driver/ConfigFile",
                                                    "有 %1 项; 应至少有个数 (%2) 项, 至多 %3 项"),
                                    {std::to_string(ents->size()), std::to_string(count),
                                     std::to_string(kMaxMapEntries)}));
                        for (size_t i = 0; i < ents->size(); ++i) {
                            uint64_t v = 0;
                            ck.Uint(&(*ents)[i],
                                    StrFormat("%s.mapping.entries[%zu]", where.c_str(), i),
                                    0xFFFFFFFFull, v);
                            p.map.push_back(static_cast<uint32_t>(v));
                        }
                    }
                }
                if (errors.size() == errs)
                    img.pdos.push_back(p);
            }
        }
    }

    if (const Json* sync = Find(doc, "sync")) {
        if (ck.Object(sync, "sync")) {
            uint64_t a = 0, b = 0, c = 0;
            bool ok = ck.Uint(Find(*sync, "cobId"), "sync.cobId", 0xFFFFFFFFull, a);
            ok = ck.Uint(Find(*sync, "cyclePeriod"), "sync.cyclePeriod", 0xFFFFFFFFull, b) && ok;
            ok = ck.Uint(Find(*sync, "windowLength"), "sync.windowLength", 0xFFFFFFFFull, c) && ok;
            if (ok) {
                img.hasSync = true;
                img.sync = {static_cast<uint32_t>(a), static_cast<uint32_t>(b),
                            static_cast<uint32_t>(c)};
            }
        }
    }
    if (errors.size() == before && img.blocks.empty() && img.pdos.empty() && !img.hasSync)
        ck.Error("document",
                 lang::translate("driver/ConfigFile", "没有可导入的参数块、PDO或SYNC对象"));
    return errors.size() == before;
}

std::string BuildConfigText(const ConfigImage& img, const DecodeContext& ctx) {
    return DumpJson(BuildConfigJson(img, ctx), true) + "\n";
}

EConfigParse ParseConfigText(std::string_view text, ConfigImage& img,
                             std::vector<std::string>& errors) {
    // Editors on Windows start a UTF-8 file with a byte-order mark.
    if (text.substr(0, 3) == "\xEF\xBB\xBF")
        text.remove_prefix(3);
    Json doc;
    std::string err;
    if (!ParseJson(text, doc, err)) {
        errors.push_back(err);
        return EConfigParse::NotJson;
    }
    return ParseConfigJson(doc, img, errors) ? EConfigParse::Ok : EConfigParse::Refused;
}

ConfigDevice MakeConfigDevice(const std::vector<uint16_t>& infoRegs, int slave) {
    ConfigDevice d;
    d.present = true;
    d.registers = infoRegs;
    d.slave = slave;
    for (const auto& f : DecodeBlock(*FindBlock("device-info"), infoRegs, {})) {
        if (f.name == "identifier")
            d.identifier = f.text;
        else if (f.name == "version")
            d.version = f.text;
        else if (f.name == "model")
            d.model = f.text;
    }
    return d;
}

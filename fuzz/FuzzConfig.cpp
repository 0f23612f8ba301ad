// The configuration-file parser on arbitrary text: it either refuses with
// reasons or gives an image that an import can use as it stands (block sizes,
// sub-indexes, mapping counts in range), that writes back to a file reading
// as the same image, and that compares equal to itself.

#include "driver/ConfigFile.h"

#include <algorithm>
#include <cstdlib>
#include <string_view>

namespace {

void Check(bool ok) {
    if (!ok)
        std::abort();
}

bool SamePdo(const PdoImage& a, const PdoImage& b) {
    return a.row == b.row && a.absent == b.absent && a.commCount == b.commCount &&
           a.comm == b.comm && a.mapCount == b.mapCount && a.map == b.map;
}

bool SameImage(const ConfigImage& a, const ConfigImage& b) {
    if (a.blocks.size() != b.blocks.size() || a.pdos.size() != b.pdos.size() ||
        a.hasSync != b.hasSync || (a.hasSync && !(a.sync == b.sync)) || a.time != b.time)
        return false;
    for (size_t i = 0; i < a.blocks.size(); ++i)
        if (a.blocks[i].def != b.blocks[i].def || a.blocks[i].regs != b.blocks[i].regs)
            return false;
    for (size_t i = 0; i < a.pdos.size(); ++i)
        if (!SamePdo(a.pdos[i], b.pdos[i]))
            return false;
    const ConfigDevice &x = a.device, &y = b.device;
    return x.present == y.present && x.identifier == y.identifier && x.version == y.version &&
           x.model == y.model && x.registers == y.registers && x.slave == y.slave &&
           x.hasIdentification == y.hasIdentification && x.identification == y.identification &&
           x.speedUnitHz == y.speedUnitHz;
}

// What an import relies on without checking again.
void CheckUsable(const ConfigImage& img) {
    Check(!img.blocks.empty() || !img.pdos.empty() || img.hasSync);
    for (size_t i = 0; i < img.blocks.size(); ++i) {
        Check(img.blocks[i].def && img.blocks[i].regs.size() == img.blocks[i].def->count);
        for (size_t k = 0; k < i; ++k)
            Check(img.blocks[k].def != img.blocks[i].def);
    }
    for (size_t i = 0; i < img.pdos.size(); ++i) {
        const PdoImage& p = img.pdos[i];
        Check(p.row >= 0 && p.row < kPdoCount);
        for (size_t k = 0; k < i; ++k)
            Check(img.pdos[k].row != p.row);
        if (p.absent)
            continue;
        Check(p.mapCount <= p.map.size() && p.map.size() <= kMaxMapEntries);
        int last = 0;
        for (const auto& s : p.comm) {
            Check(s.sub > last && s.sub <= p.commCount && s.sub != 4);
            Check(s.size >= 1 && s.size <= 4);
            Check(s.size == 4 || s.value < (1u << (8 * s.size)));
            last = s.sub;
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    ConfigImage img;
    std::vector<std::string> errors;
    const EConfigParse rc = ParseConfigText(text, img, errors);
    if (rc == EConfigParse::NotJson) {
        Check(errors.size() == 1);
        return 0;
    }
    if (rc == EConfigParse::Refused) {
        Check(!errors.empty());
        return 0;
    }
    Check(errors.empty());
    CheckUsable(img);

    // Either speed unit: the fields are written in the one the image records,
    // else in this one, and read back as written.
    DecodeContext ctx;
    ctx.speedUnitHz = size % 2 == 1;
    const std::string again = BuildConfigText(img, ctx);
    ConfigImage img2;
    Check(ParseConfigText(again, img2, errors) == EConfigParse::Ok && errors.empty());
    Check(SameImage(img, img2));

    // Against itself nothing differs and nothing would be written.
    Check(CompareImages(img, img, ctx).empty());
    Check(CheckAgainstDevice(img, img).empty());
    const ConfigWritePlan plan = PlanConfigWrite(img, img);
    Check(plan.blocks.empty() && plan.pdos.empty() && !plan.sync && plan.commBlocks.empty());

    // Against a device whose every value is zero, each difference is named.
    ConfigImage zero = img;
    for (auto& b : zero.blocks)
        std::fill(b.regs.begin(), b.regs.end(), 0);
    for (auto& p : zero.pdos) {
        for (auto& s : p.comm)
            s.value = 0;
        std::fill(p.map.begin(), p.map.end(), 0);
        p.mapCount = 0;
    }
    zero.sync = {};
    for (const auto& d : CompareImages(img, zero, ctx))
        Check(!d.block.empty() && !d.item.empty() && !d.page.empty() && !d.label.empty());
    PlanConfigWrite(img, zero);
    const ConfigImage main = WithoutCommBlocks(img), comm = CommBlocksOnly(img);
    Check(main.blocks.size() + comm.blocks.size() == img.blocks.size());
    ConfigLineOf(img, ConfigLine{});
    return 0;
}

// The virtual driver's CANopen object dictionary and the SDO window over it
// (0x0200-0x0205): entries, their defaults, expedited uploads and downloads
// with the aborts a real dictionary gives, and injected SDO faults.

#include "sim/VirtualDriverImpl.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <string>

using namespace vdrv;

namespace {

// Records whose sub-index 0 is the highest sub-index present: a sub-index
// above it does not exist.
bool CountLimited(uint16_t index) {
    return (index >= 0x1400 && index <= 0x1403) || (index >= 0x1800 && index <= 0x1803) ||
           index == 0x1018 || index == 0x2000;
}

bool IsMapping(uint16_t index) {
    return (index >= 0x1600 && index <= 0x1603) || (index >= 0x1A00 && index <= 0x1A03);
}

bool IsPdoComm(uint16_t index) {
    return (index >= 0x1400 && index <= 0x1403) || (index >= 0x1800 && index <= 0x1803);
}

std::vector<ObjDef> BuildDictionary() {
    std::vector<ObjDef> d;
    auto add = [&d](uint16_t i, uint8_t s, uint8_t bits, EAccess a, bool map = false) {
        d.push_back({i, s, bits, a, map});
    };
    add(0x1000, 0, 32, kRo);
    add(0x1001, 0, 8, kRo, true);
    add(0x1005, 0, 32, kRw);
    add(0x1006, 0, 32, kRw);
    add(0x1007, 0, 32, kRw);
    add(0x1010, 0, 8, kRo);
    for (uint8_t s = 1; s <= 3; ++s)
        add(0x1010, s, 32, kRw);
    add(0x1017, 0, 16, kRw);
    add(0x1018, 0, 8, kRo);
    for (uint8_t s = 1; s <= 4; ++s)
        add(0x1018, s, 32, kRo);
    for (uint16_t base : {0x1400, 0x1800}) {
        for (uint16_t n = 0; n < 4; ++n) {
            auto i = static_cast<uint16_t>(base + n);
            add(i, 0, 8, kRo);
            add(i, 1, 32, kRw);
            add(i, 2, 8, kRw);
            add(i, 3, 16, kRw);
            // Sub-index 4 is reserved and therefore absent.
            add(i, 5, 16, kRw);
        }
    }
    for (uint16_t base : {0x1600, 0x1A00}) {
        for (uint16_t n = 0; n < 4; ++n) {
            auto i = static_cast<uint16_t>(base + n);
            add(i, 0, 8, kRw);
            for (uint8_t s = 1; s <= 8; ++s)
                add(i, s, 32, kRw);
        }
    }
    // Manufacturer objects: live values, a user parameter, outputs, a command.
    add(0x2000, 0, 8, kRo);
    add(0x2000, 1, 16, kRo, true); // supply voltage, 0.1 V
    add(0x2000, 2, 16, kRo, true); // internal temperature, 0.1 C
    add(0x2000, 3, 16, kRo, true); // output PWM, 0.1 %
    add(0x2001, 0, 32, kRw, true); // user parameter
    add(0x2002, 0, 8, kRw, true);  // digital outputs
    add(0x2003, 0, 24, kRw);       // user parameter, three bytes
    add(0x2004, 0, 16, kRw, true); // user parameter, two bytes
    add(0x2010, 0, 16, kWo);       // fault reset command
    // Drive profile objects that PDOs usually carry.
    add(0x6040, 0, 16, kRw, true); // control word
    add(0x6041, 0, 16, kRo, true); // status word
    add(0x6064, 0, 32, kRo, true); // position actual value
    add(0x606C, 0, 32, kRo, true); // velocity actual value, Hz
    add(0x607A, 0, 32, kRw, true); // target position
    add(0x60FF, 0, 32, kRw, true); // target velocity
    return d;
}

const std::vector<ObjDef>& Dictionary() {
    static const std::vector<ObjDef> dict = BuildDictionary();
    return dict;
}

uint32_t MaskBits(uint32_t v, int bits) {
    return bits >= 32 ? v : v & ((1u << bits) - 1);
}

} // namespace

void CVirtualDriver::Impl::DefaultObjects() {
    objects.clear();
    extraDefs.clear();
    uint32_t node = regs[kRegNodeId] & 0x7F;
    auto set = [this](uint16_t i, uint8_t s, uint32_t v) { objects[Key(i, s)] = v; };
    set(0x1000, 0, 0x00020192); // servo drive profile
    set(0x1005, 0, 0x00000080);
    set(0x1006, 0, 0);
    set(0x1007, 0, 0);
    set(0x1010, 0, 3);
    set(0x1017, 0, regs[0x0129]);
    set(0x1018, 0, 4);
    set(0x1018, 1, 0x000004A7);
    set(0x1018, 2, 0x00004810);
    set(0x1018, 3, 0x00010002);
    set(0x1018, 4, 0x00000001);
    for (uint16_t n = 0; n < 4; ++n) {
        // PDO 1 is valid, PDOs 2 to 4 start invalid (bit 31).
        uint32_t invalid = n == 0 ? 0 : 0x80000000u;
        auto rx = static_cast<uint16_t>(0x1400 + n), tx = static_cast<uint16_t>(0x1800 + n);
        set(rx, 0, 2);
        set(rx, 1, invalid | (0x200u + 0x100u * n + node));
        set(rx, 2, 255);
        set(rx, 3, 0);
        set(rx, 5, 0);
        set(tx, 0, 5);
        set(tx, 1, invalid | (0x180u + 0x100u * n + node));
        set(tx, 2, 255);
        set(tx, 3, 0);
        set(tx, 5, 0);
        for (uint8_t s = 0; s <= 8; ++s) {
            set(static_cast<uint16_t>(0x1600 + n), s, 0);
            set(static_cast<uint16_t>(0x1A00 + n), s, 0);
        }
    }
    // RPDO1 carries the control word; TPDO1 the status word and the position.
    set(0x1600, 1, 0x60400010);
    set(0x1600, 0, 1);
    set(0x1A00, 1, 0x60410010);
    set(0x1A00, 2, 0x60640020);
    set(0x1A00, 0, 2);
    set(0x2000, 0, 3);
    set(0x2001, 0, 0);
    set(0x2002, 0, 0);
    set(0x2003, 0, 0);
    set(0x2004, 0, 0);
    set(0x2010, 0, 0);
    set(0x6040, 0, 0);
    set(0x607A, 0, 0);
    set(0x60FF, 0, 0);
}

// --- SDO window ----------------------------------------------------------

const ObjDef* CVirtualDriver::Impl::FindObj(uint16_t index, uint8_t sub) const {
    for (const auto& d : Dictionary())
        if (d.index == index && d.sub == sub)
            return &d;
    auto it = extraDefs.find(Key(index, sub));
    return it == extraDefs.end() ? nullptr : &it->second;
}

bool CVirtualDriver::Impl::ObjectExists(uint16_t index) const {
    for (const auto& d : Dictionary())
        if (d.index == index)
            return true;
    for (const auto& [k, d] : extraDefs)
        if (d.index == index)
            return true;
    return false;
}

uint32_t CVirtualDriver::Impl::ObjectValue(const ObjDef& def) const {
    auto joined = [this](uint16_t a) { return static_cast<uint32_t>(regs[a]) << 16 | regs[a + 1]; };
    switch (Key(def.index, def.sub)) {
    case Key(0x1001, 0):
        return regs[kRegErrorState] != 0 ? 0x01 : 0x00;
    case Key(0x2000, 1):
        return regs[kRegSupplyVolt];
    case Key(0x2000, 2):
        return regs[kRegTemperature];
    case Key(0x2000, 3):
        return regs[kRegOutPwm];
    case Key(0x6041, 0):
        // Operation enabled while the motor runs, ready to switch on otherwise.
        return mode != EMode::Idle ? 0x0237 : 0x0231;
    case Key(0x6064, 0):
        return joined(kRegPosition);
    case Key(0x606C, 0):
        return static_cast<uint32_t>(static_cast<int32_t>(std::lround(freq / 10)));
    default: {
        auto it = objects.find(Key(def.index, def.sub));
        return it == objects.end() ? 0 : it->second;
    }
    }
}

uint32_t CVirtualDriver::Impl::SdoUpload(uint16_t index, uint8_t sub, uint32_t& value,
                                         int& bytes) const {
    if (!ObjectExists(index))
        return 0x06020000;
    const ObjDef* def = FindObj(index, sub);
    if (!def || (sub > 0 && CountLimited(index) && sub > ObjectValue(*FindObj(index, 0))))
        return 0x06090011;
    if (def->access == kWo)
        return 0x06010001;
    value = MaskBits(ObjectValue(*def), def->bits);
    if (index == 0x1010 && sub > 0)
        value = 1; // parameters are saved on command
    bytes = def->bits / 8;
    return 0;
}

uint32_t CVirtualDriver::Impl::CheckMapping(uint16_t index, uint32_t count) const {
    if (count > 8)
        return 0x06090031;
    uint32_t total = 0;
    for (uint8_t s = 1; s <= count; ++s) {
        auto it = objects.find(Key(index, s));
        uint32_t e = it == objects.end() ? 0 : it->second;
        auto mIndex = static_cast<uint16_t>(e >> 16);
        auto mSub = static_cast<uint8_t>((e >> 8) & 0xFF);
        auto mBits = static_cast<uint8_t>(e & 0xFF);
        const ObjDef* d = FindObj(mIndex, mSub);
        if (!d || !d->mappable || d->bits != mBits)
            return 0x06040041;
        total += mBits;
    }
    if (total > 64)
        return 0x06040042;
    return 0;
}

uint32_t CVirtualDriver::Impl::SdoDownload(uint16_t index, uint8_t sub, uint32_t value, int size) {
    if (!ObjectExists(index))
        return 0x06020000;
    const ObjDef* def = FindObj(index, sub);
    if (!def || (sub > 0 && CountLimited(index) && sub > ObjectValue(*FindObj(index, 0))))
        return 0x06090011;
    if (def->access == kRo)
        return 0x06010002;
    if (size != 0 && size * 8 != def->bits)
        return 0x06070010;
    value = MaskBits(value, def->bits);
    if (index == 0x1010) {
        if (value != 0x65766173) // "save", s in the lowest byte
            return 0x08000020;
        ++saveCount;
        return 0;
    }
    if (IsMapping(index)) {
        uint32_t enabled = objects[Key(index, 0)];
        // A mapping entry changes only while the mapping is disabled
        // (sub-index 0 = 0). Refused as "not in the present device state",
        // the abort that names the reason: the entry itself is writable.
        if (sub > 0 && enabled != 0)
            return 0x08000022;
        if (sub == 0 && value != 0)
            if (uint32_t ab = CheckMapping(index, value))
                return ab;
    }
    if (IsPdoComm(index) && sub == 2 && value >= 241 && value <= 251)
        return 0x06090030; // reserved transmission types
    objects[Key(index, sub)] = value;
    if (index == 0x1017 && sub == 0)
        regs[0x0129] = static_cast<uint16_t>(value);
    return 0;
}

void CVirtualDriver::Impl::RunSdo() {
    auto cmd = static_cast<uint8_t>(regs[kRegSdo] & 0xFF);
    uint16_t index = regs[kRegSdo + 1];
    auto sub = static_cast<uint8_t>(regs[kRegSdo + 2] & 0xFF);
    uint32_t data = static_cast<uint32_t>(regs[kRegSdo + 4]) << 16 | regs[kRegSdo + 5];
    uint8_t answer = 0x80;
    uint32_t answerData = 0;
    uint8_t ccs = cmd >> 5;
    if (pendingAbort != 0) {
        answerData = pendingAbort; // injected: the object is not touched
    } else if (ccs == 2) {         // initiate upload
        uint32_t value = 0;
        int bytes = 4;
        uint32_t ab = SdoUpload(index, sub, value, bytes);
        if (ab) {
            answerData = ab;
        } else {
            answer = static_cast<uint8_t>(0x43 | ((4 - bytes) << 2));
            answerData = value;
        }
    } else if (ccs == 1 && (cmd & 0x02)) { // expedited initiate download
        int size = (cmd & 0x01) ? 4 - ((cmd >> 2) & 0x03) : 0;
        uint32_t ab = SdoDownload(index, sub, data, size);
        if (ab) {
            answerData = ab;
        } else {
            answer = 0x60;
        }
    } else {
        // Segmented and block transfers do not fit the window.
        answerData = 0x05040001;
    }
    regs[kRegSdo] = answer;
    regs[kRegSdo + 1] = index;
    regs[kRegSdo + 2] = sub;
    regs[kRegSdo + 3] = 0;
    regs[kRegSdo + 4] = static_cast<uint16_t>(answerData >> 16);
    regs[kRegSdo + 5] = static_cast<uint16_t>(answerData & 0xFFFF);
    sdoLog.push_back({cmd, index, sub, data, answer, answerData, false});
}

std::optional<SSdoFault> CVirtualDriver::Impl::TakeSdoFault(uint16_t index, uint8_t sub) {
    for (auto it = sdoFaults.begin(); it != sdoFaults.end(); ++it) {
        if (it->index != index || (it->sub >= 0 && it->sub != sub))
            continue;
        if (it->skip > 0) {
            --it->skip;
            continue;
        }
        SSdoFault hit = *it;
        if (it->count > 0 && --it->count == 0)
            sdoFaults.erase(it);
        return hit;
    }
    return std::nullopt;
}

bool ParseSdoFault(const std::string& text, SSdoFault& fault) {
    auto number = [](const std::string& t, unsigned long max, unsigned long& out) {
        if (t.empty() || t[0] == '-' || t[0] == '+')
            return false;
        char* end = nullptr;
        errno = 0;
        unsigned long v = std::strtoul(t.c_str(), &end, 0);
        if (*end || errno || v > max)
            return false;
        out = v;
        return true;
    };
    SSdoFault f;
    unsigned long v = 0;
    std::string where = text, how;
    if (size_t at = where.find('@'); at != std::string::npos) {
        if (!number(where.substr(at + 1), 1000000, v))
            return false;
        f.skip = static_cast<int>(v);
        where.resize(at);
    }
    if (size_t eq = where.find('='); eq != std::string::npos) {
        how = where.substr(eq + 1);
        where.resize(eq);
    }
    std::string index = where;
    if (size_t colon = where.find(':'); colon != std::string::npos) {
        index = where.substr(0, colon);
        if (!number(where.substr(colon + 1), 255, v))
            return false;
        f.sub = static_cast<int>(v);
    }
    if (!number(index, 0xFFFF, v))
        return false;
    f.index = static_cast<uint16_t>(v);
    std::string kind = how, code;
    if (size_t colon = how.find(':'); colon != std::string::npos) {
        kind = how.substr(0, colon);
        code = how.substr(colon + 1);
    }
    if (kind.empty() || kind == "abort") {
        f.kind = SSdoFault::EKind::Abort;
        if (!code.empty() && (!number(code, 0xFFFFFFFF, v) || v == 0))
            return false;
    } else if (kind == "exception") {
        f.kind = SSdoFault::EKind::Exception;
        if (!code.empty() && (!number(code, 255, v) || v == 0))
            return false;
    } else if (kind == "silent" && code.empty()) {
        f.kind = SSdoFault::EKind::Silent;
    } else {
        return false;
    }
    f.code = code.empty() ? 0 : static_cast<uint32_t>(v);
    fault = f;
    return true;
}

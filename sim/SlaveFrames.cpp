// Requests in, replies out: the virtual driver as a Modbus RTU slave. Reads,
// single and multiple writes (an SDO request through the window may meet an
// injected fault first), device identification, and exception replies.

#include "sim/VirtualDriverImpl.h"

#include "modbus/Crc16.h"
#include "modbus/ResultCode.h"

#include <algorithm>
#include <cstring>

using namespace vdrv;

namespace {

// --- device identification -----------------------------------------------

struct IdObject {
    uint8_t id;
    const char* text;
};
constexpr IdObject kIdObjects[] = {
    {0x00, "Halvik Motion"},
    {0x01, "HVK-BLD4810"},
    {0x02, "V1.02"},
    {0x03, "http://www.halvik-motion.example"},
    {0x04, "Halvik BLDC Driver"},
    {0x05, "HVK-BLD4810"},
    {0x06, "halvik-sim"},
    {0x80, "virtual driver, no motor attached"},
};
constexpr size_t kIdObjectsPerReply = 2; // the basic stream takes two replies

uint8_t LastIdOfCategory(uint8_t code) {
    return code == 1 ? 0x02 : code == 2 ? 0x06 : 0xFF;
}

// --- frames --------------------------------------------------------------

uint16_t Be16(const uint8_t* p) {
    return static_cast<uint16_t>((p[0] << 8) | p[1]);
}

void PutBe16(std::vector<uint8_t>& out, uint16_t v) {
    out.push_back(static_cast<uint8_t>(v >> 8));
    out.push_back(static_cast<uint8_t>(v & 0xFF));
}

std::vector<uint8_t> Finish(std::vector<uint8_t> out) {
    size_t n = out.size();
    out.resize(n + 2);
    AppendCrc(out.data(), n);
    return out;
}

} // namespace

std::vector<uint8_t> vdrv::ExceptionReply(uint8_t slave, uint8_t fn, uint8_t code) {
    return Finish({slave, static_cast<uint8_t>(fn | 0x80), code});
}

bool vdrv::CrcOk(const uint8_t* f, size_t len) {
    if (len < 4)
        return false;
    uint16_t c = Crc16(f, len - 2);
    return f[len - 2] == (c >> 8) && f[len - 1] == (c & 0xFF);
}

// --- Modbus functions ----------------------------------------------------

std::vector<uint8_t> CVirtualDriver::Impl::Handle(const uint8_t* f, size_t len) {
    uint8_t fn = f[1];
    switch (fn) {
    case 0x03:
        if (len != 8)
            return {};
        return ReadHolding(f);
    case 0x06:
        if (len != 8)
            return {};
        return WriteSingle(f);
    case 0x10:
        return WriteMultiple(f, len);
    case 0x2B:
        if (len != 7)
            return {};
        return DeviceId(f);
    default:
        return ExceptionReply(slave, fn, kResultIllegalFunction);
    }
}

std::vector<uint8_t> CVirtualDriver::Impl::ReadHolding(const uint8_t* f) {
    uint16_t start = Be16(f + 2), count = Be16(f + 4);
    if (count == 0 || count > 125)
        return ExceptionReply(slave, 0x03, kResultIllegalValue);
    for (uint32_t a = start; a < static_cast<uint32_t>(start) + count; ++a)
        if (!FindRange(a))
            return ExceptionReply(slave, 0x03, kResultIllegalAddress);
    std::vector<uint8_t> out = {slave, 0x03, static_cast<uint8_t>(count * 2)};
    for (uint32_t a = start; a < static_cast<uint32_t>(start) + count; ++a)
        PutBe16(out, a == kRegClearPos ? 0 : regs[a]);
    return Finish(std::move(out));
}

std::vector<uint8_t> CVirtualDriver::Impl::WriteSingle(const uint8_t* f) {
    uint16_t addr = Be16(f + 2), value = Be16(f + 4);
    if (uint8_t ex = Write(addr, {value}, false))
        return ExceptionReply(slave, 0x06, ex);
    return Finish(std::vector<uint8_t>(f, f + 6));
}

std::vector<uint8_t> CVirtualDriver::Impl::WriteMultiple(const uint8_t* f, size_t len) {
    if (len < 9)
        return {};
    uint16_t start = Be16(f + 2), count = Be16(f + 4);
    uint8_t bytes = f[6];
    if (count == 0 || count > 123 || bytes != count * 2 || len != 9u + bytes)
        return ExceptionReply(slave, 0x10, kResultIllegalValue);
    std::vector<uint16_t> values;
    for (uint16_t i = 0; i < count; ++i)
        values.push_back(Be16(f + 7 + 2 * i));
    if (start <= kRegSdo && start + count > kRegSdoLast) {
        // A request for the SDO window: an injected fault may hit it.
        const uint16_t* w = values.data() + (kRegSdo - start);
        SSdoExchange x{static_cast<uint8_t>(w[0] & 0xFF), w[1], static_cast<uint8_t>(w[2] & 0xFF),
                       static_cast<uint32_t>(w[4]) << 16 | w[5]};
        if (std::optional<SSdoFault> fault = TakeSdoFault(x.index, x.sub)) {
            switch (fault->kind) {
            case SSdoFault::EKind::Exception:
                x.refused = true;
                sdoLog.push_back(x);
                return ExceptionReply(slave, 0x10,
                                      static_cast<uint8_t>(fault->code ? fault->code : 4));
            case SSdoFault::EKind::Silent:
                x.refused = true;
                sdoLog.push_back(x);
                return {};
            case SSdoFault::EKind::Abort:
                pendingAbort = fault->code ? fault->code : 0x08000000;
                break;
            }
        }
    }
    uint8_t ex = Write(start, values, true);
    pendingAbort = 0;
    if (ex)
        return ExceptionReply(slave, 0x10, ex);
    return Finish(std::vector<uint8_t>(f, f + 6));
}

std::vector<uint8_t> CVirtualDriver::Impl::DeviceId(const uint8_t* f) {
    if (f[2] != 0x0E)
        return ExceptionReply(slave, 0x2B, kResultIllegalFunction);
    uint8_t code = f[3], objectId = f[4];
    auto find = [](uint8_t id) -> const IdObject* {
        for (const auto& o : kIdObjects)
            if (o.id == id)
                return &o;
        return nullptr;
    };
    if (code < 1 || code > 4)
        return ExceptionReply(slave, 0x2B, kResultIllegalValue);
    std::vector<const IdObject*> objs;
    uint8_t more = 0, next = 0;
    if (code == 4) {
        const IdObject* o = find(objectId);
        if (!o)
            return ExceptionReply(slave, 0x2B, kResultIllegalAddress);
        objs.push_back(o);
    } else {
        uint8_t last = LastIdOfCategory(code);
        // An id outside the category starts the stream from the beginning.
        if (objectId > last || !find(objectId))
            objectId = 0;
        std::vector<const IdObject*> rest;
        for (const auto& o : kIdObjects)
            if (o.id >= objectId && o.id <= last)
                rest.push_back(&o);
        size_t n = std::min(rest.size(), kIdObjectsPerReply);
        objs.assign(rest.begin(), rest.begin() + static_cast<long>(n));
        if (n < rest.size()) {
            more = 0xFF;
            next = rest[n]->id;
        }
        if (deviceIdEndless) {
            more = 0xFF;
            next = objectId;
        }
    }
    std::vector<uint8_t> out = {slave, 0x2B, 0x0E, code,
                                0x83,  more, next, static_cast<uint8_t>(objs.size())};
    for (const IdObject* o : objs) {
        size_t l = std::strlen(o->text);
        out.push_back(o->id);
        out.push_back(static_cast<uint8_t>(l));
        out.insert(out.end(), o->text, o->text + l);
    }
    return Finish(std::move(out));
}

// CVirtualDriver's public face: each call takes the lock and hands over to
// the state in VirtualDriverImpl.h.

#include "sim/VirtualDriver.h"

#include "sim/VirtualDriverImpl.h"

using namespace vdrv;

CVirtualDriver::CVirtualDriver(uint8_t slave) : m_p(std::make_unique<Impl>()) {
    m_p->slave = slave;
    m_p->Defaults();
}

CVirtualDriver::~CVirtualDriver() = default;

std::vector<uint8_t> CVirtualDriver::HandleFrame(const uint8_t* frame, size_t len) {
    std::lock_guard<std::mutex> g(m_lock);
    if (!frame || len < 4 || !CrcOk(frame, len))
        return {};
    bool broadcast = frame[0] == 0;
    if (!broadcast && frame[0] != m_p->slave)
        return {};
    m_p->log.emplace_back(frame, frame + len);
    if (broadcast) {
        // Writes take effect; nobody answers a broadcast.
        if (frame[1] == 0x06 || frame[1] == 0x10)
            m_p->Handle(frame, len);
        return {};
    }
    return m_p->Handle(frame, len);
}

std::vector<uint8_t> CVirtualDriver::RefuseFrame(const uint8_t* frame, size_t len, uint8_t code) {
    std::lock_guard<std::mutex> g(m_lock);
    if (!frame || len < 4 || !CrcOk(frame, len) || frame[0] != m_p->slave)
        return {};
    m_p->log.emplace_back(frame, frame + len);
    return ExceptionReply(m_p->slave, frame[1], code);
}

void CVirtualDriver::Advance(Clock::time_point now) {
    std::lock_guard<std::mutex> g(m_lock);
    double dt = 0;
    if (m_p->advanced && now > m_p->lastAdvance)
        dt = std::chrono::duration<double>(now - m_p->lastAdvance).count();
    if (!m_p->advanced)
        m_p->nextTick = now;
    if (!m_p->advanced || now > m_p->lastAdvance)
        m_p->lastAdvance = now;
    m_p->advanced = true;
    m_p->Step(now, dt);
    m_p->UpdateStatus();
}

uint8_t CVirtualDriver::Slave() const {
    std::lock_guard<std::mutex> g(m_lock);
    return m_p->slave;
}

void CVirtualDriver::SetSlave(uint8_t slave) {
    std::lock_guard<std::mutex> g(m_lock);
    m_p->slave = slave;
    m_p->regs[kRegSlaveAddr] = slave;
}

uint16_t CVirtualDriver::GetRegister(uint16_t addr) const {
    std::lock_guard<std::mutex> g(m_lock);
    return m_p->regs[addr];
}

void CVirtualDriver::SetRegister(uint16_t addr, uint16_t value) {
    SetRegisters(addr, {value});
}

std::vector<uint16_t> CVirtualDriver::GetRegisters(uint16_t start, uint16_t count) const {
    std::lock_guard<std::mutex> g(m_lock);
    std::vector<uint16_t> out;
    for (uint32_t a = start; a < static_cast<uint32_t>(start) + count && a <= 0xFFFF; ++a)
        out.push_back(m_p->regs[a]);
    return out;
}

void CVirtualDriver::SetRegisters(uint16_t start, const std::vector<uint16_t>& values) {
    std::lock_guard<std::mutex> g(m_lock);
    for (size_t i = 0; i < values.size() && start + i <= 0xFFFF; ++i) {
        size_t a = start + i;
        m_p->regs[a] = values[i];
        // A status register set by hand stays as set (the speed-scale flag
        // 0x0035 is a setting, not a measurement, and keeps working).
        if (a >= 0x20 && a < 0x3C && a != kRegSpeedScale)
            m_p->pinned[a - 0x20] = true;
    }
    m_p->UpdateStatus();
}

bool CVirtualDriver::GetObject(uint16_t index, uint8_t sub, uint32_t& value) const {
    std::lock_guard<std::mutex> g(m_lock);
    const ObjDef* d = m_p->FindObj(index, sub);
    if (!d)
        return false;
    value = m_p->ObjectValue(*d);
    return true;
}

void CVirtualDriver::SetObject(uint16_t index, uint8_t sub, uint32_t value) {
    std::lock_guard<std::mutex> g(m_lock);
    if (!m_p->FindObj(index, sub))
        m_p->extraDefs[Key(index, sub)] = ObjDef{index, sub, 32, kRw, false};
    m_p->objects[Key(index, sub)] = value;
}

int CVirtualDriver::SaveCount() const {
    std::lock_guard<std::mutex> g(m_lock);
    return m_p->saveCount;
}

void CVirtualDriver::SetLearnDuration(std::chrono::milliseconds d) {
    std::lock_guard<std::mutex> g(m_lock);
    m_p->learnDuration = d;
}

void CVirtualDriver::SetMeasureDuration(std::chrono::milliseconds d) {
    std::lock_guard<std::mutex> g(m_lock);
    m_p->measureDuration = d;
}

void CVirtualDriver::SetLearnOutcome(bool success) {
    SetLearnOutcome(success ? ELearnOutcome::Success : ELearnOutcome::Failure);
}

void CVirtualDriver::SetLearnOutcome(ELearnOutcome outcome) {
    std::lock_guard<std::mutex> g(m_lock);
    m_p->learnOutcome = outcome;
}

bool CVirtualDriver::Learning() const {
    std::lock_guard<std::mutex> g(m_lock);
    return m_p->learning;
}

void CVirtualDriver::SetMotor(const SMotorConstants& k) {
    std::lock_guard<std::mutex> g(m_lock);
    m_p->loop.SetConstants(k);
}

SMotorConstants CVirtualDriver::Motor() const {
    std::lock_guard<std::mutex> g(m_lock);
    return m_p->loop.Constants();
}

void CVirtualDriver::StartTrace() {
    std::lock_guard<std::mutex> g(m_lock);
    m_p->trace.clear();
    m_p->tracing = true;
}

std::vector<SMotorTracePoint> CVirtualDriver::Trace() const {
    std::lock_guard<std::mutex> g(m_lock);
    return m_p->trace;
}

void CVirtualDriver::SetDeviceIdEndless(bool endless) {
    std::lock_guard<std::mutex> g(m_lock);
    m_p->deviceIdEndless = endless;
}

void CVirtualDriver::AddSdoFault(const SSdoFault& fault) {
    std::lock_guard<std::mutex> g(m_lock);
    if (fault.count != 0)
        m_p->sdoFaults.push_back(fault);
}

void CVirtualDriver::ClearSdoFaults() {
    std::lock_guard<std::mutex> g(m_lock);
    m_p->sdoFaults.clear();
}

std::vector<SSdoExchange> CVirtualDriver::SdoLog() const {
    std::lock_guard<std::mutex> g(m_lock);
    return m_p->sdoLog;
}

void CVirtualDriver::ClearSdoLog() {
    std::lock_guard<std::mutex> g(m_lock);
    m_p->sdoLog.clear();
}

std::vector<std::vector<uint8_t>> CVirtualDriver::RequestLog() const {
    std::lock_guard<std::mutex> g(m_lock);
    return m_p->log;
}

void CVirtualDriver::ClearRequestLog() {
    std::lock_guard<std::mutex> g(m_lock);
    m_p->log.clear();
}

void CVirtualDriver::Reset() {
    std::lock_guard<std::mutex> g(m_lock);
    m_p->Defaults();
}

void CVirtualDriver::LineSetting(uint32_t& baud, char& parity) const {
    std::lock_guard<std::mutex> g(m_lock);
    const auto& r = m_p->regs;
    baud = static_cast<uint32_t>(r[kRegCommBaudHigh]) << 16 | r[kRegCommBaudHigh + 1];
    const uint16_t choice = r[kRegCommBaudHigh + 2];
    parity = choice == 1 ? 'o' : choice == 2 ? 'e' : 'n';
}

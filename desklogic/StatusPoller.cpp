#include "desklogic/StatusPoller.h"

CStatusPoller::CStatusPoller(CMotorDriver& driver, Done done)
    : m_driver(driver), m_done(std::move(done)), m_thread([this] { Run(); }) {}

CStatusPoller::~CStatusPoller() {
    {
        std::lock_guard<std::mutex> lk(m_lock);
        m_bStop = true;
    }
    m_wake.notify_all();
    m_thread.join();
}

bool CStatusPoller::Start(uint8_t slave, unsigned tag) {
    {
        std::lock_guard<std::mutex> lk(m_lock);
        if (m_bBusy || m_bStop)
            return false;
        m_bBusy = true;
        m_nSlave = slave;
        m_nTag = tag;
    }
    m_wake.notify_all();
    return true;
}

bool CStatusPoller::Busy() const {
    std::lock_guard<std::mutex> lk(m_lock);
    return m_bBusy;
}

void CStatusPoller::Run() {
    std::unique_lock<std::mutex> lk(m_lock);
    for (;;) {
        m_wake.wait(lk, [this] { return m_bStop || m_bBusy; });
        if (m_bStop)
            return;
        const uint8_t slave = m_nSlave;
        const unsigned tag = m_nTag;
        lk.unlock();
        RealtimeStatusBlock block{};
        const ResultCode rc = m_driver.ReadRealtimeStatusBlock(slave, block);
        m_done(tag, rc, block);
        lk.lock();
        m_bBusy = false;
    }
}

#include "tests/support/SimHarness.h"

#include "serial/PortMap.h"

#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>

CSimHarness::CSimHarness(uint8_t slave, int comNumber, bool paced) {
    m_drivers.push_back(std::make_unique<CVirtualDriver>(slave));
    m_server = std::make_unique<CSimServer>(*m_drivers.front());
    m_server->SetPacing(paced);
    m_bOk = m_server->Start(comNumber < 0 ? -1 : comNumber);
}

CSimHarness::CSimHarness(const std::vector<uint8_t>& slaves, bool paced) {
    for (uint8_t s : slaves)
        m_drivers.push_back(std::make_unique<CVirtualDriver>(s));
    m_server = std::make_unique<CSimServer>(*m_drivers.front());
    for (size_t i = 1; i < m_drivers.size(); ++i)
        m_server->AddDriver(*m_drivers[i]);
    m_server->SetPacing(paced);
    m_bOk = m_server->Start(-1);
}

CVirtualDriver& CSimHarness::DriverAt(uint8_t slave) {
    for (auto& d : m_drivers)
        if (d->Slave() == slave)
            return *d;
    return *m_drivers.front();
}

CSimHarness::~CSimHarness() {
    m_server->Stop();
}

bool WaitFor(const std::function<bool()>& pred, int timeoutMs) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!pred()) {
        if (std::chrono::steady_clock::now() >= deadline)
            return pred();
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

std::string UsePrivatePortFolder() {
    char dir[] = "/tmp/halvik-test-XXXXXX";
    if (!mkdtemp(dir))
        return "";
    setenv("XDG_RUNTIME_DIR", dir, 1);
    EnsurePortFolder();
    return PortFolder();
}

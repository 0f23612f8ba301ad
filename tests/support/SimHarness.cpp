#include "tests/support/SimHarness.h"

#include "serial/PortMap.h"

#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>

CSimHarness::CSimHarness(uint8_t slave, int comNumber, bool paced)
    : m_driver(std::make_unique<CVirtualDriver>(slave)),
      m_server(std::make_unique<CSimServer>(*m_driver)) {
    m_server->SetPacing(paced);
    m_bOk = m_server->Start(comNumber < 0 ? -1 : comNumber);
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

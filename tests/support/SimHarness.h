#pragma once
// A virtual driver served on a pseudo-terminal for the lifetime of a test,
// plus a bounded wait for conditions. Nothing here sleeps blindly.

#include "sim/SimServer.h"
#include "sim/VirtualDriver.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

class CSimHarness {
public:
    // Starts serving at once (no COM link unless comNumber >= 0). Unpaced
    // unless asked: replies come at once, so tests that do not measure time
    // stay quick.
    explicit CSimHarness(uint8_t slave = 1, int comNumber = -1, bool paced = false);
    // Several virtual drivers on the one line, each at its own address.
    explicit CSimHarness(const std::vector<uint8_t>& slaves, bool paced = false);
    ~CSimHarness();

    bool Ok() const { return m_bOk; }
    CVirtualDriver& Driver() { return *m_drivers.front(); }
    // The driver at this address (the first when none is).
    CVirtualDriver& DriverAt(uint8_t slave);
    CSimServer& Server() { return *m_server; }
    std::string Device() const { return m_server->DevicePath(); }

private:
    std::vector<std::unique_ptr<CVirtualDriver>> m_drivers;
    std::unique_ptr<CSimServer> m_server;
    bool m_bOk = false;
};

// Polls pred every few ms until it holds or timeoutMs passes; returns pred().
bool WaitFor(const std::function<bool()>& pred, int timeoutMs = 5000);

// Points the port folder at a fresh private directory for this process
// (sets XDG_RUNTIME_DIR to a new mkdtemp directory and creates the folder),
// so tests never touch the user's COM links. Returns the port folder, where
// links are named COMn; "" when no directory could be made.
std::string UsePrivatePortFolder();

#pragma once
// A master on a pseudo-terminal to the virtual driver, for the end-to-end
// transaction tests.

#include "modbus/ModbusRtu.h"
#include "tests/core/TestBytes.h"
#include "tests/support/SimHarness.h"

#include <gtest/gtest.h>

inline const char* const kSettings = "9600,n,8,1";

class MasterTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_sim.Ok());
        ASSERT_TRUE(m_master.OpenPortPath(m_sim.Device(), kSettings))
            << PortErrorText(m_master.LastOpenError());
    }

    // Reads count registers from start and returns the data bytes (empty on failure).
    Bytes Read(uint16_t start, uint16_t count, ResultCode* rcOut = nullptr) {
        Bytes buf(2u * count);
        uint16_t cap = static_cast<uint16_t>(buf.size());
        ResultCode rc = m_master.ReadRegisters(1, start, count, buf.data(), &cap);
        if (rcOut)
            *rcOut = rc;
        buf.resize(rc == kResultOk ? cap : 0);
        return buf;
    }

    // Injects a fault for the next exchange under a short time-out, so that a
    // loaded machine never turns the good exchanges into time-outs.
    void Provoke(EFault kind, int param = 0) {
        m_master.SetTimeout(200);
        m_sim.Server().InjectFault(kind, param);
    }
    void Relax() { m_master.SetTimeout(2000); }

    CSimHarness m_sim{1};
    CModbusRtu m_master;
};

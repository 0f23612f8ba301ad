// Every shape of reply against each kind of fault the virtual driver can
// inject: the right result code, a bounded wait, and a correct transaction
// after. A write of several registers is the SDO exchange's first half; a
// reply from another address goes unanswered as one with a bad CRC does (the
// reply assembler's tests refuse both).

#include "driver/MotorDriver.h"
#include "tests/core/TestBytes.h"
#include "tests/support/SimHarness.h"

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <string>

namespace {

using Clock = std::chrono::steady_clock;
const char* const kSettings = "9600,n,8,1";
constexpr uint32_t kTimeoutMs = 250;
// What a loaded machine may add to the reply time-out before a transaction
// must have ended.
constexpr auto kGrace = std::chrono::milliseconds(700);

// One transaction kind: runs once and checks its payload where it succeeded.
struct Kind {
    const char* name;
    std::function<ResultCode(CMotorDriver&, CVirtualDriver&)> run;
};

ResultCode RunRead(CMotorDriver& drv, CVirtualDriver& sim) {
    uint8_t buf[8] = {};
    uint16_t cap = sizeof buf;
    ResultCode rc = drv.ReadRegisters(1, 0x0050, 4, buf, &cap);
    if (rc == kResultOk) {
        EXPECT_EQ(cap, 8);
        EXPECT_EQ(Bytes(buf, buf + 8), Regs(sim.GetRegisters(0x0050, 4)));
    }
    return rc;
}

ResultCode RunWriteSingle(CMotorDriver& drv, CVirtualDriver& sim) {
    uint16_t addr = 0, value = 0;
    ResultCode rc = drv.WriteRegister(1, 0x0052, 4321, &addr, &value);
    if (rc == kResultOk) {
        EXPECT_EQ(addr, 0x0052);
        EXPECT_EQ(value, 4321);
        EXPECT_EQ(sim.GetRegister(0x0052), 4321);
    }
    return rc;
}

ResultCode RunDeviceId(CMotorDriver& drv, CVirtualDriver&) {
    uint8_t buf[255];
    uint16_t cap = sizeof buf;
    ResultCode rc = drv.ReadDeviceId(1, 1, 0, buf, &cap);
    if (rc == kResultOk) {
        EXPECT_GE(cap, 4);
        EXPECT_EQ(Bytes(buf, buf + 4), Hex("FF 02 02 00")); // more follows; the company name
    }
    return rc;
}

ResultCode RunSdo(CMotorDriver& drv, CVirtualDriver& sim) {
    SdoReply reply;
    ResultCode rc = drv.SdoAccess(1, kSdoUpload, 0x1800, 1, 0, reply);
    if (rc == kResultOk) {
        uint32_t value = 0;
        EXPECT_TRUE(sim.GetObject(0x1800, 1, value));
        EXPECT_EQ(reply.index, 0x1800);
        EXPECT_EQ(reply.subindex, 1);
        EXPECT_EQ(reply.data, value);
    }
    return rc;
}

const Kind kKinds[] = {
    {"read", RunRead},
    {"write single", RunWriteSingle},
    {"device id", RunDeviceId},
    {"sdo exchange", RunSdo},
};

struct Fault {
    const char* name;
    EFault kind;
    int param;
    ResultCode expected;
};

const Fault kFaults[] = {
    {"silence", EFault::Silent, 0, kResultTimeout},
    {"bad crc", EFault::BadCrc, 0, kResultTimeout},
    {"wrong function", EFault::WrongFunction, 0, kResultBadReply},
    {"exception", EFault::Exception, 3, kResultIllegalValue},
    {"split", EFault::Split, 40, kResultOk},
    {"trailing bytes", EFault::Trailing, 4, kResultOk},
    {"late reply", EFault::Delay, static_cast<int>(kTimeoutMs) + 150, kResultTimeout},
    {"line gone", EFault::LineGone, 0, kResultPortClosed},
};

} // namespace

TEST(FaultMatrix, EveryReplyShapeAgainstEachKindOfFault) {
    for (const Fault& fault : kFaults) {
        for (const Kind& kind : kKinds) {
            SCOPED_TRACE(std::string(kind.name) + " / " + fault.name);
            CSimHarness sim(1);
            ASSERT_TRUE(sim.Ok());
            CMotorDriver drv;
            ASSERT_TRUE(drv.OpenPortPath(sim.Device(), kSettings));
            drv.SetTimeout(kTimeoutMs);
            sim.Server().InjectFault(fault.kind, fault.param);

            const auto t0 = Clock::now();
            EXPECT_EQ(kind.run(drv, sim.Driver()), fault.expected);
            const auto took = Clock::now() - t0;
            // An SDO exchange that succeeds is two transactions.
            EXPECT_LT(took, 2 * std::chrono::milliseconds(kTimeoutMs) + kGrace);

            // The next transaction of the same kind is not spoilt by what
            // came before (a late reply, trailing bytes); a lost line answers
            // at once as a closed port.
            drv.SetTimeout(3000);
            if (fault.kind == EFault::LineGone) {
                EXPECT_LT(took, std::chrono::milliseconds(kTimeoutMs)); // at once
                EXPECT_TRUE(drv.LineLost());
                const auto t1 = Clock::now();
                EXPECT_EQ(kind.run(drv, sim.Driver()), kResultPortClosed);
                EXPECT_LT(Clock::now() - t1, std::chrono::milliseconds(100));
            } else {
                EXPECT_EQ(kind.run(drv, sim.Driver()), kResultOk);
                EXPECT_FALSE(drv.LineLost());
            }
        }
    }
}

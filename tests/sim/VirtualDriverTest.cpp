// The virtual driver as a pure frame-in, frame-out function with its own clock.

#include "sim/VirtualDriver.h"
#include "modbus/Crc16.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <initializer_list>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;
using namespace std::chrono_literals;

Bytes WithCrc(Bytes b) {
    size_t n = b.size();
    b.resize(n + 2);
    AppendCrc(b.data(), n);
    return b;
}

uint8_t Hi(uint16_t v) {
    return static_cast<uint8_t>(v >> 8);
}
uint8_t Lo(uint16_t v) {
    return static_cast<uint8_t>(v & 0xFF);
}

class VirtualDriverTest : public ::testing::Test {
protected:
    CVirtualDriver m_drv{1};
    CVirtualDriver::Clock::time_point m_now = CVirtualDriver::Clock::time_point{} + 1h;

    void SetUp() override { m_drv.Advance(m_now); }
    void Pass(std::chrono::milliseconds d) {
        m_now += d;
        m_drv.Advance(m_now);
    }

    Bytes Send(const Bytes& req) { return m_drv.HandleFrame(req.data(), req.size()); }

    // Register values read with function 3, or the exception code as the only
    // element of `exception`.
    std::vector<uint16_t> Read(uint16_t start, uint16_t count, int* exception = nullptr) {
        Bytes r = Send(WithCrc({1, 0x03, Hi(start), Lo(start), Hi(count), Lo(count)}));
        std::vector<uint16_t> out;
        if (r.size() == 5 && r[1] == 0x83) {
            if (exception)
                *exception = r[2];
            return out;
        }
        EXPECT_EQ(r.size(), 5u + 2 * count);
        for (size_t i = 3; i + 2 < r.size(); i += 2)
            out.push_back(static_cast<uint16_t>(r[i] << 8 | r[i + 1]));
        return out;
    }
    uint16_t Reg(uint16_t addr) {
        auto v = Read(addr, 1);
        return v.empty() ? 0xDEAD : v[0];
    }
    // 0 on success, else the exception code.
    int Write1(uint16_t addr, uint16_t value) {
        Bytes req = WithCrc({1, 0x06, Hi(addr), Lo(addr), Hi(value), Lo(value)});
        Bytes r = Send(req);
        if (r.size() == 5 && r[1] == 0x86)
            return r[2];
        EXPECT_EQ(r, req);
        return 0;
    }
    int WriteN(uint16_t start, std::initializer_list<uint16_t> values) {
        auto n = static_cast<uint16_t>(values.size());
        Bytes req = {1, 0x10, Hi(start), Lo(start), Hi(n), Lo(n), static_cast<uint8_t>(2 * n)};
        for (uint16_t v : values) {
            req.push_back(Hi(v));
            req.push_back(Lo(v));
        }
        Bytes r = Send(WithCrc(req));
        if (r.size() == 5 && r[1] == 0x90)
            return r[2];
        EXPECT_EQ(r, WithCrc({1, 0x10, Hi(start), Lo(start), Hi(n), Lo(n)}));
        return 0;
    }
    struct SdoAnswer {
        uint16_t cmd, index, sub, reserved;
        uint32_t data;
    };
    SdoAnswer Sdo(uint8_t cmd, uint16_t index, uint8_t sub, uint32_t data = 0) {
        EXPECT_EQ(WriteN(0x0200, {cmd, index, sub, 0, static_cast<uint16_t>(data >> 16),
                                  static_cast<uint16_t>(data & 0xFFFF)}),
                  0);
        auto r = Read(0x0200, 6);
        if (r.size() != 6)
            return {};
        return {r[0], r[1], r[2], r[3], static_cast<uint32_t>(r[4]) << 16 | r[5]};
    }
    uint32_t Abort(uint8_t cmd, uint16_t index, uint8_t sub, uint32_t data = 0) {
        SdoAnswer a = Sdo(cmd, index, sub, data);
        EXPECT_EQ(a.cmd, 0x80) << std::hex << index << " sub " << int(sub);
        return a.data;
    }
    int32_t Position() { return static_cast<int32_t>(Reg(0x0024) << 16 | Reg(0x0025)); }
};

TEST_F(VirtualDriverTest, DefaultRegistersLookLikeARealDriver) {
    auto info = Read(0x0000, 16);
    ASSERT_EQ(info.size(), 16u);
    EXPECT_EQ(info[1], 0x0102);
    EXPECT_EQ(info[2] >> 8, 'H'); // first model character in the high byte
    EXPECT_EQ(info[2] & 0xFF, 'V');
    EXPECT_EQ(info[0x0B], 16000);
    EXPECT_NE(info[0x0E], 0);
    // 9600 baud as a 32-bit pair, high word first; PID gains as floats.
    EXPECT_EQ(Read(0x0090, 2), (std::vector<uint16_t>{0x0000, 0x2580}));
    EXPECT_EQ(Read(0x00BA, 2), (std::vector<uint16_t>{0x3F80, 0x0000}));
    // The learning block reads 16 registers, with 6 phase values announced.
    EXPECT_EQ(Read(0x00E0, 16).size(), 16u);
    EXPECT_EQ(Reg(0x00E4), 6);
    EXPECT_EQ(Reg(0x0075) & 1, 1);
    EXPECT_EQ(Reg(0x0037), 253);
    EXPECT_EQ(Reg(0x0038), 240);
}

TEST_F(VirtualDriverTest, WritesAreStoredAndEchoed) {
    EXPECT_EQ(Write1(0x0050, 1234), 0);
    EXPECT_EQ(WriteN(0x0100, {90, 80, 700}), 0);
    EXPECT_EQ(Reg(0x0050), 1234);
    EXPECT_EQ(Read(0x0100, 3), (std::vector<uint16_t>{90, 80, 700}));
    // The largest block goes in one request.
    EXPECT_EQ(WriteN(0x0060, {1,  2,  3,  4,  5,  6,  7,  8,  9,  10, 11, 12, 13, 14,
                              15, 16, 17, 18, 19, 20, 21, 22, 23, 24, 25, 26, 27}),
              0);
    EXPECT_EQ(Reg(0x007A), 27);
    EXPECT_EQ(m_drv.GetRegister(0x0060), 1);
}

TEST_F(VirtualDriverTest, MalformedOrUnknownRequestsGetTheRightException) {
    int ex = 0;
    Read(0x0048, 1, &ex);
    EXPECT_EQ(ex, 2); // unmapped
    ex = 0;
    Read(0x0038, 8, &ex);
    EXPECT_EQ(ex, 2); // runs past the status block into a gap
    ex = 0;
    Read(0x0000, 0, &ex);
    EXPECT_EQ(ex, 3);
    ex = 0;
    Read(0x0000, 126, &ex);
    EXPECT_EQ(ex, 3);
    EXPECT_EQ(Write1(0x0020, 1), 2); // status is read-only
    EXPECT_EQ(Write1(0x00E5, 1), 2); // learned phases are read-only
    EXPECT_EQ(Write1(0x0048, 1), 2);

    // Byte count that does not match the register count.
    Bytes bad = WithCrc({1, 0x10, 0x00, 0x50, 0x00, 0x02, 0x02, 0x00, 0x01});
    EXPECT_EQ(Send(bad), WithCrc({1, 0x90, 3}));
    // 124 registers is one too many for a write.
    Bytes big = {1, 0x10, 0x00, 0x50, 0x00, 124, 248};
    big.resize(big.size() + 248);
    EXPECT_EQ(Send(WithCrc(big)), WithCrc({1, 0x90, 3}));
    // An unknown function, a wrong CRC, another slave.
    EXPECT_EQ(Send(WithCrc({1, 0x04, 0, 0, 0, 1})), WithCrc({1, 0x84, 1}));
    Bytes corrupt = WithCrc({1, 0x03, 0, 0, 0, 1});
    corrupt.back() ^= 1;
    EXPECT_TRUE(Send(corrupt).empty());
    m_drv.ClearRequestLog();
    EXPECT_TRUE(Send(WithCrc({2, 0x03, 0, 0, 0, 1})).empty());
    EXPECT_TRUE(m_drv.RequestLog().empty());
    // A broadcast write acts but is not answered.
    EXPECT_TRUE(Send(WithCrc({0, 0x06, 0x00, 0x51, 0x00, 0x07})).empty());
    EXPECT_EQ(m_drv.GetRegister(0x0051), 7);
    EXPECT_EQ(m_drv.RequestLog().size(), 1u);
}

TEST_F(VirtualDriverTest, RunCommandsNeedALearnedMotorAndValidValues) {
    m_drv.SetRegister(0x0075, 0);
    EXPECT_EQ(Reg(0x0033), 1); // error state: not learned
    EXPECT_EQ(Write1(0x0042, 100), 96);
    EXPECT_EQ(Write1(0x0043, 100), 96);
    EXPECT_EQ(WriteN(0x0044, {100, 0, 0, 500}), 96);
    EXPECT_EQ(Write1(0x00AA, 4), 96);
    EXPECT_EQ(Write1(0x0040, 1), 0); // stopping is always allowed
    EXPECT_EQ(Write1(0x00AA, 1), 0); // and so is cancelling
    Pass(1s);
    EXPECT_EQ(Reg(0x0020), 0);

    m_drv.SetRegister(0x0075, 1);
    EXPECT_EQ(Reg(0x0033), 0);
    EXPECT_EQ(Write1(0x0042, 1001), 3);
    EXPECT_EQ(Write1(0x0040, 3), 3);
    EXPECT_EQ(WriteN(0x0044, {100, 2, 0, 500}), 3); // position type
    EXPECT_EQ(WriteN(0x0044, {0, 0, 0, 500}), 3);   // no frequency
    EXPECT_EQ(Write1(0x00AA, 5), 3);
}

TEST_F(VirtualDriverTest, FrequencyRunRampsAndAdvancesThePosition) {
    EXPECT_EQ(Write1(0x0043, 1000), 0); // 100.0 Hz, ramp 500.0 Hz/s
    Pass(100ms);
    EXPECT_EQ(static_cast<int16_t>(Reg(0x0022)), 500); // halfway up
    Pass(900ms);
    EXPECT_EQ(static_cast<int16_t>(Reg(0x0022)), 1000);
    // 0.2 s ramp (10 pulses) then 0.8 s at 100 Hz.
    EXPECT_EQ(Position(), 90);
    EXPECT_EQ(Reg(0x0034), 250); // 100 Hz, 8 poles
    EXPECT_GT(Reg(0x0021), 0);
    EXPECT_GT(Reg(0x0020), 0);

    // Whole-Hz units: 0x0036 mirrors the speed-range bit.
    EXPECT_EQ(Write1(0x0077, 1), 0);
    EXPECT_EQ(Reg(0x0036), 1);
    EXPECT_EQ(Reg(0x0022), 100);
    m_drv.SetRegister(0x0035, 1);
    EXPECT_EQ(Reg(0x0034), 25); // tens of RPM

    // Emergency stop is immediate, a normal stop ramps down.
    EXPECT_EQ(Write1(0x0040, 1), 0);
    EXPECT_EQ(Reg(0x0022), 0);
    EXPECT_EQ(Reg(0x0020), 0);
    EXPECT_EQ(WriteN(0x0052, {500, 500}), 0); // ramps in whole Hz/s too
    EXPECT_EQ(Write1(0x0043, 200), 0);        // 200 Hz
    Pass(2s);
    EXPECT_EQ(Reg(0x0022), 200);
    EXPECT_EQ(Write1(0x0040, 0), 0);
    Pass(200ms);
    EXPECT_EQ(Reg(0x0022), 100);
    Pass(1s);
    EXPECT_EQ(Reg(0x0022), 0);
}

TEST_F(VirtualDriverTest, PwmRunFollowsTheRiseBuffer) {
    EXPECT_EQ(WriteN(0x0050, {10, 10, 5000, 5000}), 0); // 1.0 s for 100 %
    EXPECT_EQ(Write1(0x0042, static_cast<uint16_t>(-500)), 0);
    Pass(250ms);
    EXPECT_EQ(static_cast<int16_t>(Reg(0x0020)), -250);
    Pass(1s);
    EXPECT_EQ(static_cast<int16_t>(Reg(0x0020)), -500);
    EXPECT_LT(static_cast<int16_t>(Reg(0x0022)), 0);
    EXPECT_LT(Position(), 0);
    EXPECT_EQ(Write1(0x0040, 2), 0); // free stop: output off at once
    EXPECT_EQ(Reg(0x0020), 0);
    // Coasting from 1000 Hz at half of 500 Hz/s; a run to 0 does not cut it.
    EXPECT_EQ(Write1(0x0042, 0), 0);
    Pass(2s);
    EXPECT_EQ(static_cast<int16_t>(Reg(0x0022)), -5000);
    Pass(2s);
    EXPECT_EQ(Reg(0x0022), 0);

    // Run to 0 % is a stop: learning may start once the motor stands.
    EXPECT_EQ(Write1(0x0042, 100), 0);
    Pass(2s);
    EXPECT_EQ(Write1(0x0042, 0), 0);
    uint32_t status = 0;
    ASSERT_TRUE(m_drv.GetObject(0x6041, 0, status));
    EXPECT_EQ(status, 0x0237u);
    Pass(2s);
    ASSERT_TRUE(m_drv.GetObject(0x6041, 0, status));
    EXPECT_EQ(status, 0x0231u);
    EXPECT_EQ(WriteN(0x00E0, {0, 1, 0, 0}), 0);
}

TEST_F(VirtualDriverTest, PositionMoveReportsTimeAndDoneAndClears) {
    EXPECT_EQ(WriteN(0x0044, {1000, 0, 0, 250}), 0); // 100.0 Hz to 250
    Pass(1s);
    EXPECT_EQ(Position(), 100);
    EXPECT_EQ(Reg(0x0023), 0);
    EXPECT_EQ(Reg(0x0026) << 16 | Reg(0x0027), 1500);
    Pass(2s);
    EXPECT_EQ(Position(), 250);
    EXPECT_EQ(Reg(0x0023), 1);
    EXPECT_EQ(Reg(0x0027), 0);
    // Relative move of -300, target high word first.
    EXPECT_EQ(WriteN(0x0044, {1000, 1, 0xFFFF, static_cast<uint16_t>(-300)}), 0);
    EXPECT_EQ(Reg(0x0023), 0);
    Pass(5s);
    EXPECT_EQ(Position(), -50);
    // A single write to 0x0044 stores the frequency but moves nothing.
    EXPECT_EQ(Write1(0x0044, 50), 0);
    Pass(1s);
    EXPECT_EQ(Position(), -50);
    EXPECT_EQ(Write1(0x700A, 1), 0);
    EXPECT_EQ(Position(), 0);
    EXPECT_EQ(Reg(0x700A), 0);
}

TEST_F(VirtualDriverTest, LearningRunsForItsDurationAndStoresThePhases) {
    m_drv.SetRegister(0x0075, 0);
    m_drv.SetLearnDuration(3s);
    EXPECT_EQ(WriteN(0x00E0, {0, 1, 0, 0}), 0);
    EXPECT_EQ(Reg(0x00E1), 1);
    EXPECT_EQ(Reg(0x00E2), 1);
    // Busy while it runs: a second start, run commands.
    EXPECT_EQ(WriteN(0x00E0, {0, 1, 0, 0}), 6);
    m_drv.SetRegister(0x0075, 1);
    EXPECT_EQ(Write1(0x0043, 100), 64);
    EXPECT_EQ(Write1(0x00AA, 2), 64);
    m_drv.SetRegister(0x0075, 0);
    Pass(2s);
    EXPECT_EQ(Reg(0x00E1), 1);
    EXPECT_EQ(Reg(0x00E2), 2);
    Pass(1s);
    auto r = Read(0x00E0, 11);
    ASSERT_EQ(r.size(), 11u);
    EXPECT_EQ(r[2], 3);
    EXPECT_EQ(r[4], 6);
    for (int i = 5; i < 11; ++i)
        EXPECT_LE(r[static_cast<size_t>(i)], 0xFF);
    EXPECT_EQ(Reg(0x006D), (r[5] << 8) | r[6]);
    EXPECT_EQ(Reg(0x006F), (r[9] << 8) | r[10]);
    EXPECT_EQ(Reg(0x0075) & 1, 1);
    EXPECT_FALSE(m_drv.Learning());
    // The tool's closing write is accepted.
    EXPECT_EQ(WriteN(0x00E0, {r[0], 0, r[2], r[3]}), 0);
}

TEST_F(VirtualDriverTest, LearningCanFailBeAbortedOrBeRefused) {
    m_drv.SetLearnOutcome(false);
    EXPECT_EQ(WriteN(0x00E0, {0, 1, 0, 0}), 0);
    Pass(3s);
    EXPECT_EQ(Reg(0x00E2), 4);
    EXPECT_EQ(Reg(0x0075) & 1, 0);

    // Abort: the request drops to 0 and the state is neither 3 nor 4.
    m_drv.SetLearnOutcome(true);
    EXPECT_EQ(WriteN(0x00E0, {0, 1, 0, 0}), 0);
    Pass(500ms);
    EXPECT_EQ(Write1(0x00E1, 0), 0);
    Pass(5s);
    EXPECT_EQ(Reg(0x00E1), 0);
    uint16_t state = Reg(0x00E2);
    EXPECT_NE(state, 3);
    EXPECT_NE(state, 4);

    // No learning while the motor runs, or when learning is disabled.
    m_drv.SetRegister(0x0075, 1);
    EXPECT_EQ(Write1(0x0043, 100), 0);
    EXPECT_EQ(WriteN(0x00E0, {0, 1, 0, 0}), 64);
    EXPECT_EQ(Write1(0x0040, 1), 0);
    m_drv.SetRegister(0x0076, 1);
    EXPECT_EQ(WriteN(0x00E0, {0, 1, 0, 0}), 64);
}

TEST_F(VirtualDriverTest, ReciprocateCommandRunsAboutASecond) {
    EXPECT_EQ(Write1(0x00AA, 4), 0);
    Pass(500ms);
    EXPECT_EQ(Reg(0x00AA), 4);
    EXPECT_EQ(Write1(0x00AA, 3), 6); // one operation at a time
    Pass(600ms);
    EXPECT_EQ(Reg(0x00AA), 0);
    auto stroke = Read(0x00A2, 2);
    EXPECT_NE(stroke[0] << 16 | stroke[1], 10000); // replaced by the measurement

    EXPECT_EQ(Write1(0x00AA, 2), 0);
    EXPECT_EQ(Write1(0x00AA, 1), 0); // cancel
    EXPECT_EQ(Reg(0x00AA), 0);

    // Homing ends at the zero point.
    EXPECT_EQ(WriteN(0x0044, {1000, 0, 0, 40}), 0);
    Pass(1s);
    EXPECT_EQ(Position(), 40);
    EXPECT_EQ(Write1(0x00AA, 3), 0);
    Pass(1100ms);
    EXPECT_EQ(Reg(0x00AA), 0);
    EXPECT_EQ(Position(), 0);
}

TEST_F(VirtualDriverTest, SdoUploadsAnswerBySize) {
    SdoAnswer a = Sdo(0x40, 0x1005, 0);
    EXPECT_EQ(a.cmd, 0x43);
    EXPECT_EQ(a.index, 0x1005);
    EXPECT_EQ(a.data, 0x80u);
    EXPECT_EQ(Sdo(0x40, 0x1400, 0).cmd, 0x4F);
    EXPECT_EQ(Sdo(0x40, 0x1400, 0).data, 2u);
    EXPECT_EQ(Sdo(0x40, 0x1400, 1).data, 0x201u);
    EXPECT_EQ(Sdo(0x40, 0x1800, 0).data, 5u);
    EXPECT_EQ(Sdo(0x40, 0x1800, 1).data, 0x181u);
    EXPECT_EQ(Sdo(0x40, 0x1801, 1).data, 0x80000281u); // PDO 2 starts invalid
    EXPECT_EQ(Sdo(0x40, 0x1800, 2).data, 255u);
    a = Sdo(0x40, 0x1800, 5);
    EXPECT_EQ(a.cmd, 0x4B);
    EXPECT_EQ(a.sub, 5);
    EXPECT_EQ(Sdo(0x40, 0x1A00, 0).data, 2u);
    EXPECT_EQ(Sdo(0x40, 0x1A00, 2).data, 0x60640020u);
    EXPECT_EQ(Sdo(0x40, 0x1010, 1).data, 1u);
    // The dictionary follows the motor.
    EXPECT_EQ(WriteN(0x0044, {1000, 0, 0, 123}), 0);
    Pass(10s);
    EXPECT_EQ(Sdo(0x40, 0x6064, 0).data, 123u);

    // A window write in two parts runs nothing.
    EXPECT_EQ(WriteN(0x0204, {0, 0}), 0);
    EXPECT_EQ(Reg(0x0200), 0x43);
}

TEST_F(VirtualDriverTest, SdoRefusalsCarryTheirAbortCodes) {
    EXPECT_EQ(Abort(0x40, 0x1234, 0), 0x06020000u);
    EXPECT_EQ(Abort(0x40, 0x1800, 4), 0x06090011u); // reserved sub-index
    EXPECT_EQ(Abort(0x40, 0x1400, 3), 0x06090011u); // beyond sub-index 0's count
    EXPECT_EQ(Abort(0x40, 0x1600, 9), 0x06090011u);
    EXPECT_EQ(Abort(0x23, 0x1000, 0, 1), 0x06010002u);
    EXPECT_EQ(Abort(0x2F, 0x1800, 0, 6), 0x06010002u);
    EXPECT_EQ(Abort(0x40, 0x2010, 0), 0x06010001u);
    EXPECT_EQ(Abort(0x2B, 0x1005, 0, 0x81), 0x06070010u);
    EXPECT_EQ(Abort(0x2F, 0x1800, 1, 0x81), 0x06070010u);
    EXPECT_EQ(Abort(0xA0, 0x1005, 0), 0x05040001u);
    EXPECT_EQ(Abort(0x20, 0x1005, 0), 0x05040001u); // segmented
    EXPECT_EQ(Abort(0x2F, 0x1800, 2, 245), 0x06090030u);
    SdoAnswer a = Sdo(0x40, 0x1234, 7);
    EXPECT_EQ(a.index, 0x1234);
    EXPECT_EQ(a.sub, 7);
    EXPECT_EQ(a.reserved, 0);

    // Downloads of every size are confirmed and stored.
    EXPECT_EQ(Sdo(0x23, 0x1006, 0, 10000).cmd, 0x60);
    EXPECT_EQ(Sdo(0x2B, 0x1800, 5, 0x1234).cmd, 0x60);
    EXPECT_EQ(Sdo(0x2F, 0x1800, 2, 1).cmd, 0x60);
    uint32_t v = 0;
    ASSERT_TRUE(m_drv.GetObject(0x1006, 0, v));
    EXPECT_EQ(v, 10000u);
    EXPECT_EQ(Sdo(0x40, 0x1800, 5).data, 0x1234u);

    // Store: only the "save" signature.
    EXPECT_EQ(Abort(0x23, 0x1010, 2, 0x12345678), 0x08000020u);
    EXPECT_EQ(m_drv.SaveCount(), 0);
    EXPECT_EQ(Sdo(0x23, 0x1010, 2, 0x65766173).cmd, 0x60);
    EXPECT_EQ(m_drv.SaveCount(), 1);
}

TEST_F(VirtualDriverTest, PdoMappingChangesFollowTheCanOpenOrder) {
    // Entries are fixed while the mapping is enabled.
    EXPECT_EQ(Abort(0x23, 0x1A00, 1, 0x60640020), 0x08000022u);
    EXPECT_EQ(Sdo(0x2F, 0x1A00, 0, 0).cmd, 0x60);
    EXPECT_EQ(Sdo(0x23, 0x1A00, 1, 0x60640020).cmd, 0x60);
    EXPECT_EQ(Sdo(0x23, 0x1A00, 2, 0x606C0020).cmd, 0x60);
    EXPECT_EQ(Sdo(0x23, 0x1A00, 3, 0x60410020).cmd, 0x60); // not checked yet
    EXPECT_EQ(Sdo(0x2F, 0x1A00, 0, 2).cmd, 0x60);
    EXPECT_EQ(Sdo(0x40, 0x1A00, 0).data, 2u);

    EXPECT_EQ(Sdo(0x2F, 0x1A00, 0, 0).cmd, 0x60);
    EXPECT_EQ(Abort(0x2F, 0x1A00, 0, 3), 0x06040041u); // 0x6041 is 16 bits
    EXPECT_EQ(Sdo(0x40, 0x1A00, 0).data, 0u);          // refused count not taken
    EXPECT_EQ(Sdo(0x23, 0x1A00, 3, 0x10050020).cmd, 0x60);
    EXPECT_EQ(Abort(0x2F, 0x1A00, 0, 3), 0x06040041u); // not mappable
    EXPECT_EQ(Sdo(0x23, 0x1A00, 3, 0x20010020).cmd, 0x60);
    EXPECT_EQ(Abort(0x2F, 0x1A00, 0, 3), 0x06040042u); // 96 bits
    EXPECT_EQ(Sdo(0x23, 0x1A00, 2, 0x60410010).cmd, 0x60);
    EXPECT_EQ(Sdo(0x23, 0x1A00, 3, 0x20020008).cmd, 0x60);
    EXPECT_EQ(Sdo(0x2F, 0x1A00, 0, 3).cmd, 0x60); // 32 + 16 + 8 bits
    EXPECT_EQ(Abort(0x2F, 0x1600, 0, 9), 0x06090031u);
}

TEST_F(VirtualDriverTest, DeviceIdentificationStreamsInTwoReplies) {
    Bytes r = Send(WithCrc({1, 0x2B, 0x0E, 0x01, 0x00}));
    ASSERT_GE(r.size(), 10u);
    EXPECT_EQ(r[5], 0xFF); // more follows
    EXPECT_EQ(r[6], 0x02); // next object
    EXPECT_EQ(r[7], 2);    // objects 0 and 1
    EXPECT_EQ(r[8], 0x00);
    size_t second = 8 + 2 + r[9];
    EXPECT_EQ(r[second], 0x01);
    EXPECT_EQ(r.size(), second + 2 + r[second + 1] + 2);

    r = Send(WithCrc({1, 0x2B, 0x0E, 0x01, 0x02}));
    ASSERT_GE(r.size(), 10u);
    EXPECT_EQ(r[5], 0x00);
    EXPECT_EQ(r[7], 1);
    EXPECT_EQ(r[8], 0x02);

    // Individual access, including an extended object; unknown ids and codes.
    r = Send(WithCrc({1, 0x2B, 0x0E, 0x04, 0x80}));
    ASSERT_GE(r.size(), 10u);
    EXPECT_EQ(r[8], 0x80);
    EXPECT_EQ(Send(WithCrc({1, 0x2B, 0x0E, 0x04, 0x42})), WithCrc({1, 0xAB, 2}));
    EXPECT_EQ(Send(WithCrc({1, 0x2B, 0x0E, 0x05, 0x00})), WithCrc({1, 0xAB, 3}));
    EXPECT_EQ(Send(WithCrc({1, 0x2B, 0x0D, 0x01, 0x00})), WithCrc({1, 0xAB, 1}));

    m_drv.SetDeviceIdEndless(true);
    for (uint8_t id : {0, 2}) {
        r = Send(WithCrc({1, 0x2B, 0x0E, 0x01, id}));
        ASSERT_GE(r.size(), 10u);
        EXPECT_EQ(r[5], 0xFF);
        EXPECT_EQ(r[6], id);
    }
}

TEST_F(VirtualDriverTest, ResetRestoresDefaultsAndStatusPinsHold) {
    m_drv.SetRegister(0x0037, 0); // a test's own status value stays
    m_drv.SetRegister(0x0033, 12);
    Pass(1s);
    EXPECT_EQ(Reg(0x0037), 0);
    EXPECT_EQ(Reg(0x0033), 12);
    m_drv.SetObject(0x1400, 0, 5);
    EXPECT_EQ(Sdo(0x40, 0x1400, 5).cmd, 0x4B); // now present
    m_drv.SetObject(0x3000, 1, 42);
    EXPECT_EQ(Sdo(0x40, 0x3000, 1).data, 42u);
    Write1(0x0050, 9);
    m_drv.Reset();
    Pass(1s);
    EXPECT_EQ(Reg(0x0037), 253);
    EXPECT_EQ(Reg(0x0050), 0);
    EXPECT_EQ(Abort(0x40, 0x3000, 1), 0x06020000u);
}

} // namespace

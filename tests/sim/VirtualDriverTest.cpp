// The virtual driver as a pure frame-in, frame-out function with its own clock.

#include "sim/VirtualDriver.h"
#include "tests/sim/RawLine.h"

namespace {

using namespace std::chrono_literals;

// A request to slave 1 without its CRC.
Bytes Pdu(uint8_t fn, const std::vector<uint16_t>& words) {
    return Cat({1, fn}, Regs(words));
}
// The exception code of a reply, 0 for a normal one.
int Code(const Bytes& r) {
    return r.size() == 5 && (r[1] & 0x80) ? r[2] : 0;
}

// One SDO request through the window and the answer it leaves there: 0x80
// and the abort code, the uploaded value, or 0x60 and 0 after a download.
struct SdoStep {
    uint8_t cmd;
    uint16_t index;
    uint8_t sub;
    uint32_t data, answer, answerData;
};

class VirtualDriverTest : public ::testing::Test {
protected:
    CVirtualDriver m_drv{1};
    CVirtualDriver::Clock::time_point m_now = CVirtualDriver::Clock::time_point{} + 1h;

    void SetUp() override { m_drv.Advance(m_now); }
    void Pass(std::chrono::milliseconds d) { m_drv.Advance(m_now += d); }

    Bytes Send(const Bytes& pdu) {
        Bytes req = WithCrc(pdu);
        return m_drv.HandleFrame(req.data(), req.size());
    }
    // Register values read with function 3; empty on an exception.
    std::vector<uint16_t> Read(uint16_t start, uint16_t count) {
        Bytes r = Send(Pdu(0x03, {start, count}));
        std::vector<uint16_t> out;
        for (size_t i = 3; r.size() == 5u + 2 * count && i + 2 < r.size(); i += 2)
            out.push_back(static_cast<uint16_t>(r[i] << 8 | r[i + 1]));
        return out;
    }
    uint16_t Reg(uint16_t addr) {
        auto v = Read(addr, 1);
        return v.empty() ? 0xDEAD : v[0];
    }
    int32_t Position() { return static_cast<int32_t>(Reg(0x0024) << 16 | Reg(0x0025)); }
    // 0 when the reply echoes what it should, else the exception code.
    int Echoed(const Bytes& req, const Bytes& echo) {
        Bytes r = Send(req);
        if (int code = Code(r))
            return code;
        EXPECT_EQ(r, WithCrc(echo));
        return 0;
    }
    int Write1(uint16_t addr, uint16_t value) {
        return Echoed(Pdu(0x06, {addr, value}), Pdu(0x06, {addr, value}));
    }
    int WriteN(uint16_t start, const std::vector<uint16_t>& values) {
        auto n = static_cast<uint16_t>(values.size());
        Bytes req = Cat(Pdu(0x10, {start, n}), {static_cast<uint8_t>(2 * n)});
        return Echoed(Cat(req, Regs(values)), Pdu(0x10, {start, n}));
    }
    void Run(std::initializer_list<SdoStep> steps) {
        auto words = [](uint32_t v) {
            return std::pair(static_cast<uint16_t>(v >> 16), static_cast<uint16_t>(v & 0xFFFF));
        };
        for (const SdoStep& s : steps) {
            SCOPED_TRACE(testing::Message() << std::hex << "cmd " << int(s.cmd) << " index "
                                            << s.index << " sub " << int(s.sub));
            auto [dh, dl] = words(s.data);
            auto [ah, al] = words(s.answerData);
            EXPECT_EQ(WriteN(0x0200, {s.cmd, s.index, s.sub, 0, dh, dl}), 0);
            EXPECT_EQ(Read(0x0200, 6),
                      (std::vector<uint16_t>{uint16_t(s.answer), s.index, s.sub, 0, ah, al}));
        }
    }
};

TEST_F(VirtualDriverTest, MalformedOrUnknownRequestsGetTheRightException) {
    Bytes big = {1, 0x10, 0x00, 0x50, 0x00, 124, 248}; // one register too many
    big.resize(big.size() + 248);
    const struct {
        Bytes request, reply;
    } cases[] = {
        {Pdu(0x03, {0x0038, 8}), {1, 0x83, 2}}, // runs past the status block into a gap
        {Pdu(0x06, {0x0020, 1}), {1, 0x86, 2}}, // the status block is read-only
        {Pdu(0x03, {0x0000, 0}), {1, 0x83, 3}},
        {Pdu(0x03, {0x0000, 126}), {1, 0x83, 3}},
        {Pdu(0x06, {0x00E5, 1}), {1, 0x86, 2}}, // learned phases are read-only
        {{1, 0x10, 0x00, 0x50, 0x00, 0x02, 0x02, 0x00, 0x01}, {1, 0x90, 3}}, // byte count
        {big, {1, 0x90, 3}},
        {Pdu(0x04, {0, 1}), {1, 0x84, 1}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Send(c.request), WithCrc(c.reply)) << int(c.request[1]) << " " << c.request[3];

    // A wrong CRC, another slave: no answer, no log entry.
    Bytes corrupt = WithCrc(Pdu(0x03, {0, 1}));
    corrupt.back() ^= 1;
    m_drv.ClearRequestLog();
    EXPECT_TRUE(m_drv.HandleFrame(corrupt.data(), corrupt.size()).empty());
    EXPECT_TRUE(Send({2, 0x03, 0, 0, 0, 1}).empty());
    EXPECT_TRUE(m_drv.RequestLog().empty());
    // A broadcast write acts but is not answered.
    EXPECT_TRUE(Send({0, 0x06, 0x00, 0x51, 0x00, 0x07}).empty());
    EXPECT_EQ(m_drv.GetRegister(0x0051), 7);
    EXPECT_EQ(m_drv.RequestLog().size(), 1u);
}

// What the pages and the status poll read of a run; the ramps' shapes are
// no tool's concern.
TEST_F(VirtualDriverTest, RunsMoveTheMotorAndWaitForALearnedMotorAndValidValues) {
    EXPECT_EQ(Write1(0x0043, 1000), 0); // 100.0 Hz
    Pass(1s);
    EXPECT_EQ(static_cast<int16_t>(Reg(0x0022)), 1000);
    EXPECT_GT(Position(), 0);
    EXPECT_GT(Reg(0x0020), 0);
    // Whole-Hz units: 0x0036 mirrors the speed-range bit.
    EXPECT_EQ(Write1(0x0077, 1), 0);
    EXPECT_EQ(Reg(0x0036), 1);
    EXPECT_EQ(Reg(0x0022), 100);
    EXPECT_EQ(Write1(0x0040, 1), 0); // emergency stop is immediate
    EXPECT_EQ(Reg(0x0022), 0);
    EXPECT_EQ(Write1(0x700A, 1), 0); // position clear
    EXPECT_EQ(Position(), 0);
    EXPECT_EQ(Reg(0x700A), 0);
    EXPECT_EQ(WriteN(0x0044, {1000, 0, 0, 250}), 0); // 100 Hz to 250
    Pass(5s);
    EXPECT_EQ(Position(), 250);
    EXPECT_EQ(Reg(0x0023), 1);

    m_drv.SetRegister(0x0075, 0);
    EXPECT_EQ(Reg(0x0033), 1); // error state: not learned
    EXPECT_EQ(Write1(0x0042, 100), 96);
    EXPECT_EQ(Write1(0x0043, 100), 96);
    EXPECT_EQ(WriteN(0x0044, {100, 0, 0, 500}), 96);
    EXPECT_EQ(Write1(0x00AA, 4), 96);
    EXPECT_EQ(Write1(0x0040, 1), 0); // stopping is always allowed
    EXPECT_EQ(Write1(0x00AA, 1), 0); // and so is cancelling

    m_drv.SetRegister(0x0075, 1);
    EXPECT_EQ(Reg(0x0033), 0);
    EXPECT_EQ(Write1(0x0042, 1001), 3);
    EXPECT_EQ(Write1(0x0040, 3), 3);
    EXPECT_EQ(WriteN(0x0044, {100, 2, 0, 500}), 3); // position type
    EXPECT_EQ(WriteN(0x0044, {0, 0, 0, 500}), 3);   // no frequency
    EXPECT_EQ(Write1(0x00AA, 5), 3);
}

// How each run ends is seen through the motor parameters page, which the
// virtual driver answers; here what that page never provokes.
TEST_F(VirtualDriverTest, LearningRunsAloneAndTheMeasurementForItsDuration) {
    m_drv.SetLearnDuration(3s);
    EXPECT_EQ(WriteN(0x00E0, {0, 1, 0, 0}), 0);
    EXPECT_EQ(Read(0x00E1, 2), (std::vector<uint16_t>{1, 1}));
    EXPECT_EQ(WriteN(0x00E0, {0, 1, 0, 0}), 6); // busy meanwhile
    EXPECT_EQ(Write1(0x0043, 100), 64);
    EXPECT_EQ(Write1(0x00AA, 2), 64);
    Pass(2s);
    EXPECT_EQ(Read(0x00E1, 2), (std::vector<uint16_t>{1, 2}));
    // The tool withdraws the request: the state is neither 3 nor 4.
    EXPECT_EQ(Write1(0x00E1, 0), 0);
    Pass(5s);
    EXPECT_FALSE(m_drv.Learning());
    EXPECT_NE(Reg(0x00E2), 3);
    EXPECT_NE(Reg(0x00E2), 4);

    // A measurement runs for its duration (the reciprocating page's watch
    // sees it end and its stroke), one test operation at a time.
    EXPECT_EQ(Write1(0x00AA, 4), 0);
    Pass(2s);
    EXPECT_EQ(Reg(0x00AA), 4);
    EXPECT_EQ(Write1(0x00AA, 3), 6);
    Pass(2100ms);
    EXPECT_EQ(Reg(0x00AA), 0);
    EXPECT_EQ(Position(), 0);
}

TEST_F(VirtualDriverTest, SdoWindowAnswersBySizeAndAbortsWithTheRightCode) {
    // Absent objects are the object dictionary window's test.
    Run({
        {0x40, 0x1400, 0, 0, 0x4F, 2}, // uploads: 4, 2 or 1 bytes
        {0x40, 0x1800, 5, 0, 0x4B, 0},
        {0x40, 0x1800, 4, 0, 0x80, 0x06090011}, // reserved sub-index
        {0x40, 0x1400, 3, 0, 0x80, 0x06090011}, // beyond sub-index 0's count
        {0x23, 0x1000, 0, 1, 0x80, 0x06010002}, // read-only
        {0x2F, 0x1800, 0, 6, 0x80, 0x06010002},
        {0x40, 0x2010, 0, 0, 0x80, 0x06010001},    // write-only
        {0x2B, 0x1005, 0, 0x81, 0x80, 0x06070010}, // size mismatch
        {0x20, 0x1005, 0, 0, 0x80, 0x05040001},    // segmented
        {0x2F, 0x1800, 2, 245, 0x80, 0x06090030},  // value range
        {0x23, 0x1006, 0, 10000, 0x60, 0},         // downloads of every size
        {0x2B, 0x1800, 5, 0x1234, 0x60, 0},
        {0x2F, 0x1800, 2, 1, 0x60, 0},
        {0x40, 0x1800, 5, 0, 0x4B, 0x1234},
        {0x27, 0x2003, 0, 0xFFABCDEF, 0x60, 0}, // manufacturer objects: 3 bytes
        {0x40, 0x2003, 0, 0, 0x47, 0xABCDEF},
        {0x2B, 0x2003, 0, 1, 0x80, 0x06070010},
        {0x23, 0x1010, 2, 0x12345678, 0x80, 0x08000020}, // store needs "save"
    });
    uint32_t v = 0;
    ASSERT_TRUE(m_drv.GetObject(0x1006, 0, v));
    EXPECT_EQ(v, 10000u);
    EXPECT_EQ(m_drv.SaveCount(), 0);
    Run({{0x23, 0x1010, 2, 0x65766173, 0x60, 0}});
    EXPECT_EQ(m_drv.SaveCount(), 1);

    // The dictionary follows the motor.
    EXPECT_EQ(WriteN(0x0044, {1000, 0, 0, 123}), 0);
    Pass(10s);
    Run({{0x40, 0x6064, 0, 0, 0x43, 123}});
    // A window write in two parts runs nothing.
    EXPECT_EQ(WriteN(0x0204, {0, 0}), 0);
    EXPECT_EQ(Reg(0x0200), 0x43);
}

TEST_F(VirtualDriverTest, PdoMappingChangesFollowTheCanOpenOrder) {
    // TPDO 1 maps 0x6041 (16 bits) and 0x6064 (32 bits) by default.
    Run({
        {0x23, 0x1A00, 3, 0x60410020, 0x80, 0x08000022}, // fixed while enabled
        {0x2F, 0x1A00, 0, 0, 0x60, 0},
        {0x23, 0x1A00, 3, 0x60410020, 0x60, 0}, // not checked yet
        {0x2F, 0x1A00, 0, 3, 0x80, 0x06040041}, // 0x6041 is 16 bits
        {0x40, 0x1A00, 0, 0, 0x4F, 0},          // refused count not taken
        {0x23, 0x1A00, 3, 0x10050020, 0x60, 0},
        {0x2F, 0x1A00, 0, 3, 0x80, 0x06040041}, // not mappable
        {0x23, 0x1A00, 3, 0x20010020, 0x60, 0},
        {0x2F, 0x1A00, 0, 3, 0x80, 0x06040042}, // 80 bits
        {0x23, 0x1A00, 3, 0x20020008, 0x60, 0},
        {0x2F, 0x1A00, 0, 3, 0x60, 0}, // 16 + 32 + 8 bits
        {0x40, 0x1A00, 0, 0, 0x4F, 3},
        {0x2F, 0x1600, 0, 9, 0x80, 0x06090031},
    });
}

TEST_F(VirtualDriverTest, InjectedSdoFaultsHitTheirObjectAsOftenAsAsked) {
    m_drv.AddSdoFault({0x1801, 1, SSdoFault::EKind::Abort, 0x06090011, 1});
    m_drv.AddSdoFault({0x1A00, -1, SSdoFault::EKind::Exception, 0, 2});
    m_drv.AddSdoFault({0x1005, 0, SSdoFault::EKind::Silent, 0, 1});
    m_drv.AddSdoFault({0x1801, 2, SSdoFault::EKind::Abort, 0, 1, 1}); // the second one
    Run({
        {0x40, 0x1801, 2, 0, 0x4F, 255},        // another sub-index is untouched
        {0x40, 0x1801, 1, 0, 0x80, 0x06090011}, // hit once
        {0x40, 0x1801, 1, 0, 0x43, 0x80000281},
        {0x40, 0x1801, 2, 0, 0x80, 0x08000000}, // let through once first
        {0x40, 0x1801, 2, 0, 0x4F, 255},
    });
    // Refused window writes run nothing: the last answer stays in the window.
    for (uint8_t sub : {7, 0}) {
        Bytes req = WithCrc(
            {1, 0x10, 0x02, 0x00, 0x00, 0x06, 12, 0, 0x40, 0x1A, 0x00, 0, sub, 0, 0, 0, 0, 0, 0});
        EXPECT_EQ(Code(m_drv.HandleFrame(req.data(), req.size())), 4);
    }
    Bytes silent =
        WithCrc({1, 0x10, 0x02, 0x00, 0x00, 0x06, 12, 0, 0x2F, 0x10, 0x05, 0, 0, 0, 0, 0, 0, 0, 0});
    EXPECT_TRUE(m_drv.HandleFrame(silent.data(), silent.size()).empty());
    EXPECT_EQ(Reg(0x0205), 255);
    // Spent faults are gone.
    Run({{0x40, 0x1A00, 7, 0, 0x43, 0}});
    EXPECT_EQ(m_drv.SdoLog().size(), 9u); // every exchange, refused ones too
}

TEST(SdoFaultText, ParsesObjectSubIndexKindAndCode) {
    using K = SSdoFault::EKind;
    struct Row {
        const char* text;
        bool ok;
        uint16_t index;
        int sub;
        K kind;
        uint32_t code;
        int skip;
    };
    const Row rows[] = {
        {"0x1801", true, 0x1801, -1, K::Abort, 0},
        {"0x1801:1=abort:0x06090011", true, 0x1801, 1, K::Abort, 0x06090011},
        {"6144:0=exception", true, 0x1800, 0, K::Exception, 0},
        {"0x1005=silent", true, 0x1005, -1, K::Silent, 0},
        {"0x1A00:0@2", true, 0x1A00, 0, K::Abort, 0, 2},
        {"0x1A00@x", false},
        {"0x10000", false},
        {"0x1801:256", false},
        {"0x1801=abort:0", false},
        {"0x1801=silent:1", false},
    };
    for (const Row& r : rows) {
        SSdoFault f;
        ASSERT_EQ(ParseSdoFault(r.text, f), r.ok) << r.text;
        if (!r.ok)
            continue;
        EXPECT_EQ(f.index, r.index) << r.text;
        EXPECT_EQ(f.sub, r.sub) << r.text;
        EXPECT_EQ(f.kind, r.kind) << r.text;
        EXPECT_EQ(f.code, r.code) << r.text;
        EXPECT_EQ(f.skip, r.skip) << r.text;
    }
}

// The stream of two replies is read whole in the driver tests.
TEST_F(VirtualDriverTest, DeviceIdentificationByObjectAndEndlessAndStatusPinsHold) {
    // More follows, next object id, object count, first object id.
    auto head = [](const Bytes& r) { return r.size() < 10 ? Bytes{} : Bytes(&r[5], &r[9]); };
    EXPECT_EQ(head(Send({1, 0x2B, 0x0E, 0x04, 0x80})), (Bytes{0x00, 0x00, 1, 0x80}));
    EXPECT_EQ(Send({1, 0x2B, 0x0E, 0x04, 0x42}), WithCrc({1, 0xAB, 2}));
    EXPECT_EQ(Send({1, 0x2B, 0x0E, 0x05, 0x00}), WithCrc({1, 0xAB, 3}));
}

} // namespace

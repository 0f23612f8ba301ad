// What the traffic log and the monitor show: every exchange of a scripted
// session with the virtual driver decodes in the driver's words, and the
// monitor, fed the same bytes as one stream, pairs and decodes them alike,
// also after noise and a lost byte.

#include "driver/CanOpen.h"
#include "driver/FrameDecode.h"
#include "driver/Learning.h"
#include "driver/LineMonitor.h"
#include "driver/MotorDriver.h"
#include "modbus/Crc16.h"
#include "tests/support/LinkRecorder.h"
#include "tests/support/SimHarness.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

using SExchange = SSeenTransaction;

STransaction Decode(const SExchange& x) {
    return DecodeExchange(x.request.data(), x.request.size(), x.reply.data(), x.reply.size(),
                          DecodeContext{});
}

// A session touching every block, every command and the SDO window once.
class DecodeSession : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        CSimHarness sim;
        ASSERT_TRUE(sim.Ok());
        CMotorDriver drv;
        ASSERT_TRUE(drv.OpenPortPath(sim.Device(), "9600,n,8,1"));
        CLinkRecorder rec;
        drv.AddObserver(&rec);
        uint16_t regs[32];
        for (const BlockDef& b : AllBlocks()) {
            if (std::string(b.name) == "learn")
                continue; // read below, by the learning's own accessor
            ASSERT_EQ(drv.ReadBlock(1, b.start, b.count, regs), kResultOk) << b.name;
            if (b.writable && !b.comm) {
                ASSERT_EQ(drv.WriteBlock(1, b.start, regs, b.count), kResultOk) << b.name;
            }
        }
        LearnBlock learn;
        EXPECT_EQ(drv.ReadLearnBlock(1, learn), kResultOk);
        learn.At(kRegLearnRequest) = 1;
        EXPECT_EQ(drv.WriteLearnBlock(1, learn), kResultOk);
        learn.At(kRegLearnRequest) = 0; // dropped again at once
        EXPECT_EQ(drv.WriteLearnBlock(1, learn), kResultOk);
        EXPECT_EQ(drv.WriteRunCommand(1, 500, 0), kResultOk);
        EXPECT_EQ(drv.WriteRunCommand(1, 1234, 1), kResultOk);
        EXPECT_EQ(drv.WritePositionCommand(1, 100, -2000, 1), kResultOk);
        EXPECT_EQ(drv.WriteStopCommand(1, kStopEmergency), kResultOk);
        EXPECT_EQ(drv.WriteRegister(1, kRegClearPosition, 1), kResultOk);
        std::string id;
        EXPECT_EQ(drv.ReadDeviceIdText(1, id), kResultOk);
        EXPECT_TRUE(SdoUpload(drv, 1, PdoCommIndex(4), kPdoSubCobId).Ok());
        EXPECT_TRUE(SdoDownload(drv, 1, PdoCommIndex(4), kPdoSubEvent, 250, 2).Ok());
        EXPECT_TRUE(SdoDownload(drv, 1, kObjStore, kStoreAll, kStoreSignature, 4).Ok());
        EXPECT_EQ(SdoUpload(drv, 1, 0x2FFF, 0).status, ESdoStatus::Abort);
        EXPECT_EQ(drv.ReadBlock(1, 0x0300, 2, regs), kResultIllegalAddress);
        drv.RemoveObserver(&rec);
        s_log = rec.Seen();
    }
    static std::vector<SExchange> s_log;
};
std::vector<SExchange> DecodeSession::s_log;

TEST_F(DecodeSession, EveryExchangeDecodesInTheDriversWords) {
    ASSERT_GT(s_log.size(), 30u);
    std::vector<std::string> actions;
    for (const SExchange& x : s_log) {
        const STransaction tx = Decode(x);
        const std::string text = TransactionText(tx);
        SCOPED_TRACE(text);
        EXPECT_EQ(tx.slave, 1);
        EXPECT_TRUE(tx.problem.empty());
        for (const STxField& f : tx.fields)
            EXPECT_FALSE(f.text.empty()) << f.label;
        actions.push_back(text);
    }
    auto shown = [&](const std::string& part) {
        for (const std::string& a : actions)
            if (a.find(part) != std::string::npos)
                return true;
        return false;
    };
    for (const char* part :
         {"读 电机参数 (0x0060, 27个)", "电机额定电流=", "写 PID参数", "停止 紧急停止",
          "占空比运行 50.0 %", "频率运行 123.4 Hz", "位置运动 -2000 脉冲 (相对), 10.0 Hz",
          "清除位置", "设备识别: 公司名称:", "写四字节 0x1010:1 存储 全部参数",
          "写双字节 0x1800:5 TPDO1 通讯参数 事件时间 = 0x000000FA (250)",
          "读取应答 (4字节) 0x1800:1 TPDO1 通讯参数 COB-ID", "终止 0x2FFF:0",
          "读 寄存器 0x0300 (0x0300, 2个): 非法寄存器地址"})
        EXPECT_TRUE(shown(part)) << part;
}

// A frame spoilt on the line is shown with what is wrong, never dropped.
TEST_F(DecodeSession, SpoiltFramesAreNamed) {
    SExchange x = s_log.front();
    x.reply.back() ^= 0xFF;
    EXPECT_EQ(Decode(x).problem, "应答CRC错误");
    x.reply.clear();
    EXPECT_EQ(TransactionSummary(Decode(x)), "从站1 读 设备信息 (0x0000, 16个): 无应答");
}

// The monitor sees the session as one byte stream and finds the same
// transactions; noise and a lost byte cost at most the frames they touch.
TEST_F(DecodeSession, MonitorPairsTheStreamAndResynchronises) {
    std::vector<std::string> expected;
    CLineMonitor clean(50, 1000);
    double t = 0;
    for (const SExchange& x : s_log) {
        expected.push_back(TransactionText(Decode(x)));
        clean.Feed(x.request.data(), x.request.size(), t += 5);
        clean.Feed(x.reply.data(), x.reply.size(), t += 1);
    }
    std::vector<std::string> seen;
    for (const SLineEvent& e : clean.Take())
        seen.push_back(TransactionText(e.tx));
    EXPECT_EQ(seen, expected);
    EXPECT_EQ(clean.Counts().noiseBytes, 0u);

    // Noise before one request, and a reply missing its first byte: both
    // given up as noise, every other transaction intact, all in one burst
    // with no silence to go by.
    CLineMonitor noisy(50, 1000);
    std::vector<uint8_t> stream;
    const size_t noiseAt = 5, cutAt = 9;
    for (size_t i = 0; i < s_log.size(); ++i) {
        if (i == noiseAt)
            stream.insert(stream.end(), {0x01, 0x10, 0x00});
        stream.insert(stream.end(), s_log[i].request.begin(), s_log[i].request.end());
        stream.insert(stream.end(), s_log[i].reply.begin() + (i == cutAt ? 1 : 0),
                      s_log[i].reply.end());
    }
    noisy.Feed(stream.data(), stream.size(), 0);
    noisy.Tick(5000);
    size_t intact = 0, noise = 0;
    for (const SLineEvent& e : noisy.Take()) {
        if (e.kind == SLineEvent::EKind::Noise) {
            ++noise;
            continue;
        }
        const std::string text = TransactionText(e.tx);
        for (const std::string& x : expected)
            if (x == text) {
                ++intact;
                break;
            }
    }
    EXPECT_GE(noise, 2u);
    EXPECT_GE(intact, s_log.size() - 2); // the cut reply's transaction shows no reply
    EXPECT_EQ(noisy.Counts().noReply, 1u);
}

} // namespace

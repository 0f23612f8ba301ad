#pragma once
// What the commands of halvik-cli share: the session (line, streams, exit
// statuses) and the text and JSON helpers of their output.

#include "cli/Commands.h"
#include "cli/Options.h"
#include "driver/Catalogue.h"
#include "driver/ConfigFile.h"
#include "driver/DeviceIo.h"
#include "driver/Json.h"

#include <atomic>
#include <chrono>
#include <ostream>
#include <string>
#include <thread>
#include <vector>

using Clock = std::chrono::steady_clock;

// One run of the program: the parsed command line, the streams and, once
// opened, the driver on the line. Each command is a member defined in its
// own file (CmdRead.cpp, CmdReg.cpp, ...); the helpers here are what they
// share. Every step returns an exit status; 0 means "go on".
class CCli {
public:
    CCli(const CommandLine& cl, CliContext& ctx) : m_cl(cl), m_ctx(ctx) {}
    int Run();

private:
    // Output helpers.
    std::ostream& Out() { return m_ctx.out; }
    // Messages for people; kept off stdout when stdout carries JSON.
    std::ostream& Note() { return m_cl.line.json ? m_ctx.err : m_ctx.out; }
    int Usage(const std::string& msg) {
        m_ctx.err << "halvik-cli: " << msg << "\n";
        return kExitUsage;
    }
    int DeviceError(const std::string& what, ResultCode rc) {
        m_ctx.err << "halvik-cli: " << what << ": " << ResultMessage(rc) << "\n";
        return NameLineLoss();
    }
    int DeviceError(const std::string& msg) {
        m_ctx.err << "halvik-cli: " << msg << "\n";
        return NameLineLoss();
    }
    // "串口未打开" alone would puzzle someone whose adapter was just pulled.
    int NameLineLoss() {
        if (m_drv.LineLost())
            m_ctx.err << "halvik-cli: " << m_strDevice
                      << ": the device was removed (the line hung up)\n";
        return kExitDevice;
    }
    void EmitJson(const Json& j, bool pretty = true) {
        Out() << DumpJson(j, pretty) << "\n";
        Out().flush();
    }
    bool Stopped() const { return m_ctx.stopRequested && m_ctx.stopRequested->load(); }
    void ArmStop(bool on) {
        if (m_ctx.stopArmed)
            m_ctx.stopArmed->store(on);
    }
    // Sleeps until the deadline or a stop request; false on a stop request.
    bool SleepUntil(Clock::time_point deadline) {
        while (Clock::now() < deadline) {
            if (Stopped())
                return false;
            auto left = deadline - Clock::now();
            std::this_thread::sleep_for(
                std::min<Clock::duration>(left, std::chrono::milliseconds(20)));
        }
        return !Stopped();
    }
    int NeedArgs(size_t lo, size_t hi, const char* usage) {
        if (m_cl.args.size() < lo || m_cl.args.size() > hi)
            return Usage(std::string("usage: halvik-cli ") + usage);
        return kExitOk;
    }

    int OpenLine();
    int ReadSpeedUnit(DecodeContext& dc);
    int ReadBlockRegs(const BlockDef& def, std::vector<uint16_t>& regs);

    int CmdPorts();
    int CmdInfo();
    int CmdIdent();
    int CmdStatus();
    int CmdRead();
    int CmdReg();
    int CmdSdo();
    int CmdRun();
    int CmdMove();
    int CmdStop();
    int CmdClearPosition();
    int CmdLearn();
    int CmdExport();
    int CmdImport();
    int CmdScan();

    int ReadImage(const ConfigImage* wanted, ConfigImage& img);
    int WriteResultJson(const char* command, ResultCode rc);
    int ScaleSpeedArg(const std::string& text, const char* what, int64_t lo, int64_t hi, bool raw,
                      int64_t& out);
    void PrintFields(const BlockDef& def, const std::vector<uint16_t>& regs,
                     const DecodeContext& dc, bool withRegisters);
    Json BlockJson(const BlockDef& def, const std::vector<uint16_t>& regs, const DecodeContext& dc);
    void PrintDifferences(std::ostream& os, const std::vector<Difference>& diffs,
                          const char* deviceLabel);
    int VerifyCommBlocks(const ConfigImage& file, std::vector<Difference>& diffs);

    const CommandLine& m_cl;
    CliContext& m_ctx;
    CMotorDriver m_drv;
    uint8_t m_nSlave = 1;
    std::string m_strDevice;
};

// --- Output helpers ------------------------------------------------------------

std::string Hex16(uint16_t v);
// Rows in aligned columns (display width, so CJK texts line up).
void PrintTable(std::ostream& os, const std::vector<std::vector<std::string>>& rows,
                const std::string& indent = "  ");
Json RegsJson(const std::vector<uint16_t>& regs);
Json ValueJson(const FieldValue& v);
Json FieldJson(const DecodedField& f);
// {"code": rc, "text": its result text}
Json ErrorJson(ResultCode rc);
// "2026-12-07T05:26:19Z"
std::string UtcNow();
// "COM3", "com3" or "3" -> 3; 0 for anything else.
int ComNumber(const std::string& port);

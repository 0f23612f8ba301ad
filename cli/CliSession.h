#pragma once
// halvik-cli as a library: RunCli takes the arguments and the streams and
// returns the exit status. CCli is one run of a command: the parsed command
// line, the streams and, once opened, the driver on the line. Each command is
// a member defined in its own file (CmdRead.cpp, CmdReg.cpp, ...); the helpers
// here are what they share. Every step returns an exit status; 0 means "go on".

#include "cli/Options.h"
#include "driver/Catalogue.h"
#include "driver/ConfigFile.h"
#include "driver/DeviceIo.h"
#include "driver/FieldInput.h"
#include "driver/Json.h"
#include "modbus/LinkStats.h"

#include <atomic>
#include <chrono>
#include <istream>
#include <map>
#include <ostream>
#include <string>
#include <vector>

using Clock = std::chrono::steady_clock;

enum : int {
    kExitOk = 0,
    kExitCancelled = 1, // the user said no at the prompt
    kExitUsage = 2,     // bad arguments or a bad file
    kExitDevice = 3,    // the device answered with an error or not at all
    kExitDiffers = 4,   // import verification found differences
    kExitReadBack = 5,  // set wrote a field that reads back otherwise
    kExitInterrupted = 130,
};

struct CliContext {
    std::istream& in;
    std::ostream& out;
    std::ostream& err;
    // Set by the program on Ctrl-C. Commands that can stop cleanly set
    // stopArmed while they run; the program ends at once otherwise.
    std::atomic<bool> stopRequested{false}, stopArmed{false};
    bool interactive = false;   // a person can answer the import prompt
    bool errIsTerminal = false; // progress lines may be redrawn in place
};

int RunCli(const std::vector<std::string>& args, CliContext& ctx);

// A field as the command line names it: "motor.rated_current".
struct SNamedField {
    std::string name;
    const BlockDef* block = nullptr;
    const FieldDef* field = nullptr;
};
using BlockRegs = std::map<const BlockDef*, std::vector<uint16_t>>; // in address order

class CCli {
public:
    CCli(const CommandLine& cl, CliContext& ctx) : m_cl(cl), m_ctx(ctx) {}
    int Run();

private:
    std::ostream& Out() { return m_ctx.out; }
    // Messages for people; kept off stdout when stdout carries JSON.
    std::ostream& Note() { return m_cl.json ? m_ctx.err : m_ctx.out; }
    int Usage(const std::string& msg);
    // A file or an invocation that cannot be served (exit status 2).
    int Refuse(const std::string& msg);
    int DeviceError(const std::string& msg);
    int DeviceError(const std::string& what, ResultCode rc);
    void EmitJson(const Json& j, bool pretty = true);
    // Asks question on the terminal ("... [y/N] "); true for a yes.
    bool Confirmed(const std::string& question);
    // The stop command code --mode names.
    uint16_t StopModeCode() const;
    bool Stopped() const { return m_ctx.stopRequested.load(); }
    void ArmStop(bool on) { m_ctx.stopArmed = on; }
    // Sleeps until the deadline or a stop request; false on a stop request.
    bool SleepUntil(Clock::time_point deadline);

    int OpenLine();
    // The device the port option names and its line settings, checked; the
    // port is not opened.
    int ResolveLine(std::string& settings);
    int PortOpenError(EPortError why);
    int ReadSpeedUnit(DecodeContext& dc);
    int ReadBlockRegs(const BlockDef& def, std::vector<uint16_t>& regs);
    // A decimal number typed in engineering units as the register value at
    // `decimals` (-1: the driver's speed unit), or as given with --raw; then
    // the line is open. Text that is no number never opens it.
    int OpenWithScaled(const std::string& text, const char* what, int decimals, const char* unit,
                       int64_t lo, int64_t hi, int64_t& out);
    // The outcome of a command that writes: the result text, or the error.
    int Written(const char* command, const std::string& what, ResultCode rc);

    int CmdPorts();
    int CmdInfo() { return ShowBlock(*FindBlock("device-info"), false); }
    int CmdIdent();
    int CmdStatus();
    int CmdStatusBus(int64_t count, int64_t interval); // status --slaves
    int CmdRead() { return ShowBlock(*FindBlock(m_cl.block), true); }
    int ShowBlock(const BlockDef& def, bool withRegisters);
    int CmdRegRead();
    int CmdRegWrite();
    int CmdSdo();
    int CmdRun();
    int CmdMove();
    int CmdStop();
    int CmdStopBus(uint16_t mode); // stop --slaves
    int CmdClearPosition();
    int CmdLearn();
    int CmdStep();
    int CmdExport();
    int CmdImport();
    int CmdScan();
    int CmdMonitor();
    int CmdGet();
    int CmdSet();
    int CmdFields();

    void PrintFields(const BlockDef& def, const std::vector<uint16_t>& regs,
                     const DecodeContext& dc, bool withRegisters);
    int VerifyCommBlocks(const ConfigImage& file, std::vector<ConfigDiff>& diffs);
    // Reads communication blocks back after writing them: at the old line
    // settings, or at the ones they set when the driver no longer answers there.
    int ReadCommBack(const ConfigImage& written, ConfigImage& got);
    // The blocks holding the fields, one read each, and the driver's speed
    // unit when one of them needs it (unitRead then).
    int ReadFieldBlocks(const std::vector<SNamedField>& fields, BlockRegs& blocks,
                        DecodeContext& dc, bool& unitRead);
    // "name = text" per field, or the JSON document of get and set.
    void ShowNamedFields(const std::vector<SNamedField>& fields, const BlockRegs& blocks,
                         const DecodeContext& dc, bool unitRead, const Json& extra = Json());
    // ReadConfiguration with each step on one line of a terminal's standard
    // error, redrawn in place ("export: reading 2/20 ..."); nothing when
    // standard error is no terminal.
    ConfigRead ReadWithProgress(const char* doing, const ConfigReadRequest& req, ConfigImage& img);
    void Progress(const std::string& line);

    const CommandLine& m_cl;
    CliContext& m_ctx;
    CLinkStats m_linkStats; // before m_drv, which may report to it until its end
    CMotorDriver m_drv;
    uint8_t m_nSlave = 1;
    std::string m_strDevice;
};

std::string Hex16(uint16_t v);
// Rows in aligned columns (display width, so CJK texts line up).
void PrintTable(std::ostream& os, const std::vector<std::vector<std::string>>& rows,
                const std::string& indent = "  ");
Json BlockJson(const BlockDef& def, const std::vector<uint16_t>& regs, const DecodeContext& dc);
// A decoded field as block reads give it, under the name given.
Json FieldJson(const DecodedField& f, const std::string& name);
// {"code": rc, "text": its result text}
Json ErrorJson(ResultCode rc);
// "2026-12-07T05:26:19Z"
std::string UtcNow();

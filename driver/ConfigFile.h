#pragma once
// The configuration file (format "halvik-cli configuration", version 1): a
// driver's parameter blocks as raw registers (what an import writes), its
// eight PDOs and SYNC objects, and decoded fields for people. A field a
// person edited wins over its registers (ConfigFields.h). Shared by the
// command line's export/import and the desktop tool.
//
// Export:  ReadConfiguration (everything, device information included) ->
//          BuildConfigText(img, ctx) -> WriteFileAtomically (FileIo.h).
// Import:  ReadBoundedFile -> ParseConfigText (complete checking, nothing
//          touched) -> ReadConfiguration (what the file names) ->
//          CheckAgainstDevice -> CompareImages (show) -> PlanConfigWrite ->
//          WriteConfigPart(kWriteMain) -> read back WithoutCommBlocks(file) and
//          compare -> WriteConfigPart(kWriteComm) -> read the communication
//          blocks back (at the new line settings, ConfigLineOf, when the old
//          ones no longer answer) and compare.
// All device access runs on the calling thread.

#include "driver/CanOpen.h"
#include "driver/Catalogue.h"

#include <functional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

constexpr const char* kConfigFormat = "halvik-cli configuration";
constexpr int kConfigVersion = 1;
// Larger files are refused before they are parsed.
constexpr size_t kMaxConfigFileBytes = 16 * 1024 * 1024;

struct BlockImage {
    const BlockDef* def = nullptr;
    std::vector<uint16_t> regs;
};

// Where the file came from; informational, never written to a device.
struct ConfigDevice {
    bool present = false;
    std::string identifier, version, model; // as the device information shows them
    std::vector<uint16_t> registers;        // the device information block
    int slave = -1;                         // -1: not recorded
    bool hasIdentification = false;
    std::string identification; // device identification text
    // Its speed unit (register 0x0036), which the speed fields' texts are
    // written in: 1 whole Hz, 0 tenths, -1 not recorded.
    int speedUnitHz = -1;
};

struct ConfigImage {
    std::vector<BlockImage> blocks; // in ExportBlocks() order
    std::vector<PdoImage> pdos;     // by row
    bool hasSync = false;
    SyncValues sync;
    ConfigDevice device;
    std::string time;
    // Fields (by their first register) whose value in the file replaced the
    // registers beside it.
    std::vector<uint16_t> edited;

    const BlockImage* Block(const BlockDef* def) const;
    const PdoImage* Pdo(int row) const;
    bool Edited(uint16_t fieldAddr) const;
};

// --- The file --------------------------------------------------------------------

// The whole document for an image, pretty-printed, ending in a newline. The
// fields are decoded at the speed unit the image's device records, else at
// ctx's.
std::string BuildConfigText(const ConfigImage& img, const DecodeContext& ctx);

enum class EConfigParse {
    Ok,
    NotJson, // errors[0]: "line L, column C: what"
    Refused, // errors: every problem with its place ("blocks.ramp.registers[2]: ...")
};
// Checks and reads a document completely, edited fields and the values the
// driver documents limits or orders for included; img is only meaningful on
// Ok.
EConfigParse ParseConfigText(std::string_view text, ConfigImage& img,
                             std::vector<std::string>& errors);

// The "device" part of an export from the device information registers.
ConfigDevice MakeConfigDevice(const std::vector<uint16_t>& infoRegs, int slave);

// --- The device ------------------------------------------------------------------

// What a read of a device's configuration fetches: the parts wanted names
// (all of them when null); first, as one step, the device information block
// (an export records it) and the speed unit the fields are decoded at; last
// the identification text, which is informational: its failure ends nothing.
struct ConfigReadRequest {
    const ConfigImage* wanted = nullptr;
    bool deviceInfo = false, speedUnit = false, identification = false;
};

// One step of a read, with its text for a progress window: "设备信息",
// "电机参数 (motor)", "通讯对象 TPDO1", "通讯对象 SYNC".
struct ConfigReadStep {
    enum class EKind { DeviceInfo, Block, Pdo, Sync };
    EKind kind = EKind::DeviceInfo;
    std::string text;
    const BlockDef* block = nullptr; // the registers it reads (device-info with deviceInfo)
    int pdoRow = -1;
};

// How a read ended, and what it learnt besides the image.
struct ConfigRead {
    enum class EEnd { Done, Cancelled, Failed };
    EEnd end = EEnd::Done;
    ConfigReadStep step;    // Failed: the step under way
    bool speedUnit = false; // Failed at the speed unit register
    ResultCode rc = kResultOk;
    SdoResult sdo;                  // a PDO or SYNC step's failed exchange
    DecodeContext ctx;              // the driver's speed unit, when read
    ResultCode identRc = kResultOk; // the identification text's read
    // Why the step failed: the SDO message, or the result text followed by
    // its code when withCode ("通讯超时 (130)").
    std::string Reason(bool withCode) const;
};

// Called before each step with its index and text; false cancels the read
// before that step.
using ConfigStepFn = std::function<bool(int step, const std::string& text)>;

// Reads what req asks for into img, step by step: device information, speed
// unit, the blocks (ExportBlocks() order), the PDOs, SYNC, the
// identification text.
ConfigRead ReadConfiguration(CMotorDriver& drv, uint8_t slave, const ConfigReadRequest& req,
                             const ConfigStepFn& onStep, ConfigImage& img);
// The number of steps ReadConfiguration takes for req, and the steps.
size_t ConfigReadStepCount(const ConfigReadRequest& req);
std::vector<ConfigReadStep> ConfigReadSteps(const ConfigReadRequest& req);

// Problems that make the file unusable on this device (PDO sub-indexes or
// mapping entries the device does not have).
std::vector<std::string> CheckAgainstDevice(const ConfigImage& file, const ConfigImage& device);

// One difference between a file and a device, with what either surface
// shows: the command line names the block and the item and shows values with
// their registers; the desktop names the page and the field in the pages' own
// words and shows values as the pages do.
struct ConfigValue {
    std::vector<uint32_t> raw; // the field's registers, or the object's value
    std::string text;          // the command line's: "3.00 A [0x012C]", "COB-ID 0x00000181"
    std::string shown;         // the pages': "3.00 A", "是", "0x181"
};
struct ConfigDiff {
    std::string block; // block or object: "motor", "TPDO1", "SYNC"
    std::string page;  // the desktop's group: "电机参数", "通讯对象 TPDO1"
    std::string item;  // "rated_current (0x006A)", "register 0x0068", "0x1A00 sub 2"
    std::string label; // "电机额定电流", "寄存器 0x0068", "映射对象 2"
    ConfigValue device, file;
    bool edited = false; // the file's field was edited: its value replaced its registers
    bool comm = false;   // a communication block: writing it can move the line or the address
};

// What writing file over device would change, in file order.
std::vector<ConfigDiff> CompareImages(const ConfigImage& file, const ConfigImage& device,
                                      const DecodeContext& ctx);

// The desktop's group for a part of a configuration: a block's page, or the
// PDO of pdoRow, or (no block, pdoRow -1) the SYNC objects.
std::string ConfigPartPage(const BlockDef* block, int pdoRow);
// A PDO communication sub-index's value as the file and the command line
// show it: "COB-ID 0x00000181", "transmission type 255".
std::string PdoCommSubText(uint8_t sub, uint32_t value);

// What an import writes, in order: parameter blocks, PDOs, SYNC, and the
// communication blocks last (they can move the line or the slave address).
// Only what differs from the device is listed. Points into file and device.
struct ConfigWritePlan {
    std::vector<const BlockImage*> blocks;
    std::vector<std::pair<const PdoImage*, const PdoImage*>> pdos; // target, current
    bool sync = false;
    std::vector<const BlockImage*> commBlocks;
};
ConfigWritePlan PlanConfigWrite(const ConfigImage& file, const ConfigImage& device);

enum class EWritePart { Main, Comm };
// Writes one part of the plan; onWritten names each block or object when
// written ("ramp", "TPDO1", "SYNC"). On failure what names the item and
// error says why; what was written before stays written.
bool WriteConfigPart(CMotorDriver& drv, uint8_t slave, const ConfigImage& file,
                     const ConfigImage& device, const ConfigWritePlan& plan, EWritePart part,
                     const std::function<void(const std::string&)>& onWritten, std::string& what,
                     std::string& error);

// The file without its communication blocks / with only those.
ConfigImage WithoutCommBlocks(const ConfigImage& file);
ConfigImage CommBlocksOnly(const ConfigImage& file);
// Reads the blocks that which holds (no PDOs, no SYNC).
ResultCode ReadBlocks(CMotorDriver& drv, uint8_t slave, const ConfigImage& which, ConfigImage& got);

// The line the driver answers on once the file's communication blocks are
// written: slave address, baud rate and framing (parity choice of
// CMotorDriver::SettingsString), starting from the current ones.
struct ConfigLine {
    int slave = 1, baud = 9600, framing = 0;
    bool operator==(const ConfigLine&) const = default;
};
ConfigLine ConfigLineOf(const ConfigImage& file, ConfigLine current);

#pragma once
// The configuration file of export and import: raw registers per block (what
// import writes), the PDO and SYNC objects, and decoded fields for people
// (never read back). Checking a file is complete before anything is written.

#include "cli/Device.h"
#include "cli/Fields.h"
#include "cli/Json.h"

#include <string>
#include <vector>

constexpr const char* kConfigFormat = "halvik-cli configuration";
constexpr int kConfigVersion = 1;

struct BlockImage {
    const BlockDef* def = nullptr;
    std::vector<uint16_t> regs;
};

struct ConfigImage {
    std::vector<BlockImage> blocks; // in ExportBlocks() order
    std::vector<PdoImage> pdos;     // by row
    bool hasSync = false;
    SyncImage sync;
    CJson device; // identification, informational
    std::string time;

    const BlockImage* Block(const BlockDef* def) const;
    const PdoImage* Pdo(int row) const;
};

// The whole document for a device image.
CJson BuildConfigJson(const ConfigImage& img, const DecodeContext& ctx);

// Checks and reads a document; every problem found goes to errors (with the
// place in the file). True only when there is none.
bool ParseConfigJson(const CJson& doc, ConfigImage& img, std::vector<std::string>& errors);

// Problems that make the file unusable on this device (PDO sub-indexes or
// mapping entries the device does not have).
std::vector<std::string> CheckAgainstDevice(const ConfigImage& file, const ConfigImage& device);

struct Difference {
    std::string where;  // block or object name
    std::string item;   // field, register or sub-index
    std::string device; // current value, for people
    std::string file;   // value in the file
};

// What writing file over device would change.
std::vector<Difference> CompareImages(const ConfigImage& file, const ConfigImage& device,
                                      const DecodeContext& ctx);

// One line per PDO mapping entry: "0x6040 sub 0, 16 bits".
std::string MapEntryText(uint32_t entry);

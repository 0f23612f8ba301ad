// export and import against the virtual driver: a round trip restores
// registers and PDO objects exactly, in the CANopen order; bad files write
// nothing; verification reports what did not take.

#include "tests/cli/CliRunner.h"

#include "cli/Fields.h"
#include "cli/Json.h"
#include "tests/support/SimHarness.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <map>
#include <sstream>
#include <thread>
#include <tuple>
#include <unistd.h>

namespace {

using Objects = std::map<std::pair<uint16_t, int>, uint32_t>;

struct SdoWrite {
    uint16_t index;
    int sub;
    uint32_t data;
    bool operator==(const SdoWrite&) const = default;
};

std::ostream& operator<<(std::ostream& os, const SdoWrite& w) {
    char buf[48];
    std::snprintf(buf, sizeof buf, "(0x%04X,%d,0x%08X)", w.index, w.sub, w.data);
    return os << buf;
}

class CliImport : public ::testing::Test {
protected:
    static void SetUpTestSuite() { ASSERT_FALSE(UsePrivatePortFolder().empty()); }

    void SetUp() override {
        ASSERT_TRUE(m_sim.Ok());
        char dir[] = "/tmp/halvik-cli-test-XXXXXX";
        ASSERT_NE(mkdtemp(dir), nullptr);
        m_dir = dir;
    }

    void TearDown() override {
        for (const auto& f : m_files)
            std::remove(f.c_str());
        rmdir(m_dir.c_str());
    }

    CliRun Cli(std::vector<std::string> args) {
        args.insert(args.begin(), {"--port", m_sim.Device()});
        return RunCli(args);
    }

    std::string File(const std::string& name) {
        m_files.push_back(m_dir + "/" + name);
        return m_files.back();
    }

    static std::string Read(const std::string& path) {
        std::ifstream f(path);
        std::stringstream ss;
        ss << f.rdbuf();
        return ss.str();
    }

    std::string Write(const std::string& name, const std::string& text) {
        std::string path = File(name);
        std::ofstream(path) << text;
        return path;
    }

    std::map<uint16_t, std::vector<uint16_t>> Blocks() {
        std::map<uint16_t, std::vector<uint16_t>> out;
        for (const BlockDef* b : ExportBlocks())
            out[b->start] = m_sim.Driver().GetRegisters(b->start, b->count);
        return out;
    }

    // PDO communication and mapping objects (mapping entries in use) and SYNC.
    Objects PdoObjects() {
        Objects out;
        CVirtualDriver& d = m_sim.Driver();
        auto get = [&](uint16_t index, int sub) {
            uint32_t v = 0;
            if (d.GetObject(index, static_cast<uint8_t>(sub), v))
                out[{index, sub}] = v;
            return v;
        };
        for (uint16_t base : {0x1400, 0x1800})
            for (uint16_t n = 0; n < 4; ++n)
                for (int s = 0; s <= 5; ++s)
                    if (s != 4)
                        get(static_cast<uint16_t>(base + n), s);
        for (uint16_t base : {0x1600, 0x1A00})
            for (uint16_t n = 0; n < 4; ++n) {
                uint32_t count = get(static_cast<uint16_t>(base + n), 0);
                for (uint32_t s = 1; s <= count; ++s)
                    get(static_cast<uint16_t>(base + n), static_cast<int>(s));
            }
        for (uint16_t i : {0x1005, 0x1006, 0x1007})
            get(i, 0);
        return out;
    }

    // Any write but an SDO upload request, which only asks through the window.
    bool AnyWrites() {
        for (const auto& f : m_sim.Driver().RequestLog()) {
            bool sdoUpload =
                f.size() == 21 && f[1] == 0x10 && f[2] == 0x02 && f[3] == 0x00 && f[8] == 0x40;
            if (f.size() > 1 && (f[1] == 0x06 || f[1] == 0x10) && !sdoUpload)
                return true;
        }
        return false;
    }

    // SDO downloads sent through the window, oldest first.
    std::vector<SdoWrite> SdoWrites() {
        std::vector<SdoWrite> out;
        for (const auto& f : m_sim.Driver().RequestLog())
            if (f.size() == 21 && f[1] == 0x10 && f[2] == 0x02 && f[3] == 0x00 && f[8] != 0x40)
                out.push_back(
                    {static_cast<uint16_t>(f[9] << 8 | f[10]), f[12],
                     static_cast<uint32_t>(f[15]) << 24 | f[16] << 16 | f[17] << 8 | f[18]});
        return out;
    }

    CSimHarness m_sim{1, -1};
    std::string m_dir;
    std::vector<std::string> m_files;
};

// Replaces the first `from` after the first `anchor`.
std::string Edit(std::string text, const std::string& anchor, const std::string& from,
                 const std::string& to) {
    size_t a = text.find(anchor);
    EXPECT_NE(a, std::string::npos) << anchor;
    size_t p = text.find(from, a == std::string::npos ? 0 : a);
    EXPECT_NE(p, std::string::npos) << from;
    if (p != std::string::npos)
        text.replace(p, from.size(), to);
    return text;
}

} // namespace

TEST_F(CliImport, ExportThenChangeThenImportRestoresTheDeviceExactly) {
    CVirtualDriver& d = m_sim.Driver();
    const std::string path = File("drive.json");
    CliRun r = Cli({"--json", "export", path});
    ASSERT_EQ(r.status, 0) << r.err;
    CJson doc;
    std::string err;
    ASSERT_TRUE(ParseJson(r.out, doc, err)) << err;
    EXPECT_EQ(doc.Find("file")->Text(), path);
    EXPECT_EQ(doc.Find("pdos")->Text(), "8");
    ASSERT_TRUE(ParseJson(Read(path), doc, err)) << err;
    EXPECT_EQ(doc.Find("version")->Text(), "1");
    EXPECT_EQ(doc.Find("blocks")->Size(), 11u);
    EXPECT_EQ(doc.Find("pdos")->Size(), 8u);
    const auto blocks = Blocks();
    const auto objects = PdoObjects();

    d.SetRegisters(0x00BA, {0x4020, 0x0000});
    d.SetRegister(0x0100, 99);
    d.SetRegister(0x0052, 1234);
    d.SetRegister(0x0095, 7);   // communication block A, line unchanged
    d.SetRegister(0x0129, 500); // CANopen heartbeat
    d.SetObject(0x1A00, 0, 1);  // TPDO1: one entry, another object
    d.SetObject(0x1A00, 1, 0x60640020);
    d.SetObject(0x1800, 5, 100);
    uint32_t rpdo2 = 0;
    ASSERT_TRUE(d.GetObject(0x1401, 1, rpdo2));
    d.SetObject(0x1401, 1, rpdo2 & ~0x80000000u); // RPDO2 made valid
    d.SetObject(0x1401, 2, 1);
    d.SetObject(0x1005, 0, 0x40000081); // a SYNC producer on another identifier
    d.SetObject(0x1006, 0, 5000);
    ASSERT_NE(Blocks(), blocks);
    ASSERT_NE(PdoObjects(), objects);

    d.ClearRequestLog();
    r = Cli({"import", path, "--yes"});
    ASSERT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_NE(r.out.find("communication settings last"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("Verified"), std::string::npos) << r.out;
    EXPECT_EQ(Blocks(), blocks);
    EXPECT_EQ(PdoObjects(), objects);

    // TPDO1 was valid: invalidated, parameters, mapping disabled, entries,
    // mapping enabled, valid again.
    const uint32_t cob = objects.at({0x1800, 1});
    std::vector<SdoWrite> tpdo1, rpdo2w;
    for (const auto& w : SdoWrites()) {
        if (w.index == 0x1800 || w.index == 0x1A00)
            tpdo1.push_back(w);
        if (w.index == 0x1401 || w.index == 0x1601)
            rpdo2w.push_back(w);
    }
    std::vector<SdoWrite> want = {
        {0x1800, 1, cob | 0x80000000u},
        {0x1800, 5, objects.at({0x1800, 5})},
        {0x1A00, 0, 0},
        {0x1A00, 1, objects.at({0x1A00, 1})},
        {0x1A00, 2, objects.at({0x1A00, 2})},
        {0x1A00, 0, objects.at({0x1A00, 0})},
        {0x1800, 1, cob},
    };
    EXPECT_EQ(tpdo1, want);
    // RPDO2 ends invalid as exported; invalidating it was the last step.
    EXPECT_EQ(rpdo2w, (std::vector<SdoWrite>{{0x1401, 1, rpdo2}, {0x1401, 2, 255}}));

    // Importing again finds nothing to do and writes nothing.
    d.ClearRequestLog();
    r = Cli({"--json", "import", path, "--yes"});
    ASSERT_EQ(r.status, 0) << r.err;
    CJson rep;
    ASSERT_TRUE(ParseJson(r.out, rep, err)) << err;
    EXPECT_EQ(rep.Find("result")->Text(), "unchanged");
    EXPECT_FALSE(AnyWrites());
}

TEST_F(CliImport, TruncatedOrBrokenFilesWriteNothing) {
    const std::string good = File("good.json");
    ASSERT_EQ(Cli({"export", good}).status, 0);
    const std::string text = Read(good);
    m_sim.Driver().SetRegisters(0x00BA, {0x4020, 0x0000}); // a valid import would write

    const std::vector<std::pair<std::string, std::string>> broken = {
        {"truncated", text.substr(0, text.size() / 2)},
        {"cut-last-brace", text.substr(0, text.rfind('}'))},
        {"not-json", "hello"},
        {"version", Edit(text, "", "\"version\": 1", "\"version\": 2")},
        {"unknown-block", Edit(text, "\"blocks\"", "\"pid\"", "\"pidx\"")},
        {"too-large", Edit(text, "\"ramp\"", "\"registers\": [", "\"registers\": [70000, ")},
        {"wrong-size", Edit(text, "\"safety\"", "\"registers\": [", "\"registers\": [1, ")},
        {"negative", Edit(text, "\"pid\"", "\"registers\": [", "\"registers\": [-1, ")},
        {"map-count", Edit(text, "\"mapping\"", "\"count\": ", "\"count\": 9")},
        {"sub-4", Edit(text, "\"TPDO2\"", "\"sub\": 3", "\"sub\": 4")},
        {"sync-range", Edit(text, "\"sync\"", "\"cyclePeriod\": ", "\"cyclePeriod\": 99999999999")},
        // Well formed, but asks for a sub-index the device does not have.
        {"device-mismatch", Edit(Edit(text, "\"TPDO1\"", "\"count\": 5", "\"count\": 6"),
                                 "\"TPDO1\"", "\"sub\": 5", "\"sub\": 6")},
    };
    for (const auto& [name, content] : broken) {
        const std::string path = Write(name + ".json", content);
        m_sim.Driver().ClearRequestLog();
        CliRun r = Cli({"import", path, "--yes"});
        EXPECT_EQ(r.status, 2) << name << ": " << r.out << r.err;
        EXPECT_NE(r.err.find("nothing written"), std::string::npos) << name << ": " << r.err;
        EXPECT_FALSE(AnyWrites()) << name;
    }
    m_sim.Driver().ClearRequestLog();
    CliRun r = Cli({"import", File("missing.json"), "--yes"});
    EXPECT_EQ(r.status, 2);
    EXPECT_TRUE(m_sim.Driver().RequestLog().empty());
}

TEST_F(CliImport, WritesOnlyWithConfirmationAndNeverOnADryRun) {
    const std::string path = File("drive.json");
    ASSERT_EQ(Cli({"export", path}).status, 0);
    m_sim.Driver().SetRegister(0x0100, 99);

    m_sim.Driver().ClearRequestLog();
    CliRun r = Cli({"import", path}); // standard input is /dev/null: nobody to ask
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("--yes"), std::string::npos) << r.err;
    EXPECT_FALSE(AnyWrites());

    r = Cli({"--json", "import", path, "--dry-run"});
    ASSERT_EQ(r.status, 0) << r.err;
    CJson rep;
    std::string err;
    ASSERT_TRUE(ParseJson(r.out, rep, err)) << err << r.out;
    EXPECT_EQ(rep.Find("result")->Text(), "dry-run");
    ASSERT_EQ(rep.Find("differences")->Size(), 1u);
    EXPECT_EQ(rep.Find("differences")->Items()[0].Find("item")->Text(),
              "over_temperature_shutdown (0x0100)");
    EXPECT_FALSE(AnyWrites());
    EXPECT_EQ(m_sim.Driver().GetRegister(0x0100), 99);
}

TEST_F(CliImport, AValueThatDidNotTakeIsReportedWithStatus4) {
    CVirtualDriver& d = m_sim.Driver();
    std::string regs = "0";
    for (int i = 1; i < 18; ++i)
        regs += i % 2 ? ", 0" : ", 16256"; // 1.0 in every gain
    const std::string path =
        Write("pid.json", "{\"format\": \"halvik-cli configuration\", \"version\": 1, \"blocks\": "
                          "{\"pid\": {\"start\": 186, \"registers\": [16256, " +
                              regs.substr(3) + "]}}}");
    d.SetRegisters(0x00BA, std::vector<uint16_t>(18, 0));
    // Every reply comes late, so the register can be changed behind the
    // import's back between its write and its read-back.
    m_sim.Server().InjectFault(EFault::Delay, 500, -1);
    std::thread spoiler([&] {
        bool seen = WaitFor(
            [&] {
                for (const auto& f : d.RequestLog())
                    if (f.size() > 3 && f[1] == 0x10 && f[2] == 0x00 && f[3] == 0xBA)
                        return true;
                return false;
            },
            20000);
        if (seen)
            d.SetRegisters(0x00BA, {0x4000, 0x0000});
    });
    CliRun r = Cli({"--timeout", "3000", "import", path, "--yes"});
    spoiler.join();
    m_sim.Server().ClearFaults();
    EXPECT_EQ(r.status, 4) << r.out << r.err;
    EXPECT_NE(r.err.find("verification found 1 difference"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("holding_kp"), std::string::npos) << r.err;
}

TEST_F(CliImport, ANewSlaveAddressIsFollowedWhenReadingBack) {
    CVirtualDriver& d = m_sim.Driver();
    const uint16_t keep = d.GetRegister(0x009D);
    const std::string path =
        Write("address.json", "{\"format\": \"halvik-cli configuration\", \"version\": 1, "
                              "\"blocks\": {\"comm-b\": {\"start\": 156, \"registers\": [5, " +
                                  std::to_string(keep) + "]}}}");
    // A driver that takes its new address at once: it answers the write at
    // the old one and everything after at the new one.
    m_sim.Server().InjectFault(EFault::Delay, 300, -1);
    std::thread mover([&] {
        bool seen = WaitFor(
            [&] {
                for (const auto& f : d.RequestLog())
                    if (f.size() > 3 && f[1] == 0x10 && f[2] == 0x00 && f[3] == 0x9C)
                        return true;
                return false;
            },
            20000);
        if (seen)
            d.SetSlave(5);
    });
    CliRun r = Cli({"--timeout", "1000", "import", path, "--yes"});
    mover.join();
    m_sim.Server().ClearFaults();
    EXPECT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_NE(r.out.find("now answers at slave 5"), std::string::npos) << r.out;
    EXPECT_EQ(d.GetRegister(0x009C), 5);
}

// export and import against the virtual driver: a round trip restores
// registers and PDO objects exactly, in the CANopen order; bad files write
// nothing; verification reports what did not take.

#include "tests/cli/CliRunner.h"

#include "cli/CliSession.h"
#include "driver/Catalogue.h"
#include "driver/ConfigFile.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <thread>
#include <tuple>

namespace {

using Objects = std::map<std::pair<int, int>, uint32_t>; // index, sub-index: value

using SdoWrite = std::tuple<int, int, uint32_t>; // index, sub-index, data

// Replaces the first `from` after the first `anchor`.
std::string Edit(std::string text, const std::string& anchor, const std::string& from,
                 const std::string& to) {
    size_t p = text.find(from, text.find(anchor));
    EXPECT_NE(p, std::string::npos) << anchor << " / " << from;
    if (p != std::string::npos)
        text.replace(p, from.size(), to);
    return text;
}

// Replaces the first register of a block.
std::string FirstRegister(std::string text, const std::string& block, const std::string& to) {
    const size_t a = text.find('[', text.find("\"" + block + "\""));
    text.replace(a + 1, text.find(',', a) - a - 1, to);
    return text;
}

class CliImport : public CliTest {
protected:
    void SetUp() override {
        CliTest::SetUp();
        char dir[] = "/tmp/halvik-cli-test-XXXXXX";
        ASSERT_NE(mkdtemp(dir), nullptr);
        m_dir = dir;
    }
    void TearDown() override { std::filesystem::remove_all(m_dir); }

    std::string Path(const std::string& name) { return m_dir + "/" + name; }
    std::string Write(const std::string& name, const std::string& text) {
        std::ofstream(Path(name)) << text;
        return Path(name);
    }

    std::map<uint16_t, std::vector<uint16_t>> Blocks() {
        std::map<uint16_t, std::vector<uint16_t>> out;
        for (const BlockDef* b : ExportBlocks())
            out[b->start] = m_sim.Driver().GetRegisters(b->start, b->count);
        return out;
    }

    // PDO communication and mapping objects, and SYNC.
    Objects PdoObjects() {
        Objects out;
        std::vector<int> indexes = {0x1005, 0x1006, 0x1007};
        for (int base : {0x1400, 0x1600, 0x1800, 0x1A00})
            for (int n = 0; n < 4; ++n)
                indexes.push_back(base + n);
        for (int index : indexes)
            for (int sub = 0; sub <= 8; ++sub)
                if (uint32_t v = 0; m_sim.Driver().GetObject(static_cast<uint16_t>(index),
                                                             static_cast<uint8_t>(sub), v))
                    out[{index, sub}] = v;
        return out;
    }

    static bool IsSdoWindowWrite(const std::vector<uint8_t>& f) {
        return f.size() == 21 && f[1] == 0x10 && f[2] == 0x02 && f[3] == 0x00;
    }

    // Any write but an SDO upload request, which only asks through the window.
    bool AnyWrites() {
        for (const auto& f : m_sim.Driver().RequestLog())
            if (f.size() > 1 && (f[1] == 0x06 || f[1] == 0x10) &&
                !(IsSdoWindowWrite(f) && f[8] == 0x40))
                return true;
        return false;
    }

    // SDO downloads sent through the window, oldest first.
    std::vector<SdoWrite> SdoWrites() {
        std::vector<SdoWrite> out;
        for (const auto& f : m_sim.Driver().RequestLog())
            if (IsSdoWindowWrite(f) && f[8] != 0x40)
                out.emplace_back(f[9] << 8 | f[10], f[12],
                                 static_cast<uint32_t>(f[15]) << 24 | f[16] << 16 | f[17] << 8 |
                                     f[18]);
        return out;
    }

    std::string m_dir;
};

TEST_F(CliImport, ExportThenChangeThenImportRestoresTheDeviceExactly) {
    CVirtualDriver& d = m_sim.Driver();
    const std::string path = Path("drive.json");
    Json doc = JsonOf({"export", path});
    EXPECT_EQ(At(doc, "file"), path);
    EXPECT_EQ(At(doc, "pdos"), "8");
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
    const uint32_t rpdo2 = objects.at({0x1401, 1});
    d.SetObject(0x1401, 1, rpdo2 & ~0x80000000u); // RPDO2 made valid
    d.SetObject(0x1401, 2, 1);
    d.SetObject(0x1005, 0, 0x40000081); // a SYNC producer on another identifier
    d.SetObject(0x1006, 0, 5000);
    ASSERT_NE(Blocks(), blocks);
    ASSERT_NE(PdoObjects(), objects);

    d.ClearRequestLog();
    Expect("import " + path + " --yes", 0, {"communication settings last", "Verified"});
    EXPECT_EQ(Blocks(), blocks);
    EXPECT_EQ(PdoObjects(), objects);

    // TPDO1 was valid: invalidated, parameters, mapping disabled, entries,
    // mapping enabled, valid again.
    const uint32_t cob = objects.at({0x1800, 1});
    std::vector<SdoWrite> tpdo1, rpdo2w;
    for (const auto& w : SdoWrites()) {
        const int index = std::get<0>(w);
        if (index == 0x1800 || index == 0x1A00)
            tpdo1.push_back(w);
        if (index == 0x1401 || index == 0x1601)
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
    EXPECT_EQ(At(JsonOf({"import", path, "--yes"}), "result"), "unchanged");
    EXPECT_FALSE(AnyWrites());
}

// The file rules themselves are FileIoTest's: here only that export uses them.
TEST_F(CliImport, ExportsFollowNoPlantedLink) {
    const std::string victim = Write("victim", "someone's"), path = Path("cfg.json");
    ASSERT_EQ(symlink(victim.c_str(), path.c_str()), 0);
    ASSERT_EQ(Cli({"export", path}).status, 0);
    EXPECT_EQ(ReadFile(victim), "someone's");
    EXPECT_TRUE(std::filesystem::is_regular_file(std::filesystem::symlink_status(path)));
    EXPECT_NE(ReadFile(path).find("\"blocks\""), std::string::npos);
}

// A terminal sees one line naming the part being read, redrawn in place and
// cleared at the end; a pipe or file sees nothing of it.
TEST_F(CliImport, ProgressOnlyOnATerminal) {
    const std::string path = Path("drive.json");
    const CliRun piped = Cli({"export", path});
    ASSERT_EQ(piped.status, 0) << piped.err;
    EXPECT_EQ(piped.err, "");

    for (const char* command : {"export", "import"}) {
        std::istringstream in;
        std::ostringstream out, err;
        CliContext ctx{in, out, err};
        ctx.errIsTerminal = true;
        std::vector<std::string> args = {"--port", m_sim.Device(), command, path};
        if (*command == 'i')
            args.push_back("--dry-run");
        ASSERT_EQ(::RunCli(args, ctx), 0) << err.str();
        EXPECT_NE(err.str().find("\r\033[K" + std::string(command) + ": reading "),
                  std::string::npos)
            << err.str();
        EXPECT_EQ(err.str().find('\n'), std::string::npos) << err.str();
        EXPECT_TRUE(err.str().ends_with("\r\033[K")) << err.str();
    }
}

TEST_F(CliImport, TruncatedOrBrokenFilesAndUnconfirmedImportsWriteNothing) {
    const std::string good = Path("good.json");
    ASSERT_EQ(Cli({"export", good}).status, 0);
    const std::string text = ReadFile(good);
    m_sim.Driver().SetRegister(0x0100, 99); // a valid import would write

    // Each names its problem and where it is.
    const std::tuple<std::string, std::string, const char*> broken[] = {
        {"truncated", text.substr(0, text.size() / 2), "不是有效的JSON"},
        {"version", Edit(text, "", "\"version\": 1", "\"version\": 2"), "不支持版本 2"},
        {"format", Edit(text, "", "\"halvik-cli configuration\"", "\"other\""), "format: 应为"},
        {"unknown-block", Edit(text, "\"blocks\"", "\"pid\"", "\"pidx\""),
         "blocks.pidx: 未知的参数块"},
        {"read-only", Edit(text, "\"blocks\"", "\"pid\"", "\"status\""), "不能写入"},
        {"wrong-size", Edit(text, "\"ramp\"", "[", "[1, "), "此参数块有 4 个寄存器"},
        {"negative", FirstRegister(text, "pid", "-1"), "的整数"},
        {"start", Edit(text, "\"ramp\"", "\"start\": 80", "\"start\": 81"), "blocks.ramp.start"},
        {"map-count", Edit(text, "\"mapping\"", "\"count\": ", "\"count\": 9"), "mapping.count"},
        {"sub-4", Edit(text, "\"TPDO2\"", "\"sub\": 3", "\"sub\": 4"), "pdos.TPDO2.communication"},
        {"byte", Edit(text, "\"size\": 1", "\"value\": ", "\"value\": 256"), "大于 255"},
        {"unknown-pdo", Edit(text, "", "\"RPDO2\"", "\"XPDO2\""), "未知的PDO"},
        {"sync-range", Edit(text, "\"sync\"", "\"cyclePeriod\": ", "\"cyclePeriod\": 99999999999"),
         "sync.cyclePeriod"},
        // Well formed, but asks for a sub-index the device does not have.
        {"device-mismatch",
         Edit(Edit(text, "\"TPDO1\"", "\"count\": 5", "\"count\": 6"), "\"TPDO1\"", "\"sub\": 5",
              "\"sub\": 6"),
         "没有子索引 6"},
        // Every problem is listed, not just the first.
        {"two", Edit(FirstRegister(text, "ramp", "70000"), "", "\"RPDO2\"", "\"XPDO2\""),
         "未知的PDO"},
    };
    for (const auto& [name, content, mention] : broken) {
        SCOPED_TRACE(name);
        m_sim.Driver().ClearRequestLog();
        CliRun r = Expect("import " + Write(name + ".json", content) + " --yes", 2, {},
                          {"nothing written", mention});
        EXPECT_TRUE(name != "two" || r.err.find("70000 大于 65535") != std::string::npos);
        // Only what the device cannot hold needs the device to tell.
        if (name == "device-mismatch")
            EXPECT_FALSE(AnyWrites());
        else
            EXPECT_TRUE(m_sim.Driver().RequestLog().empty()) << "the port was used";
    }
    // The same problems in English when asked for; the places stay as they are.
    Expect(
        "import " +
            Write("format-en.json", Edit(text, "", "\"halvik-cli configuration\"", "\"other\"")) +
            " --yes --lang en",
        2, {}, {"format: must be \"halvik-cli configuration\""});
    m_sim.Driver().ClearRequestLog();
    Expect("import " + Write("huge.json", text + std::string(kMaxConfigFileBytes, ' ')) + " --yes",
           2, {}, {"too large"});
    Expect("import " + Path("missing.json") + " --yes", 2);
    EXPECT_TRUE(m_sim.Driver().RequestLog().empty());

    // Without --yes there is nobody to ask (standard input is /dev/null).
    Expect("import " + good, 2, {}, {"--yes"});
    EXPECT_FALSE(AnyWrites());
    // A dry run lists the differences and writes nothing.
    Json rep = JsonOf({"import", good, "--dry-run"});
    EXPECT_EQ(At(rep, "result"), "dry-run");
    ASSERT_EQ(rep["differences"].size(), 1u);
    EXPECT_EQ(At(rep, "differences.0.item"), "over_temperature_shutdown (0x0100)");
    EXPECT_FALSE(AnyWrites());
    EXPECT_EQ(m_sim.Driver().GetRegister(0x0100), 99);
}

// A field edited in the file is a difference marked as edited there, and a
// dry run writes nothing.
TEST_F(CliImport, AnEditedFieldIsMarkedAsEditedInTheFile) {
    const std::string path = Path("drive.json");
    ASSERT_EQ(Cli({"export", path}).status, 0);
    const std::string text = ReadFile(path);
    EXPECT_NE(text.find("\"speedUnitHz\": false"), std::string::npos);
    const std::string edited =
        Write("edited.json", Edit(text, "\"rated_current\"", "\"3.00 A\"", "\"3.5 A\""));
    Expect("import " + edited + " --dry-run", 0,
           {"1 difference(s)", "3.00 A [0x012C]", "3.50 A [0x015E] (edited in the file)"});
    EXPECT_EQ(m_sim.Driver().GetRegister(0x006A), 300);
}

// The device changes behind the import's back once a block write has arrived:
// a value that did not take is reported with status 4; a new slave address
// is followed when reading back.
TEST_F(CliImport, ReadingBackSeesWhatTheDeviceDid) {
    // Every reply comes late; act runs once the block write to addr has arrived.
    m_sim.Server().InjectFault(EFault::Delay, 300, -1);
    auto importActing = [&](const std::string& blocks, const char* timeoutMs, uint16_t addr,
                            const std::function<void()>& act, int status,
                            const std::vector<std::string>& out,
                            const std::vector<std::string>& err) {
        std::thread actor([&] {
            auto seen = [&] {
                for (const auto& f : m_sim.Driver().RequestLog())
                    if (f.size() > 3 && f[1] == 0x10 && f[2] == addr >> 8 && f[3] == (addr & 0xFF))
                        return true;
                return false;
            };
            if (WaitFor(seen, 20000))
                act();
        });
        const std::string file = Write(
            "f.json", "{\"format\": \"halvik-cli configuration\", \"version\": 1, \"blocks\": {" +
                          blocks + "}}");
        Expect(std::string("--timeout ") + timeoutMs + " import " + file + " --yes", status, out,
               err);
        actor.join();
    };
    std::string pid = "16256"; // 1.0 in every gain
    for (int i = 1; i < 18; ++i)
        pid += i % 2 ? ", 0" : ", 16256";
    m_sim.Driver().SetRegisters(0x00BA, std::vector<uint16_t>(18, 0));
    importActing("\"pid\": {\"start\": 186, \"registers\": [" + pid + "]}", "3000", 0x00BA,
                 [&] {
                     m_sim.Driver().SetRegisters(0x00BA, {0x4000, 0x0000});
                 },
                 4, {}, {"verification found 1 difference", "holding_kp"});
    // A driver that takes its new address at once: it answers the write at
    // the old one and everything after at the new one.
    importActing("\"comm-b\": {\"start\": 156, \"registers\": [5, " +
                     std::to_string(m_sim.Driver().GetRegister(0x009D)) + "]}",
                 "1000", 0x009C, [&] { m_sim.Driver().SetSlave(5); }, 0, {"now answers at slave 5"},
                 {});
    EXPECT_EQ(m_sim.Driver().GetRegister(0x009C), 5);
}

} // namespace

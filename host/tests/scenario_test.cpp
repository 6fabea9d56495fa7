#include "script/scenario.h"
#include "script/script_parse.h"

#include <gtest/gtest.h>

#include <cctype>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <sstream>

#include <unistd.h>

#include "fake_module.h"
#include "base/text.h"

namespace fs = std::filesystem;

namespace {

// A component that answers "_events" and sends RU on "destid".
FakeBehaviour simpleComponent() {
    FakeBehaviour b;
    b.onEvent = [](HostEndpoint& host, void* data, int type) -> char* {
        static char answer[] = "notify=*";
        if (type != 3 || !data) return nullptr;
        std::string text = static_cast<const char*>(data);
        if (text == "_events") return answer;
        if (text == "destid") FakeModule::command(host, "RU 5");
        return nullptr;
    };
    return b;
}

// Runs scripts against a fake module: the one --module names, or (without
// `byOption`) one that a "module fake" statement loads.
struct RunHarness {
    explicit RunHarness(FakeBehaviour behaviour = simpleComponent(), bool byOption = true)
        : transcript(out, false), runner(transcript, modules, byOption ? RunOptions{"fake"} : RunOptions{}) {
        modules.add(byOption ? "fake" : "./fake", std::unique_ptr<Module>(new FakeModule(behaviour)));
    }
    std::ostringstream out;
    Transcript transcript;
    ModuleCache modules;
    ScenarioRunner runner;
};

TEST(ScenarioRunner, FailedExpectationGivesFileLineExpectedAndGot) {
    RunHarness h;
    EXPECT_FALSE(h.runner.runScript("x.vsc", ".",
                                    "create\nsend _events\nexpect answer \"notify=*\"\nsend destid\n"
                                    "expect sent \"RU 4\"\nexpect sent nothing\nexpect answer \"x\"\n"));
    const std::string t = h.out.str();
    EXPECT_NE(t.find("FAIL x.vsc:5: expected sent \"RU 4\", got \"RU 5\""), std::string::npos) << t;
    EXPECT_EQ(t.find("x.vsc:6"), std::string::npos) << "the commands were taken by the check before\n" << t;
    EXPECT_NE(t.find("FAIL x.vsc:7: expected answer \"x\", got none"), std::string::npos) << t;
    EXPECT_EQ(t.find("x.vsc:3"), std::string::npos) << t;
    EXPECT_NE(t.find("-- x.vsc: FAILED (2 failures)"), std::string::npos) << t;
}

TEST(ScenarioRunner, EachScriptStartsFresh) {
    RunHarness h;
    EXPECT_TRUE(h.runner.runScript("a.vsc", ".", "create\nsend destid\ndevice 5 size 8\n")) << h.out.str();
    EXPECT_NE(h.out.str().find("** end of script: the host deletes the component"), std::string::npos);
    EXPECT_TRUE(h.runner.runScript("b.vsc", ".", "create\nexpect sent nothing\n"))
        << "commands leaked from the previous script\n" << h.out.str();
    EXPECT_FALSE(h.runner.runScript("c.vsc", ".", "route 5 1 1\n"));
    EXPECT_NE(h.out.str().find("ERROR c.vsc:1: the router has no device 5"), std::string::npos)
        << "the router leaked from an earlier script\n" << h.out.str();
}

TEST(ScenarioRunner, ScriptErrorsStopBeforeAnythingRuns) {
    RunHarness h;
    EXPECT_FALSE(h.runner.runScript("bad.vsc", ".", "say first\nroute 5\nsay never\n"));
    const std::string t = h.out.str();
    EXPECT_NE(t.find("ERROR bad.vsc:2: expected \"route DEVICE DESTINATION SOURCE\""), std::string::npos) << t;
    EXPECT_EQ(t.find("first"), std::string::npos) << t;
    EXPECT_NE(t.find("-- bad.vsc: FAILED (1 error)"), std::string::npos) << t;
}

TEST(ScenarioRunner, RuntimeErrorStopsTheScriptAtItsLine) {
    RunHarness h;
    EXPECT_FALSE(h.runner.runScript("r.vsc", ".", "device 5 size 8\nroute 5 9 1\nsay never\n"));
    const std::string t = h.out.str();
    EXPECT_NE(t.find("ERROR r.vsc:2: device 5 has destinations 1..8, not 9"), std::string::npos) << t;
    EXPECT_EQ(t.find("never"), std::string::npos) << t;
}

TEST(ScenarioRunner, SimulatedRouterLimitsAreErrorsGivingTheRange) {
    const struct {
        const char* statement;  // after "site temp" and "device 5 size 8"
        const char* error;      // at line 3; null when the script passes
    } cases[] = {
        {"resize 5 4096", nullptr},
        {"resize 5 4097", "expected a size from 0 to 4096 for a simulated router, got \"4097\""},
        {"device 6 size 2147483647", "expected a size from 0 to 4096 for a simulated router"},
        {"route 5 8 4096", nullptr},
        {"route 5 8 4097", "device 5 has sources 1..4096, not 4097"},
        {"route 5 8 0", "device 5 has sources 1..4096, not 0"},
        {"route 5 8 -2147483648", "device 5 has sources 1..4096, not -2147483648"},
        {"source 5 4096 LAST", nullptr},
        {"source 5 4097 X", "device 5 has sources 1..4096, not 4097"},
        {"rename 5 -1 X", "device 5 has sources 1..4096, not -1"},
    };
    for (const auto& c : cases) {
        RunHarness h;
        const bool passed = h.runner.runScript("l.vsc", ".", "site temp\ndevice 5 size 8\n" + std::string(c.statement) + "\n");
        EXPECT_EQ(passed, c.error == nullptr) << "input: " << c.statement << "\n" << h.out.str();
        if (c.error) {
            EXPECT_NE(h.out.str().find("ERROR l.vsc:3: " + std::string(c.error)), std::string::npos)
                << "input: " << c.statement << "\n" << h.out.str();
        }
    }
}

TEST(ScenarioRunner, MissingModuleIsAnErrorAtTheStatement) {
    RunHarness h;
    EXPECT_FALSE(h.runner.runScript("m.vsc", ".", "say hi\nmodule does-not-exist.so\n"));
    EXPECT_NE(h.out.str().find("ERROR m.vsc:2: cannot load module"), std::string::npos) << h.out.str();
    std::ostringstream out;
    Transcript transcript(out, false);
    ModuleCache modules;
    ScenarioRunner noModule(transcript, modules, RunOptions{});
    EXPECT_FALSE(noModule.runScript("c.vsc", ".", "create\n"));
    EXPECT_NE(out.str().find("ERROR c.vsc:1: no module: give --module or a \"module\" statement"),
              std::string::npos)
        << out.str();
}

// A fake whose component shows a panel file that does not exist.
FakeBehaviour showsMissingPanel() {
    FakeBehaviour b;
    b.onCreate = [](HostEndpoint& host) { FakeModule::command(host, "PS '1' 'nowhere/mimic.vesk_ui'"); };
    return b;
}

TEST(ScenarioRunner, MissingPanelFileIsAnErrorUnlessMeant) {
    std::ostringstream out;
    Transcript transcript(out, false);
    ModuleCache modules;
    modules.add("fake", std::unique_ptr<Module>(new FakeModule(showsMissingPanel())));
    ScenarioRunner runner(transcript, modules, RunOptions{"fake"});
    EXPECT_FALSE(runner.runScript("p.vsc", ".", "say x\ncreate\nsay never\n"));
    EXPECT_NE(out.str().find("ERROR p.vsc:2: no panel file \"nowhere/mimic.vesk_ui\" in the panel folder"),
              std::string::npos)
        << out.str();
    EXPECT_EQ(out.str().find("never"), std::string::npos) << out.str();
    EXPECT_TRUE(runner.runScript("q.vsc", ".", "create \"\" nopanel\nexpect panel 1 closed\n")) << out.str();
}

// A fake whose component shows panel file "bad.vesk_ui".
FakeBehaviour showsBadPanel() {
    FakeBehaviour b;
    b.onCreate = [](HostEndpoint& host) { FakeModule::command(host, "PS '1' 'bad.vesk_ui'"); };
    return b;
}

TEST(ScenarioRunner, MalformedPanelFileFailsTheScriptNamingFileAndLine) {
    const struct {
        const char* content;
        const char* error;
    } cases[] = {
        {"panel 1\ncontrol LevelMimic text\nhello\n", "ERROR bad.vesk_ui:3: expected"},
        {"# first\r\ncontrol LevelMimic text\r\n", "ERROR bad.vesk_ui:2: expected"},
        {"panel 1\ncontrol A text\ncontrol A text\n", "ERROR bad.vesk_ui:3: control \"A\" defined twice"},
    };
    const fs::path folder = fs::temp_directory_path() / ("vesk-bad-panel-" + std::to_string(::getpid()));
    fs::create_directories(folder);
    for (const auto& c : cases) {
        std::ofstream((folder / "bad.vesk_ui").string(), std::ios::binary | std::ios::trunc) << c.content;
        RunHarness h(showsBadPanel(), false);
        EXPECT_FALSE(h.runner.runScript("p.vsc", ".",
                                        "module fake\npanels " + folder.string() + "\ncreate\nexpect panel 1 closed\n"))
            << "input: " << quoteText(c.content) << "\n" << h.out.str();
        EXPECT_NE(h.out.str().find(c.error), std::string::npos) << "input: " << quoteText(c.content) << "\n" << h.out.str();
        EXPECT_NE(h.out.str().find("-- p.vsc: FAILED (1 error)"), std::string::npos) << h.out.str();
    }
    std::error_code ignored;
    fs::remove_all(folder, ignored);
}

// With the module from --module, a "panels" statement before "create" still
// decides where panel files are.
TEST(ScenarioRunner, PanelsBeforeCreateDecideWhereThePanelFileIs) {
    const fs::path folder = fs::temp_directory_path() / ("vesk-panels-first-" + std::to_string(::getpid()));
    fs::create_directories(folder);
    std::ofstream((folder / "shown.vesk_ui").string()) << "panel 1\ncontrol LevelMimic text\ntext = FROM-PANELS\n";
    FakeBehaviour b;
    b.onCreate = [](HostEndpoint& host) { FakeModule::command(host, "PS '1' 'shown.vesk_ui'"); };
    RunHarness h(b, true);
    EXPECT_TRUE(h.runner.runScript("p.vsc", ".",
                                   "panels " + folder.string() + "\ncreate\nexpect control LevelMimic text FROM-PANELS\n"))
        << h.out.str();
    std::error_code ignored;
    fs::remove_all(folder, ignored);
}

TEST(ScenarioRunner, MissingSiteFolderIsAnError) {
    RunHarness h;
    EXPECT_FALSE(h.runner.runScript("s.vsc", ".", "site no/such/folder\n"));
    EXPECT_NE(h.out.str().find("ERROR s.vsc:1: site folder not found: \"no/such/folder\""), std::string::npos)
        << h.out.str();
}

TEST(ScenarioRunner, WritingToAFixedSiteIsAnError) {
    RunHarness h;
    EXPECT_FALSE(h.runner.runScript("w.vsc", ".", "site .\nconfig 5 size 8\n"));
    EXPECT_NE(h.out.str().find("ERROR w.vsc:2: the site is not writable"), std::string::npos) << h.out.str();
}

TEST(ScenarioRunner, EventsNeedAComponent) {
    for (const char* line : {"send x", "delete", "timer 1", "control A b", "report 5 1 1 x", "event 7 1"}) {
        RunHarness h;
        EXPECT_FALSE(h.runner.runScript("e.vsc", ".", line)) << "input: " << line;
        EXPECT_NE(h.out.str().find("ERROR e.vsc:1: no component"), std::string::npos) << "input: " << line;
    }
}

// What a component finds of its site when it reads it: the two variables and
// the device files, as its text event "look" sees them.
struct SiteSeen {
    std::string root;
    std::string system;
    std::vector<std::optional<std::string>> dev5;  // one per look; null: no file
    std::vector<std::optional<std::string>> dev7;
};

std::optional<std::string> fileText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return std::nullopt;
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

FakeBehaviour looksAtTheSite(SiteSeen& seen) {
    FakeBehaviour b;
    b.onEvent = [&seen](HostEndpoint&, void* data, int type) -> char* {
        if (type != 3 || !data || std::string(static_cast<const char*>(data)) != "look") return nullptr;
        const char* root = getenv("QX_ROOT");
        const char* system = getenv("QX_SYSTEM");
        seen.root = root ? root : "";
        seen.system = system ? system : "";
        const std::string folder = seen.root + "/" + seen.system + "/config/system/";
        seen.dev5.push_back(fileText(folder + "dev_005.ini"));
        seen.dev7.push_back(fileText(folder + "dev_007.ini"));
        return nullptr;
    };
    return b;
}

TEST(ScenarioRunner, TemporarySiteHoldsTheDeviceFilesWhileTheScriptRuns) {
    SiteSeen seen;
    RunHarness h(looksAtTheSite(seen));
    EXPECT_TRUE(h.runner.runScript("t.vsc", ".",
                                   "site temp system sys\ndevice 5 size 64\nconfig 7 text \"a\\x00b\"\ncreate\n"
                                   "send look\nconfig 7 none\nresize 5 8\nsend look\n"))
        << h.out.str();
    ASSERT_FALSE(seen.root.empty()) << "QX_ROOT was not set while the script ran";
    EXPECT_EQ(seen.system, "sys");
    const std::vector<std::optional<std::string>> dev5 = {std::string("[Database]\nDatabaseSize_1=64\n"),
                                                          std::string("[Database]\nDatabaseSize_1=8\n")};
    const std::vector<std::optional<std::string>> dev7 = {std::string("a\0b", 3), std::nullopt};
    EXPECT_EQ(seen.dev5, dev5);
    EXPECT_EQ(seen.dev7, dev7);
    // Gone with the script: the folder and the variables.
    EXPECT_FALSE(fs::exists(seen.root)) << seen.root;
    EXPECT_EQ(getenv("QX_ROOT"), nullptr);
    EXPECT_EQ(getenv("QX_SYSTEM"), nullptr);
}

TEST(ScenarioRunner, ScriptsWithoutStatementsOrWithOverlongLinesAreErrors) {
    RunHarness h;
    EXPECT_FALSE(h.runner.runScript("empty.vsc", ".", "# nothing\n\n"));
    EXPECT_NE(h.out.str().find("ERROR empty.vsc: no statements"), std::string::npos) << h.out.str();
    const std::string longLine = "say \"" + std::string(kMaxLineBytes, 'x') + "\"\n";
    EXPECT_FALSE(h.runner.runScript("long.vsc", ".", "say a\n" + longLine));
    EXPECT_NE(h.out.str().find("ERROR long.vsc:2: a line of more than 65536 bytes"), std::string::npos);
}

TEST(ScenarioRunner, PromptSaysOkForAnExpectationThatHolds) {
    RunHarness h;
    h.runner.begin("stdin", ".");
    h.runner.runLine("create", 1);
    h.runner.runLine("expect panel 1 closed", 2);
    h.runner.runLine("expect panel 1 open", 3);
    EXPECT_FALSE(h.runner.end());
    const std::string t = h.out.str();
    const size_t ok = t.find("   ok\n");
    EXPECT_NE(ok, std::string::npos) << t;
    EXPECT_EQ(ok, t.rfind("   ok\n")) << "only the expectation that held says ok\n" << t;
    EXPECT_NE(t.find("FAIL stdin:3: expected panel \"1\" open"), std::string::npos) << t;
}

// A component that registers destination 5 of device 5 and starts timer 1 on
// any text.
FakeBehaviour registersOnText() {
    FakeBehaviour b;
    b.onEvent = [](HostEndpoint& host, void*, int type) -> char* {
        if (type == 3) {
            FakeModule::command(host, "RR 5 5 5");
            FakeModule::command(host, "ET 1 10");
        }
        return nullptr;
    };
    return b;
}

TEST(ScenarioRunner, ResetStartsAfreshWithTheSameModule) {
    RunHarness h(registersOnText(), false);
    EXPECT_FALSE(h.runner.runScript("r.vsc", ".",
                                    "module fake\ndevice 5 size 8\ncreate\nsend x\nexpect registered 5 5\nreset\n"
                                    "expect registered 5 5\ncreate\nroute 5 1 1\n"));
    const std::string t = h.out.str();
    EXPECT_NE(t.find("** reset: the host deletes the component"), std::string::npos) << t;
    EXPECT_EQ(t.find("r.vsc:5"), std::string::npos) << t;
    EXPECT_NE(t.find("FAIL r.vsc:7: expected device 5 destination 5 registered"), std::string::npos) << t;
    EXPECT_EQ(t.find("r.vsc:8"), std::string::npos) << "the module stays\n" << t;
    EXPECT_NE(t.find("ERROR r.vsc:9: the router has no device 5"), std::string::npos) << t;
}

TEST(ScenarioRunner, StateShowsTimersRegistrationsRoutesPanelsAndSiteFiles) {
    RunHarness h(registersOnText(), false);
    EXPECT_TRUE(h.runner.runScript("s.vsc", ".",
                                   "module fake\nsite temp system sys\ndevice 5 size 64\nconfig 7 text \"[Database]\"\n"
                                   "source 5 3 \"CAM 3\"\nroute 5 5 3\ncreate \"\" nopanel\nsend x\nwait 3\nstate\n"))
        << h.out.str();
    const std::string t = h.out.str();
    for (const char* line : {"   clock 3\n", "   timer 1 every 10, due at 10\n", "   registered device 5: 5-5\n",
                             "   route device 5 destination 5: source 3 \"CAM 3\"\n", "\" system \"sys\"\n",
                             "   dev_005.ini: DatabaseSize_1 64\n",
                             "   dev_007.ini: DatabaseSize_1 0 (no DatabaseSize_1 in [Database], or an empty value)\n"})
        EXPECT_NE(t.find(line), std::string::npos) << "missing: " << line << "\n" << t;
}

TEST(ScenarioRunner, TemporarySiteTakesOnlyOneFolderNameAsItsSystem) {
    for (const char* system : {"../../escaped", "/tmp/abs", "a/b", "a\\b", "C:", "..", ".", ""}) {
        Site site;
        std::string why;
        EXPECT_FALSE(site.makeTemporary(system, why)) << "system: " << system;
        EXPECT_TRUE(site.root().empty()) << "system: " << system;
        EXPECT_NE(why.find("expected one folder name"), std::string::npos) << "system: " << system << " why: " << why;
    }
}

TEST(ScenarioRunner, DeviceFileNames) {
    EXPECT_EQ(Site::deviceFileName(5), "dev_005.ini");
    EXPECT_EQ(Site::deviceFileName(999), "dev_999.ini");
    EXPECT_EQ(Site::deviceFileName(1000), "dev_1000.ini");
}

}  // namespace

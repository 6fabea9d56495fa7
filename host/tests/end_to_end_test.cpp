// The emulator driving the real Linux module.
#include <gtest/gtest.h>

#include <sstream>

#include "script/scenario.h"

namespace {

// The follow sequence as tests/scenarios/normal_start.vsc checks it in text;
// here it runs with JSON records, and must pass its own expectations.
const char kScript[] =
    "site temp\n"
    "device 5 size 64\n"
    "source 5 3 \"CAM 3\"\n"
    "create\n"
    "expect sent \"PS '1' 'mimic.vesk_ui'\"\n"
    "send driverid=5\n"
    "send destid=12\n"
    "expect sent \"RU 5\" \"RR 5 12 12\" \"RP 5 12 12\" \"ET 1 10000\"\n"
    "wait 10000\n"
    "expect sent \"RP 5 12 12\"\n"
    "route 5 12 3\n"
    "expect sent \"TP 'text=CAM 3' '1' 'LevelMimic'\" \"ET 1\"\n"
    "expect text \"CAM 3\"\n"
    "expect timer 1 stopped\n"
    "show\n"
    "delete\n"
    "expect sent \"RU 5\" AS\n";

TEST(EndToEnd, JsonLinesAreObjectsWithAKind) {
    std::ostringstream out;
    Transcript transcript(out, true);
    ModuleCache modules;
    ScenarioRunner runner(transcript, modules, RunOptions{VESK_HOST_TEST_MODULE});
    EXPECT_TRUE(runner.runScript("e2e.vsc", ".", kScript)) << out.str();
    std::istringstream lines(out.str());
    std::string line;
    int count = 0;
    while (std::getline(lines, line)) {
        ++count;
        EXPECT_EQ(line.rfind("{\"kind\":\"", 0), 0u) << "line: " << line;
        EXPECT_EQ(line.back(), '}') << "line: " << line;
    }
    EXPECT_GT(count, 20);
    EXPECT_NE(out.str().find("{\"kind\":\"command\",\"text\":\"RR 5 12 12\"}"), std::string::npos) << out.str();
    EXPECT_NE(out.str().find("{\"kind\":\"event\",\"type\":1,\"device\":5,\"index\":12,\"info\":3,\"text\":\"CAM 3\"}"),
              std::string::npos)
        << out.str();
}

TEST(EndToEnd, JsonTextsAreUtf8WithInvalidBytesReplaced) {
    std::ostringstream out;
    Transcript transcript(out, true);
    transcript.note("caf\xC3\xA9 \xFF");
    EXPECT_EQ(out.str(), "{\"kind\":\"note\",\"text\":\"caf\xC3\xA9 \xEF\xBF\xBD\"}\n");
}

// Each case is a script; its transcript must hold the note that says why the
// component stayed silent.
TEST(EndToEnd, SilentOutcomesSayWhyInTheComponentsOrder) {
    const std::string pair = "site temp\ndevice 5 size 64\ncreate\nsend driverid=5\nsend destid=12\n";
    const std::string device5 = "site temp\ncreate\nsend driverid=5\n";
    const struct {
        std::string script;
        const char* note;
    } cases[] = {
        {"create\nsend destid=12\n", "** destid 12 refused: no device yet (send driverid first)"},
        {"create\nsend destid=0\n", "** destid 0 refused: a destination is 1 or more"},
        {"create\nsend destid=-1\n", "** destid -1 refused: it equals the current destination -1"},
        {"create\nsend driverid=1000\nsend destid=12\n", "** destid 12 refused: device 1000 is outside 1..999"},
        {"site none\ncreate\nsend driverid=5\nsend destid=12\n",
         "** destid 12 refused: dev_005.ini gives database size 0: QX_ROOT is unset"},
        {device5 + "send destid=12\n", "** destid 12 refused: dev_005.ini gives database size 0: the file is missing"},
        {device5 + "config 5 text \"[Database]\"\nsend destid=12\n",
         "** destid 12 refused: dev_005.ini gives database size 0: no DatabaseSize_1 in [Database]"},
        {device5 + "config 5 text \"[Database]\\nDatabaseSize_1=many\"\nsend destid=12\n",
         "** destid 12 refused: dev_005.ini gives database size 0: DatabaseSize_1 \"many\" has no leading number"},
        {device5 + "config 5 size 64\nsend destid=65\n", "** destid 65 refused: it is above DatabaseSize_1 64 of dev_005.ini"},
        {device5 + "config 5 size 64\nsend destid=abc\n", "** destid \"abc\" (read as 0) refused: a destination is 1"},
        {pair + "send destid=12\n", "** destid 12 refused: it equals the current destination 12"},
        {pair + "send unusedtext=Spare\n", "** unusedtext stored, not shown: a pair is set (device 5 destination 12)"},
        {pair + "send DestID=13\n", "** \"DestID\" is no setting: names are compared exactly (destid)"},
        {pair + "report 5 13 4 x\n", "** report for device 5 destination 13 ignored: the component follows device 5 "
                                      "destination 12"},
        {pair + "report 5 12 4 x\nreport 5 12 4 x\n",
         "** report for device 5 destination 12 ignored: source 4 \"x\" is already shown"},
        {pair + "send driverid=7\n", "** driverid 7: stored as the device; nothing is sent until a destid other than "
                                      "12 sets up the pair"},
        {pair + "send driverid=7\nsend destid=20\n",
         "** the registration of device 5 (12-12) stays: RU 7 does not end it"},
        {pair + "offline 5\nwait 10000\n", "** router device 5 is offline: poll unanswered"},
    };
    for (const auto& c : cases) {
        std::ostringstream out;
        Transcript transcript(out, false);
        ModuleCache modules;
        ScenarioRunner runner(transcript, modules, RunOptions{VESK_HOST_TEST_MODULE});
        runner.runScript("why.vsc", ".", c.script);
        EXPECT_NE(out.str().find(c.note), std::string::npos) << "script:\n" << c.script << "transcript:\n" << out.str();
    }
}

}  // namespace

namespace {

TEST(EndToEnd, ExpectWithinOnTheVirtualClockFailsNamingWhatItSawLast) {
    std::ostringstream out;
    Transcript transcript(out, false);
    ModuleCache modules;
    ScenarioRunner runner(transcript, modules, RunOptions{VESK_HOST_TEST_MODULE});
    EXPECT_FALSE(runner.runScript("within.vsc", ".",
                                  "site temp\ndevice 5 size 16\ncreate\nsend driverid=5\nsend destid=12\n"
                                  "expect text \"CAM 3\" within 25000\n"));
    EXPECT_NE(out.str().find("FAIL within.vsc:6: expected \"LevelMimic\" text \"CAM 3\", got \"\""), std::string::npos)
        << out.str();
    // Every poll due within the time was made, none after it.
    EXPECT_NE(out.str().find("** clock 20000"), std::string::npos) << out.str();
    EXPECT_EQ(out.str().find("** clock 30000"), std::string::npos) << out.str();
}

}  // namespace

// The emulator driving the real Linux module.
#include <gtest/gtest.h>

#include <sstream>

#include "scenario.h"

namespace {

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

TEST(EndToEnd, ParvexFollowsADestination) {
    std::ostringstream out;
    Transcript transcript(out, false);
    ModuleCache modules;
    ScenarioRunner runner(transcript, modules, RunOptions{VESK_HOST_TEST_MODULE});
    EXPECT_TRUE(runner.runScript("e2e.vsc", ".", kScript)) << out.str();
    EXPECT_NE(out.str().find("| | CAM 3 "), std::string::npos) << out.str();
}

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

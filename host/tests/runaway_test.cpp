// Components that would keep the emulator busy for ever: a report chain that
// feeds itself and a timer of interval 1 over the longest wait. Each run ends
// at its limit with a note, and the script goes on.
#include <gtest/gtest.h>

#include <climits>
#include <sstream>
#include <string>

#include "fake_module.h"
#include "script/scenario.h"

namespace {

// How often the fake component was called with each event type.
struct Calls {
    int reports = 0;
    int timers = 0;
};

// On "go": registers destination 1 of device 5, polls it and starts timer 1
// (interval 1) when `timer`; polls again on every report, so each answer
// asks for the next.
FakeBehaviour runsAway(Calls& calls, bool timer) {
    FakeBehaviour b;
    b.onEvent = [&calls, timer](HostEndpoint& host, void* data, int type) -> char* {
        if (type == 1) {
            ++calls.reports;
            FakeModule::command(host, "RP 5 1 1");
        } else if (type == 4) {
            ++calls.timers;
        } else if (type == 3 && data && std::string(static_cast<const char*>(data)) == "go") {
            FakeModule::command(host, timer ? "ET 1 1" : "RP 5 1 1");
        }
        return nullptr;
    };
    return b;
}

struct ScriptRun {
    ScriptRun(FakeBehaviour behaviour, const std::string& script) : transcript(out, false) {
        ModuleCache modules;
        modules.add("fake", std::unique_ptr<Module>(new FakeModule(std::move(behaviour))));
        ScenarioRunner runner(transcript, modules, RunOptions{"fake"});
        passed = runner.runScript("runaway.vsc", ".", script);
    }
    size_t count(const std::string& text) const {
        size_t n = 0;
        const std::string all = out.str();
        for (size_t at = all.find(text); at != std::string::npos; at = all.find(text, at + 1)) ++n;
        return n;
    }
    std::ostringstream out;
    Transcript transcript;
    bool passed = false;
};

TEST(EmulatorRunaway, AReportChainThatFeedsItselfIsCutAfter1000) {
    Calls calls;
    ScriptRun run(runsAway(calls, false), "device 5 size 8\nroute 5 1 1\ncreate\nsend go\nsay after\n");
    EXPECT_TRUE(run.passed);
    EXPECT_EQ(calls.reports, 1000);
    EXPECT_EQ(run.count("more than 1000 in one chain"), 1u);
    EXPECT_EQ(run.count("## after"), 1u) << "the script went on";
}

TEST(EmulatorRunaway, ATimerOverTheLongestWaitStopsAfter100000Events) {
    Calls calls;
    ScriptRun run(runsAway(calls, true),
            "create\nsend go\nwait " + std::to_string(INT_MAX) + "\nsay after\nexpect timer 1 running\n");
    EXPECT_TRUE(run.passed);
    EXPECT_EQ(calls.timers, 100000);
    EXPECT_EQ(run.count("stopped after 100000 timer events"), 1u);
    EXPECT_EQ(run.count("## after"), 1u) << "the script went on";
}

}  // namespace

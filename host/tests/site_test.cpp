// A site of components in one host: the report index, and scripts of named
// components on a fake module (each component registers what "destid=N"
// names and starts timer 1 at the interval "every=N" names).
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <sstream>
#include <string>
#include <vector>

#include "core/report_index.h"
#include "fake_module.h"
#include "script/scenario.h"

namespace {

struct Named : ReportFollower {
    Named(std::string n, uint64_t o) : name(std::move(n)), order(o) {}
    uint64_t followOrder() const override { return order; }
    void follow(const Report&) override {}
    std::string name;
    uint64_t order;
};

// "a,b": who follows, in the index's order.
std::string namesOf(const std::vector<ReportFollower*>& followers) {
    std::string out;
    for (ReportFollower* f : followers) out += (out.empty() ? "" : ",") + static_cast<Named*>(f)->name;
    return out;
}

TEST(ReportIndex, FollowersOfADestinationInCreationOrder) {
    struct Step {
        int follower;  // 0: a (created first), 1: b
        std::vector<Registration> ranges;
    };
    struct Probe {
        int destination;
        const char* expected;
    };
    const struct {
        const char* name;
        std::vector<Step> steps;  // on device 5
        std::vector<Probe> probes;
        size_t boundaries;
    } cases[] = {
        {"one destination", {{0, {{12, 12}}}}, {{11, ""}, {12, "a"}, {13, ""}}, 2},
        {"ranges added may overlap", {{0, {{1, 4}, {3, 6}}}}, {{0, ""}, {5, "a"}, {6, "a"}, {7, ""}}, 2},
        {"created first comes first", {{1, {{1, 10}}}, {0, {{5, 5}}}}, {{1, "b"}, {5, "a,b"}, {6, "b"}}, 4},
        {"a new registration replaces", {{0, {{1, 1}}}, {0, {{2, 2}}}}, {{1, ""}, {2, "a"}}, 2},
        {"leaving leaves no boundary", {{0, {{1, 3}}}, {1, {{2, 9}}}, {0, {}}, {1, {}}}, {{2, ""}}, 0},
        {"one leaves, the other stays", {{0, {{1, 3}}}, {1, {{2, 9}}}, {0, {}}}, {{1, ""}, {3, "b"}, {10, ""}}, 2},
        {"the whole number range", {{0, {{INT_MIN, INT_MAX}}}}, {{INT_MIN, "a"}, {INT_MAX, "a"}}, 2},
        {"an empty range follows nothing", {{0, {{4, 3}}}}, {{3, ""}, {4, ""}}, 0},
    };
    for (const auto& c : cases) {
        Named a("a", 1), b("b", 2);
        Named* who[] = {&a, &b};
        ReportIndex index;
        for (const Step& step : c.steps) index.set(5, *who[step.follower], step.ranges);
        for (const Probe& p : c.probes)
            EXPECT_EQ(namesOf(index.followers(5, p.destination)), p.expected) << c.name << ", destination " << p.destination;
        EXPECT_EQ(namesOf(index.followers(6, c.probes[0].destination)), "") << c.name << ": another device";
        EXPECT_EQ(index.boundaries(5), c.boundaries) << c.name;
    }
}

// "destid=N": RU 5, RR 5 N N; "every=N": ET 1 N.
FakeBehaviour follower() {
    FakeBehaviour b;
    b.onEvent = [](HostEndpoint& host, void* data, int type) -> char* {
        if (type != 3 || !data) return nullptr;
        const std::string text = static_cast<const char*>(data);
        const std::string value = text.substr(text.find('=') + 1);
        if (text.rfind("destid=", 0) == 0) {
            FakeModule::command(host, "RU 5");
            FakeModule::command(host, "RR 5 " + value + " " + value);
        }
        if (text.rfind("every=", 0) == 0) FakeModule::command(host, "ET 1 " + value);
        return nullptr;
    };
    return b;
}

struct Site {
    explicit Site(bool json = false) : transcript(out, json), runner(transcript, modules, RunOptions{"fake"}) {
        modules.add("fake", std::unique_ptr<Module>(new FakeModule(follower())));
    }
    // Runs `script`; the transcript's lines that hold `part`, in order.
    std::vector<std::string> run(const std::string& script, const std::string& part, bool passes = true) {
        EXPECT_EQ(runner.runScript("s.vsc", ".", "site temp\ndevice 5 size 8\n" + script), passes) << out.str();
        std::vector<std::string> lines;
        std::istringstream in(out.str());
        for (std::string line; std::getline(in, line);)
            if (line.find(part) != std::string::npos) lines.push_back(line);
        return lines;
    }
    std::ostringstream out;
    Transcript transcript;
    ModuleCache modules;
    ScenarioRunner runner;
};

using Lines = std::vector<std::string>;

TEST(Site, AReportGoesToEachFollowerInCreationOrderEachInItsOwnCall) {
    Site s;
    const Lines got = s.run("create b\nsend destid=3\ncreate a\nsend destid=3\ncreate c\nsend destid=4\n"
                            "use a\nsend destid=3\nroute 5 3 7\n",
                            "<- event 1");
    EXPECT_EQ(got, (Lines{"[b] <- event 1 device 5 index 3 info 7 \"SRC 7\"",
                              "[a] <- event 1 device 5 index 3 info 7 \"SRC 7\""}))
        << s.out.str();
}

TEST(Site, EachComponentHasItsOwnTimers) {
    Site s;
    s.run("create a\nsend every=100\ncreate b\nsend every=250\nwait 500\nuse a\ndelete\nuse b\n"
          "expect timer 1 running\nwait 500\n",
          "");
    const std::string t = s.out.str();
    auto count = [&t](const std::string& what) {
        size_t n = 0;
        for (size_t at = t.find(what); at != std::string::npos; at = t.find(what, at + 1)) ++n;
        return n;
    };
    EXPECT_EQ(count("[a] <- event 4 timer 1"), 5u) << t;
    EXPECT_EQ(count("[b] <- event 4 timer 1"), 4u) << t;
    EXPECT_EQ(count("[a] ** clock 500\n"), 1u) << t;
    EXPECT_EQ(count("[b] ** clock 1000\n"), 1u) << t;
    // Due at once: the earlier created first.
    EXPECT_LT(t.find("[a] ** clock 500\n"), t.find("[b] ** clock 500\n")) << t;
}

TEST(Site, TheComponentsLeftAreDeletedNewestFirst) {
    Site s;
    const Lines deletes = s.run("create a\ncreate b\ncreate c\nuse b\ndelete\ncreate b\n", "<- delete");
    EXPECT_EQ(deletes, (Lines{"[b] <- delete", "[b] <- delete", "[c] <- delete", "[a] <- delete"})) << s.out.str();
}

TEST(Site, NamedRecordsCarryTheComponent) {
    const struct {
        const char* script;
        const char* record;
    } cases[] = {
        {"create a\n", "{\"kind\":\"create\",\"component\":\"a\",\"path\":\"\"}"},
        {"create a\nsend destid=2\n", "{\"kind\":\"command\",\"component\":\"a\",\"text\":\"RR 5 2 2\"}"},
        {"create a\nsend x\n", "{\"kind\":\"event\",\"component\":\"a\",\"type\":3,\"text\":\"x\"}"},
        {"create a\n", "{\"kind\":\"note\",\"component\":\"a\",\"text\":\"end of script: the host deletes the component\"}"},
        {"create a\n", "{\"kind\":\"statement\",\"line\":3,\"text\":\"create a\"}"},
        {"create\n", "{\"kind\":\"create\",\"path\":\"\"}"},
        {"create\nsend destid=2\n", "{\"kind\":\"command\",\"text\":\"RR 5 2 2\"}"},
    };
    for (const auto& c : cases) {
        Site s(true);
        const Lines records = s.run(c.script, "{");
        EXPECT_NE(std::find(records.begin(), records.end(), c.record), records.end())
            << "input: " << c.script << "\n" << s.out.str();
    }
}

TEST(Site, StateListsEveryLiveComponent) {
    Site text;
    text.run("create a\nsend destid=2\ncreate b\nsend every=10\nstate\n", "");
    EXPECT_NE(text.out.str().find("   component a\n      no timer running\n      registered device 5: 2-2\n"
                                  "      no panel open\n   component b\n      timer 1 every 10, due at 10\n"),
              std::string::npos)
        << text.out.str();
    Site json(true);
    const Lines states = json.run("create a\ncreate b\nuse a\nstate\n", "{\"kind\":\"state\"");
    ASSERT_EQ(states.size(), 1u) << json.out.str();
    EXPECT_NE(states[0].find("\"component\":\"a\",\"components\":[{\"name\":\"a\""), std::string::npos) << states[0];
    EXPECT_NE(states[0].find("{\"name\":\"b\""), std::string::npos) << states[0];
}

TEST(Site, StatementsThatCannotBe) {
    const struct {
        const char* script;
        const char* error;
    } cases[] = {
        {"create\ncreate a\n", "the unnamed component is live: \"delete\" it before creating named ones"},
        {"create a\ncreate\n", "named components are live: a bare \"create\" is for a single component"},
        {"create a\ncreate a\n", "component a is live already; \"delete\" it first"},
        {"create a\nuse b\n", "no component b: \"create b\" makes it"},
        {"use \"a\"\n", "expected a component name (a letter, then letters, digits, _ or -), got \"a\""},
        {"create a module\n", "expected \"create [PATH [nopanel]]\" or \"create NAME [module PATH] [nopanel]\""},
        {"create a b\n", "expected \"create [PATH [nopanel]]\" or \"create NAME [module PATH] [nopanel]\""},
        {"create a module nowhere.so\n", "cannot load module"},
    };
    for (const auto& c : cases) {
        Site s;
        s.run(c.script, "", false);
        EXPECT_NE(s.out.str().find(c.error), std::string::npos) << "input: " << c.script << "\n" << s.out.str();
    }
}

}  // namespace

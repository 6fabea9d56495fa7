#include "emulator_harness.h"

namespace {

using namespace emulator_test;

TEST(EmulatorReplies, ReplyHandedBackOnceIsNoViolation) {
    Harness h(sendsOnText({"TG '1' 'LevelMimic' 'text'", "XI '1' 'alm_'"}));
    ASSERT_TRUE(h.emulator.create(""));
    h.emulator.sendText(std::string("go"));
    EXPECT_EQ(h.emulator.violations(), 0) << h.text();
    EXPECT_NE(h.text().find("-> back  \"text=idle\""), std::string::npos) << h.text();
    EXPECT_NE(h.text().find("-> back  \"alm_1,alm_2\""), std::string::npos) << h.text();
}

TEST(EmulatorReplies, ReplyNeverHandedBackIsReported) {
    Harness h(sendsOnText({"TG '1' 'LevelMimic' 'text'"}, 0));
    ASSERT_TRUE(h.emulator.create(""));
    h.emulator.sendText(std::string("go"));
    EXPECT_EQ(h.emulator.violations(), 1) << h.text();
    EXPECT_NE(h.text().find("!! the reply to \"TG '1' 'LevelMimic' 'text'\" was never handed back"),
              std::string::npos)
        << h.text();
}

TEST(EmulatorReplies, ReplyHandedBackTwiceIsReported) {
    Harness h(sendsOnText({"XI '1' 'alm_'"}, 2));
    ASSERT_TRUE(h.emulator.create(""));
    h.emulator.sendText(std::string("go"));
    EXPECT_EQ(h.emulator.violations(), 1) << h.text();
    EXPECT_NE(h.text().find("was handed back twice"), std::string::npos) << h.text();
}

TEST(EmulatorReplies, RepliesHandedBackAreFreedBeyondTheNewest) {
    Harness h(sendsOnText({"TG '1' 'LevelMimic' 'text'"}));
    ASSERT_TRUE(h.emulator.create(""));
    for (int i = 0; i < 2000; ++i) h.emulator.sendText(std::string("go"));
    EXPECT_EQ(h.emulator.violations(), 0);
    // The panel's reply (never handed back) and the newest replies that came back.
    EXPECT_LE(h.emulator.heldReplies(), 257u);
}

TEST(EmulatorReplies, PanelReplyHandedBackIsReported) {
    FakeBehaviour b;
    b.onCreate = [](HostEndpoint& host) {
        char* reply = FakeModule::command(host, "PS '1' 'p.vesk_ui'");
        ASSERT_NE(reply, nullptr);
        host.onCall(reply, 5);
    };
    Harness h(b);
    ASSERT_TRUE(h.emulator.create(""));
    EXPECT_EQ(h.emulator.violations(), 1) << h.text();
    EXPECT_NE(h.text().find("it is never handed back"), std::string::npos) << h.text();
}

TEST(EmulatorReplies, ForeignTextHandedBackIsReported) {
    FakeBehaviour b;
    b.onCreate = [](HostEndpoint& host) {
        static char foreign[] = "mine";
        host.onCall(foreign, 5);
    };
    Harness h(b);
    ASSERT_TRUE(h.emulator.create(""));
    EXPECT_EQ(h.emulator.violations(), 1) << h.text();
    EXPECT_NE(h.text().find("a text the host never gave was handed back"), std::string::npos) << h.text();
}

TEST(EmulatorReplies, ReplyKeptPastItsCallIsReportedTwice) {
    // The reply is handed back one event late: missing at the end of the first
    // call, and late in the second.
    char* kept = nullptr;
    FakeBehaviour b;
    b.onCreate = [](HostEndpoint& host) { FakeModule::command(host, "PS '1' 'p.vesk_ui'"); };
    b.onEvent = [&kept](HostEndpoint& host, void*, int type) -> char* {
        if (type != 3) return nullptr;
        if (kept)
            host.onCall(kept, 5);
        else
            kept = FakeModule::command(host, "TG '1' 'LevelMimic' 'all'");
        return nullptr;
    };
    Harness h(b);
    ASSERT_TRUE(h.emulator.create(""));
    h.emulator.sendText(std::string("first"));
    h.emulator.sendText(std::string("second"));
    EXPECT_EQ(h.emulator.violations(), 2) << h.text();
    EXPECT_NE(h.text().find("never handed back"), std::string::npos) << h.text();
    EXPECT_NE(h.text().find("handed back after its call ended"), std::string::npos) << h.text();
}

TEST(EmulatorReplies, AnswerToTextEventIsHandedBackWithType5) {
    static char answer[] = "notify=*";
    std::vector<std::pair<int, std::string>> seen;
    FakeBehaviour b;
    b.onEvent = [&seen](HostEndpoint&, void* data, int type) -> char* {
        seen.emplace_back(type, data ? static_cast<const char*>(data) : "(null)");
        return type == 3 ? answer : nullptr;
    };
    Harness h(b);
    ASSERT_TRUE(h.emulator.create(""));
    std::optional<std::string> got = h.emulator.sendText(std::string("_events"));
    ASSERT_TRUE(got.has_value());
    EXPECT_EQ(*got, "notify=*");
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[1].first, 5);
    EXPECT_EQ(seen[1].second, "notify=*");
}

struct CommandCase {
    const char* text;
    const char* violation;  // null: none expected
};

TEST(EmulatorCommands, ShapesAreCheckedPerCommand) {
    const CommandCase cases[] = {
        {"RR 5 12 12", nullptr},
        {"RR 5 12 12 'ADD'", nullptr},
        {"RU -1", nullptr},
        {"RP 5 1 64", nullptr},
        {"ET 1 10000", nullptr},
        {"ET 1", nullptr},
        {"TP 'text=O'Brien' '1' 'LevelMimic'", nullptr},
        {"TP 'text=' '1' 'LevelMimic'", nullptr},
        {"TG '1' 'LevelMimic' 'text'", nullptr},
        {"XI '1' 'alm_'", nullptr},
        {"PS '1' 'p.vesk_ui' '7'", nullptr},
        {"XX 1", "unknown command"},
        {"R", "unknown command"},
        {"", "unknown command"},
        {"as", "unknown command"},
        {"RR 5 12", "malformed command"},
        {"RR 5 x 12", "malformed command"},
        {"RR 5 13 12", "malformed command"},
        {"RR 5 12 12 ADD", "malformed command"},
        {"RR 5 12 12 'ADD' 'ADD'", "malformed command"},
        {"RR 5 12 12 'add'", "malformed command"},
        {"RR  5 12 12", "malformed command"},
        {"RR 5 2147483648 12", "malformed command"},
        {"RP 5 12", "malformed command"},
        {"RU", "malformed command"},
        {"RU 5 ", "malformed command"},
        {"RU 5 6", "malformed command"},
        {"RU '5'", "malformed command"},
        {"ET", "malformed command"},
        {"ET 1 0", "malformed command"},
        {"ET 1 -5", "malformed command"},
        {"TP 'text' '1' 'LevelMimic'", "malformed command"},
        {"TP 'text=a' '1'", "malformed command"},
        {"TP 'text=a' '1' 'LevelMimic", "malformed command"},
        {"TP text=a 1 LevelMimic", "malformed command"},
        {"TG '1' 'LevelMimic'", "malformed command"},
        {"XI '1'", "malformed command"},
        {"PS '1'", "malformed command"},
        {"PS 1 p.vesk_ui", "malformed command"},
    };
    for (const CommandCase& c : cases) {
        Harness h(sendsOnText({c.text}));
        ASSERT_TRUE(h.emulator.create(""));
        h.emulator.sendText(std::string("go"));
        if (c.violation) {
            EXPECT_EQ(h.emulator.violations(), 1) << "input: " << quoteText(c.text) << "\n" << h.text();
            EXPECT_NE(h.text().find(std::string("!! ") + c.violation), std::string::npos)
                << "input: " << quoteText(c.text) << "\n"
                << h.text();
        } else {
            EXPECT_EQ(h.emulator.violations(), 0) << "input: " << quoteText(c.text) << "\n" << h.text();
        }
    }
}

TEST(EmulatorCommands, OnlyTheNewestCommandsAreKept) {
    const size_t kept = Emulator::kKeptCommands;
    std::vector<std::string> timers;
    for (size_t i = 1; i <= kept + 5; ++i) timers.push_back("ET 7 " + std::to_string(i));
    Harness h(sendsOnText(timers));
    ASSERT_TRUE(h.emulator.create(""));  // "PS", the first command
    h.emulator.sendText(std::string("go"));
    EXPECT_EQ(h.emulator.droppedCommands(), 6u);
    std::vector<std::string> got = h.emulator.takeCommands();
    ASSERT_EQ(got.size(), kept);
    EXPECT_EQ(got.front(), "ET 7 6");
    EXPECT_EQ(got.back(), "ET 7 " + std::to_string(kept + 5));
    EXPECT_EQ(h.emulator.droppedCommands(), 0u);
    const std::string note = "only the newest " + std::to_string(kept) + " commands are kept";
    const std::string text = h.text();
    EXPECT_NE(text.find(note), std::string::npos) << text.substr(0, 300);
    EXPECT_EQ(text.find(note), text.rfind(note)) << "the note given more than once";
}

TEST(EmulatorClosing, DeleteWithoutClosingCommandIsReported) {
    FakeBehaviour b;
    b.onDelete = [](HostEndpoint& host) { FakeModule::command(host, "RU 5"); };
    Harness h(b);
    ASSERT_TRUE(h.emulator.create(""));
    h.emulator.destroy();
    EXPECT_EQ(h.emulator.violations(), 1) << h.text();
    EXPECT_NE(h.text().find("deleted without sending AS"), std::string::npos) << h.text();
}

TEST(EmulatorClosing, ViolationNamesTheStatementThatLedToIt) {
    FakeBehaviour b;
    b.onDelete = [](HostEndpoint&) {};
    Harness h(b);
    ASSERT_TRUE(h.emulator.create(""));
    h.transcript.at("sub/v.vsc", 7);
    h.emulator.destroy();
    EXPECT_NE(h.text().find("!! sub/v.vsc:7: the component was deleted without sending AS"), std::string::npos)
        << h.text();
}

TEST(EmulatorClosing, CommandAfterClosingCommandIsReported) {
    FakeBehaviour b;
    b.onDelete = [](HostEndpoint& host) {
        FakeModule::command(host, "AS");
        FakeModule::command(host, "RU 5");
    };
    Harness h(b);
    ASSERT_TRUE(h.emulator.create(""));
    h.emulator.destroy();
    EXPECT_EQ(h.emulator.violations(), 1) << h.text();
    EXPECT_NE(h.text().find("!! command after AS"), std::string::npos) << h.text();
}

TEST(EmulatorClosing, ClosingCommandOutsideDeleteIsReported) {
    Harness h(sendsOnText({"AS"}));
    ASSERT_TRUE(h.emulator.create(""));
    h.emulator.sendText(std::string("go"));
    EXPECT_EQ(h.emulator.violations(), 1) << h.text();
    EXPECT_NE(h.text().find("AS sent outside the delete"), std::string::npos) << h.text();
}

TEST(EmulatorClosing, OrderlyDeleteIsNoViolation) {
    FakeBehaviour b;
    b.onDelete = [](HostEndpoint& host) {
        FakeModule::command(host, "RU 5");
        FakeModule::command(host, "AS");
    };
    Harness h(b);
    ASSERT_TRUE(h.emulator.create(""));
    h.emulator.destroy();
    EXPECT_EQ(h.emulator.violations(), 0) << h.text();
    EXPECT_FALSE(h.emulator.live());
}

TEST(EmulatorCalls, OtherCallTypesAreReported) {
    for (int type : {1, 2, 3, 4, 6, 7, -1}) {
        FakeBehaviour b;
        b.onCreate = [type](HostEndpoint& host) { host.onCall(nullptr, type); };
        Harness h(b);
        ASSERT_TRUE(h.emulator.create(""));
        EXPECT_EQ(h.emulator.violations(), 1) << "input: type " << type << "\n" << h.text();
        EXPECT_NE(h.text().find("call to the host with type " + std::to_string(type)), std::string::npos)
            << "input: type " << type;
    }
}

TEST(EmulatorCalls, NullCommandTextIsReported) {
    FakeBehaviour b;
    b.onCreate = [](HostEndpoint& host) { host.onCall(nullptr, 0); };
    Harness h(b);
    ASSERT_TRUE(h.emulator.create(""));
    EXPECT_EQ(h.emulator.violations(), 1) << h.text();
}

TEST(EmulatorCalls, CallOutsideAnyHostCallIsReported) {
    Harness h(FakeBehaviour{});
    ASSERT_TRUE(h.emulator.create(""));
    std::string text = "RU 5";
    h.emulator.onCall(&text[0], 0);
    EXPECT_EQ(h.emulator.violations(), 1) << h.text();
}

// The component polls from inside a text event: the answer must wait until
// that call has returned.
TEST(EmulatorQueue, PollAnswerIsDeliveredAfterTheCallReturns) {
    std::vector<int> depthAtReport;
    FakeModule* module = nullptr;
    FakeBehaviour b;
    b.onEvent = [&depthAtReport, &module](HostEndpoint& host, void* data, int type) -> char* {
        if (type == 3) {
            FakeModule::command(host, "RP 5 12 12");
            FakeModule::command(host, "RR 5 12 12");
        }
        if (type == 1) {
            const RevertiveRecord* r = static_cast<const RevertiveRecord*>(data);
            EXPECT_EQ(r->device, 5);
            EXPECT_EQ(r->index, 12);
            EXPECT_EQ(r->info, 3);
            EXPECT_STREQ(r->text, "CAM 3");
            depthAtReport.push_back(module->depth);
        }
        return nullptr;
    };
    Harness h(b);
    module = &h.module;
    h.emulator.backends().simulate(5, 16);
    simulatedRename(h.site, 5, 3, "CAM 3");
    simulatedRoute(h.site, 5, 12, 3);
    ASSERT_TRUE(h.emulator.create(""));
    h.emulator.sendText(std::string("destid=12"));
    ASSERT_EQ(depthAtReport.size(), 1u) << h.text();
    EXPECT_EQ(depthAtReport[0], 1) << h.text();
    EXPECT_EQ(h.module.maxDepth, 1);
    const std::string t = h.text();
    EXPECT_TRUE(inOrder(t, "   answer none", "<- event 1 device 5 index 12 info 3 \"CAM 3\""));
}

TEST(EmulatorQueue, PollDuringCreationIsAnsweredAfterTheExportReturns) {
    int reports = 0;
    FakeBehaviour b;
    b.onCreate = [](HostEndpoint& host) { FakeModule::command(host, "RP 5 1 2"); };
    b.onEvent = [&reports](HostEndpoint&, void*, int type) -> char* {
        if (type == 1) ++reports;
        return nullptr;
    };
    Harness h(b);
    h.emulator.backends().simulate(5, 4);
    simulatedRoute(h.site, 5, 1, 7);
    simulatedRoute(h.site, 5, 2, 8);
    simulatedRoute(h.site, 5, 3, 9);
    ASSERT_TRUE(h.emulator.create(""));
    EXPECT_EQ(reports, 2) << h.text();
}

TEST(EmulatorQueue, OfflineDeviceLeavesPollUnanswered) {
    int reports = 0;
    FakeBehaviour b;
    b.onEvent = [&reports](HostEndpoint& host, void*, int type) -> char* {
        if (type == 3) FakeModule::command(host, "RP 5 12 12");
        if (type == 1) ++reports;
        return nullptr;
    };
    Harness h(b);
    h.emulator.backends().simulate(5, 16);
    simulatedRoute(h.site, 5, 12, 3);
    h.emulator.backends().simulated(5)->setOnline(false);
    ASSERT_TRUE(h.emulator.create(""));
    h.emulator.sendText(std::string("poll"));
    EXPECT_EQ(reports, 0);
    EXPECT_NE(h.text().find("** router device 5 is offline: poll unanswered"), std::string::npos) << h.text();
    h.emulator.backends().simulated(5)->setOnline(true);
    h.emulator.sendText(std::string("poll"));
    EXPECT_EQ(reports, 1) << h.text();
}

TEST(EmulatorTimers, EventsFireInTimeOrderWithTheirNumbers) {
    std::vector<std::pair<int64_t, int>> fired;
    Emulator* emulator = nullptr;
    FakeBehaviour b;
    b.onEvent = [&fired, &emulator](HostEndpoint& host, void* data, int type) -> char* {
        if (type == 3) {
            FakeModule::command(host, "ET 1 10000");
            FakeModule::command(host, "ET 2 2500");
        }
        if (type == 4) fired.emplace_back(emulator->clock().now(), static_cast<int>(reinterpret_cast<intptr_t>(data)));
        return nullptr;
    };
    Harness h(b);
    emulator = &h.emulator;
    ASSERT_TRUE(h.emulator.create(""));
    h.emulator.sendText(std::string("start"));
    h.site.advance(9999);
    h.site.advance(1);
    const std::vector<std::pair<int64_t, int>> expected = {{2500, 2}, {5000, 2}, {7500, 2}, {10000, 1}, {10000, 2}};
    EXPECT_EQ(fired, expected) << h.text();
    EXPECT_EQ(h.emulator.clock().now(), 10000);
}

TEST(EmulatorTimers, StoppedTimerFiresNoMore) {
    int events = 0;
    FakeBehaviour b;
    b.onEvent = [&events](HostEndpoint& host, void*, int type) -> char* {
        if (type == 3) FakeModule::command(host, "ET 1 100");
        if (type == 4) {
            ++events;
            FakeModule::command(host, "ET 1");
        }
        return nullptr;
    };
    Harness h(b);
    ASSERT_TRUE(h.emulator.create(""));
    h.emulator.sendText(std::string("start"));
    h.site.advance(1000);
    EXPECT_EQ(events, 1) << h.text();
    EXPECT_FALSE(h.emulator.clock().running(1));
}

TEST(EmulatorTimers, TimersAndRegistrationsEndWithTheComponent) {
    Harness h(sendsOnText({"ET 1 10000", "RR 5 12 12"}));
    ASSERT_TRUE(h.emulator.create(""));
    h.emulator.sendText(std::string("start"));
    ASSERT_TRUE(h.emulator.clock().running(1));
    ASSERT_TRUE(h.emulator.registrations().covers(5, 12));
    h.emulator.destroy();
    EXPECT_FALSE(h.emulator.clock().running(1));
    EXPECT_FALSE(h.emulator.registrations().covers(5, 12));
    EXPECT_NE(h.text().find("** registration of device 5 (12-12) ended with the component"), std::string::npos)
        << h.text();
}

}  // namespace

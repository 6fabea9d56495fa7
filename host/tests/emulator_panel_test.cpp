// The panel commands (TG, XI, TP, PS) and control events, through the
// emulator driven alone.
#include "emulator_harness.h"

namespace {

using namespace emulator_test;

struct ReplyCase {
    const char* command;
    const char* reply;  // null: a null reply
};

TEST(EmulatorPanel, ReplyTexts) {
    const ReplyCase cases[] = {
        {"TG '1' 'LevelMimic' 'text'", "text=idle"},
        {"TG '1' 'LevelMimic' 'all'", "text=idle,statesheet="},
        {"TG '1' 'LevelMimic' 'Text'", nullptr},
        {"TG '1' 'Nothing' 'text'", nullptr},
        {"TG '2' 'LevelMimic' 'text'", nullptr},
        {"XI '1' 'alm_'", "alm_1,alm_2"},
        {"XI '1' ''", "LevelMimic,alm_1,alm_2"},
        {"XI '1' 'x'", nullptr},
        {"XI '2' 'alm_'", nullptr},
    };
    for (const ReplyCase& c : cases) {
        std::optional<std::string> got;
        bool called = false;
        FakeBehaviour b;
        b.onCreate = [](HostEndpoint& host) { FakeModule::command(host, "PS '1' 'p.vesk_ui'"); };
        b.onEvent = [&](HostEndpoint& host, void*, int type) -> char* {
            if (type != 3) return nullptr;
            called = true;
            char* reply = FakeModule::command(host, c.command);
            if (reply) {
                got = std::string(reply);
                host.onCall(reply, 5);
            }
            return nullptr;
        };
        Harness h(b);
        ASSERT_TRUE(h.emulator.create(""));
        h.emulator.sendText(std::string("go"));
        ASSERT_TRUE(called);
        if (c.reply) {
            EXPECT_EQ(got, std::optional<std::string>(c.reply)) << "input: " << quoteText(c.command);
        } else {
            EXPECT_EQ(got, std::nullopt) << "input: " << quoteText(c.command);
        }
        EXPECT_EQ(h.emulator.violations(), 0) << "input: " << quoteText(c.command) << "\n" << h.text();
    }
}

TEST(EmulatorPanel, PutSetsTheControlParameter) {
    Harness h(sendsOnText({"TP 'text=CAM 3' '1' 'LevelMimic'", "TP 'colour=red' '1' 'alm_2'",
                           "TP 'statesheet=a' 'b' '1' 'LevelMimic'"}));
    ASSERT_TRUE(h.emulator.create(""));
    h.emulator.sendText(std::string("go"));
    const Panel* p = h.emulator.panel("1");
    ASSERT_NE(p, nullptr);
    ASSERT_NE(p->control("LevelMimic")->param("text"), nullptr);
    EXPECT_EQ(*p->control("LevelMimic")->param("text"), "CAM 3");
    ASSERT_NE(p->control("alm_2")->param("colour"), nullptr);
    EXPECT_EQ(*p->control("alm_2")->param("colour"), "red");
    ASSERT_NE(p->control("LevelMimic")->param("statesheet"), nullptr);
    EXPECT_EQ(*p->control("LevelMimic")->param("statesheet"), "a' 'b") << "texts are never escaped";
    EXPECT_EQ(h.emulator.violations(), 0) << h.text();
}

TEST(EmulatorPanel, MissingPanelFileGivesNullReplyAndNoPanel) {
    char* reply = reinterpret_cast<char*>(1);
    FakeBehaviour b;
    b.onCreate = [&reply](HostEndpoint& host) { reply = FakeModule::command(host, "PS '1' 'nowhere/p.vesk_ui'"); };
    Harness h(b);
    ASSERT_TRUE(h.emulator.create(""));
    EXPECT_EQ(reply, nullptr);
    EXPECT_EQ(h.emulator.panel("1"), nullptr);
    EXPECT_EQ(h.emulator.violations(), 0);
    EXPECT_NE(h.text().find("=> none"), std::string::npos) << h.text();
}

TEST(EmulatorPanel, PutToClosedPanelIsANoteNotAViolation) {
    Harness h(sendsOnText({"TP 'text=x' '9' 'LevelMimic'"}));
    ASSERT_TRUE(h.emulator.create(""));
    h.emulator.sendText(std::string("go"));
    EXPECT_EQ(h.emulator.violations(), 0);
    EXPECT_NE(h.text().find("** panel \"9\" is not open: nothing set"), std::string::npos) << h.text();
}

TEST(EmulatorControl, ControlEventRecordIsSplitLikeTheComponentSplits) {
    std::string id;
    std::string command;
    std::string value;
    std::vector<std::string> subs;
    bool hasValue = false;
    FakeBehaviour b;
    b.onEvent = [&](HostEndpoint&, void* data, int type) -> char* {
        if (type != 2) return nullptr;
        const ButtonRecord* r = static_cast<const ButtonRecord*>(data);
        const HostCommandRecord* p = reinterpret_cast<const HostCommandRecord*>(r->command);
        id = r->id;
        command = p->command;
        value = p->value;
        hasValue = p->hasValue;
        for (int i = 0; i < p->count; ++i) subs.push_back(p->subs[i]);
        return nullptr;
    };
    Harness h(b);
    ASSERT_TRUE(h.emulator.create(""));
    h.emulator.sendControl("ActionAll", "alarm.a.b=c.d=e");
    EXPECT_EQ(id, "ActionAll");
    EXPECT_EQ(command, "alarm");
    EXPECT_EQ(subs, (std::vector<std::string>{"a", "b"}));
    EXPECT_EQ(value, "c.d=e");
    EXPECT_TRUE(hasValue);
}

}  // namespace

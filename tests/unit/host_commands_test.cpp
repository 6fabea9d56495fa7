// Tests for the text commands a component sends to its host, the replies it
// reads, the hand-back of TG and XI replies, and debug output.

#include "vesk_script_helper.h"

#include <gtest/gtest.h>
#include <limits.h>
#include <string.h>

#include <functional>
#include <initializer_list>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "test_support.h"
#include "vesk_platform.h"

namespace {

// The tests' component, with the protected textPutChars opened to them.
class Component : public QuietComponent {
public:
    using QuietComponent::QuietComponent;
    using vesk_script_helper::textPutChars;
};

// A host that answers every command with one fixed reply held in its own
// storage, and scribbles over the reply when it is handed back, so that a
// component reading the reply after handing it back sees the damage.
class ScribblingHost : public vesk_client_callback {
public:
    explicit ScribblingHost(const std::string& reply) : reply_(new char[reply.size() + 1]), size_(reply.size()) {
        memcpy(reply_.get(), reply.c_str(), reply.size() + 1);
    }
    char* callback(void* data, int type) override {
        if (type == VESK_EVENT_RELEASE) {
            if (data == reply_.get()) {
                ++handBacks;
                memset(reply_.get(), '#', size_);
            } else {
                ++stray;
            }
            return nullptr;
        }
        commands.push_back(static_cast<const char*>(data));
        return reply_.get();
    }
    std::vector<std::string> commands;
    int handBacks = 0;
    int stray = 0;

private:
    std::unique_ptr<char[]> reply_;
    size_t size_;
};

bool HandedBackAnything(const RecordingHost& host) {
    for (const std::string& call : host.calls)
        if (call.compare(0, 5, "back:") == 0) return true;
    return false;
}

// "input: name 'value' name 'value' ..." for failure messages.
std::string Inputs(std::initializer_list<std::pair<const char*, const char*>> fields) {
    std::string out = "input:";
    for (const auto& field : fields) out += std::string(" ") + field.first + " " + Printable(field.second);
    return out;
}

// Runs `send` on a fresh component (panel folder `path`) over a recording host
// and checks that it sent `expected` alone.
void ExpectSent(const char* path, const std::function<void(Component&)>& send, const std::string& expected,
                const std::string& input) {
    RecordingHost host;
    Component component(&host, path);
    send(component);
    EXPECT_EQ(host.commands, std::vector<std::string>{expected}) << input;
}

// Every reply handed out came back once.
void ExpectRepliesSettled(const RecordingHost& host, const std::string& input) {
    EXPECT_EQ(host.outstandingReplies(), 0) << input;
    EXPECT_EQ(host.strayHandBacks, 0) << input;
}

// ---- panelShow ----

TEST(PanelShow, BuildsCommandFromPathFileAndExtra) {
    struct Case {
        const char* path;
        const char* panel;
        const char* file;
        const char* extra;
        const char* expected;
    };
    const Case cases[] = {
        {"panels/x", "1", "mimic.vesk_ui", "", "PS '1' 'panels/x/mimic.vesk_ui'"},
        {"", "1", "mimic.vesk_ui", "", "PS '1' 'mimic.vesk_ui'"},
        {"", "1", "mimic.vesk_ui", "7", "PS '1' 'mimic.vesk_ui' '7'"},
        {"panels/x/", "1", "mimic.vesk_ui", "", "PS '1' 'panels/x//mimic.vesk_ui'"},
        {"C:\\panels\\x", "1", "mimic.vesk_ui", "", "PS '1' 'C:\\panels\\x/mimic.vesk_ui'"},
        {"panels/x", "2", "a b.vesk_ui", "x y", "PS '2' 'panels/x/a b.vesk_ui' 'x y'"},
        {"it's", "1", "f", "'", "PS '1' 'it's/f' '''"},
        {"p", "", "", "", "PS '' 'p/'"},
    };
    for (const Case& c : cases) {
        ExpectSent(c.path, [&](Component& component) { component.panelShow(V(c.panel), V(c.file), V(c.extra)); },
                   c.expected, Inputs({{"path", c.path}, {"panel", c.panel}, {"file", c.file}, {"extra", c.extra}}));
    }
}

TEST(PanelShow, ResultTellsWhetherHostReplied) {
    struct Case {
        std::optional<std::string> reply;
        bool result;
    };
    const Case cases[] = {{std::string("1"), true}, {std::string(""), true}, {std::string("0"), true},
                          {std::nullopt, false}};
    for (const Case& c : cases) {
        RecordingHost host;
        host.replyTo("PS", c.reply);
        Component component(&host, "panels/x");
        const std::string input = "input: reply " + (c.reply ? Printable(*c.reply) : std::string("null"));
        EXPECT_EQ(component.panelShow(V("1"), V("mimic.vesk_ui"), V("")), c.result) << input;
        EXPECT_EQ(host.commands.size(), 1u) << input;
        EXPECT_FALSE(HandedBackAnything(host)) << input << ": PS reply handed back";
        EXPECT_EQ(host.strayHandBacks, 0) << input;
    }
}

// `send` gets a text of `fill` too long for inline room; with every allocation
// refused it must fail and call the host not at all.
void ExpectUnbuildableNotSent(const char* panelFolder, char fill,
                              const std::function<bool(Component&, const vesk_string&)>& send) {
    RecordingHost host;
    Component component(&host, panelFolder);
    vesk_string longText(std::string(vesk_string::kInlineCapacity + 10, fill).c_str());
    bool result;
    {
        AllocGate gate(1);
        result = send(component, longText);
    }
    EXPECT_FALSE(result);
    EXPECT_TRUE(host.calls.empty()) << Joined(host.calls);
}

TEST(PanelShow, UnbuildableCommandIsNotSent) {
    ExpectUnbuildableNotSent("panels/x", 'f', [](Component& component, const vesk_string& file) {
        return component.panelShow(V("1"), file, V(""));
    });
}

// ---- textPut ----

TEST(TextPut, BuildsCommand) {
    struct Case {
        const char* param;
        const char* value;
        const char* panel;
        const char* control;
        const char* expected;
    };
    const Case cases[] = {
        {"text", "Cam 1", "1", "LevelMimic", "TP 'text=Cam 1' '1' 'LevelMimic'"},
        {"text", "", "1", "LevelMimic", "TP 'text=' '1' 'LevelMimic'"},
        {"alarm", "ack", "1", "alm_1", "TP 'alarm=ack' '1' 'alm_1'"},
        {"text", "it's a=b, c", "1", "LevelMimic", "TP 'text=it's a=b, c' '1' 'LevelMimic'"},
        {"statesheet", "enum_ok", "1", "LevelMimic", "TP 'statesheet=enum_ok' '1' 'LevelMimic'"},
        {"", "", "", "", "TP '=' '' ''"},
        {"text", "%1 %2", "1", "c", "TP 'text=%1 %2' '1' 'c'"},
    };
    for (const Case& c : cases) {
        const std::string inputs =
            Inputs({{"param", c.param}, {"value", c.value}, {"panel", c.panel}, {"control", c.control}});
        const auto send = [&](Component& component) {
            EXPECT_TRUE(component.textPut(V(c.param), V(c.value), V(c.panel), V(c.control))) << inputs;
        };
        ExpectSent("", send, c.expected, inputs);
        const auto sendChars = [&](Component& component) {
            EXPECT_TRUE(component.textPutChars(c.param, c.value, c.panel, c.control)) << "texts: " << inputs;
        };
        ExpectSent("", sendChars, c.expected, "texts: " + inputs);
    }
}

// The everyday calls of components: literals, vesk_string values and results
// of `+` in one call go through the one public textPut.
TEST(TextPut, MixedArgumentsBuildCommand) {
    const vesk_string id("btn_1");
    const vesk_string panel("9");
    const struct {
        const char* name;
        std::function<bool(Component&)> send;
        const char* expected;
    } cases[] = {
        {"literal, sum, literal, literal",
         [&](Component& c) { return c.textPut("button", id + ":" + V("press"), "9", "probe"); },
         "TP 'button=btn_1:press' '9' 'probe'"},
        {"literal, value, value, literal", [&](Component& c) { return c.textPut("text", id, panel, "probe"); },
         "TP 'text=btn_1' '9' 'probe'"},
        {"literals only", [&](Component& c) { return c.textPut("text", "up", "9", "probe"); },
         "TP 'text=up' '9' 'probe'"},
        {"sum, literal, value, sum",
         [&](Component& c) { return c.textPut(V("a") + "b", "", panel, id + "_label"); },
         "TP 'ab=' '9' 'btn_1_label'"},
    };
    for (const auto& c : cases)
        ExpectSent("", [&](Component& component) { EXPECT_TRUE(c.send(component)) << c.name; }, c.expected, c.name);
}

TEST(TextPut, NullTextReadsAsEmpty) {
    ExpectSent("", [](Component& component) { component.textPutChars(nullptr, nullptr, "1", nullptr); },
               "TP '=' '1' ''", "param, value and control null");
}

// Commands up to a text's inline room are built without the heap; longer ones
// take one block and are sent whole.
TEST(TextPut, CommandsAroundTheInlineRoom) {
    const auto show = [](const std::string& value) { return "TP 'text=" + value + "' '1' 'LevelMimic'"; };
    const size_t frame = show("").size();
    for (size_t length : {size_t{vesk_string::kInlineCapacity} - 1, size_t{vesk_string::kInlineCapacity},
                          size_t{vesk_string::kInlineCapacity} + 1, size_t{vesk_string::kInlineCapacity} + 2}) {
        const std::string value(length - frame, 'v');
        RecordingHost host;
        Component component(&host, "");
        int allocations;
        {
            AllocGate counter;
            component.textPutChars("text", value.c_str(), "1", "LevelMimic");
            allocations = counter.calls;
        }
        EXPECT_EQ(host.commands, std::vector<std::string>{show(value)}) << "command length " << length;
        EXPECT_EQ(allocations, length <= vesk_string::kInlineCapacity ? 0 : 1) << "command length " << length;
    }
}

TEST(TextPut, LongValueSentWhole) {
    RecordingHost host;
    Component component(&host, "");
    std::string value(500, 'v');
    component.textPut(V("text"), V(value), V("1"), V("LevelMimic"));
    EXPECT_EQ(host.commands, std::vector<std::string>{"TP 'text=" + value + "' '1' 'LevelMimic'"});
}

TEST(TextPut, ReplyIsIgnored) {
    RecordingHost host;
    host.replyTo("TP", std::string("ok"));
    Component component(&host, "");
    component.textPut(V("text"), V("x"), V("1"), V("LevelMimic"));
    EXPECT_EQ(host.commands.size(), 1u);
    EXPECT_FALSE(HandedBackAnything(host)) << Joined(host.calls);
}

TEST(TextPut, UnbuildableCommandIsNotSent) {
    ExpectUnbuildableNotSent("", 'v', [](Component& component, const vesk_string& value) {
        return component.textPut(V("text"), value, V("1"), V("LevelMimic"));
    });
}

// ---- textGet ----

TEST(TextGet, BuildsCommand) {
    RecordingHost host;
    Component component(&host, "");
    vesk_string result;
    component.textGet(V("value"), V("1"), V("alm_3"), result);
    EXPECT_EQ(host.commands, std::vector<std::string>{"TG '1' 'alm_3' 'value'"});
}

// textGet on a fresh component whose host replies `reply` to TG; `check` gets
// the returned text, the result, the debugger output and the input, then every
// reply must be settled.
using TextGetCheck = std::function<void(const vesk_string& returned, const vesk_string& result,
                                        const std::vector<std::string>& debug, const std::string& input)>;
void RunTextGet(const char* param, const char* reply, const char* panel, const char* control,
                const TextGetCheck& check) {
    RecordingHost host;
    host.replyTo("TG", std::string(reply));
    Component component(&host, "");
    DebugCapture debug;
    vesk_string result("stale");
    vesk_string& returned = component.textGet(V(param), V(panel), V(control), result);
    const std::string input = "input: param " + Printable(param) + " reply " + Printable(reply);
    check(returned, result, debug.texts, input);
    ExpectRepliesSettled(host, input);
}

TEST(TextGet, MatchingReplyGivesValue) {
    struct Case {
        const char* param;
        const char* reply;
        const char* result;
    };
    const Case cases[] = {
        {"value", "value=3", "3"},
        {"value", "value=", ""},
        {"value", "value", ""},
        {"value", "value=a=b", "a=b"},
        {"value", "value= 3 ", " 3 "},
        {"text", "text=CAM 3", "CAM 3"},
        {"all", "a=1,b=2", "a=1,b=2"},
        {"all", "value=3", "value=3"},
        {"all", "no separator", "no separator"},
        {"all", "", ""},
        {"", "=x", "x"},
    };
    for (const Case& c : cases) {
        RunTextGet(c.param, c.reply, "1", "alm_1", [&](const vesk_string& returned, const vesk_string& result,
                                                       const std::vector<std::string>& debug,
                                                       const std::string& input) {
            EXPECT_EQ(&returned, &result) << input;
            EXPECT_EQ(Str(result), c.result) << input;
            EXPECT_TRUE(debug.empty()) << input << " wrote " << Joined(debug);
        });
    }
}

TEST(TextGet, MismatchedReplyGivesEmptyAndOneDiagnostic) {
    struct Case {
        const char* param;
        const char* reply;
        const char* control;
        const char* panel;
        const char* diagnostic;
    };
    const Case cases[] = {
        {"value", "Value=3", "alm_3", "1",
         "textGet: value returned \"Value\" was not the value requested \"value\" (value returned was \"Value=3\" "
         "from control \"alm_3\", on panel \"1\")"},
        {"value", "level=2", "alm_3", "1",
         "textGet: value returned \"level\" was not the value requested \"value\" (value returned was \"level=2\" "
         "from control \"alm_3\", on panel \"1\")"},
        {"value", " value=3", "c", "2",
         "textGet: value returned \" value\" was not the value requested \"value\" (value returned was \" value=3\" "
         "from control \"c\", on panel \"2\")"},
        {"value", "valu=3", "c", "1",
         "textGet: value returned \"valu\" was not the value requested \"value\" (value returned was \"valu=3\" "
         "from control \"c\", on panel \"1\")"},
        {"value", "values=3", "c", "1",
         "textGet: value returned \"values\" was not the value requested \"value\" (value returned was "
         "\"values=3\" from control \"c\", on panel \"1\")"},
        {"value", "", "c", "1",
         "textGet: value returned \"\" was not the value requested \"value\" (value returned was \"\" from "
         "control \"c\", on panel \"1\")"},
        {"value", "%2=3", "c%1", "1",
         "textGet: value returned \"%2\" was not the value requested \"value\" (value returned was \"%2=3\" "
         "from control \"c%1\", on panel \"1\")"},
        {"ALL", "x=1", "c", "1",
         "textGet: value returned \"x\" was not the value requested \"ALL\" (value returned was \"x=1\" from "
         "control \"c\", on panel \"1\")"},
    };
    for (const Case& c : cases) {
        RunTextGet(c.param, c.reply, c.panel, c.control, [&](const vesk_string&, const vesk_string& result,
                                                             const std::vector<std::string>& debug,
                                                             const std::string& input) {
            EXPECT_EQ(Str(result), "") << input;
            EXPECT_EQ(debug, std::vector<std::string>{c.diagnostic}) << input << " wrote " << Joined(debug);
        });
    }
}

TEST(TextGet, NullReplyGivesEmptyAndNothingHandedBack) {
    RecordingHost host;
    host.replyTo("TG", std::nullopt);
    Component component(&host, "");
    DebugCapture debug;
    vesk_string result("stale");
    component.textGet(V("value"), V("1"), V("alm_1"), result);
    EXPECT_EQ(Str(result), "");
    EXPECT_EQ(host.commands.size(), 1u);
    EXPECT_FALSE(HandedBackAnything(host)) << Joined(host.calls);
    EXPECT_TRUE(debug.texts.empty()) << Joined(debug.texts);
}

TEST(TextGet, ReplyHandedBackOnceAfterCopying) {
    for (const char* param : {"value", "all"}) {
        ScribblingHost host("value=12345");
        Component component(&host, "");
        vesk_string result;
        component.textGet(V(param), V("1"), V("alm_1"), result);
        EXPECT_EQ(Str(result), std::string(param) == "all" ? "value=12345" : "12345") << "input: param " << param;
        EXPECT_EQ(host.handBacks, 1) << "input: param " << param;
        EXPECT_EQ(host.stray, 0) << "input: param " << param;
    }
}

TEST(TextGet, LongReplyIsCopiedWhole) {
    std::string value(400, 'z');
    RecordingHost host;
    host.replyTo("TG", "value=" + value);
    Component component(&host, "");
    vesk_string result;
    component.textGet(V("value"), V("1"), V("alm_1"), result);
    EXPECT_EQ(Str(result), value);
    EXPECT_EQ(host.outstandingReplies(), 0);
}

// ---- controlsGet ----

TEST(ControlsGet, ListsReplyItems) {
    struct Case {
        const char* reply;
        std::vector<std::string> items;
    };
    const Case cases[] = {
        {"alm_1,alm_2", {"alm_1", "alm_2"}},
        {"alm_1", {"alm_1"}},
        {"", {}},
        {"a,,b,", {"a", "", "b", ""}},
        {"alm_1,alm_2,alm_3,alm_4,alm_5", {"alm_1", "alm_2", "alm_3", "alm_4", "alm_5"}},
    };
    for (const Case& c : cases) {
        RecordingHost host;
        host.replyTo("XI", std::string(c.reply));
        Component component(&host, "");
        vesk_stringlist list = component.controlsGet(V("1"), V("alm_"));
        std::vector<std::string> items;
        for (vesk_stringlistIterator it = list.begin(); it != list.end(); ++it) items.push_back(Str(*it));
        EXPECT_EQ(items, c.items) << "input: reply " << Printable(c.reply) << " gave " << Joined(items);
        EXPECT_EQ(host.commands, std::vector<std::string>{"XI '1' 'alm_'"}) << "input: reply " << Printable(c.reply);
        ExpectRepliesSettled(host, "input: reply " + Printable(c.reply));
    }
}

TEST(ControlsGet, BuildsCommandFromPanelAndSelector) {
    RecordingHost host;
    Component component(&host, "");
    component.controlsGet(V("2"), V("btn"));
    component.controlsGet(V(""), V(""));
    EXPECT_EQ(host.commands, (std::vector<std::string>{"XI '2' 'btn'", "XI '' ''"}));
}

// Arguments go in unchanged: a marker inside the panel is not filled by the
// selector.
TEST(ControlsGet, MarkerTextInArgumentsIsSentUnchanged) {
    RecordingHost host;
    Component component(&host, "");
    component.controlsGet(V("a%2"), V("s%1"));
    EXPECT_EQ(host.commands, std::vector<std::string>{"XI 'a%2' 's%1'"}) << Joined(host.commands);
}

TEST(ControlsGet, NullReplyGivesEmptyList) {
    RecordingHost host;
    host.replyTo("XI", std::nullopt);
    Component component(&host, "");
    vesk_stringlist list = component.controlsGet(V("1"), V("alm_"));
    EXPECT_EQ(list.count(), 0u);
    EXPECT_EQ(host.commands.size(), 1u);
    EXPECT_FALSE(HandedBackAnything(host)) << Joined(host.calls);
}

TEST(ControlsGet, ReplyHandedBackOnceAfterListIsBuilt) {
    ScribblingHost host("alm_1,alm_2");
    Component component(&host, "");
    vesk_stringlist list = component.controlsGet(V("1"), V("alm_"));
    ASSERT_EQ(list.count(), 2u);
    EXPECT_EQ(Str(list.at(0)), "alm_1");
    EXPECT_EQ(Str(list.at(1)), "alm_2");
    EXPECT_EQ(host.handBacks, 1);
    EXPECT_EQ(host.stray, 0);
}

// ---- Router and timer commands ----

TEST(NumberCommands, FormatEveryValueFully) {
    struct Case {
        std::function<void(Component&)> send;
        const char* expected;
    };
    const Case cases[] = {
        {[](Component& c) { c.routerRegister(12, 40, 40, false); }, "RR 12 40 40"},
        {[](Component& c) { c.routerRegister(12, 40, 40, true); }, "RR 12 40 40 'ADD'"},
        {[](Component& c) { c.routerRegister(5, 12, 12, false); }, "RR 5 12 12"},
        {[](Component& c) { c.routerRegister(0, 0, 0, false); }, "RR 0 0 0"},
        {[](Component& c) { c.routerRegister(-1, -2, -3, false); }, "RR -1 -2 -3"},
        {[](Component& c) { c.routerRegister(INT_MIN, INT_MIN, INT_MIN, true); },
         "RR -2147483648 -2147483648 -2147483648 'ADD'"},
        {[](Component& c) { c.routerRegister(INT_MAX, INT_MAX, INT_MAX, false); },
         "RR 2147483647 2147483647 2147483647"},
        {[](Component& c) { c.routerRegister(999, 1000000000, 7, true); }, "RR 999 1000000000 7 'ADD'"},
        {[](Component& c) { c.routerUnregister(5); }, "RU 5"},
        {[](Component& c) { c.routerUnregister(-1); }, "RU -1"},
        {[](Component& c) { c.routerUnregister(0); }, "RU 0"},
        {[](Component& c) { c.routerUnregister(INT_MIN); }, "RU -2147483648"},
        {[](Component& c) { c.routerPoll(5, 12, 12); }, "RP 5 12 12"},
        {[](Component& c) { c.routerPoll(-7, 0, 10); }, "RP -7 0 10"},
        {[](Component& c) { c.routerPoll(INT_MIN, INT_MIN, INT_MIN); }, "RP -2147483648 -2147483648 -2147483648"},
        {[](Component& c) { c.routerPoll(INT_MAX, INT_MIN, INT_MAX); }, "RP 2147483647 -2147483648 2147483647"},
        {[](Component& c) { c.timerStart(1, 10000); }, "ET 1 10000"},
        {[](Component& c) { c.timerStart(1, 0); }, "ET 1"},
        {[](Component& c) { c.timerStart(0, 5); }, "ET 0 5"},
        {[](Component& c) { c.timerStart(-1, -1); }, "ET -1 -1"},
        {[](Component& c) { c.timerStart(INT_MIN, INT_MIN); }, "ET -2147483648 -2147483648"},
        {[](Component& c) { c.timerStart(INT_MAX, 0); }, "ET 2147483647"},
        {[](Component& c) { c.timerStop(1); }, "ET 1"},
        {[](Component& c) { c.timerStop(-3); }, "ET -3"},
        {[](Component& c) { c.timerStop(INT_MIN); }, "ET -2147483648"},
    };
    for (const Case& c : cases) {
        RecordingHost host;
        Component component(&host, "");
        AllocGate gate;
        c.send(component);
        EXPECT_EQ(host.commands, std::vector<std::string>{c.expected}) << "input: expected " << Printable(c.expected);
        EXPECT_EQ(gate.calls, 0) << "input: expected " << Printable(c.expected) << ": the component allocated";
    }
}

TEST(NumberCommands, TimerStartWithoutIntervalEqualsTimerStop) {
    for (int timer : {1, 0, -1, 42, INT_MIN, INT_MAX}) {
        RecordingHost host;
        Component component(&host, "");
        component.timerStart(timer, 0);
        component.timerStop(timer);
        ASSERT_EQ(host.commands.size(), 2u) << "input: timer " << timer;
        EXPECT_EQ(host.commands[0], host.commands[1]) << "input: timer " << timer;
    }
}

TEST(NumberCommands, RepliesAreIgnored) {
    RecordingHost host;
    for (const char* code : {"RR", "RU", "RP", "ET"}) host.replyTo(code, std::string("reply"));
    Component component(&host, "");
    component.routerRegister(1, 2, 2, true);
    component.routerUnregister(1);
    component.routerPoll(1, 2, 2);
    component.timerStart(1, 10000);
    component.timerStop(1);
    EXPECT_EQ(host.commands.size(), 5u);
    EXPECT_FALSE(HandedBackAnything(host)) << Joined(host.calls);
}

// ---- No host ----

// Every command of a component without a host, in one place: nothing is
// called, each gives its no-host result, and nothing is written to debug.
TEST(NoHost, EveryCommandYieldsItsNoHostResult) {
    Component component(nullptr, "panels/x");
    DebugCapture debug;
    EXPECT_TRUE(component.panelShow(V("1"), V("mimic.vesk_ui"), V("")));
    EXPECT_TRUE(component.textPut(V("text"), V("x"), V("1"), V("LevelMimic")));
    vesk_string result("stale");
    component.textGet(V("value"), V("1"), V("alm_1"), result);
    EXPECT_EQ(Str(result), "");
    EXPECT_EQ(component.controlsGet(V("1"), V("alm_")).count(), 0u);
    component.routerRegister(1, 2, 3, true);
    component.routerUnregister(1);
    component.routerPoll(1, 2, 3);
    component.timerStart(1, 10000);
    component.timerStop(1);
    EXPECT_TRUE(debug.texts.empty()) << Joined(debug.texts);
    component.debug(V("still %1"), V("written"), V(""), V(""), V(""), V(""), V(""), V(""), V(""), V(""));
    EXPECT_EQ(debug.texts, std::vector<std::string>{"still written"});
}

// ---- debug ----

TEST(Debug, FillsNineMarkersInTurn) {
    struct Case {
        const char* format;
        std::vector<const char*> args;
        const char* expected;
    };
    const Case cases[] = {
        {"%1%2%3%4%5%6%7%8%9", {"a", "b", "c", "d", "e", "f", "g", "h", "i"}, "abcdefghi"},
        {"%9 %8 %7 %6 %5 %4 %3 %2 %1", {"1", "2", "3", "4", "5", "6", "7", "8", "9"}, "9 8 7 6 5 4 3 2 1"},
        {"plain text", {"a", "b", "c", "d", "e", "f", "g", "h", "i"}, "plain text"},
        {"[%1] [%2]", {"x", "y", "", "", "", "", "", "", ""}, "[x] [y]"},
        {"%2 only", {"first", "", "", "", "", "", "", "", ""}, "first only"},
        {"", {"", "", "", "", "", "", "", "", ""}, ""},
        {"line\n", {"", "", "", "", "", "", "", "", ""}, "line\n"},
        // Inserted text is never taken for a marker.
        {"<%1|%2|%3>", {"%2", "%3", "%1", "", "", "", "", "", ""}, "<%2|%3|%1>"},
        {"%1 %1", {"%1", "", "", "", "", "", "", "", ""}, "%1 %1"},
    };
    for (const Case& c : cases) {
        RecordingHost host;
        Component component(&host, "");
        DebugCapture debug;
        const auto& a = c.args;
        component.debug(V(c.format), V(a[0]), V(a[1]), V(a[2]), V(a[3]), V(a[4]), V(a[5]), V(a[6]), V(a[7]),
                        V(a[8]));
        EXPECT_EQ(debug.texts, std::vector<std::string>{c.expected})
            << "input: format " << Printable(c.format) << " wrote " << Joined(debug.texts);
        EXPECT_TRUE(host.calls.empty()) << "input: format " << Printable(c.format);
    }
}

}  // namespace

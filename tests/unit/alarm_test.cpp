// Tests for alarm acknowledgement across panel "1" and for the diversion of
// alarm control events while a component handles alarms.

#include "vesk_script_helper.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "test_support.h"

namespace {

// A component that may switch alarm handling on and records the control
// events that reach its buttonCallback.
class AlarmComponent : public vesk_script_helper {
public:
    AlarmComponent(vesk_client_callback* hostLink, bool alarms) : vesk_script_helper(hostLink, "") {
        alarmHandling = alarms;
    }
    void buttonCallback(ButtonNotify& event) override {
        buttons.push_back(Str(event.id()) + "/" + Str(event.command()) + "/" + Str(event.value()));
    }
    int revertiveCallback(RevertiveNotify&) override { return 0; }
    vesk_string parentCallback(ParentNotify&) override { return vesk_string(); }
    void timerCallback(int) override {}

    std::vector<std::string> buttons;
};

// Commands expected for one control.
std::vector<std::string> AlarmPut(const std::string& state, const std::string& control) {
    return {"TP 'alarm=" + state + "' '1' '" + control + "'"};
}

void Append(std::vector<std::string>& to, const std::vector<std::string>& more) {
    to.insert(to.end(), more.begin(), more.end());
}

// A host listing `controls` for "alm_", each control's "value" reply set.
void ListControls(RecordingHost& host, const std::string& list,
                  const std::vector<std::pair<std::string, std::optional<std::string>>>& values) {
    host.replyTo("XI '1' 'alm_'", list);
    for (const auto& [control, reply] : values) host.replyTo("TG '1' '" + control + "' 'value'", reply);
}

// ---- alarmAcknowledge ----

TEST(AlarmAcknowledge, AckExampleSetsOnlyControlsThatNeedIt) {
    RecordingHost host;
    ListControls(host, "alm_1,alm_2", {{"alm_1", "value=1"}, {"alm_2", "value=3"}});
    AlarmComponent component(&host, false);
    component.alarmAcknowledge(V("ack"));
    const std::vector<std::string> expected = {
        "cmd:XI '1' 'alm_'",
        "back:alm_1,alm_2",
        "cmd:TP 'alarm=ack' '1' 'alm_1'",
        "cmd:TG '1' 'alm_1' 'value'",
        "back:value=1",
        "cmd:TP 'value=4' '1' 'alm_1'",
        "cmd:TP 'alarm=ack' '1' 'alm_2'",
        "cmd:TG '1' 'alm_2' 'value'",
        "back:value=3",
    };
    EXPECT_EQ(host.calls, expected) << "got " << Joined(host.calls);
    EXPECT_EQ(host.outstandingReplies(), 0);
    EXPECT_EQ(host.strayHandBacks, 0);
}

TEST(AlarmAcknowledge, DigitStateSetsEveryControl) {
    RecordingHost host;
    ListControls(host, "alm_1,alm_2", {{"alm_1", "value=1"}, {"alm_2", "value=3"}});
    AlarmComponent component(&host, false);
    component.alarmAcknowledge(V("2"));
    const std::vector<std::string> expected = {
        "XI '1' 'alm_'",
        "TP 'alarm=2' '1' 'alm_1'", "TP 'value=2' '1' 'alm_1'",
        "TP 'alarm=2' '1' 'alm_2'", "TP 'value=2' '1' 'alm_2'",
    };
    EXPECT_EQ(host.commands, expected) << "got " << Joined(host.commands);
    EXPECT_EQ(host.outstandingReplies(), 0);
}

TEST(AlarmAcknowledge, AckAndFourTakeTheSamePath) {
    for (const char* state : {"ack", "4"}) {
        RecordingHost host;
        ListControls(host, "alm_1,alm_2", {{"alm_1", "value=6"}, {"alm_2", "value=0"}});
        AlarmComponent component(&host, false);
        component.alarmAcknowledge(V(state));
        std::vector<std::string> expected = {"XI '1' 'alm_'"};
        Append(expected, AlarmPut(state, "alm_1"));
        Append(expected, {"TG '1' 'alm_1' 'value'", "TP 'value=4' '1' 'alm_1'"});
        Append(expected, AlarmPut(state, "alm_2"));
        Append(expected, {"TG '1' 'alm_2' 'value'"});
        EXPECT_EQ(host.commands, expected) << "input: state " << Printable(state) << " got " << Joined(host.commands);
        EXPECT_EQ(host.outstandingReplies(), 0) << "input: state " << Printable(state);
    }
}

TEST(AlarmAcknowledge, AcknowledgedValueDependsOnCurrentValue) {
    struct Case {
        std::optional<std::string> reply;
        bool setsFour;
    };
    const Case cases[] = {
        {"value=0", false},  {"value=2", false},   {"value=3", false},
        {"value=4", false},  {"value=5", false},   {"value=1", true},
        {"value=-1", true},  {"value=6", true},    {"value=100", true},
        {"value=-2147483648", true},               {"value=99999999999", true},
        {"value=+1", true},  {"value=06", true},   {"value= 3", false},
        {"value=3x", false}, {"value=", false},    {"value=abc", false},
        {"level=1", false},  {"Value=1", false},   {std::nullopt, false},
    };
    for (const Case& c : cases) {
        RecordingHost host;
        ListControls(host, "alm_7", {{"alm_7", c.reply}});
        AlarmComponent component(&host, false);
        DebugCapture debug;
        component.alarmAcknowledge(V("ack"));
        std::vector<std::string> expected = {"XI '1' 'alm_'", "TP 'alarm=ack' '1' 'alm_7'", "TG '1' 'alm_7' 'value'"};
        if (c.setsFour) expected.push_back("TP 'value=4' '1' 'alm_7'");
        const std::string input = "input: value reply " + (c.reply ? Printable(*c.reply) : std::string("null"));
        EXPECT_EQ(host.commands, expected) << input << " got " << Joined(host.commands);
        EXPECT_EQ(host.outstandingReplies(), 0) << input;
        EXPECT_EQ(host.strayHandBacks, 0) << input;
    }
}

TEST(AlarmAcknowledge, MismatchedValueReplyLeavesControlAlone) {
    RecordingHost host;
    ListControls(host, "alm_3", {{"alm_3", "level=2"}});
    AlarmComponent component(&host, false);
    DebugCapture debug;
    component.alarmAcknowledge(V("ack"));
    const std::vector<std::string> expected = {"XI '1' 'alm_'", "TP 'alarm=ack' '1' 'alm_3'", "TG '1' 'alm_3' 'value'"};
    EXPECT_EQ(host.commands, expected) << "got " << Joined(host.commands);
    EXPECT_EQ(debug.texts, std::vector<std::string>{
                               "textGet: value returned \"level\" was not the value requested \"value\" (value "
                               "returned was \"level=2\" from control \"alm_3\", on panel \"1\")"});
}

TEST(AlarmAcknowledge, CurrentValueDoesNotCarryOver) {
    // alm_1 holds 1 and is set to 4; alm_2 answers nothing, so its value reads
    // empty (0) rather than alm_1's 1.
    RecordingHost host;
    ListControls(host, "alm_1,alm_2", {{"alm_1", "value=1"}, {"alm_2", std::nullopt}});
    AlarmComponent component(&host, false);
    component.alarmAcknowledge(V("ack"));
    const std::vector<std::string> expected = {
        "XI '1' 'alm_'",
        "TP 'alarm=ack' '1' 'alm_1'", "TG '1' 'alm_1' 'value'", "TP 'value=4' '1' 'alm_1'",
        "TP 'alarm=ack' '1' 'alm_2'", "TG '1' 'alm_2' 'value'",
    };
    EXPECT_EQ(host.commands, expected) << "got " << Joined(host.commands);
}

TEST(AlarmAcknowledge, StateCodes) {
    struct Case {
        const char* state;
        std::optional<std::string> valuePut;  // the value sent after the alarm put, if any
    };
    const Case cases[] = {
        {"7", "7"},         {"0", "0"},        {"9", "9"},         {"1", "1"},        {"5", "5"},
        {"x", "0"},         {"-", "0"},        {" ", "0"},         {"reset", std::nullopt},
        {"", std::nullopt}, {"ACK", std::nullopt},                 {"ack ", std::nullopt},
        {"44", std::nullopt},                  {"07", std::nullopt}, {"-1", std::nullopt},
    };
    for (const Case& c : cases) {
        RecordingHost host;
        ListControls(host, "alm_1,alm_2", {{"alm_1", "value=1"}, {"alm_2", "value=1"}});
        AlarmComponent component(&host, false);
        component.alarmAcknowledge(V(c.state));
        std::vector<std::string> expected = {"XI '1' 'alm_'"};
        for (const char* control : {"alm_1", "alm_2"}) {
            Append(expected, AlarmPut(c.state, control));
            if (c.valuePut) expected.push_back("TP 'value=" + *c.valuePut + "' '1' '" + control + "'");
        }
        EXPECT_EQ(host.commands, expected) << "input: state " << Printable(c.state) << " got " << Joined(host.commands);
        EXPECT_EQ(host.outstandingReplies(), 0) << "input: state " << Printable(c.state);
    }
}

TEST(AlarmAcknowledge, NoControlsSendsOnlyTheListRequest) {
    for (std::optional<std::string> reply : {std::optional<std::string>(""), std::optional<std::string>()}) {
        RecordingHost host;
        host.replyTo("XI", reply);
        AlarmComponent component(&host, false);
        component.alarmAcknowledge(V("ack"));
        const std::string input = "input: list reply " + (reply ? Printable(*reply) : std::string("null"));
        EXPECT_EQ(host.commands, std::vector<std::string>{"XI '1' 'alm_'"}) << input;
        EXPECT_EQ(host.outstandingReplies(), 0) << input;
        EXPECT_EQ(host.strayHandBacks, 0) << input;
    }
}

TEST(AlarmAcknowledge, NoHostSendsNothing) {
    AlarmComponent component(nullptr, true);
    DebugCapture debug;
    for (const char* state : {"ack", "4", "2", "reset", ""}) component.alarmAcknowledge(V(state));
    EXPECT_TRUE(debug.texts.empty()) << Joined(debug.texts);
}

// ---- Diversion of control events ----

struct ControlEvent {
    const char* id;
    const char* commandText;
};

// Delivers one control event to a component with alarm handling `alarms`;
// returns the host's commands and the events that reached buttonCallback.
std::pair<std::vector<std::string>, std::vector<std::string>> Deliver(const ControlEvent& event, bool alarms) {
    RecordingHost host;
    ListControls(host, "alm_1", {{"alm_1", "value=1"}});
    AlarmComponent component(&host, alarms);
    ParsedCommand parsed(event.commandText);
    ButtonRecord record{{0, 0, 0}, event.id, &parsed};
    EXPECT_EQ(component.callback(&record, VESK_EVENT_CONTROL), nullptr);
    EXPECT_EQ(host.outstandingReplies(), 0);
    return {host.commands, component.buttons};
}

TEST(AlarmDiversion, ActionAllAlarmAcknowledgesWithEventValue) {
    struct Case {
        ControlEvent event;
        const char* state;
    };
    const Case cases[] = {
        {{"ActionAll", "alarm=ack"}, "ack"},
        {{"ActionAll", "alarm=2"}, "2"},
        {{"ActionAll", "alarm="}, ""},
        {{"ActionAll", "alarm"}, ""},
        {{"ActionAll", "alarm.sub=reset"}, "reset"},
    };
    for (const Case& c : cases) {
        auto [commands, buttons] = Deliver(c.event, true);
        const std::string input = "input: id " + Printable(c.event.id) + " command " + Printable(c.event.commandText);
        EXPECT_TRUE(buttons.empty()) << input << " reached buttonCallback: " << Joined(buttons);
        ASSERT_GE(commands.size(), 2u) << input;
        EXPECT_EQ(commands[0], "XI '1' 'alm_'") << input;
        EXPECT_EQ(commands[1], AlarmPut(c.state, "alm_1")[0]) << input;
    }
}

TEST(AlarmDiversion, AckAllAcknowledgesWithFour) {
    for (const char* commandText : {"alarm=ack", "press=1", "reset", "", "alarm=2"}) {
        auto [commands, buttons] = Deliver({"AckAll", commandText}, true);
        const std::string input = "input: AckAll command " + Printable(commandText);
        EXPECT_TRUE(buttons.empty()) << input << " reached buttonCallback: " << Joined(buttons);
        const std::vector<std::string> expected = {"XI '1' 'alm_'", "TP 'alarm=4' '1' 'alm_1'",
                                                   "TG '1' 'alm_1' 'value'", "TP 'value=4' '1' 'alm_1'"};
        EXPECT_EQ(commands, expected) << input << " got " << Joined(commands);
    }
}

void ExpectReachesButtonCallback(const ControlEvent& event) {
    auto [commands, buttons] = Deliver(event, true);
    ParsedCommand parsed(event.commandText);
    const std::string input = "input: id " + Printable(event.id) + " command " + Printable(event.commandText);
    EXPECT_EQ(buttons, std::vector<std::string>{std::string(event.id) + "/" + parsed.command + "/" + parsed.value})
        << input;
    EXPECT_TRUE(commands.empty()) << input << " sent " << Joined(commands);
}

TEST(AlarmDiversion, ActionAllWithOtherCommandReachesButtonCallback) {
    for (const char* commandText : {"reset=1", "Alarm=ack", "alarms=ack", ""})
        ExpectReachesButtonCallback({"ActionAll", commandText});
}

TEST(AlarmDiversion, OtherControlsReachButtonCallback) {
    const ControlEvent cases[] = {
        {"Btn", "alarm=ack"}, {"actionall", "alarm=ack"}, {"ackall", "x"}, {"", "alarm=ack"}, {"AckAll ", "x"},
    };
    for (const ControlEvent& event : cases) ExpectReachesButtonCallback(event);
}

TEST(AlarmDiversion, AlarmsOffSendsEveryEventToButtonCallback) {
    const ControlEvent cases[] = {{"ActionAll", "alarm=ack"}, {"AckAll", "press=1"}, {"ActionAll", "reset=1"}};
    for (const ControlEvent& event : cases) {
        auto [commands, buttons] = Deliver(event, false);
        const std::string input = "input: id " + Printable(event.id) + " command " + Printable(event.commandText);
        EXPECT_EQ(buttons.size(), 1u) << input;
        EXPECT_TRUE(commands.empty()) << input << " sent " << Joined(commands);
    }
}

}  // namespace

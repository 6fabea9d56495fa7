// Tests for the event dispatcher and the lifecycle of a component built on
// vesk_script_helper, through a small component that records its handler
// calls.

#include "vesk_script_helper.h"

#include <gtest/gtest.h>
#include <limits.h>
#include <stdint.h>
#include <string.h>

#include <string>
#include <vector>

#include "test_support.h"
#include "vesk_platform.h"

namespace {

// Records every handler call as one line of text.
class Recorder : public vesk_script_helper {
public:
    Recorder(vesk_client_callback* hostLink, const char* panelFolder) : vesk_script_helper(hostLink, panelFolder) {}

    void buttonCallback(ButtonNotify& event) override {
        log.push_back("button id=" + Str(event.id()) + " command=" + Str(event.command()) +
                      " value=" + Str(event.value()));
    }
    int revertiveCallback(RevertiveNotify& event) override {
        log.push_back("revertive " + std::to_string(event.device()) + " " + std::to_string(event.index()) + " " +
                      std::to_string(event.info()) + " " + Str(event.text()));
        return 17;
    }
    vesk_string parentCallback(ParentNotify& event) override {
        log.push_back("parent command=" + Str(event.command()) + " value=" + Str(event.value()));
        return answer;
    }
    void valueCallback(uint32_t* cell) override {
        valueCell = cell;
        log.push_back("value " + std::to_string(*cell));
    }
    void timerCallback(int timer) override { log.push_back("timer " + std::to_string(timer)); }
    void recordCallback(void** cell) override {
        recordCell = cell;
        recordData = *cell;
        log.push_back("record");
    }

    void setAlarmHandling(bool on) { alarmHandling = on; }
    bool alarmHandlingOn() const { return alarmHandling; }
    vesk_client_callback* hostLink() const { return host; }
    std::string pathText() const { return Str(path); }

    std::vector<std::string> log;
    vesk_string answer;
    uint32_t* valueCell = nullptr;
    void** recordCell = nullptr;
    void* recordData = nullptr;
};

// Overrides only the four required handlers, keeping the empty defaults.
class Minimal : public vesk_script_helper {
public:
    explicit Minimal(vesk_client_callback* hostLink) : vesk_script_helper(hostLink, "") {}
    void buttonCallback(ButtonNotify&) override { ++calls; }
    int revertiveCallback(RevertiveNotify&) override { return ++calls; }
    vesk_string parentCallback(ParentNotify&) override {
        ++calls;
        return vesk_string();
    }
    void timerCallback(int) override { ++calls; }
    int calls = 0;
};

// Sends one command while it is built and one while it is torn down, as a
// real component does.
class Chatty : public Recorder {
public:
    Chatty(vesk_client_callback* hostLink, const char* panelFolder) : Recorder(hostLink, panelFolder) {
        textPut(vesk_string("text"), vesk_string("up"), vesk_string("1"), vesk_string("LevelMimic"));
    }
    ~Chatty() override { routerUnregister(5); }
};

// ---- Event types ----

TEST(Dispatch, UnknownTypesCallNothing) {
    RecordingHost host;
    Recorder component(&host, "p");
    char text[] = "driverid=12";
    for (int type : {0, 8, -1, 9, 100, INT_MIN, INT_MAX}) {
        for (void* data : {static_cast<void*>(nullptr), static_cast<void*>(text), Word(1)}) {
            EXPECT_EQ(component.callback(data, type), nullptr) << "input: type " << type;
        }
    }
    EXPECT_TRUE(component.log.empty()) << "handlers called: " << Joined(component.log);
    EXPECT_TRUE(host.calls.empty()) << "host called: " << Joined(host.calls);
    EXPECT_STREQ(text, "driverid=12");
}

TEST(Dispatch, TimerPassesDataWordAsSignedNumber) {
    struct Case {
        void* data;
        int timer;
    };
    const Case cases[] = {
        {Word(1), 1},
        {Word(0), 0},
        {Word(10000), 10000},
        {Word(-1), -1},
        {Word(-42), -42},
        {Word(INT_MAX), INT_MAX},
        {Word(INT_MIN), INT_MIN},
        {reinterpret_cast<void*>(static_cast<uintptr_t>(0xFFFFFFFFu)), -1},
        {reinterpret_cast<void*>(static_cast<uintptr_t>(0x80000000u)), INT_MIN},
    };
    for (const Case& c : cases) {
        RecordingHost host;
        Recorder component(&host, "");
        EXPECT_EQ(component.callback(c.data, VESK_EVENT_TIMER), nullptr) << "input: " << c.timer;
        EXPECT_EQ(component.log, std::vector<std::string>{"timer " + std::to_string(c.timer)})
            << "input: data word " << reinterpret_cast<uintptr_t>(c.data);
    }
}

TEST(Dispatch, TextEventPassesParsedCommand) {
    struct Case {
        const char* text;
        std::string line;
    };
    const Case cases[] = {
        {"driverid=12", "parent command=driverid value=12"},
        {"destid=", "parent command=destid value="},
        {"_events", "parent command=_events value="},
        {"a.b.c=d.e", "parent command=a value=d.e"},
        {"", "parent command= value="},
        {nullptr, "parent command= value="},
    };
    for (const Case& c : cases) {
        RecordingHost host;
        Recorder component(&host, "");
        EXPECT_EQ(component.callback(const_cast<char*>(c.text), VESK_EVENT_TEXT), nullptr)
            << "input: " << (c.text ? Printable(c.text) : "null");
        EXPECT_EQ(component.log, std::vector<std::string>{c.line})
            << "input: " << (c.text ? Printable(c.text) : "null");
    }
}

TEST(Dispatch, TextAnswerIsHeapCopyFreedByRelease) {
    for (const std::string& answer : {std::string("123"), std::string("x"), std::string(300, 'a')}) {
        RecordingHost host;
        Recorder component(&host, "");
        component.answer = answer.c_str();
        char text[] = "q";
        char* result;
        std::vector<size_t> sizes;
        {
            AllocGate gate;
            result = component.callback(text, VESK_EVENT_TEXT);
            sizes = gate.sizes;
        }
        ASSERT_NE(result, nullptr) << "input: " << Printable(answer);
        EXPECT_EQ(std::string(result), answer) << "input: " << Printable(answer);
        EXPECT_NE(result, component.answer.c_str()) << "input: " << Printable(answer);
        // The last allocation is the copy: answer length + 1.
        ASSERT_FALSE(sizes.empty()) << "input: " << Printable(answer);
        EXPECT_EQ(sizes.back(), answer.size() + 1) << "input: " << Printable(answer);

        EXPECT_EQ(component.callback(result, VESK_EVENT_RELEASE), nullptr) << "input: " << Printable(answer);
        EXPECT_EQ(component.log.size(), 1u) << "input: " << Printable(answer);
        EXPECT_TRUE(host.calls.empty()) << "input: " << Printable(answer);
    }
}

TEST(Dispatch, TextAnswerSurvivesTheComponentsNextChange) {
    RecordingHost host;
    Recorder component(&host, "");
    component.answer = "first";
    char* result = component.callback(const_cast<char*>("q"), VESK_EVENT_TEXT);
    component.answer = "second";
    ASSERT_NE(result, nullptr);
    EXPECT_STREQ(result, "first");
    component.callback(result, VESK_EVENT_RELEASE);
}

TEST(Dispatch, EmptyTextAnswerGivesNull) {
    RecordingHost host;
    Recorder component(&host, "");
    component.answer = "";
    AllocGate gate;
    EXPECT_EQ(component.callback(const_cast<char*>("destid=12"), VESK_EVENT_TEXT), nullptr);
    // Only the parser's copy of "destid=12"; no empty answer is allocated.
    EXPECT_EQ(gate.sizes, std::vector<size_t>{10});
}

TEST(Dispatch, RefusedAnswerCopyGivesNull) {
    RecordingHost host;
    Recorder component(&host, "");
    component.answer = "123";
    AllocGate gate(2);
    EXPECT_EQ(component.callback(const_cast<char*>("q"), VESK_EVENT_TEXT), nullptr);
    EXPECT_EQ(component.log.size(), 1u);
}

TEST(Dispatch, ReleaseOfNullDoesNothing) {
    RecordingHost host;
    Recorder component(&host, "");
    EXPECT_EQ(component.callback(nullptr, VESK_EVENT_RELEASE), nullptr);
    EXPECT_TRUE(component.log.empty());
    EXPECT_TRUE(host.calls.empty());
}

TEST(Dispatch, RecordEventPassesCellHoldingData) {
    RecordingHost host;
    Recorder component(&host, "");
    int target = 0;
    for (void* data : {static_cast<void*>(&target), static_cast<void*>(nullptr), Word(-1)}) {
        component.recordCell = nullptr;
        component.recordData = Word(12345);
        EXPECT_EQ(component.callback(data, VESK_EVENT_RECORD), nullptr);
        ASSERT_NE(component.recordCell, nullptr) << "input: " << data;
        EXPECT_EQ(component.recordData, data) << "input: " << data;
    }
    EXPECT_EQ(component.log.size(), 3u);
    EXPECT_EQ(target, 0);
}

TEST(Dispatch, ValueEventPassesCellHoldingWord) {
    struct Case {
        void* data;
        uint32_t word;
    };
    const Case cases[] = {
        {Word(0), 0u},
        {Word(7), 7u},
        {reinterpret_cast<void*>(static_cast<uintptr_t>(0x12345678u)), 0x12345678u},
        {reinterpret_cast<void*>(static_cast<uintptr_t>(0xFFFFFFFFu)), 0xFFFFFFFFu},
    };
    for (const Case& c : cases) {
        RecordingHost host;
        Recorder component(&host, "");
        EXPECT_EQ(component.callback(c.data, VESK_EVENT_VALUE), nullptr);
        ASSERT_NE(component.valueCell, nullptr) << "input: " << c.word;
        EXPECT_EQ(component.log, std::vector<std::string>{"value " + std::to_string(c.word)}) << "input: " << c.word;
    }
}

TEST(Dispatch, DefaultRecordAndValueHandlersDoNothing) {
    RecordingHost host;
    Minimal component(&host);
    int target = 5;
    EXPECT_EQ(component.callback(&target, VESK_EVENT_RECORD), nullptr);
    EXPECT_EQ(component.callback(Word(9), VESK_EVENT_VALUE), nullptr);
    EXPECT_EQ(component.calls, 0);
    EXPECT_EQ(target, 5);
    EXPECT_TRUE(host.calls.empty());
}

TEST(Dispatch, RevertiveEventPassesRecordAndIgnoresResult) {
    RecordingHost host;
    Recorder component(&host, "");
    RevertiveRecord record{};
    record.device = 5;
    record.reserved = 99;
    record.index = 12;
    record.info = 3;
    strcpy(record.text, "CAM 3");
    EXPECT_EQ(component.callback(&record, VESK_EVENT_REVERTIVE), nullptr);
    EXPECT_EQ(component.log, std::vector<std::string>{"revertive 5 12 3 CAM 3"});
    EXPECT_TRUE(host.calls.empty());
}

TEST(Dispatch, NullRecordsDoNothing) {
    for (int type : {VESK_EVENT_REVERTIVE, VESK_EVENT_CONTROL}) {
        for (bool alarms : {false, true}) {
            RecordingHost host;
            Recorder component(&host, "");
            component.setAlarmHandling(alarms);
            EXPECT_EQ(component.callback(nullptr, type), nullptr) << "input: type " << type << " alarms " << alarms;
            EXPECT_TRUE(component.log.empty()) << "input: type " << type << " alarms " << alarms;
            EXPECT_TRUE(host.calls.empty()) << "input: type " << type << " alarms " << alarms;
        }
    }
}

// ---- Control events and the alarm flag ----

struct ControlCase {
    const char* id;
    const char* commandText;
};

TEST(Dispatch, ControlEventsReachButtonCallbackWhileAlarmsOff) {
    const ControlCase cases[] = {
        {"ActionAll", "alarm=ack"}, {"AckAll", "press=1"}, {"AckAll", ""}, {"ActionAll", "reset=1"}, {"Btn", "x=y"},
    };
    for (const ControlCase& c : cases) {
        RecordingHost host;
        host.replyTo("XI", std::string("alm_1"));
        Recorder component(&host, "");
        ParsedCommand parsed(c.commandText);
        ButtonRecord record{{0, 0, 0}, c.id, &parsed};
        const std::string input = "input: id " + Printable(c.id) + " command " + Printable(c.commandText);
        EXPECT_EQ(component.callback(&record, VESK_EVENT_CONTROL), nullptr) << input;
        ParsedCommand expected(c.commandText);
        EXPECT_EQ(component.log, std::vector<std::string>{"button id=" + std::string(c.id) + " command=" +
                                                          expected.command + " value=" + expected.value})
            << input;
        EXPECT_TRUE(host.calls.empty()) << input << " host called: " << Joined(host.calls);
    }
}

TEST(Dispatch, AlarmsOnDivertsAlarmEvents) {
    struct Case {
        const char* id;
        const char* commandText;
        const char* alarmPut;
    };
    const Case cases[] = {
        {"ActionAll", "alarm=ack", "TP 'alarm=ack' '1' 'alm_1'"},
        {"ActionAll", "alarm=2", "TP 'alarm=2' '1' 'alm_1'"},
        {"AckAll", "press=1", "TP 'alarm=4' '1' 'alm_1'"},
        {"AckAll", "", "TP 'alarm=4' '1' 'alm_1'"},
    };
    for (const Case& c : cases) {
        RecordingHost host;
        host.replyTo("XI", std::string("alm_1"));
        host.replyTo("TG", std::string("value=3"));
        Recorder component(&host, "");
        component.setAlarmHandling(true);
        ParsedCommand parsed(c.commandText);
        ButtonRecord record{{0, 0, 0}, c.id, &parsed};
        const std::string input = "input: id " + Printable(c.id) + " command " + Printable(c.commandText);
        EXPECT_EQ(component.callback(&record, VESK_EVENT_CONTROL), nullptr) << input;
        EXPECT_TRUE(component.log.empty()) << input << " handlers called: " << Joined(component.log);
        ASSERT_GE(host.commands.size(), 2u) << input;
        EXPECT_EQ(host.commands[0], "XI '1' 'alm_'") << input;
        EXPECT_EQ(host.commands[1], c.alarmPut) << input;
        EXPECT_EQ(host.outstandingReplies(), 0) << input;
    }
}

TEST(Dispatch, AlarmsOnPassesOtherControlsToButtonCallback) {
    RecordingHost host;
    Recorder component(&host, "");
    component.setAlarmHandling(true);
    for (const char* id : {"Btn", "actionall", "AckAll ", "", "ActionAllX"}) {
        component.log.clear();
        ParsedCommand parsed("alarm=ack");
        ButtonRecord record{{0, 0, 0}, id, &parsed};
        EXPECT_EQ(component.callback(&record, VESK_EVENT_CONTROL), nullptr) << "input: " << Printable(id);
        EXPECT_EQ(component.log, std::vector<std::string>{"button id=" + std::string(id) + " command=alarm value=ack"})
            << "input: " << Printable(id);
    }
    EXPECT_TRUE(host.calls.empty()) << Joined(host.calls);
}

// ---- Lifecycle ----

TEST(Lifecycle, AlarmHandlingStartsOff) {
    RecordingHost host;
    Recorder component(&host, "p");
    EXPECT_FALSE(component.alarmHandlingOn());
    Recorder noHost(nullptr, nullptr);
    EXPECT_FALSE(noHost.alarmHandlingOn());
}

TEST(Lifecycle, BaseConstructionSendsNothing) {
    RecordingHost host;
    {
        Recorder component(&host, "panels/x");
        EXPECT_TRUE(host.calls.empty()) << Joined(host.calls);
        EXPECT_EQ(component.hostLink(), &host);
    }
    EXPECT_EQ(host.calls, std::vector<std::string>{"cmd:AS"});
}

TEST(Lifecycle, DerivedCommandsThenClosingCommandLast) {
    RecordingHost host;
    host.replyTo("AS", std::string("bye"));
    vesk_client_callback* component = new Chatty(&host, "panels/x");
    ASSERT_NE(component, nullptr);
    EXPECT_EQ(host.calls, std::vector<std::string>{"cmd:TP 'text=up' '1' 'LevelMimic'"});
    delete component;
    const std::vector<std::string> expected = {"cmd:TP 'text=up' '1' 'LevelMimic'", "cmd:RU 5", "cmd:AS"};
    EXPECT_EQ(host.calls, expected) << "got " << Joined(host.calls);
    // The reply to AS is ignored and never handed back.
    EXPECT_EQ(host.outstandingReplies(), 1);
    EXPECT_EQ(host.strayHandBacks, 0);
}

TEST(Lifecycle, NullHostSendsNothing) {
    vesk_client_callback* component = new Chatty(nullptr, "panels/x");
    ASSERT_NE(component, nullptr);
    EXPECT_EQ(component->callback(Word(1), VESK_EVENT_TIMER), nullptr);
    delete component;
}

TEST(Lifecycle, PathIsCopied) {
    char folder[] = "panels/x";
    RecordingHost host;
    Recorder component(&host, folder);
    memset(folder, 'Z', sizeof folder - 1);
    EXPECT_EQ(component.pathText(), "panels/x");
    component.panelShow(vesk_string("1"), vesk_string("mimic.vesk_ui"), vesk_string(""));
    EXPECT_EQ(host.commands, std::vector<std::string>{"PS '1' 'panels/x/mimic.vesk_ui'"});
}

TEST(Lifecycle, NullPathReadsEmpty) {
    RecordingHost host;
    Recorder component(&host, nullptr);
    EXPECT_EQ(component.pathText(), "");
    component.panelShow(vesk_string("1"), vesk_string("mimic.vesk_ui"), vesk_string(""));
    EXPECT_EQ(host.commands, std::vector<std::string>{"PS '1' 'mimic.vesk_ui'"});
}

TEST(Lifecycle, ComponentsAreIndependent) {
    RecordingHost firstHost;
    RecordingHost secondHost;
    firstHost.replyTo("XI", std::string("alm_1"));
    secondHost.replyTo("XI", std::string("alm_1"));
    Recorder* first = new Recorder(&firstHost, "one");
    Recorder* second = new Recorder(&secondHost, "two");
    ASSERT_NE(first, nullptr);
    ASSERT_NE(second, nullptr);
    first->setAlarmHandling(true);

    EXPECT_EQ(first->hostLink(), &firstHost);
    EXPECT_EQ(second->hostLink(), &secondHost);
    EXPECT_EQ(first->pathText(), "one");
    EXPECT_EQ(second->pathText(), "two");
    EXPECT_TRUE(first->alarmHandlingOn());
    EXPECT_FALSE(second->alarmHandlingOn());

    ParsedCommand parsed("press");
    ButtonRecord record{{0, 0, 0}, "AckAll", &parsed};
    first->callback(&record, VESK_EVENT_CONTROL);
    second->callback(&record, VESK_EVENT_CONTROL);
    EXPECT_TRUE(first->log.empty()) << Joined(first->log);
    EXPECT_EQ(second->log, std::vector<std::string>{"button id=AckAll command=press value="});
    EXPECT_FALSE(firstHost.commands.empty());
    EXPECT_TRUE(secondHost.commands.empty()) << Joined(secondHost.commands);

    delete static_cast<vesk_client_callback*>(second);
    EXPECT_EQ(secondHost.commands, std::vector<std::string>{"AS"});
    EXPECT_NE(firstHost.commands.back(), "AS");
    delete static_cast<vesk_client_callback*>(first);
    EXPECT_EQ(firstHost.commands.back(), "AS");
    EXPECT_EQ(firstHost.outstandingReplies(), 0);
}

TEST(Lifecycle, NoMemoryGivesNullComponent) {
    RecordingHost host;
    Recorder* component;
    {
        AllocGate gate(1);
        component = new Recorder(&host, "p");
    }
    EXPECT_EQ(component, nullptr);
    EXPECT_TRUE(host.calls.empty());
    delete component;
}

}  // namespace

// Heap allocations per host event and per command, counted at the module's
// allocator (vesk_mem_alloc). Router reports, control events, timers and the
// other non-text events must not touch the heap, and neither must building a
// command; a text event may allocate the parser's copy of the text and, when
// it is answered, the copy handed to the host.

#include <gtest/gtest.h>


#include <string>
#include <vector>

#include "Parvex.h"
#include "Parvex_export.h"
#include "parvex_test_driver.h"
#include "test_support.h"
#include "vesk_platform.h"

namespace {

using parvex_test::ShowCommand;

// The longest text a report record can carry.
const std::string kFullRecordText(sizeof(RevertiveRecord{}.text) - 1, 'R');

// A component on `host` following device 5, destination 12 (database size 64),
// with the host's record of the set-up cleared.
vesk_client_callback* PairedComponent(SiteFolder& site, RecordingHost& host) {
    site.writeDeviceSize(5, 64);
    vesk_client_callback* component = load_vesk_client_script(&host, "");
    component->callback(const_cast<char*>("driverid=5"), VESK_EVENT_TEXT);
    component->callback(const_cast<char*>("destid=12"), VESK_EVENT_TEXT);
    host.clear();
    return component;
}

struct ReportCase {
    const char* name;
    RevertiveRecord record;
    std::vector<std::string> commands;
};

TEST(AllocationBudget, RouterReportsAllocateNothing) {
    const ReportCase cases[] = {
        {"another device", MakeRecord(6, 12, 3, "CAM 3"), {}},
        {"another destination", MakeRecord(5, 13, 3, "CAM 3"), {}},
        {"new source", MakeRecord(5, 12, 3, "CAM 3"), {ShowCommand("CAM 3"), "ET 1"}},
        {"new source, 64-character text", MakeRecord(5, 12, 3, std::string(64, 'x')),
         {ShowCommand(std::string(64, 'x')), "ET 1"}},
        {"new source, text filling the record", MakeRecord(5, 12, 3, kFullRecordText),
         {ShowCommand(kFullRecordText), "ET 1"}},
    };
    for (const ReportCase& c : cases) {
        SiteFolder site;
        RecordingHost host;
        vesk_client_callback* component = PairedComponent(site, host);
        RevertiveRecord record = c.record;
        int allocations;
        {
            AllocGate counter;
            component->callback(&record, VESK_EVENT_REVERTIVE);
            allocations = counter.calls;
        }
        EXPECT_EQ(allocations, 0) << "report: " << c.name << ", text " << Printable(c.record.text);
        EXPECT_EQ(host.commands, c.commands) << "report: " << c.name;
        delete component;
    }
}

TEST(AllocationBudget, RepeatedReportOfShownSourceAllocatesNothing) {
    SiteFolder site;
    RecordingHost host;
    vesk_client_callback* component = PairedComponent(site, host);
    RevertiveRecord record = MakeRecord(5, 12, 3, "CAM 3");
    component->callback(&record, VESK_EVENT_REVERTIVE);
    host.clear();
    int allocations;
    {
        AllocGate counter;
        component->callback(&record, VESK_EVENT_REVERTIVE);
        allocations = counter.calls;
    }
    EXPECT_EQ(allocations, 0) << "input: second report 5/12/3 " << Printable(record.text);
    EXPECT_TRUE(host.commands.empty());
    delete component;
}

struct TimerCase {
    const char* name;
    bool paired;
    int timer;
    std::vector<std::string> commands;
};

TEST(AllocationBudget, TimerEventsAllocateNothing) {
    const TimerCase cases[] = {
        {"timer 1 with a pair", true, 1, {"RP 5 12 12"}},
        {"timer 1 without a pair", false, 1, {"ET 1"}},
        {"timer 2", true, 2, {"ET 2"}},
        {"timer -7", true, -7, {"ET -7"}},
    };
    for (const TimerCase& c : cases) {
        SiteFolder site;
        RecordingHost host;
        vesk_client_callback* component =
            c.paired ? PairedComponent(site, host) : load_vesk_client_script(&host, "");
        host.clear();
        int allocations;
        {
            AllocGate counter;
            component->callback(Word(c.timer), VESK_EVENT_TIMER);
            allocations = counter.calls;
        }
        EXPECT_EQ(allocations, 0) << "event: " << c.name;
        EXPECT_EQ(host.commands, c.commands) << "event: " << c.name;
        delete component;
    }
}

TEST(AllocationBudget, ControlValueRecordReleaseAndUnknownEventsAllocateNothing) {
    SiteFolder site;
    RecordingHost host;
    vesk_client_callback* component = PairedComponent(site, host);
    ParsedCommand alarm("alarm=ack");  // built before counting: the host builds these
    ButtonRecord button = {{0, 0, 0}, "ActionAll", &alarm};
    ButtonRecord empty = {{0, 0, 0}, nullptr, nullptr};
    int cell = 42;
    struct Event {
        const char* name;
        void* data;
        int type;
    };
    const Event events[] = {
        {"control event", &button, VESK_EVENT_CONTROL},
        {"control event with null id and command", &empty, VESK_EVENT_CONTROL},
        {"control event with null record", nullptr, VESK_EVENT_CONTROL},
        {"router report with null record", nullptr, VESK_EVENT_REVERTIVE},
        {"release of null", nullptr, VESK_EVENT_RELEASE},
        {"record", &cell, VESK_EVENT_RECORD},
        {"value", Word(7), VESK_EVENT_VALUE},
        {"type 0", &cell, 0},
        {"type 8", &cell, 8},
        {"type -1", &cell, -1},
    };
    for (const Event& e : events) {
        int allocations;
        {
            AllocGate counter;
            EXPECT_EQ(component->callback(e.data, e.type), nullptr) << "event: " << e.name;
            allocations = counter.calls;
        }
        EXPECT_EQ(allocations, 0) << "event: " << e.name;
    }
    EXPECT_TRUE(host.commands.empty()) << "first: " << Printable(host.commands.front());
    delete component;
}

struct TextCase {
    const char* text;  // null: a text event with no text
    bool paired;
    const char* answer;  // null: no answer
    std::vector<std::string> commands;
};

TEST(AllocationBudget, TextEventsAllocateOnlyTheParsedCopyAndTheAnswer) {
    const std::string sheet(60, 's');
    const std::string sheetSetting = "statesheet=" + sheet;
    const TextCase cases[] = {
        {"driverid=7", true, nullptr, {}},
        {"destid=13", true, nullptr, {"RU 5", "RR 5 13 13", "RP 5 13 13", "ET 1 10000"}},
        {"destid=12", true, nullptr, {}},
        {"destid=65", true, nullptr, {}},
        {"statesheet=red", true, nullptr, {"TP 'statesheet=red' '1' 'LevelMimic'"}},
        {sheetSetting.c_str(), true, nullptr, {"TP 'statesheet=" + sheet + "' '1' 'LevelMimic'"}},
        {"unusedtext=Spare", false, nullptr, {ShowCommand("Spare")}},
        {"unusedtext=Spare", true, nullptr, {}},
        {"_events", true, "notify=*", {}},
        {"_commands", true, nullptr, {}},
        {"return=all", true, nullptr, {}},
        {"return=x", true, nullptr, {}},
        {"instance", true, nullptr, {}},
        {"driverid.a.b=5", true, nullptr, {}},
        {"something=else", true, nullptr, {}},
        {"", true, nullptr, {}},
        {nullptr, true, nullptr, {}},
    };
    for (const TextCase& c : cases) {
        SiteFolder site;
        RecordingHost host;
        vesk_client_callback* component = c.paired ? PairedComponent(site, host) : load_vesk_client_script(&host, "");
        host.clear();
        const std::string shown = c.text ? Printable(c.text) : "null";
        int allocations;
        char* answer;
        {
            AllocGate counter;
            answer = component->callback(const_cast<char*>(c.text), VESK_EVENT_TEXT);
            allocations = counter.calls;
        }
        const int copies = (c.text && *c.text ? 1 : 0) + (c.answer ? 1 : 0);
        EXPECT_EQ(allocations, copies) << "input: " << shown;
        if (c.answer) {
            ASSERT_NE(answer, nullptr) << "input: " << shown;
            EXPECT_STREQ(answer, c.answer) << "input: " << shown;
        } else {
            EXPECT_EQ(answer, nullptr) << "input: " << shown;
        }
        int releaseAllocations;
        {
            AllocGate counter;
            component->callback(answer, VESK_EVENT_RELEASE);
            releaseAllocations = counter.calls;
        }
        EXPECT_EQ(releaseAllocations, 0) << "release after input: " << shown;
        EXPECT_EQ(host.commands, c.commands) << "input: " << shown;
        delete component;
    }
}

// Builds one command on a fresh component and counts the allocations of that
// call alone.
struct CommandCase {
    const char* name;
    void (*send)(Parvex&);
    std::string command;
};

TEST(AllocationBudget, BuildingCommandsAllocatesNothing) {
    static const vesk_string kPanel("1");
    static const vesk_string kControl("LevelMimic");
    static const vesk_string kParam("text");
    static const vesk_string kLongValue(std::string(200, 'v').c_str());
    const CommandCase cases[] = {
        {"panelShow", [](Parvex& p) { p.panelShow(kPanel, vesk_string("mimic.vesk_ui"), vesk_string("7")); },
         "PS '1' 'mimic.vesk_ui' '7'"},
        {"textPut", [](Parvex& p) { p.textPut(kParam, vesk_string("CAM 3"), kPanel, kControl); }, ShowCommand("CAM 3")},
        {"textPut, 200-character value", [](Parvex& p) { p.textPut(kParam, kLongValue, kPanel, kControl); },
         ShowCommand(std::string(200, 'v'))},
        {"routerRegister", [](Parvex& p) { p.routerRegister(-2147483647 - 1, 2147483647, -1, true); },
         "RR -2147483648 2147483647 -1 'ADD'"},
        {"routerUnregister", [](Parvex& p) { p.routerUnregister(999); }, "RU 999"},
        {"routerPoll", [](Parvex& p) { p.routerPoll(5, 12, 12); }, "RP 5 12 12"},
        {"timerStart", [](Parvex& p) { p.timerStart(1, 10000); }, "ET 1 10000"},
        {"timerStop", [](Parvex& p) { p.timerStop(1); }, "ET 1"},
        {"textGet", [](Parvex& p) {
             vesk_string result;
             p.textGet(vesk_string("value"), kPanel, vesk_string("alm_1"), result);
         },
         "TG '1' 'alm_1' 'value'"},
        {"controlsGet", [](Parvex& p) { p.controlsGet(kPanel, vesk_string("alm_")); }, "XI '1' 'alm_'"},
    };
    for (const CommandCase& c : cases) {
        RecordingHost host;
        host.replyTo("TG", "value=3");
        host.replyTo("XI", "alm_1,alm_2");
        Parvex component(&host, "");
        host.clear();
        int allocations;
        {
            AllocGate counter;
            c.send(component);
            allocations = counter.calls;
        }
        EXPECT_EQ(allocations, 0) << "command: " << c.name;
        ASSERT_EQ(host.commands.size(), 1u) << "command: " << c.name;
        EXPECT_EQ(host.commands[0], c.command) << "command: " << c.name;
        EXPECT_EQ(host.outstandingReplies(), 0) << "command: " << c.name;
    }
}

TEST(AllocationBudget, CreationAllocatesOnlyTheComponentAndDeletionNothing) {
    RecordingHost host;
    vesk_client_callback* component;
    int creation;
    {
        AllocGate counter;
        component = load_vesk_client_script(&host, "C:\\site\\panels\\components\\Parvex");
        creation = counter.calls;
    }
    ASSERT_NE(component, nullptr);
    EXPECT_EQ(creation, 1);
    EXPECT_EQ(host.commands, std::vector<std::string>{"PS '1' 'C:\\site\\panels\\components\\Parvex/mimic.vesk_ui'"});
    int deletion;
    {
        AllocGate counter;
        delete component;
        deletion = counter.calls;
    }
    EXPECT_EQ(deletion, 0);
}

}  // namespace

// Parvex as the host sees it: creation, deletion, event types, ownership of
// answers, a missing host, hostile inputs and long random event sequences.

#include <stdint.h>

#include <climits>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "parvex_test_driver.h"
#include "test_support.h"
#include "vesk_platform.h"
#include "vesk_parsed_command.h"
#include "vesk_string.h"

namespace {

using namespace parvex_test;

// ---- Creation and deletion ----

TEST(ParvexLifecycle, CreationOpensThePanelAndNothingElse) {
    struct Case {
        const char* path;
        const char* command;
    };
    const Case cases[] = {
        {"", "PS '1' 'mimic.vesk_ui'"},
        {nullptr, "PS '1' 'mimic.vesk_ui'"},
        {"panels/x", "PS '1' 'panels/x/mimic.vesk_ui'"},
        {"panels/x/", "PS '1' 'panels/x//mimic.vesk_ui'"},
        {"C:\\site\\panels", "PS '1' 'C:\\site\\panels/mimic.vesk_ui'"},
        {"my panels", "PS '1' 'my panels/mimic.vesk_ui'"},
    };
    for (const Case& c : cases) {
        RecordingHost host;
        auto component = Create(&host, c.path);

        ASSERT_NE(component, nullptr) << "path: " << (c.path ? Printable(c.path) : "null");
        EXPECT_TRUE(SameCommands(host.commands, {c.command})) << "path: " << (c.path ? Printable(c.path) : "null");
        EXPECT_EQ(host.calls.size(), 1u) << "path: " << (c.path ? Printable(c.path) : "null");
    }
}

// The host may reuse its path text once the export has returned.
TEST(ParvexLifecycle, PathCopiedAtCreation) {
    RecordingHost host;
    std::vector<char> path = {'p', 'a', 'n', 'e', 'l', 's', '\0'};
    auto component = Create(&host, path.data());
    std::memset(path.data(), 'x', path.size() - 1);
    path.clear();
    path.shrink_to_fit();
    component.reset();

    EXPECT_TRUE(SameCommands(host.commands, {"PS '1' 'panels/mimic.vesk_ui'", "AS"}));
}

TEST(ParvexLifecycle, DeletionUnregistersOnlyASetPair) {
    struct Case {
        std::vector<std::string> settings;
        std::vector<std::string> atDeletion;
    };
    const Case cases[] = {
        {{}, {"AS"}},
        {{"driverid=5"}, {"AS"}},
        {{"destid=12"}, {"AS"}},
        {{"driverid=5", "destid=65"}, {"AS"}},
        {{"driverid=6", "destid=12"}, {"AS"}},
        {{"driverid=5", "destid=12"}, {"RU 5", "AS"}},
        {{"driverid=5", "destid=12", "destid=13"}, {"RU 5", "AS"}},
        {{"driverid=5", "destid=12", "driverid=7"}, {"RU 7", "AS"}},
        {{"driverid=5", "destid=12", "driverid=999"}, {"RU 999", "AS"}},
        {{"driverid=5", "destid=12", "driverid=1000"}, {"RU 1000", "AS"}},
        {{"driverid=5", "destid=12", "driverid=0"}, {"AS"}},
        {{"driverid=5", "destid=12", "driverid=-1"}, {"AS"}},
        {{"driverid=5", "destid=12", "destid=0"}, {"RU 5", "AS"}},
    };
    for (const Case& c : cases) {
        Rig rig(WriteDevice5);
        auto& [site, host, component] = rig;
        for (const std::string& text : c.settings) Send(*component, text);
        Report(*component, 5, 12, 3, "CAM 3");
        host.clear();

        component.reset();

        EXPECT_TRUE(SameCommands(host.commands, c.atDeletion)) << "settings: " << ListOf(c.settings);
        EXPECT_EQ(host.calls.size(), host.commands.size()) << "settings: " << ListOf(c.settings);
    }
}

TEST(ParvexLifecycle, NullHostIsNeverCalled) {
    SiteFolder site;
    site.writeDeviceSize(5, 64);
    auto component = Create(nullptr, "panels");
    ASSERT_NE(component, nullptr);

    SetPair(*component, 5, 12);
    Send(*component, "statesheet=red");
    Send(*component, "unusedtext=Idle");
    Timer(*component, 1);
    Timer(*component, 2);
    Report(*component, 5, 12, 3, "CAM 3");
    Send(*component, "driverid=7");
    Send(*component, "destid=20");
    EXPECT_EQ(Send(*component, "_events"), std::optional<std::string>("notify=*"));
    component.reset();
}

TEST(ParvexLifecycle, ComponentsAreIndependent) {
    SiteFolder site;
    site.writeDeviceSize(5, 64);
    site.writeDeviceSize(7, 64);
    RecordingHost hostA;
    RecordingHost hostB;
    auto a = Create(&hostA, "a");
    auto b = Create(&hostB, "b");
    SetPair(*a, 5, 12);
    SetPair(*b, 7, 12);
    Report(*a, 5, 12, 3, "CAM 3");
    Report(*b, 5, 12, 3, "CAM 3");
    Timer(*b, 1);
    a.reset();

    std::vector<std::string> expectedA = {"PS '1' 'a/mimic.vesk_ui'"};
    for (const std::string& command : PairCommands(5, 5, 12)) expectedA.push_back(command);
    for (const std::string& command : {ShowCommand("CAM 3"), std::string("ET 1"), std::string("RU 5"),
                                       std::string("AS")})
        expectedA.push_back(command);
    EXPECT_TRUE(SameCommands(hostA.commands, expectedA)) << "component a";

    b.reset();
    std::vector<std::string> expectedB = {"PS '1' 'b/mimic.vesk_ui'"};
    for (const std::string& command : PairCommands(7, 7, 12)) expectedB.push_back(command);
    for (const char* command : {"RP 7 12 12", "RU 7", "AS"}) expectedB.push_back(command);
    EXPECT_TRUE(SameCommands(hostB.commands, expectedB)) << "component b";
}

// ---- Host replies ----

TEST(ParvexLifecycle, NullPanelReplyChangesNothing) {
    SiteFolder site;
    site.writeDeviceSize(5, 64);
    RecordingHost host;
    host.replyTo("PS", std::nullopt);
    auto component = Create(&host);
    SetPair(*component, 5, 12);
    component.reset();

    std::vector<std::string> expected = {"PS '1' 'mimic.vesk_ui'"};
    for (const std::string& command : PairCommands(5, 5, 12)) expected.push_back(command);
    expected.push_back("RU 5");
    expected.push_back("AS");
    EXPECT_TRUE(SameCommands(host.commands, expected));
}

// Replies to the component's own commands stay the host's: none is handed back.
TEST(ParvexLifecycle, CommandRepliesNeverHandedBack) {
    SiteFolder site;
    site.writeDeviceSize(5, 64);
    RecordingHost host;
    host.replyTo("", std::string("ok"));
    auto component = Create(&host);
    SetPair(*component, 5, 12);
    Send(*component, "statesheet=red");
    Timer(*component, 1);
    Timer(*component, 2);
    Report(*component, 5, 12, 3, "CAM 3");
    component.reset();

    size_t nonPanel = 0;
    for (const std::string& command : host.commands) nonPanel += command.rfind("PS", 0) != 0;
    for (const std::string& call : host.calls) EXPECT_EQ(call.rfind("cmd:", 0), 0u) << "call: " << Printable(call);
    EXPECT_EQ(host.outstandingReplies(), static_cast<int>(nonPanel));
    EXPECT_EQ(host.commands.back(), "AS");
}

// ---- Answers to the hosting panel ----

// Each answer is a copy of its own that stays intact while the host holds it.
TEST(ParvexLifecycle, AnswerHeldUntilHandedBack) {
    Rig rig(WriteDevice5);
    auto& [site, host, component] = rig;
    char question[] = "_events";
    char* first = component->callback(question, VESK_EVENT_TEXT);
    std::memset(question, 'x', sizeof question - 1);
    SetPair(*component, 5, 12);
    char* second = component->callback(const_cast<char*>("_events.again"), VESK_EVENT_TEXT);

    ASSERT_NE(first, nullptr);
    ASSERT_NE(second, nullptr);
    EXPECT_NE(first, second);
    EXPECT_STREQ(first, "notify=*");
    EXPECT_STREQ(second, "notify=*");
    EXPECT_EQ(component->callback(second, VESK_EVENT_RELEASE), nullptr);
    EXPECT_STREQ(first, "notify=*");
    EXPECT_EQ(component->callback(first, VESK_EVENT_RELEASE), nullptr);
}

TEST(ParvexLifecycle, NullTextEventDoesNothing) {
    for (bool pair : {false, true}) {
        Rig rig(WriteDevice5);
        auto& [site, host, component] = rig;
        if (pair) SetPair(*component, 5, 12);
        host.clear();

        EXPECT_EQ(component->callback(nullptr, VESK_EVENT_TEXT), nullptr) << (pair ? "with" : "without") << " a pair";
        EXPECT_TRUE(SameCommands(host.commands, {})) << (pair ? "with" : "without") << " a pair";

        Timer(*component, 1);
        EXPECT_TRUE(SameCommands(host.commands, {pair ? "RP 5 12 12" : "ET 1"}))
            << (pair ? "with" : "without") << " a pair";
    }
}

// ---- Event types that Parvex does not act on ----

TEST(ParvexLifecycle, OtherEventTypesSendNothing) {
    struct Case {
        int type;
        intptr_t data;
    };
    const Case cases[] = {
        {0, 0},         {0, 0x1234}, {2, 0},  {5, 0},        {6, 0},       {6, 0x1234},
        {7, 0},         {7, 42},     {7, -1}, {8, 0x1234},   {-1, 0x1234}, {100, 1},
        {INT_MIN, 1},   {INT_MAX, 1},
    };
    for (const Case& c : cases) {
        Rig rig(WriteDevice5);
        auto& [site, host, component] = rig;
        SetPair(*component, 5, 12);
        host.clear();

        char* result = component->callback(reinterpret_cast<void*>(c.data), c.type);

        EXPECT_EQ(result, nullptr) << "type " << c.type << ", data " << c.data;
        Timer(*component, 1);
        EXPECT_TRUE(SameCommands(host.commands, {"RP 5 12 12"})) << "type " << c.type << ", data " << c.data;
    }
}

// Control events are ignored, the alarm-wide ones included.
TEST(ParvexLifecycle, ControlEventsIgnored) {
    struct Case {
        const char* id;
        const char* command;
    };
    const Case cases[] = {
        {"ActionAll", "alarm=ack"}, {"ActionAll", "alarm=2"}, {"AckAll", "press"},
        {"LevelMimic", "text=x"},   {nullptr, "alarm=ack"},   {"ActionAll", nullptr},
    };
    for (const Case& c : cases) {
        RecordingHost host;
        host.replyTo("XI", std::string("alm_1,alm_2"));
        host.replyTo("TG", std::string("value=1"));
        auto component = Create(&host);
        host.clear();
        std::optional<ParsedCommand> parsed;
        if (c.command) parsed.emplace(c.command);
        ButtonRecord record = {{0, 0, 0}, c.id, parsed ? &*parsed : nullptr};

        EXPECT_EQ(component->callback(&record, VESK_EVENT_CONTROL), nullptr);

        EXPECT_TRUE(SameCommands(host.commands, {}))
            << "id " << (c.id ? Printable(c.id) : "null") << ", command "
            << (c.command ? Printable(c.command) : "null");
    }
}

// ---- Report texts ----

TEST(ParvexReports, TextShownExactly) {
    std::string longText;
    for (int i = 0; i < 300; ++i) longText += static_cast<char>('A' + i % 26);
    const std::string texts[] = {
        "",
        "CAM 3",
        "it's 'quoted'",
        "a=b,c;d",
        "  padded  ",
        "caf\xC3\xA9 \x01\x7f",
        std::string(95, 'n'),
        std::string(96, 'n'),
        std::string(255, 'w'),
        std::string(256, 'w'),
        longText,
        std::string(5000, 'z'),
    };
    for (const std::string& text : texts) {
        Rig rig(WriteDevice5);
        SetPair(*rig.component, 5, 12);
        rig.step("text: " + Printable(text) + " (" + std::to_string(text.size()) + " characters)",
                 [&] { Report(*rig.component, 5, 12, 3, text); }, {ShowCommand(text), "ET 1"});
    }
}

// ---- Very long settings ----

TEST(ParvexSettingsRobustness, TenKilobyteValues) {
    const std::string big(10 * 1024, 'v');
    const std::string digits(10 * 1024, '7');
    struct Case {
        std::string text;
        std::optional<std::string> answer;
        std::vector<std::string> commands;
    };
    const Case cases[] = {
        {"statesheet=" + big, std::nullopt, {"TP 'statesheet=" + big + "' '1' 'LevelMimic'"}},
        {"unusedtext=" + big, std::nullopt, {ShowCommand(big)}},
        {"destid=" + digits, std::nullopt, {}},
        {"destid=" + big, std::nullopt, {}},
        {"driverid=" + digits, std::nullopt, {}},
        {"unknown=" + big, std::nullopt, {}},
        {"_events=" + big, std::string("notify=*"), {}},
        {"_events." + big, std::string("notify=*"), {}},
        {big + "=1", std::nullopt, {}},
        {"return=" + big, std::nullopt, {}},
    };
    for (const Case& c : cases) {
        Rig rig(WriteDevice5);
        auto& [site, host, component] = rig;
        Send(*component, "driverid=5");
        host.clear();

        const std::optional<std::string> answer = Send(*component, c.text);

        const std::string shown = Printable(c.text.substr(0, 24)) + "...";
        EXPECT_EQ(answer, c.answer) << "input: " << shown << " answer: " << PrintableAnswer(answer);
        EXPECT_TRUE(SameCommands(host.commands, c.commands)) << "input: " << shown;
    }
}

// A long device setting saturates: the device is out of range, so the timer
// stops instead of polling and deletion unregisters that device number.
TEST(ParvexSettingsRobustness, LongDeviceNumberSaturates) {
    Rig rig(WriteDevice5);
    SetPair(*rig.component, 5, 12);
    Send(*rig.component, "driverid=" + std::string(10 * 1024, '9'));
    rig.step("step: timer 1, delete", [&] {
        Timer(*rig.component, 1);
        rig.component.reset();
    }, {"RP 2147483647 12 12", "RU 2147483647", "AS"});
}

// ---- Memory running out ----

// A report whose text cannot be copied is not shown and not remembered, so the
// same report is shown once memory is back.
TEST(ParvexMemory, ReportNotShownIsTakenLater) {
    Rig rig(WriteDevice5);
    SetPair(*rig.component, 5, 12);
    // Too long to be held without the heap.
    const std::string text(vesk_string::kInlineCapacity + 1, 'L');

    rig.step("while memory runs out", [&] {
        AllocGate noMemory(1);  // refuses every allocation
        Report(*rig.component, 5, 12, 3, text);
        Timer(*rig.component, 1);
    }, {"RP 5 12 12"});
    rig.step("once memory is back", [&] { Report(*rig.component, 5, 12, 3, text); }, {ShowCommand(text), "ET 1"});
}

// Short texts and numbered commands need no heap: polling, short reports and
// deletion go on while memory runs out.
TEST(ParvexMemory, ShortCommandsNeedNoHeap) {
    Rig rig(WriteDevice5);
    SetPair(*rig.component, 5, 12);
    rig.step("step: timer 1, report, timer 2, delete without memory", [&] {
        AllocGate noMemory(1);  // refuses every allocation
        Timer(*rig.component, 1);
        Report(*rig.component, 5, 12, 3, "CAM 3");
        Timer(*rig.component, 2);
        rig.component.reset();
    }, {"RP 5 12 12", ShowCommand("CAM 3"), "ET 1", "ET 2", "RU 5", "AS"});
}

// A text event that cannot be copied is dropped whole: no command, no answer.
TEST(ParvexMemory, TextEventDroppedWithoutMemory) {
    const char* const texts[] = {"_events", "statesheet=red", "unusedtext=Idle", "destid=12", "driverid=7"};
    for (const char* text : texts) {
        Rig rig(WriteDevices5And7);
        Send(*rig.component, "driverid=5");
        rig.host.clear();

        std::optional<std::string> answer;
        {
            AllocGate noMemory(1);  // refuses every allocation
            answer = Send(*rig.component, text);
        }

        EXPECT_EQ(answer, std::nullopt) << "input: " << Printable(text);
        EXPECT_TRUE(SameCommands(rig.host.commands, {})) << "input: " << Printable(text);
        // No clear: the dropped event must have sent nothing either.
        Send(*rig.component, "destid=12");
        EXPECT_TRUE(SameCommands(rig.host.commands, PairCommands(5, 5, 12))) << "after: " << Printable(text);
    }
}

// ---- Long random sequences ----

// Small deterministic generator (64-bit LCG, high bits out).
class Lcg {
public:
    explicit Lcg(uint64_t seed) : state_(seed * 2862933555777941757ull + 3037000493ull) {}
    unsigned Below(unsigned n) {
        state_ = state_ * 6364136223846793005ull + 1442695040888963407ull;
        return static_cast<unsigned>(state_ >> 33) % n;
    }
    template <size_t N>
    const char* Pick(const char* const (&items)[N]) {
        return items[Below(N)];
    }

private:
    uint64_t state_;
};

// Database sizes of the random site.
int SiteSize(int device) {
    switch (device) {
        case 5: return 64;
        case 7: return 20;
        case 999: return 30;
        default: return 0;
    }
}

// The number a setting's value gives: its leading digits, after blanks and an
// optional sign; 0 without digits. The random values stay far from overflow.
long long LeadingNumber(const std::string& value) {
    size_t at = value.find_first_not_of(' ');
    if (at == std::string::npos) return 0;
    const bool negative = value[at] == '-' || value[at] == '+' ? value[at++] == '-' : false;
    long long number = 0;
    for (; at < value.size() && value[at] >= '0' && value[at] <= '9'; ++at) number = number * 10 + (value[at] - '0');
    return negative ? -number : number;
}

// What the component must send for each event, from its documented
// behaviour (the integrator guide): a device is stored at once and sets up
// nothing; a destination of 1..size, other than the current one, with a
// device of 1..999 sets up the pair; the idle text is shown only while no pair
// is set; a report for the pair is shown unless it repeats the source and text
// shown last; timer 1 polls the pair (or stops without one), any other timer
// is stopped; deletion unregisters a set pair.
class PromisedBehaviour {
public:
    std::vector<std::string> Device(const std::string& value) {
        device_ = LeadingNumber(value);
        return {};
    }
    std::vector<std::string> Destination(const std::string& value) {
        const long long destination = LeadingNumber(value);
        if (device_ < 1 || device_ > 999 || destination < 1 || destination > SiteSize(static_cast<int>(device_)) ||
            destination == destination_)
            return {};
        destination_ = destination;
        return {"RU " + std::to_string(device_), "RR " + PairNumbers(), "RP " + PairNumbers(), "ET 1 10000"};
    }
    std::vector<std::string> StateSheet(const std::string& value) const {
        return {"TP 'statesheet=" + value + "' '1' 'LevelMimic'"};
    }
    std::vector<std::string> IdleText(const std::string& value) const {
        if (PairSet()) return {};
        return {ShowCommand(value)};
    }
    std::vector<std::string> Report(int device, int index, int source, const std::string& text) {
        if (destination_ < 1 || device != device_ || index != destination_) return {};
        if (shown_ && shownSource_ == source && shownText_ == text) return {};
        shown_ = true;
        shownSource_ = source;
        shownText_ = text;
        return {ShowCommand(text), "ET 1"};
    }
    std::vector<std::string> Timer(int timer) const {
        if (timer != 1) return {"ET " + std::to_string(timer)};
        if (PairSet()) return {"RP " + PairNumbers()};
        return {"ET 1"};
    }
    std::vector<std::string> Deletion() const {
        if (PairSet()) return {"RU " + std::to_string(device_), "AS"};
        return {"AS"};
    }

    // The device and destination reports must name to be shown.
    long long device() const { return device_; }
    long long destination() const { return destination_; }

private:
    bool PairSet() const { return device_ >= 1 && destination_ >= 1; }
    std::string PairNumbers() const {
        return std::to_string(device_) + " " + std::to_string(destination_) + " " + std::to_string(destination_);
    }

    long long device_ = 0;       // 0: none given
    long long destination_ = 0;  // 0: no pair set up yet
    bool shown_ = false;         // a report has been shown
    int shownSource_ = 0;
    std::string shownText_;
};

// One random event: what was done, and what it must send and answer.
struct RandomStep {
    std::string event;
    std::vector<std::string> promised;
    std::optional<std::string> answer;
    std::optional<std::string> promisedAnswer;
};

// A random setting or question from the hosting panel.
RandomStep RandomText(Lcg& random, vesk_client_callback& component, PromisedBehaviour& promise) {
    const char* const devices[] = {"5", "7", "999", "6", "1000", "0", "-1", "abc", "", "5x"};
    const char* const destinations[] = {"1", "12", "20", "21", "30", "31", "64", "65", "0", "-1", "x", "2147483647"};
    const char* const words[] = {"", "Idle", "CAM 1", "a'b", "x=y", "red,green"};
    const char* const questions[] = {"_events", "_events.x", "_commands", "return=all", "return=x",
                                     "instance", "junk=1",   "",          "=",          "DESTID=3"};
    RandomStep step;
    std::string value;
    switch (random.Below(5)) {
        case 0:
            value = random.Pick(devices);
            step.promised = promise.Device(value);
            step.event = "driverid=" + value;
            break;
        case 1:
            value = random.Pick(destinations);
            step.promised = promise.Destination(value);
            step.event = "destid=" + value;
            break;
        case 2:
            value = random.Pick(words);
            step.promised = promise.StateSheet(value);
            step.event = "statesheet=" + value;
            break;
        case 3:
            value = random.Pick(words);
            step.promised = promise.IdleText(value);
            step.event = "unusedtext=" + value;
            break;
        default:
            step.event = random.Pick(questions);
            if (step.event.rfind("_events", 0) == 0) step.promisedAnswer = "notify=*";
            break;
    }
    step.answer = Send(component, step.event);
    return step;
}

// A random report, timer or event of a type Parvex does not act on.
RandomStep RandomOther(Lcg& random, vesk_client_callback& component, PromisedBehaviour& promise) {
    RandomStep step;
    switch (random.Below(4)) {
        case 0: {
            const int reportDevices[] = {5, 7, 999, 6};
            const int indexes[] = {12, 20, 30, 1};
            // Half the reports are for the pair, so that shown, repeated and
            // renamed sources all come up.
            const bool forThePair = random.Below(2) == 0;
            const int device = forThePair ? static_cast<int>(promise.device()) : reportDevices[random.Below(4)];
            const int index = forThePair ? static_cast<int>(promise.destination()) : indexes[random.Below(4)];
            const int source = static_cast<int>(random.Below(4));
            const std::string text = "S" + std::to_string(source) + std::string(random.Below(2) * 150, '+');
            step.event = "report " + std::to_string(device) + "/" + std::to_string(index) + "/" +
                         std::to_string(source) + " " + Printable(text);
            step.promised = promise.Report(device, index, source, text);
            parvex_test::Report(component, device, index, source, text);
            break;
        }
        case 1: {
            const int timers[] = {1, 1, 1, 2, 0, -7};
            const int timer = timers[random.Below(6)];
            step.event = "timer " + std::to_string(timer);
            step.promised = promise.Timer(timer);
            parvex_test::Timer(component, timer);
            break;
        }
        case 2:
            step.event = "null text";
            if (component.callback(nullptr, VESK_EVENT_TEXT)) step.answer = "?";
            break;
        default: {
            const int types[] = {0, 5, 6, 7, 8, -1};
            const int type = types[random.Below(6)];
            step.event = "event type " + std::to_string(type);
            void* data = type == 5 ? nullptr : reinterpret_cast<void*>(static_cast<intptr_t>(random.Below(99)));
            if (component.callback(data, type) != nullptr) step.answer = "?";
            break;
        }
    }
    return step;
}

// Random events, each checked against exactly what it must send and answer:
// nothing where nothing is due, but also every command that is due.
TEST(ParvexRandom, EventSequencesKeepTheirPromises) {
    for (uint64_t seed = 1; seed <= 12; ++seed) {
        SiteFolder site;
        for (int device : {5, 7, 999}) site.writeDeviceSize(device, SiteSize(device));
        RecordingHost host;
        auto component = Create(&host, seed % 2 ? "" : "panels");
        PromisedBehaviour promise;
        Lcg random(seed);
        for (int index = 0; index < 400; ++index) {
            host.clear();
            const RandomStep step = random.Below(9) < 5 ? RandomText(random, *component, promise)
                                                        : RandomOther(random, *component, promise);
            ASSERT_TRUE(SameCommands(host.commands, step.promised))
                << "seed " << seed << ", step " << index << ": " << Printable(step.event);
            ASSERT_EQ(step.answer, step.promisedAnswer) << "seed " << seed << ", step " << index << ": "
                                                        << Printable(step.event) << " answered "
                                                        << PrintableAnswer(step.answer);
            ASSERT_EQ(host.calls.size(), host.commands.size()) << "seed " << seed << ", step " << index
                                                               << ": a call other than a command";
        }
        host.clear();
        component.reset();

        EXPECT_TRUE(SameCommands(host.commands, promise.Deletion())) << "seed " << seed << ", deletion";
        EXPECT_EQ(host.strayHandBacks, 0) << "seed " << seed;
        EXPECT_EQ(host.outstandingReplies(), 0) << "seed " << seed;
        EXPECT_EQ(host.calls.size(), host.commands.size()) << "seed " << seed;
    }
}

}  // namespace

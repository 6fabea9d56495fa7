// Per-event cost of a Parvex driven the way the host drives it: through
// vesk_client_callback::callback on the object the export returned, with a
// host whose own callback does nothing, so that the time is the component's.
// Each benchmark also reports the module's heap allocations per event
// (allocs/event). A bare virtual call, measured in the same run, is printed
// beside reports to other pairs for reference; a plain C handler of the same
// events (plain_handler.h), driven by the same loop, is the baseline for six
// events (it allocates with malloc, so its allocs/event stays 0).
//
// Every benchmark reports, besides the usual aggregates, its fastest
// repetition ("min"): the one least disturbed by the rest of the machine. The
// goals are checked on those and printed; the exit status is 1 when one is
// missed:
//   - a report for another device, a report of a new source (a short and a
//     255-character text), a "statesheet" setting, an "unusedtext" setting
//     with a pair set and the "_events" question each cost at most 1.5 times
//     the plain C handler;
//   - router reports, control, timer, release, record, value and unknown
//     events allocate nothing;
//   - a text event allocates at most the parser's copy and, when answered, the
//     answer's copy.
#include <benchmark/benchmark.h>

#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

#include "Parvex_export.h"
#include "plain_handler.h"
#include "vesk_parsed_command.h"
#include "vesk_platform.h"

namespace {

// The host, and the baseline's callee: a real call through the virtual table
// (the build turns devirtualization off for this file, as the host's call
// cannot see the component's type either).
class NullHost : public vesk_client_callback {
  public:
    __attribute__((noinline)) char* callback(void*, int) override { return nullptr; }
};

// ---- A site where device 5 has 64 destinations ----

std::string site_root;

void RemoveSite() {
    unlink((site_root + "/main/config/system/dev_005.ini").c_str());
    rmdir((site_root + "/main/config/system").c_str());
    rmdir((site_root + "/main/config").c_str());
    rmdir((site_root + "/main").c_str());
    rmdir(site_root.c_str());
}

bool MakeSite() {
    const char* tmp = getenv("TMPDIR");
    std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/vesk-bench-site-XXXXXX";
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back('\0');
    if (!mkdtemp(buffer.data())) return false;
    site_root = buffer.data();
    atexit(RemoveSite);
    std::string dir = site_root + "/main";
    mkdir(dir.c_str(), 0755);
    dir += "/config";
    mkdir(dir.c_str(), 0755);
    dir += "/system";
    mkdir(dir.c_str(), 0755);
    FILE* file = fopen((dir + "/dev_005.ini").c_str(), "w");
    if (!file) return false;
    fputs("[Database]\nDatabaseSize_1=64\n", file);
    fclose(file);
    setenv("QX_ROOT", site_root.c_str(), 1);
    setenv("QX_SYSTEM", "main", 1);
    return true;
}

// ---- Counting the module's allocations ----

int CountAllocation(size_t, void* context) {
    ++*static_cast<int64_t*>(context);
    return 1;
}

// Runs `event` once per iteration with the module's allocations counted.
template <typename Event>
void Measure(benchmark::State& state, Event&& event) {
    int64_t allocations = 0;
    vesk_platform_set_alloc_gate(&CountAllocation, &allocations);
    for (auto _ : state) event();
    vesk_platform_set_alloc_gate(nullptr, nullptr);
    state.counters["allocs/event"] =
        benchmark::Counter(static_cast<double>(allocations), benchmark::Counter::kAvgIterations);
}

// ---- Components and records ----

RevertiveRecord Report(int device, int index, int info, const char* text) {
    RevertiveRecord record;
    memset(&record, 0, sizeof record);
    record.device = device;
    record.index = index;
    record.info = info;
    strncpy(record.text, text, sizeof record.text - 1);
    return record;
}

char* Deliver(vesk_client_callback* component, void* data, int type) {
    benchmark::DoNotOptimize(component);
    return component->callback(data, type);
}

// Makes the handler under test on `host`, following device 5, destination 12,
// with source 3 shown and the poll timer stopped.
using Make = vesk_client_callback* (*)(vesk_client_callback& host);

vesk_client_callback* FollowAndShow(vesk_client_callback* component) {
    Deliver(component, const_cast<char*>("driverid=5"), VESK_EVENT_TEXT);
    Deliver(component, const_cast<char*>("destid=12"), VESK_EVENT_TEXT);
    RevertiveRecord shown = Report(5, 12, 3, "CAM 3");
    Deliver(component, &shown, VESK_EVENT_REVERTIVE);
    return component;
}

vesk_client_callback* Showing(vesk_client_callback& host) { return FollowAndShow(load_vesk_client_script(&host, "")); }

vesk_client_callback* PlainShowing(vesk_client_callback& host) { return FollowAndShow(new PlainHandler(&host)); }

void* Word(intptr_t value) { return reinterpret_cast<void*>(value); }

// ---- Benchmarks ----

void BareVirtualCall(benchmark::State& state) {
    NullHost host;
    vesk_client_callback* callee = &host;
    RevertiveRecord record = Report(6, 12, 3, "CAM 3");
    Measure(state, [&] { benchmark::DoNotOptimize(Deliver(callee, &record, VESK_EVENT_REVERTIVE)); });
}

// One event delivered repeatedly to a component that shows source 3 of 5/12.
void RepeatedEvent(benchmark::State& state, void* data, int type, Make make = Showing) {
    NullHost host;
    vesk_client_callback* component = make(host);
    Measure(state, [&] { benchmark::DoNotOptimize(Deliver(component, data, type)); });
    delete component;
}

void ReportOtherPair(benchmark::State& state, Make make) {
    RevertiveRecord record = Report(6, 12, 4, "CAM 4");
    RepeatedEvent(state, &record, VESK_EVENT_REVERTIVE, make);
}

void ReportShownSource(benchmark::State& state) {
    RevertiveRecord record = Report(5, 12, 3, "CAM 3");
    RepeatedEvent(state, &record, VESK_EVENT_REVERTIVE);
}

// Every report names a source other than the last: TP and ET 1 each time.
void ReportNewSource(benchmark::State& state, int textLength, Make make) {
    NullHost host;
    vesk_client_callback* component = make(host);
    const std::string text(static_cast<size_t>(textLength), 'C');
    RevertiveRecord records[2] = {Report(5, 12, 4, text.c_str()), Report(5, 12, 5, text.c_str())};
    unsigned next = 0;
    Measure(state, [&] { benchmark::DoNotOptimize(Deliver(component, &records[next++ & 1], VESK_EVENT_REVERTIVE)); });
    delete component;
}

void TimerPoll(benchmark::State& state) { RepeatedEvent(state, Word(1), VESK_EVENT_TIMER); }

void TimerOther(benchmark::State& state) { RepeatedEvent(state, Word(2), VESK_EVENT_TIMER); }

void ControlEvent(benchmark::State& state) {
    ParsedCommand command("press=1");
    ButtonRecord record = {{0, 0, 0}, "LevelMimic", &command};
    RepeatedEvent(state, &record, VESK_EVENT_CONTROL);
}

void ReleaseNull(benchmark::State& state) { RepeatedEvent(state, nullptr, VESK_EVENT_RELEASE); }

void RecordEvent(benchmark::State& state) {
    int cell = 0;
    RepeatedEvent(state, &cell, VESK_EVENT_RECORD);
}

void ValueEvent(benchmark::State& state) { RepeatedEvent(state, Word(7), VESK_EVENT_VALUE); }

void UnknownType(benchmark::State& state) { RepeatedEvent(state, Word(7), 8); }

// A text event, its answer handed back as the host does.
void TextEvent(benchmark::State& state, const char* text, Make make) {
    NullHost host;
    vesk_client_callback* component = make(host);
    Measure(state, [&] {
        char* answer = Deliver(component, const_cast<char*>(text), VESK_EVENT_TEXT);
        if (answer) Deliver(component, answer, VESK_EVENT_RELEASE);
        benchmark::DoNotOptimize(answer);
    });
    delete component;
}

// destid alternating 12 and 13: a new pair every time (configuration read,
// RU, RR, RP and ET sent).
void NewDestination(benchmark::State& state) {
    NullHost host;
    vesk_client_callback* component = Showing(host);
    const char* texts[2] = {"destid=13", "destid=12"};
    unsigned next = 0;
    Measure(state, [&] { benchmark::DoNotOptimize(Deliver(component, const_cast<char*>(texts[next++ & 1]), 3)); });
    delete component;
}

// ---- The baseline does the component's work ----

// Keeps every command it receives.
class RecordingHost : public vesk_client_callback {
  public:
    char* callback(void* data, int type) override {
        if (type == VESK_CALL_COMMAND) commands.push_back(static_cast<const char*>(data));
        return nullptr;
    }
    std::vector<std::string> commands;
};

// What one event makes `make`'s handler send and answer, after its set-up.
std::vector<std::string> Outcome(Make make, void* data, int type) {
    RecordingHost host;
    vesk_client_callback* handler = make(host);
    host.commands.clear();
    char* answer = handler->callback(data, type);
    if (answer) {
        host.commands.push_back(std::string("answer ") + answer);
        handler->callback(answer, VESK_EVENT_RELEASE);
    }
    const std::vector<std::string> sent = host.commands;  // before the delete's own commands
    delete handler;
    return sent;
}

// True when the plain C handler sends and answers exactly what the component
// does for each compared event, so that the ratios compare the same work.
bool BaselineMatches() {
    RevertiveRecord otherDevice = Report(6, 12, 4, "CAM 4");
    RevertiveRecord newSource = Report(5, 12, 4, "CCCCC");
    RevertiveRecord longSource = Report(5, 12, 4, std::string(255, 'C').c_str());
    const struct {
        const char* name;
        void* data;
        int type;
    } events[] = {
        {"report/other pair", &otherDevice, VESK_EVENT_REVERTIVE},
        {"report/new source", &newSource, VESK_EVENT_REVERTIVE},
        {"report/new source, 255-character text", &longSource, VESK_EVENT_REVERTIVE},
        {"statesheet=red", const_cast<char*>("statesheet=red"), VESK_EVENT_TEXT},
        {"unusedtext=Spare", const_cast<char*>("unusedtext=Spare"), VESK_EVENT_TEXT},
        {"_events", const_cast<char*>("_events"), VESK_EVENT_TEXT},
    };
    bool same = true;
    for (const auto& event : events) {
        const std::vector<std::string> component = Outcome(Showing, event.data, event.type);
        const std::vector<std::string> plain = Outcome(PlainShowing, event.data, event.type);
        if (component == plain) continue;
        fprintf(stderr, "event_bench: for %s the plain C handler sent %zu commands, the component %zu:\n",
                event.name, plain.size(), component.size());
        for (const std::string& command : plain) fprintf(stderr, "  plain C:   %s\n", command.c_str());
        for (const std::string& command : component) fprintf(stderr, "  component: %s\n", command.c_str());
        same = false;
    }
    return same;
}

// ---- Goals ----

struct Result {
    double nanoseconds = 0;
    bool timed = false;
    double allocations = 0;
};

// Keeps each benchmark's CPU time per iteration and its allocations per event,
// and prints as usual. The time kept is the fastest repetition (the least
// disturbed by the rest of the machine): the "min" aggregate, or the fastest
// single run when repetitions are reported one by one.
class KeepingReporter : public benchmark::ConsoleReporter {
  public:
    KeepingReporter() : ConsoleReporter(isatty(STDOUT_FILENO) ? OO_Defaults : OO_Tabular) {}

    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs) {
            if (run.error_occurred) continue;
            const bool iteration = run.run_type == Run::RT_Iteration;
            if (!iteration && run.aggregate_name != "min" && run.aggregate_name != "median") continue;
            Result& result = results[run.run_name.str()];
            const double time = run.GetAdjustedCPUTime();  // in the run's time unit: ns
            if (iteration || run.aggregate_name == "min") {
                if (!result.timed || time < result.nanoseconds) result.nanoseconds = time;
                result.timed = true;
            }
            // A "min" of the counters could hide an allocating repetition.
            if (run.aggregate_name == "min") continue;
            auto counter = run.counters.find("allocs/event");
            if (counter != run.counters.end()) result.allocations = std::max(result.allocations, counter->second.value);
        }
    }
    std::map<std::string, Result> results;
};

struct TextCase {
    const char* name;
    const char* text;
    bool answered;
};

const TextCase kTexts[] = {
    {"text/driverid (device kept)", "driverid=5", false},
    {"text/destid same destination (refused)", "destid=12", false},
    {"text/destid out of range (refused)", "destid=65", false},
    {"text/statesheet", "statesheet=red", false},
    {"text/unusedtext (pair set: stored only)", "unusedtext=Spare", false},
    {"text/_events (answer handed back)", "_events", true},
    {"text/_commands", "_commands", false},
    {"text/return=all", "return=all", false},
    {"text/instance", "instance", false},
    {"text/unknown setting", "colour=red", false},
};

// The events compared with the plain C handler: the component's benchmark,
// and the handler's, registered under the same name after kPlain.
const char kPlain[] = "plain C/";
const char* const kCompared[] = {
    "report/other pair", "report/new source", "report/new source, 255-character text", "text/statesheet",
    "text/unusedtext (pair set: stored only)", "text/_events (answer handed back)",
};
const double kMostAbovePlain = 1.5;

const char* const kZeroAllocation[] = {
    "event/bare virtual call (baseline)", "report/other pair",       "report/shown source again",
    "report/new source",                  "report/new source, 255-character text",
    "timer/1 polls",                      "timer/other id stopped",  "control event",
    "release/null",                       "record event",            "value event",
    "unknown type 8",
};

int CheckGoals(const std::map<std::string, Result>& results) {
    int missed = 0;
    auto find = [&](const std::string& name) -> const Result* {
        auto it = results.find(name);
        return it == results.end() ? nullptr : &it->second;
    };
    const Result* bare = find("event/bare virtual call (baseline)");
    const Result* other = find("report/other pair");
    // For reference only: the event makes two virtual calls (callback, then
    // revertiveCallback) against the bare call's one, so the ratio sits at 2
    // by construction and moves with the machine. The plain C handler below
    // is the goal for the same event.
    if (bare && other && bare->nanoseconds > 0) {
        printf("reference: report for another pair %.2f ns = %.2f x bare virtual call %.2f ns\n",
               other->nanoseconds, other->nanoseconds / bare->nanoseconds, bare->nanoseconds);
    }
    for (const char* name : kZeroAllocation) {
        const Result* result = find(name);
        if (result && result->allocations != 0) {
            printf("goal MISSED: %s allocates %.2f times per event (none allowed)\n", name, result->allocations);
            ++missed;
        }
    }
    for (const TextCase& c : kTexts) {
        const Result* result = find(c.name);
        const double allowed = 1 + (c.answered ? 1 : 0);
        if (result && result->allocations > allowed) {
            printf("goal MISSED: %s allocates %.2f times per event (at most %.0f)\n", c.name, result->allocations,
                   allowed);
            ++missed;
        }
    }
    for (const char* name : kCompared) {
        const Result* component = find(name);
        const Result* plain = find(std::string(kPlain) + name);
        if (!component || !plain || plain->nanoseconds <= 0) continue;
        const double ratio = component->nanoseconds / plain->nanoseconds;
        const bool ok = ratio <= kMostAbovePlain;
        printf("goal %s: %s %.2f ns = %.2f x plain C %.2f ns (at most %.1f x)\n", ok ? "met" : "MISSED", name,
               component->nanoseconds, ratio, plain->nanoseconds, kMostAbovePlain);
        missed += !ok;
    }
    if (!missed) printf("goals met: allocations per event within budget, times within their bounds\n");
    return missed;
}

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 2;
    if (!MakeSite()) {
        fprintf(stderr, "event_bench: cannot make a site folder\n");
        return 2;
    }
    if (!BaselineMatches()) return 2;
    std::vector<benchmark::internal::Benchmark*> all = {
        benchmark::RegisterBenchmark("event/bare virtual call (baseline)", BareVirtualCall),
        benchmark::RegisterBenchmark("report/other pair", ReportOtherPair, Showing),
        benchmark::RegisterBenchmark("report/shown source again", ReportShownSource),
        benchmark::RegisterBenchmark("report/new source", ReportNewSource, 5, Showing),
        benchmark::RegisterBenchmark("report/new source, 255-character text", ReportNewSource, 255, Showing),
        benchmark::RegisterBenchmark("timer/1 polls", TimerPoll),
        benchmark::RegisterBenchmark("timer/other id stopped", TimerOther),
    };
    for (const TextCase& c : kTexts) all.push_back(benchmark::RegisterBenchmark(c.name, TextEvent, c.text, Showing));
    all.push_back(benchmark::RegisterBenchmark("text/destid new destination (pair set up)", NewDestination));
    all.push_back(benchmark::RegisterBenchmark("control event", ControlEvent));
    all.push_back(benchmark::RegisterBenchmark("release/null", ReleaseNull));
    all.push_back(benchmark::RegisterBenchmark("record event", RecordEvent));
    all.push_back(benchmark::RegisterBenchmark("value event", ValueEvent));
    all.push_back(benchmark::RegisterBenchmark("unknown type 8", UnknownType));

    const std::string plain = kPlain;
    all.push_back(benchmark::RegisterBenchmark((plain + "report/other pair").c_str(), ReportOtherPair, PlainShowing));
    all.push_back(benchmark::RegisterBenchmark((plain + "report/new source").c_str(), ReportNewSource, 5, PlainShowing));
    all.push_back(benchmark::RegisterBenchmark((plain + "report/new source, 255-character text").c_str(),
                                               ReportNewSource, 255, PlainShowing));
    for (const TextCase& c : kTexts) {
        for (const char* name : kCompared)
            if (std::string(name) == c.name)
                all.push_back(benchmark::RegisterBenchmark((plain + c.name).c_str(), TextEvent, c.text, PlainShowing));
    }
    for (benchmark::internal::Benchmark* b : all)
        b->ComputeStatistics("min", [](const std::vector<double>& v) { return *std::min_element(v.begin(), v.end()); });

    KeepingReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    return CheckGoals(reporter.results) ? 1 : 0;
}

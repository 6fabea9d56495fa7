// What happens in a host session, as plain data: one struct per kind of
// transcript item, held in the variant HostEvent. The host core builds events
// and hands them to a Sink (sink.h); renderers turn them into text lines
// (text_renderer.h) or JSON records (json_renderer.h). Nothing here renders.
//
// Texts hold the bytes as the component or the script gave them (any bytes,
// invalid UTF-8 included); escaping is the renderers' job.
//
// The events of one component's traffic carry `component`: the name of a
// named component (create NAME), empty for the unnamed single one. Renderers
// name it only when it is not empty, so a script without named components
// reads as it always did.
#ifndef VESK_HOST_OUTPUT_HOST_EVENT_H
#define VESK_HOST_OUTPUT_HOST_EVENT_H

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <variant>
#include <vector>

#include "base/panel.h"
#include "base/report.h"
#include "base/router_link.h"

// What the "state" statement shows: the host's side of a session.
struct HostState {
    struct Timer {
        int id;
        int interval;
        int64_t due;
    };
    struct DeviceFile {
        std::string name;  // dev_NNN.ini
        int size;          // what the component reads from it
        std::string why;   // why that is 0 or less; empty otherwise
    };
    int64_t clock = 0;
    std::vector<Timer> timers;
    std::vector<std::pair<int, std::vector<Registration>>> registrations;
    // Routed destinations that are registered: device, destination (index),
    // source (info) and the source's name (text).
    std::vector<Report> routes;
    // Live routers, lowest device first.
    std::vector<RouterStatus> routers;
    // The open panels; they belong to the emulator, so a state event is valid
    // only while it is being emitted (a sink that keeps it copies them).
    std::vector<std::pair<std::string, const Panel*>> panels;
    std::string siteRoot;  // empty: QX_ROOT unset
    std::string siteSystem;
    std::vector<DeviceFile> files;

    // With named components: `timers`, `registrations`, `routes` and
    // `panels` above are the current component's, `component` its name, and
    // `components` every live named component in creation order. Without
    // them `components` is empty and the fields above are the one component's.
    struct Component {
        std::string name;
        std::vector<Timer> timers;
        std::vector<std::pair<int, std::vector<Registration>>> registrations;
        std::vector<Report> routes;
        std::vector<std::pair<std::string, const Panel*>> panels;
    };
    std::string component;
    std::vector<Component> components;
};

// Where in a script something happened. `file` empty: outside any script (the
// emulator driven alone); `line` 0: the script as a whole.
struct ScriptPlace {
    std::string file;
    int line = 0;
};

namespace event {

// A script starts ("stdin" at the prompt).
struct File {
    std::string name;
};
// A script statement, as written.
struct Statement {
    int line;
    std::string text;
};
// The host calls the component's create export with `path`.
struct Create {
    std::string path;
    std::string component = {};
};
// The create export returned no component.
struct CreatedNothing {
    std::string component = {};
};
// A command the component sent to the host. `replyShown`: the reply matters
// (PS, TG, XI) and is shown; `reply` null: there was none.
struct Command {
    std::string text;
    bool replyShown = false;
    std::optional<std::string> reply;
    std::string component = {};
};
// The component hands a reply back (type 5 into the host).
struct HandBack {
    std::string text;
    std::string component = {};
};
// Event 1: a router report.
struct RouterReport {
    Report report;
    std::string component = {};
};
// Event 2: a control event from the panel.
struct ControlAction {
    std::string control;
    std::string command;
    std::string component = {};
};
// Event 3: text from the hosting panel; null is passed as null.
struct PanelText {
    std::optional<std::string> text;
    std::string component = {};
};
// The component's answer to event 3; null: none.
struct Answer {
    std::optional<std::string> text;
    std::string component = {};
};
// Event 4: a timer fired.
struct TimerTick {
    int timer;
    std::string component = {};
};
// Event 5: the host hands an answer back.
struct Release {
    std::string text;
    std::string component = {};
};
// Any other event type, with its data word.
struct Word {
    int type;
    long long data;
    std::string component = {};
};
// The host deletes the component.
struct Delete {
    std::string component = {};
};
// What the emulator did (router, clock, ...).
struct Note {
    std::string text;
    std::string component = {};
};
// A live router's link changed, or it announced its size (`size` >= 0).
struct Link {
    int device;
    RouterLink link;
    int size = -1;
};
// Why the component or the router stayed silent; `about` names what was
// silent ("destid", "report", "poll", "registration", ...).
struct Silent {
    std::string about;
    std::string text;
    std::string component = {};
};
// A script's own caption ("say").
struct Caption {
    std::string text;
};
// The component broke the host contract while the statement at `place` ran.
struct Violation {
    ScriptPlace place;
    std::string text;
    std::string component = {};
};
// An expectation at `place` did not hold.
struct Failure {
    ScriptPlace place;
    std::string text;
};
// The script itself is wrong at `place`.
struct Error {
    ScriptPlace place;
    std::string text;
};
// A panel drawn on request; `panel` null: it is not open. A copy, so the
// event outlives the emulator's panel.
struct PanelShown {
    std::string name;
    std::optional<Panel> panel;
    std::string component = {};
};
// A script ended with these counts (passed when all are 0).
struct Result {
    std::string file;
    int failures;
    int violations;
    int errors;
};
// All scripts ended.
struct Summary {
    int passed;
    int failed;
};
// The "state" statement.
struct State {
    HostState state;
};
// An expectation at `line` held (shown at the prompt).
struct Ok {
    int line;
};
// Free text for the interactive prompt (help).
struct Message {
    std::string text;
};

}  // namespace event

using HostEvent =
    std::variant<event::File, event::Statement, event::Create, event::CreatedNothing, event::Command, event::HandBack,
                 event::RouterReport, event::ControlAction, event::PanelText, event::Answer, event::TimerTick,
                 event::Release, event::Word, event::Delete, event::Note, event::Link, event::Silent, event::Caption,
                 event::Violation, event::Failure, event::Error, event::PanelShown, event::Result, event::Summary,
                 event::State, event::Ok, event::Message>;

// The component an event belongs to; empty for the unnamed one and for
// events that belong to no component (statements, results, ...).
const std::string& componentOf(const HostEvent& event);

#endif  // VESK_HOST_OUTPUT_HOST_EVENT_H

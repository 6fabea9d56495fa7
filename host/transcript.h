// What the emulator tells a person: the traffic both ways in order, its own
// notes, failures and the panel drawing. As text, one item a line:
//
//   == FILE                       a script starts
//   > STATEMENT                   a script statement, as written
//   <- create "PATH"              the host calls the export
//   -> host  COMMAND  => REPLY    a command to the host; the reply is shown
//                                 for PS, TG and XI ("text" or none)
//   -> back  "TEXT"               the component hands a reply back (type 5)
//   <- event 1 device D index I info N "TEXT"     router report
//   <- event 2 control "ID" "COMMAND"             control event
//   <- event 3 "TEXT"             text from the hosting panel (or: null)
//      answer "TEXT"              its answer (or: none)
//   <- event 4 timer N
//   <- event 5 "TEXT"             the host hands an answer back
//   <- event T data N             any other type, with its data word
//   <- delete                     the host deletes the component
//   ** NOTE                       what the emulator did (router, clock, ...),
//                                 or why the component stayed silent
//      state ...                  the "state" statement: clock, timers,
//                                 registrations, routes, panels, site
//      ok                         an expectation held (at the prompt)
//   ## CAPTION                    a caption from the script ("say")
//   !! FILE:LINE: VIOLATION       the component broke the host contract while
//                                 the statement at FILE:LINE ran
//   FAIL FILE:LINE: MESSAGE       an expectation did not hold
//   ERROR FILE:LINE: MESSAGE      the script itself is wrong
//   -- FILE: passed | FAILED (...)
//   N passed, M failed
//
// Texts in quotes escape '"', '\', control characters and bytes that are not
// valid UTF-8; commands are shown as sent with only those escaped. With JSON
// each item is one record on its own line, "kind" first, with the same facts
// (the kinds are listed in docs/integrator-guide.md); texts are written as
// valid UTF-8 with each invalid byte replaced by U+FFFD.
#ifndef VESK_HOST_TRANSCRIPT_H
#define VESK_HOST_TRANSCRIPT_H

#include <cstdint>
#include <optional>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include <nlohmann/json_fwd.hpp>

#include "panel.h"
#include "router.h"

// What the "state" statement shows: the host's side of a session.
struct HostState {
    struct Timer {
        int id;
        int interval;
        int64_t due;
    };
    struct DeviceFile {
        std::string name;     // dev_NNN.ini
        int size;             // what the component reads from it
        std::string why;      // why that is 0 or less; empty otherwise
    };
    int64_t clock = 0;
    std::vector<Timer> timers;
    std::vector<std::pair<int, std::vector<Registration>>> registrations;
    // Routed destinations that are registered: device, destination (index),
    // source (info) and the source's name (text).
    std::vector<Report> routes;
    std::vector<std::pair<std::string, const Panel*>> panels;
    std::string siteRoot;  // empty: QX_ROOT unset
    std::string siteSystem;
    std::vector<DeviceFile> files;
};

class Transcript {
public:
    // Writes to `out`; failures, errors and violations also go to `alerts`
    // when it is not null.
    Transcript(std::ostream& out, bool json, std::ostream* alerts = nullptr);

    void file(const std::string& name);
    // The statement running now: later violations name it.
    void at(const std::string& file, int line);
    void statement(int line, const std::string& text);
    void create(const std::string& path);
    void createdNothing();
    // `showReply`: the reply matters (PS, TG, XI) and is shown, null as none.
    void command(const std::string& text, bool showReply, const char* reply);
    void handBack(const std::string& text);
    void textEvent(const char* text);
    void answer(const char* text);
    void reportEvent(const Report& report);
    void controlEvent(const std::string& id, const std::string& command);
    void timerEvent(int timer);
    void releaseEvent(const std::string& text);
    void wordEvent(int type, long long word);
    void deleteComponent();
    void note(const std::string& text);
    // Why the component (or the router) stayed silent: `about` names what
    // was silent ("destid", "report", "poll", "registration", ...).
    void silent(const std::string& about, const std::string& text);
    // A script's own caption ("say").
    void caption(const std::string& text);
    void violation(const std::string& text);
    void failure(const std::string& file, int line, const std::string& text);
    void error(const std::string& file, int line, const std::string& text);
    // `panel` null: the panel is not open.
    void panel(const std::string& name, const Panel* panel);
    void result(const std::string& file, int failures, int violations, int errors);
    void summary(int passed, int failed);
    void state(const HostState& state);
    // An expectation at `line` held (shown at the prompt).
    void ok(int line);
    // Free text for the interactive prompt (help); as JSON a "message".
    void message(const std::string& text);

private:
    using Record = nlohmann::ordered_json;
    // One item: `record` as JSON, or `text` (one line or more, no final line
    // end) as text.
    void emit(Record record, const std::string& text);
    void alert(const std::string& text);
    // A failure or an error at a place of a script.
    void placed(const char* kindName, const char* label, const std::string& file, int line, const std::string& text);

    std::ostream& out_;
    bool json_;
    std::ostream* alerts_;
    std::string file_;
    int line_ = 0;
};

#endif  // VESK_HOST_TRANSCRIPT_H

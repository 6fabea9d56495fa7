// The transcript as text, one item a line:
//
//   == FILE                       a script starts
//   > STATEMENT                   a script statement, as written
//   <- create "PATH"              the host calls the export
//      component: none            the export returned none
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
//   ** NOTE                       what the emulator did (router, its link, clock, ...),
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
// Every line of a named component's traffic starts with "[NAME] " (the
// unnamed single component's lines have no such mark); with named
// components "state" lists each under "component NAME".
//
// Texts in quotes escape '"', '\', control characters and bytes that are not
// valid UTF-8; commands are shown as sent with only those escaped. A panel is
// drawn in a box (drawPanel); a message is shown as it stands.
#ifndef VESK_HOST_OUTPUT_TEXT_RENDERER_H
#define VESK_HOST_OUTPUT_TEXT_RENDERER_H

#include <optional>
#include <ostream>
#include <string>

#include "output/sink.h"

// The text of `event`: one line or more, without the final line end; empty
// for an event the text transcript leaves out (shownAsText).
std::string renderText(const HostEvent& event);
// False for events that have no line in the text transcript: a router link's
// changes that repeat (see linkNote) and size announcements.
bool shownAsText(const HostEvent& event);
// The note a router link change reads as ("router device 5 connected to
// 127.0.0.1:9990"), without "** "; null when it is left out: a first connect
// (no note), a repeated quick close (only every tenth is noted, as a count)
// or a size announcement.
std::optional<std::string> linkNote(const event::Link& event);

// The alert line for a failure, an error or a violation ("FILE:LINE: TEXT",
// "FILE:LINE: error: TEXT", "FILE:LINE: violation: TEXT"; without a place
// just "violation: TEXT"; a named component's "violation: [NAME] TEXT"),
// without line end and unescaped; null for any other event.
std::optional<std::string> alertText(const HostEvent& event);

class TextRenderer : public Sink {
public:
    // Writes each event's text and a line end to `out`, flushed. Failures,
    // errors and violations also go to `alerts` (alertText), when it is not
    // null. Neither stream is owned; both must outlive the renderer.
    explicit TextRenderer(std::ostream& out, std::ostream* alerts = nullptr);
    void emit(const HostEvent& event) override;

private:
    std::ostream& out_;
    std::ostream* alerts_;
};

// Writes alertText of `event` and a line end to `alerts`, flushed; nothing
// for the other events. Both renderers use it.
void writeAlert(std::ostream& alerts, const HostEvent& event);

#endif  // VESK_HOST_OUTPUT_TEXT_RENDERER_H

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
//   ** NOTE                       what the emulator did (router, clock, ...)
//   ## CAPTION                    a caption from the script ("say")
//   !! VIOLATION                  the component broke the host contract
//   FAIL FILE:LINE: MESSAGE       an expectation did not hold
//   ERROR FILE:LINE: MESSAGE      the script itself is wrong
//   -- FILE: passed | FAILED (...)
//   N passed, M failed
//
// Texts in quotes escape '"', '\' and control or non-ASCII bytes; commands are
// shown as sent with only the bytes escaped. With JSON each item is one object
// on its own line with a "kind" field and the same facts.
#ifndef VESK_HOST_TRANSCRIPT_H
#define VESK_HOST_TRANSCRIPT_H

#include <optional>
#include <ostream>
#include <string>

#include "panel.h"
#include "router.h"

class Transcript {
public:
    // Writes to `out`; failures, errors and violations also go to `alerts`
    // when it is not null.
    Transcript(std::ostream& out, bool json, std::ostream* alerts = nullptr);

    void file(const std::string& name);
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
    // A script's own caption ("say").
    void caption(const std::string& text);
    void violation(const std::string& text);
    void failure(const std::string& file, int line, const std::string& text);
    void error(const std::string& file, int line, const std::string& text);
    // `panel` null: the panel is not open.
    void panel(const std::string& name, const Panel* panel);
    void result(const std::string& file, int failures, int violations, int errors);
    void summary(int passed, int failed);
    // Free text for the interactive prompt (help); as JSON a "message".
    void message(const std::string& text);

private:
    void line(const std::string& text);
    void alert(const std::string& text);

    std::ostream& out_;
    bool json_;
    std::ostream* alerts_;
};

#endif  // VESK_HOST_TRANSCRIPT_H

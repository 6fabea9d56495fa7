// What the emulator tells a person: the traffic both ways in order, its own
// notes, failures and the panel drawing. Each method builds one host event
// (output/host_event.h) and hands it to a sink (output/sink.h): the text
// renderer (output/text_renderer.h shows the lines) or the JSON renderer
// (output/json_renderer.h, one record a line). The transcript keeps the place
// of the statement running now, which violations name.
#ifndef VESK_HOST_OUTPUT_TRANSCRIPT_H
#define VESK_HOST_OUTPUT_TRANSCRIPT_H

#include <memory>
#include <ostream>
#include <string>
#include <utility>

#include "output/host_event.h"
#include "output/sink.h"

class Transcript {
public:
    // Writes to `out` as text, or as JSON when `json`; failures, errors and
    // violations also go to `alerts` when it is not null. The transcript owns
    // the renderer; the streams must outlive it.
    Transcript(std::ostream& out, bool json, std::ostream* alerts = nullptr);
    // Hands every event to `sink`, which is not owned and must outlive it.
    explicit Transcript(Sink& sink);
    // One component's transcript: the events of its traffic carry
    // `component` (empty: the unnamed one, whose events carry nothing), and
    // go to `site`'s sink; violations name `site`'s place. `site` must
    // outlive it.
    Transcript(Transcript& site, std::string component);
    Transcript(const Transcript&) = delete;
    Transcript& operator=(const Transcript&) = delete;

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
    // A live router's link changed, or it announced its size (`size` >= 0).
    void link(int device, const RouterLink& link, int size = -1);
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

    const std::string& component() const { return component_; }

private:
    // Emits an event of the component's traffic, stamped with its name.
    template <class Event>
    void speak(Event event);
    const ScriptPlace& place() const { return site_ ? site_->place() : place_; }

    std::unique_ptr<Sink> renderer_;  // null when the sink is the caller's
    Sink& sink_;
    ScriptPlace place_;
    const Transcript* site_ = nullptr;
    std::string component_;
};

#endif  // VESK_HOST_OUTPUT_TRANSCRIPT_H

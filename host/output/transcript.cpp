#include "output/transcript.h"

#include "output/json_renderer.h"
#include "output/text_renderer.h"

static std::unique_ptr<Sink> makeRenderer(std::ostream& out, bool json, std::ostream* alerts) {
    if (json) return std::make_unique<JsonRenderer>(out, alerts);
    return std::make_unique<TextRenderer>(out, alerts);
}

Transcript::Transcript(std::ostream& out, bool json, std::ostream* alerts)
    : renderer_(makeRenderer(out, json, alerts)), sink_(*renderer_) {}

Transcript::Transcript(Sink& sink) : sink_(sink) {}

Transcript::Transcript(Transcript& site, std::string component)
    : sink_(site.sink_), site_(&site), component_(std::move(component)) {}

template <class Event>
void Transcript::speak(Event event) {
    event.component = component_;
    sink_.emit(event);
}

// A text that may be null.
static std::optional<std::string> optionalText(const char* text) {
    return text ? std::optional<std::string>(text) : std::nullopt;
}

void Transcript::file(const std::string& name) {
    place_ = ScriptPlace{name, 0};
    sink_.emit(event::File{name});
}

void Transcript::at(const std::string& file, int line) { place_ = ScriptPlace{file, line}; }

void Transcript::statement(int line, const std::string& text) { sink_.emit(event::Statement{line, text}); }

void Transcript::create(const std::string& path) { speak(event::Create{path}); }

void Transcript::createdNothing() { speak(event::CreatedNothing{}); }

void Transcript::command(const std::string& text, bool showReply, const char* reply) {
    speak(event::Command{text, showReply, showReply ? optionalText(reply) : std::nullopt});
}

void Transcript::handBack(const std::string& text) { speak(event::HandBack{text}); }

void Transcript::textEvent(const char* text) { speak(event::PanelText{optionalText(text)}); }

void Transcript::answer(const char* text) { speak(event::Answer{optionalText(text)}); }

void Transcript::reportEvent(const Report& report) { speak(event::RouterReport{report}); }

void Transcript::controlEvent(const std::string& id, const std::string& command) {
    speak(event::ControlAction{id, command});
}

void Transcript::timerEvent(int timer) { speak(event::TimerTick{timer}); }

void Transcript::releaseEvent(const std::string& text) { speak(event::Release{text}); }

void Transcript::wordEvent(int type, long long word) { speak(event::Word{type, word}); }

void Transcript::deleteComponent() { speak(event::Delete{}); }

void Transcript::note(const std::string& text) { speak(event::Note{text}); }

void Transcript::link(int device, const RouterLink& link, int size) { sink_.emit(event::Link{device, link, size}); }

void Transcript::silent(const std::string& about, const std::string& text) {
    speak(event::Silent{about, text});
}

void Transcript::caption(const std::string& text) { sink_.emit(event::Caption{text}); }

void Transcript::violation(const std::string& text) { speak(event::Violation{place(), text}); }

void Transcript::failure(const std::string& file, int line, const std::string& text) {
    sink_.emit(event::Failure{ScriptPlace{file, line}, text});
}

void Transcript::error(const std::string& file, int line, const std::string& text) {
    sink_.emit(event::Error{ScriptPlace{file, line}, text});
}

void Transcript::panel(const std::string& name, const Panel* panel) {
    speak(event::PanelShown{name, panel ? std::optional<Panel>(*panel) : std::nullopt});
}

void Transcript::result(const std::string& file, int failures, int violations, int errors) {
    sink_.emit(event::Result{file, failures, violations, errors});
}

void Transcript::summary(int passed, int failed) { sink_.emit(event::Summary{passed, failed}); }

void Transcript::state(const HostState& state) { sink_.emit(event::State{state}); }

void Transcript::ok(int line) { sink_.emit(event::Ok{line}); }

void Transcript::message(const std::string& text) { sink_.emit(event::Message{text}); }

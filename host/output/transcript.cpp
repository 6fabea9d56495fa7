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

void Transcript::create(const std::string& path) { sink_.emit(event::Create{path}); }

void Transcript::createdNothing() { sink_.emit(event::CreatedNothing{}); }

void Transcript::command(const std::string& text, bool showReply, const char* reply) {
    sink_.emit(event::Command{text, showReply, showReply ? optionalText(reply) : std::nullopt});
}

void Transcript::handBack(const std::string& text) { sink_.emit(event::HandBack{text}); }

void Transcript::textEvent(const char* text) { sink_.emit(event::PanelText{optionalText(text)}); }

void Transcript::answer(const char* text) { sink_.emit(event::Answer{optionalText(text)}); }

void Transcript::reportEvent(const Report& report) { sink_.emit(event::RouterReport{report}); }

void Transcript::controlEvent(const std::string& id, const std::string& command) {
    sink_.emit(event::ControlAction{id, command});
}

void Transcript::timerEvent(int timer) { sink_.emit(event::TimerTick{timer}); }

void Transcript::releaseEvent(const std::string& text) { sink_.emit(event::Release{text}); }

void Transcript::wordEvent(int type, long long word) { sink_.emit(event::Word{type, word}); }

void Transcript::deleteComponent() { sink_.emit(event::Delete{}); }

void Transcript::note(const std::string& text) { sink_.emit(event::Note{text}); }

void Transcript::link(int device, const RouterLink& link, int size) { sink_.emit(event::Link{device, link, size}); }

void Transcript::silent(const std::string& about, const std::string& text) {
    sink_.emit(event::Silent{about, text});
}

void Transcript::caption(const std::string& text) { sink_.emit(event::Caption{text}); }

void Transcript::violation(const std::string& text) { sink_.emit(event::Violation{place_, text}); }

void Transcript::failure(const std::string& file, int line, const std::string& text) {
    sink_.emit(event::Failure{ScriptPlace{file, line}, text});
}

void Transcript::error(const std::string& file, int line, const std::string& text) {
    sink_.emit(event::Error{ScriptPlace{file, line}, text});
}

void Transcript::panel(const std::string& name, const Panel* panel) {
    sink_.emit(event::PanelShown{name, panel ? std::optional<Panel>(*panel) : std::nullopt});
}

void Transcript::result(const std::string& file, int failures, int violations, int errors) {
    sink_.emit(event::Result{file, failures, violations, errors});
}

void Transcript::summary(int passed, int failed) { sink_.emit(event::Summary{passed, failed}); }

void Transcript::state(const HostState& state) { sink_.emit(event::State{state}); }

void Transcript::ok(int line) { sink_.emit(event::Ok{line}); }

void Transcript::message(const std::string& text) { sink_.emit(event::Message{text}); }

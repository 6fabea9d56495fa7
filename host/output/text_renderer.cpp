#include "output/text_renderer.h"

#include "base/text.h"

// A text that may be null, quoted, or `none` in its place.
static std::string quotedOr(const std::optional<std::string>& text, const char* none) {
    return text ? quoteText(*text) : none;
}

// "FILE:LINE", or "FILE" for the script as a whole (line 0).
static std::string placeText(const ScriptPlace& place) {
    return place.line > 0 ? place.file + ":" + std::to_string(place.line) : place.file;
}

static std::string resultText(const event::Result& r) {
    if (r.failures == 0 && r.violations == 0 && r.errors == 0) return "-- " + escapeControl(r.file) + ": passed";
    std::string why;
    auto add = [&why](int n, const char* one, const char* many) {
        if (!n) return;
        if (!why.empty()) why += ", ";
        why += std::to_string(n) + " " + (n == 1 ? one : many);
    };
    add(r.failures, "failure", "failures");
    add(r.violations, "violation", "violations");
    add(r.errors, "error", "errors");
    return "-- " + escapeControl(r.file) + ": FAILED (" + why + ")";
}

// Timers, registrations and routes of one component, each line after a line
// end and `indent`.
static std::string followingText(const std::vector<HostState::Timer>& timers,
                                 const std::vector<std::pair<int, std::vector<Registration>>>& registrations,
                                 const std::vector<Report>& routes, const std::string& indent) {
    std::string text;
    for (const HostState::Timer& t : timers)
        text += "\n" + indent + "timer " + std::to_string(t.id) + " every " + std::to_string(t.interval) +
                ", due at " + std::to_string(t.due);
    if (timers.empty()) text += "\n" + indent + "no timer running";
    for (const auto& [device, ranges] : registrations)
        text += "\n" + indent + "registered device " + std::to_string(device) + ": " + rangesText(ranges);
    if (registrations.empty()) text += "\n" + indent + "nothing registered";
    for (const Report& route : routes)
        text += "\n" + indent + "route device " + std::to_string(route.device) + " destination " +
                std::to_string(route.index) + ": source " + std::to_string(route.info) + " " + quoteText(route.text);
    return text;
}

// One component's open panels, each line after a line end and `indent`.
static std::string panelsText(const std::vector<std::pair<std::string, const Panel*>>& panels,
                              const std::string& indent) {
    std::string text;
    for (const auto& [name, panel] : panels) {
        for (const Control& c : panel->controls) {
            text += "\n" + indent + "panel " + escapeBytes(name) + " " + escapeBytes(c.name) + ":";
            for (const auto& [key, value] : c.params) text += " " + escapeBytes(key) + "=" + quoteText(value);
        }
    }
    if (panels.empty()) text += "\n" + indent + "no panel open";
    return text;
}

// The state's clock, its components' timers, registrations, routes and
// panels, its live routers, site and device files. The unnamed component's
// panels come after the routers, as they always have.
static std::string stateText(const HostState& s) {
    std::string text = "   clock " + std::to_string(s.clock);
    if (s.components.empty()) text += followingText(s.timers, s.registrations, s.routes, "   ");
    for (const HostState::Component& c : s.components)
        text += "\n   component " + escapeBytes(c.name) + followingText(c.timers, c.registrations, c.routes, "      ") +
                panelsText(c.panels, "      ");
    for (const RouterStatus& router : s.routers)
        text += "\n   router device " + std::to_string(router.device) + ": " + escapeBytes(router.text);
    if (s.components.empty()) text += panelsText(s.panels, "   ");
    text += s.siteRoot.empty() ? "\n   site: none (QX_ROOT unset)"
                               : "\n   site " + quoteText(s.siteRoot) + " system " + quoteText(s.siteSystem);
    for (const HostState::DeviceFile& f : s.files)
        text += "\n   " + escapeBytes(f.name) + ": DatabaseSize_1 " + std::to_string(f.size) +
                (f.why.empty() ? "" : " (" + escapeBytes(f.why) + ")");
    return text;
}

static std::string panelText(const event::PanelShown& e) {
    if (!e.panel) return "   (panel " + escapeBytes(e.name) + " is not open)";
    std::string drawing = drawPanel(e.name, *e.panel);
    drawing.pop_back();  // the renderer ends it
    return drawing;
}

std::optional<std::string> linkNote(const event::Link& e) {
    const RouterLink& l = e.link;
    const std::string device = "router device " + std::to_string(e.device) + " ";
    if (e.size >= 0) return std::nullopt;
    switch (l.state) {
        case RouterLink::State::Connecting:
            if (l.replaces.empty()) return std::nullopt;
            return device + "follows " + l.protocol + "://" + l.address + " now, no longer " + l.replaces;
        case RouterLink::State::Connected:
            if (l.repeats) return std::nullopt;
            return device + "connected to " + l.address;
        case RouterLink::State::Lost:
            if (l.repeats == 0) return device + "lost the connection to " + l.address + ": " + l.why + "; connecting again";
            if (l.repeats % 10) return std::nullopt;
            return device + "lost the connection to " + l.address + " " + std::to_string(l.repeats) +
                   " more times, each within a second of connecting (" + l.why + "); connecting again less often";
        case RouterLink::State::Refused:
            return device + "cannot connect to " + l.address + " (" + l.why + "); trying again every " + l.retry +
                   " at most";
    }
    return std::nullopt;
}

bool shownAsText(const HostEvent& event) {
    const auto* link = std::get_if<event::Link>(&event);
    return !link || linkNote(*link);
}

// The item's text for each kind of event.
struct TextOf {
    std::string operator()(const event::File& e) { return "== " + escapeControl(e.name); }
    std::string operator()(const event::Statement& e) { return "> " + escapeControl(e.text); }
    std::string operator()(const event::Create& e) { return "<- create " + quoteText(e.path); }
    std::string operator()(const event::CreatedNothing&) { return "   component: none"; }
    std::string operator()(const event::Command& e) {
        return "-> host  " + escapeBytes(e.text) + (e.replyShown ? "  => " + quotedOr(e.reply, "none") : "");
    }
    std::string operator()(const event::HandBack& e) { return "-> back  " + quoteText(e.text); }
    std::string operator()(const event::RouterReport& e) {
        const Report& r = e.report;
        return "<- event 1 device " + std::to_string(r.device) + " index " + std::to_string(r.index) + " info " +
               std::to_string(r.info) + " " + quoteText(r.text);
    }
    std::string operator()(const event::ControlAction& e) {
        return "<- event 2 control " + quoteText(e.control) + " " + quoteText(e.command);
    }
    std::string operator()(const event::PanelText& e) { return "<- event 3 " + quotedOr(e.text, "null"); }
    std::string operator()(const event::Answer& e) { return "   answer " + quotedOr(e.text, "none"); }
    std::string operator()(const event::TimerTick& e) { return "<- event 4 timer " + std::to_string(e.timer); }
    std::string operator()(const event::Release& e) { return "<- event 5 " + quoteText(e.text); }
    std::string operator()(const event::Word& e) {
        return "<- event " + std::to_string(e.type) + " data " + std::to_string(e.data);
    }
    std::string operator()(const event::Delete&) { return "<- delete"; }
    std::string operator()(const event::Note& e) { return "** " + e.text; }
    std::string operator()(const event::Link& e) {
        std::optional<std::string> note = linkNote(e);
        return note ? "** " + *note : "";
    }
    std::string operator()(const event::Silent& e) { return "** " + e.text; }
    std::string operator()(const event::Caption& e) { return "## " + escapeControl(e.text); }
    std::string operator()(const event::Violation& e) {
        // Outside any script (the emulator driven alone) there is no place.
        return "!! " + (e.place.file.empty() ? "" : escapeControl(placeText(e.place)) + ": ") + e.text;
    }
    std::string operator()(const event::Failure& e) { return "FAIL " + escapeControl(placeText(e.place)) + ": " + e.text; }
    std::string operator()(const event::Error& e) { return "ERROR " + escapeControl(placeText(e.place)) + ": " + e.text; }
    std::string operator()(const event::PanelShown& e) { return panelText(e); }
    std::string operator()(const event::Result& e) { return resultText(e); }
    std::string operator()(const event::Summary& e) {
        return std::to_string(e.passed) + " passed, " + std::to_string(e.failed) + " failed";
    }
    std::string operator()(const event::State& e) { return stateText(e.state); }
    std::string operator()(const event::Ok&) { return "   ok"; }
    std::string operator()(const event::Message& e) {
        const std::string& s = e.text;
        return !s.empty() && s.back() == '\n' ? s.substr(0, s.size() - 1) : s;
    }
};

// "[NAME] " before every line of `text`.
static std::string named(const std::string& component, const std::string& text) {
    const std::string prefix = "[" + escapeBytes(component) + "] ";
    std::string out = prefix;
    out.reserve(text.size() + prefix.size());
    for (char c : text) {
        out += c;
        if (c == '\n') out += prefix;
    }
    return out;
}

std::string renderText(const HostEvent& event) {
    const std::string& component = componentOf(event);
    if (component.empty()) return std::visit(TextOf{}, event);
    return named(component, std::visit(TextOf{}, event));
}

std::optional<std::string> alertText(const HostEvent& event) {
    if (const auto* v = std::get_if<event::Violation>(&event))
        return (v->place.file.empty() ? "" : placeText(v->place) + ": ") + "violation: " +
               (v->component.empty() ? "" : "[" + v->component + "] ") + v->text;
    if (const auto* f = std::get_if<event::Failure>(&event)) return placeText(f->place) + ": " + f->text;
    if (const auto* e = std::get_if<event::Error>(&event)) return placeText(e->place) + ": error: " + e->text;
    return std::nullopt;
}

void writeAlert(std::ostream& alerts, const HostEvent& event) {
    if (std::optional<std::string> text = alertText(event)) {
        alerts << *text << '\n';
        alerts.flush();
    }
}

TextRenderer::TextRenderer(std::ostream& out, std::ostream* alerts) : out_(out), alerts_(alerts) {}

void TextRenderer::emit(const HostEvent& event) {
    if (!shownAsText(event)) return;
    out_ << renderText(event) << '\n';
    out_.flush();
    if (alerts_) writeAlert(*alerts_, event);
}

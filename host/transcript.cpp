#include "transcript.h"

#include <nlohmann/json.hpp>

#include "text.h"

Transcript::Transcript(std::ostream& out, bool json, std::ostream* alerts) : out_(out), json_(json), alerts_(alerts) {}

// Strings in a record may hold any bytes; JSON needs valid UTF-8.
static void makeValidUtf8(nlohmann::ordered_json& value) {
    if (value.is_string()) {
        value = validUtf8(value.get_ref<const std::string&>());
    } else if (value.is_structured()) {
        for (auto& item : value) makeValidUtf8(item);
    }
}

void Transcript::emit(Record record, const std::string& text) {
    if (json_) {
        makeValidUtf8(record);
        out_ << record.dump() << '\n';
    } else {
        out_ << text << '\n';
    }
    out_.flush();
}

void Transcript::alert(const std::string& text) {
    if (alerts_) {
        *alerts_ << text << '\n';
        alerts_->flush();
    }
}

static nlohmann::ordered_json kind(const char* name) {
    nlohmann::ordered_json record;
    record["kind"] = name;
    return record;
}

// A text that may be null.
static nlohmann::ordered_json optionalText(const char* text) {
    return text ? nlohmann::ordered_json(text) : nlohmann::ordered_json(nullptr);
}

void Transcript::file(const std::string& name) {
    file_ = name;
    line_ = 0;
    Record r = kind("file");
    r["name"] = name;
    emit(r, "== " + escapeControl(name));
}

void Transcript::at(const std::string& file, int line) {
    file_ = file;
    line_ = line;
}

void Transcript::statement(int number, const std::string& text) {
    Record r = kind("statement");
    r["line"] = number;
    r["text"] = text;
    emit(r, "> " + escapeControl(text));
}

void Transcript::create(const std::string& path) {
    Record r = kind("create");
    r["path"] = path;
    emit(r, "<- create " + quoteText(path));
}

void Transcript::createdNothing() {
    Record r = kind("created");
    r["component"] = nullptr;
    emit(r, "   component: none");
}

void Transcript::command(const std::string& text, bool showReply, const char* reply) {
    Record r = kind("command");
    r["text"] = text;
    std::string line = "-> host  " + escapeBytes(text);
    if (showReply) {
        r["reply"] = optionalText(reply);
        line += std::string("  => ") + (reply ? quoteText(reply) : "none");
    }
    emit(r, line);
}

void Transcript::handBack(const std::string& text) {
    Record r = kind("handback");
    r["text"] = text;
    emit(r, "-> back  " + quoteText(text));
}

void Transcript::textEvent(const char* text) {
    Record r = kind("event");
    r["type"] = 3;
    r["text"] = optionalText(text);
    emit(r, std::string("<- event 3 ") + (text ? quoteText(text) : "null"));
}

void Transcript::answer(const char* text) {
    Record r = kind("answer");
    r["text"] = optionalText(text);
    emit(r, std::string("   answer ") + (text ? quoteText(text) : "none"));
}

void Transcript::reportEvent(const Report& report) {
    Record r = kind("event");
    r["type"] = 1;
    r["device"] = report.device;
    r["index"] = report.index;
    r["info"] = report.info;
    r["text"] = report.text;
    emit(r, "<- event 1 device " + std::to_string(report.device) + " index " + std::to_string(report.index) + " info " +
                std::to_string(report.info) + " " + quoteText(report.text));
}

void Transcript::controlEvent(const std::string& id, const std::string& command) {
    Record r = kind("event");
    r["type"] = 2;
    r["control"] = id;
    r["command"] = command;
    emit(r, "<- event 2 control " + quoteText(id) + " " + quoteText(command));
}

void Transcript::timerEvent(int timer) {
    Record r = kind("event");
    r["type"] = 4;
    r["timer"] = timer;
    emit(r, "<- event 4 timer " + std::to_string(timer));
}

void Transcript::releaseEvent(const std::string& text) {
    Record r = kind("event");
    r["type"] = 5;
    r["text"] = text;
    emit(r, "<- event 5 " + quoteText(text));
}

void Transcript::wordEvent(int type, long long word) {
    Record r = kind("event");
    r["type"] = type;
    r["data"] = word;
    emit(r, "<- event " + std::to_string(type) + " data " + std::to_string(word));
}

void Transcript::deleteComponent() { emit(kind("delete"), "<- delete"); }

void Transcript::note(const std::string& text) {
    Record r = kind("note");
    r["text"] = text;
    emit(r, "** " + text);
}

void Transcript::silent(const std::string& about, const std::string& text) {
    Record r = kind("silent");
    r["about"] = about;
    r["text"] = text;
    emit(r, "** " + text);
}

void Transcript::caption(const std::string& text) {
    Record r = kind("caption");
    r["text"] = text;
    emit(r, "## " + escapeControl(text));
}

// "FILE:LINE", or "FILE" for the script as a whole (line 0).
static std::string place(const std::string& file, int line) {
    return line > 0 ? file + ":" + std::to_string(line) : file;
}

void Transcript::violation(const std::string& text) {
    const std::string where = place(file_, line_);
    Record r = kind("violation");
    r["file"] = file_;
    r["line"] = line_;
    r["text"] = text;
    // Outside any script (the emulator driven alone) there is no place.
    emit(r, "!! " + (file_.empty() ? "" : escapeControl(where) + ": ") + text);
    alert((file_.empty() ? "" : where + ": ") + "violation: " + text);
}

void Transcript::placed(const char* kindName, const char* label, const std::string& file, int line,
                        const std::string& text) {
    const std::string where = place(file, line);
    Record r = kind(kindName);
    r["file"] = file;
    r["line"] = line;
    r["text"] = text;
    emit(r, std::string(label) + " " + escapeControl(where) + ": " + text);
    alert(where + (kindName == std::string("error") ? ": error: " : ": ") + text);
}

void Transcript::failure(const std::string& file, int line, const std::string& text) {
    placed("failure", "FAIL", file, line, text);
}

void Transcript::error(const std::string& file, int line, const std::string& text) {
    placed("error", "ERROR", file, line, text);
}

void Transcript::panel(const std::string& name, const Panel* panel) {
    Record r = kind("panel");
    r["name"] = name;
    r["open"] = panel != nullptr;
    if (!panel) {
        emit(r, "   (panel " + escapeBytes(name) + " is not open)");
        return;
    }
    Record controls = Record::array();
    for (const Control& c : panel->controls) {
        Record params = Record::object();
        for (const auto& [key, value] : c.params) params[key] = value;
        controls.push_back(Record{{"name", c.name}, {"kind", c.kind}, {"params", params}});
    }
    r["controls"] = controls;
    std::string drawing = drawPanel(name, *panel);
    drawing.pop_back();  // emit() ends it
    emit(r, drawing);
}

void Transcript::result(const std::string& file, int failures, int violations, int errors) {
    const bool passed = failures == 0 && violations == 0 && errors == 0;
    Record r = kind("result");
    r["file"] = file;
    r["passed"] = passed;
    r["failures"] = failures;
    r["violations"] = violations;
    r["errors"] = errors;
    std::string why;
    auto add = [&why](int n, const char* one, const char* many) {
        if (!n) return;
        if (!why.empty()) why += ", ";
        why += std::to_string(n) + " " + (n == 1 ? one : many);
    };
    add(failures, "failure", "failures");
    add(violations, "violation", "violations");
    add(errors, "error", "errors");
    emit(r, "-- " + escapeControl(file) + (passed ? ": passed" : ": FAILED (" + why + ")"));
}

void Transcript::summary(int passed, int failed) {
    Record r = kind("summary");
    r["passed"] = passed;
    r["failed"] = failed;
    emit(r, std::to_string(passed) + " passed, " + std::to_string(failed) + " failed");
}

void Transcript::message(const std::string& text) {
    Record r = kind("message");
    r["text"] = text;
    std::string s = text;
    if (!s.empty() && s.back() == '\n') s.pop_back();
    emit(r, s);
}

void Transcript::ok(int line) {
    Record r = kind("ok");
    r["line"] = line;
    emit(r, "   ok");
}

static std::string rangesText(const std::vector<Registration>& ranges) {
    std::string out;
    for (const Registration& g : ranges)
        out += (out.empty() ? "" : " ") + std::to_string(g.first) + "-" + std::to_string(g.last);
    return out;
}

void Transcript::state(const HostState& s) {
    Record r = kind("state");
    r["clock"] = s.clock;
    std::string text = "   clock " + std::to_string(s.clock);

    Record timers = Record::array();
    for (const HostState::Timer& t : s.timers) {
        timers.push_back(Record{{"id", t.id}, {"interval", t.interval}, {"due", t.due}});
        text += "\n   timer " + std::to_string(t.id) + " every " + std::to_string(t.interval) + ", due at " +
                std::to_string(t.due);
    }
    if (s.timers.empty()) text += "\n   no timer running";
    r["timers"] = timers;

    Record registrations = Record::array();
    for (const auto& [device, ranges] : s.registrations) {
        Record list = Record::array();
        for (const Registration& g : ranges) list.push_back(Record{{"first", g.first}, {"last", g.last}});
        registrations.push_back(Record{{"device", device}, {"ranges", list}});
        text += "\n   registered device " + std::to_string(device) + ": " + rangesText(ranges);
    }
    if (s.registrations.empty()) text += "\n   nothing registered";
    r["registrations"] = registrations;

    Record routes = Record::array();
    for (const Report& route : s.routes) {
        routes.push_back(Record{
            {"device", route.device}, {"destination", route.index}, {"source", route.info}, {"name", route.text}});
        text += "\n   route device " + std::to_string(route.device) + " destination " + std::to_string(route.index) +
                ": source " + std::to_string(route.info) + " " + quoteText(route.text);
    }
    r["routes"] = routes;

    Record panels = Record::array();
    for (const auto& [name, panel] : s.panels) {
        Record controls = Record::array();
        for (const Control& c : panel->controls) {
            Record params = Record::object();
            std::string line;
            for (const auto& [key, value] : c.params) {
                params[key] = value;
                line += " " + escapeBytes(key) + "=" + quoteText(value);
            }
            controls.push_back(Record{{"name", c.name}, {"params", params}});
            text += "\n   panel " + escapeBytes(name) + " " + escapeBytes(c.name) + ":" + line;
        }
        panels.push_back(Record{{"name", name}, {"controls", controls}});
    }
    if (s.panels.empty()) text += "\n   no panel open";
    r["panels"] = panels;

    r["site"] = s.siteRoot.empty() ? Record(nullptr) : Record{{"root", s.siteRoot}, {"system", s.siteSystem}};
    text += s.siteRoot.empty() ? "\n   site: none (QX_ROOT unset)"
                               : "\n   site " + quoteText(s.siteRoot) + " system " + quoteText(s.siteSystem);
    Record files = Record::array();
    for (const HostState::DeviceFile& f : s.files) {
        files.push_back(Record{{"name", f.name}, {"size", f.size}, {"why", f.why}});
        text += "\n   " + escapeBytes(f.name) + ": DatabaseSize_1 " + std::to_string(f.size) +
                (f.why.empty() ? "" : " (" + escapeBytes(f.why) + ")");
    }
    r["files"] = files;
    emit(r, text);
}

#include "transcript.h"

#include "text.h"

Transcript::Transcript(std::ostream& out, bool json, std::ostream* alerts) : out_(out), json_(json), alerts_(alerts) {}

void Transcript::line(const std::string& text) {
    out_ << text << '\n';
    out_.flush();
}

void Transcript::alert(const std::string& text) {
    if (alerts_) {
        *alerts_ << text << '\n';
        alerts_->flush();
    }
}

static std::string field(const char* name, const std::string& jsonValue) {
    return std::string(",\"") + name + "\":" + jsonValue;
}

static std::string kind(const char* name) { return std::string("{\"kind\":\"") + name + "\""; }

static std::string optionalText(const char* text) { return text ? jsonString(text) : "null"; }

void Transcript::file(const std::string& name) {
    line(json_ ? kind("file") + field("name", jsonString(name)) + "}" : "== " + name);
}

void Transcript::statement(int number, const std::string& text) {
    line(json_ ? kind("statement") + field("line", std::to_string(number)) + field("text", jsonString(text)) + "}"
               : "> " + escapeControl(text));
}

void Transcript::create(const std::string& path) {
    line(json_ ? kind("create") + field("path", jsonString(path)) + "}" : "<- create " + quoteText(path));
}

void Transcript::createdNothing() {
    line(json_ ? kind("created") + field("component", "null") + "}" : "   component: none");
}

void Transcript::command(const std::string& text, bool showReply, const char* reply) {
    if (json_) {
        std::string s = kind("command") + field("text", jsonString(text));
        if (showReply) s += field("reply", optionalText(reply));
        line(s + "}");
        return;
    }
    std::string s = "-> host  " + escapeBytes(text);
    if (showReply) s += std::string("  => ") + (reply ? quoteText(reply) : "none");
    line(s);
}

void Transcript::handBack(const std::string& text) {
    line(json_ ? kind("handback") + field("text", jsonString(text)) + "}" : "-> back  " + quoteText(text));
}

void Transcript::textEvent(const char* text) {
    if (json_)
        line(kind("event") + field("type", "3") + field("text", optionalText(text)) + "}");
    else
        line(std::string("<- event 3 ") + (text ? quoteText(text) : "null"));
}

void Transcript::answer(const char* text) {
    if (json_)
        line(kind("answer") + field("text", optionalText(text)) + "}");
    else
        line(std::string("   answer ") + (text ? quoteText(text) : "none"));
}

void Transcript::reportEvent(const Report& r) {
    if (json_)
        line(kind("event") + field("type", "1") + field("device", std::to_string(r.device)) +
             field("index", std::to_string(r.index)) + field("info", std::to_string(r.info)) +
             field("text", jsonString(r.text)) + "}");
    else
        line("<- event 1 device " + std::to_string(r.device) + " index " + std::to_string(r.index) + " info " +
             std::to_string(r.info) + " " + quoteText(r.text));
}

void Transcript::controlEvent(const std::string& id, const std::string& command) {
    if (json_)
        line(kind("event") + field("type", "2") + field("control", jsonString(id)) +
             field("command", jsonString(command)) + "}");
    else
        line("<- event 2 control " + quoteText(id) + " " + quoteText(command));
}

void Transcript::timerEvent(int timer) {
    if (json_)
        line(kind("event") + field("type", "4") + field("timer", std::to_string(timer)) + "}");
    else
        line("<- event 4 timer " + std::to_string(timer));
}

void Transcript::releaseEvent(const std::string& text) {
    if (json_)
        line(kind("event") + field("type", "5") + field("text", jsonString(text)) + "}");
    else
        line("<- event 5 " + quoteText(text));
}

void Transcript::wordEvent(int type, long long word) {
    if (json_)
        line(kind("event") + field("type", std::to_string(type)) + field("data", std::to_string(word)) + "}");
    else
        line("<- event " + std::to_string(type) + " data " + std::to_string(word));
}

void Transcript::deleteComponent() { line(json_ ? kind("delete") + "}" : "<- delete"); }

void Transcript::note(const std::string& text) {
    line(json_ ? kind("note") + field("text", jsonString(text)) + "}" : "** " + text);
}

void Transcript::caption(const std::string& text) {
    line(json_ ? kind("caption") + field("text", jsonString(text)) + "}" : "## " + escapeControl(text));
}

void Transcript::violation(const std::string& text) {
    line(json_ ? kind("violation") + field("text", jsonString(text)) + "}" : "!! " + text);
    alert("violation: " + text);
}

void Transcript::failure(const std::string& file, int line_, const std::string& text) {
    std::string where = file + ":" + std::to_string(line_);
    line(json_ ? kind("failure") + field("file", jsonString(file)) + field("line", std::to_string(line_)) +
                     field("text", jsonString(text)) + "}"
               : "FAIL " + where + ": " + text);
    alert(where + ": " + text);
}

void Transcript::error(const std::string& file, int line_, const std::string& text) {
    std::string where = file + ":" + std::to_string(line_);
    line(json_ ? kind("error") + field("file", jsonString(file)) + field("line", std::to_string(line_)) +
                     field("text", jsonString(text)) + "}"
               : "ERROR " + where + ": " + text);
    alert(where + ": error: " + text);
}

void Transcript::panel(const std::string& name, const Panel* panel) {
    if (json_) {
        std::string s = kind("panel") + field("name", jsonString(name)) + field("open", panel ? "true" : "false");
        if (panel) {
            s += ",\"controls\":[";
            for (size_t i = 0; i < panel->controls.size(); ++i) {
                const Control& c = panel->controls[i];
                if (i) s += ",";
                s += "{\"name\":" + jsonString(c.name) + field("kind", jsonString(c.kind)) + ",\"params\":{";
                for (size_t p = 0; p < c.params.size(); ++p) {
                    if (p) s += ",";
                    s += jsonString(c.params[p].first) + ":" + jsonString(c.params[p].second);
                }
                s += "}}";
            }
            s += "]";
        }
        line(s + "}");
        return;
    }
    if (!panel) {
        line("   (panel " + escapeBytes(name) + " is not open)");
        return;
    }
    std::string drawing = drawPanel(name, *panel);
    drawing.pop_back();  // line() ends it
    line(drawing);
}

void Transcript::result(const std::string& file, int failures, int violations, int errors) {
    bool passed = failures == 0 && violations == 0 && errors == 0;
    if (json_) {
        line(kind("result") + field("file", jsonString(file)) + field("passed", passed ? "true" : "false") +
             field("failures", std::to_string(failures)) + field("violations", std::to_string(violations)) +
             field("errors", std::to_string(errors)) + "}");
        return;
    }
    if (passed) {
        line("-- " + file + ": passed");
        return;
    }
    std::string why;
    auto add = [&why](int n, const char* one, const char* many) {
        if (!n) return;
        if (!why.empty()) why += ", ";
        why += std::to_string(n) + " " + (n == 1 ? one : many);
    };
    add(failures, "failure", "failures");
    add(violations, "violation", "violations");
    add(errors, "error", "errors");
    line("-- " + file + ": FAILED (" + why + ")");
}

void Transcript::summary(int passed, int failed) {
    line(json_ ? kind("summary") + field("passed", std::to_string(passed)) + field("failed", std::to_string(failed)) + "}"
               : std::to_string(passed) + " passed, " + std::to_string(failed) + " failed");
}

void Transcript::message(const std::string& text) {
    if (json_) {
        line(kind("message") + field("text", jsonString(text)) + "}");
    } else {
        std::string s = text;
        if (!s.empty() && s.back() == '\n') s.pop_back();
        line(s);
    }
}

#include "output/json_renderer.h"

#include <nlohmann/json.hpp>

#include "output/text_renderer.h"
#include "base/text.h"

using Record = nlohmann::ordered_json;

// Strings in a record may hold any bytes; JSON needs valid UTF-8, or dump()
// throws. Object keys (a control's parameter names) are mended too; two keys
// that differ only in invalid bytes then become one, the later value kept.
static void makeValidUtf8(Record& value) {
    if (value.is_string()) {
        value = validUtf8(value.get_ref<const std::string&>());
    } else if (value.is_object()) {
        Record mended = Record::object();
        for (auto& [key, item] : value.items()) {
            makeValidUtf8(item);
            mended[validUtf8(key)] = std::move(item);
        }
        value = std::move(mended);
    } else if (value.is_array()) {
        for (auto& item : value) makeValidUtf8(item);
    }
}

static Record kind(const char* name) {
    Record record;
    record["kind"] = name;
    return record;
}

// A text that may be null.
static Record optionalText(const std::optional<std::string>& text) { return text ? Record(*text) : Record(nullptr); }

// A record of `kindName` with only a "text".
static Record withText(const char* kindName, const std::string& text) {
    Record r = kind(kindName);
    r["text"] = text;
    return r;
}

static Record placed(const char* kindName, const ScriptPlace& place, const std::string& text) {
    Record r = kind(kindName);
    r["file"] = place.file;
    r["line"] = place.line;
    r["text"] = text;
    return r;
}

// A panel's controls, each with its name, its kind when `withKind` (the panel
// record has it, the state record does not) and its parameters in order.
static Record panelControls(const Panel& panel, bool withKind) {
    Record controls = Record::array();
    for (const Control& c : panel.controls) {
        Record params = Record::object();
        for (const auto& [key, value] : c.params) params[key] = value;
        Record control = {{"name", c.name}};
        if (withKind) control["kind"] = c.kind;
        control["params"] = params;
        controls.push_back(control);
    }
    return controls;
}

static Record panelRecord(const event::PanelShown& e) {
    Record r = kind("panel");
    r["name"] = e.name;
    r["open"] = e.panel.has_value();
    if (e.panel) r["controls"] = panelControls(*e.panel, true);
    return r;
}

static Record resultRecord(const event::Result& e) {
    Record r = kind("result");
    r["file"] = e.file;
    r["passed"] = e.failures == 0 && e.violations == 0 && e.errors == 0;
    r["failures"] = e.failures;
    r["violations"] = e.violations;
    r["errors"] = e.errors;
    return r;
}

static Record timersRecord(const std::vector<HostState::Timer>& timers) {
    Record list = Record::array();
    for (const HostState::Timer& t : timers) list.push_back(Record{{"id", t.id}, {"interval", t.interval}, {"due", t.due}});
    return list;
}

static Record registrationsRecord(const std::vector<std::pair<int, std::vector<Registration>>>& registrations) {
    Record list = Record::array();
    for (const auto& [device, ranges] : registrations) {
        Record rangeList = Record::array();
        for (const Registration& g : ranges) rangeList.push_back(Record{{"first", g.first}, {"last", g.last}});
        list.push_back(Record{{"device", device}, {"ranges", rangeList}});
    }
    return list;
}

static Record routesRecord(const std::vector<Report>& routes) {
    Record list = Record::array();
    for (const Report& route : routes)
        list.push_back(Record{
            {"device", route.device}, {"destination", route.index}, {"source", route.info}, {"name", route.text}});
    return list;
}

static Record panelsRecord(const std::vector<std::pair<std::string, const Panel*>>& panels) {
    Record list = Record::array();
    for (const auto& [name, panel] : panels) list.push_back(Record{{"name", name}, {"controls", panelControls(*panel, false)}});
    return list;
}

// With named components: every live one, and the current one's name.
static void addComponents(Record& r, const HostState& s) {
    if (s.components.empty()) return;
    r["component"] = s.component;
    r["components"] = Record::array();
    for (const HostState::Component& c : s.components)
        r["components"].push_back(Record{{"name", c.name},
                                         {"timers", timersRecord(c.timers)},
                                         {"registrations", registrationsRecord(c.registrations)},
                                         {"routes", routesRecord(c.routes)},
                                         {"panels", panelsRecord(c.panels)}});
}

// A live router: device, protocol, address, state, and what applies of why,
// size, the target replaced and the repeats of a quick close.
static Record routerFields(int device, const RouterLink& l, int size) {
    Record r{{"device", device}, {"protocol", l.protocol}, {"address", l.address}, {"state", linkStateName(l.state)}};
    if (!l.why.empty()) r["why"] = l.why;
    if (size >= 0) r["size"] = size;
    if (!l.replaces.empty()) r["replaces"] = l.replaces;
    if (l.repeats) r["repeats"] = l.repeats;
    return r;
}

static Record linkRecord(const event::Link& e) {
    Record r = kind("router");
    r.update(routerFields(e.device, e.link, e.size));
    return r;
}

static Record stateRecord(const HostState& s) {
    Record r = kind("state");
    r["clock"] = s.clock;
    r["timers"] = timersRecord(s.timers);
    r["registrations"] = registrationsRecord(s.registrations);
    r["routes"] = routesRecord(s.routes);
    // Only with live routers: the record of a script without one stays as it was.
    for (const RouterStatus& router : s.routers) r["routers"].push_back(routerFields(router.device, router.link, router.size));
    r["panels"] = panelsRecord(s.panels);
    r["site"] = s.siteRoot.empty() ? Record(nullptr) : Record{{"root", s.siteRoot}, {"system", s.siteSystem}};
    r["files"] = Record::array();
    for (const HostState::DeviceFile& f : s.files)
        r["files"].push_back(Record{{"name", f.name}, {"size", f.size}, {"why", f.why}});
    addComponents(r, s);
    return r;
}

// An event record: "kind" "event", its type, then the type's fields.
static Record eventRecord(int type) {
    Record r = kind("event");
    r["type"] = type;
    return r;
}

// The record for each kind of event.
struct RecordOf {
    Record operator()(const event::File& e) {
        Record r = kind("file");
        r["name"] = e.name;
        return r;
    }
    Record operator()(const event::Statement& e) {
        Record r = kind("statement");
        r["line"] = e.line;
        r["text"] = e.text;
        return r;
    }
    Record operator()(const event::Create& e) {
        Record r = kind("create");
        r["path"] = e.path;
        return r;
    }
    // A named component's record names it: the export's null is then "export".
    Record operator()(const event::CreatedNothing& e) {
        Record r = kind("created");
        r[e.component.empty() ? "component" : "export"] = nullptr;
        return r;
    }
    Record operator()(const event::Command& e) {
        Record r = withText("command", e.text);
        if (e.replyShown) r["reply"] = optionalText(e.reply);
        return r;
    }
    Record operator()(const event::HandBack& e) { return withText("handback", e.text); }
    Record operator()(const event::RouterReport& e) {
        Record r = eventRecord(1);
        r["device"] = e.report.device;
        r["index"] = e.report.index;
        r["info"] = e.report.info;
        r["text"] = e.report.text;
        return r;
    }
    Record operator()(const event::ControlAction& e) {
        Record r = eventRecord(2);
        r["control"] = e.control;
        r["command"] = e.command;
        return r;
    }
    Record operator()(const event::PanelText& e) {
        Record r = eventRecord(3);
        r["text"] = optionalText(e.text);
        return r;
    }
    Record operator()(const event::Answer& e) {
        Record r = kind("answer");
        r["text"] = optionalText(e.text);
        return r;
    }
    Record operator()(const event::TimerTick& e) {
        Record r = eventRecord(4);
        r["timer"] = e.timer;
        return r;
    }
    Record operator()(const event::Release& e) {
        Record r = eventRecord(5);
        r["text"] = e.text;
        return r;
    }
    Record operator()(const event::Word& e) {
        Record r = eventRecord(e.type);
        r["data"] = e.data;
        return r;
    }
    Record operator()(const event::Delete&) { return kind("delete"); }
    Record operator()(const event::Note& e) { return withText("note", e.text); }
    Record operator()(const event::Link& e) { return linkRecord(e); }
    Record operator()(const event::Silent& e) {
        Record r = kind("silent");
        r["about"] = e.about;
        r["text"] = e.text;
        return r;
    }
    Record operator()(const event::Caption& e) { return withText("caption", e.text); }
    Record operator()(const event::Violation& e) { return placed("violation", e.place, e.text); }
    Record operator()(const event::Failure& e) { return placed("failure", e.place, e.text); }
    Record operator()(const event::Error& e) { return placed("error", e.place, e.text); }
    Record operator()(const event::PanelShown& e) { return panelRecord(e); }
    Record operator()(const event::Result& e) { return resultRecord(e); }
    Record operator()(const event::Summary& e) {
        Record r = kind("summary");
        r["passed"] = e.passed;
        r["failed"] = e.failed;
        return r;
    }
    Record operator()(const event::State& e) { return stateRecord(e.state); }
    Record operator()(const event::Ok& e) {
        Record r = kind("ok");
        r["line"] = e.line;
        return r;
    }
    Record operator()(const event::Message& e) { return withText("message", e.text); }
};

// `record` with "component" right after its "kind".
static Record named(Record record, const std::string& component) {
    Record out = kind(record["kind"].get_ref<const std::string&>().c_str());
    out["component"] = component;
    for (auto& [key, value] : record.items())
        if (key != "kind") out[key] = std::move(value);
    return out;
}

static std::string dumped(Record record) {
    makeValidUtf8(record);
    return record.dump();
}

std::string renderJson(const HostEvent& event) {
    Record record = std::visit(RecordOf{}, event);
    const std::string& component = componentOf(event);
    if (!component.empty()) record = named(std::move(record), component);
    return dumped(std::move(record));
}

JsonRenderer::JsonRenderer(std::ostream& out, std::ostream* alerts) : out_(out), alerts_(alerts) {}

void JsonRenderer::emit(const HostEvent& event) {
    // A link change the text transcript notes keeps its note record, as
    // before router records existed; the router record follows it.
    if (const auto* link = std::get_if<event::Link>(&event))
        if (std::optional<std::string> note = linkNote(*link)) out_ << dumped(withText("note", *note)) << '\n';
    out_ << renderJson(event) << '\n';
    out_.flush();
    if (alerts_) writeAlert(*alerts_, event);
}

#include "ui/web/page_json.h"

#include <cctype>
#include <nlohmann/json.hpp>

using Json = nlohmann::ordered_json;

static std::string dump(const Json& value) {
    return value.dump(-1, ' ', false, Json::error_handler_t::replace);
}

// Conventional state sheet names of a broadcast panel and their colours.
static const struct {
    const char* name;
    const char* colour;
} kConventional[] = {
    {"red", "#d32f2f"},     {"tally", "#d32f2f"},   {"onair", "#d32f2f"},   {"live", "#d32f2f"},
    {"program", "#d32f2f"}, {"pgm", "#d32f2f"},     {"alarm", "#d32f2f"},   {"error", "#d32f2f"},
    {"fault", "#d32f2f"},   {"green", "#2e7d32"},   {"preview", "#2e7d32"}, {"pvw", "#2e7d32"},
    {"ok", "#2e7d32"},      {"ready", "#2e7d32"},   {"amber", "#ffb300"},   {"warning", "#ffb300"},
    {"warn", "#ffb300"},    {"standby", "#ffb300"}, {"yellow", "#fdd835"},  {"blue", "#1e88e5"},
    {"info", "#1e88e5"},    {"grey", "#757575"},    {"gray", "#757575"},    {"off", "#757575"},
    {"idle", "#757575"},    {"unused", "#757575"},  {"disabled", "#757575"}};

std::string stateSheetColour(const std::string& sheet) {
    std::string key;
    for (char c : sheet)
        if (c != ' ' && c != '-' && c != '_') key += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    for (const auto& entry : kConventional)
        if (key == entry.name) return entry.colour;
    const bool hex = sheet.size() >= 4 && sheet.size() <= 9 && sheet[0] == '#';
    const size_t from = hex ? 1 : 0;
    if (sheet.size() == from || sheet.size() > 30) return "";
    for (size_t i = from; i < sheet.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(sheet[i]);
        if (hex ? !std::isxdigit(c) : !std::isalpha(c)) return "";
    }
    return sheet;
}

static Json controlJson(const Control& control) {
    Json params = Json::array();
    for (const auto& [key, value] : control.params) params.push_back(Json::array({key, value}));
    const std::string* sheet = control.param("statesheet");
    return Json{{"name", control.name},
                {"kind", control.kind},
                {"params", params},
                {"colour", sheet ? stateSheetColour(*sheet) : ""}};
}

static Json panelsJson(const HostState& state) {
    Json panels = Json::array();
    for (const auto& [name, panel] : state.panels) {
        Json controls = Json::array();
        for (const Control& control : panel->controls) controls.push_back(controlJson(control));
        panels.push_back(Json{{"name", name}, {"title", panel->title}, {"controls", controls}});
    }
    return panels;
}

static bool deviceDown(const HostState& state, int device) {
    for (const RouterStatus& router : state.routers)
        if (router.device == device) return router.link.state != RouterLink::State::Connected;
    return false;
}

static bool anyDown(const std::optional<HostState>& state) {
    if (state)
        for (const RouterStatus& router : state->routers)
            if (router.link.state != RouterLink::State::Connected) return true;
    return false;
}

static Json routesJson(const HostState& state) {
    Json routes = Json::array();
    for (const Report& route : state.routes)
        routes.push_back(Json{{"device", route.device},
                              {"destination", route.index},
                              {"source", route.info},
                              {"name", route.text},
                              {"stale", deviceDown(state, route.device)}});
    return routes;
}

static Json registrationsJson(const HostState& state) {
    Json registrations = Json::array();
    for (const auto& [device, ranges] : state.registrations) {
        Json list = Json::array();
        for (const Registration& range : ranges) list.push_back(Json::array({range.first, range.last}));
        registrations.push_back(Json{{"device", device}, {"ranges", list}});
    }
    return registrations;
}

std::string viewJson(const std::optional<HostState>& state, const std::string& script, bool ended) {
    Json view{{"kind", "view"},
              {"script", script.empty() ? Json(nullptr) : Json(script)},
              {"stale", anyDown(state)},
              {"ended", ended}};
    view["panels"] = state ? panelsJson(*state) : Json::array();
    view["routes"] = state ? routesJson(*state) : Json::array();
    view["registrations"] = state ? registrationsJson(*state) : Json::array();
    Json routers = Json::array();
    if (state)
        for (const RouterStatus& r : state->routers)
            routers.push_back(Json{{"device", r.device},
                                   {"protocol", r.link.protocol},
                                   {"address", r.link.address},
                                   {"state", linkStateName(r.link.state)},
                                   {"why", r.link.why}});
    view["routers"] = routers;
    return dump(view);
}

std::string linesJson(uint64_t first, const std::deque<std::string>& lines, size_t from) {
    Json list = Json::array();
    for (size_t i = from; i < lines.size(); ++i) list.push_back(lines[i]);
    return dump(Json{{"kind", "lines"}, {"first", first}, {"lines", list}});
}

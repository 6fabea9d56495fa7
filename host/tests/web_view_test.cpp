// What the web view makes of the host's events and state: stale routes,
// state sheet colours, the --web address, the kept transcript lines,
// and the routes kept while a router is down.
#include <gtest/gtest.h>

#include "ui/web/page_json.h"
#include "ui/web/web_host.h"
#include "ui/web/web_view.h"

namespace {

TEST(ViewJson, RoutesAreStaleWhileTheirRouterIsNotConnected) {
    const struct {
        RouterLink::State state;
        const char* stale;
    } cases[] = {
        {RouterLink::State::Connected, "false"},
        {RouterLink::State::Lost, "true"},
        {RouterLink::State::Refused, "true"},
        {RouterLink::State::Connecting, "true"},
    };
    for (const auto& c : cases) {
        HostState state;
        state.routes = {Report{5, 3, 6, "CAM"}, Report{6, 1, 1, "SIM"}};
        RouterLink link;
        link.state = c.state;
        link.protocol = "videohub";
        link.address = "127.0.0.1:1";
        state.routers = {RouterStatus{5, link, 16, "videohub 127.0.0.1:1"}};
        const std::string json = viewJson(state, "a.vsc");
        const std::string stale = std::string("\"stale\":") + c.stale;
        EXPECT_EQ(json.find("{\"kind\":\"view\",\"script\":\"a.vsc\"," + stale), 0u) << json;
        EXPECT_NE(json.find("\"name\":\"CAM\"," + stale + "}"), std::string::npos) << json;
        EXPECT_NE(json.find("\"name\":\"SIM\",\"stale\":false}"), std::string::npos) << json;
        EXPECT_NE(json.find(std::string("\"state\":\"") + linkStateName(c.state) + "\""), std::string::npos) << json;
    }
}

TEST(StateSheetColour, ConventionalNamesCssNamesAndNothingElse) {
    const struct {
        const char* sheet;
        const char* colour;
    } cases[] = {
        {"Tally", "#d32f2f"}, {"ON-AIR", "#d32f2f"}, {"on_air", "#d32f2f"}, {"preview", "#2e7d32"},
        {"Amber", "#ffb300"}, {"off", "#757575"},    {"teal", "teal"},      {"#0f0", "#0f0"},
        {"#12345678", "#12345678"}, {"", ""},       {"#12", ""},           {"red;x:url(a)", ""},
        {"<b>", ""},           {"#gggggg", ""},
    };
    for (const auto& c : cases) EXPECT_EQ(stateSheetColour(c.sheet), c.colour) << c.sheet;
}

TEST(ParseWebAddress, PortAloneIsLoopbackAndAddressesMustBeLiterals) {
    const struct {
        const char* text;
        bool ok;
        const char* host;
        int port;
    } cases[] = {
        {"0", true, "127.0.0.1", 0},           {"8080", true, "127.0.0.1", 8080},
        {"0.0.0.0:80", true, "0.0.0.0", 80},   {"[::1]:0", true, "::1", 0},
        {"localhost:9", true, "localhost", 9}, {"127.0.0.1", false, "", 0},
        {"::1", false, "", 0},                 {"example.org:80", false, "", 0},
        {"70000", false, "", 0},               {"", false, "", 0},
        {"127.0.0.9:", false, "", 0},            {"-1", false, "", 0},
    };
    for (const auto& c : cases) {
        std::string why;
        std::optional<HostPort> address = parseWebAddress(c.text, why);
        ASSERT_EQ(address.has_value(), c.ok) << c.text;
        EXPECT_EQ(why.empty(), c.ok) << c.text;
        if (!address) continue;
        EXPECT_EQ(address->host, c.host) << c.text;
        EXPECT_EQ(address->port, c.port) << c.text;
    }
    EXPECT_TRUE(isLoopback("127.3.2.1"));
    EXPECT_TRUE(isLoopback("::1"));
    EXPECT_FALSE(isLoopback("0.0.0.0"));
}

TEST(WebView, KeepsTheLastLinesCutToLength) {
    WebView view;
    for (int i = 0; i < 250; ++i) view.emit(event::Caption{"line " + std::to_string(i)});
    view.emit(event::Message{"first\nsecond"});
    view.emit(event::Caption{std::string(5000, 'a')});
    ASSERT_EQ(view.lines().size(), WebView::kKeptLines);
    EXPECT_EQ(view.firstLine(), 253u - WebView::kKeptLines);
    EXPECT_EQ(view.lines()[view.lines().size() - 3], "first");
    EXPECT_EQ(view.lines()[view.lines().size() - 2], "second");
    EXPECT_LE(view.lines().back().size(), WebView::kLongestLine + 3);
}

// What the pages and /state.json are shown once a script has ended: its
// panels as the host deleted the component, marked ended, until the next
// script starts.
TEST(WebView, ShowsTheFinalViewOfAScriptThatEnded) {
    asio::io_context io;
    WebView view;
    WebServer server(io, view, nullptr);
    Panel panel;
    panel.title = "Mimic";
    panel.controls.push_back(Control{"LevelMimic", "text", {{"text", "Input 6"}}});
    bool running = true;
    view.attach(io, server, [&]() -> std::optional<HostState> {
        if (!running) return std::nullopt;
        HostState state;
        state.panels = {{"1", &panel}};
        return state;
    });
    view.emit(event::File{"a.vsc"});
    view.emit(event::Delete{});
    running = false;
    view.emit(event::Result{"a.vsc", 0, 0, 0});
    const std::string ended = view.greeting().front();
    EXPECT_NE(ended.find("\"ended\":true"), std::string::npos) << ended;
    EXPECT_NE(ended.find("Input 6"), std::string::npos) << ended;
    const std::optional<std::string> finalState = view.stateJson();
    EXPECT_TRUE(finalState && finalState->find("Input 6") != std::string::npos) << finalState.value_or("null");
    view.emit(event::File{"b.vsc"});
    EXPECT_FALSE(view.stateJson()) << "the state of a script that ended, kept once the next one started";
    const std::string next = view.greeting().front();
    EXPECT_NE(next.find("\"ended\":false"), std::string::npos) << next;
    EXPECT_EQ(next.find("Input 6"), std::string::npos) << next;
    view.detach();
}

TEST(ViewJson, AnyBytesBecomeValidJson) {
    HostState state;
    state.routes = {Report{5, 1, 2, "bad \xff byte <img src=x>"}};
    const std::string json = viewJson(state, "s\xfe.vsc");
    EXPECT_NE(json.find("bad \xEF\xBF\xBD byte <img src=x>"), std::string::npos) << json;
}

}  // namespace

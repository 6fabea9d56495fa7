// The wall of the web view without a browser: the tiles of a state, what
// the pages are sent when tiles change, and the view's stale mark with named
// components.
#include <gtest/gtest.h>

#include <map>

#include "ui/web/page_json.h"
#include "ui/web/wall_feed.h"
#include "ui/web/wall_json.h"

namespace {

RouterStatus router(int device, RouterLink::State state) {
    RouterLink link;
    link.state = state;
    return RouterStatus{device, link, 16, ""};
}

HostState::Component component(const std::string& name, const std::vector<std::pair<std::string, const Panel*>>& panels,
                               std::vector<int> devices = {}) {
    HostState::Component c{name, {}, {}, {}, panels};
    for (int device : devices) c.registrations.push_back({device, {Registration{1, 1}}});
    return c;
}

TEST(WallTiles, TheMimicOfTheFirstPanelThatHasOneItsSheetAndStaleness) {
    Panel mimic{"Mimic", {Control{"LevelMimic", "text", {{"text", "CAM 1"}, {"statesheet", "Tally"}}}}};
    Panel bare{"Bare", {Control{"LevelMimic", "text", {}}}};
    Panel other{"Other", {Control{"Button", "button", {{"text", "GO"}}}}};
    HostState state;
    state.routers = {router(5, RouterLink::State::Connected), router(6, RouterLink::State::Lost),
                     router(7, RouterLink::State::Connecting)};
    state.components = {component("a", {{"1", &other}, {"2", &mimic}}, {5}),
                        component("b", {{"1", &bare}}, {5, 6}),
                        component("c", {{"1", &other}}, {7}),
                        component("d", {}, {8})};
    EXPECT_EQ(wallJson(wallTiles(state)),
              R"({"kind":"wall","tiles":[{"name":"a","text":"CAM 1","sheet":"Tally","colour":"#d32f2f","stale":false},)"
              R"({"name":"b","text":"","sheet":"","colour":"","stale":true},)"
              R"({"name":"c","text":null,"sheet":"","colour":"","stale":true},)"
              R"({"name":"d","text":null,"sheet":"","colour":"","stale":false}]})");
    EXPECT_TRUE(wallTiles(HostState{}).empty());
}

std::vector<WallTile> wall(const std::vector<std::pair<std::string, std::string>>& tiles) {
    std::vector<WallTile> out;
    for (const auto& [name, text] : tiles) out.push_back(WallTile{name, text, "", false});
    return out;
}

TEST(WallFeed, SendsWhatChangedOrTheWholeWallWhenTheOrderDoesNotAllowThat) {
    const std::vector<WallTile> abc = wall({{"a", "1"}, {"b", "2"}, {"c", "3"}});
    const struct {
        const char* what;
        std::vector<WallTile> next;
        const char* sent;  // "" none
    } cases[] = {
        {"nothing changed", abc, ""},
        {"one text", wall({{"a", "1"}, {"b", "9"}, {"c", "3"}}),
         R"({"kind":"tiles","tiles":[{"name":"b","text":"9","sheet":"","colour":"","stale":false}],"gone":[]})"},
        {"a tile new and one gone", wall({{"a", "1"}, {"c", "3"}, {"d", "4"}}),
         R"({"kind":"tiles","tiles":[{"name":"d","text":"4","sheet":"","colour":"","stale":false}],"gone":["b"]})"},
        {"every tile gone", {}, R"({"kind":"tiles","tiles":[],"gone":["a","b","c"]})"},
        {"an order changed", wall({{"b", "2"}, {"a", "1"}, {"c", "3"}}),
         R"({"kind":"wall","tiles":[{"name":"b","text":"2","sheet":"","colour":"","stale":false},)"},
        {"a name gone and back at the end", wall({{"a", "1"}, {"c", "3"}, {"b", "2"}}), R"({"kind":"wall",)"},
        {"a name twice", wall({{"a", "1"}, {"b", "2"}, {"c", "3"}, {"a", "1"}}), R"({"kind":"wall",)"},
    };
    for (const auto& c : cases) {
        WallFeed feed;
        feed.rebase(abc);
        const std::optional<std::string> sent = feed.update(c.next);
        EXPECT_EQ(sent.value_or("").substr(0, std::string(c.sent).size()), c.sent) << c.what;
        EXPECT_EQ(sent.has_value(), *c.sent != 0) << c.what;
        EXPECT_EQ(feed.whole(), wallJson(c.next)) << c.what;
    }
}

TEST(WallFeed, AStaleMarkOrASheetIsAChange) {
    WallFeed feed;
    std::vector<WallTile> tiles = wall({{"a", "1"}, {"b", "2"}});
    feed.rebase(tiles);
    tiles[1].stale = true;
    EXPECT_NE(feed.update(tiles).value_or("").find("\"name\":\"b\""), std::string::npos);
    tiles[0].sheet = "Preview";
    EXPECT_NE(feed.update(tiles).value_or("").find("\"colour\":\"#2e7d32\""), std::string::npos);
    tiles[0].text = std::nullopt;
    EXPECT_NE(feed.update(tiles).value_or("").find("\"text\":null"), std::string::npos);
    EXPECT_FALSE(feed.update(tiles).has_value());
}

TEST(ViewJson, WithNamedComponentsStaleOnlyForTheCurrentComponentsRouters) {
    const struct {
        std::string component;
        int registered;
        bool stale;
    } cases[] = {{"mon1", 6, false}, {"mon1", 5, true}, {"", 6, true}};
    for (const auto& c : cases) {
        HostState state;
        state.routers = {router(5, RouterLink::State::Lost), router(6, RouterLink::State::Connected)};
        state.registrations = {{c.registered, {Registration{1, 1}}}};
        state.component = c.component;
        const std::string json = viewJson(state, "a.vsc");
        EXPECT_NE(json.find(std::string("\"stale\":") + (c.stale ? "true" : "false")), std::string::npos)
            << c.component << " registered on " << c.registered << ": " << json;
    }
}

}  // namespace

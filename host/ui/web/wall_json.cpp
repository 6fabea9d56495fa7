#include "ui/web/wall_json.h"

#include <nlohmann/json.hpp>
#include <set>

#include "ui/web/page_json.h"

using Json = nlohmann::ordered_json;

static std::string dump(const Json& value) { return value.dump(-1, ' ', false, Json::error_handler_t::replace); }

static const Control* levelMimic(const HostState::Component& component) {
    for (const auto& [name, panel] : component.panels)
        if (const Control* control = panel->control("LevelMimic")) return control;
    return nullptr;
}

std::vector<WallTile> wallTiles(const HostState& state) {
    std::set<int> down;
    for (const RouterStatus& router : state.routers)
        if (router.link.state != RouterLink::State::Connected) down.insert(router.device);
    std::vector<WallTile> tiles;
    tiles.reserve(state.components.size());
    for (const HostState::Component& component : state.components) {
        WallTile tile{component.name, std::nullopt, "", false};
        if (const Control* mimic = levelMimic(component)) {
            const std::string* text = mimic->param("text");
            const std::string* sheet = mimic->param("statesheet");
            tile.text = text ? *text : "";
            if (sheet) tile.sheet = *sheet;
        }
        for (const auto& registered : component.registrations) tile.stale = tile.stale || down.count(registered.first);
        tiles.push_back(std::move(tile));
    }
    return tiles;
}

static Json tileJson(const WallTile& tile) {
    return Json{{"name", tile.name},
                {"text", tile.text ? Json(*tile.text) : Json(nullptr)},
                {"sheet", tile.sheet},
                {"colour", stateSheetColour(tile.sheet)},
                {"stale", tile.stale}};
}

std::string wallJson(const std::vector<WallTile>& tiles) {
    Json list = Json::array();
    for (const WallTile& tile : tiles) list.push_back(tileJson(tile));
    return dump(Json{{"kind", "wall"}, {"tiles", std::move(list)}});
}

std::string tilesJson(const std::vector<const WallTile*>& changed, const std::vector<std::string>& gone) {
    Json list = Json::array();
    for (const WallTile* tile : changed) list.push_back(tileJson(*tile));
    return dump(Json{{"kind", "tiles"}, {"tiles", std::move(list)}, {"gone", gone}});
}

#include "ui/web/wall_feed.h"

#include <utility>

static std::unordered_map<std::string, size_t> placesOf(const std::vector<WallTile>& tiles) {
    std::unordered_map<std::string, size_t> places;
    places.reserve(tiles.size());
    for (size_t i = 0; i < tiles.size(); ++i) places.emplace(tiles[i].name, i);
    return places;
}

std::optional<std::vector<const WallTile*>> WallFeed::changes(
    const std::vector<WallTile>& tiles, const std::unordered_map<std::string, size_t>& places) const {
    if (places.size() != tiles.size()) return std::nullopt;  // a name twice: only the whole wall says it
    std::vector<const WallTile*> changed;
    size_t kept = 0;  // tiles[0, kept) are the baseline's still live, in its order
    for (const WallTile& old : tiles_) {
        if (!places.count(old.name)) continue;
        if (kept == tiles.size() || tiles[kept].name != old.name) return std::nullopt;
        if (tiles[kept] != old) changed.push_back(&tiles[kept]);
        ++kept;
    }
    for (size_t i = kept; i < tiles.size(); ++i) {
        if (places_.count(tiles[i].name)) return std::nullopt;
        changed.push_back(&tiles[i]);
    }
    return changed;
}

std::optional<std::string> WallFeed::update(std::vector<WallTile> tiles) {
    std::unordered_map<std::string, size_t> places = placesOf(tiles);
    std::optional<std::string> message;
    if (std::optional<std::vector<const WallTile*>> changed = changes(tiles, places)) {
        std::vector<std::string> gone;
        for (const WallTile& old : tiles_)
            if (!places.count(old.name)) gone.push_back(old.name);
        if (!changed->empty() || !gone.empty()) message = tilesJson(*changed, gone);
    } else {
        message = wallJson(tiles);
    }
    tiles_ = std::move(tiles);
    places_ = std::move(places);
    return message;
}

void WallFeed::rebase(std::vector<WallTile> tiles) {
    places_ = placesOf(tiles);
    tiles_ = std::move(tiles);
}

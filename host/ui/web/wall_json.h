// The wall: one tile per named component (create NAME), as the web view's
// pages show a site of panels at a glance, and the messages that carry it
// (one WebSocket frame each; any byte that is not valid UTF-8 becomes
// U+FFFD, and the page shows every text as text):
//
//   {"kind":"wall", "tiles":[TILE,...]}   the whole wall, in creation order;
//                                         no tile: no wall (one unnamed component)
//   {"kind":"tiles", "tiles":[TILE,...], "gone":[NAME,...]}
//       what changed since the message before: tiles that changed, tiles
//       new (after all the others, in creation order), names no longer live
//   TILE: {"name", "text":TEXT|null, "sheet", "colour":CSS|"", "stale":BOOL}
//
// A tile's text is the LevelMimic control's of the component's first open
// panel (by name) that has one, null when none has; `sheet` that control's
// state sheet ("" none) and `colour` its colour (stateSheetColour). A tile is
// stale while a live router on a device the component registered for is not
// connected: what it shows is the last that router reported.
#ifndef VESK_HOST_UI_WEB_WALL_JSON_H
#define VESK_HOST_UI_WEB_WALL_JSON_H

#include <optional>
#include <string>
#include <vector>

#include "output/host_event.h"

struct WallTile {
    std::string name;
    std::optional<std::string> text;
    std::string sheet;
    bool stale = false;

    bool operator==(const WallTile& other) const {
        return name == other.name && text == other.text && sheet == other.sheet && stale == other.stale;
    }
    bool operator!=(const WallTile& other) const { return !(*this == other); }
};

// The tiles of `state`'s named components, in creation order; none without
// named components.
std::vector<WallTile> wallTiles(const HostState& state);

// The "wall" message.
std::string wallJson(const std::vector<WallTile>& tiles);

// The "tiles" message: `changed` (changed and new tiles, in that order) and
// the names `gone`.
std::string tilesJson(const std::vector<const WallTile*>& changed, const std::vector<std::string>& gone);

#endif  // VESK_HOST_UI_WEB_WALL_JSON_H

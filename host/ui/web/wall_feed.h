// What the web view's pages are sent of the wall (wall_json.h): the whole
// wall once, then only what changed, so that a take that changes one tile of
// a thousand sends that tile alone.
//
// Every page is sent the same messages, so every page holds the wall of the
// last update (the baseline). A page that connects is given the baseline
// whole; the next update brings it forward with the others. When no page
// holds anything (the first one connects), the owner rebases on the wall of
// now instead.
#ifndef VESK_HOST_UI_WEB_WALL_FEED_H
#define VESK_HOST_UI_WEB_WALL_FEED_H

#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "ui/web/wall_json.h"

class WallFeed {
public:
    // The message that brings a page holding the baseline to `tiles` (in
    // creation order), which become the baseline: null when nothing changed;
    // a "tiles" message when the tiles still live kept their order and the
    // new ones come after them (as creating and deleting components leave
    // them); the whole wall otherwise.
    std::optional<std::string> update(std::vector<WallTile> tiles);
    // `tiles` become the baseline, with no message.
    void rebase(std::vector<WallTile> tiles);
    // The "wall" message of the baseline.
    std::string whole() const { return wallJson(tiles_); }
    const std::vector<WallTile>& tiles() const { return tiles_; }

private:
    // The changed and new tiles of `tiles` against the baseline; null when
    // their order does not allow a "tiles" message.
    std::optional<std::vector<const WallTile*>> changes(const std::vector<WallTile>& tiles,
                                                        const std::unordered_map<std::string, size_t>& places) const;

    std::vector<WallTile> tiles_;
    std::unordered_map<std::string, size_t> places_;  // a tile's name -> its index in tiles_
};

#endif  // VESK_HOST_UI_WEB_WALL_FEED_H

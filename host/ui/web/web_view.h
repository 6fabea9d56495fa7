// The panel as a live web page: a Sink that keeps the transcript's last lines
// and pushes the host's state (panels, routes, the live routers' links, as
// the "state" statement has them) after each change, and the WebContent that
// a WebServer serves. With named components it also pushes the wall
// (wall_feed.h): whole to a page that connects, then only the tiles that
// changed.
//
// Threading: emit() is called on the host's thread, possibly while the
// component runs; it only records and posts a push to the io_context. The
// push runs later as a handler of the host's loop, never inside a call to
// the component: only then is the host's state read (through StateSource)
// and sent. The one exception is the host deleting the component (never
// inside a call to it): the state is read then, for it goes with the
// component, and kept as the script's final view. Nothing here calls the
// component. Of a run of deletions with no statement between them (the end
// of a script deletes every component left), the first is when the state is
// read: the final view and wall show every component of the run.
//
// Once a script has ended (no state), the pages are shown its final view and
// wall, marked ended, until the next script starts.
//
// Every page holds what was last broadcast (the baseline); a page that
// connects is greeted with it, or, when it is the only page, with the state
// now, which becomes the baseline.
#ifndef VESK_HOST_UI_WEB_WEB_VIEW_H
#define VESK_HOST_UI_WEB_WEB_VIEW_H

#include <asio.hpp>

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "output/sink.h"
#include "ui/web/wall_feed.h"
#include "ui/web/web_server.h"

class WebView : public Sink, public WebContent {
public:
    // The host's side now, as the "state" statement shows it; null when no
    // script runs. Called from the loop's handlers, and from emit() as the
    // host deletes the component.
    using StateSource = std::function<std::optional<HostState>()>;
    // Transcript lines kept (and sent to a page that connects).
    static constexpr size_t kKeptLines = 200;
    // A longer transcript line is cut to this many bytes.
    static constexpr size_t kLongestLine = 2000;

    WebView();
    ~WebView() override;
    WebView(const WebView&) = delete;
    WebView& operator=(const WebView&) = delete;

    // From now on changes are pushed to the pages of `server` by handlers
    // posted to `io`. Neither is owned; call detach() before either goes.
    void attach(asio::io_context& io, WebServer& server, StateSource state);
    // Pushes what the pages have not been sent yet (the last transcript
    // lines, the final view), at once: for the end, when the loop will not
    // run the push posted for them. Nothing without attach().
    void finish();
    // No more pushes (the events are still kept).
    void detach();

    void emit(const HostEvent& event) override;

    std::string page() override;
    std::optional<std::string> stateJson() override;
    std::vector<std::string> greeting() override;

    // The kept lines, oldest first, and the number of the oldest.
    const std::deque<std::string>& lines() const { return lines_; }
    uint64_t firstLine() const { return firstLine_; }

private:
    // What the pages show: the "view" message and the wall's tiles.
    struct Shown {
        std::string view;
        std::vector<WallTile> tiles;
    };
    void addLines(const std::string& text);
    void push();
    // What to show: the state now, or what the script that ended left.
    Shown shown();
    std::optional<HostState> state();
    // Keeps the state now as the final view, unless this run of deletions
    // kept it already.
    void keepFinal();

    asio::io_context* io_ = nullptr;
    WebServer* server_ = nullptr;
    StateSource source_;
    // Posted pushes hold a weak reference: they do nothing once the view
    // is gone.
    std::shared_ptr<int> token_;
    bool pushPending_ = false;

    std::deque<std::string> lines_;
    uint64_t firstLine_ = 0;  // the number of lines_.front()
    uint64_t sentUpTo_ = 0;   // lines numbered below this were pushed
    std::string script_;      // the running script; empty: none
    std::string lastView_;    // the view last pushed
    WallFeed wall_;           // the wall last pushed
    std::string finalView_;   // the running script's as its components went; empty: none
    std::vector<WallTile> finalTiles_;
    std::string finalState_;  // its "state" record then, for /state.json
    bool finalKept_ = false;  // in this run of deletions
};

#endif  // VESK_HOST_UI_WEB_WEB_VIEW_H

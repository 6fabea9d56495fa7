#include "ui/web/web_view.h"

#include "output/json_renderer.h"
#include "output/text_renderer.h"
#include "ui/web/page.h"
#include "ui/web/page_json.h"
#include "ui/web/wall_json.h"

WebView::WebView() : token_(std::make_shared<int>(0)) {}

WebView::~WebView() = default;

void WebView::attach(asio::io_context& io, WebServer& server, StateSource state) {
    io_ = &io;
    server_ = &server;
    source_ = std::move(state);
}

void WebView::finish() {
    if (server_) push();
}

void WebView::detach() {
    io_ = nullptr;
    server_ = nullptr;
    source_ = nullptr;
}

void WebView::addLines(const std::string& text) {
    size_t start = 0;
    while (start <= text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(start, std::min(end - start, kLongestLine));
        if (end - start > kLongestLine) line += "...";
        lines_.push_back(std::move(line));
        if (lines_.size() > kKeptLines) {
            lines_.pop_front();
            ++firstLine_;
        }
        start = end + 1;
    }
}

void WebView::keepFinal() {
    if (finalKept_) return;
    std::optional<HostState> now = state();
    if (!now) return;
    finalView_ = viewJson(now, script_, true);
    finalTiles_ = wallTiles(*now);
    finalState_ = renderJson(event::State{std::move(*now)});
    finalKept_ = true;
}

void WebView::emit(const HostEvent& event) {
    if (std::holds_alternative<event::File>(event)) {
        script_ = std::get<event::File>(event).name;
        finalView_.clear();
        finalTiles_.clear();
        finalState_.clear();
    }
    if (std::holds_alternative<event::Statement>(event) || std::holds_alternative<event::Caption>(event))
        finalKept_ = false;
    if (std::holds_alternative<event::Result>(event)) script_.clear();
    if (std::holds_alternative<event::Delete>(event)) keepFinal();
    if (shownAsText(event)) addLines(renderText(event));
    // Nobody watching: nothing to push (a page that connects gets it all).
    if (!server_ || pushPending_ || server_->clients() == 0) return;
    pushPending_ = true;
    std::weak_ptr<int> alive = token_;
    asio::post(*io_, [this, alive] {
        if (alive.lock()) push();
    });
}

std::optional<HostState> WebView::state() { return source_ ? source_() : std::nullopt; }

void WebView::push() {
    pushPending_ = false;
    const uint64_t end = firstLine_ + lines_.size();
    if (!server_ || server_->clients() == 0) {
        sentUpTo_ = end;
        lastView_.clear();
        wall_.rebase({});
        return;
    }
    Shown now = shown();
    if (now.view != lastView_) {
        server_->broadcast(now.view);
        lastView_ = std::move(now.view);
    }
    if (std::optional<std::string> wall = wall_.update(std::move(now.tiles))) server_->broadcast(*wall);
    if (sentUpTo_ < end) {
        const size_t from = sentUpTo_ > firstLine_ ? static_cast<size_t>(sentUpTo_ - firstLine_) : 0;
        server_->broadcast(linesJson(firstLine_ + from, lines_, from));
        sentUpTo_ = end;
    }
}

WebView::Shown WebView::shown() {
    std::optional<HostState> now = state();
    if (!now && !finalView_.empty()) return Shown{finalView_, finalTiles_};
    return Shown{viewJson(now, script_), now ? wallTiles(*now) : std::vector<WallTile>()};
}

std::string WebView::page() { return webPage(); }

std::optional<std::string> WebView::stateJson() {
    // As the "state" statement shows it: no routes kept from before.
    std::optional<HostState> now = source_ ? source_() : std::nullopt;
    if (now) return renderJson(event::State{std::move(*now)});
    if (!finalState_.empty()) return finalState_;
    return std::nullopt;
}

std::vector<std::string> WebView::greeting() {
    // Other pages: they hold the baseline, and the push posted for what
    // changed since brings this page forward with them.
    if (server_ && server_->clients() > 1 && !lastView_.empty())
        return {lastView_, wall_.whole(), linesJson(firstLine_, lines_)};
    Shown now = shown();
    lastView_ = now.view;
    wall_.rebase(std::move(now.tiles));
    return {std::move(now.view), wall_.whole(), linesJson(firstLine_, lines_)};
}

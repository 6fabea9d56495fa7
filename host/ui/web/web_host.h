// What vesk-host's --web [ADDR:]PORT sets up: a WebServer serving a WebView
// on the host's loop, for as long as this object lives.
#ifndef VESK_HOST_UI_WEB_WEB_HOST_H
#define VESK_HOST_UI_WEB_WEB_HOST_H

#include <asio.hpp>

#include <optional>
#include <ostream>
#include <string>

#include "host_port.h"
#include "loop/event_loop.h"
#include "ui/web/web_server.h"
#include "ui/web/web_view.h"

// "[ADDR:]PORT" as --web takes it: PORT alone is 127.0.0.1:PORT; ADDR is an
// IP literal ("[V6]" with a port) or "localhost"; PORT 0 picks a free one.
// Null with `why` set otherwise (a name other than localhost is refused:
// names are not resolved).
std::optional<HostPort> parseWebAddress(const std::string& text, std::string& why);

// True for 127.0.0.0/8, ::1 and "localhost".
bool isLoopback(const std::string& host);

class WebHost {
public:
    // `view` and `io` are not owned and must outlive this object; `state`
    // and `note` as WebView::StateSource and WebServer::NoteFn.
    WebHost(asio::io_context& io, WebView& view, WebView::StateSource state, WebServer::NoteFn note,
            WebLimits limits = {});
    // Sends the pages what the loop has not pushed, stops pushing, and closes
    // the server (each page told that vesk-host went away).
    ~WebHost();
    WebHost(const WebHost&) = delete;
    WebHost& operator=(const WebHost&) = delete;

    // Listens on `address` and writes "web view at http://ADDR:PORT/" to
    // `out` (and first a warning when ADDR is not a loopback address). False
    // with `why` set when it cannot listen.
    bool start(const HostPort& address, std::ostream& out, std::string& why);
    // Serves the pages on `loop` until a signal comes (Ctrl-C), having said
    // so on `out`: for a script that has ended while someone watches (its
    // final view stays). Returns the signal.
    int serveUntilInterrupted(EventLoop& loop, std::ostream& out);
    uint16_t port() const { return server_.port(); }
    WebServer& server() { return server_; }

private:
    WebView& view_;
    WebServer server_;
    std::string url_;  // the page's address, once listening
};

#endif  // VESK_HOST_UI_WEB_WEB_HOST_H

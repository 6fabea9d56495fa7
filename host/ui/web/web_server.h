// The web view's server: plain HTTP GETs and WebSocket pages on the host's
// one io_context (websocketpp over standalone Asio), on the loop's thread
// only. It parses nothing itself; what it serves comes from a Content.
//
// Read-only: GET / (the page), GET /state.json, and WebSocket upgrades on
// /events, which receive what broadcast() sends; a query ("/?x=1") is
// ignored, HEAD is answered as GET without the body, every other request is
// refused (404, 405 whatever its body). Whatever a page sends is read and
// dropped; its pings are answered.
//
// Safety: a request without a Host or with two is refused (400), and so is
// one whose Host is neither an IP literal nor "localhost" (403; a web site
// that rebinds its name to this address reads nothing), and an upgrade whose
// Origin is not this server (403). Memory is bounded: at most
// WebLimits::maxClients pages at once (more are refused with 503), at most
// WebLimits::maxQueuedBytes unsent to one page, its pongs included (a page
// past that is dropped), request headers of at most 16000 bytes (more: 431
// or 400), no request body, and a request must arrive within 5 s.
//
// Notes: a dropped page and each refused request (but for 404 and 405) are
// noted, at most 10 a minute; a connection that sends nothing at all (a
// browser opens one ahead) is no request and is not.
#ifndef VESK_HOST_UI_WEB_WEB_SERVER_H
#define VESK_HOST_UI_WEB_WEB_SERVER_H

#include <asio.hpp>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

struct WebLimits {
    size_t maxClients = 256;
    size_t maxQueuedBytes = 4u << 20;
};

// What the server hands out; called on the loop's thread, never inside a
// call to the component.
class WebContent {
public:
    virtual ~WebContent() = default;
    // The page (HTML with its script and styles).
    virtual std::string page() = 0;
    // The body of /state.json: the state now, or the final state of the
    // script that ended; null before any script ran (then 503).
    virtual std::optional<std::string> stateJson() = 0;
    // What a page that has just connected is sent, in order (the whole view).
    virtual std::vector<std::string> greeting() = 0;
};

class WebServer {
public:
    // Why a page or a request was turned away, for the owner's notes.
    using NoteFn = std::function<void(const std::string& text)>;

    // Serves `content` (not owned; it must outlive the server) on `io` (not
    // owned; it must outlive the server). `note` is told of dropped pages and
    // refused requests; it may be empty.
    WebServer(asio::io_context& io, WebContent& content, NoteFn note, WebLimits limits = {});
    // Closes the listener, sends every page what was queued for it and a
    // closing handshake (1001, going away) within a second, closes what is
    // left, and serves the io_context (poll only, a bounded number of rounds)
    // until their handlers have ended. Notes no more.
    ~WebServer();
    WebServer(const WebServer&) = delete;
    WebServer& operator=(const WebServer&) = delete;

    // Listens on `host` (an IP literal or "localhost") and `port` (0: a free
    // one). False with `why` set when that fails; listening twice fails.
    bool listen(const std::string& host, uint16_t port, std::string& why);
    // The port listened on; 0 before listen() succeeded.
    uint16_t port() const;
    // Sends `message` as one text frame to every connected page; a page with
    // more than maxQueuedBytes unsent is dropped instead (with a note).
    void broadcast(const std::string& message);
    // Pages connected now.
    size_t clients() const;
    // Pages dropped for not reading, since the start.
    size_t dropped() const;

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

#endif  // VESK_HOST_UI_WEB_WEB_SERVER_H

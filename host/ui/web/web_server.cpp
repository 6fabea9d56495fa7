#include "ui/web/web_server.h"

#include "os/os.h"

#include <chrono>
#include <deque>
#include <map>

#include <websocketpp/server.hpp>

#include "ui/web/ws_config.h"

using Endpoint = websocketpp::server<WebServerConfig>;
using Connection = Endpoint::connection_ptr;
using Handle = websocketpp::connection_hdl;
using Status = websocketpp::http::status_code::value;
using MessagePtr = Endpoint::message_ptr;

// What one queued pong takes (its message, frame header, payload and place
// in the queue, as allocated), counted toward a page's unsent bytes: a pong
// of an empty ping is 2 bytes on the wire but far more while it waits.
static const size_t kQueuedPongBytes = 320;
// How long the goodbye to the pages (their last frames and the closing
// handshake) may hold up the end; a page that reads nothing is cut then.
static const std::chrono::milliseconds kClosingTime(1000);

// At most this many notes a minute; the rest are counted and told with the
// next one, so that a flood of bad clients cannot flood the transcript.
static const int kNotesPerMinute = 10;

struct WebServer::Impl {
    Impl(asio::io_context& io, WebContent& content, NoteFn note, WebLimits limits)
        : io(io), content(content), note(std::move(note)), limits(limits) {}

    asio::io_context& io;
    WebContent& content;
    NoteFn note;
    WebLimits limits;
    Endpoint endpoint;
    bool listening = false;
    uint16_t port = 0;
    // What is kept of one page besides its connection.
    struct Page {
        // The pongs it is sent that are not written yet, oldest first (one
        // that has been written is gone: the pointer has expired).
        std::deque<std::weak_ptr<MessagePtr::element_type>> pongs;
    };
    // The pages connected now (WebSocket open).
    std::map<Handle, Page, std::owner_less<Handle>> pages;
    size_t dropped = 0;
    std::chrono::steady_clock::time_point notesSince{};
    int notesInWindow = 0;
    int notesUnsaid = 0;

    void tell(const std::string& text);
    void install();
    void serveHttp(Handle handle);
    bool acceptPage(Handle handle);
    void opened(Handle handle);
    void failed(Handle handle);
    bool send(Handle handle, const std::string& message);
    bool answerPing(Handle handle, const std::string& payload);
    bool makeRoom(Handle handle, const Connection& con, size_t bytes);
    void closePages();
    std::vector<Handle> handles() const;
};

std::vector<Handle> WebServer::Impl::handles() const {
    std::vector<Handle> all;
    for (const auto& entry : pages) all.push_back(entry.first);
    return all;
}

void WebServer::Impl::tell(const std::string& text) {
    if (!note) return;
    const auto now = std::chrono::steady_clock::now();
    if (now - notesSince >= std::chrono::minutes(1)) {
        notesSince = now;
        notesInWindow = 0;
    }
    if (notesInWindow >= kNotesPerMinute) {
        ++notesUnsaid;
        return;
    }
    ++notesInWindow;
    std::string line = "web view: " + text;
    if (notesUnsaid) line += " (and " + std::to_string(notesUnsaid) + " earlier notes not shown)";
    notesUnsaid = 0;
    note(line);
}

// A Host header naming an IP literal or localhost, with or without a port:
// a name that a web site could point at this machine is refused.
static bool trustedHost(const std::string& host) {
    std::string name = host;
    if (!name.empty() && name[0] == '[') {
        const size_t close = name.find(']');
        if (close == std::string::npos) return false;
        name = name.substr(1, close - 1);
    } else if (const size_t colon = name.rfind(':'); colon != std::string::npos) {
        name = name.substr(0, colon);
    }
    if (name == "localhost") return true;
    asio::error_code ec;
    asio::ip::make_address(name, ec);
    return !ec;
}

// A HEAD is answered as its GET would be, without the body: the length
// is the body's all the same.
static void respond(const Connection& con, Status status, const std::string& type, const std::string& body) {
    con->set_status(status);
    con->append_header("Content-Type", type);
    con->append_header("Cache-Control", "no-store");
    con->append_header("X-Content-Type-Options", "nosniff");
    if (con->get_request().get_method() == "HEAD") {
        con->set_body("");
        con->replace_header("Content-Length", std::to_string(body.size()));
    } else {
        con->set_body(body);
    }
}

// The path of a request's target: a query ("/?reload=2") is ignored.
static std::string targetPath(const Connection& con) {
    const std::string resource = con->get_resource();
    return resource.substr(0, resource.find('?'));
}

void WebServer::Impl::serveHttp(Handle handle) {
    Connection con = endpoint.get_con_from_hdl(handle);
    const std::string method = con->get_request().get_method();
    const std::string path = targetPath(con);
    if (!trustedHost(con->get_request_header("Host"))) {
        respond(con, websocketpp::http::status_code::forbidden, "text/plain", "unknown host name\n");
        return;
    }
    if (method != "GET" && method != "HEAD") {
        con->append_header("Allow", "GET, HEAD");
        respond(con, websocketpp::http::status_code::method_not_allowed, "text/plain", "read-only: GET only\n");
        return;
    }
    if (path == "/" || path == "/index.html") {
        respond(con, websocketpp::http::status_code::ok, "text/html; charset=utf-8", content.page());
        // The page's own script and styles only; nothing from elsewhere.
        con->append_header("Content-Security-Policy",
                           "default-src 'none'; script-src 'unsafe-inline'; style-src 'unsafe-inline'; "
                           "connect-src 'self'; img-src data:; base-uri 'none'; form-action 'none'");
    } else if (path == "/state.json") {
        std::optional<std::string> state = content.stateJson();
        if (state)
            respond(con, websocketpp::http::status_code::ok, "application/json", *state + "\n");
        else
            respond(con, websocketpp::http::status_code::service_unavailable, "application/json",
                    "{\"error\":\"no script is running\"}\n");
    } else {
        respond(con, websocketpp::http::status_code::not_found, "text/plain", "not found\n");
    }
}

// Checked before a WebSocket upgrade completes: the path, the Host, the
// Origin (a browser sends it; only pages of this server may connect) and the
// number of pages.
bool WebServer::Impl::acceptPage(Handle handle) {
    Connection con = endpoint.get_con_from_hdl(handle);
    const std::string host = con->get_request_header("Host");
    const std::string origin = con->get_request_header("Origin");
    if (targetPath(con) != "/events") {
        con->set_status(websocketpp::http::status_code::not_found);
        return false;
    }
    if (!trustedHost(host) || (!origin.empty() && origin != "http://" + host)) {
        con->set_status(websocketpp::http::status_code::forbidden);
        tell("refused a page from another origin (" + origin.substr(0, 80) + ")");
        return false;
    }
    if (pages.size() >= limits.maxClients) {
        con->set_status(websocketpp::http::status_code::service_unavailable);
        tell("refused a page: " + std::to_string(limits.maxClients) + " are open already");
        return false;
    }
    return true;
}

void WebServer::Impl::opened(Handle handle) {
    pages[handle];
    for (const std::string& message : content.greeting())
        if (!send(handle, message)) return;
}

// A request that did not end in a response or a page: malformed, too large,
// too slow, or its client went away in the middle. A connection that never
// sent a byte is no request (browsers open one ahead and may never use it),
// and a refused method is an answer, as serveHttp gives it.
void WebServer::Impl::failed(Handle handle) {
    pages.erase(handle);
    Connection con = endpoint.get_con_from_hdl(handle);
    const int status = con->get_response_code();
    if (con->get_request().bytesReceived() == 0 || status == websocketpp::http::status_code::method_not_allowed) return;
    std::string why = con->get_ec().message();
    if (status >= 400 && status != websocketpp::http::status_code::not_found)
        why = std::to_string(status) + " " + websocketpp::http::status_code::get_string(con->get_response_code());
    tell("a request ended without an answer or was refused: " + why);
}

// True when `bytes` more fit in what the page may leave unread (the text
// queued for it and its pongs not written yet); else the page is dropped.
bool WebServer::Impl::makeRoom(Handle handle, const Connection& con, size_t bytes) {
    auto page = pages.find(handle);
    if (page == pages.end()) return false;
    std::deque<std::weak_ptr<MessagePtr::element_type>>& pongs = page->second.pongs;
    while (!pongs.empty() && pongs.front().expired()) pongs.pop_front();
    const size_t unsent = con->get_buffered_amount() + pongs.size() * kQueuedPongBytes;
    if (unsent + bytes <= limits.maxQueuedBytes) return true;
    ++dropped;
    pages.erase(page);
    tell("dropped a page that did not keep up (" + std::to_string(unsent) + " bytes unsent)");
    // Closing the socket ends the write it is stuck in; the connection then
    // ends and frees what it queued.
    asio::error_code ignored;
    con->get_raw_socket().close(ignored);
    return false;
}

// Queues `message` for one page, or drops the page when it is too far
// behind. False when the page was dropped or the send failed.
bool WebServer::Impl::send(Handle handle, const std::string& message) {
    websocketpp::lib::error_code ec;
    Connection con = endpoint.get_con_from_hdl(handle, ec);
    if (ec || !makeRoom(handle, con, message.size())) return false;
    return !con->send(message, websocketpp::frame::opcode::text);
}

// Answers a ping here rather than in websocketpp, which would queue pongs
// without bound for a page that reads nothing. False: websocketpp sends none.
bool WebServer::Impl::answerPing(Handle handle, const std::string& payload) {
    websocketpp::lib::error_code ec;
    Connection con = endpoint.get_con_from_hdl(handle, ec);
    if (ec || !makeRoom(handle, con, kQueuedPongBytes)) return false;
    // A server's frame is unmasked; a control frame's payload is at most
    // 125 bytes (websocketpp refuses a longer ping), so its length is one
    // byte after the opcode's (FIN and PONG).
    MessagePtr pong = con->get_message(websocketpp::frame::opcode::pong, payload.size());
    pong->set_header(std::string{static_cast<char>(0x8A), static_cast<char>(payload.size())});
    pong->set_payload(payload);
    pong->set_prepared(true);
    if (!con->send(pong)) pages.at(handle).pongs.push_back(pong);
    return false;
}

void WebServer::Impl::install() {
    endpoint.set_http_handler([this](Handle h) { serveHttp(h); });
    endpoint.set_validate_handler([this](Handle h) { return acceptPage(h); });
    endpoint.set_open_handler([this](Handle h) { opened(h); });
    endpoint.set_close_handler([this](Handle h) { pages.erase(h); });
    endpoint.set_fail_handler([this](Handle h) { failed(h); });
    endpoint.set_ping_handler([this](Handle h, std::string payload) { return answerPing(h, payload); });
    // Pages have nothing to say; what they send is dropped.
    endpoint.set_message_handler([](Handle, Endpoint::message_ptr) {});
}

WebServer::WebServer(asio::io_context& io, WebContent& content, NoteFn note, WebLimits limits)
    : impl_(std::make_unique<Impl>(io, content, std::move(note), limits)) {
    impl_->endpoint.init_asio(&io);
    impl_->install();
}

// Each page is sent a closing handshake after what it was sent before
// ("going away": the page knows the host ended rather than went missing),
// within kClosingTime; then every socket left is closed.
void WebServer::Impl::closePages() {
    websocketpp::lib::error_code ec;
    for (const Handle& handle : handles()) {
        Connection con = endpoint.get_con_from_hdl(handle, ec);
        if (!ec) con->close(websocketpp::close::status::going_away, "vesk-host ended", ec);
    }
    const auto deadline = std::chrono::steady_clock::now() + kClosingTime;
    while (!pages.empty() && std::chrono::steady_clock::now() < deadline) io.run_one_for(std::chrono::milliseconds(10));
    for (const Handle& handle : handles()) {
        Connection con = endpoint.get_con_from_hdl(handle, ec);
        asio::error_code ignored;
        if (!ec) con->get_raw_socket().close(ignored);
    }
}

WebServer::~WebServer() {
    Impl& s = *impl_;
    s.note = nullptr;
    websocketpp::lib::error_code ec;
    if (s.listening) s.endpoint.stop_listening(ec);
    s.closePages();
    // The connections' handlers point into the endpoint: let them end
    // before it goes. Each round runs what is ready; closed sockets end
    // their operations at once, so a few rounds suffice.
    for (int round = 0; round < 50; ++round)
        if (s.io.poll() == 0 && s.pages.empty() && round >= 2) break;
}

bool WebServer::listen(const std::string& host, uint16_t port, std::string& why) {
    Impl& s = *impl_;
    if (s.listening) {
        why = "the web view listens already";
        return false;
    }
    asio::error_code ec;
    asio::ip::address address = asio::ip::make_address(host == "localhost" ? "127.0.0.1" : host, ec);
    if (ec) {
        why = "not an IP address: " + host;
        return false;
    }
    if (reuseListeningAddress()) s.endpoint.set_reuse_addr(true);
    websocketpp::lib::error_code wec;
    s.endpoint.listen(asio::ip::tcp::endpoint(address, port), wec);
    if (!wec) s.endpoint.start_accept(wec);
    if (wec) {
        why = "cannot listen on " + host + ":" + std::to_string(port) + ": " + wec.message();
        return false;
    }
    s.listening = true;
    s.port = s.endpoint.get_local_endpoint(ec).port();
    return true;
}

uint16_t WebServer::port() const { return impl_->port; }

void WebServer::broadcast(const std::string& message) {
    // send() may drop pages from the map: walk a copy of the handles.
    for (const Handle& handle : impl_->handles()) impl_->send(handle, message);
}

size_t WebServer::clients() const { return impl_->pages.size(); }

size_t WebServer::dropped() const { return impl_->dropped; }

#include "ui/web/web_server.h"

#include "os/os.h"

#include <chrono>
#include <set>

#include <websocketpp/server.hpp>

#include "ui/web/ws_config.h"

using Endpoint = websocketpp::server<WebServerConfig>;
using Connection = Endpoint::connection_ptr;
using Handle = websocketpp::connection_hdl;
using Status = websocketpp::http::status_code::value;

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
    // The pages connected now (WebSocket open).
    std::set<Handle, std::owner_less<Handle>> pages;
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
};

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

static void respond(const Connection& con, Status status, const std::string& type, const std::string& body) {
    con->set_status(status);
    con->append_header("Content-Type", type);
    con->append_header("Cache-Control", "no-store");
    con->append_header("X-Content-Type-Options", "nosniff");
    con->set_body(body);
}

void WebServer::Impl::serveHttp(Handle handle) {
    Connection con = endpoint.get_con_from_hdl(handle);
    const std::string method = con->get_request().get_method();
    const std::string resource = con->get_resource();
    if (!trustedHost(con->get_request_header("Host"))) {
        respond(con, websocketpp::http::status_code::forbidden, "text/plain", "unknown host name\n");
        return;
    }
    if (method != "GET" && method != "HEAD") {
        con->append_header("Allow", "GET, HEAD");
        respond(con, websocketpp::http::status_code::method_not_allowed, "text/plain", "read-only: GET only\n");
        return;
    }
    if (resource == "/" || resource == "/index.html") {
        respond(con, websocketpp::http::status_code::ok, "text/html; charset=utf-8", content.page());
        // The page's own script and styles only; nothing from elsewhere.
        con->append_header("Content-Security-Policy",
                           "default-src 'none'; script-src 'unsafe-inline'; style-src 'unsafe-inline'; "
                           "connect-src 'self'; img-src data:; base-uri 'none'; form-action 'none'");
    } else if (resource == "/state.json") {
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
    if (con->get_resource() != "/events") {
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
    pages.insert(handle);
    for (const std::string& message : content.greeting())
        if (!send(handle, message)) return;
}

// A request that did not end in a response or a page: malformed, too large,
// too slow, or its client went away in the middle.
void WebServer::Impl::failed(Handle handle) {
    pages.erase(handle);
    Connection con = endpoint.get_con_from_hdl(handle);
    const websocketpp::lib::error_code ec = con->get_ec();
    const int status = con->get_response_code();
    std::string why = ec.message();
    if (status >= 400 && status != websocketpp::http::status_code::not_found)
        why = std::to_string(status) + " " + websocketpp::http::status_code::get_string(con->get_response_code());
    tell("a request ended without an answer or was refused: " + why);
}

// Queues `message` for one page, or drops the page when it is too far
// behind. False when the page was dropped or the send failed.
bool WebServer::Impl::send(Handle handle, const std::string& message) {
    websocketpp::lib::error_code ec;
    Connection con = endpoint.get_con_from_hdl(handle, ec);
    if (ec) return false;
    if (con->get_buffered_amount() + message.size() > limits.maxQueuedBytes) {
        ++dropped;
        pages.erase(handle);
        tell("dropped a page that did not keep up (" + std::to_string(con->get_buffered_amount()) +
             " bytes unsent)");
        // Closing the socket ends the write it is stuck in; the connection
        // then ends and frees what it queued.
        asio::error_code ignored;
        con->get_raw_socket().close(ignored);
        return false;
    }
    return !con->send(message, websocketpp::frame::opcode::text);
}

void WebServer::Impl::install() {
    endpoint.set_http_handler([this](Handle h) { serveHttp(h); });
    endpoint.set_validate_handler([this](Handle h) { return acceptPage(h); });
    endpoint.set_open_handler([this](Handle h) { opened(h); });
    endpoint.set_close_handler([this](Handle h) { pages.erase(h); });
    endpoint.set_fail_handler([this](Handle h) { failed(h); });
    // Pages have nothing to say; what they send is dropped.
    endpoint.set_message_handler([](Handle, Endpoint::message_ptr) {});
}

WebServer::WebServer(asio::io_context& io, WebContent& content, NoteFn note, WebLimits limits)
    : impl_(std::make_unique<Impl>(io, content, std::move(note), limits)) {
    impl_->endpoint.init_asio(&io);
    impl_->install();
}

WebServer::~WebServer() {
    Impl& s = *impl_;
    websocketpp::lib::error_code ec;
    if (s.listening) s.endpoint.stop_listening(ec);
    for (const Handle& handle : std::set<Handle, std::owner_less<Handle>>(s.pages)) {
        Connection con = s.endpoint.get_con_from_hdl(handle, ec);
        asio::error_code ignored;
        if (!ec) con->get_raw_socket().close(ignored);
    }
    s.note = nullptr;
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
    // send() may drop pages from the set: walk a copy.
    for (const Handle& handle : std::set<Handle, std::owner_less<Handle>>(impl_->pages)) impl_->send(handle, message);
}

size_t WebServer::clients() const { return impl_->pages.size(); }

size_t WebServer::dropped() const { return impl_->dropped; }

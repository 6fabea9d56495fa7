#include "ui/web/web_host.h"

#include <cctype>

#include "os/interrupt.h"

std::optional<HostPort> parseWebAddress(const std::string& text, std::string& why) {
    why = "expected --web [ADDR:]PORT (ADDR an IP address or localhost), got \"" + text + "\"";
    bool digitsOnly = !text.empty();
    for (char c : text) digitsOnly = digitsOnly && std::isdigit(static_cast<unsigned char>(c));
    // A port must be given: ADDR alone ("127.0.0.1", "::1") is refused.
    const size_t colon = text.rfind(':');
    const bool portGiven = digitsOnly || (colon != std::string::npos && colon + 1 < text.size() &&
                                          (text[0] != '[' || (colon > 0 && text[colon - 1] == ']')));
    std::optional<HostPort> address =
        portGiven ? parseHostPort(digitsOnly ? "127.0.0.1:" + text : text, 0, PortZero::Allowed) : std::nullopt;
    if (!address) return std::nullopt;
    asio::error_code ec;
    if (address->host != "localhost") asio::ip::make_address(address->host, ec);
    if (ec) return std::nullopt;
    // "::1" bare is a host without a port to parseHostPort; it must be
    // written [::1]:PORT here.
    if (!digitsOnly && text[0] != '[' && address->host.find(':') != std::string::npos) return std::nullopt;
    why.clear();
    return address;
}

bool isLoopback(const std::string& host) {
    if (host == "localhost") return true;
    asio::error_code ec;
    const asio::ip::address address = asio::ip::make_address(host, ec);
    return !ec && address.is_loopback();
}

WebHost::WebHost(asio::io_context& io, WebView& view, WebView::StateSource state, WebServer::NoteFn note,
                 WebLimits limits)
    : view_(view), server_(io, view, std::move(note), limits) {
    view_.attach(io, server_, std::move(state));
}

// The pages get what the loop did not push, then (as the server goes) a
// closing handshake.
WebHost::~WebHost() {
    view_.finish();
    view_.detach();
}

bool WebHost::start(const HostPort& address, std::ostream& out, std::string& why) {
    if (!server_.listen(address.host, address.port, why)) return false;
    const HostPort bound{address.host, server_.port()};
    if (!isLoopback(address.host))
        out << "warning: the web view listens on " << formatHostPort(bound)
            << ", which other machines may reach: anyone there can read this session\n";
    url_ = "http://" + formatHostPort(bound) + "/";
    out << "web view at " << url_ << std::endl;
    return true;
}

int WebHost::serveUntilInterrupted(EventLoop& loop, std::ostream& out) {
    out << "web view: the final state stays at " << url_ << " until Ctrl-C" << std::endl;
    while (!interruption()) loop.serve(60000);
    return interruption();
}

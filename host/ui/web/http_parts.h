// The HTTP request and response of the web view's server: websocketpp's
// parser types with what that server needs besides, for its configuration
// (ws_config.h) to name. The connection calls these by their static type.
#ifndef VESK_HOST_UI_WEB_HTTP_PARTS_H
#define VESK_HOST_UI_WEB_HTTP_PARTS_H

#include <cstddef>
#include <string>

#include <websocketpp/http/request.hpp>
#include <websocketpp/http/response.hpp>

class WebRequest : public websocketpp::http::parser::request {
public:
    // As request::consume (the request line, headers and body as they
    // arrive), counting the bytes and the Host lines of the head. Throws
    // websocketpp::http::exception, which the connection answers with its
    // status: 400 for a head with more than one Host line (a Host a proxy
    // and this server could read differently), and 405 for a body sent with
    // a method other than GET or HEAD (no body is ever read, so the parser
    // alone would answer 413, as if a shorter one were welcome).
    size_t consume(const char* buf, size_t len);
    // Bytes received so far; 0: the client has sent nothing at all.
    size_t bytesReceived() const { return received_; }

private:
    void scanHead(const char* buf, size_t len);

    size_t received_ = 0;
    bool headEnded_ = false;  // the blank line after the headers was seen
    int hostLines_ = 0;
    size_t lineBytes_ = 0;    // bytes of the current head line, '\r' aside
    std::string lineStart_;   // its first bytes, lowercased (at most 5)
};

class WebResponse : public websocketpp::http::parser::response {
public:
    // As response::raw, with the reason phrase of the status where none was
    // set (websocketpp's own refusals set none) and, on a 405, the Allow
    // header that must come with it.
    std::string raw() const;
};

#endif  // VESK_HOST_UI_WEB_HTTP_PARTS_H

#include "ui/web/http_parts.h"

#include <cctype>

namespace http = websocketpp::http;

void WebRequest::scanHead(const char* buf, size_t len) {
    for (size_t i = 0; i < len && !headEnded_; ++i) {
        const char c = buf[i];
        if (c == '\n') {
            if (lineBytes_ == 0) headEnded_ = true;
            else if (lineStart_ == "host:") ++hostLines_;
            lineBytes_ = 0;
            lineStart_.clear();
        } else if (c != '\r') {
            ++lineBytes_;
            if (lineStart_.size() < 5) lineStart_ += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        }
    }
}

size_t WebRequest::consume(const char* buf, size_t len) {
    received_ += len;
    scanHead(buf, len);
    if (hostLines_ > 1) throw http::exception("more than one Host header", http::status_code::bad_request);
    try {
        return request::consume(buf, len);
    } catch (const http::exception& e) {
        const std::string& method = get_method();
        if (e.m_error_code == http::status_code::request_entity_too_large && method != "GET" && method != "HEAD")
            throw http::exception("read-only: GET and HEAD only", http::status_code::method_not_allowed);
        throw;
    }
}

std::string WebResponse::raw() const {
    const bool refusedMethod = get_status_code() == http::status_code::method_not_allowed;
    if (!get_status_msg().empty() && !(refusedMethod && get_header("Allow").empty())) return response::raw();
    response full(*this);
    if (full.get_status_msg().empty()) full.set_status(full.get_status_code());
    if (refusedMethod && full.get_header("Allow").empty()) full.replace_header("Allow", "GET, HEAD");
    return full.raw();
}

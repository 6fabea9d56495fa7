// The websocketpp configuration of the web view: the plain (no TLS) Asio
// transport of websocketpp, driven by the host's one io_context on the main
// thread, with no locking at all (concurrency::none).
//
// Why not websocketpp's own config::asio: it pulls in concurrency::basic,
// whose std::mutex the win32 thread model of the MinGW build lacks (it would
// fall back to Boost). Handlers here all run on the thread that serves the
// io_context, so no lock is needed.
//
// Include this header only from .cpp files compiled for the web view: they
// are compiled without ASIO_NO_DEPRECATED (see host/CMakeLists.txt), since
// websocketpp 0.8.2 names io_service, io_service::work and
// expires_from_now. Those only add names to Asio; the classes the rest of
// the host shares keep their layout.
#ifndef VESK_HOST_UI_WEB_WS_CONFIG_H
#define VESK_HOST_UI_WEB_WS_CONFIG_H

#include <websocketpp/common/platforms.hpp>
#include <websocketpp/common/cpp11.hpp>
#include <websocketpp/common/stdint.hpp>
#include <websocketpp/concurrency/none.hpp>
#include <websocketpp/connection_base.hpp>
#include <websocketpp/endpoint_base.hpp>
#include <websocketpp/extensions/permessage_deflate/disabled.hpp>
#include <websocketpp/http/request.hpp>
#include <websocketpp/http/response.hpp>
#include <websocketpp/logger/levels.hpp>
#include <websocketpp/logger/stub.hpp>
#include <websocketpp/message_buffer/alloc.hpp>
#include <websocketpp/message_buffer/message.hpp>
#include <websocketpp/random/none.hpp>
#include <websocketpp/transport/asio/endpoint.hpp>

#include "ui/web/http_parts.h"

// `Random` masks what a client sends (random::none for the server, which
// never masks; a real generator for the tests' client).
template <typename Random>
struct WebSocketConfig {
    typedef WebSocketConfig type;
    typedef websocketpp::concurrency::none concurrency_type;
    typedef WebRequest request_type;
    typedef WebResponse response_type;
    typedef websocketpp::message_buffer::message<websocketpp::message_buffer::alloc::con_msg_manager> message_type;
    typedef websocketpp::message_buffer::alloc::con_msg_manager<message_type> con_msg_manager_type;
    typedef websocketpp::message_buffer::alloc::endpoint_msg_manager<con_msg_manager_type> endpoint_msg_manager_type;
    // Nothing is logged by the library: the web view writes its own notes.
    typedef websocketpp::log::stub elog_type;
    typedef websocketpp::log::stub alog_type;
    typedef Random rng_type;
    static bool const enable_multithreading = false;

    struct transport_config {
        typedef type::concurrency_type concurrency_type;
        typedef type::elog_type elog_type;
        typedef type::alog_type alog_type;
        typedef type::request_type request_type;
        typedef type::response_type response_type;
        typedef websocketpp::transport::asio::basic_socket::endpoint socket_type;
        static bool const enable_multithreading = false;
        // A client that connects and then says nothing is closed after these
        // (milliseconds), so idle sockets cannot pile up.
        static const long timeout_socket_pre_init = 5000;
        static const long timeout_proxy = 5000;
        static const long timeout_socket_post_init = 5000;
        static const long timeout_dns_resolve = 5000;
        static const long timeout_connect = 5000;
        static const long timeout_socket_shutdown = 2000;
    };
    typedef websocketpp::transport::asio::endpoint<transport_config> transport_type;
    typedef websocketpp::endpoint_base endpoint_base;
    typedef websocketpp::connection_base connection_base;

    // The whole request (line and headers) must arrive within this.
    static const long timeout_open_handshake = 5000;
    static const long timeout_close_handshake = 2000;
    static const long timeout_pong = 5000;
    static const int client_version = 13;  // RFC 6455
    static const websocketpp::log::level elog_level = websocketpp::log::elevel::none;
    static const websocketpp::log::level alog_level = websocketpp::log::alevel::none;
    static const size_t connection_read_buffer_size = 4096;
    // A page sends nothing; whatever a client sends is read and dropped, and
    // a frame this large closes its connection.
    static const bool drop_on_protocol_error = true;
    // A closing handshake carries its code: 1001 (going away) tells a page
    // that vesk-host ended, not that it went missing.
    static const bool silent_close = false;
    static const size_t max_message_size = 4096;
    static const size_t max_http_body_size = 0;
    static const bool enable_extensions = false;

    struct permessage_deflate_config {
        typedef type::request_type request_type;
        static const bool allow_disabling_context_takeover = true;
        static const uint8_t minimum_outgoing_window_bits = 8;
    };
    typedef websocketpp::extensions::permessage_deflate::disabled<permessage_deflate_config> permessage_deflate_type;
};

typedef WebSocketConfig<websocketpp::random::none::int_generator<uint32_t>> WebServerConfig;

#endif  // VESK_HOST_UI_WEB_WS_CONFIG_H

// One protocol vesk-router serves over its SharedRouter: what a TcpServer
// asks for each connection it accepts. The service is the shared part (the
// router, its change subscription, the list of its clients, its counters);
// each connection's state (parser or framer, queue, timers) is the session
// object it makes.
//
// Lifetime: a service must outlive the TcpServer that calls it (vesk-router
// makes the services first, so the servers close, and tell every session,
// first).
#ifndef VESK_ROUTER_SERVER_ROUTER_SERVICE_H
#define VESK_ROUTER_SERVER_ROUTER_SERVICE_H

#include <cstddef>
#include <memory>

#include "tcp_server.h"

class RouterService {
public:
    virtual ~RouterService() = default;
    // The session of a new connection, or null to refuse it (the service logs
    // why, e.g. too many clients).
    virtual std::unique_ptr<TcpSession> open(TcpConnection& connection) = 0;
    // The sessions made and not yet closed.
    virtual size_t clientCount() const = 0;
    // The factory a TcpServer takes: open() of this service.
    TcpSessionFactory factory() {
        return [this](TcpConnection& connection) { return open(connection); };
    }
};

#endif  // VESK_ROUTER_SERVER_ROUTER_SERVICE_H

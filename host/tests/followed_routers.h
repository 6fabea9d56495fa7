// Live routers of each protocol, made as Backends makes them, for tests that
// follow a test router directly.
#ifndef VESK_HOST_TESTS_FOLLOWED_ROUTERS_H
#define VESK_HOST_TESTS_FOLLOWED_ROUTERS_H

#include <memory>
#include <string>

#include "routers/live_router.h"
#include "swp08/swp08_codec.h"
#include "videohub_codec.h"

struct FollowedVideohub : LiveRouter {
    FollowedVideohub(asio::io_context& io, int device, const std::string& host, uint16_t port, ClientTiming timing,
                     BackendEvents& events)
        : LiveRouter(io, device, "videohub", std::make_unique<VideohubCodec>(), host, port, timing, events) {}
};

// A timing without a re-send interval gets SW-P-08's: 1 s, 5 re-sends.
inline ClientTiming withSwp08Resends(ClientTiming timing) {
    if (timing.resendAfter.count() <= 0) {
        timing.resendAfter = std::chrono::milliseconds(1000);
        timing.maxResends = 5;
    }
    return timing;
}

struct FollowedSwp08 : LiveRouter {
    FollowedSwp08(asio::io_context& io, int device, const std::string& host, uint16_t port,
                  swp08::Codec::Options options, ClientTiming timing, BackendEvents& events)
        : LiveRouter(io, device, "swp08", std::make_unique<swp08::Codec>(options), host, port,
                     withSwp08Resends(timing), events) {}
};

#endif  // VESK_HOST_TESTS_FOLLOWED_ROUTERS_H

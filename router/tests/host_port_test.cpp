#include "host_port.h"

#include <gtest/gtest.h>

#include <string>

namespace {

struct HostPortCase {
    const char* text;
    const char* host;  // nullptr: refused
    int port;
};

TEST(HostPort, ParsesHostsPortsAndIPv6) {
    const HostPortCase cases[] = {
        {"127.0.0.1", "127.0.0.1", 9990},
        {"127.0.0.1:1234", "127.0.0.1", 1234},
        {"router.example:65535", "router.example", 65535},
        {"::1", "::1", 9990},
        {"fe80::1:2", "fe80::1:2", 9990},
        {"[::1]", "::1", 9990},
        {"[::1]:80", "::1", 80},
        {"[127.0.0.1]:80", "127.0.0.1", 80},
        {"127.0.0.1:1:2", nullptr, 0},
        {"router:1:2", nullptr, 0},
        {"", nullptr, 0},
        {":80", nullptr, 0},
        {"[]:80", nullptr, 0},
        {"[::1", nullptr, 0},
        {"[::1]80", nullptr, 0},
        {"[::1]:", nullptr, 0},
        {"host:", nullptr, 0},
        {"host:0", nullptr, 0},
        {"host:65536", nullptr, 0},
        {"host:123456", nullptr, 0},
        {"host:8x", nullptr, 0},
        {"host:-1", nullptr, 0},
        {"bad host:80", nullptr, 0},
        {"host\x1b:80", nullptr, 0},
    };
    for (const HostPortCase& c : cases) {
        const std::optional<HostPort> got = parseHostPort(c.text, 9990);
        if (!c.host) {
            EXPECT_FALSE(got) << "\"" << c.text << "\" gave " << got->host << " port " << got->port;
            continue;
        }
        ASSERT_TRUE(got) << "\"" << c.text << "\" refused";
        EXPECT_EQ(got->host, c.host) << c.text;
        EXPECT_EQ(got->port, c.port) << c.text;
    }
}

TEST(HostPort, PortZeroOnlyWhenAllowed) {
    EXPECT_FALSE(parseHostPort("127.0.0.1:0", 9990));
    const std::optional<HostPort> any = parseHostPort("[::1]:0", 9990, PortZero::Allowed);
    ASSERT_TRUE(any);
    EXPECT_EQ(any->port, 0);
}

TEST(HostPort, FormatsWhatItParses) {
    for (const char* text : {"127.0.0.1:9990", "[::1]:80", "router.example:1"}) {
        const std::optional<HostPort> got = parseHostPort(text, 1);
        ASSERT_TRUE(got) << text;
        EXPECT_EQ(formatHostPort(*got), text);
    }
}

}  // namespace

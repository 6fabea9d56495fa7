// vesk-host following a live router on loopback, against the goals:
//   - from the router's write of a route change to the component's TP for it:
//     median under 1 ms, 99th percentile under 5 ms over 1000 changes;
//   - connecting to a 288x288 router and absorbing its dump (labels and
//     routing) until the state is known: median under 5 ms;
// and, printed without a goal, the peak memory of the vesk-host program
// following such a router.
//
// The router is vesk-router's server on its own thread (its io_context); the
// emulator runs on the main thread, driven through the script runner as a
// script would drive it. Exit status 1 when a goal is missed.
//
//   live_bench MODULE VESK_HOST
#include <atomic>
#include <cstdio>
#include <string>
#include <vector>

#include "bench_support.h"
#include "one_core.h"

namespace {

const int kPorts = 288;
const int kChanges = 1000;
const int kConnects = 20;

// Peak resident memory of the vesk-host program following a kPorts x kPorts
// router, in KiB; 0 when it cannot be measured.
long followingPeakKiB(const char* module, const char* host) {
    RouterThread router(RouterThread::Protocol::Videohub, kPorts, kPorts);
    return hostPeakKiB(module, host,
                       "site temp\nconfig 5 size 288\ndevice 5 videohub 127.0.0.1:" + std::to_string(router.port()) +
                           "\ncreate\nsend driverid=5\nsend destid=12\nwait 300\n");
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: live_bench MODULE VESK_HOST\n");
        return 2;
    }
    runOnOneCore();
    const std::string module = argv[1];
    bool ok = true;

    RouterThread router(RouterThread::Protocol::Videohub, kPorts, kPorts);
    const std::string device = "device 5 videohub 127.0.0.1:" + std::to_string(router.port()) + "\n";

    // Connect and absorb the dump, each time from a fresh session.
    std::vector<double> connects;
    for (int i = 0; i < kConnects; ++i) {
        Session session(module);
        session.run("site temp\nconfig 5 size 288");
        BenchClock::time_point start = BenchClock::now();
        session.run(device);
        connects.push_back(msSince(start));
        session.runner.end();
    }

    // Route changes to destination 12 (output 11), each to another input.
    Session session(module);
    session.run("site temp\nconfig 5 size 288\n" + device + "create\nsend driverid=5\nsend destid=12\n"
                "expect text \"Input 12\" within 2000");
    std::vector<double> latencies;
    std::atomic<int64_t> written{0};
    for (int i = 0; i < kChanges; ++i) {
        const int input = (11 + 1 + i % (kPorts - 1)) % kPorts;
        router.route(11, input, written);
        session.run("expect text \"Input " + std::to_string(input + 1) + "\" within 1000");
        const int64_t seen = BenchClock::now().time_since_epoch().count();
        latencies.push_back(static_cast<double>(seen - written.load()) / 1e6);
    }
    if (!session.runner.end()) {
        std::printf("live_bench: the component did not follow every change:\n%s\n", session.out.str().c_str());
        return 1;
    }

    std::printf("vesk-host following a %dx%d router on 127.0.0.1\n", kPorts, kPorts);
    ok &= goal("route change written -> component's TP, median", percentile(latencies, 0.5), 1.0, "ms");
    ok &= goal("route change written -> component's TP, 99th percentile", percentile(latencies, 0.99), 5.0, "ms");
    ok &= goal("connect and absorb the 288x288 dump, median", percentile(connects, 0.5), 5.0, "ms");
    const long peak = followingPeakKiB(argv[1], argv[2]);
    std::printf("%-56s %9ld KiB\n", "peak memory of vesk-host with a 288x288 router", peak);
    if (peak == 0) ok = false;
    return ok ? 0 : 1;
}

// vesk-host following a live SW-P-08 router on loopback, against the goals:
//   - from the router's write of a route change to the component's TP for it:
//     median under 1 ms, 99th percentile under 5 ms over 1000 changes;
//   - connecting to a router with 16-character names and absorbing its names
//     and tally dump, until the component shows the source of the last
//     destination (the dump's last message): median under 20 ms for
//     1024x1024, under 100 ms for 4096x4096;
// and, printed without a goal, the peak memory of the vesk-host program
// following each of these routers.
//
// The router is vesk-router's SW-P-08 service on its own thread (its
// io_context); the emulator runs on the main thread, driven through the
// script runner as a script would drive it. Figures are printed first; the
// exit status is 1 when a goal is missed or the host did not follow.
//
//   swp08_bench MODULE VESK_HOST
#include <atomic>
#include <cstdio>
#include <string>
#include <vector>

#include "bench_support.h"
#include "one_core.h"

namespace {

const int kChangePorts = 1024;
const int kChanges = 1000;
const int kConnects = 10;

struct SizeGoal {
    int ports;
    double limitMs;
};
const SizeGoal kSizes[] = {{1024, 20.0}, {4096, 100.0}};

// Names of exactly 16 characters, the width asked for.
std::string sourceName(int input) {
    char text[32];
    std::snprintf(text, sizeof text, "Camera %04d feed", input + 1);
    return text;
}

std::string destinationName(int output) {
    char text[32];
    std::snprintf(text, sizeof text, "Monitor %04d bay", output + 1);
    return text;
}

void nameAll(RouterModel& model) {
    for (int input = 0; input < model.inputs(); ++input) model.setInputLabel(input, sourceName(input));
    for (int output = 0; output < model.outputs(); ++output) model.setOutputLabel(output, destinationName(output));
}

std::string deviceStatement(const RouterThread& router) {
    return "device 5 swp08 127.0.0.1:" + std::to_string(router.port()) + " names 16\n";
}

// The component set up on destination `destination` of device 5, a router
// of `ports` destinations.
std::string componentStatements(int ports, int destination) {
    return "site temp\nconfig 5 size " + std::to_string(ports) + "\ncreate\nsend driverid=5\nsend destid=" +
           std::to_string(destination) + "\n";
}

std::string expectSource(int input, int withinMs) {
    return "expect text \"" + sourceName(input) + "\" within " + std::to_string(withinMs) + "\n";
}

// Milliseconds from the device statement to the component showing the
// source of the last destination, each from a fresh session; empty (after
// printing the transcript) when the host did not follow.
std::vector<double> connectTimes(const std::string& module, int ports) {
    RouterThread router(RouterThread::Protocol::Swp08, ports, ports, nameAll);
    std::vector<double> times;
    for (int i = 0; i < kConnects; ++i) {
        Session session(module);
        session.run(componentStatements(ports, ports));
        BenchClock::time_point start = BenchClock::now();
        session.run(deviceStatement(router) + expectSource(ports - 1, 5000));
        times.push_back(msSince(start));
        if (!session.runner.end()) {
            std::printf("swp08_bench: the %dx%d router was not absorbed:\n%s\n", ports, ports,
                        session.out.str().c_str());
            return {};
        }
    }
    return times;
}

// Milliseconds from the router's write of each change to the component's TP
// for it; empty (after printing the transcript) when the host missed one.
std::vector<double> changeLatencies(const std::string& module) {
    RouterThread router(RouterThread::Protocol::Swp08, kChangePorts, kChangePorts, nameAll);
    Session session(module);
    session.run(componentStatements(kChangePorts, 12) + deviceStatement(router) + expectSource(11, 2000));
    std::vector<double> latencies;
    std::atomic<int64_t> written{0};
    for (int i = 0; i < kChanges; ++i) {
        // Destination 12 (output 11), each time to another input.
        const int input = (11 + 1 + i % (kChangePorts - 1)) % kChangePorts;
        router.route(11, input, written);
        session.run(expectSource(input, 1000));
        const int64_t seen = BenchClock::now().time_since_epoch().count();
        latencies.push_back(static_cast<double>(seen - written.load()) / 1e6);
    }
    if (session.runner.end()) return latencies;
    std::printf("swp08_bench: the component did not follow every change:\n%s\n", session.out.str().c_str());
    return {};
}

// Peak resident memory of the vesk-host program following a `ports` x
// `ports` router until it has absorbed it, in KiB; 0 when not measured.
long followingPeakKiB(const char* module, const char* host, int ports) {
    RouterThread router(RouterThread::Protocol::Swp08, ports, ports, nameAll);
    return hostPeakKiB(module, host,
                       componentStatements(ports, ports) + deviceStatement(router) + expectSource(ports - 1, 5000) +
                           "wait 300\n");
}

bool connectGoal(const std::string& module, const SizeGoal& size) {
    const std::vector<double> times = connectTimes(module, size.ports);
    if (times.empty()) return false;
    const std::string what = "connect, absorb names and dump of " + std::to_string(size.ports) + "x" +
                             std::to_string(size.ports) + ", median";
    const bool met = goal(what.c_str(), percentile(times, 0.5), size.limitMs, "ms");
    std::printf("%-56s %9.3f .. %.3f ms\n", "  (fastest .. slowest)", percentile(times, 0.0), percentile(times, 1.0));
    return met;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: swp08_bench MODULE VESK_HOST\n");
        return 2;
    }
    runOnOneCore();
    const std::string module = argv[1];
    bool ok = true;

    std::printf("vesk-host following SW-P-08 routers (16-character names) on 127.0.0.1\n");
    const std::vector<double> latencies = changeLatencies(module);
    if (latencies.empty()) return 1;
    ok &= goal("route change written -> component's TP, median", percentile(latencies, 0.5), 1.0, "ms");
    ok &= goal("route change written -> component's TP, 99th percentile", percentile(latencies, 0.99), 5.0, "ms");
    for (const SizeGoal& size : kSizes) ok &= connectGoal(module, size);
    for (const SizeGoal& size : kSizes) {
        const long peak = followingPeakKiB(argv[1], argv[2], size.ports);
        const std::string what =
            "peak memory of vesk-host with a " + std::to_string(size.ports) + "x" + std::to_string(size.ports) + " router";
        std::printf("%-56s %9ld KiB\n", what.c_str(), peak);
        if (peak == 0) ok = false;
    }
    return ok ? 0 : 1;
}

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
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include "shared_router.h"
#include "tcp_server.h"
#include "videohub_service.h"
#include "scenario.h"

namespace {

using Clock = std::chrono::steady_clock;

const int kPorts = 288;
const int kChanges = 1000;
const int kConnects = 20;

// vesk-router's server for a kPorts x kPorts model, on a thread of its own.
class RouterThread {
public:
    RouterThread()
        : model_(kPorts, kPorts),
          router_(model_),
          videohub_(router_, "Bench", log_),
          server_(io_, asio::ip::tcp::endpoint(asio::ip::make_address("127.0.0.1"), 0), videohub_, log_) {
        for (int output = 0; output < kPorts; ++output) model_.setRoute(output, output);
        thread_ = std::thread([this] {
            auto work = asio::make_work_guard(io_);
            io_.run();
        });
    }
    ~RouterThread() {
        asio::post(io_, [this] { server_.close(); });
        io_.stop();
        thread_.join();
    }
    int port() const { return server_.endpoint().port(); }
    // Routes on the router's thread; `written` gets the moment just before
    // the push is written to the clients.
    void route(int output, int input, std::atomic<int64_t>& written) {
        asio::post(io_, [this, output, input, &written] {
            written = Clock::now().time_since_epoch().count();
            router_.route(output, input, Origin::console());
        });
    }

private:
    std::ostringstream log_;
    asio::io_context io_;
    RouterModel model_;
    SharedRouter router_;
    VideohubService videohub_;
    TcpServer server_;
    std::thread thread_;
};

double percentile(std::vector<double> values, double p) {
    std::sort(values.begin(), values.end());
    size_t index = static_cast<size_t>(p * static_cast<double>(values.size() - 1) + 0.5);
    return values[index];
}

bool goal(const char* what, double value, double limit, const char* unit) {
    bool met = value < limit;
    std::printf("%-56s %9.3f %s  (goal < %g %s) %s\n", what, value, unit, limit, unit, met ? "ok" : "MISSED");
    return met;
}

// A script run statement by statement against the module.
struct Session {
    explicit Session(const std::string& module)
        : transcript(out, false), runner(transcript, modules, RunOptions{module}) {
        runner.begin("bench", ".");
    }
    void run(const std::string& statements) {
        std::istringstream in(statements);
        std::string text;
        while (std::getline(in, text)) runner.runLine(text, ++line);
    }

    std::ostringstream out;
    Transcript transcript;
    ModuleCache modules;
    ScenarioRunner runner;
    int line = 0;
};

double msSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// Peak resident memory of the vesk-host program following a kPorts x kPorts
// router, in KiB; 0 when it cannot be measured.
long hostPeakKiB(const char* module, const char* host) {
    RouterThread router;
    std::string script = "site temp\nconfig 5 size 288\ndevice 5 videohub 127.0.0.1:" +
                         std::to_string(router.port()) + "\ncreate\nsend driverid=5\nsend destid=12\nwait 300\n";
    char path[] = "/tmp/vesk-live-bench-XXXXXX";
    int fd = mkstemp(path);
    if (fd < 0) return 0;
    if (write(fd, script.data(), script.size()) != static_cast<ssize_t>(script.size())) return 0;
    close(fd);
    std::fflush(stdout);  // the child must not write this process's buffer again
    pid_t pid = fork();
    if (pid == 0) {
        if (!freopen("/dev/null", "w", stdout)) _exit(127);
        execl(host, host, "--module", module, path, static_cast<char*>(nullptr));
        _exit(127);
    }
    int status = 0;
    struct rusage usage {};
    wait4(pid, &status, 0, &usage);
    unlink(path);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? usage.ru_maxrss : 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: live_bench MODULE VESK_HOST\n");
        return 2;
    }
    const std::string module = argv[1];
    bool ok = true;

    RouterThread router;
    const std::string device = "device 5 videohub 127.0.0.1:" + std::to_string(router.port()) + "\n";

    // Connect and absorb the dump, each time from a fresh session.
    std::vector<double> connects;
    for (int i = 0; i < kConnects; ++i) {
        Session session(module);
        session.run("site temp\nconfig 5 size 288");
        Clock::time_point start = Clock::now();
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
        const int64_t seen = Clock::now().time_since_epoch().count();
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
    const long peak = hostPeakKiB(argv[1], argv[2]);
    std::printf("%-56s %9ld KiB\n", "peak memory of vesk-host with a 288x288 router", peak);
    if (peak == 0) ok = false;
    return ok ? 0 : 1;
}

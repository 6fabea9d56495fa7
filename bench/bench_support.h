// What the live benchmarks share (live_bench: Videohub, swp08_bench:
// SW-P-08): vesk-router's server on a thread of its own, a script session run
// statement by statement against the module, the peak memory of the vesk-host
// program, and the printing of figures against their goals.
//
// Everything talks to 127.0.0.1 only, on ports the system picks (port 0).
#ifndef VESK_BENCH_BENCH_SUPPORT_H
#define VESK_BENCH_BENCH_SUPPORT_H

#include <asio.hpp>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "script/scenario.h"
#include "router_service.h"
#include "shared_router.h"
#include "tcp_server.h"

using BenchClock = std::chrono::steady_clock;

// vesk-router's server for an inputs x outputs model, one protocol, on a
// thread of its own (its own io_context). Each output starts on the input of
// the same number (modulo the inputs); `prepare`, when given, then sets up
// the model further (labels, routes) before the thread starts. Stops and
// joins the thread when destroyed.
class RouterThread {
public:
    enum class Protocol { Videohub, Swp08 };

    RouterThread(Protocol protocol, int inputs, int outputs, const std::function<void(RouterModel&)>& prepare = {});
    ~RouterThread();
    RouterThread(const RouterThread&) = delete;
    RouterThread& operator=(const RouterThread&) = delete;

    // The port the server listens on, at 127.0.0.1.
    int port() const { return server_->endpoint().port(); }
    // Routes `output` to `input` on the router's thread, as the console does;
    // `written` gets the steady clock's count just before the change is told
    // to the clients. `written` must outlive the call's running.
    void route(int output, int input, std::atomic<int64_t>& written);
    // A salvo: each (output, input) routed in turn in one go on the router's
    // thread, as a controller's burst of takes; `written[i]` gets the clock's
    // count just before take i is told, and `done` turns true after the last
    // (read `written` only then). Both must outlive the salvo.
    void salvo(std::vector<std::pair<int, int>> takes, std::vector<int64_t>& written, std::atomic<bool>& done);

private:
    std::ostringstream log_;
    asio::io_context io_;
    RouterModel model_;
    SharedRouter router_;
    std::unique_ptr<RouterService> service_;
    std::unique_ptr<TcpServer> server_;
    std::thread thread_;
};

// A script run statement by statement against the module (a script error is
// reported in `out` and the session goes on).
struct Session {
    explicit Session(const std::string& module);
    // Runs each line of `statements` in turn.
    void run(const std::string& statements);

    std::ostringstream out;
    Transcript transcript;
    ModuleCache modules;
    ScenarioRunner runner;
    int line = 0;
};

// The value at fraction `p` (0..1) of `values` sorted, nearest rank; `values`
// must not be empty.
double percentile(std::vector<double> values, double p);
// Prints `what`, `value` and the goal "< limit"; true when it is met.
bool goal(const char* what, double value, double limit, const char* unit);
// Milliseconds from `start` to now.
double msSince(BenchClock::time_point start);

// Runs the vesk-host program `host` with `module` on `script` (written to a
// temporary file, removed after), its output discarded, and returns its peak
// resident memory in KiB; 0 when it could not be run or did not pass.
long hostPeakKiB(const char* module, const char* host, const std::string& script);

#endif  // VESK_BENCH_BENCH_SUPPORT_H

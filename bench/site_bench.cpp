// vesk-host as a site of 1000 panels: 1000 components of the module, each
// following its own destination of one 4096x4096 SW-P-08 router on loopback
// (vesk-router's service on its own thread), against the goals:
//   - from the connect to all 1000 panels showing their source: under 200 ms;
//   - a salvo of 1000 takes on the router, one on each panel's destination:
//     every panel's TP within 50 ms of the first take, and per take (from one
//     panel's TP to the next) a median under 1 ms;
//   - the vesk-host program's peak memory following the router with the 1000
//     panels, and taking 1000 routes itself: under 150 MB;
// and, printed without a goal, the time to create the 1000 components and
// set their pairs (virtual clock), the text transcript's size, each take's
// wait from its write on the router to its TP (vesk-router keeps one
// SW-P-08 message in flight until the host acknowledges it, so take k waits
// for the k-1 before it), and the component side alone per take (a
// simulated router, no network). Every
// event is rendered as the text transcript would render it, so its cost is
// in the figures. Figures are printed first; the exit status is 1 when a
// goal is missed or the site did not follow.
//
//   site_bench MODULE VESK_HOST
#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>
#include <variant>
#include <vector>

#include "bench_support.h"
#include "one_core.h"
#include "output/text_renderer.h"

namespace {

const int kPorts = 4096;
const int kPanels = 1000;
const int kRuns = 3;

// Panel i (1..kPanels) follows destination 4i-3, the router's output 4i-4.
int outputOf(int panel) { return 4 * panel - 4; }

std::string sourceName(int input) {
    char text[32];
    std::snprintf(text, sizeof text, "Camera %04d feed", input + 1);
    return text;
}

void nameAll(RouterModel& model) {
    for (int input = 0; input < model.inputs(); ++input) model.setInputLabel(input, sourceName(input));
}

// When each panel ("cN") sent TP, in order; renders every event as text.
class PanelTimes : public Sink {
public:
    PanelTimes() : times_(kPanels + 1), atLeast_(4, 0) {}
    void emit(const HostEvent& event) override {
        rendered_ += renderText(event).size() + 1;
        const auto* command = std::get_if<event::Command>(&event);
        if (!command || command->text.compare(0, 2, "TP") != 0 || command->component.size() < 2) return;
        const int panel = std::atoi(command->component.c_str() + 1);
        if (panel < 1 || panel > kPanels) return;
        std::vector<int64_t>& seen = times_[static_cast<size_t>(panel)];
        seen.push_back(BenchClock::now().time_since_epoch().count());
        if (seen.size() <= atLeast_.size()) ++atLeast_[seen.size() - 1];
    }
    // How many panels sent at least `count` TPs (1..4).
    int showing(size_t count) const { return atLeast_[count - 1]; }
    // Panel `panel`'s TP number `n` (1-based), as a steady clock count.
    int64_t tp(int panel, size_t n) const { return times_[static_cast<size_t>(panel)][n - 1]; }
    size_t rendered() const { return rendered_; }

private:
    std::vector<std::vector<int64_t>> times_;
    std::vector<int> atLeast_;
    size_t rendered_ = 0;
};

// The statements that create the panels and set their pairs.
std::string panelStatements() {
    std::string text = "site temp\nconfig 5 size " + std::to_string(kPorts) + "\n";
    for (int panel = 1; panel <= kPanels; ++panel)
        text += "create c" + std::to_string(panel) + "\nsend driverid=5\nsend destid=" +
                std::to_string(outputOf(panel) + 1) + "\n";
    return text;
}

std::string deviceStatement(const RouterThread& router) {
    return "device 5 swp08 127.0.0.1:" + std::to_string(router.port()) + " names 16\n";
}

struct SiteRun {
    double setupMs = 0;
    double connectMs = 0;
    double spreadMs = 0;          // first take written -> the last panel's TP
    double routerMs = 0;          // first take written -> the last written
    std::vector<double> latency;  // each take written -> its panel's TP
    std::vector<double> gaps;     // between one panel's TP and the next, in time order
    size_t rendered = 0;
    bool followed = false;
};

struct Driver {
    explicit Driver(const std::string& module) : transcript(times), runner(transcript, modules, RunOptions{module}) {
        runner.begin("site", ".");
    }
    void run(const std::string& statements) {
        std::istringstream in(statements);
        for (std::string text; std::getline(in, text);) runner.runLine(text, ++line);
    }
    PanelTimes times;
    Transcript transcript;
    ModuleCache modules;
    ScenarioRunner runner;
    int line = 0;
};

// The salvo's figures into `run`; false when a panel missed its take.
bool salvo(Driver& d, RouterThread& router, SiteRun& run) {
    std::vector<std::pair<int, int>> takes;
    for (int panel = 1; panel <= kPanels; ++panel) takes.emplace_back(outputOf(panel), (outputOf(panel) + 7) % kPorts);
    std::vector<int64_t> written;
    std::atomic<bool> done{false};
    router.salvo(takes, written, done);
    d.runner.loop().serve(5000, [&] { return done.load(std::memory_order_acquire) && d.times.showing(2) == kPanels; });
    if (!done.load(std::memory_order_acquire) || d.times.showing(2) != kPanels) return false;
    std::vector<int64_t> shown;
    for (int panel = 1; panel <= kPanels; ++panel) {
        shown.push_back(d.times.tp(panel, 2));
        run.latency.push_back(static_cast<double>(shown.back() - written[static_cast<size_t>(panel - 1)]) / 1e6);
    }
    std::sort(shown.begin(), shown.end());
    for (size_t i = 1; i < shown.size(); ++i) run.gaps.push_back(static_cast<double>(shown[i] - shown[i - 1]) / 1e6);
    run.spreadMs = static_cast<double>(shown.back() - written[0]) / 1e6;
    run.routerMs = static_cast<double>(written.back() - written[0]) / 1e6;
    return true;
}

SiteRun runSite(const std::string& module) {
    RouterThread router(RouterThread::Protocol::Swp08, kPorts, kPorts, nameAll);
    Driver d(module);
    SiteRun run;
    BenchClock::time_point start = BenchClock::now();
    d.run(panelStatements());
    run.setupMs = msSince(start);
    start = BenchClock::now();
    d.run(deviceStatement(router));
    d.runner.loop().serve(5000, [&] { return d.times.showing(1) == kPanels; });
    if (d.times.showing(1) != kPanels) return run;
    int64_t last = 0;
    for (int panel = 1; panel <= kPanels; ++panel) last = std::max(last, d.times.tp(panel, 1));
    run.connectMs = static_cast<double>(last - start.time_since_epoch().count()) / 1e6;
    run.followed = salvo(d, router, run) && d.runner.end();
    run.rendered = d.times.rendered();
    return run;
}

// Milliseconds per take of 1000 "route" statements on a simulated router,
// each reaching its one panel: the component side alone (statement, index,
// the component's call, its commands, the transcript), no network.
double simulatedTakeMs(const std::string& module) {
    Driver d(module);
    d.run(panelStatements() + "device 5 size " + std::to_string(kPorts) + " nofile\n");
    std::string takes;
    for (int panel = 1; panel <= kPanels; ++panel)
        takes += "route 5 " + std::to_string(outputOf(panel) + 1) + " " + std::to_string(panel) + "\n";
    const BenchClock::time_point start = BenchClock::now();
    d.run(takes);
    const double ms = msSince(start) / kPanels;
    return d.times.showing(1) == kPanels && d.runner.end() ? ms : -1;
}

// Peak memory of the vesk-host program: the 1000 panels follow the router,
// then vesk-host routes each panel's destination itself.
long sitePeakKiB(const char* module, const char* host) {
    RouterThread router(RouterThread::Protocol::Swp08, kPorts, kPorts, nameAll);
    const int last = outputOf(kPanels);
    std::string script = panelStatements() + deviceStatement(router) + "use c" + std::to_string(kPanels) +
                         "\nexpect text \"" + sourceName(last) + "\" within 5000\n";
    // A pause now and then: the router's client keeps at most 64 requests
    // waiting for the router's answer.
    for (int panel = 1; panel <= kPanels; ++panel)
        script += "route 5 " + std::to_string(outputOf(panel) + 1) + " " +
                  std::to_string((outputOf(panel) + 9) % kPorts + 1) + (panel % 32 ? "\n" : "\nwait 10\n");
    script += "expect text \"" + sourceName((last + 9) % kPorts) + "\" within 5000\nwait 200\n";
    return hostPeakKiB(module, host, script);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: site_bench MODULE VESK_HOST\n");
        return 2;
    }
    runOnOneCore();
    std::printf("vesk-host with %d panels of one %dx%d SW-P-08 router on 127.0.0.1 (%d runs)\n", kPanels, kPorts,
                kPorts, kRuns);
    std::vector<double> setup, connect, spread, router, gap, median, p99;
    for (int i = 0; i < kRuns; ++i) {
        SiteRun run = runSite(argv[1]);
        if (!run.followed) {
            std::printf("site_bench: run %d: the panels did not follow the router\n", i + 1);
            return 1;
        }
        setup.push_back(run.setupMs);
        connect.push_back(run.connectMs);
        spread.push_back(run.spreadMs);
        router.push_back(run.routerMs);
        gap.push_back(percentile(run.gaps, 0.5));
        median.push_back(percentile(run.latency, 0.5));
        p99.push_back(percentile(run.latency, 0.99));
        if (i == 0) std::printf("%-56s %9.1f MB\n", "text transcript of one run", static_cast<double>(run.rendered) / 1e6);
    }
    bool ok = true;
    std::printf("%-56s %9.3f ms\n", "create the panels and set their pairs, median", percentile(setup, 0.5));
    ok &= goal("connect -> every panel shows its source, slowest run", percentile(connect, 1.0), 200.0, "ms");
    ok &= goal("salvo: first take -> the last panel's TP, slowest run", percentile(spread, 1.0), 50.0, "ms");
    ok &= goal("salvo: per take (TP to next TP), median, slowest run", percentile(gap, 1.0), 1.0, "ms");
    std::printf("%-56s %9.3f ms\n", "salvo: take written -> its TP, median, slowest run", percentile(median, 1.0));
    std::printf("%-56s %9.3f ms\n", "salvo: take written -> its TP, 99th percentile, slowest", percentile(p99, 1.0));
    std::printf("%-56s %9.3f ms\n", "salvo: the router writing its 1000 takes, median", percentile(router, 0.5));
    const double simulated = simulatedTakeMs(argv[1]);
    std::printf("%-56s %9.4f ms\n", "a take on a simulated router -> its panel's TP, each", simulated);
    ok &= simulated > 0;
    const long peak = sitePeakKiB(argv[1], argv[2]);
    if (peak == 0) std::printf("site_bench: the vesk-host program did not pass its site script\n");
    ok &= peak > 0 && goal("peak memory of vesk-host with the site", static_cast<double>(peak) / 1024.0, 150.0, "MiB");
    return ok ? 0 : 1;
}

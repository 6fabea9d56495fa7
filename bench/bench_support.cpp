#include "bench_support.h"

#include <algorithm>
#include <cstdio>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include "swp08_service.h"
#include "videohub_service.h"

RouterThread::RouterThread(Protocol protocol, int inputs, int outputs,
                           const std::function<void(RouterModel&)>& prepare)
    : model_(inputs, outputs), router_(model_) {
    for (int output = 0; output < outputs; ++output) model_.setRoute(output, output % inputs);
    if (prepare) prepare(model_);
    if (protocol == Protocol::Videohub)
        service_ = std::make_unique<VideohubService>(router_, "Bench", log_);
    else
        service_ = std::make_unique<Swp08Service>(io_, router_, Swp08Table{}, log_);
    server_ = std::make_unique<TcpServer>(io_, asio::ip::tcp::endpoint(asio::ip::make_address("127.0.0.1"), 0),
                                          service_->factory(), log_);
    thread_ = std::thread([this] {
        auto work = asio::make_work_guard(io_);
        io_.run();
    });
}

RouterThread::~RouterThread() {
    asio::post(io_, [this] { server_->close(); });
    io_.stop();
    thread_.join();
}

void RouterThread::route(int output, int input, std::atomic<int64_t>& written) {
    asio::post(io_, [this, output, input, &written] {
        written = BenchClock::now().time_since_epoch().count();
        router_.route(output, input, Origin::console());
    });
}

void RouterThread::salvo(std::vector<std::pair<int, int>> takes, std::vector<int64_t>& written,
                         std::atomic<bool>& done) {
    written.assign(takes.size(), 0);
    asio::post(io_, [this, takes = std::move(takes), &written, &done] {
        for (size_t i = 0; i < takes.size(); ++i) {
            written[i] = BenchClock::now().time_since_epoch().count();
            router_.route(takes[i].first, takes[i].second, Origin::console());
        }
        done.store(true, std::memory_order_release);
    });
}

Session::Session(const std::string& module)
    : transcript(out, false), runner(transcript, modules, RunOptions{module}) {
    runner.begin("bench", ".");
}

void Session::run(const std::string& statements) {
    std::istringstream in(statements);
    std::string text;
    while (std::getline(in, text)) runner.runLine(text, ++line);
}

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

double msSince(BenchClock::time_point start) {
    return std::chrono::duration<double, std::milli>(BenchClock::now() - start).count();
}

long hostPeakKiB(const char* module, const char* host, const std::string& script) {
    char path[] = "/tmp/vesk-live-bench-XXXXXX";
    int fd = mkstemp(path);
    if (fd < 0) return 0;
    const bool written = write(fd, script.data(), script.size()) == static_cast<ssize_t>(script.size());
    close(fd);
    if (!written) {
        unlink(path);
        return 0;
    }
    std::fflush(stdout);  // the child must not write this process's buffer again
    pid_t pid = fork();
    if (pid == 0) {
        if (!freopen("/dev/null", "w", stdout)) _exit(127);
        execl(host, host, "--module", module, path, static_cast<char*>(nullptr));
        _exit(127);
    }
    int status = 0;
    struct rusage usage {};
    if (pid > 0) wait4(pid, &status, 0, &usage);
    unlink(path);
    return pid > 0 && WIFEXITED(status) && WEXITSTATUS(status) == 0 ? usage.ru_maxrss : 0;
}

// vesk-router's memory under Videohub clients that never read, against the
// goals:
//   - 60 such clients connected while another client makes 80 000 takes:
//     vesk-router's peak resident memory under 64 MB;
//   - once they have gone: its resident memory within 8 MB of what it was
//     before they came (it gives the memory back).
// Printed beside: how many of the 60 were refused (the client cap) and how
// many were dropped for reading too slowly (the budget of unread bytes).
//
// vesk-router is the real program, started on 127.0.0.1 with a free port;
// its log is read on a thread of its own (so that it never waits for its
// reader) and its memory read from /proc. Every loop is bounded in count and
// time. Exit status 1 when a goal is missed or the run did not complete.
//
//   router_memory_bench VESK_ROUTER
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

const int kIdleClients = 60;
const int kTakes = 80000;
const int kTakesPerWrite = 50;
const auto kTimeLimit = std::chrono::seconds(120);

// vesk-router as a child: its pid, its standard input, and its log read on a
// thread that notes the port and counts the drops.
struct Router {
    pid_t pid = -1;
    int input = -1;
    std::atomic<int> port{0};
    std::atomic<int> slowDrops{0};
    std::atomic<int> refused{0};
    std::thread reader;

    explicit Router(const char* program) {
        int in[2], out[2];
        if (pipe(in) != 0 || pipe(out) != 0) return;
        pid = fork();
        if (pid == 0) {
            dup2(in[0], 0);
            dup2(out[1], 1);
            for (int fd : {in[0], in[1], out[0], out[1]}) close(fd);
            execl(program, program, "--listen", "127.0.0.1:0", "--inputs", "64", "--outputs", "64",
                  static_cast<char*>(nullptr));
            _exit(127);
        }
        close(in[0]);
        close(out[1]);
        input = in[1];
        reader = std::thread([this, fd = out[0]] { readLog(fd); });
    }
    ~Router() {
        if (pid > 0) {
            (void)!write(input, "quit\n", 5);
            close(input);
            waitpid(pid, nullptr, 0);
        }
        if (reader.joinable()) reader.join();
    }

    void readLog(int fd) {
        std::string pending;
        char buffer[65536];
        for (ssize_t n; (n = read(fd, buffer, sizeof buffer)) > 0;) {
            pending.append(buffer, static_cast<size_t>(n));
            for (size_t end; (end = pending.find('\n')) != std::string::npos; pending.erase(0, end + 1)) {
                const std::string line = pending.substr(0, end);
                if (line.rfind("listening on ", 0) == 0) port = std::atoi(line.c_str() + line.rfind(':') + 1);
                if (line.find("disconnected: it reads too slowly") != std::string::npos) ++slowDrops;
                if (line.find(" refused: ") != std::string::npos) ++refused;
            }
        }
        close(fd);
    }

    // Resident memory now ("VmRSS") or at its peak ("VmHWM"), in KiB; 0 when unknown.
    long memoryKiB(const char* field) const {
        std::ifstream status("/proc/" + std::to_string(pid) + "/status");
        for (std::string line; std::getline(status, line);)
            if (line.rfind(field, 0) == 0) return std::atol(line.c_str() + line.find(':') + 1);
        return 0;
    }
};

// A client socket on 127.0.0.1:port; `readBuffer` shrinks its receive buffer
// (a client that never reads then holds little in the kernel).
int connectTo(int port, int readBuffer) {
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    if (readBuffer > 0) setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &readBuffer, sizeof readBuffer);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        close(fd);
        return -1;
    }
    return fd;
}

// Reads whatever `fd` has now, without waiting; counts the ACK blocks in
// `acks` (`tail` carries the end of the last read across reads).
void drain(int fd, std::string& tail, int& acks) {
    char buffer[65536];
    for (ssize_t n; (n = recv(fd, buffer, sizeof buffer, MSG_DONTWAIT)) > 0;) {
        std::string text = tail + std::string(buffer, static_cast<size_t>(n));
        for (size_t at = text.find("ACK\n\n"); at != std::string::npos; at = text.find("ACK\n\n", at + 1)) ++acks;
        tail = text.substr(text.size() >= 4 ? text.size() - 4 : 0);
    }
}

// Makes kTakes takes through `fd`, kTakesPerWrite a block, reading its
// answers as it goes, until vesk-router has answered every block; false when
// the time limit ran out or the connection failed.
bool makeTakes(int fd, Clock::time_point deadline) {
    std::string tail;
    int acks = 0, blocks = 0;
    for (int done = 0; done < kTakes; ++blocks) {
        std::string block = "VIDEO OUTPUT ROUTING:\n";
        for (int i = 0; i < kTakesPerWrite; ++i, ++done)
            block += std::to_string(done % 64) + " " + std::to_string((done / 64) % 64) + "\n";
        block += "\n";
        for (size_t sent = 0; sent < block.size();) {
            if (Clock::now() > deadline) return false;
            pollfd p{fd, POLLOUT | POLLIN, 0};
            if (poll(&p, 1, 100) < 0) return false;
            if (p.revents & POLLIN) drain(fd, tail, acks);
            if (!(p.revents & POLLOUT)) continue;
            const ssize_t n = send(fd, block.data() + sent, block.size() - sent, MSG_NOSIGNAL | MSG_DONTWAIT);
            if (n < 0 && errno != EAGAIN) return false;
            if (n > 0) sent += static_cast<size_t>(n);
        }
    }
    while (acks < blocks) {
        if (Clock::now() > deadline) return false;
        pollfd p{fd, POLLIN, 0};
        if (poll(&p, 1, 100) < 0 || (p.revents & (POLLHUP | POLLERR))) return false;
        drain(fd, tail, acks);
    }
    return true;
}

bool goal(const char* what, double value, double limit, const char* unit) {
    const bool met = value < limit;
    std::printf("%-56s %9.1f %s  (goal < %g %s) %s\n", what, value, unit, limit, unit, met ? "ok" : "MISSED");
    return met;
}

template <typename Test>
bool waitFor(Test test, std::chrono::milliseconds limit) {
    for (const auto end = Clock::now() + limit; Clock::now() < end; usleep(10000))
        if (test()) return true;
    return test();
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: router_memory_bench VESK_ROUTER\n");
        return 2;
    }
    ::signal(SIGPIPE, SIG_IGN);
    Router router(argv[1]);
    if (!waitFor([&] { return router.port > 0; }, std::chrono::milliseconds(5000))) {
        std::fprintf(stderr, "router_memory_bench: vesk-router did not start\n");
        return 1;
    }
    const auto deadline = Clock::now() + kTimeLimit;
    const int taker = connectTo(router.port, 0);
    usleep(100000);
    const long before = router.memoryKiB("VmRSS");
    std::vector<int> idle;
    for (int i = 0; i < kIdleClients; ++i) idle.push_back(connectTo(router.port, 4096));
    const bool completed = taker >= 0 && makeTakes(taker, deadline);
    const long peak = router.memoryKiB("VmHWM");
    for (int fd : idle)
        if (fd >= 0) close(fd);
    close(taker);
    usleep(1000000);  // the closes reach it and are worked through
    const long after = router.memoryKiB("VmRSS");

    std::printf("vesk-router, %d Videohub clients that never read and one making %d takes, on 127.0.0.1\n",
                kIdleClients, kTakes);
    std::printf("%-56s %9d\n", "  of the idle clients, refused (client cap)", router.refused.load());
    std::printf("%-56s %9d\n", "  of the idle clients, dropped for reading too slowly", router.slowDrops.load());
    std::printf("%-56s %9.1f MB\n", "resident memory before the clients came", before / 1024.0);
    bool ok = completed && before > 0 && peak > 0 && after > 0;
    if (!completed) std::printf("router_memory_bench: the takes did not complete in time\n");
    ok &= goal("peak resident memory of vesk-router", peak / 1024.0, 64, "MB");
    ok &= goal("resident memory after they left, above the start", (after - before) / 1024.0, 8, "MB");
    return ok ? 0 : 1;
}

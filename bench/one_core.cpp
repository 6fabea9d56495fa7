#include "one_core.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <pthread.h>
#include <sched.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <thread>

namespace {

const int kRoundTrips = 2000;

bool bindThread(pthread_t thread, int cpu) {
    cpu_set_t set;
    CPU_ZERO(&set);
    CPU_SET(cpu, &set);
    return pthread_setaffinity_np(thread, sizeof set, &set) == 0;
}

// A connected pair of loopback TCP sockets with Nagle off, or false.
bool loopbackPair(int& client, int& server) {
    const int listener = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    bool ok = listener >= 0 && bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
              listen(listener, 1) == 0 &&
              getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length) == 0;
    client = ok ? socket(AF_INET, SOCK_STREAM, 0) : -1;
    ok = ok && client >= 0 && connect(client, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    server = ok ? accept(listener, nullptr, nullptr) : -1;
    if (listener >= 0) close(listener);
    const int one = 1;
    if (ok && server >= 0) {
        setsockopt(client, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        setsockopt(server, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        return true;
    }
    if (client >= 0) close(client);
    return false;
}

// Microseconds per round trip between a thread on `here` and one on
// `there`; negative when it could not be measured.
double roundTripUs(int here, int there) {
    int client = -1, server = -1;
    if (!loopbackPair(client, server)) return -1;
    std::thread echo([server, there] {
        bindThread(pthread_self(), there);
        char byte = 0;
        for (int i = 0; i < kRoundTrips && read(server, &byte, 1) == 1; ++i)
            if (write(server, &byte, 1) != 1) break;
        shutdown(server, SHUT_RDWR);  // an echo that stops early ends the reader's wait
    });
    const bool bound = bindThread(pthread_self(), here);
    char byte = 0;
    int done = 0;
    const auto start = std::chrono::steady_clock::now();
    for (; bound && done < kRoundTrips; ++done)
        if (write(client, &byte, 1) != 1 || read(client, &byte, 1) != 1) break;
    const double us = std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - start).count();
    close(client);
    echo.join();
    close(server);
    return done == kRoundTrips ? us / kRoundTrips : -1;
}

}  // namespace

void runOnOneCore() {
    cpu_set_t allowed;
    const int here = sched_getcpu();
    int there = -1;
    if (here >= 0 && sched_getaffinity(0, sizeof allowed, &allowed) == 0)
        for (int cpu = 0; cpu < CPU_SETSIZE && there < 0; ++cpu)
            if (cpu != here && CPU_ISSET(cpu, &allowed)) there = cpu;
    if (there < 0) {
        std::printf("%-56s %s\n", "the router's thread and vesk-host", "as the system places them (one core)");
        return;
    }
    const double across = roundTripUs(here, there);
    const double one = roundTripUs(here, here);
    std::printf("%-56s %9.1f us\n", "loopback round trip between two threads, two cores", across);
    std::printf("%-56s %9.1f us\n", "loopback round trip between two threads, one core", one);
    if (bindThread(pthread_self(), here))
        std::printf("%-56s cpu %d\n", "the router's thread and vesk-host, on one core", here);
    else
        std::printf("%-56s %s\n", "the router's thread and vesk-host", "as the system places them (not bound)");
}

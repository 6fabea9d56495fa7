#include "stdin_lines.h"

#include <iostream>
#include <utility>

#ifndef _WIN32
#include <thread>
#endif

// Owned by both sides; `io` is null once the owner has gone. Asio's own mutex,
// because this MinGW's win32 thread model has no std::mutex.
struct StdinLines::Shared {
    asio::detail::mutex mutex;
    asio::io_context* io;
    std::function<void(std::optional<std::string>)> onLine;
};

static void post(const std::shared_ptr<StdinLines::Shared>& shared, std::optional<std::string> line) {
    asio::detail::mutex::scoped_lock lock(shared->mutex);
    if (!shared->io) return;
    asio::post(*shared->io, [shared, line = std::move(line)]() {
        if (shared->io) shared->onLine(line);
    });
}

static void readAll(const std::shared_ptr<StdinLines::Shared>& shared) {
    std::string line;
    while (std::getline(std::cin, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        post(shared, line);
    }
    post(shared, std::nullopt);
}

#ifdef _WIN32
static DWORD WINAPI threadMain(void* parameter) {
    std::unique_ptr<std::shared_ptr<StdinLines::Shared>> shared(static_cast<std::shared_ptr<StdinLines::Shared>*>(parameter));
    readAll(*shared);
    return 0;
}
#endif

StdinLines::StdinLines(asio::io_context& io, std::function<void(std::optional<std::string>)> onLine)
    : shared_(std::make_shared<Shared>()) {
    shared_->io = &io;
    shared_->onLine = std::move(onLine);
#ifdef _WIN32
    auto* parameter = new std::shared_ptr<Shared>(shared_);
    HANDLE thread = CreateThread(nullptr, 0, threadMain, parameter, 0, nullptr);
    if (thread)
        CloseHandle(thread);
    else
        delete parameter;
#else
    std::thread([shared = shared_]() { readAll(shared); }).detach();
#endif
}

StdinLines::~StdinLines() {
    asio::detail::mutex::scoped_lock lock(shared_->mutex);
    shared_->io = nullptr;
}

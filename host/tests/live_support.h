// Helpers for the live router tests: a scripted Videohub server of the test's
// own on 127.0.0.1 (a free port), and a scenario run against the real module.
#ifndef VESK_HOST_TESTS_LIVE_SUPPORT_H
#define VESK_HOST_TESTS_LIVE_SUPPORT_H

#include <asio.hpp>
#include <gtest/gtest.h>
#include <atomic>
#include <memory>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "script/scenario.h"

// Serves every client on its own thread for at most `lifetime`: writes
// `greeting`, then answers each block the client sends with `answer` (none
// when empty); closes at once after the greeting when `closeAfterGreeting`.
// Keeps every block it received, and writes more on the test's word (push).
class ScriptedRouter {
public:
    ScriptedRouter(std::string greeting, std::string answer, bool closeAfterGreeting,
                   std::chrono::milliseconds lifetime = std::chrono::milliseconds(10000))
        : greeting_(std::move(greeting)),
          answer_(std::move(answer)),
          closeAfterGreeting_(closeAfterGreeting),
          acceptor_(io_, asio::ip::tcp::endpoint(asio::ip::make_address("127.0.0.1"), 0)) {
        accept();
        thread_ = std::thread([this, lifetime] { io_.run_for(lifetime); });
    }
    ~ScriptedRouter() {
        io_.stop();
        thread_.join();
    }
    unsigned short port() const { return acceptor_.local_endpoint().port(); }
    int connections() const { return connections_; }
    // The blocks clients sent so far, in order, each without its blank line.
    std::vector<std::string> blocks() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return blocks_;
    }
    // Writes `bytes` to every client connected now (on the server's thread,
    // soon after the call).
    void push(std::string bytes) {
        asio::post(io_, [this, bytes = std::move(bytes)] {
            for (const auto& client : clients_)
                if (client->socket.is_open()) {
                    asio::error_code ignored;
                    asio::write(client->socket, asio::buffer(bytes), ignored);
                }
        });
    }

private:
    struct Client {
        asio::ip::tcp::socket socket;
        std::string received;
        char buffer[4096];
    };
    void accept() {
        acceptor_.async_accept([this](const asio::error_code& e, asio::ip::tcp::socket socket) {
            if (e) return;
            ++connections_;
            auto client = std::make_shared<Client>(Client{std::move(socket), "", {}});
            clients_.push_back(client);
            asio::async_write(client->socket, asio::buffer(greeting_), [this, client](const asio::error_code& w, size_t) {
                if (w) return;
                if (closeAfterGreeting_)
                    client->socket.close();
                else
                    read(client);
            });
            accept();
        });
    }
    void read(std::shared_ptr<Client> client) {
        client->socket.async_read_some(asio::buffer(client->buffer), [this, client](const asio::error_code& e, size_t n) {
            if (e) return;
            client->received.append(client->buffer, n);
            size_t end;
            while ((end = client->received.find("\n\n")) != std::string::npos) {
                {
                    std::lock_guard<std::mutex> lock(mutex_);
                    blocks_.push_back(client->received.substr(0, end));
                }
                client->received.erase(0, end + 2);
                if (!answer_.empty()) asio::write(client->socket, asio::buffer(answer_));
            }
            read(client);
        });
    }

    std::string greeting_;
    std::string answer_;
    bool closeAfterGreeting_;
    asio::io_context io_;
    asio::ip::tcp::acceptor acceptor_;
    std::atomic<int> connections_{0};
    std::vector<std::shared_ptr<Client>> clients_;  // the server's thread only
    mutable std::mutex mutex_;
    std::vector<std::string> blocks_;  // guarded by mutex_
    std::thread thread_;
};

// Checks that `first` and `then` both stand in `text`, in that order.
inline ::testing::AssertionResult inOrder(const std::string& text, const std::string& first, const std::string& then) {
    const size_t a = text.find(first);
    const size_t b = text.find(then);
    if (a == std::string::npos) return ::testing::AssertionFailure() << "no \"" << first << "\" in\n" << text;
    if (b == std::string::npos) return ::testing::AssertionFailure() << "no \"" << then << "\" in\n" << text;
    if (a > b) return ::testing::AssertionFailure() << "\"" << then << "\" before \"" << first << "\" in\n" << text;
    return ::testing::AssertionSuccess();
}

// Runs `script` against the real module; the transcript.
inline std::string runLive(const std::string& script, bool* passed = nullptr) {
    std::ostringstream out;
    Transcript transcript(out, false);
    ModuleCache modules;
    ScenarioRunner runner(transcript, modules, RunOptions{VESK_HOST_TEST_MODULE, {}});
    bool ok = runner.runScript("live.vsc", ".", script);
    if (passed) *passed = ok;
    return out.str();
}

// Follows destination 2 of device 5 on the router `protocol` at `port`, runs
// `statements`, and checks that each of `notes` is in the transcript and the
// script went on to its end with no violation.
inline void expectNotesAndTheScriptGoesOn(const std::string& caseName, const std::string& protocol,
                                          unsigned short port, const std::string& statements,
                                          const std::vector<std::string>& notes) {
    const std::string script = "site temp\nconfig 5 size 4\ndevice 5 " + protocol + " 127.0.0.1:" +
                               std::to_string(port) + "\ncreate\nsend driverid=5\nsend destid=2\n" + statements +
                               "say \"still serving\"\n";
    const std::string transcript = runLive(script);
    for (const std::string& note : notes)
        EXPECT_NE(transcript.find(note), std::string::npos) << caseName << ": no \"" << note << "\" in\n" << transcript;
    EXPECT_NE(transcript.find("## still serving"), std::string::npos) << caseName << ":\n" << transcript;
    EXPECT_EQ(transcript.find("!! "), std::string::npos) << caseName << ":\n" << transcript;
}

// A 4x4 router's whole state as a Videohub sends it on connect.
inline std::string smallDump(const std::string& routing = "VIDEO OUTPUT ROUTING:\n0 0\n1 1\n2 2\n3 3\n\n") {
    return "PROTOCOL PREAMBLE:\nVersion: 2.7\n\nVIDEOHUB DEVICE:\nDevice present: true\nVideo inputs: 4\n"
           "Video outputs: 4\n\nINPUT LABELS:\n0 Cam A\n1 Cam B\n2 Cam C\n3 Cam D\n\n" +
           routing + "END PRELUDE:\n\n";
}

#endif  // VESK_HOST_TESTS_LIVE_SUPPORT_H

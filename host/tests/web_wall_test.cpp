// The web view's pushes to pages on loopback (websocketpp's client on the
// same io_context): a change to one component sends its tile alone, every
// page holds the same wall and view however they come and go, and a script's
// end keeps every component's tile. Every wait is bounded.
#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <nlohmann/json.hpp>
#include <sstream>
#include <websocketpp/client.hpp>
#include <websocketpp/random/random_device.hpp>

#include "ui/web/web_host.h"
#include "ui/web/web_view.h"
#include "ui/web/ws_config.h"

namespace {

using Clock = std::chrono::steady_clock;
using Json = nlohmann::json;

struct ClientConfig
    : WebSocketConfig<websocketpp::random::random_device::int_generator<uint32_t, websocketpp::concurrency::none>> {
    static const bool enable_extensions = true;
};
using Client = websocketpp::client<ClientConfig>;

// A site of three named components, each with a mimic, as the host's state.
struct Site {
    std::map<std::string, Panel> panels;
    std::vector<std::string> live{"a", "b", "c"};
    bool running = true;

    Site() {
        for (const std::string& name : live) setText(name, "CAM " + name);
    }
    void setText(const std::string& name, const std::string& text) {
        panels[name] = Panel{"Mimic", {Control{"LevelMimic", "text", {{"text", text}}}}};
    }
    std::optional<HostState> state() const {
        if (!running) return std::nullopt;
        HostState state;
        for (const std::string& name : live)
            state.components.push_back(HostState::Component{name, {}, {}, {}, {{"1", &panels.at(name)}}});
        state.component = live.empty() ? "" : live.back();
        if (!live.empty()) state.panels = state.components.back().panels;
        return state;
    }
};

// A page: what it was sent, and the wall and view it holds from that.
struct Page {
    std::vector<Json> messages;
    std::vector<std::string> order;  // the wall's names
    std::map<std::string, std::string> texts;
    std::string view;  // the panels of the last view
    Client::connection_ptr connection;

    void take(const std::string& payload) {
        Json m = Json::parse(payload);
        const std::string kind = m["kind"];
        if (kind == "wall") {
            order.clear();
            texts.clear();
        }
        if (kind == "tiles")
            for (const std::string gone : m["gone"]) {
                order.erase(std::find(order.begin(), order.end(), gone));
                texts.erase(gone);
            }
        if (kind == "wall" || kind == "tiles")
            for (const Json& tile : m["tiles"]) {
                if (!texts.count(tile["name"])) order.push_back(tile["name"]);
                texts[tile["name"]] = tile["text"];
            }
        if (kind == "view") view = m["panels"].dump();
        messages.push_back(std::move(m));
    }
    size_t count(const std::string& kind) const {
        return std::count_if(messages.begin(), messages.end(), [&](const Json& m) { return m["kind"] == kind; });
    }
};

class WebWallTest : public ::testing::Test {
protected:
    WebWallTest() : host_(io_, view_, [this] { return site_.state(); }, nullptr) {
        std::string why;
        EXPECT_TRUE(host_.start(HostPort{"127.0.0.1", 0}, said_, why)) << why;
        client_.init_asio(&io_);
        client_.clear_access_channels(websocketpp::log::alevel::all);
        client_.clear_error_channels(websocketpp::log::elevel::all);
        view_.emit(event::File{"site.vsc"});
    }
    ~WebWallTest() override { view_.detach(); }

    bool runUntil(const std::function<bool()>& done, int ms = 5000) {
        const Clock::time_point end = Clock::now() + std::chrono::milliseconds(ms);
        while (!done() && Clock::now() < end) io_.run_one_for(std::chrono::milliseconds(10));
        return done();
    }
    // Runs what is ready now and what that makes ready, for a moment.
    void settle() { runUntil([] { return false; }, 100); }
    std::unique_ptr<Page> open() {
        auto page = std::make_unique<Page>();
        Page* p = page.get();
        websocketpp::lib::error_code ec;
        page->connection = client_.get_connection("ws://127.0.0.1:" + std::to_string(host_.port()) + "/events", ec);
        EXPECT_FALSE(ec) << ec.message();
        page->connection->set_message_handler(
            [p](websocketpp::connection_hdl, Client::message_ptr m) { p->take(m->get_payload()); });
        client_.connect(page->connection);
        const size_t before = host_.server().clients();
        EXPECT_TRUE(runUntil([&] { return p->count("lines") == 1 && host_.server().clients() == before + 1; }));
        return page;
    }
    void close(Page& page) {
        const size_t before = host_.server().clients();
        websocketpp::lib::error_code ec;
        page.connection->close(websocketpp::close::status::going_away, "", ec);
        EXPECT_TRUE(runUntil([&] { return host_.server().clients() == before - 1; }));
    }
    void change(const std::string& name, const std::string& text) {
        site_.setText(name, text);
        view_.emit(event::Command{"TP 'text=" + text + "' '1' 'LevelMimic'", false, std::nullopt, name});
    }

    asio::io_context io_;
    asio::executor_work_guard<asio::io_context::executor_type> work_{io_.get_executor()};
    Site site_;
    WebView view_;
    std::ostringstream said_;
    WebHost host_;
    Client client_;
};

TEST_F(WebWallTest, AChangeToOneComponentSendsItsTileAlone) {
    std::unique_ptr<Page> page = open();
    ASSERT_EQ(page->count("wall"), 1u);
    EXPECT_EQ(page->order, (std::vector<std::string>{"a", "b", "c"}));
    change("b", "VT 1");
    ASSERT_TRUE(runUntil([&] { return page->count("tiles") == 1; }));
    settle();
    const Json& sent = *std::find_if(page->messages.begin(), page->messages.end(),
                                     [](const Json& m) { return m["kind"] == "tiles"; });
    EXPECT_EQ(sent["tiles"].size(), 1u) << sent;
    EXPECT_EQ(sent["tiles"][0]["name"], "b") << sent;
    EXPECT_EQ(page->count("wall"), 1u);
    EXPECT_EQ(page->texts["b"], "VT 1");
}

// A page alone is greeted with the state now, and one that joins others
// with what they hold; either way the next push leaves every page with the
// present, even where the state went back to what was pushed before.
TEST_F(WebWallTest, EveryPageHoldsThePresentHoweverPagesComeAndGo) {
    std::unique_ptr<Page> first = open();
    change("a", "first");
    ASSERT_TRUE(runUntil([&] { return first->texts["a"] == "first"; }));
    close(*first);
    site_.setText("a", "away");  // while no page watches: nothing is pushed
    site_.setText("c", "away");
    std::unique_ptr<Page> second = open();
    EXPECT_EQ(second->texts["a"], "away");
    site_.setText("b", "unsaid");  // no event: the page is not told yet
    std::unique_ptr<Page> third = open();
    for (const char* name : {"a", "b", "c"}) change(name, std::string("CAM ") + name);
    settle();
    for (Page* page : {second.get(), third.get()}) {
        for (const char* name : {"a", "b", "c"}) EXPECT_EQ(page->texts[name], std::string("CAM ") + name) << name;
        EXPECT_NE(page->view.find("CAM c"), std::string::npos) << page->view;
    }
}

TEST_F(WebWallTest, TheEndKeepsEveryComponentOfTheLastDeletionsMarkedEnded) {
    view_.emit(event::Statement{8, "delete"});
    view_.emit(event::Delete{"c"});
    site_.live.pop_back();
    view_.emit(event::Statement{9, "use b"});
    for (const char* name : {"b", "a"}) {
        view_.emit(event::Delete{name});
        site_.live.erase(std::find(site_.live.begin(), site_.live.end(), name));
    }
    site_.running = false;
    view_.emit(event::Result{"site.vsc", 0, 0, 0});
    std::unique_ptr<Page> page = open();
    EXPECT_EQ(page->order, (std::vector<std::string>{"a", "b"}));
    EXPECT_EQ(page->messages.front()["ended"], true);
}

}  // namespace

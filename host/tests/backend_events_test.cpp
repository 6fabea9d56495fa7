// The queue of what routers tell the host: reports coalesced per destination
// in their place, a flood's folding noted once when it ends; and the loop
// that takes them settling between handlers however many are ready.
#include <gtest/gtest.h>

#include "loop/event_loop.h"
#include "routers/backend_events.h"

namespace {

std::string text(const std::vector<BackendEvent>& events) {
    std::string out;
    for (const BackendEvent& e : events) {
        if (e.kind == BackendEvent::Kind::Report)
            out += std::to_string(e.report.device) + "/" + std::to_string(e.report.index) + "=" + e.report.text + ";";
        if (e.kind == BackendEvent::Kind::Note) out += "note;";
    }
    return out;
}

TEST(BackendEvents, AReportReplacesTheOneStillQueuedForItsDestination) {
    BackendEvents events;
    events.report(Report{5, 1, 1, "A"});
    events.note(5, "n");
    events.report(Report{5, 2, 1, "B"});
    events.report(Report{5, 1, 2, "C"});
    events.report(Report{6, 1, 3, "D"});
    EXPECT_EQ(text(events.take()), "5/1=C;note;5/2=B;6/1=D;");
    events.report(Report{5, 1, 4, "E"});
    EXPECT_EQ(text(events.take()), "5/1=E;") << "a take starts afresh";
}

TEST(BackendEvents, FoldingIsNotedOnceWhenAFloodEnds) {
    const struct {
        const char* name;
        std::vector<int> foldsPerTake;  // reports folded before each take (0: none sent)
        const char* notes;              // per take: n = the note came
    } cases[] = {
        {"a burst in one take", {3, 0}, "--"},
        {"many in one take", {100, 0}, "-n"},
        {"a flood over three takes", {2, 2, 2, 0, 0}, "---n-"},
    };
    for (const auto& c : cases) {
        BackendEvents events;
        std::string notes;
        for (int folds : c.foldsPerTake) {
            for (int i = 0; folds && i <= folds; ++i) events.report(Report{5, 1, i, "x"});
            const std::string taken = text(events.take());
            notes += taken.find("note;") != std::string::npos ? "n" : "-";
        }
        EXPECT_EQ(notes, c.notes) << c.name;
    }
}

struct CountingOwner : EventLoop::Owner {
    int settles = 0;
    int ranBeforeFirstSettle = -1;
    int* ran = nullptr;
    void settle() override {
        if (settles++ == 0) ranBeforeFirstSettle = *ran;
    }
    std::optional<std::chrono::steady_clock::time_point> nextDue() const override { return std::nullopt; }
};

TEST(EventLoop, ItSettlesBetweenHandlersHoweverManyAreReady) {
    EventLoop loop;
    int ran = 0;
    CountingOwner owner;
    owner.ran = &ran;
    loop.setOwner(&owner);
    for (int i = 0; i < 1000; ++i) asio::post(loop.io(), [&ran] { ++ran; });
    loop.pump();
    EXPECT_EQ(owner.ranBeforeFirstSettle, EventLoop::kHandlersPerSettle);
    loop.serve(50);
    EXPECT_EQ(ran, 1000);
    EXPECT_GE(owner.settles, 1000 / EventLoop::kHandlersPerSettle);
    loop.setOwner(nullptr);
}

}  // namespace

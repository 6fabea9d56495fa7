// AckQueue on a clock of the test's own: one message in flight, re-sent on a
// NAK or a timeout, given up after the re-sends, bounded in bytes and count.
#include "ack_queue.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using namespace std::chrono_literals;
using Clock = AckQueue::Clock;

// Steps of a script: "push A" (8 bytes "AAAAAAAA", labelled "a"), "ack",
// "nak", "clear", "poll +MS" (the clock moves on). Notes: "A" (written),
// "A-again", "gave-up-a", "-" (nothing due); "full" for a refused push,
// "stray" for an ACK or NAK with nothing in flight, "cleared-N".
struct QueueCase {
    const char* name;
    std::vector<std::string> steps;
    const char* notes;
};

std::string run(const std::vector<std::string>& steps, AckQueue::Limits limits) {
    AckQueue queue(limits);
    Clock::time_point now{};
    std::string notes;
    for (const std::string& step : steps) {
        if (step.rfind("push ", 0) == 0) {
            const char name = step[5];
            if (!queue.push(std::string(8, name), std::string(1, static_cast<char>(name + 32)))) notes += "full ";
        } else if (step == "ack" || step == "nak") {
            if (!(step == "ack" ? queue.acked() : queue.naked())) notes += "stray ";
        } else if (step == "clear") {
            notes += "cleared-" + std::to_string(queue.clear()) + " ";
        } else {
            now += std::chrono::milliseconds(std::stoi(step.substr(6)));
            const AckQueue::Due due = queue.poll(now);
            if (due.gaveUp) notes += "gave-up-" + due.label + " ";
            if (due.write) notes += due.write->substr(0, 1) + (due.resent ? "-again " : " ");
            if (!due.gaveUp && !due.write) notes += "- ";
        }
    }
    return notes;
}

TEST(AckQueue, OneInFlightReSentOnNakOrTimeoutThenGivenUp) {
    const QueueCase cases[] = {
        {"next only after the ACK", {"push A", "push B", "poll +0", "poll +10", "ack", "poll +10", "poll +10"},
         "A - B - "},
        {"a NAK re-sends at once", {"push A", "poll +0", "nak", "poll +0", "ack", "poll +0"}, "A A-again - "},
        {"no ACK in time: re-sent", {"push A", "poll +0", "poll +999", "poll +1", "poll +999", "poll +1"},
         "A - A-again - A-again "},
        {"given up after 5 re-sends, the next at the next poll",
         {"push A", "push B", "poll +0", "nak", "poll +0", "nak", "poll +0", "poll +1000", "poll +1000", "nak",
          "poll +0", "nak", "poll +0", "poll +0"},
         "A A-again A-again A-again A-again A-again gave-up-a B "},
        {"ACK or NAK with nothing in flight", {"ack", "nak", "poll +0", "push A", "poll +0"}, "stray stray - A "},
        {"bounded in bytes", {"push A", "push B", "push C", "poll +0", "ack", "push D", "poll +0"}, "full A B "},
        {"clear drops the one in flight too", {"push A", "push B", "poll +0", "clear", "ack", "poll +0"},
         "A cleared-2 stray - "},
    };
    AckQueue::Limits limits;
    limits.maxBytes = 16;  // two messages of 8 bytes
    for (const QueueCase& c : cases) EXPECT_EQ(run(c.steps, limits), c.notes) << c.name;
}

TEST(AckQueue, AClientsQueueCountsMessagesAndMayWaitForEver) {
    AckQueue::Limits limits;
    limits.ackTimeout = 0ms;  // a request waits for its answer
    limits.maxMessages = 2;
    EXPECT_EQ(run({"push A", "push B", "push C", "poll +0", "poll +100000", "ack", "poll +0"}, limits), "full A - B ");
    AckQueue queue(limits);
    queue.push("x", "x");
    queue.poll(Clock::time_point{});
    EXPECT_TRUE(queue.inFlight());
    EXPECT_FALSE(queue.deadline()) << "no timeout, no deadline";
}

TEST(AckQueue, DeadlineFollowsTheMessageInFlight) {
    AckQueue queue;
    EXPECT_FALSE(queue.deadline());
    queue.push(std::string(4, '\1'), "one");
    queue.push(std::string(4, '\2'), "two");
    EXPECT_EQ(queue.waiting(), 2u);
    const Clock::time_point start{};
    queue.poll(start);
    ASSERT_TRUE(queue.deadline());
    EXPECT_EQ(*queue.deadline(), start + 1000ms);
    EXPECT_EQ(queue.waiting(), 1u);
    EXPECT_EQ(queue.heldBytes(), 8u);
    queue.acked();
    EXPECT_FALSE(queue.deadline());
    EXPECT_EQ(queue.heldBytes(), 4u);
}

}  // namespace

// Swp08Outbox on a clock of the test's own: one frame in flight, re-sent on
// NAK or timeout, given up after the re-sends, and a bounded queue.
#include "swp08_outbox.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using namespace std::chrono_literals;
using Clock = Swp08Outbox::Clock;

// Steps of a script: "push A", "ack", "nak", "poll +MS" (the clock moves
// on); each poll's result is noted as "A" (sent), "A again", "gave up",
// "-" (nothing), and a refused push as "full".
struct OutboxCase {
    const char* name;
    std::vector<std::string> steps;
    const char* notes;
};

std::string run(const std::vector<std::string>& steps, Swp08Outbox::Limits limits) {
    Swp08Outbox outbox(limits);
    Clock::time_point now{};
    std::string notes;
    for (const std::string& step : steps) {
        if (step.rfind("push ", 0) == 0) {
            if (!outbox.push(swp08::Bytes(8, static_cast<uint8_t>(step[5])))) notes += "full ";
        } else if (step == "ack") {
            outbox.acked();
        } else if (step == "nak") {
            outbox.naked();
        } else {
            now += std::chrono::milliseconds(std::stoi(step.substr(6)));
            const Swp08Outbox::Due due = outbox.poll(now);
            if (due.gaveUp) notes += "gave-up ";
            const char sent = due.frame ? static_cast<char>(due.frame->at(0)) : '?';
            if (due.frame) notes += std::string(1, sent) + (due.resent ? "-again " : " ");
            if (!due.gaveUp && !due.frame) notes += "- ";
        }
    }
    return notes;
}

TEST(Swp08Outbox, OneInFlightReSentOnNakOrTimeoutThenGivenUp) {
    const OutboxCase cases[] = {
        {"next only after the ACK", {"push A", "push B", "poll +0", "poll +10", "ack", "poll +10", "poll +10"},
         "A - B - "},
        {"a NAK re-sends at once", {"push A", "poll +0", "nak", "poll +0", "ack", "poll +0"}, "A A-again - "},
        {"no ACK in time: re-sent", {"push A", "poll +0", "poll +999", "poll +1", "poll +999", "poll +1"},
         "A - A-again - A-again "},
        {"given up after 5 re-sends, then the next",
         {"push A", "push B", "poll +0", "nak", "poll +0", "nak", "poll +0", "poll +1000", "poll +1000", "nak",
          "poll +0", "nak", "poll +0"},
         "A A-again A-again A-again A-again A-again gave-up B "},
        {"ACK or NAK with nothing in flight", {"ack", "nak", "poll +0", "push A", "poll +0"}, "- A "},
        {"the queue is bounded", {"push A", "push B", "push C", "poll +0", "ack", "push D", "poll +0"},
         "full A B "},
    };
    Swp08Outbox::Limits limits;
    limits.maxQueuedBytes = 16;  // two frames of 8 bytes
    for (const OutboxCase& c : cases) EXPECT_EQ(run(c.steps, limits), c.notes) << c.name;
}

TEST(Swp08Outbox, DeadlineFollowsTheFrameInFlight) {
    Swp08Outbox outbox;
    EXPECT_FALSE(outbox.deadline());
    outbox.push(swp08::Bytes(4, 1));
    const Clock::time_point start{};
    outbox.poll(start);
    ASSERT_TRUE(outbox.deadline());
    EXPECT_EQ(*outbox.deadline(), start + 1000ms);
    outbox.acked();
    EXPECT_FALSE(outbox.deadline());
    EXPECT_EQ(outbox.queuedBytes(), 0u);
}

}  // namespace

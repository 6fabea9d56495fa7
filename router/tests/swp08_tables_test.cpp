#include "swp08/swp08_tables.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

namespace {

using swp08::Message;
using swp08::MessageKind;
using swp08::NameLength;

// "byte 0:3,-,5" style: kind, first and sources of each message.
std::string describe(const std::vector<Message>& messages) {
    std::string out;
    for (const Message& m : messages) {
        out += m.kind == MessageKind::TallyDumpByte ? "byte" : (m.extended ? "word+" : "word");
        out += " @" + std::to_string(m.first) + " n" + std::to_string(m.sources.size() + m.names.size()) + "\n";
    }
    return out;
}

std::vector<int> routes(int count, int modulo) {
    std::vector<int> out;
    for (int d = 0; d < count; ++d) out.push_back(d % modulo);
    return out;
}

TEST(Swp08Tables, TallyDumpIsCutIntoMessagesOfConsecutiveRoutedDestinations) {
    const struct {
        const char* what;
        std::vector<int> routes;
        int matrix;
        bool extended;
        std::string messages;
    } cases[] = {
        {"gap starts a new message", {3, kNoInput, 5, 6}, 0, false, "byte @0 n1\nbyte @2 n2\n"},
        {"130 destinations", routes(130, 7), 0, false, "byte @0 n64\nbyte @64 n64\nbyte @128 n2\n"},
        {"destination 191 fits bytes", routes(192, 7), 0, false, "byte @0 n64\nbyte @64 n64\nbyte @128 n64\n"},
        {"destination 192 needs words", routes(193, 7), 0, false,
         "word @0 n64\nword @64 n64\nword @128 n64\nword @192 n1\n"},
        {"source 192 needs words", {1, 192}, 0, false, "word @0 n2\n"},
        {"extended words hold 63", routes(130, 7), 0, true, "word+ @0 n63\nword+ @63 n63\nword+ @126 n4\n"},
        {"matrix 16 needs extended words", {1, 2}, 16, false, "word+ @0 n2\n"},
        {"asked extended", {1, 2}, 0, true, "word+ @0 n2\n"},
        {"nothing routed", {kNoInput, kNoInput}, 0, false, ""},
    };
    for (const auto& c : cases) {
        const std::vector<Message> messages = swp08::tallyDumpMessages(c.matrix, 0, c.routes, c.extended);
        EXPECT_EQ(describe(messages), c.messages) << c.what;
        for (const Message& m : messages) {
            const std::optional<swp08::Bytes> data = swp08::encodeMessage(m);
            ASSERT_TRUE(data) << c.what;
            EXPECT_LE(data->size(), swp08::kMaxMessageData) << c.what;
        }
    }
}

TEST(Swp08Tables, NamesAreCutIntoMessagesOfTheLargestCount) {
    const std::vector<std::string> list(33, "SRC");
    const std::vector<Message> four = swp08::nameMessages(MessageKind::SourceNames, 0, 2, NameLength::Chars4, list);
    EXPECT_EQ(describe(four), "word @0 n32\nword @32 n1\n");
    EXPECT_EQ(four[1].level, 2);
    const std::vector<Message> twelve =
        swp08::nameMessages(MessageKind::DestinationNames, 0, 2, NameLength::Chars12, list);
    EXPECT_EQ(describe(twelve), "word @0 n10\nword @10 n10\nword @20 n10\nword @30 n3\n");
    EXPECT_EQ(twelve[0].level, 0);  // destination names carry no level
    for (const Message& m : twelve) EXPECT_TRUE(swp08::encodeMessage(m));
    EXPECT_TRUE(swp08::nameMessages(MessageKind::Tally, 0, 0, NameLength::Chars4, list).empty());
}

TEST(Swp08Tables, ApplyUpdatesTheModelOfItsMatrixAndLevel) {
    RouterModel model(4, 4);
    Message connected;
    connected.kind = MessageKind::Connected;
    connected.level = 1;
    connected.destination = 2;
    connected.source = 3;
    swp08::TableUpdate update = swp08::applyMessage(model, connected, 0, 1);
    EXPECT_EQ(update.changes, (std::vector<RouterChange>{{ChangeKind::Route, 2}}));
    EXPECT_EQ(model.route(2), 3);

    connected.source = 9;  // beyond the model
    update = swp08::applyMessage(model, connected, 0, 1);
    EXPECT_EQ(update.rejected, 1u);
    EXPECT_EQ(model.route(2), 3);

    connected.level = 0;  // another table
    update = swp08::applyMessage(model, connected, 0, 1);
    EXPECT_TRUE(update.ignored);
    EXPECT_TRUE(update.changes.empty());
}

TEST(Swp08Tables, ApplyTakesDumpsAndNamesEntryByEntry) {
    RouterModel model(4, 4);
    Message words;
    words.kind = MessageKind::TallyDumpWord;
    words.first = 2;
    words.sources = {1, 0, 3};  // the third is destination 4: beyond
    swp08::TableUpdate update = swp08::applyMessage(model, words, 0, 0);
    EXPECT_EQ(update.changes, (std::vector<RouterChange>{{ChangeKind::Route, 2}, {ChangeKind::Route, 3}}));
    EXPECT_EQ(update.rejected, 1u);

    Message dest;
    dest.kind = MessageKind::DestinationNames;
    dest.level = 5;  // destination names hold for every level
    dest.first = 3;
    dest.names = {"PGM"};
    update = swp08::applyMessage(model, dest, 0, 0);
    EXPECT_EQ(update.changes, (std::vector<RouterChange>{{ChangeKind::OutputLabel, 3}}));
    EXPECT_EQ(model.outputLabel(3), "PGM");

    Message updated;
    updated.kind = MessageKind::NamesUpdated;
    EXPECT_TRUE(swp08::applyMessage(model, updated, 0, 0).ignored);
}

// What a router sends from its model, read by a client into an empty model,
// gives the same routes and labels (up to the name width).
TEST(Swp08Tables, RouterTablesReadBackIntoAClientModel) {
    RouterModel router(300, 300);
    for (int o = 0; o < 300; ++o)
        if (o % 5 != 0) router.setRoute(o, (o * 7) % 300);
    router.setInputLabel(299, "Remote: Paris");
    std::vector<Message> sent = swp08::tallyDumpMessages(router, 3, 4);
    for (const Message& m : swp08::nameMessages(MessageKind::SourceNames, router, 3, 4, NameLength::Chars16))
        sent.push_back(m);

    RouterModel client(300, 300);
    for (const Message& m : sent) {
        const std::optional<swp08::Bytes> data = swp08::encodeMessage(m);
        ASSERT_TRUE(data);
        const swp08::DecodeResult read = swp08::decodeMessage(*data);
        ASSERT_TRUE(read.ok());
        EXPECT_EQ(read.message, m);
        EXPECT_EQ(swp08::applyMessage(client, read.message, 3, 4).rejected, 0u);
    }
    for (int o = 0; o < 300; ++o) EXPECT_EQ(client.route(o), router.route(o)) << "output " << o;
    EXPECT_EQ(client.inputLabel(0), "Input 1");
    EXPECT_EQ(client.inputLabel(299), "Remote: Paris");
}

}  // namespace

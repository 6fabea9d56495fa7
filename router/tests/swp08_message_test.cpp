#include "swp08/swp08_message.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "swp08/swp08_tables.h"

namespace {

using swp08::Bytes;
using swp08::DecodeError;
using swp08::Message;
using swp08::MessageKind;
using swp08::NameLength;

std::string hexOf(const Bytes& bytes) {
    std::string out;
    char buf[4];
    for (uint8_t b : bytes) {
        std::snprintf(buf, sizeof buf, "%s%02X", out.empty() ? "" : " ", b);
        out += buf;
    }
    return out;
}

Bytes hex(const std::string& text) {
    Bytes out;
    for (size_t at = 0; at < text.size(); at += 3)
        out.push_back(static_cast<uint8_t>(std::stoi(text.substr(at, 2), nullptr, 16)));
    return out;
}

Message msg(MessageKind kind, int matrix, int level) {
    Message m;
    m.kind = kind;
    m.matrix = matrix;
    m.level = level;
    return m;
}
Message crosspoint(MessageKind kind, int matrix, int level, int destination, int source, bool extended = false) {
    Message m = msg(kind, matrix, level);
    m.destination = destination;
    m.source = source;
    m.extended = extended;
    return m;
}
Message dump(MessageKind kind, int matrix, int level, int first, std::vector<int> sources) {
    Message m = msg(kind, matrix, level);
    m.first = first;
    m.sources = std::move(sources);
    return m;
}
Message names(MessageKind kind, int matrix, int level, NameLength length, int first, std::vector<std::string> list) {
    Message m = msg(kind, matrix, level);
    m.nameLength = length;
    m.first = first;
    m.names = std::move(list);
    return m;
}
Message request(MessageKind kind, int matrix, int level, NameLength length, int number = 0) {
    Message m = msg(kind, matrix, level);
    m.nameLength = length;
    (kind == MessageKind::SingleSourceName ? m.source : m.destination) = number;
    return m;
}

struct CodecCase {
    const char* what;
    Message message;  // as written; read back with `extended` set to the form
    const char* data;
};

std::vector<CodecCase> codecCases() {
    using MK = MessageKind;
    Message bad = crosspoint(MK::Tally, 15, 15, 0, 0);
    bad.badSource = true;
    Message invalid = msg(MK::Invalid, 0, 0);
    invalid.detail = {0x02};
    Message status = msg(MK::DualStatus, 0, 0);
    status.detail = {0x02, 0x00};
    Message implementation = msg(MK::Implementation, 0, 0);
    implementation.detail = {1, 1, 0x03, 0x01};
    return {
        {"interrogate dest 1023 stays standard", crosspoint(MK::Interrogate, 0, 0, 1023, 0), "01 00 70 7F"},
        {"interrogate dest 1024 goes extended", crosspoint(MK::Interrogate, 0, 0, 1024, 0), "81 00 00 04 00"},
        {"connect matrix 1 level 2 dest 131 src 5", crosspoint(MK::Connect, 1, 2, 131, 5), "02 12 10 03 05"},
        {"connect 1023/1023 stays standard", crosspoint(MK::Connect, 0, 0, 1023, 1023), "02 00 77 7F 7F"},
        {"connect src 1024 goes extended", crosspoint(MK::Connect, 0, 0, 5, 1024), "82 00 00 00 05 04 00"},
        {"connect level 16 goes extended", crosspoint(MK::Connect, 0, 16, 5, 6), "82 00 10 00 05 00 06"},
        {"tally matrix/level 15, bad source", bad, "03 FF 08 00 00"},
        {"connected matrix 16 goes extended", crosspoint(MK::Connected, 16, 0, 7, 9), "84 10 00 00 07 00 09"},
        {"connected forced extended", crosspoint(MK::Connected, 0, 0, 1, 2, true), "84 00 00 00 01 00 02"},
        {"tally dump request", msg(MK::TallyDumpRequest, 2, 3), "15 23"},
        {"tally dump request matrix 20", msg(MK::TallyDumpRequest, 20, 1), "95 14 01"},
        {"tally dump byte", dump(MK::TallyDumpByte, 0, 1, 4, {7, 0x10}), "16 01 02 04 07 10"},
        {"tally dump word", dump(MK::TallyDumpWord, 0, 0, 1000, {1500, 3}), "17 00 02 03 E8 05 DC 00 03"},
        {"tally dump word matrix 16", dump(MK::TallyDumpWord, 16, 0, 0, {1}), "97 10 00 01 00 00 00 01"},
        {"all source names", request(MK::AllSourceNames, 0, 1, NameLength::Chars8), "64 01 01"},
        {"all source names level 16", request(MK::AllSourceNames, 0, 16, NameLength::Chars8), "E4 00 10 01"},
        {"single source name", request(MK::SingleSourceName, 0, 0, NameLength::Chars12, 300), "65 00 02 01 2C"},
        {"single source name matrix 17", request(MK::SingleSourceName, 17, 0, NameLength::Chars12, 300),
         "E5 11 00 02 01 2C"},
        {"all destination names", request(MK::AllDestinationNames, 1, 0, NameLength::Chars4), "66 10 00"},
        {"all destination names matrix 16", request(MK::AllDestinationNames, 16, 0, NameLength::Chars4), "E6 10 00"},
        {"single destination name", request(MK::SingleDestinationName, 0, 0, NameLength::Chars32, 2), "67 00 04 00 02"},
        {"source names", names(MK::SourceNames, 0, 0, NameLength::Chars4, 258, {"CAM1", "VT"}),
         "6A 00 00 01 02 02 43 41 4D 31 56 54 20 20"},
        {"source names level 16", names(MK::SourceNames, 0, 16, NameLength::Chars4, 1, {"VT"}),
         "EA 00 10 00 00 01 01 56 54 20 20"},
        {"destination names matrix 2", names(MK::DestinationNames, 2, 0, NameLength::Chars4, 1, {"MON"}),
         "6B 20 00 00 01 01 4D 4F 4E 20"},
        // Like its requests, the extended form carries the matrix alone: no level byte.
        {"destination names matrix 16", names(MK::DestinationNames, 16, 0, NameLength::Chars4, 0, {"PGM"}),
         "EB 10 00 00 00 01 50 47 4D 20"},
        {"names updated", msg(MK::NamesUpdated, 0, 0), "1E"},
        {"invalid message", invalid, "63 02"},
        {"dual controller status request", msg(MK::DualStatusRequest, 0, 0), "08"},
        {"dual controller status", status, "09 02 00"},
        {"implementation request", msg(MK::ImplementationRequest, 0, 0), "61"},
        {"implementation", implementation, "62 01 01 03 01"},
    };
}

TEST(Swp08Message, EncodesEachCommandInItsForm) {
    for (const CodecCase& c : codecCases()) {
        const std::optional<Bytes> data = swp08::encodeMessage(c.message);
        ASSERT_TRUE(data) << c.what;
        EXPECT_EQ(hexOf(*data), c.data) << c.what;
    }
}

TEST(Swp08Message, DecodesWhatItEncodes) {
    for (const CodecCase& c : codecCases()) {
        const swp08::DecodeResult result = swp08::decodeMessage(hex(c.data));
        ASSERT_TRUE(result.ok()) << c.what << ": " << swp08::decodeErrorName(result.error);
        Message want = c.message;
        want.extended = swp08::usesExtendedForm(c.message);
        EXPECT_EQ(result.message, want) << c.what;
        EXPECT_EQ(result.command, hex(c.data)[0]) << c.what;
    }
}

TEST(Swp08Message, ExtendedTallyMayCarryAStatusByte) {
    const swp08::DecodeResult result = swp08::decodeMessage(hex("83 00 01 01 00 00 02 00"));
    ASSERT_TRUE(result.ok());
    EXPECT_EQ(result.message, crosspoint(MessageKind::Tally, 0, 1, 256, 2, true));
}

TEST(Swp08Message, MalformedDataGivesAnErrorValue) {
    const struct {
        const char* data;
        DecodeError error;
    } cases[] = {
        {"", DecodeError::Empty},
        {"05", DecodeError::UnknownCommand},
        {"96 00 00 00", DecodeError::UnknownCommand},  // the byte dump has no extended form
        {"9E", DecodeError::UnknownCommand},
        {"01 00 00", DecodeError::BadLength},
        {"01 00 00 00 00", DecodeError::BadLength},
        {"04 00 00 00 00 00", DecodeError::BadLength},
        {"84 00 00 00 00 00 00 00 00", DecodeError::BadLength},
        {"15", DecodeError::BadLength},
        {"15 00 00", DecodeError::BadLength},
        {"16 00 01 00", DecodeError::BadLength},
        {"17 00 02 00 00 00 01", DecodeError::BadLength},
        {"17 00 00 00", DecodeError::BadLength},
        {"64", DecodeError::BadLength},
        {"65 00 01 00", DecodeError::BadLength},
        {"6A 00 05 00 00 00", DecodeError::BadValue},
        {"6A 00 00 00 00 01 41", DecodeError::BadLength},
        {"6A 00 00 00 00", DecodeError::BadLength},
    };
    for (const auto& c : cases) EXPECT_EQ(swp08::decodeMessage(hex(c.data)).error, c.error) << c.data;
}

TEST(Swp08Message, ReaderDropsTrailingBlanksAndZeroBytes) {
    const swp08::DecodeResult result =
        swp08::decodeMessage(hex("6B 00 00 00 00 04 41 42 20 20 41 00 00 00 20 20 20 20 41 20 42 20"));
    ASSERT_TRUE(result.ok());
    EXPECT_EQ(result.message.names, (std::vector<std::string>{"AB", "A", "", "A B"}));
}

TEST(Swp08Message, WriterCutsAndPadsNamesToTheWidth) {
    const Message m = names(MessageKind::SourceNames, 0, 0, NameLength::Chars4, 0, {"CAMERA", "A\xC3\x89\xC3\x89", ""});
    const std::optional<Bytes> data = swp08::encodeMessage(m);
    ASSERT_TRUE(data);
    // "CAME", "AÉ" + blank (É is not split), four blanks.
    EXPECT_EQ(hexOf(*data), "6A 00 00 00 00 03 43 41 4D 45 41 C3 89 20 20 20 20 20");
}

TEST(Swp08Message, WriterRefusesWhatNoFormCarries) {
    using MK = MessageKind;
    Message detail = msg(MK::Invalid, 0, 0);
    detail.detail.assign(255, 0);
    Message oddLength = request(MK::AllSourceNames, 0, 0, NameLength::Chars4);
    oddLength.nameLength = static_cast<NameLength>(7);
    Message byteExtended = dump(MK::TallyDumpByte, 0, 0, 0, {1});
    byteExtended.extended = true;
    const struct {
        const char* what;
        Message message;
    } cases[] = {
        {"negative destination", crosspoint(MK::Connect, 0, 0, -1, 0)},
        {"destination 65536", crosspoint(MK::Connect, 0, 0, 65536, 0)},
        {"matrix 256", crosspoint(MK::Interrogate, 256, 0, 0, 0)},
        {"word dump of 65", dump(MK::TallyDumpWord, 0, 0, 0, std::vector<int>(65, 1))},
        {"word dump past 65535", dump(MK::TallyDumpWord, 0, 0, 65535, {1, 2})},
        {"byte dump of source 256", dump(MK::TallyDumpByte, 0, 0, 0, {256})},
        {"byte dump past destination 255", dump(MK::TallyDumpByte, 0, 0, 255, {1, 2})},
        {"byte dump on matrix 16", dump(MK::TallyDumpByte, 16, 0, 0, {1})},
        {"byte dump forced extended", byteExtended},
        {"33 names of 4", names(MK::SourceNames, 0, 0, NameLength::Chars4, 0, std::vector<std::string>(33))},
        {"17 names of 8", names(MK::SourceNames, 0, 0, NameLength::Chars8, 0, std::vector<std::string>(17))},
        {"name length code 7", oddLength},
        {"detail longer than a frame", detail},
    };
    for (const auto& c : cases) EXPECT_FALSE(swp08::encodeMessage(c.message)) << c.what;
}

TEST(Swp08Message, FullRepliesFitOneFrame) {
    for (NameLength length : {NameLength::Chars4, NameLength::Chars8, NameLength::Chars12, NameLength::Chars16,
                              NameLength::Chars32}) {
        Message m = names(MessageKind::SourceNames, 200, 200, length, 65000,
                          std::vector<std::string>(static_cast<size_t>(swp08::maxNamesPerMessage(length)), "x"));
        const std::optional<Bytes> data = swp08::encodeMessage(m);
        ASSERT_TRUE(data) << swp08::nameWidth(length);
        EXPECT_LE(data->size(), 135u) << swp08::nameWidth(length);
        EXPECT_TRUE(swp08::decodeMessage(*data).ok());
    }
    const std::optional<Bytes> word =
        swp08::encodeMessage(dump(MessageKind::TallyDumpWord, 200, 200, 0, std::vector<int>(64, 65535)));
    ASSERT_TRUE(word);
    EXPECT_FALSE(swp08::encodeFrame(*word).empty());
}

}  // namespace

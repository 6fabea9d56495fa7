// Tests for vesk_profile_read against real files in a fresh temporary folder.

#include "vesk_platform.h"

#include <gtest/gtest.h>

#include <ftw.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

using namespace std::string_literals;

namespace {

// Makes control and non-ASCII bytes visible in failure messages.
std::string Escape(const std::string& bytes) {
    std::string shown;
    for (unsigned char c : bytes) {
        char hex[8];
        switch (c) {
            case '\r': shown += "\\r"; break;
            case '\n': shown += "\\n"; break;
            case '\t': shown += "\\t"; break;
            case '\\': shown += "\\\\"; break;
            default:
                if (c < 0x20 || c >= 0x7F) {
                    snprintf(hex, sizeof hex, "\\x%02X", c);
                    shown += hex;
                } else {
                    shown += static_cast<char>(c);
                }
        }
    }
    return shown;
}

int RemoveEntry(const char* path, const struct stat*, int, struct FTW*) {
    return remove(path);
}

// A folder under $TMPDIR (or /tmp), removed with its contents on destruction.
class TempDir {
  public:
    TempDir() {
        const char* base = getenv("TMPDIR");
        std::string pattern = std::string(base && *base ? base : "/tmp") + "/vesk_profile_XXXXXX";
        std::vector<char> name(pattern.begin(), pattern.end());
        name.push_back('\0');
        if (mkdtemp(name.data()))
            path_ = name.data();
        else
            ADD_FAILURE() << "mkdtemp failed for " << pattern;
    }
    ~TempDir() {
        if (!path_.empty())
            nftw(path_.c_str(), RemoveEntry, 16, FTW_DEPTH | FTW_PHYS);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& path() const { return path_; }

    // Writes `content` to `name` inside the folder and returns the full path.
    std::string Write(const std::string& name, const std::string& content) const {
        std::string full = path_ + "/" + name;
        FILE* file = fopen(full.c_str(), "wb");
        if (!file) {
            ADD_FAILURE() << "cannot create " << full;
            return full;
        }
        if (fwrite(content.data(), 1, content.size(), file) != content.size())
            ADD_FAILURE() << "cannot write " << full;
        fclose(file);
        return full;
    }

  private:
    std::string path_;
};

struct Result {
    std::string text;
    unsigned long length;
};

// Calls the reader with a buffer of `size` bytes followed by guard bytes, and
// checks that the result is terminated where the return value says and that
// nothing past `size` was written.
Result ReadPath(const std::string& path, const char* section, const char* key,
                const char* fallback = "FB", unsigned long size = 256) {
    const size_t guard = 16;
    std::vector<char> buffer(size + guard, '#');
    unsigned long length = vesk_profile_read(section, key, fallback, buffer.data(), size, path.c_str());
    Result result{std::string(), length};
    if (size == 0 || length >= size) {
        ADD_FAILURE() << "length " << length << " does not fit size " << size << " for path " << path;
        return result;
    }
    result.text.assign(buffer.data(), length);
    EXPECT_EQ(buffer[length], '\0') << "no terminating zero after " << length << " chars, path " << path;
    EXPECT_EQ(strlen(buffer.data()), length) << "zero inside the copied text, path " << path;
    for (size_t i = size; i < size + guard; ++i)
        EXPECT_EQ(buffer[i], '#') << "byte " << i << " written past size " << size;
    return result;
}

Result ReadContent(const std::string& content, const char* section, const char* key,
                   const char* fallback = "FB", unsigned long size = 256) {
    TempDir dir;
    return ReadPath(dir.Write("test.ini", content), section, key, fallback, size);
}

// `text` as UTF-16 after its byte-order mark.
std::string Utf16(const std::u16string& text, bool big_endian) {
    std::string bytes;
    for (char16_t unit : u"\uFEFF"s + text) {
        const char high = static_cast<char>(unit >> 8);
        const char low = static_cast<char>(unit & 0xFF);
        bytes += big_endian ? high : low;
        bytes += big_endian ? low : high;
    }
    return bytes;
}

std::string Utf16Le(const std::u16string& text) { return Utf16(text, false); }
std::string Utf16Be(const std::u16string& text) { return Utf16(text, true); }

struct Case {
    std::string content;
    const char* section;
    const char* key;
    const char* expected;
};

void ExpectReads(const std::vector<Case>& cases) {
    for (const Case& c : cases) {
        Result r = ReadContent(c.content, c.section, c.key);
        EXPECT_EQ(r.text, c.expected)
            << "file: " << Escape(c.content) << "  section: '" << Escape(c.section) << "'  key: '"
            << Escape(c.key) << "'";
        EXPECT_EQ(r.length, strlen(c.expected))
            << "file: " << Escape(c.content) << "  section: '" << Escape(c.section) << "'  key: '"
            << Escape(c.key) << "'";
    }
}

TEST(ProfileReader, ReadsValueAfterFirstEquals) {
    ExpectReads({
        {"[s]\nk=v\n", "s", "k", "v"},
        {"[a]\nk=1\n[b]\nk=2\nj=3\n", "b", "k", "2"},
        {"[a]\nk=1\n[b]\nk=2\nj=3\n", "b", "j", "3"},
        {"[s]\nother=1\nk=v\n", "s", "k", "v"},
        {"[s]\nk=a=b\n", "s", "k", "a=b"},
        {"[s]\nk=v", "s", "k", "v"},
    });
}

TEST(ProfileReader, MatchesNamesIgnoringAsciiCase) {
    ExpectReads({
        {"[Section]\nKey=v\n", "SECTION", "kEY", "v"},
        {"[SECTION]\nKEY=v\n", "section", "key", "v"},
        {"[s]\nKey=MiXeD\n", "s", "key", "MiXeD"},
        // Bytes above 0x7F are compared exactly.
        {"[\xC9]\nk=v\n", "\xE9", "k", "FB"},
        {"[s]\n\xC9=v\n", "s", "\xE9", "FB"},
    });
}

TEST(ProfileReader, TrimsBlanksAroundNamesAndValues) {
    ExpectReads({
        {"  [  s  ]  \n  k  =  v  \n", "s", "k", "v"},
        {"\t\v\f\x1A[\t\v\f\x1As\t\v\f\x1A]\n\t\v\f\x1Ak\t\v\f\x1A=\t\v\f\x1Av\t\v\f\x1A\n", "s", "k", "v"},
        {"[s]\nk= a  b \n", "s", "k", "a  b"},
        {"[s]\nmy key=v\n", "s", "my key", "v"},
        {"[my section]\nk=v\n", "my section", "k", "v"},
        {"[s]\nk=v\n", "  s\t", " k\t", "v"},
    });
}

TEST(ProfileReader, SectionNameEndsAtLastBracket) {
    ExpectReads({
        {"[a]b]\nk=v\n", "a]b", "k", "v"},
        {"[a]b]\nk=v\n", "a", "k", "FB"},
        {"[s] trailing junk\nk=v\n", "s", "k", "v"},
        {"[s]] x\nk=v\n", "s]", "k", "v"},
        {"[s] ; note [x]\nk=v\n", "s] ; note [x", "k", "v"},
        {"[]\nk=v\n", "", "k", "v"},
    });
}

TEST(ProfileReader, BracketLineWithoutCloseIsKey) {
    ExpectReads({
        {"[s]\n[x=1\n", "s", "[x", "1"},
        {"[s]\n[x\nk=v\n", "s", "k", "v"},
        {"[s]\n[x\nk=v\n", "x", "k", "FB"},
    });
}

TEST(ProfileReader, SearchesOnlyFirstSectionOfName) {
    ExpectReads({
        {"[s]\na=1\n[S]\nb=2\n", "s", "b", "FB"},
        {"[s]\na=1\n[S]\na=2\n", "s", "a", "1"},
        {"[s]\na=1\n[t]\nb=2\n[s]\nb=3\n", "s", "b", "FB"},
    });
}

TEST(ProfileReader, FirstKeyOfNameWins) {
    ExpectReads({
        {"[s]\nk=1\nK=2\n", "s", "k", "1"},
        {"[s]\nk\nk=2\n", "s", "k", "FB"},
    });
}

// Such a key has no value at all, unlike "k=": Windows gives the fallback.
TEST(ProfileReader, KeyWithoutEqualsGivesFallback) {
    ExpectReads({
        {"[s]\nk\n", "s", "k", "FB"},
        {"[s]\n  k  \n", "s", "k", "FB"},
        {"[s]\nk=\n", "s", "k", ""},
    });
    Result r = ReadContent("[Database]\nDatabaseSize_1", "Database", "DatabaseSize_1", "0");
    EXPECT_EQ(r.text, "0") << "fallback \"0\" as databaseSize passes it";
    EXPECT_EQ(r.length, 1u) << "fallback \"0\" as databaseSize passes it";
}

TEST(ProfileReader, BlankLinesAreNotKeys) {
    ExpectReads({
        {"[s]\n\n  \t\nk=v\n=e\n", "s", "", "e"},
        {"[s]\n\n  \t\nk=v\n", "s", "", "FB"},
        {"[s]\n \n\nk=v\n", "s", "k", "v"},
    });
}

TEST(ProfileReader, EmptyValueReturnsZero) {
    ExpectReads({
        {"[s]\nk=\n", "s", "k", ""},
        {"[s]\nk=   \n", "s", "k", ""},
        {"[s]\nk=\"\"\n", "s", "k", ""},
    });
}

TEST(ProfileReader, RemovesOnePairOfMatchingQuotes) {
    ExpectReads({
        {"[s]\nk=\"v\"\n", "s", "k", "v"},
        {"[s]\nk='v'\n", "s", "k", "v"},
        {"[s]\nk=  \" a b \"  \n", "s", "k", " a b "},
        {"[s]\nk=''\n", "s", "k", ""},
        {"[s]\nk=\"\"v\"\"\n", "s", "k", "\"v\""},
        {"[s]\nk=\"v'\n", "s", "k", "\"v'"},
        {"[s]\nk='v\"\n", "s", "k", "'v\""},
        {"[s]\nk=\"\n", "s", "k", "\""},
        {"[s]\nk='\n", "s", "k", "'"},
        {"[s]\nk=\"a\" b\n", "s", "k", "\"a\" b"},
        {"[s]\nk=a\"\n", "s", "k", "a\""},
    });
}

TEST(ProfileReader, SemicolonStartsNoComment) {
    ExpectReads({
        {"[s]\n;k=1\nk=2 ; note\n", "s", "k", "2 ; note"},
        {"[s]\n;k=1\nk=2 ; note\n", "s", ";k", "1"},
        {"[s]\n; k=1\n", "s", "k", "FB"},
    });
}

TEST(ProfileReader, LinesEndAtAnyRunOfCrAndLf) {
    ExpectReads({
        {"[s]\nk=v\nj=w\n", "s", "j", "w"},
        {"[s]\rk=v\rj=w\r", "s", "j", "w"},
        {"[s]\r\nk=v\r\nj=w\r\n", "s", "j", "w"},
        {"[s]\n\rk=v\n\rj=w", "s", "j", "w"},
        {"[s]\r\n\r\n\rk=v\n\n\r\nj=w", "s", "k", "v"},
        {"[s]\rk=v\nj=w\r\n", "s", "j", "w"},
        {"[s]\rk=v\nj=w\r\n", "s", "k", "v"},
    });
}

TEST(ProfileReader, SkipsUtf8ByteOrderMark) {
    ExpectReads({
        {"\xEF\xBB\xBF[s]\nk=v\n", "s", "k", "v"},
        {"\xEF\xBB\xBFk=v\n[s]\nj=w\n", "s", "j", "w"},
        // Only at the very start: elsewhere the bytes are part of the name.
        {"[s]\n\xEF\xBB\xBFk=v\n", "s", "k", "FB"},
        {"[s]\n\xEF\xBB\xBFk=v\n", "s", "\xEF\xBB\xBFk", "v"},
    });
}

TEST(ProfileReader, ReadsUtf16LeWithByteOrderMark) {
    ExpectReads({
        {Utf16Le(u"[s]\r\nk=v\r\n"), "s", "k", "v"},
        {Utf16Le(u"[Sec]\r\nKey = \"quoted value\" \r\n"), "sec", "key", "quoted value"},
        {Utf16Le(u"[s]\r\nk=caf\u00E9!\r\n"), "s", "k", "caf?!"},
        {Utf16Le(u"[s]\r\nk=\u4E2D\u6587\r\n"), "s", "k", "??"},
        {Utf16Le(u"[s]\r\nk=a\U0001F600b\r\n"), "s", "k", "a??b"},
        {Utf16Le(u"[s]\r\nk=v") + "\x77", "s", "k", "v"},
        // The same text without the mark is read byte by byte and finds nothing.
        {Utf16Le(u"[s]\r\nk=v\r\n").substr(2), "s", "k", "FB"},
    });
}

TEST(ProfileReader, ReadsUtf16BeWithByteOrderMark) {
    ExpectReads({
        {Utf16Be(u"[s]\r\nk=v\r\n"), "s", "k", "v"},
        {Utf16Be(u"[Sec]\r\nKey = \"quoted value\" \r\n"), "sec", "key", "quoted value"},
        {Utf16Be(u"[s]\r\nk=ab"s + u'\0' + u"cd\r\n"), "s", "k", "ab"},
        {Utf16Be(u"[s]\r\nk=v\r\n").substr(2), "s", "k", "FB"},
        // The two bytes alone decide: 8-bit text after FE FF reads as UTF-16
        // and matches nothing; FE without FF is an 8-bit character.
        {"\xFE\xFF[s]\r\nk=v\r\n", "s", "k", "FB"},
        {"\xFE\xFF", "s", "k", "FB"},
        {"\xFE[s]\r\nk=v\r\n", "s", "k", "FB"},
        {"\xFE\r\n[s]\r\nk=v\r\n", "s", "k", "v"},
    });
}

// A zero byte does not end the line: '=' and ']' are found past it, blanks
// are trimmed, and only then is each name and value cut at its first zero.
TEST(ProfileReader, ZeroByteCutsNamesAndValuesOnly) {
    ExpectReads({
        {"[s]\nk=ab\0cd\nj=w\n"s, "s", "k", "ab"},
        {"[s]\nk=ab\0cd\nj=w\n"s, "s", "j", "w"},
        {"[s]\nk=\"v\0\"\n"s, "s", "k", "\"v"},
        {"[s]\nk\0x=v\n"s, "s", "k", "v"},
        {"[s\0]\nk=v\n"s, "s", "k", "v"},
        {"[s]\0]\nk=v\n"s, "s", "k", "FB"},
        {"[s]\0]\nk=v\n"s, "s]", "k", "v"},
        {Utf16Le(u"[s]\r\nk=ab"s + u'\0' + u"cd\r\n"), "s", "k", "ab"},
        // The files of a device database size that reads differently otherwise.
        {"[Database]\nDatabaseSize_1\0=7"s, "Database", "DatabaseSize_1", "7"},
        {"[Database\0]\nDatabaseSize_1=7"s, "Database", "DatabaseSize_1", "7"},
        {"[Database]\0]\nDatabaseSize_1=7"s, "Database", "DatabaseSize_1", "FB"},
        {"[Database]\nDatabaseSize_1 \0\nDatabaseSize_1=7"s, "Database", "DatabaseSize_1", "7"},
        {"[Database]\nDatabaseSize_1=7 \0"s, "Database", "DatabaseSize_1", "7 "},
    });
}

TEST(ProfileReader, IgnoresKeysBeforeFirstSection) {
    ExpectReads({
        {"k=v\n[s]\nj=w\n", "s", "k", "FB"},
        {"k=v\n[s]\nj=w\n", "", "k", "FB"},
        {"k=v\n[s]\nk=w\n", "s", "k", "w"},
    });
}

TEST(ProfileReader, MissingSectionOrKeyGivesFallback) {
    ExpectReads({
        {"[s]\nk=v\n", "t", "k", "FB"},
        {"[s]\nk=v\n", "s", "j", "FB"},
        {"[s]\n", "s", "k", "FB"},
        {"", "s", "k", "FB"},
        {"[s]\nkk=v\n", "s", "k", "FB"},
        {"[s]\nk=v\n", "ss", "k", "FB"},
        {"[t]\n[s]\n", "t", "s", "FB"},
    });
}

TEST(ProfileReader, UnreadablePathGivesFallback) {
    TempDir dir;
    const std::string paths[] = {dir.path() + "/absent.ini", dir.path(), "", dir.path() + "/absent/x.ini"};
    for (const std::string& path : paths) {
        Result r = ReadPath(path, "s", "k", "fallback");
        EXPECT_EQ(r.text, "fallback") << "path: " << path;
        EXPECT_EQ(r.length, 8u) << "path: " << path;
    }
}

TEST(ProfileReader, NullArgumentsGiveFallback) {
    TempDir dir;
    std::string path = dir.Write("t.ini", "[s]\nk=v\n");
    Result r = ReadPath(path, nullptr, "k");
    EXPECT_EQ(r.text, "FB") << "null section";
    EXPECT_EQ(r.length, 2u) << "null section";
    r = ReadPath(path, "s", nullptr);
    EXPECT_EQ(r.text, "FB") << "null key";
    EXPECT_EQ(r.length, 2u) << "null key";

    char out[8] = "xxxxxxx";
    EXPECT_EQ(vesk_profile_read("s", "k", "FB", out, sizeof out, nullptr), 2u) << "null path";
    EXPECT_STREQ(out, "FB") << "null path";
}

TEST(ProfileReader, NullFallbackReadsAsEmpty) {
    TempDir dir;
    std::string path = dir.Write("t.ini", "[s]\nk=v\n");
    Result r = ReadPath(path, "s", "missing", nullptr);
    EXPECT_EQ(r.text, "");
    EXPECT_EQ(r.length, 0u);
    r = ReadPath(dir.path() + "/absent.ini", "s", "k", nullptr);
    EXPECT_EQ(r.text, "") << "missing file";
    EXPECT_EQ(r.length, 0u) << "missing file";
}

TEST(ProfileReader, NullOutReturnsZero) {
    TempDir dir;
    std::string path = dir.Write("t.ini", "[s]\nk=value\n");
    EXPECT_EQ(vesk_profile_read("s", "k", "FB", nullptr, 16, path.c_str()), 0u);
    EXPECT_EQ(vesk_profile_read("s", "x", "FB", nullptr, 16, path.c_str()), 0u);
}

TEST(ProfileReader, CutsResultToSize) {
    TempDir dir;
    std::string path = dir.Write("t.ini", "[s]\nk=abcdef\n");
    struct Cut {
        const char* key;
        unsigned long size;
        const char* expected;
    };
    const Cut cuts[] = {
        {"k", 100, "abcdef"}, {"k", 7, "abcdef"}, {"k", 6, "abcde"}, {"k", 2, "a"},
        {"k", 1, ""},         {"x", 100, "fallback"}, {"x", 9, "fallback"}, {"x", 8, "fallbac"},
        {"x", 2, "f"},        {"x", 1, ""},
    };
    for (const Cut& c : cuts) {
        Result r = ReadPath(path, "s", c.key, "fallback", c.size);
        EXPECT_EQ(r.text, c.expected) << "key: " << c.key << " size: " << c.size;
        EXPECT_EQ(r.length, strlen(c.expected)) << "key: " << c.key << " size: " << c.size;
    }
}

TEST(ProfileReader, SizeZeroLeavesOutUntouched) {
    TempDir dir;
    std::string path = dir.Write("t.ini", "[s]\nk=value\n");
    for (const char* key : {"k", "missing"}) {
        char out[4] = {'a', 'b', 'c', 'd'};
        EXPECT_EQ(vesk_profile_read("s", key, "FB", out, 0, path.c_str()), 0u) << "key: " << key;
        EXPECT_EQ(std::string(out, 4), "abcd") << "key: " << key;
    }
}

TEST(ProfileReader, FallbackMayShareTheOutputBuffer) {
    char out[16] = "fallback";
    EXPECT_EQ(vesk_profile_read("s", "k", out, out, 5, "/nonexistent/vesk.ini"), 4u);
    EXPECT_STREQ(out, "fall");
}

TEST(ProfileReader, TurnsBackslashesIntoFolderSeparators) {
    TempDir dir;
    ASSERT_EQ(mkdir((dir.path() + "/sub").c_str(), 0700), 0);
    dir.Write("sub/t.ini", "[s]\nk=v\n");
    std::string path = dir.path() + "\\sub\\t.ini";
    Result r = ReadPath(path, "s", "k");
    EXPECT_EQ(r.text, "v") << "path: " << path;
    EXPECT_EQ(r.length, 1u) << "path: " << path;
}

TEST(ProfileReader, VeryLongPathGivesFallback) {
    std::string path = "/tmp";
    while (path.size() < 64 * 1024)
        path += "\\abcdefghijklmnopqrstuvwxyz";
    Result r = ReadPath(path, "s", "k");
    EXPECT_EQ(r.text, "FB");
    EXPECT_EQ(r.length, 2u);
}

TEST(ProfileReader, ReadsVeryLongLines) {
    std::string long_value(1 << 20, 'x');
    std::string content = "[s]\nlong=" + long_value + "\nk=v\n";
    Result r = ReadContent(content, "s", "k");
    EXPECT_EQ(r.text, "v") << "key after a long line";

    r = ReadContent(content, "s", "long", "FB", static_cast<unsigned long>(long_value.size() + 1));
    EXPECT_EQ(r.length, long_value.size());
    EXPECT_TRUE(r.text == long_value) << "long value not returned whole";
}

TEST(ProfileReader, FileOverSixteenMebibytesIsUnreadable) {
    const off_t limit = 16 * 1024 * 1024;
    TempDir dir;
    std::string path = dir.Write("big.ini", "[s]\nk=v\n");
    ASSERT_EQ(truncate(path.c_str(), limit), 0);
    Result r = ReadPath(path, "s", "k");
    EXPECT_EQ(r.text, "v") << "file of exactly the limit";

    ASSERT_EQ(truncate(path.c_str(), limit + 1), 0);
    r = ReadPath(path, "s", "k");
    EXPECT_EQ(r.text, "FB") << "file one byte over the limit";
    EXPECT_EQ(r.length, 2u);
}

}  // namespace

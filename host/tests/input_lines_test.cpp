#include "app/input_lines.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

namespace {

// Every line InputLines gives for `input` arriving on standard input (a pipe
// put in place of it, written by a thread of the test), "!" before an
// overlong one, then "END". The reader's thread has met the pipe's end before
// the test's own standard input is back.
std::vector<std::string> linesOf(const std::string& input, size_t limit) {
    int fds[2];
    if (::pipe(fds) != 0) return {"no pipe"};
    const int saved = ::dup(STDIN_FILENO);
    ::dup2(fds[0], STDIN_FILENO);
    ::close(fds[0]);
    std::thread writer([&input, fd = fds[1]] {
        for (size_t at = 0; at < input.size();) {
            const ssize_t n = ::write(fd, input.data() + at, input.size() - at);
            if (n <= 0) break;
            at += static_cast<size_t>(n);
        }
        ::close(fd);
    });
    std::vector<std::string> got;
    {
        InputLines lines([] {}, limit);
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        std::string line;
        InputLines::Next next = InputLines::Next::none;
        while (next != InputLines::Next::ended && std::chrono::steady_clock::now() < deadline) {
            next = lines.next(line);
            if (next == InputLines::Next::line || next == InputLines::Next::overlong)
                got.push_back((next == InputLines::Next::overlong ? "!" : "") + line);
            else if (next == InputLines::Next::none)
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    }
    writer.join();
    ::dup2(saved, STDIN_FILENO);
    ::close(saved);
    got.push_back("END");
    return got;
}

TEST(InputLines, SplitsLinesAndCutsOverlongOnes) {
    const struct {
        const char* input;
        std::vector<std::string> lines;
    } cases[] = {
        {"", {"END"}},
        {"a\nbb\n", {"a", "bb", "END"}},
        {"a\r\n\nlast", {"a", "", "last", "END"}},
        // limit 4: five bytes pass (a "\r" allowed; the parser checks the
        // rest), six do not.
        {"abcd\r\nabcde\nabcdef\n", {"abcd", "abcde", "!abcde", "END"}},
        {"abcdefgh\nok\n", {"!abcde", "ok", "END"}},
        {"abcdefgh", {"!abcde", "END"}},
    };
    for (const auto& c : cases) EXPECT_EQ(linesOf(c.input, 4), c.lines) << "input: " << c.input;
}

TEST(InputLines, SkipsAnOverlongLineLongerThanTheReadAhead) {
    // Far more than the reader reads ahead, all of one line, then a line.
    const std::string flood(4 * InputReader::kReadAhead, 'x');
    EXPECT_EQ(linesOf(flood + "\nafter\n", 4), (std::vector<std::string>{"!xxxxx", "after", "END"}));
}

}  // namespace

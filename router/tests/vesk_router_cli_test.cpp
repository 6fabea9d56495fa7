// vesk-router from the outside: its command line, its labels file, its exit
// statuses, and serving whatever its standard streams are (a terminal it is in
// the background of, a closed input, a reader of its log that went away).
#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

#include "router_process.h"
#include "videohub_test_client.h"

namespace {

using namespace router_test;

struct Finished {
    int status = -1;  // -1: killed after kWait
    std::string out, err;
};

// Runs vesk-router with `args` and no input to its end (bounded by kWait).
Finished runRouter(std::vector<std::string> args) {
    Finished run;
    int out[2], err[2];
    if (pipe(out) != 0 || pipe(err) != 0) return run;
    const pid_t pid = fork();
    if (pid == 0) {
        ::signal(SIGPIPE, SIG_DFL);
        const int none = open("/dev/null", O_RDONLY);
        dup2(none, 0);
        dup2(out[1], 1);
        dup2(err[1], 2);
        std::vector<char*> argv{const_cast<char*>(VESK_ROUTER_PROGRAM)};
        for (std::string& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        execv(argv[0], argv.data());
        _exit(127);
    }
    close(out[1]);
    close(err[1]);
    const auto deadline = Clock::now() + kWait;
    for (bool outOpen = true, errOpen = true; (outOpen || errOpen) && Clock::now() < deadline;) {
        pollfd p[2] = {{outOpen ? out[0] : -1, POLLIN, 0}, {errOpen ? err[0] : -1, POLLIN, 0}};
        if (poll(p, 2, msLeft(deadline)) <= 0) break;
        for (int i = 0; i < 2; ++i) {
            if (!p[i].revents) continue;
            const std::string more = readSome(p[i].fd, deadline);
            (i == 0 ? run.out : run.err) += more;
            if (more.empty()) (i == 0 ? outOpen : errOpen) = false;
        }
    }
    int status = 0;
    bool ended = false;
    while (!(ended = waitpid(pid, &status, WNOHANG) == pid) && Clock::now() < deadline) usleep(5000);
    if (!ended) {
        kill(pid, SIGKILL);
        waitpid(pid, &status, 0);
    } else {
        run.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }
    close(out[0]);
    close(err[0]);
    return run;
}

struct OptionCase {
    std::vector<std::string> args;
    int status;
    const char* out;  // expected in standard output ("" for nothing at all)
    const char* err;  // expected in standard error ("" for nothing at all)
};

TEST(VeskRouterCli, OptionsHelpVersionAndExitStatuses) {
    const OptionCase cases[] = {
        {{"--help"}, 0, "exit status: 0 after quit", ""},
        {{"-h"}, 0, "route OUT IN", ""},
        {{"--version"}, 0, "vesk-router 1.", ""},
        {{"--inputs", "x"}, 2, "", "--inputs"},
        {{"--outputs", "4097"}, 2, "", "--outputs"},
        {{"--listen", "127.0.0.1:1:2"}, 2, "", "--listen"},
        {{"--listen", "127.0.0.1:65536"}, 2, "", "--listen"},
        {{"--listen", "router.example:9990"}, 2, "", "not a numeric address"},
        {{"--labels"}, 2, "", "--labels"},
        {{"--bogus", "1"}, 2, "", "--bogus"},
        {{"stray"}, 2, "", "stray"},
        {{"--help"}, 0, "Without --listen or --swp08 it serves Videohub on 127.0.0.1:9990", ""},
        {{"--swp08", "127.0.0.1"}, 2, "", "--swp08"},
        {{"--swp08", "127.0.0.1:0", "--swp08-level", "256"}, 2, "", "--swp08-level"},
        {{"--levels", "17"}, 2, "", "--levels"},
        {{"--levels", "0"}, 2, "", "--levels"},
        {{"--swp08-level", "254", "--levels", "3"}, 2, "", "goes past SW-P-08 level 255"},
        {{"--help"}, 0, "--levels N", ""},
        {{"--help"}, 0, "route OUT IN [LEVEL]", ""},
    };
    for (const OptionCase& c : cases) {
        const Finished run = runRouter(c.args);
        const std::string args = testing::PrintToString(c.args);
        EXPECT_EQ(run.status, c.status) << args << "\n" << run.err;
        for (const auto& [got, want] : {std::pair<std::string, const char*>{run.out, c.out}, std::pair<std::string, const char*>{run.err, c.err}}) {
            if (*want)
                EXPECT_NE(got.find(want), std::string::npos) << args << " wants \"" << want << "\" in:\n" << got;
            else
                EXPECT_EQ(got, "") << args;
        }
    }
}

struct LabelsCase {
    const char* name;
    std::string content;  // written to the file; "" for no file at all
    const char* error;    // expected in standard error
};

TEST(VeskRouterCli, EachLabelsFileProblemIsAnError) {
    const std::string dir = testing::TempDir();
    const LabelsCase cases[] = {
        {"missing", "", "cannot be read"},
        {"long_line", "INPUT LABELS:\n1 " + std::string(70000, 'x') + "\n", "a line over 65536 bytes"},
        {"other_block", "VIDEOHUB DEVICE:\nVideo inputs: 3\n", "not VIDEOHUB DEVICE:"},
        {"stray", "just text\n", "not just text"},
        {"malformed", "INPUT LABELS:\nx Cam\n", "x Cam"},
        {"beyond", "INPUT LABELS:\n16 Cam\n", "16 Cam"},
        {"binary", "INPUT LABELS:\n1 a\x1b[2J\x01\n", "control byte in line: 1 a\\x1B[2J\\x01"},
    };
    for (const LabelsCase& c : cases) {
        const std::string path = dir + "vesk_router_labels_" + c.name;
        if (c.content.empty()) unlink(path.c_str()); else std::ofstream(path, std::ios::binary) << c.content;
        const Finished run = runRouter({"--listen", "127.0.0.1:0", "--labels", path});
        EXPECT_EQ(run.status, 2) << c.name << ": " << run.err;
        EXPECT_NE(run.err.find(path + ": "), std::string::npos) << c.name << ": " << run.err;
        EXPECT_NE(run.err.find(c.error), std::string::npos) << c.name << ": " << run.err;
        EXPECT_EQ(run.err.find('\x1b'), std::string::npos) << c.name << ": raw bytes in " << run.err;
    }
    const Finished folder = runRouter({"--listen", "127.0.0.1:0", "--labels", dir});
    EXPECT_EQ(folder.status, 2) << folder.err;
    EXPECT_NE(folder.err.find("is a folder"), std::string::npos) << folder.err;
}

// The help says what happens without --listen or --swp08, and nowhere that
// it is an error.
TEST(VeskRouterCli, HelpSaysWhatRunsWithoutServiceOptions) {
    const Finished run = runRouter({"--help"});
    EXPECT_NE(run.out.find("Without --listen or --swp08 it serves Videohub on 127.0.0.1:9990"), std::string::npos)
        << run.out;
    EXPECT_EQ(run.out.find("neither"), std::string::npos) << run.out;
}

TEST(VeskRouterCli, APortInUseEndsWithStatusOne) {
    RouterProcess first({"--listen", "127.0.0.1:0"});
    ASSERT_NE(first.port(), 0);
    const Finished second = runRouter({"--listen", "127.0.0.1:" + std::to_string(first.port())});
    EXPECT_EQ(second.status, 1) << second.err;
    EXPECT_NE(second.err.find("vesk-router: "), std::string::npos) << second.err;
}

// Still serving: a new client gets the whole dump.
void expectServing(const RouterProcess& router, const char* what) {
    ASSERT_NE(router.port(), 0) << what;
    Connected c(router.port());
    EXPECT_EQ(c.dump.size(), 7u) << what << ": " << kinds(c.dump);
}

TEST(VeskRouterCli, KeepsServingWhateverItsStandardStreams) {
    RouterProcess ended({"--listen", "127.0.0.1:0"});
    ended.closeInput();
    expectServing(ended, "after the end of its input");
    ended.signal(SIGTERM);
    EXPECT_EQ(ended.waitExit(), 0);

    RouterProcess closed({"--listen", "127.0.0.1:0"}, RouterInput::Closed);
    expectServing(closed, "with no input at all");
    closed.signal(SIGTERM);
    EXPECT_EQ(closed.waitExit(), 0);

    // `vesk-router &` in an interactive shell.
    RouterProcess background({"--listen", "127.0.0.1:0"}, RouterInput::BackgroundTerminal);
    expectServing(background, "in the background of a terminal");
    background.signal(SIGTERM);
    EXPECT_EQ(background.waitExit(), 0);

    // `vesk-router | head -1`: the log's reader has gone.
    RouterProcess unread({"--listen", "127.0.0.1:0"});
    unread.closeOutput();
    expectServing(unread, "once its log is not read");
    expectServing(unread, "once its log is not read, again");
    unread.command("quit");
    EXPECT_EQ(unread.waitExit(), 0);
}

}  // namespace

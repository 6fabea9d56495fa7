// vesk-router as a child process for tests: started with its arguments,
// driven on its standard input (or with a terminal it is in the background
// of), its port read from its first line ("listening on ADDR:PORT"). Every
// wait is bounded (kWait); the destructor ends it with "quit", or SIGKILL
// when that does not end it in time. VESK_ROUTER_PROGRAM, the program's path,
// comes from the build.
#ifndef VESK_ROUTER_TESTS_ROUTER_PROCESS_H
#define VESK_ROUTER_TESTS_ROUTER_PROCESS_H

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <termios.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

namespace router_test {

using Clock = std::chrono::steady_clock;
inline constexpr auto kWait = std::chrono::seconds(5);

inline int msLeft(Clock::time_point deadline) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left > 0 ? static_cast<int>(left) : 0;
}

// Reads what is there within the deadline; "" at the end or the deadline.
inline std::string readSome(int fd, Clock::time_point deadline) {
    pollfd p{fd, POLLIN, 0};
    if (poll(&p, 1, msLeft(deadline)) <= 0) return "";
    char buffer[8192];
    const ssize_t n = read(fd, buffer, sizeof buffer);
    return n > 0 ? std::string(buffer, static_cast<size_t>(n)) : "";
}

// Where the router's standard input comes from.
enum class RouterInput {
    Pipe,                // commands from the test
    BackgroundTerminal,  // a terminal whose foreground is another process group (its shell's)
    Closed,              // no descriptor 0 at all
};

// The router's pid, for the forwarding shell below.
inline volatile pid_t backgroundJob = 0;

inline void forwardSignal(int number) { kill(backgroundJob, number); }

// In the child: plays an interactive shell that ran `vesk-router &`. It
// makes a new session with the pseudo-terminal `slave` as its controlling
// terminal, itself in the foreground, and forks the router into a process
// group of its own (in the background, and not orphaned, as a shell's job).
// It returns in the router's process (then exec it); the shell forwards
// SIGTERM and SIGINT to the router and ends with its status. Never returns
// on failure.
inline void becomeBackgroundJob(const char* slave) {
    if (setsid() < 0) _exit(126);
    const int fd = open(slave, O_RDWR);  // the first terminal a session leader opens is its own
    if (fd < 0) _exit(126);
    const pid_t job = fork();
    if (job == 0) {
        setpgid(0, 0);
        prctl(PR_SET_PDEATHSIG, SIGKILL);  // never outlives the shell
        dup2(fd, 0);
        close(fd);
        return;
    }
    setpgid(job, job);
    backgroundJob = job;
    ::signal(SIGTERM, forwardSignal);
    ::signal(SIGINT, forwardSignal);
    int status = 0;
    while (waitpid(job, &status, 0) < 0 && errno == EINTR) {
    }
    _exit(WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status));
}

class RouterProcess {
public:
    explicit RouterProcess(std::vector<std::string> args, RouterInput input = RouterInput::Pipe) {
        // A command to a router that has died must fail, not end the test.
        ::signal(SIGPIPE, SIG_IGN);
        int in[2], out[2];
        if (pipe(in) != 0 || pipe(out) != 0) return;
        const char* slave = input == RouterInput::BackgroundTerminal ? openTerminal() : nullptr;
        if (input == RouterInput::BackgroundTerminal && !slave) return;
        pid_ = fork();
        if (pid_ == 0) {
            ::signal(SIGPIPE, SIG_DFL);
            if (slave) becomeBackgroundJob(slave);
            if (input == RouterInput::Pipe) dup2(in[0], 0);
            if (input == RouterInput::Closed) close(0);
            dup2(out[1], 1);
            for (int fd : {in[0], in[1], out[0], out[1], terminal_}) close(fd);
            std::vector<char*> argv{const_cast<char*>(VESK_ROUTER_PROGRAM)};
            for (std::string& a : args) argv.push_back(a.data());
            argv.push_back(nullptr);
            execv(argv[0], argv.data());
            _exit(127);
        }
        close(in[0]);
        close(out[1]);
        stdin_ = in[1];
        stdout_ = out[0];
        const std::string first = waitForLine("listening on ");
        const size_t colon = first.rfind(':');
        if (colon != std::string::npos) port_ = std::atoi(first.c_str() + colon + 1);
    }
    ~RouterProcess() {
        if (pid_ > 0 && !exited_) {
            command("quit");
            if (waitExit() < 0) {
                kill(pid_, SIGKILL);
                waitpid(pid_, nullptr, 0);
            }
        }
        for (int fd : {stdin_, stdout_, terminal_})
            if (fd >= 0) close(fd);
    }

    int port() const { return port_; }
    // Ends the router's standard input, or its standard output (a reader that
    // went away: its writes then fail).
    void closeInput() { close(std::exchange(stdin_, -1)); }
    void closeOutput() { close(std::exchange(stdout_, -1)); }
    void command(const std::string& line) { (void)!write(stdin_, (line + "\n").data(), line.size() + 1); }
    void signal(int number) { kill(pid_, number); }

    // The first output line (from now) holding `text`; "" when none came in time.
    std::string waitForLine(const std::string& text) {
        const auto deadline = Clock::now() + kWait;
        while (true) {
            for (size_t end; (end = output_.find('\n')) != std::string::npos;) {
                const std::string line = output_.substr(0, end);
                output_.erase(0, end + 1);
                if (line.find(text) != std::string::npos) return line;
            }
            const std::string more = readSome(stdout_, deadline);
            if (more.empty()) return "";
            output_ += more;
        }
    }

    // The exit status, or -1 when it did not end in time.
    int waitExit() {
        for (const auto deadline = Clock::now() + kWait; Clock::now() < deadline; usleep(10000)) {
            int status = 0;
            if (waitpid(pid_, &status, WNOHANG) == pid_) {
                exited_ = true;
                return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            }
        }
        return -1;
    }

private:
    // A new pseudo-terminal: its slave's name, the master kept in terminal_.
    const char* openTerminal() {
        terminal_ = posix_openpt(O_RDWR | O_NOCTTY);
        if (terminal_ < 0 || grantpt(terminal_) != 0 || unlockpt(terminal_) != 0) return nullptr;
        return ptsname(terminal_);
    }

    pid_t pid_ = -1;
    int terminal_ = -1;
    int stdin_ = -1;
    int stdout_ = -1;
    int port_ = 0;
    bool exited_ = false;
    std::string output_;
};

}  // namespace router_test

#endif  // VESK_ROUTER_TESTS_ROUTER_PROCESS_H

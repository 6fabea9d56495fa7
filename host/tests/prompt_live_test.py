#!/usr/bin/env python3
"""vesk-host follows a live router while it awaits the next statement, on
either build. At the prompt: a take made on vesk-router while a line is typed
but not yet entered reaches the panel before Enter is pressed, a pause longer
than the router's silence limit (15 s) drops nothing, because the prompt kept
serving, and a wrong line typed is reported but not counted. Through a pipe
kept open: each statement runs as it comes, and a take reaches the panel, and
the web view answers, while the next line is awaited.

    prompt_live_test.py HOST MODULE ROUTER [LAUNCHER...]

HOST runs in a pseudo-terminal, through LAUNCHER when given ("wine" for the
Windows build, whose console draws text with cursor movements: they are
read back as the characters they stand for). ROUTER is vesk-router, on a
free loopback port. Every wait is bounded; exit status 0 when all holds.
"""
import os
import pty
import re
import select
import signal
import subprocess
import sys
import termios
import time
import urllib.request

HOST, MODULE, ROUTER = sys.argv[1:4]
LAUNCHER = sys.argv[4:]
failures = []
# The longest a start may take: Wine on a machine that runs 32-bit programs
# through an emulator takes minutes to bring up its console.
START = 300


def check(ok, what):
    if not ok:
        failures.append(what)
        print("FAIL " + what)


def readable(raw):
    """The screen's text: cursor-forward as blanks, other escapes dropped."""
    text = re.sub(rb"\x1b\[(\d*)C", lambda m: b" " * int(m.group(1) or b"1"), raw)
    text = re.sub(rb"\x1b\[[0-9;?]*[A-Za-z]", b"", text)
    return text.replace(b"\r", b"").decode(errors="replace")


class Terminal:
    def __init__(self, args):
        self.pid, self.fd = pty.fork()
        if self.pid == 0:
            os.execvp(args[0], args)
        self.raw = b""

    def text(self):
        return readable(self.raw)

    def expect(self, text, timeout, after=0):
        deadline = time.time() + timeout
        while text not in self.text()[after:] and time.time() < deadline:
            ready, _, _ = select.select([self.fd], [], [], 0.1)
            if ready:
                try:
                    self.raw += os.read(self.fd, 65536)
                except OSError:
                    break
        return text in self.text()[after:]

    def drain(self, seconds):
        self.expect("\x00never\x00", seconds)

    def type(self, keys):
        # Enter is a carriage return, as a terminal sends it; the line
        # discipline must not turn it into a line feed (Wine's console reads
        # a line feed as Ctrl-J, not Enter).
        attributes = termios.tcgetattr(self.fd)
        attributes[0] &= ~termios.ICRNL
        termios.tcsetattr(self.fd, termios.TCSANOW, attributes)
        os.write(self.fd, keys.encode())

    def line(self, text, timeout=30):
        """Types a statement and waits for the prompt after it ran: the one
        after the line's echo has ended (a prompt drawn again while the line
        was still being typed, below a router's note, does not count)."""
        mark = len(self.text())
        self.type(text + "\r")
        if not self.expect(text + "\n", timeout, mark):
            return False
        entered = self.text().index(text + "\n", mark) + len(text) + 1
        return self.expect("vesk>", timeout, entered)

    def end(self):
        """The exit status once it ended by itself; None when it was killed."""
        deadline = time.time() + 60
        status = None
        while time.time() < deadline and status is None:
            self.drain(0.2)
            pid, waited = os.waitpid(self.pid, os.WNOHANG)
            if pid:
                status = waited
        if status is None:
            os.kill(self.pid, signal.SIGKILL)
            os.waitpid(self.pid, 0)
        os.close(self.fd)
        self.fd = None
        return status


def start_router():
    router = subprocess.Popen([ROUTER, "--listen", "127.0.0.1:0"], stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                              stderr=subprocess.DEVNULL)
    ready, _, _ = select.select([router.stdout], [], [], 20)
    first = router.stdout.readline() if ready else b""
    if not first.startswith(b"listening on "):
        router.kill()
        raise SystemExit("vesk-router gave no port: %r" % first)
    return router, int(first.rsplit(b":", 1)[1])


def read_until(p, text, timeout):
    """Standard output and error of `p` until `text` showed in one of them."""
    seen = {p.stdout: b"", p.stderr: b""}
    deadline = time.time() + timeout
    open_streams = [p.stdout, p.stderr]
    while open_streams and all(text.encode() not in b for b in seen.values()) and time.time() < deadline:
        ready, _, _ = select.select(open_streams, [], [], 0.1)
        for stream in ready:
            chunk = os.read(stream.fileno(), 65536)
            if not chunk:
                open_streams.remove(stream)
            seen[stream] += chunk
    return (seen[p.stdout] + seen[p.stderr]).decode(errors="replace")


def piped(router, port):
    p = subprocess.Popen(LAUNCHER + [HOST, "--module", MODULE, "--web", "127.0.0.1:0"], stdin=subprocess.PIPE,
                         stdout=subprocess.PIPE, stderr=subprocess.PIPE)
    try:
        statements = ["site temp", "config 5 size 16", "device 5 videohub 127.0.0.1:%d" % port, "create",
                      "send driverid=5", "send destid=12"]
        p.stdin.write(("\n".join(statements) + "\n").encode())
        p.stdin.flush()
        seen = read_until(p, "text=Input", START)
        check("text=Input" in seen, "piped statements not run while the pipe stays open:\n" + seen)
        web = re.search(r"web view at (http://[0-9.:]+/)", seen)
        try:
            answered = web is not None and urllib.request.urlopen(web.group(1), timeout=10).status == 200
        except OSError:
            answered = False
        check(answered, "the web view did not answer while the next piped line was awaited:\n" + seen)
        router.stdin.write(b"route 11 2\n")
        router.stdin.flush()
        seen = read_until(p, "text=Input 3", 30)
        check("text=Input 3" in seen, "a take while the next piped line is awaited never shown:\n" + seen)
        p.stdin.close()
        seen = read_until(p, "1 passed, 0 failed", 60)
        check("1 passed, 0 failed" in seen and p.wait(timeout=30) == 0, "the piped script at its end:\n" + seen)
    finally:
        if p.poll() is None:
            p.kill()
            p.wait()
        p.stdout.close()
        p.stderr.close()


def main():
    router, port = start_router()
    t = Terminal(LAUNCHER + [HOST, "--module", MODULE])
    try:
        check(t.expect("vesk>", START), "no prompt:\n" + t.text())
        for statement in ["site temp", "config 5 size 16", "device 5 videohub 127.0.0.1:%d" % port, "create",
                          "send driverid=5", "send destid=12"]:
            check(t.line(statement), "no prompt after %r:\n%s" % (statement, t.text()))
        check(t.expect("text=Input 12", 30), "the pair's first source never shown:\n" + t.text())
        # A line typed, not entered; a take on the router meanwhile.
        mark = len(t.text())
        t.type("say typed")
        t.drain(1)
        router.stdin.write(b"route 11 6\n")
        router.stdin.flush()
        check(t.expect("text=Input 7", 30, mark), "a take while a line is typed never shown:\n" + t.text()[mark:])
        # Longer than the router's silence limit, the line still not entered.
        t.drain(17)
        mark = len(t.text())
        t.type("\r")
        check(t.expect("## typed", 30, mark), "the typed line lost:\n" + t.text()[mark:])
        check(t.line("send destid=13"), "no prompt after destid 13:\n" + t.text()[mark:])
        check(t.expect("text=Input 13", 10, mark), "destid 13 not answered at once:\n" + t.text()[mark:])
        check("lost the connection" not in t.text(), "a pause at the prompt dropped the router:\n" + t.text())
        # Wine's console redraws its screen in its own order: a prompt may show
        # before the output above it has, so the answer is awaited for itself.
        t.drain(1)
        mark = len(t.text())
        t.line("bogus")
        check(t.expect("unknown statement", 30, mark), "a wrong line typed:\n" + t.text()[mark:])
        t.type("\x03")  # Ctrl-C at the idle prompt ends the session as the signal would
        status = t.end()
        interrupted = status is not None and (
            (os.WIFSIGNALED(status) and os.WTERMSIG(status) == signal.SIGINT) or
            (os.WIFEXITED(status) and os.WEXITSTATUS(status) == 128 + signal.SIGINT))
        check(interrupted, "Ctrl-C at the prompt: status %s, want SIGINT or 130" % status)
        check("-- stdin: passed" in t.text(), "a wrong line typed counted against the session:\n" + t.text()[mark:])
        piped(router, port)
    finally:
        if t.fd is not None:
            t.end()
        router.stdin.write(b"quit\n")
        router.stdin.flush()
        try:
            router.wait(timeout=10)
        except subprocess.TimeoutExpired:
            router.kill()
    print("%d passed, %d failed" % (0 if failures else 1, 1 if failures else 0))
    return 1 if failures else 0


# What qemu-i386 prints when the program it runs dies of a signal that Wine
# never saw: the emulator's fault, not the program's (Wine reports a crash of
# the program itself as an unhandled exception).
EMULATOR_CRASH = "qemu: uncaught target signal"
TRIES = 2


def main_with_retry():
    """Where 32-bit programs run under qemu-i386, a try the emulator crashed is
    made again, once; its output is shown either way."""
    for attempt in range(1, TRIES + 1):
        run = subprocess.run([sys.executable, __file__] + sys.argv[1:], env=dict(os.environ, PROMPT_TEST_TRY="1"),
                             stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
        output = run.stdout.decode(errors="replace")
        sys.stdout.write(output)
        sys.stdout.flush()
        if run.returncode == 0 or EMULATOR_CRASH not in output:
            return run.returncode
        if attempt < TRIES:
            print("== the emulator crashed under the Windows program (try %d of %d): once more" % (attempt, TRIES))
    print("FAIL the emulator crashed under the Windows program in each of %d tries" % TRIES)
    return 1


if __name__ == "__main__":
    sys.exit(main() if os.environ.get("PROMPT_TEST_TRY") or not LAUNCHER else main_with_retry())

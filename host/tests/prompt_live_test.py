#!/usr/bin/env python3
"""vesk-host's prompt follows a live router while a person types, on either
build: a take made on vesk-router while a line is typed but not yet entered
reaches the panel before Enter is pressed, and a pause longer than the
router's silence limit (15 s) drops nothing, because the prompt kept serving.

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

HOST, MODULE, ROUTER = sys.argv[1:4]
LAUNCHER = sys.argv[4:]
failures = []


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
        """Types a statement and waits for the next prompt."""
        mark = len(self.text())
        self.type(text + "\r")
        return self.expect("vesk>", timeout, mark + len(text))

    def end(self):
        """The exit status once it ended by itself; None when it was killed."""
        deadline = time.time() + 30
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


def main():
    router, port = start_router()
    t = Terminal(LAUNCHER + [HOST, "--module", MODULE])
    try:
        check(t.expect("vesk>", 120), "no prompt:\n" + t.text())
        for statement in ["site temp", "config 5 size 16", "device 5 videohub 127.0.0.1:%d" % port, "create",
                          "send driverid=5", "send destid=12"]:
            check(t.line(statement), "no prompt after %r:\n%s" % (statement, t.text()))
        check(t.expect("text=Input 12", 10), "the pair's first source never shown:\n" + t.text())
        # A line typed, not entered; a take on the router meanwhile.
        mark = len(t.text())
        t.type("say typed")
        t.drain(1)
        router.stdin.write(b"route 11 6\n")
        router.stdin.flush()
        check(t.expect("text=Input 7", 10, mark), "a take while a line is typed never shown:\n" + t.text()[mark:])
        # Longer than the router's silence limit, the line still not entered.
        t.drain(17)
        mark = len(t.text())
        t.type("\r")
        check(t.expect("## typed", 10, mark), "the typed line lost:\n" + t.text()[mark:])
        check(t.line("send destid=13", 10), "no prompt after destid 13:\n" + t.text()[mark:])
        check(t.expect("text=Input 13", 5, mark), "destid 13 not answered at once:\n" + t.text()[mark:])
        check("lost the connection" not in t.text(), "a pause at the prompt dropped the router:\n" + t.text())
        t.type("\x03")  # Ctrl-C at the idle prompt ends the session as the signal would
        status = t.end()
        interrupted = status is not None and (
            (os.WIFSIGNALED(status) and os.WTERMSIG(status) == signal.SIGINT) or
            (os.WIFEXITED(status) and os.WEXITSTATUS(status) == 128 + signal.SIGINT))
        check(interrupted, "Ctrl-C at the prompt: status %s, want SIGINT or 130" % status)
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


if __name__ == "__main__":
    sys.exit(main())

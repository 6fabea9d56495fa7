#!/usr/bin/env python3
"""vesk-host from the outside: options, scripts it must refuse, scripts on a
pipe, signals, the prompt in a pseudo-terminal, the web view kept after a
script at a terminal, and the JSON Lines of the whole scenario suite.

usage: cli_test.py HOST MODULE SOURCE_DIR ROUTER

Every run has its own HOME and TMPDIR, so history files and temporary sites
are checked and never touch the user's. Exit status 0 when every check holds.
"""
import json
import os
import pty
import select
import signal
import socket
import subprocess
import sys
import tempfile
import time

HOST, MODULE, SOURCE, ROUTER = (os.path.abspath(a) for a in sys.argv[1:5])
failures = []


def check(ok, what):
    if not ok:
        failures.append(what)
        print("FAIL " + what)


def environment(home, tmp):
    env = dict(os.environ, HOME=home, TMPDIR=tmp, TERM="xterm")
    env.pop("QX_ROOT", None)
    env.pop("QX_SYSTEM", None)
    return env


def run(args, cwd, env, stdin=subprocess.DEVNULL, merged=False):
    return subprocess.run([HOST] + args, cwd=cwd, env=env, stdin=stdin, stdout=subprocess.PIPE,
                          stderr=subprocess.STDOUT if merged else subprocess.PIPE, timeout=30)


def options_and_unreadable_scripts(work, env):
    os.mkdir(os.path.join(work, "d.vsc"))
    open(os.path.join(work, "empty.vsc"), "w").close()
    os.mkdir(os.path.join(work, "sub"))
    with open(os.path.join(work, "sub", "bad.vsc"), "w") as f:
        f.write("say fine\nbogus\n")
    with open(os.path.join(work, "say.vsc"), "w") as f:
        f.write("say hi\n")
    m = ["--module", MODULE]
    # args, standard input (None: none), exit status, text in stdout, text in
    # stderr; an empty text means that stream must stay empty.
    cases = [
        (m + ["d.vsc"], None, 1, "ERROR d.vsc: Is a directory", "d.vsc: error: Is a directory"),
        (m + ["missing.vsc"], None, 1, "ERROR missing.vsc: No such file or directory",
         "missing.vsc: error: No such file or directory"),
        (m + ["empty.vsc"], None, 1, "ERROR empty.vsc: no statements", "empty.vsc: error: no statements"),
        (m + ["/dev/zero"], None, 1, "ERROR /dev/zero: not a regular file", "/dev/zero: error: not a regular file"),
        (m + ["-"], "/dev/zero", 1, "ERROR stdin: standard input is neither", "stdin: error: standard input is neither"),
        (m + ["sub/bad.vsc"], None, 1, "ERROR sub/bad.vsc:2: unknown statement", "sub/bad.vsc:2: error: unknown statement"),
        (["--module"], None, 2, "", "option --module needs a value"),
        (["--module", "no/such.so", "say.vsc"], None, 2, "",
         "vesk-host: option --module names no module file: no/such.so (No such file or directory)"),
        (["--module", "sub"], None, 2, "", "option --module names no module file: sub (Is a directory)"),
        (["--router"], None, 2, "", "option --router needs a value"),
        (["--router", "5=127.0.0.1:x"], None, 2, "", "expected --router D=HOST[:PORT]"),
        (["--router", "0=127.0.0.1"], None, 2, "", "expected a device from 1 to 999 in --router, got 0"),
        (["--router", "5=127.0.0.1", "--router", "5=127.0.0.1:9991"], None, 2, "",
         "router device 5 is given twice in --router"),
        (["--frobnicate"], None, 2, "", "unknown option --frobnicate"),
        (["--version"], None, 0, "vesk-host ", ""),
        (m + ["--", "say.vsc"], None, 0, "## hi", ""),
    ]
    for args, stdin, status, out, err in cases:
        what = "vesk-host " + " ".join(args) + (" < " + stdin if stdin else "")
        try:
            with open(stdin or os.devnull, "rb") as source:
                r = run(args, work, env, stdin=source)
        except subprocess.TimeoutExpired:
            check(False, what + ": still running after 30 s")
            continue
        check(r.returncode == status, "%s: exit status %d, want %d" % (what, r.returncode, status))
        for name, want, got in (("stdout", out, r.stdout), ("stderr", err, r.stderr)):
            holds = want.encode() in got if want else got == b""
            check(holds, "%s: %s %s %r:\n%s" % (what, name, "lacks" if want else "should be empty, not",
                                                 want or got, got.decode(errors="replace")))

    long_line = ("say \"" + "x" * 70000 + "\"\n").encode()
    r = subprocess.run([HOST] + m, cwd=work, env=env, input=long_line, stdout=subprocess.PIPE,
                       stderr=subprocess.DEVNULL, timeout=60)
    check(b"ERROR stdin:1: a line of more than 65536 bytes" in r.stdout, "overlong line: %r" % r.stdout[:300])

    # Standard output and standard error are one pipe: each error once.
    r = run(m + ["sub/bad.vsc"], work, env, merged=True)
    check(r.stdout.count(b"unknown statement") == 1, "error shown %d times on one pipe:\n%s"
          % (r.stdout.count(b"unknown statement"), r.stdout.decode(errors="replace")))


def read_until(p, text, timeout):
    """What vesk-host wrote on standard output until `text` showed (or `timeout` s passed)."""
    seen = b""
    deadline = time.time() + timeout
    while text.encode() not in seen and time.time() < deadline:
        ready, _, _ = select.select([p.stdout], [], [], 0.1)
        chunk = os.read(p.stdout.fileno(), 65536) if ready else b""
        if ready and not chunk:
            break
        seen += chunk
    return seen


def piped_scripts(work, env):
    # The lines that come together are checked together: refused whole.
    r = subprocess.run([HOST, "--module", MODULE], cwd=work, env=env, input=b"say fine\nbogus\n",
                       stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, timeout=30)
    check(r.returncode == 1 and b"ERROR stdin:2: unknown statement" in r.stdout and b"## fine" not in r.stdout,
          "a pipe with a wrong line not refused whole: %d %r" % (r.returncode, r.stdout))
    # A line is run as it comes, the pipe still open; a later wrong line
    # stops the script there.
    p = subprocess.Popen([HOST, "--module", MODULE], cwd=work, env=env, stdin=subprocess.PIPE,
                         stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
    try:
        p.stdin.write(b"say first\n")
        p.stdin.flush()
        seen = read_until(p, "## first", 10)
        check(b"## first" in seen, "a piped line not run before the pipe ends: %r" % seen)
        p.stdin.write(b"bogus\n")
        p.stdin.flush()
        seen += read_until(p, "0 passed, 1 failed", 10)
        try:
            status = p.wait(timeout=10)
        except subprocess.TimeoutExpired:
            status = None
        check(status == 1 and b"ERROR stdin:2: unknown statement" in seen,
              "a later wrong piped line: status %s, %r" % (status, seen))
    finally:
        if p.poll() is None:
            p.kill()
            p.wait()
        p.stdin.close()
        p.stdout.close()


def piped_flood(work, env):
    # A pipe that never pauses: its statements run as they come, memory stays
    # bounded (a whole-read script of 300 000 lines took 64 MB).
    p = subprocess.Popen([HOST, "--module", MODULE], cwd=work, env=env, stdin=subprocess.PIPE,
                         stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    try:
        p.stdin.write(b"say x\n" * 300000)
        p.stdin.close()
    except OSError:
        pass
    _, status, usage = os.wait4(p.pid, 0)
    p.returncode = 0
    # A sanitizer keeps freed memory in quarantine: the peak then says nothing.
    bounded = usage.ru_maxrss < 32 * 1024 or os.environ.get("VESK_SANITIZED")
    check(os.WIFEXITED(status) and os.WEXITSTATUS(status) == 0 and bounded,
          "a flood through a pipe: status %s, peak %d KB" % (status, usage.ru_maxrss))


def end_by_sigterm(p, what, tmp):
    # Sends SIGTERM; vesk-host must end by it within 20 s, its site removed.
    p.send_signal(signal.SIGTERM)
    try:
        status = p.wait(timeout=20)
    finally:
        p.stdout.close()
    check(status == -signal.SIGTERM, "%s: status %s, want the signal" % (what, status))
    check(os.listdir(tmp) == [], "%s left %s" % (what, os.listdir(tmp)))


def termination_during_a_script(work, env, tmp):
    # The transcript goes to a pipe nobody reads, so vesk-host stops in a
    # write in the middle of the script, with its temporary site made.
    script = os.path.join(work, "long.vsc")
    with open(script, "w") as f:
        f.write("site temp\ndevice 5 size 8\n" + "say \"%s\"\n" % ("y" * 200) * 5000)
    p = subprocess.Popen([HOST, "--module", MODULE, script], cwd=work, env=env, stdout=subprocess.PIPE,
                         stderr=subprocess.DEVNULL)
    deadline = time.time() + 20
    while not os.listdir(tmp) and time.time() < deadline:
        time.sleep(0.05)
    time.sleep(0.2)
    end_by_sigterm(p, "SIGTERM during a script", tmp)


def termination_during_a_live_wait(work, env, tmp):
    # A live router that refuses every connect keeps the script on the wall
    # clock; a termination request must end a long wait soon.
    with socket.socket(socket.AF_INET, socket.SOCK_STREAM) as s:
        s.bind(("127.0.0.1", 0))
        port = s.getsockname()[1]
    script = os.path.join(work, "live_wait.vsc")
    with open(script, "w") as f:
        f.write("site temp\ndevice 5 videohub 127.0.0.1:%d\nsay waiting\nwait 60000\n" % port)
    p = subprocess.Popen([HOST, "--module", MODULE, script], cwd=work, env=env, stdout=subprocess.PIPE,
                         stderr=subprocess.DEVNULL)
    seen = b""
    deadline = time.time() + 20
    while b"## waiting" not in seen and time.time() < deadline:
        line = p.stdout.readline()
        if not line:
            break
        seen += line
    # The wait would last a minute: ending within the bound is the test.
    end_by_sigterm(p, "SIGTERM during a live wait", tmp)


class Terminal:
    """vesk-host at its prompt in a pseudo-terminal."""

    def __init__(self, env, cwd, args=()):
        self.pid, self.fd = pty.fork()
        if self.pid == 0:
            os.chdir(cwd)
            os.execve(HOST, [HOST, "--module", MODULE] + list(args), env)
        self.seen = b""

    def expect(self, text, timeout=20, start=0):
        """Whether `text` shows, after the first `start` bytes seen, within `timeout` s."""
        deadline = time.time() + timeout
        while text.encode() not in self.seen[start:] and time.time() < deadline:
            ready, _, _ = select.select([self.fd], [], [], 0.1)
            if ready:
                try:
                    self.seen += os.read(self.fd, 65536)
                except OSError:
                    break
        return text.encode() in self.seen[start:]

    def type(self, keys):
        os.write(self.fd, keys.encode())

    def end(self, timeout=20):
        """The exit status once it ended by itself, None when it had to be killed."""
        if self.fd is None:
            return self.status
        deadline = time.time() + timeout
        self.status = None
        while time.time() < deadline:
            self.expect("\x00", 0.1)  # drain
            pid, status = os.waitpid(self.pid, os.WNOHANG)
            if pid:
                self.status = status
                break
        if self.status is None:
            os.kill(self.pid, signal.SIGKILL)
            os.waitpid(self.pid, 0)
        os.close(self.fd)
        self.fd = None
        return self.status


def prompt(work, env, home, tmp):
    t = Terminal(env, work)
    check(t.expect("vesk> "), "no prompt:\n%r" % t.seen)
    t.type("ay edited\x01s\r")  # Ctrl-A: to the start of the line
    check(t.expect("## edited"), "line editing:\n%r" % t.seen)
    t.type("create\rexpect panel 1 open\r")
    check(t.expect("   ok"), "no ok after an expectation that holds:\n%r" % t.seen)
    t.type("bogus\r")  # reported, not counted
    check(t.expect("ERROR stdin:4: unknown statement"), "a wrong line not reported:\n%r" % t.seen)
    t.type("exit\r")
    status = t.end()
    check(status is not None and os.WIFEXITED(status) and os.WEXITSTATUS(status) == 0, "exit: status %s" % status)
    check(b"-- stdin: passed" in t.seen, "a wrong line typed counted against the session:\n%r" % t.seen)
    history = os.path.join(home, ".vesk-host_history")
    check(os.path.exists(history) and b"edited" in open(history, "rb").read(), "no history in " + history)

    t = Terminal(env, work)
    check(t.expect("vesk> "), "no prompt:\n%r" % t.seen)
    t.type("\x1b[A" * 5 + "\r")  # up five times: "say edited" of the last run
    check(t.expect("## edited"), "history of the last run not offered:\n%r" % t.seen)
    # Tab completes a statement name, and a component's name after "use".
    t.type("create cam1\rcreate desk\rus\tca\t\rdelete\r")
    check(t.expect("[cam1] <- delete"), "no component name completed after use:\n%r" % t.seen)
    t.type("site temp\r")
    deadline = time.time() + 20
    while not os.listdir(tmp) and time.time() < deadline:
        time.sleep(0.05)
    t.expect("vesk> ", 1)
    mark = len(t.seen)
    t.type("say half")
    t.expect("say half", 5, mark)
    t.type("\x03")  # Ctrl-C over a half-typed line drops it
    check(t.expect("^C\r\nvesk> ", 5, mark), "Ctrl-C did not drop the half-typed line:\n%r" % t.seen[mark:])
    t.type("say whole\r")
    check(t.expect("## whole", 5, mark) and b"## half" not in t.seen,
          "the line after Ctrl-C:\n%r" % t.seen[mark:])
    t.expect("vesk> ", 1, t.seen.find(b"## whole"))
    t.type("\x03")  # Ctrl-C on an empty line ends the session
    status = t.end()
    check(status is not None and os.WIFSIGNALED(status) and os.WTERMSIG(status) == signal.SIGINT,
          "Ctrl-C at the prompt: status %s, want SIGINT" % status)
    check(os.listdir(tmp) == [], "Ctrl-C at the prompt left %s" % os.listdir(tmp))


def web_view_after_a_script(work, env):
    # A script on the virtual clock ends at once: at a terminal the page
    # keeps its final state until Ctrl-C; without one vesk-host ends as the
    # script does.
    script = os.path.join(work, "say.vsc")
    r = run(["--module", MODULE, "--web", "0", script], work, env)
    check(r.returncode == 0 and b"until Ctrl-C" not in r.stderr,
          "--web without a terminal: status %d, stderr %r" % (r.returncode, r.stderr))
    t = Terminal(env, work, ["--web", "0", script])
    try:
        check(t.expect("until Ctrl-C"), "--web at a terminal: no word of serving on:\n%r" % t.seen)
        port = int(t.seen.split(b"web view at http://127.0.0.1:", 1)[1].split(b"/", 1)[0])
        with socket.create_connection(("127.0.0.1", port), timeout=10) as s:
            s.sendall(b"GET / HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n")
            answer = s.recv(20)
        check(answer.startswith(b"HTTP/1.1 200"), "the page after the script: %r" % answer)
        t.type("\x03")
        status = t.end()
        check(status is not None and os.WIFSIGNALED(status) and os.WTERMSIG(status) == signal.SIGINT,
              "Ctrl-C while serving the final state: status %s, want SIGINT" % status)
    except (IndexError, ValueError, OSError) as e:
        check(False, "--web at a terminal: %s:\n%r" % (e, t.seen))
    finally:
        t.end(0)


class RouterProcess:
    """vesk-router on a free loopback port, driven through its standard input."""

    def __init__(self):
        self.process = subprocess.Popen([ROUTER, "--listen", "127.0.0.1:0"], stdin=subprocess.PIPE,
                                        stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
        ready, _, _ = select.select([self.process.stdout], [], [], 20)
        first = self.process.stdout.readline() if ready else b""
        self.port = int(first.rsplit(b":", 1)[1]) if first.startswith(b"listening on ") else None

    def command(self, text):
        self.process.stdin.write((text + "\n").encode())
        self.process.stdin.flush()

    def stop(self):
        try:
            self.command("quit")
            self.process.wait(timeout=10)
        except (OSError, subprocess.TimeoutExpired):
            self.process.kill()
            self.process.wait()
        self.process.stdin.close()
        self.process.stdout.close()


def prompt_follows_a_live_router(work, env, tmp):
    router = RouterProcess()
    check(router.port is not None, "vesk-router gave no port")
    if router.port is None:
        router.stop()
        return
    t = Terminal(env, work)
    try:
        check(t.expect("vesk> "), "no prompt:\n%r" % t.seen)
        t.type("site temp\rconfig 5 size 16\rdevice 5 videohub 127.0.0.1:%d\rcreate\r" % router.port)
        t.type("send driverid=5\rsend destid=12\r")
        check(t.expect("text=Input 12"), "the pair's first source never shown:\n%r" % t.seen)
        t.expect("\nvesk> ", 2, t.seen.find(b"text=Input 12"))
        shown = len(t.seen)
        # A take on the router, and nothing typed at the prompt.
        router.command("route 11 6")
        check(t.expect("text=Input 7", 10, shown), "a take at the idle prompt never shown:\n%r" % t.seen)
        t.expect("\nvesk> ", 2, t.seen.find(b"text=Input 7"))
        after = t.seen[shown:]
        check(after.startswith(b"\r\x1b[K") and after.endswith(b"ET 1\r\nvesk> "),
              "the take not printed above a redrawn prompt:\n%r" % after)
        t.type("\x03")  # Ctrl-C while idle
        status = t.end()
        check(status is not None and os.WIFSIGNALED(status) and os.WTERMSIG(status) == signal.SIGINT,
              "Ctrl-C at the idle live prompt: status %s, want SIGINT" % status)
        check(os.listdir(tmp) == [], "Ctrl-C at the idle live prompt left %s" % os.listdir(tmp))
    finally:
        t.end(0)
        router.stop()


def json_lines(env):
    folder = os.path.join(SOURCE, "tests", "scenarios")
    scripts = sorted(n for n in os.listdir(folder) if n.endswith(".vsc")) + ["../../demo/demo.vsc"]
    r = subprocess.run([HOST, "--json", "--module", MODULE] + scripts, cwd=folder, env=env,
                       stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, timeout=300)
    lines = r.stdout.split(b"\n")
    check(lines[-1] == b"", "output does not end with a line end")
    kinds = set()
    for number, line in enumerate(lines[:-1], 1):
        try:
            record = json.loads(line.decode("utf-8"))  # strict: valid UTF-8 only
        except (UnicodeDecodeError, ValueError) as e:
            check(False, "JSON line %d: %s: %r" % (number, e, line[:200]))
            continue
        check(isinstance(record, dict) and next(iter(record), None) == "kind",
              "JSON line %d: \"kind\" is not first: %r" % (number, line[:200]))
        kinds.add(record.get("kind"))
    check(len(lines) > 1000, "only %d JSON lines" % len(lines))
    for kind in ("file", "statement", "command", "event", "silent", "note", "result", "summary"):
        check(kind in kinds, "no %r record in the whole suite" % kind)


def main():
    with tempfile.TemporaryDirectory() as base:
        work, home, tmp = (os.path.join(base, n) for n in ("work", "home", "tmp"))
        for d in (work, home, tmp):
            os.mkdir(d)
        env = environment(home, tmp)
        options_and_unreadable_scripts(work, env)
        piped_scripts(work, env)
        piped_flood(work, env)
        termination_during_a_script(work, env, tmp)
        termination_during_a_live_wait(work, env, tmp)
        prompt(work, env, home, tmp)
        prompt_follows_a_live_router(work, env, tmp)
        web_view_after_a_script(work, env)
        json_lines(env)
    print("%d failure(s)" % len(failures) if failures else "all checks hold")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())

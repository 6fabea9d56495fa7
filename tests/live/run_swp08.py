#!/usr/bin/env python3
"""Plays the SW-P-08 live scenarios (tests/live/swp08/*.vsc.in) through
vesk-host, each against its own independent test router (swp08_server.py,
24 destinations x 16 sources unless the template says otherwise, on
127.0.0.1, a free port); each must pass its own expectations and show the
size warning exactly once, with the router's final size (the scripts' site
says 16), and the router must have re-sent nothing, refused nothing and read
nothing the document does not allow (its strict reader).

    run_swp08.py HOST MODULE

VESK_HOST_LAUNCHER (e.g. "wine") runs HOST through a launcher.

A template's line "# router options: ..." adds options to the router's command
line. A caption "router: COMMAND" is typed into the router's standard input
when vesk-host shows it ("## router: COMMAND"), so a script drives takes,
renames and restarts on the router in step with its own statements. Every
wait is bounded; the exit status is 0 when every script passed.
"""
import os
import select
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
SERVER = os.path.join(HERE, "swp08_server.py")
SCRIPT_SECONDS = 90
DESTINATIONS = 24
WARNING = ("** warning: router device 5 has %d outputs, but dev_005.ini gives DatabaseSize_1=16: "
           "the component will refuse destinations the router has")


def start_router(options):
    router = subprocess.Popen([sys.executable, SERVER, "--destinations", str(DESTINATIONS), "--lifetime", "120",
                               *options],
                              stdin=subprocess.PIPE, stdout=subprocess.PIPE)
    if not select.select([router.stdout], [], [], 10)[0]:
        raise RuntimeError("the test router did not start")
    words = router.stdout.readline().decode().split()
    if len(words) != 2 or words[0] != "port":
        raise RuntimeError("the test router said %r" % words)
    return router, int(words[1])


def router_stats(router):
    """The router's counters ("stats name=count ..."); {} when it says none."""
    try:
        router.stdin.write(b"stats\n")
        router.stdin.flush()
    except OSError:
        return {}
    if not select.select([router.stdout], [], [], 5)[0]:
        return {}
    words = router.stdout.readline().decode().split()
    return {k: int(v) for k, v in (w.split("=") for w in words[1:])} if words[:1] == ["stats"] else {}


def stop_router(router):
    try:
        router.stdin.write(b"quit\n")
        router.stdin.close()
        router.wait(timeout=5)
    except (OSError, subprocess.TimeoutExpired):
        router.kill()
        router.wait()


def play(host, module, script, router):
    """Runs vesk-host on `script`, typing its router captions into `router`;
    the transcript, or None when it did not end in time."""
    work = os.path.dirname(script)
    with open(os.path.join(work, "stderr"), "wb") as err:
        launcher = os.environ.get("VESK_HOST_LAUNCHER", "").split()
        proc = subprocess.Popen(launcher + [host, "--module", module, os.path.basename(script)], cwd=work,
                                stdout=subprocess.PIPE, stderr=err)
        lines, pending, deadline = [], b"", time.monotonic() + SCRIPT_SECONDS
        while time.monotonic() < deadline:
            if not select.select([proc.stdout], [], [], 0.2)[0]:
                continue
            chunk = os.read(proc.stdout.fileno(), 65536)
            if not chunk:
                proc.wait()
                return "\n".join(lines + [pending.decode("utf-8", "replace")])
            pending += chunk
            while b"\n" in pending:
                line, pending = pending.split(b"\n", 1)
                text = line.decode("utf-8", "replace").rstrip("\r")
                lines.append(text)
                if text.startswith("## router: "):
                    router.stdin.write(text[len("## router: "):].encode() + b"\n")
                    router.stdin.flush()
        proc.kill()
        proc.wait()
        print("\n".join(lines))
        return None


def size_warning_problems(transcript, options):
    """The size warning must come once, naming the router's whole size (its
    last --destinations, else DESTINATIONS): no warning per names message."""
    sizes = [int(options[i + 1]) for i, o in enumerate(options[:-1]) if o == "--destinations"]
    expected = WARNING % (sizes[-1] if sizes else DESTINATIONS)
    warnings = [line for line in transcript.splitlines() if line.startswith("** warning: router device 5 has")]
    if warnings == [expected]:
        return []
    if not warnings:
        return ["no size warning"]
    return ["size warning %d time(s), first %r" % (len(warnings), warnings[0])] if len(warnings) > 1 \
        else ["size warning %r, not %r" % (warnings[0], expected)]


def check(host, module, template):
    name = os.path.basename(template)[:-len(".in")]
    with open(template) as f:
        text = f.read()
    options = []
    for line in text.splitlines():
        if line.startswith("# router options:"):
            options = line.split(":", 1)[1].split()
    router, port = start_router(options)
    try:
        with tempfile.TemporaryDirectory() as work:
            script = os.path.join(work, name)
            with open(script, "w") as f:
                f.write(text.replace("@ROUTER@", "127.0.0.1:%d" % port))
            transcript = play(host, module, script, router)
        stats = router_stats(router)
    finally:
        stop_router(router)
    if transcript is None:
        print("FAIL %s: vesk-host did not end within %d s" % (name, SCRIPT_SECONDS))
        return False
    problems = []
    if "-- %s: passed" % name not in transcript:
        problems.append("its expectations failed")
    problems += size_warning_problems(transcript, options)
    # Every frame acknowledged at once, every request well formed.
    faults = {k: stats.get(k) for k in ("resends", "given_up", "invalid", "naks_sent", "strict_violations")}
    if any(v != 0 for v in faults.values()):
        problems.append("router counters %s" % faults)
    if problems:
        print(transcript)
        print("FAIL %s: %s" % (name, ", ".join(problems)))
        return False
    print("ok   %s" % name)
    return True


def main():
    if len(sys.argv) != 3:
        print("usage: run_swp08.py HOST MODULE", file=sys.stderr)
        return 2
    host, module = (os.path.abspath(a) for a in sys.argv[1:])
    folder = os.path.join(HERE, "swp08")
    templates = sorted(os.path.join(folder, t) for t in os.listdir(folder) if t.endswith(".vsc.in"))
    results = [check(host, module, t) for t in templates]
    return 0 if results and all(results) else 1


if __name__ == "__main__":
    sys.exit(main())

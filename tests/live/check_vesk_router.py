#!/usr/bin/env python3
"""Runs the strict SW-P-08 router checks (swp08_router_check.py) against
vesk-router: starts it serving SW-P-08 on 127.0.0.1 (a free port) with 256
inputs and outputs and 3 levels, checks it, renames a source from its console
for the NAMES UPDATED check, and stops it.

    check_vesk_router.py VESK_ROUTER

A vesk-router that refuses --levels is a failed check; the other checks then
run on its one level. Every wait is bounded; exit status 0 when all passed.
"""
import argparse
import os
import re
import select
import subprocess
import sys
import threading
import time

from swp08_router_check import run_checks

SIZE, LEVELS = 256, 3
START_SECONDS = 10


def start(program, levels):
    """vesk-router and its SW-P-08 port; (process, None) when it ends first."""
    command = [program, "--swp08", "127.0.0.1:0", "--outputs", str(SIZE), "--inputs", str(SIZE)]
    if levels > 1:
        command += ["--levels", str(levels)]
    proc = subprocess.Popen(command, stdin=subprocess.PIPE, stdout=subprocess.PIPE, stderr=subprocess.PIPE)
    deadline = time.monotonic() + START_SECONDS
    while time.monotonic() < deadline:
        if select.select([proc.stdout], [], [], 0.2)[0]:
            line = proc.stdout.readline().decode("utf-8", "replace")
            if not line:
                break
            found = re.match(r"swp08 listening on 127\.0\.0\.1:(\d+)$", line.strip())
            if found:
                # Drain its log from now on, so that a full pipe never stalls it.
                threading.Thread(target=proc.stdout.read, daemon=True).start()
                return proc, int(found.group(1))
    return proc, None


def stop(proc):
    try:
        proc.stdin.write(b"quit\n")
        proc.stdin.close()
        proc.wait(timeout=5)
    except (OSError, subprocess.TimeoutExpired):
        proc.kill()
        proc.wait()


def rename(proc):
    def do():
        proc.stdin.write(b"label 3 Renamed by the checker\n")
        proc.stdin.flush()
    return do


def main():
    p = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    p.add_argument("vesk_router")
    program = os.path.abspath(p.parse_args().vesk_router)
    levels, ok = LEVELS, True
    proc, port = start(program, levels)
    if port is None:
        stop(proc)
        why = proc.stderr.read().decode("utf-8", "replace").strip().splitlines()[:1]
        print("FAIL vesk-router takes --levels %d: exit status %s, %s" % (levels, proc.returncode, why), flush=True)
        levels, ok = 1, False
        proc, port = start(program, levels)
        if port is None:
            stop(proc)
            print("FAIL vesk-router did not start (exit status %s)" % proc.returncode)
            return 1
    try:
        args = argparse.Namespace(levels=levels, destinations=SIZE, sources=SIZE, matrix=0)
        ok = run_checks("127.0.0.1", port, args, rename(proc)) and ok
    finally:
        stop(proc)
    print("%s: vesk-router against the strict SW-P-08 checks" % ("ok" if ok else "FAILED"))
    return 0 if ok else 1


if __name__ == "__main__":
    sys.exit(main())

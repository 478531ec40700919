#!/usr/bin/env python3
"""Runs the ravlo binary against a scripted host and checks, byte for byte,
what it prints, its exit status and what the host received.

Each scenario is a row; a group of rows runs in a network namespace of its own.
"""
import argparse
import atexit
import os
import re
import resource
import shutil
import signal
import subprocess
import sys
import tempfile
import threading
import time
from types import SimpleNamespace

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "..", "tools"))
import fakehost  # noqa: E402

from scenarios import CMD, GROUPS, NAMES  # noqa: E402


def render(parts, flavour, encoding=None):
    """The expected bytes: str parts are ravlo's own text, in UTF-8 on POSIX;
    on Windows in Shift_JIS, through a text-mode stream (every LF as CR LF)."""
    encoding = encoding or ("cp932" if flavour == "windows" else "utf-8")
    out = b"".join(p.encode(encoding) if isinstance(p, str) else p for p in parts)
    return out.replace(b"\n", b"\r\n") if flavour == "windows" else out


def launch(command, work, env, timeout, shown):
    """Runs command, copying its standard output into shown as it comes (a
    host step may wait for it). Returns the output, standard error, the exit
    status and the CPU seconds (user + system) the process took: its own,
    whatever else the machine runs, so a row may bound it (Scenario.cpu)."""
    before = resource.getrusage(resource.RUSAGE_CHILDREN)
    proc = subprocess.Popen(command, cwd=work, env=env, stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                            stderr=subprocess.PIPE)
    err = bytearray()
    readers = [threading.Thread(target=copy, args=pipe) for pipe in ((proc.stdout, shown), (proc.stderr, err))]
    for reader in readers:
        reader.start()
    try:
        rc = proc.wait(timeout)
    except subprocess.TimeoutExpired:
        proc.kill()
        proc.wait()
        rc = "timeout"
    for reader in readers:
        reader.join()
    # The only child reaped meanwhile is this one: the host is a thread.
    after = resource.getrusage(resource.RUSAGE_CHILDREN)
    cpu = after.ru_utime - before.ru_utime + after.ru_stime - before.ru_stime
    return bytes(shown), bytes(err), rc, cpu


def copy(stream, into):
    for block in iter(lambda: stream.read1(65536), b""):
        into += block


def run_scenario(s, options):
    log = []
    with tempfile.TemporaryDirectory() as work:
        if s.commands is not None:
            with open(os.path.join(work, CMD), "wb") as f:
                f.write(s.commands)
        if s.prepare:
            s.prepare(work)
        host = None if not s.host else fakehost.UnansweredPort(s.host.address, s.host.full) if s.host.full is not None \
            else fakehost.ScriptedHost(s.host.steps, options.wait, log.append, s.host.address)
        command = list(s.runner) + options.launcher.split() + [options.binary] + s.args
        # Arguments may hold undecodable bytes (surrogate escapes): log them readably.
        log.append("$ " + " ".join(command).encode("utf-8", "backslashreplace").decode())
        started = time.monotonic()
        out, err, rc, cpu = launch(command, work, dict(os.environ, **(s.env or {})), s.timeout + options.wait * 3,
                                   host.shown if host else bytearray())
        err = options.server.drop_noise(err, log)
        elapsed = time.monotonic() - started
        if host:
            host.stop()
    problems = []

    def compare(what, want, got):
        if want is not None and bytes(got) != want:
            problems.append("%s: expected '%s', got '%s'" % (what, fakehost.show(want), fakehost.show(got)))

    compare("stdout", render(s.stdout, options.flavour, s.encoding) if s.stdout is not None else None, out)
    compare("stderr", render(s.stderr, options.flavour) if s.stderr is not None else None, err)
    if rc != s.rc:
        problems.append("exit status: expected %s, got %s" % (s.rc, rc))
    if host:
        problems += ["host: " + e for e in host.errors]
        compare("host received", s.received, host.received)
    if s.cpu is not None and options.cpu_bounds and cpu > s.cpu:
        problems.append("took %.3fs of CPU, expected at most %.3fs" % (cpu, s.cpu))
    run = SimpleNamespace(out=out, err=err, elapsed=elapsed, host=host, rc=rc, cpu=cpu)
    problems += filter(None, (check(run) for check in s.checks))
    return problems, log, run


class WineServer:
    """Wine makes its sockets in the prefix's wineserver, in the network
    namespace it was started in: so ours starts here, and is gone when we end."""

    def __init__(self, launcher):
        self.launcher = launcher.split()
        self.active = bool(self.launcher) and os.path.basename(self.launcher[0]).startswith("wine")

    def start(self):
        if self.active:
            self.stop()
            # Started apart from any scenario: a server or service started by a
            # scenario's program would hold its output pipes open for seconds.
            quiet(["wineserver", "-p"])
            quiet(self.launcher + ["wineboot"])

    def stop(self):
        if self.active:
            quiet(["wineserver", "-k"])
            quiet(["wineserver", "-w"])

    # Wine's report of its multimedia timer's thread dying as the process
    # exits: a race inside Wine (one short session in 200), not ravlo's output.
    NOISE = re.compile(rb"wine client error:[^\n]*\n?")

    def crashed(self, rc, out):
        """Wine's exit race also kills a process by SIGSEGV now and then
        (about one short session in 250), or by SIGKILL once its output is
        whole (seen once in CI's Windows stage), and now and then Wine ends at
        once with status 1 before the program prints anything (about one in
        100 under ctest): ravlo itself always prints before it exits, and
        never raises either signal."""
        return self.active and (rc in (-signal.SIGSEGV, -signal.SIGKILL) or (rc == 1 and not out))

    def drop_noise(self, err, log):
        if not self.active:
            return err
        for noise in self.NOISE.findall(err):
            log.append("(dropped from standard error: %s)" % fakehost.show(noise))
        return self.NOISE.sub(b"", err)


def quiet(command):
    subprocess.run(command, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


def add_host_names():
    """Gives /etc/hosts, as this private mount namespace sees it, the names the
    rows look up (scenarios.NAMES); says in RAVLO_HOST_NAMES whether it could."""
    copy = os.path.join(tempfile.mkdtemp(prefix="ravlo-hosts-"), "hosts")
    atexit.register(shutil.rmtree, os.path.dirname(copy), True)
    with open("/etc/hosts") as original, open(copy, "w") as f:
        f.write(original.read() + "".join("\n%s %s\n" % (address, name) for name, address in NAMES.items()))
    bound = subprocess.run(["mount", "--bind", copy, "/etc/hosts"], capture_output=True)
    os.environ["RAVLO_HOST_NAMES"] = "1" if bound.returncode == 0 else ""


def main(argv):
    parser = argparse.ArgumentParser()
    parser.add_argument("--binary", required=True)
    parser.add_argument("--launcher", default="")
    parser.add_argument("--flavour", default="posix", choices=["posix", "windows"])
    parser.add_argument("--group", choices=sorted(GROUPS), action="append")
    parser.add_argument("-k", dest="name", help="run the scenarios whose name holds this")
    parser.add_argument("--wait", type=float, default=10.0, help="longest wait for any one step")
    parser.add_argument("--no-cpu-bounds", dest="cpu_bounds", action="store_false",
                        help="for a binary whose CPU time is not its own (sanitizers)")
    options = parser.parse_args(argv[1:])
    options.binary = os.path.abspath(options.binary)
    fakehost.enter_private_netns([os.path.abspath(__file__)] + argv[1:], also=("-m",))
    add_host_names()
    options.server = WineServer(options.launcher)
    if options.cpu_bounds and options.launcher:
        options.cpu_bounds = False
        print("CPU bounds not checked: the launcher's own CPU (Wine's, valgrind's) would count")
    options.server.start()
    try:
        passed, failed, skipped = run_groups(options)
    finally:
        options.server.stop()
    print("%d passed, %d failed, %d skipped" % (passed, failed, skipped))
    return 1 if failed else fakehost.SKIP if passed == 0 and skipped else 0


def run_groups(options):
    counts = {"ok": 0, "FAIL": 0, "SKIP": 0}
    for group in options.group or sorted(GROUPS):
        for s in GROUPS[group]():
            if options.name and options.name not in s.name:
                continue
            reason = s.skip_reason(options.flavour)
            if reason:
                counts["SKIP"] += 1
                print("SKIP %s.%s: %s" % (group, s.name, reason))
                continue
            problems, log, run = run_scenario(s, options)
            # Wine's exit race struck the same row twice running once in CI: a third try, for that alone.
            for _ in range(2):
                if not (problems and options.server.crashed(run.rc, run.out)):
                    break
                print("RETRY %s.%s: Wine ended it with status %s" % (group, s.name, run.rc))
                problems, log, run = run_scenario(s, options)
            if problems and getattr(run.host, "late", None):
                print("RETRY %s.%s: the host broke its own timing" % (group, s.name))
                problems, log, run = run_scenario(s, options)
            verdict = "FAIL" if problems else "ok"
            counts[verdict] += 1
            print("%-4s %s.%s (%.2fs, CPU %.3fs)" % (verdict, group, s.name, run.elapsed, run.cpu))
            print("".join("    %s\n" % line for line in log + problems) if problems else "", end="")
    return counts["ok"], counts["FAIL"], counts["SKIP"]


if __name__ == "__main__":
    sys.exit(main(sys.argv))

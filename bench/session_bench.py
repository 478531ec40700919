#!/usr/bin/env python3
"""Whole-process benchmark: ravlo, and expect driving Debian's telnet client,
against the same fake hosts, in a private network namespace.

Cases: a 1000-command session against a host that answers at once, a host
that streams 50 MB, a 10 s session against a silent host; peak resident
memory over all of them. Prints medians over --runs runs and ravlo / expect.
Not a test: nothing here passes or fails on speed.

usage: session_bench.py --binary build/ravlo [--runs 3] [--case NAME]... [--quick]
"""
import argparse
import os
import shutil
import socket
import statistics
import subprocess
import sys
import tempfile
import threading
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "tools"))
import fakehost  # noqa: E402

PROMPT = b"host$ "
REPLY = b"ok\r\n" + PROMPT
STREAM_END = b"#"  # the only prompt token in the stream, so both clients stop there
CLIENT_LIMIT = 120  # seconds; a client still running then is killed

# Runs telnet under expect. telnet is reaped before expect exits, so its CPU
# time counts in expect's. (A braced pattern list must span lines.)
EXPECT_COMMON = r"""
proc await {pattern} {
    expect {
        -exact $pattern {}
        timeout {exit 2}
        eof {exit 3}
    }
}
set timeout 30
spawn -noecho telnet 127.0.0.1
"""
EXPECT_SCRIPTS = {
    "commands": EXPECT_COMMON + r"""
set count [lindex $argv 0]
for {set i 1} {$i <= $count} {incr i} {
    await "host$ "
    send "echo line $i\r"
}
await "host$ "
close; wait
""",
    "stream": EXPECT_COMMON + r"""
await "#"
close; wait
""",
    "idle": EXPECT_COMMON + r"""
set timeout [lindex $argv 0]
expect {
    -exact "never sent" {exit 2}
    timeout {}
    eof {exit 3}
}
close; wait
""",
}


def stream_payload(size):
    """Directory listing lines, LF only: no prompt token until the final "#"."""
    lines, total, i = [], 0, 0
    while total < size - len(STREAM_END):
        line = b"-rw-r--r-- 1 operator staff  %d Dec  7 00:19 report-%06d.log\n" % (40960 + i * 37, i)
        lines.append(line)
        total += len(line)
        i += 1
    return (b"".join(lines))[:size - len(STREAM_END)] + STREAM_END


class Host:
    """Plays one case on each accepted connection; records when it started."""

    def __init__(self, listener):
        self.listener = listener

    def serve(self, case, arg):
        self.started = self.done = None
        self.error = None
        self.thread = threading.Thread(target=self._run, args=(case, arg), daemon=True)
        self.thread.start()

    def join(self):
        self.thread.join(CLIENT_LIMIT)
        return self.error

    def _run(self, case, arg):
        try:
            self.listener.settimeout(CLIENT_LIMIT)
            conn, _ = self.listener.accept()
            with conn:
                conn.settimeout(CLIENT_LIMIT)
                getattr(self, "_" + case)(conn, arg)
                self._until_closed(conn)
        except OSError as error:
            self.error = "host: %s" % error

    def _commands(self, conn, count):
        pending, seen = b"", 0
        self.started = time.monotonic()
        conn.sendall(b"Welcome\r\n" + PROMPT)
        while seen < count:
            data = conn.recv(65536)
            if not data:
                raise OSError("client left after %d of %d commands" % (seen, count))
            pending += data
            lines = pending.count(b"\n")
            pending = pending[pending.rfind(b"\n") + 1:] if lines else pending
            for _ in range(lines):
                seen += 1
                if seen == count:
                    self.done = time.monotonic()
                conn.sendall(REPLY)

    def _stream(self, conn, payload):
        self.started = time.monotonic()
        conn.sendall(payload)

    def _idle(self, conn, _):
        self.started = time.monotonic()

    @staticmethod
    def _until_closed(conn):
        while conn.recv(65536):
            pass


class Result:
    def __init__(self, wall, cpu, rss_kib, out_bytes, status, stderr):
        self.wall, self.cpu, self.rss_kib = wall, cpu, rss_kib
        self.out_bytes, self.status, self.stderr = out_bytes, status, stderr


with open("/proc/self/comm") as _comm:
    OWN_NAME = _comm.read().strip()


def sample_peaks(pid, peaks):
    """Records VmHWM (KiB) of pid and its descendants. ru_maxrss would not do:
    it keeps the forking parent's peak across exec. A process is counted only
    once it has left our program for a client's."""
    todo = [pid]
    while todo:
        p = todo.pop()
        try:
            with open("/proc/%d/status" % p) as f:
                fields = dict(line.split(":", 1) for line in f if ":" in line)
            if fields["Name"].strip() != OWN_NAME and "VmHWM" in fields:
                peaks[p] = max(peaks.get(p, 0), int(fields["VmHWM"].split()[0]))
            with open("/proc/%d/task/%d/children" % (p, p)) as f:
                todo += [int(child) for child in f.read().split()]
        except (OSError, KeyError, ValueError):
            pass  # gone meanwhile


def run_client(command, cwd):
    """Runs one client to its end: wall time, user+sys CPU of it and its reaped
    children, the sum of their peak RSS (KiB), how much it printed."""
    out_path, err_path = os.path.join(cwd, "out"), os.path.join(cwd, "err")
    peaks, finished = {}, threading.Event()
    with open(out_path, "wb") as out, open(err_path, "wb") as err:
        started = time.monotonic()
        proc = subprocess.Popen(command, cwd=cwd, stdin=subprocess.DEVNULL, stdout=out, stderr=err)
        killer = threading.Timer(CLIENT_LIMIT, proc.kill)
        killer.start()
        sampler = threading.Thread(target=lambda: [sample_peaks(proc.pid, peaks)
                                                   for _ in iter(lambda: finished.wait(0.01), True)])
        sampler.start()
        _, status, usage = os.wait4(proc.pid, 0)
        ended = time.monotonic()
        finished.set()
        sampler.join()
        killer.cancel()
    proc.returncode = os.waitstatus_to_exitcode(status)
    with open(err_path, "rb") as err:
        stderr = err.read()
    return Result(ended - started, usage.ru_utime + usage.ru_stime, sum(peaks.values()),
                  os.path.getsize(out_path), proc.returncode, stderr), ended


class Bench:
    def __init__(self, options, work):
        self.options, self.work = options, work
        listener = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
        listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
        listener.bind(fakehost.ADDRESS)
        listener.listen(1)
        self.host = Host(listener)
        for name, text in EXPECT_SCRIPTS.items():
            with open(os.path.join(work, name + ".exp"), "w") as f:
                f.write(text)
        with open(os.path.join(work, "commands.txt"), "wb") as f:
            f.write(b"".join(b"echo line %d\n" % i for i in range(1, options.commands + 1)))
        open(os.path.join(work, "empty.txt"), "wb").close()
        self.payload = stream_payload(options.stream_bytes)

    def command(self, tool, case):
        if tool == "expect":
            arg = {"commands": self.options.commands, "idle": self.options.idle_seconds}.get(case, 0)
            return ["expect", "-f", os.path.join(self.work, case + ".exp"), str(arg)]
        limit = {"commands": 10, "stream": 10, "idle": self.options.idle_seconds}[case]
        commands = "commands.txt" if case == "commands" else "empty.txt"
        return [self.options.binary, "127.0.0.1", "2", str(limit), commands, "0"]

    def run(self, tool, case):
        """One run: the measured value, the peak RSS (KiB), or an error text."""
        arg = {"commands": self.options.commands, "stream": self.payload, "idle": None}[case]
        self.host.serve(case, arg)
        result, ended = run_client(self.command(tool, case), self.work)
        error = self.host.join()
        rss = result.rss_kib
        if error or result.status != 0 or not rss:
            return None, None, "%s %s: status %s %s %s" % (tool, case, result.status, error or "",
                                                           result.stderr.decode(errors="replace")[-300:])
        if case == "commands":
            return (self.host.done - self.host.started) * 1000 / self.options.commands, rss, None
        if case == "stream":
            if result.out_bytes < len(self.payload):
                return None, None, "%s stream: printed only %d bytes" % (tool, result.out_bytes)
            return len(self.payload) / (ended - self.host.started) / 1e6, rss, None
        return result.cpu, rss, None


CHUNK_BYTES = 10240  # what one pass receives at most
ROWS = [
    ("commands", "per command, %d commands (ms)"),
    ("stream", "throughput, %d MB stream (MB/s)"),
    ("idle", "CPU of a %d s silent session (s)"),
]


def measure_pass(samples=300):
    """One pass as its 1 ms pause makes it here: the median length (seconds)
    and the mean CPU time of as many 1 ms sleeps, which like ravlo's pause
    use nanosleep. What a wake-up costs varies much between machines."""
    lengths = []
    cpu = time.process_time()
    for _ in range(samples):
        started = time.perf_counter()
        time.sleep(0.001)
        lengths.append(time.perf_counter() - started)
    return statistics.median(lengths), (time.process_time() - cpu) / samples


def targets(pass_s, idle_seconds):
    """ravlo's targets per case: (bound, True when the value must stay below)."""
    return {
        "commands": (1.1 * pass_s * 1000, True),
        "stream": (0.9 * CHUNK_BYTES / pass_s / 1e6, False),
        "idle": (0.02 * idle_seconds, True),
        "rss": (4.0, True),
    }


def print_table(rows, values, peak, sizes, passes, options):
    pass_s = statistics.median(length for length, _ in passes)
    pause_cpu = statistics.median(cpu for _, cpu in passes)
    goal = targets(pass_s, options.idle_seconds)
    print("| case | ravlo | expect + telnet | ravlo / expect | ravlo's target | met |")
    print("|---|---:|---:|---:|---:|---|")

    def row(label, key, r, e):
        bound, below = goal[key]
        met = r <= bound if below else r >= bound
        print("| %s | %.3f | %.3f | %.2f | %s %.3f | %s |" % (
            label, r, e, r / e if e else float("inf"), "<=" if below else ">=", bound,
            "yes" if met else "no"))

    for case, label in rows:
        r, e = (statistics.median(values[(t, case)]) for t in ("ravlo", "expect"))
        row(label % sizes[case], case, r, e)
    r, e = (max(peak[t]) / 1024 for t in ("ravlo", "expect"))
    row("peak resident memory, largest of all runs (MiB)", "rss", r, e)
    print()
    print("medians of %d runs; one pass (its 1 ms pause) measured here: %.3f ms, so at best "
          "%.3f ms per command and %.2f MB/s;" % (options.runs, pass_s * 1000, pass_s * 1000,
                                                CHUNK_BYTES / pass_s / 1e6))
    print("each pause costs %.1f us of CPU here, so the pauses alone of the silent session take "
          "%.3f s" % (pause_cpu * 1e6, pause_cpu * options.idle_seconds / pass_s))


def main(argv):
    parser = argparse.ArgumentParser()
    parser.add_argument("--binary", required=True, help="the ravlo binary")
    parser.add_argument("--runs", type=int, default=3)
    parser.add_argument("--quick", action="store_true", help="small cases, one run: checks the script")
    parser.add_argument("--case", action="append", choices=[case for case, _ in ROWS],
                        help="run only this case (repeatable)")
    options = parser.parse_args(argv[1:])
    options.binary = os.path.abspath(options.binary)
    options.commands, options.stream_bytes, options.idle_seconds = 1000, 50_000_000, 10
    if options.quick:
        options.runs, options.commands, options.stream_bytes, options.idle_seconds = 1, 50, 2_000_000, 1
    for tool in ("expect", "telnet"):
        if shutil.which(tool) is None:
            print("SKIPPED: %s is not installed (Debian packages expect, telnet)" % tool)
            return fakehost.SKIP
    fakehost.enter_private_netns([os.path.abspath(__file__)] + argv[1:])

    rows = [row for row in ROWS if not options.case or row[0] in options.case]
    values = {(tool, case): [] for tool in ("ravlo", "expect") for case, _ in rows}
    peak = {"ravlo": [], "expect": []}
    passes = [measure_pass()]
    with tempfile.TemporaryDirectory() as work:
        bench = Bench(options, work)
        for run in range(options.runs):
            passes.append(measure_pass())
            for case, _ in rows:
                for tool in ("ravlo", "expect"):
                    value, rss, error = bench.run(tool, case)
                    if error:
                        print("FAILED:", error)
                        return 1
                    values[(tool, case)].append(value)
                    peak[tool].append(rss)
                    print("run %d %-8s %-6s %10.4f  peak %5d KiB" % (run + 1, case, tool, value, rss),
                          file=sys.stderr)

    sizes = {"commands": options.commands, "stream": options.stream_bytes // 1_000_000,
             "idle": options.idle_seconds}
    print_table(rows, values, peak, sizes, passes, options)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))

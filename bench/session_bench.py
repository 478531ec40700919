#!/usr/bin/env python3
"""Whole-process benchmark: ravlo, and expect driving Debian's telnet client,
against the same fake hosts, in a private network namespace.

Cases: a 1000-command session against a host that answers at once, a host
that streams 50 MB, a 10 s session against a silent host; peak resident
memory over all of them. Prints medians over --runs runs and ravlo / expect.
The fleet case runs 10, 100 and 1000 sessions at once (one run each) and
prints their CPU, memory and how late they end. The options case runs ravlo
alone, the commands and stream cases with each option set of VARIANTS in
turn, in the same run, so that what an option costs shows beside plain ravlo.
Not a test: nothing here passes or fails on speed.

usage: session_bench.py --binary build/ravlo [--runs 3] [--case NAME]... [--quick]
                        [--fleet-sizes 10,100,1000] [--json results.json]
"""
import argparse
import heapq
import json
import os
import resource
import selectors
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


def stream_payload(size, name=b"report"):
    """Directory listing lines, LF only: no prompt token until the final "#"."""
    lines, total, i = [], 0, 0
    while total < size - len(STREAM_END):
        line = b"-rw-r--r-- 1 operator staff  %d Dec  7 00:19 %s-%06d.log\n" % (40960 + i * 37, name, i)
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

    def _bulk(self, conn, payload):
        """The stream as a command's output: after a prompt and the line typed at it."""
        conn.sendall(PROMPT)
        while not conn.recv(65536).endswith(b"\n"):
            pass
        self._stream(conn, payload)

    def _idle(self, conn, _):
        self.started = time.monotonic()

    def _closed(self, conn, _):
        self.started = time.monotonic()
        conn.shutdown(socket.SHUT_RDWR)

    @staticmethod
    def _until_closed(conn):
        while conn.recv(65536):
            pass


class Result:
    def __init__(self, wall, cpu, rss_kib, out_bytes, status, stderr, marks):
        self.wall, self.cpu, self.rss_kib = wall, cpu, rss_kib
        self.out_bytes, self.status, self.stderr = out_bytes, status, stderr
        self.marks = marks


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


def run_client(command, cwd, marks=()):
    """Runs one client to its end: wall time, user+sys CPU of it and its reaped
    children, the sum of their peak RSS (KiB), how much it printed, and at
    each of the marks (seconds after its start) the time and its CPU (ns)."""
    out_path, err_path = os.path.join(cwd, "out"), os.path.join(cwd, "err")
    peaks, finished, taken = {}, threading.Event(), []

    def sample():
        while not finished.wait(0.01):
            sample_peaks(proc.pid, peaks)
            if len(taken) < len(marks) and time.monotonic() - started >= marks[len(taken)]:
                taken.append((time.monotonic(), sum(cpu_ns(p) for p in proc_tree(proc.pid))))

    with open(out_path, "wb") as out, open(err_path, "wb") as err:
        started = time.monotonic()
        proc = subprocess.Popen(command, cwd=cwd, stdin=subprocess.DEVNULL, stdout=out, stderr=err)
        killer = threading.Timer(CLIENT_LIMIT, proc.kill)
        killer.start()
        sampler = threading.Thread(target=sample)
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
                  os.path.getsize(out_path), proc.returncode, stderr, taken), ended


class Bench:
    def __init__(self, options, work):
        self.options, self.work = options, work
        self.whole_idle = {"ravlo": [], "expect": []}  # CPU of the whole silent session (ms)
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
        with open(os.path.join(work, "one.txt"), "wb") as f:
            f.write(b"cat listing\n")
        with open(os.path.join(work, "fleet.exp"), "w") as f:
            f.write(FLEET_EXPECT)
        with open(os.path.join(work, "fleet-commands.txt"), "wb") as f:
            f.write(b"".join(b"echo line %d\n" % i for i in range(1, 10001)))
        self.payload = stream_payload(options.stream_bytes)

    def command(self, tool, case, flags=()):
        if tool == "expect":
            arg = {"commands": self.options.commands, "idle": self.options.idle_seconds}.get(case, 0)
            return ["expect", "-f", os.path.join(self.work, case + ".exp"), str(arg)]
        limit = {"commands": 10, "stream": 10, "bulk": 10, "idle": self.options.idle_seconds}[case]
        commands = {"commands": "commands.txt", "bulk": "one.txt"}.get(case, "empty.txt")
        return [self.options.binary] + list(flags) + ["127.0.0.1", "2", str(limit), commands, "0"]

    def ended_connection_cpu(self):
        """ravlo's CPU per second (ms) while it waits out its limit after the
        host closed the connection, and after the connection was refused
        (nothing listens on 127.0.0.4): the same marks as the idle case."""
        idle, cpu = self.options.idle_seconds, {}
        for what, address in (("closed", "127.0.0.1"), ("refused", "127.0.0.4")):
            if what == "closed":
                self.host.serve("closed", None)
            command = [self.options.binary, address, "2", str(idle), "empty.txt", "0"]
            result, _ = run_client(command, self.work, (0.2 * idle, 0.8 * idle))
            if what == "closed":
                self.host.join()
            (t1, cpu1), (t2, cpu2) = result.marks
            cpu[what] = (cpu2 - cpu1) / 1e6 / (t2 - t1)
        return cpu

    def run(self, tool, case, flags=(), cpu=None):
        """One run: the measured value, the peak RSS (KiB), or an error text.
        cpu, a list, gets the client's CPU seconds."""
        arg = {"commands": self.options.commands, "stream": self.payload, "bulk": self.payload, "idle": None}[case]
        self.host.serve(case, arg)
        # A silent session's CPU is taken between two marks, so start-up does not count.
        idle = self.options.idle_seconds
        marks = (0.2 * idle, 0.8 * idle) if case == "idle" else ()
        result, ended = run_client(self.command(tool, case, flags), self.work, marks)
        if cpu is not None:
            cpu.append(result.cpu)
        error = self.host.join()
        rss = result.rss_kib
        if error or result.status != 0 or not rss:
            return None, None, "%s %s: status %s %s %s" % (tool, case, result.status, error or "",
                                                           result.stderr.decode(errors="replace")[-300:])
        if case == "commands":
            return (self.host.done - self.host.started) * 1000 / self.options.commands, rss, None
        if case in ("stream", "bulk"):
            if result.out_bytes < len(self.payload):
                return None, None, "%s stream: printed only %d bytes" % (tool, result.out_bytes)
            return len(self.payload) / (ended - self.host.started) / 1e6, rss, None
        if len(result.marks) < 2:
            return None, None, "%s idle: ended before its CPU was taken" % tool
        (t1, cpu1), (t2, cpu2) = result.marks
        self.whole_idle[tool].append(result.cpu * 1000)
        return (cpu2 - cpu1) / 1e6 / (t2 - t1), rss, None


# The fleet: N sessions at once, each against a connection of its own. Every
# --answering-every'th host (on 127.0.0.3) answers each command line after
# ANSWER_DELAY until the measurement is over; the others (127.0.0.2) only greet.
SILENT, ANSWERING = "127.0.0.2", "127.0.0.3"
GREETING = b"Welcome\r\n"
BYE = b"bye\r\n"  # an answering host's last words: no prompt, then silence
ANSWER_DELAY = 0.1
GREETING_SPREAD = 1.0  # seconds over which the greetings go out once all are in
NO_RESPONSE = "応答がありません\n\n".encode()  # ravlo's last words, then the shutdown's line break
FLEET_EXPECT = r"""
lassign $argv address limit answering
set timeout 600
spawn -noecho telnet $address
expect {
    -exact "Welcome" {}
    timeout {exit 2}
    eof {exit 3}
}
set count 0
while {$answering} {
    expect {
        -exact "host$ " {incr count; send "echo line $count\r"}
        -exact "bye" {break}
        timeout {exit 2}
        eof {exit 3}
    }
}
set timeout $limit
expect {
    -exact "never sent" {exit 2}
    timeout {}
    eof {exit 3}
}
close; wait
"""


class FleetHost:
    """Serves a whole fleet from one thread. Greets every connection once all
    N are in (spread over GREETING_SPREAD, as if the sessions had started
    apart), answers lines on ANSWERING until stop() and then says BYE, and
    notes when each connection sent last and when it ended."""

    def __init__(self, n):
        self.n, self.conns, self.all_in = n, [], threading.Event()
        self.stopping = False
        self.selector = selectors.DefaultSelector()
        for address in (SILENT, ANSWERING):
            listener = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
            listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
            listener.bind((address, fakehost.ADDRESS[1]))
            listener.listen(4096)
            listener.setblocking(False)
            self.selector.register(listener, selectors.EVENT_READ, None)
        self.thread = threading.Thread(target=self._run, daemon=True)
        self.thread.start()

    def stop(self):
        self.stopping = True

    def join(self, timeout):
        self.thread.join(timeout)
        for key in list(self.selector.get_map().values()):
            key.fileobj.close()
        return not self.thread.is_alive()

    def _run(self):
        due, seq, ended = [], 0, 0  # due: heap of (time, seq, conn, bytes)
        deadline = time.monotonic() + 3600
        while ended < self.n and time.monotonic() < deadline:
            wait = min(max(due[0][0] - time.monotonic(), 0), 0.1) if due else 0.1
            for key, _ in self.selector.select(wait):
                now = time.monotonic()
                if key.data is None:
                    self._accept(key.fileobj, now, due)
                    continue
                c = key.data
                try:
                    data = c["sock"].recv(65536)
                except OSError:
                    data = b""
                if not data:
                    c["ended"] = now
                    ended += 1
                    self.selector.unregister(c["sock"])
                    c["sock"].close()
                elif c["answering"]:
                    for _ in range(data.count(b"\n")):
                        seq += 1
                        heapq.heappush(due, (now + ANSWER_DELAY, seq, c, None))
            while due and due[0][0] <= time.monotonic():
                _, _, c, data = heapq.heappop(due)
                if data is None:  # an answer: the prompt until stop(), then BYE once
                    if c["bye"]:
                        continue
                    c["bye"] = self.stopping
                    data = BYE if self.stopping else REPLY
                if "ended" not in c:
                    c["sock"].send(data)  # small: the socket's buffer has room
                    c["last_send"] = time.monotonic()

    def _accept(self, listener, now, due):
        while len(self.conns) < self.n:
            try:
                sock, _ = listener.accept()
            except BlockingIOError:
                return
            sock.setblocking(False)
            answering = sock.getsockname()[0] == ANSWERING
            c = {"sock": sock, "answering": answering, "bye": False}
            self.conns.append(c)
            self.selector.register(sock, selectors.EVENT_READ, c)
        if not self.all_in.is_set():
            self.all_in.set()
            for i, c in enumerate(self.conns):
                greeting = GREETING + (PROMPT if c["answering"] else b"")
                heapq.heappush(due, (now + GREETING_SPREAD * i / self.n, -i, c, greeting))


def proc_tree(pid):
    """pid and all its descendants."""
    tree, todo = [], [pid]
    while todo:
        p = todo.pop()
        tree.append(p)
        try:
            with open("/proc/%d/task/%d/children" % (p, p)) as f:
                todo += [int(child) for child in f.read().split()]
        except OSError:
            pass
    return tree


def cpu_ns(pid):
    """CPU time of one process, all its threads, in ns. /proc/PID/stat counts
    in 10 ms ticks, too coarse for a session that uses a millisecond a second."""
    total = 0
    try:
        for tid in os.listdir("/proc/%d/task" % pid):
            with open("/proc/%d/task/%s/schedstat" % (pid, tid)) as f:
                total += int(f.read().split()[0])
    except (OSError, IndexError, ValueError):
        pass  # gone meanwhile
    return total


def memory_kib(pid):
    """Peak resident set (VmHWM) and proportional set size (Pss) in KiB."""
    hwm = pss = 0
    try:
        with open("/proc/%d/status" % pid) as f:
            hwm = next(int(line.split()[1]) for line in f if line.startswith("VmHWM:"))
        with open("/proc/%d/smaps_rollup" % pid) as f:
            pss = next(int(line.split()[1]) for line in f if line.startswith("Pss:"))
    except (OSError, StopIteration, ValueError):
        pass
    return hwm, pss


def mem_available_mib():
    with open("/proc/meminfo") as f:
        return next(int(line.split()[1]) for line in f if line.startswith("MemAvailable:")) // 1024


def run_fleet(bench, tool, n):
    """One fleet of n: a dict of figures, or an error text."""
    o, work = bench.options, bench.work
    host = FleetHost(n)
    procs, roles = [], []
    launched = time.monotonic()
    try:
        for i in range(n):
            answering = o.answering_every > 0 and i % o.answering_every == 0
            address = ANSWERING if answering else SILENT
            if tool == "expect":
                command = ["expect", "-f", os.path.join(work, "fleet.exp"), address, str(o.fleet_limit),
                           str(int(answering))]
            else:
                command = [o.binary, address, "2", str(o.fleet_limit),
                           "fleet-commands.txt" if answering else "empty.txt", "0"]
            with open(os.path.join(work, "fleet-%d.out" % i), "wb") as out:
                procs.append(subprocess.Popen(command, cwd=work, stdin=subprocess.DEVNULL, stdout=out,
                                              stderr=subprocess.STDOUT))
            roles.append(answering)
            if i % 100 == 99 and mem_available_mib() < 1024:
                return "%s fleet of %d: less than 1 GiB of memory left after %d sessions" % (tool, n, i + 1)
        if not host.all_in.wait(600):
            return "%s fleet of %d: only %d connected" % (tool, n, len(host.conns))
        start_s = time.monotonic() - launched
        # Greetings go out, the fleet settles, then the measurement.
        time.sleep(GREETING_SPREAD + 1.0)
        trees = [proc_tree(p.pid) for p in procs]
        first = [sum(cpu_ns(p) for p in tree) for tree in trees]
        started = time.monotonic()
        time.sleep(o.fleet_window)
        second = [sum(cpu_ns(p) for p in tree) for tree in trees]
        seconds = time.monotonic() - started
        memory = [[memory_kib(p) for p in tree] for tree in trees]
        host.stop()
        cpu = [(b - a) / 1e9 / seconds for a, b in zip(first, second)]  # s per s, per session
        for p in procs:
            p.wait(o.fleet_limit + 60)
    finally:
        for p in procs:
            if p.poll() is None:
                p.kill()
                p.wait()
        host.stop()
        if not host.join(30):
            return "%s fleet of %d: the host did not see every session end" % (tool, n)
    bad = [i for i, p in enumerate(procs) if p.returncode != 0]
    if tool == "ravlo":
        for i in range(n):
            with open(os.path.join(work, "fleet-%d.out" % i), "rb") as f:
                if not f.read().endswith(NO_RESPONSE):
                    bad.append(i)
    if bad:
        return "%s fleet of %d: %d sessions ended wrongly, e.g. session %d (status %s)" % (
            tool, n, len(bad), bad[0], procs[bad[0]].returncode)
    if any("last_send" not in c for c in host.conns):
        return "%s fleet of %d: a session ended before it was greeted" % (tool, n)
    late = [c["ended"] - c["last_send"] - o.fleet_limit for c in host.conns]
    silent = [c for r, c in zip(roles, cpu) if not r]
    return {
        "tool": tool, "n": n,
        "cpu_all": 100 * sum(cpu),  # % of one core
        "cpu_silent_ms": 1000 * sum(silent) / max(len(silent), 1),  # ms per s, per silent session
        "cpu_silent_all": 100 * sum(silent),
        "rss_one": max(sum(h for h, _ in tree) for tree in memory) / 1024,  # MiB
        "rss_all": sum(h for tree in memory for h, _ in tree) / 1024,
        "pss_all": sum(p for tree in memory for _, p in tree) / 1024,
        "late_max": 1000 * max(late), "late_min": 1000 * min(late),  # ms after the session's own limit
        "silent": len(silent), "start_s": start_s,
    }


ROWS = [
    ("commands", "per command, %d commands (ms)"),
    ("stream", "throughput, %d MB stream (MB/s)"),
    ("idle", "CPU per second of a %d s silent session, start-up not counted (ms)"),
]


# The option sets the options case compares, plain ravlo first.
VARIANTS = ["", "-e", "-e -c", "-e -c -j records.jsonl"]


def run_variants(bench, options):
    """Each option set of VARIANTS in turn, run after run, on the commands case
    and on the stream as a command's output (after a prompt and a line, as
    -e sees bulk output): medians of ms per command, MB/s and CPU seconds."""
    got = {(flags, case): ([], []) for flags in VARIANTS for case in ("commands", "bulk")}
    for run in range(options.runs):
        for case in ("commands", "bulk"):
            for flags in VARIANTS:
                values, cpu = got[(flags, case)]
                value, _, error = bench.run("ravlo", case, flags.split(), cpu)
                if error:
                    return error
                values.append(value)
                print("run %d %-8s %-8s %10.4f  CPU %.3f s  load %s" % (run + 1, case, flags or "plain", value,
                                                                        cpu[-1], load()), file=sys.stderr)
    print("| options | per command (ms) | CPU, commands (s) | stream (MB/s) | CPU, stream (s) | stream / plain |")
    print("|---|---:|---:|---:|---:|---:|")
    plain = statistics.median(got[("", "bulk")][0])
    for flags in VARIANTS:
        (per, per_cpu), (mbs, mbs_cpu) = got[(flags, "commands")], got[(flags, "bulk")]
        print("| %s | %.3f | %.3f | %.1f | %.3f | %.2f |" % (
            "`%s`" % flags if flags else "plain", statistics.median(per), statistics.median(per_cpu),
            statistics.median(mbs), statistics.median(mbs_cpu), statistics.median(mbs) / plain))
    print("\nmedians of %d runs, the option sets taking turns" % options.runs)
    return None


RECORDS_RSS_BYTES = 100 << 20  # one command's output, the whole of it one record


def run_records(bench, options):
    """ravlo's stream with -j against without, and with -j --charset shift_jis
    of a listing whose file names are kanji, in turns in the same run; then the
    peak RSS of a 100 MiB output, one record, each way."""
    path = os.path.join(bench.work, "records.jsonl")
    modes = (("without -j", []), ("with -j", ["-j", path]), ("shift_jis", ["-j", path, "--charset", "shift_jis"]))
    kanji = "報告書".encode("cp932")
    rates, peaks = {m: [] for m, _ in modes}, {}
    stream = bench.payload
    payloads = {size: (stream_payload(size), stream_payload(size, kanji))
                for size in (options.stream_bytes, options.records_rss_bytes)}
    for run in range(options.runs):
        for mode, extra in modes:
            bench.payload = payloads[options.stream_bytes][mode == "shift_jis"]
            value, _, error = bench.run("ravlo", "stream", extra)
            if error:
                return error
            rates[mode].append(value)
            print("run %d records %-10s %10.4f MB/s  load %s" % (run + 1, mode, value, load()), file=sys.stderr)
    for mode, extra in modes:
        bench.payload = payloads[options.records_rss_bytes][mode == "shift_jis"]
        _, rss, error = bench.run("ravlo", "stream", extra)
        if error:
            return error
        peaks[mode] = rss / 1024
    bench.payload = stream
    if os.path.getsize(path) < options.records_rss_bytes:
        return "records: the records hold less than the output"
    return rates, peaks


def print_records(rates, peaks, options):
    without, with_j, sjis = (statistics.median(rates[m]) for m in ("without -j", "with -j", "shift_jis"))
    print("| ravlo | without -j | with -j | with / without | target | met |")
    print("|---|---:|---:|---:|---:|---|")
    print("| throughput, %d MB stream (MB/s) | %.3f | %.3f | %.2f | >= 0.70 | %s |" % (
        options.stream_bytes // 1_000_000, without, with_j, with_j / without, "yes" if with_j >= 0.7 * without else "no"))
    a, b = peaks["without -j"], peaks["with -j"]
    print("| peak resident memory, %d MiB output in one record (MiB) | %.3f | %.3f | +%.3f | <= +1.000 | %s |" % (
        options.records_rss_bytes >> 20, a, b, b - a, "yes" if b - a <= 1.0 else "no"))
    print()
    print("| ravlo | with -j | with -j --charset shift_jis | charset / -j | target | met |")
    print("|---|---:|---:|---:|---:|---|")
    print("| throughput, %d MB stream (MB/s) | %.3f | %.3f | %.2f | >= 0.70 | %s |" % (
        options.stream_bytes // 1_000_000, with_j, sjis, sjis / with_j, "yes" if sjis >= 0.7 * with_j else "no"))
    c = peaks["shift_jis"]
    print("| peak resident memory, %d MiB output in one record (MiB) | %.3f | %.3f | +%.3f | <= +1.000 | %s |" % (
        options.records_rss_bytes >> 20, b, c, c - b, "yes" if c - b <= 1.0 else "no"))
    print()
    print("medians of %d runs, taken in turns" % options.runs)


def measure_pause(samples=300):
    """The median length (seconds) of a 1 ms sleep here, which like ravlo's
    pause uses nanosleep: the floor under ravlo's time per command."""
    lengths = []
    for _ in range(samples):
        started = time.perf_counter()
        time.sleep(0.001)
        lengths.append(time.perf_counter() - started)
    return statistics.median(lengths)


def targets(expect_stream):
    """ravlo's targets per case: (bound, True when the value must stay below)."""
    return {
        "commands": (1.2, True),
        "stream": (3 * expect_stream, False),
        "idle": (0.2, True),
        "rss": (4.0, True),
    }


def print_table(rows, values, peak, sizes, pauses, whole_idle, ended, options):
    median = {key: statistics.median(v) for key, v in values.items()}
    goal = targets(median.get(("expect", "stream"), 0))
    print("| case | ravlo | expect + telnet | ravlo / expect | ravlo's target | met |")
    print("|---|---:|---:|---:|---:|---|")

    def row(label, key, r, e):
        bound, below = goal[key]
        met = r <= bound if below else r >= bound
        print("| %s | %.3f | %.3f | %s | %s %.3f | %s |" % (
            label, r, e, "%.2f" % (r / e) if e else "-", "<=" if below else ">=", bound,
            "yes" if met else "no"))

    for case, label in rows:
        row(label % sizes[case], case, median[("ravlo", case)], median[("expect", case)])
    r, e = (max(peak[t]) / 1024 for t in ("ravlo", "expect"))
    row("peak resident memory, largest of all runs (MiB)", "rss", r, e)
    print()
    print("medians of %d runs; a 1 ms pause measured here: %.3f ms, the floor under per command"
          % (options.runs, statistics.median(pauses) * 1000))
    if whole_idle["ravlo"]:
        print("the whole silent session, start-up included: ravlo %.1f ms, expect + telnet %.1f ms" % (
            statistics.median(whole_idle["ravlo"]), statistics.median(whole_idle["expect"])))
    if ended:
        print("ravlo waiting out its limit after the host closed the connection: %.4f ms/s; "
              "after the connection was refused: %.4f ms/s" % (ended["closed"], ended["refused"]))


def print_fleet(fleet, options):
    print("| sessions | tool | all started after (s) | CPU of all (% of one core) "
          "| CPU of the silent ones (% of one core) | CPU per silent session (ms/s) "
          "| peak RSS of one session (MiB) | PSS of all (MiB) | latest end after its limit (ms) |")
    print("|---:|---|---:|---:|---:|---:|---:|---:|---:|")
    for f in fleet:
        print("| %d | %s | %.1f | %.1f | %.2f | %.4f | %.2f | %.0f | %.0f |" % (
            f["n"], "ravlo" if f["tool"] == "ravlo" else "expect + telnet", f["start_s"], f["cpu_all"],
            f["cpu_silent_all"], f["cpu_silent_ms"], f["rss_one"], f["pss_all"], f["late_max"]))
    print()
    answering = ("every %dth session answers a command every %.1f s, the others stay silent"
                 % (options.answering_every, ANSWER_DELAY) if options.answering_every else
                 "every session stays silent")
    print("one run each; %s; a %d s limit; CPU over %.0f s once all have started"
          % (answering, options.fleet_limit, options.fleet_window))
    print("targets for ravlo: at most 0.2 ms/s per silent session (so 10% of one core for 1000), "
          "at most 4 MiB per session, every session ends within 100 ms of its limit")


def load():
    with open("/proc/loadavg") as f:
        return " ".join(f.read().split()[:3])


def main(argv):
    parser = argparse.ArgumentParser()
    parser.add_argument("--binary", required=True, help="the ravlo binary")
    parser.add_argument("--runs", type=int, default=3)
    parser.add_argument("--quick", action="store_true", help="small cases, one run: checks the script")
    parser.add_argument("--case", action="append", choices=[case for case, _ in ROWS] + ["fleet", "options", "records"],
                        help="run only this case (repeatable)")
    parser.add_argument("--fleet-sizes", default="10,100,1000", help="sessions at once, comma-separated")
    parser.add_argument("--fleet-limit", type=int, default=15, help="response limit of each session (s)")
    parser.add_argument("--fleet-window", type=float, default=5.0, help="seconds over which CPU is taken")
    parser.add_argument("--answering-every", type=int, default=10,
                        help="every how manyth host answers (0: none)")
    parser.add_argument("--json", help="also write the results here, for bench/fleet_chart.py")
    options = parser.parse_args(argv[1:])
    options.binary = os.path.abspath(options.binary)
    options.commands, options.stream_bytes, options.idle_seconds = 1000, 50_000_000, 10
    options.fleet_sizes = [int(n) for n in options.fleet_sizes.split(",")]
    options.records_rss_bytes = RECORDS_RSS_BYTES
    if options.quick:
        options.runs, options.commands, options.stream_bytes, options.idle_seconds = 1, 50, 2_000_000, 1
        options.records_rss_bytes = 4 << 20
        options.fleet_sizes, options.fleet_limit, options.fleet_window = options.fleet_sizes[:1], 5, 1.0
    for tool in ("expect", "telnet"):
        if shutil.which(tool) is None:
            print("SKIPPED: %s is not installed (Debian packages expect, telnet)" % tool)
            return fakehost.SKIP
    fakehost.enter_private_netns([os.path.abspath(__file__)] + argv[1:])
    # A thousand sessions hold a thousand sockets here, and files while they start.
    _, hard = resource.getrlimit(resource.RLIMIT_NOFILE)
    resource.setrlimit(resource.RLIMIT_NOFILE, (hard, hard))

    rows = [row for row in ROWS if not options.case or row[0] in options.case]
    values = {(tool, case): [] for tool in ("ravlo", "expect") for case, _ in rows}
    peak = {"ravlo": [], "expect": []}
    pauses, fleet = [measure_pause()], []
    loads = [load()]
    with tempfile.TemporaryDirectory() as work:
        bench = Bench(options, work)
        for run in range(options.runs if rows else 0):
            pauses.append(measure_pause())
            for case, _ in rows:
                for tool in ("ravlo", "expect"):
                    value, rss, error = bench.run(tool, case)
                    if error:
                        print("FAILED:", error)
                        return 1
                    values[(tool, case)].append(value)
                    peak[tool].append(rss)
                    print("run %d %-8s %-6s %10.4f  peak %5d KiB  load %s" % (
                        run + 1, case, tool, value, rss, load()), file=sys.stderr)
        ended = bench.ended_connection_cpu() if any(case == "idle" for case, _ in rows) else None
        if not options.case or "options" in options.case:
            error = run_variants(bench, options)
            if error:
                print("FAILED:", error)
                return 1
        records = run_records(bench, options) if not options.case or "records" in options.case else None
        if isinstance(records, str):
            print("FAILED:", records)
            return 1
        if not options.case or "fleet" in options.case:
            for n in options.fleet_sizes:
                for tool in ("ravlo", "expect"):
                    result = run_fleet(bench, tool, n)
                    if isinstance(result, str):
                        print("FAILED:", result)
                        return 1
                    fleet.append(result)
                    print("fleet %5d %-6s %s  load %s" % (n, tool, " ".join(
                        "%s=%.3f" % (k, v) for k, v in result.items() if isinstance(v, float)), load()),
                        file=sys.stderr)
    loads.append(load())

    sizes = {"commands": options.commands, "stream": options.stream_bytes // 1_000_000,
             "idle": options.idle_seconds}
    if rows:
        print_table(rows, values, peak, sizes, pauses, bench.whole_idle, ended, options)
        print()
    if records:
        print_records(*records, options)
        print()
    if fleet:
        print_fleet(fleet, options)
        print()
    print("load average (1, 5, 15 min) at the start: %s; at the end: %s" % tuple(loads))
    if options.json:
        with open(options.json, "w") as f:
            json.dump({"cases": {"%s %s" % key: v for key, v in values.items()}, "fleet": fleet,
                       "answering_every": options.answering_every, "load": loads}, f, indent=1)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))

"""A scripted Telnet host on 127.0.0.1:23 inside a private network namespace.

Shared by the integration tests and the demo. Port 23 is fixed, so everything
here runs only in a network namespace of its own, never on the machine's port.
"""
import fcntl
import os
import select
import socket
import struct
import subprocess
import sys
import threading
import time

SKIP = 77  # what the test runner reports as "skipped"
# A pause or silence that overran by more than this broke the host's own
# timing: ravlo's settle time may have run out in it.
LATE_S = 0.01
ADDRESS = ("127.0.0.1", 23)
_MARK = "RAVLO_PRIVATE_NETNS"


def enter_private_netns(argv, also=()):
    """Re-runs this program in a new network namespace, unless it is in one.
    `also` names further unshare options, e.g. ("-m",) for a private mount namespace."""
    if os.environ.get(_MARK) == "1":
        _bring_loopback_up()
        if [name for _, name in socket.if_nameindex()] != ["lo"]:
            sys.exit("refusing to run: this network namespace has more than loopback")
        return
    env = dict(os.environ, **{_MARK: "1"})
    command = (["unshare", "-n"] if os.geteuid() == 0 else ["unshare", "-rn"]) + list(also)
    try:
        probe = subprocess.run(command + ["true"], capture_output=True)
    except FileNotFoundError:
        print("SKIPPED: unshare is not installed")
        sys.exit(SKIP)
    if probe.returncode != 0:
        print("SKIPPED: cannot create a private network namespace:", probe.stderr.decode().strip())
        sys.exit(SKIP)
    sys.exit(subprocess.call(command + [sys.executable] + argv, env=env))


def _bring_loopback_up():
    SIOCGIFFLAGS, SIOCSIFFLAGS, IFF_UP = 0x8913, 0x8914, 0x1
    with socket.socket(socket.AF_INET, socket.SOCK_DGRAM) as s:
        request = struct.pack("16sH14x", b"lo", 0)
        flags = struct.unpack("16sH14x", fcntl.ioctl(s, SIOCGIFFLAGS, request))[1]
        fcntl.ioctl(s, SIOCSIFFLAGS, struct.pack("16sH14x", b"lo", flags | IFF_UP))


def wait_listening(port, seconds=10):
    """Returns once a server listens on 127.0.0.1:port, seen in /proc without connecting."""
    want = ["0100007F:%04X" % port, "0A"]
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        with open("/proc/net/tcp") as f:
            if any(row.split()[1:4:2] == want for row in f.readlines()[1:]):
                return
        time.sleep(0.05)
    sys.exit("nothing started listening on 127.0.0.1:%d" % port)


def show(data):
    return repr(bytes(data))[2:-1]


class HostError(Exception):
    pass


class UnansweredPort:
    """A listener that never accepts. full: one connection that is never
    accepted already fills its queue (listen(0)), so the kernel drops every
    new SYN, as from a host that is down. Else any connection made is an error."""

    def __init__(self, address=ADDRESS, full=True):
        self.received, self.shown, self.errors, self.full = b"", bytearray(), [], full
        self._listener = socket.create_server(address, backlog=0)
        self._filler = socket.create_connection(address) if full else None

    def stop(self):
        if not self.full and select.select([self._listener], [], [], 0)[0]:
            self.errors.append("a connection was made")
        for s in (self._filler, self._listener):
            if s:
                s.close()


class ScriptedHost:
    """Accepts one connection on address (IPv4 or IPv6) and plays send/expect steps on it.

    Steps: ("send", bytes), ("expect", bytes), ("silence", seconds),
    ("pause", seconds), ("segments", seconds, bytes...) to send each part as a
    segment of its own, that many seconds apart, ("close",), ("reset",),
    ("hold",) to stop reading, ("discard",) to read on to the end without
    keeping anything, ("shown", bytes) to wait until .shown (the client's
    output, which the caller fills as it comes) holds those bytes.
    Everything received is kept in .received (what was discarded only counted
    in .discarded), problems in .errors.
    """

    def __init__(self, steps, wait=10.0, log=print, address=ADDRESS):
        self.steps = steps
        self.wait = wait
        self.log = log
        self.received = bytearray()
        self.shown = bytearray()
        self.discarded = 0
        self.errors = []
        self.late = []  # timed steps that overran (see _on_time)
        self.connected = threading.Event()
        self.finished = threading.Event()
        self._done = threading.Event()
        self._pos = 0
        self._conn = None
        family = socket.AF_INET6 if ":" in address[0] else socket.AF_INET
        self._listener = socket.socket(family, socket.SOCK_STREAM)
        self._listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
        self._listener.bind(address)
        self._listener.listen(1)
        self._thread = threading.Thread(target=self._run, daemon=True)
        self._thread.start()

    def stop(self, timeout=10.0):
        """Ends the host once the client is gone; keeps reading till then."""
        self._done.set()
        try:  # wakes an accept that still waits, so the address is free for the next host
            self._listener.shutdown(socket.SHUT_RDWR)
        except OSError:
            pass
        self._thread.join(timeout)
        self._listener.close()
        if self._thread.is_alive():
            self.errors.append("host thread did not finish")

    def _run(self):
        try:
            self._listener.settimeout(self.wait * 3)
            try:
                self._conn, _ = self._listener.accept()
            except socket.timeout:
                raise HostError("nobody connected")
            self.connected.set()
            for step in self.steps:
                if not getattr(self, "_" + step[0])(*step[1:]):
                    break
            else:
                self._drain()
        except (HostError, OSError) as error:
            self.errors.append(str(error))
        finally:
            self.finished.set()
            if self._conn is not None:
                self._conn.close()

    def _read(self, timeout):
        self._conn.settimeout(timeout)
        try:
            data = self._conn.recv(65536)
        except socket.timeout:
            return None
        except ConnectionResetError:
            data = b""
        if data:
            self.received += data
        return data

    def _send(self, data):
        self.log(">>> " + show(data))
        self._conn.sendall(data)
        return True

    def _expect(self, want):
        deadline = time.monotonic() + self.wait
        while len(self.received) - self._pos < len(want):
            left = deadline - time.monotonic()
            data = self._read(max(left, 0.01)) if left > 0 else None
            if not data:
                break
        got = bytes(self.received[self._pos:self._pos + len(want)])
        if got != want:
            raise HostError("expected '%s', got '%s'" % (show(want), show(self.received[self._pos:])))
        self._pos += len(want)
        self.log("<<< " + show(want))
        return True

    def _silence(self, seconds):
        started = time.monotonic()
        deadline = started + seconds
        while time.monotonic() < deadline:
            if self._read(deadline - time.monotonic()) == b"":
                break
        if len(self.received) > self._pos:
            raise HostError("expected silence, got '%s'" % show(self.received[self._pos:]))
        self.log("<<< (silence %.2fs)" % seconds)
        self._on_time(started, seconds, LATE_S, "silence")
        return True

    def _shown(self, want):
        deadline = time.monotonic() + self.wait
        while want not in self.shown:
            if time.monotonic() > deadline:
                raise HostError("'%s' not shown by now" % show(want))
            time.sleep(0.01)
        self.log("... (shown: %s)" % show(want))
        return True

    def _pause(self, seconds):
        started = time.monotonic()
        time.sleep(seconds)
        self._on_time(started, seconds, LATE_S, "pause")
        return True

    def _on_time(self, started, meant, late, what):
        """Notes a step that took longer than meant by more than late: a host
        preempted on a busy machine, whose timing a row cannot rely on."""
        took = time.monotonic() - started
        if took > meant + late:
            self.late.append(took)
            self.log("... (%s took %.1f ms, meant %.1f ms)" % (what, took * 1e3, meant * 1e3))

    def _segments(self, gap, *parts):
        # No Nagle, so each send is a segment; spinning, not sleeping, keeps
        # the gaps well under a millisecond.
        self._conn.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
        first = time.monotonic()
        for n, part in enumerate(parts):
            until = time.perf_counter() + (gap if n else 0)
            while time.perf_counter() < until:
                pass
            self._conn.sendall(part)
        self.log(">>> " + " | ".join(show(part) for part in parts))
        if gap < 0.001:  # meant to come within ravlo's 1 ms pause, all of them
            self._on_time(first, 0.001, 0, "segments")
        else:
            self._on_time(first, gap * (len(parts) - 1), LATE_S, "segments")
        return True

    def _close(self):
        self.log(">>> (close)")
        self._conn.shutdown(socket.SHUT_WR)
        self._drain()
        return False

    def _reset(self):
        self.log(">>> (reset)")
        self._conn.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, struct.pack("ii", 1, 0))
        return False

    def _hold(self):
        self.log(">>> (stops reading)")
        self._done.wait(self.wait * 30)
        return False

    def _discard(self):
        self.log("<<< (discarding)")
        self._conn.settimeout(0.05)
        while not self._done.is_set():
            try:
                data = self._conn.recv(1 << 20)
            except socket.timeout:
                continue
            except ConnectionResetError:
                break
            if not data:
                break
            self.discarded += len(data)
        return False

    def _drain(self):
        # Keeps what arrives after the script, to check that nothing more was sent.
        while not self._done.is_set():
            data = self._read(0.05)
            if data == b"":
                break
        while self._read(0.05):
            pass

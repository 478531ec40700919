"""The integration scenarios, one row each, in groups. Expected output is a list
of parts: bytes are the host's, as received; str is ravlo's own text."""
import atexit
import fcntl
import json
import os
import random
import re
import shutil
import subprocess
import tempfile
import time

CMD = "commands.txt"
LO = "127.0.0.1"

USAGE = (
    "<" + "-" * 70 + "\n"
    "ravlo ver.2.06\n"
    "指定ファイルのコマンドを実行します。\n"
    "ravlo [host name] [target type] [rsp timer value] [file name] [0x07BEL]\n"
    "\n"
    "[host name]       host name or IP address\n"
    "[target type]     0:linux 1:unix 2:other\n"
    "[rsp timer value] 1..600 (sec)\n"
    "[file name]       command file name\n"
    "[0x07BEL]         0:enable 1:desable\n"
    + "-" * 71 + ">\n")
NO_RESPONSE = "応答がありません\n"
KEYWORD = "\n受信文字列中にエラーキーワードが該当しましたので処理を中止します。"
LOOKUP_FAILED = "ホスト名の取得に失敗しました : "
OPEN_FAILED = "ファイルがopenできません: "
END = "\n"

L1 = bytes.fromhex("fffb1ffffb20fffb18fffb27fffd01fffb03fffc23")
L2 = bytes.fromhex("fffa1f00500018fff0fffa200033383430302c3338343030fff0fffa2700fff0fffa1800585445524dfff0")
L3 = bytes.fromhex("fffc01")
U1 = bytes.fromhex("fffb18fffb1ffffa1f0050001afff0fffc23fffb27fffc24")
U2 = bytes.fromhex("fffc23fffc24fffa1800414e5349fff0fffa2700fff0")
# What a Telnet server typically opens with: DO TTYPE, DO NAWS, WILL ECHO.
OPENING = bytes.fromhex("fffd18fffd1ffffb01")


def banner(host=LO, kind="other", seconds=10, fname=CMD, bel="enable"):
    return "--- host(%s) type(%s) timer(%ds) fname(%s) 0x07BEL(%s)\n" % (host, kind, seconds, fname, bel)


class Host:
    """full: None for a scripted host, else a port that never answers (see fakehost.UnansweredPort)."""
    def __init__(self, *steps, address=(LO, 23), full=None):
        self.steps, self.address, self.full = list(steps), address, full


class Scenario:
    """One row: ravlo's arguments and command file, the scripted host, and what
    must come out. A row that cannot hold here says why in skip_reason."""
    DEFAULTS = dict(rc=0, stderr=(), received=b"", checks=(), cpu=None, timeout=30, prepare=None, env=None,
                    only=None, why="", encoding=None, needs=None, runner=())

    def __init__(self, name, args, commands=b"", host=None, stdout=None, **kw):
        self.__dict__.update(self.DEFAULTS, name=name, args=args, commands=commands, host=host, stdout=stdout, **kw)
        if not host:
            self.received = None

    def skip_reason(self, flavour):
        if self.only and self.only != flavour:
            return self.why or "holds on %s only" % self.only
        return self.needs() if self.needs else None


def session(name, host, stdout, commands=b"", received=b"", kind="2", seconds=10, bel="0", opts=(), **kw):
    """A session against the scripted host with the usual arguments."""
    return Scenario(name, list(opts) + [LO, kind, str(seconds), CMD, bel], commands, host, stdout,
                    received=received, **kw)


def refused(name, args, message, **kw):
    """Unfit arguments: one message (or the usage text) and status 255."""
    return Scenario(name, args, stdout=[message] if isinstance(message, str) else message, rc=255, **kw)


def elapsed_between(low, high):
    def check(run):
        if not low <= run.elapsed <= high:
            return "took %.2fs, expected %.1f to %.1fs" % (run.elapsed, low, high)
    return check


_sjis = {}


def sjis_locale():
    """A Shift_JIS locale made for the tests: its LOCPATH, or None."""
    if "path" not in _sjis:
        path = tempfile.mkdtemp(prefix="ravlo-locale-")
        atexit.register(shutil.rmtree, path, True)
        made = subprocess.run(["localedef", "-i", "ja_JP", "-f", "SHIFT_JIS", "--no-warnings=ascii",
                               os.path.join(path, "ja_JP.SJIS")], capture_output=True)
        _sjis["path"] = path if made.returncode == 0 else None
    return _sjis["path"]


def cli():
    rows = [refused("%d arguments" % len(args), args, USAGE)
            for args in ([], [LO, "2", "10", CMD], [LO, "2", "10", CMD, "0", "x"])]
    rows += [
        refused("unresolvable host", ["nonexistent.invalid", "2", "10", CMD, "0"],
                LOOKUP_FAILED + "nonexistent.invalid\n"),
        refused("missing command file", [LO, "2", "10", "missing.txt", "0"], OPEN_FAILED + "missing.txt\n",
                commands=None),
        refused("directory as command file", [LO, "2", "10", ".", "0"], OPEN_FAILED + ".\n"),
    ]
    # Messages follow the locale's codeset; the argument bytes never change.
    sjis = dict(env={"LOCPATH": sjis_locale() or "", "LC_ALL": "ja_JP.SJIS"}, only="posix",
                needs=lambda: None if sjis_locale() else "localedef cannot make a Shift_JIS locale here",
                why="Windows always prints code page 932")
    rows += [
        refused("messages in a Shift_JIS locale", [LO, "2", "10", os.fsdecode(b"missing\x82\xa0.txt"), "0"],
                [OPEN_FAILED.encode("cp932"), b"missing\x82\xa0.txt\n"], commands=None, **sjis),
    ]
    minus_huge = "-" + "9" * 10000
    for limit, bel, kw in [("0", "0", {}), ("-3", "0", {}), ("x", "0", {}), ("10", "-1", {}), ("10", minus_huge, {}),
                           ("３０", "0", dict(only="posix", why="Windows may map fullwidth digits to ASCII"))]:
        rows.append(refused("limit %.8r BEL %.8r refused" % (limit, bel), [LO, "2", limit, CMD, bel], USAGE, **kw))
    # Accepted arguments: the banner shows how they were read, BEL as set.
    huge = "1" + "0" * 10000
    prompt = Host(("send", b"\x07$ "))
    for kind, seconds, bel, shown, kw in [
            ("2", "700", "0", banner(seconds=600), {}),
            ("2", huge, "0", banner(seconds=600), {}),
            ("2", "10", "5", banner(bel="disable"), {}),
            ("2", "10", "", banner(), {}),
            (" 0", "10", "0", banner(), {}),
            ("linux", "10", "0", banner(), {})]:
        bell = b"[0x07:BEL]" if "disable" in shown else b"\x07"
        rows.append(Scenario("banner for type %r limit %.8r BEL %.8r" % (kind, seconds, bel),
                             [LO, kind, seconds, CMD, bel], b"", prompt, [shown, bell + b"$ ", END], **kw))
    return rows


# Names the runner adds to /etc/hosts in its private mount namespace.
NAMES = {"ravlo-host": "127.0.0.2", "ravlo-ip6-only": "::1"}


def sessions():
    """Reaching the host by each kind of name, and what a session does with a chunk (a whole login
    with its commands is records' first row)."""
    return [
        # Each name stands for one address alone, where the host listens: a
        # name that resolved to nothing or to a wrong address is not reached.
        Scenario("host %s reached" % name, [name, "2", "10", CMD, "0"], b"c1\n",
                 Host(("send", b"$ "), ("expect", b"c1\n"), ("send", b"$ "), address=(address, 23)),
                 [banner(host=name), b"$ $ ", END], received=b"c1\n", needs=None if ":" in name else
                 lambda: None if os.environ.get("RAVLO_HOST_NAMES") else "cannot add names to /etc/hosts here")
        for name, address in list(NAMES.items()) + [("::1", "::1")]
    ] + [
        session("command not found stops even before a prompt",
                Host(("send", b"$ "), ("expect", b"foo\n"),
                     ("send", b"bash: foo: command not found\r\n$ "), ("silence", 0.3)),
                [banner(), b"$ bash: foo: command not found\r\n$ ", KEYWORD, END],
                commands=b"foo\nbar\n", received=b"foo\n"),
        # The host goes on only once the output is on ravlo's standard output (a pipe).
        session("output shown before the next chunk comes",
                Host(("send", b"building...\r\n"), ("shown", b"building..."), ("send", b"$ ")),
                [banner(), b"building...\r\n$ ", END]),
        # Found only if all three segments, sent while ravlo waits, make one chunk.
        session("prompt in segments 0.3 ms apart is one chunk",
                Host(("pause", 0.2), ("segments", 0.0003, b"Pass", b"wo", b"rd: "), ("expect", b"pw\n"),
                     ("send", b"$ ")),
                [banner(), b"Password: ", "********", b"$ ", END], commands=b"pw\n", received=b"pw\n"),
    ]


def sent(name, content, lines, before_reading=(), **kw):
    """The host prompts once per line it expects, then once more: the file is done."""
    steps = [s for line in lines for s in (("send", b"$ "),) + tuple(before_reading) + (("expect", line),)]
    steps += [("send", b"$ "), ("silence", 0.3)]
    return session(name, Host(*steps), [banner(), b"$ " * (len(lines) + 1), END],
                   commands=content, received=b"".join(lines), **kw)


def files():
    """What of the command file goes on the wire, line by line."""
    return [
        sent("CR LF ends a line as LF, a lone CR stays", b"a\r\nb\rc\r\r\n\n", [b"a\n", b"b\rc\r\n", b"\n"]),
        sent("last line without line end", b"a\nb", [b"a\n", b"b"]),
        sent("0x1A ends the file, mid-line too", b"a\nbc\x1ad\n", [b"a\n", b"bc"]),
        sent("CR at the end of the file", b"end\r", [b"end\r"]),
        sent("CR LF where a 64 KiB piece ends", b"p" * 65535 + b"\r\nz", [b"p" * 65535 + b"\n", b"z"]),
        sent("zero byte and IAC sent as they stand", b"a\x00b\xff\n", [b"a\x00b\xff\n"]),
        *(sent("-L %s: a line's final LF only, also after a 64 KiB piece" % name, b"a\rb\n" + b"p" * 65536 + b"\nc",
               [b"a\rb" + end, b"p" * 65536 + end, b"c"], opts=["-L", name])
          for name, end in [("crlf", b"\r\n"), ("cr", b"\r"), ("crnul", b"\r\0")]),
        # More than both ends' socket buffers: sending must wait while they are full.
        sent("16 MiB line to a host that reads late", b"y" * (16 << 20) + b"\n", [b"y" * (16 << 20) + b"\n"],
             before_reading=[("pause", 1.0)]),
    ]


def serial_line(far, busy=False, com1=False):
    """Prepares a row: a serial line at WORK/tty, a pseudo-terminal pair with far (a shell command line)
    on the far side in a terminal of its own, as socat makes one; busy: held by another program; com1:
    at the Wine prefix's COM1 (tools/stages/30-windows.sh points it at WINEPREFIX/com1)."""
    def prepare(work):
        device, script = os.path.join(work, "tty"), os.path.join(work, "far.sh")
        if com1:
            device = os.path.join(os.environ.get("WINEPREFIX", os.path.expanduser("~/.wine")), "com1")
        with open(script, "w") as f:
            f.write(far + "\n")
        subprocess.Popen(["socat", "pty,raw,echo=0,link=" + device, "EXEC:sh %s,pty,setsid,ctty,stderr" % script],
                         stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        for _ in range(200):
            if os.path.exists(device):
                break
            time.sleep(0.01)
        if busy:
            held = os.open(device, os.O_RDWR | os.O_NOCTTY)
            fcntl.flock(held, fcntl.LOCK_EX)
            _held.append(held)
    return prepare


_held = []


def serial():
    """--serial: a console on a pseudo-terminal pair: the prompt that waited in the line taken, the line
    raw at the rate given while ravlo works, its settings put back; <BREAK> as the line's break; the
    refusals, each one line before anything is sent."""
    def run(name, far, shown, commands=b"", opts=(), rc=0, device="tty", after=(), only="posix", **kw):
        return Scenario(name, ["-s", "-e", "-c"] + list(opts) + ["--serial", "9600", device, "2", "5", CMD, "0"],
                        commands, stdout=["--- host(%s) link(serial 9600) type(other) timer(5s) fname(%s) "
                                          "0x07BEL(enable)\n" % (device, CMD)] + shown + [END] + list(after), rc=rc,
                        prepare=serial_line(far, com1=device == "COM1"), only=only,
                        why="a pseudo-terminal pair (socat)" if only == "posix" else "Wine's COM1", **kw)
    # The far side reports how the line is set while ravlo works: its rate, raw, no echo, no flow control;
    # after ravlo, the line as it was found.
    settings = "stty -F \"$(dirname $0)/tty\" | grep -o 'speed [0-9]* baud'; stty -a -F \"$(dirname $0)/tty\" " \
        "| grep -o -- '-crtscts\\|-ixon\\|-icanon\\|-echo ' | tr '\\n' ' '"
    return [
        run("a prompt that waited in the line, then work", "printf '$ '; read l; echo got-$l; printf '$ '",
            [b"$ c1\r\ngot-c1\r\n$ "], b"c1\n"),
        run("COM1 under Wine: the same", "printf '$ '; read l; echo got-$l; printf '$ '", [b"$ c1\r\ngot-c1\r\n$ "],
            b"c1\n", device="COM1", only="windows"),
        run("the line raw at its rate while ravlo works, put back after", "printf '$ '; read l; %s; printf '$ '"
            % settings, [b"$ c1\r\nspeed 9600 baud\r\n-crtscts -ixon -icanon -echo  $ "],
            b"c1\n", after=[b"speed 4800 baud\n"], runner=["sh", "-c", 'stty -F tty 4800 && "$@" && stty -F tty | grep -o "speed [0-9]* baud"',
                             "sh"]),
        # The break is the line: the next waits for what the break brings (a boot monitor's prompt).
        run("-K: <BREAK> is the line's break", "printf '$ '; sleep 0.5; printf 'rommon 1 > '; read l; echo got-$l; "
            "printf '$ '", [b"$ rommon 1 > c1\r\ngot-c1\r\n$ "], b"<BREAK>\nc1\n", opts=["-v", "-K"], stderr=None,
            checks=[
                lambda run: None if b"ravlo: line 1: <BREAK> sent as the line's break\n" in run.err
                else "no break traced: %r" % run.err]),
    ] + [Scenario("--serial refuses %s" % what, ["--serial", rate, device, "2", "5", CMD, "0"], b"c1\n", rc=255,
                  stdout=[USAGE] if "option" in message else [], stderr=["ravlo: %s\n" % message],
                  prepare=serial_line("sleep 5", busy=what == "a busy line"), only="posix",
                  why="a pseudo-terminal pair (socat)")
         for what, rate, device, message in [
             ("a missing device", "9600", "none", "cannot open none: no such device"),
             ("a path that is no serial device", "9600", CMD, "cannot open %s: not a serial device" % CMD),
             ("a busy line", "9600", "tty", "cannot open tty: busy: another program has it open"),
             ("an unfit rate", "12345", "tty", "option --serial: unfit value '12345'")]]


def limits():
    """-T: a line's own limit, by the longest TEXT it begins with as written,
    until the next line; --deadline: the session's end whatever the host does."""
    slow = [("send", b"$ "), ("expect", b"slow job\n"), ("pause", 1.5), ("send", b"$ "), ("expect", b"slow\n"),
            ("send", b"$ "), ("expect", b"quick\n"), ("hold",)]
    # Talking until just past the deadline (then ravlo is gone: a second send would find no one).
    chatty = [step for n in range(8) for step in (("send", b"x\r\n"), ("pause", 0.3))] + [("hold",)]
    path = records_file("limits.jsonl")

    def ended_by(kind):
        def check(run):
            last = open(path, "rb").read().splitlines()[-1]
            return None if last.startswith(b'{"end":"%s","status":2,' % kind) else "end record %r" % last
        return check
    return [
        session("-T: the longest TEXT, as written, until the next line", Host(*slow),
                [banner(seconds=1), b"$ $ $ ", NO_RESPONSE, END], b"slow job\n${V}\nquick\n",
                b"slow job\nslow\nquick\n", seconds=1, env={"V": "slow"},
                opts=["-v", "-s", "-k", "V", "-T", "s=1", "-T", "slow=3", "-T", "quick=2"], rc=2,
                checks=[elapsed_between(3.4, 20)], stderr=["ravlo: %s\n" % line for line in [
                    "connected", 'chunk 1: 2 bytes: shown, prompt "$ "', "line 1: response limit 3 s",
                    "line 1: 9 bytes sent", 'chunk 2: 2 bytes: shown, prompt "$ "', "line 2: response limit 1 s",
                    "line 2: 5 bytes sent", 'chunk 3: 2 bytes: shown, prompt "$ "', "line 3: response limit 2 s",
                    "line 3: 6 bytes sent", "end: no response"]]),
        session("-T: a line out of its own limit says so in its record", Host(("send", b"$ "), ("expect", b"slow\n"),
                                                                               ("hold",)),
                [banner(seconds=1), b"$ ", NO_RESPONSE, END], b"slow\n", b"slow\n", seconds=1, rc=2,
                opts=["-s", "-j", path, "-T", "slow=2"], checks=[elapsed_between(1.9, 20), records_are([
                    rec(0, None, "", "$ "), rec(1, "slow", "", None, limit=2), end("no-response", 2, 1, 2, 5)],
                    path)]),
        session("--deadline: a host that never goes quiet", Host(*chatty), None, seconds=5, rc=2,
                opts=["-s", "-j", path, "--deadline", "2"], checks=[elapsed_between(1.9, 6.9), ended_by(b"deadline")]),
    ] + [  # A real shell: its sleep under -T and without it, and a loop that never goes quiet.
        Scenario(name, opts + ["-s", "-e", "--exec", "env PS1='$ ' sh -i", "0", "1", CMD, "0"],
                 b"sleep 2\necho done-$((6*7))\n", rc=rc, only="posix", why="a POSIX shell", checks=[
                     elapsed_between(low, 20), lambda run, rc=rc: None if (b"\r\ndone-42" in run.out) == (rc == 0)
                     else "the line after the sleep %s" % ("never ran" if rc == 0 else "ran")])
        for name, opts, rc, low in [("a shell's sleep under -T: on to the next line", ["-T", "sleep=20"], 0, 2),
                                    ("a shell's sleep without -T: the limit", [], 2, 1),
                                    ("a shell's sleep and --deadline: the deadline", ["-T", "sleep=20", "--deadline",
                                                                                      "1"], 2, 1)]
    ] + [refused("%s %s refused" % (name, value), [name, value, LO, "2", "10", CMD, "0"], [USAGE],
                 stderr=["ravlo: option %s: unfit value '%s'\n" % (name, value)])
         for name, value in [("-T", "slow"), ("-T", "=5"), ("-T", "x=0"), ("-T", "x=86401"), ("--deadline", "0"),
                             ("--deadline", "604801")]]


def timer():
    return [
        # Each chunk restarts the limit, not only what ravlo sends: output for twice the limit.
        session("output every 0.4s for 2.4s after the last line never times out", Host(
            ("send", b"$ "), ("expect", b"c1\n"), *[step for n in range(6) for step in (("pause", 0.4),
                                                                              ("send", b"o%d\r\n" % n))],
            ("send", b"$ ")), [banner(seconds=1), b"$ "] + [b"o%d\r\n" % n for n in range(6)] + [b"$ ", END],
            commands=b"c1\n", received=b"c1\n", seconds=1),
        session("host pausing 2s after an answer ends by the limit",
                Host(("send", b"$ "), ("expect", b"c1\n"), ("pause", 2.5), ("send", b"late$ ")),
                [banner(seconds=1), b"$ ", NO_RESPONSE, END], commands=b"c1\nc2\n", received=b"c1\n",
                seconds=1, checks=[elapsed_between(0.9, 10)]),  # the late text not shown: ended before 2.5 s
    ]


def traces_chunks(count):
    """-v traces every chunk, those the negotiation takes too, and nothing past them."""
    def check(run):
        traced = [n for n in range(1, count + 2) if b"chunk %d:" % n in run.err]
        if traced != list(range(1, count + 1)):
            return "chunks %s traced, expected 1 to %d" % (traced, count)
    return check


def negotiation():
    def opening(kind, label, replies):
        steps = []
        for n, reply in enumerate(replies):
            steps += [("send", OPENING + b"chunk%d " % (n + 1)), ("expect", reply)]
        shown = b"chunk%d login: " % (len(replies) + 1)
        steps += [("send", shown), ("expect", b"demo\n"), ("send", b"$ "), ("silence", 0.3)]
        return session("%s answers %d chunks, shows the next" % (label, len(replies)), Host(*steps),
                       [banner(kind=label), shown, b"$ ", END], kind=kind, opts=["-v"], stderr=None,
                       commands=b"demo\n", received=b"".join(replies) + b"demo\n",
                       checks=[traces_chunks(len(replies) + 2)])
    return [
        opening("0", "linux", [L1, L2, L3]),
        opening("1", "unix", [U1, U2]),
        opening("2", "other", []),
        session("linux host silent after two chunks shows nothing",
                Host(("send", OPENING), ("expect", L1), ("send", b"login: "), ("expect", L2), ("hold",)),
                [banner(kind="linux", seconds=1), NO_RESPONSE, END], kind="0", seconds=1,
                received=L1 + L2),
    ]


def sends_only(line):
    """The host received nothing but whole copies of this line (any number)."""
    def check(run):
        got = bytes(run.host.received)
        if got.replace(line, b""):
            return "host received more than copies of %r: %r" % (line, got[:200])
    return check


def hostile():
    """Broken or hostile hosts: each session ends by its rules, showing every byte."""
    noise = random.Random(6).randbytes(64 * 1024)
    for text in (b"command not found", b"Login incorrect", b"assword: "):
        assert text not in noise  # would end or mark the session: not what this row probes
    # More lines than the host can ask for: one per chunk, at most one chunk per byte.
    plenty = b"x\n" * (70 * 1024)
    burst = b"".join(b"line %05d of a long listing\n" % n for n in range(1200))  # ~34 KiB, no prompt
    full_cr = b"b" + b"a" * 10239 + b"\r"  # the CR ends the second chunk, a prompt
    rows = [
        session("random bytes, then silence", Host(("send", noise)),
                [banner(seconds=1), noise, NO_RESPONSE, END], commands=plenty, received=None,
                seconds=1, checks=[sends_only(b"x\n")]),
        session("burst larger than a chunk ends at its closing prompt", Host(("send", burst + b">")),
                [banner(), burst, b">", END]),
        # The full chunk is answered before the host goes on: the reply to it waits, then settles.
        session("segments after a full chunk are one chunk",
                Host(("send", full_cr), ("expect", b"one\n"), ("pause", 0.2),
                     ("segments", 0.0003, b"Pass", b"wo", b"rd: "), ("expect", b"pw\n"), ("send", b"$ ")),
                [banner(), full_cr, b"Password: ", "********", b"$ ", END], commands=b"one\npw\n",
                received=b"one\npw\n"),
    ]
    for name, flood, commands in [("IAC", b"\xff" * 50000, b""), ("NUL", b"\x00" * 50000, b""),
                                  ("CR NUL", b"\r\x00" * 25000, plenty)]:
        # A bare CR ends or fills every chunk of the last two, so each chunk is a prompt.
        rows.append(session("flood of %s bytes, then silence" % name, Host(("send", flood), ("hold",)),
                            [banner(seconds=1), flood, NO_RESPONSE, END], commands=commands,
                            received=None if commands else b"", seconds=1, checks=[sends_only(b"x\n")]))
    rows += [
        session("host that never reads a very long line ends by the limit",
                Host(("send", b"$ "), ("hold",)), [banner(seconds=1), b"$ ", NO_RESPONSE, END],
                commands=b"y" * (16 << 20) + b"\n", seconds=1, checks=[elapsed_between(0.9, 10)],
                cpu=0.3),  # 70 ms here while the send waits 1 ms at a time; a send that spins takes 1 s
        Scenario("endless command line ends by the limit", [LO, "2", "1", "/dev/zero", "0"], None,
                 Host(("send", b"$ "), ("discard",)), [banner(seconds=1, fname="/dev/zero"), b"$ ", NO_RESPONSE, END],
                 received=b"", checks=[elapsed_between(0.9, 10)], only="posix",
                 why="no endless file on Windows"),
    ]
    return rows


def badinput():
    """Unfit command files and hosts: the right message and status, never a crash."""
    huge = "a" * 10000  # far past any buffer, well inside Windows' 32767-character command line
    return [
        refused("file name with printf conversions", [LO, "2", "10", "%s%n%x", "0"],
                OPEN_FAILED + "%s%n%x\n", commands=None),
        refused("empty host", ["", "2", "10", CMD, "0"], LOOKUP_FAILED + "\n",
                only="posix", why="Windows looks an empty name up as this machine"),
        refused("huge host name", [huge, "2", "10", CMD, "0"], LOOKUP_FAILED + huge + "\n"),
        refused("host of undecodable bytes", [os.fsdecode(b"\xff\xfe\x80"), "2", "10", CMD, "0"],
                [LOOKUP_FAILED, b"\xff\xfe\x80", "\n"], only="posix", why="arguments are bytes on POSIX only"),
    ]


def telnet_aware():
    """-t answers each request once, scripts counting as answers, and keeps
    Telnet commands out of what is shown and examined; -p, -P, -E, -e and -c."""
    iac = lambda *codes: bytes(b for c in codes for b in (255,) + c)  # noqa: E731
    asks = iac((253, 24), (251, 1), (251, 5), (253, 35))  # DO TTYPE, WILL ECHO, WILL 5, DO 35 ("#")
    answers = iac((251, 24), (253, 1), (254, 5), (252, 35))  # a terminal type to offer: WILL TTYPE
    # Then: the same asks again, a WONT, a sub-negotiation, a NOP, text, and
    # commands cut after IAC and after DO: only IAC IAC's 255 is text.
    again = asks + iac((252, 1), (250, 24)) + b"\x01\xff\xff\xfb\x01" + iac((240,), (241,)) + b"ab\xff"
    steps = [("send", asks), ("expect", answers), ("send", again), ("pause", 0.3), ("send", b"\xff\xfbc\xff\xfd"),
             ("pause", 0.3), ("send", b"\x03$ "), ("expect", iac((252, 3)) + b"one\r\x00"), ("send", b"$ ")]
    smp = b"Linux vm 6.1.0-9-amd64 #1 SMP PREEMPT_DYNAMIC Debian\r\n"
    # The script's own WILL TERMINAL-SPEED and last WONT 35 already answer DO 32 and DO 35.
    scripted = [("send", OPENING + iac((253, 5), (253, 32), (253, 35))), ("expect", L1 + iac((252, 5)))]
    for script in (L2, L3):
        scripted += [("send", OPENING), ("expect", script)]
    return [
        # -t ends each line with CR NUL, unless -L says otherwise.
        session("-t filters and answers", Host(*steps), [banner(), b"ab\xff\xfbc$ $ ", END], b"one\n",
                answers + iac((252, 3)) + b"one\r\x00", opts=["-t"]),
        session("-t -L lf with linux scripts", Host(*scripted, ("send", OPENING + b"login: "), ("expect", b"one\n"),
                                                ("send", b"$ ")),
                [banner(kind="linux"), b"login: $ ", END], b"one\n", L1 + iac((252, 5)) + L2 + L3 + b"one\n",
                kind="0", opts=["-t", "-L", "lf"]),
        session("-p 2323", Host(("send", b"$ "), address=(LO, 2323)), [banner(), b"$ ", END], opts=["-p", "2323"]),
        session("-P types the login name, -E ends the session",
                Host(("send", b"Username: "), ("expect", b"x\n"), ("send", b"% Invalid input\r\n$ ")),
                [banner(), b"Username: % Invalid input\r\n$ ", KEYWORD, END], b"x\ny\n", b"x\n", rc=1,
                opts=["-s", "-P", "Username: ", "-E", "nothing", "-E", "% Invalid"]),
    ] + prompt_at_end(smp) + [
        # The prompt test still sees the text as received: the CR NUL is a prompt.
        session("-c leaves escape sequences and CR NUL's zero out, split too", Host(
            ("send", b"\x1b[?2004hone\x1b]0;user@vm: ~"), ("pause", 0.3), ("send", b"\x07two\x07\r\x00three\x1b[0m")),
            [banner(bel="disable"), b"onetwo[0x07:BEL]\rthree", END], bel="1", opts=["-c"]),
    ]


def options():
    """-s, -v, -V, -h, and a transcript that cannot be written."""
    limit, slack = 4, 1.0
    closing = (("send", b"$ "), ("expect", b"c1\n"), ("close",))
    rows = []
    # Each session with -s and without: the same transcript; the status, and an
    # end at once when the connection is gone, only with -s. A session that
    # waits out its 4 s limit sleeps: 5-10 ms of CPU in all, start-up included,
    # up to 18 ms with both cores busy; one that wakes every 1 ms takes 70-120 ms.
    for what, steps, commands, shown, status in [
            ("command file used up", (("send", b"$ "), ("silence", 0.3)), b"", [b"$ "], 0),
            ("error keyword", (("send", b"Login incorrect\r\n"),), b"", [b"Login incorrect\r\n", KEYWORD], 1),
            ("no response", (("send", b"motd\r\n"), ("hold",)), b"", [b"motd\r\n", NO_RESPONSE], 2),
            ("refused connection", None, b"", [NO_RESPONSE], 3),
            ("host closing before the last line", closing, b"c1\nc2\n", [b"$ ", NO_RESPONSE], 3),
            ("host closing after the last line", closing, b"c1\n", [b"$ ", NO_RESPONSE], 0)]:
        gone = not steps or steps[-1] == ("close",)
        for opts in (["-s"], []):
            ends = [elapsed_between(0, limit - slack) if opts else elapsed_between(limit - 0.1, 2 * limit - slack)]
            waits = status == 2 or (gone and not opts)
            rows.append(session("%s %s" % (what, opts[0] if opts else "without -s"), Host(*steps) if steps else None,
                                [banner(seconds=limit)] + shown + [END], commands, commands[:3], seconds=limit,
                                opts=opts, rc=status if opts else 0, checks=ends if gone else [],
                                cpu=0.035 if waits else None))
    # A host gone while a long line is still being sent: the send gives up at once.
    rows.append(session("-s and a reset while a line is sent", Host(("send", b"$ "), ("reset",)),
                        [banner(seconds=limit), b"$ ", NO_RESPONSE, END], b"y" * (16 << 20) + b"\nc2\n", None,
                        seconds=limit, opts=["-s"], rc=3, checks=[elapsed_between(0, limit - slack)]))
    login = Host(("send", b"login: "), ("expect", b"demo\n"), ("send", b"Password: "), ("expect", b"s3cret\n"),
                 ("send", b"\r\nLogin incorrect\r\n"))
    trace = ["connected", 'chunk 1: 7 bytes: shown, prompt "login: "', "line 1: 5 bytes sent",
             'chunk 2: 10 bytes: shown, prompt "assword: "', "line 2: 7 bytes sent",
             'chunk 3: 19 bytes: shown, error keyword "Login incorrect"', "end: error keyword"]
    rows.append(session("trace names the token, never a line's text", login,
                        [banner(), b"login: Password: ", "********", b"\r\nLogin incorrect\r\n", KEYWORD, END],
                        b"demo\ns3cret\n", b"demo\ns3cret\n", opts=["-v"], stderr=["ravlo: %s\n" % t for t in trace]))
    for args, problem in [(["-sx"], "unknown option: -x"), (["--status=1"], "option --status takes no argument"),
                          (["-s"], None), (["-p", "65536"], "option -p: unfit value '65536'"),
                          (["--port=0"], "option --port: unfit value '0'"), (["-P", ""], "option -P: unfit value ''"),
                          (["-w", "0"], "option -w: unfit value '0'"), (["--secret=A=B"], "option --secret: unfit value 'A=B'"),
                          (["-L", "bogus"], "option -L: unfit value 'bogus'"),
                          (["--settle", "0"], "option --settle: unfit value '0'"),
                          (["--settle=10001"], "option --settle: unfit value '10001'"),
                          (["--wake", "0"], "option --wake: unfit value '0'"),
                          (["-A", "no equals"], "option -A: unfit value 'no equals'"),
                          (["--answer==y"], "option --answer: unfit value '=y'"), (["-o", "Port=1"], "option -o needs --ssh"),
                          (["--exec", "-t"], "options -t and --exec cannot be used together")]:
        rows.append(Scenario("%s, then four arguments" % args[0], args + [LO, "2", "10", CMD], stdout=[USAGE],
                             rc=255, stderr=["ravlo: %s\n" % problem] if problem else []))
    rows += [
        Scenario("-- ends the options", ["--", "-3", "2", "10", CMD, "0"], rc=255,
                 stdout=["ホスト名の取得に失敗しました : -3\n"]),
        Scenario("-E without its text", ["-E"], stdout=[USAGE], rc=255, stderr=["ravlo: option -E needs an argument\n"]),
        Scenario("-V", ["-V"], stdout=["ravlo 2.06\n"]),
        Scenario("-h: the usage text, then every option", ["-h"], checks=[lambda run: None if run.out.startswith(
            b"<---") and all(b"--" + o in run.out for o in b"status verbose version help port telnet prompt error "
                             b"prompt-at-end line-end clean secret connect-limit settle records".split())
            else "-h lacks the usage text or an option"]),
        session("transcript lost to a full disk gives 4 after the whole session",
                Host(("send", b"$ "), ("expect", b"c1\n"), ("send", b"$ "), ("expect", b"c2\n"), ("send", b"$ ")),
                [], b"c1\nc2\n", b"c1\nc2\n", rc=4, stderr=["ravlo: 標準出力への書き込みが失敗しました。\n"],
                runner=["sh", "-c", 'exec "$@" >/dev/full', "sh"], only="posix", why="no /dev/full on Windows"),
    ]
    return rows + telnet_aware() + secrets()


def prompt_at_end(smp):
    """-e: a line only once all the host sent since the last line ends in a
    prompt and the host has been quiet for the settle time. Silence checks
    that no line comes early: here the text is cut where a piece ends like a
    prompt ("#", "Last login: "), and the mid-line pauses teach the settle time."""
    cut = smp.index(b"#") + 1
    steps = [("send", smp[:cut]), ("silence", 0.06), ("send", smp[cut:] + b"vm log"), ("silence", 0.2),
             ("send", b"in: \x1b[K"), ("expect", b"name\n"), ("send", b"Password: "), ("expect", b"pw\n"),
             ("send", b"Last login: "), ("silence", 0.35), ("send", b"Mon Dec  7\r\n$ "), ("expect", b"ls\n"),
             ("send", b"$ ")]
    trace = ["connected", 'chunk 1: 24 bytes: shown, prompt "#"', "chunk 2: 36 bytes: shown, no prompt",
             "prompt held: more text came", 'chunk 3: 7 bytes: shown, prompt "login: "',
             "chunk 3: prompt new, after other text in its chunk", "line 1: 5 bytes sent",
             'chunk 4: 10 bytes: shown, prompt "assword: "', "line 2: 3 bytes sent",
             'chunk 5: 12 bytes: shown, prompt "login: "', 'chunk 6: 14 bytes: shown, prompt "$ "',
             "line 3: 3 bytes sent", 'chunk 7: 2 bytes: shown, prompt "$ "', "end: command file used up"]
    settle = re.compile(r"ravlo: settle time (\d+) ms\n")

    def learned(run):
        """The events in order; the settle times as the pauses rank them, never by how long a busy
        machine took to read: the first wait is 80 ms; the 0.2 s pause in "vm log|in: " teaches
        three times itself (at least 300 ms, or the mid-line pause taught nothing) before line 1;
        the 0.35 s one after "Last login: " teaches a longer time (at most 1000 ms) before line 3."""
        err = run.err.replace(b"\r\n", b"\n").decode(errors="replace")
        events = settle.sub("", err)
        times = [[int(t) for t in settle.findall(part)] for part in re.split(r"ravlo: line [13]: ", err)]
        fit = len(times) == 3 and times[0][:1] == [80] and max(times[0]) >= 300 and max(times[1], default=0) > \
            max(times[0])
        want = "".join("ravlo: %s\n" % t for t in trace)
        return None if events == want and fit else "trace %r (settle times %s), expected %r" % (run.err, times, want)
    return [
        session("-e: a prompt counts once the host waits at it", Host(*steps),
                [banner(), smp, b"vm login: \x1b[K", b"Password: ", "********", b"Last login: Mon Dec  7\r\n$ $ ", END],
                b"name\npw\nls\n", b"name\npw\nls\n", opts=["-e", "-v"], checks=[learned], stderr=None, cpu=0.035),
        # A prompt line that settled once is taken at once when it comes again, however long the settle
        # time has grown; a line of marks alone ("# ") is never known, and still settles.
        session("-e: a known prompt needs no settle", Host(
            ("send", b"\r\nvm$ "), ("expect", b"a\n"), ("send", b"out"), ("pause", 0.15), ("send", b"put\r\nvm$ "),
            ("expect", b"b\n"), ("send", b"# "), ("expect", b"c\n"), ("send", b"x\r\n# "), ("silence", 0.15),
            ("send", b"y\r\nvm$ "), ("expect", b"d\n"), ("send", b"\r\nvm$ ")),
            [banner(), b"\r\nvm$ output\r\nvm$ # x\r\n# y\r\nvm$ \r\nvm$ ", END], b"a\nb\nc\nd\n", b"a\nb\nc\nd\n",
            opts=["-e", "-v"], stderr=None, checks=[lambda run: None if run.err.count(
                b"prompt known") == 3 else "trace %r: three prompts known expected" % run.err]),
        # A new line that ends a chunk after a line of output may be output a busy host paused in: it
        # waits at least 30 ms (the silence). One that comes whole after its echo needs no more.
        session("-e: a new prompt after output in its chunk", Host(
            ("send", b"$ "), ("expect", b"a\n"), ("send", b"a\r\nout\r\nAuthor: r <r@x>"), ("silence", 0.02),
            ("send", b"\r\n$ "), ("expect", b"b\n"), ("send", b"b\r\nsw1(config)# "), ("expect", b"c\n"),
            ("send", b"$ ")), None, b"a\nb\nc\n", b"a\nb\nc\n", opts=["-e", "-v"], stderr=None,
            checks=[lambda run: None if run.err.count(b"after other text") == 1 else "trace %r" % run.err]),
        # A host that holds the rest of its text until what it sent is acknowledged (Nagle's rule, as
        # ser2net and telnetd do) gets the acknowledgement at once: 100 commands cost no 40 ms each,
        # which would be 4 s in all; a busy machine takes well under 3 s.
        session("-e: a host that waits for its acknowledgement", Host(*[("send", b"\r\nvm$ ")] + [
            step for n in range(100) for step in (("expect", b"c\n"), ("send", b"c\r\n%d" % n), ("send", b"\r\nvm$ "))]),
            None, b"c\n" * 100, b"c\n" * 100, opts=["-e"], checks=[elapsed_between(0, 3)], only="posix",
            why="Windows keeps its own acknowledgement delay"),
        # The least settle time holds after the first line, where a clean link learns about nothing.
        session("-e --settle 300: a slow host's pause is waited out", Host(
            ("send", b"$ "), ("expect", b"a\n"), ("send", b"Last login: "), ("silence", 0.2), ("send", b"x\r\n$ "),
            ("expect", b"b\n"), ("send", b"$ ")), [banner(), b"$ Last login: x\r\n$ $ ", END], b"a\nb\n", b"a\nb\n",
            opts=["-e", "--settle", "300"]),
        # One byte after a held prompt is text like any other: shown, and the prompt no longer one.
        session("-e --settle 300: a single byte after a held prompt", Host(
            ("send", b"$ "), ("expect", b"a\n"), ("send", b"ab#"), ("pause", 0.1), ("send", b"x"), ("pause", 0.5),
            ("send", b"\r\n$ "), ("expect", b"b\n"), ("send", b"$ ")), [banner(), b"$ ab#x\r\n$ $ ", END], b"a\nb\n",
            b"a\nb\n", opts=["-e", "--settle", "300"]),
        # A host gone at its prompt: nothing more can come, the prompt counts at once (not the limit's message).
        session("-e: a prompt the host closes after", Host(("send", b"$ "), ("close",)), [banner(seconds=2), b"$ ", END],
                seconds=2, opts=["-e"], cpu=0.035),
    ]


def secrets():
    """-k: a value from the environment where ${NAME} stands, masked wherever
    the host shows it, whole or split; -w: a host that never answers."""
    pw = b"S3cr${RAVLO_PW}t!"  # holds a reference of its own: sent as it stands
    steps = [("send", b"Password: "), ("expect", pw + b"\n"), ("send", b"bad " + pw + b" $ "),
             ("expect", b"echo ${OTHER} $RAVLO_PW\n"), ("segments", 0.3, b"echo " + pw[:5], pw[5:] + b"\r\n$ ")]
    trace = ["connected", 'chunk 1: 10 bytes: shown, prompt "assword: "', "line 1: 18 bytes sent",
             'chunk 2: 24 bytes: shown, prompt "$ "', "line 2: 24 bytes sent", "chunk 3: 10 bytes: shown, no prompt",
             'chunk 4: 16 bytes: shown, prompt "$ "', "end: command file used up"]
    rows = [session("-k value sent for its reference, masked where echoed", Host(*steps),
                    [banner(), b"Password: ", "********", b"bad ******** $ echo ********\r\n$ ", END],
                    b"${RAVLO_PW}\necho ${OTHER} $RAVLO_PW\n", pw + b"\necho ${OTHER} $RAVLO_PW\n",
                    opts=["-v", "-k", "RAVLO_PW"], env={"RAVLO_PW": pw.decode()}, stderr=["ravlo: %s\n" % t for t in trace])]
    rows += [session("-k %s variable refused before connecting" % what, Host(full=False), [], opts=["-k", "RAVLO_PW"],
                     env=env, rc=255, stderr=["ravlo: option -k: environment variable RAVLO_PW is unset or empty\n"])
             for what, env in [("unset", {}), ("empty", {"RAVLO_PW": ""})]]
    # A made connection drops the connect limit: a host slow to greet is waited for.
    rows.append(session("-w 1: a made connection drops the limit", Host(("silence", 1.5), ("send", b"$ ")),
                        [banner(), b"$ ", END], opts=["-s", "-w", "1"]))
    return rows + [session("-w 1 %s, host never answering" % (opts or ["without -s"])[0], Host(full=True),
                           [banner(), NO_RESPONSE, END], opts=opts + ["-w", "1"], rc=3 if opts else 0, stderr=[
                               "ravlo: %s\n" % t for t in ("no connection within the connect limit", "end: connection lost")
                           ] if opts else (), checks=[elapsed_between(0.9, 8)], cpu=0.035) for opts in (["-s", "-v"], [])]


RECORD_TIMES = re.compile(rb'"start":"(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}Z)","ms":\d+\.\d}$')


def rec(n, text, out, prompt, error=None, limit=None):
    return dict(n=n, input=text, output=out, prompt=prompt, **({"error": error} if error else {}),
                **({"limit": limit} if limit else {}))


def end(kind, status, lines, received, sent, keyword=None):
    return dict({"end": kind}, **({"keyword": keyword} if keyword else {}), status=status, lines=lines,
                received=received, sent=sent)


def records_are(want, path=None):
    """The records (in the file at path, else on standard output) are want's,
    byte for byte but for the times; those must have their form, in order."""
    def check(run):
        got = open(path, "rb").read() if path else run.out
        lines = got.split(b"\n")
        times = [RECORD_TIMES.search(line) for line in lines[:-1]]
        if lines[-1] or not all(times):
            return "records without an end or times: %r" % got[-300:]
        starts = [t.group(1) for t in times]
        low, high = (time.strftime("%Y-%m-%dT%H:%M", time.gmtime(time.time() + d)).encode() for d in (-60, 60))
        if starts[:-1] != sorted(starts[:-1]) or starts[-1] > starts[0] or not low <= starts[-1] <= high:
            return "record starts out of order or not from this last minute (UTC): %s" % starts
        shown = [json.dumps(w, ensure_ascii=False, separators=(",", ":")).encode() for w in want]
        if [line[:t.start()] for line, t in zip(lines, times)] != [w[:-1] + b"," for w in shown]:
            return "records: expected %r, got %r" % (shown, got)
    return check


_records_dir = []


def records_file(name):
    """A path outside the row's own directory, which is gone before the checks."""
    if not _records_dir:
        _records_dir.append(tempfile.mkdtemp(prefix="ravlo-records-"))
        atexit.register(shutil.rmtree, _records_dir[0], True)
    return os.path.join(_records_dir[0], name)


def host_bytes(steps):
    return sum(len(b"".join(step[2:] if step[0] == "segments" else step[1:])) for step in steps
               if step[0] in ("send", "segments"))


def records():
    """-j: one JSON record per line sent, and one at the end."""
    login = [("send", b"Welcome\r\n"), ("pause", 0.05), ("send", b"host login: "), ("expect", b"demo\n"),
             ("send", b"Password: "), ("expect", b"s3cret\n"), ("shown", b"********"),  # out by the time the line is
             ("send", b"\r\nLast login: Mon\r\n$ "),
             ("expect", b"uname\n"), ("send", b"uname\r\nLinux\r\n$ "), ("expect", b"echo hi\n"),
             ("send", b"echo hi\r\nhi\r\n$ "), ("expect", b"ls\n"), ("send", b"ls\r\r\nfoo  bar\r\n$ ")]
    commands = b"demo\ns3cret\nuname\necho hi\nls\n"
    path = records_file("login.jsonl")
    rows = [session("records of a login and three commands, the transcript as without -j", Host(*login), [
        banner(), b"Welcome\r\nhost login: Password: ", "********",
        b"\r\nLast login: Mon\r\n$ uname\r\nLinux\r\n$ echo hi\r\nhi\r\n$ ls\r\r\nfoo  bar\r\n$ ", END],
        commands, commands, opts=["-j", path], checks=[records_are([
            rec(0, None, "Welcome\n", "host login: "), rec(1, "demo", "", "Password: "),
            rec(2, "********", "\nLast login: Mon\n", "$ "), rec(3, "uname", "Linux\n", "$ "),
            rec(4, "echo hi", "hi\n", "$ "), rec(5, "ls", "foo  bar\n", "$ "),
            end("file-done", 0, 5, host_bytes(login), len(commands))], path)])]
    # The echo comes split, or is not the line's: kept then. -L crlf: the line end is no part of the input.
    # A chunk ending in CR is a prompt; the LF after it belongs to that line end.
    echo = [("send", b"$ "), ("expect", b"echo hi\r\n"), ("segments", 0.3, b"ech", b"o hi\r\nhi\r\n$ "),
            ("expect", b"ls\r\n"), ("send", b"lsof\r"), ("expect", b"cat\r\n"), ("send", b"\nca\r\n$ ")]
    # A line holding a value: its echo is the line as sent, dropped too.
    pw = [("send", b"$ "), ("expect", b"echo S3cr=t!\n"), ("send", b"echo S3cr=t!\r\n8\r\n$ ")]
    rows.append(session("echo of a line with a -k value dropped", Host(*pw), None, b"echo ${RAVLO_PW}\n",
                        b"echo S3cr=t!\n", opts=["-j", "-", "-k", "RAVLO_PW"], env={"RAVLO_PW": "S3cr=t!"},
                        checks=[records_are([rec(0, None, "", "$ "), rec(1, "echo ${RAVLO_PW}", "8\n", "$ "),
                                             end("file-done", 0, 1, host_bytes(pw), 13)])]))
    rows.append(session("echo dropped only when it is the line's", Host(*echo), None, b"echo hi\nls\ncat\n",
                        b"echo hi\r\nls\r\ncat\r\n", opts=["-j", "-", "-L", "crlf"], checks=[records_are([
                            rec(0, None, "", "$ "), rec(1, "echo hi", "hi\n", "$ "), rec(2, "ls", "lsof\n", ""),
                            rec(3, "cat", "ca\n", "$ "), end("file-done", 0, 3, host_bytes(echo), 18)])]))
    # Cut inside the value, a CR LF, a UTF-8 character and an escape sequence; -e: the CR is no prompt.
    # CR NUL right after a line end adds no empty line.
    pw = "S3cr=t!"
    text = [("send", b"$ "), ("expect", b"x " + pw.encode() + b"\n"),
            ("segments", 0.3, b"\x1b[1mS3c", b"r=t!\x1b[0m \"q\\\x01\x7f\xff \xc3\xa9\r", b"\n\xe2\x82",
             b"\xac \xed\xa0\x80 \xc3\rcr\nlf\r\r\n\r\x00$ ")]
    rows.append(session("output masked, escaped, made UTF-8, line ends as LF", Host(*text), None,
                        b"x ${RAVLO_PW}\n", b"x " + pw.encode() + b"\n", opts=["-j", "-", "-e", "-k", "RAVLO_PW"],
                        env={"RAVLO_PW": pw}, checks=[records_are([
                            rec(0, None, "", "$ "),
                            rec(1, "x ${RAVLO_PW}", '******** "q\\\x01\x7f\ufffd \u00e9\n\u20ac '
                                "\ufffd\ufffd\ufffd \ufffd\ncr\nlf\n", "$ "),
                            end("file-done", 0, 1, host_bytes(text), 3 + len(pw))])]))
    # --charset: the line as written in Shift_JIS, its echo and the output, made UTF-8 (0x5C in 表 no backslash).
    sjis = [("send", b"$ "), ("expect", b"echo \x95\\\n"), ("send", b"echo \x95\\\r\n\x93\xfa\x96{\xb1\r\n$ ")]
    rows += [session("--charset shift_jis: line and output made UTF-8", Host(*sjis), None, b"echo \x95\\\n",
                     b"echo \x95\\\n", opts=["-j", "-", "--charset", "Shift_JIS"], checks=[records_are([
                         rec(0, None, "", "$ "), rec(1, "echo \u8868", "\u65e5\u672c\uff71\n", "$ "),
                         end("file-done", 0, 1, host_bytes(sjis), 8)])]),
             Scenario("--charset refused for an unknown name", ["--charset", "koi8-r", LO, "2", "10", CMD],
                      stdout=[USAGE], rc=255, stderr=["ravlo: option --charset: unfit value 'koi8-r'\n"])]
    # Each way a session ends; the last record's prompt is null when no prompt came.
    closing = [("send", b"$ "), ("expect", b"c1\n"), ("send", b"bye\r\n"), ("close",)]
    for what, steps, commands, opts, kind, status, last in [
            ("error keyword", [("send", b"$ "), ("expect", b"c1\n"), ("send", b"Login incorrect\r\n$ ")], b"c1\nc2\n",
             [], "error-keyword", 1, rec(1, "c1", "Login incorrect\n$ ", None, "Login incorrect")),
            ("no response", [("send", b"$ "), ("expect", b"c1\n"), ("send", b"wait"), ("hold",)], b"c1\n", [],
             "no-response", 2, rec(1, "c1", "wait", None)),
            ("host closing before the last line, -s", closing, b"c1\nc2\n", ["-s"], "connection-lost", 3,
             rec(1, "c1", "bye\n", None)),
            ("host closing before the last line", closing, b"c1\nc2\n", [], "connection-lost", 3,
             rec(1, "c1", "bye\n", None)),
            ("host closing after the last line", closing, b"c1\n", [], "file-done", 0, rec(1, "c1", "bye\n", None))]:
        keyword = "Login incorrect" if status == 1 else None
        rows.append(session("end: %s" % what, Host(*steps), None, commands, b"c1\n", seconds=1,
                            opts=opts + ["-j", "-"], rc=status if opts else 0, checks=[records_are(
                                [rec(0, None, "", "$ "), last, end(kind, status, 1, host_bytes(steps), 3, keyword)])]))
    rows += [session("end: %s, the end record alone" % what, host, None, opts=opts + ["-j", "-"], rc=3, seconds=5,
                     checks=[records_are([end(kind, 3, 0, 0, 0)])])
             for what, host, opts, kind in [("refused", None, ["-s"], "connection-lost"),
                                            ("connect limit", Host(full=True), ["-s", "-w", "1"], "connect-limit")]]
    full = Host(("send", b"$ "), ("expect", b"c1\n"), ("send", b"$ "))
    rows += [
        session("-j that cannot be opened refused before connecting", Host(full=False), [],
                opts=["-j", "/nonexistent/r.jsonl"], rc=255,
                stderr=["ravlo: option -j: cannot open /nonexistent/r.jsonl for writing\n"]),
        refused("-j -: a message for standard output on standard error", ["-j", "-", "nonexistent.invalid", "2",
                "10", CMD, "0"], [], stderr=[LOOKUP_FAILED + "nonexistent.invalid\n"]),
        session("records lost to a full disk give 4", full, [banner(), b"$ $ ", END], b"c1\n", b"c1\n",
                opts=["-j", "/dev/full"], rc=4, stderr=["ravlo: option -j: writing to /dev/full failed\n"],
                only="posix", why="no /dev/full on Windows"),
    ]
    return rows


def pagers():
    """-t tells the window and the type a host asks for; -e answers a pager's
    prompt with its key, no line taken; -c leaves the prompt and its erasing out."""
    bs = lambda n: b"\b" * n  # noqa: E731
    rows = []
    # The host asks; each row: options, what answers DO NAWS, DO TTYPE (and a SEND split across chunks).
    for opts, naws, ttype in [
            ([], b"\xff\xfb\x1f\xff\xfa\x1f\x01\xf4\x03\xe8\xff\xf0", b"\xff\xfb\x18"),  # 500x1000
            (["--window", "255x65535", "--term", "xterm-256color"],
             b"\xff\xfb\x1f\xff\xfa\x1f\x00\xff\xff" + b"\xff" * 4 + b"\xff\xf0", b"\xff\xfb\x18"),
            (["--window", "none", "--term", "none"], b"\xff\xfc\x1f", b"\xff\xfc\x18")]:
        term = opts[3].encode() if "--term" in opts and opts[3] != "none" else b"vt100"
        is_ = b"\xff\xfa\x18\x00" + term + b"\xff\xf0" if ttype[1] == 0xfb else b""
        rows.append(session("-t %s: window and type as asked" % (" ".join(opts) or "defaults"), Host(
            ("send", b"\xff\xfd\x1f\xff\xfd\x18"), ("expect", naws + ttype), ("send", b"\xff\xfa\x18"), ("pause", 0.2),
            ("send", b"\x01\xff\xf0$ "), ("expect", is_ + b"one\r\x00"), ("send", b"$ ")),
            [banner(), b"$ $ ", END], b"one\n", naws + ttype + is_ + b"one\r\x00", opts=["-t"] + opts))
    # A script's WILL TTYPE counts: the SEND in the second chunk is answered after L2.
    rows.append(session("-t linux: a SEND answered after the script", Host(
        ("send", OPENING), ("expect", L1), ("send", b"\xff\xfa\x18\x01\xff\xf0"), ("expect", L2 + b"\xff\xfa\x18\x00vt100\xff\xf0"),
        ("send", OPENING), ("expect", L3), ("send", b"$ ")), [banner(kind="linux"), b"$ ", END], kind="0", opts=["-t"],
        received=L1 + L2 + b"\xff\xfa\x18\x00vt100\xff\xf0" + L3))
    # Each family: its prompt, the key, what erases the prompt; the next page's indentation stays.
    for name, prompt, key, erase in [
            ("FRR", b" --More-- ", b" ", bs(10) + b" " * 10 + bs(10)),
            ("util-linux more", b"\x1b[7m--More--(5%)\x1b[27m", b" ", b"\r\x1b[K"),
            ("busybox more", b"--More-- (5% of 3000 bytes)", b" ", b"\r" + b" " * 27 + b"\r"),
            ("Juniper", b"---(more 45%)---", b" ", b"\r\x00" + b" " * 40 + b"\r\x00"),
            ("Huawei", b"  ---- More ----", b" ", b"\x1b[42D"),
            ("AOS-CX", b"-- MORE --, next page: Space, next line: Enter, quit: q", b" ", b"\r\x1b[2K"),
            ("switch", b"<--- More --->", b" ", b"\r" + b" " * 14 + b"\r"),
            ("ProCurve", b"Press any key to continue", b" ", b"\x1b[24;1H\x1b[2K"),
            ("XOS", b"\x1b[7mPress <SPACE> to continue or <Q> to quit:\x1b[m", b" ", b"\r\x1b[K"),
            ("Netgear", b"--More-- or (q)uit", b" ", bs(18) + b" " * 18 + bs(18)),
            ("Dell", b"More: <space>,  Quit: q or CTRL+Z, One line: <return> ", b" ", bs(55) + b" " * 55 + bs(55)),
            ("less, unknown terminal", b"Press RETURN to continue ", b"\r\n", b""),
            ("less at the end", b"\x1b[7m(END)\x1b[27m", b"q", b"\r\x1b[K"),
            ("-M", b"[Next page]", b" ", bs(11)),
            ("cursor moves back", b"--More--", b" ", b"\x1b[16D" + b" " * 16 + b"\x1b[16D")]:
        opts = ["-e", "-c", "-L", "crlf"] + (["-M", "[Next page]"] if name == "-M" else [])
        # The erasing comes alone, as on a slow link.
        apart = [("send", erase), ("pause", 0.2)] if name == "cursor moves back" else []
        rows.append(session("%s pager answered, left out" % name, Host(
            ("send", b"$ "), ("expect", b"show\r\n"), ("send", b"out 1\r\n" + prompt), ("expect", key),
            *apart, ("send", (b"" if apart else erase) + b"  out 2\r\n$ ")), [banner(), b"$ out 1\r\n  out 2\r\n$ ", END],
            b"show\n", b"show\r\n" + key, opts=opts))
    pager_trace = [b'ravlo: chunk %d: pager prompt "--More--", answered' % n for n in (3, 4)]
    traces_pagers = lambda run: None if re.findall(rb"ravlo: chunk \d+: pager[^\r\n]*", run.err) == pager_trace else \
        "pager trace: %r" % run.err  # noqa: E731
    rows += [
        # Only at the end of an unfinished line, split too; after the last command line as well.
        session("--More-- mid-line or ended not answered; answered after the last line", Host(
            ("send", b"$ "), ("expect", b"show\n"), ("send", b"a --More-- b\r\nc --More--\r\n--Mo"), ("pause", 0.3),
            ("send", b"re-- "), ("expect", b" "), ("send", b"\rd\r\n--More--"), ("expect", b" "), ("send", b"$ ")),
            [banner(), b"$ a --More-- b\r\nc --More--\r\n--More-- \rd\r\n--More--$ ", END], b"show\n", b"show\n  ",
            opts=["-e", "-v"], stderr=None, checks=[traces_pagers]),
    ]
    return rows


def questions():
    """-A answers a question in the host's unfinished last line once the host
    waits, before pagers and prompts, the command file staying where it is; -K
    sends keys and Telnet commands; --wake presses Enter for a silent console."""
    q1, q2 = b"System configuration has been modified. Save? [yes/no]: ", b"Proceed with reload? [confirm]"
    answers = ["-A", "Save? [yes/no]: =yes", "-A", "[confirm]=", "-A", "Overwrite?=y", "-A", "Key: =${RAVLO_PW}"]
    steps = [("send", b"$ "), ("expect", b"reload\r\n"), ("send", b"old Save? [yes/no]: no\r\n" + q1[:30]),
             ("pause", 0.3), ("send", q1[30:]), ("expect", b"yes\r\n"), ("send", q2), ("expect", b"\r\n"),
             ("send", b"Overwrite? --More-- $ "), ("expect", b"y\r\n"), ("send", b"Key: "), ("expect", b"S3cr=t!\r\n"),
             ("send", b"S3cr=t!\r\n$ "), ("expect", b"exit\r\n"), ("send", b"$ ")]
    shown = b"".join(step[1] for step in steps if step[0] == "send").replace(b"S3cr=t!", b"********")
    asked = [b"chunk %d: question \"%s\", answered" % (n, q) for n, q in
             [(3, b"Save? [yes/no]: "), (4, b"[confirm]"), (5, b"Overwrite?"), (6, b"Key: ")]]
    traced = lambda run: None if re.findall(rb"chunk \d+: question [^\r\n]*", run.err) == asked and \
        b"S3cr" not in run.err else "question trace: %r" % run.err  # noqa: E731
    path = records_file("questions.jsonl")
    rows = [session("-A: questions answered once, whole or split, before pagers and prompts", Host(*steps),
                    [banner(), shown, END], b"reload\nexit\n", b"reload\r\nyes\r\n\r\ny\r\nS3cr=t!\r\nexit\r\n",
                    opts=["-e", "-v", "-L", "crlf", "-k", "RAVLO_PW", "-j", path] + answers, env={"RAVLO_PW": "S3cr=t!"},
                    stderr=None, checks=[traced, records_are([
                        rec(0, None, "", "$ "), rec(1, "reload", "old Save? [yes/no]: no\n" + (q1 + q2).decode() +
                                                    "Overwrite? --More-- $ Key: ********\n", "$ "),
                        rec(2, "exit", "", "$ "), end("file-done", 0, 2, host_bytes(steps), 33)], path)])]
    # A host that asks for ever is answered 100 times for one line; then the limit ends it.
    ask = [("send", b"$ "), ("expect", b"go\n")] + [("send", b"Sure? "), ("expect", b"y\n")] * 100 + \
        [("send", b"Sure? "), ("silence", 0.5)]
    rows.append(session("-A: at most 100 answers for one line", Host(*ask), [banner(seconds=2), b"$ ", b"Sure? " * 101,
                        NO_RESPONSE, END], b"go\n", b"go\n" + b"y\n" * 100, seconds=2, opts=["-e", "-A", "Sure? =y"]))
    keys = [("send", b"$ "), ("expect", b"conf t\r\n"), ("send", b"sw1(config)# "), ("expect", b"\x1a"),
            ("send", b"sw1# "), ("expect", b"\xff\xf3"), ("send", b"$ "), ("expect", b"x\x03 ^1\r\n"), ("send", b"$ ")]
    rows += [session("-K: keys and Telnet commands, a line of keys alone without its line end", Host(*keys), None,
                     b"conf t\n^Z\n<BREAK>\nx^c ^1\n", b"conf t\r\n\x1a\xff\xf3x\x03 ^1\r\n", opts=["-K", "-L", "crlf", "-v"],
                     stderr=None, checks=[lambda run: None if re.findall(rb"line \d: keys [^\r\n]*", run.err) == [
                         b"line 2: keys ^Z", b"line 3: keys <BREAK>", b"line 4: keys ^c"] else "keys trace: %r" % run.err]),
             session("without -K a ^C is sent as written", Host(("send", b"$ "), ("expect", b"^C\n"), ("send", b"$ ")),
                     [banner(), b"$ $ ", END], b"^C\n", b"^C\n")]
    # A console whose prompt came before: a line end after 1 s of silence, three at most; none once a line went.
    # The limit counts from the last wake.
    wake = lambda n: lambda run: None if run.err.count(b"ravlo: wake") == n else "wakes: %r" % run.err  # noqa: E731
    rows += [session("--wake 1: a silent console woken, three times at most", Host(
        ("send", b"@@@ Welcome\r\n"), ("expect", b"\n"), ("expect", b"\n"), ("expect", b"\n"), ("silence", 1.5)),
        [banner(seconds=5), b"@@@ Welcome\r\n", NO_RESPONSE, END], b"x\n", b"\n\n\n", seconds=5,
        opts=["-e", "-v", "--wake", "1"], stderr=None, checks=[wake(3), elapsed_between(7.5, 12)]),
             session("--wake 1: the woken console's prompt takes the line; never woken after it", Host(
                 ("send", b"@@@ Welcome\r\n"), ("expect", b"\n"), ("send", b"$ "), ("expect", b"x\n"), ("silence", 2.5),
                 ("send", b"$ ")), [banner(), b"@@@ Welcome\r\n$ $ ", END], b"x\n", b"\nx\n",
                 opts=["-e", "-v", "--wake", "1"], stderr=None, checks=[wake(1)]),
             session("--wake none: never woken", Host(("send", b"@@@ Welcome\r\n"), ("silence", 2.5)),
                     [banner(seconds=2), b"@@@ Welcome\r\n", NO_RESPONSE, END], b"x\n", b"", seconds=2,
                     opts=["-e", "--wake", "none"])]
    return rows


TOKEN = "left-%d" % os.getpid()


def left_behind(run):
    """A process whose environment holds TOKEN, half a second after ravlo ended."""
    time.sleep(0.5)
    for pid in filter(str.isdigit, os.listdir("/proc")):
        try:
            with open("/proc/%s/environ" % pid, "rb") as f:
                if b"RAVLO_ROW=" + TOKEN.encode() in f.read():
                    return "process %s outlived the session" % pid
        except OSError:
            pass


def programs():
    """--exec: the program in a pseudo-terminal is the host; its end is the
    connection's end, and nothing it printed before is lost. What no real
    program shows on demand: printing and ending at once, ending while ravlo
    sends, a long output racing the terminal's end, a shell that cannot find
    the program; and more's padding of a short page, left out with -c."""
    def run(name, program, shown, commands=b"", opts=("-s",), rc=0, stdout=True, **kw):
        banner = "--- host(%s) link(exec) type(linux) timer(5s) fname(%s) 0x07BEL(enable)\n" % (program, CMD)
        return Scenario(name, list(opts) + ["--exec", program, "0", "5", CMD, "0"], commands,
                        stdout=[banner] + shown + [NO_RESPONSE, END] if stdout else None, rc=rc, only="posix",
                        why="a POSIX shell's command lines", **kw)
    prompt = "printf '$ '; read l; "
    at_once = [elapsed_between(0, 4)]
    numbers = b"".join(b"%d\r\n" % i for i in range(1, 5001))
    return [
        run("printing and ending at once: shown, -s 3", "printf 'bye\\n'", [b"bye\r\n"], b"c1\n", rc=3,
            checks=at_once),
        run("ended after the last line, typed with CR: -s 0", prompt + "echo got-$l", [b"$ c1\r\ngot-c1\r\n"],
            b"c1\n", opts=["-s", "-e"]),
        run("ending while a long line is sent: -s 3 at once", "stty -echo -icanon; printf '$ '; head -c 10 >/dev/null",
            [b"$ "], b"y" * (1 << 20) + b"\n", rc=3, checks=at_once),
        run("-K: a Telnet command's line passed over, the next typed at once", prompt + "echo got-$l",
            [b"$ c1\r\ngot-c1\r\n"], b"<BREAK>\nc1\n", opts=["-s", "-e", "-K"], checks=at_once),
        run("a program whose prompt came before is woken (--wake)", "read l; echo woken-$l.; " + prompt + "echo got-$l",
            [b"\r\nwoken-.\r\n$ c1\r\ngot-c1\r\n"], b"c1\n", opts=["-s", "-e", "--wake", "1"]),
        # An interactive shell that is not the session's leader, at work in a job of its own when the
        # deadline comes: nothing of it may stay behind.
        run("the end leaves no process behind", "env RAVLO_ROW=%s bash --norc -i; true" % TOKEN,
            [b"$ "], b"PS1='$ '; while :; do sleep 0.2; done\n", opts=["-e", "-c", "-L", "lf", "--deadline", "1"],
            stdout=None, checks=[left_behind]),
        run("a long output racing the terminal's end: all shown", prompt + "seq 5000", [b"$ c1\r\n" + numbers],
            b"c1\n", opts=["-s", "-e"]),
        run("a program the shell cannot find: its words, one line, at once", "nosuch-ravlo-program",
            [b"sh: 1: nosuch-ravlo-program: not found\r\n"], b"c1\n", opts=["-e"],
            stderr=["ravlo: cannot start nosuch-ravlo-program: the shell's exit status is 127\n"], checks=at_once),
        run("more's short page: no padding with -c", prompt + "printf 'c\\nd\\n' | TERM=vt100 more; " + prompt,
            [b"$ x\r\nc\r\nd\r\n$ y\r\n"], b"x\ny\n", opts=["-s", "-e", "-c"]),
        # Wine's own cmd.exe in a pseudo console: its prompt ends in ">", echo's output comes back.
        Scenario("cmd.exe: a line typed, its output shown, exit ends it: -s 0",
                 ["-s", "-e", "-c", "--exec", "cmd.exe", "2", "20", CMD, "0"], b"echo hello-42\nexit\n",
                 only="windows", why="Windows' own shell", checks=[
                     lambda run: None if b"\nhello-42" in run.out else "no output of echo in %r" % run.out[-300:]]),
    ]


GROUPS = {"serial": serial, "limits": limits, "programs": programs, "questions": questions, "records": records, "cli": cli, "session": sessions, "files": files,
          "timer": timer, "negotiation": negotiation, "hostile": hostile, "badinput": badinput,
          "options": options, "pagers": pagers}

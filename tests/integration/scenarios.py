"""The integration scenarios, one row each, in groups.

Expected standard output is a list of parts: bytes are the host's, shown as
received; str is ravlo's own text, encoded as the platform prints it.
"""
import atexit
import os
import random
import shutil
import subprocess
import tempfile

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
    def __init__(self, *steps):
        self.steps = list(steps)


class Scenario:
    def __init__(self, name, args, commands=b"", host=None, stdout=None, rc=0, stderr=(),
                 received=b"", checks=(), timeout=30, prepare=None, env=None, only=None, why="",
                 encoding=None, needs=None, runner=()):
        self.name, self.args, self.commands, self.host = name, args, commands, host
        self.runner = list(runner)  # put before the launcher and the binary
        self.stdout, self.rc, self.stderr = stdout, rc, list(stderr)
        self.received = received if host else None
        self.checks, self.timeout = list(checks), timeout
        self._prepare, self._env, self._only, self._why = prepare, env, only, why
        self.encoding, self._needs = encoding, needs

    def prepare(self, work):
        if self._prepare:
            self._prepare(work)

    def environment(self):
        return dict(os.environ, **(self._env or {}))

    def skip_reason(self, flavour):
        if self._only and self._only != flavour.name:
            return self._why or "holds on %s only" % self._only
        return self._needs() if self._needs else None


def session(name, host, stdout, commands=b"", received=b"", kind="2", seconds=10, bel="0", **kw):
    """A session against the scripted host with the usual arguments."""
    return Scenario(name, [LO, kind, str(seconds), CMD, bel], commands, host, stdout,
                    received=received, **kw)


def elapsed_between(low, high):
    def check(out, elapsed, host):
        if not low <= elapsed <= high:
            return "took %.2fs, expected %.1f to %.1fs" % (elapsed, low, high)
    return check


def never_shows(secret):
    def check(out, elapsed, host):
        if secret in out:
            return "standard output shows %r" % secret
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
    prompt_then_end = Host(("send", b"$ "))
    rows = [
        Scenario("no arguments", [], stdout=[USAGE], rc=255),
        Scenario("four arguments", [LO, "2", "10", CMD], stdout=[USAGE], rc=255),
        Scenario("six arguments", [LO, "2", "10", CMD, "0", "x"], stdout=[USAGE], rc=255),
        Scenario("unresolvable host", ["nonexistent.invalid", "2", "10", CMD, "0"],
                 stdout=["ホスト名の取得に失敗しました : nonexistent.invalid\n"], rc=255),
        Scenario("missing command file", [LO, "2", "10", "missing.txt", "0"], commands=None,
                 stdout=["ファイルがopenできません: missing.txt\n"], rc=255),
        Scenario("host is checked before the file", ["nonexistent.invalid", "2", "10", "missing.txt", "0"],
                 commands=None, stdout=["ホスト名の取得に失敗しました : nonexistent.invalid\n"], rc=255),
        Scenario("directory as command file", [LO, "2", "10", ".", "0"],
                 stdout=["ファイルがopenできません: .\n"], rc=255),
    ]
    # Messages follow the locale's codeset; the host's bytes never change.
    sjis = {"LOCPATH": sjis_locale() or "", "LC_ALL": "ja_JP.SJIS"}
    no_locale = lambda: None if sjis_locale() else "localedef cannot make a Shift_JIS locale here"
    rows += [
        Scenario("usage in a Shift_JIS locale", [], stdout=[USAGE], rc=255, encoding="cp932",
                 env=sjis, needs=no_locale, only="posix", why="Windows always prints code page 932"),
        Scenario("messages in a Shift_JIS locale", [LO, "2", "10", os.fsdecode(b"missing\x82\xa0.txt"), "0"],
                 commands=None, rc=255, env=sjis, needs=no_locale, only="posix",
                 why="Windows always prints code page 932",
                 stdout=["ファイルがopenできません: ".encode("cp932"), b"missing\x82\xa0.txt\n"]),
    ]
    for value in ["0", "-3", "x", "-99999999999", ""]:
        rows.append(Scenario("response limit %r refused" % value, [LO, "2", value, CMD, "0"],
                             stdout=[USAGE], rc=255))
    rows.append(Scenario("BEL setting -1 refused", [LO, "2", "10", CMD, "-1"], stdout=[USAGE], rc=255))
    # Wine's multimedia timer refuses delays above 65535 ms (Windows takes up to
    # 1000000), so there a 600 s limit adds "timeSetEvent()が失敗しました。".
    long_limit = dict(only="posix", why="Wine's timeSetEvent refuses delays above 65535 ms")
    # Accepted arguments: the banner shows how they were read.
    for kind, seconds, bel, shown in [
            ("2", "700", "0", banner(seconds=600)),
            ("2", "99999999999", "0", banner(seconds=600)),
            ("2", " 30s", "0", banner(seconds=30)),
            ("2", "10", "5", banner(bel="disable")),
            ("2", "10", "1", banner(bel="disable")),
            ("00", "10", "0", banner()),
            ("linux", "10", "0", banner()),
            (" 0", "10", "0", banner())]:
        rows.append(Scenario("banner for type %r limit %r BEL %r" % (kind, seconds, bel),
                             [LO, kind, seconds, CMD, bel], b"", prompt_then_end,
                             [shown, b"$ ", END], **(long_limit if "600s" in shown else {})))
    return rows


def sessions():
    login = Host(
        ("send", b"Welcome to host\r\n"), ("pause", 0.05),
        ("send", b"host login: "), ("expect", b"demo\n"),
        ("send", b"Password: "), ("expect", b"s3cret\n"),
        ("send", b"Last login: Mon\r\n[demo ~]$ "), ("expect", b"uname\n"),
        ("send", b"Linux\r\n[demo ~]$ "), ("expect", b"echo hi\n"),
        ("send", b"hi\r\n[demo ~]$ "))
    return [
        session("login, password and commands", login,
                [banner(), b"Welcome to host\r\nhost login: Password: ", "********",
                 b"Last login: Mon\r\n[demo ~]$ Linux\r\n[demo ~]$ hi\r\n[demo ~]$ ", END],
                commands=b"demo\ns3cret\nuname\necho hi\n", received=b"demo\ns3cret\nuname\necho hi\n",
                checks=[never_shows(b"s3cret")]),
        session("command not found stops even before a prompt",
                Host(("send", b"$ "), ("expect", b"foo\n"),
                     ("send", b"bash: foo: command not found\r\n$ "), ("silence", 0.3)),
                [banner(), b"$ bash: foo: command not found\r\n$ ", KEYWORD, END],
                commands=b"foo\nbar\n", received=b"foo\n"),
        session("Login incorrect stops the session",
                Host(("send", b"login: "), ("expect", b"demo\n"), ("send", b"Password: "),
                     ("expect", b"bad\n"), ("send", b"\r\nLogin incorrect\r\nlogin: "), ("silence", 0.3)),
                [banner(), b"login: Password: ", "********", b"\r\nLogin incorrect\r\nlogin: ", KEYWORD, END],
                commands=b"demo\nbad\ndemo\n", received=b"demo\nbad\n"),
        session("BEL shown as it comes", Host(("send", b"ding\x07$ ")),
                [banner(), b"ding\x07$ ", END]),
        session("BEL replaced", Host(("send", b"\x07ding\x07\x07$ ")),
                [banner(bel="disable"), b"[0x07:BEL]ding[0x07:BEL][0x07:BEL]$ ", END], bel="1"),
        session("command file runs out at the fourth prompt",
                Host(*[step for n in (1, 2, 3) for step in
                       (("send", b"$ "), ("expect", b"c%d\n" % n))], ("send", b"$ "), ("silence", 0.3)),
                [banner(), b"$ $ $ $ ", END], commands=b"c1\nc2\nc3\n", received=b"c1\nc2\nc3\n"),
        session("empty command file ends at the first prompt", Host(("send", b"$ "), ("silence", 0.3)),
                [banner(), b"$ ", END]),
        session("zero bytes and Telnet bytes are shown as they come",
                Host(("send", b"$ a\x00b\xff\xfb\x01c")), [banner(), b"$ a\x00b\xff\xfb\x01c", END]),
        # Found only if all three segments, sent while ravlo waits, make one chunk.
        session("prompt in segments 0.3 ms apart is one chunk",
                Host(("pause", 0.2), ("segments", 0.0003, b"Pass", b"wo", b"rd: "), ("expect", b"pw\n"),
                     ("send", b"$ ")),
                [banner(), b"Password: ", "********", b"$ ", END], commands=b"pw\n", received=b"pw\n"),
    ]


def prompts():
    rows = []
    for chunk, is_prompt in [(b"done\r", True), (b"done\r\n", False), (b"<html>", True),
                             (b"Last login: Mon", False), (b"host login: ", True), (b"login:", False),
                             (b"ab\x00cd\r", False), (b"x\r\x00y", True), (b"ok] ", True),
                             (b"] ok", False), (b"Password:", False)]:
        steps = [("send", chunk)] if is_prompt else [("send", chunk), ("silence", 0.5), ("send", b"$ ")]
        steps += [("expect", b"one\n"), ("send", b"$ "), ("silence", 0.3)]
        rows.append(session("%r is %sa prompt" % (chunk, "" if is_prompt else "not "), Host(*steps),
                            [banner(), chunk] + ([] if is_prompt else [b"$ "]) + [b"$ ", END],
                            commands=b"one\n", received=b"one\n"))
    return rows


def sent(name, content, lines, **kw):
    """The host prompts once per line it expects, then once more: the file is done."""
    steps = [s for line in lines for s in (("send", b"$ "), ("expect", line))]
    steps += [("send", b"$ "), ("silence", 0.3)]
    return session(name, Host(*steps), [banner(), b"$ " * (len(lines) + 1), END],
                   commands=content, received=b"".join(lines), **kw)


def files():
    return [
        sent("CR LF ends a line as LF", b"a\r\nb\r\n", [b"a\n", b"b\n"]),
        sent("a lone CR is sent as it stands", b"a\rb\n", [b"a\rb\n"]),
        sent("0x1A ends the file", b"a\n\x1ab\n", [b"a\n"]),
        sent("text before 0x1A is the last line", b"a\nbc\x1ad\n", [b"a\n", b"bc"]),
        sent("last line without line end", b"a\nb", [b"a\n", b"b"]),
        sent("empty line sends its LF", b"\nx\n", [b"\n", b"x\n"]),
        sent("300-character line sent whole", b"y" * 300 + b"\nz\n", [b"y" * 300 + b"\n", b"z\n"]),
        sent("255-character line sent whole", b"w" * 255 + b"\n", [b"w" * 255 + b"\n"]),
        sent("zero byte inside a line is sent", b"a\x00b\n", [b"a\x00b\n"]),
        sent("IAC is not doubled", b"\xff\n", [b"\xff\n"]),
    ]


def timer():
    slack = 1.0
    answering = [("send", b"$ ")]
    for n in range(1, 7):
        answering += [("expect", b"c%d\n" % n), ("pause", 0.4), ("send", b"out%d\r\n$ " % n)]
    return [
        session("silent host ends by the limit", Host(("hold",)), [banner(seconds=2), NO_RESPONSE, END],
                seconds=2, checks=[elapsed_between(1.9, 3 + slack)]),
        session("host answering every 0.4s never times out", Host(*answering),
                [banner(seconds=1), b"$ "] + [b"out%d\r\n$ " % n for n in range(1, 7)] + [END],
                commands=b"".join(b"c%d\n" % n for n in range(1, 7)),
                received=b"".join(b"c%d\n" % n for n in range(1, 7)), seconds=1),
        session("host pausing 2s after an answer ends by the limit",
                Host(("send", b"$ "), ("expect", b"c1\n"), ("pause", 2.5), ("send", b"late$ ")),
                [banner(seconds=1), b"$ ", NO_RESPONSE, END], commands=b"c1\nc2\n", received=b"c1\n",
                seconds=1, checks=[elapsed_between(0.9, 2 + slack)]),
        session("host closing after the last prompt ends by the limit",
                Host(("send", b"$ "), ("expect", b"c1\n"), ("close",)),
                [banner(seconds=1), b"$ ", NO_RESPONSE, END], commands=b"c1\nc2\n", received=b"c1\n",
                seconds=1, checks=[elapsed_between(0.9, 2 + slack)]),
        Scenario("nothing listening ends by the limit", [LO, "2", "1", CMD, "0"],
                 stdout=[banner(seconds=1), NO_RESPONSE, END], checks=[elapsed_between(0.9, 2 + slack)]),
    ]


def negotiation():
    def opening(name, kind, label, replies):
        steps = []
        for n, reply in enumerate(replies):
            steps += [("send", OPENING + b"chunk%d " % (n + 1)), ("expect", reply)]
        shown = b"chunk%d login: " % (len(replies) + 1)
        steps += [("send", shown), ("expect", b"demo\n"), ("send", b"$ "), ("silence", 0.3)]
        return session(name, Host(*steps), [banner(kind=label), shown, b"$ ", END], kind=kind,
                       commands=b"demo\n", received=b"".join(replies) + b"demo\n")
    return [
        opening("linux answers three chunks, shows the fourth", "0", "linux", [L1, L2, L3]),
        opening("unix answers two chunks, shows the third", "1", "unix", [U1, U2]),
        opening("other answers nothing, shows the first", "2", "other", []),
        session("linux host silent after two chunks shows nothing",
                Host(("send", OPENING), ("expect", L1), ("send", b"login: "), ("expect", L2), ("hold",)),
                [banner(kind="linux", seconds=1), NO_RESPONSE, END], kind="0", seconds=1,
                received=L1 + L2),
    ]


def sends_only(line):
    """The host received nothing but whole copies of this line (any number)."""
    def check(out, elapsed, host):
        got = bytes(host.received)
        if got.replace(line, b""):
            return "host received more than copies of %r: '%s'" % (line, show_start(got))
    return check


def show_start(data, limit=200):
    return repr(bytes(data[:limit]))[2:-1] + ("..." if len(data) > limit else "")


def read_by(last_step):
    """A host that reads on must have been sent something."""
    def check(out, elapsed, host):
        if last_step[0] == "discard" and host.discarded == 0:
            return "the host was sent nothing"
    return check


def hostile():
    """Broken or hostile hosts: each session ends by its rules, showing every byte."""
    slack = 1.0
    noise = random.Random(6).randbytes(64 * 1024)
    for text in (b"command not found", b"Login incorrect", b"assword: "):
        assert text not in noise  # would end or mark the session: not what this row probes
    # More lines than the host can ask for: one per chunk, at most one chunk per byte.
    plenty = b"x\n" * (70 * 1024)
    burst = b"".join(b"line %05d of a long listing\n" % n for n in range(1200))  # ~34 KiB, no prompt
    full_cr = b"a" * 10239 + b"\r"
    rows = [
        session("random bytes, then silence", Host(("send", noise)),
                [banner(seconds=1), noise, NO_RESPONSE, END], commands=plenty, received=None,
                seconds=1, checks=[sends_only(b"x\n")]),
        session("burst larger than a chunk ends at its closing prompt", Host(("send", burst + b">")),
                [banner(), burst, b">", END]),
        session("10240 bytes ending in CR are one prompt",
                Host(("send", full_cr), ("expect", b"one\n"), ("send", b"$ "), ("silence", 0.3)),
                [banner(), full_cr, b"$ ", END], commands=b"one\n", received=b"one\n"),
        # The full chunk is answered before the host goes on: the reply to it waits, then settles.
        session("segments after a full chunk are one chunk",
                Host(("send", full_cr), ("expect", b"one\n"), ("pause", 0.2),
                     ("segments", 0.0003, b"Pass", b"wo", b"rd: "), ("expect", b"pw\n"), ("send", b"$ ")),
                [banner(), full_cr, b"Password: ", "********", b"$ ", END], commands=b"one\npw\n",
                received=b"one\npw\n"),
        session("10241 bytes ending in CR",
                Host(("send", b"b" + full_cr), ("expect", b"one\n"), ("send", b"$ "), ("silence", 0.3)),
                [banner(), b"b" + full_cr, b"$ ", END], commands=b"one\n", received=b"one\n"),
    ]
    for name, flood in [("IAC", b"\xff" * 50000), ("NUL", b"\x00" * 50000)]:
        rows.append(session("flood of %s bytes, then silence" % name, Host(("send", flood), ("hold",)),
                            [banner(seconds=1), flood, NO_RESPONSE, END], seconds=1))
    for name, flood in [("CR", b"\r" * 50000), ("CR NUL", b"\r\x00" * 25000)]:
        # Every chunk ends in a bare CR, so every chunk is a prompt.
        rows.append(session("flood of %s bytes answered line by line" % name, Host(("send", flood)),
                            [banner(seconds=1), flood, NO_RESPONSE, END], commands=plenty,
                            received=None, seconds=1, checks=[sends_only(b"x\n")]))
    rows += [
        session("connection reset mid-session ends by the limit",
                Host(("send", b"$ "), ("expect", b"c1\n"), ("send", b"out\r\n$ "), ("expect", b"c2\n"),
                     ("reset",)),
                [banner(seconds=1), b"$ out\r\n$ ", NO_RESPONSE, END], commands=b"c1\nc2\nc3\n",
                received=b"c1\nc2\n", seconds=1, checks=[elapsed_between(0.9, 3 + slack)]),
        # 16 MiB is more than both ends' socket buffers hold: the send must give up.
        session("host that never reads a very long line ends by the limit",
                Host(("send", b"$ "), ("hold",)), [banner(seconds=1), b"$ ", NO_RESPONSE, END],
                commands=b"y" * (16 << 20) + b"\n", seconds=1, checks=[elapsed_between(0.9, 3 + slack)]),
    ]
    # A command line without end, to a host that never reads and to one that reads it all.
    for what, last in [("never reads", ("hold",)), ("reads on", ("discard",))]:
        rows.append(Scenario("endless command line to a host that %s ends by the limit" % what,
                             [LO, "2", "1", "/dev/zero", "0"], None, Host(("send", b"$ "), last),
                             [banner(seconds=1, fname="/dev/zero"), b"$ ", NO_RESPONSE, END],
                             received=b"", checks=[elapsed_between(0.9, 3 + slack), read_by(last)],
                             only="posix", why="no endless file on Windows"))
    return rows


def badinput():
    """Unfit command files, hosts and numbers: the right message and status, never a crash."""
    def unreadable(work):
        os.chmod(os.path.join(work, CMD), 0)

    # Root reads any file; without these two capabilities it is refused like anyone.
    runner, skip = [], None
    if os.geteuid() == 0:
        if shutil.which("setpriv"):
            runner = ["setpriv", "--inh-caps=-all", "--bounding-set=-dac_override,-dac_read_search", "--"]
        else:
            skip = "running as root, which reads any file, and setpriv is missing to drop that"
    lookup_failed = "ホスト名の取得に失敗しました : "
    huge_size = 10000  # far past any buffer, well inside Windows' 32767-character command line
    binary = bytes(b for b in random.Random(4).randbytes(4096) if b not in b"\r\x1a")
    binary_lines = [line + b"\n" for line in binary.split(b"\n")[:-1]] + [binary.rsplit(b"\n", 1)[1]]
    rows = [
        Scenario("unreadable command file", [LO, "2", "10", CMD, "0"], commands=b"x\n",
                 prepare=unreadable, runner=runner, needs=lambda: skip,
                 stdout=["ファイルがopenできません: " + CMD + "\n"], rc=255, only="posix",
                 why="under Wine the file is opened by wineserver, which keeps root's capabilities"),
        Scenario("file name with printf conversions", [LO, "2", "10", "%s%n%x", "0"], commands=None,
                 stdout=["ファイルがopenできません: %s%n%x\n"], rc=255),
        Scenario("empty file name", [LO, "2", "10", "", "0"], commands=None,
                 stdout=["ファイルがopenできません: \n"], rc=255),
        # Zero bytes, a lone CR, then 0x1A ends the file mid-line.
        sent("binary command file", bytes(range(256)) * 2, [bytes(range(11)), bytes(range(11, 26))]),
        sent("random binary command file", binary, [line for line in binary_lines if line]),
        sent("1 MiB line sent whole", b"y" * (1 << 20) + b"\n", [b"y" * (1 << 20) + b"\n"]),
        Scenario("empty host", ["", "2", "10", CMD, "0"], stdout=[lookup_failed + "\n"], rc=255,
                 only="posix", why="Windows looks an empty name up as this machine"),
        Scenario("huge host name", ["a" * huge_size, "2", "10", CMD, "0"],
                 stdout=[lookup_failed + "a" * huge_size + "\n"], rc=255),
        Scenario("host with printf conversions", ["%s%n%x", "2", "10", CMD, "0"],
                 stdout=[lookup_failed + "%s%n%x\n"], rc=255),
        Scenario("dotted host with five parts", ["1.2.3.4.5", "2", "10", CMD, "0"],
                 stdout=[lookup_failed + "1.2.3.4.5\n"], rc=255),
        Scenario("non-ASCII host", ["ホスト", "2", "10", CMD, "0"], stdout=[lookup_failed + "ホスト\n"],
                 rc=255, only="posix", why="arguments reach the program as bytes on POSIX only"),
        Scenario("host of undecodable bytes", [os.fsdecode(b"\xff\xfe\x80"), "2", "10", CMD, "0"],
                 stdout=[lookup_failed, b"\xff\xfe\x80", "\n"], rc=255, only="posix",
                 why="arguments reach the program as bytes on POSIX only"),
    ]
    huge, minus_huge = "1" + "0" * huge_size, "-" + "9" * huge_size
    # Windows may map fullwidth digits to ASCII ones on their way to the program.
    fullwidth = dict(only="posix", why="Windows may read fullwidth digits as ASCII (best-fit mapping)")
    for what, limit, bel, kw in [("huge negative limit", minus_huge, "0", {}),
                                 ("fullwidth digits as limit", "３０", "0", fullwidth),
                                 ("huge negative BEL setting", "10", minus_huge, {})]:
        rows.append(Scenario(what + " refused", [LO, "2", limit, CMD, bel], stdout=[USAGE], rc=255, **kw))
    prompt_then_end = Host(("send", b"$ "))
    for what, kind, limit, bel, shown, kw in [
            ("huge limit is 600", "2", huge, "0", banner(seconds=600),
             dict(only="posix", why="Wine's timeSetEvent refuses delays above 65535 ms")),
            ("limit followed by kanji", "2", "30秒", "0", banner(seconds=30), {}),
            ("limit after white space", "2", "\t\n 7", "0", banner(seconds=7), {}),
            ("empty BEL setting", "2", "10", "", banner(), {}),
            ("fullwidth BEL setting", "2", "10", "１", banner(), fullwidth),
            ("huge BEL setting", "2", "10", huge, banner(bel="disable"), {}),
            ("empty type", "", "10", "0", banner(), {}),
            ("fullwidth type", "０", "10", "0", banner(), fullwidth)]:
        rows.append(Scenario(what, [LO, kind, limit, CMD, bel], b"", prompt_then_end, [shown, b"$ ", END], **kw))
    return rows


GROUPS = {"cli": cli, "session": sessions, "prompts": prompts, "files": files,
          "timer": timer, "negotiation": negotiation, "hostile": hostile, "badinput": badinput}

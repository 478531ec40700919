#!/usr/bin/env python3
"""Logs ravlo into real SSH servers nobody here wrote (tools/realservers.py:
OpenSSH's sshd, Dropbear, FRR's vtysh as an account's shell) with --ssh and
the invocation the README recommends, and checks: the status, the last
command's output, the password masked and never shown, no line typed before
its prompt. Then what ssh itself says: a refused password, an unknown host
key (left alone, and answered with -A), a port nobody listens on; each ends
at once, typing nothing more. With --cut the logins go through links that
cut the server's text into pieces with pauses between them.

Needs root; exit 77 (reason printed) where no server can run, 1 where this one is not installed.
"""
import argparse
import json
import os
import re
import subprocess
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "..", "tools"))
import realservers  # noqa: E402

FLAGS = ["--ssh", "-s", "-e", "-c", "-v", "-k", "RAVLO_PASSWORD"]
PASSWORD = "${RAVLO_PASSWORD}"
MARKER = {"vtysh": b"hostname edge-rtr1"}
HOST_KEY_ANSWER = ["-A", "(yes/no/[fingerprint])? =yes"]
# name: (server, the login's lines, options, host key, what the session must end with)
#   end: 0 (the work done), or (status, trace line that must say why) for ssh's own words.
ROWS = {
    "more at 80x24, records": ("openssh", [PASSWORD, "more {file}"], ["--window", "80x24", "-j", "{records}"],
                               "known", 0),
    "a question answered (-A)": ("openssh", [PASSWORD] + realservers.WORKLOADS["rm-i"],
                                 realservers.WORKLOAD_OPTIONS["rm-i"], "known", 0),
    "key login": ("openssh", ["more {file}"], ["-o", "key"], "known", 0),
    "dropbear: more at 80x24": ("dropbear", [PASSWORD, "more {file}"], ["--window", "80x24"], "known", 0),
    "vtysh: its configuration paged at 80x24": ("vtysh", [PASSWORD, "show running-config"], ["--window", "80x24"],
                                                 "known", 0),
    "a refused password: no second try": ("dropbear", ["wrong-password", PASSWORD], [], "known",
                                          (1, b'ssh says "Permission denied, please try again."')),
    "an unknown host key: nothing typed": ("openssh", [PASSWORD], [], "unknown",
                                           (1, b'ssh says "Are you sure you want to continue connecting"')),
    "an unknown host key answered by -A": ("openssh", [PASSWORD], HOST_KEY_ANSWER, "unknown", 0),
    "a changed host key": ("openssh", [PASSWORD], [], "changed", (1, b'ssh says "Host key verification failed."')),
    "nobody listening: at once": ("closed", [PASSWORD], [], "known", (3, b'ssh says "ssh: connect to host "')),
}
CUT_ROWS = {server: (server, [PASSWORD] + (["show running-config"] if server == "vtysh" else []), [], "known", 0)
            for server in ("openssh", "dropbear", "vtysh")}


def fill(text, paths):
    """The text with {file} and {records} as paths; ${NAME}s stay for ravlo."""
    for name, path in paths.items():
        text = text.replace("{%s}" % name, path)
    return text


def session(lab, binary, row, launcher, cut=None, seed=0):
    """(status, transcript, standard error) of one row, through a CuttingLink when cut is "SIZE,PAUSE_MS".
    ssh says nothing until the password prompt: through the cut pieces its key exchange alone takes
    seconds, more on a busy machine, so the limit there is only a safety net."""
    server, lines, extra, host_key, _ = row
    paths = dict(file=os.path.join(lab.work, "long.txt"), records=os.path.join(lab.work, "records.jsonl"))
    lines = [fill(line, paths) for line in lines + ([] if server == "vtysh" else realservers.SHELL_COMMANDS)]
    with open(os.path.join(lab.work, "commands.txt"), "w") as f:
        f.write("".join(line + "\n" for line in lines))
    target = "openssh" if server == "closed" else server
    port = realservers.SSH_PORTS[target] + (777 if server == "closed" else 0)
    link = cut and realservers.CuttingLink(port, *map(int, cut.split(",")), seed=seed)
    options = [fill(o, paths) for o in extra if o not in ("-o", "key")]
    command = list(launcher) + [binary] + FLAGS + ["-p", str(link.port if link else port)] + options + \
        lab.ssh_options(target, "key" in extra, host_key) + \
        ["127.0.0.1", "2", "40" if cut else "10", os.path.join(lab.work, "commands.txt"), "1"]
    try:
        proc = subprocess.run(command, stdin=subprocess.DEVNULL, capture_output=True, timeout=300,
                              env=dict(os.environ, RAVLO_PASSWORD=lab.password))
        return proc.returncode, proc.stdout, proc.stderr, lines
    except subprocess.TimeoutExpired as timeout:
        return "timeout", timeout.stdout or b"", timeout.stderr or b"", lines
    finally:
        if link:
            link.close()


def check(lab, row, status, out, err, lines):
    """What the row must show; a list of problems."""
    server, _, extra, _, end = row
    text = realservers.ESCAPES.sub(b"", out)
    sent = len(re.findall(rb"^ravlo: line \d+: \d+ bytes sent", err, re.M))
    problems = [] if lab.password.encode() not in out else ["the password was shown"]
    if end != 0:
        status_wanted, why = end
        # A refusal or an unreachable host types nothing past the line that was refused.
        typed = 1 if lines[0] == "wrong-password" else 0
        return problems + [p for ok, p in (
            (status == status_wanted, "status %s, not %s" % (status, status_wanted)),
            (why in err, "the trace does not say %r: %r" % (why, err[-400:])),
            (sent == typed, "%d lines typed, not %d" % (sent, typed))) if not ok]
    marker = MARKER.get(server, b"hello-from-42")
    problems += [p for ok, p in (
        (status == 0, "status %s" % status), (marker in text, "%r missing" % marker),
        (sent == len(lines), "%d of %d lines typed" % (sent, len(lines))),
        (PASSWORD not in lines or b"********" in out, "the password prompt got no mask")) if not ok]
    problems += ["typed before its prompt: %s" % line for line in realservers.typed_ahead(lines, out)]
    # The long output in order (more's), no pager's prompt or erasing left in the clean transcript.
    problems += lab.paging_problems(server, out) if "more {file}" in row[1] else \
        ["a pager's prompt or erase bytes: %r" % m for m in realservers.PAGED.findall(text)[:1]]
    if "-j" in extra:
        with open(os.path.join(lab.work, "records.jsonl"), "rb") as f:
            records = [json.loads(line) for line in f]
        if records[-1].get("end") != "file-done" or not any("********" == r.get("input") for r in records):
            problems.append("records: %r" % records[-2:])
    return problems


def main(argv):
    parser = argparse.ArgumentParser()
    parser.add_argument("--binary", required=True)
    parser.add_argument("--launcher", default="", help="runs the binary, e.g. wine")
    parser.add_argument("--repeat", type=int, default=1)
    parser.add_argument("--cut", action="append", default=[], metavar="SIZE,PAUSE_MS",
                        help="logins alone, through links cutting into pieces of 1..SIZE bytes")
    options = parser.parse_args(argv[1:])
    realservers.require(*(realservers.missing(server) for server in ("openssh", "dropbear", "vtysh")))
    realservers.enter([os.path.abspath(__file__)] + argv[1:])
    rows = [(c, name, CUT_ROWS[name]) for c in options.cut for name in CUT_ROWS] or \
        [(None, name, row) for name, row in ROWS.items()]
    failed = 0
    with realservers.Lab(short=bool(options.cut)) as lab:
        lab.workload = "more"  # the long file, for paging_problems
        for server in ("openssh", "dropbear", "vtysh"):
            lab.start(server)
        for cut, name, row in rows:
            for run in range(options.repeat):
                status, out, err, lines = session(lab, os.path.abspath(options.binary), row,
                                                  options.launcher.split(), cut, run)
                problems = check(lab, row, status, out, err, lines)
                print("%s %s%s" % ("FAIL" if problems else "ok  ", name, " cut %s" % cut if cut else ""))
                if problems:
                    print("".join("    %s\n" % p for p in problems) + "    transcript: '%s'\n    trace: %r"
                          % (realservers.fakehost.show(out[-600:]), err[-600:]), flush=True)
                failed += bool(problems)
    print("%d passed, %d failed" % (len(rows) * options.repeat - failed, failed))
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))

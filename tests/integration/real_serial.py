#!/usr/bin/env python3
"""Logs ravlo into real consoles over serial lines that socat makes of
pseudo-terminal pairs (no hardware): /bin/login, FRR's vtysh, and agetty
whose prompt was read and dropped before ravlo opened the line (the wake
brings it back, as on a real console). With the README's recommended
invocation (--serial 115200 -s -e -c) and real work after the login: long
output paged on the far side's 80x24 terminal, a question answered (-A),
records. Checks the status, the last command's output, the password masked,
no line typed before its prompt, the rate the line ran at.

Needs root; exit 77 (reason printed) where the lab cannot run, 1 where a program is missing.
"""
import argparse
import json
import os
import re
import select
import subprocess
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "..", "tools"))
import realservers  # noqa: E402

PASSWORD = "${RAVLO_PASSWORD}"
# name: (the far side, the lines after the name, options, what the output must hold)
CONSOLES = {
    "login": ("/bin/login", [PASSWORD, "stty rows 24 cols 80", "more {file}", "touch q.x", "rm -i q.x",
                             "test -e q.x || echo gone-$((6*7))"] + realservers.SHELL_COMMANDS,
              ["-j", "{records}"] + realservers.WORKLOAD_OPTIONS["rm-i"], [b"gone-42"]),
    "vtysh": ("/usr/bin/vtysh", ["show version", "show running-config"], [], [b"hostname edge-rtr1"]),
    "agetty, its prompt gone": ("/sbin/agetty --noclear -L - 115200 vt100", [PASSWORD] + realservers.SHELL_COMMANDS,
                                [], [b"hello-from-42"]),
}


def console(lab, far, device):
    """A serial line at device with far on its other end; returns the socat process."""
    process = subprocess.Popen(["socat", "pty,raw,echo=0,link=" + device, "EXEC:%s,pty,setsid,ctty,stderr" % far],
                               stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    for _ in range(500):
        if os.path.exists(device):
            break
        time.sleep(0.01)
    time.sleep(0.5)  # the far side's prompt is in the line before ravlo opens it
    return process


def drop_prompt(device):
    """The getty's prompt read and dropped once it came, as a console's is when nobody was there."""
    fd, seen, until = os.open(device, os.O_RDWR | os.O_NOCTTY), b"", time.monotonic() + 10
    while not seen.endswith(b"login: ") and time.monotonic() < until:
        if select.select([fd], [], [], 0.1)[0]:
            seen += os.read(fd, 4096)
    os.close(fd)


def run(lab, binary, name, launcher):
    far, lines, extra, markers = CONSOLES[name]
    device, records = os.path.join(lab.work, "console"), os.path.join(lab.work, "records.jsonl")
    fill = {"{file}": os.path.join(lab.work, "long.txt"), "{records}": records, "{device}": device}
    lines = ([] if name == "vtysh" else [lab.name]) + lines
    lines = [re.sub(r"\{\w+\}", lambda m: fill.get(m.group(0), m.group(0)), line) for line in lines]
    with open(os.path.join(lab.work, "commands.txt"), "w") as f:
        f.write("".join(line + "\n" for line in lines))
    process = console(lab, far, device)
    if name.startswith("agetty"):
        drop_prompt(device)
    try:
        command = list(launcher) + [binary, "--serial", "115200", "-s", "-e", "-c", "-v", "-k", "RAVLO_PASSWORD"] + \
            [re.sub(r"\{\w+\}", lambda m: fill.get(m.group(0), m.group(0)), o) for o in extra] + \
            [device, "2", "10", os.path.join(lab.work, "commands.txt"), "1"]
        proc = subprocess.run(command, stdin=subprocess.DEVNULL, capture_output=True, timeout=120,
                              env=dict(os.environ, RAVLO_PASSWORD=lab.password))
    finally:
        realservers.stop(process)
    text = realservers.ESCAPES.sub(b"", proc.stdout)
    problems = [p for ok, p in (
        (proc.returncode == 0, "status %s" % proc.returncode),
        (lab.password.encode() not in proc.stdout, "the password was shown"),
        (PASSWORD not in lines or b"********" in proc.stdout, "the password prompt got no mask"),
        (not name.startswith("agetty") or b"ravlo: wake 1" in proc.stderr, "the console was not woken")) if not ok]
    problems += ["%r missing" % m for m in markers if m not in text]
    problems += ["typed before its prompt: %s" % line for line in realservers.typed_ahead(lines, proc.stdout)]
    if "more" in " ".join(lines):
        problems += lab.paging_problems("login", proc.stdout)
    if "-j" in extra:
        with open(records, "rb") as f:
            last = [json.loads(line) for line in f][-1]
        problems += [] if last.get("end") == "file-done" else ["end record %r" % last]
    return problems + (["transcript: '%s'" % realservers.fakehost.show(proc.stdout[-500:]),
                        "trace: %r" % proc.stderr[-500:]] if problems else [])


def main(argv):
    parser = argparse.ArgumentParser()
    parser.add_argument("--binary", required=True)
    parser.add_argument("--launcher", default="")
    parser.add_argument("--repeat", type=int, default=1)
    options = parser.parse_args(argv[1:])
    realservers.require(realservers.missing("frr"), *(
        "needs %s" % p for p in ("/usr/bin/socat", "/sbin/agetty") if not os.access(p, os.X_OK)))
    realservers.enter([os.path.abspath(__file__)] + argv[1:])
    failed = 0
    with realservers.Lab() as lab:
        lab.workload = "more"
        lab.start("frr")
        for name in CONSOLES:
            for _ in range(options.repeat):
                problems = run(lab, os.path.abspath(options.binary), name, options.launcher.split())
                print("%s %s" % ("FAIL" if problems else "ok  ", name))
                print("".join("    %s\n" % p for p in problems), end="", flush=True)
                failed += bool(problems)
    print("%d passed, %d failed" % (len(CONSOLES) * options.repeat - failed, failed))
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))

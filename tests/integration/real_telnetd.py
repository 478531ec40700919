#!/usr/bin/env python3
"""Logs ravlo into real Telnet servers nobody here wrote (tools/realservers.py),
each with the invocation the README recommends for it, and checks: status 0,
the last command's output in the transcript, the passwords masked and never
shown, and no line typed before its prompt (each echo follows a prompt).
With --cut the sessions go through links that cut the server's text into
pieces with pauses between them (realservers.CuttingLink); with --banner the
server greets with lines that end in "#" and ">".

Needs root; exit 77 (reason printed) where no server can run, 1 where this one is not installed.
"""
import argparse
import json
import os
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "..", "tools"))
import realservers  # noqa: E402
from run import WineServer  # noqa: E402

# The options and target type of README.md's "Which options for which server", the same for
# every server (the device and procServ: docs/servers.md's "Line ends and the device hosts").
RECOMMENDED = (["-t", "-e", "-c"], "2")


def check(lab, server, status, out, err):
    """The session runs with -v: standard error holds the trace alone, and a
    server that shows its prompt by itself is never woken."""
    done, ahead = lab.verdict(server, status, out)
    lines = err.replace(b"\r\n", b"\n").splitlines()
    woken = server not in realservers.NO_LOGIN and any(line.startswith(b"ravlo: wake") for line in lines)
    problems = [message for ok, message in (
        (status == 0 and all(line.startswith(b"ravlo: ") for line in lines), "status %s, stderr %r" % (status, err)),
        (not woken, "woken, though it shows its prompt by itself: %r" % err),
        (done, "the last command's output %r is missing" % realservers.MARKERS[server]),
        ((b"Password: ********" in out or server in realservers.NO_LOGIN)
         and not any(p in out for p in lab.secrets()),
         "a password was shown, or not masked"),
        (not ahead, "typed before their prompt: %s" % ahead)) if not ok] + lab.paging_problems(server, out)
    return problems + (["transcript: '%s'" % realservers.fakehost.show(out)] if problems else [])


def check_records(lab, server, path):
    """Every record parses; FRR's configuration comes back as zebra was started with it."""
    try:
        with open(path, "rb") as f:
            records = [json.loads(line) for line in f]
    except (OSError, ValueError) as error:
        return ["records unreadable: %s" % error]
    if server != "frr":
        return [] if records and records[-1].get("end") == "file-done" else ["no end record: %r" % records[-1:]]
    shown = [r["output"] for r in records if r.get("input") == "show running-config"]
    config = lab.frr_config.splitlines()
    # FRR's own comments ("!" lines) aside.
    lines = [line for line in shown[0].splitlines() if not line.startswith("!")] if shown else []
    if config[0] not in lines or lines[lines.index(config[0]):lines.index(config[0]) + len(config)] != config:
        return ["show running-config: expected %r after the header, got %r" % (config, shown)]
    return []


def main(argv):
    parser = argparse.ArgumentParser()
    parser.add_argument("--binary", required=True)
    parser.add_argument("--server", required=True, choices=sorted(realservers.PORTS))
    parser.add_argument("--launcher", default="", help="runs the binary, e.g. wine")
    parser.add_argument("--repeat", type=int, default=1)
    parser.add_argument("--cut", action="append", default=[], metavar="SIZE,PAUSE_MS",
                        help="through a link cutting into pieces of 1..SIZE bytes, pauses up to PAUSE_MS")
    parser.add_argument("--banner", action="store_true")
    parser.add_argument("--workload", action="append", choices=sorted(realservers.WORKLOADS),
                        help="long output a pager holds (realservers.WORKLOADS); by default the server's own")
    options = parser.parse_args(argv[1:])
    realservers.require(realservers.missing(options.server))
    realservers.enter([os.path.abspath(__file__)] + argv[1:])
    flags, kind = RECOMMENDED
    # Through the cutting links the login alone: its prompts are what a cut can break.
    workloads = options.workload or (["login"] if options.cut else
                                     realservers.SERVER_WORKLOADS.get(options.server, realservers.SHELL_WORKLOADS))
    flags = flags + ["-v"]
    wine, failed = WineServer(options.launcher), 0
    wine.start()
    try:
        with realservers.Lab(options.banner, short=bool(options.cut)) as lab:
            lab.start(options.server)
            for cut, lab.workload in [(c, w) for c in options.cut or [None] for w in workloads]:
                for run in range(options.repeat):
                    log = []
                    for _retry in range(2):  # Wine may end a session at its start or its exit
                        status, out, err = lab.session(os.path.abspath(options.binary), options.server, flags, kind,
                                                       options.launcher.split(), cut=cut, seed=run)
                        if not wine.crashed(status, out):
                            break
                    problems = check(lab, options.server, status, out, wine.drop_noise(err, log))
                    if not cut:  # the same session with -j: the transcript as without, and the records
                        path = os.path.join(lab.work, "records.jsonl")
                        status, out, err = lab.session(os.path.abspath(options.binary), options.server,
                                                       flags + ["-j", path], kind, options.launcher.split())
                        problems += check(lab, options.server, status, out, wine.drop_noise(err, log))
                        problems += check_records(lab, options.server, path)
                    print("%s %s %s type %s%s" % ("FAIL" if problems else "ok  ", options.server, " ".join(flags),
                                                  kind, " cut %s" % cut if cut else "") + " " + lab.workload)
                    print("".join("    %s\n" % p for p in log + problems), end="", flush=True)
                    failed += bool(problems)
    finally:
        wine.stop()
    total = options.repeat * len(options.cut or [None]) * len(workloads)
    print("%d passed, %d failed" % (total - failed, failed))
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))

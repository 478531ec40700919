#!/usr/bin/env python3
"""Measures how ravlo fares against real Telnet servers (tools/realservers.py):
every server x option set x target type, RUNS sessions each, and prints a
markdown table. A run counts when the status (under -s) is 0 and the last
command's output is in the transcript; "N ahead" says in how many runs a line
was typed before its prompt (its echo follows no prompt).

  sudo tools/server_matrix.py --binary build/ravlo --runs 5 --set none --set="-t -e"
  sudo tools/server_matrix.py --binary build/ravlo --runs 20 --set="-t -e -c" --type 2 --banner --cut 12,15
  sudo tools/server_matrix.py --binary build/ravlo --server device --type 2 --set='-t -e -c -L crlf -P "Username: "'

--cut SIZE,PAUSE_MS runs every session through a link that cuts the server's
text into pieces of 1..SIZE bytes with pauses up to PAUSE_MS (each run its own
seed); --banner greets with lines that end in "#" and ">"; --workload runs
long output that a pager holds (realservers.WORKLOADS; "80x24" is FRR's
configuration with --window 80x24), and a run then also counts only when the
long output is all there, in order, with no pager prompt or erase byte.
"""
import argparse
import os
import shlex
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import realservers  # noqa: E402


def main(argv):
    parser = argparse.ArgumentParser()
    parser.add_argument("--binary", required=True)
    parser.add_argument("--launcher", default="", help="runs the binary, e.g. wine")
    parser.add_argument("--runs", type=int, default=3)
    parser.add_argument("--set", dest="sets", action="append", help='options, e.g. --set="-t -e"; "none" for none')
    parser.add_argument("--type", dest="types", action="append", choices=["0", "1", "2"])
    parser.add_argument("--server", dest="servers", action="append", choices=sorted(realservers.PORTS))
    parser.add_argument("--cut", metavar="SIZE,PAUSE_MS")
    parser.add_argument("--banner", action="store_true")
    parser.add_argument("--workload", dest="workloads", action="append", choices=sorted(realservers.WORKLOADS),
                        help="long output a pager holds; a row each (login alone by default)")
    options = parser.parse_args(argv[1:])
    servers = options.servers or sorted(realservers.PORTS)
    reasons = {s: realservers.missing(s) for s in servers}
    if all(reasons.values()):
        print("SKIPPED: %s" % reasons)
        return realservers.fakehost.SKIP
    realservers.enter([os.path.abspath(__file__)] + argv[1:])
    binary, launcher = os.path.abspath(options.binary), options.launcher.split()
    types, sets = options.types or ["0", "1", "2"], options.sets or ["none", "-t"]
    print("| server | options | workload | %s |" % " | ".join("type %s" % t for t in types))
    print("|---|---|---|" + "---|" * len(types))
    started = time.monotonic()
    with realservers.Lab(options.banner) as lab:
        for server in servers:
            if reasons[server]:
                print("| %s | (skipped: %s) |" % (server, reasons[server]))
                continue
            lab.start(server)
            for flags, lab.workload in [(f, w) for f in sets for w in options.workloads or ["login"]]:
                cells = []
                for kind in types:
                    done = ahead = 0
                    for run in range(options.runs):
                        status, out, _ = lab.session(binary, server, shlex.split(flags.replace("none", "")),
                                                     kind, launcher, cut=options.cut, seed=run)
                        ok, lines = lab.verdict(server, status, out)
                        done, ahead = done + ok, ahead + bool(lines)
                    cells.append("%d/%d%s" % (done, options.runs, ", %d ahead" % ahead if ahead else ""))
                print("| %s | %s | %s | %s |" % (server, "`%s`" % flags if flags != "none" else "none", lab.workload,
                                                " | ".join(cells)), flush=True)
    print("\n%d runs a cell, %.0f s in all" % (options.runs, time.monotonic() - started))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))

#!/usr/bin/env python3
"""Draws the results of peers.py --json as SVG: the median wall time of
each tool that ran on each server, a panel for the clean link and one for the
cutting link, with how many runs were right above each bar. Plain Python,
no plotting library needed.

usage: peers_chart.py results.json chart.svg
"""
import json
import math
import statistics
import sys
from xml.sax.saxutils import escape

TOOLS = [("ravlo", "#1f77b4"), ("expect", "#ff7f0e"), ("Net::Telnet", "#2ca02c"), ("netmiko", "#9467bd"),
         ("sshpass", "#8c564b")]
NAMES = {"inetutils": "inetutils", "busybox": "busybox", "frr": "FRR", "ser2net": "ser2net", "device": "device",
         "openssh": "OpenSSH", "dropbear": "Dropbear"}
# A logarithmic axis: a 20 ms session and a 30 s one on the same chart.
LOW, HIGH = 0.01, 100.0
BAR, GAP, HEIGHT, TOP, LEFT = 16, 24, 260, 70, 60


def y(seconds):
    share = (math.log10(max(seconds, LOW)) - math.log10(LOW)) / (math.log10(HIGH) - math.log10(LOW))
    return TOP + HEIGHT * (1 - share)


def text(x, y_, words, size=11, anchor="middle", colour="#222", weight="normal"):
    return '<text x="%.1f" y="%.1f" font-size="%d" text-anchor="%s" fill="%s" font-weight="%s">%s</text>' % (
        x, y_, size, anchor, colour, weight, escape(words))


def panel(results, link, title, x0, servers, tools):
    """A bar for each tool that ran on each server (the Telnet ones and the SSH ones have their own)."""
    ran = {s: [(t, c) for t, c in tools if any((r["tool"], r["server"]) == (t, s) for r in results)] for s in servers}
    bars = sum(len(ran[s]) * BAR + GAP for s in servers)
    width = max(bars + GAP, 300)
    out = ['<rect x="%d" y="%d" width="%d" height="%d" fill="none" stroke="#999"/>' % (x0, TOP, width, HEIGHT),
           text(x0 + width / 2, TOP - 12, title, 13, weight="bold")]
    tick = LOW
    while tick <= HIGH:
        out.append('<line x1="%d" x2="%d" y1="%.1f" y2="%.1f" stroke="#ddd"/>' % (x0, x0 + width, y(tick), y(tick)))
        out.append(text(x0 - 4, y(tick) + 4, "%g s" % tick, 10, "end"))
        tick *= 10
    left = x0 + (width - bars + GAP) / 2
    for server in servers:
        out.append(text(left + len(ran[server]) * BAR / 2, TOP + HEIGHT + 16, NAMES.get(server, server)))
        for j, (tool, colour) in enumerate(ran[server]):
            runs = [r for r in results if (r["tool"], r["server"], r["link"]) == (tool, server, link)]
            if not runs:
                continue
            wall, right = statistics.median(r["wall"] for r in runs), sum(r["right"] for r in runs)
            x = left + j * BAR
            out.append('<rect x="%.1f" y="%.1f" width="%d" height="%.1f" fill="%s"><title>%s on %s: %.2f s, %d/%d '
                       'right</title></rect>' % (x, y(wall), BAR - 2, TOP + HEIGHT - y(wall), colour, escape(tool),
                                                 server, wall, right, len(runs)))
            mark = "%d/%d" % (right, len(runs))
            out.append('<text x="%.1f" y="%.1f" font-size="9" text-anchor="start" fill="%s" '
                       'transform="rotate(-90 %.1f %.1f)">%s</text>' % (
                           x + BAR / 2 + 3, y(wall) - 3, "#222" if right == len(runs) else "#d62728",
                           x + BAR / 2 + 3, y(wall) - 3, mark))
        left += len(ran[server]) * BAR + GAP
    return out, width


def main(argv):
    if len(argv) != 3:
        sys.exit(__doc__)
    with open(argv[1]) as f:
        data = json.load(f)
    results = [r for r in data["results"] if "job" not in r]
    servers = [s for s in NAMES if any(r["server"] == s for r in results)]
    tools = [(t, c) for t, c in TOOLS if any(r["tool"] == t for r in results)]
    size, pause = data["cut"].split(",")
    body, x = [], LEFT
    for link, title in (("clean", "clean link"), ("cut", "cutting link: pieces of 1..%s bytes, pauses up to %s ms"
                                                   % (size, pause))):
        part, width = panel(results, link, title, x, servers, tools)
        body += part
        x += width + LEFT
    for i, (tool, colour) in enumerate(tools):
        body.append('<rect x="%d" y="%d" width="12" height="12" fill="%s"/>' % (LEFT + i * 120, 28, colour))
        body.append(text(LEFT + i * 120 + 16, 38, tool, 11, "start"))
    kinds = "Telnet and SSH" if {"openssh", "dropbear"} & set(servers) else "Telnet"
    body.append(text(x / 2, 16, "The same job on real %s servers: median wall time of %d runs (log scale), "
                                "runs right above each bar" % (kinds, data["runs"]), 13, weight="bold"))
    with open(argv[2], "w") as f:
        f.write('<svg xmlns="http://www.w3.org/2000/svg" width="%d" height="%d" font-family="sans-serif">\n'
                '<rect width="100%%" height="100%%" fill="white"/>\n%s\n</svg>\n' % (x, TOP + HEIGHT + 30,
                                                                                 "\n".join(body)))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))

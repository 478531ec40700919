#!/usr/bin/python3
"""Draws the fleet results of session_bench.py --json: CPU and memory of all
sessions together against the number of sessions, ravlo and expect + telnet.
Needs matplotlib (Debian: python3-matplotlib, hence /usr/bin/python3).

usage: fleet_chart.py results.json chart.png
"""
import json
import sys

import matplotlib

matplotlib.use("Agg")  # no display needed
import matplotlib.pyplot as plt  # noqa: E402

# Each tool's values are labelled on their own side of the line: ravlo's lie below.
TOOLS = [("ravlo", "ravlo", "tab:blue", "o", -13), ("expect", "expect + telnet", "tab:orange", "s", 7)]
PANELS = [
    ("cpu_all", "CPU of all sessions (% of one core)", "CPU, once all have started"),
    ("pss_all", "memory of all sessions, PSS (MiB)", "memory"),
]


def main(argv):
    if len(argv) != 3:
        sys.exit(__doc__)
    with open(argv[1]) as f:
        results = json.load(f)
    fleet, every = results["fleet"], results.get("answering_every", 10)
    figure, axes = plt.subplots(1, len(PANELS), figsize=(10, 4), constrained_layout=True)
    for ax, (key, label, title) in zip(axes, PANELS):
        for tool, name, colour, marker, offset in TOOLS:
            rows = sorted((f["n"], f[key]) for f in fleet if f["tool"] == tool)
            ax.plot([n for n, _ in rows], [v for _, v in rows], marker=marker, color=colour, label=name)
            for n, v in rows:
                ax.annotate("%.1f" % v if v < 10 else "%.0f" % v, (n, v), textcoords="offset points",
                            xytext=(0, offset), ha="center", fontsize=8, color=colour)
        # Both axes logarithmic: a thousand sessions next to ten, and both tools readable.
        ax.set_xscale("log")
        ax.set_yscale("log")
        ax.margins(x=0.1, y=0.2)
        ax.set_xticks(sorted({f["n"] for f in fleet}))
        ax.get_xaxis().set_major_formatter(matplotlib.ticker.ScalarFormatter())
        ax.set_xlabel("sessions at once")
        ax.set_ylabel(label)
        ax.set_title(title)
        ax.grid(True, alpha=0.3)
        ax.legend()
    mix = "1 in %d hosts answering, the rest silent" % every if every else "all hosts silent"
    figure.suptitle("Many sessions at once on a 2-core machine (one run; %s)" % mix)
    figure.savefig(argv[2], dpi=100)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))

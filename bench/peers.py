#!/usr/bin/env python3
"""ravlo beside the usual ways to script a Telnet or SSH session, on the
real servers of tools/realservers.py: on the Telnet ones expect driving
inetutils' telnet, Perl's Net::Telnet and netmiko; on OpenSSH and Dropbear
(ravlo with --ssh) expect driving ssh, netmiko over SSH and sshpass with the
commands on ssh's standard input (their scripts in bench/peers/; every ssh
with the lab's -o options, nothing of the machine's). One job on each
server: log in, a command with long output, a last command whose output
marks the end (shells: seq 1 3000, then echo hello-from-$((6*7)); FRR and
the device: their own command lists, the running configuration last).
Each tool runs it --runs times on a clean link and through a link that cuts
the server's text (realservers.CuttingLink, --cut). A run is right when the
tool exits 0, the long output is all there in order and the marker came;
for ravlo also when no line went out before its prompt. Wall time, CPU
(user+sys of the tool and the children it reaped) and peak RSS are taken for
every run, and the CPU and peak RSS of the tool's own process, without the
client it runs (ssh, telnet); a second job types --commands lines of echo N
into ser2net and inetutils, with and without -e, for ravlo's time per
command.

  sudo bench/peers.py --binary build/ravlo [--runs 3] [--server S]... [--tool T]... [--json FILE]

Needs root, like tools/server_matrix.py, and Debian's expect, inetutils-telnet,
libnet-telnet-perl, python3-netmiko, sshpass, openssh-server, dropbear and
time; a tool or server that is missing is left out. procServ (needs a wake)
is not among the servers. Not a test.
"""
import argparse
import json
import os
import re
import shutil
import signal
import statistics
import subprocess
import sys
import threading
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "tools"))
import realservers  # noqa: E402

SERVERS = ["inetutils", "busybox", "frr", "ser2net", "device", "openssh", "dropbear"]
NAMES = {"inetutils": "inetutils", "busybox": "busybox", "frr": "FRR", "ser2net": "ser2net", "device": "device",
         "openssh": "OpenSSH", "dropbear": "Dropbear"}
PORTS = dict(realservers.PORTS, **realservers.SSH_PORTS)
# The tools for each way in, in the tables' order, and ravlo's options there.
TOOLS = {"telnet": ["ravlo", "expect", "Net::Telnet", "netmiko"], "ssh": ["ravlo", "expect", "netmiko", "sshpass"]}
ALL_TOOLS = list(dict.fromkeys(TOOLS["telnet"] + TOOLS["ssh"]))
FLAGS = {"telnet": ("-s", "-t", "-e", "-c"), "ssh": ("--ssh", "-s", "-e", "-c")}
# Tools given the job's commands on their standard input, the password lines left out.
ON_STDIN = {"sshpass"}
LONG = 3000  # lines of seq; through the cutting link some 16 s
PASSWORDS = ("RAVLO_PASSWORD", "RAVLO_VTY_PASSWORD", "RAVLO_ENABLE_PASSWORD")
# The host's prompts that the scripts of expect and Net::Telnet type a command
# at once logged in, each with its blank and anchored at the end, as one
# writes them knowing the host: a piece of a banner or a listing that ends in
# "#" or ">" is none. An escape sequence may follow (inetutils' telnet ends
# bash's prompt with ESC [ K). A router's enable asks "Password: ".
PROMPTS = {host: r"(?:%s)(?:\x1b\[[0-9;?]*[A-Za-z])*$" % prompts for host, prompts in (
    ("shell", r"[\$#] "), ("frr", r"Password: |edge-rtr1[>#] "), ("device", r"Password: |sw1(?:\(config\))?[>#] "))}
KILL_AFTER = 120  # seconds; a tool still running then is killed


def kind(server):
    """Which of PROMPTS the server's session meets."""
    return server if server in ("frr", "device") else "shell"


def way(server):
    """How the tools reach the server: a key of TOOLS."""
    return "ssh" if server in realservers.SSH_PORTS else "telnet"


def job(lab, server, commands=None):
    """(lines typed, lines the long output must hold in order, marker)."""
    if server in ("frr", "device"):
        lab.workload = "login"
        return lab.commands(server), lab.long_output(server), realservers.MARKERS[server]
    if commands:
        return [lab.name, "${RAVLO_PASSWORD}"] + ["echo %d" % n for n in range(1, commands + 1)], \
            [str(n) for n in range(1, commands + 1)], b"%d" % commands
    # Over SSH the user is among ssh's options: the password alone logs in.
    login = ["${RAVLO_PASSWORD}"] if way(server) == "ssh" else [lab.name, "${RAVLO_PASSWORD}"]
    return login + ["seq 1 %d" % LONG, realservers.SHELL_COMMANDS[-1]], [str(n) for n in range(1, LONG + 1)], \
        realservers.MARKERS.get(server, b"hello-from-42")


def sample(parent, own, done):
    """Until done: every 5 ms, the CPU time (s, schedstat) and peak RSS (KiB, VmHWM) of parent's child
    (the tool, time's child) alone, without the client it runs (ssh, telnet), into own as last seen. Its
    CPU is read once more when it has ended and waits to be reaped; the RSS is the last seen before."""
    while not done.wait(0.005):
        for key, name, read in (("cpu", "schedstat", lambda text: int(text.split()[0]) / 1e9),
                                ("rss", "status", lambda text: int(re.search(r"VmHWM:\s*(\d+)", text).group(1)))):
            try:
                with open("/proc/%d/task/%d/children" % (parent, parent)) as f:
                    tool = f.read().split()[0]
                with open("/proc/%s/%s" % (tool, name)) as f:
                    own[key] = read(f.read())
            except (OSError, IndexError, AttributeError):
                pass  # not forked yet, ended (no VmHWM), or reaped


def measure(argv, work, env, stdin=os.devnull):
    """Runs argv to its end under GNU time: (status, stdout, the last line of its standard error, numbers:
    wall s, CPU s, peak RSS KiB of the tool and the children it reaped, own_cpu s and own_rss_kib of the
    tool's process alone, see sample()). The peak is time's report of its child: our own wait4 would give
    our own peak, which a child keeps across exec."""
    report, out_path, err_path = (os.path.join(work, name) for name in ("rss", "out", "err"))
    own, done = {}, threading.Event()
    with open(out_path, "wb") as out, open(err_path, "wb") as err:
        started = time.monotonic()
        with open(stdin, "rb") as feed:
            proc = subprocess.Popen(["/usr/bin/time", "-f", "%M", "-o", report, "--"] + argv, stdin=feed,
                                    stdout=out, stderr=err, env=env, start_new_session=True)
        killer = threading.Timer(KILL_AFTER, os.killpg, (proc.pid, signal.SIGKILL))
        killer.daemon = True  # an interrupted bench does not wait for it
        sampler = threading.Thread(target=sample, args=(proc.pid, own, done), daemon=True)
        killer.start()
        sampler.start()
        try:
            _, status, usage = os.wait4(proc.pid, 0)
        finally:
            killer.cancel()
            done.set()
        wall = time.monotonic() - started
        sampler.join()
    with open(report) as f:
        peak = [int(line) for line in f.read().split("\n") if line.isdigit()]
    with open(out_path, "rb") as f, open(err_path, "rb") as e:
        said = e.read().decode(errors="replace").strip().split("\n")[-1][-200:]
        return os.waitstatus_to_exitcode(status), f.read(), said, dict(
            wall=wall, cpu=usage.ru_utime + usage.ru_stime, rss_kib=peak[-1] if peak else 0,
            own_cpu=own.get("cpu"), own_rss_kib=own.get("rss"))


def problems(status, said, out, lines, long, marker, tool):
    """What makes the run not right, or []."""
    text = b"\n" + realservers.ESCAPES.sub(b"", out)
    found, at = [], 0
    if status != 0:
        found.append("status %s%s" % (status, ": " + said if said else ""))
    for line in long:
        seen = re.compile(rb"\n\r*" + re.escape(line.encode()) + rb"\r*\n").search(text, at)
        if not seen:
            found.append("%r missing, or out of order" % line)
            break
        at = seen.end() - 1
    if marker not in text:
        found.append("marker %r missing" % marker)
    if tool == "ravlo":  # each line's echo must follow a prompt, as real_telnetd.py checks
        found += ["typed ahead: %r" % line for line in realservers.typed_ahead(lines, out)]
    return found


def missing(tool, how):
    """Whether the tool cannot run here for servers reached the way how."""
    probe = {"expect": ["expect", "-c", "exit"], "Net::Telnet": ["perl", "-MNet::Telnet", "-e", "1"],
             "netmiko": ["/usr/bin/python3", "-c", "import netmiko"], "sshpass": ["sshpass", "-V"]}.get(tool)
    try:
        return bool(probe) and (subprocess.run(probe, capture_output=True).returncode != 0 or
                                (tool == "expect" and not shutil.which(how)))
    except FileNotFoundError:
        return True


class Bench:
    """The lab, the options and every run's numbers so far."""

    def __init__(self, lab, options):
        self.lab, self.options, self.results = lab, options, []
        self.binary = os.path.abspath(options.binary)

    def command(self, tool, server, port, path, flags):
        """The tool's command line for the job in path; over SSH each with the lab's ssh options."""
        ssh = self.lab.ssh_options(server) if way(server) == "ssh" else []
        script, prompt = (lambda name: os.path.join(HERE, "peers", name)), PROMPTS[kind(server)]
        return {"ravlo": [self.binary] + flags + ["-p", str(port)] + ssh +
                [a for name in PASSWORDS for a in ("-k", name)] + ["127.0.0.1", "2", "10", path, "1"],
                "expect": ["expect", "-f", script(way(server) + ".exp"), str(port), prompt, path] + ssh,
                "Net::Telnet": ["perl", script("net_telnet.pl"), str(port), prompt, path],
                "netmiko": ["/usr/bin/python3", script("netmiko_job.py"), str(port),
                            "ssh" if ssh else "shell" if kind(server) == "shell" else "router", path] + ssh,
                "sshpass": ["sshpass", "-p", self.lab.password, "ssh", "-p", str(port)] + ssh + ["127.0.0.1"]}[tool]

    def run(self, tool, server, work, link="clean", seed=0, flags=None, **tags):
        """One run of work (what job() gives), checked and recorded (not with record=False); its record.
        flags: ravlo's, FLAGS' by default."""
        lines, long, marker = work
        flags = flags or FLAGS[way(server)]
        recorded = tags.pop("record", True)
        lab, path, feed = self.lab, os.path.join(self.lab.work, "job.txt"), os.path.join(self.lab.work, "stdin.txt")
        for name, text in ((path, lines), (feed, [line for line in lines if not line.startswith("${")])):
            with open(name, "w") as f:
                f.write("".join(line + "\n" for line in text))
        cut = link == "cut" and realservers.CuttingLink(PORTS[server], *map(int, self.options.cut.split(",")),
                                                         seed=seed)
        env = dict(os.environ, TERM="xterm", RAVLO_PASSWORD=lab.password, RAVLO_VTY_PASSWORD=lab.vty_password,
                   RAVLO_ENABLE_PASSWORD=lab.enable_password)
        try:
            port = cut.port if cut else PORTS[server]
            status, out, said, numbers = measure(self.command(tool, server, port, path, list(flags)), lab.work, env,
                                                 feed if tool in ON_STDIN else os.devnull)
        finally:
            if cut:
                cut.close()
        found = problems(status, said, out, lines, long, marker, tool)
        record = dict(tags, tool=tool, flags=" ".join(flags) if tool == "ravlo" else None, server=server, link=link,
                      run=seed, status=status, right=not found, problems=found, **numbers)
        if recorded:
            self.results.append(record)
            print("%-11s %-9s %-5s %d: %6.2f s%s" % (tool, server, link, seed, numbers["wall"],
                                                      "".join("; " + p for p in found)),
                  file=sys.stderr, flush=True)
            if found and self.options.keep:
                os.makedirs(self.options.keep, exist_ok=True)
                name = "-".join(str(v) for v in (tool.replace(":", ""), server, link, seed) + tuple(tags.values()))
                with open(os.path.join(self.options.keep, name.replace(" ", "") + ".out"), "wb") as f:
                    f.write(out)
        return record

    def peers(self, servers, tools):
        """tools: a list for each way in, as TOOLS."""
        for server in servers:
            self.lab.start(server)
            work = job(self.lab, server)
            # A server's first session is slow (caches, FRR's first vty): not measured.
            self.run(tools[way(server)][0], server, work, record=False)
            for link in self.options.links.split(","):
                for seed in range(self.options.runs):
                    for tool in tools[way(server)]:  # all tools in turn: the machine's ups and downs shared
                        self.run(tool, server, work, link, seed)

    def per_command(self, servers):
        """ravlo with and without -e: the wall time of N lines less that of one, over N - 1, from
        the runs that were right."""
        n, rows = self.options.commands, {}
        for flags in (("-s", "-t", "-e", "-c"), ("-s", "-t", "-c")):
            cells = []
            for server in servers:
                walls = {}
                for count in (1, n):
                    for seed in range(self.options.runs):
                        r = self.run("ravlo", server, job(self.lab, server, count), seed=seed, flags=flags,
                                     job="per-command", lines=count)
                        walls.setdefault(count, []).extend([r["wall"]] if r["right"] else [])
                right = len(walls[n])
                each = walls[1] and walls[n] and (statistics.median(walls[n]) - statistics.median(walls[1])) / (n - 1)
                cells.append("%s (%d/%d right)" % ("%.1f ms" % (each * 1000) if each else "-", right,
                                                   self.options.runs))
            rows[" ".join(flags)] = cells
        return rows


def median(values, scale=1.0, digits=2):
    return "%.*f" % (digits, statistics.median(values) * scale) if values else "-"


def report(results, tools, servers, options):
    """The table of the servers given and their tools."""
    results = [r for r in results if r["server"] in servers]
    print("| | %s |" % " | ".join(tools))
    print("|---|" + "---|" * len(tools))
    for label, link in (("clean link", "clean"), ("cutting link (pieces of 1..%s bytes, pauses up to %s ms)"
                                                  % tuple(options.cut.split(",")), "cut")):
        rights = [[r["right"] for r in results if (r["tool"], r["link"]) == (tool, link)] for tool in tools]
        print("| runs right, %s | %s |" % (label, " | ".join("%d/%d" % (sum(r), len(r)) for r in rights)))
    for label, link, key, scale, digits in (("wall time (s), clean", "clean", "wall", 1, 2),
                                            ("wall time (s), cutting link", "cut", "wall", 1, 1),
                                            ("CPU (ms), clean", "clean", "cpu", 1000, 0),
                                            ("its own process's CPU (ms), clean", "clean", "own_cpu", 1000, 0)):
        cells = [" / ".join(median([r[key] for r in results if (r["tool"], r["server"], r["link"]) ==
                                    (tool, server, link) and r.get(key) is not None], scale, digits)
                            for server in servers) for tool in tools]
        print("| %s: %s (median) | %s |" % (label, " / ".join(NAMES[s] for s in servers), " | ".join(cells)))
    for label, key in (("peak RSS", "rss_kib"), ("its own process's peak RSS", "own_rss_kib")):
        peaks = [max([r.get(key) or 0 for r in results if r["tool"] == tool] or [0]) / 1024 for tool in tools]
        print("| %s (MiB, max) | %s |" % (label, " | ".join("%.1f" % p for p in peaks)))


def report_per_command(options, per_command, command_servers):
    if per_command:
        print("\nravlo, %d lines of `echo N` after the login, clean link: wall time per line after the first "
              "(medians)\n" % options.commands)
        print("| ravlo | %s |" % " | ".join(command_servers))
        print("|---|" + "---|" * len(command_servers))
        for flags, cells in per_command.items():
            print("| `%s` | %s |" % (flags, " | ".join(cells)))


def main(argv):
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--binary", required=True)
    parser.add_argument("--runs", type=int, default=3)
    parser.add_argument("--server", dest="servers", action="append", choices=SERVERS)
    parser.add_argument("--tool", dest="tools", action="append", choices=ALL_TOOLS)
    parser.add_argument("--cut", default="12,15", metavar="SIZE,PAUSE_MS")
    parser.add_argument("--links", default="clean,cut", help="which links to run: clean, cut or both")
    parser.add_argument("--commands", type=int, default=100, help="echo lines of the per-command job; 0: none")
    parser.add_argument("--json", default="/tmp/ravlo-peers.json", help="every run's numbers")
    parser.add_argument("--keep", metavar="DIR", help="what each run that was not right printed, a file each")
    options = parser.parse_args(argv[1:])
    reasons = {s: realservers.missing(s) for s in options.servers or SERVERS}
    servers = [s for s in SERVERS if s in reasons and not reasons[s]]
    if not servers or not os.access("/usr/bin/time", os.X_OK):
        print("SKIPPED: %s" % (reasons if not servers else "needs /usr/bin/time (Debian: time)"))
        return realservers.fakehost.SKIP
    realservers.enter([os.path.abspath(__file__)] + argv[1:])
    tools = {how: [t for t in TOOLS[how] if t in (options.tools or ALL_TOOLS) and not missing(t, how)]
             for how in TOOLS}
    servers = [s for s in servers if tools[way(s)]]
    command_servers = [s for s in ("ser2net", "inetutils") if s in servers] if "ravlo" in tools["telnet"] and \
        options.commands > 1 else []
    started = time.monotonic()
    with realservers.Lab() as lab:
        bench = Bench(lab, options)
        bench.peers(servers, tools)
        per_command = command_servers and bench.per_command(command_servers)
    with open(options.json, "w") as f:
        json.dump(dict(cut=options.cut, runs=options.runs, commands=options.commands, skipped=reasons,
                       results=bench.results), f, indent=1)
    for how, title in (("telnet", "Telnet servers"), ("ssh", "SSH servers")):
        group = [s for s in servers if way(s) == how]
        if group:
            print("\n%s\n" % title)
            report([r for r in bench.results if "job" not in r], tools[how], group, options)
    report_per_command(options, per_command, command_servers)
    print("\n%d runs a cell, %.0f s in all; every run in %s" % (options.runs, time.monotonic() - started,
                                                               options.json))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))

"""Real Telnet servers nobody here wrote, each on a loopback port, for the
real-server tests and tools/server_matrix.py:

  inetutils  inetutils' telnetd, one per connection as inetd runs it, /bin/login
  busybox    busybox telnetd -l /bin/login with Debian's own /etc/issue
  frr        FRRouting's zebra vty: password, enable password, hostname edge-rtr1
  ser2net    ser2net 4, a telnet accepter on a pty running /bin/login
  device     tools/device/device_cli.c on libcli, built here: a switch sw1 with
             Username:/Password:, enable password; ends lines at CR alone
  procserv   procServ with an interactive sh behind it, whose prompt was
             printed before anyone connected

and real SSH servers (SSH_PORTS), for the system's ssh client:

  openssh    OpenSSH's sshd with PAM, password or key, the account's bash
  dropbear   dropbear, password or key, the account's bash
  vtysh      the openssh server, an account whose login shell is FRR's vtysh
             (zebra runs beside it)

Needs root. Everything happens in private network and mount namespaces: a
throw-away account (copies of /etc/passwd and /etc/shadow bound over the real
ones, a home with Debian's /etc/skel), tmpfs over /run and /var/log; with an
SSH server, a home for root in the lab too, where the ssh client looks for
~/.ssh. The machine's own files and ports are never touched.
"""
import grp
import os
import pwd
import random
import re
import secrets
import shutil
import socket
import subprocess
import sys
import tempfile
import threading
import time
import warnings

import fakehost

warnings.simplefilter("ignore", DeprecationWarning)
try:
    import crypt
except ImportError:  # gone since Python 3.13
    crypt = None

PROGRAMS = {"inetutils": "/usr/sbin/telnetd", "busybox": "/bin/busybox", "frr": "/usr/lib/frr/zebra",
            "ser2net": "/usr/sbin/ser2net", "device": "/usr/bin/cc", "procserv": "/usr/bin/procServ"}
PORTS = {"inetutils": 23, "busybox": 2323, "frr": 2601, "ser2net": 2002, "device": 2424, "procserv": 2626}
# What the last command prints; the command itself does not hold it.
MARKERS = {"frr": b"hostname edge-rtr1", "inetutils": b"hello-from-42", "busybox": b"hello-from-42",
           "ser2net": b"hello-from-42", "device": b"transport input telnet", "procserv": b"hello-from-42"}
SHELL_COMMANDS = ["uname -s", "echo hello-from-$((6*7))"]
ROUTER_COMMANDS = ["show version", "enable", None, "show running-config"]  # None: the enable password
SWITCH_COMMANDS = ["show version", "enable", None, "configure terminal", "end", "show running-config"]
DEVICE_SOURCE = os.path.join(os.path.dirname(os.path.abspath(__file__)), "device", "device_cli.c")
DEVICE_HEADER = "/usr/include/libcli.h"
# Real SSH servers: their ports, and what each needs beside the client. vtysh
# is the openssh server, another account.
SSH_PORTS = {"openssh": 2222, "dropbear": 2223, "vtysh": 2222}
# The hosts whose keys known_hosts files hold: 127.0.0.1 on any port, as a
# CuttingLink's own port stands between; ssh takes a key if any line holds it.
SSH_KNOWN_AS = "[127.0.0.1]:*"
SSH_CLIENT = ["/usr/bin/ssh", "/usr/bin/ssh-keygen"]  # the key login's key and the host keys: ssh-keygen
SSH_PROGRAMS = {"openssh": ["/usr/sbin/sshd"], "dropbear": ["/usr/sbin/dropbear", "/usr/bin/dropbearkey"],
                "vtysh": ["/usr/sbin/sshd", "/usr/bin/vtysh", PROGRAMS["frr"]]}
# Servers that ask for no login: the shell is there when one connects.
NO_LOGIN = {"procserv"}
# ser2net finds no name for its accepter's address with loopback alone: a veth
# pair with both ends in our namespace, an address from the documentation range.
VETH = ("ravlo-v0", "ravlo-v1", "192.0.2.1/24")
ESCAPES = re.compile(rb"\x1b\[[0-?]*[ -/]*[@-~]|\x1b\][^\x07\x1b]*(?:\x07|\x1b\\)|\x1b[ -Z\\-~]")
PROMPT_END = re.compile(rb"(?:login: |Username: |[$#>] )$")
# The servers' environment, whatever ours is: as a service manager starts them,
# with the terminal type of a console server's usual client.
ENV = {"PATH": "/usr/sbin:/usr/bin:/sbin:/bin", "TERM": "xterm", "LANG": "C.UTF-8"}
# Long output that a pager on the host holds: the commands that show it, run
# before SHELL_COMMANDS or ROUTER_COMMANDS' last; "{file}" is a 3,000-line
# file, "{repo}" a repository of 300 commits. FRR's listing is its own
# configuration, PREFIX_LISTS lines longer: paged with --window 80x24.
WORKLOADS = {"login": [], "more": ["more {file}"], "more-pipe": ["cat {file} | more"], "man": ["man ls"],
             "journalctl": ["journalctl"], "git-log": ["git -c safe.directory='*' -C {repo} log"], "80x24": [],
             # The device's questions, asked only sometimes, and Ctrl-Z out of configuration mode; typed
             # after its commands: the reload ends the session.
             "reload": ["reload"],
             # A shell's question answered (-A), and a REPL left with Ctrl-D (-K).
             "rm-i": ["touch {file}.x", "rm -i {file}.x", "test -e {file}.x || echo gone-$((6*7))"],
             "python": ["python3 -q", "print(1000 + 42)", "^D"],
             "reload-changed": ["configure terminal", "hostname sw1", "^Z", "copy running-config startup-config",
                                "configure terminal", "hostname sw1", "end", "reload"]}
# What each server's plain rows run: long output that a pager holds on the
# shells, FRR's configuration paged at 24 rows, the device's questions
# answered (-A) around a reload; procServ's login alone.
SHELL_WORKLOADS = ["login", "more", "more-pipe", "man", "journalctl", "git-log", "rm-i", "python"]
SERVER_WORKLOADS = {"frr": ["login", "80x24"], "device": ["login", "reload", "reload-changed"], "procserv": ["login"]}
# One set of answers for both reloads: the save question comes only after a change.
DEVICE_ANSWERS = ["-K", "-A", "Save? [yes/no]: =yes", "-A", "[confirm]=", "-A", "Destination filename [startup-config]? ="]
WORKLOAD_OPTIONS = {"80x24": ["--window", "80x24"], "reload": DEVICE_ANSWERS, "reload-changed": DEVICE_ANSWERS,
                    "rm-i": ["-A", "rm: remove=y"], "python": ["-K"]}
# What such a workload's own output must hold.
WORKLOAD_MARKERS = {"rm-i": b"gone-42", "python": b"1042"}
PREFIX_LISTS, SWITCH_PORTS = 300, 48
# What a pager shows or erases with, which a clean transcript (-c) never holds.
PAGED = re.compile(rb"--More--|\(END\)|Press RETURN|\x08")
# A login banner as sites write them: lines that end in "#" and ">" before any prompt.
BANNER = ["#" * 46, "#  Authorized access only. Disconnect now    #", "#  if you are not an authorized user.  >>>>  #",
          "#" * 46, "> maintenance: Sundays 02:00-04:00 >"]


# What no package brings: a machine without it cannot run any server at all.
CANNOT_RUN = ("needs root", "needs python3's crypt module")


def missing(server):
    """Why the server cannot run here (one of CANNOT_RUN, or what is not installed), or None."""
    if server in SSH_PORTS:
        needs = SSH_CLIENT + SSH_PROGRAMS[server]
    else:
        needs = ["/bin/login", PROGRAMS[server]] + (["/usr/sbin/ip"] if server == "ser2net" else [])
    if os.geteuid() != 0:
        return CANNOT_RUN[0]
    if crypt is None:
        return CANNOT_RUN[1]
    if server == "device" and not os.path.exists(DEVICE_HEADER):
        return "needs %s (libcli-dev)" % DEVICE_HEADER
    absent = [path for path in needs if not os.access(path, os.X_OK)]
    return "needs %s" % " and ".join(absent) if absent else None


def require(*reasons):
    """Ends the program, the reasons said, where any of reasons (missing()'s,
    or None) stands: a skip where no server can run here (CANNOT_RUN), a
    failure by name where one is not installed."""
    said = sorted({reason for reason in reasons if reason})
    skip = any(reason in CANNOT_RUN for reason in said)
    if said:
        print("%s: %s" % ("SKIPPED" if skip else "FAILED", ", ".join(said)))
        sys.exit(fakehost.SKIP if skip else 1)


def typed_ahead(lines, out):
    """The lines whose first echo in the transcript out, after the last one's,
    follows no prompt: typed before the host asked. ${NAME} lines (passwords)
    are never echoed."""
    text, start, ahead = ESCAPES.sub(b"", out), 0, []
    for line in (line for line in lines if not line.startswith("${")):
        echo = re.compile(re.escape(line.encode()) + rb"[\r\n]").search(text, start)
        if echo and not PROMPT_END.search(text[max(0, echo.start() - 40):echo.start()]):
            ahead.append(line)
        start = echo.end() if echo else start
    return ahead


def enter(argv):
    """Re-runs the caller in private network and mount namespaces."""
    outer = os.environ.setdefault("RAVLO_OUTER_MNT_NS", os.readlink("/proc/self/ns/mnt"))
    fakehost.enter_private_netns(argv, also=("-m",))
    if os.readlink("/proc/self/ns/mnt") == outer:
        sys.exit("refusing to run: not in a mount namespace of its own")


def quiet(command, env=ENV, **kwargs):
    return subprocess.Popen(command, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                            stderr=subprocess.DEVNULL, env=env, **kwargs)


class Lab:
    """The private view of the machine and the servers started in it."""

    def __init__(self, banner=False, short=False):
        """short: FRR's and the device's configurations a few dozen lines, for links where every byte
        costs a pause and nothing pages them."""
        self.banner, self.workload = banner, "login"
        self.prefix_lists, self.ports = (20, 6) if short else (PREFIX_LISTS, SWITCH_PORTS)
        self.work = tempfile.mkdtemp(prefix="ravlo-real-")
        os.chmod(self.work, 0o755)  # the account's home is inside
        self.password, self.vty_password, self.enable_password = ("Pw-" + secrets.token_hex(6) for _ in range(3))
        self.stops = []
        # zebra's configuration as FRR writes it back: the passwords already
        # encrypted (type 8, DES crypt), so show running-config repeats each line.
        salt = lambda: "".join(secrets.choice("abcdefghijklmnopqrstuvwxyz0123456789./") for _ in range(2))  # noqa: E731
        self.frr_config = "hostname edge-rtr1\npassword 8 %s\nenable password 8 %s\nservice password-encryption\n" % (
            crypt.crypt(self.vty_password, salt()), crypt.crypt(self.enable_password, salt()))
        self.started, self.host_keys, self.vtysh_name = set(), [], None
        # The key login's key (ed25519, no passphrase; its public key + ".pub"), and the started SSH
        # servers' host keys as the client is to know them.
        self.ssh_key, self.known_hosts = (os.path.join(self.work, base) for base in ("id_ed25519", "known_hosts"))
        for base in ("passwd", "shadow"):
            copy = os.path.join(self.work, base)
            shutil.copy2("/etc/" + base, copy)
            real = os.stat("/etc/" + base)
            os.chown(copy, real.st_uid, real.st_gid)  # root:shadow: PAM's helper reads it as group shadow
            subprocess.run(["mount", "--bind", copy, "/etc/" + base], check=True)
        self.name, home = self._account("home", 100, "/bin/bash")
        self._long_files(pwd.getpwnam(self.name).pw_uid)
        for path in ("/run", "/var/log"):
            subprocess.run(["mount", "-t", "tmpfs", "tmpfs", path], check=True)

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        for stop in reversed(self.stops):
            stop()
        shutil.rmtree(self.work, ignore_errors=True)

    def _account(self, folder, gid, shell):
        """A new account in the bound copies of /etc/passwd and /etc/shadow, with the lab's password and a
        home from Debian's /etc/skel in the lab's folder: (name, home)."""
        taken = {entry.pw_uid for entry in pwd.getpwall()}
        uid = next(u for u in range(64000, 65000) if u not in taken)
        name, home = "ravlo%d" % uid, os.path.join(self.work, folder)
        shutil.copytree("/etc/skel", home)
        for path in [home] + [os.path.join(home, f) for f in os.listdir(home)]:
            os.chown(path, uid, gid)
        hashed = crypt.crypt(self.password, crypt.mksalt(crypt.METHOD_SHA512))
        for base, line in {"passwd": "%s:x:%d:%d::%s:%s\n" % (name, uid, gid, home, shell),
                           "shadow": "%s:%s:19000:0:99999:7:::\n" % (name, hashed)}.items():
            with open(os.path.join(self.work, base), "a") as f:  # the same file: the bind sees it
                f.write(line)
        return name, home

    def commands(self, server):
        """The lines typed; the passwords as ${NAME}s that ravlo takes from the environment (-k)."""
        if server == "frr":
            return ["${RAVLO_VTY_PASSWORD}"] + [c or "${RAVLO_ENABLE_PASSWORD}" for c in ROUTER_COMMANDS]
        if server == "device":
            return [self.name, "${RAVLO_PASSWORD}"] + [c or "${RAVLO_ENABLE_PASSWORD}" for c in SWITCH_COMMANDS] + \
                WORKLOADS[self.workload]
        if server == "procserv":
            return list(SHELL_COMMANDS)
        paths = dict(file=os.path.join(self.work, "long.txt"), repo=os.path.join(self.work, "repo"))
        return [self.name, "${RAVLO_PASSWORD}"] + [c.format(**paths) for c in WORKLOADS[self.workload]] + \
            SHELL_COMMANDS

    def long_output(self, server):
        """The lines the workload must show, in order (parts of them for man)."""
        if server == "frr":
            return ["ip prefix-list long seq %d permit 10.%d.%d.0/24" % (n, n // 256, n % 256)
                    for n in range(1, self.prefix_lists + 1)]
        if server == "device":
            return [line for line in device_config(self.ports) if line.startswith(" description")]
        return {"more": self.lines, "more-pipe": self.lines, "man": ["NAME", "SYNOPSIS", "DESCRIPTION", "AUTHOR",
                                                                     "SEE ALSO"],
                "git-log": ["commit number %d" % n for n in range(300, 0, -1)]}.get(self.workload, [])

    def _long_files(self, uid):
        """The 3,000-line file and the repository of 300 commits, the account's own."""
        self.lines = ["line %04d of a long file, %s" % (n, "x" * (n % 50)) for n in range(1, 3001)]
        with open(os.path.join(self.work, "long.txt"), "w") as f:
            f.write("".join(line + "\n" for line in self.lines))
        repo, env = os.path.join(self.work, "repo"), dict(ENV, GIT_AUTHOR_NAME="r", GIT_AUTHOR_EMAIL="r@x",
                                                          GIT_COMMITTER_NAME="r", GIT_COMMITTER_EMAIL="r@x")
        subprocess.run(["git", "init", "-q", repo], check=True, env=env)
        stream = "".join("commit refs/heads/master\ncommitter r <r@x> %d +0000\ndata %d\ncommit number %d\n\n"
                         % (1700000000 + n, len("commit number %d\n" % n), n) for n in range(1, 301))
        subprocess.run(["git", "-C", repo, "fast-import", "--quiet"], input=stream.encode(), check=True, env=env)
        subprocess.run(["git", "-C", repo, "symbolic-ref", "HEAD", "refs/heads/master"], check=True, env=env)
        subprocess.run(["chown", "-R", "%d:100" % uid, repo], check=True)

    def secrets(self):
        return [p.encode() for p in (self.password, self.vty_password, self.enable_password)]

    def start(self, server):
        """Starts the server on 127.0.0.1:PORTS[server] (SSH_PORTS[server]) and returns once it listens;
        once: a server started already (vtysh's openssh and zebra) is left as it is."""
        if server in self.started:
            return
        self.started.add(server)
        if server in SSH_PORTS:
            return self._start_ssh(server)
        port = PORTS[server]
        env = ENV
        if server == "inetutils":
            self.stops.append(self._inetd(port))
        else:
            if server == "frr":
                command = self._frr(port)
            elif server == "ser2net":
                command = self._ser2net(port)
            elif server == "device":
                command = self._device(port)
                env = dict(ENV, DEVICE_USER=self.name, DEVICE_PASSWORD=self.password,
                           DEVICE_ENABLE=self.enable_password)
            elif server == "procserv":
                # -f: stays in the foreground, ours to stop; the shell's prompt
                # goes out now, to nobody.
                command = [PROGRAMS[server], "-f", "-q", "-n", "sh", "-c", self.work, "127.0.0.1:%d" % port,
                           "/bin/sh", "-i"]
                env = dict(ENV, PS1="$ ", HOME=self.work)
            else:
                issue = "/etc/issue"
                if self.banner:
                    issue = os.path.join(self.work, "banner")
                    with open(issue, "w") as f:
                        f.write("".join(line + "\n" for line in BANNER))
                command = [PROGRAMS[server], "telnetd", "-F", "-p", str(port), "-b", "127.0.0.1",
                           "-l", "/bin/login", "-f", issue]
            process = quiet(command, env=env)
            self.stops.append(lambda: stop(process))
        fakehost.wait_listening(port)
        if server == "procserv":
            procserv_child_up(port)

    def _start_ssh(self, server):
        """The server with a host key of its own, added to known_hosts."""
        if server == "vtysh":  # through openssh: dropbear takes no shell that /etc/shells lacks
            for needed in ("frr", "openssh"):
                self.start(needed)
            # Group frrvty: the one that may use zebra's socket. /etc/frr/vtysh.conf stays frr's, as on a
            # host: vtysh says it cannot open it, and goes on.
            self.vtysh_name, home = self._account("vtysh-home", grp.getgrnam("frrvty").gr_gid, "/usr/bin/vtysh")
            self._authorize(self.vtysh_name, home)
            return
        if not os.path.exists(self.ssh_key):
            self._ssh_client()
        port, key = SSH_PORTS[server], os.path.join(self.work, server + "_host_key")
        if server == "openssh":
            subprocess.run(["ssh-keygen", "-q", "-t", "ed25519", "-N", "", "-C", "", "-f", key], check=True, env=ENV)
            public = public_key(key + ".pub")
            os.makedirs("/run/sshd", exist_ok=True)  # the privilege separation's empty, root-owned chroot
            os.chmod("/run/sshd", 0o755)
            config = os.path.join(self.work, "sshd_config")
            with open(config, "w") as f:
                # PAM prints the message of the day, as on a Debian host; StrictModes: the
                # lab's folder is root's, the account's home inside it.
                f.write("Port %d\nListenAddress 127.0.0.1\nHostKey %s\nPidFile %s.pid\nUsePAM yes\n"
                        "PasswordAuthentication yes\nKbdInteractiveAuthentication no\nPubkeyAuthentication yes\n"
                        "StrictModes no\nPermitRootLogin no\nPrintMotd no\nUseDNS no\n" % (port, key, key))
            command = ["/usr/sbin/sshd", "-D", "-e", "-f", config]
        else:
            made = subprocess.run(["dropbearkey", "-t", "ed25519", "-f", key], capture_output=True, check=True,
                                  env=ENV)
            public = next(line for line in made.stdout.decode().splitlines() if line.startswith("ssh-"))
            public = " ".join(public.split()[:2])  # no comment
            command = ["/usr/sbin/dropbear", "-F", "-E", "-p", "127.0.0.1:%d" % port, "-r", key, "-P", key + ".pid"]
        self.host_keys.append(public)
        write_known_hosts(self.known_hosts, self.host_keys)
        process = quiet(command)
        self.stops.append(lambda: stop(process))
        fakehost.wait_listening(port)

    def _ssh_client(self):
        """What the client needs: a home for root inside the lab, so that ssh (which takes it from
        /etc/passwd, not $HOME) reads and writes no ~/.ssh of the machine's; and the key login's key."""
        root = os.path.join(self.work, "root")
        os.mkdir(root, 0o700)
        with open(os.path.join(self.work, "passwd"), "r+") as f:  # in place: the bind sees the same file
            lines = [re.sub(r"^(root:[^:]*:0:[^:]*:[^:]*:)[^:]*", lambda m: m.group(1) + root, line)
                     for line in f]
            f.seek(0)
            f.write("".join(lines))
            f.truncate()
        subprocess.run(["ssh-keygen", "-q", "-t", "ed25519", "-N", "", "-C", "", "-f", self.ssh_key], check=True,
                       env=ENV)
        self._authorize(self.name, pwd.getpwnam(self.name).pw_dir)

    def _authorize(self, name, home):
        """The key login's public key in the account's authorized_keys."""
        entry, folder = pwd.getpwnam(name), os.path.join(home, ".ssh")
        os.mkdir(folder, 0o700)
        shutil.copy(self.ssh_key + ".pub", os.path.join(folder, "authorized_keys"))
        for path in (folder, os.path.join(folder, "authorized_keys")):
            os.chown(path, entry.pw_uid, entry.pw_gid)

    def ssh_user(self, server):
        """The account to log into: the lab's own (bash), or for vtysh the one whose shell is vtysh. Both
        take the lab's password (.password) and its key (.ssh_key)."""
        return self.vtysh_name if server == "vtysh" else self.name

    def ssh_options(self, server, key=False, host_key="known"):
        """The options ravlo passes on to ssh, as ["-o", "NAME=VALUE", ...], the account's name among them:
        nothing of the machine's own (agent, keys, known hosts, Kerberos) may answer for ravlo or ask it
        more. key: the key login, passwords refused; else the password login, no key offered.
        host_key: "known" checked against .known_hosts, so an unknown key fails the login;
        "unknown" asked about (an empty known_hosts, StrictHostKeyChecking ask); "changed" a
        known_hosts holding another key for the host."""
        hosts = self.known_hosts
        if host_key != "known":  # "changed": the key login's public key stands for another host's
            hosts = write_known_hosts(os.path.join(self.work, host_key + "_hosts"),
                                      [public_key(self.ssh_key + ".pub")] if host_key == "changed" else [])
        options = ["User=" + self.ssh_user(server), "UserKnownHostsFile=" + hosts, "GlobalKnownHostsFile=/dev/null",
                   "StrictHostKeyChecking=" + ("ask" if host_key == "unknown" else "yes"), "UpdateHostKeys=no",
                   "CheckHostIP=no", "BatchMode=no", "IdentityAgent=none", "GSSAPIAuthentication=no",
                   "KbdInteractiveAuthentication=no"]
        options += (["PubkeyAuthentication=yes", "IdentitiesOnly=yes", "IdentityFile=" + self.ssh_key,
                     "PasswordAuthentication=no"] if key else ["PubkeyAuthentication=no", "PasswordAuthentication=yes"])
        return [a for option in options for a in ("-o", option)]

    def _inetd(self, port):
        listener = socket.create_server(("127.0.0.1", port))

        def serve():
            while True:
                try:
                    conn, _ = listener.accept()
                except OSError:  # closed: we are done
                    return
                with conn:
                    subprocess.Popen([PROGRAMS["inetutils"], "-h"], stdin=conn, stdout=conn,
                                     stderr=subprocess.DEVNULL, env=ENV)
        threading.Thread(target=serve, daemon=True).start()
        return listener.close

    def _frr(self, port):
        folder = "/run/frr"  # zebra's own sockets go here too; /run is ours
        os.makedirs(folder, exist_ok=True)
        shutil.chown(folder, "frr", "frr")
        config = os.path.join(folder, "zebra.conf")
        with open(config, "w") as f:
            f.write(self.frr_config)
            if self.banner:
                f.write("banner motd line %s %s\n" % (BANNER[1], BANNER[-1]))
            f.write("".join(line + "\n" for line in self.long_output("frr")))
        shutil.chown(config, "frr", "frr")
        return [PROGRAMS["frr"], "-f", config, "-i", os.path.join(folder, "zebra.pid"), "-A", "127.0.0.1",
                "-P", str(port), "-u", "frr", "-g", "frr", "--log", "file:" + os.path.join(folder, "zebra.log")]

    def _device(self, port):
        """Builds tools/device/device_cli.c here, with its configuration and banner."""
        binary, config, banner = (os.path.join(self.work, name) for name in ("device_cli", "sw1.cfg", "sw1.banner"))
        subprocess.run([PROGRAMS["device"], "-std=c11", "-O2", "-Wall", "-Wextra", "-pedantic", "-Werror", "-o", binary,
                        DEVICE_SOURCE, "-lcli"], check=True)
        for path, lines in ((config, device_config(self.ports)), (banner, BANNER)):
            with open(path, "w") as f:
                f.write("".join(line + "\n" for line in lines))  # libcli sends each LF as CR LF
        return [binary, str(port), config, banner]

    def _ser2net(self, port):
        if VETH[0] not in [name for _, name in socket.if_nameindex()]:
            for command in (["link", "add", VETH[0], "type", "veth", "peer", "name", VETH[1]],
                            ["addr", "add", VETH[2], "dev", VETH[0]], ["link", "set", VETH[0], "up"],
                            ["link", "set", VETH[1], "up"]):
                subprocess.run(["/usr/sbin/ip"] + command, check=True)
        config = os.path.join(self.work, "ser2net.yaml")
        with open(config, "w") as f:
            f.write("%%YAML 1.1\n---\nconnection: &console\n  accepter: telnet,tcp,127.0.0.1,%d\n"
                    "  connector: pty,/bin/login\n" % port)
        return [PROGRAMS["ser2net"], "-n", "-c", config, "-P", os.path.join(self.work, "ser2net.pid")]

    def session(self, binary, server, options, kind, launcher=(), seconds=5, cut=None, seed=0):
        """One ravlo session against the server, or through a CuttingLink when
        cut is "SIZE,PAUSE_MS": (status, transcript, standard error)."""
        link = cut and CuttingLink(PORTS[server], *map(int, cut.split(",")), seed=seed)
        try:
            return self._session(binary, server, options, kind, launcher, seconds, link.port if link else PORTS[server])
        finally:
            if link:
                link.close()

    def _session(self, binary, server, options, kind, launcher, seconds, port):
        commands = os.path.join(self.work, "commands.txt")
        with open(commands, "w") as f:
            f.write("".join(line + "\n" for line in self.commands(server)))
        passwords = {"RAVLO_PASSWORD": self.password, "RAVLO_VTY_PASSWORD": self.vty_password,
                     "RAVLO_ENABLE_PASSWORD": self.enable_password}
        options = list(options) + WORKLOAD_OPTIONS.get(self.workload, [])
        command = list(launcher) + [binary, "-s", "-p", str(port)] + options + \
            [a for name in passwords for a in ("-k", name)] + ["127.0.0.1", kind, str(seconds), commands, "1"]
        # Only a guard against a hang, far above the longest session (a man page or FRR's
        # configuration through a pager under Wine, seconds).
        try:
            proc = subprocess.run(command, stdin=subprocess.DEVNULL, capture_output=True, timeout=seconds * 30,
                                  env=dict(os.environ, **passwords))
        except subprocess.TimeoutExpired as timeout:
            return "timeout", timeout.stdout or b"", timeout.stderr or b""
        return proc.returncode, proc.stdout, proc.stderr

    def verdict(self, server, status, out):
        """(done, typed ahead): done when the status is 0 and the last command's
        output came; typed ahead names the lines whose first echo follows no prompt."""
        done = status == 0 and MARKERS[server] in out
        # A reload's configuration saved as often as it was asked for: by the copy, and at a changed reload.
        saves = {"reload": 0, "reload-changed": 2}.get(self.workload)
        if saves is not None:
            done = done and b"Reloading..." in out and out.count(b"[OK]") == saves
        done = done and WORKLOAD_MARKERS.get(self.workload, b"") in out
        return done and not self.paging_problems(server, out), typed_ahead(self.commands(server), out)

    def paging_problems(self, server, out):
        """What the workload's clean transcript lacks, or holds of a pager."""
        text, at = ESCAPES.sub(b"", out), 0
        for line in self.long_output(server):
            at = text.find(line.encode(), at)
            if at < 0:
                return ["%r missing, or out of order" % line]
        return ["a pager's prompt or erase bytes: %r" % m for m in PAGED.findall(text)[:1]]


def public_key(path):
    """An OpenSSH public key file's type and key, without its comment, as known_hosts holds them."""
    with open(path) as f:
        return " ".join(f.read().split()[:2])


def write_known_hosts(path, keys):
    """A known_hosts file holding the keys for SSH_KNOWN_AS; returns its path."""
    with open(path, "w") as f:
        f.write("".join("%s %s\n" % (SSH_KNOWN_AS, key) for key in keys))
    return path


def procserv_child_up(port, seconds=10):
    """Returns once procServ's child runs. procServ starts it about a second
    after it listens, once a second of its passes with nothing to do: a
    client connecting before then sees it shut down and restarted, prompt and
    all, and a client every moment keeps it from ever starting."""
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        time.sleep(1.5)
        with socket.create_connection(("127.0.0.1", port), timeout=2) as conn:
            seen = b""
            while b"connected (plus you)" not in seen:
                try:
                    data = conn.recv(4096)
                except socket.timeout:
                    break
                if not data:
                    break
                seen += data
        if b'Child "sh" PID: ' in seen:
            time.sleep(0.3)  # its prompt, to nobody
            return
    sys.exit("procServ's child did not start")


def device_config(ports):
    """sw1's running configuration: some 300 lines for 48 ports, descriptions with "#" and ">" in them."""
    lines = ["!", "version 15.2", "service timestamps log datetime msec", "hostname sw1", "!",
             "banner motd ^C"] + BANNER + ["^C", "!"]
    for vlan in (10, 20, 30, 99):
        lines += ["vlan %d" % vlan, " name users-%d" % vlan, "!"]
    for port in range(1, ports + 1):
        lines += ["interface GigabitEthernet1/0/%d" % port,
                  " description desk %d -> patch#%d > floor %d" % (port, 100 + port, port % 4 + 1),
                  " switchport access vlan %d" % (10, 20, 30)[port % 3], " switchport mode access",
                  " spanning-tree portfast", "!"]
    return lines + ["interface Vlan99", " description mgmt #> do not shut", " ip address 192.0.2.10 255.255.255.0",
                    "!", "line vty 0 4", " login local", " transport input telnet", "!", "end"]


def stop(process):
    process.terminate()
    try:
        process.wait(3)
    except subprocess.TimeoutExpired:  # ser2net with a connection open ignores SIGTERM
        process.kill()
        process.wait()


class CuttingLink:
    """A link between ravlo and a server that cuts the server's text into
    pieces of 1..size bytes with pauses of up to pause_ms between them, as
    console servers, serial lines and long links do; what ravlo sends passes
    as it comes. Seeded: the same seed cuts the same way. Listens on .port."""

    def __init__(self, server_port, size, pause_ms, seed=1):
        self.server_port, self.size, self.pause, self.seed = server_port, size, pause_ms / 1000, seed
        self.listener = socket.create_server(("127.0.0.1", 0))
        self.port = self.listener.getsockname()[1]
        threading.Thread(target=self._accept, daemon=True).start()

    def close(self):
        self.listener.close()

    def _accept(self):
        for count in range(1 << 30):
            try:
                client, _ = self.listener.accept()
            except OSError:  # closed: we are done
                return
            server = socket.create_connection(("127.0.0.1", self.server_port))
            client.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)  # a piece, a segment
            threading.Thread(target=self._copy, args=(client, server, None), daemon=True).start()
            threading.Thread(target=self._copy, args=(server, client, random.Random(self.seed + count)),
                             daemon=True).start()

    def _copy(self, source, target, cutter):
        try:
            for data in iter(lambda: source.recv(65536), b""):
                if cutter is None:
                    target.sendall(data)
                    continue
                at = 0
                while at < len(data):
                    piece = data[at:at + cutter.randint(1, self.size)]
                    target.sendall(piece)
                    at += len(piece)
                    time.sleep(cutter.uniform(0, self.pause))
        except OSError:
            pass
        for end in (target, source):
            try:
                end.shutdown(socket.SHUT_RDWR)
            except OSError:
                pass

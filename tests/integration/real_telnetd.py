#!/usr/bin/env python3
"""Logs ravlo into a real Telnet server nobody here wrote, with /bin/login and
a shell behind it, runs one command and finds its output: busybox's telnetd
with the fixed scripts alone, inetutils' telnetd as a Telnet-aware session (-t).

Needs root. The test account, utmp and the login logs exist only in private
network and mount namespaces (copies bound over /etc/passwd and /etc/shadow,
tmpfs over /run and /var/log): the machine's own files are never written.
Exit 77 (skipped, reason printed) when it can't run.
"""
import argparse
import os
import pwd
import secrets
import shutil
import subprocess
import sys
import socket
import tempfile
import threading
import time
import warnings

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "..", "tools"))
import fakehost  # noqa: E402

warnings.simplefilter("ignore", DeprecationWarning)
try:
    import crypt
except ImportError:  # gone since Python 3.13
    crypt = None

KINDS = {"0": "linux", "1": "unix", "2": "other"}
# Per server: the target types tried, and ravlo's options before its arguments.
SERVERS = {"busybox": (["0", "1", "2"], []), "inetutils": (["0", "2"], ["-t"])}
# Debian's busybox-static and inetutils-telnetd (tools/stages/10-native.sh installs both).
PROGRAMS = {"busybox": "/bin/busybox", "inetutils": "/usr/sbin/telnetd"}
# busybox sends its option requests, then the issue text, then what login.sh
# writes: paced lines keep login's prompt out of the chunks linux and unix
# take. busybox shows the issue's line end as CR LF CR, a prompt: so it has none.
ISSUE = "busybox telnetd for ravlo"
WRAPPER = "#!/bin/sh\nfor n in 1 2 3; do sleep 0.4; printf '\\nravlo test host, line %s' $n; done\n" \
          "sleep 0.4; echo\nexec /bin/login\n"


def shape_host(work, password):
    """The private view of the machine: a test account and empty /run, /var/log."""
    taken = {entry.pw_uid for entry in pwd.getpwall()}
    uid = next(u for u in range(64000, 65000) if u not in taken)
    name, home = "ravlo%d" % uid, os.path.join(work, "home")
    os.mkdir(home)
    open(os.path.join(home, ".hushlogin"), "w").close()  # no motd or last-login lines
    for path in (home, os.path.join(home, ".hushlogin")):
        os.chown(path, uid, 100)
    hashed = crypt.crypt(password, crypt.mksalt(crypt.METHOD_SHA512))
    for base, line in {"passwd": "%s:x:%d:100::%s:/bin/sh\n" % (name, uid, home),
                       "shadow": "%s:%s:19000:0:99999:7:::\n" % (name, hashed)}.items():
        copy = os.path.join(work, base)
        shutil.copy2("/etc/" + base, copy)
        with open(copy, "a") as f:
            f.write(line)
        subprocess.run(["mount", "--bind", copy, "/etc/" + base], check=True)
    for path in ("/run", "/var/log"):
        subprocess.run(["mount", "-t", "tmpfs", "tmpfs", path], check=True)
    return name


def start_busybox(work):
    for name, text, mode in (("issue", ISSUE, 0o644), ("login.sh", WRAPPER, 0o755)):
        with open(os.path.join(work, name), "w") as f:
            f.write(text)
        os.chmod(f.name, mode)
    server = subprocess.Popen([PROGRAMS["busybox"], "telnetd", "-F", "-p", "23", "-b", "127.0.0.1", "-l",
                               os.path.join(work, "login.sh"), "-f", os.path.join(work, "issue")])
    return server.terminate


def start_inetutils(work):
    """inetutils' telnetd runs from inetd: one per connection, the socket on its standard input."""
    listener = socket.create_server(("127.0.0.1", 23))

    def serve():
        while True:
            try:
                conn, _ = listener.accept()
            except OSError:  # closed: the test is over
                return
            with conn:
                subprocess.Popen([PROGRAMS["inetutils"], "-h"], stdin=conn, stdout=conn, stderr=subprocess.DEVNULL)
    threading.Thread(target=serve, daemon=True).start()
    return listener.close


def run_session(binary, options, kind, name, password, work):
    commands = os.path.join(work, "commands.txt")
    with open(commands, "w") as f:
        f.write("%s\n%s\necho MARK$((6*7))\nexit\n" % (name, password))
    proc = subprocess.run([binary] + options + ["127.0.0.1", kind, "5", commands, "0"], stdin=subprocess.DEVNULL,
                          capture_output=True, timeout=90)
    out = proc.stdout
    checks = [
        (proc.returncode == 0 and proc.stderr == b"", "status %s, stderr %r" % (proc.returncode, proc.stderr)),
        (b"\nMARK42\r" in out, "the command's output MARK42 is missing"),
        (b"Password: ********" in out and password.encode() not in out, "the password was not masked"),
        # The option requests come in the first chunk: shown only where nothing takes them.
        ((b"\xff" in out) == (kind == "2" and not options), "the server's option requests were wrongly (not) shown"),
    ]
    problems = [message for ok, message in checks if not ok]
    return problems + (["transcript: '%s'" % fakehost.show(out)] if problems else [])


def main(argv):
    parser = argparse.ArgumentParser()
    parser.add_argument("--binary", required=True)
    parser.add_argument("--server", required=True, choices=sorted(SERVERS))
    parser.add_argument("--repeat", type=int, default=1)
    options = parser.parse_args(argv[1:])
    needs = ["/bin/login", PROGRAMS[options.server]]
    if os.geteuid() != 0 or crypt is None or not all(os.access(path, os.X_OK) for path in needs):
        print("SKIPPED: needs root, python3's crypt module, %s and %s" % tuple(needs))
        return fakehost.SKIP
    outer = os.environ.setdefault("RAVLO_OUTER_MNT_NS", os.readlink("/proc/self/ns/mnt"))
    fakehost.enter_private_netns([os.path.abspath(__file__)] + argv[1:], also=("-m",))
    if os.readlink("/proc/self/ns/mnt") == outer:
        sys.exit("refusing to run: not in a mount namespace of its own")

    failed = 0
    kinds, flags = SERVERS[options.server]
    with tempfile.TemporaryDirectory() as work:
        os.chmod(work, 0o755)  # the test account's home is inside
        password = "Pw-" + secrets.token_hex(6)
        name = shape_host(work, password)
        stop = (start_busybox if options.server == "busybox" else start_inetutils)(work)
        try:
            fakehost.wait_listening(23)
            for kind in kinds * options.repeat:
                problems = run_session(os.path.abspath(options.binary), flags, kind, name, password, work)
                print("%s %s.%s" % ("FAIL" if problems else "ok  ", options.server, KINDS[kind]), flush=True)
                print("".join("    %s\n" % p for p in problems), end="")
                failed += bool(problems)
        finally:
            stop()
    print("%d passed, %d failed" % (len(kinds) * options.repeat - failed, failed))
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))

#!/usr/bin/env python3
"""Runs ravlo against busybox's telnetd, a Telnet server nobody here wrote, with
/bin/login and a shell behind it: logs in, runs one command, finds its output.

Needs root. The test account, utmp and the login logs exist only in a private
mount namespace (copies bound over /etc/passwd and /etc/shadow, tmpfs over /run
and /var/log), so the machine's own files are never written and vanish with the
namespace, whatever happens. Exit 77 (skipped, reason printed) when it can't run.
"""
import argparse
import glob
import os
import pwd
import secrets
import shutil
import subprocess
import sys
import tempfile
import time
import warnings

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "..", "tools"))
import fakehost  # noqa: E402

with warnings.catch_warnings():
    warnings.simplefilter("ignore", DeprecationWarning)
    try:
        import crypt
    except ImportError:  # gone since Python 3.13
        crypt = None

KINDS = {"0": "linux", "1": "unix", "2": "other"}
OUTER_MNT = "RAVLO_OUTER_MNT_NS"

# busybox sends its option requests, then the issue text, then whatever LOGIN
# writes; linux takes three chunks unseen. Paced lines keep login's prompt out
# of them, and the negotiation's stray bytes reach the tty before login flushes it.
# busybox shows a line end of the issue file as CR LF CR, and a chunk ending in
# CR is a prompt: so the issue text has none, and each line starts a new line.
ISSUE = "busybox telnetd for ravlo"
WRAPPER = """#!/bin/sh
for n in 1 2 3; do sleep 0.4; printf '\\nravlo test host, line %s' $n; done
sleep 0.4; echo
exec /bin/login
"""


def skip(reason):
    print("SKIPPED: " + reason)
    sys.exit(fakehost.SKIP)


def fetch_busybox(cache):
    """busybox-static's binary, unpacked into the build tree on first use."""
    binary = os.path.join(cache, "root", "bin", "busybox")
    if os.access(binary, os.X_OK):
        return binary
    os.makedirs(cache, exist_ok=True)
    for attempt in ("first", "after apt-get update"):
        try:
            got = subprocess.run(["apt-get", "download", "busybox-static"], cwd=cache,
                                 capture_output=True, text=True)
        except FileNotFoundError:
            skip("apt-get is not available to fetch busybox-static")
        if got.returncode == 0:
            break
        if attempt == "first":  # a fresh machine may have empty package lists
            subprocess.run(["apt-get", "update", "-qq"], capture_output=True)
    else:
        skip("apt-get download busybox-static failed: " + got.stderr.strip()[-300:])
    deb = sorted(glob.glob(os.path.join(cache, "busybox-static_*.deb")))[-1]
    subprocess.run(["dpkg", "-x", deb, os.path.join(cache, "root")], check=True)
    return binary


def mount(*args):
    subprocess.run(["mount"] + list(args), check=True)


def shape_host(work, password):
    """The private view of the machine: a test account and empty /run, /var/log."""
    taken = {entry.pw_uid for entry in pwd.getpwall()}
    uid = next(u for u in range(64000, 65000) if u not in taken)
    name, home = "ravlo%d" % uid, os.path.join(work, "home")
    os.mkdir(home)
    open(os.path.join(home, ".hushlogin"), "w").close()  # no motd or last-login lines
    for path in (home, os.path.join(home, ".hushlogin")):
        os.chown(path, uid, 100)
    entries = {"passwd": "%s:x:%d:100::%s:/bin/sh\n" % (name, uid, home),
               "shadow": "%s:%s:19000:0:99999:7:::\n" % (name, crypt.crypt(password, crypt.mksalt(crypt.METHOD_SHA512)))}
    for base, line in entries.items():
        copy = os.path.join(work, base)
        shutil.copy2("/etc/" + base, copy)
        with open(copy, "a") as f:
            f.write(line)
        mount("--bind", copy, "/etc/" + base)
    mount("-t", "tmpfs", "tmpfs", "/run")
    mount("-t", "tmpfs", "tmpfs", "/var/log")
    return name


def start_telnetd(busybox, work):
    issue, wrapper = os.path.join(work, "issue"), os.path.join(work, "login.sh")
    with open(issue, "w") as f:
        f.write(ISSUE)
    with open(wrapper, "w") as f:
        f.write(WRAPPER)
    os.chmod(wrapper, 0o755)
    log = open(os.path.join(work, "telnetd.log"), "wb")
    server = subprocess.Popen([busybox, "telnetd", "-F", "-p", "23", "-b", "127.0.0.1", "-l", wrapper, "-f", issue],
                              stdin=subprocess.DEVNULL, stdout=log, stderr=log)
    deadline = time.monotonic() + 10
    while time.monotonic() < deadline and server.poll() is None:
        with open("/proc/net/tcp") as f:  # listening on 127.0.0.1:23, without connecting to it
            if any(row.split()[1:4:2] == ["0100007F:0017", "0A"] for row in f.readlines()[1:]):
                return server
        time.sleep(0.05)
    server.kill()
    sys.exit("telnetd did not start listening: " + open(log.name, "rb").read().decode(errors="replace"))


def run_session(binary, kind, limit, name, password, work):
    commands = os.path.join(work, "commands.txt")
    with open(commands, "w") as f:
        f.write("%s\n%s\necho MARK$((6*7))\nexit\n" % (name, password))
    try:
        proc = subprocess.run([binary, "127.0.0.1", kind, str(limit), commands, "0"], stdin=subprocess.DEVNULL,
                              capture_output=True, timeout=limit * 6 + 60)
        out, err, rc = proc.stdout, proc.stderr, proc.returncode
    except subprocess.TimeoutExpired as timeout:
        out, err, rc = timeout.stdout or b"", timeout.stderr or b"", "none (did not end)"
    checks = [
        (rc == 0, "exit status %s" % rc),
        (err == b"", "stderr: '%s'" % fakehost.show(err)),
        (b"\nMARK42\r" in out, "the command's output MARK42 is missing"),
        (b"Password: ********" in out, "no '********' right after the password prompt"),
        (password.encode() not in out, "the password was shown"),
        # The option requests come in the first chunk: shown only where nothing is taken.
        ((b"\xff\xfd" in out) == (kind == "2"), "the server's option requests were %sshown"
         % ("not " if kind == "2" else "")),
    ]
    problems = [message for ok, message in checks if not ok]
    if problems:
        problems.append("transcript: '%s'" % fakehost.show(out))
    return problems


def main(argv):
    parser = argparse.ArgumentParser()
    parser.add_argument("--binary", required=True)
    parser.add_argument("--cache", required=True, help="where busybox-static is fetched and unpacked")
    parser.add_argument("--types", nargs="+", default=sorted(KINDS), choices=sorted(KINDS))
    parser.add_argument("--limit", type=int, default=5, help="ravlo's response limit in seconds")
    parser.add_argument("--repeat", type=int, default=1)
    options = parser.parse_args(argv[1:])
    if os.geteuid() != 0:
        skip("needs root, to create the test account and run login")
    if crypt is None:
        skip("python3 has no crypt module to set the test account's password")
    if not os.access("/bin/login", os.X_OK):
        skip("/bin/login is not installed")
    busybox = fetch_busybox(os.path.abspath(options.cache))
    if os.environ.get(OUTER_MNT) is None:
        os.environ[OUTER_MNT] = os.readlink("/proc/self/ns/mnt")
    fakehost.enter_private_netns([os.path.abspath(__file__)] + argv[1:], also=("-m",))
    if os.readlink("/proc/self/ns/mnt") == os.environ[OUTER_MNT]:
        sys.exit("refusing to run: not in a mount namespace of its own")

    failed = passed = 0
    with tempfile.TemporaryDirectory() as work:
        os.chmod(work, 0o755)  # the test account's home is inside
        password = "Pw-" + secrets.token_hex(6)
        name = shape_host(work, password)
        server = start_telnetd(busybox, work)
        try:
            for _ in range(options.repeat):
                for kind in options.types:
                    started = time.monotonic()
                    problems = run_session(os.path.abspath(options.binary), kind, options.limit, name, password, work)
                    verdict = "FAIL" if problems else "ok  "
                    print("%s busybox.%s (%.2fs)" % (verdict, KINDS[kind], time.monotonic() - started), flush=True)
                    print("".join("    %s\n" % p for p in problems), end="")
                    failed, passed = failed + bool(problems), passed + (not problems)
        finally:
            server.terminate()
            server.wait(10)
    print("%d passed, %d failed" % (passed, failed))
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))

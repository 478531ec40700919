#!/usr/bin/env python3
"""A tiny pretend Linux host for the demo: a login, a password and a shell
that knows a few commands. Runs ravlo against it inside a private network
namespace, so the machine's own port 23 is never touched.

usage: demo_host.py RAVLO COMMAND_FILE [RESPONSE_SECONDS]
"""
import os
import socket
import subprocess
import sys
import threading

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import fakehost  # noqa: E402

PROMPT = b"[demo@ravlo-demo ~]$ "
OUTPUT = {
    b"uname -a": b"Linux ravlo-demo 6.1.0-28-amd64 x86_64 GNU/Linux",
    b"id": b"uid=1000(demo) gid=1000(demo) groups=1000(demo)",
    b"ls": b"notes.txt  reports  scripts",
    b"uptime": b" 09:41:07 up 12 days,  3:02,  1 user,  load average: 0.08, 0.03, 0.01",
    b"df -h /": b"Filesystem      Size  Used Avail Use% Mounted on\r\n/dev/vda1        20G  4.1G   15G  22% /",
}


def serve(conn):
    reader = conn.makefile("rb")

    def ask(text):
        conn.sendall(text)
        data = reader.readline()
        return data.rstrip(b"\r\n") if data else None  # None: ravlo has gone

    conn.sendall(b"\r\nDebian GNU/Linux 12 (ravlo demo host)\r\n\r\n")
    user = ask(b"ravlo-demo login: ")
    ask(b"Password: ")
    line = ask(b"Last login: Mon Dec  7 09:00:00 2026 from 10.0.0.5\r\n" + PROMPT)
    while line is not None:
        # A real terminal echoes what was typed; the transcript shows it so.
        reply = OUTPUT.get(line)
        if line.startswith(b"echo "):
            reply = line[5:].strip(b"'\"")
        elif line == b"whoami":
            reply = user
        elif reply is None:
            reply = b"-bash: " + line.split(b" ")[0] + b": no such command in this demo"
        # Output and prompt in one write: a "#" in output alone would count as a prompt.
        line = ask(line + b"\r\n" + reply + b"\r\n" + PROMPT)


def main(argv):
    fakehost.enter_private_netns([os.path.abspath(__file__)] + argv[1:])
    ravlo, commands = argv[1], argv[2]
    seconds = argv[3] if len(argv) > 3 else "5"
    listener = socket.create_server(fakehost.ADDRESS)

    def accept():
        conn, _ = listener.accept()
        try:
            serve(conn)
        except OSError:
            pass
        finally:
            conn.close()

    threading.Thread(target=accept, daemon=True).start()
    return subprocess.call([ravlo, "127.0.0.1", "2", seconds, commands, "0"])


if __name__ == "__main__":
    sys.exit(main(sys.argv))

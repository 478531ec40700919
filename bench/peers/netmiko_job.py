"""python3 netmiko_job.py PORT KIND FILE: the job as netmiko does it.
KIND shell: generic_termserver_telnet, its telnet login, then each command
to the shell's "$ "; router: cisco_ios_telnet (user name and password, or a
router's password alone), enable with the line after it as its secret,
configuration mode entered and left, the other lines as commands. A line
${NAME} is the environment variable NAME. Each command's output is printed; a shell's with the echo
left in: inetutils' telnetd echoes nothing to telnetlib, which refuses its
WILL ECHO, and stripping the echo would cut the output's first bytes."""
import os
import re
import sys

from netmiko import ConnectHandler


def value(line):
    name = re.fullmatch(r"\$\{(\w+)\}", line)
    return os.environ[name.group(1)] if name else line


port, kind, path = sys.argv[1:]
with open(path) as f:
    lines = iter(f.read().splitlines())
if kind == "shell":
    conn = ConnectHandler(device_type="generic_termserver_telnet", host="127.0.0.1", port=int(port),
                          username=next(lines), password=value(next(lines)))
    conn.std_login(pri_prompt_terminator=r"\$\s*$")
    for line in lines:
        print(conn.send_command(line, expect_string=r"\$ $", strip_command=False))
else:
    first = next(lines)
    user, password = ("", first) if first.startswith("${") else (first, next(lines))
    conn = ConnectHandler(device_type="cisco_ios_telnet", host="127.0.0.1", port=int(port), username=user,
                          password=value(password))
    for line in lines:
        if line == "enable":
            conn.secret = value(next(lines))
            conn.enable()
        elif line == "configure terminal":
            conn.config_mode(config_command=line)
        elif line == "end":
            conn.exit_config_mode(exit_config=line)
        else:
            print(conn.send_command(line))
conn.disconnect()

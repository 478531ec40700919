"""python3 netmiko_job.py PORT KIND FILE [-o OPTION]...: the job as netmiko does it.
KIND shell: generic_termserver_telnet, its telnet login, then each command
to the shell's "$ "; router: cisco_ios_telnet (user name and password, or a
router's password alone), enable with the line after it as its secret,
configuration mode entered and left, the other lines as commands; ssh:
linux, the password the first line, the user and the known hosts those of
ssh's OPTIONs (User=, UserKnownHostsFile=; the host's key checked), no
agent and no key (netmiko's defaults). A line
${NAME} is the environment variable NAME. Each command's output is printed; a shell's with the echo
left in: inetutils' telnetd echoes nothing to telnetlib, which refuses its
WILL ECHO, and stripping the echo would cut the output's first bytes."""
import os
import re
import sys

import paramiko
from netmiko import ConnectHandler
from netmiko.linux.linux_ssh import LinuxSSH


def value(line):
    name = re.fullmatch(r"\$\{(\w+)\}", line)
    return os.environ[name.group(1)] if name else line


class KnownHost(paramiko.MissingHostKeyPolicy):
    """ssh's check of the host's key: on any line of the known hosts. paramiko matches no
    "[127.0.0.1]:*", and of one host's two keys of a type it takes the first."""

    def missing_host_key(self, client, hostname, key):
        with open(ssh["UserKnownHostsFile"]) as f:
            if [key.get_name(), key.get_base64()] not in [line.split()[1:3] for line in f]:
                raise paramiko.SSHException("%s: host key not known" % hostname)


class Linux(LinuxSSH):
    def _build_ssh_client(self):
        client = super()._build_ssh_client()
        client.set_missing_host_key_policy(KnownHost())
        return client


port, kind, path = sys.argv[1:4]
ssh = dict(option.split("=", 1) for option in sys.argv[5::2])
with open(path) as f:
    lines = iter(f.read().splitlines())
if kind == "shell":
    conn = ConnectHandler(device_type="generic_termserver_telnet", host="127.0.0.1", port=int(port),
                          username=next(lines), password=value(next(lines)))
    conn.std_login(pri_prompt_terminator=r"\$\s*$")
    for line in lines:
        print(conn.send_command(line, expect_string=r"\$ $", strip_command=False))
elif kind == "ssh":
    conn = Linux(device_type="linux", host="127.0.0.1", port=int(port), username=ssh["User"],
                 password=value(next(lines)))
    for line in lines:
        print(conn.send_command(line))
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

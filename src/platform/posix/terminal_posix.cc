// A program in a pseudo-terminal on POSIX. The child gets a session of its
// own with the terminal as its controlling terminal, so ssh asks its
// questions there and a shell's job control works. The parent keeps only the
// master side: once the child and everything it started are gone, reading it
// fails (EIO on Linux, 0 on BSDs), and by then everything printed was read.
#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/terminal.h"

namespace platform {

struct Program {
  int master = -1;
  pid_t pid = -1;
  int status = -1;  // the exit status, once reaped
  bool ended = false;
};

namespace {

// Closes first..last, in one system call where the kernel has close_range: a
// loop costs a call for each descriptor the limit allows (some 20 ms at 20000).
void CloseRange(int first, int last) {
  if (first > last) return;
#ifdef SYS_close_range
  if (syscall(SYS_close_range, static_cast<unsigned>(first), static_cast<unsigned>(last), 0U) == 0) return;
#endif
  for (int fd = first; fd <= last; ++fd) close(fd);
}

// In the child, between fork and exec: only async-signal-safe calls. Reports
// errno through the pipe, which exec closes on success.
[[noreturn]] void RunChild(const char* slaveName, const ProgramStart& start, char* const* argv, char** env,
                           int report, int lastFd) {
  setsid();
  const int slave = open(slaveName, O_RDWR);
  if (slave >= 0) {
#ifdef TIOCSCTTY
    ioctl(slave, TIOCSCTTY, 0);
#endif
    winsize window{};
    window.ws_col = static_cast<unsigned short>(std::clamp(start.columns, 1, 65535));
    window.ws_row = static_cast<unsigned short>(std::clamp(start.rows, 1, 65535));
    ioctl(slave, TIOCSWINSZ, &window);
    for (int fd = 0; fd < 3; ++fd) dup2(slave, fd);
    if (slave > 2) close(slave);
    // Nothing of ravlo's own (the transcript's stream, the records, the
    // command file) stays open in the program: a pipe would never end.
    CloseRange(3, report - 1);
    CloseRange(report + 1, lastFd);
    environ = env;
    if (start.shell) {
      execl("/bin/sh", "sh", "-c", argv[0], static_cast<char*>(nullptr));
    } else {
      execvp(argv[0], argv);
    }
  }
  const int error = errno;
  ssize_t written = write(report, &error, sizeof error);
  static_cast<void>(written);
  _exit(127);
}

void Reap(Program* program, int options) {
  if (program->pid < 0) return;
  int status = 0;
  pid_t done;
  do {
    done = waitpid(program->pid, &status, options);
  } while (done < 0 && errno == EINTR);
  if (done != program->pid) return;
  program->pid = -1;
  program->status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

// Every process of the session the program leads: its group (a shell's
// commands) and, where the system lists them, the rest (an interactive
// shell's jobs, each a group of its own). Only while the leader is not yet
// reaped: its pid, and so the session's id, cannot have been reused.
void SignalSession(pid_t session, int signal) {
  kill(-session, signal);
#ifdef __linux__
  DIR* processes = opendir("/proc");
  if (processes == nullptr) return;
  while (const dirent* entry = readdir(processes)) {
    const long pid = std::strtol(entry->d_name, nullptr, 10);
    char path[64], stat[512];
    std::snprintf(path, sizeof path, "/proc/%ld/stat", pid);
    const int fd = pid > 0 ? open(path, O_RDONLY | O_CLOEXEC) : -1;
    if (fd < 0) continue;
    const ssize_t n = read(fd, stat, sizeof stat - 1);
    close(fd);
    stat[n > 0 ? n : 0] = '\0';
    // pid (name) state ppid pgrp session ...: the name may hold anything but the last ")".
    const char* after = std::strrchr(stat, ')');
    long fields[3] = {0, 0, 0};
    if (after != nullptr && std::sscanf(after + 1, " %*c %ld %ld %ld", &fields[0], &fields[1], &fields[2]) == 3 &&
        fields[2] == session) {
      kill(static_cast<pid_t>(pid), signal);
    }
  }
  closedir(processes);
#endif
}

// True while the leader runs; once it has ended it stays unreaped (a
// zombie), so that its pid still names the session.
bool WaitingFor(const Program* program) {
  siginfo_t info{};
  return waitid(P_PID, static_cast<id_t>(program->pid), &info, WEXITED | WNOHANG | WNOWAIT) == 0 && info.si_pid == 0;
}

}  // namespace

Program* StartProgram(const ProgramStart& start, std::string* error) {
  const int master = posix_openpt(O_RDWR | O_NOCTTY);
  const char* slaveName = master >= 0 && grantpt(master) == 0 && unlockpt(master) == 0 ? ptsname(master) : nullptr;
  int report[2] = {-1, -1};
  if (slaveName == nullptr || pipe(report) != 0) {
    *error = std::strerror(errno);
    if (master >= 0) close(master);
    return nullptr;
  }
  fcntl(report[1], F_SETFD, FD_CLOEXEC);
  fcntl(master, F_SETFD, FD_CLOEXEC);
  // Built before fork: the child may not allocate.
  std::vector<char*> argv;
  for (const std::string& arg : start.argv) argv.push_back(const_cast<char*>(arg.c_str()));
  argv.push_back(nullptr);
  // Its environment: ours, with the terminal type the window is drawn for.
  const std::string term = start.term != nullptr ? std::string("TERM=") + start.term : std::string();
  std::vector<char*> env;
  for (char** variable = environ; *variable != nullptr; ++variable) {
    if (term.empty() || std::strncmp(*variable, "TERM=", 5) != 0) env.push_back(*variable);
  }
  if (!term.empty()) env.push_back(const_cast<char*>(term.c_str()));
  env.push_back(nullptr);
  const std::string slave(slaveName);
  const long openMax = sysconf(_SC_OPEN_MAX);
  const int lastFd = openMax > 0 && openMax < 65536 ? static_cast<int>(openMax) - 1 : 65535;
  const pid_t pid = fork();
  if (pid == 0) {
    close(report[0]);
    close(master);
    RunChild(slave.c_str(), start, argv.data(), env.data(), report[1], lastFd);
  }
  close(report[1]);
  int childError = 0;
  ssize_t got;
  do {
    got = pid < 0 ? 0 : read(report[0], &childError, sizeof childError);
  } while (got < 0 && errno == EINTR);
  close(report[0]);
  if (pid < 0 || got == static_cast<ssize_t>(sizeof childError)) {
    *error = std::strerror(pid < 0 ? errno : childError);
    if (pid > 0) waitpid(pid, nullptr, 0);
    close(master);
    return nullptr;
  }
  fcntl(master, F_SETFL, fcntl(master, F_GETFL) | O_NONBLOCK);
  return new Program{master, pid};
}

Watched ProgramWatched(const Program* program) { return {program->ended ? kNoSocket : program->master, false}; }

int ProgramReceive(Program* program, char* buffer, int size) {
  if (program->ended) return kReceiveClosed;
  ssize_t n;
  do {
    n = read(program->master, buffer, static_cast<size_t>(size));
  } while (n < 0 && errno == EINTR);
  if (n > 0) return static_cast<int>(n);
  if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return kReceiveNothing;
  // EIO (Linux) or 0 (BSD): no process holds the terminal any more. The
  // program is about to end, if it has not: a moment for its status.
  program->ended = true;
  for (int tries = 0; tries < 200 && program->pid > 0; ++tries) {
    Reap(program, WNOHANG);
    if (program->pid > 0) PauseOneMs();
  }
  return kReceiveClosed;
}

int ProgramSend(Program* program, const char* data, int size) {
  if (program->ended) return -1;
  const ssize_t n = write(program->master, data, static_cast<size_t>(size));
  if (n >= 0) return static_cast<int>(n);
  if (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) return -1;
  // A full terminal that nobody holds any more never empties.
  pollfd slot{program->master, POLLOUT, 0};
  return poll(&slot, 1, 0) == 1 && (slot.revents & POLLHUP) != 0 ? -1 : 0;
}

int ProgramExitStatus(const Program* program) { return program->ended ? program->status : -1; }

void CloseProgram(Program* program) {
  if (program == nullptr) return;
  close(program->master);
  // The terminal's hang-up ends most programs; what is left of the session
  // is asked once more, then ended: an unattended run leaves nothing behind.
  if (program->pid > 0) {
    const pid_t session = program->pid;
    SignalSession(session, SIGHUP);
    for (int tries = 0; tries < 100 && WaitingFor(program); ++tries) PauseOneMs();
    SignalSession(session, SIGKILL);
    Reap(program, 0);
  }
  delete program;
}

std::string SshProgram() { return "ssh"; }

}  // namespace platform

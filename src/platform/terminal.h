// A program in a pseudo-terminal of its own, as a host ravlo talks to: what
// it prints is read as a host's text, what is sent is typed at its keyboard.
// One source file per backend (POSIX: a pseudo-terminal; Windows: a pseudo
// console).
#pragma once

#include <string>
#include <vector>

#include "platform/platform.h"
#include "platform/wait.h"

namespace platform {

struct Program;  // the backend's own

// What to start: with shell, argv[0] is one command line for the system's
// shell (POSIX: /bin/sh -c; Windows: as CreateProcess reads it); without,
// argv is a program, searched on PATH, and its arguments.
struct ProgramStart {
  std::vector<std::string> argv;
  bool shell = false;
  int columns = 80, rows = 24;  // the terminal's window
  const char* term = nullptr;   // POSIX: the program's TERM; nullptr: ravlo's own
};

// Starts the program. nullptr, with *error set to the system's own words,
// when it cannot be started.
Program* StartProgram(const ProgramStart& start, std::string* error);
// What SocketWait watches for the program's output and its end.
Watched ProgramWatched(const Program* program);
// What the program printed, without waiting: the byte count, or
// kReceiveNothing, or kReceiveClosed once it has ended and everything it
// printed has been read (and for ever after).
int ProgramReceive(Program* program, char* buffer, int size);
// Types what the terminal takes now without waiting, as SendSome does.
int ProgramSend(Program* program, const char* data, int size);
// Its exit status once ProgramReceive has said kReceiveClosed, else -1.
int ProgramExitStatus(const Program* program);
// Ends the program if it still runs and frees everything; nullptr is ignored.
void CloseProgram(Program* program);

// The OpenSSH client to start for --ssh: "ssh" on POSIX; on Windows the
// system's own ssh.exe, also from a 32-bit program.
std::string SshProgram();

}  // namespace platform

// The way in: one link to the host whatever its kind, a Telnet connection or
// a program in a pseudo-terminal (ssh, a shell, a device's CLI). Bytes only:
// what the text means is for the session above.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "platform/wait.h"

class Link {
 public:
  enum class Kind { kTelnet, kProgram, kSerial };
  virtual ~Link() = default;

  virtual Kind GetKind() const = 0;
  // What SocketWait watches for the next Receive.
  virtual platform::Watched Watched() const = 0;
  // Without waiting: a byte count, or platform::kReceiveNothing,
  // kReceiveClosed (the host closed, the program ended and all it printed
  // was read) or kReceiveFailed; the same answer for ever once it ended.
  virtual int Receive(char* buffer, int size) = 0;
  // What the link takes now without waiting: the byte count, 0 when nothing
  // fits at the moment, -1 once the link has failed or ended.
  virtual int SendSome(const char* data, int size) = 0;
  // The far side is there (a connection made, a program started).
  virtual bool Connected() const = 0;
  // The host's next segment is wanted at once: see platform::AcknowledgeAtOnce.
  virtual void AcknowledgeAtOnce() {}
  // What ended it: a program's exit status once Receive said closed, else -1.
  virtual int ExitStatus() const { return -1; }
  // A serial line's break: 0 once sent, or -1 with *error naming why not.
  virtual int Break(std::string* error) {
    *error = "no break on this link";
    return -1;
  }
};

// A Telnet connection that has begun connecting to peer; one that never
// connects just never receives.
std::unique_ptr<Link> ConnectTelnet(const platform::PeerAddress& peer);

// A program's window and terminal type (nullptr: the caller's own TERM).
struct Window {
  int columns = 80, rows = 24;
  const char* term = nullptr;
};

// A command line run by the system's shell in a pseudo-terminal. nullptr,
// with *error in the system's words, when it cannot be started.
std::unique_ptr<Link> StartCommand(const char* commandLine, const Window& window, std::string* error);

// A serial device (a path; COMn on Windows) at baud, raw 8N1. nullptr, with
// *error naming the trouble, when it cannot be had.
std::unique_ptr<Link> OpenSerialLine(const char* device, int baud, std::string* error);

// The system's OpenSSH client, in a pseudo-terminal, connecting to target
// ([USER@]HOST): "-p PORT" when port is not 0, "-o ConnectTimeout=SECONDS"
// when connectSeconds is not 0, and "-o OPTION" for each of sshOptions, so
// the user's own configuration, keys and agent apply.
struct SshTarget {
  const char* target = "";
  int port = 0;
  int connectSeconds = 0;
  std::vector<const char*> sshOptions;
};
std::unique_ptr<Link> StartSsh(const SshTarget& ssh, const Window& window, std::string* error);
// The program and arguments StartSsh runs, for the trace and for tests.
std::vector<std::string> SshArguments(const SshTarget& ssh);

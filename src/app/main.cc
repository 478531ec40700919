// ravlo: types the lines of a command file into a session with a host (Telnet,
// SSH, any program in a pseudo-terminal), one line per prompt, and shows
// everything the host sends.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include "app/command_line.h"
#include "app/limits.h"
#include "app/options.h"
#include "app/session.h"
#include "messages/messages.h"

namespace {

TargetType ReadTargetType(const char* text) {
  if (std::strcmp(text, "0") == 0) return TargetType::kLinux;
  if (std::strcmp(text, "1") == 0) return TargetType::kUnix;
  return TargetType::kOther;
}

const char* TypeLabel(TargetType type) {
  switch (type) {
    case TargetType::kLinux:
      return "linux";
    case TargetType::kUnix:
      return "unix";
    case TargetType::kOther:
      break;
  }
  return "other";
}

constexpr int kStatusOutputLost = 4;

// The banner's link: the way, and a serial line's rate.
std::string LinkLabel(const Options& options) {
  if (options.way == Way::kSerial) return "serial " + std::to_string(options.serialBaud);
  return options.way == Way::kSsh ? "ssh" : "exec";
}

// A program's pseudo-terminal gets the window and the type -t would report;
// "none" is a terminal's usual window, and the caller's own TERM.
std::unique_ptr<Link> StartProgramLink(const Session& session, std::string* error) {
  const Options& options = session.options;
  Window window{options.windowColumns, options.windowRows, options.terminalType};
  if (window.columns == 0) window = {80, 24, window.term};
  if (options.way == Way::kExec) return StartCommand(session.host, window, error);
  const SshTarget ssh{session.host, options.portGiven ? options.port : 0, options.connectSeconds, options.sshOptions};
  if (options.verbose) {
    std::string argv;
    for (const std::string& arg : SshArguments(ssh)) argv += (argv.empty() ? "" : " ") + arg;
    PrintTrace(kTraceProgramFormat, argv.c_str());
  }
  return StartSsh(ssh, window, error);
}

bool RecordsToStdout(const Options& options) {
  return options.records != nullptr && std::strcmp(options.records, "-") == 0;
}

// Our message for standard output; on standard error when standard output
// holds the records, so it stays JSON Lines.
template <typename... Args>
void PrintNotice(const Options& options, const char* format, Args... args) {
  if (RecordsToStdout(options)) return PrintError(format, args...);
  PrintMessage(format, args...);
}

// The status, unless something written to standard output or to the records
// was lost (a full disk, an I/O error): then one line says so and the status
// is 4, in every mode.
int Finish(Session& session, int status) {
  if (session.records.Close() != 0) {
    if (RecordsToStdout(session.options)) PrintError(kOutputFailedText);
    if (!RecordsToStdout(session.options)) PrintError(kRecordsWriteFailedFormat, session.options.records);
    status = kStatusOutputLost;
  }
  if (std::fflush(stdout) == 0 && std::ferror(stdout) == 0) return status;
  PrintError(kOutputFailedText);
  return kStatusOutputLost;
}

}  // namespace

int main(int argc, char** argv) {
  platform::ConsoleInit();
  Session session;
  const int first = ParseOptions(argc, argv, session.options);
  if (first >= 0 && session.options.help) {
    PrintMessage(kUsageText);
    PrintMessage(kHelpText);
    return Finish(session, 0);
  }
  if (first >= 0 && session.options.version) {
    PrintMessage(kVersionText);
    return Finish(session, 0);
  }
  if (first < 0 || argc - first != 5) {
    PrintNotice(session.options, kUsageText);
    return -1;
  }
  // The five arguments, counted from 1 as the usage text counts them.
  char** arg = argv + first - 1;
  session.host = arg[1];
  session.targetType = ReadTargetType(arg[2]);
  session.responseSeconds = std::min(ReadNumber(arg[3]), kMaxLimitSeconds);
  session.bellMode = std::min(ReadNumber(arg[5]), 1);
  if (session.responseSeconds < 1 || session.bellMode < 0) {
    PrintNotice(session.options, kUsageText);
    return -1;
  }
  session.responseMs = session.responseSeconds * 1000;
  // Before anything is connected or sent.
  if (const char* name = session.secrets.Load(session.options.secrets)) {
    PrintError(kSecretUnsetFormat, name);
    return -1;
  }
  if (session.options.records != nullptr &&
      session.records.Open(session.options.records, session.options.lineEnd, session.secrets,
                           session.options.charset) != 0) {
    PrintError(kRecordsOpenFailedFormat, session.options.records);
    return -1;
  }

  const bool telnet = session.options.way == Way::kTelnet;
  // A failed start is reported but not fatal: later steps fail in their own way.
  if (telnet && platform::NetStart() != 0) PrintError(kNetStartFailedText);
  platform::PeerAddress peer;
  if (telnet && platform::ResolveHost(session.host, session.options.port, &peer) != 0) {
    PrintNotice(session.options, kHostLookupFailedFormat, session.host);
    platform::NetStop();
    return -1;
  }
  if (session.commandFile.Open(arg[4]) != 0) {
    PrintNotice(session.options, kFileOpenFailedFormat, arg[4]);
    if (telnet) platform::NetStop();
    return -1;
  }
  session.commandFile.SetLineEnd(session.options.lineEnd);
  // A program that cannot be started ends the run before anything is shown.
  std::string error;
  const bool serial = session.options.way == Way::kSerial;
  session.link = telnet   ? ConnectTelnet(peer)
                 : serial ? OpenSerialLine(session.host, session.options.serialBaud, &error)
                          : StartProgramLink(session, &error);
  if (!session.link && serial) {
    PrintError(kSerialOpenFailedFormat, session.host, error.c_str());
    return -1;
  }
  if (!session.link) {
    PrintError(kProgramStartFailedFormat, session.options.way == Way::kSsh ? "ssh" : session.host, error.c_str());
    return -1;
  }
  session.records.Start();
  RestartResponseTimer(session);
  StartConnectTimer(session);
  StartDeadlineTimer(session);

  session.typeLabel = TypeLabel(session.targetType);
  session.bellLabel = session.bellMode == 0 ? "enable" : "disable";
  if (telnet) {
    PrintMessage(kBannerFormat, session.host, session.typeLabel, session.responseSeconds, arg[4],
                 session.bellLabel);
  } else {
    PrintMessage(kProgramBannerFormat, session.host, LinkLabel(session.options).c_str(), session.typeLabel,
                 session.responseSeconds, arg[4], session.bellLabel);
  }

  const SessionEnd end = SessionLoop(session);

  session.responseTimer.reset();
  session.connectTimer.reset();
  session.deadlineTimer.reset();
  PrintMessage("\n");
  session.commandFile.Close();
  session.link.reset();
  if (telnet) platform::NetStop();
  return Finish(session, session.options.status ? EndStatus(end) : 0);
}

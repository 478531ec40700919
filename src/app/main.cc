// ravlo: types the lines of a command file into a Telnet session, one line per
// prompt, and shows everything the host sends.
#include <algorithm>
#include <cstdio>
#include <cstring>

#include "app/command_line.h"
#include "messages/messages.h"
#include "app/session.h"

namespace {

constexpr std::int32_t kMaxResponseSeconds = 600;

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

}  // namespace

int main(int argc, char** argv) {
  platform::ConsoleInit();
  if (argc != 6) {
    PrintMessage(kUsageText);
    return -1;
  }
  Session session;
  session.host = argv[1];
  session.targetType = ReadTargetType(argv[2]);
  session.responseSeconds = std::min(ReadNumber(argv[3]), kMaxResponseSeconds);
  session.bellMode = std::min(ReadNumber(argv[5]), 1);
  if (session.responseSeconds < 1 || session.bellMode < 0) {
    PrintMessage(kUsageText);
    return -1;
  }
  session.responseMs = session.responseSeconds * 1000;

  // A failed start is reported but not fatal: later steps fail in their own way.
  if (platform::NetStart() != 0) PrintError(kNetStartFailedText);
  if (platform::ResolveHost(session.host, session.port, &session.peer) != 0) {
    PrintMessage(kHostLookupFailedFormat, session.host);
    platform::NetStop();
    return -1;
  }
  if (session.commandFile.Open(argv[4]) != 0) {
    PrintMessage(kFileOpenFailedFormat, argv[4]);
    platform::NetStop();
    return -1;
  }
  session.socket = platform::ConnectNonBlocking(session.peer);
  RestartResponseTimer(session);

  session.typeLabel = TypeLabel(session.targetType);
  session.bellLabel = session.bellMode == 0 ? "enable" : "disable";
  PrintMessage(kBannerFormat, session.host, session.typeLabel, session.responseSeconds, argv[4],
               session.bellLabel);

  SessionLoop(session);

  session.responseTimer.reset();
  PrintMessage("\n");
  session.commandFile.Close();
  platform::CloseSocket(session.socket);
  platform::NetStop();
  return 0;
}

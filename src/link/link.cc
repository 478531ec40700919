#include "link/link.h"

#include "platform/serial.h"
#include "platform/terminal.h"

namespace {

class TelnetLink final : public Link {
 public:
  explicit TelnetLink(platform::SocketHandle socket) : socket_(socket) {}
  ~TelnetLink() override { platform::CloseSocket(socket_); }
  TelnetLink(const TelnetLink&) = delete;
  TelnetLink& operator=(const TelnetLink&) = delete;

  Kind GetKind() const override { return Kind::kTelnet; }
  platform::Watched Watched() const override { return {socket_, false}; }
  int Receive(char* buffer, int size) override { return platform::Receive(socket_, buffer, size); }
  int SendSome(const char* data, int size) override { return platform::SendSome(socket_, data, size); }
  bool Connected() const override { return platform::IsConnected(socket_); }
  void AcknowledgeAtOnce() override { platform::AcknowledgeAtOnce(socket_); }

 private:
  platform::SocketHandle socket_;
};

class ProgramLink final : public Link {
 public:
  explicit ProgramLink(platform::Program* program) : program_(program) {}
  ~ProgramLink() override { platform::CloseProgram(program_); }
  ProgramLink(const ProgramLink&) = delete;
  ProgramLink& operator=(const ProgramLink&) = delete;

  Kind GetKind() const override { return Kind::kProgram; }
  platform::Watched Watched() const override { return platform::ProgramWatched(program_); }
  int Receive(char* buffer, int size) override { return platform::ProgramReceive(program_, buffer, size); }
  int SendSome(const char* data, int size) override { return platform::ProgramSend(program_, data, size); }
  bool Connected() const override { return true; }
  int ExitStatus() const override { return platform::ProgramExitStatus(program_); }

 private:
  platform::Program* program_;
};

class SerialLink final : public Link {
 public:
  explicit SerialLink(platform::SerialLine* line) : line_(line) {}
  ~SerialLink() override { platform::CloseSerial(line_); }
  SerialLink(const SerialLink&) = delete;
  SerialLink& operator=(const SerialLink&) = delete;

  Kind GetKind() const override { return Kind::kSerial; }
  platform::Watched Watched() const override { return platform::SerialWatched(line_); }
  int Receive(char* buffer, int size) override { return platform::SerialReceive(line_, buffer, size); }
  int SendSome(const char* data, int size) override { return platform::SerialSend(line_, data, size); }
  bool Connected() const override { return true; }
  int Break(std::string* error) override { return platform::SerialBreak(line_, error); }

 private:
  platform::SerialLine* line_;
};

std::unique_ptr<Link> Start(const platform::ProgramStart& start, std::string* error) {
  platform::Program* program = platform::StartProgram(start, error);
  if (program == nullptr) return nullptr;
  return std::make_unique<ProgramLink>(program);
}

}  // namespace

std::unique_ptr<Link> ConnectTelnet(const platform::PeerAddress& peer) {
  return std::make_unique<TelnetLink>(platform::ConnectNonBlocking(peer));
}

std::unique_ptr<Link> StartCommand(const char* commandLine, const Window& window, std::string* error) {
  return Start({{commandLine}, true, window.columns, window.rows, window.term}, error);
}

std::unique_ptr<Link> OpenSerialLine(const char* device, int baud, std::string* error) {
  platform::SerialLine* line = platform::OpenSerial(device, baud, error);
  if (line == nullptr) return nullptr;
  return std::make_unique<SerialLink>(line);
}

std::vector<std::string> SshArguments(const SshTarget& ssh) {
  std::vector<std::string> argv{platform::SshProgram()};
  if (ssh.port != 0) argv.insert(argv.end(), {"-p", std::to_string(ssh.port)});
  if (ssh.connectSeconds != 0) argv.insert(argv.end(), {"-o", "ConnectTimeout=" + std::to_string(ssh.connectSeconds)});
  for (const char* option : ssh.sshOptions) argv.insert(argv.end(), {"-o", option});
  // "--": a target that begins with "-" is a host, never an option of ssh's.
  argv.insert(argv.end(), {"--", ssh.target});
  return argv;
}

std::unique_ptr<Link> StartSsh(const SshTarget& ssh, const Window& window, std::string* error) {
  return Start({SshArguments(ssh), false, window.columns, window.rows, window.term}, error);
}

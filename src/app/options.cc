#include "app/options.h"

#include <getopt.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "app/command_line.h"
#include "messages/messages.h"
#include "negotiation/negotiation.h"
#include "platform/charset.h"
#include "platform/serial.h"
#include "sshwords/sshwords.h"

namespace {

// Options with a long name only get ids past every character.
constexpr int kLongOnly = 256;
constexpr int kSettle = kLongOnly, kWindow = kLongOnly + 1, kTerm = kLongOnly + 2, kWake = kLongOnly + 3,
              kCharset = kLongOnly + 4, kSsh = kLongOnly + 5, kExec = kLongOnly + 6, kDeadline = kLongOnly + 7,
              kSerial = kLongOnly + 8;

constexpr std::int32_t kMaxLineLimitSeconds = 86400, kMaxDeadlineSeconds = 604800;

// A terminal's Return key: what a program in a pseudo-terminal, and a device
// behind ssh, take for the end of a line.
constexpr std::string_view kTerminalLineEnd("\r");

// A Telnet-aware session presses Return as a Telnet client does, with CR NUL,
// Telnet's bare CR: many devices end a line only at CR and take a bare LF for
// nothing, and where CR LF reaches a pty the LF is a second Return, which a
// pager takes for a key.
constexpr std::string_view kTelnetLineEnd("\r\0", 2);

struct OptionRow {
  int shortName;  // a character, or an id of a long-only option
  const char* longName;
  int argument;  // no_argument or required_argument
  bool (*apply)(Options& options, const char* argument);  // false: the argument is unfit
};

bool ReadPort(Options& options, const char* text) {
  char* end = nullptr;
  const long port = std::strtol(text, &end, 10);
  if (*text < '0' || *text > '9' || *end != '\0' || port < 1 || port > 65535) return false;
  options.port = static_cast<std::uint16_t>(port);
  options.portGiven = true;
  return true;
}

// Telnet ends a line with CR LF; CR NUL is its bare carriage return.
bool ReadLineEnd(Options& options, const char* name) {
  static constexpr std::pair<const char*, std::string_view> kLineEnds[] = {
      {"lf", "\n"}, {"crlf", "\r\n"}, {"cr", "\r"}, {"crnul", std::string_view("\r\0", 2)}};
  for (const auto& [known, bytes] : kLineEnds) {
    if (std::strcmp(name, known) != 0) continue;
    options.lineEnd = bytes;
    options.lineEndGiven = true;
    return true;
  }
  return false;
}

// One way in only: Settle names a second one.
bool SetWay(Options& options, Way way) {
  if (options.way != Way::kTelnet && options.way != way) options.otherWay = options.way;
  options.way = way;
  return true;
}

// An empty prompt or keyword would match every chunk.
bool AddText(std::vector<const char*>& texts, const char* text) {
  texts.push_back(text);
  return *text != '\0';
}

// Read like the response limit: above the longest is the longest, below 1 unfit.
bool ReadConnectLimit(Options& options, const char* text) {
  options.connectSeconds = std::min(ReadNumber(text), kMaxLimitSeconds);
  return options.connectSeconds >= 1;
}

// Read like the other numbers; the longest a link that slow needs.
bool ReadSettle(Options& options, const char* text) {
  options.settleMs = ReadNumber(text);
  return options.settleMs >= 1 && options.settleMs <= 10000;
}

// Read like the other numbers, or "none".
bool ReadWake(Options& options, const char* text) {
  options.wakeSeconds = std::strcmp(text, "none") == 0 ? 0 : std::min(ReadNumber(text), kMaxLimitSeconds);
  return options.wakeSeconds >= 1 || std::strcmp(text, "none") == 0;
}

// TEXT=REPLY: TEXT up to the first "=", not empty.
bool AddAnswer(Options& options, const char* text) {
  const std::string_view answer(text);
  const std::size_t equals = answer.find('=');
  if (equals == 0 || equals == std::string_view::npos) return false;
  options.answers.push_back(Answer{answer.substr(0, equals), answer.substr(equals + 1)});
  return true;
}

// One of the rates a serial line runs at, read like the other numbers.
bool ReadSerial(Options& options, const char* text) {
  SetWay(options, Way::kSerial);
  options.serialBaud = ReadNumber(text);
  return std::find(platform::kSerialRates, platform::kSerialRates + platform::kSerialRateCount,
                   options.serialBaud) != platform::kSerialRates + platform::kSerialRateCount;
}

// TEXT=SECONDS: TEXT up to the last "=", not empty; SECONDS read like the
// other numbers.
bool AddLineLimit(Options& options, const char* text) {
  const std::string_view limit(text);
  const std::size_t equals = limit.rfind('=');
  if (equals == 0 || equals == std::string_view::npos) return false;
  const std::int32_t seconds = ReadNumber(text + equals + 1);
  options.lineLimits.push_back(LineLimit{limit.substr(0, equals), seconds});
  return seconds >= 1 && seconds <= kMaxLineLimitSeconds;
}

bool ReadDeadline(Options& options, const char* text) {
  options.deadlineSeconds = ReadNumber(text);
  return options.deadlineSeconds >= 1 && options.deadlineSeconds <= kMaxDeadlineSeconds;
}

// A name with "=" would find another variable, one with "}" could never be referenced.
bool AddSecretName(Options& options, const char* name) {
  return AddText(options.secrets, name) && std::strpbrk(name, "=}") == nullptr;
}

// "COLSxROWS", each 1..65535, or "none".
bool ReadWindow(Options& options, const char* text) {
  if (std::strcmp(text, "none") == 0) {
    options.windowColumns = options.windowRows = 0;
    return true;
  }
  long values[2] = {0, 0};
  for (long& value : values) {
    char* end = nullptr;
    if (*text < '0' || *text > '9') return false;
    value = std::strtol(text, &end, 10);
    if (value < 1 || value > 65535 || *end != (&value == values ? 'x' : '\0')) return false;
    text = end + 1;
  }
  options.windowColumns = static_cast<std::uint16_t>(values[0]);
  options.windowRows = static_cast<std::uint16_t>(values[1]);
  return true;
}

// Printable ASCII, 1..40 bytes, or "none".
bool ReadTerminalType(Options& options, const char* text) {
  const std::size_t length = std::strlen(text);
  options.terminalType = std::strcmp(text, "none") == 0 ? nullptr : text;
  return length >= 1 && length <= TelnetFilter::kMaxTypeBytes &&
         std::all_of(text, text + length, [](char c) { return c >= 0x20 && c <= 0x7E; });
}

// A name of platform::kCharsets, in any case, that the system can convert.
bool ReadCharset(Options& options, const char* name) {
  for (int charset = 0; charset < platform::kCharsetCount; ++charset) {
    const char* known = platform::kCharsets[charset];
    std::size_t k = 0;
    while (known[k] != '\0' && std::tolower(static_cast<unsigned char>(name[k])) == known[k]) ++k;
    if (known[k] != '\0' || name[k] != '\0') continue;
    options.charset = charset;
    return charset == 0 || platform::Decoder(charset).Ok();
  }
  return false;
}

// One row per option; kHelpText lists them for the user.
constexpr OptionRow kOptionRows[] = {
    {'s', "status", no_argument, [](Options& o, const char*) { return o.status = true; }},
    {'v', "verbose", no_argument, [](Options& o, const char*) { return o.verbose = true; }},
    {'V', "version", no_argument, [](Options& o, const char*) { return o.version = true; }},
    {'h', "help", no_argument, [](Options& o, const char*) { return o.help = true; }},
    {'p', "port", required_argument, ReadPort},
    {'t', "telnet", no_argument, [](Options& o, const char*) { return o.telnet = true; }},
    {'P', "prompt", required_argument, [](Options& o, const char* t) { return AddText(o.prompts, t); }},
    {'E', "error", required_argument, [](Options& o, const char* t) { return AddText(o.keywords, t); }},
    {'k', "secret", required_argument, AddSecretName},
    {'w', "connect-limit", required_argument, ReadConnectLimit},
    {'e', "prompt-at-end", no_argument, [](Options& o, const char*) { return o.promptAtEnd = true; }},
    {'L', "line-end", required_argument, ReadLineEnd},
    {'c', "clean", no_argument, [](Options& o, const char*) { return o.clean = true; }},
    {kSettle, "settle", required_argument, ReadSettle},
    {'j', "records", required_argument, [](Options& o, const char* t) { return *(o.records = t) != '\0'; }},
    {kWindow, "window", required_argument, ReadWindow},
    {kTerm, "term", required_argument, ReadTerminalType},
    {'M', "more", required_argument, [](Options& o, const char* t) { return AddText(o.pagers, t); }},
    {kWake, "wake", required_argument, ReadWake},
    {'A', "answer", required_argument, AddAnswer},
    {'K', "keys", no_argument, [](Options& o, const char*) { return o.keys = true; }},
    {kCharset, "charset", required_argument, ReadCharset},
    {kSsh, "ssh", no_argument, [](Options& o, const char*) { return SetWay(o, Way::kSsh); }},
    {kExec, "exec", no_argument, [](Options& o, const char*) { return SetWay(o, Way::kExec); }},
    {kSerial, "serial", required_argument, ReadSerial},
    {'T', "line-limit", required_argument, AddLineLimit},
    {kDeadline, "deadline", required_argument, ReadDeadline},
    {'o', "ssh-option", required_argument, [](Options& o, const char* t) { return AddText(o.sshOptions, t); }},
};

const OptionRow* FindOption(int shortName) {
  for (const OptionRow& row : kOptionRows) {
    if (shortName != 0 && row.shortName == shortName) return &row;
  }
  return nullptr;
}

// The refused option as the user wrote it: a long one without its "=value".
std::string RefusedName(const char* argument, int shortName) {
  if (std::strncmp(argument, "--", 2) != 0) return std::string("-") + static_cast<char>(shortName);
  return std::string(argument, std::strcspn(argument, "="));
}

// What the options mean together; false after one line naming a conflict.
bool Settle(Options& options) {
  static constexpr const char* kWays[] = {"", "--ssh", "--exec", "--serial"};
  const char* way = kWays[static_cast<int>(options.way)];
  const char* conflict = nullptr;
  if (options.otherWay != Way::kTelnet) {
    conflict = kWays[static_cast<int>(options.otherWay)];
  } else if (options.way != Way::kTelnet && options.telnet) {
    conflict = "-t";  // no Telnet byte ever goes to a program or a device
  } else if (options.way != Way::kTelnet && options.way != Way::kSsh && options.portGiven) {
    conflict = "-p";
  }
  if (conflict != nullptr) {
    PrintError(kOptionsConflictFormat, conflict, way);
    return false;
  }
  if (!options.sshOptions.empty() && options.way != Way::kSsh) {
    PrintError(kOptionNeedsOptionFormat, "-o", "--ssh");
    return false;
  }
  if (options.way == Way::kSsh) options.prompts.push_back(kSshPassphrasePrompt);
  if (options.wakeSeconds == Options::kWakeNotGiven) {
    options.wakeSeconds = options.way == Way::kSsh ? 0 : Options::kDefaultWakeSeconds;
  }
  if (!options.lineEndGiven) {
    if (options.telnet) options.lineEnd = kTelnetLineEnd;
    if (options.way != Way::kTelnet) options.lineEnd = kTerminalLineEnd;
  }
  return true;
}

}  // namespace

int ParseOptions(int argc, char** argv, Options& options) {
  // "+": stop at the first positional argument, so "-3" as a limit stays one.
  // ":": a missing argument is ours to report, like every other problem.
  std::string shortNames = "+:";
  std::vector<option> longOptions;
  for (const OptionRow& row : kOptionRows) {
    if (row.shortName < kLongOnly) shortNames += static_cast<char>(row.shortName);
    if (row.shortName < kLongOnly && row.argument == required_argument) shortNames += ':';
    longOptions.push_back(option{row.longName, row.argument, nullptr, row.shortName});
  }
  longOptions.push_back(option{nullptr, 0, nullptr, 0});
  opterr = 0;
  for (;;) {
    const int at = optind;
    const int found = getopt_long(argc, argv, shortNames.c_str(), longOptions.data(), nullptr);
    if (found == -1) return Settle(options) ? optind : -1;
    if (const OptionRow* row = FindOption(found)) {
      if (row->apply(options, optarg)) continue;
      PrintError(kBadOptionValueFormat, RefusedName(argv[at], found).c_str(), optarg);
      return -1;
    }
    // getopt_long names a known option whose argument is wrong in optopt.
    const OptionRow* known = FindOption(optopt);
    const char* format = known == nullptr                         ? kUnknownOptionFormat
                         : known->argument == required_argument ? kOptionNeedsArgumentFormat
                                                                 : kOptionTakesNoArgumentFormat;
    PrintError(format, RefusedName(argv[at], optopt).c_str());
    return -1;
  }
}

#include "keys/keys.h"

#include <utility>

namespace {

constexpr unsigned char kIac = 255;

// The Telnet commands a line may name (RFC 854).
constexpr std::pair<std::string_view, unsigned char> kCommands[] = {
    {"<BREAK>", 243}, {"<IP>", 244}, {"<AO>", 245}, {"<AYT>", 246}, {"<NOP>", 241}};

// The control character "^c" stands for, or -1.
int Control(char c) {
  if (c == '?') return 0x7F;
  if (c >= 'a' && c <= 'z') return c - 'a' + 1;
  if (c >= '@' && c <= '_') return c - '@';  // @, A..Z, [, \, ], ^, _
  return -1;
}

void Name(std::string& names, std::string_view name) {
  if (!names.empty()) names += ' ';
  names += name;
}

// Whether line ends in lineEnd; if so, without it.
bool Ended(std::string_view& line, std::string_view lineEnd) {
  const bool ended = !lineEnd.empty() && line.size() >= lineEnd.size() &&
                     line.substr(line.size() - lineEnd.size()) == lineEnd;
  if (ended) line.remove_suffix(lineEnd.size());
  return ended;
}

}  // namespace

const char* TelnetCommand(std::string_view line, std::string_view lineEnd) {
  Ended(line, lineEnd);
  for (const auto& [name, code] : kCommands) {
    if (line == name) return name.data();
  }
  return nullptr;
}

void TranslateKeys(std::string_view line, std::string_view lineEnd, std::string& out, std::string& names) {
  const bool ended = Ended(line, lineEnd);
  out.clear();
  for (const auto& [name, code] : kCommands) {
    if (line != name) continue;
    out += static_cast<char>(kIac);
    out += static_cast<char>(code);
    Name(names, name);
    return;
  }
  bool text = false;
  for (std::size_t k = 0; k < line.size(); ++k) {
    const int control = line[k] == '^' && k + 1 < line.size() ? Control(line[k + 1]) : -1;
    if (control < 0) {
      out += line[k];
      text = true;
      continue;
    }
    out += static_cast<char>(control);
    Name(names, line.substr(k, 2));
    ++k;
  }
  if (ended && (text || line.empty())) out += lineEnd;
}

#include "sshwords/sshwords.h"

#include <cstring>

namespace {

struct Row {
  const char* words;
  SshSays says;
};

// Each as OpenSSH's client prints it, the same on every system it runs on.
constexpr Row kRows[] = {
    {"Permission denied, please try again.", SshSays::kRefused},
    {"Permission denied (", SshSays::kRefused},  // the last refusal names the methods tried
    {"Too many authentication failures", SshSays::kRefused},
    {"Host key verification failed.", SshSays::kRefused},
    {"Are you sure you want to continue connecting", SshSays::kRefused},
    {"ssh: connect to host ", SshSays::kUnreachable},  // refused, timed out, no route
    {"ssh: Could not resolve hostname ", SshSays::kUnreachable},
    {"kex_exchange_identification: ", SshSays::kUnreachable},  // closed before it spoke
    {"Connection closed by ", SshSays::kUnreachable},
    {"Connection reset by ", SshSays::kUnreachable},
};

constexpr const char* kHostKeyQuestion = kRows[4].words;

// True when one of questions is in the rest of the question's line.
bool Answered(const char* question, const std::vector<std::string_view>& questions) {
  const std::string_view line(question, std::strcspn(question, "\r\n"));
  for (std::string_view answer : questions) {
    if (line.find(answer) != std::string_view::npos) return true;
  }
  return false;
}

}  // namespace

SshWords FindSshWords(const char* text, const std::vector<std::string_view>& questions) {
  for (const Row& row : kRows) {
    const char* found = std::strstr(text, row.words);
    if (found == nullptr) continue;
    if (row.words == kHostKeyQuestion && Answered(found, questions)) continue;
    return {row.says, row.words};
  }
  return {};
}

// What the OpenSSH client says of its own while it logs in, before any text
// of the remote side: a refusal, a question about the host's key, a host it
// cannot reach. Only its own words count: the remote side may say "Permission
// denied" in a healthy session (FRR's vtysh does, of its configuration file).
#pragma once

#include <string_view>
#include <vector>

enum class SshSays : unsigned char {
  kNothing,
  kRefused,      // no login: a refused password or key, an unknown or changed host key
  kUnreachable,  // no connection: the name, the route, the port, the time
};

struct SshWords {
  SshSays says = SshSays::kNothing;
  const char* words = nullptr;  // what was found, for the trace and the records
};

// Looks for ssh's own words in text (zero-terminated). A host-key question
// that one of questions (-A) answers is left to that answer: ravlo never
// answers it by itself.
SshWords FindSshWords(const char* text, const std::vector<std::string_view>& questions);

// ssh's prompt for a key's passphrase ends so ("Enter passphrase for key
// '/home/u/.ssh/id_ed25519': "): with --ssh it is a prompt.
inline constexpr char kSshPassphrasePrompt[] = "': ";

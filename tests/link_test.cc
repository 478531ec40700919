#include "link/link.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// -p only when given, -w as ssh's own connect limit, every -o in order, and
// "--" so that no target is ever read as an option of ssh's.
TEST(SshArguments, PassOnWhatTheUserGave) {
  const struct {
    SshTarget ssh;
    std::vector<std::string> argv;
  } cases[] = {
      {{"h", 0, 0, {}}, {"ssh", "--", "h"}},
      {{"u@h", 2222, 7, {"A=b", "C=d"}},
       {"ssh", "-p", "2222", "-o", "ConnectTimeout=7", "-o", "A=b", "-o", "C=d", "--", "u@h"}},
      {{"-oProxyCommand=x", 0, 0, {}}, {"ssh", "--", "-oProxyCommand=x"}},
  };
  for (const auto& c : cases) EXPECT_EQ(SshArguments(c.ssh), c.argv);
}

}  // namespace

#include "secrets/secrets.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <string>

#include "collect.h"

namespace {

constexpr const char* kNames[] = {"RAVLO_TEST_A", "RAVLO_TEST_B"};

Secrets Loaded(const std::vector<const char*>& values) {
  for (std::size_t n = 0; n < values.size(); ++n) setenv(kNames[n], values[n], 1);
  Secrets secrets;
  EXPECT_EQ(secrets.Load({kNames, kNames + values.size()}), nullptr);
  return secrets;
}

TEST(Secrets, ExpandsOnlyNamedReferencesAndWipes) {
  Secrets secrets = Loaded({"pw1", "${RAVLO_TEST_A}"});
  struct Case {
    std::string line, expanded;
  } cases[] = {
      {"${RAVLO_TEST_A}\n", "pw1\n"},  {"${OTHER} $RAVLO_TEST_A", "${OTHER} $RAVLO_TEST_A"},
      {"x${RAVLO_TEST_A", "x${RAVLO_TEST_A"},  {"${${RAVLO_TEST_A}}", "${pw1}"},
      {"a${RAVLO_TEST_B}b${RAVLO_TEST_A}", "a${RAVLO_TEST_A}bpw1"},  {std::string("\0${}", 4), std::string("\0${}", 4)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.line);
    const std::string& out = secrets.Expand(c.line);
    EXPECT_EQ(out, c.expanded);
    const char* bytes = out.data();
    secrets.Wipe();
    EXPECT_EQ(std::string(bytes, c.expanded.size()), std::string(c.expanded.size(), '\0'));
  }
}

// Every text cut once at every place, then cut at every byte: the same transcript.
TEST(Secrets, MasksValuesSplitAcrossChunks) {
  struct Case {
    std::vector<const char*> values;
    std::string text, shown;
  } cases[] = {
      {{"abc"}, "abab abc ab", "abab ******** ab"},
      {{"abc", "abcdef"}, "abcdefabcab", "****************ab"},
      {{"Secr3t!pw", "pw"}, "x Secr3t!pwpw Secr3t!p", "x **************** Secr3t!p"},
      {{"aa"}, "aaa", "********a"},
  };
  for (const Case& c : cases) {
    for (std::size_t cut = 0; cut <= c.text.size() + 1; ++cut) {
      SCOPED_TRACE(c.text + " cut at " + std::to_string(cut));
      Secrets secrets = Loaded(c.values);
      Secrets::Stream stream = secrets.NewStream();
      Collect shown;
      for (std::size_t at = 0; at < c.text.size();) {
        const std::size_t n = cut > c.text.size() ? 1 : at < cut ? cut - at : c.text.size() - at;
        secrets.Mask(stream, c.text.data() + at, static_cast<int>(n), shown);
        at += n;
      }
      secrets.Flush(stream, shown);
      EXPECT_EQ(shown.text, c.shown);
    }
  }
}

}  // namespace

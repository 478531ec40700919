#include "secrets/secrets.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace {

constexpr char kMask[] = "********";
constexpr int kMaskBytes = sizeof kMask - 1;

enum class Found { kNone, kPrefix, kWhole };

}  // namespace

// What the scan sees: the bytes held back, then the new chunk.
struct Secrets::View {
  const char* held;
  std::size_t heldCount;
  const char* chunk;
  std::size_t count;

  std::size_t Size() const { return heldCount + count; }
  char operator[](std::size_t k) const { return k < heldCount ? held[k] : chunk[k - heldCount]; }

  // kPrefix: the stream ends inside what would be the value.
  Found Match(std::size_t at, const Secret& secret) const {
    const std::size_t n = std::min(Size() - at, secret.length);
    for (std::size_t k = 0; k < n; ++k) {
      if ((*this)[at + k] != secret.value[k]) return Found::kNone;
    }
    return n == secret.length ? Found::kWhole : Found::kPrefix;
  }

  // Writes [from, to), in at most two pieces.
  void Pass(std::size_t from, std::size_t to, Stage& next) const {
    const std::size_t heldTo = std::min(to, heldCount);
    if (from < heldTo) next.Write(held + from, static_cast<int>(heldTo - from));
    from = std::max(from, heldCount);
    if (from < to) next.Write(chunk + (from - heldCount), static_cast<int>(to - from));
  }
};

const char* Secrets::Load(const std::vector<const char*>& names) {
  std::size_t longest = 0;
  for (const char* name : names) {
    const char* value = std::getenv(name);
    if (value == nullptr || *value == '\0') return name;
    secrets_.push_back(Secret{name, std::strlen(name), value, std::strlen(value)});
    longest = std::max(longest, secrets_.back().length);
  }
  longest_ = longest;
  return nullptr;
}

Secrets::Stream Secrets::NewStream() const {
  Stream stream;
  stream.held_.resize(longest_);
  return stream;
}

// Calls part with each piece of the expanded line, in order.
template <typename Part>
void Secrets::ForEachPart(const std::string& line, Part part) const {
  std::size_t from = 0;
  std::size_t at = 0;
  while ((at = line.find("${", from)) != std::string::npos) {
    const std::size_t end = line.find('}', at + 2);
    if (end == std::string::npos) break;
    const char* name = line.data() + at + 2;
    const auto named = std::find_if(secrets_.begin(), secrets_.end(), [&](const Secret& s) {
      return s.nameLength == end - at - 2 && std::memcmp(s.name, name, s.nameLength) == 0;
    });
    if (named == secrets_.end()) {
      part(line.data() + from, at + 2 - from);  // not ours: "${" as written, and on
      from = at + 2;
      continue;
    }
    part(line.data() + from, at - from);
    part(named->value, named->length);
    from = end + 1;
  }
  part(line.data() + from, line.size() - from);
}

const std::string& Secrets::Expand(const std::string& line) {
  if (secrets_.empty()) return line;
  Wipe();
  std::size_t size = 0;
  ForEachPart(line, [&](const char*, std::size_t n) { size += n; });
  // Grown only while empty and wiped, so no freed buffer keeps a value.
  if (size > expanded_.capacity()) expanded_.reserve(size);
  ForEachPart(line, [&](const char* bytes, std::size_t n) { expanded_.append(bytes, n); });
  return expanded_;
}

void Secrets::Wipe() {
  // volatile: stores that nothing reads again must still be made.
  volatile char* bytes = &expanded_[0];
  for (std::size_t k = 0; k < expanded_.size(); ++k) bytes[k] = 0;
  expanded_.clear();
}

void Secrets::Mask(Stream& stream, const char* chunk, int count, Stage& next) const {
  if (secrets_.empty()) {
    next.Write(chunk, count);
    return;
  }
  const View view{stream.held_.data(), stream.heldCount_, chunk, static_cast<std::size_t>(count)};
  Scan(view, false, stream, next);
}

void Secrets::Flush(Stream& stream, Stage& next) const {
  Scan(View{stream.held_.data(), stream.heldCount_, nullptr, 0}, true, stream, next);
}

// Masks the longest value found at each place. Unless final, stops at the
// first place where the stream ends inside a value, and holds the rest back:
// fewer bytes than the longest value.
void Secrets::Scan(const View& view, bool final, Stream& stream, Stage& next) const {
  std::size_t shown = 0;
  std::size_t at = 0;
  while (at < view.Size()) {
    std::size_t whole = 0;
    bool prefix = false;
    for (const Secret& secret : secrets_) {
      const Found found = view.Match(at, secret);
      prefix = prefix || (found == Found::kPrefix && !final);
      if (found == Found::kWhole) whole = std::max(whole, secret.length);
    }
    if (prefix) break;
    if (whole == 0) {
      ++at;
      continue;
    }
    view.Pass(shown, at, next);
    next.Write(kMask, kMaskBytes);
    at += whole;
    shown = at;
  }
  view.Pass(shown, at, next);
  // Left to right: each byte is read before anything overwrites it.
  stream.heldCount_ = view.Size() - at;
  for (std::size_t k = 0; k < stream.heldCount_; ++k) stream.held_[k] = view[at + k];
}

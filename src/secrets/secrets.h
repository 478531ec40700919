// Secrets named with -k: the value of each stands for ${NAME} in command
// lines, and never reaches the transcript.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

class Secrets {
 public:
  // Where masked text goes, piece by piece, in order.
  using Sink = void (*)(const char* bytes, int count, void* context);

  // Reads each name's value from the environment, once; the values are used
  // where the environment keeps them. Returns nullptr when every one is set
  // and not empty, else the first name that is not.
  const char* Load(const std::vector<const char*>& names);

  // The line with each ${NAME} of a loaded name replaced by its value; all
  // else, another ${...} and the values' own text included, as written.
  // Without secrets, line itself. Valid until the next Expand or Wipe.
  const std::string& Expand(const std::string& line);
  // Overwrites the expanded line, so no copy of a value outlives its sending.
  void Wipe();

  // Hands the chunk on to sink with every value in it shown as "********".
  // The bytes at its end that could begin a value are held back and handed
  // on with the next chunk, or by Flush. Allocates nothing.
  void Mask(const char* chunk, int count, Sink sink, void* context);
  // Hands on what is held back, values in it masked: at the session's end.
  void Flush(Sink sink, void* context);

 private:
  struct Secret {
    const char* name;
    std::size_t nameLength;
    const char* value;
    std::size_t length;
  };
  struct Stream;

  template <typename Part>
  void ForEachPart(const std::string& line, Part part) const;
  void Scan(const Stream& stream, bool final, Sink sink, void* context);

  std::vector<Secret> secrets_;
  std::string expanded_;       // zeros past its size: every use is wiped
  std::vector<char> held_;     // sized once, to the longest value
  std::size_t heldCount_ = 0;  // held_[0, heldCount_) waits for the next chunk
};

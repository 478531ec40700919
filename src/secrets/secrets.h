// Secrets named with -k: the value of each stands for ${NAME} in command
// lines, and never reaches the transcript.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "stage/stage.h"

class Secrets {
 public:
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

  // What one stream of masked text holds back for its next chunk: the bytes
  // at its end that could begin a value. The transcript has one, the records
  // another; each is sized once, by NewStream.
  class Stream {
   private:
    friend class Secrets;
    std::vector<char> held_;     // sized to the longest value
    std::size_t heldCount_ = 0;  // held_[0, heldCount_) waits for the next chunk
  };
  // A stream of its own for another reader of the host's text; after Load.
  Stream NewStream() const;

  // Writes the chunk to next with every value in it shown as "********".
  // The bytes at its end that could begin a value are held back in stream and
  // written with its next chunk, or by Flush. Allocates nothing.
  void Mask(Stream& stream, const char* chunk, int count, Stage& next) const;
  // Writes what stream holds back, values in it masked.
  void Flush(Stream& stream, Stage& next) const;

 private:
  struct Secret {
    const char* name;
    std::size_t nameLength;
    const char* value;
    std::size_t length;
  };
  struct View;

  template <typename Part>
  void ForEachPart(const std::string& line, Part part) const;
  void Scan(const View& view, bool final, Stream& stream, Stage& next) const;

  std::vector<Secret> secrets_;
  std::string expanded_;       // zeros past its size: every use is wiped
  std::size_t longest_ = 0;  // the longest value's length
};

// One stage of the host's text on its way out, as a Unix filter is one stage
// of a pipeline: bytes in, in order, and the marks of what the session did in
// between. Stages are chained once, at the start, and know nothing of the
// options or of each other.
#pragma once

enum class Mark : unsigned char {
  kPrompt,    // the text so far ends in a prompt: what a stage holds back may go
  kAnswered,  // the pager's prompt at the end was answered: it and its erasing stay out
  kAnsweredLast,  // as kAnswered, the pager's last prompt: the blank lines it padded its page with stay out too
  kChunk,     // the chunk is all written: what is shown is shown now
  kEnd,       // the session is over: nothing may stay held back
};

class Stage {
 public:
  virtual void Write(const char* bytes, int n) = 0;
  // Acts on the mark, then passes it on.
  virtual void Note(Mark mark) = 0;

 protected:
  ~Stage() = default;
};

// Where ravlo's answers to the host's own requests go: its one send step.
class Reply {
 public:
  virtual void Answer(const unsigned char* bytes, int n) = 0;

 protected:
  ~Reply() = default;
};

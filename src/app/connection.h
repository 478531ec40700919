// The link as the session loop has seen it: made, filled, lost.
#pragma once

#include <cstdint>

#include "app/trace.h"
#include "link/link.h"

class Connection {
 public:
  // chunkBytes: what a full receive returns.
  Connection(const Link& link, int chunkBytes, Trace& trace) : link_(link), chunkBytes_(chunkBytes), trace_(trace) {}

  // What one Receive returned: counted, and the link traced once it is made
  // (a chunk or a close proves it).
  void NoteReceived(int received);
  // A closed or failed link (received < 0 or kReceiveClosed), traced once.
  void NoteLost(int received);

  bool Lost() const { return lost_; }
  // Lost by the host's close or the program's end, not by a failure.
  bool Closed() const { return closed_; }
  // The last receive filled the buffer: more is waiting.
  bool Filled() const { return filled_; }
  // Bytes received, for the records.
  std::uint64_t Received() const { return received_; }

 private:
  const Link& link_;
  int chunkBytes_;
  Trace& trace_;
  bool connected_ = false;  // the trace has said so (kept with -v only)
  bool lost_ = false;
  bool closed_ = false;
  bool filled_ = false;
  std::uint64_t received_ = 0;
};

// Everything ravlo sends goes out here: the fixed scripts, the answers to the
// host's Telnet requests, command lines and pager keys. Each send is counted,
// restarts the response limit (once a pass: a chunk's own restart covers the
// replies to it) and is told to the settle time.
#pragma once

#include <cstdint>
#include <string_view>
#include <utility>

#include "app/session.h"
#include "stage/stage.h"
#include "settle/settle.h"

class Sender final : public Reply {
 public:
  using Sent = SettleTime::Sent;
  Sender(Session& session, SettleTime& settle) : session_(session), settle_(settle) {}

  // Sends all of bytes, waiting while the connection's buffer is full. 1 when
  // all went out; 0 when it gave up once the response limit (or the deadline) expired, so a
  // host that stops reading cannot hold the session past its limit; -1 when
  // the connection failed (kept for TakeFailed, but for a reply: the host's
  // text still waiting to be received is not lost to it).
  int Send(std::string_view bytes, Sent what);
  // The Telnet filter's answers.
  void Answer(const unsigned char* bytes, int n) override {
    Send(std::string_view(reinterpret_cast<const char*>(bytes), static_cast<std::size_t>(n)), Sent::kReply);
  }

  // A pass of the loop begins.
  void NewPass() { restarted_ = false; }
  // The response limit counts from now: a chunk came, or something went out.
  void RestartLimit();

  // The connection is made: something sent can reach the host.
  bool Connected() const { return session_.link->Connected(); }
  // Bytes sent so far.
  std::uint64_t Count() const { return count_; }
  // True once after a send found the connection failed.
  bool TakeFailed() { return std::exchange(failed_, false); }

 private:
  Session& session_;
  SettleTime& settle_;
  std::uint64_t count_ = 0;
  bool failed_ = false;
  bool restarted_ = false;  // the limit was restarted in this pass
};

// One unattended session: its settings and resources, and the loop that
// receives, shows, examines and answers.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>

#include "app/command_file.h"
#include "app/options.h"
#include "link/link.h"
#include "negotiation/negotiation.h"
#include "platform/platform.h"
#include "platform/wait.h"
#include "records/records.h"
#include "secrets/secrets.h"
#include "timer/event_timer.h"

// Owned by main for the whole run.
struct Session {
  Options options;
  const char* host = "";
  TargetType targetType = TargetType::kOther;
  std::int32_t responseSeconds = 0;  // 1..600
  std::int32_t responseMs = 0;       // responseSeconds * 1000
  std::int32_t bellMode = 0;         // 1: BEL bytes are shown as "[0x07:BEL]"
  CommandFile commandFile;
  std::unique_ptr<Link> link;  // the way in, whatever its kind
  std::int32_t negotiationStep = 0;
  platform::SocketWait wait;  // before the timer, which wakes it: it outlives every timer
  std::unique_ptr<EventTimer> responseTimer;
  // With options.connectSeconds, until the connection is made: its timer
  // raises connectTimedOut on the timer service's thread and wakes the wait.
  std::atomic<bool> connectTimedOut{false};
  std::unique_ptr<EventTimer> connectTimer;
  // With options.deadlineSeconds: its timer raises deadlinePassed and wakes the wait.
  std::atomic<bool> deadlinePassed{false};
  std::unique_ptr<EventTimer> deadlineTimer;
  // -T: the limit of the line last sent, in seconds, when it has one of its own; 0: responseSeconds.
  std::int32_t lineLimitSeconds = 0;
  Secrets secrets;  // options.secrets' values; each reader of the host's text masks with a stream of its own
  Records records;  // with options.records; after secrets, which it masks with
  const char* typeLabel = "";
  const char* bellLabel = "";
};

// How a session ended. kConnectionLost only with options.status or
// options.connectSeconds: the connection was refused, failed, was not made
// within the connect limit, or was closed by the host while the command file
// still had lines; closed once it had none counts as kFileDone.
enum class SessionEnd { kFileDone, kErrorKeyword, kNoResponse, kConnectionLost };

// The exit status with -s: how the session ended.
int EndStatus(SessionEnd end);

// Runs the session until the response limit (or the deadline) expires, an error keyword
// arrives, or a prompt finds the command file exhausted; with options.status
// also until the connection is closed or fails, with options.connectSeconds
// until that limit expires before the connection is made.
SessionEnd SessionLoop(Session& session);

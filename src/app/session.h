// One unattended Telnet session: its settings and resources, and the loop that
// receives, shows, examines and answers.
#pragma once

#include <cstdint>
#include <memory>

#include "app/command_file.h"
#include "negotiation/negotiation.h"
#include "platform/platform.h"
#include "platform/wait.h"
#include "timer/event_timer.h"

constexpr std::uint16_t kTelnetPort = 23;

// Owned by main for the whole run.
struct Session {
  const char* host = "";
  TargetType targetType = TargetType::kOther;
  std::int32_t responseSeconds = 0;  // 1..600
  std::int32_t responseMs = 0;       // responseSeconds * 1000
  std::int32_t bellMode = 0;         // 1: BEL bytes are shown as "[0x07:BEL]"
  CommandFile commandFile;
  platform::SocketHandle socket = platform::kNoSocket;
  std::uint32_t peerAddress = 0;  // IPv4, network byte order; the port is kTelnetPort
  std::int32_t negotiationStep = 0;
  platform::SocketWait wait;  // before the timer, which wakes it: it outlives every timer
  std::unique_ptr<EventTimer> responseTimer;
  const char* typeLabel = "";
  const char* bellLabel = "";
};

// Runs the session until the response limit expires, an error keyword
// arrives, or a prompt finds the command file exhausted.
void SessionLoop(Session& session);

// Replaces the response timer with a fresh one, so the limit counts from now.
void RestartResponseTimer(Session& session);

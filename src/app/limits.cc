#include "app/limits.h"

namespace {

void OnConnectTimer(std::uint32_t, std::uint32_t, std::uintptr_t user, std::uintptr_t, std::uintptr_t) {
  auto* session = reinterpret_cast<Session*>(user);
  session->connectTimedOut.store(true);
  session->wait.Wake();  // after the store, so the woken loop finds it raised
}

void OnDeadlineTimer(std::uint32_t, std::uint32_t, std::uintptr_t user, std::uintptr_t, std::uintptr_t) {
  auto* session = reinterpret_cast<Session*>(user);
  session->deadlinePassed.store(true);
  session->wait.Wake();
}

}  // namespace

void RestartResponseTimer(Session& session) {
  session.responseTimer.reset();
  session.responseTimer =
      std::make_unique<EventTimer>(OnResponseTimer, reinterpret_cast<std::uintptr_t>(&session.wait));
  const std::uint32_t limitMs = session.lineLimitSeconds != 0
                                    ? static_cast<std::uint32_t>(session.lineLimitSeconds) * 1000
                                    : static_cast<std::uint32_t>(session.responseMs);
  session.responseTimer->Start(limitMs);
}

void StartConnectTimer(Session& session) {
  if (session.options.connectSeconds == 0) return;
  session.connectTimer = std::make_unique<EventTimer>(OnConnectTimer, reinterpret_cast<std::uintptr_t>(&session));
  session.connectTimer->Start(static_cast<std::uint32_t>(session.options.connectSeconds) * 1000);
}

void StartDeadlineTimer(Session& session) {
  if (session.options.deadlineSeconds == 0) return;
  session.deadlineTimer = std::make_unique<EventTimer>(OnDeadlineTimer, reinterpret_cast<std::uintptr_t>(&session));
  session.deadlineTimer->Start(static_cast<std::uint32_t>(session.options.deadlineSeconds) * 1000);
}

std::int32_t LineLimitOf(const Options& options, std::string_view line) {
  std::size_t longest = 0;
  std::int32_t seconds = 0;
  for (const LineLimit& limit : options.lineLimits) {
    if (limit.text.size() <= longest || line.substr(0, limit.text.size()) != limit.text) continue;
    longest = limit.text.size();
    seconds = limit.seconds;
  }
  return seconds;
}

bool TimeIsUp(const Session& session) { return ResponseTimedOut.load() != 0 || session.deadlinePassed.load(); }

bool ConnectLimitExpired(Session& session) {
  if (!session.connectTimer || !session.connectTimedOut.load()) return false;
  if (!session.link->Connected()) return true;
  session.connectTimer.reset();
  return false;
}

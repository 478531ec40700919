#include "app/limits.h"

namespace {

void OnConnectTimer(std::uint32_t, std::uint32_t, std::uintptr_t user, std::uintptr_t, std::uintptr_t) {
  auto* session = reinterpret_cast<Session*>(user);
  session->connectTimedOut.store(true);
  session->wait.Wake();  // after the store, so the woken loop finds it raised
}

}  // namespace

void RestartResponseTimer(Session& session) {
  session.responseTimer.reset();
  session.responseTimer =
      std::make_unique<EventTimer>(OnResponseTimer, reinterpret_cast<std::uintptr_t>(&session.wait));
  session.responseTimer->Start(static_cast<std::uint32_t>(session.responseMs));
}

void StartConnectTimer(Session& session) {
  if (session.options.connectSeconds == 0) return;
  session.connectTimer = std::make_unique<EventTimer>(OnConnectTimer, reinterpret_cast<std::uintptr_t>(&session));
  session.connectTimer->Start(static_cast<std::uint32_t>(session.options.connectSeconds) * 1000);
}

bool ConnectLimitExpired(Session& session) {
  if (!session.connectTimer || !session.connectTimedOut.load()) return false;
  if (!session.link->Connected()) return true;
  session.connectTimer.reset();
  return false;
}

#include "app/sender.h"

#include <algorithm>
#include <climits>

#include "app/limits.h"

int Sender::Send(std::string_view bytes, Sent what) {
  const char* data = bytes.data();
  std::size_t left = bytes.size();
  int result = 1;
  while (left > 0) {
    const int n = session_.link->SendSome(data, static_cast<int>(std::min<std::size_t>(left, INT_MAX)));
    if (n < 0) {
      failed_ = failed_ || what != Sent::kReply;
      result = -1;
      break;
    }
    if (n == 0) {
      if (TimeIsUp(session_)) {
        result = 0;
        break;
      }
      platform::PauseOneMs();
      continue;
    }
    data += n;
    left -= static_cast<std::size_t>(n);
    count_ += static_cast<std::uint64_t>(n);
  }
  if (!restarted_) RestartLimit();
  settle_.NoteSent(what);
  return result;
}

void Sender::RestartLimit() {
  RestartResponseTimer(session_);
  restarted_ = true;
}

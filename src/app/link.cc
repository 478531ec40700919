#include "app/link.h"

#include "messages/messages.h"

void Link::NoteReceived(int received) {
  filled_ = received == chunkBytes_;
  if (received > 0) received_ += static_cast<std::uint64_t>(received);
  if (!trace_.On() || connected_ || received == platform::kReceiveFailed) return;
  if (received == platform::kReceiveNothing && !platform::IsConnected(socket_)) return;
  connected_ = true;
  trace_(kTraceConnectedText);
}

void Link::NoteLost(int received) {
  if (!lost_) {
    trace_(received == platform::kReceiveClosed ? kTraceClosedText
           : connected_                         ? kTraceFailedText
                                                : kTraceNotConnectedText);
    closed_ = received == platform::kReceiveClosed;
  }
  lost_ = true;
}

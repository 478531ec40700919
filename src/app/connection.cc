#include "app/connection.h"

#include "messages/messages.h"

void Connection::NoteReceived(int received) {
  filled_ = received == chunkBytes_;
  if (received > 0) received_ += static_cast<std::uint64_t>(received);
  if (!trace_.On() || connected_ || received == platform::kReceiveFailed) return;
  if (received == platform::kReceiveNothing && !link_.Connected()) return;
  connected_ = true;
  static constexpr const char* kMade[] = {kTraceConnectedText, kTraceProgramStartedText, kTraceDeviceOpenedText};
  trace_(kMade[static_cast<int>(link_.GetKind())]);
}

void Connection::NoteLost(int received) {
  if (!lost_) {
    if (link_.GetKind() == Link::Kind::kProgram) {
      trace_(kTraceProgramEndedFormat, link_.ExitStatus());
    } else if (link_.GetKind() == Link::Kind::kSerial) {
      trace_(kTraceDeviceGoneText);
    } else {
      trace_(received == platform::kReceiveClosed ? kTraceClosedText
             : connected_                         ? kTraceFailedText
                                                  : kTraceNotConnectedText);
    }
    closed_ = received == platform::kReceiveClosed;
  }
  lost_ = true;
}

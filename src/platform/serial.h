// A serial line as a host ravlo talks to: a console cable, a USB adapter, a
// pseudo-terminal standing in for one. Opened raw, 8N1, no flow control, at
// the rate given; its settings are put back as they were found when it is
// closed. One source file per backend.
#pragma once

#include <string>

#include "platform/platform.h"
#include "platform/wait.h"

namespace platform {

struct SerialLine;  // the backend's own

// The rates a line may be opened at, in bits per second, ascending.
extern const int kSerialRates[];
extern const int kSerialRateCount;

// Opens device (POSIX: a path; Windows: COM3, \\.\COM12) at baud. nullptr,
// with *error set to one line that names the trouble (missing, busy, not a
// serial device, the system's own words otherwise), when it cannot be had.
SerialLine* OpenSerial(const char* device, int baud, std::string* error);
// What SocketWait watches for the line's bytes.
Watched SerialWatched(const SerialLine* line);
// What came, without waiting: the byte count, kReceiveNothing, or
// kReceiveFailed once the device is gone (unplugged).
int SerialReceive(SerialLine* line, char* buffer, int size);
// What the line takes now without waiting, as SendSome does.
int SerialSend(SerialLine* line, const char* data, int size);
// Holds the line in the break condition for about 250 ms. 0, or -1 with
// *error in the system's words when the device refuses it.
int SerialBreak(SerialLine* line, std::string* error);
// Puts the settings back and closes the line; nullptr is ignored.
void CloseSerial(SerialLine* line);

}  // namespace platform

// A serial line on Windows: the COM port opened for overlapped I/O, and two
// threads so that the session never waits on it. A reader fills a buffer and
// sets an event while bytes wait; a writer types what the session handed
// over. Neither uses WaitCommEvent nor the modem status, which Wine cannot
// give for a port that is a pseudo-terminal: the reader asks again and again
// with reads that end a short while after the bytes stop, or after
// kFirstByteMs when none come.
#include <process.h>
#include <windows.h>

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <string>
#include <vector>

#include "platform/serial.h"
#include "platform/win32/unread_win32.h"

namespace platform {

const int kSerialRates[] = {300, 600, 1200, 2400, 4800, 9600, 19200, 38400, 57600, 115200, 230400, 460800, 921600};
const int kSerialRateCount = static_cast<int>(sizeof kSerialRates / sizeof kSerialRates[0]);

namespace {

constexpr DWORD kChunk = 16384;               // one read or write of the port
constexpr std::size_t kMaxUnread = 1 << 20;   // the reader holds back beyond this
constexpr std::size_t kMinPending = 64;       // typed, not yet sent: see SerialLine::maxPending
constexpr DWORD kFirstByteMs = 100;           // a read waits this long for a first byte
constexpr DWORD kGapMs = 5;                   // a pause this long after some bytes ends a read
constexpr DWORD kQuickMs = kFirstByteMs / 2;  // an empty read sooner than this did not wait
constexpr DWORD kIdleMs = 10;                 // ... and the reader pauses instead
constexpr int kMaxRetries = 10;               // failed transfers in a row before giving up
constexpr DWORD kRetryMs = 100;
constexpr DWORD kBreakMs = 250;
constexpr DWORD kDrainMs = 2000;  // what was typed gets this long to go out (break, close)
constexpr DWORD kJoinMs = 5000;   // CloseSerial waits no longer for the threads

enum { kReader, kWriter, kThreadCount };

std::wstring Wide(const char* utf8) {
  const int size = static_cast<int>(std::strlen(utf8));
  if (size == 0) return std::wstring();
  const int count = MultiByteToWideChar(CP_UTF8, 0, utf8, size, nullptr, 0);
  if (count <= 0) return std::wstring();
  std::wstring wide(static_cast<std::size_t>(count), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, utf8, size, &wide[0], count);
  return wide;
}

std::string Utf8(const wchar_t* wide, int size) {
  if (size <= 0) return std::string();
  const int count = WideCharToMultiByte(CP_UTF8, 0, wide, size, nullptr, 0, nullptr, nullptr);
  if (count <= 0) return std::string();
  std::string utf8(static_cast<std::size_t>(count), '\0');
  WideCharToMultiByte(CP_UTF8, 0, wide, size, &utf8[0], count, nullptr, nullptr);
  return utf8;
}

// The system's own words for an error code, as UTF-8 on one line.
std::string SystemWords(DWORD code) {
  wchar_t* text = nullptr;
  const DWORD length =
      FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                     nullptr, code, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
  std::string words = text == nullptr ? std::string() : Utf8(text, static_cast<int>(length));
  if (text != nullptr) LocalFree(text);
  for (char& c : words) {
    if (c == '\r' || c == '\n') c = ' ';
  }
  while (!words.empty() && words.back() == ' ') words.pop_back();
  return words.empty() ? "error " + std::to_string(code) : words;
}

// What opening the device said, in ravlo's words where they are clearer.
std::string OpenWords(DWORD code) {
  switch (code) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
      return "no such device";
    case ERROR_ACCESS_DENIED:  // what a COM port open elsewhere answers
    case ERROR_SHARING_VIOLATION:
      return "busy: another program has it open";
    default:
      return SystemWords(code);
  }
}

// COM3 and com3 as \\.\COM3, the name that reaches COM10 and above too; a
// name already in that form, or in \\?\ form, as it is.
std::wstring DevicePath(const char* device) {
  std::wstring name = Wide(device);
  if (name.compare(0, 4, L"\\\\.\\") == 0 || name.compare(0, 4, L"\\\\?\\") == 0) return name;
  if (!name.empty() && name.back() == L':') name.pop_back();  // "COM3:", as DOS wrote it
  return L"\\\\.\\" + name;
}

bool KnownRate(int baud) {
  return std::find(kSerialRates, kSerialRates + kSerialRateCount, baud) != kSerialRates + kSerialRateCount;
}

// Raw 8N1 at baud: every byte passes as it is (no parity check, no NUL
// dropped, no error character), no flow control either way, DTR and RTS on
// (a device may wait for them), and no error stops the reads.
DCB RawState(const DCB& found, int baud) {
  DCB state = found;
  state.DCBlength = sizeof state;
  state.BaudRate = static_cast<DWORD>(baud);
  state.fBinary = TRUE;
  state.fParity = FALSE;
  state.fOutxCtsFlow = FALSE;
  state.fOutxDsrFlow = FALSE;
  state.fDtrControl = DTR_CONTROL_ENABLE;
  state.fDsrSensitivity = FALSE;
  state.fTXContinueOnXoff = TRUE;
  state.fOutX = FALSE;
  state.fInX = FALSE;
  state.fErrorChar = FALSE;
  state.fNull = FALSE;
  state.fRtsControl = RTS_CONTROL_ENABLE;
  state.fAbortOnError = FALSE;
  state.ByteSize = 8;
  state.Parity = NOPARITY;
  state.StopBits = ONESTOPBIT;
  return state;
}

}  // namespace

struct SerialLine {
  HANDLE device = INVALID_HANDLE_VALUE;
  DCB found{};  // as they were: put back at close
  COMMTIMEOUTS foundTimeouts{};
  // About a second of the line, so that what the session has typed is soon
  // on the wire and its response timer does not run while it waits here.
  std::size_t maxPending = kMinPending;

  HANDLE ready = nullptr;  // manual reset: set while bytes wait, and once failed
  HANDLE typed = nullptr;  // auto reset: the writer has work
  HANDLE sent = nullptr;   // auto reset: the writer has sent some
  HANDLE room = nullptr;   // auto reset: the session has read some
  HANDLE stop = nullptr;   // manual reset: CloseSerial has begun
  HANDLE threads[kThreadCount] = {};

  CRITICAL_SECTION lock;  // guards everything below
  Unread unread;
  bool failed = false;   // the device is gone: nothing more comes or goes
  std::string pending;   // typed, for the writer; its start may be on the way out
};

namespace {

void Lock(SerialLine& s) { EnterCriticalSection(&s.lock); }
void Unlock(SerialLine& s) { LeaveCriticalSection(&s.lock); }

// Nothing more will come: the session hears of it after the bytes before.
void MarkFailed(SerialLine& s) {
  Lock(s);
  s.failed = true;
  s.pending.clear();
  SetEvent(s.ready);
  Unlock(s);
}

enum class Outcome { kDone, kStopped, kFailed };

// Waits for a transfer this thread began on o. When CloseSerial stops it
// first, the transfer is cancelled, and waited for, since it still writes
// into the caller's buffer and o until then. A read whose time ran out is
// done, with what came: Windows says so with success, Wine with
// ERROR_TIMEOUT.
Outcome Finish(SerialLine& s, OVERLAPPED* o, BOOL began, DWORD* count) {
  *count = 0;
  if (!began) {
    const DWORD why = GetLastError();
    if (why != ERROR_IO_PENDING) return why == ERROR_TIMEOUT ? Outcome::kDone : Outcome::kFailed;
    HANDLE events[2] = {o->hEvent, s.stop};
    if (WaitForMultipleObjects(2, events, FALSE, INFINITE) != WAIT_OBJECT_0) {
      CancelIo(s.device);  // this thread's own transfers
      GetOverlappedResult(s.device, o, count, TRUE);
      return Outcome::kStopped;
    }
  }
  if (GetOverlappedResult(s.device, o, count, TRUE)) return Outcome::kDone;
  return GetLastError() == ERROR_TIMEOUT ? Outcome::kDone : Outcome::kFailed;
}

bool Stopped(SerialLine& s, DWORD ms) { return WaitForSingleObject(s.stop, ms) == WAIT_OBJECT_0; }

// A transfer failed: an error on the line (framing, overrun) that a driver
// stops for until it is cleared, or the device gone (unplugged), after which
// even ClearCommError fails. True when it is worth another try.
bool Recovers(SerialLine& s, int* failures) {
  DWORD errors = 0;
  return ClearCommError(s.device, &errors, nullptr) && ++*failures < kMaxRetries && !Stopped(s, kRetryMs);
}

// Finish, for a thread's loop: kFailed only for a failure the line recovered
// from (the transfer is worth another try); one it did not marks the line
// failed and ends the thread as kStopped.
Outcome Complete(SerialLine& s, OVERLAPPED* o, BOOL began, DWORD* count, int* failures) {
  const Outcome outcome = Finish(s, o, began, count);
  if (outcome == Outcome::kDone) *failures = 0;
  if (outcome != Outcome::kFailed || Recovers(s, failures)) return outcome;
  MarkFailed(s);
  return Outcome::kStopped;
}

unsigned __stdcall Read(void* argument) {
  SerialLine& s = *static_cast<SerialLine*>(argument);
  std::vector<char> chunk(kChunk);
  OVERLAPPED o{};
  o.hEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  if (o.hEvent == nullptr) {
    MarkFailed(s);
    return 0;
  }
  int failures = 0;
  while (!Stopped(s, 0)) {
    // With a full buffer unread the bytes wait in the driver (and are lost
    // once it is full too: there is no flow control to hold the device back).
    Lock(s);
    const bool full = s.unread.Waiting() >= kMaxUnread;
    const bool failed = s.failed;
    Unlock(s);
    if (failed) break;
    if (full) {
      HANDLE events[2] = {s.room, s.stop};
      WaitForMultipleObjects(2, events, FALSE, INFINITE);
      continue;
    }
    const DWORD began = GetTickCount();
    DWORD count = 0;
    const Outcome outcome = Complete(s, &o, ReadFile(s.device, chunk.data(), kChunk, nullptr, &o), &count, &failures);
    if (outcome == Outcome::kStopped) break;
    if (outcome == Outcome::kFailed) continue;
    if (count == 0) {
      // A driver that does not wait for the first byte would have this
      // thread spin: it pauses instead.
      if (GetTickCount() - began < kQuickMs) Stopped(s, kIdleMs);
      continue;
    }
    Lock(s);
    if (!s.failed) {  // once the session has been told, nothing more comes
      s.unread.Add(chunk.data(), count);
      SetEvent(s.ready);
    }
    Unlock(s);
  }
  CloseHandle(o.hEvent);
  return 0;
}

unsigned __stdcall Write(void* argument) {
  SerialLine& s = *static_cast<SerialLine*>(argument);
  std::vector<char> chunk(kChunk);
  OVERLAPPED o{};
  o.hEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  if (o.hEvent == nullptr) {
    MarkFailed(s);
    return 0;
  }
  HANDLE events[2] = {s.typed, s.stop};
  int failures = 0;
  while (!Stopped(s, 0)) {
    // What is sent stays at the start of pending until it is out, so that
    // an empty pending means all has gone (see Drain).
    Lock(s);
    const DWORD count = static_cast<DWORD>(std::min<std::size_t>(s.pending.size(), kChunk));
    std::memcpy(chunk.data(), s.pending.data(), count);
    Unlock(s);
    if (count == 0) {
      if (WaitForMultipleObjects(2, events, FALSE, INFINITE) != WAIT_OBJECT_0) break;
      continue;
    }
    DWORD written = 0;
    const Outcome outcome = Complete(s, &o, WriteFile(s.device, chunk.data(), count, nullptr, &o), &written, &failures);
    if (outcome == Outcome::kStopped) break;
    if (outcome == Outcome::kFailed) continue;
    Lock(s);
    s.pending.erase(0, std::min<std::size_t>(written, s.pending.size()));
    Unlock(s);
    SetEvent(s.sent);
    if (written == 0) Stopped(s, kIdleMs);  // a driver that took nothing: no spinning
  }
  CloseHandle(o.hEvent);
  return 0;
}

// Gives what was typed up to ms to go out, as a line does before a break or
// at its end.
void Drain(SerialLine& s, DWORD ms) {
  if (s.threads[kWriter] == nullptr) return;
  const DWORD began = GetTickCount();
  for (;;) {
    Lock(s);
    const bool done = s.pending.empty() || s.failed;
    Unlock(s);
    const DWORD spent = GetTickCount() - began;
    if (done || spent >= ms || WaitForSingleObject(s.sent, ms - spent) != WAIT_OBJECT_0) return;
  }
}

bool StartThread(SerialLine& s, int which, unsigned(__stdcall* body)(void*)) {
  s.threads[which] = reinterpret_cast<HANDLE>(_beginthreadex(nullptr, 0, body, &s, 0, nullptr));
  return s.threads[which] != nullptr;
}

SerialLine* Fail(std::string* error, std::string words) {
  if (error != nullptr) *error = std::move(words);
  return nullptr;
}

}  // namespace

SerialLine* OpenSerial(const char* device, int baud, std::string* error) {
  if (device == nullptr || *device == '\0') return Fail(error, "no such device");
  if (!KnownRate(baud)) return Fail(error, "no such rate here");
  // Overlapped: the reader, the writer and a break use the port at once,
  // where a plain handle would have each wait for the others.
  const std::wstring path = DevicePath(device);
  const HANDLE port = CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                  FILE_FLAG_OVERLAPPED, nullptr);
  if (port == INVALID_HANDLE_VALUE) return Fail(error, OpenWords(GetLastError()));
  DCB found{};
  found.DCBlength = sizeof found;
  COMMTIMEOUTS foundTimeouts{};
  if (!GetCommState(port, &found) || !GetCommTimeouts(port, &foundTimeouts)) {
    CloseHandle(port);
    return Fail(error, "not a serial device");
  }
  DCB raw = RawState(found, baud);
  // A read ends kGapMs after its bytes stop coming, or after kFirstByteMs
  // in all; writes have no time limit (nothing holds them back without flow
  // control). Not MAXDWORD's "what has come, else the first byte": Wine's
  // overlapped reads never end with that, nor with a read that should end
  // at once when nothing has come.
  COMMTIMEOUTS timeouts{};
  timeouts.ReadIntervalTimeout = kGapMs;
  timeouts.ReadTotalTimeoutConstant = kFirstByteMs;
  if (!SetCommState(port, &raw) || !SetCommTimeouts(port, &timeouts)) {
    const DWORD why = GetLastError();
    SetCommState(port, &found);
    SetCommTimeouts(port, &foundTimeouts);
    CloseHandle(port);
    return Fail(error, SystemWords(why));
  }

  SerialLine* line = new SerialLine;
  SerialLine& s = *line;
  InitializeCriticalSection(&s.lock);
  s.device = port;
  s.found = found;
  s.foundTimeouts = foundTimeouts;
  s.maxPending = std::max<std::size_t>(static_cast<std::size_t>(baud / 10), kMinPending);  // 10 bits a byte
  s.ready = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  s.typed = CreateEventW(nullptr, FALSE, FALSE, nullptr);
  s.sent = CreateEventW(nullptr, FALSE, FALSE, nullptr);
  s.room = CreateEventW(nullptr, FALSE, FALSE, nullptr);
  s.stop = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  DWORD why = GetLastError();
  const bool eventsMade =
      s.ready != nullptr && s.typed != nullptr && s.sent != nullptr && s.room != nullptr && s.stop != nullptr;
  if (!eventsMade || !StartThread(s, kReader, Read) || !StartThread(s, kWriter, Write)) {
    if (eventsMade) why = GetLastError();
    CloseSerial(line);
    return Fail(error, SystemWords(why));
  }
  return line;
}

Watched SerialWatched(const SerialLine* line) { return EventWatched(line != nullptr ? line->ready : nullptr); }

int SerialReceive(SerialLine* line, char* buffer, int size) {
  if (line == nullptr) return kReceiveFailed;
  SerialLine& s = *line;
  Lock(s);
  const int taken = s.unread.TakeSignalled(buffer, size, s.ready, s.room, s.failed);
  const int result = taken > 0 ? taken : s.failed ? kReceiveFailed : kReceiveNothing;
  Unlock(s);
  return result;
}

int SerialSend(SerialLine* line, const char* data, int size) {
  if (line == nullptr) return -1;
  SerialLine& s = *line;
  if (size <= 0) return 0;
  Lock(s);
  int result = -1;
  if (!s.failed) {
    const std::size_t room = s.maxPending - std::min(s.pending.size(), s.maxPending);
    const std::size_t count = std::min(room, static_cast<std::size_t>(size));
    s.pending.append(data, count);
    result = static_cast<int>(count);
  }
  Unlock(s);
  if (result > 0) SetEvent(s.typed);
  return result;
}

int SerialBreak(SerialLine* line, std::string* error) {
  if (line == nullptr) {
    if (error != nullptr) *error = "no line";
    return -1;
  }
  SerialLine& s = *line;
  // The break cuts off whatever is on the wire: what was typed before goes first.
  Drain(s, kDrainMs);
  if (!SetCommBreak(s.device)) {
    if (error != nullptr) *error = SystemWords(GetLastError());
    return -1;
  }
  Sleep(kBreakMs);
  if (!ClearCommBreak(s.device)) {
    if (error != nullptr) *error = SystemWords(GetLastError());
    return -1;
  }
  return 0;
}

void CloseSerial(SerialLine* line) {
  if (line == nullptr) return;
  SerialLine& s = *line;
  Drain(s, kDrainMs);
  if (s.stop != nullptr) SetEvent(s.stop);
  HANDLE running[kThreadCount];
  DWORD count = 0;
  for (HANDLE thread : s.threads) {
    if (thread != nullptr) running[count++] = thread;
  }
  const bool joined = count == 0 || WaitForMultipleObjects(count, running, TRUE, kJoinMs) == WAIT_OBJECT_0;
  SetCommState(s.device, &s.found);
  SetCommTimeouts(s.device, &s.foundTimeouts);
  // A driver that never ends a cancelled transfer must not hang ravlo at its
  // end: the threads still use the line then, so it is left to the process's
  // end (the settings are back all the same).
  if (!joined) return;
  for (HANDLE handle : {s.threads[kReader], s.threads[kWriter], s.ready, s.typed, s.sent, s.room, s.stop, s.device}) {
    if (handle != nullptr && handle != INVALID_HANDLE_VALUE) CloseHandle(handle);
  }
  DeleteCriticalSection(&s.lock);
  delete line;
}

}  // namespace platform

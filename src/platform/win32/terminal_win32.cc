// A program in a pseudo console on Windows (10 version 1809 and later): two
// pipes, and three threads so that the session never waits on them. A reader
// fills a buffer and sets an event while bytes wait; a writer types what the
// session handed over; a watcher closes the console once the program has
// ended, which is what ends the output pipe.
#include <process.h>
#include <windows.h>

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <string>
#include <vector>

#include "platform/terminal.h"
#include "platform/win32/unread_win32.h"

namespace platform {
namespace {

// Looked up at run time: importing them would keep ravlo.exe from starting at
// all on a Windows without pseudo consoles, even for a Telnet session.
using PseudoConsole = void*;  // HPCON
using CreatePseudoConsoleFn = HRESULT(WINAPI*)(COORD, HANDLE, HANDLE, DWORD, PseudoConsole*);
using ClosePseudoConsoleFn = void(WINAPI*)(PseudoConsole);
using InitializeAttributesFn = BOOL(WINAPI*)(void*, DWORD, DWORD, SIZE_T*);
using UpdateAttributeFn = BOOL(WINAPI*)(void*, DWORD, DWORD_PTR, void*, SIZE_T, void*, SIZE_T*);
using DeleteAttributesFn = void(WINAPI*)(void*);

constexpr DWORD_PTR kPseudoConsoleAttribute = 0x20016;  // PROC_THREAD_ATTRIBUTE_PSEUDOCONSOLE

// STARTUPINFOEXW, spelled out so that no _WIN32_WINNT setting can hide it.
struct StartupInfoEx {
  STARTUPINFOW startup;
  void* attributes;
};

constexpr DWORD kChunk = 16384;                   // one read or write of a pipe
constexpr std::size_t kMaxUnread = 1 << 20;       // the reader holds back beyond this
constexpr std::size_t kMaxPending = 1 << 16;      // typed, not yet through the pipe
constexpr DWORD kQuietMs = 200;                   // the console has said all (see Watch)
constexpr DWORD kSettleMs = 2000;                 // ... or has had long enough
constexpr DWORD kJoinMs = 5000;                   // CloseProgram waits no longer
constexpr UINT kKilledStatus = 1;

enum { kReader, kWriter, kWatcher, kThreadCount };

template <typename Fn>
Fn Lookup(HMODULE module, const char* name) {
  // Through void (*)(): the one cast between function types GCC does not warn about.
  return module == nullptr ? nullptr
                           : reinterpret_cast<Fn>(reinterpret_cast<void (*)()>(GetProcAddress(module, name)));
}

std::wstring Wide(const std::string& utf8) {
  if (utf8.empty()) return std::wstring();
  const int size = static_cast<int>(utf8.size());
  const int count = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), size, nullptr, 0);
  if (count <= 0) return std::wstring();
  std::wstring wide(static_cast<std::size_t>(count), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, utf8.data(), size, &wide[0], count);
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
  while (!words.empty() && (words.back() == '\r' || words.back() == '\n' || words.back() == ' ')) words.pop_back();
  return words.empty() ? "error " + std::to_string(code) : words;
}

// A failed HRESULT that carries a system error code has that code's words.
std::string SystemWordsOf(HRESULT result) {
  const DWORD code = static_cast<DWORD>(result);
  return SystemWords(HRESULT_FACILITY(result) == FACILITY_WIN32 ? HRESULT_CODE(result) : code);
}

// The program's name as CreateProcess and CommandLineToArgvW read a command
// line's first word: up to a space, or between quotes, with no escapes.
void AppendProgramName(const std::wstring& name, std::wstring* line) {
  if (!name.empty() && name.find_first_of(L" \t") == std::wstring::npos) {
    line->append(name);
  } else {
    line->append(1, L'"').append(name).append(1, L'"');
  }
}

// An argument as CommandLineToArgvW (and the C runtime) read it back: quoted
// when it has blanks or quotes or is empty; backslashes count double only
// before a quote.
void AppendArgument(const std::wstring& argument, std::wstring* line) {
  if (!argument.empty() && argument.find_first_of(L" \t\n\v\"") == std::wstring::npos) {
    line->append(argument);
    return;
  }
  line->push_back(L'"');
  std::size_t backslashes = 0;
  for (const wchar_t c : argument) {
    if (c == L'\\') {
      ++backslashes;
      continue;
    }
    line->append(c == L'"' ? 2 * backslashes + 1 : backslashes, L'\\');
    line->push_back(c);
    backslashes = 0;
  }
  line->append(2 * backslashes, L'\\');  // before the closing quote
  line->push_back(L'"');
}

std::wstring CommandLine(const ProgramStart& start) {
  if (start.shell) return Wide(start.argv[0]);
  std::wstring line;
  AppendProgramName(Wide(start.argv[0]), &line);
  for (std::size_t i = 1; i < start.argv.size(); ++i) {
    line.push_back(L' ');
    AppendArgument(Wide(start.argv[i]), &line);
  }
  return line;
}

SHORT WindowSide(int cells) { return static_cast<SHORT>(std::min(std::max(cells, 1), 32767)); }

bool UnderWine() {
  return Lookup<void (*)()>(GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr;
}

// What the program gets as its standard handles. Windows gives a program
// started with null ones the pseudo console's own. Wine does not: with null
// ones it prints nowhere, and with none given it gets ravlo's own, so that
// with ravlo's output on a pipe the program prints straight into that pipe,
// past the pseudo console. Its console devices, though, act on the console of
// whichever process uses them: opened here, they reach the pseudo console in
// the program.
struct StandardHandles {
  HANDLE input = nullptr;
  HANDLE output = nullptr;

  StandardHandles() {
    if (!UnderWine()) return;
    input = OpenDevice(L"\\\\?\\GLOBALROOT\\Device\\ConDrv\\Input");
    output = OpenDevice(L"\\\\?\\GLOBALROOT\\Device\\ConDrv\\Output");
  }
  ~StandardHandles() {
    if (input != nullptr) CloseHandle(input);
    if (output != nullptr) CloseHandle(output);
  }
  StandardHandles(const StandardHandles&) = delete;
  StandardHandles& operator=(const StandardHandles&) = delete;

  static HANDLE OpenDevice(const wchar_t* path) {
    const HANDLE device = CreateFileW(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                      nullptr, OPEN_EXISTING, 0, nullptr);
    return device == INVALID_HANDLE_VALUE ? nullptr : device;
  }
};

}  // namespace

struct Program {
  HANDLE process = nullptr;
  HANDLE input = nullptr;   // our end of the pipe the console reads
  HANDLE output = nullptr;  // our end of the pipe the console writes
  void* volatile console = nullptr;  // taken once, by whoever closes it
  ClosePseudoConsoleFn closeConsole = nullptr;

  HANDLE ready = nullptr;  // manual reset: set while bytes wait, and at the end
  HANDLE typed = nullptr;  // auto reset: the writer has work
  HANDLE room = nullptr;   // auto reset: the session has read some
  HANDLE stop = nullptr;   // manual reset: CloseProgram has begun
  HANDLE threads[kThreadCount] = {};

  CRITICAL_SECTION lock;  // guards everything below but saidClosed
  Unread unread;
  bool ended = false;    // the output pipe has ended: nothing more will come
  bool discard = false;  // closing: what comes is dropped
  DWORD lastOutput = 0;  // GetTickCount at the last bytes
  std::string pending;   // typed, for the writer
  bool writeFailed = false;

  bool saidClosed = false;  // the session's thread only
};

namespace {

void Lock(Program& p) { EnterCriticalSection(&p.lock); }
void Unlock(Program& p) { LeaveCriticalSection(&p.lock); }

// Whoever comes first closes the console: the watcher or CloseProgram.
void CloseConsole(Program& p) {
  void* console = InterlockedExchangePointer(&p.console, nullptr);
  if (console != nullptr) p.closeConsole(console);
}

unsigned __stdcall Read(void* argument) {
  Program& p = *static_cast<Program*>(argument);
  std::vector<char> chunk(kChunk);
  for (;;) {
    // With a full buffer unread the console waits, and so does the program.
    for (;;) {
      Lock(p);
      const bool full = !p.discard && p.unread.Waiting() >= kMaxUnread;
      Unlock(p);
      if (!full) break;
      HANDLE events[2] = {p.room, p.stop};
      WaitForMultipleObjects(2, events, FALSE, INFINITE);
    }
    DWORD count = 0;
    const BOOL ok = ReadFile(p.output, chunk.data(), kChunk, &count, nullptr);
    Lock(p);
    if (!ok) {
      // ERROR_BROKEN_PIPE once the console has closed: everything printed has
      // come by now.
      p.ended = true;
      SetEvent(p.ready);
      Unlock(p);
      return 0;
    }
    if (count > 0 && !p.discard) {
      p.unread.Add(chunk.data(), count);
      p.lastOutput = GetTickCount();
      SetEvent(p.ready);
    }
    Unlock(p);
  }
}

unsigned __stdcall Write(void* argument) {
  Program& p = *static_cast<Program*>(argument);
  std::vector<char> chunk(kChunk);
  HANDLE events[2] = {p.typed, p.stop};
  for (;;) {
    if (WaitForSingleObject(p.stop, 0) == WAIT_OBJECT_0) return 0;
    Lock(p);
    const DWORD count = static_cast<DWORD>(std::min<std::size_t>(p.pending.size(), kChunk));
    std::memcpy(chunk.data(), p.pending.data(), count);
    Unlock(p);
    if (count == 0) {
      if (WaitForMultipleObjects(2, events, FALSE, INFINITE) != WAIT_OBJECT_0) return 0;
      continue;
    }
    // May wait while the console is slow to read; the session does not.
    DWORD written = 0;
    const BOOL ok = WriteFile(p.input, chunk.data(), count, &written, nullptr);
    Lock(p);
    if (ok) {
      p.pending.erase(0, written);
    } else {
      p.writeFailed = true;
      p.pending.clear();
    }
    Unlock(p);
    if (!ok) return 0;
  }
}

// The console hands on what the program printed on its own time, and closing
// it may drop what it has not handed on yet: close it once the pipe has been
// quiet for a moment (kQuietMs), or after kSettleMs at most. Closing it ends
// the output pipe, and with it the reader.
unsigned __stdcall Watch(void* argument) {
  Program& p = *static_cast<Program*>(argument);
  HANDLE events[2] = {p.process, p.stop};
  if (WaitForMultipleObjects(2, events, FALSE, INFINITE) != WAIT_OBJECT_0) return 0;  // CloseProgram closes it
  const DWORD ended = GetTickCount();
  for (;;) {
    Lock(p);
    const DWORD last = p.lastOutput;
    const bool done = p.ended;
    Unlock(p);
    const DWORD now = GetTickCount();
    const DWORD quiet = std::min(now - ended, now - last);
    if (done || quiet >= kQuietMs || now - ended >= kSettleMs) break;
    if (WaitForSingleObject(p.stop, kQuietMs - quiet) == WAIT_OBJECT_0) return 0;
  }
  // On some Windows versions this waits until the console's last output has
  // been read: the reader goes on reading meanwhile.
  CloseConsole(p);
  return 0;
}

bool StartThread(Program& p, int which, unsigned(__stdcall* body)(void*)) {
  p.threads[which] = reinterpret_cast<HANDLE>(_beginthreadex(nullptr, 0, body, &p, 0, nullptr));
  return p.threads[which] != nullptr;
}

Program* Fail(std::string* error, std::string words) {
  if (error != nullptr) *error = std::move(words);
  return nullptr;
}

}  // namespace

Program* StartProgram(const ProgramStart& start, std::string* error) {
  if (start.argv.empty() || start.argv[0].empty()) return Fail(error, "no program to start");
  const HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
  const auto create = Lookup<CreatePseudoConsoleFn>(kernel, "CreatePseudoConsole");
  const auto close = Lookup<ClosePseudoConsoleFn>(kernel, "ClosePseudoConsole");
  const auto initialize = Lookup<InitializeAttributesFn>(kernel, "InitializeProcThreadAttributeList");
  const auto update = Lookup<UpdateAttributeFn>(kernel, "UpdateProcThreadAttribute");
  const auto remove = Lookup<DeleteAttributesFn>(kernel, "DeleteProcThreadAttributeList");
  if (create == nullptr || close == nullptr || initialize == nullptr || update == nullptr || remove == nullptr) {
    return Fail(error, "this Windows has no pseudo console (Windows 10 version 1809 or later is needed)");
  }
  std::wstring commandLine = CommandLine(start);
  commandLine.push_back(L'\0');  // CreateProcessW writes into it

  // Neither pipe is inheritable: the program's only way to them is its console.
  HANDLE consoleInput = nullptr, input = nullptr, output = nullptr, consoleOutput = nullptr;
  if (!CreatePipe(&consoleInput, &input, nullptr, 0)) return Fail(error, SystemWords(GetLastError()));
  if (!CreatePipe(&output, &consoleOutput, nullptr, kChunk)) {
    const DWORD why = GetLastError();
    CloseHandle(consoleInput);
    CloseHandle(input);
    return Fail(error, SystemWords(why));
  }
  PseudoConsole console = nullptr;
  const COORD window = {WindowSide(start.columns), WindowSide(start.rows)};
  const HRESULT made = create(window, consoleInput, consoleOutput, 0, &console);
  // The console holds copies of its ends; ours would only keep the output
  // pipe from ever ending.
  CloseHandle(consoleInput);
  CloseHandle(consoleOutput);
  if (FAILED(made)) {
    CloseHandle(input);
    CloseHandle(output);
    return Fail(error, SystemWordsOf(made));
  }

  SIZE_T listSize = 0;
  initialize(nullptr, 1, 0, &listSize);  // fails, telling the size
  std::vector<unsigned char> list(listSize == 0 ? 1 : listSize);
  bool listMade = initialize(list.data(), 1, 0, &listSize) != FALSE;
  DWORD why = GetLastError();
  if (listMade && !update(list.data(), 0, kPseudoConsoleAttribute, console, sizeof console, nullptr, nullptr)) {
    why = GetLastError();
    remove(list.data());
    listMade = false;
  }
  PROCESS_INFORMATION started{};
  bool ok = false;
  if (listMade) {
    const StandardHandles handles;
    StartupInfoEx info{};
    info.startup.cb = sizeof info;
    info.startup.dwFlags = STARTF_USESTDHANDLES;
    info.startup.hStdInput = handles.input;
    info.startup.hStdOutput = handles.output;
    info.startup.hStdError = handles.output;
    info.attributes = list.data();
    ok = CreateProcessW(nullptr, &commandLine[0], nullptr, nullptr, FALSE, EXTENDED_STARTUPINFO_PRESENT, nullptr,
                        nullptr, &info.startup, &started) != FALSE;
    why = GetLastError();
    remove(list.data());
  }
  if (!ok) {
    // Our end first, so the console can never wait on a full pipe as it closes.
    CloseHandle(output);
    CloseHandle(input);
    close(console);
    return Fail(error, SystemWords(why));
  }
  CloseHandle(started.hThread);

  Program* p = new Program;
  InitializeCriticalSection(&p->lock);
  p->process = started.hProcess;
  p->input = input;
  p->output = output;
  p->console = console;
  p->closeConsole = close;
  p->lastOutput = GetTickCount();
  p->ready = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  p->typed = CreateEventW(nullptr, FALSE, FALSE, nullptr);
  p->room = CreateEventW(nullptr, FALSE, FALSE, nullptr);
  p->stop = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  why = GetLastError();
  const bool eventsMade = p->ready != nullptr && p->typed != nullptr && p->room != nullptr && p->stop != nullptr;
  if (!eventsMade || !StartThread(*p, kReader, Read) || !StartThread(*p, kWriter, Write) ||
      !StartThread(*p, kWatcher, Watch)) {
    if (eventsMade) why = GetLastError();
    CloseProgram(p);
    return Fail(error, SystemWords(why));
  }
  return p;
}

Watched ProgramWatched(const Program* program) { return EventWatched(program != nullptr ? program->ready : nullptr); }

int ProgramReceive(Program* program, char* buffer, int size) {
  if (program == nullptr) return kReceiveClosed;
  Program& p = *program;
  Lock(p);
  const int taken = p.unread.TakeSignalled(buffer, size, p.ready, p.room, p.ended);
  p.saidClosed = p.saidClosed || (taken == 0 && p.ended);
  const int result = taken > 0 ? taken : p.ended ? kReceiveClosed : kReceiveNothing;
  Unlock(p);
  return result;
}

int ProgramSend(Program* program, const char* data, int size) {
  if (program == nullptr) return -1;
  Program& p = *program;
  if (WaitForSingleObject(p.process, 0) != WAIT_TIMEOUT) return -1;  // it has ended
  if (size <= 0) return 0;
  Lock(p);
  int result = -1;
  if (!p.writeFailed) {
    const std::size_t room = kMaxPending - std::min(p.pending.size(), kMaxPending);
    const std::size_t count = std::min(room, static_cast<std::size_t>(size));
    p.pending.append(data, count);
    result = static_cast<int>(count);
  }
  Unlock(p);
  if (result > 0) SetEvent(p.typed);
  return result;
}

int ProgramExitStatus(const Program* program) {
  // saidClosed is the session thread's own, as are the calls here.
  if (program == nullptr || !program->saidClosed) return -1;
  DWORD status = 0;
  if (WaitForSingleObject(program->process, 0) != WAIT_OBJECT_0 || !GetExitCodeProcess(program->process, &status)) {
    return -1;
  }
  return static_cast<int>(status);
}

void CloseProgram(Program* program) {
  if (program == nullptr) return;
  Program& p = *program;
  Lock(p);
  p.discard = true;
  Unlock(p);
  if (p.stop != nullptr) SetEvent(p.stop);
  if (WaitForSingleObject(p.process, 0) == WAIT_TIMEOUT) TerminateProcess(p.process, kKilledStatus);
  // Without a reader, our end goes first, so the console cannot wait on a
  // full pipe as it closes.
  if (p.threads[kReader] == nullptr && p.output != nullptr) {
    CloseHandle(p.output);
    p.output = nullptr;
  }
  CloseConsole(p);  // ends the reader's pipe, and a write that waits
  HANDLE running[kThreadCount];
  DWORD count = 0;
  for (HANDLE thread : p.threads) {
    if (thread != nullptr) running[count++] = thread;
  }
  // A console that never lets go must not hang ravlo at its end: the threads
  // still use the program then, so it is left to the process's end.
  if (count > 0 && WaitForMultipleObjects(count, running, TRUE, kJoinMs) != WAIT_OBJECT_0) return;
  for (HANDLE handle : {p.threads[kReader], p.threads[kWriter], p.threads[kWatcher], p.ready, p.typed, p.room,
                        p.stop, p.input, p.output, p.process}) {
    if (handle != nullptr) CloseHandle(handle);
  }
  DeleteCriticalSection(&p.lock);
  delete program;
}

std::string SshProgram() {
  std::wstring root(MAX_PATH, L'\0');
  DWORD length = GetEnvironmentVariableW(L"SystemRoot", &root[0], MAX_PATH);
  if (length == 0 || length >= MAX_PATH) length = GetSystemWindowsDirectoryW(&root[0], MAX_PATH);
  if (length > 0 && length < MAX_PATH) {
    root.resize(length);
    // Sysnative is how a 32-bit program reaches the 64-bit System32, which
    // WOW64 otherwise hides behind SysWOW64, where there is no ssh.exe.
    for (const wchar_t* where : {L"\\Sysnative\\OpenSSH\\ssh.exe", L"\\System32\\OpenSSH\\ssh.exe"}) {
      const std::wstring path = root + where;
      const DWORD attributes = GetFileAttributesW(path.c_str());
      if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
        return Utf8(path.data(), static_cast<int>(path.size()));
      }
    }
  }
  return "ssh.exe";
}

}  // namespace platform

#include "negotiation/negotiation.h"

#include <cstddef>
#include <initializer_list>

namespace {

// linux: WILL NAWS, TSPEED, TTYPE, NEW-ENVIRON; DO ECHO; WILL SGA; WONT XDISPLOC.
constexpr char kL1[] = "fffb1ffffb20fffb18fffb27fffd01fffb03fffc23";
// linux: NAWS 80x24, TSPEED 38400,38400, empty NEW-ENVIRON, TTYPE XTERM.
constexpr char kL2[] =
    "fffa1f00500018fff0fffa200033383430302c3338343030fff0fffa2700fff0fffa1800585445524dfff0";
// linux: WONT ECHO.
constexpr char kL3[] = "fffc01";
// unix: WILL TTYPE, WILL NAWS, NAWS 80x26, WONT XDISPLOC, WILL NEW-ENVIRON, WONT OLD-ENVIRON.
constexpr char kU1[] = "fffb18fffb1ffffa1f0050001afff0fffc23fffb27fffc24";
// unix: WONT XDISPLOC, WONT OLD-ENVIRON, TTYPE ANSI, empty NEW-ENVIRON.
constexpr char kU2[] = "fffc23fffc24fffa1800414e5349fff0fffa2700fff0";

constexpr const char* kLinuxScripts[] = {kL1, kL2, kL3};
constexpr const char* kUnixScripts[] = {kU1, kU2};

constexpr int kMaxHexChars = 2 * kMaxScriptBytes;

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return 0;
}

template <std::size_t N>
const char* TakeScript(const char* const (&scripts)[N], std::int32_t& step) {
  if (step < 0 || static_cast<std::size_t>(step) >= N) return nullptr;
  return scripts[step++];
}

}  // namespace

std::int32_t HexString2Bin(unsigned char* destination, const char* hexText) {
  int length = 0;
  while (length < kMaxHexChars && hexText[length] != '\0') ++length;
  std::int32_t count = 0;
  for (int i = 0; i < length; i += 2) {
    // The second digit of an odd-length text's last pair is the padding "0".
    const int low = i + 1 < length ? HexValue(hexText[i + 1]) : 0;
    destination[count++] = static_cast<unsigned char>(HexValue(hexText[i]) * 16 + low);
  }
  return count;
}

const char* NextNegotiationScript(TargetType type, std::int32_t& negotiationStep) {
  switch (type) {
    case TargetType::kLinux:
      return TakeScript(kLinuxScripts, negotiationStep);
    case TargetType::kUnix:
      return TakeScript(kUnixScripts, negotiationStep);
    case TargetType::kOther:
      break;
  }
  return nullptr;
}

namespace {

constexpr unsigned char kIac = 255, kDont = 254, kDo = 253, kWont = 252, kWill = 251, kSb = 250,
                        kSe = 240;
constexpr unsigned char kEcho = 1, kSuppressGoAhead = 3, kTerminalType = 24, kWindowSize = 31;
constexpr unsigned char kIs = 0, kSend = 1;

void Put(unsigned char*& out, std::initializer_list<unsigned char> bytes) {
  for (unsigned char b : bytes) *out++ = b;
}

// A sub-negotiation's data byte: 255 goes out doubled.
void PutData(unsigned char*& out, unsigned char b) {
  *out++ = b;
  if (b == kIac) *out++ = kIac;
}

}  // namespace

TelnetFilter::TelnetFilter(std::uint16_t columns, std::uint16_t rows, const char* type)
    : columns_(columns), rows_(rows), type_(type) {}

void TelnetFilter::NoteSent(const unsigned char* bytes, int count) {
  for (int i = 0; i + 2 < count; ++i) {
    if (bytes[i] != kIac || bytes[i + 1] < kWill || bytes[i + 1] > kDont) continue;
    // WILL and WONT speak of ravlo's side, DO and DONT of the host's.
    (bytes[i + 1] <= kWont ? ours_ : theirs_)[bytes[i + 2]] = true;
    if (bytes[i + 2] == kTerminalType && bytes[i + 1] == kWill) typeSaid_ = true;
    i += 2;
  }
}

// Answers DO option: WILL with the window right after it for NAWS, WILL for a
// type to offer, WONT for anything else.
void TelnetFilter::Answer(unsigned char option, unsigned char* reply, int* replyCount) {
  unsigned char* out = reply + *replyCount;
  const bool window = option == kWindowSize && columns_ != 0;
  const bool type = option == kTerminalType && type_ != nullptr;
  Put(out, {kIac, window || type ? kWill : kWont, option});
  if (window) {
    Put(out, {kIac, kSb, kWindowSize});
    for (std::uint16_t v : {columns_, rows_}) {
      PutData(out, static_cast<unsigned char>(v >> 8));
      PutData(out, static_cast<unsigned char>(v & 0xFF));
    }
    Put(out, {kIac, kSe});
    sent_ |= kSentWindow;
  }
  typeSaid_ = typeSaid_ || type;
  *replyCount = static_cast<int>(out - reply);
}

// At IAC SE: TERMINAL-TYPE SEND, and nothing more, asks for the type.
void TelnetFilter::EndSub(unsigned char* reply, int* replyCount) {
  state_ = State::kText;
  if (subLength_ != 2 || sub_[0] != kTerminalType || sub_[1] != kSend) return;
  if (!typeSaid_ || type_ == nullptr || typeAnswers_ == kMaxTypeAnswers) return;
  ++typeAnswers_;
  unsigned char* out = reply + *replyCount;
  Put(out, {kIac, kSb, kTerminalType, kIs});
  for (const char* c = type_; *c != '\0' && c - type_ < kMaxTypeBytes; ++c) *out++ = static_cast<unsigned char>(*c);
  Put(out, {kIac, kSe});
  *replyCount = static_cast<int>(out - reply);
  sent_ |= kSentType;
}

int TelnetFilter::Filter(char* chunk, int n, unsigned char* reply, int* replyCount) {
  int kept = 0;
  *replyCount = 0;
  sent_ = 0;
  const auto answer = [&](unsigned char verb, unsigned char option) {
    reply[(*replyCount)++] = kIac;
    reply[(*replyCount)++] = verb;
    reply[(*replyCount)++] = option;
  };
  const auto subByte = [&](unsigned char byte) {
    if (subLength_ < 2) sub_[subLength_] = byte;
    if (subLength_ < 3) ++subLength_;  // enough to tell a bare SEND from more
  };
  for (int i = 0; i < n; ++i) {
    const auto byte = static_cast<unsigned char>(chunk[i]);
    switch (state_) {
      case State::kText:
        if (byte == kIac) {
          state_ = State::kCommand;
        } else {
          chunk[kept++] = chunk[i];
        }
        break;
      case State::kCommand:
        state_ = State::kText;
        if (byte == kIac) chunk[kept++] = chunk[i];  // an escaped 255 is text
        if (byte >= kWill && byte <= kDont) {
          verb_ = byte;
          state_ = State::kOption;
        }
        if (byte == kSb) {
          state_ = State::kSub;
          subLength_ = 0;
        }
        break;
      case State::kOption:
        state_ = State::kText;
        // Only a request is answered: WONT and DONT turn an option off,
        // which it already is unless a script said otherwise.
        if (verb_ == kDo && !ours_[byte]) {
          ours_[byte] = true;
          Answer(byte, reply, replyCount);
        } else if (verb_ == kWill && !theirs_[byte]) {
          theirs_[byte] = true;
          answer(byte == kEcho || byte == kSuppressGoAhead ? kDo : kDont, byte);
        }
        break;
      case State::kSub:  // read up to IAC SE; only a type request is answered
        if (byte == kIac) {
          state_ = State::kSubCommand;
        } else {
          subByte(byte);
        }
        break;
      case State::kSubCommand:
        if (byte == kSe) {
          EndSub(reply, replyCount);
          break;
        }
        state_ = State::kSub;
        subByte(byte);  // IAC IAC is a data byte; any other command counts as one too
        break;
    }
  }
  return kept;
}

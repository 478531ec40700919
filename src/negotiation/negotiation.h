// The fixed answers to a host's opening Telnet negotiation, one script per
// received chunk, chosen by the target type. No option state machine.
#pragma once

#include <cstdint>

enum class TargetType { kLinux, kUnix, kOther };

// The most bytes HexString2Bin writes: it reads at most 254 characters.
constexpr int kMaxScriptBytes = 127;

// Turns hexadecimal text into bytes, two characters a byte, and returns the
// count. An odd length is padded with "0"; a character that is not a hex digit
// counts as 0. No terminator is written; destination must hold
// kMaxScriptBytes bytes, and text past 254 characters is ignored.
std::int32_t HexString2Bin(unsigned char* destination, const char* hexText);

// The hexadecimal script that answers the next chunk of a session of this
// type, advancing negotiationStep; nullptr once the negotiation takes no more
// chunks (at once for TargetType::kOther).
const char* NextNegotiationScript(TargetType type, std::int32_t& negotiationStep);

// A Telnet-aware session's view of the host's stream: the Telnet commands are
// taken out of each chunk (also one split across two chunks), and each option
// request gets one answer: ECHO and SUPPRESS-GO-AHEAD are accepted, NAWS and
// TERMINAL-TYPE when a window and a type are offered, anything else refused.
// Answers already given (by a fixed script, or earlier) are never repeated, so
// a reply to what ravlo said is not taken as a request.
class TelnetFilter {
 public:
  static constexpr int kMaxTypeBytes = 40;
  // A host that asks for the type for ever is not answered for ever.
  static constexpr int kMaxTypeAnswers = 32;
  // Each option answered at most once per direction (3 bytes each), the window
  // once (each number's two bytes may be doubled), and every type answer.
  static constexpr int kMaxReplyBytes = 2 * 256 * 3 + 13 + kMaxTypeAnswers * (kMaxTypeBytes + 6);
  // What Filter answered beyond the plain option answers, for the trace.
  static constexpr int kSentWindow = 1, kSentType = 2;

  // Refuses NAWS and TERMINAL-TYPE.
  TelnetFilter() = default;
  // Offers a window of columns x rows (0 x 0: none) and a terminal type
  // (nullptr: none; at most kMaxTypeBytes, not owned, must outlive the filter).
  TelnetFilter(std::uint16_t columns, std::uint16_t rows, const char* type);

  // Notes the option commands ravlo sent on its own (a fixed script).
  void NoteSent(const unsigned char* bytes, int count);

  // Removes the Telnet commands from the n bytes at chunk, in place (IAC IAC
  // leaves one 255), and returns how many bytes of text remain. The answers
  // due are written to reply (kMaxReplyBytes), their count to *replyCount.
  // The window goes out with the WILL NAWS that answers DO NAWS; the type
  // answers each TERMINAL-TYPE SEND once ravlo has said WILL TERMINAL-TYPE.
  int Filter(char* chunk, int n, unsigned char* reply, int* replyCount);

  // kSentWindow and kSentType: what the last Filter sent of them.
  int Sent() const { return sent_; }

 private:
  enum class State : unsigned char { kText, kCommand, kOption, kSub, kSubCommand };
  void Answer(unsigned char option, unsigned char* reply, int* replyCount);
  void EndSub(unsigned char* reply, int* replyCount);
  State state_ = State::kText;
  unsigned char verb_ = 0;          // WILL, WONT, DO or DONT, while kOption waits for its option
  bool ours_[256] = {};             // options whose state on ravlo's side is settled
  bool theirs_[256] = {};           // options whose state on the host's side is settled
  bool typeSaid_ = false;           // ravlo has said WILL TERMINAL-TYPE
  unsigned char sub_[2] = {};       // a sub-negotiation's first two bytes: option and code
  int subLength_ = 0;               // its length so far (IAC IAC counts one)
  int typeAnswers_ = 0;
  int sent_ = 0;
  std::uint16_t columns_ = 0, rows_ = 0;
  const char* type_ = nullptr;
};

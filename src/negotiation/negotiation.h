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

// What a received chunk means: error keywords and prompts. Plain byte
// operations on zero-terminated text; case-sensitive, no encodings.
#pragma once

#include <cstdint>

constexpr int MATCH_ANYWHERE = 0;
constexpr int MATCH_AT_END = 2;  // any other mode value means MATCH_ANYWHERE

// 0 when pattern occurs in text (at its end for MATCH_AT_END), -1 otherwise.
// An empty pattern is always found.
std::int32_t MatchText(const char* text, const char* pattern, int mode);

// Rewrites the n chunk bytes at the start of work so line ends become visible
// tokens: CR -> "!", LF -> "&", and a CR before a zero byte or at the end also
// leaves a "#". work must hold n + 2 bytes.
void NormalizeChunk(char* work, int n);

// 0 when the text holds a prompt, -1 otherwise. Prints "********" to standard
// output for a password prompt, and always empties the text.
std::int32_t CheckPrompt(char* text);

// The first prompt token the text holds, the password token last, or nullptr
// when it holds none; the text is left as it is. For the trace.
const char* FindPromptToken(const char* text);

// -K: control keys and Telnet commands written in a command line, which a
// text file cannot hold (0x1A ends it): "^Z" to leave a device's configuration
// mode, "^C", "^]", a line "<BREAK>" for a console server's serial break.
#pragma once

#include <string>
#include <string_view>

// Writes the bytes that line stands for to out: ^@, ^A..^Z (either case), ^[,
// ^\, ^], ^^, ^_ as 0x00..0x1F, ^? as DEL, "^" before anything else as
// written; a line that is exactly <BREAK>, <IP>, <AO>, <AYT> or <NOP> as that
// Telnet command (IAC BRK, ...). When line ends with lineEnd (not empty), the
// line end stays, but for a line of keys alone. Appends each key's name to
// names, blank-separated, for the trace.
void TranslateKeys(std::string_view line, std::string_view lineEnd, std::string& out, std::string& names);

// The Telnet command that line (ending in lineEnd, or not) is exactly, by
// its name, or nullptr.
const char* TelnetCommand(std::string_view line, std::string_view lineEnd);

// Every text ravlo prints of its own, written once, in UTF-8. The console layer
// turns them into the console's encoding; the host's bytes never pass here.
#pragma once

extern const char kUsageText[];
extern const char kBannerFormat[];         // host, type, seconds, file, BEL label
extern const char kHostLookupFailedFormat[];  // host
extern const char kFileOpenFailedFormat[];    // file name
extern const char kNetStartFailedText[];      // for standard error
extern const char kNoResponseText[];
extern const char kErrorKeywordText[];
extern const char kCallFailedFormat[];  // the name of the call that failed
extern const char kHelpText[];          // for -h, after kUsageText
extern const char kVersionText[];
extern const char kUnknownOptionFormat[];          // the option, for standard error
extern const char kOptionNeedsArgumentFormat[];    // the option, for standard error
extern const char kOptionTakesNoArgumentFormat[];  // the option, for standard error
extern const char kBadOptionValueFormat[];         // the option and its value, for standard error
extern const char kOptionsConflictFormat[];        // two options, for standard error
extern const char kOptionNeedsOptionFormat[];      // an option and the one it needs, for standard error
extern const char kProgramStartFailedFormat[];     // the program, the system's words, for standard error
extern const char kSerialOpenFailedFormat[];       // the device, what is wrong with it, for standard error
extern const char kProgramNotStartedFormat[];      // the command line, the shell's exit status, for standard error
extern const char kProgramBannerFormat[];          // as kBannerFormat, the way (ssh, exec) after the host
extern const char kOutputFailedText[];             // for standard error
extern const char kSecretUnsetFormat[];            // the variable's name, for standard error
extern const char kRecordsOpenFailedFormat[];      // the file's name, for standard error
extern const char kRecordsWriteFailedFormat[];     // the file's name, for standard error

// The trace (-v), for standard error; ASCII only.
extern const char kTraceConnectedText[];
extern const char kTraceNotConnectedText[];
extern const char kTraceFailedText[];
extern const char kTraceClosedText[];
extern const char kTraceProgramStartedText[];
extern const char kTraceDeviceOpenedText[];
extern const char kTraceDeviceGoneText[];
extern const char kTraceProgramEndedFormat[];  // exit status (-1: unknown)
extern const char kTraceSshFormat[];           // chunk number, byte count, ssh's words
extern const char kTraceProgramFormat[];       // the program and its arguments, blank-separated
extern const char kTraceConnectLimitText[];
extern const char kTraceDeadlineText[];
extern const char kTraceLineLimitFormat[];  // line number, its response limit in seconds
extern const char kTraceNegotiationFormat[];  // chunk number, byte count
extern const char kTracePromptFormat[];       // chunk number, byte count, token
extern const char kTraceKeywordFormat[];      // chunk number, byte count, keyword
extern const char kTraceNoPromptFormat[];     // chunk number, byte count
extern const char kTraceTelnetOnlyFormat[];   // chunk number, byte count
extern const char kTraceWindowFormat[];        // chunk number, columns, rows
extern const char kTraceTerminalTypeFormat[];  // chunk number, type
extern const char kTracePagerFormat[];         // chunk number, pager prompt, "answered" or not
extern const char kTraceLineSentFormat[];     // line number, byte count (unsigned long long)
extern const char kTraceSettleFormat[];       // settle time in ms
extern const char kTracePromptHeldText[];
extern const char kTracePromptKnownFormat[];   // chunk number
extern const char kTracePromptMixedFormat[];   // chunk number
extern const char kTraceWakeFormat[];          // wake number
extern const char kTraceQuestionFormat[];      // chunk number, question length and text, "answered" or not
extern const char kTraceBreakSentFormat[];     // line number
extern const char kTraceBreakRefusedFormat[];  // line number, the system's words
extern const char kTraceLineSkippedFormat[];   // line number, the Telnet command's name
extern const char kTraceKeysFormat[];          // line number, the keys' names
extern const char* const kTraceEndTexts[4];   // by SessionEnd

// Prints one of the texts above (a printf format) to standard output in the
// console's encoding, with the arguments' bytes as they are, and flushes.
void PrintMessage(const char* format, ...);
// The same for standard error.
void PrintError(const char* format, ...);
// A trace line to standard error, as it is: nothing converted or allocated.
void PrintTrace(const char* format, ...);

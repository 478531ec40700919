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

// Prints one of the texts above (a printf format) to standard output in the
// console's encoding, with the arguments' bytes as they are, and flushes.
void PrintMessage(const char* format, ...);
// The same for standard error, for a text without arguments.
void PrintError(const char* text);

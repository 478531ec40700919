// The options that come before the five arguments, POSIX style.
#pragma once

struct Options {
  bool status = false;   // -s: the exit status tells how the session ended
  bool verbose = false;  // -v: a trace of the session on standard error
  bool version = false;  // -V
  bool help = false;     // -h
};

// Reads the options at the start of argv, up to the first argument that is
// not one or up to "--". Returns the index of the first positional argument,
// or -1 after printing one line naming the problem on standard error.
int ParseOptions(int argc, char** argv, Options& options);

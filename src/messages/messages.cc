#include "messages/messages.h"

#include <cstdarg>
#include <cstdio>
#include <string>

#include "platform/platform.h"

#define RAVLO_STRINGIFY2(x) #x
#define RAVLO_STRINGIFY(x) RAVLO_STRINGIFY2(x)

const char kUsageText[] =
    "<----------------------------------------------------------------------\n"
    "ravlo ver." RAVLO_STRINGIFY(RAVLO_VERSION) "\n"
    "指定ファイルのコマンドを実行します。\n"
    "ravlo [host name] [target type] [rsp timer value] [file name] [0x07BEL]\n"
    "\n"
    "[host name]       host name or IP address\n"
    "[target type]     0:linux 1:unix 2:other\n"
    "[rsp timer value] 1..600 (sec)\n"
    "[file name]       command file name\n"
    "[0x07BEL]         0:enable 1:desable\n"
    "----------------------------------------------------------------------->\n";
const char kBannerFormat[] = "--- host(%s) type(%s) timer(%ds) fname(%s) 0x07BEL(%s)\n";
const char kHostLookupFailedFormat[] = "ホスト名の取得に失敗しました : %s\n";
const char kFileOpenFailedFormat[] = "ファイルがopenできません: %s\n";
const char kNetStartFailedText[] = "WSAStartup error\n";
const char kNoResponseText[] = "応答がありません\n";
const char kErrorKeywordText[] = "\n受信文字列中にエラーキーワードが該当しましたので処理を中止します。";
const char kCallFailedFormat[] = "%sが失敗しました。\n";
const char kHelpText[] =
    "Options, before the five arguments (-- ends them):\n"
    "-s, --status      the exit status tells how the session ended: 0 command\n"
    "                  file used up, 1 error keyword, 2 no response,\n"
    "                  3 connection refused, failed or closed by the host\n"
    "-v, --verbose     trace the session on standard error\n"
    "-p, --port PORT   connect to PORT (1..65535) instead of 23\n"
    "-t, --telnet      answer the host's Telnet option requests, and keep\n"
    "                  Telnet commands out of the transcript\n"
    "-P, --prompt TEXT one more prompt, matched at the end of a chunk\n"
    "                  (may be given several times)\n"
    "-E, --error TEXT  one more error keyword, matched anywhere\n"
    "                  (may be given several times)\n"
    "-k, --secret NAME ${NAME} in command lines stands for the value of the\n"
    "                  environment variable NAME; the transcript masks it\n"
    "                  (may be given several times)\n"
    "-w, --connect-limit SECONDS\n"
    "                  end the session when no connection is made within\n"
    "                  SECONDS (1..600), as -s ends a refused one\n"
    "-e, --prompt-at-end\n"
    "                  send a line only when all the host sent since the last\n"
    "                  one ends in a prompt (\"> \" too), escape sequences aside;\n"
    "                  answer a pager's prompt (--More--, (END)) with its key\n"
    "-L, --line-end EOL\n"
    "                  end each line sent with EOL: lf (as by default), crlf,\n"
    "                  cr (as by default with --ssh and --exec) or crnul (CR\n"
    "                  and a zero byte, as by default with -t)\n"
    "-c, --clean       leave escape sequences and the zero byte of CR NUL\n"
    "                  out of the transcript; with -e also a pager's prompt\n"
    "                  and the bytes that erase it\n"
    "--settle MS       with -e, a prompt counts once the host has been quiet\n"
    "                  for at least MS (1..10000) milliseconds; the time\n"
    "                  grows by itself on a link that cuts the host's text\n"
    "-j, --records FILE\n"
    "                  write one JSON record per command line to FILE: its\n"
    "                  output, prompt and times, and one at the end; with -\n"
    "                  standard output holds only the records\n"
    "--window COLSxROWS\n"
    "                  the window -t reports when asked (1..65535 each, or\n"
    "                  none to refuse), and the pseudo-terminal's window of\n"
    "                  --ssh and --exec; 500x1000 by default\n"
    "--term TYPE       the terminal type -t reports when asked (up to 40\n"
    "                  characters, or none to refuse); vt100 by default\n"
    "-M, --more TEXT   one more pager prompt that -e answers with a space\n"
    "                  (may be given several times)\n"
    "--wake SECONDS    with -e, send a line end when the host has shown no\n"
    "                  prompt and been quiet for SECONDS (1..600; 2 by\n"
    "                  default) before the first line, at most 3 times; none:\n"
    "                  never\n"
    "-A, --answer TEXT=REPLY\n"
    "                  with -e, when the host's unfinished last line holds\n"
    "                  TEXT and the host waits, send REPLY and the line end;\n"
    "                  the command file does not move on (may be given\n"
    "                  several times)\n"
    "-K, --keys        in command lines ^A..^Z, ^@, ^[, ^\\, ^], ^^, ^_ and ^?\n"
    "                  are control keys; a line <BREAK>, <IP>, <AO>, <AYT> or\n"
    "                  <NOP> is that Telnet command; a line of keys only is\n"
    "                  sent without its line end\n"
    "--charset NAME    the host's text and the command file are in NAME, which\n"
    "                  the records (-j) turn into UTF-8: utf-8 (by default),\n"
    "                  shift_jis, euc-jp, iso-8859-1, windows-1252, gbk, big5\n"
    "-T, --line-limit TEXT=SECONDS\n"
    "                  after a command line that begins with TEXT (as written\n"
    "                  in the file), the response limit is SECONDS (1..86400)\n"
    "                  until the next line; the longest TEXT wins (may be\n"
    "                  given several times)\n"
    "--deadline SECONDS\n"
    "                  end the session SECONDS (1..604800) after it started,\n"
    "                  as when the host does not respond\n"
    "--ssh             HOST is [USER@]HOST, reached with the system's ssh in a\n"
    "                  pseudo-terminal of --window's size; its own questions\n"
    "                  are the host's text; a refused login or an unknown\n"
    "                  host key ends the session as an error keyword does\n"
    "-o, --ssh-option OPTION\n"
    "                  with --ssh, pass -o OPTION to ssh (may be given\n"
    "                  several times); -p and -w are passed on too\n"
    "--serial BAUD     HOST is a serial device (COMn on Windows), opened raw,\n"
    "                  8N1, no flow control, at BAUD (300..921600); with -K\n"
    "                  a line <BREAK> holds the line in break\n"
    "--exec            HOST is a command line, run by the system's shell in a\n"
    "                  pseudo-terminal of --window's size; its end is the\n"
    "                  connection's end\n"
    "-V, --version     print the version and exit\n"
    "-h, --help        print this text and exit\n";
const char kVersionText[] = "ravlo " RAVLO_STRINGIFY(RAVLO_VERSION) "\n";
const char kUnknownOptionFormat[] = "ravlo: unknown option: %s\n";
const char kOptionNeedsArgumentFormat[] = "ravlo: option %s needs an argument\n";
const char kOptionTakesNoArgumentFormat[] = "ravlo: option %s takes no argument\n";
const char kBadOptionValueFormat[] = "ravlo: option %s: unfit value '%s'\n";
const char kOptionsConflictFormat[] = "ravlo: options %s and %s cannot be used together\n";
const char kOptionNeedsOptionFormat[] = "ravlo: option %s needs %s\n";
const char kProgramStartFailedFormat[] = "ravlo: cannot start %s: %s\n";
const char kSerialOpenFailedFormat[] = "ravlo: cannot open %s: %s\n";
const char kProgramNotStartedFormat[] = "ravlo: cannot start %s: the shell's exit status is %d\n";
const char kProgramBannerFormat[] = "--- host(%s) link(%s) type(%s) timer(%ds) fname(%s) 0x07BEL(%s)\n";
const char kOutputFailedText[] = "ravlo: 標準出力への書き込みが失敗しました。\n";
const char kSecretUnsetFormat[] = "ravlo: option -k: environment variable %s is unset or empty\n";
const char kRecordsOpenFailedFormat[] = "ravlo: option -j: cannot open %s for writing\n";
const char kRecordsWriteFailedFormat[] = "ravlo: option -j: writing to %s failed\n";

const char kTraceConnectedText[] = "ravlo: connected\n";
const char kTraceNotConnectedText[] = "ravlo: connection refused or failed\n";
const char kTraceFailedText[] = "ravlo: connection failed\n";
const char kTraceClosedText[] = "ravlo: connection closed by the host\n";
const char kTraceProgramStartedText[] = "ravlo: program started\n";
const char kTraceDeviceOpenedText[] = "ravlo: device opened\n";
const char kTraceDeviceGoneText[] = "ravlo: the device is gone\n";
const char kTraceProgramEndedFormat[] = "ravlo: program ended, exit status %d\n";
const char kTraceSshFormat[] = "ravlo: chunk %d: %d bytes: ssh says \"%s\"\n";
const char kTraceProgramFormat[] = "ravlo: running %s\n";
const char kTraceDeadlineText[] = "ravlo: the deadline has passed\n";
const char kTraceLineLimitFormat[] = "ravlo: line %d: response limit %d s\n";
const char kTraceConnectLimitText[] = "ravlo: no connection within the connect limit\n";
const char kTraceNegotiationFormat[] = "ravlo: chunk %d: %d bytes: taken by the negotiation\n";
const char kTracePromptFormat[] = "ravlo: chunk %d: %d bytes: shown, prompt \"%s\"\n";
const char kTraceKeywordFormat[] = "ravlo: chunk %d: %d bytes: shown, error keyword \"%s\"\n";
const char kTraceNoPromptFormat[] = "ravlo: chunk %d: %d bytes: shown, no prompt\n";
const char kTraceTelnetOnlyFormat[] = "ravlo: chunk %d: %d bytes: Telnet commands only\n";
const char kTraceWindowFormat[] = "ravlo: chunk %d: window %ux%u sent\n";
const char kTraceTerminalTypeFormat[] = "ravlo: chunk %d: terminal type \"%s\" sent\n";
const char kTracePagerFormat[] = "ravlo: chunk %d: pager prompt \"%s\", %s\n";
const char kTraceLineSentFormat[] = "ravlo: line %d: %llu bytes sent\n";
const char kTraceSettleFormat[] = "ravlo: settle time %d ms\n";
const char kTracePromptHeldText[] = "ravlo: prompt held: more text came\n";
const char kTracePromptKnownFormat[] = "ravlo: chunk %d: prompt known\n";
const char kTracePromptMixedFormat[] = "ravlo: chunk %d: prompt new, after other text in its chunk\n";
const char kTraceWakeFormat[] = "ravlo: wake %d: line end sent\n";
const char kTraceQuestionFormat[] = "ravlo: chunk %d: question \"%.*s\", %s\n";
const char kTraceBreakSentFormat[] = "ravlo: line %d: <BREAK> sent as the line's break\n";
const char kTraceBreakRefusedFormat[] = "ravlo: line %d: <BREAK> refused by the device: %s\n";
const char kTraceLineSkippedFormat[] = "ravlo: line %d: %s passed over: no Telnet here\n";
const char kTraceKeysFormat[] = "ravlo: line %d: keys %s\n";
const char* const kTraceEndTexts[4] = {
    "ravlo: end: command file used up\n", "ravlo: end: error keyword\n",
    "ravlo: end: no response\n", "ravlo: end: connection lost\n"};

namespace {

// Converting the format is safe: Shift_JIS never makes a '%' of a kanji.
void PrintConverted(std::FILE* stream, const char* format, va_list args) {
  std::vfprintf(stream, platform::ConsoleText(format).c_str(), args);
}

}  // namespace

void PrintMessage(const char* format, ...) {
  va_list args;
  va_start(args, format);
  PrintConverted(stdout, format, args);
  va_end(args);
  std::fflush(stdout);
}

void PrintError(const char* format, ...) {
  va_list args;
  va_start(args, format);
  PrintConverted(stderr, format, args);
  va_end(args);
}

void PrintTrace(const char* format, ...) {
  va_list args;
  va_start(args, format);
  std::vfprintf(stderr, format, args);
  va_end(args);
}

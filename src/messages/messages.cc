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

void PrintMessage(const char* format, ...) {
  // Converting the format is safe: Shift_JIS never makes a '%' of a kanji.
  const std::string converted = platform::ConsoleText(format);
  va_list args;
  va_start(args, format);
  std::vfprintf(stdout, converted.c_str(), args);
  va_end(args);
  std::fflush(stdout);
}

void PrintError(const char* text) {
  std::fputs(platform::ConsoleText(text).c_str(), stderr);
}

#include "records/times.h"

#include <cstdio>

namespace {

// Days since 1970-01-01 as a civil date (the proleptic Gregorian calendar).
void CivilFromDays(long long days, long long& year, unsigned& month, unsigned& day) {
  days += 719468;
  const long long era = (days >= 0 ? days : days - 146096) / 146097;
  const auto dayOfEra = static_cast<unsigned>(days - era * 146097);
  const unsigned yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
  const unsigned dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
  const unsigned shifted = (5 * dayOfYear + 2) / 153;  // March is 0
  day = dayOfYear - (153 * shifted + 2) / 5 + 1;
  month = shifted < 10 ? shifted + 3 : shifted - 9;
  year = static_cast<long long>(yearOfEra) + era * 400 + (month <= 2 ? 1 : 0);
}

}  // namespace

void records::FormatTimes(char* text, std::size_t size, std::chrono::system_clock::time_point start,
                          std::chrono::steady_clock::duration took) {
  const long long ms = std::chrono::duration_cast<std::chrono::milliseconds>(start.time_since_epoch()).count();
  const long long seconds = (ms >= 0 ? ms : ms - 999) / 1000;
  const long long days = (seconds >= 0 ? seconds : seconds - 86399) / 86400;
  const long long inDay = seconds - days * 86400;
  long long year = 0;
  unsigned month = 0;
  unsigned day = 0;
  CivilFromDays(days, year, month, day);
  const long long tenthsUs = std::chrono::duration_cast<std::chrono::microseconds>(took).count() / 100;
  std::snprintf(text, size, "\"start\":\"%04lld-%02u-%02uT%02lld:%02lld:%02lld.%03lldZ\",\"ms\":%lld.%lld", year, month,
                day, inDay / 3600, inDay / 60 % 60, inDay % 60, ms - seconds * 1000, tenthsUs / 10, tenthsUs % 10);
}

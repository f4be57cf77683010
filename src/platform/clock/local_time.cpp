#include "platform/clock/local_time.h"

#include <ctime>

namespace tsumugi {

namespace {

// Days since 1970-01-01 of a date of the proleptic Gregorian calendar
// (Howard Hinnant's days_from_civil).
int64_t DaysFromCivil(int64_t y, int m, int d) {
  y -= m <= 2;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const int64_t yoe = y - era * 400;
  const int64_t doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
  const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

void CivilFromDays(int64_t z, int* year, int* month, int* day) {
  z += 719468;
  const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const int64_t doe = z - era * 146097;
  const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const int64_t mp = (5 * doy + 2) / 153;
  *day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  *month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  *year = static_cast<int>(yoe + era * 400 + (*month <= 2));
}

int DaysInMonth(int year, int month) {
  static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
  return month == 2 && leap ? 29 : kDays[month - 1];
}

// Reads exactly `digits` decimal digits at `pos`.
bool ReadField(std::string_view text, size_t pos, size_t digits, int* out) {
  if (pos + digits > text.size()) return false;
  int value = 0;
  for (size_t i = pos; i < pos + digits; ++i) {
    if (text[i] < '0' || text[i] > '9') return false;
    value = value * 10 + (text[i] - '0');
  }
  *out = value;
  return true;
}

}  // namespace

int LocalDateTime::Weekday() const {
  // 1970-01-01 was a Thursday, the fifth day counted from Sunday.
  const int64_t days = DaysFromCivil(year, month, day);
  return static_cast<int>(((days + 4) % 7 + 7) % 7) + 1;
}

LocalDateTime SystemLocalTime() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  LocalDateTime t;
  t.year = local.tm_year + 1900;
  t.month = local.tm_mon + 1;
  t.day = local.tm_mday;
  t.hour = local.tm_hour;
  t.minute = local.tm_min;
  t.second = local.tm_sec > 59 ? 59 : local.tm_sec;
  return t;
}

std::optional<LocalDateTime> ParseDateTime(std::string_view text) {
  LocalDateTime t;
  if (text.size() != 19 || text[4] != '-' || text[7] != '-' || text[10] != 'T' ||
      text[13] != ':' || text[16] != ':' || !ReadField(text, 0, 4, &t.year) ||
      !ReadField(text, 5, 2, &t.month) || !ReadField(text, 8, 2, &t.day) ||
      !ReadField(text, 11, 2, &t.hour) || !ReadField(text, 14, 2, &t.minute) ||
      !ReadField(text, 17, 2, &t.second)) {
    return std::nullopt;
  }
  if (t.year < 1 || t.month < 1 || t.month > 12 || t.day < 1 ||
      t.day > DaysInMonth(t.year, t.month) || t.hour > 23 || t.minute > 59 || t.second > 59) {
    return std::nullopt;
  }
  return t;
}

LocalDateTime AddMilliseconds(const LocalDateTime& start, uint64_t milliseconds) {
  // Some 285,000 years: far beyond any run, and the year still fits an int.
  constexpr uint64_t kLimit = uint64_t{1} << 53;
  if (milliseconds > kLimit) milliseconds = kLimit;
  const int64_t seconds = static_cast<int64_t>(milliseconds / 1000) + start.hour * 3600 +
                          start.minute * 60 + start.second;
  LocalDateTime t;
  CivilFromDays(DaysFromCivil(start.year, start.month, start.day) + seconds / 86400, &t.year,
                &t.month, &t.day);
  const int64_t in_day = seconds % 86400;
  t.hour = static_cast<int>(in_day / 3600);
  t.minute = static_cast<int>(in_day / 60 % 60);
  t.second = static_cast<int>(in_day % 60);
  return t;
}

}  // namespace tsumugi

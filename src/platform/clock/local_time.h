// Dates and times of the local calendar, as ".now" reads them: the
// machine's clock for a player, or a fixed moment that moves with a virtual
// clock, so that a headless run gives the same answers on every day.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tsumugi {

struct LocalDateTime {
  int year = 2000;
  int month = 1;    // 1 to 12
  int day = 1;      // 1 to 31
  int hour = 0;     // 0 to 23
  int minute = 0;   // 0 to 59
  int second = 0;   // 0 to 59
  // 1 (Sunday) to 7 (Saturday), worked out from the date.
  int Weekday() const;
  friend bool operator==(const LocalDateTime&, const LocalDateTime&) = default;
};

// The machine's local date and time now. A leap second reads as 59.
LocalDateTime SystemLocalTime();

// "YYYY-MM-DDTHH:MM:SS" with a real date of the years 0001 to 9999 and a time
// of 00:00:00 to 23:59:59; anything else is nullopt.
[[nodiscard]] std::optional<LocalDateTime> ParseDateTime(std::string_view text);

// The moment `milliseconds` after `start` (whole seconds count; the calendar
// has no time zones or leap seconds here).
LocalDateTime AddMilliseconds(const LocalDateTime& start, uint64_t milliseconds);

}  // namespace tsumugi

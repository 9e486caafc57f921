#pragma once
// Log levels. Callers name a level by its number; a record line shows the level's text and the
// value travels with the record.
#include <string_view>

namespace base {

enum LogLevelNumber : int {
  kLogDebug = 0,
  kLogTrace = 1,
  kLogInfo = 2,
  kLogNotice = 3,
  kLogWarning = 4,
  kLogError = 5,
  kLogFatal = 6,
};

// A threshold above every level: nothing passes it.
inline constexpr int kLogNothing = 7;

struct LogLevel {
  int value;
  std::string_view text;

  friend constexpr bool operator==(const LogLevel&, const LogLevel&) = default;
};

// The row for a level number; a number outside 0..6 is shown as WARNING.
constexpr LogLevel LevelFromNumber(int number) {
  constexpr LogLevel kRows[] = {
      {0, "DEBUG"},     {50, "TRACE"},  {100, "INFO"},   {200, "NOTICE"},
      {500, "WARNING"}, {600, "ERROR"}, {1000, "FATAL"},
  };
  return number >= 0 && number < 7 ? kRows[number] : kRows[kLogWarning];
}

}  // namespace base

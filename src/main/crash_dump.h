#pragma once
// What a crash leaves in the log folder: a minidump named after the moment and the process, of
// which only the newest few are kept. The names sort by time.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace corvane {

inline constexpr size_t kCrashDumpsKept = 5;
inline constexpr wchar_t kCrashDumpPattern[] = L"app.corvane.crash.*.dmp";

// Local time of the crash.
struct CrashMoment {
  int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0, millisecond = 0;
};

// app.corvane.crash.<YYYYmmdd-HHMMSS-mmm>.<process id>.dmp into `out` (`capacity` characters
// with the terminating zero); false when it does not fit. It allocates nothing: it runs while
// the process crashes.
bool FormatCrashDumpName(const CrashMoment& moment, uint32_t process_id, wchar_t* out,
                         size_t capacity);

bool IsCrashDumpName(std::wstring_view name);

// Of the file names in a log folder, the crash dumps to delete so that `keep` remain: the
// oldest by name, never `newest` (the one just written).
std::vector<std::wstring> CrashDumpsToDelete(std::vector<std::wstring> names,
                                             std::wstring_view newest, size_t keep);

}  // namespace corvane

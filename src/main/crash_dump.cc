#include "src/main/crash_dump.h"

#include <algorithm>
#include <cwchar>

namespace corvane {
namespace {

constexpr std::wstring_view kPrefix = L"app.corvane.crash.";
constexpr std::wstring_view kSuffix = L".dmp";

}  // namespace

bool FormatCrashDumpName(const CrashMoment& moment, uint32_t process_id, wchar_t* out,
                         size_t capacity) {
  const int written =
      std::swprintf(out, capacity, L"app.corvane.crash.%04d%02d%02d-%02d%02d%02d-%03d.%u.dmp",
                    moment.year, moment.month, moment.day, moment.hour, moment.minute,
                    moment.second, moment.millisecond, static_cast<unsigned>(process_id));
  return written > 0 && static_cast<size_t>(written) < capacity;
}

bool IsCrashDumpName(std::wstring_view name) {
  return name.size() > kPrefix.size() + kSuffix.size() && name.starts_with(kPrefix) &&
         name.ends_with(kSuffix);
}

std::vector<std::wstring> CrashDumpsToDelete(std::vector<std::wstring> names,
                                             std::wstring_view newest, size_t keep) {
  std::erase_if(names,
                [&](const std::wstring& name) { return !IsCrashDumpName(name) || name == newest; });
  std::sort(names.begin(), names.end());
  // The one just written counts among those kept.
  const size_t others_kept = keep > 0 ? keep - 1 : 0;
  if (names.size() <= others_kept) return {};
  names.resize(names.size() - others_kept);
  return names;
}

}  // namespace corvane

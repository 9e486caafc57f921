#include "src/main/host_environment.h"

#include <cwchar>

namespace corvane {

std::wstring FindVexoraArgument(const std::vector<std::wstring>& arguments) {
  constexpr std::wstring_view kPrefix = L"vx=";
  for (const std::wstring& argument : arguments) {
    if (!argument.starts_with(kPrefix)) continue;
    std::wstring_view value = std::wstring_view(argument).substr(kPrefix.size());
    while (!value.empty() && value.front() == L'"') value.remove_prefix(1);
    while (!value.empty() && value.back() == L'"') value.remove_suffix(1);
    return std::wstring(value);
  }
  return {};
}

std::wstring DirectoryOf(std::wstring_view path) {
  const size_t cut = path.find_last_of(L"\\/");
  return cut == std::wstring_view::npos ? std::wstring() : std::wstring(path.substr(0, cut));
}

std::wstring ParentOfExecutableDirectory(std::wstring_view executable_path) {
  return DirectoryOf(DirectoryOf(executable_path));
}

std::optional<std::wstring> HostLogDirectory(const std::wstring& host_path) {
  if (host_path.empty()) return std::nullopt;
  return host_path + L"\\log";
}

std::wstring FormatFileVersion(uint32_t most_significant, uint32_t least_significant) {
  wchar_t text[64] = {};
  std::swprintf(text, 64, L"%u.%u.%u.%u", most_significant >> 16, most_significant & 0xFFFF,
                least_significant >> 16, least_significant & 0xFFFF);
  return text;
}

}  // namespace corvane

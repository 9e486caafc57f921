#include "src/main/launch_options.h"

#include <cwchar>

namespace corvane {

std::wstring ExtractOption(std::wstring_view command_line, std::wstring_view option) {
  const size_t at = command_line.find(option);
  if (at == std::wstring_view::npos) return {};
  size_t begin = at + option.size();
  while (begin < command_line.size() && command_line[begin] == L' ') ++begin;
  const size_t end = command_line.find(L' ', begin);
  return std::wstring(
      command_line.substr(begin, end == std::wstring_view::npos ? end : end - begin));
}

uintptr_t ParseWindowHandle(const std::wstring& text) {
  // wcstoull with base 16 follows the same rules as the "%x" conversion of scanf.
  return static_cast<uintptr_t>(std::wcstoull(text.c_str(), nullptr, 16));
}

uint64_t ParseGameId(const std::wstring& text) {
  return static_cast<uint64_t>(std::wcstoull(text.c_str(), nullptr, 10));
}

LaunchArgs ParseLaunchArgs(std::wstring_view command_line) {
  LaunchArgs args;
  const std::wstring hwnd = ExtractOption(command_line, L"--hwnd");
  if (!hwnd.empty()) args.game_window = ParseWindowHandle(hwnd);
  const std::wstring game_id = ExtractOption(command_line, L"--game-id");
  if (!game_id.empty()) args.game_id = ParseGameId(game_id);
  return args;
}

}  // namespace corvane

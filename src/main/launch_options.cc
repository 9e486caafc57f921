#include "src/main/launch_options.h"

#include <cwchar>
#include <cwctype>

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
  size_t at = 0;
  while (at < text.size() && std::iswspace(static_cast<wint_t>(text[at]))) ++at;
  bool negative = false;
  if (at < text.size() && (text[at] == L'+' || text[at] == L'-')) negative = text[at++] == L'-';
  if (at + 1 < text.size() && text[at] == L'0' && (text[at + 1] == L'x' || text[at + 1] == L'X')) {
    at += 2;
  }
  uint64_t value = 0;  // wraps: the digits beyond the low 64 bits fall away
  for (; at < text.size(); ++at) {
    const wchar_t c = text[at];
    unsigned digit = 0;
    if (c >= L'0' && c <= L'9') {
      digit = static_cast<unsigned>(c - L'0');
    } else if (c >= L'a' && c <= L'f') {
      digit = static_cast<unsigned>(c - L'a' + 10);
    } else if (c >= L'A' && c <= L'F') {
      digit = static_cast<unsigned>(c - L'A' + 10);
    } else {
      break;
    }
    value = value * 16 + digit;
  }
  return static_cast<uintptr_t>(negative ? 0 - value : value);
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

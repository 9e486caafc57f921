#pragma once
// The two options of the command line: the game window handle and the game id.
#include <cstdint>
#include <string>
#include <string_view>

namespace corvane {

struct LaunchArgs {
  uintptr_t game_window = 0;  // window handle; 0 = none given
  uint64_t game_id = 0;       // 0 = none given
};

// The value after the first occurrence of `option` anywhere in `command_line` (a plain,
// case-sensitive substring match): spaces after the option are skipped and the value runs to
// the next space or the end. Quotes mean nothing. Empty when the option is not there.
std::wstring ExtractOption(std::wstring_view command_line, std::wstring_view option);

// A window handle written in hexadecimal, with an optional 0x prefix, as scanf's "%Ix" reads
// it: leading white space is skipped, trailing text ignored, no digits give 0. A value too
// large for a handle saturates instead of wrapping.
uintptr_t ParseWindowHandle(const std::wstring& text);

// A decimal unsigned 64-bit number as wcstoull reads it: one sign allowed, a minus negates
// modulo 2^64, no digits give 0, overflow gives 2^64 - 1.
uint64_t ParseGameId(const std::wstring& text);

LaunchArgs ParseLaunchArgs(std::wstring_view command_line);

}  // namespace corvane

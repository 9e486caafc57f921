#pragma once
// The two options of the command line: the game window handle and the game id.
#include <cstdint>
#include <string>
#include <string_view>

#include "src/app/launch_args.h"

namespace corvane {

// The value after the first occurrence of `option` anywhere in `command_line` (a plain,
// case-sensitive substring match): spaces after the option are skipped and the value runs to
// the next space or the end. Quotes mean nothing. Empty when the option is not there.
std::wstring ExtractOption(std::wstring_view command_line, std::wstring_view option);

// A window handle written in hexadecimal, as the C library's scanf "%Ix" reads it: leading
// white space is skipped, then one optional sign (a minus negates modulo 2^64) and an optional
// 0x or 0X prefix; trailing text is ignored and no digits give 0. A value of more than 16
// digits keeps its low 64 bits, as the conversion of the library the program links does.
uintptr_t ParseWindowHandle(const std::wstring& text);

// A decimal unsigned 64-bit number as wcstoull reads it: one sign allowed, a minus negates
// modulo 2^64, no digits give 0, overflow gives 2^64 - 1.
uint64_t ParseGameId(const std::wstring& text);

LaunchArgs ParseLaunchArgs(std::wstring_view command_line);

}  // namespace corvane

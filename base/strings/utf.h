#pragma once
// Conversions between the platform's wide strings (UTF-16 on Windows, UTF-32 elsewhere),
// UTF-16 and UTF-8. Ill-formed input becomes U+FFFD; nothing throws.
#include <string>
#include <string_view>

namespace base {

std::string WideToUtf8(std::wstring_view text);
// Each byte that does not begin a well-formed sequence (overlong forms, surrogates and values
// above U+10FFFF included) becomes one U+FFFD.
std::wstring Utf8ToWide(std::string_view text);
std::u16string WideToUtf16(std::wstring_view text);
std::wstring Utf16ToWide(std::u16string_view text);

}  // namespace base

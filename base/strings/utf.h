#pragma once
// Conversions between the platform's wide strings (UTF-16 on Windows, UTF-32 elsewhere),
// UTF-16 and UTF-8. Ill-formed input becomes U+FFFD; nothing throws.
#include <string>
#include <string_view>

namespace base {

std::string WideToUtf8(std::wstring_view text);
std::u16string WideToUtf16(std::wstring_view text);
std::wstring Utf16ToWide(std::u16string_view text);

}  // namespace base

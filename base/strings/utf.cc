#include "base/strings/utf.h"

#include <cstdint>
#include <utility>

namespace base {
namespace {

constexpr char32_t kReplacement = 0xFFFD;

bool IsHighSurrogate(char32_t c) {
  return c >= 0xD800 && c <= 0xDBFF;
}
bool IsLowSurrogate(char32_t c) {
  return c >= 0xDC00 && c <= 0xDFFF;
}

// Calls `emit` with each code point of UTF-16 (or, for 32-bit units, UTF-32) text.
template <typename Unit, typename Emit>
void ForEachCodePoint(std::basic_string_view<Unit> text, Emit emit) {
  for (size_t i = 0; i < text.size(); ++i) {
    char32_t c = static_cast<char32_t>(static_cast<std::make_unsigned_t<Unit>>(text[i]));
    if constexpr (sizeof(Unit) == 2) {
      if (IsHighSurrogate(c) && i + 1 < text.size() &&
          IsLowSurrogate(static_cast<char16_t>(text[i + 1]))) {
        const char32_t low = static_cast<char16_t>(text[++i]);
        c = 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00);
      } else if (IsHighSurrogate(c) || IsLowSurrogate(c)) {
        c = kReplacement;
      }
    } else if (c > 0x10FFFF || IsHighSurrogate(c) || IsLowSurrogate(c)) {
      c = kReplacement;
    }
    emit(c);
  }
}

template <typename Unit>
void AppendUtf16(char32_t c, std::basic_string<Unit>& out) {
  if (c < 0x10000) {
    out += static_cast<Unit>(c);
  } else {
    c -= 0x10000;
    out += static_cast<Unit>(0xD800 + (c >> 10));
    out += static_cast<Unit>(0xDC00 + (c & 0x3FF));
  }
}

void AppendUtf8(char32_t c, std::string& out) {
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (c >> 18));
    out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

template <typename Unit>
void AppendWide(char32_t c, std::basic_string<Unit>& out) {
  if constexpr (sizeof(Unit) == 2) {
    AppendUtf16(c, out);
  } else {
    out += static_cast<Unit>(c);
  }
}

// The code point of the well-formed sequence at the start of `text` and its length in bytes;
// a length of 0 when there is none.
std::pair<char32_t, size_t> DecodeUtf8(std::string_view text) {
  const auto byte = [&](size_t i) { return static_cast<unsigned char>(text[i]); };
  const unsigned char lead = byte(0);
  if (lead < 0x80) return {lead, 1};
  size_t length = 0;
  char32_t c = 0;
  char32_t lowest = 0;
  if ((lead & 0xE0) == 0xC0) {
    length = 2, c = lead & 0x1F, lowest = 0x80;
  } else if ((lead & 0xF0) == 0xE0) {
    length = 3, c = lead & 0x0F, lowest = 0x800;
  } else if ((lead & 0xF8) == 0xF0) {
    length = 4, c = lead & 0x07, lowest = 0x10000;
  } else {
    return {0, 0};
  }
  if (text.size() < length) return {0, 0};
  for (size_t i = 1; i < length; ++i) {
    if ((byte(i) & 0xC0) != 0x80) return {0, 0};
    c = (c << 6) | (byte(i) & 0x3F);
  }
  if (c < lowest || c > 0x10FFFF || IsHighSurrogate(c) || IsLowSurrogate(c)) return {0, 0};
  return {c, length};
}

}  // namespace

std::wstring Utf8ToWide(std::string_view text) {
  std::wstring out;
  out.reserve(text.size());
  while (!text.empty()) {
    const auto [c, length] = DecodeUtf8(text);
    AppendWide(length == 0 ? kReplacement : c, out);
    text.remove_prefix(length == 0 ? 1 : length);
  }
  return out;
}

std::string WideToUtf8(std::wstring_view text) {
  std::string out;
  out.reserve(text.size());
  ForEachCodePoint(text, [&](char32_t c) { AppendUtf8(c, out); });
  return out;
}

std::u16string WideToUtf16(std::wstring_view text) {
  std::u16string out;
  out.reserve(text.size());
  ForEachCodePoint(text, [&](char32_t c) { AppendUtf16(c, out); });
  return out;
}

std::wstring Utf16ToWide(std::u16string_view text) {
  std::wstring out;
  out.reserve(text.size());
  ForEachCodePoint(text, [&](char32_t c) { AppendWide(c, out); });
  return out;
}

}  // namespace base

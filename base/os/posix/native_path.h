#pragma once
// A wide path as the POSIX calls take it: UTF-8, with '\' read as a separator.
#include <string>

#include "base/strings/utf.h"

namespace base::os {

inline std::string NativePath(const std::wstring& path) {
  std::string native = WideToUtf8(path);
  for (char& c : native) {
    if (c == '\\') c = '/';
  }
  return native;
}

}  // namespace base::os

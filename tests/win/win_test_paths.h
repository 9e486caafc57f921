#pragma once
// Paths the Win32 tests need: the test executable's own, and the build tree's, which the test
// runner passes in the environment as a Unix path (Wine maps "/" to drive Z:).
#include <string>

#include "base/os/file_system.h"
#include "base/os/win/windows_types.h"
#include "src/main/host_environment.h"

namespace corvane::testing {

inline std::wstring EnvironmentValue(const wchar_t* name) {
  wchar_t value[1024] = {};
  const DWORD size = GetEnvironmentVariableW(name, value, 1024);
  return size > 0 && size < 1024 ? std::wstring(value, size) : std::wstring();
}

inline std::wstring FromUnixPath(std::wstring path) {
  if (path.empty() || path[0] != L'/') return path;
  for (wchar_t& c : path) {
    if (c == L'/') c = L'\\';
  }
  return L"Z:" + path;
}

// The build directory of the Windows build, or empty when the runner did not say.
inline std::wstring BuildDirectory() {
  return FromUnixPath(EnvironmentValue(L"CORVANE_BUILD_DIR"));
}

inline std::wstring TestExecutableDirectory() {
  return DirectoryOf(base::os::ExecutablePath());
}

}  // namespace corvane::testing

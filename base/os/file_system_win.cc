#include "base/os/file_system.h"

#include <vector>

#include "base/os/win/scoped_resource.h"

#include <shlobj.h>

namespace base::os {

CreateDirectoryResult CreateDirectoryTree(const std::wstring& path) {
  // The shell call wants a full path; a relative one is made full first.
  wchar_t full[MAX_PATH * 4] = {};
  const DWORD length = GetFullPathNameW(path.c_str(), MAX_PATH * 4, full, nullptr);
  const wchar_t* target = length > 0 && length < MAX_PATH * 4 ? full : path.c_str();
  const int result = SHCreateDirectoryExW(nullptr, target, nullptr);
  if (result == ERROR_SUCCESS) return CreateDirectoryResult::kCreated;
  SetLastError(static_cast<DWORD>(result));
  if (result == ERROR_ALREADY_EXISTS || result == ERROR_FILE_EXISTS) {
    return CreateDirectoryResult::kAlreadyExists;
  }
  return CreateDirectoryResult::kFailed;
}

void CreateDirectoryOnly(const std::wstring& path) {
  CreateDirectoryW(path.c_str(), nullptr);
}

bool PathExists(const std::wstring& path) {
  return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::wstring ExecutablePath() {
  // The count the call returns bounds the text: a path that fills the buffer comes back
  // without a terminator, so the buffer grows until the path fits with room to spare.
  std::vector<wchar_t> buffer(MAX_PATH);
  for (;;) {
    const DWORD count =
        GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
    if (count == 0) return {};
    if (count < buffer.size()) return std::wstring(buffer.data(), count);
    if (buffer.size() >= 32768) return {};
    buffer.resize(buffer.size() * 2);
  }
}

std::filesystem::path FileSystemPath(const std::wstring& path) {
  return std::filesystem::path(path);
}

bool WriteWholeFile(const std::wstring& path, std::initializer_list<std::string_view> pieces,
                    uint32_t* error) {
  // Truncated: a dump over a longer earlier file must not keep that file's tail.
  win::ScopedFileHandle file(CreateFileW(path.c_str(), GENERIC_ALL, 0, nullptr, CREATE_ALWAYS,
                                         FILE_ATTRIBUTE_NORMAL, nullptr));
  bool ok = file.valid();
  for (auto piece = pieces.begin(); ok && piece != pieces.end(); ++piece) {
    std::string_view rest = *piece;
    while (ok && !rest.empty()) {
      DWORD written = 0;
      const DWORD chunk = static_cast<DWORD>(std::min<size_t>(rest.size(), 1u << 30));
      ok = WriteFile(file.get(), rest.data(), chunk, &written, nullptr) && written > 0;
      rest.remove_prefix(written);
    }
  }
  if (ok) ok = FlushFileBuffers(file.get()) != 0;
  if (!ok && error != nullptr) *error = GetLastError();
  return ok;
}

uint32_t LastErrorCode() {
  return GetLastError();
}

}  // namespace base::os

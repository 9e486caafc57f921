#pragma once
// Files and directories the logger needs: directory creation, the executable's own path, a
// whole-file write, and the platform's error code of the last failing call.
//
// Paths are wide strings in the platform's form. Elsewhere than on Windows a '\' in a path is
// taken as a separator too, so that paths the logger joins with '\' mean the same there.
#include <cstdint>
#include <filesystem>
#include <initializer_list>
#include <string>
#include <string_view>

namespace base::os {

enum class CreateDirectoryResult { kCreated, kAlreadyExists, kFailed };

// Creates `path` with all missing parents. kAlreadyExists when `path` was already there.
CreateDirectoryResult CreateDirectoryTree(const std::wstring& path);

// Creates `path` only when its parent exists; the outcome is not reported.
void CreateDirectoryOnly(const std::wstring& path);

// True when the attributes of `path` can be read (a file or a directory is there).
bool PathExists(const std::wstring& path);

// The full path of the running executable, however long; empty when it cannot be read.
// Elsewhere than on Windows the file system's bytes are read as UTF-8.
std::wstring ExecutablePath();

// `path` for the standard library's file streams: as it stands on Windows; elsewhere its UTF-8
// bytes, whatever the C library's locale says about wide text.
std::filesystem::path FileSystemPath(const std::wstring& path);

// Writes `pieces` one after another as the whole content of the file at `path`, created when
// missing and truncated when longer, opened without sharing; then flushes it to disk.
// False, with the platform's error code in `error`, when the file cannot be opened or written.
bool WriteWholeFile(const std::wstring& path, std::initializer_list<std::string_view> pieces,
                    uint32_t* error);

// The platform's error code of the calling thread's last failing call (GetLastError, errno).
uint32_t LastErrorCode();

}  // namespace base::os

#include "src/main/host_environment.h"

#include <vector>

#include "base/os/file_system.h"
#include "base/os/output_file.h"
#include "base/os/win/scoped_resource.h"

#include <knownfolders.h>
#include <shellapi.h>
#include <shlobj.h>

namespace corvane {

std::wstring VexoraPathFromCommandLine(const wchar_t* command_line) {
  int count = 0;
  wchar_t** argv = CommandLineToArgvW(command_line, &count);
  if (argv == nullptr) return {};
  const base::win::ScopedLocalMemory owner(argv);
  return FindVexoraArgument(std::vector<std::wstring>(argv, argv + count));
}

std::wstring GetVexoraPath() {
  return VexoraPathFromCommandLine(GetCommandLineW());
}

std::wstring GetParentInstallDir() {
  // The whole path, however long: it is never cut short, so it never has to be rejected.
  const std::wstring path = base::os::ExecutablePath();
  if (path.empty()) return {};
  std::wstring parent = ParentOfExecutableDirectory(path);
  if (parent.empty()) return {};
  const DWORD attributes = GetFileAttributesW(parent.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
    return {};
  }
  return parent;
}

std::wstring ReadFileVersionString(const std::wstring& path) {
  const std::wstring kUnknown = L"0.0.0.0";
  DWORD handle = 0;
  const DWORD size = GetFileVersionInfoSizeW(path.c_str(), &handle);
  if (size == 0) return kUnknown;
  std::vector<unsigned char> info(size, 0);
  if (!GetFileVersionInfoW(path.c_str(), 0, size, info.data())) return kUnknown;
  void* record = nullptr;
  UINT record_size = 0;
  if (!VerQueryValueW(info.data(), L"\\", &record, &record_size) || record == nullptr ||
      record_size < sizeof(VS_FIXEDFILEINFO)) {
    return kUnknown;
  }
  const auto* fixed = static_cast<const VS_FIXEDFILEINFO*>(record);
  return FormatFileVersion(fixed->dwFileVersionMS, fixed->dwFileVersionLS);
}

std::wstring GetModuleVersionString() {
  return ReadFileVersionString(base::os::ExecutablePath());
}

bool PrepareLogFolder(const std::wstring& folder, std::string* why) {
  if (base::os::CreateDirectoryTree(folder) == base::os::CreateDirectoryResult::kFailed) {
    *why = base::os::ErrorText(GetLastError());
    return false;
  }
  // A folder that exists may still refuse new files (Program Files to a program that is not
  // elevated, a read-only disk): a file is made there, and removed when its handle closes.
  const std::wstring probe =
      folder + L"\\corvane-write-check." + std::to_wstring(GetCurrentProcessId()) + L".tmp";
  const base::win::ScopedFileHandle file(CreateFileW(
      probe.c_str(), GENERIC_WRITE | DELETE, 0, nullptr, CREATE_ALWAYS,
      FILE_ATTRIBUTE_TEMPORARY | FILE_ATTRIBUTE_HIDDEN | FILE_FLAG_DELETE_ON_CLOSE, nullptr));
  if (!file.valid()) {
    *why = base::os::ErrorText(GetLastError());
    return false;
  }
  return true;
}

std::wstring GetLocalAppDataDir() {
  PWSTR path = nullptr;
  const HRESULT result =
      SHGetKnownFolderPath(FOLDERID_LocalAppData, KF_FLAG_DEFAULT, nullptr, &path);
  std::wstring folder = SUCCEEDED(result) && path != nullptr ? path : L"";
  CoTaskMemFree(path);  // also after a failure, as the call's contract asks
  return folder;
}

}  // namespace corvane

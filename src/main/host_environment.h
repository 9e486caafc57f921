#pragma once
// Facts about the process's surroundings, found before the logger runs: the host client's
// install path, the log directory under it, and the executable's file version. None of these
// fail or log; a missing fact is an empty string (or "0.0.0.0" for the version).
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace corvane {

// The value of the first argument that begins with "vx=", with every leading and trailing
// quotation mark removed. Empty when there is none.
std::wstring FindVexoraArgument(const std::vector<std::wstring>& arguments);

// The directory of `path` (without its separator), or empty when `path` has no separator.
// Both '\' and '/' count.
std::wstring DirectoryOf(std::wstring_view path);

// The parent of the directory that holds `executable_path`, or empty when there is none.
std::wstring ParentOfExecutableDirectory(std::wstring_view executable_path);

// host_path + "\log", or nothing when `host_path` is empty.
std::optional<std::wstring> HostLogDirectory(const std::wstring& host_path);

// "major.minor.build.revision" from the two version words of a version resource.
std::wstring FormatFileVersion(uint32_t most_significant, uint32_t least_significant);

// Windows only: the real lookups.
#ifdef _WIN32
// FindVexoraArgument over `command_line` split by the platform's rules.
std::wstring VexoraPathFromCommandLine(const wchar_t* command_line);
std::wstring GetVexoraPath();
std::wstring GetParentInstallDir();
// The file version of the file at `path`, or "0.0.0.0".
std::wstring ReadFileVersionString(const std::wstring& path);
std::wstring GetModuleVersionString();
// Creates `folder` with its parents and a file in it, removed again; false with the system's
// words in `why` when either fails.
bool PrepareLogFolder(const std::wstring& folder, std::string* why);
// The user's local application data folder (FOLDERID_LocalAppData), or empty.
std::wstring GetLocalAppDataDir();
#endif

}  // namespace corvane

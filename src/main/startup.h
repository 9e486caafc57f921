#pragma once
// The process's ordered start and stop, as logic over the operations it needs. The process
// entry runs it on the real operations; tests run it on fakes that record the order of calls.
#include <cstdint>
#include <optional>
#include <string>

#include "src/main/launch_options.h"

namespace corvane {

class StartupOps {
 public:
  // The outcome of an optional entry point that is looked up by name.
  enum class OptionalCall { kMissing, kFailed, kSucceeded };

  virtual ~StartupOps() = default;

  // From here on an unhandled exception ends the process at once with its code, as the
  // launcher sees it, instead of a dialog or a debugger over the game. A crash-report library
  // loaded later puts its own handler in its place.
  virtual void EndProcessOnUnhandledException() = 0;

  // DPI awareness.
  virtual OptionalCall SetProcessDpiAwarenessContext(intptr_t context) = 0;  // user32, by name
  virtual bool LoadShcore() = 0;
  virtual OptionalCall SetProcessDpiAwareness(int awareness) = 0;  // shcore, by name
  virtual void FreeShcore() = 0;
  virtual void SetProcessDpiAwareLegacy() = 0;

  // Host environment.
  virtual std::wstring GetVexoraPath() = 0;
  virtual std::wstring GetParentInstallDir() = 0;
  virtual std::wstring GetModuleVersionString() = 0;
  virtual uint32_t GetProcessId() = 0;

  // Log folder. Creates `folder` with its parents and makes a file in it, removed again: true
  // when the logs can be written there; otherwise false with the system's words in `why`.
  virtual bool PrepareLogFolder(const std::wstring& folder, std::string* why) = 0;
  // The user's local application data folder (%LOCALAPPDATA%), or empty when there is none.
  virtual std::wstring GetLocalAppDataDir() = 0;

  // A crash from here on leaves a minidump in the log folder the logger ended up with.
  virtual void WriteCrashDumpsInto(const std::wstring& log_dir) = 0;

  // Crash-report library.
  virtual void LoadCrashReportHelper(const std::wstring& version) = 0;
  virtual void UnloadCrashReportHelper() = 0;

  // Drawing and the overlay application.
  virtual bool StartupGdiplus() = 0;
  virtual void ShutdownGdiplus() = 0;
  virtual void CreateApp() = 0;
  virtual bool InitApp(const LaunchArgs& args) = 0;
  virtual int RunApp() = 0;
  virtual void ShutdownApp() = 0;
  virtual void DestroyApp() = 0;
};

// Where the logs go. The host's folder (host path + "\log") when it can be written; otherwise
// the user's own folder under local application data, with the reason kept for the first
// records; without a host path, the logger's default folder beside the executable. Once the
// logger runs, its GetLogDir() names the folder it settled on in every case.
struct LogFolder {
  std::optional<std::wstring> path;  // none: the logger's default
  std::string why_not_host;          // empty when the host's folder (or the default) is used
};

// <local application data>\Corvane\log
std::wstring UserLogDirectory(const std::wstring& local_app_data);

LogFolder ChooseLogFolder(const std::wstring& host_path, StartupOps& ops);

inline constexpr intptr_t kDpiAwarenessContextPerMonitorV2 = -4;
inline constexpr int kProcessPerMonitorDpiAware = 2;

// Declares the process DPI-aware; the first call that succeeds wins.
void MakeProcessDpiAware(StartupOps& ops);

// The whole life of the process; returns its exit code: the main loop's (0), or 1 when
// start-up fails. `command_line` is the text after the program name and may be null.
int RunProcess(const wchar_t* command_line, StartupOps& ops);

}  // namespace corvane

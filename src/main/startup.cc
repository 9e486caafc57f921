#include "src/main/startup.h"

#include <optional>

#include <fmt/format.h>

#include "base/log/log_record.h"
#include "base/strings/utf.h"
#include "src/main/host_environment.h"

namespace corvane {
namespace {

constexpr char kLogSource[] = "src/main";
constexpr int kExitStartupFailed = 1;

void StartLogger(base::ILogger* logger, const std::optional<std::wstring>& log_dir) {
  if (logger == nullptr) return;
  // Without a directory the logger picks its default one beside the executable.
  logger->Init(/*timestamp_in_name=*/true, L"corvane", log_dir ? log_dir->c_str() : nullptr,
               /*prefix=*/L"app", /*subdir=*/L"", /*synchronous=*/false, /*encrypt=*/true,
               /*mem_log=*/true, /*reserved_size=*/10485760, /*reserved_count=*/48);
  logger->SetLevel(base::kLogInfo);
}

// Creates, starts and runs the overlay; returns the exit code. The caller destroys the app.
int RunOverlay(const LaunchArgs& args, StartupOps& ops) {
  if (!ops.StartupGdiplus()) {
    LOG_ERROR("Failed to initialize GDI+");
    return kExitStartupFailed;
  }
  if (!ops.InitApp(args)) {
    // Shutdown is not called for an app whose Init failed: its destructor releases the rest.
    LOG_ERROR("Failed to initialize OverlayApp");
    ops.ShutdownGdiplus();
    return kExitStartupFailed;
  }
  const int exit_code = ops.RunApp();
  ops.ShutdownApp();
  ops.ShutdownGdiplus();
  LOG_NOTICE("Corvane exit with code {}", exit_code);
  return exit_code;
}

}  // namespace

std::wstring UserLogDirectory(const std::wstring& local_app_data) {
  return local_app_data + L"\\Corvane\\log";
}

LogFolder ChooseLogFolder(const std::wstring& host_path, StartupOps& ops) {
  const std::optional<std::wstring> host_folder = HostLogDirectory(host_path);
  if (!host_folder) return {};
  std::string why;
  if (ops.PrepareLogFolder(*host_folder, &why)) return {host_folder, {}};
  // Under Program Files a program that is not elevated cannot write, and a 64-bit one is not
  // redirected: its logs would be lost without a word.
  std::string reason = fmt::format("the host's log folder {} cannot be written ({})",
                                   base::WideToUtf8(*host_folder), why);
  const std::wstring local_app_data = ops.GetLocalAppDataDir();
  if (local_app_data.empty()) {
    reason += "; there is no local application data folder either";
    return {host_folder, reason};
  }
  const std::wstring user_folder = UserLogDirectory(local_app_data);
  std::string user_why;
  if (ops.PrepareLogFolder(user_folder, &user_why)) return {user_folder, reason};
  reason += fmt::format("; nor can {} ({})", base::WideToUtf8(user_folder), user_why);
  return {host_folder, reason};
}

void MakeProcessDpiAware(StartupOps& ops) {
  if (ops.SetProcessDpiAwarenessContext(kDpiAwarenessContextPerMonitorV2) ==
      StartupOps::OptionalCall::kSucceeded) {
    return;
  }
  const bool shcore_loaded = ops.LoadShcore();
  if (shcore_loaded && ops.SetProcessDpiAwareness(kProcessPerMonitorDpiAware) ==
                           StartupOps::OptionalCall::kSucceeded) {
    ops.FreeShcore();
    return;
  }
  ops.SetProcessDpiAwareLegacy();
  if (shcore_loaded) ops.FreeShcore();
}

int RunProcess(const wchar_t* command_line, StartupOps& ops) {
  ops.EndProcessOnUnhandledException();
  // DPI awareness must be declared before any window exists.
  MakeProcessDpiAware(ops);

  std::wstring host_path = ops.GetVexoraPath();
  if (host_path.empty()) host_path = ops.GetParentInstallDir();
  // The one place that decides where the logs (and anything written beside them) go.
  const LogFolder log_folder = ChooseLogFolder(host_path, ops);
  base::ILogger* logger = base::GetLogger();
  StartLogger(logger, log_folder.path);

  const std::wstring version = ops.GetModuleVersionString();
  const std::wstring command_line_copy = command_line != nullptr ? command_line : L"";
  LOG_NOTICE("Corvane starting, version={}, pid={}, cmdline=[{}]", base::WideToUtf8(version),
             ops.GetProcessId(), base::WideToUtf8(command_line_copy));
  // Named again in the logger's own records: a disk that is full at the start loses this one.
  if (logger != nullptr) {
    logger->SetWriter(
        fmt::format("Corvane version={}, pid={}", base::WideToUtf8(version), ops.GetProcessId()));
  }
  if (!host_path.empty()) LOG_NOTICE("[boot] vexora_path={}", base::WideToUtf8(host_path));
  if (!log_folder.why_not_host.empty()) {
    LOG_WARNING("[boot] {}; the logs are in {}", log_folder.why_not_host,
                base::WideToUtf8(log_folder.path.value_or(L"")));
  }

  // Minidumps go to the folder the logger ended up with. Set up after the start records, which
  // are a run's first.
  if (logger != nullptr) ops.WriteCrashDumpsInto(logger->GetLogDir());
  // A crash-report library's own crash handler takes the place of this program's.
  ops.LoadCrashReportHelper(version);

  const LaunchArgs args = ParseLaunchArgs(command_line_copy);
  int exit_code = kExitStartupFailed;
  bool app_created = false;
  if (args.game_window == 0) {
    LOG_ERROR("Missing --hwnd argument");
  } else {
    ops.CreateApp();
    app_created = true;
    exit_code = RunOverlay(args, ops);
  }

  // The crash library goes before the logger, so its records can still be written; the app
  // object goes last, after the logger, so nothing its destructor might log is written.
  ops.UnloadCrashReportHelper();
  if (logger != nullptr) logger->Uninit();
  if (app_created) ops.DestroyApp();
  return exit_code;
}

}  // namespace corvane

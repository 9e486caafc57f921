// Process entry of Corvane.exe: wires the real Windows operations into the start-up sequence.
#include "base/os/win/scoped_resource.h"

#include <optional>

#include "src/app/overlay_app.h"
#include "src/app/win32_overlay_platform.h"
#include "src/main/crash_report_helper.h"
#include "src/main/host_environment.h"
#include "src/main/startup.h"
#include "src/window/overlay_window.h"

namespace corvane {
namespace {

using base::win::ProcedureAs;

class Win32StartupOps final : public StartupOps {
 public:
  void EndProcessOnUnhandledException() override { corvane::EndProcessOnUnhandledException(); }

  OptionalCall SetProcessDpiAwarenessContext(intptr_t context) override {
    HMODULE user32 = GetModuleHandleW(L"user32.dll");  // already loaded; never loaded here
    if (user32 == nullptr) return OptionalCall::kMissing;
    auto set_context =
        ProcedureAs<BOOL(WINAPI*)(HANDLE)>(GetProcAddress(user32, "SetProcessDpiAwarenessContext"));
    if (set_context == nullptr) return OptionalCall::kMissing;
    return set_context(reinterpret_cast<HANDLE>(context)) ? OptionalCall::kSucceeded
                                                          : OptionalCall::kFailed;
  }

  bool LoadShcore() override {
    shcore_.reset(LoadLibraryW(L"shcore.dll"));
    return shcore_.valid();
  }

  OptionalCall SetProcessDpiAwareness(int awareness) override {
    auto set_awareness =
        ProcedureAs<HRESULT(WINAPI*)(int)>(GetProcAddress(shcore_.get(), "SetProcessDpiAwareness"));
    if (set_awareness == nullptr) return OptionalCall::kMissing;
    return SUCCEEDED(set_awareness(awareness)) ? OptionalCall::kSucceeded : OptionalCall::kFailed;
  }

  void FreeShcore() override { shcore_.reset(); }
  void SetProcessDpiAwareLegacy() override { SetProcessDPIAware(); }

  std::wstring GetVexoraPath() override { return corvane::GetVexoraPath(); }
  std::wstring GetParentInstallDir() override { return corvane::GetParentInstallDir(); }
  std::wstring GetModuleVersionString() override { return corvane::GetModuleVersionString(); }
  uint32_t GetProcessId() override { return GetCurrentProcessId(); }
  bool PrepareLogFolder(const std::wstring& folder, std::string* why) override {
    return corvane::PrepareLogFolder(folder, why);
  }
  std::wstring GetLocalAppDataDir() override { return corvane::GetLocalAppDataDir(); }

  void WriteCrashDumpsInto(const std::wstring& log_dir) override {
    corvane::WriteCrashDumpsInto(log_dir);
  }
  void LoadCrashReportHelper(const std::wstring& version) override {
    corvane::LoadCrashReportHelper(version);
  }
  void UnloadCrashReportHelper() override { corvane::UnloadCrashReportHelper(); }

  bool StartupGdiplus() override { return OverlayWindow::StartupGdiplus(); }
  void ShutdownGdiplus() override { OverlayWindow::ShutdownGdiplus(); }

  // The application and the platform it runs on are made together and go together; the
  // platform is made first, so it outlives the application.
  void CreateApp() override { app_.emplace(); }
  bool InitApp(const LaunchArgs& args) override { return app_->app.Init(args); }
  int RunApp() override { return app_->app.Run(); }
  void ShutdownApp() override { app_->app.Shutdown(); }
  void DestroyApp() override { app_.reset(); }

 private:
  struct Application {
    Win32OverlayPlatform platform;
    OverlayApp app{platform};
  };

  base::win::ScopedModule shcore_;
  std::optional<Application> app_;
};

}  // namespace
}  // namespace corvane

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR command_line, int) {
  corvane::Win32StartupOps ops;
  return corvane::RunProcess(command_line, ops);
}

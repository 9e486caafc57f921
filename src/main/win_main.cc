// Process entry of Corvane.exe: wires the real Windows operations into the start-up sequence.
#include "base/os/win/scoped_resource.h"

#include "src/main/crash_report_helper.h"
#include "src/main/host_environment.h"
#include "src/main/startup.h"
#include "src/window/overlay_window.h"
#include "base/os/debug_output.h"

namespace corvane {
namespace {

using base::win::ProcedureAs;

class Win32StartupOps final : public StartupOps {
 public:
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

  void LoadCrashReportHelper(const std::wstring& version) override {
    corvane::LoadCrashReportHelper(version);
  }
  void UnloadCrashReportHelper() override { corvane::UnloadCrashReportHelper(); }

  bool StartupGdiplus() override { return OverlayWindow::StartupGdiplus(); }
  void ShutdownGdiplus() override { OverlayWindow::ShutdownGdiplus(); }

  // The overlay application is not part of this build yet: Init reports that it cannot run,
  // so a usable --hwnd still ends in the start-up failure path with exit code 1.
  void CreateApp() override {}
  bool InitApp(const LaunchArgs&) override {
    base::os::WriteDebugOutput("Corvane: the overlay application is not available in this build");
    return false;
  }
  int RunApp() override { return 0; }
  void ShutdownApp() override {}
  void DestroyApp() override {}

 private:
  base::win::ScopedModule shcore_;
};

}  // namespace
}  // namespace corvane

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR command_line, int) {
  corvane::Win32StartupOps ops;
  return corvane::RunProcess(command_line, ops);
}

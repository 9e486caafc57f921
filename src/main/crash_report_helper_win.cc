#include "src/main/crash_report_helper.h"

#include <csignal>

#include "base/os/file_system.h"
#include "base/os/win/windows_types.h"
#include "src/main/host_environment.h"

namespace corvane {
namespace {

class Win32CrashLibraryOps final : public CrashLibraryOps {
 public:
  std::wstring ExecutablePath() override { return base::os::ExecutablePath(); }

  void* LoadLibraryAt(const std::wstring& path, uint32_t* error) override {
    HMODULE module = LoadLibraryW(path.c_str());
    if (module == nullptr) *error = GetLastError();
    return module;
  }

  void* FindExport(void* module, const char* name) override {
    return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(module), name));
  }

  void FreeLibraryModule(void* module) override { FreeLibrary(static_cast<HMODULE>(module)); }
};

// The process ends here, on the thread that crashed, once its minidump is written: no dialog,
// no debugger, and nothing more of a program in an unknown state runs (no destructors, no exit
// handlers).
LONG WINAPI EndProcessWithExceptionCode(EXCEPTION_POINTERS* exception) {
  WriteCrashDump(exception);
  const DWORD code = exception != nullptr && exception->ExceptionRecord != nullptr
                         ? exception->ExceptionRecord->ExceptionCode
                         : 1;
  TerminateProcess(GetCurrentProcess(), code);
  return EXCEPTION_EXECUTE_HANDLER;
}

// The C library's abort would otherwise show its own message box in a program without a
// console.
void EndProcessOnAbort(int) {
  WriteCrashDump(nullptr);
  TerminateProcess(GetCurrentProcess(), 3);
}

// Touched by the start-up thread only: loaded once at start, unloaded once at exit.
CrashReportHelper& ProcessCrashHelper() {
  static Win32CrashLibraryOps ops;
  static CrashReportHelper helper(ops);
  return helper;
}

}  // namespace

std::wstring ResolveCrashDllPath() {
  return ProcessCrashHelper().ResolveDllPath();
}

void LoadCrashReportHelper(const std::wstring& version) {
  ProcessCrashHelper().Load(version);
}

void UnloadCrashReportHelper() {
  ProcessCrashHelper().Unload();
}

void EndProcessOnUnhandledException() {
  SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX | SEM_NOOPENFILEERRORBOX);
  SetUnhandledExceptionFilter(EndProcessWithExceptionCode);
  std::signal(SIGABRT, EndProcessOnAbort);
}

}  // namespace corvane

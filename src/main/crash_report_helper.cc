#include "src/main/crash_report_helper.h"

#include "base/log/log_record.h"
#include "base/strings/utf.h"
#include "src/main/host_environment.h"

namespace corvane {
namespace {
constexpr char kLogSource[] = "src/main";
}

CrashHelperConfig MakeCrashHelperConfig(const char16_t* version) {
  CrashHelperConfig config;
  config.app_name = kCrashHelperAppName;
  config.version = version;
  config.value_240 = kCrashHelperValue240;
  return config;
}

std::wstring CrashDllPathFor(std::wstring_view executable_path) {
  const size_t cut = executable_path.find_last_of(L"\\/");
  if (cut == std::wstring_view::npos) return {};
  return std::wstring(executable_path.substr(0, cut)) + L"\\..\\crash_x64\\crash_report_helper.dll";
}

void CrashReportHelper::Load(std::wstring_view version) {
  const std::wstring path = ResolveDllPath();
  if (path.empty()) {
    LOG_WARNING("[crash] cannot resolve crash dll path");
    return;
  }
  uint32_t error = 0;
  module_ = ops_.LoadLibraryAt(path, &error);
  if (module_ == nullptr) {
    LOG_WARNING("[crash] LoadLibrary failed, gle={}, path={}", error, base::WideToUtf8(path));
    return;
  }

  auto* init =
      reinterpret_cast<InitCrashReportHelperFn>(ops_.FindExport(module_, "InitCrashReportHelper"));
  uninit_ = reinterpret_cast<UninitCrashReportHelperFn>(
      ops_.FindExport(module_, "UninitCrashReportHelper"));
  if (init == nullptr || uninit_ == nullptr) {
    LOG_WARNING("[crash] GetProcAddress failed, init={}, uninit={}",
                reinterpret_cast<const void*>(init), reinterpret_cast<const void*>(uninit_));
    Reset();
    return;
  }

  version_ = base::WideToUtf16(version);
  CrashHelperConfig config = MakeCrashHelperConfig(version_.c_str());
  const int32_t rc = init(&config);
  if (rc != 0) {
    LOG_WARNING("[crash] InitCrashReportHelper failed, rc={}", rc);
    Reset();
    return;
  }
  LOG_NOTICE("[crash] InitCrashReportHelper success, dll={}", base::WideToUtf8(path));
}

void CrashReportHelper::Unload() {
  if (uninit_ != nullptr) {
    uninit_();
    uninit_ = nullptr;
  }
  if (module_ != nullptr) {
    ops_.FreeLibraryModule(module_);
    module_ = nullptr;
  }
}

void CrashReportHelper::Reset() {
  uninit_ = nullptr;  // never called: the library was not initialised
  Unload();
}

}  // namespace corvane

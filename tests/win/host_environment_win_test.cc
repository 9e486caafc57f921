// Host path, parent install directory, version resource and application manifest through the
// real Win32 calls.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/os/file_system.h"
#include "src/main/host_environment.h"
#include "tests/win/win_test_paths.h"

namespace {

using corvane::VexoraPathFromCommandLine;
using corvane::testing::BuildDirectory;

TEST(VexoraPathWinTest, SplitByThePlatformsRules) {
  EXPECT_EQ(VexoraPathFromCommandLine(L"app.exe --hwnd 1A2B vx=D:\\Games\\Host"),
            L"D:\\Games\\Host");
  EXPECT_EQ(VexoraPathFromCommandLine(L"app.exe \"vx=D:\\Program Files\\Host\""),
            L"D:\\Program Files\\Host");
  // Escaped quotes end up in the value and are removed at both ends.
  EXPECT_EQ(VexoraPathFromCommandLine(L"app.exe vx=\\\"D:\\Games\\Host\\\""), L"D:\\Games\\Host");
  EXPECT_EQ(VexoraPathFromCommandLine(L"app.exe vx= --hwnd 1"), L"");
  EXPECT_EQ(VexoraPathFromCommandLine(L"app.exe xvx=D:\\ VX=E:\\"), L"");
  EXPECT_EQ(VexoraPathFromCommandLine(L"app.exe vx=A vx=B"), L"A");
  EXPECT_EQ(VexoraPathFromCommandLine(L"app.exe --path=vx=A"), L"");
}

TEST(VexoraPathWinTest, ThisProcessHasNone) {
  EXPECT_EQ(corvane::GetVexoraPath(), L"");
}

TEST(ParentInstallDirWinTest, ParentOfTheExecutablesDirectory) {
  const std::wstring exe = base::os::ExecutablePath();
  ASSERT_FALSE(exe.empty());
  const std::wstring expected = corvane::ParentOfExecutableDirectory(exe);
  ASSERT_FALSE(expected.empty());
  EXPECT_EQ(corvane::GetParentInstallDir(), expected);
}

TEST(VersionWinTest, OwnVersionResource) {
  EXPECT_EQ(corvane::GetModuleVersionString(), L"1.2.3.4");
}

TEST(VersionWinTest, OverlayExecutableCarriesTheProjectVersion) {
  const std::wstring build = BuildDirectory();
  ASSERT_FALSE(build.empty()) << "CORVANE_BUILD_DIR is not set";
  const std::wstring expected = corvane::testing::EnvironmentValue(L"CORVANE_PROJECT_VERSION");
  ASSERT_FALSE(expected.empty());
  EXPECT_EQ(corvane::ReadFileVersionString(build + L"\\bin\\Corvane.exe"), expected);
}

TEST(VersionWinTest, NoResourceOrNoFileGivesZeros) {
  const std::wstring build = BuildDirectory();
  ASSERT_FALSE(build.empty());
  EXPECT_EQ(corvane::ReadFileVersionString(build +
                                           L"\\test_crash_helpers\\full\\crash_report_helper.dll"),
            L"0.0.0.0");
  EXPECT_EQ(corvane::ReadFileVersionString(build + L"\\no such file.exe"), L"0.0.0.0");
  EXPECT_EQ(corvane::ReadFileVersionString(L""), L"0.0.0.0");
}

// The text of a program's application manifest (RT_MANIFEST, id 1); empty when it has none.
std::string ManifestOf(const std::wstring& program) {
  const HMODULE module = LoadLibraryExW(program.c_str(), nullptr,
                                        LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
  if (module == nullptr) return {};
  std::string text;
  if (HRSRC found = FindResourceW(module, MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(24))) {
    if (HGLOBAL loaded = LoadResource(module, found)) {
      text.assign(static_cast<const char*>(LockResource(loaded)), SizeofResource(module, found));
    }
  }
  FreeLibrary(module);
  return text;
}

// A setting of the program's manifest as the system's own reader of manifests takes it (an
// activation context made from it); empty when it cannot make one or has no such setting.
std::wstring ManifestSetting(const std::wstring& program, const wchar_t* space,
                             const wchar_t* name) {
  ACTCTXW context{};
  context.cbSize = sizeof(context);
  context.dwFlags = ACTCTX_FLAG_RESOURCE_NAME_VALID;
  context.lpSource = program.c_str();
  context.lpResourceName = MAKEINTRESOURCEW(1);
  const HANDLE handle = CreateActCtxW(&context);
  if (handle == INVALID_HANDLE_VALUE) return {};
  wchar_t value[128] = {};
  SIZE_T written = 0;
  std::wstring setting;
  if (QueryActCtxSettingsW(0, handle, space, name, value, 128, &written)) setting = value;
  ReleaseActCtx(handle);
  return setting;
}

TEST(ManifestWinTest, EveryProgramIsPerMonitorDpiAwareAndMadeForWindows10) {
  const std::wstring build = BuildDirectory();
  ASSERT_FALSE(build.empty());
  const std::vector<std::wstring> programs = {L"\\bin\\Corvane.exe",
                                              L"\\bin\\corvane-inspect.exe",
                                              L"\\bin\\corvane-feed.exe",
                                              L"\\bin\\corvane-demo-game.exe",
                                              L"\\tools\\logcat\\corvane-logcat.exe",
                                              L"\\tools\\keygen\\corvane-keygen.exe"};
  for (const std::wstring& program : programs) {
    const std::wstring path = build + program;
    SCOPED_TRACE(std::string(program.begin(), program.end()));
    const std::string manifest = ManifestOf(path);
    ASSERT_FALSE(manifest.empty());
    // Windows 10 and 11 as a supported system, and never a request for elevation.
    EXPECT_NE(manifest.find(R"(<supportedOS Id="{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}"/>)"),
              std::string::npos);
    EXPECT_NE(manifest.find(R"(level="asInvoker")"), std::string::npos);
    EXPECT_EQ(ManifestSetting(path, L"http://schemas.microsoft.com/SMI/2016/WindowsSettings",
                              L"dpiAwareness"),
              L"PerMonitorV2, PerMonitor");
    EXPECT_EQ(ManifestSetting(path, L"http://schemas.microsoft.com/SMI/2005/WindowsSettings",
                              L"dpiAware"),
              L"true/pm");
  }
}

}  // namespace

// Host path, parent install directory and version resource through the real Win32 calls.
#include <gtest/gtest.h>

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

}  // namespace

// Loading the crash-report library from <exe dir>\..\crash_x64 with the real Win32 calls and
// the test stand-in library, which notes its calls in a file.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "base/strings/utf.h"
#include "src/main/crash_report_helper.h"
#include "tests/support/test_logger.h"
#include "tests/win/win_test_paths.h"

namespace {

using corvane::testing::BuildDirectory;
using corvane::testing::ScopedLoggerReplacement;
using corvane::testing::TestExecutableDirectory;
using corvane::testing::TestLogger;

constexpr wchar_t kDllName[] = L"crash_report_helper.dll";

class CrashReportHelperWinTest : public ::testing::Test {
 protected:
  void SetUp() override {
    logger_.lowest_enabled = base::kLogTrace;
    crash_dir_ = TestExecutableDirectory() + L"\\..\\crash_x64";
    CreateDirectoryW(crash_dir_.c_str(), nullptr);
    dll_path_ = crash_dir_ + L"\\" + kDllName;
    calls_path_ = crash_dir_ + L"\\calls.txt";
    DeleteFileW(dll_path_.c_str());
    DeleteFileW(calls_path_.c_str());
    SetEnvironmentVariableW(L"CORVANE_TEST_CRASH_LOG", calls_path_.c_str());
    SetEnvironmentVariableW(L"CORVANE_TEST_CRASH_RC", nullptr);
  }

  void TearDown() override {
    corvane::UnloadCrashReportHelper();
    EXPECT_EQ(GetModuleHandleW(kDllName), nullptr) << "the library was left loaded";
    DeleteFileW(dll_path_.c_str());
    DeleteFileW(calls_path_.c_str());
  }

  void InstallVariant(const wchar_t* variant) {
    const std::wstring build = BuildDirectory();
    ASSERT_FALSE(build.empty()) << "CORVANE_BUILD_DIR is not set";
    const std::wstring source = build + L"\\test_crash_helpers\\" + variant + L"\\" + kDllName;
    ASSERT_TRUE(CopyFileW(source.c_str(), dll_path_.c_str(), FALSE)) << base::WideToUtf8(source);
  }

  std::vector<std::string> LibraryCalls() const {
    std::ifstream file(base::WideToUtf8(calls_path_));
    std::vector<std::string> lines;
    for (std::string line; std::getline(file, line);) lines.push_back(line);
    return lines;
  }

  std::string ExpectedPath() const {
    return base::WideToUtf8(TestExecutableDirectory()) + "\\..\\crash_x64\\crash_report_helper.dll";
  }

  TestLogger logger_;
  ScopedLoggerReplacement replace_{&logger_};
  std::wstring crash_dir_, dll_path_, calls_path_;
};

TEST_F(CrashReportHelperWinTest, PathIsBesideTheExecutablesDirectory) {
  EXPECT_EQ(base::WideToUtf8(corvane::ResolveCrashDllPath()), ExpectedPath());
}

TEST_F(CrashReportHelperWinTest, MissingLibraryIsOneWarningWithTheErrorCode) {
  corvane::LoadCrashReportHelper(L"1.2.3.4");
  EXPECT_EQ(
      logger_.Texts(base::kLogWarning),
      std::vector<std::string>{"[crash] LoadLibrary failed, gle=" +
                               std::to_string(ERROR_MOD_NOT_FOUND) + ", path=" + ExpectedPath()});
  EXPECT_EQ(logger_.records.size(), 1u);
  corvane::UnloadCrashReportHelper();
  EXPECT_TRUE(LibraryCalls().empty());
}

TEST_F(CrashReportHelperWinTest, MissingUninitExportFreesTheLibrary) {
  InstallVariant(L"init_only");
  corvane::LoadCrashReportHelper(L"1.2.3.4");
  const auto warnings = logger_.Texts(base::kLogWarning);
  ASSERT_EQ(warnings.size(), 1u);
  EXPECT_EQ(warnings[0].rfind("[crash] GetProcAddress failed, init=0x", 0), 0u) << warnings[0];
  EXPECT_NE(warnings[0].find("init=0x"), std::string::npos);
  EXPECT_EQ(warnings[0].substr(warnings[0].size() - 10), "uninit=0x0");
  EXPECT_EQ(warnings[0].find("init=0x0,"), std::string::npos);
  EXPECT_EQ(GetModuleHandleW(kDllName), nullptr);
  corvane::UnloadCrashReportHelper();
  EXPECT_TRUE(LibraryCalls().empty());
}

TEST_F(CrashReportHelperWinTest, FailingInitIsFreedAndNeverUninitialised) {
  InstallVariant(L"full");
  SetEnvironmentVariableW(L"CORVANE_TEST_CRASH_RC", L"5");
  corvane::LoadCrashReportHelper(L"1.2.3.4");
  EXPECT_EQ(logger_.Texts(base::kLogWarning),
            std::vector<std::string>{"[crash] InitCrashReportHelper failed, rc=5"});
  EXPECT_EQ(GetModuleHandleW(kDllName), nullptr);
  corvane::UnloadCrashReportHelper();
  const auto calls = LibraryCalls();
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_EQ(calls[0].rfind("init ", 0), 0u);
}

TEST_F(CrashReportHelperWinTest, SuccessInitialisesOnceAndUninitialisesOnce) {
  InstallVariant(L"full");
  corvane::LoadCrashReportHelper(L"9.8.7.6");
  EXPECT_TRUE(logger_.Texts(base::kLogWarning).empty());
  EXPECT_EQ(
      logger_.Texts(base::kLogNotice),
      std::vector<std::string>{"[crash] InitCrashReportHelper success, dll=" + ExpectedPath()});
  EXPECT_NE(GetModuleHandleW(kDllName), nullptr);

  corvane::UnloadCrashReportHelper();
  EXPECT_EQ(GetModuleHandleW(kDllName), nullptr);
  corvane::UnloadCrashReportHelper();  // nothing left: no second uninit
  EXPECT_EQ(LibraryCalls(),
            (std::vector<std::string>{
                "init size=248 app=corvane version=9.8.7.6 v76=8191 v96=0 v200=11 v204=4 "
                "v208=10000001 v216=0 v224=0 v232=4 v240=1 reserved_zero=1",
                "uninit"}));
}

}  // namespace

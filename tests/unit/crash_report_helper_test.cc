// Loading the crash-report library, over fake module operations; the names of the minidumps a
// crash leaves, and which of them are kept.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <map>

#include "src/main/crash_dump.h"
#include "src/main/crash_report_helper.h"
#include "tests/support/test_logger.h"

namespace {

using corvane::CrashDllPathFor;
using corvane::CrashHelperConfig;
using corvane::CrashLibraryOps;
using corvane::CrashReportHelper;
using corvane::testing::ScopedLoggerReplacement;
using corvane::testing::TestLogger;

// What the fake library's entry points saw; reset by each test.
struct LibraryCalls {
  int init = 0;
  int uninit = 0;
  int32_t init_result = 0;
  unsigned char config[sizeof(CrashHelperConfig)] = {};
  std::u16string version;
} g_calls;

int32_t FakeInit(CrashHelperConfig* config) {
  ++g_calls.init;
  std::memcpy(g_calls.config, config, sizeof *config);
  g_calls.version = config->version;
  return g_calls.init_result;
}

void FakeUninit() {
  ++g_calls.uninit;
}

class FakeLibraryOps final : public CrashLibraryOps {
 public:
  std::wstring ExecutablePath() override { return executable_path; }
  void* LoadLibraryAt(const std::wstring& path, uint32_t* error) override {
    loaded_path = path;
    if (!library_present) {
      *error = 126;
      return nullptr;
    }
    ++loads;
    return &module_token;
  }
  void* FindExport(void* module, const char* name) override {
    EXPECT_EQ(module, &module_token);
    auto it = exports.find(name);
    return it == exports.end() ? nullptr : it->second;
  }
  void FreeLibraryModule(void* module) override {
    EXPECT_EQ(module, &module_token);
    ++frees;
  }

  std::wstring executable_path = L"D:\\Games\\Host\\overlay\\app.exe";
  bool library_present = true;
  std::map<std::string, void*> exports = {
      {"InitCrashReportHelper", reinterpret_cast<void*>(&FakeInit)},
      {"UninitCrashReportHelper", reinterpret_cast<void*>(&FakeUninit)},
  };
  std::wstring loaded_path;
  int loads = 0;
  int frees = 0;

 private:
  int module_token = 0;
};

class CrashReportHelperTest : public ::testing::Test {
 protected:
  void SetUp() override {
    g_calls = LibraryCalls{};
    logger_.lowest_enabled = base::kLogTrace;
  }

  TestLogger logger_;
  ScopedLoggerReplacement replace_{&logger_};
  FakeLibraryOps ops_;
  CrashReportHelper helper_{ops_};
};

TEST(CrashDllPathTest, BesideTheExecutablesDirectoryNotNormalised) {
  EXPECT_EQ(CrashDllPathFor(L"D:\\Games\\Host\\overlay\\app.exe"),
            L"D:\\Games\\Host\\overlay\\..\\crash_x64\\crash_report_helper.dll");
  EXPECT_EQ(CrashDllPathFor(L"C:/x/app.exe"), L"C:/x\\..\\crash_x64\\crash_report_helper.dll");
  EXPECT_EQ(CrashDllPathFor(L"app.exe"), L"");
  EXPECT_EQ(CrashDllPathFor(L""), L"");
}

TEST(CrashHelperConfigTest, FixedValues) {
  const char16_t version[] = u"1.2.3.4";
  const CrashHelperConfig config = corvane::MakeCrashHelperConfig(version);
  EXPECT_EQ(config.size, 248);
  EXPECT_EQ(std::u16string(config.app_name), u"corvane");
  EXPECT_EQ(config.version, version);
  EXPECT_EQ(config.value_76, 8191u);
  EXPECT_EQ(config.value_96, 0u);
  EXPECT_EQ(config.value_200, 11u);
  EXPECT_EQ(config.value_204, 4u);
  EXPECT_EQ(config.value_208, 10000001u);
  EXPECT_EQ(config.value_216, 0u);
  EXPECT_EQ(config.value_224, 0u);
  EXPECT_EQ(config.value_232, 4u);
  EXPECT_EQ(std::u16string(config.value_240), u"1");
}

TEST_F(CrashReportHelperTest, SuccessInitialisesOnceAndUninitialisesOnceAtUnload) {
  helper_.Load(L"1.2.3.4");
  EXPECT_EQ(ops_.loaded_path, L"D:\\Games\\Host\\overlay\\..\\crash_x64\\crash_report_helper.dll");
  EXPECT_TRUE(helper_.active());
  EXPECT_EQ(g_calls.init, 1);
  EXPECT_EQ(g_calls.version, u"1.2.3.4");
  EXPECT_EQ(logger_.Texts(base::kLogNotice),
            std::vector<std::string>{"[crash] InitCrashReportHelper success, dll=D:\\Games\\Host\\"
                                     "overlay\\..\\crash_x64\\crash_report_helper.dll"});
  EXPECT_TRUE(logger_.Texts(base::kLogWarning).empty());

  helper_.Unload();
  EXPECT_EQ(g_calls.uninit, 1);
  EXPECT_EQ(ops_.frees, 1);
  EXPECT_FALSE(helper_.active());
  helper_.Unload();  // nothing left to release
  EXPECT_EQ(g_calls.uninit, 1);
  EXPECT_EQ(ops_.frees, 1);
}

TEST_F(CrashReportHelperTest, NoSeparatorInTheExecutablePath) {
  ops_.executable_path = L"app.exe";
  helper_.Load(L"1.0.0.0");
  EXPECT_EQ(logger_.Texts(base::kLogWarning),
            std::vector<std::string>{"[crash] cannot resolve crash dll path"});
  EXPECT_EQ(ops_.loads, 0);
  EXPECT_TRUE(ops_.loaded_path.empty());
}

TEST_F(CrashReportHelperTest, MissingLibrary) {
  ops_.library_present = false;
  helper_.Load(L"1.0.0.0");
  EXPECT_EQ(logger_.Texts(base::kLogWarning),
            std::vector<std::string>{"[crash] LoadLibrary failed, gle=126, path=D:\\Games\\Host\\"
                                     "overlay\\..\\crash_x64\\crash_report_helper.dll"});
  EXPECT_FALSE(helper_.active());
  helper_.Unload();
  EXPECT_EQ(ops_.frees, 0);
}

TEST_F(CrashReportHelperTest, MissingExportFreesTheLibrary) {
  ops_.exports.erase("UninitCrashReportHelper");
  helper_.Load(L"1.0.0.0");
  const auto warnings = logger_.Texts(base::kLogWarning);
  ASSERT_EQ(warnings.size(), 1u);
  EXPECT_EQ(warnings[0], fmt::format("[crash] GetProcAddress failed, init={}, uninit=0x0",
                                     reinterpret_cast<const void*>(&FakeInit)));
  EXPECT_EQ(g_calls.init, 0);
  EXPECT_EQ(ops_.frees, 1);
  helper_.Unload();
  EXPECT_EQ(ops_.frees, 1);
  EXPECT_EQ(g_calls.uninit, 0);
}

TEST_F(CrashReportHelperTest, FailedInitFreesAndNeverUninitialises) {
  g_calls.init_result = 5;
  helper_.Load(L"1.0.0.0");
  EXPECT_EQ(logger_.Texts(base::kLogWarning),
            std::vector<std::string>{"[crash] InitCrashReportHelper failed, rc=5"});
  EXPECT_EQ(g_calls.init, 1);
  EXPECT_EQ(ops_.frees, 1);
  EXPECT_FALSE(helper_.active());
  helper_.Unload();
  EXPECT_EQ(g_calls.uninit, 0);
  EXPECT_EQ(ops_.frees, 1);
}

TEST_F(CrashReportHelperTest, NegativeInitResultIsSigned) {
  g_calls.init_result = -2;
  helper_.Load(L"1.0.0.0");
  EXPECT_EQ(logger_.Texts(base::kLogWarning),
            std::vector<std::string>{"[crash] InitCrashReportHelper failed, rc=-2"});
}

TEST(CrashDumpTest, NamesSortByTimeAndNeverOverflow) {
  wchar_t name[96];
  ASSERT_TRUE(corvane::FormatCrashDumpName({2026, 12, 9, 7, 5, 3, 42}, 4242, name, 96));
  EXPECT_EQ(std::wstring(name), L"app.corvane.crash.20261209-070503-042.4242.dmp");
  EXPECT_TRUE(corvane::IsCrashDumpName(name));
  // Too small a buffer: refused, not cut short.
  EXPECT_FALSE(corvane::FormatCrashDumpName({2026, 12, 9, 7, 5, 3, 42}, 4242, name, 20));

  EXPECT_FALSE(corvane::IsCrashDumpName(L"app.corvane.20261209-070503-042.log"));
  EXPECT_FALSE(corvane::IsCrashDumpName(L"app.corvane.log"));
  EXPECT_FALSE(corvane::IsCrashDumpName(L"app.corvane.crash..dmp"));
}

TEST(CrashDumpTest, TheNewestFewAreKeptWithTheOneJustWritten) {
  using Names = std::vector<std::wstring>;
  const Names folder = {L"app.corvane.crash.20261201-100000-000.7.dmp",
                        L"app.corvane.crash.20261130-100000-000.9.dmp",
                        L"app.corvane.crash.20261203-100000-000.5.dmp",
                        L"app.corvane.crash.20261202-100000-000.8.dmp",
                        L"app.corvane.20261203-100000-000.log",
                        L"app.corvane.log",
                        L"app.corvane.crash.20261209-100000-000.4.dmp"};
  const std::wstring newest = L"app.corvane.crash.20261209-100000-000.4.dmp";
  EXPECT_EQ(corvane::CrashDumpsToDelete(folder, newest, 3),
            (Names{L"app.corvane.crash.20261130-100000-000.9.dmp",
                   L"app.corvane.crash.20261201-100000-000.7.dmp"}));
  EXPECT_TRUE(corvane::CrashDumpsToDelete(folder, newest, 5).empty());
  // A clock set back: the dump just written stays, even though its name sorts first.
  const std::wstring back = L"app.corvane.crash.20200101-000000-000.3.dmp";
  Names with_back = folder;
  with_back.push_back(back);
  const Names deleted = corvane::CrashDumpsToDelete(with_back, back, 2);
  EXPECT_EQ(deleted.size(), 4u);
  for (const std::wstring& name : deleted) EXPECT_NE(name, back);
  EXPECT_EQ(std::count(deleted.begin(), deleted.end(), newest), 0);
}

}  // namespace

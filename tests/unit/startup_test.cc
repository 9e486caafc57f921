// The ordered start and stop of the process, over fake operations.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <set>

#include "base/strings/utf.h"
#include "src/main/startup.h"
#include "tests/support/test_logger.h"

namespace {

using corvane::LaunchArgs;
using corvane::RunProcess;
using corvane::StartupOps;
using corvane::testing::ScopedLoggerReplacement;
using corvane::testing::TestLogger;
using OptionalCall = StartupOps::OptionalCall;
using Events = std::vector<std::string>;

constexpr char kStarting[] =
    "log NOTICE Corvane starting, version=1.2.3.4, pid=4242, cmdline=[--hwnd 1A2B]";

// Notes every call in the journal it shares with the test logger.
class FakeStartupOps final : public StartupOps {
 public:
  explicit FakeStartupOps(std::vector<std::string>& journal) : journal_(journal) {}

  void EndProcessOnUnhandledException() override { Note("crash.end_process_on_unhandled"); }

  OptionalCall SetProcessDpiAwarenessContext(intptr_t context) override {
    Note("dpi.context " + std::to_string(context));
    return dpi_context;
  }
  bool LoadShcore() override {
    Note("dpi.load_shcore");
    return shcore_present;
  }
  OptionalCall SetProcessDpiAwareness(int awareness) override {
    Note("dpi.awareness " + std::to_string(awareness));
    return dpi_awareness;
  }
  void FreeShcore() override { Note("dpi.free_shcore"); }
  void SetProcessDpiAwareLegacy() override { Note("dpi.legacy"); }

  std::wstring GetVexoraPath() override {
    Note("env.vexora_path");
    return vexora_path;
  }
  std::wstring GetParentInstallDir() override {
    Note("env.parent_install_dir");
    return parent_install_dir;
  }
  std::wstring GetModuleVersionString() override {
    Note("env.version");
    return L"1.2.3.4";
  }
  uint32_t GetProcessId() override { return 4242; }
  bool PrepareLogFolder(const std::wstring& folder, std::string* why) override {
    Note("env.prepare_log_folder " + base::WideToUtf8(folder));
    if (!unwritable_folders.contains(folder)) return true;
    *why = "Access is denied";
    return false;
  }
  std::wstring GetLocalAppDataDir() override { return local_app_data; }

  void WriteCrashDumpsInto(const std::wstring& log_dir) override {
    Note("crash.dumps_into " + base::WideToUtf8(log_dir));
  }
  void LoadCrashReportHelper(const std::wstring& version) override {
    Note("crash.load " + std::string(version.begin(), version.end()));
  }
  void UnloadCrashReportHelper() override { Note("crash.unload"); }

  bool StartupGdiplus() override {
    Note("gdiplus.start");
    return gdiplus_starts;
  }
  void ShutdownGdiplus() override { Note("gdiplus.stop"); }
  void CreateApp() override { Note("app.create"); }
  bool InitApp(const LaunchArgs& args) override {
    init_args = args;
    Note("app.init");
    return app_inits;
  }
  int RunApp() override {
    Note("app.run");
    return run_result;
  }
  void ShutdownApp() override { Note("app.shutdown"); }
  void DestroyApp() override { Note("app.destroy"); }

  OptionalCall dpi_context = OptionalCall::kSucceeded;
  OptionalCall dpi_awareness = OptionalCall::kSucceeded;
  bool shcore_present = true;
  std::wstring vexora_path;
  std::wstring parent_install_dir;
  std::set<std::wstring> unwritable_folders;
  std::wstring local_app_data = L"C:\\Users\\player\\AppData\\Local";
  bool gdiplus_starts = true;
  bool app_inits = true;
  int run_result = 0;
  LaunchArgs init_args;

 private:
  void Note(std::string event) { journal_.push_back(std::move(event)); }
  std::vector<std::string>& journal_;
};

class StartupTest : public ::testing::Test {
 protected:
  StartupTest() { logger_.lowest_enabled = base::kLogInfo; }

  // The journal from the first logger call on, without the DPI and environment steps.
  Events FromLogger() const {
    auto it = std::find(journal_.begin(), journal_.end(), "logger.Init");
    return {it, journal_.end()};
  }

  std::vector<std::string> journal_;
  TestLogger logger_{&journal_};
  ScopedLoggerReplacement replace_{&logger_};
  FakeStartupOps ops_{journal_};
};

TEST_F(StartupTest, NormalRunInOrder) {
  ops_.vexora_path = L"D:\\Games\\Host";
  const int exit_code = RunProcess(L"--hwnd 1A2B --game-id 42 vx=D:\\Games\\Host", ops_);
  EXPECT_EQ(exit_code, 0);
  EXPECT_EQ(journal_, Events({"crash.end_process_on_unhandled",
                              "dpi.context -4",
                              "env.vexora_path",
                              "env.prepare_log_folder D:\\Games\\Host\\log",
                              "logger.Init",
                              "logger.SetLevel 2",
                              "env.version",
                              "log NOTICE Corvane starting, version=1.2.3.4, pid=4242, "
                              "cmdline=[--hwnd 1A2B --game-id 42 vx=D:\\Games\\Host]",
                              "log NOTICE [boot] vexora_path=D:\\Games\\Host",
                              "crash.dumps_into D:\\Games\\Host\\log",
                              "crash.load 1.2.3.4",
                              "app.create",
                              "gdiplus.start",
                              "app.init",
                              "app.run",
                              "app.shutdown",
                              "gdiplus.stop",
                              "log NOTICE Corvane exit with code 0",
                              "crash.unload",
                              "logger.Uninit",
                              "app.destroy"}));
  EXPECT_EQ(ops_.init_args.game_window, 0x1A2Bu);
  EXPECT_EQ(ops_.init_args.game_id, 42u);
}

TEST_F(StartupTest, LoggerSettings) {
  ops_.vexora_path = L"D:\\Games\\Host";
  RunProcess(L"", ops_);
  const TestLogger::InitArgs& init = logger_.init_args;
  EXPECT_TRUE(init.timestamp_in_name);
  EXPECT_EQ(init.app_name, L"corvane");
  EXPECT_TRUE(init.has_log_dir);
  EXPECT_EQ(init.log_dir, L"D:\\Games\\Host\\log");
  EXPECT_EQ(init.prefix, L"app");
  EXPECT_EQ(init.subdir, L"");
  EXPECT_FALSE(init.synchronous);
  EXPECT_TRUE(init.encrypt);
  EXPECT_TRUE(init.mem_log);
  EXPECT_EQ(init.reserved_size, 10485760u);
  EXPECT_EQ(init.reserved_count, 48u);
  EXPECT_EQ(logger_.level_set, base::kLogInfo);
}

TEST_F(StartupTest, HostPathFallsBackToTheParentInstallDir) {
  ops_.parent_install_dir = L"C:\\Host";
  RunProcess(L"--hwnd 1", ops_);
  EXPECT_EQ(logger_.init_args.log_dir, L"C:\\Host\\log");
  EXPECT_THAT(logger_.Texts(base::kLogNotice), ::testing::Contains("[boot] vexora_path=C:\\Host"));
  EXPECT_EQ(journal_[2], "env.vexora_path");
  EXPECT_EQ(journal_[3], "env.parent_install_dir");
}

TEST_F(StartupTest, WithoutHostPathTheLoggerGetsNoDirectoryAndThereIsNoBootRecord) {
  RunProcess(L"--hwnd 1", ops_);
  EXPECT_FALSE(logger_.init_args.has_log_dir);
  for (const std::string& text : logger_.Texts(base::kLogNotice)) {
    EXPECT_EQ(text.find("[boot]"), std::string::npos) << text;
  }
}

// A host folder that cannot be written (Program Files to a program that is not elevated): the
// logs go to the user's own folder, and the records right after the start one say why and
// where. When that fails too, the host's folder is kept (the text log then goes to the current
// directory, as for any folder it cannot open).
TEST_F(StartupTest, UnwritableHostFolderSendsTheLogsToTheUsersFolderAndSaysWhy) {
  const std::wstring host_log = L"C:\\Program Files\\Host\\log";
  const std::wstring user_log = L"C:\\Users\\player\\AppData\\Local\\Corvane\\log";
  const std::string host_fails =
      "[boot] the host's log folder C:\\Program Files\\Host\\log cannot be written (Access is "
      "denied)";
  struct Case {
    std::set<std::wstring> unwritable;
    std::wstring local_app_data;
    std::wstring log_dir;
    std::string warning;  // empty: none
  };
  const Case cases[] = {
      {{}, ops_.local_app_data, host_log, ""},
      {{host_log},
       ops_.local_app_data,
       user_log,
       host_fails + "; the logs are in " + base::WideToUtf8(user_log)},
      {{host_log, user_log},
       ops_.local_app_data,
       host_log,
       host_fails + "; nor can " + base::WideToUtf8(user_log) +
           " (Access is denied); the logs are in " + base::WideToUtf8(host_log)},
      {{host_log},
       L"",
       host_log,
       host_fails + "; there is no local application data folder either; the logs are in " +
           base::WideToUtf8(host_log)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.warning);
    logger_.records.clear();
    ops_.unwritable_folders = c.unwritable;
    ops_.local_app_data = c.local_app_data;
    ops_.vexora_path = L"C:\\Program Files\\Host";
    RunProcess(L"--hwnd 1A2B", ops_);
    EXPECT_EQ(logger_.init_args.log_dir, c.log_dir);
    const auto warnings = logger_.Texts(base::kLogWarning);
    if (c.warning.empty()) {
      EXPECT_THAT(warnings, ::testing::Not(::testing::Contains(::testing::HasSubstr("[boot]"))));
    } else {
      // The start record and the host path first, then the reason.
      ASSERT_GE(logger_.records.size(), 3u);
      EXPECT_EQ(logger_.records[2].level, base::kLogWarning);
      EXPECT_EQ(logger_.records[2].text, c.warning);
    }
  }
}

TEST_F(StartupTest, MissingHandleEndsWithOneAndCreatesNothing) {
  for (const wchar_t* line : {L"", L"--hwnd=1A2B", L"--game-id 42 --hwnd", L"--hwnd 0"}) {
    journal_.clear();
    logger_.records.clear();
    EXPECT_EQ(RunProcess(line, ops_), 1) << line;
    EXPECT_EQ(FromLogger(),
              Events({"logger.Init", "logger.SetLevel 2", "env.version",
                      "log NOTICE Corvane starting, version=1.2.3.4, pid=4242, "
                      "cmdline=[" +
                          base::WideToUtf8(line) + "]",
                      "crash.dumps_into ", "crash.load 1.2.3.4",
                      "log ERROR Missing --hwnd argument", "crash.unload", "logger.Uninit"}))
        << base::WideToUtf8(line);
  }
}

TEST_F(StartupTest, NullCommandLineShowsEmptyBrackets) {
  EXPECT_EQ(RunProcess(nullptr, ops_), 1);
  EXPECT_EQ(logger_.Texts(base::kLogNotice)[0],
            "Corvane starting, version=1.2.3.4, pid=4242, cmdline=[]");
  EXPECT_EQ(logger_.Texts(base::kLogError), std::vector<std::string>{"Missing --hwnd argument"});
}

TEST_F(StartupTest, GdiplusFailure) {
  ops_.gdiplus_starts = false;
  EXPECT_EQ(RunProcess(L"--hwnd 1A2B", ops_), 1);
  EXPECT_EQ(FromLogger(), Events({"logger.Init", "logger.SetLevel 2", "env.version", kStarting,
                                  "crash.dumps_into ", "crash.load 1.2.3.4", "app.create",
                                  "gdiplus.start", "log ERROR Failed to initialize GDI+",
                                  "crash.unload", "logger.Uninit", "app.destroy"}));
}

TEST_F(StartupTest, AppInitFailureStopsGdiplusOnceAndSkipsShutdown) {
  ops_.app_inits = false;
  EXPECT_EQ(RunProcess(L"--hwnd 1A2B", ops_), 1);
  EXPECT_EQ(FromLogger(),
            Events({"logger.Init", "logger.SetLevel 2", "env.version", kStarting,
                    "crash.dumps_into ", "crash.load 1.2.3.4", "app.create", "gdiplus.start",
                    "app.init", "log ERROR Failed to initialize OverlayApp", "gdiplus.stop",
                    "crash.unload", "logger.Uninit", "app.destroy"}));
}

TEST_F(StartupTest, RunResultIsTheExitCode) {
  ops_.run_result = 3;
  EXPECT_EQ(RunProcess(L"--hwnd 1A2B", ops_), 3);
  EXPECT_THAT(logger_.Texts(base::kLogNotice), ::testing::Contains("Corvane exit with code 3"));
}

TEST_F(StartupTest, RecordsBelowTheThresholdAreNotWritten) {
  logger_.lowest_enabled = base::kLogError;
  RunProcess(L"", ops_);
  EXPECT_THAT(logger_.Texts(base::kLogNotice), ::testing::IsEmpty());
  EXPECT_EQ(logger_.records.size(), 1u);
}

struct DpiCase {
  OptionalCall context;
  bool shcore_present;
  OptionalCall awareness;
  std::vector<std::string> calls;
};

TEST_F(StartupTest, DpiAwarenessFirstSuccessWins) {
  const DpiCase cases[] = {
      {OptionalCall::kSucceeded, true, OptionalCall::kSucceeded, {"dpi.context -4"}},
      {OptionalCall::kMissing,
       true,
       OptionalCall::kSucceeded,
       {"dpi.context -4", "dpi.load_shcore", "dpi.awareness 2", "dpi.free_shcore"}},
      {OptionalCall::kFailed,
       true,
       OptionalCall::kFailed,
       {"dpi.context -4", "dpi.load_shcore", "dpi.awareness 2", "dpi.legacy", "dpi.free_shcore"}},
      {OptionalCall::kMissing,
       true,
       OptionalCall::kMissing,
       {"dpi.context -4", "dpi.load_shcore", "dpi.awareness 2", "dpi.legacy", "dpi.free_shcore"}},
      {OptionalCall::kMissing,
       false,
       OptionalCall::kSucceeded,
       {"dpi.context -4", "dpi.load_shcore", "dpi.legacy"}},
  };
  for (const DpiCase& c : cases) {
    journal_.clear();
    ops_.dpi_context = c.context;
    ops_.shcore_present = c.shcore_present;
    ops_.dpi_awareness = c.awareness;
    corvane::MakeProcessDpiAware(ops_);
    EXPECT_EQ(journal_, c.calls);
  }
}

}  // namespace

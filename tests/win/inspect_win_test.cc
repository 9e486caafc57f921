// corvane-inspect.exe over a real window of this process: the client area and the drive come
// from the window named by --hwnd, and the box goes where the overlay would put it.
#include <gtest/gtest.h>

#include <fstream>
#include <string>

#include <nlohmann/json.hpp>

#include "base/os/file_system.h"
#include "base/os/win/scoped_resource.h"
#include "base/strings/utf.h"
#include "tests/support/temp_dir.h"
#include "tests/win/test_windows.h"
#include "tests/win/win_test_paths.h"

namespace {

using corvane::testing::TempDir;
using corvane::testing::TestGameWindow;

struct InspectRun {
  DWORD exit_code = 0;
  std::string output;
};

// Runs corvane-inspect.exe with `arguments`, its standard output into a file.
InspectRun RunInspect(const std::wstring& arguments, const TempDir& dir) {
  InspectRun run;
  const std::wstring build = corvane::testing::BuildDirectory();
  EXPECT_FALSE(build.empty()) << "CORVANE_BUILD_DIR is not set";
  const std::wstring out_path = (dir / "out.json").wstring();
  SECURITY_ATTRIBUTES inherit{sizeof(inherit), nullptr, TRUE};
  base::win::ScopedFileHandle out(CreateFileW(out_path.c_str(), GENERIC_WRITE, FILE_SHARE_READ,
                                              &inherit, CREATE_ALWAYS, 0, nullptr));
  EXPECT_TRUE(out);
  std::wstring command = L"\"" + build + L"\\bin\\corvane-inspect.exe\" " + arguments;
  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdOutput = out.get();
  startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
  PROCESS_INFORMATION process{};
  if (!CreateProcessW(nullptr, command.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                      &startup, &process)) {
    ADD_FAILURE() << "CreateProcess failed: " << GetLastError();
    return run;
  }
  const base::win::ScopedHandle process_handle(process.hProcess);
  const base::win::ScopedHandle thread_handle(process.hThread);
  EXPECT_EQ(WaitForSingleObject(process.hProcess, 30000), static_cast<DWORD>(WAIT_OBJECT_0));
  GetExitCodeProcess(process.hProcess, &run.exit_code);
  out.reset();
  run.output = corvane::testing::ReadFileBytes(dir / "out.json");
  return run;
}

std::wstring HandleText(HWND window) {
  wchar_t text[32];
  swprintf(text, 32, L"%llX", static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(window)));
  return text;
}

TEST(InspectWinTest, TakesTheClientAreaAndDriveFromAWindow) {
  TempDir dir;
  {
    std::ofstream doc(dir / "doc.json");
    doc << R"({"ui_style": "{\"pos\": \"bottom-right\"}"})";
  }
  const std::wstring doc = (dir / "doc.json").wstring();
  const TestGameWindow game(100, 80, 800, 600, RGB(40, 90, 160));

  const std::wstring hwnd = HandleText(game.hwnd());
  InspectRun run = RunInspect(L"--hwnd " + hwnd + L" --json-file " + doc + L" --box 300,40", dir);
  ASSERT_EQ(run.exit_code, 0u) << run.output;
  nlohmann::json report = nlohmann::json::parse(run.output);
  EXPECT_EQ(report["client"],
            nlohmann::json::parse(R"({"x": 100, "y": 80, "width": 800, "height": 600})"));
  // The window belongs to this process: its drive is that of this test's executable.
  EXPECT_EQ(report["drive"], base::WideToUtf8(base::os::ExecutablePath().substr(0, 2)));
  // Margins of 8 and 6 from the bottom-right corner of the client area.
  EXPECT_EQ(report["position"]["x"], 100 + 800 - 300 - 8);
  EXPECT_EQ(report["position"]["y"], 80 + 600 - 40 - 6);

  run = RunInspect(L"--hwnd 0x" + hwnd + L" --json-file " + doc + L" --drive D:", dir);
  ASSERT_EQ(run.exit_code, 0u) << run.output;
  report = nlohmann::json::parse(run.output);
  EXPECT_EQ(report["drive"], "D:");
  EXPECT_EQ(report["box"]["measured_by"], "GDI+");
  const int width = report["box"]["width"];
  EXPECT_GT(width, 16);
  EXPECT_EQ(report["position"]["x"], 100 + 800 - width - 8);
}

TEST(InspectWinTest, AWindowThatIsGoneEndsWithExitCode1) {
  TempDir dir;
  TestGameWindow game(100, 80, 320, 200, RGB(40, 90, 160));
  const std::wstring hwnd = HandleText(game.hwnd());
  game.Close();
  const InspectRun run = RunInspect(L"--hwnd " + hwnd, dir);
  EXPECT_EQ(run.exit_code, 1u);
  EXPECT_EQ(run.output, "");
}

}  // namespace

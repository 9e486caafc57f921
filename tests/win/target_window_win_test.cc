// Queries on the game's window and the drive of its process, and the overlay platform's calls
// on the host's window, through the real Win32 calls.
#include "src/window/target_window.h"

#include <gtest/gtest.h>

#include <string>

#include "base/os/win/scoped_resource.h"
#include "base/strings/utf.h"
#include "src/app/win32_overlay_platform.h"
#include "base/os/file_system.h"
#include "tests/win/test_windows.h"

namespace corvane {
namespace {

using testing::PumpFor;
using testing::TestGameWindow;

constexpr DWORD kFramed = WS_OVERLAPPEDWINDOW | WS_VISIBLE;

// Where the client area of a framed window at (x, y) begins on screen.
POINT ExpectedClientOrigin(HWND window, int x, int y) {
  RECT frame{0, 0, 0, 0};
  AdjustWindowRectEx(&frame, static_cast<DWORD>(GetWindowLongPtrW(window, GWL_STYLE)), FALSE,
                     static_cast<DWORD>(GetWindowLongPtrW(window, GWL_EXSTYLE)));
  return {x - frame.left, y - frame.top};
}

// The three queries one by one, and the state that answers them with one read, agree.
void ExpectStates(const TargetWindow& target, bool alive, bool minimized, bool visible) {
  EXPECT_EQ(target.IsAlive(), alive);
  EXPECT_EQ(target.IsMinimized(), minimized);
  EXPECT_EQ(target.IsVisible(), visible);
  const TargetWindow::State state = target.GetState();
  EXPECT_EQ(state.alive, alive);
  EXPECT_EQ(state.minimized, minimized);
  EXPECT_EQ(state.visible, visible);
}

TEST(TargetWindowWinTest, UnboundAnswersFalseEverywhere) {
  TargetWindow target;
  ExpectStates(target, false, false, false);
  EXPECT_FALSE(target.UpdateRect());
  EXPECT_EQ(target.x(), 0);
  EXPECT_EQ(target.y(), 0);
  EXPECT_EQ(target.width(), 0);
  EXPECT_EQ(target.height(), 0);
  EXPECT_EQ(GetWindowProcessDrive(target), "_Total");
  target.Bind(nullptr);
  EXPECT_FALSE(target.IsAlive());
}

TEST(TargetWindowWinTest, ClientRectangleInScreenCoordinatesAndStates) {
  TestGameWindow game(100, 50, 640, 400, RGB(0, 0, 0), kFramed);
  ASSERT_NE(game.hwnd(), nullptr);
  PumpFor(50);
  RECT client{};
  GetClientRect(game.hwnd(), &client);
  const POINT origin = ExpectedClientOrigin(game.hwnd(), 100, 50);
  ASSERT_GT(origin.x, 100) << "the window has no frame";
  ASSERT_GT(origin.y, 50);

  TargetWindow target;
  target.Bind(game.hwnd());
  EXPECT_EQ(target.hwnd(), game.hwnd());
  EXPECT_EQ(target.x(), origin.x);
  EXPECT_EQ(target.y(), origin.y);
  EXPECT_EQ(target.width(), client.right);
  EXPECT_EQ(target.height(), client.bottom);
  EXPECT_LT(target.width(), 640);  // the frame is not counted
  EXPECT_LT(target.height(), 400);
  ExpectStates(target, true, false, true);

  // The copy is only renewed by UpdateRect.
  SetWindowPos(game.hwnd(), nullptr, 300, 200, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
  PumpFor(30);
  EXPECT_EQ(target.x(), origin.x);
  EXPECT_TRUE(target.UpdateRect());
  const POINT moved = ExpectedClientOrigin(game.hwnd(), 300, 200);
  EXPECT_EQ(target.x(), moved.x);
  EXPECT_EQ(target.y(), moved.y);

  ShowWindow(game.hwnd(), SW_MINIMIZE);
  PumpFor(30);
  ExpectStates(target, true, true, true);
  ShowWindow(game.hwnd(), SW_RESTORE);
  PumpFor(30);
  ExpectStates(target, true, false, true);
  ShowWindow(game.hwnd(), SW_HIDE);
  ExpectStates(target, true, false, false);
}

TEST(TargetWindowWinTest, ClosedWindowKeepsTheLastRectangle) {
  TestGameWindow game(120, 80, 320, 240, RGB(0, 0, 0));  // no frame: client = window
  TargetWindow target;
  target.Bind(game.hwnd());
  EXPECT_EQ(target.x(), 120);
  EXPECT_EQ(target.y(), 80);
  EXPECT_EQ(target.width(), 320);
  EXPECT_EQ(target.height(), 240);
  const HWND gone = game.hwnd();
  game.Close();

  ExpectStates(target, false, false, false);
  EXPECT_FALSE(target.UpdateRect());
  EXPECT_EQ(target.x(), 120);
  EXPECT_EQ(target.width(), 320);
  EXPECT_EQ(GetWindowProcessDrive(target), "_Total");

  // Bound to a handle that names no window: the handle is kept, the rectangle stays zero.
  TargetWindow late;
  late.Bind(gone);
  EXPECT_EQ(late.hwnd(), gone);
  EXPECT_EQ(late.width(), 0);
  EXPECT_FALSE(late.IsAlive());
}

TEST(TargetWindowWinTest, ChildWindowIsVisibleOnlyWithItsParent) {
  TestGameWindow parent(10, 10, 200, 100, RGB(0, 0, 0), kFramed);
  const base::win::ScopedWindow child(CreateWindowExW(0, L"STATIC", L"", WS_CHILD | WS_VISIBLE, 0,
                                                      0, 50, 20, parent.hwnd(), nullptr,
                                                      GetModuleHandleW(nullptr), nullptr));
  ASSERT_TRUE(child);
  TargetWindow target;
  target.Bind(child.get());
  ExpectStates(target, true, false, true);
  ShowWindow(parent.hwnd(), SW_HIDE);
  ExpectStates(target, true, false, false);  // its own style still says visible
}

TEST(GameDriveWinTest, DriveOfTheWindowsProcess) {
  TestGameWindow game(0, 0, 100, 100, RGB(0, 0, 0));
  TargetWindow target;
  target.Bind(game.hwnd());
  const std::wstring exe = base::os::ExecutablePath();
  ASSERT_GT(exe.size(), 2u);
  EXPECT_EQ(GetWindowProcessDrive(target), base::WideToUtf8(exe.substr(0, 2)));
  EXPECT_EQ(GetWindowProcessDrive(target)[1], ':');

  // A window of another process: the desktop window belongs to Wine's explorer.exe.
  wchar_t windows_dir[MAX_PATH] = {};
  ASSERT_GT(GetWindowsDirectoryW(windows_dir, MAX_PATH), 2u);
  TargetWindow desktop;
  desktop.Bind(GetDesktopWindow());
  DWORD desktop_process = 0;
  GetWindowThreadProcessId(GetDesktopWindow(), &desktop_process);
  ASSERT_NE(desktop_process, GetCurrentProcessId());
  EXPECT_EQ(GetWindowProcessDrive(desktop), base::WideToUtf8(std::wstring(windows_dir, 2)));
}

// The host's IPC window as the overlay sees it, and message 1004 to it. (A window of an
// elevated process refuses it with ERROR_ACCESS_DENIED on Windows; Wine has no integrity
// levels, so here a window that is gone stands for a refused post.)
TEST(HostWindowWinTest, PostReachesALiveWindowAndOneThatIsGoneGivesTheSystemsError) {
  Win32OverlayPlatform platform;
  TestGameWindow host(0, 0, 40, 40, RGB(0, 0, 0));
  const uint64_t window = reinterpret_cast<uintptr_t>(host.hwnd());
  EXPECT_TRUE(platform.IsWindow(window));
  EXPECT_EQ(platform.WindowProcessId(window), GetCurrentProcessId());
  const MessagePost posted = platform.PostHostMessage(window, 1004, 0xFEDCBA9876543210ull, 4321);
  EXPECT_TRUE(posted.posted);
  EXPECT_EQ(posted.error, 0u);
  MSG message{};
  ASSERT_TRUE(PeekMessageW(&message, host.hwnd(), 1004, 1004, PM_REMOVE));
  EXPECT_EQ(message.wParam, 0xFEDCBA9876543210ull);
  EXPECT_EQ(message.lParam, 4321);

  host.Close();
  EXPECT_FALSE(platform.IsWindow(window));
  EXPECT_EQ(platform.WindowProcessId(window), 0u);
  const MessagePost refused = platform.PostHostMessage(window, 1004, 1, 2);
  EXPECT_FALSE(refused.posted);
  EXPECT_EQ(refused.error, static_cast<uint32_t>(ERROR_INVALID_WINDOW_HANDLE));
}

TEST(WideToUtf8WinTest, AgreesWithTheSystemConversion) {
  const std::wstring texts[] = {
      L"", L"C:", L"\\\\", L"D:\\Spiele\\Gr\u00FC\u00DFe", L"\u6E38\u620F", L"\U0001F3AE pad"};
  for (const std::wstring& text : texts) {
    std::string system;
    const int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                         nullptr, 0, nullptr, nullptr);
    if (size > 0) {
      system.resize(static_cast<size_t>(size));
      WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), system.data(),
                          size, nullptr, nullptr);
    }
    EXPECT_EQ(base::WideToUtf8(text), system);
  }
}

}  // namespace
}  // namespace corvane

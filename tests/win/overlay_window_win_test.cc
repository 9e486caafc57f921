// The overlay window through the real Win32 calls: class, styles, life, pump and z-order.
#include "src/window/overlay_window.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/test_logger.h"
#include "tests/win/counting_window_calls.h"
#include "tests/win/test_windows.h"

namespace corvane {
namespace {

using testing::PumpFor;
using testing::TestGameWindow;

std::wstring ClassNameOf(HWND window) {
  wchar_t name[64] = {};
  GetClassNameW(window, name, 64);
  return name;
}

std::wstring TitleOf(HWND window) {
  wchar_t title[64] = {};
  GetWindowTextW(window, title, 64);
  return title;
}

bool ClassRegistered() {
  WNDCLASSEXW info{};
  info.cbSize = sizeof(info);
  return GetClassInfoExW(GetModuleHandleW(nullptr), kOverlayClassName, &info) != 0;
}

// Takes what earlier tests left in the queue, so that a quit message is this test's own.
void DrainQueue() {
  MSG message;
  while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
  }
}

class OverlayWindowWinTest : public ::testing::Test {
 protected:
  void SetUp() override { DrainQueue(); }
  void TearDown() override { DrainQueue(); }

  corvane::testing::TestLogger logger_;
  corvane::testing::ScopedLoggerReplacement replacement_{&logger_};
};

TEST_F(OverlayWindowWinTest, CreatesAHiddenLayeredClickThroughToolWindow) {
  OverlayWindow overlay;
  ASSERT_TRUE(overlay.Create(700, 32));
  const HWND hwnd = overlay.hwnd();
  ASSERT_NE(hwnd, nullptr);

  const auto ex_style = static_cast<DWORD>(GetWindowLongPtrW(hwnd, GWL_EXSTYLE));
  EXPECT_EQ(ex_style & 0x080800A0u, 0x080800A0u);
  EXPECT_EQ(ex_style & WS_EX_TOPMOST, 0u);
  EXPECT_EQ(ex_style & WS_EX_APPWINDOW, 0u);
  const auto style = static_cast<DWORD>(GetWindowLongPtrW(hwnd, GWL_STYLE));
  EXPECT_NE(style & WS_POPUP, 0u);
  EXPECT_EQ(style & (WS_BORDER | WS_DLGFRAME | WS_THICKFRAME | WS_SYSMENU | WS_CHILD), 0u);

  EXPECT_EQ(ClassNameOf(hwnd), L"CorvaneWindow");
  EXPECT_EQ(TitleOf(hwnd), L"Corvane");
  EXPECT_EQ(GetParent(hwnd), nullptr);
  EXPECT_EQ(GetWindow(hwnd, GW_OWNER), nullptr);

  WNDCLASSEXW info{};
  info.cbSize = sizeof(info);
  ASSERT_TRUE(GetClassInfoExW(GetModuleHandleW(nullptr), kOverlayClassName, &info));
  EXPECT_EQ(info.style, 0u);
  EXPECT_EQ(info.hbrBackground, nullptr);
  EXPECT_EQ(info.hCursor, LoadCursorW(nullptr, IDC_ARROW));

  // Hidden, at its creation size, until the first paint and Show.
  EXPECT_FALSE(overlay.IsVisible());
  EXPECT_FALSE(IsWindowVisible(hwnd));
  RECT rect{};
  GetWindowRect(hwnd, &rect);
  EXPECT_EQ(rect.right - rect.left, 700);
  EXPECT_EQ(rect.bottom - rect.top, 32);

  wchar_t expected[80];
  swprintf(expected, 80, L"OverlayWindow created: 700x32 hwnd=%016llX",
           static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(hwnd)));
  const std::wstring expected_text(expected);
  const std::vector<std::string> notices = logger_.Texts(base::kLogNotice);
  ASSERT_EQ(notices.size(), 1u);
  EXPECT_EQ(notices[0], std::string(expected_text.begin(), expected_text.end()));
}

TEST_F(OverlayWindowWinTest, ShowsWithoutTakingTheFocus) {
  TestGameWindow game(40, 40, 200, 100, RGB(10, 20, 30));
  SetForegroundWindow(game.hwnd());
  PumpFor(50);
  const HWND foreground = GetForegroundWindow();

  OverlayWindow overlay;
  ASSERT_TRUE(overlay.Create(700, 32));
  overlay.Show(true);
  PumpFor(50);
  EXPECT_TRUE(overlay.IsVisible());
  EXPECT_EQ(GetForegroundWindow(), foreground);
  EXPECT_NE(GetForegroundWindow(), overlay.hwnd());
  EXPECT_NE(GetActiveWindow(), overlay.hwnd());

  overlay.Show(false);
  EXPECT_FALSE(overlay.IsVisible());
}

TEST_F(OverlayWindowWinTest, CloseRequestIsIgnored) {
  OverlayWindow overlay;
  ASSERT_TRUE(overlay.Create(700, 32));
  EXPECT_EQ(SendMessageW(overlay.hwnd(), WM_CLOSE, 0, 0), 0);
  PostMessageW(overlay.hwnd(), WM_CLOSE, 0, 0);
  EXPECT_TRUE(overlay.PumpMessages());
  EXPECT_TRUE(IsWindow(overlay.hwnd()));
}

TEST_F(OverlayWindowWinTest, PumpRunsMessagesUntilQuit) {
  OverlayWindow overlay;
  ASSERT_TRUE(overlay.Create(700, 32));
  EXPECT_TRUE(overlay.PumpMessages());  // an empty queue
  PostQuitMessage(3);
  EXPECT_FALSE(overlay.PumpMessages());
  EXPECT_TRUE(overlay.PumpMessages());  // the quit message was taken
}

TEST_F(OverlayWindowWinTest, DestroyingEndsThePumpAndUnregistersTheClass) {
  OverlayWindow overlay;
  ASSERT_TRUE(overlay.Create(700, 32));
  const HWND hwnd = overlay.hwnd();
  EXPECT_TRUE(overlay.PumpMessages());
  overlay.Destroy();
  EXPECT_EQ(overlay.hwnd(), nullptr);
  EXPECT_FALSE(IsWindow(hwnd));
  EXPECT_FALSE(ClassRegistered());
  EXPECT_FALSE(overlay.PumpMessages());

  overlay.Destroy();  // nothing left to release
  EXPECT_TRUE(overlay.PumpMessages());
  EXPECT_FALSE(overlay.IsVisible());
  overlay.Show(true);
  EXPECT_FALSE(overlay.IsVisible());

  // A second life after the first.
  ASSERT_TRUE(overlay.Create(700, 32));
  EXPECT_TRUE(ClassRegistered());
}

TEST_F(OverlayWindowWinTest, WindowDestroyedFromOutsideEndsThePump) {
  OverlayWindow overlay;
  ASSERT_TRUE(overlay.Create(700, 32));
  DestroyWindow(overlay.hwnd());
  EXPECT_FALSE(overlay.PumpMessages());
  overlay.Destroy();  // the stale handle is released without harm
  EXPECT_EQ(overlay.hwnd(), nullptr);
}

LRESULT CALLBACK RefuseCreation(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_NCCREATE) return FALSE;
  return DefWindowProcW(window, message, wparam, lparam);
}

TEST_F(OverlayWindowWinTest, FailedCreateLeavesNothingAndStillUnregisters) {
  // A class of that name registered before, whose windows refuse to be made.
  WNDCLASSEXW refusing{};
  refusing.cbSize = sizeof(refusing);
  refusing.lpfnWndProc = RefuseCreation;
  refusing.hInstance = GetModuleHandleW(nullptr);
  refusing.lpszClassName = kOverlayClassName;
  ASSERT_NE(RegisterClassExW(&refusing), 0);

  OverlayWindow overlay;
  EXPECT_FALSE(overlay.Create(700, 32));
  EXPECT_EQ(overlay.hwnd(), nullptr);
  const std::vector<std::string> errors = logger_.Texts(base::kLogError);
  ASSERT_EQ(errors.size(), 1u);
  EXPECT_EQ(errors[0].rfind("CreateWindowEx failed: ", 0), 0u) << errors[0];
  EXPECT_TRUE(logger_.Texts(base::kLogNotice).empty());

  // Nothing to act on.
  overlay.Show(true);
  EXPECT_FALSE(overlay.IsVisible());
  TestGameWindow game(0, 0, 100, 100, RGB(0, 0, 0));
  overlay.KeepAbove(game.hwnd());
  const TextSegment run{u"FPS ", 0xFFFFFF};
  overlay.Render(&run, 1, {}, 0, 0, 255);
  EXPECT_FALSE(overlay.render_cache().bitmap());

  overlay.Destroy();
  EXPECT_FALSE(ClassRegistered());
  overlay.Destroy();
  EXPECT_FALSE(ClassRegistered());
}

TEST_F(OverlayWindowWinTest, KeepAboveInsertsDirectlyAboveTheGameOnce) {
  OverlayWindow overlay(testing::CountingWindowCalls());
  ASSERT_TRUE(overlay.Create(700, 32));
  overlay.Show(true);

  TestGameWindow game(50, 50, 300, 200, RGB(0, 80, 0));
  TestGameWindow cover(60, 60, 100, 100, RGB(80, 0, 0));  // lies above the game
  PumpFor(50);
  ASSERT_EQ(GetWindow(game.hwnd(), GW_HWNDPREV), cover.hwnd());

  overlay.KeepAbove(game.hwnd());
  EXPECT_EQ(testing::g_window_calls.set_window_pos, 1);
  EXPECT_EQ(GetWindow(game.hwnd(), GW_HWNDPREV), overlay.hwnd());
  EXPECT_EQ(GetWindow(overlay.hwnd(), GW_HWNDPREV), cover.hwnd());

  overlay.KeepAbove(game.hwnd());  // already there
  EXPECT_EQ(testing::g_window_calls.set_window_pos, 1);

  // With the game at the top, the overlay goes to the top.
  SetWindowPos(game.hwnd(), HWND_TOP, 0, 0, 0, 0, SWP_NOSIZE | SWP_NOMOVE | SWP_NOACTIVATE);
  ASSERT_EQ(GetWindow(game.hwnd(), GW_HWNDPREV), nullptr);
  overlay.KeepAbove(game.hwnd());
  EXPECT_EQ(testing::g_window_calls.set_window_pos, 2);
  EXPECT_EQ(GetWindow(game.hwnd(), GW_HWNDPREV), overlay.hwnd());
  EXPECT_EQ(GetWindow(overlay.hwnd(), GW_HWNDPREV), nullptr);

  // Never made topmost on the way.
  EXPECT_EQ(static_cast<DWORD>(GetWindowLongPtrW(overlay.hwnd(), GWL_EXSTYLE)) & WS_EX_TOPMOST, 0u);

  // No game, or a handle that names no window: nothing is called.
  overlay.KeepAbove(nullptr);
  const HWND gone = cover.hwnd();
  cover.Close();
  overlay.KeepAbove(gone);
  EXPECT_EQ(testing::g_window_calls.set_window_pos, 2);
}

bool IsTopmost(HWND window) {
  return (static_cast<DWORD>(GetWindowLongPtrW(window, GWL_EXSTYLE)) & WS_EX_TOPMOST) != 0;
}

void SetTopmost(HWND window, bool topmost) {
  SetWindowPos(window, topmost ? HWND_TOPMOST : HWND_NOTOPMOST, 0, 0, 0, 0,
               SWP_NOSIZE | SWP_NOMOVE | SWP_NOACTIVATE);
}

// On Windows a window inserted behind a topmost window becomes topmost; Wine leaves it as it
// was. So the rule is checked on what SetWindowPos is handed, and where Windows would have made
// the overlay topmost, the test makes it so.
TEST_F(OverlayWindowWinTest, KeepAboveNeverInsertsBehindATopmostWindow) {
  OverlayWindow overlay(testing::CountingWindowCalls());
  ASSERT_TRUE(overlay.Create(700, 32));
  overlay.Show(true);
  const HWND self = overlay.hwnd();

  TestGameWindow game(50, 50, 300, 200, RGB(0, 80, 0));
  TestGameWindow pin(60, 60, 100, 100, RGB(80, 0, 0));  // a topmost window, as a taskbar is
  SetTopmost(pin.hwnd(), true);
  SetWindowPos(game.hwnd(), HWND_TOP, 0, 0, 0, 0, SWP_NOSIZE | SWP_NOMOVE | SWP_NOACTIVATE);
  PumpFor(50);
  const HWND above = GetWindow(game.hwnd(), GW_HWNDPREV);
  ASSERT_NE(above, nullptr);
  ASSERT_TRUE(IsTopmost(above));
  ASSERT_FALSE(IsTopmost(game.hwnd()));

  // One correction: what SetWindowPos was handed, in order.
  std::vector<HWND> every_insert_after;
  auto keep_above = [&] {
    testing::g_window_calls.insert_after.clear();
    overlay.KeepAbove(game.hwnd());
    const std::vector<HWND> calls = testing::g_window_calls.insert_after;
    every_insert_after.insert(every_insert_after.end(), calls.begin(), calls.end());
    return calls;
  };

  // HWND_TOP instead: the top of the non-topmost band, directly above the game in front.
  EXPECT_EQ(keep_above(), std::vector<HWND>{HWND_TOP});
  EXPECT_EQ(GetWindow(game.hwnd(), GW_HWNDPREV), self);
  EXPECT_FALSE(IsTopmost(self));
  EXPECT_TRUE(keep_above().empty());  // already there

  // Made topmost as Windows would have made it: out of the topmost band first.
  SetTopmost(self, true);
  EXPECT_EQ(keep_above(), (std::vector<HWND>{HWND_NOTOPMOST, HWND_TOP}));
  EXPECT_FALSE(IsTopmost(self));
  EXPECT_EQ(GetWindow(game.hwnd(), GW_HWNDPREV), self);

  // A topmost game is followed into the topmost band, and left there when it leaves it.
  SetTopmost(game.hwnd(), true);
  ASSERT_NE(GetWindow(game.hwnd(), GW_HWNDPREV), self);
  std::vector<HWND> calls = keep_above();
  ASSERT_FALSE(calls.empty());
  EXPECT_EQ(calls[0], HWND_TOPMOST);
  EXPECT_TRUE(IsTopmost(self));
  EXPECT_EQ(GetWindow(game.hwnd(), GW_HWNDPREV), self);
  SetTopmost(game.hwnd(), false);
  calls = keep_above();
  ASSERT_FALSE(calls.empty());
  EXPECT_EQ(calls[0], HWND_NOTOPMOST);
  EXPECT_FALSE(IsTopmost(self));

  // Through it all, the topmost window was never the one to insert behind.
  for (const HWND after : every_insert_after) EXPECT_NE(after, pin.hwnd());
}

TEST(GdiplusLifetimeWinTest, StartAndStopWithTheirRecords) {
  corvane::testing::TestLogger logger;
  corvane::testing::ScopedLoggerReplacement replacement(&logger);

  OverlayWindow::ShutdownGdiplus();  // never started: nothing
  EXPECT_TRUE(logger.records.empty());

  ASSERT_TRUE(OverlayWindow::StartupGdiplus());
  ASSERT_EQ(logger.records.size(), 1u);
  EXPECT_EQ(logger.records[0].level, base::kLogNotice);
  const std::string& started = logger.records[0].text;
  ASSERT_EQ(started.rfind("GDI+ initialized, token=", 0), 0u) << started;
  EXPECT_NE(started, "GDI+ initialized, token=0");
  EXPECT_EQ(logger.records[0].file, "src/window/overlay_window");

  // While started, GDI+ objects can be made.
  Gdiplus::GpBitmap* bitmap = nullptr;
  EXPECT_EQ(Gdiplus::DllExports::GdipCreateBitmapFromScan0(1, 1, 0, PixelFormat32bppPARGB, nullptr,
                                                           &bitmap),
            Gdiplus::Ok);
  base::win::ScopedGpBitmap owned(bitmap);
  EXPECT_TRUE(owned);
  owned.reset();

  OverlayWindow::ShutdownGdiplus();
  ASSERT_EQ(logger.records.size(), 2u);
  EXPECT_EQ(logger.records[1].text, "GDI+ shutdown");
  OverlayWindow::ShutdownGdiplus();
  EXPECT_EQ(logger.records.size(), 2u);
}

}  // namespace
}  // namespace corvane

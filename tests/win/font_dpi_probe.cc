// Makes the overlay's font at size 14 as the overlay does, at the DPI of the monitor that holds
// a game window (here a window of its own), and prints what it became:
//   dpi=<dpi> from=<monitor|screen> screen=<screen dc dpi> font_px=<pixel size> font_size=<size>
// "from" says whether the game monitor's DPI could be had or the screen's stood in. Run by
// font_dpi_test.sh, which sets the DPI before each run. Exit code 1 without a font.
#include <cstdio>
#include <string_view>

#include "base/os/win/scoped_resource.h"
#include "src/app/win32_overlay_platform.h"
#include "src/window/monitor_dpi.h"
#include "tests/win/test_windows.h"

int main(int argc, char** argv) {
  if (argc > 1) {
    std::printf(
        "usage: %s\n(no arguments) prints dpi=, from=, screen=, font_px= and font_size= "
        "for size 14\n",
        argv[0]);
    return argc == 2 && std::string_view(argv[1]) == "--help" ? 0 : 2;
  }
  // Per-monitor aware, as the overlay process declares itself before any window.
  using SetContext = BOOL(WINAPI*)(HANDLE);
  const auto set_context = base::win::ProcedureAs<SetContext>(
      GetProcAddress(GetModuleHandleW(L"user32.dll"), "SetProcessDpiAwarenessContext"));
  if (set_context == nullptr || !set_context(reinterpret_cast<HANDLE>(-4))) SetProcessDPIAware();
  if (!corvane::OverlayWindow::StartupGdiplus()) return 1;
  int status = 1;
  {
    corvane::testing::TestGameWindow game(50, 50, 200, 100, RGB(48, 48, 64));
    corvane::Win32OverlayPlatform platform;
    platform.BindGameWindow(reinterpret_cast<uintptr_t>(game.hwnd()));
    const corvane::DpiReading reading = platform.GameDpi();
    platform.SetOverlayFont(L"Microsoft YaHei", 14, reading.dpi);
    const corvane::OverlayWindow& window = platform.window();
    Gdiplus::REAL size = 0;
    if (window.font() != nullptr &&
        Gdiplus::DllExports::GdipGetFontSize(window.font(), &size) == Gdiplus::Ok) {
      status = 0;
    }
    std::printf("dpi=%d from=%s screen=%d font_px=%d font_size=%.1f\n", reading.dpi,
                reading.from_monitor ? "monitor" : "screen", corvane::ScreenDpi(), window.font_px(),
                size);
  }
  corvane::OverlayWindow::ShutdownGdiplus();
  return status;
}

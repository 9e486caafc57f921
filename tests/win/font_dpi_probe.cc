// Makes the overlay's font at size 14 and prints what it became at the screen's DPI:
//   dpi=<screen dpi> font_px=<pixel size> font_size=<size of the GDI+ font>
// Run by font_dpi_test.sh, which sets the DPI before each run. Exit code 1 without a font.
#include <cstdio>
#include <string_view>

#include "src/window/overlay_window.h"

int main(int argc, char** argv) {
  if (argc > 1) {
    std::printf("usage: %s\n(no arguments) prints dpi=, font_px= and font_size= for size 14\n",
                argv[0]);
    return argc == 2 && std::string_view(argv[1]) == "--help" ? 0 : 2;
  }
  SetProcessDPIAware();  // as the overlay process declares itself before any window
  if (!corvane::OverlayWindow::StartupGdiplus()) return 1;
  int status = 1;
  {
    corvane::OverlayWindow window;
    window.SetFont(L"Microsoft YaHei", 14);
    HDC screen = GetDC(nullptr);
    const int dpi = GetDeviceCaps(screen, LOGPIXELSX);
    ReleaseDC(nullptr, screen);
    Gdiplus::REAL size = 0;
    if (window.font() != nullptr &&
        Gdiplus::DllExports::GdipGetFontSize(window.font(), &size) == Gdiplus::Ok) {
      status = 0;
    }
    std::printf("dpi=%d font_px=%d font_size=%.1f\n", dpi, window.font_px(), size);
  }
  corvane::OverlayWindow::ShutdownGdiplus();
  return status;
}

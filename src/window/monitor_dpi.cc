#include "src/window/monitor_dpi.h"

namespace corvane {
namespace {

using base::win::ProcedureAs;

constexpr int kEffectiveDpi = 0;  // MDT_EFFECTIVE_DPI

}  // namespace

int ScreenDpi() {
  HDC screen = GetDC(nullptr);
  if (screen == nullptr) return 0;
  const int dpi = GetDeviceCaps(screen, LOGPIXELSX);
  ReleaseDC(nullptr, screen);
  return dpi > 0 ? dpi : 0;
}

MonitorDpi::MonitorDpi() : shcore_(LoadLibraryW(L"shcore.dll")) {
  if (HMODULE user32 = GetModuleHandleW(L"user32.dll")) {
    monitor_from_window_ =
        ProcedureAs<MonitorFromWindowFunction>(GetProcAddress(user32, "MonitorFromWindow"));
  }
  if (shcore_) {
    get_dpi_for_monitor_ =
        ProcedureAs<GetDpiForMonitorFunction>(GetProcAddress(shcore_.get(), "GetDpiForMonitor"));
  }
}

MonitorDpi::Reading MonitorDpi::ForWindow(HWND window) const {
  if (functions_found() && window != nullptr) {
    if (HMONITOR monitor = monitor_from_window_(window, MONITOR_DEFAULTTONEAREST)) {
      UINT dpi_x = 0;
      UINT dpi_y = 0;
      if (SUCCEEDED(get_dpi_for_monitor_(monitor, kEffectiveDpi, &dpi_x, &dpi_y)) && dpi_x > 0) {
        return {static_cast<int>(dpi_x), true};
      }
    }
  }
  return {ScreenDpi(), false};
}

}  // namespace corvane

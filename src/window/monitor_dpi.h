#pragma once
// The DPI the overlay's text is made for: the effective DPI of the monitor that holds the game
// window, so that a game on a second monitor at another scale gets text sized for that monitor.
// MonitorFromWindow (user32) and GetDpiForMonitor (shcore) are looked up by name; where they
// are missing or fail, the screen DC's LOGPIXELSX stands in.
#include "base/os/win/scoped_resource.h"

namespace corvane {

// The screen DC's horizontal logical DPI; 0 when there is no screen DC or it says nothing.
int ScreenDpi();

class MonitorDpi {
 public:
  // Looks the two functions up; shcore stays loaded for the life of the object.
  MonitorDpi();
  MonitorDpi(const MonitorDpi&) = delete;
  MonitorDpi& operator=(const MonitorDpi&) = delete;

  struct Reading {
    int dpi = 0;                // 0 when neither way gave one
    bool from_monitor = false;  // false: the screen DC's
  };
  Reading ForWindow(HWND window) const;

  bool functions_found() const {
    return monitor_from_window_ != nullptr && get_dpi_for_monitor_ != nullptr;
  }

 private:
  using MonitorFromWindowFunction = HMONITOR(WINAPI*)(HWND, DWORD);
  using GetDpiForMonitorFunction = HRESULT(WINAPI*)(HMONITOR, int, UINT*, UINT*);

  base::win::ScopedModule shcore_;
  MonitorFromWindowFunction monitor_from_window_ = nullptr;
  GetDpiForMonitorFunction get_dpi_for_monitor_ = nullptr;
};

}  // namespace corvane

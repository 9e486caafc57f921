#pragma once
// The game's window, which belongs to another process: every query tests the handle itself,
// since the window may change or go away at any time. Nothing here logs.
#include <string>

#include "base/os/win/windows_types.h"

namespace corvane {

class TargetWindow {
 public:
  // Stores the handle and, when it names a window, reads its client rectangle.
  void Bind(HWND window);
  // Reads the client rectangle again; false, keeping the old one, when the window is gone.
  // (Reading it fails for a window that is gone, so there is no separate test.)
  bool UpdateRect();

  bool IsAlive() const;
  bool IsMinimized() const;
  bool IsVisible() const;

  struct State {
    bool alive = false;
    bool minimized = false;
    bool visible = false;
  };
  // The three above from one read of the window's style. The game window belongs to another
  // process, where each query is a round trip through the window system (under Wine, through
  // its server), and the main loop asks all three on every pass.
  State GetState() const;

  HWND hwnd() const { return hwnd_; }
  // The client area in screen coordinates, as last read.
  int x() const { return x_; }
  int y() const { return y_; }
  int width() const { return width_; }
  int height() const { return height_; }

 private:
  void ReadRect();

  HWND hwnd_ = nullptr;
  int x_ = 0;
  int y_ = 0;
  int width_ = 0;
  int height_ = 0;
};

inline constexpr char kUnknownDrive[] = "_Total";

// The first two characters of the full path of the executable that owns the window (such as
// "C:"), or "_Total" when the window, its process or its path cannot be found.
std::string GetWindowProcessDrive(const TargetWindow& target);

}  // namespace corvane

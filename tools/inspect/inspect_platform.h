#pragma once
// What corvane-inspect does differently on Windows: the screen's DPI and the game window's
// monitor's, measuring the box with
// GDI+ as the overlay does, the game window given by handle, and the box painted into a PNG
// file. Elsewhere the box is measured by an approximation and the window options do not exist.
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>

#include "src/app/frame_composition.h"
#include "src/app/overlay_platform.h"
#include "src/window/text_layout.h"
#include "tools/inspect/inspect_options.h"

namespace corvane::inspect {

// Whether this build takes --hwnd and --png.
extern const bool kHasWindowOptions;

class InspectPlatform {
 public:
  // On Windows: starts GDI+ for the life of the object.
  InspectPlatform();
  ~InspectPlatform();
  InspectPlatform(const InspectPlatform&) = delete;
  InspectPlatform& operator=(const InspectPlatform&) = delete;

  // The screen's DPI; the reference 96 where there is no screen to ask.
  int ScreenDpi();
  // The DPI an overlay over the window `hwnd` makes its text for, by the overlay's own rule:
  // the effective DPI of the window's monitor, else the screen's; the reference 96 where
  // neither can be had.
  DpiReading GameWindowDpi(uint64_t hwnd);

  // The overlay's box size estimate for the runs at a physical pixel size.
  TextBox EstimateTextBox(std::span<const TextSegment> segments, int pixel_size);
  std::string_view measured_by() const;

  // The client area in screen coordinates and the drive of the program of the window `hwnd`.
  // False with one line in `error` when it is not a window (or on a system without windows).
  bool ReadGameWindow(uint64_t hwnd, ScreenRect* client, std::string* drive, std::string* error);

  // Paints the runs and the graph (when it is shown) with the overlay's painter, its font at
  // `font_px` (96 DPI pixels) scaled to `dpi`, on the box at background opacity `alpha`, and
  // saves the picture as a PNG file.
  // False with one line in `error` when that fails.
  struct PaintedPng {
    BoxSize size;             // of the picture
    bool font_found = false;  // false: the font is not installed and the box is empty
  };
  bool PaintPng(std::span<const TextSegment> segments, const FrameGraph& graph, int font_px,
                int dpi, uint8_t alpha, const std::string& path, PaintedPng* painted,
                std::string* error);

 private:
  bool gdiplus_started_ = false;
};

}  // namespace corvane::inspect

#include "tools/inspect/inspect_platform.h"

#include <cinttypes>
#include <cstdio>

#include "base/os/win/scoped_resource.h"
#include "src/app/win32_overlay_platform.h"
#include "src/window/gdiplus_text.h"
#include "src/window/monitor_dpi.h"
#include "src/window/overlay_window.h"
#include "src/window/target_window.h"
#include "tools/inspect/inspect_report.h"

namespace corvane::inspect {
namespace {

namespace gdip = Gdiplus::DllExports;

// GDI+'s built-in PNG encoder.
constexpr CLSID kPngEncoder = {
    0x557CF406, 0x1A04, 0x11D3, {0x9A, 0x73, 0x00, 0x00, 0xF8, 0x1E, 0xF3, 0x2E}};

// A path from the command line, which comes in the system's ANSI code page.
std::wstring WidePath(const std::string& path) {
  const int count =
      MultiByteToWideChar(CP_ACP, 0, path.data(), static_cast<int>(path.size()), nullptr, 0);
  std::wstring wide(static_cast<size_t>(count > 0 ? count : 0), L'\0');
  if (count > 0) {
    MultiByteToWideChar(CP_ACP, 0, path.data(), static_cast<int>(path.size()), wide.data(), count);
  }
  return wide;
}

}  // namespace

const bool kHasWindowOptions = true;

InspectPlatform::InspectPlatform() : gdiplus_started_(OverlayWindow::StartupGdiplus()) {}

InspectPlatform::~InspectPlatform() {
  if (gdiplus_started_) OverlayWindow::ShutdownGdiplus();
}

int InspectPlatform::ScreenDpi() {
  const int dpi = corvane::ScreenDpi();
  return dpi > 0 ? dpi : kReferenceDpi;
}

DpiReading InspectPlatform::GameWindowDpi(uint64_t hwnd) {
  // The overlay's platform, bound to the window as the overlay binds the game's.
  Win32OverlayPlatform platform;
  platform.BindGameWindow(static_cast<uintptr_t>(hwnd));
  const DpiReading reading = platform.GameDpi();
  return {reading.dpi > 0 ? reading.dpi : kReferenceDpi, reading.from_monitor};
}

TextBox InspectPlatform::EstimateTextBox(std::span<const TextSegment> segments, int pixel_size) {
  // The overlay's own estimate: its own font of the pixel size, measured by GDI+.
  Win32OverlayPlatform platform;
  return platform.EstimateTextBox(segments, pixel_size);
}

std::string_view InspectPlatform::measured_by() const {
  return kGdiplusMeasurerName;
}

bool InspectPlatform::ReadGameWindow(uint64_t hwnd, ScreenRect* client, std::string* drive,
                                     std::string* error) {
  TargetWindow target;
  target.Bind(reinterpret_cast<HWND>(static_cast<uintptr_t>(hwnd)));
  if (!target.IsAlive()) {
    char text[64];
    std::snprintf(text, sizeof text, "%" PRIX64 " is not a window", hwnd);
    *error = text;
    return false;
  }
  *client = ScreenRect{target.x(), target.y(), target.width(), target.height()};
  *drive = GetWindowProcessDrive(target);
  return true;
}

bool InspectPlatform::PaintPng(std::span<const TextSegment> segments, const FrameGraph& graph,
                               int font_px, int dpi, uint8_t alpha, const std::string& path,
                               PaintedPng* painted, std::string* error) {
  if (!gdiplus_started_) {
    *error = "GDI+ could not be started";
    return false;
  }
  // The font as the overlay window makes it, at this DPI.
  const int physical_px = PhysicalPixels(font_px, dpi);
  const GdiplusFont font = MakeFont(kOverlayFontFamily, static_cast<float>(physical_px));
  const PaintedCanvas canvas =
      PaintTextCanvas(segments, graph, font.font.get(), physical_px, alpha);
  if (!canvas.canvas.bitmap) {
    *error = "GDI+ could not make a picture of " + std::to_string(canvas.box.width) + " x " +
             std::to_string(canvas.box.height);
    return false;
  }
  const Gdiplus::GpStatus status = gdip::GdipSaveImageToFile(
      canvas.canvas.bitmap.get(), WidePath(path).c_str(), &kPngEncoder, nullptr);
  if (status != Gdiplus::Ok) {
    *error = "cannot save " + path + " (GDI+ status " + std::to_string(status) + ")";
    return false;
  }
  painted->size = {canvas.box.width, canvas.box.height};
  painted->font_found = font.font.get() != nullptr;
  return true;
}

}  // namespace corvane::inspect

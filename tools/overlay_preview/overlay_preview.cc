// A picture of the overlay for the demo: a stand-in game window with the overlay's text box
// painted over it, the way Corvane paints it, with sample figures. The figures and their
// placement are fixed here; choosing them from the feed belongs to the application.
//   overlay_preview.exe [--vertical] [--ms N]    (shows the windows for N ms, default 4000)
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "base/os/win/scoped_resource.h"
#include "src/window/overlay_window.h"

namespace {

constexpr wchar_t kGameClass[] = L"CorvanePreviewGame";
constexpr int kGameX = 80, kGameY = 60, kGameWidth = 1000, kGameHeight = 600;

LRESULT CALLBACK GameWindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) noexcept {
  if (message == WM_ERASEBKGND) return 1;
  if (message == WM_PAINT) {
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(window, &paint);
    RECT client;
    GetClientRect(window, &client);
    // A sky and a ground, so that the box's translucency shows against two colours.
    RECT sky = client, ground = client;
    sky.bottom = ground.top = client.bottom / 3;
    const base::win::ScopedBrush sky_brush(CreateSolidBrush(RGB(70, 130, 180)));
    const base::win::ScopedBrush ground_brush(CreateSolidBrush(RGB(60, 120, 60)));
    FillRect(dc, &sky, sky_brush.get());
    FillRect(dc, &ground, ground_brush.get());
    EndPaint(window, &paint);
    return 0;
  }
  if (message == WM_DESTROY) PostQuitMessage(0);
  return DefWindowProcW(window, message, wparam, lparam);
}

std::vector<corvane::TextSegment> SampleRows(bool vertical) {
  // Colours are 0x00BBGGRR: labels and values in spring green, separators in grey.
  constexpr uint32_t kText = 0x7FFF00, kGrey = 0x808080;
  const std::u16string rows[][2] = {{u"FPS ", u"144"},
                                    {u"GPU ", u"63% 5.1/8.0GB"},
                                    {u"CPU ", u"23.5%"},
                                    {u"RAM ", u"10.0/16.0GB"},
                                    {u"IO ", u"3.0%"}};
  std::vector<corvane::TextSegment> runs;
  for (const auto& row : rows) {
    if (!runs.empty()) runs.push_back({vertical ? u"\n" : u" | ", vertical ? kText : kGrey});
    runs.push_back({row[0], kText});
    runs.push_back({row[1], kText});
  }
  return runs;
}

int Usage(const char* message) {
  std::fprintf(stderr, "overlay_preview: %s (see --help)\n", message);
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  bool vertical = false;
  int show_ms = 4000;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
      std::printf(
          "Usage: overlay_preview.exe [--vertical] [--ms N]\n"
          "Shows a stand-in game window with the overlay's text box over it for N ms\n"
          "(default 4000), for a screenshot.\n");
      return 0;
    } else if (std::strcmp(argv[i], "--vertical") == 0) {
      vertical = true;
    } else if (std::strcmp(argv[i], "--ms") == 0 && i + 1 < argc) {
      char* end = nullptr;
      show_ms = static_cast<int>(std::strtol(argv[++i], &end, 10));
      if (*end != '\0' || show_ms <= 0) return Usage("--ms takes a positive number");
    } else {
      return Usage("unknown option");
    }
  }

  WNDCLASSEXW game_class{};
  game_class.cbSize = sizeof(game_class);
  game_class.lpfnWndProc = GameWindowProc;
  game_class.hInstance = GetModuleHandleW(nullptr);
  game_class.lpszClassName = kGameClass;
  RegisterClassExW(&game_class);
  const base::win::ScopedWindow game(CreateWindowExW(
      0, kGameClass, L"Corvane preview game", WS_POPUP | WS_VISIBLE, kGameX, kGameY, kGameWidth,
      kGameHeight, nullptr, nullptr, GetModuleHandleW(nullptr), nullptr));
  if (!game) return std::fprintf(stderr, "overlay_preview: no game window\n"), 1;

  if (!corvane::OverlayWindow::StartupGdiplus()) {
    return std::fprintf(stderr, "overlay_preview: GDI+ did not start\n"), 1;
  }
  int code = 0;
  {
    corvane::OverlayWindow overlay;
    if (overlay.Create(1, 1)) {
      overlay.SetFont(L"Microsoft YaHei", 14);
      const std::vector<corvane::TextSegment> runs = SampleRows(vertical);
      overlay.Render(runs.data(), static_cast<int>(runs.size()), kGameX + 20, kGameY + 190, 204);
      overlay.Show(true);
      overlay.KeepAbove(game.get());
      const DWORD start = GetTickCount();
      while (GetTickCount() - start < static_cast<DWORD>(show_ms) && overlay.PumpMessages()) {
        Sleep(16);
      }
    } else {
      std::fprintf(stderr, "overlay_preview: the overlay window was not created\n");
      code = 1;
    }
  }
  corvane::OverlayWindow::ShutdownGdiplus();
  return code;
}

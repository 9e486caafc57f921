// Where a frame of the overlay spends its time under Wine (or Windows): each window call that a
// pass of the main loop makes, one whole frame with nothing changed on the real platform, and
// the processor time of the loop itself (passes with their 8 ms sleeps) over a few seconds.
//   frame_calls_bench.exe [seconds [game window]]   (span default 5 s; the game window in hex,
//                                                   default a window of this process)
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string_view>
#include <vector>

#include "src/app/overlay_app.h"
#include "src/app/pass_decision.h"
#include "src/app/win32_overlay_platform.h"
#include "src/data/perf_feed_writer.h"

namespace {

using corvane::OverlayApp;
using corvane::OverlayWindow;
using corvane::Win32OverlayPlatform;

constexpr int kIterations = 2000;

double NowUs() {
  static const double frequency = [] {
    LARGE_INTEGER f;
    QueryPerformanceFrequency(&f);
    return static_cast<double>(f.QuadPart);
  }();
  LARGE_INTEGER counter;
  QueryPerformanceCounter(&counter);
  return static_cast<double>(counter.QuadPart) * 1e6 / frequency;
}

// The median time of one call, in microseconds.
template <typename Call>
double MedianUs(Call call) {
  std::vector<double> times;
  times.reserve(kIterations);
  for (int i = 0; i < kIterations; ++i) {
    const double start = NowUs();
    call();
    times.push_back(NowUs() - start);
  }
  std::nth_element(times.begin(), times.begin() + kIterations / 2, times.end());
  return times[kIterations / 2];
}

double ProcessCpuMs() {
  FILETIME created, exited, kernel, user;
  GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user);
  const auto ms = [](FILETIME t) {
    return static_cast<double>((static_cast<uint64_t>(t.dwHighDateTime) << 32) | t.dwLowDateTime) /
           1e4;
  };
  return ms(kernel) + ms(user);
}

LRESULT CALLBACK GameProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) noexcept {
  return DefWindowProcW(window, message, wparam, lparam);
}

HWND MakeGameWindow() {
  WNDCLASSW window_class{};
  window_class.lpfnWndProc = &GameProc;
  window_class.hInstance = GetModuleHandleW(nullptr);
  window_class.lpszClassName = L"CorvaneFrameBenchGame";
  window_class.hbrBackground = static_cast<HBRUSH>(GetStockObject(DKGRAY_BRUSH));
  RegisterClassW(&window_class);
  HWND game =
      CreateWindowExW(0, window_class.lpszClassName, L"frame bench game", WS_OVERLAPPEDWINDOW, 50,
                      50, 800, 500, nullptr, nullptr, window_class.hInstance, nullptr);
  ShowWindow(game, SW_SHOW);
  SetForegroundWindow(game);
  return game;
}

}  // namespace

int main(int argc, char** argv) {
  int seconds = 5;
  if (argc > 1) {
    if (std::string_view(argv[1]) == "--help" || std::string_view(argv[1]) == "-h") {
      std::printf("usage: frame_calls_bench.exe [seconds [game window in hex]]\n");
      return 0;
    }
    seconds = std::atoi(argv[1]);
    if (seconds < 1) {
      std::fprintf(stderr, "frame_calls_bench: seconds must be a positive number\n");
      return 2;
    }
  }
  if (!OverlayWindow::StartupGdiplus()) {
    std::fprintf(stderr, "frame_calls_bench: GDI+ does not start\n");
    return 1;
  }
  // The overlay's real game window belongs to another process, which makes Wine answer the
  // calls on it through its server; a window of this process is answered on the spot.
  const HWND game =
      argc > 2 ? reinterpret_cast<HWND>(std::strtoull(argv[2], nullptr, 16)) : MakeGameWindow();
  std::printf("Game window %p, %s process\n", static_cast<void*>(game),
              argc > 2 ? "another" : "this");
  // The block with figures and the show flag set, so that every frame goes all the way.
  corvane::PerfFeedWriter writer;
  std::string error;
  if (!writer.Create(&error) ||
      !writer.Publish(R"({"cpu": 12.5, "memory": {"free": 8000, "total": 16000},)"
                      R"( "ui_style": "{\"alpha\": 70}"})",
                      /*show=*/true, /*ipc_wnd=*/0, &error)) {
    std::fprintf(stderr, "frame_calls_bench: the block cannot be published: %s\n", error.c_str());
    return 1;
  }
  {
    Win32OverlayPlatform platform;
    OverlayApp app(platform);
    if (!app.Init({reinterpret_cast<uintptr_t>(game), 42})) {
      std::fprintf(stderr, "frame_calls_bench: the overlay does not start\n");
      return 1;
    }
    app.UpdateFrame();  // the first frame paints
    corvane::ComposedFrame composed;
    corvane::ComposeFrame(app.snapshot(), app.style(), composed);
    const std::vector<corvane::TextSegment>& segments = composed.segments;
    const HWND overlay = platform.window().hwnd();
    MSG message;
    RECT rect;
    POINT origin{};

    std::printf("One call, median of %d, under this system (microseconds):\n", kIterations);
    const struct {
      const char* name;
      double us;
    } calls[] = {
        {"IsWindow(game)", MedianUs([&] { IsWindow(game); })},
        {"IsIconic(game)", MedianUs([&] { IsIconic(game); })},
        {"IsWindowVisible(game)", MedianUs([&] { IsWindowVisible(game); })},
        {"GetForegroundWindow", MedianUs([&] { GetForegroundWindow(); })},
        {"GetClientRect(game)", MedianUs([&] { GetClientRect(game, &rect); })},
        {"ClientToScreen(game)", MedianUs([&] { ClientToScreen(game, &origin); })},
        {"IsWindowVisible(overlay)", MedianUs([&] { IsWindowVisible(overlay); })},
        {"PeekMessage, nothing waiting",
         MedianUs([&] { PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE); })},
        {"GetTickCount", MedianUs([&] { GetTickCount(); })},
        {"ShowWindow(overlay, hidden again)",
         MedianUs([&] { ShowWindow(overlay, SW_SHOWNOACTIVATE); })},
        {"GetWindow(game, GW_HWNDPREV)", MedianUs([&] { GetWindow(game, GW_HWNDPREV); })},
        {"GetWindowInfo(game)", MedianUs([&] {
           WINDOWINFO info{};
           info.cbSize = sizeof info;
           GetWindowInfo(game, &info);
         })},
        {"GetWindowThreadProcessId(game)",
         MedianUs([&] { GetWindowThreadProcessId(game, nullptr); })},
    };
    for (const auto& call : calls) std::printf("  %-36s %8.2f\n", call.name, call.us);

    const double frame_us = MedianUs([&] { app.UpdateFrame(); });
    const double pass_us = MedianUs([&] {
      platform.ObserveGameWindow();
      app.UpdateFrame();
      platform.PumpMessages();
    });
    std::printf("A frame with nothing changed (UpdateFrame)      %8.2f\n", frame_us);
    std::printf("  of which the game's client area               %8.2f\n",
                MedianUs([&] { platform.GameClientRect(); }));
    std::printf("  of which the overlay's visibility             %8.2f\n",
                MedianUs([&] { platform.OverlayVisible(); }));
    std::printf("  of which the render (quick path)              %8.2f\n",
                MedianUs([&] { platform.RenderOverlay(segments, {}, 100, 100, 178, 0); }));
    std::printf("The game window's state for one pass            %8.2f\n",
                MedianUs([&] { platform.ObserveGameWindow(); }));
    std::printf("A whole pass without its sleep                  %8.2f\n", pass_us);

    // The loop as it runs: passes with their sleeps, and the processor time they take.
    const double cpu_before = ProcessCpuMs();
    const double start = NowUs();
    long passes = 0;
    while (NowUs() - start < seconds * 1e6) {
      app.UpdateFrame();
      platform.PumpMessages();
      Sleep(corvane::kFrameDelayMs);
      ++passes;
    }
    const double elapsed_ms = (NowUs() - start) / 1000.0;
    const double cpu_ms = ProcessCpuMs() - cpu_before;
    std::printf(
        "The loop for %d s: %ld passes (%.2f ms each), %.1f ms of processor time: %.2f%% of one "
        "core\n",
        seconds, passes, elapsed_ms / passes, cpu_ms, 100.0 * cpu_ms / elapsed_ms);
    app.Shutdown();
  }
  if (argc <= 2) DestroyWindow(game);
  OverlayWindow::ShutdownGdiplus();
  return 0;
}

// corvane-demo-game: the stand-in game that Corvane.exe attaches to in the end-to-end tests and
// the demo. A visible top-level window that renders without a frame cap (or paced to the rate
// --fps sets) and brings itself to the foreground, plus a message-only window that plays the host
// client's IPC window and prints every message 1004 it receives. A console program, so that its
// lines reach a pipe under Wine; it makes no console window of its own when started with redirected
// streams.
#include <fcntl.h>
#include <io.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <span>
#include <string>
#include <thread>
#include <vector>

#include "base/os/win/pass_sleeper.h"
#include "base/os/win/scoped_resource.h"
#include "tools/common/command_line.h"
#include "tools/demo_game/demo_game_options.h"

namespace {

using corvane::demo_game::DemoGameOptions;
using corvane::demo_game::FrameRateCounter;

// The number the overlay posts to the host's IPC window (below WM_USER on purpose).
constexpr UINT kHostNotifyMessage = 1004;
constexpr wchar_t kGameClass[] = L"CorvaneDemoGame";
constexpr wchar_t kIpcClass[] = L"CorvaneDemoGameIpc";
// The client area's plain colour (#303040): tests find the overlay's box on it by its pixels.
constexpr COLORREF kBackground = RGB(0x30, 0x30, 0x40);
// Posted to the game window by the input thread: take the foreground again.
constexpr UINT kTakeForegroundMessage = WM_APP + 1;
// Everything that moves lies in this band of the client height (percent), away from the
// places where the overlay puts its box (top, middle and bottom edges).
constexpr int kBandTopPercent = 22, kBandBottomPercent = 38;
constexpr int kBarWidth = 48, kBarStep = 5;

std::wstring Utf8ToWide(const std::string& text) {
  if (text.empty()) return {};
  const int length =
      MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring wide(static_cast<size_t>(length), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), wide.data(), length);
  return wide;
}

std::string WideToUtf8(const wchar_t* text) {
  const int length = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
  if (length <= 1) return {};
  std::string utf8(static_cast<size_t>(length), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text, -1, utf8.data(), length, nullptr, nullptr);
  utf8.pop_back();  // the terminator
  return utf8;
}

// Whole lines, flushed at once: a test reads them through a pipe while the game runs.
void PrintLine(const std::string& line) {
  std::fwrite(line.data(), 1, line.size(), stdout);
  std::fputc('\n', stdout);
  std::fflush(stdout);
}

int64_t ReadCounter() {
  LARGE_INTEGER now;
  QueryPerformanceCounter(&now);
  return now.QuadPart;
}

// A hue wheel for the bar's colour, one step per frame.
COLORREF BarColor(uint64_t frame) {
  const int phase = static_cast<int>(frame % 768);
  const int up = phase % 256, down = 255 - up;
  if (phase < 256) return RGB(down, up, 0);
  if (phase < 512) return RGB(0, down, up);
  return RGB(up, 0, down);
}

// The frame-rate file, replaced whole once a second so that a reader never sees half of it:
// written beside it under another name, then moved over it.
class FrameRateFile {
 public:
  explicit FrameRateFile(const std::string& path)
      : path_(Utf8ToWide(path)), temporary_(path_ + L".tmp"), shown_path_(path) {}

  void Write(double frames_per_second, std::span<const double> frame_ms) {
    const std::string text = corvane::demo_game::FrameRateText(frames_per_second, frame_ms);
    DWORD written = 0;
    bool ok = false;
    {
      const base::win::ScopedFileHandle file(CreateFileW(temporary_.c_str(), GENERIC_WRITE, 0,
                                                         nullptr, CREATE_ALWAYS,
                                                         FILE_ATTRIBUTE_NORMAL, nullptr));
      ok = file &&
           WriteFile(file.get(), text.data(), static_cast<DWORD>(text.size()), &written, nullptr) &&
           written == text.size();
    }
    ok = ok && Replace();
    if (!ok) {
      const DWORD error = GetLastError();
      DeleteFileW(temporary_.c_str());
      if (!failure_reported_) {
        std::fprintf(stderr, "corvane-demo-game: cannot write %s (error %lu)\n",
                     shown_path_.c_str(), error);
        failure_reported_ = true;
      }
    }
  }

 private:
  bool Replace() const {
    using corvane::demo_game::ReplaceOutcome;
    return corvane::demo_game::ReplaceWhileBusy(
        [this] {
          if (MoveFileExW(temporary_.c_str(), path_.c_str(), MOVEFILE_REPLACE_EXISTING)) {
            return ReplaceOutcome::kDone;
          }
          const DWORD error = GetLastError();
          return error == ERROR_ACCESS_DENIED || error == ERROR_SHARING_VIOLATION
                     ? ReplaceOutcome::kBusy
                     : ReplaceOutcome::kFailed;
        },
        [] { Sleep(1); });
  }

  std::wstring path_, temporary_;
  std::string shown_path_;
  bool failure_reported_ = false;
};

class DemoGame {
 public:
  explicit DemoGame(const DemoGameOptions& options)
      : options_(options), counter_(QueryFrequency()), frame_times_(QueryFrequency()) {
    if (!options.fps_file.empty()) fps_file_.emplace(options.fps_file);
    if (options.frame_cap) {
      pacer_.emplace(QueryFrequency(), *options.frame_cap);
      sleeper_.emplace();
    }
  }

  // Makes the windows and prints the first line. False with a line on stderr when it cannot.
  bool Create() {
    const HINSTANCE instance = GetModuleHandleW(nullptr);
    WNDCLASSEXW game_class = {};
    game_class.cbSize = sizeof game_class;
    // Its own device context, kept for the whole run: one fewer call per frame.
    game_class.style = CS_OWNDC | CS_HREDRAW | CS_VREDRAW;
    game_class.lpfnWndProc = &WindowProc;
    game_class.hInstance = instance;
    game_class.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
    // A brush of its own: the class's brush belongs to the system once registered.
    game_class.hbrBackground = CreateSolidBrush(kBackground);
    game_class.lpszClassName = kGameClass;
    WNDCLASSEXW ipc_class = {};
    ipc_class.cbSize = sizeof ipc_class;
    ipc_class.lpfnWndProc = &WindowProc;
    ipc_class.hInstance = instance;
    ipc_class.lpszClassName = kIpcClass;
    if (!RegisterClassExW(&game_class) || !RegisterClassExW(&ipc_class)) {
      return Fail("RegisterClassEx");
    }

    // The host's window needs no screen: a message-only window, which IsWindow and
    // PostMessage know like any other.
    ipc_window_.reset(CreateWindowExW(0, kIpcClass, L"Corvane Demo Game IPC", 0, 0, 0, 0, 0,
                                      HWND_MESSAGE, nullptr, instance, this));
    if (!ipc_window_) return Fail("CreateWindowEx (IPC window)");

    constexpr DWORD kStyle = WS_OVERLAPPEDWINDOW;
    RECT frame = {0, 0, options_.client_width, options_.client_height};
    AdjustWindowRectEx(&frame, kStyle, FALSE, 0);
    const int x = options_.pos ? options_.pos->x : CW_USEDEFAULT;
    const int y = options_.pos ? options_.pos->y : CW_USEDEFAULT;
    game_window_ = CreateWindowExW(0, kGameClass, Utf8ToWide(options_.title).c_str(), kStyle, x, y,
                                   frame.right - frame.left, frame.bottom - frame.top, nullptr,
                                   nullptr, instance, this);
    if (!game_window_) return Fail("CreateWindowEx (game window)");
    window_dc_ = GetDC(game_window_);
    ShowWindow(game_window_, SW_SHOW);
    BringToForeground();

    PrintLine(corvane::demo_game::StartLine(reinterpret_cast<uintptr_t>(game_window_),
                                            reinterpret_cast<uintptr_t>(ipc_window_.get()),
                                            GetCurrentProcessId()));
    return true;
  }

  // Renders frames between messages until the game window is gone. The exit code.
  int Run() {
    MSG message;
    for (;;) {
      while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        if (message.message == WM_QUIT) return static_cast<int>(message.wParam);
        TranslateMessage(&message);
        DispatchMessageW(&message);
      }
      if (pacer_) {
        const int64_t wait = pacer_->TicksToWait(ReadCounter());
        if (wait > 0) {
          WaitForNextFrame(wait);
          continue;  // the messages that came meanwhile first
        }
      }
      RenderFrame();
      const int64_t now = ReadCounter();
      frame_times_.AddFrame(now);
      const auto rate = counter_.AddFrame(now);
      if (rate) {
        frames_per_second_ = *rate;
        if (fps_file_) fps_file_->Write(*rate, frame_times_.FrameTimesMs());
      }
    }
  }

  HWND game_window() const { return game_window_; }

 private:
  static int64_t QueryFrequency() {
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    return frequency.QuadPart;
  }

  // Sleeps the whole milliseconds of a paced wait (at most a frame's period, so messages wait
  // no longer than a frame), and only yields the processor for the last fraction of one, so
  // that frames begin close to when they are due.
  void WaitForNextFrame(int64_t ticks) {
    const int64_t milliseconds = ticks * 1000 / QueryFrequency();
    if (milliseconds > 0) {
      sleeper_->Sleep(static_cast<uint32_t>(milliseconds));
    } else {
      Sleep(0);
    }
  }

  static bool Fail(const char* call) {
    std::fprintf(stderr, "corvane-demo-game: %s failed (error %lu)\n", call, GetLastError());
    return false;
  }

  void BringToForeground() {
    // Windows lets a process take the foreground only in some cases; sharing the input state
    // of the thread that has it now is the usual way to be one of them. Wine needs none of it.
    const DWORD own_thread = GetCurrentThreadId();
    const HWND current = GetForegroundWindow();
    const DWORD current_thread = current ? GetWindowThreadProcessId(current, nullptr) : 0;
    const bool attached = current_thread != 0 && current_thread != own_thread &&
                          AttachThreadInput(own_thread, current_thread, TRUE);
    SetForegroundWindow(game_window_);
    BringWindowToTop(game_window_);
    SetActiveWindow(game_window_);
    SetFocus(game_window_);
    if (attached) AttachThreadInput(own_thread, current_thread, FALSE);
    // Wine refuses a process in the background the plain request; it grants the switch that
    // the system's own window switcher makes.
    if (GetForegroundWindow() != game_window_) SwitchToThisWindow(game_window_, TRUE);
    if (GetForegroundWindow() != game_window_) {
      std::fprintf(stderr, "corvane-demo-game: the window did not become the foreground window\n");
    }
  }

  static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wparam,
                                     LPARAM lparam) noexcept {
    if (message == WM_NCCREATE) {
      const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lparam);
      SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    }
    auto* game = reinterpret_cast<DemoGame*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (game != nullptr) {
      if (window == game->ipc_window_.get() && message == kHostNotifyMessage) {
        PrintLine(corvane::demo_game::HostNotificationLine(wparam, static_cast<uint64_t>(lparam)));
        return 0;
      }
      if (window == game->game_window_ && message == kTakeForegroundMessage) {
        game->BringToForeground();
        return 0;
      }
      if (window == game->game_window_ && message == WM_DESTROY) {
        game->game_window_ = nullptr;
        PostQuitMessage(0);
        return 0;
      }
    }
    return DefWindowProcW(window, message, wparam, lparam);
  }

  // One frame: the band in a memory bitmap, then onto the window in one copy. The rest of the
  // client area keeps the class's background, painted by the system when it is uncovered.
  void RenderFrame() {
    if (!game_window_) return;
    RECT client;
    GetClientRect(game_window_, &client);
    const int width = client.right, height = client.bottom;
    const int band_top = height * kBandTopPercent / 100;
    const int band_height = std::max(1, height * kBandBottomPercent / 100 - band_top);
    if (width <= 0 || height <= 0 || !EnsureBackBuffer(width, band_height)) return;

    const HDC dc = back_dc_.get();
    const RECT band = {0, 0, width, band_height};
    FillRect(dc, &band, background_.get());
    const uint64_t frame = counter_.total_frames();
    const int travel = width + kBarWidth;
    const int bar_left =
        static_cast<int>((frame * kBarStep) % static_cast<uint64_t>(travel)) - kBarWidth;
    const RECT bar = {bar_left, 0, bar_left + kBarWidth, band_height};
    SetDCBrushColor(dc, BarColor(frame));
    FillRect(dc, &bar, static_cast<HBRUSH>(GetStockObject(DC_BRUSH)));

    wchar_t text[96];
    const int length = swprintf(text, sizeof text / sizeof text[0], L"frame %llu   %.1f fps",
                                static_cast<unsigned long long>(frame), frames_per_second_);
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, RGB(0xF0, 0xF0, 0xF0));
    TextOutW(dc, 8, 4, text, length);

    BitBlt(window_dc_, 0, band_top, width, band_height, dc, 0, 0, SRCCOPY);
  }

  bool EnsureBackBuffer(int width, int height) {
    if (back_dc_ && width == back_width_ && height == back_height_) return true;
    if (!back_dc_) back_dc_.reset(CreateCompatibleDC(window_dc_));
    if (!back_dc_) return false;
    base::win::ScopedBitmap bitmap(CreateCompatibleBitmap(window_dc_, width, height));
    if (!bitmap) return false;
    // Selecting the new bitmap hands the old one back; it is released after that.
    SelectObject(back_dc_.get(), bitmap.get());
    back_bitmap_ = std::move(bitmap);
    back_width_ = width;
    back_height_ = height;
    return true;
  }

  const DemoGameOptions& options_;
  FrameRateCounter counter_;
  // The frame times of the last seconds, which the frame-rate file carries for the host.
  corvane::demo_game::FrameTimeHistory frame_times_;
  std::optional<FrameRateFile> fps_file_;
  // With --fps only: when the next frame is due, and the timer that waits for it.
  std::optional<corvane::demo_game::FramePacer> pacer_;
  std::optional<base::win::PassSleeper> sleeper_;
  double frames_per_second_ = 0.0;
  base::win::ScopedBrush background_{CreateSolidBrush(kBackground)};
  base::win::ScopedWindow ipc_window_;
  HWND game_window_ = nullptr;  // destroys itself when closed; cleared in WM_DESTROY
  HDC window_dc_ = nullptr;     // the class's own device context, released with the window
  // The bitmap is declared before the device context that selects it, so it is released
  // after the context.
  base::win::ScopedBitmap back_bitmap_;
  base::win::ScopedMemoryDc back_dc_;
  int back_width_ = 0, back_height_ = 0;
};

// Reads standard input on a thread of its own: a "quit" line closes the game window, a
// "front" line asks it to take the foreground (on its own thread). The end of the input ends
// only the reading. Plain ReadFile rather than the C library, so that the thread never holds a
// stream lock that the exit of the process would wait for.
void WatchStandardInput(HWND game_window) {
  using corvane::demo_game::InputCommand;
  const HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
  if (input == nullptr || input == INVALID_HANDLE_VALUE) return;
  std::thread([input, game_window] {
    corvane::demo_game::InputLineWatcher watcher;
    const auto obey = [game_window](InputCommand command) {
      if (command == InputCommand::kFront) PostMessageW(game_window, kTakeForegroundMessage, 0, 0);
      if (command == InputCommand::kQuit) PostMessageW(game_window, WM_CLOSE, 0, 0);
      return command == InputCommand::kQuit;
    };
    char buffer[256];
    DWORD read = 0;
    bool quit = false;
    while (!quit && ReadFile(input, buffer, sizeof buffer, &read, nullptr) && read > 0) {
      for (const InputCommand command : watcher.Feed(std::string_view(buffer, read))) {
        quit = quit || obey(command);
      }
    }
    if (!quit) obey(watcher.Finish());
  }).detach();
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  // Lines end in "\n" alone, as the tests and the demo's scripts read them.
  _setmode(_fileno(stdout), _O_BINARY);
  std::vector<std::string> args;
  for (int i = 1; i < argc; ++i) args.push_back(WideToUtf8(argv[i]));
  DemoGameOptions options;
  std::string error;
  if (!corvane::demo_game::ParseDemoGameOptions(args, &options, &error)) {
    std::fprintf(stderr, "corvane-demo-game: %s\n", error.c_str());
    return 2;
  }
  if (options.help) {
    std::fputs(corvane::demo_game::DemoGameUsage().c_str(), stdout);
    return 0;
  }
  if (options.version) {
    std::puts(corvane::tools::VersionLine("corvane-demo-game").c_str());
    return 0;
  }
  DemoGame game(options);
  if (!game.Create()) return 1;
  WatchStandardInput(game.game_window());
  return game.Run();
}

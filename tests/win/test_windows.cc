#include "tests/win/test_windows.h"

#include <cstdlib>

namespace corvane::testing {
namespace {

constexpr wchar_t kClassName[] = L"CorvaneTestGame";

ATOM RegisterTestClass() {
  WNDCLASSEXW window_class{};
  window_class.cbSize = sizeof(window_class);
  window_class.lpfnWndProc = DefWindowProcW;  // replaced per window below
  window_class.hInstance = GetModuleHandleW(nullptr);
  window_class.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  window_class.lpszClassName = kClassName;
  window_class.cbWndExtra = sizeof(LONG_PTR);
  return RegisterClassExW(&window_class);
}

}  // namespace

TestGameWindow::TestGameWindow(int x, int y, int width, int height, COLORREF color, DWORD style) {
  static const ATOM registered = RegisterTestClass();
  (void)registered;
  window_.reset(CreateWindowExW(0, kClassName, L"Corvane test game", style & ~WS_VISIBLE, x, y,
                                width, height, nullptr, nullptr, GetModuleHandleW(nullptr),
                                nullptr));
  if (!window_) return;
  SetWindowLongPtrW(window_.get(), 0, static_cast<LONG_PTR>(color));
  SetWindowLongPtrW(window_.get(), GWLP_WNDPROC,
                    reinterpret_cast<LONG_PTR>(&TestGameWindow::WindowProc));
  if (style & WS_VISIBLE) {
    ShowWindow(window_.get(), SW_SHOWNORMAL);
    UpdateWindow(window_.get());
  }
}

TestGameWindow::~TestGameWindow() = default;

LRESULT CALLBACK TestGameWindow::WindowProc(HWND window, UINT message, WPARAM wparam,
                                            LPARAM lparam) noexcept {
  if (message == WM_ERASEBKGND) return 1;
  if (message == WM_PAINT) {
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(window, &paint);
    RECT client;
    GetClientRect(window, &client);
    HBRUSH brush = CreateSolidBrush(static_cast<COLORREF>(GetWindowLongPtrW(window, 0)));
    FillRect(dc, &client, brush);
    DeleteObject(brush);
    EndPaint(window, &paint);
    return 0;
  }
  return DefWindowProcW(window, message, wparam, lparam);
}

void PumpFor(int ms) {
  const DWORD start = GetTickCount();
  bool quit = false;
  int exit_code = 0;
  do {
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
      if (message.message == WM_QUIT) {
        quit = true;
        exit_code = static_cast<int>(message.wParam);
        continue;
      }
      TranslateMessage(&message);
      DispatchMessageW(&message);
    }
    Sleep(10);
  } while (GetTickCount() - start < static_cast<DWORD>(ms));
  if (quit) PostQuitMessage(exit_code);
}

Capture CaptureScreen(int x, int y, int width, int height) {
  Capture capture{x, y, width, height, {}};
  HDC screen = GetDC(nullptr);
  base::win::ScopedMemoryDc memory(CreateCompatibleDC(screen));
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof(info.bmiHeader);
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = -height;  // top-down
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  base::win::ScopedBitmap bitmap(
      CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0));
  if (bitmap && memory) {
    const HGDIOBJ old = SelectObject(memory.get(), bitmap.get());
    BitBlt(memory.get(), 0, 0, width, height, screen, x, y, SRCCOPY);
    GdiFlush();
    const auto* pixels = static_cast<const uint32_t*>(bits);
    capture.pixels.reserve(static_cast<size_t>(width) * height);
    for (int i = 0; i < width * height; ++i) capture.pixels.push_back(pixels[i] & 0x00FFFFFF);
    SelectObject(memory.get(), old);
  }
  ReleaseDC(nullptr, screen);
  return capture;
}

bool Near(uint32_t a, uint32_t b, int tolerance) {
  return std::abs(Red(a) - Red(b)) <= tolerance && std::abs(Green(a) - Green(b)) <= tolerance &&
         std::abs(Blue(a) - Blue(b)) <= tolerance;
}

}  // namespace corvane::testing
